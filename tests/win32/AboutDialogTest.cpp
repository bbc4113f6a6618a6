// The About box from its resource: texts, the default OK button, the two links and their
// targets, centring on the owner, and how each way of closing ends it.
#include "app/MainDialog.h"
#include "app/resource.h"
#include "tests/win32/Win32TestSupport.h"
#include "ui/AboutDialog.h"
#include "ui/WindowPlacement.h"

#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using vx::test::ModalBoxCloser;
using vx::test::PumpMessages;

std::wstring TextOf(HWND window)
{
    wchar_t text[256] = {};
    GetWindowTextW(window, text, 256);
    return text;
}

std::wstring TooltipOf(const vx::ui::HyperLink& link)
{
    wchar_t text[256] = {};
    TOOLINFOW tool{};
    tool.cbSize = sizeof(tool);
    tool.lpszText = text;
    if (!SendMessageW(link.Tooltip(), TTM_ENUMTOOLSW, 0, reinterpret_cast<LPARAM>(&tool)))
        return L"<no tool>";
    return text;
}

struct AboutSeen {
    std::wstring caption;
    std::vector<std::wstring> texts;
    std::wstring mailTooltip;
    std::wstring webTooltip;
    LRESULT defaultId = 0;
    bool hasIcon = false;
    RECT box{};
};

AboutSeen Inspect(HWND box, vx::ui::AboutDialog* about = nullptr)
{
    AboutSeen seen;
    seen.caption = TextOf(box);
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        seen.texts.push_back(TextOf(child));
    if (about) {
        EXPECT_EQ(about->MailLink().Handle(), GetDlgItem(box, IDC_MAIL_LINK));
        EXPECT_EQ(about->WebLink().Handle(), GetDlgItem(box, IDC_WEB_LINK));
        seen.mailTooltip = TooltipOf(about->MailLink());
        seen.webTooltip = TooltipOf(about->WebLink());
    }
    seen.defaultId = LOWORD(SendMessageW(box, DM_GETDEFID, 0, 0));
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (SendMessageW(child, STM_GETICON, 0, 0))
            seen.hasIcon = true;
    }
    GetWindowRect(box, &seen.box);
    return seen;
}

TEST(AboutDialog, ShowsTextsLinksAndEndsWithOk)
{
    vx::ui::AboutDialog about;
    AboutSeen seen;
    ModalBoxCloser closer(nullptr, IDOK, [&](HWND box) { seen = Inspect(box, &about); });
    EXPECT_EQ(about.Run(GetModuleHandleW(nullptr), nullptr), IDOK);
    ASSERT_TRUE(closer.Seen().found);

    EXPECT_EQ(seen.caption, L"About Vantry");
    ASSERT_EQ(seen.texts.size(), 8u);
    EXPECT_EQ(seen.texts[0], L"OK");
    EXPECT_EQ(seen.texts[1].rfind(L"Vantry Application v1.0\n\n", 0), 0u) << "name, empty line, notice";
    EXPECT_EQ(seen.defaultId, IDOK);
    EXPECT_TRUE(seen.hasIcon);
    EXPECT_EQ(seen.mailTooltip, vx::ui::kMakerMailTarget);
    EXPECT_EQ(std::wstring(vx::ui::kMakerMailTarget).rfind(L"mailto:", 0), 0u);
    EXPECT_EQ(seen.webTooltip, vx::ui::kMakerWebTarget);
    // The links keep their own labels; only the targets change.
    EXPECT_EQ(about.MailLink().Label(), seen.texts[6]);
    EXPECT_EQ(about.WebLink().Label(), seen.texts[7]);
}

TEST(AboutDialog, EscapeEndsWithCancel)
{
    vx::ui::AboutDialog about;
    ModalBoxCloser closer(nullptr, 0, [](HWND box) { PostMessageW(box, WM_KEYDOWN, VK_ESCAPE, 0x00010001); });
    EXPECT_EQ(about.Run(GetModuleHandleW(nullptr), nullptr), IDCANCEL);
}

TEST(AboutDialog, CloseBoxEndsWithCancel)
{
    vx::ui::AboutDialog about;
    ModalBoxCloser closer(nullptr, 0, [](HWND box) { PostMessageW(box, WM_SYSCOMMAND, SC_CLOSE, 0); });
    EXPECT_EQ(about.Run(GetModuleHandleW(nullptr), nullptr), IDCANCEL);
}

TEST(AboutDialog, OpensFromTheMainDialogCentredOnItsOwner)
{
    vx::test::FakeShellServices shell;
    vx::app::MainDialog dialog(GetModuleHandleW(nullptr), shell, nullptr);
    ASSERT_TRUE(dialog.Create());
    HWND main = dialog.Handle();
    ShowWindow(main, SW_SHOW);
    SetActiveWindow(main);
    PumpMessages(20);

    // The About command hands the box to the active window (other test processes on the
    // same desktop may have taken the activation away).
    const HWND active = GetActiveWindow();
    ModalBoxCloser fromCommand(main, IDCANCEL);
    SendMessageW(main, WM_COMMAND, IDC_ABOUT, 0);
    ASSERT_TRUE(fromCommand.Seen().found);
    EXPECT_EQ(fromCommand.Seen().owner, active);
    EXPECT_TRUE(IsWindow(main)) << "the main dialog stays open";

    AboutSeen seen;
    vx::ui::AboutDialog about;
    ModalBoxCloser closer(main, IDOK, [&](HWND box) { seen = Inspect(box); });
    EXPECT_EQ(about.Run(GetModuleHandleW(nullptr), main), IDOK);
    EXPECT_EQ(closer.Seen().owner, main);
    RECT owner;
    GetWindowRect(main, &owner);
    const LONG w = seen.box.right - seen.box.left;
    const LONG h = seen.box.bottom - seen.box.top;
    EXPECT_EQ(seen.box.left, (owner.left + owner.right) / 2 - w / 2);
    EXPECT_EQ(seen.box.top, (owner.top + owner.bottom) / 2 - h / 2);
    DestroyWindow(main);
    PumpMessages(0);
}

TEST(WindowPlacement, CentredPositionStaysInsideTheArea)
{
    const RECT area{0, 0, 1000, 700};
    POINT pos = vx::ui::CentredPosition(200, 100, RECT{100, 100, 500, 300}, area);
    EXPECT_EQ(pos.x, 200);
    EXPECT_EQ(pos.y, 150);
    pos = vx::ui::CentredPosition(1200, 100, area, area);
    EXPECT_EQ(pos.x, 0) << "wider than the work area: its left edge";
    pos = vx::ui::CentredPosition(200, 100, RECT{900, 650, 1100, 750}, area);
    EXPECT_EQ(pos.x, 800);
    EXPECT_EQ(pos.y, 600);
    pos = vx::ui::CentredPosition(200, 100, RECT{-300, -300, -100, -100}, area);
    EXPECT_EQ(pos.x, 0);
    EXPECT_EQ(pos.y, 0);
}

} // namespace
