// The Windows backend's text engine: GDI.
#include "platform/win32/GdiTextRenderer.h"

namespace vx {

TextRenderer& SystemTextRenderer()
{
    static GdiTextRenderer renderer;
    return renderer;
}

} // namespace vx
