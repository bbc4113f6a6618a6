// VxImageICO (ImageMagick's icons and ours, the writer's layout and refusal: CodecOracleTest):
// hand-built entries for every branch of the mask translation, refused directories, damaged input.
#include "image/codecs/VxImageICO.h"

#include "tests/image/codecs/CodecHarness.h"

#include <functional>

namespace {

using namespace vx::test;

struct IconImage {
    std::uint8_t width, height; // directory bytes: 0 means 256
    Bytes data;
};

// An icon directory over `images`, their data behind it in order.
Bytes IconFile(const std::vector<IconImage>& images, std::uint16_t kind = 1)
{
    Bytes directory = Joined(Joined(LittleEndian(0, 2), LittleEndian(kind, 2)), LittleEndian(images.size(), 2));
    Bytes data;
    std::size_t offset = 6 + 16 * images.size();
    for (const auto& [width, height, image] : images) {
        directory = Joined(directory, {width, height, 0, 0, 1, 0, 0, 0});
        directory = Joined(Joined(directory, LittleEndian(image.size(), 4)), LittleEndian(offset, 4));
        data = Joined(data, image);
        offset += image.size();
    }
    return Joined(directory, data);
}

// A 4-bit entry, 4 x 1 (one padded byte pair), 16-colour palette of distinct greys, and a mask row.
Bytes Entry4(std::uint8_t pair0, std::uint8_t pair1, std::uint8_t maskByte)
{
    Bytes palette;
    for (int i = 0; i < 16; ++i)
        palette = Joined(palette, {static_cast<std::uint8_t>(i * 16), static_cast<std::uint8_t>(i * 16), 0, 0});
    return Joined(Joined(Joined(InfoHeaderBytes(4, 2, 4), palette), {pair0, pair1, 0, 0}), {maskByte, 0, 0, 0});
}

// A 24-bit entry, 4 x 1: pixels given as one grey level each, and a mask row.
Bytes Entry24(std::vector<std::uint8_t> levels, std::uint8_t maskByte, int bits = 24)
{
    Bytes pixels;
    for (std::uint8_t level : levels)
        pixels = Joined(pixels, bits == 32 ? Bytes{level, level, level, static_cast<std::uint8_t>(level + 1)}
                                           : Bytes{level, level, level});
    return Joined(Joined(InfoHeaderBytes(4, 2, bits), pixels),
                  {maskByte, 0, 0, 0}); // rows of 12 or 16 bytes: no padding
}

// What the mask translation made of an entry: the transparent index, a 24-bit picture's
// transparent red, a palette's entry 1 blue and first-row indices, the first row's alpha.
std::string Outcome(const VxImage& i)
{
    std::string s = "t" + std::to_string(i.TransparentIndex());
    if (!i.HasPalette() && i.IsTransparent())
        s += " red" + std::to_string(i.TransparentColour().rgbRed);
    if (i.HasPalette())
        s += " blue" + std::to_string(i.PaletteEntry(1).rgbBlue) + " i";
    for (int x = 0; x < 4 && i.HasPalette(); ++x)
        s += std::to_string(i.PixelIndex(x, 0)) + ",";
    s += " a";
    for (int x = 0; x < 4 && i.HasAlpha(); ++x)
        s += std::to_string(i.AlphaAt(x, 0)) + ",";
    return s;
}

TEST(IcoMask, EveryTranslationBranch)
{
    Bytes noMask = Entry24({1, 2, 3, 4}, 0);
    noMask.resize(noMask.size() - 4);
    const Bytes everyIndex = Joined(Joined(InfoHeaderBytes(16, 2, 4), Bytes(64, 0)), // 16 x 1, each index once,
                                    {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF, 0x10, 0, 0, 0}); // masked: 3
    const struct { const char* name; std::uint8_t width; Bytes entry; const char* outcome; } cases[] = {
        {"UnusedIndexTakesTheMaskedPixels", 4, Entry4(0x01, 0x01, 0xA0), "t15 blue16 i15,1,15,1, a"},
        {"AllFullMaskInvertsAndTakesIndexZero", 4, Entry4(0x01, 0x01, 0xFF), "t0 blue239 i0,1,0,1, a"},
        {"OneColourOnlyMaskedPixelsHave", 4, Entry24({10, 20, 10, 30}, 0xA0), "t0 red10 a"},
        {"ColourSharedWithAnUnmaskedPixelGivesAPlane", 4, Entry24({10, 20, 10, 30}, 0x80), "t-1 a0,255,255,255,"},
        {"OwnOpacityIsKeptAndClearedWhereMasked", 4, Entry24({10, 20, 30, 40}, 0x60, 32), "t-1 a11,0,0,41,"},
        {"NoMaskNoTransparency", 4, noMask, "t-1 a"},
        {"EveryIndexUsedTheOneOnlyMaskedPixelsHave", 16, everyIndex, "t3 blue0 i0,1,2,3, a"},
    };
    for (const auto& c : cases) {
        VxImage image;
        ASSERT_TRUE(DecodeBytes(image, IconFile({{c.width, 1, c.entry}}), kVxTypeIco)) << c.name;
        EXPECT_EQ(image.Width(), c.width);
        EXPECT_EQ(Outcome(image), c.outcome) << c.name;
    }
}

TEST(IcoDirectory, RefusalsLargestEntriesAndFrameCount)
{
    const Bytes entry = Entry24({1, 2, 3, 4}, 0), two = IconFile({{4, 1, entry}, {4, 1, entry}});
    VxImage second;
    second.Info().frame = 2;
    EXPECT_FALSE(DecodeBytes(second, two, kVxTypeIco));
    EXPECT_EQ(second.FrameCount(), 2);
    second.Info().frame = 1;
    EXPECT_TRUE(DecodeBytes(second, two, kVxTypeIco));

    // A side byte of 0 means 256 pixels.
    const Bytes large = Joined(
        Joined(Joined(InfoHeaderBytes(256, 512, 1), {0, 0, 0, 0, 255, 255, 255, 0}), Bytes(256 * 32, 0xFF)),
        Bytes(256 * 32, 0));
    VxImage largest;
    ASSERT_TRUE(DecodeBytes(largest, IconFile({{0, 0, large}}), kVxTypeIco));
    EXPECT_EQ(largest.Width() * 1000 + largest.PixelColour(255, 255).rgbRed, 256255);

    Bytes reserved = IconFile({{4, 1, entry}}), offsetBeyond = Joined(IconFile({{4, 1, entry}}), Bytes(2, 0));
    reserved[0] = 1;
    offsetBeyond[20] = 0x70;
    const struct { const char* name; Bytes bytes; } refused[] = {
        {"ReservedWordSet", reserved},
        {"KindThree", IconFile({{4, 1, entry}}, 3)},
        {"CountBeyondTheFile", {0, 0, 1, 0, 0xFF, 0xFF, 4, 4, 0, 0, 1, 0, 24, 0, 0, 0, 0, 0, 22, 0, 0, 0}},
        {"OffsetPointsAtTheDirectory",
         Joined({0, 0, 1, 0, 1, 0, 4, 4, 0, 0, 1, 0, 24, 0, 0, 0, 0, 0, 0, 0, 0, 0}, Bytes(48, 0))},
        {"OffsetBeyondTheFile", offsetBeyond},
        {"PngEntry", IconFile({{4, 4, Joined({0x89, 'P', 'N', 'G'}, Bytes(60, 0))}})},
    };
    for (const auto& [name, bytes] : refused) {
        VxImage image;
        EXPECT_FALSE(DecodeBytes(image, bytes, kVxTypeIco)) << name;
        EXPECT_STRNE(image.LastError(), "") << name;
    }
}

// One-image files cut before their colour rows end fail; bit flips never crash.
TEST(IcoHostile, TruncationsAndBitFlipsEndCleanly)
{
    const auto palette = IndexedImage(7, 3, 4);
    palette->SetTransparentIndex(2);
    const Bytes files[] = {EncodeBytes(*ImageOf(PatternPicture(9, 5, 4)), kVxTypeIco),
                           EncodeBytes(*palette, kVxTypeIco),
                           IconFile({{4, 1, Entry4(0x12, 0x34, 0x60)}, {4, 1, Entry24({1, 2, 3, 4}, 0x10, 32)}})};
    for (const Bytes& file : files) {
        const std::size_t pixelsEnd = file[4] == 1 ? file.size() - 4 * ((file[6] + 31) / 32) * file[7] : 4;
        for (int frame : {0, 1})
            ExpectSurvivesDamage<VxImageICO>(file, {.flips = 150, .mustFail = pixelsEnd - 4, .messages = false},
                                             [&](VxImageICO& ico) { ico.Info().frame = frame; });
    }
}

} // namespace
