#include "platform/portable/MetafileGeometry.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace vx::metafile {

Affine Affine::Then(const Affine& next) const
{
    Affine r;
    r.m11 = m11 * next.m11 + m12 * next.m21;
    r.m12 = m11 * next.m12 + m12 * next.m22;
    r.m21 = m21 * next.m11 + m22 * next.m21;
    r.m22 = m21 * next.m12 + m22 * next.m22;
    r.dx = dx * next.m11 + dy * next.m21 + next.dx;
    r.dy = dx * next.m12 + dy * next.m22 + next.dy;
    return r;
}

bool Affine::IsFinite() const
{
    return std::isfinite(m11) && std::isfinite(m12) && std::isfinite(m21) && std::isfinite(m22) && std::isfinite(dx) &&
           std::isfinite(dy);
}

PointList EllipseArc(double left, double top, double right, double bottom, double startAngle, double sweep,
                     double detail)
{
    const double cx = (left + right) / 2, cy = (top + bottom) / 2;
    const double rx = std::fabs(right - left) / 2, ry = std::fabs(bottom - top) / 2;
    // About one point per two pixels of circumference, within bounds.
    const double fraction = std::min(1.0, std::fabs(sweep) / (2 * std::numbers::pi));
    const double wanted = std::isfinite(detail) ? std::ceil(detail * std::numbers::pi / 2 * fraction) : 8.0;
    const std::size_t steps = static_cast<std::size_t>(std::clamp(wanted, 8.0, double(maxCurvePoints - 1)));
    PointList points;
    points.reserve(steps + 1);
    for (std::size_t i = 0; i <= steps; ++i) {
        const double a = startAngle + sweep * static_cast<double>(i) / static_cast<double>(steps);
        points.push_back({cx + rx * std::cos(a), cy - ry * std::sin(a)});
    }
    return points;
}

double EllipseAngleTowards(double left, double top, double right, double bottom, double x, double y)
{
    const double cx = (left + right) / 2, cy = (top + bottom) / 2;
    const double rx = std::max(std::fabs(right - left) / 2, 1e-9), ry = std::max(std::fabs(bottom - top) / 2, 1e-9);
    return std::atan2((cy - y) / ry, (x - cx) / rx);
}

void AppendBezier(PointList& out, PointF from, PointF c1, PointF c2, PointF to)
{
    // Enough steps that a chord stays within about half a pixel of the curve.
    const double span = std::hypot(c1.x - from.x, c1.y - from.y) + std::hypot(c2.x - c1.x, c2.y - c1.y) +
                        std::hypot(to.x - c2.x, to.y - c2.y);
    const double wanted = std::isfinite(span) ? std::ceil(std::sqrt(span) * 2) : 1.0;
    const int steps = static_cast<int>(std::clamp(wanted, 1.0, 256.0));
    for (int i = 1; i <= steps; ++i) {
        const double t = static_cast<double>(i) / steps, u = 1 - t;
        const double a = u * u * u, b = 3 * u * u * t, c = 3 * u * t * t, d = t * t * t;
        out.push_back({a * from.x + b * c1.x + c * c2.x + d * to.x, a * from.y + b * c1.y + c * c2.y + d * to.y});
    }
}

namespace {

double SignedArea(const PointList& polygon)
{
    double area = 0;
    for (std::size_t i = 0, n = polygon.size(); i < n; ++i) {
        const PointF& a = polygon[i];
        const PointF& b = polygon[(i + 1) % n];
        area += a.x * b.y - b.x * a.y;
    }
    return area / 2;
}

// Makes every polygon wind the same way, so that the non-zero rule fills their union.
void Orient(std::vector<PointList>& polygons)
{
    for (PointList& polygon : polygons)
        if (SignedArea(polygon) < 0)
            std::reverse(polygon.begin(), polygon.end());
}

PointList Disc(PointF centre, double radius)
{
    PointList disc = EllipseArc(centre.x - radius, centre.y - radius, centre.x + radius, centre.y + radius, 0,
                                2 * std::numbers::pi, 2 * radius);
    disc.pop_back(); // the first point again
    return disc;
}

// The line without points that repeat their predecessor.
PointList WithoutRepeats(const PointList& line)
{
    PointList out;
    for (const PointF& p : line)
        if (out.empty() || std::hypot(p.x - out.back().x, p.y - out.back().y) > 1e-9)
            out.push_back(p);
    return out;
}

} // namespace

std::vector<PointList> StrokeOutline(const PointList& input, bool closed, const StrokeStyle& style)
{
    std::vector<PointList> out;
    PointList line = WithoutRepeats(input);
    const double half = style.width / 2;
    if (line.empty() || !(half > 0))
        return out;
    if (closed && line.size() > 2 && std::hypot(line.front().x - line.back().x, line.front().y - line.back().y) < 1e-9)
        line.pop_back();
    if (line.size() == 1) {
        if (style.cap == PenCap::Round)
            out.push_back(Disc(line[0], half));
        return out;
    }
    const std::size_t n = line.size();
    const std::size_t segments = closed ? n : n - 1;
    for (std::size_t i = 0; i < segments; ++i) {
        PointF a = line[i], b = line[(i + 1) % n];
        const double length = std::hypot(b.x - a.x, b.y - a.y);
        const double ux = (b.x - a.x) / length, uy = (b.y - a.y) / length;
        if (!closed && style.cap == PenCap::Square) {
            if (i == 0)
                a = {a.x - ux * half, a.y - uy * half};
            if (i == segments - 1)
                b = {b.x + ux * half, b.y + uy * half};
        }
        const double nx = -uy * half, ny = ux * half;
        out.push_back({{a.x + nx, a.y + ny}, {b.x + nx, b.y + ny}, {b.x - nx, b.y - ny}, {a.x - nx, a.y - ny}});
    }
    // Joins at the inner vertices (every vertex of a closed line), caps at the ends.
    for (std::size_t i = closed ? 0 : 1; i < (closed ? n : n - 1); ++i) {
        const PointF& v = line[i];
        const PointF& p = line[(i + n - 1) % n];
        const PointF& q = line[(i + 1) % n];
        const double l1 = std::hypot(v.x - p.x, v.y - p.y), l2 = std::hypot(q.x - v.x, q.y - v.y);
        const double u1x = (v.x - p.x) / l1, u1y = (v.y - p.y) / l1, u2x = (q.x - v.x) / l2, u2y = (q.y - v.y) / l2;
        // The outer side of the turn is where the two segments' edges leave a gap.
        const double turn = u1x * u2y - u1y * u2x;
        const double side = turn > 0 ? -1 : 1;
        const PointF e1{v.x - u1y * half * side, v.y + u1x * half * side};
        const PointF e2{v.x - u2y * half * side, v.y + u2x * half * side};
        PointList join{v, e1, e2};
        const double cosine = std::clamp(u1x * u2x + u1y * u2y, -1.0, 1.0);
        if (style.join == PenJoin::Round) {
            // The round join is the wedge of the pen's circle between the two segments' ends,
            // cut as finely as its arc is long.
            const double from = std::atan2(e1.y - v.y, e1.x - v.x);
            const double turnAngle = std::remainder(std::atan2(e2.y - v.y, e2.x - v.x) - from, 2 * std::numbers::pi);
            const int steps = static_cast<int>(std::clamp(std::ceil(half * std::fabs(turnAngle) / 2), 1.0, 256.0));
            for (int k = 1; k < steps; ++k) {
                const double a = from + turnAngle * k / steps;
                join.insert(join.end() - 1, {v.x + half * std::cos(a), v.y + half * std::sin(a)});
            }
            out.push_back(std::move(join));
            continue;
        }
        if (style.join == PenJoin::Miter) {
            const double miterRatio = 1 / std::max(std::sqrt((1 + cosine) / 2), 1e-9);
            if (miterRatio <= style.miterLimit) {
                const double mx = (e1.x + e2.x) / 2 - v.x, my = (e1.y + e2.y) / 2 - v.y;
                const double ml = std::hypot(mx, my);
                if (ml > 1e-9)
                    join = {v, e1, {v.x + mx / ml * half * miterRatio, v.y + my / ml * half * miterRatio}, e2};
            }
        }
        out.push_back(join);
    }
    if (!closed && style.cap == PenCap::Round) {
        out.push_back(Disc(line.front(), half));
        out.push_back(Disc(line.back(), half));
    }
    Orient(out);
    return out;
}

std::vector<PointList> DashPieces(const PointList& input, bool closed, const std::vector<double>& pattern)
{
    // Bounds the work of a long dashed path; what lies beyond is left undrawn.
    constexpr std::size_t maxDashPieces = 1 << 12;
    std::vector<PointList> pieces;
    double total = 0;
    for (double d : pattern)
        total += std::max(d, 0.0);
    PointList line = input;
    if (closed && !line.empty())
        line.push_back(line.front());
    if (pattern.empty() || !(total > 0) || line.size() < 2) {
        pieces.push_back(line);
        return pieces;
    }
    std::size_t index = 0;
    double left = pattern[0];
    bool on = true;
    PointList current{line[0]};
    for (std::size_t i = 1; i < line.size(); ++i) {
        PointF a = line[i - 1];
        const PointF b = line[i];
        double length = std::hypot(b.x - a.x, b.y - a.y);
        // A line far longer than the pattern would make unbounded pieces: draw it solid.
        if (!std::isfinite(length) || length / total > 1e5)
            return {line};
        while (length > left && pieces.size() < maxDashPieces) {
            const double t = left / length;
            a = {a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t};
            length -= left;
            if (on) {
                current.push_back(a);
                pieces.push_back(current);
            }
            current = {a};
            on = !on;
            index = (index + 1) % pattern.size();
            left = std::max(pattern[index], 0.0);
        }
        left -= length;
        current.push_back(b);
    }
    if (on && current.size() > 1)
        pieces.push_back(current);
    return pieces;
}

} // namespace vx::metafile
