// The setup library installing on this machine and removing through its log, against `cp -r`
// and `rm -r` of the same files to and from the same places. Workloads: the tree goal's
// (1000 files of 1 to 4 KB in 20 folders and one 32 MB file, by installtree), its small
// files alone, its large file alone, and the installer's own sequence (the worker's steps
// for this machine) with the real payload. Every install and removal is a fresh process
// (the probe: this program started again) on a fresh drive folder and registry, so the
// library's first use is what is timed; the sides of a ratio alternate which goes first.
// Each iteration also installs with the uninstall log's saves made no-ops (a bench-only
// target wrapper), and counts and times the real saves: what the write-ahead costs.
// Wall time from the spawn to the exit of each process. Goal: the installer's time within
// 1.5 times the copy's (its speed at least 0.67 of cp's), and the same for the removal.
// Results and the command to reproduce: bench/BENCHMARKS.md.
#include "host/shell.h"
#include "setup/install.h"
#include "setup/sl_internal.h"
#include "setup/sl_toolkit.h"
#include "setup/zip/zipfile.h"
#include "tools/zipwriter/zipwriter.h"

#include "bench/bench_process.h"
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using sl::BYTE;
using sl::DWORD;
using sl::HKEY;

constexpr char kszProbe[] = "--probe";
constexpr int kcFiles = 1000;
constexpr int kcFolders = 20;
constexpr std::size_t kcbLarge = 32u << 20;

double Now() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

// ---- The probe: one install or removal in a process of its own ---------------------------

int g_cSaves = 0;
double g_dSaves = 0;

bool IsLog(const sl::string& strPath) {
    return std::string_view(strPath.Text8()).find("Uninstall Log for ") != std::string_view::npos;
}

// This machine's target with the uninstall log's writes timed and counted, or skipped
// (fWriteLog false: the toolkit believes every save succeeded). Everything else passes on.
class LogTimingTarget : public sl::SetupTarget {
public:
    LogTimingTarget(bool fWriteLog) : inner_(sl::MakeDesktopTarget()), fWriteLog_(fWriteLog) {}

    bool IsDevice() const override { return false; }
    DWORD GetFileAttributes(const sl::string& s) override { return inner_->GetFileAttributes(s); }
    bool SetFileAttributes(const sl::string& s, DWORD dw) override {
        if (!IsLog(s)) return inner_->SetFileAttributes(s, dw);
        const double d0 = Now();
        const bool f = !fWriteLog_ || inner_->SetFileAttributes(s, dw);
        g_dSaves += Now() - d0;
        return f;
    }
    bool CreateDirectory(const sl::string& s) override { return inner_->CreateDirectory(s); }
    bool RemoveDirectory(const sl::string& s) override { return inner_->RemoveDirectory(s); }
    bool DeleteFile(const sl::string& s) override { return inner_->DeleteFile(s); }
    bool MoveFile(const sl::string& a, const sl::string& b) override {
        return inner_->MoveFile(a, b);
    }
    bool DeleteAtNextStart(const sl::string& s) override { return inner_->DeleteAtNextStart(s); }
    bool CreateFileForWriting(const sl::string& s) override {
        fLogOpen_ = IsLog(s);
        if (!fLogOpen_) return inner_->CreateFileForWriting(s);
        ++g_cSaves;
        return Timed([&] { return inner_->CreateFileForWriting(s); });
    }
    bool WriteOpenFile(const BYTE* pb, DWORD cb) override {
        if (!fLogOpen_) return inner_->WriteOpenFile(pb, cb);
        return Timed([&] { return inner_->WriteOpenFile(pb, cb); });
    }
    bool CloseOpenFile(bool fFlush) override {
        if (!fLogOpen_) return inner_->CloseOpenFile(fFlush);
        fLogOpen_ = false;
        return Timed([&] { return inner_->CloseOpenFile(fFlush); });
    }
    bool ReplaceFile(const sl::string& a, const sl::string& b) override {
        if (!IsLog(b)) return inner_->ReplaceFile(a, b);
        return Timed([&] { return inner_->ReplaceFile(a, b); });
    }
    bool ReadWholeFile(const sl::string& s, mem::vector<BYTE>* p) override {
        return inner_->ReadWholeFile(s, p);
    }
    bool CreateKey(HKEY h, const sl::string& s) override { return inner_->CreateKey(h, s); }
    bool KeyExists(HKEY h, const sl::string& s) override { return inner_->KeyExists(h, s); }
    bool SetValue(HKEY h, const sl::string& k, const sl::string& n, DWORD t, const BYTE* pb,
                  DWORD cb) override {
        return inner_->SetValue(h, k, n, t, pb, cb);
    }
    bool QueryText(HKEY h, const sl::string& k, const sl::string& n, DWORD cb,
                   sl::string* p) override {
        return inner_->QueryText(h, k, n, cb, p);
    }
    bool DeleteValue(HKEY h, const sl::string& k, const sl::string& n) override {
        return inner_->DeleteValue(h, k, n);
    }
    bool DeleteKeyIfEmpty(HKEY h, const sl::string& k) override {
        return inner_->DeleteKeyIfEmpty(h, k);
    }
    bool DeleteKey(HKEY h, const sl::string& k) override { return inner_->DeleteKey(h, k); }
    bool CreateShortcut(const sl::string& a, const sl::string& b) override {
        return inner_->CreateShortcut(a, b);
    }
    sl::string Platform() override { return inner_->Platform(); }
    sl::string SpecialFolder(int n) override { return inner_->SpecialFolder(n); }
    bool CallBlockEntry(const sl::string& l, const char* e, const std::u16string& in,
                        std::u16string* out, long* pn) override {
        return inner_->CallBlockEntry(l, e, in, out, pn);
    }
    bool CallHook(const sl::string& l, const char* e, const sl::string& p, bool* pfFound,
                  bool* pfResult) override {
        return inner_->CallHook(l, e, p, pfFound, pfResult);
    }

private:
    template <typename F> bool Timed(F f) {
        if (!fWriteLog_) return true;
        const double d0 = Now();
        const bool fOk = f();
        g_dSaves += Now() - d0;
        return fOk;
    }

    sl::TargetPtr inner_;
    bool fWriteLog_;
    bool fLogOpen_ = false;
};

// `--probe MODE ARCHIVE`, MODE one of tree, tree-nolog, sequence, sequence-nolog,
// remove-tree, remove-sequence. Prints the seconds of the archive's reading and unpacking,
// of the operation, the log's saves and their seconds.
[[noreturn]] void RunProbe(std::string_view mode, const char* pszArchive) {
    host::SeedShellFolders(); // what a user's machine has before any install
    const bool fRemove = mode.starts_with("remove");
    const bool fSequence = mode.ends_with("sequence") || mode.ends_with("sequence-nolog");
    const bool fWriteLog = !mode.ends_with("-nolog");
    double dOpen = 0, dOp = 0;
    bool fOk = false;
    {
        const double d0 = Now();
        zip::ZipFile archive;
        if (!fRemove) archive.OpenFile(pszArchive, false);
        const double d1 = Now();
        sl::SetupToolkit toolkit(nullptr, sl::TargetPtr(MemNew(LogTimingTarget, fWriteLog)));
        if (fRemove) {
            fOk = toolkit.uninstall(fSequence ? setup::kszProduct : "Bench");
        } else if (fSequence) {
            setup::InstallFailure failure;
            fOk = setup::RunInstallSequence(toolkit, archive, nullptr, 0, &failure);
        } else {
            fOk = toolkit.openjournal("Bench") &&
                  toolkit.installtree("C:\\Games\\Bench", archive, "tree", 0, 100) &&
                  toolkit.closejournal();
        }
        dOpen = d1 - d0;
        dOp = Now() - d1;
    }
    std::printf("%.9f %.9f %d %.9f\n", dOpen, dOp, g_cSaves, g_dSaves);
    std::fflush(stdout);
    std::_Exit(fOk ? 0 : 1);
}

// ---- The benchmark's side ---------------------------------------------------------------

std::string RootFolder() {
    if (const char* psz = std::getenv("KELVANO_BENCH_DIR"); psz != nullptr && *psz != '\0')
        return psz;
    return access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
}

// Runs the program to its end with the environment given; the wall time from the spawn to
// the exit, and what it printed.
bool Spawn(const std::vector<std::string>& args, const std::vector<std::string>& env,
           double* pdWall, std::string* pOut = nullptr) {
    double d0 = 0;
    const bool fOk = bench::RunToEnd(bench::ExecVector(args).data(), bench::ExecVector(env).data(),
                                     pOut, [&] { d0 = Now(); });
    *pdWall = Now() - d0;
    return fOk;
}

void WriteFile(const fs::path& path, const std::vector<std::uint8_t>& data) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(data.data()),
               static_cast<std::streamsize>(data.size()));
}

enum Workload { kTree, kSmall, kLarge, kSequence, kcWorkloads };
constexpr const char* kaszWorkload[] = {"tree", "small files", "large file", "sequence"};

// Per workload: an archive for the toolkit and a folder whose contents are the files the
// toolkit installs, laid out as on the drive, for cp.
struct Fixture {
    bench::RunRoot runs{RootFolder() + "/kelvano-setup-bench-XXXXXX", {"KELVANO_"}};
    const fs::path& root = runs.root;
    fs::path archive[kcWorkloads];
    fs::path source[kcWorkloads];
    std::string self;
    bool fOk = false;

    Fixture() {
        self = fs::read_symlink("/proc/self/exe").string();

        std::mt19937 random(11);
        zipwriter::ZipWriter writers[3];
        auto add = [&](Workload wl, const std::string& name, const std::vector<std::uint8_t>& d) {
            for (Workload w : {kTree, wl}) {
                writers[w].AddStored("tree/" + name, d);
                WriteFile(root / "source" / kaszWorkload[w] / "Games" / "Bench" / name, d);
            }
        };
        for (int i = 0; i < kcFiles; ++i) {
            std::vector<std::uint8_t> data(1024 + random() % 3073);
            for (std::uint8_t& b : data)
                b = static_cast<std::uint8_t>(random());
            char szName[64];
            std::snprintf(szName, sizeof szName, "folder%02d/file%04d.dat", i % kcFolders, i);
            add(kSmall, szName, data);
        }
        std::vector<std::uint8_t> large(kcbLarge);
        for (std::size_t i = 0; i < large.size(); i += 4096)
            large[i] = static_cast<std::uint8_t>(random());
        add(kLarge, "large.bin", large);
        for (int w = kTree; w <= kLarge; ++w) {
            archive[w] = root / (std::string("archive-") + std::to_string(w) + ".zip");
            source[w] = root / "source" / kaszWorkload[w];
            WriteFile(archive[w], writers[w].Finish());
        }
        // The sequence's files as one install lays them out, less its log: the same files
        // in the same places for cp.
        archive[kSequence] = PAYLOAD_ZIP;
        source[kSequence] = root / "source" / "sequence";
        const fs::path drive = NewRun();
        double d = 0;
        if (!Spawn({self, kszProbe, "sequence", archive[kSequence].string()}, Env(drive), &d))
            return;
        fs::rename(drive / "drive", source[kSequence]);
        for (const fs::directory_entry& e : fs::recursive_directory_iterator(source[kSequence]))
            if (IsLog(e.path().filename().c_str())) fs::remove(e.path());
        fs::remove_all(drive);
        fOk = true;
    }

    // A folder for one install: its drive, registry and menu folders, never used before.
    fs::path NewRun() { return runs.NewRun(); }
    std::vector<std::string> Env(const fs::path& run) const { return runs.Env(run); }
};

Fixture& TheFixture() {
    static Fixture fixture;
    return fixture;
}

struct ProbeOut {
    double dWall = 0, dOpen = 0, dOp = 0, dSaves = 0;
    int cSaves = 0;
};

bool Probe(const std::string& mode, Workload wl, const fs::path& run, ProbeOut* pOut) {
    Fixture& f = TheFixture();
    std::string out;
    return Spawn({f.self, kszProbe, mode, f.archive[wl].string()}, f.Env(run), &pOut->dWall,
                 &out) &&
           std::sscanf(out.c_str(), "%lf %lf %d %lf", &pOut->dOpen, &pOut->dOp, &pOut->cSaves,
                       &pOut->dSaves) == 4;
}

double Median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const std::size_t i = v.size() / 2;
    return v.size() % 2 ? v[i] : (v[i - 1] + v[i]) / 2;
}

struct Samples {
    std::vector<double> install, installNoLog, copy, remove, rm;
    std::vector<double> open, op, opNoLog, saves, cSaves, removeOp;
};
std::map<int, Samples> g_samples;

// One iteration: the toolkit with its log, the toolkit without, and cp, in an order that
// turns each time; then the toolkit's removal of its install and rm -r of the copy, in
// alternating order. The manual time is the toolkit's install with its log.
void BM_Install(benchmark::State& state) {
    Fixture& f = TheFixture();
    const auto wl = static_cast<Workload>(state.range(0));
    if (!f.fOk) {
        state.SkipWithError("the payload cannot be installed");
        return;
    }
    const bool fSequence = wl == kSequence;
    const std::string install = fSequence ? "sequence" : "tree";
    Samples& s = g_samples[wl];
    int iIteration = 0;
    for (auto _ : state) {
        const fs::path runTool = f.NewRun(), runNoLog = f.NewRun(), runCopy = f.NewRun();
        ProbeOut tool, noLog;
        double dCopy = 0;
        bool fOk = true;
        for (int i = 0; i < 3; ++i) {
            switch ((i + iIteration) % 3) {
            case 0:
                fOk = Probe(install, wl, runTool, &tool) && fOk;
                break;
            case 1:
                fOk = Probe(install + "-nolog", wl, runNoLog, &noLog) && fOk;
                break;
            default:
                fOk =
                    Spawn({"cp", "-r", f.source[wl].string() + "/.", (runCopy / "drive").string()},
                          f.runs.baseEnv, &dCopy) &&
                    fOk;
            }
        }
        std::vector<std::string> rm = {"rm", "-r"};
        for (const fs::directory_entry& e : fs::directory_iterator(runCopy / "drive"))
            rm.push_back(e.path().string());
        ProbeOut removal;
        double dRm = 0;
        for (int i = 0; i < 2; ++i) {
            if ((i + iIteration) % 2 == 0)
                fOk = Probe("remove-" + install, wl, runTool, &removal) && fOk;
            else
                fOk = Spawn(rm, f.runs.baseEnv, &dRm) && fOk;
        }
        ++iIteration;
        // The removal leaves the drive's empty folders and nothing of the product.
        const bool fGone = !fs::exists(runTool / "drive" / "Games" / "Bench") &&
                           !fs::exists(runTool / "drive" / "Program Files" / "Kelvano");
        for (const fs::path& run : {runTool, runNoLog, runCopy})
            fs::remove_all(run);
        if (!fOk || !fGone) {
            state.SkipWithError(fOk ? "the removal left files" : "a process failed");
            return;
        }
        state.SetIterationTime(tool.dWall);
        s.install.push_back(tool.dWall);
        s.installNoLog.push_back(noLog.dWall);
        s.copy.push_back(dCopy);
        s.remove.push_back(removal.dWall);
        s.rm.push_back(dRm);
        s.open.push_back(tool.dOpen);
        s.op.push_back(tool.dOp);
        s.opNoLog.push_back(noLog.dOp);
        s.saves.push_back(tool.dSaves);
        s.cSaves.push_back(tool.cSaves);
        s.removeOp.push_back(removal.dOp);
    }
    state.counters["cp_ms"] = Median(s.copy) * 1e3;
    state.counters["saves"] = Median(s.cSaves);
    state.SetLabel(kaszWorkload[wl]);
}
BENCHMARK(BM_Install)
    ->DenseRange(kTree, kSequence)
    ->Iterations(11)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// A probe that does nothing but start and end: the bench program's own process cost, which
// every toolkit figure includes and cp's does not.
void PrintSummary() {
    Fixture& f = TheFixture();
    std::vector<double> start;
    for (int i = 0; i < 11; ++i) {
        const fs::path run = f.NewRun();
        ProbeOut out;
        if (Probe("remove-none", kTree, run, &out)) start.push_back(out.dWall - out.dOp);
        fs::remove_all(run);
    }
    std::printf("\nThe setup library against cp -r and rm -r: medians of fresh processes, ms "
                "(goal: toolkit / cp at most 1.5, i.e. speed at least 0.67 of cp's)\n");
    std::printf("  %-11s | %8s %8s %8s %6s | %7s %8s %7s %6s %6s %6s | %8s %7s %8s %6s\n",
                "workload", "toolkit", "no log", "cp -r", "ratio", "open", "install", "no log",
                "ratio", "saves", "share", "removal", "remove", "rm -r", "ratio");
    for (const auto& [wl, s] : g_samples) {
        const double dTool = Median(s.install), dCopy = Median(s.copy), dRm = Median(s.rm);
        const double dRemove = Median(s.remove), dOp = Median(s.op);
        std::printf("  %-11s | %8.2f %8.2f %8.2f %6.2f | %7.2f %8.2f %7.2f %6.2f %6.0f %5.1f%% | "
                    "%8.2f %7.2f %8.2f %6.2f\n",
                    kaszWorkload[wl], dTool * 1e3, Median(s.installNoLog) * 1e3, dCopy * 1e3,
                    dCopy > 0 ? dTool / dCopy : 0, Median(s.open) * 1e3, dOp * 1e3,
                    Median(s.opNoLog) * 1e3, dCopy > 0 ? dOp / dCopy : 0, Median(s.cSaves),
                    dOp > 0 ? 100 * Median(s.saves) / dOp : 0, dRemove * 1e3,
                    Median(s.removeOp) * 1e3, dRm * 1e3, dRm > 0 ? dRemove / dRm : 0);
    }
    std::printf(
        "  (toolkit, no log, removal: spawn to exit of the probe; open: reading and "
        "unpacking the archive;\n   install: the toolkit's calls alone, with and without the log's "
        "saves, and their ratio to cp; "
        "share: the log's "
        "saves in it;\n   remove: the removal's calls alone; a probe that only starts: %.2f ms)\n",
        Median(start) * 1e3);
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], kszProbe) == 0) {
        if (std::string_view(argv[2]) == "remove-none") {
            std::printf("0 0 0 0\n");
            std::fflush(stdout);
            std::_Exit(0);
        }
        RunProbe(argv[2], argv[3]);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    PrintSummary();
    benchmark::Shutdown();
    return 0;
}
