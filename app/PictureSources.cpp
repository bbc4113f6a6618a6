// Command-line arguments through CommandLineToArgvW and GetFullPathNameW, drops through
// DragQueryFileW, folder contents through FindFirstFileW with every regular file tried by
// the image library's own content detection (the header alone where the codec can).
#include "app/PictureSources.h"

#include "app/SizeProbe.h"
#include "app/batch/CancelSignal.h"

#include <shellapi.h>

#include <algorithm>

namespace vx::app {

namespace {

std::wstring FullPath(const wchar_t* path)
{
    const DWORD needed = GetFullPathNameW(path, 0, nullptr, nullptr);
    if (needed == 0)
        return path;
    std::wstring full(needed, L'\0');
    const DWORD written = GetFullPathNameW(path, needed, full.data(), nullptr);
    if (written == 0 || written >= needed)
        return path;
    full.resize(written);
    return full;
}

bool IsDirectory(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring Joined(const std::wstring& directory, const wchar_t* name)
{
    std::wstring path = directory;
    if (!path.empty() && path.back() != L'\\' && path.back() != L'/')
        path += L'\\';
    return path + name;
}

// The pictures directly inside `directory`, sorted by name without regard to case.
std::vector<std::wstring> PicturesIn(const std::wstring& directory)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(Joined(directory, L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return {};
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            names.emplace_back(found.cFileName);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end(),
              [](const std::wstring& a, const std::wstring& b) { return lstrcmpiW(a.c_str(), b.c_str()) < 0; });

    std::vector<std::wstring> pictures;
    vx::batch::CancelSignal never;
    for (const std::wstring& name : names) {
        std::wstring path = Joined(directory, name.c_str());
        if (ProbePicture(path.c_str(), never).width > 0)
            pictures.push_back(std::move(path));
    }
    return pictures;
}

} // namespace

std::vector<std::wstring> CommandLinePaths(const wchar_t* commandLine)
{
    std::vector<std::wstring> paths;
    if (!commandLine || !*commandLine)
        return paths;
    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(commandLine, &count);
    if (!arguments)
        return paths;
    for (int i = 1; i < count; ++i) {
        if (arguments[i][0])
            paths.push_back(FullPath(arguments[i]));
    }
    LocalFree(arguments);
    return paths;
}

std::vector<std::wstring> DroppedPaths(HDROP drop)
{
    std::vector<std::wstring> paths;
    const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
        const UINT length = DragQueryFileW(drop, i, nullptr, 0);
        std::wstring path(length + 1, L'\0');
        path.resize(DragQueryFileW(drop, i, path.data(), length + 1));
        if (!path.empty())
            paths.push_back(std::move(path));
    }
    return paths;
}

std::vector<std::wstring> ExpandFolders(const std::vector<std::wstring>& paths)
{
    std::vector<std::wstring> expanded;
    for (const std::wstring& path : paths) {
        if (!IsDirectory(path)) {
            expanded.push_back(path);
            continue;
        }
        for (std::wstring& picture : PicturesIn(path))
            expanded.push_back(std::move(picture));
    }
    return expanded;
}

} // namespace vx::app
