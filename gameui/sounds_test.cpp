// The game's sounds through the real mixer and the capture device: the settings' fSound
// silences everything, and a colour's rolling sound spans overlapping glides once.
#include "gameui/sounds.h"

#include "anim/cea_sound.h"
#include "game/board.h"
#include "game/game.h"
#include "game/history.h"
#include "game/presenter.h"
#include "game/settings.h"
#include "gameui/kelvano.h"
#include "gameui/kelvano_test_support.h"
#include "gameui/resource.h"
#include "host/audio.h"
#include "host/clock.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using namespace host;
using namespace gameui_test;

class GameSounds : public KelvanoTest {
protected:
    void SetUp() override {
        KelvanoTest::SetUp();
        ASSERT_TRUE(SelectAudioBackend(AudioBackend::kCapture));
    }
    void TearDown() override {
        KelvanoTest::TearDown();
        SelectAudioBackend(AudioBackend::kNull);
    }
};

// With fSound 0 stored, nothing plays from the logo to the exit, button clicks included:
// the device never even opens.
TEST_F(GameSounds, SoundOffPlaysNothingAtAll) {
    g_settings = DefaultSettings();
    g_settings.fSound = 0;
    WriteSettings();
    ASSERT_NE(Start(), nullptr);
    EXPECT_TRUE(IsGameSoundLoaded(SOUND_CLICK));
    ASSERT_TRUE(PlayMove(MOVE{4, 8, 0, 0, 0, 0, 0}));
    SendMessage(KelvanoMainWindow(), WM_COMMAND, MAKEWPARAM(IDM_UNDO, 0), 0);
    SendMessage(KelvanoMainWindow(), WM_COMMAND, MAKEWPARAM(0, 2), 0); // a button pressed
    Frames(40);
    Close();
    const AudioCapture capture = GetAudioCapture();
    EXPECT_EQ(capture.cOpens, 0);
    EXPECT_TRUE(capture.data.empty());
}

// Two Red glides that overlap start WAVE 123 once and stop it when the later one ends. The
// clock stands still, so only the display starts and ends voices.
TEST_F(GameSounds, OverlappingRedGlidesRollOnce) {
    ASSERT_NE(Start(), nullptr);
    ASSERT_TRUE(IsGameSoundLoaded(SOUND_ROLL_RED));
    const int cBefore = sound_mixer::ActiveVoices(); // the new game's sound may still play
    std::vector<CELLPOS> reds;
    for (int y = 0; y < cBoardRows; ++y)
        for (int x = 0; x < cBoardColumns; ++x)
            if (CurrentBoard().aCell[y][x].nPiece == PIECE_RED) reds.push_back({x, y});
    ASSERT_GE(reds.size(), 2u);
    AnimWindow* pWindow = KelvanoAnimWindow();
    const LONG nStart = pWindow->GetFrameCounter() + 1;
    GamePresenter().GlidePiece(reds[0].x, reds[0].y, 1, PIECE_RED, nStart);
    const int nEnd = GamePresenter().GlidePiece(reds[1].x, reds[1].y, 1, PIECE_RED, nStart + 5);
    // Voices after each frame: WAVE 123 alone from the first start to the later end.
    std::vector<int> voices, expected;
    for (LONG iFrame = nStart - 1; iFrame <= nEnd; ++iFrame) {
        ASSERT_EQ(pWindow->GetFrameCounter(), iFrame);
        pWindow->Step();
        voices.push_back(sound_mixer::ActiveVoices());
        expected.push_back(cBefore + (iFrame >= nStart && iFrame < nEnd ? 1 : 0));
    }
    EXPECT_EQ(voices, expected);
}

} // namespace
