// Format names as the command line writes them ("jpg", "bmp" ...) and the image type codes
// they stand for, in both directions.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vx::cli {

// 0 for a name that is not a format (case is ignored; a leading '.' is allowed).
std::uint32_t TypeForFormatName(std::string_view name);
// "JPEG", "BMP" ... for a type code; "unknown" otherwise.
const char* FormatNameForType(std::uint32_t type);

} // namespace vx::cli
