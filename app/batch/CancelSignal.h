// Stopping a run from another thread. Raising the signal sets a flag that the workers test
// between steps and that the source stream tests before each read, and writes a non-zero
// `escape` into every picture the workers have attached, so a rescale in progress stops at
// its next row.
#pragma once

#include "image/VxStream.h"

#include <atomic>
#include <cstdio>
#include <mutex>
#include <vector>

class VxImage;

namespace vx::batch {

class CancelSignal {
public:
    void Raise();
    bool Raised() const { return m_raised.load(std::memory_order_acquire); }
    void Reset();

    // A worker attaches the picture it is working on and detaches it before deleting it.
    // A picture attached after the signal was raised gets its escape set at once.
    void Attach(VxImage* image);
    void Detach(VxImage* image);

private:
    std::atomic<bool> m_raised{false};
    std::mutex m_mutex;
    std::vector<VxImage*> m_attached;
};

// Attaches a picture for the lifetime of the guard.
class AttachedImage {
public:
    AttachedImage(CancelSignal& signal, VxImage* image) : m_signal(signal), m_image(image) { m_signal.Attach(image); }
    ~AttachedImage() { m_signal.Detach(m_image); }
    AttachedImage(const AttachedImage&) = delete;
    AttachedImage& operator=(const AttachedImage&) = delete;

private:
    CancelSignal& m_signal;
    VxImage* m_image;
};

// A file stream that reports the end of the data once the run is cancelled, so a decoder in
// the middle of a large file runs out of input instead of reading the rest of it.
class CancellableFileStream : public VxFileStream {
public:
    CancellableFileStream(std::FILE* file, const CancelSignal& cancel) : VxFileStream(file), m_cancel(cancel) {}

    std::uint32_t Read(void* buffer, std::size_t size, std::size_t count) override
    {
        return m_cancel.Raised() ? 0 : VxFileStream::Read(buffer, size, count);
    }
    int GetC() override { return m_cancel.Raised() ? EOF : VxFileStream::GetC(); }

private:
    const CancelSignal& m_cancel;
};

} // namespace vx::batch
