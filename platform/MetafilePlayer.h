// The metafile player VxImageWMF renders with: GDI on Windows, our own record player over a 2D
// rasteriser elsewhere. A player accepts a Windows metafile (the bytes after a placeable
// header, starting at the 18-byte metafile header) or an enhanced metafile (starting at its
// EMR_HEADER record) and plays it stretched over a 24-bit bitmap. Each platform backend
// defines SystemMetafilePlayer().
#pragma once

#include "platform/Rgb24Bitmap.h"
#include "platform/wintypes.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace vx {

// The screen pictures are rendered for: its resolution and the system window colour.
struct MetafileScreen {
    std::int32_t pixelsPerInchX; // LOGPIXELSX
    std::int32_t pixelsPerInchY; // LOGPIXELSY
    COLORREF windowColour;       // GetSysColor(COLOR_WINDOW)
};

// A bitmap from a metafile record, decoded: `bgr` holds `height` rows of `width` pixels, the
// top row first, blue, green, red per pixel, no padding.
struct DecodedDib {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::vector<std::uint8_t> bgr;
};

// Decodes a packed DIB (a BITMAPINFOHEADER or BITMAPCOREHEADER, its colour table, its rows) of
// `size` bytes; false when it is not a picture. The image library hands in its own BMP reader,
// so that a player that draws bitmap records itself needs no second one. GDI does not use it.
using DibDecoder = std::function<bool(const std::uint8_t* packedDib, std::size_t size, DecodedDib& out)>;

// A metafile a player accepted, ready to be played any number of times.
class PlayableMetafile {
public:
    virtual ~PlayableMetafile() = default;

    // The enhanced-metafile header's bounds rectangle (rclBounds: device pixels, inclusive).
    // For a Windows metafile, the bounds of the enhanced metafile it was converted to.
    virtual RECT Bounds() const = 0;

    // Fills `target` with `background`, then plays the metafile stretched over the whole of
    // it (the picture frame mapped onto (0, 0, width, height)), realising the metafile's
    // palette if it has one. Bitmap records are decoded with `dibs`. False when no drawing
    // surface can be had.
    virtual bool Play(const Rgb24Bitmap& target, COLORREF background, const DibDecoder& dibs) = 0;
};

class MetafilePlayer {
public:
    virtual ~MetafilePlayer() = default;

    virtual MetafileScreen Screen() = 0;

    // A Windows metafile, converted as SetWinMetaFileBits does with a METAFILEPICT of
    // MM_ANISOTROPIC and extents 10000 x 10000, then with MM_TEXT. Null when refused.
    virtual std::unique_ptr<PlayableMetafile> OpenWindowsMetafile(const std::uint8_t* bytes,
                                                                  std::size_t size) = 0;

    // An enhanced metafile, as SetEnhMetaFileBits and GetEnhMetaFileHeader take it. Null
    // when refused.
    virtual std::unique_ptr<PlayableMetafile> OpenEnhancedMetafile(const std::uint8_t* bytes,
                                                                   std::size_t size) = 0;
};

// The player of the backend this program was linked with.
MetafilePlayer& SystemMetafilePlayer();

} // namespace vx
