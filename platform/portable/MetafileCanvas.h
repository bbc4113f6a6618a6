// The drawing surface of metafile playback: the caller's 24-bit bitmap, painted the way GDI
// paints a device. Shapes are filled through Anti-Grain Geometry's scanline rasteriser with a
// hard threshold (a pixel is painted when at least half of it lies inside, as GDI does not
// smooth edges); one-pixel lines are stepped pixel by pixel; every paint goes through a
// binary raster operation, a brush (solid, hatched or a bitmap pattern) and the clip region.
// Coordinates are target pixels, x to the right and y down, pixel (x, y) covering
// [x, x + 1) x [y, y + 1).
#pragma once

#include "platform/MetafilePlayer.h"
#include "platform/portable/MetafileGeometry.h"

#include <memory>
#include <vector>

namespace vx::metafile {

// [left, right) x [top, bottom) in target pixels.
struct PixelRect {
    int left, top, right, bottom;
    bool Empty() const { return right <= left || bottom <= top; }
};

// A clip region made of disjoint rectangles, starting as the whole target.
class ClipRegion {
public:
    explicit ClipRegion(PixelRect whole) : m_whole(whole), m_rects{whole} {}

    void Intersect(const PixelRect& r);
    void Exclude(const PixelRect& r);
    // The union of `rects` within the target: overlapping ones are taken as given.
    void Set(const std::vector<PixelRect>& rects);
    void Reset() { m_rects = {m_whole}; }
    const std::vector<PixelRect>& Rects() const { return m_rects; }

private:
    PixelRect m_whole;
    std::vector<PixelRect> m_rects;
};

// What a fill puts at each pixel: a colour, a hatch over the background (or over what is
// there), or a tiled bitmap.
struct Paint {
    enum class Kind { Solid, Hatch, Pattern };
    Kind kind = Kind::Solid;
    COLORREF colour = 0;
    int hatch = 0;
    std::shared_ptr<const DecodedDib> pattern;
    COLORREF background = RGB(255, 255, 255);
    bool opaqueBackground = true;
    int originX = 0, originY = 0;

    // The colour at (x, y); false where a transparent hatch leaves the pixel alone.
    bool ColourAt(int x, int y, COLORREF& out) const;
};

// R2_* values (1 to 16): how a pen or brush colour meets the pixel already there.
using BinaryRop = int;
constexpr BinaryRop copyPen = 13;

class MetafileCanvas {
public:
    explicit MetafileCanvas(const Rgb24Bitmap& target);

    int Width() const { return m_target.width; }
    int Height() const { return m_target.height; }
    PixelRect Whole() const { return {0, 0, m_target.width, m_target.height}; }

    void Fill(COLORREF colour);

    // Fills the polygons (implicitly closed) with the even-odd rule or, `winding`, the
    // non-zero rule.
    void FillPolygons(const std::vector<PointList>& polygons, bool winding, const Paint& paint, BinaryRop rop,
                      const ClipRegion& clip);

    // A one-pixel line through the points (pixel positions), each segment without its last
    // pixel; closed, back to the first point. `dashes` alternates on and off runs in pixels
    // (empty: solid); the off runs get `gapColour` when it is given.
    void CosmeticLine(const std::vector<POINT>& points, bool closed, COLORREF colour, const std::vector<int>& dashes,
                      const COLORREF* gapColour, BinaryRop rop, const ClipRegion& clip);

    // Paints `colour` on the pixels at (x, y) onward that `mask`, a 24-bit block holding white
    // on black, covers at least half (GDI's text, like its shapes, is not smoothed here).
    void PaintCoverage(int x, int y, const Rgb24Bitmap& mask, COLORREF colour, const ClipRegion& clip);

    // Fills `area` through the ternary raster operation `rop` (the high byte of a ROP3 code
    // shifted down) with `paint` as pattern and no source.
    void PatternBlt(const PixelRect& area, unsigned rop, const Paint& paint, const ClipRegion& clip);

    // Stretches the source rectangle (sx0, sy0)-(sx1, sy1) of `source` (top row 0) over the
    // destination (dx0, dy0)-(dx1, dy1), either of which may run backwards to mirror, sampling
    // the nearest source pixel, through the ternary raster operation `rop` with `paint` as
    // pattern.
    void StretchBlt(double dx0, double dy0, double dx1, double dy1, const DecodedDib& source, double sx0, double sy0,
                    double sx1, double sy1, unsigned rop, const Paint& paint, const ClipRegion& clip);

private:
    std::uint8_t* Pixel(int x, int y) const
    {
        return m_target.bits + static_cast<std::size_t>(m_target.height - 1 - y) * m_target.stride + 3 * std::size_t(x);
    }
    void Put(int x, int y, COLORREF colour, BinaryRop rop) const;
    // Copies `colour` into the pixels [x0, x1) of row y.
    void FillRun(int y, int x0, int x1, COLORREF colour) const;

    Rgb24Bitmap m_target;
};

} // namespace vx::metafile
