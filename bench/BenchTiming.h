// Wall-clock timing shared by the benchmarks: the best of several runs of one piece of work,
// measured with the steady clock. The work returns false to report a failure. Also the way the
// benchmarks run an outside tool, and the set-up the codec benchmarks share.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
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

// What a codec benchmark is run with: `[width height [runs]]` from its command line, a scratch
// folder of its own, and whether ImageMagick's convert is there to compare with.
struct CodecBenchSetup {
    int width, height, runs;
    double megapixels;
    std::filesystem::path dir;
    bool magick;

    CodecBenchSetup(int argc, char** argv, int defaultWidth, int defaultHeight, const std::string& name)
        : width(argc > 2 ? std::atoi(argv[1]) : defaultWidth),
          height(argc > 2 ? std::atoi(argv[2]) : defaultHeight),
          runs(argc > 3 ? std::atoi(argv[3]) : 5),
          megapixels(width * static_cast<double>(height) / 1e6),
          dir(std::filesystem::temp_directory_path() / ("vantry-" + name + "-bench-" + std::to_string(std::rand()))),
          magick(Tool("command -v convert >/dev/null"))
    {
        std::filesystem::create_directories(dir);
    }
};

} // namespace vx::bench
