#include "platform/portable/EmfPlayback.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

namespace vx::metafile {

namespace {

enum EmfType : std::uint32_t {
    emrPolyBezier = 2,
    emrPolygon = 3,
    emrPolyline = 4,
    emrPolyBezierTo = 5,
    emrPolylineTo = 6,
    emrPolyPolyline = 7,
    emrPolyPolygon = 8,
    emrSetWindowExtEx = 9,
    emrSetWindowOrgEx = 10,
    emrSetViewportExtEx = 11,
    emrSetViewportOrgEx = 12,
    emrSetBrushOrgEx = 13,
    emrSetPixelV = 15,
    emrSetMapMode = 17,
    emrSetBkMode = 18,
    emrSetPolyFillMode = 19,
    emrSetRop2 = 20,
    emrSetTextAlign = 22,
    emrSetTextColor = 24,
    emrSetBkColor = 25,
    emrMoveToEx = 27,
    emrExcludeClipRect = 29,
    emrIntersectClipRect = 30,
    emrScaleViewportExtEx = 31,
    emrScaleWindowExtEx = 32,
    emrSaveDc = 33,
    emrRestoreDc = 34,
    emrSetWorldTransform = 35,
    emrModifyWorldTransform = 36,
    emrSelectObject = 37,
    emrCreatePen = 38,
    emrCreateBrushIndirect = 39,
    emrDeleteObject = 40,
    emrAngleArc = 41,
    emrEllipse = 42,
    emrRectangle = 43,
    emrRoundRect = 44,
    emrArc = 45,
    emrChord = 46,
    emrPie = 47,
    emrCreatePalette = 49,
    emrLineTo = 54,
    emrArcTo = 55,
    emrSetArcDirection = 57,
    emrSetMiterLimit = 58,
    emrBeginPath = 59,
    emrEndPath = 60,
    emrCloseFigure = 61,
    emrFillPath = 62,
    emrStrokeAndFillPath = 63,
    emrStrokePath = 64,
    emrSelectClipPath = 67,
    emrAbortPath = 68,
    emrExtSelectClipRgn = 75,
    emrBitBlt = 76,
    emrStretchBlt = 77,
    emrSetDiBitsToDevice = 80,
    emrStretchDiBits = 81,
    emrExtCreateFontIndirectW = 82,
    emrExtTextOutA = 83,
    emrExtTextOutW = 84,
    emrPolyBezier16 = 85,
    emrPolygon16 = 86,
    emrPolyline16 = 87,
    emrPolyBezierTo16 = 88,
    emrPolylineTo16 = 89,
    emrPolyPolyline16 = 90,
    emrPolyPolygon16 = 91,
    emrCreateMonoBrush = 93,
    emrCreateDibPatternBrushPt = 94,
    emrExtCreatePen = 95,
};

constexpr std::uint32_t stockObjectFlag = 0x80000000;
constexpr std::uint32_t srcCopy = 0x00CC0020;
constexpr std::uint32_t dibPalColors = 1;
// Region records with more rectangles than this are cut short.
constexpr std::size_t maxRegionRects = 4096;
// A user dash pattern has at most this many entries, as GDI allows.
constexpr std::size_t maxDashEntries = 16;

GdiObject StockObject(std::uint32_t which)
{
    auto solid = [](COLORREF colour) { return Brush{brushSolid, colour, 0, nullptr}; };
    auto pen = [](int style, COLORREF colour) {
        Pen p;
        p.style = style;
        p.colour = colour;
        return p;
    };
    switch (which) {
    case 0:
        return solid(RGB(255, 255, 255));
    case 1:
        return solid(RGB(192, 192, 192));
    case 2:
        return solid(RGB(128, 128, 128));
    case 3:
        return solid(RGB(64, 64, 64));
    case 4:
        return solid(RGB(0, 0, 0));
    case 5:
        return Brush{brushNull, 0, 0, nullptr};
    case 6:
        return pen(penSolid, RGB(255, 255, 255));
    case 7:
        return pen(penSolid, RGB(0, 0, 0));
    case 8:
        return pen(penNull, 0);
    case 18:
        return solid(RGB(255, 255, 255)); // DC_BRUSH
    case 19:
        return pen(penSolid, RGB(0, 0, 0)); // DC_PEN
    default:
        if (which >= 10 && which <= 17)
            return Font{};
        return OtherObject{};
    }
}

class EmfPlayer {
public:
    EmfPlayer(MetafileDevice& device, std::size_t handles) : m_device(device), m_objects(handles) {}
    void Play(const EmfRecord& record);

private:
    static PointF Point(const ByteView& r, std::size_t offset)
    {
        return {double(r.S32(offset)), double(r.S32(offset + 4))};
    }
    // `count` points at `offset`, 16-bit or 32-bit pairs; empty when they do not fit.
    static PointList Points(const ByteView& r, std::size_t offset, std::uint64_t count, bool small);
    void Poly(const EmfRecord& record, bool small);
    void PolyPoly(const EmfRecord& record, bool small);
    void Text(const ByteView& r, bool wide);
    void Bitmap(const EmfRecord& record);
    void SelectClipRegion(const ByteView& r);
    void CreatePen(const ByteView& r, bool extended);
    void CreatePatternBrush(const ByteView& r);
    // The packed DIB at (offBmi, cbBmi) and (offBits, cbBits) of the record, made contiguous.
    static std::vector<std::uint8_t> PackedDib(const ByteView& r, std::size_t fieldsAt);

    MetafileDevice& m_device;
    ObjectTable m_objects;
};

PointList EmfPlayer::Points(const ByteView& r, std::size_t offset, std::uint64_t count, bool small)
{
    PointList points;
    const std::uint64_t size = count * (small ? 4 : 8);
    if (count > r.Size() || !r.Has(offset, static_cast<std::size_t>(size)))
        return points;
    points.reserve(static_cast<std::size_t>(count));
    for (std::size_t i = 0; i < count; ++i) {
        if (small)
            points.push_back({double(r.S16(offset + 4 * i)), double(r.S16(offset + 4 * i + 2))});
        else
            points.push_back(Point(r, offset + 8 * i));
    }
    return points;
}

void EmfPlayer::Play(const EmfRecord& record)
{
    const ByteView& r = record.record;
    MetafileDevice& d = m_device;
    // The bytes each kind needs at least, type and size included; shorter records are skipped.
    auto needs = [&](std::size_t bytes) { return r.Has(0, bytes); };
    auto box = [&](std::size_t o) {
        return std::array<double, 4>{double(r.S32(o)), double(r.S32(o + 4)), double(r.S32(o + 8)),
                                     double(r.S32(o + 12))};
    };
    switch (record.type) {
    case emrPolyBezier:
    case emrPolygon:
    case emrPolyline:
    case emrPolyBezierTo:
    case emrPolylineTo:
        Poly(record, false);
        break;
    case emrPolyBezier16:
    case emrPolygon16:
    case emrPolyline16:
    case emrPolyBezierTo16:
    case emrPolylineTo16:
        Poly(record, true);
        break;
    case emrPolyPolyline:
    case emrPolyPolygon:
        PolyPoly(record, false);
        break;
    case emrPolyPolyline16:
    case emrPolyPolygon16:
        PolyPoly(record, true);
        break;
    case emrSetWindowExtEx:
        if (needs(16))
            d.SetWindowExt(r.S32(8), r.S32(12));
        break;
    case emrSetWindowOrgEx:
        if (needs(16))
            d.SetWindowOrg(r.S32(8), r.S32(12));
        break;
    case emrSetViewportExtEx:
        if (needs(16))
            d.SetViewportExt(r.S32(8), r.S32(12));
        break;
    case emrSetViewportOrgEx:
        if (needs(16))
            d.SetViewportOrg(r.S32(8), r.S32(12));
        break;
    case emrSetBrushOrgEx:
        if (needs(16))
            d.SetBrushOrg(r.S32(8), r.S32(12));
        break;
    case emrScaleViewportExtEx:
        if (needs(24))
            d.ScaleViewportExt(r.S32(8), r.S32(12), r.S32(16), r.S32(20));
        break;
    case emrScaleWindowExtEx:
        if (needs(24))
            d.ScaleWindowExt(r.S32(8), r.S32(12), r.S32(16), r.S32(20));
        break;
    case emrSetPixelV:
        if (needs(20))
            d.SetPixel(Point(r, 8), r.U32(16));
        break;
    case emrSetMapMode:
        if (needs(12))
            d.SetMapMode(r.S32(8));
        break;
    case emrSetBkMode:
        if (needs(12))
            d.SetBkMode(r.S32(8));
        break;
    case emrSetPolyFillMode:
        if (needs(12))
            d.SetPolyFillMode(r.S32(8));
        break;
    case emrSetRop2:
        if (needs(12))
            d.SetROP2(r.S32(8));
        break;
    case emrSetTextAlign:
        if (needs(12))
            d.SetTextAlign(r.U32(8));
        break;
    case emrSetTextColor:
        if (needs(12))
            d.SetTextColor(r.U32(8));
        break;
    case emrSetBkColor:
        if (needs(12))
            d.SetBkColor(r.U32(8));
        break;
    case emrSetArcDirection:
        if (needs(12))
            d.SetArcDirection(r.S32(8));
        break;
    case emrSetMiterLimit:
        if (needs(12))
            d.SetMiterLimit(r.U32(8));
        break;
    case emrMoveToEx:
        if (needs(16))
            d.MoveTo(Point(r, 8));
        break;
    case emrLineTo:
        if (needs(16))
            d.LineTo(Point(r, 8));
        break;
    case emrExcludeClipRect:
    case emrIntersectClipRect:
        if (needs(24)) {
            const auto b = box(8);
            if (record.type == emrExcludeClipRect)
                d.ExcludeClipRect(b[0], b[1], b[2], b[3]);
            else
                d.IntersectClipRect(b[0], b[1], b[2], b[3]);
        }
        break;
    case emrSaveDc:
        d.SaveDC();
        break;
    case emrRestoreDc:
        if (needs(12))
            d.RestoreDC(r.S32(8));
        break;
    case emrSetWorldTransform:
    case emrModifyWorldTransform:
        if (needs(record.type == emrSetWorldTransform ? 32 : 36)) {
            const Affine xform{r.F32(8), r.F32(12), r.F32(16), r.F32(20), r.F32(24), r.F32(28)};
            if (record.type == emrSetWorldTransform)
                d.SetWorldTransform(xform);
            else
                d.ModifyWorldTransform(xform, r.S32(32));
        }
        break;
    case emrSelectObject:
        if (needs(12)) {
            const std::uint32_t index = r.U32(8);
            if (index & stockObjectFlag)
                d.Select(StockObject(index & ~stockObjectFlag));
            else if (const GdiObject* object = m_objects.Get(index))
                d.Select(*object);
        }
        break;
    case emrDeleteObject:
        if (needs(12) && !(r.U32(8) & stockObjectFlag))
            m_objects.Remove(r.U32(8));
        break;
    case emrCreatePen:
        if (needs(28))
            CreatePen(r, false);
        break;
    case emrExtCreatePen:
        if (needs(52))
            CreatePen(r, true);
        break;
    case emrCreateBrushIndirect:
        if (needs(24)) {
            Brush brush;
            brush.style = static_cast<int>(r.U32(12));
            brush.colour = r.U32(16) & 0xFFFFFF;
            brush.hatch = static_cast<int>(r.U32(20));
            if (brush.style != brushNull && brush.style != brushHatched)
                brush.style = brushSolid;
            m_objects.Put(r.U32(8), brush);
        }
        break;
    case emrCreateMonoBrush:
    case emrCreateDibPatternBrushPt:
        if (needs(32))
            CreatePatternBrush(r);
        break;
    case emrCreatePalette:
        if (needs(12))
            m_objects.Put(r.U32(8), OtherObject{});
        break;
    case emrExtCreateFontIndirectW:
        if (needs(12 + sizeof(LOGFONTW))) {
            Font font;
            LOGFONTW& f = font.font;
            f.lfHeight = r.S32(12);
            f.lfWidth = r.S32(16);
            f.lfEscapement = r.S32(20);
            f.lfOrientation = r.S32(24);
            f.lfWeight = r.S32(28);
            f.lfItalic = r.U8(32);
            f.lfUnderline = r.U8(33);
            f.lfStrikeOut = r.U8(34);
            f.lfCharSet = r.U8(35);
            f.lfOutPrecision = r.U8(36);
            f.lfClipPrecision = r.U8(37);
            f.lfQuality = r.U8(38);
            f.lfPitchAndFamily = r.U8(39);
            for (std::size_t i = 0; i + 1 < LF_FACESIZE && r.U16(40 + 2 * i) != 0; ++i)
                f.lfFaceName[i] = r.U16(40 + 2 * i);
            m_objects.Put(r.U32(8), font);
        }
        break;
    case emrEllipse:
    case emrRectangle:
        if (needs(24)) {
            const auto b = box(8);
            if (record.type == emrEllipse)
                d.Ellipse(b[0], b[1], b[2], b[3]);
            else
                d.Rectangle(b[0], b[1], b[2], b[3]);
        }
        break;
    case emrRoundRect:
        if (needs(32)) {
            const auto b = box(8);
            d.RoundRect(b[0], b[1], b[2], b[3], r.S32(24), r.S32(28));
        }
        break;
    case emrArc:
    case emrChord:
    case emrPie:
    case emrArcTo:
        if (needs(40)) {
            const ArcKind kind = record.type == emrArc     ? arcOpen
                                 : record.type == emrChord ? arcChord
                                 : record.type == emrPie   ? arcPie
                                                           : arcTo;
            const auto b = box(8);
            d.Arc(kind, b[0], b[1], b[2], b[3], Point(r, 24), Point(r, 32));
        }
        break;
    case emrAngleArc:
        if (needs(28)) {
            // A line to the arc's start, then the arc: angles in degrees, counter-clockwise.
            const PointF centre = Point(r, 8);
            const double radius = r.U32(16);
            const double start = r.F32(20) * std::numbers::pi / 180, sweep = r.F32(24) * std::numbers::pi / 180;
            if (!std::isfinite(start) || !std::isfinite(sweep))
                break;
            const PointList arc =
                EllipseArc(centre.x - radius, centre.y - radius, centre.x + radius, centre.y + radius, start,
                           std::clamp(sweep, -8 * std::numbers::pi, 8 * std::numbers::pi), 2 * radius);
            d.PolylineTo(arc);
        }
        break;
    case emrBeginPath:
        d.BeginPath();
        break;
    case emrEndPath:
        d.EndPath();
        break;
    case emrCloseFigure:
        d.CloseFigure();
        break;
    case emrFillPath:
        d.FillPath();
        break;
    case emrStrokeAndFillPath:
        d.StrokeAndFillPath();
        break;
    case emrStrokePath:
        d.StrokePath();
        break;
    case emrSelectClipPath:
        if (needs(12))
            d.SelectClipPath(r.S32(8));
        break;
    case emrAbortPath:
        d.AbortPath();
        break;
    case emrExtSelectClipRgn:
        if (needs(16))
            SelectClipRegion(r);
        break;
    case emrExtTextOutA:
        Text(r, false);
        break;
    case emrExtTextOutW:
        Text(r, true);
        break;
    case emrBitBlt:
    case emrStretchBlt:
    case emrSetDiBitsToDevice:
    case emrStretchDiBits:
        Bitmap(record);
        break;
    default:
        break; // unknown, comments (EMF+ too), palettes: skipped
    }
}

void EmfPlayer::Poly(const EmfRecord& record, bool small)
{
    // bounds, count, points
    const ByteView& r = record.record;
    if (!r.Has(0, 28))
        return;
    const PointList points = Points(r, 28, r.U32(24), small);
    if (points.empty())
        return;
    switch (record.type) {
    case emrPolyBezier:
    case emrPolyBezier16:
        m_device.PolyBezier(points);
        break;
    case emrPolygon:
    case emrPolygon16:
        m_device.Polygon(points);
        break;
    case emrPolyline:
    case emrPolyline16:
        m_device.Polyline(points);
        break;
    case emrPolyBezierTo:
    case emrPolyBezierTo16:
        m_device.PolyBezierTo(points);
        break;
    default:
        m_device.PolylineTo(points);
        break;
    }
}

void EmfPlayer::PolyPoly(const EmfRecord& record, bool small)
{
    // bounds, number of polygons, number of points, the counts, the points
    const ByteView& r = record.record;
    if (!r.Has(0, 32))
        return;
    const std::uint64_t polygons = r.U32(24), total = r.U32(28);
    if (polygons > r.Size() || !r.Has(32, static_cast<std::size_t>(polygons * 4)))
        return;
    const std::size_t pointsAt = 32 + static_cast<std::size_t>(polygons) * 4;
    const PointList all = Points(r, pointsAt, total, small);
    std::vector<PointList> figures;
    std::size_t used = 0;
    for (std::size_t i = 0; i < polygons; ++i) {
        const std::size_t count = r.U32(32 + 4 * i);
        if (count > all.size() - used)
            return; // the counts claim more points than the record holds
        figures.emplace_back(all.begin() + static_cast<std::ptrdiff_t>(used),
                             all.begin() + static_cast<std::ptrdiff_t>(used + count));
        used += count;
    }
    const bool polygon = record.type == emrPolyPolygon || record.type == emrPolyPolygon16;
    if (polygon) {
        m_device.PolyPolygon(figures);
        return;
    }
    for (const PointList& figure : figures)
        m_device.Polyline(figure);
}

void EmfPlayer::Text(const ByteView& r, bool wide)
{
    // bounds, graphics mode, x and y scales, then the text: reference point, characters,
    // string offset, options, rectangle, spacing offset (offsets count from the record's start)
    if (!r.Has(0, 76))
        return;
    const std::uint64_t count = r.U32(44);
    const std::uint32_t offset = r.U32(48);
    const unsigned options = r.U32(52);
    const std::uint64_t bytes = count * (wide ? 2 : 1);
    if (count > r.Size() || !r.Has(offset, static_cast<std::size_t>(bytes)))
        return;
    std::u16string text;
    if (wide) {
        for (std::size_t i = 0; i < count; ++i)
            text.push_back(r.U16(offset + 2 * i));
    } else {
        text = DecodeAnsi(r.Sub(offset, static_cast<std::size_t>(count)));
    }
    const RECT box{r.S32(56), r.S32(60), r.S32(64), r.S32(68)};
    // The spacing array: one 32-bit advance per character, when the record holds it.
    std::vector<double> spacing;
    const std::uint32_t spacingAt = r.U32(72);
    if (spacingAt != 0 && r.Has(spacingAt, static_cast<std::size_t>(count) * 4))
        for (std::size_t i = 0; i < count; ++i)
            spacing.push_back(r.S32(spacingAt + 4 * i));
    m_device.Text(Point(r, 36), text, options, box, spacing);
}

std::vector<std::uint8_t> EmfPlayer::PackedDib(const ByteView& r, std::size_t fieldsAt)
{
    const std::uint32_t offBmi = r.U32(fieldsAt), cbBmi = r.U32(fieldsAt + 4);
    const std::uint32_t offBits = r.U32(fieldsAt + 8), cbBits = r.U32(fieldsAt + 12);
    if (cbBmi == 0 || !r.Has(offBmi, cbBmi) || !r.Has(offBits, cbBits))
        return {};
    std::vector<std::uint8_t> dib(r.Data() + offBmi, r.Data() + offBmi + cbBmi);
    dib.insert(dib.end(), r.Data() + offBits, r.Data() + offBits + cbBits);
    return dib;
}

void EmfPlayer::Bitmap(const EmfRecord& record)
{
    const ByteView& r = record.record;
    MetafileDevice& d = m_device;
    switch (record.type) {
    case emrBitBlt:
    case emrStretchBlt: {
        // bounds, destination x, y, cx, cy, rop, source x, y, source transform, background
        // colour, usage, the bitmap's four offset fields, [source cx, cy]
        const bool stretch = record.type == emrStretchBlt;
        if (!r.Has(0, stretch ? 108 : 100))
            return;
        const double x = r.S32(24), y = r.S32(28), cx = r.S32(32), cy = r.S32(36);
        const std::uint32_t rop = r.U32(40);
        if (r.U32(88) == 0) { // no source bitmap: a pattern blit
            d.PatBlt(x, y, cx, cy, rop);
            return;
        }
        if (r.U32(80) == dibPalColors)
            return;
        const std::vector<std::uint8_t> dib = PackedDib(r, 84);
        const double sw = stretch ? r.S32(100) : cx, sh = stretch ? r.S32(104) : cy;
        d.StretchDib(x, y, cx, cy, dib.data(), dib.size(), r.S32(44), r.S32(48), sw, sh, true, rop);
        return;
    }
    case emrStretchDiBits: {
        // bounds, destination x, y, source x, y, cx, cy, the four offset fields, usage, rop,
        // destination cx, cy
        if (!r.Has(0, 80) || r.U32(64) == dibPalColors)
            return;
        const std::vector<std::uint8_t> dib = PackedDib(r, 48);
        d.StretchDib(r.S32(24), r.S32(28), r.S32(72), r.S32(76), dib.data(), dib.size(), r.S32(32), r.S32(36),
                     r.S32(40), r.S32(44), false, r.U32(68));
        return;
    }
    case emrSetDiBitsToDevice: {
        // bounds, destination x, y, source x, y, cx, cy, the four offset fields, usage, scans
        if (!r.Has(0, 76) || r.U32(64) == dibPalColors)
            return;
        const std::vector<std::uint8_t> dib = PackedDib(r, 48);
        d.StretchDib(r.S32(24), r.S32(28), r.S32(40), r.S32(44), dib.data(), dib.size(), r.S32(32), r.S32(36),
                     r.S32(40), r.S32(44), false, srcCopy);
        return;
    }
    default:
        return;
    }
}

void EmfPlayer::SelectClipRegion(const ByteView& r)
{
    // region size, mode, then the region: header (size, type, count, size, bounds), rectangles
    const std::uint32_t regionSize = r.U32(8);
    const int mode = r.S32(12);
    std::vector<RECT> rects;
    if (regionSize >= 32 && r.Has(16, 32)) {
        const std::size_t count = std::min<std::size_t>(r.U32(24), maxRegionRects);
        for (std::size_t i = 0; i < count && r.Has(48 + 16 * i, 16); ++i) {
            const std::size_t o = 48 + 16 * i;
            rects.push_back(RECT{r.S32(o), r.S32(o + 4), r.S32(o + 8), r.S32(o + 12)});
        }
    }
    m_device.SelectClipRects(rects, mode);
}

void EmfPlayer::CreatePen(const ByteView& r, bool extended)
{
    Pen pen;
    if (!extended) { // index, style, width (x, y), colour
        pen.style = static_cast<int>(r.U32(12) & 0x0F);
        pen.width = std::max(0, r.S32(16));
        pen.colour = r.U32(24) & 0xFFFFFF;
        m_objects.Put(r.U32(8), pen);
        return;
    }
    // index, the brush bitmap's four offset fields, style, width, brush style, colour, hatch,
    // dash entries and their count
    const std::uint32_t style = r.U32(28);
    pen.style = static_cast<int>(style & 0x0F);
    pen.geometric = (style & 0xF0000) == 0x10000;
    pen.width = pen.geometric ? r.U32(32) : 1;
    pen.colour = r.U32(40) & 0xFFFFFF;
    if (r.U32(36) == brushNull)
        pen.style = penNull;
    switch (style & 0xF00) {
    case 0x100:
        pen.cap = PenCap::Square;
        break;
    case 0x200:
        pen.cap = PenCap::Flat;
        break;
    default:
        pen.cap = PenCap::Round;
        break;
    }
    switch (style & 0xF000) {
    case 0x1000:
        pen.join = PenJoin::Bevel;
        break;
    case 0x2000:
        pen.join = PenJoin::Miter;
        break;
    default:
        pen.join = PenJoin::Round;
        break;
    }
    if (pen.style == penUserStyle) {
        const std::size_t entries = std::min<std::size_t>(r.U32(48), maxDashEntries);
        for (std::size_t i = 0; i < entries && r.Has(52 + 4 * i, 4); ++i)
            pen.userDashes.push_back(r.U32(52 + 4 * i));
    }
    m_objects.Put(r.U32(8), pen);
}

void EmfPlayer::CreatePatternBrush(const ByteView& r)
{
    // index, usage, the bitmap's four offset fields
    Brush brush;
    brush.style = brushDibPatternPt;
    brush.colour = 0;
    if (r.U32(12) != dibPalColors) {
        const std::vector<std::uint8_t> dib = PackedDib(r, 16);
        brush.pattern = m_device.DecodePattern(dib.data(), dib.size());
    }
    m_objects.Put(r.U32(8), brush);
}

} // namespace

void PlayEnhancedMetafile(ByteView data, const EmfHeader& header, MetafileDevice& device)
{
    EmfPlayer player(device, header.handles);
    EmfRecordWalker walker(data, header);
    while (const auto record = walker.Next())
        player.Play(*record);
}

} // namespace vx::metafile
