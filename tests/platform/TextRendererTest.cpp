// The text renderers measured and rendered against what GDI reports for Tahoma: extents for
// several sizes and weights, DrawTextW's line breaking, clipping, alignment, underline,
// strike-out and slant. FreeType runs everywhere; on Windows GDI runs the same cases, and
// the program's mark drawn by both must agree.
#include "image/TextMark.h"
#include "image/VxImage.h"
#include "platform/portable/FreeTypeTextRenderer.h"
#if defined(_WIN32)
#include "platform/win32/GdiTextRenderer.h"
#endif

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
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

#if defined(_WIN32)
// Without fontconfig the FreeType renderer is handed Tahoma's files directly.
bool ResolveTahoma(const LOGFONTW& font, vx::FontFile& file)
{
    file.path = (TahomaFolder() / (font.lfWeight >= 600 ? "tahomabd.ttf" : "tahoma.ttf")).string();
    file.faceIndex = 0;
    return true;
}
#else
bool ResolveTahoma(const LOGFONTW& font, vx::FontFile& file)
{
    return vx::ResolveWithFontconfig(font, file);
}
#endif

vx::TextRenderer& FreeTypeRenderer()
{
    static vx::FreeTypeTextRenderer renderer(ResolveTahoma);
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

// A black-initialised 24-bit target laid out as a bottom-up DIB, read with top-down rows.
struct Canvas {
    std::int32_t width, height;
    std::uint32_t stride;
    std::vector<std::uint8_t> bytes;
    Canvas(std::int32_t w, std::int32_t h)
        : width(w), height(h), stride(((24 * w + 31) / 32) * 4), bytes(std::size_t(stride) * h, 0x55)
    {}
    vx::Rgb24Bitmap Bitmap() { return {bytes.data(), width, height, stride}; }
    const std::uint8_t* Pixel(int x, int row) const { return &bytes[std::size_t(height - 1 - row) * stride + 3 * x]; }
    bool Lit(int x, int row) const { return Pixel(x, row)[0] >= 127; }
    int LitInColumns(int row, int from, int to) const
    {
        int n = 0;
        for (int x = from; x < to; ++x)
            n += Lit(x, row);
        return n;
    }
};

struct Bounds {
    int left = 1 << 30, right = -1, top = 1 << 30, bottom = -1;
};
Bounds LitBounds(const Canvas& canvas)
{
    Bounds b;
    for (int row = 0; row < canvas.height; ++row)
        for (int x = 0; x < canvas.width; ++x)
            if (canvas.Pixel(x, row)[0] != 0) {
                b.left = std::min(b.left, x);
                b.right = std::max(b.right, x);
                b.top = std::min(b.top, row);
                b.bottom = std::max(b.bottom, row);
            }
    return b;
}

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
        auto surface = Open(font);
        if (surface) {
            EXPECT_TRUE(surface->Render(text, boxWidth < 0 ? width : boxWidth, boxHeight < 0 ? height : boxHeight,
                                        align, canvas.Bitmap()));
        }
        return canvas;
    }
};

struct ExtentCase {
    LONG height;
    LONG weight;
    BYTE italic;
    int width, lineHeight;
};

TEST_P(TextRendererTest, ExtentsMatchGdiForTahoma)
{
    // Measured with DrawTextW(DT_CALCRECT) on "Vantry".
    const ExtentCase cases[] = {
        {-24, FW_NORMAL, 0, 72, 29},    {24, FW_NORMAL, 0, 60, 24}, {0, FW_NORMAL, 0, 37, 16},
        {-11, FW_NORMAL, 0, 34, 13},    {13, FW_NORMAL, 0, 34, 13}, {-48, FW_NORMAL, 0, 139, 58},
        {-100, FW_NORMAL, 0, 289, 121}, {-24, FW_BOLD, 0, 83, 29},  {-24, FW_NORMAL, 1, 72, 29},
    };
    for (const ExtentCase& c : cases) {
        LOGFONTW font = Font(c.height);
        font.lfWeight = c.weight;
        font.lfItalic = c.italic;
        auto surface = Open(font);
        ASSERT_TRUE(surface);
        const vx::TextExtent extent = surface->Measure(u"Vantry");
        EXPECT_EQ(extent.width, c.width) << "height " << c.height << " weight " << c.weight;
        EXPECT_EQ(extent.height, c.lineHeight) << "height " << c.height << " weight " << c.weight;
    }
    auto surface = Open(Font(-24));
    ASSERT_TRUE(surface);
    EXPECT_EQ(surface->Measure(u"Vantry 2026 \u00A9%").width, 183);
}

TEST_P(TextRendererTest, LinesBreakAsDrawTextBreaksThem)
{
    auto surface = Open(Font(-24));
    ASSERT_TRUE(surface);
    const struct {
        const char16_t* text;
        int width, lines;
    } cases[] = {
        {u"", 0, 1},          {u"ab", 27, 1},       {u"ab\r", 27, 1}, {u"ab\rcd", 27, 2},   {u"ab\r\ncd", 27, 2},
        {u"ab\n\rcd", 27, 2}, {u"ab\r\rcd", 27, 3}, {u"\rab", 27, 2}, {u"ab\ncd\n", 27, 2}, {u"ab&cd", 70, 1},
    };
    for (const auto& c : cases) {
        const vx::TextExtent extent = surface->Measure(c.text);
        EXPECT_EQ(extent.width, c.width) << std::u16string(c.text).size();
        EXPECT_EQ(extent.height, 29 * c.lines) << std::u16string(c.text).size();
    }
}

TEST_P(TextRendererTest, RendersWhiteGreyOnBlackInsideTheRectangleOnly)
{
    const Canvas full = Render(Font(-24), u"Vantry", 90, 35, DT_LEFT, 72, 29);
    const Bounds b = LitBounds(full);
    EXPECT_GE(b.left, 0);
    EXPECT_LE(b.right, 71);
    EXPECT_GE(b.top, 3);
    EXPECT_LE(b.bottom, 28);
    for (int row = 0; row < full.height; ++row)
        for (int x = 0; x < full.width; ++x) {
            const std::uint8_t* p = full.Pixel(x, row);
            EXPECT_TRUE(p[0] == p[1] && p[1] == p[2]);
        }

    const Canvas clipped = Render(Font(-24), u"Vantry", 90, 35, DT_LEFT, 30, 20);
    const Bounds c = LitBounds(clipped);
    EXPECT_LE(c.right, 29);
    EXPECT_LE(c.bottom, 19);
    EXPECT_GT(clipped.LitInColumns(10, 0, 30), 0);
}

TEST_P(TextRendererTest, AlignsEachLineInTheRectangle)
{
    const Canvas right = Render(Font(-24), u"Vantry", 200, 29, DT_RIGHT);
    const Bounds r = LitBounds(right);
    EXPECT_GE(r.left, 200 - 72);
    EXPECT_LE(r.right, 199);
    EXPECT_GE(r.right, 190);

    const Canvas centre = Render(Font(-24), u"Vantry", 200, 29, DT_CENTER);
    const Bounds c = LitBounds(centre);
    EXPECT_GE(c.left, 64);
    EXPECT_LE(c.right, 64 + 71);

    // Second line "ab" centred under the first: its pixels start at (200 - 27) / 2.
    const Canvas twoLines = Render(Font(-24), u"Vantry\rab", 200, 58, DT_CENTER);
    int firstLit = -1;
    for (int x = 0; x < 200 && firstLit < 0; ++x)
        for (int row = 29; row < 58; ++row)
            if (twoLines.Lit(x, row)) {
                firstLit = x;
                break;
            }
    EXPECT_GE(firstLit, 86);
    EXPECT_LE(firstLit, 90);
}

TEST_P(TextRendererTest, UnderlineAndStrikeOutDrawBarsAcrossTheLine)
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
            rows += canvas.LitInColumns(row, 0, 72) >= 70;
        return rows;
    };
    EXPECT_EQ(fullRows(plain, 0, 29), 0);
    EXPECT_GE(fullRows(underlined, 24, 29), 1); // below the baseline (ascent 24)
    EXPECT_EQ(fullRows(underlined, 0, 24), 0);
    EXPECT_GE(fullRows(struck, 10, 22), 1);
    EXPECT_EQ(fullRows(struck, 22, 29), 0);
}

TEST_P(TextRendererTest, ItalicLeansRightWithinTheSameAdvance)
{
    LOGFONTW font = Font(-24);
    const Canvas upright = Render(font, u"l", 40, 29);
    font.lfItalic = 1;
    const Canvas slanted = Render(font, u"l", 40, 29);
    // The stem's top moves right against its bottom.
    auto firstLit = [](const Canvas& canvas, int row) {
        for (int x = 0; x < canvas.width; ++x)
            if (canvas.Lit(x, row))
                return x;
        return -1;
    };
    EXPECT_EQ(firstLit(upright, 10), firstLit(upright, 22));
    EXPECT_GE(firstLit(slanted, 10), firstLit(slanted, 22) + 2);
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

vx::TextRenderer& FreeType()
{
    return FreeTypeRenderer();
}
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

    VxImage picture(20, 20, 24, kVxTypeUnknown);
    TextMark mark{};
    mark.text[0] = u'x';
    mark.font = Font(-24);
    EXPECT_EQ(picture.DrawTextMark(none, nullptr, 0, 10, &mark, false), 0);
}

TEST(FreeTypeTextRenderer, HugeHeightsAreLimitedToTheLargestEm)
{
    if (!TahomaInstalled())
        GTEST_SKIP() << "Tahoma is not installed (fonts-wine)";
    auto surface = FreeTypeRenderer().Open(nullptr, Font(-2147483647 - 1));
    ASSERT_TRUE(surface);
    EXPECT_GT(surface->Measure(u"x").height, 65535);
}

#if !defined(_WIN32)
TEST(FreeTypeTextRenderer, FontconfigFindsWineTahomaAndFallsBackToDejaVu)
{
    if (!TahomaInstalled())
        GTEST_SKIP() << "Tahoma is not installed (fonts-wine)";
    vx::FontFile file;
    LOGFONTW font = Font(-24);
    ASSERT_TRUE(vx::ResolveWithFontconfig(font, file));
    EXPECT_EQ(std::filesystem::path(file.path).filename(), "tahoma.ttf");
    font.lfWeight = FW_BOLD;
    ASSERT_TRUE(vx::ResolveWithFontconfig(font, file));
    EXPECT_EQ(std::filesystem::path(file.path).filename(), "tahomabd.ttf");

    font = Font(-24, u"No Such Face Anywhere");
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

#if defined(_WIN32)
// Draws `mark` with each renderer on the same picture (a colour ramp with no pure red) and
// returns the share, in percent, of the pixels changed by either that differ between the two.
double DifferingShare(const TextMark& mark, int& changed)
{
    auto draw = [&](vx::TextRenderer& renderer) {
        auto picture = std::make_unique<VxImage>(320, 120, 24, kVxTypeUnknown);
        for (int y = 0; y < 120; ++y)
            for (int x = 0; x < 320; ++x)
                picture->SetPixelColour(x, y, RGBQUAD{BYTE(x * 3), BYTE(y * 2), 40, 0});
        auto original = std::make_unique<VxImage>(*picture, true, false, false);
        TextMark copy = mark;
        EXPECT_EQ(picture->DrawTextMark(renderer, nullptr, 30, 80, &copy, false), 1);
        return std::make_pair(std::move(picture), std::move(original));
    };
    const auto [byGdi, original] = draw(Gdi());
    const auto [byFreeType, unused] = draw(FreeType());
    auto same = [](RGBQUAD a, RGBQUAD b) {
        return a.rgbRed == b.rgbRed && a.rgbGreen == b.rgbGreen && a.rgbBlue == b.rgbBlue;
    };
    int either = 0, differing = 0;
    for (int y = 0; y < 120; ++y)
        for (int x = 0; x < 320; ++x) {
            const RGBQUAD before = original->PixelColour(x, y, false);
            const RGBQUAD a = byGdi->PixelColour(x, y, false), b = byFreeType->PixelColour(x, y, false);
            if (same(a, before) && same(b, before))
                continue;
            ++either;
            differing += !same(a, b);
        }
    changed = either;
    return either ? 100.0 * differing / either : 0.0;
}

TextMark ProgramMark(const char16_t* text)
{
    TextMark mark{};
    std::u16string_view view(text);
    std::copy(view.begin(), view.end(), mark.text);
    mark.font = Font(-24);
    mark.textColour = RGB(255, 0, 0);
    mark.boxColour = RGB(32, 96, 0);
    mark.cornerRadius = 20;
    return mark;
}

// The program's mark drawn on one picture by GDI and by FreeType: equal masks, and at most 5%
// of the glyph pixels set by one renderer and not by the other.
TEST(TextRendererAgreement, GdiAndFreeTypeDrawTheProgramsMarkAlike)
{
    if (!TahomaInstalled())
        GTEST_SKIP() << "Tahoma is not installed";
    const TextMark mark = ProgramMark(u"Vantry 2026 \u00A9%");
    auto gdiSurface = Gdi().Open(nullptr, mark.font);
    auto freeTypeSurface = FreeType().Open(nullptr, mark.font);
    ASSERT_TRUE(gdiSurface && freeTypeSurface);
    const vx::TextExtent gdiExtent = gdiSurface->Measure(mark.text);
    const vx::TextExtent freeTypeExtent = freeTypeSurface->Measure(mark.text);
    EXPECT_EQ(gdiExtent.width, freeTypeExtent.width);
    EXPECT_EQ(gdiExtent.height, freeTypeExtent.height);

    int changed = 0;
    const double share = DifferingShare(mark, changed);
    RecordProperty("differing_glyph_pixels_percent", std::to_string(share));
    std::printf("glyph pixels: %d, differing: %.2f%%\n", changed, share);
    ASSERT_GT(changed, 500);
    EXPECT_LE(share, 5.0);
}

// The other styles a mark can have stay as close.
TEST(TextRendererAgreement, GdiAndFreeTypeAgreeOnOtherStyles)
{
    if (!TahomaInstalled())
        GTEST_SKIP() << "Tahoma is not installed";
    struct Variant {
        const char* name;
        void (*apply)(TextMark&);
    };
    const Variant variants[] = {
        {"smooth", [](TextMark& m) { m.smooth = true; }},
        {"bold", [](TextMark& m) { m.font.lfWeight = FW_BOLD; }},
        {"italic", [](TextMark& m) { m.font.lfItalic = 1; }},
        {"underline, strike-out", [](TextMark& m) { m.font.lfUnderline = m.font.lfStrikeOut = 1; }},
        {"cell height 24", [](TextMark& m) { m.font.lfHeight = 24; }},
        {"two lines centred",
         [](TextMark& m) {
             std::memcpy(m.text, u"Vantry\r2026 \u00A9%", sizeof(u"Vantry\r2026 \u00A9%"));
             m.align = 1;
         }},
        {"boxed, half opaque",
         [](TextMark& m) {
             m.boxed = true;
             m.boxOpacity = 0.5f;
             m.smooth = true;
         }},
    };
    for (const Variant& variant : variants) {
        TextMark mark = ProgramMark(u"Vantry 2026 \u00A9%");
        variant.apply(mark);
        int changed = 0;
        const double share = DifferingShare(mark, changed);
        std::printf("%s: changed pixels %d, differing %.2f%%\n", variant.name, changed, share);
        EXPECT_GT(changed, 500) << variant.name;
        EXPECT_LE(share, 5.0) << variant.name;
    }
}
#endif

} // namespace
