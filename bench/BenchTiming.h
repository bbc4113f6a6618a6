// Wall-clock timing shared by the benchmarks: the best of several runs of one piece of work,
// measured with the steady clock. The work returns false to report a failure.
#pragma once

#include <algorithm>
#include <chrono>

namespace vx::bench {

// Best time in seconds over `runs` runs of `work`; -1 as soon as one run fails.
template <typename Work>
double BestSeconds(int runs, Work work)
{
    using Clock = std::chrono::steady_clock;
    double best = 1e30;
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        if (!work())
            return -1.0;
        best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
    }
    return best;
}

} // namespace vx::bench
