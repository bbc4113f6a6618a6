// The portable metafile player: sizes from headers, golden pixels of small drawings whose
// GDI result is unambiguous, and hostile records that must end cleanly (run under
// AddressSanitizer in the linux-asan preset).
#include "platform/MetafileRecords.h"
#include "platform/portable/PortableMetafilePlayer.h"
#include "tests/support/MetafileWriter.h"

#include <gtest/gtest.h>

#include <cstring>

namespace vx::test {
namespace {

constexpr COLORREF white = RGB(255, 255, 255), red = RGB(255, 0, 0), blue = RGB(0, 0, 255), black = 0;

// Stock objects of enhanced metafiles.
constexpr std::uint32_t nullPen = 0x80000008, blackPen = 0x80000007;

class Canvas {
public:
    Canvas(int width, int height)
        : m_stride(((24u * width + 31) / 32) * 4),
          m_bits(m_stride * height, 0xAB), m_bitmap{m_bits.data(), width, height, m_stride}
    {}
    const Rgb24Bitmap& Bitmap() const { return m_bitmap; }
    // The colour at (x, y), y counted from the top.
    COLORREF At(int x, int y) const
    {
        const std::uint8_t* p = &m_bits[(m_bitmap.height - 1 - y) * m_stride + 3 * x];
        return RGB(p[2], p[1], p[0]);
    }
    bool operator==(const Canvas& other) const { return m_bits == other.m_bits; }

private:
    std::uint32_t m_stride;
    std::vector<std::uint8_t> m_bits;
    Rgb24Bitmap m_bitmap;
};

PortableMetafilePlayer& Player()
{
    static PortableMetafilePlayer player(SystemTextRenderer());
    return player;
}

Canvas Play(const Bytes& bytes, bool enhanced, int width, int height)
{
    Canvas canvas(width, height);
    auto metafile = enhanced ? Player().OpenEnhancedMetafile(bytes.data(), bytes.size())
                             : Player().OpenWindowsMetafile(bytes.data(), bytes.size());
    EXPECT_TRUE(metafile);
    if (metafile) {
        EXPECT_TRUE(metafile->Play(canvas.Bitmap(), white, DecodePackedDib24));
    }
    return canvas;
}

// An enhanced metafile whose frame is 20 x 20 pixels of a reference device of 1 pixel per
// millimetre, so that it plays 1:1 onto a 20 x 20 target.
EmfWriter Emf20()
{
    return EmfWriter(RECT{0, 0, 19, 19}, RECT{0, 0, 2000, 2000}, {1000, 1000}, {1000, 1000});
}

// A rectangle with a one-pixel black outline on columns 2 and 11 and rows 3 and 8, red
// inside: what GDI plays from an enhanced metafile's (2, 3)-(11, 8), whose box includes its
// right and bottom edges, and from a Windows metafile's (2, 3)-(12, 9), which does not.
void ExpectOutlinedRectangle(const Canvas& c)
{
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x) {
            const bool inside = x >= 2 && x <= 11 && y >= 3 && y <= 8;
            const bool edge = inside && (x == 2 || x == 11 || y == 3 || y == 8);
            ASSERT_EQ(c.At(x, y), edge ? black : inside ? red : white) << x << "," << y;
        }
}

TEST(PortableMetafilePlayer, ScreenIsNinetySixDotsPerInchOnWhite)
{
    const MetafileScreen screen = Player().Screen();
    EXPECT_EQ(screen.pixelsPerInchX, 96);
    EXPECT_EQ(screen.pixelsPerInchY, 96);
    EXPECT_EQ(screen.windowColour, white);
}

// Fault: bounds taken from the frame or shifted, or a Windows metafile's converted frame wrong.
TEST(PortableMetafilePlayer, BoundsComeFromTheHeaders)
{
    const Bytes emf = EmfWriter(RECT{5, 6, 104, 56}, RECT{0, 0, 2646, 1323}).Metafile();
    const auto enhanced = Player().OpenEnhancedMetafile(emf.data(), emf.size());
    ASSERT_TRUE(enhanced);
    const RECT b = enhanced->Bounds();
    EXPECT_EQ(std::vector<LONG>({b.left, b.top, b.right, b.bottom}), std::vector<LONG>({5, 6, 104, 56}));

    const Bytes wmf = WmfWriter().Metafile();
    const auto windows = Player().OpenWindowsMetafile(wmf.data(), wmf.size());
    ASSERT_TRUE(windows);
    // 100 mm at 96 pixels per inch.
    EXPECT_EQ(windows->Bounds().right - windows->Bounds().left, 378);
}

// Fault: GDI's rectangle conventions (right and bottom exclusive, pen inside) broken.
TEST(PortableMetafilePlayer, RectangleInTextMode)
{
    const Bytes emf = Emf20()
                          .CreateBrush(1, 0, red, 0)
                          .SelectObject(1)
                          .SelectObject(blackPen)
                          .Rectangle(RECT{2, 3, 11, 8})
                          .Metafile();
    ExpectOutlinedRectangle(Play(emf, true, 20, 20));
}

// Fault: window and viewport extents or origins mapped wrongly.
TEST(PortableMetafilePlayer, RectangleInAnisotropicModeMatches)
{
    const Bytes emf = Emf20()
                          .SetMapMode(8)
                          .SetWindowOrg(100, 100)
                          .SetWindowExt(100, 100)
                          .SetViewportExt(20, 20)
                          .CreateBrush(1, 0, red, 0)
                          .SelectObject(1)
                          .Rectangle(RECT{110, 115, 155, 140})
                          .Metafile();
    ExpectOutlinedRectangle(Play(emf, true, 20, 20));

    // A Windows metafile's window is stretched over the whole target.
    const Bytes wmf = WmfWriter()
                          .SetWindowOrg(100, 100)
                          .SetWindowExt(20, 20)
                          .CreateBrush(0, red, 0)
                          .SelectObject(0)
                          .Rectangle(102, 103, 112, 109)
                          .Metafile();
    ExpectOutlinedRectangle(Play(wmf, false, 20, 20));
}

// Fault: state restored by RestoreDC incomplete, or a world transform ignored.
TEST(PortableMetafilePlayer, SavedBrushAndWorldTransformApply)
{
    const Bytes emf = Emf20()
                          .CreateBrush(1, 0, red, 0)
                          .CreateBrush(2, 0, blue, 0)
                          .SelectObject(1)
                          .Record(33, {}) // SaveDC
                          .SelectObject(2)
                          .WorldTransform({3, 0, 0, 3, 0, 0}, 0)
                          .Record(34, {-1}) // RestoreDC
                          .WorldTransform({1, 0, 0, 1, 1, 1}, 4)
                          .WorldTransform({1, 0, 0, 1, 1, 2}, 2)
                          .Rectangle(RECT{0, 0, 9, 5})
                          .Metafile();
    ExpectOutlinedRectangle(Play(emf, true, 20, 20));
}

// Fault: clip rectangle ignored or applied off by one; an ellipse drawn outside its box.
TEST(PortableMetafilePlayer, ClippedEllipse)
{
    const Bytes emf = Emf20()
                          .CreateBrush(1, 0, blue, 0)
                          .SelectObject(1)
                          .SelectObject(nullPen)
                          .IntersectClipRect(RECT{0, 0, 10, 20})
                          .Ellipse(RECT{0, 0, 21, 21})
                          .Metafile();
    const Canvas c = Play(emf, true, 20, 20);
    int painted = 0;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x) {
            ASSERT_TRUE(c.At(x, y) == blue || c.At(x, y) == white);
            if (x >= 10) {
                ASSERT_EQ(c.At(x, y), white) << x << "," << y;
            }
            painted += c.At(x, y) == blue;
        }
    EXPECT_EQ(c.At(0, 0), white);
    EXPECT_EQ(c.At(0, 10), blue);
    EXPECT_EQ(c.At(9, 0), blue);
    EXPECT_EQ(c.At(9, 19), blue);
    EXPECT_NEAR(painted, 3.14159 * 100 / 2, 12); // half a disc of radius 10
}

// Fault: DIB rows taken top-down, source rectangle counted from the wrong end, stretch wrong.
TEST(PortableMetafilePlayer, DibIsStretchedUpright)
{
    const Bytes dib = PackedDib24(2, 2, {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF});
    const auto expect = [](const Canvas& c) {
        EXPECT_EQ(c.At(3, 3), white);
        EXPECT_EQ(c.At(4, 4), red);
        EXPECT_EQ(c.At(11, 4), RGB(0, 255, 0));
        EXPECT_EQ(c.At(4, 11), blue);
        EXPECT_EQ(c.At(7, 7), red);
        EXPECT_EQ(c.At(8, 8), white);
        EXPECT_EQ(c.At(12, 12), white);
        EXPECT_EQ(c.At(12, 4), white);
    };
    expect(Play(Emf20().StretchDibits(RECT{4, 4, 12, 12}, dib).Metafile(), true, 20, 20));
    expect(Play(WmfWriter().SetWindowExt(20, 20).StretchDib(4, 4, 8, 8, dib, 2, 2).Metafile(), false, 20, 20));
}

// ---- Hostile input ----------------------------------------------------------------------

Bytes WithU32(Bytes bytes, std::size_t offset, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes.at(offset + i) = static_cast<std::uint8_t>(value >> (8 * i));
    return bytes;
}

Bytes Truncated(Bytes bytes, std::size_t size)
{
    bytes.resize(size);
    return bytes;
}

Bytes Repeated(std::uint16_t function, int times)
{
    WmfWriter w;
    for (int i = 0; i < times; ++i)
        w.Record(function, {});
    return w.Metafile();
}

// An EMF record of `type` whose 32-bit fields after type and size are `fields`, with a filled
// rectangle after it to show playback went on.
Bytes EmfWith(std::uint32_t type, std::initializer_list<std::int32_t> fields)
{
    return Emf20().Record(type, fields).Rectangle(RECT{1, 1, 5, 5}).Metafile();
}

// What becomes of a hostile file: its header refused by the player; its header taken but its
// records refused by the check the codec makes before any player sees them; or all taken.
enum Verdict { refused, lying, sound };

struct HostileCase {
    const char* name;
    Bytes bytes;
    bool enhanced;
    Verdict verdict;
};

// Fault: any of these reading out of bounds, looping without end, allocating by a lying count
// or crashing, or a lie GDI would trust passing the records' check; each must open (or be
// refused) and play cleanly.
TEST(PortableMetafilePlayer, HostileInputEndsCleanly)
{
    const std::size_t first = EmfWriter::emfHeaderSize; // where the first EMF record starts
    const Bytes dib = PackedDib24(2, 2, {1, 2, 3, 4});
    const Bytes bigDib = WithU32(WithU32(dib, 4, 0x7FFFFFFF), 8, 0x7FFFFFFF);
    const Bytes polygon = WmfWriter().Polygon({{1, 1}, {9, 1}, {9, 9}}).Metafile();
    const Bytes emfPolygon = Emf20().Poly16(86, {{1, 1}, {9, 1}, {9, 9}}).Metafile();
    const Bytes emfText = Emf20().ExtTextW(1, 1, 0, u"abc").Metafile();
    const Bytes emfBlit = Emf20().StretchDibits(RECT{1, 1, 5, 5}, dib).Metafile();
    WmfWriter manyPens;
    for (int i = 0; i < 40; ++i)
        manyPens.CreatePen(0, 3, red).SelectObject(static_cast<std::uint16_t>(i));
    EmfWriter deepEmf = Emf20();
    for (int i = 0; i < 20000; ++i)
        deepEmf.Record(33, {});
    deepEmf.Record(34, {-20000}).Record(34, {1});

    const HostileCase cases[] = {
        {"WMF header cut short", Truncated(WmfWriter().Metafile(), 10), false, refused},
        {"WMF header size beyond the data", WithU32(WmfWriter().Metafile(), 2, 0xFFFF), false, refused},
        {"WMF record longer than the data", WithU32(polygon, 18, 0x7FFFFFFF), false, lying},
        {"WMF record of size zero", WithU32(polygon, 18, 0), false, lying},
        {"WMF polygon count beyond its record", WmfWriter().Record(0x0324, {30000, 1, 1, 2, 2}).Metafile(), false,
         lying},
        {"WMF poly-polygon counts lying", WmfWriter().Record(0x0538, {3, 2, 30000, 2, 1, 1, 5, 5}).Metafile(), false,
         lying},
        {"WMF poly-polygon count beyond its record", WmfWriter().Record(0x0538, {-1, 2}).Metafile(), false, lying},
        {"WMF object indices out of range", WmfWriter().SelectObject(500).DeleteObject(65535).Metafile(), false, lying},
        {"WMF more objects than slots", manyPens.Metafile(4), false, lying},
        {"WMF object index at the table's size", WmfWriter().DeleteObject(16).Metafile(16), false, lying},
        {"WMF deep SaveDC nesting", Repeated(0x001E, 30000), false, sound},
        {"WMF RestoreDC far beyond the saved", WmfWriter().SaveDC().RestoreDC(-30000).RestoreDC(30000).Metafile(),
         false, sound},
        {"WMF stream without EOF", Truncated(polygon, polygon.size() - 6), false, lying},
        {"WMF text longer than its record", WmfWriter().Record(0x0521, {2000, 0x4141}).Metafile(), false, lying},
        {"WMF extended text longer than its record", WmfWriter().Record(0x0A32, {1, 1, 3000, 6, 0, 0}).Metafile(),
         false, lying},
        {"WMF bitmap claiming a huge size", WmfWriter().StretchDib(0, 0, 9, 9, bigDib, 2, 2).Metafile(), false, lying},
        {"WMF bitmap with its rows cut", WmfWriter().StretchDib(0, 0, 9, 9, Truncated(dib, 44), 2, 2).Metafile(), false,
         lying},
        {"WMF bitmap without its colour table",
         WmfWriter().StretchDib(0, 0, 9, 9, WithU32(dib, 14, 8), 2, 2).Metafile(), false, lying},
        {"WMF blit records cut short",
         WmfWriter().Record(0x0F43, {1}).Record(0x0940, {}).Record(0x0B41, {1, 2}).Metafile(), false, lying},
        {"WMF extents of zero", WmfWriter().SetWindowExt(0, 0).SetViewportExt(0, 0).Rectangle(0, 0, 5, 5).Metafile(),
         false, sound},
        {"EMF header size beyond the data", WithU32(Emf20().Metafile(), 4, 0x10000), true, refused},
        {"EMF without signature", WithU32(Emf20().Metafile(), 40, 0), true, refused},
        {"EMF record size not a multiple of four", WithU32(emfPolygon, first + 4, 41), true, lying},
        {"EMF record size below eight", WithU32(emfPolygon, first + 4, 4), true, lying},
        {"EMF record longer than the data", WithU32(emfPolygon, first + 4, 0xFFFFFFF0), true, lying},
        {"EMF polygon count beyond its record", WithU32(emfPolygon, first + 24, 0x40000000), true, lying},
        {"EMF poly-polygon counts lying", EmfWith(91, {0, 0, 0, 0, 2, 3, 1, 0x7FFFFFFF, 0, 0, 0}), true, lying},
        {"EMF poly-polygon count beyond its record", EmfWith(8, {0, 0, 0, 0, 0x7FFFFFFF, 3}), true, lying},
        {"EMF text offset beyond its record", WithU32(emfText, first + 48, 0xFFFFFF00), true, lying},
        {"EMF text count beyond its record", WithU32(emfText, first + 44, 0x7FFFFFFF), true, lying},
        {"EMF text spacing beyond its record", WithU32(emfText, first + 72, 0xFFFFFF00), true, lying},
        {"EMF bitmap offset beyond its record", WithU32(emfBlit, first + 56, 0xFFFFFFF0), true, lying},
        {"EMF bitmap size beyond its record", WithU32(emfBlit, first + 60, 0x7FFFFFFF), true, lying},
        {"EMF bitmap rows beyond its bits", WithU32(emfBlit, first + 60, 4), true, lying},
        {"EMF object indices out of range", EmfWith(37, {0xFFFF}), true, lying},
        {"EMF stock object deleted", EmfWith(40, {static_cast<std::int32_t>(blackPen)}), true, lying},
        {"EMF object created beyond the table", Emf20().CreatePen(60000, 0, 1, red).SelectObject(60000).Metafile(),
         true, lying},
        {"EMF clip region count beyond its record", EmfWith(75, {32, 5, 32, 1, 0x7FFFFFFF, 0, 0, 0, 9, 9}), true, lying},
        {"EMF deep SaveDC nesting", deepEmf.Metafile(), true, sound},
        {"EMF stream without EOF", Truncated(emfPolygon, emfPolygon.size() - 20), true, lying},
        {"EMF huge coordinates",
         Emf20()
             .Ellipse(RECT{-0x8000000, -0x8000000, 0x7FFFFFF, 0x7FFFFFF})
             .Rectangle(RECT{-0x8000000, 0, 0x7FFFFFF, 5})
             .Poly32(4, {{-0x8000000, 0}, {0x7FFFFFF, 19}})
             .Metafile(),
         true, sound},
        {"EMF coordinates past GDI's 27 bits", Emf20().Rectangle(RECT{0, 0, 0x8000000, 5}).Metafile(), true, lying},
        {"EMF world transform of infinities",
         Emf20()
             .WorldTransform({1e38f, 0, 0, 1e38f, 0, 0}, 0)
             .WorldTransform({1e38f, 0, 0, 1e38f, 0, 0}, 2)
             .Rectangle(RECT{0, 0, 5, 5})
             .Metafile(),
         true, sound},
        {"EMF wide pen with huge dashes",
         Emf20()
             .ExtCreatePen(1, 0x10007, 3, red, {0x7FFFFFFF, 1, 0, 0})
             .SelectObject(1)
             .Poly32(4, {{0, 0}, {0x7FFFFFF, 19}})
             .Metafile(),
         true, sound},
    };
    for (const HostileCase& c : cases) {
        SCOPED_TRACE(c.name);
        auto metafile = c.enhanced ? Player().OpenEnhancedMetafile(c.bytes.data(), c.bytes.size())
                                   : Player().OpenWindowsMetafile(c.bytes.data(), c.bytes.size());
        const metafile::ByteView view(c.bytes.data(), c.bytes.size());
        EXPECT_EQ(c.enhanced ? metafile::EmfRecordsAreWhole(view) : metafile::WmfRecordsAreWhole(view),
                  c.verdict == sound);
        ASSERT_EQ(metafile != nullptr, c.verdict != refused);
        if (!metafile)
            continue;
        Canvas canvas(20, 20);
        EXPECT_TRUE(metafile->Play(canvas.Bitmap(), white, DecodePackedDib24));
    }
}

} // namespace
} // namespace vx::test
