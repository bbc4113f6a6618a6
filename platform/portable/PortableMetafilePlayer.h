// Our own metafile player: it reads Windows and enhanced metafile records itself and draws them
// with Anti-Grain Geometry's scanline rasteriser, text through a TextRenderer. It plays pictures
// the way GDI's PlayEnhMetaFile does after SetWinMetaFileBits: the picture frame is stretched
// over the whole target. Used on every platform without GDI, and beside GDI in the Windows
// tests that compare the two.
#pragma once

#include "platform/MetafilePlayer.h"
#include "platform/TextRenderer.h"

namespace vx {

class PortableMetafilePlayer : public MetafilePlayer {
public:
    // A screen of 96 x 96 pixels per inch with a white window colour, like a default desktop.
    explicit PortableMetafilePlayer(TextRenderer& text);

    MetafileScreen Screen() override;
    std::unique_ptr<PlayableMetafile> OpenWindowsMetafile(const std::uint8_t* bytes, std::size_t size) override;
    std::unique_ptr<PlayableMetafile> OpenEnhancedMetafile(const std::uint8_t* bytes, std::size_t size) override;

private:
    TextRenderer& m_text;
};

} // namespace vx
