// Path division, DirectoryOf/BaseNameOf and output naming, on this platform's separators.
#include "app/batch/PathNames.h"

#include <gtest/gtest.h>

namespace vx::batch {
namespace {

std::u16string Directory(const char16_t* path)
{
    char16_t out[kMaxPathUnits];
    EXPECT_EQ(DirectoryOf(path, out, kMaxPathUnits), 1);
    return out;
}

std::u16string BaseName(const char16_t* path)
{
    char16_t out[kMaxPathUnits];
    EXPECT_EQ(BaseNameOf(path, out, kMaxPathUnits), 1);
    return out;
}

TEST(PathNames, RefusesNullPointersAndEmptyBuffers)
{
    char16_t out[4] = {u'z', u'z', u'z', 0};
    EXPECT_EQ(DirectoryOf(nullptr, out, 4), 0);
    EXPECT_EQ(DirectoryOf(u"/a/b", nullptr, 4), 0);
    EXPECT_EQ(DirectoryOf(u"/a/b", out, 0), 0);
    EXPECT_EQ(BaseNameOf(u"/a/b", out, -1), 0);
    EXPECT_EQ(BaseNameOf(nullptr, out, 4), 0);
    EXPECT_EQ(std::u16string(out), u"zzz"); // nothing written
}

TEST(PathNames, CutsToTheBuffer)
{
    char16_t out[4];
    EXPECT_EQ(BaseNameOf(u"/dir/longname.jpg", out, 4), 1);
    EXPECT_EQ(std::u16string(out), u"lon");
    EXPECT_EQ(DirectoryOf(u"/directory/x.jpg", out, 4), 1);
    EXPECT_EQ(std::u16string(out), u"/di");
    EXPECT_EQ(BaseNameOf(u"/dir/x.jpg", out, 1), 1);
    EXPECT_EQ(std::u16string(out), u"");
}

TEST(PathNames, DropsOnlyTheLastExtension)
{
    EXPECT_EQ(BaseName(u"/p/holiday.jpeg"), u"holiday");
    EXPECT_EQ(BaseName(u"/p/photo.png.jpeg"), u"photo.png");
    EXPECT_EQ(BaseName(u"/p/noextension"), u"noextension");
    EXPECT_EQ(BaseName(u"/p/.hidden"), u"");
    EXPECT_EQ(SplitPath(u"/p/photo.png.jpeg").extension, u".jpeg");
}

#ifdef _WIN32

TEST(PathNames, WindowsDivisionHasDrivesAndBothSeparators)
{
    EXPECT_EQ(Directory(u"C:\\a\\b\\x.jpg"), u"C:\\a\\b\\");
    EXPECT_EQ(Directory(u"C:/a/b/x.jpg"), u"C:/a/b/");
    EXPECT_EQ(Directory(u"C:x.jpg"), u"C:\\");
    EXPECT_EQ(BaseName(u"C:\\a/b\\IMG_1.JPG"), u"IMG_1");
    EXPECT_EQ(OutputPathFor(u"C:\\p\\holiday.jpeg", u"E:\\out"), u"E:\\out\\holiday.jpg");
    EXPECT_EQ(OutputPathFor(u"C:\\p\\photo.png.jpeg", u"E:\\out"), u"E:\\out\\photo.png.jpg");
    EXPECT_EQ(OutputPathFor(u"C:\\p\\holiday.jpeg", u"E:\\"), u"E:\\holiday.jpg");
}

#else

TEST(PathNames, PosixDivisionHasOnlySlashes)
{
    EXPECT_EQ(Directory(u"/a/b/x.jpg"), u"/a/b/");
    EXPECT_EQ(Directory(u"x.jpg"), u"/"); // the separator is appended to an empty directory too
    // A backslash is part of the file name here, and "C:" is no drive.
    EXPECT_EQ(Directory(u"C:\\a\\x.jpg"), u"/");
    EXPECT_EQ(BaseName(u"/in/C:\\a\\x.jpg"), u"C:\\a\\x");
    EXPECT_EQ(OutputPathFor(u"/p/holiday.jpeg", u"/out"), u"/out/holiday.jpg");
    EXPECT_EQ(OutputPathFor(u"/p/photo.png.jpeg", u"/out"), u"/out/photo.png.jpg");
    EXPECT_EQ(OutputPathFor(u"/p/holiday.jpeg", u"/"), u"/holiday.jpg");
    EXPECT_EQ(OutputPathFor(u"/p/holiday.jpeg", u"/out\\"), u"/out\\/holiday.jpg");
}

#endif

} // namespace
} // namespace vx::batch
