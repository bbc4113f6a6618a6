// GIF throughput on the same files for us and ImageMagick: a large single-frame 8-bit picture
// and a 100-frame animation of smaller frames over a 320 x 240 screen. Usage:
// gif_bench [width height [runs]]. Ours: decode (frame 0, and every composite of the
// animation) and encode with each coder; ImageMagick: "convert FILE null:" to decode (and
// -coalesce for the animation), "convert FILE out.gif" minus that to encode. Times are the
// best of the runs; the tool's include its process start.
#include "bench/BenchTiming.h"
#include "image/VxImage.h"
#include "image/VxStream.h"
#include "image/codecs/VxImageGIF.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using vx::bench::BestSeconds;

// Gradient bands with texture and some noise: runs and repeats as in drawings and dithered photos.
void FillIndexed(VxImage& image, std::uint32_t seed)
{
    for (int i = 0; i < 256; ++i)
        image.SetPaletteEntry(static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i),
                              static_cast<std::uint8_t>((i * 3) & 255), static_cast<std::uint8_t>(255 - i));
    std::uint32_t state = seed;
    for (int y = 0; y < image.Height(); ++y) {
        std::uint8_t* row = image.RowAddress(static_cast<std::uint32_t>(y));
        for (int x = 0; x < image.Width(); ++x) {
            state = state * 1664525u + 1013904223u;
            const int noise = (state >> 30) == 0 ? static_cast<int>(state >> 27) & 3 : 0;
            row[x] = static_cast<std::uint8_t>((x / 16 + y / 9 + ((x * y) >> 10) + noise) & 255);
        }
    }
}

bool Tool(const std::string& command)
{
    return std::system((command + " 2>/dev/null").c_str()) == 0;
}

bool WriteGif(VxImageGIF& codec, const fs::path& path, VxImage* const* frames = nullptr, int count = 0)
{
    std::FILE* file = std::fopen(path.string().c_str(), "wb");
    if (!file)
        return false;
    VxFileStream stream(file);
    const bool ok = frames ? codec.Encode(&stream, frames, count, true, true) : codec.Encode(&stream);
    return std::fclose(file) == 0 && ok;
}

bool ReadGif(const fs::path& path, int frame, bool all)
{
    std::FILE* file = std::fopen(path.string().c_str(), "rb");
    if (!file)
        return false;
    VxFileStream stream(file);
    VxImageGIF codec;
    codec.Info().frame = frame;
    codec.SetDecodeAllFrames(all);
    const bool ok = codec.Decode(&stream);
    std::fclose(file);
    return ok;
}

void Report(const char* what, double megapixels, double ours, double theirs)
{
    std::printf("%-34s ours %8.1f ms %7.1f MP/s", what, ours * 1e3, ours > 0 ? megapixels / ours : 0.0);
    if (theirs > 0)
        std::printf("   ImageMagick %8.1f ms   ours/IM speed %.2f\n", theirs * 1e3, theirs / ours);
    else
        std::printf("\n");
}

} // namespace

int main(int argc, char** argv)
{
    const int width = argc > 2 ? std::atoi(argv[1]) : 4000;
    const int height = argc > 2 ? std::atoi(argv[2]) : 3000;
    const int runs = argc > 3 ? std::atoi(argv[3]) : 3;
    const fs::path dir = fs::temp_directory_path() / ("vantry-gif-bench-" + std::to_string(std::rand()));
    fs::create_directories(dir);
    const bool tools = Tool("command -v convert >/dev/null");
    const auto q = [](const fs::path& p) { return "'" + p.string() + "'"; };

    // ---- One large frame.
    VxImageGIF big;
    if (!big.Create(static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height), 8, kVxTypeGif)) {
        std::fprintf(stderr, "cannot create a %d x %d picture\n", width, height);
        return 1;
    }
    FillIndexed(big, 1);
    const double megapixels = width * static_cast<double>(height) / 1e6;
    std::printf("single frame %d x %d (%.1f MP), best of %d runs%s\n", width, height, megapixels, runs,
                tools ? "" : "; ImageMagick not found");
    static const char* const kCoders[] = {"LZW", "literal codes", "runs"};
    for (int coder = 0; coder < 3; ++coder) {
        big.Info().codecOptions[VxImage::OptionSlot(kVxTypeGif)] = static_cast<std::uint32_t>(coder);
        const fs::path file = dir / ("big" + std::to_string(coder) + ".gif");
        const double encode = BestSeconds(runs, [&] { return WriteGif(big, file); });
        const double decode = BestSeconds(runs, [&] { return ReadGif(file, 0, false); });
        double toolDecode = -1, toolEncode = -1;
        if (tools) {
            toolDecode = BestSeconds(runs, [&] { return Tool("convert " + q(file) + " null:"); });
            toolEncode = BestSeconds(runs, [&] { return Tool("convert " + q(file) + " " + q(dir / "im.gif")); }) - toolDecode;
        }
        std::printf("  %s: %.1f MB\n", kCoders[coder], static_cast<double>(fs::file_size(file)) / 1e6);
        Report("  encode", megapixels, encode, coder == 0 ? toolEncode : -1);
        Report("  decode", megapixels, decode, toolDecode);
    }

    // ---- 100 frames: a full first frame, then smaller ones at moving places.
    constexpr int kFrames = 100;
    std::vector<std::unique_ptr<VxImageGIF>> frames;
    std::vector<VxImage*> list;
    double animationMegapixels = 0;
    for (int i = 0; i < kFrames; ++i) {
        const int w = i == 0 ? 320 : 80 + (i * 7) % 160;
        const int h = i == 0 ? 240 : 60 + (i * 5) % 120;
        auto frame = std::make_unique<VxImageGIF>();
        frame->Create(static_cast<std::uint32_t>(w), static_cast<std::uint32_t>(h), 8, kVxTypeGif);
        FillIndexed(*frame, static_cast<std::uint32_t>(i + 2));
        frame->SetOffset(i == 0 ? 0 : (i * 13) % (320 - w), i == 0 ? 0 : (i * 11) % (240 - h));
        frame->Info().frameDelay = 4;
        frame->SetGifDisposal(static_cast<std::uint8_t>(1 + i % 3));
        animationMegapixels += w * h / 1e6;
        list.push_back(frame.get());
        frames.push_back(std::move(frame));
    }
    VxImageGIF writer;
    const fs::path animation = dir / "animation.gif";
    std::printf("animation: %d frames, %.1f MP of frame pixels, 320 x 240 screen\n", kFrames, animationMegapixels);
    const double encode = BestSeconds(runs, [&] { return WriteGif(writer, animation, list.data(), kFrames); });
    const double decodeFirst = BestSeconds(runs, [&] { return ReadGif(animation, 0, false); });
    const double decodeAll = BestSeconds(runs, [&] { return ReadGif(animation, kFrames - 1, true); });
    double toolDecode = -1, toolCoalesce = -1, toolEncode = -1;
    if (tools) {
        toolDecode = BestSeconds(runs, [&] { return Tool("convert " + q(animation) + " null:"); });
        toolCoalesce = BestSeconds(runs, [&] { return Tool("convert " + q(animation) + " -coalesce null:"); });
        toolEncode = BestSeconds(runs, [&] { return Tool("convert " + q(animation) + " " + q(dir / "im.gif")); }) - toolDecode;
    }
    Report("  encode all frames", animationMegapixels, encode, toolEncode);
    Report("  decode frame 0 (IM: all frames)", animationMegapixels, decodeFirst, toolDecode);
    Report("  decode every composite", animationMegapixels, decodeAll, toolCoalesce);
    fs::remove_all(dir);
    return 0;
}
