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

// One full path; a directory with names in order; a directory ending in a separator gets no
// second one; nothing at all.
TEST(FileDialogResultIterator, SplitsTheBufferIntoFullPaths)
{
    const struct {
        std::wstring buffer;
        std::vector<std::wstring> paths;
    } cases[] = {
        {L"C:\\p\\a.jpg", {L"C:\\p\\a.jpg"}},
        {std::wstring(L"C:\\p\0a.jpg\0b.jpg\0c.jpg\0", 23), {L"C:\\p\\a.jpg", L"C:\\p\\b.jpg", L"C:\\p\\c.jpg"}},
        {std::wstring(L"D:\\\0x.jpg\0y.jpg\0", 16), {L"D:\\x.jpg", L"D:\\y.jpg"}},
        {L"", {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Walk(c.buffer), c.paths) << c.paths.size();
    vx::app::FileDialogResultIterator none(nullptr);
    std::wstring path;
    EXPECT_FALSE(none.Next(path));
}

} // namespace
