// The preview window driven in-process: a double click on a row opens it at the half size
// of the picture, painted pixel for pixel from the marked picture; it follows the mark edit
// box; Enter on the focused row opens it too; an unreadable picture shows its error; Esc,
// the close box and closing the dialog end it, waiting for its worker.
#include "app/MainDialog.h"
#include "app/resource.h"
#include "image/VxImage.h"
#include "tests/support/TestSupport.h"
#include "tests/win32/MainDialogFixture.h"
#include "tests/win32/Win32TestSupport.h"

#include <commctrl.h>

#include <gtest/gtest.h>

#include <vector>

namespace {

using namespace vx::test;

class PreviewTest : public MainDialogFixture {
protected:
    void DoubleClickRow(int row)
    {
        HWND list = dialog.Pictures().Handle();
        RECT bounds{LVIR_LABEL, 0, 0, 0};
        SendMessageW(list, LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&bounds));
        const LPARAM at = MAKELPARAM(bounds.left + 4, (bounds.top + bounds.bottom) / 2);
        SendMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, at);
        SendMessageW(list, WM_LBUTTONUP, 0, at);
        SendMessageW(list, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
        SendMessageW(list, WM_LBUTTONUP, 0, at);
    }
    vx::app::PreviewWindow& Preview() { return dialog.Preview(); }
};

TEST_F(PreviewTest, DoubleClickShowsTheHalfSizeMarkedPictureAndFollowsTheMark)
{
    ASSERT_TRUE(WritePicture(scratch / "photo.jpg", 640, 480));
    Add(scratch / "photo.jpg");
    DoubleClickRow(0);
    ASSERT_TRUE(Preview().IsOpen());
    ASSERT_TRUE(PumpUntil([&] { return Preview().Shown() && Preview().PicturePainted(); }));
    const VxImage& shown = *Preview().Shown();
    EXPECT_EQ(shown.Width(), 320);
    EXPECT_EQ(shown.Height(), 240);
    RECT client;
    GetClientRect(Preview().Handle(), &client);
    EXPECT_EQ(client.right, 320);
    EXPECT_EQ(client.bottom, 240);
    EXPECT_LT(MaxRedness(shown, 0, 0, 320, 60), 0) << "no mark typed yet";

    // At its own size the window shows the picture's pixels exactly.
    const std::vector<std::uint32_t> painted = PaintedClient(Preview().Handle(), 320, 240);
    int differing = 0;
    for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 320; ++x) {
            const RGBQUAD c = shown.PixelColour(x, 239 - y, false);
            const std::uint32_t want = (std::uint32_t{c.rgbRed} << 16) | (c.rgbGreen << 8) | c.rgbBlue;
            differing += (painted[static_cast<std::size_t>(y) * 320 + x] & 0xFFFFFF) != want;
        }
    EXPECT_EQ(differing, 0);

    SetDlgItemTextW(window, IDC_MARK, L"MMMM");
    ASSERT_NE(Preview().Shown(), nullptr);
    EXPECT_GT(MaxRedness(*Preview().Shown(), 0, 0, 320, 60), 100) << "the red mark typed so far";

    HWND preview = Preview().Handle();
    SendMessageW(preview, WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_FALSE(Preview().IsOpen());
    EXPECT_FALSE(IsWindow(preview));
}

// Enter on the focused row opens it, an unreadable picture shows why, the close box ends the
// preview; closing the dialog while a large picture is worked on closes the preview and waits
// for its worker.
TEST_F(PreviewTest, EnterOpensTheFocusedRowErrorsShowAndClosingWaitsForTheWorker)
{
    WriteFileBytes(scratch / "broken.jpg", {'n', 'o', 't', ' ', 'a', ' ', 'p', 'i', 'c'});
    ASSERT_TRUE(WritePicture(scratch / "large.jpg", 3000, 2000));
    Add(scratch / "large.jpg");
    Add(scratch / "broken.jpg");
    HWND list = dialog.Pictures().Handle();
    ListView_SetItemState(list, 0, LVIS_FOCUSED | LVIS_SELECTED, LVIS_FOCUSED | LVIS_SELECTED);
    MSG enter{list, WM_KEYDOWN, VK_RETURN, 0x001C0001, 0, {}};
    EXPECT_TRUE(dialog.PreTranslateMessage(enter)) << "taken: not the dialog's IDOK";
    ASSERT_TRUE(Preview().IsOpen());
    ASSERT_TRUE(PumpUntil([&] { return !Preview().ErrorText().empty(); }));
    EXPECT_NE(Preview().ErrorText().find(Wide(scratch / "broken.jpg")), std::wstring::npos);
    EXPECT_EQ(Preview().Shown(), nullptr);
    HWND preview = Preview().Handle();
    SendMessageW(preview, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_FALSE(Preview().IsOpen());
    EXPECT_FALSE(IsWindow(preview));

    DoubleClickRow(1);
    ASSERT_TRUE(Preview().IsOpen());
    preview = Preview().Handle();
    Click(IDCANCEL);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_FALSE(IsWindow(preview));
    EXPECT_FALSE(Preview().IsOpen());
}

} // namespace
