// Binds C++ objects to Win32 windows. DialogWindow hands every message of a dialog, from
// WM_INITDIALOG on, to the object given as the dialog's creation parameter.
// SubclassedWindow takes over an existing control's window procedure, sees each message
// first and passes on to the control's own procedure what it does not answer itself.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace vx::ui {

class DialogWindow {
public:
    DialogWindow() = default;
    virtual ~DialogWindow() = default;
    DialogWindow(const DialogWindow&) = delete;
    DialogWindow& operator=(const DialogWindow&) = delete;

    HWND Handle() const { return m_hWnd; }

    // The dialog procedure to give CreateDialogParamW/DialogBoxParamW together with the
    // object itself as the initialisation parameter.
    static INT_PTR CALLBACK StartDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

protected:
    // Returns true when the message was handled; `result` is then its answer (for
    // WM_INITDIALOG: whether the system should set the default focus).
    virtual bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) = 0;

    HWND m_hWnd = nullptr;
};

class SubclassedWindow {
public:
    SubclassedWindow() = default;
    virtual ~SubclassedWindow();
    SubclassedWindow(const SubclassedWindow&) = delete;
    SubclassedWindow& operator=(const SubclassedWindow&) = delete;

    // Replaces the control's window procedure; false when the control is not a window or
    // already belongs to an object.
    bool Subclass(HWND control);
    // Gives the control its own procedure back (nothing when not attached).
    void Unsubclass();
    HWND Handle() const { return m_hWnd; }

protected:
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT CallPrevious(UINT message, WPARAM wParam, LPARAM lParam);

    HWND m_hWnd = nullptr;

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    WNDPROC m_previous = nullptr;
};

} // namespace vx::ui
