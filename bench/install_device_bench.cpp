// The installer's sequence on an emulated handheld behind a link of 1 MB/s, with the device
// decompressor placed (files above 5120 bytes travel compressed and are unpacked on the
// device) and without it (every byte travels as it is). The payload is the real game built
// for the device's family and the shared uninstaller. Each run has a fresh device service in
// a fresh folder; wall time, as the device is another process.
//
// Results (2 cores shared with other builds; RelWithDebInfo, the payload stripped as shipped:
// game 1438560 bytes, uninstaller 174976; zz packs both to 1212852), three runs:
//   compressed: 1308 to 1362 ms
//   plain:      1636 to 1678 ms
//   plain / compressed: 1.23 to 1.25
// The link sets the pace: 1.16 s and 1.54 s of it are the bytes themselves; the rest is the
// calls' round trips, the device's unpacking (a helper process per remote call) and, for the
// compressed run, packing on this side. A better ratio needs a stronger coder, not a faster
// installer.
#include "anim/cea_zz.h"
#include "host/registry.h"
#include "host/shell.h"
#include "setup/install.h"
#include "setup/sl_main.h"
#include "setup/zip/zipfile.h"
#include "tools/zipwriter/zipwriter.h"

#include "bench/bench_summary.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
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

std::vector<std::uint8_t> ReadFile(const char* pszPath) {
    std::ifstream in(pszPath, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in),
                                     std::istreambuf_iterator<char>());
}

struct Fixture {
    fs::path root;
    std::vector<std::uint8_t> archiveBytes;
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

        const std::vector<std::uint8_t> game = ReadFile(GAME_PROGRAM);
        const std::vector<std::uint8_t> uninstaller = ReadFile(UNINSTALLER_LIBRARY);
        cbGame = game.size();
        for (const std::vector<std::uint8_t>* pData : {&game, &uninstaller}) {
            cbPayload += pData->size();
            host::BYTE* pbPacked = nullptr;
            host::DWORD cb = 0;
            if (zz::Compress(&pbPacked, &cb, pData->data(),
                             static_cast<host::DWORD>(pData->size())) == 1)
                cbPacked += cb;
            zz::FreeBlock(pbPacked);
        }
        zipwriter::ZipWriter writer;
        writer.AddStored("arm/kelvano.exe", game);
        writer.AddStored("arm/uninstaller.dll", uninstaller);
        archiveBytes = writer.Finish();
        archive.OpenMemory(archiveBytes.data(), archiveBytes.size(), false);
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

void InstallOnDevice(benchmark::State& state, bool fDecompressor) {
    Fixture& fixture = TheFixture();
    for (auto _ : state) {
        state.PauseTiming();
        if (!fixture.StartDevice(fDecompressor)) {
            state.SkipWithError("the device did not start");
            break;
        }
        state.ResumeTiming();
        {
            sl::SetupLib lib;
            setup::InstallFailure failure;
            if (lib.DeviceToolkit() == nullptr ||
                !setup::RunInstallSequence(*lib.DeviceToolkit(), fixture.archive, nullptr, 1008,
                                           &failure))
                state.SkipWithError("the installation failed");
        }
        state.PauseTiming();
        fixture.StopDevice();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * fixture.cbGame));
}

void Compressed(benchmark::State& state) {
    InstallOnDevice(state, true);
}
void Plain(benchmark::State& state) {
    InstallOnDevice(state, false);
}

void Configure(benchmark::internal::Benchmark* pBench) {
    pBench->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
}

BENCHMARK(Compressed)->Apply(Configure);
BENCHMARK(Plain)->Apply(Configure);

void PrintSummary(const bench::RunTimes& times) {
    constexpr char kszCompressed[] = "Compressed/iterations:3/real_time";
    constexpr char kszPlain[] = "Plain/iterations:3/real_time";
    auto ms = [&](const char* pszName) {
        return times.real.contains(pszName) ? times.real.at(pszName) : 0.0;
    };
    const Fixture& fixture = TheFixture();
    std::printf("\nInstalling on the device at %ld bytes a second (game: %zu bytes; game and "
                "uninstaller: %zu bytes, packed %zu):\n",
                kcbLinkPerSecond, fixture.cbGame, fixture.cbPayload, fixture.cbPacked);
    std::printf("  compressed: %.0f ms\n  plain:      %.0f ms\n", ms(kszCompressed), ms(kszPlain));
    std::printf("  plain / compressed: %.2f\n", bench::Ratio(times.real, kszPlain, kszCompressed));
}

} // namespace

int main(int argc, char** argv) {
    return bench::RunWithSummary(argc, argv, PrintSummary);
}
