// PreviewWindow: a resizable window that shows one picture of the list as a run would write
// it: half size, with the mark typed so far. The picture is decoded and halved on a worker
// thread, so the dialog never waits for it; the mark is stamped on a copy whenever it
// changes. A picture larger than the window is shrunk to fit with smooth sampling; one that
// cannot be loaded shows why. Esc or the close box ends it; Close waits for the worker.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include "app/batch/CancelSignal.h"
#include "image/VxImage.h"

#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace vx::app {

// Posted by the worker to the preview window when the picture (or its error) is ready.
constexpr UINT kPreviewReadyMessage = WM_APP + 2;

class PreviewWindow {
public:
    explicit PreviewWindow(HINSTANCE instance) : m_instance(instance) {}
    ~PreviewWindow();
    PreviewWindow(const PreviewWindow&) = delete;
    PreviewWindow& operator=(const PreviewWindow&) = delete;

    // Shows the preview of `path` owned by `owner`, replacing one already open; false when
    // the window or its worker cannot be created.
    bool Open(HWND owner, const std::wstring& path, std::u16string_view mark, BYTE charset);
    // Stamps the new mark text on the shown picture.
    void SetMark(std::u16string_view mark);
    // Destroys the window and waits for the worker (a decode in progress is stopped).
    void Close();

    HWND Handle() const { return m_window; }
    bool IsOpen() const { return m_window != nullptr; }
    // The half-size picture with its mark, once ready; null while loading or after an error.
    const VxImage* Shown() const { return m_shown.get(); }
    // Why the picture cannot be shown; empty while loading or when it is shown.
    const std::wstring& ErrorText() const { return m_error; }
    // True once a WM_PAINT has drawn the picture.
    bool PicturePainted() const { return m_picturePainted; }

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void Load(HWND window); // worker thread; reports to `window`
    void TakeLoaded();
    void StampMark();
    void FitToPicture();
    void Render(HDC dc);
    void StopWorker();

    HINSTANCE m_instance;
    HWND m_window = nullptr;
    std::wstring m_path;
    std::u16string m_mark;
    BYTE m_charset = 0;

    std::thread m_worker;
    vx::batch::CancelSignal m_cancel;
    std::mutex m_loadedMutex; // guards the two fields below between the worker and the window
    std::unique_ptr<VxImage> m_loaded;
    std::wstring m_loadError;

    std::unique_ptr<VxImage> m_halfSize; // the worker's result, kept to stamp each new mark on
    std::unique_ptr<VxImage> m_shown;
    std::wstring m_error;
    bool m_picturePainted = false;
};

} // namespace vx::app
