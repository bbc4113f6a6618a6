// The default language as Windows reports it. Locale names are mapped with the system's
// own tables, so the answers agree with what the user set in the regional settings.
#include "platform/SystemLanguage.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <string>

namespace vx::platform {

std::uint16_t SystemDefaultLanguageId()
{
    return GetSystemDefaultLangID();
}

std::uint16_t LanguageIdForLocaleName(std::string_view localeName)
{
    const std::string_view name = localeName.substr(0, localeName.find_first_of(".@"));
    if (name.empty() || name == "C" || name == "POSIX")
        return 0x0409;
    // "zh_TW" -> "zh-TW", the form LocaleNameToLCID takes.
    std::wstring wide;
    for (char c : name)
        wide += c == '_' ? L'-' : static_cast<wchar_t>(static_cast<unsigned char>(c));
    const LCID lcid = LocaleNameToLCID(wide.c_str(), 0);
    return lcid == 0 ? 0 : LANGIDFROMLCID(lcid);
}

} // namespace vx::platform
