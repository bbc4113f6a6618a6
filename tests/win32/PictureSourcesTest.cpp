// Pictures from the command line and from shell drops: argument splitting and full paths,
// a WM_DROPFILES message with files and a folder (its pictures recognised by content, its
// subfolders left alone) added by the add command's rules, and a dialog that starts with
// the command line's pictures in its list.
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

std::vector<std::wstring> Rows(const vx::app::PictureList& list)
{
    std::vector<std::wstring> rows;
    for (int i = 0; i < list.Count(); ++i)
        rows.push_back(list.PathAt(i));
    return rows;
}

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

// A folder with two pictures (one under a name that does not say so), a text file and a
// subfolder holding a picture; plus a picture beside it.
struct DropFolder {
    ScratchDir scratch;
    fs::path folder = scratch / "album";
    DropFolder()
    {
        fs::create_directories(folder / "inner");
        EXPECT_TRUE(WritePicture(folder / "b.jpg", 40, 30, kVxTypeJpg));
        EXPECT_TRUE(WritePicture(folder / "A-scan.dat", 20, 10, kVxTypeJpg));
        EXPECT_TRUE(WritePicture(folder / "inner" / "deep.jpg", 8, 8, kVxTypeJpg));
        WriteFileBytes(folder / "notes.txt", {'h', 'e', 'l', 'l', 'o'});
        EXPECT_TRUE(WritePicture(scratch / "single.jpg", 16, 12, kVxTypeJpg));
    }
};

TEST(CommandLinePaths, ArgumentsAfterTheProgramBecomeFullPaths)
{
    wchar_t current[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, current);
    const std::wstring here = fs::path(current).wstring();
    EXPECT_EQ(vx::app::CommandLinePaths(L"\"C:\\Program Files\\Vantry.exe\" \"C:\\My Pictures\\a.jpg\" b.bmp"),
              (std::vector<std::wstring>{L"C:\\My Pictures\\a.jpg", (fs::path(here) / L"b.bmp").wstring()}));
    EXPECT_TRUE(vx::app::CommandLinePaths(L"Vantry.exe").empty());
    EXPECT_TRUE(vx::app::CommandLinePaths(L"").empty());
}

class DropTest : public MainDialogFixture {
protected:
    void Drop(const std::vector<std::wstring>& paths)
    {
        SendMessageW(window, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop(paths)), 0);
    }
};

TEST_F(DropTest, FilesAndTheFolderPicturesGoOnTopLikeTheAddCommand)
{
    DropFolder files;
    EXPECT_NE(GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_ACCEPTFILES, 0) << "the dialog takes drops";
    Drop({Wide(files.scratch / "single.jpg"), Wide(files.folder)});
    // In drop order, the folder's pictures sorted by name, each new row on top.
    const std::vector<std::wstring> expected = {Wide(files.folder / "b.jpg"), Wide(files.folder / "A-scan.dat"),
                                                Wide(files.scratch / "single.jpg")};
    EXPECT_EQ(Rows(dialog.Pictures()), expected);
    ASSERT_TRUE(PumpUntil([&] { return dialog.Pictures().SizeTextAt(2) == L"16*12"; })) << "sizes are probed";
    EXPECT_TRUE(PumpUntil([&] { return dialog.Pictures().SizeTextAt(1) == L"20*10"; }));

    Drop({Wide(files.folder / "B.JPG"), Wide(files.folder)});
    EXPECT_EQ(Rows(dialog.Pictures()), expected) << "duplicates ignoring case are skipped";
}

TEST(StartupPictures, TheListStartsWithTheCommandLinePictures)
{
    DropFolder files;
    FakeShellServices shell;
    vx::app::MainDialog dialog{GetModuleHandleW(nullptr), shell, nullptr};
    dialog.SetStartupPictures({Wide(files.scratch / "single.jpg"), Wide(files.folder)});
    ASSERT_TRUE(dialog.Create());
    EXPECT_EQ(Rows(dialog.Pictures()), (std::vector<std::wstring>{Wide(files.folder / "b.jpg"),
                                                                  Wide(files.folder / "A-scan.dat"),
                                                                  Wide(files.scratch / "single.jpg")}));
    EXPECT_TRUE(PumpUntil([&] { return dialog.Pictures().SizeTextAt(0) == L"40*30"; }));
    DestroyWindow(dialog.Handle());
    PumpMessages(0);
}

} // namespace
