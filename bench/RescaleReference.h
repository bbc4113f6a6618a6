// The nearest-pixel rescale written pixel by pixel as it is defined: PixelColour of source
// pixel (truncate(x * xScale), truncate(y * yScale)), products in extended precision, written
// with SetPixelColour; the alpha plane sampled the same way. The row-wise Rescale is checked
// against it in the tests and measured against it in the benchmark.
#pragma once

#include "image/VxImage.h"

#include <cstdint>

namespace vx::reference {

// Builds `result` as `source` rescaled to newWidth x newHeight by nearest pixel.
inline bool NearestRescale(const VxImage& source, std::int32_t newWidth, std::int32_t newHeight, VxImage& result)
{
    const float xScale = static_cast<float>(static_cast<double>(source.Width()) / newWidth);
    const float yScale = static_cast<float>(static_cast<double>(source.Height()) / newHeight);
    if (!result.Create(static_cast<std::uint32_t>(newWidth), static_cast<std::uint32_t>(newHeight),
                       source.BitsPerPixel(), source.ImageType()))
        return false;
    result.SetPalette(source.PaletteAddress(), 256);
    if (source.HasAlpha() && !result.CreateAlpha())
        return false;
    for (std::int32_t y = 0; y < newHeight; ++y) {
        const auto sy = static_cast<std::int32_t>(static_cast<long double>(y) * yScale);
        for (std::int32_t x = 0; x < newWidth; ++x) {
            const auto sx = static_cast<std::int32_t>(static_cast<long double>(x) * xScale);
            result.SetPixelColour(x, y, source.PixelColour(sx, sy, true), false);
            if (source.HasAlpha())
                result.SetAlphaAt(x, y, source.AlphaAt(sx, sy));
        }
    }
    return true;
}

} // namespace vx::reference
