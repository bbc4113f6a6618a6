// Codec tests' round trips through memory: a byte block decoded through the dispatch (fully
// or header-only), an image encoded into bytes, and the check that a hostile block is refused
// in both kinds of decode.
#pragma once

#include "image/VxImage.h"
#include "image/VxStream.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <string>

namespace vx::test {

// Decodes `bytes` with the codec of `type` (0: detection) into `image`; with `headerOnly`
// the codec is asked for the size only (as it is when the image's escape is -1 already).
inline bool DecodeBytes(VxImage& image, Bytes bytes, std::uint32_t type, bool headerOnly = false)
{
    if (headerOnly)
        image.Info().escape = -1;
    VxMemStream stream(bytes.data(), static_cast<std::int32_t>(bytes.size()));
    return image.Decode(&stream, type);
}

// What the codec of `type` writes for `image`; empty when the encode fails.
inline Bytes EncodeBytes(VxImage& image, std::uint32_t type)
{
    VxMemStream out;
    out.Open();
    if (!image.Encode(&out, type))
        return {};
    return Bytes(out.GetBuffer(false), out.GetBuffer(false) + out.Tell());
}

// The codec of `type` refuses the block, in a full decode and in a header-only one, with
// `message` as lastError ("" for "not this format", which the dispatch reports as
// "Decode: Unknown or wrong format") and no pixels.
inline void ExpectRefused(const std::string& name, const Bytes& bytes, std::uint32_t type, const std::string& message)
{
    const std::string expected = message.empty() ? "Decode: Unknown or wrong format" : message;
    for (bool headerOnly : {false, true}) {
        VxImage image;
        EXPECT_FALSE(DecodeBytes(image, bytes, type, headerOnly)) << name << ", header only " << headerOnly;
        EXPECT_EQ(image.LastError(), expected) << name << ", header only " << headerOnly;
        EXPECT_FALSE(image.IsValid()) << name << ", header only " << headerOnly;
    }
}

} // namespace vx::test
