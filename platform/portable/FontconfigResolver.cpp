// Resolves a LOGFONT's face name, weight and italic flag to a font file with fontconfig.
// Wine's fonts are added as application fonts when present, since fontconfig does not list
// them by default and they hold the Windows faces (Tahoma) that marks usually ask for.
#include "platform/FileSystem.h"
#include "platform/portable/FreeTypeTextRenderer.h"

#include <fontconfig/fontconfig.h>

#include <mutex>
#include <sys/stat.h>

namespace vx {
namespace {

constexpr const char* kWineFontDir = "/usr/share/wine/fonts";
constexpr const char* kFallbackFamily = "DejaVu Sans";

std::mutex g_fontconfigLock;

// The process's own fontconfig set-up with Wine's fonts added, made on first use and released
// with fontconfig's global state at exit.
class FontconfigSetup {
public:
    FontconfigSetup()
    {
        m_config = FcInitLoadConfigAndFonts();
        struct stat status;
        if (m_config && stat(kWineFontDir, &status) == 0 && S_ISDIR(status.st_mode))
            FcConfigAppFontAddDir(m_config, reinterpret_cast<const FcChar8*>(kWineFontDir));
    }
    ~FontconfigSetup()
    {
        if (m_config)
            FcConfigDestroy(m_config);
        FcFini();
    }
    FontconfigSetup(const FontconfigSetup&) = delete;
    FontconfigSetup& operator=(const FontconfigSetup&) = delete;

    // Null when fontconfig could not load its configuration.
    FcConfig* Config() const { return m_config; }

private:
    FcConfig* m_config = nullptr;
};

std::string FaceName(const LOGFONTW& font)
{
    std::size_t length = 0;
    while (length < LF_FACESIZE && font.lfFaceName[length] != 0)
        ++length;
    return fs::ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(font.lfFaceName), length));
}

} // namespace

bool ResolveWithFontconfig(const LOGFONTW& font, FontFile& file)
{
    std::lock_guard<std::mutex> lock(g_fontconfigLock);
    static FontconfigSetup setup;
    FcConfig* config = setup.Config();
    if (!config)
        return false;
    FcPattern* pattern = FcPatternCreate();
    if (!pattern)
        return false;

    const std::string face = FaceName(font);
    if (!face.empty())
        FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(face.c_str()));
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(kFallbackFamily));
    const int weight = font.lfWeight > 0 ? static_cast<int>(font.lfWeight) : FW_NORMAL;
    FcPatternAddInteger(pattern, FC_WEIGHT, FcWeightFromOpenType(weight > 1000 ? 1000 : weight));
    FcPatternAddInteger(pattern, FC_SLANT, font.lfItalic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
    FcConfigSubstitute(config, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);

    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(config, pattern, &result);
    FcPatternDestroy(pattern);
    if (!match)
        return false;
    FcChar8* path = nullptr;
    int index = 0;
    const bool found = FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch && path;
    if (found) {
        file.path = reinterpret_cast<const char*>(path);
        file.faceIndex = FcPatternGetInteger(match, FC_INDEX, 0, &index) == FcResultMatch ? index : 0;
    }
    FcPatternDestroy(match);
    return found;
}

} // namespace vx
