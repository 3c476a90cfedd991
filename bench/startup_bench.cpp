// Both programs started as a user starts them, each run a fresh process with a registry,
// drive and runtime folder never used before, timed from the spawn to the first frame the
// screen presents (the host's start-up trace, KELVANO_TRACE_STARTUP, mark "first-frame"):
//   - the game as the installer carries it (native/kelvano.exe of the payload, unpacked into a
//     fresh folder), goal under 150 ms;
//   - KelvanoSetup, goal under 400 ms, with rapi.dll to be found and no device service, and
//     with a device service running in a private folder; its marks tell the skin, the device
//     probe and the payload's unpacking apart;
//   - KelvanoSetup's window while the welcome panel waits for a choice: the processor time of
//     all its threads over 5 s of wall time after the first frame, goal under 1 % of a core.
// Both run on the SDL backend against an X server of the bench's own (Xvfb on a free
// display), as the installer refuses the headless screen; each program is killed once
// measured. Results and the command to reproduce: bench/BENCHMARKS.md.
#include "device/service.h"

#include "setup/zip/zipfile.h"

#include "bench/bench_process.h"
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

namespace fs = std::filesystem;

constexpr double kdIdleSeconds = 5;
constexpr double kdGiveUpSeconds = 10;

double Now() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

void Sleep(double d) {
    timespec ts{static_cast<time_t>(d),
                static_cast<long>((d - static_cast<double>(static_cast<time_t>(d))) * 1e9)};
    nanosleep(&ts, nullptr);
}

pid_t SpawnProgram(const std::vector<std::string>& args, const std::vector<std::string>& env) {
    std::vector<char*> argv = bench::ExecVector(args), envp = bench::ExecVector(env);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int n = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return n == 0 ? pid : -1;
}

void Kill(pid_t pid) {
    if (pid <= 0) return;
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

// The marks of a trace file, in seconds of the monotonic clock.
std::map<std::string, double> ReadTrace(const fs::path& path) {
    std::map<std::string, double> marks;
    std::ifstream in(path);
    std::string mark;
    long long ns = 0;
    while (in >> mark >> ns)
        marks.emplace(mark, static_cast<double>(ns) / 1e9);
    return marks;
}

// Processor time of every thread of the process so far, in seconds (the scheduler's
// nanosecond count, finer than the clock ticks of /proc/<pid>/stat).
double ProcessCpuSeconds(pid_t pid) {
    double d = 0;
    std::error_code ec;
    for (const fs::directory_entry& e :
         fs::directory_iterator("/proc/" + std::to_string(pid) + "/task", ec)) {
        std::ifstream in(e.path() / "schedstat");
        long long ns = 0;
        if (in >> ns) d += static_cast<double>(ns) / 1e9;
    }
    return d;
}

// User and system time of the whole process so far (threads that ended included), in
// seconds; clock ticks of 10 ms.
double StatCpuSeconds(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(in, line);
    const std::size_t i = line.rfind(')'); // the name may hold spaces
    if (i == std::string::npos) return 0;
    std::istringstream fields(line.substr(i + 2));
    std::string field;
    unsigned long long utime = 0, stime = 0;
    for (int n = 3; n <= 15 && fields >> field; ++n) {
        if (n == 14) utime = std::stoull(field);
        if (n == 15) stime = std::stoull(field);
    }
    return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// An X server of the bench's own, on the first display number it finds free.
struct XServer {
    pid_t pid = -1;
    std::string display;

    XServer() {
        int aPipe[2];
        if (pipe(aPipe) != 0) return;
        const std::string fd = std::to_string(aPipe[1]);
        std::vector<std::string> env;
        for (char** pp = environ; *pp != nullptr; ++pp)
            env.emplace_back(*pp);
        pid = SpawnProgram(
            {"/usr/bin/Xvfb", "-displayfd", fd, "-screen", "0", "1024x768x24", "-nolisten", "tcp"},
            env);
        close(aPipe[1]);
        pollfd p{aPipe[0], POLLIN, 0};
        char ach[32] = {};
        if (pid > 0 && poll(&p, 1, 10000) == 1 && read(aPipe[0], ach, sizeof ach - 1) > 0)
            display = std::string(":") + std::to_string(std::atoi(ach));
        close(aPipe[0]);
    }
    ~XServer() { Kill(pid); }
};

struct Fixture {
    bench::RunRoot runs{"/tmp/kelvano-startup-bench-XXXXXX",
                        {"KELVANO_", "DISPLAY=", "WAYLAND_DISPLAY="}};
    fs::path game; // the payload's game, unpacked
    XServer x;
    bool fOk = false;

    Fixture() {
        zip::ZipFile payload;
        payload.OpenFile(PAYLOAD_ZIP, false);
        const zip::ZipEntry* pEntry = payload.Find("native/kelvano.exe");
        if (pEntry == nullptr || pEntry->Data() == nullptr || x.display.empty()) return;
        game = runs.root / "Kelvano" / "kelvano.exe";
        fs::create_directories(game.parent_path());
        std::ofstream(game, std::ios::binary)
            .write(reinterpret_cast<const char*>(pEntry->Data()),
                   static_cast<std::streamsize>(pEntry->Size()));
        fs::permissions(game, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                  fs::perms::others_read | fs::perms::others_exec);
        fOk = true;
    }

    fs::path NewRun() { return runs.NewRun(); }
    std::vector<std::string> Env(const fs::path& run) const {
        std::vector<std::string> env = runs.Env(run);
        for (const char* psz :
             {"KELVANO_BACKEND=sdl", "KELVANO_AUDIO=null", "KELVANO_LIBRARY_PATH=" RAPI_DIR})
            env.emplace_back(psz);
        env.push_back("DISPLAY=" + x.display);
        env.push_back("KELVANO_TRACE_STARTUP=" + (run / "trace").string());
        env.push_back("KELVANO_DEVICE_DIR=" + (run / "device").string());
        return env;
    }
};

Fixture& TheFixture() {
    static Fixture fixture;
    return fixture;
}

double Median(std::vector<double> v) {
    if (v.empty()) return -1;
    std::sort(v.begin(), v.end());
    const std::size_t i = v.size() / 2;
    return v.size() % 2 ? v[i] : (v[i - 1] + v[i]) / 2;
}

// Per case: each mark's time from the spawn, and the idle share.
struct Samples {
    std::map<std::string, std::vector<double>> marks;
    std::vector<double> cpu; // the process's processor time at its first frame
    std::vector<double> idle;
};
std::map<std::string, Samples> g_samples;
const char* const kaszSetupMarks[] = {"setup-main", "setup-skin", "setup-device-probe",
                                      "setup-payload", "first-frame"};

enum Case { kGame, kGameLater, kSetupNoDevice, kSetupDevice, kcCases };
constexpr const char* kaszCase[] = {"game, first start", "game, later start", "setup, no device",
                                    "setup, device running"};

// One start of the program to its first frame; with fIdle, then 5 s of its processor time.
void RunOnce(benchmark::State& state, Case c, bool fIdle) {
    Fixture& f = TheFixture();
    const fs::path run = f.NewRun();
    std::string error;
    const std::string device = (run / "device").string();
    if (c == kSetupDevice && !device::StartService(DEVICE_PROGRAM, device, {}, &error)) {
        state.SkipWithError(("the device did not start: " + error).c_str());
        return;
    }
    const std::string program = c <= kGameLater ? f.game.string() : SETUP_PROGRAM;
    std::map<std::string, double> marks;
    double dSpawn = 0;
    pid_t pid = -1;
    // A later start: the first one, untimed, leaves the player's settings behind.
    for (int iStart = c == kGameLater ? 0 : 1; iStart < 2; ++iStart) {
        Kill(pid);
        fs::remove(run / "trace");
        marks.clear();
        dSpawn = Now();
        pid = SpawnProgram({program}, f.Env(run));
        while (pid > 0 && Now() - dSpawn < kdGiveUpSeconds) {
            marks = ReadTrace(run / "trace");
            if (marks.contains("first-frame")) break;
            Sleep(0.0005);
        }
    }
    const double dCpu = pid > 0 ? StatCpuSeconds(pid) : 0;
    double dIdle = -1;
    if (fIdle && marks.contains("first-frame")) {
        const double dCpu0 = ProcessCpuSeconds(pid), dWall0 = Now();
        Sleep(kdIdleSeconds);
        dIdle = 100 * (ProcessCpuSeconds(pid) - dCpu0) / (Now() - dWall0);
    }
    Kill(pid);
    if (c == kSetupDevice) device::StopService(device, &error);
    std::error_code ignored;
    fs::remove_all(run, ignored);
    if (!marks.contains("first-frame")) {
        state.SkipWithError("no first frame");
        return;
    }
    Samples& s = g_samples[kaszCase[c]];
    if (!fIdle) { // the start-up figures are the alternating runs'
        for (const auto& [mark, d] : marks)
            s.marks[mark].push_back(d - dSpawn);
        s.cpu.push_back(dCpu);
    }
    if (dIdle >= 0) s.idle.push_back(dIdle);
    state.SetIterationTime(fIdle ? kdIdleSeconds : marks["first-frame"] - dSpawn);
}

// The cases take turns within each iteration, in an order that turns.
void BM_StartToFirstFrame(benchmark::State& state) {
    if (!TheFixture().fOk) {
        state.SkipWithError("no X server or no game in the payload");
        return;
    }
    int i = 0;
    for (auto _ : state) {
        for (int j = 0; j < kcCases; ++j)
            RunOnce(state, static_cast<Case>((i + j) % kcCases), false);
        ++i;
    }
}
BENCHMARK(BM_StartToFirstFrame)->Iterations(12)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_SetupIdle(benchmark::State& state) {
    if (!TheFixture().fOk) {
        state.SkipWithError("no X server");
        return;
    }
    for (auto _ : state)
        RunOnce(state, state.range(0) ? kSetupDevice : kSetupNoDevice, true);
}
BENCHMARK(BM_SetupIdle)
    ->Arg(0)
    ->Arg(1)
    ->Iterations(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

void PrintSummary() {
    std::printf("\nFrom the spawn to each mark, medians in ms (goals: game < 150, setup < 400 to "
                "first-frame); idle: %% of a core over %.0f s after the first frame (goal < 1)\n",
                kdIdleSeconds);
    for (const auto& [name, s] : g_samples) {
        std::printf("  %-22s", name.c_str());
        for (const char* pszMark : kaszSetupMarks)
            if (s.marks.contains(pszMark))
                std::printf("  %s %.1f", pszMark, Median(s.marks.at(pszMark)) * 1e3);
        if (s.marks.contains("first-frame")) {
            const auto [itMin, itMax] = std::minmax_element(s.marks.at("first-frame").begin(),
                                                            s.marks.at("first-frame").end());
            std::printf("  (first-frame %.1f to %.1f, %zu runs; processor time by then %.0f)",
                        *itMin * 1e3, *itMax * 1e3, s.marks.at("first-frame").size(),
                        Median(s.cpu) * 1e3);
        }
        if (!s.idle.empty()) {
            const auto [itMin, itMax] = std::minmax_element(s.idle.begin(), s.idle.end());
            std::printf("  idle %.2f%% to %.2f%% (%zu runs)", *itMin, *itMax, s.idle.size());
        }
        std::printf("\n");
    }
}

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    PrintSummary();
    benchmark::Shutdown();
    return 0;
}
