// Colour depth, palette, orientation, alpha-plane and selection operations of VxImage, checked
// on small pictures built pixel by pixel: golden grey levels, depth changes, inversion round
// trips (padding included), bit-field levels, the eight EXIF orientations, and planes.
#include "image/VxImage.h"
#include "tests/support/ImageChecks.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using namespace vx::test;

// Palette entries from index 0, then the indices of row 0.
void SetPaletteAndRow(VxImage& image, const std::vector<RGBQUAD>& palette, const std::vector<int>& row)
{
    image.SetPalette(palette.data(), static_cast<std::uint32_t>(palette.size()));
    for (std::size_t x = 0; x < row.size(); ++x)
        image.SetPixelIndex(static_cast<std::int32_t>(x), 0, static_cast<std::uint8_t>(row[x]));
}

TEST(VxImageColour, ToGreyscale)
{
    VxImage rgb(2, 1, 24, kVxTypeBmp);
    rgb.SetXDpi(300);
    for (int x : {0, 1})
        rgb.SetPixelColour(x, 0, Rgb(255, 255 * (1 - x), 255 * (1 - x)));
    ASSERT_TRUE(rgb.CreateAlpha());
    rgb.SetAlphaAt(1, 0, 7);
    ASSERT_TRUE(rgb.ToGreyscale());
    EXPECT_TRUE(rgb.IsGreyPalette());
    EXPECT_EQ(RowIndices(rgb, 0), (std::vector<int>{255, 76}));
    EXPECT_EQ((std::vector<int>{rgb.AlphaAt(1, 0), rgb.XDpi()}), (std::vector<int>{7, 300}));

    // Palette pictures map their indices, and the transparent index with them.
    VxImage eight(4, 1, 8, 0);
    SetPaletteAndRow(eight, {Rgb(0, 0, 0), Rgb(255, 255, 255), Rgb(255, 0, 0), Rgb(0, 255, 0)}, {3, 2, 1, 0});
    eight.SetTransparentIndex(3);
    ASSERT_TRUE(eight.ToGreyscale());
    EXPECT_EQ(eight.TransparentIndex(), 149);
    EXPECT_EQ(RowIndices(eight, 0), (std::vector<int>{149, 76, 255, 0}));

    VxImage four(3, 2, 4, 0);
    four.SetPaletteEntry(5, 0, 255, 0);
    four.Clear(0);
    four.SetPixelIndex(2, 1, 5);
    four.Info().transparentIndex = 40; // names no entry of a 16-colour palette
    ASSERT_TRUE(four.ToGreyscale());
    EXPECT_EQ(RowIndices(four, 1), (std::vector<int>{0, 0, 149})); // 149: eight bits now
    EXPECT_EQ(four.TransparentIndex(), -1);
}

TEST(VxImageColour, ThresholdToMonoSplitsTheGreyLevelAboveTheLevel)
{
    // The same levels as 24-bit pixels and as the colours of palette indices 15, 14 ... (so an
    // index read as a level would split differently); 128 stays dark.
    const int levels[11] = {128, 129, 40, 60, 80, 100, 120, 140, 160, 180, 200};
    for (std::uint32_t depth : {24u, 8u, 4u}) {
        SCOPED_TRACE(depth);
        VxImage image(11, 1, depth, kVxTypeJpg);
        for (int x = 0; x < 11; ++x) {
            const auto level = static_cast<std::uint8_t>(levels[x]);
            if (depth == 24) {
                image.SetPixelColour(x, 0, Rgb(level, level, level));
            } else {
                image.SetPaletteEntry(static_cast<std::uint8_t>(15 - x), level, level, level);
                image.SetPixelIndex(x, 0, static_cast<std::uint8_t>(15 - x));
            }
        }
        ASSERT_TRUE(image.ThresholdToMono(128));
        EXPECT_EQ(image.BitsPerPixel(), 1);
        EXPECT_EQ(RowIndices(image, 0), (std::vector<int>{0, 1, 0, 0, 0, 0, 0, 1, 1, 1, 1}));
        EXPECT_TRUE(SameColour(image.PaletteEntry(0), Rgb(0, 0, 0)) &&
                    SameColour(image.PaletteEntry(1), Rgb(255, 255, 255)));
        EXPECT_EQ(image.RowAddress(0)[1] & 0x1F, 0) << "row padding is defined";
    }

    // Cancelled conversions leave the picture alone.
    VxImage image(5, 3, 8, 0);
    FillNoise(image, 11);
    const auto before = PixelBytes(image);
    image.Info().escape = 1;
    EXPECT_FALSE(image.ThresholdToMono(128));
    EXPECT_STREQ(image.LastError(), "Cancelled");
    EXPECT_FALSE(image.IncreaseBpp(24));
    EXPECT_EQ(PixelBytes(image), before);
}

TEST(VxImageColour, IncreaseBpp)
{
    // The same depth changes nothing; a lower or an unknown depth is refused.
    VxImage eight(3, 2, 8, 0);
    const std::uint8_t* block = eight.DibAddress();
    EXPECT_TRUE(eight.IncreaseBpp(8));
    EXPECT_EQ(eight.DibAddress(), block); // not even rebuilt
    EXPECT_FALSE(eight.IncreaseBpp(4) || eight.IncreaseBpp(16));

    // To 24 bits the palette's fourth bytes become the alpha plane; the transparent index
    // becomes the transparent colour.
    VxImage image(2, 1, 8, 0);
    SetPaletteAndRow(image, {Rgb(10, 20, 30, 0), Rgb(40, 50, 60, 200)}, {0, 1});
    image.SetTransparentIndex(1);
    ASSERT_TRUE(image.IncreaseBpp(24));
    EXPECT_EQ((std::vector<int>{image.AlphaAt(0, 0), image.AlphaAt(1, 0)}), (std::vector<int>{0, 200}));
    EXPECT_TRUE(SameColour(image.PixelColour(1, 0), Rgb(40, 50, 60)));
    EXPECT_TRUE(SameColour(image.TransparentColour(), Rgb(40, 50, 60)));
}

// True colour inverts every byte (padding too) and the transparent colour; a colour palette is
// inverted, a grey one keeps its palette and inverts the indices; a selection limits it.
TEST(VxImageColour, Invert)
{
    VxImage image(3, 2, 24, 0); // rows of 9 pixel bytes and 3 padding bytes
    FillNoise(image, 11);
    image.SetTransparentColour(Rgb(1, 2, 3));
    const auto before = PixelBytes(image);
    ASSERT_TRUE(image.Invert());
    const auto inverted = PixelBytes(image);
    for (std::size_t i = 0; i < before.size(); ++i)
        ASSERT_EQ(inverted[i], 255 - before[i]) << i;
    EXPECT_TRUE(SameColour(image.TransparentColour(), Rgb(254, 253, 252)));

    VxImage colour(3, 1, 8, 0);
    FillNoise(colour, 11);
    colour.SetPaletteEntry(0, 255, 0, 0, 9);
    const auto pixels = PixelBytes(colour);
    ASSERT_TRUE(colour.Invert());
    EXPECT_EQ(PixelBytes(colour), pixels);
    EXPECT_TRUE(SameQuad(colour.PaletteEntry(0), Rgb(0, 255, 255, 9)));

    VxImage grey(3, 1, 8, 0);
    grey.SetGreyPalette();
    grey.SetPixelIndex(0, 0, 3);
    ASSERT_TRUE(grey.Invert());
    EXPECT_TRUE(grey.PixelIndex(0, 0) == 252 && grey.IsGreyPalette());

    TestImage four(4, 2, 4, 0); // grey by the strict test: entry i is (i, i, i)
    for (int i = 0; i < 16; ++i)
        four.SetPaletteEntry(static_cast<std::uint8_t>(i), i, i, i);
    four.Clear(3);
    four.Select({{1, 0}, {3, 1}}, -5, 50, 100, -3); // a box far beyond the picture
    ASSERT_TRUE(four.Invert());
    EXPECT_EQ(RowIndices(four, 0), (std::vector<int>{3, 12, 3, 3}));
    EXPECT_EQ(RowIndices(four, 1), (std::vector<int>{3, 3, 3, 12}));

    TestImage rgb(3, 2, 24, 0);
    rgb.Clear(0);
    rgb.Select({{0, 0}, {2, 1}}, 0, 1, 3, 0); // box holds row 0 only
    ASSERT_TRUE(rgb.Invert()); // (2, 1) is selected but outside the box
    EXPECT_EQ((std::vector<int>{rgb.PixelColour(0, 0).rgbGreen, rgb.PixelColour(1, 0).rgbGreen,
                                rgb.PixelColour(2, 1).rgbGreen}),
              (std::vector<int>{255, 0, 0}));
}

TEST(VxImageColour, GreyPalettePaletteAlphaAndRedBlueSwap)
{
    VxImage four(1, 1, 4, 0), eight(1, 1, 8, 0);
    four.SetPaletteEntry(2, 0, 0, 0, 77);
    four.SetGreyPalette();
    eight.SetGreyPalette();
    EXPECT_TRUE(SameQuad(four.PaletteEntry(2), Rgb(34, 34, 34, 77))); // the fourth byte stays
    // Grey means entry i is level i: a 4-bit grey ramp is not, nor is a picture without palette.
    EXPECT_EQ((std::vector<bool>{eight.IsGreyPalette(), four.IsGreyPalette(), VxImage(1, 1, 24, 0).IsGreyPalette()}),
              (std::vector<bool>{true, false, false}));
    EXPECT_TRUE(four.PaletteHasAlpha() && !eight.PaletteHasAlpha());

    // The swap touches whole groups within the row (the group at 3 would reach byte 5 of 4).
    VxImage image(3, 1, 24, 0);
    std::vector<std::uint8_t> row{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
    image.SwapRedBlue(row.data(), 4);
    EXPECT_EQ(row, (std::vector<std::uint8_t>{2, 1, 0, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}));
    image.SwapRedBlue(row.data(), 100); // capped at 3 x width
    EXPECT_EQ(row, (std::vector<std::uint8_t>{0, 1, 2, 5, 4, 3, 8, 7, 6, 9, 10, 11, 12, 13, 14, 15}));
    VxImage(3, 1, 8, 0).SwapRedBlue(row.data(), 100); // palette pictures: nothing to swap
    EXPECT_EQ(row[3], 5);
}

TEST(VxImageColour, BitfieldsTo24Levels)
{
    const struct { std::vector<std::uint8_t> source; std::uint32_t r, g, b, bits; RGBQUAD expected; } cases[] = {
        // The usual layouts reach this through the BMP decoder's tests and the oracle comparison.
        // Red in the low or the top bits, and masks no usual layout has: no shift goes negative.
        {{0x1F, 0x00, 0, 0}, 0x001F, 0x07E0, 0xF800, 16, Rgb(248, 0, 0)},
        {{0x00, 0x80, 0, 0}, 0, 0x8000, 0xFFFF, 16, Rgb(0, 128, 0x80)},
        {{10, 20, 30, 40}, 0xFF000000, 0xFF00, 0xFF, 32, Rgb(40, 20, 10)},
        {{0x00, 0x00, 0xF8, 0x3F}, 0x3FF00000, 0x000FFC00, 0x3FF, 32, Rgb(255, 128, 0)}, // 10-10-10
    };
    for (const auto& c : cases) {
        VxImage image(1, 1, 24, 0);
        image.BitfieldsTo24(c.source.data(), c.r, c.g, c.b, c.bits);
        EXPECT_TRUE(SameColour(image.PixelColour(0, 0, false), c.expected)) << std::hex << c.r << " " << c.b;
    }
}

TEST(VxImageColour, MirrorAndFlipMoveEveryPixelAndThePlanes)
{
    for (std::uint32_t bits : {1u, 4u, 8u, 24u}) {
        SCOPED_TRACE(bits);
        const std::int32_t width = 13, height = 3; // odd: the middle column and row stay
        TestImage image(width, height, bits, 0);
        FillNoise(image, 11);
        for (int i = 0; i < 256; ++i)
            image.SetPaletteEntry(static_cast<std::uint8_t>(i), i, 255 - i, 7 * i);
        ASSERT_TRUE(image.CreateAlpha());
        ForEachPixel(image, [&](int x, int y) { image.SetAlphaAt(x, y, static_cast<std::uint8_t>(10 * x + y)); });
        image.Select({{0, 0}}, 0, 1, 4, 0);
        VxImage original(image, true, false, false);

        ASSERT_TRUE(image.MirrorHorizontal());
        ASSERT_TRUE(image.FlipVertical());
        ForEachPixel(image, [&](int x, int y) {
            const int sx = width - 1 - x, sy = height - 1 - y;
            EXPECT_TRUE(SameColour(image.PixelColour(x, y), original.PixelColour(sx, sy))) << x << "," << y;
            EXPECT_EQ(image.AlphaAt(x, y), 10 * sx + sy) << x << "," << y;
        });
        EXPECT_TRUE(image.IsSelected(width - 1, height - 1));
        EXPECT_FALSE(image.IsSelected(0, 0));
        EXPECT_EQ(SelectionBox(image), (std::vector<int>{width - 4, 3, width, 2}));

        ASSERT_TRUE(image.FlipVertical(false, false)); // pixels only
        EXPECT_TRUE(SameColour(image.PixelColour(0, 0), original.PixelColour(width - 1, 0)));
        EXPECT_EQ(image.AlphaAt(0, 0), 10 * (width - 1) + 2);
        EXPECT_TRUE(image.IsSelected(width - 1, height - 1));
    }
}

TEST(VxImageColour, SelectionMask)
{
    TestImage image(4, 3, 8, 0);
    image.Select({{2, 1}}, 2, 2, 3, 1);
    EXPECT_TRUE(image.IsSelected(2, 1));
    EXPECT_FALSE(image.IsSelected(0, 0) || image.IsSelected(4, 0)) << "outside is never selected";

    VxImage copy(4, 3, 8, 0), other(5, 3, 8, 0);
    EXPECT_TRUE(copy.CopySelectionFrom(image));
    EXPECT_TRUE(copy.IsSelected(2, 1) && !copy.IsSelected(0, 0));
    EXPECT_EQ(SelectionBox(copy), SelectionBox(image));
    EXPECT_FALSE(other.CopySelectionFrom(image)) << "sizes differ";
    EXPECT_FALSE(image.CopySelectionFrom(other)) << "no mask to copy";

    EXPECT_TRUE(image.ClearSelection()); // everything selected, the box empty
    ForEachPixel(image, [&](int x, int y) { EXPECT_TRUE(image.IsSelected(x, y)); });
    EXPECT_EQ(SelectionBox(image), (std::vector<int>{4, 0, 0, 3}));
}

TEST(VxImageColour, AlphaPlaneItsMemoryLimitAndAliasesConvertNothing)
{
    VxImage image(3, 2, 24, 0);
    EXPECT_EQ(image.AlphaAt(0, 0), 0);
    ASSERT_TRUE(image.CreateAlpha());
    EXPECT_EQ(image.AlphaAt(2, 1), 255);
    image.SetAlphaAt(2, 1, 40);
    image.SetAlphaAt(3, 1, 41); // outside: ignored
    EXPECT_EQ((std::vector<int>{image.AlphaAtUnchecked(2, 1), image.AlphaAt(-1, 0)}), (std::vector<int>{40, 0}));
    EXPECT_EQ(image.AlphaAddress(0, 2), nullptr);
    image.InvertAlpha();
    EXPECT_TRUE(image.MirrorAlpha());
    EXPECT_EQ(image.AlphaAt(0, 1), 215);

    image.Info().alphaMax = 99;
    VxImage copy(3, 2, 8, 0), other(2, 3, 8, 0);
    EXPECT_TRUE(copy.CopyAlphaFrom(image));
    EXPECT_EQ((std::vector<int>{copy.AlphaAt(0, 1), copy.Info().alphaMax}), (std::vector<int>{215, 99}));
    EXPECT_FALSE(other.CopyAlphaFrom(image));
    image.DeleteAlpha();
    EXPECT_FALSE(image.HasAlpha() || image.FlipAlpha());

    // From grey levels at every depth: a 1-bit row is 16 bytes, and the plane takes the
    // pixel's level (0 or 1), not 100 bytes; a colour palette is refused.
    VxImage target(100, 2, 24, 0), grey(100, 2, 8, 0), mono(100, 2, 1, 0), colour(100, 2, 8, 0);
    grey.SetGreyPalette();
    grey.Clear(0);
    grey.SetPixelIndex(99, 1, 180);
    ASSERT_TRUE(target.AlphaFromGrey(grey));
    EXPECT_EQ((std::vector<int>{target.AlphaAt(99, 1), target.AlphaAt(0, 1)}), (std::vector<int>{180, 0}));
    mono.SetPaletteEntry(1, 1, 1, 1);
    mono.Clear(0);
    mono.SetPixelIndex(99, 1, 1);
    ASSERT_TRUE(target.AlphaFromGrey(mono));
    EXPECT_EQ((std::vector<int>{target.AlphaAt(99, 1), target.AlphaAt(98, 1)}), (std::vector<int>{1, 0}));
    colour.SetPaletteEntry(1, 9, 9, 9);
    EXPECT_FALSE(target.AlphaFromGrey(colour));

    VxImage wide(16385, 16384, 1, 0); // 32 MiB of pixels, one pixel more than the limit in planes
    ASSERT_TRUE(wide.IsValid());
    EXPECT_FALSE(wide.CreateAlpha());
    EXPECT_STREQ(wide.LastError(), "VXIMAGE_MAX_MEMORY exceeded");

    VxImage owner(3, 2, 8, 0);
    ASSERT_TRUE(owner.CreateAlpha());
    {
        VxImage alias;
        alias.MakeAlias(&owner);
        alias.DeleteAlpha();
        EXPECT_FALSE(alias.IncreaseBpp(24) || alias.ThresholdToMono(128));
    }
    EXPECT_EQ((std::vector<int>{int(owner.BitsPerPixel()), owner.AlphaAt(2, 1)}), (std::vector<int>{8, 255}));
}

// ApplyOrientation against the EXIF definition of the eight values, on a 3 x 2 picture whose
// stored rows (from the top) are 10 20 30 and 50 60 70: the picture as seen, top row first.
// Catches a quarter turn the wrong way, a transpose about the wrong diagonal, sizes or
// resolutions left unswapped.
TEST(VxImageOrientation, EveryValueShowsThePictureAsTheTagDescribesIt)
{
    const std::vector<int> seen[8] = {
        {10, 20, 30, 50, 60, 70}, {30, 20, 10, 70, 60, 50}, {70, 60, 50, 30, 20, 10}, {50, 60, 70, 10, 20, 30},
        {10, 50, 20, 60, 30, 70}, {50, 10, 60, 20, 70, 30}, {70, 30, 60, 20, 50, 10}, {30, 70, 20, 60, 10, 50},
    };
    for (int orientation = 1; orientation <= 8; ++orientation) {
        SCOPED_TRACE(orientation);
        VxImage image(3, 2, 24, kVxTypeJpg);
        image.SetXDpi(300);
        image.SetYDpi(72);
        FillColours(image, [](int x, int row) { return RGBQUAD{BYTE(40 * (1 - row) + 10 * x + 10), 0, 0, 0}; });
        ASSERT_TRUE(image.ApplyOrientation(orientation));
        const bool turned = orientation >= 5;
        EXPECT_EQ((std::vector<int>{image.Width(), image.Height(), image.XDpi()}),
                  (std::vector<int>{turned ? 2 : 3, turned ? 3 : 2, turned ? 72 : 300}));
        std::vector<int> levels;
        for (int row = image.Height() - 1; row >= 0; --row)
            for (int x = 0; x < image.Width(); ++x)
                levels.push_back(image.PixelColour(x, row).rgbBlue);
        EXPECT_EQ(levels, seen[orientation - 1]);
    }
}

} // namespace
