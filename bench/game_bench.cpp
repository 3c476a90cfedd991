// The computer opponent's speed: move lists per second, and whole decisions at levels 1 to 3
// from the Classic start and from the fixed midgame positions, for the engine the game uses
// and for the plain search that carries a board per candidate (the yardstick it must beat
// by at least two times on every position, with the same choices).
#include "game/positions.h"
#include "game/search.h"

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

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

} // namespace

BENCHMARK(BM_ListMoves)->Apply(ListArgs);
BENCHMARK(BM_EngineListMoves)->Apply(ListArgs);
BENCHMARK(BM_Decide)->Apply(DecisionArgs);
BENCHMARK(BM_DecidePlain)->Apply(DecisionArgs);
BENCHMARK(BM_DecideBenchSet)->Arg(1)->Arg(2)->Arg(3)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
