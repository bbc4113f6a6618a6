// Start-up and shutdown of the Windows program: COM and common-control initialisation,
// the main dialog created modeless from its resource, the message loop, and the exit code
// (1 after IDOK, 2 after IDCANCEL, 0 when the dialog cannot be created).
#pragma once

#include "app/ShellServices.h"

#include <string>
#include <vector>

namespace vx::app {

// The window's show command: the start-up information's when it carries one, else
// SW_SHOWDEFAULT.
int StartupShowCommand();

// Runs the program in the calling thread and returns its exit code; the picture list starts
// with `pictures` (files, or folders standing for the pictures inside them).
int RunVantry(HINSTANCE instance, int showCommand, ShellServices& shell,
              std::vector<std::wstring> pictures = {});

} // namespace vx::app
