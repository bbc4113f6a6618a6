// Path and directory operations on POSIX systems: paths arrive as UTF-16 and go to the
// system as UTF-8. Only '/' separates components; there are no drive letters.
#include "platform/FileSystem.h"

#include <algorithm>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace vx::fs {

namespace {

std::string RealPath(const std::string& path)
{
    std::unique_ptr<char, decltype(&std::free)> resolved(realpath(path.c_str(), nullptr), &std::free);
    return resolved ? std::string(resolved.get()) : std::string();
}

std::string CurrentDirectory()
{
    std::unique_ptr<char, decltype(&std::free)> cwd(getcwd(nullptr, 0), &std::free);
    return cwd ? std::string(cwd.get()) : std::string();
}

} // namespace

char16_t PathSeparator()
{
    return u'/';
}

bool IsPathSeparator(char16_t c)
{
    return c == u'/';
}

std::size_t DrivePrefixLength(std::u16string_view)
{
    return 0;
}

bool MakeDirectory(const char16_t* path)
{
    return mkdir(ToUtf8(path).c_str(), 0777) == 0;
}

bool RenameOver(const char16_t* from, const char16_t* to)
{
    return std::rename(ToUtf8(from).c_str(), ToUtf8(to).c_str()) == 0;
}

bool RemoveFile(const char16_t* path)
{
    return unlink(ToUtf8(path).c_str()) == 0;
}

bool FileExists(const char16_t* path)
{
    struct stat info;
    return stat(ToUtf8(path).c_str(), &info) == 0;
}

std::u16string CanonicalPath(const char16_t* path)
{
    const std::string utf8 = ToUtf8(path);
    if (utf8.empty())
        return std::u16string();
    if (std::string whole = RealPath(utf8); !whole.empty())
        return FromUtf8(whole);

    // Not there yet: resolve the directory and keep the last component as written.
    const std::size_t slash = utf8.find_last_of('/');
    const std::string leaf = slash == std::string::npos ? utf8 : utf8.substr(slash + 1);
    const std::string directory = slash == std::string::npos ? "." : (slash == 0 ? "/" : utf8.substr(0, slash));
    if (std::string resolved = RealPath(directory); !resolved.empty())
        return FromUtf8(resolved == "/" ? "/" + leaf : resolved + "/" + leaf);
    if (utf8.front() == '/')
        return FromUtf8(utf8);
    return FromUtf8(CurrentDirectory() + "/" + utf8);
}

namespace {

// Simple case folding of the letters whose case pairs are a fixed offset apart: ASCII,
// Latin-1, Latin Extended-A, Greek and Cyrillic.
char16_t FoldCase(char16_t c)
{
    if (c >= u'A' && c <= u'Z')
        return c + 32;
    if (c < 0xC0)
        return c;
    if ((c >= 0xC0 && c <= 0xDE && c != 0xD7) || (c >= 0x391 && c <= 0x3AB && c != 0x3A2) || (c >= 0x410 && c <= 0x42F))
        return c + 32;
    if (c >= 0x400 && c <= 0x40F)
        return c + 80;
    if (c == 0x178)
        return 0xFF;
    // Latin Extended-A: pairs of upper and lower case, upper first.
    const bool evenUpper = (c >= 0x100 && c <= 0x137 && c != 0x130) || (c >= 0x14A && c <= 0x177);
    const bool oddUpper = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
    if ((evenUpper && c % 2 == 0) || (oddUpper && c % 2 == 1))
        return c + 1;
    return c;
}

} // namespace

bool EqualIgnoringCase(std::u16string_view first, std::u16string_view second)
{
    return first.size() == second.size() &&
           std::equal(first.begin(), first.end(), second.begin(),
                      [](char16_t a, char16_t b) { return FoldCase(a) == FoldCase(b); });
}

bool SamePath(std::u16string_view first, std::u16string_view second)
{
    return first == second;
}

bool PathExceedsLimit(std::u16string_view path)
{
    const std::string utf8 = ToUtf8(path);
    if (utf8.size() >= PATH_MAX)
        return true;
    std::size_t start = 0;
    while (start <= utf8.size()) {
        std::size_t end = utf8.find('/', start);
        if (end == std::string::npos)
            end = utf8.size();
        if (end - start > NAME_MAX)
            return true;
        start = end + 1;
    }
    return false;
}

} // namespace vx::fs
