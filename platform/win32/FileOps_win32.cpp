// Path and directory operations on Windows: UTF-16 paths go straight to the wide calls.
// Both '\' and '/' separate components, a path may start with a drive ("C:"), and names
// compare without regard to case.
#include "platform/FileSystem.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <vector>

namespace vx::fs {

namespace {

const wchar_t* Wide(const char16_t* path)
{
    return reinterpret_cast<const wchar_t*>(path);
}

std::u16string FullPath(const char16_t* path)
{
    const DWORD needed = GetFullPathNameW(Wide(path), 0, nullptr, nullptr);
    if (needed == 0)
        return path;
    std::vector<wchar_t> buffer(needed + 1);
    const DWORD length = GetFullPathNameW(Wide(path), needed + 1, buffer.data(), nullptr);
    if (length == 0 || length > needed)
        return path;
    return std::u16string(reinterpret_cast<const char16_t*>(buffer.data()), length);
}

// The path the system itself uses for an existing file or directory: short (8.3) names
// expanded, links followed. Empty when the object cannot be opened.
std::u16string FinalPath(const char16_t* path)
{
    HANDLE handle = CreateFileW(Wide(path), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return std::u16string();
    std::u16string result;
    const DWORD needed = GetFinalPathNameByHandleW(handle, nullptr, 0, FILE_NAME_NORMALIZED);
    if (needed != 0) {
        std::vector<wchar_t> buffer(needed + 1);
        const DWORD length = GetFinalPathNameByHandleW(handle, buffer.data(), needed + 1, FILE_NAME_NORMALIZED);
        if (length != 0 && length <= needed)
            result.assign(reinterpret_cast<const char16_t*>(buffer.data()), length);
    }
    CloseHandle(handle);
    // The answer carries the "\\?\" prefix ("\\?\UNC\" for a share); drop it again.
    if (result.rfind(u"\\\\?\\UNC\\", 0) == 0)
        result = u"\\\\" + result.substr(8);
    else if (result.rfind(u"\\\\?\\", 0) == 0)
        result = result.substr(4);
    return result;
}

} // namespace

char16_t PathSeparator()
{
    return u'\\';
}

bool IsPathSeparator(char16_t c)
{
    return c == u'\\' || c == u'/';
}

std::size_t DrivePrefixLength(std::u16string_view path)
{
    return path.size() >= 2 && path[1] == u':' ? 2 : 0;
}

bool MakeDirectory(const char16_t* path)
{
    return CreateDirectoryW(Wide(path), nullptr) != 0;
}

bool RenameOver(const char16_t* from, const char16_t* to)
{
    return MoveFileExW(Wide(from), Wide(to), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool RemoveFile(const char16_t* path)
{
    return DeleteFileW(Wide(path)) != 0;
}

bool FileExists(const char16_t* path)
{
    return GetFileAttributesW(Wide(path)) != INVALID_FILE_ATTRIBUTES;
}

std::u16string CanonicalPath(const char16_t* path)
{
    if (path == nullptr || *path == 0)
        return std::u16string();
    const std::u16string full = FullPath(path);
    if (std::u16string whole = FinalPath(full.c_str()); !whole.empty())
        return whole;

    // Not there yet: resolve the directory and keep the last component as written.
    const std::size_t separator = full.find_last_of(u"\\/");
    if (separator == std::u16string::npos)
        return full;
    const std::u16string directory = full.substr(0, separator + 1);
    std::u16string resolved = FinalPath(directory.c_str());
    if (resolved.empty())
        return full;
    if (resolved.back() != u'\\')
        resolved += u'\\';
    return resolved + full.substr(separator + 1);
}

bool EqualIgnoringCase(std::u16string_view first, std::u16string_view second)
{
    return CompareStringOrdinal(reinterpret_cast<const wchar_t*>(first.data()), static_cast<int>(first.size()),
                                reinterpret_cast<const wchar_t*>(second.data()), static_cast<int>(second.size()),
                                TRUE) == CSTR_EQUAL;
}

bool SamePath(std::u16string_view first, std::u16string_view second)
{
    return EqualIgnoringCase(first, second);
}

bool PathExceedsLimit(std::u16string_view path)
{
    return path.size() >= MAX_PATH;
}

} // namespace vx::fs
