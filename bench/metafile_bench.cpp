// Render time of a complex enhanced metafile: thousands of records of the kinds drawings use
// (filled and outlined polygons, ellipses and rounded rectangles with solid, hatched and
// pattern brushes, dashed and wide pens, Bézier paths, clipping inside saved states, text,
// stretched bitmaps), played onto targets of several sizes by the system's metafile player
// (ours natively, GDI on Windows) and, on Windows, by ours as well.
// Usage: metafile_bench [shapes [runs]] (default 2000 shapes, 5 runs).
#include "bench/BenchTiming.h"
#include "image/codecs/VxImageWMF.h"
#include "platform/MetafilePlayer.h"
#include "tests/support/MetafileWriter.h"

#if defined(_WIN32)
#include "platform/portable/PortableMetafilePlayer.h"
#endif

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

using vx::test::Bytes;
using vx::test::EmfWriter;
using vx::test::Point16;

// A drawing of `shapes` groups of records over a 1000 x 750 reference picture.
Bytes ComplexEmf(int shapes, std::size_t& records)
{
    EmfWriter emf(RECT{0, 0, 999, 749}, RECT{0, 0, 26458, 19844}, {1024, 768}, {271, 203});
    const Bytes dib = vx::test::PackedDib24(8, 8, std::vector<std::uint32_t>(64, 0x3366CC));
    emf.CreatePatternBrush(3, dib).Font(4, -14, 400, false, u"DejaVu Sans").SelectObject(4).Record(18, {1});
    std::srand(7);
    auto r = [](int n) { return std::rand() % n; };
    for (int i = 0; i < shapes; ++i) {
        const std::int32_t x = r(950), y = r(700), w = 10 + r(120), h = 10 + r(90);
        const std::uint32_t colour = static_cast<std::uint32_t>(r(0x1000000));
        emf.CreateBrush(1, i % 3 == 1 ? 2 : 0, colour, static_cast<std::uint32_t>(r(6)))
            .ExtCreatePen(2, 0x10000 | static_cast<std::uint32_t>(r(3)), 1 + static_cast<std::uint32_t>(r(6)),
                          ~colour & 0xFFFFFF)
            .SelectObject(i % 5 == 0 ? 3 : 1)
            .SelectObject(2);
        switch (i % 6) {
        case 0:
            emf.Rectangle(RECT{x, y, x + w, y + h});
            break;
        case 1:
            emf.Ellipse(RECT{x, y, x + w, y + h});
            break;
        case 2:
            emf.Record(44, {x, y, x + w, y + h, 20, 20});
            break;
        case 3: {
            std::vector<Point16> star;
            for (int k = 0; k < 10; ++k)
                star.push_back({static_cast<std::int16_t>(x + r(w)), static_cast<std::int16_t>(y + r(h))});
            emf.Poly16(86, star);
            break;
        }
        case 4:
            emf.Record(59, {})
                .Record(27, {x, y})
                .Poly16(88, {{static_cast<std::int16_t>(x + w), static_cast<std::int16_t>(y)},
                             {static_cast<std::int16_t>(x), static_cast<std::int16_t>(y + h)},
                             {static_cast<std::int16_t>(x + w), static_cast<std::int16_t>(y + h)}})
                .Record(61, {})
                .Record(60, {})
                .Record(63, {});
            break;
        default:
            emf.Record(33, {})
                .IntersectClipRect(RECT{x, y, x + w / 2, y + h})
                .Ellipse(RECT{x, y, x + w, y + h})
                .Record(34, {-1});
            break;
        }
        if (i % 10 == 0)
            emf.ExtTextW(x, y, 0, u"Label " + std::u16string(1, static_cast<char16_t>(u'A' + i % 26)));
        if (i % 50 == 0)
            emf.StretchDibits(RECT{x, y, x + w, y + h}, dib);
        emf.DeleteObject(1).DeleteObject(2);
    }
    const Bytes bytes = emf.Metafile();
    records = 0;
    for (std::size_t offset = 0; offset + 8 <= bytes.size(); ++records)
        offset += bytes[offset + 4] | bytes[offset + 5] << 8 | bytes[offset + 6] << 16 | bytes[offset + 7] << 24;
    return bytes;
}

void Measure(const char* name, vx::MetafilePlayer& player, const Bytes& emf, int runs)
{
    auto metafile = player.OpenEnhancedMetafile(emf.data(), emf.size());
    if (!metafile) {
        std::printf("%s: refused the metafile\n", name);
        return;
    }
    for (const auto& [width, height] : {std::pair{1000, 750}, std::pair{2000, 1500}, std::pair{4000, 3000}}) {
        const std::uint32_t stride = ((24u * width + 31) / 32) * 4;
        std::vector<std::uint8_t> bits(static_cast<std::size_t>(stride) * height);
        const vx::Rgb24Bitmap target{bits.data(), width, height, stride};
        const double seconds = vx::bench::BestSeconds(
            runs, [&] { return metafile->Play(target, RGB(255, 255, 255), &VxImageWMF::DecodePackedDib); });
        std::printf("%-9s %4d x %-4d  %8.1f ms\n", name, width, height, seconds * 1000);
    }
}

} // namespace

int main(int argc, char** argv)
{
    const int shapes = argc > 1 ? std::atoi(argv[1]) : 2000;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 5;
    std::size_t records = 0;
    const Bytes emf = ComplexEmf(shapes, records);
    std::printf("EMF of %zu records, %zu bytes; best of %d runs\n", records, emf.size(), runs);
#if defined(_WIN32)
    Measure("GDI", vx::SystemMetafilePlayer(), emf, runs);
    vx::PortableMetafilePlayer portable(vx::SystemTextRenderer());
    Measure("portable", portable, emf, runs);
#else
    Measure("portable", vx::SystemMetafilePlayer(), emf, runs);
#endif
    return 0;
}
