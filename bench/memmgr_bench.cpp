// Allocate/free throughput of the memory manager against malloc/free, for small and mixed
// sizes, on one thread and on several. After the runs, each manager figure is printed as a
// ratio of the matching malloc figure.
#include "foundation/memmgr.h"

#include "bench/bench_summary.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int kLive = 256; // blocks kept alive at once, replaced in a rolling window

std::vector<std::size_t> Sizes(bool fMixed) {
    std::mt19937 random(42);
    std::vector<std::size_t> sizes(4096);
    for (auto& cb : sizes)
        cb = fMixed ? (random() % 8 == 0 ? 1024 + random() % 60000 : 8 + random() % 1000)
                    : 8 + random() % 120;
    return sizes;
}

struct Malloc {
    static void* Alloc(std::size_t cb) { return std::malloc(cb); }
    static void Free(void* pv) { std::free(pv); }
};

struct Manager {
    static void* Alloc(std::size_t cb) { return MemAlloc(cb); }
    static void Free(void* pv) { MemFree(pv); }
};

template <class Allocator> void AllocFree(benchmark::State& state) {
    const std::vector<std::size_t> sizes = Sizes(state.range(0) != 0);
    std::vector<void*> live(kLive, nullptr);
    std::size_t i = static_cast<std::size_t>(state.thread_index()) * 997;
    for (auto _ : state) {
        void*& slot = live[i % kLive];
        Allocator::Free(slot);
        slot = Allocator::Alloc(sizes[i % sizes.size()]);
        benchmark::DoNotOptimize(slot);
        ++i;
    }
    for (void* pv : live)
        Allocator::Free(pv);
    state.SetItemsProcessed(state.iterations());
}

void Configure(benchmark::internal::Benchmark* b) {
    b->ArgName("mixed")->Arg(0)->Arg(1)->Threads(1)->Threads(2)->Threads(4)->UseRealTime();
}

BENCHMARK_TEMPLATE(AllocFree, Malloc)->Apply(Configure);
BENCHMARK_TEMPLATE(AllocFree, Manager)->Apply(Configure);

// Each manager run against the matching malloc run.
void PrintSummary(const bench::RunTimes& times) {
    std::printf("\nmanager time / malloc time (1.0 = as fast as malloc):\n");
    for (const auto& [name, time] : times.real) {
        if (name.find("<Manager>") == std::string::npos) continue;
        std::string malloc_name = name;
        malloc_name.replace(name.find("<Manager>"), 9, "<Malloc>");
        if (double r = bench::Ratio(times.real, name, malloc_name))
            std::printf("  %-45s %6.2f\n", name.c_str() + name.find('/') + 1, r);
    }
}

} // namespace

int main(int argc, char** argv) {
    return bench::RunWithSummary(argc, argv, PrintSummary);
}
