// Hand-built DIB pieces for the BMP and ICO tests: info headers of any size, file headers,
// and decoding a byte block through a codec or the dispatch.
#pragma once

#include "image/VxImage.h"
#include "image/VxStream.h"
#include "tests/support/TestSupport.h"

namespace vx::test {

// A 40-byte info header (or `size` bytes: the 40 fields, then zeros) with 3780 pixels per metre.
inline Bytes InfoHeaderBytes(std::int32_t width, std::int32_t height, int bits, std::uint32_t compression = 0,
                             std::uint32_t coloursUsed = 0, std::uint32_t size = 40)
{
    Bytes h;
    for (const Bytes& field :
         {LittleEndian(size, 4), LittleEndian(static_cast<std::uint32_t>(width), 4),
          LittleEndian(static_cast<std::uint32_t>(height), 4), LittleEndian(1, 2),
          LittleEndian(static_cast<std::uint32_t>(bits), 2), LittleEndian(compression, 4), LittleEndian(0, 4),
          LittleEndian(3780, 4), LittleEndian(3780, 4), LittleEndian(coloursUsed, 4), LittleEndian(0, 4)})
        h = Joined(h, field);
    return Joined(h, Bytes(size - 40, 0));
}

// "BM", the file size and the pixel offset in front of `dib`.
inline Bytes WithFileHeader(const Bytes& dib, std::uint32_t pixelOffset)
{
    Bytes head = {'B', 'M'};
    head = Joined(Joined(Joined(head, LittleEndian(dib.size() + 14, 4)), LittleEndian(0, 4)),
                  LittleEndian(pixelOffset, 4));
    return Joined(head, dib);
}

// Decodes `bytes` with the codec of `type` (0: detection) into `image`.
inline bool DecodeBytes(VxImage& image, Bytes bytes, std::uint32_t type)
{
    VxMemStream stream(bytes.data(), static_cast<std::int32_t>(bytes.size()));
    return image.Decode(&stream, type);
}

// What the codec of `type` writes for `image`; empty when the encode fails.
inline Bytes EncodeBytes(VxImage& image, std::uint32_t type)
{
    VxMemStream out;
    out.Open();
    if (!image.Encode(&out, type))
        return {};
    return Bytes(out.GetBuffer(false), out.GetBuffer(false) + out.Tell());
}

} // namespace vx::test
