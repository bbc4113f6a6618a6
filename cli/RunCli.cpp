// The top level of vantry-cli: global options and the choice of sub-command.
#include "cli/RunCli.h"

#include "cli/ConvertCommand.h"
#include "cli/InfoCommand.h"
#include "cli/ResizeCommand.h"

#ifndef VANTRY_VERSION
#define VANTRY_VERSION "0.0.0"
#endif

namespace vx::cli {

namespace {

constexpr const char* kUsage =
    "Usage: vantry-cli COMMAND [OPTION]... [ARGUMENT]...\n"
    "Halve pictures and stamp a text mark on them, convert pictures between formats,\n"
    "and show what a picture file holds.\n"
    "\n"
    "Commands:\n"
    "  resize [--mark TEXT] [--dest DIR] [--jobs N] [--recursive] [--keep-metadata]\n"
    "         [--auto-orient] FILE...\n"
    "  convert [--type FORMAT] [--quality Q] INPUT OUTPUT\n"
    "  info [--json] FILE...\n"
    "\n"
    "  -h, --help     show this help (or a command's, after its name)\n"
    "      --version  show the version\n"
    "\n"
    "Exit status: 0 success, 1 a file failed, 2 usage error, 130 interrupted.\n";

} // namespace

void ReportError(CliEnvironment& env, const std::string& text)
{
    env.err << "vantry-cli: " << text << '\n';
    env.err.flush();
}

int RunCli(const std::vector<std::string>& args, CliEnvironment& env)
{
    if (args.size() < 2) {
        env.err << kUsage;
        return kExitUsage;
    }
    const std::string& command = args[1];
    if (command == "-h" || command == "--help") {
        env.out << kUsage;
        return kExitOk;
    }
    if (command == "--version") {
        env.out << "vantry-cli " VANTRY_VERSION "\n";
        return kExitOk;
    }
    if (command == "resize")
        return RunResize(args, env);
    if (command == "convert")
        return RunConvert(args, env);
    if (command == "info")
        return RunInfo(args, env);
    ReportError(env, "unknown command '" + command + "' (try 'vantry-cli --help')");
    return kExitUsage;
}

} // namespace vx::cli
