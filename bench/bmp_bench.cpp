// BMP decode throughput: ours (VxImage load, type 1) against ImageMagick's convert on the same
// files, a 24-bit picture and an RLE8 one. Usage: bmp_bench [width height [runs]].
// Times are the best of the runs; convert's include its process start (reading into "null:").
#include "bench/BenchTiming.h"
#include "image/VxImage.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

namespace fs = std::filesystem;
using vx::bench::BestSeconds;
using vx::bench::CodecBenchSetup;
using vx::bench::Tool;

// Gradients under a little noise: what a scanned or photographed picture stores.
void FillTrueColour(VxImage& image)
{
    std::uint32_t state = 3;
    for (int y = 0; y < image.Height(); ++y) {
        std::uint8_t* row = image.RowAddress(static_cast<std::uint32_t>(y));
        for (int x = 0; x < 3 * image.Width(); ++x) {
            state = state * 1664525u + 1013904223u;
            row[x] = static_cast<std::uint8_t>((x / 3 + y) / 16 + (state >> 29));
        }
    }
}

// Horizontal runs of 1 to 40 pixels of one index, as in screenshots and diagrams.
void FillRuns(VxImage& image)
{
    std::uint32_t state = 5;
    for (std::uint32_t i = 0; i < 256; ++i)
        image.SetPaletteEntry(static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i),
                              static_cast<std::uint8_t>(i * 7), static_cast<std::uint8_t>(255 - i));
    for (int y = 0; y < image.Height(); ++y) {
        std::uint8_t* row = image.RowAddress(static_cast<std::uint32_t>(y));
        for (int x = 0; x < image.Width();) {
            state = state * 1664525u + 1013904223u;
            const int length = 1 + static_cast<int>((state >> 16) % 40);
            for (int i = 0; i < length && x < image.Width(); ++i, ++x)
                row[x] = static_cast<std::uint8_t>(state >> 24);
        }
    }
}

} // namespace

int main(int argc, char** argv)
{
    const CodecBenchSetup setup(argc, argv, 4000, 3000, "bmp");
    const auto& [width, height, runs, megapixels, dir, magick] = setup;
    std::printf("%d x %d (%.1f MP), best of %d runs%s\n", width, height, megapixels, runs,
                magick ? "" : "; convert not found");

    const auto w = static_cast<std::uint32_t>(width);
    const auto h = static_cast<std::uint32_t>(height);
    VxImage trueColour(w, h, 24, kVxTypeBmp), runsPicture(w, h, 8, kVxTypeBmp);
    if (!trueColour.IsValid() || !runsPicture.IsValid()) {
        std::fprintf(stderr, "cannot create the pictures: %s\n", trueColour.LastError());
        return 1;
    }
    FillTrueColour(trueColour);
    FillRuns(runsPicture);
    const fs::path plain = dir / "true-colour.bmp", palette = dir / "palette.bmp", rle8 = dir / "rle8.bmp";
    trueColour.Save(plain.u16string().c_str(), kVxTypeBmp);
    runsPicture.Save(palette.u16string().c_str(), kVxTypeBmp);
    if (!magick || !Tool("convert '" + palette.string() + "' -compress RLE 'BMP3:" + rle8.string() + "'")) {
        std::fprintf(stderr, "an RLE8 file needs ImageMagick's convert\n");
        fs::remove_all(dir);
        return 1;
    }

    for (const auto& [what, file] : {std::pair{"decode 24-bit", plain}, std::pair{"decode RLE8", rle8}}) {
        const double ours = BestSeconds(runs, [&] {
            VxImage loaded(file.u16string().c_str(), kVxTypeBmp);
            return loaded.IsValid();
        });
        const double theirs = BestSeconds(runs, [&] { return Tool("convert '" + file.string() + "' null:"); });
        std::printf("%-16s %6.1f MB  ours %7.1f MP/s   convert %7.1f MP/s   ours/convert %.2f\n", what,
                    static_cast<double>(fs::file_size(file)) / 1e6, ours > 0 ? megapixels / ours : 0.0,
                    theirs > 0 ? megapixels / theirs : 0.0, theirs / ours);
    }
    fs::remove_all(dir);
    return 0;
}
