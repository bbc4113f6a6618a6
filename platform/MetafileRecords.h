// Reading metafile records without trusting them: a record is a bounded view of bytes whose
// every read is checked against its length, and the walkers below hand out one record at a
// time, stopping at the end-of-file record, at a record whose length does not fit, at a record
// whose offsets, counts or object indices reach past its own bytes or the object table (what
// GDI reads unchecked), or at the end of the data, whichever comes first. Header-only, so that
// the image library's codec checks a metafile with the same walk before any player sees it.
#pragma once

#include "platform/wintypes.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>

namespace vx::metafile {

// A run of little-endian bytes. Reads outside it give 0, and Has() tells whether a read fits,
// so a record handler checks its size once and a lying record can never reach past its data.
class ByteView {
public:
    ByteView() = default;
    ByteView(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}

    std::size_t Size() const { return m_size; }
    const std::uint8_t* Data() const { return m_data; }
    bool Has(std::size_t offset, std::size_t count) const { return offset <= m_size && count <= m_size - offset; }

    std::uint8_t U8(std::size_t offset) const { return Has(offset, 1) ? m_data[offset] : 0; }
    std::uint16_t U16(std::size_t offset) const
    {
        if (!Has(offset, 2))
            return 0;
        return static_cast<std::uint16_t>(m_data[offset] | (m_data[offset + 1] << 8));
    }
    std::int16_t S16(std::size_t offset) const { return static_cast<std::int16_t>(U16(offset)); }
    std::uint32_t U32(std::size_t offset) const
    {
        if (!Has(offset, 4))
            return 0;
        return static_cast<std::uint32_t>(m_data[offset]) | (static_cast<std::uint32_t>(m_data[offset + 1]) << 8) |
               (static_cast<std::uint32_t>(m_data[offset + 2]) << 16) |
               (static_cast<std::uint32_t>(m_data[offset + 3]) << 24);
    }
    std::int32_t S32(std::size_t offset) const { return static_cast<std::int32_t>(U32(offset)); }
    float F32(std::size_t offset) const
    {
        const std::uint32_t bits = U32(offset);
        float value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }
    // The bytes [offset, offset + count), or an empty view when they do not fit.
    ByteView Sub(std::size_t offset, std::size_t count) const
    {
        return Has(offset, count) ? ByteView(m_data + offset, count) : ByteView();
    }

private:
    const std::uint8_t* m_data = nullptr;
    std::size_t m_size = 0;
};

// An 8-bit text of a record, read as Windows code page 1252 (the ANSI code page of the
// Western systems most metafiles come from).
inline std::u16string DecodeAnsi(ByteView bytes)
{
    // Code page 1252 differs from Latin-1 only in 0x80-0x9F.
    static constexpr char16_t high[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                          0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                          0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                          0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    std::u16string text;
    text.reserve(bytes.Size());
    for (std::size_t i = 0; i < bytes.Size(); ++i) {
        const std::uint8_t b = bytes.U8(i);
        text.push_back(b >= 0x80 && b < 0xA0 ? high[b - 0x80] : static_cast<char16_t>(b));
    }
    return text;
}

// What GDI reads of a DIB: the BITMAPINFO's bytes (header, masks, colour table of 4-byte
// entries, or of 2-byte palette indices) and those of its pixel rows, `rows` of them at most.
struct DibExtent {
    std::uint64_t info, bits;
};

// The extent of the DIB whose BITMAPINFO starts `data`; nothing when its header does not fit.
inline std::optional<DibExtent> DibExtentOf(ByteView data, bool paletteIndices, std::uint64_t rows = UINT64_MAX)
{
    constexpr std::uint32_t coreHeader = 12, infoHeader = 40, biRgb = 0, biBitfields = 3;
    const std::uint32_t headerSize = data.U32(0);
    if (headerSize < coreHeader || !data.Has(0, headerSize))
        return std::nullopt;
    const bool core = headerSize == coreHeader;
    const std::uint64_t width = core ? data.U16(4) : static_cast<std::uint64_t>(std::abs(std::int64_t{data.S32(4)}));
    const std::uint64_t height = core ? data.U16(6) : static_cast<std::uint64_t>(std::abs(std::int64_t{data.S32(8)}));
    const std::uint32_t bitCount = data.U16(core ? 10 : 14), compression = core ? biRgb : data.U32(16);
    // The colour table: the used count (at most 256), else a full one up to 8 bits per pixel.
    const std::uint32_t used = core ? 0 : std::min<std::uint32_t>(data.U32(32), 256);
    const std::uint64_t colours = used ? used : bitCount <= 8 ? std::uint64_t{1} << bitCount : 0;
    DibExtent extent{};
    extent.info = std::max<std::uint64_t>(headerSize, compression == biBitfields ? infoHeader + 12 : 0) +
                  colours * (paletteIndices ? 2 : core ? 3 : 4);
    if (compression != biRgb && compression != biBitfields) {
        extent.bits = data.U32(20); // run lengths, JPEG or PNG: the header's image size
    } else {
        const std::uint64_t stride = (width * bitCount + 31) / 32 * 4;
        rows = std::min(rows, height);
        extent.bits = rows && stride > UINT64_MAX / rows ? UINT64_MAX : stride * rows;
    }
    return extent;
}

// Whether a packed DIB (the rows right after the colour table) lies within `dib`.
inline bool PackedDibFits(ByteView dib, bool paletteIndices, std::uint64_t rows = UINT64_MAX)
{
    const std::optional<DibExtent> extent = DibExtentOf(dib, paletteIndices, rows);
    return extent && extent->info <= dib.Size() && extent->bits <= dib.Size() - extent->info;
}

// ---- Windows metafile (16-bit records) --------------------------------------------------

struct WmfHeader {
    std::uint16_t headerWords; // where the records start, in 16-bit words
    std::uint16_t objects;     // slots in the object table
};

// The 18-byte header at the start of `data`; nothing when it is not a Windows metafile.
inline std::optional<WmfHeader> ReadWmfHeader(ByteView data)
{
    constexpr std::size_t headerBytes = 18;
    if (!data.Has(0, headerBytes))
        return std::nullopt;
    const std::uint16_t type = data.U16(0);
    const std::uint16_t headerWords = data.U16(2);
    // Type 1 is a metafile in memory, 2 one on disk; the header is at least its own 9 words.
    if ((type != 1 && type != 2) || headerWords < headerBytes / 2 || !data.Has(0, headerWords * 2u))
        return std::nullopt;
    return WmfHeader{headerWords, data.U16(12)};
}

struct WmfRecord {
    std::uint16_t function;
    ByteView params; // the parameter words after size and function
};

// Whether what GDI reads of a Windows metafile record without checking lies within it: the
// object index of a select or delete within the header's table of `objects` slots, the points
// of a poly record and the characters of a text record within the record, and the DIB of a
// bitmap record.
inline bool WmfRecordIsSound(const WmfRecord& record, std::size_t objects)
{
    const ByteView& p = record.params;
    const auto wordsFit = [&](std::size_t words) { return p.Has(0, 2 * words); };
    const auto padded = [](std::size_t bytes) { return (bytes + 1) & ~std::size_t{1}; };
    const std::uint16_t dibPalColors = 1;
    switch (record.function) {
    case 0x012D: // SELECTOBJECT
    case 0x01F0: // DELETEOBJECT
    case 0x0234: // SELECTPALETTE
        return wordsFit(1) && p.U16(0) < objects;
    case 0x012C: // SELECTCLIPREGION: 0 selects no region
        return wordsFit(1) && (p.U16(0) == 0 || p.U16(0) < objects);
    case 0x0324: // POLYGON
    case 0x0325: // POLYLINE
        return wordsFit(1) && p.Has(2, 4 * std::size_t{p.U16(0)});
    case 0x0538: { // POLYPOLYGON: polygon count, the point counts, the points
        const std::size_t polygons = p.U16(0);
        if (!wordsFit(1 + polygons))
            return false;
        std::size_t points = 0;
        for (std::size_t i = 0; i < polygons; ++i)
            points += p.U16(2 + 2 * i);
        return p.Has(2 + 2 * polygons, 4 * points);
    }
    case 0x0521: // TEXTOUT: count, the string padded to whole words, y, x
        return wordsFit(1) && p.S16(0) >= 0 && p.Has(2, padded(p.U16(0)) + 4);
    case 0x0A32: // EXTTEXTOUT: y, x, count, options, [rectangle], the string
        return wordsFit(4) && p.S16(4) >= 0 && p.Has((p.U16(6) & 6) ? 16 : 8, p.U16(4));
    // Bitmap records: the DIB follows the fixed words; DIBBITBLT and DIBSTRETCHBLT without one
    // are as long as their fixed words.
    case 0x0F43: // STRETCHDIB: rop, usage, 8 coordinates
        return wordsFit(11) && PackedDibFits(p.Sub(22, p.Size() - 22), p.U16(4) == dibPalColors);
    case 0x0D33: // SETDIBTODEV: usage, scan count, start scan, 6 coordinates
        return wordsFit(9) && PackedDibFits(p.Sub(18, p.Size() - 18), p.U16(0) == dibPalColors, p.U16(2));
    case 0x0940: // DIBBITBLT: rop, 6 coordinates
        return p.Size() <= 18 || PackedDibFits(p.Sub(16, p.Size() - 16), false);
    case 0x0B41: // DIBSTRETCHBLT: rop, 8 coordinates
        return p.Size() <= 22 || PackedDibFits(p.Sub(20, p.Size() - 20), false);
    case 0x0142: // DIBCREATEPATTERNBRUSH: style, usage
        return wordsFit(2) && PackedDibFits(p.Sub(4, p.Size() - 4), p.U16(2) == dibPalColors);
    default:
        return true;
    }
}

class WmfRecordWalker {
public:
    WmfRecordWalker(ByteView data, const WmfHeader& header)
        : m_data(data), m_offset(header.headerWords * std::size_t{2}), m_objects(header.objects)
    {}

    // The next record, or nothing at EOF, at a record that does not fit or lies, or at the
    // data's end.
    std::optional<WmfRecord> Next()
    {
        constexpr std::size_t fixedBytes = 6; // size in words (32-bit), function (16-bit)
        if (!m_data.Has(m_offset, fixedBytes))
            return std::nullopt;
        const std::uint64_t bytes = std::uint64_t{m_data.U32(m_offset)} * 2;
        const std::uint16_t function = m_data.U16(m_offset + 4);
        if (bytes < fixedBytes || !m_data.Has(m_offset, bytes))
            return std::nullopt;
        if (function == 0x0000) {
            m_reachedEof = true;
            return std::nullopt;
        }
        WmfRecord record{function, m_data.Sub(m_offset + fixedBytes, static_cast<std::size_t>(bytes) - fixedBytes)};
        if (!WmfRecordIsSound(record, m_objects))
            return std::nullopt;
        m_offset += static_cast<std::size_t>(bytes);
        return record;
    }

    // Whether the walk ended at a whole EOF record rather than at damage or the data's end.
    bool ReachedEof() const { return m_reachedEof; }

private:
    ByteView m_data;
    std::size_t m_offset;
    std::size_t m_objects;
    bool m_reachedEof = false;
};

// Whether a Windows metafile's records are whole and sound: each record's size fits in the
// data, what it holds passes WmfRecordIsSound, and the walk ends at an EOF record. What GDI is
// handed must pass this; GDI trusts the sizes.
inline bool WmfRecordsAreWhole(ByteView data)
{
    const std::optional<WmfHeader> header = ReadWmfHeader(data);
    if (!header)
        return false;
    WmfRecordWalker walker(data, *header);
    while (walker.Next()) {
    }
    return walker.ReachedEof();
}

// ---- Enhanced metafile (32-bit records) -------------------------------------------------

struct EmfHeader {
    RECT bounds;                                      // device pixels, inclusive
    RECT frame;                                       // 0.01 mm, inclusive
    std::uint32_t handles;                            // slots in the object table, the reserved slot 0 included
    std::int32_t deviceWidth, deviceHeight;           // reference device in pixels
    std::int32_t millimetresWidth, millimetresHeight; // and in millimetres
};

// A rectangle of four 32-bit values at `offset`.
inline RECT ReadRect(ByteView data, std::size_t offset)
{
    return RECT{data.S32(offset), data.S32(offset + 4), data.S32(offset + 8), data.S32(offset + 12)};
}

// The EMR_HEADER record at the start of `data`; nothing when it is not an enhanced metafile.
inline std::optional<EmfHeader> ReadEmfHeader(ByteView data)
{
    constexpr std::uint32_t emrHeader = 1;
    constexpr std::uint32_t signature = 0x464D4520; // " EMF"
    constexpr std::size_t headerBytes = 88;
    if (!data.Has(0, headerBytes) || data.U32(0) != emrHeader || data.U32(40) != signature)
        return std::nullopt;
    const std::uint32_t size = data.U32(4);
    if (size < headerBytes || size % 4 != 0 || !data.Has(0, size))
        return std::nullopt;
    EmfHeader header{};
    header.bounds = ReadRect(data, 8);
    header.frame = ReadRect(data, 24);
    header.handles = data.U16(56);
    header.deviceWidth = data.S32(72);
    header.deviceHeight = data.S32(76);
    header.millimetresWidth = data.S32(80);
    header.millimetresHeight = data.S32(84);
    return header;
}

struct EmfRecord {
    std::uint32_t type;
    ByteView record; // the whole record, type and size included: EMF offsets count from here
};

// Whether what GDI reads of an enhanced metafile record without checking lies within it: the
// object index of a record that creates, selects or deletes an object within the header's
// table of `handles` slots (slot 0 is the metafile's own; selections may name stock objects),
// the points of a poly record, the string and spacing of a text record, the region of a clip
// record, and the DIBs (header, colour table and rows) of a bitmap record; and whether the
// coordinates of lines, shapes, 32-bit points and text stay within GDI's range.
inline bool EmfRecordIsSound(const EmfRecord& emr, std::uint32_t handles)
{
    const ByteView& r = emr.record;
    const std::uint32_t type = emr.type;
    constexpr std::uint32_t stockObject = 0x80000000, dibPalColors = 1, etoPdy = 0x2000;
    // A record's DIB: where its usage and its four fields (info offset and size, bits offset
    // and size) are; no DIB when the info size is 0.
    const auto dibFits = [&](std::size_t usageAt, std::size_t fieldsAt, std::uint64_t rows = UINT64_MAX) {
        const std::uint32_t infoAt = r.U32(fieldsAt), infoSize = r.U32(fieldsAt + 4);
        const std::uint32_t bitsAt = r.U32(fieldsAt + 8), bitsSize = r.U32(fieldsAt + 12);
        if (!r.Has(0, fieldsAt + 16))
            return false;
        if (infoSize == 0)
            return true;
        const auto extent = DibExtentOf(r.Sub(infoAt, infoSize), r.U32(usageAt) == dibPalColors, rows);
        return r.Has(bitsAt, bitsSize) && extent && extent->info <= infoSize && extent->bits <= bitsSize;
    };
    // GDI keeps device coordinates to 27 bits, and its rasteriser is not safe past them: `count`
    // 32-bit coordinates from `at` must stay within that.
    const auto coordinatesFit = [&](std::size_t at, std::uint64_t count) {
        constexpr std::int32_t limit = 1 << 27;
        if (!r.Has(at, 4 * count))
            return false;
        for (std::size_t i = 0; i < count; ++i)
            if (r.S32(at + 4 * i) < -limit || r.S32(at + 4 * i) >= limit)
                return false;
        return true;
    };
    // Poly records: bounds, then a point count at 24 and the points at 28.
    const auto pointsFit = [&](std::size_t pointSize, std::size_t extraPerPoint = 0) {
        const std::uint64_t count = r.U32(24);
        return r.Has(0, 28) && r.Has(28, count * (pointSize + extraPerPoint)) &&
               (pointSize != 8 || coordinatesFit(28, 2 * count));
    };
    switch (type) {
    case 37: // SELECTOBJECT
    case 48: // SELECTPALETTE
        if (r.U32(8) & stockObject)
            return r.Has(8, 4);
        [[fallthrough]];
    case 38: // CREATEPEN
    case 39: // CREATEBRUSHINDIRECT
    case 40: // DELETEOBJECT
    case 49: // CREATEPALETTE
    case 50: // SETPALETTEENTRIES
    case 51: // RESIZEPALETTE
    case 82: // EXTCREATEFONTINDIRECTW
    case 95: // EXTCREATEPEN
        return r.U32(8) >= 1 && r.U32(8) < handles;
    case 93: // CREATEMONOBRUSH
    case 94: // CREATEDIBPATTERNBRUSHPT
        return r.U32(8) >= 1 && r.U32(8) < handles && dibFits(12, 16);
    case 27: // MOVETOEX
    case 54: // LINETO
        return coordinatesFit(8, 2);
    case 42: // ELLIPSE
    case 43: // RECTANGLE
        return coordinatesFit(8, 4);
    case 44: // ROUNDRECT: the box and the corner
        return coordinatesFit(8, 6);
    case 45: case 46: case 47: case 55: // ARC, CHORD, PIE, ARCTO: the box and two radials
        return coordinatesFit(8, 8);
    case 2: case 3: case 4: case 5: case 6: // POLYBEZIER, POLYGON, POLYLINE, POLYBEZIERTO, POLYLINETO
        return pointsFit(8);
    case 85: case 86: case 87: case 88: case 89: // the same with 16-bit points
        return pointsFit(4);
    case 56: // POLYDRAW: the points, then a type byte each
        return pointsFit(8, 1);
    case 92: // POLYDRAW16
        return pointsFit(4, 1);
    case 7: case 8: case 90: case 91: { // POLYPOLYLINE, POLYPOLYGON (32- and 16-bit points)
        // bounds, polygon count, point count, the point counts, the points
        const std::uint64_t polygons = r.U32(24), points = r.U32(28);
        const std::size_t pointSize = type <= 8 ? 8 : 4;
        if (!r.Has(0, 32) || !r.Has(32, 4 * polygons) || !r.Has(32 + 4 * polygons, points * pointSize))
            return false;
        std::uint64_t counted = 0;
        for (std::size_t i = 0; i < polygons; ++i)
            counted += r.U32(32 + 4 * i);
        return counted <= points && (pointSize != 8 || coordinatesFit(32 + 4 * polygons, 2 * points));
    }
    case 83: // EXTTEXTOUTA
    case 84: { // EXTTEXTOUTW: characters at offString, a spacing entry each at offDx (two with ETO_PDY)
        const std::uint64_t count = r.U32(44);
        const std::uint32_t stringAt = r.U32(48), spacingAt = r.U32(72);
        return r.Has(0, 76) && coordinatesFit(36, 2) &&
               (count == 0 || r.Has(stringAt, count * (type == 84 ? 2 : 1))) &&
               (spacingAt == 0 || r.Has(spacingAt, count * (r.U32(52) & etoPdy ? 8 : 4)));
    }
    case 75: // EXTSELECTCLIPRGN: region size, mode, then the region's 32-byte header and rectangles
        return r.Size() < 48 || r.Has(48, std::uint64_t{r.U32(24)} * 16);
    case 76: case 77: case 114: case 116: // BITBLT, STRETCHBLT, ALPHABLEND, TRANSPARENTBLT
        return dibFits(80, 84);
    case 78: // MASKBLT: the source, then the mask
        return dibFits(80, 84) && dibFits(108, 112);
    case 79: // PLGBLT
        return dibFits(92, 96) && dibFits(120, 124);
    case 80: // SETDIBITSTODEVICE: as many rows as its scan count
        return dibFits(64, 48, r.U32(72));
    case 81: // STRETCHDIBITS
        return dibFits(64, 48);
    default:
        return true;
    }
}

class EmfRecordWalker {
public:
    EmfRecordWalker(ByteView data, const EmfHeader& header) : m_data(data), m_handles(header.handles) {}

    // The next record, or nothing at EMR_EOF, at a record that does not fit or lies, or at the
    // data's end.
    std::optional<EmfRecord> Next()
    {
        constexpr std::uint32_t emrEof = 14;
        if (!m_data.Has(m_offset, 8))
            return std::nullopt;
        const std::uint32_t type = m_data.U32(m_offset);
        const std::uint32_t size = m_data.U32(m_offset + 4);
        if (size < 8 || size % 4 != 0 || !m_data.Has(m_offset, size))
            return std::nullopt;
        EmfRecord record{type, m_data.Sub(m_offset, size)};
        if (!EmfRecordIsSound(record, m_handles))
            return std::nullopt;
        m_offset += size;
        if (type == emrEof) {
            m_reachedEof = true;
            return std::nullopt;
        }
        return record;
    }

    // Whether the walk ended at a whole EMR_EOF record rather than at damage or the data's end.
    bool ReachedEof() const { return m_reachedEof; }

private:
    ByteView m_data;
    std::uint32_t m_handles;
    std::size_t m_offset = 0;
    bool m_reachedEof = false;
};

// Whether an enhanced metafile's records are whole and sound: the first is EMR_HEADER, each
// record's size is at least 8, a multiple of 4 and fits, what it holds passes
// EmfRecordIsSound, and the walk reaches EMR_EOF within the header's nBytes. What GDI is
// handed must pass this; GDI trusts the sizes.
inline bool EmfRecordsAreWhole(ByteView data)
{
    const std::optional<EmfHeader> header = ReadEmfHeader(data);
    if (!header)
        return false;
    const std::size_t declared = data.U32(48); // nBytes
    EmfRecordWalker walker(data.Sub(0, std::min(declared, data.Size())), *header);
    while (walker.Next()) {
    }
    return walker.ReachedEof();
}

} // namespace vx::metafile
