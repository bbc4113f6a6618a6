// Dialog and subclass binding. A dialog keeps its object in DWLP_USER from WM_INITDIALOG
// on; a subclassed control keeps its object in a window property, so the binding needs no
// global table and each window finds its own object.
#include "ui/WindowBinding.h"

namespace vx::ui {

namespace {

const wchar_t kObjectProperty[] = L"Vantry.SubclassedWindow";

// Messages whose answer a dialog procedure returns directly instead of in DWLP_MSGRESULT.
bool AnswersDirectly(UINT message)
{
    switch (message) {
    case WM_INITDIALOG:
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
    case WM_COMPAREITEM:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
    case WM_QUERYDRAGICON:
        return true;
    default:
        return false;
    }
}

} // namespace

INT_PTR CALLBACK DialogWindow::StartDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        auto* self = reinterpret_cast<DialogWindow*>(lParam);
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        if (self)
            self->m_hWnd = window;
    }
    auto* self = reinterpret_cast<DialogWindow*>(GetWindowLongPtrW(window, DWLP_USER));
    if (!self)
        return FALSE;

    LRESULT result = 0;
    const bool handled = self->HandleMessage(message, wParam, lParam, result);
    if (message == WM_NCDESTROY) {
        // The window is gone: the object may outlive it, but must no longer reach it.
        SetWindowLongPtrW(window, DWLP_USER, 0);
        self->m_hWnd = nullptr;
    }
    if (!handled)
        return FALSE;
    if (AnswersDirectly(message))
        return static_cast<INT_PTR>(result);
    SetWindowLongPtrW(window, DWLP_MSGRESULT, result);
    return TRUE;
}

SubclassedWindow::~SubclassedWindow()
{
    Unsubclass();
}

bool SubclassedWindow::Subclass(HWND control)
{
    if (m_hWnd || !IsWindow(control) || GetPropW(control, kObjectProperty))
        return false;
    if (!SetPropW(control, kObjectProperty, this))
        return false;
    m_hWnd = control;
    m_previous = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&SubclassedWindow::Procedure)));
    if (!m_previous) {
        RemovePropW(control, kObjectProperty);
        m_hWnd = nullptr;
        return false;
    }
    return true;
}

void SubclassedWindow::Unsubclass()
{
    if (!m_hWnd)
        return;
    // Only put the old procedure back when nobody subclassed the control after us.
    if (GetWindowLongPtrW(m_hWnd, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(&SubclassedWindow::Procedure))
        SetWindowLongPtrW(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_previous));
    RemovePropW(m_hWnd, kObjectProperty);
    m_hWnd = nullptr;
}

LRESULT SubclassedWindow::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    return CallPrevious(message, wParam, lParam);
}

LRESULT SubclassedWindow::CallPrevious(UINT message, WPARAM wParam, LPARAM lParam)
{
    return CallWindowProcW(m_previous, m_hWnd, message, wParam, lParam);
}

LRESULT CALLBACK SubclassedWindow::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* self = static_cast<SubclassedWindow*>(GetPropW(window, kObjectProperty));
    if (!self)
        return DefWindowProcW(window, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        const WNDPROC previous = self->m_previous;
        self->Unsubclass();
        return CallWindowProcW(previous, window, message, wParam, lParam);
    }
    return self->WindowProc(message, wParam, lParam);
}

} // namespace vx::ui
