#include "anim/cea_sound.h"

#include "foundation/memmgr.h"
#include "host/audio.h"
#include "host/clock.h"
#include "host/debug.h"
#include "host/file.h"
#include "host/screen.h"
#include "host/window.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

using host::BYTE;
using host::DWORD;
using host::WORD;

namespace {

using Bytes = std::vector<BYTE>;

void Put(Bytes* pb, DWORD n, int cb) {
    for (int i = 0; i < cb; ++i)
        pb->push_back(static_cast<BYTE>(n >> (8 * i)));
}

// A "fmt " body of cbFmt bytes (16: PCM record, 18: extended record).
Bytes Fmt(WORD wTag, WORD nChannels, DWORD nRate, WORD wBits, std::size_t cbFmt = 16) {
    Bytes b;
    Put(&b, wTag, 2);
    Put(&b, nChannels, 2);
    Put(&b, nRate, 4);
    Put(&b, nRate * wBits / 8 * nChannels, 4);
    Put(&b, nChannels * wBits / 8, 2);
    Put(&b, wBits, 2);
    b.resize(cbFmt, 0);
    return b;
}

struct Chunk {
    const char* pszId;
    Bytes body;
};

// A RIFF/WAVE file with the chunks in order, each odd-sized one padded.
Bytes Wave(const std::vector<Chunk>& chunks) {
    Bytes body = {'W', 'A', 'V', 'E'};
    for (const Chunk& chunk : chunks) {
        body.insert(body.end(), chunk.pszId, chunk.pszId + 4);
        Put(&body, static_cast<DWORD>(chunk.body.size()), 4);
        body.insert(body.end(), chunk.body.begin(), chunk.body.end());
        if (chunk.body.size() % 2 != 0) body.push_back(0);
    }
    Bytes file = {'R', 'I', 'F', 'F'};
    Put(&file, static_cast<DWORD>(body.size()), 4);
    file.insert(file.end(), body.begin(), body.end());
    return file;
}

Bytes Samples16(std::size_t cFrames, std::int16_t nLeft, std::int16_t nRight) {
    Bytes b;
    for (std::size_t i = 0; i < cFrames; ++i) {
        Put(&b, static_cast<std::uint16_t>(nLeft), 2);
        Put(&b, static_cast<std::uint16_t>(nRight), 2);
    }
    return b;
}

const host::WAVEFORMATEX kMono{host::WAVE_FORMAT_PCM, 1, 22050, 22050, 1, 8, 0};
const host::WAVEFORMATEX kStereo{host::WAVE_FORMAT_PCM, 2, 22050, 44100, 2, 8, 0};

TEST(SoundLoadTest, ChunkWalkAndConversions) {
    const Bytes ramp = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    struct Case {
        const char* pszName;
        Bytes file;
        WORD nChannels; // 0: the sound stays empty
        DWORD cbMin, cbMax;
        int nMid; // a middle sample (left), -1: not checked; 1: the ramp itself
    } cases[] = {
        {"16-bit 44100 stereo",
         Wave({{"fmt ", Fmt(1, 2, 44100, 16)}, {"data", Samples16(4410, 16384, -16384)}}), 2, 4380,
         4440, 192},
        {"16-bit mono",
         Wave({{"fmt ", Fmt(1, 1, 22050, 16)}, {"data", Samples16(50, 16384, 16384)}}), 1, 100, 100,
         192},
        {"odd chunk before data",
         Wave({{"fmt ", Fmt(1, 1, 22050, 8)}, {"LIST", {'a', 'b', 'c'}}, {"data", ramp}}), 1, 9, 9,
         1},
        {"extended format", Wave({{"fmt ", Fmt(1, 1, 22050, 8, 18)}, {"data", ramp}}), 1, 9, 9, 1},
        {"17-byte format", Wave({{"fmt ", Fmt(1, 1, 22050, 8, 17)}, {"data", ramp}}), 0, 0, 0, -1},
        {"15-byte format", Wave({{"fmt ", Fmt(1, 1, 22050, 8, 15)}, {"data", ramp}}), 0, 0, 0, -1},
        {"not PCM", Wave({{"fmt ", Fmt(3, 1, 22050, 32)}, {"data", ramp}}), 0, 0, 0, -1},
        {"no channels", Wave({{"fmt ", Fmt(1, 0, 22050, 8)}, {"data", ramp}}), 0, 0, 0, -1},
        {"three channels", Wave({{"fmt ", Fmt(1, 3, 22050, 8)}, {"data", ramp}}), 0, 0, 0, -1},
        {"four channels", Wave({{"fmt ", Fmt(1, 4, 22050, 8)}, {"data", ramp}}), 0, 0, 0, -1},
        {"no data", Wave({{"fmt ", Fmt(1, 1, 22050, 8)}}), 0, 0, 0, -1},
        {"data first", Wave({{"data", ramp}, {"fmt ", Fmt(1, 1, 22050, 8)}}), 0, 0, 0, -1},
    };
    for (const Case& c : cases) {
        Sound sound;
        EXPECT_EQ(sound.LoadMemory(c.file.data(), static_cast<DWORD>(c.file.size())),
                  c.nChannels != 0)
            << c.pszName;
        EXPECT_EQ(sound.IsLoaded(), c.nChannels != 0) << c.pszName;
        if (!sound.IsLoaded()) continue;
        const host::WAVEFORMATEX& format = sound.GetFormat();
        EXPECT_EQ(format.wFormatTag, host::WAVE_FORMAT_PCM) << c.pszName;
        EXPECT_EQ(format.nSamplesPerSec, 22050u) << c.pszName;
        EXPECT_EQ(format.wBitsPerSample, 8) << c.pszName;
        EXPECT_EQ(format.nChannels, c.nChannels) << c.pszName;
        EXPECT_GE(sound.GetDataSize(), c.cbMin) << c.pszName;
        EXPECT_LE(sound.GetDataSize(), c.cbMax) << c.pszName;
        // Middle samples: a converter may soften the edges.
        DWORD iMid = sound.GetDataSize() / 2 / c.nChannels * c.nChannels;
        if (c.nMid > 1) {
            EXPECT_NEAR(sound.GetData()[iMid], c.nMid, 2) << c.pszName;
        }
        if (c.nMid == 1) {
            EXPECT_EQ(Bytes(sound.GetData(), sound.GetData() + 9), ramp);
        }
        if (c.nChannels == 2) {
            EXPECT_NEAR(sound.GetData()[iMid + 1], 64, 2) << c.pszName;
        }
    }

    // Truncations of a good file never read past the end, and a failed load empties.
    Bytes file = Wave({{"fmt ", Fmt(1, 1, 22050, 8)}, {"data", ramp}});
    Sound sound;
    for (std::size_t cb = 0; cb + 1 < file.size(); ++cb) { // the last byte is the pad
        Bytes cut(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(cb));
        ASSERT_TRUE(sound.LoadMemory(file.data(), static_cast<DWORD>(file.size())));
        EXPECT_FALSE(sound.LoadMemory(cut.data(), static_cast<DWORD>(cut.size()))) << cb;
        EXPECT_FALSE(sound.IsLoaded());
    }

    // A file, read whole; raw data keeps its bytes.
    std::string path = ::testing::TempDir() + "cea_sound_test.wav";
    std::FILE* pFile = std::fopen(path.c_str(), "wb");
    ASSERT_NE(pFile, nullptr);
    std::fwrite(file.data(), 1, file.size(), pFile);
    std::fclose(pFile);
#if KELVANO_WIDE
    std::u16string name(path.begin(), path.end());
#else
    const std::string& name = path;
#endif
    EXPECT_TRUE(sound.LoadFile(name.c_str()));
    EXPECT_EQ(sound.GetDataSize(), 9u);
    EXPECT_FALSE(sound.LoadFile(TEXT("/nonexistent/sound.wav")));
    std::remove(path.c_str());
    EXPECT_TRUE(sound.LoadRaw(&kStereo, ramp.data(), 9));
    EXPECT_EQ(sound.GetDataSize(), 9u);
}

class SoundTest : public ::testing::Test {
protected:
    void SetUp() override {
        host::ScreenOptions options;
        options.backend = host::ScreenBackendKind::kHeadless;
        ASSERT_TRUE(host::InitScreen(options));
        host::UseVirtualClock();
        ASSERT_TRUE(host::SelectAudioBackend(host::AudioBackend::kCapture));
        host::WNDCLASST<TCHAR> wc = {};
        wc.lpfnWndProc = host::DefWindowProc;
        wc.lpszClassName = TEXT("SoundNotify");
        host::RegisterClass(&wc);
        m_hwnd = host::CreateWindowEx(0, TEXT("SoundNotify"), TEXT(""), host::WS_POPUP, 0, 0, 10,
                                      10, nullptr, nullptr, nullptr, nullptr);
        m_cBlocks = mem::ReportLeaks();
    }
    void TearDown() override {
        EXPECT_TRUE(RunUntil([] { return sound_mixer::ActiveVoices() == 0; }));
        Sound().Destroy(); // nothing plays: the device closes
        EXPECT_FALSE(sound_mixer::IsDeviceOpen());
        EXPECT_EQ(mem::ReportLeaks(), m_cBlocks) << "leak";
        EXPECT_EQ(m_capture.Text().find("Memory Manager"), std::string::npos);
        host::DestroyWindow(m_hwnd);
        host::UseRealClock();
        host::ShutdownScreen();
    }

    // Lets the device play on (virtual time) until done() holds; false after 5 s of real time.
    static bool RunUntil(const std::function<bool()>& done, DWORD msStep = 10) {
        for (int i = 0; i < 5000; ++i) {
            if (done()) return true;
            host::AdvanceVirtualClock(msStep);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return done();
    }
    static Bytes PlayOut(std::size_t cb) {
        RunUntil([cb] { return host::GetAudioCapture().data.size() >= cb; });
        return host::GetAudioCapture().data;
    }
    // SOUND_NOTIFY messages waiting for the window, as (first, second) parameters.
    std::vector<std::pair<host::WPARAM, host::LPARAM>> Notes() {
        std::vector<std::pair<host::WPARAM, host::LPARAM>> notes;
        host::MSG msg;
        while (host::PeekMessage(&msg, m_hwnd, SOUND_NOTIFY, SOUND_NOTIFY, host::PM_REMOVE))
            notes.emplace_back(msg.wParam, msg.lParam);
        return notes;
    }
    static host::WPARAM Param(const Sound* pSound) {
        return reinterpret_cast<host::WPARAM>(pSound);
    }

    host::HWND m_hwnd = nullptr;
    std::size_t m_cBlocks = 0;
    host::DebugCapture m_capture;
};

TEST_F(SoundTest, MixKeepsEachSoundsLoudnessAndNeverWraps) {
    const Bytes ramp = {128, 160, 200, 255, 0, 40, 100, 128};
    struct Case {
        const char* pszName;
        std::vector<Bytes> sounds;
        Bytes expected;
    } cases[] = {
        {"alone", {ramp}, ramp},
        {"two identical", {ramp, ramp}, ramp},
        // Peak 128 and the sum at the maximum: 254 * 128 / 254 + 128 is one past the byte.
        {"full scale", {{0, 255}, {128, 255}}, {64, 255}},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(host::SelectAudioBackend(host::AudioBackend::kCapture)) << c.pszName;
        std::vector<Sound> sounds(c.sounds.size());
        sound_mixer::HoldMixer();
        for (std::size_t i = 0; i < sounds.size(); ++i) {
            ASSERT_TRUE(sounds[i].LoadRaw(&kMono, c.sounds[i].data(),
                                          static_cast<DWORD>(c.sounds[i].size())));
            sounds[i].Play(SOUND_ONCE);
        }
        sound_mixer::ResumeMixer();
        Bytes played = PlayOut(2048);
        ASSERT_EQ(host::GetAudioCapture().format.nChannels, 2);
        Bytes left, right;
        for (std::size_t i = 0; i < c.expected.size(); ++i) {
            left.push_back(played[2 * i]);
            right.push_back(played[2 * i + 1]);
        }
        EXPECT_EQ(left, c.expected) << c.pszName;
        EXPECT_EQ(right, c.expected) << c.pszName;
        EXPECT_TRUE(RunUntil([] { return sound_mixer::ActiveVoices() == 0; }));
        for (Sound& sound : sounds)
            sound.Destroy();
    }
}

// The stereo sound has an odd byte count: its voices take whole frames and keep looping.
TEST_F(SoundTest, LoopsUntilStopWhichNotifiesOncePerVoice) {
    Bytes frames;
    for (int i = 0; i < 101; ++i)
        frames.push_back(static_cast<BYTE>(i % 2 == 0 ? 100 + i : 200 - i));
    Sound sound;
    ASSERT_TRUE(sound.LoadRaw(&kStereo, frames.data(), 101));
    sound.SetNotify(m_hwnd, 77);
    sound_mixer::HoldMixer();
    sound.Play(SOUND_LOOP);
    sound.Play(SOUND_LOOP);
    sound_mixer::ResumeMixer();
    EXPECT_EQ(sound.GetPlayCount(), 2);

    Bytes played = PlayOut(8 * 1024);
    EXPECT_EQ(sound_mixer::ActiveVoices(), 2);
    EXPECT_TRUE(Notes().empty());
    ASSERT_EQ(host::GetAudioCapture().format.nChannels, 2);
    for (std::size_t i = 0; i < 8 * 1024; ++i)
        ASSERT_EQ(played[i], frames[i % 100]) << i;

    sound.Stop();
    EXPECT_EQ(sound.GetPlayCount(), 0);
    EXPECT_EQ(sound_mixer::ActiveVoices(), 0);
    PlayOut(played.size() + 4 * 1024);
    using Note = std::pair<host::WPARAM, host::LPARAM>;
    EXPECT_EQ(Notes(), (std::vector<Note>{{Param(&sound), 77}, {Param(&sound), 77}}));
}

// A mode-2 sound is ended and freed once, after the mixer's walk, however its voices end.
TEST_F(SoundTest, OwnedSoundFreesItselfOnce) {
    Bytes looped(3000, 200);
    Sound other;
    ASSERT_TRUE(other.LoadRaw(&kMono, looped.data(), 3000));
    struct Case {
        const char* pszName;
        std::function<void(Sound*)> play;
        std::size_t cNotes;
    } cases[] = {
        {"alone", [](Sound* p) { p->Play(SOUND_ONCE_AND_FREE); }, 1},
        {"ending inside a fill",
         [&](Sound* p) {
             p->Play(SOUND_ONCE_AND_FREE); // the walk goes on to the other voice
             other.Play(SOUND_LOOP);
         },
         1},
        {"with a second voice",
         [](Sound* p) {
             p->Play(SOUND_ONCE);
             p->Play(SOUND_ONCE_AND_FREE);
         },
         2},
        {"owned by two voices",
         [](Sound* p) {
             p->Play(SOUND_ONCE_AND_FREE);
             p->Play(SOUND_ONCE_AND_FREE);
         },
         2},
        {"stopped",
         [](Sound* p) {
             p->Play(SOUND_ONCE);
             p->Play(SOUND_ONCE_AND_FREE);
             p->Stop();
         },
         2},
    };
    // Three voices' room, so that the voice array is the same size throughout.
    for (int i = 0; i < 3; ++i)
        other.Play(SOUND_ONCE);
    other.Stop();
    Bytes samples(700, 50);
    for (const Case& c : cases) {
        std::size_t cBlocks = mem::ReportLeaks();
        Sound* pSound = MemNew(Sound);
        ASSERT_TRUE(pSound->LoadRaw(&kMono, samples.data(), 700));
        pSound->SetNotify(m_hwnd, 5);
        sound_mixer::HoldMixer();
        c.play(pSound);
        sound_mixer::ResumeMixer();
        int cOthers = other.GetPlayCount();
        EXPECT_TRUE(RunUntil([&] {
            return sound_mixer::ActiveVoices() == cOthers && mem::ReportLeaks() == cBlocks;
        })) << c.pszName;
        other.Stop();
        std::size_t cNotes = 0;
        for (const auto& note : Notes())
            cNotes += note.first == Param(pSound) && note.second == 5;
        EXPECT_EQ(cNotes, c.cNotes) << c.pszName;
    }
}

TEST_F(SoundTest, DeviceClosesWhenIdleOrDestroyedAndReopensOnPlay) {
    Bytes samples(300, 90);
    Sound never; // destroyed before anything played
    ASSERT_TRUE(never.LoadRaw(&kMono, samples.data(), 300));
    never.Destroy();
    EXPECT_EQ(host::GetAudioCapture().cOpens, 0);

    Sound sound;
    ASSERT_TRUE(sound.LoadRaw(&kMono, samples.data(), 300));
    sound.Play(SOUND_ONCE);
    EXPECT_TRUE(sound_mixer::IsDeviceOpen());
    ASSERT_TRUE(RunUntil([] { return sound_mixer::ActiveVoices() == 0; }));
    // Open and idle, it streams silence.
    std::size_t cbPlayed = host::GetAudioCapture().data.size();
    EXPECT_GT(PlayOut(cbPlayed + 4096).size(), cbPlayed);
    EXPECT_TRUE(sound_mixer::IsDeviceOpen());
    sound.Destroy();
    EXPECT_FALSE(sound_mixer::IsDeviceOpen());
    EXPECT_EQ(host::GetAudioCapture().cCloses, 1);

    ASSERT_TRUE(sound.LoadRaw(&kMono, samples.data(), 300));
    sound.Play(SOUND_ONCE);
    EXPECT_TRUE(sound_mixer::IsDeviceOpen());
    EXPECT_EQ(host::GetAudioCapture().cOpens, 2);
    ASSERT_TRUE(RunUntil([] { return sound_mixer::ActiveVoices() == 0; }));
    host::DWORD msEnded = host::GetTickCount();
    ASSERT_TRUE(RunUntil([] { return !sound_mixer::IsDeviceOpen(); }, 50));
    EXPECT_GE(host::GetTickCount() - msEnded, sound_mixer::kIdleCloseMs - 100);
    EXPECT_EQ(host::GetAudioCapture().cCloses, 2);

    // The primed device stays open after its block of silence freed itself.
    Sound::PrimeSound();
    EXPECT_TRUE(sound_mixer::IsDeviceOpen());
    ASSERT_TRUE(RunUntil([] { return sound_mixer::ActiveVoices() == 0; }));
    EXPECT_TRUE(sound_mixer::IsDeviceOpen());
    sound.Play(SOUND_ONCE);
    EXPECT_EQ(host::GetAudioCapture().cOpens, 3);
}

TEST_F(SoundTest, WithoutDeviceNothingStartsAndOwnedSoundsGoAtOnce) {
    ASSERT_TRUE(host::SelectAudioBackend(host::AudioBackend::kNone));
    Bytes samples(300, 90);
    Sound sound;
    ASSERT_TRUE(sound.LoadRaw(&kMono, samples.data(), 300));
    sound.Play(SOUND_LOOP);
    EXPECT_EQ(sound.GetPlayCount(), 0);
    EXPECT_EQ(sound_mixer::ActiveVoices(), 0);
    Sound* pOwned = MemNew(Sound);
    ASSERT_TRUE(pOwned->LoadRaw(&kMono, samples.data(), 300));
    pOwned->Play(SOUND_ONCE_AND_FREE);
    EXPECT_EQ(mem::ReportLeaks(), m_cBlocks + 1); // sound's data only
    Sound().Play(SOUND_ONCE);                     // empty: nothing
    EXPECT_FALSE(sound_mixer::IsDeviceOpen());
}

} // namespace
