// A main dialog created, shown and destroyed around each test, with scripted shell services
// and a click helper: the starting point of the in-process tests of the Windows program.
// A derived fixture may give the dialog its start-up pictures in its constructor.
#pragma once

#include "app/MainDialog.h"
#include "app/resource.h"
#include "tests/support/TestSupport.h"
#include "tests/win32/Win32TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

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
    // Adds pictures as the open-file dialog answers: one full path, or a directory and names.
    void Add(const std::filesystem::path& first, const std::vector<std::wstring>& names = {})
    {
        shell.Select(first.wstring(), names);
        Click(IDC_ADD_PICTURES);
    }

    // The paths of the picture list, top row first.
    std::vector<std::wstring> Rows() const
    {
        std::vector<std::wstring> rows;
        for (int i = 0; i < dialog.Pictures().Count(); ++i)
            rows.push_back(dialog.Pictures().PathAt(i));
        return rows;
    }

    ScratchDir scratch;
    FakeShellServices shell;
    vx::app::MainDialog dialog{GetModuleHandleW(nullptr), shell, nullptr};
    HWND window = nullptr;
};

} // namespace vx::test
