// The installer's sequence on an emulated handheld behind a link of 1 MB/s, with the device
// decompressor placed (files above 5120 bytes travel compressed and are unpacked on the
// device) and without it (every byte travels as it is). The archive is the installer's real
// payload, every entry unpacked at open as the installer does; the device's family takes the
// game and the shared uninstaller from it. Each install has a fresh device service in a
// fresh folder, and the two kinds alternate which goes first; wall time, as the device is
// another process. Goal: the compressed install faster than the plain one.
// Results and the command to reproduce: bench/BENCHMARKS.md.
#include "anim/cea_zz.h"
#include "host/registry.h"
#include "host/shell.h"
#include "setup/install.h"
#include "setup/sl_main.h"
#include "setup/zip/zipfile.h"

#include "bench/bench_summary.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

namespace fs = std::filesystem;

constexpr long kcbLinkPerSecond = 1048576;

std::string RootFolder() {
    if (const char* psz = std::getenv("KELVANO_BENCH_DIR"); psz != nullptr && *psz != '\0')
        return psz;
    return access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
}

struct Fixture {
    fs::path root;
    zip::ZipFile archive;
    std::size_t cbGame = 0;
    std::size_t cbPayload = 0; // what crosses the link plain
    std::size_t cbPacked = 0;  // and packed
    int nDevice = 0;

    Fixture() {
        std::string strRoot = RootFolder() + "/kelvano-device-bench-XXXXXX";
        if (mkdtemp(strRoot.data()) == nullptr) std::abort();
        root = strRoot;
        // This machine's side: its registry (the language values are read from it) and drive.
        setenv("KELVANO_REGISTRY_DIR", (root / "registry").c_str(), 1);
        setenv("KELVANO_DRIVE_DIR", (root / "drive").c_str(), 1);
        setenv("KELVANO_LIBRARY_PATH", RAPI_FOLDER, 1);
        fs::create_directories(root / "drive");
        host::SeedShellFolders();

        archive.OpenFile(PAYLOAD_ZIP, false);
        for (const char* pszEntry : {"arm/kelvano.exe", "arm/uninstaller.dll"}) {
            const zip::ZipEntry* pEntry = archive.Find(pszEntry);
            if (pEntry == nullptr || pEntry->Data() == nullptr) continue;
            if (cbGame == 0) cbGame = pEntry->Size();
            cbPayload += pEntry->Size();
            host::BYTE* pbPacked = nullptr;
            host::DWORD cb = 0;
            if (zz::Compress(&pbPacked, &cb, pEntry->Data(), pEntry->Size()) == 1) cbPacked += cb;
            zz::FreeBlock(pbPacked);
        }
    }
    ~Fixture() {
        StopDevice();
        std::error_code ignored;
        fs::remove_all(root, ignored);
    }

    std::string DeviceDir() const { return (root / ("device" + std::to_string(nDevice))).string(); }

    // A device never used before, its service started with the emulated link.
    bool StartDevice(bool fDecompressor) {
        StopDevice();
        ++nDevice;
        setenv("KELVANO_DEVICE_DIR", DeviceDir().c_str(), 1);
        std::string command = std::string("'") + DEVICE_PROGRAM + "' --dir '" + DeviceDir() +
                              "' start --link " + std::to_string(kcbLinkPerSecond);
        if (fDecompressor) command += std::string(" --decompressor '") + LZRAPI_LIBRARY + "'";
        return std::system((command + " >/dev/null").c_str()) == 0;
    }
    void StopDevice() {
        if (nDevice == 0) return;
        std::system((std::string("'") + DEVICE_PROGRAM + "' --dir '" + DeviceDir() +
                     "' stop >/dev/null 2>&1")
                        .c_str());
        std::error_code ignored;
        fs::remove_all(DeviceDir(), ignored);
    }
};

Fixture& TheFixture() {
    static Fixture fixture;
    return fixture;
}

// One install; its wall time in seconds, or a negative number when it failed.
double InstallOnDevice(bool fDecompressor) {
    Fixture& fixture = TheFixture();
    if (!fixture.StartDevice(fDecompressor)) return -1;
    const auto t0 = std::chrono::steady_clock::now();
    bool fOk = false;
    {
        sl::SetupLib lib;
        setup::InstallFailure failure;
        fOk = lib.DeviceToolkit() != nullptr &&
              setup::RunInstallSequence(*lib.DeviceToolkit(), fixture.archive, nullptr, 1008,
                                        &failure);
    }
    const double d = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    fixture.StopDevice();
    return fOk ? d : -1;
}

std::vector<double> g_compressed, g_plain;

double Median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const std::size_t i = v.size() / 2;
    return v.size() % 2 ? v[i] : (v[i - 1] + v[i]) / 2;
}

// Each iteration installs both ways, in alternating order; the manual time is the compressed
// install's.
void BM_InstallOnDevice(benchmark::State& state) {
    int i = 0;
    for (auto _ : state) {
        double dCompressed = 0, dPlain = 0;
        if (i++ % 2 == 0) {
            dCompressed = InstallOnDevice(true);
            dPlain = InstallOnDevice(false);
        } else {
            dPlain = InstallOnDevice(false);
            dCompressed = InstallOnDevice(true);
        }
        if (dCompressed < 0 || dPlain < 0) {
            state.SkipWithError("the installation failed");
            return;
        }
        state.SetIterationTime(dCompressed);
        g_compressed.push_back(dCompressed);
        g_plain.push_back(dPlain);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * TheFixture().cbGame));
}
BENCHMARK(BM_InstallOnDevice)->Iterations(4)->UseManualTime()->Unit(benchmark::kMillisecond);

void PrintSummary(const bench::RunTimes&) {
    const Fixture& fixture = TheFixture();
    std::printf("\nInstalling on the device at %ld bytes a second (game: %zu bytes; game and "
                "uninstaller: %zu bytes, packed %zu), medians of %zu:\n",
                kcbLinkPerSecond, fixture.cbGame, fixture.cbPayload, fixture.cbPacked,
                g_compressed.size());
    const double dCompressed = Median(g_compressed), dPlain = Median(g_plain);
    std::printf("  compressed: %.0f ms\n  plain:      %.0f ms\n", dCompressed * 1e3, dPlain * 1e3);
    std::printf("  plain / compressed: %.2f\n", dCompressed > 0 ? dPlain / dCompressed : 0);
}

} // namespace

int main(int argc, char** argv) {
    return bench::RunWithSummary(argc, argv, PrintSummary);
}
