// GNU-style option parsing for the sub-commands; every unusable argument is reported with
// the option's name so the usage error can say what was wrong.
#include "cli/CommandLine.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>

namespace vx::cli {

ParsedCommand ParseCommand(const std::vector<std::string>& args, std::size_t first,
                           std::initializer_list<OptionInfo> options)
{
    ParsedCommand parsed;
    bool optionsEnded = false;
    for (std::size_t i = first; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            parsed.operands.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (arg == "-h" || arg == "--help") {
            parsed.help = true;
            continue;
        }
        if (arg.rfind("--", 0) != 0) {
            parsed.error = "unknown option '" + arg + "'";
            return parsed;
        }
        const std::size_t equals = arg.find('=');
        const std::string name = arg.substr(2, equals == std::string::npos ? std::string::npos : equals - 2);
        const auto option =
            std::find_if(options.begin(), options.end(), [&](const OptionInfo& o) { return name == o.name; });
        if (option == options.end()) {
            parsed.error = "unknown option '--" + name + "'";
            return parsed;
        }
        if (!option->takesValue) {
            if (equals != std::string::npos) {
                parsed.error = "option '--" + name + "' takes no value";
                return parsed;
            }
            parsed.options[name] = "";
        } else if (equals != std::string::npos) {
            parsed.options[name] = arg.substr(equals + 1);
        } else if (i + 1 < args.size()) {
            parsed.options[name] = args[++i];
        } else {
            parsed.error = "option '--" + name + "' needs a value";
            return parsed;
        }
    }
    return parsed;
}

bool ParseInteger(const std::string& text, int minimum, int maximum, int& value)
{
    if (text.empty() || text.size() > 9 || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    const long number = std::strtol(text.c_str(), nullptr, 10);
    if (number < minimum || number > maximum)
        return false;
    value = static_cast<int>(number);
    return true;
}

} // namespace vx::cli
