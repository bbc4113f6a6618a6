// The real open-file dialog ("Picture File (*.jpg)", multi-selection, explorer style with
// an empty hook), the folder browser for file-system directories and "explore".
#include "app/ShellServices.h"

#include <commdlg.h>
#include <shellapi.h>
#include <shlobj.h>

namespace vx::app {

namespace {

constexpr wchar_t kPictureFilter[] = L"Picture File (*.jpg)\0*.jpg\0";

// The hook only exists because the dialog is created with OFN_ENABLEHOOK; it leaves every
// message to the dialog.
UINT_PTR CALLBACK OpenFileHook(HWND, UINT, WPARAM, LPARAM)
{
    return 0;
}

// Where the folder browser starts. The main dialog gives neither a folder nor an
// expand request, so the browser opens at its default place.
struct BrowseState {
    PCIDLIST_ABSOLUTE initialItem = nullptr;
    const wchar_t* initialPath = nullptr;
    bool expand = false;
    UINT flags = 0;
};

// The folder browser's callback: selects (and optionally expands) the initial folder,
// and keeps the browser open after a failed validation.
int CALLBACK BrowseCallback(HWND browser, UINT message, LPARAM, LPARAM data)
{
    const auto* state = reinterpret_cast<const BrowseState*>(data);
    if (message == BFFM_INITIALIZED && state) {
        if (state->initialItem)
            SendMessageW(browser, BFFM_SETSELECTIONW, FALSE, reinterpret_cast<LPARAM>(state->initialItem));
        else if (state->initialPath)
            SendMessageW(browser, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(state->initialPath));
        if (state->expand && (state->flags & BIF_NEWDIALOGSTYLE)) {
            const BOOL byPath = state->initialItem ? FALSE : TRUE;
            const LPARAM where = state->initialItem ? reinterpret_cast<LPARAM>(state->initialItem)
                                                    : reinterpret_cast<LPARAM>(state->initialPath);
            SendMessageW(browser, BFFM_SETEXPANDED, byPath, where);
        }
        return 0;
    }
    if (message == BFFM_VALIDATEFAILEDW)
        return 1;
    return 0;
}

} // namespace

bool SystemShellServices::ChoosePictureFiles(HWND owner, HINSTANCE instance, wchar_t* buffer, DWORD capacity)
{
    wchar_t fileTitle[256] = {};
    OPENFILENAMEW request{};
    request.lStructSize = OPENFILENAME_SIZE_VERSION_400W;
    request.hwndOwner = owner;
    request.hInstance = instance;
    request.lpstrFilter = kPictureFilter;
    request.nFilterIndex = 0;
    request.lpstrFile = buffer;
    request.nMaxFile = capacity;
    request.lpstrFileTitle = fileTitle;
    request.nMaxFileTitle = 256;
    request.Flags = OFN_EXPLORER | OFN_ALLOWMULTISELECT | OFN_HIDEREADONLY | OFN_ENABLESIZING | OFN_ENABLEHOOK;
    request.lpfnHook = &OpenFileHook;
    return GetOpenFileNameW(&request) != FALSE;
}

bool SystemShellServices::ChooseFolder(HWND owner, wchar_t* path)
{
    wchar_t displayName[MAX_PATH] = {};
    BrowseState state;
    state.flags = BIF_RETURNONLYFSDIRS;
    BROWSEINFOW info{};
    info.hwndOwner = owner;
    info.pidlRoot = nullptr;
    info.pszDisplayName = displayName;
    info.lpszTitle = nullptr;
    info.ulFlags = state.flags;
    info.lpfn = &BrowseCallback;
    info.lParam = reinterpret_cast<LPARAM>(&state);
    PIDLIST_ABSOLUTE item = SHBrowseForFolderW(&info);
    if (!item)
        return false;
    wchar_t chosen[MAX_PATH] = {};
    const bool ok = SHGetPathFromIDListW(item, chosen) != FALSE;
    CoTaskMemFree(item);
    if (ok)
        lstrcpynW(path, chosen, MAX_PATH);
    return ok;
}

void SystemShellServices::Explore(const wchar_t* directory)
{
    ShellExecuteW(nullptr, L"explore", directory, nullptr, nullptr, SW_SHOWNORMAL);
}

} // namespace vx::app
