// The log pane over a list box of its own: formatted lines, the 511-character cut, the
// selection of the newest line and the horizontal extent through adds and deletes.
#include "app/LogPane.h"
#include "tests/win32/Win32TestSupport.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class LogPaneTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        listBox = CreateWindowExW(0, L"ListBox", nullptr, WS_POPUP | WS_VSCROLL | WS_HSCROLL | LBS_NOTIFY, 0, 0, 200,
                                  100, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(listBox, nullptr);
        SendMessageW(listBox, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
        ASSERT_TRUE(pane.Attach(listBox));
    }
    void TearDown() override { DestroyWindow(listBox); }

    std::wstring Line(int index) const
    {
        std::wstring text(static_cast<size_t>(SendMessageW(listBox, LB_GETTEXTLEN, index, 0)) + 1, L'\0');
        text.resize(static_cast<size_t>(SendMessageW(listBox, LB_GETTEXT, index, reinterpret_cast<LPARAM>(text.data()))));
        return text;
    }
    LRESULT Extent() const { return SendMessageW(listBox, LB_GETHORIZONTALEXTENT, 0, 0); }

    HWND listBox = nullptr;
    vx::app::LogPane pane;
};

TEST_F(LogPaneTest, FormatsAppendsAndSelectsTheNewLine)
{
    EXPECT_EQ(pane.AppendLog(L"Begin to resize:%d", 3), 0);
    EXPECT_EQ(pane.AppendLog(L"Resize %d Pictures Finished!", 3), 1);
    EXPECT_EQ(Line(0), L"Begin to resize:3");
    EXPECT_EQ(Line(1), L"Resize 3 Pictures Finished!");
    EXPECT_EQ(SendMessageW(listBox, LB_GETCURSEL, 0, 0), 1);
}

TEST_F(LogPaneTest, LongLinesAreCutTo511Characters)
{
    const std::wstring text(700, L'x');
    pane.AppendLog(L"%ls", text.c_str());
    EXPECT_EQ(Line(0), std::wstring(511, L'x'));
}

TEST_F(LogPaneTest, ExtentFollowsTheWidestLine)
{
    pane.AppendLog(L"short");
    const LRESULT shortExtent = Extent();
    EXPECT_GT(shortExtent, 3 * GetSystemMetrics(SM_CXBORDER));
    pane.AppendLog(L"a much, much longer line of the log pane");
    const LRESULT longExtent = Extent();
    EXPECT_GT(longExtent, shortExtent);
    pane.AppendLog(L"mid");
    EXPECT_EQ(Extent(), longExtent);
    EXPECT_EQ(pane.MaxExtent(), longExtent);

    // Deleting the widest line measures the rest again.
    SendMessageW(listBox, LB_DELETESTRING, 1, 0);
    EXPECT_EQ(Extent(), shortExtent);
    EXPECT_EQ(pane.MaxExtent(), shortExtent);

    pane.Clear();
    EXPECT_EQ(pane.MaxExtent(), 0);
    EXPECT_EQ(SendMessageW(listBox, LB_GETCOUNT, 0, 0), 0);
}

TEST(LogPaneDetached, AppendWithoutAListBoxReturnsZero)
{
    vx::app::LogPane pane;
    EXPECT_EQ(pane.AppendLog(L"lost %d", 1), 0);
}

} // namespace
