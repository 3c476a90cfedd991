// zz blocks against direct calls of the LZO library on the same data: the lock, the
// allocation and the length field are the whole difference. After the runs, each zz figure
// is printed as a ratio of the library's throughput.
#include "anim/cea_zz.h"

#include "bench/bench_summary.h"

#include <benchmark/benchmark.h>
#include <lzo/lzo1x.h>

#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

enum Data { kSmallText, kText, kMixed };

const Bytes& DataOf(int nData) {
    static std::map<int, Bytes> cache;
    Bytes& data = cache[nData];
    if (data.empty()) {
        static const char* const rgszWords[] = {"blue ",  "red ",  "marble ", "push ", "line ",
                                                "cell\n", "goal ", "hole ",   "the ",  "of "};
        std::mt19937 random(static_cast<unsigned>(nData));
        std::size_t cb = nData == kSmallText ? 4096 : 4 << 20;
        while (data.size() < cb) {
            if (nData == kMixed && (data.size() / 50000) % 4 == 3) {
                data.push_back(static_cast<std::uint8_t>(random()));
                continue;
            }
            for (const char* p = rgszWords[random() % 10]; *p != 0 && data.size() < cb; ++p)
                data.push_back(static_cast<std::uint8_t>(*p));
        }
    }
    return data;
}

void CompressZz(benchmark::State& state) {
    const Bytes& data = DataOf(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        host::BYTE* pbBlock = nullptr;
        host::DWORD cbBlock = 0;
        zz::Compress(&pbBlock, &cbBlock, data.data(), static_cast<host::DWORD>(data.size()));
        benchmark::DoNotOptimize(pbBlock);
        zz::FreeBlock(pbBlock);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * data.size()));
}

void CompressLzo(benchmark::State& state) {
    const Bytes& data = DataOf(static_cast<int>(state.range(0)));
    Bytes out(data.size() + data.size() / 16 + 64 + 3);
    Bytes work(LZO1X_1_MEM_COMPRESS);
    lzo_init();
    for (auto _ : state) {
        lzo_uint cb = out.size();
        lzo1x_1_compress(data.data(), data.size(), out.data(), &cb, work.data());
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * data.size()));
}

void DecompressZz(benchmark::State& state) {
    const Bytes& data = DataOf(static_cast<int>(state.range(0)));
    host::BYTE* pbBlock = nullptr;
    host::DWORD cbBlock = 0;
    zz::Compress(&pbBlock, &cbBlock, data.data(), static_cast<host::DWORD>(data.size()));
    for (auto _ : state) {
        host::BYTE* pbData = nullptr;
        host::DWORD cbData = 0;
        if (zz::Decompress(&pbData, &cbData, pbBlock, cbBlock) != 1 || cbData != data.size())
            state.SkipWithError("zz failed");
        benchmark::DoNotOptimize(pbData);
        zz::FreeBlock(pbData);
    }
    zz::FreeBlock(pbBlock);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * data.size()));
}

void DecompressLzo(benchmark::State& state) {
    const Bytes& data = DataOf(static_cast<int>(state.range(0)));
    Bytes packed(data.size() + data.size() / 16 + 64 + 3);
    Bytes work(LZO1X_1_MEM_COMPRESS);
    lzo_init();
    lzo_uint cbPacked = packed.size();
    lzo1x_1_compress(data.data(), data.size(), packed.data(), &cbPacked, work.data());
    Bytes out(data.size());
    for (auto _ : state) {
        lzo_uint cb = out.size();
        if (lzo1x_decompress_safe(packed.data(), cbPacked, out.data(), &cb, nullptr) != LZO_E_OK)
            state.SkipWithError("lzo failed");
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * data.size()));
}

void Configure(benchmark::internal::Benchmark* b) {
    b->ArgName("data")->Arg(kSmallText)->Arg(kText)->Arg(kMixed)->Unit(benchmark::kMicrosecond);
}

BENCHMARK(CompressZz)->Apply(Configure);
BENCHMARK(CompressLzo)->Apply(Configure);
BENCHMARK(DecompressZz)->Apply(Configure);
BENCHMARK(DecompressLzo)->Apply(Configure);

// zz blocks against LZO called directly.
void PrintSummary(const bench::RunTimes& times) {
    static const char* const rgszData[] = {"4 KB text", "4 MB text", "4 MB mixed"};
    std::printf("\nzz throughput / direct LZO throughput (1.0 = no overhead):\n");
    for (const char* pszOp : {"Compress", "Decompress"}) {
        for (int nData = kSmallText; nData <= kMixed; ++nData) {
            std::string strArg = "/data:" + std::to_string(nData);
            if (double r = bench::Ratio(times.cpu, pszOp + std::string("Lzo") + strArg,
                                        pszOp + std::string("Zz") + strArg))
                std::printf("  %-10s %-12s %6.2f\n", pszOp, rgszData[nData], r);
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    return bench::RunWithSummary(argc, argv, PrintSummary);
}
