// vantry-cli run in-process for the command-line suites: the arguments after the program
// name, what it printed on each stream and its exit status.
#pragma once

#include "cli/RunCli.h"

#include <sstream>
#include <string>
#include <vector>

namespace vx::test {

struct CliResult {
    int status;
    std::string out;
    std::string err;
};

inline CliResult Cli(std::vector<std::string> args)
{
    args.insert(args.begin(), "vantry-cli");
    std::ostringstream out, err;
    vx::cli::CliEnvironment env{out, err, false, nullptr};
    const int status = vx::cli::RunCli(args, env);
    return {status, out.str(), err.str()};
}

} // namespace vx::test
