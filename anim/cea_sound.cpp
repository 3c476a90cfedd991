// Sound: voices, the mixer and its worker thread, and the shared wave-output device.
//
// Everything the worker shares with the callers (voices, play counts, the device and its
// buffers) is touched only under the mixer's lock. The device's callback only marks a buffer
// done and wakes the worker. Sounds that a voice owns (mode 2) are destroyed and freed only
// after the walk over the voices is over and the lock released: destroying one ends its other
// voices and frees its data, which must not happen under the walk's feet, and each is freed
// once however many of its voices end together.
#include "anim/cea_sound.h"

#include "foundation/diag.h"
#include "foundation/memmgr.h"
#include "host/thread.h"
#include "host/window.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <mutex>

using host::BYTE;
using host::DWORD;
using host::WAVEHDR;

namespace {

constexpr int kcBuffers = 6;
constexpr DWORD kcbBuffer = 1024;

#if KELVANO_WIDE
constexpr int kQueuedThreshold = 6; // the handheld keeps every buffer in flight
#else
constexpr int kQueuedThreshold = 4;
#endif

struct VOICE {
    host::BOOL fStereo;
    const BYTE* pbData; // null: a free voice
    DWORD cbData;       // whole frames only
    DWORD iPos;
    host::BOOL fLoop;
    host::HWND hwndNotify;
    Sound* pSound; // the message's first parameter
    host::LPARAM lNotify;
    host::LONG* pcPlaying;
    Sound* pOwned; // destroyed and freed when the voice ends
};

// Owned sounds whose voices ended, to be destroyed once the lock is released.
using Pending = mem::vector<Sound*>;

// One buffer's mix: the accumulators and the gain's two measures.
struct MIXCORE {
    std::int32_t rgLeft[kcbBuffer];
    std::int32_t rgRight[kcbBuffer];
    int nPeak; // largest |sample - 128| of the sources
    int nMax;  // largest |accumulator|
};

void EndVoice(VOICE* pVoice, Pending* pPending) {
    if (pVoice->pcPlaying != nullptr && *pVoice->pcPlaying > 0) --*pVoice->pcPlaying;
    if (pVoice->hwndNotify != nullptr && host::IsWindow(pVoice->hwndNotify))
        host::PostMessage(pVoice->hwndNotify, SOUND_NOTIFY,
                          reinterpret_cast<host::WPARAM>(pVoice->pSound), pVoice->lNotify);
    if (pVoice->pOwned != nullptr && pPending != nullptr &&
        std::find(pPending->begin(), pPending->end(), pVoice->pOwned) == pPending->end()) {
        try {
            pPending->push_back(pVoice->pOwned);
        } catch (...) {
            // Out of memory: the sound stays allocated rather than being freed under the walk.
        }
    }
    *pVoice = VOICE{};
}

DWORD TakeChunk(VOICE* pVoice, DWORD cMax, const BYTE** ppb) {
    DWORD cbFrame = pVoice->fStereo ? 2 : 1;
    DWORD n = std::min((pVoice->cbData - pVoice->iPos) / cbFrame, cMax);
    *ppb = pVoice->pbData + pVoice->iPos;
    pVoice->iPos += n * cbFrame;
    if (pVoice->iPos >= pVoice->cbData && pVoice->fLoop) pVoice->iPos = 0;
    return n;
}

void AddChunk(MIXCORE* pMix, DWORD iOffset, const BYTE* pb, DWORD cSamples, bool fStereo) {
    std::int32_t* pLeft = pMix->rgLeft + iOffset;
    std::int32_t* pRight = pMix->rgRight + iOffset;
    int nPeak = pMix->nPeak;
    int nMax = pMix->nMax;
    for (DWORD i = 0; i < cSamples; ++i) {
        int nLeft = fStereo ? pb[2 * i] - 128 : pb[i] - 128;
        int nRight = fStereo ? pb[2 * i + 1] - 128 : nLeft;
        nPeak = std::max({nPeak, nLeft < 0 ? -nLeft : nLeft, nRight < 0 ? -nRight : nRight});
        pLeft[i] += nLeft;
        pRight[i] += nRight;
        int nAbsLeft = pLeft[i] < 0 ? -pLeft[i] : pLeft[i];
        int nAbsRight = pRight[i] < 0 ? -pRight[i] : pRight[i];
        nMax = std::max({nMax, nAbsLeft, nAbsRight});
    }
    pMix->nPeak = nPeak;
    pMix->nMax = nMax;
}

// A single full-scale sound gives +128 + 128 = 256: the output is clamped to the byte.
BYTE Scale(std::int32_t nAcc, int nPeak, int nMax) {
    std::int32_t n = nAcc * nPeak / nMax + 128;
    return static_cast<BYTE>(n < 0 ? 0 : n > 255 ? 255 : n);
}

// Mode 2 writes even silence; mode 1 writes only when a voice gave samples. True when the
// buffer is to be written.
bool FillBuffer(MIXCORE* pMix, VOICE* pVoices, DWORD cVoices, BYTE* pbOut, bool fStereoDevice,
                int nMode, Pending* pPending) {
    DWORD cSamples = fStereoDevice ? kcbBuffer / 2 : kcbBuffer;
    pMix->nPeak = 0;
    pMix->nMax = 0;
    std::memset(pMix->rgLeft, 0, cSamples * sizeof(std::int32_t));
    std::memset(pMix->rgRight, 0, cSamples * sizeof(std::int32_t));
    bool fWrite = nMode == 2;
    for (DWORD iVoice = 0; iVoice < cVoices; ++iVoice) {
        VOICE* pVoice = &pVoices[iVoice];
        if (pVoice->pbData == nullptr) continue;
        DWORD cTaken = 0;
        for (;;) {
            const BYTE* pb = nullptr;
            DWORD n = TakeChunk(pVoice, cSamples - cTaken, &pb);
            if (n == 0) break;
            AddChunk(pMix, cTaken, pb, n, pVoice->fStereo != 0);
            cTaken += n;
        }
        if (cTaken > 0)
            fWrite = true;
        else
            EndVoice(pVoice, pPending);
    }
    if (!fWrite) return false;
    if (pMix->nMax == 0) {
        std::memset(pbOut, 0x80, kcbBuffer);
    } else if (fStereoDevice) {
        for (DWORD i = 0; i < cSamples; ++i) {
            pbOut[2 * i] = Scale(pMix->rgLeft[i], pMix->nPeak, pMix->nMax);
            pbOut[2 * i + 1] = Scale(pMix->rgRight[i], pMix->nPeak, pMix->nMax);
        }
    } else {
        for (DWORD i = 0; i < cSamples; ++i)
            pbOut[i] = Scale(pMix->rgLeft[i], pMix->nPeak, pMix->nMax);
    }
    return true;
}

} // namespace

struct SoundMixer {
    host::CriticalSection lock;
    host::Event event{false};
    host::HWAVEOUT hwo = nullptr;
    bool fStereo = false;
    WAVEHDR rgHeaders[kcBuffers]{};
    BYTE* rgpbBuffers[kcBuffers]{};
    std::atomic<bool> rgfDone[kcBuffers]{};
    VOICE* pVoices = nullptr;
    DWORD cVoices = 0;
    MIXCORE mix{};
    host::ClockMs msLastSound = 0; // when a voice last started or gave samples

    static SoundMixer* Get(bool fCreate);
    static void WorkerMain(SoundMixer* pMixer);
    static void DeviceCallback(host::HWAVEOUT, host::UINT uMsg, host::DWORD_PTR dwInstance,
                               host::DWORD_PTR dwParam1, host::DWORD_PTR);
    static void StopVoices(Sound* pSound, bool fDestroying);
    static void ReleaseDevice();
    static void FreePending(Pending* pPending);

    bool StartVoice(Sound* pSound, int nMode);

    bool OpenDevice();
    void CloseDevice();
    int CountActive() const;
    void FillDone(Pending* pPending);
};

namespace {
std::atomic<SoundMixer*> g_pMixer{nullptr};
std::once_flag g_mixerOnce;
} // namespace

SoundMixer* SoundMixer::Get(bool fCreate) {
    if (fCreate) {
        std::call_once(g_mixerOnce, [] {
            SoundMixer* pMixer = MemNew(SoundMixer);
            if (pMixer == nullptr) return;
            for (BYTE*& pb : pMixer->rgpbBuffers) {
                pb = static_cast<BYTE*>(MemAllocTagged(kcbBuffer, "kcbBuffer"));
                if (pb == nullptr) return; // no mixer: every Play stays silent
                MemTare(pb);
            }
            // The mixer lives for the process, like its thread.
            MemTare(pMixer);
            // The host schedules every thread alike; there is no priority to raise. The
            // worker only mixes, so it never holds the device back.
            host::StartDetachedThread([pMixer] { WorkerMain(pMixer); });
            g_pMixer.store(pMixer);
        });
    }
    return g_pMixer.load();
}

void SoundMixer::DeviceCallback(host::HWAVEOUT, host::UINT uMsg, host::DWORD_PTR dwInstance,
                                host::DWORD_PTR dwParam1, host::DWORD_PTR) {
    if (uMsg != host::WOM_DONE) return;
    auto* pMixer = reinterpret_cast<SoundMixer*>(dwInstance);
    for (int i = 0; i < kcBuffers; ++i) {
        if (reinterpret_cast<host::DWORD_PTR>(&pMixer->rgHeaders[i]) == dwParam1) {
            pMixer->rgfDone[i].store(true);
            pMixer->event.Set();
            return;
        }
    }
}

void SoundMixer::FreePending(Pending* pPending) {
    for (Sound* pSound : *pPending) {
        pSound->m_fFreedByMixer = 1;
        MemDelete(pSound);
    }
    pPending->clear();
}

bool SoundMixer::OpenDevice() {
    host::WAVEFORMATEX format{host::WAVE_FORMAT_PCM, 2, 22050, 44100, 2, 8, 0};
    auto pfn = reinterpret_cast<host::DWORD_PTR>(&SoundMixer::DeviceCallback);
    auto dwThis = reinterpret_cast<host::DWORD_PTR>(this);
    host::HWAVEOUT h = nullptr;
    if (host::waveOutOpen(&h, host::WAVE_MAPPER, &format, pfn, dwThis, host::CALLBACK_FUNCTION) !=
        host::MMSYSERR_NOERROR) {
        format = {host::WAVE_FORMAT_PCM, 1, 22050, 22050, 1, 8, 0};
        if (host::waveOutOpen(&h, host::WAVE_MAPPER, &format, pfn, dwThis,
                              host::CALLBACK_FUNCTION) != host::MMSYSERR_NOERROR)
            return false;
    }
    for (int i = 0; i < kcBuffers; ++i) {
        rgHeaders[i] = WAVEHDR{};
        rgHeaders[i].lpData = reinterpret_cast<char*>(rgpbBuffers[i]);
        rgHeaders[i].dwBufferLength = kcbBuffer;
        if (host::waveOutPrepareHeader(h, &rgHeaders[i], sizeof(WAVEHDR)) !=
            host::MMSYSERR_NOERROR) {
            while (i-- > 0)
                host::waveOutUnprepareHeader(h, &rgHeaders[i], sizeof(WAVEHDR));
            host::waveOutClose(h);
            return false;
        }
        rgfDone[i].store(true);
    }
    hwo = h;
    fStereo = format.nChannels == 2;
    msLastSound = host::ClockNow();
    return true;
}

// Queued buffers cannot be unprepared: the reset returns them first.
void SoundMixer::CloseDevice() {
    if (hwo == nullptr) return;
    host::waveOutReset(hwo);
    for (WAVEHDR& header : rgHeaders)
        host::waveOutUnprepareHeader(hwo, &header, sizeof(WAVEHDR));
    host::waveOutClose(hwo);
    hwo = nullptr;
    for (std::atomic<bool>& fDone : rgfDone)
        fDone.store(true);
}

int SoundMixer::CountActive() const {
    int cActive = 0;
    for (DWORD i = 0; i < cVoices; ++i)
        cActive += pVoices[i].pbData != nullptr;
    return cActive;
}

void SoundMixer::FillDone(Pending* pPending) {
    if (hwo == nullptr) return;
    if (CountActive() == 0 && host::ClockNow() - msLastSound >= sound_mixer::kIdleCloseMs) {
        // Nothing has played for a while: stop streaming silence.
        MemFree(pVoices);
        pVoices = nullptr;
        cVoices = 0;
        CloseDevice();
        return;
    }
    int cQueued = 0;
    for (const std::atomic<bool>& fDone : rgfDone)
        cQueued += !fDone.load();
    for (int i = 0; i < kcBuffers; ++i) {
        if (!rgfDone[i].load()) continue;
        int nMode = cQueued >= kQueuedThreshold ? 1 : 2;
        if (FillBuffer(&mix, pVoices, cVoices, rgpbBuffers[i], fStereo, nMode, pPending)) {
            rgfDone[i].store(false);
            if (host::waveOutWrite(hwo, &rgHeaders[i], sizeof(WAVEHDR)) != host::MMSYSERR_NOERROR)
                rgfDone[i].store(true);
        }
        ++cQueued;
    }
    if (CountActive() > 0) msLastSound = host::ClockNow();
}

void SoundMixer::WorkerMain(SoundMixer* pMixer) {
    for (;;) {
        pMixer->event.Wait();
        Pending pending{MEM_TAG("Sound*")};
        {
            host::CriticalSectionLock hold(pMixer->lock);
            pMixer->FillDone(&pending);
        }
        // Mixer-owned sounds are freed here, out of the walk and the lock. Their Destroy
        // leaves the device open (see Sound::Destroy): the idle close takes care of it.
        FreePending(&pending);
    }
}

bool SoundMixer::StartVoice(Sound* pSound, int nMode) {
    const host::WAVEFORMATEX& format = pSound->m_format;
    if (format.wFormatTag != host::WAVE_FORMAT_PCM || format.wBitsPerSample != 8 ||
        format.nSamplesPerSec != 22050 || (format.nChannels != 1 && format.nChannels != 2))
        return false;
    // A stereo voice takes whole frames: a trailing odd byte would keep it from ever
    // reaching its end, and so from looping.
    DWORD cbData = format.nChannels == 2 ? pSound->m_cbData & ~DWORD{1} : pSound->m_cbData;
    if (cbData == 0) return false;
    if (hwo == nullptr && !OpenDevice()) return false;
    DWORD iVoice = 0;
    while (iVoice < cVoices && pVoices[iVoice].pbData != nullptr)
        ++iVoice;
    if (iVoice == cVoices && !MemReallocArray(&pVoices, &cVoices, cVoices + 1, 1)) return false;
    VOICE& voice = pVoices[iVoice];
    voice.fStereo = format.nChannels == 2;
    voice.pbData = pSound->m_pbData;
    voice.cbData = cbData;
    voice.iPos = 0;
    voice.fLoop = nMode == SOUND_LOOP;
    voice.hwndNotify = pSound->m_hwndNotify;
    voice.pSound = pSound;
    voice.lNotify = pSound->m_lNotify;
    voice.pcPlaying = &pSound->m_cPlaying;
    voice.pOwned = nMode == SOUND_ONCE_AND_FREE ? pSound : nullptr;
    ++pSound->m_cPlaying;
    pSound->m_fLoop = nMode == SOUND_LOOP;
    msLastSound = host::ClockNow();
    event.Set();
    return true;
}

void SoundMixer::StopVoices(Sound* pSound, bool fDestroying) {
    SoundMixer* pMixer = Get(false);
    if (pMixer == nullptr) return; // nothing ever played
    Pending pending{MEM_TAG("Sound*")};
    {
        host::CriticalSectionLock hold(pMixer->lock);
        if (pSound->m_cPlaying != 0) {
            for (DWORD i = 0; i < pMixer->cVoices; ++i) {
                VOICE& voice = pMixer->pVoices[i];
                if (voice.pbData == nullptr || voice.pSound != pSound) continue;
                // Being destroyed already: its own voices must not free it again.
                if (fDestroying) voice.pOwned = nullptr;
                EndVoice(&voice, &pending);
            }
            pSound->m_cPlaying = 0;
            pSound->m_fLoop = 0;
        }
    }
    FreePending(&pending);
}

void SoundMixer::ReleaseDevice() {
    SoundMixer* pMixer = Get(false);
    if (pMixer == nullptr) return;
    host::CriticalSectionLock hold(pMixer->lock);
    if (pMixer->CountActive() != 0) return;
    MemFree(pMixer->pVoices);
    pMixer->pVoices = nullptr;
    pMixer->cVoices = 0;
    pMixer->CloseDevice();
}

Sound::~Sound() {
    Destroy();
}

void Sound::Clear() {
    SoundMixer::StopVoices(this, true);
    if (m_pbData != nullptr) MemFree(m_pbData);
    m_pbData = nullptr;
    m_cbData = 0;
    m_format = {};
    m_cPlaying = 0;
    m_fLoop = 0;
}

void Sound::Destroy() {
    Clear();
    m_hwndNotify = nullptr;
    m_lNotify = 0;
    // A sound the mixer frees after its voice ended is not the application letting go of
    // the device: closing there would undo PrimeSound and reopen for every such sound.
    if (!m_fFreedByMixer) SoundMixer::ReleaseDevice();
}

host::LONG Sound::GetPlayCount() const {
    SoundMixer* pMixer = SoundMixer::Get(false);
    if (pMixer == nullptr) return m_cPlaying;
    host::CriticalSectionLock hold(pMixer->lock);
    return m_cPlaying;
}

void Sound::SetNotify(host::HWND hwnd, host::LPARAM lValue) {
    m_hwndNotify = hwnd;
    m_lNotify = lValue;
}

void Sound::Play(int nMode) {
    if (nMode != SOUND_ONCE && nMode != SOUND_LOOP && nMode != SOUND_ONCE_AND_FREE) {
        cetl::trace("Sound::Play called with unknown mode %d (0x%08lX)", nMode,
                    static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(this)));
        return;
    }
    if (!IsLoaded()) return;
    SoundMixer* pMixer = SoundMixer::Get(true);
    bool fStarted = false;
    if (pMixer != nullptr) {
        host::CriticalSectionLock hold(pMixer->lock);
        fStarted = pMixer->StartVoice(this, nMode);
    }
    if (!fStarted && nMode == SOUND_ONCE_AND_FREE) MemDelete(this);
}

void Sound::Stop() {
    SoundMixer::StopVoices(this, false);
}

void Sound::PrimeSound() {
    if (sound_mixer::IsDeviceOpen()) return;
    Sound* pSound = MemNew(Sound);
    if (pSound == nullptr) return;
    BYTE rgbSilence[16];
    std::memset(rgbSilence, 0x80, sizeof(rgbSilence));
    host::WAVEFORMATEX format{host::WAVE_FORMAT_PCM, 1, 22050, 22050, 1, 8, 0};
    if (!pSound->LoadRaw(&format, rgbSilence, sizeof(rgbSilence))) {
        MemDelete(pSound);
        return;
    }
    pSound->Play(SOUND_ONCE_AND_FREE);
}

namespace sound_mixer {

int QueuedThreshold() {
    return kQueuedThreshold;
}

bool IsDeviceOpen() {
    SoundMixer* pMixer = SoundMixer::Get(false);
    if (pMixer == nullptr) return false;
    host::CriticalSectionLock hold(pMixer->lock);
    return pMixer->hwo != nullptr;
}

int ActiveVoices() {
    SoundMixer* pMixer = SoundMixer::Get(false);
    if (pMixer == nullptr) return 0;
    host::CriticalSectionLock hold(pMixer->lock);
    return pMixer->CountActive();
}

int QueuedBuffers() {
    SoundMixer* pMixer = SoundMixer::Get(false);
    if (pMixer == nullptr) return 0;
    host::CriticalSectionLock hold(pMixer->lock);
    if (pMixer->hwo == nullptr) return 0;
    int cQueued = 0;
    for (const std::atomic<bool>& fDone : pMixer->rgfDone)
        cQueued += !fDone.load();
    return cQueued;
}

void HoldMixer() {
    if (SoundMixer* pMixer = SoundMixer::Get(true)) pMixer->lock.Enter();
}

void ResumeMixer() {
    if (SoundMixer* pMixer = SoundMixer::Get(false)) pMixer->lock.Leave();
}

void MixOffline(Sound* const* ppSounds, int cSounds, bool fStereoDevice, BYTE* pbOut, DWORD cbOut) {
    if (cSounds < 0 || (cSounds > 0 && ppSounds == nullptr) || pbOut == nullptr) return;
    auto* pVoices = MemAllocArray(VOICE, cSounds > 0 ? cSounds : 1);
    auto* pMix = MemNew(MIXCORE);
    if (pVoices == nullptr || pMix == nullptr) {
        MemFree(pVoices);
        MemDelete(pMix);
        return;
    }
    for (int i = 0; i < cSounds; ++i) {
        pVoices[i] = VOICE{};
        const Sound* pSound = ppSounds[i];
        if (pSound == nullptr || !pSound->IsLoaded()) continue;
        bool fStereo = pSound->GetFormat().nChannels == 2;
        pVoices[i].fStereo = fStereo;
        pVoices[i].pbData = pSound->GetData();
        pVoices[i].cbData = fStereo ? pSound->GetDataSize() & ~DWORD{1} : pSound->GetDataSize();
        pVoices[i].fLoop = 1;
        if (pVoices[i].cbData == 0) pVoices[i] = VOICE{};
    }
    for (DWORD ib = 0; ib + kcbBuffer <= cbOut; ib += kcbBuffer)
        FillBuffer(pMix, pVoices, static_cast<DWORD>(cSounds), pbOut + ib, fStereoDevice, 2,
                   nullptr);
    MemFree(pVoices);
    MemDelete(pMix);
}

} // namespace sound_mixer
