// GdiDrawDevice: a GDI device context (a window's, a printer's or a memory DC with a bitmap)
// as a drawing device. The device context stays the caller's; saved states are restored in
// order by RestoreState.
#pragma once

#include "platform/DrawDevice.h"

namespace vx {

class GdiDrawDevice : public DrawDevice {
public:
    explicit GdiDrawDevice(HDC dc) : m_dc(dc) {}

    bool SaveState() override;
    void RestoreState() override;
    void IntersectClip(const RECT& rect) override;
    RECT ClipBox() override;
    bool ReadPixels(const RECT& rect, const Rgb24Bitmap& block) override;
    void ShowDib(std::int32_t left, std::int32_t top, const BITMAPINFOHEADER& info, const std::uint8_t* bits) override;

private:
    HDC m_dc;
};

} // namespace vx
