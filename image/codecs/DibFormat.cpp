// DIB header, colour table and uncompressed rows. Every size taken from the data is checked
// against the stream and the image memory limit before it is used for a seek or an allocation.
#include "image/codecs/DibFormat.h"

#include "image/codecs/CodecSupport.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

namespace vx::dib {

namespace {

constexpr std::uint32_t kCoreHeaderSize = 12;
constexpr std::uint32_t kOs2HeaderSize = 64;
// Windows' later headers: 52 adds the colour masks, 56 the opacity mask, 108 and 124 colour
// spaces. Their masks are part of the header and hold even without BI_BITFIELDS in some writers,
// so they are only used when the compression says bit fields.
constexpr std::uint32_t kMaskHeaderSizes[] = {52, 56, 108, 124};

bool IsMaskHeaderSize(std::uint32_t size)
{
    return std::find(std::begin(kMaskHeaderSizes), std::end(kMaskHeaderSizes), size) != std::end(kMaskHeaderSizes);
}

bool IsPixelDepth(std::uint32_t bits)
{
    return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

void UnpackInfoFields(const std::uint8_t* p, BITMAPINFOHEADER& h)
{
    h.biSize = LoadU32LE(p);
    h.biWidth = static_cast<LONG>(LoadU32LE(p + 4));
    h.biHeight = static_cast<LONG>(LoadU32LE(p + 8));
    h.biPlanes = LoadU16LE(p + 12);
    h.biBitCount = LoadU16LE(p + 14);
    h.biCompression = LoadU32LE(p + 16);
    h.biSizeImage = LoadU32LE(p + 20);
    h.biXPelsPerMeter = static_cast<LONG>(LoadU32LE(p + 24));
    h.biYPelsPerMeter = static_cast<LONG>(LoadU32LE(p + 28));
    h.biClrUsed = LoadU32LE(p + 32);
    h.biClrImportant = LoadU32LE(p + 36);
}

// Headers of a size this reader does not know are taken only when they describe a plain,
// palette-less picture whose declared data covers its rows: random bytes rarely do.
bool PlausibleUnknownHeader(const BITMAPINFOHEADER& h)
{
    const std::uint64_t rowWords = (std::uint64_t{h.biBitCount} * static_cast<std::uint32_t>(h.biWidth) + 31) / 32;
    const std::uint64_t needed = rowWords * static_cast<std::uint32_t>(h.biHeight) * 4;
    return h.biSizeImage >= needed && h.biPlanes == 1 && h.biClrUsed == 0;
}

// Fills `size` bytes at `target` from the stream; fewer than `minimum` raises `failure`, and
// what did not come is zeroed.
void ReadBlock(VxStream& stream, std::uint8_t* target, std::uint64_t size, std::uint64_t minimum, const char* failure)
{
    const std::uint64_t got = size == 0 ? 0 : stream.Read(target, 1, static_cast<std::size_t>(size));
    if (got < minimum)
        FailWith(failure);
    std::memset(target + got, 0, static_cast<std::size_t>(size - got));
}

// The opacity byte of every 32-bit pixel into a new plane (rows bottom-up, as read).
void TakeOpacity(VxImage& image, const std::uint8_t* pixels, std::uint32_t alphaMask)
{
    if (alphaMask != 0xFF000000u)
        return; // only byte-wide opacity in the top byte is taken; other layouts stay opaque
    const auto count = static_cast<std::size_t>(image.Width()) * static_cast<std::size_t>(image.Height());
    bool anyOpacity = false;
    for (std::size_t i = 0; i < count && !anyOpacity; ++i)
        anyOpacity = pixels[4 * i + 3] != 0;
    if (!anyOpacity)
        return;
    if (!image.CreateAlpha())
        FailWith(image.LastError());
    std::uint8_t* plane = image.AlphaAddress(0, 0);
    for (std::size_t i = 0; i < count; ++i)
        plane[i] = pixels[4 * i + 3];
}

} // namespace

std::uint64_t StoredRowBytes(std::uint64_t width, std::uint32_t bits)
{
    if (width > std::numeric_limits<std::uint32_t>::max())
        return 0;
    return (width * bits + 31) / 32 * 4;
}

bool ReadInfoHeader(VxStream& stream, InfoHeader& header)
{
    std::uint8_t bytes[kInfoHeaderSize];
    const std::uint32_t got = stream.Read(bytes, 1, sizeof bytes);
    if (got < 4)
        return false;
    BITMAPINFOHEADER& h = header.fields;
    const std::uint32_t size = LoadU32LE(bytes);
    header = InfoHeader{};

    if (size == kCoreHeaderSize) {
        if (got < kCoreHeaderSize)
            return false;
        h.biSize = size;
        h.biWidth = LoadU16LE(bytes + 4);
        h.biHeight = LoadU16LE(bytes + 6);
        h.biPlanes = LoadU16LE(bytes + 8);
        h.biBitCount = LoadU16LE(bytes + 10);
        header.core = true;
        // The stream read on into the colour table: it goes back to stand after the 12 bytes.
        if (got > kCoreHeaderSize && !stream.Seek(-static_cast<std::int32_t>(got - kCoreHeaderSize), SEEK_CUR))
            return false;
    } else {
        if (got < kInfoHeaderSize || size < kInfoHeaderSize)
            return false;
        UnpackInfoFields(bytes, h);
        std::uint32_t skip = size - kInfoHeaderSize;
        if (IsMaskHeaderSize(size)) {
            std::uint8_t masks[16] = {};
            const std::uint32_t maskBytes = std::min<std::uint32_t>(skip, sizeof masks);
            if (!ReadExact(stream, masks, maskBytes))
                return false;
            skip -= maskBytes;
            header.masksInHeader = h.biCompression == BI_BITFIELDS;
            header.masks = {LoadU32LE(masks), LoadU32LE(masks + 4), LoadU32LE(masks + 8),
                            maskBytes >= 16 ? LoadU32LE(masks + 12) : 0};
        } else if (size != kInfoHeaderSize && size != kOs2HeaderSize) {
            if (!PlausibleUnknownHeader(h))
                return false;
            // With compression the masks are expected right after the 40 bytes.
            if (h.biCompression != BI_RGB)
                skip = 0;
        }
        if (skip > BytesLeft(stream) || (skip && !stream.Seek(static_cast<std::int32_t>(skip), SEEK_CUR)))
            return false;
    }

    // The height's sign only tells the row order; its magnitude must be a number of rows.
    if (h.biWidth <= 0 || h.biHeight == 0 || h.biHeight == std::numeric_limits<LONG>::min() ||
        !IsPixelDepth(h.biBitCount))
        return false;
    if (h.biSizeImage == 0) {
        const std::uint64_t rows = h.biHeight < 0 ? -static_cast<std::int64_t>(h.biHeight) : h.biHeight;
        const std::uint64_t total = StoredRowBytes(static_cast<std::uint64_t>(h.biWidth), h.biBitCount) * rows;
        h.biSizeImage = static_cast<DWORD>(std::min<std::uint64_t>(total, std::numeric_limits<DWORD>::max()));
    }
    if (h.biClrUsed == 0 && h.biBitCount <= 8)
        h.biClrUsed = 1u << h.biBitCount;
    return true;
}

void ReadColourTable(VxImage& image, VxStream& stream, std::uint32_t count, bool core, const char* failure)
{
    const std::uint32_t entrySize = core ? 3 : 4;
    const std::uint64_t tableBytes = std::uint64_t{count} * entrySize;
    if (tableBytes > static_cast<std::uint64_t>(BytesLeft(stream)))
        FailWith(failure);
    const std::uint32_t kept = std::min(count, image.ColourCount());
    std::vector<std::uint8_t> table(std::size_t{kept} * entrySize);
    ReadOrFail(stream, table.data(), table.size(), failure);
    for (std::uint32_t i = 0; i < kept; ++i) {
        const std::uint8_t* entry = &table[std::size_t{i} * entrySize];
        image.SetPaletteEntry(static_cast<std::uint8_t>(i), RGBQUAD{entry[0], entry[1], entry[2], 0});
    }
    // Entries past the palette: stepped over, never stored.
    const std::uint64_t dropped = tableBytes - table.size();
    if (dropped && !stream.Seek(static_cast<std::int32_t>(dropped), SEEK_CUR))
        FailWith(failure);
}

BitMasks DefaultMasks(std::uint32_t bits)
{
    if (bits == 16)
        return {0x7C00, 0x03E0, 0x001F, 0};
    return {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000};
}

void ReadUncompressedPixels(VxImage& image, VxStream& stream, std::uint32_t bits, const BitMasks& masks,
                            const char* failure)
{
    const auto width = static_cast<std::uint64_t>(image.Width());
    const auto height = static_cast<std::uint64_t>(image.Height());
    const std::uint64_t fileRow = StoredRowBytes(width, bits);
    const std::uint64_t lastRowData = (width * bits + 7) / 8; // the last row may lack its padding
    const std::uint64_t size = fileRow * height;
    const std::uint64_t minimum = size - (fileRow - lastRowData);

    if (bits != 32) {
        // 16-bit rows are never longer than the 24-bit rows they become: they are read into the
        // image's own block and expanded in place.
        ReadBlock(stream, image.Info().bits, size, minimum, failure);
        if (bits == 16)
            image.BitfieldsTo24(image.Info().bits, masks.red, masks.green, masks.blue, 16);
        return;
    }
    std::uint64_t bufferSize = 0;
    if (!ProductWithin(width * 4, height, bufferSize))
        FailWith("VXIMAGE_MAX_MEMORY exceeded");
    std::unique_ptr<std::uint8_t, decltype(&std::free)> buffer(
        static_cast<std::uint8_t*>(std::malloc(static_cast<std::size_t>(bufferSize))), &std::free);
    if (!buffer)
        FailWith("can't allocate memory");
    ReadBlock(stream, buffer.get(), bufferSize, bufferSize, failure);
    if (masks.alpha)
        TakeOpacity(image, buffer.get(), masks.alpha);
    image.BitfieldsTo24(buffer.get(), masks.red, masks.green, masks.blue, 32);
}

void StoreInfoHeader(std::uint8_t* bytes, const BITMAPINFOHEADER& h)
{
    StoreU32LE(bytes, h.biSize);
    StoreU32LE(bytes + 4, static_cast<std::uint32_t>(h.biWidth));
    StoreU32LE(bytes + 8, static_cast<std::uint32_t>(h.biHeight));
    StoreU16LE(bytes + 12, h.biPlanes);
    StoreU16LE(bytes + 14, h.biBitCount);
    StoreU32LE(bytes + 16, h.biCompression);
    StoreU32LE(bytes + 20, h.biSizeImage);
    StoreU32LE(bytes + 24, static_cast<std::uint32_t>(h.biXPelsPerMeter));
    StoreU32LE(bytes + 28, static_cast<std::uint32_t>(h.biYPelsPerMeter));
    StoreU32LE(bytes + 32, h.biClrUsed);
    StoreU32LE(bytes + 36, h.biClrImportant);
}

void WriteRowsWithOpacity(const VxImage& image, VxStream& stream)
{
    const auto width = static_cast<std::size_t>(image.Width());
    std::vector<std::uint8_t> row(width * 4);
    for (std::int32_t y = 0; y < image.Height(); ++y) {
        const std::uint8_t* pixel = image.RowAddress(static_cast<std::uint32_t>(y));
        const std::uint8_t* opacity = image.AlphaAddress(0, y);
        for (std::size_t x = 0; x < width; ++x, pixel += 3) {
            std::memcpy(&row[4 * x], pixel, 3);
            row[4 * x + 3] = opacity[x];
        }
        WriteOrFail(stream, row.data(), row.size());
    }
}

} // namespace vx::dib
