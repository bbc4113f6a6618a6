// vantry-cli as a library: the whole command line runs in-process against the streams
// given, so tests drive it the same way main() does. Exit statuses follow Unix tools.
#pragma once

#include <atomic>
#include <ostream>
#include <string>
#include <vector>

namespace vx::cli {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;      // some file could not be processed
constexpr int kExitUsage = 2;       // the command line is unusable
constexpr int kExitInterrupted = 130; // stopped by Ctrl-C (128 + SIGINT)

struct CliEnvironment {
    std::ostream& out;
    std::ostream& err;
    bool errIsTerminal = false;                    // draw a progress bar on `err`
    const std::atomic<bool>* interrupted = nullptr; // set asynchronously by Ctrl-C
};

// `args` as main() gets them, UTF-8, the program name first.
int RunCli(const std::vector<std::string>& args, CliEnvironment& env);

// "vantry-cli: <text>" on the error stream.
void ReportError(CliEnvironment& env, const std::string& text);

} // namespace vx::cli
