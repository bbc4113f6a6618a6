// VxImageJPG: decodes compared byte for byte with djpeg on files cjpeg/jpegtran made from
// generated pictures (skipped where those tools are absent, as under Wine); encodes compared
// with cjpeg and read back by djpeg; header fields, options and resolutions; hostile input
// (empty, truncated, bit flips, absurd sizes, endless scans); the EXIF write-back; and the
// round trip through VxImage::Load/Save with type 3.
#include "image/codecs/VxImageJPG.h"

#include "image/VxStream.h"
#include "tests/image/codecs/JpegTestBytes.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace vx::test;
namespace fs = std::filesystem;

constexpr std::uint32_t kJpegSlot = 3; // codecOptions index of type 3

// ---- Pictures, PNM files and the outside tools ------------------------------------------------

// Pixels top row first, RGB or grey.
struct Picture {
    int width = 0;
    int height = 0;
    int channels = 0;
    Bytes pixels;
};

// Gradients, hard-edged blocks and noise, so every DCT band and both chroma planes carry data.
Picture MakePicture(int width, int height, int channels, std::uint32_t seed = 7)
{
    Picture p{width, height, channels, Bytes(static_cast<std::size_t>(width) * height * channels)};
    std::uint32_t state = seed;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            state = state * 1664525u + 1013904223u;
            const int noise = static_cast<int>(state >> 28) - 8;
            const bool block = ((x / 9) + (y / 7)) % 3 == 0;
            const int base[3] = {x * 255 / width, y * 255 / height, block ? 230 : (x * y) % 97};
            for (int c = 0; c < channels; ++c) {
                const int v = (channels == 1 ? (base[0] + base[1] + base[2]) / 3 : base[c]) + noise;
                p.pixels[(static_cast<std::size_t>(y) * width + x) * channels + c] =
                    static_cast<std::uint8_t>(std::clamp(v, 0, 255));
            }
        }
    }
    return p;
}

// Gentle gradients with a little noise: what a photo looks like to a quality check.
Picture MakeSmoothPicture(int width, int height)
{
    Picture p{width, height, 3, {}};
    std::uint32_t state = 99;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            state = state * 1664525u + 1013904223u;
            const int noise = static_cast<int>(state >> 30) - 2;
            for (int v : {x * 255 / width, y * 255 / height, (x + y) * 255 / (width + height)})
                p.pixels.push_back(static_cast<std::uint8_t>(std::clamp(v + noise, 0, 255)));
        }
    }
    return p;
}

void WritePnm(const fs::path& path, const Picture& p)
{
    std::string head = (p.channels == 1 ? "P5\n" : "P6\n") + std::to_string(p.width) + " " +
                       std::to_string(p.height) + "\n255\n";
    Bytes bytes(head.begin(), head.end());
    bytes.insert(bytes.end(), p.pixels.begin(), p.pixels.end());
    vx::test::WriteFileBytes(path, bytes);
}

Picture ReadPnm(const fs::path& path)
{
    const Bytes bytes = vx::test::ReadFileBytes(path);
    std::size_t pos = 0;
    const auto token = [&] {
        while (pos < bytes.size() && (std::isspace(bytes[pos]) || bytes[pos] == '#')) {
            if (bytes[pos] == '#')
                while (pos < bytes.size() && bytes[pos] != '\n')
                    ++pos;
            else
                ++pos;
        }
        std::string t;
        while (pos < bytes.size() && !std::isspace(bytes[pos]))
            t += static_cast<char>(bytes[pos++]);
        return t;
    };
    Picture p;
    const std::string magic = token();
    if (magic != "P5" && magic != "P6")
        return p;
    p.channels = magic == "P5" ? 1 : 3;
    p.width = std::stoi(token());
    p.height = std::stoi(token());
    token(); // maximum value
    ++pos;   // the single white-space byte before the samples
    p.pixels.assign(bytes.begin() + static_cast<long>(pos), bytes.end());
    return p;
}

bool HaveJpegTools()
{
#if defined(_WIN32)
    return false;
#else
    static const bool present =
        std::system("command -v cjpeg >/dev/null 2>&1 && command -v djpeg >/dev/null 2>&1 && "
                    "command -v jpegtran >/dev/null 2>&1") == 0;
    return present;
#endif
}

#define REQUIRE_JPEG_TOOLS()                                                                       \
    do {                                                                                           \
        if (!HaveJpegTools())                                                                      \
            GTEST_SKIP() << "cjpeg, djpeg and jpegtran are needed for this comparison";            \
    } while (0)

std::string Quoted(const fs::path& path)
{
    return "'" + path.string() + "'";
}

void RunTool(const std::string& command)
{
    ASSERT_EQ(std::system((command + " 2>/dev/null").c_str()), 0) << command;
}

// ---- Our codec ---------------------------------------------------------------------------------

struct Decoded {
    bool ok = false;
    std::unique_ptr<VxImageJPG> image = std::make_unique<VxImageJPG>();
    std::string Error() const { return image->LastError(); }
};

Decoded DecodeBytes(Bytes bytes, std::uint32_t options = 0, std::uint8_t scale = 0, std::int32_t escape = 0)
{
    Decoded d;
    d.image->Info().codecOptions[kJpegSlot] = options;
    d.image->Info().jpegScale = scale;
    d.image->Info().escape = escape;
    VxMemStream stream(bytes.data(), static_cast<std::int32_t>(bytes.size()));
    d.ok = d.image->Decode(&stream);
    return d;
}

// A 24-bit image, or an 8-bit one with the grey palette, holding the picture.
std::unique_ptr<VxImage> MakeImage(const Picture& p)
{
    auto image = std::make_unique<VxImage>(p.width, p.height, p.channels == 1 ? 8 : 24, 0);
    if (p.channels == 1)
        image->SetGreyPalette();
    for (int y = 0; y < p.height; ++y) {
        std::uint8_t* row = image->RowAddress(static_cast<std::uint32_t>(p.height - 1 - y));
        const std::uint8_t* source = &p.pixels[static_cast<std::size_t>(y) * p.width * p.channels];
        for (int x = 0; x < p.width; ++x) {
            if (p.channels == 1) {
                row[x] = source[x];
            } else {
                row[3 * x] = source[3 * x + 2];
                row[3 * x + 1] = source[3 * x + 1];
                row[3 * x + 2] = source[3 * x];
            }
        }
    }
    return image;
}

// The image as top-down pixels with the channel count asked for (palettes looked up).
Picture ToPicture(const VxImage& image, int channels)
{
    Picture p{image.Width(), image.Height(), channels, {}};
    for (int y = image.Height() - 1; y >= 0; --y) {
        for (int x = 0; x < image.Width(); ++x) {
            const RGBQUAD c = image.PixelColour(x, y, false);
            if (channels == 1) {
                p.pixels.push_back(c.rgbRed);
            } else {
                p.pixels.insert(p.pixels.end(), {c.rgbRed, c.rgbGreen, c.rgbBlue});
            }
        }
    }
    return p;
}

Bytes EncodeImage(const VxImage& source, std::uint32_t options = 0, bool* ok = nullptr, std::string* error = nullptr)
{
    VxImageJPG codec;
    codec.MakeAlias(&source);
    codec.Info().codecOptions[kJpegSlot] = options;
    VxMemStream out;
    out.Open();
    const bool encoded = codec.Encode(&out);
    if (ok)
        *ok = encoded;
    if (error)
        *error = codec.LastError();
    const std::uint8_t* buffer = out.GetBuffer(false);
    return encoded ? Bytes(buffer, buffer + out.Tell()) : Bytes{};
}

Bytes EncodePicture(const Picture& p, std::uint32_t options = 0)
{
    const auto image = MakeImage(p);
    return EncodeImage(*image, options);
}

double Psnr(const Picture& a, const Picture& b)
{
    double sum = 0;
    for (std::size_t i = 0; i < a.pixels.size(); ++i)
        sum += (a.pixels[i] - b.pixels[i]) * (a.pixels[i] - b.pixels[i]);
    return sum == 0 ? 99 : 10 * std::log10(255.0 * 255.0 * a.pixels.size() / sum);
}

// Offset of the first marker FF <code>, or npos.
std::size_t FindMarker(const Bytes& jpeg, std::uint8_t code)
{
    for (std::size_t i = 0; i + 1 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && jpeg[i + 1] == code)
            return i;
    return std::string::npos;
}

// Sampling bytes (H << 4 | V) of the frame header, one per component.
Bytes Sampling(const Bytes& jpeg, std::uint8_t sof = 0xC0)
{
    const std::size_t at = FindMarker(jpeg, sof);
    if (at == std::string::npos)
        return {};
    Bytes out;
    for (int c = 0; c < jpeg[at + 9]; ++c)
        out.push_back(jpeg[at + 11 + 3 * c]);
    return out;
}

// The JFIF header of our files sits right after SOI: FF E0 len "JFIF" 0 ver(2) unit X(2) Y(2).
void SetJfifDensity(Bytes& jpeg, int unit, int x, int y)
{
    ASSERT_EQ(jpeg[3], 0xE0);
    jpeg[13] = static_cast<std::uint8_t>(unit);
    jpeg[14] = static_cast<std::uint8_t>(x >> 8);
    jpeg[15] = static_cast<std::uint8_t>(x);
    jpeg[16] = static_cast<std::uint8_t>(y >> 8);
    jpeg[17] = static_cast<std::uint8_t>(y);
}

// An APP1 "Exif" section holding one little-endian directory.
Bytes ExifSection(const std::vector<Field>& fields)
{
    Tiff tiff(false);
    tiff.Directory(fields);
    return tiff.App1();
}

Bytes WithSectionAfterSoi(Bytes jpeg, const Bytes& section)
{
    jpeg.insert(jpeg.begin() + 2, section.begin(), section.end());
    return jpeg;
}

// ---- Decoding against djpeg ---------------------------------------------------------------------

struct OracleCase {
    const char* name;
    int channels;             // 1: a PGM source, 3: a PPM source
    const char* cjpeg;        // options for cjpeg
    const char* jpegtran;     // options for a jpegtran pass, or null
    std::uint32_t options;    // our decode options
    std::uint8_t scale;       // our jpegScale
    const char* djpeg;        // the matching djpeg options
    int outputChannels;       // what djpeg writes
};

// Both sides use libjpeg's accurate integer DCT (djpeg -dct int) and, unless the case says
// otherwise, its fancy upsampling and block smoothing, which our decoder leaves at libjpeg's
// defaults.
const OracleCase kOracleCases[] = {
    {"Baseline420", 3, "-quality 90 -sample 2x2", nullptr, 0, 0, "", 3},
    {"Baseline422", 3, "-quality 85 -sample 2x1", nullptr, 0, 0, "", 3},
    {"Baseline444", 3, "-quality 75 -sample 1x1", nullptr, 0, 0, "", 3},
    {"Progressive", 3, "-progressive -sample 2x2", nullptr, 0, 0, "", 3},
    {"Greyscale", 1, "-quality 90", nullptr, 0, 0, "", 1},
    {"GreyscaleProgressive", 1, "-progressive", nullptr, 0, 0, "", 1},
    {"RestartEveryRow", 3, "-restart 1 -sample 2x2", nullptr, 0, 0, "", 3},
    {"RestartEveryThreeBlocks", 3, "-restart 3B -sample 2x1", nullptr, 0, 0, "", 3},
    {"Arithmetic", 3, "-arithmetic", nullptr, 0, 0, "", 3},
    {"OptimizedLowQuality", 3, "-optimize -quality 20", nullptr, 0, 0, "", 3},
    {"JpegtranProgressive", 3, "-sample 2x2", "-progressive", 0, 0, "", 3},
    {"JpegtranRestart", 3, "-sample 2x2", "-restart 2", 0, 0, "", 3},
    {"NoFancyUpsampling", 3, "-sample 2x2", nullptr, 0x800, 0, "-nosmooth", 3},
    {"HalfScale", 3, "-sample 2x2", nullptr, 0, 2, "-scale 1/2", 3},
    {"EighthScale", 3, "-progressive", nullptr, 0, 8, "-scale 1/8", 3},
    {"GreyOutputOfColour", 3, "-sample 2x2", nullptr, 0x80, 0, "-grayscale", 1},
    {"Quantised90Colours", 3, "-sample 2x2", nullptr, 0x100, 0, "-colors 90", 3},
    {"QuantisedOnePass", 3, "-sample 1x1", nullptr, 0x100 | 0x400, 0, "-colors 90 -onepass", 3},
    {"QuantisedGrey", 3, "-sample 2x2", nullptr, 0x100 | 0x80, 0, "-grayscale -colors 90", 1},
};

class VxImageJPGOracle : public testing::TestWithParam<OracleCase> {};

TEST_P(VxImageJPGOracle, DecodeIsByteIdenticalToDjpeg)
{
    REQUIRE_JPEG_TOOLS();
    const OracleCase& c = GetParam();
    vx::test::ScratchDir dir;
    const Picture source = MakePicture(203, 157, c.channels);
    const fs::path pnm = dir / "source.pnm";
    const fs::path jpeg = dir / "picture.jpg";
    const fs::path oracle = dir / "oracle.pnm";
    WritePnm(pnm, source);
    RunTool("cjpeg " + std::string(c.cjpeg) + " -outfile " + Quoted(jpeg) + " " + Quoted(pnm));
    if (c.jpegtran) {
        const fs::path transformed = dir / "transformed.jpg";
        RunTool("jpegtran " + std::string(c.jpegtran) + " -outfile " + Quoted(transformed) + " " + Quoted(jpeg));
        fs::rename(transformed, jpeg);
    }
    RunTool("djpeg -dct int -pnm " + std::string(c.djpeg) + " -outfile " + Quoted(oracle) + " " + Quoted(jpeg));
    const Picture expected = ReadPnm(oracle);
    ASSERT_EQ(expected.channels, c.outputChannels);

    const Decoded d = DecodeBytes(vx::test::ReadFileBytes(jpeg), c.options, c.scale);
    ASSERT_TRUE(d.ok) << d.Error();
    EXPECT_EQ(d.image->ImageType(), 3u);
    EXPECT_EQ(d.image->BitsPerPixel(), (c.outputChannels == 1 || (c.options & 0x100)) ? 8 : 24);
    const Picture ours = ToPicture(*d.image, expected.channels);
    ASSERT_EQ(ours.width, expected.width);
    ASSERT_EQ(ours.height, expected.height);
    ASSERT_EQ(ours.pixels.size(), expected.pixels.size());
    EXPECT_TRUE(ours.pixels == expected.pixels);
}

INSTANTIATE_TEST_SUITE_P(Files, VxImageJPGOracle, testing::ValuesIn(kOracleCases),
                         [](const testing::TestParamInfo<OracleCase>& info) { return std::string(info.param.name); });

TEST(VxImageJPGDecode, AdobeCmykBecomesInkTimesBlack)
{
    REQUIRE_JPEG_TOOLS();
    if (std::system("command -v convert >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "ImageMagick makes the CMYK file";
    vx::test::ScratchDir dir;
    WritePnm(dir / "source.ppm", MakePicture(64, 48, 3));
    RunTool("convert " + Quoted(dir / "source.ppm") + " -colorspace cmyk " + Quoted(dir / "cmyk.jpg"));
    RunTool("djpeg -dct int -pnm -outfile " + Quoted(dir / "oracle.ppm") + " " + Quoted(dir / "cmyk.jpg"));
    const Picture expected = ReadPnm(dir / "oracle.ppm");
    const Decoded d = DecodeBytes(vx::test::ReadFileBytes(dir / "cmyk.jpg"));
    ASSERT_TRUE(d.ok) << d.Error();
    ASSERT_EQ(d.image->BitsPerPixel(), 24);
    const Picture ours = ToPicture(*d.image, 3);
    ASSERT_EQ(ours.pixels.size(), expected.pixels.size());
    // djpeg rounds ink x black / 255 where the DIB rows truncate: at most one apart.
    int worst = 0;
    for (std::size_t i = 0; i < ours.pixels.size(); ++i)
        worst = std::max(worst, std::abs(ours.pixels[i] - expected.pixels[i]));
    EXPECT_LE(worst, 1);
}

// ---- Decoding: formats, layout and resolution ------------------------------------------------

TEST(VxImageJPGDecode, GreyFileGivesEightBitsWithTheGreyPalette)
{
    const Decoded d = DecodeBytes(EncodePicture(MakePicture(40, 30, 1)));
    ASSERT_TRUE(d.ok) << d.Error();
    EXPECT_EQ(d.image->BitsPerPixel(), 8);
    EXPECT_EQ(d.image->ColourCount(), 256u);
    EXPECT_TRUE(d.image->IsGreyPalette());
}

TEST(VxImageJPGDecode, ColourRowsAreBlueGreenRedAndBottomUp)
{
    // Top half red, bottom half blue.
    Picture p{32, 32, 3, Bytes(32 * 32 * 3, 0)};
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x)
            p.pixels[(y * 32 + x) * 3 + (y < 16 ? 0 : 2)] = 255;
    const Decoded d = DecodeBytes(EncodePicture(p));
    ASSERT_TRUE(d.ok) << d.Error();
    const std::uint8_t* bottom = d.image->RowAddress(0);
    const std::uint8_t* top = d.image->RowAddress(31);
    EXPECT_GT(top[2], 240);    // red, third byte
    EXPECT_LT(top[0], 15);
    EXPECT_GT(bottom[0], 240); // blue, first byte
    EXPECT_LT(bottom[2], 15);
}

TEST(VxImageJPGDecode, HeaderOnlyGivesTheSizeWithoutPixels)
{
    const Decoded d = DecodeBytes(EncodePicture(MakePicture(77, 33, 3)), 0, 0, -1);
    ASSERT_TRUE(d.ok) << d.Error();
    EXPECT_FALSE(d.image->IsValid());
    EXPECT_EQ(d.image->Width(), 77);
    EXPECT_EQ(d.image->Height(), 33);
    EXPECT_EQ(d.image->ImageType(), 3u);
}

TEST(VxImageJPGDecode, CancelledDecodeKeepsTheLastError)
{
    Decoded d;
    Bytes bytes = EncodePicture(MakePicture(20, 20, 3));
    d.image->SetLastError("before");
    d.image->Info().escape = 5;
    VxMemStream stream(bytes.data(), static_cast<std::int32_t>(bytes.size()));
    EXPECT_FALSE(d.image->Decode(&stream));
    EXPECT_EQ(d.Error(), "before");
}

TEST(VxImageJPGDecode, FullSizeUnlessAScaleIsAsked)
{
    const Bytes bytes = EncodePicture(MakePicture(64, 40, 3));
    EXPECT_EQ(DecodeBytes(bytes).image->Width(), 64);
    EXPECT_EQ(DecodeBytes(bytes, 0, 4).image->Width(), 16);
}

struct ResolutionCase {
    const char* name;
    int jfifUnit, jfifX, jfifY;
    std::vector<Field> exif; // empty: no EXIF section
    int xDpi, yDpi;
};

class VxImageJPGResolution : public testing::TestWithParam<ResolutionCase> {};

TEST_P(VxImageJPGResolution, FollowsExifThenJfif)
{
    const ResolutionCase& c = GetParam();
    Bytes jpeg = EncodePicture(MakePicture(16, 16, 3));
    SetJfifDensity(jpeg, c.jfifUnit, c.jfifX, c.jfifY);
    if (!c.exif.empty())
        jpeg = WithSectionAfterSoi(jpeg, ExifSection(c.exif));
    const Decoded d = DecodeBytes(jpeg);
    ASSERT_TRUE(d.ok) << d.Error();
    EXPECT_EQ(d.image->Exif().isExif, !c.exif.empty());
    EXPECT_EQ(d.image->XDpi(), c.xDpi);
    EXPECT_EQ(d.image->YDpi(), c.yDpi);
    EXPECT_EQ(d.image->Header().biXPelsPerMeter, static_cast<LONG>(std::floor(c.xDpi * 39.37007874015748 + 0.5)));
}

const ResolutionCase kResolutionCases[] = {
    {"JfifDotsPerCentimetre", 2, 118, 118, {}, 300, 300},
    {"JfifDotsPerInch", 1, 300, 150, {}, 300, 150},
    {"JfifZeroDensityIsDefault", 1, 0, 0, {}, 96, 96},
    {"JfifAspectRatioOnly", 0, 1, 2, {}, 96, 192},
    {"ExifBeforeJfif", 1, 300, 300, {Rational(0x011A, 72, 1), Rational(0x011B, 72, 1), Short(0x0128, 2)}, 72, 72},
    {"ExifCentimetres", 1, 300, 300, {Rational(0x011A, 118, 1), Rational(0x011B, 118, 1), Short(0x0128, 3)}, 299, 299},
    {"ExifWithoutResolutionLeavesJfif", 1, 300, 200, {Text(0x010F, "Camera")}, 300, 200},
    {"ExifWithoutUnitLeavesJfif", 1, 240, 240, {Rational(0x011A, 72, 1)}, 240, 240},
    {"ExifAbsurdResolutionIsIgnored", 1, 300, 300, {Rational(0x011A, 4000000000u, 1), Rational(0x011B, 50, 1),
                                                    Short(0x0128, 2)}, 96, 50},
};

INSTANTIATE_TEST_SUITE_P(Headers, VxImageJPGResolution, testing::ValuesIn(kResolutionCases),
                         [](const testing::TestParamInfo<ResolutionCase>& info) { return std::string(info.param.name); });

// ---- Hostile input -----------------------------------------------------------------------------

TEST(VxImageJPGHostile, EmptyInput)
{
    const Decoded d = DecodeBytes({});
    EXPECT_FALSE(d.ok);
    EXPECT_EQ(d.Error(), "Empty input file");
}

TEST(VxImageJPGHostile, NotAJpeg)
{
    const Decoded d = DecodeBytes({'B', 'M', 1, 2, 3, 4, 5, 6});
    EXPECT_FALSE(d.ok);
    EXPECT_EQ(d.Error(), "Not a JPEG file: starts with 0x42 0x4d");
}

TEST(VxImageJPGHostile, TruncatedInsideTheScanStillDecodes)
{
    const Bytes whole = EncodePicture(MakePicture(96, 96, 3));
    const Decoded full = DecodeBytes(whole);
    ASSERT_TRUE(full.ok);
    const Bytes cut(whole.begin(), whole.begin() + static_cast<long>(whole.size() * 6 / 10));
    const Decoded part = DecodeBytes(cut);
    ASSERT_TRUE(part.ok) << part.Error();
    ASSERT_EQ(part.image->Width(), 96);
    ASSERT_EQ(part.image->Height(), 96);
    // The first MCU row came in whole; the missing end is libjpeg's flat fill.
    for (std::uint32_t y = 80; y < 96; ++y)
        EXPECT_EQ(std::memcmp(part.image->RowAddress(y), full.image->RowAddress(y), 96 * 3), 0) << y;
    EXPECT_NE(std::memcmp(part.image->RowAddress(0), full.image->RowAddress(0), 96 * 3), 0);
}

TEST(VxImageJPGHostile, BitFlipsNeverCrash)
{
    // Baseline, progressive, restart markers, greyscale: every flip must end in a clean result.
    const Picture colour = MakePicture(48, 40, 3);
    const std::vector<Bytes> files = {EncodePicture(colour), EncodePicture(colour, 0x10),
                                      EncodePicture(MakePicture(40, 24, 1)),
                                      WithSectionAfterSoi(EncodePicture(colour), ExifSection({Rational(0x011A, 72, 1)}))};
    std::uint32_t state = 12345;
    int failures = 0;
    for (const Bytes& original : files) {
        for (int flip = 0; flip < 400; ++flip) {
            Bytes bytes = original;
            state = state * 1664525u + 1013904223u;
            const std::size_t at = (state >> 8) % bytes.size();
            bytes[at] ^= static_cast<std::uint8_t>(1u << (state & 7));
            const Decoded d = DecodeBytes(bytes);
            if (!d.ok) {
                ++failures;
                EXPECT_FALSE(d.Error().empty()) << "flip at " << at;
            } else if (d.image->IsValid()) {
                EXPECT_GT(d.image->Width(), 0);
            }
        }
    }
    EXPECT_GT(failures, 0); // some flips hit the headers
}

Bytes WithFrameSize(Bytes jpeg, std::uint8_t sof, int width, int height)
{
    const std::size_t at = FindMarker(jpeg, sof);
    jpeg[at + 5] = static_cast<std::uint8_t>(height >> 8);
    jpeg[at + 6] = static_cast<std::uint8_t>(height);
    jpeg[at + 7] = static_cast<std::uint8_t>(width >> 8);
    jpeg[at + 8] = static_cast<std::uint8_t>(width);
    return jpeg;
}

TEST(VxImageJPGHostile, HugeHeaderIsRefusedBeforeAnyAllocation)
{
    const Picture p = MakePicture(32, 32, 3);
    for (const auto& [options, sof] : {std::pair{0u, std::uint8_t{0xC0}}, std::pair{0x10u, std::uint8_t{0xC2}}}) {
        const Decoded d = DecodeBytes(WithFrameSize(EncodePicture(p, options), sof, 60000, 60000));
        EXPECT_FALSE(d.ok);
        EXPECT_EQ(d.Error(), "VXIMAGE_MAX_MEMORY exceeded");
        EXPECT_FALSE(d.image->IsValid());
        // The size alone may still be asked for.
        const Decoded header = DecodeBytes(WithFrameSize(EncodePicture(p, options), sof, 60000, 60000), 0, 0, -1);
        EXPECT_TRUE(header.ok);
        EXPECT_EQ(header.image->Width(), 60000);
    }
}

TEST(VxImageJPGHostile, EndlessScansAreCutOff)
{
    // A progressive file whose last scan repeats: libjpeg only warns, so the decoder must stop it.
    const Bytes jpeg = EncodePicture(MakePicture(32, 32, 3), 0x10);
    std::size_t lastScan = 0;
    for (std::size_t i = 0; i + 1 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xDA)
            lastScan = i;
    const Bytes scan(jpeg.begin() + static_cast<long>(lastScan), jpeg.end() - 2);
    const auto repeated = [&](int times) {
        Bytes out(jpeg.begin(), jpeg.end() - 2);
        for (int i = 0; i < times; ++i)
            out.insert(out.end(), scan.begin(), scan.end());
        out.insert(out.end(), {0xFF, 0xD9});
        return out;
    };
    EXPECT_TRUE(DecodeBytes(repeated(50)).ok);
    const Decoded d = DecodeBytes(repeated(600));
    EXPECT_FALSE(d.ok);
    EXPECT_EQ(d.Error(), "JPEG image has more than 500 scans");
}

// ---- Encoding ------------------------------------------------------------------------------------

TEST(VxImageJPGEncode, MatchesCjpegAtQualityNinetyApartFromTheDensity)
{
    REQUIRE_JPEG_TOOLS();
    for (int channels : {3, 1}) {
        vx::test::ScratchDir dir;
        const Picture p = MakePicture(123, 77, channels);
        WritePnm(dir / "source.pnm", p);
        RunTool("cjpeg -quality 90 -sample 2x2 -outfile " + Quoted(dir / "cjpeg.jpg") + " " + Quoted(dir / "source.pnm"));
        const Bytes theirs = vx::test::ReadFileBytes(dir / "cjpeg.jpg");
        Bytes ours = EncodePicture(p);
        ASSERT_EQ(ours.size(), theirs.size()) << channels;
        // JFIF unit and densities: ours says 96 x 96 dots per inch, cjpeg an aspect ratio of 1:1.
        EXPECT_EQ(Bytes(ours.begin() + 13, ours.begin() + 18), (Bytes{1, 0, 96, 0, 96}));
        std::copy(theirs.begin() + 13, theirs.begin() + 18, ours.begin() + 13);
        EXPECT_TRUE(ours == theirs) << channels;
    }
}

TEST(VxImageJPGEncode, DjpegReadsOurFilesBackAsWeDo)
{
    REQUIRE_JPEG_TOOLS();
    vx::test::ScratchDir dir;
    const Picture p = MakeSmoothPicture(161, 99);
    const Bytes ours = EncodePicture(p, 0x10 | 0x08);
    vx::test::WriteFileBytes(dir / "ours.jpg", ours);
    RunTool("djpeg -dct int -pnm -outfile " + Quoted(dir / "back.ppm") + " " + Quoted(dir / "ours.jpg"));
    const Picture back = ReadPnm(dir / "back.ppm");
    ASSERT_EQ(back.width, 161);
    ASSERT_EQ(back.height, 99);
    EXPECT_GT(Psnr(back, p), 30.0);
    const Decoded d = DecodeBytes(ours);
    ASSERT_TRUE(d.ok);
    EXPECT_TRUE(ToPicture(*d.image, 3).pixels == back.pixels);
}

TEST(VxImageJPGEncode, WritesJfifDensitySamplingAndGreyComponents)
{
    auto image = MakeImage(MakePicture(50, 20, 3));
    image->SetXDpi(300);
    image->SetYDpi(150);
    Bytes jpeg = EncodeImage(*image);
    EXPECT_EQ(Bytes(jpeg.begin() + 2, jpeg.begin() + 18),
              (Bytes{0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F', 0, 1, 1, 1, 0x01, 0x2C, 0, 150}));
    EXPECT_EQ(Sampling(jpeg), (Bytes{0x22, 0x11, 0x11}));

    image->SetXDpi(70000); // more than the 16-bit field holds
    jpeg = EncodeImage(*image);
    EXPECT_EQ(jpeg[14], 0xFF);
    EXPECT_EQ(jpeg[15], 0xFF);

    const auto grey = MakeImage(MakePicture(50, 20, 1));
    EXPECT_EQ(Sampling(EncodeImage(*grey)).size(), 1u);
}

TEST(VxImageJPGEncode, OptionBitsReachLibjpeg)
{
    const auto image = MakeImage(MakePicture(64, 48, 3));
    EXPECT_EQ(Sampling(EncodeImage(*image, 0x1000)), (Bytes{0x21, 0x11, 0x11}));
    EXPECT_EQ(Sampling(EncodeImage(*image, 0x1000 | 0x2000)), (Bytes{0x11, 0x11, 0x11}));
    EXPECT_EQ(Sampling(EncodeImage(*image, 0x04)).size(), 1u);                  // grey
    EXPECT_EQ(Sampling(EncodeImage(*image, 0x10), 0xC2).size(), 3u);            // progressive
    EXPECT_EQ(Sampling(EncodeImage(*image, 0x02), 0xC9).size(), 3u);            // arithmetic
    EXPECT_LT(EncodeImage(*image, 0x08).size(), EncodeImage(*image).size());    // optimised tables
    const Decoded d = DecodeBytes(EncodeImage(*image, 0x10 | 0x02 | 0x40));
    EXPECT_TRUE(d.ok) << d.Error();
}

TEST(VxImageJPGEncode, RefusesColourPalettesAndUnpacksSmallGreyOnes)
{
    VxImage colour(8, 8, 8, 0);
    colour.SetPaletteEntry(1, 255, 0, 0);
    bool ok = true;
    std::string error;
    EncodeImage(colour, 0, &ok, &error);
    EXPECT_FALSE(ok);
    EXPECT_EQ(error, "JPEG can save only RGB or GreyScale images");

    // Palettes (0,0,0), (1,1,1) ... pass the grey test; the samples are the indices.
    for (std::uint32_t bits : {1u, 4u}) {
        VxImage small(37, 19, bits, 0);
        const std::uint32_t entries = 1u << bits;
        for (std::uint32_t i = 0; i < entries; ++i)
            small.SetPaletteEntry(static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i),
                                  static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i));
        ASSERT_TRUE(small.IsGreyPalette());
        for (int y = 0; y < 19; ++y)
            for (int x = 0; x < 37; ++x)
                small.SetPixelIndex(x, y, static_cast<std::uint8_t>((x / 8) % entries));
        const Bytes jpeg = EncodeImage(small, 0, &ok, &error);
        ASSERT_TRUE(ok) << error;
        const Decoded d = DecodeBytes(jpeg);
        ASSERT_TRUE(d.ok);
        ASSERT_EQ(d.image->Width(), 37);
        EXPECT_EQ(d.image->BitsPerPixel(), 8);
        for (int x = 0; x < 37; ++x)
            EXPECT_NEAR(d.image->PixelIndex(x, 9), static_cast<int>((x / 8) % entries), 2) << bits << " " << x;
    }
}

// A memory stream that takes only so many bytes.
class ShortStream : public VxMemStream {
public:
    explicit ShortStream(std::uint32_t room) : m_room(room) { Open(); }
    std::uint32_t Write(const void* buffer, std::size_t size, std::size_t count) override
    {
        const std::size_t n = std::min<std::size_t>(size * count, m_room);
        m_room -= static_cast<std::uint32_t>(n);
        return VxMemStream::Write(buffer, 1, n) / (size ? size : 1);
    }

private:
    std::uint32_t m_room;
};

TEST(VxImageJPGEncode, WriteFailuresAreReported)
{
    const auto image = MakeImage(MakePicture(200, 200, 3));
    for (std::uint32_t room : {0u, 5000u, 9000u}) {
        VxImageJPG codec;
        codec.MakeAlias(image.get());
        ShortStream out(room);
        EXPECT_FALSE(codec.Encode(&out)) << room;
        EXPECT_STREQ(codec.LastError(), "Output file write error --- out of disk space?");
    }
    // Enough room for everything but the last, partly filled buffer.
    const std::size_t whole = EncodeImage(*image).size();
    VxImageJPG codec;
    codec.MakeAlias(image.get());
    ShortStream out(static_cast<std::uint32_t>(whole - 1));
    EXPECT_FALSE(codec.Encode(&out));
}

// ---- EXIF write-back and the dispatch --------------------------------------------------------------

TEST(VxImageJPGExif, ACodecThatDecodedExifCarriesItIntoItsEncode)
{
    const Bytes source = WithSectionAfterSoi(EncodePicture(MakePicture(40, 30, 3)),
                                             ExifSection({Text(0x010F, "Vantry Cam"), Rational(0x011A, 72, 1),
                                                          Rational(0x011B, 72, 1), Short(0x0128, 2)}));
    Decoded d = DecodeBytes(source);
    ASSERT_TRUE(d.ok);
    EXPECT_STREQ(d.image->Exif().cameraMake, "Vantry Cam");

    VxMemStream out;
    out.Open();
    ASSERT_TRUE(d.image->Encode(&out)) << d.Error();
    const Bytes written(out.GetBuffer(false), out.GetBuffer(false) + out.Size());
    ASSERT_GT(written.size(), 4u);
    EXPECT_EQ(written[3], 0xE1); // EXIF first, no JFIF header

    const Decoded again = DecodeBytes(written);
    ASSERT_TRUE(again.ok) << again.Error();
    EXPECT_STREQ(again.image->Exif().cameraMake, "Vantry Cam");
    EXPECT_EQ(again.image->XDpi(), 72);
    EXPECT_EQ(again.image->Width(), 40);
}

TEST(VxImageJPGExif, AWriteOnlyFileKeepsThePlainPicture)
{
    vx::test::ScratchDir dir;
    const Bytes source = WithSectionAfterSoi(EncodePicture(MakePicture(24, 24, 3)), ExifSection({Rational(0x011A, 72, 1)}));
    Decoded d = DecodeBytes(source);
    ASSERT_TRUE(d.ok);
    std::FILE* file = std::fopen((dir / "out.jpg").string().c_str(), "wb");
    ASSERT_NE(file, nullptr);
    {
        VxFileStream stream(file);
        EXPECT_TRUE(d.image->Encode(&stream)) << d.Error();
        EXPECT_EQ(stream.Tell(), static_cast<std::int32_t>(stream.Size()));
    }
    std::fclose(file);
    const Decoded back = DecodeBytes(vx::test::ReadFileBytes(dir / "out.jpg"));
    EXPECT_TRUE(back.ok) << back.Error();
    EXPECT_EQ(back.image->Width(), 24);
}

TEST(VxImageJPGDispatch, SaveAndLoadThroughTypeThree)
{
    vx::test::ScratchDir dir;
    const Picture p = MakeSmoothPicture(120, 90);
    auto image = MakeImage(p);
    image->SetXDpi(200);
    image->SetYDpi(100);
    const std::u16string path = vx::test::ToU16(dir / "photo.jpg");
    ASSERT_TRUE(image->Save(path.c_str(), kVxTypeJpg)) << image->LastError();

    VxImage loaded(path.c_str(), kVxTypeJpg);
    ASSERT_TRUE(loaded.IsValid()) << loaded.LastError();
    EXPECT_EQ(loaded.ImageType(), 3u);
    EXPECT_EQ(loaded.Width(), 120);
    EXPECT_EQ(loaded.Height(), 90);
    EXPECT_EQ(loaded.BitsPerPixel(), 24);
    EXPECT_EQ(loaded.XDpi(), 200);
    EXPECT_EQ(loaded.YDpi(), 100);
    EXPECT_GT(Psnr(ToPicture(loaded, 3), p), 30.0);

    // And once more: the loaded picture saved and loaded again.
    const std::u16string second = vx::test::ToU16(dir / "again.jpg");
    ASSERT_TRUE(loaded.Save(second.c_str(), kVxTypeJpg));
    VxImage reloaded(second.c_str(), kVxTypeJpg);
    ASSERT_TRUE(reloaded.IsValid());
    EXPECT_GT(Psnr(ToPicture(reloaded, 3), p), 30.0);
}

} // namespace
