// The program's resources: the running main dialog against a table of its controls (id, text,
// visibility), its tabs and list columns (their headers from the string table), its icons and
// the common controls of version 6 bound by the manifest.
#include "app/MainDialog.h"
#include "app/resource.h"
#include "tests/win32/MainDialogFixture.h"

#include <commctrl.h>
#include <uxtheme.h>

#include <gtest/gtest.h>

#include <utility>

namespace {

// The controls in template order with their texts (null: the default destination).
const std::pair<int, const wchar_t*> kMainControls[] = {
    {IDC_ABOUT, L"&About..."}, {IDC_LOG_PANE, L""}, {IDC_CLEAR_LOGS, L"Clear Logs"}, {IDC_PICTURE_LIST, L""},
    {IDC_ADD_PICTURES, L"3.Open(Add) Picture File"}, {IDC_START, L"4.Start Resize"}, {IDC_PROGRESS, L""},
    {IDC_HIDDEN_TABS, L""}, {-1, L"How to Use:"}, {IDC_EXPLORE, L"5.Open Destination Path to See Result"},
    {-1, L"1.Input Mark(Can be Null):"},
    {-1, L"3.Open Pictures Directory\u30024.Click Start Button\u30025.Open the Destination Path to See Result"},
    {IDC_MARK, L""}, {IDC_DELETE, L"Delete"}, {IDC_CLEAR_PICTURES, L"Clear Pictures List"},
    {-1, L"2.Select Destination Path:"}, {IDC_DEST_PATH, nullptr}, {IDC_BROWSE, L"..."},
};

// The running dialog: laid out from the template, with tabs, list columns and icons added
// at start-up and buttons themed by the common controls of version 6.
using RunningMainDialog = vx::test::MainDialogFixture;

TEST_F(RunningMainDialog, MatchesTheResources)
{
    wchar_t caption[64] = {};
    GetWindowTextW(window, caption, 64);
    EXPECT_STREQ(caption, L"Batch Pictures Resize,Add Marker Tool");
    HWND child = GetWindow(window, GW_CHILD);
    for (const auto& [id, want] : kMainControls) {
        ASSERT_NE(child, nullptr) << "missing control " << id;
        EXPECT_EQ(static_cast<UINT>(GetDlgCtrlID(child)) & 0xFFFF, static_cast<UINT>(id) & 0xFFFF);
        EXPECT_EQ((GetWindowLongW(child, GWL_STYLE) & WS_VISIBLE) != 0, id != IDC_HIDDEN_TABS) << id;
        wchar_t text[128] = {};
        GetWindowTextW(child, text, 128);
        if (want) {
            EXPECT_STREQ(text, want);
        }
        child = GetWindow(child, GW_HWNDNEXT);
    }
    EXPECT_EQ(child, nullptr) << "more controls than the template table";
    // Long log lines scroll sideways: a list box shows a horizontal scroll bar for a wide extent
    // only when its template asked for one.
    HWND log = GetDlgItem(window, IDC_LOG_PANE);
    SendMessageW(log, LB_SETHORIZONTALEXTENT, 5000, 0);
    EXPECT_NE(GetWindowLongW(log, GWL_STYLE) & WS_HSCROLL, 0);

    HWND tabs = GetDlgItem(window, IDC_HIDDEN_TABS);
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

} // namespace
