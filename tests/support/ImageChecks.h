// What the image-library suites share to build and compare small pictures: colours in reading
// order, an exact colour comparison that prints both sides, pseudo-random pixel bytes, and a
// picture's rows, indices and selection box as plain vectors for one-line comparisons.
#pragma once

#include "image/VxImage.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace vx::test {

inline RGBQUAD Rgb(std::uint8_t r, std::uint8_t g, std::uint8_t b, std::uint8_t fourth = 0)
{
    return RGBQUAD{b, g, r, fourth};
}

// All four bytes equal.
inline ::testing::AssertionResult SameQuad(RGBQUAD a, RGBQUAD b)
{
    if (std::memcmp(&a, &b, sizeof(a)) == 0)
        return ::testing::AssertionSuccess();
    const auto text = [](RGBQUAD c) {
        return std::to_string(c.rgbRed) + "," + std::to_string(c.rgbGreen) + "," + std::to_string(c.rgbBlue) + "," +
               std::to_string(c.rgbReserved);
    };
    return ::testing::AssertionFailure() << "rgb+4th " << text(a) << " vs " << text(b);
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
