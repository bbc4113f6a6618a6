// The portable backend's metafile player: our own record player, text through FreeType.
#include "platform/portable/PortableMetafilePlayer.h"

namespace vx {

MetafilePlayer& SystemMetafilePlayer()
{
    static PortableMetafilePlayer player(SystemTextRenderer());
    return player;
}

} // namespace vx
