// ApplyOrientation against the EXIF definition of the eight values: the sides of the picture
// as seen where the stored first row and first column lie. Catches a quarter turn the wrong
// way, a transpose about the wrong diagonal, sizes or resolutions left unswapped.
#include "image/VxImage.h"

#include <gtest/gtest.h>

namespace {

enum Side { Top, Bottom, Left, Right };

TEST(VxImageOrientation, EveryValuePutsTheStoredRowAndColumnOnTheSidesItNames)
{
    const struct {
        int orientation;
        Side firstRow, firstColumn;
    } cases[] = {{1, Top, Left},  {2, Top, Right},  {3, Bottom, Right}, {4, Bottom, Left},
                 {5, Left, Top},  {6, Right, Top},  {7, Right, Bottom}, {8, Left, Bottom}};
    constexpr int kWidth = 3, kHeight = 2;
    // Stored pixel (x, y from the top) has a level no other pixel has; rows count from the bottom.
    const auto level = [](int x, int y) { return static_cast<BYTE>(40 * y + 10 * x + 10); };
    for (const auto& c : cases) {
        SCOPED_TRACE("orientation " + std::to_string(c.orientation));
        VxImage image(kWidth, kHeight, 24, kVxTypeJpg);
        image.SetXDpi(300);
        image.SetYDpi(72);
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x)
                image.SetPixelColour(x, kHeight - 1 - y, RGBQUAD{level(x, y), 0, 0, 0});
        ASSERT_TRUE(image.ApplyOrientation(c.orientation));

        const bool onSide = c.firstRow == Left || c.firstRow == Right;
        ASSERT_EQ(image.Width(), onSide ? kHeight : kWidth);
        ASSERT_EQ(image.Height(), onSide ? kWidth : kHeight);
        EXPECT_EQ(image.XDpi(), onSide ? 72 : 300);
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                // How far the stored row lies from its side, and the stored column from its side.
                const int rowAt = (c.firstRow == Top || c.firstRow == Left) ? y : kHeight - 1 - y;
                const int columnAt = (c.firstColumn == Top || c.firstColumn == Left) ? x : kWidth - 1 - x;
                const int seenX = onSide ? rowAt : columnAt;
                const int seenY = onSide ? columnAt : rowAt;
                EXPECT_EQ(image.PixelColour(seenX, image.Height() - 1 - seenY).rgbBlue, level(x, y)) << x << "," << y;
            }
        }
    }
}

} // namespace
