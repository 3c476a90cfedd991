// The program end to end: the real start-up in process on a headless device screen, the
// virtual clock and a fresh registry, and the program itself as a child process.
#include "game/computer.h"
#include "game/game.h"
#include "game/history.h"
#include "game/presenter.h"
#include "game/settings.h"
#include "gameui/kelvano.h"
#include "gameui/kelvano_test_support.h"
#include "host/registry.h"
#include "host/window.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace host;
using namespace gameui_test;

std::vector<BYTE> StoredSettings() {
    HKEY hKey = nullptr;
    std::vector<BYTE> bytes(64);
    if (RegOpenKeyEx(HKEY_CURRENT_USER, "Software\\Vantor\\Kelvano CE", 0, KEY_ALL_ACCESS, &hKey) !=
        ERROR_SUCCESS)
        return {};
    DWORD cb = static_cast<DWORD>(bytes.size()), dwType = 0;
    LONG l = RegQueryValueEx(hKey, "Settings", nullptr, &dwType, bytes.data(), &cb);
    RegCloseKey(hKey);
    if (l != ERROR_SUCCESS || dwType != REG_BINARY) return {};
    bytes.resize(cb);
    return bytes;
}

using Kelvano = KelvanoTest;

// The first start writes the defaults at once (44 bytes) and is the only first start.
TEST_F(Kelvano, FirstStartWritesTheDefaultSettings) {
    ASSERT_NE(Start(), nullptr);
    EXPECT_TRUE(IsKelvanoFirstStart());
    const std::int32_t anExpected[11] = {0x00010000, 0, 1, 0, 1, 0, 0, 0, 0, 1, 2};
    std::vector<BYTE> stored = StoredSettings();
    ASSERT_EQ(stored.size(), 44u);
    EXPECT_EQ(std::memcmp(stored.data(), anExpected, 44), 0);
    Close();
    ASSERT_NE(Start(), nullptr);
    EXPECT_FALSE(IsKelvanoFirstStart());
}

// A game in progress comes back on the next start, position and record.
TEST_F(Kelvano, RestoresTheSavedGame) {
    ASSERT_NE(Start(), nullptr);
    ASSERT_TRUE(PlayMove(MOVE{4, 8, 0, 0, 0, 0, 0}));
    Frames(20);
    const BOARD board = CurrentBoard();
    Close();
    ASSERT_NE(Start(), nullptr);
    EXPECT_EQ(PlayedMoveCount(), 1u);
    EXPECT_EQ(std::memcmp(&CurrentBoard(), &board, sizeof(BOARD)), 0);
    EXPECT_TRUE(g_game.fInProgress);
}

// The computer's move arrives as message 1124; once the game has ended it is ignored.
TEST_F(Kelvano, ComputerMoveAfterTheEndIsIgnored) {
    for (bool fEndFirst : {false, true}) {
        SCOPED_TRACE(fEndFirst ? "game ended" : "game in progress");
        ASSERT_NE(Start(), nullptr);
        NewGame(0, 0);
        ASSERT_TRUE(PlayMove(MOVE{4, 8, 0, 0, 0, 0, 0}));
        StartSearch(CurrentBoard(), PLAYER_RED);
        MSG msg{};
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!PeekMessage(&msg, KelvanoMainWindow(), WM_COMPUTERMOVE, WM_COMPUTERMOVE,
                            PM_NOREMOVE) &&
               std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        ASSERT_EQ(msg.message, WM_COMPUTERMOVE);
        if (fEndFirst) EndGame(PLAYER_BLUE, REASON_LOST);
        PumpAll();
        EXPECT_EQ(PlayedMoveCount(), fEndFirst ? 1u : 2u);
        Close();
    }
}

// A second start, here the real program, tells the running one to come to the front and
// ends without a window of its own.
TEST_F(Kelvano, SecondInstancePostsFrontAndEnds) {
    ASSERT_NE(Start(true), nullptr);
    testsupport::TempFolder folder{"kelvano-second"};
    testsupport::ScopedEnv backend{"KELVANO_BACKEND", "headless"};
    testsupport::ScopedEnv registryDir{"KELVANO_REGISTRY_DIR", registry_.Path().c_str()};
    testsupport::ProgramRun run =
        testsupport::RunProgram(folder.Path(), KELVANO_PROGRAM, "--frames 300");
    EXPECT_EQ(run.nExit, 0) << run.err;
    MSG msg{};
    bool fFront = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!fFront && std::chrono::steady_clock::now() < deadline) {
        while (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE)) {
            fFront |= msg.hwnd == KelvanoMainWindow() && msg.message == WM_COMMAND &&
                      LOWORD(msg.wParam) == 1003;
            DispatchMessage(&msg);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_TRUE(fFront);
    EXPECT_TRUE(IsWindow(KelvanoMainWindow()));
}

// Pictures to look at: the start of every layout, a cascade under way, an ended game.
TEST_F(Kelvano, Screenshots) {
    ASSERT_NE(Start(), nullptr);
    for (int iLayout = 0; iLayout < 7; ++iLayout) {
        NewGame(iLayout, 0);
        Frames(3);
        Screenshot("kelvano-layout" + std::to_string(iLayout) + ".png");
    }
    NewGame(0, 0);
    Frames(3);
    ASSERT_TRUE(PlayMove(MOVE{4, 8, 0, 0, 0, 0, 0}));
    Frames(10);
    Screenshot("kelvano-cascade.png");
    // Six Red pieces gone: Blue wins at the next end-of-game test.
    NewGame(0, 0);
    int cRemoved = 0;
    for (auto& row : CurrentBoard().aCell)
        for (CELL& cell : row)
            if (cell.nPiece == PIECE_RED && cRemoved < 6) {
                cell.nPiece = PIECE_NONE;
                ++cRemoved;
            }
    CurrentBoard().cLost[PLAYER_RED] = 6;
    GamePresenter().RebuildPieces(CurrentBoard());
    GamePresenter().ScheduleUpdate();
    Frames(KelvanoAnimWindow()->GetEndFrame() - KelvanoAnimWindow()->GetFrameCounter() + 3);
    EXPECT_FALSE(g_game.fInProgress);
    EXPECT_EQ(g_game.iWinner, PLAYER_BLUE);
    Screenshot("kelvano-ended.png");
}

// The program itself: usage, and the demo headless with a screenshot, leaving the player's
// registry alone.
TEST(KelvanoProgram, CommandLine) {
    testsupport::TempFolder folder{"kelvano-cli"};
    testsupport::TempRegistry registry{"kelvano-cli-registry"};
    testsupport::ScopedEnv backend{"KELVANO_BACKEND", "headless"};
    testsupport::ScopedEnv registryDir{"KELVANO_REGISTRY_DIR", registry.Path().c_str()};
    struct CASE {
        const char* pszArgs;
        int nExit;
        const char* pszSays;
    } aCases[] = {
        {"--help", 0, "--demo"},
        {"--demo 7", 2, "Try 'kelvano --help'"},
        {"--frames 0", 2, "Try 'kelvano --help'"},
        {"--screenshot x.png", 2, "--frames"},
        {"--bogus", 2, "unknown option"},
        {"", 2, "--frames"},
        {"--demo 1 3 --frames 60 --screenshot demo.png", 0, ""},
    };
    for (const CASE& c : aCases) {
        SCOPED_TRACE(c.pszArgs);
        testsupport::ProgramRun run =
            testsupport::RunProgram(folder.Path(), KELVANO_PROGRAM, c.pszArgs);
        EXPECT_EQ(run.nExit, c.nExit) << run.err;
        EXPECT_NE((run.out + run.err).find(c.pszSays), std::string::npos) << run.out << run.err;
    }
    EXPECT_TRUE(std::filesystem::exists(folder.Path() / "demo.png"));
    std::filesystem::copy_file(folder.Path() / "demo.png",
                               std::filesystem::path(KELVANO_TEST_OUTPUT) / "kelvano-demo.png",
                               std::filesystem::copy_options::overwrite_existing);
    // The demo kept its settings elsewhere.
    EXPECT_TRUE(std::filesystem::is_empty(registry.Path()));
    // A timed first start plays its frames: the tutorial a first start opens would wait for
    // a player who is not there.
    testsupport::ProgramRun first =
        testsupport::RunProgram(folder.Path(), KELVANO_PROGRAM, "--frames 90");
    EXPECT_EQ(first.nExit, 0) << first.err;
    EXPECT_FALSE(std::filesystem::is_empty(registry.Path()));
}

} // namespace
