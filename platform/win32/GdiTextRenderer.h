// TextRenderer over GDI: a memory DC compatible with the given device (or the screen), the
// font from CreateFontIndirectW (DEFAULT_GUI_FONT when that fails), DrawTextW to measure and
// to draw white on black into a 24-bit DIB section, GetDIBits to hand the pixels over.
#pragma once

#include "platform/TextRenderer.h"

namespace vx {

class GdiTextRenderer : public TextRenderer {
public:
    // Null when there is no device context to start from or no memory DC can be made.
    std::unique_ptr<TextSurface> Open(HDC device, const LOGFONTW& font) override;
};

} // namespace vx
