// The archive reader's inflater against zlib's inflate on the same raw deflate data: a set of
// small entries, then multi-megabyte entries (text, text mixed with incompressible runs,
// code-like data). After the runs, each inflater figure is printed as a ratio of zlib's
// throughput (CPU time, which other load on the machine disturbs less than wall time).
//
// The small entries run first, as in an installer that has just started: a large block
// freed earlier makes the C library keep big blocks in its heap, which hides the cost of
// taking fresh memory from the system for every entry.
#include "setup/zip/inflate.h"
#include "setup/zip/zipfile.h"
#include "tools/zipwriter/zipwriter.h"

#include "bench/bench_summary.h"

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

enum Data { kText, kMixed, kBinary, kSmall };

// Like code: skewed byte values, short repeats of what came before.
Bytes MakeBinary(std::size_t cb) {
    std::mt19937 random(7);
    Bytes data;
    data.reserve(cb);
    while (data.size() < cb) {
        if (data.size() > 64 && random() % 4 == 0) {
            std::size_t cbCopy = 3 + random() % 12;
            std::size_t ibFrom =
                data.size() - 1 - random() % std::min<std::size_t>(data.size() - 1, 4000);
            for (std::size_t i = 0; i < cbCopy && data.size() < cb; ++i)
                data.push_back(data[ibFrom + i]);
            continue;
        }
        std::uint32_t n = random();
        data.push_back(
            static_cast<std::uint8_t>(n % 8 == 0 ? n >> 24 : (n >> 8) % 16 * ((n >> 4) % 4)));
    }
    return data;
}

Bytes MakeData(std::size_t cb, bool fMixed, std::uint32_t nSeed) {
    static const char* const rgszWords[] = {
        "blue ", "red ", "marble ",  "push ",     "line ",  "cell\n",   "goal ",  "hole ",
        "the ",  "of ",  "Kelvano ", "tutorial ", "break ", "neutral ", "green ", "layout "};
    std::mt19937 random(nSeed);
    Bytes data;
    data.reserve(cb);
    while (data.size() < cb) {
        if (fMixed && (data.size() / 50000) % 4 == 3) {
            data.push_back(static_cast<std::uint8_t>(random()));
            continue;
        }
        for (const char* p = rgszWords[random() % 16]; *p != 0 && data.size() < cb; ++p)
            data.push_back(static_cast<std::uint8_t>(*p));
    }
    return data;
}

// Entries as packed by the archive writer: raw deflate data and its size.
struct Entry {
    Bytes packed;
    std::size_t cb;
};

const std::vector<Entry>& Entries(int nData) {
    static std::map<int, std::vector<Entry>> cache;
    auto& entries = cache[nData];
    if (entries.empty()) {
        if (nData == kSmall) {
            for (std::uint32_t i = 0; i < 200; ++i) {
                Bytes data = MakeData(1000 + i * 4099 % 19001, false, i);
                entries.push_back({zipwriter::Deflate(data, 9), data.size()});
            }
        } else {
            Bytes data =
                nData == kBinary ? MakeBinary(8 << 20) : MakeData(8 << 20, nData == kMixed, 1);
            entries.push_back({zipwriter::Deflate(data, 6), data.size()});
        }
    }
    return entries;
}

std::size_t TotalSize(const std::vector<Entry>& entries) {
    std::size_t cb = 0;
    for (const Entry& entry : entries)
        cb += entry.cb;
    return cb;
}

std::size_t LargestSize(const std::vector<Entry>& entries) {
    std::size_t cb = 0;
    for (const Entry& entry : entries)
        cb = std::max(cb, entry.cb);
    return cb;
}

std::size_t PackedSize(const std::vector<Entry>& entries) {
    std::size_t cb = 0;
    for (const Entry& entry : entries)
        cb += entry.packed.size();
    return cb;
}

void InflateOurs(benchmark::State& state) {
    const std::vector<Entry>& entries = Entries(static_cast<int>(state.range(0)));
    // Room for the largest entry only: a buffer of all of them would be a large free of its
    // own after the first run.
    Bytes out(LargestSize(entries) + 1024);
    zip::Inflater inflater;
    state.counters["ratio"] = static_cast<double>(TotalSize(entries)) / PackedSize(entries);
    for (auto _ : state) {
        for (const Entry& entry : entries) {
            std::size_t cb = inflater.Inflate(entry.packed.data(), entry.packed.size(), out.data(),
                                              entry.cb + 1024);
            if (cb != entry.cb) state.SkipWithError("wrong size");
        }
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * TotalSize(entries)));
}

void InflateZlib(benchmark::State& state) {
    const std::vector<Entry>& entries = Entries(static_cast<int>(state.range(0)));
    // Room for the largest entry only: a buffer of all of them would be a large free of its
    // own after the first run.
    Bytes out(LargestSize(entries) + 1024);
    for (auto _ : state) {
        for (const Entry& entry : entries) {
            z_stream z{};
            inflateInit2(&z, -15);
            z.next_in = const_cast<Bytef*>(entry.packed.data());
            z.avail_in = static_cast<uInt>(entry.packed.size());
            z.next_out = out.data();
            z.avail_out = static_cast<uInt>(entry.cb + 1024);
            if (inflate(&z, Z_FINISH) != Z_STREAM_END || z.total_out != entry.cb)
                state.SkipWithError("zlib failed");
            inflateEnd(&z);
        }
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * TotalSize(entries)));
}

// A whole archive of the small entries, unpacked at open as the installer does.
void OpenArchiveOfSmallEntries(benchmark::State& state) {
    const std::vector<Entry>& entries = Entries(kSmall);
    zipwriter::ZipWriter writer;
    for (std::size_t i = 0; i < entries.size(); ++i)
        writer.AddRaw("entry" + std::to_string(i), 8, 0, entries[i].packed,
                      static_cast<std::uint32_t>(entries[i].cb), 0);
    Bytes archive = writer.Finish();
    for (auto _ : state) {
        zip::ZipFile zip;
        zip.OpenMemory(archive.data(), archive.size(), false);
        benchmark::DoNotOptimize(zip.Count());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * TotalSize(entries)));
}

void ConfigureSmall(benchmark::internal::Benchmark* b) {
    b->ArgName("data")->Arg(kSmall)->Unit(benchmark::kMillisecond);
}

void ConfigureLarge(benchmark::internal::Benchmark* b) {
    b->ArgName("data")->Arg(kText)->Arg(kMixed)->Arg(kBinary)->Unit(benchmark::kMillisecond);
}

// Benchmarks run in the order they are registered: the small entries before anything large.
BENCHMARK(InflateOurs)->Apply(ConfigureSmall);
BENCHMARK(InflateZlib)->Apply(ConfigureSmall);
BENCHMARK(OpenArchiveOfSmallEntries)->Unit(benchmark::kMillisecond);
BENCHMARK(InflateOurs)->Apply(ConfigureLarge);
BENCHMARK(InflateZlib)->Apply(ConfigureLarge);

// Our inflater's throughput against zlib's.
void PrintSummary(const bench::RunTimes& times) {
    static const char* const rgszData[] = {"8 MB text entry", "8 MB mixed entry",
                                           "8 MB code-like entry", "200 small entries (1-20 KB)"};
    std::printf("\ninflater throughput / zlib throughput (1.0 = as fast as zlib):\n");
    for (int nData : {kSmall, kText, kMixed, kBinary}) {
        std::string strArg = "/data:" + std::to_string(nData);
        if (double r = bench::Ratio(times.cpu, "InflateZlib" + strArg, "InflateOurs" + strArg))
            std::printf("  %-32s %6.2f\n", rgszData[nData], r);
    }
}

} // namespace

int main(int argc, char** argv) {
    return bench::RunWithSummary(argc, argv, PrintSummary);
}
