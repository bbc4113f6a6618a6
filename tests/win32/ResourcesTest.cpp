// The program's resources as the running main dialog shows them: the hidden tabs and the list
// columns made at start-up (their headers from the string table), its icons and the common
// controls of version 6 bound by the manifest.
#include "app/MainDialog.h"
#include "app/resource.h"
#include "tests/win32/MainDialogFixture.h"

#include <commctrl.h>
#include <uxtheme.h>

#include <gtest/gtest.h>

#include <utility>

namespace {

// The running dialog: laid out from the template, with tabs, list columns and icons added
// at start-up and buttons themed by the common controls of version 6.
using RunningMainDialog = vx::test::MainDialogFixture;

TEST_F(RunningMainDialog, MatchesTheResources)
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

} // namespace
