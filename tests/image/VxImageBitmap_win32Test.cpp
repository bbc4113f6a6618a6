// CreateFromBitmap on Windows: a DIB section's pixels arrive unchanged at its own depth, a
// null bitmap is refused, and an alias image refuses to be replaced.
#include "image/VxImage.h"

#include <gtest/gtest.h>


namespace {

// A bottom-up DIB section of the given depth whose bytes count up from `seed`, palette entry
// i being (red i / 2, green 255 - i, blue i).
HBITMAP PatternSection(int width, int height, WORD bits, std::uint8_t seed)
{
    struct {
        BITMAPINFOHEADER header;
        RGBQUAD colours[256];
    } layout{};
    layout.header = {sizeof(BITMAPINFOHEADER), width, height, 1, bits, BI_RGB, 0, 0, 0, 0, 0};
    for (int i = 0; i < 256; ++i)
        layout.colours[i] = RGBQUAD{BYTE(i), BYTE(255 - i), BYTE(i / 2), 0};
    void* pixels = nullptr;
    HBITMAP section =
        CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&layout), DIB_RGB_COLORS, &pixels, nullptr, 0);
    const int stride = ((width * bits + 31) / 32) * 4;
    for (int i = 0; section && i < stride * height; ++i)
        static_cast<std::uint8_t*>(pixels)[i] = static_cast<std::uint8_t>(seed + i);
    return section;
}

TEST(VxImageBitmap, CopiesASectionRowForRowWithItsPaletteAndRefusesNullAndAliases)
{
    for (WORD bits : {24, 8}) {
        SCOPED_TRACE(bits);
        HBITMAP section = PatternSection(5, 3, bits, 7);
        ASSERT_TRUE(section);
        VxImage image;
        ASSERT_TRUE(image.CreateFromBitmap(section, nullptr));
        DeleteObject(section);
        EXPECT_EQ(image.Width() * 100 + image.Height(), 503);
        EXPECT_EQ(image.BitsPerPixel(), bits);
        for (std::uint32_t y = 0; y < 3; ++y)
            for (int i = 0; i < 5 * bits / 8; ++i)
                EXPECT_EQ(image.RowAddress(y)[i], std::uint8_t(7 + y * image.RowStride() + i)) << y << "," << i;
        if (bits == 8) {
            const RGBQUAD entry = image.PaletteEntry(7);
            EXPECT_EQ(entry.rgbBlue * 1000000 + entry.rgbGreen * 1000 + entry.rgbRed, 7248003);
        }
        VxImage source(4, 4, 24, kVxTypeUnknown), alias;
        alias.MakeAlias(&source);
        section = PatternSection(2, 2, bits, 0);
        EXPECT_FALSE(alias.CreateFromBitmap(section));
        DeleteObject(section);
        EXPECT_FALSE(image.CreateFromBitmap(nullptr) || image.IsValid());
    }
}

} // namespace
