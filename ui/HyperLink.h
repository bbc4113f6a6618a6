// HyperLink: turns an existing static control of a dialog into a clickable link. It paints
// the text in link colours with an underlined font, shows a hand cursor and a tooltip with
// the target, and on click, Return or Space opens the target with the shell, or sends
// WM_COMMAND / WM_NOTIFY(NM_CLICK) to the parent. With LinkTags only the text between
// "<A>" and "</A>" is the link.
#pragma once

#include "ui/WindowBinding.h"

#include <string>
#include <string_view>

namespace vx::ui {

enum LinkStyle : DWORD {
    LinkNoUnderline = 0x01,
    LinkUnderlineOnHover = 0x02,
    LinkCommand = 0x04,
    LinkNotify = 0x0C,
    LinkTags = 0x10,
    LinkTagsBold = 0x30,
    LinkNoTooltip = 0x40,
};

constexpr COLORREF kDefaultLinkColour = RGB(0, 0, 255);
constexpr COLORREF kDefaultVisitedColour = RGB(128, 0, 128);

// A browser colour setting: "r,g,b" with three decimal numbers of 0-255. False (and
// `colour` untouched) for anything else.
bool ParseLinkColour(std::wstring_view text, COLORREF& colour);

// The parts of a label written with link tags: the text before "<A>", between it and
// "</A>", and after it (tags compared without regard to case). Without an opening tag
// the whole text is the link; without a closing tag the link runs to the end.
struct LinkTagParts {
    std::wstring_view leading;
    std::wstring_view link;
    std::wstring_view trailing;
};
LinkTagParts SplitLinkTags(std::wstring_view text);

class HyperLink : public SubclassedWindow {
public:
    explicit HyperLink(DWORD style = 0);
    ~HyperLink() override;

    // Subclasses the dialog control and sets the link up; false when the control could
    // not be subclassed.
    bool SubclassAndInit(HWND control);
    // Replaces what the link opens (or reports); false when the text cannot be copied.
    bool SetTarget(const wchar_t* target);
    // The activation: notify or command the parent, or open the target with the shell.
    bool Navigate();

    const std::wstring& Label() const { return m_label; }
    const std::wstring& Target() const { return m_target; }
    COLORREF LinkColour() const { return m_linkColour; }
    COLORREF VisitedColour() const { return m_visitedColour; }
    bool Visited() const { return m_visited; }
    const RECT& LinkRect() const { return m_linkRect; }
    HWND Tooltip() const { return m_tooltip; }

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void SetUp();
    void ReadRegistryColours();
    void AddTool();
    void ComputeLinkRect();
    RECT MeasureText(HDC dc, std::wstring_view text, HFONT font, RECT bounds, UINT format) const;
    std::wstring_view DisplayText() const { return m_label.empty() ? std::wstring_view(m_target) : m_label; }
    UINT TextFormat() const;
    bool HasAction() const { return !m_target.empty() || (m_style & LinkCommand); }
    bool PointerInLink() const;
    void SetHover(bool hover);
    void Paint(HDC dc);

    std::wstring m_label;
    std::wstring m_target;
    HCURSOR m_cursor = nullptr;
    HFONT m_linkFont = nullptr;
    HFONT m_normalFont = nullptr;
    RECT m_linkRect{};
    HWND m_tooltip = nullptr;
    COLORREF m_linkColour = kDefaultLinkColour;
    COLORREF m_visitedColour = kDefaultVisitedColour;
    DWORD m_style;
    bool m_paintLabel = true;
    bool m_visited = false;
    bool m_hover = false;
    bool m_ownsLinkFont = false;
};

} // namespace vx::ui
