#include "tests/support/MetafileWriter.h"

#include <cstring>

namespace vx::test {

namespace {

void Put(Bytes& out, std::uint64_t value, int size)
{
    for (int i = 0; i < size; ++i)
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

void PutWords(Bytes& out, const std::vector<std::int16_t>& words)
{
    for (std::int16_t w : words)
        Put(out, static_cast<std::uint16_t>(w), 2);
}

std::int16_t Lo(std::uint32_t v) { return static_cast<std::int16_t>(v & 0xFFFF); }
std::int16_t Hi(std::uint32_t v) { return static_cast<std::int16_t>(v >> 16); }

// A text as its bytes, padded with a zero to a whole number of 16-bit words.
std::vector<std::int16_t> TextWords(const std::string& text)
{
    Bytes bytes(text.begin(), text.end());
    if (bytes.size() % 2)
        bytes.push_back(0);
    std::vector<std::int16_t> words;
    for (std::size_t i = 0; i < bytes.size(); i += 2)
        words.push_back(static_cast<std::int16_t>(bytes[i] | (bytes[i + 1] << 8)));
    return words;
}

std::vector<std::int16_t> BytesAsWords(Bytes bytes)
{
    if (bytes.size() % 2)
        bytes.push_back(0);
    std::vector<std::int16_t> words;
    for (std::size_t i = 0; i < bytes.size(); i += 2)
        words.push_back(static_cast<std::int16_t>(bytes[i] | (bytes[i + 1] << 8)));
    return words;
}

void PutRect(Bytes& out, const RECT& r)
{
    Put(out, static_cast<std::uint32_t>(r.left), 4);
    Put(out, static_cast<std::uint32_t>(r.top), 4);
    Put(out, static_cast<std::uint32_t>(r.right), 4);
    Put(out, static_cast<std::uint32_t>(r.bottom), 4);
}

// A Windows metafile poly record's words: the count, then x, y pairs.
std::vector<std::int16_t> CountedPoints(const std::vector<Point16>& points)
{
    std::vector<std::int16_t> words = {static_cast<std::int16_t>(points.size())};
    for (const auto& [x, y] : points) {
        words.push_back(x);
        words.push_back(y);
    }
    return words;
}

// A poly record's parameters: an empty bounds rectangle, the count, then x, y pairs of
// `coordinateSize` bytes each.
template <typename Point>
Bytes PolyParameters(const std::vector<Point>& points, int coordinateSize)
{
    Bytes params;
    PutRect(params, RECT{0, 0, 0, 0});
    Put(params, points.size(), 4);
    for (const auto& [x, y] : points) {
        Put(params, static_cast<std::uint32_t>(x), coordinateSize);
        Put(params, static_cast<std::uint32_t>(y), coordinateSize);
    }
    return params;
}

} // namespace

Bytes PackedDib24(std::int32_t width, std::int32_t height, const std::vector<std::uint32_t>& pixelsTopFirst)
{
    Bytes dib;
    Put(dib, 40, 4);
    Put(dib, static_cast<std::uint32_t>(width), 4);
    Put(dib, static_cast<std::uint32_t>(height), 4);
    Put(dib, 1, 2);
    Put(dib, 24, 2);
    for (int i = 0; i < 6; ++i)
        Put(dib, 0, 4);
    const std::size_t stride = ((24 * static_cast<std::size_t>(width) + 31) / 32) * 4;
    for (std::int32_t row = height - 1; row >= 0; --row) {
        for (std::int32_t x = 0; x < width; ++x)
            Put(dib, pixelsTopFirst.at(static_cast<std::size_t>(row * width + x)), 3);
        for (std::size_t pad = 3 * static_cast<std::size_t>(width); pad < stride; ++pad)
            dib.push_back(0);
    }
    return dib;
}

bool DecodePackedDib24(const std::uint8_t* dib, std::size_t size, DecodedDib& out)
{
    if (size < 40)
        return false;
    auto u32 = [&](std::size_t o) {
        return static_cast<std::uint32_t>(dib[o] | dib[o + 1] << 8 | dib[o + 2] << 16 | dib[o + 3] << 24);
    };
    const auto width = static_cast<std::int32_t>(u32(4)), height = static_cast<std::int32_t>(u32(8));
    if (u32(0) != 40 || (u32(12) >> 16) != 24 || u32(16) != 0 || width <= 0 || height <= 0 || width > 4096 ||
        height > 4096)
        return false;
    const std::size_t stride = ((24 * static_cast<std::size_t>(width) + 31) / 32) * 4;
    if (size < 40 + stride * static_cast<std::size_t>(height))
        return false;
    out.width = width;
    out.height = height;
    out.bgr.clear();
    for (std::int32_t row = height - 1; row >= 0; --row) {
        const std::uint8_t* bits = dib + 40 + static_cast<std::size_t>(row) * stride;
        out.bgr.insert(out.bgr.end(), bits, bits + 3 * static_cast<std::size_t>(width));
    }
    return true;
}

// ---- Windows metafile -------------------------------------------------------------------

WmfWriter& WmfWriter::Record(std::uint16_t function, std::initializer_list<std::int16_t> words)
{
    return Record(function, std::vector<std::int16_t>(words));
}

WmfWriter& WmfWriter::Record(std::uint16_t function, const std::vector<std::int16_t>& words)
{
    Bytes params;
    PutWords(params, words);
    return RawRecord(static_cast<std::uint32_t>(3 + words.size()), function, params);
}

WmfWriter& WmfWriter::RawRecord(std::uint32_t sizeInWords, std::uint16_t function, const Bytes& params)
{
    Put(m_records, sizeInWords, 4);
    Put(m_records, function, 2);
    m_records.insert(m_records.end(), params.begin(), params.end());
    if (sizeInWords > m_largest && 6 + params.size() == 2 * static_cast<std::size_t>(sizeInWords))
        m_largest = sizeInWords;
    return *this;
}

WmfWriter& WmfWriter::SetWindowOrg(std::int16_t x, std::int16_t y) { return Record(0x020B, {y, x}); }
WmfWriter& WmfWriter::SetWindowExt(std::int16_t cx, std::int16_t cy) { return Record(0x020C, {cy, cx}); }
WmfWriter& WmfWriter::SetViewportOrg(std::int16_t x, std::int16_t y) { return Record(0x020D, {y, x}); }
WmfWriter& WmfWriter::SetViewportExt(std::int16_t cx, std::int16_t cy) { return Record(0x020E, {cy, cx}); }
WmfWriter& WmfWriter::SetMapMode(std::int16_t mode) { return Record(0x0103, {mode}); }
WmfWriter& WmfWriter::SetBkMode(std::int16_t mode) { return Record(0x0102, {mode}); }
WmfWriter& WmfWriter::SetBkColor(std::uint32_t colour) { return Record(0x0201, {Lo(colour), Hi(colour)}); }
WmfWriter& WmfWriter::SetTextColor(std::uint32_t colour) { return Record(0x0209, {Lo(colour), Hi(colour)}); }
WmfWriter& WmfWriter::SetTextAlign(std::uint16_t align) { return Record(0x012E, {static_cast<std::int16_t>(align)}); }
WmfWriter& WmfWriter::SetPolyFillMode(std::int16_t mode) { return Record(0x0106, {mode}); }
WmfWriter& WmfWriter::SetROP2(std::int16_t rop) { return Record(0x0104, {rop}); }

WmfWriter& WmfWriter::CreatePen(std::uint16_t style, std::int16_t width, std::uint32_t colour)
{
    return Record(0x02FA, {static_cast<std::int16_t>(style), width, 0, Lo(colour), Hi(colour)});
}

WmfWriter& WmfWriter::CreateBrush(std::uint16_t style, std::uint32_t colour, std::uint16_t hatch)
{
    return Record(0x02FC, {static_cast<std::int16_t>(style), Lo(colour), Hi(colour), static_cast<std::int16_t>(hatch)});
}

WmfWriter& WmfWriter::CreatePatternBrush(const Bytes& packedDib)
{
    std::vector<std::int16_t> words = {5 /* BS_DIBPATTERN */, 0 /* DIB_RGB_COLORS */};
    for (std::int16_t w : BytesAsWords(packedDib))
        words.push_back(w);
    return Record(0x0142, words);
}

WmfWriter& WmfWriter::Font(std::int16_t height, std::int16_t weight, bool italic, const std::string& face)
{
    Bytes font;
    Put(font, static_cast<std::uint16_t>(height), 2);
    Put(font, 0, 2); // width
    Put(font, 0, 2); // escapement
    Put(font, 0, 2); // orientation
    Put(font, static_cast<std::uint16_t>(weight), 2);
    font.push_back(italic ? 1 : 0);
    for (int i = 0; i < 7; ++i) // underline, strike-out, charset, precisions, quality, pitch
        font.push_back(0);
    std::string name = face.substr(0, 31);
    font.insert(font.end(), name.begin(), name.end());
    font.resize(18 + 32, 0);
    return Record(0x02FB, BytesAsWords(font));
}

WmfWriter& WmfWriter::SelectObject(std::uint16_t index) { return Record(0x012D, {static_cast<std::int16_t>(index)}); }
WmfWriter& WmfWriter::DeleteObject(std::uint16_t index) { return Record(0x01F0, {static_cast<std::int16_t>(index)}); }
WmfWriter& WmfWriter::SaveDC() { return Record(0x001E, {}); }
WmfWriter& WmfWriter::RestoreDC(std::int16_t which) { return Record(0x0127, {which}); }
WmfWriter& WmfWriter::MoveTo(std::int16_t x, std::int16_t y) { return Record(0x0214, {y, x}); }
WmfWriter& WmfWriter::LineTo(std::int16_t x, std::int16_t y) { return Record(0x0213, {y, x}); }

WmfWriter& WmfWriter::Rectangle(std::int16_t left, std::int16_t top, std::int16_t right, std::int16_t bottom)
{
    return Record(0x041B, {bottom, right, top, left});
}

WmfWriter& WmfWriter::RoundRect(std::int16_t left, std::int16_t top, std::int16_t right, std::int16_t bottom,
                                std::int16_t cornerWidth, std::int16_t cornerHeight)
{
    return Record(0x061C, {cornerHeight, cornerWidth, bottom, right, top, left});
}

WmfWriter& WmfWriter::Ellipse(std::int16_t left, std::int16_t top, std::int16_t right, std::int16_t bottom)
{
    return Record(0x0418, {bottom, right, top, left});
}

WmfWriter& WmfWriter::ArcLike(std::uint16_t function, std::int16_t left, std::int16_t top, std::int16_t right,
                              std::int16_t bottom, Point16 start, Point16 end)
{
    return Record(function, {end.second, end.first, start.second, start.first, bottom, right, top, left});
}

WmfWriter& WmfWriter::Polygon(const std::vector<Point16>& points)
{
    return Record(0x0324, CountedPoints(points));
}

WmfWriter& WmfWriter::Polyline(const std::vector<Point16>& points)
{
    return Record(0x0325, CountedPoints(points));
}

WmfWriter& WmfWriter::PolyPolygon(const std::vector<std::vector<Point16>>& polygons)
{
    std::vector<std::int16_t> words = {static_cast<std::int16_t>(polygons.size())};
    for (const auto& polygon : polygons)
        words.push_back(static_cast<std::int16_t>(polygon.size()));
    for (const auto& polygon : polygons)
        for (const auto& [x, y] : polygon) {
            words.push_back(x);
            words.push_back(y);
        }
    return Record(0x0538, words);
}

WmfWriter& WmfWriter::IntersectClipRect(std::int16_t left, std::int16_t top, std::int16_t right, std::int16_t bottom)
{
    return Record(0x0416, {bottom, right, top, left});
}

WmfWriter& WmfWriter::ExcludeClipRect(std::int16_t left, std::int16_t top, std::int16_t right, std::int16_t bottom)
{
    return Record(0x0415, {bottom, right, top, left});
}

WmfWriter& WmfWriter::Text(std::int16_t x, std::int16_t y, const std::string& text)
{
    std::vector<std::int16_t> words = {static_cast<std::int16_t>(text.size())};
    for (std::int16_t w : TextWords(text))
        words.push_back(w);
    words.push_back(y);
    words.push_back(x);
    return Record(0x0521, words);
}

WmfWriter& WmfWriter::ExtText(std::int16_t x, std::int16_t y, std::uint16_t options, const std::string& text)
{
    std::vector<std::int16_t> words = {y, x, static_cast<std::int16_t>(text.size()),
                                       static_cast<std::int16_t>(options)};
    for (std::int16_t w : TextWords(text))
        words.push_back(w);
    return Record(0x0A32, words);
}

WmfWriter& WmfWriter::PatBlt(std::int16_t x, std::int16_t y, std::int16_t width, std::int16_t height,
                             std::uint32_t rop)
{
    return Record(0x061D, {Lo(rop), Hi(rop), height, width, y, x});
}

WmfWriter& WmfWriter::StretchDib(std::int16_t x, std::int16_t y, std::int16_t width, std::int16_t height,
                                 const Bytes& packedDib, std::int16_t dibWidth, std::int16_t dibHeight)
{
    const std::uint32_t srccopy = 0x00CC0020;
    std::vector<std::int16_t> words = {Lo(srccopy), Hi(srccopy), 0 /* DIB_RGB_COLORS */, dibHeight, dibWidth, 0, 0,
                                       height, width, y, x};
    for (std::int16_t w : BytesAsWords(packedDib))
        words.push_back(w);
    return Record(0x0F43, words);
}

Bytes WmfWriter::Metafile(std::uint16_t objects) const
{
    Bytes out;
    const std::uint32_t words = 9 + static_cast<std::uint32_t>(m_records.size() / 2) + 3;
    Put(out, 1, 2);         // in memory
    Put(out, 9, 2);         // header size in words
    Put(out, 0x0300, 2);    // version
    Put(out, words, 4);     // whole size in words
    Put(out, objects, 2);   // object slots
    Put(out, m_largest, 4); // largest record in words
    Put(out, 0, 2);
    out.insert(out.end(), m_records.begin(), m_records.end());
    Put(out, 3, 4); // EOF
    Put(out, 0, 2);
    return out;
}

Bytes WmfWriter::Placeable(std::int16_t left, std::int16_t top, std::int16_t right, std::int16_t bottom,
                           std::uint16_t unitsPerInch, std::uint16_t objects) const
{
    Bytes head;
    Put(head, 0x9AC6CDD7, 4);
    Put(head, 0, 2);
    for (std::int16_t v : {left, top, right, bottom})
        Put(head, static_cast<std::uint16_t>(v), 2);
    Put(head, unitsPerInch, 2);
    Put(head, 0, 4);
    std::uint16_t checksum = 0;
    for (std::size_t i = 0; i < head.size(); i += 2)
        checksum ^= static_cast<std::uint16_t>(head[i] | (head[i + 1] << 8));
    Put(head, checksum, 2);
    return Joined(head, Metafile(objects));
}

// ---- Enhanced metafile ------------------------------------------------------------------

EmfWriter::EmfWriter(const RECT& bounds, const RECT& frame, Point32 device, Point32 millimetres)
    : m_bounds(bounds), m_frame(frame), m_device(device), m_millimetres(millimetres)
{
}

EmfWriter& EmfWriter::Record(std::uint32_t type, std::initializer_list<std::int32_t> params)
{
    Bytes bytes;
    for (std::int32_t v : params)
        Put(bytes, static_cast<std::uint32_t>(v), 4);
    return Record(type, bytes);
}

EmfWriter& EmfWriter::Record(std::uint32_t type, const Bytes& params)
{
    Bytes padded = params;
    while (padded.size() % 4)
        padded.push_back(0);
    return RawRecord(type, static_cast<std::uint32_t>(8 + padded.size()), padded);
}

EmfWriter& EmfWriter::RawRecord(std::uint32_t type, std::uint32_t size, const Bytes& params)
{
    Put(m_records, type, 4);
    Put(m_records, size, 4);
    m_records.insert(m_records.end(), params.begin(), params.end());
    ++m_count;
    return *this;
}

EmfWriter& EmfWriter::SetMapMode(std::int32_t mode) { return Record(17, {mode}); }
EmfWriter& EmfWriter::SetWindowOrg(std::int32_t x, std::int32_t y) { return Record(10, {x, y}); }
EmfWriter& EmfWriter::SetWindowExt(std::int32_t cx, std::int32_t cy) { return Record(9, {cx, cy}); }
EmfWriter& EmfWriter::SetViewportOrg(std::int32_t x, std::int32_t y) { return Record(12, {x, y}); }
EmfWriter& EmfWriter::SetViewportExt(std::int32_t cx, std::int32_t cy) { return Record(11, {cx, cy}); }

EmfWriter& EmfWriter::WorldTransform(const std::vector<float>& matrix, std::int32_t mode)
{
    Bytes params;
    for (float f : matrix) {
        std::uint32_t bits;
        std::memcpy(&bits, &f, 4);
        Put(params, bits, 4);
    }
    if (mode == 0)
        return Record(35, params);
    Put(params, static_cast<std::uint32_t>(mode), 4);
    return Record(36, params);
}

EmfWriter& EmfWriter::CreatePen(std::uint32_t index, std::uint32_t style, std::int32_t width, std::uint32_t colour)
{
    return Record(38, {static_cast<std::int32_t>(index), static_cast<std::int32_t>(style), width, 0,
                       static_cast<std::int32_t>(colour)});
}

EmfWriter& EmfWriter::ExtCreatePen(std::uint32_t index, std::uint32_t style, std::uint32_t width,
                                   std::uint32_t colour, const std::vector<std::uint32_t>& dashes)
{
    Bytes params;
    for (std::uint32_t v : {index, 0u, 0u, 0u, 0u, style, width, 0u /* BS_SOLID */, colour, 0u,
                            static_cast<std::uint32_t>(dashes.size())})
        Put(params, v, 4);
    for (std::uint32_t d : dashes)
        Put(params, d, 4);
    if (dashes.empty()) // the record's fixed part holds one dash entry, used or not
        Put(params, 0, 4);
    return Record(95, params);
}

EmfWriter& EmfWriter::CreateBrush(std::uint32_t index, std::uint32_t style, std::uint32_t colour, std::uint32_t hatch)
{
    return Record(39, {static_cast<std::int32_t>(index), static_cast<std::int32_t>(style),
                       static_cast<std::int32_t>(colour), static_cast<std::int32_t>(hatch)});
}

EmfWriter& EmfWriter::CreatePatternBrush(std::uint32_t index, const Bytes& packedDib)
{
    // The header (40 bytes, no colour table for 24 bits) and the bits at separate offsets.
    const std::uint32_t bitsSize = static_cast<std::uint32_t>(packedDib.size() - 40);
    Bytes params;
    for (std::uint32_t v : {index, 0u /* DIB_RGB_COLORS */, 32u, 40u, 72u, bitsSize})
        Put(params, v, 4);
    params.insert(params.end(), packedDib.begin(), packedDib.end());
    return Record(94, params);
}

EmfWriter& EmfWriter::Font(std::uint32_t index, std::int32_t height, std::int32_t weight, bool italic,
                                 const std::u16string& face)
{
    Bytes params;
    Put(params, index, 4);
    Put(params, static_cast<std::uint32_t>(height), 4);
    Put(params, 0, 4); // width
    Put(params, 0, 4); // escapement
    Put(params, 0, 4); // orientation
    Put(params, static_cast<std::uint32_t>(weight), 4);
    params.push_back(italic ? 1 : 0);
    for (int i = 0; i < 7; ++i)
        params.push_back(0);
    for (std::size_t i = 0; i < 32; ++i)
        Put(params, i < face.size() && i < 31 ? face[i] : 0, 2);
    return Record(82, params);
}

EmfWriter& EmfWriter::SelectObject(std::uint32_t index) { return Record(37, {static_cast<std::int32_t>(index)}); }
EmfWriter& EmfWriter::DeleteObject(std::uint32_t index) { return Record(40, {static_cast<std::int32_t>(index)}); }
EmfWriter& EmfWriter::Rectangle(const RECT& box) { return Record(43, {box.left, box.top, box.right, box.bottom}); }
EmfWriter& EmfWriter::Ellipse(const RECT& box) { return Record(42, {box.left, box.top, box.right, box.bottom}); }

EmfWriter& EmfWriter::IntersectClipRect(const RECT& box)
{
    return Record(30, {box.left, box.top, box.right, box.bottom});
}

EmfWriter& EmfWriter::Poly16(std::uint32_t type, const std::vector<Point16>& points)
{
    return Record(type, PolyParameters(points, 2));
}

EmfWriter& EmfWriter::Poly32(std::uint32_t type, const std::vector<Point32>& points)
{
    return Record(type, PolyParameters(points, 4));
}

EmfWriter& EmfWriter::ExtTextW(std::int32_t x, std::int32_t y, std::uint32_t options, const std::u16string& text)
{
    // Record offsets count from the record's start: the text follows the 76-byte fixed part.
    Bytes params;
    PutRect(params, RECT{0, 0, -1, -1});
    Put(params, 1, 4);     // GM_COMPATIBLE
    Put(params, 0, 4);     // exScale
    Put(params, 0, 4);     // eyScale
    Put(params, static_cast<std::uint32_t>(x), 4);
    Put(params, static_cast<std::uint32_t>(y), 4);
    Put(params, text.size(), 4);
    Put(params, 76, 4);    // offString
    Put(params, options, 4);
    PutRect(params, RECT{0, 0, 0, 0});
    Put(params, 0, 4);     // offDx: none
    for (char16_t c : text)
        Put(params, c, 2);
    return Record(84, params);
}

EmfWriter& EmfWriter::StretchDibits(const RECT& destination, const Bytes& packedDib, std::uint32_t rop)
{
    const std::int32_t width = static_cast<std::int32_t>(packedDib[4] | (packedDib[5] << 8));
    const std::int32_t height = static_cast<std::int32_t>(packedDib[8] | (packedDib[9] << 8));
    Bytes params;
    PutRect(params, destination);
    for (std::int32_t v : {std::int32_t(destination.left), std::int32_t(destination.top), 0, 0, width, height})
        Put(params, static_cast<std::uint32_t>(v), 4);
    const std::uint32_t bitsSize = static_cast<std::uint32_t>(packedDib.size() - 40);
    for (std::uint32_t v : {80u, 40u, 120u, bitsSize, 0u /* DIB_RGB_COLORS */, rop})
        Put(params, v, 4);
    Put(params, static_cast<std::uint32_t>(destination.right - destination.left), 4);
    Put(params, static_cast<std::uint32_t>(destination.bottom - destination.top), 4);
    params.insert(params.end(), packedDib.begin(), packedDib.end());
    return Record(81, params);
}

Bytes EmfWriter::Metafile() const
{
    Bytes out;
    const std::uint32_t headerSize = emfHeaderSize;
    const std::uint32_t total = headerSize + static_cast<std::uint32_t>(m_records.size()) + 20;
    Put(out, 1, 4);
    Put(out, headerSize, 4);
    PutRect(out, m_bounds);
    PutRect(out, m_frame);
    Put(out, 0x464D4520, 4); // " EMF"
    Put(out, 0x10000, 4);    // version
    Put(out, total, 4);
    Put(out, m_count + 2, 4); // records with header and EOF
    Put(out, 16, 2);          // handles
    Put(out, 0, 2);
    Put(out, 0, 4); // description
    Put(out, 0, 4);
    Put(out, 0, 4); // palette entries
    Put(out, static_cast<std::uint32_t>(m_device.first), 4);
    Put(out, static_cast<std::uint32_t>(m_device.second), 4);
    Put(out, static_cast<std::uint32_t>(m_millimetres.first), 4);
    Put(out, static_cast<std::uint32_t>(m_millimetres.second), 4);
    Put(out, 0, 4); // no pixel format
    Put(out, 0, 4);
    Put(out, 0, 4); // no OpenGL records
    Put(out, static_cast<std::uint32_t>(m_millimetres.first) * 1000, 4);
    Put(out, static_cast<std::uint32_t>(m_millimetres.second) * 1000, 4);
    out.insert(out.end(), m_records.begin(), m_records.end());
    Put(out, 14, 4); // EMR_EOF: no palette, offPalEntries, nSizeLast
    Put(out, 20, 4);
    Put(out, 0, 4);
    Put(out, 16, 4);
    Put(out, 20, 4);
    return out;
}

} // namespace vx::test
