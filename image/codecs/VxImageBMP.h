// VxImageBMP: the Windows bitmap codec (type code 1). Decode reads a file with the 14-byte file
// header or a stream that starts directly with an info header (a DIB held inside another
// container), at 1, 4, 8, 16, 24 and 32 bits, RLE8/RLE4, bit fields and top-down rows; 32-bit
// opacity becomes an alpha plane. Encode writes the image's own DIB behind a file header, or a
// 32-bit file for a 24-bit image with an alpha plane.
#pragma once

#include "image/VxImage.h"

class VxStream;

class VxImageBMP : public VxImage {
public:
    VxImageBMP() : VxImage(kVxTypeBmp) {}
    ~VxImageBMP() override = default;

    bool Decode(VxStream* stream);
    bool Encode(VxStream* stream);

private:
    bool DecodeFrom(VxStream& stream);
    void EncodeTo(VxStream& stream);
};
