// Centring a top-level or child window on another window, or on the desktop work area
// when there is none, kept inside the bounding area.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace vx::ui {

// Without `centreOn`, a child window centres on its parent and any other window on its
// owner; an owner that is hidden or minimised is ignored and the work area is used.
void CentreWindow(HWND window, HWND centreOn = nullptr);

// The top-left corner that centres a width x height window on `reference`, moved back
// inside `area` where it would pass an edge (left and top win over right and bottom).
POINT CentredPosition(LONG width, LONG height, const RECT& reference, const RECT& area);

} // namespace vx::ui
