// Draw cases shared by the in-memory device tests and the GDI comparison under Wine: each
// builds a picture and draws it onto a 56 x 52 device whose background is a gradient, so
// that blending and clipping show in every pixel.
#pragma once

#include "image/VxImage.h"
#include "platform/portable/MemoryDrawDevice.h"
#include "tests/support/ImageChecks.h"

#include <memory>
#include <vector>

namespace vx::test {

constexpr std::int32_t kDeviceWidth = 56;
constexpr std::int32_t kDeviceHeight = 52;

inline vx::Rgb Background(std::int32_t x, std::int32_t y)
{
    return vx::Rgb{static_cast<std::uint8_t>(x * 4), static_cast<std::uint8_t>(y * 4), 100};
}

// A device of the shared size showing the background.
inline std::unique_ptr<vx::MemoryDrawDevice> BackgroundDevice()
{
    auto device = std::make_unique<vx::MemoryDrawDevice>(kDeviceWidth, kDeviceHeight, vx::Rgb{});
    for (std::int32_t y = 0; y < kDeviceHeight; ++y)
        for (std::int32_t x = 0; x < kDeviceWidth; ++x)
            device->SetPixel(x, y, Background(x, y));
    return device;
}

// A 24-bit picture whose pixel (x, y), y = 0 the bottom row, is colourAt(x, y).
template <typename ColourAt>
std::unique_ptr<VxImage> Painted(std::int32_t width, std::int32_t height, ColourAt colourAt)
{
    auto image = std::make_unique<VxImage>(width, height, 24, kVxTypeBmp);
    FillColours(*image, colourAt);
    return image;
}

// Pixel (x, y) of Gradient(), y = 0 the bottom row.
inline vx::Rgb GradientPixel(std::int32_t x, std::int32_t y)
{
    return vx::Rgb{static_cast<std::uint8_t>(7 * x + 1), static_cast<std::uint8_t>(5 * y + 2),
                   static_cast<std::uint8_t>(3 * (x + y))};
}

inline std::unique_ptr<VxImage> Gradient(std::int32_t width, std::int32_t height)
{
    return Painted(width, height, [](std::int32_t x, std::int32_t y) {
        const vx::Rgb c = GradientPixel(x, y);
        return RGBQUAD{c.blue, c.green, c.red, 0};
    });
}

// 100 x 100, red = column, green = row: shows which image pixel each device pixel took.
inline std::unique_ptr<VxImage> Coordinates()
{
    return Painted(100, 100, [](std::int32_t x, std::int32_t y) { return RGBQUAD{50, BYTE(y), BYTE(x), 0}; });
}

// Orange (red 200, green 100) drawn at opacity 128 of 255, with or without an alpha plane.
inline std::unique_ptr<VxImage> HalfOpaqueOrange(bool withPlane)
{
    auto image = Painted(4, 3, [](std::int32_t, std::int32_t) { return RGBQUAD{0, 100, 200, 0}; });
    if (withPlane)
        image->CreateAlpha();
    image->Info().alphaMax = 128;
    return image;
}

// A 3 x 2 gradient with magenta at (0, 0) (and (2, 1)), magenta its transparent colour.
inline std::unique_ptr<VxImage> MagentaCorners(bool transparent)
{
    constexpr RGBQUAD kMagenta{255, 0, 255, 0};
    auto image = Gradient(3, 2);
    image->SetPixelColour(0, 0, kMagenta);
    image->SetTransparentColour(kMagenta);
    if (transparent) {
        image->SetPixelColour(2, 1, kMagenta);
        image->SetTransparentIndex(0);
    }
    return image;
}

struct DrawScenario {
    const char* name;
    std::unique_ptr<VxImage> (*make)();
    std::int32_t x, y, cx, cy;
    bool hasClip;
    RECT clip;
    bool smooth;

    std::int32_t DrawOn(vx::DrawDevice& device) const
    {
        return make()->Draw(&device, x, y, cx, cy, hasClip ? &clip : nullptr, smooth);
    }
};

inline const std::vector<DrawScenario>& DrawScenarios()
{
    static const std::vector<DrawScenario> scenarios = {
        {"OwnSize", [] { return Gradient(5, 4); }, 3, 2, -1, -1, false, {}, false},
        {"OwnSizeClipped", [] { return Gradient(5, 4); }, 3, 2, 5, 4, true, {5, 3, 7, 9}, false},
        {"HalfSize", Coordinates, 0, 0, 50, 50, false, {}, false},
        {"HalfSizeClipped", Coordinates, 2, 1, 50, 50, true, {10, 10, 30, 20}, false},
        {"PartlyOffTheDevice", [] { return Gradient(9, 7); }, -4, 48, 18, 14, false, {}, false},
        {"Opacity128", [] { return HalfOpaqueOrange(true); }, 1, 1, -1, -1, false, {}, false},
        {"Opacity128WithoutAlphaPlane", [] { return HalfOpaqueOrange(false); }, 1, 1, -1, -1, false, {}, false},
        {"MagentaTransparent", [] { return MagentaCorners(true); }, 2, 2, -1, -1, false, {}, false},
        {"MagentaOpaque", [] { return MagentaCorners(false); }, 2, 2, -1, -1, false, {}, false},
        {"PaletteOpacities",
         [] {
             auto image = std::make_unique<VxImage>(3, 1, 8, kVxTypeGif);
             image->SetPaletteEntry(0, 1, 2, 3, 255);
             image->SetPaletteEntry(1, 200, 100, 0, 64);
             image->SetPaletteEntry(2, 9, 8, 7, 0);
             FillIndices(*image, [](std::int32_t x, std::int32_t) { return x; });
             image->SetTransparentIndex(0);
             image->Info().paletteAlpha = true;
             return image;
         },
         4, 4, -1, -1, false, {}, false},
        {"FourBitPaletteOwnSize",
         [] {
             auto image = std::make_unique<VxImage>(7, 3, 4, kVxTypePcx);
             for (std::uint8_t i = 0; i < 16; ++i)
                 image->SetPaletteEntry(i, BYTE(i * 16), BYTE(255 - i * 8), BYTE(i * 3));
             FillIndices(*image, [](std::int32_t x, std::int32_t y) { return (x + 5 * y) & 15; });
             return image;
         },
         6, 5, -1, -1, false, {}, false},
        {"StretchedAlphaRamp",
         [] {
             auto image = Gradient(6, 4);
             image->CreateAlpha();
             ForEachPixel(*image, [&](int x, int y) { image->SetAlphaAt(x, y, BYTE(40 * x + 10 * y)); });
             return image;
         },
         5, 3, 15, 10, false, {}, false},
        {"SmoothShrinkOfACheckerboard",
         [] {
             return Painted(40, 40, [](std::int32_t x, std::int32_t y) {
                 const BYTE level = (x + y) % 2 ? 255 : 0;
                 return RGBQUAD{level, level, level, 0};
             });
         },
         1, 1, 20, 20, false, {}, true},
        {"SmoothEnlarge", [] { return Gradient(4, 4); }, 30, 2, 16, 16, false, {}, true},
    };
    return scenarios;
}

} // namespace vx::test
