// Throughput of the nearest-pixel Rescale (mode 1, the resize job's path): a 24-bit and an
// 8-bit picture of about 12 megapixels halved, the row-wise implementation against the
// pixel-by-pixel reference. Prints megapixels of source per second; checks both agree.
// Usage: rescale_bench [width height [repetitions]]
#include "bench/BenchTiming.h"
#include "bench/RescaleReference.h"
#include "image/VxImage.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

using vx::bench::BestSeconds;

bool SamePixelRows(const VxImage& a, const VxImage& b)
{
    const std::size_t rowBytes = (static_cast<std::size_t>(a.Width()) * a.BitsPerPixel() + 7) / 8;
    for (std::int32_t y = 0; y < a.Height(); ++y)
        if (std::memcmp(a.RowAddress(y), b.RowAddress(y), rowBytes) != 0)
            return false;
    return true;
}

int Measure(std::uint32_t depth, std::int32_t width, std::int32_t height, int repetitions)
{
    VxImage source(width, height, depth, kVxTypeJpg);
    if (!source.IsValid()) {
        std::fprintf(stderr, "cannot create the picture: %s\n", source.LastError());
        return 1;
    }
    std::uint32_t seed = 12345;
    std::uint8_t* bits = source.RowAddress(0);
    for (std::size_t i = 0; i < std::size_t{source.RowStride()} * height; ++i) {
        seed = seed * 1664525u + 1013904223u;
        bits[i] = static_cast<std::uint8_t>(seed >> 24);
    }
    for (std::uint32_t i = 0; i < source.ColourCount(); ++i)
        source.SetPaletteEntry(static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i),
                               static_cast<std::uint8_t>(i * 7), static_cast<std::uint8_t>(255 - i));

    const std::int32_t newWidth = width / 2;
    const std::int32_t newHeight = height / 2;
    VxImage fast;
    VxImage reference;
    const double fastSeconds = BestSeconds(repetitions, [&] { return source.Rescale(newWidth, newHeight, 1, &fast); });
    const double referenceSeconds = BestSeconds(std::max(1, repetitions / 3), [&] {
        return vx::reference::NearestRescale(source, newWidth, newHeight, reference);
    });
    if (fastSeconds < 0 || referenceSeconds < 0) {
        std::fprintf(stderr, "rescale failed\n");
        return 1;
    }
    const double megapixels = static_cast<double>(width) * height / 1e6;
    std::printf("mode 1, %2u-bit %dx%d (%.1f MP) -> %dx%d: row-wise %8.1f MP/s (%7.2f ms), "
                "per-pixel %7.1f MP/s (%7.2f ms), x%.1f, pixels %s\n",
                depth, width, height, megapixels, newWidth, newHeight, megapixels / fastSeconds, fastSeconds * 1e3,
                megapixels / referenceSeconds, referenceSeconds * 1e3, referenceSeconds / fastSeconds,
                SamePixelRows(fast, reference) ? "identical" : "DIFFER");
    return SamePixelRows(fast, reference) ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    const std::int32_t width = argc > 2 ? std::atoi(argv[1]) : 4000;
    const std::int32_t height = argc > 2 ? std::atoi(argv[2]) : 3000;
    const int repetitions = argc > 3 ? std::max(1, std::atoi(argv[3])) : 9;
    int failures = 0;
    failures += Measure(24, width, height, repetitions);
    failures += Measure(8, width, height, repetitions);
    return failures == 0 ? 0 : 1;
}
