// Graphic drawing against the per-pixel loop it replaces (GetPixelColor / SetPixelColor):
// a transparent piece drawn with its opaque runs, and a translucent full window blended
// with a uniform and with a per-pixel opacity, all at 16 bits.
#include "anim/cea_graphic.h"

#include "bench/bench_summary.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>

namespace {

constexpr int cxWindow = 240;
constexpr int cyWindow = 294;
constexpr int cxPiece = 23;
constexpr Color clrKey = 0x00F800F8;

void Fill(Graphic* pGraphic, unsigned seed) {
    unsigned state = seed;
    for (int y = 0; y < pGraphic->GetHeight(); ++y)
        for (int x = 0; x < pGraphic->GetWidth(); ++x) {
            state = state * 1664525u + 1013904223u;
            pGraphic->SetPixelValue(x, y, (state >> 9) & 0x7FFF);
        }
}

// A ball: opaque inside the circle, the key colour around it.
void MakePiece(Graphic* pPiece) {
    Fill(pPiece, 7);
    const int r = cxPiece / 2;
    for (int y = 0; y < cxPiece; ++y)
        for (int x = 0; x < cxPiece; ++x)
            if ((x - r) * (x - r) + (y - r) * (y - r) > r * r) pPiece->SetPixelColor(x, y, clrKey);
    pPiece->SetTransparency(clrKey);
}

void BM_RunCopy(benchmark::State& state) {
    Graphic piece(cxPiece, cxPiece, 16);
    Graphic window(cxWindow, cyWindow, 16);
    MakePiece(&piece);
    Fill(&window, 3);
    int i = 0;
    for (auto _ : state) {
        piece.DrawTo(&window, (i * 37) % (cxWindow - cxPiece), (i * 53) % (cyWindow - cxPiece), 0,
                     0, cxToEdge, cxToEdge);
        ++i;
    }
    benchmark::DoNotOptimize(window.GetBits());
    state.SetItemsProcessed(state.iterations() * cxPiece * cxPiece);
}
BENCHMARK(BM_RunCopy);

void BM_RunCopyReference(benchmark::State& state) {
    Graphic piece(cxPiece, cxPiece, 16);
    Graphic window(cxWindow, cyWindow, 16);
    MakePiece(&piece);
    Fill(&window, 3);
    int i = 0;
    for (auto _ : state) {
        const int xDest = (i * 37) % (cxWindow - cxPiece), yDest = (i * 53) % (cyWindow - cxPiece);
        for (int y = 0; y < cxPiece; ++y)
            for (int x = 0; x < cxPiece; ++x) {
                const Color clr = piece.GetPixelColor(x, y);
                if (clr != clrKey) window.SetPixelColor(xDest + x, yDest + y, clr);
            }
        ++i;
    }
    benchmark::DoNotOptimize(window.GetBits());
    state.SetItemsProcessed(state.iterations() * cxPiece * cxPiece);
}
BENCHMARK(BM_RunCopyReference);

// range(0): 0 uniform opacity, 1 per-pixel map.
void SetUpTranslucent(Graphic* pOverlay, bool fMap) {
    Fill(pOverlay, 5);
    if (fMap) {
        pOverlay->SetTranslucency(TRANSLUCENT_MAP, 0);
        TRANSLUCENCY tl = pOverlay->GetTranslucency();
        for (LONG i = 0; i < tl.cRows * tl.cbRow; ++i)
            tl.pbOpacity[i] = BYTE(i * 7);
    } else {
        pOverlay->SetTranslucency(TRANSLUCENT_UNIFORM, 100);
    }
}

void BM_Blend(benchmark::State& state) {
    Graphic overlay(cxWindow, cyWindow, 16);
    Graphic window(cxWindow, cyWindow, 16);
    SetUpTranslucent(&overlay, state.range(0) != 0);
    Fill(&window, 3);
    for (auto _ : state)
        overlay.DrawTo(&window, 0, 0, 0, 0, cxToEdge, cxToEdge);
    benchmark::DoNotOptimize(window.GetBits());
    state.SetItemsProcessed(state.iterations() * cxWindow * cyWindow);
}
BENCHMARK(BM_Blend)->ArgName("map")->Arg(0)->Arg(1);

void BM_BlendReference(benchmark::State& state) {
    Graphic overlay(cxWindow, cyWindow, 16);
    Graphic window(cxWindow, cyWindow, 16);
    const bool fMap = state.range(0) != 0;
    SetUpTranslucent(&overlay, fMap);
    Fill(&window, 3);
    const TRANSLUCENCY tl = overlay.GetTranslucency();
    for (auto _ : state) {
        for (int y = 0; y < cyWindow; ++y)
            for (int x = 0; x < cxWindow; ++x) {
                int a = fMap ? tl.pbOpacity[y * tl.cbRow + x] : tl.bOpacity;
                if (a == 255) a = 256;
                if (a == 0) continue;
                const Color s = overlay.GetPixelColor(x, y), d = window.GetPixelColor(x, y);
                Color out = 0;
                for (int shift = 0; shift < 24; shift += 8) {
                    const int ds = int((d >> shift) & 255) >> 3, ss = int((s >> shift) & 255) >> 3;
                    out |= Color((ds + ((a * (ss - ds)) >> 8)) << 3) << shift;
                }
                window.SetPixelColor(x, y, out);
            }
    }
    benchmark::DoNotOptimize(window.GetBits());
    state.SetItemsProcessed(state.iterations() * cxWindow * cyWindow);
}
BENCHMARK(BM_BlendReference)->ArgName("map")->Arg(0)->Arg(1);

// How many times faster each drawing is than its per-pixel reference.
void PrintSummary(const bench::RunTimes& times) {
    const char* rgPairs[][2] = {{"BM_RunCopy", "BM_RunCopyReference"},
                                {"BM_Blend/map:0", "BM_BlendReference/map:0"},
                                {"BM_Blend/map:1", "BM_BlendReference/map:1"}};
    for (const auto& pair : rgPairs) {
        if (double r = bench::Ratio(times.real, pair[1], pair[0]))
            std::printf("%s: %.1f x faster than the per-pixel loop\n", pair[0], r);
    }
}

} // namespace

int main(int argc, char** argv) {
    return bench::RunWithSummary(argc, argv, PrintSummary);
}
