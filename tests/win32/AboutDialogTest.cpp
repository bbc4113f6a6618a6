// The About box from its resource: the default OK button, the icon, the two links with
// their labels and targets, centring on the owner and inside the work area, OK and Escape.
#include "ui/AboutDialog.h"
#include "app/MainDialog.h"
#include "app/resource.h"
#include "tests/win32/MainDialogFixture.h"
#include "tests/win32/Win32TestSupport.h"
#include "ui/WindowPlacement.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

namespace {

using vx::test::ModalBoxCloser;
using vx::test::PumpMessages;

std::wstring TextOf(HWND window)
{
    wchar_t text[256] = {};
    GetWindowTextW(window, text, 256);
    return text;
}

using AboutDialog = vx::test::MainDialogFixture;

// Opened by the About command for the active window; run for the main dialog: OK ends it
// with IDOK; centred on it, and Escape ends it with IDCANCEL (the close box sends the same).
TEST_F(AboutDialog, OpensCentredOnItsOwnerWithIconAndLinks)
{
    SetActiveWindow(window);
    PumpMessages(20);
    // The About command hands the box to the active window (other test processes on the
    // same desktop may have taken the activation away).
    const HWND active = GetActiveWindow();
    ModalBoxCloser fromCommand(window, IDOK);
    Click(IDC_ABOUT);
    ASSERT_TRUE(fromCommand.Seen().found);
    EXPECT_EQ(fromCommand.Seen().owner, active);
    EXPECT_TRUE(IsWindow(window)) << "the main dialog stays open";
    {
        ModalBoxCloser byOk(window, IDOK);
        EXPECT_EQ(vx::ui::AboutDialog().Run(GetModuleHandleW(nullptr), window), IDOK);
    }

    RECT box{};
    vx::ui::AboutDialog about;
    ModalBoxCloser closer(window, 0, [&](HWND shown) {
        GetWindowRect(shown, &box);
        // The template's texts are not restated here.
        EXPECT_EQ(LOWORD(SendMessageW(shown, DM_GETDEFID, 0, 0)), IDOK);
        bool hasIcon = false;
        for (HWND child = GetWindow(shown, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
            hasIcon = hasIcon || SendMessageW(child, STM_GETICON, 0, 0) != 0;
        EXPECT_TRUE(hasIcon);
        // The links keep their own labels; only the targets change, under the reserved example domain.
        for (const auto& [link, id, target] : {std::tuple{&about.MailLink(), IDC_MAIL_LINK, vx::ui::kMakerMailTarget},
                                               std::tuple{&about.WebLink(), IDC_WEB_LINK, vx::ui::kMakerWebTarget}}) {
            EXPECT_EQ(link->Handle(), GetDlgItem(shown, id));
            EXPECT_EQ(link->Label(), TextOf(GetDlgItem(shown, id)));
            EXPECT_EQ(vx::test::FirstToolText(link->Tooltip()), target);
            EXPECT_TRUE(std::wstring(target).ends_with(L".example")) << target;
        }
        EXPECT_EQ(std::wstring(vx::ui::kMakerMailTarget), L"mailto:" + about.MailLink().Label());
        EXPECT_EQ(std::wstring(vx::ui::kMakerWebTarget), about.WebLink().Label());
        PostMessageW(shown, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    });
    EXPECT_EQ(about.Run(GetModuleHandleW(nullptr), window), IDCANCEL);
    EXPECT_EQ(closer.Seen().owner, window);
    RECT owner;
    GetWindowRect(window, &owner);
    EXPECT_EQ(box.left, (owner.left + owner.right) / 2 - (box.right - box.left) / 2);
    EXPECT_EQ(box.top, (owner.top + owner.bottom) / 2 - (box.bottom - box.top) / 2);
}

TEST(WindowPlacement, CentredPositionStaysInsideTheArea)
{
    const RECT area{0, 0, 1000, 700};
    const struct {
        LONG width;
        RECT owner;
        LONG x, y;
    } cases[] = {
        {1200, {0, 0, 1000, 700}, 0, 300}, // wider than the work area: its left edge
        {200, {900, 650, 1100, 750}, 800, 600},
        {200, {-300, -300, -100, -100}, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.width);
        const POINT pos = vx::ui::CentredPosition(c.width, 100, c.owner, area);
        EXPECT_EQ(pos.x, c.x);
        EXPECT_EQ(pos.y, c.y);
    }
}

} // namespace
