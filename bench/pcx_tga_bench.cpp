// PCX and TGA decode throughput: our decoder (VxImage load with the format's type code)
// against ImageMagick (`convert FILE null:`, which decodes and discards) on the same files,
// written from one generated picture (a photo, a quarter of it flat panels): PCX of 24 bits
// (three planes) and of 8 bits (grey palette), TGA of 24 bits raw and, when ImageMagick is
// there, run-length encoded.
// Usage: pcx_tga_bench [width height [runs]]. Times are the best of the runs; ImageMagick's
// include its process start.
#include "bench/BenchPictures.h"
#include "bench/BenchTiming.h"
#include "image/VxImage.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

namespace fs = std::filesystem;
using vx::bench::BestSeconds;
using vx::bench::CodecBenchSetup;
using vx::bench::Tool;
using vx::bench::FillPhoto;

// Flat panels over a quarter of the photo, which run-length coding shrinks.
void AddFlatPanels(VxImage& image)
{
    for (int y = 0; y < image.Height(); ++y)
        if ((y / 64) % 2 == 0)
            std::fill_n(image.RowAddress(static_cast<std::uint32_t>(y)), 3 * (image.Width() / 2), std::uint8_t{90});
}

} // namespace

int main(int argc, char** argv)
{
    const CodecBenchSetup setup(argc, argv, 4000, 3000, "pcx-tga");
    const auto& [width, height, runs, megapixels, dir, magick] = setup;

    VxImage picture(static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height), 24, 0);
    if (!picture.IsValid()) {
        std::fprintf(stderr, "cannot create a %d x %d picture: %s\n", width, height, picture.LastError());
        return 1;
    }
    FillPhoto(picture);
    AddFlatPanels(picture);
    VxImage grey(picture, true, false, false);
    grey.ToGreyscale();
    const auto at = [&](const char* name) { return dir / name; };
    if (!picture.Save(at("rgb.pcx").u16string().c_str(), kVxTypePcx) ||
        !grey.Save(at("grey.pcx").u16string().c_str(), kVxTypePcx) ||
        !picture.Save(at("rgb.tga").u16string().c_str(), kVxTypeTga)) {
        std::fprintf(stderr, "cannot write the test files\n");
        return 1;
    }
    if (magick)
        Tool("convert '" + at("rgb.tga").string() + "' -compress RLE '" + at("rle.tga").string() + "'");
    std::printf("%d x %d (%.1f MP), best of %d runs%s\n", width, height, megapixels, runs,
                magick ? "" : "; ImageMagick not found");

    struct File {
        const char* name;
        std::uint32_t type;
    };
    for (const File& file : {File{"rgb.pcx", kVxTypePcx}, File{"grey.pcx", kVxTypePcx}, File{"rgb.tga", kVxTypeTga},
                             File{"rle.tga", kVxTypeTga}}) {
        const fs::path path = at(file.name);
        if (!fs::exists(path))
            continue;
        const double ours = BestSeconds(runs, [&] {
            VxImage loaded(path.u16string().c_str(), file.type);
            return loaded.IsValid();
        });
        const double theirs = magick ? BestSeconds(runs, [&] { return Tool("convert '" + path.string() + "' null:"); }) : -1;
        std::printf("decode %-9s %6.1f MB  ours %7.1f MP/s", file.name, static_cast<double>(fs::file_size(path)) / 1e6,
                    ours > 0 ? megapixels / ours : 0.0);
        if (theirs > 0)
            std::printf("   ImageMagick %7.1f MP/s   ours/ImageMagick %.2f\n", megapixels / theirs, theirs / ours);
        else
            std::printf("\n");
    }
    fs::remove_all(dir);
    return 0;
}
