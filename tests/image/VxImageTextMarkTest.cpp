// DrawTextMark against a scripted text engine whose "glyphs" are known pixels: return codes,
// placement and clipping, thresholds, the box with its opacity and corner cut, record
// normalisation. (The system's engines have their own tests under tests/platform.)
#include "image/TextMark.h"
#include "image/VxImage.h"
#include "platform/TextRenderer.h"
#include "tests/support/ImageChecks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr RGBQUAD kWhite{255, 255, 255, 0};
constexpr RGBQUAD kBlack{0, 0, 0, 0};
constexpr RGBQUAD kRed{0, 0, 255, 0};

using vx::test::SameColour;

// Rows counted from the top, as the mark's y is.
RGBQUAD At(const VxImage& image, int x, int row)
{
    return image.PixelColour(x, image.Height() - 1 - row, false);
}

// A text engine with a fixed extent. Render lights the text box at `fill`, or the levels
// `paint` gives (rows from the top), and records what it was asked for.
struct ScriptedRenderer : vx::TextRenderer {
    vx::TextExtent extent{20, 30};
    bool canOpen = true, canRender = true;
    std::uint8_t fill = 255;
    std::function<std::uint8_t(int x, int row)> paint;
    std::u16string text;
    int boxWidth = -1, boxHeight = -1, maskWidth = -1, maskHeight = -1;
    UINT align = 99;

    struct Surface : vx::TextSurface {
        ScriptedRenderer& r;
        explicit Surface(ScriptedRenderer& owner) : r(owner) {}
        vx::TextExtent Measure(std::u16string_view) override { return r.extent; }
        bool Render(std::u16string_view text, std::int32_t w, std::int32_t h, UINT align,
                    const vx::Rgb24Bitmap& target) override
        {
            if (!r.canRender)
                return false;
            r.text.assign(text);
            r.boxWidth = w, r.boxHeight = h, r.align = align;
            r.maskWidth = target.width, r.maskHeight = target.height;
            for (int row = 0; row < target.height; ++row)
                for (int x = 0; x < target.width; ++x)
                    std::memset(target.bits + std::size_t(target.height - 1 - row) * target.stride + 3 * x,
                                r.paint ? r.paint(x, row) : (x < w && row < h ? r.fill : 0), 3);
            return true;
        }
    };
    std::unique_ptr<vx::TextSurface> Open(HDC, const LOGFONTW&) override
    {
        return canOpen ? std::make_unique<Surface>(*this) : nullptr;
    }
};

// Red text on a green box with the given text (the scripted engine ignores the font).
TextMark RedMark(std::u16string_view text = u"Vantry")
{
    TextMark mark{};
    std::copy(text.begin(), text.end(), mark.text);
    mark.textColour = RGB(255, 0, 0);
    mark.boxColour = RGB(32, 96, 0);
    mark.cornerRadius = 20;
    return mark;
}

std::unique_ptr<VxImage> Picture(int width, int height, std::uint8_t fill = 255)
{
    auto image = std::make_unique<VxImage>(width, height, 24, kVxTypeUnknown);
    image->Clear(fill);
    return image;
}

// The pixels that differ from `background`: {left, right (exclusive), top, bottom, count},
// rows counted from the top.
using Area = std::array<int, 5>;
constexpr Area kUntouched{1 << 30, -1, 1 << 30, -1, 0};
Area ChangedArea(const VxImage& image, RGBQUAD background)
{
    Area a = kUntouched;
    for (int row = 0; row < image.Height(); ++row)
        for (int x = 0; x < image.Width(); ++x)
            if (!SameColour(At(image, x, row), background))
                a = {std::min(a[0], x), std::max(a[1], x + 1), std::min(a[2], row), std::max(a[3], row), a[4] + 1};
    return a;
}

} // namespace

// -1 without pixels, 0 without a mark, a surface or a rendering; a mask too large for memory
// draws nothing and still answers 1.
TEST(DrawTextMark, NothingDrawnWithoutPixelsMarkSurfaceOrMemory)
{
    ScriptedRenderer renderer;
    TextMark mark = RedMark();
    VxImage empty;
    EXPECT_EQ(empty.DrawTextMark(renderer, nullptr, 30, 50, &mark, false), -1);

    auto picture = Picture(50, 50);
    EXPECT_EQ(picture->DrawTextMark(renderer, nullptr, 0, 40, nullptr, false), 0);
    renderer.canOpen = false;
    EXPECT_EQ(picture->DrawTextMark(renderer, nullptr, 0, 40, &mark, false), 0);
    renderer.canOpen = true;
    renderer.canRender = false;
    EXPECT_EQ(picture->DrawTextMark(renderer, nullptr, 0, 40, &mark, false), 0);
    renderer.canRender = true;
    renderer.extent = {20000, 20000}; // 1.2 GB of mask
    EXPECT_EQ(picture->DrawTextMark(renderer, nullptr, 0, 40, &mark, false), 1);
    EXPECT_EQ(renderer.boxWidth, -1);
    EXPECT_EQ(ChangedArea(*picture, kWhite)[4], 0);
}

TEST(DrawTextMark, MaskBottomRowLandsOnRowYAndIsClippedToThePicture)
{
    // Centre and right alignment move x left by half or all of the mask; a negative start
    // becomes column 0; an align out of range is rewritten to centre.
    const struct {
        int align, width, height, pictureWidth, pictureHeight, x, y;
        Area expected;
    } cases[] = {
        {0, 20, 30, 100, 100, 30, 50, {30, 50, 21, 50, 20 * 30}},
        {0, 20, 40, 100, 100, 30, 30, {30, 50, 0, 30, 20 * 31}}, // upper rows fall off
        {0, 20, 40, 100, 100, 0, 110, {0, 20, 71, 99, 20 * 29}}, // y past the last row
        {0, 20, 40, 100, 100, 0, -1, kUntouched},
        {0, 20, 40, 100, 100, -15, 50, {0, 20, 11, 50, 20 * 40}},
        {1, 100, 10, 300, 50, 30, 20, {0, 100, 11, 20, 1000}},
        {2, 100, 10, 300, 50, 150, 20, {50, 150, 11, 20, 1000}},
        {7, 100, 10, 300, 50, 150, 20, {100, 200, 11, 20, 1000}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "align " << c.align << " at " << c.x << ", " << c.y);
        ScriptedRenderer renderer;
        renderer.extent = {c.width, c.height};
        TextMark mark = RedMark();
        mark.align = c.align;
        auto picture = Picture(c.pictureWidth, c.pictureHeight);
        ASSERT_EQ(picture->DrawTextMark(renderer, nullptr, c.x, c.y, &mark, false), 1);
        EXPECT_EQ(ChangedArea(*picture, kWhite), c.expected);
        EXPECT_EQ(renderer.text, u"Vantry");
        EXPECT_EQ(renderer.align, static_cast<UINT>(c.align > 2 ? 1 : c.align));
    }

    // Far-away coordinates touch nothing (and overflow nothing).
    ScriptedRenderer renderer;
    TextMark mark = RedMark();
    auto picture = Picture(100, 100);
    for (std::int32_t a : {INT32_MIN, INT32_MAX, 0})
        for (std::int32_t b : {INT32_MIN, INT32_MAX})
            for (std::int32_t align : {0, 1, 2}) {
                mark.align = align;
                mark.boxed = align == 2;
                EXPECT_EQ(picture->DrawTextMark(renderer, nullptr, a, b, &mark, false), 1);
            }
    EXPECT_EQ(ChangedArea(*picture, kWhite), kUntouched);
}

TEST(DrawTextMark, OutOfRangeFieldsAreRewrittenInTheRecord)
{
    const struct { int align, radius; float opacity; int wantAlign, wantRadius; float wantOpacity; } cases[] = {
        {-1, 51, 1.5f, 1, 10, 0.0f}, {3, 50, -0.25f, 1, 50, 0.0f}, {0, 0, 1.0f, 0, 0, 1.0f}};
    ScriptedRenderer renderer;
    auto picture = Picture(40, 40);
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "align " << c.align << " radius " << c.radius);
        TextMark mark = RedMark();
        mark.align = c.align;
        mark.cornerRadius = static_cast<std::uint8_t>(c.radius);
        mark.boxOpacity = c.opacity;
        ASSERT_EQ(picture->DrawTextMark(renderer, nullptr, 0, 39, &mark, false), 1);
        EXPECT_EQ(mark.align, c.wantAlign);
        EXPECT_EQ(mark.cornerRadius, c.wantRadius);
        EXPECT_EQ(mark.boxOpacity, c.wantOpacity);
    }
}

TEST(DrawTextMark, ThresholdAtHalfCoverageOrGreyLevelsWhenSmooth)
{
    // One-pixel glyphs of these intensities on the top row; red text on black.
    const std::uint8_t levels[5] = {255, 127, 126, 100, 0};
    ScriptedRenderer renderer;
    renderer.extent = {5, 1};
    renderer.paint = [&](int x, int row) { return row == 0 && x < 5 ? levels[x] : std::uint8_t(0); };
    for (bool smooth : {false, true}) {
        SCOPED_TRACE(smooth ? "smooth" : "thresholded");
        TextMark mark = RedMark();
        mark.smooth = smooth;
        auto picture = Picture(8, 4, 0);
        ASSERT_EQ(picture->DrawTextMark(renderer, nullptr, 2, 1, &mark, false), 1);
        for (int i = 0; i < 5; ++i) {
            // Inverted, 127 becomes 128, which is not above the threshold: a solid pixel.
            const int red = smooth ? levels[i] : (levels[i] >= 127 ? 255 : 0);
            const RGBQUAD c = At(*picture, 2 + i, 1);
            EXPECT_NEAR(c.rgbRed, red, smooth ? 1 : 0) << "level " << int(levels[i]);
            EXPECT_EQ(c.rgbGreen + c.rgbBlue, 0);
        }
        EXPECT_EQ(ChangedArea(*picture, kBlack)[4], smooth ? 4 : 2);
    }
}

// The mask is the measured text, widened for a slant by half a line per line (a CR starts a
// line, LF does not). (The box's widening is the box geometry test's.)
TEST(DrawTextMark, MaskSizeForItalicLines)
{
    ScriptedRenderer renderer;
    renderer.extent = {72, 58};
    TextMark mark = RedMark(u"Van\rtry\nx");
    mark.font.lfItalic = 1;
    auto picture = Picture(200, 100);
    ASSERT_EQ(picture->DrawTextMark(renderer, nullptr, 0, 80, &mark, false), 1);
    EXPECT_EQ((std::vector<int>{renderer.boxWidth, renderer.maskWidth, renderer.maskHeight}),
              (std::vector<int>{72 + 29 / 2, 72 + 29 / 2, 58}));
}

TEST(DrawTextMark, BoxGeometryCornerCutAndTheTextMovedInByTheBorder)
{
    // Text 40 x 30, one line: radius 20% of 30 = 6, border trunc(6 x 0.29289) = 1, the box
    // widened by 30 / 3: mask 52 x 32. One glyph pixel, at the text's top-left corner.
    ScriptedRenderer renderer;
    renderer.extent = {40, 30};
    renderer.paint = [](int x, int row) { return std::uint8_t(row == 0 && x == 0 ? 255 : 0); };
    TextMark mark = RedMark();
    mark.boxed = true;
    mark.boxColour = RGB(200, 100, 0);
    auto picture = Picture(100, 100, 0);
    ASSERT_EQ(picture->DrawTextMark(renderer, nullptr, 10, 60, &mark, false), 1);
    EXPECT_EQ((std::vector<int>{renderer.boxWidth, renderer.boxHeight, renderer.maskWidth, renderer.maskHeight}),
              (std::vector<int>{50, 30, 52, 32}));

    const int top = 60 - 31;
    const RGBQUAD box{0, 100, 200, 0};
    EXPECT_TRUE(SameColour(At(*picture, 10 + 1, top + 1), kRed));
    // Rows cut at each end of the outer columns: trunc(6.5 - sqrt(36 - (ix - 6)^2)).
    const int cuts[7] = {6, 3, 2, 1, 0, 0, 0};
    for (int ix = 0; ix < 7; ++ix)
        for (int x : {10 + ix, 10 + 51 - ix})
            for (int iy = 0; iy < 32; ++iy)
                EXPECT_EQ(bool(SameColour(At(*picture, x, top + iy), box)), iy >= cuts[ix] && iy < 32 - cuts[ix])
                    << "column " << x << " row " << iy;
    EXPECT_EQ(ChangedArea(*picture, kBlack), (Area{10, 62, top, 60, 52 * 32 - 4 * (6 + 3 + 2 + 1) + 1}));
    EXPECT_EQ(ChangedArea(*picture, box)[4], 100 * 100 - ChangedArea(*picture, kBlack)[4] + 1) << "box or text only";
}

// Only opacities strictly between 0 and 1 mix (as the picture's share); the rest give the
// plain box colour. Written with alpha, marked pixels become opaque.
TEST(DrawTextMark, BoxOpacityAndAlpha)
{
    const struct { float opacity; BYTE red, green, blue; } cases[] = {
        {0.5f, 150, 100, 50}, {0.25f, 175, 100, 25}, {1.0f, 200, 100, 0}, {0.0f, 200, 100, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.opacity);
        ScriptedRenderer renderer;
        renderer.extent = {40, 30};
        renderer.fill = 0;
        TextMark mark = RedMark();
        mark.boxed = true;
        mark.boxColour = RGB(200, 100, 0);
        mark.boxOpacity = c.opacity;
        auto picture = Picture(100, 100, 100);
        ASSERT_EQ(picture->DrawTextMark(renderer, nullptr, 0, 50, &mark, false), 1);
        EXPECT_TRUE(SameColour(At(*picture, 5, 40), RGBQUAD{c.blue, c.green, c.red, 0}));
    }

    ScriptedRenderer renderer;
    renderer.extent = {4, 4};
    TextMark mark = RedMark();
    auto picture = Picture(10, 10);
    ASSERT_TRUE(picture->CreateAlpha());
    vx::test::ForEachPixel(*picture, [&](int x, int y) { picture->SetAlphaAt(x, y, 7); });
    ASSERT_EQ(picture->DrawTextMark(renderer, nullptr, 0, 9, &mark, true), 1);
    ASSERT_EQ(picture->DrawTextMark(renderer, nullptr, 5, 4, &mark, false), 1);
    EXPECT_EQ((std::vector<int>{picture->AlphaAt(0, 0), picture->AlphaAt(5, 5)}), (std::vector<int>{255, 7}));
}
