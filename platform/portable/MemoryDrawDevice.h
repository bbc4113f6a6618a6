// MemoryDrawDevice: a drawing device that is a 24-bit surface in memory with a clipping
// rectangle, for platforms without GDI and for tests that read back exactly what was drawn.
// Drawing outside the surface or the clipping rectangle changes nothing.
#pragma once

#include "platform/DrawDevice.h"

#include <cstdint>
#include <vector>

namespace vx {

struct Rgb {
    std::uint8_t red, green, blue;
    bool operator==(const Rgb&) const = default;
};

class MemoryDrawDevice : public DrawDevice {
public:
    // A width x height surface filled with `fill`, clipped to its own bounds.
    MemoryDrawDevice(std::int32_t width, std::int32_t height, Rgb fill);

    std::int32_t Width() const { return m_width; }
    std::int32_t Height() const { return m_height; }
    // The pixel at column x, row y (row 0 at the top).
    Rgb PixelAt(std::int32_t x, std::int32_t y) const;
    void SetPixel(std::int32_t x, std::int32_t y, Rgb colour);
    // Replaces the clipping rectangle (kept within the surface), like a window partly covered.
    void SetClip(const RECT& rect);
    // How many SaveState calls are not yet matched by RestoreState.
    std::size_t SavedStates() const { return m_saved.size(); }
    // Makes SaveState fail, as a device context without room for another state does.
    void RefuseSave(bool refuse) { m_refuseSave = refuse; }

    bool SaveState() override;
    void RestoreState() override;
    void IntersectClip(const RECT& rect) override;
    RECT ClipBox() override { return m_clip; }
    bool ReadPixels(const RECT& rect, const Rgb24Bitmap& block) override;
    void ShowDib(std::int32_t left, std::int32_t top, const BITMAPINFOHEADER& info, const std::uint8_t* bits) override;

private:
    std::int32_t m_width;
    std::int32_t m_height;
    std::vector<Rgb> m_pixels; // rows from the top
    RECT m_clip;
    std::vector<RECT> m_saved;
    bool m_refuseSave = false;
};

} // namespace vx
