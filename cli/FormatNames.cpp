// The table of format names; wmf and emf share one codec, as do jpg and jpeg.
#include "cli/FormatNames.h"

#include "image/VxImage.h"

#include <algorithm>
#include <cctype>

namespace vx::cli {

namespace {

struct FormatName {
    const char* name;
    std::uint32_t type;
};

constexpr FormatName kFormats[] = {
    {"jpg", kVxTypeJpg}, {"jpeg", kVxTypeJpg}, {"bmp", kVxTypeBmp}, {"gif", kVxTypeGif},
    {"ico", kVxTypeIco}, {"tga", kVxTypeTga},  {"pcx", kVxTypePcx}, {"wbmp", kVxTypeWbmp},
    {"wmf", kVxTypeWmf}, {"emf", kVxTypeWmf},  {"ska", kVxTypeSka},
};

} // namespace

std::uint32_t TypeForFormatName(std::string_view name)
{
    if (!name.empty() && name.front() == '.')
        name.remove_prefix(1);
    std::string lower(name);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    for (const FormatName& format : kFormats)
        if (lower == format.name)
            return format.type;
    return 0;
}

const char* FormatNameForType(std::uint32_t type)
{
    switch (type) {
    case kVxTypeJpg: return "JPEG";
    case kVxTypeBmp: return "BMP";
    case kVxTypeGif: return "GIF";
    case kVxTypeIco: return "ICO";
    case kVxTypeTga: return "TGA";
    case kVxTypePcx: return "PCX";
    case kVxTypeWbmp: return "WBMP";
    case kVxTypeWmf: return "WMF/EMF";
    case kVxTypeSka: return "SKA";
    default: return "unknown";
    }
}

} // namespace vx::cli
