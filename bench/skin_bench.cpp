// The installer's skin DEZ: loading the whole package from memory (goal under 30 ms), the
// property lookups a skinned window makes with its name as prefix (goal under 1 µs), a
// window's shape from its corners and edges (goal under 1 ms), an idle skinned window at 10
// frames per second (goal under 1 % of a core), a panel swap (goal under 20 ms) and the
// installer's failure text laid out in a 300-pixel-wide static text (goal under 1 ms).
//
// Results (RelWithDebInfo, headless 32-bit desktop screen, 2 cores shared with other builds;
// CPU time per iteration):
//   BM_LoadDezFromMemory      0.29 ms  (20 files, 19 pictures into one palette group)
//   BM_WindowPrefixedLookup   0.21 us  (1.2 us while every lookup searched the skip list,
//                                       whose 0.79 promotion makes a search some 17
//                                       comparisons of case-folded text)
//   BM_PictureLookup          0.84 us  (four file names built and searched at worst)
//   BM_DezRegionFirstCall     84 us    (400 x 300, on a skin loaded just before)
//   BM_DezRegionRepeated      63 us    (some 1,300 one-pixel-high rectangles, one record)
//   BM_IdleWindowCpuShare     0.3 to 0.6 % of a core over 3 s wall (10.0 frames a second;
//                             nothing animates, so a frame redraws nothing)
//   BM_PanelSwap/0            0.012 ms (redraw off: nothing composed); first 0.015 ms
//   BM_PanelSwap/1            3.0 to 7.5 ms wall, 2.8 to 4.7 ms CPU (the whole window composed
//                             and presented); first swap on a fresh window 2.7 to 8.9 ms
//   BM_MarkupFailureText      4.3 us CPU, 8.5 us wall (Release build; 137 pixels high with its
//                             four gaps, fonts made); the first layout on a fresh skin, making
//                             its two fonts and their glyphs, 330 to 350 us
#include "anim/cea_display.h"
#include "anim/cea_main.h"
#include "host/screen.h"
#include "skin/skin.h"
#include "skin/skin_draw.h"
#include "skin/skin_frame.h"
#include "skin/skin_window.h"
#include "skin/skin_window_fixture.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <ctime>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

std::vector<char> ReadDez() {
    std::ifstream in(KELVANO_SKINART_DIR "/dez.zip", std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(in), {});
}

void BM_LoadDezFromMemory(benchmark::State& state) {
    std::vector<char> bytes = ReadDez();
    if (bytes.empty()) {
        state.SkipWithError("dez.zip is missing");
        return;
    }
    for (auto _ : state) {
        SKIN skin(bytes.data(), bytes.size());
        benchmark::DoNotOptimize(skin.FileCount());
    }
}
BENCHMARK(BM_LoadDezFromMemory)->Unit(benchmark::kMillisecond);

// A window-prefixed key that the skin lacks, so all four steps run, and one it holds.
void BM_WindowPrefixedLookup(benchmark::State& state) {
    std::vector<char> bytes = ReadDez();
    if (bytes.empty()) {
        state.SkipWithError("dez.zip is missing");
        return;
    }
    SKIN skin(bytes.data(), bytes.size());
    skin.SetProperty("KelvanoSetup frame border", "20");
    PROPERTIES control;
    control.SetText("edit font", "Tahoma,9");
    const cetl::istring strKeys[] = {"frame border", "edit selected text color"};
    const cetl::string strWindow("KelvanoSetup");
    std::size_t i = 0;
    for (auto _ : state) {
        const PROPERTIESVALUE& value = skin.Lookup(strKeys[i++ & 1], &control, strWindow);
        benchmark::DoNotOptimize(&value);
    }
}
BENCHMARK(BM_WindowPrefixedLookup)->Unit(benchmark::kNanosecond);

void BM_PictureLookup(benchmark::State& state) {
    std::vector<char> bytes = ReadDez();
    if (bytes.empty()) {
        state.SkipWithError("dez.zip is missing");
        return;
    }
    SKIN skin(bytes.data(), bytes.size());
    const cetl::string strName("pbutton"), strWindow("KelvanoSetup");
    for (auto _ : state)
        benchmark::DoNotOptimize(skin.Graphics(strName, CT_PBUTTON, strWindow));
}
BENCHMARK(BM_PictureLookup)->Unit(benchmark::kNanosecond);

// The shape of a 400 x 300 window from DEZ's corners and edges. The first call on a freshly
// loaded skin also builds the pictures' opaque runs; later calls find them ready.
void BM_DezRegionFirstCall(benchmark::State& state) {
    std::vector<char> bytes = ReadDez();
    if (bytes.empty()) {
        state.SkipWithError("dez.zip is missing");
        return;
    }
    for (auto _ : state) {
        state.PauseTiming();
        auto* pSkin = new SKIN(bytes.data(), bytes.size());
        auto* pFrame = new SKINFRAME(pSkin, "KelvanoSetup");
        state.ResumeTiming();
        host::HRGN hrgn = pFrame->Region(400, 300);
        state.PauseTiming();
        host::DeleteObject(hrgn);
        delete pFrame;
        delete pSkin;
        state.ResumeTiming();
    }
}
BENCHMARK(BM_DezRegionFirstCall)->Unit(benchmark::kMicrosecond);

void BM_DezRegionRepeated(benchmark::State& state) {
    std::vector<char> bytes = ReadDez();
    if (bytes.empty()) {
        state.SkipWithError("dez.zip is missing");
        return;
    }
    SKIN skin(bytes.data(), bytes.size());
    SKINFRAME frame(&skin, "KelvanoSetup");
    for (auto _ : state) {
        host::HRGN hrgn = frame.Region(400, 300);
        benchmark::DoNotOptimize(hrgn);
        host::DeleteObject(hrgn);
    }
}
BENCHMARK(BM_DezRegionRepeated)->Unit(benchmark::kMicrosecond);

// ---- The skinned window, with the templates of the skin tests (910: every kind, 911: a panel)

double CpuSeconds() {
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + ts.tv_nsec / 1e9;
}

INT_PTR QuietProc(HWND, UINT, WPARAM, LPARAM) {
    return 0;
}

using skintest::PumpAll;

// DEZ's window with every kind shown and idle, its timeline playing 30 frames at DEZ's 10 frames
// per second (the loop handles messages while it waits): the CPU time per wall second, as a
// share of one core.
void BM_IdleWindowCpuShare(benchmark::State& state) {
    SKIN skin(KELVANO_SKINART_DIR "/dez.zip");
    SkinWindow window(&skin, "KelvanoSetup", QuietProc, nullptr, 910, 0, nullptr);
    host::ShowWindow(window.Handle(), host::SW_SHOW);
    PumpAll();
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const double dCpu0 = CpuSeconds();
        const LONG iFrame0 = window.Anim()->GetFrameCounter();
        window.Anim()->Play(30);
        const double dWall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.counters["cpu_percent"] = 100.0 * (CpuSeconds() - dCpu0) / dWall;
        state.counters["frames_per_s"] = (window.Anim()->GetFrameCounter() - iFrame0) / dWall;
    }
}
BENCHMARK(BM_IdleWindowCpuShare)->Iterations(1)->Unit(benchmark::kSecond);

// Removing a panel and adding another, as the installer's pages do, with redrawing off
// (argument 0) or on (1). The first swap on a fresh window is reported apart.
void BM_PanelSwap(benchmark::State& state) {
    SKIN skin(KELVANO_SKINART_DIR "/dez.zip");
    SkinWindow window(&skin, "KelvanoSetup", QuietProc, nullptr, 910, 0, nullptr);
    host::ShowWindow(window.Handle(), host::SW_SHOW);
    PumpAll();
    const bool fRedraw = state.range(0) != 0;
    window.SetRedraw(fRedraw);
    SKINWINDOWINSET* pPanel = window.AddInset(QuietProc, 911, 0);
    auto Swap = [&] {
        window.RemoveInset(pPanel);
        pPanel = window.AddInset(QuietProc, 911, 0);
        PumpAll();
    };
    const auto first = std::chrono::steady_clock::now();
    Swap();
    state.counters["first_ms"] =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - first).count();
    for (auto _ : state)
        Swap();
    window.SetRedraw(true);
}
BENCHMARK(BM_PanelSwap)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The installer's failure text laid out (measured, as the message box sizes its text) in a
// 300-pixel-wide static text with the installer's font, its fonts already made by the skin.
// The first layout on a freshly loaded skin, which makes them, is reported apart.
void BM_MarkupFailureText(benchmark::State& state) {
    std::vector<char> bytes = ReadDez();
    if (bytes.empty()) {
        state.SkipWithError("dez.zip is missing");
        return;
    }
    SKIN skin(bytes.data(), bytes.size());
    skin.SetProperty("Font", "MS Shell Dlg,10");
    const SKINCONTROLSETTINGS settings = skin.ControlSettings(CT_TEXT, nullptr, "");
    const cetl::string strText(
        "<b>An error was encountered while installing Kelvano.</b>\n\n\n"
        "The file kelvano.exe could not be written to the folder C:\\Program Files\\Kelvano: "
        "there is not enough space on the disk.\n\n\nFor assistance, please contact "
        "<a href=\"mailto:support@example.com\">support@example.com</a>");
    SKINDRAWCONTEXT ctx;
    ctx.pSkin = &skin;
    const RECT rc = {0, 0, 300, 600};
    const auto first = std::chrono::steady_clock::now();
    int cy = SkinDrawText(ctx, strText, rc, settings, true, SKINTEXT_WRAP | SKINTEXT_MEASURE);
    state.counters["first_us"] =
        std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - first).count();
    state.counters["height"] = cy;
    for (auto _ : state) {
        cy = SkinDrawText(ctx, strText, rc, settings, true, SKINTEXT_WRAP | SKINTEXT_MEASURE);
        benchmark::DoNotOptimize(cy);
    }
}
BENCHMARK(BM_MarkupFailureText)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    host::ScreenOptions options;
    options.backend = host::ScreenBackendKind::kHeadless;
    options.profile = host::ScreenProfile::kDesktop;
    if (!host::InitScreen(options) || AnimStartup(nullptr, 0) != 1 ||
        !SkinWindow::Register(nullptr, nullptr))
        return 1;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    AnimShutdown();
    host::ShutdownScreen();
    return 0;
}
