// Resampling of VxImage: filter kernels (symmetry, partition of unity, J1 against the library),
// Rescale in each mode (the nearest-pixel fast paths against a pixel-by-pixel reference on odd
// sizes, the area shrink, bilinear, B-spline, alpha planes, failures, cancelling), and the point
// and area samplers with their overflow rules, on small pictures built by the tests.
#include "image/ResampleKernels.h"
#include "image/VxImage.h"
#include "tests/support/ImageChecks.h"

#include "bench/RescaleReference.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <vector>

namespace {

namespace kernels = vx::kernels;

using namespace vx::test;

// A random palette in which some colours repeat: index 2k+1 repeats index k for k < 40.
void SetPaletteWithRepeats(VxImage& image, std::uint32_t seed)
{
    for (std::uint32_t i = 0; i < image.ColourCount(); ++i) {
        seed = seed * 1664525u + 1013904223u;
        image.SetPaletteEntry(static_cast<std::uint8_t>(i), Rgb(seed >> 24, seed >> 16, seed >> 8, seed & 0xFF));
    }
    for (std::uint32_t k = 0; 2 * k + 1 < image.ColourCount() && k < 40; ++k)
        image.SetPaletteEntry(static_cast<std::uint8_t>(2 * k + 1), image.PaletteEntry(static_cast<std::uint8_t>(k)));
}

// The colour that identifies pixel (x, y) of a coded picture.
RGBQUAD CodedColour(std::int32_t x, std::int32_t y)
{
    return Rgb(static_cast<std::uint8_t>(10 + x), static_cast<std::uint8_t>(100 + y),
               static_cast<std::uint8_t>(200 + x + y));
}

// An alpha plane holding 10x + y at (x, y), so that a result shows which pixel each value came from.
void SetAlphaRamp(VxImage& image)
{
    ASSERT_TRUE(image.CreateAlpha());
    ForEachPixel(image, [&](std::int32_t x, std::int32_t y) { image.SetAlphaAt(x, y, std::uint8_t(10 * x + y)); });
}

// A 3 x 3 black picture whose red channel holds known values in rows 0 and 1.
void MakeSamplerPicture(VxImage& image)
{
    ASSERT_TRUE(image.Create(3, 3, 24, 0));
    image.Clear(0);
    const std::uint8_t reds[6] = {10, 200, 100, 50, 90, 20}; // (0..2, 0) then (0..2, 1)
    for (int i = 0; i < 6; ++i)
        image.SetPixelColour(i % 3, i / 3, Rgb(reds[i], 0, 0));
}

// ---- Kernels ----------------------------------------------------------------------------------

// The kernels are even and, where they interpolate, sum to one over their four taps; at zero
// the formulas divide by zero and give their limits instead; J1 agrees with the library.
TEST(ResampleKernels, SymmetryPartitionOfUnityAndBesselJ1)
{
    EXPECT_EQ(kernels::Weight(6, 0.0f) + kernels::Weight(10, 0.0f) + kernels::Weight(2, 0.0f), 2.0f);
    EXPECT_NEAR(kernels::Weight(12, 0.0f), 0.7853982f, 1e-6f);
    for (std::int32_t method = 3; method <= 18; ++method)
        for (int i = 0; i < 70; ++i) { // away from the support edges
            const float t = 0.05f + 0.1f * i;
            EXPECT_NEAR(kernels::Weight(method, t), kernels::Weight(method, -t), 1e-6f) << method << " at " << t;
        }
    for (std::int32_t method : {3, 4, 5, 7, 8, 14, 15, 16})
        for (int step = 0; step < 20; ++step) {
            float sum = 0.0f;
            for (int n = -1; n <= 2; ++n)
                sum += kernels::Weight(method, n - step / 20.0f);
            EXPECT_NEAR(sum, 1.0f, 1e-5f) << method << " at offset " << step << "/20";
        }
    EXPECT_EQ(kernels::BesselJ1(0.0), 0.0);
    for (double u = 0.01; u < 40.0; u += 0.0137) {
        // Beyond 8 the asymptotic form carries pi as a float, good to a few 1e-9.
        EXPECT_NEAR(kernels::BesselJ1(u), std::cyl_bessel_j(1.0, u), u < 8.0 ? 1e-12 : 1e-8) << u;
        EXPECT_EQ(kernels::BesselJ1(-u), -kernels::BesselJ1(u)) << u;
    }
    EXPECT_NEAR(kernels::Weight(12, 0.5f), kernels::BesselJ1(kernels::kPi * 0.5f), 1e-6); // J1(pi t) / 2t
}

// ---- Rescale ------------------------------------------------------------------------------------

// Pixel x of the result takes source pixel truncate(x * scale), with no half-pixel offset; a
// palette that repeats a colour maps it to the lowest index.
TEST(VxImageRescale, NearestFastPathsEqualThePixelByPixelDefinition)
{
    const struct { std::int32_t width, height, newWidth, newHeight; } sizes[] = {
        {801, 9, 400, 4}, {3, 3, 2, 2}, {5, 7, 13, 17}, {7, 3, 3, 11}, {1, 1, 9, 4},
        {64, 48, 63, 47}, {33, 65, 100, 21}, {999, 5, 333, 5}, {17, 1, 16, 1},
    };
    std::uint32_t seed = 1;
    for (const auto& s : sizes)
        for (std::uint32_t depth : {24u, 8u, 4u, 1u})
            for (bool withAlpha : {false, true}) {
                SCOPED_TRACE(testing::Message() << s.width << "x" << s.height << " -> " << s.newWidth << "x"
                                                << s.newHeight << ", depth " << depth << ", alpha " << withAlpha);
                VxImage source(s.width, s.height, depth, kVxTypeJpg);
                FillNoise(source, ++seed);
                if (depth < 24)
                    SetPaletteWithRepeats(source, ++seed);
                if (withAlpha)
                    SetAlphaRamp(source);
                VxImage expected;
                ASSERT_TRUE(vx::reference::NearestRescale(source, s.newWidth, s.newHeight, expected));
                ASSERT_TRUE(source.Rescale(s.newWidth, s.newHeight, 1));
                EXPECT_TRUE(SamePixels(source, expected));
            }
}

TEST(VxImageRescale, AreaShrinkIsTheMeanOfTheCoveredArea)
{
    // 2 x 2 blocks: the truncated mean of each, 102 / 4 and 806 / 4.
    VxImage blocks(4, 2, 24, 0);
    const std::uint8_t reds[8] = {10, 21, 200, 201, 30, 41, 202, 203};
    FillColours(blocks, [&](std::int32_t x, std::int32_t y) { return Rgb(reds[4 * y + x], 0, 0); });
    ASSERT_TRUE(blocks.Rescale(2, 1, 0));
    EXPECT_EQ((std::vector<int>{blocks.PixelColour(0, 0).rgbRed, blocks.PixelColour(1, 0).rgbRed}),
              (std::vector<int>{25, 201}));

    // Odd factors: the exact mean of the source area [x xs, (x+1) xs) x [y ys, (y+1) ys).
    VxImage image(37, 29, 24, 0);
    FillNoise(image, 77);
    VxImage original(image, true, false, false);
    ASSERT_TRUE(image.Rescale(10, 7, 3));
    const double xs = 37.0 / 10.0, ys = 29.0 / 7.0;
    ForEachPixel(image, [&](std::int32_t x, std::int32_t y) {
        double sum[3] = {};
        ForEachPixel(original, [&](std::int32_t i, std::int32_t j) {
            const double h = std::min(j + 1.0, (y + 1) * ys) - std::max<double>(j, y * ys);
            const double w = std::min(i + 1.0, (x + 1) * xs) - std::max<double>(i, x * xs);
            const RGBQUAD c = original.PixelColour(i, j, false);
            const int levels[3] = {c.rgbRed, c.rgbGreen, c.rgbBlue};
            for (int k = 0; k < 3 && w > 0 && h > 0; ++k)
                sum[k] += w * h * levels[k];
        });
        const RGBQUAD got = image.PixelColour(x, y, false);
        const int channels[3] = {got.rgbRed, got.rgbGreen, got.rgbBlue};
        for (int k = 0; k < 3; ++k)
            EXPECT_NEAR(channels[k], sum[k] / (xs * ys), 2.0) << x << ", " << y << " channel " << k;
    });
}

// The alpha plane follows by the nearest pixel in every mode.
TEST(VxImageRescale, BilinearForPalettesAndEnlargingAndBSpline)
{
    // 8 bits shrunk by 2 in mode 3: bilinear at whole positions reads pixel (2x, 2y), and the
    // picture stays 8-bit with its palette.
    VxImage grey(4, 4, 8, 0);
    grey.SetGreyPalette();
    FillIndices(grey, [](std::int32_t x, std::int32_t y) { return 16 * (4 * y + x); });
    SetAlphaRamp(grey);
    ASSERT_TRUE(grey.Rescale(2, 2, 3));
    EXPECT_EQ(grey.PaletteEntry(77).rgbRed, 77);
    EXPECT_EQ(grey.AlphaAt(1, 1), 22);
    EXPECT_EQ(RowIndices(grey, 0), (std::vector<int>{0, 32}));
    EXPECT_EQ(RowIndices(grey, 1), (std::vector<int>{128, 160}));

    // 24 bits enlarged: x = 1 falls halfway, the last columns hold the edge pixel.
    VxImage pair(2, 1, 24, 0);
    pair.SetPixelColour(0, 0, Rgb(10, 20, 31));
    pair.SetPixelColour(1, 0, Rgb(20, 40, 60));
    SetAlphaRamp(pair);
    ASSERT_TRUE(pair.Rescale(4, 1, 3));
    EXPECT_EQ((std::vector<int>{pair.AlphaAt(1, 0), pair.AlphaAt(2, 0)}), (std::vector<int>{0, 10}));
    const RGBQUAD expected[4] = {Rgb(10, 20, 31), Rgb(15, 30, 45), Rgb(20, 40, 60), Rgb(20, 40, 60)};
    for (std::int32_t x = 0; x < 4; ++x)
        EXPECT_TRUE(SameQuad(pair.PixelColour(x, 0, false), expected[x])) << x;

    // 8 bits, black left half and white right half doubled in width: the edge turns grey
    // (palette entry 2) where the spline mixes both halves equally, and the depth stays.
    VxImage edge(4, 2, 8, 0);
    edge.SetPaletteEntry(1, Rgb(255, 255, 255));
    edge.SetPaletteEntry(2, Rgb(128, 128, 128));
    FillIndices(edge, [](std::int32_t x, std::int32_t) { return x < 2 ? 0 : 1; });
    SetAlphaRamp(edge);
    ASSERT_TRUE(edge.Rescale(8, 2, 2));
    EXPECT_EQ(edge.AlphaAt(7, 1), 31);
    for (std::int32_t y = 0; y < 2; ++y) // columns 3, 4 and 5 are 1/6, half and 5/6 white
        EXPECT_EQ(RowIndices(edge, y), (std::vector<int>{0, 0, 0, 0, 2, 1, 1, 1}));
}

TEST(VxImageRescale, SameSizeFailuresAndCancellingLeaveThePictureAlone)
{
    VxImage image(5, 3, 24, 0); // rows with padding
    FillNoise(image, 3);
    const std::uint8_t* block = image.DibAddress();
    const std::vector<std::uint8_t> before(block, block + image.DibSize());
    for (std::int32_t mode : {1, 2, 3}) {
        EXPECT_TRUE(image.Rescale(5, 3, mode));
        EXPECT_EQ(image.DibAddress(), block);
    }
    VxImage copy;
    EXPECT_TRUE(image.Rescale(5, 3, 1, &copy));
    EXPECT_TRUE(SamePixels(copy, image));

    EXPECT_FALSE(image.Rescale(0, 10, 1) || image.Rescale(10, 0, 3));
    EXPECT_STREQ(image.LastError(), "");
    EXPECT_FALSE(image.Rescale(10, -2147483647 - 1, 1));
    EXPECT_STREQ(image.LastError(), "VXIMAGE_MAX_MEMORY exceeded");

    image.Info().escape = 1;
    for (std::int32_t mode : {1, 2, 3, 4}) {
        image.Info().progress = 55;
        EXPECT_FALSE(image.Rescale(3, 5, mode));
        EXPECT_STREQ(image.LastError(), "Cancelled");
        EXPECT_EQ(image.Info().progress, 0); // written before the first row
    }
    EXPECT_EQ(std::vector<std::uint8_t>(image.DibAddress(), image.DibAddress() + image.DibSize()), before);
    image.Info().escape = 0;
    EXPECT_TRUE(image.Rescale(3, 5, 1));

    VxImage empty;
    EXPECT_FALSE(empty.Rescale(4, 4, 1));
    EXPECT_STRNE(empty.LastError(), "");
}

TEST(VxImageRescale, ResultCarriesTheImageInfoAndCanGoToAnotherImage)
{
    VxImage image(6, 4, 24, kVxTypeGif);
    FillColours(image, CodedColour);
    image.SetXDpi(300);
    image.Info().jpegQuality = 75.0f;
    VxImage destination(1, 1, 8, 0);
    ASSERT_TRUE(image.Rescale(3, 2, 1, &destination));
    EXPECT_TRUE(SameQuad(image.PixelColour(5, 3, false), CodedColour(5, 3))); // the source stays
    EXPECT_EQ(image.Info().progress, 50); // 100 x 1 / 2, published before the last row
    // The header's resolution fields are those of a fresh image (3780), whatever the dpi.
    EXPECT_EQ((std::vector<std::int64_t>{destination.BitsPerPixel(), destination.ImageType(), destination.XDpi(),
                                 destination.Header().biXPelsPerMeter, destination.JpegQuality()}),
              (std::vector<std::int64_t>{24, kVxTypeGif, 300, 3780, 75}));
    EXPECT_TRUE(SameQuad(destination.PixelColour(2, 1, false), CodedColour(4, 2)));

    { // An alias cannot be replaced.
        VxImage alias;
        alias.MakeAlias(&image);
        EXPECT_FALSE(alias.Rescale(3, 2, 1));
        EXPECT_STRNE(alias.LastError(), "");
    }
    ASSERT_TRUE(image.Rescale(12, 8, 1)); // in place keeps the info too
    EXPECT_EQ(image.XDpi() * 10000 + image.Header().biXPelsPerMeter, 300 * 10000 + 3780);
}

// ---- Samplers -------------------------------------------------------------------------------

// Golden colours: nearest rounds halves up; bilinear works in fixed point inside and takes
// the taps past the edge through the overflow rule; B-spline and Catmull-Rom weights; a window
// wholly outside gives the replacement (or white), Lanczos reaching six pixels out.
TEST(VxImageSamplers, InterpolatedColourGoldenValues)
{
    VxImage coded(4, 2, 24, 0), reds, dot(5, 5, 24, 0), ramp(4, 1, 24, 0), flat(4, 3, 24, 0), indexed(4, 3, 8, 0);
    FillColours(coded, CodedColour);
    MakeSamplerPicture(reds);
    dot.Clear(0);
    dot.SetPixelColour(1, 1, Rgb(240, 0, 0));
    FillColours(ramp, [](std::int32_t x, std::int32_t) { return Rgb(static_cast<std::uint8_t>(16 + 32 * x), 0, 0); });
    flat.Clear(0);
    FillNoise(indexed, 12);
    SetPaletteWithRepeats(indexed, 13);
    const RGBQUAD red = Rgb(255, 0, 0, 9), edge = indexed.PixelColour(0, 1);
    // Inside: u = 76, v = 153, uv = 45: weights 72, 31, 108, 45 of 256.
    const int inside = (72 * 10 + 31 * 200 + 108 * 50 + 45 * 90) >> 8;
    const struct {
        const VxImage* image;
        float x, y;
        std::int32_t method, overflow;
        const RGBQUAD* replacement;
        RGBQUAD expected;
    } cases[] = {
        {&coded, 1.5f, 0.4f, 1, 5, nullptr, CodedColour(2, 0)},
        {&coded, 1.49f, 0.5f, 1, 5, nullptr, CodedColour(1, 1)},
        {&reds, 0.3f, 0.6f, 2, 5, nullptr, Rgb(inside, 0, 0)},
        {&reds, 0.3f, 0.6f, 99, 5, nullptr, Rgb(inside, 0, 0)}, // unknown codes are bilinear too
        {&reds, 2.5f, 0.25f, 2, 5, nullptr, Rgb(80, 0, 0)},     // repeat: 0.75 x 100 + 0.25 x 20
        {&reds, 2.5f, 0.25f, 2, 4, nullptr, Rgb(50, 0, 0)},     // wrap onto column 0
        {&dot, 1.0f, 1.0f, 3, 5, nullptr, Rgb(106, 0, 0)},      // 240 x (2/3)^2
        {&ramp, 1.5f, 0.0f, 16, 5, nullptr, Rgb(64, 0, 0)},     // 9/16 of each neighbour, -1/16 of the next
        {&indexed, -5.0f, 1.0f, 2, 1, &red, red},
        {&indexed, -5.0f, 1.0f, 2, 1, nullptr, Rgb(255, 255, 255, 0)},
        {&indexed, -5.0f, 1.0f, 2, 5, nullptr, Rgb(edge.rgbRed, edge.rgbGreen, edge.rgbBlue)}, // moved onto it
        {&flat, -7.0f, 1.0f, 6, 1, &red, red},
    };
    for (const auto& c : cases)
        EXPECT_TRUE(SameQuad(c.image->InterpolatedColour(c.x, c.y, c.method, c.overflow, c.replacement), c.expected))
            << c.x << ", " << c.y << " method " << c.method << " overflow " << c.overflow;
    EXPECT_FALSE(SameQuad(flat.InterpolatedColour(-6.0f, 1.0f, 6, 1, &red), red)); // still touches column 0
    indexed.SetTransparentIndex(3);
    EXPECT_TRUE(SameQuad(indexed.InterpolatedColour(-5.0f, 1.0f, 16, 2, &red), indexed.PaletteEntry(3)));
    ASSERT_TRUE(reds.CreateAlpha());
    reds.SetAlphaAt(0, 0, 0);
    EXPECT_EQ(reds.InterpolatedColour(0.3f, 0.6f, 2, 5).rgbReserved, (184 * 255) >> 8);
}

TEST(VxImageSamplers, OverflowCodesAndCoordinates)
{
    VxImage image(4, 3, 24, 0);
    FillColours(image, CodedColour);
    const RGBQUAD grey = Rgb(9, 9, 9, 200), white = Rgb(255, 255, 255, 0);
    for (std::int32_t code : {0, 1, 2, 3, 7})
        EXPECT_TRUE(SameQuad(image.ColourWithOverflow(-1, 0, code, &grey), grey)) << code;
    EXPECT_TRUE(SameQuad(image.ColourWithOverflow(4, 0, 1), white));
    EXPECT_TRUE(SameQuad(image.ColourWithOverflow(2, 1, 1, &grey), CodedColour(2, 1))); // inside: the pixel
    // Wrap, repeat and mirror read the pixel OverflowCoordinates maps to.
    const struct { std::int32_t x, y, code, sx, sy; } mapped[] = {{5, -3, 4, 1, 0}, {-3, 7, 5, 0, 2}, {-1, 3, 6, 1, 2}};
    for (const auto& m : mapped)
        EXPECT_TRUE(SameQuad(image.ColourWithOverflow(m.x, m.y, m.code), CodedColour(m.sx, m.sy))) << m.code;

    image.SetTransparentIndex(0); // a 24-bit picture answers with its transparent colour
    image.SetTransparentColour(Rgb(1, 2, 3));
    for (std::int32_t code : {2, 3})
        EXPECT_TRUE(SameQuad(image.ColourWithOverflow(-1, 0, code, &grey), Rgb(1, 2, 3))) << code;
    ASSERT_TRUE(image.CreateAlpha());
    EXPECT_TRUE(SameQuad(image.ColourWithOverflow(-1, 0, 3, &grey), Rgb(9, 9, 9, 0)));

    VxImage indexed(2, 2, 8, 0);
    indexed.SetPaletteEntry(3, Rgb(7, 8, 9, 1));
    indexed.SetTransparentIndex(3);
    for (std::int32_t code : {2, 3})
        EXPECT_TRUE(SameQuad(indexed.ColourWithOverflow(2, 0, code, &grey), Rgb(7, 8, 9, 1))) << code;
    EXPECT_TRUE(SameQuad(VxImage().ColourWithOverflow(0, 0, 4), white));

    // The coordinates each rule maps to, whole and fractional.
    const struct { std::int32_t code, x, y, ex, ey; } ints[] = {
        {6, 3, 2, 3, 2}, {4, -1, 0, 3, 0}, {4, 9, -7, 1, 2}, {5, -9, 5, 0, 2}, {6, -2, 3, 2, 2}, // (3, 2) inside
        {6, 4, -1, 3, 1}, {6, 6, 0, 1, 0}, {6, -2147483647 - 1, 0, 0, 0}, {2, -1, 5, -1, 5},
    };
    for (const auto& c : ints) {
        std::int32_t x = c.x, y = c.y;
        image.OverflowCoordinates(x, y, c.code);
        EXPECT_EQ((std::vector<int>{x, y}), (std::vector<int>{c.ex, c.ey})) << "code " << c.code << " from " << c.x;
    }
    const struct { std::int32_t code; float x, y, ex, ey; } floats[] = {
        {6, 3.5f, 0.25f, 3.5f, 0.25f}, {4, -0.5f, 1.0f, 3.5f, 1.0f}, {6, 4.25f, 1.0f, 2.75f, 1.0f},
        {5, -7.5f, 9.0f, 0.0f, 2.0f},
    };
    for (const auto& c : floats) {
        float x = c.x, y = c.y;
        image.OverflowCoordinates(x, y, c.code);
        EXPECT_EQ((std::vector<float>{x, y}), (std::vector<float>{c.ex, c.ey})) << "code " << c.code << " from " << c.x;
    }
}

TEST(VxImageSamplers, AreaColour)
{
    VxImage image;
    MakeSamplerPicture(image);
    // A 2 x 2 area on pixel corners covers four whole cells.
    EXPECT_EQ(image.AreaColour(0.5f, 0.5f, 2.0f, 2.0f, 2, 5).rgbRed, (10 + 200 + 50 + 90) / 4);
    // Sizes of 1 or less sample one point.
    EXPECT_TRUE(SameQuad(image.AreaColour(0.3f, 0.6f, 1.0f, 0.5f, 2, 5), image.InterpolatedColour(0.3f, 0.6f, 2, 5)));
    // Only the width exceeds 1: each covered cell contributes its centre's colour by surface.
    // Area x 0..2 on row 0: half of pixel 0, pixel 1, half of pixel 2.
    EXPECT_EQ(image.AreaColour(1.0f, 0.0f, 2.0f, 0.5f, 1, 5).rgbRed, (5 + 200 + 50) / 2);

    // An area that hangs over an edge counts the cells it covers there (through the
    // overflow rule) instead of dropping them.
    VxImage flat(4, 4, 24, 0);
    flat.Clear(100);
    EXPECT_NEAR(flat.AreaColour(0.3f, 0.3f, 2.0f, 2.0f, 2, 5).rgbRed, 100, 1);
    EXPECT_NEAR(flat.AreaColour(3.7f, 2.1f, 3.0f, 2.5f, 2, 5).rgbGreen, 100, 1);
    ASSERT_TRUE(flat.CreateAlpha());
    flat.SetAlphaAt(0, 0, 0);
    EXPECT_EQ(flat.AreaColour(0.5f, 0.5f, 2.0f, 2.0f, 2, 5).rgbReserved, 3 * 255 / 4);
}

} // namespace
