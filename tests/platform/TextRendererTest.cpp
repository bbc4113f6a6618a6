// The text renderers against what GDI reports for Tahoma: extents for several sizes and
// weights, DrawTextW's line breaking, clipping, alignment, underline, strike-out and slant.
// FreeType runs everywhere; on Windows GDI runs the same cases. (The glyphs themselves, drawn
// by both, are compared in the metafile players' agreement test, whose text records ask for Tahoma.)
#include "platform/portable/FreeTypeTextRenderer.h"
#if defined(_WIN32)
#include "platform/win32/GdiTextRenderer.h"
#endif

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

std::filesystem::path TahomaFolder()
{
#if defined(_WIN32)
    const char* windows = std::getenv("WINDIR");
    return windows ? std::filesystem::path(windows) / "Fonts" : std::filesystem::path();
#else
    return "/usr/share/wine/fonts";
#endif
}

bool TahomaInstalled()
{
    return std::filesystem::exists(TahomaFolder() / "tahoma.ttf");
}

vx::TextRenderer& FreeType()
{
#if defined(_WIN32)
    // Without fontconfig the renderer is handed Tahoma's files directly.
    static vx::FreeTypeTextRenderer renderer([](const LOGFONTW& font, vx::FontFile& file) {
        file.path = (TahomaFolder() / (font.lfWeight >= 600 ? "tahomabd.ttf" : "tahoma.ttf")).string();
        file.faceIndex = 0;
        return true;
    });
#else
    static vx::FreeTypeTextRenderer renderer(vx::ResolveWithFontconfig);
#endif
    return renderer;
}

LOGFONTW Font(LONG height, const char16_t* face = u"Tahoma")
{
    LOGFONTW font{};
    font.lfHeight = height;
    font.lfWeight = FW_NORMAL;
    font.lfQuality = 2;
    std::memcpy(font.lfFaceName, face, std::char_traits<char16_t>::length(face) * 2);
    return font;
}

// A 24-bit target laid out as a bottom-up DIB, filled with 0x55 so that Render must clear
// it; read with top-down rows.
struct Canvas {
    std::int32_t width, height;
    std::uint32_t stride;
    std::vector<std::uint8_t> bytes;
    Canvas(std::int32_t w, std::int32_t h)
        : width(w), height(h), stride(((24 * w + 31) / 32) * 4), bytes(std::size_t(stride) * h, 0x55)
    {}
    vx::Rgb24Bitmap Bitmap() { return {bytes.data(), width, height, stride}; }
    const std::uint8_t* Pixel(int x, int row) const { return &bytes[std::size_t(height - 1 - row) * stride + 3 * x]; }
    int LitInRow(int row) const
    {
        int n = 0;
        for (int x = 0; x < width; ++x)
            n += Pixel(x, row)[0] >= 127;
        return n;
    }
    // {left, right, top, bottom} of the pixels at least `level` bright in rows [fromRow, toRow).
    std::array<int, 4> Bounds(int level = 1, int fromRow = 0, int toRow = INT_MAX) const
    {
        std::array<int, 4> b{INT_MAX, -1, INT_MAX, -1};
        for (int row = fromRow; row < std::min(toRow, height); ++row)
            for (int x = 0; x < width; ++x)
                if (Pixel(x, row)[0] >= level)
                    b = {std::min(b[0], x), std::max(b[1], x), std::min(b[2], row), std::max(b[3], row)};
        return b;
    }
    int FirstLit(int fromRow, int toRow) const { return Bounds(127, fromRow, toRow)[0]; }
};

using RendererFactory = vx::TextRenderer& (*)();

class TextRendererTest : public ::testing::TestWithParam<RendererFactory> {
protected:
    void SetUp() override
    {
        if (!TahomaInstalled())
            GTEST_SKIP() << "Tahoma is not installed (fonts-wine)";
    }
    std::unique_ptr<vx::TextSurface> Open(const LOGFONTW& font)
    {
        auto surface = GetParam()().Open(nullptr, font);
        EXPECT_TRUE(surface);
        return surface;
    }
    Canvas Render(const LOGFONTW& font, std::u16string_view text, int width, int height, UINT align = DT_LEFT,
                  int boxWidth = -1, int boxHeight = -1)
    {
        Canvas canvas(width, height);
        if (auto surface = Open(font)) {
            EXPECT_TRUE(surface->Render(text, boxWidth < 0 ? width : boxWidth, boxHeight < 0 ? height : boxHeight,
                                        align, canvas.Bitmap()));
        }
        return canvas;
    }
};

TEST_P(TextRendererTest, ExtentsAndLineBreaksMatchGdi)
{
    // Measured with DrawTextW(DT_CALCRECT); lines break at CR, LF, CR LF and LF CR.
    const struct {
        LONG lfHeight, weight;
        BYTE italic;
        const char16_t* text;
        int width, height;
    } cases[] = {
        {-24, FW_NORMAL, 0, u"Vantry", 72, 29},   {24, FW_NORMAL, 0, u"Vantry", 60, 24},
        {0, FW_NORMAL, 0, u"Vantry", 37, 16},     {-100, FW_NORMAL, 0, u"Vantry", 289, 121},
        {-24, FW_BOLD, 0, u"Vantry", 83, 29},     {-24, FW_NORMAL, 1, u"Vantry", 72, 29},
        {-24, FW_NORMAL, 0, u"Vantry 2026 \u00A9%", 183, 29}, {-24, FW_NORMAL, 0, u"", 0, 29},
        {-24, FW_NORMAL, 0, u"ab\rcd", 27, 58},   {-24, FW_NORMAL, 0, u"ab\r\ncd", 27, 58},
        {-24, FW_NORMAL, 0, u"ab\n\rcd", 27, 58}, {-24, FW_NORMAL, 0, u"ab\r\rcd", 27, 87},
        {-24, FW_NORMAL, 0, u"\rab", 27, 58},     {-24, FW_NORMAL, 0, u"ab\ncd\n", 27, 58},
        {-24, FW_NORMAL, 0, u"ab&cd", 70, 29},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
        LOGFONTW font = Font(c.lfHeight);
        font.lfWeight = c.weight;
        font.lfItalic = c.italic;
        auto surface = Open(font);
        ASSERT_TRUE(surface);
        const vx::TextExtent extent = surface->Measure(c.text);
        EXPECT_EQ(extent.width, c.width);
        EXPECT_EQ(extent.height, c.height);
    }
}

TEST_P(TextRendererTest, RendersWhiteGreyOnBlackInsideTheRectangleAlignedPerLine)
{
    const Canvas full = Render(Font(-24), u"Vantry", 90, 35, DT_LEFT, 72, 29);
    const auto [left, right, top, bottom] = full.Bounds();
    EXPECT_LE(right, 71);
    EXPECT_GE(top, 3);
    EXPECT_LE(bottom, 28);
    for (int row = 0; row < full.height; ++row)
        for (int x = 0; x < full.width; ++x) {
            const std::uint8_t* p = full.Pixel(x, row);
            EXPECT_TRUE(p[0] == p[1] && p[1] == p[2]);
        }

    const Canvas clipped = Render(Font(-24), u"Vantry", 90, 35, DT_LEFT, 30, 20);
    EXPECT_LE(clipped.Bounds()[1], 29);
    EXPECT_LE(clipped.Bounds()[3], 19);
    EXPECT_GT(clipped.LitInRow(10), 0);

    const auto flushRight = Render(Font(-24), u"Vantry", 200, 29, DT_RIGHT).Bounds();
    EXPECT_GE(flushRight[0], 200 - 72);
    EXPECT_LE(flushRight[1], 199);
    EXPECT_GE(flushRight[1], 190);

    // Second line "ab" centred under the first: its pixels start at (200 - 27) / 2.
    const int secondLine = Render(Font(-24), u"Vantry\rab", 200, 58, DT_CENTER).FirstLit(29, 58);
    EXPECT_GE(secondLine, 86);
    EXPECT_LE(secondLine, 90);
}

TEST_P(TextRendererTest, UnderlineAndStrikeOutBarsAndItalicSlant)
{
    LOGFONTW font = Font(-24);
    const Canvas plain = Render(font, u"Vantry", 72, 29);
    font.lfUnderline = 1;
    const Canvas underlined = Render(font, u"Vantry", 72, 29);
    font.lfUnderline = 0;
    font.lfStrikeOut = 1;
    const Canvas struck = Render(font, u"Vantry", 72, 29);

    auto fullRows = [](const Canvas& canvas, int from, int to) {
        int rows = 0;
        for (int row = from; row < to; ++row)
            rows += canvas.LitInRow(row) >= 70;
        return rows;
    };
    EXPECT_EQ(fullRows(plain, 0, 29), 0);
    EXPECT_GE(fullRows(underlined, 24, 29), 1); // below the baseline (ascent 24)
    EXPECT_EQ(fullRows(underlined, 0, 24), 0);
    EXPECT_GE(fullRows(struck, 10, 22), 1);
    EXPECT_EQ(fullRows(struck, 22, 29), 0);

    // Italic: the stem's top moves right against its bottom.
    font = Font(-24);
    const Canvas upright = Render(font, u"l", 40, 29);
    font.lfItalic = 1;
    const Canvas slanted = Render(font, u"l", 40, 29);
    EXPECT_EQ(upright.FirstLit(10, 11), upright.FirstLit(22, 23));
    EXPECT_GE(slanted.FirstLit(10, 11), slanted.FirstLit(22, 23) + 2);
}

TEST_P(TextRendererTest, CharactersOutsideTheFontStillAdvance)
{
    auto surface = Open(Font(-24));
    ASSERT_TRUE(surface);
    EXPECT_GT(surface->Measure(u"\U0001F600").width, 0);
    EXPECT_GT(surface->Measure(u"\xD800").width, 0); // an unpaired surrogate
    Canvas canvas(60, 29);
    EXPECT_TRUE(surface->Render(u"\U0001F600\xDC00x", 60, 29, DT_LEFT, canvas.Bitmap()));
}

// Named after the font, not the renderer's address, so test names stay the same.
std::string Tahoma(const ::testing::TestParamInfo<RendererFactory>&)
{
    return "Tahoma";
}
INSTANTIATE_TEST_SUITE_P(FreeType, TextRendererTest, ::testing::Values(&FreeType), Tahoma);

#if defined(_WIN32)
vx::TextRenderer& Gdi()
{
    static vx::GdiTextRenderer renderer;
    return renderer;
}
INSTANTIATE_TEST_SUITE_P(Gdi, TextRendererTest, ::testing::Values(&Gdi), Tahoma);
#endif

TEST(FreeTypeTextRenderer, NoFontFileMeansNoSurface)
{
    vx::FreeTypeTextRenderer none([](const LOGFONTW&, vx::FontFile&) { return false; });
    EXPECT_FALSE(none.Open(nullptr, Font(-24)));
    vx::FreeTypeTextRenderer broken([](const LOGFONTW&, vx::FontFile& file) {
        file.path = "/no/such/font.ttf";
        return true;
    });
    EXPECT_FALSE(broken.Open(nullptr, Font(-24)));
}

TEST(FreeTypeTextRenderer, HugeHeightsAreLimitedToTheLargestEm)
{
    if (!TahomaInstalled())
        GTEST_SKIP() << "Tahoma is not installed (fonts-wine)";
    auto surface = FreeType().Open(nullptr, Font(-2147483647 - 1));
    ASSERT_TRUE(surface);
    EXPECT_GT(surface->Measure(u"x").height, 65535);
}

#if !defined(_WIN32)
TEST(FreeTypeTextRenderer, FontconfigFallsBackToDejaVu)
{
    if (!TahomaInstalled())
        GTEST_SKIP() << "Tahoma is not installed (fonts-wine)";
    vx::FontFile file;
    const LOGFONTW font = Font(-24, u"No Such Face Anywhere");
    ASSERT_TRUE(vx::ResolveWithFontconfig(font, file));
    if (std::filesystem::path(file.path).filename() != "DejaVuSans.ttf")
        GTEST_SKIP() << "DejaVu Sans is not installed";
    // GDI under Wine falls back to DejaVu Sans as well and measures it so.
    auto surface = vx::SystemTextRenderer().Open(nullptr, font);
    ASSERT_TRUE(surface);
    const vx::TextExtent extent = surface->Measure(u"Vantry");
    EXPECT_EQ(extent.width, 79);
    EXPECT_EQ(extent.height, 28);
}
#endif

} // namespace
