// VxImageSKA: byte-exact files built here from the layout (header, 256 red-green-blue triples,
// unpadded rows top first) written and found by detection; narrower depths written as 8-bit
// files; refused headers, short and damaged files. (Writer refusals: CodecOracleTest.)
#include "image/codecs/VxImageSKA.h"

#include "tests/image/codecs/CodecHarness.h"

namespace {

using namespace vx::test;

constexpr const char* kTruncated = "Corrupted SKA: the file ends before its last pixel row";

// An SKA file: the header fields as given, the palette of `image` (256 entries, black after
// its own), then the rows as given (top first).
Bytes SkaFile(std::uint16_t width, std::uint16_t height, const VxImage& image, const Bytes& rows,
              std::uint8_t format = 3, std::uint32_t marker = 0x01000000)
{
    Bytes file = Joined(Joined(LittleEndian(width, 2), LittleEndian(height, 2)), {format});
    file = Joined(file, LittleEndian(marker, 4));
    for (std::uint32_t i = 0; i < 256; ++i) {
        const RGBQUAD c = i < image.ColourCount() ? image.PaletteEntry(static_cast<std::uint8_t>(i)) : RGBQUAD{};
        file = Joined(file, {c.rgbRed, c.rgbGreen, c.rgbBlue});
    }
    return Joined(file, rows);
}

// 8-bit images of 3 x 2 (rows shorter than the bitmap's padded stride) and 256 x 258 give the
// file of their palette and indices, which detection reads back to them; images of 1 and 4 bits
// are written as 8-bit files, one index a byte, and keep their own depth. A 256 x 258 file
// begins 00 01 02 01, a WBMP header of a 2 x 1 picture were the fixed header not checked.
TEST(SkaFixture, WritesTheLayoutAndDetectionReadsItBack)
{
    for (auto [width, height, bits] : {std::tuple{3, 2, 8}, {256, 258, 8}, {5, 3, 1}, {5, 3, 4}}) {
        SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height) + "x" + std::to_string(bits));
        const auto image = IndexedImage(width, height, bits);
        Bytes indices; // top row first
        for (int y = height - 1; y >= 0; --y)
            for (int x = 0; x < width; ++x)
                indices.push_back(image->PixelIndex(x, y));
        const Bytes file =
            SkaFile(static_cast<std::uint16_t>(width), static_cast<std::uint16_t>(height), *image, indices);
        EXPECT_EQ(EncodeBytes(*image, kVxTypeSka), file) << image->LastError();
        EXPECT_EQ(image->BitsPerPixel(), bits);

        VxImage back;
        ASSERT_TRUE(DecodeBytes(back, file, kVxTypeUnknown)) << back.LastError();
        EXPECT_EQ(back.BitsPerPixel() * 10 + back.ImageType(), 80 + kVxTypeSka);
        EXPECT_EQ(PictureOf(back), PictureOf(*image)); // the palette's colours are all distinct
    }
}

// Foreign headers are refused without a message (detection goes on to the next format); a size
// the file does not hold is refused with one, before anything is allocated. Every cut of a
// valid file fails; bit flips decode or fail with a message.
TEST(SkaDecode, RefusesForeignHeadersShortAndDamagedFiles)
{
    const auto image = IndexedImage(3, 2, 8);
    const Bytes rows(6, 1), file = SkaFile(3, 2, *image, rows);
    const struct { const char* name; Bytes bytes; std::string message; } cases[] = {
        {"header cut short", Bytes(file.begin(), file.begin() + 8), ""},
        {"width 0x8000", SkaFile(0x8000, 2, *image, rows), ""},
        {"height 0x8000", SkaFile(3, 0x8000, *image, rows), ""},
        {"width 0", SkaFile(0, 2, *image, {}), ""},
        {"format code 2", SkaFile(3, 2, *image, rows, 2), ""},
        {"marker 00 00 01 00", SkaFile(3, 2, *image, rows, 3, 0x00010000), ""},
        {"last row one byte short", Bytes(file.begin(), file.end() - 1), kTruncated},
        {"32767 x 32767 in a small file", SkaFile(0x7FFF, 0x7FFF, *image, Bytes(100, 1)), kTruncated},
    };
    for (const auto& c : cases)
        ExpectRefused(c.name, c.bytes, kVxTypeSka, c.message);
    // A damaged header is "not this format", without a message.
    ExpectSurvivesDamage<VxImageSKA>(EncodeBytes(*IndexedImage(7, 3, 8), kVxTypeSka),
                                     {.flips = 200, .messages = false});
}

} // namespace
