#include "tests/support/MetafileWriter.h"

#include <algorithm>

namespace vx::test {

Bytes PackedDib24(std::int32_t width, std::int32_t height, const std::vector<std::uint32_t>& pixelsTopFirst)
{
    Fields dib;
    dib.U32(40).U32(width).U32(height).U16(1).U16(24).Append(Bytes(24, 0));
    const std::size_t stride = ((24 * static_cast<std::size_t>(width) + 31) / 32) * 4;
    for (std::int32_t row = height - 1; row >= 0; --row) {
        for (std::int32_t x = 0; x < width; ++x)
            dib.Put(pixelsTopFirst.at(static_cast<std::size_t>(row * width + x)), 3);
        dib.Append(Bytes(stride - 3 * static_cast<std::size_t>(width), 0));
    }
    return dib.bytes;
}

// ---- Windows metafile -------------------------------------------------------------------

WmfWriter& WmfWriter::Record(std::uint16_t function, std::initializer_list<std::int16_t> words)
{
    Fields params;
    for (std::int16_t w : words)
        params.U16(static_cast<std::uint16_t>(w));
    return Record(function, params);
}

WmfWriter& WmfWriter::Record(std::uint16_t function, Fields params)
{
    if (params.bytes.size() % 2)
        params.bytes.push_back(0);
    const auto words = static_cast<std::uint32_t>(3 + params.bytes.size() / 2);
    m_largest = std::max(m_largest, words);
    m_records.U32(words).U16(function).Append(params.bytes);
    return *this;
}

WmfWriter& WmfWriter::Font(std::int16_t height, std::int16_t weight, bool italic, const std::string& face)
{
    // height, width, escapement, orientation, weight, italic, underline, strike-out, charset,
    // precisions, quality, pitch, the face name in 32 bytes
    Fields font;
    font.U16(static_cast<std::uint16_t>(height)).Append(Bytes(6, 0)).U16(static_cast<std::uint16_t>(weight));
    font.Put(italic, 1)
        .Append(Bytes(7, 0))
        .Append(Bytes(face.begin(), face.begin() + std::min<std::size_t>(face.size(), 31)));
    font.bytes.resize(18 + 32, 0);
    return Record(0x02FB, font);
}

WmfWriter& WmfWriter::Text(std::int16_t x, std::int16_t y, const std::string& text)
{
    // the count, the text padded to whole words, y, x
    Fields params;
    params.U16(static_cast<std::uint32_t>(text.size())).Append(Bytes(text.begin(), text.end()));
    return Record(0x0521, params.Append(Bytes(text.size() % 2, 0)).U16(y).U16(x));
}

WmfWriter& WmfWriter::StretchDib(std::int16_t x, std::int16_t y, std::int16_t width, std::int16_t height,
                                 const Bytes& packedDib, std::int16_t dibWidth, std::int16_t dibHeight)
{
    // SRCCOPY, DIB_RGB_COLORS, the source box, the destination box (last coordinate first)
    Fields params;
    params.U32(0x00CC0020).U16(0).U16(dibHeight).U16(dibWidth).U16(0).U16(0);
    return Record(0x0F43, params.U16(height).U16(width).U16(y).U16(x).Append(packedDib));
}

Bytes WmfWriter::Metafile(std::uint16_t objects) const
{
    // in memory, 9 header words, version 3, the whole size in words, object slots, the largest
    // record in words, no parameters; the records; the EOF record
    const auto words = static_cast<std::uint32_t>(9 + m_records.bytes.size() / 2 + 3);
    Fields out;
    out.U16(1).U16(9).U16(0x0300).U32(words).U16(objects).U32(m_largest).U16(0);
    return out.Append(m_records.bytes).U32(3).U16(0).bytes;
}

Bytes WmfWriter::Placeable(std::int16_t left, std::int16_t top, std::int16_t right, std::int16_t bottom,
                           std::uint16_t unitsPerInch, std::uint16_t objects) const
{
    Fields head;
    head.U32(0x9AC6CDD7).U16(0).U16(left).U16(top).U16(right).U16(bottom).U16(unitsPerInch).U32(0);
    std::uint16_t checksum = 0;
    for (std::size_t i = 0; i < head.bytes.size(); i += 2)
        checksum ^= static_cast<std::uint16_t>(head.bytes[i] | (head.bytes[i + 1] << 8));
    return Joined(head.U16(checksum).bytes, Metafile(objects));
}

// ---- Enhanced metafile ------------------------------------------------------------------

EmfWriter& EmfWriter::Record(std::uint32_t type, std::initializer_list<std::int32_t> params)
{
    Fields fields;
    for (std::int32_t v : params)
        fields.U32(static_cast<std::uint32_t>(v));
    return Record(type, fields);
}

EmfWriter& EmfWriter::Record(std::uint32_t type, Fields params)
{
    params.bytes.resize((params.bytes.size() + 3) & ~std::size_t{3}, 0);
    m_records.U32(type).U32(static_cast<std::uint32_t>(8 + params.bytes.size())).Append(params.bytes);
    ++m_count;
    return *this;
}

EmfWriter& EmfWriter::WorldTransform(const std::vector<float>& matrix, std::int32_t mode)
{
    Fields params;
    for (float f : matrix)
        params.Float(f);
    return mode == 0 ? Record(35, params) : Record(36, params.U32(static_cast<std::uint32_t>(mode)));
}

EmfWriter& EmfWriter::ExtCreatePen(std::uint32_t index, std::uint32_t style, std::uint32_t width, std::uint32_t colour,
                                   const std::vector<std::uint32_t>& dashes)
{
    // index, no brush bitmap (four zero fields), style, width, BS_SOLID, colour, hatch, the
    // dashes (the record's fixed part holds one entry, used or not)
    Fields params;
    params.U32(index).Append(Bytes(16, 0)).U32(style).U32(width).U32(0).U32(colour).U32(0);
    params.U32(static_cast<std::uint32_t>(dashes.size()));
    for (std::uint32_t d : dashes)
        params.U32(d);
    return Record(95, dashes.empty() ? params.U32(0) : params);
}

EmfWriter& EmfWriter::CreatePatternBrush(std::uint32_t index, const Bytes& packedDib)
{
    // DIB_RGB_COLORS, the header (40 bytes, no colour table for 24 bits) and the bits at
    // their offsets from the record's start
    const auto bitsSize = static_cast<std::uint32_t>(packedDib.size() - 40);
    return Record(94, Fields().U32(index).U32(0).U32(32).U32(40).U32(72).U32(bitsSize).Append(packedDib));
}

EmfWriter& EmfWriter::Font(std::uint32_t index, std::int32_t height, std::int32_t weight, bool italic,
                           const std::u16string& face)
{
    // index, height, width, escapement, orientation, weight, italic and seven more bytes, the
    // face name in 32 characters
    Fields params;
    params.U32(index).U32(static_cast<std::uint32_t>(height)).Append(Bytes(12, 0));
    params.U32(static_cast<std::uint32_t>(weight)).Put(italic, 1).Append(Bytes(7, 0));
    for (std::size_t i = 0; i < 32; ++i)
        params.U16(i < face.size() && i < 31 ? face[i] : 0);
    return Record(82, params);
}

EmfWriter& EmfWriter::ExtTextW(std::int32_t x, std::int32_t y, std::uint32_t options, const std::u16string& text)
{
    // bounds, GM_COMPATIBLE, scales, reference point, count, string offset (from the record's
    // start: right after the 76-byte fixed part), options, rectangle, no spacing, the string
    Fields params;
    params.Rect({0, 0, -1, -1}).U32(1).U32(0).U32(0).U32(x).U32(y).U32(static_cast<std::uint32_t>(text.size()));
    params.U32(76).U32(options).Rect({}).U32(0);
    for (char16_t c : text)
        params.U16(c);
    return Record(84, params);
}

EmfWriter& EmfWriter::StretchDibits(const RECT& destination, const Bytes& packedDib, std::uint32_t rop)
{
    // bounds, destination origin, source box, the header and the bits at their offsets,
    // DIB_RGB_COLORS, the raster operation, destination size
    const auto bitsSize = static_cast<std::uint32_t>(packedDib.size() - 40);
    Fields params;
    params.Rect(destination).U32(destination.left).U32(destination.top).U32(0).U32(0);
    params.Append(Bytes(packedDib.begin() + 4, packedDib.begin() + 12)); // the DIB's width and height
    params.U32(80).U32(40).U32(120).U32(bitsSize).U32(0).U32(rop);
    params.U32(destination.right - destination.left).U32(destination.bottom - destination.top);
    return Record(81, params.Append(packedDib));
}

Bytes EmfWriter::Metafile() const
{
    // EMR_HEADER: bounds, frame, signature, version, bytes, records (with header and EOF),
    // handles, reserved, no description, no palette, the reference device in pixels and in
    // millimetres, no pixel format, no OpenGL, the device in micrometres
    const auto total = static_cast<std::uint32_t>(emfHeaderSize + m_records.bytes.size() + 20);
    Fields out;
    out.U32(1).U32(emfHeaderSize).Rect(m_bounds).Rect(m_frame).U32(0x464D4520).U32(0x10000).U32(total);
    out.U32(m_count + 2).U16(16).U16(0).U32(0).U32(0).U32(0);
    out.U32(m_device.first).U32(m_device.second).U32(m_millimetres.first).U32(m_millimetres.second);
    out.U32(0).U32(0).U32(0).U32(m_millimetres.first * 1000).U32(m_millimetres.second * 1000);
    // EMR_EOF: no palette, its offset, the record's size again
    return out.Append(m_records.bytes).U32(14).U32(20).U32(0).U32(16).U32(20).bytes;
}

} // namespace vx::test
