// The default language from the POSIX locale variables, mapped onto the Windows language
// identifiers so that the rest of the program sees the same values on every platform.
#include "platform/SystemLanguage.h"

#include <cstdlib>
#include <string>

namespace vx::platform {

namespace {

struct LocaleLanguage {
    const char* language;  // ISO 639 code
    const char* territory; // ISO 3166 code, or "" for the language's default
    std::uint16_t id;
};

// Territory-specific rows come before the language's default row.
constexpr LocaleLanguage kLanguages[] = {
    {"ja", "", 0x0411},
    {"zh", "TW", 0x0404}, {"zh", "HK", 0x0C04}, {"zh", "SG", 0x1004}, {"zh", "MO", 0x1404}, {"zh", "", 0x0804},
    {"ko", "", 0x0412},
    {"en", "GB", 0x0809}, {"en", "AU", 0x0C09}, {"en", "CA", 0x1009}, {"en", "NZ", 0x1409}, {"en", "IE", 0x1809},
    {"en", "", 0x0409},
    {"de", "AT", 0x0C07}, {"de", "CH", 0x0807}, {"de", "", 0x0407},
    {"fr", "BE", 0x080C}, {"fr", "CA", 0x0C0C}, {"fr", "CH", 0x100C}, {"fr", "", 0x040C},
    {"es", "MX", 0x080A}, {"es", "", 0x0C0A},
    {"pt", "BR", 0x0416}, {"pt", "", 0x0816},
    {"it", "", 0x0410}, {"nl", "BE", 0x0813}, {"nl", "", 0x0413},
    {"ru", "", 0x0419}, {"uk", "", 0x0422}, {"be", "", 0x0423}, {"bg", "", 0x0402},
    {"pl", "", 0x0415}, {"cs", "", 0x0405}, {"sk", "", 0x041B}, {"sl", "", 0x0424}, {"hr", "", 0x041A},
    {"hu", "", 0x040E}, {"ro", "", 0x0418}, {"el", "", 0x0408}, {"tr", "", 0x041F},
    {"sv", "", 0x041D}, {"fi", "", 0x040B}, {"da", "", 0x0406}, {"nb", "", 0x0414}, {"no", "", 0x0414},
    {"nn", "", 0x0814}, {"is", "", 0x040F}, {"et", "", 0x0425}, {"lv", "", 0x0426}, {"lt", "", 0x0427},
    {"he", "", 0x040D}, {"ar", "", 0x0401}, {"fa", "", 0x0429}, {"hi", "", 0x0439}, {"th", "", 0x041E},
    {"vi", "", 0x042A}, {"id", "", 0x0421}, {"ms", "", 0x043E},
};

constexpr std::uint16_t kEnglishUnitedStates = 0x0409;

} // namespace

std::uint16_t LanguageIdForLocaleName(std::string_view localeName)
{
    // "language[_territory][.codeset][@modifier]"
    const std::string_view name = localeName.substr(0, localeName.find_first_of(".@"));
    if (name.empty() || name == "C" || name == "POSIX")
        return kEnglishUnitedStates;
    const std::size_t underscore = name.find('_');
    const std::string_view language = name.substr(0, underscore);
    const std::string_view territory = underscore == std::string_view::npos ? std::string_view() : name.substr(underscore + 1);
    for (const LocaleLanguage& row : kLanguages) {
        if (language != row.language)
            continue;
        if (*row.territory == 0 || territory == row.territory)
            return row.id;
    }
    return 0;
}

std::uint16_t SystemDefaultLanguageId()
{
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && *value != 0)
            return LanguageIdForLocaleName(value);
    }
    return kEnglishUnitedStates;
}

} // namespace vx::platform
