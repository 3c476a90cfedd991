#include "tools/sound/sounds.h"

#include "anim/cea_zz.h"
#include "tools/sound/synth.h"

#include <cmath>
#include <numbers>
#include <stdexcept>
#include <string>
#include <utility>

namespace sound {
namespace {

// Equal-tempered pitch, in semitones from A4.
double Note(int nSemitones) {
    return 440.0 * std::pow(2.0, nSemitones / 12.0);
}

constexpr int C4 = -9, D4 = -7, E4 = -5, F4 = -4, G4 = -2, A4 = 0, C5 = 3, D5 = 5, E5 = 7, G5 = 10,
              A5 = 12, C6 = 15, E6 = 19, G6 = 22, C7 = 27;

// Struck, glassy notes: the octave and twelfth ring briefly above the fundamental.
const std::vector<Tone::Partial> kChime{{2, 0.35}, {3, 0.1}};
const std::vector<Tone::Partial> kBright{{2, 0.4}, {3, 0.15}, {4, 0.08}};
// Rounder notes for the sad phrase and the refusal: little above the octave, so no buzz.
const std::vector<Tone::Partial> kSoft{{2, 0.25}, {3, 0.06}};

Tone Chime(double start, int nNote, double length, double decay, double level,
           const std::vector<Tone::Partial>& partials = kChime) {
    Tone tone;
    tone.start = start;
    tone.hz = Note(nNote);
    tone.length = length;
    tone.decay = decay;
    tone.level = level;
    tone.attack = 0.003;
    tone.release = 0.03;
    tone.partials = partials;
    return tone;
}

// New game: a rising chime, G4 C5 E5 G5.
Signal NewGame() {
    Signal s;
    const int rgNote[] = {G4, C5, E5, G5};
    for (int i = 0; i < 4; ++i)
        Add(s, Chime(0.07 * i, rgNote[i], 0.5, 0.18, 0.6));
    return s;
}

// Confirm: a short, soft tone with a hint of a click at its front.
Signal Confirm() {
    Signal s;
    Tone tone;
    tone.hz = Note(C6);
    tone.length = 0.09;
    tone.attack = 0.002;
    tone.decay = 0.025;
    tone.partials = {{2, 0.15}};
    Add(s, tone);
    Hiss click;
    click.kind = Biquad::Kind::HighPass;
    click.hz = 4000;
    click.q = 0.7;
    click.length = 0.006;
    click.level = 0.2;
    Add(s, click);
    return s;
}

// Click: a tick of a few milliseconds.
Signal Click() {
    Signal s;
    Hiss tick;
    tick.nSeed = 11;
    tick.hz = 3500;
    tick.q = 1.5;
    tick.length = 0.012;
    tick.attack = 0.001;
    tick.decay = 0.003;
    tick.release = 0.003;
    Add(s, tick);
    Tone ping;
    ping.hz = 2200;
    ping.length = 0.02;
    ping.attack = 0.001;
    ping.decay = 0.004;
    ping.release = 0.004;
    ping.level = 0.3;
    Add(s, ping);
    return s;
}

// The computer wins: A4 F4 D4, a falling D minor phrase, the last note over its fifth.
Signal ComputerWins() {
    Signal s;
    Add(s, Chime(0.0, A4, 0.32, 0.5, 0.6, kSoft));
    Add(s, Chime(0.2, F4, 0.32, 0.5, 0.6, kSoft));
    Add(s, Chime(0.4, D4, 0.7, 0.35, 0.6, kSoft));
    Add(s, Chime(0.4, D4 - 5, 0.7, 0.35, 0.3, kSoft));
    return s;
}

// A cell breaks: a crack of band-passed noise grains over a low thud that drops in pitch.
Signal CellBreaks() {
    Signal s;
    struct Grain {
        double start, hz, hzEnd, q, length, decay, level;
    };
    const Grain rgGrain[] = {{0.0, 2600, 1200, 0.8, 0.06, 0.012, 1.0},
                             {0.018, 4000, 0, 2.0, 0.03, 0.006, 0.6},
                             {0.041, 3000, 0, 2.0, 0.03, 0.006, 0.4}};
    std::uint32_t nSeed = 3;
    for (const Grain& g : rgGrain) {
        Hiss crack;
        crack.start = g.start;
        crack.nSeed = nSeed++;
        crack.hz = g.hz;
        crack.hzEnd = g.hzEnd;
        crack.q = g.q;
        crack.length = g.length;
        crack.attack = 0.0005;
        crack.decay = g.decay;
        crack.level = g.level;
        Add(s, crack);
    }
    Tone thud;
    thud.hz = 120;
    thud.hzEnd = 50;
    thud.length = 0.25;
    thud.attack = 0.002;
    thud.decay = 0.07;
    thud.level = 0.8;
    thud.partials = {{2, 0.2}};
    Add(s, thud);
    Hiss rumble;
    rumble.nSeed = 9;
    rumble.kind = Biquad::Kind::LowPass;
    rumble.hz = 250;
    rumble.q = 0.7;
    rumble.length = 0.2;
    rumble.decay = 0.05;
    rumble.level = 1.5;
    Add(s, rumble);
    return s;
}

// A piece vanishes: a quick downward plop.
Signal PieceVanishes() {
    Signal s;
    Tone plop;
    plop.hz = 900;
    plop.hzEnd = 220;
    plop.length = 0.12;
    plop.attack = 0.002;
    plop.decay = 0.05;
    plop.partials = {{2, 0.1}};
    Add(s, plop);
    return s;
}

// A human wins: C5 E5 G5 C6 E6 rising quickly into a ringing C major chord.
Signal HumanWins() {
    Signal s;
    const int rgNote[] = {C5, E5, G5, C6, E6};
    for (int i = 0; i < 5; ++i)
        Add(s, Chime(0.08 * i, rgNote[i], 0.55, 0.22, 0.5, kBright));
    for (int nNote : {C6, E6, G6})
        Add(s, Chime(0.4, nNote, 0.8, 0.35, 0.35, kBright));
    return s;
}

// Rolling: band-passed noise around hz with its octave, slowly wobbling in level and centre.
// Nothing in it changes over time apart from the wobble, so a cut anywhere sounds the same.
Signal Rumble(double hz, double hzWobble, std::uint32_t nSeed) {
    Signal s(Samples(kRollingSeconds));
    Noise noise(nSeed);
    Biquad body(Biquad::Kind::BandPass, 2.0, hz);
    Biquad octave(Biquad::Kind::BandPass, 3.0, 2 * hz);
    // Two low-pass stages keep hiss out of the rumble.
    Biquad smooth(Biquad::Kind::LowPass, 0.707, 4 * hz);
    Biquad smoother(Biquad::Kind::LowPass, 0.707, 4 * hz);
    for (std::size_t i = 0; i < s.size(); ++i) {
        double t = static_cast<double>(i) / kRate;
        double w = std::sin(2 * std::numbers::pi * hzWobble * t);
        body.Tune(hz * (1 + 0.03 * w));
        octave.Tune(2 * hz * (1 + 0.03 * w));
        double x = noise.Next();
        double y = smoother.Process(smooth.Process(body.Process(x) + 0.4 * octave.Process(x)));
        s[i] = y * (1 + 0.25 * w);
    }
    return s;
}

// Picking up or putting down a piece: a soft upward pop.
Signal PickUp() {
    Signal s;
    Tone pop;
    pop.hz = 380;
    pop.hzEnd = 760;
    pop.length = 0.05;
    pop.attack = 0.003;
    pop.decay = 0.015;
    pop.release = 0.01;
    pop.partials = {{2, 0.1}};
    Add(s, pop);
    return s;
}

// Refusal: two low, round knocks, the second a tone lower.
Signal Refusal() {
    Signal s;
    const double rgHz[] = {Note(G4 - 12), Note(F4 - 12)};
    for (int i = 0; i < 2; ++i) {
        Tone bonk;
        bonk.start = 0.16 * i;
        bonk.hz = rgHz[i];
        bonk.hzEnd = rgHz[i] * 0.94;
        bonk.length = 0.12;
        bonk.attack = 0.004;
        bonk.decay = 0.045;
        bonk.release = 0.02;
        bonk.partials = {{2, 0.3}, {3, 0.05}};
        Add(s, bonk);
    }
    return s;
}

// Logo sound 1 starts with the fast pictures and is stopped 0.65 s later when sound 2
// starts: a rising sweep that has faded out by then, so the stop is never heard.
Signal LogoSweep() {
    Signal s;
    for (double ratio : {1.0, 1.5}) {
        Tone sweep;
        sweep.hz = Note(C4) * ratio;
        sweep.hzEnd = Note(C6) * ratio;
        sweep.length = 0.6;
        sweep.attack = 0.15;
        sweep.release = 0.2;
        sweep.level = ratio == 1.0 ? 0.5 : 0.25;
        sweep.partials = {{2, 0.3}, {3, 0.1}};
        Add(s, sweep);
    }
    Hiss air;
    air.nSeed = 7;
    air.hz = 600;
    air.hzEnd = 5000;
    air.q = 1.5;
    air.length = 0.6;
    air.attack = 0.2;
    air.release = 0.25;
    air.level = 0.7;
    Add(s, air);
    return s;
}

// Logo sound 2 accompanies the held picture, 0.65 s until sound 3: a warm C major chord
// with a soft thump, gone before sound 3 begins.
Signal LogoChord() {
    Signal s;
    const std::pair<int, double> rgVoice[] = {
        {C4 - 12, 0.5}, {G4 - 12, 0.45}, {C4, 0.4}, {E4, 0.35}, {G4, 0.25}};
    for (auto [nNote, level] : rgVoice) {
        Tone tone = Chime(0, nNote, 0.64, 0.3, level);
        tone.attack = 0.008;
        tone.release = 0.1;
        Add(s, tone);
    }
    Hiss thump;
    thump.nSeed = 5;
    thump.kind = Biquad::Kind::LowPass;
    thump.hz = 800;
    thump.q = 0.7;
    thump.length = 0.08;
    thump.decay = 0.02;
    thump.level = 0.8;
    Add(s, thump);
    return s;
}

// Logo sound 3 starts with the slow pictures, which change every 0.1 s for 0.6 s: one chime
// per picture up the scale, then a chord that rings out while the logo holds its last picture.
Signal LogoChimes() {
    Signal s;
    const int rgNote[] = {C5, D5, E5, G5, A5, C6};
    for (int i = 0; i < 6; ++i)
        Add(s, Chime(0.1 * i, rgNote[i], 0.5, 0.15, 0.55));
    for (int nNote : {C6, E6, G6, C7})
        Add(s, Chime(0.6, nNote, 1.1, 0.4, 0.4, kBright));
    return s;
}

struct Recipe {
    int nId;
    Signal (*pfnRender)();
    double peakDb;
    double fadeIn, fadeOut;
};

Signal BlueRolling() {
    return Rumble(Note(A4 - 24), 5.0, 122);
}

// A fifth above Blue, wobbling at 3:2 of its rate: the two blend when both sides' pieces move.
Signal RedRolling() {
    return Rumble(Note(E4 - 12), 7.5, 123);
}

// Effects that answer the stylus are quieter than the moments of the game.
const Recipe kRecipes[] = {
    {115, NewGame, -4.0, 0.002, 0.01},
    {116, Confirm, -8.0, 0.001, 0.005},
    {117, Click, -10.0, 0.001, 0.003},
    {118, ComputerWins, -4.0, 0.003, 0.02},
    {119, CellBreaks, -3.5, 0.001, 0.01},
    {120, PieceVanishes, -5.0, 0.002, 0.01},
    {121, HumanWins, -3.5, 0.002, 0.02},
    {122, BlueRolling, kRollingPeakDb, 0.04, 0.01},
    {123, RedRolling, kRollingPeakDb, 0.04, 0.01},
    {124, PickUp, -7.0, 0.002, 0.005},
    {125, Refusal, -4.0, 0.003, 0.01},
    {5001, LogoSweep, -4.0, 0.003, 0.02},
    {5002, LogoChord, -4.0, 0.003, 0.02},
    {5003, LogoChimes, -4.0, 0.003, 0.03},
};

} // namespace

std::vector<std::int16_t> RenderSound(int nId) {
    for (const Recipe& r : kRecipes)
        if (r.nId == nId) return Finish(r.pfnRender(), r.peakDb, r.fadeIn, r.fadeOut);
    return {};
}

std::vector<SoundFile> MakeSoundFiles() {
    std::vector<SoundFile> files;
    for (const Recipe& r : kRecipes) {
        std::vector<std::uint8_t> wave = EncodeWave(RenderSound(r.nId));
        if (r.nId < 5000) {
            files.push_back({r.nId, "wave" + std::to_string(r.nId) + ".wav", std::move(wave)});
            continue;
        }
        zz::BYTE* pbBlock = nullptr;
        zz::DWORD cbBlock = 0;
        if (!zz::Compress(&pbBlock, &cbBlock, wave.data(), static_cast<zz::DWORD>(wave.size())))
            throw std::runtime_error("cannot pack logo sound " + std::to_string(r.nId));
        files.push_back({r.nId, "logo" + std::to_string(r.nId) + ".zz",
                         std::vector<std::uint8_t>(pbBlock, pbBlock + cbBlock)});
        zz::FreeBlock(pbBlock);
    }
    return files;
}

} // namespace sound
