// Path helpers of the batch runner: splitting a path the way the C runtime's path splitter
// divides it (drive, directory, file name, extension), the directory and base name taken
// from that division, and the output path of a picture in the destination directory.
// On Windows '\' and '/' both separate components; on Linux only '/' does.
#pragma once

#include <string>
#include <string_view>

namespace vx::batch {

// Every path a job holds fits in this many UTF-16 units, terminating NUL included.
constexpr int kMaxPathUnits = 260;

struct PathParts {
    std::u16string_view drive;     // "C:" or empty
    std::u16string_view directory; // up to and including the last separator
    std::u16string_view name;      // file name without its last extension
    std::u16string_view extension; // from the last '.' of the file name, or empty
};

PathParts SplitPath(std::u16string_view path);

// Drive and directory of `path`, ending in a separator (the platform's own is appended when
// the directory part does not already end in one). 0 and nothing written for a null pointer
// or a length of 0 or less; else 1, with the result cut to `length` - 1 units.
int DirectoryOf(const char16_t* path, char16_t* out, int length);
// File name of `path` without its last extension, cut to `length` - 1 units; 0 and nothing
// written for a null pointer or a length of 0 or less, else 1.
int BaseNameOf(const char16_t* path, char16_t* out, int length);

// `directory`, a separator unless it is empty or already ends in one, then `fileName`.
std::u16string JoinPath(std::u16string_view directory, std::u16string_view fileName);

// Where the result of `source` goes: its base name with ".jpg" (only the last extension is
// dropped: photo.png.jpeg gives photo.png.jpg) in `destination`.
std::u16string OutputPathFor(std::u16string_view source, std::u16string_view destination);

} // namespace vx::batch
