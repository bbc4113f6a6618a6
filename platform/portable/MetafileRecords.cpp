#include "platform/portable/MetafileRecords.h"

#include <cstring>

namespace vx::metafile {

std::uint16_t ByteView::U16(std::size_t offset) const
{
    if (!Has(offset, 2))
        return 0;
    return static_cast<std::uint16_t>(m_data[offset] | (m_data[offset + 1] << 8));
}

std::uint32_t ByteView::U32(std::size_t offset) const
{
    if (!Has(offset, 4))
        return 0;
    return static_cast<std::uint32_t>(m_data[offset]) | (static_cast<std::uint32_t>(m_data[offset + 1]) << 8) |
           (static_cast<std::uint32_t>(m_data[offset + 2]) << 16) |
           (static_cast<std::uint32_t>(m_data[offset + 3]) << 24);
}

float ByteView::F32(std::size_t offset) const
{
    const std::uint32_t bits = U32(offset);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

ByteView ByteView::Sub(std::size_t offset, std::size_t count) const
{
    return Has(offset, count) ? ByteView(m_data + offset, count) : ByteView();
}

std::u16string DecodeAnsi(ByteView bytes)
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

// ---- Windows metafile -------------------------------------------------------------------

std::optional<WmfHeader> ReadWmfHeader(ByteView data)
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

WmfRecordWalker::WmfRecordWalker(ByteView data, const WmfHeader& header)
    : m_data(data), m_offset(header.headerWords * std::size_t{2})
{}

std::optional<WmfRecord> WmfRecordWalker::Next()
{
    constexpr std::size_t fixedBytes = 6; // size in words (32-bit), function (16-bit)
    if (!m_data.Has(m_offset, fixedBytes))
        return std::nullopt;
    const std::uint64_t bytes = std::uint64_t{m_data.U32(m_offset)} * 2;
    const std::uint16_t function = m_data.U16(m_offset + 4);
    if (function == 0x0000 || bytes < fixedBytes || !m_data.Has(m_offset, bytes))
        return std::nullopt;
    WmfRecord record{function, m_data.Sub(m_offset + fixedBytes, static_cast<std::size_t>(bytes) - fixedBytes)};
    m_offset += static_cast<std::size_t>(bytes);
    return record;
}

// ---- Enhanced metafile ------------------------------------------------------------------

namespace {

RECT ReadRect(ByteView data, std::size_t offset)
{
    return RECT{data.S32(offset), data.S32(offset + 4), data.S32(offset + 8), data.S32(offset + 12)};
}

} // namespace

std::optional<EmfHeader> ReadEmfHeader(ByteView data)
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

std::optional<EmfRecord> EmfRecordWalker::Next()
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
    if (type == emrEof)
        return std::nullopt;
    return record;
}

} // namespace vx::metafile
