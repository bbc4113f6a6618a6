// The main dialog driven in-process: default destination and placement, the picture list
// (order, duplicates, type column, probed sizes, Delete/Clear), the destination browser and
// explore, a full run over the batch runner, the empty-destination prompt, closing during a
// run, and the exit codes of Enter, Esc and the close box through the real start-up.
#include "app/MainDialog.h"
#include "app/Application.h"
#include "app/resource.h"
#include "image/VxImage.h"
#include "tests/support/TestSupport.h"
#include "tests/win32/MainDialogFixture.h"
#include "tests/win32/Win32TestSupport.h"

#include <commctrl.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <mutex>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace vx::test;

// Records every position the progress bar is given, from whichever thread.
class ProgressRecorder : public vx::ui::SubclassedWindow {
public:
    std::vector<int> Positions()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_positions;
    }

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message == PBM_SETPOS) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_positions.push_back(static_cast<int>(wParam));
        }
        return CallPrevious(message, wParam, lParam);
    }

private:
    std::mutex m_mutex;
    std::vector<int> m_positions;
};

class MainDialogTest : public MainDialogFixture {
protected:
    const vx::app::PictureList& List() const { return dialog.Pictures(); }

    std::vector<std::wstring> Rows() const
    {
        std::vector<std::wstring> rows;
        for (int i = 0; i < List().Count(); ++i)
            rows.push_back(List().PathAt(i));
        return rows;
    }

    std::vector<std::wstring> LogLines() const
    {
        HWND log = GetDlgItem(window, IDC_LOG_PANE);
        std::vector<std::wstring> lines;
        for (int i = 0; i < SendMessageW(log, LB_GETCOUNT, 0, 0); ++i) {
            std::wstring line(static_cast<size_t>(SendMessageW(log, LB_GETTEXTLEN, i, 0)) + 1, L'\0');
            line.resize(static_cast<size_t>(SendMessageW(log, LB_GETTEXT, i, reinterpret_cast<LPARAM>(line.data()))));
            lines.push_back(line);
        }
        return lines;
    }

    bool WaitForSizes() const
    {
        return PumpUntil([this] {
            for (int i = 0; i < List().Count(); ++i)
                if (List().SizeTextAt(i).empty())
                    return false;
            return true;
        });
    }

    std::wstring Destination() const
    {
        wchar_t shown[MAX_PATH] = {};
        GetDlgItemTextW(window, IDC_DEST_PATH, shown, MAX_PATH);
        return shown;
    }
    void SetDestination(const fs::path& path) { SetDlgItemTextW(window, IDC_DEST_PATH, path.c_str()); }

    // Writes a.jpg, b.jpg and c.jpg of the given size and adds them in one selection.
    void AddThreePictures(const ScratchDir& scratch, int width, int height)
    {
        for (const char* name : {"a.jpg", "b.jpg", "c.jpg"})
            ASSERT_TRUE(WritePicture(scratch / name, width, height, kVxTypeJpg));
        shell.Select(Wide(scratch.Path()), {L"a.jpg", L"b.jpg", L"c.jpg"});
        Click(IDC_ADD_PICTURES);
    }
};

TEST_F(MainDialogTest, StartsCentredWithProgramDirectoryPlusSmall)
{
    wchar_t program[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, program, MAX_PATH);
    const std::wstring expected = fs::path(program).parent_path().wstring() + L"\\small";
    EXPECT_EQ(Destination(), expected);
    EXPECT_EQ(std::wstring(dialog.DestPath()), expected);
    EXPECT_FALSE(fs::exists(fs::path(expected))) << "created only at Start";

    RECT area, self;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    GetWindowRect(window, &self);
    EXPECT_EQ(self.left, (area.left + area.right) / 2 - (self.right - self.left) / 2);
    EXPECT_EQ(self.top, (area.top + area.bottom) / 2 - (self.bottom - self.top) / 2);
}

TEST_F(MainDialogTest, SelectionGoesOnTopInReverseOrderAndDuplicatesIgnoringCaseAreSkipped)
{
    ScratchDir scratch;
    ASSERT_TRUE(WritePicture(scratch / "first.jpg", 64, 48, kVxTypeJpg));
    shell.Select(Wide(scratch / "first.jpg"));
    Click(IDC_ADD_PICTURES);
    AddThreePictures(scratch, 80, 60);
    EXPECT_EQ(shell.lastCapacity, 50120u);

    const std::vector<std::wstring> expected = {Wide(scratch / "c.jpg"), Wide(scratch / "b.jpg"),
                                                Wide(scratch / "a.jpg"), Wide(scratch / "first.jpg")};
    EXPECT_EQ(Rows(), expected);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(List().TypeAt(i), L"jpg");
    ASSERT_TRUE(WaitForSizes());
    EXPECT_EQ(List().SizeTextAt(0), L"80*60");
    EXPECT_EQ(List().SizeTextAt(3), L"64*48");

    shell.Select(Wide(scratch / "A.JPG"));
    Click(IDC_ADD_PICTURES);
    shell.Select(Wide(scratch.Path()), {L"B.jpg", L"first.JPG"});
    Click(IDC_ADD_PICTURES);
    EXPECT_EQ(Rows(), expected);
    EXPECT_FALSE(List().Contains(L""));
}

TEST_F(MainDialogTest, ProbedSizesAreZeroForUndecodableFilesAndFollowTheContentNotTheName)
{
    ScratchDir scratch;
    WriteFileBytes(scratch / "broken.jpg", {'n', 'o', 't', ' ', 'a', ' ', 'p', 'i', 'c'});
    ASSERT_TRUE(WritePicture(scratch / "good.jpg", 24, 18, kVxTypeJpg));
    ASSERT_TRUE(WritePicture(scratch / "bitmap.jpg", 33, 21, kVxTypeBmp)); // another format under a .jpg name
    shell.Select(Wide(scratch.Path()), {L"broken.jpg", L"good.jpg", L"bitmap.jpg"});
    Click(IDC_ADD_PICTURES);
    ASSERT_TRUE(WaitForSizes());
    ASSERT_EQ(List().Count(), 3); // listed in reverse order
    EXPECT_EQ(List().PathAt(2), Wide(scratch / "broken.jpg"));
    EXPECT_EQ(List().SizeTextAt(2), L"0*0");
    EXPECT_EQ(List().SizeTextAt(1), L"24*18");
    EXPECT_EQ(List().SizeTextAt(0), L"33*21");
}

TEST_F(MainDialogTest, SizesFollowTheirPicturesWhenRowsMove)
{
    ScratchDir scratch;
    ASSERT_TRUE(WritePicture(scratch / "wide.jpg", 120, 20, kVxTypeJpg));
    ASSERT_TRUE(WritePicture(scratch / "tall.jpg", 20, 90, kVxTypeJpg));
    shell.Select(Wide(scratch / "wide.jpg"));
    Click(IDC_ADD_PICTURES);
    // Rows shift under the first probe: the second add inserts above it at once.
    shell.Select(Wide(scratch / "tall.jpg"));
    Click(IDC_ADD_PICTURES);
    ASSERT_TRUE(WaitForSizes());
    PumpMessages(200);
    EXPECT_EQ(List().PathAt(0), Wide(scratch / "tall.jpg"));
    EXPECT_EQ(List().SizeTextAt(0), L"20*90");
    EXPECT_EQ(List().SizeTextAt(1), L"120*20");
}

TEST_F(MainDialogTest, CancelledAddProbesAgainDeleteTakesTheSelectedRowClearEmpties)
{
    ScratchDir scratch;
    AddThreePictures(scratch, 16, 12);
    ASSERT_TRUE(WaitForSizes());
    ListView_SetItemText(List().Handle(), 0, 1, const_cast<wchar_t*>(L""));
    Click(IDC_ADD_PICTURES); // nothing selected: the dialog is cancelled
    EXPECT_EQ(Rows().size(), 3u);
    EXPECT_TRUE(WaitForSizes()) << "every add probes every row again";

    Click(IDC_DELETE);
    EXPECT_EQ(Rows().size(), 3u) << "no selection, nothing deleted";
    ListView_SetItemState(List().Handle(), 1, LVIS_SELECTED, LVIS_SELECTED);
    Click(IDC_DELETE);
    EXPECT_EQ(Rows(), (std::vector<std::wstring>{Wide(scratch / "c.jpg"), Wide(scratch / "a.jpg")}));
    ListView_SetItemState(List().Handle(), 0, LVIS_SELECTED, LVIS_SELECTED);
    SendMessageW(List().Handle(), WM_KEYDOWN, VK_DELETE, 0);
    EXPECT_EQ(Rows(), std::vector<std::wstring>{Wide(scratch / "a.jpg")}) << "the Delete key on the list";

    Click(IDC_CLEAR_PICTURES);
    EXPECT_TRUE(Rows().empty());
    PumpMessages(100); // probes still running find no rows to write to
}

TEST_F(MainDialogTest, BrowserReplacesDestinationCancelKeepsItExploreOpensIt)
{
    shell.folder = L"C:\\Pictures\\Out";
    Click(IDC_BROWSE);
    EXPECT_EQ(Destination(), L"C:\\Pictures\\Out");
    shell.folder.clear();
    Click(IDC_BROWSE);
    EXPECT_EQ(Destination(), L"C:\\Pictures\\Out");
    EXPECT_STREQ(dialog.DestPath(), L"C:\\Pictures\\Out");

    Click(IDC_EXPLORE);
    EXPECT_EQ(shell.explored, std::vector<std::wstring>{L"C:\\Pictures\\Out"});
}

TEST_F(MainDialogTest, FullRunWritesHalfSizeMarkedPictures)
{
    ScratchDir scratch;
    AddThreePictures(scratch, 320, 240);
    const fs::path out = scratch / "out";
    SetDestination(out);
    SetDlgItemTextW(window, IDC_MARK, L"MMMM");

    ProgressRecorder progress;
    ASSERT_TRUE(progress.Subclass(GetDlgItem(window, IDC_PROGRESS)));
    HWND start = GetDlgItem(window, IDC_START);
    SetFocus(start);
    Click(IDC_START);
    EXPECT_FALSE(IsWindowEnabled(start)) << "disabled while the run goes on";
    EXPECT_EQ(GetFocus(), GetDlgItem(window, IDC_EXPLORE)) << "the focus moved on to the next tab stop";
    ASSERT_TRUE(PumpUntil([&] { return IsWindowEnabled(start) && !dialog.Runner().IsRunning(); }));

    const std::vector<std::wstring> expectedLog = {L"Start resize,selCount=3,groups=0,nLeave=3\n", L"Begin to resize:3",
                                                   L"Resize 3 Pictures Finished!"};
    EXPECT_EQ(LogLines(), expectedLog);
    HWND log = GetDlgItem(window, IDC_LOG_PANE);
    EXPECT_EQ(SendMessageW(log, LB_GETCURSEL, 0, 0), 2) << "the newest line is selected";
    EXPECT_EQ(progress.Positions(), (std::vector<int>{0, 0, 33, 66, 100, 0}));
    EXPECT_EQ(SendMessageW(GetDlgItem(window, IDC_PROGRESS), PBM_GETRANGE, FALSE, 0), 100);

    for (const char* name : {"a.jpg", "b.jpg", "c.jpg"}) {
        SCOPED_TRACE(name);
        const PictureFacts facts = InspectPicture(out / name, 30, 20, 160, 52);
        ASSERT_TRUE(facts.loaded);
        EXPECT_EQ(facts.width, 160);
        EXPECT_EQ(facts.height, 120);
        EXPECT_GT(facts.maxRedness, 100) << "the red mark";
        EXPECT_LT(InspectPicture(out / name, 0, 70, 160, 120).maxRedness, 0) << "nothing red away from the mark";
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(out), fs::directory_iterator()), 3);

    Click(IDC_CLEAR_LOGS);
    EXPECT_TRUE(LogLines().empty());
    EXPECT_EQ(dialog.Log().MaxExtent(), 0);
}

TEST_F(MainDialogTest, EmptyDestinationPromptsAndAnEmptyListOnlyCreatesTheFolder)
{
    ScratchDir scratch;
    AddThreePictures(scratch, 16, 12);
    SetDestination(L"");
    {
        ModalBoxCloser closer(window, IDOK);
        Click(IDC_START);
        ASSERT_TRUE(closer.Seen().found);
        EXPECT_EQ(closer.Seen().caption, L"Tips");
        EXPECT_EQ(closer.Seen().text, L"Please Select Destination Path First!");
        EXPECT_EQ(closer.Seen().owner, window);
    }
    EXPECT_EQ(GetFocus(), GetDlgItem(window, IDC_DEST_PATH));
    EXPECT_TRUE(LogLines().empty());
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(window, IDC_START)));

    Click(IDC_CLEAR_PICTURES);
    SetDestination(scratch / "made");
    Click(IDC_START);
    EXPECT_TRUE(fs::is_directory(scratch / "made"));
    EXPECT_TRUE(LogLines().empty());
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(window, IDC_START)));
}

TEST_F(MainDialogTest, ClosingDuringARunStopsItFirst)
{
    ScratchDir scratch;
    std::vector<std::wstring> names;
    for (int i = 0; i < 6; ++i) {
        names.push_back(L"big" + std::to_wstring(i) + L".jpg");
        ASSERT_TRUE(WritePicture(scratch.Path() / names.back(), 1600, 1200, kVxTypeJpg));
    }
    shell.Select(Wide(scratch.Path()), names);
    Click(IDC_ADD_PICTURES);
    const fs::path out = scratch / "out";
    SetDestination(out);
    Click(IDC_START);
    ASSERT_TRUE(dialog.Runner().IsRunning());

    Click(IDCANCEL);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_FALSE(dialog.Runner().IsRunning()) << "the worker ended before the window went away";
    MSG quit;
    ASSERT_TRUE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(quit.wParam, static_cast<WPARAM>(IDCANCEL));

    // Whatever was written is complete; nothing half-written is left behind.
    for (const auto& entry : fs::directory_iterator(out)) {
        SCOPED_TRACE(entry.path().string());
        EXPECT_EQ(entry.path().extension(), ".jpg");
        const PictureFacts facts = InspectPicture(entry.path(), 0, 0, 0, 0);
        EXPECT_TRUE(facts.loaded);
        EXPECT_EQ(facts.width, 800);
    }
}

// Runs the whole program in this thread and posts it one message once its window is up.
int RunProgramAndPost(UINT message, WPARAM wParam, bool toMarkEdit)
{
    static UINT s_message;
    static WPARAM s_wParam;
    static bool s_toMarkEdit;
    s_message = message, s_wParam = wParam, s_toMarkEdit = toMarkEdit;
    const UINT_PTR timer = SetTimer(nullptr, 0, 50, [](HWND, UINT, UINT_PTR id, DWORD) {
        // This thread's own main window: other test processes may show one too.
        HWND main = nullptr;
        EnumThreadWindows(
            GetCurrentThreadId(),
            [](HWND window, LPARAM found) -> BOOL {
                wchar_t caption[64] = {};
                GetWindowTextW(window, caption, 64);
                if (!IsWindowVisible(window) || lstrcmpW(caption, L"Batch Pictures Resize,Add Marker Tool") != 0)
                    return TRUE;
                *reinterpret_cast<HWND*>(found) = window;
                return FALSE;
            },
            reinterpret_cast<LPARAM>(&main));
        if (!main)
            return;
        KillTimer(nullptr, id);
        HWND target = main;
        if (s_toMarkEdit)
            SetFocus(target = GetDlgItem(main, IDC_MARK));
        PostMessageW(target, s_message, s_wParam, 0);
    });
    FakeShellServices shell;
    const int code = vx::app::RunVantry(GetModuleHandleW(nullptr), SW_SHOWNORMAL, shell);
    KillTimer(nullptr, timer);
    return code;
}

TEST(Program, ExitCodesOfEnterEscapeAndTheCloseBox)
{
    EXPECT_EQ(RunProgramAndPost(WM_KEYDOWN, VK_RETURN, true), 1) << "Enter in the mark edit";
    EXPECT_EQ(RunProgramAndPost(WM_KEYDOWN, VK_ESCAPE, true), 2) << "Escape";
    EXPECT_EQ(RunProgramAndPost(WM_SYSCOMMAND, SC_CLOSE, false), 2) << "the close box";
}

} // namespace
