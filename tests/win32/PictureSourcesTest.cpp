// Pictures from the command line and from shell drops: argument splitting and full paths,
// a dialog that starts with the command line's pictures, and a WM_DROPFILES message with a
// folder (its pictures recognised by content, its subfolders left alone) and a file added by
// the add command's rules.
#include "app/MainDialog.h"
#include "app/PictureSources.h"
#include "image/VxImage.h"
#include "tests/support/TestSupport.h"
#include "tests/win32/MainDialogFixture.h"
#include "tests/win32/Win32TestSupport.h"

#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
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

} // namespace
