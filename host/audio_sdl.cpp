// The SDL2 backend: the system's audio, fed from the device's queue in SDL's callback.
//
// SDL pulls the bytes from its own thread when it needs them, so a buffer is done as soon
// as its last byte has been handed to SDL, and the queue never runs ahead of the output:
// no pacing thread of our own, no drift against the sound card's clock.
#include "host/audio_internal.h"

#include "host/debug.h"

#include <SDL.h>

#include <mutex>

namespace host::aud {
namespace {

std::mutex g_initMutex;
enum class InitState { kNotTried, kReady, kFailed } g_init = InitState::kNotTried;

// Says once per process that there is no sound, and keeps later opens from trying again.
void FailLocked(const char* pszWhat) {
    g_init = InitState::kFailed;
    OutputDebugString(std::string("audio: no audio output (") + pszWhat + ": " + SDL_GetError() +
                      "); playing silently\n");
}

bool InitAudio() {
    std::lock_guard lock(g_initMutex);
    if (g_init == InitState::kNotTried) {
        SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
            FailLocked("SDL audio");
        else
            g_init = InitState::kReady;
    }
    return g_init == InitState::kReady;
}

class SdlBackend : public Backend {
public:
    ~SdlBackend() override { Stop(); }

    MMRESULT Start(const WAVEFORMATEX& fmt, Feed* feed) override {
        if (!InitAudio()) return MMSYSERR_NODRIVER;
        feed_ = feed;
        SDL_AudioSpec want{};
        want.freq = static_cast<int>(fmt.nSamplesPerSec);
        want.format = fmt.wBitsPerSample == 8 ? AUDIO_U8 : AUDIO_S16LSB;
        want.channels = static_cast<Uint8>(fmt.nChannels);
        // About 20 to 40 ms per callback: short enough for the mixer's small buffers.
        want.samples = fmt.nSamplesPerSec <= 24000 ? 512 : 1024;
        want.callback = [](void* user, Uint8* stream, int len) {
            static_cast<SdlBackend*>(user)->feed_->Pull(stream, static_cast<std::size_t>(len));
        };
        want.userdata = this;
        SDL_AudioSpec have{};
        // No changes allowed: SDL converts to whatever the output needs, or refuses.
        device_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
        if (device_ == 0) {
            std::lock_guard lock(g_initMutex);
            if (g_init != InitState::kFailed) FailLocked("SDL_OpenAudioDevice");
            return MMSYSERR_NODRIVER;
        }
        SDL_PauseAudioDevice(device_, 0);
        return MMSYSERR_NOERROR;
    }

    void Stop() override {
        // Waits for SDL's thread, and with it for a Pull in progress.
        if (device_ != 0) SDL_CloseAudioDevice(device_);
        device_ = 0;
    }

    bool Paced() const override { return false; }

private:
    Feed* feed_ = nullptr;
    SDL_AudioDeviceID device_ = 0;
};

} // namespace

std::unique_ptr<Backend> MakeSdlBackend() {
    return std::make_unique<SdlBackend>();
}

bool SdlAudioFailed() {
    std::lock_guard lock(g_initMutex);
    return g_init == InitState::kFailed;
}

} // namespace host::aud
