// The computer opponent's speed: move lists per second, and whole decisions at levels 1 to 3
// from the Classic start and from the fixed midgame positions, for the engine the game uses
// and for the plain search that carries a board per candidate (the yardstick it must beat
// by at least two times on every position, with the same choices).
//
// The program itself, headless at 16 bits with a private registry folder: the drawing cost of
// a frame while pieces glide, fall and cascade in a demo game (goal under 1 ms), the share of
// a core the board costs while it waits at 30 frames per second (goal under 2 %), and the
// start-up of a fresh process to its first painted frame (goal under 150 ms).
#include "anim/cea_main.h"
#include "anim/cea_sound.h"
#include "anim/cea_window.h"
#include "bench/bench_process.h"
#include "game/positions.h"
#include "game/search.h"
#include "gameui/kelvano.h"
#include "gameui/logo.h"
#include "host/audio.h"
#include "host/registry.h"
#include "host/screen.h"
#include "host/window.h"

#include <benchmark/benchmark.h>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

extern char** environ;

namespace {

const BENCHPOSITION& Position(int i) {
    static std::vector<BENCHPOSITION> positions = [] {
        std::vector<BENCHPOSITION> all(cBenchPositions);
        for (int j = 0; j < cBenchPositions; j++)
            GetBenchPosition(j, &all[static_cast<std::size_t>(j)]);
        return all;
    }();
    return positions[static_cast<std::size_t>(i)];
}

// The Classic start and every midgame of the set.
std::vector<int> DecisionPositions() {
    std::vector<int> indices;
    for (int i = 0; i < cBenchPositions; i++) {
        const BENCHPOSITION& p = Position(i);
        if ((p.iLayout == LAYOUT_CLASSIC && !p.fModern && p.cPlies == 0) || p.cPlies > 0)
            indices.push_back(i);
    }
    return indices;
}

std::string Label(int i) {
    const BENCHPOSITION& p = Position(i);
    return "layout " + std::to_string(p.iLayout) + (p.fModern ? " modern" : " classic") +
           " plies " + std::to_string(p.cPlies);
}

void BM_ListMoves(benchmark::State& state) {
    const BENCHPOSITION& p = Position(static_cast<int>(state.range(0)));
    ACTIONLIST list{};
    for (auto _ : state) {
        ListMoves(&list, p.board, p.nSide, p.fModern);
        benchmark::DoNotOptimize(list.cAction);
    }
    state.SetItemsProcessed(state.iterations());
    state.SetLabel(Label(static_cast<int>(state.range(0))) + ", " + std::to_string(list.cAction) +
                   " moves");
    FreeActionList(&list);
}

void BM_EngineListMoves(benchmark::State& state) {
    const BENCHPOSITION& p = Position(static_cast<int>(state.range(0)));
    SearchEngine engine;
    for (auto _ : state) {
        engine.Prepare(p.board, p.nSide, 1, p.fModern);
        benchmark::DoNotOptimize(engine.RootCount());
    }
    state.SetItemsProcessed(state.iterations());
    state.SetLabel(Label(static_cast<int>(state.range(0))));
}

void BM_Decide(benchmark::State& state) {
    const BENCHPOSITION& p = Position(static_cast<int>(state.range(0)));
    const int nLevel = static_cast<int>(state.range(1));
    SearchEngine engine;
    DECISION decision{};
    for (auto _ : state)
        engine.Decide(p.board, p.nSide, nLevel, p.fModern, &decision);
    state.counters["nodes"] = static_cast<double>(decision.cNodes);
    state.counters["nodes_per_s"] = benchmark::Counter(static_cast<double>(decision.cNodes) *
                                                           static_cast<double>(state.iterations()),
                                                       benchmark::Counter::kIsRate);
    state.SetLabel(Label(static_cast<int>(state.range(0))));
}

void BM_DecidePlain(benchmark::State& state) {
    const BENCHPOSITION& p = Position(static_cast<int>(state.range(0)));
    const int nLevel = static_cast<int>(state.range(1));
    REFERENCESEARCH reference{};
    DECISION decision{};
    for (auto _ : state)
        ReferenceDecide(&reference, p.board, p.nSide, nLevel, p.fModern, &decision);
    state.counters["nodes"] = static_cast<double>(decision.cNodes);
    state.counters["nodes_per_s"] = benchmark::Counter(static_cast<double>(decision.cNodes) *
                                                           static_cast<double>(state.iterations()),
                                                       benchmark::Counter::kIsRate);
    state.SetLabel(Label(static_cast<int>(state.range(0))));
    FreeReferenceSearch(&reference);
}

// The whole bench set at one level, as the engine tool's bench command runs it.
void BM_DecideBenchSet(benchmark::State& state) {
    const int nLevel = static_cast<int>(state.range(0));
    SearchEngine engine;
    std::uint64_t cNodes = 0;
    for (auto _ : state) {
        cNodes = 0;
        for (int i = 0; i < cBenchPositions; i++) {
            const BENCHPOSITION& p = Position(i);
            DECISION decision{};
            engine.Decide(p.board, p.nSide, nLevel, p.fModern, &decision);
            cNodes += decision.cNodes;
        }
    }
    state.counters["nodes_per_s"] =
        benchmark::Counter(static_cast<double>(cNodes) * static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate);
}

void ListArgs(benchmark::internal::Benchmark* pBench) {
    for (int i : DecisionPositions())
        if (Position(i).iLayout == LAYOUT_CLASSIC) pBench->Arg(i);
}

void DecisionArgs(benchmark::internal::Benchmark* pBench) {
    for (int nLevel = 1; nLevel <= 3; nLevel++)
        for (int i : DecisionPositions())
            pBench->Args({i, nLevel});
    pBench->ArgNames({"position", "level"})->MinTime(0.05);
}

// ---- The program

double Seconds(clockid_t clock) {
    timespec ts;
    clock_gettime(clock, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}
double ProcessCpuSeconds() {
    return Seconds(CLOCK_PROCESS_CPUTIME_ID);
}
double ThreadCpuSeconds() {
    return Seconds(CLOCK_THREAD_CPUTIME_ID);
}
// The monotonic clock is shared by every process: a child's readings compare with ours.
double WallSeconds() {
    return Seconds(CLOCK_MONOTONIC);
}

// The figures against the goals, printed after the runs.
struct GOALS {
    double msStartFirst = -1, msStartLater = -1; // StartKelvano to the first logo frame
    double msSpawnFirst = -1, msSpawnLater = -1; // the same from the spawn of the process
    double dIdlePercent = -1;                    // sound on
    double usDrawMean = -1, usDrawMax = -1, usDrawCpuMax = -1;
    long cOver1ms = 0;
};
GOALS s_goals;

// A registry folder of the benchmark's own, removed afterwards: the player's settings and
// saved game are never read or written.
struct PrivateFolder {
    std::filesystem::path path;
    PrivateFolder() {
        char szTemplate[] = "/tmp/kelvano-bench-XXXXXX";
        if (mkdtemp(szTemplate) != nullptr) path = szTemplate;
    }
    ~PrivateFolder() {
        std::error_code ec;
        if (!path.empty()) std::filesystem::remove_all(path, ec);
    }
};

// The game started in this process on the headless screen.
struct Program {
    PrivateFolder folder;
    bool fOk = false;
    host::HWND hwnd = nullptr;

    explicit Program(const KELVANORUN& run) {
        if (folder.path.empty()) return;
        host::RegSetStorageFolder(folder.path.string());
        host::ScreenOptions options;
        options.backend = host::ScreenBackendKind::kHeadless;
        if (!host::InitScreen(options)) return;
        hwnd = StartKelvano(nullptr, run);
        fOk = hwnd != nullptr && KelvanoAnimWindow() != nullptr;
    }
    ~Program() {
        if (hwnd != nullptr && host::IsWindow(hwnd)) host::DestroyWindow(hwnd);
        AnimShutdown();
        host::ShutdownScreen();
        host::RegSetStorageFolder("");
    }
};

// Frames of a demo game (the computer on both sides at the lowest strength) while the
// schedule still has movement ahead: glides, pushes with their staggered cascades, falls,
// breaks. Timed is the drawing of the frame: the objects' updates, the composition and the
// copy to the screen. The timeline's events of the frame (the end of a move with its saved
// game among them) run before the clock starts, and the waits between frames, during which
// the computer thinks, are not timed either. The maximum is also given in the thread's
// processor time, which a busy machine's preemption does not inflate.
void BM_FrameWhilePiecesMove(benchmark::State& state) {
    KELVANORUN run;
    run.fSingleInstance = false;
    run.fDemo = true;
    run.iDemoLayout = static_cast<int>(state.range(0));
    run.nDemoLevel = 1;
    host::SelectAudioBackend(host::AudioBackend::kNull); // sound on, as a player has it
    Program program(run);
    if (!program.fOk) {
        state.SkipWithError("the game does not start");
        return;
    }
    AnimWindow* pWindow = KelvanoAnimWindow();
    const AnimWindow::PaintCounters before = pWindow->GetPaintCounters();
    long cMoving = 0, cOver = 0;
    double dMax = 0, dCpuMax = 0, dTotal = 0, dFrameMax = 0;
    std::uint64_t cSlowestPixels = 0; // drawn by the frame of the most processor time
    for (auto _ : state) {
        // Real frames (messages and the computer's moves included) until something moves.
        while (pWindow->GetEndFrame() <= pWindow->GetFrameCounter())
            if (!RunKelvano(1)) {
                state.SkipWithError("the main window closed");
                return;
            }
        const double dFrameStart = WallSeconds();
        pWindow->BeginUpdate(); // holds the frame's redraw until the clock runs
        pWindow->Step();
        const double dStart = WallSeconds(), dCpuStart = ThreadCpuSeconds();
        const std::uint64_t cPixelsBefore = pWindow->GetPaintCounters().cFramePixels;
        pWindow->EndUpdate();
        host::PresentScreen();
        const double dEnd = WallSeconds(), dTime = dEnd - dStart;
        const double dCpu = ThreadCpuSeconds() - dCpuStart;
        state.SetIterationTime(dTime);
        dTotal += dTime;
        dMax = std::max(dMax, dTime);
        if (dCpu > dCpuMax) {
            dCpuMax = dCpu;
            cSlowestPixels = pWindow->GetPaintCounters().cFramePixels - cPixelsBefore;
        }
        dFrameMax = std::max(dFrameMax, dEnd - dFrameStart);
        if (dCpu > 1e-3) ++cOver;
        ++cMoving;
    }
    const AnimWindow::PaintCounters& after = pWindow->GetPaintCounters();
    state.counters["frame_px"] = static_cast<double>(after.cFramePixels - before.cFramePixels) /
                                 static_cast<double>(cMoving);
    state.counters["max_us"] = dMax * 1e6;
    state.counters["max_cpu_us"] = dCpuMax * 1e6;
    state.counters["max_cpu_px"] = static_cast<double>(cSlowestPixels);
    state.counters["max_with_events_us"] = dFrameMax * 1e6;
    state.counters["cpu_over_1ms"] = static_cast<double>(cOver);
    state.SetLabel("demo, layout " + std::to_string(run.iDemoLayout));
    s_goals.usDrawMean = std::max(s_goals.usDrawMean, dTotal / static_cast<double>(cMoving) * 1e6);
    s_goals.usDrawMax = std::max(s_goals.usDrawMax, dMax * 1e6);
    s_goals.usDrawCpuMax = std::max(s_goals.usDrawCpuMax, dCpuMax * 1e6);
    s_goals.cOver1ms += cOver;
}
BENCHMARK(BM_FrameWhilePiecesMove)
    ->Arg(0)
    ->Arg(4)
    ->Iterations(600)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

// A fresh start (a person to move as Blue) waits on the board at 30 frames per second, its
// ripples included, for 5 seconds of the real clock: the process's processor time over
// that span, as a share of one core. Argument 0: no sound device; 1: sound on, the mixer
// streaming silence into the null device at the real pace (the logo opened it).
void BM_IdleBoardAt30Fps(benchmark::State& state) {
    const bool fSound = state.range(0) != 0;
    host::SelectAudioBackend(fSound ? host::AudioBackend::kNull : host::AudioBackend::kNone);
    Program program(KELVANORUN{.fSingleInstance = false, .fFirstStartTutorial = false});
    if (!program.fOk) {
        state.SkipWithError("the game does not start");
        return;
    }
    AnimWindow* pWindow = KelvanoAnimWindow();
    RunKelvano(30); // settle: the first frames paint everything
    double dCpu = 0, dWall = 0;
    long cFrames = 0;
    for (auto _ : state) {
        const long iStart = pWindow->GetFrameCounter();
        const double dCpuStart = ProcessCpuSeconds(), dWallStart = WallSeconds();
        RunKelvano(150);
        dCpu += ProcessCpuSeconds() - dCpuStart;
        dWall += WallSeconds() - dWallStart;
        cFrames += pWindow->GetFrameCounter() - iStart;
    }
    state.counters["cpu_percent"] = 100 * dCpu / dWall;
    state.counters["frames"] = static_cast<double>(cFrames);
    state.counters["measured_fps"] = pWindow->GetMeasuredRate();
    state.counters["device_open"] = sound_mixer::IsDeviceOpen() ? 1 : 0;
    state.SetLabel(fSound ? "sound on (null device)" : "no sound device");
    if (fSound) s_goals.dIdlePercent = 100 * dCpu / dWall;
}
BENCHMARK(BM_IdleBoardAt30Fps)
    ->Arg(0)
    ->Arg(1)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// ---- Start-up, in a process of its own each time

constexpr char kszProbe[] = "--start-probe";

// The probe: this program started again as the game would be (the device screen headless,
// sound on into the null device), stopped at the first logo frame. It writes the monotonic
// clock at its main, at StartKelvano and at that frame, and ends on the spot. The frame is
// seen from the wait after it (within a millisecond): the window has played a logo frame
// and drawn it.
[[noreturn]] void RunStartProbe(double dMain) {
    static double s_dMain = dMain, s_dStart = 0;
    host::ScreenOptions defaults;
    defaults.profile = host::ScreenProfile::kDevice;
    if (!host::InitScreen(host::ScreenOptionsFromEnvironment(defaults))) std::_Exit(1);
    host::SetMessageWaitPump(
        [] {
            AnimWindow* pWindow = KelvanoAnimWindow();
            if (!IsLogoRunning() || pWindow == nullptr || pWindow->GetFrameCounter() < 1) return;
            const double dFrame = WallSeconds();
            std::printf("%.6f %.6f %.6f\n", s_dMain, s_dStart, dFrame);
            std::fflush(stdout);
            std::_Exit(0);
        },
        1);
    s_dStart = WallSeconds();
    StartKelvano(nullptr, KELVANORUN{.fSingleInstance = true, .fFirstStartTutorial = false});
    std::_Exit(2); // the logo ended without a frame seen
}

struct PROBETIMES {
    double dSpawn, dMain, dStart, dFrame;
};

// Runs the probe once; false when it saw no logo frame.
bool RunProbe(const std::vector<char*>& envp, PROBETIMES* pTimes) {
    static std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    std::string probe = kszProbe;
    char* argv[] = {self.data(), probe.data(), nullptr};
    std::string out;
    return bench::RunToEnd(argv, envp.data(), &out, [&] { pTimes->dSpawn = WallSeconds(); }) &&
           std::sscanf(out.c_str(), "%lf %lf %lf", &pTimes->dMain, &pTimes->dStart,
                       &pTimes->dFrame) == 3;
}

// From the spawn to the first logo frame. Argument 0: a first start (an empty registry
// folder: the defaults are written); 1: a later start (the settings are there). The manual
// time runs from the spawn; "from_start_ms" from the call of StartKelvano, "from_main_ms"
// from the process's main.
void BM_StartToFirstFrame(benchmark::State& state) {
    const bool fFirst = state.range(0) == 0;
    // The registry and the single-instance locks of the probe's own: a game running on this
    // machine is neither found nor disturbed.
    PrivateFolder folder;
    const std::filesystem::path registryDir = folder.path / "registry";
    std::vector<std::string> env = {"KELVANO_BACKEND=headless", "KELVANO_AUDIO=null",
                                    "KELVANO_REGISTRY_DIR=" + registryDir.string(),
                                    "KELVANO_RUNTIME_DIR=" + (folder.path / "runtime").string()};
    for (char** pp = environ; *pp != nullptr; ++pp) {
        const std::string entry = *pp;
        if (entry.rfind("KELVANO_", 0) != 0) env.push_back(entry);
    }
    std::vector<char*> envp;
    for (std::string& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    PROBETIMES times{};
    if (!fFirst && !RunProbe(envp, &times)) { // the first start that writes the settings
        state.SkipWithError("the start-up probe saw no logo frame");
        return;
    }
    double dFromStart = 0, dFromMain = 0, dFromSpawn = 0;
    for (auto _ : state) {
        std::error_code ec;
        if (fFirst) std::filesystem::remove_all(registryDir, ec);
        if (!RunProbe(envp, &times)) {
            state.SkipWithError("the start-up probe saw no logo frame");
            return;
        }
        if (!std::filesystem::exists(registryDir / "hkcu.reg")) {
            state.SkipWithError("the start-up wrote no settings");
            return;
        }
        state.SetIterationTime(times.dFrame - times.dSpawn);
        dFromSpawn += times.dFrame - times.dSpawn;
        dFromStart += times.dFrame - times.dStart;
        dFromMain += times.dFrame - times.dMain;
    }
    const double cRuns = static_cast<double>(state.iterations());
    state.counters["from_start_ms"] = dFromStart / cRuns * 1e3;
    state.counters["from_main_ms"] = dFromMain / cRuns * 1e3;
    state.SetLabel(fFirst ? "first start" : "later start");
    (fFirst ? s_goals.msStartFirst : s_goals.msStartLater) = dFromStart / cRuns * 1e3;
    (fFirst ? s_goals.msSpawnFirst : s_goals.msSpawnLater) = dFromSpawn / cRuns * 1e3;
}
BENCHMARK(BM_StartToFirstFrame)
    ->Arg(0)
    ->Arg(1)
    ->Iterations(20)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK(BM_ListMoves)->Apply(ListArgs);
BENCHMARK(BM_EngineListMoves)->Apply(ListArgs);
BENCHMARK(BM_Decide)->Apply(DecisionArgs);
BENCHMARK(BM_DecidePlain)->Apply(DecisionArgs);
BENCHMARK(BM_DecideBenchSet)->Arg(1)->Arg(2)->Arg(3)->Unit(benchmark::kMicrosecond);

namespace {

void PrintGoal(const char* pszWhat, double dValue, const char* pszUnit, double dGoal) {
    if (dValue < 0) return; // not run
    std::printf("  %-52s %8.2f %-3s (goal < %g: %s)\n", pszWhat, dValue, pszUnit, dGoal,
                dValue < dGoal ? "met" : "MISSED");
}

} // namespace

int main(int argc, char** argv) {
    const double dMain = WallSeconds();
    if (argc == 2 && std::string(argv[1]) == kszProbe) RunStartProbe(dMain);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    std::printf("\nThe program against its goals:\n");
    PrintGoal("StartKelvano to the first logo frame, first start", s_goals.msStartFirst, "ms", 150);
    PrintGoal("StartKelvano to the first logo frame, later start", s_goals.msStartLater, "ms", 150);
    PrintGoal("spawn to the first logo frame, first start", s_goals.msSpawnFirst, "ms", 150);
    PrintGoal("spawn to the first logo frame, later start", s_goals.msSpawnLater, "ms", 150);
    PrintGoal("idle on the board at 30 fps, sound on", s_goals.dIdlePercent, "%", 2);
    PrintGoal("drawing a frame while pieces move, mean", s_goals.usDrawMean, "us", 1000);
    PrintGoal("drawing a frame while pieces move, longest", s_goals.usDrawMax, "us", 1000);
    PrintGoal("the same in the thread's processor time", s_goals.usDrawCpuMax, "us", 1000);
    if (s_goals.usDrawMean >= 0)
        std::printf("  frames over 1 ms of processor time: %ld\n", s_goals.cOver1ms);
    benchmark::Shutdown();
    return 0;
}
