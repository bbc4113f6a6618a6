// Draw: paints the image into a rectangle of a drawing device, stretched or not, honouring
// the device's clipping, the transparent colour or index, the alpha plane, palette opacities
// and the global opacity (alphaMax). An opaque picture at its own size goes to the device in
// one call; everything else is worked out in a 24-bit block that covers only the visible part
// of the target and is shown in one call, blended over the pixels already there.
#include "image/VxImage.h"

#include "platform/DrawDevice.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <new>

namespace {

std::int64_t Clamp(std::int64_t value, std::int64_t low, std::int64_t high)
{
    return std::max(low, std::min(value, high));
}

bool SameQuad(RGBQUAD a, RGBQUAD b)
{
    return a.rgbBlue == b.rgbBlue && a.rgbGreen == b.rgbGreen && a.rgbRed == b.rgbRed && a.rgbReserved == b.rgbReserved;
}

} // namespace

std::int32_t VxImage::Draw(vx::DrawDevice* device, const RECT& rect, const RECT* clip, bool smooth)
{
    return Draw(device, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, clip, smooth);
}

std::int32_t VxImage::Draw(vx::DrawDevice* device, std::int32_t x, std::int32_t y, std::int32_t cx, std::int32_t cy,
                           const RECT* clip, bool smooth)
{
    if (!dib || !device || cx == 0 || cy == 0 || !info.drawEnabled)
        return 0;
    const std::int32_t width = Width();
    const std::int32_t height = Height();
    if (cx < 0)
        cx = width;
    if (cy < 0)
        cy = height;
    if (!device->SaveState())
        return 0;
    if (clip)
        device->IntersectClip(*clip);

    // Only what the clip box leaves visible of the target is worked on.
    const RECT box = device->ClipBox();
    const std::int64_t left = Clamp(x, box.left, box.right);
    const std::int64_t top = Clamp(y, box.top, box.bottom);
    const std::int64_t right = Clamp(static_cast<std::int64_t>(x) + cx, left, box.right);
    const std::int64_t bottom = Clamp(static_cast<std::int64_t>(y) + cy, top, box.bottom);
    const auto w = static_cast<std::int32_t>(right - left);
    const auto h = static_cast<std::int32_t>(bottom - top);

    const bool blending = IsTransparent() || alpha || info.paletteAlpha;
    const bool stretched = cx != width || cy != height;
    if (w > 0 && h > 0) {
        if (!blending && !stretched)
            device->ShowDib(x, y, *reinterpret_cast<const BITMAPINFOHEADER*>(dib), info.bits);
        else
            PaintThroughBlock(*device, RECT{static_cast<LONG>(left), static_cast<LONG>(top), static_cast<LONG>(right),
                                            static_cast<LONG>(bottom)},
                              x, y, cx, cy, blending, smooth && stretched);
    }
    device->RestoreState();
    return 1;
}

void VxImage::PaintThroughBlock(vx::DrawDevice& device, const RECT& area, std::int32_t x, std::int32_t y,
                                std::int32_t cx, std::int32_t cy, bool blending, bool smooth)
{
    const std::int32_t w = area.right - area.left;
    const std::int32_t h = area.bottom - area.top;
    const std::uint32_t stride = (24u * static_cast<std::uint32_t>(w) + 31) / 32 * 4;
    const std::uint64_t size = static_cast<std::uint64_t>(stride) * static_cast<std::uint64_t>(h);
    std::unique_ptr<std::uint8_t[]> bits(size <= VXIMAGE_MAX_MEMORY ? new (std::nothrow) std::uint8_t[size]() : nullptr);
    if (!bits) {
        SetLastError("Draw: no memory for the visible area");
        return;
    }
    const vx::Rgb24Bitmap block{bits.get(), w, h, stride};
    // Blending happens over what the device shows already.
    if (blending && !device.ReadPixels(area, block)) {
        SetLastError("Draw: the device's pixels cannot be read");
        return;
    }

    const std::int32_t width = Width();
    const std::int32_t height = Height();
    const bool stretched = cx != width || cy != height;
    const float xScale = static_cast<float>(width) / static_cast<float>(cx);
    const float yScale = static_cast<float>(height) / static_cast<float>(cy);
    const bool palette = header.biBitCount < 24;
    const std::uint32_t opacity = info.alphaMax + 1u;

    for (std::int32_t k = 0; k < h; ++k) {
        // Block row k (0 = bottom) shows device row r.
        const std::int32_t r = area.bottom - 1 - k;
        std::uint8_t* out = bits.get() + static_cast<std::size_t>(k) * stride;
        for (std::int32_t c = area.left; c < area.right; ++c, out += 3) {
            std::int32_t ix;
            std::int32_t iy;
            float fx = 0;
            float fy = 0;
            if (stretched) {
                fx = static_cast<float>(c - x) * xScale;
                fy = static_cast<float>(height) - static_cast<float>(r + 1 - y) * yScale;
                ix = std::min(width - 1, std::max(0, static_cast<std::int32_t>(std::floor(fx))));
                iy = std::min(height - 1, std::max(0, static_cast<std::int32_t>(std::floor(fy))));
            } else {
                ix = c - x;
                iy = height - 1 - (r - y);
            }

            std::uint8_t index = 0;
            RGBQUAD colour;
            if (smooth) {
                colour = xScale > 1 && yScale > 1
                             ? AreaColour(fx, fy - 0.5f, xScale, yScale, kInterpBilinear, kOverflowRepeat)
                             : InterpolatedColour(fx, fy - 0.5f, kInterpBilinear, kOverflowRepeat);
                if (palette)
                    index = PixelIndexUnchecked(ix, iy);
            } else if (palette) {
                index = PixelIndexUnchecked(ix, iy);
                colour = PaletteEntry(index);
            } else {
                const std::uint8_t* pixel = PixelAddress24(ix, iy);
                colour = RGBQUAD{pixel[0], pixel[1], pixel[2], 0};
            }

            if (!blending) {
                out[0] = colour.rgbBlue;
                out[1] = colour.rgbGreen;
                out[2] = colour.rgbRed;
                continue;
            }
            std::uint32_t a = alpha ? AlphaAtUnchecked(ix, iy) : 255u;
            a = (a * opacity) >> 8;
            if (palette && info.paletteAlpha)
                a = (a * (colour.rgbReserved + 1u)) >> 8;
            if (IsTransparent()) {
                const bool clear = palette ? index == info.transparentIndex : SameQuad(colour, TransparentColour());
                if (clear)
                    continue;
            }
            if (a == 0)
                continue;
            if (a == 255) {
                out[0] = colour.rgbBlue;
                out[1] = colour.rgbGreen;
                out[2] = colour.rgbRed;
            } else {
                out[0] = static_cast<std::uint8_t>((colour.rgbBlue * a + out[0] * (255 - a)) >> 8);
                out[1] = static_cast<std::uint8_t>((colour.rgbGreen * a + out[1] * (255 - a)) >> 8);
                out[2] = static_cast<std::uint8_t>((colour.rgbRed * a + out[2] * (255 - a)) >> 8);
            }
        }
    }

    BITMAPINFOHEADER blockHeader{};
    blockHeader.biSize = sizeof(BITMAPINFOHEADER);
    blockHeader.biWidth = w;
    blockHeader.biHeight = h;
    blockHeader.biPlanes = 1;
    blockHeader.biBitCount = 24;
    blockHeader.biCompression = BI_RGB;
    blockHeader.biSizeImage = static_cast<DWORD>(size);
    device.ShowDib(area.left, area.top, blockHeader, bits.get());
}
