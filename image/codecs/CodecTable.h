// The one table that knows every codec: its type code, its place in the content
// detection order, and entry points that run its decoder or encoder on a codec object
// of its own. The dispatch in VxImageIO.cpp reaches formats only through this table.
#pragma once

#include "image/VxImage.h"

#include <cstdint>
#include <span>

class VxStream;

struct CodecEntry {
    std::uint32_t type;    // image type code
    int detectionOrder;    // lower is tried first when the type is unknown
    // Decodes into `image`; on failure with `report` set, the codec's lastError (and, for
    // multi-image formats, its frameCount) is copied into `image`.
    bool (*decode)(VxImage& image, VxStream* stream, bool report);
    // Encodes `image`; on failure the codec's lastError is copied into `image`.
    bool (*encode)(VxImage& image, VxStream* stream);
};

// Every compiled-in codec, one row each, in detection order.
std::span<const CodecEntry> CodecTable();
// The row of a type code, or null when no codec handles it.
const CodecEntry* FindCodec(std::uint32_t type);

// A codec object starts from the caller's ImageInfo (escape, jpegScale, options, frame ...),
// decodes, and on success the caller's image takes over its pixels, header, info and frames.
template <class Codec, bool kReportsFrameCount = false>
bool DecodeWithCodec(VxImage& image, VxStream* stream, bool report)
{
    Codec codec;
    codec.CopyInfoFrom(image);
    if (codec.Decode(stream))
        return image.TakeOver(codec, true); // refused only when `image` is an alias
    if (report) {
        // The count tells the caller how many images the file holds. It must never
        // describe a frames array of a different length, so old frames go first.
        if (kReportsFrameCount && image.DestroyFrames())
            image.Info().frameCount = codec.FrameCount();
        // A codec stays silent on data that is not its format, so that detection moves on;
        // asked for by name it still owes the caller a reason (a cancel alone says nothing).
        const bool silent = *codec.LastError() == 0 && codec.Info().escape <= 0;
        image.SetLastError(silent ? "Decode: Unknown or wrong format" : codec.LastError());
    }
    return false;
}

// The codec object aliases the caller's image, so nothing is copied or freed.
template <class Codec>
bool EncodeWithCodec(VxImage& image, VxStream* stream)
{
    Codec codec;
    codec.MakeAlias(&image);
    const bool ok = codec.Encode(stream);
    if (!ok)
        image.SetLastError(codec.LastError());
    return ok;
}
