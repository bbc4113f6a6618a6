// "vantry-cli resize": the batch run of the Windows program over a list of files given on
// the command line, with the log on stdout and, on a terminal, a progress bar on stderr.
#pragma once

#include "cli/RunCli.h"

namespace vx::cli {

int RunResize(const std::vector<std::string>& args, CliEnvironment& env);

} // namespace vx::cli
