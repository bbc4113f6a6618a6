// VxImage container: creation sizes and limits, resolution, pixel and palette access at 4, 8
// and 24 bits, the NearestIndex cache, and the ownership rules of CopyFrom, TakeOver,
// MakeAlias and Destroy (leaks and double frees show up under ASan).
#include "image/VxImage.h"
#include "tests/support/ImageChecks.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using namespace vx::test;

TEST(VxImageCreate, DepthStrideAndBlockLayout)
{
    const struct { std::uint32_t width, asked, stored, colours, stride; } cases[] = {
        {3, 24, 24, 0, 12}, {3, 5, 8, 256, 4}, {4, 0, 1, 2, 4}, {4, 2, 4, 16, 4}, {4, 16, 24, 0, 12}, {33, 1, 1, 2, 8},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + " wide, depth " + std::to_string(c.asked));
        VxImage image;
        ASSERT_NE(image.Create(c.width, 3, c.asked, kVxTypeBmp), nullptr);
        EXPECT_EQ((std::vector<std::uint32_t>{image.BitsPerPixel(), image.ColourCount(), image.RowStride(),
                                              image.Header().biSizeImage, std::uint32_t(image.DibSize())}),
                  (std::vector<std::uint32_t>{c.stored, c.colours, c.stride, 3 * c.stride,
                                              40 + 4 * c.colours + 3 * c.stride}));
        // The rows follow the header and the palette (whose zeros other tests' black relies on).
        EXPECT_EQ(image.RowAddress(2), image.DibAddress() + 40 + 4 * c.colours + 2 * c.stride);
    }
    // Clear fills every byte of the rows, padding included, with the index repeated.
    VxImage mono(9, 2, 1, kVxTypeUnknown), nibbles(3, 2, 4, kVxTypeUnknown), rgb(1, 1, 24, kVxTypeUnknown);
    mono.Clear(2); // any non-zero index is bit 1
    nibbles.Clear(0x12);
    rgb.Clear(0x5A);
    EXPECT_EQ((std::vector<int>{mono.RowAddress(1)[3], nibbles.RowAddress(0)[3], rgb.RowAddress(0)[3]}),
              (std::vector<int>{0xFF, 0x22, 0x5A}));
}

TEST(VxImageCreate, MemoryLimitAndPlanesReset)
{
    VxImage largest(16384, 16384, 8, kVxTypeUnknown);
    EXPECT_EQ(largest.DibSize(), 40u + 1024u + 268435456u);
    // Within the limit unpadded, 10,977 bytes over it with rows padded to 4 bytes.
    ASSERT_NE(largest.Create(9459, 9459, 24, kVxTypeUnknown), nullptr);
    largest.Destroy();

    const struct { std::uint32_t width, height, depth; } cases[] = {
        {16384, 16385, 8},      {17, 15790321, 8},      // 2^28 + 1 pixels: one byte over
        {65536, 65536, 24},     {65536, 65537, 8},      // products wrap in 32 bits
        {0xFFFFFFFFu, 0xFFFFFFFFu, 24},
        {0x80000000u, 1, 1},    // 256 MiB of bits, but the width does not fit the header
        {1, 0x7FFFFFFFu, 1},    // 256 MiB of bits, but 8 GiB once rows are padded
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) + "x" + std::to_string(c.depth));
        VxImage image(4, 4, 8, kVxTypeUnknown);
        EXPECT_EQ(image.Create(c.width, c.height, c.depth, kVxTypeUnknown), nullptr);
        EXPECT_STREQ(image.LastError(), "VXIMAGE_MAX_MEMORY exceeded");
        EXPECT_FALSE(image.IsValid());
    }
    for (std::uint32_t width : {0u, 5u}) {
        VxImage image;
        EXPECT_EQ(image.Create(width, 5 - width, 8, kVxTypeUnknown), nullptr);
        EXPECT_STREQ(image.LastError(), "VxImage::Create : width and height must be greater than zero");
    }
    // A new picture drops the old planes; the selection box is the empty one.
    TestImage image(4, 3, 8, kVxTypeUnknown);
    image.InstallPlanes(1, 200);
    ASSERT_NE(image.Create(6, 5, 24, kVxTypeUnknown), nullptr);
    EXPECT_EQ((std::vector<void*>{image.Selection(), image.Alpha()}), std::vector<void*>(2, nullptr));
    EXPECT_EQ(SelectionBox(image), (std::vector<int>{6, 0, 0, 5}));
}

TEST(VxImageSettings, DpiTransparencyCodecOptionsAndLastError)
{
    VxImage image(2, 2, 4, kVxTypeGif);
    image.SetXDpi(-5); // refused: the default stays
    EXPECT_EQ(image.XDpi(), 96);
    image.SetXDpi(300);
    image.SetYDpi(72);
    BITMAPINFOHEADER stored; // the block's copy of the header follows
    std::memcpy(&stored, image.DibAddress(), sizeof(stored));
    EXPECT_EQ((std::vector<LONG>{stored.biXPelsPerMeter, stored.biYPelsPerMeter}), (std::vector<LONG>{11811, 2835}));
    image.SetXDpi(0x7FFFFFFF); // would overflow the header field: saturates
    EXPECT_EQ(image.Header().biXPelsPerMeter, 0x7FFFFFFF);

    for (auto [set, got] : {std::pair{15, 15}, {16, 0}, {-1, -1}}) {
        image.SetTransparentIndex(set);
        EXPECT_EQ(image.TransparentIndex(), got) << set;
    }
    VxImage rgb(2, 2, 24, kVxTypeUnknown);
    rgb.SetTransparentColour(Rgb(1, 2, 3, 99));
    EXPECT_TRUE(SameQuad(rgb.TransparentColour(), Rgb(1, 2, 3, 0)));

    for (std::uint32_t slot = 0; slot < kVxCodecOptionSlots; ++slot)
        image.Info().codecOptions[slot] = 100 + slot;
    // One slot per format code, none for the codes in between: those fall back to the
    // image's own type (GIF).
    const std::uint32_t codes[] = {1, 2, 3, 5, 7, 8, 9, 10, 18, 4, 19, kVxTypeUnknown};
    const std::uint32_t slots[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 2, 2, 2};
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(image.CodecOption(codes[i]), 100 + slots[i]) << codes[i];

    EXPECT_EQ(VxImage::QuadToColorRef(RGBQUAD{0x11, 0x22, 0x33, 0x44}), 0x00112233u);
    image.SetLastError(std::string(400, 'x').c_str());
    EXPECT_EQ(std::string(image.LastError()), std::string(255, 'x'));
    image.SetLastError(nullptr);
    EXPECT_STREQ(image.LastError(), "");
}

TEST(VxImagePixels, OutsideTheImageAndWithoutPixels)
{
    VxImage image(4, 2, 4, kVxTypeUnknown);
    image.Clear(0);
    image.RowAddress(0)[0] = 0xAB;
    // No transparent index: the first pixel's index, not the whole first byte.
    for (auto [x, y] : {std::pair{-1, 0}, {4, 0}, {0, 2}})
        EXPECT_EQ(image.PixelIndex(x, y), 0xA) << x << "," << y;
    image.SetTransparentIndex(3);
    EXPECT_EQ(image.PixelIndex(0, -1), 3);
    image.SetPixelIndex(4, 0, 5); // outside: ignored
    image.SetPixelIndex(-1, 0, 5);
    EXPECT_EQ(image.RowAddress(0)[0], 0xAB);
    EXPECT_EQ(VxImage(2, 2, 24, kVxTypeUnknown).PixelIndex(0, 0), 0);

    // Every call is safe on an image without pixels.
    VxImage empty(kVxTypeUnknown);
    empty.SetTransparentColour(Rgb(1, 2, 3));
    empty.SetPixelIndex(0, 0, 1);
    empty.SetPixelColour(0, 0, Rgb(9, 9, 9));
    empty.Clear(7);
    empty.SetPalette(static_cast<const RGBQUAD*>(nullptr), 4);
    empty.SetPaletteEntry(0, 1, 2, 3);
    EXPECT_TRUE(SameQuad(empty.PixelColour(0, 0), Rgb(1, 2, 3)));
    EXPECT_TRUE(SameQuad(empty.PaletteEntry(0), Rgb(0, 0, 0)));
    EXPECT_TRUE(!empty.RowAddress(0) && !empty.PixelAddress24(0, 0));
    EXPECT_EQ(empty.PixelIndex(0, 0) + empty.NearestIndex(Rgb(1, 1, 1)), 0);
}

// Colours at 24 bits and through the palette (the nearest entry), outside the picture, and the
// fourth byte from the alpha plane or the transparent colour.
TEST(VxImagePixels, ColoursAt24BitsAndThroughThePalette)
{
    TestImage image(3, 2, 24, kVxTypeUnknown);
    image.Clear(0);
    image.SetPixelColour(1, 1, Rgb(200, 100, 50, 7));
    image.SetPixelColour(3, 0, Rgb(1, 1, 1)); // outside: ignored
    EXPECT_EQ(image.RowAddress(0)[9], 0);
    // Outside, without a transparent index: the colour of pixel (0, 0), with its alpha.
    image.SetPixelColour(0, 0, Rgb(10, 20, 30));
    EXPECT_TRUE(SameQuad(image.PixelColour(-1, 0), Rgb(10, 20, 30)));
    // Without alpha the fourth byte is the transparent colour's.
    image.Info().transparentColour.rgbReserved = 9;
    EXPECT_TRUE(SameQuad(image.PixelColour(1, 1), Rgb(200, 100, 50, 9)));
    EXPECT_TRUE(SameQuad(image.PixelColourUnchecked(1, 1, true), Rgb(200, 100, 50, 0)));
    image.InstallPlanes(0, 77); // the plane's level wins over the transparent colour's
    EXPECT_TRUE(SameQuad(image.PixelColour(5, 5), Rgb(10, 20, 30, 77)));
    image.SetTransparentColour(Rgb(1, 2, 3));
    image.Info().transparentIndex = 0;
    EXPECT_TRUE(SameQuad(image.PixelColour(-1, 0), Rgb(1, 2, 3)));

    VxImage indexed(2, 1, 8, kVxTypeUnknown);
    indexed.SetPaletteEntry(1, 250, 0, 0, 5);
    indexed.SetPaletteEntry(2, 0, 0, 250);
    indexed.SetPixelColour(0, 0, Rgb(240, 10, 10, 99));
    indexed.SetPixelColour(1, 0, Rgb(0, 0, 200));
    EXPECT_EQ(RowIndices(indexed, 0), (std::vector<int>{1, 2}));
    EXPECT_TRUE(SameQuad(indexed.PixelColour(0, 0), Rgb(250, 0, 0, 5)));
    indexed.SetTransparentIndex(1);
    EXPECT_TRUE(SameQuad(indexed.PixelColour(2, 0), Rgb(250, 0, 0, 5))); // outside: the transparent entry
}

TEST(VxImagePalette, EntriesBulkSettersAndNearestIndex)
{
    VxImage image(2, 2, 4, kVxTypeUnknown);
    image.SetPaletteEntry(3, 10, 20, 30, 40);
    image.SetPaletteEntry(16, 1, 1, 1); // past the palette: ignored
    EXPECT_TRUE(SameQuad(image.PaletteEntry(16), Rgb(0, 0, 0)));
    std::uint8_t r = 1, g = 1, b = 1;
    EXPECT_TRUE(image.PaletteEntryParts(3, r, g, b));
    EXPECT_EQ((std::vector<int>{r, g, b}), (std::vector<int>{10, 20, 30}));
    EXPECT_FALSE(image.PaletteEntryParts(200, r, g, b) || VxImage(2, 2, 24, 0).PaletteEntryParts(0, r, g, b));

    RGBQUAD quads[300];
    for (int i = 0; i < 300; ++i)
        quads[i] = Rgb(static_cast<std::uint8_t>(i), 1, 2, 3);
    image.SetPalette(quads, 300); // longer than the palette: cut to 16 entries
    EXPECT_TRUE(SameQuad(image.PaletteEntry(15), Rgb(15, 1, 2, 3)));

    std::uint8_t levels[40];
    for (int i = 0; i < 40; ++i)
        levels[i] = static_cast<std::uint8_t>(i * 5);
    image.SetPalette(40, levels, nullptr, nullptr);
    EXPECT_TRUE(SameQuad(image.PaletteEntry(15), Rgb(75, 75, 75, 3)));
    const std::uint8_t greens[16] = {9};
    image.SetPalette(16, levels, greens, nullptr);
    EXPECT_TRUE(SameQuad(image.PaletteEntry(0), Rgb(0, 9, 9, 3)));

    // NearestIndex: a tie goes to the lower index, and a palette write invalidates the
    // cached answer.
    VxImage eight(2, 2, 8, kVxTypeUnknown);
    for (int i = 0; i < 256; ++i)
        eight.SetPaletteEntry(static_cast<std::uint8_t>(i), 255, 255, 255);
    eight.SetPaletteEntry(3, 10, 20, 30);
    eight.SetPaletteEntry(5, 10, 20, 30);
    EXPECT_EQ(eight.NearestIndex(Rgb(11, 21, 31)), 3);
    eight.SetPaletteEntry(7, 11, 21, 31);
    EXPECT_EQ(eight.NearestIndex(Rgb(11, 21, 31)), 7);

    // The search covers the important colours only, and a count from a file larger than the
    // palette is cut to the palette: the pixel bytes right after it would match exactly.
    TestImage four(2, 2, 4, kVxTypeUnknown);
    for (int i = 0; i < 16; ++i)
        four.SetPaletteEntry(static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i * 16), 0, 0);
    four.MutableHeader().biClrImportant = 4;
    EXPECT_EQ(four.NearestIndex(Rgb(240, 0, 0)), 3);
    four.MutableHeader().biClrImportant = 1000;
    const RGBQUAD past = Rgb(250, 0, 0);
    std::memcpy(four.RowAddress(0), &past, sizeof(past));
    EXPECT_EQ(four.NearestIndex(past), 15);
}

TEST(VxImageLifeCycle, CopyFrom)
{
    TestImage source(5, 3, 8, kVxTypePcx);
    for (int i = 0; i < 256; ++i)
        source.SetPaletteEntry(static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i), 1, 2);
    source.SetPixelIndex(4, 2, 99);
    source.InstallPlanes(1, 128);
    source.Info().selectionBox = {1, 3, 4, 0};
    source.InstallFrames(2);

    TestImage copy(source, true, true, true);
    ASSERT_TRUE(copy.IsValid() && copy.Selection() && copy.Alpha()); // a shared block would be freed twice
    EXPECT_EQ(std::memcmp(copy.DibAddress(), source.DibAddress(), source.DibSize()), 0);
    EXPECT_EQ(copy.Alpha()[14], 128);
    EXPECT_EQ(SelectionBox(copy), (std::vector<int>{1, 3, 4, 0}));
    EXPECT_EQ(copy.Frames(), nullptr); // frames are never copied

    TestImage bare(source, false, false, false);
    EXPECT_EQ((std::vector<void*>{bare.Selection(), bare.Alpha()}), std::vector<void*>(2, nullptr));
    EXPECT_TRUE(SameQuad(bare.PaletteEntry(200), source.PaletteEntry(200)));

    // CopyInfoFrom takes the type only into an image without pixels.
    VxImage tga(2, 2, 24, kVxTypeTga), empty, full(2, 2, 24, kVxTypeBmp);
    tga.SetXDpi(200);
    empty.CopyInfoFrom(tga);
    full.CopyInfoFrom(tga);
    EXPECT_EQ((std::vector<std::uint32_t>{std::uint32_t(empty.XDpi()), empty.ImageType(), full.ImageType()}),
              (std::vector<std::uint32_t>{200, kVxTypeTga, kVxTypeBmp}));
    EXPECT_EQ(empty.Info().bits, nullptr);
}

// The target frees its own buffers (LeakSanitizer checks) and takes the source's, frames
// included when asked; the source is left empty.
TEST(VxImageLifeCycle, TakeOverMovesEverythingAndAnAliasFreesNothing)
{
    TestImage source(4, 4, 24, kVxTypeGif), target(2, 2, 8, kVxTypeUnknown);
    source.InstallPlanes(1, 2);
    source.InstallFrames(3);
    target.InstallFrames(1);
    std::uint8_t* pixels = source.DibAddress();
    ASSERT_TRUE(target.TakeOver(source, true));
    EXPECT_EQ(target.DibAddress(), pixels);
    EXPECT_EQ((std::vector<int>{target.Width(), target.FrameCount()}), (std::vector<int>{4, 3}));
    EXPECT_FALSE(source.IsValid() || source.Width() != 0 || source.Frames() != nullptr);

    // Without frames each keeps its own, so the source still frees its two.
    TestImage gif(4, 4, 8, kVxTypeGif);
    gif.InstallFrames(2);
    VxImage** targetFrames = target.Frames();
    ASSERT_TRUE(target.TakeOver(gif, false));
    EXPECT_EQ(target.Frames(), targetFrames); // and the source's, were they dropped, would leak
    EXPECT_EQ((std::vector<int>{target.FrameCount(), gif.FrameCount()}), (std::vector<int>{3, 2}));

    // An alias borrows every buffer of its owner and refuses whatever would free them.
    TestImage owner(3, 3, 8, kVxTypeBmp);
    owner.SetPixelIndex(1, 1, 42);
    owner.InstallPlanes(1, 255);
    owner.InstallFrames(1);

    auto* alias = new TestImage(kVxTypeUnknown);
    alias->MakeAlias(&owner);
    EXPECT_EQ((std::vector<const void*>{alias->Info().aliasOf, alias->DibAddress(), alias->Alpha(), alias->Frames()}),
              (std::vector<const void*>{&owner, owner.DibAddress(), owner.Alpha(), owner.Frames()}));

    EXPECT_FALSE(alias->Destroy() || alias->DestroyFrames());
    EXPECT_EQ(alias->Create(2, 2, 24, kVxTypeUnknown), nullptr);
    TestImage other(2, 2, 24, kVxTypeUnknown);
    EXPECT_FALSE(alias->TakeOver(other, true));
    EXPECT_TRUE(other.IsValid());
    alias->CopyFrom(other, true, false, false); // refused: it would free borrowed buffers
    EXPECT_EQ(alias->DibAddress(), owner.DibAddress());
    {
        VxImage copy(*alias, true, true, true); // a copy of an alias is an alias of it
        EXPECT_EQ(copy.Info().aliasOf, alias);
    }
    delete alias;
    // The owner's buffers are intact after the alias is gone.
    EXPECT_EQ((std::vector<int>{owner.PixelIndex(1, 1), owner.Alpha()[8], owner.FrameCount()}),
              (std::vector<int>{42, 255, 1}));

    TestImage image(8, 8, 8, kVxTypeUnknown);
    image.InstallPlanes(1, 1);
    image.InstallFrames(2);
    image.MakeAlias(&owner); // its own buffers are freed first (LeakSanitizer checks)
    image.MakeAlias(nullptr);
    image.MakeAlias(&image);
    EXPECT_EQ(image.Info().aliasOf, &owner);
}

} // namespace
