// The codec table: one row per compiled-in format. Adding a codec means adding its
// header and its row here; detection order is the order of the rows' second column.
#include "image/codecs/CodecTable.h"

namespace {

// Type, detection position, decode, encode.
constexpr CodecEntry kCodecs[] = {
    // Rows are added here as codecs are built, e.g.
    // {kVxTypeJpg, 1, &DecodeWithCodec<VxImageJPG>, &EncodeWithCodec<VxImageJPG>},
    {0, 0, nullptr, nullptr},
};

} // namespace

std::span<const CodecEntry> CodecTable()
{
    // The placeholder row (type 0) stands for "no codec yet" and is never matched.
    return std::span<const CodecEntry>(kCodecs).subspan(1);
}
