// VxImagePCX: the PCX codec (type code 8), run-length encoded. Decode reads 1, 2, 4 and 8 bits
// per pixel in one plane, 1-bit pixels in two to four planes (as 16-colour pictures), and 8-bit
// pixels in three planes (RGB) or four (RGB and opacity). Encode writes version 5 files: 1-bit
// images as one plane, 4-bit images as four 1-bit planes, 8-bit images as one plane followed by
// a 256-colour map, 24-bit images as three planes, or four with an alpha plane.
#pragma once

#include "image/VxImage.h"

class VxStream;

class VxImagePCX : public VxImage {
public:
    VxImagePCX() : VxImage(kVxTypePcx) {}
    ~VxImagePCX() override = default;

    bool Decode(VxStream* stream);
    bool Encode(VxStream* stream);

private:
    bool DecodeFrom(VxStream& stream);
    bool EncodeTo(VxStream& stream);
};
