// Test pictures for the batch, command-line and Windows suites: files of a given size written
// through the library itself (JPEG unless another type is named), a smooth blue-grey gradient
// with no red in it, so that a red mark stands out; plus the helpers to read a size back.
#pragma once

#include "image/VxImage.h"
#include "tests/support/TestSupport.h"

#include <algorithm>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace vx::test {

inline bool WritePicture(const std::filesystem::path& path, int width, int height, std::uint32_t type = kVxTypeJpg)
{
    VxImage image(static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height), 24, type);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.SetPixelColour(x, y, RGBQUAD{static_cast<BYTE>(170 + x * 40 / width),
                                               static_cast<BYTE>(110 + y * 30 / height), 70, 0});
    return image.Save(ToU16(path).c_str(), type);
}

// Width and height; 0 x 0 when the picture cannot be read.
inline std::pair<int, int> ReadPictureSize(const std::filesystem::path& path)
{
    VxImage image(ToU16(path).c_str(), kVxTypeJpg);
    return image.IsValid() ? std::pair{image.Width(), image.Height()} : std::pair{0, 0};
}

// The names in a directory, sorted.
inline std::vector<std::string> DirectoryNames(const std::filesystem::path& directory)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(directory))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace vx::test
