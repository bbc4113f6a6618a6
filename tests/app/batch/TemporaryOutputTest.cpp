// Temporary outputs at the path limit: a final path of the longest length the system
// accepts (259 units on Windows, 4095 bytes on Linux) gets a temporary beside it that fits,
// whatever the length of the final name, and the result lands under the final name.
#include "app/batch/TemporaryOutput.h"

#include "platform/FileSystem.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace vx::batch {
namespace {

#ifdef _WIN32
constexpr std::size_t kLongestPath = 259;
#else
constexpr std::size_t kLongestPath = 4095;
#endif

// A directory below `base`, made of components of at most 200 characters, such that the
// directory, a separator and `name` are exactly kLongestPath long.
std::filesystem::path DirectoryForLongestPath(const std::filesystem::path& base, std::size_t nameLength)
{
    std::filesystem::path directory = base;
    for (;;) {
        const std::size_t used = directory.native().size() + 1 + nameLength;
        const std::size_t room = kLongestPath - used; // for "component" + separator
        if (room == 0)
            return directory;
        // Components of 200 while that leaves room for one more; the last takes the rest.
        const std::size_t component = room > 202 ? 200 : room - 1;
        directory /= std::string(component, 'd');
    }
}

class TemporaryOutputAtLimitTest : public ::testing::TestWithParam<const char*> {};

TEST_P(TemporaryOutputAtLimitTest, FitsBesideAFinalPathOfTheLongestLength)
{
    vx::test::ScratchDir scratch;
    const std::string name = GetParam();
    const std::filesystem::path directory = DirectoryForLongestPath(scratch.Path(), name.size());
    std::filesystem::create_directories(directory);
    const std::filesystem::path final = directory / name;
    const std::u16string finalText = vx::test::ToU16(final);
    ASSERT_EQ(final.native().size(), kLongestPath);
    ASSERT_FALSE(vx::fs::PathExceedsLimit(finalText));

    TemporaryOutput output(finalText);
    ASSERT_FALSE(output.Path().empty());
    EXPECT_FALSE(vx::fs::PathExceedsLimit(output.Path()));
    EXPECT_EQ(std::filesystem::path(output.Path()).parent_path(), directory);
    vx::test::WriteFileBytes(std::filesystem::path(output.Path()), {4, 2});
    ASSERT_TRUE(output.Commit());
    EXPECT_EQ(vx::test::ReadFileBytes(final), (vx::test::Bytes{4, 2}));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(directory), std::filesystem::directory_iterator()), 1);
}

// Names shorter than, as long as and longer than the usual temporary name "~vx00000000.tmp".
INSTANTIATE_TEST_SUITE_P(NameLengths, TemporaryOutputAtLimitTest,
                         ::testing::Values("a", "a.jpg", "photo-0001.jpg", "picture-00001.jpg", "~vx12345678.tmp"));

} // namespace
} // namespace vx::batch
