// The program's resources as the running dialog sees them: every control of the main
// dialog in template order with its id, class, text, styles and place; the string table;
// the multi-size icon; the common controls of version 6 bound by the manifest.
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

using vx::test::FakeShellServices;
using vx::test::PumpMessages;

struct ControlSpec {
    int id;
    const wchar_t* className;
    const wchar_t* text;
    RECT dialogUnits; // x, y, width, height (not right and bottom)
    DWORD style;      // beyond WS_CHILD (and WS_VISIBLE unless `hidden`)
    bool hidden;
};

const ControlSpec kMainControls[] = {
    {IDC_ABOUT, L"Button", L"&About...", {298, 224, 50, 14}, WS_TABSTOP, false},
    {IDC_LOG_PANE, L"ListBox", L"", {7, 190, 341, 32},
     WS_BORDER | WS_VSCROLL | WS_TABSTOP | LBS_NOINTEGRALHEIGHT | LBS_NOTIFY, false},
    {IDC_CLEAR_LOGS, L"Button", L"Clear Logs", {5, 225, 50, 14}, WS_TABSTOP, false},
    {IDC_PICTURE_LIST, L"SysListView32", L"", {7, 75, 341, 94}, WS_BORDER | WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL,
     false},
    {IDC_ADD_PICTURES, L"Button", L"3.Open(Add) Picture File", {7, 57, 122, 14}, WS_TABSTOP, false},
    {IDC_START, L"Button", L"4.Start Resize", {7, 172, 142, 14}, WS_TABSTOP, false},
    {IDC_PROGRESS, L"msctls_progress32", L"", {5, 241, 343, 14}, WS_BORDER, false},
    {IDC_HIDDEN_TABS, L"SysTabControl32", L"", {337, 45, 16, 26}, 0, true},
    {-1, L"Button", L"How to Use:", {6, 0, 339, 52}, BS_GROUPBOX, false},
    {IDC_EXPLORE, L"Button", L"5.Open Destination Path to See Result", {206, 172, 142, 14}, WS_TABSTOP, false},
    {-1, L"Static", L"1.Input Mark(Can be Null):", {15, 13, 127, 8}, WS_GROUP, false},
    {-1, L"Static",
     L"3.Open Pictures Directory\u30024.Click Start Button\u30025.Open the Destination Path to See Result",
     {15, 39, 303, 8}, WS_GROUP, false},
    {IDC_MARK, L"Edit", L"", {145, 8, 176, 14}, WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, false},
    {IDC_DELETE, L"Button", L"Delete", {206, 56, 50, 14}, WS_TABSTOP, false},
    {IDC_CLEAR_PICTURES, L"Button", L"Clear Pictures List", {273, 56, 75, 14}, WS_TABSTOP, false},
    {-1, L"Static", L"2.Select Destination Path:", {14, 26, 119, 8}, WS_GROUP, false},
    {IDC_DEST_PATH, L"Edit", nullptr, {145, 23, 176, 14},
     WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL | ES_READONLY, false},
    {IDC_BROWSE, L"Button", L"...", {324, 23, 17, 14}, WS_TABSTOP, false},
};

class MainDialogResources : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dialog.Create());
        window = dialog.Handle();
    }
    void TearDown() override
    {
        DestroyWindow(window);
        PumpMessages(0);
    }

    FakeShellServices shell;
    vx::app::MainDialog dialog{GetModuleHandleW(nullptr), shell, nullptr};
    HWND window = nullptr;
};

TEST_F(MainDialogResources, DialogFrameCaptionAndSize)
{
    wchar_t caption[128] = {};
    GetWindowTextW(window, caption, 128);
    EXPECT_STREQ(caption, L"Batch Pictures Resize,Add Marker Tool");
    const LONG style = GetWindowLongW(window, GWL_STYLE);
    EXPECT_EQ(style & (WS_CAPTION | WS_SYSMENU), WS_CAPTION | WS_SYSMENU);
    EXPECT_EQ(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME | WS_CHILD | WS_VISIBLE), 0);

    RECT expected{0, 0, 355, 262};
    MapDialogRect(window, &expected);
    RECT client;
    GetClientRect(window, &client);
    EXPECT_EQ(client.right, expected.right);
    EXPECT_EQ(client.bottom, expected.bottom);

    LOGFONTW font{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0)), sizeof(font), &font);
    EXPECT_STREQ(font.lfFaceName, L"Tahoma");
}

TEST_F(MainDialogResources, EveryControlInTemplateOrder)
{
    HWND child = GetWindow(window, GW_CHILD);
    for (const ControlSpec& spec : kMainControls) {
        ASSERT_NE(child, nullptr) << "missing control " << spec.id;
        SCOPED_TRACE(testing::Message() << "control " << spec.id);
        EXPECT_EQ(static_cast<UINT>(GetDlgCtrlID(child)) & 0xFFFF, static_cast<UINT>(spec.id) & 0xFFFF);

        wchar_t className[64] = {};
        GetClassNameW(child, className, 64);
        EXPECT_EQ(lstrcmpiW(className, spec.className), 0) << "class";
        if (spec.text) {
            wchar_t text[256] = {};
            GetWindowTextW(child, text, 256);
            EXPECT_STREQ(text, spec.text);
        }

        // Exact styles are checked on the template: controls adjust their own at run time
        // (a scroll bar not needed yet, a border turned into an edge).
        const DWORD style = static_cast<DWORD>(GetWindowLongW(child, GWL_STYLE));
        EXPECT_TRUE(style & WS_CHILD);
        EXPECT_EQ((style & WS_VISIBLE) != 0, !spec.hidden);

        // Position and size are converted from dialog units separately, as the template holds them.
        RECT expected = spec.dialogUnits;
        MapDialogRect(window, &expected);
        RECT actual;
        GetWindowRect(child, &actual);
        MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&actual), 2);
        EXPECT_EQ(actual.left, expected.left);
        EXPECT_EQ(actual.top, expected.top);
        EXPECT_EQ(actual.right - actual.left, expected.right) << "width";
        EXPECT_EQ(actual.bottom - actual.top, expected.bottom) << "height";

        child = GetWindow(child, GW_HWNDNEXT);
    }
    EXPECT_EQ(child, nullptr) << "more controls than the template table";
}

TEST_F(MainDialogResources, HiddenTabsAndListColumns)
{
    HWND tabs = GetDlgItem(window, IDC_HIDDEN_TABS);
    ASSERT_EQ(SendMessageW(tabs, TCM_GETITEMCOUNT, 0, 0), 2);
    const wchar_t* expected[] = {L"Dest Directory", L"Size Setting"};
    for (int i = 0; i < 2; ++i) {
        wchar_t text[64] = {};
        TCITEMW item{};
        item.mask = TCIF_TEXT | TCIF_PARAM;
        item.pszText = text;
        item.cchTextMax = 64;
        item.lParam = 7;
        ASSERT_TRUE(SendMessageW(tabs, TCM_GETITEMW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item)));
        EXPECT_STREQ(text, expected[i]);
        EXPECT_EQ(item.lParam, 0);
    }

    HWND list = GetDlgItem(window, IDC_PICTURE_LIST);
    EXPECT_EQ(SendMessageW(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0) & 0x0420, 0x0420);
    const wchar_t* headers[] = {L"Picture File Name", L"Origin Size", L"Picture Type"};
    const int widths[] = {300, 100, 100};
    for (int i = 0; i < 3; ++i) {
        wchar_t text[64] = {};
        LVCOLUMNW column{};
        column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT;
        column.pszText = text;
        column.cchTextMax = 64;
        ASSERT_TRUE(SendMessageW(list, LVM_GETCOLUMNW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&column)));
        EXPECT_STREQ(text, headers[i]);
        EXPECT_EQ(column.cx, widths[i]);
        EXPECT_EQ(column.fmt & LVCFMT_JUSTIFYMASK, LVCFMT_LEFT);
    }
    wchar_t none[8];
    LVCOLUMNW fourth{};
    fourth.mask = LVCF_TEXT;
    fourth.pszText = none;
    fourth.cchTextMax = 8;
    EXPECT_FALSE(SendMessageW(list, LVM_GETCOLUMNW, 3, reinterpret_cast<LPARAM>(&fourth)));
}

TEST_F(MainDialogResources, BothIconsSetAndCommonControlsSix)
{
    EXPECT_NE(SendMessageW(window, WM_GETICON, ICON_BIG, 0), 0);
    EXPECT_NE(SendMessageW(window, WM_GETICON, ICON_SMALL, 0), 0);
    // Version 6 is the one that themes buttons (Wine reports 5 through the version calls).
    EXPECT_NE(GetWindowTheme(GetDlgItem(window, IDC_START)), nullptr);
}

// One control or the dialog itself as the extended dialog template stores it.
struct TemplateItem {
    DWORD style = 0;
    DWORD exStyle = 0;
    RECT units{}; // x, y, width, height
    int id = 0;
    std::wstring className;
    std::wstring text;
};

struct DialogTemplate {
    TemplateItem dialog;
    WORD pointSize = 0;
    std::wstring face;
    std::vector<TemplateItem> items;
};

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
    auto word = [&p] {
        WORD v;
        std::memcpy(&v, p, 2);
        p += 2;
        return v;
    };
    auto dword = [&p] {
        DWORD v;
        std::memcpy(&v, p, 4);
        p += 4;
        return v;
    };
    auto string = [&p, &word] {
        std::wstring text;
        for (WORD c = word(); c; c = word())
            text.push_back(static_cast<wchar_t>(c));
        return text;
    };
    auto nameOrOrdinal = [&](bool isClass) {
        WORD first;
        std::memcpy(&first, p, 2);
        if (first == 0xFFFF) {
            p += 2;
            const WORD ordinal = word();
            if (isClass) {
                const wchar_t* names[] = {L"Button", L"Edit", L"Static", L"ListBox", L"ScrollBar", L"ComboBox"};
                if (ordinal >= 0x80 && ordinal <= 0x85)
                    return std::wstring(names[ordinal - 0x80]);
            }
            return L"#" + std::to_wstring(ordinal);
        }
        return string();
    };
    auto rect = [&word] {
        RECT r;
        r.left = static_cast<SHORT>(word());
        r.top = static_cast<SHORT>(word());
        r.right = static_cast<SHORT>(word());
        r.bottom = static_cast<SHORT>(word());
        return r;
    };

    EXPECT_EQ(word(), 1);
    EXPECT_EQ(word(), 0xFFFF);
    dword();
    result.dialog.exStyle = dword();
    result.dialog.style = dword();
    const WORD count = word();
    result.dialog.units = rect();
    nameOrOrdinal(false);
    result.dialog.className = nameOrOrdinal(true);
    result.dialog.text = string();
    if (result.dialog.style & DS_SETFONT) {
        result.pointSize = word();
        word();
        p += 2;
        result.face = string();
    }
    for (WORD i = 0; i < count; ++i) {
        p = base + ((p - base + 3) & ~3);
        TemplateItem item;
        dword();
        item.exStyle = dword();
        item.style = dword();
        item.units = rect();
        item.id = static_cast<int>(dword());
        item.className = nameOrOrdinal(true);
        item.text = nameOrOrdinal(false);
        p += word();
        result.items.push_back(item);
    }
    return result;
}

TEST(Resources, MainDialogTemplateHoldsEveryControlExactly)
{
    const DialogTemplate dialog = ReadDialogTemplate(IDD_MAIN);
    EXPECT_EQ(dialog.dialog.text, L"Batch Pictures Resize,Add Marker Tool");
    EXPECT_EQ(dialog.dialog.style, static_cast<DWORD>(WS_CAPTION | WS_SYSMENU | DS_SETFONT));
    EXPECT_EQ(dialog.dialog.units.right, 355);
    EXPECT_EQ(dialog.dialog.units.bottom, 262);
    EXPECT_EQ(dialog.pointSize, 8);
    EXPECT_EQ(dialog.face, L"Tahoma");

    ASSERT_EQ(dialog.items.size(), std::size(kMainControls));
    for (size_t i = 0; i < dialog.items.size(); ++i) {
        const TemplateItem& item = dialog.items[i];
        const ControlSpec& spec = kMainControls[i];
        SCOPED_TRACE(testing::Message() << "control " << spec.id);
        EXPECT_EQ(item.id, spec.id);
        EXPECT_EQ(lstrcmpiW(item.className.c_str(), spec.className), 0) << "class";
        EXPECT_EQ(item.text, spec.text ? spec.text : L"");
        EXPECT_EQ(item.style, WS_CHILD | (spec.hidden ? 0 : WS_VISIBLE) | spec.style) << std::hex << item.style;
        EXPECT_EQ(item.exStyle, 0u);
        EXPECT_TRUE(EqualRect(&item.units, &spec.dialogUnits));
    }
}

TEST(Resources, AboutTemplate)
{
    const DialogTemplate about = ReadDialogTemplate(IDD_ABOUTBOX);
    EXPECT_EQ(about.dialog.text, L"About Vantry");
    EXPECT_EQ(about.dialog.style,
              static_cast<DWORD>(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT));
    EXPECT_EQ(about.dialog.units.right, 267);
    EXPECT_EQ(about.dialog.units.bottom, 82);
    EXPECT_EQ(about.face, L"Tahoma");
    EXPECT_EQ(about.pointSize, 8);

    const struct {
        int id;
        const wchar_t* className;
        DWORD style;
        RECT units;
    } expected[] = {
        {IDOK, L"Button", BS_DEFPUSHBUTTON | WS_TABSTOP, {209, 61, 50, 14}},
        {-1, L"Static", SS_CENTER, {18, 37, 89, 25}},
        {-1, L"Static", SS_ICON, {51, 14, 20, 20}},
        {-1, L"Button", BS_GROUPBOX, {7, 7, 115, 65}},
        {-1, L"Static", SS_LEFT, {129, 18, 73, 8}},
        {-1, L"Static", SS_LEFT, {130, 30, 93, 8}},
        {IDC_MAIL_LINK, L"Static", SS_LEFT, {129, 42, 77, 8}},
        {IDC_WEB_LINK, L"Static", SS_LEFT, {130, 56, 60, 8}},
    };
    ASSERT_EQ(about.items.size(), std::size(expected));
    for (size_t i = 0; i < about.items.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(about.items[i].id, expected[i].id);
        EXPECT_EQ(lstrcmpiW(about.items[i].className.c_str(), expected[i].className), 0);
        EXPECT_EQ(about.items[i].style, WS_CHILD | WS_VISIBLE | expected[i].style) << std::hex << about.items[i].style;
        EXPECT_TRUE(EqualRect(&about.items[i].units, &expected[i].units));
    }
    EXPECT_EQ(about.items[0].text, L"OK");
    EXPECT_EQ(about.items[1].text.rfind(L"Vantry Application v1.0\n\n", 0), 0u);
    EXPECT_EQ(about.items[2].text, L"#" + std::to_wstring(IDI_VANTRY)) << "the program icon";
    EXPECT_EQ(about.items[5].text.back(), L';') << "the author's address ends in a semicolon";
}

TEST(Resources, StringTable)
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
}

TEST(Resources, IconHasEverySize)
{
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

} // namespace
