#include "host/audio.h"
#include "host/clock.h"
#include "host/debug.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <mutex>
#include <thread>
#include <vector>

#include <unistd.h>

namespace host {
namespace {

// What the device reported to its callback, and from which thread.
struct Calls {
    std::mutex mutex;
    std::vector<std::pair<UINT, DWORD_PTR>> calls;
    std::vector<std::thread::id> threads;
    // Runs inside WOM_DONE, before it is recorded.
    void (*onDone)(Calls*, HWAVEOUT, WAVEHDR*) = nullptr;
    std::atomic<bool> fInDone{false};

    static void Proc(HWAVEOUT hwo, UINT msg, DWORD_PTR instance, DWORD_PTR p1, DWORD_PTR) {
        auto* self = reinterpret_cast<Calls*>(instance);
        if (msg == WOM_DONE && self->onDone != nullptr)
            self->onDone(self, hwo, reinterpret_cast<WAVEHDR*>(p1));
        std::lock_guard lock(self->mutex);
        self->calls.emplace_back(msg, p1);
        self->threads.push_back(std::this_thread::get_id());
    }
    std::vector<std::pair<UINT, DWORD_PTR>> Get() {
        std::lock_guard lock(mutex);
        return calls;
    }
    MMRESULT Open(HWAVEOUT* phwo, const WAVEFORMATEX& fmt) {
        return waveOutOpen(phwo, WAVE_MAPPER, &fmt, reinterpret_cast<DWORD_PTR>(&Proc),
                           reinterpret_cast<DWORD_PTR>(this), CALLBACK_FUNCTION);
    }
};

// A prepared buffer of n bytes filled with `value`.
struct Buffer {
    std::vector<char> data;
    WAVEHDR hdr{};
    Buffer(std::size_t n, char value) : data(n, value) {
        hdr.lpData = data.data();
        hdr.dwBufferLength = static_cast<DWORD>(n);
    }
    bool Done() const { return std::atomic_ref<const DWORD>(hdr.dwFlags).load() & WHDR_DONE; }
};

bool WaitFor(const std::function<bool()>& condition) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

const WAVEFORMATEX kMono8 = MakePcmFormat(22050, 8, 1);

TEST(WaveOut, OpenChecksFormatFlagsAndDevice) {
    ASSERT_TRUE(SelectAudioBackend(AudioBackend::kNull));
    struct Case {
        WAVEFORMATEX fmt;
        MMRESULT expected;
    };
    auto with = [](WAVEFORMATEX f, auto change) {
        change(f);
        return f;
    };
    const Case cases[] = {
        {MakePcmFormat(8000, 8, 1), MMSYSERR_NOERROR},
        {MakePcmFormat(48000, 16, 2), MMSYSERR_NOERROR},
        {MakePcmFormat(7999, 8, 1), WAVERR_BADFORMAT},
        {MakePcmFormat(48001, 16, 1), WAVERR_BADFORMAT},
        {MakePcmFormat(22050, 8, 3), WAVERR_BADFORMAT},
        {MakePcmFormat(22050, 24, 1), WAVERR_BADFORMAT},
        {with(kMono8, [](WAVEFORMATEX& f) { f.wFormatTag = 3; }), WAVERR_BADFORMAT},
        {with(kMono8, [](WAVEFORMATEX& f) { f.wFormatTag = 2; }), WAVERR_BADFORMAT},
        {with(kMono8, [](WAVEFORMATEX& f) { f.nBlockAlign = 2; }), WAVERR_BADFORMAT},
        {with(kMono8, [](WAVEFORMATEX& f) { f.nAvgBytesPerSec = 11025; }), WAVERR_BADFORMAT},
    };
    for (const Case& c : cases) {
        // The 16-byte record alone must do: only it is read.
        auto pcm = std::make_unique<PCMWAVEFORMAT>();
        std::memcpy(pcm.get(), &c.fmt, sizeof *pcm);
        EXPECT_EQ(waveOutOpen(nullptr, WAVE_MAPPER, reinterpret_cast<WAVEFORMATEX*>(pcm.get()), 0,
                              0, WAVE_FORMAT_QUERY),
                  c.expected)
            << c.fmt.nSamplesPerSec << " " << c.fmt.wBitsPerSample << " " << c.fmt.nChannels;
    }
    HWAVEOUT hwo = nullptr, other = nullptr;
    EXPECT_EQ(waveOutOpen(&hwo, WAVE_MAPPER, nullptr, 0, 0, 0), MMSYSERR_INVALPARAM);
    EXPECT_EQ(waveOutOpen(&hwo, 3, &kMono8, 0, 0, 0), MMSYSERR_BADDEVICEID);
    EXPECT_EQ(waveOutOpen(&hwo, 0, &kMono8, 0, 0, 0x00050000), MMSYSERR_INVALFLAG);
    ASSERT_EQ(waveOutOpen(&hwo, 0, &kMono8, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    EXPECT_EQ(waveOutOpen(&other, 0, &kMono8, 0, 0, 0), MMSYSERR_ALLOCATED);
    EXPECT_FALSE(SelectAudioBackend(AudioBackend::kNone)); // not while open
    EXPECT_EQ(waveOutClose(hwo), MMSYSERR_NOERROR);

    ASSERT_TRUE(SelectAudioBackend(AudioBackend::kNone));
    EXPECT_EQ(waveOutGetNumDevs(), 0u);
    EXPECT_EQ(waveOutOpen(&hwo, 0, &kMono8, 0, 0, 0), MMSYSERR_NODRIVER);
    ASSERT_TRUE(SelectAudioBackend(AudioBackend::kNull));
    EXPECT_EQ(waveOutGetNumDevs(), 1u);
}

// Buffers play in write order at the clock's pace, each reported done from the device's
// thread; the capture holds their bytes and its file is a WAV file of them.
TEST(WaveOut, CapturePlaysInOrderAndReportsEachBuffer) {
    const auto path = std::filesystem::temp_directory_path() /
                      ("kelvano-audio-" + std::to_string(::getpid()) + ".wav");
    ASSERT_TRUE(SelectAudioBackend(AudioBackend::kCapture, path.string()));
    const WAVEFORMATEX fmt = MakePcmFormat(11025, 16, 2);
    VirtualClockScope clock;
    SetVirtualClockAutoAdvance(true);
    const ClockMs start = ClockNow();
    Calls calls;
    HWAVEOUT hwo = nullptr;
    ASSERT_EQ(calls.Open(&hwo, fmt), MMSYSERR_NOERROR);
    Buffer a(4410, 1), b(8, 2), c(44100, 3); // 0.1 s, 8 bytes, 1 s
    for (Buffer* p : {&a, &b, &c}) {
        ASSERT_EQ(waveOutPrepareHeader(hwo, &p->hdr, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
        ASSERT_EQ(waveOutWrite(hwo, &p->hdr, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    }
    ASSERT_TRUE(WaitFor([&] { return calls.Get().size() == 4; }));
    EXPECT_TRUE(a.Done() && b.Done() && c.Done());
    EXPECT_GE(ClockNow() - start, 1101u);
    for (Buffer* p : {&a, &b, &c})
        EXPECT_EQ(waveOutUnprepareHeader(hwo, &p->hdr, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    ASSERT_EQ(waveOutClose(hwo), MMSYSERR_NOERROR);
    SetVirtualClockAutoAdvance(false);

    const std::vector<std::pair<UINT, DWORD_PTR>> expected = {
        {WOM_OPEN, 0},
        {WOM_DONE, reinterpret_cast<DWORD_PTR>(&a.hdr)},
        {WOM_DONE, reinterpret_cast<DWORD_PTR>(&b.hdr)},
        {WOM_DONE, reinterpret_cast<DWORD_PTR>(&c.hdr)},
        {WOM_CLOSE, 0},
    };
    EXPECT_EQ(calls.Get(), expected);
    EXPECT_NE(calls.threads[1], std::this_thread::get_id());

    std::vector<std::uint8_t> bytes;
    for (Buffer* p : {&a, &b, &c})
        bytes.insert(bytes.end(), p->data.begin(), p->data.end());
    const AudioCapture capture = GetAudioCapture();
    EXPECT_EQ(capture.data, bytes);
    EXPECT_EQ(std::memcmp(&capture.format, &fmt, sizeof(PCMWAVEFORMAT)), 0);
    EXPECT_EQ(capture.cOpens, 1);
    EXPECT_EQ(capture.cCloses, 1);
    EXPECT_FALSE(capture.fOpen);

    std::ifstream in(path, std::ios::binary);
    std::vector<std::uint8_t> file{std::istreambuf_iterator<char>(in), {}};
    std::filesystem::remove(path);
    ASSERT_EQ(file.size(), 44 + bytes.size());
    auto u32 = [&](int at) {
        return file[at] | file[at + 1] << 8 | file[at + 2] << 16 |
               std::uint32_t(file[at + 3]) << 24;
    };
    EXPECT_EQ(std::string(file.begin(), file.begin() + 4), "RIFF");
    EXPECT_EQ(u32(4), file.size() - 8);
    EXPECT_EQ(std::string(file.begin() + 8, file.begin() + 16), "WAVEfmt ");
    EXPECT_EQ(u32(16), 16u);
    EXPECT_EQ(std::memcmp(file.data() + 20, &fmt, 16), 0);
    EXPECT_EQ(std::string(file.begin() + 36, file.begin() + 40), "data");
    EXPECT_EQ(u32(40), bytes.size());
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), file.begin() + 44));

    // The handle is gone for good.
    EXPECT_EQ(waveOutWrite(hwo, &a.hdr, sizeof(WAVEHDR)), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(waveOutReset(hwo), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(waveOutClose(hwo), MMSYSERR_INVALHANDLE);
}

// A second of audio takes a second of the clock, and the next buffer follows on without a gap.
TEST(WaveOut, NullBackendPlaysAtTheClocksPace) {
    ASSERT_TRUE(SelectAudioBackend(AudioBackend::kNull));
    VirtualClockScope clock;
    HWAVEOUT hwo = nullptr;
    ASSERT_EQ(waveOutOpen(&hwo, 0, &kMono8, 0, 0, 0), MMSYSERR_NOERROR);
    Buffer second(22050, 0), half(11025, 0);
    for (Buffer* p : {&second, &half}) {
        ASSERT_EQ(waveOutPrepareHeader(hwo, &p->hdr, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
        ASSERT_EQ(waveOutWrite(hwo, &p->hdr, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    }
    for (Buffer* p : {&second, &half}) {
        WaitForVirtualClockWaiters(1);
        AdvanceVirtualClock(p == &second ? 999 : 499);
        WaitForVirtualClockWaiters(1);
        EXPECT_FALSE(p->Done());
        AdvanceVirtualClock(1);
        EXPECT_TRUE(WaitFor([&] { return p->Done(); }));
    }
    EXPECT_EQ(waveOutClose(hwo), MMSYSERR_NOERROR);
}

// Reset hands back every queued buffer, reported, before it returns; closing needs it.
TEST(WaveOut, ResetReturnsQueuedBuffers) {
    ASSERT_TRUE(SelectAudioBackend(AudioBackend::kNull));
    VirtualClockScope clock; // stands still: nothing finishes by itself
    Calls calls;
    HWAVEOUT hwo = nullptr;
    ASSERT_EQ(calls.Open(&hwo, kMono8), MMSYSERR_NOERROR);
    Buffer a(100, 0), b(100, 0), unprepared(100, 0);
    EXPECT_EQ(waveOutWrite(hwo, &unprepared.hdr, sizeof(WAVEHDR)), WAVERR_UNPREPARED);
    for (Buffer* p : {&a, &b}) {
        ASSERT_EQ(waveOutPrepareHeader(hwo, &p->hdr, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
        ASSERT_EQ(waveOutWrite(hwo, &p->hdr, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    }
    EXPECT_EQ(waveOutWrite(hwo, &a.hdr, sizeof(WAVEHDR)), WAVERR_STILLPLAYING);
    EXPECT_EQ(waveOutUnprepareHeader(hwo, &a.hdr, sizeof(WAVEHDR)), WAVERR_STILLPLAYING);
    EXPECT_EQ(waveOutClose(hwo), WAVERR_STILLPLAYING);
    EXPECT_FALSE(a.Done());

    EXPECT_EQ(waveOutReset(hwo), MMSYSERR_NOERROR);
    EXPECT_TRUE(a.Done() && b.Done());
    EXPECT_EQ(calls.Get().size(), 3u); // open and both buffers
    EXPECT_EQ(waveOutUnprepareHeader(hwo, &a.hdr, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    EXPECT_EQ(a.hdr.dwFlags, WHDR_DONE);
    EXPECT_EQ(waveOutClose(hwo), MMSYSERR_NOERROR);
    ASSERT_EQ(waveOutOpen(&hwo, 0, &kMono8, 0, 0, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(waveOutClose(hwo), MMSYSERR_NOERROR);
}

// The device may be closed while its thread is inside a callback that calls back into the
// device, from another thread that holds a lock of its own, or from the callback itself.
TEST(WaveOut, CloseDuringACallbackDoesNotDeadlock) {
    ASSERT_TRUE(SelectAudioBackend(AudioBackend::kNull));
    VirtualClockScope clock;
    SetVirtualClockAutoAdvance(true);
    for (bool fFromCallback : {false, true}) {
        Calls calls;
        calls.onDone = fFromCallback ? [](Calls*, HWAVEOUT hwo, WAVEHDR* pwh) {
            waveOutUnprepareHeader(hwo, pwh, sizeof(WAVEHDR));
            EXPECT_EQ(waveOutClose(hwo), MMSYSERR_NOERROR);
        }
                                     : [](Calls* self, HWAVEOUT hwo, WAVEHDR* pwh) {
                                           self->fInDone = true;
                                           std::this_thread::sleep_for(std::chrono::milliseconds(50));
                                           waveOutUnprepareHeader(hwo, pwh, sizeof(WAVEHDR));
                                       };
        HWAVEOUT hwo = nullptr;
        ASSERT_EQ(calls.Open(&hwo, kMono8), MMSYSERR_NOERROR);
        Buffer a(100, 0);
        ASSERT_EQ(waveOutPrepareHeader(hwo, &a.hdr, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
        ASSERT_EQ(waveOutWrite(hwo, &a.hdr, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
        if (!fFromCallback) {
            ASSERT_TRUE(WaitFor([&] { return calls.fInDone.load(); }));
            std::mutex own;
            std::lock_guard lock(own);
            EXPECT_EQ(waveOutClose(hwo), MMSYSERR_NOERROR);
        }
        ASSERT_TRUE(WaitFor([&] { return calls.Get().size() == 3; }));
        EXPECT_EQ(calls.Get().back().first, WOM_CLOSE);
    }
    SetVirtualClockAutoAdvance(false);
}

// Through SDL's dummy output when SDL has one; otherwise the open says there is no driver,
// once in the debug output.
TEST(WaveOut, SdlBackendPlaysOrSaysThereIsNoDriver) {
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    ASSERT_TRUE(SelectAudioBackend(AudioBackend::kSdl));
    DebugCapture debug;
    const WAVEFORMATEX fmt = MakePcmFormat(44100, 16, 2);
    Calls calls;
    HWAVEOUT hwo = nullptr;
    const MMRESULT mr = calls.Open(&hwo, fmt);
    if (mr == MMSYSERR_NODRIVER) {
        EXPECT_EQ(calls.Open(&hwo, fmt), MMSYSERR_NODRIVER);
        const std::string text = debug.Text();
        EXPECT_EQ(text.find("audio: "), 0u) << text;
        EXPECT_EQ(text.find("audio: ", 1), std::string::npos) << text;
    } else {
        ASSERT_EQ(mr, MMSYSERR_NOERROR);
        Buffer a(4 * 2205, 0), b(4 * 2205, 0); // 50 ms each
        for (Buffer* p : {&a, &b}) {
            ASSERT_EQ(waveOutPrepareHeader(hwo, &p->hdr, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
            ASSERT_EQ(waveOutWrite(hwo, &p->hdr, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
        }
        EXPECT_TRUE(WaitFor([&] { return a.Done() && b.Done(); }));
        EXPECT_EQ(waveOutReset(hwo), MMSYSERR_NOERROR);
        EXPECT_EQ(waveOutClose(hwo), MMSYSERR_NOERROR);
        EXPECT_EQ(calls.Get().size(), 4u);
    }
    ASSERT_TRUE(SelectAudioBackend(AudioBackend::kNull));
}

} // namespace
} // namespace host
