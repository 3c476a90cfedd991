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
#include <tuple>
#include <vector>

#include <unistd.h>

namespace host {
namespace {

// What the device reported to its callback, and from which thread.
struct Calls {
    std::mutex mutex;
    std::vector<std::pair<UINT, DWORD_PTR>> calls;
    std::thread::id doneThread;
    // Runs inside WOM_DONE, before it is recorded.
    void (*onDone)(Calls*, HWAVEOUT, WAVEHDR*) = nullptr;
    std::atomic<bool> fInDone{false};

    static void Proc(HWAVEOUT hwo, UINT msg, DWORD_PTR instance, DWORD_PTR p1, DWORD_PTR) {
        auto* self = reinterpret_cast<Calls*>(instance);
        if (msg == WOM_DONE && self->onDone != nullptr)
            self->onDone(self, hwo, reinterpret_cast<WAVEHDR*>(p1));
        std::lock_guard lock(self->mutex);
        self->calls.emplace_back(msg, p1);
        if (msg == WOM_DONE) self->doneThread = std::this_thread::get_id();
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
    // Prepares (the first time) and writes the buffer.
    MMRESULT Write(HWAVEOUT hwo) {
        if (!(hdr.dwFlags & WHDR_PREPARED) && waveOutPrepareHeader(hwo, &hdr, sizeof hdr) != 0)
            return MMSYSERR_ERROR;
        return waveOutWrite(hwo, &hdr, sizeof hdr);
    }
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
        DWORD rate;
        WORD bits, channels, tag, blockAlign; // 0: the matching block align
        DWORD avgBytes;                       // 0: the matching byte rate
        MMRESULT expected;
    };
    const Case cases[] = {
        {8000, 8, 1, 1, 0, 0, MMSYSERR_NOERROR},  {48000, 16, 2, 1, 0, 0, MMSYSERR_NOERROR},
        {7999, 8, 1, 1, 0, 0, WAVERR_BADFORMAT},  {48001, 16, 1, 1, 0, 0, WAVERR_BADFORMAT},
        {22050, 8, 3, 1, 0, 0, WAVERR_BADFORMAT}, {22050, 24, 1, 1, 0, 0, WAVERR_BADFORMAT},
        {22050, 8, 1, 3, 0, 0, WAVERR_BADFORMAT}, {22050, 16, 2, 2, 0, 0, WAVERR_BADFORMAT},
        {22050, 8, 1, 1, 2, 0, WAVERR_BADFORMAT}, {22050, 8, 1, 1, 0, 11025, WAVERR_BADFORMAT},
    };
    for (const Case& c : cases) {
        WAVEFORMATEX f = MakePcmFormat(c.rate, c.bits, c.channels);
        f.wFormatTag = c.tag;
        f.nBlockAlign = c.blockAlign ? c.blockAlign : f.nBlockAlign;
        f.nAvgBytesPerSec = c.avgBytes ? c.avgBytes : f.nAvgBytesPerSec;
        // The 16-byte record alone must do: only it is read.
        auto pcm = std::make_unique<PCMWAVEFORMAT>();
        std::memcpy(pcm.get(), &f, sizeof *pcm);
        EXPECT_EQ(waveOutOpen(nullptr, WAVE_MAPPER, reinterpret_cast<WAVEFORMATEX*>(pcm.get()), 0,
                              0, WAVE_FORMAT_QUERY),
                  c.expected)
            << c.rate << " " << c.bits << " " << c.channels << " " << c.tag;
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
    for (Buffer* p : {&a, &b, &c})
        ASSERT_EQ(p->Write(hwo), MMSYSERR_NOERROR);
    ASSERT_TRUE(WaitFor([&] { return calls.Get().size() == 4; }));
    EXPECT_TRUE(a.Done() && b.Done() && c.Done());
    EXPECT_GE(ClockNow() - start, 1101u);
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
    EXPECT_NE(calls.doneThread, std::this_thread::get_id());

    std::vector<std::uint8_t> bytes;
    for (Buffer* p : {&a, &b, &c})
        bytes.insert(bytes.end(), p->data.begin(), p->data.end());
    const AudioCapture capture = GetAudioCapture();
    EXPECT_EQ(capture.data, bytes);
    EXPECT_EQ(std::memcmp(&capture.format, &fmt, sizeof(PCMWAVEFORMAT)), 0);
    EXPECT_EQ(std::tuple(capture.cOpens, capture.cCloses, capture.fOpen), std::tuple(1, 1, false));

    std::ifstream in(path, std::ios::binary);
    std::string file{std::istreambuf_iterator<char>(in), {}};
    std::filesystem::remove(path);
    auto le32 = [](std::size_t v) {
        return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
    };
    const std::string header = "RIFF" + le32(36 + bytes.size()) + "WAVEfmt " + le32(16) +
                               std::string(reinterpret_cast<const char*>(&fmt), 16) + "data" +
                               le32(bytes.size());
    EXPECT_EQ(file, header + std::string(bytes.begin(), bytes.end()));

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
    for (Buffer* p : {&second, &half})
        ASSERT_EQ(p->Write(hwo), MMSYSERR_NOERROR);
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
    for (Buffer* p : {&a, &b})
        ASSERT_EQ(p->Write(hwo), MMSYSERR_NOERROR);
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
        ASSERT_EQ(a.Write(hwo), MMSYSERR_NOERROR);
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
        for (Buffer* p : {&a, &b})
            ASSERT_EQ(p->Write(hwo), MMSYSERR_NOERROR);
        EXPECT_TRUE(WaitFor([&] { return a.Done() && b.Done(); }));
        EXPECT_EQ(waveOutReset(hwo), MMSYSERR_NOERROR);
        EXPECT_EQ(waveOutClose(hwo), MMSYSERR_NOERROR);
        EXPECT_EQ(calls.Get().size(), 4u);
    }
    ASSERT_TRUE(SelectAudioBackend(AudioBackend::kNull));
}

} // namespace
} // namespace host
