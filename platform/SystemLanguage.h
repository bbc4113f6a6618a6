// The system's default language as a Windows language identifier (primary language in the
// low 10 bits, sublanguage above): GetSystemDefaultLangID on Windows; elsewhere derived from
// the locale's language and territory (LC_ALL, then LC_MESSAGES, then LANG).
#pragma once

#include <cstdint>
#include <string_view>

namespace vx::platform {

std::uint16_t SystemDefaultLanguageId();

// The identifier for a POSIX locale name such as "ja_JP.UTF-8" or "zh_TW@radical":
// 0x0409 (English, United States) for "C", "POSIX" and an empty name, 0 for a language
// without a Windows identifier here. Exposed so the mapping can be tested on any host.
std::uint16_t LanguageIdForLocaleName(std::string_view localeName);

} // namespace vx::platform
