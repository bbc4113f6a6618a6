// Whole-picture colour operations of VxImage: grey conversion, depth increase, thresholding,
// inversion, the grey palette, expansion of 16- and 32-bit bit-field pixels, flips and
// mirrors, and upkeep of the alpha plane and the selection mask. Every operation returns
// false (or does nothing) for an image without pixels. Conversions that change the depth
// fill a new picture and take it over only once it is complete, so failure or cancellation
// leaves the image as it was.
#include "image/VxImage.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace {

constexpr char kCancelled[] = "Cancelled";

using GreyTable = std::array<std::uint8_t, 256>;

// Bytes of a one-byte-per-pixel plane (alpha, selection) for the image's size.
std::uint64_t PlaneBytes(const VxImage& image)
{
    if (image.Width() <= 0 || image.Height() <= 0)
        return 0;
    return static_cast<std::uint64_t>(image.Width()) * static_cast<std::uint64_t>(image.Height());
}

std::size_t PlaneOffset(const VxImage& image, std::int32_t x, std::int32_t y)
{
    return static_cast<std::size_t>(y) * static_cast<std::size_t>(image.Width()) + static_cast<std::size_t>(x);
}

// A fresh, uninitialised plane for `image`. A 1- or 4-bit picture within the memory limit
// can still ask for a plane of up to 2 GiB, so planes obey the same limit. An alias never
// frees anything, so it may not acquire a plane of its own either.
std::uint8_t* AllocatePlane(VxImage& image, const char* failure)
{
    const std::uint64_t bytes = PlaneBytes(image);
    if (image.Info().aliasOf || bytes == 0)
        return nullptr;
    if (bytes > VXIMAGE_MAX_MEMORY) {
        image.SetLastError("VXIMAGE_MAX_MEMORY exceeded");
        return nullptr;
    }
    auto* plane = static_cast<std::uint8_t*>(std::malloc(static_cast<std::size_t>(bytes)));
    if (!plane)
        image.SetLastError(failure);
    return plane;
}

// Gives `plane` (the alpha plane or the selection mask of `image`) the contents of the same
// plane of a source of equal size, allocating it first when missing; false, with the plane as it
// was, when the source has none, the sizes differ or memory runs out. memmove: an alias of the
// image shares the very same plane.
bool CopyPlaneFrom(VxImage& image, std::uint8_t*& plane, const VxImage& source, const std::uint8_t* sourcePlane,
                   const char* failure)
{
    if (!sourcePlane || source.Width() != image.Width() || source.Height() != image.Height())
        return false;
    if (!plane)
        plane = AllocatePlane(image, failure);
    if (!plane)
        return false;
    std::memmove(plane, sourcePlane, static_cast<std::size_t>(PlaneBytes(image)));
    return true;
}

void ReverseRowOrder(std::uint8_t* data, std::size_t rowBytes, std::size_t rows)
{
    for (std::size_t low = 0, high = rows; low + 1 < high; ++low, --high) {
        std::uint8_t* lowRow = data + low * rowBytes;
        std::swap_ranges(lowRow, lowRow + rowBytes, data + (high - 1) * rowBytes);
    }
}

void ReverseEachRow(std::uint8_t* data, std::size_t rowBytes, std::size_t rows)
{
    for (std::size_t y = 0; y < rows; ++y)
        std::reverse(data + y * rowBytes, data + (y + 1) * rowBytes);
}

// Grey level of every palette index; indexes past the palette read as black.
GreyTable PaletteGreys(const VxImage& image)
{
    GreyTable greys{};
    const RGBQUAD* palette = image.PaletteAddress();
    const std::uint32_t count = palette ? std::min<std::uint32_t>(image.ColourCount(), 256) : 0;
    for (std::uint32_t i = 0; i < count; ++i)
        greys[i] = VxImage::GreyValue(palette[i]);
    return greys;
}

// The transparent index of a palette picture once its pixels become grey levels. An index
// that names no palette entry marked nothing transparent, and keeps marking nothing.
std::int32_t GreyTransparentIndex(const VxImage& image, const GreyTable& greys)
{
    const std::int32_t index = image.TransparentIndex();
    if (index < 0)
        return index;
    if (static_cast<std::uint32_t>(index) >= std::min<std::uint32_t>(image.ColourCount(), 256))
        return -1;
    return greys[static_cast<std::size_t>(index)];
}

// Gives `temp` the ImageInfo, size, selection and alpha plane of `image` at `bits` per
// pixel. On failure the temporary's message is left in `image`.
bool StartConversion(VxImage& image, VxImage& temp, std::uint32_t bits)
{
    temp.CopyInfoFrom(image);
    bool ok = temp.Create(static_cast<std::uint32_t>(image.Width()), static_cast<std::uint32_t>(image.Height()),
                          bits, image.ImageType()) != nullptr;
    ok = ok && (!image.HasSelection() || temp.CopySelectionFrom(image));
    ok = ok && (!image.HasAlpha() || temp.CopyAlphaFrom(image));
    if (!ok)
        image.SetLastError(temp.LastError());
    return ok;
}

// Row loops of conversions test escape before each row; a set value cancels them.
bool CancelRequested(VxImage& image)
{
    if (image.Info().escape == 0)
        return false;
    image.SetLastError(kCancelled);
    return true;
}

// Calls visit(x, y) for each selected pixel of the selection box, the box clipped to the
// picture so a stale or foreign box never indexes outside the mask.
template <class Visit>
void ForEachSelected(const VxImage& image, Visit visit)
{
    const auto& box = image.Info().selectionBox;
    const std::int32_t left = std::max(box.left, 0);
    const std::int32_t right = std::min(box.right, image.Width());
    const std::int32_t bottom = std::max(box.bottom, 0);
    const std::int32_t top = std::min(box.top, image.Height());
    for (std::int32_t y = bottom; y < top; ++y)
        for (std::int32_t x = left; x < right; ++x)
            if (image.IsSelected(x, y))
                visit(x, y);
}

void InvertBytes(std::uint8_t* data, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i)
        data[i] = static_cast<std::uint8_t>(~data[i]);
}

// One colour channel of a bit-field pixel: where its bits sit and how many places they
// span. The channel is scaled to 8 bits by keeping its top 8 bits, or by shifting a
// narrower channel up (5 bits of 31 give 248).
class BitChannel {
public:
    explicit BitChannel(std::uint32_t mask)
        : m_mask(mask),
          m_shift(mask ? std::countr_zero(mask) : 0),
          m_span(mask ? std::bit_width(mask >> m_shift) : 0)
    {
    }

    std::uint8_t Level(std::uint32_t pixel) const
    {
        const std::uint32_t value = (pixel & m_mask) >> m_shift;
        if (m_span >= 8)
            return static_cast<std::uint8_t>(value >> (m_span - 8));
        return static_cast<std::uint8_t>(value << (8 - m_span));
    }

private:
    std::uint32_t m_mask;
    int m_shift;
    int m_span;
};

} // namespace

// ---- Depth and colour ----------------------------------------------------------------------

std::uint8_t VxImage::GreyValue(RGBQUAD colour)
{
    // Weights of blue, green and red in 1024ths: they sum to 1024, so white stays 255.
    return static_cast<std::uint8_t>((117u * colour.rgbBlue + 601u * colour.rgbGreen + 306u * colour.rgbRed) >> 10);
}

std::int32_t VxImage::LuminanceCompare(const RGBQUAD* first, const RGBQUAD* second)
{
    return static_cast<std::int32_t>(GreyValue(*first)) - static_cast<std::int32_t>(GreyValue(*second));
}

bool VxImage::ToGreyscale()
{
    if (!dib)
        return false;
    const std::uint16_t depth = BitsPerPixel();
    const std::int32_t width = Width();
    const std::int32_t height = Height();

    if (depth == 8) {
        // Each index becomes the grey level of its entry, and the palette the identity ramp.
        const GreyTable greys = PaletteGreys(*this);
        info.transparentIndex = GreyTransparentIndex(*this, greys);
        std::uint8_t* pixels = info.bits;
        const std::size_t count = static_cast<std::size_t>(info.rowStride) * static_cast<std::size_t>(height);
        for (std::size_t i = 0; i < count; ++i)
            pixels[i] = greys[pixels[i]];
        SetGreyPalette();
        return true;
    }

    VxImage temp;
    if (!StartConversion(*this, temp, 8))
        return false;
    temp.SetGreyPalette();
    const GreyTable greys = PaletteGreys(*this);
    if (depth != 24)
        temp.info.transparentIndex = GreyTransparentIndex(*this, greys);
    for (std::int32_t y = 0; y < height; ++y) {
        if (CancelRequested(*this))
            return false;
        std::uint8_t* out = temp.RowAddress(static_cast<std::uint32_t>(y));
        for (std::int32_t x = 0; x < width; ++x)
            out[x] = depth == 24 ? GreyValue(PixelColourUnchecked(x, y, false)) : greys[PixelIndexUnchecked(x, y)];
    }
    // The temporary has no frames: this image keeps its own.
    return TakeOver(temp, false);
}

bool VxImage::IncreaseBpp(std::uint32_t targetBits)
{
    if (!dib)
        return false;
    const std::uint32_t depth = BitsPerPixel();
    if (targetBits == depth)
        return true;
    if (targetBits < depth || (targetBits != 4 && targetBits != 8 && targetBits != 24))
        return false;

    VxImage temp;
    if (!StartConversion(*this, temp, targetBits))
        return false;
    const std::int32_t width = Width();
    const std::int32_t height = Height();

    if (targetBits == 24) {
        const std::int32_t transparent = info.transparentIndex;
        if (transparent >= 0 && static_cast<std::uint32_t>(transparent) < ColourCount())
            temp.SetTransparentColour(PaletteEntry(static_cast<std::uint8_t>(transparent)));
        // Palette opacities survive as an alpha plane.
        if (PaletteHasAlpha() && !alpha && !temp.CreateAlpha()) {
            SetLastError(temp.LastError());
            return false;
        }
        for (std::int32_t y = 0; y < height; ++y) {
            if (CancelRequested(*this))
                return false;
            for (std::int32_t x = 0; x < width; ++x)
                temp.SetPixelColourUnchecked(x, y, PixelColourUnchecked(x, y, true), true);
        }
    } else {
        temp.SetPalette(PaletteAddress(), ColourCount());
        for (std::int32_t y = 0; y < height; ++y) {
            if (CancelRequested(*this))
                return false;
            for (std::int32_t x = 0; x < width; ++x)
                temp.SetPixelIndexUnchecked(x, y, PixelIndexUnchecked(x, y));
        }
    }
    return TakeOver(temp, false);
}

bool VxImage::ThresholdToMono(std::uint8_t level)
{
    if (!dib)
        return false;
    if (BitsPerPixel() == 1)
        return true;

    VxImage temp;
    if (!StartConversion(*this, temp, 1))
        return false;
    // A transparent index named a colour of the old palette, none of black and white.
    temp.info.transparentIndex = -1;
    temp.SetPaletteEntry(0, 0, 0, 0, 0);
    temp.SetPaletteEntry(1, 255, 255, 255, 0);

    const bool indexed = HasPalette();
    const GreyTable greys = PaletteGreys(*this);
    const std::int32_t width = Width();
    const std::int32_t height = Height();
    for (std::int32_t y = 0; y < height; ++y) {
        if (CancelRequested(*this))
            return false;
        info.progress = static_cast<std::int32_t>(100 * static_cast<std::int64_t>(y) / height);
        // Whole bytes are written so the row padding is defined too.
        std::uint8_t* out = temp.RowAddress(static_cast<std::uint32_t>(y));
        std::memset(out, 0, temp.RowStride());
        for (std::int32_t x = 0; x < width; ++x) {
            const std::uint8_t grey =
                indexed ? greys[PixelIndexUnchecked(x, y)] : GreyValue(PixelColourUnchecked(x, y, false));
            if (grey > level)
                out[x >> 3] = static_cast<std::uint8_t>(out[x >> 3] | (0x80 >> (x & 7)));
        }
    }
    return TakeOver(temp, false);
}

bool VxImage::Invert()
{
    if (!dib)
        return false;
    const std::size_t pixelBytes = static_cast<std::size_t>(info.rowStride) * static_cast<std::size_t>(Height());

    if (BitsPerPixel() == 24) {
        if (selection) {
            ForEachSelected(*this, [this](std::int32_t x, std::int32_t y) {
                InvertBytes(PixelAddress24(x, y), 3);
            });
        } else {
            InvertBytes(info.bits, pixelBytes);
        }
        InvertBytes(reinterpret_cast<std::uint8_t*>(&info.transparentColour), 3);
        return true;
    }

    if (!IsGreyPalette()) {
        RGBQUAD* palette = PaletteAddress();
        for (std::uint32_t i = 0; palette && i < ColourCount(); ++i)
            InvertBytes(reinterpret_cast<std::uint8_t*>(&palette[i]), 3);
        info.nearestValid = false;
        return true;
    }

    // Grey palette (entry i is level i): inverting the index inverts the level. Written as
    // an index, 255 - i keeps only the bits the depth holds.
    if (selection) {
        ForEachSelected(*this, [this](std::int32_t x, std::int32_t y) {
            SetPixelIndexUnchecked(x, y, static_cast<std::uint8_t>(255 - PixelIndexUnchecked(x, y)));
        });
    } else {
        InvertBytes(info.bits, pixelBytes);
    }
    return true;
}

void VxImage::SetGreyPalette()
{
    RGBQUAD* palette = PaletteAddress();
    if (!palette)
        return;
    const std::uint32_t count = ColourCount();
    const std::uint32_t step = count > 1 ? 255 / (count - 1) : 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        const auto level = static_cast<std::uint8_t>(i * step);
        palette[i].rgbBlue = level;
        palette[i].rgbGreen = level;
        palette[i].rgbRed = level;
    }
    info.nearestValid = false;
}

bool VxImage::IsGreyPalette() const
{
    const RGBQUAD* palette = PaletteAddress();
    if (!palette)
        return false;
    for (std::uint32_t i = 0; i < ColourCount(); ++i)
        if (palette[i].rgbBlue != i || palette[i].rgbGreen != i || palette[i].rgbRed != i)
            return false;
    return true;
}

bool VxImage::PaletteHasAlpha() const
{
    const RGBQUAD* palette = PaletteAddress();
    for (std::uint32_t i = 0; palette && i < ColourCount(); ++i)
        if (palette[i].rgbReserved != 0)
            return true;
    return false;
}

void VxImage::SwapRedBlue(std::uint8_t* buffer, std::int64_t length) const
{
    if (!buffer || HasPalette())
        return;
    const std::int64_t limit = std::min({length, static_cast<std::int64_t>(info.rowStride),
                                         3 * static_cast<std::int64_t>(Width())});
    // Only whole blue-green-red groups: a group cut by the limit would reach past it.
    for (std::int64_t i = 0; i + 3 <= limit; i += 3)
        std::swap(buffer[i], buffer[i + 2]);
}

void VxImage::BitfieldsTo24(const std::uint8_t* source, std::uint32_t redMask, std::uint32_t greenMask,
                            std::uint32_t blueMask, std::uint32_t sourceBits)
{
    if (!dib || !source || BitsPerPixel() != 24 || (sourceBits != 16 && sourceBits != 32))
        return;
    const auto width = static_cast<std::size_t>(Width());
    const auto height = static_cast<std::size_t>(Height());
    const std::size_t stride = info.rowStride;

    // The source may be this image's own pixel block, read in place. 16-bit rows
    // ((width + 1) / 2 * 4 bytes) are never longer than the 24-bit rows, so they are expanded
    // from the end: top row first, pixels from the right; each write lands at or after the
    // end of every source byte still unread. 32-bit rows (4 * width bytes) are never
    // shorter, so they shrink from the start: bottom row first, pixels from the left.
    if (sourceBits == 16) {
        const BitChannel red(redMask & 0xFFFF), green(greenMask & 0xFFFF), blue(blueMask & 0xFFFF);
        const std::size_t sourceStride = (width + 1) / 2 * 4;
        for (std::size_t y = height; y-- > 0;) {
            const std::uint8_t* in = source + y * sourceStride;
            std::uint8_t* out = info.bits + y * stride;
            for (std::size_t x = width; x-- > 0;) {
                const std::uint32_t word = in[2 * x] | (static_cast<std::uint32_t>(in[2 * x + 1]) << 8);
                out[3 * x] = blue.Level(word);
                out[3 * x + 1] = green.Level(word);
                out[3 * x + 2] = red.Level(word);
            }
        }
        return;
    }

    const BitChannel red(redMask), green(greenMask), blue(blueMask);
    const std::size_t sourceStride = 4 * width;
    for (std::size_t y = 0; y < height; ++y) {
        const std::uint8_t* in = source + y * sourceStride;
        std::uint8_t* out = info.bits + y * stride;
        for (std::size_t x = 0; x < width; ++x) {
            const std::uint8_t* p = in + 4 * x;
            const std::uint32_t word = p[0] | (static_cast<std::uint32_t>(p[1]) << 8) |
                                       (static_cast<std::uint32_t>(p[2]) << 16) |
                                       (static_cast<std::uint32_t>(p[3]) << 24);
            out[3 * x] = blue.Level(word);
            out[3 * x + 1] = green.Level(word);
            out[3 * x + 2] = red.Level(word);
        }
    }
}

// ---- Orientation ---------------------------------------------------------------------------------
// Rows and pixels are exchanged in place, so flips and mirrors need no working memory and
// cannot fail half-way.

bool VxImage::FlipVertical(bool flipSelection, bool flipAlpha)
{
    if (!dib)
        return false;
    ReverseRowOrder(info.bits, info.rowStride, static_cast<std::size_t>(Height()));
    if (flipSelection && selection)
        FlipSelection();
    if (flipAlpha && alpha)
        FlipAlpha();
    return true;
}

bool VxImage::MirrorHorizontal(bool mirrorSelection, bool mirrorAlpha)
{
    if (!dib)
        return false;
    const std::int32_t width = Width();
    const std::int32_t height = Height();
    const std::uint16_t depth = BitsPerPixel();
    if (depth != 1 && depth != 4 && depth != 8 && depth != 24)
        return false;

    for (std::int32_t y = 0; y < height; ++y) {
        std::uint8_t* row = RowAddress(static_cast<std::uint32_t>(y));
        if (depth == 8) {
            std::reverse(row, row + width);
            continue;
        }
        for (std::int32_t left = 0, right = width - 1; left < right; ++left, --right) {
            if (depth == 24) {
                std::swap_ranges(row + 3 * left, row + 3 * left + 3, row + 3 * right);
            } else {
                const std::uint8_t leftIndex = PixelIndexUnchecked(left, y);
                SetPixelIndexUnchecked(left, y, PixelIndexUnchecked(right, y));
                SetPixelIndexUnchecked(right, y, leftIndex);
            }
        }
    }
    if (mirrorSelection && selection)
        MirrorSelection();
    if (mirrorAlpha && alpha)
        MirrorAlpha();
    return true;
}

bool VxImage::Transpose()
{
    if (!dib)
        return false;
    const std::int32_t width = Width();
    const std::int32_t height = Height();
    const std::uint16_t depth = BitsPerPixel();
    if (depth != 1 && depth != 4 && depth != 8 && depth != 24)
        return false;
    VxImage temp;
    temp.CopyInfoFrom(*this);
    if (!temp.Create(static_cast<std::uint32_t>(height), static_cast<std::uint32_t>(width), depth, info.type) ||
        (alpha && !temp.CreateAlpha())) {
        SetLastError(temp.LastError());
        return false;
    }
    temp.SetPalette(PaletteAddress(), ColourCount());
    temp.info.xDpi = info.yDpi;
    temp.info.yDpi = info.xDpi;
    // Seen from the top: the result's pixel (x, y) is the source's (y, x). Rows count from
    // the bottom here, so both row numbers are turned over.
    for (std::int32_t y = 0; y < width; ++y) {
        const std::int32_t column = y;
        const std::int32_t outRow = width - 1 - y;
        for (std::int32_t x = 0; x < height; ++x) {
            const std::int32_t sourceRow = height - 1 - x;
            if (depth == 24)
                std::memcpy(temp.PixelAddress24(x, outRow), PixelAddress24(column, sourceRow), 3);
            else
                temp.SetPixelIndexUnchecked(x, outRow, PixelIndexUnchecked(column, sourceRow));
            if (alpha)
                temp.alpha[PlaneOffset(temp, x, outRow)] = alpha[PlaneOffset(*this, column, sourceRow)];
        }
    }
    return TakeOver(temp, false);
}

bool VxImage::ApplyOrientation(std::int32_t orientation)
{
    if (!dib)
        return false;
    // 5 to 8 store the picture on its side: transposed first, the rest is a flip or mirror.
    const bool transpose = orientation >= 5 && orientation <= 8;
    const bool mirror = orientation == 2 || orientation == 3 || orientation == 6 || orientation == 7;
    const bool flip = orientation == 3 || orientation == 4 || orientation == 7 || orientation == 8;
    return (!transpose || Transpose()) && (!mirror || MirrorHorizontal()) && (!flip || FlipVertical());
}

// ---- Alpha plane -----------------------------------------------------------------------------------

bool VxImage::CreateAlpha()
{
    if (alpha)
        return true;
    if (!dib)
        return false;
    alpha = AllocatePlane(*this, "VxImage::CreateAlpha can't allocate memory");
    if (alpha)
        std::memset(alpha, 255, static_cast<std::size_t>(PlaneBytes(*this)));
    return alpha != nullptr;
}

void VxImage::DeleteAlpha()
{
    // An alias only drops its view of the shared plane; the owner frees it.
    if (!info.aliasOf)
        std::free(alpha);
    alpha = nullptr;
}

void VxImage::InvertAlpha()
{
    if (alpha)
        InvertBytes(alpha, static_cast<std::size_t>(PlaneBytes(*this)));
}

bool VxImage::CopyAlphaFrom(const VxImage& source)
{
    if (!dib || !CopyPlaneFrom(*this, alpha, source, source.alpha, "VxImage::CopyAlphaFrom can't allocate memory"))
        return false;
    info.alphaMax = source.info.alphaMax;
    return true;
}

bool VxImage::AlphaFromGrey(const VxImage& source)
{
    if (!dib || !source.IsGreyPalette() || source.Width() != Width() || source.Height() != Height())
        return false;
    if (!alpha)
        alpha = AllocatePlane(*this, "VxImage::AlphaFromGrey can't allocate memory");
    if (!alpha)
        return false;
    // The grey level of a pixel is its index. Read per pixel: the rows of a 1- or 4-bit
    // source hold fewer than width bytes.
    const std::int32_t width = Width();
    const std::int32_t height = Height();
    for (std::int32_t y = 0; y < height; ++y) {
        std::uint8_t* out = alpha + PlaneOffset(*this, 0, y);
        for (std::int32_t x = 0; x < width; ++x)
            out[x] = source.PixelIndexUnchecked(x, y);
    }
    return true;
}

void VxImage::SetAlphaAt(std::int32_t x, std::int32_t y, std::uint8_t level)
{
    if (alpha && IsInside(x, y))
        alpha[PlaneOffset(*this, x, y)] = level;
}

std::uint8_t VxImage::AlphaAt(std::int32_t x, std::int32_t y) const
{
    return alpha && IsInside(x, y) ? alpha[PlaneOffset(*this, x, y)] : 0;
}

std::uint8_t VxImage::AlphaAtUnchecked(std::int32_t x, std::int32_t y) const
{
    return alpha[PlaneOffset(*this, x, y)];
}

std::uint8_t* VxImage::AlphaAddress(std::int32_t x, std::int32_t y) const
{
    return alpha && IsInside(x, y) ? alpha + PlaneOffset(*this, x, y) : nullptr;
}

bool VxImage::FlipAlpha()
{
    if (!alpha)
        return false;
    ReverseRowOrder(alpha, static_cast<std::size_t>(Width()), static_cast<std::size_t>(Height()));
    return true;
}

bool VxImage::MirrorAlpha()
{
    if (!alpha)
        return false;
    ReverseEachRow(alpha, static_cast<std::size_t>(Width()), static_cast<std::size_t>(Height()));
    return true;
}

// ---- Selection mask --------------------------------------------------------------------------------

bool VxImage::ClearSelection()
{
    // Leaves the empty box left = width, right = 0, top = 0, bottom = height, from which a
    // later union can grow.
    FreeSelectionPlane();
    return true;
}

bool VxImage::IsSelected(std::int32_t x, std::int32_t y) const
{
    if (!selection)
        return true;
    return IsInside(x, y) && selection[PlaneOffset(*this, x, y)] != 0;
}

bool VxImage::CopySelectionFrom(const VxImage& source)
{
    if (!dib ||
        !CopyPlaneFrom(*this, selection, source, source.selection, "VxImage::CopySelectionFrom can't allocate memory"))
        return false;
    info.selectionBox = source.info.selectionBox;
    return true;
}

bool VxImage::FlipSelection()
{
    if (!selection)
        return false;
    const std::int32_t height = Height();
    ReverseRowOrder(selection, static_cast<std::size_t>(Width()), static_cast<std::size_t>(height));
    // Clamped first: the box describes pixels of this picture, and a wild value must not
    // overflow the subtraction.
    auto& box = info.selectionBox;
    const std::int32_t oldTop = std::clamp(box.top, 0, height);
    box.top = height - std::clamp(box.bottom, 0, height);
    box.bottom = height - oldTop;
    return true;
}

bool VxImage::MirrorSelection()
{
    if (!selection)
        return false;
    const std::int32_t width = Width();
    ReverseEachRow(selection, static_cast<std::size_t>(width), static_cast<std::size_t>(Height()));
    auto& box = info.selectionBox;
    const std::int32_t oldLeft = std::clamp(box.left, 0, width);
    box.left = width - std::clamp(box.right, 0, width);
    box.right = width - oldLeft;
    return true;
}
