// The open-file dialog's results: its buffer split into full paths (one full path, or a
// directory with names), and one smoke test of the real dialog: multi-selection buffer,
// explorer style with the empty hook, a typed file name accepted with OK. The dialog's layout
// is the system's own, so only its file-name box (cmb13, or edt1 in older layouts) is touched.
#include "app/FileDialogResultIterator.h"
#include "app/ShellServices.h"
#include "tests/support/TestSupport.h"
#include "tests/win32/Win32TestSupport.h"

#include <dlgs.h>

#include <gtest/gtest.h>

#include <memory>
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

// A directory ending in a separator gets no second one; nothing at all. (One full path and a
// directory with names: the main dialog's tests add pictures both ways.)
TEST(FileDialogResultIterator, SplitsTheBufferIntoFullPaths)
{
    const struct {
        std::wstring buffer;
        std::vector<std::wstring> paths;
    } cases[] = {
        {std::wstring(L"D:\\\0x.jpg\0y.jpg\0", 16), {L"D:\\x.jpg", L"D:\\y.jpg"}},
        {L"", {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Walk(c.buffer), c.paths) << c.paths.size();
    vx::app::FileDialogResultIterator none(nullptr);
    std::wstring path;
    EXPECT_FALSE(none.Next(path));
}

TEST(SystemShellServices, OpenFileDialogReturnsTheTypedPicture)
{
    vx::test::ScratchDir scratch;
    vx::test::WriteFileBytes(scratch / "typed.jpg", {0xFF, 0xD8, 0xFF, 0xD9});
    // The dialog wants a Windows path; the scratch directory may be given in Unix form.
    wchar_t full[MAX_PATH] = {};
    ASSERT_GT(GetFullPathNameW(vx::test::Wide(scratch / "typed.jpg").c_str(), MAX_PATH, full, nullptr), 0u);
    const std::wstring path = full;

    vx::app::SystemShellServices shell;
    constexpr DWORD kUnits = 50120;
    std::unique_ptr<wchar_t[]> buffer(new wchar_t[kUnits]());
    vx::test::ModalBoxCloser closer(nullptr, IDOK, [&](HWND box) {
        if (!SetDlgItemTextW(box, cmb13, path.c_str()))
            SetDlgItemTextW(box, edt1, path.c_str());
    });
    ASSERT_TRUE(shell.ChoosePictureFiles(nullptr, GetModuleHandleW(nullptr), buffer.get(), kUnits));
    ASSERT_TRUE(closer.Seen().found);

    vx::app::FileDialogResultIterator results(buffer.get());
    std::wstring chosen;
    ASSERT_TRUE(results.Next(chosen));
    EXPECT_EQ(lstrcmpiW(chosen.c_str(), path.c_str()), 0) << std::string(chosen.begin(), chosen.end());
    EXPECT_FALSE(results.Next(chosen));
}

} // namespace
