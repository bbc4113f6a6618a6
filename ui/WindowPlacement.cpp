// Window centring shared by the main dialog (on the work area) and the About box (on
// its owner).
#include "ui/WindowPlacement.h"

namespace vx::ui {

POINT CentredPosition(LONG width, LONG height, const RECT& reference, const RECT& area)
{
    POINT pos;
    pos.x = (reference.left + reference.right) / 2 - width / 2;
    pos.y = (reference.top + reference.bottom) / 2 - height / 2;
    if (pos.x < area.left)
        pos.x = area.left;
    else if (pos.x + width > area.right)
        pos.x = area.right - width;
    if (pos.y < area.top)
        pos.y = area.top;
    else if (pos.y + height > area.bottom)
        pos.y = area.bottom - height;
    return pos;
}

void CentreWindow(HWND window, HWND centreOn)
{
    const LONG style = GetWindowLongW(window, GWL_STYLE);
    const bool child = (style & WS_CHILD) != 0;
    if (!centreOn)
        centreOn = child ? GetParent(window) : GetWindow(window, GW_OWNER);

    RECT self;
    GetWindowRect(window, &self);
    RECT area;
    RECT reference;
    if (child) {
        HWND parent = GetParent(window);
        GetClientRect(parent, &area);
        GetClientRect(centreOn, &reference);
        MapWindowPoints(centreOn, parent, reinterpret_cast<POINT*>(&reference), 2);
    } else {
        if (centreOn) {
            const LONG ownerStyle = GetWindowLongW(centreOn, GWL_STYLE);
            if (!(ownerStyle & WS_VISIBLE) || (ownerStyle & WS_MINIMIZE))
                centreOn = nullptr;
        }
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
        if (centreOn)
            GetWindowRect(centreOn, &reference);
        else
            reference = area;
    }
    const POINT pos = CentredPosition(self.right - self.left, self.bottom - self.top, reference, area);
    SetWindowPos(window, nullptr, pos.x, pos.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

} // namespace vx::ui
