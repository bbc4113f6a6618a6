// Draw onto the in-memory device: each path's pixels against known values (own size, clipping,
// 100 -> 50 sampling, opacity, magenta and palette transparency, smooth sampling), the refusals
// that must leave the device alone, and the state restored after.
#include "tests/image/DrawScenarios.h"

#include <gtest/gtest.h>

#include <iterator>

namespace {

using vx::Rgb;
using namespace vx::test;

// Every pixel outside [left, right) x [top, bottom) still shows the background.
void ExpectBackgroundOutside(const vx::MemoryDrawDevice& device, RECT drawn)
{
    for (std::int32_t y = 0; y < device.Height(); ++y)
        for (std::int32_t x = 0; x < device.Width(); ++x)
            if (x < drawn.left || x >= drawn.right || y < drawn.top || y >= drawn.bottom) {
                ASSERT_EQ(device.PixelAt(x, y), Background(x, y)) << x << "," << y;
            }
}

struct Probe {
    std::int32_t x, y;
    Rgb colour;
};

TEST(VxImageDraw, EachCaseShowsItsPixelsWithinItsRectangle)
{
    const auto G = GradientPixel;
    const auto B = Background;
    const struct {
        const char* scenario;
        RECT drawn;
        std::vector<Probe> probes;
    } cases[] = {
        // Device row 2 is the image's top row (3), device row 5 its bottom row.
        {"OwnSize", {3, 2, 8, 6}, {{3, 2, G(0, 3)}, {7, 5, G(4, 0)}, {4, 4, G(1, 1)}}},
        {"OwnSizeClipped", {5, 3, 7, 6}, {{5, 3, G(2, 2)}, {6, 5, G(3, 0)}}}, // clip 5..7 x 3..9
        // Device (c, r) shows image column 2c and row 98 - 2r.
        {"HalfSize", {0, 0, 50, 50}, {{1, 0, {2, 98, 50}}, {49, 0, {98, 98, 50}}, {25, 49, {50, 0, 50}}}},
        // The stretch path within 10..30 x 10..20: column 2(c - 2) and row 100 - 2(r + 1 - 1).
        {"HalfSizeClipped", {10, 10, 30, 20}, {{10, 10, {16, 80, 50}}, {29, 19, {54, 62, 50}}}},
        // 9 x 7 into 18 x 14 at (-4, 48): (0, 48) has fx = 4 x 0.5 and fy = 7 - 0.5.
        {"PartlyOffTheDevice", {0, 48, 14, 52}, {{0, 48, G(2, 6)}, {13, 51, G(8, 5)}}},
        // a = (255 x 129) >> 8 = 128: (colour x 128 + background x 127) >> 8 per channel.
        {"Opacity128", {1, 1, 5, 4}, {{1, 1, {101, 51, 49}}, {4, 3, {107, 55, 49}}}},
        {"Opacity128WithoutAlphaPlane", {1, 1, 5, 4}, {{2, 2, {200, 100, 0}}}},
        {"MagentaTransparent", {2, 2, 5, 4}, {{2, 3, B(2, 3)}, {4, 2, B(4, 2)}, {3, 3, G(1, 0)}, {2, 2, G(0, 1)}}},
        {"MagentaOpaque", {2, 2, 5, 4}, {{2, 3, {255, 0, 255}}}},
        // The transparent index, a = (255 x 65) >> 8 = 64 over (20, 16, 100), opacity 0.
        {"PaletteOpacities", {4, 4, 7, 5}, {{4, 4, B(4, 4)}, {5, 4, {64, 36, 74}}, {6, 4, B(6, 4)}}},
        // Device (8, 5) is image (2, 2), index (2 + 10) & 15 = 12; (12, 7) image (6, 0), index 6.
        {"FourBitPaletteOwnSize", {6, 5, 13, 8}, {{8, 5, {192, 159, 36}}, {12, 7, {96, 207, 18}}}},
        {"StretchedAlphaRamp", {5, 3, 20, 13}, {}},
        // Smoothing: a checkerboard halved is grey where the nearest pixel would be black or
        // white; enlarged, red 2 and 13 lie between the columns' 1, 8 and 15; the corner stays.
        {"SmoothShrinkOfACheckerboard", {1, 1, 21, 21}, {{1, 1, {127, 127, 127}}, {20, 20, {127, 127, 127}}}},
        {"SmoothEnlarge", {30, 2, 46, 18}, {{31, 9, {2, 9, 5}}, {37, 9, {13, 9, 9}}, {45, 17, {22, 2, 9}}}},
    };
    ASSERT_EQ(std::size(cases), DrawScenarios().size()); // one row per shared case, in their order
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const auto& c = cases[i];
        SCOPED_TRACE(c.scenario);
        ASSERT_STREQ(DrawScenarios()[i].name, c.scenario);
        const auto device = BackgroundDevice();
        EXPECT_EQ(DrawScenarios()[i].DrawOn(*device), 1);
        EXPECT_EQ(device->SavedStates(), 0u);
        EXPECT_EQ(device->ClipBox().right, kDeviceWidth) << "the device's own clip is back";
        for (const Probe& probe : c.probes)
            EXPECT_EQ(device->PixelAt(probe.x, probe.y), probe.colour) << probe.x << "," << probe.y;
        ExpectBackgroundOutside(*device, c.drawn);
    }
}

TEST(VxImageDraw, NothingToDoLeavesTheDeviceAlone)
{
    auto picture = Gradient(4, 4), disabled = Gradient(4, 4);
    VxImage empty;
    disabled->Info().drawEnabled = false;
    const struct {
        const char* what;
        VxImage* image;
        std::int32_t cx, cy;
        bool refuseSave;
        std::int32_t result;
        RECT clip;
    } cases[] = {
        {"no pixels", &empty, 4, 4, false, 0, {0, 0, 56, 52}},
        {"zero width", picture.get(), 0, 4, false, 0, {0, 0, 56, 52}},
        {"drawing disabled", disabled.get(), 4, 4, false, 0, {0, 0, 56, 52}},
        {"no state saved", picture.get(), 4, 4, true, 0, {0, 0, 56, 52}},
        {"empty clip", picture.get(), 4, 4, false, 1, {5, 5, 5, 9}}, // as one beside the picture
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto device = BackgroundDevice();
        device->RefuseSave(c.refuseSave);
        EXPECT_EQ(c.image->Draw(device.get(), 2, 2, c.cx, c.cy, &c.clip, true), c.result);
        ExpectBackgroundOutside(*device, RECT{0, 0, 0, 0});
        EXPECT_EQ(device->SavedStates(), 0u);
        EXPECT_EQ(device->ClipBox().right, kDeviceWidth);
    }
    EXPECT_EQ(picture->Draw(nullptr, 0, 0, 4, 4), 0);

    // A rectangle overload with its right and bottom edges.
    vx::MemoryDrawDevice device(8, 8, Rgb{});
    EXPECT_EQ(picture->Draw(&device, RECT{2, 2, 6, 6}), 1);
    EXPECT_EQ(device.PixelAt(2, 2), GradientPixel(0, 3));
    EXPECT_EQ(device.PixelAt(6, 6), Rgb{});
}

} // namespace
