// The shared decode budget: what does not fit waits for a release, a cancel ends the wait,
// and a thread never waits for its own reservation. No result depends on timing: the pause
// only lets the other thread reach its wait before the release, so that the wait is run.
#include "image/MemoryBudget.h"

#include "image/VxImage.h"

#include <gtest/gtest.h>

#include <chrono>
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

    EscapeFlag cancel;
    std::thread cancelled([&] { EXPECT_FALSE(budget.Reserve(50, cancel)); });
    cancel = 1;
    cancelled.join();
    std::thread waiter([&] {
        EXPECT_TRUE(budget.Reserve(50, running)); // fits once the 60 is released
        budget.Release(50);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    budget.Release(60);
    waiter.join();
    EXPECT_EQ(budget.InUse(), 0u);
}

} // namespace
