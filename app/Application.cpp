// The program from its entry to the end of the message loop, in start-up order:
// show command, COM, common controls (bar and cool classes), the main dialog with the
// pictures named on the command line, the loop; then the dialog object, the loop's state
// and COM are released in reverse.
#include "app/Application.h"

#include "app/MainDialog.h"
#include "app/MessageLoop.h"

#include <commctrl.h>
#include <objbase.h>

#include <memory>
#include <new>

namespace vx::app {

int StartupShowCommand()
{
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    GetStartupInfoW(&startup);
    return (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : SW_SHOWDEFAULT;
}

int RunVantry(HINSTANCE instance, int showCommand, ShellServices& shell, std::vector<std::wstring> pictures)
{
    const HRESULT com = CoInitialize(nullptr);
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_BAR_CLASSES | ICC_COOL_CLASSES};
    InitCommonControlsEx(&controls);

    int exitCode = 0;
    {
        MessageLoop loop;
        std::unique_ptr<MainDialog> dialog(new (std::nothrow) MainDialog(instance, shell, &loop));
        if (dialog)
            dialog->SetStartupPictures(std::move(pictures));
        if (dialog && dialog->Create()) {
            ShowWindow(dialog->Handle(), showCommand);
            exitCode = loop.Run();
        }
    }
    if (SUCCEEDED(com))
        CoUninitialize();
    return exitCode;
}

} // namespace vx::app
