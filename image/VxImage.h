// VxImage: the in-memory picture. A packed Windows DIB (header, palette, bottom-up rows)
// of 1, 4, 8 or 24 bits per pixel, with optional alpha plane, selection mask, layers and
// animation frames, plus an ImageInfo block carrying the last error text, source format,
// JPEG quality, resolution and the progress/escape state of long operations.
// Public operations never throw: they return a bool (or null) and leave a message in lastError.
#pragma once

#include "platform/wintypes.h"

#include <atomic>
#include <cstdint>
#include <cstdio>

class VxStream;
namespace vx {
class DrawDevice;
class TextRenderer;
}

// Image type codes: the format a picture came from or is to be written as.
enum VxImageType : std::uint32_t {
    kVxTypeUnknown = 0, // detect from the data
    kVxTypeBmp = 1,
    kVxTypeGif = 2,
    kVxTypeJpg = 3,
    kVxTypeIco = 5,
    kVxTypeTga = 7,
    kVxTypePcx = 8,
    kVxTypeWbmp = 9,
    kVxTypeWmf = 10,
    kVxTypeSka = 18,
};

// Largest pixel block an image may hold (256 MiB).
constexpr std::uint64_t VXIMAGE_MAX_MEMORY = 268435456;

constexpr int kVxCodecOptionSlots = 10;

// The stop request of long operations. Another thread (a cancel) may write it while the
// picture's own thread polls it, so every access is atomic; it reads and assigns like the
// integer it holds, and copying an ImageInfo copies its value.
class EscapeFlag {
public:
    EscapeFlag(std::int32_t value = 0) noexcept : m_value(value) {}
    EscapeFlag(const EscapeFlag& other) noexcept : m_value(other) {}
    EscapeFlag& operator=(const EscapeFlag& other) noexcept { return *this = static_cast<std::int32_t>(other); }
    EscapeFlag& operator=(std::int32_t value) noexcept
    {
        m_value.store(value, std::memory_order_relaxed);
        return *this;
    }
    operator std::int32_t() const noexcept { return m_value.load(std::memory_order_relaxed); }

private:
    std::atomic<std::int32_t> m_value;
};

struct ImageInfo {
    std::uint32_t rowStride;   // bytes per pixel row, a multiple of 4
    std::uint8_t* bits;        // first (bottom) pixel row inside dib, or null
    class VxImage* aliasOf;    // non-null: buffers are shared with that image, none owned
    class VxImage* parent;     // reserved, always null
    std::uint32_t type;        // image type code
    char lastError[256];       // zero-terminated text of the last error
    std::int32_t progress;     // percentage done of a long operation
    EscapeFlag escape;         // non-zero stops long operations; -1 asks decoders for the header only
    std::int32_t transparentIndex;
    RGBQUAD transparentColour;
    float jpegQuality;
    std::uint8_t jpegScale;
    std::int32_t frame;        // frame to decode from a multi-frame file
    std::int32_t frameCount;
    std::uint32_t frameDelay;
    std::int32_t xDpi;
    std::int32_t yDpi;
    struct {
        std::int32_t left, top, right, bottom;
    } selectionBox;            // bottom-up pixel coordinates, top > bottom when non-empty
    std::uint8_t alphaMax;
    bool paletteAlpha;
    bool drawEnabled;
    std::int32_t xOffset;
    std::int32_t yOffset;
    std::uint32_t codecOptions[kVxCodecOptionSlots];
    RGBQUAD nearestColour;     // one-entry cache of NearestIndex
    std::uint8_t nearestIndex;
    bool nearestValid;
    std::int32_t layerCount;
    std::uint32_t flags;
    std::uint8_t gifDisposal;
    bool decodeAllFrames;
    bool littleEndianHost;
};

class VxImage {
public:
    // ---- Construction and life cycle -------------------------------------------------
    explicit VxImage(std::uint32_t type = kVxTypeUnknown);
    VxImage(std::uint32_t width, std::uint32_t height, std::uint32_t bitsPerPixel, std::uint32_t type);
    VxImage(const VxImage& source, bool copyPixels, bool copySelection, bool copyAlpha);
    VxImage(const char16_t* fileName, std::uint32_t type);
    virtual ~VxImage();

    VxImage(const VxImage&) = delete;
    VxImage& operator=(const VxImage&) = delete;

    std::uint8_t* Create(std::uint32_t width, std::uint32_t height, std::uint32_t bitsPerPixel,
                         std::uint32_t type);
    bool Destroy();
    bool DestroyFrames();
    void CopyFrom(const VxImage& source, bool copyPixels, bool copySelection, bool copyAlpha);
    void CopyInfoFrom(const VxImage& source);
    bool TakeOver(VxImage& source, bool takeFrames);
    void MakeAlias(const VxImage* source);
    void Clear(std::uint8_t fill);
    bool IsValid() const { return dib != nullptr; }

    // ---- Accessors ---------------------------------------------------------------------
    std::int32_t Width() const { return header.biWidth; }
    std::int32_t Height() const { return header.biHeight; }
    std::uint16_t BitsPerPixel() const { return header.biBitCount; }
    std::uint32_t RowStride() const { return info.rowStride; }
    std::uint32_t ColourCount() const { return header.biClrUsed; }
    bool HasPalette() const { return header.biClrUsed != 0; }
    std::uint32_t PaletteSize() const { return 4 * header.biClrUsed; }
    std::uint32_t DibSize() const;
    std::uint32_t ImageType() const { return info.type; }
    const char* LastError() const { return info.lastError; }
    std::uint8_t* DibAddress() const { return dib; }
    RGBQUAD* PaletteAddress() const;
    std::int32_t XDpi() const { return info.xDpi; }
    std::int32_t YDpi() const { return info.yDpi; }
    std::int32_t FrameCount() const { return info.frameCount; }
    std::uint8_t JpegScale() const { return info.jpegScale; }
    std::uint8_t GifDisposal() const { return info.gifDisposal; }
    std::int32_t TransparentIndex() const { return info.transparentIndex; }
    bool IsTransparent() const { return info.transparentIndex >= 0; }
    std::int32_t JpegQuality() const { return static_cast<std::int32_t>(info.jpegQuality + 0.5f); }
    const BITMAPINFOHEADER& Header() const { return header; }
    const ImageInfo& Info() const { return info; }
    ImageInfo& Info() { return info; }

    // Stores a message (cut to 255 bytes) in lastError.
    void SetLastError(const char* text);

    std::uint8_t* RowAddress(std::uint32_t y) const;
    void SetXDpi(std::int32_t dpi);
    void SetYDpi(std::int32_t dpi);
    void SetTransparentIndex(std::int32_t index);
    void SetTransparentColour(RGBQUAD colour);
    RGBQUAD TransparentColour() const;
    void SetOffset(std::int32_t x, std::int32_t y);
    void SetGifDisposal(std::uint8_t disposal);
    void SetDecodeAllFrames(bool all);
    std::uint32_t CodecOption(std::uint32_t format) const;
    // Index of a format's word in codecOptions; 0 for codes that name no supported format.
    static std::uint32_t OptionSlot(std::uint32_t type);
    std::uint16_t Swap16(std::uint16_t v) const;
    std::uint32_t Swap32(std::uint32_t v) const;
    void SwapHeaderBytes(BITMAPINFOHEADER& h) const;
    static RGBQUAD ColorRefToQuad(COLORREF colour);
    static COLORREF QuadToColorRef(RGBQUAD colour);

    // ---- Pixel access (y = 0 is the bottom row) -----------------------------------------
    bool IsInside(std::int32_t x, std::int32_t y) const;
    std::uint8_t PixelIndex(std::int32_t x, std::int32_t y) const;
    std::uint8_t PixelIndexUnchecked(std::int32_t x, std::int32_t y) const;
    void SetPixelIndex(std::int32_t x, std::int32_t y, std::uint8_t index);
    void SetPixelIndexUnchecked(std::int32_t x, std::int32_t y, std::uint8_t index);
    RGBQUAD PixelColour(std::int32_t x, std::int32_t y, bool withAlpha = true) const;
    RGBQUAD PixelColourUnchecked(std::int32_t x, std::int32_t y, bool withAlpha) const;
    void SetPixelColour(std::int32_t x, std::int32_t y, RGBQUAD colour, bool withAlpha = false);
    void SetPixelColourUnchecked(std::int32_t x, std::int32_t y, RGBQUAD colour, bool withAlpha);
    void SetPixelColorRef(std::int32_t x, std::int32_t y, COLORREF colour);
    std::uint8_t* PixelAddress24(std::int32_t x, std::int32_t y) const;

    // ---- Palette access ------------------------------------------------------------------
    RGBQUAD PaletteEntry(std::uint8_t index) const;
    bool PaletteEntryParts(std::uint8_t index, std::uint8_t& red, std::uint8_t& green, std::uint8_t& blue) const;
    void SetPaletteEntry(std::uint8_t index, std::uint8_t red, std::uint8_t green, std::uint8_t blue,
                         std::uint8_t fourth = 0);
    void SetPaletteEntry(std::uint8_t index, RGBQUAD quad);
    void SetPalette(const RGBQUAD* quads, std::uint32_t count);
    void SetPalette(const RGBTRIPLE* triples, std::uint32_t count);
    void SetPalette(std::uint32_t count, const std::uint8_t* reds, const std::uint8_t* greens,
                    const std::uint8_t* blues);
    std::uint8_t NearestIndex(RGBQUAD colour);

    // ---- Colour depth and palette operations (VxImageColour.cpp) --------------------------
    bool ToGreyscale();
    bool IncreaseBpp(std::uint32_t targetBits);
    bool ThresholdToMono(std::uint8_t level);
    bool Invert();
    void SetGreyPalette();
    bool IsGreyPalette() const;
    bool PaletteHasAlpha() const;
    void SwapRedBlue(std::uint8_t* buffer, std::int64_t length) const;
    // Expands 16- or 32-bit bit-field pixels into this (already created) 24-bit image. The
    // source is a separate buffer or exactly this image's first pixel row (read in place).
    void BitfieldsTo24(const std::uint8_t* source, std::uint32_t redMask, std::uint32_t greenMask,
                       std::uint32_t blueMask, std::uint32_t sourceBits);
    static std::int32_t LuminanceCompare(const RGBQUAD* first, const RGBQUAD* second);
    static std::uint8_t GreyValue(RGBQUAD colour);

    bool FlipVertical(bool flipSelection = true, bool flipAlpha = true);
    bool MirrorHorizontal(bool mirrorSelection = true, bool mirrorAlpha = true);
    // Exchanges rows and columns (the top row becomes the left column), the alpha plane and the
    // resolutions with them; a selection is dropped. Needs a second pixel block.
    bool Transpose();
    // Turns the picture as an EXIF orientation value says it is to be seen: 2 mirrored, 3 turned
    // half round, 4 flipped, 5 transposed, 6 turned a quarter clockwise, 7 transposed the other
    // way, 8 turned a quarter anticlockwise. 1 and any other value leave it as it is.
    bool ApplyOrientation(std::int32_t orientation);

    // Alpha plane: width x height bytes, rows bottom-up, 255 = opaque.
    bool HasAlpha() const { return alpha != nullptr; }
    bool CreateAlpha();
    void DeleteAlpha();
    void InvertAlpha();
    bool CopyAlphaFrom(const VxImage& source);
    bool AlphaFromGrey(const VxImage& source);
    void SetAlphaAt(std::int32_t x, std::int32_t y, std::uint8_t level);
    std::uint8_t AlphaAt(std::int32_t x, std::int32_t y) const;
    std::uint8_t AlphaAtUnchecked(std::int32_t x, std::int32_t y) const;
    std::uint8_t* AlphaAddress(std::int32_t x, std::int32_t y) const;
    bool FlipAlpha();
    bool MirrorAlpha();

    // Selection mask: width x height bytes, non-zero = selected.
    bool HasSelection() const { return selection != nullptr; }
    bool ClearSelection();
    bool IsSelected(std::int32_t x, std::int32_t y) const;
    bool CopySelectionFrom(const VxImage& source);
    bool FlipSelection();
    bool MirrorSelection();

    // ---- Load, save and format dispatch (VxImageIO.cpp) ------------------------------------
    bool Load(const char16_t* fileName, std::uint32_t type);
    bool Decode(std::FILE* file, std::uint32_t type);
    bool Decode(VxStream* stream, std::uint32_t type);
    bool Save(const char16_t* fileName, std::uint32_t type);
    bool Encode(std::FILE* file, std::uint32_t type);
    bool Encode(VxStream* stream, std::uint32_t type);
    // True when the image can be encoded to the stream; otherwise sets lastError and returns false.
    bool EncodePrecheck(const VxStream* stream);

    // ---- Resampling (VxImageResample.cpp) ---------------------------------------------------
    // Mode 1 nearest pixel, 2 bicubic B-spline, other values bilinear or the 24-bit area shrink.
    // With a null destination the result replaces this image.
    bool Rescale(std::int32_t newWidth, std::int32_t newHeight, std::int32_t mode,
                 VxImage* destination = nullptr);

    // Interpolation methods of the samplers; any code outside 1..18 means bilinear.
    enum Interpolation : std::int32_t {
        kInterpNearest = 1,
        kInterpBilinear = 2,
        kInterpBSpline = 3,
        kInterpCubicConvolution = 4, // a = -1
        kInterpGeneralCubic = 5,     // a = -0.5
        kInterpLanczos = 6,          // radius 6, 12 x 12 taps
        kInterpBox = 7,
        kInterpHermite = 8,
        kInterpSoftHermite = 9,      // Hermite with its cubic part scaled by 0.92
        kInterpSinc = 10,
        kInterpBlackman = 11,
        kInterpBessel = 12,
        kInterpGaussian = 13,
        kInterpQuadratic = 14,
        kInterpMitchell = 15,        // B = C = 1/3
        kInterpCatmullRom = 16,
        kInterpHannSinc = 17,
        kInterpPower = 18,           // 1 - t^2
    };
    // What a sampler returns for a position outside the image; other codes give the replacement.
    enum Overflow : std::int32_t {
        kOverflowColour = 1,      // the replacement colour
        kOverflowBackground = 2,  // the transparent colour or index when set, else the replacement
        kOverflowTransparent = 3, // the replacement with opacity 0 when there is an alpha plane
        kOverflowWrap = 4,
        kOverflowRepeat = 5,
        kOverflowMirror = 6,
    };
    // The colour at a fractional position (pixel centres at integer coordinates, y = 0 the bottom
    // row). A null replacement means white with fourth byte 0.
    RGBQUAD InterpolatedColour(float x, float y, std::int32_t method, std::int32_t overflow,
                               const RGBQUAD* replacement = nullptr) const;
    // The average colour of an areaWidth x areaHeight rectangle centred on (x, y).
    RGBQUAD AreaColour(float x, float y, float areaWidth, float areaHeight, std::int32_t method,
                       std::int32_t overflow, const RGBQUAD* replacement = nullptr) const;
    // The pixel at (x, y), or what the overflow code gives for a position outside the image.
    RGBQUAD ColourWithOverflow(std::int32_t x, std::int32_t y, std::int32_t overflow,
                               const RGBQUAD* replacement = nullptr) const;
    // Moves a position outside the image inside by overflow codes 4 to 6 (wrap, repeat, mirror);
    // positions inside and other codes are left as they are.
    void OverflowCoordinates(std::int32_t& x, std::int32_t& y, std::int32_t overflow) const;
    void OverflowCoordinates(float& x, float& y, std::int32_t overflow) const;

    // ---- Text marker (VxImageTextMark.cpp) -------------------------------------------------
    // 1 on success, -1 without pixels, 0 when no drawing surface could be had. The text is
    // rendered by the system's text engine, or by the one given.
    std::int32_t DrawTextMark(HDC dc, std::int32_t x, std::int32_t y, struct TextMark* mark, bool withAlpha);
    std::int32_t DrawTextMark(vx::TextRenderer& renderer, HDC dc, std::int32_t x, std::int32_t y,
                              struct TextMark* mark, bool withAlpha);
    // ---- Drawing onto a device (VxImageDraw.cpp) ---------------------------------------------
    // Paints the image into the cx x cy rectangle at (x, y) of `device` (a negative size means
    // the image's own), within `clip` when one is given; `smooth` samples bilinearly (or
    // averages areas when shrinking) instead of taking the nearest pixel. Returns 1 when
    // drawing was attempted, 0 when there is nothing to draw, no device, a zero size, drawing
    // is disabled or the device cannot save its state. The device's state is restored.
    std::int32_t Draw(vx::DrawDevice* device, std::int32_t x, std::int32_t y, std::int32_t cx, std::int32_t cy,
                      const RECT* clip = nullptr, bool smooth = false);
    std::int32_t Draw(vx::DrawDevice* device, const RECT& rect, const RECT* clip = nullptr, bool smooth = false);

#if defined(_WIN32)
    // Makes this image a copy of a GDI bitmap, realising `palette` first when one is given
    // (VxImageBitmap_win32.cpp).
    bool CreateFromBitmap(HBITMAP bitmap, HPALETTE palette = nullptr);
#endif

protected:
    void Startup(std::uint32_t type);
    // Draw's stretch and blending paths: works out the visible `area` of the target in a
    // 24-bit block (over the device's own pixels when blending) and shows it.
    void PaintThroughBlock(vx::DrawDevice& device, const RECT& area, std::int32_t x, std::int32_t y, std::int32_t cx,
                           std::int32_t cy, bool blending, bool smooth);
    // Frees the selection mask and resets selectionBox to the empty box (left = width,
    // bottom = height, top = right = 0) from which a union can grow.
    void FreeSelectionPlane();

    // Buffers (dib, selection, alpha) come from malloc. The layers and frames arrays come
    // from new[] and hold layerCount / frameCount images each, deleted one by one.
    std::uint8_t* dib = nullptr;
    BITMAPINFOHEADER header{};
    ImageInfo info{};
    std::uint8_t* selection = nullptr;
    std::uint8_t* alpha = nullptr;
    VxImage** layers = nullptr;
    VxImage** frames = nullptr;

    friend class VxImageTestAccess;
};
