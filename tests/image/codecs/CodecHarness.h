// What the codec suites share: a codec run on bytes in memory (decode) or on an image (encode),
// pictures turned into VxImages, a patterned test picture, and the hostile-input sweeps every
// decoder must survive (each cut of a file, bit flips) with a clean false and a message.
#pragma once

#include "image/VxImage.h"
#include "image/VxStream.h"
#include "tests/support/PixelOracle.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>

namespace vx::test {

template <class Codec>
struct Decoded {
    bool ok = false;
    std::unique_ptr<Codec> image = std::make_unique<Codec>();
    std::string Error() const { return image->LastError(); }
};

template <class Codec>
Decoded<Codec> DecodeWith(Bytes bytes, std::int32_t escape = 0)
{
    Decoded<Codec> d;
    d.image->Info().escape = escape;
    VxMemStream stream(bytes.data(), static_cast<std::int32_t>(bytes.size()));
    d.ok = d.image->Decode(&stream);
    return d;
}

// The encoded bytes, or none with the codec's message in *error.
template <class Codec>
Bytes EncodeWith(const VxImage& source, std::string* error = nullptr)
{
    Codec codec;
    codec.MakeAlias(&source);
    VxMemStream out;
    out.Open();
    const bool ok = codec.Encode(&out);
    if (error)
        *error = codec.LastError();
    return ok ? Bytes(out.GetBuffer(false), out.GetBuffer(false) + out.Tell()) : Bytes{};
}

// Gradients, blocks and noise in every channel; 4 channels add an opacity ramp.
inline Picture PatternPicture(int width, int height, int channels)
{
    Picture p{width, height, channels, {}};
    std::uint32_t state = 11;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            state = state * 1664525u + 1013904223u;
            const int v[4] = {x * 255 / width, y * 255 / height, ((x / 3 + y / 2) % 2) * 200 + static_cast<int>(state >> 29),
                              (x + y) * 255 / (width + height)};
            for (int c = 0; c < channels; ++c)
                p.pixels.push_back(static_cast<std::uint8_t>(channels == 1 ? (v[0] + v[1]) / 2 : v[c]));
        }
    }
    return p;
}

// A 24-bit image (with an alpha plane for 4 channels) or an 8-bit grey-palette image.
inline std::unique_ptr<VxImage> ImageOf(const Picture& p)
{
    auto image = std::make_unique<VxImage>(p.width, p.height, p.channels == 1 ? 8 : 24, 0);
    if (p.channels == 1)
        image->SetGreyPalette();
    if (p.channels == 4)
        image->CreateAlpha();
    for (int y = 0; y < p.height; ++y) {
        for (int x = 0; x < p.width; ++x) {
            const std::uint8_t* c = p.At(x, y);
            const int row = p.height - 1 - y;
            if (p.channels == 1) {
                image->SetPixelIndex(x, row, c[0]);
                continue;
            }
            image->SetPixelColour(x, row, RGBQUAD{c[2], c[1], c[0], p.channels == 4 ? c[3] : std::uint8_t{255}},
                                  p.channels == 4);
        }
    }
    return image;
}

// Every cut of a valid file fails cleanly with a message; random bit flips never crash and
// every refusal carries a message.
template <class Codec>
void ExpectSurvivesDamage(const Bytes& file, std::size_t flips = 400)
{
    for (std::size_t length = 0; length < file.size(); ++length) {
        const auto d = DecodeWith<Codec>(Bytes(file.begin(), file.begin() + static_cast<long>(length)));
        EXPECT_FALSE(d.ok) << "cut at " << length;
        EXPECT_FALSE(d.Error().empty()) << "cut at " << length;
    }
    std::uint32_t state = 5;
    for (std::size_t i = 0; i < flips; ++i) {
        Bytes damaged = file;
        for (int k = 0; k < 3; ++k) {
            state = state * 1664525u + 1013904223u;
            damaged[(state >> 8) % damaged.size()] ^= static_cast<std::uint8_t>(1u << (state >> 29));
        }
        const auto d = DecodeWith<Codec>(damaged);
        EXPECT_TRUE(d.ok || !d.Error().empty()) << "flip run " << i;
    }
}

} // namespace vx::test
