// A caller-owned pixel block laid out as a bottom-up 24-bit DIB, shared by the platform
// seams that hand pixels to and from the image library.
#pragma once

#include <cstdint>

namespace vx {

// A caller-owned 24-bit pixel block laid out as a bottom-up 24-bit DIB: `height` rows, the
// bottom row first, blue, green, red per pixel, each row `stride` bytes long, which must be
// ((24 * width + 31) / 32) * 4 (GDI copies whole DIB rows into it).
struct Rgb24Bitmap {
    std::uint8_t* bits;
    std::int32_t width;
    std::int32_t height;
    std::uint32_t stride;
};

} // namespace vx
