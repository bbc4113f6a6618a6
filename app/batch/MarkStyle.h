// The style in which every picture of a run gets its mark: red 24-pixel Tahoma, no box,
// the character set of the font chosen from the system's default language.
#pragma once

#include "image/TextMark.h"

#include <cstdint>
#include <string_view>

namespace vx::batch {

// Character set for a Windows language identifier, compared as the whole 16-bit value:
// Japanese Shift-JIS, the Big5 and GB2312 Chinese sets, Korean Johab, otherwise ANSI.
BYTE CharsetForLanguage(std::uint16_t languageId);

// Sets every field of `mark` (zeroing the rest) and copies `text` character for character,
// cut to what the record holds.
void FillMarkStyle(TextMark& mark, std::u16string_view text, BYTE charset);

} // namespace vx::batch
