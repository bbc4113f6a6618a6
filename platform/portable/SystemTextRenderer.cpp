// The portable backend's text engine: FreeType, with fontconfig choosing the font files.
#include "platform/portable/FreeTypeTextRenderer.h"

namespace vx {

TextRenderer& SystemTextRenderer()
{
    static FreeTypeTextRenderer renderer(ResolveWithFontconfig);
    return renderer;
}

} // namespace vx
