// The preview window: its class, the worker that loads (JPEG first, then any format by
// content) and halves the picture as a run does, the mark stamped on the UI thread, and
// painting through the drawing device over GDI (the picture centred, shrunk to fit).
#include "app/PreviewWindow.h"

#include "app/batch/MarkStyle.h"
#include "app/batch/ResizeJob.h"
#include "app/resource.h"
#include "image/TextMark.h"
#include "image/VxImage.h"
#include "platform/FileSystem.h"
#include "platform/win32/GdiDrawDevice.h"

#include <algorithm>
#include <new>

namespace vx::app {

namespace {

const wchar_t kClassName[] = L"VantryPreview";

bool RegisterPreviewClass(HINSTANCE instance)
{
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof(existing);
    if (GetClassInfoExW(instance, kClassName, &existing))
        return true;
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = DefWindowProcW; // replaced per window once its object is bound
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_VANTRY));
    windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)); // IDC_ARROW
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_APPWORKSPACE + 1);
    windowClass.lpszClassName = kClassName;
    return RegisterClassExW(&windowClass) != 0;
}

std::wstring FileNameOf(const std::wstring& path)
{
    const std::size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

std::wstring Wide(const std::u16string& text)
{
    return std::wstring(text.begin(), text.end());
}

} // namespace

PreviewWindow::~PreviewWindow()
{
    Close();
}

bool PreviewWindow::Open(HWND owner, const std::wstring& path, std::u16string_view mark, BYTE charset)
{
    Close();
    if (!RegisterPreviewClass(m_instance))
        return false;
    m_path = path;
    m_mark = mark;
    m_charset = charset;
    m_error.clear();
    m_picturePainted = false;

    const std::wstring caption = FileNameOf(path) + L" - Preview";
    m_window = CreateWindowExW(0, kClassName, caption.c_str(), WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                               480, 360, owner, nullptr, m_instance, nullptr);
    if (!m_window)
        return false;
    SetWindowLongPtrW(m_window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetWindowLongPtrW(m_window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&PreviewWindow::Procedure));

    m_cancel.Reset();
    try {
        m_worker = std::thread([this, window = m_window] { Load(window); });
    } catch (const std::system_error&) {
        Close();
        return false;
    }
    ShowWindow(m_window, SW_SHOWNORMAL);
    return true;
}

void PreviewWindow::Close()
{
    // The worker only posts to the window, so waiting for it needs no message pumping.
    StopWorker();
    if (m_window) {
        HWND window = m_window;
        m_window = nullptr;
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        DestroyWindow(window);
    }
    m_halfSize.reset();
    m_shown.reset();
    m_error.clear();
}

void PreviewWindow::StopWorker()
{
    if (!m_worker.joinable())
        return;
    m_cancel.Raise();
    m_worker.join();
    std::lock_guard lock(m_loadedMutex);
    m_loaded.reset();
    m_loadError.clear();
}

void PreviewWindow::Load(HWND window)
{
    std::unique_ptr<VxImage> image(new (std::nothrow) VxImage(kVxTypeJpg));
    std::wstring error;
    if (!image) {
        error = L"not enough memory";
    } else {
        vx::batch::AttachedImage attached(m_cancel, image.get());
        // Like a run: the JPEG codec first, then every codec by content.
        if (!image->Load(reinterpret_cast<const char16_t*>(m_path.c_str()), kVxTypeJpg)) {
            error = *image->LastError() ? Wide(vx::fs::FromUtf8(image->LastError())) : L"the file cannot be read";
        } else {
            vx::batch::ResizeJob job{};
            job.nPercent = 50;
            const vx::batch::TargetSize target = vx::batch::TargetSizeFor(job, image->Width(), image->Height());
            if (target.width <= 0 || target.height <= 0)
                error = L"the picture is too small to halve";
            else if (!image->Rescale(target.width, target.height, vx::batch::kNearestPixel))
                error = *image->LastError() ? Wide(vx::fs::FromUtf8(image->LastError())) : L"the picture cannot be scaled";
        }
    }
    if (m_cancel.Raised())
        return;
    {
        std::lock_guard lock(m_loadedMutex);
        if (error.empty())
            m_loaded = std::move(image);
        m_loadError = error;
    }
    PostMessageW(window, kPreviewReadyMessage, 0, 0);
}

void PreviewWindow::TakeLoaded()
{
    {
        std::lock_guard lock(m_loadedMutex);
        m_halfSize = std::move(m_loaded);
        m_error = m_loadError.empty() ? std::wstring() : L"Cannot preview " + m_path + L":\n" + m_loadError;
    }
    if (m_worker.joinable())
        m_worker.join(); // it has posted its last word
    StampMark();
    FitToPicture();
    InvalidateRect(m_window, nullptr, TRUE);
}

void PreviewWindow::SetMark(std::u16string_view mark)
{
    m_mark = mark;
    if (!m_window || !m_halfSize)
        return;
    StampMark();
    InvalidateRect(m_window, nullptr, FALSE);
}

void PreviewWindow::StampMark()
{
    m_shown.reset();
    if (!m_halfSize)
        return;
    std::unique_ptr<VxImage> shown(new (std::nothrow) VxImage(*m_halfSize, true, false, false));
    if (!shown || !shown->IsValid()) {
        m_error = L"Cannot preview " + m_path + L":\nnot enough memory";
        return;
    }
    auto mark = std::make_unique<TextMark>();
    vx::batch::FillMarkStyle(*mark, m_mark, m_charset);
    shown->DrawTextMark(nullptr, vx::batch::kMarkLeft, vx::batch::kMarkBaseline, mark.get(), false);
    m_shown = std::move(shown);
}

// Gives the window a client area of the picture's size, or the largest one of the same shape
// that leaves a quarter of the work area free.
void PreviewWindow::FitToPicture()
{
    if (!m_shown)
        return;
    RECT area;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    const double roomWidth = (area.right - area.left) * 0.75;
    const double roomHeight = (area.bottom - area.top) * 0.75;
    const double scale = std::min({1.0, roomWidth / m_shown->Width(), roomHeight / m_shown->Height()});
    RECT frame{0, 0, std::max(1, static_cast<int>(m_shown->Width() * scale)),
               std::max(1, static_cast<int>(m_shown->Height() * scale))};
    AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongW(m_window, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongW(m_window, GWL_EXSTYLE)));
    SetWindowPos(m_window, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void PreviewWindow::Render(HDC dc)
{
    RECT client;
    GetClientRect(m_window, &client);
    FillRect(dc, &client, GetSysColorBrush(COLOR_APPWORKSPACE));
    if (m_shown) {
        const int width = m_shown->Width();
        const int height = m_shown->Height();
        const double scale = std::min({1.0, static_cast<double>(client.right) / width,
                                       static_cast<double>(client.bottom) / height});
        const int cx = std::max(1, static_cast<int>(width * scale));
        const int cy = std::max(1, static_cast<int>(height * scale));
        const int x = (client.right - cx) / 2;
        const int y = (client.bottom - cy) / 2;
        vx::GdiDrawDevice device(dc);
        m_shown->Draw(&device, x, y, cx, cy, nullptr, cx != width || cy != height);
        return;
    }
    const std::wstring text = m_error.empty() ? L"Loading " + FileNameOf(m_path) + L" ..." : m_error;
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(m_error.empty() ? COLOR_WINDOWTEXT : COLOR_HIGHLIGHTTEXT));
    HGDIOBJ font = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    RECT box = client;
    InflateRect(&box, -12, -12);
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &box, DT_CENTER | DT_WORDBREAK | DT_NOPREFIX);
    SelectObject(dc, font);
}

LRESULT CALLBACK PreviewWindow::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* self = reinterpret_cast<PreviewWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self || self->m_window != window)
        return DefWindowProcW(window, message, wParam, lParam);
    return self->WindowProc(window, message, wParam, lParam);
}

LRESULT PreviewWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case kPreviewReadyMessage:
        TakeLoaded();
        return 0;
    case WM_ERASEBKGND:
        return 1; // Render fills the background itself, without flicker
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(m_window, &ps);
        Render(dc);
        EndPaint(m_window, &ps);
        if (m_shown)
            m_picturePainted = true;
        return 0;
    }
    case WM_PRINTCLIENT:
        Render(reinterpret_cast<HDC>(wParam));
        return 0;
    case WM_KEYDOWN:
        if (wParam == VK_ESCAPE) {
            Close();
            return 0;
        }
        break;
    case WM_CLOSE:
        Close();
        return 0;
    case WM_NCDESTROY:
        // Destroyed with its owner: the worker is waited for by the next Close.
        m_window = nullptr;
        break;
    default:
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

} // namespace vx::app
