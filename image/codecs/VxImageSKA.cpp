// VxImageSKA: reading and writing SKA pictures. The header has no room for anything but
// the size, so the reader takes the size on trust only once the palette and every pixel
// row are known to be in the stream.
#include "image/codecs/VxImageSKA.h"

#include "image/codecs/CodecSupport.h"

#include <cstdint>
#include <vector>

namespace {

constexpr std::size_t kHeaderSize = 9;
constexpr std::size_t kPaletteEntries = 256;
constexpr std::size_t kPaletteSize = 3 * kPaletteEntries;
constexpr std::uint8_t kFormatCode = 3;
constexpr std::uint32_t kMarker = 0x01000000; // the bytes 00 00 00 01
constexpr std::uint32_t kLargestSide = 0x7FFF;
constexpr const char* kTruncated = "Corrupted SKA: the file ends before its last pixel row";

} // namespace

VxImageSKA::VxImageSKA() : VxImage(kVxTypeSka) {}

VxImageSKA::~VxImageSKA() = default;

bool VxImageSKA::Decode(VxStream* stream)
{
    if (!stream)
        return false;
    return RunCodec(*this, [&] {
        std::uint8_t fields[kHeaderSize];
        if (!ReadExact(*stream, fields, sizeof fields))
            return false;
        const std::uint32_t width = Swap16(LoadU16LE(fields));
        const std::uint32_t height = Swap16(LoadU16LE(fields + 2));
        if (fields[4] != kFormatCode || Swap32(LoadU32LE(fields + 5)) != kMarker || width == 0 ||
            height == 0 || width > kLargestSide || height > kLargestSide)
            return false; // not an SKA header: no message
        const std::uint64_t dataBytes = kPaletteSize + std::uint64_t{width} * height;
        if (dataBytes > static_cast<std::uint64_t>(BytesLeft(*stream)))
            FailWith(kTruncated);

        if (info.escape == -1) { // the size only
            header.biWidth = static_cast<LONG>(width);
            header.biHeight = static_cast<LONG>(height);
            info.type = kVxTypeSka;
            return true;
        }

        if (!Create(width, height, 8, kVxTypeSka))
            return false; // Create's own message stays
        std::vector<std::uint8_t> palette(kPaletteSize);
        ReadOrFail(*stream, palette.data(), kPaletteSize, kTruncated);
        SetPalette(reinterpret_cast<const RGBTRIPLE*>(palette.data()), kPaletteEntries);
        // File rows run top down, bitmap rows bottom up: each row goes straight to its place.
        for (std::uint32_t row = 0; row < height; ++row)
            ReadOrFail(*stream, RowAddress(height - 1 - row), width, kTruncated);
        return true;
    });
}

bool VxImageSKA::Encode(VxStream* stream)
{
    if (!EncodePrecheck(stream))
        return false;
    if (BitsPerPixel() > 8) {
        SetLastError("SKA Images must be 8 bit or less");
        return false;
    }
    const auto width = static_cast<std::uint32_t>(Width());
    const auto height = static_cast<std::uint32_t>(Height());
    // Larger sizes do not fit the 16-bit fields as a reader accepts them.
    if (width > kLargestSide || height > kLargestSide) {
        SetLastError("SKA images can be at most 32767 pixels wide and high");
        return false;
    }
    return RunCodec(*this, [&] {
        std::uint8_t fields[kHeaderSize];
        StoreU16LE(fields, Swap16(static_cast<std::uint16_t>(width)));
        StoreU16LE(fields + 2, Swap16(static_cast<std::uint16_t>(height)));
        fields[4] = kFormatCode;
        StoreU32LE(fields + 5, Swap32(kMarker));
        WriteOrFail(*stream, fields, sizeof fields);

        // Pictures of fewer bits are written as 8-bit ones: their palette first, the unused
        // entries black, and one index a byte. The picture itself is left as it is.
        std::vector<std::uint8_t> palette(kPaletteSize, 0);
        const RGBQUAD* entries = PaletteAddress();
        for (std::uint32_t i = 0; entries && i < ColourCount() && i < kPaletteEntries; ++i) {
            palette[3 * i] = entries[i].rgbRed;
            palette[3 * i + 1] = entries[i].rgbGreen;
            palette[3 * i + 2] = entries[i].rgbBlue;
        }
        WriteOrFail(*stream, palette.data(), kPaletteSize);

        const bool bytePerPixel = BitsPerPixel() == 8;
        std::vector<std::uint8_t> line(bytePerPixel ? 0 : width);
        for (std::uint32_t row = 0; row < height; ++row) {
            const auto y = static_cast<std::int32_t>(height - 1 - row);
            const std::uint8_t* pixels = RowAddress(static_cast<std::uint32_t>(y));
            if (!bytePerPixel) {
                for (std::uint32_t x = 0; x < width; ++x)
                    line[x] = PixelIndexUnchecked(static_cast<std::int32_t>(x), y);
                pixels = line.data();
            }
            WriteOrFail(*stream, pixels, width);
        }
        return true;
    });
}
