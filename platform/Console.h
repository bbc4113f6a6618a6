// The console side of a command-line program: its arguments as UTF-8 (on Windows rebuilt
// from the wide command line, since the narrow one loses characters outside the code page),
// UTF-8 output, and whether a stream is an interactive terminal.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace vx::platform {

std::vector<std::string> Utf8Arguments(int argc, char** argv);
// Makes the console show UTF-8 output as text (a no-op where that is the default).
void UseUtf8Console();
bool IsTerminal(std::FILE* stream);

} // namespace vx::platform
