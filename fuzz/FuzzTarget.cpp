// The harness shared by the fuzz targets. Anything a decoder must never do with hostile input
// (crash, leak, overrun, fail silently, hand back a picture without pixels) ends the run with
// abort(), which libFuzzer and the replay tests both report as a finding.
#include "fuzz/FuzzTarget.h"

#include "image/VxImage.h"
#include "image/VxStream.h"
#include "image/codecs/CodecTable.h"
#include "image/codecs/VxExifReader.h"
#include "tests/image/codecs/JpegTestBytes.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <vector>

namespace vx::fuzz {

namespace {

using vx::test::Bytes;

[[noreturn]] void Finding(const char* what, const VxImage& image)
{
    std::fprintf(stderr, "fuzz finding: %s (type %u, lastError \"%s\")\n", what, image.ImageType(), image.LastError());
    std::abort();
}

// A stream over a private copy: VxMemStream takes a mutable block.
struct InputStream {
    explicit InputStream(Input input) : bytes(input.begin(), input.end()), stream(bytes.data(), Size()) {}
    std::int32_t Size() const { return static_cast<std::int32_t>(bytes.size()); }
    std::vector<std::uint8_t> bytes;
    VxMemStream stream;
};

// Pictures up to this size are encoded again after a successful decode.
constexpr std::int64_t kMaxReencodedPixels = 4 << 20;

void EncodeAgain(VxImage& image, std::uint32_t type)
{
    const CodecEntry* codec = FindCodec(type);
    if (!codec || !codec->encode)
        return;
    // A temporary file, not a VxMemStream: that grows in fixed 64 KiB steps, and under
    // AddressSanitizer (whose realloc always copies) a large output costs quadratic time.
    std::unique_ptr<std::FILE, decltype(&std::fclose)> file(std::tmpfile(), &std::fclose);
    if (!file)
        return;
    VxFileStream out(file.get());
    image.SetLastError("");
    if (!image.Encode(&out, type) && !*image.LastError())
        Finding("encode failed without a message", image);
}

void RunDecoder(std::uint32_t type, Input input)
{
    if (input.size() > 0x7FFFFFFF)
        return;
    {
        InputStream source(input);
        VxImage header(type);
        header.Info().escape = -1;
        header.Decode(&source.stream, type);
    }
    InputStream source(input);
    VxImage image(type);
    if (!image.Decode(&source.stream, type)) {
        if (!*image.LastError())
            Finding("decode failed without a message", image);
        return;
    }
    if (!image.IsValid() || image.Width() <= 0 || image.Height() <= 0)
        Finding("decode succeeded without a picture", image);
    // A few bytes may legitimately describe a picture of tens of megapixels (a GIF screen of
    // small tiles, a long run): encoding it takes time in proportion to its pixels, which under
    // the sanitizers outlasts the unit timeout without telling anything new. The encoders meet
    // large pictures in the tests and benchmarks.
    if (std::int64_t{image.Width()} * image.Height() > kMaxReencodedPixels)
        return;
    const std::uint32_t decodedType = image.ImageType();
    EncodeAgain(image, decodedType);
    if (decodedType != kVxTypeJpg)
        EncodeAgain(image, kVxTypeJpg);
}

void RunExif(Input input)
{
    if (input.size() > 0x7FFFFFFF)
        return;
    for (int mode : {VxExifReader::kReadExif, VxExifReader::kReadAll}) {
        InputStream source(input);
        VxExifReader reader;
        const bool read = reader.ReadSections(&source.stream, mode);
        if (mode == VxExifReader::kReadExif) {
            // The resize job fits whatever block a source gave, also when the walk stopped later.
            reader.KeepExifAndComment();
            reader.FitExifTo(17, 9, true);
            continue;
        }
        if (!read)
            continue;
        reader.KeepExifAndComment();
        VxMemStream out;
        out.Open();
        reader.WriteSections(&out);
    }
}

// ---- Seeds --------------------------------------------------------------------------------

// Small pictures in every depth an encoder may take: a colour gradient, grey, 16 and 2 colours.
std::vector<std::unique_ptr<VxImage>> SeedPictures()
{
    struct Shape {
        std::uint32_t width, height, bits;
    };
    std::vector<std::unique_ptr<VxImage>> pictures;
    for (const Shape shape : {Shape{37, 23, 24}, Shape{16, 9, 8}, Shape{13, 7, 4}, Shape{17, 5, 1}}) {
        auto picture = std::make_unique<VxImage>(shape.width, shape.height, shape.bits, kVxTypeBmp);
        if (shape.bits == 8)
            picture->SetGreyPalette();
        for (std::int32_t y = 0; y < picture->Height(); ++y)
            for (std::int32_t x = 0; x < picture->Width(); ++x) {
                if (shape.bits == 24)
                    picture->SetPixelColour(x, y, RGBQUAD{static_cast<BYTE>(x * 7), static_cast<BYTE>(y * 11),
                                                          static_cast<BYTE>((x ^ y) * 5), 0});
                else
                    picture->SetPixelIndex(x, y, static_cast<std::uint8_t>((x * 3 + y) % (1u << shape.bits)));
            }
        pictures.push_back(std::move(picture));
    }
    return pictures;
}

// An EXIF block with the fields the reader interprets, in either byte order.
Bytes ExifSection(bool motorola)
{
    using namespace vx::test;
    Tiff tiff(motorola);
    const std::uint32_t ifd0 = tiff.Directory({Text(0x010F, "Vantry"), Text(0x0110, "Fuzz seed"), Short(0x0112, 6),
                                               Rational(0x011A, 300, 1), Rational(0x011B, 300, 1), Short(0x0128, 2),
                                               Long(0x8769, 0)});
    const std::uint32_t sub = tiff.Directory({Rational(0x829A, 1, 125), Rational(0x829D, 28, 10), Short(0x8827, 200),
                                              Text(0x9003, "2024:05:06 07:08:09"), Short(0x9209, 1),
                                              Long(0xA002, 37), Long(0xA003, 23)});
    tiff.Patch32(Tiff::ValueField(ifd0, 6), sub);
    return tiff.App1();
}

// `jpeg` with an EXIF section and a comment right after its start-of-image marker.
Bytes WithExif(const Bytes& jpeg, bool motorola)
{
    Bytes out = vx::test::Joined({jpeg[0], jpeg[1]}, ExifSection(motorola));
    out = vx::test::Joined(out, vx::test::Section(0xFE, Bytes{'s', 'e', 'e', 'd'}));
    for (std::size_t i = 2; i < jpeg.size(); ++i)
        out.push_back(jpeg[i]);
    return out;
}

Bytes Encoded(VxImage& picture, std::uint32_t type, std::uint32_t options)
{
    picture.Info().codecOptions[VxImage::OptionSlot(type)] = options;
    VxMemStream out;
    out.Open();
    if (!picture.Encode(&out, type))
        return {};
    const std::uint8_t* data = out.GetBuffer(false);
    Bytes bytes;
    for (std::int32_t i = 0; i < out.Size(); ++i)
        bytes.push_back(data[i]);
    return bytes;
}

// Every picture in every encoder option set worth varying, for each type given.
std::vector<Bytes> EncodedSeeds(std::initializer_list<std::uint32_t> types)
{
    std::vector<Bytes> seeds;
    const std::vector<std::unique_ptr<VxImage>> pictures = SeedPictures();
    for (std::uint32_t type : types) {
        const CodecEntry* codec = FindCodec(type);
        if (!codec || !codec->encode)
            continue;
        // JPEG: baseline, progressive, arithmetic progressive, optimised greyscale, 2x1 sampling.
        const std::vector<std::uint32_t> optionSets =
            type == kVxTypeJpg ? std::vector<std::uint32_t>{0, 0x10, 0x12, 0x0C, 0x1000} : std::vector<std::uint32_t>{0};
        for (const std::unique_ptr<VxImage>& picture : pictures)
            for (std::uint32_t options : optionSets) {
                Bytes seed = Encoded(*picture, type, options);
                if (seed.empty())
                    continue;
                if (type == kVxTypeJpg && seed.size() > 2)
                    seeds.push_back(WithExif(seed, seeds.size() % 2 == 1));
                seeds.push_back(std::move(seed));
            }
    }
    return seeds;
}

std::vector<Bytes> AllFormatSeeds()
{
    std::vector<Bytes> seeds;
    for (const CodecEntry& codec : CodecTable())
        for (Bytes& seed : EncodedSeeds({codec.type}))
            seeds.push_back(std::move(seed));
    return seeds;
}

void WriteSeeds(const std::filesystem::path& directory, const std::vector<Bytes>& seeds)
{
    std::filesystem::create_directories(directory);
    int number = 0;
    for (const Bytes& seed : seeds) {
        char name[32];
        std::snprintf(name, sizeof name, "seed-%03d", number++);
        std::ofstream(directory / name, std::ios::binary)
            .write(reinterpret_cast<const char*>(seed.data()), static_cast<std::streamsize>(seed.size()));
    }
}

} // namespace

Target DecoderTarget(std::uint32_t type)
{
    return {[type](Input input) { RunDecoder(type, input); },
            [type](const std::filesystem::path& directory) {
                WriteSeeds(directory, type == kVxTypeUnknown ? AllFormatSeeds() : EncodedSeeds({type}));
            }};
}

Target ExifTarget()
{
    return {&RunExif, [](const std::filesystem::path& directory) {
                std::vector<Bytes> seeds = EncodedSeeds({kVxTypeJpg});
                std::erase_if(seeds, [](const Bytes& seed) { return seed.size() < 4 || seed[3] != 0xE1; });
                WriteSeeds(directory, seeds);
            }};
}

} // namespace vx::fuzz
