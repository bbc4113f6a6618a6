#include "platform/portable/MetafileCanvas.h"

#include <agg_basics.h>
#include <agg_gamma_functions.h>
#include <agg_rasterizer_scanline_aa.h>
#include <agg_scanline_u.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace vx::metafile {

namespace {

// Clip regions made of more pieces than this stop being cut further (excluding a rectangle
// from each of them splits it into up to four).
constexpr std::size_t maxClipRects = 4096;

// Beyond this distance from the target, coordinates change nothing visible; clamping them
// keeps the rasteriser's fixed-point arithmetic in range.
constexpr double coordinateLimit = 1e7;

// Text renderers hand over coverage with GDI's gamma-corrected grey levels. GDI's unsmoothed
// text has one-pixel stems where anti-aliased coverage spreads a stem over two pixels: only
// pixels a glyph nearly covers (240 of 255, level 14 of 16) are painted, which keeps the
// weight GDI draws.
constexpr std::uint8_t textCoverage = 240;

PixelRect Intersection(const PixelRect& a, const PixelRect& b)
{
    return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right), std::min(a.bottom, b.bottom)};
}

// GDI's 8 x 8 hatches, one byte per row, the leftmost pixel in the high bit.
constexpr std::uint8_t hatchRows[6][8] = {
    {0x00, 0x00, 0x00, 0xFF, 0x00, 0x00, 0x00, 0x00}, // HS_HORIZONTAL
    {0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08}, // HS_VERTICAL
    {0x80, 0x40, 0x20, 0x10, 0x08, 0x04, 0x02, 0x01}, // HS_FDIAGONAL
    {0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80}, // HS_BDIAGONAL
    {0x08, 0x08, 0x08, 0xFF, 0x08, 0x08, 0x08, 0x08}, // HS_CROSS
    {0x81, 0x42, 0x24, 0x18, 0x18, 0x24, 0x42, 0x81}, // HS_DIAGCROSS
};

int Modulo(long long value, int period)
{
    const long long m = value % period;
    return static_cast<int>(m < 0 ? m + period : m);
}

// R2 codes are a truth table of pen P and destination D: bit (P << 1 | D) of (code - 1).
std::uint8_t ApplyRop2(BinaryRop rop, std::uint8_t p, std::uint8_t d)
{
    const unsigned table = static_cast<unsigned>(rop - 1) & 0xF;
    unsigned r = 0;
    if (table & 1)
        r |= ~p & ~d;
    if (table & 2)
        r |= ~p & d;
    if (table & 4)
        r |= p & ~d;
    if (table & 8)
        r |= p & d;
    return static_cast<std::uint8_t>(r);
}

// ROP3 codes are a truth table of pattern P, source S and destination D: bit (P << 2 | S << 1 | D).
std::uint8_t ApplyRop3(unsigned rop, std::uint8_t p, std::uint8_t s, std::uint8_t d)
{
    if (rop == 0xCC)
        return s;
    unsigned r = 0;
    for (unsigned k = 0; k < 8; ++k)
        if (rop >> k & 1)
            r |= (k & 4 ? p : ~p) & (k & 2 ? s : ~s) & (k & 1 ? d : ~d);
    return static_cast<std::uint8_t>(r);
}

bool RopUsesPattern(unsigned rop)
{
    return ((rop >> 4) & 0x0F) != (rop & 0x0F);
}

// The source pixel a stretch takes for destination pixel `d` of the span from edge d0 to edge
// d1 (either way round) out of the source span s0 to s1: counted from the start edges, as
// GDI's stepping does, without sampling at pixel centres.
long SourceIndex(int d, double d0, double d1, double s0, double s1)
{
    const double steps = d1 > d0 ? d - d0 : d0 - 1 - d;
    const double offset = std::floor(steps * std::fabs(s1 - s0) / std::fabs(d1 - d0));
    return static_cast<long>(s1 > s0 ? s0 + offset : s0 - 1 - offset);
}

} // namespace

// ---- Clip region ------------------------------------------------------------------------

void ClipRegion::Intersect(const PixelRect& r)
{
    std::vector<PixelRect> kept;
    for (const PixelRect& piece : m_rects) {
        const PixelRect cut = Intersection(piece, r);
        if (!cut.Empty())
            kept.push_back(cut);
    }
    m_rects = std::move(kept);
}

void ClipRegion::Exclude(const PixelRect& r)
{
    if (m_rects.size() >= maxClipRects)
        return;
    std::vector<PixelRect> kept;
    for (const PixelRect& piece : m_rects) {
        const PixelRect hole = Intersection(piece, r);
        if (hole.Empty()) {
            kept.push_back(piece);
            continue;
        }
        const PixelRect parts[4] = {{piece.left, piece.top, piece.right, hole.top},
                                    {piece.left, hole.bottom, piece.right, piece.bottom},
                                    {piece.left, hole.top, hole.left, hole.bottom},
                                    {hole.right, hole.top, piece.right, hole.bottom}};
        for (const PixelRect& part : parts)
            if (!part.Empty())
                kept.push_back(part);
    }
    m_rects = std::move(kept);
}

void ClipRegion::Set(const std::vector<PixelRect>& rects)
{
    m_rects.clear();
    for (const PixelRect& r : rects) {
        const PixelRect cut = Intersection(r, m_whole);
        if (!cut.Empty() && m_rects.size() < maxClipRects)
            m_rects.push_back(cut);
    }
}

// ---- Paint ------------------------------------------------------------------------------

bool Paint::ColourAt(int x, int y, COLORREF& out) const
{
    switch (kind) {
    case Kind::Solid:
        out = colour;
        return true;
    case Kind::Hatch: {
        const int row = Modulo(static_cast<long long>(y) - originY, 8);
        const int column = Modulo(static_cast<long long>(x) - originX, 8);
        if (hatchRows[std::clamp(hatch, 0, 5)][row] & (0x80 >> column)) {
            out = colour;
            return true;
        }
        out = background;
        return opaqueBackground;
    }
    case Kind::Pattern: {
        if (!pattern || pattern->width <= 0 || pattern->height <= 0) {
            out = colour;
            return true;
        }
        const int px = Modulo(static_cast<long long>(x) - originX, pattern->width);
        const int py = Modulo(static_cast<long long>(y) - originY, pattern->height);
        const std::uint8_t* bgr = pattern->bgr.data() + 3 * (static_cast<std::size_t>(py) * pattern->width + px);
        out = RGB(bgr[2], bgr[1], bgr[0]);
        return true;
    }
    }
    return false;
}

// ---- Canvas -----------------------------------------------------------------------------

MetafileCanvas::MetafileCanvas(const Rgb24Bitmap& target) : m_target(target) {}

void MetafileCanvas::Fill(COLORREF colour)
{
    for (int y = 0; y < Height(); ++y)
        FillRun(y, 0, Width(), colour);
}

void MetafileCanvas::FillRun(int y, int x0, int x1, COLORREF colour) const
{
    const std::uint8_t b = GetBValue(colour), g = GetGValue(colour), r = GetRValue(colour);
    std::uint8_t* pixel = Pixel(x0, y);
    for (int x = x0; x < x1; ++x, pixel += 3) {
        pixel[0] = b;
        pixel[1] = g;
        pixel[2] = r;
    }
}

void MetafileCanvas::Put(int x, int y, COLORREF colour, BinaryRop rop) const
{
    std::uint8_t* pixel = Pixel(x, y);
    if (rop == copyPen) {
        pixel[0] = GetBValue(colour);
        pixel[1] = GetGValue(colour);
        pixel[2] = GetRValue(colour);
        return;
    }
    pixel[0] = ApplyRop2(rop, GetBValue(colour), pixel[0]);
    pixel[1] = ApplyRop2(rop, GetGValue(colour), pixel[1]);
    pixel[2] = ApplyRop2(rop, GetRValue(colour), pixel[2]);
}

void MetafileCanvas::FillPolygons(const std::vector<PointList>& polygons, bool winding, const Paint& paint,
                                  BinaryRop rop, const ClipRegion& clip)
{
    if (clip.Rects().empty())
        return;
    agg::rasterizer_scanline_aa<agg::rasterizer_sl_clip_dbl> rasterizer;
    rasterizer.clip_box(0, 0, Width(), Height());
    rasterizer.gamma(agg::gamma_threshold(0.5));
    rasterizer.filling_rule(winding ? agg::fill_non_zero : agg::fill_even_odd);
    bool any = false;
    for (const PointList& polygon : polygons) {
        if (polygon.size() < 3)
            continue;
        bool first = true;
        for (const PointF& p : polygon) {
            if (!std::isfinite(p.x) || !std::isfinite(p.y))
                continue;
            const double x = std::clamp(p.x, -coordinateLimit, coordinateLimit);
            const double y = std::clamp(p.y, -coordinateLimit, coordinateLimit);
            if (first)
                rasterizer.move_to_d(x, y);
            else
                rasterizer.line_to_d(x, y);
            first = false;
        }
        rasterizer.close_polygon();
        any = true;
    }
    if (!any || !rasterizer.rewind_scanlines())
        return;
    const bool plainCopy = paint.kind == Paint::Kind::Solid && rop == copyPen;
    agg::scanline_u8 scanline;
    scanline.reset(rasterizer.min_x(), rasterizer.max_x());
    while (rasterizer.sweep_scanline(scanline)) {
        const int y = scanline.y();
        auto span = scanline.begin();
        for (unsigned n = scanline.num_spans(); n > 0; --n, ++span) {
            const int x0 = span->x, x1 = span->x + span->len;
            for (const PixelRect& r : clip.Rects()) {
                if (y < r.top || y >= r.bottom)
                    continue;
                const int from = std::max(x0, r.left), to = std::min(x1, r.right);
                if (plainCopy && from < to) {
                    FillRun(y, from, to, paint.colour);
                    continue;
                }
                for (int x = from; x < to; ++x) {
                    COLORREF colour;
                    if (paint.ColourAt(x, y, colour))
                        Put(x, y, colour, rop);
                }
            }
        }
    }
}

void MetafileCanvas::CosmeticLine(const std::vector<POINT>& points, bool closed, COLORREF colour,
                                  const std::vector<int>& dashes, const COLORREF* gapColour, BinaryRop rop,
                                  const ClipRegion& clip)
{
    if (points.empty() || clip.Rects().empty())
        return;
    int period = 0;
    for (int d : dashes)
        period += std::max(d, 0);
    long long step = 0; // pixels stepped so far, for the dash phase
    auto plot = [&](long long x, long long y) {
        bool on = true;
        if (period > 0) {
            int phase = Modulo(step, period);
            for (std::size_t i = 0; i < dashes.size(); ++i) {
                if (phase < dashes[i]) {
                    on = i % 2 == 0;
                    break;
                }
                phase -= std::max(dashes[i], 0);
            }
        }
        ++step;
        if (!on && !gapColour)
            return;
        if (x < 0 || y < 0 || x >= Width() || y >= Height())
            return;
        const int ix = static_cast<int>(x), iy = static_cast<int>(y);
        for (const PixelRect& r : clip.Rects())
            if (ix >= r.left && ix < r.right && iy >= r.top && iy < r.bottom) {
                Put(ix, iy, on ? colour : *gapColour, rop);
                return;
            }
    };
    const std::size_t segments = closed ? points.size() : points.size() - 1;
    for (std::size_t i = 0; i < segments; ++i) {
        const POINT a = points[i];
        const POINT b = points[(i + 1) % points.size()];
        const long long dx = static_cast<long long>(b.x) - a.x, dy = static_cast<long long>(b.y) - a.y;
        const long long steps = std::max(std::llabs(dx), std::llabs(dy));
        if (steps == 0)
            continue;
        // Only the steps that can land on the target are walked; the others count for the dashes.
        double t0 = 0, t1 = 1;
        auto clipAxis = [&](double start, double delta, double low, double high) {
            if (delta == 0)
                return start >= low && start <= high;
            double ta = (low - start) / delta, tb = (high - start) / delta;
            if (ta > tb)
                std::swap(ta, tb);
            t0 = std::max(t0, ta);
            t1 = std::min(t1, tb);
            return t0 <= t1;
        };
        const bool visible = clipAxis(a.x, double(dx), -1, Width()) && clipAxis(a.y, double(dy), -1, Height());
        const long long first =
            visible ? std::clamp<long long>(static_cast<long long>(std::floor(t0 * steps)) - 1, 0, steps) : steps;
        const long long last =
            visible ? std::clamp<long long>(static_cast<long long>(std::ceil(t1 * steps)) + 1, 0, steps) : steps;
        step += first;
        for (long long k = first; k < last; ++k) {
            // The nearest pixel to the exact line, as Bresenham's stepping picks it (halves
            // rounded away from the start, in doubles: the products can pass 64 bits).
            const double t = static_cast<double>(k) / static_cast<double>(steps);
            const long long x = a.x + std::llround(t * static_cast<double>(dx));
            const long long y = a.y + std::llround(t * static_cast<double>(dy));
            plot(x, y);
        }
        step += steps - last;
    }
    if (!closed && points.size() == 1)
        plot(points[0].x, points[0].y);
}

void MetafileCanvas::PaintCoverage(int x, int y, const Rgb24Bitmap& mask, COLORREF colour, const ClipRegion& clip)
{
    for (const PixelRect& r : clip.Rects()) {
        const PixelRect area = Intersection(r, {x, y, x + mask.width, y + mask.height});
        for (int py = area.top; py < area.bottom; ++py) {
            const std::uint8_t* row = mask.bits + static_cast<std::size_t>(mask.height - 1 - (py - y)) * mask.stride;
            for (int px = area.left; px < area.right; ++px) {
                const std::uint8_t* m = row + 3 * std::size_t(px - x);
                if (std::max({m[0], m[1], m[2]}) >= textCoverage)
                    Put(px, py, colour, copyPen);
            }
        }
    }
}

void MetafileCanvas::PatternBlt(const PixelRect& area, unsigned rop, const Paint& paint, const ClipRegion& clip)
{
    for (const PixelRect& r : clip.Rects()) {
        const PixelRect cut = Intersection(r, area);
        for (int y = cut.top; y < cut.bottom; ++y)
            for (int x = cut.left; x < cut.right; ++x) {
                COLORREF p = 0;
                if (RopUsesPattern(rop))
                    paint.ColourAt(x, y, p);
                std::uint8_t* pixel = Pixel(x, y);
                pixel[0] = ApplyRop3(rop, GetBValue(p), 0, pixel[0]);
                pixel[1] = ApplyRop3(rop, GetGValue(p), 0, pixel[1]);
                pixel[2] = ApplyRop3(rop, GetRValue(p), 0, pixel[2]);
            }
    }
}

void MetafileCanvas::StretchBlt(double dx0, double dy0, double dx1, double dy1, const DecodedDib& source, double sx0,
                                double sy0, double sx1, double sy1, unsigned rop, const Paint& paint,
                                const ClipRegion& clip)
{
    if (source.width <= 0 || source.height <= 0 || dx0 == dx1 || dy0 == dy1)
        return;
    if (!std::isfinite(dx0 + dy0 + dx1 + dy1 + sx0 + sy0 + sx1 + sy1))
        return;
    const double left = std::min(dx0, dx1), right = std::max(dx0, dx1);
    const double top = std::min(dy0, dy1), bottom = std::max(dy0, dy1);
    const PixelRect area{static_cast<int>(std::clamp(std::lround(left), 0L, long(Width()))),
                         static_cast<int>(std::clamp(std::lround(top), 0L, long(Height()))),
                         static_cast<int>(std::clamp(std::lround(right), 0L, long(Width()))),
                         static_cast<int>(std::clamp(std::lround(bottom), 0L, long(Height())))};
    const bool usesPattern = RopUsesPattern(rop);
    for (const PixelRect& r : clip.Rects()) {
        const PixelRect cut = Intersection(r, area);
        for (int y = cut.top; y < cut.bottom; ++y) {
            const long row = SourceIndex(y, dy0, dy1, sy0, sy1);
            if (row < 0 || row >= source.height)
                continue;
            for (int x = cut.left; x < cut.right; ++x) {
                const long column = SourceIndex(x, dx0, dx1, sx0, sx1);
                if (column < 0 || column >= source.width)
                    continue;
                const std::uint8_t* s = source.bgr.data() + 3 * (static_cast<std::size_t>(row) * source.width + column);
                COLORREF p = 0;
                if (usesPattern)
                    paint.ColourAt(x, y, p);
                std::uint8_t* pixel = Pixel(x, y);
                pixel[0] = ApplyRop3(rop, GetBValue(p), s[0], pixel[0]);
                pixel[1] = ApplyRop3(rop, GetGValue(p), s[1], pixel[1]);
                pixel[2] = ApplyRop3(rop, GetRValue(p), s[2], pixel[2]);
            }
        }
    }
}

} // namespace vx::metafile
