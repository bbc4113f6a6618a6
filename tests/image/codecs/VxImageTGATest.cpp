// VxImageTGA: files ImageMagick writes (raw and run-length; true-colour, colour-mapped, grey,
// with opacity; every origin corner) decoded to its pixels, and our files read back by it;
// hand-built files for what it does not write (packets running across rows, 15/16-bit pixels,
// colour maps of 2- and 4-byte entries); hostile headers and damaged files.
#include "image/codecs/VxImageTGA.h"

#include "image/VxStream.h"
#include "tests/image/codecs/CodecHarness.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace vx::test;

// An 18-byte header with the given fields, then the rest of the file.
Bytes TgaFile(int imageType, int depth, int width, int height, int descriptor, const Bytes& rest, int mapLength = 0,
              int mapEntrySize = 24)
{
    Bytes head = {0, static_cast<std::uint8_t>(mapLength > 0), static_cast<std::uint8_t>(imageType), 0, 0};
    head = Joined(head, LittleEndian(static_cast<std::uint64_t>(mapLength), 2));
    head.push_back(static_cast<std::uint8_t>(mapEntrySize));
    head = Joined(head, LittleEndian(0, 4));
    head = Joined(head, Joined(LittleEndian(static_cast<std::uint64_t>(width), 2), LittleEndian(static_cast<std::uint64_t>(height), 2)));
    head.push_back(static_cast<std::uint8_t>(depth));
    head.push_back(static_cast<std::uint8_t>(descriptor));
    return Joined(head, rest);
}

// The image's colours top row first, as "r,g,b" or "r,g,b,a" per pixel.
std::string Colours(const VxImage& image, bool alpha = false)
{
    std::string out;
    const Picture p = PictureOf(image, alpha ? 4 : 3);
    for (std::size_t i = 0; i < p.pixels.size(); ++i)
        out += std::to_string(p.pixels[i]) + ((i + 1) % static_cast<std::size_t>(p.channels) ? "," : " ");
    return out;
}

// ---- ImageMagick as the oracle -----------------------------------------------------------------------

// ImageMagick's pixels of a TGA file, turned upright. It keeps the rows in file order and notes
// the origin corner as the picture's orientation (and writes a picture of unknown orientation
// top row first under a bottom-left descriptor), so only its auto-oriented view is the picture.
Picture Upright(const std::filesystem::path& tga, bool alpha)
{
    const std::filesystem::path upright = tga.string() + ".upright.miff";
    RunTool("convert " + Quoted(tga) + " -auto-orient " + Quoted(upright));
    return ReadWithMagick(upright, -1, alpha);
}

struct MagickCase {
    const char* name;
    int channels;
    const char* options;
    std::uint8_t imageType, depth, origin; // as written: image type, pixel depth, descriptor bits 4-5
};

TEST(TgaOracle, DecodesWhatImageMagickWrites)
{
    REQUIRE_TOOLS("convert");
    const MagickCase cases[] = {
        {"raw", 3, "", 2, 24, 0x00},
        {"rle", 3, "-compress RLE", 10, 24, 0x00},
        {"palette", 3, "-colors 100 -type Palette", 1, 8, 0x00},
        {"palette rle", 3, "-colors 100 -type Palette -compress RLE", 9, 8, 0x00},
        {"grey", 1, "-type Grayscale", 3, 8, 0x00},
        {"grey rle", 1, "-type Grayscale -compress RLE", 11, 8, 0x00},
        {"rgba", 4, "-type TrueColorAlpha", 2, 32, 0x00},
        {"rgba rle top-left", 4, "-type TrueColorAlpha -compress RLE -orient TopLeft", 10, 32, 0x20},
        {"top-right", 3, "-orient TopRight", 2, 24, 0x30},
        {"bottom-right rle", 3, "-compress RLE -orient BottomRight", 10, 24, 0x10},
        {"palette top-right", 3, "-colors 50 -type Palette -orient TopRight", 1, 8, 0x30},
    };
    ScratchDir dir;
    for (const MagickCase& c : cases) {
        SCOPED_TRACE(c.name);
        const Picture source = PatternPicture(37, 11, c.channels);
        const auto in = dir / (std::string(c.name) + (c.channels == 1 ? ".pgm" : c.channels == 4 ? ".pam" : ".ppm"));
        WritePnm(in, source);
        const auto tga = dir / (std::string(c.name) + ".tga");
        RunTool("convert " + Quoted(in) + " " + c.options + " " + Quoted(tga));
        const Bytes file = ReadFileBytes(tga);
        ASSERT_GT(file.size(), 18u);
        EXPECT_EQ(file[2], c.imageType);
        EXPECT_EQ(file[16], c.depth);
        EXPECT_EQ(file[17] & 0x30, c.origin);
        const auto d = DecodeWith<VxImageTGA>(file);
        ASSERT_TRUE(d.ok) << d.Error();
        const bool alpha = c.channels == 4;
        EXPECT_EQ(CountDiffering(PictureOf(*d.image, alpha ? 4 : 3), Upright(tga, alpha)), 0);
    }
}

TEST(TgaOracle, ImageMagickReadsWhatWeWrite)
{
    REQUIRE_TOOLS("convert");
    ScratchDir dir;
    auto indexed = std::make_unique<VxImage>(13, 6, 8, 0);
    for (int i = 0; i < 256; ++i)
        indexed->SetPaletteEntry(static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i * 7), static_cast<std::uint8_t>(255 - i),
                                 static_cast<std::uint8_t>(i * 3));
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 13; ++x)
            indexed->SetPixelIndex(x, y, static_cast<std::uint8_t>(x * 19 + y * 41));
    std::unique_ptr<VxImage> images[] = {std::move(indexed), ImageOf(PatternPicture(13, 6, 3)), ImageOf(PatternPicture(13, 6, 4))};
    const std::uint8_t depths[] = {8, 24, 32};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(depths[i]);
        const Bytes file = EncodeWith<VxImageTGA>(*images[i]);
        ASSERT_GT(file.size(), 18u);
        EXPECT_EQ(file[16], depths[i]);
        EXPECT_EQ(file[17], 0);
        const auto path = dir / ("ours" + std::to_string(i) + ".tga");
        WriteFileBytes(path, file);
        const bool alpha = depths[i] == 32;
        EXPECT_EQ(CountDiffering(Upright(path, alpha), PictureOf(*images[i], alpha ? 4 : 3)), 0);
        const auto back = DecodeWith<VxImageTGA>(file);
        ASSERT_TRUE(back.ok) << back.Error();
        EXPECT_EQ(PictureOf(*back.image, 4), PictureOf(*images[i], 4));
    }
}

// ---- Files no tool writes -----------------------------------------------------------------------------

struct HandBuiltCase {
    const char* name;
    Bytes file;
    const char* colours; // top row first
};

TEST(TgaDecode, HandBuiltPacketsDepthsOriginsAndMaps)
{
    const Bytes a = {1, 2, 3}, b = {4, 5, 6}, c = {7, 8, 9}, d = {10, 11, 12}; // blue, green, red
    const Bytes abcd = Joined(Joined(a, b), Joined(c, d));
    const HandBuiltCase cases[] = {
        // A run of 5 over a 3-wide row goes on into the next; so do 4 literal pixels.
        {"run across rows", TgaFile(10, 24, 3, 2, 0, Joined(Joined({0x84}, a), Joined({0x00}, b))), "3,2,1 3,2,1 6,5,4 3,2,1 3,2,1 3,2,1 "},
        {"literals across rows", TgaFile(10, 24, 3, 2, 0, Joined(Joined({0x03}, abcd), Joined({0x81}, a))),
         "12,11,10 3,2,1 3,2,1 3,2,1 6,5,4 9,8,7 "},
        {"run past the last pixel", TgaFile(10, 24, 2, 1, 0, Joined({0x85}, c)), "9,8,7 9,8,7 "},
        // The same four pixels in file order from each corner.
        {"bottom-left", TgaFile(2, 24, 2, 2, 0x00, abcd), "9,8,7 12,11,10 3,2,1 6,5,4 "},
        {"bottom-right", TgaFile(2, 24, 2, 2, 0x10, abcd), "12,11,10 9,8,7 6,5,4 3,2,1 "},
        {"top-left", TgaFile(2, 24, 2, 2, 0x20, abcd), "3,2,1 6,5,4 9,8,7 12,11,10 "},
        {"top-right", TgaFile(2, 24, 2, 2, 0x30, abcd), "6,5,4 3,2,1 12,11,10 9,8,7 "},
        // 5-5-5 words: blue, green, red, white, and bit 15 ignored.
        {"15-bit", TgaFile(2, 15, 5, 1, 0x20, {0x1F, 0x00, 0xE0, 0x03, 0x00, 0x7C, 0xFF, 0x7F, 0x1F, 0x80}),
         "0,0,248 0,248,0 248,0,0 248,248,248 0,0,248 "},
        {"16-bit rle", TgaFile(10, 16, 3, 1, 0, {0x82, 0x00, 0x7C}), "248,0,0 248,0,0 248,0,0 "},
        {"grey levels", TgaFile(3, 8, 3, 1, 0, {0, 128, 255}), "0,0,0 128,128,128 255,255,255 "},
        {"colour map", TgaFile(1, 8, 3, 1, 0, Joined(Joined(a, b), {1, 0, 5}), 2), "6,5,4 3,2,1 0,0,0 "},
        {"16-bit map", TgaFile(1, 8, 2, 1, 0, {0x00, 0x7C, 0x1F, 0x00, 1, 0}, 2, 16), "0,0,248 248,0,0 "},
        {"32-bit map", TgaFile(9, 8, 3, 1, 0, {1, 2, 3, 99, 4, 5, 6, 99, 0x82, 1}, 2, 32), "6,5,4 6,5,4 6,5,4 "},
    };
    for (const HandBuiltCase& c : cases) {
        const auto decoded = DecodeWith<VxImageTGA>(c.file);
        ASSERT_TRUE(decoded.ok) << c.name << ": " << decoded.Error();
        EXPECT_EQ(Colours(*decoded.image), c.colours) << c.name;
    }
}

TEST(TgaDecode, OpacityStaysWithItsPixelsFromEveryCorner)
{
    const Bytes pixels = {1, 2, 3, 10, 4, 5, 6, 20, 7, 8, 9, 30, 10, 11, 12, 40};
    for (int origin : {0x00, 0x10, 0x20, 0x30}) {
        const auto d = DecodeWith<VxImageTGA>(TgaFile(2, 32, 2, 2, origin | 8, pixels));
        ASSERT_TRUE(d.ok) << d.Error();
        ASSERT_TRUE(d.image->HasAlpha());
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 2; ++x) // each blue value came with alpha 10 x (blue + 2) / 3
                EXPECT_EQ(d.image->AlphaAt(x, y), 10 * (d.image->PixelColour(x, y).rgbBlue + 2) / 3) << origin;
    }
}

// ---- Hostile input -------------------------------------------------------------------------------------

struct RefusalCase {
    const char* name;
    Bytes file;
    const char* message;
};

TEST(TgaDecode, RefusesBrokenFilesWithTheirMessages)
{
    const Bytes pixel = {1, 2, 3};
    Bytes withId = TgaFile(2, 24, 1, 1, 0, pixel);
    withId[0] = 200; // an identification field longer than the file
    Bytes map257 = TgaFile(1, 8, 1, 1, 0, Bytes(3 * 257 + 1, 0), 257);
    Bytes mapType2 = TgaFile(1, 8, 1, 1, 0, Bytes(4, 0), 1);
    mapType2[1] = 2;
    const RefusalCase cases[] = {
        {"empty", {}, "Not a TGA"},
        {"short header", Bytes(17, 2), "Not a TGA"},
        {"image type 4", TgaFile(4, 24, 1, 1, 0, pixel), "Unknown TGA image type"},
        {"image type 0", TgaFile(0, 24, 1, 1, 0, pixel), "Unknown TGA image type"},
        {"zero width", TgaFile(2, 24, 0, 1, 0, pixel), "bad TGA header"},
        {"zero height", TgaFile(2, 24, 1, 0, 0, pixel), "bad TGA header"},
        {"depth 12", TgaFile(2, 12, 1, 1, 0, pixel), "bad TGA header"},
        {"257 map entries", map257, "bad TGA header"},
        {"map type 2", mapType2, "bad TGA header"},
        {"identification beyond the end", withId, "corrupted TGA"},
        {"map beyond the end", TgaFile(1, 8, 1, 1, 0, Bytes(100, 0), 200), "corrupted TGA"},
        {"raw rows short", TgaFile(2, 24, 2, 2, 0, Bytes(11, 0)), "corrupted TGA"},
        {"packets end early", TgaFile(10, 24, 200, 2, 0, Joined({0xFF}, pixel)), "corrupted TGA"},
        {"run value missing", TgaFile(10, 24, 3, 1, 0, {0x00, 1, 2, 3, 0x81, 1, 2}), "corrupted TGA"},
        // 4 GiB of pixels promised by a few bytes: refused before anything is allocated.
        {"huge in a tiny file", TgaFile(2, 32, 65535, 65535, 0, Bytes(300, 0)), "corrupted TGA"},
    };
    for (const RefusalCase& c : cases) {
        const auto d = DecodeWith<VxImageTGA>(c.file);
        EXPECT_FALSE(d.ok) << c.name;
        EXPECT_EQ(d.Error(), c.message) << c.name;
    }
}

TEST(TgaDecode, SizeOnlyCancelAndDamage)
{
    const Bytes raw = EncodeWith<VxImageTGA>(*ImageOf(PatternPicture(9, 5, 4)));
    const auto sized = DecodeWith<VxImageTGA>(raw, -1);
    ASSERT_TRUE(sized.ok);
    EXPECT_FALSE(sized.image->IsValid());
    EXPECT_EQ(sized.image->Width(), 9);
    EXPECT_EQ(sized.image->Height(), 5);
    EXPECT_EQ(sized.image->ImageType(), kVxTypeTga);
    const auto cancelled = DecodeWith<VxImageTGA>(raw, 1);
    EXPECT_FALSE(cancelled.ok);
    EXPECT_EQ(cancelled.Error(), "Cancelled");

    ExpectSurvivesDamage<VxImageTGA>(raw);
    // Run-length, colour-mapped, top row first; packets end exactly with the picture.
    const Bytes mapped = TgaFile(9, 8, 7, 3, 0x20, {1, 2, 3, 4, 5, 6, 7, 8, 9, 0x85, 1, 0x03, 1, 2, 0, 1, 0x89, 2, 0x00, 0}, 3);
    ASSERT_TRUE(DecodeWith<VxImageTGA>(mapped).ok);
    ExpectSurvivesDamage<VxImageTGA>(mapped);
}

TEST(TgaEncode, RefusesWhatItCannotWrite)
{
    std::string error;
    VxImage empty;
    EXPECT_TRUE(EncodeWith<VxImageTGA>(empty, &error).empty());
    EXPECT_EQ(error, "null image!!!");
    VxImage fourBit(2, 2, 4, 0);
    EXPECT_TRUE(EncodeWith<VxImageTGA>(fourBit, &error).empty());
    EXPECT_EQ(error, "Bit depth must be 8 or 24");
    VxImage wide(65536, 1, 8, 0); // the width field has 16 bits
    EXPECT_TRUE(EncodeWith<VxImageTGA>(wide, &error).empty());
    EXPECT_EQ(error, "image too large for TGA");
}

} // namespace
