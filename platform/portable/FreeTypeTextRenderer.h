// TextRenderer over FreeType, computing extents and glyph positions the way GDI does for a
// LOGFONTW: negative heights are em sizes in pixels, positive ones cell heights; line height
// is the font's Windows ascent + descent; advances are whole pixels. Missing bold or italic
// faces are synthesised (outline emboldening, a 1/4 shear). Which font file serves a LOGFONT
// is decided by a resolver: fontconfig natively, a fixed file where there is none.
#pragma once

#include "platform/TextRenderer.h"

#include <functional>
#include <string>

namespace vx {

// A font file and the index of the face inside it.
struct FontFile {
    std::string path; // UTF-8
    long faceIndex = 0;
};

// Picks the file for the face name, weight and italic flag of a LOGFONT; false when none.
using FontResolver = std::function<bool(const LOGFONTW& font, FontFile& file)>;

class FreeTypeTextRenderer : public TextRenderer {
public:
    explicit FreeTypeTextRenderer(FontResolver resolver);

    // Null when neither the font nor the default GUI font can be resolved and loaded.
    std::unique_ptr<TextSurface> Open(HDC device, const LOGFONTW& font) override;

private:
    std::unique_ptr<TextSurface> OpenFont(const LOGFONTW& font);

    FontResolver m_resolver;
};

#if !defined(_WIN32)
// fontconfig's best match for the LOGFONT's face name, weight and slant among the system's
// scalable fonts plus, when installed, Wine's fonts (/usr/share/wine/fonts, which provide
// Tahoma). A face that is not installed falls back to DejaVu Sans, then to fontconfig's
// default sans-serif font. Safe to call from several threads.
bool ResolveWithFontconfig(const LOGFONTW& font, FontFile& file);
#endif

} // namespace vx
