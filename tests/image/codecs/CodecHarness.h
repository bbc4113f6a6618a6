// What the codec suites share: a codec run on bytes in memory (decode, directly or through the
// dispatch, fully or header-only) or on an image (encode), patterned test pictures as PNM files
// or images, files ImageMagick writes or reads, DIB headers built by hand, and what every decoder
// must survive (hostile blocks refused in both kinds of decode; cuts of a file, bit flips).
#pragma once

#include "image/VxImage.h"
#include "image/VxStream.h"
#include "tests/support/PixelOracle.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <string>

namespace vx::test {

template <class Codec>
struct Decoded {
    bool ok = false;
    std::unique_ptr<Codec> image = std::make_unique<Codec>();
    std::string Error() const { return image->LastError(); }
};

// Settings a test gives the codec before it runs: options, frame, scale ...
template <class Codec>
using Prepare = std::function<void(Codec&)>;

template <class Codec>
Decoded<Codec> DecodeWith(Bytes bytes, std::int32_t escape = 0, const Prepare<Codec>& prepare = {})
{
    Decoded<Codec> d;
    d.image->Info().escape = escape;
    if (prepare)
        prepare(*d.image);
    VxMemStream stream(bytes.data(), static_cast<std::int32_t>(bytes.size()));
    d.ok = d.image->Decode(&stream);
    return d;
}

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

// Gradients and a checker pattern; a fourth channel is an opacity ramp.
inline Picture PatternPicture(int width, int height, int channels)
{
    Picture p{width, height, channels, {}};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < channels; ++c) {
                const int v[4] = {x * 255 / width, y * 255 / height, (x / 3 + y / 2) % 2 * 200 + x % 7,
                                  (x + y) * 255 / (width + height)};
                p.pixels.push_back(static_cast<std::uint8_t>(channels == 1 ? (v[0] + v[1]) / 2 : v[c]));
            }
    return p;
}

// An 8-bit image with the grey palette for one channel, else 24 bits (an alpha plane for 4).
inline std::unique_ptr<VxImage> ImageOf(const Picture& p)
{
    auto image = std::make_unique<VxImage>(p.width, p.height, p.channels == 1 ? 8 : 24, 0);
    if (p.channels == 1)
        image->SetGreyPalette();
    if (p.channels == 4)
        image->CreateAlpha();
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) {
            const std::uint8_t* c = p.At(x, y);
            if (p.channels == 1)
                image->SetPixelIndex(x, p.height - 1 - y, c[0]);
            else
                image->SetPixelColour(x, p.height - 1 - y,
                                      RGBQUAD{c[2], c[1], c[0], p.channels == 4 ? c[3] : std::uint8_t{255}}, true);
        }
    return image;
}

// A palette image of `depth` bits, entry i (37i, 255 - i, 91i); the indices by `kind`: 0 noise,
// 1 flat, 2 long runs of many colours, 3 diagonal stripes.
inline std::unique_ptr<VxImage> IndexedImage(int width, int height, int depth, int kind = 0)
{
    auto image = std::make_unique<VxImage>(width, height, depth, 0);
    const int colours = 1 << depth;
    for (int i = 0; i < colours; ++i)
        image->SetPaletteEntry(static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i * 37),
                               static_cast<std::uint8_t>(255 - i), static_cast<std::uint8_t>(i * 91));
    std::uint32_t state = 11;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            state = state * 1664525u + 1013904223u;
            const int v[4] = {static_cast<int>(state >> 24), 3, (x + y * width) / 700, x / 3 + y};
            image->SetPixelIndex(x, y, static_cast<std::uint8_t>(v[kind] % colours));
        }
    return image;
}

// The file ImageMagick's convert makes with `options` from the pattern picture of `channels`;
// options ending in a coder prefix (BMP3:) name the variant it writes.
inline std::filesystem::path MagickWrites(const ScratchDir& dir, const std::string& name, int channels,
                                          const std::string& options, const char* extension)
{
    const auto in = dir / (name + (channels == 1 ? ".pgm" : channels == 4 ? ".pam" : ".ppm"));
    WritePnm(in, PatternPicture(37, 11, channels));
    const auto out = dir / (name + extension);
    RunTool("convert " + Quoted(in) + " " + options + (options.ends_with(':') ? "" : " ") + Quoted(out));
    return out;
}

// RGBA with fully transparent pixels made black: formats and tools differ in what they keep there.
inline Picture Blackened(Picture p)
{
    for (std::size_t i = 0; i + 3 < p.pixels.size(); i += 4)
        if (p.pixels[i + 3] == 0)
            p.pixels[i] = p.pixels[i + 1] = p.pixels[i + 2] = 0;
    return p;
}

// The image as the eye sees it, blackened RGBA: its alpha plane, and clear where it shows its
// transparent index (palette pictures) or colour (true colour).
inline Picture SeenRgba(const VxImage& image)
{
    Picture p = PictureOf(image, 4);
    const RGBQUAD key = image.TransparentColour();
    for (int y = 0; image.IsTransparent() && y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) {
            std::uint8_t* seen = &p.pixels[(static_cast<std::size_t>(y) * p.width + x) * 4];
            if (image.HasPalette() ? image.PixelIndex(x, p.height - 1 - y) == image.TransparentIndex()
                                   : seen[0] == key.rgbRed && seen[1] == key.rgbGreen && seen[2] == key.rgbBlue)
                seen[3] = 0;
        }
    return Blackened(p);
}

// A 40-byte info header (or `size` bytes: the 40 fields, then zeros) with 3780 pixels per metre.
inline Bytes InfoHeaderBytes(std::int32_t width, std::int32_t height, int bits, std::uint32_t compression = 0,
                             std::uint32_t coloursUsed = 0, std::uint32_t size = 40)
{
    Bytes h;
    for (const Bytes& field :
         {LittleEndian(size, 4), LittleEndian(static_cast<std::uint32_t>(width), 4),
          LittleEndian(static_cast<std::uint32_t>(height), 4), LittleEndian(1, 2),
          LittleEndian(static_cast<std::uint32_t>(bits), 2), LittleEndian(compression, 4), LittleEndian(0, 4),
          LittleEndian(3780, 4), LittleEndian(3780, 4), LittleEndian(coloursUsed, 4), LittleEndian(0, 4)})
        h = Joined(h, field);
    return Joined(h, Bytes(size - 40, 0));
}

// How hard ExpectSurvivesDamage pushes: cuts shorter than `mustFail` bytes must fail (longer
// ones may show what came before the cut); with `messages` every failure carries a message.
struct DamageSweep {
    std::size_t flips = 400;
    std::size_t mustFail = std::numeric_limits<std::size_t>::max();
    bool messages = true;
};

// Cuts of a valid file and bit flips in it never crash (the sanitizer build checks) and fail
// as `sweep` says.
template <class Codec>
void ExpectSurvivesDamage(const Bytes& file, DamageSweep sweep = {}, const Prepare<Codec>& prepare = {})
{
    for (std::size_t length = 0; length < file.size(); ++length) {
        const auto d = DecodeWith<Codec>(Bytes(file.begin(), file.begin() + static_cast<long>(length)), 0, prepare);
        EXPECT_TRUE((length >= sweep.mustFail || !d.ok) && (d.ok || !sweep.messages || !d.Error().empty()))
            << "cut at " << length;
    }
    std::uint32_t state = 5;
    for (std::size_t i = 0; i < sweep.flips; ++i) {
        const auto d = DecodeWith<Codec>(WithFlippedBits(file, state, 1 + i % 3), 0, prepare);
        EXPECT_TRUE(d.ok || !sweep.messages || !d.Error().empty()) << "flip run " << i;
    }
}

} // namespace vx::test
