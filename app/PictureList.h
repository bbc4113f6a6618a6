// PictureList: the report-style list view of the main dialog that holds the pictures of
// the next run. Column 0 is the full path (unique, compared without regard to case),
// column 1 the original size once probed, column 2 the type ("jpg"). It is used on the
// dialog's thread only; size probes report to the dialog, which writes the sizes here.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <string>

namespace vx::app {

class PictureList {
public:
    static constexpr int kPathUnits = MAX_PATH;

    explicit PictureList(HWND listView = nullptr) : m_listView(listView) {}

    HWND Handle() const { return m_listView; }
    bool IsWindow() const { return ::IsWindow(m_listView) != FALSE; }

    // Extended style and the three columns, headers from the string table of `instance`.
    void SetUp(HINSTANCE instance) const;

    // Whether a row's path equals `path` ignoring case; empty paths are never contained.
    bool Contains(const wchar_t* path) const;
    // Inserts a row at the top unless the path is listed; true when a row was added.
    bool Add(const wchar_t* path) const;
    // The row with the keyboard focus, else the selected one; -1 when there is neither.
    int FocusedRow() const;
    // Removes the selected row, if any.
    void DeleteSelected() const;
    void Clear() const;

    int Count() const;
    // The row's path, read with room for 260 units.
    std::wstring PathAt(int row) const;
    std::wstring SizeTextAt(int row) const;
    std::wstring TypeAt(int row) const;
    // Writes the size column of the row that holds `path` now; false when none does.
    bool SetSizeText(const wchar_t* path, const wchar_t* text) const;

private:
    std::wstring TextAt(int row, int column) const;
    int RowOf(const wchar_t* path) const;
    bool SetText(int row, int column, const wchar_t* text) const;

    HWND m_listView;
};

} // namespace vx::app
