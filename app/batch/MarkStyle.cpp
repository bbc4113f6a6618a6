// Filling the mark record. The box fields are set although the box is off, so a record
// filled here is the same bytes whatever it held before.
#include "app/batch/MarkStyle.h"

#include <algorithm>
#include <cstring>

namespace vx::batch {

BYTE CharsetForLanguage(std::uint16_t languageId)
{
    switch (languageId) {
    case 0x0411: // Japanese
        return 128; // SHIFTJIS_CHARSET
    case 0x0404: // Chinese: Taiwan, Hong Kong, Singapore
    case 0x0C04:
    case 0x1004:
        return 136; // CHINESEBIG5_CHARSET
    case 0x0804: // Chinese: People's Republic
        return 134; // GB2312_CHARSET
    case 0x0412: // Korean, Korean (Johab)
    case 0x0812:
        return 130; // JOHAB_CHARSET
    default:
        return 0; // ANSI_CHARSET
    }
}

void FillMarkStyle(TextMark& mark, std::u16string_view text, BYTE charset)
{
    std::memset(&mark, 0, sizeof mark);

    LOGFONTW& font = mark.font;
    font.lfHeight = -24; // a 24-pixel em
    font.lfWeight = 400;
    font.lfCharSet = charset;
    font.lfQuality = 2; // PROOF_QUALITY
    constexpr char16_t kFace[] = u"Tahoma";
    std::copy(std::begin(kFace), std::end(kFace), font.lfFaceName); // WCHAR is 16 bits on every side

    mark.textColour = 0x000000FF; // red
    mark.align = 0;
    mark.smooth = false;
    mark.boxed = false;
    mark.boxColour = 0x00006020;
    mark.boxOpacity = 0.0f;
    mark.spareFlag = 0;
    mark.cornerRadius = 20;

    constexpr std::size_t kCapacity = sizeof mark.text / sizeof mark.text[0];
    const std::size_t count = std::min(text.size(), kCapacity - 1);
    std::copy_n(text.data(), count, mark.text);
    mark.text[count] = 0;
}

} // namespace vx::batch
