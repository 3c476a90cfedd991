#include "tools/sound/synth.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace sound {
namespace {

constexpr double kTwoPi = 2 * std::numbers::pi;
// Partials and filters stay clear of the Nyquist frequency, where they would alias or
// become unstable.
constexpr double kHighest = 0.45 * kRate;

double Glide(double hz, double hzEnd, double fraction) {
    if (hzEnd <= 0 || hzEnd == hz) return hz;
    return hz * std::pow(hzEnd / hz, fraction);
}

void PutLe(std::vector<std::uint8_t>& out, std::uint32_t n, int cb) {
    for (int i = 0; i < cb; ++i)
        out.push_back(static_cast<std::uint8_t>(n >> (8 * i)));
}

void PutTag(std::vector<std::uint8_t>& out, const char* psz) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(psz[i]));
}

} // namespace

std::size_t Samples(double seconds) {
    return seconds > 0 ? static_cast<std::size_t>(std::lround(seconds * kRate)) : 0;
}

double Noise::Next() {
    n_ ^= n_ << 13;
    n_ ^= n_ >> 17;
    n_ ^= n_ << 5;
    return static_cast<double>(n_) / 2147483648.0 - 1.0;
}

void Biquad::Tune(double hz) {
    hz = std::clamp(hz, 10.0, kHighest);
    double w0 = kTwoPi * hz / kRate;
    double c = std::cos(w0);
    double alpha = std::sin(w0) / (2 * q_);
    double a0 = 1 + alpha;
    switch (kind_) {
    case Kind::LowPass:
        b0_ = (1 - c) / 2;
        b1_ = 1 - c;
        b2_ = (1 - c) / 2;
        break;
    case Kind::HighPass:
        b0_ = (1 + c) / 2;
        b1_ = -(1 + c);
        b2_ = (1 + c) / 2;
        break;
    case Kind::BandPass: // unit gain at the centre
        b0_ = alpha;
        b1_ = 0;
        b2_ = -alpha;
        break;
    }
    b0_ /= a0;
    b1_ /= a0;
    b2_ /= a0;
    a1_ = -2 * c / a0;
    a2_ = (1 - alpha) / a0;
}

double Biquad::Process(double x) {
    double y = b0_ * x + b1_ * x1_ + b2_ * x2_ - a1_ * y1_ - a2_ * y2_;
    x2_ = x1_;
    x1_ = x;
    y2_ = y1_;
    y1_ = y;
    return y;
}

double Envelope(double t, double length, double attack, double decay, double release) {
    if (t < 0 || t >= length) return 0;
    double g = 1;
    if (attack > 0 && t < attack) g = 0.5 - 0.5 * std::cos(std::numbers::pi * t / attack);
    if (decay > 0) g *= std::exp(-t / decay);
    double r = std::min(release, length / 2);
    if (r > 0 && length - t < r) g *= 0.5 - 0.5 * std::cos(std::numbers::pi * (length - t) / r);
    return g;
}

void Add(Signal& signal, const Tone& tone) {
    std::size_t iFirst = Samples(tone.start);
    std::size_t c = Samples(tone.length);
    if (signal.size() < iFirst + c) signal.resize(iFirst + c, 0.0);

    std::vector<Tone::Partial> partials{{1, 1}};
    partials.insert(partials.end(), tone.partials.begin(), tone.partials.end());
    std::vector<double> phases(partials.size(), 0.0);
    for (std::size_t i = 0; i < c; ++i) {
        double t = static_cast<double>(i) / kRate;
        double hz = Glide(tone.hz, tone.hzEnd, t / tone.length);
        double sum = 0;
        for (std::size_t k = 0; k < partials.size(); ++k) {
            double m = partials[k].multiple;
            if (hz * m < kHighest) {
                double decay = tone.decay > 0 ? tone.decay / std::max(1.0, m) : 0;
                sum += partials[k].level * std::sin(phases[k]) *
                       Envelope(t, tone.length, tone.attack, decay, tone.release);
            }
            phases[k] = std::fmod(phases[k] + kTwoPi * hz * m / kRate, kTwoPi);
        }
        signal[iFirst + i] += tone.level * sum;
    }
}

void Add(Signal& signal, const Hiss& hiss) {
    std::size_t iFirst = Samples(hiss.start);
    std::size_t c = Samples(hiss.length);
    if (signal.size() < iFirst + c) signal.resize(iFirst + c, 0.0);

    Noise noise(hiss.nSeed);
    Biquad filter(hiss.kind, hiss.q, hiss.hz);
    for (std::size_t i = 0; i < c; ++i) {
        double t = static_cast<double>(i) / kRate;
        if (hiss.hzEnd > 0) filter.Tune(Glide(hiss.hz, hiss.hzEnd, t / hiss.length));
        double g = Envelope(t, hiss.length, hiss.attack, hiss.decay, hiss.release);
        signal[iFirst + i] += hiss.level * g * filter.Process(noise.Next());
    }
}

std::vector<std::int16_t> Finish(const Signal& signal, double peakDb, double fadeIn,
                                 double fadeOut) {
    if (signal.empty()) return {};
    // Half-cosine ramps that start and end at exactly zero. The offset is taken out under
    // the same ramps, so that the ends stay zero and the mean becomes exactly zero.
    std::size_t c = signal.size();
    Signal ramp(c, 1.0);
    std::size_t cIn = std::min(Samples(fadeIn), c);
    std::size_t cOut = std::min(Samples(fadeOut), c);
    for (std::size_t i = 0; i < cIn; ++i)
        ramp[i] *= 0.5 - 0.5 * std::cos(std::numbers::pi * static_cast<double>(i) /
                                        static_cast<double>(cIn));
    for (std::size_t i = 0; i < cOut; ++i)
        ramp[c - 1 - i] *= 0.5 - 0.5 * std::cos(std::numbers::pi * static_cast<double>(i) /
                                                static_cast<double>(cOut));
    Signal x(c);
    double sum = 0, weight = 0;
    for (std::size_t i = 0; i < c; ++i) {
        x[i] = signal[i] * ramp[i];
        sum += x[i];
        weight += ramp[i];
    }
    double mean = weight > 0 ? sum / weight : 0;
    for (std::size_t i = 0; i < c; ++i)
        x[i] -= mean * ramp[i];

    double peak = 0;
    for (double v : x)
        peak = std::max(peak, std::fabs(v));
    double scale = peak > 0 ? 32767.0 * std::pow(10.0, peakDb / 20) / peak : 0;
    std::vector<std::int16_t> samples(x.size());
    for (std::size_t i = 0; i < x.size(); ++i)
        samples[i] =
            static_cast<std::int16_t>(std::clamp(std::lround(x[i] * scale), -32767L, 32767L));
    return samples;
}

std::vector<std::uint8_t> EncodeWave(const std::vector<std::int16_t>& samples) {
    constexpr std::uint32_t kChannels = 1, kBits = 16, kBlockAlign = kChannels * kBits / 8;
    std::uint32_t cbData = static_cast<std::uint32_t>(samples.size() * kBlockAlign);
    std::vector<std::uint8_t> out;
    out.reserve(44 + cbData);
    PutTag(out, "RIFF");
    PutLe(out, 36 + cbData, 4);
    PutTag(out, "WAVE");
    PutTag(out, "fmt ");
    PutLe(out, 16, 4);
    PutLe(out, 1, 2); // PCM
    PutLe(out, kChannels, 2);
    PutLe(out, kRate, 4);
    PutLe(out, kRate * kBlockAlign, 4);
    PutLe(out, kBlockAlign, 2);
    PutLe(out, kBits, 2);
    PutTag(out, "data");
    PutLe(out, cbData, 4);
    for (std::int16_t s : samples)
        PutLe(out, static_cast<std::uint16_t>(s), 2);
    return out;
}

} // namespace sound
