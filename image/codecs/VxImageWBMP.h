// VxImageWBMP: wireless bitmaps of type 0 (type code 9): a header of multi-byte integers
// (type, fixed header, width, height) followed by 1-bit rows, top row first, each padded to
// whole bytes, most significant bit the leftmost pixel, 1 = white. Decode yields a 1-bit
// image with the black/white palette; Encode writes 1-bit images.
#pragma once

#include "image/VxImage.h"

#include <cstdint>

class VxStream;

class VxImageWBMP : public VxImage {
public:
    VxImageWBMP();
    ~VxImageWBMP() override;

    bool Decode(VxStream* stream);
    bool Encode(VxStream* stream);

    // A multi-byte integer: 7-bit groups, most significant first, bit 7 set on every byte but
    // the last. Reading fails at the end of the stream and on values beyond 32 bits.
    static bool ReadMultiByte(VxStream* stream, std::uint32_t& value);
    static bool WriteMultiByte(VxStream* stream, std::uint32_t value);
};
