// The main dialog: initialisation, command routing, the destination browser, "explore",
// the Start command over the batch runner, drops, the picture list's Delete key and its
// preview, and closing. The preview and a run in progress are closed or cancelled and their
// workers waited for before the window and the dialog's state go away.
#include "app/MainDialog.h"

#include "app/FileDialogResultIterator.h"
#include "app/PictureSources.h"
#include "app/batch/MarkStyle.h"
#include "app/resource.h"
#include "ui/AboutDialog.h"
#include "ui/WindowPlacement.h"

#include <commctrl.h>

#include <cwchar>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace vx::app {

namespace {

std::u16string ToU16(std::wstring_view text)
{
    return std::u16string(reinterpret_cast<const char16_t*>(text.data()), text.size());
}

std::wstring ToWide(std::u16string_view text)
{
    return std::wstring(reinterpret_cast<const wchar_t*>(text.data()), text.size());
}

HICON LoadProgramIcon(HINSTANCE instance, int widthMetric, int heightMetric)
{
    return static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_VANTRY), IMAGE_ICON,
                                         GetSystemMetrics(widthMetric), GetSystemMetrics(heightMetric),
                                         LR_DEFAULTCOLOR));
}

void InsertTab(HWND tabs, int index, const wchar_t* text)
{
    TCITEMW item{};
    item.mask = TCIF_TEXT | TCIF_PARAM;
    item.pszText = const_cast<wchar_t*>(text);
    item.lParam = 0;
    SendMessageW(tabs, TCM_INSERTITEMW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
}

} // namespace

MainDialog::MainDialog(HINSTANCE instance, ShellServices& shell, MessageLoop* loop)
    : m_instance(instance), m_shell(shell), m_loop(loop), m_runner(*this, GetSystemDefaultLangID()),
      m_preview(instance)
{
}

MainDialog::~MainDialog()
{
    // Normally the window is gone and the run stopped already; this covers a dialog
    // object dropped with its window still open.
    if (m_hWnd)
        DestroyWindow(m_hWnd);
    StopWorkers();
    if (m_bigIcon)
        DestroyIcon(m_bigIcon);
    if (m_smallIcon)
        DestroyIcon(m_smallIcon);
}

bool MainDialog::Create()
{
    return CreateDialogParamW(m_instance, MAKEINTRESOURCEW(IDD_MAIN), nullptr, &DialogWindow::StartDialogProc,
                              reinterpret_cast<LPARAM>(this))
        != nullptr;
}

bool MainDialog::PreTranslateMessage(MSG& message)
{
    if (!m_hWnd)
        return false;
    // Enter on a row of the picture list previews it; elsewhere it stays the dialog's IDOK.
    if (message.message == WM_KEYDOWN && message.wParam == VK_RETURN && message.hwnd == m_pictures.Handle()) {
        const int row = m_pictures.FocusedRow();
        if (row >= 0) {
            OpenPreview(row);
            return true;
        }
    }
    return IsDialogMessageW(m_hWnd, &message);
}

bool MainDialog::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    switch (message) {
    case WM_INITDIALOG:
        OnInitDialog();
        result = TRUE;
        return true;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_MARK && HIWORD(wParam) == EN_CHANGE && m_preview.IsOpen())
            m_preview.SetMark(MarkText());
        OnCommand(LOWORD(wParam));
        result = 0;
        return true;
    case WM_DROPFILES:
        OnDropFiles(reinterpret_cast<HDROP>(wParam));
        result = 0;
        return true;
    case WM_NOTIFY:
        result = OnNotify(*reinterpret_cast<const NMHDR*>(lParam));
        return true;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        BeginPaint(m_hWnd, &ps);
        EndPaint(m_hWnd, &ps);
        result = 0;
        return true;
    }
    case kSizeProbedMessage: {
        const auto* probed = reinterpret_cast<const ProbedSize*>(lParam);
        m_pictures.SetSizeText(probed->path, probed->sizeText);
        result = 0;
        return true;
    }
    case WM_DESTROY:
        // The controls still exist here, so a worker blocked on them can finish.
        m_preview.Close();
        StopWorkers();
        if (m_loop)
            m_loop->RemoveFilter(this);
        return false;
    default:
        return false;
    }
}

void MainDialog::OnInitDialog()
{
    wchar_t program[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, program, MAX_PATH);
    char16_t directory[MAX_PATH] = {};
    vx::batch::DirectoryOf(reinterpret_cast<const char16_t*>(program), directory, MAX_PATH);
    lstrcpynW(m_szDestPath, reinterpret_cast<const wchar_t*>(directory), MAX_PATH);
    const size_t used = std::wcslen(m_szDestPath);
    lstrcpynW(m_szDestPath + used, L"small", static_cast<int>(MAX_PATH - used));
    ShowDestination(m_szDestPath);

    m_progress = GetDlgItem(m_hWnd, IDC_PROGRESS);
    // The mark style starts empty: the runner fills it when it is constructed.
    m_logPane.Attach(GetDlgItem(m_hWnd, IDC_LOG_PANE));
    m_pictures = PictureList(GetDlgItem(m_hWnd, IDC_PICTURE_LIST));
    m_pictures.SetUp(m_instance);

    vx::ui::CentreWindow(m_hWnd);
    m_bigIcon = LoadProgramIcon(m_instance, SM_CXICON, SM_CYICON);
    m_smallIcon = LoadProgramIcon(m_instance, SM_CXSMICON, SM_CYSMICON);
    SendMessageW(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_bigIcon));
    SendMessageW(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_smallIcon));
    if (m_loop)
        m_loop->AddFilter(this);

    m_tabs = GetDlgItem(m_hWnd, IDC_HIDDEN_TABS);
    InsertTab(m_tabs, 0, L"Dest Directory");
    InsertTab(m_tabs, 1, L"Size Setting");

    // Files dropped anywhere on the dialog, its list included, arrive here.
    DragAcceptFiles(m_hWnd, TRUE);
    if (!m_startupPictures.empty())
        AddPictureFiles(ExpandFolders(m_startupPictures));
}

void MainDialog::OnCommand(int id)
{
    switch (id) {
    case IDOK:
    case IDCANCEL:
        Close(id);
        break;
    case IDC_ABOUT:
        vx::ui::ShowAbout(m_instance);
        break;
    case IDC_CLEAR_LOGS:
        if (IsWindow(m_logPane.Handle()))
            m_logPane.Clear();
        break;
    case IDC_ADD_PICTURES:
        AddPictures();
        break;
    case IDC_START:
        StartRun();
        break;
    case IDC_EXPLORE:
        m_shell.Explore(m_szDestPath);
        break;
    case IDC_DELETE:
        m_pictures.DeleteSelected();
        break;
    case IDC_CLEAR_PICTURES:
        m_pictures.Clear();
        break;
    case IDC_BROWSE:
        BrowseForDestination();
        break;
    default:
        break;
    }
}

LRESULT MainDialog::OnNotify(const NMHDR& header)
{
    if (header.idFrom != IDC_PICTURE_LIST)
        return 0;
    if (header.code == LVN_KEYDOWN && reinterpret_cast<const NMLVKEYDOWN&>(header).wVKey == VK_DELETE)
        m_pictures.DeleteSelected();
    else if (header.code == NM_DBLCLK && reinterpret_cast<const NMITEMACTIVATE&>(header).iItem >= 0)
        OpenPreview(reinterpret_cast<const NMITEMACTIVATE&>(header).iItem);
    return 0;
}

void MainDialog::OpenPreview(int row)
{
    const std::wstring path = m_pictures.PathAt(row);
    if (!path.empty())
        m_preview.Open(m_hWnd, path, MarkText(), vx::batch::CharsetForLanguage(GetSystemDefaultLangID()));
}

std::u16string MainDialog::MarkText() const
{
    wchar_t mark[kMarkUnits] = {};
    GetDlgItemTextW(m_hWnd, IDC_MARK, mark, kMarkUnits);
    return ToU16(mark);
}

void MainDialog::Close(int id)
{
    DestroyWindow(m_hWnd);
    PostQuitMessage(id);
}

void MainDialog::StopWorkers()
{
    if (m_runner.IsRunning()) {
        m_runner.Cancel();
        ServeSentMessagesUntil([this] { return !m_runner.IsRunning(); });
        m_runner.Wait();
    }
    m_probes.StopAll();
}

void MainDialog::AddPictures()
{
    // Zero-filled, so a single selection is followed by an empty string.
    std::vector<std::wstring> chosen;
    std::unique_ptr<wchar_t[]> buffer(new (std::nothrow) wchar_t[kFileBufferUnits]());
    if (buffer && m_shell.ChoosePictureFiles(GetActiveWindow(), m_instance, buffer.get(), kFileBufferUnits)) {
        FileDialogResultIterator selection(buffer.get());
        std::wstring path;
        while (selection.Next(path))
            chosen.push_back(path);
    }
    buffer.reset();
    AddPictureFiles(chosen);
}

void MainDialog::AddPictureFiles(const std::vector<std::wstring>& paths)
{
    for (const std::wstring& path : paths)
        m_pictures.Add(path.c_str());

    std::vector<std::wstring> listed;
    const int count = m_pictures.Count();
    for (int row = 0; row < count; ++row)
        listed.push_back(m_pictures.PathAt(row));
    m_probes.Start(m_hWnd, std::move(listed));
}

void MainDialog::OnDropFiles(HDROP drop)
{
    const std::vector<std::wstring> dropped = DroppedPaths(drop);
    DragFinish(drop);
    AddPictureFiles(ExpandFolders(dropped));
}

void MainDialog::StartRun()
{
    GetDlgItemTextW(m_hWnd, IDC_DEST_PATH, m_szDestPath, MAX_PATH);

    vx::batch::BatchRequest request;
    request.destination = ToU16(m_szDestPath);
    if (m_pictures.IsWindow()) {
        request.markText = MarkText();
        const int count = m_pictures.Count();
        for (int row = 0; row < count; ++row)
            request.rows.push_back(ToU16(m_pictures.PathAt(row)));
    }

    vx::batch::StartResult started = m_runner.Start(request);
    if (started == vx::batch::StartResult::Busy && IsWindowEnabled(GetDlgItem(m_hWnd, IDC_START))) {
        // The worker enables Start as its last report, an instant before it has ended: a click
        // in that instant waits for the end (serving the worker's messages) and starts then.
        ServeSentMessagesUntil([this] { return !m_runner.IsRunning(); });
        started = m_runner.Start(request);
    }
    if (started == vx::batch::StartResult::NoDestination)
        SetFocus(GetDlgItem(m_hWnd, IDC_DEST_PATH));
}

void MainDialog::BrowseForDestination()
{
    wchar_t chosen[MAX_PATH] = {};
    if (!m_shell.ChooseFolder(GetActiveWindow(), chosen))
        return;
    lstrcpynW(m_szDestPath, chosen, MAX_PATH);
    if (m_szDestPath[0])
        ShowDestination(m_szDestPath);
}

void MainDialog::ShowDestination(const wchar_t* path)
{
    HWND edit = GetDlgItem(m_hWnd, IDC_DEST_PATH);
    if (edit)
        SetWindowTextW(edit, path);
}

void MainDialog::LogLine(std::u16string_view line)
{
    const std::wstring text = ToWide(line);
    m_logPane.AppendLog(L"%ls", text.c_str());
}

void MainDialog::SetProgressRange(int minimum, int maximum)
{
    SendMessageW(m_progress, PBM_SETRANGE, 0, MAKELPARAM(minimum, maximum));
}

void MainDialog::SetProgressPosition(int position)
{
    SendMessageW(m_progress, PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

void MainDialog::SetStartEnabled(bool enabled)
{
    if (!IsWindow(m_hWnd))
        return;
    HWND start = GetDlgItem(m_hWnd, IDC_START);
    // A disabled window cannot keep the focus: without this the keyboard would be dead until
    // a click. The dialog manager moves it on to the next tab stop. (GetFocus answers only on
    // the dialog's own thread, which is the one that disables Start.)
    if (!enabled && GetFocus() == start)
        SendMessageW(m_hWnd, WM_NEXTDLGCTL, 0, FALSE);
    EnableWindow(start, enabled ? TRUE : FALSE);
}

void MainDialog::ShowMessage(std::u16string_view text, std::u16string_view caption, vx::batch::MessageOwner owner)
{
    const std::wstring body = ToWide(text);
    const std::wstring title = ToWide(caption);
    MessageBoxW(owner == vx::batch::MessageOwner::Window ? m_hWnd : nullptr, body.c_str(), title.c_str(), MB_OK);
}

} // namespace vx::app
