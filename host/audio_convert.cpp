// PCM conversion. Bits and channels are converted here with exact integer steps (SDL's
// type converter goes through floats and maps 16-bit silence to 127, which would click
// against 8-bit silence 128); the rate goes through SDL's resampler on 16-bit samples.
// SDL_BuildAudioCVT and SDL_ConvertAudio need no SDL_Init.
#include "host/audio.h"

#include <SDL.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <vector>

namespace host {
namespace {

constexpr DWORD kMinRate = 1000;
constexpr DWORD kMaxRate = 192000;
// Frames the resampler may add to the exact length (it has not been seen to add any).
constexpr std::uint64_t kResampleSlack = 4;

std::uint64_t TargetFrames(const WAVEFORMATEX& from, const WAVEFORMATEX& to, std::uint64_t frames) {
    if (from.nSamplesPerSec == to.nSamplesPerSec || frames == 0) return frames;
    return (frames * to.nSamplesPerSec + from.nSamplesPerSec - 1) / from.nSamplesPerSec +
           kResampleSlack;
}

// The resampler's work buffer for the frames, in bytes; also what SDL's int lengths allow.
std::uint64_t WorkBytes(const WAVEFORMATEX& from, const WAVEFORMATEX& to, std::uint64_t frames) {
    const std::uint64_t mult = to.nSamplesPerSec / from.nSamplesPerSec + 2;
    return frames * to.nChannels * 2 * mult;
}

} // namespace

bool IsConvertiblePcm(const WAVEFORMATEX& fmt) {
    return fmt.wFormatTag == WAVE_FORMAT_PCM && (fmt.nChannels == 1 || fmt.nChannels == 2) &&
           (fmt.wBitsPerSample == 8 || fmt.wBitsPerSample == 16) &&
           fmt.nSamplesPerSec >= kMinRate && fmt.nSamplesPerSec <= kMaxRate &&
           fmt.nBlockAlign == fmt.nChannels * fmt.wBitsPerSample / 8;
}

bool PcmConvertSize(const WAVEFORMATEX& from, const WAVEFORMATEX& to, DWORD cbSource,
                    DWORD* pcbTarget) {
    if (pcbTarget == nullptr || !IsConvertiblePcm(from) || !IsConvertiblePcm(to)) return false;
    const std::uint64_t frames = cbSource / from.nBlockAlign;
    const std::uint64_t cb = TargetFrames(from, to, frames) * to.nBlockAlign;
    if (cb > UINT32_MAX || WorkBytes(from, to, frames) > INT_MAX) return false;
    *pcbTarget = static_cast<DWORD>(cb);
    return true;
}

bool PcmConvert(const WAVEFORMATEX& from, const void* pSource, DWORD cbSource,
                const WAVEFORMATEX& to, void* pTarget, DWORD cbTarget, DWORD* pcbWritten) {
    DWORD cbNeeded;
    if (pcbWritten == nullptr || !PcmConvertSize(from, to, cbSource, &cbNeeded)) return false;
    *pcbWritten = 0;
    const std::size_t frames = cbSource / from.nBlockAlign;
    if (frames == 0) return true;
    if (pSource == nullptr || pTarget == nullptr) return false;

    // 16-bit samples in the target's channels.
    const auto* src = static_cast<const std::uint8_t*>(pSource);
    auto sample = [&](std::size_t frame, int channel) -> int {
        const std::size_t i = frame * from.nChannels + static_cast<std::size_t>(channel);
        if (from.wBitsPerSample == 8) return (src[i] - 128) * 256;
        return static_cast<std::int16_t>(src[2 * i] | src[2 * i + 1] << 8);
    };
    const int channels = to.nChannels;
    std::vector<std::int16_t> work(frames * static_cast<std::size_t>(channels));
    for (std::size_t f = 0; f < frames; ++f) {
        if (from.nChannels == channels) {
            for (int c = 0; c < channels; ++c)
                work[f * channels + c] = std::int16_t(sample(f, c));
        } else if (channels == 2) {
            work[2 * f] = work[2 * f + 1] = static_cast<std::int16_t>(sample(f, 0));
        } else {
            work[f] = static_cast<std::int16_t>((sample(f, 0) + sample(f, 1)) / 2);
        }
    }

    std::size_t framesOut = frames;
    if (from.nSamplesPerSec != to.nSamplesPerSec) {
        SDL_AudioCVT cvt;
        if (SDL_BuildAudioCVT(&cvt, AUDIO_S16LSB, static_cast<Uint8>(channels),
                              static_cast<int>(from.nSamplesPerSec), AUDIO_S16LSB,
                              static_cast<Uint8>(channels),
                              static_cast<int>(to.nSamplesPerSec)) < 0)
            return false;
        cvt.len = static_cast<int>(work.size() * 2);
        std::vector<std::int16_t> buffer(
            (static_cast<std::size_t>(cvt.len) * std::max(cvt.len_mult, 1) + 1) / 2 + 64);
        std::memcpy(buffer.data(), work.data(), work.size() * 2);
        cvt.buf = reinterpret_cast<Uint8*>(buffer.data());
        if (SDL_ConvertAudio(&cvt) != 0) return false;
        framesOut = std::min<std::size_t>(static_cast<std::size_t>(cvt.len_cvt) / 2 / channels,
                                          buffer.size() / channels);
        buffer.resize(framesOut * channels);
        work = std::move(buffer);
    }

    framesOut = std::min<std::size_t>(framesOut, cbTarget / to.nBlockAlign);
    const std::size_t samples = framesOut * channels;
    auto* dst = static_cast<std::uint8_t*>(pTarget);
    for (std::size_t i = 0; i < samples; ++i) {
        const auto s = static_cast<std::uint16_t>(work[i]);
        if (to.wBitsPerSample == 8) {
            dst[i] = static_cast<std::uint8_t>((s >> 8) ^ 0x80);
        } else {
            dst[2 * i] = static_cast<std::uint8_t>(s);
            dst[2 * i + 1] = static_cast<std::uint8_t>(s >> 8);
        }
    }
    *pcbWritten = static_cast<DWORD>(framesOut * to.nBlockAlign);
    return true;
}

} // namespace host
