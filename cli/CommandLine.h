// Parsing one sub-command's arguments in the GNU style: "--name VALUE" or "--name=VALUE"
// anywhere among the operands, "--help"/"-h", and "--" ending the options.
#pragma once

#include <initializer_list>
#include <map>
#include <string>
#include <vector>

namespace vx::cli {

struct OptionInfo {
    const char* name; // without the leading "--"
    bool takesValue;
};

struct ParsedCommand {
    std::map<std::string, std::string> options; // a flag is present with an empty value
    std::vector<std::string> operands;
    bool help = false;
    std::string error; // non-empty: the arguments are unusable
};

ParsedCommand ParseCommand(const std::vector<std::string>& args, std::size_t first,
                           std::initializer_list<OptionInfo> options);

// Parses a whole decimal number within [minimum, maximum]; false for anything else.
bool ParseInteger(const std::string& text, int minimum, int maximum, int& value);

} // namespace vx::cli
