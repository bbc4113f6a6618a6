// VxImageJPG: decodes compared byte for byte with djpeg on files cjpeg/jpegtran made from
// generated pictures, encodes compared with cjpeg (both skipped where the tools are absent, as
// under Wine); layout, options and resolutions; hostile input; the EXIF write-back; and the
// round trip through VxImage::Save/Load with type 3.
#include "image/codecs/VxImageJPG.h"

#include "image/MemoryBudget.h"
#include "image/VxStream.h"
#include "tests/image/codecs/JpegTestBytes.h"
#include "tests/support/PixelOracle.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace {

using namespace vx::test;
namespace fs = std::filesystem;

constexpr std::uint32_t kJpegSlot = 3; // codecOptions index of type 3

// ---- Pictures -------------------------------------------------------------------------------------

// Gradients, hard-edged blocks and noise, so every DCT band and both chroma planes carry data;
// `smooth` gives gentle gradients with a little noise instead, as a photo looks to a quality check.
Picture MakePicture(int width, int height, int channels, bool smooth = false)
{
    Picture p{width, height, channels, {}};
    std::uint32_t state = 7;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            state = state * 1664525u + 1013904223u;
            const int noise = smooth ? static_cast<int>(state >> 30) - 2 : static_cast<int>(state >> 28) - 8;
            const bool block = ((x / 9) + (y / 7)) % 3 == 0;
            const int base[3] = {x * 255 / width, y * 255 / height,
                                 smooth ? (x + y) * 255 / (width + height) : block ? 230 : (x * y) % 97};
            for (int c = 0; c < channels; ++c) {
                const int v = (channels == 1 ? (base[0] + base[1] + base[2]) / 3 : base[c]) + noise;
                p.pixels.push_back(static_cast<std::uint8_t>(std::clamp(v, 0, 255)));
            }
        }
    }
    return p;
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
        for (int i = 0; i < p.width * p.channels; ++i) // RGB becomes the DIB's BGR
            row[i] = p.channels == 1 ? source[i] : source[i - i % 3 + 2 - i % 3];
    }
    return image;
}

// The encoded bytes, or none with the codec's message in *error.
Bytes EncodeImage(const VxImage& source, std::uint32_t options = 0, std::string* error = nullptr)
{
    VxImageJPG codec;
    codec.MakeAlias(&source);
    codec.Info().codecOptions[kJpegSlot] = options;
    VxMemStream out;
    out.Open();
    const bool ok = codec.Encode(&out);
    if (error)
        *error = codec.LastError();
    return ok ? Bytes(out.GetBuffer(false), out.GetBuffer(false) + out.Tell()) : Bytes{};
}

Bytes EncodePicture(const Picture& p, std::uint32_t options = 0) { return EncodeImage(*MakeImage(p), options); }

double Psnr(const Picture& a, const Picture& b)
{
    double sum = 0;
    for (std::size_t i = 0; i < a.pixels.size(); ++i)
        sum += (a.pixels[i] - b.pixels[i]) * (a.pixels[i] - b.pixels[i]);
    return sum == 0 ? 99 : 10 * std::log10(255.0 * 255.0 * a.pixels.size() / sum);
}

std::size_t FindMarker(const Bytes& jpeg, std::uint8_t code) // offset of the first FF <code>, or npos
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
    Bytes out;
    for (int c = 0; at != std::string::npos && c < jpeg[at + 9]; ++c)
        out.push_back(jpeg[at + 11 + 3 * c]);
    return out;
}

// The picture with an APP1 "Exif" section holding one little-endian directory after SOI.
Bytes WithExif(Bytes jpeg, const std::vector<Field>& fields)
{
    Tiff tiff(false);
    tiff.Directory(fields);
    return Joined(Joined({0xFF, 0xD8}, tiff.App1()), Bytes(jpeg.begin() + 2, jpeg.end()));
}

// ---- Decoding against djpeg ---------------------------------------------------------------------

// A source of 1 or 3 channels through cjpeg (and jpegtran where given); our decode options and
// jpegScale against the matching djpeg options, which write outputChannels.
struct OracleCase {
    const char* name;
    int channels;
    const char *cjpeg, *jpegtran;
    std::uint32_t options;
    std::uint8_t scale;
    const char* djpeg;
    int outputChannels;
};

void PrintTo(const OracleCase& c, std::ostream* os) { *os << c.name; }

// Both sides use libjpeg's accurate integer DCT and, unless the case says otherwise, its fancy
// upsampling and block smoothing, which our decoder leaves at libjpeg's defaults.
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
    REQUIRE_TOOLS("cjpeg djpeg jpegtran");
    const OracleCase& c = GetParam();
    ScratchDir dir;
    const fs::path pnm = dir / "source.pnm", jpeg = dir / "picture.jpg", oracle = dir / "oracle.pnm";
    WritePnm(pnm, MakePicture(203, 157, c.channels));
    RunTool("cjpeg " + std::string(c.cjpeg) + " -outfile " + Quoted(jpeg) + " " + Quoted(pnm));
    if (c.jpegtran) {
        RunTool("jpegtran " + std::string(c.jpegtran) + " -outfile " + Quoted(dir / "t.jpg") + " " + Quoted(jpeg));
        fs::rename(dir / "t.jpg", jpeg);
    }
    RunTool("djpeg -dct int -pnm " + std::string(c.djpeg) + " -outfile " + Quoted(oracle) + " " + Quoted(jpeg));
    const Picture expected = ReadPnm(oracle);
    ASSERT_EQ(expected.channels, c.outputChannels);

    const Decoded d = DecodeBytes(ReadFileBytes(jpeg), c.options, c.scale);
    ASSERT_TRUE(d.ok) << d.Error();
    EXPECT_EQ(d.image->BitsPerPixel(), (c.outputChannels == 1 || (c.options & 0x100)) ? 8 : 24);
    const Picture ours = PictureOf(*d.image, expected.channels);
    ASSERT_EQ(ours.width, expected.width);
    ASSERT_EQ(ours.height, expected.height);
    EXPECT_TRUE(ours.pixels == expected.pixels);
}

INSTANTIATE_TEST_SUITE_P(Files, VxImageJPGOracle, testing::ValuesIn(kOracleCases),
                         [](const testing::TestParamInfo<OracleCase>& info) { return std::string(info.param.name); });

TEST(VxImageJPGDecode, AdobeCmykBecomesInkTimesBlack)
{
    REQUIRE_TOOLS("cjpeg djpeg jpegtran convert"); // ImageMagick makes the CMYK file
    ScratchDir dir;
    WritePnm(dir / "source.ppm", MakePicture(64, 48, 3));
    RunTool("convert " + Quoted(dir / "source.ppm") + " -colorspace cmyk " + Quoted(dir / "cmyk.jpg"));
    RunTool("djpeg -dct int -pnm -outfile " + Quoted(dir / "oracle.ppm") + " " + Quoted(dir / "cmyk.jpg"));
    const Picture expected = ReadPnm(dir / "oracle.ppm");
    const Decoded d = DecodeBytes(ReadFileBytes(dir / "cmyk.jpg"));
    ASSERT_TRUE(d.ok) << d.Error();
    ASSERT_EQ(d.image->BitsPerPixel(), 24);
    const Picture ours = PictureOf(*d.image, 3);
    ASSERT_EQ(ours.pixels.size(), expected.pixels.size());
    // djpeg rounds ink x black / 255 where the DIB rows truncate: at most one apart.
    for (std::size_t i = 0; i < ours.pixels.size(); ++i)
        ASSERT_LE(std::abs(ours.pixels[i] - expected.pixels[i]), 1) << i;
}

// ---- Decoding without the tools ----------------------------------------------------------------

TEST(VxImageJPGDecode, ColourRowsAreBgrBottomUpAndGreyIsPaletted)
{
    Picture p{16, 16, 3, Bytes(16 * 16 * 3, 0)}; // top half red, bottom half blue
    for (int i = 0; i < 16 * 16; ++i)
        p.pixels[i * 3 + (i < 8 * 16 ? 0 : 2)] = 255;
    const Decoded d = DecodeBytes(EncodePicture(p));
    ASSERT_TRUE(d.ok) << d.Error();
    const std::uint8_t* top = d.image->RowAddress(15);
    const std::uint8_t* bottom = d.image->RowAddress(0);
    EXPECT_TRUE(top[2] > 240 && top[0] < 15 && bottom[0] > 240 && bottom[2] < 15); // red is the third byte
    const Decoded grey = DecodeBytes(EncodePicture(MakePicture(40, 30, 1)));
    EXPECT_TRUE(grey.ok && grey.image->BitsPerPixel() == 8 && grey.image->IsGreyPalette()) << grey.Error();
}

TEST(VxImageJPGDecode, HeaderOnlyScaleAndCancel)
{
    const Bytes bytes = EncodePicture(MakePicture(77, 40, 3));
    const Decoded header = DecodeBytes(bytes, 0, 0, -1);
    ASSERT_TRUE(header.ok) << header.Error();
    EXPECT_FALSE(header.image->IsValid());
    EXPECT_EQ(header.image->Width(), 77);
    EXPECT_EQ(header.image->Height(), 40);
    EXPECT_EQ(header.image->ImageType(), 3u);
    EXPECT_EQ(DecodeBytes(bytes).image->Width(), 77);
    EXPECT_EQ(DecodeBytes(bytes, 0, 4).image->Width(), 20);

    Decoded cancelled; // stops between rows without a message of its own
    cancelled.image->SetLastError("before");
    cancelled.image->Info().escape = 5;
    Bytes copy = bytes;
    VxMemStream stream(copy.data(), static_cast<std::int32_t>(copy.size()));
    EXPECT_FALSE(cancelled.image->Decode(&stream));
    EXPECT_EQ(cancelled.Error(), "before");
}

TEST(VxImageJPGDecode, ResolutionFollowsExifThenJfif)
{
    const struct {
        const char* name;
        Bytes jfif;              // unit, X density (2 bytes), Y density (2 bytes)
        std::vector<Field> exif; // empty: no EXIF section
        int xDpi, yDpi;
    } rows[] = {
        {"JfifDotsPerCentimetre", {2, 0, 118, 0, 118}, {}, 300, 300},
        {"JfifDotsPerInch", {1, 1, 44, 0, 150}, {}, 300, 150},
        {"JfifZeroDensityIsDefault", {1, 0, 0, 0, 0}, {}, 96, 96},
        {"JfifAspectRatioOnly", {0, 0, 1, 0, 2}, {}, 96, 192},
        {"ExifBeforeJfif", {1, 1, 44, 1, 44}, {Rational(0x011A, 72, 1), Rational(0x011B, 72, 1), Short(0x0128, 2)}, 72, 72},
        {"ExifCentimetres", {1, 1, 44, 1, 44}, {Rational(0x011A, 118, 1), Rational(0x011B, 118, 1), Short(0x0128, 3)},
         299, 299},
        {"ExifWithoutResolutionLeavesJfif", {1, 1, 44, 0, 200}, {Text(0x010F, "Camera")}, 300, 200},
        {"ExifWithoutUnitLeavesJfif", {1, 0, 240, 0, 240}, {Rational(0x011A, 72, 1)}, 240, 240},
        {"ExifAbsurdResolutionIsIgnored", {1, 1, 44, 1, 44},
         {Rational(0x011A, 4000000000u, 1), Rational(0x011B, 50, 1), Short(0x0128, 2)}, 96, 50},
    };
    const Bytes plain = EncodePicture(MakePicture(16, 16, 3));
    ASSERT_EQ(plain[3], 0xE0); // FF D8, then FF E0 length "JFIF" 0 version(2) and the density at 13
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Bytes jpeg = plain;
        std::copy(row.jfif.begin(), row.jfif.end(), jpeg.begin() + 13);
        const Decoded d = DecodeBytes(row.exif.empty() ? jpeg : WithExif(jpeg, row.exif));
        ASSERT_TRUE(d.ok) << d.Error();
        EXPECT_EQ(d.image->Exif().isExif, !row.exif.empty());
        EXPECT_EQ(d.image->XDpi(), row.xDpi);
        EXPECT_EQ(d.image->YDpi(), row.yDpi);
        EXPECT_EQ(d.image->Header().biXPelsPerMeter, static_cast<LONG>(std::floor(row.xDpi * 39.37007874015748 + 0.5)));
    }
}

// A 300 dpi photo whose thumbnail directory says 72 dpi and upright is a 300 dpi photo
// turned a quarter: the thumbnail's tags must not overwrite the picture's.
TEST(VxImageJPGDecode, ResolutionAndOrientationComeFromTheMainDirectory)
{
    const Bytes plain = EncodePicture(MakePicture(16, 16, 3));
    const Decoded d = DecodeBytes(WithMainAndThumbnailExif(
        plain, {Rational(0x011A, 300, 1), Rational(0x011B, 300, 1), Short(0x0128, 2), Short(0x0112, 6)},
        {Rational(0x011A, 72, 1), Rational(0x011B, 72, 1), Short(0x0128, 3), Short(0x0112, 1)}));
    ASSERT_TRUE(d.ok) << d.Error();
    EXPECT_EQ((std::vector<int>{d.image->XDpi(), d.image->YDpi(), d.image->Exif().orientation}),
              (std::vector<int>{300, 300, 6}));
}

// ---- Hostile input -----------------------------------------------------------------------------

TEST(VxImageJPGHostile, EmptyAndForeignInputAreRefused)
{
    const Decoded empty = DecodeBytes({});
    EXPECT_TRUE(!empty.ok && empty.Error() == "Empty input file") << empty.Error();
    const Decoded bmp = DecodeBytes({'B', 'M', 1, 2, 3, 4, 5, 6});
    EXPECT_TRUE(!bmp.ok && bmp.Error() == "Not a JPEG file: starts with 0x42 0x4d") << bmp.Error();
}

TEST(VxImageJPGHostile, TruncatedInsideTheScanStillDecodes)
{
    const Bytes whole = EncodePicture(MakePicture(96, 96, 3));
    const Decoded full = DecodeBytes(whole);
    const Decoded part = DecodeBytes(Bytes(whole.begin(), whole.begin() + static_cast<long>(whole.size() * 6 / 10)));
    ASSERT_TRUE(full.ok && part.ok) << part.Error();
    ASSERT_EQ(part.image->Height(), 96);
    // The first MCU row came in whole; the missing end is libjpeg's flat fill.
    for (std::uint32_t y = 80; y < 96; ++y)
        EXPECT_EQ(std::memcmp(part.image->RowAddress(y), full.image->RowAddress(y), 96 * 3), 0) << y;
    EXPECT_NE(std::memcmp(part.image->RowAddress(0), full.image->RowAddress(0), 96 * 3), 0);
}

TEST(VxImageJPGHostile, BitFlipsNeverCrash)
{
    // Baseline, progressive, greyscale and with EXIF: every flip must end in a clean result.
    const Picture colour = MakePicture(48, 40, 3);
    const Bytes files[] = {EncodePicture(colour), EncodePicture(colour, 0x10), EncodePicture(MakePicture(40, 24, 1)),
                           WithExif(EncodePicture(colour), {Rational(0x011A, 72, 1)})};
    std::uint32_t state = 12345;
    int failures = 0;
    for (const Bytes& original : files) {
        for (int flip = 0; flip < 400; ++flip) {
            Bytes bytes = original;
            state = state * 1664525u + 1013904223u;
            const std::size_t at = (state >> 8) % bytes.size();
            bytes[at] ^= static_cast<std::uint8_t>(1u << (state & 7));
            const Decoded d = DecodeBytes(bytes);
            failures += !d.ok;
            if (!d.ok) {
                EXPECT_FALSE(d.Error().empty()) << "flip at " << at;
            } else if (d.image->IsValid()) {
                EXPECT_GT(d.image->Width(), 0);
            }
        }
    }
    EXPECT_GT(failures, 0); // some flips hit the headers
}

TEST(VxImageJPGHostile, HugeHeaderIsRefusedBeforeAnyAllocation)
{
    for (const auto& [options, sof] : {std::pair{0u, std::uint8_t{0xC0}}, std::pair{0x10u, std::uint8_t{0xC2}}}) {
        Bytes jpeg = EncodePicture(MakePicture(32, 32, 3), options);
        const std::size_t at = FindMarker(jpeg, sof);
        for (int i : {5, 7}) { // height, then width: 60000 each
            jpeg[at + i] = 60000 >> 8;
            jpeg[at + i + 1] = 60000 & 0xFF;
        }
        const Decoded d = DecodeBytes(jpeg);
        EXPECT_FALSE(d.ok);
        EXPECT_EQ(d.Error(), "VXIMAGE_MAX_MEMORY exceeded");
        EXPECT_FALSE(d.image->IsValid());
        const Decoded header = DecodeBytes(jpeg, 0, 0, -1); // no size for a picture that cannot be read
        EXPECT_FALSE(header.ok);
        EXPECT_EQ(header.image->Width(), 0);
    }
}

// A JPEG of two components (neither grey nor colour) made from a flat grey one: the frame and
// scan headers name a second component on the first one's tables, and the scan holds one flat
// block for each (DC code 00, end of block 1010, twice, then 1-bits to the byte).
Bytes TwoComponentJpeg()
{
    const Bytes grey = EncodePicture(Picture{8, 8, 1, Bytes(64, 128)});
    const std::size_t frame = FindMarker(grey, 0xC0);
    const std::size_t scan = FindMarker(grey, 0xDA);
    Bytes out = Joined(Bytes(grey.begin(), grey.begin() + static_cast<long>(frame)),
                       Section(0xC0, {8, 0, 8, 0, 8, 2, 1, 0x11, 0, 2, 0x11, 0}));
    out = Joined(out, Bytes(grey.begin() + static_cast<long>(frame) + 13, grey.begin() + static_cast<long>(scan)));
    return Joined(out, Joined(Section(0xDA, {2, 1, 0x00, 2, 0x00, 0, 63, 0}), {0x28, 0xAF, 0xFF, 0xD9}));
}

TEST(VxImageJPGHostile, TwoComponentsGiveNoPictureAndNoSize)
{
    const Bytes jpeg = TwoComponentJpeg();
    EXPECT_FALSE(DecodeBytes(jpeg).ok);
    const Decoded header = DecodeBytes(jpeg, 0, 0, -1);
    EXPECT_FALSE(header.ok);
    EXPECT_EQ(header.image->Width(), 0);
}

TEST(VxImageJPGHostile, DataTooShortForAHugeProgressivePictureIsRefusedBeforeAllocating)
{
    // Huffman data spends at least a bit on every block. A few hundred bytes claiming
    // 16384 x 16384 grey (the image limit exactly) cannot hold 4 Mi blocks: refused before
    // libjpeg's 512 MiB of coefficients and the picture. A whole file of a large, smooth
    // picture (little data per block) passes the same floor.
    Bytes crafted = EncodePicture(MakePicture(16, 16, 1), 0x10);
    const std::size_t at = FindMarker(crafted, 0xC2);
    for (int i : {5, 7}) {
        crafted[at + i] = 16384 >> 8;
        crafted[at + i + 1] = 0;
    }
    ASSERT_LT(crafted.size(), 1000u);
    const Decoded refused = DecodeBytes(crafted);
    EXPECT_FALSE(refused.ok);
    EXPECT_EQ(refused.Error(), "JPEG data too short for a 16384 x 16384 picture");
    EXPECT_EQ(MemoryBudget::Shared().InUse(), 0u);
    EXPECT_EQ(DecodeBytes(crafted, 0, 0, -1).image->Width(), 16384);

    const Decoded smooth = DecodeBytes(EncodePicture(MakePicture(3072, 2048, 1, true), 0x10));
    EXPECT_TRUE(smooth.ok) << smooth.Error();
    EXPECT_EQ(MemoryBudget::Shared().InUse(), 0u);
}

TEST(VxImageJPGHostile, EndlessScansAreCutOff)
{
    // A progressive file whose last scan repeats: libjpeg only warns, so the decoder must stop it.
    const Bytes jpeg = EncodePicture(MakePicture(32, 32, 3), 0x10);
    std::size_t lastScan = 0;
    for (std::size_t i = 0; i + 1 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xDA)
            lastScan = i;
    const auto repeated = [&](int times) {
        Bytes out(jpeg.begin(), jpeg.end() - 2);
        for (int i = 0; i < times; ++i)
            out.insert(out.end(), jpeg.begin() + static_cast<long>(lastScan), jpeg.end() - 2);
        out.insert(out.end(), {0xFF, 0xD9});
        return out;
    };
    EXPECT_TRUE(DecodeBytes(repeated(30)).ok); // 40 scans with the 10 of the picture
    const Decoded d = DecodeBytes(repeated(31));
    EXPECT_FALSE(d.ok);
    EXPECT_EQ(d.Error(), "JPEG image has more than 40 scans");
}

// ---- Encoding ------------------------------------------------------------------------------------

TEST(VxImageJPGEncode, MatchesCjpegAtQualityNinetyApartFromTheDensity)
{
    REQUIRE_TOOLS("cjpeg djpeg jpegtran");
    for (int channels : {3, 1}) {
        SCOPED_TRACE(channels);
        ScratchDir dir;
        const Picture p = MakePicture(123, 77, channels);
        WritePnm(dir / "source.pnm", p);
        RunTool("cjpeg -quality 90 -sample 2x2 -outfile " + Quoted(dir / "cjpeg.jpg") + " " + Quoted(dir / "source.pnm"));
        const Bytes theirs = ReadFileBytes(dir / "cjpeg.jpg");
        Bytes ours = EncodePicture(p);
        ASSERT_EQ(ours.size(), theirs.size());
        // JFIF unit and densities: ours says 96 x 96 dots per inch, cjpeg an aspect ratio of 1:1.
        EXPECT_EQ(Bytes(ours.begin() + 13, ours.begin() + 18), (Bytes{1, 0, 96, 0, 96}));
        std::copy(theirs.begin() + 13, theirs.begin() + 18, ours.begin() + 13);
        EXPECT_TRUE(ours == theirs);
    }
}

TEST(VxImageJPGEncode, JfifDensitySamplingAndOptionBits)
{
    auto image = MakeImage(MakePicture(64, 48, 3));
    image->SetXDpi(300);
    image->SetYDpi(150);
    Bytes jpeg = EncodeImage(*image);
    EXPECT_EQ(Bytes(jpeg.begin() + 2, jpeg.begin() + 18),
              (Bytes{0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F', 0, 1, 1, 1, 0x01, 0x2C, 0, 150}));
    image->SetXDpi(70000); // more than the 16-bit field holds
    jpeg = EncodeImage(*image);
    EXPECT_EQ(Bytes(jpeg.begin() + 14, jpeg.begin() + 16), (Bytes{0xFF, 0xFF}));

    const struct { std::uint32_t options; std::uint8_t sof; Bytes sampling; } rows[] = {
        {0, 0xC0, {0x22, 0x11, 0x11}},
        {0x1000, 0xC0, {0x21, 0x11, 0x11}},
        {0x1000 | 0x2000, 0xC0, {0x11, 0x11, 0x11}},
        {0x2000, 0xC0, {0x11, 0x11, 0x11}},
        {0x10, 0xC2, {0x22, 0x11, 0x11}}, // progressive
        {0x02, 0xC9, {0x22, 0x11, 0x11}}, // arithmetic
    };
    for (const auto& row : rows)
        EXPECT_EQ(Sampling(EncodeImage(*image, row.options), row.sof), row.sampling) << row.options;
    EXPECT_EQ(Sampling(EncodeImage(*image, 0x04)).size(), 1u); // grey
    EXPECT_EQ(Sampling(EncodePicture(MakePicture(50, 20, 1))).size(), 1u);
    EXPECT_LT(EncodeImage(*image, 0x08).size(), EncodeImage(*image).size()); // optimised tables
    EXPECT_TRUE(DecodeBytes(EncodeImage(*image, 0x10 | 0x02 | 0x40)).ok);
    const Picture smooth = MakePicture(161, 99, 3, true); // progressive with optimised tables
    const Decoded d = DecodeBytes(EncodePicture(smooth, 0x10 | 0x08));
    ASSERT_TRUE(d.ok) << d.Error();
    EXPECT_GT(Psnr(PictureOf(*d.image, 3), smooth), 30.0);
}

TEST(VxImageJPGEncode, RefusesColourPalettesAndUnpacksSmallGreyOnes)
{
    VxImage colour(8, 8, 8, 0);
    colour.SetPaletteEntry(1, 255, 0, 0);
    std::string error;
    EXPECT_TRUE(EncodeImage(colour, 0, &error).empty());
    EXPECT_EQ(error, "JPEG can save only RGB or GreyScale images");

    // Palettes (0,0,0), (1,1,1) ... pass the grey test; the samples are the indices.
    for (std::uint32_t bits : {1u, 4u}) {
        SCOPED_TRACE(bits);
        VxImage small(37, 19, bits, 0);
        const std::uint32_t entries = 1u << bits;
        for (std::uint32_t i = 0; i < entries; ++i) {
            const auto v = static_cast<std::uint8_t>(i);
            small.SetPaletteEntry(v, v, v, v);
        }
        for (int y = 0; y < 19; ++y)
            for (int x = 0; x < 37; ++x)
                small.SetPixelIndex(x, y, static_cast<std::uint8_t>((x / 8) % entries));
        const Decoded d = DecodeBytes(EncodeImage(small, 0, &error));
        ASSERT_TRUE(d.ok) << error;
        ASSERT_EQ(d.image->Width(), 37);
        EXPECT_EQ(d.image->BitsPerPixel(), 8);
        for (int x = 0; x < 37; ++x)
            EXPECT_NEAR(d.image->PixelIndex(x, 9), static_cast<int>((x / 8) % entries), 2) << x;
    }
}

TEST(VxImageJPGEncode, WriteFailuresAreReported)
{
    struct ShortStream : VxMemStream { // takes only so many bytes
        explicit ShortStream(std::size_t room) : room(room) { Open(); }
        std::uint32_t Write(const void* buffer, std::size_t size, std::size_t count) override
        {
            const std::size_t n = std::min(size * count, room);
            room -= n;
            return VxMemStream::Write(buffer, 1, n) / (size ? size : 1);
        }
        std::size_t room;
    };
    const auto image = MakeImage(MakePicture(200, 200, 3));
    // The last room leaves out only the final, partly filled buffer.
    for (std::size_t room : {std::size_t{0}, std::size_t{5000}, std::size_t{9000}, EncodeImage(*image).size() - 1}) {
        VxImageJPG codec;
        codec.MakeAlias(image.get());
        ShortStream out(room);
        EXPECT_FALSE(codec.Encode(&out)) << room;
        EXPECT_STREQ(codec.LastError(), "Output file write error --- out of disk space?");
    }
}

// ---- EXIF write-back and the dispatch --------------------------------------------------------------

TEST(VxImageJPGExif, ACodecThatDecodedExifCarriesItIntoItsEncode)
{
    Decoded d = DecodeBytes(WithExif(EncodePicture(MakePicture(40, 30, 3)),
                                     {Text(0x010F, "Vantry Cam"), Rational(0x011A, 72, 1), Rational(0x011B, 72, 1),
                                      Short(0x0128, 2)}));
    ASSERT_TRUE(d.ok);
    VxMemStream out;
    out.Open();
    ASSERT_TRUE(d.image->Encode(&out)) << d.Error();
    const Bytes written(out.GetBuffer(false), out.GetBuffer(false) + out.Size());
    EXPECT_EQ(written.at(3), 0xE1); // EXIF first, no JFIF header
    const Decoded again = DecodeBytes(written);
    ASSERT_TRUE(again.ok) << again.Error();
    EXPECT_STREQ(again.image->Exif().cameraMake, "Vantry Cam");
    EXPECT_EQ(again.image->XDpi(), 72);
    EXPECT_EQ(again.image->Width(), 40);

    // A file opened for writing only cannot be read back: the plain picture stands.
    ScratchDir dir;
    std::FILE* file = std::fopen((dir / "out.jpg").string().c_str(), "wb");
    ASSERT_NE(file, nullptr);
    {
        VxFileStream stream(file);
        EXPECT_TRUE(d.image->Encode(&stream)) << d.Error();
        EXPECT_EQ(stream.Tell(), stream.Size());
    }
    std::fclose(file);
    const Decoded plain = DecodeBytes(ReadFileBytes(dir / "out.jpg"));
    EXPECT_TRUE(plain.ok && plain.image->Width() == 40) << plain.Error();
}

TEST(VxImageJPGDispatch, SaveAndLoadThroughTypeThree)
{
    ScratchDir dir;
    const Picture p = MakePicture(120, 90, 3, true);
    auto image = MakeImage(p);
    image->SetXDpi(200);
    image->SetYDpi(100);
    const std::u16string path = ToU16(dir / "photo.jpg");
    ASSERT_TRUE(image->Save(path.c_str(), kVxTypeJpg)) << image->LastError();

    VxImage loaded(path.c_str(), kVxTypeJpg);
    ASSERT_TRUE(loaded.IsValid()) << loaded.LastError();
    EXPECT_EQ(loaded.ImageType(), 3u);
    EXPECT_EQ(loaded.BitsPerPixel(), 24);
    EXPECT_EQ(loaded.XDpi(), 200);
    EXPECT_EQ(loaded.YDpi(), 100);
    EXPECT_GT(Psnr(PictureOf(loaded, 3), p), 30.0);
}

} // namespace
