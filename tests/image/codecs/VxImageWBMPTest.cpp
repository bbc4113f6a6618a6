// VxImageWBMP (ImageMagick's files and ours: CodecOracleTest): multi-byte integers against
// hand-worked encodings; header-only decodes; hostile headers and short files, which must fail
// cleanly without large allocations.
#include "image/codecs/VxImageWBMP.h"

#include "tests/image/codecs/CodecHarness.h"

#include <cstdio>

namespace {

using namespace vx::test;

// Black and white blocks with a diagonal, so each row and every bit position differ.
Picture BlackAndWhite(int width, int height)
{
    Picture p{width, height, 1, {}};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            p.pixels.push_back(((x / 3 + y / 2) % 2 == 0 || x == y) ? 255 : 0);
    return p;
}

// A 1-bit image of the picture; with `whiteFirst` its palette is white, black.
std::unique_ptr<VxImage> OneBitImage(const Picture& p, bool whiteFirst = false)
{
    auto image = std::make_unique<VxImage>(p.width, p.height, 1, 0);
    const std::uint8_t first = whiteFirst ? 255 : 0;
    image->SetPaletteEntry(0, first, first, first);
    image->SetPaletteEntry(1, 255 - first, 255 - first, 255 - first);
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x)
            image->SetPixelIndex(x, p.height - 1 - y, (*p.At(x, y) != 0) != whiteFirst ? 1 : 0);
    return image;
}

TEST(WbmpMultiByte, EncodesSevenBitGroupsHighestFirstAndReadsThemBack)
{
    const struct { std::uint32_t value; Bytes bytes; } cases[] = {
        {0, {0x00}}, {127, {0x7F}}, {128, {0x81, 0x00}}, {200, {0x81, 0x48}}, {16383, {0xFF, 0x7F}},
        {16384, {0x81, 0x80, 0x00}}, {0xFFFFFFFF, {0x8F, 0xFF, 0xFF, 0xFF, 0x7F}},
    };
    for (const auto& c : cases) {
        VxMemStream out;
        out.Open();
        ASSERT_TRUE(VxImageWBMP::WriteMultiByte(&out, c.value));
        EXPECT_EQ(Bytes(out.GetBuffer(false), out.GetBuffer(false) + out.Size()), c.bytes) << c.value;
        Bytes input = Joined(c.bytes, {0x55}); // the next field must stay unread
        VxMemStream in(input.data(), static_cast<std::int32_t>(input.size()));
        std::uint32_t value = 1;
        EXPECT_TRUE(VxImageWBMP::ReadMultiByte(&in, value) && value == c.value && in.Tell() == in.Size() - 1) << c.value;
    }
}

TEST(WbmpDecode, HeaderOnlyGivesTheSizeWithoutPixels)
{
    VxImage image;
    ASSERT_TRUE(DecodeBytes(image, Joined({0, 0, 0x81, 0x48, 2}, Bytes(50, 0)), kVxTypeWbmp, true)) << image.LastError();
    EXPECT_EQ(image.Width() * 10 + image.Height(), 2002);
    EXPECT_EQ(image.ImageType(), kVxTypeWbmp);
    EXPECT_FALSE(image.IsValid());
}

TEST(WbmpDecode, HostileHeadersAndShortFilesFailWithAMessage)
{
    const std::string truncated = "Corrupted WBMP: the file ends inside its rows";
    const struct { const char* name; Bytes bytes; std::string message; } cases[] = {
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
    ExpectSurvivesDamage<VxImageWBMP>(EncodeBytes(*OneBitImage(BlackAndWhite(13, 5)), kVxTypeWbmp));
}

TEST(WbmpEncode, RefusesOtherDepthsAndReportsFailedWrites)
{
    std::string error;
    EXPECT_TRUE(EncodeWith<VxImageWBMP>(*ImageOf(PatternPicture(4, 4, 1)), &error).empty());
    EXPECT_EQ(error, "Can't save this image as WBMP");

    ScratchDir dir; // a file opened for reading takes no bytes
    WriteFileBytes(dir / "read-only.wbmp", {});
    std::FILE* file = std::fopen((dir / "read-only.wbmp").string().c_str(), "rb");
    ASSERT_NE(file, nullptr);
    auto image = OneBitImage(BlackAndWhite(64, 64));
    EXPECT_FALSE(image->Encode(file, kVxTypeWbmp));
    std::fclose(file);
    EXPECT_STREQ(image->LastError(), "Save: the file could not be written");
}

} // namespace
