// FreeType text surfaces that lay text out as GDI's DrawTextW does: font sizes, line height,
// whole-pixel advances, per-line alignment, clipping to the rectangle, the 17-level grey ramp
// of anti-aliased text, synthetic bold and italic, underline and strike-out bars.
#include "platform/portable/FreeTypeTextRenderer.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cstring>
#include <new>

namespace vx {
namespace {

// GDI reduces an anti-aliased glyph to 17 coverage levels (coverage * 17 / 256), leaves the
// background alone at levels 0 and 1 and maps the others to intensities through a gamma
// ramp; white text over black comes out as these values. Using the same levels keeps
// thresholded text exactly as heavy as GDI's.
constexpr std::uint8_t kGreyRamp[17] = {0,   0,   104, 124, 140, 154, 167, 178, 189,
                                        199, 208, 217, 225, 233, 240, 248, 255};

constexpr LONG kMaxPixelsPerEm = 0xFFFF; // FreeType's limit for a pixel size
constexpr LONG kDefaultCellHeight = 16;  // what GDI uses for lfHeight 0
constexpr LONG kBoldWeight = 600;        // from FW_SEMIBOLD on, a font is bold
constexpr FT_Int32 kLoadFlags = FT_LOAD_DEFAULT | FT_LOAD_NO_BITMAP | FT_LOAD_IGNORE_GLOBAL_ADVANCE_WIDTH;

bool IsLineBreak(char16_t c)
{
    return c == u'\r' || c == u'\n';
}

// Calls `visit(line, index)` for each line of `text` as DrawTextW breaks it: CR, LF, CR LF and
// LF CR each end a line, a break at the very end opens no further line, and an empty text is
// one empty line. Returns the number of lines.
template <typename Visit> int ForEachLine(std::u16string_view text, Visit visit)
{
    int count = 0;
    std::size_t start = 0;
    do {
        std::size_t end = start;
        while (end < text.size() && !IsLineBreak(text[end]))
            ++end;
        visit(text.substr(start, end - start), count++);
        if (end == text.size())
            break;
        std::size_t next = end + 1;
        if (next < text.size() && IsLineBreak(text[next]) && text[next] != text[end])
            ++next;
        start = next;
    } while (start < text.size());
    return count;
}

// Next code point of UTF-16 text; an unpaired surrogate stands for itself.
char32_t NextCodePoint(std::u16string_view text, std::size_t& i)
{
    char32_t c = text[i++];
    if (c >= 0xD800 && c <= 0xDBFF && i < text.size() && text[i] >= 0xDC00 && text[i] <= 0xDFFF)
        c = 0x10000 + ((c - 0xD800) << 10) + (text[i++] - 0xDC00);
    return c;
}

// Font units to whole pixels, rounded, at the face's current size.
int ScaleY(FT_Face face, FT_Long units)
{
    return static_cast<int>((FT_MulFix(units, face->size->metrics.y_scale) + 32) >> 6);
}

// Windows' ascent + descent of a face, in font units (the hhea values when OS/2 has none).
FT_Long CellUnits(FT_Face face, const TT_OS2* os2)
{
    if (os2 && os2->usWinAscent + os2->usWinDescent > 0)
        return os2->usWinAscent + os2->usWinDescent;
    return face->ascender - face->descender;
}

// Pixels per em for a LOGFONT height: negative is the em itself, positive the cell height
// (the largest em whose cell does not exceed it), 0 the default cell.
FT_UInt PixelsPerEm(FT_Face face, const TT_OS2* os2, LONG height)
{
    if (height == 0)
        height = kDefaultCellHeight;
    if (height < 0)
        return static_cast<FT_UInt>(height < -kMaxPixelsPerEm ? kMaxPixelsPerEm : -height);
    const std::int64_t units = std::max<std::int64_t>(CellUnits(face, os2), 1);
    const std::int64_t unitsPerEm = face->units_per_EM ? face->units_per_EM : 2048;
    std::int64_t ppem = (unitsPerEm * height + units / 2) / units;
    if (ppem > 1 && (units * ppem + unitsPerEm / 2) / unitsPerEm > height)
        --ppem;
    return static_cast<FT_UInt>(std::clamp<std::int64_t>(ppem, 1, kMaxPixelsPerEm));
}

class FreeTypeSurface : public TextSurface {
public:
    ~FreeTypeSurface() override
    {
        if (m_face)
            FT_Done_Face(m_face);
        if (m_library)
            FT_Done_FreeType(m_library);
    }

    bool Load(const FontFile& file, const LOGFONTW& font);
    TextExtent Measure(std::u16string_view text) override;
    bool Render(std::u16string_view text, std::int32_t boxWidth, std::int32_t boxHeight, UINT align,
                const Rgb24Bitmap& target) override;

private:
    bool LoadGlyph(char32_t codePoint, int& advance);
    int LineWidth(std::u16string_view line);
    void DrawGlyph(int left, int top, const Rgb24Bitmap& target, int clipWidth, int clipHeight);
    void FillBar(int left, int top, int width, int height, const Rgb24Bitmap& target, int clipWidth, int clipHeight);

    FT_Library m_library = nullptr;
    FT_Face m_face = nullptr;
    bool m_fakeBold = false;
    bool m_fakeItalic = false;
    bool m_underline = false;
    bool m_strikeOut = false;
    FT_Pos m_boldStrength = 0; // 26.6 pixels added around each outline
    int m_ascent = 0;
    int m_descent = 0;
    int m_underlineOffset = 0; // below the baseline
    int m_underlineSize = 1;
    int m_strikeOutOffset = 0; // above the baseline
    int m_strikeOutSize = 1;
};

bool FreeTypeSurface::Load(const FontFile& file, const LOGFONTW& font)
{
    if (FT_Init_FreeType(&m_library) != 0) {
        m_library = nullptr;
        return false;
    }
    if (FT_New_Face(m_library, file.path.c_str(), file.faceIndex, &m_face) != 0) {
        m_face = nullptr;
        return false;
    }
    if (!FT_IS_SCALABLE(m_face))
        return false;
    FT_Select_Charmap(m_face, FT_ENCODING_UNICODE);

    const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(m_face, FT_SFNT_OS2));
    const FT_UInt ppem = PixelsPerEm(m_face, os2, font.lfHeight);
    if (FT_Set_Pixel_Sizes(m_face, 0, ppem) != 0)
        return false;

    if (os2 && os2->usWinAscent + os2->usWinDescent > 0) {
        m_ascent = ScaleY(m_face, os2->usWinAscent);
        m_descent = ScaleY(m_face, os2->usWinDescent);
    } else {
        m_ascent = ScaleY(m_face, m_face->ascender);
        m_descent = ScaleY(m_face, -m_face->descender);
    }

    const bool faceBold = (m_face->style_flags & FT_STYLE_FLAG_BOLD) || (os2 && os2->usWeightClass >= kBoldWeight);
    m_fakeBold = font.lfWeight >= kBoldWeight && !faceBold;
    m_fakeItalic = font.lfItalic && !(m_face->style_flags & FT_STYLE_FLAG_ITALIC);
    m_boldStrength = static_cast<FT_Pos>(ppem) * 64 / 24;

    m_underline = font.lfUnderline != 0;
    m_strikeOut = font.lfStrikeOut != 0;
    // The 'post' table's own values: FreeType's underline_position is moved to the bar's centre.
    const auto* post = static_cast<const TT_Postscript*>(FT_Get_Sfnt_Table(m_face, FT_SFNT_POST));
    m_underlineOffset = std::abs(ScaleY(m_face, post ? post->underlinePosition : m_face->underline_position));
    m_underlineSize = std::max(1, ScaleY(m_face, post ? post->underlineThickness : m_face->underline_thickness));
    if (os2 && os2->version != 0xFFFF && os2->yStrikeoutSize > 0) {
        m_strikeOutOffset = ScaleY(m_face, os2->yStrikeoutPosition);
        m_strikeOutSize = std::max(1, ScaleY(m_face, os2->yStrikeoutSize));
    } else {
        m_strikeOutOffset = m_ascent / 3;
        m_strikeOutSize = m_underlineSize;
    }
    return true;
}

// Loads the hinted outline of a code point into the glyph slot with the synthetic styles
// applied; `advance` is its whole-pixel advance. Missing characters use the face's .notdef.
bool FreeTypeSurface::LoadGlyph(char32_t codePoint, int& advance)
{
    advance = 0;
    if (FT_Load_Glyph(m_face, FT_Get_Char_Index(m_face, codePoint), kLoadFlags) != 0)
        return false;
    FT_GlyphSlot slot = m_face->glyph;
    advance = static_cast<int>((slot->metrics.horiAdvance + 63) >> 6);
    if (slot->format != FT_GLYPH_FORMAT_OUTLINE)
        return true;
    if (m_fakeBold) {
        FT_Outline_Embolden(&slot->outline, m_boldStrength);
        advance += static_cast<int>((m_boldStrength + 63) >> 6);
    }
    if (m_fakeItalic) {
        FT_Matrix shear{0x10000, 0x4000, 0, 0x10000};
        FT_Outline_Transform(&slot->outline, &shear);
    }
    return true;
}

int FreeTypeSurface::LineWidth(std::u16string_view line)
{
    int width = 0;
    for (std::size_t i = 0; i < line.size();) {
        int advance = 0;
        LoadGlyph(NextCodePoint(line, i), advance);
        width += advance;
    }
    return width;
}

TextExtent FreeTypeSurface::Measure(std::u16string_view text)
{
    int widest = 0;
    const int lines =
        ForEachLine(text, [&](std::u16string_view line, int) { widest = std::max(widest, LineWidth(line)); });
    return {widest, lines * (m_ascent + m_descent)};
}

// Top-down pixel rows of the target, clipped to the drawing rectangle.
struct Clip {
    const Rgb24Bitmap& target;
    int width;
    int height;
    std::uint8_t* Pixel(int x, int y) const
    {
        if (x < 0 || y < 0 || x >= width || y >= height)
            return nullptr;
        return target.bits + static_cast<std::size_t>(target.height - 1 - y) * target.stride +
               3 * static_cast<std::size_t>(x);
    }
};

void Lighten(std::uint8_t* pixel, std::uint8_t level)
{
    if (pixel && pixel[0] < level)
        std::memset(pixel, level, 3);
}

void FreeTypeSurface::DrawGlyph(int left, int top, const Rgb24Bitmap& target, int clipWidth, int clipHeight)
{
    FT_GlyphSlot slot = m_face->glyph;
    if (slot->format == FT_GLYPH_FORMAT_OUTLINE && FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL) != 0)
        return;
    const FT_Bitmap& bitmap = slot->bitmap;
    if (bitmap.pixel_mode != FT_PIXEL_MODE_GRAY)
        return;
    const Clip clip{target, clipWidth, clipHeight};
    const int x0 = left + slot->bitmap_left;
    const int y0 = top - slot->bitmap_top;
    for (unsigned row = 0; row < bitmap.rows; ++row) {
        const unsigned char* coverage = bitmap.buffer + static_cast<std::ptrdiff_t>(row) * bitmap.pitch;
        for (unsigned col = 0; col < bitmap.width; ++col) {
            const int level = coverage[col] * 17 / 256;
            if (level)
                Lighten(clip.Pixel(x0 + static_cast<int>(col), y0 + static_cast<int>(row)), kGreyRamp[level]);
        }
    }
}

void FreeTypeSurface::FillBar(int left, int top, int width, int height, const Rgb24Bitmap& target, int clipWidth,
                              int clipHeight)
{
    const Clip clip{target, clipWidth, clipHeight};
    for (int y = top; y < top + height; ++y)
        for (int x = left; x < left + width; ++x)
            Lighten(clip.Pixel(x, y), 255);
}

bool FreeTypeSurface::Render(std::u16string_view text, std::int32_t boxWidth, std::int32_t boxHeight, UINT align,
                             const Rgb24Bitmap& target)
{
    if (!target.bits || target.width <= 0 || target.height <= 0)
        return false;
    for (std::int32_t row = 0; row < target.height; ++row)
        std::memset(target.bits + static_cast<std::size_t>(row) * target.stride, 0,
                    3 * static_cast<std::size_t>(target.width));
    const int clipWidth = std::min(boxWidth, target.width);
    const int clipHeight = std::min(boxHeight, target.height);
    const int lineHeight = m_ascent + m_descent;

    ForEachLine(text, [&](std::u16string_view line, int index) {
        const int width = LineWidth(line);
        int pen = 0;
        if (align == DT_CENTER)
            pen = (boxWidth - width) / 2;
        else if (align == DT_RIGHT)
            pen = boxWidth - width;
        const int baseline = index * lineHeight + m_ascent;
        if (m_underline)
            FillBar(pen, baseline + m_underlineOffset - m_underlineSize / 2, width, m_underlineSize, target, clipWidth,
                    clipHeight);
        if (m_strikeOut)
            FillBar(pen, baseline - m_strikeOutOffset - m_strikeOutSize / 2, width, m_strikeOutSize, target, clipWidth,
                    clipHeight);
        for (std::size_t i = 0; i < line.size();) {
            int advance = 0;
            if (LoadGlyph(NextCodePoint(line, i), advance))
                DrawGlyph(pen, baseline, target, clipWidth, clipHeight);
            pen += advance;
        }
    });
    return true;
}

} // namespace

FreeTypeTextRenderer::FreeTypeTextRenderer(FontResolver resolver) : m_resolver(std::move(resolver)) {}

std::unique_ptr<TextSurface> FreeTypeTextRenderer::Open(HDC, const LOGFONTW& font)
{
    if (auto surface = OpenFont(font))
        return surface;
    // The font cannot be made: fall back to the default GUI font, 8 points Tahoma at 96 dpi.
    LOGFONTW fallback{};
    fallback.lfHeight = -11;
    fallback.lfWeight = FW_NORMAL;
    std::memcpy(fallback.lfFaceName, u"Tahoma", sizeof(u"Tahoma"));
    return OpenFont(fallback);
}

std::unique_ptr<TextSurface> FreeTypeTextRenderer::OpenFont(const LOGFONTW& font)
{
    FontFile file;
    if (!m_resolver || !m_resolver(font, file))
        return nullptr;
    std::unique_ptr<FreeTypeSurface> surface(new (std::nothrow) FreeTypeSurface);
    if (!surface || !surface->Load(file, font))
        return nullptr;
    return surface;
}

} // namespace vx
