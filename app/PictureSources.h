// Where pictures come from besides the open-file dialog: the program's command line
// ("Send to", "Open with", a shortcut) and files or folders dropped from the shell. A folder
// stands for the pictures directly inside it, recognised by their content, not by their
// extension, and not looking into its subfolders; a file stands for itself.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <string>
#include <vector>

namespace vx::app {

// The arguments after the program's name, each made a full path (relative ones against the
// current directory), in their order.
std::vector<std::wstring> CommandLinePaths(const wchar_t* commandLine);

// The files of a shell drop, in the order the drop lists them.
std::vector<std::wstring> DroppedPaths(HDROP drop);

// Files as they are and folders replaced by the pictures inside them, sorted by name without
// regard to case. Names that exist as neither are kept, so the list reports them like the
// open-file dialog's.
std::vector<std::wstring> ExpandFolders(const std::vector<std::wstring>& paths);

} // namespace vx::app
