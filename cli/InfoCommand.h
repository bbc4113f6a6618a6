// "vantry-cli info": one line per picture file (format, size, depth, resolution, frames),
// or one JSON object per line with --json, EXIF fields included for JPEG files.
#pragma once

#include "cli/RunCli.h"

namespace vx::cli {

int RunInfo(const std::vector<std::string>& args, CliEnvironment& env);

} // namespace vx::cli
