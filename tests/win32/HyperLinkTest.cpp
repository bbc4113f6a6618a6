// The link control on statics of a test window: colour values, tag splitting, registry
// colours, keyboard and mouse activation, a failing shell open, icon statics, tooltips.
#include "ui/HyperLink.h"
#include "tests/win32/Win32TestSupport.h"

#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

using vx::test::PumpMessages;
using vx::ui::HyperLink;

TEST(LinkColour, ThreeDecimalComponentsOrTheColourStaysAsItWas)
{
    COLORREF colour = 0;
    EXPECT_TRUE(vx::ui::ParseLinkColour(L"0,128,255", colour));
    EXPECT_EQ(colour, RGB(0, 128, 255));
    EXPECT_TRUE(vx::ui::ParseLinkColour(L"12, 34, 56", colour));
    EXPECT_EQ(colour, RGB(12, 34, 56));
    for (const wchar_t* text :
         {L"0,128", L"0,128,", L",1,2", L"1,,2", L"a,b,c", L"300,0,0", L"1,2,3x", L"", L"-1,0,0"}) {
        EXPECT_FALSE(vx::ui::ParseLinkColour(text, colour)) << text;
        EXPECT_EQ(colour, RGB(12, 34, 56));
    }
}

// Leading words, link and trailing words, joined with '|'.
TEST(LinkTags, SplitsAroundTheTagsIgnoringCase)
{
    for (const auto& [text, parts] : {std::pair{L"Visit <a>our site</A> today", L"Visit |our site| today"},
                                      {L"plain text", L"|plain text|"},
                                      {L"a < b <A>rest", L"a < b |rest|"},
                                      {L"<A></A>", L"||"}}) {
        const vx::ui::LinkTagParts split = vx::ui::SplitLinkTags(text);
        const std::wstring joined =
            std::wstring(split.leading) + L"|" + std::wstring(split.link) + L"|" + std::wstring(split.trailing);
        EXPECT_EQ(joined, parts) << text;
    }
}

// A top-level window holding one static and recording what its links send it.
class LinkHost : public ::testing::Test {
protected:
    static LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message == WM_COMMAND)
            s_commands.push_back(LOWORD(wParam));
        if (message == WM_NOTIFY)
            s_notifications.push_back(static_cast<int>(reinterpret_cast<const NMHDR*>(lParam)->code));
        return DefWindowProcW(window, message, wParam, lParam);
    }

    void SetUp() override
    {
        s_commands.clear();
        s_notifications.clear();
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = &HostProc;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"VantryLinkHost";
        windowClass.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
        RegisterClassW(&windowClass);
        host = CreateWindowExW(0, L"VantryLinkHost", L"host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 50, 50, 400, 200,
                               nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(host, nullptr);
    }
    void TearDown() override
    {
        DestroyWindow(host);
        PumpMessages(0);
    }

    HWND AddStatic(const wchar_t* text, DWORD style = SS_LEFT)
    {
        return CreateWindowExW(0, L"Static", text, WS_CHILD | WS_VISIBLE | style, 10, 10, 300, 20, host,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(kLinkId)), GetModuleHandleW(nullptr),
                               nullptr);
    }

    static constexpr int kLinkId = 4321;
    static inline std::vector<int> s_commands;
    static inline std::vector<int> s_notifications;
    HWND host = nullptr;
};

TEST_F(LinkHost, SetUpGivesNotifyStyleTargetAndTooltipAndAFailedOpenLeavesItUnvisited)
{
    HWND label = AddStatic(L"www.example.org");
    HyperLink link;
    ASSERT_TRUE(link.SubclassAndInit(label));
    EXPECT_TRUE(GetWindowLongW(label, GWL_STYLE) & SS_NOTIFY);
    EXPECT_EQ(link.Label(), L"www.example.org");
    EXPECT_EQ(link.Target(), L"www.example.org");
    EXPECT_EQ(vx::test::FirstToolText(link.Tooltip()), L"www.example.org");
    EXPECT_EQ(SendMessageW(label, WM_GETDLGCODE, 0, 0), DLGC_WANTCHARS);

    ASSERT_TRUE(link.SetTarget(L"mailto:someone@example.org")); // the new tip: the About box's tests
    EXPECT_EQ(SendMessageW(link.Tooltip(), TTM_GETTOOLCOUNT, 0, 0), 1);

    const RECT& area = link.LinkRect();
    EXPECT_EQ(area.left, 0);
    EXPECT_GT(area.right, 0);
    EXPECT_LT(area.right, 300) << "just the text, not the whole control";

    ASSERT_TRUE(link.SetTarget(L"C:\\no\\such\\directory\\nothing-here.vantry-none"));
    EXPECT_FALSE(link.Navigate()) << "the shell cannot open it";
    EXPECT_FALSE(link.Visited());
}

TEST_F(LinkHost, SpaceOnTheFocusedLinkActivatesIt)
{
    HWND label = AddStatic(L"press space");
    HyperLink link(vx::ui::LinkCommand);
    ASSERT_TRUE(link.SubclassAndInit(label));
    SetFocus(label);
    ASSERT_EQ(GetFocus(), label);
    PostMessageW(label, WM_KEYDOWN, VK_SPACE, 0x00390001);
    PumpMessages(50);
    EXPECT_EQ(s_commands, std::vector<int>{kLinkId});
}

TEST_F(LinkHost, ClickNavigatesOnlyInsideTheLinkText)
{
    HWND label = AddStatic(L"Before <a>the link</a> after");
    HyperLink link(vx::ui::LinkTags | vx::ui::LinkNotify);
    ASSERT_TRUE(link.SubclassAndInit(label));
    const RECT area = link.LinkRect();
    EXPECT_GT(area.left, 0) << "the leading words are not part of the link";

    SendMessageW(label, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(1, 2));
    SendMessageW(label, WM_LBUTTONUP, 0, MAKELPARAM(1, 2));
    EXPECT_TRUE(s_notifications.empty());

    const LPARAM inside = MAKELPARAM((area.left + area.right) / 2, (area.top + area.bottom) / 2);
    SendMessageW(label, WM_LBUTTONDOWN, MK_LBUTTON, inside);
    EXPECT_EQ(GetFocus(), label);
    EXPECT_EQ(GetCapture(), label);
    SendMessageW(label, WM_LBUTTONUP, 0, inside);
    EXPECT_EQ(GetCapture(), nullptr);
    EXPECT_EQ(s_notifications, std::vector<int>{static_cast<int>(NM_CLICK)});

    s_commands.clear(); // the static's own click notices
    EXPECT_TRUE(link.Navigate());
    EXPECT_EQ(s_notifications.size(), 2u);
    EXPECT_TRUE(s_commands.empty()) << "a notifying link sends no command";
}

TEST_F(LinkHost, OnlyTheTaggedWordsArePaintedInLinkColour)
{
    HWND label = AddStatic(L"Plain words <A>LINKED</A> more");
    HyperLink link(vx::ui::LinkTags);
    ASSERT_TRUE(link.SubclassAndInit(label));
    const RECT area = link.LinkRect();

    RECT client;
    GetClientRect(label, &client);
    const std::vector<std::uint32_t> pixels = vx::test::PaintedClient(label, client.right, client.bottom);
    ASSERT_FALSE(pixels.empty());

    int blueInside = 0, blueOutside = 0, darkOutside = 0;
    for (LONG y = 0; y < client.bottom; ++y) {
        for (LONG x = 0; x < client.right; ++x) {
            const std::uint32_t c = pixels[static_cast<std::size_t>(y * client.right + x)];
            const int red = c >> 16 & 0xFF, green = c >> 8 & 0xFF, blue = c & 0xFF;
            const bool inside = x >= area.left && x < area.right && y >= area.top && y < area.bottom;
            if (blue > red + 80 && blue > green + 80)
                (inside ? blueInside : blueOutside)++;
            else if (red < 90 && green < 90 && blue < 90 && !inside)
                ++darkOutside;
        }
    }
    EXPECT_GT(blueInside, 20) << "the link words";
    EXPECT_EQ(blueOutside, 0);
    EXPECT_GT(darkOutside, 20) << "the words around the link in the ordinary colour";
}

TEST_F(LinkHost, IconStaticGetsTooltipButIsNotPaintedByTheLink)
{
    HWND icon = AddStatic(L"", SS_ICON);
    SendMessageW(icon, STM_SETICON, reinterpret_cast<WPARAM>(LoadIconW(nullptr, IDI_APPLICATION)), 0);
    HyperLink link;
    ASSERT_TRUE(link.SubclassAndInit(icon));
    ASSERT_TRUE(link.SetTarget(L"www.example.org"));
    RECT client;
    GetClientRect(icon, &client);
    EXPECT_TRUE(EqualRect(&client, &link.LinkRect()));
    EXPECT_EQ(vx::test::FirstToolText(link.Tooltip()), L"www.example.org");
    EXPECT_EQ(SendMessageW(icon, WM_GETFONT, 0, 0), 0) << "no fonts taken for a label it does not paint";
}

TEST_F(LinkHost, ColoursComeFromTheBrowserSettings)
{
    // HKEY_CURRENT_USER is redirected to a scratch key, so the user's settings stay untouched.
    HKEY scratch = nullptr;
    const std::wstring scratchName = L"Software\\VantryTests\\Links" + std::to_wstring(GetCurrentProcessId());
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, scratchName.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &scratch,
                              nullptr),
              ERROR_SUCCESS);
    HKEY settings = nullptr;
    ASSERT_EQ(RegCreateKeyExW(scratch, L"Software\\Microsoft\\Internet Explorer\\Settings", 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &settings, nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(settings, L"Anchor Color", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"0,128,255"),
                   sizeof(L"0,128,255"));
    RegSetValueExW(settings, L"Anchor Color Visited", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"10,20,30"),
                   sizeof(L"10,20,30"));
    RegCloseKey(settings);
    ASSERT_EQ(RegOverridePredefKey(HKEY_CURRENT_USER, scratch), ERROR_SUCCESS);

    HyperLink link;
    const bool attached = link.SubclassAndInit(AddStatic(L"coloured"));

    RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    RegCloseKey(scratch);
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\VantryTests");

    ASSERT_TRUE(attached);
    EXPECT_EQ(link.LinkColour(), RGB(0, 128, 255));
    EXPECT_EQ(link.VisitedColour(), RGB(10, 20, 30)); // what is not a colour: the table of values above
}

} // namespace
