// VxImageTGA: the Truevision TGA codec (type code 7). Decode reads colour-mapped, true-colour
// and grey pictures, raw or run-length encoded, at 8, 15, 16, 24 or 32 bits per pixel (32 with
// opacity), from any of the four origin corners. Encode writes uncompressed bottom-left files:
// 8-bit colour-mapped, 24-bit, or 32-bit when the image has an alpha plane.
#pragma once

#include "image/VxImage.h"

class VxStream;

class VxImageTGA : public VxImage {
public:
    VxImageTGA() : VxImage(kVxTypeTga) {}
    ~VxImageTGA() override = default;

    bool Decode(VxStream* stream);
    bool Encode(VxStream* stream);

private:
    bool DecodeFrom(VxStream& stream);
    bool EncodeTo(VxStream& stream);
};
