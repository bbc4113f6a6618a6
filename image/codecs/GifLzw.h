// The byte-level machinery of GIF files: a buffered reader over a VxStream, the LZW reader that
// turns image data sub-blocks into pixel rows, and the three coders that write pixel data as
// LZW-compatible codes (dictionary LZW, literal codes only, and runs of equal pixels).
// Codes are packed least significant bit first into data sub-blocks of at most 255 bytes.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

class VxStream;

namespace vx::gif {

// Reads a stream through a 16,383-byte buffer; positions are stream positions.
class GifInput {
public:
    explicit GifInput(VxStream& stream);

    // The next byte, or -1 at the end of the stream.
    int Byte()
    {
        if (m_position == m_fill && !Refill())
            return -1;
        return m_buffer[m_position++];
    }
    bool Read(std::uint8_t* target, std::size_t count);
    bool Skip(std::int64_t count);
    std::int64_t Position() const { return m_base + m_position; }
    bool SeekTo(std::int64_t position);
    // Leaves the stream just after the last byte handed out.
    void Release();

private:
    bool Refill();

    VxStream& m_stream;
    std::array<std::uint8_t, 16383> m_buffer{};
    std::int64_t m_base = 0; // stream position of m_buffer[0]
    std::uint32_t m_position = 0;
    std::uint32_t m_fill = 0;
};

// Receives decoded pixel rows (one byte per pixel, top row first). A negative result stops
// the decoding: the frame has all the rows it can hold.
class RowSink {
public:
    virtual ~RowSink() = default;
    virtual int PutRow(std::uint8_t* pixels, std::uint32_t length) = 0;
};

constexpr int kEndOfData = -1;
constexpr int kBadCodeSize = -20;

struct LzwResult {
    int status = 0;               // 0, kEndOfData before the first code, or kBadCodeSize
    std::uint32_t badCodes = 0;   // codes beyond the next free code
    bool terminatorRead = false;  // the zero-length sub-block ending the data was consumed
};

// Decodes one image's data (minimum code size byte, then sub-blocks) from the input. With a
// null sink only the end of the data is found: codes are read, strings are not expanded.
// Whatever the codes, nothing is written outside the fixed tables, the stack or the line.
class LzwReader {
public:
    LzwResult Decode(GifInput& input, RowSink* sink, std::uint32_t lineLength);

private:
    int NextCode(GifInput& input);
    void ResetTable();
    void AddEntry(int prefix, std::uint8_t suffix);

    int m_width = 0, m_clear = 0, m_end = 0, m_firstFree = 0, m_limit = 0, m_nextFree = 0;
    int m_blockLeft = 0;
    std::uint32_t m_bits = 0;
    int m_bitCount = 0;
    bool m_terminatorRead = false;
    std::array<std::uint16_t, 4096> m_prefix{};
    std::array<std::uint8_t, 4096> m_suffix{};
    std::array<std::uint8_t, 4097> m_stack{};
};

// The pixels of an indexed picture in file order (top row first), one index at a time.
class PixelCursor {
public:
    // `rows[y]` is the first byte of row y from the top; `bits` is 1, 4 or 8.
    PixelCursor(std::vector<const std::uint8_t*> rows, std::uint32_t width, std::uint32_t bits);
    // The next pixel's index, or -1 when all have been handed out.
    int NextPixel();

private:
    std::vector<const std::uint8_t*> m_rows;
    std::uint32_t m_width, m_bits;
    std::uint32_t m_column = 0, m_row = 0;
};

enum class Coder { kLzw, kPlain, kRuns };

// Writes pixel data as sub-blocks after the minimum code size byte (not included), ending
// with the zero-length sub-block. False when the stream refused a write.
bool CompressPixels(VxStream& stream, PixelCursor& pixels, int codeSize, Coder coder);

} // namespace vx::gif
