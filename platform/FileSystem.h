// The one place where UTF-16 paths meet the operating system's file calls.
// Portable code holds paths as char16_t strings; on Linux they become UTF-8 for fopen,
// on Windows they go to the wide-character calls unchanged.
#pragma once

#include <cstdio>
#include <string>

namespace vx::fs {

// fopen with a UTF-16 path; null on failure (errno as the C library left it).
std::FILE* OpenFile(const char16_t* path, const char* mode);

// UTF-16 <-> UTF-8 for paths and messages; unpaired surrogates become U+FFFD.
std::string ToUtf8(std::u16string_view text);
std::u16string FromUtf8(std::string_view text);

} // namespace vx::fs
