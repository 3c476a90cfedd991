// The mixer's cost per second of audio with 1, 4 and 8 looping voices on the stereo device,
// against copying the same output bytes with memcpy. The summary gives each as time per
// second of audio and as the share of one core it keeps busy.
#include "anim/cea_sound.h"

#include "bench/bench_summary.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

using host::BYTE;
using host::DWORD;

// One second of stereo output, in whole 1024-byte buffers.
constexpr DWORD kcbSecond = 44100 / 1024 * 1024;

// Eight different mono sounds of about a second each.
const std::vector<std::unique_ptr<Sound>>& Sounds() {
    static std::vector<std::unique_ptr<Sound>> sounds;
    if (sounds.empty()) {
        std::mt19937 random(21);
        const host::WAVEFORMATEX format{host::WAVE_FORMAT_PCM, 1, 22050, 22050, 1, 8, 0};
        for (int i = 0; i < 8; ++i) {
            std::vector<BYTE> samples(20000 + 1000 * i);
            for (BYTE& b : samples)
                b = static_cast<BYTE>(64 + random() % 128);
            sounds.push_back(std::make_unique<Sound>());
            sounds.back()->LoadRaw(&format, samples.data(), static_cast<DWORD>(samples.size()));
        }
    }
    return sounds;
}

void Mix(benchmark::State& state) {
    std::vector<Sound*> voices;
    for (int i = 0; i < state.range(0); ++i)
        voices.push_back(Sounds()[i].get());
    std::vector<BYTE> out(kcbSecond);
    for (auto _ : state) {
        sound_mixer::MixOffline(voices.data(), static_cast<int>(voices.size()), true, out.data(),
                                kcbSecond);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kcbSecond));
}

void Copy(benchmark::State& state) {
    std::vector<BYTE> in(kcbSecond, 0x80), out(kcbSecond);
    for (auto _ : state) {
        std::memcpy(out.data(), in.data(), kcbSecond);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kcbSecond));
}

BENCHMARK(Mix)->ArgName("voices")->Arg(1)->Arg(4)->Arg(8)->Unit(benchmark::kMicrosecond);
BENCHMARK(Copy)->Unit(benchmark::kMicrosecond);

void PrintSummary(const bench::RunTimes& times) {
    std::printf("\nOne second of audio (22050 Hz stereo, 8-bit):\n");
    for (const char* pszRun : {"Mix/voices:1", "Mix/voices:4", "Mix/voices:8", "Copy"}) {
        auto it = times.cpu.find(pszRun);
        if (it == times.cpu.end()) continue;
        double us = it->second; // microseconds per second of audio
        std::printf("  %-14s %9.0f ns per second of audio, %.4f %% of a core", pszRun, us * 1000,
                    us / 1e6 * 100);
        if (double r = bench::Ratio(times.cpu, pszRun, "Copy")) std::printf(", %.1f x memcpy", r);
        std::printf("\n");
    }
}

} // namespace

int main(int argc, char** argv) {
    return bench::RunWithSummary(argc, argv, PrintSummary);
}
