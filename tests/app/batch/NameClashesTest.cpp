// Renaming of clashing outputs: the order of the counters, ".jpg" kept, no new name that
// collides with another output or with a source of the run.
#include "app/batch/NameClashes.h"

#include "platform/FileSystem.h"
#include "tests/app/batch/PictureFiles.h"

#include <gtest/gtest.h>

#include <vector>

namespace vx::batch {
namespace {

#ifdef _WIN32
constexpr char16_t kSep = u'\\';
#else
constexpr char16_t kSep = u'/';
#endif

// Builds jobs for `sources` (written with '/' and turned into this platform's separator)
// into `destination`.
std::vector<ResizeJob> Jobs(std::vector<std::u16string> sources, std::u16string destination)
{
    std::vector<ResizeJob> jobs(sources.size(), ResizeJob{});
    for (std::size_t i = 0; i < sources.size(); ++i) {
        for (char16_t& c : sources[i])
            if (c == u'/')
                c = kSep;
        BuildResizeJob(jobs[i], static_cast<int>(i), sources[i], destination, nullptr);
    }
    return jobs;
}

std::u16string NameOf(const ResizeJob& job)
{
    const std::u16string path = job.szDstPath;
    return path.substr(path.find_last_of(kSep) + 1);
}

TEST(NameClashes, RefusesNullAndEmptyArrays)
{
    std::vector<ResizeJob> jobs = Jobs({u"/a/x.jpg"}, u"/out");
    EXPECT_EQ(ResolveNameClashes(nullptr, 3), -1);
    EXPECT_EQ(ResolveNameClashes(jobs.data(), 0), -1);
    EXPECT_EQ(ResolveNameClashes(jobs.data(), -2), -1);
    EXPECT_EQ(ResolveNameClashes(jobs.data(), 1), 0);
}

// Counters follow the array order and ignore case; a new name never collides with another
// output (renaming the third x.jpg to s1_x.jpg would overwrite the first job's output).
TEST(NameClashes, CountersFollowArrayOrderAndSkipTakenNames)
{
    std::vector<ResizeJob> jobs = Jobs({u"/a/s1_x.jpg", u"/a/x.jpg", u"/b/x.jpg", u"/c/X.JPG"}, u"/out");
    EXPECT_EQ(ResolveNameClashes(jobs.data(), 4), 2);
    std::vector<std::u16string> names;
    for (const ResizeJob& job : jobs)
        names.push_back(NameOf(job));
    EXPECT_EQ(names, (std::vector<std::u16string>{u"s1_x.jpg", u"x.jpg", u"s2_x.jpg", u"s3_X.jpg"}));
    // The renamed outputs stay in the destination, with a single separator.
    EXPECT_EQ(std::u16string(jobs[3].szDstPath), u"/out" + std::u16string(1, kSep) + u"s3_X.jpg");
}

TEST(NameClashes, CaseFoldingCoversAccentedAndCyrillicLetters)
{
    EXPECT_TRUE(vx::fs::EqualIgnoringCase(u"ÉTÉ.jpg", u"été.JPG"));
    EXPECT_TRUE(vx::fs::EqualIgnoringCase(u"ŁÓDŹ", u"łódź"));
    EXPECT_TRUE(vx::fs::EqualIgnoringCase(u"ФОТО", u"фото"));
    EXPECT_FALSE(vx::fs::EqualIgnoringCase(u"a.jpg", u"b.jpg"));
    EXPECT_FALSE(vx::fs::EqualIgnoringCase(u"a.jpg", u"a.jpgx"));
}

TEST(NameClashes, AJobWhoseNewNameDoesNotFitLosesItsOutput)
{
    const std::u16string longName(250, u'n');
    std::vector<ResizeJob> jobs = Jobs({u"/a/" + longName, u"/b/" + longName}, u"/o");
    ASSERT_NE(jobs[1].szDstPath[0], 0);
    ResolveNameClashes(jobs.data(), 2);
    EXPECT_NE(jobs[0].szDstPath[0], 0);
    EXPECT_EQ(jobs[1].szDstPath[0], 0);
}

#ifdef _WIN32
// Windows names ignore case: X.jpeg written as X.jpg would replace the source x.jpg (a source
// in the destination under its own name: see the runner suite).
TEST(NameClashes, AnOutputThatIsASourceInAnotherCaseGetsANewName)
{
    vx::test::ScratchDir scratch;
    const auto source = scratch / "x.jpg";
    ASSERT_TRUE(vx::test::WritePicture(source, 4, 4));
    std::vector<ResizeJob> jobs(2, ResizeJob{});
    BuildResizeJob(jobs[0], 0, vx::test::ToU16(scratch / "in" / "X.jpeg"), vx::test::ToU16(scratch.Path()), nullptr);
    BuildResizeJob(jobs[1], 1, vx::test::ToU16(source), vx::test::ToU16(scratch / "elsewhere"), nullptr);
    EXPECT_EQ(AvoidOverwritingSources(jobs.data(), 2), 1);
    EXPECT_EQ(NameOf(jobs[0]), u"s1_X.jpg");
}
#endif

} // namespace
} // namespace vx::batch
