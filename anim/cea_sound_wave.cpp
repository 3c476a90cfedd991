// Sound: loading. RIFF/WAVE files, memory blocks, resources and raw data, converted once to
// 8-bit unsigned PCM at 22050 samples per second, mono or stereo.
#include "anim/cea_sound.h"

#include "foundation/memmgr.h"
#include "host/file.h"

#include <cstring>

using host::BYTE;
using host::DWORD;
using host::WAVEFORMATEX;
using host::WORD;

namespace {

constexpr DWORD kMixRate = 22050;
constexpr WORD kMixBits = 8;

DWORD ReadDword(const BYTE* pb) {
    return pb[0] | pb[1] << 8 | pb[2] << 16 | static_cast<DWORD>(pb[3]) << 24;
}

// Sample data on its way through the conversions; pbOwned is the last converted buffer.
struct Samples {
    WAVEFORMATEX format;
    const BYTE* pbData;
    DWORD cbData;
    BYTE* pbOwned;
};

// One conversion step to PCM with the given rate, bits and channels; nothing to do when the
// source already is that. False (and the samples as they were) when it cannot convert.
bool ConvertTo(Samples* pSamples, DWORD nRate, WORD wBits, WORD nChannels) {
    const WAVEFORMATEX& from = pSamples->format;
    if (from.wFormatTag == host::WAVE_FORMAT_PCM && from.nSamplesPerSec == nRate &&
        from.wBitsPerSample == wBits && from.nChannels == nChannels)
        return true;
    WAVEFORMATEX to{};
    to.wFormatTag = host::WAVE_FORMAT_PCM;
    to.nChannels = nChannels;
    to.nSamplesPerSec = nRate;
    to.wBitsPerSample = wBits;
    to.nBlockAlign = static_cast<WORD>(nChannels * (wBits == 8 ? 1 : 2));
    to.nAvgBytesPerSec = nRate * wBits / 8 * nChannels;
    DWORD cbOut = 0;
    if (!host::PcmConvertSize(from, to, pSamples->cbData, &cbOut) || cbOut == 0) return false;
    auto* pbOut = static_cast<BYTE*>(MemAlloc(cbOut));
    if (pbOut == nullptr) return false;
    std::memset(pbOut, 0x80, cbOut);
    DWORD cbWritten = 0;
    // Only what was written is kept: the rest of the buffer is not a sample of the target
    // format (0x80 bytes are a loud value in 16-bit data).
    if (!host::PcmConvert(from, pSamples->pbData, pSamples->cbData, to, pbOut, cbOut, &cbWritten) ||
        cbWritten == 0 || cbWritten > cbOut) {
        MemFree(pbOut);
        return false;
    }
    if (pSamples->pbOwned != nullptr) MemFree(pSamples->pbOwned);
    pSamples->pbOwned = pbOut;
    pSamples->pbData = pbOut;
    pSamples->cbData = cbWritten;
    pSamples->format = to;
    return true;
}

} // namespace

// The mixer plays 8-bit 22050 Hz mono or stereo only: every source goes through three
// steps (to PCM, to the rate, to 8 bits), and what comes out with another channel count is
// refused rather than played as mono.
static bool ConvertForMixer(Samples* pSamples) {
    WORD nChannels = pSamples->format.nChannels;
    bool fDone = ConvertTo(pSamples, pSamples->format.nSamplesPerSec,
                           pSamples->format.wBitsPerSample, nChannels) &&
                 ConvertTo(pSamples, kMixRate, pSamples->format.wBitsPerSample, nChannels) &&
                 ConvertTo(pSamples, kMixRate, kMixBits, nChannels) &&
                 (nChannels == 1 || nChannels == 2);
    if (!fDone && pSamples->pbOwned != nullptr) {
        MemFree(pSamples->pbOwned);
        pSamples->pbOwned = nullptr;
    }
    return fDone;
}

host::BOOL Sound::LoadRaw(const WAVEFORMATEX* pFormat, const void* pvData, DWORD cbData) {
    Clear();
    if (pFormat == nullptr || pvData == nullptr || cbData == 0) return 0;
    Samples samples{*pFormat, static_cast<const BYTE*>(pvData), cbData, nullptr};
    if (!ConvertForMixer(&samples)) return 0;
    if (samples.pbOwned != nullptr) {
        m_pbData = samples.pbOwned;
    } else {
        DWORD cbSignal = samples.cbData;
        m_pbData = static_cast<BYTE*>(MemAlloc(cbSignal));
        if (m_pbData == nullptr) return 0;
        std::memcpy(m_pbData, samples.pbData, cbSignal);
    }
    m_cbData = samples.cbData;
    m_format = samples.format;
    return 1;
}

host::BOOL Sound::LoadMemory(const void* pvData, DWORD cbData) {
    Clear();
    const auto* pb = static_cast<const BYTE*>(pvData);
    if (pb == nullptr || cbData < 12 || std::memcmp(pb, "RIFF", 4) != 0 ||
        std::memcmp(pb + 8, "WAVE", 4) != 0)
        return 0;
    WAVEFORMATEX format{};
    bool fFormat = false;
    const BYTE* pbSamples = nullptr;
    DWORD cbSamples = 0;
    DWORD iChunk = 12;
    while (iChunk < cbData && cbData - iChunk > 8) {
        const BYTE* pbId = pb + iChunk;
        DWORD cbChunk = ReadDword(pb + iChunk + 4);
        iChunk += 8;
        if (cbChunk > cbData - iChunk) break;
        if (std::memcmp(pbId, "fmt ", 4) == 0) {
            if (cbChunk > 17) {
                std::memcpy(&format, pb + iChunk, sizeof(WAVEFORMATEX));
                fFormat = true;
            } else if (cbChunk == sizeof(host::PCMWAVEFORMAT)) {
                std::memcpy(&format, pb + iChunk, sizeof(host::PCMWAVEFORMAT));
                format.cbSize = 0;
                fFormat = true;
            }
        } else if (std::memcmp(pbId, "data", 4) == 0) {
            pbSamples = pb + iChunk;
            cbSamples = cbChunk;
            break;
        }
        // Chunks are word-aligned: an odd-sized one is followed by a pad byte.
        if (cbChunk >= cbData - iChunk) break;
        iChunk += cbChunk + (cbChunk & 1);
    }
    if (!fFormat || pbSamples == nullptr) return 0;
    return LoadRaw(&format, pbSamples, cbSamples);
}

host::BOOL Sound::LoadFile(const TCHAR* pszFile) {
    Clear();
    if (pszFile == nullptr) return 0;
    host::HANDLE hFile =
        host::CreateFile(pszFile, host::GENERIC_READ, host::FILE_SHARE_READ, host::OPEN_EXISTING);
    if (hFile == host::INVALID_HANDLE_VALUE) return 0;
    host::BOOL fLoaded = 0;
    DWORD cbFile = host::GetFileSize(hFile);
    if (cbFile != host::INVALID_FILE_SIZE && cbFile > 0) {
        auto* pbFile = static_cast<BYTE*>(MemAlloc(cbFile));
        DWORD cbRead = 0;
        if (pbFile != nullptr) {
            if (host::ReadFile(hFile, pbFile, cbFile, &cbRead) && cbRead == cbFile)
                fLoaded = LoadMemory(pbFile, cbFile);
            MemFree(pbFile);
        }
    }
    host::CloseHandle(hFile);
    return fLoaded;
}

static host::BOOL LoadFromResource(Sound* pSound, host::HMODULE hModule, host::ResName name) {
    host::HRSRC hrsrc = host::FindResource(hModule, name, host::ResName("SOUND"));
    if (hrsrc == nullptr) hrsrc = host::FindResource(hModule, name, host::ResName("WAVE"));
    if (hrsrc == nullptr) return 0;
    DWORD cb = host::SizeofResource(hModule, hrsrc);
    const void* pv = host::LockResource(host::LoadResource(hModule, hrsrc));
    return pSound->LoadMemory(pv, cb);
}

host::BOOL Sound::LoadResource(host::HMODULE hModule, const TCHAR* pszName) {
    Clear();
    if (pszName == nullptr) return 0;
    return LoadFromResource(this, hModule, host::ResName(pszName));
}

host::BOOL Sound::LoadResource(host::HMODULE hModule, host::UINT nId) {
    Clear();
    return LoadFromResource(this, hModule, host::ResName(nId));
}
