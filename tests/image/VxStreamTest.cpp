// Byte streams: the memory stream's growth, positions past the end, whole-item and line reads,
// a caller's block, streams without a buffer or handle, and the file stream over a caller's handle.
#include "image/VxStream.h"
#include "platform/FileSystem.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Growth past the block, in one large write and byte by byte, keeps every byte; sizes past
// 32 bits are refused. A caller's block is written in place and copied to grow, never
// reallocated or freed; a detached block is the caller's.
TEST(VxMemStream, GrowsKeepingEveryByteWithin32BitsAndCopiesACallersBlock)
{
    VxMemStream stream;
    ASSERT_TRUE(stream.Open());
    EXPECT_FALSE(stream.Open()); // already open: the block stays
    std::vector<std::uint8_t> bytes(200000);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 7);
    ASSERT_EQ(stream.Write(bytes.data(), 4, 16384), 16384u); // 65,536 bytes at once
    for (std::size_t i = 65536; i < bytes.size(); ++i)
        ASSERT_TRUE(stream.PutC(bytes[i]));
    EXPECT_GE(stream.Capacity(), 200000);
    EXPECT_EQ(std::memcmp(stream.GetBuffer(false), bytes.data(), bytes.size()), 0);
    EXPECT_EQ(stream.Write(bytes.data(), 0x100000000ull, 0x100000000ull), 0u); // wraps in 64 bits
    EXPECT_EQ(stream.Write(bytes.data(), 1, 0x80000000ull), 0u);
    EXPECT_FALSE(stream.Alloc(0x7FFFFFFF));
    EXPECT_EQ(stream.Size(), 200000);
    std::free(stream.GetBuffer(true)); // detached: the caller's to free (ASan sees a second free)

    std::uint8_t block[4] = {1, 2, 3, 4}; // not from malloc: growing must not realloc it
    {
        VxMemStream over(block, 4);
        ASSERT_TRUE(over.Seek(2, SEEK_SET));
        ASSERT_EQ(over.Write("\x09\x09", 2, 1), 1u);
        EXPECT_EQ(over.GetBuffer(false), block);
        ASSERT_EQ(over.Write("\x05\x06\x07", 1, 3), 3u); // growing in place or by realloc: ASan reports
        ASSERT_EQ(over.Size(), 7);
        EXPECT_EQ(std::memcmp(over.GetBuffer(false), "\x01\x02\x09\x09\x05\x06\x07", 7), 0);
    } // the stream owns and frees its grown copy
    EXPECT_EQ(block[3], 9);

    VxMemStream borrowed(block, 4);
    EXPECT_TRUE(borrowed.Close()); // not owned: nothing freed, still readable
    EXPECT_EQ(borrowed.GetC(), 1);
}

// Reads count whole items but copy every byte; at or past the end nothing is read; a seek
// clamps at zero and may pass the end, where a write fills the gap with zeros. A line read
// stops after a newline or before the last byte of the buffer and needs its newline.
TEST(VxMemStream, ReadsSeeksAndLinesAroundTheEnd)
{
    std::uint8_t data[12] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
    VxMemStream stream(data, 12);
    ASSERT_TRUE(stream.Seek(-15, SEEK_END));
    EXPECT_EQ(stream.Tell(), 0);
    ASSERT_TRUE(stream.Seek(2, SEEK_CUR));
    std::uint8_t out[12] = {};
    EXPECT_EQ(stream.Read(out, 4, 3), 2u); // 10 bytes left: two whole items
    EXPECT_EQ(stream.Tell(), 12);
    EXPECT_EQ(out[9], 11);
    EXPECT_EQ(stream.Read(out, 1, 1), 0u);
    EXPECT_EQ(stream.Error(), 0);
    ASSERT_TRUE(stream.Seek(-3, SEEK_END));
    EXPECT_EQ(stream.GetC(), 9);
    ASSERT_TRUE(stream.Seek(0, SEEK_SET));
    EXPECT_EQ(stream.Read(out, 1, 0) + stream.Read(out, 0, 5) + stream.Read(nullptr, 1, 1), 0u);
    EXPECT_EQ(stream.Tell(), 0);
    ASSERT_TRUE(stream.Seek(20, SEEK_SET));
    EXPECT_EQ(stream.Read(out, 1, 1), 0u);
    EXPECT_TRUE(stream.Eof());
    EXPECT_EQ(stream.Error(), 1);
    EXPECT_EQ(stream.GetC(), -1);
    EXPECT_FALSE(stream.Seek(0, 3));
    EXPECT_EQ(stream.Tell(), 20);
    EXPECT_FALSE(stream.Seek(0x7FFFFFFF, SEEK_END)); // past a 32-bit position

    VxMemStream grown;
    ASSERT_TRUE(grown.Open());
    ASSERT_TRUE(grown.PutC(0xEE));
    ASSERT_TRUE(grown.Seek(5, SEEK_SET));
    ASSERT_TRUE(grown.PutC(0xAB));
    ASSERT_EQ(grown.Size(), 6);
    EXPECT_EQ(std::memcmp(grown.GetBuffer(false), "\xEE\0\0\0\0\xAB", 6), 0);

    char line[16];
    std::uint8_t lines[8] = {'a', 'b', '\n', 'c', 'd', '\n', 'e', 'f'};
    VxMemStream text(lines, 8);
    std::vector<std::string> got;
    for (int capacity : {16, 2, 16, 16, 0}) // 2: one byte and the terminator
        got.push_back(text.GetS(line, capacity) == line ? line : "(none)");
    EXPECT_EQ(got, (std::vector<std::string>{"ab\n", "c", "d\n", "(none)", "(none)"})); // "ef" has no newline
    EXPECT_EQ(text.Scanf("%d", nullptr), 0); // reads nothing, writes nothing
}

// Every call on a memory stream without a block or a file stream without a handle fails cleanly.
void ExpectDead(VxStream& stream, std::int32_t tell)
{
    std::uint8_t byte = 1;
    char line[4];
    EXPECT_EQ(stream.Read(&byte, 1, 1) + stream.Write(&byte, 1, 1), 0u);
    EXPECT_FALSE(stream.Seek(0, SEEK_SET) || stream.Flush() || stream.PutC(1));
    EXPECT_EQ((std::vector<int>{stream.Tell(), stream.Size(), stream.Error(), stream.GetC()}),
              (std::vector<int>{tell, -1, -1, -1}));
    EXPECT_EQ(stream.GetS(line, 4), nullptr);
    EXPECT_TRUE(stream.Eof() && stream.Close());
}

TEST(VxStream, WithoutABufferOrHandleAndOverACallersHandle)
{
    VxFileStream closed;
    ExpectDead(closed, 0);
    EXPECT_EQ(closed.Scanf("%d", nullptr), -1);

    VxMemStream memory;
    ExpectDead(memory, -1);
    ASSERT_TRUE(memory.Open() && memory.PutC(1));
    EXPECT_TRUE(memory.Flush() && memory.Close());
    ExpectDead(memory, -1); // closed: as without a block

    // Reads, seeks and line reads go through a caller's handle, which neither the stream's
    // destruction nor Close closes.
    vx::test::ScratchDir dir;
    const std::string text = "12 apples\nrest!";
    vx::test::WriteFileBytes(dir / "stream.bin", vx::test::Bytes(text.begin(), text.end()));
    std::FILE* file = vx::fs::OpenFile((dir / "stream.bin").u16string().c_str(), "rb");
    ASSERT_NE(file, nullptr);
    {
        VxFileStream stream(file);
        EXPECT_EQ(stream.Size(), 15);
        int number = 0;
        EXPECT_EQ(stream.Scanf("%d", &number), 1);
        EXPECT_EQ(number, 12);
        char line[32];
        ASSERT_EQ(stream.GetS(line, sizeof(line)), line);
        EXPECT_STREQ(line, " apples\n");
    }
    VxFileStream again(file);
    EXPECT_TRUE(again.Close());
    EXPECT_EQ(std::fclose(file), 0);
}

} // namespace
