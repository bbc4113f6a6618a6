// Entry point of Vantry.exe (GUI subsystem, Unicode). The command line is not used.
#include "app/Application.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    vx::app::SystemShellServices shell;
    return vx::app::RunVantry(GetModuleHandleW(nullptr), vx::app::StartupShowCommand(), shell);
}
