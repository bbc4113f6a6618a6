// The in-memory device: clipping by rectangle intersection, reading into and showing from
// bottom-up DIB rows, palette pixels of 1, 4 and 8 bits looked up as GDI does.
#include "platform/portable/MemoryDrawDevice.h"

#include <algorithm>

namespace vx {

namespace {

RECT Intersection(const RECT& a, const RECT& b)
{
    RECT r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right), std::min(a.bottom, b.bottom)};
    if (r.right <= r.left || r.bottom <= r.top)
        return RECT{0, 0, 0, 0};
    return r;
}

bool Contains(const RECT& r, std::int32_t x, std::int32_t y)
{
    return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
}

} // namespace

MemoryDrawDevice::MemoryDrawDevice(std::int32_t width, std::int32_t height, Rgb fill)
    : m_width(std::max(width, 0)), m_height(std::max(height, 0)),
      m_pixels(static_cast<std::size_t>(m_width) * static_cast<std::size_t>(m_height), fill),
      m_clip{0, 0, m_width, m_height}
{
}

Rgb MemoryDrawDevice::PixelAt(std::int32_t x, std::int32_t y) const
{
    if (x < 0 || y < 0 || x >= m_width || y >= m_height)
        return Rgb{};
    return m_pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(m_width) + static_cast<std::size_t>(x)];
}

void MemoryDrawDevice::SetPixel(std::int32_t x, std::int32_t y, Rgb colour)
{
    if (x >= 0 && y >= 0 && x < m_width && y < m_height)
        m_pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(m_width) + static_cast<std::size_t>(x)] = colour;
}

void MemoryDrawDevice::SetClip(const RECT& rect)
{
    m_clip = Intersection(rect, RECT{0, 0, m_width, m_height});
}

bool MemoryDrawDevice::SaveState()
{
    if (m_refuseSave)
        return false;
    m_saved.push_back(m_clip);
    return true;
}

void MemoryDrawDevice::RestoreState()
{
    if (m_saved.empty())
        return;
    m_clip = m_saved.back();
    m_saved.pop_back();
}

void MemoryDrawDevice::IntersectClip(const RECT& rect)
{
    m_clip = Intersection(m_clip, rect);
}

bool MemoryDrawDevice::ReadPixels(const RECT& rect, const Rgb24Bitmap& block)
{
    for (std::int32_t k = 0; k < block.height; ++k) {
        std::uint8_t* out = block.bits + static_cast<std::size_t>(k) * block.stride;
        const std::int32_t y = rect.top + block.height - 1 - k;
        for (std::int32_t i = 0; i < block.width; ++i, out += 3) {
            const Rgb pixel = PixelAt(rect.left + i, y);
            out[0] = pixel.blue;
            out[1] = pixel.green;
            out[2] = pixel.red;
        }
    }
    return true;
}

void MemoryDrawDevice::ShowDib(std::int32_t left, std::int32_t top, const BITMAPINFOHEADER& info,
                               const std::uint8_t* bits)
{
    const int depth = info.biBitCount;
    if (depth != 1 && depth != 4 && depth != 8 && depth != 24)
        return;
    const auto* palette = reinterpret_cast<const RGBQUAD*>(reinterpret_cast<const std::uint8_t*>(&info) + info.biSize);
    const std::uint32_t colours = info.biClrUsed ? info.biClrUsed : (depth < 24 ? 1u << depth : 0u);
    const std::size_t stride = ((static_cast<std::size_t>(info.biWidth) * static_cast<std::size_t>(depth) + 31) / 32) * 4;
    for (std::int32_t row = 0; row < info.biHeight; ++row) {
        const std::uint8_t* line = bits + static_cast<std::size_t>(row) * stride;
        const std::int32_t y = top + info.biHeight - 1 - row;
        for (std::int32_t column = 0; column < info.biWidth; ++column) {
            const std::int32_t x = left + column;
            if (!Contains(m_clip, x, y))
                continue;
            if (depth == 24) {
                const std::uint8_t* p = line + 3 * static_cast<std::size_t>(column);
                SetPixel(x, y, Rgb{p[2], p[1], p[0]});
                continue;
            }
            const int perByte = 8 / depth;
            const int shift = (perByte - 1 - column % perByte) * depth;
            const std::uint32_t index = (line[column / perByte] >> shift) & ((1u << depth) - 1);
            // GDI shows an index past the palette as black.
            const RGBQUAD entry = index < colours ? palette[index] : RGBQUAD{0, 0, 0, 0};
            SetPixel(x, y, Rgb{entry.rgbRed, entry.rgbGreen, entry.rgbBlue});
        }
    }
}

} // namespace vx
