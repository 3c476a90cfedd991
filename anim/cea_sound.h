// Sound: one short sample, converted once at load time to 8-bit unsigned PCM at 22050
// samples per second (mono or stereo), played through a process-wide software mixer.
//
// Playing adds a voice; a worker thread at raised priority mixes every voice into a ring of
// six 1024-byte buffers of one shared wave-output device (host/audio.h), scaling the mix so
// that overlapping sounds do not clip. The device opens with the first playable voice and
// closes when the application destroys a sound while nothing plays, or once nothing has
// played for sound_mixer::kIdleCloseMs (it streams silence until then). A voice can loop, can post
// SOUND_NOTIFY to a window when it ends, and (mode 2) can own its sound, which then destroys
// and frees itself after playing.
//
// Failures are quiet: data that cannot be read or converted leaves the sound empty and
// Play does nothing; a device that cannot open makes Play silent.
//
// A Sound belongs to one thread at a time; the mixer serialises everything it shares with
// its own lock.
#pragma once

#include "foundation/tchar.h"
#include "host/audio.h"
#include "host/resource.h"
#include "host/types.h"

// Posted to the notify window when a voice ends: wParam the Sound*, lParam the notify value.
constexpr host::UINT SOUND_NOTIFY = 0x432;

// Play modes.
constexpr int SOUND_ONCE = 0;
constexpr int SOUND_LOOP = 1;
constexpr int SOUND_ONCE_AND_FREE = 2; // the voice destroys and frees (MemDelete) the sound

class Sound {
public:
    Sound() = default;
    virtual ~Sound(); // Destroy
    Sound(const Sound&) = delete;
    Sound& operator=(const Sound&) = delete;

    // Each load replaces what the sound held and leaves it empty on failure; 1 on success.
    // A RIFF/WAVE file, read whole.
    host::BOOL LoadFile(const TCHAR* pszFile);
    // RIFF/WAVE bytes in memory (copied or converted; the caller keeps its block).
    host::BOOL LoadMemory(const void* pvData, host::DWORD cbData);
    // The resource pszName of type "SOUND", else of type "WAVE".
    host::BOOL LoadResource(host::HMODULE hModule, const TCHAR* pszName);
    host::BOOL LoadResource(host::HMODULE hModule, host::UINT nId);
    // Raw sample data in the given format.
    host::BOOL LoadRaw(const host::WAVEFORMATEX* pFormat, const void* pvData, host::DWORD cbData);

    host::BOOL IsLoaded() const { return m_pbData != nullptr; }
    const host::WAVEFORMATEX& GetFormat() const { return m_format; }
    const host::BYTE* GetData() const { return m_pbData; }
    host::DWORD GetDataSize() const { return m_cbData; }
    // Voices of this sound playing now.
    host::LONG GetPlayCount() const;

    // Where SOUND_NOTIFY goes when a voice of this sound ends (null: nowhere).
    void SetNotify(host::HWND hwnd, host::LPARAM lValue);
    // SOUND_ONCE, SOUND_LOOP or SOUND_ONCE_AND_FREE. Nothing for an empty sound. A mode-2
    // sound whose voice cannot start is destroyed and freed at once.
    void Play(int nMode);
    // Ends every voice of this sound, each with its notification. A sound played in mode 2
    // belongs to its voice: stopping it destroys and frees it (once, after the voices ended).
    void Stop();
    // Stop, free the data, clear; then close the device if no voice plays.
    void Destroy();

    // Opens the device ahead of the first real sound (plays a 16-byte block of silence in
    // mode 2) when it is not open. Process-wide.
    static void PrimeSound();

private:
    friend struct SoundMixer;
    // Stops this sound's voices (without freeing it again) and frees the data.
    void Clear();

    host::LONG m_cPlaying = 0; // guarded by the mixer's lock
    host::BOOL m_fLoop = 0;
    host::HWND m_hwndNotify = nullptr;
    host::LPARAM m_lNotify = 0;
    host::WAVEFORMATEX m_format{};
    host::BYTE* m_pbData = nullptr;
    host::DWORD m_cbData = 0;
    host::BOOL m_fFreedByMixer = 0; // a mode-2 sound whose voice ended
};

// Mixer facts for tests and benchmarks.
namespace sound_mixer {
// The queued-buffer threshold under which a done buffer is filled even with nothing to play
// (silence keeps the device streaming): 6 on the handheld build, 4 on the desktop one.
int QueuedThreshold();
// Whether the device is open now.
bool IsDeviceOpen();
// Voices active now.
int ActiveVoices();
// Buffers written to the device and not yet played.
int QueuedBuffers();
// How long the device stays open with nothing to play before the worker closes it
// (milliseconds of the clock in force); the next Play opens it again.
constexpr host::DWORD kIdleCloseMs = 10000;

// Holds the mixer's lock on the calling thread until ResumeMixer, so that voices started
// meanwhile begin in the same buffer (tests).
void HoldMixer();
void ResumeMixer();

// Mixes the given sounds, each looping from its start, into cbOut bytes of device output
// (8-bit, 22050 Hz, stereo or mono) buffer by buffer exactly as the worker does, without a
// device or the mixer's voices (benchmarks).
void MixOffline(Sound* const* ppSounds, int cSounds, bool fStereoDevice, host::BYTE* pbOut,
                host::DWORD cbOut);
} // namespace sound_mixer
