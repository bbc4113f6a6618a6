// VxImageTGA: an 18-byte header, an identification field, an optional colour map, then the
// pixel rows, bottom row first unless descriptor bit 5 says top first, right to left when bit 4
// is set. Run-length files hold packets (a header byte, then one repeated pixel or up to 128
// literal pixels) that may run on from one row into the next. Each file row is gathered in its
// file format, then converted into the bitmap row; sizes are checked against the file before
// anything is allocated, and every read is checked.
#include "image/codecs/VxImageTGA.h"

#include "image/VxStream.h"
#include "image/codecs/BufferedInput.h"
#include "image/codecs/CodecSupport.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

constexpr std::size_t kHeaderSize = 18;
constexpr std::uint32_t kMaxMapLength = 256;
constexpr int kMaxPacket = 128;

// Header offsets.
constexpr std::size_t kAtIdLength = 0;
constexpr std::size_t kAtMapType = 1;
constexpr std::size_t kAtImageType = 2;
constexpr std::size_t kAtMapLength = 5;
constexpr std::size_t kAtMapEntrySize = 7;
constexpr std::size_t kAtWidth = 12;
constexpr std::size_t kAtHeight = 14;
constexpr std::size_t kAtDepth = 16;
constexpr std::size_t kAtDescriptor = 17;

constexpr std::uint8_t kRightToLeft = 0x10;
constexpr std::uint8_t kTopToBottom = 0x20;

constexpr const char* kBadHeader = "bad TGA header";
constexpr const char* kCorrupted = "corrupted TGA";
constexpr const char* kCancelled = "Cancelled";

bool IsSupportedDepth(int depth)
{
    return depth == 8 || depth == 15 || depth == 16 || depth == 24 || depth == 32;
}

// 5-5-5 colour word (bit 15 unused), each channel widened to 8 bits.
void Expand555(const std::uint8_t* word, std::uint8_t& blue, std::uint8_t& green, std::uint8_t& red)
{
    const unsigned v = LoadU16LE(word);
    blue = static_cast<std::uint8_t>((v & 0x1F) << 3);
    green = static_cast<std::uint8_t>((v >> 5 & 0x1F) << 3);
    red = static_cast<std::uint8_t>((v >> 10 & 0x1F) << 3);
}

// A packet that has not ended with the row it started in: what is left of it carries into the
// next row (a repeated pixel keeps its value, literal pixels keep coming from the file).
struct PendingPacket {
    int remaining = 0;
    bool repeat = false;
    std::uint8_t value[4] = {};
};

// One file row of `width` pixels of `pixelBytes` bytes each, from run-length packets.
void ReadPacketRow(BufferedInput& input, std::uint8_t* out, int width, std::size_t pixelBytes, PendingPacket& packet)
{
    for (int x = 0; x < width;) {
        if (packet.remaining == 0) {
            const int head = input.Next();
            if (head < 0)
                FailWith(kCorrupted);
            packet.repeat = (head & 0x80) != 0;
            packet.remaining = (head & 0x7F) + 1;
            if (packet.repeat && !input.Read(packet.value, pixelBytes))
                FailWith(kCorrupted);
        }
        const int n = std::min(packet.remaining, width - x);
        std::uint8_t* at = out + static_cast<std::size_t>(x) * pixelBytes;
        if (packet.repeat) {
            for (int i = 0; i < n; ++i)
                std::memcpy(at + i * pixelBytes, packet.value, pixelBytes);
        } else if (!input.Read(at, static_cast<std::size_t>(n) * pixelBytes)) {
            FailWith(kCorrupted);
        }
        x += n;
        packet.remaining -= n;
    }
}

} // namespace

bool VxImageTGA::Decode(VxStream* stream)
{
    if (!stream)
        return false;
    return RunCodec(*this, [&] { return DecodeFrom(*stream); });
}

bool VxImageTGA::DecodeFrom(VxStream& stream)
{
    std::uint8_t head[kHeaderSize];
    ReadOrFail(stream, head, kHeaderSize, "Not a TGA");
    const int imageType = head[kAtImageType];
    const bool runLength = imageType >= 9 && imageType <= 11;
    if (!runLength && (imageType < 1 || imageType > 3))
        FailWith("Unknown TGA image type");
    const auto field = [&](std::size_t at) { return static_cast<std::uint32_t>(Swap16(LoadU16LE(head + at))); };
    const std::uint32_t width = field(kAtWidth);
    const std::uint32_t height = field(kAtHeight);
    const int depth = head[kAtDepth];
    // Colour map types above 1 are not TGA files (a PCX header, read as TGA, has its version there).
    if (width == 0 || height == 0 || field(kAtMapLength) > kMaxMapLength || !IsSupportedDepth(depth) ||
        head[kAtMapType] > 1)
        FailWith(kBadHeader);
    const std::uint32_t mapLength = head[kAtMapType] ? field(kAtMapLength) : 0;

    if (info.escape == -1) {
        header.biWidth = static_cast<LONG>(width);
        header.biHeight = static_cast<LONG>(height);
        info.type = kVxTypeTga;
        return true;
    }

    // Colour map entries of 15/16 and 32 bits take 2 and 4 bytes; every other size is read as
    // 3 (blue, green, red).
    const int entrySize = head[kAtMapEntrySize];
    const std::size_t entryBytes = entrySize == 15 || entrySize == 16 ? 2 : entrySize == 32 ? 4 : 3;
    const std::size_t pixelBytes = static_cast<std::size_t>(depth + 7) / 8;
    // The least the rest of the file must hold: the identification field, the colour map and
    // the pixels, at best one packet of header and pixel per 128 pixels when run-length encoded.
    const std::uint64_t pixels = static_cast<std::uint64_t>(width) * height;
    const std::uint64_t pixelData = runLength ? (pixels + kMaxPacket - 1) / kMaxPacket * (1 + pixelBytes) : pixels * pixelBytes;
    if (static_cast<std::uint64_t>(BytesLeft(stream)) < head[kAtIdLength] + mapLength * entryBytes + pixelData)
        FailWith(kCorrupted);

    if (!Create(width, height, static_cast<std::uint32_t>(depth), kVxTypeTga) || (depth == 32 && !CreateAlpha()))
        FailWith("TGA Create failed");
    if (info.escape)
        FailWith(kCancelled);

    BufferedInput input(stream);
    if (!input.Skip(head[kAtIdLength]))
        FailWith(kCorrupted);
    if (mapLength) {
        std::vector<std::uint8_t> map(mapLength * entryBytes);
        if (!input.Read(map.data(), map.size()))
            FailWith(kCorrupted);
        for (std::uint32_t i = 0; i < mapLength; ++i) {
            const std::uint8_t* entry = &map[i * entryBytes];
            std::uint8_t blue, green, red;
            if (entryBytes == 2) {
                Expand555(entry, blue, green, red);
            } else {
                blue = entry[0];
                green = entry[1];
                red = entry[2];
            }
            SetPaletteEntry(static_cast<std::uint8_t>(i), red, green, blue);
        }
    }
    if ((imageType == 3 || imageType == 11) && HasPalette())
        SetGreyPalette();

    const bool topFirst = (head[kAtDescriptor] & kTopToBottom) != 0;
    std::vector<std::uint8_t> fileRow(width * pixelBytes);
    PendingPacket packet;
    for (std::uint32_t y = 0; y < height; ++y) {
        if (info.escape)
            FailWith(kCancelled);
        if (runLength)
            ReadPacketRow(input, fileRow.data(), static_cast<int>(width), pixelBytes, packet);
        else if (!input.Read(fileRow.data(), fileRow.size()))
            FailWith(kCorrupted);

        const std::uint32_t bitmapRow = topFirst ? height - 1 - y : y;
        std::uint8_t* row = RowAddress(bitmapRow);
        const std::uint8_t* in = fileRow.data();
        if (depth == 8 || depth == 24) {
            std::memcpy(row, in, fileRow.size()); // indices, or blue, green, red as the bitmap holds them
        } else if (depth == 32) {
            std::uint8_t* opacity = AlphaAddress(0, static_cast<std::int32_t>(bitmapRow));
            for (std::uint32_t x = 0; x < width; ++x, in += 4, row += 3) {
                std::memcpy(row, in, 3);
                opacity[x] = in[3];
            }
        } else {
            for (std::uint32_t x = 0; x < width; ++x, in += 2, row += 3)
                Expand555(in, row[0], row[1], row[2]);
        }
    }
    if (head[kAtDescriptor] & kRightToLeft)
        MirrorHorizontal(true, true);
    return true;
}

bool VxImageTGA::Encode(VxStream* stream)
{
    if (!EncodePrecheck(stream))
        return false;
    if (BitsPerPixel() < 8) {
        SetLastError("Bit depth must be 8 or 24");
        return false;
    }
    return RunCodec(*this, [&] { return EncodeTo(*stream); });
}

bool VxImageTGA::EncodeTo(VxStream& stream)
{
    const std::int32_t width = Width();
    const std::int32_t height = Height();
    if (width > 0xFFFF || height > 0xFFFF)
        FailWith("image too large for TGA");
    const bool indexed = BitsPerPixel() == 8;
    const bool withAlpha = !indexed && HasAlpha();

    std::uint8_t head[kHeaderSize] = {};
    head[kAtMapType] = HasPalette() ? 1 : 0;
    head[kAtImageType] = indexed ? 1 : 2;
    StoreU16LE(head + kAtMapLength, Swap16(indexed ? 256 : 0));
    head[kAtMapEntrySize] = indexed ? 24 : 0;
    StoreU16LE(head + kAtWidth, Swap16(static_cast<std::uint16_t>(width)));
    StoreU16LE(head + kAtHeight, Swap16(static_cast<std::uint16_t>(height)));
    head[kAtDepth] = static_cast<std::uint8_t>(indexed ? 8 : withAlpha ? 32 : 24);
    WriteOrFail(stream, head, kHeaderSize);

    if (indexed) {
        std::uint8_t map[3 * 256];
        for (int i = 0; i < 256; ++i) {
            const RGBQUAD c = PaletteEntry(static_cast<std::uint8_t>(i));
            map[3 * i] = c.rgbBlue;
            map[3 * i + 1] = c.rgbGreen;
            map[3 * i + 2] = c.rgbRed;
        }
        WriteOrFail(stream, map, sizeof map);
    }
    const std::size_t rowBytes = static_cast<std::size_t>(width) * (indexed ? 1 : withAlpha ? 4 : 3);
    std::vector<std::uint8_t> out(rowBytes);
    for (std::int32_t y = 0; y < height; ++y) {
        const std::uint8_t* row = RowAddress(static_cast<std::uint32_t>(y));
        if (withAlpha) {
            const std::uint8_t* opacity = AlphaAddress(0, y);
            for (std::int32_t x = 0; x < width; ++x) {
                std::memcpy(&out[4 * static_cast<std::size_t>(x)], row + 3 * x, 3);
                out[4 * static_cast<std::size_t>(x) + 3] = opacity[x];
            }
            row = out.data();
        }
        WriteOrFail(stream, row, rowBytes);
    }
    return true;
}
