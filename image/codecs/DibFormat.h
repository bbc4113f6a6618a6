// The device-independent bitmap pieces that BMP files and icon entries share: the info header
// (12-byte core, 40-byte, 64-byte OS/2 and the longer Windows versions), the colour table, and
// uncompressed pixel rows of 1, 4, 8, 16, 24 and 32 bits. Functions that read pixel data raise
// their failures as CodecFailure (CodecSupport.h), so they run inside a codec's RunCodec.
#pragma once

#include "image/VxImage.h"

#include <cstdint>

class VxStream;

namespace vx::dib {

constexpr std::uint32_t kInfoHeaderSize = 40; // BITMAPINFOHEADER as stored

struct BitMasks {
    std::uint32_t red = 0, green = 0, blue = 0;
    std::uint32_t alpha = 0; // 0: the pixels carry no opacity
};

struct InfoHeader {
    BITMAPINFOHEADER fields{};  // host order; biSizeImage and biClrUsed filled in when 0
    bool core = false;          // 12-byte header: colour-table entries of 3 bytes
    bool masksInHeader = false; // the bit-field masks came with the header (52 bytes or longer)
    BitMasks masks;             // valid when masksInHeader
};

// Reads an info header at the stream's position and leaves the stream right after it; with a
// 40-byte header that means where bit-field masks, when present, follow. False when the bytes
// are no header the decoders take (unknown size, no pixels, a bit count outside 1/4/8/16/24/32).
bool ReadInfoHeader(VxStream& stream, InfoHeader& header);

// Bytes of one stored row of `width` pixels at `bits` per pixel (padded to 4 bytes), 0 on overflow.
std::uint64_t StoredRowBytes(std::uint64_t width, std::uint32_t bits);

// Reads `count` colour-table entries (3 bytes each after a core header, else 4) into the image's
// palette, fourth bytes cleared. Entries the palette has no room for are read and dropped; a
// table longer than the stream raises `failure`.
void ReadColourTable(VxImage& image, VxStream& stream, std::uint32_t count, bool core, const char* failure);

// Default masks of uncompressed 16-bit (5-5-5) and 32-bit (8-8-8 with the opacity byte on top).
BitMasks DefaultMasks(std::uint32_t bits);

// Reads uncompressed rows, bottom-up as stored, at `bits` per pixel into the image created for
// them (16 and 32 bits into a 24-bit image through `masks`). A nonzero alpha mask gives the image
// an opacity plane, unless every pixel's opacity is 0: such files never meant to carry one, and
// the picture stays opaque. Data shorter than the rows (the last row's padding aside) raises
// `failure`; missing padding reads as 0.
void ReadUncompressedPixels(VxImage& image, VxStream& stream, std::uint32_t bits, const BitMasks& masks,
                            const char* failure);

// The 40 header bytes as stored (little-endian) from host-order fields.
void StoreInfoHeader(std::uint8_t* bytes, const BITMAPINFOHEADER& fields);

// Writes a 24-bit image with an alpha plane as 32-bit rows, bottom-up: blue, green, red, opacity.
void WriteRowsWithOpacity(const VxImage& image, VxStream& stream);

} // namespace vx::dib
