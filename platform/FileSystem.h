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

// ---- Path and directory operations of the batch runner (FileOps_posix.cpp, FileOps_win32.cpp) ----

// The separator this platform puts between path components ('/' on Linux, '\\' on Windows),
// and whether a character separates components (on Windows both '\\' and '/', on Linux '/'
// only: there '\\' is an ordinary character of a file name).
char16_t PathSeparator();
bool IsPathSeparator(char16_t c);
// Length of the drive prefix ("C:") that starts `path`; always 0 where there are no drives.
std::size_t DrivePrefixLength(std::u16string_view path);

// Creates the last component of `path` (its parent must exist); true when it was created.
bool MakeDirectory(const char16_t* path);
// Moves `from` onto `to` in one step, replacing an existing `to`; on failure `to` is untouched.
bool RenameOver(const char16_t* from, const char16_t* to);
bool RemoveFile(const char16_t* path);
// True when `path` names an existing file or directory.
bool FileExists(const char16_t* path);
// The absolute path with ".", ".." and links resolved. A file that does not exist yet gets
// its directory resolved and its name appended; when not even that exists, the path is only
// made absolute.
std::u16string CanonicalPath(const char16_t* path);
// Equality of two names without regard to case: on Windows by the file system's own rule
// (ordinal, case-insensitive, over all of Unicode); elsewhere by simple case folding of the
// Latin, Greek and Cyrillic letters, so that a run names its outputs alike on both platforms.
bool EqualIgnoringCase(std::u16string_view first, std::u16string_view second);
// True when two canonical paths name the same file by this platform's rules (Windows
// compares without regard to case, Linux byte for byte).
bool SamePath(std::u16string_view first, std::u16string_view second);
// True when the operating system would refuse `path` for its length (Windows: more than 259
// units; Linux: a component over 255 bytes or the whole over 4095 bytes of UTF-8).
bool PathExceedsLimit(std::u16string_view path);

} // namespace vx::fs
