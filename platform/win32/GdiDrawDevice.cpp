// The GDI drawing device: SaveDC/RestoreDC, IntersectClipRect and GetClipBox for the clipping
// state, BitBlt into a 24-bit DIB section in a compatible memory DC to read what is shown,
// and SetDIBitsToDevice to show a DIB.
#include "platform/win32/GdiDrawDevice.h"

#include <cstring>

namespace vx {

bool GdiDrawDevice::SaveState()
{
    return m_dc && SaveDC(m_dc) != 0;
}

void GdiDrawDevice::RestoreState()
{
    RestoreDC(m_dc, -1);
}

void GdiDrawDevice::IntersectClip(const RECT& rect)
{
    IntersectClipRect(m_dc, rect.left, rect.top, rect.right, rect.bottom);
}

RECT GdiDrawDevice::ClipBox()
{
    RECT box{};
    const int kind = GetClipBox(m_dc, &box);
    if (kind == ERROR || kind == NULLREGION)
        return RECT{0, 0, 0, 0};
    return box;
}

bool GdiDrawDevice::ReadPixels(const RECT& rect, const Rgb24Bitmap& block)
{
    HDC memory = CreateCompatibleDC(m_dc);
    if (!memory)
        return false;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = block.width;
    info.bmiHeader.biHeight = block.height; // bottom-up, as the block
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP section = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool read = false;
    if (section && bits) {
        HGDIOBJ previous = SelectObject(memory, section);
        read = BitBlt(memory, 0, 0, block.width, block.height, m_dc, rect.left, rect.top, SRCCOPY) != FALSE;
        GdiFlush();
        if (read)
            std::memcpy(block.bits, bits, static_cast<std::size_t>(block.stride) * static_cast<std::size_t>(block.height));
        SelectObject(memory, previous);
    }
    if (section)
        DeleteObject(section);
    DeleteDC(memory);
    return read;
}

void GdiDrawDevice::ShowDib(std::int32_t left, std::int32_t top, const BITMAPINFOHEADER& info, const std::uint8_t* bits)
{
    SetStretchBltMode(m_dc, COLORONCOLOR);
    SetDIBitsToDevice(m_dc, left, top, static_cast<DWORD>(info.biWidth), static_cast<DWORD>(info.biHeight), 0, 0, 0,
                      static_cast<UINT>(info.biHeight), bits, reinterpret_cast<const BITMAPINFO*>(&info),
                      DIB_RGB_COLORS);
}

} // namespace vx
