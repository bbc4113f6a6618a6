// VxImageBMP: Windows bitmap files and bare DIBs. The file header is optional; the info header,
// colour table and uncompressed rows are read through DibFormat, which BMP shares with icons.
// Run-length data (RLE8, RLE4) is read here: runs, deltas and absolute runs that reach past the
// picture are read and dropped, never written, and pixels the data never sets stay index 0.
#include "image/codecs/VxImageBMP.h"

#include "image/VxStream.h"
#include "image/codecs/CodecSupport.h"
#include "image/codecs/DibFormat.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

using vx::dib::BitMasks;

constexpr std::uint16_t kBmpSignature = 0x4D42; // "BM"
constexpr std::uint32_t kFileHeaderSize = 14;
constexpr std::uint32_t kInfoHeaderSize = 40;

constexpr char kNotBmp[] = "Not a BMP";
constexpr char kBadInfo[] = "Error reading BMP info";
constexpr char kHeaderOnly[] = "output dimensions returned";
constexpr char kCancelled[] = "Cancelled";
constexpr char kUnknownCompression[] = "unknown compression";
constexpr char kUnsupportedCompression[] = "compression type not supported";
constexpr char kCutShort[] = "BMP pixel data is cut short";
constexpr char kWriteFailed[] = "Save: the file could not be written";

// Hands out a stream's bytes one at a time from a block read ahead: run-length data is read a
// byte or two at a time, and a stream call per byte would dominate the decode.
class ByteReader {
public:
    explicit ByteReader(VxStream& stream) : m_stream(stream), m_block(64 * 1024) {}

    bool Next(std::uint8_t& byte)
    {
        if (m_position == m_length) {
            m_length = m_stream.Read(m_block.data(), 1, m_block.size());
            m_position = 0;
            if (m_length == 0)
                return false;
        }
        byte = m_block[m_position++];
        return true;
    }

private:
    VxStream& m_stream;
    std::vector<std::uint8_t> m_block;
    std::size_t m_position = 0;
    std::size_t m_length = 0;
};

// Rows are counted from the bottom; a row past the top can take no more pixels, and since
// positions only move up, nothing after it can either.
void CheckEscape(const VxImage& image)
{
    if (image.Info().escape != 0)
        FailWith(kCancelled);
}

// RLE8: a count byte with a value byte repeats the value; a 0 byte introduces end of line (0),
// end of bitmap (1), a delta (2, then dx and dy) or an absolute run of that many bytes, padded
// to an even length.
void DecodeRle8(VxImage& image, VxStream& stream)
{
    ByteReader in(stream);
    const std::uint64_t stride = image.RowStride();
    const std::uint64_t height = static_cast<std::uint64_t>(image.Height());
    std::uint64_t x = 0, y = 0;
    std::uint8_t count = 0, value = 0, dx = 0, dy = 0;
    while (y < height && in.Next(count) && in.Next(value)) {
        std::uint8_t* row = image.RowAddress(static_cast<std::uint32_t>(y));
        if (count != 0) {
            if (x < stride)
                std::memset(row + x, value, static_cast<std::size_t>(std::min<std::uint64_t>(count, stride - x)));
            x += count;
            continue;
        }
        switch (value) {
        case 0:
            x = 0;
            ++y;
            CheckEscape(image);
            break;
        case 1:
            return;
        case 2:
            if (!in.Next(dx) || !in.Next(dy))
                return;
            x += dx;
            y += dy;
            break;
        default:
            for (int i = 0; i < value; ++i, ++x) {
                std::uint8_t pixel = 0;
                if (!in.Next(pixel))
                    return;
                if (x < stride)
                    row[x] = pixel;
            }
            if (value & 1)
                in.Next(dx); // padding
            break;
        }
    }
}

// RLE4: the same codes over 4-bit pixels; a run's value byte holds two colours that alternate,
// an absolute run packs two pixels per byte and is padded to an even number of bytes. Positions
// are counted in pixels, so a delta of an odd number of pixels lands on the right nibble.
void DecodeRle4(VxImage& image, VxStream& stream)
{
    ByteReader in(stream);
    const std::uint64_t pixelsPerRow = 2 * std::uint64_t{image.RowStride()};
    const std::uint64_t height = static_cast<std::uint64_t>(image.Height());
    std::uint64_t x = 0, y = 0;
    std::uint8_t count = 0, value = 0, dx = 0, dy = 0;
    const auto put = [&](std::uint8_t* row, std::uint8_t colour) {
        if (x < pixelsPerRow) {
            std::uint8_t& byte = row[x / 2];
            byte = (x & 1) ? static_cast<std::uint8_t>(byte | colour) : static_cast<std::uint8_t>(colour << 4);
        }
        ++x;
    };
    while (y < height && in.Next(count) && in.Next(value)) {
        std::uint8_t* row = image.RowAddress(static_cast<std::uint32_t>(y));
        if (count != 0) {
            for (int i = 0; i < count; ++i)
                put(row, (i & 1) ? (value & 0x0F) : (value >> 4));
            continue;
        }
        switch (value) {
        case 0:
            x = 0;
            ++y;
            CheckEscape(image);
            break;
        case 1:
            return;
        case 2:
            if (!in.Next(dx) || !in.Next(dy))
                return;
            x += dx;
            y += dy;
            break;
        default: {
            const int bytes = (value + 1) / 2;
            for (int i = 0; i < bytes; ++i) {
                std::uint8_t pair = 0;
                if (!in.Next(pair))
                    return;
                put(row, pair >> 4);
                if (2 * i + 1 < value)
                    put(row, pair & 0x0F);
            }
            if (bytes & 1)
                in.Next(dx); // padding
            break;
        }
        }
    }
}

std::int32_t DpiFromPelsPerMetre(LONG pels)
{
    return static_cast<std::int32_t>(std::floor(pels * 0.0254 + 0.5));
}

// Which compressions each depth takes; the message says why a file is refused.
const char* CompressionProblem(std::uint32_t bits, std::uint32_t compression)
{
    if (bits <= 8)
        return compression <= BI_RLE4 ? nullptr : kUnsupportedCompression;
    if (bits == 24)
        return compression == BI_RGB ? nullptr : kUnknownCompression;
    return compression == BI_RGB || compression == BI_BITFIELDS ? nullptr : kUnknownCompression;
}

void WriteOrFail(VxStream& stream, const void* data, std::size_t size)
{
    if (!WriteAll(stream, data, size))
        FailWith(kWriteFailed);
}

void WriteFileHeader(VxStream& stream, std::uint32_t fileSize, std::uint32_t pixelOffset)
{
    std::uint8_t bytes[kFileHeaderSize] = {};
    StoreU16LE(bytes, kBmpSignature);
    StoreU32LE(bytes + 2, fileSize);
    StoreU32LE(bytes + 10, pixelOffset);
    WriteOrFail(stream, bytes, sizeof bytes);
}

void WriteInfoHeader(VxStream& stream, const BITMAPINFOHEADER& h)
{
    std::uint8_t bytes[kInfoHeaderSize];
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
    WriteOrFail(stream, bytes, sizeof bytes);
}

} // namespace

bool VxImageBMP::Decode(VxStream* stream)
{
    if (!stream) {
        SetLastError("null file handler");
        return false;
    }
    return RunCodec(*this, [&] { return DecodeFrom(*stream); });
}

bool VxImageBMP::DecodeFrom(VxStream& stream)
{
    // Offsets in the file header count from where the file starts.
    const std::int32_t start = stream.Tell();
    std::uint8_t fileHeader[kFileHeaderSize];
    const std::uint32_t got = stream.Read(fileHeader, 1, sizeof fileHeader);
    if (got == 0)
        FailWith(kNotBmp);
    std::uint32_t pixelOffset = 0;
    if (got == sizeof fileHeader && LoadU16LE(fileHeader) == kBmpSignature)
        pixelOffset = LoadU32LE(fileHeader + 10);
    else if (!stream.Seek(start, SEEK_SET)) // no file header: the info header starts here
        FailWith(kNotBmp);

    vx::dib::InfoHeader dib;
    if (!vx::dib::ReadInfoHeader(stream, dib))
        FailWith(kBadInfo);
    const BITMAPINFOHEADER& h = dib.fields;
    const bool topDown = h.biHeight < 0;
    const auto width = static_cast<std::uint32_t>(h.biWidth);
    const auto height = static_cast<std::uint32_t>(topDown ? -h.biHeight : h.biHeight);

    if (info.escape == -1) {
        header.biWidth = h.biWidth;
        header.biHeight = static_cast<LONG>(height);
        info.type = kVxTypeBmp;
        SetLastError(kHeaderOnly);
        return true;
    }
    if (const char* problem = CompressionProblem(h.biBitCount, h.biCompression))
        FailWith(problem);

    // Plain rows must be in the stream before their picture is allocated: a few bytes that
    // claim a huge picture fail here, not after a large allocation.
    const std::int64_t available = pixelOffset ? std::int64_t{stream.Size()} - start - pixelOffset : BytesLeft(stream);
    const bool runLength = h.biCompression == BI_RLE8 || h.biCompression == BI_RLE4;
    const std::uint64_t fileRow = vx::dib::StoredRowBytes(width, h.biBitCount);
    const std::uint64_t plainMinimum = fileRow * (height - 1) + (std::uint64_t{width} * h.biBitCount + 7) / 8;
    if (available <= 0 || (!runLength && static_cast<std::uint64_t>(available) < plainMinimum))
        FailWith(kCutShort);

    if (!Create(width, height, h.biBitCount, kVxTypeBmp))
        FailWith(LastError());
    SetXDpi(DpiFromPelsPerMetre(h.biXPelsPerMeter));
    SetYDpi(DpiFromPelsPerMetre(h.biYPelsPerMeter));
    CheckEscape(*this);

    BitMasks masks = vx::dib::DefaultMasks(h.biBitCount);
    if (HasPalette()) {
        vx::dib::ReadColourTable(*this, stream, h.biClrUsed, dib.core, kBadInfo);
    } else if (h.biCompression == BI_BITFIELDS) {
        if (dib.masksInHeader) {
            masks = dib.masks;
        } else {
            std::uint8_t bytes[12];
            ReadOrFail(stream, bytes, sizeof bytes, kBadInfo);
            masks = {LoadU32LE(bytes), LoadU32LE(bytes + 4), LoadU32LE(bytes + 8), 0};
        }
    }
    if (pixelOffset != 0) {
        if (std::int64_t{start} + pixelOffset > stream.Size() || !stream.Seek(start + static_cast<std::int32_t>(pixelOffset), SEEK_SET))
            FailWith(kCutShort);
    } else if (!HasPalette() && h.biClrUsed != 0) {
        // A colour table beside true-colour pixels is only a display hint: stepped over.
        vx::dib::ReadColourTable(*this, stream, h.biClrUsed, dib.core, kBadInfo);
    }
    CheckEscape(*this);

    if (runLength) {
        std::memset(info.bits, 0, header.biSizeImage);
        if (h.biCompression == BI_RLE8)
            DecodeRle8(*this, stream);
        else
            DecodeRle4(*this, stream);
    } else {
        vx::dib::ReadUncompressedPixels(*this, stream, h.biBitCount, masks, kCutShort);
    }
    if (topDown)
        FlipVertical(false, true);
    return true;
}

bool VxImageBMP::Encode(VxStream* stream)
{
    if (!EncodePrecheck(stream))
        return false;
    return RunCodec(*this, [&] {
        EncodeTo(*stream);
        return true;
    });
}

void VxImageBMP::EncodeTo(VxStream& stream)
{
    if (HasPalette() || !HasAlpha()) {
        // The block already is a DIB: its header copy is refreshed from the master header.
        std::memcpy(dib, &header, sizeof header);
        WriteFileHeader(stream, DibSize() + kFileHeaderSize, kFileHeaderSize + header.biSize + PaletteSize());
        WriteOrFail(stream, dib, DibSize());
        return;
    }

    // A 24-bit picture with opacity: 32-bit rows of blue, green, red and opacity.
    const auto width = static_cast<std::uint32_t>(Width());
    const auto height = static_cast<std::uint32_t>(Height());
    BITMAPINFOHEADER h = header;
    h.biSize = kInfoHeaderSize;
    h.biBitCount = 32;
    h.biCompression = BI_RGB;
    h.biClrUsed = 0;
    h.biSizeImage = width * 4 * height;
    WriteFileHeader(stream, kFileHeaderSize + kInfoHeaderSize + h.biSizeImage, kFileHeaderSize + kInfoHeaderSize);
    WriteInfoHeader(stream, h);
    std::vector<std::uint8_t> row(std::size_t{width} * 4);
    for (std::uint32_t y = 0; y < height; ++y) {
        const std::uint8_t* pixel = RowAddress(y);
        const std::uint8_t* opacity = AlphaAddress(0, static_cast<std::int32_t>(y));
        for (std::uint32_t x = 0; x < width; ++x, pixel += 3) {
            std::memcpy(&row[4 * std::size_t{x}], pixel, 3);
            row[4 * std::size_t{x} + 3] = opacity[x];
        }
        WriteOrFail(stream, row.data(), row.size());
    }
}
