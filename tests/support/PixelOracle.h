// Pictures as plain pixel arrays for comparisons with outside tools: PNM/PAM files, a VxImage's
// pixels as the eye sees them, and the command-line oracles (ImageMagick's convert, djpeg ...),
// which exist natively but not under Wine, so oracle tests skip themselves there.
#pragma once

#include "tests/support/TestSupport.h"

#include <filesystem>
#include <string>

class VxImage;

namespace vx::test {

// Pixels top row first, `channels` bytes each: 1 grey, 3 RGB, 4 RGBA.
struct Picture {
    int width = 0, height = 0, channels = 0;
    Bytes pixels;

    const std::uint8_t* At(int x, int y) const { return &pixels[(static_cast<std::size_t>(y) * width + x) * channels]; }
    bool operator==(const Picture&) const = default;
};

// P5 (grey), P6 (RGB) or, for 4 channels, a P7 RGB_ALPHA PAM file.
void WritePnm(const std::filesystem::path& path, const Picture& picture);
// Reads P5, P6 and P7 (GRAYSCALE, RGB, RGB_ALPHA) files with maxval 255; empty on anything else.
Picture ReadPnm(const std::filesystem::path& path);

// The image's colours top row first (palette entries looked up): 1 channel the red byte (for
// grey pictures), 3 RGB, 4 RGBA with the alpha plane (255 where there is none).
Picture PictureOf(const VxImage& image, int channels = 3);

// True when every command of the space-separated list is on the PATH (always false on Windows).
bool HaveTools(const std::string& commands);
std::string Quoted(const std::filesystem::path& path);
// Runs a shell command, failing the test when it exits non-zero (its stderr is dropped).
void RunTool(const std::string& command);

// What ImageMagick decodes from `path` (frame `frame` when it is not negative), as RGB or RGBA.
Picture ReadWithMagick(const std::filesystem::path& path, int frame = -1, bool withAlpha = false);

// The number of pixels whose channels differ by more than `tolerance` anywhere (sizes must match).
int CountDiffering(const Picture& a, const Picture& b, int tolerance = 0);

} // namespace vx::test

// Oracle tests call this first: they need the tools named, which Wine does not have.
#define REQUIRE_TOOLS(commands)                                                                    \
    if (!::vx::test::HaveTools(commands))                                                          \
    GTEST_SKIP() << (commands) << " needed for this comparison"
