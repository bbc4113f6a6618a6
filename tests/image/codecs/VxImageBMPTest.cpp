// VxImageBMP: files ImageMagick writes in every depth and header version decoded to its pixels,
// our files read back by ImageMagick, hand-built blocks for what no tool writes (core and long
// headers, RLE deltas and edges, bit fields, opacity), and truncated, flipped and oversized input.
#include "image/codecs/VxImageBMP.h"

#include "tests/image/codecs/DibTestBytes.h"
#include "tests/support/PixelOracle.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>

namespace {

using namespace vx::test;
namespace fs = std::filesystem;

// Gradients, blocks and a varying opacity, so palettes fill up and every channel moves.
Picture SourcePicture(int width, int height)
{
    Picture p{width, height, 4, {}};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            p.pixels.insert(p.pixels.end(), {static_cast<std::uint8_t>(x * 255 / width),
                                             static_cast<std::uint8_t>(((x / 5 + y / 3) % 2) ? 200 : y * 4),
                                             static_cast<std::uint8_t>((x * y) % 251),
                                             static_cast<std::uint8_t>(x < 4 ? 0 : 255 - y * 5)});
    return p;
}

struct MagickFile {
    const char* name;
    const char* options; // convert options and output format prefix
    int channels;
    int tolerance; // ImageMagick widens 5- and 6-bit channels by rounding, we by shifting
};

const MagickFile kMagickFiles[] = {
    {"Bmp3TrueColour", "-alpha off -type TrueColor BMP3:", 3, 0},
    {"Bmp3Palette8", "-alpha off -type Palette BMP3:", 3, 0},
    {"Bmp3Palette4", "-alpha off -colors 16 BMP3:", 3, 0},
    {"Bmp3Bilevel", "-alpha off -type Bilevel BMP3:", 3, 0},
    {"Bmp2CoreHeader", "-alpha off -type Palette BMP2:", 3, 0},
    {"Bmp3Rle8", "-alpha off -type Palette -compress RLE BMP3:", 3, 0},
    {"V5Palette", "-alpha off -type Palette BMP:", 3, 0},
    {"V5Rgb565BitFields", "-alpha off -define bmp:subtype=RGB565 BMP:", 3, 7},
    {"V5Opacity32", "BMP:", 4, 0},
};

class BmpMagickFiles : public ::testing::TestWithParam<MagickFile> {};

TEST_P(BmpMagickFiles, DecodeToTheOraclesPixels)
{
    REQUIRE_TOOLS("convert");
    const MagickFile& file = GetParam();
    ScratchDir scratch;
    WritePnm(scratch / "source.pam", SourcePicture(61, 37));
    const fs::path bmp = scratch / "picture.bmp";
    RunTool("convert " + Quoted(scratch / "source.pam") + " " + file.options + Quoted(bmp));
    VxImage image(ToU16(bmp).c_str(), kVxTypeUnknown);
    ASSERT_TRUE(image.IsValid()) << image.LastError();
    EXPECT_EQ(image.ImageType(), kVxTypeBmp);
    EXPECT_EQ(CountDiffering(PictureOf(image, file.channels), ReadWithMagick(bmp, -1, file.channels == 4), file.tolerance), 0);

}

INSTANTIATE_TEST_SUITE_P(Files, BmpMagickFiles, ::testing::ValuesIn(kMagickFiles),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(BmpEncode, ImageMagickReadsBackEveryDepth)
{
    REQUIRE_TOOLS("convert");
    ScratchDir scratch;
    const Picture source = SourcePicture(45, 23);
    for (int bits : {1, 4, 8, 24, 32}) {
        SCOPED_TRACE(bits);
        VxImage image(45, 23, bits == 32 ? 24 : static_cast<std::uint32_t>(bits), kVxTypeBmp);
        if (bits == 32) {
            ASSERT_TRUE(image.CreateAlpha());
        }
        for (std::uint32_t i = 0; bits <= 8 && i < image.ColourCount(); ++i)
            image.SetPaletteEntry(static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i * 37),
                                  static_cast<std::uint8_t>(255 - i), static_cast<std::uint8_t>(i * 11));
        for (int y = 0; y < 23; ++y) {
            for (int x = 0; x < 45; ++x) {
                const std::uint8_t* p = source.At(x, 22 - y);
                if (bits <= 8)
                    image.SetPixelIndex(x, y, static_cast<std::uint8_t>(p[0] + p[2]));
                else
                    image.SetPixelColour(x, y, RGBQUAD{p[2], p[1], p[0], p[3]}, true);
            }
        }
        ASSERT_TRUE(image.Save(ToU16(scratch / "ours.bmp").c_str(), kVxTypeBmp));
        const int channels = bits == 32 ? 4 : 3;
        EXPECT_EQ(CountDiffering(ReadWithMagick(scratch / "ours.bmp", -1, channels == 4), PictureOf(image, channels)),
                  0);
    }
}

// ---- Hand-built blocks ------------------------------------------------------------------------------

struct Block {
    const char* name;
    Bytes bytes;
    const char* error;                          // null: decodes
    std::function<void(const VxImage&)> expect; // checks on the decoded image
};

RGBQUAD Colour(const VxImage& image, int x, int y)
{
    return image.PixelColour(x, y, false);
}

std::vector<Block> HandBuiltBlocks()
{
    const Bytes redBlue = {0, 0, 255, 0, 255, 0, 0, 0};
    const Bytes rle8Header = InfoHeaderBytes(4, 2, 8, 1, 8);
    const Bytes rle4Header = InfoHeaderBytes(4, 1, 4, 2, 16);
    return {
        {"CoreHeaderBareDibShorterThan40Bytes",
         {12, 0, 0, 0, 2, 0, 1, 0, 1, 0, 1, 0, 0, 0, 255, 255, 0, 0, 0x40, 0, 0, 0},
         nullptr,
         [](const VxImage& i) {
             EXPECT_EQ(Colour(i, 0, 0).rgbRed, 255);
             EXPECT_EQ(Colour(i, 1, 0).rgbBlue, 255);
         }},
        {"Header64WithFileHeader",
         WithFileHeader(Joined(Joined(InfoHeaderBytes(1, 1, 8, 0, 2, 64), redBlue), {1, 0, 0, 0}), 14 + 64 + 8),
         nullptr, [](const VxImage& i) { EXPECT_EQ(Colour(i, 0, 0).rgbBlue, 255); }},
        {"Header108WithPalette", Joined(Joined(InfoHeaderBytes(1, 1, 8, 0, 2, 108), redBlue), {1, 0, 0, 0}), nullptr,
         [](const VxImage& i) { EXPECT_EQ(Colour(i, 0, 0).rgbBlue, 255); }},
        {"UnknownHeader80WithPalette", Joined(Joined(InfoHeaderBytes(1, 1, 8, 0, 2, 80), redBlue), {1, 0, 0, 0}),
         "Error reading BMP info", nullptr},
        {"PaletteLongerThan256IsReadAndDropped",
         Joined(Joined(Joined(InfoHeaderBytes(1, 1, 8, 0, 300), {0, 0, 0, 0, 0, 200, 0, 0}), Bytes(298 * 4, 0x55)),
                {1, 0, 0, 0}),
         nullptr, [](const VxImage& i) { EXPECT_EQ(Colour(i, 0, 0).rgbGreen, 200); }},
        {"Rle8RunAndEnd", Joined(Joined(rle8Header, Bytes(32, 0)), {3, 5, 0, 1}), nullptr,
         [](const VxImage& i) {
             EXPECT_EQ(i.RowAddress(0)[2], 5);
             EXPECT_EQ(i.RowAddress(0)[3], 0);
         }},
        {"Rle8DeltaAndRunsPastTheEdgeAreDropped",
         Joined(Joined(rle8Header, Bytes(32, 0)), {0, 2, 3, 1, 5, 7, 0, 3, 1, 2, 3, 0, 0, 0, 9, 9, 0, 1}), nullptr,
         [](const VxImage& i) {
             EXPECT_EQ(i.RowAddress(1)[3], 7);
             EXPECT_EQ(i.RowAddress(1)[2], 0);
             EXPECT_EQ(i.RowAddress(0)[0], 0);
         }},
        {"Rle4RunAndEnd", Joined(Joined(rle4Header, Bytes(64, 0)), {4, 0x12, 0, 1}), nullptr,
         [](const VxImage& i) {
             EXPECT_EQ(i.RowAddress(0)[0], 0x12);
             EXPECT_EQ(i.RowAddress(0)[1], 0x12);
         }},
        {"Rle4OddDeltaAndAbsoluteRun", Joined(Joined(rle4Header, Bytes(64, 0)), {0, 2, 1, 0, 0, 3, 0xAB, 0xC0, 0, 1}),
         nullptr,
         [](const VxImage& i) {
             EXPECT_EQ(i.RowAddress(0)[0], 0x0A);
             EXPECT_EQ(i.RowAddress(0)[1], 0xBC);
         }},
        {"Bits16Default555", Joined(InfoHeaderBytes(1, 1, 16), {0xFF, 0x7F, 0, 0}), nullptr,
         [](const VxImage& i) { EXPECT_EQ(Colour(i, 0, 0).rgbGreen, 248); }},
        {"Bits32FourthBytesAllZeroIsOpaque", Joined(InfoHeaderBytes(2, 1, 32), {1, 2, 3, 0, 4, 5, 6, 0}), nullptr,
         [](const VxImage& i) {
             EXPECT_FALSE(i.HasAlpha());
             EXPECT_EQ(Colour(i, 1, 0).rgbRed, 6);
         }},
        {"Bits32OneOpacityByteMakesAPlane", Joined(InfoHeaderBytes(2, 1, 32), {1, 2, 3, 0, 4, 5, 6, 9}), nullptr,
         [](const VxImage& i) {
             EXPECT_EQ(i.AlphaAt(0, 0), 0);
             EXPECT_EQ(i.AlphaAt(1, 0), 9);
         }},
        {"TopDown24", Joined(InfoHeaderBytes(1, -2, 24), {1, 1, 1, 0, 2, 2, 2, 0}), nullptr,
         [](const VxImage& i) { EXPECT_EQ(Colour(i, 0, 1).rgbRed, 1); }},
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

TEST(BmpHandBuilt, HeaderOnlyAndEncodedSizes)
{
    VxImage header;
    header.Info().escape = -1;
    EXPECT_TRUE(DecodeBytes(header, Joined(InfoHeaderBytes(7, -5, 24), Bytes(4, 0)), kVxTypeBmp));
    EXPECT_EQ(header.Width(), 7);
    EXPECT_EQ(header.Height(), 5);
    EXPECT_STREQ(header.LastError(), "output dimensions returned");

    VxImage palette(10, 3, 8, kVxTypeBmp);
    EXPECT_EQ(EncodeBytes(palette, kVxTypeBmp).size(), 14u + 40 + 1024 + 12 * 3);
    VxImage opacity(10, 3, 24, kVxTypeBmp);
    ASSERT_TRUE(opacity.CreateAlpha());
    const Bytes file = EncodeBytes(opacity, kVxTypeBmp);
    EXPECT_EQ(file.size(), 54u + 10 * 4 * 3);
    VxImage back;
    ASSERT_TRUE(DecodeBytes(back, file, kVxTypeUnknown));
    EXPECT_EQ(back.AlphaAt(9, 2), 255);
}

// ---- Hostile input ------------------------------------------------------------------------------------

TEST(BmpHostile, TruncationsAndBitFlipsEndCleanly)
{
    VxImage palette(13, 5, 8, kVxTypeBmp), opacity(9, 4, 24, kVxTypeBmp);
    ASSERT_TRUE(opacity.CreateAlpha());
    opacity.SetAlphaAt(2, 2, 7);
    std::vector<Bytes> files = {EncodeBytes(palette, kVxTypeBmp), EncodeBytes(opacity, kVxTypeBmp)};
    for (const Block& block : HandBuiltBlocks())
        if (!block.error)
            files.push_back(block.bytes);

    std::mt19937 random(9);
    for (const Bytes& file : files) {
        const bool runLength = file.size() > 30 && (file[16] == 1 || file[16] == 2); // bare RLE blocks
        for (std::size_t length = 0; length + 4 < file.size(); ++length) {
            VxImage image;
            const bool ok =
                DecodeBytes(image, Bytes(file.begin(), file.begin() + static_cast<long>(length)), kVxTypeBmp);
            if (!runLength) {
                EXPECT_FALSE(ok) << length;
                EXPECT_STRNE(image.LastError(), "") << length;
            }
        }
        for (int flip = 0; flip < 300; ++flip) {
            Bytes damaged = file;
            damaged[random() % damaged.size()] ^= static_cast<std::uint8_t>(1u << (random() % 8));
            VxImage image;
            if (!DecodeBytes(image, damaged, kVxTypeUnknown)) {
                EXPECT_STRNE(image.LastError(), "");
            }
        }
    }
}

} // namespace
