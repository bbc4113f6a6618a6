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

TEST(MarkStyle, FillsEveryField)
{
    auto mark = std::make_unique<TextMark>();
    std::memset(mark.get(), 0xAB, sizeof *mark);
    FillMarkStyle(*mark, u"100% sure", 128);

    EXPECT_EQ(std::u16string(mark->text), u"100% sure"); // no format processing
    EXPECT_EQ(mark->font.lfHeight, -24);
    EXPECT_EQ(mark->font.lfWidth, 0);
    EXPECT_EQ(mark->font.lfEscapement, 0);
    EXPECT_EQ(mark->font.lfOrientation, 0);
    EXPECT_EQ(mark->font.lfWeight, 400);
    EXPECT_EQ(mark->font.lfItalic, 0);
    EXPECT_EQ(mark->font.lfUnderline, 0);
    EXPECT_EQ(mark->font.lfStrikeOut, 0);
    EXPECT_EQ(mark->font.lfCharSet, 128);
    EXPECT_EQ(mark->font.lfOutPrecision, 0);
    EXPECT_EQ(mark->font.lfClipPrecision, 0);
    EXPECT_EQ(mark->font.lfQuality, 2);
    EXPECT_EQ(mark->font.lfPitchAndFamily, 0);
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(mark->font.lfFaceName)), u"Tahoma");
    EXPECT_EQ(mark->textColour, 0x000000FFu);
    EXPECT_EQ(mark->align, 0);
    EXPECT_FALSE(mark->smooth);
    EXPECT_FALSE(mark->boxed);
    EXPECT_EQ(mark->boxColour, 0x00006020u);
    EXPECT_EQ(mark->boxOpacity, 0.0f);
    EXPECT_EQ(mark->spareFlag, 0);
    EXPECT_EQ(mark->cornerRadius, 20);
    EXPECT_EQ(mark->text[9], 0);
    EXPECT_EQ(mark->text[100], 0); // the rest is zeroed, not left as it was
}

TEST(MarkStyle, AnEmptyMarkIsAnEmptyText)
{
    TextMark mark;
    FillMarkStyle(mark, u"", 0);
    EXPECT_EQ(mark.text[0], 0);
}

} // namespace
} // namespace vx::batch
