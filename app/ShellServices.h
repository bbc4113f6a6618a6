// ShellServices: the system dialogs and shell calls the main dialog uses, behind one small
// interface so tests can supply results. SystemShellServices is the real thing: the
// open-file dialog for pictures, the folder browser and "explore" on a directory.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace vx::app {

class ShellServices {
public:
    virtual ~ShellServices() = default;
    // The open-file dialog with multi-selection; `buffer` (capacity units, zero-filled)
    // receives the selection as the dialog writes it. False when cancelled or failed.
    virtual bool ChoosePictureFiles(HWND owner, HINSTANCE instance, wchar_t* buffer, DWORD capacity) = 0;
    // The folder browser; `path` (MAX_PATH units) receives the chosen directory. False
    // when cancelled or when the choice is not a file-system directory.
    virtual bool ChooseFolder(HWND owner, wchar_t* path) = 0;
    // Shows the directory in the shell; the outcome is not reported.
    virtual void Explore(const wchar_t* directory) = 0;
};

class SystemShellServices : public ShellServices {
public:
    bool ChoosePictureFiles(HWND owner, HINSTANCE instance, wchar_t* buffer, DWORD capacity) override;
    bool ChooseFolder(HWND owner, wchar_t* path) override;
    void Explore(const wchar_t* directory) override;
};

} // namespace vx::app
