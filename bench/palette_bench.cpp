// The palette group's two costly operations at the game's sizes: merging the eight picture
// sheets (8 bits, colours from one shared 200-colour palette at different indices per
// sheet) and building the nearest-colour table for translucent drawing.
#include "anim/cea_palette.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

namespace {

struct SheetData {
    int cx, cy;
    std::vector<RGBQUAD> table;
    std::vector<BYTE> pixels; // cx * cy, row by row
};

const std::vector<SheetData>& Sheets() {
    static const std::vector<SheetData> sheets = [] {
        const int rgSize[8][2] = {{240, 294}, {42, 245},  {115, 92},  {240, 432},
                                  {111, 12},  {128, 126}, {128, 256}, {64, 128}};
        std::mt19937 random(42);
        std::vector<RGBQUAD> shared;
        shared.push_back({255, 0, 0, 0}); // the transparent blue
        while (shared.size() < 200) {
            shared.push_back({BYTE(random()), BYTE(random()), BYTE(random()), 0});
        }
        std::vector<SheetData> out;
        for (const auto& size : rgSize) {
            SheetData s{size[0], size[1], std::vector<RGBQUAD>(256, RGBQUAD{0, 0, 0, 0}), {}};
            // Every sheet keeps the shared colours in an order of its own.
            std::vector<int> order(200);
            for (int i = 0; i < 200; i++) {
                order[i] = i;
            }
            std::shuffle(order.begin(), order.end(), random);
            int cUsed = 40 + static_cast<int>(random() % 160);
            for (int i = 0; i < cUsed; i++) {
                s.table[i] = shared[order[i]];
            }
            // Runs of one colour, as drawn pictures have.
            s.pixels.resize(static_cast<size_t>(s.cx) * s.cy);
            for (size_t i = 0; i < s.pixels.size();) {
                BYTE v = BYTE(random() % cUsed);
                size_t cRun = 1 + random() % 12;
                for (; cRun > 0 && i < s.pixels.size(); cRun--) {
                    s.pixels[i++] = v;
                }
            }
            out.push_back(std::move(s));
        }
        return out;
    }();
    return sheets;
}

std::unique_ptr<Graphic> MakeSheet(const SheetData& s) {
    auto p = std::make_unique<Graphic>(s.cx, s.cy, 8, s.table.data());
    BYTE* pb = p->GetBits();
    for (int y = 0; y < s.cy; y++) {
        std::memcpy(pb + static_cast<size_t>(y) * p->GetPitch(), &s.pixels[size_t(y) * s.cx],
                    size_t(s.cx));
    }
    p->SetTransparency(host::RGB(0, 0, 255));
    return p;
}

void MergeGameSheets(benchmark::State& state) {
    std::int64_t cPixels = 0;
    for (const SheetData& s : Sheets()) {
        cPixels += std::int64_t(s.cx) * s.cy;
    }
    for (auto _ : state) {
        state.PauseTiming();
        std::vector<std::unique_ptr<Graphic>> graphics;
        for (const SheetData& s : Sheets()) {
            graphics.push_back(MakeSheet(s));
        }
        auto group = std::make_unique<PaletteGroup>();
        state.ResumeTiming();
        group->Open();
        for (auto& g : graphics) {
            group->Add(g.get(), host::FALSE);
        }
        group->Close();
        state.PauseTiming();
        graphics.clear();
        group.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * cPixels);
}
BENCHMARK(MergeGameSheets)->Unit(benchmark::kMillisecond);

void BuildNearestTable(benchmark::State& state) {
    PaletteGroup group;
    group.Open();
    for (const RGBQUAD& q : Sheets()[0].table) {
        group.Add(host::RGB(q.rgbRed, q.rgbGreen, q.rgbBlue));
    }
    group.Close();
    for (auto _ : state) {
        group.BuildNearestTable();
        benchmark::DoNotOptimize(group.GetNearestTable());
    }
}
BENCHMARK(BuildNearestTable)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
