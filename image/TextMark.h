// TextMark: what DrawTextMark stamps on a picture: the text (carriage returns separate
// lines), the font, the text colour and an optional rounded, semi-opaque box behind it.
#pragma once

#include "platform/wintypes.h"

#include <cstdint>

struct TextMark {
    char16_t text[4096];      // zero-terminated
    LOGFONTW font;
    COLORREF textColour;
    std::int32_t align;       // 0 left, 1 centre, 2 right; other values are rewritten to 1
    bool smooth;              // keep anti-aliased grey levels instead of a hard threshold
    bool boxed;
    COLORREF boxColour;
    float boxOpacity;         // used only strictly between 0 and 1; outside [0, 1] rewritten to 0
    std::uint8_t spareFlag;
    std::uint8_t cornerRadius; // percent of the line height; above 50 rewritten to 10
};
