// Pictures the benchmarks work on, generated so that every run sees the same pixels.
#pragma once

#include "image/VxImage.h"

#include <algorithm>
#include <cstdint>

namespace vx::bench {

// Sky-like gradients, a textured lower half and sensor noise.
inline void FillPhoto(VxImage& image)
{
    std::uint32_t state = 1;
    const int w = image.Width();
    const int h = image.Height();
    for (int y = 0; y < h; ++y) {
        std::uint8_t* row = image.RowAddress(static_cast<std::uint32_t>(y));
        for (int x = 0; x < w; ++x) {
            state = state * 1664525u + 1013904223u;
            const int noise = static_cast<int>(state >> 29) - 4;
            const int texture = y < h / 2 ? ((x * 7 + y * 3) % 23) * 3 : 0;
            const int v[3] = {140 + 100 * y / h + texture, 90 + 80 * x / w + texture / 2, 60 + texture};
            for (int c = 0; c < 3; ++c)
                row[3 * x + c] = static_cast<std::uint8_t>(std::clamp(v[c] + noise, 0, 255));
        }
    }
}

} // namespace vx::bench
