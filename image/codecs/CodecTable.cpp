// The codec table: one row per compiled-in format, listed in content-detection order
// (BMP 1, JPEG 2, ICO 3, GIF 4, TGA 5, PCX 6, WBMP 7, WMF/EMF 8, SKA 9). Adding a codec means
// including its header and adding its row at its place; the checks below reject a row out of
// order or a type listed twice.
#include "image/codecs/CodecTable.h"
#include "image/codecs/VxImageBMP.h"
#include "image/codecs/VxImageGIF.h"
#include "image/codecs/VxImageICO.h"
#include "image/codecs/VxImageJPG.h"
#include "image/codecs/VxImagePCX.h"
#include "image/codecs/VxImageSKA.h"
#include "image/codecs/VxImageTGA.h"
#include "image/codecs/VxImageWBMP.h"
#include "image/codecs/VxImageWMF.h"

#include <initializer_list>

namespace {

// Type, detection position, decode, encode.
constexpr std::initializer_list<CodecEntry> kCodecs = {
    {kVxTypeBmp, 1, &DecodeWithCodec<VxImageBMP>, &EncodeWithCodec<VxImageBMP>},
    {kVxTypeJpg, 2, &DecodeWithCodec<VxImageJPG>, &EncodeWithCodec<VxImageJPG>},
    {kVxTypeIco, 3, &DecodeWithCodec<VxImageICO, true>, &EncodeWithCodec<VxImageICO>},
    {kVxTypeGif, 4, &DecodeWithCodec<VxImageGIF, true>, &EncodeWithCodec<VxImageGIF>},
    {kVxTypeTga, 5, &DecodeWithCodec<VxImageTGA>, &EncodeWithCodec<VxImageTGA>},
    {kVxTypePcx, 6, &DecodeWithCodec<VxImagePCX>, &EncodeWithCodec<VxImagePCX>},
    {kVxTypeWbmp, 7, &DecodeWithCodec<VxImageWBMP>, &EncodeWithCodec<VxImageWBMP>},
    {kVxTypeWmf, 8, &DecodeWithCodec<VxImageWMF>, &EncodeWithCodec<VxImageWMF>},
    {kVxTypeSka, 9, &DecodeWithCodec<VxImageSKA>, &EncodeWithCodec<VxImageSKA>},
};

constexpr bool IsWellFormed(std::initializer_list<CodecEntry> rows)
{
    const CodecEntry* previous = nullptr;
    for (const CodecEntry& row : rows) {
        if (row.type == kVxTypeUnknown)
            return false;
        if (previous && previous->detectionOrder >= row.detectionOrder)
            return false;
        for (const CodecEntry* other = rows.begin(); other != &row; ++other)
            if (other->type == row.type)
                return false;
        previous = &row;
    }
    return true;
}
static_assert(IsWellFormed(kCodecs), "codec rows must be in detection order, each type once");

} // namespace

std::span<const CodecEntry> CodecTable()
{
    return {kCodecs.begin(), kCodecs.size()};
}

const CodecEntry* FindCodec(std::uint32_t type)
{
    for (const CodecEntry& row : kCodecs)
        if (row.type == type)
            return &row;
    return nullptr;
}
