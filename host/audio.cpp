// The wave-output device: its queue of written buffers, the device thread that paces the
// clock-driven backends and reports done buffers, and the choice of backend.
//
// Locks: each device's audio lock (mutex_) guards its queue and is a leaf. The device thread
// sleeps on the host's wait lock (so that its time-outs follow the virtual clock) and is
// woken through it, never while the audio lock is held. g_mutex guards the process-wide
// choice and the open device; only the capture's own lock is ever taken inside it.
#include "host/audio_internal.h"

#include "host/clock.h"
#include "host/debug.h"
#include "host/handle.h"
#include "host/thread.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <string_view>
#include <vector>

namespace host {
namespace {

void SetFlags(WAVEHDR* pwh, DWORD set, DWORD clear) {
    // Callers poll WHDR_DONE from their own threads.
    std::atomic_ref<DWORD> flags(pwh->dwFlags);
    DWORD old = flags.load();
    while (!flags.compare_exchange_weak(old, (old & ~clear) | set)) {
    }
}

DWORD Flags(WAVEHDR* pwh) {
    return std::atomic_ref<DWORD>(pwh->dwFlags).load();
}

class Device : public aud::Feed, public std::enable_shared_from_this<Device> {
public:
    Device(std::unique_ptr<aud::Backend> backend, const WAVEFORMATEX& fmt, WAVEOUTPROC callback,
           DWORD_PTR instance)
        : backend_(std::move(backend)), fmt_(fmt), callback_(callback), instance_(instance),
          paced_(backend_->Paced()) {}

    void StartThread(HWAVEOUT handle) {
        handle_ = handle;
        auto self = shared_from_this();
        thread_ = Thread([self] { self->Run(); });
    }

    aud::Backend& backend() { return *backend_; }

    MMRESULT Write(WAVEHDR* pwh) {
        {
            std::lock_guard lock(mutex_);
            if (closing_) return MMSYSERR_INVALHANDLE;
            const DWORD flags = Flags(pwh);
            if (!(flags & WHDR_PREPARED)) return WAVERR_UNPREPARED;
            if (flags & WHDR_INQUEUE) return WAVERR_STILLPLAYING;
            SetFlags(pwh, WHDR_INQUEUE, WHDR_DONE);
            queue_.push_back({pwh, ++seqWritten_, ClockNow()});
        }
        Wake();
        return MMSYSERR_NOERROR;
    }

    bool InQueue(WAVEHDR* pwh) {
        std::lock_guard lock(mutex_);
        return std::any_of(queue_.begin(), queue_.end(),
                           [&](const Queued& q) { return q.hdr == pwh; });
    }

    MMRESULT Reset() {
        std::uint64_t target;
        {
            std::lock_guard lock(mutex_);
            if (closing_) return MMSYSERR_INVALHANDLE;
            target = seqWritten_;
            while (!queue_.empty()) {
                MarkDoneLocked(queue_.front());
                queue_.pop_front();
            }
            headOffset_ = 0;
            headDue_ = kNoDeadline;
            fStreaming_ = false;
        }
        if (OnDeviceThread()) {
            // From inside a callback: deliver the rest here, in order.
            DeliverPending();
            return MMSYSERR_NOERROR;
        }
        Wake();
        std::unique_lock lock(mutex_);
        delivered_.wait(lock, [&] { return seqDelivered_ >= target; });
        return MMSYSERR_NOERROR;
    }

    // Begins the close; false (STILLPLAYING) while buffers are queued.
    bool BeginClose() {
        std::lock_guard lock(mutex_);
        if (!queue_.empty()) return false;
        closing_ = true;
        return true;
    }

    // Ends the close once the handle is gone: no more output, the thread delivers what is
    // left and WOM_CLOSE, and ends.
    void FinishClose() {
        backend_->Stop();
        Wake();
        if (OnDeviceThread())
            thread_.Detach(); // a callback closed the device: the thread ends after it
        else
            thread_.Join();
    }

    bool Idle() {
        std::lock_guard lock(mutex_);
        return queue_.empty() && done_.empty();
    }

    void Pull(std::uint8_t* p, std::size_t cb) override {
        bool fDone = false;
        {
            std::lock_guard lock(mutex_);
            while (cb > 0 && !queue_.empty()) {
                WAVEHDR* pwh = queue_.front().hdr;
                const std::size_t n = std::min<std::size_t>(cb, pwh->dwBufferLength - headOffset_);
                if (n > 0) std::memcpy(p, pwh->lpData + headOffset_, n);
                p += n;
                cb -= n;
                headOffset_ += n;
                if (headOffset_ >= pwh->dwBufferLength) {
                    headOffset_ = 0;
                    MarkDoneLocked(queue_.front());
                    queue_.pop_front();
                    fDone = true;
                }
            }
        }
        std::memset(p, fmt_.wBitsPerSample == 8 ? 0x80 : 0, cb);
        if (fDone) Wake();
    }

private:
    struct Queued {
        WAVEHDR* hdr;
        std::uint64_t seq;
        ClockMs written;
    };

    bool OnDeviceThread() const { return std::this_thread::get_id() == threadId_.load(); }

    void MarkDoneLocked(const Queued& q) {
        SetFlags(q.hdr, WHDR_DONE, WHDR_INQUEUE);
        done_.push_back(q);
    }

    void Wake() {
        std::lock_guard lock(WaitMutex());
        fWake_ = true;
        WakeWaiters();
    }

    // Reports done buffers one at a time, in order, without the audio lock; true when any.
    bool DeliverPending() {
        bool fAny = false;
        for (;;) {
            Queued q;
            {
                std::lock_guard lock(mutex_);
                if (done_.empty()) return fAny;
                q = done_.front();
                done_.pop_front();
            }
            fAny = true;
            if (callback_ != nullptr)
                callback_(handle_, WOM_DONE, instance_, reinterpret_cast<DWORD_PTR>(q.hdr), 0);
            {
                std::lock_guard lock(mutex_);
                seqDelivered_ = std::max(seqDelivered_, q.seq);
            }
            delivered_.notify_all();
        }
    }

    // Paced backends: plays the head of the queue once the clock reaches its end. Returns
    // when the next buffer is due (kNoDeadline: nothing to play); true in *pfPlayed when one
    // was played.
    ClockMs PlayDue(bool* pfPlayed) {
        *pfPlayed = false;
        std::vector<std::uint8_t> bytes;
        {
            std::lock_guard lock(mutex_);
            if (queue_.empty()) return kNoDeadline;
            const Queued& head = queue_.front();
            const std::uint64_t cb = head.hdr->dwBufferLength;
            if (headDue_ == kNoDeadline) {
                // A buffer written after the stream ran dry starts a new stream when written.
                if (!fStreaming_ || head.written > streamEnd_) {
                    streamStart_ = std::max(head.written, fStreaming_ ? streamEnd_ : 0);
                    streamBytes_ = 0;
                    fStreaming_ = true;
                }
                const std::uint64_t rate = std::max<DWORD>(fmt_.nAvgBytesPerSec, 1);
                headDue_ = streamStart_ + ((streamBytes_ + cb) * 1000 + rate - 1) / rate;
            }
            if (ClockNow() < headDue_) return headDue_;
            bytes.assign(head.hdr->lpData, head.hdr->lpData + cb);
            streamBytes_ += cb;
            streamEnd_ = headDue_;
            headDue_ = kNoDeadline;
            MarkDoneLocked(head);
            queue_.pop_front();
        }
        backend_->Played(bytes.data(), bytes.size());
        *pfPlayed = true;
        return kNoDeadline;
    }

    void Run() {
        threadId_ = std::this_thread::get_id();
        for (;;) {
            bool fPlayed = false;
            const ClockMs due = paced_ ? PlayDue(&fPlayed) : kNoDeadline;
            const bool fDelivered = DeliverPending();
            {
                std::lock_guard lock(mutex_);
                if (closing_ && queue_.empty() && done_.empty()) break;
            }
            if (fPlayed || fDelivered) continue;
            std::unique_lock lock(WaitMutex());
            WaitUntil(lock, due, [&] { return fWake_; });
            fWake_ = false;
        }
        if (callback_ != nullptr) callback_(handle_, WOM_CLOSE, instance_, 0, 0);
    }

    std::unique_ptr<aud::Backend> backend_;
    const WAVEFORMATEX fmt_;
    const WAVEOUTPROC callback_;
    const DWORD_PTR instance_;
    const bool paced_;
    HWAVEOUT handle_ = nullptr;
    Thread thread_;
    std::atomic<std::thread::id> threadId_{};

    std::mutex mutex_; // the audio lock
    std::condition_variable delivered_;
    std::deque<Queued> queue_; // written, not yet done
    std::deque<Queued> done_;  // done, not yet reported
    std::uint64_t seqWritten_ = 0;
    std::uint64_t seqDelivered_ = 0;
    bool closing_ = false;
    std::size_t headOffset_ = 0; // pulled: bytes of the head already handed over
    // Paced: the stream plays from streamStart_; streamBytes_ of it are played.
    bool fStreaming_ = false;
    ClockMs streamStart_ = 0;
    ClockMs streamEnd_ = 0;
    std::uint64_t streamBytes_ = 0;
    ClockMs headDue_ = kNoDeadline;

    bool fWake_ = false; // guarded by WaitMutex()
};

std::mutex g_mutex;
bool g_fChosen = false;
AudioBackend g_backend = AudioBackend::kNull;
bool g_fAllocated = false;
std::shared_ptr<Device> g_device;

void ChooseFromEnvironmentLocked() {
    if (g_fChosen) return;
    g_fChosen = true;
    const char* value = std::getenv("KELVANO_AUDIO");
    std::string_view v = value != nullptr ? value : "";
    std::string path;
    if (v.empty()) {
        const char* test = std::getenv("KELVANO_TEST");
        g_backend = test != nullptr && std::string_view(test) == "1" ? AudioBackend::kNull
                                                                     : AudioBackend::kSdl;
    } else if (v == "sdl") {
        g_backend = AudioBackend::kSdl;
    } else if (v == "null") {
        g_backend = AudioBackend::kNull;
    } else if (v == "none") {
        g_backend = AudioBackend::kNone;
    } else if (v == "capture" || v.starts_with("capture:")) {
        g_backend = AudioBackend::kCapture;
        if (v.size() > 8) path = v.substr(8);
    } else {
        OutputDebugString("audio: KELVANO_AUDIO=" + std::string(v) +
                          " is not understood; playing silently (null)\n");
        g_backend = AudioBackend::kNull;
    }
    if (g_backend == AudioBackend::kCapture) aud::ResetCapture(path);
}

bool ValidPcm(const PCMWAVEFORMAT& f) {
    return (f.nChannels == 1 || f.nChannels == 2) &&
           (f.wBitsPerSample == 8 || f.wBitsPerSample == 16) && f.nSamplesPerSec >= 8000 &&
           f.nSamplesPerSec <= 48000 && f.nBlockAlign == f.nChannels * f.wBitsPerSample / 8 &&
           f.nAvgBytesPerSec == f.nSamplesPerSec * f.nBlockAlign;
}

std::shared_ptr<Device> Find(HWAVEOUT hwo) {
    return handles::Lookup<Device>(hwo, HandleKind::WaveDevice);
}

MMRESULT CheckHeader(const WAVEHDR* pwh, UINT cbwh) {
    if (pwh == nullptr || cbwh < sizeof(WAVEHDR)) return MMSYSERR_INVALPARAM;
    return MMSYSERR_NOERROR;
}

} // namespace

UINT waveOutGetNumDevs() {
    std::lock_guard lock(g_mutex);
    ChooseFromEnvironmentLocked();
    if (g_backend == AudioBackend::kNone) return 0;
    if (g_backend == AudioBackend::kSdl && aud::SdlAudioFailed()) return 0;
    return 1;
}

MMRESULT waveOutOpen(HWAVEOUT* phwo, UINT uDeviceID, const WAVEFORMATEX* pwfx, DWORD_PTR dwCallback,
                     DWORD_PTR dwInstance, DWORD fdwOpen) {
    const bool fQuery = (fdwOpen & WAVE_FORMAT_QUERY) != 0;
    const DWORD callbackType = fdwOpen & ~WAVE_FORMAT_QUERY;
    if (callbackType != CALLBACK_NULL && callbackType != CALLBACK_FUNCTION)
        return MMSYSERR_INVALFLAG;
    if (pwfx == nullptr || (phwo == nullptr && !fQuery)) return MMSYSERR_INVALPARAM;
    if (uDeviceID != WAVE_MAPPER && uDeviceID != 0) return MMSYSERR_BADDEVICEID;
    // Only the PCM part is read: callers may pass the 16-byte record.
    PCMWAVEFORMAT pcm;
    std::memcpy(&pcm, pwfx, sizeof pcm);
    if (pcm.wFormatTag != WAVE_FORMAT_PCM || !ValidPcm(pcm)) return WAVERR_BADFORMAT;
    WAVEFORMATEX fmt{};
    std::memcpy(&fmt, &pcm, sizeof pcm);

    AudioBackend backend;
    {
        std::lock_guard lock(g_mutex);
        ChooseFromEnvironmentLocked();
        backend = g_backend;
        if (backend == AudioBackend::kNone ||
            (backend == AudioBackend::kSdl && aud::SdlAudioFailed()))
            return MMSYSERR_NODRIVER;
        if (fQuery) return MMSYSERR_NOERROR;
        if (g_fAllocated) return MMSYSERR_ALLOCATED;
        g_fAllocated = true; // held while the backend starts, outside the lock
    }
    auto release = [] {
        std::lock_guard lock(g_mutex);
        g_fAllocated = false;
    };
    std::unique_ptr<aud::Backend> output = backend == AudioBackend::kSdl ? aud::MakeSdlBackend()
                                           : backend == AudioBackend::kCapture
                                               ? aud::MakeCaptureBackend()
                                               : aud::MakeNullBackend();
    auto callback =
        callbackType == CALLBACK_FUNCTION ? reinterpret_cast<WAVEOUTPROC>(dwCallback) : nullptr;
    auto device = std::make_shared<Device>(std::move(output), fmt, callback, dwInstance);
    if (MMRESULT mr = device->backend().Start(fmt, device.get()); mr != MMSYSERR_NOERROR) {
        release();
        return mr;
    }
    auto hwo = static_cast<HWAVEOUT>(handles::Add(HandleKind::WaveDevice, device));
    if (hwo == nullptr) {
        device->backend().Stop();
        release();
        return MMSYSERR_NOMEM;
    }
    device->StartThread(hwo);
    {
        std::lock_guard lock(g_mutex);
        g_device = device;
    }
    *phwo = hwo;
    if (callback != nullptr) callback(hwo, WOM_OPEN, dwInstance, 0, 0);
    return MMSYSERR_NOERROR;
}

MMRESULT waveOutPrepareHeader(HWAVEOUT hwo, WAVEHDR* pwh, UINT cbwh) {
    auto device = Find(hwo);
    if (!device) return MMSYSERR_INVALHANDLE;
    if (MMRESULT mr = CheckHeader(pwh, cbwh); mr != MMSYSERR_NOERROR) return mr;
    if (pwh->lpData == nullptr && pwh->dwBufferLength != 0) return MMSYSERR_INVALPARAM;
    SetFlags(pwh, WHDR_PREPARED, 0);
    return MMSYSERR_NOERROR;
}

MMRESULT waveOutUnprepareHeader(HWAVEOUT hwo, WAVEHDR* pwh, UINT cbwh) {
    auto device = Find(hwo);
    if (!device) return MMSYSERR_INVALHANDLE;
    if (MMRESULT mr = CheckHeader(pwh, cbwh); mr != MMSYSERR_NOERROR) return mr;
    if ((Flags(pwh) & WHDR_INQUEUE) && device->InQueue(pwh)) return WAVERR_STILLPLAYING;
    SetFlags(pwh, 0, WHDR_PREPARED | WHDR_INQUEUE);
    return MMSYSERR_NOERROR;
}

MMRESULT waveOutWrite(HWAVEOUT hwo, WAVEHDR* pwh, UINT cbwh) {
    auto device = Find(hwo);
    if (!device) return MMSYSERR_INVALHANDLE;
    if (MMRESULT mr = CheckHeader(pwh, cbwh); mr != MMSYSERR_NOERROR) return mr;
    if (pwh->lpData == nullptr && pwh->dwBufferLength != 0) return MMSYSERR_INVALPARAM;
    return device->Write(pwh);
}

MMRESULT waveOutReset(HWAVEOUT hwo) {
    auto device = Find(hwo);
    if (!device) return MMSYSERR_INVALHANDLE;
    return device->Reset();
}

MMRESULT waveOutClose(HWAVEOUT hwo) {
    auto device = Find(hwo);
    if (!device) return MMSYSERR_INVALHANDLE;
    if (!device->BeginClose()) return WAVERR_STILLPLAYING;
    if (!handles::Remove<Device>(hwo, HandleKind::WaveDevice)) return MMSYSERR_INVALHANDLE;
    device->FinishClose();
    std::lock_guard lock(g_mutex);
    if (g_device == device) g_device.reset();
    g_fAllocated = false;
    return MMSYSERR_NOERROR;
}

WAVEFORMATEX MakePcmFormat(DWORD nSamplesPerSec, WORD wBitsPerSample, WORD nChannels) {
    WAVEFORMATEX f{};
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = nChannels;
    f.nSamplesPerSec = nSamplesPerSec;
    f.wBitsPerSample = wBitsPerSample;
    f.nBlockAlign = static_cast<WORD>(nChannels * wBitsPerSample / 8);
    f.nAvgBytesPerSec = nSamplesPerSec * f.nBlockAlign;
    return f;
}

bool SelectAudioBackend(AudioBackend backend, const std::string& capturePath) {
    std::lock_guard lock(g_mutex);
    if (g_fAllocated) return false;
    g_fChosen = true;
    g_backend = backend;
    if (backend == AudioBackend::kCapture) aud::ResetCapture(capturePath);
    return true;
}

AudioBackend CurrentAudioBackend() {
    std::lock_guard lock(g_mutex);
    ChooseFromEnvironmentLocked();
    return g_backend;
}

bool WaitForAudioQueueEmpty(DWORD msRealTimeout) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(msRealTimeout);
    for (;;) {
        std::shared_ptr<Device> device;
        {
            std::lock_guard lock(g_mutex);
            device = g_device;
        }
        if (!device || device->Idle()) return true;
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

} // namespace host
