// List-view messages behind the picture list: set-up, duplicate test, insertion at the
// top, delete, clear and the per-column text access.
#include "app/PictureList.h"

#include "app/resource.h"

#include <commctrl.h>

namespace vx::app {

namespace {

constexpr int kSizeColumn = 1;
constexpr int kTypeColumn = 2;

struct ColumnLayout {
    UINT headerId;
    int width;
};
constexpr ColumnLayout kColumns[] = {
    {IDS_PICTURE_FILE_NAME, 300},
    {IDS_ORIGIN_SIZE, 100},
    {IDS_PICTURE_TYPE, 100},
};

} // namespace

void PictureList::SetUp(HINSTANCE instance) const
{
    if (!IsWindow())
        return;
    SendMessageW(m_listView, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT | LVS_EX_INFOTIP);
    // The widths are pixels at 96 dpi; on a scaled display they grow with the dialog's font.
    HDC screen = GetDC(m_listView);
    const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSX) : 96;
    if (screen)
        ReleaseDC(m_listView, screen);
    for (int i = 0; i < 3; ++i) {
        wchar_t header[256] = {};
        LoadStringW(instance, kColumns[i].headerId, header, 256);
        LVCOLUMNW column{};
        column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
        column.fmt = LVCFMT_LEFT;
        column.cx = MulDiv(kColumns[i].width, dpi > 0 ? dpi : 96, 96);
        column.pszText = header;
        column.iSubItem = i;
        SendMessageW(m_listView, LVM_INSERTCOLUMNW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&column));
    }
}

int PictureList::Count() const
{
    return static_cast<int>(SendMessageW(m_listView, LVM_GETITEMCOUNT, 0, 0));
}

std::wstring PictureList::TextAt(int row, int column) const
{
    wchar_t text[kPathUnits] = {};
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = kPathUnits;
    SendMessageW(m_listView, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    return text;
}

std::wstring PictureList::PathAt(int row) const
{
    return TextAt(row, 0);
}

std::wstring PictureList::SizeTextAt(int row) const
{
    return TextAt(row, kSizeColumn);
}

std::wstring PictureList::TypeAt(int row) const
{
    return TextAt(row, kTypeColumn);
}

int PictureList::RowOf(const wchar_t* path) const
{
    if (!path || !*path)
        return -1;
    const int count = Count();
    for (int row = 0; row < count; ++row) {
        if (lstrcmpiW(PathAt(row).c_str(), path) == 0)
            return row;
    }
    return -1;
}

bool PictureList::Contains(const wchar_t* path) const
{
    return RowOf(path) >= 0;
}

bool PictureList::SetText(int row, int column, const wchar_t* text) const
{
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = row;
    item.iSubItem = column;
    item.pszText = const_cast<wchar_t*>(text);
    return SendMessageW(m_listView, LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item)) != FALSE;
}

bool PictureList::Add(const wchar_t* path) const
{
    if (!IsWindow() || !path || !*path || Contains(path))
        return false;
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = 0;
    item.pszText = const_cast<wchar_t*>(path);
    const auto row = static_cast<int>(SendMessageW(m_listView, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
    if (row < 0)
        return false;
    SetText(row, kTypeColumn, L"jpg");
    return true;
}

int PictureList::FocusedRow() const
{
    const auto focused = static_cast<int>(SendMessageW(m_listView, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED));
    if (focused >= 0)
        return focused;
    return static_cast<int>(SendMessageW(m_listView, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

void PictureList::DeleteSelected() const
{
    const auto row = static_cast<int>(SendMessageW(m_listView, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    if (row >= 0)
        SendMessageW(m_listView, LVM_DELETEITEM, static_cast<WPARAM>(row), 0);
}

void PictureList::Clear() const
{
    SendMessageW(m_listView, LVM_DELETEALLITEMS, 0, 0);
}

bool PictureList::SetSizeText(const wchar_t* path, const wchar_t* text) const
{
    const int row = RowOf(path);
    return row >= 0 && SetText(row, kSizeColumn, text);
}

} // namespace vx::app
