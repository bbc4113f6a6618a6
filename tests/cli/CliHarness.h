// vantry-cli run in-process for the command-line suites: the arguments after the program
// name, what it printed on each stream and its exit status.
#pragma once

#include "cli/RunCli.h"

#include <atomic>
#include <sstream>
#include <string>
#include <vector>

namespace vx::test {

struct CliResult {
    int status;
    std::string out;
    std::string err;
};

// `interrupted`, when given, stands for Ctrl+C.
inline CliResult Cli(std::vector<std::string> args, const std::atomic<bool>* interrupted = nullptr)
{
    args.insert(args.begin(), "vantry-cli");
    std::ostringstream out, err;
    vx::cli::CliEnvironment env{out, err, false, interrupted};
    const int status = vx::cli::RunCli(args, env);
    return {status, out.str(), err.str()};
}

} // namespace vx::test
