// Loading a 240 x 294 8-bit picture sheet with a colour table through Graphic from memory,
// once per channel coding. The sheet looks like the game's: flat background, shaded balls.
#include "anim/cea_graphic.h"
#include "tools/pspwriter/pspwriter.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

constexpr int kcx = 240;
constexpr int kcy = 294;

std::vector<uint8_t> Sheet(pspwriter::Compression compression) {
    pspwriter::PspImage image;
    image.cx = kcx;
    image.cy = kcy;
    image.nDepth = 8;
    image.compression = compression;
    for (int i = 0; i < 256; ++i)
        image.palette.push_back(
            {static_cast<uint8_t>(i), static_cast<uint8_t>(i / 2), static_cast<uint8_t>(255 - i)});
    pspwriter::PspLayer layer;
    layer.pixels.assign(static_cast<size_t>(kcx) * kcy, 0);
    for (int y = 0; y < kcy; ++y) {
        for (int x = 0; x < kcx; ++x) {
            // Balls of radius 11 on a 24-pixel grid, lit from the top left.
            int dx = x % 24 - 12, dy = y % 24 - 12;
            int d2 = dx * dx + dy * dy;
            if (d2 < 121) {
                int lx = dx + 4, ly = dy + 4;
                int nShade = 200 - (lx * lx + ly * ly) * 3 / 2;
                layer.pixels[y * kcx + x] =
                    static_cast<uint8_t>((nShade < 16 ? 16 : nShade) + ((x / 24 + y / 24) & 1));
            }
        }
    }
    image.layers.push_back(layer);
    std::vector<uint8_t> bytes;
    pspwriter::WritePsp(image, &bytes);
    return bytes;
}

void LoadSheet(benchmark::State& state) {
    auto compression = static_cast<pspwriter::Compression>(state.range(0));
    std::vector<uint8_t> bytes = Sheet(compression);
    for (auto _ : state) {
        Graphic g(bytes.data(), static_cast<DWORD>(bytes.size()));
        if (g.GetWidth() != kcx) state.SkipWithError("sheet did not load");
        benchmark::DoNotOptimize(g.GetBits());
    }
    state.counters["file_bytes"] = static_cast<double>(bytes.size());
}

BENCHMARK(LoadSheet)->ArgName("compression")->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
