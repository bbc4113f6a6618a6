// CreateFromBitmap: copies a GDI bitmap (device-dependent or DIB section) into the image,
// at the bitmap's own depth as Create normalises it, with GetDIBits through the screen DC.
// Windows only; the portable build has no GDI handles to copy from.

#include "image/VxImage.h"

bool VxImage::CreateFromBitmap(HBITMAP bitmap, HPALETTE palette)
{
    if (!Destroy())
        return false;
    if (!bitmap)
        return false;
    BITMAP description{};
    if (!GetObjectW(bitmap, sizeof(description), &description))
        return false;
    if (description.bmWidth <= 0 || description.bmHeight <= 0)
        return false;
    if (!Create(static_cast<std::uint32_t>(description.bmWidth), static_cast<std::uint32_t>(description.bmHeight),
                description.bmBitsPixel, kVxTypeUnknown))
        return false;

    HDC screen = GetDC(nullptr);
    if (!screen) {
        Destroy();
        SetLastError("GetDC failed");
        return false;
    }
    HPALETTE previousPalette = nullptr;
    if (palette) {
        previousPalette = SelectPalette(screen, palette, FALSE);
        RealizePalette(screen);
    }
    const int rows = GetDIBits(screen, bitmap, 0, static_cast<UINT>(Height()), info.bits,
                               reinterpret_cast<BITMAPINFO*>(dib), DIB_RGB_COLORS);
    if (previousPalette)
        SelectPalette(screen, previousPalette, FALSE);
    ReleaseDC(nullptr, screen);
    if (rows == 0) {
        Destroy();
        SetLastError("GetDIBits failed");
        return false;
    }
    return true;
}
