// A small deterministic synthesiser for the game's sounds: sine partials with glides and
// envelopes, filtered noise from a fixed-seed generator, and the finishing steps that turn a
// rendered signal into a clean 16-bit PCM wave file (no DC, no clicks at the ends, a fixed
// peak). Same code, same bytes: nothing depends on the clock or on outside data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace sound {

constexpr int kRate = 22050;

// One channel of samples at kRate, nominally within [-1, 1] before finishing.
using Signal = std::vector<double>;

// Whole samples in a duration of the given seconds (negative durations give 0).
std::size_t Samples(double seconds);

// White noise from xorshift32, uniform in [-1, 1). A zero seed is replaced, since it would
// stay zero for ever.
class Noise {
public:
    explicit Noise(std::uint32_t nSeed) : n_(nSeed != 0 ? nSeed : 0x9E3779B9u) {}
    double Next();

private:
    std::uint32_t n_;
};

// A second-order filter section whose centre or cut-off may be retuned at every sample.
class Biquad {
public:
    enum class Kind { LowPass, HighPass, BandPass };
    Biquad(Kind kind, double q, double hz) : kind_(kind), q_(q) { Tune(hz); }
    void Tune(double hz);
    double Process(double x);

private:
    Kind kind_;
    double q_;
    double b0_ = 0, b1_ = 0, b2_ = 0, a1_ = 0, a2_ = 0;
    double x1_ = 0, x2_ = 0, y1_ = 0, y2_ = 0;
};

// A pitched note: a fundamental with optional partials, a short attack, an exponential
// decay and a release that brings it to exactly zero at its end, so notes never click.
struct Tone {
    double start = 0;       // seconds into the signal
    double length = 0.2;    // seconds until the note is silent
    double hz = 440;        // starting pitch
    double hzEnd = 0;       // pitch reached at the end (exponential glide); 0 keeps hz
    double level = 1;       // peak amplitude of the fundamental
    double attack = 0.004;  // seconds of rise
    double decay = 0;       // time constant of the fall in seconds; 0 holds the level
    double release = 0.012; // seconds of fade before the end
    struct Partial {
        double multiple;
        double level; // relative to the fundamental
    };
    std::vector<Partial> partials; // higher partials decay faster, as in struck objects
};

// A burst of noise through a band-pass, low-pass or high-pass filter whose frequency glides
// exponentially from hz to hzEnd, with the same envelope shape as a Tone.
struct Hiss {
    double start = 0;
    double length = 0.05;
    std::uint32_t nSeed = 1;
    Biquad::Kind kind = Biquad::Kind::BandPass;
    double q = 1;
    double hz = 1000;
    double hzEnd = 0; // 0 keeps hz
    double level = 1;
    double attack = 0.001;
    double decay = 0;
    double release = 0.005;
};

// Mixes a note or a burst into the signal, growing it as needed.
void Add(Signal& signal, const Tone& tone);
void Add(Signal& signal, const Hiss& hiss);

// Envelope gain at time t of a note with these timings (0 outside [0, length]).
double Envelope(double t, double length, double attack, double decay, double release);

// Turns a signal into 16-bit samples: removes the DC offset, fades the first fadeIn and the
// last fadeOut seconds with half cosines (the first and last samples become 0) and scales
// the result so that its largest sample sits peakDb below full scale. A silent signal stays
// silent.
std::vector<std::int16_t> Finish(const Signal& signal, double peakDb, double fadeIn,
                                 double fadeOut);

// A mono 16-bit PCM RIFF/WAVE file at kRate: the header, a 16-byte "fmt " chunk and the
// "data" chunk. An odd data length cannot happen with 16-bit samples, so no pad byte.
std::vector<std::uint8_t> EncodeWave(const std::vector<std::int16_t>& samples);

} // namespace sound
