// What the image-library suites share to build and compare small pictures: an image whose
// protected buffers tests can fill, colours in reading order, an exact colour comparison that
// prints both sides, pseudo-random pixel bytes, pixel walks and fills, and a picture's rows,
// indices and selection box as plain vectors.
#pragma once

#include "image/VxImage.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace vx::test {

// Reaches the protected buffers, so tests can install planes, frames and a selection as a
// codec or an editor would.
class TestImage : public VxImage {
public:
    using VxImage::VxImage;
    BITMAPINFOHEADER& MutableHeader() { return header; }
    std::uint8_t*& Selection() { return selection; }
    std::uint8_t*& Alpha() { return alpha; }
    VxImage**& Frames() { return frames; }

    void InstallPlanes(std::uint8_t selectionFill, std::uint8_t alphaFill)
    {
        const std::size_t size = std::size_t(Width()) * std::size_t(Height());
        selection = static_cast<std::uint8_t*>(std::malloc(size));
        alpha = static_cast<std::uint8_t*>(std::malloc(size));
        std::memset(selection, selectionFill, size);
        std::memset(alpha, alphaFill, size);
    }
    void InstallFrames(int count)
    {
        frames = new VxImage*[count];
        for (int i = 0; i < count; ++i)
            frames[i] = new VxImage(2, 2, 8, kVxTypeGif);
        info.frameCount = count;
    }
    // A mask that selects the given pixels only, with the given box.
    void Select(const std::vector<std::pair<int, int>>& pixels, std::int32_t left, std::int32_t top,
                std::int32_t right, std::int32_t bottom)
    {
        FreeSelectionPlane();
        selection = static_cast<std::uint8_t*>(std::calloc(std::size_t(Width()) * Height(), 1));
        for (auto [x, y] : pixels)
            selection[y * Width() + x] = 1;
        info.selectionBox = {left, top, right, bottom};
    }
};

inline RGBQUAD Rgb(std::uint8_t r, std::uint8_t g, std::uint8_t b, std::uint8_t fourth = 0)
{
    return RGBQUAD{b, g, r, fourth};
}

// All four bytes equal.
inline ::testing::AssertionResult SameQuad(RGBQUAD a, RGBQUAD b)
{
    if (std::memcmp(&a, &b, sizeof(a)) == 0)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "rgb+4th " << +a.rgbRed << "," << +a.rgbGreen << "," << +a.rgbBlue << ","
                                         << +a.rgbReserved << " vs " << +b.rgbRed << "," << +b.rgbGreen << ","
                                         << +b.rgbBlue << "," << +b.rgbReserved;
}

// Red, green and blue equal; the fourth byte is not compared.
inline ::testing::AssertionResult SameColour(RGBQUAD a, RGBQUAD b)
{
    a.rgbReserved = b.rgbReserved = 0;
    return SameQuad(a, b);
}

// Every byte of the pixel rows, padding included.
inline std::vector<std::uint8_t> PixelBytes(const VxImage& image)
{
    const std::uint8_t* bits = image.RowAddress(0);
    return {bits, bits + std::size_t{image.RowStride()} * image.Height()};
}

// Pseudo-random bytes over all pixel rows, padding included, the same for a given seed.
inline void FillNoise(VxImage& image, std::uint32_t seed)
{
    std::uint8_t* bits = image.RowAddress(0);
    for (std::size_t i = 0; i < std::size_t{image.RowStride()} * image.Height(); ++i) {
        seed = seed * 1664525u + 1013904223u;
        bits[i] = static_cast<std::uint8_t>(seed >> 24);
    }
}

template <typename Visit>
void ForEachPixel(const VxImage& image, Visit visit)
{
    for (std::int32_t y = 0; y < image.Height(); ++y)
        for (std::int32_t x = 0; x < image.Width(); ++x)
            visit(x, y);
}

// Sets each pixel to colourAt(x, y), or each index to indexAt(x, y).
template <typename ColourAt>
void FillColours(VxImage& image, ColourAt colourAt)
{
    ForEachPixel(image, [&](std::int32_t x, std::int32_t y) { image.SetPixelColour(x, y, colourAt(x, y)); });
}
template <typename IndexAt>
void FillIndices(VxImage& image, IndexAt indexAt)
{
    ForEachPixel(image,
                 [&](std::int32_t x, std::int32_t y) { image.SetPixelIndex(x, y, std::uint8_t(indexAt(x, y))); });
}

// Pixels (indices for palette pictures), palettes and alpha planes are equal.
inline ::testing::AssertionResult SamePixels(const VxImage& a, const VxImage& b)
{
    if (a.Width() != b.Width() || a.Height() != b.Height() || a.BitsPerPixel() != b.BitsPerPixel())
        return ::testing::AssertionFailure() << "geometry differs";
    if (a.HasPalette() && std::memcmp(a.PaletteAddress(), b.PaletteAddress(), a.PaletteSize()) != 0)
        return ::testing::AssertionFailure() << "palettes differ";
    if (a.HasAlpha() != b.HasAlpha())
        return ::testing::AssertionFailure() << "only one has an alpha plane";
    for (std::int32_t y = 0; y < a.Height(); ++y)
        for (std::int32_t x = 0; x < a.Width(); ++x) {
            const bool same = a.HasPalette() ? a.PixelIndex(x, y) == b.PixelIndex(x, y)
                                             : SameQuad(a.PixelColour(x, y, false), b.PixelColour(x, y, false));
            if (!same || (a.HasAlpha() && a.AlphaAt(x, y) != b.AlphaAt(x, y)))
                return ::testing::AssertionFailure() << "pixel or alpha at (" << x << ", " << y << ") differs";
        }
    return ::testing::AssertionSuccess();
}

inline std::vector<int> RowIndices(const VxImage& image, std::int32_t y)
{
    std::vector<int> row;
    for (std::int32_t x = 0; x < image.Width(); ++x)
        row.push_back(image.PixelIndex(x, y));
    return row;
}

inline std::vector<int> SelectionBox(const VxImage& image)
{
    const auto& box = image.Info().selectionBox;
    return {box.left, box.top, box.right, box.bottom};
}

} // namespace vx::test
