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

constexpr char kNotBmp[] = "Not a BMP";
constexpr char kBadInfo[] = "Error reading BMP info";
constexpr char kHeaderOnly[] = "output dimensions returned";
constexpr char kCancelled[] = "Cancelled";
constexpr char kUnknownCompression[] = "unknown compression";
constexpr char kUnsupportedCompression[] = "compression type not supported";
constexpr char kCutShort[] = "BMP pixel data is cut short";

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

// A set escape cancels the decode between rows.
void CheckEscape(const VxImage& image)
{
    if (image.Info().escape != 0)
        FailWith(kCancelled);
}

// RLE8 and RLE4 (`bits` 8 or 4): a count byte with a value byte repeats the value (at 4 bits
// its two colours alternate); a 0 byte introduces end of line (0), end of bitmap (1), a delta
// (2, then dx and dy) or an absolute run of that many pixels, stored one or two to a byte and
// padded to an even number of bytes. Positions are counted in pixels, so at 4 bits a delta of
// an odd number of pixels lands on the right nibble.
void DecodeRunLength(VxImage& image, VxStream& stream, int bits)
{
    ByteReader in(stream);
    const std::uint64_t stride = image.RowStride();
    const std::uint64_t rowPixels = stride * 8 / static_cast<std::uint64_t>(bits);
    const std::uint64_t height = static_cast<std::uint64_t>(image.Height());
    std::uint64_t x = 0, y = 0;
    std::uint8_t count = 0, value = 0, dx = 0, dy = 0;
    const auto put = [&](std::uint8_t* row, std::uint8_t colour) {
        if (x < rowPixels) {
            if (bits == 8)
                row[x] = colour;
            else if (x & 1)
                row[x / 2] = static_cast<std::uint8_t>(row[x / 2] | colour);
            else
                row[x / 2] = static_cast<std::uint8_t>(colour << 4);
        }
        ++x;
    };
    // Positions only move up: once past the top row, nothing more can land in the picture.
    while (y < height && in.Next(count) && in.Next(value)) {
        std::uint8_t* row = image.RowAddress(static_cast<std::uint32_t>(y));
        if (count != 0 && bits == 8) {
            if (x < stride)
                std::memset(row + x, value, static_cast<std::size_t>(std::min<std::uint64_t>(count, stride - x)));
            x += count;
        } else if (count != 0) {
            for (int i = 0; i < count; ++i)
                put(row, (i & 1) ? (value & 0x0F) : (value >> 4));
        } else if (value == 0) {
            x = 0;
            ++y;
            CheckEscape(image);
        } else if (value == 1) {
            return;
        } else if (value == 2) {
            if (!in.Next(dx) || !in.Next(dy))
                return;
            x += dx;
            y += dy;
        } else {
            const int bytes = bits == 8 ? value : (value + 1) / 2;
            for (int i = 0; i < bytes; ++i) {
                std::uint8_t pixels = 0;
                if (!in.Next(pixels))
                    return;
                if (bits == 8) {
                    put(row, pixels);
                    continue;
                }
                put(row, pixels >> 4);
                if (2 * i + 1 < value)
                    put(row, pixels & 0x0F);
            }
            if (bytes & 1)
                in.Next(dx); // padding
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

void WriteFileHeader(VxStream& stream, std::uint32_t fileSize, std::uint32_t pixelOffset)
{
    std::uint8_t bytes[kFileHeaderSize] = {};
    StoreU16LE(bytes, kBmpSignature);
    StoreU32LE(bytes + 2, fileSize);
    StoreU32LE(bytes + 10, pixelOffset);
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

    vx::dib::InfoHeader infoHeader;
    if (!vx::dib::ReadInfoHeader(stream, infoHeader))
        FailWith(kBadInfo);
    const BITMAPINFOHEADER& h = infoHeader.fields;
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
        vx::dib::ReadColourTable(*this, stream, h.biClrUsed, infoHeader.core, kBadInfo);
    } else if (h.biCompression == BI_BITFIELDS) {
        if (infoHeader.masksInHeader) {
            masks = infoHeader.masks;
        } else {
            std::uint8_t bytes[12];
            ReadOrFail(stream, bytes, sizeof bytes, kBadInfo);
            masks = {LoadU32LE(bytes), LoadU32LE(bytes + 4), LoadU32LE(bytes + 8), 0};
        }
    }
    if (pixelOffset != 0) {
        if (std::int64_t{start} + pixelOffset > stream.Size() ||
            !stream.Seek(start + static_cast<std::int32_t>(pixelOffset), SEEK_SET))
            FailWith(kCutShort);
    } else if (!HasPalette() && h.biClrUsed != 0) {
        // A colour table beside true-colour pixels is only a display hint: stepped over.
        vx::dib::ReadColourTable(*this, stream, h.biClrUsed, infoHeader.core, kBadInfo);
    }
    CheckEscape(*this);

    if (runLength) {
        std::memset(info.bits, 0, header.biSizeImage);
        DecodeRunLength(*this, stream, h.biCompression == BI_RLE8 ? 8 : 4);
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
    h.biSize = vx::dib::kInfoHeaderSize;
    h.biBitCount = 32;
    h.biCompression = BI_RGB;
    h.biClrUsed = 0;
    h.biSizeImage = width * 4 * height;
    WriteFileHeader(stream, kFileHeaderSize + vx::dib::kInfoHeaderSize + h.biSizeImage,
                    kFileHeaderSize + vx::dib::kInfoHeaderSize);
    std::uint8_t bytes[vx::dib::kInfoHeaderSize];
    vx::dib::StoreInfoHeader(bytes, h);
    WriteOrFail(stream, bytes, sizeof bytes);
    vx::dib::WriteRowsWithOpacity(*this, stream);
}
