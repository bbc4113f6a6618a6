#include "platform/portable/MetafileDevice.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

namespace vx::metafile {

namespace {

// Saved states kept at once; a SaveDC beyond them is ignored. Each holds a clip region of at
// most a few thousand rectangles, so the stack stays within a few megabytes.
constexpr std::size_t maxSavedStates = 256;
// Points a path may hold; further figures are dropped. The outline of one dashed stroke stops
// growing past the second limit.
constexpr std::size_t maxPathPoints = 1 << 20;
constexpr std::size_t maxOutlinePoints = 1 << 20;
// A bitmap in a record is decoded only up to this many pixels (48 MB as 24-bit), patterns
// up to a total of this many over one playback.
constexpr std::int64_t maxDibPixels = 4096 * 4096;
constexpr std::size_t maxPatternPixels = 1 << 22;
// Text is rendered in blocks of at most this size, in glyphs of at most this height, and a
// record's text is cut to this many characters.
constexpr int maxTextBlock = 4096;
constexpr std::size_t maxTextCharacters = 16384;
// The share of a line's height above its baseline, for TA_BASELINE: the text seam reports
// line heights only, and common interface fonts have about four fifths of it above.
constexpr double ascentShare = 0.8;
// Pixel positions sit at the centres of the rasteriser's unit squares; fills sample just
// left of and above the centre so that edges on whole positions follow GDI's top-left rule.
constexpr double strokeShift = 0.5;
constexpr double fillShift = 0.49;

constexpr unsigned textAlignUpdateCp = 1, textAlignHorizontal = 6, textAlignRight = 2, textAlignCenter = 6;
constexpr unsigned textAlignVertical = 24, textAlignBottom = 8, textAlignBaseline = 24;
constexpr unsigned textOptionOpaque = 2, textOptionClipped = 4;

double MillimetresPerUnit(int mode)
{
    switch (mode) {
    case mmLoMetric:
        return 0.1;
    case mmHiMetric:
        return 0.01;
    case mmLoEnglish:
        return 0.254;
    case mmHiEnglish:
        return 0.0254;
    case mmTwips:
        return 25.4 / 1440;
    default:
        return 0;
    }
}

PointList Shifted(const PointList& points, double by)
{
    PointList out;
    out.reserve(points.size());
    for (const PointF& p : points)
        out.push_back({p.x + by, p.y + by});
    return out;
}

std::vector<PointList> Shifted(const std::vector<PointList>& figures, double by)
{
    std::vector<PointList> out;
    for (const PointList& f : figures)
        out.push_back(Shifted(f, by));
    return out;
}

long RoundToLong(double v)
{
    return std::isfinite(v) ? std::lround(std::clamp(v, -1e9, 1e9)) : 0;
}

PixelRect Ordered(long x0, long y0, long x1, long y1)
{
    return {static_cast<int>(std::clamp(std::min(x0, x1), -1L << 30, 1L << 30)),
            static_cast<int>(std::clamp(std::min(y0, y1), -1L << 30, 1L << 30)),
            static_cast<int>(std::clamp(std::max(x0, x1), -1L << 30, 1L << 30)),
            static_cast<int>(std::clamp(std::max(y0, y1), -1L << 30, 1L << 30))};
}

// The counter-clockwise sweep from angle `from` to angle `to`, in (0, 2 pi]; a whole turn
// when they meet.
double CounterClockwiseSweep(double from, double to)
{
    double sweep = std::fmod(to - from, 2 * std::numbers::pi);
    if (sweep <= 1e-12)
        sweep += 2 * std::numbers::pi;
    return sweep;
}

std::vector<int> CosmeticDashes(int style)
{
    switch (style) {
    case penDash:
        return {18, 6};
    case penDot:
        return {3, 3};
    case penDashDot:
        return {9, 6, 3, 6};
    case penDashDotDot:
        return {9, 3, 3, 3, 3, 3};
    case penAlternate:
        return {1, 1};
    default:
        return {};
    }
}

std::vector<double> GeometricDashes(int style, double width)
{
    switch (style) {
    case penDash:
        return {3 * width, width};
    case penDot:
        return {width, width};
    case penDashDot:
        return {3 * width, width, width, width};
    case penDashDotDot:
        return {3 * width, width, width, width, width, width};
    default:
        return {};
    }
}

} // namespace

// ---- Object table -----------------------------------------------------------------------

bool ObjectTable::AddAtLowestFree(GdiObject object)
{
    for (auto& slot : m_slots)
        if (!slot) {
            slot = std::move(object);
            return true;
        }
    return false;
}

bool ObjectTable::Put(std::size_t index, GdiObject object)
{
    if (index >= m_slots.size())
        return false;
    m_slots[index] = std::move(object);
    return true;
}

const GdiObject* ObjectTable::Get(std::size_t index) const
{
    return index < m_slots.size() && m_slots[index] ? &*m_slots[index] : nullptr;
}

void ObjectTable::Remove(std::size_t index)
{
    if (index < m_slots.size())
        m_slots[index].reset();
}

// ---- State ------------------------------------------------------------------------------

MetafileDevice::MetafileDevice(MetafileCanvas& canvas, TextRenderer& text, const DibDecoder& dibs,
                               const Affine& toTarget, PointF pixelsPerMillimetre)
    : m_canvas(canvas), m_text(text), m_dibs(dibs), m_toTarget(toTarget), m_pixelsPerMillimetre(pixelsPerMillimetre)
{
    m_state.clip = ClipRegion(canvas.Whole());
    UpdateTransform();
}

void MetafileDevice::UpdateTransform()
{
    const State& s = m_state;
    const double sx = s.windowExt.x != 0 ? s.viewportExt.x / s.windowExt.x : 1;
    const double sy = s.windowExt.y != 0 ? s.viewportExt.y / s.windowExt.y : 1;
    const Affine page{sx, 0, 0, sy, s.viewportOrg.x - s.windowOrg.x * sx, s.viewportOrg.y - s.windowOrg.y * sy};
    const Affine total = s.world.Then(page).Then(m_toTarget);
    if (total.IsFinite())
        m_toDevice = total;
}

void MetafileDevice::SetMapMode(int mode)
{
    if (mode < mmText || mode > mmAnisotropic)
        return;
    State& s = m_state;
    s.mapMode = mode;
    const double unit = MillimetresPerUnit(mode == mmIsotropic ? mmLoMetric : mode);
    if (mode == mmText) {
        s.windowExt = {1, 1};
        s.viewportExt = {1, 1};
    } else if (unit > 0) {
        // Metric and English units (isotropic starts out as 0.1 mm): y grows upwards.
        s.windowExt = {1, 1};
        s.viewportExt = {m_pixelsPerMillimetre.x * unit, -m_pixelsPerMillimetre.y * unit};
    }
    UpdateTransform();
}

void MetafileDevice::SetWindowOrg(double x, double y)
{
    m_state.windowOrg = {x, y};
    UpdateTransform();
}

void MetafileDevice::SetViewportOrg(double x, double y)
{
    m_state.viewportOrg = {x, y};
    UpdateTransform();
}

void MetafileDevice::OffsetWindowOrg(double dx, double dy)
{
    SetWindowOrg(m_state.windowOrg.x + dx, m_state.windowOrg.y + dy);
}

void MetafileDevice::OffsetViewportOrg(double dx, double dy)
{
    SetViewportOrg(m_state.viewportOrg.x + dx, m_state.viewportOrg.y + dy);
}

void MetafileDevice::SetWindowExt(double cx, double cy)
{
    State& s = m_state;
    if ((s.mapMode != mmIsotropic && s.mapMode != mmAnisotropic) || cx == 0 || cy == 0)
        return;
    s.windowExt = {cx, cy};
    if (s.mapMode == mmIsotropic)
        SetViewportExt(s.viewportExt.x, s.viewportExt.y);
    UpdateTransform();
}

void MetafileDevice::SetViewportExt(double cx, double cy)
{
    State& s = m_state;
    if ((s.mapMode != mmIsotropic && s.mapMode != mmAnisotropic) || cx == 0 || cy == 0)
        return;
    s.viewportExt = {cx, cy};
    if (s.mapMode == mmIsotropic) {
        // The same physical scale on both axes: the smaller one wins, the signs stay.
        const double xScale = std::fabs(cx / s.windowExt.x) / m_pixelsPerMillimetre.x;
        const double yScale = std::fabs(cy / s.windowExt.y) / m_pixelsPerMillimetre.y;
        if (xScale > yScale)
            s.viewportExt.x = cx * yScale / xScale;
        else if (yScale > xScale)
            s.viewportExt.y = cy * xScale / yScale;
    }
    UpdateTransform();
}

void MetafileDevice::ScaleWindowExt(double xNum, double xDenom, double yNum, double yDenom)
{
    if (xDenom != 0 && yDenom != 0)
        SetWindowExt(m_state.windowExt.x * xNum / xDenom, m_state.windowExt.y * yNum / yDenom);
}

void MetafileDevice::ScaleViewportExt(double xNum, double xDenom, double yNum, double yDenom)
{
    if (xDenom != 0 && yDenom != 0)
        SetViewportExt(m_state.viewportExt.x * xNum / xDenom, m_state.viewportExt.y * yNum / yDenom);
}

void MetafileDevice::SetWorldTransform(const Affine& world)
{
    if (!world.IsFinite() || world.Determinant() == 0)
        return;
    m_state.world = world;
    UpdateTransform();
}

void MetafileDevice::ModifyWorldTransform(const Affine& change, int mode)
{
    switch (mode) {
    case 1:
        SetWorldTransform(Affine{});
        break;
    case 2:
        SetWorldTransform(change.Then(m_state.world));
        break;
    case 3:
        SetWorldTransform(m_state.world.Then(change));
        break;
    case 4:
        SetWorldTransform(change);
        break;
    default:
        break;
    }
}

void MetafileDevice::SaveDC()
{
    if (m_saved.size() < maxSavedStates)
        m_saved.push_back(m_state);
}

void MetafileDevice::RestoreDC(int which)
{
    const std::size_t depth = m_saved.size();
    std::size_t keep;
    if (which < 0 && static_cast<std::size_t>(-static_cast<long long>(which)) <= depth)
        keep = depth - static_cast<std::size_t>(-static_cast<long long>(which));
    else if (which > 0 && static_cast<std::size_t>(which) <= depth)
        keep = static_cast<std::size_t>(which) - 1;
    else
        return;
    m_state = m_saved[keep];
    m_saved.resize(keep);
    UpdateTransform();
}

void MetafileDevice::Select(const GdiObject& object)
{
    if (const Pen* pen = std::get_if<Pen>(&object))
        m_state.pen = *pen;
    else if (const Brush* brush = std::get_if<Brush>(&object))
        m_state.brush = *brush;
    else if (const Font* font = std::get_if<Font>(&object))
        m_state.font = *font;
}

// ---- Mapping ----------------------------------------------------------------------------

PointList MetafileDevice::ToDevice(const PointList& logical) const
{
    PointList out;
    out.reserve(logical.size());
    for (const PointF& p : logical)
        out.push_back(ToDevice(p));
    return out;
}

std::optional<PixelRect> MetafileDevice::DeviceBox(double left, double top, double right, double bottom) const
{
    if (!m_toDevice.IsAxisAligned())
        return std::nullopt;
    const PointF a = ToDevice(PointF{left, top});
    const PointF b = ToDevice(PointF{right, bottom});
    return Ordered(RoundToLong(a.x), RoundToLong(a.y), RoundToLong(b.x), RoundToLong(b.y));
}

double MetafileDevice::DevicePenWidth() const
{
    return m_state.pen.width * std::sqrt(std::fabs(m_toDevice.Determinant()));
}

Paint MetafileDevice::BrushPaint() const
{
    const Brush& brush = m_state.brush;
    Paint paint;
    paint.colour = brush.colour;
    paint.background = m_state.background;
    paint.opaqueBackground = m_state.opaqueBackground;
    const PointF origin = m_toTarget.Apply(m_state.brushOrigin);
    paint.originX = static_cast<int>(RoundToLong(origin.x));
    paint.originY = static_cast<int>(RoundToLong(origin.y));
    if (brush.style == brushHatched) {
        paint.kind = Paint::Kind::Hatch;
        paint.hatch = brush.hatch;
    } else if (brush.pattern) {
        paint.kind = Paint::Kind::Pattern;
        paint.pattern = brush.pattern;
    }
    return paint;
}

// ---- Drawing helpers --------------------------------------------------------------------

bool MetafileDevice::Record(const PointList& devicePoints, bool closed)
{
    if (!m_recording)
        return false;
    if (m_pathPoints + devicePoints.size() <= maxPathPoints && !devicePoints.empty()) {
        m_path.push_back({devicePoints, closed});
        m_pathPoints += devicePoints.size();
    }
    return true;
}

void MetafileDevice::FillWithBrush(const std::vector<PointList>& polygons, bool winding)
{
    if (m_state.brush.style == brushNull)
        return;
    m_canvas.FillPolygons(polygons, winding, BrushPaint(), m_state.rop, m_state.clip);
}

void MetafileDevice::DrawClosed(const std::vector<PointList>& figures)
{
    if (m_recording) {
        for (const PointList& f : figures)
            Record(f, true);
        return;
    }
    FillWithBrush(Shifted(figures, fillShift), m_state.winding);
    Stroke(figures, true);
}

void MetafileDevice::Stroke(const std::vector<PointList>& figures, bool closed)
{
    const Pen& pen = m_state.pen;
    if (pen.style == penNull)
        return;
    // A pen wider than the target's perimeter covers all of it already: it is drawn no wider.
    const double widest = 2.0 * (m_canvas.Width() + m_canvas.Height()) + 16;
    const double width = std::min(std::round(DevicePenWidth()), widest);
    if (!(width > 1)) {
        std::vector<int> dashes = CosmeticDashes(pen.style);
        if (pen.style == penUserStyle)
            for (double d : pen.userDashes)
                dashes.push_back(static_cast<int>(std::clamp(d, 0.0, 1e6)));
        const COLORREF* gap = m_state.opaqueBackground ? &m_state.background : nullptr;
        for (const PointList& figure : figures) {
            std::vector<POINT> points;
            points.reserve(figure.size());
            for (const PointF& p : figure) {
                const POINT q{static_cast<LONG>(RoundToLong(p.x)), static_cast<LONG>(RoundToLong(p.y))};
                if (points.empty() || points.back().x != q.x || points.back().y != q.y)
                    points.push_back(q);
            }
            m_canvas.CosmeticLine(points, closed, pen.colour, dashes, gap, m_state.rop, m_state.clip);
        }
        return;
    }
    // Wide pens: dashes only for geometric pens (GDI draws a wide CreatePen pen solid).
    std::vector<double> dashes;
    if (pen.geometric) {
        dashes = GeometricDashes(pen.style, width);
        if (pen.style == penUserStyle) {
            const double scale = std::sqrt(std::fabs(m_toDevice.Determinant()));
            for (double d : pen.userDashes)
                dashes.push_back(d * scale);
        }
    }
    const StrokeStyle style{width, pen.cap, pen.join, m_state.miterLimit};
    std::vector<PointList> outline;
    std::size_t points = 0;
    auto add = [&](std::vector<PointList> pieces) {
        for (PointList& piece : pieces) {
            points += piece.size();
            outline.push_back(std::move(piece));
        }
    };
    // An odd width is centred on the pixel; an even one on the pixel's top-left corner, so
    // that it covers as many pixels as it is wide, the extra one above and left as in GDI.
    const double shift = std::fmod(width, 2.0) == 1.0 ? strokeShift : 0.0;
    for (const PointList& figure : figures) {
        const PointList centred = Shifted(figure, shift);
        if (dashes.empty()) {
            add(StrokeOutline(centred, closed, style));
            continue;
        }
        for (const PointList& dash : DashPieces(centred, closed, dashes)) {
            if (points > maxOutlinePoints)
                break;
            add(StrokeOutline(dash, false, style));
        }
    }
    Paint paint;
    paint.colour = pen.colour;
    m_canvas.FillPolygons(outline, true, paint, m_state.rop, m_state.clip);
}

// ---- Lines and shapes -------------------------------------------------------------------

void MetafileDevice::MoveTo(PointF p)
{
    m_state.position = p;
    if (m_recording && m_pathPoints < maxPathPoints) {
        m_path.push_back({{ToDevice(p)}, false});
        ++m_pathPoints;
    }
}

void MetafileDevice::LineTo(PointF p)
{
    const PointF from = m_state.position;
    m_state.position = p;
    if (m_recording) {
        if (m_path.empty() || m_path.back().closed)
            MoveTo(from);
        if (m_pathPoints < maxPathPoints) {
            m_path.back().points.push_back(ToDevice(p));
            ++m_pathPoints;
        }
        return;
    }
    Stroke({{ToDevice(from), ToDevice(p)}}, false);
}

void MetafileDevice::Rectangle(double left, double top, double right, double bottom)
{
    // Played as PlayEnhMetaFile plays, in advanced graphics mode: a polygon through the four
    // corners, so the outline includes the right and bottom edges.
    Polygon({{left, top}, {right, top}, {right, bottom}, {left, bottom}});
}

void MetafileDevice::Ellipse(double left, double top, double right, double bottom)
{
    const auto box = DeviceBox(left, top, right, bottom);
    const double detail = std::fabs(right - left) * std::sqrt(std::fabs(m_toDevice.Determinant()));
    if (!box) {
        DrawClosed({ToDevice(EllipseArc(left, top, right, bottom, 0, 2 * std::numbers::pi, detail))});
        return;
    }
    const int inset = m_state.pen.style == penNull ? 1 : 0;
    const double l = box->left, t = box->top, r = box->right - inset, b = box->bottom - inset;
    if (r <= l || b <= t)
        return;
    const double size = std::max(r - l, b - t);
    // The outline runs through the centres of the box's border pixels; the fill reaches to
    // their outer edges, so that the outline covers its rim.
    const PointList outline = EllipseArc(l, t, r - 1, b - 1, 0, 2 * std::numbers::pi, size);
    if (Record(outline, true))
        return;
    FillWithBrush({EllipseArc(l, t, r, b, 0, 2 * std::numbers::pi, size)}, false);
    Stroke({outline}, true);
}

void MetafileDevice::RoundRect(double left, double top, double right, double bottom, double cornerWidth,
                               double cornerHeight)
{
    const auto box = DeviceBox(left, top, right, bottom);
    const PointF corner = ToDevice(PointF{cornerWidth, cornerHeight});
    const PointF origin = ToDevice(PointF{0, 0});
    const double cw = std::fabs(corner.x - origin.x), ch = std::fabs(corner.y - origin.y);
    if (!box || cw < 1 || ch < 1) {
        Rectangle(left, top, right, bottom);
        return;
    }
    const int inset = m_state.pen.style == penNull ? 1 : 0;
    const double l = box->left, t = box->top, r = box->right - inset - 1, b = box->bottom - inset - 1;
    if (r <= l || b <= t)
        return;
    const double w = std::min(cw, r - l), h = std::min(ch, b - t);
    const double pi = std::numbers::pi;
    PointList outline;
    auto corner90 = [&](double cl, double ct, double start) {
        const PointList arc = EllipseArc(cl, ct, cl + w, ct + h, start, pi / 2, std::max(w, h));
        outline.insert(outline.end(), arc.begin(), arc.end());
    };
    corner90(r - w, t, 0);            // top right
    corner90(l, t, pi / 2);           // top left
    corner90(l, b - h, pi);           // bottom left
    corner90(r - w, b - h, 1.5 * pi); // bottom right
    DrawClosed({outline});
}

void MetafileDevice::Arc(ArcKind kind, double left, double top, double right, double bottom, PointF start, PointF end)
{
    const auto box = DeviceBox(left, top, right, bottom);
    PointList points;
    PointF centre;
    if (box) {
        // On the target, in pixel positions, the direction as seen there.
        const double l = box->left, t = box->top, r = box->right - 1, b = box->bottom - 1;
        const PointF s = ToDevice(start), e = ToDevice(end);
        const double from = EllipseAngleTowards(l, t, r, b, s.x, s.y);
        const double to = EllipseAngleTowards(l, t, r, b, e.x, e.y);
        const double sweep = m_state.clockwise ? -CounterClockwiseSweep(to, from) : CounterClockwiseSweep(from, to);
        points = EllipseArc(l, t, r, b, from, sweep, std::max(r - l, b - t));
        centre = {(l + r) / 2, (t + b) / 2};
    } else {
        // Rotated or sheared: in logical space, mirrored with the mapping.
        const double from = EllipseAngleTowards(left, top, right, bottom, start.x, start.y);
        const double to = EllipseAngleTowards(left, top, right, bottom, end.x, end.y);
        bool clockwise = m_state.clockwise != (m_toDevice.Determinant() < 0);
        const double sweep = clockwise ? -CounterClockwiseSweep(to, from) : CounterClockwiseSweep(from, to);
        const double detail = std::fabs(right - left) * std::sqrt(std::fabs(m_toDevice.Determinant()));
        points = ToDevice(EllipseArc(left, top, right, bottom, from, sweep, detail));
        centre = ToDevice(PointF{(left + right) / 2, (top + bottom) / 2});
    }
    switch (kind) {
    case arcOpen:
        if (!Record(points, false))
            Stroke({points}, false);
        break;
    case arcTo: {
        points.insert(points.begin(), ToDevice(m_state.position));
        const Affine& m = m_toDevice;
        const double det = m.Determinant();
        const PointF last = points.back();
        if (det != 0) // back to logical coordinates for the new current position
            m_state.position = {((last.x - m.dx) * m.m22 - (last.y - m.dy) * m.m21) / det,
                                ((last.y - m.dy) * m.m11 - (last.x - m.dx) * m.m12) / det};
        if (!Record(points, false))
            Stroke({points}, false);
        break;
    }
    case arcChord:
        DrawClosed({points});
        break;
    case arcPie:
        points.insert(points.begin(), centre);
        DrawClosed({points});
        break;
    }
}

void MetafileDevice::Polyline(const PointList& points)
{
    if (points.empty())
        return;
    const PointList device = ToDevice(points);
    if (!Record(device, false))
        Stroke({device}, false);
}

void MetafileDevice::PolylineTo(const PointList& points)
{
    if (points.empty())
        return;
    if (m_recording) {
        for (const PointF& p : points)
            LineTo(p);
        return;
    }
    PointList line{m_state.position};
    line.insert(line.end(), points.begin(), points.end());
    m_state.position = points.back();
    Stroke({ToDevice(line)}, false);
}

void MetafileDevice::PolyPolygon(const std::vector<PointList>& polygons)
{
    std::vector<PointList> figures;
    for (const PointList& polygon : polygons) {
        PointList device;
        device.reserve(polygon.size());
        // GDI rounds the vertices to whole device positions.
        for (const PointF& p : polygon) {
            const PointF d = ToDevice(p);
            device.push_back({double(RoundToLong(d.x)), double(RoundToLong(d.y))});
        }
        if (device.size() >= 2)
            figures.push_back(std::move(device));
    }
    if (!figures.empty())
        DrawClosed(figures);
}

void MetafileDevice::PolyBezier(const PointList& points)
{
    if (points.size() < 4)
        return;
    MoveTo(points[0]);
    PolyBezierTo(PointList(points.begin() + 1, points.end()));
}

void MetafileDevice::PolyBezierTo(const PointList& points)
{
    if (points.size() < 3)
        return;
    PointList device{ToDevice(m_state.position)};
    for (std::size_t i = 0; i + 2 < points.size(); i += 3)
        AppendBezier(device, device.back(), ToDevice(points[i]), ToDevice(points[i + 1]), ToDevice(points[i + 2]));
    m_state.position = points[(points.size() / 3) * 3 - 1];
    if (m_recording) {
        if (m_path.empty() || m_path.back().closed)
            Record({device.front()}, false);
        if (m_pathPoints + device.size() <= maxPathPoints) {
            m_path.back().points.insert(m_path.back().points.end(), device.begin() + 1, device.end());
            m_pathPoints += device.size();
        }
        return;
    }
    Stroke({device}, false);
}

void MetafileDevice::SetPixel(PointF p, COLORREF colour)
{
    const PointF d = ToDevice(p);
    const POINT q{static_cast<LONG>(RoundToLong(d.x)), static_cast<LONG>(RoundToLong(d.y))};
    m_canvas.CosmeticLine({q}, false, colour & 0xFFFFFF, {}, nullptr, copyPen, m_state.clip);
}

// ---- Paths ------------------------------------------------------------------------------

void MetafileDevice::BeginPath()
{
    AbortPath();
    m_recording = true;
}

void MetafileDevice::AbortPath()
{
    m_recording = false;
    m_path.clear();
    m_pathPoints = 0;
}

void MetafileDevice::CloseFigure()
{
    if (m_recording && !m_path.empty())
        m_path.back().closed = true;
}

void MetafileDevice::FillPath()
{
    if (m_recording)
        return;
    std::vector<PointList> polygons;
    for (const Figure& f : m_path)
        polygons.push_back(Shifted(f.points, fillShift));
    FillWithBrush(polygons, m_state.winding);
    AbortPath();
}

void MetafileDevice::StrokePath()
{
    if (m_recording)
        return;
    for (const Figure& f : m_path)
        Stroke({f.points}, f.closed);
    AbortPath();
}

void MetafileDevice::StrokeAndFillPath()
{
    if (m_recording)
        return;
    const std::vector<Figure> path = m_path;
    FillPath();
    m_path = path;
    StrokePath();
}

void MetafileDevice::SelectClipPath(int /*mode*/)
{
    // Clipping to a path's outline is not supported: the path is used up and the clip stays.
    AbortPath();
}

// ---- Clipping ---------------------------------------------------------------------------

void MetafileDevice::IntersectClipRect(double left, double top, double right, double bottom)
{
    PointList corners = ToDevice(PointList{{left, top}, {right, top}, {right, bottom}, {left, bottom}});
    double l = corners[0].x, r = l, t = corners[0].y, b = t;
    for (const PointF& p : corners) {
        l = std::min(l, p.x), r = std::max(r, p.x), t = std::min(t, p.y), b = std::max(b, p.y);
    }
    m_state.clip.Intersect(Ordered(RoundToLong(l), RoundToLong(t), RoundToLong(r), RoundToLong(b)));
}

void MetafileDevice::ExcludeClipRect(double left, double top, double right, double bottom)
{
    if (const auto box = DeviceBox(left, top, right, bottom))
        m_state.clip.Exclude(*box);
}

void MetafileDevice::SelectClipRects(const std::vector<RECT>& deviceRects, int mode)
{
    std::vector<PixelRect> rects;
    for (const RECT& r : deviceRects) {
        const PointF a = m_toTarget.Apply(PointF{double(r.left), double(r.top)});
        const PointF b = m_toTarget.Apply(PointF{double(r.right), double(r.bottom)});
        rects.push_back(Ordered(RoundToLong(a.x), RoundToLong(a.y), RoundToLong(b.x), RoundToLong(b.y)));
    }
    ClipRegion& clip = m_state.clip;
    switch (mode) {
    case clipCopy:
        if (rects.empty())
            clip.Reset();
        else
            clip.Set(rects);
        break;
    case clipAnd: {
        std::vector<PixelRect> kept;
        for (const PixelRect& piece : clip.Rects())
            for (const PixelRect& r : rects) {
                const PixelRect cut{std::max(piece.left, r.left), std::max(piece.top, r.top),
                                    std::min(piece.right, r.right), std::min(piece.bottom, r.bottom)};
                if (!cut.Empty())
                    kept.push_back(cut);
            }
        clip.Set(kept);
        break;
    }
    case clipOr:
    case clipXor: {
        // Kept disjoint, so that no pixel is painted twice.
        for (const PixelRect& r : rects)
            clip.Exclude(r);
        std::vector<PixelRect> all = clip.Rects();
        all.insert(all.end(), rects.begin(), rects.end());
        clip.Set(all);
        break;
    }
    case clipDiff:
        for (const PixelRect& r : rects)
            clip.Exclude(r);
        break;
    default:
        break;
    }
}

// ---- Text -------------------------------------------------------------------------------

LOGFONTW MetafileDevice::ScaledFont(double xScale, double yScale, long largest) const
{
    // GDI keeps the sign of the height: negative is the character height, positive the cell
    // height. Glyphs far larger than the target show nothing more and are made smaller.
    const auto scaled = [&](double size) {
        if (!m_compatibleFontScaling)
            return RoundToLong(size);
        return std::isfinite(size) ? static_cast<long>(std::clamp(size, -1e9, 1e9)) : 0L;
    };
    LOGFONTW font = m_state.font.font;
    font.lfHeight = static_cast<LONG>(std::clamp(scaled(font.lfHeight * yScale), -largest, largest));
    font.lfWidth = static_cast<LONG>(std::clamp(scaled(std::fabs(font.lfWidth * xScale)), 0L, largest));
    if (font.lfHeight == 0 && m_state.font.font.lfHeight != 0)
        font.lfHeight = -1;
    font.lfEscapement = font.lfOrientation = 0;
    return font;
}

TextSurface* MetafileDevice::TextSurfaceFor(const LOGFONTW& font)
{
    // Consecutive text records mostly share their font: the last surface is kept.
    if (!m_textSurface || std::memcmp(&font, &m_textFont, sizeof font) != 0) {
        m_textSurface = m_text.Open(nullptr, font);
        m_textFont = font;
    }
    return m_textSurface.get();
}

void MetafileDevice::Text(PointF reference, const std::u16string& input, unsigned options,
                          const std::optional<RECT>& box, const std::vector<double>& spacing)
{
    const State& s = m_state;
    const bool updateCp = s.textAlign & textAlignUpdateCp;
    const PointF origin = ToDevice(updateCp ? s.position : reference);
    ClipRegion clip = s.clip;
    if (box && (options & (textOptionOpaque | textOptionClipped))) {
        const auto area = DeviceBox(box->left, box->top, box->right, box->bottom);
        if (area && (options & textOptionOpaque)) {
            Paint background;
            background.colour = s.background;
            m_canvas.PatternBlt(*area, 0xF0, background, clip);
        }
        if (area && (options & textOptionClipped))
            clip.Intersect(*area);
    }
    if (input.empty())
        return;
    std::u16string text = input.substr(0, maxTextCharacters);
    for (char16_t& c : text)
        if (c < 0x20)
            c = u' ';
    // The font's height and width in target pixels.
    const double yScale = std::hypot(m_toDevice.m21, m_toDevice.m22);
    const double xScale = std::hypot(m_toDevice.m11, m_toDevice.m12);
    const long largest = std::min<long>(maxTextBlock, 2L * std::max(m_canvas.Width(), m_canvas.Height()) + 16);
    TextSurface* surface = TextSurfaceFor(ScaledFont(xScale, yScale, largest));
    if (!surface)
        return;
    // A spacing array places each character itself: the text is as wide as its advances.
    const bool spaced = spacing.size() >= text.size();
    std::vector<long> offsets; // each character's distance from the text's left edge
    const TextExtent extent = surface->Measure(text);
    long width = extent.width;
    if (spaced) {
        double advance = 0;
        for (std::size_t i = 0; i < text.size(); ++i) {
            offsets.push_back(RoundToLong(advance * xScale));
            advance += spacing[i];
        }
        width = RoundToLong(advance * xScale);
    }
    const int height = std::clamp(extent.height, 0, maxTextBlock);
    if (height == 0)
        return;
    double x = origin.x, y = origin.y;
    switch (s.textAlign & textAlignHorizontal) {
    case textAlignRight:
        x -= width;
        break;
    case textAlignCenter:
        x -= width / 2.0;
        break;
    default:
        break;
    }
    switch (s.textAlign & textAlignVertical) {
    case textAlignBottom:
        y -= height;
        break;
    case textAlignBaseline:
        y -= std::round(height * ascentShare);
        break;
    default:
        break;
    }
    const long left = RoundToLong(x), top = RoundToLong(y);
    if (updateCp && xScale > 0) {
        const double advance = width / xScale;
        m_state.position.x += (s.textAlign & textAlignHorizontal) == textAlignRight ? -advance : advance;
    }
    if (s.opaqueBackground && !(options & textOptionOpaque)) {
        Paint background;
        background.colour = s.background;
        m_canvas.PatternBlt(Ordered(left, top, left + width, top + height), 0xF0, background, clip);
    }
    if (!spaced) {
        DrawTextRun(*surface, text, left, top, height, clip);
        return;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        const std::size_t length = (text[i] & 0xFC00) == 0xD800 && i + 1 < text.size() ? 2 : 1;
        DrawTextRun(*surface, text.substr(i, length), left + offsets[i], top, height, clip);
        i += length - 1;
    }
}

std::vector<double> MetafileDevice::RecordedSpacing(const std::u16string& text)
{
    const double toTargetX = std::hypot(m_toTarget.m11, m_toTarget.m12);
    const double toTargetY = std::hypot(m_toTarget.m21, m_toTarget.m22);
    const double xScale = std::hypot(m_toDevice.m11, m_toDevice.m12) / toTargetX;
    const double yScale = std::hypot(m_toDevice.m21, m_toDevice.m22) / toTargetY;
    if (!(xScale > 0) || !(yScale > 0) || text.size() > maxTextCharacters)
        return {};
    TextSurface* surface = TextSurfaceFor(ScaledFont(xScale, yScale, maxTextBlock));
    if (!surface)
        return {};
    std::vector<double> spacing;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool pair = (text[i] & 0xFC00) == 0xD800 && i + 1 < text.size();
        const int advance = surface->Measure(std::u16string_view(text).substr(i, pair ? 2 : 1)).width;
        spacing.push_back(std::round(advance / xScale));
        if (pair)
            spacing.push_back(0), ++i;
    }
    return spacing;
}

void MetafileDevice::DrawTextRun(TextSurface& surface, std::u16string text, long left, long top, int height,
                                 const ClipRegion& clip)
{
    if (top >= m_canvas.Height() || top + height <= 0 || left >= m_canvas.Width())
        return;
    // Only the characters that can reach the target are rendered: those wholly left of it are
    // dropped (the text moving right by their width), those past its right edge cut off.
    auto widthOf = [&](std::size_t count) { return surface.Measure(std::u16string_view(text).substr(0, count)).width; };
    auto firstReaching = [&](long edge) { // the shortest prefix at least `edge` wide
        std::size_t low = 0, high = text.size();
        while (low < high) {
            const std::size_t middle = (low + high) / 2;
            if (widthOf(middle) >= edge)
                high = middle;
            else
                low = middle + 1;
        }
        while (low < text.size() && low > 0 && (text[low] & 0xFC00) == 0xDC00) // never split a surrogate pair
            ++low;
        return low;
    };
    if (left < 0) {
        std::size_t drop = firstReaching(-left + 1);
        drop = drop > 0 ? drop - 1 : 0;
        left += widthOf(drop);
        text.erase(0, drop);
    }
    int width = surface.Measure(text).width;
    if (left + width > m_canvas.Width()) {
        text.resize(std::min(text.size(), firstReaching(m_canvas.Width() - left) + 1));
        width = surface.Measure(text).width;
    }
    width = std::clamp(width, 0, maxTextBlock);
    const int rows = static_cast<int>(std::min<long>(height, m_canvas.Height() - top));
    if (width == 0 || rows <= 0 || left + width <= 0)
        return;
    const std::uint32_t stride = ((24 * static_cast<std::uint32_t>(width) + 31) / 32) * 4;
    std::vector<std::uint8_t> block(static_cast<std::size_t>(stride) * rows);
    const Rgb24Bitmap mask{block.data(), width, rows, stride};
    if (surface.Render(text, width, rows, DT_LEFT, mask))
        m_canvas.PaintCoverage(static_cast<int>(left), static_cast<int>(top), mask, m_state.textColour, clip);
}

// ---- Bitmaps ----------------------------------------------------------------------------

std::optional<DecodedDib> MetafileDevice::DecodeDib(const std::uint8_t* packedDib, std::size_t size) const
{
    if (!m_dibs || !packedDib || size < 12)
        return std::nullopt;
    const ByteView header(packedDib, size);
    const std::uint32_t headerSize = header.U32(0);
    std::int64_t width, height;
    if (headerSize == 12) {
        width = header.U16(4);
        height = header.U16(6);
    } else if (headerSize >= 40 && header.Has(0, 16)) {
        width = header.S32(4);
        height = header.S32(8);
    } else {
        return std::nullopt;
    }
    if (width <= 0 || height == 0 || height == INT32_MIN || width * std::llabs(height) > maxDibPixels)
        return std::nullopt;
    DecodedDib dib;
    if (!m_dibs(packedDib, size, dib) || dib.width <= 0 || dib.height <= 0 ||
        dib.bgr.size() < 3 * static_cast<std::size_t>(dib.width) * static_cast<std::size_t>(dib.height))
        return std::nullopt;
    return dib;
}

std::shared_ptr<const DecodedDib> MetafileDevice::DecodePattern(const std::uint8_t* packedDib, std::size_t size)
{
    auto dib = DecodeDib(packedDib, size);
    if (!dib)
        return nullptr;
    const std::size_t pixels = static_cast<std::size_t>(dib->width) * static_cast<std::size_t>(dib->height);
    if (pixels > maxPatternPixels - std::min(m_patternPixels, maxPatternPixels))
        return nullptr;
    m_patternPixels += pixels;
    return std::make_shared<const DecodedDib>(std::move(*dib));
}

void MetafileDevice::StretchDib(double x, double y, double width, double height, const std::uint8_t* packedDib,
                                std::size_t size, double sx, double sy, double sw, double sh, bool sourceFromTop,
                                std::uint32_t rop)
{
    const auto dib = DecodeDib(packedDib, size);
    if (!dib)
        return;
    // StretchDIBits counts a bottom-up bitmap's rows from the bottom; a top-down one (negative
    // height) from the top.
    const ByteView header(packedDib, size);
    const bool topDown = header.U32(0) >= 40 && header.S32(8) < 0;
    if (!sourceFromTop && !topDown)
        sy = dib->height - sy - sh;
    const PointF a = ToDevice(PointF{x, y});
    const PointF b = ToDevice(PointF{x + width, y + height});
    m_canvas.StretchBlt(std::round(a.x), std::round(a.y), std::round(b.x), std::round(b.y), *dib, sx, sy, sx + sw,
                        sy + sh, (rop >> 16) & 0xFF, BrushPaint(), m_state.clip);
}

void MetafileDevice::PatBlt(double x, double y, double width, double height, std::uint32_t rop)
{
    const PointF a = ToDevice(PointF{x, y});
    const PointF b = ToDevice(PointF{x + width, y + height});
    const unsigned code = (rop >> 16) & 0xFF;
    if (m_state.brush.style == brushNull && ((code >> 4) & 0x0F) != (code & 0x0F))
        return;
    m_canvas.PatternBlt(Ordered(RoundToLong(a.x), RoundToLong(a.y), RoundToLong(b.x), RoundToLong(b.y)), code,
                        BrushPaint(), m_state.clip);
}

} // namespace vx::metafile
