// ApplyOrientation against the EXIF definition of the eight values, which names the sides of
// the picture as seen where the stored picture's first row and first column lie. Faults
// caught: a quarter turn the wrong way, a transpose about the wrong diagonal, width and
// height or the resolutions left unswapped, bottom-up row order mixed up with top-down.
#include "image/VxImage.h"

#include <gtest/gtest.h>

namespace {

enum Side { Top, Bottom, Left, Right };

struct OrientationCase {
    int orientation;
    Side firstRow;    // where the stored top row is seen
    Side firstColumn; // where the stored left column is seen
};

constexpr OrientationCase kCases[] = {
    {1, Top, Left},  {2, Top, Right},  {3, Bottom, Right}, {4, Bottom, Left},
    {5, Left, Top},  {6, Right, Top},  {7, Right, Bottom}, {8, Left, Bottom},
};

constexpr int kWidth = 3;
constexpr int kHeight = 2;

// Stored pixel (x, y), y from the top: a value no other pixel has.
std::uint8_t Code(int x, int y)
{
    return static_cast<std::uint8_t>(10 * (y + 1) + x + 1);
}

// Pixel (x, y) counted from the top of the picture.
std::uint8_t IndexFromTop(const VxImage& image, int x, int y)
{
    return image.PixelIndex(x, image.Height() - 1 - y);
}

void Fill(VxImage& image)
{
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const std::uint8_t code = Code(x, y);
            if (image.BitsPerPixel() == 24)
                image.SetPixelColour(x, kHeight - 1 - y, RGBQUAD{code, code, code, 0});
            else
                image.SetPixelIndex(x, kHeight - 1 - y, code);
        }
    }
}

std::uint8_t SeenAt(const VxImage& image, int x, int y)
{
    return image.BitsPerPixel() == 24 ? image.PixelColour(x, image.Height() - 1 - y).rgbBlue : IndexFromTop(image, x, y);
}

TEST(VxImageOrientation, EveryValuePutsTheStoredRowAndColumnOnTheSidesItNames)
{
    for (const int depth : {8, 24}) {
        for (const OrientationCase& c : kCases) {
            SCOPED_TRACE("orientation " + std::to_string(c.orientation) + ", " + std::to_string(depth) + " bits");
            VxImage image(kWidth, kHeight, static_cast<std::uint32_t>(depth), kVxTypeJpg);
            if (depth == 8)
                image.SetGreyPalette();
            image.SetXDpi(300);
            image.SetYDpi(72);
            Fill(image);
            ASSERT_TRUE(image.ApplyOrientation(c.orientation));

            const bool onSide = c.firstRow == Left || c.firstRow == Right;
            ASSERT_EQ(image.Width(), onSide ? kHeight : kWidth);
            ASSERT_EQ(image.Height(), onSide ? kWidth : kHeight);
            EXPECT_EQ(image.XDpi(), onSide ? 72 : 300);
            for (int y = 0; y < kHeight; ++y) {
                for (int x = 0; x < kWidth; ++x) {
                    // Distance of the stored row from its side, of the stored column from its side.
                    const int rowAt = (c.firstRow == Top || c.firstRow == Left) ? y : kHeight - 1 - y;
                    const int columnAt = (c.firstColumn == Top || c.firstColumn == Left) ? x : kWidth - 1 - x;
                    const int seenX = onSide ? rowAt : columnAt;
                    const int seenY = onSide ? columnAt : rowAt;
                    EXPECT_EQ(SeenAt(image, seenX, seenY), Code(x, y)) << "stored pixel " << x << "," << y;
                }
            }
        }
    }
}

} // namespace
