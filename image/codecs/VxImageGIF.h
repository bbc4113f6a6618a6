// VxImageGIF: the GIF codec (type code 2). Decode reads GIF87a and GIF89a files: one frame of
// an animation composited over the logical screen with the disposal methods of the frames
// before it (or every composite, with decodeAllFrames), interlaced or not, with global and
// local colour tables, transparency, comment and loop count; files cut into tiles without a
// global table come out as one 24-bit picture. Encode writes GIF89a: an indexed picture, an
// animation of indexed pictures, or a 24-bit picture as a mosaic of 17 x 15 pixel frames.
#pragma once

#include "image/VxImage.h"

#include <cstdint>

class VxStream;

class VxImageGIF : public VxImage {
public:
    VxImageGIF();

    bool Decode(VxStream* stream);
    bool Encode(VxStream* stream);
    // Writes `count` indexed pictures as one animation, with this image's loop count and
    // comment. Later pictures carry their own colour table with `localColourTables`; with
    // `localDisposal` each keeps its own disposal method, else all take this image's.
    bool Encode(VxStream* stream, VxImage* const* images, std::int32_t count, bool localColourTables = false,
                bool localDisposal = false);

    // 0 repeats for ever; n plays the animation n times (1: once, no loop block written).
    void SetLoopCount(std::int32_t loops) { m_loopCount = loops; }
    std::int32_t LoopCount() const { return m_loopCount; }
    // At most 255 characters are kept.
    void SetComment(const char* text);
    const char* Comment() const { return m_comment; }

private:
    struct Decoder;
    struct Writer;

    // Graphic control block in file order: flags, delay (2 bytes, little-endian), transparent index.
    std::uint8_t m_control[4] = {};
    char m_comment[256] = {};
    std::int32_t m_loopCount = 0;
};
