// The text engine the image library draws marks with. A surface holds one font made ready
// for drawing; it measures a text the way DrawTextW with DT_CALCRECT | DT_NOPREFIX does and
// renders it white on black into a caller-owned 24-bit pixel block laid out like a DIB.
// Lines break at CR, LF, CR LF or LF CR. Each platform backend defines SystemTextRenderer().
#pragma once

#include "platform/Rgb24Bitmap.h"
#include "platform/wintypes.h"

#include <cstdint>
#include <memory>
#include <string_view>

namespace vx {

// The DT_CALCRECT result for a rectangle starting at (0, 0): the widest line's width and
// the height of all lines (an empty text still has the height of one line).
struct TextExtent {
    std::int32_t width;
    std::int32_t height;
};

// One font selected into a drawing surface.
class TextSurface {
public:
    virtual ~TextSurface() = default;

    virtual TextExtent Measure(std::u16string_view text) = 0;

    // Sets every pixel of `target` to black, then draws `text` in white into the rectangle
    // (0, 0, boxWidth, boxHeight) measured from the top-left corner of `target`, clipped to
    // that rectangle. `align` is DT_LEFT, DT_CENTER or DT_RIGHT and applies to each line.
    // False when the drawing surface cannot be made (target then left as it was).
    virtual bool Render(std::u16string_view text, std::int32_t boxWidth, std::int32_t boxHeight, UINT align,
                        const Rgb24Bitmap& target) = 0;
};

class TextRenderer {
public:
    virtual ~TextRenderer() = default;

    // Makes `font` ready on a surface compatible with `device` (null: the screen). A font
    // that cannot be created is replaced by the system's default GUI font. Null when no
    // drawing surface can be had at all.
    virtual std::unique_ptr<TextSurface> Open(HDC device, const LOGFONTW& font) = 0;
};

// The renderer of the backend this program was linked with.
TextRenderer& SystemTextRenderer();

} // namespace vx
