// Builds Windows metafiles and enhanced metafiles record by record, so that tests make their
// own pictures: each helper appends one record in its file layout (WMF parameters are 16-bit
// words, many of them stored last argument first; EMF parameters are 32-bit values), and the
// finishing call adds the header and the end-of-file record. Records of any content can be
// appended through Record().
#pragma once

#include "platform/wintypes.h"
#include "tests/support/TestSupport.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

namespace vx::test {

using Point16 = std::pair<std::int16_t, std::int16_t>;
using Point32 = std::pair<std::int32_t, std::int32_t>;

// Little-endian fields appended in order: a record's parameters.
struct Fields {
    Bytes bytes;
    Fields& Append(const Bytes& more)
    {
        bytes.insert(bytes.end(), more.begin(), more.end());
        return *this;
    }
    Fields& Put(std::uint64_t value, int size) { return Append(LittleEndian(value, size)); }
    Fields& U16(std::uint32_t value) { return Put(value, 2); }
    Fields& U32(std::uint32_t value) { return Put(value, 4); }
    Fields& Float(float value) { return U32(std::bit_cast<std::uint32_t>(value)); }
    Fields& Rect(const RECT& r) { return U32(r.left).U32(r.top).U32(r.right).U32(r.bottom); }
    // x, y pairs of `size` bytes each.
    template <typename Point> Fields& Points(const std::vector<Point>& points, int size)
    {
        for (const auto& [x, y] : points)
            Put(static_cast<std::uint32_t>(x), size).Put(static_cast<std::uint32_t>(y), size);
        return *this;
    }
};

// `bytes` with the `size` little-endian bytes at `offset` replaced by `value`: a header field
// or a record field made to lie.
inline Bytes WithField(Bytes bytes, std::size_t offset, std::uint32_t value, int size = 4)
{
    const Bytes field = LittleEndian(value, size);
    std::copy(field.begin(), field.end(), bytes.begin() + static_cast<std::ptrdiff_t>(offset));
    return bytes;
}

// A packed DIB of `width` x `height` 24-bit pixels, bottom-up, each pixel given top row first
// as 0x00RRGGBB, for the bitmap records of both writers.
Bytes PackedDib24(std::int32_t width, std::int32_t height, const std::vector<std::uint32_t>& pixelsTopFirst);

class WmfWriter {
public:
    // One record: its function number and its parameter words in file order, or its
    // parameter bytes (padded to whole words).
    WmfWriter& Record(std::uint16_t function, std::initializer_list<std::int16_t> words);
    WmfWriter& Record(std::uint16_t function, Fields params);

    WmfWriter& SetWindowOrg(std::int16_t x, std::int16_t y) { return Record(0x020B, {y, x}); }
    WmfWriter& SetWindowExt(std::int16_t cx, std::int16_t cy) { return Record(0x020C, {cy, cx}); }
    WmfWriter& SetViewportExt(std::int16_t cx, std::int16_t cy) { return Record(0x020E, {cy, cx}); }
    WmfWriter& SetMapMode(std::int16_t mode) { return Record(0x0103, {mode}); }
    WmfWriter& SetBkMode(std::int16_t mode) { return Record(0x0102, {mode}); }
    WmfWriter& SetBkColor(std::uint32_t colour) { return Record(0x0201, Fields().U32(colour)); }
    WmfWriter& SetTextColor(std::uint32_t colour) { return Record(0x0209, Fields().U32(colour)); }
    WmfWriter& SetTextAlign(std::uint16_t align) { return Record(0x012E, Fields().U16(align)); }
    WmfWriter& SetPolyFillMode(std::int16_t mode) { return Record(0x0106, {mode}); }
    WmfWriter& SetROP2(std::int16_t rop) { return Record(0x0104, {rop}); }
    WmfWriter& CreatePen(std::uint16_t style, std::int16_t width, std::uint32_t colour)
    {
        return Record(0x02FA, Fields().U16(style).U16(width).U16(0).U32(colour));
    }
    WmfWriter& CreateBrush(std::uint16_t style, std::uint32_t colour, std::uint16_t hatch)
    {
        return Record(0x02FC, Fields().U16(style).U32(colour).U16(hatch));
    }
    WmfWriter& Font(std::int16_t height, std::int16_t weight, bool italic, const std::string& face);
    WmfWriter& SelectObject(std::uint16_t index) { return Record(0x012D, Fields().U16(index)); }
    WmfWriter& DeleteObject(std::uint16_t index) { return Record(0x01F0, Fields().U16(index)); }
    WmfWriter& SaveDC() { return Record(0x001E, {}); }
    WmfWriter& RestoreDC(std::int16_t which) { return Record(0x0127, {which}); }
    WmfWriter& MoveTo(std::int16_t x, std::int16_t y) { return Record(0x0214, {y, x}); }
    WmfWriter& LineTo(std::int16_t x, std::int16_t y) { return Record(0x0213, {y, x}); }
    // Rectangle (0x041B), Ellipse (0x0418), IntersectClipRect (0x0416), ExcludeClipRect (0x0415).
    WmfWriter& Box(std::uint16_t function, std::int16_t left, std::int16_t top, std::int16_t right, std::int16_t bottom)
    {
        return Record(function, {bottom, right, top, left});
    }
    WmfWriter& Rectangle(std::int16_t l, std::int16_t t, std::int16_t r, std::int16_t b)
    {
        return Box(0x041B, l, t, r, b);
    }
    WmfWriter& Ellipse(std::int16_t l, std::int16_t t, std::int16_t r, std::int16_t b)
    {
        return Box(0x0418, l, t, r, b);
    }
    // Arc, Chord and Pie share their layout: the bounding box, then the start and end radials.
    WmfWriter& ArcLike(std::uint16_t function, std::int16_t left, std::int16_t top, std::int16_t right,
                       std::int16_t bottom, Point16 start, Point16 end)
    {
        return Record(function, {end.second, end.first, start.second, start.first, bottom, right, top, left});
    }
    // Polygon (0x0324) and Polyline (0x0325): the count, then x, y pairs.
    WmfWriter& Poly(std::uint16_t function, const std::vector<Point16>& points)
    {
        return Record(function, Fields().U16(static_cast<std::uint32_t>(points.size())).Points(points, 2));
    }
    WmfWriter& Text(std::int16_t x, std::int16_t y, const std::string& text);
    WmfWriter& StretchDib(std::int16_t x, std::int16_t y, std::int16_t width, std::int16_t height,
                          const Bytes& packedDib, std::int16_t dibWidth, std::int16_t dibHeight);

    // The 18-byte metafile header (counting `objects` object slots), the records, the EOF.
    Bytes Metafile(std::uint16_t objects = 16) const;
    // The same behind a 22-byte placeable header with its checksum.
    Bytes Placeable(std::int16_t left, std::int16_t top, std::int16_t right, std::int16_t bottom,
                    std::uint16_t unitsPerInch, std::uint16_t objects = 16) const;

private:
    Fields m_records;
    std::uint32_t m_largest = 3;
};

class EmfWriter {
public:
    // The header's bounds (device pixels, inclusive) and frame (0.01 mm, inclusive), for a
    // reference device of `device` pixels and `millimetres` in size.
    EmfWriter(const RECT& bounds, const RECT& frame, Point32 device = {1024, 768}, Point32 millimetres = {270, 203})
        : m_bounds(bounds), m_frame(frame), m_device(device), m_millimetres(millimetres)
    {}

    // One record: its type and its parameters (after type and size) as 32-bit values, or as
    // bytes (padded to a multiple of four).
    EmfWriter& Record(std::uint32_t type, std::initializer_list<std::int32_t> params);
    EmfWriter& Record(std::uint32_t type, Fields params);

    EmfWriter& SetMapMode(std::int32_t mode) { return Record(17, {mode}); }
    EmfWriter& SetWindowOrg(std::int32_t x, std::int32_t y) { return Record(10, {x, y}); }
    EmfWriter& SetWindowExt(std::int32_t cx, std::int32_t cy) { return Record(9, {cx, cy}); }
    EmfWriter& SetViewportExt(std::int32_t cx, std::int32_t cy) { return Record(11, {cx, cy}); }
    // eM11, eM12, eM21, eM22, eDx, eDy; `mode` for ModifyWorldTransform, 0 for SetWorldTransform.
    EmfWriter& WorldTransform(const std::vector<float>& matrix, std::int32_t mode);
    EmfWriter& CreatePen(std::uint32_t index, std::uint32_t style, std::int32_t width, std::uint32_t colour)
    {
        return Record(38, Fields().U32(index).U32(style).U32(width).U32(0).U32(colour));
    }
    EmfWriter& ExtCreatePen(std::uint32_t index, std::uint32_t style, std::uint32_t width, std::uint32_t colour,
                            const std::vector<std::uint32_t>& dashes = {});
    EmfWriter& CreateBrush(std::uint32_t index, std::uint32_t style, std::uint32_t colour, std::uint32_t hatch)
    {
        return Record(39, Fields().U32(index).U32(style).U32(colour).U32(hatch));
    }
    EmfWriter& CreatePatternBrush(std::uint32_t index, const Bytes& packedDib);
    EmfWriter& Font(std::uint32_t index, std::int32_t height, std::int32_t weight, bool italic,
                    const std::u16string& face);
    EmfWriter& SelectObject(std::uint32_t index) { return Record(37, Fields().U32(index)); }
    EmfWriter& DeleteObject(std::uint32_t index) { return Record(40, Fields().U32(index)); }
    EmfWriter& Rectangle(const RECT& box) { return Record(43, Fields().Rect(box)); }
    EmfWriter& Ellipse(const RECT& box) { return Record(42, Fields().Rect(box)); }
    EmfWriter& IntersectClipRect(const RECT& box) { return Record(30, Fields().Rect(box)); }
    // POLYGON16-style records: bounds, count, 16-bit points.
    EmfWriter& Poly16(std::uint32_t type, const std::vector<Point16>& points)
    {
        return Record(type, Fields().Rect({}).U32(static_cast<std::uint32_t>(points.size())).Points(points, 2));
    }
    // POLYGON-style records: bounds, count, 32-bit points.
    EmfWriter& Poly32(std::uint32_t type, const std::vector<Point32>& points)
    {
        return Record(type, Fields().Rect({}).U32(static_cast<std::uint32_t>(points.size())).Points(points, 4));
    }
    EmfWriter& ExtTextW(std::int32_t x, std::int32_t y, std::uint32_t options, const std::u16string& text);
    EmfWriter& StretchDibits(const RECT& destination, const Bytes& packedDib, std::uint32_t rop = 0x00CC0020);

    // The header as GDI writes it (with a correct record count and byte size), the records,
    // the EOF; the first record starts at emfHeaderSize.
    Bytes Metafile() const;
    static constexpr std::size_t emfHeaderSize = 108;

private:
    RECT m_bounds;
    RECT m_frame;
    Point32 m_device;
    Point32 m_millimetres;
    Fields m_records;
    std::uint32_t m_count = 0;
};

} // namespace vx::test
