// Writes a photo-like JPEG of any size row by row (the picture is never held), for the
// huge-picture benchmark: sky-like gradients over a textured lower half, baseline 4:2:0 at
// quality 90. With --progressive-header it writes a small progressive picture whose frame
// header claims the size instead: enough to time how fast such a picture is refused.
//   make_large_jpeg OUTPUT WIDTH HEIGHT [--progressive-header]
#include "image/VxImage.h"
#include "image/VxStream.h"
#include "image/codecs/VxImageJPG.h"
#include "platform/FileSystem.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

void FillRow(std::uint8_t* row, int y, int width, int height)
{
    for (int x = 0; x < width; ++x) {
        const int texture = y > height / 2 ? ((x * 7 + y * 3) % 23) * 3 : 0;
        const int v[3] = {60 + texture, 90 + 80 * (x % 4096) / 4096 + texture / 2, 140 + 100 * (y % 4096) / 4096};
        for (int c = 0; c < 3; ++c)
            row[3 * x + c] = static_cast<std::uint8_t>(std::clamp(v[c], 0, 255));
    }
}

bool WritePicture(const char* path, int width, int height, bool progressive)
{
    VxImage settings(static_cast<std::uint32_t>(width), 1, 24, kVxTypeJpg);
    if (progressive)
        settings.Info().codecOptions[VxImage::OptionSlot(kVxTypeJpg)] = 0x10;
    std::unique_ptr<std::FILE, decltype(&std::fclose)> file(vx::fs::OpenFile(vx::fs::FromUtf8(path).c_str(), "wb"),
                                                            &std::fclose);
    if (!file || !settings.IsValid())
        return false;
    VxFileStream stream(file.get());
    JpegRowWriter writer(settings);
    if (!writer.Begin(&stream, static_cast<std::uint32_t>(height)))
        return false;
    for (int y = 0; y < height; ++y) {
        FillRow(settings.RowAddress(0), y, width, height);
        if (!writer.WriteRow(settings.RowAddress(0)))
            return false;
    }
    return writer.Finish();
}

// Rewrites the height and width of the progressive frame header (SOF2) in place.
bool ClaimSize(const char* path, int width, int height)
{
    std::FILE* file = std::fopen(path, "r+b");
    if (!file)
        return false;
    std::vector<unsigned char> bytes(4096);
    bytes.resize(std::fread(bytes.data(), 1, bytes.size(), file));
    bool patched = false;
    for (std::size_t i = 2; i + 9 < bytes.size() && !patched; i += 2 + (bytes[i + 2] << 8 | bytes[i + 3])) {
        if (bytes[i] != 0xFF || bytes[i + 1] != 0xC2)
            continue;
        const unsigned char size[4] = {static_cast<unsigned char>(height >> 8), static_cast<unsigned char>(height),
                                       static_cast<unsigned char>(width >> 8), static_cast<unsigned char>(width)};
        patched = std::fseek(file, static_cast<long>(i + 5), SEEK_SET) == 0 && std::fwrite(size, 1, 4, file) == 4;
    }
    return std::fclose(file) == 0 && patched;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: make_large_jpeg OUTPUT WIDTH HEIGHT [--progressive-header]\n");
        return 2;
    }
    const int width = std::atoi(argv[2]);
    const int height = std::atoi(argv[3]);
    if (width < 1 || height < 1 || width > 65500 || height > 65500) {
        std::fprintf(stderr, "make_large_jpeg: sizes run from 1 to 65500\n");
        return 2;
    }
    const bool progressive = argc > 4 && std::strcmp(argv[4], "--progressive-header") == 0;
    const bool ok = progressive ? WritePicture(argv[1], 64, 64, true) && ClaimSize(argv[1], width, height)
                                : WritePicture(argv[1], width, height, false);
    if (!ok)
        std::fprintf(stderr, "make_large_jpeg: cannot write %s\n", argv[1]);
    return ok ? 0 : 1;
}
