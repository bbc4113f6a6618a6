// DrawTextMark: stamps a TextMark (one or more lines, optional rounded box) onto the image.
// The platform's text engine renders the text white on black into a 24-bit mask, which is
// inverted (and thresholded unless smooth) and then written through SetPixelColour, so the
// result does not depend on the picture's depth. y counts rows from the top of the picture
// and names the row that receives the mask's bottom row.
#include "image/TextMark.h"
#include "image/VxImage.h"
#include "platform/TextRenderer.h"

#include <cmath>

namespace {

constexpr std::size_t kMaxMarkText = sizeof(TextMark::text) / sizeof(TextMark::text[0]);
constexpr float kInverse255 = 0.003921569f;
constexpr double kBorderPerRadius = 0.29289; // 1 - 1/sqrt(2): how far a round corner cuts in
// Marked pixels are opaque when the caller asks for the alpha plane to be written too.
constexpr BYTE kOpaque = 255;

// Fixes the record's out-of-range fields in place, as every later mark will see them.
void NormaliseMark(TextMark& mark)
{
    if (mark.align < 0 || mark.align > 2)
        mark.align = 1;
    if (mark.cornerRadius > 50)
        mark.cornerRadius = 10;
    if (mark.boxOpacity > 1.0f || mark.boxOpacity < 0.0f)
        mark.boxOpacity = 0.0f;
}

std::u16string_view MarkText(const TextMark& mark)
{
    std::size_t length = 0;
    while (length < kMaxMarkText && mark.text[length] != 0)
        ++length;
    return {mark.text, length};
}

// Rows cut off at the top and at the bottom of mask column ix by a corner of radius r.
std::int32_t CornerCut(std::int32_t ix, std::int32_t width, std::int32_t r)
{
    std::int32_t distance;
    if (ix <= r)
        distance = ix - r;
    else if (ix >= width - r - 1)
        distance = width - ix - r - 1;
    else
        return 0;
    return static_cast<std::int32_t>(r + 0.5 -
                                     std::sqrt(static_cast<double>(r) * r - static_cast<double>(distance) * distance));
}

BYTE Mix(BYTE picture, float pictureShare, BYTE other)
{
    return static_cast<BYTE>(picture * pictureShare + other * (1.0f - pictureShare));
}

// The text colour laid over `picture` with coverage 1 - a (a = 0 is a solid glyph pixel).
BYTE Blend(BYTE picture, float a, BYTE text)
{
    return static_cast<BYTE>((static_cast<float>(picture) - text) * a + text);
}

} // namespace

std::int32_t VxImage::DrawTextMark(HDC dc, std::int32_t x, std::int32_t y, TextMark* mark, bool withAlpha)
{
    return DrawTextMark(vx::SystemTextRenderer(), dc, x, y, mark, withAlpha);
}

std::int32_t VxImage::DrawTextMark(vx::TextRenderer& renderer, HDC dc, std::int32_t x, std::int32_t y, TextMark* mark,
                                   bool withAlpha)
{
    if (!dib)
        return -1;
    if (!mark) {
        SetLastError("DrawTextMark: no mark given");
        return 0;
    }
    std::unique_ptr<vx::TextSurface> surface = renderer.Open(dc, mark->font);
    if (!surface)
        return 0;

    const RGBQUAD textColour = ColorRefToQuad(mark->textColour);
    RGBQUAD boxColour = ColorRefToQuad(mark->boxColour);
    boxColour.rgbReserved = kOpaque;
    NormaliseMark(*mark);

    const std::u16string_view text = MarkText(*mark);
    std::int32_t lines = 1;
    for (char16_t c : text)
        lines += c == u'\r';
    const vx::TextExtent extent = surface->Measure(text);
    std::int32_t right = extent.width;
    const std::int32_t bottom = extent.height;
    // A slanted font leans past its advance widths: give the last glyph room.
    if (mark->font.lfItalic)
        right += (bottom / 2) / lines;

    std::int32_t radius = 0;
    std::int32_t border = 0;
    if (mark->boxed) {
        const std::int32_t lineHeight = bottom / lines;
        radius = mark->cornerRadius * lineHeight / 100;
        border = static_cast<std::int32_t>(radius * kBorderPerRadius);
        right += lineHeight / 3;
    }
    const std::int32_t maskWidth = right + 2 * border;
    const std::int32_t maskHeight = bottom + 2 * border;

    // An empty text measures 0 wide: there is nothing to draw.
    VxImage mask;
    if (maskWidth <= 0 || maskHeight <= 0 ||
        !mask.Create(static_cast<std::uint32_t>(maskWidth), static_cast<std::uint32_t>(maskHeight), 24, kVxTypeUnknown))
        return 1;
    const vx::Rgb24Bitmap target{mask.info.bits, maskWidth, maskHeight, mask.info.rowStride};
    if (!surface->Render(text, right, bottom, static_cast<UINT>(mark->align), target))
        return 0;
    surface.reset();

    mask.Invert();
    if (!mark->smooth)
        mask.ThresholdToMono(128);

    // Placement in 64 bits, so that no offset can overflow; pixels outside the picture are
    // skipped (the writes would drop them anyway).
    const std::int64_t ybase = static_cast<std::int64_t>(Height()) - y - 1;
    std::int64_t left = x;
    if (mark->align == 1)
        left -= maskWidth / 2;
    else if (mark->align == 2)
        left -= maskWidth;
    if (left < 0)
        left = 0;
    auto inside = [this](std::int64_t px, std::int64_t py) { return px < Width() && py >= 0 && py < Height(); };

    if (mark->boxed) {
        const float opacity = mark->boxOpacity;
        const bool blended = opacity > 0.0f && opacity < 1.0f;
        for (std::int32_t ix = 0; ix < maskWidth; ++ix) {
            const std::int32_t cut = CornerCut(ix, maskWidth, radius);
            for (std::int32_t iy = cut; iy < maskHeight - cut; ++iy) {
                if (!inside(left + ix, ybase + iy))
                    continue;
                const auto px = static_cast<std::int32_t>(left + ix), py = static_cast<std::int32_t>(ybase + iy);
                RGBQUAD colour = boxColour;
                if (blended) {
                    const RGBQUAD picture = PixelColour(px, py);
                    colour = {Mix(picture.rgbBlue, opacity, boxColour.rgbBlue),
                              Mix(picture.rgbGreen, opacity, boxColour.rgbGreen),
                              Mix(picture.rgbRed, opacity, boxColour.rgbRed), kOpaque};
                }
                SetPixelColour(px, py, colour, withAlpha);
            }
        }
    }

    // The text sits in the mask's top-left corner; the border moves it into the box's middle.
    for (std::int32_t iy = 0; iy < maskHeight; ++iy) {
        for (std::int32_t ix = 0; ix < maskWidth; ++ix) {
            if (!inside(left + ix + border, ybase + iy - border))
                continue;
            const BYTE coverage = mask.PixelColour(ix, iy).rgbBlue;
            if (coverage == 255)
                continue;
            const float a = coverage * kInverse255;
            const auto px = static_cast<std::int32_t>(left + ix + border),
                       py = static_cast<std::int32_t>(ybase + iy - border);
            const RGBQUAD picture = PixelColour(px, py);
            const RGBQUAD colour{Blend(picture.rgbBlue, a, textColour.rgbBlue),
                                 Blend(picture.rgbGreen, a, textColour.rgbGreen),
                                 Blend(picture.rgbRed, a, textColour.rgbRed), kOpaque};
            SetPixelColour(px, py, colour, withAlpha);
        }
    }
    return 1;
}
