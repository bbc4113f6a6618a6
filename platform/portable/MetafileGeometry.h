// The plane geometry of metafile playback: affine transforms as GDI's XFORM writes them,
// ellipse arcs and Bézier curves flattened into points, and the outline of a wide pen's
// stroke as polygons that, filled with the non-zero rule, cover what GDI's geometric pens
// cover.
#pragma once

#include <cstddef>
#include <vector>

namespace vx::metafile {

struct PointF {
    double x;
    double y;
};

using PointList = std::vector<PointF>;

// x' = x * m11 + y * m21 + dx, y' = x * m12 + y * m22 + dy (the XFORM layout).
struct Affine {
    double m11 = 1, m12 = 0, m21 = 0, m22 = 1, dx = 0, dy = 0;

    PointF Apply(PointF p) const { return {p.x * m11 + p.y * m21 + dx, p.x * m12 + p.y * m22 + dy}; }
    // This transform followed by `next`.
    Affine Then(const Affine& next) const;
    double Determinant() const { return m11 * m22 - m12 * m21; }
    bool IsAxisAligned() const { return m12 == 0 && m21 == 0; }
    bool IsFinite() const;
};

// The largest number of points one curve is flattened into, however large it is drawn.
constexpr std::size_t maxCurvePoints = 4096;

// Points of the ellipse inscribed in the box (left, top)-(right, bottom), starting at
// `startAngle` and going `sweep` radians counter-clockwise as seen with y pointing down
// (a negative sweep goes clockwise). `detail` is the ellipse's size in device pixels, which
// decides how finely it is cut.
PointList EllipseArc(double left, double top, double right, double bottom, double startAngle, double sweep,
                     double detail);

// The parameter angle at which the radial from the box's centre towards (x, y) meets the ellipse.
double EllipseAngleTowards(double left, double top, double right, double bottom, double x, double y);

// Appends the cubic Bézier curve from `from` through controls c1, c2 to `to`, without `from`.
void AppendBezier(PointList& out, PointF from, PointF c1, PointF c2, PointF to);

enum class PenCap { Round, Square, Flat };
enum class PenJoin { Round, Bevel, Miter };

struct StrokeStyle {
    double width;
    PenCap cap;
    PenJoin join;
    double miterLimit;
};

// Polygons whose non-zero union is the stroke of `line` with a pen of `style` (closed: the
// last point joins the first). All of them wind the same way.
std::vector<PointList> StrokeOutline(const PointList& line, bool closed, const StrokeStyle& style);

// The pieces of `line` a dash pattern draws (lengths alternately on and off, in the line's
// units), the pattern running on across its vertices. A closed line is walked back to its start.
std::vector<PointList> DashPieces(const PointList& line, bool closed, const std::vector<double>& pattern);

} // namespace vx::metafile
