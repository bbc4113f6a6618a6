// The program's resources: the running main dialog against a table of its controls (id,
// text, place, visibility), its tabs and list columns, the string table, the multi-size icon
// and the common controls of version 6 bound by the manifest.
#include "app/MainDialog.h"
#include "app/resource.h"
#include "tests/win32/Win32TestSupport.h"

#include <commctrl.h>
#include <uxtheme.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct ExpectedControl {
    int id;
    const wchar_t* text;
    RECT units; // x, y, width, height in dialog units
    bool hidden = false;
};

// clang-format off
const ExpectedControl kMainControls[] = {
    {IDC_ABOUT, L"&About...", {298, 224, 50, 14}},
    {IDC_LOG_PANE, L"", {7, 190, 341, 32}},
    {IDC_CLEAR_LOGS, L"Clear Logs", {5, 225, 50, 14}},
    {IDC_PICTURE_LIST, L"", {7, 75, 341, 94}},
    {IDC_ADD_PICTURES, L"3.Open(Add) Picture File", {7, 57, 122, 14}},
    {IDC_START, L"4.Start Resize", {7, 172, 142, 14}},
    {IDC_PROGRESS, L"", {5, 241, 343, 14}},
    {IDC_HIDDEN_TABS, L"", {337, 45, 16, 26}, true},
    {-1, L"How to Use:", {6, 0, 339, 52}},
    {IDC_EXPLORE, L"5.Open Destination Path to See Result", {206, 172, 142, 14}},
    {-1, L"1.Input Mark(Can be Null):", {15, 13, 127, 8}},
    {-1, L"3.Open Pictures Directory\u30024.Click Start Button\u30025.Open the Destination Path to See Result", {15, 39, 303, 8}},
    {IDC_MARK, L"", {145, 8, 176, 14}},
    {IDC_DELETE, L"Delete", {206, 56, 50, 14}},
    {IDC_CLEAR_PICTURES, L"Clear Pictures List", {273, 56, 75, 14}},
    {-1, L"2.Select Destination Path:", {14, 26, 119, 8}},
    {IDC_DEST_PATH, nullptr, {145, 23, 176, 14}}, // the default destination
    {IDC_BROWSE, L"...", {324, 23, 17, 14}},
};
// clang-format on

TEST(Resources, StringTableAndIconSizes)
{
    const struct {
        UINT id;
        const wchar_t* text;
    } strings[] = {
        {IDS_SELECT_DESTINATION, L"Please Select Destination Path First!"},
        {IDS_ORIGIN_SIZE, L"Origin Size"},
        {IDS_PICTURE_FILE_NAME, L"Picture File Name"},
        {IDS_PICTURE_TYPE, L"Picture Type"},
    };
    for (const auto& entry : strings) {
        wchar_t text[260] = {};
        EXPECT_GT(LoadStringW(GetModuleHandleW(nullptr), entry.id, text, 260), 0);
        EXPECT_STREQ(text, entry.text);
    }

    for (int size : {16, 24, 32, 48, 256}) {
        auto icon = static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_VANTRY), IMAGE_ICON,
                                                  size, size, LR_DEFAULTCOLOR));
        ASSERT_NE(icon, nullptr) << size;
        ICONINFO info{};
        ASSERT_TRUE(GetIconInfo(icon, &info));
        BITMAP bitmap{};
        GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof(bitmap), &bitmap);
        EXPECT_EQ(bitmap.bmWidth, size);
        if (info.hbmColor)
            DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
        DestroyIcon(icon);
    }
}

// The running dialog: laid out from the template, with tabs, list columns and icons added
// at start-up and buttons themed by the common controls of version 6.
TEST(Resources, RunningMainDialog)
{
    vx::test::FakeShellServices shell;
    vx::app::MainDialog dialog{GetModuleHandleW(nullptr), shell, nullptr};
    ASSERT_TRUE(dialog.Create());
    HWND window = dialog.Handle();
    wchar_t caption[64] = {};
    GetWindowTextW(window, caption, 64);
    EXPECT_STREQ(caption, L"Batch Pictures Resize,Add Marker Tool");
    HWND child = GetWindow(window, GW_CHILD);
    for (const ExpectedControl& want : kMainControls) {
        ASSERT_NE(child, nullptr) << "missing control " << want.id;
        SCOPED_TRACE(testing::Message() << "control " << want.id);
        EXPECT_EQ(static_cast<UINT>(GetDlgCtrlID(child)) & 0xFFFF, static_cast<UINT>(want.id) & 0xFFFF);
        EXPECT_EQ((GetWindowLongW(child, GWL_STYLE) & WS_VISIBLE) != 0, !want.hidden);
        wchar_t text[128] = {};
        GetWindowTextW(child, text, 128);
        if (want.text) {
            EXPECT_STREQ(text, want.text);
        }
        // Position and size are converted from dialog units separately, as the template holds them.
        RECT expected = want.units, actual;
        MapDialogRect(window, &expected);
        GetWindowRect(child, &actual);
        MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&actual), 2);
        EXPECT_EQ(actual.left, expected.left);
        EXPECT_EQ(actual.top, expected.top);
        EXPECT_EQ(actual.right - actual.left, expected.right) << "width";
        EXPECT_EQ(actual.bottom - actual.top, expected.bottom) << "height";
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
        EXPECT_TRUE(SendMessageW(tabs, TCM_GETITEMW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item)));
        EXPECT_STREQ(text, tabTexts[i]);
        EXPECT_EQ(item.lParam, 0);
    }

    HWND list = GetDlgItem(window, IDC_PICTURE_LIST);
    EXPECT_EQ(SendMessageW(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0) & 0x0420, 0x0420);
    const wchar_t* headers[] = {L"Picture File Name", L"Origin Size", L"Picture Type", nullptr};
    const int widths[] = {300, 100, 100};
    for (int i = 0; i < 4; ++i) {
        wchar_t text[64] = {};
        LVCOLUMNW column{};
        column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT;
        column.pszText = text;
        column.cchTextMax = 64;
        const bool exists =
            SendMessageW(list, LVM_GETCOLUMNW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&column));
        EXPECT_EQ(exists, headers[i] != nullptr) << "column " << i;
        if (!exists || !headers[i])
            break;
        EXPECT_STREQ(text, headers[i]);
        EXPECT_EQ(column.cx, widths[i]);
        EXPECT_EQ(column.fmt & LVCFMT_JUSTIFYMASK, LVCFMT_LEFT);
    }

    EXPECT_NE(SendMessageW(window, WM_GETICON, ICON_BIG, 0), 0);
    EXPECT_NE(SendMessageW(window, WM_GETICON, ICON_SMALL, 0), 0);
    // Version 6 is the one that themes buttons (Wine reports 5 through the version calls).
    EXPECT_NE(GetWindowTheme(GetDlgItem(window, IDC_START)), nullptr);
    EXPECT_TRUE(IsProcessDPIAware()) << "the manifest declares system DPI awareness";
    DestroyWindow(window);
    vx::test::PumpMessages(0);
}

} // namespace
