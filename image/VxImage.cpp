// VxImage life cycle, accessors, pixel and palette access. The picture is one malloc'd
// packed DIB (40-byte header copy, palette, bottom-up rows padded to 4 bytes); sizes are
// checked against VXIMAGE_MAX_MEMORY before anything is allocated. Pixel and palette calls
// tolerate an image without pixels and return 0, null or nothing.
#include "image/VxImage.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

constexpr std::int32_t kDefaultDpi = 96;
constexpr double kInchesPerMetre = 39.37007874015748;
constexpr std::uint32_t kHeaderSize = sizeof(BITMAPINFOHEADER);

std::int32_t DpiToPelsPerMetre(std::int32_t dpi)
{
    const double pels = std::floor(dpi * kInchesPerMetre + 0.5);
    // Resolutions beyond ~54 million dpi do not fit the header field: saturate.
    if (pels >= static_cast<double>(std::numeric_limits<std::int32_t>::max()))
        return std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(pels);
}

// Copies `source` over `target` but keeps what describes the target's own buffers: its row
// pointer, its alias link, and the counts of the frame and layer arrays it still holds, so a
// later Destroy/DestroyFrames never walks an array with someone else's count.
void CopyInfoKeepingBuffers(ImageInfo& target, const ImageInfo& source, bool keepsFrames, bool keepsLayers)
{
    const ImageInfo own = target;
    target = source;
    target.bits = own.bits;
    target.aliasOf = own.aliasOf;
    if (keepsFrames)
        target.frameCount = own.frameCount;
    if (keepsLayers)
        target.layerCount = own.layerCount;
}

// Sets one axis's resolution: the dpi in the image record, pixels per metre in the header and,
// when there are pixels, in the header copy at the start of the DIB block.
void StoreResolution(std::int32_t dpi, std::int32_t& recordDpi, LONG& headerPels, std::uint8_t* dib,
                     std::size_t headerOffset)
{
    if (dpi <= 0)
        dpi = kDefaultDpi;
    recordDpi = dpi;
    headerPels = DpiToPelsPerMetre(dpi);
    if (dib)
        std::memcpy(dib + headerOffset, &headerPels, sizeof(headerPels));
}

std::uint8_t* CopyPlane(const std::uint8_t* source, std::size_t size)
{
    auto* plane = static_cast<std::uint8_t*>(std::malloc(size));
    if (plane)
        std::memcpy(plane, source, size);
    return plane;
}

// Deletes an owned array of sub-images (layers or frames) with its elements and empties it.
void DeleteImageArray(VxImage**& images, std::int32_t& count)
{
    if (images) {
        for (std::int32_t i = 0; i < count; ++i)
            delete images[i];
        delete[] images;
        images = nullptr;
    }
    count = 0;
}

std::uint32_t ColourDistance(RGBQUAD a, RGBQUAD b)
{
    const int red = a.rgbRed - b.rgbRed;
    const int green = a.rgbGreen - b.rgbGreen;
    const int blue = a.rgbBlue - b.rgbBlue;
    return static_cast<std::uint32_t>(red * red + blue * blue + green * green);
}

} // namespace

// ---- Construction and life cycle ------------------------------------------------------

VxImage::VxImage(std::uint32_t type)
{
    Startup(type);
}

VxImage::VxImage(std::uint32_t width, std::uint32_t height, std::uint32_t bitsPerPixel, std::uint32_t type)
{
    Startup(type);
    Create(width, height, bitsPerPixel, type);
}

VxImage::VxImage(const VxImage& source, bool copyPixels, bool copySelection, bool copyAlpha)
{
    Startup(source.info.type);
    CopyFrom(source, copyPixels, copySelection, copyAlpha);
}

VxImage::~VxImage()
{
    DestroyFrames();
    Destroy();
}

void VxImage::Startup(std::uint32_t type)
{
    std::memset(&header, 0, sizeof(header));
    info = ImageInfo{};
    dib = nullptr;
    selection = nullptr;
    alpha = nullptr;
    layers = nullptr;
    frames = nullptr;
    info.type = type;
    info.jpegQuality = 90.0f;
    info.alphaMax = 255;
    info.transparentIndex = -1;
    info.drawEnabled = true;
    SetXDpi(kDefaultDpi);
    SetYDpi(kDefaultDpi);
    info.littleEndianHost = true;
}

std::uint8_t* VxImage::Create(std::uint32_t width, std::uint32_t height, std::uint32_t bitsPerPixel,
                              std::uint32_t type)
{
    if (!Destroy())
        return nullptr;
    if (width == 0 || height == 0) {
        SetLastError("VxImage::Create : width and height must be greater than zero");
        return nullptr;
    }

    std::uint32_t depth;
    if (bitsPerPixel <= 1)
        depth = 1;
    else if (bitsPerPixel <= 4)
        depth = 4;
    else if (bitsPerPixel <= 8)
        depth = 8;
    else
        depth = 24;

    // The limit is on width x height x depth bits, unpadded: width x height fits in 64 bits,
    // and bounding it first keeps x depth from wrapping. The padded rows may exceed the limit
    // by up to 3 bytes a row, but the whole block must still fit the 32-bit size fields, and
    // the header's signed width and height must hold the values.
    const std::uint64_t pixelCount = static_cast<std::uint64_t>(width) * height;
    const std::uint64_t limitBits = 8 * (VXIMAGE_MAX_MEMORY + 1);
    bool tooLarge = pixelCount >= (limitBits + depth - 1) / depth;
    std::uint64_t pixelBytes = 0;
    if (!tooLarge) {
        const std::uint64_t stride = (static_cast<std::uint64_t>(width) * depth + 31) / 32 * 4;
        pixelBytes = stride * height;
        constexpr auto kLongMax = static_cast<std::uint32_t>(std::numeric_limits<LONG>::max());
        const std::uint64_t blockBytes = kHeaderSize + 4ull * 256 + pixelBytes;
        tooLarge = blockBytes > std::numeric_limits<std::uint32_t>::max() || width > kLongMax || height > kLongMax;
    }
    if (tooLarge) {
        SetLastError("VXIMAGE_MAX_MEMORY exceeded");
        return nullptr;
    }

    header.biClrUsed = depth == 24 ? 0u : (1u << depth);
    info.rowStride = (width * depth + 31) / 32 * 4;
    header.biSize = kHeaderSize;
    header.biWidth = static_cast<LONG>(width);
    header.biHeight = static_cast<LONG>(height);
    header.biPlanes = 1;
    header.biBitCount = static_cast<WORD>(depth);
    header.biCompression = BI_RGB;
    header.biSizeImage = static_cast<DWORD>(pixelBytes);
    // The pixels-per-metre fields stay as SetXDpi/SetYDpi (or construction) left them.
    info.type = type;

    dib = static_cast<std::uint8_t*>(std::malloc(DibSize()));
    if (!dib) {
        SetLastError("VxImage::Create can't allocate memory");
        return nullptr;
    }
    std::memset(dib + kHeaderSize, 0, PaletteSize());

    FreeSelectionPlane();
    std::free(alpha);
    alpha = nullptr;

    std::memcpy(dib, &header, kHeaderSize);
    std::uint32_t storedHeaderSize;
    std::memcpy(&storedHeaderSize, dib, sizeof(storedHeaderSize));
    info.bits = dib + storedHeaderSize + PaletteSize();
    return dib;
}

bool VxImage::Destroy()
{
    if (info.aliasOf)
        return false;
    DeleteImageArray(layers, info.layerCount);
    std::free(selection);
    std::free(alpha);
    std::free(dib);
    selection = nullptr;
    alpha = nullptr;
    dib = nullptr;
    // The row pointer pointed into the freed block; leave nothing dangling.
    info.bits = nullptr;
    return true;
}

bool VxImage::DestroyFrames()
{
    if (info.aliasOf)
        return false;
    DeleteImageArray(frames, info.frameCount);
    return true;
}

void VxImage::FreeSelectionPlane()
{
    // An alias only drops its view of the shared mask; the owner frees it.
    if (!info.aliasOf)
        std::free(selection);
    selection = nullptr;
    info.selectionBox.left = header.biWidth;
    info.selectionBox.top = 0;
    info.selectionBox.right = 0;
    info.selectionBox.bottom = header.biHeight;
}

void VxImage::CopyFrom(const VxImage& source, bool copyPixels, bool copySelection, bool copyAlpha)
{
    if (&source == this)
        return;
    if (source.info.aliasOf) {
        MakeAlias(&source);
        return;
    }
    // Overwriting an alias's header would let it free the buffers it only borrows.
    if (info.aliasOf)
        return;

    CopyInfoKeepingBuffers(info, source.info, frames != nullptr, layers != nullptr);
    header = source.header;
    Create(static_cast<std::uint32_t>(source.Width()), static_cast<std::uint32_t>(source.Height()),
           source.BitsPerPixel(), source.info.type);

    if (copyPixels && dib && source.dib)
        std::memcpy(dib, source.dib, std::min(DibSize(), source.DibSize()));
    else
        SetPalette(source.PaletteAddress(), std::min<std::uint32_t>(source.ColourCount(), 256));

    if (!dib)
        return;
    const std::size_t planeSize = static_cast<std::size_t>(Width()) * static_cast<std::size_t>(Height());
    if (copySelection && source.selection) {
        FreeSelectionPlane();
        selection = CopyPlane(source.selection, planeSize);
        // Create reset the box; the copied mask comes with its own.
        if (selection)
            info.selectionBox = source.info.selectionBox;
    }
    if (copyAlpha && source.alpha) {
        std::free(alpha);
        alpha = CopyPlane(source.alpha, planeSize);
    }
}

void VxImage::CopyInfoFrom(const VxImage& source)
{
    if (dib || &source == this)
        return;
    CopyInfoKeepingBuffers(info, source.info, frames != nullptr, layers != nullptr);
}

bool VxImage::TakeOver(VxImage& source, bool takeFrames)
{
    if (&source == this)
        return true;
    if (!Destroy())
        return false;
    if (takeFrames)
        DestroyFrames();

    const bool keepsFrames = !takeFrames && frames != nullptr;
    const std::int32_t ownFrameCount = info.frameCount;
    header = source.header;
    info = source.info;
    if (keepsFrames)
        info.frameCount = ownFrameCount;
    dib = source.dib;
    selection = source.selection;
    alpha = source.alpha;
    layers = source.layers;
    if (takeFrames)
        frames = source.frames;

    const bool sourceWasAlias = source.info.aliasOf != nullptr;
    const std::int32_t sourceFrameCount = source.info.frameCount;
    std::memset(&source.header, 0, sizeof(source.header));
    source.info = ImageInfo{};
    source.dib = nullptr;
    source.selection = nullptr;
    source.alpha = nullptr;
    source.layers = nullptr;
    if (takeFrames) {
        source.frames = nullptr;
    } else if (sourceWasAlias) {
        // The frames were borrowed; with the alias link gone the source must not free them.
        source.frames = nullptr;
    } else {
        // The source still owns its frames: keep the count that lets it free them.
        source.info.frameCount = sourceFrameCount;
    }
    return true;
}

void VxImage::MakeAlias(const VxImage* source)
{
    if (!source || source == this)
        return;
    // Buffers this image owned would otherwise be lost.
    DestroyFrames();
    Destroy();
    header = source->header;
    info = source->info;
    dib = source->dib;
    selection = source->selection;
    alpha = source->alpha;
    layers = source->layers;
    frames = source->frames;
    info.aliasOf = const_cast<VxImage*>(source);
}

void VxImage::Clear(std::uint8_t fill)
{
    if (!dib)
        return;
    if (header.biBitCount == 1)
        fill = fill ? 0xFF : 0x00;
    else if (header.biBitCount == 4)
        fill = static_cast<std::uint8_t>((fill & 0x0F) * 17);
    std::memset(info.bits, fill, header.biSizeImage);
}

// ---- Accessors ---------------------------------------------------------------------------

void VxImage::SetLastError(const char* text)
{
    if (!text)
        text = "";
    std::size_t length = 0;
    while (length < sizeof(info.lastError) - 1 && text[length] != '\0')
        ++length;
    std::memmove(info.lastError, text, length);
    info.lastError[length] = '\0';
}

std::uint32_t VxImage::DibSize() const
{
    return header.biSize + 4 * header.biClrUsed + header.biSizeImage;
}

RGBQUAD* VxImage::PaletteAddress() const
{
    if (!dib || header.biClrUsed == 0)
        return nullptr;
    return reinterpret_cast<RGBQUAD*>(dib + kHeaderSize);
}

std::uint8_t* VxImage::RowAddress(std::uint32_t y) const
{
    if (!dib || y >= static_cast<std::uint32_t>(header.biHeight))
        return nullptr;
    return info.bits + static_cast<std::size_t>(y) * info.rowStride;
}

void VxImage::SetXDpi(std::int32_t dpi)
{
    StoreResolution(dpi, info.xDpi, header.biXPelsPerMeter, dib, offsetof(BITMAPINFOHEADER, biXPelsPerMeter));
}

void VxImage::SetYDpi(std::int32_t dpi)
{
    StoreResolution(dpi, info.yDpi, header.biYPelsPerMeter, dib, offsetof(BITMAPINFOHEADER, biYPelsPerMeter));
}

void VxImage::SetTransparentIndex(std::int32_t index)
{
    info.transparentIndex = static_cast<std::int64_t>(index) < static_cast<std::int64_t>(header.biClrUsed) ? index : 0;
}

void VxImage::SetTransparentColour(RGBQUAD colour)
{
    colour.rgbReserved = 0;
    info.transparentColour = colour;
}

RGBQUAD VxImage::TransparentColour() const
{
    if (header.biBitCount < 24 && info.transparentIndex >= 0)
        return PaletteEntry(static_cast<std::uint8_t>(info.transparentIndex));
    return info.transparentColour;
}

void VxImage::SetOffset(std::int32_t x, std::int32_t y)
{
    info.xOffset = x;
    info.yOffset = y;
}

void VxImage::SetGifDisposal(std::uint8_t disposal)
{
    info.gifDisposal = disposal;
}

void VxImage::SetDecodeAllFrames(bool all)
{
    info.decodeAllFrames = all;
}

std::uint32_t VxImage::OptionSlot(std::uint32_t type)
{
    switch (type) {
    case kVxTypeBmp: return 1;
    case kVxTypeGif: return 2;
    case kVxTypeJpg: return 3;
    case kVxTypeIco: return 4;
    case kVxTypeTga: return 5;
    case kVxTypePcx: return 6;
    case kVxTypeWbmp: return 7;
    case kVxTypeWmf: return 8;
    case kVxTypeSka: return 9;
    default: return 0;
    }
}

std::uint32_t VxImage::CodecOption(std::uint32_t format) const
{
    std::uint32_t slot = OptionSlot(format);
    if (slot == 0)
        slot = OptionSlot(info.type);
    return info.codecOptions[slot];
}

std::uint16_t VxImage::Swap16(std::uint16_t v) const
{
    if (info.littleEndianHost)
        return v;
    return static_cast<std::uint16_t>((v >> 8) | (v << 8));
}

std::uint32_t VxImage::Swap32(std::uint32_t v) const
{
    if (info.littleEndianHost)
        return v;
    return (v >> 24) | ((v >> 8) & 0x0000FF00u) | ((v << 8) & 0x00FF0000u) | (v << 24);
}

void VxImage::SwapHeaderBytes(BITMAPINFOHEADER& h) const
{
    const auto swapSigned = [this](LONG v) {
        return static_cast<LONG>(Swap32(static_cast<std::uint32_t>(v)));
    };
    h.biSize = Swap32(h.biSize);
    h.biWidth = swapSigned(h.biWidth);
    h.biHeight = swapSigned(h.biHeight);
    h.biPlanes = Swap16(h.biPlanes);
    h.biBitCount = Swap16(h.biBitCount);
    h.biCompression = Swap32(h.biCompression);
    h.biSizeImage = Swap32(h.biSizeImage);
    h.biXPelsPerMeter = swapSigned(h.biXPelsPerMeter);
    h.biYPelsPerMeter = swapSigned(h.biYPelsPerMeter);
    h.biClrUsed = Swap32(h.biClrUsed);
    h.biClrImportant = Swap32(h.biClrImportant);
}

RGBQUAD VxImage::ColorRefToQuad(COLORREF colour)
{
    RGBQUAD quad;
    quad.rgbBlue = static_cast<BYTE>((colour >> 16) & 0xFF);
    quad.rgbGreen = static_cast<BYTE>((colour >> 8) & 0xFF);
    quad.rgbRed = static_cast<BYTE>(colour & 0xFF);
    quad.rgbReserved = 0;
    return quad;
}

COLORREF VxImage::QuadToColorRef(RGBQUAD colour)
{
    return static_cast<COLORREF>(colour.rgbRed) | (static_cast<COLORREF>(colour.rgbGreen) << 8) |
           (static_cast<COLORREF>(colour.rgbBlue) << 16);
}

// ---- Pixel access ---------------------------------------------------------------------------

bool VxImage::IsInside(std::int32_t x, std::int32_t y) const
{
    return x >= 0 && x < header.biWidth && y >= 0 && y < header.biHeight;
}

std::uint8_t VxImage::PixelIndex(std::int32_t x, std::int32_t y) const
{
    if (!dib || !HasPalette())
        return 0;
    if (!IsInside(x, y)) {
        if (info.transparentIndex >= 0)
            return static_cast<std::uint8_t>(info.transparentIndex);
        // The first pixel stands in for the outside; at 1 and 4 bits it is one bit or
        // nibble of the first byte, not the whole byte.
        return PixelIndexUnchecked(0, 0);
    }
    return PixelIndexUnchecked(x, y);
}

std::uint8_t VxImage::PixelIndexUnchecked(std::int32_t x, std::int32_t y) const
{
    const std::uint8_t* row = info.bits + static_cast<std::size_t>(y) * info.rowStride;
    switch (header.biBitCount) {
    case 8:
        return row[x];
    case 4:
        return static_cast<std::uint8_t>((row[x >> 1] >> (4 - 4 * (x & 1))) & 0x0F);
    case 1:
        return static_cast<std::uint8_t>((row[x >> 3] >> (7 - (x & 7))) & 0x01);
    default:
        return 0;
    }
}

void VxImage::SetPixelIndex(std::int32_t x, std::int32_t y, std::uint8_t index)
{
    if (!dib || !HasPalette() || !IsInside(x, y))
        return;
    SetPixelIndexUnchecked(x, y, index);
}

void VxImage::SetPixelIndexUnchecked(std::int32_t x, std::int32_t y, std::uint8_t index)
{
    std::uint8_t* row = info.bits + static_cast<std::size_t>(y) * info.rowStride;
    switch (header.biBitCount) {
    case 8:
        row[x] = index;
        break;
    case 4: {
        const int shift = 4 - 4 * (x & 1);
        std::uint8_t& byte = row[x >> 1];
        byte = static_cast<std::uint8_t>((byte & ~(0x0F << shift)) | ((index & 0x0F) << shift));
        break;
    }
    case 1: {
        const int shift = 7 - (x & 7);
        std::uint8_t& byte = row[x >> 3];
        byte = static_cast<std::uint8_t>((byte & ~(1 << shift)) | ((index & 1) << shift));
        break;
    }
    default:
        break;
    }
}

RGBQUAD VxImage::PixelColour(std::int32_t x, std::int32_t y, bool withAlpha) const
{
    if (!dib || !IsInside(x, y)) {
        if (info.transparentIndex >= 0) {
            if (header.biBitCount < 24)
                return PaletteEntry(static_cast<std::uint8_t>(info.transparentIndex));
            return info.transparentColour;
        }
        return dib ? PixelColour(0, 0, true) : info.transparentColour;
    }

    RGBQUAD colour = PixelColourUnchecked(x, y, withAlpha);
    // Without an alpha level to report, a 24-bit pixel carries the transparent colour's fourth byte.
    if (!HasPalette() && !(alpha && withAlpha))
        colour.rgbReserved = info.transparentColour.rgbReserved;
    return colour;
}

RGBQUAD VxImage::PixelColourUnchecked(std::int32_t x, std::int32_t y, bool withAlpha) const
{
    RGBQUAD colour;
    if (HasPalette()) {
        colour = PaletteEntry(PixelIndexUnchecked(x, y));
    } else {
        const std::uint8_t* pixel = info.bits + static_cast<std::size_t>(y) * info.rowStride + 3 * static_cast<std::size_t>(x);
        colour.rgbBlue = pixel[0];
        colour.rgbGreen = pixel[1];
        colour.rgbRed = pixel[2];
        colour.rgbReserved = 0;
    }
    if (alpha && withAlpha)
        colour.rgbReserved = alpha[static_cast<std::size_t>(y) * static_cast<std::size_t>(header.biWidth) + x];
    return colour;
}

void VxImage::SetPixelColour(std::int32_t x, std::int32_t y, RGBQUAD colour, bool withAlpha)
{
    if (!dib || !IsInside(x, y))
        return;
    SetPixelColourUnchecked(x, y, colour, withAlpha);
}

void VxImage::SetPixelColourUnchecked(std::int32_t x, std::int32_t y, RGBQUAD colour, bool withAlpha)
{
    if (HasPalette()) {
        SetPixelIndexUnchecked(x, y, NearestIndex(colour));
    } else {
        std::uint8_t* pixel = info.bits + static_cast<std::size_t>(y) * info.rowStride + 3 * static_cast<std::size_t>(x);
        pixel[0] = colour.rgbBlue;
        pixel[1] = colour.rgbGreen;
        pixel[2] = colour.rgbRed;
    }
    if (withAlpha && alpha)
        alpha[static_cast<std::size_t>(y) * static_cast<std::size_t>(header.biWidth) + x] = colour.rgbReserved;
}

void VxImage::SetPixelColorRef(std::int32_t x, std::int32_t y, COLORREF colour)
{
    SetPixelColour(x, y, ColorRefToQuad(colour), false);
}

std::uint8_t* VxImage::PixelAddress24(std::int32_t x, std::int32_t y) const
{
    if (!dib || HasPalette())
        return nullptr;
    return info.bits + static_cast<std::ptrdiff_t>(y) * info.rowStride + 3 * static_cast<std::ptrdiff_t>(x);
}

// ---- Palette access --------------------------------------------------------------------------

RGBQUAD VxImage::PaletteEntry(std::uint8_t index) const
{
    const RGBQUAD* palette = PaletteAddress();
    if (!palette || index >= header.biClrUsed)
        return RGBQUAD{0, 0, 0, 0};
    return palette[index];
}

bool VxImage::PaletteEntryParts(std::uint8_t index, std::uint8_t& red, std::uint8_t& green,
                                std::uint8_t& blue) const
{
    const RGBQUAD* palette = PaletteAddress();
    // An index past the palette would read pixel bytes or run off the block.
    if (!palette || index >= header.biClrUsed) {
        red = green = blue = 0;
        return false;
    }
    red = palette[index].rgbRed;
    green = palette[index].rgbGreen;
    blue = palette[index].rgbBlue;
    return true;
}

void VxImage::SetPaletteEntry(std::uint8_t index, std::uint8_t red, std::uint8_t green, std::uint8_t blue,
                              std::uint8_t fourth)
{
    SetPaletteEntry(index, RGBQUAD{blue, green, red, fourth});
}

void VxImage::SetPaletteEntry(std::uint8_t index, RGBQUAD quad)
{
    RGBQUAD* palette = PaletteAddress();
    if (!palette || index >= header.biClrUsed)
        return;
    palette[index] = quad;
    info.nearestValid = false;
}

void VxImage::SetPalette(const RGBQUAD* quads, std::uint32_t count)
{
    RGBQUAD* palette = PaletteAddress();
    if (!quads || !palette)
        return;
    std::memcpy(palette, quads, std::min<std::uint64_t>(4ull * count, PaletteSize()));
    info.nearestValid = false;
}

void VxImage::SetPalette(const RGBTRIPLE* triples, std::uint32_t count)
{
    RGBQUAD* palette = PaletteAddress();
    if (!triples || !palette)
        return;
    // The triples come from files that store red, green, blue in that byte order.
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(triples);
    const std::uint32_t n = std::min<std::uint32_t>(count, header.biClrUsed);
    for (std::uint32_t i = 0; i < n; ++i) {
        palette[i].rgbRed = bytes[3 * i];
        palette[i].rgbGreen = bytes[3 * i + 1];
        palette[i].rgbBlue = bytes[3 * i + 2];
    }
    info.nearestValid = false;
}

void VxImage::SetPalette(std::uint32_t count, const std::uint8_t* reds, const std::uint8_t* greens,
                         const std::uint8_t* blues)
{
    RGBQUAD* palette = PaletteAddress();
    if (!reds || !palette)
        return;
    if (!greens)
        greens = reds;
    if (!blues)
        blues = greens;
    const std::uint32_t n = std::min<std::uint32_t>(count, header.biClrUsed);
    for (std::uint32_t i = 0; i < n; ++i) {
        palette[i].rgbRed = reds[i];
        palette[i].rgbGreen = greens[i];
        palette[i].rgbBlue = blues[i];
    }
    info.nearestValid = false;
}

std::uint8_t VxImage::NearestIndex(RGBQUAD colour)
{
    const RGBQUAD* palette = PaletteAddress();
    if (!palette)
        return 0;
    if (info.nearestValid && std::memcmp(&colour, &info.nearestColour, sizeof(colour)) == 0)
        return info.nearestIndex;
    info.nearestColour = colour;
    info.nearestValid = true;

    // biClrImportant may come from a file: never search past the palette.
    std::uint32_t count = header.biClrImportant ? header.biClrImportant : header.biClrUsed;
    count = std::min<std::uint32_t>(count, header.biClrUsed);
    std::uint32_t bestDistance = 200000;
    std::uint8_t best = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint32_t distance = ColourDistance(colour, palette[i]);
        if (distance < bestDistance) {
            bestDistance = distance;
            best = static_cast<std::uint8_t>(i);
            if (distance == 0)
                break;
        }
    }
    info.nearestIndex = best;
    return best;
}
