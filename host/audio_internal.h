// Internal to the wave output (audio*.cpp): the backend interface behind the device
// (audio.cpp: the device, its queue and thread, the choice of backend; audio_sdl.cpp: the
// system's audio; audio_null.cpp: the null and capture backends and the capture's recording).
#pragma once

#include "host/audio.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace host::aud {

// What a backend may ask of the device.
class Feed {
public:
    virtual ~Feed() = default;
    // Fills cb bytes at p with the queued buffers' bytes, then silence. Every buffer whose
    // bytes have all been handed over becomes done. Takes the audio lock; from the backend's
    // own thread (never the device's).
    virtual void Pull(std::uint8_t* p, std::size_t cb) = 0;
};

// One backend per open device.
class Backend {
public:
    virtual ~Backend() = default;
    // Starts output in fmt (PCM the device accepted). MMSYSERR_NODRIVER when there is no
    // output to start. Called without the audio lock.
    virtual MMRESULT Start(const WAVEFORMATEX& fmt, Feed* feed) = 0;
    // Ends output: once it returns, the backend no longer calls Pull. Without the audio lock.
    virtual void Stop() = 0;
    // A paced backend lets the device's thread play its buffers by the clock in force and
    // hear of each one played (Played, from that thread, without the audio lock); the
    // others pull the bytes themselves.
    virtual bool Paced() const = 0;
    virtual void Played(const std::uint8_t* /*p*/, std::size_t /*cb*/) {}
};

std::unique_ptr<Backend> MakeSdlBackend();
// Whether the SDL backend found no output earlier in this process (opens then fail at once).
bool SdlAudioFailed();
std::unique_ptr<Backend> MakeNullBackend();
std::unique_ptr<Backend> MakeCaptureBackend();
// Starts a new capture into path (empty: memory only), forgetting the previous one.
void ResetCapture(const std::string& path);

} // namespace host::aud
