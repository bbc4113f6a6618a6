// Draw onto the in-memory device: each path's pixels against values worked out by hand
// (own size, clipping, 100 -> 50 sampling, opacity, magenta and palette transparency, smooth
// sampling), the refusals that must leave the device alone, and the state restored after.
#include "tests/image/DrawScenarios.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using vx::Rgb;
using namespace vx::test;

struct Drawn {
    std::int32_t result;
    vx::MemoryDrawDevice device{kDeviceWidth, kDeviceHeight, Rgb{}};
};

std::unique_ptr<Drawn> DrawScenarioNamed(const std::string& name)
{
    for (const DrawScenario& scenario : DrawScenarios()) {
        if (name != scenario.name)
            continue;
        auto drawn = std::make_unique<Drawn>();
        PaintBackground(drawn->device);
        drawn->result = scenario.make()->Draw(&drawn->device, scenario.x, scenario.y, scenario.cx, scenario.cy,
                                             scenario.hasClip ? &scenario.clip : nullptr, scenario.smooth);
        return drawn;
    }
    ADD_FAILURE() << "no scenario " << name;
    return nullptr;
}

// Pixels of Gradient(): (x, y) counted from the bottom row.
Rgb GradientPixel(std::int32_t x, std::int32_t y)
{
    return Rgb{static_cast<std::uint8_t>(7 * x + 1), static_cast<std::uint8_t>(5 * y + 2),
               static_cast<std::uint8_t>(3 * (x + y))};
}

// Every pixel outside [left, right) x [top, bottom) still shows the background.
void ExpectBackgroundOutside(const vx::MemoryDrawDevice& device, RECT drawn)
{
    for (std::int32_t y = 0; y < device.Height(); ++y) {
        for (std::int32_t x = 0; x < device.Width(); ++x) {
            if (x < drawn.left || x >= drawn.right || y < drawn.top || y >= drawn.bottom) {
                ASSERT_EQ(device.PixelAt(x, y), Background(x, y)) << x << "," << y;
            }
        }
    }
}

TEST(VxImageDraw, OwnSizeShowsRowsBottomUpAtThePosition)
{
    auto drawn = DrawScenarioNamed("OwnSize");
    EXPECT_EQ(drawn->result, 1);
    // Device row 2 is the image's top row (3), device row 5 its bottom row.
    EXPECT_EQ(drawn->device.PixelAt(3, 2), GradientPixel(0, 3));
    EXPECT_EQ(drawn->device.PixelAt(7, 5), GradientPixel(4, 0));
    EXPECT_EQ(drawn->device.PixelAt(4, 4), GradientPixel(1, 1));
    ExpectBackgroundOutside(drawn->device, RECT{3, 2, 8, 6});
    EXPECT_EQ(drawn->device.SavedStates(), 0u);
}

TEST(VxImageDraw, AClipRectangleCutsTheTargetAndIsUndoneAfterwards)
{
    auto drawn = DrawScenarioNamed("OwnSizeClipped"); // target 3..8 x 2..6, clip 5..7 x 3..9
    EXPECT_EQ(drawn->device.PixelAt(5, 3), GradientPixel(2, 2));
    EXPECT_EQ(drawn->device.PixelAt(6, 5), GradientPixel(3, 0));
    ExpectBackgroundOutside(drawn->device, RECT{5, 3, 7, 6});
    EXPECT_EQ(drawn->device.ClipBox().right, kDeviceWidth) << "the device's own clip is back";

    auto cut = DrawScenarioNamed("HalfSizeClipped"); // the stretch path within 10..30 x 10..20
    // Device (c, r) shows image column 2(c - 2) and row 100 - 2(r + 1 - 1).
    EXPECT_EQ(cut->device.PixelAt(10, 10), (Rgb{16, 80, 50}));
    EXPECT_EQ(cut->device.PixelAt(29, 19), (Rgb{54, 62, 50}));
    ExpectBackgroundOutside(cut->device, RECT{10, 10, 30, 20});
}

TEST(VxImageDraw, HalvingWithoutSmoothingSamplesEveryOtherColumnAndRow)
{
    auto drawn = DrawScenarioNamed("HalfSize");
    for (std::int32_t c = 0; c < 50; ++c) {
        // Device row 0 shows image row 98, row 49 image row 0.
        ASSERT_EQ(drawn->device.PixelAt(c, 0), (Rgb{static_cast<std::uint8_t>(2 * c), 98, 50})) << c;
        ASSERT_EQ(drawn->device.PixelAt(c, 49), (Rgb{static_cast<std::uint8_t>(2 * c), 0, 50})) << c;
    }
    ExpectBackgroundOutside(drawn->device, RECT{0, 0, 50, 50});
}

TEST(VxImageDraw, PartlyOffTheDeviceDrawsTheVisiblePart)
{
    auto drawn = DrawScenarioNamed("PartlyOffTheDevice"); // 9 x 7 into 18 x 14 at (-4, 48)
    // (0, 48): fx = 4 * 0.5 = 2; fy = 7 - 1 * 0.5 = 6.5 -> image pixel (2, 6).
    EXPECT_EQ(drawn->device.PixelAt(0, 48), GradientPixel(2, 6));
    EXPECT_EQ(drawn->device.PixelAt(13, 51), GradientPixel(8, 5));
    ExpectBackgroundOutside(drawn->device, RECT{0, 48, 14, 52});
}

TEST(VxImageDraw, OpacityAppliesOnlyOnTheBlendingPath)
{
    // a = (255 * 129) >> 8 = 128: (colour * 128 + background * 127) >> 8 per channel.
    auto blended = DrawScenarioNamed("Opacity128");
    for (const auto& [x, y] : {std::pair{1, 1}, std::pair{4, 3}}) {
        const Rgb back = Background(x, y);
        const Rgb expected{static_cast<std::uint8_t>((200 * 128 + back.red * 127) >> 8),
                           static_cast<std::uint8_t>((100 * 128 + back.green * 127) >> 8),
                           static_cast<std::uint8_t>((0 * 128 + back.blue * 127) >> 8)};
        EXPECT_EQ(blended->device.PixelAt(x, y), expected) << x << "," << y;
    }
    EXPECT_EQ(blended->device.PixelAt(1, 1), (Rgb{101, 51, 49})) << "(200*128 + 4*127) >> 8 ...";
    ExpectBackgroundOutside(blended->device, RECT{1, 1, 5, 4});

    auto direct = DrawScenarioNamed("Opacity128WithoutAlphaPlane");
    EXPECT_EQ(direct->device.PixelAt(2, 2), (Rgb{200, 100, 0}));
}

TEST(VxImageDraw, MagentaIsTransparentOnlyWhileTheImageIsMarkedTransparent)
{
    auto clear = DrawScenarioNamed("MagentaTransparent"); // 3 x 2 at (2, 2)
    EXPECT_EQ(clear->device.PixelAt(2, 3), Background(2, 3)) << "image (0, 0)";
    EXPECT_EQ(clear->device.PixelAt(4, 2), Background(4, 2)) << "image (2, 1)";
    EXPECT_EQ(clear->device.PixelAt(3, 3), GradientPixel(1, 0));
    EXPECT_EQ(clear->device.PixelAt(2, 2), GradientPixel(0, 1));

    auto opaque = DrawScenarioNamed("MagentaOpaque");
    EXPECT_EQ(opaque->device.PixelAt(2, 3), (Rgb{255, 0, 255}));
}

TEST(VxImageDraw, PaletteOpacitiesAndTheTransparentIndex)
{
    auto drawn = DrawScenarioNamed("PaletteOpacities"); // indices 0, 1, 2 at (4..6, 4)
    EXPECT_EQ(drawn->device.PixelAt(4, 4), Background(4, 4)) << "the transparent index";
    // a = (255 * 65) >> 8 = 64 over (20, 16, 100): (200*64 + 20*191) >> 8 and so on.
    EXPECT_EQ(drawn->device.PixelAt(5, 4), (Rgb{64, 36, 74}));
    EXPECT_EQ(drawn->device.PixelAt(6, 4), Background(6, 4)) << "opacity 0";
}

TEST(VxImageDraw, PalettePicturesAtTheirOwnSizeShowTheirColours)
{
    auto drawn = DrawScenarioNamed("FourBitPaletteOwnSize"); // 7 x 3 at (6, 5)
    // Device (8, 5) is image (2, 2), index (2 + 10) & 15 = 12.
    EXPECT_EQ(drawn->device.PixelAt(8, 5), (Rgb{192, 159, 36}));
    EXPECT_EQ(drawn->device.PixelAt(12, 7), (Rgb{96, 207, 18})) << "image (6, 0), index 6";
}

TEST(VxImageDraw, SmoothShrinkAveragesWhereTheNearestPixelWouldNot)
{
    auto drawn = DrawScenarioNamed("SmoothShrinkOfACheckerboard");
    for (std::int32_t y = 3; y < 18; y += 5)
        for (std::int32_t x = 3; x < 18; x += 5) {
            const Rgb pixel = drawn->device.PixelAt(x, y);
            EXPECT_NEAR(pixel.green, 128, 8) << x << "," << y;
        }
    auto enlarged = DrawScenarioNamed("SmoothEnlarge");
    // Red grows by 7 per image column: interpolation passes through the values between.
    std::int32_t previous = -1;
    bool between = false;
    for (std::int32_t c = 30; c < 46; ++c) {
        const std::int32_t red = enlarged->device.PixelAt(c, 9).red;
        EXPECT_GE(red, previous);
        between = between || (red % 7 != 1);
        previous = red;
    }
    EXPECT_TRUE(between);
}

TEST(VxImageDraw, NothingToDoLeavesTheDeviceAlone)
{
    auto picture = Gradient(4, 4);
    VxImage empty;
    auto disabled = Gradient(4, 4);
    disabled->Info().drawEnabled = false;
    struct Case {
        const char* what;
        VxImage* image;
        std::int32_t cx, cy;
        bool refuseSave;
        std::int32_t result;
        RECT clip;
    };
    const Case cases[] = {
        {"no pixels", &empty, 4, 4, false, 0, {0, 0, 56, 52}},
        {"zero width", picture.get(), 0, 4, false, 0, {0, 0, 56, 52}},
        {"zero height", picture.get(), 4, 0, false, 0, {0, 0, 56, 52}},
        {"drawing disabled", disabled.get(), 4, 4, false, 0, {0, 0, 56, 52}},
        {"no state saved", picture.get(), 4, 4, true, 0, {0, 0, 56, 52}},
        {"clip outside the target", picture.get(), 4, 4, false, 1, {30, 30, 40, 40}},
        {"empty clip", picture.get(), 4, 4, false, 1, {5, 5, 5, 9}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        vx::MemoryDrawDevice device(kDeviceWidth, kDeviceHeight, Rgb{});
        PaintBackground(device);
        device.RefuseSave(c.refuseSave);
        EXPECT_EQ(c.image->Draw(&device, 2, 2, c.cx, c.cy, &c.clip, true), c.result);
        ExpectBackgroundOutside(device, RECT{0, 0, 0, 0});
        EXPECT_EQ(device.SavedStates(), 0u);
        EXPECT_EQ(device.ClipBox().right, kDeviceWidth);
    }
    EXPECT_EQ(picture->Draw(nullptr, 0, 0, 4, 4), 0);

    // A rectangle overload with its right and bottom edges.
    vx::MemoryDrawDevice device(8, 8, Rgb{});
    EXPECT_EQ(picture->Draw(&device, RECT{2, 2, 6, 6}), 1);
    EXPECT_EQ(device.PixelAt(2, 2), GradientPixel(0, 3));
    EXPECT_EQ(device.PixelAt(6, 6), Rgb{});
}

} // namespace
