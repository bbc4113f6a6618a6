// ImageMagick as the oracle of the raster codecs (BMP, ICO, PCX, TGA, WBMP), both ways: files it
// writes in each depth, layout and compression decode to the pixels it sees, and our files of
// each depth decode back to their picture, in us and (where the tools are, not under Wine) in it.
// (Detection by content: the command line's info test.)
// And every decoder gives the size alone; every writer reports a file that takes no bytes.
#include "tests/image/codecs/CodecHarness.h"

#include <cstdio>

namespace {

using namespace vx::test;
namespace fs = std::filesystem;

// How ImageMagick's picture is made comparable: it keeps TGA rows in file order and notes the
// origin as the orientation (its auto-oriented view is the picture); it reads and writes
// one-plane 1-bit PCX files as 0 white whatever the header's map says, where the format (and we)
// say 0 black.
Picture TheirView(fs::path path, std::uint32_t type, int channels, int frame)
{
    const Bytes file = ReadFileBytes(path);
    const bool inverted = type == kVxTypePcx && file[3] == 1 && file[65] == 1; // 1 bit, 1 plane
    if (type == kVxTypeTga) {
        RunTool("convert " + Quoted(path) + " -auto-orient " + Quoted(path.string() + ".miff"));
        path += ".miff";
    }
    Picture p = ReadWithMagick(path, frame, channels == 4);
    for (std::uint8_t& v : p.pixels)
        v = inverted ? static_cast<std::uint8_t>(255 - v) : v;
    return channels == 4 ? Blackened(p) : p;
}

Picture OurView(const VxImage& image, int channels) { return channels == 4 ? SeenRgba(image) : PictureOf(image); }

TEST(CodecOracle, ImageMagickFilesDecodeToWhatItSees)
{
    REQUIRE_TOOLS("convert");
    const struct {
        std::uint32_t type;
        const char* extension;
        int channels;
        const char* options; // a trailing coder prefix (BMP3:) names the output's variant
        int tolerance;       // ImageMagick widens 5- and 6-bit channels by rounding, we by shifting
    } files[] = {
        {kVxTypeBmp, ".bmp", 3, "-type TrueColor BMP3:", 0},
        {kVxTypeBmp, ".bmp", 3, "-type Palette BMP3:", 0},
        {kVxTypeBmp, ".bmp", 3, "-colors 16 BMP3:", 0},
        {kVxTypeBmp, ".bmp", 3, "-type Bilevel BMP3:", 0},
        {kVxTypeBmp, ".bmp", 3, "-type Palette BMP2:", 0}, // core header
        {kVxTypeBmp, ".bmp", 3, "-type Palette -compress RLE BMP3:", 0},
        {kVxTypeBmp, ".bmp", 3, "-define bmp:subtype=RGB565 BMP:", 7},
        {kVxTypeBmp, ".bmp", 4, "BMP:", 0},
        {kVxTypeIco, ".ico", 4, "-resize 40x40! -define icon:auto-resize=48,32,16", 0},
        {kVxTypePcx, ".pcx", 3, "-monochrome BMP3:- | convert BMP3:-", 0},
        {kVxTypePcx, ".pcx", 3, "-colors 200 -type Palette", 0},
        {kVxTypePcx, ".pcx", 3, "-type TrueColor", 0},
        {kVxTypePcx, ".pcx", 4, "-type TrueColorAlpha", 0},
        {kVxTypeTga, ".tga", 3, "", 0},
        {kVxTypeTga, ".tga", 3, "-compress RLE", 0},
        {kVxTypeTga, ".tga", 3, "-colors 99 -type Palette", 0},
        {kVxTypeTga, ".tga", 1, "-type Grayscale", 0},
        {kVxTypeTga, ".tga", 1, "-type Grayscale -compress RLE", 0},
        {kVxTypeTga, ".tga", 4, "-type TrueColorAlpha", 0},
        {kVxTypeTga, ".tga", 4, "-type TrueColorAlpha -compress RLE -orient TopLeft", 0},
        {kVxTypeTga, ".tga", 3, "-colors 50 -type Palette -orient TopRight", 0},
        // WBMP rows ending inside a byte and at its end; sides of one and of two bytes.
        {kVxTypeWbmp, ".wbmp", 1, "-resize 7x3! -monochrome", 0},
        {kVxTypeWbmp, ".wbmp", 1, "-resize 8x5! -monochrome", 0},
        {kVxTypeWbmp, ".wbmp", 1, "-resize 200x31! -monochrome", 0},
    };
    ScratchDir dir;
    int n = 0;
    for (const auto& f : files) {
        SCOPED_TRACE(std::string(f.extension) + " " + f.options);
        const auto path = MagickWrites(dir, "file" + std::to_string(n++), f.channels, f.options, f.extension);
        const int channels = f.channels == 1 ? 3 : f.channels;
        for (int frame = 0, frames = 1; frame < frames; ++frame) { // icons hold one frame per size
            VxImage image;
            image.Info().frame = frame;
            ASSERT_TRUE(DecodeBytes(image, ReadFileBytes(path), f.type)) << image.LastError();
            frames = std::max(1, image.FrameCount());
            EXPECT_EQ(CountDiffering(OurView(image, channels), TheirView(path, f.type, channels, frame),
                                     f.tolerance),
                      0);
        }
    }
}

// Our files of each depth decode back to their picture, in us and in ImageMagick: patterns of
// 24 and 32 bits, palette pictures of fewer (`kind` w and b: 1-bit, white or black first; c:
// index 0 clear).
TEST(CodecOracle, OurFilesDecodeToTheirPicture)
{
    struct Row {
        std::uint32_t type;
        const char* extension;
        int width, bits;
        char kind = ' ';
    };
    const auto make = [](const Row& row) {
        if (row.bits > 8)
            return ImageOf(PatternPicture(row.width, 7, row.bits / 8));
        auto image = IndexedImage(row.width, 7, row.bits, 3);
        if (row.kind == 'w' || row.kind == 'b') {
            image->SetPaletteEntry(row.kind == 'w' ? 0 : 1, 255, 255, 255);
            image->SetPaletteEntry(row.kind == 'w' ? 1 : 0, 0, 0, 0);
        }
        if (row.kind == 'c')
            image->SetTransparentIndex(0);
        return image;
    };
    const Row rows[] = {
        {kVxTypeBmp, ".bmp", 45, 1},       {kVxTypeBmp, ".bmp", 45, 4},       {kVxTypeBmp, ".bmp", 45, 8},
        {kVxTypeBmp, ".bmp", 45, 24},      {kVxTypeBmp, ".bmp", 45, 32},      {kVxTypeIco, ".ico", 20, 32},
        {kVxTypeIco, ".ico", 20, 4},       {kVxTypeIco, ".ico", 20, 8, 'c'},  {kVxTypePcx, ".pcx", 13, 1, 'w'},
        {kVxTypePcx, ".pcx", 12, 1, 'b'},  {kVxTypePcx, ".pcx", 13, 4},       {kVxTypePcx, ".pcx", 12, 4},
        {kVxTypePcx, ".pcx", 13, 8},       {kVxTypePcx, ".pcx", 13, 24},      {kVxTypePcx, ".pcx", 12, 24},
        {kVxTypePcx, ".pcx", 13, 32},      {kVxTypeTga, ".tga", 13, 8},       {kVxTypeTga, ".tga", 13, 24},
        {kVxTypeTga, ".tga", 13, 32},      {kVxTypeWbmp, ".wbmp", 21, 1, 'b'}, {kVxTypeWbmp, ".wbmp", 21, 1, 'w'},
        {kVxTypeIco, ".ico", 20, 24}, // opaque: the mask alone, all clear
    };
    ScratchDir dir;
    for (const Row& row : rows) {
        const auto image = make(row);
        SCOPED_TRACE(std::string(row.extension) + " of " + std::to_string(image->BitsPerPixel()) + " bits");
        const Bytes file = EncodeBytes(*image, row.type);
        EXPECT_EQ(PictureOf(*image), PictureOf(*make(row))); // the writer leaves the caller's palette alone
        VxImage back;
        ASSERT_TRUE(DecodeBytes(back, file, row.type)) << back.LastError();
        EXPECT_EQ(SeenRgba(back), SeenRgba(*image));
        if (HaveTools("convert")) {
            const int channels = image->HasAlpha() || image->IsTransparent() ? 4 : 3;
            WriteFileBytes(dir / ("ours" + std::string(row.extension)), file);
            EXPECT_EQ(CountDiffering(TheirView(dir / ("ours" + std::string(row.extension)), row.type, channels, 0),
                                     OurView(*image, channels)),
                      0);
        }
    }
}

// Each decoder gives the size alone when asked, without pixels (a bitmap says so).
TEST(CodecOracle, SizeAlone)
{
    for (std::uint32_t type : {kVxTypeBmp, kVxTypeIco, kVxTypePcx, kVxTypeTga, kVxTypeWbmp, kVxTypeSka, kVxTypeGif,
                               kVxTypeJpg}) {
        SCOPED_TRACE(type);
        const auto image = IndexedImage(9, 5, type == kVxTypeWbmp ? 1 : 8);
        image->SetGreyPalette(); // one JPEG can hold
        VxImage header;
        EXPECT_TRUE(DecodeBytes(header, EncodeBytes(*image, type), type, true)) << header.LastError();
        EXPECT_TRUE(!header.IsValid() && header.ImageType() == type);
        EXPECT_EQ(header.Width() * 100 + header.Height(), 905);
        EXPECT_TRUE(type != kVxTypeBmp || std::string(header.LastError()) == "output dimensions returned");
    }
}

// Each writer refuses depths and sizes its format cannot hold (the side fields are 16 bits; a
// reader of the second format takes at most 32767), with its message. (WBMP: the command line's
// convert test.)
TEST(CodecOracle, WritersRefuseWhatTheirFormatCannotHold)
{
    const struct { std::uint32_t type; int width, height, bits; const char* message; } rows[] = {
        {kVxTypeTga, 2, 2, 4, "Bit depth must be 8 or 24"},
        {kVxTypeTga, 65536, 1, 8, "image too large for TGA"},
        {kVxTypeSka, 4, 4, 24, "SKA Images must be 8 bit or less"},
        {kVxTypeSka, 32768, 1, 1, "SKA images can be at most 32767 pixels wide and high"},
        {kVxTypePcx, 65537, 1, 1, "image too large for PCX"},
        {kVxTypeIco, 300, 10, 24, "Can't save this image as icon"},
    };
    for (const auto& row : rows) {
        VxImage image(row.width, row.height, row.bits, 0);
        EXPECT_TRUE(EncodeBytes(image, row.type).empty()) << row.message;
        EXPECT_STREQ(image.LastError(), row.message);
    }
}

// A file opened for reading takes no bytes, /dev/full none past its buffer: the save fails.
// The JPEG is small: its last, partly filled buffer fails (its full ones: the dispatch tests'
// large picture on /dev/full).
TEST(CodecOracle, FailedWritesAreReported)
{
    const std::string kSave = "Save: the file could not be written";
    const std::string kJpeg = "Output file write error --- out of disk space?";
    ScratchDir dir;
    WriteFileBytes(dir / "read-only", {});
    for (std::uint32_t type : {kVxTypeBmp, kVxTypeIco, kVxTypePcx, kVxTypeTga, kVxTypeWbmp, kVxTypeSka, kVxTypeJpg}) {
        SCOPED_TRACE(type);
        const int side = type == kVxTypeIco ? 64 : type == kVxTypeJpg ? 8 : 300;
        const auto image = IndexedImage(side, side, type == kVxTypeWbmp ? 1 : 8, 0);
        image->SetGreyPalette(); // one JPEG can hold
        std::FILE* file = std::fopen((dir / "read-only").string().c_str(), "rb");
        ASSERT_NE(file, nullptr);
        EXPECT_FALSE(image->Encode(file, type));
        std::fclose(file);
        EXPECT_EQ(image->LastError(),
                  type == kVxTypePcx ? "cannot write PCX header" : type == kVxTypeJpg ? kJpeg : kSave);
        if (fs::exists("/dev/full")) {
            EXPECT_FALSE(image->Save(u"/dev/full", type));
            EXPECT_EQ(image->LastError(), type == kVxTypeJpg ? kJpeg : kSave);
        }
    }
}

} // namespace
