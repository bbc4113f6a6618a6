// Console helpers on Windows: the arguments are rebuilt from the wide command line and
// converted to UTF-8, and the console is switched to the UTF-8 code page for output.
#include "platform/Console.h"
#include "platform/FileSystem.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <shellapi.h>
#include <io.h>

namespace vx::platform {

std::vector<std::string> Utf8Arguments(int argc, char** argv)
{
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr)
        return std::vector<std::string>(argv, argv + argc);
    std::vector<std::string> arguments;
    for (int i = 0; i < count; ++i)
        arguments.push_back(vx::fs::ToUtf8(reinterpret_cast<const char16_t*>(wide[i])));
    LocalFree(wide);
    return arguments;
}

void UseUtf8Console()
{
    SetConsoleOutputCP(CP_UTF8);
}

bool IsTerminal(std::FILE* stream)
{
    return _isatty(_fileno(stream)) != 0;
}

} // namespace vx::platform
