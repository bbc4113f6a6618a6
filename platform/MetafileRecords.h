// Reading metafile records without trusting them: a record is a bounded view of bytes whose
// every read is checked against its length, and the walkers below hand out one record at a
// time, stopping at the end-of-file record, at a record whose length does not fit, or at the
// end of the data, whichever comes first. Header-only, so that the image library's codec can
// check a metafile's record structure with the same walk before any player sees it.
#pragma once

#include "platform/wintypes.h"

#include <algorithm>
#include <cstddef>
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

class WmfRecordWalker {
public:
    WmfRecordWalker(ByteView data, const WmfHeader& header)
        : m_data(data), m_offset(header.headerWords * std::size_t{2})
    {}

    // The next record, or nothing at EOF, at a record that does not fit or at the data's end.
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
        m_offset += static_cast<std::size_t>(bytes);
        return record;
    }

    // Whether the walk ended at a whole EOF record rather than at damage or the data's end.
    bool ReachedEof() const { return m_reachedEof; }

private:
    ByteView m_data;
    std::size_t m_offset;
    bool m_reachedEof = false;
};

// Whether a Windows metafile's records are whole: each record's size fits in the data and
// the walk ends at an EOF record. What GDI is handed must pass this; GDI trusts the sizes.
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

class EmfRecordWalker {
public:
    explicit EmfRecordWalker(ByteView data) : m_data(data) {}

    // The next record, or nothing at EMR_EOF, at a record that does not fit or at the data's end.
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
    std::size_t m_offset = 0;
    bool m_reachedEof = false;
};

// Whether an enhanced metafile's records are whole: the first is EMR_HEADER, each record's
// size is at least 8, a multiple of 4 and fits, and the walk reaches EMR_EOF within the
// header's nBytes. What GDI is handed must pass this; GDI trusts the sizes.
inline bool EmfRecordsAreWhole(ByteView data)
{
    if (!ReadEmfHeader(data))
        return false;
    const std::size_t declared = data.U32(48); // nBytes
    EmfRecordWalker walker(data.Sub(0, std::min(declared, data.Size())));
    while (walker.Next()) {
    }
    return walker.ReachedEof();
}

} // namespace vx::metafile
