// JPEG throughput: our decode (VxImage load, type 3) and encode (save at quality 90, 2x2
// sampling) against libjpeg-turbo's djpeg and cjpeg on the same generated photo-like
// picture, baseline and progressive. Usage: jpeg_bench [width height [runs]].
// Times are the best of the runs; the tools' times include their process start and the
// PPM they read or write (/dev/null), ours the file read or write.
#include "bench/BenchPictures.h"
#include "bench/BenchTiming.h"
#include "image/VxImage.h"
#include "image/VxStream.h"
#include "image/codecs/VxImageJPG.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;
using vx::bench::BestSeconds;
using vx::bench::Tool;
using vx::bench::FillPhoto;

void WritePpm(const VxImage& image, const fs::path& path)
{
    std::ofstream out(path, std::ios::binary);
    out << "P6\n" << image.Width() << " " << image.Height() << "\n255\n";
    std::string row(static_cast<std::size_t>(image.Width()) * 3, '\0');
    for (int y = image.Height() - 1; y >= 0; --y) {
        const std::uint8_t* source = image.RowAddress(static_cast<std::uint32_t>(y));
        for (int x = 0; x < image.Width(); ++x) {
            row[3 * x] = static_cast<char>(source[3 * x + 2]);
            row[3 * x + 1] = static_cast<char>(source[3 * x + 1]);
            row[3 * x + 2] = static_cast<char>(source[3 * x]);
        }
        out.write(row.data(), static_cast<std::streamsize>(row.size()));
    }
}

void Report(const char* what, double megapixels, double ours, double theirs)
{
    std::printf("%-22s ours %7.1f MP/s", what, ours > 0 ? megapixels / ours : 0.0);
    if (theirs > 0)
        std::printf("   tool %7.1f MP/s   ours/tool %.2f\n", megapixels / theirs, theirs / ours);
    else
        std::printf("   tool n/a\n");
}

} // namespace

int main(int argc, char** argv)
{
    const int width = argc > 2 ? std::atoi(argv[1]) : 3000;
    const int height = argc > 2 ? std::atoi(argv[2]) : 2000;
    const int runs = argc > 3 ? std::atoi(argv[3]) : 5;
    const double megapixels = width * static_cast<double>(height) / 1e6;
    const fs::path dir = fs::temp_directory_path() / ("vantry-jpeg-bench-" + std::to_string(std::rand()));
    fs::create_directories(dir);
    const auto path = [&](const char* name) { return (dir / name).string(); };
    const auto u16 = [&](const char* name) { return (dir / name).u16string(); };
    const bool tools = Tool("command -v cjpeg >/dev/null && command -v djpeg >/dev/null");

    VxImage photo(static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height), 24, 0);
    if (!photo.IsValid()) {
        std::fprintf(stderr, "cannot create a %d x %d picture: %s\n", width, height, photo.LastError());
        return 1;
    }
    FillPhoto(photo);
    WritePpm(photo, path("photo.ppm"));
    std::printf("%d x %d (%.1f MP), best of %d runs%s\n", width, height, megapixels, runs,
                tools ? "" : "; cjpeg/djpeg not found");

    // Encode: ours to a file and to memory; cjpeg from the PPM to a file.
    const double encodeFile = BestSeconds(runs, [&] { return photo.Save(u16("ours.jpg").c_str(), kVxTypeJpg); });
    const double encodeMemory = BestSeconds(runs, [&] {
        VxImageJPG codec;
        codec.MakeAlias(&photo);
        VxMemStream out;
        return out.Open() && codec.Encode(&out);
    });
    const std::string cjpeg = "cjpeg -quality 90 -sample 2x2 -outfile '" + path("cjpeg.jpg") + "' '" + path("photo.ppm") + "'";
    const double encodeTool = tools ? BestSeconds(runs, [&] { return Tool(cjpeg); }) : -1;
    Report("encode q90 (file)", megapixels, encodeFile, encodeTool);
    Report("encode q90 (memory)", megapixels, encodeMemory, encodeTool);

    // Decode the same baseline file, and a progressive one, both ways.
    if (tools)
        Tool("cjpeg -quality 90 -sample 2x2 -progressive -outfile '" + path("progressive.jpg") + "' '" +
             path("photo.ppm") + "'");
    else
        photo.Save(u16("progressive.jpg").c_str(), kVxTypeJpg);
    for (const char* name : {"cjpeg.jpg", "progressive.jpg"}) {
        const fs::path file = dir / (tools ? name : "ours.jpg");
        const double ours = BestSeconds(runs, [&] {
            VxImage loaded(file.u16string().c_str(), kVxTypeJpg);
            return loaded.IsValid();
        });
        const std::string djpeg = "djpeg -dct int -pnm -outfile /dev/null '" + file.string() + "'";
        const double theirs = tools ? BestSeconds(runs, [&] { return Tool(djpeg); }) : -1;
        Report(std::string(name) == "cjpeg.jpg" ? "decode baseline" : "decode progressive", megapixels, ours, theirs);
    }
    fs::remove_all(dir);
    return 0;
}
