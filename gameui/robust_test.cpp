// The program under abuse: killed at random moments of play, and a whole session checked for
// memory left in use at its end.
#include "foundation/memmgr.h"
#include "foundation/tl_language.h"
#include "game/computer.h"
#include "game/game.h"
#include "game/history.h"
#include "game/rules.h"
#include "game/settings.h"
#include "gameui/kelvano.h"
#include "gameui/kelvano_test_support.h"
#include "gameui/resource.h"
#include "gameui/tutorial.h"
#include "host/clock.h"
#include "host/debug.h"
#include "host/registry.h"
#include "host/screen.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_folder.h"
#include "tests/support/temp_registry.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <random>
#include <sys/wait.h>
#include <thread>
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
    for (;;) {
        Frames(1);
        if (fdReady >= 0 && PlayedMoveCount() > 0) {
            close(fdReady); // in play from now on
            fdReady = -1;
        }
    }
}

// The threads of this process. A child forked while other threads run inherits the state
// of their locks and condition variables, and may hang on them: the test forks only alone.
int ThreadCount() {
    int c = 0;
    for ([[maybe_unused]] const auto& entry :
         std::filesystem::directory_iterator("/proc/self/task"))
        ++c;
    return c;
}

// Killed anywhere in play, the program leaves a saved game that restores to a position its
// history replays to from the start board: SaveGame's two values land together.
TEST(Robust, KilledDuringPlayLeavesARestorableGame) {
    testsupport::TempRegistry registry{"kelvano-kill"};
    testsupport::TempFolder runtime{"kelvano-runtime"};
    testsupport::ScopedEnv runtimeEnv{"KELVANO_RUNTIME_DIR", runtime.Path().c_str()};
    // The sound mixer and the instance listener live for the process once started: after
    // other tests in this process, a forked child could hang (ctest runs each test alone).
    ASSERT_EQ(ThreadCount(), 1) << "run this test in a process of its own";
    std::mt19937 random(2323);
    constexpr int kRounds = 50;
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

// Presses OK in whatever dialog is active when the modal loop takes its message.
LRESULT PressOkProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (uMsg != WM_USER) return DefWindowProc(hwnd, uMsg, wParam, lParam);
    SendMessage(GetActiveWindow(), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    return 0;
}

void Command(UINT nId) {
    SendMessage(KelvanoMainWindow(), WM_COMMAND, MAKEWPARAM(nId, 0), 0);
    PumpAll();
}

// Frames until cMoves more moves are played; the search runs on a thread of its own.
bool PlayMoves(std::uint32_t cMoves) {
    const std::uint32_t iTarget = PlayedMoveCount() + cMoves;
    for (int i = 0; i < 5000 && PlayedMoveCount() < iTarget && g_game.fInProgress; ++i) {
        Frames(1);
        if (IsSearchRunning()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return PlayedMoveCount() >= iTarget || !g_game.fInProgress;
}

using Session = KelvanoTest;

// A whole session leaves no block of the memory manager in use at its end: first start with
// the tutorial, the new-game dialog, moves, Undo and Redo, the tutorial again, language
// switches, and Exit.
TEST_F(Session, EndsWithNoBlockInUse) {
    HWND hwndOk = CreateScriptWindow("RobustPressOk", &PressOkProc);

    ASSERT_NE(Start(), nullptr);
    ASSERT_TRUE(IsKelvanoFirstStart());
    // The computer plays both sides.
    auto computerForBlue = [] {
        g_settings.aPlayer[PLAYER_BLUE] = {1, 1};
        EndTurn();
    };
    computerForBlue();
    ASSERT_TRUE(PlayMoves(4));
    PostMessage(hwndOk, WM_USER, 0, 0);
    Command(IDM_NEWGAME);
    ASSERT_EQ(RecordedMoveCount(), 0u) << "the dialog's OK starts a new game";
    computerForBlue();
    Command(IDM_LANGUAGE);
    ASSERT_TRUE(PlayMoves(3));
    // Every page of the tutorial, then its Close.
    static int s_cOpened = 0;
    SetTutorialOpenHook([](HWND hDlg) {
        s_cOpened++;
        for (int i = 0; i < cTutorialPages; ++i)
            SendMessage(hDlg, WM_COMMAND, MAKEWPARAM(IDC_FORWARD, BN_CLICKED), 0);
    });
    Command(IDM_TUTORIAL);
    SetTutorialOpenHook(nullptr);
    EXPECT_EQ(s_cOpened, 1);
    EXPECT_EQ(TutorialWindow(), nullptr);
    Command(IDM_UNDO);
    Command(IDM_REDO);
    Frames(30);
    Command(IDM_LANGUAGE);
    Command(IDM_LANGUAGE);
    PostMessage(KelvanoMainWindow(), WM_COMMAND, MAKEWPARAM(IDM_EXIT, 0), 0);
    PumpAll();
    ASSERT_EQ(KelvanoMainWindow(), nullptr);
    DestroyWindow(hwndOk);
    AnimShutdown();

    DebugCapture capture;
    EXPECT_EQ(mem::ReportLeaks(), 0u) << capture.Text();
}

// The program itself reports what it leaves in use when it ends, on the debug output.
TEST(Robust, ProgramEndReportsNoBlockInUse) {
    testsupport::TempFolder folder{"kelvano-end"};
    testsupport::ScopedEnv registry{"KELVANO_REGISTRY_DIR", folder.Path().c_str()};
    testsupport::ScopedEnv runtime{"KELVANO_RUNTIME_DIR", folder.Path().c_str()};
    testsupport::ScopedEnv backend{"KELVANO_BACKEND", "headless"};
    testsupport::ScopedEnv debug{"KELVANO_DEBUG", "1"};
    testsupport::ScopedEnv leakCheck{"KELVANO_LEAK_CHECK", "fail"};
    // The logo alone takes its few seconds of real time: one short demo.
    const testsupport::ProgramRun run =
        testsupport::RunProgram(folder.Path(), KELVANO_PROGRAM, "--demo 3 1 --frames 45");
    EXPECT_EQ(run.nExit, 0);
    EXPECT_NE(run.err.find("memory: no blocks left in use\n"), std::string::npos) << run.err;
}

} // namespace
