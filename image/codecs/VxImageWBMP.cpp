// VxImageWBMP: reading and writing type-0 wireless bitmaps. The header is so short and so
// loosely defined that many other files begin with bytes that could pass for one, so the
// reader insists on what a type-0 file must have (fixed header 0, a size of at least one
// pixel) and finds every row in the stream before it allocates anything.
#include "image/codecs/VxImageWBMP.h"

#include "image/codecs/CodecSupport.h"

#include <cstdint>
#include <limits>
#include <vector>

namespace {

constexpr const char* kNotWbmp = "Not a WBMP";
constexpr const char* kCorrupted = "Corrupted WBMP";
constexpr const char* kTruncated = "Corrupted WBMP: the file ends inside its rows";
constexpr std::uint32_t kLargestSide = std::numeric_limits<std::int32_t>::max();

std::uint32_t RowBytes(std::uint32_t width)
{
    return static_cast<std::uint32_t>((std::uint64_t{width} + 7) / 8);
}

} // namespace

VxImageWBMP::VxImageWBMP() : VxImage(kVxTypeWbmp) {}

VxImageWBMP::~VxImageWBMP() = default;

bool VxImageWBMP::ReadMultiByte(VxStream* stream, std::uint32_t& value)
{
    value = 0;
    if (!stream || stream->Eof())
        return false;
    for (;;) {
        const int byte = stream->GetC();
        if (byte < 0)
            return false;
        if (value > (std::numeric_limits<std::uint32_t>::max() >> 7))
            return false; // a further group would push the value beyond 32 bits
        value = value << 7 | static_cast<std::uint32_t>(byte & 0x7F);
        if (!(byte & 0x80))
            return true;
    }
}

bool VxImageWBMP::WriteMultiByte(VxStream* stream, std::uint32_t value)
{
    if (!stream)
        return false;
    int shift = 28; // the highest 7-bit group of a 32-bit value starts at bit 28
    while (shift > 0 && (value >> shift) == 0)
        shift -= 7;
    for (; shift > 0; shift -= 7)
        if (!stream->PutC(static_cast<std::uint8_t>(0x80 | ((value >> shift) & 0x7F))))
            return false;
    return stream->PutC(static_cast<std::uint8_t>(value & 0x7F));
}

bool VxImageWBMP::Decode(VxStream* stream)
{
    if (!stream)
        return false;
    return RunCodec(*this, [&] {
        std::uint32_t type = 0, fixedHeader = 0, width = 0, height = 0;
        const bool headerRead = ReadMultiByte(stream, type) && ReadMultiByte(stream, fixedHeader) &&
                                ReadMultiByte(stream, width) && ReadMultiByte(stream, height);
        if (!headerRead || BytesLeft(*stream) == 0)
            FailWith(kNotWbmp);
        if (type != 0)
            FailWith("Unsupported WBMP type");
        // Type 0 has no extension headers, so its fixed header is 0. Insisting on it keeps
        // other files whose first bytes read as a type-0 header (SKA pictures a multiple of
        // 256 pixels wide, for one) from being taken for a WBMP.
        if (fixedHeader != 0)
            FailWith(kNotWbmp);
        if (width < 1 || height < 1 || width > kLargestSide || height > kLargestSide)
            FailWith(kCorrupted);
        const std::uint32_t rowBytes = RowBytes(width);
        std::uint64_t dataBytes = 0;
        if (!ProductWithin(rowBytes, height, dataBytes, static_cast<std::uint64_t>(BytesLeft(*stream))))
            FailWith(kTruncated);

        if (info.escape == -1) { // the size only
            header.biWidth = static_cast<LONG>(width);
            header.biHeight = static_cast<LONG>(height);
            info.type = kVxTypeWbmp;
            return true;
        }

        if (!Create(width, height, 1, kVxTypeWbmp))
            FailWith("WBMP Create failed");
        SetGreyPalette(); // 0 black, 1 white
        // File rows run top down, bitmap rows bottom up.
        for (std::uint32_t row = 0; row < height; ++row)
            if (!ReadExact(*stream, RowAddress(height - 1 - row), rowBytes))
                FailWith(kTruncated);
        return true;
    });
}

bool VxImageWBMP::Encode(VxStream* stream)
{
    if (!EncodePrecheck(stream))
        return false;
    if (BitsPerPixel() != 1) {
        SetLastError("Can't save this image as WBMP");
        return false;
    }
    return RunCodec(*this, [&] {
        const auto width = static_cast<std::uint32_t>(Width());
        const auto height = static_cast<std::uint32_t>(Height());
        if (!WriteMultiByte(stream, 0) || !WriteMultiByte(stream, 0) || !WriteMultiByte(stream, width) ||
            !WriteMultiByte(stream, height))
            FailWith(kWriteFailed);

        // In the file 1 is white. A picture whose palette puts the lighter colour first is
        // written with its bits inverted, so it keeps its look instead of turning into its
        // negative.
        const bool invert = GreyValue(PaletteEntry(0)) > GreyValue(PaletteEntry(1));
        const std::uint32_t rowBytes = RowBytes(width);
        // Bits past the last pixel are not part of the picture: they go out as 0.
        const auto lastByteMask = static_cast<std::uint8_t>(0xFF << ((8 - width % 8) % 8));
        std::vector<std::uint8_t> line(rowBytes);
        for (std::uint32_t row = 0; row < height; ++row) {
            const std::uint8_t* source = RowAddress(height - 1 - row);
            for (std::uint32_t i = 0; i < rowBytes; ++i) {
                const std::uint8_t mask = i + 1 == rowBytes ? lastByteMask : 0xFF;
                line[i] = static_cast<std::uint8_t>((invert ? ~source[i] : source[i]) & mask);
            }
            WriteOrFail(*stream, line.data(), rowBytes);
        }
        return true;
    });
}
