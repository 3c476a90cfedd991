// The screen, headless: a full-screen frame of the game's main window (240 x 294) drawn
// through WM_PAINT and presented, at scale 1 and 2; and a 16-bit colour-keyed blit of a
// 240 x 294 surface by the drawing service and by SDL (SDL_SetColorKey, SDL_BlitSurface).
// After the runs it prints the frame as a share of a 30 frames-per-second frame and the
// keyed blit as a ratio of SDL's.
#include "host/gdi.h"
#include "host/screen.h"
#include "host/window.h"

#include "bench/bench_summary.h"
#include <SDL.h>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>

namespace {

using namespace host;

constexpr int kWidth = 240, kHeight = 294;
constexpr WORD kKey555 = 0x7C1F; // magenta
constexpr COLORREF kKey = RGB(255, 0, 255);

struct Bitmap16 {
    HBITMAP hbm = nullptr;
    HDC hdc = nullptr;
    HGDIOBJ old = nullptr;
    WORD* bits = nullptr;

    Bitmap16() {
        BITMAPINFO bi{};
        bi.bmiHeader = {sizeof(BITMAPINFOHEADER), kWidth, -kHeight, 1, 16, BI_RGB, 0, 0, 0, 0, 0};
        void* pv = nullptr;
        hbm = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &pv);
        bits = static_cast<WORD*>(pv);
        hdc = CreateCompatibleDC(nullptr);
        old = SelectObject(hdc, static_cast<HGDIOBJ>(hbm));
    }
    ~Bitmap16() {
        SelectObject(hdc, old);
        DeleteDC(hdc);
        DeleteObject(hbm);
    }
    // A sprite-like picture: about a third of the pixels carry the key, in runs.
    void FillSprite() {
        std::mt19937 random(1);
        for (int i = 0; i < kWidth * kHeight;) {
            int run = 1 + static_cast<int>(random() % 24);
            bool fKey = random() % 3 == 0;
            for (; run > 0 && i < kWidth * kHeight; --run, ++i)
                bits[i] = fKey ? kKey555 : static_cast<WORD>(random() & 0x7FFF);
        }
    }
};

Bitmap16* g_frame = nullptr;

LRESULT FrameProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_PAINT) {
        PAINTSTRUCT ps;
        HDC hdc = BeginPaint(hwnd, &ps);
        BitBlt(hdc, 0, 0, kWidth, kHeight, g_frame->hdc, 0, 0, SRCCOPY);
        EndPaint(hwnd, &ps);
        return 0;
    }
    if (msg == WM_ERASEBKGND) return 1;
    return DefWindowProc(hwnd, msg, wParam, lParam);
}

void PresentFullScreen(benchmark::State& state) {
    ScreenOptions options;
    options.backend = ScreenBackendKind::kHeadless;
    options.nScale = static_cast<int>(state.range(0));
    if (!InitScreen(options)) {
        state.SkipWithError("the screen does not start");
        return;
    }
    Bitmap16 frame;
    frame.FillSprite();
    g_frame = &frame;
    WNDCLASSA cls{};
    cls.lpfnWndProc = FrameProc;
    cls.lpszClassName = "BenchFrame";
    RegisterClass(&cls);
    HWND hwnd = CreateWindowEx(0, "BenchFrame", "", WS_POPUP | WS_VISIBLE, 0, 0, kWidth, kHeight,
                               nullptr, nullptr, nullptr, nullptr);
    UpdateWindow(hwnd);
    PresentScreen();
    for (auto _ : state) {
        InvalidateRect(hwnd, nullptr, FALSE);
        UpdateWindow(hwnd);
        if (!PresentScreen()) state.SkipWithError("nothing was presented");
    }
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
    DestroyWindow(hwnd);
    UnregisterClass("BenchFrame", nullptr);
    ShutdownScreen();
    g_frame = nullptr;
}
BENCHMARK(PresentFullScreen)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

void KeyedBlitGdi(benchmark::State& state) {
    Bitmap16 src, dst;
    src.FillSprite();
    for (auto _ : state) {
        TransparentBlt(dst.hdc, 0, 0, kWidth, kHeight, src.hdc, 0, 0, kWidth, kHeight, kKey);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}
BENCHMARK(KeyedBlitGdi)->Unit(benchmark::kMicrosecond);

void KeyedBlitSdl(benchmark::State& state) {
    Bitmap16 src, dst;
    src.FillSprite();
    // The same pixels seen by SDL: 16-bit 5-5-5 rows of 480 bytes.
    SDL_Surface* from = SDL_CreateRGBSurfaceWithFormatFrom(src.bits, kWidth, kHeight, 16,
                                                           kWidth * 2, SDL_PIXELFORMAT_XRGB1555);
    SDL_Surface* to = SDL_CreateRGBSurfaceWithFormatFrom(dst.bits, kWidth, kHeight, 16, kWidth * 2,
                                                         SDL_PIXELFORMAT_XRGB1555);
    SDL_SetColorKey(from, SDL_TRUE, kKey555);
    // Both blits must agree, or the comparison means nothing.
    Bitmap16 check;
    TransparentBlt(check.hdc, 0, 0, kWidth, kHeight, src.hdc, 0, 0, kWidth, kHeight, kKey);
    SDL_BlitSurface(from, nullptr, to, nullptr);
    if (std::memcmp(check.bits, dst.bits, sizeof(WORD) * kWidth * kHeight) != 0)
        state.SkipWithError("SDL's keyed blit and the drawing service's differ");
    for (auto _ : state) {
        SDL_BlitSurface(from, nullptr, to, nullptr);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
    SDL_FreeSurface(from);
    SDL_FreeSurface(to);
}
BENCHMARK(KeyedBlitSdl)->Unit(benchmark::kMicrosecond);

// The frame against the 33 ms of a frame at 30 frames per second, and the drawing service's
// keyed blit against SDL's.
void PrintSummary(const bench::RunTimes& times) {
    for (const char* name : {"PresentFullScreen/1", "PresentFullScreen/2"}) {
        auto it = times.real.find(name);
        if (it != times.real.end())
            std::printf("%s: %.3f of a 30 fps frame (%.0f frames per second)\n", name,
                        it->second / 33333.0, 1e6 / it->second);
    }
    if (double r = bench::Ratio(times.real, "KeyedBlitGdi", "KeyedBlitSdl"))
        std::printf("keyed blit, drawing service / SDL: %.2f\n", r);
}

} // namespace

int main(int argc, char** argv) {
    return bench::RunWithSummary(argc, argv, PrintSummary);
}
