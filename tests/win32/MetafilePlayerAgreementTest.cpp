// Our own metafile player against GDI's: test metafiles covering the records real files use
// (mapping modes, transforms, pens, brushes, shapes, paths, clipping, bitmaps, text; WMF and
// EMF) are decoded through VxImageWMF with each player. Sizes and the background must agree
// exactly; the share of pixels that differ by more than 16 in a channel is printed per file
// and must stay within 2% (5% for text). VANTRY_METAFILE_DUMP names a folder that receives
// both renderings of each file as PPM, for a look at what differs.
#include "image/VxStream.h"
#include "image/codecs/VxImageWMF.h"
#include "platform/portable/FreeTypeTextRenderer.h"
#include "platform/portable/PortableMetafilePlayer.h"
#include "platform/win32/GdiMetafilePlayer.h"
#include "tests/support/MetafileWriter.h"
#include "tests/support/PixelOracle.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace vx::test;

constexpr std::int16_t kWidth = 200;
constexpr std::int16_t kHeight = 150;

// Colours as COLORREF (0x00BBGGRR).
constexpr std::uint32_t kRed = 0x0000FF, kGreen = 0x00A000, kBlue = 0xFF0000, kBlack = 0;
constexpr std::uint32_t kYellow = 0x00FFFF, kTeal = 0x808000, kPurple = 0x800080, kGrey = 0x808080;

std::filesystem::path FontFolder()
{
    const char* windows = std::getenv("WINDIR");
    return windows ? std::filesystem::path(windows) / "Fonts" : std::filesystem::path();
}

// Without fontconfig the portable player's text renderer is handed Tahoma, the face every
// text record here asks for.
vx::PortableMetafilePlayer& Portable()
{
    static vx::FreeTypeTextRenderer text([](const LOGFONTW& font, vx::FontFile& file) {
        file.path = (FontFolder() / (font.lfWeight >= 600 ? "tahomabd.ttf" : "tahoma.ttf")).string();
        file.faceIndex = 0;
        return true;
    });
    static vx::PortableMetafilePlayer player(text);
    return player;
}

Bytes Dib(int width, int height)
{
    std::vector<std::uint32_t> pixels;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            pixels.push_back((x * 255 / width) << 16 | (y * 255 / height) << 8 | ((x / 2 + y / 2) % 2 ? 0xC0 : 0x20));
    return PackedDib24(width, height, pixels);
}

// Parameter bytes of records the writer has no helper for.
struct Params {
    Bytes bytes;
    Params& U32(std::uint32_t v)
    {
        for (int i = 0; i < 4; ++i)
            bytes.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
        return *this;
    }
    Params& Rect(const RECT& r) { return U32(r.left).U32(r.top).U32(r.right).U32(r.bottom); }
    Params& Float(float f)
    {
        std::uint32_t v;
        std::memcpy(&v, &f, 4);
        return U32(v);
    }
    Params& Append(const Bytes& more)
    {
        bytes.insert(bytes.end(), more.begin(), more.end());
        return *this;
    }
};

std::vector<std::int16_t> Words(const Bytes& bytes)
{
    std::vector<std::int16_t> words;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
        words.push_back(static_cast<std::int16_t>(bytes[i] | bytes[i + 1] << 8));
    return words;
}

WmfWriter WmfFrame()
{
    WmfWriter w;
    w.SetMapMode(8 /* MM_ANISOTROPIC */).SetWindowOrg(0, 0).SetWindowExt(kWidth, kHeight);
    return w;
}

Bytes Placeable(const WmfWriter& w)
{
    return w.Placeable(0, 0, kWidth, kHeight, 96);
}

// Objects take the lowest free slot of the WMF object table, so each is selected by the slot
// it landed in.
Bytes WmfShapes()
{
    WmfWriter w = WmfFrame();
    w.CreatePen(0, 3, kBlue).SelectObject(0);     // 0: wide solid pen
    w.CreateBrush(0, kYellow, 0).SelectObject(1); // 1: solid brush
    w.Rectangle(5, 5, 60, 40).RoundRect(70, 5, 130, 40, 20, 14).Ellipse(140, 5, 195, 40);
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
    w.Polygon({{10, 100}, {50, 145}, {5, 120}, {55, 120}, {20, 145}});
    w.RestoreDC(-1);
    w.DeleteObject(4);
    w.SetPolyFillMode(1 /* ALTERNATE */);
    w.PolyPolygon({{{60, 100}, {100, 100}, {100, 145}, {60, 145}}, {{70, 110}, {90, 110}, {90, 135}, {70, 135}}});
    w.Polyline({{105, 100}, {120, 140}, {135, 100}, {150, 140}});
    w.MoveTo(155, 100).LineTo(195, 145);
    w.DeleteObject(3);
    w.CreatePen(0, 5, kRed).SelectObject(3); // the freed slot again
    w.SetROP2(7 /* R2_XORPEN */).MoveTo(155, 145).LineTo(195, 100);
    w.SetROP2(6 /* R2_NOT */).Rectangle(150, 120, 170, 130);
    w.SetROP2(13 /* R2_COPYPEN */);
    w.IntersectClipRect(0, 0, 100, 150).ExcludeClipRect(20, 50, 40, 70);
    w.SelectObject(1).Ellipse(0, 60, 140, 80);
    return Placeable(w);
}

Bytes WmfBitmaps()
{
    WmfWriter w = WmfFrame();
    const Bytes dib = Dib(16, 12);
    w.StretchDib(5, 5, 60, 45, dib, 16, 12);
    // DIBSTRETCHBLT and DIBBITBLT: raster operation, source and destination boxes, DIB.
    const auto srcCopy = std::vector<std::int16_t>{0x0020, 0x00CC};
    std::vector<std::int16_t> stretch = srcCopy;
    for (std::int16_t v : {12, 16, 0, 0, 45, 60, 5, 70})
        stretch.push_back(v);
    for (std::int16_t v : Words(dib))
        stretch.push_back(v);
    w.Record(0x0B41, stretch);
    std::vector<std::int16_t> blit = srcCopy;
    for (std::int16_t v : {0, 0, 12, 16, 20, 140})
        blit.push_back(v);
    for (std::int16_t v : Words(dib))
        blit.push_back(v);
    w.Record(0x0940, blit);
    w.CreatePatternBrush(Dib(8, 8)).SelectObject(0);
    w.CreatePen(5 /* PS_NULL */, 0, 0).SelectObject(1);
    w.Rectangle(5, 60, 95, 145);
    w.PatBlt(100, 60, 95, 40, 0x00F00021 /* PATCOPY */);
    w.PatBlt(100, 105, 95, 40, 0x00550009 /* DSTINVERT */);
    return Placeable(w);
}

Bytes WmfText()
{
    WmfWriter w = WmfFrame();
    w.Font(-16, 400, false, "Tahoma").SelectObject(0);
    w.SetTextColor(kBlue).SetBkMode(1).Text(5, 5, "Metafile text");
    w.SetTextColor(kRed).SetBkMode(2).SetBkColor(kYellow).ExtText(5, 30, 0, "Opaque cells");
    w.Font(-22, 700, false, "Tahoma").SelectObject(1);
    w.SetBkMode(1).SetTextColor(kGreen);
    w.SetTextAlign(6 /* TA_CENTER */).Text(100, 60, "Centred bold");
    w.SetTextAlign(2 /* TA_RIGHT */).Text(195, 90, "Right");
    w.SetTextAlign(24 /* TA_BASELINE */).SelectObject(0).SetTextColor(kBlack).Text(5, 140, "Baseline 0123");
    return Placeable(w);
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
    Params poly;
    poly.Rect({100, 105, 145, 145}).U32(2).U32(8).U32(4).U32(4);
    for (auto [x, y] :
         {std::pair{100, 105}, {145, 105}, {145, 145}, {100, 145}, {110, 115}, {135, 115}, {135, 135}, {110, 135}})
        poly.bytes.insert(poly.bytes.end(), {static_cast<std::uint8_t>(x), 0, static_cast<std::uint8_t>(y), 0});
    e.Record(91, poly.bytes);
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
    Params region;
    region.U32(32 + 32).U32(5 /* RGN_COPY */);
    region.U32(32).U32(1).U32(2).U32(32).Rect({105, 75, 195, 150});
    region.Rect({105, 75, 150, 110}).Rect({150, 110, 195, 150});
    e.Record(75, region.bytes);
    e.Rectangle({100, 70, 200, 150});
    e.Record(75, Params().U32(0).U32(5).bytes); // back to no clipping
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
    e.SetViewportOrg(110, 5).SetViewportExt(80, 40).Rectangle({10, 10, 90, 90}).Record(34, {-1});
    // Isotropic: the same window shrinks to keep its proportions.
    e.CreateBrush(4, 0, kGrey, 0).SelectObject(4);
    e.Record(33, {}).SetMapMode(7).SetWindowOrg(-50, -50).SetWindowExt(100, 100);
    e.SetViewportOrg(50, 110).SetViewportExt(90, 60).Ellipse({-40, -40, 40, 40}).Record(34, {-1});
    e.SelectObject(0x80000000 | 8 /* NULL_PEN */).Rectangle({120, 70, 190, 140});
    return e.Metafile();
}

// BitBlt / StretchBlt from a DIB: bounds, destination box, raster operation, source origin,
// transform, background colour, colour usage, offsets and sizes of the header and the bits.
Bytes BlitRecord(const RECT& box, const Bytes& dib, bool stretch)
{
    const std::int32_t w = dib[4] | dib[5] << 8, h = dib[8] | dib[9] << 8;
    const std::uint32_t fixed = stretch ? 108 : 100; // record header included
    Params p;
    p.Rect(box).U32(box.left).U32(box.top).U32(box.right - box.left).U32(box.bottom - box.top);
    p.U32(0x00CC0020).U32(0).U32(0).Float(1).Float(0).Float(0).Float(1).Float(0).Float(0);
    p.U32(0).U32(0).U32(fixed).U32(40).U32(fixed + 40).U32(static_cast<std::uint32_t>(dib.size() - 40));
    if (stretch)
        p.U32(w).U32(h);
    return p.Append(dib).bytes;
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
    Params p;
    p.Rect({0, 0, -1, -1}).U32(1).Float(0).Float(0).U32(5).U32(140).U32(static_cast<std::uint32_t>(text.size()));
    p.U32(76).U32(0).Rect({0, 0, 0, 0}).U32(76 + 12);
    p.bytes.insert(p.bytes.end(), text.begin(), text.end());
    p.bytes.resize(76 + 12 - 8, 0);
    for (std::size_t i = 0; i < text.size(); ++i)
        p.U32(10);
    e.Record(83, p.bytes);
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

TEST(MetafilePlayerAgreement, BothPlayersSeeTheSameScreenAndBackground)
{
    vx::GdiMetafilePlayer gdi;
    const vx::MetafileScreen a = gdi.Screen(), b = Portable().Screen();
    EXPECT_EQ(a.pixelsPerInchX, b.pixelsPerInchX);
    EXPECT_EQ(a.pixelsPerInchY, b.pixelsPerInchY);
    EXPECT_EQ(a.windowColour, b.windowColour);
    const Bytes empty = EmfWriter(RECT{0, 0, 40, 30}, RECT{0, 0, 1000, 1000}).Metafile();
    const Rendering x = Render(gdi, empty), y = Render(Portable(), empty);
    ASSERT_TRUE(x.ok && y.ok) << x.error << " / " << y.error;
    EXPECT_EQ(x.picture, y.picture);
}

TEST(MetafilePlayerAgreement, TestMetafilesLookAlikeOnBothPlayers)
{
    vx::GdiMetafilePlayer gdi;
    const char* dump = std::getenv("VANTRY_METAFILE_DUMP");
    for (const AgreementCase& c : kCases) {
        const Bytes bytes = c.make();
        const Rendering reference = Render(gdi, bytes), ours = Render(Portable(), bytes);
        ASSERT_TRUE(reference.ok) << c.name << ": " << reference.error;
        ASSERT_TRUE(ours.ok) << c.name << ": " << ours.error;
        ASSERT_EQ(ours.picture.width, reference.picture.width) << c.name;
        ASSERT_EQ(ours.picture.height, reference.picture.height) << c.name;
        const double share = static_cast<double>(CountDiffering(reference.picture, ours.picture, 16)) /
                             (static_cast<double>(reference.picture.width) * reference.picture.height);
        std::printf("metafile agreement: %-16s %dx%d  %6.2f%% of pixels differ (limit %.0f%%)\n", c.name,
                    reference.picture.width, reference.picture.height, 100 * share, 100 * c.limit);
        EXPECT_LE(share, c.limit) << c.name;
        if (dump) {
            WritePnm(std::filesystem::path(dump) / (std::string(c.name) + "-gdi.ppm"), reference.picture);
            WritePnm(std::filesystem::path(dump) / (std::string(c.name) + "-portable.ppm"), ours.picture);
            WriteFileBytes(std::filesystem::path(dump) / (std::string(c.name) + (c.name[0] == 'w' ? ".wmf" : ".emf")),
                           bytes);
        }
    }
}

} // namespace
