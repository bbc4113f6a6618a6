// The shared decode budget. A waiting thread looks at the escape flag it was given between
// short waits, so a cancel that reaches that flag ends the wait without a release.
#include "image/MemoryBudget.h"

#include "image/VxImage.h"

#include <chrono>

namespace {

// Bytes the calling thread holds in any budget: a decode nested in another (a picture
// inside a picture) must not wait for its own outer reservation.
thread_local std::uint64_t t_heldByThisThread = 0;

constexpr std::chrono::milliseconds kEscapePoll{50};

} // namespace

MemoryBudget& MemoryBudget::Shared()
{
    // Two pixel blocks of libjpeg coefficients and the picture itself, plus room for the
    // row buffers: the most one picture within VXIMAGE_MAX_MEMORY can need.
    static MemoryBudget budget(3 * VXIMAGE_MAX_MEMORY + (64u << 20));
    return budget;
}

bool MemoryBudget::Reserve(std::uint64_t bytes, const EscapeFlag& escape)
{
    if (bytes > m_capacity)
        return false;
    std::unique_lock lock(m_mutex);
    while (m_capacity - m_inUse < bytes) {
        if (t_heldByThisThread != 0 || escape != 0)
            return false;
        m_released.wait_for(lock, kEscapePoll);
    }
    m_inUse += bytes;
    t_heldByThisThread += bytes;
    return true;
}

void MemoryBudget::Release(std::uint64_t bytes)
{
    {
        std::lock_guard lock(m_mutex);
        m_inUse -= bytes;
        t_heldByThisThread -= bytes;
    }
    m_released.notify_all();
}

std::uint64_t MemoryBudget::InUse() const
{
    std::lock_guard lock(m_mutex);
    return m_inUse;
}
