// The size probe threads. Each holds its own copy of the paths and the owner's window
// handle; reports go through SendMessageW, so the owner's thread does the row lookup and
// the write in one step.
#include "app/SizeProbe.h"

#include "app/MessageLoop.h"
#include "image/VxImage.h"

#include <process.h>

#include <algorithm>
#include <cwchar>
#include <memory>
#include <new>

namespace vx::app {

namespace {

struct ProbeWork {
    HWND owner;
    std::vector<std::wstring> paths;
    vx::batch::CancelSignal* cancel;
};

const char16_t* AsUtf16(const wchar_t* text)
{
    return reinterpret_cast<const char16_t*>(text);
}

unsigned __stdcall ProbeThread(void* argument)
{
    std::unique_ptr<ProbeWork> work(static_cast<ProbeWork*>(argument));
    for (const std::wstring& path : work->paths) {
        if (work->cancel->Raised())
            break;
        const std::wstring text = ProbePictureSize(path.c_str(), *work->cancel);
        if (work->cancel->Raised())
            break;
        ProbedSize report{path.c_str(), text.c_str()};
        SendMessageW(work->owner, kSizeProbedMessage, 0, reinterpret_cast<LPARAM>(&report));
    }
    return 0;
}

// Loads `path` into `image` (escape already set as wanted), stoppable through `cancel`.
void LoadStoppable(VxImage& image, const wchar_t* path, vx::batch::CancelSignal& cancel)
{
    vx::batch::AttachedImage attached(cancel, &image);
    image.Load(AsUtf16(path), kVxTypeJpg);
}

} // namespace

PictureSize ProbePicture(const wchar_t* path, vx::batch::CancelSignal& cancel)
{
    std::int32_t width = 0;
    std::int32_t height = 0;
    // A header-only decode (escape -1) is enough where the codec supports it; a codec
    // that does not gives no size and the full decode below answers instead.
    std::unique_ptr<VxImage> image(new (std::nothrow) VxImage(kVxTypeJpg));
    if (image) {
        image->Info().escape = -1;
        LoadStoppable(*image, path, cancel);
        width = image->Width();
        height = image->Height();
    }
    if (width <= 0 || height <= 0) {
        image.reset(new (std::nothrow) VxImage(kVxTypeJpg));
        if (image) {
            LoadStoppable(*image, path, cancel);
            width = image->IsValid() ? image->Width() : 0;
            height = image->IsValid() ? image->Height() : 0;
        }
    }
    if (width <= 0 || height <= 0)
        return PictureSize{};
    return PictureSize{static_cast<int>(width), static_cast<int>(height)};
}

std::wstring ProbePictureSize(const wchar_t* path, vx::batch::CancelSignal& cancel)
{
    const PictureSize size = ProbePicture(path, cancel);
    wchar_t text[32];
    std::swprintf(text, 32, L"%d*%d", size.width, size.height);
    return text;
}

bool SizeProbes::Start(HWND owner, std::vector<std::wstring> paths)
{
    ForgetFinished();
    auto* work = new (std::nothrow) ProbeWork{owner, std::move(paths), &m_cancel};
    if (!work)
        return false;
    const uintptr_t thread = _beginthreadex(nullptr, 0, &ProbeThread, work, 0, nullptr);
    if (!thread) {
        delete work;
        return false;
    }
    m_threads.push_back(reinterpret_cast<HANDLE>(thread));
    return true;
}

void SizeProbes::StopAll()
{
    if (m_threads.empty())
        return;
    m_cancel.Raise();
    ServeSentMessagesUntil([this] {
        ForgetFinished();
        return m_threads.empty();
    });
    m_cancel.Reset();
}

void SizeProbes::ForgetFinished()
{
    const auto finished = [](HANDLE thread) {
        if (WaitForSingleObject(thread, 0) != WAIT_OBJECT_0)
            return false;
        CloseHandle(thread);
        return true;
    };
    m_threads.erase(std::remove_if(m_threads.begin(), m_threads.end(), finished), m_threads.end());
}

} // namespace vx::app
