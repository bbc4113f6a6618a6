// VxImageWMF over the system's metafile player (our own on Linux, GDI under Wine): picture
// sizes from placeable bounds and enhanced-metafile bounds, the rounding and the size limit,
// headers and records that must not pass for a metafile, empty pictures, header-only decodes,
// forced sizes, detection by content and the window-colour background. Damaged files played
// whole: the players' own tests.
#include "image/codecs/VxImageWMF.h"

#include "image/VxStream.h"
#include "tests/support/MetafileWriter.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <utility>

namespace {

using namespace vx::test;

constexpr std::uint32_t kRed = 0x0000FF; // COLORREF: 0x00BBGGRR

// A window of `side` x `side` units holding a red rectangle without outline from (`inset`,
// `inset`) to (`side - inset`, same).
WmfWriter RedSquare(std::int16_t side, std::int16_t inset)
{
    WmfWriter w;
    w.SetWindowOrg(0, 0).SetWindowExt(side, side);
    w.CreateBrush(0 /* BS_SOLID */, kRed, 0).SelectObject(0);
    w.CreatePen(5 /* PS_NULL */, 0, 0).SelectObject(1);
    w.Rectangle(inset, inset, static_cast<std::int16_t>(side - inset), static_cast<std::int16_t>(side - inset));
    return w;
}

Bytes EmptyEmf(const RECT& bounds)
{
    return EmfWriter(bounds, RECT{0, 0, 1000, 1000}).Metafile();
}

struct Outcome {
    bool ok;
    std::int32_t width, height;
    std::string error;
};

Outcome DecodeWmf(Bytes bytes, std::int32_t escape = 0, std::int32_t forcedWidth = 0, std::int32_t forcedHeight = 0)
{
    VxImageWMF image;
    image.Info().escape = escape;
    VxMemStream stream(bytes.data(), static_cast<std::int32_t>(bytes.size()));
    const bool ok = image.Decode(&stream, forcedWidth, forcedHeight);
    return {ok, image.Width(), image.Height(), image.LastError()};
}

// ---- Picture sizes --------------------------------------------------------------------------

TEST(VxImageWMF, SizeComesFromThePlaceableBoundsAtTheScreenResolutionOrIsForced)
{
    // Catches: units per inch taken as pixels, the rounding half dropped or doubled, left/top
    // ignored, the axes swapped; forced sizes ignored, applied after the limit, or one
    // replacing both sides.
    const auto dpi = vx::SystemMetafilePlayer().Screen().pixelsPerInchX;
    const struct {
        std::int16_t left, top, right, bottom;
        std::uint16_t unitsPerInch;
        std::int32_t forcedWidth, forcedHeight, width, height;
    } cases[] = {
        {-10, -20, 2530, 1250, 2540, 0, 0, dpi, dpi / 2},              // 1 x 0.5 inch, offset bounds
        {0, 0, 11, 9, 96, 0, 0, 11 * dpi / 96, 9 * dpi / 96},
        {0, 0, 1440, 1440, 1440, 50, 0, 50, dpi},
        {0, 0, 1440, 1440, 1440, 0, 70, dpi, 70},
        {0, 0, 1440, 1440, 1440, 9000, 3000, 4000, 1333},
    };
    for (const auto& c : cases) {
        const Bytes bytes = RedSquare(100, 10).Placeable(c.left, c.top, c.right, c.bottom, c.unitsPerInch);
        const Outcome o = DecodeWmf(bytes, 0, c.forcedWidth, c.forcedHeight);
        EXPECT_TRUE(o.ok) << o.error;
        EXPECT_EQ(std::pair(o.width, o.height), std::pair(c.width, c.height))
            << c.right - c.left << " units at " << c.unitsPerInch << ", forced " << c.forcedWidth << " x "
            << c.forcedHeight;
    }
    if (dpi == 96) {
        // Rounding at half a pixel: 1000 units per inch, 96 pixels per inch.
        EXPECT_EQ(DecodeWmf(WmfWriter().Placeable(0, 0, 6, 6, 1000)).width, 1);           // 0.576 pixels
        EXPECT_EQ(DecodeWmf(WmfWriter().Placeable(0, 0, 5, 5, 1000)).error, "empty WMF"); // 0.48
    }
}

TEST(VxImageWMF, EnhancedSizeComesFromTheBoundsAndTheLimitKeepsProportions)
{
    // Catches: the limit missing or applied to one side only, the height scaled with the
    // new width, frame (0.01 mm) taken for bounds, 32-bit overflow in height x 4000.
    const struct {
        RECT bounds;
        std::int32_t width, height;
    } cases[] = {
        {{10, 20, 110, 70}, 100, 50},     {{0, 0, 8000, 2000}, 4000, 1000},      {{0, 0, 2000, 9000}, 888, 4000},
        {{0, 0, 4000, 4000}, 4000, 4000}, {{0, 0, 1000000, 900000}, 4000, 3600},
    };
    for (const auto& c : cases) {
        const Outcome o = DecodeWmf(EmptyEmf(c.bounds), -1);
        EXPECT_TRUE(o.ok) << o.error;
        EXPECT_EQ(o.error, "output dimensions returned");
        // The header-only decode reports the metafile's own size; the limit comes after.
        EXPECT_EQ(o.width, c.bounds.right - c.bounds.left);
        const Outcome full = DecodeWmf(EmptyEmf(c.bounds));
        EXPECT_TRUE(full.ok) << full.error;
        EXPECT_EQ(full.width, c.width);
        EXPECT_EQ(full.height, c.height);
    }
}

// ---- Refusals ----------------------------------------------------------------------------------

TEST(VxImageWMF, RefusedPicturesSayWhy)
{
    // Catches: a units-per-inch range off by one, the checksum not tested, any metafile type
    // taken, a size in words beyond the file trusted, a division by zero units; a zero or
    // negative side allocated, negative extents wrapping to huge sizes; a lying record handed
    // to the player.
    const WmfWriter square = RedSquare(100, 10);
    const Bytes good = square.Placeable(0, 0, 1440, 1440, 1440);
    const bool corrupted = false, empty = true;
    const struct {
        const char* name;
        Bytes bytes;
        bool empty; // else corrupted, in a header-only decode too
    } cases[] = {
        {"units per inch 0", square.Placeable(0, 0, 1440, 1440, 0), corrupted},
        {"units per inch 2541", square.Placeable(0, 0, 1440, 1440, 2541), corrupted},
        {"wrong checksum", WithField(good, 20, 0x1234, 2), corrupted},
        {"metafile type 3", WithField(good, 22, 3, 2), corrupted},
        {"size in words beyond the file", WithField(good, 22 + 6, std::uint32_t(good.size() / 2 + 1)), corrupted},
        {"placeable header only", Bytes(good.begin(), good.begin() + 22), corrupted},
        {"a record of size zero", WithField(good, 22 + 18, 0), corrupted}, // the records' check, before any player
        {"enhanced header without its signature", WithField(EmptyEmf({0, 0, 10, 10}), 40, 0), corrupted},
        {"nothing", Bytes{}, corrupted},
        {"no width", WmfWriter().Placeable(0, 0, 0, 1440, 1440), empty},
        {"inside out", WmfWriter().Placeable(1440, 1440, 0, 0, 1440), empty},
        {"enhanced, drawing nothing", EmptyEmf({0, 0, -1, -1}), empty}, // what such a metafile says
        {"enhanced, no width", EmptyEmf({50, 50, 50, 80}), empty},
        {"enhanced, inside out", EmptyEmf({100, 100, 10, 10}), empty},
    };
    for (const auto& c : cases)
        for (std::int32_t escape : {0, -1}) {
            if (c.empty && escape != 0)
                continue;
            const Outcome o = DecodeWmf(c.bytes, escape);
            EXPECT_FALSE(o.ok) << c.name;
            EXPECT_EQ(o.error, c.empty ? "empty WMF" : "corrupted WMF") << c.name << ", escape " << escape;
        }
}

// ---- Loading and pixels --------------------------------------------------------------------

TEST(VxImageWMF, LoadFindsAMetafileByContentAndDrawsItOnTheWindowColour)
{
    // Catches: the codec missing from the table or out of the detection order (named as JPEG,
    // the file reaches the detection pass), a metafile named as another format not found (an
    // enhanced one, and the size and depth of a loaded one: the command-line tests); the played
    // picture not copied into the image, or an unfilled background; an encoder that writes
    // something, or fails without saying why.
    ScratchDir dir;
    WriteFileBytes(dir / "drawing.jpg", RedSquare(100, 10).Placeable(0, 0, 1440, 720, 1440));
    const vx::MetafileScreen screen = vx::SystemMetafilePlayer().Screen();
    const auto rgb = [](RGBQUAD c) { return std::array{c.rgbRed, c.rgbGreen, c.rgbBlue}; };
    VxImage image;
    ASSERT_TRUE(image.Load(ToU16(dir / "drawing.jpg").c_str(), kVxTypeJpg)) << image.LastError();
    EXPECT_EQ(image.ImageType(), kVxTypeWmf);
    EXPECT_EQ(rgb(image.PixelColour(0, 0, false)), rgb(VxImage::ColorRefToQuad(screen.windowColour)));
    EXPECT_EQ(rgb(image.PixelColour(image.Width() / 2, image.Height() / 2, false)), (std::array<BYTE, 3>{255, 0, 0}));
    EXPECT_FALSE(image.Save(ToU16(dir / "copy.wmf").c_str(), kVxTypeWmf)); // metafiles are read, never written
    EXPECT_STREQ(image.LastError(), "Save WMF not supported");
}

} // namespace
