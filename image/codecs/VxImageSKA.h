// VxImageSKA: SKA pictures (type code 18): a 9-byte header (16-bit width and height, format
// code 3, marker 00 00 00 01), a 256-entry palette of red, green, blue triples, then one
// palette index per pixel, rows top first without padding. Decode yields an 8-bit image;
// Encode writes images of up to 8 bits per pixel, widening fewer bits to one byte a pixel.
#pragma once

#include "image/VxImage.h"

class VxStream;

class VxImageSKA : public VxImage {
public:
    VxImageSKA();
    ~VxImageSKA() override;

    bool Decode(VxStream* stream);
    bool Encode(VxStream* stream);
};
