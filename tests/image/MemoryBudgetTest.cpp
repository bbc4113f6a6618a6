// The shared decode budget: what does not fit waits for a release, a cancel ends the wait,
// and a thread never waits for its own reservation.
#include "image/MemoryBudget.h"

#include "image/VxImage.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

TEST(MemoryBudget, WaitsForAReleaseAndGivesUpOnCancelOrOnItsOwnHold)
{
    MemoryBudget budget(100);
    const EscapeFlag running;
    EXPECT_FALSE(budget.Reserve(101, running)); // can never fit
    ASSERT_TRUE(budget.Reserve(60, running));
    EXPECT_FALSE(budget.Reserve(50, running)); // would wait for this thread's own 60
    EXPECT_TRUE(budget.Reserve(40, running));
    budget.Release(40);

    std::atomic<bool> reserved{false};
    std::thread waiter([&] {
        reserved = budget.Reserve(50, running);
        if (reserved)
            budget.Release(50);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(reserved); // still waiting behind the 60
    budget.Release(60);
    waiter.join();
    EXPECT_TRUE(reserved);

    EscapeFlag cancel;
    ASSERT_TRUE(budget.Reserve(80, running));
    std::thread cancelled([&] { EXPECT_FALSE(budget.Reserve(50, cancel)); });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    cancel = 1;
    cancelled.join();
    budget.Release(80);
    EXPECT_EQ(budget.InUse(), 0u);
}

} // namespace
