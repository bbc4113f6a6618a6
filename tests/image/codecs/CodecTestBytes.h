// Codec tests' round trips through memory: a codec object decoding a block of bytes (with the
// header-only request when asked), the check that a hostile block is refused in both modes,
// and an image encoded through the dispatch into bytes.
#pragma once

#include "image/VxImage.h"
#include "image/VxStream.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace vx::test {

template <class Codec>
struct Decoded {
    bool ok = false;
    std::unique_ptr<Codec> image = std::make_unique<Codec>();
};

// `escape` -1 asks for the size only.
template <class Codec>
Decoded<Codec> DecodeBytes(Bytes bytes, std::int32_t escape = 0)
{
    Decoded<Codec> d;
    d.image->Info().escape = escape;
    VxMemStream stream(bytes.data(), static_cast<std::int32_t>(bytes.size()));
    d.ok = d.image->Decode(&stream);
    return d;
}

// The block is refused, with `message` as lastError ("" for "not this format") and no pixels,
// both in a full decode and in a header-only one.
template <class Codec>
void ExpectRefused(const std::string& name, const Bytes& bytes, const std::string& message)
{
    for (std::int32_t escape : {0, -1}) {
        const Decoded<Codec> d = DecodeBytes<Codec>(bytes, escape);
        EXPECT_FALSE(d.ok) << name << ", escape " << escape;
        EXPECT_EQ(d.image->LastError(), message) << name << ", escape " << escape;
        EXPECT_FALSE(d.image->IsValid()) << name << ", escape " << escape;
    }
}

// What Encode with `type` wrote; `ok` (when given) receives its result.
inline Bytes EncodeBytes(VxImage& image, std::uint32_t type, bool* ok = nullptr)
{
    VxMemStream stream;
    stream.Open();
    const bool encoded = image.Encode(&stream, type);
    if (ok)
        *ok = encoded;
    const std::uint8_t* data = stream.GetBuffer(false);
    return Bytes(data, data + stream.Size());
}

} // namespace vx::test
