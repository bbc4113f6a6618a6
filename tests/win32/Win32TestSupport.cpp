// In-process driving of dialogs: pumping, the modal-box closer, the scripted shell, picture
// files made and read with VxImage, and what list boxes and painted windows show.
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

namespace {

ModalBoxCloser* g_activeCloser = nullptr;

struct FindBox {
    HWND ignore;
    HWND found;
};

BOOL CALLBACK FindVisibleDialog(HWND window, LPARAM data)
{
    auto* search = reinterpret_cast<FindBox*>(data);
    wchar_t className[16] = {};
    GetClassNameW(window, className, 16);
    if (window == search->ignore || !IsWindowVisible(window) || lstrcmpW(className, L"#32770") != 0)
        return TRUE;
    search->found = window;
    return FALSE;
}

} // namespace

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
    FindBox search{self->m_ignore, nullptr};
    EnumThreadWindows(GetCurrentThreadId(), &FindVisibleDialog, reinterpret_cast<LPARAM>(&search));
    HWND box = search.found;
    if (!box)
        return;
    if (self->m_seen.found) {
        // A box still (or newly) open long after ours was answered would hang the test.
        if (++self->m_ticksAfter > 30)
            SendMessageW(box, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        return;
    }
    wchar_t caption[512] = {}, text[512] = {};
    GetWindowTextW(box, caption, 512);
    GetDlgItemTextW(box, 0xFFFF, text, 512);
    self->m_seen = {true, caption, text, GetWindow(box, GW_OWNER)};
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

bool WritePicture(const std::filesystem::path& path, int width, int height, std::uint32_t type)
{
    VxImage image(static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height), 24, type);
    if (!image.IsValid())
        return false;
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = image.RowAddress(static_cast<std::uint32_t>(y));
        for (int x = 0; x < width; ++x) {
            row[3 * x + 0] = static_cast<std::uint8_t>(170 + (x * 40) / width);  // blue
            row[3 * x + 1] = static_cast<std::uint8_t>(110 + (y * 30) / height); // green
            row[3 * x + 2] = 70;                                                 // red
        }
    }
    return image.Save(reinterpret_cast<const char16_t*>(Wide(path).c_str()), type);
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

std::vector<std::wstring> ListBoxLines(HWND listBox)
{
    std::vector<std::wstring> lines;
    for (int i = 0; i < SendMessageW(listBox, LB_GETCOUNT, 0, 0); ++i) {
        std::wstring line(static_cast<size_t>(SendMessageW(listBox, LB_GETTEXTLEN, i, 0)) + 1, L'\0');
        line.resize(static_cast<size_t>(SendMessageW(listBox, LB_GETTEXT, i, reinterpret_cast<LPARAM>(line.data()))));
        lines.push_back(line);
    }
    return lines;
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
