// VxImagePCX: files ImageMagick writes (1-bit, 8-bit with a colour map, RGB and RGBA planes)
// decoded to its pixels, our files of every depth read back by it; hand-built layouts no tool
// writes (2- and 4-bit pixels, two to four 1-bit planes); the writer's exact bytes where the
// format leaves no choice; and hostile headers and damaged files.
#include "image/codecs/VxImagePCX.h"

#include "image/VxStream.h"
#include "tests/image/codecs/CodecHarness.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace vx::test;

using Indices = std::vector<std::vector<int>>; // rows top first

// A PCX header and the given encoded data (and trailer).
Bytes PcxFile(int bits, int planes, int width, int height, int bytesPerLine, const Bytes& data, const Bytes& colourMap = {})
{
    Bytes head(128, 0);
    head[0] = 10;
    head[1] = 5;
    head[2] = 1;
    head[3] = static_cast<std::uint8_t>(bits);
    const auto put = [&](std::size_t at, int v) {
        head[at] = static_cast<std::uint8_t>(v);
        head[at + 1] = static_cast<std::uint8_t>(v >> 8);
    };
    put(8, width - 1);
    put(10, height - 1);
    put(12, 150);
    put(14, 75);
    std::copy(colourMap.begin(), colourMap.end(), head.begin() + 16);
    head[65] = static_cast<std::uint8_t>(planes);
    put(66, bytesPerLine);
    return Joined(head, data);
}

// Raw bytes coded one by one: as themselves, or behind a count of one when they look like counts.
Bytes Literal(const Bytes& raw)
{
    Bytes out;
    for (std::uint8_t b : raw) {
        if (b >= 0xC0)
            out.push_back(0xC1);
        out.push_back(b);
    }
    return out;
}

// Each row's planes as the file stores them: `planes` 1-bit planes, or one plane of `bits`.
Bytes ScanLines(const Indices& rows, int bits, int planes, int bytesPerLine)
{
    Bytes raw;
    for (const auto& row : rows) {
        for (int p = 0; p < planes; ++p) {
            Bytes line(static_cast<std::size_t>(bytesPerLine), 0);
            const int step = planes > 1 ? 1 : bits;
            for (std::size_t x = 0; x < row.size(); ++x) {
                const int value = planes > 1 ? row[x] >> p & 1 : row[x];
                const std::size_t bit = x * static_cast<std::size_t>(step);
                line[bit / 8] |= static_cast<std::uint8_t>(value << (8 - step - bit % 8));
            }
            raw = Joined(raw, line);
        }
    }
    return raw;
}

Bytes GreyMap(int entries) // red, green, blue per entry: 0x10 x i in every channel
{
    Bytes map;
    for (int i = 0; i < entries; ++i)
        map.insert(map.end(), 3, static_cast<std::uint8_t>(0x10 * i));
    return map;
}

std::string Header(const Bytes& pcx) // bits, planes and bytes per line
{
    return std::to_string(pcx[3]) + "x" + std::to_string(pcx[65]) + "/" + std::to_string(pcx[66] | pcx[67] << 8);
}

// ---- ImageMagick as the oracle ----------------------------------------------------------------

// ImageMagick's pixels of a PCX file. It reads (and writes) one-plane 1-bit files as 0 white and
// 1 black whatever the header map says, where the format's own convention (and ours) is 0 black,
// 1 white: its view of those is turned back into the negative.
Picture MagickView(const std::filesystem::path& pcx, bool alpha)
{
    Picture p = ReadWithMagick(pcx, -1, alpha);
    const Bytes file = ReadFileBytes(pcx);
    if (file.size() > 65 && file[3] == 1 && file[65] == 1)
        for (std::uint8_t& v : p.pixels)
            v = static_cast<std::uint8_t>(255 - v);
    return p;
}

struct MagickCase {
    const char* name;
    int channels;        // of the source picture
    const char* options; // for convert; an empty one goes through a 1-bit BMP first
    const char* header;  // bits x planes / bytes per line, as written
};

TEST(PcxOracle, DecodesWhatImageMagickWrites)
{
    REQUIRE_TOOLS("convert");
    const MagickCase cases[] = {
        {"bilevel", 3, "", "1x1/2"},
        {"palette", 3, "-colors 200 -type Palette", "8x1/13"},
        {"grey", 1, "-type Palette", "8x3/13"},
        {"rgb", 3, "-type TrueColor", "8x3/13"},
        {"rgba", 4, "-type TrueColorAlpha", "8x4/13"},
    };
    ScratchDir dir;
    for (const MagickCase& c : cases) {
        SCOPED_TRACE(c.name);
        const Picture source = PatternPicture(13, 9, c.channels);
        const auto in = dir / (std::string(c.name) + (c.channels == 1 ? ".pgm" : c.channels == 4 ? ".pam" : ".ppm"));
        WritePnm(in, source);
        const auto pcx = dir / (std::string(c.name) + ".pcx");
        if (*c.options)
            RunTool("convert " + Quoted(in) + " " + c.options + " " + Quoted(pcx));
        else
            RunTool("convert " + Quoted(in) + " -monochrome BMP3:" + Quoted(dir / "mono.bmp") + " && convert " +
                    Quoted(dir / "mono.bmp") + " " + Quoted(pcx));
        const Bytes file = ReadFileBytes(pcx);
        ASSERT_GT(file.size(), 128u);
        EXPECT_EQ(Header(file), c.header);
        const auto d = DecodeWith<VxImagePCX>(file);
        ASSERT_TRUE(d.ok) << d.Error();
        const bool alpha = c.channels == 4;
        EXPECT_EQ(CountDiffering(PictureOf(*d.image, alpha ? 4 : 3), MagickView(pcx, alpha)), 0);
    }
}

// Images of every depth the writer handles, each read back by ImageMagick.
TEST(PcxOracle, ImageMagickReadsWhatWeWrite)
{
    REQUIRE_TOOLS("convert");
    ScratchDir dir;
    for (int width : {12, 13}) {
        for (int depth : {1, 4, 8, 24, 32}) {
            SCOPED_TRACE("width " + std::to_string(width) + " depth " + std::to_string(depth));
            std::unique_ptr<VxImage> image = ImageOf(PatternPicture(width, 7, depth == 32 ? 4 : 3));
            if (depth < 24) {
                auto indexed = std::make_unique<VxImage>(width, 7, depth, 0);
                const int colours = 1 << depth;
                for (int i = 0; i < colours; ++i) // 1 bit: white then black, which the writer inverts
                    indexed->SetPaletteEntry(static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(depth == 1 ? 255 - 255 * i : 255 - 37 * i % 256),
                                             static_cast<std::uint8_t>(depth == 1 ? 255 - 255 * i : 91 * i % 256),
                                             static_cast<std::uint8_t>(depth == 1 ? 255 - 255 * i : 255 - i));
                for (int y = 0; y < 7; ++y)
                    for (int x = 0; x < width; ++x)
                        indexed->SetPixelIndex(x, y, static_cast<std::uint8_t>((x * 5 + y * 3) % colours));
                image = std::move(indexed);
            }
            const auto path = dir / ("ours" + std::to_string(depth) + ".pcx");
            WriteFileBytes(path, EncodeWith<VxImagePCX>(*image));
            const bool alpha = depth == 32;
            EXPECT_EQ(CountDiffering(MagickView(path, alpha), PictureOf(*image, alpha ? 4 : 3)), 0);
            const auto back = DecodeWith<VxImagePCX>(ReadFileBytes(path));
            ASSERT_TRUE(back.ok) << back.Error();
            EXPECT_EQ(PictureOf(*back.image, 4), PictureOf(*image, 4));
        }
    }
}

// ---- Layouts no tool writes ------------------------------------------------------------------------

struct LayoutCase {
    int bits, planes, bytesPerLine;
    std::uint16_t depth; // of the decoded image
};

TEST(PcxDecode, EveryPlaneLayoutGivesItsIndicesAndColourMap)
{
    const LayoutCase cases[] = {
        {1, 1, 2, 1}, {2, 1, 4, 4}, {4, 1, 6, 4}, {8, 1, 10, 8}, {1, 2, 2, 4}, {1, 3, 4, 4}, {1, 4, 2, 4},
    };
    for (const LayoutCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.bits) + " bits, " + std::to_string(c.planes) + " planes");
        const int colours = 1 << (c.bits * c.planes);
        Indices rows(3, std::vector<int>(10));
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 10; ++x)
                rows[y][x] = (x * 7 + y * 5) % colours;
        Bytes file = PcxFile(c.bits, c.planes, 10, 3, c.bytesPerLine, Literal(ScanLines(rows, c.bits, c.planes, c.bytesPerLine)),
                             GreyMap(16));
        if (c.bits == 8) {
            file.push_back(12);
            file = Joined(file, GreyMap(256));
        }
        const auto d = DecodeWith<VxImagePCX>(file);
        ASSERT_TRUE(d.ok) << d.Error();
        EXPECT_EQ(d.image->BitsPerPixel(), c.depth);
        EXPECT_EQ(d.image->XDpi(), 150);
        EXPECT_EQ(d.image->YDpi(), 75);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 10; ++x)
                ASSERT_EQ(d.image->PixelIndex(x, 2 - y), rows[y][x]) << x << "," << y;
        // A one-plane 1-bit file is black and white whatever its header says.
        const std::uint8_t expected = c.depth == 1 ? 255 : 0x10;
        EXPECT_EQ(d.image->PaletteEntry(1).rgbGreen, expected);
    }
}

// ---- The writer's bytes ----------------------------------------------------------------------------

TEST(PcxEncode, RunsRowEndsPaddingAndTheBilevelInversion)
{
    // 100 equal bytes: a run of 63 and one of 37, then the colour map behind its marker.
    VxImage flat(100, 1, 8, 0);
    flat.Clear(7);
    Bytes pcx = EncodeWith<VxImagePCX>(flat);
    EXPECT_EQ(Bytes(pcx.begin() + 128, pcx.begin() + 133), (Bytes{0xFF, 7, 0xE5, 7, 12}));
    EXPECT_EQ(pcx.size(), 133u + 768u);

    // Odd width: bytes per line rounded up to even, each plane row ends with a zero.
    VxImage rgb(3, 1, 24, 0);
    for (int x = 0; x < 3; ++x)
        rgb.SetPixelColour(x, 0, RGBQUAD{static_cast<std::uint8_t>(30 + x), static_cast<std::uint8_t>(20 + x),
                                         static_cast<std::uint8_t>(10 + x), 0});
    pcx = EncodeWith<VxImagePCX>(rgb);
    EXPECT_EQ(Header(pcx), "8x3/4");
    EXPECT_EQ(Bytes(pcx.begin() + 128, pcx.end()), (Bytes{10, 11, 12, 0, 20, 21, 22, 0, 30, 31, 32, 0}));
    EXPECT_EQ(pcx[68], 1); // no palette

    // White-then-black 1-bit palette: indices inverted, header map black then white.
    VxImage mono(8, 1, 1, 0);
    mono.SetPaletteEntry(0, 255, 255, 255);
    mono.SetPaletteEntry(1, 0, 0, 0);
    for (int x = 0; x < 8; ++x)
        mono.SetPixelIndex(x, 0, static_cast<std::uint8_t>(x < 3));
    pcx = EncodeWith<VxImagePCX>(mono);
    EXPECT_EQ(Bytes(pcx.begin() + 16, pcx.begin() + 22), (Bytes{0, 0, 0, 255, 255, 255}));
    EXPECT_EQ(Bytes(pcx.begin() + 128, pcx.end()), (Bytes{0x1F, 0})); // bytes per line 2
    const auto back = DecodeWith<VxImagePCX>(pcx);
    ASSERT_TRUE(back.ok) << back.Error();
    EXPECT_EQ(PictureOf(*back.image), PictureOf(mono));
}

TEST(PcxEncode, RefusesWhatItCannotWrite)
{
    VxImage empty;
    std::string error;
    EXPECT_TRUE(EncodeWith<VxImagePCX>(empty, &error).empty());
    EXPECT_EQ(error, "null image!!!");
    VxImage wide(65537, 1, 1, 0); // x max would not fit its 16-bit field
    EXPECT_TRUE(EncodeWith<VxImagePCX>(wide, &error).empty());
    EXPECT_EQ(error, "image too large for PCX");
}

// ---- Hostile input ---------------------------------------------------------------------------------

struct RefusalCase {
    const char* name;
    Bytes file;
    const char* message;
};

TEST(PcxDecode, RefusesBrokenFilesWithTheirMessages)
{
    const Bytes twoBytes = Literal({1, 2});
    Bytes notPcx = PcxFile(8, 1, 2, 1, 2, twoBytes);
    notPcx[0] = 11;
    Bytes notRle = PcxFile(8, 1, 2, 1, 2, twoBytes);
    notRle[2] = 0;
    Bytes swapped = PcxFile(8, 1, 2, 1, 2, twoBytes);
    swapped[4] = 5; // x min beyond x max
    const RefusalCase cases[] = {
        {"short header", Bytes(127, 10), "Can't read PCX image"},
        {"manufacturer", notPcx, "Error: Not a PCX file"},
        {"encoding", notRle, "PCX file has unknown encoding scheme"},
        {"swapped corners", swapped, "Error: Not a PCX file"},
        {"five planes", PcxFile(1, 5, 2, 1, 2, Bytes(10, 0)), "Can't handle image with more than 4 planes"},
        {"no planes", PcxFile(8, 0, 2, 1, 2, twoBytes), "PCX file has an unsupported pixel layout"},
        {"3 bits", PcxFile(3, 1, 2, 1, 2, twoBytes), "PCX file has an unsupported pixel layout"},
        {"2-bit planes", PcxFile(2, 3, 2, 1, 2, Bytes(6, 0)), "PCX_PlanesToPixels: more than 4 planes or more than 1 bit per pixel"},
        {"two 8-bit planes", PcxFile(8, 2, 2, 1, 2, Bytes(4, 0)), "PCX_PlanesToPixels: more than 4 planes or more than 1 bit per pixel"},
        {"zero bytes per line", PcxFile(8, 1, 2, 1, 0, twoBytes), "PCX bytes per line too small for the width"},
        {"short lines", PcxFile(4, 1, 9, 1, 4, Bytes(4, 0)), "PCX bytes per line too small for the width"},
        {"run past the end", PcxFile(8, 1, 2, 1, 2, {0xC3, 5}), "repeat count spans end of image"},
        {"data ends", PcxFile(8, 1, 2, 2, 2, twoBytes), "corrupted PCX"},
        {"run value missing", PcxFile(8, 1, 2, 1, 2, {0xC2}), "corrupted PCX"},
        {"map marker", Joined(PcxFile(8, 1, 2, 1, 2, twoBytes), Joined({11}, GreyMap(256))), "bad color map signature"},
        {"map cut short", Joined(PcxFile(8, 1, 2, 1, 2, twoBytes), Joined({12}, GreyMap(200))), "corrupted PCX"},
        // 256 MiB of pixels promised by a few bytes: refused before anything is allocated.
        {"huge in a tiny file", PcxFile(8, 1, 16384, 16384, 16384, Bytes(300, 0xFF)), "corrupted PCX"},
        {"over the memory limit", PcxFile(8, 4, 65535, 65535, 65535, Bytes(300, 0xFF)), "VXIMAGE_MAX_MEMORY exceeded"},
    };
    for (const RefusalCase& c : cases) {
        const auto d = DecodeWith<VxImagePCX>(c.file);
        EXPECT_FALSE(d.ok) << c.name;
        EXPECT_EQ(d.Error(), c.message) << c.name;
    }
}

TEST(PcxDecode, SizeOnlyCancelAndDamage)
{
    const Bytes pcx = EncodeWith<VxImagePCX>(*ImageOf(PatternPicture(9, 5, 4)));
    auto sized = DecodeWith<VxImagePCX>(pcx, -1);
    ASSERT_TRUE(sized.ok);
    EXPECT_FALSE(sized.image->IsValid());
    EXPECT_EQ(sized.image->Width(), 9);
    EXPECT_EQ(sized.image->Height(), 5);
    EXPECT_EQ(sized.image->ImageType(), kVxTypePcx);
    const auto cancelled = DecodeWith<VxImagePCX>(pcx, 1);
    EXPECT_FALSE(cancelled.ok);
    EXPECT_EQ(cancelled.Error(), "Cancelled");

    ExpectSurvivesDamage<VxImagePCX>(pcx);
    VxImage indexed(7, 3, 8, 0);
    indexed.Clear(200);
    ExpectSurvivesDamage<VxImagePCX>(EncodeWith<VxImagePCX>(indexed), 100);
}

// A PCX header read as TGA has its version where TGA keeps the colour map type: detection must
// not take a PCX file for a TGA one, even when its first colour looks like a TGA pixel depth.
TEST(PcxDecode, DetectionDoesNotMistakeItForTga)
{
    VxImage image(200, 200, 4, 0);
    for (int i = 0; i < 16; ++i)
        image.SetPaletteEntry(static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(24 + i), 0, static_cast<std::uint8_t>(i));
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 200; ++x)
            image.SetPixelIndex(x, y, static_cast<std::uint8_t>((x * 31 + y * 17 + x * y) % 16));
    Bytes pcx = EncodeWith<VxImagePCX>(image);
    ASSERT_EQ(pcx[16], 24);
    VxMemStream stream(pcx.data(), static_cast<std::int32_t>(pcx.size()));
    VxImage detected;
    ASSERT_TRUE(detected.Decode(&stream, kVxTypeUnknown)) << detected.LastError();
    EXPECT_EQ(detected.ImageType(), kVxTypePcx);
    EXPECT_EQ(PictureOf(detected), PictureOf(image));
}

} // namespace
