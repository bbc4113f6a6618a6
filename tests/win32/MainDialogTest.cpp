// The main dialog driven in-process: default destination and placement, the picture list
// (order, type column, probed sizes, Delete/Clear), the log pane, the destination browser and
// explore, and the batch runner wired in: a run, the empty-destination prompt, closing during
// a run; its resources as it shows them (hidden tabs, list columns, icons, the common controls
// of version 6 bound by the manifest); the exit codes of Enter, Esc and the close box through
// the real start-up.
#include "app/MainDialog.h"
#include "app/Application.h"
#include "app/resource.h"
#include "image/VxImage.h"
#include "tests/support/TestSupport.h"
#include "tests/win32/MainDialogFixture.h"
#include "tests/win32/Win32TestSupport.h"

#include <commctrl.h>
#include <uxtheme.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <utility>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace vx::test;

class MainDialogTest : public MainDialogFixture {
protected:
    const vx::app::PictureList& List() const { return dialog.Pictures(); }
    std::vector<std::wstring> LogLines() const
    {
        HWND pane = GetDlgItem(window, IDC_LOG_PANE);
        std::vector<std::wstring> lines;
        for (int i = 0; i < SendMessageW(pane, LB_GETCOUNT, 0, 0); ++i) {
            std::wstring line(static_cast<size_t>(SendMessageW(pane, LB_GETTEXTLEN, i, 0)) + 1, L'\0');
            line.resize(static_cast<size_t>(SendMessageW(pane, LB_GETTEXT, i, reinterpret_cast<LPARAM>(line.data()))));
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
    void AddThreePictures(int width, int height)
    {
        for (const char* name : {"a.jpg", "b.jpg", "c.jpg"})
            ASSERT_TRUE(WritePicture(scratch / name, width, height));
        Add(scratch.Path(), {L"a.jpg", L"b.jpg", L"c.jpg"});
    }
};

// Centred, with the program's directory plus "small" as destination; the folder browser
// replaces it, a cancelled browser keeps it, explore opens it.
TEST_F(MainDialogTest, StartsCentredAndTheDestinationIsBrowsedAndExplored)
{
    wchar_t program[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, program, MAX_PATH);
    const std::wstring expected = fs::path(program).parent_path().wstring() + L"\\small";
    EXPECT_EQ(Destination(), expected);
    EXPECT_FALSE(fs::exists(fs::path(expected))) << "created only at Start";

    RECT area, self;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    GetWindowRect(window, &self);
    EXPECT_EQ(self.left, (area.left + area.right) / 2 - (self.right - self.left) / 2);
    EXPECT_EQ(self.top, (area.top + area.bottom) / 2 - (self.bottom - self.top) / 2);

    shell.folder = L"C:\\Pictures\\Out";
    Click(IDC_BROWSE);
    shell.folder.clear();
    Click(IDC_BROWSE);
    EXPECT_EQ(Destination(), L"C:\\Pictures\\Out");
    Click(IDC_EXPLORE);
    EXPECT_EQ(shell.explored, std::vector<std::wstring>{L"C:\\Pictures\\Out"});
}

// Each selection goes on top in reverse order (duplicates: the drop test, the same rules); a
// cancelled add probes every row again; Delete takes the selected row, Clear empties.
TEST_F(MainDialogTest, AddDeleteAndClearThePictureList)
{
    ASSERT_TRUE(WritePicture(scratch / "first.jpg", 64, 48));
    Add(scratch / "first.jpg");
    AddThreePictures(80, 60);
    EXPECT_EQ(shell.lastCapacity, 50120u);

    const std::vector<std::wstring> expected = {Wide(scratch / "c.jpg"), Wide(scratch / "b.jpg"),
                                                Wide(scratch / "a.jpg"), Wide(scratch / "first.jpg")};
    EXPECT_EQ(Rows(), expected);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(List().TypeAt(i), L"jpg");
    ASSERT_TRUE(WaitForSizes()); // which sizes on which rows: the test below

    ListView_SetItemText(List().Handle(), 0, 1, const_cast<wchar_t*>(L""));
    Click(IDC_ADD_PICTURES); // nothing selected: the dialog is cancelled
    EXPECT_EQ(Rows(), expected);
    EXPECT_TRUE(WaitForSizes()) << "every add probes every row again";

    Click(IDC_DELETE);
    EXPECT_EQ(Rows().size(), 4u) << "no selection, nothing deleted";
    ListView_SetItemState(List().Handle(), 1, LVIS_SELECTED, LVIS_SELECTED);
    Click(IDC_DELETE);
    EXPECT_EQ(Rows(), (std::vector<std::wstring>{expected[0], expected[2], expected[3]}));
    ListView_SetItemState(List().Handle(), 0, LVIS_SELECTED, LVIS_SELECTED);
    SendMessageW(List().Handle(), WM_KEYDOWN, VK_DELETE, 0);
    EXPECT_EQ(Rows(), (std::vector<std::wstring>{expected[2], expected[3]})) << "the Delete key on the list";

    Click(IDC_CLEAR_PICTURES);
    EXPECT_TRUE(Rows().empty());
    PumpMessages(100); // probes still running find no rows to write to
}

// Sizes are probed from the content, not the name, "0*0" for what cannot be decoded, and
// land on their own rows though the rows shift under the first probe (the second add inserts
// above it at once).
TEST_F(MainDialogTest, ProbedSizesFollowTheContentAndTheirRows)
{
    ASSERT_TRUE(WritePicture(scratch / "wide.jpg", 120, 20));
    WriteFileBytes(scratch / "broken.jpg", {'n', 'o', 't', ' ', 'a', ' ', 'p', 'i', 'c'});
    ASSERT_TRUE(WritePicture(scratch / "good.jpg", 24, 18));
    // A frame header of 20000 x 20000 pixels: readable as a header, refused by the decode.
    std::vector<std::uint8_t> huge = ReadFileBytes(scratch / "good.jpg");
    for (std::size_t i = 0; i + 9 < huge.size(); ++i)
        if (huge[i] == 0xFF && huge[i + 1] == 0xC0) {
            huge[i + 5] = huge[i + 7] = 20000 >> 8;
            huge[i + 6] = huge[i + 8] = 20000 & 0xFF;
            break;
        }
    WriteFileBytes(scratch / "huge.jpg", huge);
    ASSERT_TRUE(WritePicture(scratch / "bitmap.jpg", 33, 21, kVxTypeBmp)); // another format under a .jpg name
    Add(scratch / "wide.jpg");
    Add(scratch.Path(), {L"broken.jpg", L"good.jpg", L"huge.jpg", L"bitmap.jpg"});
    ASSERT_TRUE(WaitForSizes());
    PumpMessages(200);
    std::vector<std::wstring> sizes;
    for (int row = 0; row < List().Count(); ++row)
        sizes.push_back(List().SizeTextAt(row));
    EXPECT_EQ(Rows().back(), Wide(scratch / "wide.jpg"));
    EXPECT_EQ(sizes, (std::vector<std::wstring>{L"33*21", L"0*0", L"24*18", L"0*0", L"120*20"}));
}

// Lines are cut to 511 characters; the horizontal extent follows the widest line through
// adds and deletes; a pane without a list box appends nothing.
TEST_F(MainDialogTest, LogPaneCutsLongLinesAndMeasuresTheWidest)
{
    vx::app::LogPane& log = dialog.Log();
    HWND box = GetDlgItem(window, IDC_LOG_PANE);
    const auto extent = [box] { return SendMessageW(box, LB_GETHORIZONTALEXTENT, 0, 0); };
    log.AppendLog(L"%ls", std::wstring(700, L'x').c_str());
    EXPECT_EQ(LogLines(), std::vector<std::wstring>{std::wstring(511, L'x')});
    log.Clear();
    EXPECT_EQ(log.MaxExtent(), 0);
    EXPECT_TRUE(LogLines().empty());

    log.AppendLog(L"short");
    const LRESULT shortExtent = extent();
    EXPECT_GT(shortExtent, 3 * GetSystemMetrics(SM_CXBORDER));
    log.AppendLog(L"a much, much longer line of the log pane");
    const LRESULT longExtent = extent();
    EXPECT_GT(longExtent, shortExtent);
    log.AppendLog(L"mid");
    EXPECT_EQ(extent(), longExtent);
    SendMessageW(box, LB_DELETESTRING, 1, 0); // the widest: the rest are measured again
    EXPECT_EQ(extent(), shortExtent);

    vx::app::LogPane detached;
    EXPECT_EQ(detached.AppendLog(L"lost %d", 1), 0);
}

TEST_F(MainDialogTest, FullRunLogsAndProgressesInOrderAndPassesTheMark)
{
    AddThreePictures(320, 240);
    const fs::path out = scratch / "out";
    SetDestination(out);
    SetDlgItemTextW(window, IDC_MARK, L"MMMM");

    HWND start = GetDlgItem(window, IDC_START);
    SetFocus(start);
    Click(IDC_START);
    EXPECT_FALSE(IsWindowEnabled(start)) << "disabled while the run goes on";
    EXPECT_EQ(GetFocus(), GetDlgItem(window, IDC_EXPLORE)) << "the focus moved on to the next tab stop";
    ASSERT_TRUE(PumpUntil([&] { return IsWindowEnabled(start) && !dialog.Runner().IsRunning(); }));

    // The lines, positions and pictures themselves are the runner's, checked in its suite; here
    // its log reaches the pane, its range the bar, and the mark typed reaches the runner.
    EXPECT_EQ(LogLines().back(), L"Resize 3 Pictures Finished!");
    EXPECT_EQ(SendDlgItemMessageW(window, IDC_LOG_PANE, LB_GETCURSEL, 0, 0), 2) << "the newest line is selected";
    EXPECT_EQ(SendDlgItemMessageW(window, IDC_PROGRESS, PBM_GETRANGE, FALSE, 0), 100);
    EXPECT_GT(MaxRedness(VxImage(ToU16(out / "a.jpg").c_str(), kVxTypeJpg), 30, 20, 160, 52), 100);

    Click(IDC_CLEAR_LOGS);
    EXPECT_TRUE(LogLines().empty());
}

// The runner's messages become message boxes owned by the dialog (which ones, with what
// caption, and that nothing else happens: the runner's suite); the focus goes to the path.
TEST_F(MainDialogTest, EmptyDestinationPromptsInABoxOwnedByTheDialog)
{
    AddThreePictures(16, 12);
    SetDestination(L"");
    ModalBoxCloser closer(window, IDOK);
    Click(IDC_START);
    ASSERT_TRUE(closer.Seen().found);
    EXPECT_EQ(closer.Seen().text, L"Please Select Destination Path First!");
    EXPECT_EQ(closer.Seen().owner, window);
    EXPECT_EQ(GetFocus(), GetDlgItem(window, IDC_DEST_PATH));
}

TEST_F(MainDialogTest, ClosingDuringARunStopsItFirst)
{
    std::vector<std::wstring> names;
    for (int i = 0; i < 6; ++i) {
        names.push_back(L"big" + std::to_wstring(i) + L".jpg");
        ASSERT_TRUE(WritePicture(scratch.Path() / names.back(), 1600, 1200));
    }
    Add(scratch.Path(), names);
    SetDestination(scratch / "out");
    Click(IDC_START);
    ASSERT_TRUE(dialog.Runner().IsRunning());

    Click(IDCANCEL);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_FALSE(dialog.Runner().IsRunning()) << "the worker ended before the window went away";
    // What a cancelled run leaves behind is the runner's, checked in the batch suite; the exit
    // code, the program's test below.
}

// Laid out from the template, with tabs, list columns and icons added at start-up (their texts
// from the string table) and buttons themed by the common controls of version 6.
TEST_F(MainDialogTest, MatchesTheResources)
{
    // The template's own texts are not restated here; the caption finds the program's window
    // in the exit-code test, the controls' ids are those the other tests drive.
    // Long log lines scroll sideways: a list box shows a horizontal scroll bar for a wide extent
    // only when its template asked for one.
    HWND log = GetDlgItem(window, IDC_LOG_PANE);
    SendMessageW(log, LB_SETHORIZONTALEXTENT, 5000, 0);
    EXPECT_NE(GetWindowLongW(log, GWL_STYLE) & WS_HSCROLL, 0);

    HWND tabs = GetDlgItem(window, IDC_HIDDEN_TABS);
    EXPECT_EQ(GetWindowLongW(tabs, GWL_STYLE) & WS_VISIBLE, 0);
    EXPECT_EQ(SendMessageW(tabs, TCM_GETITEMCOUNT, 0, 0), 2);
    const wchar_t* tabTexts[] = {L"Dest Directory", L"Size Setting"};
    for (int i = 0; i < 2; ++i) {
        wchar_t text[64] = {};
        TCITEMW item{TCIF_TEXT | TCIF_PARAM, 0, 0, text, 64, 0, 7};
        SendMessageW(tabs, TCM_GETITEMW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
        EXPECT_STREQ(text, tabTexts[i]);
        EXPECT_EQ(item.lParam, 0);
    }

    HWND list = GetDlgItem(window, IDC_PICTURE_LIST);
    EXPECT_EQ(SendMessageW(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0) & 0x0420, 0x0420);
    const std::pair<const wchar_t*, int> columns[] = {{L"Picture File Name", 300}, {L"Origin Size", 100},
                                                      {L"Picture Type", 100}, {nullptr, 0}};
    for (int i = 0; i < 4; ++i) {
        wchar_t text[64] = {};
        LVCOLUMNW column{};
        column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT, column.pszText = text, column.cchTextMax = 64;
        const bool exists = SendMessageW(list, LVM_GETCOLUMNW, WPARAM(i), reinterpret_cast<LPARAM>(&column));
        EXPECT_EQ(exists, columns[i].first != nullptr) << "column " << i;
        if (!exists || !columns[i].first)
            break;
        EXPECT_STREQ(text, columns[i].first);
        EXPECT_EQ(column.cx, columns[i].second);
        EXPECT_EQ(column.fmt & LVCFMT_JUSTIFYMASK, LVCFMT_LEFT);
    }

    EXPECT_NE(SendMessageW(window, WM_GETICON, ICON_BIG, 0), 0);
    EXPECT_NE(SendMessageW(window, WM_GETICON, ICON_SMALL, 0), 0);
    // Version 6 is the one that themes buttons (Wine reports 5 through the version calls).
    EXPECT_NE(GetWindowTheme(GetDlgItem(window, IDC_START)), nullptr);
    EXPECT_TRUE(IsProcessDPIAware()) << "the manifest declares system DPI awareness";
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
        HWND main = FindThreadWindow(nullptr, L"Batch Pictures Resize,Add Marker Tool");
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
