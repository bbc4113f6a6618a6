// The pieces of JSON text the info command writes: strings (quoted, escaped, invalid
// UTF-8 replaced) and numbers (non-finite values become null).
#pragma once

#include <string>
#include <string_view>

namespace vx::cli {

std::string JsonString(std::string_view utf8);
std::string JsonNumber(double value);

} // namespace vx::cli
