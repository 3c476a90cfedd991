// The program under abuse: killed at random moments of play, and a whole session checked for
// memory left in use at its end.
#include "foundation/memmgr.h"
#include "game/history.h"
#include "game/rules.h"
#include "game/settings.h"
#include "gameui/kelvano.h"
#include "gameui/kelvano_test_support.h"
#include "host/clock.h"
#include "host/registry.h"
#include "host/screen.h"
#include "tests/support/temp_folder.h"
#include "tests/support/temp_registry.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <random>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace host;
using namespace gameui_test;

// The demo, in process, as fast as it can play: the clock moves one frame per frame drawn.
[[noreturn]] void PlayDemoForever(int iLayout, int fdReady) {
    ScreenOptions options;
    options.backend = ScreenBackendKind::kHeadless;
    options.profile = ScreenProfile::kDevice;
    if (!InitScreen(options)) _exit(2);
    UseVirtualClock();
    SetVirtualClockAutoAdvance(true);
    KELVANORUN run;
    run.fSingleInstance = false;
    run.fDemo = true;
    run.iDemoLayout = iLayout;
    run.nDemoLevel = 1;
    if (StartKelvano(nullptr, run) == nullptr) _exit(3);
    SetVirtualClockAutoAdvance(false);
    close(fdReady); // the first game is saved
    for (;;)
        Frames(1);
}

// Killed anywhere in play, the program leaves a saved game that restores to a position its
// history replays to from the start board: SaveGame's two values land together.
TEST(Robust, KilledDuringPlayLeavesARestorableGame) {
    testsupport::TempRegistry registry{"kelvano-kill"};
    testsupport::TempFolder runtime{"kelvano-runtime"};
    testsupport::ScopedEnv runtimeEnv{"KELVANO_RUNTIME_DIR", runtime.Path().c_str()};
    std::mt19937 random(2323);
    constexpr int kRounds = 40;
    int cKills = 0, cWithMoves = 0;
    for (int round = 0; round < kRounds; ++round) {
        int ready[2];
        ASSERT_EQ(pipe(ready), 0);
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            close(ready[0]);
            PlayDemoForever(round % cLayouts, ready[1]);
        }
        close(ready[1]);
        char byte;
        while (read(ready[0], &byte, 1) < 0 && errno == EINTR) {
        }
        close(ready[0]);
        usleep(static_cast<useconds_t>(random() % 500000));
        kill(pid, SIGKILL);
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFSIGNALED(status)) << "round " << round << ": status " << status;
        cKills++;

        ASSERT_TRUE(ReadSettings());
        SAVEDRECORD saved;
        const int nSaved = ReadSavedGame(g_settings.fModern != 0, &saved);
        ASSERT_TRUE(nSaved == SAVED_INPROGRESS || nSaved == SAVED_ENDED)
            << "round " << round << ": " << nSaved;
        EXPECT_FALSE(saved.fHistoryDropped) << "round " << round << ": position without its moves";
        BOARD board = saved.game.boardStart;
        for (std::uint32_t i = 0; i < saved.iMove; ++i)
            ApplyMove(&board, saved.pMove[i], false);
        EXPECT_EQ(std::memcmp(&board, &saved.game.boardCurrent, sizeof board), 0)
            << "round " << round;
        cWithMoves += saved.iMove > 0;
        FreeSavedRecord(&saved);
    }
    EXPECT_EQ(cKills, kRounds);
    EXPECT_GT(cWithMoves, kRounds / 2) << "most kills should fall in play";
    for (const auto& entry : std::filesystem::directory_iterator(registry.Path()))
        EXPECT_EQ(entry.path().filename().string().find(".damaged-"), std::string::npos);
}

} // namespace
