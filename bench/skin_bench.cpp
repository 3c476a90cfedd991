// The installer's skin DEZ: loading the whole package from memory (goal under 30 ms), the
// property lookups a skinned window makes with its name as prefix (goal under 1 µs), and a
// window's shape from its corners and edges (goal under 1 ms).
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
#include "anim/cea_display.h"
#include "host/screen.h"
#include "skin/skin.h"
#include "skin/skin_frame.h"

#include <benchmark/benchmark.h>

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

} // namespace

int main(int argc, char** argv) {
    host::ScreenOptions options;
    options.backend = host::ScreenBackendKind::kHeadless;
    options.profile = host::ScreenProfile::kDesktop;
    if (!host::InitScreen(options) || CreateDisplay(false) == nullptr) return 1;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    DestroyDisplay();
    host::ShutdownScreen();
    return 0;
}
