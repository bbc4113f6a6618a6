// The device context metafile records play into: the state GDI keeps per device (mapping
// mode, window and viewport, world transform, selected pen, brush and font, colours and
// modes, current position, clip region, the path being recorded), a bounded stack of saved
// states, the table of objects the records create, and the drawing operations in logical
// coordinates, which it maps to target pixels and paints on the canvas the way GDI does.
// Both the Windows and the enhanced metafile playback drive it.
#pragma once

#include "platform/MetafilePlayer.h"
#include "platform/TextRenderer.h"
#include "platform/portable/MetafileCanvas.h"
#include "platform/portable/MetafileGeometry.h"
#include "platform/MetafileRecords.h"

#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace vx::metafile {

// GDI's numbers for modes and styles, under names of our own.
enum MappingMode { mmText = 1, mmLoMetric, mmHiMetric, mmLoEnglish, mmHiEnglish, mmTwips, mmIsotropic, mmAnisotropic };
enum PenStyle {
    penSolid,
    penDash,
    penDot,
    penDashDot,
    penDashDotDot,
    penNull,
    penInsideFrame,
    penUserStyle,
    penAlternate
};
enum BrushStyle { brushSolid, brushNull, brushHatched, brushPattern, brushDibPattern = 5, brushDibPatternPt = 6 };
enum ArcKind { arcOpen, arcTo, arcChord, arcPie };
enum ClipMode { clipAnd = 1, clipOr, clipXor, clipDiff, clipCopy };

struct Pen {
    int style = penSolid;
    double width = 0; // logical units; 0 and 1 mean one pixel
    COLORREF colour = 0;
    bool geometric = false; // made by ExtCreatePen as PS_GEOMETRIC: its width scales, its caps apply
    PenCap cap = PenCap::Round;
    PenJoin join = PenJoin::Round;
    std::vector<double> userDashes; // PS_USERSTYLE, logical units
};

struct Brush {
    int style = brushSolid;
    COLORREF colour = RGB(255, 255, 255);
    int hatch = 0;
    std::shared_ptr<const DecodedDib> pattern;
};

struct Font {
    LOGFONTW font{};
};

// Palettes and regions take table slots too, but playback does not use them.
struct OtherObject {};

using GdiObject = std::variant<OtherObject, Pen, Brush, Font>;

// The objects records create, in a table of the size the header gives (at most 65535 slots).
class ObjectTable {
public:
    explicit ObjectTable(std::size_t slots) : m_slots(slots) {}
    // A Windows metafile puts a new object into the lowest free slot; false when none is free.
    bool AddAtLowestFree(GdiObject object);
    // An enhanced metafile names the slot; false when it is outside the table.
    bool Put(std::size_t index, GdiObject object);
    const GdiObject* Get(std::size_t index) const;
    void Remove(std::size_t index);

private:
    std::vector<std::optional<GdiObject>> m_slots;
};

class MetafileDevice {
public:
    // `toTarget` maps the reference device's pixels onto the target; `pixelsPerMillimetre`
    // is the reference device's resolution, for the metric and English mapping modes.
    MetafileDevice(MetafileCanvas& canvas, TextRenderer& text, const DibDecoder& dibs, const Affine& toTarget,
                   PointF pixelsPerMillimetre);

    // ---- state
    void SetMapMode(int mode);
    void SetWindowOrg(double x, double y);
    void SetWindowExt(double cx, double cy);
    void SetViewportOrg(double x, double y);
    void SetViewportExt(double cx, double cy);
    void OffsetWindowOrg(double dx, double dy);
    void OffsetViewportOrg(double dx, double dy);
    void ScaleWindowExt(double xNum, double xDenom, double yNum, double yDenom);
    void ScaleViewportExt(double xNum, double xDenom, double yNum, double yDenom);
    void SetWorldTransform(const Affine& world);
    // MWT_IDENTITY (1), MWT_LEFTMULTIPLY (2), MWT_RIGHTMULTIPLY (3), MWT_SET (4).
    void ModifyWorldTransform(const Affine& change, int mode);
    void SaveDC();
    // A negative `which` counts back from the latest saved state, a positive one is absolute.
    void RestoreDC(int which);

    void Select(const GdiObject& object);
    void SetBkMode(int mode) { m_state.opaqueBackground = mode == 2; }
    void SetBkColor(COLORREF colour) { m_state.background = colour & 0xFFFFFF; }
    void SetTextColor(COLORREF colour) { m_state.textColour = colour & 0xFFFFFF; }
    void SetTextAlign(unsigned align) { m_state.textAlign = align; }
    void SetPolyFillMode(int mode) { m_state.winding = mode == 2; }
    void SetROP2(int rop)
    {
        if (rop >= 1 && rop <= 16)
            m_state.rop = rop;
    }
    void SetBrushOrg(double x, double y) { m_state.brushOrigin = {x, y}; }
    void SetArcDirection(int direction) { m_state.clockwise = direction == 2; }
    void SetMiterLimit(double limit) { m_state.miterLimit = limit > 0 ? limit : 10; }
    // GDI in compatible graphics mode scales a font by the mapping and cuts its height and width
    // toward zero, where advanced mode keeps the exact size (drawn here rounded to whole pixels).
    void SetCompatibleFontScaling(bool on) { m_compatibleFontScaling = on; }

    // ---- drawing in logical coordinates, as in advanced graphics mode, which PlayEnhMetaFile
    // uses: a rectangle includes its right and bottom edges, ellipses and arcs fill their box
    // without them
    void MoveTo(PointF p);
    void LineTo(PointF p);
    void Rectangle(double left, double top, double right, double bottom);
    void RoundRect(double left, double top, double right, double bottom, double cornerWidth, double cornerHeight);
    void Ellipse(double left, double top, double right, double bottom);
    void Arc(ArcKind kind, double left, double top, double right, double bottom, PointF start, PointF end);
    void Polyline(const PointList& points);
    void PolylineTo(const PointList& points);
    void Polygon(const PointList& points) { PolyPolygon({points}); }
    void PolyPolygon(const std::vector<PointList>& polygons);
    void PolyBezier(const PointList& points);
    void PolyBezierTo(const PointList& points);
    void SetPixel(PointF p, COLORREF colour);

    // ---- paths
    void BeginPath();
    void EndPath() { m_recording = false; }
    void AbortPath();
    void CloseFigure();
    void FillPath();
    void StrokePath();
    void StrokeAndFillPath();
    void SelectClipPath(int mode);

    // ---- clipping: logical rectangles, or rectangles of the reference device
    void IntersectClipRect(double left, double top, double right, double bottom);
    void ExcludeClipRect(double left, double top, double right, double bottom);
    void SelectClipRects(const std::vector<RECT>& deviceRects, int mode);

    // ---- text: ETO_OPAQUE (2) fills `box` with the background colour, ETO_CLIPPED (4) clips to
    // it; `spacing` (logical units), when it has an entry per character, places each one.
    void Text(PointF reference, const std::u16string& text, unsigned options, const std::optional<RECT>& box,
              const std::vector<double>& spacing = {});
    // The spacing that recording `text` into an enhanced metafile stores: each character's
    // advance in the current font on the reference device, in whole logical units.
    std::vector<double> RecordedSpacing(const std::u16string& text);

    // ---- bitmaps: a packed DIB stretched from its source rectangle (x, y from the top when
    // `sourceFromTop`, else from the bottom row as StretchDIBits counts) over the destination
    // (logical x, y, width, height) through the ternary raster operation in `rop`'s high word.
    void StretchDib(double x, double y, double width, double height, const std::uint8_t* packedDib, std::size_t size,
                    double sx, double sy, double sw, double sh, bool sourceFromTop, std::uint32_t rop);
    void PatBlt(double x, double y, double width, double height, std::uint32_t rop);
    // Brushes with DIB patterns are decoded once, when they are created; null past the budget.
    std::shared_ptr<const DecodedDib> DecodePattern(const std::uint8_t* packedDib, std::size_t size);

private:
    struct State {
        int mapMode = mmText;
        PointF windowOrg{0, 0}, windowExt{1, 1}, viewportOrg{0, 0}, viewportExt{1, 1};
        Affine world;
        Pen pen;
        Brush brush;
        Font font;
        COLORREF textColour = 0, background = RGB(255, 255, 255);
        bool opaqueBackground = true;
        unsigned textAlign = 0;
        bool winding = false;
        int rop = copyPen;
        PointF position{0, 0};
        PointF brushOrigin{0, 0};
        bool clockwise = false;
        double miterLimit = 10;
        ClipRegion clip{PixelRect{0, 0, 0, 0}};
    };
    struct Figure {
        PointList points; // target pixel positions
        bool closed = false;
    };

    void UpdateTransform();
    PointF ToDevice(PointF logical) const { return m_toDevice.Apply(logical); }
    PointList ToDevice(const PointList& logical) const;
    // The box's corners on the target, ordered, when the mapping keeps it axis-aligned.
    std::optional<PixelRect> DeviceBox(double left, double top, double right, double bottom) const;
    double DevicePenWidth() const;
    Paint BrushPaint() const;

    // Fills polygons given in target coordinates (not pixel positions) with the brush.
    void FillWithBrush(const std::vector<PointList>& polygons, bool winding);
    // Closed figures in pixel positions: recorded into the path, or filled and outlined.
    void DrawClosed(const std::vector<PointList>& figures);
    // Outlines figures in pixel positions with the pen.
    void Stroke(const std::vector<PointList>& figures, bool closed);
    // Adds the figure to the path when one is being recorded; true then.
    bool Record(const PointList& devicePoints, bool closed);
    std::optional<DecodedDib> DecodeDib(const std::uint8_t* packedDib, std::size_t size) const;
    // The selected font at the mapping's scales, with its size at most `largest` pixels.
    LOGFONTW ScaledFont(double xScale, double yScale, long largest) const;
    TextSurface* TextSurfaceFor(const LOGFONTW& font);
    // Renders one run of text with its top-left corner at (left, top) in target pixels.
    void DrawTextRun(TextSurface& surface, std::u16string text, long left, long top, int height,
                     const ClipRegion& clip);

    MetafileCanvas& m_canvas;
    TextRenderer& m_text;
    const DibDecoder& m_dibs;
    Affine m_toTarget;
    PointF m_pixelsPerMillimetre;
    State m_state;
    std::vector<State> m_saved;
    Affine m_toDevice; // logical to target pixel positions
    bool m_compatibleFontScaling = false;
    bool m_recording = false;
    std::vector<Figure> m_path;
    std::size_t m_pathPoints = 0;
    std::size_t m_patternPixels = 0;
    LOGFONTW m_textFont{};
    std::unique_ptr<TextSurface> m_textSurface;
};

} // namespace vx::metafile
