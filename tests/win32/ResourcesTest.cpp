// The program's resources: both dialog templates read byte by byte against tables of their
// controls (id, class, text, styles, place), the running main dialog laid out from them, its
// tabs and list columns, the string table, the multi-size icon and the common controls of
// version 6 bound by the manifest.
#include "app/MainDialog.h"
#include "app/resource.h"
#include "tests/win32/Win32TestSupport.h"

#include <commctrl.h>
#include <uxtheme.h>

#include <gtest/gtest.h>

#include <cstring>
#include <iterator>
#include <string>
#include <vector>

namespace {

struct ExpectedControl {
    int id;
    const wchar_t* className;
    const wchar_t* text;
    RECT units;  // x, y, width, height in dialog units
    DWORD style; // beyond WS_CHILD, and WS_VISIBLE unless `hidden`
    bool hidden = false;
};

// clang-format off
const ExpectedControl kMainControls[] = {
    {IDC_ABOUT, L"Button", L"&About...", {298, 224, 50, 14}, WS_TABSTOP},
    {IDC_LOG_PANE, L"ListBox", L"", {7, 190, 341, 32},
     WS_BORDER | WS_VSCROLL | WS_HSCROLL | WS_TABSTOP | LBS_NOINTEGRALHEIGHT | LBS_NOTIFY},
    {IDC_CLEAR_LOGS, L"Button", L"Clear Logs", {5, 225, 50, 14}, WS_TABSTOP},
    {IDC_PICTURE_LIST, L"SysListView32", L"", {7, 75, 341, 94}, WS_BORDER | WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL},
    {IDC_ADD_PICTURES, L"Button", L"3.Open(Add) Picture File", {7, 57, 122, 14}, WS_TABSTOP},
    {IDC_START, L"Button", L"4.Start Resize", {7, 172, 142, 14}, WS_TABSTOP},
    {IDC_PROGRESS, L"msctls_progress32", L"", {5, 241, 343, 14}, WS_BORDER},
    {IDC_HIDDEN_TABS, L"SysTabControl32", L"", {337, 45, 16, 26}, 0, true},
    {-1, L"Button", L"How to Use:", {6, 0, 339, 52}, BS_GROUPBOX},
    {IDC_EXPLORE, L"Button", L"5.Open Destination Path to See Result", {206, 172, 142, 14}, WS_TABSTOP},
    {-1, L"Static", L"1.Input Mark(Can be Null):", {15, 13, 127, 8}, WS_GROUP},
    {-1, L"Static",
     L"3.Open Pictures Directory\u30024.Click Start Button\u30025.Open the Destination Path to See Result",
     {15, 39, 303, 8}, WS_GROUP},
    {IDC_MARK, L"Edit", L"", {145, 8, 176, 14}, WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL},
    {IDC_DELETE, L"Button", L"Delete", {206, 56, 50, 14}, WS_TABSTOP},
    {IDC_CLEAR_PICTURES, L"Button", L"Clear Pictures List", {273, 56, 75, 14}, WS_TABSTOP},
    {-1, L"Static", L"2.Select Destination Path:", {14, 26, 119, 8}, WS_GROUP},
    {IDC_DEST_PATH, L"Edit", L"", {145, 23, 176, 14}, WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL | ES_READONLY},
    {IDC_BROWSE, L"Button", L"...", {324, 23, 17, 14}, WS_TABSTOP},
};
// clang-format on

// The About box; its texts are checked apart, as they are partly the maker's own.
const ExpectedControl kAboutControls[] = {
    {IDOK, L"Button", L"OK", {209, 61, 50, 14}, BS_DEFPUSHBUTTON | WS_TABSTOP},
    {-1, L"Static", nullptr, {18, 37, 89, 25}, SS_CENTER},
    {-1, L"Static", nullptr, {51, 14, 20, 20}, SS_ICON},
    {-1, L"Button", nullptr, {7, 7, 115, 65}, BS_GROUPBOX},
    {-1, L"Static", nullptr, {129, 18, 73, 8}, SS_LEFT},
    {-1, L"Static", nullptr, {130, 30, 93, 8}, SS_LEFT},
    {IDC_MAIL_LINK, L"Static", nullptr, {129, 42, 77, 8}, SS_LEFT},
    {IDC_WEB_LINK, L"Static", nullptr, {130, 56, 60, 8}, SS_LEFT},
};

// One control or the dialog itself as the extended dialog template stores it.
struct TemplateItem {
    DWORD style = 0, exStyle = 0;
    RECT units{};
    int id = 0;
    std::wstring className, text;
};

struct DialogTemplate {
    TemplateItem dialog;
    WORD pointSize = 0;
    std::wstring face;
    std::vector<TemplateItem> items;
};

template <typename T> T Read(const BYTE*& p)
{
    T value;
    std::memcpy(&value, p, sizeof(T));
    p += sizeof(T);
    return value;
}

// Reads a DLGTEMPLATEEX resource: header, menu, class, title, font, then the items, each
// on a 4-byte boundary. Predefined classes are stored as ordinals 0x80-0x85.
DialogTemplate ReadDialogTemplate(int resourceId)
{
    DialogTemplate result;
    HMODULE module = GetModuleHandleW(nullptr);
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(resourceId), MAKEINTRESOURCEW(5));
    if (!found)
        return result;
    const auto* base = static_cast<const BYTE*>(LockResource(LoadResource(module, found)));
    const BYTE* p = base;
    auto string = [&p] {
        std::wstring text;
        for (WORD c = Read<WORD>(p); c; c = Read<WORD>(p))
            text.push_back(static_cast<wchar_t>(c));
        return text;
    };
    auto nameOrOrdinal = [&](bool isClass) {
        WORD first;
        std::memcpy(&first, p, 2);
        if (first != 0xFFFF)
            return string();
        p += 2;
        const WORD ordinal = Read<WORD>(p);
        const wchar_t* classes[] = {L"Button", L"Edit", L"Static", L"ListBox", L"ScrollBar", L"ComboBox"};
        if (isClass && ordinal >= 0x80 && ordinal <= 0x85)
            return std::wstring(classes[ordinal - 0x80]);
        return L"#" + std::to_wstring(ordinal);
    };
    auto rect = [&p] {
        RECT r{};
        for (LONG* side : {&r.left, &r.top, &r.right, &r.bottom})
            *side = Read<SHORT>(p);
        return r;
    };

    EXPECT_EQ(Read<WORD>(p), 1);
    EXPECT_EQ(Read<WORD>(p), 0xFFFF);
    Read<DWORD>(p); // help id
    result.dialog.exStyle = Read<DWORD>(p);
    result.dialog.style = Read<DWORD>(p);
    const WORD count = Read<WORD>(p);
    result.dialog.units = rect();
    nameOrOrdinal(false); // menu
    result.dialog.className = nameOrOrdinal(true);
    result.dialog.text = string();
    if (result.dialog.style & DS_SETFONT) {
        result.pointSize = Read<WORD>(p);
        p += 4; // weight, italic, charset
        result.face = string();
    }
    for (WORD i = 0; i < count; ++i) {
        p = base + ((p - base + 3) & ~3);
        TemplateItem item;
        Read<DWORD>(p); // help id
        item.exStyle = Read<DWORD>(p);
        item.style = Read<DWORD>(p);
        item.units = rect();
        item.id = static_cast<int>(Read<DWORD>(p));
        item.className = nameOrOrdinal(true);
        item.text = nameOrOrdinal(false);
        p += Read<WORD>(p); // creation data
        result.items.push_back(item);
    }
    return result;
}

void ExpectItems(const DialogTemplate& dialog, const ExpectedControl* specs, size_t count)
{
    ASSERT_EQ(dialog.items.size(), count);
    for (size_t i = 0; i < count; ++i) {
        const TemplateItem& item = dialog.items[i];
        SCOPED_TRACE(testing::Message() << "control " << i << ", id " << specs[i].id);
        EXPECT_EQ(item.id, specs[i].id);
        EXPECT_EQ(lstrcmpiW(item.className.c_str(), specs[i].className), 0) << "class";
        if (specs[i].text) {
            EXPECT_EQ(item.text, specs[i].text);
        }
        EXPECT_EQ(item.style, WS_CHILD | (specs[i].hidden ? 0 : WS_VISIBLE) | specs[i].style) << std::hex << item.style;
        EXPECT_EQ(item.exStyle, 0u);
        EXPECT_TRUE(EqualRect(&item.units, &specs[i].units));
    }
}

TEST(Resources, MainDialogTemplate)
{
    const DialogTemplate main = ReadDialogTemplate(IDD_MAIN);
    EXPECT_EQ(main.dialog.text, L"Batch Pictures Resize,Add Marker Tool");
    EXPECT_EQ(main.dialog.style, static_cast<DWORD>(WS_CAPTION | WS_SYSMENU | DS_SETFONT));
    EXPECT_EQ(main.dialog.units.right, 355);
    EXPECT_EQ(main.dialog.units.bottom, 262);
    EXPECT_EQ(main.pointSize, 8);
    EXPECT_EQ(main.face, L"Tahoma");
    ExpectItems(main, kMainControls, std::size(kMainControls));
}

TEST(Resources, AboutTemplate)
{
    const DialogTemplate about = ReadDialogTemplate(IDD_ABOUTBOX);
    EXPECT_EQ(about.dialog.text, L"About Vantry");
    EXPECT_EQ(about.dialog.style, static_cast<DWORD>(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT));
    EXPECT_EQ(about.dialog.units.right, 267);
    EXPECT_EQ(about.dialog.units.bottom, 82);
    EXPECT_EQ(about.pointSize, 8);
    EXPECT_EQ(about.face, L"Tahoma");
    ExpectItems(about, kAboutControls, std::size(kAboutControls));
    if (about.items.size() == std::size(kAboutControls)) {
        EXPECT_EQ(about.items[1].text.rfind(L"Vantry Application v1.0\n\n", 0), 0u) << "name, empty line, notice";
        EXPECT_EQ(about.items[2].text, L"#" + std::to_wstring(IDI_VANTRY)) << "the program icon";
        EXPECT_EQ(about.items[5].text.back(), L';') << "the author's address ends in a semicolon";
    }
}

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
    HWND child = GetWindow(window, GW_CHILD);
    for (const ExpectedControl& want : kMainControls) {
        ASSERT_NE(child, nullptr) << "missing control " << want.id;
        SCOPED_TRACE(testing::Message() << "control " << want.id);
        EXPECT_EQ(static_cast<UINT>(GetDlgCtrlID(child)) & 0xFFFF, static_cast<UINT>(want.id) & 0xFFFF);
        EXPECT_EQ((GetWindowLongW(child, GWL_STYLE) & WS_VISIBLE) != 0, !want.hidden);
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
