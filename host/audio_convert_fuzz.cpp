// Feeds arbitrary formats and samples to the PCM conversion: it must refuse or convert
// without writing past the size it asked for, in whole frames of the target.
#include "host/audio.h"

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

host::WAVEFORMATEX Format(const std::uint8_t* p) {
    // Mostly sensible formats, now and then a broken one.
    static const host::DWORD kRates[] = {1000, 8000, 11025, 22050, 44100, 48000, 192000, 999};
    host::WAVEFORMATEX f = host::MakePcmFormat(kRates[p[0] & 7], (p[1] & 1) ? 16 : 8,
                                               static_cast<host::WORD>(1 + ((p[1] >> 1) & 1)));
    if (p[1] & 0x80) f.nSamplesPerSec = 1000u + p[2] * 750u;
    if (p[1] & 0x40) f.nBlockAlign = p[2] & 7;
    if (p[1] & 0x20) f.nChannels = p[2] & 3;
    if (p[1] & 0x10) f.wFormatTag = p[2];
    return f;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 6 || size > 8192) return 0;
    const host::WAVEFORMATEX from = Format(data), to = Format(data + 3);
    const auto cbSource = static_cast<host::DWORD>(size - 6);
    host::DWORD cb = 0;
    if (!host::PcmConvertSize(from, to, cbSource, &cb)) return 0;
    std::vector<std::uint8_t> source(data + 6, data + size), target(cb);
    host::DWORD written = 0;
    if (!host::PcmConvert(from, source.data(), cbSource, to, target.data(), cb, &written))
        __builtin_trap(); // what PcmConvertSize sized converts
    if (written > cb || written % to.nBlockAlign != 0) __builtin_trap();
    return 0;
}
