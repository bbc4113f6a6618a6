// DrawTextMark: placement, clipping, thresholds, palette pictures, the box with its opacity
// and corner cut, record normalisation and return codes, checked with a scripted text engine
// whose "glyphs" are known pixels; plus the real system engine with Tahoma where installed.
#include "image/TextMark.h"
#include "image/VxImage.h"
#include "platform/TextRenderer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>

namespace {

constexpr RGBQUAD kWhite{255, 255, 255, 0};
constexpr RGBQUAD kBlack{0, 0, 0, 0};
constexpr RGBQUAD kRed{0, 0, 255, 0};

bool SameColour(RGBQUAD a, RGBQUAD b)
{
    return a.rgbRed == b.rgbRed && a.rgbGreen == b.rgbGreen && a.rgbBlue == b.rgbBlue;
}

// Pixel access with rows counted from the top, as the mark's y is.
RGBQUAD TopDown(const VxImage& image, int x, int row)
{
    return image.PixelColour(x, image.Height() - 1 - row, false);
}

// A text engine with a fixed extent. Render lights the whole text box at `fill`, or the
// pixels `paint` chooses (rows counted from the top), and records what it was asked for.
struct ScriptedRenderer : vx::TextRenderer {
    vx::TextExtent extent{20, 30};
    bool canOpen = true;
    bool canRender = true;
    std::uint8_t fill = 255;
    std::function<void(int row, int x, std::uint8_t* pixel)> paint;
    std::u16string renderedText;
    std::int32_t boxWidth = -1, boxHeight = -1, maskWidth = -1, maskHeight = -1;
    UINT align = 99;
    int opened = 0;

    struct Surface : vx::TextSurface {
        ScriptedRenderer& owner;
        explicit Surface(ScriptedRenderer& o) : owner(o) {}
        vx::TextExtent Measure(std::u16string_view) override { return owner.extent; }
        bool Render(std::u16string_view text, std::int32_t w, std::int32_t h, UINT a,
                    const vx::Rgb24Bitmap& target) override
        {
            if (!owner.canRender)
                return false;
            owner.renderedText.assign(text);
            owner.boxWidth = w;
            owner.boxHeight = h;
            owner.align = a;
            owner.maskWidth = target.width;
            owner.maskHeight = target.height;
            for (int row = 0; row < target.height; ++row) {
                std::uint8_t* line = target.bits + std::size_t(target.height - 1 - row) * target.stride;
                for (int x = 0; x < target.width; ++x) {
                    std::uint8_t* p = line + 3 * x;
                    std::memset(p, 0, 3);
                    if (owner.paint)
                        owner.paint(row, x, p);
                    else if (x < w && row < h)
                        std::memset(p, owner.fill, 3);
                }
            }
            return true;
        }
    };
    std::unique_ptr<vx::TextSurface> Open(HDC, const LOGFONTW&) override
    {
        ++opened;
        if (!canOpen)
            return nullptr;
        return std::make_unique<Surface>(*this);
    }
};

// The program's own mark style with the given text.
TextMark RedMark(const char16_t* text = u"Vantry")
{
    TextMark mark{};
    std::u16string_view view(text);
    std::copy(view.begin(), view.end(), mark.text);
    mark.font.lfHeight = -24;
    mark.font.lfWeight = FW_NORMAL;
    mark.font.lfQuality = 2;
    std::memcpy(mark.font.lfFaceName, u"Tahoma", sizeof(u"Tahoma"));
    mark.textColour = RGB(255, 0, 0);
    mark.boxColour = RGB(32, 96, 0);
    mark.cornerRadius = 20;
    return mark;
}

VxImage* Picture(int width, int height, std::uint8_t fill = 255)
{
    auto* image = new VxImage(width, height, 24, kVxTypeUnknown);
    image->Clear(fill);
    return image;
}
using PicturePtr = std::unique_ptr<VxImage>;

// The pixels that differ from `background`: columns [left, right), top-down rows [top, bottom].
struct Area {
    int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1, count = 0;
};
Area ChangedArea(const VxImage& image, RGBQUAD background)
{
    Area area;
    for (int row = 0; row < image.Height(); ++row)
        for (int x = 0; x < image.Width(); ++x)
            if (!SameColour(TopDown(image, x, row), background)) {
                area.left = std::min(area.left, x);
                area.right = std::max(area.right, x + 1);
                area.top = std::min(area.top, row);
                area.bottom = std::max(area.bottom, row);
                ++area.count;
            }
    return area;
}

} // namespace

TEST(DrawTextMark, ReturnsMinusOneWithoutPixelsAndZeroWithoutSurface)
{
    ScriptedRenderer renderer;
    TextMark mark = RedMark();
    VxImage empty;
    EXPECT_EQ(empty.DrawTextMark(renderer, nullptr, 30, 50, &mark, false), -1);
    EXPECT_EQ(renderer.opened, 0);

    PicturePtr picture(Picture(50, 50));
    EXPECT_EQ(picture->DrawTextMark(renderer, nullptr, 0, 40, nullptr, false), 0);
    renderer.canOpen = false;
    EXPECT_EQ(picture->DrawTextMark(renderer, nullptr, 0, 40, &mark, false), 0);
    renderer.canOpen = true;
    renderer.canRender = false;
    EXPECT_EQ(picture->DrawTextMark(renderer, nullptr, 0, 40, &mark, false), 0);
    EXPECT_EQ(ChangedArea(*picture, kWhite).count, 0);
}

TEST(DrawTextMark, MaskBottomRowLandsOnRowYCountedFromTheTop)
{
    ScriptedRenderer renderer; // a solid 20 x 30 block of text
    TextMark mark = RedMark();
    PicturePtr picture(Picture(100, 100));
    ASSERT_EQ(picture->DrawTextMark(renderer, nullptr, 30, 50, &mark, false), 1);
    const Area area = ChangedArea(*picture, kWhite);
    EXPECT_EQ(area.left, 30);
    EXPECT_EQ(area.right, 50);
    EXPECT_EQ(area.top, 21);
    EXPECT_EQ(area.bottom, 50);
    EXPECT_EQ(area.count, 20 * 30);
    EXPECT_TRUE(SameColour(TopDown(*picture, 30, 50), kRed));
    EXPECT_EQ(renderer.renderedText, u"Vantry");
    EXPECT_EQ(renderer.align, 0u);
}

TEST(DrawTextMark, PixelsOutsideThePictureAreDropped)
{
    ScriptedRenderer renderer;
    renderer.extent = {20, 40};
    TextMark mark = RedMark();

    PicturePtr top(Picture(100, 100)); // mask taller than y + 1: its upper rows fall off
    ASSERT_EQ(top->DrawTextMark(renderer, nullptr, 30, 30, &mark, false), 1);
    Area area = ChangedArea(*top, kWhite);
    EXPECT_EQ(area.top, 0);
    EXPECT_EQ(area.bottom, 30);
    EXPECT_EQ(area.count, 20 * 31);

    PicturePtr right(Picture(100, 100));
    ASSERT_EQ(right->DrawTextMark(renderer, nullptr, 90, 60, &mark, false), 1);
    area = ChangedArea(*right, kWhite);
    EXPECT_EQ(area.left, 90);
    EXPECT_EQ(area.right, 100);

    PicturePtr below(Picture(100, 100)); // y past the last row: only the upper mask rows land
    ASSERT_EQ(below->DrawTextMark(renderer, nullptr, 0, 110, &mark, false), 1);
    area = ChangedArea(*below, kWhite);
    EXPECT_EQ(area.top, 71);
    EXPECT_EQ(area.bottom, 99);

    PicturePtr above(Picture(100, 100));
    ASSERT_EQ(above->DrawTextMark(renderer, nullptr, 0, -1, &mark, false), 1);
    EXPECT_EQ(ChangedArea(*above, kWhite).count, 0);

    PicturePtr left(Picture(100, 100)); // a negative x starts at column 0
    ASSERT_EQ(left->DrawTextMark(renderer, nullptr, -15, 50, &mark, false), 1);
    area = ChangedArea(*left, kWhite);
    EXPECT_EQ(area.left, 0);
    EXPECT_EQ(area.right, 20);

    // Far-away coordinates touch nothing (and overflow nothing).
    PicturePtr distant(Picture(100, 100));
    const std::int32_t extremes[] = {INT32_MIN, INT32_MAX};
    for (std::int32_t a : extremes)
        for (std::int32_t b : extremes) {
            for (std::int32_t align : {0, 1, 2}) {
                mark.align = align;
                mark.boxed = align == 2;
                EXPECT_EQ(distant->DrawTextMark(renderer, nullptr, a, b, &mark, false), 1);
            }
            EXPECT_EQ(distant->DrawTextMark(renderer, nullptr, 0, b, &mark, false), 1);
        }
    EXPECT_EQ(ChangedArea(*distant, kWhite).count, 0);
}

TEST(DrawTextMark, AlignmentMovesXAndOutOfRangeAlignBecomesCentre)
{
    ScriptedRenderer renderer;
    renderer.extent = {100, 10};
    TextMark mark = RedMark();

    mark.align = 1; // 30 - 50 is negative, so x becomes 0
    PicturePtr centred(Picture(300, 50));
    ASSERT_EQ(centred->DrawTextMark(renderer, nullptr, 30, 20, &mark, false), 1);
    EXPECT_EQ(ChangedArea(*centred, kWhite).left, 0);

    mark.align = 2;
    PicturePtr right(Picture(300, 50));
    ASSERT_EQ(right->DrawTextMark(renderer, nullptr, 150, 20, &mark, false), 1);
    EXPECT_EQ(ChangedArea(*right, kWhite).left, 50);
    EXPECT_EQ(renderer.align, 2u);

    mark.align = 7;
    PicturePtr seven(Picture(300, 50));
    ASSERT_EQ(seven->DrawTextMark(renderer, nullptr, 150, 20, &mark, false), 1);
    EXPECT_EQ(mark.align, 1);
    EXPECT_EQ(renderer.align, 1u);
    EXPECT_EQ(ChangedArea(*seven, kWhite).left, 100);
}

TEST(DrawTextMark, RecordIsNormalisedInPlace)
{
    ScriptedRenderer renderer;
    PicturePtr picture(Picture(40, 40));
    TextMark mark = RedMark();
    mark.align = -1;
    mark.cornerRadius = 51;
    mark.boxOpacity = 1.5f;
    ASSERT_EQ(picture->DrawTextMark(renderer, nullptr, 0, 39, &mark, false), 1);
    EXPECT_EQ(mark.align, 1);
    EXPECT_EQ(mark.cornerRadius, 10);
    EXPECT_EQ(mark.boxOpacity, 0.0f);

    mark.cornerRadius = 50;
    mark.boxOpacity = -0.25f;
    ASSERT_EQ(picture->DrawTextMark(renderer, nullptr, 0, 39, &mark, false), 1);
    EXPECT_EQ(mark.cornerRadius, 50);
    EXPECT_EQ(mark.boxOpacity, 0.0f);

    mark.boxOpacity = 0.75f;
    mark.align = 2;
    ASSERT_EQ(picture->DrawTextMark(renderer, nullptr, 0, 39, &mark, false), 1);
    EXPECT_EQ(mark.boxOpacity, 0.75f);
    EXPECT_EQ(mark.align, 2);
}

TEST(DrawTextMark, ThresholdSplitsCoverageAtHalfAndWritesTheExactTextColour)
{
    // Four one-pixel glyphs of rendered intensity 255, 127, 126 and 100 on the top row.
    ScriptedRenderer renderer;
    renderer.extent = {4, 1};
    const std::uint8_t levels[4] = {255, 127, 126, 100};
    renderer.paint = [&](int row, int x, std::uint8_t* p) {
        if (row == 0 && x < 4)
            std::memset(p, levels[x], 3);
    };
    TextMark mark = RedMark();
    PicturePtr picture(Picture(10, 10, 0x80));
    const RGBQUAD grey{0x80, 0x80, 0x80, 0};
    ASSERT_EQ(picture->DrawTextMark(renderer, nullptr, 2, 5, &mark, false), 1);
    EXPECT_TRUE(SameColour(TopDown(*picture, 2, 5), kRed));
    EXPECT_TRUE(SameColour(TopDown(*picture, 3, 5), kRed)); // inverted to 128: not above the level
    EXPECT_TRUE(SameColour(TopDown(*picture, 4, 5), grey)); // inverted to 129: background
    EXPECT_TRUE(SameColour(TopDown(*picture, 5, 5), grey));
    EXPECT_EQ(ChangedArea(*picture, grey).count, 2);
}

TEST(DrawTextMark, SmoothKeepsGreyLevelsAsPartialCoverage)
{
    ScriptedRenderer renderer;
    renderer.extent = {3, 1};
    const std::uint8_t levels[3] = {255, 100, 0};
    renderer.paint = [&](int row, int x, std::uint8_t* p) {
        if (row == 0 && x < 3)
            std::memset(p, levels[x], 3);
    };
    TextMark mark = RedMark();
    mark.smooth = true;
    mark.textColour = RGB(255, 255, 255);
    PicturePtr picture(Picture(5, 5, 0));
    ASSERT_EQ(picture->DrawTextMark(renderer, nullptr, 0, 2, &mark, false), 1);
    EXPECT_TRUE(SameColour(TopDown(*picture, 0, 2), kWhite));
    const RGBQUAD partial = TopDown(*picture, 1, 2); // 100/255 of white over black
    EXPECT_NEAR(partial.rgbRed, 100, 1);
    EXPECT_EQ(partial.rgbRed, partial.rgbGreen);
    EXPECT_EQ(partial.rgbRed, partial.rgbBlue);
    EXPECT_TRUE(SameColour(TopDown(*picture, 2, 2), kBlack));
}

TEST(DrawTextMark, PalettePictureGetsTheNearestIndex)
{
    ScriptedRenderer renderer;
    renderer.extent = {3, 2};
    TextMark mark = RedMark();
    VxImage picture(8, 8, 8, kVxTypeUnknown);
    picture.SetPaletteEntry(0, 0, 0, 0);
    picture.SetPaletteEntry(1, 255, 255, 255);
    picture.SetPaletteEntry(2, 250, 10, 10);
    picture.SetPaletteEntry(3, 0, 0, 255);
    picture.Clear(1);
    ASSERT_EQ(picture.DrawTextMark(renderer, nullptr, 1, 3, &mark, false), 1);
    int marked = 0;
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            const std::uint8_t index = picture.PixelIndex(x, y);
            EXPECT_TRUE(index == 1 || index == 2);
            marked += index == 2;
        }
    EXPECT_EQ(marked, 6);
    EXPECT_EQ(picture.PixelIndex(1, 8 - 1 - 3), 2);
}

TEST(DrawTextMark, EmptyTextWritesNothing)
{
    ScriptedRenderer renderer;
    renderer.extent = {0, 29}; // what DrawTextW reports for an empty text
    renderer.fill = 0;         // and it draws no glyph
    TextMark mark = RedMark(u"");
    PicturePtr picture(Picture(60, 60));
    EXPECT_EQ(picture->DrawTextMark(renderer, nullptr, 30, 50, &mark, false), 1);
    EXPECT_EQ(ChangedArea(*picture, kWhite).count, 0);
    EXPECT_EQ(renderer.boxWidth, -1);

    // A boxed empty mark is the box alone: 29 / 3 wide plus the border of radius 5.
    mark.boxed = true;
    EXPECT_EQ(picture->DrawTextMark(renderer, nullptr, 30, 50, &mark, false), 1);
    EXPECT_EQ(renderer.maskWidth, 9 + 2);
    const RGBQUAD box{0, 96, 32, 0};
    for (int row = 0; row < 60; ++row)
        for (int x = 0; x < 60; ++x)
            EXPECT_FALSE(SameColour(TopDown(*picture, x, row), kRed));
    EXPECT_TRUE(SameColour(TopDown(*picture, 35, 40), box));
}

TEST(DrawTextMark, MaskBeyondTheMemoryLimitDrawsNothing)
{
    ScriptedRenderer renderer;
    renderer.extent = {20000, 20000}; // 1.2 GB of mask
    TextMark mark = RedMark();
    PicturePtr picture(Picture(10, 10));
    EXPECT_EQ(picture->DrawTextMark(renderer, nullptr, 0, 9, &mark, false), 1);
    EXPECT_EQ(renderer.boxWidth, -1);
    EXPECT_EQ(ChangedArea(*picture, kWhite).count, 0);
}

TEST(DrawTextMark, ItalicWidensByHalfALinePerLine)
{
    ScriptedRenderer renderer;
    renderer.extent = {72, 58};
    TextMark mark = RedMark(u"Van\rtry\nx"); // one CR: two lines; LF does not count
    mark.font.lfItalic = 1;
    PicturePtr picture(Picture(200, 100));
    ASSERT_EQ(picture->DrawTextMark(renderer, nullptr, 0, 80, &mark, false), 1);
    EXPECT_EQ(renderer.boxWidth, 72 + 29 / 2);
    EXPECT_EQ(renderer.maskWidth, 72 + 29 / 2);
    EXPECT_EQ(renderer.maskHeight, 58);
}

TEST(DrawTextMark, BoxGeometryAndCornerCut)
{
    // Text 40 x 30, one line: radius 20% of 30 = 6, border trunc(6 x 0.29289) = 1, the box
    // widened by 30 / 3: mask 52 x 32. No glyph pixels, so only the box shows.
    ScriptedRenderer renderer;
    renderer.extent = {40, 30};
    renderer.fill = 0;
    TextMark mark = RedMark();
    mark.boxed = true;
    mark.boxColour = RGB(200, 100, 0);
    PicturePtr picture(Picture(100, 100, 0));
    ASSERT_EQ(picture->DrawTextMark(renderer, nullptr, 10, 60, &mark, false), 1);
    EXPECT_EQ(renderer.boxWidth, 50);
    EXPECT_EQ(renderer.boxHeight, 30);
    EXPECT_EQ(renderer.maskWidth, 52);
    EXPECT_EQ(renderer.maskHeight, 32);

    const RGBQUAD box{0, 100, 200, 0};
    const int top = 60 - 31;
    // Rows cut at each end of the outer columns: trunc(6.5 - sqrt(36 - (ix - 6)^2)).
    const int cuts[7] = {6, 3, 2, 1, 0, 0, 0};
    for (int ix = 0; ix < 7; ++ix)
        for (int x : {10 + ix, 10 + 51 - ix})
            for (int iy = 0; iy < 32; ++iy) {
                const bool inside = iy >= cuts[ix] && iy < 32 - cuts[ix];
                EXPECT_EQ(SameColour(TopDown(*picture, x, top + iy), box), inside) << "column " << x << " row " << iy;
            }
    const Area area = ChangedArea(*picture, kBlack);
    EXPECT_EQ(area.left, 10);
    EXPECT_EQ(area.right, 62);
    EXPECT_EQ(area.top, top);
    EXPECT_EQ(area.bottom, 60);
    EXPECT_EQ(area.count, 52 * 32 - 4 * (6 + 3 + 2 + 1));
}

TEST(DrawTextMark, BoxOpacityMixesWithThePicture)
{
    ScriptedRenderer renderer;
    renderer.extent = {40, 30};
    renderer.fill = 0;
    TextMark mark = RedMark();
    mark.boxed = true;
    mark.cornerRadius = 0;
    mark.boxColour = RGB(200, 100, 0);
    mark.boxOpacity = 0.5f;
    PicturePtr picture(Picture(100, 100, 0));
    ASSERT_EQ(picture->DrawTextMark(renderer, nullptr, 0, 50, &mark, false), 1);
    const RGBQUAD half = TopDown(*picture, 5, 40);
    EXPECT_EQ(half.rgbRed, 100);
    EXPECT_EQ(half.rgbGreen, 50);
    EXPECT_EQ(half.rgbBlue, 0);

    mark.boxOpacity = 1.0f; // only values strictly between 0 and 1 mix
    ASSERT_EQ(picture->DrawTextMark(renderer, nullptr, 0, 50, &mark, false), 1);
    EXPECT_TRUE(SameColour(TopDown(*picture, 5, 40), RGBQUAD{0, 100, 200, 0}));
}

TEST(DrawTextMark, TextIsMovedIntoTheBoxByTheBorder)
{
    // One glyph pixel at the mask's top-left corner; radius 10 (50 x 20%), border 2.
    ScriptedRenderer renderer;
    renderer.extent = {30, 50};
    renderer.paint = [](int row, int x, std::uint8_t* p) {
        if (row == 0 && x == 0)
            std::memset(p, 255, 3);
    };
    TextMark mark = RedMark();
    mark.boxed = true;
    mark.boxColour = RGB(0, 0, 255);
    PicturePtr picture(Picture(100, 100, 0));
    ASSERT_EQ(picture->DrawTextMark(renderer, nullptr, 10, 80, &mark, false), 1);
    ASSERT_EQ(renderer.maskHeight, 54);
    const int maskTop = 80 - 53;
    EXPECT_TRUE(SameColour(TopDown(*picture, 12, maskTop + 2), kRed));
    EXPECT_TRUE(SameColour(TopDown(*picture, 10 + 26, maskTop + 27), RGBQUAD{255, 0, 0, 0}));
    EXPECT_EQ(ChangedArea(*picture, RGBQUAD{255, 0, 0, 0}).count,
              1 + (100 * 100 - ChangedArea(*picture, kBlack).count));
}

TEST(DrawTextMark, AlphaWritesMakeTheMarkOpaque)
{
    ScriptedRenderer renderer;
    renderer.extent = {4, 4};
    TextMark mark = RedMark();
    PicturePtr picture(Picture(10, 10));
    ASSERT_TRUE(picture->CreateAlpha());
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x)
            picture->SetAlphaAt(x, y, 7);
    ASSERT_EQ(picture->DrawTextMark(renderer, nullptr, 0, 9, &mark, true), 1);
    EXPECT_EQ(picture->AlphaAt(0, 0), 255);
    EXPECT_EQ(picture->AlphaAt(5, 5), 7);
    ASSERT_EQ(picture->DrawTextMark(renderer, nullptr, 5, 4, &mark, false), 1);
    EXPECT_EQ(picture->AlphaAt(5, 5), 7);
}

// ---- The system's own text engine -------------------------------------------------------

namespace {

// Marks use Tahoma: Wine's copy natively, the one in the Windows font folder on Windows.
bool TahomaInstalled()
{
#if defined(_WIN32)
    const char* windows = std::getenv("WINDIR");
    return windows && std::filesystem::exists(std::filesystem::path(windows) / "Fonts" / "tahoma.ttf");
#else
    return std::filesystem::exists("/usr/share/wine/fonts/tahoma.ttf");
#endif
}

} // namespace

TEST(SystemTextRenderer, MeasuresVantryInTahoma24As72By29)
{
    if (!TahomaInstalled())
        GTEST_SKIP() << "Tahoma is not installed (fonts-wine)";
    const TextMark mark = RedMark();
    auto surface = vx::SystemTextRenderer().Open(nullptr, mark.font);
    ASSERT_TRUE(surface);
    const vx::TextExtent extent = surface->Measure(u"Vantry");
    EXPECT_EQ(extent.width, 72);
    EXPECT_EQ(extent.height, 29);
    const vx::TextExtent empty = surface->Measure(u"");
    EXPECT_EQ(empty.width, 0);
    EXPECT_EQ(empty.height, 29);
}

TEST(SystemTextRenderer, ProgramMarkStaysInItsBoxInExactRed)
{
    if (!TahomaInstalled())
        GTEST_SKIP() << "Tahoma is not installed (fonts-wine)";
    TextMark mark = RedMark(u"Vantry 2026 \u00A9%");
    PicturePtr picture(Picture(400, 120));
    ASSERT_EQ(picture->DrawTextMark(nullptr, 30, 50, &mark, false), 1);
    const Area area = ChangedArea(*picture, kWhite);
    ASSERT_GT(area.count, 500);
    EXPECT_GE(area.left, 30);
    EXPECT_LT(area.right, 30 + 183);
    EXPECT_GE(area.top, 50 - 28);
    EXPECT_LE(area.bottom, 50);
    int stray = 0;
    for (int row = 0; row < picture->Height(); ++row)
        for (int x = 0; x < picture->Width(); ++x) {
            const RGBQUAD c = TopDown(*picture, x, row);
            stray += !SameColour(c, kWhite) && !SameColour(c, kRed);
        }
    EXPECT_EQ(stray, 0);
}
