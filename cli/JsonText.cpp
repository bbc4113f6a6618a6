// JSON text: control characters, quotes and backslashes are escaped; the text is passed
// through the UTF-16 conversion first so that bytes that are not UTF-8 become U+FFFD.
#include "cli/JsonText.h"

#include "platform/FileSystem.h"

#include <cmath>
#include <cstdio>

namespace vx::cli {

std::string JsonString(std::string_view utf8)
{
    const std::string clean = vx::fs::ToUtf8(vx::fs::FromUtf8(utf8));
    std::string json = "\"";
    for (char c : clean) {
        switch (c) {
        case '"': json += "\\\""; break;
        case '\\': json += "\\\\"; break;
        case '\n': json += "\\n"; break;
        case '\r': json += "\\r"; break;
        case '\t': json += "\\t"; break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char escape[8];
                std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
                json += escape;
            } else {
                json += c;
            }
        }
    }
    json += '"';
    return json;
}

std::string JsonNumber(double value)
{
    if (!std::isfinite(value))
        return "null";
    char text[32];
    std::snprintf(text, sizeof text, "%.10g", value);
    return text;
}

} // namespace vx::cli
