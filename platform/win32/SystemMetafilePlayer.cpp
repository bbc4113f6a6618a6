// The Windows backend's metafile player: GDI.
#include "platform/win32/GdiMetafilePlayer.h"

namespace vx {

MetafilePlayer& SystemMetafilePlayer()
{
    static GdiMetafilePlayer player;
    return player;
}

} // namespace vx
