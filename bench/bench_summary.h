// The main of a benchmark program that prints its runs as usual and then a summary worked
// out from their times: ratios against a baseline, fractions of a frame.
#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

namespace bench {

// Time per iteration of every successful run, by benchmark name, in the run's time unit.
struct RunTimes {
    std::map<std::string, double> real;
    std::map<std::string, double> cpu;
};

// times[a] / times[b]; 0 when either run is missing or b took no time.
inline double Ratio(const std::map<std::string, double>& times, const std::string& a,
                    const std::string& b) {
    auto itA = times.find(a), itB = times.find(b);
    if (itA == times.end() || itB == times.end() || itB->second <= 0) return 0;
    return itA->second / itB->second;
}

class SummaryReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
            m_times.real[run.benchmark_name()] = run.GetAdjustedRealTime();
            m_times.cpu[run.benchmark_name()] = run.GetAdjustedCPUTime();
        }
    }
    const RunTimes& Times() const { return m_times; }

private:
    RunTimes m_times;
};

// Runs the benchmarks the command line selects, then prints the summary.
inline int RunWithSummary(int argc, char** argv, void (*pfnSummary)(const RunTimes&)) {
    benchmark::Initialize(&argc, argv);
    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    pfnSummary(reporter.Times());
    benchmark::Shutdown();
    return 0;
}

} // namespace bench
