// The mark record as every job draws it, and the character set chosen from the language.
#include "app/batch/MarkStyle.h"

#include "platform/SystemLanguage.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <utility>

namespace vx::batch {
namespace {

// Singapore too gets Big5; the primary language alone (0x0011) is not enough.
TEST(MarkStyle, CharsetFollowsTheWholeLanguageIdentifier)
{
    const std::pair<int, int> charsets[] = {{0x0411, 128}, {0x0404, 136}, {0x0C04, 136}, {0x1004, 136}, {0x0804, 134},
                                            {0x0412, 130}, {0x0812, 130}, {0x1404, 0},   {0x0409, 0},   {0x0011, 0}};
    for (auto [language, charset] : charsets)
        EXPECT_EQ(CharsetForLanguage(static_cast<std::uint16_t>(language)), charset) << std::hex << language;
}

TEST(MarkStyle, LocaleNamesMapToWindowsLanguageIdentifiers)
{
    const std::pair<const char*, int> locales[] = {
        {"ja_JP.UTF-8", 0x0411}, {"zh_TW.UTF-8", 0x0404}, {"zh_HK", 0x0C04}, {"zh_SG.GB2312", 0x1004},
        {"zh_CN.UTF-8", 0x0804}, {"ko_KR.UTF-8", 0x0412}, {"en_US.UTF-8", 0x0409}, {"de_DE@euro", 0x0407},
        {"C.UTF-8", 0x0409},     {"POSIX", 0x0409}};
    for (auto [name, language] : locales)
        EXPECT_EQ(vx::platform::LanguageIdForLocaleName(name), language) << name;
}

// The record comes out the same over any earlier contents, bytes included (the colour, font
// and place of the mark are checked on a job's output); the text is copied as it stands.
TEST(MarkStyle, FillingGivesTheSameRecordOverAnyContents)
{
    auto dirty = std::make_unique<TextMark>();
    auto clean = std::make_unique<TextMark>();
    std::memset(dirty.get(), 0xAB, sizeof *dirty);
    std::memset(clean.get(), 0, sizeof *clean);
    FillMarkStyle(*dirty, u"100% sure", 128);
    FillMarkStyle(*clean, u"100% sure", 128);
    EXPECT_EQ(std::memcmp(dirty.get(), clean.get(), sizeof *dirty), 0);
    EXPECT_EQ(std::u16string(dirty->text), u"100% sure");
    EXPECT_EQ(dirty->font.lfCharSet, 128);
    FillMarkStyle(*dirty, u"", 0);
    EXPECT_EQ(dirty->text[0], 0);
}

} // namespace
} // namespace vx::batch
