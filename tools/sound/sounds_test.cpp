#include "tools/sound/sounds.h"

#include "anim/cea_zz.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace {

struct Wave {
    bool fValid = false;
    int nTag = 0, cChannels = 0, nRate = 0, nByteRate = 0, nBlockAlign = 0, cBits = 0;
    std::vector<std::int16_t> samples;
};

std::uint32_t Le(const std::vector<std::uint8_t>& b, std::size_t i, int cb) {
    std::uint32_t n = 0;
    for (int k = cb - 1; k >= 0; --k)
        n = n << 8 | b[i + k];
    return n;
}

// The chunk walk a player does: "fmt " and "data" found wherever they sit.
Wave ParseWave(const std::vector<std::uint8_t>& b) {
    Wave w;
    if (b.size() < 12 || std::string(b.begin(), b.begin() + 4) != "RIFF" ||
        std::string(b.begin() + 8, b.begin() + 12) != "WAVE" || Le(b, 4, 4) != b.size() - 8)
        return w;
    bool fFormat = false;
    for (std::size_t i = 12; b.size() - i > 8;) {
        std::string id(b.begin() + i, b.begin() + i + 4);
        std::size_t cb = Le(b, i + 4, 4);
        i += 8;
        if (cb > b.size() - i) return w;
        if (id == "fmt " && cb == 16) {
            w.nTag = Le(b, i, 2);
            w.cChannels = Le(b, i + 2, 2);
            w.nRate = Le(b, i + 4, 4);
            w.nByteRate = Le(b, i + 8, 4);
            w.nBlockAlign = Le(b, i + 12, 2);
            w.cBits = Le(b, i + 14, 2);
            fFormat = true;
        } else if (id == "data") {
            if (!fFormat || cb % 2 != 0 || i + cb != b.size()) return w;
            for (std::size_t k = 0; k < cb; k += 2)
                w.samples.push_back(static_cast<std::int16_t>(Le(b, i + k, 2)));
            w.fValid = true;
            return w;
        }
        i += cb;
    }
    return w;
}

std::vector<std::uint8_t> Unpack(const std::vector<std::uint8_t>& block) {
    zz::BYTE* pb = nullptr;
    zz::DWORD cb = 0;
    if (!zz::Decompress(&pb, &cb, block.data(), static_cast<zz::DWORD>(block.size()))) return {};
    std::vector<std::uint8_t> data(pb, pb + cb);
    zz::FreeBlock(pb);
    return data;
}

double Seconds(const Wave& w) {
    return static_cast<double>(w.samples.size()) / w.nRate;
}

int Peak(const std::vector<std::int16_t>& s) {
    int n = 0;
    for (std::int16_t v : s)
        n = std::max(n, std::abs(static_cast<int>(v)));
    return n;
}

int Limit(double db) {
    return static_cast<int>(32767 * std::pow(10.0, db / 20));
}

std::map<int, Wave> ParseAll(const std::vector<sound::SoundFile>& files) {
    std::map<int, Wave> waves;
    for (const sound::SoundFile& f : files)
        waves[f.nId] = ParseWave(f.nId > 5000 ? Unpack(f.bytes) : f.bytes);
    return waves;
}

const std::vector<sound::SoundFile>& Files() {
    static const std::vector<sound::SoundFile> files = sound::MakeSoundFiles();
    return files;
}

TEST(Sounds, EveryFileIsAShortCleanMonoWave) {
    // Durations in seconds. Logo sound 1 is stopped when sound 2 starts 0.65 s later, and
    // sound 2 should be over when sound 3 starts after another 0.65 s; sound 3 has until the
    // logo's earliest end, 2.95 s after it starts.
    struct Case {
        int nId;
        double minSeconds, maxSeconds;
    };
    const Case rgCase[] = {
        {115, 0.3, 1.0},  {116, 0.03, 0.15}, {117, 0.005, 0.05}, {118, 0.5, 1.5},  {119, 0.1, 0.4},
        {120, 0.05, 0.2}, {121, 0.5, 1.5},   {122, 1.3, 2.5},    {123, 1.3, 2.5},  {124, 0.02, 0.1},
        {125, 0.2, 0.4},  {5001, 0.3, 0.65}, {5002, 0.3, 0.65},  {5003, 0.6, 2.95}};
    for (const sound::SoundFile& f : Files()) // the names the resource script uses
        EXPECT_EQ(f.name, (f.nId < 5000 ? "wave" : "logo") + std::to_string(f.nId) +
                              (f.nId < 5000 ? ".wav" : ".zz"));
    std::map<int, Wave> waves = ParseAll(Files());
    ASSERT_EQ(waves.size(), std::size(rgCase));
    for (const Case& c : rgCase) {
        SCOPED_TRACE("sound " + std::to_string(c.nId));
        const Wave& w = waves[c.nId];
        ASSERT_TRUE(w.fValid);
        EXPECT_EQ(w.nTag, 1);
        EXPECT_EQ(w.cChannels, 1);
        EXPECT_TRUE(w.nRate == 22050 || w.nRate == 11025) << w.nRate;
        EXPECT_EQ(w.cBits, 16);
        EXPECT_EQ(w.nBlockAlign, 2);
        EXPECT_EQ(w.nByteRate, w.nRate * 2);
        EXPECT_GE(Seconds(w), c.minSeconds);
        EXPECT_LE(Seconds(w), c.maxSeconds);

        bool fRolling = c.nId == 122 || c.nId == 123;
        int nPeak = Peak(w.samples);
        EXPECT_LE(nPeak, Limit(fRolling ? -6.0 : -3.0));
        EXPECT_GE(nPeak, Limit(-12.0)) << "too quiet";
        double sum = 0;
        for (std::int16_t v : w.samples)
            sum += v;
        EXPECT_LE(std::fabs(sum / static_cast<double>(w.samples.size())), 16.0) << "DC offset";
        // No click at either end: the edges are silent and the first and last half
        // millisecond stay far below the peak.
        EXPECT_LE(std::abs(w.samples.front()), 64);
        EXPECT_LE(std::abs(w.samples.back()), 64);
        std::size_t cEdge = static_cast<std::size_t>(w.nRate / 2000);
        std::vector<std::int16_t> head(w.samples.begin(), w.samples.begin() + cEdge);
        std::vector<std::int16_t> tail(w.samples.end() - cEdge, w.samples.end());
        EXPECT_LE(Peak(head), nPeak / 4);
        EXPECT_LE(Peak(tail), nPeak / 4);
    }
}

// Root mean square of the samples in [iFirst, iFirst + c).
double Rms(const std::vector<std::int16_t>& s, std::size_t iFirst, std::size_t c) {
    double sum = 0;
    for (std::size_t i = iFirst; i < iFirst + c; ++i)
        sum += static_cast<double>(s[i]) * s[i];
    return std::sqrt(sum / static_cast<double>(c));
}

// Zero crossings per second: a rough pitch, enough to tell the two rumbles apart.
double Crossings(const std::vector<std::int16_t>& s, int nRate) {
    int c = 0;
    for (std::size_t i = 1; i < s.size(); ++i)
        c += (s[i - 1] < 0) != (s[i] < 0);
    return static_cast<double>(c) * nRate / static_cast<double>(s.size());
}

TEST(Sounds, RollingPairIsSteadyBlendsAndDoesNotClip) {
    std::map<int, Wave> waves = ParseAll(Files());
    const Wave& blue = waves[122];
    const Wave& red = waves[123];
    ASSERT_TRUE(blue.fValid && red.fValid);
    ASSERT_EQ(blue.nRate, red.nRate);

    for (std::size_t i = 0; i < std::min(blue.samples.size(), red.samples.size()); ++i)
        ASSERT_LE(std::abs(blue.samples[i] + red.samples[i]), 32767) << "at sample " << i;

    // The sound is cut wherever the last glide ends: after the fade-in, every stretch of it
    // must be as loud as the whole, with no swell or event late in it.
    for (const Wave* w : {&blue, &red}) {
        std::size_t cWindow = static_cast<std::size_t>(w->nRate / 5);
        std::size_t iFirst = static_cast<std::size_t>(w->nRate / 10);
        double whole = Rms(w->samples, iFirst, w->samples.size() - iFirst - cWindow);
        for (std::size_t i = iFirst; i + cWindow < w->samples.size() - w->nRate / 50;
             i += cWindow / 2) {
            double db = 20 * std::log10(Rms(w->samples, i, cWindow) / whole);
            EXPECT_LE(std::fabs(db), 2.0) << "window at " << i;
        }
    }
    // Blue is the lower of the two.
    EXPECT_LT(Crossings(blue.samples, blue.nRate) * 1.2, Crossings(red.samples, red.nRate));
}

TEST(Sounds, ProgramWritesTheSameFilesEveryRun) {
    namespace fs = std::filesystem;
    fs::path root = fs::path(::testing::TempDir()) / "kelvano-sound-test";
    fs::remove_all(root);
    for (const char* pszRun : {"a", "b"}) {
        std::string command =
            std::string(SOUND_PROGRAM) + " --out '" + (root / pszRun).string() + "'";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
    }
    auto entries = fs::directory_iterator(root / "a");
    EXPECT_EQ(static_cast<std::size_t>(std::distance(begin(entries), end(entries))),
              Files().size());
    for (const sound::SoundFile& f : Files()) {
        for (const char* pszRun : {"a", "b"}) {
            std::ifstream in(root / pszRun / f.name, std::ios::binary);
            std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
            EXPECT_TRUE(bytes == f.bytes) << pszRun << "/" << f.name;
        }
    }
    fs::remove_all(root);
}

} // namespace
