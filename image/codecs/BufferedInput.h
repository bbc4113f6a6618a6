// A read buffer over a VxStream for decoders that take their input a byte or a few bytes at a
// time (run-length codes, packet headers): one stream read per 64 KiB instead of one virtual
// call per byte. It reads ahead, so the stream's position is no longer the decoder's position;
// a decoder reads everything through it once it has started.
#pragma once

#include "image/VxStream.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

class BufferedInput {
public:
    explicit BufferedInput(VxStream& stream) : m_stream(stream), m_buffer(kChunk) {}

    // The next byte, or -1 at the end of the stream.
    int Next()
    {
        if (m_position == m_end && !Refill())
            return -1;
        return m_buffer[m_position++];
    }

    // True when exactly `count` bytes were copied to `out`.
    bool Read(std::uint8_t* out, std::size_t count)
    {
        while (count > 0) {
            if (m_position == m_end && !Refill())
                return false;
            const std::size_t part = std::min(count, m_end - m_position);
            std::memcpy(out, &m_buffer[m_position], part);
            m_position += part;
            out += part;
            count -= part;
        }
        return true;
    }

    // True when `count` bytes could be passed over.
    bool Skip(std::size_t count)
    {
        while (count > 0) {
            if (m_position == m_end && !Refill())
                return false;
            const std::size_t part = std::min(count, m_end - m_position);
            m_position += part;
            count -= part;
        }
        return true;
    }

private:
    static constexpr std::size_t kChunk = 65536;

    bool Refill()
    {
        m_position = 0;
        m_end = m_stream.Read(m_buffer.data(), 1, m_buffer.size());
        return m_end != 0;
    }

    VxStream& m_stream;
    std::vector<std::uint8_t> m_buffer;
    std::size_t m_position = 0;
    std::size_t m_end = 0;
};
