// The link control: set-up over an existing static, painting, hit testing in the link
// rectangle, tooltip relay, keyboard activation and the three ways of navigating.
#include "ui/HyperLink.h"

#include <commctrl.h>
#include <shellapi.h>

#include <new>

namespace vx::ui {

namespace {

// The pointing hand: 32 x 32 monochrome planes, most significant bit leftmost, hot spot
// (5, 0). Rows 22-31 are transparent (AND all ones, XOR all zeros).
constexpr DWORD kHandAnd[22] = {
    0xF9FFFFFF, 0xF0FFFFFF, 0xF0FFFFFF, 0xF0FFFFFF, 0xF0FFFFFF, 0xF03FFFFF, 0xF007FFFF, 0xF001FFFF,
    0xF000FFFF, 0x10007FFF, 0x00007FFF, 0x00007FFF, 0x80007FFF, 0xC0007FFF, 0xC0007FFF, 0xE0007FFF,
    0xE000FFFF, 0xF000FFFF, 0xF000FFFF, 0xF801FFFF, 0xF801FFFF, 0xF801FFFF,
};
constexpr DWORD kHandXor[22] = {
    0x00000000, 0x06000000, 0x06000000, 0x06000000, 0x06000000, 0x06000000, 0x06C00000, 0x06D80000,
    0x06DA0000, 0x06DB0000, 0x67FB0000, 0x77FF0000, 0x37FF0000, 0x17FF0000, 0x1FFF0000, 0x0FFF0000,
    0x0FFE0000, 0x07FE0000, 0x07FE0000, 0x03FC0000, 0x03FC0000, 0x00000000,
};

HCURSOR CreateHandCursor(HINSTANCE instance)
{
    BYTE andPlane[32 * 4];
    BYTE xorPlane[32 * 4];
    for (int row = 0; row < 32; ++row) {
        const DWORD andBits = row < 22 ? kHandAnd[row] : 0xFFFFFFFF;
        const DWORD xorBits = row < 22 ? kHandXor[row] : 0;
        for (int byte = 0; byte < 4; ++byte) {
            andPlane[row * 4 + byte] = static_cast<BYTE>(andBits >> (24 - 8 * byte));
            xorPlane[row * 4 + byte] = static_cast<BYTE>(xorBits >> (24 - 8 * byte));
        }
    }
    return CreateCursor(instance, 5, 0, 32, 32, andPlane, xorPlane);
}

bool EqualIgnoringCase(std::wstring_view a, std::wstring_view b)
{
    return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.data(), static_cast<int>(a.size()), b.data(),
                          static_cast<int>(b.size())) == CSTR_EQUAL;
}

// Position of the first `tag` at or after `from`, or npos.
size_t FindTag(std::wstring_view text, std::wstring_view tag, size_t from)
{
    for (size_t pos = text.find(L'<', from); pos != std::wstring_view::npos; pos = text.find(L'<', pos + 1)) {
        if (text.size() - pos >= tag.size() && EqualIgnoringCase(text.substr(pos, tag.size()), tag))
            return pos;
    }
    return std::wstring_view::npos;
}

POINT PointFromLParam(LPARAM lParam)
{
    return POINT{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
}

bool ParseComponent(std::wstring_view text, BYTE& value)
{
    while (!text.empty() && text.front() == L' ')
        text.remove_prefix(1);
    while (!text.empty() && text.back() == L' ')
        text.remove_suffix(1);
    if (text.empty() || text.size() > 3)
        return false;
    unsigned number = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9')
            return false;
        number = number * 10 + static_cast<unsigned>(c - L'0');
    }
    if (number > 255)
        return false;
    value = static_cast<BYTE>(number);
    return true;
}

bool ReadColourValue(HKEY key, const wchar_t* name, COLORREF& colour)
{
    wchar_t text[13] = {};
    DWORD type = 0;
    DWORD bytes = 24;
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text), &bytes) != ERROR_SUCCESS)
        return false;
    if (type != REG_SZ && type != REG_EXPAND_SZ)
        return false;
    text[bytes / sizeof(wchar_t) < 12 ? bytes / sizeof(wchar_t) : 12] = 0;
    return ParseLinkColour(text, colour);
}

} // namespace

bool ParseLinkColour(std::wstring_view text, COLORREF& colour)
{
    const size_t end = text.find(L'\0');
    if (end != std::wstring_view::npos)
        text = text.substr(0, end);
    const size_t first = text.find(L',');
    if (first == std::wstring_view::npos)
        return false;
    const size_t second = text.find(L',', first + 1);
    if (second == std::wstring_view::npos)
        return false;
    BYTE r, g, b;
    if (!ParseComponent(text.substr(0, first), r) || !ParseComponent(text.substr(first + 1, second - first - 1), g)
        || !ParseComponent(text.substr(second + 1), b))
        return false;
    colour = RGB(r, g, b);
    return true;
}

LinkTagParts SplitLinkTags(std::wstring_view text)
{
    const size_t open = FindTag(text, L"<A>", 0);
    if (open == std::wstring_view::npos)
        return {{}, text, {}};
    LinkTagParts parts;
    parts.leading = text.substr(0, open);
    const size_t linkStart = open + 3;
    const size_t close = FindTag(text, L"</A>", linkStart);
    if (close == std::wstring_view::npos) {
        parts.link = text.substr(linkStart);
        return parts;
    }
    parts.link = text.substr(linkStart, close - linkStart);
    parts.trailing = text.substr(close + 4);
    return parts;
}

HyperLink::HyperLink(DWORD style) : m_style(style) {}

HyperLink::~HyperLink()
{
    if (m_tooltip && IsWindow(m_tooltip))
        DestroyWindow(m_tooltip);
    Unsubclass();
    if (m_ownsLinkFont && m_linkFont)
        DeleteObject(m_linkFont);
    if (m_cursor)
        DestroyCursor(m_cursor);
}

bool HyperLink::SubclassAndInit(HWND control)
{
    if (!Subclass(control))
        return false;
    SetUp();
    return true;
}

void HyperLink::SetUp()
{
    wchar_t className[8] = {};
    GetClassNameW(m_hWnd, className, 8);
    if (lstrcmpiW(className, L"static") == 0) {
        LONG style = GetWindowLongW(m_hWnd, GWL_STYLE);
        if (!(style & SS_NOTIFY))
            SetWindowLongW(m_hWnd, GWL_STYLE, style | SS_NOTIFY);
        const LONG kind = style & 0xFF;
        if ((kind >= 3 && kind <= 9) || (kind >= 13 && kind <= 15))
            m_paintLabel = false;
    }

    const auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(m_hWnd, GWLP_HINSTANCE));
    m_cursor = CreateHandCursor(instance);

    if (m_paintLabel) {
        m_normalFont = reinterpret_cast<HFONT>(SendMessageW(GetParent(m_hWnd), WM_GETFONT, 0, 0));
        if (!m_normalFont)
            m_normalFont = static_cast<HFONT>(GetStockObject(SYSTEM_FONT));
        if (m_normalFont && !m_linkFont) {
            LOGFONTW font{};
            GetObjectW(m_normalFont, sizeof(font), &font);
            if ((m_style & LinkTagsBold) == LinkTagsBold)
                font.lfWeight = FW_BOLD;
            else if (!(m_style & LinkNoUnderline))
                font.lfUnderline = TRUE;
            m_linkFont = CreateFontIndirectW(&font);
            m_ownsLinkFont = m_linkFont != nullptr;
        }
    }

    m_tooltip = CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, 0, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                CW_USEDEFAULT, m_hWnd, nullptr, instance, nullptr);

    if (m_label.empty()) {
        const int length = GetWindowTextLengthW(m_hWnd);
        if (length > 0) {
            m_label.resize(static_cast<size_t>(length) + 1);
            m_label.resize(static_cast<size_t>(GetWindowTextW(m_hWnd, m_label.data(), length + 1)));
            ComputeLinkRect();
            SetWindowTextW(m_hWnd, m_label.c_str());
        }
    }
    ComputeLinkRect();

    if (!HasAction() && !m_label.empty())
        m_target = m_label;
    if (HasAction() && m_tooltip) {
        SendMessageW(m_tooltip, TTM_ACTIVATE, TRUE, 0);
        AddTool();
    }

    if (m_paintLabel)
        ReadRegistryColours();
}

void HyperLink::ReadRegistryColours()
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Internet Explorer\\Settings", 0, KEY_READ, &key)
        != ERROR_SUCCESS)
        return;
    ReadColourValue(key, L"Anchor Color", m_linkColour);
    ReadColourValue(key, L"Anchor Color Visited", m_visitedColour);
    RegCloseKey(key);
}

void HyperLink::AddTool()
{
    TOOLINFOW tool{};
    tool.cbSize = TTTOOLINFOW_V1_SIZE;
    tool.uFlags = 0;
    tool.hwnd = m_hWnd;
    tool.uId = 1;
    tool.rect = m_linkRect;
    tool.hinst = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(m_hWnd, GWLP_HINSTANCE));
    tool.lpszText = m_target.data();
    // Adding a tool twice would leave two tips behind: drop the old one first.
    SendMessageW(m_tooltip, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    SendMessageW(m_tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

bool HyperLink::SetTarget(const wchar_t* target)
{
    try {
        m_target = target ? target : L"";
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (m_label.empty())
        ComputeLinkRect();
    if (m_tooltip) {
        SendMessageW(m_tooltip, TTM_ACTIVATE, TRUE, 0);
        AddTool();
    }
    return true;
}

UINT HyperLink::TextFormat() const
{
    const LONG style = GetWindowLongW(m_hWnd, GWL_STYLE);
    UINT format = DT_WORDBREAK;
    if ((style & SS_TYPEMASK) == SS_CENTER)
        format |= DT_CENTER;
    else if ((style & SS_TYPEMASK) == SS_RIGHT)
        format |= DT_RIGHT;
    if (style & SS_NOPREFIX)
        format |= DT_NOPREFIX;
    return format;
}

RECT HyperLink::MeasureText(HDC dc, std::wstring_view text, HFONT font, RECT bounds, UINT format) const
{
    HGDIOBJ old = font ? SelectObject(dc, font) : nullptr;
    DrawTextW(dc, text.data(), static_cast<int>(text.size()), &bounds, format | DT_CALCRECT);
    if (old)
        SelectObject(dc, old);
    return bounds;
}

void HyperLink::ComputeLinkRect()
{
    if (!IsWindow(m_hWnd) || (m_label.empty() && m_target.empty()))
        return;
    RECT client;
    GetClientRect(m_hWnd, &client);
    m_linkRect = client;
    if (!m_paintLabel)
        return;

    HDC dc = GetDC(m_hWnd);
    const UINT format = TextFormat();
    if (!(m_style & LinkTags)) {
        RECT measured = MeasureText(dc, DisplayText(), m_linkFont, client, format);
        const LONG clientWidth = client.right - client.left;
        if (format & DT_CENTER)
            OffsetRect(&measured, (clientWidth - measured.right) / 2, 0);
        else if (format & DT_RIGHT)
            OffsetRect(&measured, clientWidth - measured.right, 0);
        m_linkRect = measured;
    } else {
        const LinkTagParts parts = SplitLinkTags(DisplayText());
        RECT bounds = client;
        if (!parts.leading.empty()) {
            const RECT leading = MeasureText(dc, parts.leading, m_normalFont, client, DT_WORDBREAK);
            bounds.left = leading.right;
        }
        m_linkRect = MeasureText(dc, parts.link, m_linkFont, bounds, DT_WORDBREAK);
    }
    ReleaseDC(m_hWnd, dc);
}

bool HyperLink::PointerInLink() const
{
    POINT pointer;
    GetCursorPos(&pointer);
    ScreenToClient(m_hWnd, &pointer);
    return PtInRect(&m_linkRect, pointer) != FALSE;
}

void HyperLink::SetHover(bool hover)
{
    if (!(m_style & LinkUnderlineOnHover) || m_hover == hover)
        return;
    m_hover = hover;
    InvalidateRect(m_hWnd, &m_linkRect, FALSE);
    UpdateWindow(m_hWnd);
    if (hover) {
        TRACKMOUSEEVENT track{sizeof(track), TME_LEAVE, m_hWnd, 0};
        _TrackMouseEvent(&track);
    }
}

void HyperLink::Paint(HDC dc)
{
    RECT client;
    GetClientRect(m_hWnd, &client);
    HWND parent = GetParent(m_hWnd);
    auto brush = reinterpret_cast<HBRUSH>(
        SendMessageW(parent, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(m_hWnd)));
    if (brush)
        FillRect(dc, &client, brush);

    COLORREF colour = m_linkColour;
    if (!IsWindowEnabled(m_hWnd))
        colour = GetSysColor(COLOR_GRAYTEXT);
    else if (m_visited)
        colour = m_visitedColour;
    HFONT font = m_linkFont;
    if (!font || ((m_style & LinkUnderlineOnHover) && !m_hover))
        font = m_normalFont;
    const int oldMode = SetBkMode(dc, TRANSPARENT);
    HGDIOBJ oldFont = SelectObject(dc, m_normalFont);

    if (!(m_style & LinkTags)) {
        const COLORREF oldColour = SetTextColor(dc, colour);
        SelectObject(dc, font);
        const std::wstring_view text = DisplayText();
        RECT area = m_linkRect;
        DrawTextW(dc, text.data(), static_cast<int>(text.size()), &area, TextFormat());
        SetTextColor(dc, oldColour);
    } else {
        const LinkTagParts parts = SplitLinkTags(DisplayText());
        RECT area = client;
        if (!parts.leading.empty())
            DrawTextW(dc, parts.leading.data(), static_cast<int>(parts.leading.size()), &area, DT_WORDBREAK);
        const COLORREF oldColour = SetTextColor(dc, colour);
        SelectObject(dc, font);
        area = m_linkRect;
        DrawTextW(dc, parts.link.data(), static_cast<int>(parts.link.size()), &area, DT_WORDBREAK);
        SetTextColor(dc, oldColour);
        if (!parts.trailing.empty()) {
            SelectObject(dc, m_normalFont);
            area = {m_linkRect.right, m_linkRect.top, client.right, client.bottom};
            DrawTextW(dc, parts.trailing.data(), static_cast<int>(parts.trailing.size()), &area, DT_WORDBREAK);
        }
    }
    if (GetFocus() == m_hWnd)
        DrawFocusRect(dc, &m_linkRect);
    SelectObject(dc, oldFont);
    SetBkMode(dc, oldMode);
}

bool HyperLink::Navigate()
{
    HWND parent = GetParent(m_hWnd);
    const int id = GetDlgCtrlID(m_hWnd);
    if ((m_style & LinkNotify) == LinkNotify) {
        NMHDR header{m_hWnd, static_cast<UINT_PTR>(id), static_cast<UINT>(NM_CLICK)};
        SendMessageW(parent, WM_NOTIFY, static_cast<WPARAM>(id), reinterpret_cast<LPARAM>(&header));
        return true;
    }
    if (m_style & LinkCommand) {
        SendMessageW(parent, WM_COMMAND, MAKEWPARAM(id, 0), reinterpret_cast<LPARAM>(m_hWnd));
        return true;
    }
    const auto result = reinterpret_cast<INT_PTR>(
        ShellExecuteW(nullptr, L"open", m_target.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    if (result <= 32)
        return false;
    m_visited = true;
    InvalidateRect(m_hWnd, nullptr, TRUE);
    return true;
}

LRESULT HyperLink::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message >= WM_MOUSEFIRST && message <= WM_MBUTTONDBLCLK && m_tooltip && !(m_style & LinkNoTooltip)) {
        MSG relayed{m_hWnd, message, wParam, lParam, 0, {}};
        SendMessageW(m_tooltip, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&relayed));
    }

    switch (message) {
    case WM_PAINT:
    case WM_PRINTCLIENT:
        if (!m_paintLabel)
            break;
        if (message == WM_PAINT && !wParam) {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(m_hWnd, &ps);
            Paint(dc);
            EndPaint(m_hWnd, &ps);
        } else {
            Paint(reinterpret_cast<HDC>(wParam));
        }
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        if (m_paintLabel)
            InvalidateRect(m_hWnd, nullptr, FALSE);
        break;
    case WM_SETFONT:
        m_normalFont = reinterpret_cast<HFONT>(wParam);
        if (lParam) {
            InvalidateRect(m_hWnd, nullptr, FALSE);
            UpdateWindow(m_hWnd);
        }
        return 0;
    case WM_GETFONT:
        return reinterpret_cast<LRESULT>(m_normalFont);
    case WM_ENABLE:
        InvalidateRect(m_hWnd, nullptr, FALSE);
        UpdateWindow(m_hWnd);
        break;
    case WM_UPDATEUISTATE:
        return 0;
    case WM_SIZE:
        ComputeLinkRect();
        break;
    case WM_SETCURSOR:
        if (HasAction() && PointerInLink())
            return TRUE;
        break;
    case WM_MOUSEMOVE: {
        const POINT at = PointFromLParam(lParam);
        if (HasAction() && PtInRect(&m_linkRect, at)) {
            SetCursor(m_cursor);
            SetHover(true);
        } else {
            SetHover(false);
        }
        break;
    }
    case WM_MOUSELEAVE:
        SetHover(false);
        break;
    case WM_LBUTTONDOWN:
        if (PtInRect(&m_linkRect, PointFromLParam(lParam))) {
            SetFocus(m_hWnd);
            SetCapture(m_hWnd);
        }
        break;
    case WM_LBUTTONUP:
        if (GetCapture() == m_hWnd)
            ReleaseCapture();
        if (PtInRect(&m_linkRect, PointFromLParam(lParam)))
            Navigate();
        break;
    case WM_GETDLGCODE:
        return DLGC_WANTCHARS;
    case WM_CHAR:
        if (wParam == VK_RETURN || wParam == VK_SPACE) {
            Navigate();
            return 0;
        }
        break;
    case WM_DESTROY:
        if (m_tooltip) {
            DestroyWindow(m_tooltip);
            m_tooltip = nullptr;
        }
        break;
    default:
        break;
    }
    return CallPrevious(message, wParam, lParam);
}

} // namespace vx::ui
