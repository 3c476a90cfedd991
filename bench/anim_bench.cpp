// The animated window, headless, 16 bits: one frame with 30 colour-keyed 23 x 23 objects
// moving over a 240 x 294 background (timeline advance, compose, copy to the screen and
// present), and the processor time an idle window costs while it plays at 30 frames per
// second for 10 seconds of the real clock, as a share of one core.
#include "anim/cea_main.h"
#include "anim/cea_object.h"
#include "foundation/memmgr.h"
#include "host/clock.h"
#include "host/screen.h"
#include "host/window.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

using host::RGB;

constexpr int kWidth = 240, kHeight = 294;
constexpr int kObjects = 30, kObjectSize = 23;
constexpr Color kKey = RGB(248, 0, 248);

double ProcessCpuSeconds() {
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + ts.tv_nsec / 1e9;
}

double WallSeconds() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + ts.tv_nsec / 1e9;
}

int TexturedBackground(AnimWindow*, int nEvent, LPARAM, LPARAM lParam2) {
    if (nEvent != ANIMEVENT_BACKGROUND || lParam2 == 0) return 1;
    auto* pBackground = reinterpret_cast<Graphic*>(lParam2);
    for (int y = 0; y < pBackground->GetHeight(); ++y)
        for (int x = 0; x < pBackground->GetWidth(); ++x)
            pBackground->SetPixelColor(x, y, RGB(x & 0xF8, y & 0xF8, (x ^ y) & 0xF8));
    return 1;
}

// A screen, the framework and one animated window of the game's size.
struct Stage {
    bool fOk = false;
    HWND hwnd = nullptr;
    AnimWindow* pWindow = nullptr;

    Stage() {
        host::ScreenOptions options;
        options.backend = host::ScreenBackendKind::kHeadless;
        options.nDepth = 16;
        if (!host::InitScreen(options)) return;
        if (AnimStartup(nullptr, 0) != 1) return;
        InitMilliseconds();
        hwnd =
            host::CreateWindowEx(0, ANIMWINDOW_CLASS, TEXT(""), host::WS_POPUP | host::WS_VISIBLE,
                                 0, 0, kWidth, kHeight, nullptr, nullptr, nullptr, nullptr);
        pWindow = AnimWindow::FromHandle(hwnd);
        if (pWindow == nullptr) return;
        pWindow->SetCallback(&TexturedBackground);
        pWindow->Repaint();
        fOk = true;
    }
    ~Stage() {
        if (hwnd != nullptr) host::DestroyWindow(hwnd);
        AnimShutdown();
        host::ShutdownScreen();
    }
};

Graphic* MakeBall() {
    Graphic* pBall = MemNew(Graphic, kObjectSize, kObjectSize, 0);
    for (int y = 0; y < kObjectSize; ++y) {
        for (int x = 0; x < kObjectSize; ++x) {
            int dx = 2 * x + 1 - kObjectSize, dy = 2 * y + 1 - kObjectSize;
            bool fInside = dx * dx + dy * dy <= kObjectSize * kObjectSize;
            pBall->SetPixelColor(x, y, fInside ? RGB(200, 40 + 8 * (y / 2), 40) : kKey);
        }
    }
    pBall->SetTransparency(kKey);
    return pBall;
}

void FrameWith30MovingObjects(benchmark::State& state) {
    Stage stage;
    if (!stage.fOk) {
        state.SkipWithError("the animated window does not start");
        return;
    }
    Graphic* pBall = MakeBall();
    std::vector<AnimObject*> objects;
    for (int i = 0; i < kObjects; ++i)
        objects.push_back(MemNew(AnimObject, stage.pWindow, pBall, 10 + i % 3));

    // Each object circles its own centre; one timeline frame per benchmark frame.
    auto schedule = [&](LONG iFrame) {
        for (int i = 0; i < kObjects; ++i) {
            double dAngle = (iFrame * 3 + i * 17) * 0.05;
            int x = 20 + (i % 6) * 36 + static_cast<int>(12 * std::cos(dAngle));
            int y = 20 + (i / 6) * 52 + static_cast<int>(12 * std::sin(dAngle));
            RECT rc = {x, y, x + kObjectSize, y + kObjectSize};
            stage.pWindow->ScheduleObject(iFrame, objects[i], nullptr, &rc);
        }
    };
    const AnimWindow::PaintCounters before = stage.pWindow->GetPaintCounters();
    for (auto _ : state) {
        LONG iFrame = stage.pWindow->GetFrameCounter();
        schedule(iFrame);
        stage.pWindow->Step();
        host::PresentScreen();
    }
    const AnimWindow::PaintCounters& after = stage.pWindow->GetPaintCounters();
    double cFrames = static_cast<double>(state.iterations());
    state.counters["frame_px"] =
        static_cast<double>(after.cFramePixels - before.cFramePixels) / cFrames;
    state.counters["screen_px"] =
        static_cast<double>(after.cScreenPixels - before.cScreenPixels) / cFrames;
    host::DestroyWindow(stage.hwnd); // the objects go with the window
    stage.hwnd = nullptr;
    MemDelete(pBall);
}
BENCHMARK(FrameWith30MovingObjects)->Unit(benchmark::kMicrosecond);

void IdleWindowAt30Fps(benchmark::State& state) {
    Stage stage;
    if (!stage.fOk) {
        state.SkipWithError("the animated window does not start");
        return;
    }
    stage.pWindow->SetFrameRate(30);
    double dCpu = 0, dWall = 0;
    LONG cFrames = 0;
    for (auto _ : state) {
        LONG iStart = stage.pWindow->GetFrameCounter();
        double dCpuStart = ProcessCpuSeconds(), dWallStart = WallSeconds();
        stage.pWindow->Play(300); // 10 seconds at 33 ms
        dCpu += ProcessCpuSeconds() - dCpuStart;
        dWall += WallSeconds() - dWallStart;
        cFrames += stage.pWindow->GetFrameCounter() - iStart;
    }
    state.counters["cpu_percent"] = 100 * dCpu / dWall;
    state.counters["wall_s"] = dWall;
    state.counters["frames"] = cFrames;
    state.counters["measured_fps"] = stage.pWindow->GetMeasuredRate();
}
BENCHMARK(IdleWindowAt30Fps)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
