// GDI metafile playback. Every handle is owned by a small guard, so each early return releases
// what was made before it: the screen DC, the memory DC with its selections, the bitmap, the
// palette and the metafile itself.
#include "platform/win32/GdiMetafilePlayer.h"

#include <climits>
#include <cstdlib>
#include <new>
#include <optional>
#include <vector>

namespace vx {
namespace {

// The screen's device context for as long as the guard lives.
class ScreenDc {
public:
    ScreenDc() : m_dc(GetDC(nullptr)) {}
    ~ScreenDc()
    {
        if (m_dc)
            ReleaseDC(nullptr, m_dc);
    }
    ScreenDc(const ScreenDc&) = delete;
    ScreenDc& operator=(const ScreenDc&) = delete;
    HDC Get() const { return m_dc; }

private:
    HDC m_dc;
};

// A GDI object deleted with DeleteObject.
template <class Handle> class GdiObject {
public:
    explicit GdiObject(Handle handle = nullptr) : m_handle(handle) {}
    ~GdiObject()
    {
        if (m_handle)
            DeleteObject(m_handle);
    }
    GdiObject(const GdiObject&) = delete;
    GdiObject& operator=(const GdiObject&) = delete;
    Handle Get() const { return m_handle; }

private:
    Handle m_handle;
};

// A memory DC; the objects selected into it are put back before it is deleted, so that the
// bitmap and the palette can be deleted after it.
class MemoryDc {
public:
    explicit MemoryDc(HDC reference) : m_dc(CreateCompatibleDC(reference)) {}
    ~MemoryDc()
    {
        if (!m_dc)
            return;
        if (m_previousPalette)
            SelectPalette(m_dc, m_previousPalette, FALSE);
        if (m_previousBitmap)
            SelectObject(m_dc, m_previousBitmap);
        DeleteDC(m_dc);
    }
    MemoryDc(const MemoryDc&) = delete;
    MemoryDc& operator=(const MemoryDc&) = delete;
    HDC Get() const { return m_dc; }

    bool Select(HBITMAP bitmap)
    {
        m_previousBitmap = SelectObject(m_dc, bitmap);
        return m_previousBitmap != nullptr && m_previousBitmap != HGDI_ERROR;
    }
    // Deselects the bitmap: GetDIBits wants it out of every DC.
    void ReleaseBitmap()
    {
        if (m_previousBitmap)
            SelectObject(m_dc, m_previousBitmap);
        m_previousBitmap = nullptr;
    }
    void Select(HPALETTE palette)
    {
        m_previousPalette = SelectPalette(m_dc, palette, FALSE); // not in the background
        RealizePalette(m_dc);
    }

private:
    HDC m_dc;
    HGDIOBJ m_previousBitmap = nullptr;
    HPALETTE m_previousPalette = nullptr;
};

// The metafile's own logical palette, or null when it has none (or no memory for one).
HPALETTE CreateMetafilePalette(HENHMETAFILE metafile, bool& outOfMemory)
{
    outOfMemory = false;
    const UINT count = GetEnhMetaFilePaletteEntries(metafile, 0, nullptr);
    if (count == 0 || count == GDI_ERROR)
        return nullptr;
    // LOGPALETTE carries one entry inline; the rest follow it.
    const std::size_t bytes = sizeof(LOGPALETTE) + (count - 1) * sizeof(PALETTEENTRY);
    auto* palette = static_cast<LOGPALETTE*>(std::malloc(bytes));
    if (!palette) {
        outOfMemory = true;
        return nullptr;
    }
    palette->palVersion = 0x300;
    palette->palNumEntries = static_cast<WORD>(count);
    GetEnhMetaFilePaletteEntries(metafile, count, palette->palPalEntry);
    HPALETTE handle = CreatePalette(palette);
    std::free(palette);
    return handle;
}

class GdiMetafile : public PlayableMetafile {
public:
    explicit GdiMetafile(HENHMETAFILE metafile) : m_metafile(metafile)
    {
        // Headers written before the pixel-format and micrometre fields were added are 88
        // bytes long; GetEnhMetaFileHeader copies no more than the metafile has.
        constexpr UINT kFirstHeaderSize = 88;
        ENHMETAHEADER header{};
        if (GetEnhMetaFileHeader(m_metafile, sizeof header, &header) >= kFirstHeaderSize)
            m_bounds =
                RECT{header.rclBounds.left, header.rclBounds.top, header.rclBounds.right, header.rclBounds.bottom};
    }
    ~GdiMetafile() override { DeleteEnhMetaFile(m_metafile); }
    GdiMetafile(const GdiMetafile&) = delete;
    GdiMetafile& operator=(const GdiMetafile&) = delete;

    bool HasHeader() const { return m_bounds.has_value(); }
    RECT Bounds() const override { return m_bounds.value_or(RECT{0, 0, -1, -1}); }

    bool Play(const Rgb24Bitmap& target, COLORREF background, const DibDecoder&) override
    {
        const std::uint32_t dibStride = ((24 * static_cast<std::uint32_t>(target.width) + 31) / 32) * 4;
        if (!target.bits || target.width <= 0 || target.height <= 0 || target.stride != dibStride)
            return false;
        ScreenDc screen;
        if (!screen.Get())
            return false;
        GdiObject<HBITMAP> bitmap(CreateCompatibleBitmap(screen.Get(), target.width, target.height));
        if (!bitmap.Get())
            return false;
        MemoryDc memory(screen.Get());
        if (!memory.Get() || !memory.Select(bitmap.Get()))
            return false;

        const RECT frame{0, 0, target.width, target.height};
        SetBkColor(memory.Get(), background);
        ExtTextOutW(memory.Get(), 0, 0, ETO_OPAQUE, &frame, nullptr, 0, nullptr);

        bool outOfMemory = false;
        GdiObject<HPALETTE> palette(CreateMetafilePalette(m_metafile, outOfMemory));
        if (outOfMemory)
            return false;
        if (palette.Get())
            memory.Select(palette.Get());
        PlayEnhMetaFile(memory.Get(), m_metafile, &frame);
        GdiFlush();

        memory.ReleaseBitmap();
        BITMAPINFO layout{};
        layout.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        layout.bmiHeader.biWidth = target.width;
        layout.bmiHeader.biHeight = target.height;
        layout.bmiHeader.biPlanes = 1;
        layout.bmiHeader.biBitCount = 24;
        layout.bmiHeader.biCompression = BI_RGB;
        const int rows = GetDIBits(memory.Get(), bitmap.Get(), 0, static_cast<UINT>(target.height), target.bits,
                                   &layout, DIB_RGB_COLORS);
        return rows > 0;
    }

private:
    HENHMETAFILE m_metafile;
    std::optional<RECT> m_bounds;
};

// Takes ownership of `metafile`; null when it is null or its header cannot be read back.
std::unique_ptr<PlayableMetafile> Adopt(HENHMETAFILE metafile)
{
    if (!metafile)
        return nullptr;
    auto playable = std::unique_ptr<GdiMetafile>(new (std::nothrow) GdiMetafile(metafile));
    if (!playable) {
        DeleteEnhMetaFile(metafile);
        return nullptr;
    }
    if (!playable->HasHeader())
        return nullptr;
    return playable;
}

} // namespace

MetafileScreen GdiMetafilePlayer::Screen()
{
    ScreenDc screen;
    MetafileScreen result{96, 96, GetSysColor(COLOR_WINDOW)};
    if (screen.Get()) {
        result.pixelsPerInchX = GetDeviceCaps(screen.Get(), LOGPIXELSX);
        result.pixelsPerInchY = GetDeviceCaps(screen.Get(), LOGPIXELSY);
    }
    return result;
}

std::unique_ptr<PlayableMetafile> GdiMetafilePlayer::OpenWindowsMetafile(const std::uint8_t* bytes, std::size_t size)
{
    if (!bytes || size == 0 || size > UINT_MAX)
        return nullptr;
    ScreenDc screen;
    // The picture frame: an anisotropic 10000 x 10000 one first; GDI refuses some files with
    // it that it takes in MM_TEXT.
    METAFILEPICT picture{MM_ANISOTROPIC, 10000, 10000, nullptr};
    HENHMETAFILE metafile = SetWinMetaFileBits(static_cast<UINT>(size), bytes, screen.Get(), &picture);
    if (!metafile) {
        picture.mm = MM_TEXT;
        metafile = SetWinMetaFileBits(static_cast<UINT>(size), bytes, screen.Get(), &picture);
    }
    return Adopt(metafile);
}

std::unique_ptr<PlayableMetafile> GdiMetafilePlayer::OpenEnhancedMetafile(const std::uint8_t* bytes, std::size_t size)
{
    if (!bytes || size == 0 || size > UINT_MAX)
        return nullptr;
    return Adopt(SetEnhMetaFileBits(static_cast<UINT>(size), bytes));
}

} // namespace vx
