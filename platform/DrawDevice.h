// The device a VxImage is drawn onto: a window or bitmap on Windows (GdiDrawDevice), an
// in-memory 24-bit surface elsewhere and in tests (MemoryDrawDevice). Draw needs only the
// visible part of the device, the pixels already there, and a way to show a bottom-up DIB
// block; all coordinates are device pixels with y growing downwards.
#pragma once

#include "platform/Rgb24Bitmap.h"
#include "platform/wintypes.h"

#include <cstdint>

namespace vx {

class DrawDevice {
public:
    virtual ~DrawDevice() = default;

    // Saves the clipping state; false when the device cannot (then nothing is drawn).
    virtual bool SaveState() = 0;
    // Restores the state of the matching SaveState.
    virtual void RestoreState() = 0;
    // Narrows the clipping area to its intersection with `rect` (right and bottom exclusive).
    virtual void IntersectClip(const RECT& rect) = 0;
    // The bounding rectangle of the area drawing can reach now; empty when none.
    virtual RECT ClipBox() = 0;
    // Copies the pixels shown at `rect` into `block` (its width and height are the rectangle's),
    // the bottom row first; false when they cannot be read.
    virtual bool ReadPixels(const RECT& rect, const Rgb24Bitmap& block) = 0;
    // Shows a packed DIB's pixels with their top-left corner at (left, top), within the clipping
    // area: `info` is a BITMAPINFOHEADER of 1, 4, 8 or 24 bits per pixel with a positive
    // height, followed by its palette; `bits` are its rows, the bottom row first.
    virtual void ShowDib(std::int32_t left, std::int32_t top, const BITMAPINFOHEADER& info,
                         const std::uint8_t* bits) = 0;
};

} // namespace vx
