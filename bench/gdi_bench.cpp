// Blits of a full 240 x 320 16-bit surface: colour-keyed (sprites), plain copy and a
// conversion to 32 bits, between memory contexts. After the runs the keyed blit is also
// printed as a ratio of the plain copy.
#include "host/gdi.h"

#include "bench/bench_summary.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <random>
#include <string>

namespace {

using namespace host;

constexpr int kWidth = 240, kHeight = 320;
constexpr COLORREF kKey = RGB(255, 0, 255);

struct Surface16 {
    HBITMAP hbm = nullptr;
    HDC hdc = nullptr;
    HGDIOBJ old = nullptr;
    WORD* bits = nullptr;

    explicit Surface16(int depth = 16) {
        BITMAPINFO bi{};
        bi.bmiHeader = {
            sizeof(BITMAPINFOHEADER), kWidth, -kHeight, 1, WORD(depth), BI_RGB, 0, 0, 0, 0, 0};
        void* pv = nullptr;
        hbm = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &pv);
        bits = static_cast<WORD*>(pv);
        hdc = CreateCompatibleDC(nullptr);
        old = SelectObject(hdc, static_cast<HGDIOBJ>(hbm));
    }
    ~Surface16() {
        SelectObject(hdc, old);
        DeleteDC(hdc);
        DeleteObject(hbm);
    }
};

// A sprite sheet-like source: about a third of the pixels carry the key colour, in runs.
void FillSprite(Surface16& s) {
    std::mt19937 random(1);
    const WORD key = 0x7C1F;
    for (int i = 0; i < kWidth * kHeight;) {
        int run = 1 + random() % 24;
        bool see = random() % 3 == 0;
        for (; run > 0 && i < kWidth * kHeight; --run, ++i)
            s.bits[i] = see ? key : WORD(random() & 0x7FFF);
    }
}

void TransparentBlit16(benchmark::State& state) {
    Surface16 src, dst;
    FillSprite(src);
    for (auto _ : state) {
        TransparentBlt(dst.hdc, 0, 0, kWidth, kHeight, src.hdc, 0, 0, kWidth, kHeight, kKey);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}
BENCHMARK(TransparentBlit16);

void CopyBlit16(benchmark::State& state) {
    Surface16 src, dst;
    FillSprite(src);
    for (auto _ : state) {
        BitBlt(dst.hdc, 0, 0, kWidth, kHeight, src.hdc, 0, 0, SRCCOPY);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}
BENCHMARK(CopyBlit16);

void ConvertBlit16To32(benchmark::State& state) {
    Surface16 src, dst(32);
    FillSprite(src);
    for (auto _ : state) {
        BitBlt(dst.hdc, 0, 0, kWidth, kHeight, src.hdc, 0, 0, SRCCOPY);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}
BENCHMARK(ConvertBlit16To32);

void StretchBlit16(benchmark::State& state) {
    Surface16 src, dst;
    FillSprite(src);
    for (auto _ : state) {
        StretchBlt(dst.hdc, 0, 0, kWidth, kHeight, src.hdc, 0, 0, kWidth / 2, kHeight / 2, SRCCOPY);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}
BENCHMARK(StretchBlit16);

// The keyed blit as a ratio of the plain copy.
void PrintSummary(const bench::RunTimes& times) {
    if (double r = bench::Ratio(times.real, "TransparentBlit16", "CopyBlit16"))
        std::printf("keyed blit / plain copy: %.2f\n", r);
}

} // namespace

int main(int argc, char** argv) {
    return bench::RunWithSummary(argc, argv, PrintSummary);
}
