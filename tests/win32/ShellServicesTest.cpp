// One smoke test of the real open-file dialog: multi-selection buffer, explorer style with
// the empty hook, a typed file name accepted with OK. The dialog's layout is the system's
// own, so only its file-name box (cmb13, or edt1 in older layouts) is touched.
#include "app/FileDialogResultIterator.h"
#include "app/ShellServices.h"
#include "tests/support/TestSupport.h"
#include "tests/win32/Win32TestSupport.h"

#include <dlgs.h>

#include <gtest/gtest.h>

#include <memory>

namespace {

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
