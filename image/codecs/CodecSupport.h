// What the codecs of this folder share: a failure raised as a message inside a codec's Decode
// or Encode and caught at its boundary, exact reads and little-endian fields, and size
// arithmetic checked against the image memory limit before anything is allocated.
// Only codec sources include this; nothing here escapes a codec as an exception.
#pragma once

#include "image/VxImage.h"
#include "image/VxStream.h"

#include <cstddef>
#include <cstdint>
#include <new>

// Raised inside a codec only. An empty message means "not this format": the codec returns
// false and leaves lastError as it was.
struct CodecFailure {
    const char* message;
};

[[noreturn]] inline void FailWith(const char* message)
{
    throw CodecFailure{message};
}

// Runs a codec's body at its boundary: a raised failure becomes lastError (when it has a
// text) and false; running out of memory becomes "can't allocate memory".
template <class Body>
bool RunCodec(VxImage& image, Body&& body) noexcept
{
    try {
        return body();
    } catch (const CodecFailure& failure) {
        if (failure.message && *failure.message)
            image.SetLastError(failure.message);
    } catch (const std::bad_alloc&) {
        image.SetLastError("can't allocate memory");
    }
    return false;
}

// True when exactly `count` bytes were read.
inline bool ReadExact(VxStream& stream, void* buffer, std::size_t count)
{
    return count == 0 || stream.Read(buffer, 1, count) == count;
}

// Reads exactly `count` bytes or raises `message`.
inline void ReadOrFail(VxStream& stream, void* buffer, std::size_t count, const char* message)
{
    if (!ReadExact(stream, buffer, count))
        FailWith(message);
}

// True when all `count` bytes went out.
inline bool WriteAll(VxStream& stream, const void* buffer, std::size_t count)
{
    return count == 0 || stream.Write(buffer, 1, count) == count;
}

// Writes all `count` bytes or raises the message of a failed save.
inline void WriteOrFail(VxStream& stream, const void* buffer, std::size_t count)
{
    if (!WriteAll(stream, buffer, count))
        FailWith("Save: the file could not be written");
}

// Bytes from the position to the end of the stream (0 when the stream cannot tell).
inline std::int64_t BytesLeft(VxStream& stream)
{
    const std::int32_t position = stream.Tell();
    const std::int32_t size = stream.Size();
    return position < 0 || size < position ? 0 : static_cast<std::int64_t>(size) - position;
}

inline std::uint16_t LoadU16LE(const std::uint8_t* p)
{
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

inline std::uint32_t LoadU32LE(const std::uint8_t* p)
{
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

inline void StoreU16LE(std::uint8_t* p, std::uint16_t v)
{
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

inline void StoreU32LE(std::uint8_t* p, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// a x b, or false when the product exceeds `limit` (the image memory limit by default).
inline bool ProductWithin(std::uint64_t a, std::uint64_t b, std::uint64_t& product,
                          std::uint64_t limit = VXIMAGE_MAX_MEMORY)
{
    if (a != 0 && b > limit / a)
        return false;
    product = a * b;
    return product <= limit;
}
