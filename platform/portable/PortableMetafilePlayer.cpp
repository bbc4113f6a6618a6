#include "platform/portable/PortableMetafilePlayer.h"

#include "platform/portable/EmfPlayback.h"
#include "platform/portable/MetafileCanvas.h"
#include "platform/portable/MetafileDevice.h"
#include "platform/MetafileRecords.h"
#include "platform/portable/WmfPlayback.h"

#include <cmath>
#include <vector>

namespace vx {

namespace {

using metafile::Affine;
using metafile::ByteView;
using metafile::PointF;

// The screen at 96 pixels per inch.
constexpr double screenPixelsPerMillimetre = 96.0 / 25.4;

class PortableMetafile : public PlayableMetafile {
public:
    PortableMetafile(std::vector<std::uint8_t> bytes, RECT bounds, TextRenderer& text)
        : m_bytes(std::move(bytes)), m_bounds(bounds), m_text(text)
    {}

    RECT Bounds() const override { return m_bounds; }

    bool Play(const Rgb24Bitmap& target, COLORREF background, const DibDecoder& dibs) override
    {
        if (!target.bits || target.width <= 0 || target.height <= 0 ||
            target.stride < 3 * static_cast<std::uint32_t>(target.width))
            return false;
        metafile::MetafileCanvas canvas(target);
        canvas.Fill(background & 0xFFFFFF);
        PlayRecords(canvas, dibs);
        return true;
    }

protected:
    ByteView Data() const { return ByteView(m_bytes.data(), m_bytes.size()); }
    TextRenderer& Renderer() const { return m_text; }
    virtual void PlayRecords(metafile::MetafileCanvas& canvas, const DibDecoder& dibs) = 0;

private:
    std::vector<std::uint8_t> m_bytes;
    RECT m_bounds;
    TextRenderer& m_text;
};

// The reference device a Windows metafile is converted for: a 1024 x 768 screen at 96 pixels
// per inch, whose size GDI gives in whole millimetres (271 x 203): its pixels per millimetre.
PointF ConversionPixelsPerMillimetre()
{
    const auto perMillimetre = [](double pixels) { return pixels / std::round(pixels / screenPixelsPerMillimetre); };
    return {perMillimetre(1024), perMillimetre(768)};
}

// The conversion's picture frame: 10000 x 10000 hundredths of a millimetre.
constexpr double windowsFrameMillimetres = 100.0;

// Played as the enhanced metafile SetWinMetaFileBits makes of it: a frame of 100 x 100 mm on
// the reference device, the metafile drawn into it in MM_ANISOTROPIC with a viewport of the
// frame's size in whole pixels, so that its window fills the frame give or take that rounding;
// the frame is then stretched over the target. Its text is recorded and played in compatible
// graphics mode.
class PortableWindowsMetafile : public PortableMetafile {
public:
    PortableWindowsMetafile(std::vector<std::uint8_t> bytes, const metafile::WmfHeader& header, TextRenderer& text)
        : PortableMetafile(std::move(bytes), FrameBounds(), text), m_header(header)
    {}

    static RECT FrameBounds()
    {
        const PointF viewport = Viewport();
        return RECT{0, 0, static_cast<LONG>(viewport.x), static_cast<LONG>(viewport.y)};
    }

private:
    // The frame in the reference device's pixels, and as the whole-pixel viewport the conversion sets.
    static PointF Frame()
    {
        const PointF perMillimetre = ConversionPixelsPerMillimetre();
        return {windowsFrameMillimetres * perMillimetre.x, windowsFrameMillimetres * perMillimetre.y};
    }
    static PointF Viewport() { return {std::round(Frame().x), std::round(Frame().y)}; }

    void PlayRecords(metafile::MetafileCanvas& canvas, const DibDecoder& dibs) override
    {
        const PointF frame = Frame(), viewport = Viewport();
        const Affine toTarget{canvas.Width() / frame.x, 0, 0, canvas.Height() / frame.y, 0, 0};
        metafile::MetafileDevice device(canvas, Renderer(), dibs, toTarget, ConversionPixelsPerMillimetre());
        device.SetMapMode(metafile::mmAnisotropic);
        device.SetViewportExt(viewport.x, viewport.y);
        device.SetWindowExt(viewport.x, viewport.y);
        device.SetCompatibleFontScaling(true);
        metafile::PlayWindowsMetafile(Data(), m_header, device);
    }

    metafile::WmfHeader m_header;
};

// Played as PlayEnhMetaFile does: the picture frame (hundredths of a millimetre, converted to
// the reference device's pixels) is mapped onto the target.
class PortableEnhancedMetafile : public PortableMetafile {
public:
    PortableEnhancedMetafile(std::vector<std::uint8_t> bytes, const metafile::EmfHeader& header, TextRenderer& text)
        : PortableMetafile(std::move(bytes), header.bounds, text), m_header(header)
    {}

private:
    void PlayRecords(metafile::MetafileCanvas& canvas, const DibDecoder& dibs) override
    {
        const metafile::EmfHeader& h = m_header;
        PointF perMillimetre{screenPixelsPerMillimetre, screenPixelsPerMillimetre};
        if (h.deviceWidth > 0 && h.deviceHeight > 0 && h.millimetresWidth > 0 && h.millimetresHeight > 0)
            perMillimetre = {double(h.deviceWidth) / h.millimetresWidth, double(h.deviceHeight) / h.millimetresHeight};
        double left = h.frame.left / 100.0 * perMillimetre.x, right = h.frame.right / 100.0 * perMillimetre.x;
        double top = h.frame.top / 100.0 * perMillimetre.y, bottom = h.frame.bottom / 100.0 * perMillimetre.y;
        if (!(right > left) || !(bottom > top)) { // no usable frame: the bounds instead
            left = h.bounds.left, right = h.bounds.right + 1.0;
            top = h.bounds.top, bottom = h.bounds.bottom + 1.0;
        }
        if (!(right > left) || !(bottom > top))
            return;
        const double sx = canvas.Width() / (right - left), sy = canvas.Height() / (bottom - top);
        const Affine toTarget{sx, 0, 0, sy, -left * sx, -top * sy};
        metafile::MetafileDevice device(canvas, Renderer(), dibs, toTarget, perMillimetre);
        metafile::PlayEnhancedMetafile(Data(), h, device);
    }

    metafile::EmfHeader m_header;
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
    if (!bytes)
        return nullptr;
    const auto header = metafile::ReadWmfHeader(ByteView(bytes, size));
    if (!header)
        return nullptr;
    return std::make_unique<PortableWindowsMetafile>(std::vector<std::uint8_t>(bytes, bytes + size), *header, m_text);
}

std::unique_ptr<PlayableMetafile> PortableMetafilePlayer::OpenEnhancedMetafile(const std::uint8_t* bytes,
                                                                               std::size_t size)
{
    if (!bytes)
        return nullptr;
    const auto header = metafile::ReadEmfHeader(ByteView(bytes, size));
    if (!header)
        return nullptr;
    return std::make_unique<PortableEnhancedMetafile>(std::vector<std::uint8_t>(bytes, bytes + size), *header, m_text);
}

} // namespace vx
