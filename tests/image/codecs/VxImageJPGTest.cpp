// VxImageJPG: decodes compared with djpeg on files cjpeg (and ImageMagick, for CMYK) made, encodes
// compared with cjpeg (both skipped where the tools are absent, as under Wine); layout, options
// and resolutions; hostile input; the EXIF write-back. (The size alone and failed writes:
// CodecOracleTest.)
#include "image/codecs/VxImageJPG.h"

#include "image/MemoryBudget.h"
#include "tests/image/codecs/CodecHarness.h"
#include "tests/image/codecs/JpegTestBytes.h"

#include <algorithm>
#include <cstdio>

namespace {

using namespace vx::test;
namespace fs = std::filesystem;

constexpr std::uint32_t kJpegSlot = 3; // codecOptions index of type 3

Decoded<VxImageJPG> Decode(const Bytes& bytes, std::uint32_t options = 0, std::uint8_t scale = 0,
                           std::int32_t escape = 0)
{
    return DecodeWith<VxImageJPG>(bytes, escape, [&](VxImageJPG& codec) {
        codec.Info().codecOptions[kJpegSlot] = options;
        codec.Info().jpegScale = scale;
    });
}

Bytes Encode(VxImage& image, std::uint32_t options = 0)
{
    image.Info().codecOptions[kJpegSlot] = options;
    return EncodeBytes(image, kVxTypeJpg);
}

Bytes EncodePicture(const Picture& p, std::uint32_t options = 0) { return Encode(*ImageOf(p), options); }

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

// A source of 1 or 3 channels made a JPEG by `maker` (PNM in, JPEG out); our decode options and
// jpegScale against the matching djpeg options, which write outputChannels. djpeg rounds CMYK's
// ink x black / 255 where the DIB rows truncate: those may be one apart.
struct OracleCase {
    const char* name;
    int channels;
    const char* maker;
    std::uint32_t options;
    std::uint8_t scale;
    const char* djpeg;
    int outputChannels, tolerance = 0;
};

// Both sides use libjpeg's accurate integer DCT and, unless the case says otherwise, its fancy
// upsampling and block smoothing, which our decoder leaves at libjpeg's defaults.
const OracleCase kOracleCases[] = {
    {"Baseline420", 3, "cjpeg -quality 90 -sample 2x2", 0, 0, "", 3},
    {"Baseline444", 3, "cjpeg -quality 75 -sample 1x1", 0, 0, "", 3},
    {"Progressive", 3, "cjpeg -progressive -sample 2x2", 0, 0, "", 3},
    {"Greyscale", 1, "cjpeg -quality 90", 0, 0, "", 1},
    {"AdobeCmyk", 3, "convert pnm:- -colorspace cmyk jpg:-", 0, 0, "", 3, 1},
    {"NoFancyUpsampling", 3, "cjpeg -sample 2x2", 0x800, 0, "-nosmooth", 3},
    {"EighthScale", 3, "cjpeg -progressive", 0, 8, "-scale 1/8", 3},
    {"GreyOutputOfColour", 3, "cjpeg -sample 2x2", 0x80, 0, "-grayscale", 1},
    {"Quantised90Colours", 3, "cjpeg -sample 2x2", 0x100, 0, "-colors 90", 3},
    {"QuantisedOnePass", 3, "cjpeg -sample 1x1", 0x100 | 0x400, 0, "-colors 90 -onepass", 3},
    {"QuantisedGrey", 3, "cjpeg -sample 2x2", 0x100 | 0x80, 0, "-grayscale -colors 90", 1},
};

// Catches a wrong channel order, row order, ink conversion, option mapping or scale.
TEST(VxImageJPGOracle, DecodeIsByteIdenticalToDjpeg)
{
    REQUIRE_TOOLS("cjpeg djpeg convert");
    ScratchDir dir;
    const fs::path pnm = dir / "source.pnm", jpeg = dir / "picture.jpg", oracle = dir / "oracle.pnm";
    for (const OracleCase& c : kOracleCases) {
        SCOPED_TRACE(c.name);
        WritePnm(pnm, PatternPicture(203, 157, c.channels));
        RunTool(std::string(c.maker) + " < " + Quoted(pnm) + " > " + Quoted(jpeg));
        RunTool("djpeg -dct int -pnm " + std::string(c.djpeg) + " -outfile " + Quoted(oracle) + " " + Quoted(jpeg));
        const Picture expected = ReadPnm(oracle);
        const auto d = Decode(ReadFileBytes(jpeg), c.options, c.scale);
        ASSERT_TRUE(d.ok) << d.Error();
        EXPECT_EQ(d.image->BitsPerPixel(), (c.outputChannels == 1 || (c.options & 0x100)) ? 8 : 24);
        EXPECT_EQ(CountDiffering(PictureOf(*d.image, expected.channels), expected, c.tolerance), 0);
    }
}

// The size alone: CodecOracle.SizeAlone. A scale rounds up; a cancel stops between rows
// without a message of its own.
TEST(VxImageJPGDecode, ScaleAndCancel)
{
    const Bytes bytes = EncodePicture(PatternPicture(77, 40, 3));
    EXPECT_EQ(Decode(bytes, 0, 4).image->Width(), 20);
    const auto cancelled = DecodeWith<VxImageJPG>(bytes, 5, [](VxImageJPG& c) { c.SetLastError("before"); });
    EXPECT_FALSE(cancelled.ok);
    EXPECT_EQ(cancelled.Error(), "before");
}

// A 300 dpi photo whose thumbnail directory says 72 dpi and upright is a 300 dpi photo turned a
// quarter: the thumbnail's tags must not overwrite the picture's, and the EXIF resolution comes
// before the JFIF one.
TEST(VxImageJPGDecode, ResolutionFollowsTheMainExifDirectoryThenJfif)
{
    const std::vector<Field> thumbnail72 = {Rational(0x011A, 72, 1), Rational(0x011B, 72, 1), Short(0x0128, 3),
                                            Short(0x0112, 1)};
    const struct {
        const char* name;
        Bytes jfif;              // unit, X density (2 bytes), Y density (2 bytes)
        std::vector<Field> exif; // empty: no EXIF section
        int xDpi, yDpi, orientation;
    } rows[] = {
        {"JfifDotsPerCentimetre", {2, 0, 118, 0, 118}, {}, 300, 300, 0},
        {"JfifZeroDensityIsDefault", {1, 0, 0, 0, 0}, {}, 96, 96, 0},
        {"JfifAspectRatioOnly", {0, 0, 1, 0, 2}, {}, 96, 192, 0},
        {"ExifWithoutResolutionLeavesJfif", {1, 1, 44, 0, 200}, {Text(0x010F, "Camera")}, 300, 200, 0},
        {"ExifWithoutUnitLeavesJfif", {1, 0, 240, 0, 240}, {Rational(0x011A, 72, 1)}, 240, 240, 0},
        {"ExifAbsurdResolutionIsIgnored", {1, 1, 44, 1, 44},
         {Rational(0x011A, 4000000000u, 1), Rational(0x011B, 50, 1), Short(0x0128, 2)}, 96, 50, 0},
        {"MainDirectoryNotThumbnail", {1, 0, 96, 0, 96},
         {Rational(0x011A, 300, 1), Rational(0x011B, 300, 1), Short(0x0128, 2), Short(0x0112, 6)}, 300, 300, 6},
    };
    const Bytes plain = EncodePicture(PatternPicture(16, 16, 3));
    ASSERT_EQ(plain[3], 0xE0); // FF D8, then FF E0 length "JFIF" 0 version(2) and the density at 13
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Bytes jpeg = plain;
        std::copy(row.jfif.begin(), row.jfif.end(), jpeg.begin() + 13);
        const auto d = Decode(row.exif.empty() ? jpeg : WithMainAndThumbnailExif(jpeg, row.exif, thumbnail72));
        ASSERT_TRUE(d.ok) << d.Error();
        EXPECT_EQ(d.image->Exif().isExif, !row.exif.empty());
        EXPECT_EQ((std::vector<int>{d.image->XDpi(), d.image->YDpi(), d.image->Exif().orientation}),
                  (std::vector<int>{row.xDpi, row.yDpi, row.orientation}));
    }
}

// A JPEG of two components (neither grey nor colour) made from a flat grey one: the frame and
// scan headers name a second component on the first one's tables, and the scan holds one flat
// block for each (DC code 00, end of block 1010, twice, then 1-bits to the byte).
Bytes TwoComponentJpeg()
{
    const Bytes grey = EncodePicture(Picture{8, 8, 1, Bytes(64, 128)});
    const auto frame = static_cast<long>(FindMarker(grey, 0xC0)), scan = static_cast<long>(FindMarker(grey, 0xDA));
    Bytes out = Joined(Bytes(grey.begin(), grey.begin() + frame),
                       Section(0xC0, {8, 0, 8, 0, 8, 2, 1, 0x11, 0, 2, 0x11, 0}));
    out = Joined(out, Bytes(grey.begin() + frame + 13, grey.begin() + scan));
    return Joined(out, Joined(Section(0xDA, {2, 1, 0x00, 2, 0x00, 0, 63, 0}), {0x28, 0xAF, 0xFF, 0xD9}));
}

// The frame header of `sof` claiming `side` x `side` pixels.
Bytes WithSide(Bytes jpeg, std::uint8_t sof, int side)
{
    const std::size_t at = FindMarker(jpeg, sof);
    for (std::size_t i : {at + 5, at + 7}) {
        jpeg[i] = static_cast<std::uint8_t>(side >> 8);
        jpeg[i + 1] = static_cast<std::uint8_t>(side);
    }
    return jpeg;
}

// A progressive file whose last scan comes `times` more times: libjpeg only warns, so the
// decoder must stop it.
Bytes RepeatedLastScan(int times)
{
    const Bytes jpeg = EncodePicture(PatternPicture(32, 32, 3), 0x10);
    const Bytes sos = {0xFF, 0xDA};
    const auto lastScan = std::find_end(jpeg.begin(), jpeg.end(), sos.begin(), sos.end());
    Bytes out(jpeg.begin(), jpeg.end() - 2);
    for (int i = 0; i < times; ++i)
        out.insert(out.end(), lastScan, jpeg.end() - 2);
    return Joined(out, {0xFF, 0xD9});
}

// Each is refused with its message and no picture; the header-only decode gives a size only
// when the picture could be read (the short-data floor is a check on the data, not the header).
TEST(VxImageJPGHostile, RefusalsHaveTheirMessagesAndNoSize)
{
    const Bytes smallGrey = EncodePicture(PatternPicture(16, 16, 1), 0x10);
    const struct {
        const char* name;
        Bytes jpeg;
        const char* error; // null: any message
        int headerWidth;
    } rows[] = {
        {"empty", {}, "Empty input file", 0},
        {"foreign", {'B', 'M', 1, 2, 3, 4, 5, 6}, "Not a JPEG file: starts with 0x42 0x4d", 0},
        {"just over the limit", WithSide(EncodePicture(PatternPicture(32, 32, 3)), 0xC0, 10000), // 300 MB
         "VXIMAGE_MAX_MEMORY exceeded", 0},
        {"two components", TwoComponentJpeg(), nullptr, 0},
        // Huffman data spends a bit on every block at least: a few hundred bytes cannot hold the
        // 4 Mi blocks of 16384 x 16384 grey (the image limit), refused before libjpeg's 512 MiB.
        {"data too short", WithSide(smallGrey, 0xC2, 16384), "JPEG data too short for a 16384 x 16384 picture", 16384},
        {"endless scans", RepeatedLastScan(31), "JPEG image has more than 40 scans", 32},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const auto d = Decode(row.jpeg);
        EXPECT_FALSE(d.ok || d.image->IsValid());
        EXPECT_TRUE(row.error ? d.Error() == row.error : !d.Error().empty()) << d.Error();
        EXPECT_EQ(MemoryBudget::Shared().InUse(), 0u);
        EXPECT_EQ(Decode(row.jpeg, 0, 0, -1).image->Width(), row.headerWidth);
    }
    EXPECT_TRUE(Decode(RepeatedLastScan(30)).ok); // 40 scans with the 10 of the picture
    // A whole file of a large, smooth picture (little data per block) passes the floor.
    const auto smooth = Decode(EncodePicture(PatternPicture(3072, 2048, 1), 0x10));
    EXPECT_TRUE(smooth.ok) << smooth.Error();
}

TEST(VxImageJPGHostile, CutsBeforeTheScanAndBitFlipsEndCleanly)
{
    // Baseline, progressive, greyscale and with EXIF.
    const Picture colour = PatternPicture(48, 40, 3);
    for (const Bytes& file : {EncodePicture(colour), EncodePicture(colour, 0x10),
                              EncodePicture(PatternPicture(40, 24, 1)),
                              WithMainAndThumbnailExif(EncodePicture(colour), {Rational(0x011A, 72, 1)}, {})})
        ExpectSurvivesDamage<VxImageJPG>(file, {.mustFail = FindMarker(file, 0xDA)});
}

TEST(VxImageJPGEncode, MatchesCjpegAtQualityNinetyApartFromTheDensity)
{
    REQUIRE_TOOLS("cjpeg");
    for (int channels : {3, 1}) {
        SCOPED_TRACE(channels);
        ScratchDir dir;
        const Picture p = PatternPicture(123, 77, channels);
        WritePnm(dir / "source.pnm", p);
        RunTool("cjpeg -quality 90 -sample 2x2 -outfile " + Quoted(dir / "cjpeg.jpg") + " " +
                Quoted(dir / "source.pnm"));
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
    auto image = ImageOf(PatternPicture(64, 48, 3));
    image->SetXDpi(300);
    image->SetYDpi(150);
    Bytes jpeg = Encode(*image);
    EXPECT_EQ(Bytes(jpeg.begin() + 2, jpeg.begin() + 18),
              (Bytes{0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F', 0, 1, 1, 1, 0x01, 0x2C, 0, 150}));
    const struct { std::uint32_t options; std::uint8_t sof; Bytes sampling; } rows[] = {
        {0, 0xC0, {0x22, 0x11, 0x11}},
        {0x1000, 0xC0, {0x21, 0x11, 0x11}},
        {0x2000, 0xC0, {0x11, 0x11, 0x11}},
        {0x10, 0xC2, {0x22, 0x11, 0x11}}, // progressive
        {0x02, 0xC9, {0x22, 0x11, 0x11}}, // arithmetic
    };
    for (const auto& row : rows)
        EXPECT_EQ(Sampling(Encode(*image, row.options), row.sof), row.sampling) << row.options;
    EXPECT_EQ(Sampling(Encode(*image, 0x04)).size(), 1u); // grey
    EXPECT_LT(Encode(*image, 0x08).size(), Encode(*image).size()); // optimised tables
    EXPECT_TRUE(Decode(Encode(*image, 0x10 | 0x02 | 0x40)).ok);
    image->SetXDpi(70000); // more than the 16-bit field holds
    jpeg = Encode(*image);
    EXPECT_EQ(Bytes(jpeg.begin() + 14, jpeg.begin() + 16), (Bytes{0xFF, 0xFF}));
}

TEST(VxImageJPGEncode, RefusesColourPalettesAndUnpacksSmallGreyOnes)
{
    const auto colour = IndexedImage(8, 8, 8);
    EXPECT_TRUE(Encode(*colour).empty());
    EXPECT_STREQ(colour->LastError(), "JPEG can save only RGB or GreyScale images");

    // Palettes (0,0,0), (1,1,1) ... pass the grey test; the samples are the indices.
    for (int bits : {1, 4}) {
        SCOPED_TRACE(bits);
        VxImage small(37, 19, bits, 0);
        for (int i = 0; i < 1 << bits; ++i) {
            const auto v = static_cast<std::uint8_t>(i);
            small.SetPaletteEntry(v, v, v, v);
        }
        for (int y = 0; y < 19; ++y)
            for (int x = 0; x < 37; ++x)
                small.SetPixelIndex(x, y, static_cast<std::uint8_t>((x / 8) % (1 << bits)));
        const auto d = Decode(Encode(small));
        ASSERT_TRUE(d.ok) << small.LastError();
        EXPECT_EQ(d.image->BitsPerPixel(), 8);
        EXPECT_EQ(CountDiffering(PictureOf(*d.image, 1), PictureOf(small, 1), 2), 0);
    }
}

TEST(VxImageJPGExif, ACodecThatDecodedExifCarriesItIntoItsEncode)
{
    const auto d = Decode(WithMainAndThumbnailExif(EncodePicture(PatternPicture(40, 30, 3)),
                                   {Text(0x010F, "Vantry Cam"), Rational(0x011A, 72, 1), Rational(0x011B, 72, 1),
                                    Short(0x0128, 2)},
                                   {}));
    ASSERT_TRUE(d.ok);
    VxMemStream out;
    out.Open();
    ASSERT_TRUE(d.image->Encode(&out)) << d.Error();
    const Bytes written(out.GetBuffer(false), out.GetBuffer(false) + out.Size());
    EXPECT_EQ(written.at(3), 0xE1); // EXIF first, no JFIF header
    const auto again = Decode(written);
    ASSERT_TRUE(again.ok) << again.Error();
    EXPECT_STREQ(again.image->Exif().cameraMake, "Vantry Cam");
    EXPECT_EQ(again.image->XDpi() * 1000 + again.image->Width(), 72040);

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
    const auto plain = Decode(ReadFileBytes(dir / "out.jpg"));
    EXPECT_TRUE(plain.ok && plain.image->Width() == 40) << plain.Error();
}

} // namespace
