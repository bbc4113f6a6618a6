// The mark record as every job draws it, and the character set chosen from the language.
#include "app/batch/MarkStyle.h"

#include "platform/SystemLanguage.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

namespace vx::batch {
namespace {

// Locale names map to Windows language identifiers, and those to the mark's character set:
// Singapore too gets Big5; the primary language alone (0x0011) is not enough.
TEST(MarkStyle, CharsetFollowsTheWholeLanguageIdentifierIntoTheRecord)
{
    const struct {
        const char* locale; // null: the identifier alone
        int language, charset;
    } cases[] = {{"ja_JP.UTF-8", 0x0411, 128}, {"zh_TW.UTF-8", 0x0404, 136}, {"zh_HK", 0x0C04, 136},
                 {"zh_SG.GB2312", 0x1004, 136}, {"zh_CN.UTF-8", 0x0804, 134}, {"ko_KR.UTF-8", 0x0412, 130},
                 {nullptr, 0x0812, 130},        {"en_US.UTF-8", 0x0409, 0},   {"de_DE@euro", 0x0407, 0},
                 {"C.UTF-8", 0x0409, 0},        {"POSIX", 0x0409, 0},         {nullptr, 0x1404, 0},
                 {nullptr, 0x0011, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.language);
        if (c.locale) {
            EXPECT_EQ(vx::platform::LanguageIdForLocaleName(c.locale), c.language) << c.locale;
        }
        // Filled over any earlier contents, the record comes out the same, bytes included (its
        // colour, font and place are checked on a job's output, its text in the runner suite).
        const BYTE charset = CharsetForLanguage(static_cast<std::uint16_t>(c.language));
        auto dirty = std::make_unique<TextMark>(), clean = std::make_unique<TextMark>();
        std::memset(dirty.get(), 0xAB, sizeof *dirty);
        std::memset(clean.get(), 0, sizeof *clean);
        FillMarkStyle(*dirty, u"100% sure", charset);
        FillMarkStyle(*clean, u"100% sure", charset);
        EXPECT_EQ(std::memcmp(dirty.get(), clean.get(), sizeof *dirty), 0);
        EXPECT_EQ(dirty->font.lfCharSet, c.charset);
    }
}

} // namespace
} // namespace vx::batch
