// A whole game in the real program, won by a person through stylus input alone.
#include "anim/cea_object.h"
#include "anim/cea_window.h"
#include "game/computer.h"
#include "game/game.h"
#include "game/history.h"
#include "game/search.h"
#include "game/settings.h"
#include "gameui/display.h"
#include "gameui/graphics.h"
#include "gameui/kelvano.h"
#include "gameui/kelvano_test_support.h"
#include "host/window.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

using namespace host;
using namespace gameui_test;

// A cell's centre on the screen.
POINT CellPoint(int x, int y) {
    POINT pt = GameLayout().rgptCell[y][x];
    pt.x += cxCell / 2;
    pt.y += cyCell / 2;
    ClientToScreen(KelvanoAnimWindow()->GetHandle(), &pt);
    return pt;
}

// Frames until the person may touch again: Blue to move and the last move played out, or
// the game over. The computer searches on its own thread, hence the real pauses.
bool SettleForBlue() {
    for (int i = 0; i < 3000; ++i) {
        AnimWindow* pAnim = KelvanoAnimWindow();
        const bool fIdle = pAnim->GetFrameCounter() >= pAnim->GetEndFrame();
        if (fIdle && (!g_game.fInProgress || GameStatus() == STATUS_BLUE)) return true;
        Frames(1);
        if (IsSearchRunning()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

using Play = KelvanoTest;

// Tug-of-war against the computer at Low: each of Blue's moves is chosen by a deeper search
// and played by pressing on the line's rear piece, dragging along the direction and lifting.
TEST_F(Play, PersonWinsAWholeGameWithTheStylus) {
    g_settings = DefaultSettings();
    g_settings.iBoard = LAYOUT_TUGOFWAR;
    g_settings.aPlayer[PLAYER_BLUE] = {0, 2};
    g_settings.aPlayer[PLAYER_RED] = {1, 1};
    WriteSettings();
    KELVANORUN run;
    run.fSingleInstance = false;
    ASSERT_NE(StartKelvano(nullptr, run), nullptr);
    PumpAll();
    ASSERT_EQ(CurrentBoard().aCell[4][8].nPiece, PIECE_GREEN);
    ASSERT_EQ(RecordedMoveCount(), 0u);

    // A drag of 20 pixels along each direction, well past the dead zone.
    const POINT aDrag[6] = {{10, -17}, {20, 0}, {10, 17}, {-10, 17}, {-20, 0}, {-10, -17}};
    SearchEngine engine;
    int cBlueMoves = 0;
    while (g_game.fInProgress && cBlueMoves < 60) {
        ASSERT_TRUE(SettleForBlue());
        if (!g_game.fInProgress) break;
        DECISION decision{};
        ASSERT_TRUE(engine.Decide(CurrentBoard(), PLAYER_BLUE, MAX_SEARCH_DEPTH,
                                  g_settings.fModern != 0, &decision));
        const MOVE move = decision.move;
        SCOPED_TRACE(testing::Message() << "Blue move " << cBlueMoves << ": " << move.x << ","
                                        << move.y << " dir " << move.nDir);
        const auto cBefore = PlayedMoveCount();
        const POINT pt = CellPoint(move.x, move.y);
        const POINT ptTo = {pt.x + aDrag[move.nDir].x, pt.y + aDrag[move.nDir].y};
        PostMouseInput(pt, MouseAction::kLeftDown);
        PostMouseInput(ptTo, MouseAction::kMove);
        PostMouseInput(ptTo, MouseAction::kLeftUp);
        PumpAll();
        ASSERT_EQ(PlayedMoveCount(), cBefore + 1);
        ++cBlueMoves;
    }
    ASSERT_TRUE(SettleForBlue());
    EXPECT_FALSE(g_game.fInProgress);
    EXPECT_EQ(g_game.iWinner, PLAYER_BLUE);
    EXPECT_EQ(g_game.iReason, REASON_GREEN);
    EXPECT_EQ(GameStatus(), STATUS_BLUEWON);
    Frames(2);
    AnimObject* pStatus = KelvanoAnimWindow()->FirstObjectOfDepth(DEPTH_STATUS);
    ASSERT_NE(pStatus, nullptr);
    EXPECT_EQ(pStatus->GetGraphic(), GameGraphics().rgpStatus[STATUS_BLUEWON][0]);
}

} // namespace
