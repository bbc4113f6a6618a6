// AboutDialog: the modal About box (dialog resource 100) with the program's icon, name,
// version, author and two links: the maker's e-mail address and web site.
#pragma once

#include "ui/AboutResource.h"
#include "ui/HyperLink.h"
#include "ui/WindowBinding.h"

namespace vx::ui {

// What the two links open.
inline constexpr wchar_t kMakerMailTarget[] = L"mailto:" VX_MAKER_MAIL;
inline constexpr wchar_t kMakerWebTarget[] = L"" VX_MAKER_WEB;

class AboutDialog : public DialogWindow {
public:
    AboutDialog() = default;

    // Runs the box modally, owned by `owner`; returns how it ended (IDOK or IDCANCEL),
    // or -1 when the dialog could not be created.
    INT_PTR Run(HINSTANCE instance, HWND owner);

    HyperLink& MailLink() { return m_mailLink; }
    HyperLink& WebLink() { return m_webLink; }

protected:
    bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    HyperLink m_mailLink;
    HyperLink m_webLink;
};

// The main dialog's About command: the box owned by the active window.
LRESULT ShowAbout(HINSTANCE instance);

} // namespace vx::ui
