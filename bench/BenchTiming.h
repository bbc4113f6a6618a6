// Wall-clock timing shared by the benchmarks: the best of several runs of one piece of work,
// measured with the steady clock. The work returns false to report a failure. Also the way the
// benchmarks run an outside tool.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>

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

// Runs a shell command with its stderr dropped; true when it exits with 0.
inline bool Tool(const std::string& command)
{
    return std::system((command + " 2>/dev/null").c_str()) == 0;
}

} // namespace vx::bench
