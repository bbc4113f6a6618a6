#include "platform/portable/WmfPlayback.h"

#include <algorithm>

namespace vx::metafile {

namespace {

// Record functions (the low byte numbers the function, the high byte counts its usual words).
enum WmfFunction : std::uint16_t {
    wmfSetBkColor = 0x0201,
    wmfSetBkMode = 0x0102,
    wmfSetMapMode = 0x0103,
    wmfSetRop2 = 0x0104,
    wmfSetPolyFillMode = 0x0106,
    wmfSetTextColor = 0x0209,
    wmfSetWindowOrg = 0x020B,
    wmfSetWindowExt = 0x020C,
    wmfSetViewportOrg = 0x020D,
    wmfSetViewportExt = 0x020E,
    wmfOffsetWindowOrg = 0x020F,
    wmfScaleWindowExt = 0x0410,
    wmfOffsetViewportOrg = 0x0211,
    wmfScaleViewportExt = 0x0412,
    wmfLineTo = 0x0213,
    wmfMoveTo = 0x0214,
    wmfExcludeClipRect = 0x0415,
    wmfIntersectClipRect = 0x0416,
    wmfArc = 0x0817,
    wmfEllipse = 0x0418,
    wmfPie = 0x081A,
    wmfRectangle = 0x041B,
    wmfRoundRect = 0x061C,
    wmfPatBlt = 0x061D,
    wmfSaveDc = 0x001E,
    wmfSetPixel = 0x041F,
    wmfTextOut = 0x0521,
    wmfPolygon = 0x0324,
    wmfPolyline = 0x0325,
    wmfRestoreDc = 0x0127,
    wmfSelectObject = 0x012D,
    wmfSetTextAlign = 0x012E,
    wmfChord = 0x0830,
    wmfExtTextOut = 0x0A32,
    wmfSetDibToDev = 0x0D33,
    wmfPolyPolygon = 0x0538,
    wmfDibBitBlt = 0x0940,
    wmfDibStretchBlt = 0x0B41,
    wmfDibCreatePatternBrush = 0x0142,
    wmfStretchDib = 0x0F43,
    wmfDeleteObject = 0x01F0,
    wmfCreatePalette = 0x00F7,
    wmfCreatePatternBrush = 0x01F9,
    wmfCreatePenIndirect = 0x02FA,
    wmfCreateFontIndirect = 0x02FB,
    wmfCreateBrushIndirect = 0x02FC,
    wmfCreateRegion = 0x06FF,
};

constexpr std::uint32_t srcCopy = 0x00CC0020;
constexpr std::uint16_t dibPalColors = 1;

class WmfPlayer {
public:
    WmfPlayer(MetafileDevice& device, std::size_t objects) : m_device(device), m_objects(objects) {}
    void Play(const WmfRecord& record);

private:
    // The i-th 16-bit parameter.
    static double W(const ByteView& p, std::size_t i) { return p.S16(2 * i); }
    static PointList Points(const ByteView& p, std::size_t offset, std::size_t count);
    void CreateObject(GdiObject object) { m_objects.AddAtLowestFree(std::move(object)); }
    void Text(const ByteView& p, bool extended);
    void Shape(const WmfRecord& record);
    void Bitmap(const WmfRecord& record);

    MetafileDevice& m_device;
    ObjectTable m_objects;
};

PointList WmfPlayer::Points(const ByteView& p, std::size_t offset, std::size_t count)
{
    PointList points;
    if (!p.Has(offset, 4 * count))
        return points;
    points.reserve(count);
    for (std::size_t i = 0; i < count; ++i)
        points.push_back({double(p.S16(offset + 4 * i)), double(p.S16(offset + 4 * i + 2))});
    return points;
}

void WmfPlayer::Play(const WmfRecord& record)
{
    const ByteView& p = record.params;
    MetafileDevice& d = m_device;
    // The number of parameter words each kind needs at least; shorter records are skipped.
    auto needs = [&](std::size_t words) { return p.Has(0, 2 * words); };
    switch (record.function) {
    case wmfSetBkColor:
        if (needs(2))
            d.SetBkColor(p.U32(0));
        break;
    case wmfSetBkMode:
        if (needs(1))
            d.SetBkMode(p.S16(0));
        break;
    case wmfSetMapMode:
        if (needs(1))
            d.SetMapMode(p.S16(0));
        break;
    case wmfSetRop2:
        if (needs(1))
            d.SetROP2(p.S16(0));
        break;
    case wmfSetPolyFillMode:
        if (needs(1))
            d.SetPolyFillMode(p.S16(0));
        break;
    case wmfSetTextColor:
        if (needs(2))
            d.SetTextColor(p.U32(0));
        break;
    case wmfSetTextAlign:
        if (needs(1))
            d.SetTextAlign(p.U16(0));
        break;
    // Coordinates come last argument first: (y, x), (bottom, right, top, left).
    case wmfSetWindowOrg:
        if (needs(2))
            d.SetWindowOrg(W(p, 1), W(p, 0));
        break;
    case wmfSetWindowExt:
        if (needs(2))
            d.SetWindowExt(W(p, 1), W(p, 0));
        break;
    case wmfSetViewportOrg:
        if (needs(2))
            d.SetViewportOrg(W(p, 1), W(p, 0));
        break;
    case wmfSetViewportExt:
        if (needs(2))
            d.SetViewportExt(W(p, 1), W(p, 0));
        break;
    case wmfOffsetWindowOrg:
        if (needs(2))
            d.OffsetWindowOrg(W(p, 1), W(p, 0));
        break;
    case wmfOffsetViewportOrg:
        if (needs(2))
            d.OffsetViewportOrg(W(p, 1), W(p, 0));
        break;
    case wmfScaleWindowExt:
        if (needs(4))
            d.ScaleWindowExt(W(p, 3), W(p, 2), W(p, 1), W(p, 0));
        break;
    case wmfScaleViewportExt:
        if (needs(4))
            d.ScaleViewportExt(W(p, 3), W(p, 2), W(p, 1), W(p, 0));
        break;
    case wmfLineTo:
        if (needs(2))
            d.LineTo({W(p, 1), W(p, 0)});
        break;
    case wmfMoveTo:
        if (needs(2))
            d.MoveTo({W(p, 1), W(p, 0)});
        break;
    case wmfExcludeClipRect:
        if (needs(4))
            d.ExcludeClipRect(W(p, 3), W(p, 2), W(p, 1), W(p, 0));
        break;
    case wmfIntersectClipRect:
        if (needs(4))
            d.IntersectClipRect(W(p, 3), W(p, 2), W(p, 1), W(p, 0));
        break;
    case wmfRectangle:
    case wmfEllipse:
    case wmfRoundRect:
    case wmfArc:
    case wmfChord:
    case wmfPie:
        Shape(record);
        break;
    case wmfPatBlt:
        if (needs(6))
            d.PatBlt(W(p, 5), W(p, 4), W(p, 3), W(p, 2), p.U32(0));
        break;
    case wmfSaveDc:
        d.SaveDC();
        break;
    case wmfRestoreDc:
        if (needs(1))
            d.RestoreDC(p.S16(0));
        break;
    case wmfSetPixel:
        if (needs(4))
            d.SetPixel({W(p, 3), W(p, 2)}, p.U32(0));
        break;
    case wmfPolygon:
    case wmfPolyline:
        if (needs(1)) {
            const PointList points = Points(p, 2, p.U16(0));
            if (points.empty())
                break;
            if (record.function == wmfPolygon)
                d.Polygon(points);
            else
                d.Polyline(points);
        }
        break;
    case wmfPolyPolygon: {
        const std::size_t polygons = p.U16(0);
        if (!p.Has(2, 2 * polygons))
            break;
        std::vector<PointList> all;
        std::size_t offset = 2 + 2 * polygons;
        for (std::size_t i = 0; i < polygons; ++i) {
            const std::size_t count = p.U16(2 + 2 * i);
            PointList points = Points(p, offset, count);
            if (points.size() != count)
                return; // the counts claim more points than the record holds
            offset += 4 * count;
            all.push_back(std::move(points));
        }
        d.PolyPolygon(all);
        break;
    }
    case wmfTextOut:
        Text(p, false);
        break;
    case wmfExtTextOut:
        Text(p, true);
        break;
    case wmfSelectObject:
        if (needs(1))
            if (const GdiObject* object = m_objects.Get(p.U16(0)))
                d.Select(*object);
        break;
    case wmfDeleteObject:
        if (needs(1))
            m_objects.Remove(p.U16(0));
        break;
    case wmfCreatePenIndirect:
        if (needs(5)) {
            Pen pen;
            pen.style = p.U16(0) & 0x0F;
            pen.width = std::max<double>(0, W(p, 1));
            pen.colour = p.U32(6) & 0xFFFFFF;
            CreateObject(pen);
        }
        break;
    case wmfCreateBrushIndirect:
        if (needs(4)) {
            Brush brush;
            brush.style = p.U16(0);
            brush.colour = p.U32(2) & 0xFFFFFF;
            brush.hatch = p.U16(6);
            if (brush.style != brushNull && brush.style != brushHatched)
                brush.style = brushSolid;
            CreateObject(brush);
        }
        break;
    case wmfDibCreatePatternBrush: {
        Brush brush;
        brush.style = brushDibPattern;
        brush.colour = 0;
        // Style BS_PATTERN carries an old device-dependent bitmap, which is not read.
        if (needs(2) && p.U16(0) != brushPattern && p.U16(2) != dibPalColors)
            brush.pattern = d.DecodePattern(p.Data() + 4, p.Size() - 4);
        CreateObject(brush);
        break;
    }
    case wmfCreatePatternBrush:
        CreateObject(Brush{brushSolid, 0, 0, nullptr});
        break;
    case wmfCreateFontIndirect:
        if (needs(9)) {
            Font font;
            LOGFONTW& f = font.font;
            f.lfHeight = p.S16(0);
            f.lfWidth = p.S16(2);
            f.lfEscapement = p.S16(4);
            f.lfOrientation = p.S16(6);
            f.lfWeight = p.S16(8);
            f.lfItalic = p.U8(10);
            f.lfUnderline = p.U8(11);
            f.lfStrikeOut = p.U8(12);
            f.lfCharSet = p.U8(13);
            f.lfOutPrecision = p.U8(14);
            f.lfClipPrecision = p.U8(15);
            f.lfQuality = p.U8(16);
            f.lfPitchAndFamily = p.U8(17);
            const std::u16string face = DecodeAnsi(p.Sub(18, std::min<std::size_t>(p.Size() - 18, LF_FACESIZE - 1)));
            for (std::size_t i = 0; i < face.size() && face[i] != 0; ++i)
                f.lfFaceName[i] = face[i];
            CreateObject(font);
        }
        break;
    case wmfCreatePalette:
    case wmfCreateRegion:
        CreateObject(OtherObject{});
        break;
    case wmfStretchDib:
    case wmfDibStretchBlt:
    case wmfDibBitBlt:
    case wmfSetDibToDev:
        Bitmap(record);
        break;
    default:
        break; // unknown or not drawn: skipped
    }
}

void WmfPlayer::Shape(const WmfRecord& record)
{
    // The box comes last in the record: bottom, right, top, left. The conversion to an
    // enhanced metafile records it without its right and bottom edges (one logical unit in),
    // as GDI does in compatible mode, and plays it in advanced mode.
    const ByteView& p = record.params;
    const std::size_t words = record.function == wmfRoundRect                                    ? 6
                              : record.function == wmfRectangle || record.function == wmfEllipse ? 4
                                                                                                 : 8;
    if (!p.Has(0, 2 * words))
        return;
    const std::size_t box = words - 4;
    double left = W(p, box + 3), top = W(p, box + 2), right = W(p, box + 1), bottom = W(p, box);
    if (left == right || top == bottom)
        return;
    if (left > right)
        std::swap(left, right);
    if (top > bottom)
        std::swap(top, bottom);
    --right;
    --bottom;
    MetafileDevice& d = m_device;
    switch (record.function) {
    case wmfRectangle:
        d.Rectangle(left, top, right, bottom);
        break;
    case wmfEllipse:
        d.Ellipse(left, top, right, bottom);
        break;
    case wmfRoundRect:
        d.RoundRect(left, top, right, bottom, W(p, 1), W(p, 0));
        break;
    default: {
        const ArcKind kind = record.function == wmfArc ? arcOpen : record.function == wmfChord ? arcChord : arcPie;
        d.Arc(kind, left, top, right, bottom, {W(p, 3), W(p, 2)}, {W(p, 1), W(p, 0)});
        break;
    }
    }
}

void WmfPlayer::Text(const ByteView& p, bool extended)
{
    if (!extended) {
        // count, the string padded to whole words, y, x
        const std::size_t count = std::max<std::int16_t>(p.S16(0), 0);
        const std::size_t padded = (count + 1) & ~std::size_t{1};
        if (!p.Has(2, padded + 4))
            return;
        // Without spacing in the record: the advances the conversion to an enhanced metafile stores.
        const std::u16string text = DecodeAnsi(p.Sub(2, count));
        m_device.Text({W(p.Sub(2 + padded, 4), 1), W(p.Sub(2 + padded, 4), 0)}, text, 0, std::nullopt,
                      m_device.RecordedSpacing(text));
        return;
    }
    // y, x, count, options, [a rectangle when opaque or clipped], the string, [spacing]
    if (!p.Has(0, 8))
        return;
    const std::size_t count = std::max<std::int16_t>(p.S16(4), 0);
    const unsigned options = p.U16(6);
    std::optional<RECT> box;
    std::size_t offset = 8;
    if (options & 6) {
        if (!p.Has(8, 8))
            return;
        box = RECT{p.S16(8), p.S16(10), p.S16(12), p.S16(14)};
        offset = 16;
    }
    if (!p.Has(offset, count))
        return;
    // The spacing words follow the string padded to whole words, when the record holds them.
    const std::u16string text = DecodeAnsi(p.Sub(offset, count));
    std::vector<double> spacing;
    const std::size_t spacingAt = offset + ((count + 1) & ~std::size_t{1});
    if (p.Has(spacingAt, 2 * count))
        for (std::size_t i = 0; i < count; ++i)
            spacing.push_back(p.S16(spacingAt + 2 * i));
    else
        spacing = m_device.RecordedSpacing(text);
    m_device.Text({W(p, 1), W(p, 0)}, text, options, box, spacing);
}

void WmfPlayer::Bitmap(const WmfRecord& record)
{
    const ByteView& p = record.params;
    // Record sizes are (high byte of the function + 3) words when a blit carries no bitmap.
    const bool withoutBitmap = p.Size() + 6 == 2 * std::size_t((record.function >> 8) + 3);
    switch (record.function) {
    case wmfStretchDib: // rop, usage, source h, w, y, x, destination h, w, y, x, DIB
        if (p.Has(0, 22) && p.U16(4) != dibPalColors)
            m_device.StretchDib(W(p, 10), W(p, 9), W(p, 8), W(p, 7), p.Data() + 22, p.Size() - 22, W(p, 6), W(p, 5),
                                W(p, 4), W(p, 3), false, p.U32(0));
        break;
    case wmfDibStretchBlt:                 // rop, source h, w, y, x, destination h, w, y, x, DIB
        if (withoutBitmap && p.Has(0, 22)) // with a reserved word before the destination
            m_device.PatBlt(W(p, 10), W(p, 9), W(p, 8), W(p, 7), p.U32(0));
        else if (p.Has(0, 20))
            m_device.StretchDib(W(p, 9), W(p, 8), W(p, 7), W(p, 6), p.Data() + 20, p.Size() - 20, W(p, 5), W(p, 4),
                                W(p, 3), W(p, 2), true, p.U32(0));
        break;
    case wmfDibBitBlt:                     // rop, source y, x, height, width, destination y, x, DIB
        if (withoutBitmap && p.Has(0, 18)) // with a reserved word before the destination
            m_device.PatBlt(W(p, 8), W(p, 7), W(p, 6), W(p, 5), p.U32(0));
        else if (p.Has(0, 16))
            m_device.StretchDib(W(p, 7), W(p, 6), W(p, 5), W(p, 4), p.Data() + 16, p.Size() - 16, W(p, 3), W(p, 2),
                                W(p, 5), W(p, 4), true, p.U32(0));
        break;
    case wmfSetDibToDev: // usage, scan count, start scan, source y, x, height, width, destination y, x, DIB
        if (p.Has(0, 18) && p.U16(0) != dibPalColors)
            m_device.StretchDib(W(p, 8), W(p, 7), W(p, 6), W(p, 5), p.Data() + 18, p.Size() - 18, W(p, 4), W(p, 3),
                                W(p, 6), W(p, 5), false, srcCopy);
        break;
    default:
        break;
    }
}

} // namespace

void PlayWindowsMetafile(ByteView data, const WmfHeader& header, MetafileDevice& device)
{
    WmfPlayer player(device, header.objects);
    WmfRecordWalker walker(data, header);
    while (const auto record = walker.Next())
        player.Play(*record);
}

} // namespace vx::metafile
