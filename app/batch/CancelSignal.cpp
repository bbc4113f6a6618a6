// The cancel flag and the pictures it reaches. `escape` is an atomic flag that the image
// operations poll once per row; writing it here is the only write another thread ever makes
// into a worker's picture.
#include "app/batch/CancelSignal.h"

#include "image/VxImage.h"

#include <algorithm>
#include <cstdint>

namespace vx::batch {

namespace {

constexpr std::int32_t kEscapeCancel = 1;

void SetEscape(VxImage* image)
{
    image->Info().escape = kEscapeCancel;
}

} // namespace

void CancelSignal::Raise()
{
    std::lock_guard lock(m_mutex);
    m_raised.store(true, std::memory_order_release);
    for (VxImage* image : m_attached)
        SetEscape(image);
}

void CancelSignal::Reset()
{
    std::lock_guard lock(m_mutex);
    m_raised.store(false, std::memory_order_release);
}

void CancelSignal::Attach(VxImage* image)
{
    std::lock_guard lock(m_mutex);
    m_attached.push_back(image);
    if (m_raised.load(std::memory_order_relaxed))
        SetEscape(image);
}

void CancelSignal::Detach(VxImage* image)
{
    std::lock_guard lock(m_mutex);
    m_attached.erase(std::remove(m_attached.begin(), m_attached.end(), image), m_attached.end());
}

} // namespace vx::batch
