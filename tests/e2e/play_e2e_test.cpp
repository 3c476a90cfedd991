// Whole games played by stylus alone, and what a player does around them: Undo to the
// start, Redo to the end, Undo after the end, the next start, a new game while the computer
// thinks.
#include "game/search.h"
#include "gameui/resource.h"
#include "tests/e2e/e2e_support.h"

#include <gtest/gtest.h>

#include <atomic>

namespace {

using namespace e2e;

int CountHoles(const BOARD& board) {
    int c = 0;
    for (const auto& row : board.aCell)
        for (const CELL& cell : row)
            c += cell.nKind == KIND_HOLE;
    return c;
}

// Every inline move of nSide under the Modern rules.
std::vector<MOVE> InlineMoves(const BOARD& board, int nSide) {
    std::vector<MOVE> moves;
    for (int y = 0; y < cBoardRows; ++y)
        for (int x = 0; x < cBoardColumns; ++x)
            if (IsCellPosition(x, y) && board.aCell[y][x].nPiece == nSide)
                for (int nDir = 0; nDir < 6; ++nDir)
                    if (CheckMove(board, x, y, nDir, false, nullptr, true))
                        moves.push_back(MOVE{x, y, nDir, 0, 0, 0, 0});
    return moves;
}

// A move of nSide that breaks a cell, if the board offers one.
bool FindBreak(const BOARD& board, int nSide, MOVE* pMove) {
    for (const MOVE& move : InlineMoves(board, nSide)) {
        BOARD after = board;
        ApplyMove(&after, move, false);
        if (CountHoles(after) > CountHoles(board)) {
            *pMove = move;
            return true;
        }
    }
    return false;
}

// A move of nSide after which the other side can break a cell, if there is one.
bool FindBreakOffer(const BOARD& board, int nSide, MOVE* pMove) {
    MOVE reply{};
    for (const MOVE& move : InlineMoves(board, nSide)) {
        BOARD after = board;
        ApplyMove(&after, move, false);
        if (FindBreak(after, 1 - nSide, &reply)) {
            *pMove = move;
            return true;
        }
    }
    return false;
}

// Clicks button k until done() or n clicks; true when done.
template <typename Done> bool ClickUntil(int k, Done done, int n = 200) {
    for (int i = 0; i < n && !done(); ++i) {
        ClickButton(k);
        Frames(2);
    }
    return done();
}

using Play = E2eTest;

// Blue is the person, with moves a search of the given depth finds; Red the computer at
// each strength, or (level 0) a second person who offers Blue a break whenever one can.
// Each game is played to its end, Undo after the end resumes it, Undo goes back to the
// start and Redo replays to the same end; the next start begins a new game on that layout.
TEST_F(Play, WholeGames) {
    const struct {
        int iLayout;
        int fModern;
        int nLevel; // Red's: 0 a person
        int nDepth; // Blue's search
        int iWinner, iReason;
    } cases[] = {
        {LAYOUT_CLASSIC, 0, 1, 1, PLAYER_BLUE, REASON_LOST},
        {LAYOUT_TUGOFWAR, 0, 2, 3, PLAYER_BLUE, REASON_GREEN},
        {LAYOUT_KINGOFTHEHILL, 0, 3, 1, PLAYER_RED, REASON_GOALS},
        {LAYOUT_BATTLEFIELD2, 0, 1, 3, PLAYER_BLUE, REASON_GOALS},
        {LAYOUT_CLASSIC, 1, 0, 1, -1, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "layout " << c.iLayout << ", level " << c.nLevel);
        FreshRegistry();
        ASSERT_NE(StartWith([&](SETTINGS& s) {
                      s.fSound = 0; // the sounds are proven elsewhere
                      s.iBoard = c.iLayout;
                      s.fModern = c.fModern;
                      s.aPlayer[PLAYER_RED] = {c.nLevel != 0, c.nLevel != 0 ? c.nLevel : 2};
                  }),
                  nullptr);
        ASSERT_TRUE(g_game.fInProgress);
        const BOARD boardStart = CurrentBoard();
        SearchEngine engine;
        int cBreaks = 0;
        while (g_game.fInProgress && PlayedMoveCount() < 160 && (c.nLevel != 0 || cBreaks == 0)) {
            ASSERT_TRUE(SettleForPerson());
            if (!g_game.fInProgress) break;
            const int nSide = SideToMove();
            MOVE move{};
            const bool fScripted =
                c.nLevel == 0 &&
                (nSide == PLAYER_BLUE ? FindBreak(CurrentBoard(), nSide, &move)
                                      : FindBreakOffer(CurrentBoard(), nSide, &move));
            if (!fScripted) {
                DECISION decision{};
                ASSERT_TRUE(
                    engine.Decide(CurrentBoard(), nSide, c.nDepth, c.fModern != 0, &decision));
                move = decision.move;
            }
            const int cHoles = CountHoles(CurrentBoard());
            const auto cBefore = PlayedMoveCount();
            DragMove(move);
            ASSERT_EQ(PlayedMoveCount(), cBefore + 1);
            cBreaks += CountHoles(CurrentBoard()) - cHoles;
        }
        ASSERT_TRUE(SettleForPerson());
        if (c.nLevel == 0) {
            // The break is on the board and drawn as a hole; the game goes on.
            EXPECT_EQ(cBreaks, 1);
            EXPECT_TRUE(g_game.fInProgress);
            Close();
            continue;
        }
        ASSERT_FALSE(g_game.fInProgress);
        EXPECT_EQ(g_game.iWinner, c.iWinner);
        EXPECT_EQ(g_game.iReason, c.iReason);
        const BOARD boardEnd = CurrentBoard();
        const auto cMoves = RecordedMoveCount();

        // Undo after the end resumes the game with no winner.
        ClickButton(BUTTON_UNDO);
        Frames(2);
        EXPECT_TRUE(g_game.fInProgress);
        EXPECT_EQ(g_game.iWinner, WINNER_NONE);
        EXPECT_LT(PlayedMoveCount(), cMoves);
        EXPECT_EQ(SideToMove(), PLAYER_BLUE);

        ASSERT_TRUE(ClickUntil(BUTTON_UNDO, [] { return PlayedMoveCount() == 0; }));
        EXPECT_TRUE(SameBoard(CurrentBoard(), boardStart));
        EXPECT_EQ(RecordedMoveCount(), cMoves);
        ASSERT_TRUE(ClickUntil(BUTTON_REDO, [&] { return PlayedMoveCount() == cMoves; }));
        ASSERT_TRUE(SettleForPerson());
        EXPECT_TRUE(SameBoard(CurrentBoard(), boardEnd));
        EXPECT_FALSE(g_game.fInProgress);
        EXPECT_EQ(g_game.iWinner, c.iWinner);
        EXPECT_EQ(g_game.iReason, c.iReason);

        // An ended game is not restored: the next start plays the stored layout afresh.
        ClickButton(BUTTON_EXIT);
        ASSERT_EQ(KelvanoMainWindow(), nullptr);
        ASSERT_NE(Start(), nullptr);
        EXPECT_TRUE(g_game.fInProgress);
        EXPECT_EQ(RecordedMoveCount(), 0u);
        EXPECT_TRUE(SameBoard(CurrentBoard(), boardStart));
        Close();
    }
}

std::atomic<bool> s_fSearchHeld{false};
std::atomic<bool> s_fSearchEntered{false};

// A new game chosen in the dialog while the computer thinks: the old search's move never
// reaches the new board.
TEST_F(Play, NewGameWhileTheComputerThinks) {
    s_fSearchHeld = true;
    s_fSearchEntered = false;
    SetSearchStartHook([] {
        s_fSearchEntered = true;
        while (s_fSearchHeld)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    ASSERT_NE(StartWith([](SETTINGS& s) {
                  s.fSound = 0;
                  s.aPlayer[PLAYER_RED] = {1, 3};
              }),
              nullptr);
    const BOARD boardStart = CurrentBoard();
    DragMove(MOVE{4, 8, 0, 0, 0, 0, 0});
    ASSERT_EQ(PlayedMoveCount(), 1u);
    for (int i = 0; i < 500 && !s_fSearchEntered; ++i) {
        Frames(1);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_TRUE(s_fSearchEntered);
    ASSERT_TRUE(IsSearchRunning());

    ModalScript script;
    Click(ButtonPoint(BUTTON_NEW));
    script.Run({[](HWND hDlg) { Click(CenterOf(GetDlgItem(hDlg, IDOK))); }});
    PumpAll();
    EXPECT_TRUE(ModalScript::Done());
    EXPECT_EQ(RecordedMoveCount(), 0u);
    s_fSearchHeld = false;
    for (int i = 0; i < 2000 && IsSearchRunning(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    Frames(30);
    SetSearchStartHook(nullptr);
    EXPECT_EQ(RecordedMoveCount(), 0u);
    EXPECT_TRUE(SameBoard(CurrentBoard(), boardStart));
    EXPECT_EQ(GameStatus(), STATUS_BLUE);
    // The new game plays on.
    DragMove(MOVE{4, 8, 0, 0, 0, 0, 0});
    ASSERT_TRUE(SettleForPerson());
    EXPECT_EQ(PlayedMoveCount(), 2u);
}

} // namespace
