// VxImagePCX: a 128-byte header, then every scan line (each plane's bytes-per-line bytes in
// turn, top row first) run-length encoded as one stream: a byte of 0xC0 or more repeats the
// next byte (its low six bits) times, any other byte stands for itself. 8-bit one-plane files
// end with the byte 12 and a 256-entry colour map; smaller palettes live in the header.
// Sizes from the header are checked against the file and the memory limit before allocation.
#include "image/codecs/VxImagePCX.h"

#include "image/VxStream.h"
#include "image/codecs/BufferedInput.h"
#include "image/codecs/CodecSupport.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

constexpr std::size_t kHeaderSize = 128;
constexpr std::uint8_t kManufacturer = 10;
constexpr std::uint8_t kVersion = 5;
constexpr std::uint8_t kRunLength = 1;
constexpr std::uint8_t kPaletteMarker = 12;
constexpr int kRunFlag = 0xC0;
constexpr int kMaxRun = 63;
constexpr std::size_t kHeaderColours = 16;
constexpr std::size_t kTrailerColours = 256;

// Header offsets.
constexpr std::size_t kAtBitsPerPixel = 3;
constexpr std::size_t kAtXMin = 4;
constexpr std::size_t kAtYMin = 6;
constexpr std::size_t kAtXMax = 8;
constexpr std::size_t kAtYMax = 10;
constexpr std::size_t kAtXDpi = 12;
constexpr std::size_t kAtYDpi = 14;
constexpr std::size_t kAtColourMap = 16;
constexpr std::size_t kAtPlanes = 65;
constexpr std::size_t kAtBytesPerLine = 66;
constexpr std::size_t kAtPaletteInfo = 68;

constexpr const char* kCorrupted = "corrupted PCX";
constexpr const char* kCancelled = "Cancelled";

// Row ends handed to PackPixel: close the pending run, or close it and pad the row with a zero.
constexpr int kRowEnd = -1;
constexpr int kRowEndPadded = -2;

// One plane of 1, 2, 4 or 8 bits per pixel into one value per byte, leftmost pixel in the
// highest bits. Writes bytesPerLine x (8 / bits) values.
void PCX_UnpackPixels(std::uint8_t* values, const std::uint8_t* plane, std::size_t bytesPerLine, int bits)
{
    const int perByte = 8 / bits;
    const int mask = (1 << bits) - 1;
    for (std::size_t i = 0; i < bytesPerLine; ++i)
        for (int k = 0; k < perByte; ++k)
            *values++ = static_cast<std::uint8_t>(plane[i] >> (8 - bits * (k + 1)) & mask);
}

// Up to four consecutive 1-bit planes into one value per byte: plane p gives bit p. Writes
// 8 x bytesPerLine values.
void PCX_PlanesToPixels(std::uint8_t* values, const std::uint8_t* planes, std::size_t bytesPerLine, int planeCount)
{
    std::memset(values, 0, 8 * bytesPerLine);
    for (int p = 0; p < planeCount; ++p) {
        const std::uint8_t* plane = planes + p * bytesPerLine;
        for (std::size_t i = 0; i < bytesPerLine; ++i)
            for (int bit = 0; bit < 8; ++bit)
                values[8 * i + bit] |= static_cast<std::uint8_t>((plane[i] >> (7 - bit) & 1) << p);
    }
}

// Bit `plane` of each of `count` values into a zeroed, packed 1-bit plane of bytesPerLine bytes.
void PixelsToPlane(std::uint8_t* out, const std::uint8_t* values, std::size_t count, std::size_t bytesPerLine, int plane)
{
    std::memset(out, 0, bytesPerLine);
    for (std::size_t i = 0; i < count; ++i)
        out[i / 8] |= static_cast<std::uint8_t>((values[i] >> plane & 1) << (7 - i % 8));
}

void WriteRun(VxStream& out, std::uint8_t value, int count)
{
    if (count == 1 && value < kRunFlag) {
        out.PutC(value);
        return;
    }
    out.PutC(static_cast<std::uint8_t>(kRunFlag | count));
    out.PutC(value);
}

// A whole plane buffer as runs of at most 63 equal bytes.
void PackPlane(VxStream& out, const std::uint8_t* plane, std::size_t length)
{
    for (std::size_t i = 0; i < length;) {
        int count = 1;
        while (count < kMaxRun && i + count < length && plane[i + count] == plane[i])
            ++count;
        WriteRun(out, plane[i], count);
        i += static_cast<std::size_t>(count);
    }
}

// One value at a time: `pending` is the byte of the open run and `count` its length (0 at the
// start of every row and plane). kRowEnd closes the run; kRowEndPadded also adds a zero byte.
void PackPixel(VxStream& out, int value, std::uint8_t& pending, int& count)
{
    if (count != 0 && value != pending) {
        WriteRun(out, pending, count);
        count = 0;
    }
    if (count == kMaxRun) {
        WriteRun(out, pending, count);
        count = 0;
    }
    if (value == kRowEndPadded)
        out.PutC(0);
    pending = static_cast<std::uint8_t>(value);
    ++count;
}

// `count` values through PackPixel, then the row end (padded when the count is odd, so that the
// even bytes-per-line count is filled).
template <class ValueAt>
void PackRow(VxStream& out, std::int32_t count, ValueAt valueAt)
{
    std::uint8_t pending = 0;
    int run = 0;
    for (std::int32_t x = 0; x < count; ++x)
        PackPixel(out, valueAt(x), pending, run);
    PackPixel(out, count % 2 ? kRowEndPadded : kRowEnd, pending, run);
}

// Pairs of values into 4-bit pixels, the even pixel in the high nibble.
void PackNibbles(std::uint8_t* row, const std::uint8_t* values, std::int32_t width)
{
    for (std::int32_t x = 0; x < width; x += 2) {
        const int low = x + 1 < width ? values[x + 1] & 0x0F : 0;
        row[x / 2] = static_cast<std::uint8_t>((values[x] & 0x0F) << 4 | low);
    }
}

// The layouts this decoder turns into pixels; anything else is refused before allocation.
void CheckLayout(int bits, int planes)
{
    if (planes > 4)
        FailWith("Can't handle image with more than 4 planes");
    if (planes == 0 || (bits != 1 && bits != 2 && bits != 4 && bits != 8))
        FailWith("PCX file has an unsupported pixel layout");
    if (planes > 1 && bits != 1 && !(bits == 8 && planes >= 3))
        FailWith("PCX_PlanesToPixels: more than 4 planes or more than 1 bit per pixel");
}

} // namespace

bool VxImagePCX::Decode(VxStream* stream)
{
    if (!stream)
        return false;
    return RunCodec(*this, [&] { return DecodeFrom(*stream); });
}

bool VxImagePCX::DecodeFrom(VxStream& stream)
{
    std::uint8_t head[kHeaderSize];
    ReadOrFail(stream, head, kHeaderSize, "Can't read PCX image");
    if (head[0] != kManufacturer)
        FailWith("Error: Not a PCX file");
    if (head[2] != kRunLength)
        FailWith("PCX file has unknown encoding scheme");
    const auto field = [&](std::size_t at) { return static_cast<std::int32_t>(Swap16(LoadU16LE(head + at))); };
    const std::int32_t width = field(kAtXMax) - field(kAtXMin) + 1;
    const std::int32_t height = field(kAtYMax) - field(kAtYMin) + 1;
    if (width <= 0 || height <= 0) // a window with its corners swapped holds no picture
        FailWith("Error: Not a PCX file");
    SetXDpi(field(kAtXDpi));
    SetYDpi(field(kAtYDpi));

    if (info.escape == -1) {
        header.biWidth = width;
        header.biHeight = height;
        info.type = kVxTypePcx;
        return true;
    }

    const int bits = head[kAtBitsPerPixel];
    const int planes = head[kAtPlanes];
    CheckLayout(bits, planes);
    const bool trueColour = bits == 8 && planes >= 3;
    const std::size_t bytesPerLine = static_cast<std::uint32_t>(field(kAtBytesPerLine));
    // Each plane's line must hold the width's pixels: anything less would leave pixels unset.
    const std::uint64_t needed = (static_cast<std::uint64_t>(width) * bits + 7) / 8;
    if (bytesPerLine == 0 || bytesPerLine < needed)
        FailWith("PCX bytes per line too small for the width");
    std::uint64_t lineBytes = 0, total = 0;
    if (!ProductWithin(bytesPerLine, static_cast<std::uint64_t>(planes), lineBytes) ||
        !ProductWithin(lineBytes, static_cast<std::uint64_t>(height), total))
        FailWith("VXIMAGE_MAX_MEMORY exceeded");
    // One code pair yields at most 63 bytes, so a shorter file cannot hold the picture.
    if (static_cast<std::uint64_t>(BytesLeft(stream)) * kMaxRun < total)
        FailWith(kCorrupted);

    // Two-bit pixels and several 1-bit planes make 16-colour pictures.
    const std::uint32_t depth = trueColour ? 24 : planes > 1 || bits == 2 ? 4 : static_cast<std::uint32_t>(bits);
    // Create and CreateAlpha leave their reason in lastError, which outlives the raise.
    if (!Create(static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height), depth, kVxTypePcx) ||
        (planes == 4 && trueColour && !CreateAlpha()))
        FailWith(LastError());
    if (info.escape)
        FailWith(kCancelled);

    std::vector<std::uint8_t> data(total);
    BufferedInput input(stream);
    for (std::size_t filled = 0; filled < total;) {
        const int code = input.Next();
        if (code < 0)
            FailWith(kCorrupted);
        if (code < kRunFlag) {
            data[filled++] = static_cast<std::uint8_t>(code);
            continue;
        }
        const std::size_t count = static_cast<std::size_t>(code & kMaxRun);
        if (count > total - filled)
            FailWith("repeat count spans end of image");
        const int value = input.Next();
        if (value < 0)
            FailWith(kCorrupted);
        std::memset(&data[filled], value, count);
        filled += count;
    }

    const std::uint32_t colours = ColourCount();
    for (std::uint32_t i = 0; i < std::min<std::uint32_t>(colours, kHeaderColours); ++i) {
        const std::uint8_t* rgb = head + kAtColourMap + 3 * i;
        SetPaletteEntry(static_cast<std::uint8_t>(i), rgb[0], rgb[1], rgb[2]);
    }
    if (bits == 8 && planes == 1) {
        if (input.Next() != kPaletteMarker)
            FailWith("bad color map signature");
        std::uint8_t map[3 * kTrailerColours];
        if (!input.Read(map, sizeof map))
            FailWith(kCorrupted);
        for (std::size_t i = 0; i < kTrailerColours; ++i)
            SetPaletteEntry(static_cast<std::uint8_t>(i), map[3 * i], map[3 * i + 1], map[3 * i + 2]);
    } else if (bits == 1 && planes == 1) {
        // A one-plane 1-bit picture is black (0) and white (1) whatever the header map holds.
        SetPaletteEntry(0, 0, 0, 0);
        SetPaletteEntry(1, 255, 255, 255);
    }

    std::vector<std::uint8_t> values(8 * bytesPerLine);
    for (std::int32_t y = 0; y < height; ++y) {
        if (info.escape)
            FailWith(kCancelled);
        const auto bitmapRow = static_cast<std::uint32_t>(height - 1 - y);
        std::uint8_t* row = RowAddress(bitmapRow);
        const std::uint8_t* line = &data[static_cast<std::size_t>(y) * lineBytes];
        if (trueColour) {
            std::uint8_t* opacity = alpha ? AlphaAddress(0, static_cast<std::int32_t>(bitmapRow)) : nullptr;
            for (std::int32_t x = 0; x < width; ++x) {
                row[3 * x + 2] = line[x];
                row[3 * x + 1] = line[bytesPerLine + x];
                row[3 * x] = line[2 * bytesPerLine + x];
                if (opacity)
                    opacity[x] = line[3 * bytesPerLine + x];
            }
        } else if (planes == 1 && static_cast<std::uint32_t>(bits) == depth) {
            std::memcpy(row, line, needed); // the file packs pixels as the bitmap does
        } else {
            if (planes == 1)
                PCX_UnpackPixels(values.data(), line, bytesPerLine, bits);
            else
                PCX_PlanesToPixels(values.data(), line, bytesPerLine, planes);
            PackNibbles(row, values.data(), width);
        }
    }
    return true;
}

bool VxImagePCX::Encode(VxStream* stream)
{
    if (!EncodePrecheck(stream))
        return false;
    return RunCodec(*this, [&] { return EncodeTo(*stream); });
}

bool VxImagePCX::EncodeTo(VxStream& stream)
{
    const std::int32_t width = Width();
    const std::int32_t height = Height();
    const bool wide = BitsPerPixel() >= 8;
    const int bits = wide ? 8 : 1;
    const int planes = wide ? (HasPalette() ? 1 : HasAlpha() ? 4 : 3) : (ColourCount() == 16 ? 4 : 1);
    std::uint32_t bytesPerLine = wide ? static_cast<std::uint32_t>(width) : (static_cast<std::uint32_t>(width) + 7) / 8;
    bytesPerLine += bytesPerLine & 1;
    if (width - 1 > 0xFFFF || height - 1 > 0xFFFF || bytesPerLine > 0xFFFF)
        FailWith("image too large for PCX");

    std::uint8_t head[kHeaderSize] = {};
    head[0] = kManufacturer;
    head[1] = kVersion;
    head[2] = kRunLength;
    head[kAtBitsPerPixel] = static_cast<std::uint8_t>(bits);
    const auto store = [&](std::size_t at, std::uint32_t value) {
        StoreU16LE(head + at, Swap16(static_cast<std::uint16_t>(value)));
    };
    store(kAtXMax, static_cast<std::uint32_t>(width - 1));
    store(kAtYMax, static_cast<std::uint32_t>(height - 1));
    store(kAtXDpi, static_cast<std::uint32_t>(XDpi()));
    store(kAtYDpi, static_cast<std::uint32_t>(YDpi()));
    head[kAtPlanes] = static_cast<std::uint8_t>(planes);
    store(kAtBytesPerLine, bytesPerLine);
    store(kAtPaletteInfo, HasPalette() ? 0 : 1);

    // A 1-bit plane is read back with 0 black and 1 white, so the dark colour must be index 0.
    bool invert = false;
    if (!wide && planes == 1) {
        const RGBQUAD first = PaletteEntry(0);
        const RGBQUAD second = PaletteEntry(1);
        invert = LuminanceCompare(&first, &second) > 0;
        std::memset(head + kAtColourMap + 3, 255, 3);
    } else if (!wide) {
        for (std::uint8_t i = 0; i < kHeaderColours; ++i) {
            const RGBQUAD c = PaletteEntry(i);
            std::uint8_t* rgb = head + kAtColourMap + 3 * i;
            rgb[0] = c.rgbRed;
            rgb[1] = c.rgbGreen;
            rgb[2] = c.rgbBlue;
        }
    }
    if (!WriteAll(stream, head, kHeaderSize))
        FailWith("cannot write PCX header");

    VxMemStream out;
    if (!out.Open())
        FailWith("can't allocate memory");
    std::vector<std::uint8_t> values(static_cast<std::size_t>(width));
    std::vector<std::uint8_t> plane(bytesPerLine);
    for (std::int32_t y = height - 1; y >= 0; --y) {
        const std::uint8_t* row = RowAddress(static_cast<std::uint32_t>(y));
        if (!wide) {
            for (std::int32_t x = 0; x < width; ++x)
                values[x] = static_cast<std::uint8_t>(invert ? 1 - PixelIndexUnchecked(x, y) : PixelIndexUnchecked(x, y));
            for (int p = 0; p < planes; ++p) {
                PixelsToPlane(plane.data(), values.data(), values.size(), bytesPerLine, p);
                PackPlane(out, plane.data(), bytesPerLine);
            }
        } else if (planes == 1) {
            PackRow(out, width, [&](std::int32_t x) { return row[x]; });
        } else {
            const std::uint8_t* opacity = AlphaAddress(0, y);
            for (int p = 0; p < 3; ++p) // red, green, blue from the bitmap's blue, green, red
                PackRow(out, width, [&](std::int32_t x) { return row[3 * x + 2 - p]; });
            if (planes == 4)
                PackRow(out, width, [&](std::int32_t x) { return opacity[x]; });
        }
    }
    if (wide && planes == 1) {
        out.PutC(kPaletteMarker);
        for (std::uint32_t i = 0; i < kTrailerColours; ++i) {
            const RGBQUAD c = PaletteEntry(static_cast<std::uint8_t>(i));
            const std::uint8_t rgb[3] = {c.rgbRed, c.rgbGreen, c.rgbBlue};
            out.Write(rgb, 1, 3);
        }
    }
    // A memory stream that failed to grow holds no buffer any more.
    const std::uint8_t* encoded = out.GetBuffer(false);
    if (!encoded)
        FailWith("can't allocate memory");
    WriteOrFail(stream, encoded, static_cast<std::size_t>(out.Tell()));
    return true;
}
