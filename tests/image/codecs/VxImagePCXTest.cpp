// VxImagePCX (ImageMagick's files and ours: CodecOracleTest): hand-built layouts no tool writes
// (2- and 4-bit pixels, two to four 1-bit planes, a 1-bit map to ignore); the writer's long runs;
// hostile and damaged files; detection.
#include "image/codecs/VxImagePCX.h"

#include "tests/image/codecs/CodecHarness.h"

namespace {

using namespace vx::test;

// Header (150 x 75 dpi, the map's first 16 entries), then the encoded rows.
Bytes PcxFile(int bits, int planes, int width, int height, int bytesPerLine, const Bytes& data, const Bytes& map = {})
{
    Bytes head = Joined({10, 5, 1, static_cast<std::uint8_t>(bits), 0, 0, 0, 0}, LittleEndian(width - 1, 2));
    head = Joined(Joined(head, LittleEndian(height - 1, 2)), Joined(LittleEndian(150, 2), LittleEndian(75, 2)));
    head = Joined(Joined(Joined(head, map), Bytes(65 - 16 - map.size(), 0)), {static_cast<std::uint8_t>(planes)});
    return Joined(Joined(Joined(head, LittleEndian(bytesPerLine, 2)), Bytes(60, 0)), data);
}

Bytes Literal(const Bytes& raw) // each byte as itself, behind a count of one where it looks like a count
{
    Bytes out;
    for (std::uint8_t b : raw) {
        if (b >= 0xC0)
            out.push_back(0xC1);
        out.push_back(b);
    }
    return out;
}

Bytes GreyMap(int entries) // entry i is 0x10 x i in every channel
{
    Bytes map;
    for (int i = 0; i < entries; ++i)
        map.insert(map.end(), 3, static_cast<std::uint8_t>(0x10 * i));
    return map;
}

TEST(PcxDecode, EveryPlaneLayoutGivesItsIndicesAndColourMap)
{
    const struct { int bits, planes, bytesPerLine, depth; } layouts[] = {
        {1, 1, 2, 1}, {2, 1, 4, 4}, {4, 1, 6, 4}, {1, 2, 2, 4}, {1, 3, 4, 4}, {1, 4, 2, 4}};
    for (const auto& c : layouts) {
        SCOPED_TRACE(std::to_string(c.bits) + " bits, " + std::to_string(c.planes) + " planes");
        const auto index = [&](int x, int y) { return (x * 7 + y * 5) % (1 << (c.bits * c.planes)); };
        Bytes raw; // each row's planes in turn, leftmost pixel in the highest bits
        for (int y = 0; y < 3; ++y)
            for (int p = 0; p < c.planes; ++p) {
                Bytes line(static_cast<std::size_t>(c.bytesPerLine), 0);
                const int step = c.planes > 1 ? 1 : c.bits; // bits per pixel in a plane
                for (int x = 0, bit = 0; x < 10; ++x, bit += step)
                    line[bit / 8] |= static_cast<std::uint8_t>((c.planes > 1 ? index(x, y) >> p & 1 : index(x, y))
                                                               << (8 - step - bit % 8));
                raw = Joined(raw, line);
            }
        const Bytes file = PcxFile(c.bits, c.planes, 10, 3, c.bytesPerLine, Literal(raw), GreyMap(16));
        const auto d = DecodeWith<VxImagePCX>(file);
        ASSERT_TRUE(d.ok) << d.Error();
        EXPECT_EQ(d.image->BitsPerPixel(), c.depth);
        EXPECT_EQ(d.image->XDpi() * 1000 + d.image->YDpi(), 150075);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 10; ++x)
                ASSERT_EQ(d.image->PixelIndex(x, 2 - y), index(x, y)) << x << "," << y;
        EXPECT_EQ(d.image->PaletteEntry(1).rgbGreen, c.depth == 1 ? 255 : 0x10); // 1 bit, 1 plane: black, white
    }
}

// Runs longer than the 63 a count byte holds are split, and the 256-colour map follows its
// marker. (Planes, row padding and the bilevel inversion: CodecOracle's round trips.)
TEST(PcxEncode, LongRunsAndTheColourMap)
{
    VxImage flat(100, 1, 8, 0);
    flat.Clear(7);
    const Bytes pcx = EncodeBytes(flat, kVxTypePcx);
    EXPECT_EQ(Bytes(pcx.begin() + 128, pcx.begin() + 133), (Bytes{0xFF, 7, 0xE5, 7, 12}));
    EXPECT_EQ(pcx.size(), 133u + 768u);
}

TEST(PcxDecode, RefusesBrokenFilesWithTheirMessages)
{
    const Bytes two = Literal({1, 2});
    const auto with = [](Bytes file, std::size_t at, std::uint8_t value) { file[at] = value; return file; };
    const char* const kPlanes = "PCX_PlanesToPixels: more than 4 planes or more than 1 bit per pixel";
    const struct { Bytes file; std::string message; } cases[] = {
        {Bytes(127, 10), "Can't read PCX image"},
        {with(PcxFile(8, 1, 2, 1, 2, two), 0, 11), "Error: Not a PCX file"},
        {with(PcxFile(8, 1, 2, 1, 2, two), 2, 0), "PCX file has unknown encoding scheme"},
        {with(PcxFile(8, 1, 2, 1, 2, two), 4, 5), "Error: Not a PCX file"}, // x min beyond x max
        {PcxFile(1, 5, 2, 1, 2, Bytes(10, 0)), "Can't handle image with more than 4 planes"},
        {PcxFile(3, 1, 2, 1, 2, two), "PCX file has an unsupported pixel layout"},
        {PcxFile(8, 0, 2, 1, 2, two), "PCX file has an unsupported pixel layout"},
        {PcxFile(2, 3, 2, 1, 2, Bytes(6, 0)), kPlanes},
        {PcxFile(8, 2, 2, 1, 2, Bytes(4, 0)), kPlanes},
        {PcxFile(4, 1, 9, 1, 4, Bytes(4, 0)), "PCX bytes per line too small for the width"},
        {PcxFile(8, 1, 2, 1, 2, {0xC3, 5}), "repeat count spans end of image"},
        {PcxFile(8, 1, 2, 2, 2, two), "corrupted PCX"},
        {PcxFile(8, 1, 2, 1, 2, {0xC2}), "corrupted PCX"},
        {Joined(PcxFile(8, 1, 2, 1, 2, two), Joined({11}, GreyMap(256))), "bad color map signature"},
        {Joined(PcxFile(8, 1, 2, 1, 2, two), Joined({12}, GreyMap(200))), "corrupted PCX"},
        // 256 MiB promised by a few bytes, refused before allocation; and more than the limit.
        {PcxFile(8, 1, 16384, 16384, 16384, Bytes(300, 0xFF)), "corrupted PCX"},
        {PcxFile(8, 4, 65535, 65535, 65535, Bytes(300, 0xFF)), "VXIMAGE_MAX_MEMORY exceeded"},
    };
    for (const auto& c : cases) {
        const auto d = DecodeWith<VxImagePCX>(c.file);
        EXPECT_EQ(std::to_string(d.ok) + d.Error(), "0" + c.message);
    }
}

TEST(PcxDecode, CancelDamageAndDetection)
{
    const Bytes pcx = EncodeBytes(*ImageOf(PatternPicture(9, 5, 4)), kVxTypePcx);
    EXPECT_EQ(DecodeWith<VxImagePCX>(pcx, 1).Error(), "Cancelled");
    ExpectSurvivesDamage<VxImagePCX>(pcx);
    ExpectSurvivesDamage<VxImagePCX>(EncodeBytes(*IndexedImage(7, 3, 8, 1), kVxTypePcx), {.flips = 100});

    // Read as TGA, a PCX header's version is the colour map type and its first colour the pixel
    // depth: detection must still find PCX.
    const auto image = IndexedImage(200, 200, 4);
    for (std::uint8_t i = 0; i < 16; ++i)
        image->SetPaletteEntry(i, static_cast<std::uint8_t>(24 + i), 0, i);
    VxImage detected;
    ASSERT_TRUE(DecodeBytes(detected, EncodeBytes(*image, kVxTypePcx), kVxTypeUnknown)) << detected.LastError();
    EXPECT_EQ(detected.ImageType(), kVxTypePcx);
    EXPECT_EQ(PictureOf(detected), PictureOf(*image));
}

} // namespace
