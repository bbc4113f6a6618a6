// The portable metafile player: sizes from headers, golden pixels of small drawings whose
// GDI result is unambiguous, and hostile records that must end cleanly (run under
// AddressSanitizer in the linux-asan preset) and that the records' check refuses.
#include "platform/portable/PortableMetafilePlayer.h"
#include "image/codecs/VxImageWMF.h"
#include "platform/MetafileRecords.h"
#include "tests/support/MetafileWriter.h"

#include <gtest/gtest.h>

namespace vx::test {
namespace {

constexpr COLORREF white = RGB(255, 255, 255), red = RGB(255, 0, 0), blue = RGB(0, 0, 255), black = 0;
constexpr std::uint32_t nullPen = 0x80000008, blackPen = 0x80000007; // stock objects of enhanced metafiles

std::unique_ptr<PlayableMetafile> Open(const Bytes& bytes, bool enhanced)
{
    static PortableMetafilePlayer player(SystemTextRenderer());
    return enhanced ? player.OpenEnhancedMetafile(bytes.data(), bytes.size())
                    : player.OpenWindowsMetafile(bytes.data(), bytes.size());
}

// The colours a metafile plays onto a 20 x 20 target, top row first; none when it does not play.
struct Pixels {
    std::vector<COLORREF> colours;
    COLORREF At(int x, int y) const { return colours.at(static_cast<std::size_t>(20 * y + x)); }
};

Pixels Play(const Bytes& bytes, bool enhanced)
{
    constexpr std::uint32_t stride = 60;
    std::vector<std::uint8_t> bits(stride * 20, 0xAB);
    const auto metafile = Open(bytes, enhanced);
    Pixels pixels;
    if (!metafile || !metafile->Play(Rgb24Bitmap{bits.data(), 20, 20, stride}, white, &VxImageWMF::DecodePackedDib))
        return pixels;
    for (int y = 19; y >= 0; --y) // rows are stored bottom-up
        for (int x = 0; x < 20; ++x) {
            const std::uint8_t* p = &bits[y * stride + 3 * x];
            pixels.colours.push_back(RGB(p[2], p[1], p[0]));
        }
    return pixels;
}

// An enhanced metafile whose frame is 20 x 20 pixels of a reference device of 1 pixel per
// millimetre, so that it plays 1:1 onto a 20 x 20 target.
EmfWriter Emf20()
{
    return EmfWriter(RECT{0, 0, 19, 19}, RECT{0, 0, 2000, 2000}, {1000, 1000}, {1000, 1000});
}

// A rectangle with a one-pixel black outline on columns 2 and 11 and rows 3 and 8, red inside:
// what GDI plays from an enhanced metafile's (2, 3)-(11, 8), whose box includes its right and
// bottom edges, and from a Windows metafile's (2, 3)-(12, 9), which does not.
// Faults: those conventions broken or the pen drawn outside; window and viewport extents or
// origins mapped wrongly; a Windows metafile's window not stretched over the whole target;
// state restored by RestoreDC incomplete; a world transform ignored.
TEST(PortableMetafilePlayer, OutlinedRectangleComesOutTheSameEveryWay)
{
    EmfWriter text = Emf20(), mapped = Emf20(), transformed = Emf20();
    text.CreateBrush(1, 0, red, 0).SelectObject(1).SelectObject(blackPen).Rectangle({2, 3, 11, 8});
    mapped.SetMapMode(8).SetWindowOrg(100, 100).SetWindowExt(100, 100).SetViewportExt(20, 20);
    mapped.CreateBrush(1, 0, red, 0).SelectObject(1).Rectangle({110, 115, 155, 140});
    transformed.CreateBrush(1, 0, red, 0).CreateBrush(2, 0, blue, 0).SelectObject(1).Record(33, {}); // SaveDC
    transformed.SelectObject(2).WorldTransform({3, 0, 0, 3, 0, 0}, 0).Record(34, {-1});              // RestoreDC
    transformed.WorldTransform({1, 0, 0, 1, 1, 1}, 4).WorldTransform({1, 0, 0, 1, 1, 2}, 2).Rectangle({0, 0, 9, 5});
    WmfWriter windows;
    windows.SetWindowOrg(100, 100).SetWindowExt(20, 20).CreateBrush(0, red, 0).SelectObject(0);
    const Pixels cases[] = {Play(text.Metafile(), true), Play(mapped.Metafile(), true),
                            Play(transformed.Metafile(), true),
                            Play(windows.Rectangle(102, 103, 112, 109).Metafile(), false)};
    for (std::size_t i = 0; i < std::size(cases); ++i)
        for (int y = 0; y < 20; ++y)
            for (int x = 0; x < 20; ++x) {
                const bool inside = x >= 2 && x <= 11 && y >= 3 && y <= 8;
                const bool edge = inside && (x == 2 || x == 11 || y == 3 || y == 8);
                ASSERT_EQ(cases[i].At(x, y), edge     ? black
                                             : inside ? red
                                                      : white)
                    << "case " << i << ": " << x << "," << y;
            }
}

// Fault: clip rectangle ignored or applied off by one; an ellipse drawn outside its box.
TEST(PortableMetafilePlayer, ClippedEllipse)
{
    EmfWriter emf = Emf20();
    emf.CreateBrush(1, 0, blue, 0).SelectObject(1).SelectObject(nullPen).IntersectClipRect({0, 0, 10, 20});
    const Pixels c = Play(emf.Ellipse({0, 0, 21, 21}).Metafile(), true);
    int painted = 0;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x) {
            ASSERT_TRUE(c.At(x, y) == blue || (c.At(x, y) == white)) << x << "," << y;
            ASSERT_FALSE(x >= 10 && c.At(x, y) == blue) << x << "," << y;
            painted += c.At(x, y) == blue;
        }
    EXPECT_EQ(std::vector({c.At(0, 0), c.At(0, 10), c.At(9, 0), c.At(9, 19)}), std::vector({white, blue, blue, blue}));
    EXPECT_NEAR(painted, 3.14159 * 100 / 2, 12); // half a disc of radius 10
}

// ---- Hostile input ----------------------------------------------------------------------

// What becomes of a hostile file: its header refused by the player; its header taken but its
// records refused by the check the codec makes before any player sees them; or all taken.
enum Verdict { refused, lying, sound };

struct HostileCase {
    const char* name;
    Bytes bytes;
    Verdict verdict;
};

// Fault: any of these reading out of bounds, looping without end, allocating by a lying count
// or crashing, or a lie GDI would trust passing the records' check; each must open (or be
// refused) and play cleanly.
TEST(PortableMetafilePlayer, HostileInputEndsCleanly)
{
    const Bytes dib = PackedDib24(2, 2, {1, 2, 3, 4});
    const auto wmf = [](std::uint16_t function, std::initializer_list<std::int16_t> words) {
        return WmfWriter().Record(function, words).Metafile();
    };
    const Bytes polygon = wmf(0x0324, {3, 1, 1, 9, 1, 9, 9});
    WmfWriter manyPens, deepWmf;
    for (int i = 0; i < 40; ++i)
        manyPens.CreatePen(0, 3, red).SelectObject(static_cast<std::uint16_t>(i));
    for (int i = 0; i < 30000; ++i)
        deepWmf.SaveDC();
    const auto stretched = [](const Bytes& dib) { return WmfWriter().StretchDib(0, 0, 9, 9, dib, 2, 2).Metafile(); };
    // Awkward but whole: a box given inside out, a dash-dot-dot pen, a control character, text
    // wholly off the picture, a bitmap's source box taller than the bitmap.
    WmfWriter awkward;
    awkward.SetWindowExt(20, 20).CreatePen(4, 1, red).SelectObject(0).Rectangle(9, 9, 1, 1).LineTo(19, 19);
    awkward.Text(2, 2, "a\tb").Text(-500, 2, "gone").StretchDib(0, 0, 9, 9, dib, 2, 4);
    const HostileCase wmfCases[] = {
        {"header cut short", Bytes(polygon.begin(), polygon.begin() + 10), refused},
        {"header size beyond the data", WithField(WmfWriter().Metafile(), 2, 0xFFFF), refused},
        {"record longer than the data", WithField(polygon, 18, 0x7FFFFFFF), lying},
        {"record of size zero", WithField(polygon, 18, 0), lying},
        {"stream without EOF", Bytes(polygon.begin(), polygon.end() - 6), lying},
        {"polygon count beyond its record", wmf(0x0324, {30000, 1, 1, 2, 2}), lying},
        {"poly-polygon counts lying", wmf(0x0538, {3, 2, 30000, 2, 1, 1, 5, 5}), lying},
        {"poly-polygon count beyond its record", wmf(0x0538, {-1, 2}), lying},
        {"object indices out of range", WmfWriter().SelectObject(500).DeleteObject(65535).Metafile(), lying},
        {"object index at the table's size", WmfWriter().DeleteObject(16).Metafile(16), lying},
        {"more objects than slots", manyPens.Metafile(4), lying},
        {"deep SaveDC nesting", deepWmf.Metafile(), sound},
        {"RestoreDC far beyond the saved", WmfWriter().SaveDC().RestoreDC(-30000).RestoreDC(30000).Metafile(), sound},
        {"text longer than its record", wmf(0x0521, {2000, 0x4141}), lying},
        {"extended text longer than its record", wmf(0x0A32, {1, 1, 3000, 6, 0, 0}), lying},
        {"bitmap claiming a huge size", stretched(WithField(WithField(dib, 4, 0x7FFFFFFF), 8, 0x7FFFFFFF)), lying},
        {"bitmap with its rows cut", stretched(Bytes(dib.begin(), dib.begin() + 44)), lying},
        {"bitmap without its colour table", stretched(WithField(dib, 14, 8)), lying},
        {"blit records cut short", WmfWriter().Record(0x0F43, {1}).Record(0x0940, {}).Record(0x0B41, {1, 2}).Metafile(),
         lying},
        {"extents of zero", WmfWriter().SetWindowExt(0, 0).SetViewportExt(0, 0).Rectangle(0, 0, 5, 5).Metafile(),
         sound},
        {"awkward records", awkward.Metafile(), sound},
    };
    // An EMF record of `type` with these 32-bit fields, and a filled rectangle after it.
    const auto emf = [](std::uint32_t type, std::initializer_list<std::int32_t> fields) {
        return Emf20().Record(type, fields).Rectangle({1, 1, 5, 5}).Metafile();
    };
    const std::size_t first = EmfWriter::emfHeaderSize; // where the first record starts
    const Bytes emfPolygon = Emf20().Poly16(86, {{1, 1}, {9, 1}, {9, 9}}).Metafile();
    const Bytes text = Emf20().ExtTextW(1, 1, 0, u"abc").Metafile();
    const Bytes blit = Emf20().StretchDibits({1, 1, 5, 5}, dib).Metafile();
    EmfWriter deepEmf = Emf20(), big = Emf20(), infinite = Emf20(), dashed = Emf20();
    for (int i = 0; i < 20000; ++i)
        deepEmf.Record(33, {});
    big.Ellipse({-0x8000000, -0x8000000, 0x7FFFFFF, 0x7FFFFFF}).Rectangle({-0x8000000, 0, 0x7FFFFFF, 5});
    infinite.WorldTransform({1e38f, 0, 0, 1e38f, 0, 0}, 0).WorldTransform({1e38f, 0, 0, 1e38f, 0, 0}, 2);
    dashed.ExtCreatePen(1, 0x10007, 3, red, {0x7FFFFFFF, 1, 0, 0}).SelectObject(1); // a wide pen of user dashes
    const HostileCase emfCases[] = {
        {"header size beyond the data", WithField(Emf20().Metafile(), 4, 0x10000), refused},
        {"without signature", WithField(Emf20().Metafile(), 40, 0), refused},
        {"record size not a multiple of four", WithField(emfPolygon, first + 4, 41), lying},
        {"record size below eight", WithField(emfPolygon, first + 4, 4), lying},
        {"record longer than the data", WithField(emfPolygon, first + 4, 0xFFFFFFF0), lying},
        {"stream without EOF", Bytes(emfPolygon.begin(), emfPolygon.end() - 20), lying},
        {"polygon count beyond its record", WithField(emfPolygon, first + 24, 0x40000000), lying},
        {"poly-polygon counts lying", emf(91, {0, 0, 0, 0, 2, 3, 1, 0x7FFFFFFF, 0, 0, 0}), lying},
        {"poly-polygon count beyond its record", emf(8, {0, 0, 0, 0, 0x7FFFFFFF, 3}), lying},
        {"text offset beyond its record", WithField(text, first + 48, 0xFFFFFF00), lying},
        {"text count beyond its record", WithField(text, first + 44, 0x7FFFFFFF), lying},
        {"text spacing beyond its record", WithField(text, first + 72, 0xFFFFFF00), lying},
        {"bitmap offset beyond its record", WithField(blit, first + 56, 0xFFFFFFF0), lying},
        {"bitmap size beyond its record", WithField(blit, first + 60, 0x7FFFFFFF), lying},
        {"bitmap rows beyond its bits", WithField(blit, first + 60, 4), lying},
        {"object indices out of range", emf(37, {0xFFFF}), lying},
        {"stock object deleted", emf(40, {static_cast<std::int32_t>(blackPen)}), lying},
        {"object created beyond the table", Emf20().CreatePen(60000, 0, 1, red).SelectObject(60000).Metafile(), lying},
        {"clip region count beyond its record", emf(75, {32, 5, 32, 1, 0x7FFFFFFF, 0, 0, 0, 9, 9}), lying},
        {"coordinates past GDI's 27 bits", emf(43, {0, 0, 0x8000000, 5}), lying},
        {"deep SaveDC nesting", deepEmf.Record(34, {-20000}).Record(34, {1}).Metafile(), sound},
        {"huge coordinates", big.Poly32(4, {{-0x8000000, 0}, {0x7FFFFFF, 19}}).Metafile(), sound},
        {"world transform of infinities", infinite.Rectangle({0, 0, 5, 5}).Metafile(), sound},
        {"wide pen with huge dashes", dashed.Poly32(4, {{0, 0}, {0x7FFFFFF, 19}}).Metafile(), sound},
    };
    const auto check = [](const auto& cases, bool enhanced) {
        for (const HostileCase& c : cases) {
            SCOPED_TRACE(std::string(enhanced ? "EMF " : "WMF ") + c.name);
            const metafile::ByteView view(c.bytes.data(), c.bytes.size());
            EXPECT_EQ(enhanced ? metafile::EmfRecordsAreWhole(view) : metafile::WmfRecordsAreWhole(view),
                      c.verdict == sound);
            EXPECT_EQ(Open(c.bytes, enhanced) != nullptr, c.verdict != refused);
            EXPECT_EQ(Play(c.bytes, enhanced).colours.empty(), c.verdict == refused);
        }
    };
    check(wmfCases, false);
    check(emfCases, true);
}

} // namespace
} // namespace vx::test
