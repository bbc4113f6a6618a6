// In-process driving of dialogs: pumping, the modal-box closer, the scripted shell, and what
// pictures, list boxes and painted windows show.
#include "tests/win32/Win32TestSupport.h"

#include "image/VxImage.h"

#include <commctrl.h>

#include <algorithm>

namespace vx::test {

void PumpMessages(int milliseconds)
{
    const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(milliseconds);
    for (;;) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT)
                continue;
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        const ULONGLONG now = GetTickCount64();
        if (now >= end)
            return;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(std::min<ULONGLONG>(end - now, 10)),
                                  QS_ALLINPUT);
    }
}

bool PumpUntil(const std::function<bool()>& done, int timeoutMs)
{
    const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(timeoutMs);
    while (!done() && GetTickCount64() < end)
        PumpMessages(10);
    return done();
}

HWND FindThreadWindow(const wchar_t* className, const wchar_t* caption, HWND ignore)
{
    struct Search {
        const wchar_t *className, *caption;
        HWND ignore, found;
    } search{className, caption, ignore, nullptr};
    const auto test = [](HWND window, LPARAM data) -> BOOL {
        auto* s = reinterpret_cast<Search*>(data);
        wchar_t name[64] = {}, text[64] = {};
        GetClassNameW(window, name, 64);
        GetWindowTextW(window, text, 64);
        if (window == s->ignore || !IsWindowVisible(window) || (s->className && lstrcmpW(name, s->className)) ||
            (s->caption && lstrcmpW(text, s->caption)))
            return TRUE;
        s->found = window;
        return FALSE;
    };
    EnumThreadWindows(GetCurrentThreadId(), test, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

static ModalBoxCloser* g_activeCloser = nullptr;

ModalBoxCloser::ModalBoxCloser(HWND ignore, int commandId, std::function<void(HWND)> inspect)
    : m_ignore(ignore), m_commandId(commandId), m_inspect(std::move(inspect))
{
    g_activeCloser = this;
    m_timer = SetTimer(nullptr, 0, 100, &ModalBoxCloser::OnTimer);
}

ModalBoxCloser::~ModalBoxCloser()
{
    if (m_timer)
        KillTimer(nullptr, m_timer);
    g_activeCloser = nullptr;
}

void CALLBACK ModalBoxCloser::OnTimer(HWND, UINT, UINT_PTR, DWORD)
{
    ModalBoxCloser* self = g_activeCloser;
    if (!self)
        return;
    HWND box = FindThreadWindow(L"#32770", nullptr, self->m_ignore);
    if (!box)
        return;
    if (self->m_seen.found) {
        // A box still (or newly) open long after ours was answered would hang the test.
        if (++self->m_ticksAfter > 30)
            SendMessageW(box, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        return;
    }
    wchar_t text[512] = {};
    GetDlgItemTextW(box, 0xFFFF, text, 512);
    self->m_seen = {true, text, GetWindow(box, GW_OWNER)};
    if (self->m_inspect)
        self->m_inspect(box);
    if (self->m_commandId)
        SendMessageW(box, WM_COMMAND, MAKEWPARAM(self->m_commandId, BN_CLICKED), 0);
}

void FakeShellServices::Select(const std::wstring& first, const std::vector<std::wstring>& names)
{
    m_selection = first + L'\0';
    for (const std::wstring& name : names)
        m_selection += name + L'\0';
}

bool FakeShellServices::ChoosePictureFiles(HWND, HINSTANCE, wchar_t* buffer, DWORD capacity)
{
    lastCapacity = capacity;
    const std::wstring selection = std::move(m_selection);
    m_selection.clear();
    // Like the real dialog: nothing chosen, or a selection that does not fit, is a failure.
    if (selection.empty() || selection.size() + 1 > capacity)
        return false;
    std::copy(selection.begin(), selection.end(), buffer);
    buffer[selection.size()] = 0;
    return true;
}

bool FakeShellServices::ChooseFolder(HWND, wchar_t* path)
{
    if (folder.empty())
        return false;
    lstrcpynW(path, folder.c_str(), MAX_PATH);
    return true;
}

std::wstring FirstToolText(HWND tooltip)
{
    wchar_t text[256] = {};
    TOOLINFOW tool{};
    tool.cbSize = sizeof(tool);
    tool.lpszText = text;
    if (!SendMessageW(tooltip, TTM_ENUMTOOLSW, 0, reinterpret_cast<LPARAM>(&tool)))
        return L"<no tool>";
    return text;
}

int MaxRedness(const VxImage& image, int left, int top, int right, int bottom)
{
    int strongest = -255;
    for (int y = std::max(top, 0); y < std::min(bottom, image.Height()); ++y) {
        for (int x = std::max(left, 0); x < std::min(right, image.Width()); ++x) {
            const RGBQUAD c = image.PixelColour(x, image.Height() - 1 - y, false); // rows stored bottom-up
            strongest = std::max(strongest, c.rgbRed - (c.rgbGreen + c.rgbBlue) / 2);
        }
    }
    return strongest;
}

std::vector<std::uint32_t> PaintedClient(HWND window, int width, int height)
{
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    HDC memory = CreateCompatibleDC(nullptr);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bitmap) {
        DeleteDC(memory);
        return {};
    }
    HGDIOBJ previous = SelectObject(memory, bitmap);
    SendMessageW(window, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(memory), PRF_CLIENT);
    GdiFlush();
    const auto* pixels = static_cast<const std::uint32_t*>(bits);
    std::vector<std::uint32_t> result(pixels, pixels + static_cast<std::size_t>(width) * height);
    SelectObject(memory, previous);
    DeleteObject(bitmap);
    DeleteDC(memory);
    return result;
}

} // namespace vx::test
