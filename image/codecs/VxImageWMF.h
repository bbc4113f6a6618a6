// VxImageWMF: vector metafiles (type code 10), rendered to a 24-bit bitmap by the platform's
// metafile player. It reads placeable Windows metafiles (a 22-byte placeable header, then the
// metafile) sized by their bounds and units per inch at the screen's resolution, and enhanced
// metafiles sized by their bounds rectangle; at most 4000 pixels a side, drawn on the system
// window colour. Writing is not supported.
#pragma once

#include "image/VxImage.h"
#include "platform/MetafilePlayer.h"

#include <cstddef>
#include <cstdint>

class VxStream;

class VxImageWMF : public VxImage {
public:
    VxImageWMF();
    ~VxImageWMF() override;

    // A non-zero forced width or height replaces the metafile's own before the size limit.
    bool Decode(VxStream* stream, std::int32_t forcedWidth = 0, std::int32_t forcedHeight = 0);
    // The same with a given player instead of the system's (the tests compare two players).
    bool DecodeWith(vx::MetafilePlayer& player, VxStream* stream, std::int32_t forcedWidth = 0,
                    std::int32_t forcedHeight = 0);
    bool Encode(VxStream* stream);

    // The packed-DIB reader handed to players: the BMP codec's, turned into top-down BGR rows.
    static bool DecodePackedDib(const std::uint8_t* packedDib, std::size_t size, vx::DecodedDib& out);

    static constexpr std::int32_t kLargestSide = 4000;
};
