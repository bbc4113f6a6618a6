// VxImageTGA (ImageMagick's files and ours: CodecOracleTest): hand-built files for what it does
// not write (packets across rows, 15/16-bit pixels, 2- and 4-byte colour map entries, origins
// with opacity); hostile and damaged files.
#include "image/codecs/VxImageTGA.h"

#include "tests/image/codecs/CodecHarness.h"

namespace {

using namespace vx::test;

// The 18-byte header (colour map from entry 0, origin 0, 0), then the map and pixels in `rest`.
Bytes TgaFile(int imageType, int depth, int width, int height, int descriptor, const Bytes& rest, int mapLength = 0,
              int entrySize = 24)
{
    const auto byte = [](int v) { return static_cast<std::uint8_t>(v); };
    Bytes head = Joined({0, byte(mapLength > 0), byte(imageType), 0, 0}, LittleEndian(mapLength, 2));
    head = Joined(Joined(head, {byte(entrySize), 0, 0, 0, 0}), LittleEndian(width, 2));
    return Joined(Joined(Joined(head, LittleEndian(height, 2)), {byte(depth), byte(descriptor)}), rest);
}

TEST(TgaDecode, HandBuiltPacketsDepthsOriginsAndMaps)
{
    const Bytes a = {1, 2, 3}, b = {4, 5, 6}, c = {7, 8, 9}, abcd = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    const struct { const char* name; Bytes file; const char* colours; } cases[] = {
        {"run across rows", TgaFile(10, 24, 3, 2, 0, Joined(Joined({0x84}, a), Joined({0x00}, b))),
         "3,2,1 3,2,1 6,5,4 3,2,1 3,2,1 3,2,1 "},
        {"literals across rows", TgaFile(10, 24, 3, 2, 0, Joined(Joined({0x03}, abcd), Joined({0x81}, a))),
         "12,11,10 3,2,1 3,2,1 3,2,1 6,5,4 9,8,7 "},
        {"run past the last pixel", TgaFile(10, 24, 2, 1, 0, Joined({0x85}, c)), "9,8,7 9,8,7 "},
        {"bottom-left", TgaFile(2, 24, 2, 2, 0x00, abcd), "9,8,7 12,11,10 3,2,1 6,5,4 "},
        {"bottom-right", TgaFile(2, 24, 2, 2, 0x10, abcd), "12,11,10 9,8,7 6,5,4 3,2,1 "},
        {"top-left", TgaFile(2, 24, 2, 2, 0x20, abcd), "3,2,1 6,5,4 9,8,7 12,11,10 "},
        {"top-right", TgaFile(2, 24, 2, 2, 0x30, abcd), "6,5,4 3,2,1 12,11,10 9,8,7 "},
        {"15-bit, bit 15 ignored", TgaFile(2, 15, 5, 1, 0, {0x1F, 0, 0xE0, 0x03, 0, 0x7C, 0xFF, 0x7F, 0x1F, 0x80}),
         "0,0,248 0,248,0 248,0,0 248,248,248 0,0,248 "},
        {"16-bit run", TgaFile(10, 16, 3, 1, 0, {0x82, 0x00, 0x7C}), "248,0,0 248,0,0 248,0,0 "},
        {"map, index past it", TgaFile(1, 8, 3, 1, 0, Joined(Joined(a, b), {1, 0, 5}), 2), "6,5,4 3,2,1 0,0,0 "},
        {"16-bit map", TgaFile(1, 8, 2, 1, 0, {0x00, 0x7C, 0x1F, 0x00, 1, 0}, 2, 16), "0,0,248 248,0,0 "},
        {"32-bit map", TgaFile(9, 8, 3, 1, 0, {1, 2, 3, 99, 4, 5, 6, 99, 0x82, 1}, 2, 32), "6,5,4 6,5,4 6,5,4 "},
    };
    for (const auto& c : cases) {
        const auto decoded = DecodeWith<VxImageTGA>(c.file);
        ASSERT_TRUE(decoded.ok) << c.name << ": " << decoded.Error();
        const Picture p = PictureOf(*decoded.image);
        std::string colours; // "r,g,b " per pixel, top row first
        for (std::size_t i = 0; i < p.pixels.size(); ++i)
            colours += std::to_string(p.pixels[i]) + (i % 3 == 2 ? " " : ",");
        EXPECT_EQ(colours, c.colours) << c.name;
    }
    // 32-bit pixels keep their opacity from every corner: alpha is 10 x (blue + 2) / 3 here.
    for (int origin : {0x00, 0x10, 0x20, 0x30}) {
        const Bytes pixels = {1, 2, 3, 10, 4, 5, 6, 20, 7, 8, 9, 30, 10, 11, 12, 40};
        const auto d = DecodeWith<VxImageTGA>(TgaFile(2, 32, 2, 2, origin | 8, pixels));
        ASSERT_TRUE(d.ok && d.image->HasAlpha()) << d.Error();
        for (int x = 0, y = 0; y < 2; x = 1 - x, y += x == 0)
            EXPECT_EQ(d.image->AlphaAt(x, y), 10 * (d.image->PixelColour(x, y).rgbBlue + 2) / 3) << origin;
    }
}

TEST(TgaDecode, RefusesBrokenFilesWithTheirMessages)
{
    const Bytes pixel = {1, 2, 3};
    const auto with = [](Bytes file, std::size_t at, std::uint8_t value) { file[at] = value; return file; };
    const struct { Bytes file; std::string message; } cases[] = {
        {Bytes(17, 2), "Not a TGA"},
        {TgaFile(4, 24, 1, 1, 0, pixel), "Unknown TGA image type"},
        {TgaFile(0, 24, 1, 1, 0, pixel), "Unknown TGA image type"},
        {TgaFile(2, 24, 0, 1, 0, pixel), "bad TGA header"},
        {TgaFile(2, 24, 1, 0, 0, pixel), "bad TGA header"},
        {TgaFile(2, 12, 1, 1, 0, pixel), "bad TGA header"},
        {TgaFile(1, 8, 1, 1, 0, Bytes(3 * 257 + 1, 0), 257), "bad TGA header"},
        {with(TgaFile(1, 8, 1, 1, 0, Bytes(4, 0), 1), 1, 2), "bad TGA header"}, // colour map type 2
        {with(TgaFile(2, 24, 1, 1, 0, pixel), 0, 200), "corrupted TGA"},      // identification field
        {TgaFile(1, 8, 1, 1, 0, Bytes(100, 0), 200), "corrupted TGA"},
        {TgaFile(2, 24, 2, 2, 0, Bytes(11, 0)), "corrupted TGA"},
        {TgaFile(10, 24, 200, 2, 0, Joined({0xFF}, pixel)), "corrupted TGA"},
        {TgaFile(10, 24, 3, 1, 0, {0x00, 1, 2, 3, 0x81, 1, 2}), "corrupted TGA"},
        {TgaFile(2, 32, 65535, 65535, 0, Bytes(300, 0)), "corrupted TGA"}, // 16 GiB promised: no allocation
    };
    for (const auto& c : cases) {
        const auto d = DecodeWith<VxImageTGA>(c.file);
        EXPECT_EQ(std::to_string(d.ok) + d.Error(), "0" + c.message) << c.file.size();
    }
}

TEST(TgaDecode, CancelAndDamage)
{
    const Bytes raw = EncodeBytes(*ImageOf(PatternPicture(9, 5, 4)), kVxTypeTga);
    EXPECT_EQ(DecodeWith<VxImageTGA>(raw, 1).Error(), "Cancelled");
    ExpectSurvivesDamage<VxImageTGA>(raw);
    // Run-length, colour-mapped, top row first; the packets end exactly with the picture.
    const Bytes mapAndPackets = {1, 2, 3, 4, 5, 6, 7, 8, 9, 0x85, 1, 0x03, 1, 2, 0, 1, 0x89, 2, 0x00, 0};
    ExpectSurvivesDamage<VxImageTGA>(TgaFile(9, 8, 7, 3, 0x20, mapAndPackets, 3));
}

} // namespace
