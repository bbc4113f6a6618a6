// Builds Windows metafiles and enhanced metafiles record by record, so that tests make their
// own pictures: each helper appends one record in its file layout (WMF parameters are 16-bit
// words, many of them stored last argument first; EMF parameters are 32-bit values), and the
// finishing call adds the header and the end-of-file record. Raw records with any content
// (lying sizes included) can be appended as well.
#pragma once

#include "platform/MetafilePlayer.h"
#include "platform/wintypes.h"
#include "tests/support/TestSupport.h"

#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

namespace vx::test {

using Point16 = std::pair<std::int16_t, std::int16_t>;
using Point32 = std::pair<std::int32_t, std::int32_t>;

// A packed DIB of `width` x `height` 24-bit pixels, bottom-up, each pixel given top row first
// as 0x00RRGGBB, for the bitmap records of both writers.
Bytes PackedDib24(std::int32_t width, std::int32_t height, const std::vector<std::uint32_t>& pixelsTopFirst);

// Decodes what PackedDib24 makes (uncompressed 24-bit, bottom-up, at most 4096 pixels a side)
// into a player's DecodedDib, as a DibDecoder; false on anything else.
bool DecodePackedDib24(const std::uint8_t* dib, std::size_t size, DecodedDib& out);

class WmfWriter {
public:
    // One record: its function number and its parameter words in file order.
    WmfWriter& Record(std::uint16_t function, std::initializer_list<std::int16_t> words);
    WmfWriter& Record(std::uint16_t function, const std::vector<std::int16_t>& words);
    // One record whose size field says `sizeInWords`, whatever follows it.
    WmfWriter& RawRecord(std::uint32_t sizeInWords, std::uint16_t function, const Bytes& params);

    WmfWriter& SetWindowOrg(std::int16_t x, std::int16_t y);
    WmfWriter& SetWindowExt(std::int16_t cx, std::int16_t cy);
    WmfWriter& SetViewportOrg(std::int16_t x, std::int16_t y);
    WmfWriter& SetViewportExt(std::int16_t cx, std::int16_t cy);
    WmfWriter& SetMapMode(std::int16_t mode);
    WmfWriter& SetBkMode(std::int16_t mode);
    WmfWriter& SetBkColor(std::uint32_t colour);
    WmfWriter& SetTextColor(std::uint32_t colour);
    WmfWriter& SetTextAlign(std::uint16_t align);
    WmfWriter& SetPolyFillMode(std::int16_t mode);
    WmfWriter& SetROP2(std::int16_t rop);
    WmfWriter& CreatePen(std::uint16_t style, std::int16_t width, std::uint32_t colour);
    WmfWriter& CreateBrush(std::uint16_t style, std::uint32_t colour, std::uint16_t hatch);
    WmfWriter& CreatePatternBrush(const Bytes& packedDib);
    WmfWriter& Font(std::int16_t height, std::int16_t weight, bool italic, const std::string& face);
    WmfWriter& SelectObject(std::uint16_t index);
    WmfWriter& DeleteObject(std::uint16_t index);
    WmfWriter& SaveDC();
    WmfWriter& RestoreDC(std::int16_t which);
    WmfWriter& MoveTo(std::int16_t x, std::int16_t y);
    WmfWriter& LineTo(std::int16_t x, std::int16_t y);
    WmfWriter& Rectangle(std::int16_t left, std::int16_t top, std::int16_t right, std::int16_t bottom);
    WmfWriter& RoundRect(std::int16_t left, std::int16_t top, std::int16_t right, std::int16_t bottom,
                         std::int16_t cornerWidth, std::int16_t cornerHeight);
    WmfWriter& Ellipse(std::int16_t left, std::int16_t top, std::int16_t right, std::int16_t bottom);
    // Arc, Chord and Pie share their layout: the bounding box, then the start and end radials.
    WmfWriter& ArcLike(std::uint16_t function, std::int16_t left, std::int16_t top, std::int16_t right,
                       std::int16_t bottom, Point16 start, Point16 end);
    WmfWriter& Polygon(const std::vector<Point16>& points);
    WmfWriter& Polyline(const std::vector<Point16>& points);
    WmfWriter& PolyPolygon(const std::vector<std::vector<Point16>>& polygons);
    WmfWriter& IntersectClipRect(std::int16_t left, std::int16_t top, std::int16_t right, std::int16_t bottom);
    WmfWriter& ExcludeClipRect(std::int16_t left, std::int16_t top, std::int16_t right, std::int16_t bottom);
    WmfWriter& Text(std::int16_t x, std::int16_t y, const std::string& text);
    WmfWriter& ExtText(std::int16_t x, std::int16_t y, std::uint16_t options, const std::string& text);
    WmfWriter& PatBlt(std::int16_t x, std::int16_t y, std::int16_t width, std::int16_t height, std::uint32_t rop);
    WmfWriter& StretchDib(std::int16_t x, std::int16_t y, std::int16_t width, std::int16_t height,
                          const Bytes& packedDib, std::int16_t dibWidth, std::int16_t dibHeight);

    // The 18-byte metafile header (counting `objects` object slots), the records, the EOF.
    Bytes Metafile(std::uint16_t objects = 16) const;
    // The same behind a 22-byte placeable header with its checksum.
    Bytes Placeable(std::int16_t left, std::int16_t top, std::int16_t right, std::int16_t bottom,
                    std::uint16_t unitsPerInch, std::uint16_t objects = 16) const;

private:
    Bytes m_records;
    std::uint32_t m_largest = 3;
};

class EmfWriter {
public:
    // The header's bounds (device pixels, inclusive) and frame (0.01 mm, inclusive), for a
    // reference device of `device` pixels and `millimetres` in size.
    EmfWriter(const RECT& bounds, const RECT& frame, Point32 device = {1024, 768},
              Point32 millimetres = {270, 203});

    // One record: its type and its parameters (after type and size) as 32-bit values.
    EmfWriter& Record(std::uint32_t type, std::initializer_list<std::int32_t> params);
    EmfWriter& Record(std::uint32_t type, const Bytes& params);
    // One record whose size field says `size`, whatever follows it.
    EmfWriter& RawRecord(std::uint32_t type, std::uint32_t size, const Bytes& params);

    EmfWriter& SetMapMode(std::int32_t mode);
    EmfWriter& SetWindowOrg(std::int32_t x, std::int32_t y);
    EmfWriter& SetWindowExt(std::int32_t cx, std::int32_t cy);
    EmfWriter& SetViewportOrg(std::int32_t x, std::int32_t y);
    EmfWriter& SetViewportExt(std::int32_t cx, std::int32_t cy);
    // eM11, eM12, eM21, eM22, eDx, eDy; `mode` for ModifyWorldTransform, 0 for SetWorldTransform.
    EmfWriter& WorldTransform(const std::vector<float>& matrix, std::int32_t mode);
    EmfWriter& CreatePen(std::uint32_t index, std::uint32_t style, std::int32_t width, std::uint32_t colour);
    EmfWriter& ExtCreatePen(std::uint32_t index, std::uint32_t style, std::uint32_t width, std::uint32_t colour,
                            const std::vector<std::uint32_t>& dashes = {});
    EmfWriter& CreateBrush(std::uint32_t index, std::uint32_t style, std::uint32_t colour, std::uint32_t hatch);
    EmfWriter& CreatePatternBrush(std::uint32_t index, const Bytes& packedDib);
    EmfWriter& Font(std::uint32_t index, std::int32_t height, std::int32_t weight, bool italic,
                          const std::u16string& face);
    EmfWriter& SelectObject(std::uint32_t index);
    EmfWriter& DeleteObject(std::uint32_t index);
    EmfWriter& Rectangle(const RECT& box);
    EmfWriter& Ellipse(const RECT& box);
    EmfWriter& IntersectClipRect(const RECT& box);
    // POLYGON16-style records: bounds, count, 16-bit points.
    EmfWriter& Poly16(std::uint32_t type, const std::vector<Point16>& points);
    // POLYGON-style records: bounds, count, 32-bit points.
    EmfWriter& Poly32(std::uint32_t type, const std::vector<Point32>& points);
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
    Bytes m_records;
    std::uint32_t m_count = 0;
};

} // namespace vx::test
