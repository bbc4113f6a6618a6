// MemoryBudget: the large buffers of the decodes running at once in this process (the
// pictures and libjpeg's whole-image buffers) drawn from one shared budget, so that a batch
// run with several workers never holds more than one worst-case picture's worth, however
// many hostile files claim huge sizes at the same time. A reservation that does not fit
// waits until others are released; it fails at once when it can never fit.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

class EscapeFlag;

class MemoryBudget {
public:
    explicit MemoryBudget(std::uint64_t capacity) : m_capacity(capacity) {}
    MemoryBudget(const MemoryBudget&) = delete;
    MemoryBudget& operator=(const MemoryBudget&) = delete;

    // The budget every decoder draws from: what the largest picture within the image limit
    // may need while it is decoded.
    static MemoryBudget& Shared();

    // Takes `bytes` from the budget, waiting while the other threads hold too much. False
    // (nothing taken) when `bytes` exceed the capacity, when `escape` becomes non-zero while
    // waiting, or when the wait could only end by this thread's own earlier reservation.
    bool Reserve(std::uint64_t bytes, const EscapeFlag& escape);
    void Release(std::uint64_t bytes);

    std::uint64_t Capacity() const { return m_capacity; }
    std::uint64_t InUse() const;

private:
    const std::uint64_t m_capacity;
    mutable std::mutex m_mutex;
    std::condition_variable m_released;
    std::uint64_t m_inUse = 0;
};
