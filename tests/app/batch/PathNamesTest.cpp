// Path division, DirectoryOf/BaseNameOf and output naming, on this platform's separators.
#include "app/batch/PathNames.h"

#include <gtest/gtest.h>

namespace vx::batch {
namespace {

TEST(PathNames, RefusesNullPointersAndEmptyBuffersAndCutsToTheBuffer)
{
    char16_t out[4] = {u'z', u'z', u'z', 0};
    EXPECT_EQ(DirectoryOf(nullptr, out, 4), 0);
    EXPECT_EQ(DirectoryOf(u"/a/b", nullptr, 4), 0);
    EXPECT_EQ(DirectoryOf(u"/a/b", out, 0), 0);
    EXPECT_EQ(BaseNameOf(u"/a/b", out, -1), 0);
    EXPECT_EQ(BaseNameOf(nullptr, out, 4), 0);
    EXPECT_EQ(std::u16string(out), u"zzz"); // nothing written

    EXPECT_EQ(BaseNameOf(u"/dir/longname.jpg", out, 4), 1);
    EXPECT_EQ(std::u16string(out), u"lon");
    EXPECT_EQ(DirectoryOf(u"/directory/x.jpg", out, 4), 1);
    EXPECT_EQ(std::u16string(out), u"/di");
    EXPECT_EQ(BaseNameOf(u"/dir/x.jpg", out, 1), 1);
    EXPECT_EQ(std::u16string(out), u"");
}

// Only the last extension is dropped; the output is the base name plus ".jpg" in the
// destination, with one separator between.
TEST(PathNames, DivisionAndOutputNames)
{
    const struct {
        const char16_t* path;
        const char16_t* directory; // null: not checked
        const char16_t* base;
    } cases[] = {
        {u"/p/holiday.jpeg", nullptr, u"holiday"}, {u"/p/photo.png.jpeg", nullptr, u"photo.png"},
        {u"/p/noextension", nullptr, u"noextension"}, {u"/p/.hidden", nullptr, u""},
#ifdef _WIN32
        {u"C:\\a\\b\\x.jpg", u"C:\\a\\b\\", u"x"}, {u"C:/a/b/x.jpg", u"C:/a/b/", u"x"}, {u"C:x.jpg", u"C:\\", u"x"},
        {u"C:\\a/b\\IMG_1.JPG", nullptr, u"IMG_1"},
#else
        // A backslash is part of the file name here, and "C:" is no drive; the separator is
        // appended to an empty directory too.
        {u"/a/b/x.jpg", u"/a/b/", u"x"}, {u"x.jpg", u"/", u"x"}, {u"C:\\a\\x.jpg", u"/", u"C:\\a\\x"},
#endif
    };
    for (const auto& c : cases) {
        char16_t out[kMaxPathUnits];
        if (c.directory) {
            EXPECT_EQ(DirectoryOf(c.path, out, kMaxPathUnits), 1);
            EXPECT_EQ(std::u16string(out), c.directory);
        }
        EXPECT_EQ(BaseNameOf(c.path, out, kMaxPathUnits), 1);
        EXPECT_EQ(std::u16string(out), c.base);
    }
    EXPECT_EQ(SplitPath(u"/p/photo.png.jpeg").extension, u".jpeg");

#ifdef _WIN32
    EXPECT_EQ(OutputPathFor(u"C:\\p\\holiday.jpeg", u"E:\\out"), u"E:\\out\\holiday.jpg");
    EXPECT_EQ(OutputPathFor(u"C:\\p\\holiday.jpeg", u"E:\\"), u"E:\\holiday.jpg");
#else
    EXPECT_EQ(OutputPathFor(u"/p/holiday.jpeg", u"/out"), u"/out/holiday.jpg");
    EXPECT_EQ(OutputPathFor(u"/p/holiday.jpeg", u"/"), u"/holiday.jpg");
    EXPECT_EQ(OutputPathFor(u"/p/holiday.jpeg", u"/out\\"), u"/out\\/holiday.jpg");
#endif
}

} // namespace
} // namespace vx::batch
