// Draw onto a GDI device gives the very pixels the in-memory device gets: every shared case
// is drawn into a memory DC over the same background and read back with GetDIBits.
#include "platform/win32/GdiDrawDevice.h"
#include "tests/image/DrawScenarios.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using vx::Rgb;
using namespace vx::test;

// The device's pixels, rows from the top, after drawing `scenario` through GDI.
std::vector<RGBQUAD> DrawnWithGdi(const DrawScenario& scenario)
{
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = kDeviceWidth;
    info.bmiHeader.biHeight = -kDeviceHeight; // top-down, so rows read in device order
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, nullptr, nullptr, 0);
    HGDIOBJ previous = SelectObject(memory, bitmap);

    std::vector<RGBQUAD> pixels(static_cast<std::size_t>(kDeviceWidth * kDeviceHeight));
    for (std::int32_t y = 0; y < kDeviceHeight; ++y)
        for (std::int32_t x = 0; x < kDeviceWidth; ++x) {
            const Rgb back = Background(x, y);
            pixels[static_cast<std::size_t>(y * kDeviceWidth + x)] = RGBQUAD{back.blue, back.green, back.red, 0};
        }
    SetDIBits(memory, bitmap, 0, kDeviceHeight, pixels.data(), &info, DIB_RGB_COLORS);

    vx::GdiDrawDevice device(memory);
    const int before = SaveDC(memory);
    RestoreDC(memory, before);
    EXPECT_EQ(scenario.DrawOn(device), 1);
    RECT box{};
    GetClipBox(memory, &box);
    EXPECT_EQ(box.right, kDeviceWidth) << "the clip region is restored";
    EXPECT_EQ(SaveDC(memory), before) << "every saved state was restored";

    SelectObject(memory, previous);
    GetDIBits(memory, bitmap, 0, kDeviceHeight, pixels.data(), &info, DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return pixels;
}

TEST(VxImageDrawGdi, EveryCaseGivesThePixelsOfTheMemoryDevice)
{
    for (const DrawScenario& scenario : DrawScenarios()) {
        SCOPED_TRACE(scenario.name);
        const auto expected = BackgroundDevice();
        scenario.DrawOn(*expected);
        const std::vector<RGBQUAD> drawn = DrawnWithGdi(scenario);
        int differing = 0;
        for (std::int32_t y = 0; y < kDeviceHeight; ++y)
            for (std::int32_t x = 0; x < kDeviceWidth; ++x) {
                const RGBQUAD& p = drawn[static_cast<std::size_t>(y * kDeviceWidth + x)];
                if (!(Rgb{p.rgbRed, p.rgbGreen, p.rgbBlue} == expected->PixelAt(x, y)) && differing++ < 3)
                    ADD_FAILURE() << "pixel " << x << "," << y;
            }
        EXPECT_EQ(differing, 0);
    }
}

} // namespace
