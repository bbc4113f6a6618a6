// Console helpers on POSIX systems, where arguments and terminals already speak UTF-8.
#include "platform/Console.h"

#include <unistd.h>

namespace vx::platform {

std::vector<std::string> Utf8Arguments(int argc, char** argv)
{
    return std::vector<std::string>(argv, argv + argc);
}

void UseUtf8Console()
{
}

bool IsTerminal(std::FILE* stream)
{
    return isatty(fileno(stream)) != 0;
}

} // namespace vx::platform
