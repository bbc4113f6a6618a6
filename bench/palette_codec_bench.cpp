// Decode throughput of the simple uncompressed formats, WBMP (1 bit) and SKA (8-bit palette),
// on one large generated picture each: our Load through the named codec against ImageMagick's
// "convert FILE null:" where ImageMagick reads the format (its time includes its process
// start). Usage: palette_codec_bench [width height [runs]] (default 8000 x 6000, 5 runs).
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

bool Tool(const std::string& command)
{
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

// Diagonal bands of every index the depth allows, and a grey ramp palette for the 8-bit one.
void FillBands(VxImage& image)
{
    const std::uint32_t colours = image.ColourCount();
    for (std::uint32_t i = 0; i < colours; ++i) {
        const auto level = static_cast<std::uint8_t>(i * 255 / (colours - 1));
        image.SetPaletteEntry(static_cast<std::uint8_t>(i), level, static_cast<std::uint8_t>(255 - level), level);
    }
    for (int y = 0; y < image.Height(); ++y)
        for (int x = 0; x < image.Width(); ++x)
            image.SetPixelIndexUnchecked(x, y, static_cast<std::uint8_t>((x + y / 3) / 5 % colours));
}

} // namespace

int main(int argc, char** argv)
{
    const CodecBenchSetup setup(argc, argv, 8000, 6000, "palette");
    const auto& [width, height, runs, megapixels, dir, magick] = setup;
    std::printf("%d x %d (%.1f MP), best of %d runs%s\n", width, height, megapixels, runs,
                magick ? "" : "; ImageMagick not found");

    const struct {
        const char* name;
        std::uint32_t type, bits;
        bool magickReads;
    } formats[] = {{"wbmp", kVxTypeWbmp, 1, true}, {"ska", kVxTypeSka, 8, false}};
    for (const auto& format : formats) {
        const fs::path file = dir / (std::string("picture.") + format.name);
        VxImage picture(static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height), format.bits, 0);
        FillBands(picture);
        if (!picture.Save(file.u16string().c_str(), format.type)) {
            std::fprintf(stderr, "%s: %s\n", format.name, picture.LastError());
            return 1;
        }
        const double ours = BestSeconds(runs, [&] {
            VxImage loaded(file.u16string().c_str(), format.type);
            return loaded.IsValid();
        });
        const double theirs = magick && format.magickReads
                                  ? BestSeconds(runs, [&] { return Tool("convert '" + file.string() + "' null:"); })
                                  : -1;
        std::printf("decode %-5s ours %8.1f MP/s (%6.1f ms)", format.name, megapixels / ours, ours * 1e3);
        if (theirs > 0)
            std::printf("   ImageMagick %8.1f MP/s (%6.1f ms)\n", megapixels / theirs, theirs * 1e3);
        else
            std::printf("   ImageMagick n/a\n");
    }
    fs::remove_all(dir);
    return 0;
}
