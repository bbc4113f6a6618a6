#include "platform/portable/PortableMetafilePlayer.h"

#include "platform/portable/MetafileRecords.h"

#include <cmath>
#include <vector>

namespace vx {

namespace {

using metafile::ByteView;

// The reference device a Windows metafile is converted for: the screen, 96 pixels per inch.
constexpr double screenPixelsPerInch = 96.0;

class PortableMetafile : public PlayableMetafile {
public:
    PortableMetafile(std::vector<std::uint8_t> bytes, RECT bounds, bool enhanced, TextRenderer& text)
        : m_bytes(std::move(bytes)), m_bounds(bounds), m_enhanced(enhanced), m_text(text)
    {
    }

    RECT Bounds() const override { return m_bounds; }

    bool Play(const Rgb24Bitmap& target, COLORREF background, const DibDecoder& /*dibs*/) override
    {
        if (!target.bits || target.width <= 0 || target.height <= 0 ||
            target.stride < 3 * static_cast<std::uint32_t>(target.width))
            return false;
        for (std::int32_t y = 0; y < target.height; ++y) {
            std::uint8_t* row = target.bits + static_cast<std::size_t>(y) * target.stride;
            for (std::int32_t x = 0; x < target.width; ++x) {
                row[3 * x] = GetBValue(background);
                row[3 * x + 1] = GetGValue(background);
                row[3 * x + 2] = GetRValue(background);
            }
        }
        return true;
    }

private:
    std::vector<std::uint8_t> m_bytes;
    RECT m_bounds;
    bool m_enhanced;
    TextRenderer& m_text;
};

} // namespace

PortableMetafilePlayer::PortableMetafilePlayer(TextRenderer& text) : m_text(text) {}

MetafileScreen PortableMetafilePlayer::Screen()
{
    return MetafileScreen{96, 96, RGB(255, 255, 255)};
}

std::unique_ptr<PlayableMetafile> PortableMetafilePlayer::OpenWindowsMetafile(const std::uint8_t* bytes,
                                                                              std::size_t size)
{
    if (!bytes || !metafile::ReadWmfHeader(ByteView(bytes, size)))
        return nullptr;
    // The conversion's picture frame is 10000 x 10000 hundredths of a millimetre: its bounds
    // are that square in the reference device's pixels.
    const auto side = static_cast<LONG>(std::lround(10000 / 2540.0 * screenPixelsPerInch));
    return std::make_unique<PortableMetafile>(std::vector<std::uint8_t>(bytes, bytes + size), RECT{0, 0, side, side},
                                              false, m_text);
}

std::unique_ptr<PlayableMetafile> PortableMetafilePlayer::OpenEnhancedMetafile(const std::uint8_t* bytes,
                                                                               std::size_t size)
{
    if (!bytes)
        return nullptr;
    const auto header = metafile::ReadEmfHeader(ByteView(bytes, size));
    if (!header)
        return nullptr;
    return std::make_unique<PortableMetafile>(std::vector<std::uint8_t>(bytes, bytes + size), header->bounds, true,
                                              m_text);
}

} // namespace vx
