#include "host/audio.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace host {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes S16(std::initializer_list<int> samples) {
    Bytes b;
    for (int s : samples) {
        b.push_back(static_cast<std::uint8_t>(s & 0xFF));
        b.push_back(static_cast<std::uint8_t>((s >> 8) & 0xFF));
    }
    return b;
}

Bytes Convert(const WAVEFORMATEX& from, const Bytes& in, const WAVEFORMATEX& to) {
    DWORD cb = 0;
    EXPECT_TRUE(PcmConvertSize(from, to, static_cast<DWORD>(in.size()), &cb));
    Bytes out(cb);
    DWORD written = 0;
    EXPECT_TRUE(
        PcmConvert(from, in.data(), static_cast<DWORD>(in.size()), to, out.data(), cb, &written));
    EXPECT_LE(written, cb);
    out.resize(written);
    return out;
}

TEST(PcmConvert, BitsAndChannelsAreExact) {
    const WAVEFORMATEX m8 = MakePcmFormat(22050, 8, 1), s8 = MakePcmFormat(22050, 8, 2);
    const WAVEFORMATEX m16 = MakePcmFormat(22050, 16, 1), s16 = MakePcmFormat(22050, 16, 2);
    struct Case {
        WAVEFORMATEX from;
        Bytes in;
        WAVEFORMATEX to;
        Bytes out;
    };
    const Case cases[] = {
        {m16, S16({0, 32767, -32768, 256, -1}), m8, {128, 255, 0, 129, 127}},
        {m8, {128, 255, 0}, m16, S16({0, 32512, -32768})},
        {m8, {10, 200}, s8, {10, 10, 200, 200}}, // duplicated
        {s16, S16({100, 300, -32768, -32768, 32767, 32765}), m16, S16({200, -32768, 32766})},
        {s8, {0, 255, 100, 110}, m16, S16({-128, -5888})}, // averaged
        {s16, {1, 2, 3, 4, 5, 6, 7}, s16, {1, 2, 3, 4}},   // whole frames
        {m16, {9}, m8, {}},
        {m8, {}, s16, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.from.wBitsPerSample << "/" << c.from.nChannels
                                        << " -> " << c.to.wBitsPerSample << "/" << c.to.nChannels);
        EXPECT_EQ(Convert(c.from, c.in, c.to), c.out);
    }
}

// Resampling keeps the length in proportion to the rates and a constant level.
TEST(PcmConvert, RateChangesKeepLengthAndLevel) {
    struct Case {
        DWORD fromRate, toRate;
        WORD bits, channels;
        int level; // in the samples' own scale
    };
    const Case cases[] = {
        {44100, 22050, 16, 1, 1000}, {11025, 22050, 16, 2, -20000}, {22050, 44100, 8, 2, 200},
        {8000, 22050, 8, 1, 60},     {1000, 192000, 16, 1, 12345},  {48000, 22050, 8, 1, 128},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.fromRate << " -> " << c.toRate);
        const WAVEFORMATEX from = MakePcmFormat(c.fromRate, c.bits, c.channels);
        const WAVEFORMATEX to = MakePcmFormat(c.toRate, c.bits, c.channels);
        const std::size_t frames = c.fromRate / 10; // 0.1 s
        Bytes in;
        for (std::size_t i = 0; i < frames * c.channels; ++i) {
            Bytes s = c.bits == 8 ? Bytes{static_cast<std::uint8_t>(c.level)} : S16({c.level});
            in.insert(in.end(), s.begin(), s.end());
        }
        const Bytes out = Convert(from, in, to);
        // The filter's ripple: within half a percent of the level (one step in 8 bits),
        // silence exact.
        const int tolerance = c.bits == 8 ? c.level != 128 : std::abs(c.level) / 200;
        const std::size_t framesOut = out.size() / to.nBlockAlign;
        EXPECT_NEAR(static_cast<double>(framesOut), c.toRate / 10.0, 2.0);
        // Away from the ends, where the resampler's filter sees beyond the data.
        for (std::size_t f = framesOut / 4; f < framesOut * 3 / 4; f += 7) {
            for (WORD ch = 0; ch < c.channels; ++ch) {
                const std::size_t i = f * c.channels + ch;
                const int s = c.bits == 8 ? out[i] : std::int16_t(out[2 * i] | out[2 * i + 1] << 8);
                ASSERT_LE(std::abs(s - c.level), tolerance) << "frame " << f;
            }
        }
    }
}

TEST(PcmConvert, RefusesWhatItCannotConvert) {
    const WAVEFORMATEX good = MakePcmFormat(22050, 8, 1);
    auto with = [&](auto change) {
        WAVEFORMATEX f = good;
        change(f);
        return f;
    };
    const WAVEFORMATEX bad[] = {
        with([](WAVEFORMATEX& f) { f.wFormatTag = 3; }),
        MakePcmFormat(999, 8, 1),
        MakePcmFormat(192001, 16, 1),
        MakePcmFormat(22050, 8, 3),
        MakePcmFormat(22050, 8, 0),
        MakePcmFormat(22050, 12, 1),
        with([](WAVEFORMATEX& f) { f.nBlockAlign = 2; }),
    };
    std::uint8_t in[4] = {}, out[64];
    DWORD cb = 0;
    for (const WAVEFORMATEX& f : bad) {
        EXPECT_FALSE(IsConvertiblePcm(f));
        EXPECT_FALSE(PcmConvertSize(f, good, 4, &cb));
        EXPECT_FALSE(PcmConvert(good, in, 4, f, out, sizeof out, &cb));
    }
    EXPECT_TRUE(IsConvertiblePcm(good));
    // A size beyond what the converter can hold is refused, not wrapped.
    EXPECT_FALSE(
        PcmConvertSize(MakePcmFormat(1000, 8, 1), MakePcmFormat(192000, 16, 2), 0xFFFFFFFF, &cb));
}

} // namespace
} // namespace host
