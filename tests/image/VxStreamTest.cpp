// Byte streams: the memory stream's growth steps, positions past the end, partial reads and
// line reads, its behaviour without a buffer, and the file stream over a caller's handle
// and over no handle at all.
#include "image/VxStream.h"
#include "platform/FileSystem.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// ---- Memory stream ----------------------------------------------------------------------------

TEST(VxMemStream, OpenOnlyWithoutABuffer)
{
    VxMemStream stream;
    ASSERT_TRUE(stream.Open());
    EXPECT_EQ(stream.Capacity(), 0);
    EXPECT_EQ(stream.Size(), 0);
    ASSERT_TRUE(stream.PutC('a'));
    std::uint8_t* buffer = stream.GetBuffer(false);
    EXPECT_FALSE(stream.Open());
    EXPECT_EQ(stream.GetBuffer(false), buffer);
    EXPECT_EQ(stream.Size(), 1);
    EXPECT_EQ(stream.Tell(), 1);
}

TEST(VxMemStream, GrowsIn64KiBSteps)
{
    VxMemStream stream;
    ASSERT_TRUE(stream.Open());
    const std::uint8_t byte = 7;
    ASSERT_EQ(stream.Write(&byte, 1, 1), 1u);
    EXPECT_EQ(stream.Capacity(), 65536);

    std::vector<std::uint8_t> block(65536, 0x11);
    ASSERT_EQ(stream.Write(block.data(), 1, 65535), 65535u); // fills the 65,536 bytes exactly
    EXPECT_EQ(stream.Capacity(), 65536);
    ASSERT_TRUE(stream.PutC(0x22)); // the 65,537th byte
    EXPECT_EQ(stream.Capacity(), 131072);
    EXPECT_EQ(stream.Size(), 65537);

    VxMemStream fresh;
    ASSERT_TRUE(fresh.Open());
    ASSERT_EQ(fresh.Write(block.data(), 4, 16384), 16384u); // 65,536 bytes needed at once
    EXPECT_EQ(fresh.Capacity(), 131072);

    EXPECT_TRUE(stream.Alloc(100)); // already large enough
    EXPECT_EQ(stream.Capacity(), 131072);
    EXPECT_TRUE(stream.Alloc(131073));
    EXPECT_EQ(stream.Capacity(), 196608);

    for (int i = 0; i < 70000; ++i)
        ASSERT_TRUE(stream.PutC(static_cast<std::uint8_t>(i)));
    EXPECT_EQ(stream.Size(), 65537 + 70000);
    EXPECT_EQ(stream.Capacity(), 196608);
    EXPECT_EQ(stream.GetBuffer(false)[65537 + 69999], static_cast<std::uint8_t>(69999));
}

TEST(VxMemStream, ReadsWholeItemsButCopiesEveryByte)
{
    std::uint8_t data[12];
    for (int i = 0; i < 12; ++i)
        data[i] = static_cast<std::uint8_t>(i);
    VxMemStream stream(data, 12);
    ASSERT_TRUE(stream.Seek(2, SEEK_SET));
    std::uint8_t out[12] = {};
    EXPECT_EQ(stream.Read(out, 4, 3), 2u); // 10 bytes left: two whole items
    EXPECT_EQ(stream.Tell(), 12);
    EXPECT_EQ(out[9], 11);
    EXPECT_EQ(stream.Read(out, 1, 1), 0u); // at the end
    EXPECT_TRUE(stream.Eof());
    ASSERT_TRUE(stream.Seek(0, SEEK_SET));
    EXPECT_EQ(stream.Read(nullptr, 1, 1), 0u);
    EXPECT_EQ(stream.Read(out, 0, 5), 0u);
    EXPECT_EQ(stream.Read(out, 1, 0), 0u);
    EXPECT_EQ(stream.Tell(), 0);
}

TEST(VxMemStream, SeekClampsAtZeroAndMayPassTheEnd)
{
    std::uint8_t data[3] = {1, 2, 3};
    VxMemStream stream(data, 3);
    ASSERT_TRUE(stream.Seek(-5, SEEK_END));
    EXPECT_EQ(stream.Tell(), 0);
    EXPECT_FALSE(stream.Eof());
    EXPECT_EQ(stream.Error(), 0);
    ASSERT_TRUE(stream.Seek(2, SEEK_CUR));
    EXPECT_EQ(stream.GetC(), 3);
    ASSERT_TRUE(stream.Seek(10, SEEK_SET));
    EXPECT_TRUE(stream.Eof());
    EXPECT_EQ(stream.Error(), 1);
    EXPECT_EQ(stream.GetC(), -1);
    EXPECT_FALSE(stream.Seek(0, 3));
    EXPECT_EQ(stream.Tell(), 10);
    EXPECT_FALSE(stream.Seek(0x7FFFFFFF, SEEK_END)); // past a 32-bit position
}

TEST(VxMemStream, WritePastTheEndFillsTheGapWithZeros)
{
    VxMemStream stream;
    ASSERT_TRUE(stream.Open());
    ASSERT_TRUE(stream.PutC(0xEE));
    ASSERT_TRUE(stream.Seek(5, SEEK_SET));
    ASSERT_TRUE(stream.PutC(0xAB));
    EXPECT_EQ(stream.Size(), 6);
    const std::uint8_t* bytes = stream.GetBuffer(false);
    EXPECT_EQ(bytes[0], 0xEE);
    for (int i = 1; i < 5; ++i)
        EXPECT_EQ(bytes[i], 0) << i;
    EXPECT_EQ(bytes[5], 0xAB);
}

TEST(VxMemStream, LineReads)
{
    char line[16];
    std::uint8_t twoBytes[2] = {'a', 'b'};
    VxMemStream noNewline(twoBytes, 2);
    EXPECT_EQ(noNewline.GetS(line, sizeof(line)), nullptr);

    std::uint8_t lines[6] = {'a', 'b', '\n', 'c', 'd', '\n'};
    VxMemStream stream(lines, 6);
    ASSERT_EQ(stream.GetS(line, sizeof(line)), line);
    EXPECT_STREQ(line, "ab\n");
    ASSERT_EQ(stream.GetS(line, 2), line); // capacity 2: one byte and the terminator
    EXPECT_STREQ(line, "c");
    ASSERT_EQ(stream.GetS(line, sizeof(line)), line);
    EXPECT_STREQ(line, "d\n");
    EXPECT_EQ(stream.GetS(line, sizeof(line)), nullptr);
    EXPECT_EQ(stream.GetS(line, 0), nullptr);
    int value = 0;
    EXPECT_EQ(stream.Scanf("%d", &value), 0);
}

TEST(VxMemStream, CallersBlockIsWrittenInPlaceAndCopiedToGrow)
{
    std::uint8_t block[4] = {1, 2, 3, 4}; // not from malloc: growing must not realloc it
    {
        VxMemStream stream(block, 4);
        ASSERT_TRUE(stream.Seek(2, SEEK_SET));
        const std::uint8_t two[2] = {9, 9};
        ASSERT_EQ(stream.Write(two, 2, 1), 1u);
        EXPECT_EQ(block[2], 9);
        EXPECT_EQ(stream.GetBuffer(false), block);

        const std::uint8_t more[3] = {5, 6, 7};
        ASSERT_EQ(stream.Write(more, 1, 3), 3u);
        const std::uint8_t* grown = stream.GetBuffer(false);
        ASSERT_NE(grown, block);
        EXPECT_EQ(stream.Size(), 7);
        const std::uint8_t expected[7] = {1, 2, 9, 9, 5, 6, 7};
        EXPECT_EQ(std::memcmp(grown, expected, 7), 0);
    } // the stream now owns and frees its grown copy
    EXPECT_EQ(block[3], 9);

    VxMemStream borrowed(block, 4);
    EXPECT_TRUE(borrowed.Close()); // not owned: nothing freed, still readable
    EXPECT_EQ(borrowed.GetC(), 1);
}

TEST(VxMemStream, DetachedBufferBelongsToTheCaller)
{
    std::uint8_t* buffer;
    {
        VxMemStream stream;
        ASSERT_TRUE(stream.Open());
        const char text[] = "hello";
        ASSERT_EQ(stream.Write(text, 1, 5), 5u);
        buffer = stream.GetBuffer(true);
    }
    EXPECT_EQ(std::memcmp(buffer, "hello", 5), 0);
    std::free(buffer);
}

TEST(VxMemStream, WithoutABuffer)
{
    VxMemStream stream;
    std::uint8_t byte = 1;
    char line[4];
    EXPECT_EQ(stream.Read(&byte, 1, 1), 0u);
    EXPECT_EQ(stream.Write(&byte, 1, 1), 0u);
    EXPECT_FALSE(stream.Seek(0, SEEK_SET));
    EXPECT_EQ(stream.Tell(), -1);
    EXPECT_EQ(stream.Size(), -1);
    EXPECT_FALSE(stream.Flush());
    EXPECT_TRUE(stream.Eof());
    EXPECT_EQ(stream.Error(), -1);
    EXPECT_FALSE(stream.PutC(1));
    EXPECT_EQ(stream.GetC(), -1);
    EXPECT_EQ(stream.GetS(line, 4), nullptr);
    EXPECT_TRUE(stream.Close());

    ASSERT_TRUE(stream.Open());
    ASSERT_EQ(stream.Write(&byte, 1, 1), 1u);
    EXPECT_TRUE(stream.Flush());
    EXPECT_TRUE(stream.Close());
    EXPECT_EQ(stream.Tell(), -1);
    EXPECT_EQ(stream.Write(&byte, 1, 1), 0u);
}

TEST(VxMemStream, RefusesSizesBeyond32Bits)
{
    VxMemStream stream;
    ASSERT_TRUE(stream.Open());
    std::uint8_t byte = 0;
    // size x count would wrap in 64 bits; nothing may be copied.
    EXPECT_EQ(stream.Write(&byte, 0x100000000ull, 0x100000000ull), 0u);
    EXPECT_EQ(stream.Write(&byte, 1, 0x80000000ull), 0u);
    EXPECT_FALSE(stream.Alloc(0x7FFFFFFF));
    EXPECT_EQ(stream.Size(), 0);
}

// The base PutC is a one-byte Write.
class CountingStream : public VxStream {
public:
    int writes = 0;
    bool Close() override { return true; }
    std::uint32_t Read(void*, std::size_t, std::size_t) override { return 0; }
    std::uint32_t Write(const void*, std::size_t size, std::size_t count) override
    {
        ++writes;
        return size == 1 && count == 1 ? 1u : 0u;
    }
    bool Seek(std::int32_t, int) override { return false; }
    std::int32_t Tell() override { return 0; }
    std::int32_t Size() override { return 0; }
    bool Flush() override { return true; }
    bool Eof() override { return true; }
    int Error() override { return 0; }
    int GetC() override { return -1; }
    char* GetS(char*, int) override { return nullptr; }
    int Scanf(const char*, void*) override { return 0; }
};

TEST(VxStream, BasePutCWritesOneByte)
{
    CountingStream stream;
    EXPECT_TRUE(stream.PutC(5));
    EXPECT_EQ(stream.writes, 1);
}

// ---- File stream --------------------------------------------------------------------------------

TEST(VxFileStream, NullHandle)
{
    VxFileStream stream;
    std::uint8_t byte = 0;
    char line[4];
    int value = 0;
    EXPECT_EQ(stream.Read(&byte, 1, 1), 0u);
    EXPECT_EQ(stream.Write(&byte, 1, 1), 0u);
    EXPECT_FALSE(stream.Seek(0, SEEK_SET));
    EXPECT_EQ(stream.Tell(), 0);
    EXPECT_EQ(stream.Size(), -1);
    EXPECT_FALSE(stream.Flush());
    EXPECT_TRUE(stream.Eof());
    EXPECT_EQ(stream.Error(), -1);
    EXPECT_FALSE(stream.PutC(1));
    EXPECT_EQ(stream.GetC(), -1);
    EXPECT_EQ(stream.GetS(line, 4), nullptr);
    EXPECT_EQ(stream.Scanf("%d", &value), -1);
    EXPECT_TRUE(stream.Close());
}

TEST(VxFileStream, ReadsWritesAndSeeksThroughTheHandle)
{
    vx::test::ScratchDir dir;
    const auto path = dir / "stream.bin";
    std::FILE* file = vx::fs::OpenFile(vx::test::ToU16(path).c_str(), "w+b");
    ASSERT_NE(file, nullptr);
    {
        VxFileStream stream(file);
        const char text[] = "12 apples\nrest";
        EXPECT_EQ(stream.Write(text, 2, 7), 7u);
        EXPECT_TRUE(stream.PutC('!'));
        EXPECT_TRUE(stream.Flush());
        EXPECT_EQ(stream.Tell(), 15);
        ASSERT_TRUE(stream.Seek(3, SEEK_SET));
        EXPECT_EQ(stream.Size(), 15);
        EXPECT_EQ(stream.Tell(), 3); // Size puts the position back
        EXPECT_EQ(stream.GetC(), 'a');

        ASSERT_TRUE(stream.Seek(0, SEEK_SET));
        int number = 0;
        EXPECT_EQ(stream.Scanf("%d", &number), 1);
        EXPECT_EQ(number, 12);
        char line[32];
        ASSERT_EQ(stream.GetS(line, sizeof(line)), line);
        EXPECT_STREQ(line, " apples\n");

        char rest[8] = {};
        EXPECT_EQ(stream.Read(rest, 2, 4), 2u); // "rest!" holds two whole 2-byte items
        EXPECT_TRUE(stream.Eof());
        EXPECT_EQ(stream.Error(), 0);
        EXPECT_FALSE(stream.Seek(-100, SEEK_SET));
    }
    // Neither the stream's destruction nor Close closed the caller's handle.
    VxFileStream again(file);
    EXPECT_TRUE(again.Close());
    EXPECT_EQ(std::fseek(file, 0, SEEK_END), 0);
    EXPECT_EQ(std::fputc('x', file), 'x');
    EXPECT_EQ(std::ftell(file), 16);
    EXPECT_EQ(std::fclose(file), 0);
    EXPECT_EQ(vx::test::ReadFileBytes(path).size(), 16u);
}

} // namespace
