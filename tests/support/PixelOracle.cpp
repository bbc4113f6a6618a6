#include "tests/support/PixelOracle.h"

#include "image/VxImage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>

namespace vx::test {

void WritePnm(const std::filesystem::path& path, const Picture& p)
{
    std::string head;
    if (p.channels == 4)
        head = "P7\nWIDTH " + std::to_string(p.width) + "\nHEIGHT " + std::to_string(p.height) +
               "\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n";
    else
        head = (p.channels == 1 ? "P5\n" : "P6\n") + std::to_string(p.width) + " " + std::to_string(p.height) +
               "\n255\n";
    WriteFileBytes(path, Joined(Bytes(head.begin(), head.end()), p.pixels));
}

Picture ReadPnm(const std::filesystem::path& path)
{
    const Bytes bytes = ReadFileBytes(path);
    std::istringstream header(std::string(bytes.begin(), bytes.begin() + std::min<long>(bytes.size(), 512)));
    Picture p;
    std::string magic, key;
    int maxval = 0;
    header >> magic;
    if (magic == "P7") {
        while (header >> key && key != "ENDHDR") { // TUPLTYPE's value is read as a key and skipped
            if (key == "WIDTH") header >> p.width;
            else if (key == "HEIGHT") header >> p.height;
            else if (key == "DEPTH") header >> p.channels;
            else if (key == "MAXVAL") header >> maxval;
        }
    } else if (magic == "P5" || magic == "P6") {
        header >> p.width >> p.height >> maxval;
        p.channels = magic == "P5" ? 1 : 3;
    }
    header.get(); // the one whitespace byte before the pixels
    const std::size_t start = static_cast<std::size_t>(header.tellg());
    const std::size_t size = static_cast<std::size_t>(p.width) * p.height * p.channels;
    if (!header || maxval != 255 || (p.channels != 1 && p.channels != 3 && p.channels != 4) ||
        bytes.size() < start + size)
        return {};
    p.pixels.assign(bytes.begin() + static_cast<long>(start), bytes.begin() + static_cast<long>(start + size));
    return p;
}

Picture PictureOf(const VxImage& image, int channels)
{
    Picture p{image.Width(), image.Height(), channels, {}};
    p.pixels.reserve(static_cast<std::size_t>(p.width) * p.height * p.channels);
    for (int y = p.height - 1; y >= 0; --y) {
        for (int x = 0; x < p.width; ++x) {
            const RGBQUAD c = image.PixelColour(x, y, false);
            if (channels == 1) {
                p.pixels.push_back(c.rgbRed);
                continue;
            }
            p.pixels.insert(p.pixels.end(), {c.rgbRed, c.rgbGreen, c.rgbBlue});
            if (channels == 4)
                p.pixels.push_back(image.HasAlpha() ? image.AlphaAt(x, y) : 255);
        }
    }
    return p;
}

bool HaveTools(const std::string& commands)
{
#if defined(_WIN32)
    (void)commands;
    return false;
#else
    std::string check = "true";
    std::istringstream names(commands);
    for (std::string name; names >> name;)
        check += " && command -v " + name;
    return std::system(("{ " + check + "; } >/dev/null 2>&1").c_str()) == 0;
#endif
}

std::string Quoted(const std::filesystem::path& path)
{
    // Appended piece by piece: GCC 12 reports a false overlap in the inlined operator+ chain.
    std::string quoted(1, '\'');
    quoted.append(path.string()).push_back('\'');
    return quoted;
}

void RunTool(const std::string& command)
{
    ASSERT_EQ(std::system((command + " 2>/dev/null").c_str()), 0) << command;
}

Picture ReadWithMagick(const std::filesystem::path& path, int frame, bool withAlpha)
{
    const std::filesystem::path out = path.string() + (withAlpha ? ".oracle.pam" : ".oracle.ppm");
    const std::string source = path.string() + (frame >= 0 ? "[" + std::to_string(frame) + "]" : "");
    // A comment in the source would reach the PNM header, which ReadPnm does not parse.
    std::string command = "convert '" + source + "' +set comment -depth 8 ";
    command += withAlpha ? "-alpha on -define pam:format=RGB_ALPHA " : "-alpha off -type TrueColor ";
    RunTool(command + Quoted(out));
    return ReadPnm(out);
}

int CountDiffering(const Picture& a, const Picture& b, int tolerance)
{
    if (a.width != b.width || a.height != b.height || a.channels != b.channels)
        return a.width * a.height + 1;
    int differing = 0;
    for (std::size_t i = 0; i < a.pixels.size(); i += static_cast<std::size_t>(a.channels)) {
        for (int c = 0; c < a.channels; ++c) {
            if (std::abs(a.pixels[i + c] - b.pixels[i + c]) > tolerance) {
                ++differing;
                break;
            }
        }
    }
    return differing;
}

} // namespace vx::test
