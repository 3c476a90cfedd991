#include "tools/sound/synth.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numbers>

namespace {

using sound::kRate;
using sound::Signal;

Signal Sine(double hz, double seconds, double level = 1, double offset = 0) {
    Signal s(sound::Samples(seconds));
    for (std::size_t i = 0; i < s.size(); ++i)
        s[i] = offset + level * std::sin(2 * std::numbers::pi * hz * i / kRate);
    return s;
}

TEST(Synth, FinishRemovesOffsetSilencesEdgesAndSetsPeak) {
    struct Case {
        double offset, peakDb;
        int nPeak;
    };
    const Case rgCase[] = {{0.0, -3.0, 23197}, {0.8, -6.0, 16422}, {-5.0, -20.0, 3277}};
    for (const Case& c : rgCase) {
        SCOPED_TRACE(c.offset);
        std::vector<std::int16_t> s =
            sound::Finish(Sine(440, 0.2, 0.3, c.offset), c.peakDb, 0.005, 0.005);
        ASSERT_EQ(s.size(), sound::Samples(0.2));
        EXPECT_EQ(s.front(), 0);
        EXPECT_EQ(s.back(), 0);
        int nPeak = 0;
        double sum = 0;
        for (std::int16_t v : s) {
            nPeak = std::max(nPeak, std::abs(static_cast<int>(v)));
            sum += v;
        }
        EXPECT_NEAR(nPeak, c.nPeak, 1);
        EXPECT_LT(std::fabs(sum / static_cast<double>(s.size())), 8.0);
    }
    EXPECT_EQ(sound::Finish(Signal(100, 0.0), -3, 0.001, 0.001), std::vector<std::int16_t>(100));
    EXPECT_TRUE(sound::Finish(Signal{}, -3, 0.001, 0.001).empty());
}

TEST(Synth, FiltersPassTheirBandAndStopTheRest) {
    struct Case {
        sound::Biquad::Kind kind;
        double hzFilter, hzInput;
        bool fPasses;
    };
    using K = sound::Biquad::Kind;
    const Case rgCase[] = {{K::BandPass, 500, 500, true},  {K::BandPass, 500, 5000, false},
                           {K::BandPass, 500, 50, false},  {K::LowPass, 500, 100, true},
                           {K::LowPass, 500, 5000, false}, {K::HighPass, 2000, 8000, true},
                           {K::HighPass, 2000, 200, false}};
    for (const Case& c : rgCase) {
        SCOPED_TRACE(c.hzInput);
        sound::Biquad filter(c.kind, 2.0, c.hzFilter);
        Signal in = Sine(c.hzInput, 0.5);
        double peak = 0;
        for (std::size_t i = 0; i < in.size(); ++i) {
            double y = filter.Process(in[i]);
            if (i > in.size() / 2) peak = std::max(peak, std::fabs(y));
        }
        if (c.fPasses)
            EXPECT_GT(peak, 0.7);
        else
            EXPECT_LT(peak, 0.1);
    }
}

} // namespace
