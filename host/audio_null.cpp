// The null and capture backends: the device's thread plays their buffers by the clock in
// force; the capture keeps what was played in memory and in a WAV file.
#include "host/audio_internal.h"

#include "host/debug.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>

namespace host::aud {
namespace {

class NullBackend : public Backend {
public:
    MMRESULT Start(const WAVEFORMATEX&, Feed*) override { return MMSYSERR_NOERROR; }
    void Stop() override {}
    bool Paced() const override { return true; }
};

// The recording. Its lock is taken on its own or inside the choice of backend.
struct Recording {
    std::mutex mutex;
    std::condition_variable grown;
    AudioCapture capture;
    std::string path;
    std::FILE* file = nullptr;

    void CloseFileLocked() {
        if (file != nullptr) std::fclose(file);
        file = nullptr;
    }

    // Rewrites the RIFF header for what the file holds now, so that it is a complete WAV
    // file after every buffer.
    void WriteHeaderLocked() {
        if (file == nullptr) return;
        const auto cbData = static_cast<std::uint32_t>(capture.data.size());
        std::uint8_t header[44];
        auto put32 = [&](int at, std::uint32_t v) {
            for (int i = 0; i < 4; ++i)
                header[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
        };
        std::memcpy(header, "RIFF", 4);
        put32(4, 36 + cbData);
        std::memcpy(header + 8, "WAVEfmt ", 8);
        put32(16, sizeof(PCMWAVEFORMAT));
        std::memcpy(header + 20, &capture.format, sizeof(PCMWAVEFORMAT));
        std::memcpy(header + 36, "data", 4);
        put32(40, cbData);
        std::fseek(file, 0, SEEK_SET);
        std::fwrite(header, 1, sizeof header, file);
        std::fseek(file, 0, SEEK_END);
        std::fflush(file);
    }

    void NewRecordingLocked(const WAVEFORMATEX& fmt) {
        capture.format = fmt;
        capture.data.clear();
        CloseFileLocked();
        if (path.empty()) return;
        file = std::fopen(path.c_str(), "wb");
        if (file == nullptr)
            OutputDebugString("audio: cannot write the capture file " + path + "\n");
        WriteHeaderLocked();
    }
};

Recording& TheRecording() {
    static Recording* recording = new Recording; // used by device threads until the end
    return *recording;
}

class CaptureBackend : public Backend {
public:
    MMRESULT Start(const WAVEFORMATEX& fmt, Feed*) override {
        Recording& r = TheRecording();
        std::lock_guard lock(r.mutex);
        if (r.capture.cOpens == 0 ||
            std::memcmp(&r.capture.format, &fmt, sizeof(PCMWAVEFORMAT)) != 0)
            r.NewRecordingLocked(fmt);
        ++r.capture.cOpens;
        r.capture.fOpen = true;
        return MMSYSERR_NOERROR;
    }
    void Stop() override {
        Recording& r = TheRecording();
        std::lock_guard lock(r.mutex);
        ++r.capture.cCloses;
        r.capture.fOpen = false;
        r.grown.notify_all();
    }
    bool Paced() const override { return true; }
    void Played(const std::uint8_t* p, std::size_t cb) override {
        Recording& r = TheRecording();
        std::lock_guard lock(r.mutex);
        r.capture.data.insert(r.capture.data.end(), p, p + cb);
        if (r.file != nullptr && cb > 0) {
            std::fwrite(p, 1, cb, r.file);
            r.WriteHeaderLocked();
        }
        r.grown.notify_all();
    }
};

} // namespace

std::unique_ptr<Backend> MakeNullBackend() {
    return std::make_unique<NullBackend>();
}

std::unique_ptr<Backend> MakeCaptureBackend() {
    return std::make_unique<CaptureBackend>();
}

void ResetCapture(const std::string& path) {
    Recording& r = TheRecording();
    std::lock_guard lock(r.mutex);
    r.CloseFileLocked();
    r.capture = AudioCapture{};
    r.path = path;
}

} // namespace host::aud

namespace host {

AudioCapture GetAudioCapture() {
    aud::Recording& r = aud::TheRecording();
    std::lock_guard lock(r.mutex);
    return r.capture;
}

bool WaitForAudioCapture(std::size_t cbAtLeast, DWORD msRealTimeout) {
    aud::Recording& r = aud::TheRecording();
    std::unique_lock lock(r.mutex);
    return r.grown.wait_for(lock, std::chrono::milliseconds(msRealTimeout),
                            [&] { return r.capture.data.size() >= cbAtLeast; });
}

} // namespace host
