// Entry point of Vantry.exe (GUI subsystem, Unicode). Pictures and folders named on the
// command line ("Send to", "Open with") start in the picture list.
#include "app/Application.h"
#include "app/PictureSources.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    vx::app::SystemShellServices shell;
    return vx::app::RunVantry(GetModuleHandleW(nullptr), vx::app::StartupShowCommand(), shell,
                              vx::app::CommandLinePaths(GetCommandLineW()));
}
