// The log pane: formatting into a 512-unit buffer, measuring lines with the list box's
// font, and the four list-box messages whose effect on the extent the pane follows.
#include "app/LogPane.h"

#include <cstdarg>
#include <cwchar>
#include <vector>

namespace vx::app {

LRESULT LogPane::AppendLog(const wchar_t* format, ...)
{
    wchar_t line[kLineUnits] = {};
    va_list args;
    va_start(args, format);
    // A longer line is cut to its first 511 characters; the last unit always stays NUL.
    std::vswprintf(line, kLineUnits, format, args);
    va_end(args);
    line[kLineUnits - 1] = 0;

    HWND listBox = m_hWnd;
    if (!IsWindow(listBox))
        return 0;
    const LRESULT index = AddLine(line);
    return SendMessageW(listBox, LB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

LRESULT LogPane::AddLine(const wchar_t* text)
{
    // The subclassed procedure measures what LB_ADDSTRING adds.
    return SendMessageW(m_hWnd, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
}

void LogPane::Clear()
{
    m_maxExtent = 0;
    SendMessageW(m_hWnd, LB_RESETCONTENT, 0, 0);
}

int LogPane::MeasureLine(const wchar_t* text) const
{
    HDC dc = GetDC(m_hWnd);
    if (!dc)
        return 0;
    auto font = reinterpret_cast<HFONT>(SendMessageW(m_hWnd, WM_GETFONT, 0, 0));
    HGDIOBJ oldFont = font ? SelectObject(dc, font) : nullptr;
    SIZE size{};
    GetTextExtentPoint32W(dc, text, static_cast<int>(std::wcslen(text)), &size);
    if (oldFont)
        SelectObject(dc, oldFont);
    ReleaseDC(m_hWnd, dc);
    return size.cx + 3 * GetSystemMetrics(SM_CXBORDER);
}

void LogPane::Measure(const wchar_t* text)
{
    const int width = MeasureLine(text);
    if (width > m_maxExtent) {
        m_maxExtent = width;
        CallPrevious(LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(width), 0);
    }
}

LRESULT LogPane::RemeasureAll()
{
    m_maxExtent = 0;
    const LRESULT count = CallPrevious(LB_GETCOUNT, 0, 0);
    std::vector<wchar_t> text;
    for (LRESULT i = 0; i < count; ++i) {
        const LRESULT length = CallPrevious(LB_GETTEXTLEN, static_cast<WPARAM>(i), 0);
        if (length < 0)
            continue;
        try {
            text.assign(static_cast<size_t>(length) + 1, 0);
        } catch (const std::bad_alloc&) {
            return LB_ERR;
        }
        CallPrevious(LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text.data()));
        const int width = MeasureLine(text.data());
        if (width > m_maxExtent)
            m_maxExtent = width;
    }
    CallPrevious(LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(m_maxExtent), 0);
    return 0;
}

LRESULT LogPane::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    const LRESULT result = CallPrevious(message, wParam, lParam);
    switch (message) {
    case LB_ADDSTRING:
    case LB_INSERTSTRING:
        if (result >= 0 && lParam)
            Measure(reinterpret_cast<const wchar_t*>(lParam));
        return result;
    case LB_DELETESTRING:
        if (result != LB_ERR && RemeasureAll() == LB_ERR)
            return LB_ERR;
        return result;
    case LB_RESETCONTENT:
        m_maxExtent = 0;
        CallPrevious(LB_SETHORIZONTALEXTENT, 0, 0);
        return 0;
    default:
        return result;
    }
}

} // namespace vx::app
