// MainDialog: the program's main window, a modeless dialog from resource 129. It holds the
// mark edit box, the destination with its folder browser, the picture list, the Start
// button with the progress bar and the log pane, and routes each command by control id.
// Pictures also arrive by drag and drop and from the command line; a row opens the preview.
// Runs go through the portable BatchRunner; the dialog is its sink, reaching the controls
// with SendMessageW and EnableWindow from the worker thread.
#pragma once

#include "app/LogPane.h"
#include "app/MessageLoop.h"
#include "app/PictureList.h"
#include "app/PreviewWindow.h"
#include "app/ShellServices.h"
#include "app/SizeProbe.h"
#include "app/batch/BatchRunner.h"
#include "ui/WindowBinding.h"

#include <shellapi.h>

#include <string>
#include <vector>

namespace vx::app {

class MainDialog : public vx::ui::DialogWindow, public MessageFilter, private vx::batch::BatchSink {
public:
    static constexpr DWORD kFileBufferUnits = 50120;
    static constexpr int kMarkUnits = 256; // the mark is cut to 255 characters

    // `loop` (may be null) gets the dialog's keyboard filter while the window exists.
    MainDialog(HINSTANCE instance, ShellServices& shell, MessageLoop* loop);
    ~MainDialog() override;

    // Pictures (files or folders) the list starts with; set before Create.
    void SetStartupPictures(std::vector<std::wstring> paths) { m_startupPictures = std::move(paths); }
    // Creates the window (hidden, no owner); false when that fails.
    bool Create();
    bool PreTranslateMessage(MSG& message) override;

    const wchar_t* DestPath() const { return m_szDestPath; }
    const PictureList& Pictures() const { return m_pictures; }
    LogPane& Log() { return m_logPane; }
    const vx::batch::BatchRunner& Runner() const { return m_runner; }
    PreviewWindow& Preview() { return m_preview; }

protected:
    bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    void OnInitDialog();
    void OnCommand(int id);
    // The picture list's notifications: the Delete key removes the selected row, a double
    // click previews the row.
    LRESULT OnNotify(const NMHDR& header);
    void OpenPreview(int row);
    std::u16string MarkText() const;
    void Close(int id);
    void AddPictures();
    // Adds the paths by the add command's rules (each on top, duplicates skipped), then
    // probes the sizes of every row.
    void AddPictureFiles(const std::vector<std::wstring>& paths);
    void OnDropFiles(HDROP drop);
    void StartRun();
    void BrowseForDestination();
    void ShowDestination(const wchar_t* path);
    // Cancels a run in progress and the size probes and waits for their threads, serving
    // the messages they send meanwhile.
    void StopWorkers();

    // BatchSink: called on the UI thread during Start and on the worker afterwards.
    void LogLine(std::u16string_view line) override;
    void SetProgressRange(int minimum, int maximum) override;
    void SetProgressPosition(int position) override;
    void SetStartEnabled(bool enabled) override;
    void ShowMessage(std::u16string_view text, std::u16string_view caption, vx::batch::MessageOwner owner) override;

    HINSTANCE m_instance;
    ShellServices& m_shell;
    MessageLoop* m_loop;
    PictureList m_pictures;
    SizeProbes m_probes;
    vx::batch::BatchRunner m_runner; // run state: jobs, counters and the mark style
    LogPane m_logPane;
    PreviewWindow m_preview;
    HWND m_progress = nullptr;
    HWND m_tabs = nullptr;
    HICON m_bigIcon = nullptr;   // loaded for the window, destroyed with the dialog object
    HICON m_smallIcon = nullptr;
    wchar_t m_szDestPath[MAX_PATH] = {};
    std::vector<std::wstring> m_startupPictures;
};

} // namespace vx::app
