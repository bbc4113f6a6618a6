// Windows side of the file layer: UTF-16 paths go unchanged to _wfopen, and the UTF-8
// conversions use the system's converters, which turn unpaired surrogates and malformed
// UTF-8 into U+FFFD.
#include "platform/FileSystem.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <climits>

namespace vx::fs {

std::string ToUtf8(std::u16string_view text)
{
    if (text.empty() || text.size() > INT_MAX)
        return {};
    const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
    const int units = static_cast<int>(text.size());
    const int length = WideCharToMultiByte(CP_UTF8, 0, wide, units, nullptr, 0, nullptr, nullptr);
    if (length <= 0)
        return {};
    std::string out(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide, units, out.data(), length, nullptr, nullptr);
    return out;
}

std::u16string FromUtf8(std::string_view text)
{
    if (text.empty() || text.size() > INT_MAX)
        return {};
    const int bytes = static_cast<int>(text.size());
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), bytes, nullptr, 0);
    if (length <= 0)
        return {};
    std::u16string out(static_cast<std::size_t>(length), u'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), bytes, reinterpret_cast<wchar_t*>(out.data()), length);
    return out;
}

std::FILE* OpenFile(const char16_t* path, const char* mode)
{
    if (!path || !mode)
        return nullptr;
    // Modes are short ASCII texts ("rb", "wb"): widen them byte by byte.
    wchar_t wideMode[8] = {};
    for (std::size_t i = 0; mode[i] != '\0'; ++i) {
        if (i + 1 == sizeof(wideMode) / sizeof(wideMode[0]))
            return nullptr;
        wideMode[i] = static_cast<unsigned char>(mode[i]);
    }
    return _wfopen(reinterpret_cast<const wchar_t*>(path), wideMode);
}

} // namespace vx::fs
