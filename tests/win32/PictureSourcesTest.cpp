// Pictures from the command line, from shell drops and from the open-file dialog: argument
// splitting and full paths, a dialog that starts with the command line's pictures, a
// WM_DROPFILES message with a folder (its pictures recognised by content, its subfolders left
// alone) and a file added by the add command's rules; the open-file dialog's buffer split into
// full paths, and one smoke test of the real dialog (multi-selection buffer, explorer style,
// a typed name accepted with OK; only its file-name box, cmb13 or edt1, is touched).
#include "app/FileDialogResultIterator.h"
#include "app/MainDialog.h"
#include "app/PictureSources.h"
#include "app/ShellServices.h"
#include "image/VxImage.h"
#include "tests/support/TestSupport.h"
#include "tests/win32/MainDialogFixture.h"
#include "tests/win32/Win32TestSupport.h"

#include <dlgs.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace vx::test;

// A drop as the shell hands it over: DROPFILES, then the wide paths, each NUL-terminated,
// and one more NUL. The receiver frees it with DragFinish.
HGLOBAL MakeDrop(const std::vector<std::wstring>& paths)
{
    std::size_t units = 1;
    for (const std::wstring& path : paths)
        units += path.size() + 1;
    HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + units * sizeof(wchar_t));
    auto* files = static_cast<DROPFILES*>(GlobalLock(memory));
    files->pFiles = sizeof(DROPFILES);
    files->fWide = TRUE;
    auto* out = reinterpret_cast<wchar_t*>(files + 1);
    for (const std::wstring& path : paths) {
        std::memcpy(out, path.c_str(), (path.size() + 1) * sizeof(wchar_t));
        out += path.size() + 1;
    }
    GlobalUnlock(memory);
    return memory;
}

TEST(CommandLinePaths, ArgumentsAfterTheProgramBecomeFullPaths)
{
    wchar_t current[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, current);
    EXPECT_EQ(vx::app::CommandLinePaths(L"\"C:\\Program Files\\Vantry.exe\" \"C:\\My Pictures\\a.jpg\" b.bmp"),
              (std::vector<std::wstring>{L"C:\\My Pictures\\a.jpg", (fs::path(current) / L"b.bmp").wstring()}));
    EXPECT_TRUE(vx::app::CommandLinePaths(L"Vantry.exe").empty());
    EXPECT_TRUE(vx::app::CommandLinePaths(L"").empty());
}

// The dialog starts with a picture from the command line; then a folder is dropped with
// the same picture spelled in capitals. The folder holds two pictures (one under a name
// that does not say so), a text file and a subfolder holding a picture.
class PictureSourcesTest : public MainDialogFixture {
protected:
    PictureSourcesTest()
    {
        fs::create_directories(folder / "inner");
        EXPECT_TRUE(WritePicture(folder / "b.jpg", 40, 30));
        EXPECT_TRUE(WritePicture(folder / "A-scan.dat", 20, 10));
        EXPECT_TRUE(WritePicture(folder / "inner" / "deep.jpg", 8, 8));
        WriteFileBytes(folder / "notes.txt", {'h', 'e', 'l', 'l', 'o'});
        EXPECT_TRUE(WritePicture(scratch / "single.jpg", 16, 12));
        dialog.SetStartupPictures({Wide(scratch / "single.jpg")});
    }

    fs::path folder = scratch / "album";
};

TEST_F(PictureSourcesTest, DroppedFolderPicturesGoOnTopLikeTheAddCommand)
{
    ASSERT_EQ(Rows(), std::vector<std::wstring>{Wide(scratch / "single.jpg")});
    EXPECT_NE(GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_ACCEPTFILES, 0) << "the dialog takes drops";
    const HGLOBAL drop = MakeDrop({Wide(folder), Wide(scratch / "SINGLE.JPG")});
    SendMessageW(window, WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0);
    // The folder's pictures sorted by name, each new row on top; duplicates ignoring case skipped.
    EXPECT_EQ(Rows(), (std::vector<std::wstring>{Wide(folder / "b.jpg"), Wide(folder / "A-scan.dat"),
                                                  Wide(scratch / "single.jpg")}));
    // Dropped rows are probed as added ones are: the same call, checked in the main dialog's tests.
}

// A directory ending in a separator gets no second one; nothing chosen, no paths. (One full
// path and a directory with names: the main dialog's tests add pictures both ways.)
TEST(FileDialogResultIterator, SplitsTheBufferIntoFullPaths)
{
    const std::wstring buffer(L"D:\\\0x.jpg\0y.jpg\0\0", 17);
    vx::app::FileDialogResultIterator results(buffer.c_str());
    std::vector<std::wstring> paths;
    for (std::wstring path; results.Next(path);)
        paths.push_back(path);
    EXPECT_EQ(paths, (std::vector<std::wstring>{L"D:\\x.jpg", L"D:\\y.jpg"}));
    const wchar_t nothing[4] = {};
    std::wstring path;
    EXPECT_FALSE(vx::app::FileDialogResultIterator(nothing).Next(path));
    EXPECT_FALSE(vx::app::FileDialogResultIterator(nullptr).Next(path));
}

TEST(SystemShellServices, OpenFileDialogReturnsTheTypedPicture)
{
    ScratchDir scratch;
    WriteFileBytes(scratch / "typed.jpg", {0xFF, 0xD8, 0xFF, 0xD9});
    // The dialog wants a Windows path; the scratch directory may be given in Unix form.
    wchar_t full[MAX_PATH] = {};
    ASSERT_GT(GetFullPathNameW(Wide(scratch / "typed.jpg").c_str(), MAX_PATH, full, nullptr), 0u);
    const std::wstring path = full;

    vx::app::SystemShellServices shell;
    constexpr DWORD kUnits = 50120;
    std::unique_ptr<wchar_t[]> buffer(new wchar_t[kUnits]());
    ModalBoxCloser closer(nullptr, IDOK, [&](HWND box) {
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
