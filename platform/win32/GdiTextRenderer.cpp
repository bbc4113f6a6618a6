// GDI text surfaces: one memory DC with the font selected, white text on an opaque black
// background; each Render draws into a fresh DIB section and copies its rows out.
#include "platform/win32/GdiTextRenderer.h"

#include <cstring>
#include <new>

namespace vx {
namespace {

const wchar_t* Wide(std::u16string_view text)
{
    return reinterpret_cast<const wchar_t*>(text.data());
}

class GdiSurface : public TextSurface {
public:
    GdiSurface(HDC memoryDc, const LOGFONTW& font) : m_dc(memoryDc)
    {
        m_font = CreateFontIndirectW(&font);
        m_previousFont = SelectObject(m_dc, m_font ? static_cast<HGDIOBJ>(m_font) : GetStockObject(DEFAULT_GUI_FONT));
        SetTextColor(m_dc, RGB(255, 255, 255));
        SetBkColor(m_dc, RGB(0, 0, 0));
        SetBkMode(m_dc, OPAQUE);
    }

    ~GdiSurface() override
    {
        SelectObject(m_dc, m_previousFont);
        if (m_font)
            DeleteObject(m_font);
        DeleteDC(m_dc);
    }

    TextExtent Measure(std::u16string_view text) override
    {
        RECT extent{0, 0, 0, 0};
        DrawTextW(m_dc, Wide(text), static_cast<int>(text.size()), &extent, DT_CALCRECT | DT_NOPREFIX);
        return {extent.right, extent.bottom};
    }

    bool Render(std::u16string_view text, std::int32_t boxWidth, std::int32_t boxHeight, UINT align,
                const Rgb24Bitmap& target) override
    {
        const std::uint32_t dibStride = ((24 * static_cast<std::uint32_t>(target.width) + 31) / 32) * 4;
        if (!target.bits || target.width <= 0 || target.height <= 0 || target.stride != dibStride)
            return false;
        BITMAPINFO layout{};
        layout.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        layout.bmiHeader.biWidth = target.width;
        layout.bmiHeader.biHeight = target.height;
        layout.bmiHeader.biPlanes = 1;
        layout.bmiHeader.biBitCount = 24;
        layout.bmiHeader.biCompression = BI_RGB;
        void* pixels = nullptr;
        HBITMAP section = CreateDIBSection(m_dc, &layout, DIB_RGB_COLORS, &pixels, nullptr, 0);
        if (!section || !pixels) {
            if (section)
                DeleteObject(section);
            return false;
        }
        HGDIOBJ previousBitmap = SelectObject(m_dc, section);
        if (!previousBitmap) {
            DeleteObject(section);
            return false;
        }
        std::memset(pixels, 0, static_cast<std::size_t>(target.height) * dibStride);
        RECT box{0, 0, boxWidth, boxHeight};
        DrawTextW(m_dc, Wide(text), static_cast<int>(text.size()), &box,
                  (align & (DT_CENTER | DT_RIGHT)) | DT_NOPREFIX);
        GdiFlush();
        // GetDIBits wants the bitmap out of every DC.
        SelectObject(m_dc, previousBitmap);
        const int copied =
            GetDIBits(m_dc, section, 0, static_cast<UINT>(target.height), target.bits, &layout, DIB_RGB_COLORS);
        DeleteObject(section);
        return copied == target.height;
    }

private:
    HDC m_dc;
    HFONT m_font = nullptr;
    HGDIOBJ m_previousFont = nullptr;
};

} // namespace

std::unique_ptr<TextSurface> GdiTextRenderer::Open(HDC device, const LOGFONTW& font)
{
    HDC screen = device ? nullptr : GetDC(nullptr);
    HDC reference = device ? device : screen;
    if (!reference)
        return nullptr;
    HDC memoryDc = CreateCompatibleDC(reference);
    if (screen)
        ReleaseDC(nullptr, screen);
    if (!memoryDc)
        return nullptr;
    std::unique_ptr<TextSurface> surface(new (std::nothrow) GdiSurface(memoryDc, font));
    if (!surface)
        DeleteDC(memoryDc);
    return surface;
}

} // namespace vx
