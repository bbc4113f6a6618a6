// Nearest-pixel sampling as Rescale's mode 1 does it: the scale factor of one axis and the
// source index each destination index takes. Shared with the batch job's streaming path,
// which must pick exactly the rows and columns that Rescale picks.
#pragma once

#include <algorithm>
#include <cstdint>

namespace vx {

// Source size over destination size for one axis. Every source position is derived from this
// float, so every nearest-pixel path must use exactly this value.
inline float ScaleFactor(std::int32_t from, std::int32_t to)
{
    return static_cast<float>(static_cast<double>(from) / to);
}

// Nearest-pixel source index of destination index d: d x scale formed exactly (extended
// precision) and truncated, with no 0.5 offset. Held below `limit`, which only a scale factor
// rounded up on a picture wider than 2^24 pixels could reach.
inline std::int32_t NearestSource(std::int32_t d, float scale, std::int32_t limit)
{
    const auto s = static_cast<std::int32_t>(static_cast<long double>(d) * static_cast<long double>(scale));
    return std::min(s, limit - 1);
}

} // namespace vx
