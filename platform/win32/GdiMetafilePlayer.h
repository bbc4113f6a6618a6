// MetafilePlayer over GDI: SetWinMetaFileBits / SetEnhMetaFileBits make an enhanced metafile
// handle, PlayEnhMetaFile draws it into a bitmap compatible with the screen (its palette
// realised first), and GetDIBits copies the result out as 24-bit rows.
#pragma once

#include "platform/MetafilePlayer.h"

namespace vx {

class GdiMetafilePlayer : public MetafilePlayer {
public:
    MetafileScreen Screen() override;
    std::unique_ptr<PlayableMetafile> OpenWindowsMetafile(const std::uint8_t* bytes, std::size_t size) override;
    std::unique_ptr<PlayableMetafile> OpenEnhancedMetafile(const std::uint8_t* bytes, std::size_t size) override;
};

} // namespace vx
