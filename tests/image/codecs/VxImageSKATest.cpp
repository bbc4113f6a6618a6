// VxImageSKA: byte-exact files built here from the layout (header, 256 red-green-blue
// triples, unpadded rows top first) decoded and written back; narrower depths written as
// 8-bit files; detection of SKA files whose first bytes could pass for another format's;
// refused headers and short files.
#include "image/codecs/VxImageSKA.h"

#include "image/VxStream.h"
#include "tests/image/codecs/CodecTestBytes.h"
#include "tests/support/PixelOracle.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace vx::test;

constexpr const char* kTruncated = "Corrupted SKA: the file ends before its last pixel row";

// Entry i of the test palette: red i, green 255 - i, blue 7i (mod 256).
Bytes TestPalette(int used = 256)
{
    Bytes palette;
    for (int i = 0; i < 256; ++i) {
        const bool set = i < used;
        palette.insert(palette.end(), {static_cast<std::uint8_t>(set ? i : 0), static_cast<std::uint8_t>(set ? 255 - i : 0),
                                       static_cast<std::uint8_t>(set ? 7 * i : 0)});
    }
    return palette;
}

// An SKA file: the header fields as given, the palette, then the rows as given (top first).
Bytes SkaFile(std::uint16_t width, std::uint16_t height, const Bytes& palette, const Bytes& rows,
              std::uint8_t format = 3, std::uint32_t marker = 0x01000000)
{
    Bytes file = Joined(Joined(LittleEndian(width, 2), LittleEndian(height, 2)), {format});
    return Joined(Joined(Joined(file, LittleEndian(marker, 4)), palette), rows);
}

// The palette indices top row first.
Bytes IndicesOf(const VxImage& image)
{
    Bytes indices;
    for (int y = image.Height() - 1; y >= 0; --y)
        for (int x = 0; x < image.Width(); ++x)
            indices.push_back(image.PixelIndex(x, y));
    return indices;
}

// A 3 x 2 file (rows shorter than the bitmap's padded stride) and a 5 x 4 one decode to the
// indices and colours given, encode back to the same bytes, and give their size alone.
TEST(SkaFixture, DecodesAndWritesBackByteForByte)
{
    const struct {
        std::uint16_t width, height;
        Bytes rows;
    } cases[] = {
        {3, 2, {0, 1, 2, 250, 251, 255}},
        {5, 4, {9, 8, 7, 6, 5, 10, 20, 30, 40, 50, 0, 0, 1, 1, 2, 128, 64, 32, 16, 255}},
    };
    for (const auto& c : cases) {
        const Bytes file = SkaFile(c.width, c.height, TestPalette(), c.rows);
        VxImage image;
        ASSERT_TRUE(DecodeBytes(image, file, kVxTypeSka)) << image.LastError();
        EXPECT_EQ(image.Width(), c.width);
        EXPECT_EQ(image.Height(), c.height);
        EXPECT_EQ(image.BitsPerPixel(), 8);
        EXPECT_EQ(image.ImageType(), kVxTypeSka);
        EXPECT_EQ(IndicesOf(image), c.rows);
        const RGBQUAD colour = image.PixelColour(1, c.height - 1); // top row, second pixel
        EXPECT_EQ(colour.rgbRed, c.rows[1]);
        EXPECT_EQ(colour.rgbGreen, 255 - c.rows[1]);
        EXPECT_EQ(colour.rgbBlue, static_cast<std::uint8_t>(7 * c.rows[1]));

        const Bytes written = EncodeBytes(image, kVxTypeSka);
        EXPECT_EQ(written.size(), 9u + 768u + c.width * c.height) << image.LastError();
        EXPECT_EQ(written, file);

        VxImage header; // size only: no pixels
        ASSERT_TRUE(DecodeBytes(header, file, kVxTypeSka, true)) << header.LastError();
        EXPECT_EQ(header.Width() * 100 + header.Height(), c.width * 100 + c.height);
        EXPECT_FALSE(header.IsValid());
    }
}

// Images of 1 and 4 bits are written as 8-bit files: their palette, black after it, one
// index a byte. The image itself keeps its depth.
TEST(SkaEncode, WidensNarrowerDepthsToOneIndexAByte)
{
    for (std::uint32_t bits : {1u, 4u}) {
        const int colours = 1 << bits;
        VxImage image(5, 3, bits, 0);
        const Bytes palette = TestPalette(colours);
        image.SetPalette(reinterpret_cast<const RGBTRIPLE*>(palette.data()), static_cast<std::uint32_t>(colours));
        Bytes rows;
        for (int y = 2; y >= 0; --y) {
            for (int x = 0; x < 5; ++x) {
                const auto index = static_cast<std::uint8_t>((x * 3 + y) % colours);
                image.SetPixelIndex(x, y, index);
                rows.push_back(index);
            }
        }
        EXPECT_EQ(EncodeBytes(image, kVxTypeSka), SkaFile(5, 3, palette, rows)) << bits << " bits: " << image.LastError();
        EXPECT_EQ(image.BitsPerPixel(), bits);
    }
}

TEST(SkaEncode, RefusesDeepAndOversizedImages)
{
    VxImage colour(4, 4, 24, 0);
    EXPECT_TRUE(EncodeBytes(colour, kVxTypeSka).empty());
    EXPECT_STREQ(colour.LastError(), "SKA Images must be 8 bit or less");

    VxImage wide(32768, 1, 1, 0); // one pixel more than the 16-bit width a reader accepts
    EXPECT_TRUE(EncodeBytes(wide, kVxTypeSka).empty());
    EXPECT_STREQ(wide.LastError(), "SKA images can be at most 32767 pixels wide and high");
}

// 256 x 258 begins 00 01 02 01: a WBMP header of type 0 and a 2 x 1 picture, were the
// fixed header not checked. Detection must still find the SKA file.
TEST(SkaDetection, FileWhoseHeaderReadsAsAWbmpHeaderIsFoundAsSka)
{
    VxImage image;
    ASSERT_TRUE(DecodeBytes(image, SkaFile(256, 258, TestPalette(), Bytes(256 * 258, 42)), kVxTypeUnknown))
        << image.LastError();
    EXPECT_EQ(image.ImageType(), kVxTypeSka);
    EXPECT_EQ(image.Width(), 256);
    EXPECT_EQ(image.Height(), 258);
    EXPECT_EQ(image.PixelIndex(255, 0), 42);
}

// Foreign headers are refused without a message (detection goes on to the next format);
// a size the file does not hold is refused with one, before anything is allocated.
TEST(SkaDecode, RefusesForeignHeadersAndShortFiles)
{
    const Bytes palette = TestPalette();
    const Bytes file = SkaFile(3, 2, palette, Bytes(6, 1));
    const struct {
        const char* name;
        Bytes bytes;
        std::string message;
    } cases[] = {
        {"header cut short", Bytes(file.begin(), file.begin() + 8), ""},
        {"width 0x8000", SkaFile(0x8000, 2, palette, Bytes(6, 1)), ""},
        {"height 0x8000", SkaFile(3, 0x8000, palette, Bytes(6, 1)), ""},
        {"width 0", SkaFile(0, 2, palette, {}), ""},
        {"format code 2", SkaFile(3, 2, palette, Bytes(6, 1), 2), ""},
        {"marker 00 00 01 00", SkaFile(3, 2, palette, Bytes(6, 1), 3, 0x00010000), ""},
        {"palette cut short", Bytes(file.begin(), file.begin() + 500), kTruncated},
        {"last row one byte short", Bytes(file.begin(), file.end() - 1), kTruncated},
        {"32767 x 32767 in a small file", SkaFile(0x7FFF, 0x7FFF, palette, Bytes(100, 1)), kTruncated},
    };
    for (const auto& c : cases)
        ExpectRefused(c.name, c.bytes, kVxTypeSka, c.message);
}

// Every cut of a valid file is refused; single-bit flips in the header either decode or fail,
// inside the buffers (the sanitizer build checks), and never claim rows the file lacks.
TEST(SkaDecode, EveryTruncationFailsAndHeaderBitFlipsAreSafe)
{
    const Bytes file = SkaFile(3, 2, TestPalette(), {0, 1, 2, 3, 4, 5});
    for (std::size_t length = 0; length < file.size(); ++length) {
        VxImage cut;
        EXPECT_FALSE(DecodeBytes(cut, Bytes(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(length)), kVxTypeSka))
            << length << " bytes";
    }
    for (std::size_t bit = 0; bit < 8 * 9; ++bit) {
        Bytes flipped = file;
        flipped[bit / 8] ^= static_cast<std::uint8_t>(1 << (bit % 8));
        VxImage image;
        if (DecodeBytes(image, flipped, kVxTypeSka)) {
            EXPECT_LE(9u + 768u + static_cast<std::size_t>(image.Width()) * image.Height(), file.size())
                << "bit " << bit;
        }
    }
}

} // namespace
