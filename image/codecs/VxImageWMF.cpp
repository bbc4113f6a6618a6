// VxImageWMF: finding which kind of metafile a stream holds and how big its picture is, then
// letting the platform's player draw it. The headers and the record structure (every record
// whole, the last one the end-of-file record) are tested here, because GDI trusts record
// sizes; what each record holds is the player's to read (and to distrust).
#include "image/codecs/VxImageWMF.h"

#include "image/codecs/CodecSupport.h"
#include "image/codecs/VxImageBMP.h"
#include "platform/MetafileRecords.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr const char* kCorrupted = "corrupted WMF";
constexpr const char* kEmpty = "empty WMF";
constexpr const char* kCancelled = "Cancelled";
constexpr const char* kHeaderOnly = "output dimensions returned";

// Placeable header: key, handle, bounds (left, top, right, bottom), units per inch, reserved,
// checksum.
constexpr std::size_t kPlaceableSize = 22;
constexpr std::uint32_t kPlaceableKey = 0x9AC6CDD7;
constexpr std::uint16_t kMostUnitsPerInch = 2540;
// Metafile header: type, header size, version, size in words, objects, largest record,
// parameters.
constexpr std::size_t kMetafileHeaderSize = 18;
// The enhanced metafile header's fixed part: record type, record size, bounds, frame,
// signature at 40.
constexpr std::size_t kEnhancedHeaderSize = 100;
constexpr std::uint32_t kEmrHeader = 1;
constexpr std::uint32_t kEnhancedSignature = 0x464D4520; // " EMF"

struct PixelSize {
    std::int64_t width = 0;
    std::int64_t height = 0;
};

// A placeable metafile's records, opened by the player, and its picture size in pixels at the
// screen's resolution; null when the stream does not start with one the player takes.
std::unique_ptr<vx::PlayableMetafile> OpenPlaceable(vx::MetafilePlayer& player, VxStream& stream,
                                                    const vx::MetafileScreen& screen, PixelSize& size)
{
    std::uint8_t placeable[kPlaceableSize];
    if (!ReadExact(stream, placeable, sizeof placeable) || LoadU32LE(placeable) != kPlaceableKey)
        return nullptr;
    const auto field = [&](std::size_t offset) { return static_cast<std::int16_t>(LoadU16LE(placeable + offset)); };
    const std::int32_t unitsPerInch = LoadU16LE(placeable + 14);
    if (unitsPerInch < 1 || unitsPerInch > kMostUnitsPerInch)
        return nullptr;
    std::uint16_t checksum = 0;
    for (std::size_t offset = 0; offset < 20; offset += 2)
        checksum ^= LoadU16LE(placeable + offset);
    if (checksum != LoadU16LE(placeable + 20))
        return nullptr;

    std::uint8_t metafileHeader[kMetafileHeaderSize];
    if (!ReadExact(stream, metafileHeader, sizeof metafileHeader))
        return nullptr;
    const std::uint16_t type = LoadU16LE(metafileHeader);
    if (type != 1 && type != 2)
        return nullptr;
    const std::uint64_t byteSize = 2 * std::uint64_t{LoadU32LE(metafileHeader + 6)};
    const std::int32_t streamSize = stream.Size();
    if (streamSize < 0 || byteSize > static_cast<std::uint64_t>(streamSize) || byteSize > VXIMAGE_MAX_MEMORY)
        return nullptr;

    // The records start right after the placeable header, counted from the stream's very
    // beginning. A stream that ends early keeps what there is, which passes only if its
    // records end in an EOF record.
    std::vector<std::uint8_t> records(static_cast<std::size_t>(byteSize));
    if (!stream.Seek(static_cast<std::int32_t>(kPlaceableSize), SEEK_SET))
        return nullptr;
    records.resize(stream.Read(records.data(), 1, records.size()));
    if (!vx::metafile::WmfRecordsAreWhole(vx::metafile::ByteView(records.data(), records.size())))
        return nullptr;
    auto metafile = player.OpenWindowsMetafile(records.data(), records.size());
    if (!metafile)
        return nullptr;

    const auto pixels = [](std::int64_t units, std::int64_t pixelsPerInch, std::int64_t unitsPerInch) {
        return (units * pixelsPerInch + unitsPerInch / 2) / unitsPerInch;
    };
    size.width = pixels(field(10) - field(6), screen.pixelsPerInchX, unitsPerInch);
    size.height = pixels(field(12) - field(8), screen.pixelsPerInchY, unitsPerInch);
    return metafile;
}

// An enhanced metafile opened by the player and the size of its bounds rectangle; null when
// the stream does not hold one it takes.
std::unique_ptr<vx::PlayableMetafile> OpenEnhanced(vx::MetafilePlayer& player, VxStream& stream, std::int32_t start,
                                                   PixelSize& size)
{
    std::uint8_t header[kEnhancedHeaderSize];
    if (!ReadExact(stream, header, sizeof header) || LoadU32LE(header) != kEmrHeader ||
        LoadU32LE(header + 40) != kEnhancedSignature || !stream.Seek(start, SEEK_SET))
        return nullptr;
    const std::int64_t length = BytesLeft(stream);
    if (length < static_cast<std::int64_t>(kEnhancedHeaderSize) ||
        static_cast<std::uint64_t>(length) > VXIMAGE_MAX_MEMORY)
        return nullptr;
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(length));
    if (!ReadExact(stream, bytes.data(), bytes.size()) ||
        !vx::metafile::EmfRecordsAreWhole(vx::metafile::ByteView(bytes.data(), bytes.size())))
        return nullptr;
    auto metafile = player.OpenEnhancedMetafile(bytes.data(), bytes.size());
    if (!metafile)
        return nullptr;
    const RECT bounds = metafile->Bounds();
    size.width = std::int64_t{bounds.right} - bounds.left;
    size.height = std::int64_t{bounds.bottom} - bounds.top;
    return metafile;
}

// Shrinks the larger side to the limit, keeping the proportions (integer arithmetic, width
// first); a side the shrinking takes below one pixel keeps one.
void LimitSize(PixelSize& size)
{
    constexpr std::int64_t kLargest = VxImageWMF::kLargestSide;
    if (size.width > kLargest) {
        size.height = size.height * kLargest / size.width;
        size.width = kLargest;
    }
    if (size.height > kLargest) {
        size.width = size.width * kLargest / size.height;
        size.height = kLargest;
    }
    size.width = std::max<std::int64_t>(size.width, 1);
    size.height = std::max<std::int64_t>(size.height, 1);
}

} // namespace

VxImageWMF::VxImageWMF() : VxImage(kVxTypeWmf) {}

VxImageWMF::~VxImageWMF() = default;

bool VxImageWMF::Decode(VxStream* stream, std::int32_t forcedWidth, std::int32_t forcedHeight)
{
    return DecodeWith(vx::SystemMetafilePlayer(), stream, forcedWidth, forcedHeight);
}

bool VxImageWMF::DecodeWith(vx::MetafilePlayer& player, VxStream* stream, std::int32_t forcedWidth,
                            std::int32_t forcedHeight)
{
    if (!stream)
        return false;
    return RunCodec(*this, [&] {
        const std::int32_t start = stream->Tell();
        const vx::MetafileScreen screen = player.Screen();
        PixelSize size;
        auto metafile = OpenPlaceable(player, *stream, screen, size);
        if (!metafile) {
            if (!stream->Seek(start, SEEK_SET))
                FailWith(kCorrupted);
            metafile = OpenEnhanced(player, *stream, start, size);
        }
        if (!metafile)
            FailWith(kCorrupted);
        // Bounds whose far edge lies before the near one enclose nothing.
        size.width = std::clamp<std::int64_t>(size.width, 0, INT32_MAX);
        size.height = std::clamp<std::int64_t>(size.height, 0, INT32_MAX);

        if (info.escape == -1) {
            header.biWidth = static_cast<LONG>(size.width);
            header.biHeight = static_cast<LONG>(size.height);
            info.type = kVxTypeWmf;
            SetLastError(kHeaderOnly);
            return true;
        }
        if (size.width == 0 || size.height == 0)
            FailWith(kEmpty);
        if (forcedWidth > 0)
            size.width = forcedWidth;
        if (forcedHeight > 0)
            size.height = forcedHeight;
        LimitSize(size);

        std::uint64_t pixelBytes = 0;
        if (!ProductWithin(static_cast<std::uint64_t>(size.width) * 3, static_cast<std::uint64_t>(size.height),
                           pixelBytes))
            FailWith("");
        const auto width = static_cast<std::uint32_t>(size.width);
        const auto height = static_cast<std::uint32_t>(size.height);
        if (!Create(width, height, 24, kVxTypeWmf))
            FailWith("");
        const vx::Rgb24Bitmap target{RowAddress(0), static_cast<std::int32_t>(width), static_cast<std::int32_t>(height),
                                     RowStride()};
        if (!metafile->Play(target, screen.windowColour, &VxImageWMF::DecodePackedDib))
            FailWith("");
        if (info.escape != 0)
            FailWith(kCancelled);
        return true;
    });
}

bool VxImageWMF::Encode(VxStream* stream)
{
    if (!stream)
        return EncodePrecheck(stream); // "null file handler"
    SetLastError("Save WMF not supported");
    return false;
}

bool VxImageWMF::DecodePackedDib(const std::uint8_t* packedDib, std::size_t size, vx::DecodedDib& out)
{
    if (!packedDib || size == 0 || size > static_cast<std::size_t>(INT32_MAX))
        return false;
    // The reader only reads through the stream; the block is not written.
    VxMemStream stream(const_cast<std::uint8_t*>(packedDib), static_cast<std::int32_t>(size));
    VxImageBMP bitmap;
    if (!bitmap.Decode(&stream))
        return false;
    const std::int32_t width = bitmap.Width();
    const std::int32_t height = bitmap.Height();
    out.width = width;
    out.height = height;
    out.bgr.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3);
    std::uint8_t* pixel = out.bgr.data();
    for (std::int32_t row = height - 1; row >= 0; --row) // the image's rows run bottom up
        for (std::int32_t x = 0; x < width; ++x) {
            const RGBQUAD colour = bitmap.PixelColourUnchecked(x, row, false);
            *pixel++ = colour.rgbBlue;
            *pixel++ = colour.rgbGreen;
            *pixel++ = colour.rgbRed;
        }
    return true;
}
