// What the codec suites share: a codec run on bytes in memory (decode) or on an image (encode),
// a patterned test picture as a PNM file or a VxImage, a file ImageMagick writes from it, and the
// damage sweep every decoder must survive (each cut of a file, bit flips): false with a message.
#pragma once

#include "image/VxImage.h"
#include "image/VxStream.h"
#include "tests/support/PixelOracle.h"

#include <gtest/gtest.h>

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

// Gradients and a checker pattern; a fourth channel is an opacity ramp.
inline Picture PatternPicture(int width, int height, int channels)
{
    Picture p{width, height, channels, {}};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < channels; ++c) {
                const int v[4] = {x * 255 / width, y * 255 / height, (x / 3 + y / 2) % 2 * 200 + x % 7, (x + y) * 255 / (width + height)};
                p.pixels.push_back(static_cast<std::uint8_t>(channels == 1 ? (v[0] + v[1]) / 2 : v[c]));
            }
    return p;
}

// A 24-bit image, with an alpha plane for 4 channels.
inline std::unique_ptr<VxImage> ImageOf(const Picture& p)
{
    auto image = std::make_unique<VxImage>(p.width, p.height, 24, 0);
    if (p.channels == 4)
        image->CreateAlpha();
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) {
            const std::uint8_t* c = p.At(x, y);
            image->SetPixelColour(x, p.height - 1 - y, RGBQUAD{c[2], c[1], c[0], p.channels == 4 ? c[3] : std::uint8_t{255}}, true);
        }
    return image;
}

// The file ImageMagick's convert makes with `options` from the pattern picture of `channels`.
inline std::filesystem::path MagickWrites(const ScratchDir& dir, const std::string& name, int channels, const std::string& options,
                                          const char* extension)
{
    const auto in = dir / (name + (channels == 1 ? ".pgm" : channels == 4 ? ".pam" : ".ppm"));
    WritePnm(in, PatternPicture(37, 11, channels));
    const auto out = dir / (name + extension);
    RunTool("convert " + Quoted(in) + " " + options + " " + Quoted(out));
    return out;
}

// Every cut of a valid file fails with a message; bit flips never crash, and refusals carry one.
template <class Codec>
void ExpectSurvivesDamage(const Bytes& file, std::size_t flips = 400)
{
    for (std::size_t length = 0; length < file.size(); ++length) {
        const auto d = DecodeWith<Codec>(Bytes(file.begin(), file.begin() + static_cast<long>(length)));
        EXPECT_TRUE(!d.ok && !d.Error().empty()) << "cut at " << length;
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
