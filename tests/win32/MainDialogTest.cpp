// The main dialog driven in-process: default destination, the picture list (order,
// duplicates, type column, probed sizes, Delete/Clear), the destination browser and
// explore, a full run over the batch runner, the empty-destination prompt, closing during
// a run, and the exit codes of Enter, Esc and the close box through the real start-up.
#include "app/Application.h"
#include "app/MainDialog.h"
#include "app/resource.h"
#include "image/VxImage.h"
#include "tests/support/TestSupport.h"
#include "tests/win32/Win32TestSupport.h"

#include <commctrl.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <mutex>
#include <vector>

namespace {

namespace fs = std::filesystem;
using vx::test::FakeShellServices;
using vx::test::ModalBoxCloser;
using vx::test::PumpMessages;
using vx::test::PumpUntil;
using vx::test::ScratchDir;
using vx::test::Wide;

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

class MainDialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dialog.Create());
        window = dialog.Handle();
        ShowWindow(window, SW_SHOW);
        PumpMessages(0);
    }
    void TearDown() override
    {
        if (IsWindow(window))
            DestroyWindow(window);
        PumpMessages(0);
    }

    void Click(int id) { SendMessageW(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }

    std::vector<std::wstring> Rows() const
    {
        std::vector<std::wstring> rows;
        for (int i = 0; i < dialog.Pictures().Count(); ++i)
            rows.push_back(dialog.Pictures().PathAt(i));
        return rows;
    }

    std::vector<std::wstring> LogLines() const
    {
        HWND log = GetDlgItem(window, IDC_LOG_PANE);
        std::vector<std::wstring> lines;
        const auto count = static_cast<int>(SendMessageW(log, LB_GETCOUNT, 0, 0));
        for (int i = 0; i < count; ++i) {
            std::wstring line(static_cast<size_t>(SendMessageW(log, LB_GETTEXTLEN, i, 0)) + 1, L'\0');
            line.resize(static_cast<size_t>(SendMessageW(log, LB_GETTEXT, i, reinterpret_cast<LPARAM>(line.data()))));
            lines.push_back(line);
        }
        return lines;
    }

    bool AllSizesShown() const
    {
        for (int i = 0; i < dialog.Pictures().Count(); ++i) {
            if (dialog.Pictures().SizeTextAt(i).empty())
                return false;
        }
        return true;
    }

    void SetDestination(const std::wstring& path) { SetDlgItemTextW(window, IDC_DEST_PATH, path.c_str()); }

    void AddThreePictures(const ScratchDir& scratch, int width, int height)
    {
        for (const char* name : {"a.jpg", "b.jpg", "c.jpg"})
            ASSERT_TRUE(vx::test::WritePicture(scratch / name, width, height, kVxTypeJpg));
        shell.SelectMany(Wide(scratch.Path()), {L"a.jpg", L"b.jpg", L"c.jpg"});
        Click(IDC_ADD_PICTURES);
    }

    FakeShellServices shell;
    vx::app::MainDialog dialog{GetModuleHandleW(nullptr), shell, nullptr};
    HWND window = nullptr;
};

TEST_F(MainDialogTest, DefaultDestinationIsProgramDirectoryPlusSmall)
{
    wchar_t program[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, program, MAX_PATH);
    const std::wstring expected = fs::path(program).parent_path().wstring() + L"\\small";
    wchar_t shown[MAX_PATH] = {};
    GetDlgItemTextW(window, IDC_DEST_PATH, shown, MAX_PATH);
    EXPECT_EQ(std::wstring(shown), expected);
    EXPECT_EQ(std::wstring(dialog.DestPath()), expected);
    EXPECT_FALSE(fs::exists(fs::path(expected))) << "created only at Start";
}

TEST_F(MainDialogTest, DialogIsCentredInTheWorkArea)
{
    RECT area;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    RECT self;
    GetWindowRect(window, &self);
    const LONG w = self.right - self.left;
    const LONG h = self.bottom - self.top;
    EXPECT_EQ(self.left, (area.left + area.right) / 2 - w / 2);
    EXPECT_EQ(self.top, (area.top + area.bottom) / 2 - h / 2);
}

TEST_F(MainDialogTest, SelectionGoesOnTopInReverseOrderWithTypeAndSizes)
{
    ScratchDir scratch;
    ASSERT_TRUE(vx::test::WritePicture(scratch / "first.jpg", 64, 48, kVxTypeJpg));
    shell.SelectSingle(Wide(scratch / "first.jpg"));
    Click(IDC_ADD_PICTURES);
    AddThreePictures(scratch, 80, 60);
    EXPECT_EQ(shell.lastCapacity, 50120u);

    const std::vector<std::wstring> expected = {Wide(scratch / "c.jpg"), Wide(scratch / "b.jpg"),
                                                Wide(scratch / "a.jpg"), Wide(scratch / "first.jpg")};
    EXPECT_EQ(Rows(), expected);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(dialog.Pictures().TypeAt(i), L"jpg");
    ASSERT_TRUE(PumpUntil([&] { return AllSizesShown(); }));
    EXPECT_EQ(dialog.Pictures().SizeTextAt(0), L"80*60");
    EXPECT_EQ(dialog.Pictures().SizeTextAt(3), L"64*48");
}

TEST_F(MainDialogTest, DuplicatesIgnoringCaseAreSkipped)
{
    ScratchDir scratch;
    AddThreePictures(scratch, 40, 30);
    std::wstring upper = Wide(scratch / "A.JPG");
    shell.SelectSingle(upper);
    Click(IDC_ADD_PICTURES);
    EXPECT_EQ(Rows().size(), 3u);
    EXPECT_TRUE(dialog.Pictures().Contains(upper.c_str()));
    EXPECT_FALSE(dialog.Pictures().Contains(L""));
}

TEST_F(MainDialogTest, UndecodablePictureShowsZeroSize)
{
    ScratchDir scratch;
    vx::test::WriteFileBytes(scratch / "broken.jpg", {'n', 'o', 't', ' ', 'a', ' ', 'p', 'i', 'c'});
    ASSERT_TRUE(vx::test::WritePicture(scratch / "good.jpg", 24, 18, kVxTypeJpg));
    shell.SelectMany(Wide(scratch.Path()), {L"broken.jpg", L"good.jpg"});
    Click(IDC_ADD_PICTURES);
    ASSERT_TRUE(PumpUntil([&] { return AllSizesShown(); }));
    EXPECT_EQ(dialog.Pictures().PathAt(1), Wide(scratch / "broken.jpg"));
    EXPECT_EQ(dialog.Pictures().SizeTextAt(1), L"0*0");
    EXPECT_EQ(dialog.Pictures().SizeTextAt(0), L"24*18");
}

TEST_F(MainDialogTest, OtherFormatUnderJpgNameShowsItsSize)
{
    ScratchDir scratch;
    if (!vx::test::WritePicture(scratch / "bitmap.jpg", 33, 21, kVxTypeBmp))
        GTEST_SKIP() << "this build writes no BMP files";
    shell.SelectSingle(Wide(scratch / "bitmap.jpg"));
    Click(IDC_ADD_PICTURES);
    ASSERT_TRUE(PumpUntil([&] { return AllSizesShown(); }));
    EXPECT_EQ(dialog.Pictures().SizeTextAt(0), L"33*21");
}

TEST_F(MainDialogTest, SizesFollowTheirPicturesWhenRowsMove)
{
    ScratchDir scratch;
    ASSERT_TRUE(vx::test::WritePicture(scratch / "wide.jpg", 120, 20, kVxTypeJpg));
    ASSERT_TRUE(vx::test::WritePicture(scratch / "tall.jpg", 20, 90, kVxTypeJpg));
    shell.SelectSingle(Wide(scratch / "wide.jpg"));
    Click(IDC_ADD_PICTURES);
    // Rows shift under the first probe: the second add inserts above it at once.
    shell.SelectSingle(Wide(scratch / "tall.jpg"));
    Click(IDC_ADD_PICTURES);
    ASSERT_TRUE(PumpUntil([&] { return AllSizesShown(); }));
    PumpMessages(200);
    EXPECT_EQ(dialog.Pictures().PathAt(0), Wide(scratch / "tall.jpg"));
    EXPECT_EQ(dialog.Pictures().SizeTextAt(0), L"20*90");
    EXPECT_EQ(dialog.Pictures().SizeTextAt(1), L"120*20");
}

TEST_F(MainDialogTest, CancelledDialogAddsNothingButProbesAgain)
{
    ScratchDir scratch;
    AddThreePictures(scratch, 16, 12);
    ASSERT_TRUE(PumpUntil([&] { return AllSizesShown(); }));
    ListView_SetItemText(dialog.Pictures().Handle(), 0, 1, const_cast<wchar_t*>(L""));
    shell.CancelNextSelection();
    Click(IDC_ADD_PICTURES);
    EXPECT_EQ(Rows().size(), 3u);
    EXPECT_TRUE(PumpUntil([&] { return AllSizesShown(); })) << "every add probes every row again";
}

TEST_F(MainDialogTest, DeleteRemovesOnlyTheSelectedRowAndClearEmpties)
{
    ScratchDir scratch;
    AddThreePictures(scratch, 16, 12);
    Click(IDC_DELETE);
    EXPECT_EQ(Rows().size(), 3u) << "no selection, nothing deleted";

    ListView_SetItemState(dialog.Pictures().Handle(), 1, LVIS_SELECTED, LVIS_SELECTED);
    Click(IDC_DELETE);
    const std::vector<std::wstring> expected = {Wide(scratch / "c.jpg"), Wide(scratch / "a.jpg")};
    EXPECT_EQ(Rows(), expected);

    Click(IDC_CLEAR_PICTURES);
    EXPECT_TRUE(Rows().empty());
    PumpMessages(100); // probes still running find no rows to write to
}

TEST_F(MainDialogTest, BrowserReplacesDestinationAndCancelKeepsIt)
{
    shell.ChooseFolderNext(L"C:\\Pictures\\Out");
    Click(IDC_BROWSE);
    wchar_t shown[MAX_PATH] = {};
    GetDlgItemTextW(window, IDC_DEST_PATH, shown, MAX_PATH);
    EXPECT_STREQ(shown, L"C:\\Pictures\\Out");

    shell.ChooseFolderNext(L"");
    Click(IDC_BROWSE);
    GetDlgItemTextW(window, IDC_DEST_PATH, shown, MAX_PATH);
    EXPECT_STREQ(shown, L"C:\\Pictures\\Out");
    EXPECT_STREQ(dialog.DestPath(), L"C:\\Pictures\\Out");

    Click(IDC_EXPLORE);
    ASSERT_EQ(shell.explored.size(), 1u);
    EXPECT_EQ(shell.explored[0], L"C:\\Pictures\\Out");
}

TEST_F(MainDialogTest, DestinationEditIsReadOnly)
{
    HWND edit = GetDlgItem(window, IDC_DEST_PATH);
    const std::wstring before = dialog.DestPath();
    SetFocus(edit);
    SendMessageW(edit, WM_CHAR, L'x', 0);
    wchar_t shown[MAX_PATH] = {};
    GetWindowTextW(edit, shown, MAX_PATH);
    EXPECT_EQ(std::wstring(shown), before);
}

TEST_F(MainDialogTest, FullRunWritesHalfSizeMarkedPictures)
{
    ScratchDir scratch;
    AddThreePictures(scratch, 320, 240);
    const fs::path out = scratch / "out";
    SetDestination(Wide(out));
    SetDlgItemTextW(window, IDC_MARK, L"MMMM");

    ProgressRecorder progress;
    ASSERT_TRUE(progress.Subclass(GetDlgItem(window, IDC_PROGRESS)));
    HWND start = GetDlgItem(window, IDC_START);
    Click(IDC_START);
    EXPECT_FALSE(IsWindowEnabled(start)) << "disabled while the run goes on";
    ASSERT_TRUE(PumpUntil([&] { return IsWindowEnabled(start) && !dialog.Runner().IsRunning(); }));

    const std::vector<std::wstring> expectedLog = {L"Start resize,selCount=3,groups=0,nLeave=3\n",
                                                   L"Begin to resize:3", L"Resize 3 Pictures Finished!"};
    EXPECT_EQ(LogLines(), expectedLog);
    HWND log = GetDlgItem(window, IDC_LOG_PANE);
    EXPECT_EQ(SendMessageW(log, LB_GETCURSEL, 0, 0), 2) << "the newest line is selected";

    const std::vector<int> expectedPositions = {0, 0, 33, 66, 100, 0};
    EXPECT_EQ(progress.Positions(), expectedPositions);
    EXPECT_EQ(SendMessageW(GetDlgItem(window, IDC_PROGRESS), PBM_GETPOS, 0, 0), 0);
    EXPECT_EQ(SendMessageW(GetDlgItem(window, IDC_PROGRESS), PBM_GETRANGE, FALSE, 0), 100);

    for (const char* name : {"a.jpg", "b.jpg", "c.jpg"}) {
        SCOPED_TRACE(name);
        const vx::test::PictureFacts facts = vx::test::InspectPicture(out / name, 30, 20, 160, 52);
        ASSERT_TRUE(facts.loaded);
        EXPECT_EQ(facts.width, 160);
        EXPECT_EQ(facts.height, 120);
        EXPECT_GT(facts.maxRedness, 100) << "the red mark";
        const vx::test::PictureFacts below = vx::test::InspectPicture(out / name, 0, 70, 160, 120);
        EXPECT_LT(below.maxRedness, 0) << "nothing red away from the mark";
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(out), fs::directory_iterator()), 3);
}

TEST_F(MainDialogTest, EmptyDestinationShowsThePromptAndCreatesNothing)
{
    ScratchDir scratch;
    AddThreePictures(scratch, 16, 12);
    SetDestination(L"");
    ModalBoxCloser closer(window, IDOK);
    Click(IDC_START);
    ASSERT_TRUE(closer.Seen().found);
    EXPECT_EQ(closer.Seen().caption, L"Tips");
    EXPECT_EQ(closer.Seen().text, L"Please Select Destination Path First!");
    EXPECT_EQ(closer.Seen().owner, window);
    EXPECT_EQ(GetFocus(), GetDlgItem(window, IDC_DEST_PATH));
    EXPECT_TRUE(LogLines().empty());
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(window, IDC_START)));
}

TEST_F(MainDialogTest, EmptyListCreatesDestinationButLogsNothing)
{
    ScratchDir scratch;
    const fs::path out = scratch / "made";
    SetDestination(Wide(out));
    Click(IDC_START);
    EXPECT_TRUE(fs::is_directory(out));
    EXPECT_TRUE(LogLines().empty());
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(window, IDC_START)));
}

TEST_F(MainDialogTest, ClosingDuringARunStopsItFirst)
{
    ScratchDir scratch;
    std::vector<std::wstring> names;
    for (int i = 0; i < 6; ++i) {
        const std::wstring name = L"big" + std::to_wstring(i) + L".jpg";
        ASSERT_TRUE(vx::test::WritePicture(scratch.Path() / name, 1600, 1200, kVxTypeJpg));
        names.push_back(name);
    }
    shell.SelectMany(Wide(scratch.Path()), names);
    Click(IDC_ADD_PICTURES);
    const fs::path out = scratch / "out";
    SetDestination(Wide(out));
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
        const vx::test::PictureFacts facts = vx::test::InspectPicture(entry.path(), 0, 0, 0, 0);
        EXPECT_TRUE(facts.loaded);
        EXPECT_EQ(facts.width, 800);
    }
}

TEST_F(MainDialogTest, ClearLogsResetsTheExtent)
{
    vx::app::LogPane& log = dialog.Log();
    HWND list = GetDlgItem(window, IDC_LOG_PANE);
    log.AppendLog(L"%ls", std::wstring(200, L'W').c_str());
    const int wide = log.MaxExtent();
    EXPECT_GT(wide, 0);
    EXPECT_EQ(SendMessageW(list, LB_GETHORIZONTALEXTENT, 0, 0), wide);

    Click(IDC_CLEAR_LOGS);
    EXPECT_EQ(SendMessageW(list, LB_GETCOUNT, 0, 0), 0);
    EXPECT_EQ(log.MaxExtent(), 0);

    log.AppendLog(L"short");
    EXPECT_GT(log.MaxExtent(), 0);
    EXPECT_LT(log.MaxExtent(), wide);
    EXPECT_EQ(SendMessageW(list, LB_GETHORIZONTALEXTENT, 0, 0), log.MaxExtent());
}

// Runs the whole program in this thread and feeds it one message once its window is up.
int RunProgramAndPost(UINT message, WPARAM wParam, bool toMarkEdit)
{
    static UINT s_message;
    static WPARAM s_wParam;
    static bool s_toMarkEdit;
    s_message = message;
    s_wParam = wParam;
    s_toMarkEdit = toMarkEdit;
    const UINT_PTR timer = SetTimer(nullptr, 0, 50, [](HWND, UINT, UINT_PTR id, DWORD) {
        // This thread's own main window: other test processes may show one too.
        HWND main = nullptr;
        EnumThreadWindows(
            GetCurrentThreadId(),
            [](HWND window, LPARAM found) -> BOOL {
                wchar_t caption[64] = {};
                GetWindowTextW(window, caption, 64);
                if (IsWindowVisible(window) && lstrcmpW(caption, L"Batch Pictures Resize,Add Marker Tool") == 0) {
                    *reinterpret_cast<HWND*>(found) = window;
                    return FALSE;
                }
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&main));
        if (!main)
            return;
        KillTimer(nullptr, id);
        HWND target = main;
        if (s_toMarkEdit) {
            target = GetDlgItem(main, IDC_MARK);
            SetFocus(target);
        }
        PostMessageW(target, s_message, s_wParam, 0);
    });
    FakeShellServices shell;
    const int code = vx::app::RunVantry(GetModuleHandleW(nullptr), SW_SHOWNORMAL, shell);
    KillTimer(nullptr, timer);
    return code;
}

TEST(Program, EnterInTheMarkEditExitsWithOne)
{
    EXPECT_EQ(RunProgramAndPost(WM_KEYDOWN, VK_RETURN, true), 1);
}

TEST(Program, EscapeExitsWithTwo)
{
    EXPECT_EQ(RunProgramAndPost(WM_KEYDOWN, VK_ESCAPE, true), 2);
}

TEST(Program, CloseBoxExitsWithTwo)
{
    EXPECT_EQ(RunProgramAndPost(WM_SYSCOMMAND, SC_CLOSE, false), 2);
}

} // namespace
