// A main dialog created, shown and destroyed around each test, with scripted shell services
// and a click helper: the starting point of the in-process tests of the Windows program.
#pragma once

#include "app/MainDialog.h"
#include "tests/win32/Win32TestSupport.h"

#include <gtest/gtest.h>

namespace vx::test {

class MainDialogFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dialog.Create());
        window = dialog.Handle();
        ShowWindow(window, SW_SHOW);
        PumpMessages(0);
    }
    void TearDown() override
    {
        if (IsWindow(window))
            DestroyWindow(window);
        PumpMessages(0);
    }

    void Click(int id) { SendMessageW(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }

    FakeShellServices shell;
    vx::app::MainDialog dialog{GetModuleHandleW(nullptr), shell, nullptr};
    HWND window = nullptr;
};

} // namespace vx::test
