// The setup library installing a tree from an archive (every entry unpacked, in memory) into
// a fresh drive folder, and removing it through its log, against `cp -r` and `rm -r` of the
// same tree on disk, each run as a fresh process on a fresh destination. The tree: 1000
// files of 1 to 4 KB in 20 folders and one 32 MB file. Wall time, as the copies run in
// other processes. Goal: within 1.5 times the copy and the removal.
//
// Results (2 cores shared with other builds; Release; memory-backed folders), three runs:
//   installtree / cp -r: 1.43 to 1.48
//   removal     / rm -r: 1.43 to 1.46
// On a disk folder (KELVANO_BENCH_DIR=/tmp) the file system's write-back swings both sides
// by more than the difference measured.
// Where the rest goes: every classic name is resolved on each call (one lstat when it
// exists; for a new name a stat of its folder and a listing of it, to find the name in
// another letter case), and a delete first checks that no host program holds the file (an
// open and a lock). Attributes are cleared only when a read-only file is in the way. The
// journal's duplicate check is a hash lookup and does not show.
#include "host/file.h"
#include "host/registry.h"
#include "host/shell.h"
#include "setup/sl_toolkit.h"
#include "setup/zip/zipfile.h"
#include "tools/zipwriter/zipwriter.h"

#include "bench/bench_summary.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

namespace fs = std::filesystem;

constexpr int kcFiles = 1000;
constexpr int kcFolders = 20;
constexpr std::size_t kcbLarge = 32u << 20;

// Memory-backed by default: on a disk the file system's own allocation and write-back swing
// the times of both sides by more than the difference being measured. KELVANO_BENCH_DIR
// picks another folder.
std::string RootFolder() {
    if (const char* psz = std::getenv("KELVANO_BENCH_DIR"); psz != nullptr && *psz != '\0')
        return psz;
    return access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
}

// The tree on disk (for cp) and in an archive (for the toolkit), made once.
struct Fixture {
    fs::path root;
    fs::path source; // root/source/tree
    std::vector<std::uint8_t> archiveBytes;
    zip::ZipFile archive;
    int nDrive = 0;

    Fixture() {
        std::string strRoot = RootFolder() + "/kelvano-setup-bench-XXXXXX";
        char* pszRoot = strRoot.data();
        if (mkdtemp(pszRoot) == nullptr) std::abort();
        root = pszRoot;
        source = root / "source" / "tree";
        setenv("KELVANO_REGISTRY_DIR", (root / "registry").c_str(), 1);
        host::SeedShellFolders();

        std::mt19937 random(11);
        zipwriter::ZipWriter writer;
        auto add = [&](const std::string& name, const std::vector<std::uint8_t>& data) {
            writer.AddStored("tree/" + name, data);
            fs::create_directories((source / name).parent_path());
            std::ofstream(source / name, std::ios::binary)
                .write(reinterpret_cast<const char*>(data.data()),
                       static_cast<std::streamsize>(data.size()));
        };
        for (int i = 0; i < kcFiles; ++i) {
            std::vector<std::uint8_t> data(1024 + random() % 3073);
            for (std::uint8_t& b : data)
                b = static_cast<std::uint8_t>(random());
            char szName[64];
            std::snprintf(szName, sizeof szName, "folder%02d/file%04d.dat", i % kcFolders, i);
            add(szName, data);
        }
        std::vector<std::uint8_t> large(kcbLarge);
        for (std::size_t i = 0; i < large.size(); i += 4096)
            large[i] = static_cast<std::uint8_t>(random());
        add("large.bin", large);
        archiveBytes = writer.Finish();
        archive.OpenMemory(archiveBytes.data(), archiveBytes.size(), false);
    }
    ~Fixture() {
        std::error_code ignored;
        fs::remove_all(root, ignored);
    }

    // A drive folder never used before, made the drive C: of this process.
    fs::path FreshDrive() {
        fs::path drive = root / ("drive" + std::to_string(++nDrive));
        fs::create_directories(drive);
        setenv("KELVANO_DRIVE_DIR", drive.c_str(), 1);
        return drive;
    }

    bool Install() {
        sl::SetupToolkit toolkit(nullptr, sl::MakeDesktopTarget());
        return toolkit.openjournal("Bench") &&
               toolkit.installtree("C:\\Games\\Bench", archive, "tree", 0, 100) &&
               toolkit.closejournal();
    }
};

Fixture& TheFixture() {
    static Fixture fixture;
    return fixture;
}

void Run(const std::string& command) {
    if (std::system(command.c_str()) != 0) std::abort();
}

void InstallTree(benchmark::State& state) {
    Fixture& fixture = TheFixture();
    for (auto _ : state) {
        state.PauseTiming();
        const fs::path drive = fixture.FreshDrive();
        state.ResumeTiming();
        if (!fixture.Install()) state.SkipWithError("installtree failed");
        state.PauseTiming();
        fs::remove_all(drive);
        state.ResumeTiming();
    }
}

void CopyTree(benchmark::State& state) {
    Fixture& fixture = TheFixture();
    for (auto _ : state) {
        state.PauseTiming();
        const fs::path drive = fixture.FreshDrive();
        state.ResumeTiming();
        Run("cp -r '" + fixture.source.string() + "' '" + (drive / "Bench").string() + "'");
        state.PauseTiming();
        fs::remove_all(drive);
        state.ResumeTiming();
    }
}

void RemoveInstalledTree(benchmark::State& state) {
    Fixture& fixture = TheFixture();
    for (auto _ : state) {
        state.PauseTiming();
        const fs::path drive = fixture.FreshDrive();
        if (!fixture.Install()) state.SkipWithError("installtree failed");
        state.ResumeTiming();
        sl::SetupToolkit toolkit(nullptr, sl::MakeDesktopTarget());
        toolkit.uninstall("Bench");
        state.PauseTiming();
        if (fs::exists(drive / "Games" / "Bench")) state.SkipWithError("the removal left files");
        fs::remove_all(drive);
        state.ResumeTiming();
    }
}

void RemoveCopiedTree(benchmark::State& state) {
    Fixture& fixture = TheFixture();
    for (auto _ : state) {
        state.PauseTiming();
        const fs::path drive = fixture.FreshDrive();
        Run("cp -r '" + fixture.source.string() + "' '" + (drive / "Bench").string() + "'");
        state.ResumeTiming();
        Run("rm -r '" + (drive / "Bench").string() + "'");
        state.PauseTiming();
        fs::remove_all(drive);
        state.ResumeTiming();
    }
}

void Configure(benchmark::internal::Benchmark* pBench) {
    pBench->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(8);
}

BENCHMARK(InstallTree)->Apply(Configure);
BENCHMARK(CopyTree)->Apply(Configure);
BENCHMARK(RemoveInstalledTree)->Apply(Configure);
BENCHMARK(RemoveCopiedTree)->Apply(Configure);

void PrintSummary(const bench::RunTimes& times) {
    std::printf("\nThe setup library against the shell's tools (wall time; goal 1.5 or less):\n");
    std::printf("  installtree / cp -r: %.2f\n",
                bench::Ratio(times.real, "InstallTree/iterations:8/real_time",
                             "CopyTree/iterations:8/real_time"));
    std::printf("  removal     / rm -r: %.2f\n",
                bench::Ratio(times.real, "RemoveInstalledTree/iterations:8/real_time",
                             "RemoveCopiedTree/iterations:8/real_time"));
}

} // namespace

int main(int argc, char** argv) {
    return bench::RunWithSummary(argc, argv, PrintSummary);
}
