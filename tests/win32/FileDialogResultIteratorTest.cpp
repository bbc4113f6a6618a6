// Splitting the open-file dialog's buffer: one full path, or a directory with names.
#include "app/FileDialogResultIterator.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::wstring> Walk(const std::wstring& buffer)
{
    std::wstring zeroFilled = buffer;
    zeroFilled.append(4, L'\0');
    vx::app::FileDialogResultIterator results(zeroFilled.c_str());
    std::vector<std::wstring> paths;
    std::wstring path;
    while (results.Next(path))
        paths.push_back(path);
    return paths;
}

TEST(FileDialogResultIterator, SingleSelectionIsTheFullPath)
{
    EXPECT_EQ(Walk(std::wstring(L"C:\\p\\a.jpg")), std::vector<std::wstring>{L"C:\\p\\a.jpg"});
}

TEST(FileDialogResultIterator, MultiSelectionJoinsDirectoryAndNamesInOrder)
{
    const std::wstring buffer(L"C:\\p\0a.jpg\0b.jpg\0c.jpg\0", 23);
    const std::vector<std::wstring> expected = {L"C:\\p\\a.jpg", L"C:\\p\\b.jpg", L"C:\\p\\c.jpg"};
    EXPECT_EQ(Walk(buffer), expected);
}

TEST(FileDialogResultIterator, DirectoryEndingInSeparatorGetsNoSecondOne)
{
    const std::wstring buffer(L"D:\\\0x.jpg\0y.jpg\0", 16);
    const std::vector<std::wstring> expected = {L"D:\\x.jpg", L"D:\\y.jpg"};
    EXPECT_EQ(Walk(buffer), expected);
}

TEST(FileDialogResultIterator, EmptyOrNullBufferHasNoResults)
{
    EXPECT_TRUE(Walk(L"").empty());
    vx::app::FileDialogResultIterator none(nullptr);
    std::wstring path;
    EXPECT_FALSE(none.Next(path));
}

} // namespace
