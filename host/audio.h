// Wave output and PCM conversion.
//
// One wave-output device plays prepared buffers in the order they were written. Each buffer,
// once played, is marked done and reported to the device's callback, from the device's own
// thread and with no host lock held, so the callback may take the caller's locks (it must not
// wait for the thread that is closing the device).
//
// Three backends stand behind the device, chosen once per process by the environment
// variable KELVANO_AUDIO (or by SelectAudioBackend before the first open):
//   "sdl"           the system's audio through SDL2 (the default);
//   "null"          consumes buffers at the pace of the clock in force, plays nothing;
//   "capture:FILE"  like "null", and records every buffer played into the WAV file FILE
//                   (also kept in memory, see GetAudioCapture);
//   "none"          no device: every open fails with MMSYSERR_NODRIVER.
// The null and capture backends follow the virtual clock in tests (host/clock.h): a buffer
// of n bytes is done n / nAvgBytesPerSec seconds of clock time after it began to play.
// When the SDL backend finds no audio device, opens fail with MMSYSERR_NODRIVER and one line
// goes to the debug output; callers then play silently.
//
// Threads: any thread may call these functions. The audio lock inside is a leaf: nothing
// else is locked while it is held, and callbacks run outside it.
#pragma once

#include "host/types.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace host {

using MMRESULT = UINT;
using DWORD_PTR = std::uintptr_t;

constexpr MMRESULT MMSYSERR_NOERROR = 0;
constexpr MMRESULT MMSYSERR_ERROR = 1;
constexpr MMRESULT MMSYSERR_BADDEVICEID = 2;
constexpr MMRESULT MMSYSERR_ALLOCATED = 4;
constexpr MMRESULT MMSYSERR_INVALHANDLE = 5;
constexpr MMRESULT MMSYSERR_NODRIVER = 6;
constexpr MMRESULT MMSYSERR_NOMEM = 7;
constexpr MMRESULT MMSYSERR_INVALFLAG = 10;
constexpr MMRESULT MMSYSERR_INVALPARAM = 11;
constexpr MMRESULT WAVERR_BADFORMAT = 32;
constexpr MMRESULT WAVERR_STILLPLAYING = 33;
constexpr MMRESULT WAVERR_UNPREPARED = 34;

constexpr WORD WAVE_FORMAT_PCM = 1;

// The format records keep their file layout (they are read straight out of "fmt " chunks).
#pragma pack(push, 1)
// The 16-byte PCM format of a "fmt " chunk.
struct PCMWAVEFORMAT {
    WORD wFormatTag;
    WORD nChannels;
    DWORD nSamplesPerSec;
    DWORD nAvgBytesPerSec;
    WORD nBlockAlign;
    WORD wBitsPerSample;
};
// The 18-byte extended format: the PCM fields and the size of what follows.
struct WAVEFORMATEX {
    WORD wFormatTag;
    WORD nChannels;
    DWORD nSamplesPerSec;
    DWORD nAvgBytesPerSec;
    WORD nBlockAlign;
    WORD wBitsPerSample;
    WORD cbSize;
};
#pragma pack(pop)
static_assert(sizeof(PCMWAVEFORMAT) == 16);
static_assert(sizeof(WAVEFORMATEX) == 18);

// A buffer handed to the device. The caller owns it and its data; between Prepare and
// Unprepare the device may read it.
struct WAVEHDR {
    char* lpData;
    DWORD dwBufferLength;
    DWORD dwBytesRecorded;
    DWORD_PTR dwUser;
    DWORD dwFlags;
    DWORD dwLoops;
    WAVEHDR* lpNext; // the device's
    DWORD_PTR reserved;
};
static_assert(sizeof(void*) != 8 || sizeof(WAVEHDR) == 48);

constexpr DWORD WHDR_DONE = 0x01;     // played (or returned by a reset)
constexpr DWORD WHDR_PREPARED = 0x02; // prepared on the device
constexpr DWORD WHDR_INQUEUE = 0x10;  // written and not yet done

struct HWAVEOUT__;
using HWAVEOUT = HWAVEOUT__*;

// waveOutOpen's device and flags.
constexpr UINT WAVE_MAPPER = 0xFFFFFFFF;
constexpr DWORD WAVE_FORMAT_QUERY = 0x0001; // only ask whether the format would open
constexpr DWORD CALLBACK_NULL = 0x00000000;
constexpr DWORD CALLBACK_FUNCTION = 0x00030000;

// The callback's messages.
constexpr UINT WOM_OPEN = 0x3BB;
constexpr UINT WOM_CLOSE = 0x3BC;
constexpr UINT WOM_DONE = 0x3BD; // dwParam1: the WAVEHDR*

using WAVEOUTPROC = void (*)(HWAVEOUT hwo, UINT uMsg, DWORD_PTR dwInstance, DWORD_PTR dwParam1,
                             DWORD_PTR dwParam2);

UINT waveOutGetNumDevs();
// Opens the device for the format. Refuses (WAVERR_BADFORMAT) every format tag but PCM, and
// PCM the backend cannot play (channels other than 1 and 2, bits other than 8 and 16, a rate
// outside 8000..48000, or a block align or byte rate that does not match). With
// WAVE_FORMAT_QUERY only answers. With CALLBACK_FUNCTION dwCallback is a WAVEOUTPROC, called
// with WOM_OPEN before waveOutOpen returns, WOM_DONE per buffer and WOM_CLOSE at the close.
// One device may be open at a time (MMSYSERR_ALLOCATED).
MMRESULT waveOutOpen(HWAVEOUT* phwo, UINT uDeviceID, const WAVEFORMATEX* pwfx, DWORD_PTR dwCallback,
                     DWORD_PTR dwInstance, DWORD fdwOpen);
MMRESULT waveOutPrepareHeader(HWAVEOUT hwo, WAVEHDR* pwh, UINT cbwh);
// WAVERR_STILLPLAYING while the buffer is queued.
MMRESULT waveOutUnprepareHeader(HWAVEOUT hwo, WAVEHDR* pwh, UINT cbwh);
// Queues a prepared buffer (WAVERR_UNPREPARED otherwise): clears WHDR_DONE, sets WHDR_INQUEUE.
MMRESULT waveOutWrite(HWAVEOUT hwo, WAVEHDR* pwh, UINT cbwh);
// Stops playing and returns every queued buffer done (each reported by WOM_DONE) before it
// returns.
MMRESULT waveOutReset(HWAVEOUT hwo);
// WAVERR_STILLPLAYING while buffers are queued (reset first).
MMRESULT waveOutClose(HWAVEOUT hwo);

// ---- PCM conversion -------------------------------------------------------------------
// Pure functions over PCM data (format tag 1, 8-bit unsigned or 16-bit signed little-endian
// samples, 1 or 2 channels interleaved), through SDL2's converter. Any pair of such formats
// converts; the rate may be 1000..192000. Other formats and block aligns that do not match
// channels × bytes per sample fail. A source whose size is not a whole number of frames is
// cut to whole frames.

// Whether fmt is PCM that PcmConvert takes.
bool IsConvertiblePcm(const WAVEFORMATEX& fmt);
// The bytes the conversion of cbSource bytes from `from` to `to` needs at most.
bool PcmConvertSize(const WAVEFORMATEX& from, const WAVEFORMATEX& to, DWORD cbSource,
                    DWORD* pcbTarget);
// Converts cbSource bytes at pSource into pTarget (cbTarget bytes, at least what
// PcmConvertSize asked for); *pcbWritten receives the bytes written (whole frames).
bool PcmConvert(const WAVEFORMATEX& from, const void* pSource, DWORD cbSource,
                const WAVEFORMATEX& to, void* pTarget, DWORD cbTarget, DWORD* pcbWritten);

// A PCM format record with the derived fields filled in (extra size 0).
WAVEFORMATEX MakePcmFormat(DWORD nSamplesPerSec, WORD wBitsPerSample, WORD nChannels);

// ---- Backends (tests and the command line) ---------------------------------------------

enum class AudioBackend { kSdl, kNull, kCapture, kNone };

// Chooses the backend for the opens that follow (capturePath: the WAV file of kCapture,
// empty for memory only). Fails (false) while the device is open. Without a call the
// environment variable above decides, at the first open.
bool SelectAudioBackend(AudioBackend backend, const std::string& capturePath = {});
AudioBackend CurrentAudioBackend();

// What the capture backend has played since it was selected, in the format of the last open
// (all opens of one capture must share a format; a different one starts a new recording).
struct AudioCapture {
    WAVEFORMATEX format{};
    std::vector<std::uint8_t> data; // every buffer played, in order
    int cOpens = 0;                 // device opens and closes since selected
    int cCloses = 0;
    bool fOpen = false; // the device is open now
};
AudioCapture GetAudioCapture();
// Waits (in real time, at most msRealTimeout) until the capture holds at least cbAtLeast
// bytes; true when it does.
bool WaitForAudioCapture(std::size_t cbAtLeast, DWORD msRealTimeout);
// Waits (in real time) until the device is closed or has no buffer left to play.
bool WaitForAudioQueueEmpty(DWORD msRealTimeout);

} // namespace host
