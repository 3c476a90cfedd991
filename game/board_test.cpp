#include "game/board.h"

#include "game/test_boards.h"

#include <gtest/gtest.h>

#include <cstring>

using testboards::FromPicture;
using testboards::ToPicture;

namespace {

BOARD Layout(int iLayout) {
    BOARD board;
    SetUpLayout(&board, iLayout);
    PlacePieces(&board, iLayout);
    return board;
}

TEST(Board, RowsHoldTheCellsOfTheHexagon) {
    const int acExpected[9] = {5, 6, 7, 8, 9, 8, 7, 6, 5};
    int cTotal = 0;
    for (int y = 0; y < 9; y++) {
        int c = 0;
        for (int x = 0; x < 17; x++)
            c += IsCellPosition(x, y) ? 1 : 0;
        EXPECT_EQ(c, acExpected[y]) << "row " << y;
        cTotal += c;
    }
    EXPECT_EQ(cTotal, cBoardCells);
}

TEST(Board, IsOnBoard) {
    BOARD bf1 = Layout(LAYOUT_BATTLEFIELD1);
    struct {
        int x, y;
        bool fOn;
    } cases[] = {
        {0, 0, false}, {3, 0, false},  {13, 0, false}, {4, 0, true},
        {12, 0, true}, {8, -1, false}, {8, 9, false},  {0, 4, true},
        {16, 4, true}, {17, 4, false}, {-1, 4, false}, {2, 4, false}, // a hole
        {4, 4, true},  {4, 8, true},   {12, 8, true},  {13, 8, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsOnBoard(bf1, c.x, c.y), c.fOn) << c.x << "," << c.y;

    STRIP strip{};
    for (CELL& cell : strip.aCell)
        cell.nPiece = PIECE_NONE;
    strip.aCell[3].nKind = KIND_HOLE;
    EXPECT_TRUE(IsOnBoard(strip, 0, 0));
    EXPECT_TRUE(IsOnBoard(strip, 5, 0));
    EXPECT_FALSE(IsOnBoard(strip, 6, 0));
    EXPECT_FALSE(IsOnBoard(strip, -1, 0));
    EXPECT_FALSE(IsOnBoard(strip, 2, 1));
    EXPECT_FALSE(IsOnBoard(strip, 2, -1));
    EXPECT_FALSE(IsOnBoard(strip, 3, 0));
}

TEST(Board, IsGoalForGreenMatchesCommonGoalsOnly) {
    BOARD board = Layout(LAYOUT_BATTLEFIELD2);
    EXPECT_TRUE(IsGoalFor(board, 8, 4, PIECE_GREEN));  // common
    EXPECT_FALSE(IsGoalFor(board, 2, 2, PIECE_GREEN)); // Blue goal
    EXPECT_TRUE(IsGoalFor(board, 2, 2, PLAYER_BLUE));
    EXPECT_FALSE(IsGoalFor(board, 2, 2, PLAYER_RED));
    EXPECT_TRUE(IsGoalFor(board, 14, 6, PLAYER_RED));
    EXPECT_TRUE(IsGoalFor(board, 8, 4, PLAYER_RED));
}

TEST(Board, GoalCountsOfEveryLayoutWhateverTheBoardHeldBefore) {
    const int acGoals[cLayouts] = {0, 7, 3, 4, 3, 4, 0};
    for (int iLayout = 0; iLayout < cLayouts; iLayout++) {
        BOARD board;
        std::memset(&board, 0x5A, sizeof(board));
        SetUpLayout(&board, 3); // a layout with holes first
        SetUpLayout(&board, iLayout);
        EXPECT_EQ(board.aGoal[PLAYER_BLUE].cGoal, acGoals[iLayout]) << iLayout;
        EXPECT_EQ(board.aGoal[PLAYER_RED].cGoal, acGoals[iLayout]) << iLayout;
        EXPECT_EQ(board.aGoal[0].cGoalHeld + board.aGoal[1].cGoalHeld, 0);
        EXPECT_EQ(board.cLost[0] + board.cLost[1] + board.nReserved, 0);
        EXPECT_EQ(board.nGreenPusher, PIECE_NONE);
        for (int y = 0; y < 9; y++)
            for (int x = 0; x < 17; x++)
                if (!IsCellPosition(x, y)) {
                    EXPECT_EQ(board.aCell[y][x].nKind, KIND_PLAIN);
                    EXPECT_EQ(board.aCell[y][x].nPiece, PIECE_NONE);
                }
    }
    BOARD plain;
    SetUpLayout(&plain, 9);
    EXPECT_EQ(plain.aGoal[0].cGoal, 0);
}

TEST(Board, BattlefieldLayoutsMatchTheirPictures) {
    const char* const bf1[9] = {
        "R R R R R",       "R R R R R R",   ". . R R R . .", ". b . . . . b g", ". # . # . # . # .",
        "g r . . . . r .", ". . B B B . .", "B B B B B B",   "B B B B B",
    };
    const char* const bf2[9] = {
        "R R R R R",       "R R R R R R",   "b . R R R . .", ". # . . . # . .", ". . r . g . b . .",
        ". . # . . . # .", ". . B B B . r", "B B B B B B",   "B B B B B",
    };
    EXPECT_EQ(ToPicture(Layout(LAYOUT_BATTLEFIELD1)), ToPicture(FromPicture(bf1)));
    EXPECT_EQ(ToPicture(Layout(LAYOUT_BATTLEFIELD2)), ToPicture(FromPicture(bf2)));
    BOARD a = Layout(LAYOUT_BATTLEFIELD2);
    BOARD b = FromPicture(bf2);
    EXPECT_EQ(std::memcmp(&a, &b, sizeof(BOARD)), 0);
}

TEST(Board, StartingPositions) {
    for (int iLayout = 0; iLayout < cLayouts; iLayout++) {
        BOARD board = Layout(iLayout);
        EXPECT_EQ(CountPieces(board, PIECE_BLUE), 14);
        EXPECT_EQ(CountPieces(board, PIECE_RED), 14);
        EXPECT_EQ(CountPieces(board, PIECE_GREEN), iLayout == LAYOUT_TUGOFWAR ? 1 : 0);
        // No piece starts on a goal of its own colour and every hole starts empty.
        for (int y = 0; y < 9; y++) {
            for (int x = 0; x < 17; x++) {
                const CELL& cell = board.aCell[y][x];
                if (cell.nPiece == PIECE_BLUE || cell.nPiece == PIECE_RED) {
                    EXPECT_FALSE(IsGoalFor(board, x, y, cell.nPiece)) << x << "," << y;
                }
                if (cell.nKind == KIND_HOLE) {
                    EXPECT_EQ(cell.nPiece, PIECE_NONE);
                }
            }
        }
    }
    BOARD tug = Layout(LAYOUT_TUGOFWAR);
    EXPECT_EQ(tug.aCell[4][8].nPiece, PIECE_GREEN);
    EXPECT_EQ(tug.nGreenPusher, PIECE_NONE);
}

TEST(Board, LayoutTexts) {
    // The new-game dialog lists the layouts by these English ids (Esperanto at the next id).
    struct Case {
        int iLayout, idName, idDescription;
    } const cases[] = {
        {LAYOUT_CLASSIC, 18, 34},
        {LAYOUT_KINGOFTHEHILL, 24, 40},
        {LAYOUT_CAPTURETHEFLAG, 22, 38},
        {LAYOUT_BATTLEFIELD1, 26, 42},
        {LAYOUT_BATTLEFIELD2, 28, 44},
        {LAYOUT_BATTLEFIELD3, 30, 46},
        {LAYOUT_TUGOFWAR, 32, 48},
        {-1, 0, 0},
        {cLayouts, 0, 0},
        {0x7FFFFFFF, 0, 0},
    };
    for (const Case& c : cases) {
        const LAYOUTTEXT text = GetLayoutText(c.iLayout);
        EXPECT_EQ(text.idName, c.idName) << c.iLayout;
        EXPECT_EQ(text.idDescription, c.idDescription) << c.iLayout;
    }
}

} // namespace
