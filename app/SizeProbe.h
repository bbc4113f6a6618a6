// SizeProbe: background threads that learn the width and height of every picture that
// was listed when each started and report each size, together with its path, to the
// window that owns the list. The owner writes the size onto the row that holds that path
// then, so a size never lands on another picture's row. The owner stops and waits for its
// probes before it goes away, so none outlives the program's state.
#pragma once

#include "app/batch/CancelSignal.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <string>
#include <vector>

namespace vx::app {

// Sent (synchronously) to the owner window for each probed picture; lParam points to a
// ProbedSize that lives until SendMessageW returns.
constexpr UINT kSizeProbedMessage = WM_APP + 1;

struct ProbedSize {
    const wchar_t* path;
    const wchar_t* sizeText; // "%d*%d"; "0*0" when no codec can read the picture
};

struct PictureSize {
    int width = 0;
    int height = 0; // both 0 when the file is no picture any codec can read
};

// The picture's width and height, from its header where the codec can give that alone, else
// from a full decode. A raised `cancel` stops a decode in progress.
PictureSize ProbePicture(const wchar_t* path, vx::batch::CancelSignal& cancel);
// ProbePicture's result as "%d*%d" ("0*0" when the file cannot be read).
std::wstring ProbePictureSize(const wchar_t* path, vx::batch::CancelSignal& cancel);

class SizeProbes {
public:
    SizeProbes() = default;
    ~SizeProbes() { StopAll(); }
    SizeProbes(const SizeProbes&) = delete;
    SizeProbes& operator=(const SizeProbes&) = delete;

    // Starts a probe thread over `paths`; false when no thread could be started.
    bool Start(HWND owner, std::vector<std::wstring> paths);
    // Stops every probe before its next picture (and inside its current decode) and waits
    // for all of them, serving the messages they send to this thread meanwhile.
    void StopAll();

private:
    void ForgetFinished();

    vx::batch::CancelSignal m_cancel;
    std::vector<HANDLE> m_threads;
};

} // namespace vx::app
