// vantry-cli: the command-line front end. Everything happens in RunCli; this file only
// connects it to the process: UTF-8 arguments, the standard streams and Ctrl-C.
#include "cli/RunCli.h"

#include "platform/Console.h"

#include <atomic>
#include <csignal>
#include <iostream>
#include <string_view>

namespace {

std::atomic<bool> g_interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the signal handler needs a lock-free flag");

extern "C" void OnInterrupt(int)
{
    g_interrupted.store(true);
}

} // namespace

int main(int argc, char** argv)
{
    vx::platform::UseUtf8Console();
    // resize stops cleanly between pictures and inside one; the other commands keep the
    // default Ctrl-C, which ends them at once (they leave no partial output behind).
    if (argc > 1 && std::string_view(argv[1]) == "resize")
        std::signal(SIGINT, OnInterrupt);
    vx::cli::CliEnvironment env{std::cout, std::cerr, vx::platform::IsTerminal(stderr), &g_interrupted};
    return vx::cli::RunCli(vx::platform::Utf8Arguments(argc, argv), env);
}
