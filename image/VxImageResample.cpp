// Rescale builds a picture of a new size from a VxImage of 1, 4, 8 or 24 bits: nearest pixel,
// cubic B-spline, bilinear, or area averaging when a 24-bit picture shrinks both ways; the alpha
// plane follows by nearest pixel. The samplers (InterpolatedColour, AreaColour) read a colour at
// a fractional position or over a rectangle, with overflow rules for positions off the picture.
#include "image/VxImage.h"

#include "image/NearestSampling.h"
#include "image/ResampleKernels.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace {

const char* const kNoMemory = "VxImage::Rescale can't allocate memory";
const char* const kCancelled = "Cancelled";

enum class Fill { Done, Cancelled, NoMemory };

// A malloc'd working array, released when it goes out of scope.
template <typename T>
class ScratchArray {
public:
    explicit ScratchArray(std::size_t count)
        : m_data(static_cast<T*>(std::malloc(std::max<std::size_t>(count, 1) * sizeof(T))))
    {
    }
    ~ScratchArray() { std::free(m_data); }
    ScratchArray(const ScratchArray&) = delete;
    ScratchArray& operator=(const ScratchArray&) = delete;
    bool IsValid() const { return m_data != nullptr; }
    T* Data() const { return m_data; }
    T& operator[](std::size_t i) const { return m_data[i]; }

private:
    T* m_data;
};

using vx::NearestSource;
using vx::ScaleFactor;

// Publishes the percentage done at `row` of `rows` and tells whether the work may go on.
bool MayContinue(VxImage& image, std::int32_t row, std::int32_t rows)
{
    ImageInfo& state = image.Info();
    state.progress = static_cast<std::int32_t>(100LL * row / rows);
    return state.escape == 0;
}

std::uint8_t ClampToByte(float v)
{
    if (!(v > 0.0f)) // also NaN
        return 0;
    if (v >= 255.0f)
        return 255;
    return static_cast<std::uint8_t>(static_cast<std::int32_t>(v));
}

std::uint8_t ClampToByte(std::int64_t v) { return static_cast<std::uint8_t>(std::clamp<std::int64_t>(v, 0, 255)); }

// floor() and truncation to int for sampler coordinates; values beyond +-2^30 (and NaN) are
// far outside any picture and are pinned there, so the conversion is always defined.
constexpr float kFarOutside = 1073741824.0f;
std::int32_t FloorToInt(float v)
{
    if (!(v > -kFarOutside))
        return -static_cast<std::int32_t>(kFarOutside);
    if (v >= kFarOutside)
        return static_cast<std::int32_t>(kFarOutside);
    return static_cast<std::int32_t>(std::floor(v));
}
std::int32_t TruncateToInt(float v)
{
    return (v > -kFarOutside && v < kFarOutside) ? static_cast<std::int32_t>(v) : FloorToInt(v);
}

// Reads blue, green, red of a source pixel: straight from the rows of a 24-bit picture,
// through the palette otherwise. Coordinates must lie inside.
class PixelReader {
public:
    explicit PixelReader(const VxImage& image)
        : m_image(image), m_bits(image.Info().bits), m_stride(image.RowStride()),
          m_direct(image.BitsPerPixel() == 24)
    {
    }
    RGBQUAD At(std::int32_t x, std::int32_t y) const
    {
        if (!m_direct)
            return m_image.PixelColourUnchecked(x, y, false);
        const std::uint8_t* p = m_bits + static_cast<std::size_t>(y) * m_stride + 3 * static_cast<std::size_t>(x);
        return RGBQUAD{p[0], p[1], p[2], 0};
    }

private:
    const VxImage& m_image;
    const std::uint8_t* m_bits;
    std::size_t m_stride;
    bool m_direct;
};

// Writes a colour into the new picture: bytes of a 24-bit row, or the palette's nearest index.
void WritePixel(VxImage& target, std::int32_t x, std::int32_t y, std::uint8_t red, std::uint8_t green,
                std::uint8_t blue)
{
    if (target.BitsPerPixel() == 24) {
        std::uint8_t* p = target.Info().bits + static_cast<std::size_t>(y) * target.RowStride() + 3 * static_cast<std::size_t>(x);
        p[0] = blue;
        p[1] = green;
        p[2] = red;
    } else {
        target.SetPixelColorRef(x, y, RGB(red, green, blue));
    }
}

// Mode 1. Equal to PixelColour(sx, sy) -> SetPixelColour(x, y) pixel by pixel: 24-bit rows are
// copied by the column map; palette pictures translate each index through the index the new
// picture's NearestIndex gives its colour (the same index unless the palette repeats a colour).
// A destination row whose source row is that of the row before is a copy of it.
Fill FillNearest(VxImage& source, VxImage& target, const std::int32_t* columnMap, float yScale)
{
    const std::int32_t width = target.Width();
    const std::int32_t height = target.Height();
    const std::uint32_t depth = source.BitsPerPixel();
    const std::size_t sourceStride = source.RowStride();
    const std::size_t targetStride = target.RowStride();
    const std::uint8_t* sourceBits = source.Info().bits;
    std::uint8_t* targetBits = target.Info().bits;

    std::uint8_t indexMap[256] = {};
    for (std::uint32_t i = 0; i < std::min<std::uint32_t>(source.ColourCount(), 256); ++i)
        indexMap[i] = target.NearestIndex(source.PaletteEntry(static_cast<std::uint8_t>(i)));

    std::int32_t previousSourceRow = -1;
    for (std::int32_t y = 0; y < height; ++y) {
        if (!MayContinue(source, y, height))
            return Fill::Cancelled;
        const std::int32_t sy = NearestSource(y, yScale, source.Height());
        std::uint8_t* out = targetBits + static_cast<std::size_t>(y) * targetStride;
        if (sy == previousSourceRow) {
            std::memcpy(out, out - targetStride, targetStride);
            continue;
        }
        previousSourceRow = sy;
        const std::uint8_t* in = sourceBits + static_cast<std::size_t>(sy) * sourceStride;
        if (depth == 24) {
            for (std::int32_t x = 0; x < width; ++x)
                std::memcpy(out + 3 * static_cast<std::size_t>(x), in + 3 * static_cast<std::size_t>(columnMap[x]), 3);
        } else if (depth == 8) {
            for (std::int32_t x = 0; x < width; ++x)
                out[x] = indexMap[in[columnMap[x]]];
        } else {
            for (std::int32_t x = 0; x < width; ++x)
                target.SetPixelIndexUnchecked(x, y, indexMap[source.PixelIndexUnchecked(columnMap[x], sy)]);
        }
    }
    return Fill::Done;
}

// One axis of the B-spline: the four clamped source indices -1..2 around floor(d x scale - 0.5)
// and the kernel weight of each: k(m - dy) for rows, k(dx - n) for columns.
struct SplineTaps {
    std::int32_t index[4];
    float weight[4];
};

SplineTaps BSplineTaps(std::int32_t d, float scale, std::int32_t size, bool forRows)
{
    const float f = d * scale - 0.5f;
    const std::int32_t base = FloorToInt(f);
    const float frac = f - base;
    SplineTaps taps;
    for (std::int32_t n = -1; n <= 2; ++n) {
        taps.index[n + 1] = std::clamp(base + n, 0, size - 1);
        taps.weight[n + 1] = vx::kernels::Weight(VxImage::kInterpBSpline, forRows ? n - frac : frac - n);
    }
    return taps;
}

// Mode 2: cubic B-spline over the 4 x 4 neighbourhood, edges repeated.
Fill FillBSpline(VxImage& source, VxImage& target, float xScale, float yScale)
{
    const std::int32_t width = target.Width();
    const std::int32_t height = target.Height();
    ScratchArray<SplineTaps> columns(width);
    if (!columns.IsValid())
        return Fill::NoMemory;
    for (std::int32_t x = 0; x < width; ++x)
        columns[x] = BSplineTaps(x, xScale, source.Width(), false);

    const PixelReader reader(source);
    for (std::int32_t y = 0; y < height; ++y) {
        if (!MayContinue(source, y, height))
            return Fill::Cancelled;
        const SplineTaps rows = BSplineTaps(y, yScale, source.Height(), true);
        for (std::int32_t x = 0; x < width; ++x) {
            const SplineTaps& cols = columns[x];
            float red = 0.0f, green = 0.0f, blue = 0.0f;
            for (int m = 0; m < 4; ++m) {
                for (int n = 0; n < 4; ++n) {
                    const float w = cols.weight[n] * rows.weight[m];
                    const RGBQUAD c = reader.At(cols.index[n], rows.index[m]);
                    red += w * c.rgbRed;
                    green += w * c.rgbGreen;
                    blue += w * c.rgbBlue;
                }
            }
            WritePixel(target, x, y, ClampToByte(red), ClampToByte(green), ClampToByte(blue));
        }
    }
    return Fill::Done;
}

// One axis of the bilinear path: the source index truncate(d x scale), its neighbour (held at
// the edge) and the fraction between them.
struct LinearTaps {
    std::int32_t first;
    std::int32_t second;
    float frac;
};

LinearTaps BilinearTaps(std::int32_t d, float scale, std::int32_t size)
{
    const float f = d * scale;
    const std::int32_t first = std::min(TruncateToInt(f), size - 1);
    return LinearTaps{first, std::min(first + 1, size - 1), f - first};
}

// Bilinear interpolation: enlarging, palette pictures, and every mode other than 1 and 2 that
// the area shrink does not take.
Fill FillBilinear(VxImage& source, VxImage& target, float xScale, float yScale)
{
    const std::int32_t width = target.Width();
    const std::int32_t height = target.Height();
    ScratchArray<LinearTaps> columns(width);
    if (!columns.IsValid())
        return Fill::NoMemory;
    for (std::int32_t x = 0; x < width; ++x)
        columns[x] = BilinearTaps(x, xScale, source.Width());

    const PixelReader reader(source);
    for (std::int32_t y = 0; y < height; ++y) {
        if (!MayContinue(source, y, height))
            return Fill::Cancelled;
        const LinearTaps row = BilinearTaps(y, yScale, source.Height());
        for (std::int32_t x = 0; x < width; ++x) {
            const LinearTaps& col = columns[x];
            const RGBQUAD c1 = reader.At(col.first, row.first);
            const RGBQUAD c2 = reader.At(col.second, row.first);
            const RGBQUAD c3 = reader.At(col.first, row.second);
            const RGBQUAD c4 = reader.At(col.second, row.second);
            auto mix = [&](std::uint8_t RGBQUAD::*channel) {
                const float left = c1.*channel + (c3.*channel - c1.*channel) * row.frac;
                const float right = c2.*channel + (c4.*channel - c2.*channel) * row.frac;
                return ClampToByte(left + (right - left) * col.frac);
            };
            WritePixel(target, x, y, mix(&RGBQUAD::rgbRed), mix(&RGBQUAD::rgbGreen), mix(&RGBQUAD::rgbBlue));
        }
    }
    return Fill::Done;
}

// 24-bit shrink in both directions by area averaging, in thousandths of a pixel. Each source
// pixel adds its colour, weighted by the share of it that falls in a destination pixel, to the
// accumulator of that pixel; a destination pixel is written once its last source pixel is in.
// Two accumulator rows (blue, green, red per column, plus a spare column) hold the destination
// row being filled and the start of the next one.
Fill FillAreaShrink(VxImage& source, VxImage& target, float xScale, float yScale)
{
    const std::int32_t sourceWidth = source.Width();
    const std::int32_t sourceHeight = source.Height();
    const std::int32_t width = target.Width();
    const std::int32_t height = target.Height();
    const std::size_t entries = 3 * static_cast<std::size_t>(width) + 3;

    // Where the column boundaries fall is the same on every row: for each source column, the
    // destination column it adds to and, for a pixel that straddles a boundary, the thousandths
    // of it (a) that go to the next column (-1 for pixels inside a column).
    ScratchArray<std::int32_t> columnOf(sourceWidth);
    ScratchArray<std::int32_t> shareOf(sourceWidth);
    // 64-bit sums: 32 bits overflow once a destination pixel gathers more than ~8400 source pixels.
    ScratchArray<std::int64_t> rowA(entries);
    ScratchArray<std::int64_t> rowB(entries);
    if (!columnOf.IsValid() || !shareOf.IsValid() || !rowA.IsValid() || !rowB.IsValid())
        return Fill::NoMemory;

    std::int32_t column = 0;
    float ex = xScale - 1.0f;
    for (std::int32_t x = 0; x < sourceWidth; ++x) {
        columnOf[x] = column;
        // After the last boundary the rest of a row runs into the spare column.
        if (static_cast<float>(x) < ex || column >= width) {
            shareOf[x] = -1;
        } else {
            shareOf[x] = static_cast<std::int32_t>((x - ex) * 1000.0f);
            ++column;
            ex += xScale;
        }
    }
    const std::int32_t columnsWritten = column;

    const std::int64_t divisor = static_cast<std::int64_t>(xScale * yScale * 1000.0f);
    std::int64_t* current = rowA.Data();
    std::int64_t* next = rowB.Data();
    std::fill(current, current + entries, 0);
    std::fill(next, next + entries, 0);

    const std::size_t sourceStride = source.RowStride();
    const std::size_t targetStride = target.RowStride();
    const std::uint8_t* sourceBits = source.Info().bits;
    std::uint8_t* targetBits = target.Info().bits;
    auto writeColumn = [&](std::uint8_t* out, std::int32_t col) {
        for (int k = 0; k < 3; ++k)
            out[3 * col + k] = ClampToByte(current[3 * col + k] / divisor);
    };

    float ey = yScale - 1.0f;
    std::int32_t destinationRow = 0;
    for (std::int32_t y = 0; y < sourceHeight; ++y) {
        if (!MayContinue(source, y, sourceHeight))
            return Fill::Cancelled;
        const std::uint8_t* in = sourceBits + static_cast<std::size_t>(y) * sourceStride;
        if (static_cast<float>(y) < ey) {
            // The source row lies inside the destination row.
            for (std::int32_t x = 0; x < sourceWidth; ++x, in += 3) {
                std::int64_t* cur = current + 3 * columnOf[x];
                const std::int32_t a = shareOf[x];
                for (int k = 0; k < 3; ++k) {
                    const std::int32_t c = in[k];
                    if (a < 0) {
                        cur[k] += 1000 * c;
                    } else {
                        cur[k] += c * (1000 - a);
                        cur[k + 3] += c * a;
                    }
                }
            }
            continue;
        }
        // The source row straddles the boundary: b thousandths of it belong to the next row.
        const std::int32_t b = static_cast<std::int32_t>((y - ey) * 1000.0f);
        std::uint8_t* out = destinationRow < height ? targetBits + static_cast<std::size_t>(destinationRow) * targetStride : nullptr;
        for (std::int32_t x = 0; x < sourceWidth; ++x, in += 3) {
            const std::int32_t col = columnOf[x];
            std::int64_t* cur = current + 3 * col;
            std::int64_t* nxt = next + 3 * col;
            const std::int32_t a = shareOf[x];
            for (int k = 0; k < 3; ++k) {
                const std::int32_t c = in[k];
                if (a < 0) {
                    cur[k] += c * (1000 - b);
                    nxt[k] += c * b;
                } else {
                    cur[k] += c * (1000 - b) * (1000 - a) / 1000;
                    if (out)
                        out[3 * col + k] = ClampToByte(cur[k] / divisor);
                    nxt[k] += c * b * (1000 - a) / 1000;
                    cur[k + 3] += c * a * (1000 - b) / 1000;
                    nxt[k + 3] = c * b * a / 1000; // starts that column of the next row
                }
            }
        }
        if (out && columnsWritten < width)
            writeColumn(out, columnsWritten);
        std::swap(current, next);
        std::fill(next, next + 3, 0);
        ey += yScale;
        ++destinationRow;
    }
    if (destinationRow < height) {
        std::uint8_t* out = targetBits + static_cast<std::size_t>(destinationRow) * targetStride;
        for (std::int32_t col = 0; col < width; ++col)
            writeColumn(out, col);
    }
    return Fill::Done;
}

// ---- Sampler helpers ---------------------------------------------------------------------

struct FloatRect {
    float x1, y1, x2, y2;
};

float Surface(const FloatRect& r) { return (r.x2 - r.x1) * (r.y2 - r.y1); }

FloatRect Intersect(const FloatRect& a, const FloatRect& b)
{
    const FloatRect r{std::max(a.x1, b.x1), std::max(a.y1, b.y1), std::min(a.x2, b.x2), std::min(a.y2, b.y2)};
    if (r.x1 > r.x2 || r.y1 > r.y2)
        return FloatRect{0.0f, 0.0f, 0.0f, 0.0f};
    return r;
}

// The unit cell of pixel (i, j): pixel centres sit on integer coordinates.
FloatRect Cell(std::int32_t i, std::int32_t j)
{
    return FloatRect{i - 0.5f, j - 0.5f, i + 0.5f, j + 0.5f};
}

struct ColourSum {
    float red = 0.0f, green = 0.0f, blue = 0.0f, fourth = 0.0f;
    void Add(RGBQUAD c, float weight)
    {
        red += weight * c.rgbRed;
        green += weight * c.rgbGreen;
        blue += weight * c.rgbBlue;
        fourth += weight * c.rgbReserved;
    }
    // Each sum divided by `divisor`; the fourth byte is kept only for pictures with an alpha plane.
    RGBQUAD Quad(float divisor, bool keepFourth) const
    {
        return RGBQUAD{ClampToByte(blue / divisor), ClampToByte(green / divisor), ClampToByte(red / divisor),
                       keepFourth ? ClampToByte(fourth / divisor) : std::uint8_t{0}};
    }
};

std::int32_t Wrap(std::int32_t v, std::int32_t size)
{
    const std::int32_t r = v % size;
    return r < 0 ? r + size : r;
}

std::int32_t Mirror(std::int32_t v, std::int32_t size)
{
    if (v < 0)
        return static_cast<std::int32_t>(-static_cast<std::int64_t>(v) % size);
    if (v >= size)
        return size - v % size - 1;
    return v;
}

float Wrap(float v, float size)
{
    const float r = std::fmod(v, size);
    return r < 0.0f ? r + size : r;
}

float Mirror(float v, float size)
{
    if (v < 0.0f)
        return std::fmod(-v, size);
    if (v >= size)
        return size - std::fmod(v, size) - 1.0f;
    return v;
}

// Brings a position off a width x height picture back onto it by the wrap, repeat or mirror
// rule; T is a pixel index (int32) or a sampling coordinate (float). Any other rule, an empty
// picture or a position already inside leaves it as it is.
template <typename T>
void ApplyOverflow(T& x, T& y, T width, T height, std::int32_t overflow)
{
    if (!(width > T{0} && height > T{0}) || (x >= T{0} && x < width && y >= T{0} && y < height))
        return;
    switch (overflow) {
    case VxImage::kOverflowWrap:
        x = Wrap(x, width);
        y = Wrap(y, height);
        break;
    case VxImage::kOverflowRepeat:
        x = std::clamp(x, T{0}, width - T{1});
        y = std::clamp(y, T{0}, height - T{1});
        break;
    case VxImage::kOverflowMirror:
        x = Mirror(x, width);
        y = Mirror(y, height);
        break;
    default:
        break;
    }
}

} // namespace

// ---- Rescale ---------------------------------------------------------------------------------

bool VxImage::Rescale(std::int32_t newWidth, std::int32_t newHeight, std::int32_t mode, VxImage* destination)
{
    if (newWidth == 0 || newHeight == 0)
        return false;
    if (!dib) {
        SetLastError("VxImage::Rescale : the image has no pixels");
        return false;
    }
    if (destination == this)
        destination = nullptr;
    const bool sameSize = newWidth == Width() && newHeight == Height();
    if (sameSize && !destination)
        return true;
    VxImage& target = destination ? *destination : *this;
    if (target.info.aliasOf) {
        // An alias shares another image's buffers and cannot have them replaced.
        SetLastError("VxImage::Rescale : the result cannot replace an alias");
        return false;
    }
    if (sameSize) {
        destination->CopyFrom(*this, true, true, true);
        return true;
    }

    const float xScale = ScaleFactor(Width(), newWidth);
    const float yScale = ScaleFactor(Height(), newHeight);

    VxImage temp;
    temp.CopyInfoFrom(*this);
    // A negative size reaches Create as a huge unsigned one, which it refuses.
    if (!temp.Create(static_cast<std::uint32_t>(newWidth), static_cast<std::uint32_t>(newHeight), BitsPerPixel(),
                     info.type)) {
        SetLastError(temp.LastError());
        return false;
    }
    temp.SetPalette(PaletteAddress(), 256);

    // Nearest-pixel source column of every destination column, for mode 1 and the alpha plane.
    ScratchArray<std::int32_t> columnMap(newWidth);
    if (!columnMap.IsValid()) {
        SetLastError(kNoMemory);
        return false;
    }
    for (std::int32_t x = 0; x < newWidth; ++x)
        columnMap[x] = NearestSource(x, xScale, Width());

    Fill result;
    if (mode == 1)
        result = FillNearest(*this, temp, columnMap.Data(), yScale);
    else if (mode == 2)
        result = FillBSpline(*this, temp, xScale, yScale);
    else if (BitsPerPixel() == 24 && Width() > newWidth && Height() > newHeight)
        result = FillAreaShrink(*this, temp, xScale, yScale);
    else
        result = FillBilinear(*this, temp, xScale, yScale);
    if (result != Fill::Done) {
        // A cancelled rescale leaves the picture as it was rather than half-filled.
        SetLastError(result == Fill::Cancelled ? kCancelled : kNoMemory);
        return false;
    }

    if (alpha) {
        if (!temp.CreateAlpha() || !temp.alpha) {
            SetLastError(kNoMemory);
            return false;
        }
        for (std::int32_t y = 0; y < newHeight; ++y) {
            const std::uint8_t* in = alpha + static_cast<std::size_t>(NearestSource(y, yScale, Height())) * Width();
            std::uint8_t* out = temp.alpha + static_cast<std::size_t>(y) * newWidth;
            for (std::int32_t x = 0; x < newWidth; ++x)
                out[x] = in[columnMap[x]];
        }
    }
    return target.TakeOver(temp, true);
}

// ---- Samplers --------------------------------------------------------------------------------

void VxImage::OverflowCoordinates(std::int32_t& x, std::int32_t& y, std::int32_t overflow) const
{
    ApplyOverflow(x, y, Width(), Height(), overflow);
}

void VxImage::OverflowCoordinates(float& x, float& y, std::int32_t overflow) const
{
    ApplyOverflow(x, y, static_cast<float>(Width()), static_cast<float>(Height()), overflow);
}

RGBQUAD VxImage::ColourWithOverflow(std::int32_t x, std::int32_t y, std::int32_t overflow,
                                    const RGBQUAD* replacement) const
{
    const RGBQUAD fallback = replacement ? *replacement : RGBQUAD{255, 255, 255, 0};
    if (!dib)
        return fallback;
    if (x >= 0 && x < Width() && y >= 0 && y < Height())
        return PixelColour(x, y);
    switch (overflow) {
    case kOverflowBackground:
        if (info.transparentIndex < 0)
            return fallback;
        if (BitsPerPixel() == 24)
            return info.transparentColour;
        return PaletteEntry(static_cast<std::uint8_t>(info.transparentIndex));
    case kOverflowTransparent:
        if (alpha) {
            RGBQUAD clear = fallback;
            clear.rgbReserved = 0;
            return clear;
        }
        return info.transparentIndex >= 0 ? TransparentColour() : fallback;
    case kOverflowWrap:
    case kOverflowRepeat:
    case kOverflowMirror:
        OverflowCoordinates(x, y, overflow);
        return PixelColour(x, y);
    default:
        return fallback;
    }
}

RGBQUAD VxImage::InterpolatedColour(float x, float y, std::int32_t method, std::int32_t overflow,
                                    const RGBQUAD* replacement) const
{
    if (method == kInterpNearest)
        return ColourWithOverflow(TruncateToInt(x + 0.5f), TruncateToInt(y + 0.5f), overflow, replacement);

    // The window of taps runs from xi - (reach - 1) to xi + reach (bilinear: xi, xi + 1).
    const bool kernel = method >= kInterpBSpline && method <= kInterpPower;
    const std::int32_t reach = kernel ? vx::kernels::Reach(method) : 1;
    const std::int32_t width = Width();
    const std::int32_t height = Height();
    std::int32_t xi = FloorToInt(x);
    std::int32_t yi = FloorToInt(y);
    const bool windowOutside = !dib || xi + reach < 0 || xi - (reach - 1) >= width || yi + reach < 0 ||
                               yi - (reach - 1) >= height;
    if (windowOutside) {
        if (overflow >= kOverflowColour && overflow <= kOverflowTransparent)
            return ColourWithOverflow(-999, -999, overflow, replacement);
        OverflowCoordinates(x, y, overflow);
        xi = FloorToInt(x);
        yi = FloorToInt(y);
    }
    const std::int32_t left = xi - (reach - 1);
    const std::int32_t bottom = yi - (reach - 1);
    const std::int32_t taps = 2 * reach;
    const bool inside = dib && left >= 0 && xi + reach < width && bottom >= 0 && yi + reach < height;
    const bool direct = inside && BitsPerPixel() == 24;

    if (!kernel) {
        const float fx = x - xi;
        const float fy = y - yi;
        if (direct) {
            // Fixed point with 256 units.
            const std::int32_t u = static_cast<std::int32_t>(fx * 256.0f);
            const std::int32_t v = static_cast<std::int32_t>(fy * 256.0f);
            const std::int32_t uv = (u * v) >> 8;
            const std::int32_t w[4] = {256 - u - v + uv, u - uv, v - uv, uv};
            const std::uint8_t* p1 = info.bits + static_cast<std::size_t>(yi) * info.rowStride + 3 * static_cast<std::size_t>(xi);
            const std::uint8_t* p3 = p1 + info.rowStride;
            const std::uint8_t* q[4] = {p1, p1 + 3, p3, p3 + 3};
            std::uint8_t channel[4] = {};
            for (int k = 0; k < 3; ++k)
                channel[k] = static_cast<std::uint8_t>(
                    (w[0] * q[0][k] + w[1] * q[1][k] + w[2] * q[2][k] + w[3] * q[3][k]) >> 8);
            if (alpha) {
                const std::uint8_t* a1 = alpha + static_cast<std::size_t>(yi) * width + xi;
                const std::uint8_t* a3 = a1 + width;
                channel[3] = static_cast<std::uint8_t>((w[0] * a1[0] + w[1] * a1[1] + w[2] * a3[0] + w[3] * a3[1]) >> 8);
            }
            return RGBQUAD{channel[0], channel[1], channel[2], channel[3]};
        }
        ColourSum sum;
        sum.Add(ColourWithOverflow(xi, yi, overflow, replacement), 1.0f - fx - fy + fx * fy);
        sum.Add(ColourWithOverflow(xi + 1, yi, overflow, replacement), fx - fx * fy);
        sum.Add(ColourWithOverflow(xi, yi + 1, overflow, replacement), fy - fx * fy);
        sum.Add(ColourWithOverflow(xi + 1, yi + 1, overflow, replacement), fx * fy);
        return sum.Quad(1.0f, alpha != nullptr);
    }

    // Kernel methods: unnormalised sum of k(i - x) k(j - y) over the window.
    float kx[12];
    float ky[12];
    for (std::int32_t n = 0; n < taps; ++n) {
        kx[n] = vx::kernels::Weight(method, static_cast<float>(left + n) - x);
        ky[n] = vx::kernels::Weight(method, static_cast<float>(bottom + n) - y);
    }
    ColourSum sum;
    for (std::int32_t m = 0; m < taps; ++m) {
        const std::int32_t j = bottom + m;
        for (std::int32_t n = 0; n < taps; ++n) {
            const std::int32_t i = left + n;
            const float weight = kx[n] * ky[m];
            if (direct) {
                const std::uint8_t* p = info.bits + static_cast<std::size_t>(j) * info.rowStride + 3 * static_cast<std::size_t>(i);
                const std::uint8_t level = alpha ? alpha[static_cast<std::size_t>(j) * width + i] : 0;
                sum.Add(RGBQUAD{p[0], p[1], p[2], level}, weight);
            } else {
                sum.Add(ColourWithOverflow(i, j, overflow, replacement), weight);
            }
        }
    }
    return sum.Quad(1.0f, alpha != nullptr);
}

RGBQUAD VxImage::AreaColour(float x, float y, float areaWidth, float areaHeight, std::int32_t method,
                            std::int32_t overflow, const RGBQUAD* replacement) const
{
    const bool wide = areaWidth > 1.0f;
    const bool tall = areaHeight > 1.0f;
    if (!wide && !tall)
        return InterpolatedColour(x, y, method, overflow, replacement);

    const FloatRect area{x - areaWidth / 2, y - areaHeight / 2, x + areaWidth / 2, y + areaHeight / 2};
    const float surface = Surface(area);
    if (!(surface > 0.0f)) // a size of 0 or less (or NaN) covers nothing to average
        return InterpolatedColour(x, y, method, overflow, replacement);
    // The pixels whose cells the corners fall in (rounded half up, also left of 0).
    const std::int32_t xa = FloorToInt(area.x1 + 0.5f);
    const std::int32_t ya = FloorToInt(area.y1 + 0.5f);
    const std::int32_t xb = FloorToInt(area.x2 + 0.5f);
    const std::int32_t yb = FloorToInt(area.y2 + 0.5f);
    ColourSum sum;
    if (wide && tall) {
        // Interior pixels weigh 1, edge pixels the part of their cell the area covers.
        const FloatRect p = Intersect(area, Cell(xa, ya));
        const FloatRect q = Intersect(area, Cell(xb, yb));
        const float wP = p.x2 - p.x1;
        const float hP = p.y2 - p.y1;
        const float wQ = q.x2 - q.x1;
        const float hQ = q.y2 - q.y1;
        for (std::int32_t j = ya; j <= yb; ++j) {
            const float rowWeight = j == ya ? hP : (j == yb ? hQ : 1.0f);
            for (std::int32_t i = xa; i <= xb; ++i) {
                const float columnWeight = i == xa ? wP : (i == xb ? wQ : 1.0f);
                sum.Add(ColourWithOverflow(i, j, overflow, replacement), columnWeight * rowWeight);
            }
        }
    } else {
        // A thin area: each covered cell contributes the interpolated colour at the centre of
        // the covered part, weighed by that part's surface.
        for (std::int32_t j = ya; j <= yb; ++j) {
            for (std::int32_t i = xa; i <= xb; ++i) {
                const FloatRect part = Intersect(area, Cell(i, j));
                const float weight = Surface(part);
                if (weight <= 0.0f)
                    continue;
                sum.Add(InterpolatedColour((part.x1 + part.x2) / 2, (part.y1 + part.y2) / 2, method, overflow,
                                           replacement),
                        weight);
            }
        }
    }
    return sum.Quad(surface, alpha != nullptr);
}
