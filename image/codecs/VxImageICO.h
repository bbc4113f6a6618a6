// VxImageICO: Windows icon and cursor files (type code 5). Decode reads the directory entry
// numbered by `frame` (its DIB through DibFormat) and turns the one-bit mask into the image's
// transparency: a transparent palette index or colour when that describes the mask exactly,
// otherwise an alpha plane. Encode writes a one-image icon with its mask.
#pragma once

#include "image/VxImage.h"

#include <cstdint>

class VxStream;

class VxImageICO : public VxImage {
public:
    VxImageICO() : VxImage(kVxTypeIco) {}
    ~VxImageICO() override = default;

    // Sets frameCount to the directory's count once the directory has been read, also when the
    // decode then fails.
    bool Decode(VxStream* stream);
    bool Encode(VxStream* stream);

private:
    bool DecodeFrom(VxStream& stream);
    void ApplyMask(const std::uint8_t* mask, std::uint32_t maskRow);
    void EncodeTo(VxStream& stream);
    bool IsMaskedForSave(std::int32_t x, std::int32_t y, bool paletteAlpha) const;
};
