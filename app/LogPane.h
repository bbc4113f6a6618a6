// LogPane: the list box at the bottom of the main dialog used as a log. It appends lines,
// selects the newest one and keeps the horizontal scroll extent equal to the width of the
// widest line, whoever adds or deletes lines. AppendLog may be called from any thread: it
// reaches the list box only through SendMessageW.
#pragma once

#include "ui/WindowBinding.h"

namespace vx::app {

class LogPane : public vx::ui::SubclassedWindow {
public:
    static constexpr int kLineUnits = 512;

    bool Attach(HWND listBox) { return Subclass(listBox); }

    // printf-style line (wide format, cut to 511 characters). Returns the LB_SETCURSEL
    // result for the new line, or 0 when the list box is not a window.
    LRESULT AppendLog(const wchar_t* format, ...);
    LRESULT AddLine(const wchar_t* text);
    void Clear();

    int MaxExtent() const { return m_maxExtent; }

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    // Pixel width of `text` in the list box's font plus the border allowance.
    int MeasureLine(const wchar_t* text) const;
    void Measure(const wchar_t* text);
    LRESULT RemeasureAll();

    int m_maxExtent = 0;
};

} // namespace vx::app
