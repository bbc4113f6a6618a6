// Helpers for driving the Windows program in-process: message pumping with time-outs, a
// thread timer that answers the next modal box from inside its loop, a scripted stand-in
// for the shell services (picture files: tests/app/batch/PictureFiles.h), and what windows show.
#pragma once

#include "app/ShellServices.h"
#include "tests/app/batch/PictureFiles.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace vx::test {

// Dispatches this thread's messages for about `milliseconds` (WM_QUIT is consumed).
void PumpMessages(int milliseconds);
// Dispatches messages until `done` holds or `timeoutMs` passes; returns `done()`.
bool PumpUntil(const std::function<bool()>& done, int timeoutMs = 20000);

// The first visible top-level window of this thread other than `ignore` with the class name
// and the caption given (null: any).
HWND FindThreadWindow(const wchar_t* className, const wchar_t* caption, HWND ignore = nullptr);

struct ModalBoxSeen {
    bool found = false;
    std::wstring text; // the message box text (static 0xFFFF), if any
    HWND owner = nullptr;
};

// Arm just before the call that runs a modal loop: a thread timer finds the first visible
// dialog of this thread other than `ignore`, calls `inspect` on it and then sends it
// WM_COMMAND `commandId` (none for 0: `inspect` then ends the box). A box still open 3 s
// later is cancelled, so a test fails rather than hangs.
class ModalBoxCloser {
public:
    ModalBoxCloser(HWND ignore, int commandId, std::function<void(HWND)> inspect = {});
    ~ModalBoxCloser();
    const ModalBoxSeen& Seen() const { return m_seen; }

private:
    static void CALLBACK OnTimer(HWND, UINT, UINT_PTR, DWORD);
    UINT_PTR m_timer;
    HWND m_ignore;
    int m_commandId;
    int m_ticksAfter = 0;
    std::function<void(HWND)> m_inspect;
    ModalBoxSeen m_seen;
};

// The open-file dialog, folder browser and explore calls, answered from a script.
class FakeShellServices : public vx::app::ShellServices {
public:
    // The next open-file answer: one full path, or a directory followed by file names.
    // Without one (each is used once) the dialog is cancelled.
    void Select(const std::wstring& first, const std::vector<std::wstring>& names = {});

    bool ChoosePictureFiles(HWND owner, HINSTANCE instance, wchar_t* buffer, DWORD capacity) override;
    bool ChooseFolder(HWND owner, wchar_t* path) override;
    void Explore(const wchar_t* directory) override { explored.emplace_back(directory); }

    std::wstring folder; // the folder browser's answer; empty: cancelled
    DWORD lastCapacity = 0;
    std::vector<std::wstring> explored;

private:
    std::wstring m_selection; // NUL-separated, as the dialog writes it
};

// The strongest "redness" (R minus the mean of G and B) found in the rectangle
// [left, right) x [top, bottom), rows counted from the top of the picture.
int MaxRedness(const VxImage& image, int left, int top, int right, int bottom);

// The text of a tooltip control's first tool, or "<no tool>".
std::wstring FirstToolText(HWND tooltip);

// The window's client area as WM_PRINTCLIENT paints it, rows from the top, 0x00RRGGBB.
std::vector<std::uint32_t> PaintedClient(HWND window, int width, int height);

inline std::wstring Wide(const std::filesystem::path& path)
{
    return path.wstring();
}

} // namespace vx::test
