// CeWriteFile through rapi.so to a device service, against write(2) to a local file: the
// same create, writes of 32768 bytes, close, of 4 KB, 256 KB and 8 MB. Every sample is a
// fresh process of this program (the probe), so the library's first use is what is timed;
// the remote probe meets a service started just for it, and the two sides alternate which
// goes first. Both files go to the same kind of folder (memory-backed unless
// KELVANO_BENCH_DIR says otherwise). The connection's start (CeRapiInit) is timed apart from
// the transfer. Goal: the remote transfer's throughput at least half the local one for the
// large file. Results: device/BENCHMARKS.md.
#include "device/service.h"

#include "device/rapi.h"
#include "host/library.h"

#include "bench/bench_process.h"
#include "bench/bench_summary.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

namespace fs = std::filesystem;

constexpr char kszProbe[] = "--probe";
constexpr std::size_t kcbChunk = 32768;

double Seconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The bytes written: not all alike, made before any clock starts.
std::vector<unsigned char> Data(std::size_t cb) {
    std::vector<unsigned char> data(cb);
    std::mt19937 random(7);
    for (unsigned char& b : data)
        b = static_cast<unsigned char>(random());
    return data;
}

// The probe: `--probe local|remote SIZE PATH`. Prints the seconds the library took to load,
// the connection to start (0 for the local side), the create-write-close of PATH, and that of
// PATH.2 after PATH was deleted: the second shows the path's own cost once the process, the
// connection and the file system's pages are warm, the first what a user's install meets.
[[noreturn]] void RunProbe(const char* pszSide, const char* pszSize, const char* pszPath) {
    const std::vector<unsigned char> data = Data(std::strtoul(pszSize, nullptr, 10));
    const std::string path = pszPath, path2 = path + ".2";
    double dLoad = 0, dConnect = 0, aWrite[2] = {};
    if (std::strcmp(pszSide, "local") == 0) {
        for (int i = 0; i < 2; ++i) {
            const double d0 = Seconds();
            const int fd =
                ::open((i ? path2 : path).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
            if (fd < 0) std::_Exit(1);
            for (std::size_t at = 0; at < data.size(); at += kcbChunk) {
                const std::size_t cb = std::min(kcbChunk, data.size() - at);
                if (::write(fd, data.data() + at, cb) != static_cast<ssize_t>(cb)) std::_Exit(1);
            }
            if (::close(fd) != 0) std::_Exit(1);
            aWrite[i] = Seconds() - d0;
            if (i == 0 && ::unlink(path.c_str()) != 0) std::_Exit(1);
        }
    } else {
        const double d0 = Seconds();
        host::HMODULE h = host::LoadLibrary("rapi.dll");
        if (h == nullptr) std::_Exit(3);
        auto pfnInit =
            reinterpret_cast<rapi::PFN_CeRapiInit>(host::GetProcAddress(h, "CeRapiInit"));
        auto pfnCreate =
            reinterpret_cast<rapi::PFN_CeCreateFile>(host::GetProcAddress(h, "CeCreateFile"));
        auto pfnWrite =
            reinterpret_cast<rapi::PFN_CeWriteFile>(host::GetProcAddress(h, "CeWriteFile"));
        auto pfnClose =
            reinterpret_cast<rapi::PFN_CeCloseHandle>(host::GetProcAddress(h, "CeCloseHandle"));
        auto pfnDelete =
            reinterpret_cast<rapi::PFN_CeDeleteFile>(host::GetProcAddress(h, "CeDeleteFile"));
        if (!pfnInit || !pfnCreate || !pfnWrite || !pfnClose || !pfnDelete) std::_Exit(3);
        const double d1 = Seconds();
        if (pfnInit() != rapi::S_OK) std::_Exit(4);
        dConnect = Seconds() - d1;
        dLoad = d1 - d0;
        for (int i = 0; i < 2; ++i) {
            const std::u16string name(path.begin(), path.end()), name2 = name + u".2";
            const double d2 = Seconds();
            rapi::HANDLE hFile =
                pfnCreate((i ? name2 : name).c_str(), 0x40000000, 0, nullptr, 2, 0, nullptr);
            if (hFile == rapi::INVALID_HANDLE_VALUE) std::_Exit(5);
            for (std::size_t at = 0; at < data.size(); at += kcbChunk) {
                const auto cb = static_cast<rapi::DWORD>(std::min(kcbChunk, data.size() - at));
                rapi::DWORD cbWritten = 0;
                if (!pfnWrite(hFile, data.data() + at, cb, &cbWritten, nullptr) || cbWritten != cb)
                    std::_Exit(6);
            }
            if (!pfnClose(hFile)) std::_Exit(7);
            aWrite[i] = Seconds() - d2;
            if (i == 0 && !pfnDelete(name.c_str())) std::_Exit(8);
        }
    }
    std::printf("%.9f %.9f %.9f %.9f\n", dLoad, dConnect, aWrite[0], aWrite[1]);
    std::fflush(stdout);
    std::_Exit(0);
}

struct ProbeTimes {
    double dLoad = 0, dConnect = 0, dWrite = 0, dWriteAgain = 0;
};

bool Probe(const std::string& side, std::size_t cb, const std::string& path, ProbeTimes* pTimes) {
    static std::string self = fs::read_symlink("/proc/self/exe").string();
    std::string probe = kszProbe, size = std::to_string(cb), target = path, sideArg = side;
    char* argv[] = {self.data(), probe.data(), sideArg.data(), size.data(), target.data(), nullptr};
    std::string out;
    return bench::RunToEnd(argv, environ, &out) &&
           std::sscanf(out.c_str(), "%lf %lf %lf %lf", &pTimes->dLoad, &pTimes->dConnect,
                       &pTimes->dWrite, &pTimes->dWriteAgain) == 4;
}

std::string RootFolder() {
    if (const char* psz = std::getenv("KELVANO_BENCH_DIR"); psz != nullptr && *psz != '\0')
        return psz;
    return ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
}

// A folder for the device and the local files; the probes find the device through it.
struct Fixture {
    fs::path root;
    fs::path device;
    fs::path local;

    Fixture() {
        std::string pattern = RootFolder() + "/kelvano-device-bench-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) std::abort();
        root = pattern;
        device = root / "device";
        local = root / "local";
        fs::create_directories(local);
        setenv("KELVANO_DEVICE_DIR", device.c_str(), 1);
        if (const char* psz = std::getenv("KELVANO_LIBRARY_PATH"); psz == nullptr || !*psz)
            setenv("KELVANO_LIBRARY_PATH", RAPI_DIR, 1);
    }
    ~Fixture() {
        std::string error;
        device::StopService(device.string(), &error);
        std::error_code ignored;
        fs::remove_all(root, ignored);
    }
};

Fixture& TheFixture() {
    static Fixture fixture;
    return fixture;
}

struct Samples {
    std::vector<double> local, remote, localAgain, remoteAgain, connect, load;
};
std::map<std::size_t, Samples> g_samples;

double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const std::size_t i = values.size() / 2;
    return values.size() % 2 ? values[i] : (values[i - 1] + values[i]) / 2;
}

// One sample of each side per iteration, alternating which goes first; the manual time is
// the remote transfer's.
void BM_WriteFile(benchmark::State& state) {
    Fixture& fixture = TheFixture();
    const auto cb = static_cast<std::size_t>(state.range(0));
    Samples& samples = g_samples[cb];
    int iRun = 0;
    for (auto _ : state) {
        ProbeTimes local, remote;
        std::string error;
        // A service of its own, as a user's install meets it: nothing from an earlier probe.
        if (!device::StartService(DEVICE_PROGRAM, fixture.device.string(), {}, &error)) {
            state.SkipWithError(("the service did not start: " + error).c_str());
            return;
        }
        const std::string name = "f" + std::to_string(iRun) + ".bin";
        const bool fLocalFirst = iRun++ % 2 == 0;
        bool fOk = true;
        if (fLocalFirst) fOk = Probe("local", cb, (fixture.local / name).string(), &local);
        fOk = fOk && Probe("remote", cb, "\\" + name, &remote);
        if (!fLocalFirst) fOk = fOk && Probe("local", cb, (fixture.local / name).string(), &local);
        fOk = device::StopService(fixture.device.string(), &error) && fOk;
        const fs::path written =
            fs::path(device::RootFolder(fixture.device.string())) / (name + ".2");
        const fs::path copied = fixture.local / (name + ".2");
        std::error_code ec;
        if (!fOk || fs::file_size(written, ec) != cb || fs::file_size(copied, ec) != cb) {
            state.SkipWithError("a probe failed");
            return;
        }
        fs::remove(written);
        fs::remove(copied);
        state.SetIterationTime(remote.dWrite);
        samples.local.push_back(local.dWrite);
        samples.remote.push_back(remote.dWrite);
        samples.localAgain.push_back(local.dWriteAgain);
        samples.remoteAgain.push_back(remote.dWriteAgain);
        samples.connect.push_back(remote.dConnect);
        samples.load.push_back(remote.dLoad);
    }
    state.counters["local_ms"] = Median(samples.local) * 1e3;
    state.counters["connect_ms"] = Median(samples.connect) * 1e3;
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * cb));
}
BENCHMARK(BM_WriteFile)
    ->Arg(4 << 10)
    ->Arg(256 << 10)
    ->Arg(8 << 20)
    ->Iterations(15)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

void PrintSummary(const bench::RunTimes&) {
    std::printf("\nCeWriteFile against write(2): remote throughput / local, medians of fresh "
                "processes (goal for 8 MB: 0.5 or more)\n");
    std::printf("  %6s | %9s %9s %6s | %9s %9s %6s | %10s %8s %10s\n", "size", "local ms",
                "remote ms", "ratio", "local ms", "remote ms", "ratio", "connect ms", "load ms",
                "ratio+conn");
    std::printf("  %6s | %-26s | %-26s |\n", "", "first write of the process",
                "second write (warm)");
    for (const auto& [cb, s] : g_samples) {
        const double dLocal = Median(s.local), dRemote = Median(s.remote);
        const double dLocal2 = Median(s.localAgain), dRemote2 = Median(s.remoteAgain);
        const double dConnect = Median(s.connect), dLoad = Median(s.load);
        auto ratio = [](double a, double b) { return b > 0 ? a / b : 0; };
        std::printf("  %5zuK | %9.3f %9.3f %6.2f | %9.3f %9.3f %6.2f | %10.3f %8.3f %10.2f\n",
                    cb >> 10, dLocal * 1e3, dRemote * 1e3, ratio(dLocal, dRemote), dLocal2 * 1e3,
                    dRemote2 * 1e3, ratio(dLocal2, dRemote2), dConnect * 1e3, dLoad * 1e3,
                    ratio(dLocal, dRemote + dConnect));
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 5 && std::strcmp(argv[1], kszProbe) == 0) RunProbe(argv[2], argv[3], argv[4]);
    return bench::RunWithSummary(argc, argv, PrintSummary);
}
