// "vantry-cli convert": load a picture by its content and save it in another format.
#pragma once

#include "cli/RunCli.h"

namespace vx::cli {

int RunConvert(const std::vector<std::string>& args, CliEnvironment& env);

} // namespace vx::cli
