// VxImageBMP (ImageMagick's files and ours: CodecOracleTest): hand-built blocks for what no tool
// writes (core and long headers, RLE deltas and edges, bit fields, opacity), and truncated,
// flipped and oversized input.
#include "image/codecs/VxImageBMP.h"

#include "tests/image/codecs/CodecHarness.h"

#include <functional>

namespace {

using namespace vx::test;

struct Block {
    const char* name;
    Bytes bytes;
    const char* error;                          // null: decodes
    std::function<void(const VxImage&)> expect; // checks on the decoded image
};

std::vector<Block> HandBuiltBlocks()
{
    const Bytes redBlue = {0, 0, 255, 0, 255, 0, 0, 0};
    const Bytes rle8 = Joined(InfoHeaderBytes(4, 2, 8, 1, 8), Bytes(32, 0));
    const Bytes rle4 = Joined(InfoHeaderBytes(4, 1, 4, 2, 16), Bytes(64, 0));
    const auto colour = [](const VxImage& i, int x, int y) { return i.PixelColour(x, y, false); };
    const auto row = [](const VxImage& i, std::uint32_t y, int count) {
        return Bytes(i.RowAddress(y), i.RowAddress(y) + count);
    };
    return {
        {"CoreHeaderBareDibShorterThan40Bytes",
         {12, 0, 0, 0, 2, 0, 1, 0, 1, 0, 1, 0, 0, 0, 255, 255, 0, 0, 0x40, 0, 0, 0},
         nullptr, [=](const VxImage& i) { EXPECT_EQ(colour(i, 0, 0).rgbRed + colour(i, 1, 0).rgbBlue, 510); }},
        {"Header64WithPalette", Joined(Joined(InfoHeaderBytes(1, 1, 8, 0, 2, 64), redBlue), {1, 0, 0, 0}), nullptr,
         [=](const VxImage& i) { EXPECT_EQ(colour(i, 0, 0).rgbBlue, 255); }},
        {"Header108WithPalette", Joined(Joined(InfoHeaderBytes(1, 1, 8, 0, 2, 108), redBlue), {1, 0, 0, 0}), nullptr,
         [=](const VxImage& i) { EXPECT_EQ(colour(i, 0, 0).rgbBlue, 255); }},
        {"UnknownHeader80WithPalette", Joined(Joined(InfoHeaderBytes(1, 1, 8, 0, 2, 80), redBlue), {1, 0, 0, 0}),
         "Error reading BMP info", nullptr},
        {"PaletteLongerThan256IsReadAndDropped",
         Joined(Joined(Joined(InfoHeaderBytes(1, 1, 8, 0, 300), {0, 0, 0, 0, 0, 200, 0, 0}), Bytes(298 * 4, 0x55)),
                {1, 0, 0, 0}),
         nullptr, [=](const VxImage& i) { EXPECT_EQ(colour(i, 0, 0).rgbGreen, 200); }},
        {"Rle8DeltaAndRunsPastTheEdgeAreDropped", Joined(rle8, {0, 2, 3, 1, 5, 7, 0, 3, 1, 2, 3, 0, 0, 0, 9, 9, 0, 1}),
         nullptr,
         [=](const VxImage& i) { EXPECT_EQ(Joined(row(i, 0, 4), row(i, 1, 4)), (Bytes{0, 0, 0, 0, 0, 0, 0, 7})); }},
        {"Rle4RunAndEnd", Joined(rle4, {4, 0x12, 0, 1}), nullptr,
         [=](const VxImage& i) { EXPECT_EQ(row(i, 0, 2), (Bytes{0x12, 0x12})); }},
        {"Rle4OddDeltaAndAbsoluteRun", Joined(rle4, {0, 2, 1, 0, 0, 3, 0xAB, 0xC0, 0, 1}), nullptr,
         [=](const VxImage& i) { EXPECT_EQ(row(i, 0, 2), (Bytes{0x0A, 0xBC})); }},
        {"Bits16Default555", Joined(InfoHeaderBytes(1, 1, 16), {0xFF, 0x7F, 0, 0}), nullptr,
         [=](const VxImage& i) { EXPECT_EQ(colour(i, 0, 0).rgbGreen, 248); }},
        {"Bits32FourthBytesAllZeroIsOpaque", Joined(InfoHeaderBytes(2, 1, 32), {1, 2, 3, 0, 4, 5, 6, 0}), nullptr,
         [=](const VxImage& i) { EXPECT_TRUE(!i.HasAlpha() && colour(i, 1, 0).rgbRed == 6); }},
        {"Bits32OneOpacityByteMakesAPlane", Joined(InfoHeaderBytes(2, 1, 32), {1, 2, 3, 0, 4, 5, 6, 9}), nullptr,
         [=](const VxImage& i) { EXPECT_EQ(i.AlphaAt(0, 0) * 100 + i.AlphaAt(1, 0), 9); }},
        {"TopDown24", Joined(InfoHeaderBytes(1, -2, 24), {1, 1, 1, 0, 2, 2, 2, 0}), nullptr,
         [=](const VxImage& i) { EXPECT_EQ(colour(i, 0, 1).rgbRed, 1); }},
        {"Rle8On24Bits", Joined(InfoHeaderBytes(1, 1, 24, 1), Bytes(8, 0)), "unknown compression", nullptr},
        {"BitFieldsOn8Bits", Joined(InfoHeaderBytes(1, 1, 8, 3), Bytes(1028, 0)), "compression type not supported",
         nullptr},
        {"GiantDimensionsWithoutData", Joined(InfoHeaderBytes(0x7FFFFFFF, 0x7FFFFFFF, 24), Bytes(16, 0)),
         "BMP pixel data is cut short", nullptr},
        {"GiantRunLengthPicture", Joined(InfoHeaderBytes(40000, 40000, 8, 1), Bytes(1024 + 4, 0)),
         "VXIMAGE_MAX_MEMORY exceeded", nullptr},
        {"BitCount7", Joined(InfoHeaderBytes(1, 1, 7), Bytes(8, 0)), "Error reading BMP info", nullptr},
    };
}

TEST(BmpHandBuilt, Blocks)
{
    for (const Block& block : HandBuiltBlocks()) {
        SCOPED_TRACE(block.name);
        VxImage image;
        const bool ok = DecodeBytes(image, block.bytes, kVxTypeBmp);
        if (block.error) {
            EXPECT_FALSE(ok);
            EXPECT_STREQ(image.LastError(), block.error);
            continue;
        }
        ASSERT_TRUE(ok) << image.LastError();
        EXPECT_EQ(image.XDpi(), 96);
        block.expect(image);
    }
}

// Rows padded to four bytes behind the whole palette; an alpha plane, even a fully opaque one,
// is written as 32-bit pixels.
TEST(BmpEncode, FileSizes)
{
    VxImage palette(10, 3, 8, kVxTypeBmp);
    EXPECT_EQ(EncodeBytes(palette, kVxTypeBmp).size(), 14u + 40 + 1024 + 12 * 3);
    EXPECT_EQ(EncodeBytes(*ImageOf(Picture{10, 3, 4, Bytes(120, 255)}), kVxTypeBmp).size(), 54u + 10 * 4 * 3);
}

// Cuts fail with a message (bare run-length blocks may end early and still decode); bit flips
// never crash.
TEST(BmpHostile, TruncationsAndBitFlipsEndCleanly)
{
    std::vector<Bytes> files = {EncodeBytes(*IndexedImage(13, 5, 8), kVxTypeBmp),
                                EncodeBytes(*ImageOf(PatternPicture(9, 4, 4)), kVxTypeBmp)};
    for (const Block& block : HandBuiltBlocks())
        if (!block.error)
            files.push_back(block.bytes);
    for (const Bytes& file : files) {
        const bool runLength = file.size() > 30 && (file[16] == 1 || file[16] == 2);
        ExpectSurvivesDamage<VxImageBMP>(file, {.flips = 300, .mustFail = runLength ? 0 : file.size() - 4});
    }
}

} // namespace
