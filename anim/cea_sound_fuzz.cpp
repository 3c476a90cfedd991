// Loads arbitrary bytes as a RIFF/WAVE file: what loads must be playable 8-bit 22050 Hz data.
#include "anim/cea_sound.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pb, std::size_t cb) {
    Sound sound;
    if (!sound.LoadMemory(pb, static_cast<host::DWORD>(cb))) {
        if (sound.IsLoaded() || sound.GetDataSize() != 0) std::abort();
        return 0;
    }
    const host::WAVEFORMATEX& format = sound.GetFormat();
    if (format.wFormatTag != host::WAVE_FORMAT_PCM || format.nSamplesPerSec != 22050 ||
        format.wBitsPerSample != 8 || (format.nChannels != 1 && format.nChannels != 2) ||
        sound.GetDataSize() == 0)
        std::abort();
    // Every byte is readable.
    unsigned nSum = 0;
    for (host::DWORD i = 0; i < sound.GetDataSize(); ++i)
        nSum += sound.GetData()[i];
    volatile unsigned nKeep = nSum;
    (void)nKeep;
    return 0;
}
