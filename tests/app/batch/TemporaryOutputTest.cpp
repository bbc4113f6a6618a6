// Temporary outputs: nothing appears under the final name until Commit, and nothing is left
// when the output is dropped; at the path limit (259 units on Windows, 4095 bytes on Linux) a
// final path of the longest length gets a temporary beside it that fits, whatever the length
// of the final name, and the result lands under the final name.
#include "app/batch/TemporaryOutput.h"

#include "platform/FileSystem.h"
#include "tests/app/batch/PictureFiles.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace vx::batch {
namespace {

using vx::test::Bytes;
using vx::test::ReadFileBytes;
using vx::test::WriteFileBytes;

#ifdef _WIN32
constexpr std::size_t kLongestPath = 259;
#else
constexpr std::size_t kLongestPath = 4095;
#endif

// Names shorter than, as long as and longer than the usual temporary name "~vx00000000.tmp".
TEST(TemporaryOutput, FitsBesideAFinalPathOfTheLongestLengthAndReplacesItOnlyOnCommit)
{
    for (const std::string name : {"a", "a.jpg", "photo-0001.jpg", "picture-00001.jpg", "~vx12345678.tmp"}) {
        SCOPED_TRACE(name);
        vx::test::ScratchDir scratch;
        // Components of 200 while that leaves room for one more; the last takes the rest.
        std::filesystem::path directory = scratch.Path();
        for (std::size_t room; (room = kLongestPath - directory.native().size() - 1 - name.size()) != 0;)
            directory /= std::string(room > 202 ? 200 : room - 1, 'd');
        std::filesystem::create_directories(directory);
        const std::filesystem::path final = directory / name;
        ASSERT_EQ(final.native().size(), kLongestPath);
        ASSERT_FALSE(vx::fs::PathExceedsLimit(vx::test::ToU16(final)));
        WriteFileBytes(final, {7}); // an older output: kept while its replacement is dropped
        {
            TemporaryOutput dropped(vx::test::ToU16(final));
            WriteFileBytes(std::filesystem::path(dropped.Path()), {1});
        }
        EXPECT_EQ(vx::test::DirectoryNames(directory), std::vector<std::string>{name});
        EXPECT_EQ(ReadFileBytes(final), Bytes{7});

        TemporaryOutput output(vx::test::ToU16(final));
        ASSERT_FALSE(output.Path().empty());
        EXPECT_FALSE(vx::fs::PathExceedsLimit(output.Path()));
        EXPECT_EQ(std::filesystem::path(output.Path()).parent_path(), directory);
        WriteFileBytes(std::filesystem::path(output.Path()), {4, 2});
        ASSERT_TRUE(output.Commit());
        EXPECT_EQ(ReadFileBytes(final), (Bytes{4, 2}));
        EXPECT_EQ(vx::test::DirectoryNames(directory), std::vector<std::string>{name});
    }
}

} // namespace
} // namespace vx::batch
