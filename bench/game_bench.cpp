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
#include "game/positions.h"
#include "game/search.h"
#include "gameui/kelvano.h"
#include "host/audio.h"
#include "host/registry.h"
#include "host/screen.h"
#include "host/window.h"

#include <benchmark/benchmark.h>

#include <spawn.h>
#include <sys/wait.h>

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

double ProcessCpuSeconds() {
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

double WallSeconds() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

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
// breaks. Only the frame's work is timed (timeline, composition, copy to the screen); the
// waits between frames, during which the computer thinks, are not.
void BM_FrameWhilePiecesMove(benchmark::State& state) {
    KELVANORUN run;
    run.fSingleInstance = false;
    run.fDemo = true;
    run.iDemoLayout = static_cast<int>(state.range(0));
    run.nDemoLevel = 1;
    Program program(run);
    if (!program.fOk) {
        state.SkipWithError("the game does not start");
        return;
    }
    AnimWindow* pWindow = KelvanoAnimWindow();
    const AnimWindow::PaintCounters before = pWindow->GetPaintCounters();
    long cMoving = 0;
    for (auto _ : state) {
        // Real frames (messages and the computer's moves included) until something moves.
        while (pWindow->GetEndFrame() <= pWindow->GetFrameCounter())
            if (!RunKelvano(1)) {
                state.SkipWithError("the main window closed");
                return;
            }
        const double dStart = WallSeconds();
        pWindow->Step();
        host::PresentScreen();
        state.SetIterationTime(WallSeconds() - dStart);
        ++cMoving;
    }
    const AnimWindow::PaintCounters& after = pWindow->GetPaintCounters();
    state.counters["frame_px"] = static_cast<double>(after.cFramePixels - before.cFramePixels) /
                                 static_cast<double>(cMoving);
    state.SetLabel("demo, layout " + std::to_string(run.iDemoLayout));
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
    Program program(KELVANORUN{.fSingleInstance = false});
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
}
BENCHMARK(BM_IdleBoardAt30Fps)
    ->Arg(0)
    ->Arg(1)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

#ifdef KELVANO_PROGRAM
// The program as a new process, headless, with a fresh registry folder (a first start):
// from the spawn to the exit after its first painted frame. The exit and its shutdown are
// inside the time, so the start-up alone is somewhat less.
void BM_StartToFirstFrame(benchmark::State& state) {
    PrivateFolder folder;
    const std::string registry = "KELVANO_REGISTRY_DIR=" + folder.path.string();
    std::vector<std::string> env = {"KELVANO_BACKEND=headless", registry};
    for (char** pp = environ; *pp != nullptr; ++pp) {
        const std::string entry = *pp;
        if (entry.rfind("KELVANO_", 0) != 0) env.push_back(entry);
    }
    std::vector<char*> envp;
    for (std::string& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string program = KELVANO_PROGRAM, frames = "--frames", one = "1";
    char* argv[] = {program.data(), frames.data(), one.data(), nullptr};
    for (auto _ : state) {
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator(folder.path, ec))
            std::filesystem::remove_all(entry.path(), ec);
        const double dStart = WallSeconds();
        pid_t pid = 0;
        int nStatus = 0;
        if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv, envp.data()) != 0 ||
            waitpid(pid, &nStatus, 0) != pid || !WIFEXITED(nStatus) || WEXITSTATUS(nStatus) != 0) {
            state.SkipWithError("kelvano --frames 1 failed");
            return;
        }
        state.SetIterationTime(WallSeconds() - dStart);
    }
}
BENCHMARK(BM_StartToFirstFrame)->Iterations(10)->UseManualTime()->Unit(benchmark::kMillisecond);
#endif

} // namespace

BENCHMARK(BM_ListMoves)->Apply(ListArgs);
BENCHMARK(BM_EngineListMoves)->Apply(ListArgs);
BENCHMARK(BM_Decide)->Apply(DecisionArgs);
BENCHMARK(BM_DecidePlain)->Apply(DecisionArgs);
BENCHMARK(BM_DecideBenchSet)->Arg(1)->Arg(2)->Arg(3)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
