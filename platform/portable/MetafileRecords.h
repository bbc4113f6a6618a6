// Reading metafile records without trusting them: a record is a bounded view of bytes whose
// every read is checked against its length, and the walkers below hand out one record at a
// time, stopping at the end-of-file record, at a record whose length does not fit, or at the
// end of the data, whichever comes first.
#pragma once

#include "platform/wintypes.h"

#include <cstddef>
#include <cstdint>
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
    std::uint16_t U16(std::size_t offset) const;
    std::int16_t S16(std::size_t offset) const { return static_cast<std::int16_t>(U16(offset)); }
    std::uint32_t U32(std::size_t offset) const;
    std::int32_t S32(std::size_t offset) const { return static_cast<std::int32_t>(U32(offset)); }
    float F32(std::size_t offset) const;
    // The bytes [offset, offset + count), or an empty view when they do not fit.
    ByteView Sub(std::size_t offset, std::size_t count) const;

private:
    const std::uint8_t* m_data = nullptr;
    std::size_t m_size = 0;
};

// An 8-bit text of a record, read as Windows code page 1252 (the ANSI code page of the
// Western systems most metafiles come from).
std::u16string DecodeAnsi(ByteView bytes);

// ---- Windows metafile (16-bit records) --------------------------------------------------

struct WmfHeader {
    std::uint16_t headerWords; // where the records start, in 16-bit words
    std::uint16_t objects;     // slots in the object table
};

// The 18-byte header at the start of `data`; nothing when it is not a Windows metafile.
std::optional<WmfHeader> ReadWmfHeader(ByteView data);

struct WmfRecord {
    std::uint16_t function;
    ByteView params; // the parameter words after size and function
};

class WmfRecordWalker {
public:
    WmfRecordWalker(ByteView data, const WmfHeader& header);
    // The next record, or nothing at EOF, at a record that does not fit or at the data's end.
    std::optional<WmfRecord> Next();

private:
    ByteView m_data;
    std::size_t m_offset;
};

// ---- Enhanced metafile (32-bit records) -------------------------------------------------

struct EmfHeader {
    RECT bounds;                                      // device pixels, inclusive
    RECT frame;                                       // 0.01 mm, inclusive
    std::uint32_t handles;                            // slots in the object table, the reserved slot 0 included
    std::int32_t deviceWidth, deviceHeight;           // reference device in pixels
    std::int32_t millimetresWidth, millimetresHeight; // and in millimetres
};

// The EMR_HEADER record at the start of `data`; nothing when it is not an enhanced metafile.
std::optional<EmfHeader> ReadEmfHeader(ByteView data);

struct EmfRecord {
    std::uint32_t type;
    ByteView record; // the whole record, type and size included: EMF offsets count from here
};

class EmfRecordWalker {
public:
    explicit EmfRecordWalker(ByteView data) : m_data(data) {}
    std::optional<EmfRecord> Next();

private:
    ByteView m_data;
    std::size_t m_offset = 0;
};

} // namespace vx::metafile
