// The mark record as every job draws it, and the character set chosen from the language.
#include "app/batch/MarkStyle.h"

#include "platform/SystemLanguage.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

namespace vx::batch {
namespace {

TEST(MarkStyle, CharsetFollowsTheWholeLanguageIdentifier)
{
    EXPECT_EQ(CharsetForLanguage(0x0411), 128);
    EXPECT_EQ(CharsetForLanguage(0x0404), 136);
    EXPECT_EQ(CharsetForLanguage(0x0C04), 136);
    EXPECT_EQ(CharsetForLanguage(0x1004), 136); // Singapore too gets Big5
    EXPECT_EQ(CharsetForLanguage(0x0804), 134);
    EXPECT_EQ(CharsetForLanguage(0x0412), 130);
    EXPECT_EQ(CharsetForLanguage(0x0812), 130);
    EXPECT_EQ(CharsetForLanguage(0x1404), 0);
    EXPECT_EQ(CharsetForLanguage(0x0409), 0);
    EXPECT_EQ(CharsetForLanguage(0x0011), 0); // the primary language alone is not enough
}

TEST(MarkStyle, LocaleNamesMapToWindowsLanguageIdentifiers)
{
    using vx::platform::LanguageIdForLocaleName;
    EXPECT_EQ(LanguageIdForLocaleName("ja_JP.UTF-8"), 0x0411);
    EXPECT_EQ(LanguageIdForLocaleName("zh_TW.UTF-8"), 0x0404);
    EXPECT_EQ(LanguageIdForLocaleName("zh_HK"), 0x0C04);
    EXPECT_EQ(LanguageIdForLocaleName("zh_SG.GB2312"), 0x1004);
    EXPECT_EQ(LanguageIdForLocaleName("zh_CN.UTF-8"), 0x0804);
    EXPECT_EQ(LanguageIdForLocaleName("ko_KR.UTF-8"), 0x0412);
    EXPECT_EQ(LanguageIdForLocaleName("en_US.UTF-8"), 0x0409);
    EXPECT_EQ(LanguageIdForLocaleName("de_DE@euro"), 0x0407);
    EXPECT_EQ(LanguageIdForLocaleName("C.UTF-8"), 0x0409);
    EXPECT_EQ(LanguageIdForLocaleName("POSIX"), 0x0409);
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
