// Path splitting and output naming. The division follows the C runtime's splitter: the
// drive is a leading "X:" (Windows only), the directory runs to the last separator, and
// the extension starts at the last '.' of what remains.
#include "app/batch/PathNames.h"

#include "platform/FileSystem.h"

#include <algorithm>

namespace vx::batch {

namespace {

// Copies `text` into `out`, cut so that `length` - 1 units and the NUL fit; returns the
// number of units written before the NUL.
int CopyCut(std::u16string_view text, char16_t* out, int length)
{
    const int count = static_cast<int>(std::min<std::size_t>(text.size(), static_cast<std::size_t>(length - 1)));
    std::copy_n(text.data(), count, out);
    out[count] = 0;
    return count;
}

bool EndsWithSeparator(std::u16string_view text)
{
    return !text.empty() && vx::fs::IsPathSeparator(text.back());
}

} // namespace

PathParts SplitPath(std::u16string_view path)
{
    PathParts parts;
    const std::size_t driveLength = vx::fs::DrivePrefixLength(path);
    parts.drive = path.substr(0, driveLength);
    std::u16string_view rest = path.substr(driveLength);

    std::size_t fileStart = 0;
    for (std::size_t i = 0; i < rest.size(); ++i)
        if (vx::fs::IsPathSeparator(rest[i]))
            fileStart = i + 1;
    parts.directory = rest.substr(0, fileStart);
    const std::u16string_view file = rest.substr(fileStart);

    const std::size_t dot = file.rfind(u'.');
    parts.name = dot == std::u16string_view::npos ? file : file.substr(0, dot);
    parts.extension = dot == std::u16string_view::npos ? std::u16string_view() : file.substr(dot);
    return parts;
}

int DirectoryOf(const char16_t* path, char16_t* out, int length)
{
    if (path == nullptr || out == nullptr || length <= 0)
        return 0;
    const PathParts parts = SplitPath(path);
    std::u16string directory(parts.drive);
    directory += parts.directory;
    if (!EndsWithSeparator(directory))
        directory += vx::fs::PathSeparator();
    CopyCut(directory, out, length);
    return 1;
}

int BaseNameOf(const char16_t* path, char16_t* out, int length)
{
    if (path == nullptr || out == nullptr || length <= 0)
        return 0;
    CopyCut(SplitPath(path).name, out, length);
    return 1;
}

std::u16string JoinPath(std::u16string_view directory, std::u16string_view fileName)
{
    std::u16string joined(directory);
    if (!joined.empty() && !EndsWithSeparator(joined))
        joined += vx::fs::PathSeparator();
    joined += fileName;
    return joined;
}

std::u16string OutputPathFor(std::u16string_view source, std::u16string_view destination)
{
    std::u16string name(SplitPath(source).name);
    name += u".jpg";
    return JoinPath(destination, name);
}

} // namespace vx::batch
