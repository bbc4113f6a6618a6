// Our own metafile player against GDI's: test metafiles covering the records real files use
// (mapping modes, transforms, pens, brushes, shapes, paths, clipping, bitmaps, text; WMF and
// EMF) are decoded through VxImageWMF with each player. Sizes must agree exactly (the screen's
// resolution alike); the share of pixels that differ by more than 16 in a channel is printed
// per file and must stay within 2% (5% for text, where FreeType's glyphs meet GDI's).
// On every platform the system's player also plays each file whole and bit-flipped, so that
// every record kind runs under the sanitizers.
#include "image/VxStream.h"
#include "image/codecs/VxImageWMF.h"
#include "platform/portable/FreeTypeTextRenderer.h"
#include "platform/portable/PortableMetafilePlayer.h"
#if defined(_WIN32)
#include "platform/win32/GdiMetafilePlayer.h"
#endif
#include "tests/support/MetafileWriter.h"
#include "tests/support/PixelOracle.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using namespace vx::test;

constexpr std::int16_t kWidth = 200;
constexpr std::int16_t kHeight = 150;

// Colours as COLORREF (0x00BBGGRR).
constexpr std::uint32_t kRed = 0x0000FF, kGreen = 0x00A000, kBlue = 0xFF0000, kBlack = 0;
constexpr std::uint32_t kYellow = 0x00FFFF, kTeal = 0x808000, kPurple = 0x800080, kGrey = 0x808080;

Bytes Dib(int width, int height)
{
    std::vector<std::uint32_t> pixels;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            pixels.push_back((x * 255 / width) << 16 | (y * 255 / height) << 8 | ((x / 2 + y / 2) % 2 ? 0xC0 : 0x20));
    return PackedDib24(width, height, pixels);
}

WmfWriter WmfFrame()
{
    WmfWriter w;
    // The window's origin set off and offset back: (10, 5) + (-10, -5).
    w.SetMapMode(8 /* MM_ANISOTROPIC */).SetWindowOrg(10, 5).SetWindowExt(kWidth, kHeight);
    w.Record(0x020F /* OffsetWindowOrg */, {-5, -10});
    return w;
}

// Objects take the lowest free slot of the WMF object table, so each is selected by the slot
// it landed in.
Bytes WmfShapes()
{
    WmfWriter w = WmfFrame();
    w.CreatePen(0, 3, kBlue).SelectObject(0);     // 0: wide solid pen
    w.CreateBrush(0, kYellow, 0).SelectObject(1); // 1: solid brush
    w.Rectangle(5, 5, 60, 40).Record(0x061C /* RoundRect */, {14, 20, 40, 130, 5, 70}).Ellipse(140, 5, 195, 40);
    w.CreateBrush(2, kGreen, 5 /* HS_DIAGCROSS */).SelectObject(2); // 2: hatched brush
    w.SetBkMode(2 /* OPAQUE */).SetBkColor(0xE0E0E0);
    w.ArcLike(0x0830, 5, 45, 60, 90, {60, 45}, {5, 90});     // chord
    w.ArcLike(0x081A, 70, 45, 125, 90, {125, 67}, {97, 45}); // pie
    w.SetBkMode(1 /* TRANSPARENT */);
    w.CreatePen(1 /* PS_DASH */, 1, kBlack).SelectObject(3);   // 3: dashed pen
    w.ArcLike(0x0817, 135, 45, 195, 90, {195, 90}, {135, 45}); // arc
    // A hatched brush made after the change to a transparent background: Wine's GDI keeps a
    // selected hatched brush's background from the mode it was first drawn in until the brush
    // is selected again, so the chord's brush would still paint its background here.
    w.SaveDC();
    w.CreateBrush(2, kGreen, 5).SelectObject(4); // 4: hatched brush, drawn transparent only
    w.SelectObject(0).SetPolyFillMode(2 /* WINDING */);
    w.Poly(0x0324 /* Polygon */, {{10, 100}, {50, 145}, {5, 120}, {55, 120}, {20, 145}});
    w.RestoreDC(-1);
    w.DeleteObject(4);
    w.SetPolyFillMode(1 /* ALTERNATE */);
    const std::vector<Point16> rings = {{60, 100}, {100, 100}, {100, 145}, {60, 145},
                                        {70, 110}, {90, 110},  {90, 135},  {70, 135}};
    w.Record(0x0538 /* PolyPolygon */, Fields().U16(2).U16(4).U16(4).Points(rings, 2));
    w.Poly(0x0325 /* Polyline */, {{105, 100}, {120, 140}, {135, 100}, {150, 140}});
    w.MoveTo(155, 100).LineTo(195, 145);
    w.DeleteObject(3);
    w.CreatePen(0, 5, kRed).SelectObject(3); // the freed slot again
    w.SetROP2(7 /* R2_XORPEN */).MoveTo(155, 145).LineTo(195, 100);
    w.SetROP2(6 /* R2_NOT */).Rectangle(150, 120, 170, 130);
    w.SetROP2(13 /* R2_COPYPEN */);
    w.Box(0x0416 /* IntersectClipRect */, 0, 0, 100, 150).Box(0x0415 /* ExcludeClipRect */, 20, 50, 40, 70);
    w.SelectObject(1).Ellipse(0, 60, 140, 80);
    return w.Placeable(0, 0, kWidth, kHeight, 96);
}

Bytes WmfBitmaps()
{
    WmfWriter w = WmfFrame();
    const Bytes dib = Dib(16, 12);
    w.StretchDib(5, 5, 60, 45, dib, 16, 12).StretchDib(5, 5, 0, 45, dib, 16, 12); // the second: no width, nothing
    // DIBSTRETCHBLT and DIBBITBLT: SRCCOPY, source and destination boxes (last coordinate first), DIB.
    w.Record(0x0B41, Fields().U32(0x00CC0020).U16(12).U16(16).U16(0).U16(0).U16(45).U16(60).U16(5).U16(70).Append(dib));
    w.Record(0x0940, Fields().U32(0x00CC0020).U16(0).U16(0).U16(12).U16(16).U16(20).U16(140).Append(dib));
    w.Record(0x0142, Fields().U16(5 /* BS_DIBPATTERN */).U16(0).Append(Dib(8, 8))).SelectObject(0);
    w.CreatePen(5 /* PS_NULL */, 0, 0).SelectObject(1);
    w.Rectangle(5, 60, 95, 145);
    // PatBlt: the raster operation (PATCOPY, then DSTINVERT), height, width, y, x.
    w.Record(0x061D, Fields().U32(0x00F00021).U16(40).U16(95).U16(60).U16(100));
    w.Record(0x061D, Fields().U32(0x00550009).U16(40).U16(95).U16(105).U16(100));
    return w.Placeable(0, 0, kWidth, kHeight, 96);
}

Bytes WmfText()
{
    WmfWriter w = WmfFrame();
    w.Font(-16, 400, false, "Tahoma").SelectObject(0);
    w.SetTextColor(kBlue).SetBkMode(1).Text(5, 5, "Metafile text");
    w.SetTextColor(kRed).SetBkMode(2).SetBkColor(kYellow);
    // ExtTextOut: y, x, count, ETO_OPAQUE | ETO_CLIPPED and their box (which cuts the text), the text.
    const std::string cells = "Opaque cells";
    Fields extText;
    extText.U16(30).U16(5).U16(12).U16(6).U16(5).U16(30).U16(60).U16(40);
    w.Record(0x0A32, extText.Append(Bytes(cells.begin(), cells.end())));
    w.Font(-22, 700, false, "Tahoma").SelectObject(1);
    w.SetBkMode(1).SetTextColor(kGreen);
    w.SetTextAlign(6 /* TA_CENTER */).Text(100, 60, "Centred bold");
    w.SetTextAlign(2 /* TA_RIGHT */).Text(195, 90, "Right");
    w.SetTextAlign(24 /* TA_BASELINE */).SelectObject(0).SetTextColor(kBlack).Text(5, 140, "Baseline 0123");
    return w.Placeable(0, 0, kWidth, kHeight, 96);
}

// Frame (0.01 mm, inclusive) of a picture of kWidth x kHeight pixels of the writer's default
// reference device (1024 x 768 pixels, 270 x 203 mm).
EmfWriter EmfFrame()
{
    return EmfWriter(RECT{0, 0, kWidth, kHeight}, RECT{0, 0, kWidth * 27000 / 1024, kHeight * 20300 / 768});
}

Bytes EmfShapes()
{
    EmfWriter e = EmfFrame();
    // A wide pen made with CreatePen: Wine's GDI reads EMR_EXTCREATEPEN's pen fields four bytes
    // late and never creates the pen, so extended pens are left to our player's own tests.
    e.CreatePen(1, 0 /* PS_SOLID */, 6, kPurple).SelectObject(1);
    e.CreateBrush(2, 0, kTeal, 0).SelectObject(2);
    e.Rectangle({5, 5, 60, 40}).Ellipse({140, 5, 195, 40});
    e.Record(44, {70, 5, 130, 40, 20, 14}); // RoundRect
    e.SelectObject(0x80000000 | 7 /* BLACK_PEN */).SelectObject(0x80000000 | 2 /* GRAY_BRUSH */);
    e.Record(46, {5, 45, 60, 90, 60, 45, 5, 90}); // Chord
    e.CreateBrush(3, 2, kRed, 4 /* HS_CROSS */).SelectObject(3);
    e.Record(47, {70, 45, 125, 90, 125, 67, 97, 45});   // Pie
    e.Record(45, {135, 45, 195, 90, 195, 90, 135, 45}); // Arc
    e.Record(33, {});                                   // SaveDC
    e.Record(19, {2 /* WINDING */});
    e.Poly16(86, {{10, 100}, {50, 145}, {5, 120}, {55, 120}, {20, 145}}); // Polygon16
    e.Record(34, {-1});                                                   // RestoreDC
    e.Poly32(4, {{60, 100}, {80, 140}, {100, 100}});                      // Polyline
    e.Poly16(85, {{105, 100}, {115, 150}, {135, 90}, {145, 140}});        // PolyBezier16
    e.Poly32(2, {{150, 100}, {160, 150}, {180, 90}, {195, 140}});         // PolyBezier
    e.Poly32(3, {{60, 120}, {75, 145}, {45, 145}});                       // Polygon
    // PolyPolygon16: bounds, polygon count, point count, the counts, the points.
    const std::vector<Point16> rings = {{100, 105}, {145, 105}, {145, 145}, {100, 145},
                                        {110, 115}, {135, 115}, {135, 135}, {110, 135}};
    e.Record(91, Fields().Rect({100, 105, 145, 145}).U32(2).U32(8).U32(4).U32(4).Points(rings, 2));
    e.Record(20, {7 /* R2_XORPEN */}).Record(27, {150, 145}).Record(54, {195, 100}); // MoveTo, LineTo
    e.Record(20, {13});
    return e.Metafile();
}

Bytes EmfPathsClipsTransforms()
{
    EmfWriter e = EmfFrame();
    e.CreatePen(1, 0, 3, kBlue).SelectObject(1);
    e.CreateBrush(2, 0, kYellow, 0).SelectObject(2);
    // A closed figure of lines and a curve, filled; then stroked; then both.
    const auto figure = [&](std::int32_t dx) {
        e.Record(59, {}); // BeginPath
        e.Record(27, {dx + 5, 5}).Record(54, {dx + 55, 5});
        e.Poly16(88, {{static_cast<std::int16_t>(dx + 60), 30},
                      {static_cast<std::int16_t>(dx + 30), 60},
                      {static_cast<std::int16_t>(dx + 5), 40}}); // PolyBezierTo16
        e.Record(61, {});                                        // CloseFigure
        e.Record(60, {});                                        // EndPath
    };
    figure(0);
    e.Record(62, {0, 0, 70, 70}); // FillPath
    figure(65);
    e.Record(64, {0, 0, 140, 70}); // StrokePath
    figure(130);
    e.Record(63, {0, 0, 200, 70}); // StrokeAndFillPath
    // Clipping: a rectangle kept, one cut out, then a two-rectangle region.
    e.Record(33, {});
    e.IntersectClipRect({0, 75, 100, 150});
    e.Record(29, {20, 90, 40, 110}); // ExcludeClipRect
    e.Ellipse({5, 80, 95, 145});
    e.Record(34, {-1});
    Fields region;
    region.U32(32 + 32).U32(5 /* RGN_COPY */).U32(32).U32(1).U32(2).U32(32).Rect({105, 75, 195, 150});
    e.Record(75, region.Rect({105, 75, 150, 110}).Rect({150, 110, 195, 150}));
    e.Rectangle({100, 70, 200, 150});
    e.Record(75, {0, 5}); // back to no clipping
    // World transforms: a rotation by 30 degrees about (150, 110) multiplied onto the
    // identity, then a shear set outright.
    e.WorldTransform({0.866f, 0.5f, -0.5f, 0.866f, 150 - 0.866f * 150 + 0.5f * 110, 110 - 0.5f * 150 - 0.866f * 110},
                     2 /* MWT_LEFTMULTIPLY */);
    e.SelectObject(0x80000000 | 4 /* BLACK_BRUSH */).Rectangle({140, 100, 160, 120});
    e.WorldTransform({1, 0, 0.5f, 1, -60, 0}, 0);
    e.SelectObject(2).Rectangle({20, 115, 40, 135});
    return e.Metafile();
}

Bytes EmfMappingModes()
{
    EmfWriter e = EmfFrame();
    e.CreateBrush(1, 0, kRed, 0).SelectObject(1);
    // 0.1 mm units, y up: a 10 x 10 mm square near the top left.
    e.Record(33, {}).SetMapMode(2 /* MM_LOMETRIC */).Rectangle({20, -20, 120, -120}).Record(34, {-1});
    // 0.001 inch units, y up.
    e.CreateBrush(2, 0, kBlue, 0).SelectObject(2);
    e.Record(33, {}).SetMapMode(5 /* MM_HIENGLISH */).Ellipse({700, -100, 1100, -500}).Record(34, {-1});
    // Anisotropic: a window of 100 x 100 onto 80 x 40 pixels at (100, 0).
    e.CreateBrush(3, 0, kGreen, 0).SelectObject(3);
    e.Record(33, {}).SetMapMode(8).SetWindowOrg(0, 0).SetWindowExt(100, 100);
    e.Record(12 /* SetViewportOrg */, {110, 5}).SetViewportExt(80, 40).Rectangle({10, 10, 90, 90}).Record(34, {-1});
    // Isotropic: the same window shrinks to keep its proportions.
    e.CreateBrush(4, 0, kGrey, 0).SelectObject(4);
    e.Record(33, {}).SetMapMode(7).SetWindowOrg(-50, -50).SetWindowExt(100, 100);
    e.Record(12, {50, 110}).SetViewportExt(90, 60).Ellipse({-40, -40, 40, 40}).Record(34, {-1});
    e.SelectObject(0x80000000 | 8 /* NULL_PEN */).Rectangle({120, 70, 190, 140});
    return e.Metafile();
}

// BitBlt / StretchBlt from a DIB: bounds, destination box, SRCCOPY, source origin, transform,
// background colour, colour usage, offsets and sizes of the header and the bits.
Fields BlitRecord(const RECT& box, const Bytes& dib, bool stretch)
{
    const std::uint32_t fixed = stretch ? 108 : 100; // record header included
    Fields p;
    p.Rect(box).U32(box.left).U32(box.top).U32(box.right - box.left).U32(box.bottom - box.top);
    p.U32(0x00CC0020).U32(0).U32(0).Float(1).Float(0).Float(0).Float(1).Float(0).Float(0);
    p.U32(0).U32(0).U32(fixed).U32(40).U32(fixed + 40).U32(static_cast<std::uint32_t>(dib.size() - 40));
    if (stretch)
        p.Append(Bytes(dib.begin() + 4, dib.begin() + 12)); // the source size: the DIB's own
    return p.Append(dib);
}

Bytes EmfBitmaps()
{
    EmfWriter e = EmfFrame();
    const Bytes dib = Dib(16, 12);
    e.StretchDibits({5, 5, 65, 50}, dib);
    e.Record(76, BlitRecord({80, 5, 96, 17}, dib, false));
    e.Record(77, BlitRecord({110, 5, 190, 65}, dib, true));
    e.CreatePatternBrush(1, Dib(8, 8)).SelectObject(1).SelectObject(0x80000000 | 8);
    e.Rectangle({5, 70, 100, 145});
    return e.Metafile();
}

Bytes EmfText()
{
    EmfWriter e = EmfFrame();
    e.Font(1, -16, 400, false, u"Tahoma").SelectObject(1);
    e.Record(24, {static_cast<std::int32_t>(kBlue)}).Record(18, {1}); // text colour, transparent
    e.ExtTextW(5, 5, 0, u"Enhanced text");
    e.Record(24, {static_cast<std::int32_t>(kRed)}).Record(25, {static_cast<std::int32_t>(kYellow)}).Record(18, {2});
    e.ExtTextW(5, 30, 0, u"Opaque cells");
    e.Font(2, -22, 700, false, u"Tahoma").SelectObject(2).Record(18, {1});
    e.Record(24, {static_cast<std::int32_t>(kGreen)}).Record(22, {6 /* TA_CENTER */});
    e.ExtTextW(100, 60, 0, u"Centred bold");
    e.Record(22, {24 /* TA_BASELINE */}).SelectObject(1).Record(24, {0});
    // ExtTextOutA: the same layout with 8-bit characters and a spacing array.
    const std::string text = "ANSI 0123";
    Fields p;
    p.Rect({0, 0, -1, -1}).U32(1).Float(0).Float(0).U32(5).U32(140).U32(static_cast<std::uint32_t>(text.size()));
    p.U32(76).U32(0).Rect({}).U32(76 + 12).Append(Bytes(text.begin(), text.end())).Append(Bytes(3, 0));
    for (std::size_t i = 0; i < text.size(); ++i)
        p.U32(10);
    e.Record(83, p);
    return e.Metafile();
}

struct AgreementCase {
    const char* name;
    Bytes (*make)();
    double limit; // share of differing pixels allowed
};

const AgreementCase kCases[] = {
    {"wmf-shapes", WmfShapes, 0.02},
    {"wmf-bitmaps", WmfBitmaps, 0.02},
    {"wmf-text", WmfText, 0.05},
    {"emf-shapes", EmfShapes, 0.02},
    {"emf-paths-clips", EmfPathsClipsTransforms, 0.02},
    {"emf-mapping", EmfMappingModes, 0.02},
    {"emf-bitmaps", EmfBitmaps, 0.02},
    {"emf-text", EmfText, 0.05},
};

struct Rendering {
    bool ok;
    std::string error;
    Picture picture;
};

Rendering Render(vx::MetafilePlayer& player, Bytes bytes)
{
    VxImageWMF image;
    VxMemStream stream(bytes.data(), static_cast<std::int32_t>(bytes.size()));
    const bool ok = image.DecodeWith(player, &stream);
    return {ok, image.LastError(), ok ? PictureOf(image) : Picture{}};
}

// The system's player: ours natively, GDI under Wine, where what the records' check lets
// through must not crash it either.
// Catches: a record handler reading past its record or state growing without bound on
// damaged input (the sanitizers report it), a refusal without a reason.
TEST(MetafilePlayerAgreement, TheSystemPlayerPlaysEveryFileWholeAndDamaged)
{
    for (const AgreementCase& c : kCases) {
        const Bytes bytes = c.make();
        const Rendering whole = Render(vx::SystemMetafilePlayer(), bytes);
        ASSERT_TRUE(whole.ok) << c.name << ": " << whole.error;
        std::uint32_t state = 7;
        for (int i = 0; i < 60; ++i) {
            const Rendering played = Render(vx::SystemMetafilePlayer(), WithFlippedBits(bytes, state, 2));
            EXPECT_TRUE(played.ok || !played.error.empty()) << c.name << ", flip run " << i;
        }
    }
}

#if defined(_WIN32)
// Our player, its text drawn by FreeType from Tahoma's files (there is no fontconfig here),
// the face every text record here asks for.
vx::PortableMetafilePlayer& Portable()
{
    static vx::FreeTypeTextRenderer text([](const LOGFONTW& font, vx::FontFile& file) {
        const char* windows = std::getenv("WINDIR");
        file.path = (std::filesystem::path(windows ? windows : "") / "Fonts" /
                     (font.lfWeight >= 600 ? "tahomabd.ttf" : "tahoma.ttf"))
                        .string();
        file.faceIndex = 0;
        return true;
    });
    static vx::PortableMetafilePlayer player(text);
    return player;
}

TEST(MetafilePlayerAgreement, TestMetafilesLookAlikeOnBothPlayers)
{
    vx::GdiMetafilePlayer gdi;
    for (const AgreementCase& c : kCases) {
        const Bytes bytes = c.make();
        const Rendering reference = Render(gdi, bytes), ours = Render(Portable(), bytes);
        ASSERT_TRUE(reference.ok) << c.name << ": " << reference.error;
        ASSERT_TRUE(ours.ok) << c.name << ": " << ours.error;
        ASSERT_EQ(ours.picture.width, reference.picture.width) << c.name;
        ASSERT_EQ(ours.picture.height, reference.picture.height) << c.name;
        const double share =
            static_cast<double>(CountDiffering(reference.picture, ours.picture, 16)) /
            (static_cast<double>(reference.picture.width) * reference.picture.height);
        std::printf("metafile agreement: %-16s %dx%d  %6.2f%% of pixels differ (limit %.0f%%)\n", c.name,
                    reference.picture.width, reference.picture.height, 100 * share, 100 * c.limit);
        EXPECT_LE(share, c.limit) << c.name;
    }
}
#endif

} // namespace
