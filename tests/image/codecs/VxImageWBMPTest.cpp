// VxImageWBMP: multi-byte integers against hand-worked encodings; decodes of files ImageMagick
// wrote and encodes it reads back, byte for byte; palettes with white first; header-only
// decodes; hostile headers and short files, which must fail cleanly without large allocations.
#include "image/codecs/VxImageWBMP.h"

#include "image/VxStream.h"
#include "tests/image/codecs/CodecHarness.h"
#include "tests/image/codecs/CodecTestBytes.h"
#include "tests/support/PixelOracle.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

namespace {

using namespace vx::test;

// Black and white blocks with a diagonal, so each row and every bit position differ.
Picture MakeBlackAndWhite(int width, int height)
{
    Picture p{width, height, 1, {}};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            p.pixels.push_back(((x / 3 + y / 2) % 2 == 0 || x == y) ? 255 : 0);
    return p;
}

// A 1-bit image of the picture; with `whiteFirst` its palette is white, black.
std::unique_ptr<VxImage> MakeImage(const Picture& p, bool whiteFirst = false)
{
    auto image = std::make_unique<VxImage>(p.width, p.height, 1, 0);
    image->SetPaletteEntry(0, whiteFirst ? 255 : 0, whiteFirst ? 255 : 0, whiteFirst ? 255 : 0);
    image->SetPaletteEntry(1, whiteFirst ? 0 : 255, whiteFirst ? 0 : 255, whiteFirst ? 0 : 255);
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x)
            image->SetPixelIndex(x, p.height - 1 - y, (*p.At(x, y) != 0) != whiteFirst ? 1 : 0);
    return image;
}

// ---- Multi-byte integers ------------------------------------------------------------------------

TEST(WbmpMultiByte, EncodesSevenBitGroupsHighestFirstAndReadsThemBack)
{
    const struct {
        std::uint32_t value;
        Bytes bytes;
    } cases[] = {
        {0, {0x00}},
        {127, {0x7F}},
        {128, {0x81, 0x00}},
        {200, {0x81, 0x48}},
        {16383, {0xFF, 0x7F}},
        {16384, {0x81, 0x80, 0x00}},
        {0xFFFFFFFF, {0x8F, 0xFF, 0xFF, 0xFF, 0x7F}},
    };
    for (const auto& c : cases) {
        VxMemStream out;
        out.Open();
        ASSERT_TRUE(VxImageWBMP::WriteMultiByte(&out, c.value));
        const std::uint8_t* data = out.GetBuffer(false);
        EXPECT_EQ(Bytes(data, data + out.Size()), c.bytes) << c.value;

        Bytes input = Joined(c.bytes, {0x55}); // the next field must stay unread
        VxMemStream in(input.data(), static_cast<std::int32_t>(input.size()));
        std::uint32_t value = 1;
        EXPECT_TRUE(VxImageWBMP::ReadMultiByte(&in, value)) << c.value;
        EXPECT_EQ(value, c.value);
        EXPECT_EQ(in.Tell(), static_cast<std::int32_t>(c.bytes.size()));
    }
}

// ---- Against ImageMagick ------------------------------------------------------------------------

// ImageMagick writes the file; we decode it (through detection) and encode the result again,
// which must give back ImageMagick's bytes. Widths cover whole, partial and single-bit bytes.
TEST(WbmpOracle, DecodesImageMagickFilesAndWritesTheSameBytes)
{
    REQUIRE_TOOLS("convert");
    ScratchDir dir;
    for (auto [width, height] : {std::pair{1, 1}, {7, 3}, {8, 5}, {13, 9}, {200, 31}}) {
        const std::string name = std::to_string(width) + "x" + std::to_string(height);
        const Picture picture = MakeBlackAndWhite(width, height);
        WritePnm(dir / (name + ".pgm"), picture);
        RunTool("convert " + Quoted(dir / (name + ".pgm")) + " " + Quoted(dir / (name + ".wbmp")));
        const Bytes file = ReadFileBytes(dir / (name + ".wbmp"));

        VxImage image;
        VxMemStream stream(const_cast<std::uint8_t*>(file.data()), static_cast<std::int32_t>(file.size()));
        ASSERT_TRUE(image.Decode(&stream, kVxTypeUnknown)) << name << ": " << image.LastError();
        EXPECT_EQ(image.ImageType(), kVxTypeWbmp);
        EXPECT_EQ(image.BitsPerPixel(), 1);
        EXPECT_EQ(PictureOf(image, 1), picture) << name;
        EXPECT_EQ(EncodeBytes(image, kVxTypeWbmp), file) << name;
    }
}

// Whatever order the palette has, ImageMagick must see the picture, not its negative.
TEST(WbmpOracle, ImageMagickReadsOurFilesWithEitherPaletteOrder)
{
    REQUIRE_TOOLS("convert");
    ScratchDir dir;
    const Picture picture = MakeBlackAndWhite(21, 6);
    Picture rgb{picture.width, picture.height, 3, {}};
    for (std::uint8_t level : picture.pixels)
        rgb.pixels.insert(rgb.pixels.end(), {level, level, level});
    for (bool whiteFirst : {false, true}) {
        auto image = MakeImage(picture, whiteFirst);
        const Bytes file = EncodeBytes(*image, kVxTypeWbmp);
        ASSERT_FALSE(file.empty()) << image->LastError();
        const auto path = dir / (whiteFirst ? "white-first.wbmp" : "black-first.wbmp");
        WriteFileBytes(path, file);
        EXPECT_EQ(ReadWithMagick(path), rgb) << path;
    }
}

// ---- Header-only decodes, refusals and hostile input ---------------------------------------------

TEST(WbmpDecode, HeaderOnlyGivesTheSizeWithoutPixels)
{
    VxImage image;
    ASSERT_TRUE(DecodeBytes(image, Joined({0, 0, 0x81, 0x48, 2}, Bytes(50, 0)), kVxTypeWbmp, true)) << image.LastError();
    EXPECT_EQ(image.Width(), 200);
    EXPECT_EQ(image.Height(), 2);
    EXPECT_EQ(image.ImageType(), kVxTypeWbmp);
    EXPECT_FALSE(image.IsValid());
}

TEST(WbmpDecode, HostileHeadersAndShortFilesFailWithAMessage)
{
    const std::string truncated = "Corrupted WBMP: the file ends inside its rows";
    const struct {
        const char* name;
        Bytes bytes;
        std::string message;
    } cases[] = {
        {"width never ends", {0, 0, 0x81, 0x80, 0x80}, "Not a WBMP"},
        {"width beyond 32 bits", {0, 0, 0x90, 0x80, 0x80, 0x80, 0x00, 1, 0xFF}, "Not a WBMP"},
        {"header only", {0, 0, 1, 1}, "Not a WBMP"},
        {"type 1", {1, 0, 1, 1, 0xFF}, "Unsupported WBMP type"},
        {"fixed header set, as in an SKA file", {0, 1, 2, 1, 3, 0, 0, 0, 1}, "Not a WBMP"},
        {"width 0", {0, 0, 0, 1, 0xFF}, "Corrupted WBMP"},
        {"height 0", {0, 0, 1, 0, 0xFF}, "Corrupted WBMP"},
        {"width beyond a signed 32-bit side", {0, 0, 0x8F, 0xFF, 0xFF, 0xFF, 0x7F, 1, 0xFF}, "Corrupted WBMP"},
        {"last row short", {0, 0, 16, 3, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, truncated},
        {"enormous size, one byte of rows", {0, 0, 0x87, 0xFF, 0xFF, 0xFF, 0x7F, 0x87, 0xFF, 0xFF, 0xFF, 0x7F, 0},
         truncated},
    };
    for (const auto& c : cases)
        ExpectRefused(c.name, c.bytes, kVxTypeWbmp, c.message);
}

// Every cut of a valid file is refused (no picture with unread rows); bit flips either decode or
// fail with a message, inside the buffers (the sanitizer build checks).
TEST(WbmpDecode, EveryTruncationFailsAndBitFlipsAreSafe)
{
    ExpectSurvivesDamage<VxImageWBMP>(EncodeBytes(*MakeImage(MakeBlackAndWhite(13, 5)), kVxTypeWbmp));
}

TEST(WbmpEncode, RefusesOtherDepthsAndReportsFailedWrites)
{
    VxImage grey(4, 4, 8, 0);
    grey.SetGreyPalette();
    EXPECT_TRUE(EncodeBytes(grey, kVxTypeWbmp).empty());
    EXPECT_STREQ(grey.LastError(), "Can't save this image as WBMP");

    // A file opened for reading takes no bytes.
    ScratchDir dir;
    WriteFileBytes(dir / "read-only.wbmp", {});
    std::FILE* file = std::fopen((dir / "read-only.wbmp").string().c_str(), "rb");
    ASSERT_NE(file, nullptr);
    auto image = MakeImage(MakeBlackAndWhite(64, 64));
    EXPECT_FALSE(image->Encode(file, kVxTypeWbmp));
    std::fclose(file);
    EXPECT_STREQ(image->LastError(), "Save: the file could not be written");
}

} // namespace
