// The About box: centred on its owner, two default-style links set up at WM_INITDIALOG,
// closed by OK, Escape or the close box with the command id as its result.
#include "ui/AboutDialog.h"

#include "ui/AboutResource.h"
#include "ui/WindowPlacement.h"

namespace vx::ui {

INT_PTR AboutDialog::Run(HINSTANCE instance, HWND owner)
{
    return DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_ABOUTBOX), owner, &DialogWindow::StartDialogProc,
                           reinterpret_cast<LPARAM>(this));
}

bool AboutDialog::HandleMessage(UINT message, WPARAM wParam, LPARAM, LRESULT& result)
{
    switch (message) {
    case WM_INITDIALOG:
        CentreWindow(m_hWnd);
        if (m_mailLink.SubclassAndInit(GetDlgItem(m_hWnd, IDC_MAIL_LINK)))
            m_mailLink.SetTarget(kMakerMailTarget);
        if (m_webLink.SubclassAndInit(GetDlgItem(m_hWnd, IDC_WEB_LINK)))
            m_webLink.SetTarget(kMakerWebTarget);
        result = TRUE;
        return true;
    case WM_COMMAND: {
        const int id = LOWORD(wParam);
        if (id == IDOK || id == IDCANCEL) {
            EndDialog(m_hWnd, id);
            result = 0;
            return true;
        }
        return false;
    }
    default:
        return false;
    }
}

LRESULT ShowAbout(HINSTANCE instance)
{
    AboutDialog dialog;
    dialog.Run(instance, GetActiveWindow());
    return 0;
}

} // namespace vx::ui
