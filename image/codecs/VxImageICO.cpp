// VxImageICO: the icon directory (6-byte header, 16-byte entries), one entry's DIB (a 40-byte
// header whose height counts colour rows and mask rows, the colour table, colour rows, then a
// one-bit mask with 1 = transparent), and the one-image writer. A directory that is no icon
// directory fails without a message (detection tries other codecs); damage found after that
// fails with one. Counts and offsets are checked against the stream before they are used.
#include "image/codecs/VxImageICO.h"

#include "image/VxStream.h"
#include "image/codecs/CodecSupport.h"
#include "image/codecs/DibFormat.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace {

constexpr std::uint32_t kDirectoryHeaderSize = 6;
constexpr std::uint32_t kEntrySize = 16;
constexpr std::uint32_t kLargestSide = 256; // stored as 0 in a directory entry

constexpr char kBadImage[] = "Error reading icon image";
constexpr char kPngImage[] = "PNG-compressed icon images are not supported";
constexpr char kCantSave[] = "Can't save this image as icon";

struct DirectoryEntry {
    std::uint32_t width, height; // 1 to 256
    std::uint32_t offset;        // of the image data, from the start of the directory
};

std::uint32_t SideFromByte(std::uint8_t byte)
{
    return byte == 0 ? kLargestSide : byte;
}

std::uint32_t MaskRowBytes(std::uint32_t width)
{
    return (width + 31) / 32 * 4;
}

bool MaskBit(const std::uint8_t* mask, std::uint32_t maskRow, std::int32_t x, std::int32_t y)
{
    return (mask[static_cast<std::size_t>(y) * maskRow + static_cast<std::size_t>(x) / 8] >> (7 - (x & 7))) & 1;
}

} // namespace

bool VxImageICO::Decode(VxStream* stream)
{
    if (!stream)
        return false;
    return RunCodec(*this, [&] { return DecodeFrom(*stream); });
}

bool VxImageICO::DecodeFrom(VxStream& stream)
{
    const std::int32_t start = stream.Tell();
    std::uint8_t directory[kDirectoryHeaderSize];
    if (!ReadExact(stream, directory, sizeof directory))
        return false;
    const std::uint16_t kind = LoadU16LE(directory + 2);
    if (LoadU16LE(directory) != 0 || (kind != 1 && kind != 2))
        return false;
    const std::uint32_t count = LoadU16LE(directory + 4);
    info.frameCount = static_cast<std::int32_t>(count);
    // The entries must all be there; only the wanted one is kept.
    if (std::int64_t{count} * kEntrySize > BytesLeft(stream))
        FailWith(kBadImage);
    if (info.frame < 0 || static_cast<std::uint32_t>(info.frame) >= count)
        return false;

    std::uint8_t bytes[kEntrySize];
    if (!stream.Seek(static_cast<std::int32_t>(kEntrySize) * info.frame, SEEK_CUR) ||
        !ReadExact(stream, bytes, sizeof bytes))
        FailWith(kBadImage);
    const DirectoryEntry entry{SideFromByte(bytes[0]), SideFromByte(bytes[1]), LoadU32LE(bytes + 12)};

    if (info.escape == -1) {
        header.biWidth = static_cast<LONG>(entry.width);
        header.biHeight = static_cast<LONG>(entry.height);
        info.type = kVxTypeIco;
        return true;
    }

    if (std::int64_t{start} + entry.offset + vx::dib::kInfoHeaderSize > stream.Size() ||
        !stream.Seek(start + static_cast<std::int32_t>(entry.offset), SEEK_SET))
        FailWith(kBadImage);
    std::uint8_t signature[4];
    if (!ReadExact(stream, signature, sizeof signature) || !stream.Seek(-4, SEEK_CUR))
        FailWith(kBadImage);
    if (std::memcmp(signature, "\x89PNG", 4) == 0)
        FailWith(kPngImage);

    vx::dib::InfoHeader infoHeader;
    if (!vx::dib::ReadInfoHeader(stream, infoHeader) || infoHeader.fields.biCompression != BI_RGB)
        FailWith(kBadImage);
    const std::uint32_t bits = infoHeader.fields.biBitCount;
    if (!Create(entry.width, entry.height, bits, kVxTypeIco))
        return false;
    if (HasPalette())
        vx::dib::ReadColourTable(*this, stream, infoHeader.fields.biClrUsed, infoHeader.core, kBadImage);
    vx::dib::ReadUncompressedPixels(*this, stream, bits, vx::dib::DefaultMasks(bits), kBadImage);

    // The mask: a file that ends before it has none, and a mask cut short masks nothing more.
    const std::uint32_t maskRow = MaskRowBytes(entry.width);
    std::vector<std::uint8_t> mask(std::size_t{maskRow} * entry.height);
    const std::uint32_t got = stream.Read(mask.data(), 1, mask.size());
    if (got == 0)
        return true;
    std::fill(mask.begin() + got, mask.end(), std::uint8_t{0});
    ApplyMask(mask.data(), maskRow);
    return true;
}

// Translates the mask into the image's transparency. A 32-bit entry's own opacity is kept and
// only cleared where the mask says transparent. Otherwise a mask over every pixel marks an inverting
// icon; an unused palette index takes every masked pixel; a single colour or index that only
// masked pixels have becomes the transparent one; and any other mask becomes an alpha plane.
void VxImageICO::ApplyMask(const std::uint8_t* mask, std::uint32_t maskRow)
{
    const std::int32_t width = Width();
    const std::int32_t height = Height();
    const bool ownOpacity = HasAlpha();

    const auto sameKey = [this](std::int32_t x, std::int32_t y, std::int32_t kx, std::int32_t ky) {
        if (HasPalette())
            return PixelIndexUnchecked(x, y) == PixelIndexUnchecked(kx, ky);
        return std::memcmp(PixelAddress24(x, y), PixelAddress24(kx, ky), 3) == 0;
    };
    std::array<bool, 256> used{};
    std::int32_t firstX = -1, firstY = -1;
    bool oneKey = true;
    std::int64_t maskedCount = 0;
    for (std::int32_t y = 0; y < height; ++y) {
        for (std::int32_t x = 0; x < width; ++x) {
            if (HasPalette())
                used[PixelIndexUnchecked(x, y)] = true;
            if (!MaskBit(mask, maskRow, x, y))
                continue;
            ++maskedCount;
            if (firstX < 0) {
                firstX = x;
                firstY = y;
            } else if (oneKey) {
                oneKey = sameKey(x, y, firstX, firstY);
            }
        }
    }
    if (firstX < 0)
        return; // nothing masked
    if (!ownOpacity && maskedCount == std::int64_t{width} * height) {
        SetTransparentIndex(0);
        Invert();
        return;
    }

    const auto forEachMasked = [&](auto visit) {
        for (std::int32_t y = 0; y < height; ++y)
            for (std::int32_t x = 0; x < width; ++x)
                if (MaskBit(mask, maskRow, x, y))
                    visit(x, y);
    };
    if (ownOpacity) {
        forEachMasked([this](std::int32_t x, std::int32_t y) { SetAlphaAt(x, y, 0); });
        return;
    }
    if (HasPalette()) {
        for (std::int32_t unused = static_cast<std::int32_t>(ColourCount()) - 1; unused >= 0; --unused) {
            if (used[static_cast<std::size_t>(unused)])
                continue;
            forEachMasked([this, unused](std::int32_t x, std::int32_t y) {
                SetPixelIndexUnchecked(x, y, static_cast<std::uint8_t>(unused));
            });
            SetTransparentIndex(unused);
            return;
        }
    }
    // One colour (or index) that unmasked pixels do not share describes the mask exactly.
    bool exact = oneKey;
    for (std::int32_t y = 0; y < height && exact; ++y)
        for (std::int32_t x = 0; x < width && exact; ++x)
            exact = MaskBit(mask, maskRow, x, y) || !sameKey(x, y, firstX, firstY);
    if (exact) {
        SetTransparentColour(PixelColourUnchecked(firstX, firstY, false));
        SetTransparentIndex(PixelIndexUnchecked(firstX, firstY));
        return;
    }
    if (!CreateAlpha())
        FailWith(LastError());
    forEachMasked([this](std::int32_t x, std::int32_t y) { SetAlphaAt(x, y, 0); });
}

bool VxImageICO::Encode(VxStream* stream)
{
    if (!EncodePrecheck(stream))
        return false;
    if (Width() > static_cast<std::int32_t>(kLargestSide) || Height() > static_cast<std::int32_t>(kLargestSide) ||
        (BitsPerPixel() <= 8 && !HasPalette())) {
        SetLastError(kCantSave);
        return false;
    }
    return RunCodec(*this, [&] {
        EncodeTo(*stream);
        return true;
    });
}

// A pixel is transparent in the icon when its opacity (from the alpha plane or the palette) is 0
// or when it has the transparent colour.
bool VxImageICO::IsMaskedForSave(std::int32_t x, std::int32_t y, bool paletteAlpha) const
{
    if (HasAlpha() && AlphaAtUnchecked(x, y) == 0)
        return true;
    if (paletteAlpha && PixelColourUnchecked(x, y, true).rgbReserved == 0)
        return true;
    if (info.transparentIndex < 0)
        return false;
    const RGBQUAD colour = PixelColour(x, y, false);
    const RGBQUAD transparent = TransparentColour();
    return std::memcmp(&colour, &transparent, sizeof colour) == 0;
}

void VxImageICO::EncodeTo(VxStream& stream)
{
    const auto width = static_cast<std::uint32_t>(Width());
    const auto height = static_cast<std::uint32_t>(Height());
    const bool withOpacity = !HasPalette() && HasAlpha();
    const std::uint32_t bits = withOpacity ? 32 : BitsPerPixel();
    const std::uint32_t rowSize = withOpacity ? width * 4 : RowStride();
    const std::uint32_t imageSize = rowSize * height;
    const std::uint32_t maskRow = MaskRowBytes(width);
    const std::uint32_t colours = ColourCount();

    std::vector<std::uint8_t> mask(std::size_t{maskRow} * height, 0);
    const bool paletteAlpha = HasPalette() && PaletteHasAlpha();
    for (std::uint32_t y = 0; y < height; ++y)
        for (std::uint32_t x = 0; x < width; ++x)
            if (IsMaskedForSave(static_cast<std::int32_t>(x), static_cast<std::int32_t>(y), paletteAlpha))
                mask[std::size_t{y} * maskRow + x / 8] |= static_cast<std::uint8_t>(0x80 >> (x & 7));

    std::uint8_t head[kDirectoryHeaderSize + kEntrySize + vx::dib::kInfoHeaderSize] = {};
    StoreU16LE(head + 2, 1); // an icon
    StoreU16LE(head + 4, 1); // one image
    std::uint8_t* entry = head + kDirectoryHeaderSize;
    entry[0] = static_cast<std::uint8_t>(width); // 256 is stored as 0
    entry[1] = static_cast<std::uint8_t>(height);
    entry[2] = static_cast<std::uint8_t>(colours);
    StoreU16LE(entry + 6, static_cast<std::uint16_t>(bits));
    StoreU32LE(entry + 8, vx::dib::kInfoHeaderSize + 4 * colours + imageSize + static_cast<std::uint32_t>(mask.size()));
    StoreU32LE(entry + 12, kDirectoryHeaderSize + kEntrySize);
    // The header's height counts the colour rows and the mask rows.
    BITMAPINFOHEADER fields{};
    fields.biSize = vx::dib::kInfoHeaderSize;
    fields.biWidth = static_cast<LONG>(width);
    fields.biHeight = static_cast<LONG>(2 * height);
    fields.biPlanes = 1;
    fields.biBitCount = static_cast<WORD>(bits);
    fields.biSizeImage = imageSize;
    vx::dib::StoreInfoHeader(entry + kEntrySize, fields);
    WriteOrFail(stream, head, sizeof head);

    // Where the mask is set the screen shows through only if the colour bits are 0: the
    // transparent palette entry goes out black (the image's own palette is left as it is), and
    // so do masked 24-bit pixels. 32-bit pixels carry their opacity instead.
    if (colours) {
        std::vector<RGBQUAD> palette(PaletteAddress(), PaletteAddress() + colours);
        if (info.transparentIndex >= 0 && static_cast<std::uint32_t>(info.transparentIndex) < colours)
            palette[static_cast<std::size_t>(info.transparentIndex)] = RGBQUAD{0, 0, 0, 0};
        WriteOrFail(stream, palette.data(), 4 * std::size_t{colours});
    }
    if (withOpacity) {
        vx::dib::WriteRowsWithOpacity(*this, stream);
    } else if (colours) {
        WriteOrFail(stream, info.bits, imageSize);
    } else {
        std::vector<std::uint8_t> row(rowSize);
        for (std::uint32_t y = 0; y < height; ++y) {
            std::memcpy(row.data(), RowAddress(y), rowSize);
            for (std::uint32_t x = 0; x < width; ++x)
                if (MaskBit(mask.data(), maskRow, static_cast<std::int32_t>(x), static_cast<std::int32_t>(y)))
                    std::memset(&row[3 * std::size_t{x}], 0, 3);
            WriteOrFail(stream, row.data(), rowSize);
        }
    }
    WriteOrFail(stream, mask.data(), mask.size());
}
