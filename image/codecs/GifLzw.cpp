// GIF pixel data: buffered input, the LZW reader, and the three coders that write it.
#include "image/codecs/GifLzw.h"

#include "image/VxStream.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace vx::gif {

namespace {

constexpr int kMaxCodes = 4096; // 12-bit codes
constexpr int kMaxWidth = 12;

} // namespace

// ---- Input ---------------------------------------------------------------------------------

GifInput::GifInput(VxStream& stream) : m_stream(stream)
{
    const std::int32_t start = stream.Tell();
    m_base = start < 0 ? 0 : start;
}

bool GifInput::Refill()
{
    m_base += m_fill;
    m_position = 0;
    m_fill = m_stream.Read(m_buffer.data(), 1, m_buffer.size());
    return m_fill != 0;
}

bool GifInput::Read(std::uint8_t* target, std::size_t count)
{
    while (count > 0) {
        if (m_position == m_fill && !Refill())
            return false;
        const std::size_t part = std::min<std::size_t>(count, m_fill - m_position);
        std::memcpy(target, m_buffer.data() + m_position, part);
        m_position += static_cast<std::uint32_t>(part);
        target += part;
        count -= part;
    }
    return true;
}

bool GifInput::Skip(std::int64_t count)
{
    const std::int64_t inBuffer = m_fill - m_position;
    if (count <= inBuffer) {
        m_position += static_cast<std::uint32_t>(count);
        return true;
    }
    // Beyond the end is refused: a skip never moves past what the stream holds.
    const std::int64_t target = Position() + count;
    const std::int32_t size = m_stream.Size();
    if (size >= 0 && target > size) {
        SeekTo(size);
        return false;
    }
    return SeekTo(target);
}

bool GifInput::SeekTo(std::int64_t position)
{
    if (position >= m_base && position <= m_base + m_fill) {
        m_position = static_cast<std::uint32_t>(position - m_base);
        return true;
    }
    if (position < 0 || position > INT32_MAX || !m_stream.Seek(static_cast<std::int32_t>(position), SEEK_SET))
        return false;
    m_base = position;
    m_position = m_fill = 0;
    return true;
}

void GifInput::Release()
{
    m_stream.Seek(static_cast<std::int32_t>(Position()), SEEK_SET);
    m_base = Position();
    m_position = m_fill = 0;
}

// ---- LZW reader ----------------------------------------------------------------------------

void LzwReader::ResetTable()
{
    m_width = 0;
    while ((1 << m_width) < m_clear)
        ++m_width;
    ++m_width;
    m_limit = 1 << m_width;
    m_nextFree = m_firstFree;
}

void LzwReader::AddEntry(int prefix, std::uint8_t suffix)
{
    if (m_nextFree >= m_limit)
        return;
    m_prefix[m_nextFree] = static_cast<std::uint16_t>(prefix);
    m_suffix[m_nextFree] = suffix;
    ++m_nextFree;
    if (m_nextFree == m_limit && m_width < kMaxWidth) {
        ++m_width;
        m_limit <<= 1;
    }
}

int LzwReader::NextCode(GifInput& input)
{
    while (m_bitCount < m_width) {
        if (m_blockLeft == 0) {
            if (m_terminatorRead)
                return m_end;
            const int length = input.Byte();
            if (length < 0)
                return length;
            if (length == 0) {
                // The data ended without an end code: what came so far is the frame.
                m_terminatorRead = true;
                return m_end;
            }
            m_blockLeft = length;
        }
        const int byte = input.Byte();
        if (byte < 0)
            return byte;
        --m_blockLeft;
        m_bits |= static_cast<std::uint32_t>(byte) << m_bitCount;
        m_bitCount += 8;
    }
    const int code = static_cast<int>(m_bits & ((1u << m_width) - 1));
    m_bits >>= m_width;
    m_bitCount -= m_width;
    return code;
}

LzwResult LzwReader::Decode(GifInput& input, RowSink* sink, std::uint32_t lineLength)
{
    LzwResult result;
    const int codeSize = input.Byte();
    if (codeSize < 0) {
        result.status = kEndOfData;
        return result;
    }
    if (codeSize < 2 || codeSize > 9) {
        result.status = kBadCodeSize;
        return result;
    }
    m_clear = 1 << codeSize;
    m_end = m_clear + 1;
    m_firstFree = m_clear + 2;
    m_blockLeft = 0;
    m_bits = 0;
    m_bitCount = 0;
    m_terminatorRead = false;
    ResetTable();

    std::vector<std::uint8_t> line;
    if (sink)
        line.resize(static_cast<std::size_t>(lineLength) + 1);
    std::uint32_t filled = 0;
    int previous = -1;
    std::uint8_t first = 0;
    bool stopped = false; // the sink has all its rows

    const auto emit = [&](const std::uint8_t* pixels, int count) {
        while (count > 0 && !stopped) {
            const std::uint32_t part = std::min<std::uint32_t>(static_cast<std::uint32_t>(count), lineLength - filled);
            std::memcpy(line.data() + filled, pixels, part);
            filled += part;
            pixels += part;
            count -= static_cast<int>(part);
            if (filled == lineLength) {
                stopped = sink->PutRow(line.data(), lineLength) < 0;
                filled = 0;
            }
        }
    };

    for (;;) {
        int code = NextCode(input);
        if (code < 0 || code == m_end)
            break;
        if (code == m_clear || previous < 0) {
            // A stream that does not open with a clear code is read as if it did.
            if (code == m_clear) {
                ResetTable();
                do
                    code = NextCode(input);
                while (code == m_clear);
                if (code < 0 || code == m_end)
                    break;
            }
            if (code >= m_nextFree)
                code = 0;
            previous = code;
            first = static_cast<std::uint8_t>(code);
            if (sink && lineLength > 0 && !stopped)
                emit(&first, 1);
            continue;
        }

        const int read = code;
        const int entry = m_nextFree;
        if (code > entry)
            ++result.badCodes;
        if (!sink || lineLength == 0 || stopped) {
            // Only the table's growth decides how later codes are read; the codes after a
            // full frame are still read, so the end of the data is found as without a sink.
            AddEntry(0, 0);
            previous = std::min(read, entry);
            continue;
        }
        int top = static_cast<int>(m_stack.size());
        if (code >= entry) {
            m_stack[--top] = first;
            code = previous;
        }
        // Strings are built backwards from the end of the stack. Every entry's prefix is a
        // smaller code, so the walk ends; a chain longer than the stack loses its excess.
        while (code >= m_firstFree) {
            if (top > 1)
                m_stack[--top] = m_suffix[code];
            code = m_prefix[code];
        }
        first = static_cast<std::uint8_t>(code);
        m_stack[--top] = first;
        AddEntry(previous, first);
        // A code beyond the table stands for the entry just made, never for a later one.
        previous = std::min(read, entry);
        emit(m_stack.data() + top, static_cast<int>(m_stack.size()) - top);
    }
    if (sink && filled > 0 && !stopped)
        sink->PutRow(line.data(), filled);
    result.terminatorRead = m_terminatorRead;
    return result;
}

// ---- Pixels in file order --------------------------------------------------------------------

PixelCursor::PixelCursor(std::vector<const std::uint8_t*> rows, std::uint32_t width, std::uint32_t bits)
    : m_rows(std::move(rows)), m_width(width), m_bits(bits)
{
}

int PixelCursor::NextPixel()
{
    if (m_row >= m_rows.size() || m_width == 0)
        return -1;
    const std::uint8_t* row = m_rows[m_row];
    int index;
    if (m_bits == 8)
        index = row[m_column];
    else if (m_bits == 4)
        index = (row[m_column >> 1] >> (4 - 4 * (m_column & 1))) & 0x0F;
    else
        index = (row[m_column >> 3] >> (7 - (m_column & 7))) & 0x01;
    if (++m_column == m_width) {
        m_column = 0;
        ++m_row;
    }
    return index;
}

namespace {

// Packs codes least significant bit first into data sub-blocks of 255 bytes.
class CodeWriter {
public:
    explicit CodeWriter(VxStream& stream) : m_stream(stream) {}

    void Put(int code, int width)
    {
        m_bits |= static_cast<std::uint32_t>(code) << m_bitCount;
        m_bitCount += width;
        while (m_bitCount >= 8) {
            PutByte(static_cast<std::uint8_t>(m_bits));
            m_bits >>= 8;
            m_bitCount -= 8;
        }
    }

    // Writes the last partial byte, the last sub-block and the zero-length terminator.
    bool Finish()
    {
        if (m_bitCount > 0)
            PutByte(static_cast<std::uint8_t>(m_bits));
        m_bits = 0;
        m_bitCount = 0;
        WriteBlock();
        const std::uint8_t terminator = 0;
        m_ok = m_ok && m_stream.Write(&terminator, 1, 1) == 1;
        return m_ok && m_stream.Flush() && m_stream.Error() == 0;
    }

private:
    void PutByte(std::uint8_t byte)
    {
        m_block[1 + m_fill++] = byte;
        if (m_fill == 255)
            WriteBlock();
    }

    void WriteBlock()
    {
        if (m_fill == 0)
            return;
        m_block[0] = static_cast<std::uint8_t>(m_fill);
        m_ok = m_ok && m_stream.Write(m_block.data(), 1, m_fill + 1u) == m_fill + 1u;
        m_fill = 0;
    }

    VxStream& m_stream;
    std::uint32_t m_bits = 0;
    int m_bitCount = 0;
    std::array<std::uint8_t, 256> m_block{};
    int m_fill = 0;
    bool m_ok = true;
};

// What the dictionary coders share: the code width follows the decoder's table, which gains
// one entry per code after the first; a clear sends both sides back to the initial width.
class TableCoder {
public:
    TableCoder(VxStream& stream, int codeSize)
        : m_out(stream), m_initialWidth(codeSize + 1), m_clear(1 << codeSize), m_end(m_clear + 1)
    {
        Restart();
    }

    int Clear() const { return m_clear; }

    void Emit(int code)
    {
        m_out.Put(code, m_width);
        if (m_nextFree > m_largest || m_clearPending) {
            if (m_clearPending) {
                m_width = m_initialWidth;
                m_largest = (1 << m_width) - 1;
                m_clearPending = false;
            } else {
                ++m_width;
                m_largest = m_width == kMaxWidth ? kMaxCodes : (1 << m_width) - 1;
            }
        }
    }

    // Counts the entry the decoder makes for the code just emitted; true when there was
    // room. A full table is cleared instead (clear code emitted) and false returned.
    bool CountEntry()
    {
        if (m_nextFree < kMaxCodes) {
            ++m_nextFree;
            return true;
        }
        m_nextFree = m_clear + 2;
        m_clearPending = true;
        Emit(m_clear);
        return false;
    }

    int NextFree() const { return m_nextFree; }

    bool Finish(int current)
    {
        if (current >= 0)
            Emit(current);
        Emit(m_end);
        return m_out.Finish();
    }

private:
    void Restart()
    {
        m_width = m_initialWidth;
        m_largest = (1 << m_width) - 1;
        m_nextFree = m_clear + 2;
    }

    CodeWriter m_out;
    int m_initialWidth, m_clear, m_end;
    int m_width = 0, m_largest = 0, m_nextFree = 0;
    bool m_clearPending = false;
};

// Every pixel as a literal code: larger files, but no dictionary at all.
bool CompressPlain(VxStream& stream, PixelCursor& pixels, int codeSize)
{
    TableCoder coder(stream, codeSize);
    coder.Emit(coder.Clear());
    for (int pixel = pixels.NextPixel(); pixel >= 0; pixel = pixels.NextPixel()) {
        coder.Emit(pixel);
        coder.CountEntry();
    }
    return coder.Finish(-1);
}

// Dictionary LZW with an open-addressed hash of 5,003 slots keyed by (pixel << 12) + prefix code.
bool CompressLzw(VxStream& stream, PixelCursor& pixels, int codeSize)
{
    constexpr int kSlots = 5003;
    constexpr int kShift = 4; // spreads the pixel over the slot range: (pixel << 4) ^ prefix
    std::vector<std::int32_t> keys(kSlots, -1);
    std::vector<std::uint16_t> codes(kSlots, 0);
    TableCoder coder(stream, codeSize);
    coder.Emit(coder.Clear());
    int current = pixels.NextPixel();
    if (current < 0)
        return coder.Finish(-1);
    for (int pixel = pixels.NextPixel(); pixel >= 0; pixel = pixels.NextPixel()) {
        const std::int32_t key = (pixel << 12) + current;
        int slot = (pixel << kShift) ^ current;
        if (keys[slot] == key) {
            current = codes[slot];
            continue;
        }
        bool found = false;
        if (keys[slot] >= 0) {
            const int step = slot == 0 ? 1 : kSlots - slot;
            do {
                slot -= step;
                if (slot < 0)
                    slot += kSlots;
                found = keys[slot] == key;
            } while (!found && keys[slot] > 0);
        }
        if (found) {
            current = codes[slot];
            continue;
        }
        coder.Emit(current);
        current = pixel;
        const int code = coder.NextFree();
        if (coder.CountEntry()) {
            codes[slot] = static_cast<std::uint16_t>(code);
            keys[slot] = key;
        } else {
            std::fill(keys.begin(), keys.end(), -1);
        }
    }
    return coder.Finish(current);
}

// Runs of equal pixels written as codes any LZW decoder reads correctly without the coder
// keeping a dictionary: after a clear the decoder's table fills with runs of 2, 3, ... of one
// pixel (a triangle), which later codes reuse. The code width follows the number of codes
// written since the last clear.
class RunCoder {
public:
    RunCoder(VxStream& stream, int codeSize)
        : m_out(stream), m_initialWidth(codeSize + 1), m_clear(1 << codeSize), m_end(m_clear + 1),
          m_runBase(m_clear + 2), m_initialBump(m_clear - 1),
          m_initialClearAt(m_initialWidth <= 3 ? 9 : m_clear - 2), m_maxCodes(4093 - m_clear)
    {
        Reset();
        m_out.Put(m_clear, m_width);
    }

    void Add(int pixel)
    {
        if (m_runLength > 0 && pixel != m_runPixel)
            FlushRun();
        if (m_runLength > 0) {
            ++m_runLength;
        } else {
            m_runPixel = pixel;
            m_runLength = 1;
        }
    }

    bool Finish()
    {
        if (m_runLength > 0)
            FlushRun();
        m_out.Put(m_end, m_width);
        return m_out.Finish();
    }

private:
    void Reset()
    {
        m_width = m_initialWidth;
        m_bumpAt = m_initialBump;
        m_clearAt = m_initialClearAt;
        m_count = 0;
        m_tableRun = 0;
        m_justCleared = true;
    }

    void WriteClear()
    {
        m_out.Put(m_clear, m_width);
        Reset();
    }

    void WritePlain(int code)
    {
        m_justCleared = false;
        m_out.Put(code, m_width);
        ++m_count;
        if (m_count >= m_bumpAt) {
            m_bumpAt += 1 << m_width;
            ++m_width;
        }
        if (m_count >= m_clearAt)
            WriteClear();
    }

    void RestoreClearThreshold()
    {
        m_clearAt = m_initialClearAt;
        if (m_count >= m_clearAt)
            WriteClear();
    }

    // Codes needed for a run of n when the table offers runs of 1 .. r (r codes per triangle).
    static std::uint32_t TriangleCost(std::uint32_t count, std::uint32_t codes)
    {
        const std::uint32_t perTriangle = codes * (codes + 1) / 2;
        std::uint32_t cost = count / perTriangle * codes;
        count %= perTriangle;
        if (count > 0) {
            std::uint32_t k = IntegerSquareRoot(count);
            while (k > 0 && k * (k + 1) >= 2 * count)
                --k;
            while (k * (k + 1) < 2 * count)
                ++k;
            cost += k;
        }
        return cost;
    }

    static std::uint32_t IntegerSquareRoot(std::uint32_t x)
    {
        if (x < 2)
            return x;
        std::uint32_t root = 1;
        for (std::uint32_t v = x; v != 0; v >>= 2)
            root <<= 1;
        for (;;) {
            const std::uint32_t next = (x / root + root) / 2;
            if (next == root || next == root + 1)
                return root;
            root = next;
        }
    }

    void FlushFromClear(int count)
    {
        m_clearAt = m_maxCodes;
        m_tablePixel = m_runPixel;
        int k = 1;
        while (count > 0) {
            if (k == 1) {
                m_tableRun = 1;
                WritePlain(m_runPixel);
                --count;
            } else if (count >= k) {
                m_tableRun = k;
                WritePlain(m_runBase + k - 2);
                count -= k;
            } else {
                ++m_tableRun;
                WritePlain(count == 1 ? m_runPixel : m_runBase + count - 2);
                count = 0;
            }
            k = m_count == 0 ? 1 : k + 1;
        }
        RestoreClearThreshold();
    }

    void FlushClearOrRepeat(int count)
    {
        const std::uint32_t withClear = 1 + TriangleCost(static_cast<std::uint32_t>(count), static_cast<std::uint32_t>(m_maxCodes));
        if (withClear < static_cast<std::uint32_t>(count)) {
            WriteClear();
            FlushFromClear(count);
            return;
        }
        for (; count > 0; --count)
            WritePlain(m_runPixel);
    }

    void FlushWithTable(int count)
    {
        int repeats = count / m_tableRun;
        int leftover = count % m_tableRun;
        std::uint32_t leftoverCodes = leftover ? 1 : 0;
        if (m_count + repeats + static_cast<int>(leftoverCodes) > m_maxCodes) {
            repeats = m_maxCodes - m_count;
            leftover = count - repeats * m_tableRun;
            leftoverCodes = 1 + TriangleCost(static_cast<std::uint32_t>(leftover), static_cast<std::uint32_t>(m_maxCodes));
        }
        if (1 + TriangleCost(static_cast<std::uint32_t>(count), static_cast<std::uint32_t>(m_maxCodes)) <
            static_cast<std::uint32_t>(repeats) + leftoverCodes) {
            WriteClear();
            FlushFromClear(count);
            return;
        }
        m_clearAt = m_maxCodes;
        for (; repeats > 0; --repeats)
            WritePlain(m_runBase + m_tableRun - 2);
        if (leftover > 0) {
            if (m_justCleared)
                FlushFromClear(leftover);
            else
                WritePlain(leftover == 1 ? m_runPixel : m_runBase + leftover - 2);
        }
        RestoreClearThreshold();
    }

    void FlushRun()
    {
        if (m_runLength == 1)
            WritePlain(m_runPixel);
        else if (m_justCleared)
            FlushFromClear(m_runLength);
        else if (m_tableRun < 2 || m_tablePixel != m_runPixel)
            FlushClearOrRepeat(m_runLength);
        else
            FlushWithTable(m_runLength);
        m_runLength = 0;
    }

    CodeWriter m_out;
    const int m_initialWidth, m_clear, m_end, m_runBase, m_initialBump, m_initialClearAt, m_maxCodes;
    int m_width = 0, m_bumpAt = 0, m_clearAt = 0, m_count = 0;
    int m_runPixel = -1, m_runLength = 0;
    int m_tablePixel = -1, m_tableRun = 0;
    bool m_justCleared = true;
};

} // namespace

bool CompressPixels(VxStream& stream, PixelCursor& pixels, int codeSize, Coder coder)
{
    switch (coder) {
    case Coder::kPlain:
        return CompressPlain(stream, pixels, codeSize);
    case Coder::kRuns: {
        RunCoder runs(stream, codeSize);
        for (int pixel = pixels.NextPixel(); pixel >= 0; pixel = pixels.NextPixel())
            runs.Add(pixel);
        return runs.Finish();
    }
    case Coder::kLzw:
        break;
    }
    return CompressLzw(stream, pixels, codeSize);
}

} // namespace vx::gif
