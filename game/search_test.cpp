#include "game/search.h"

#include "foundation/memmgr.h"
#include "game/positions.h"
#include "game/settings.h"
#include "game/test_boards.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using testboards::FromPicture;

namespace {

BOARD StartBoard(int iLayout) {
    BOARD board;
    SetUpLayout(&board, iLayout);
    PlacePieces(&board, iLayout);
    return board;
}

TEST(ActionList, GrowsBySixtyFourAndKeepsItsMemory) {
    ACTIONLIST list{};
    ACTION action{};
    for (int i = 0; i < 65; i++) {
        action.move.x = i;
        ASSERT_TRUE(AddAction(&list, action));
        EXPECT_EQ(list.cActionHeap, i < 64 ? 64u : 128u);
    }
    for (std::uint32_t i = 0; i < list.cAction; i++)
        ASSERT_EQ(list.pAction[i].move.x, static_cast<int>(i)) << "entries kept while growing";
    mem::BlockInfo info;
    ASSERT_TRUE(mem::GetBlockInfo(list.pAction, &info));
    EXPECT_STREQ(info.pszFile, "game");

    ACTION* pKept = list.pAction;
    ClearActionList(&list);
    EXPECT_EQ(list.cAction, 0u);
    ListMoves(&list, StartBoard(LAYOUT_CLASSIC), PLAYER_BLUE, false);
    EXPECT_EQ(list.pAction, pKept);
    EXPECT_EQ(list.cActionHeap, 128u);
    FreeActionList(&list);
    EXPECT_EQ(list.pAction, nullptr);
    EXPECT_EQ(list.cActionHeap, 0u);
}

TEST(ListMoves, OrderAndBoardsAfterEachMove) {
    // Two Blue pieces: the upper one is listed first, its directions in the order 1, 0, 5, 4,
    // 3, 2; a direction that leaves the board or meets an unpushable group is left out.
    const char* rows[9] = {". . . . .",       ". . . . . .",       ". . . . . . .",
                           ". . . . . . . .", "B . . . . . . . .", ". . . . . . . .",
                           ". . . . . . .",   ". . . . . .",       ". . R R B"};
    BOARD board = FromPicture(rows);
    ACTIONLIST list{};
    ListMoves(&list, board, PLAYER_BLUE, false);
    std::vector<std::vector<int>> got;
    for (std::uint32_t i = 0; i < list.cAction; i++) {
        const ACTION& a = list.pAction[i];
        got.push_back({a.move.x, a.move.y, a.move.nDir});
        BOARD after = board;
        ApplyMove(&after, a.move, false);
        EXPECT_EQ(std::memcmp(&after, &a.board, sizeof(BOARD)), 0);
        EXPECT_EQ(a.move.x2 | a.move.y2 | a.move.x3 | a.move.y3, 0);
    }
    const std::vector<std::vector<int>> expected = {
        {0, 4, 1},  {0, 4, 0},  {0, 4, 2}, // (0, 4): right, up-right, down-right
        {12, 8, 0}, {12, 8, 5},            // (12, 8): a lone piece on the bottom row
    };
    EXPECT_EQ(got, expected);
    FreeActionList(&list);
}

ACTION ActionWith(const BOARD& after, MOVE move, CHECKRESULT result) {
    ACTION action;
    action.move = move;
    action.board = after;
    action.result = result;
    return action;
}

TEST(ScoreAction, WinsComeFirstThenTheFormula) {
    BOARD board = StartBoard(LAYOUT_CAPTURETHEFLAG);
    const MOVE plain{10, 8, 5, 0, 0, 0, 0}; // up-left from the right: heads for the centre
    const CHECKRESULT quiet{1, 0, 0, 0, 0};
    struct {
        const char* pszName;
        int aHeld[2];
        int acLost[2];
        CHECKRESULT result;
        MOVE move;
        int nBlue; // score for Blue as the mover; Red's is the negation for wins
        bool fWin;
    } cases[] = {
        {"blue holds its goals", {3, 0}, {0, 0}, quiet, plain, SCORE_WIN, true},
        {"both hold: blue first", {3, 3}, {0, 0}, quiet, plain, SCORE_WIN, true},
        {"red holds its goals", {2, 3}, {0, 0}, quiet, plain, -SCORE_WIN, true},
        {"blue lost six", {0, 0}, {6, 0}, quiet, plain, -SCORE_WIN, true},
        {"both lost six: blue's loss first", {0, 0}, {6, 6}, quiet, plain, -SCORE_WIN, true},
        {"red lost six", {0, 0}, {5, 6}, quiet, plain, SCORE_WIN, true},
        {"a quiet step to the centre", {0, 0}, {0, 0}, quiet, plain, 25 + 1, false},
        {"a quiet step elsewhere", {0, 0}, {0, 0}, quiet, MOVE{10, 8, 0, 0, 0, 0, 0}, 25, false},
        {"a push off a goal",
         {0, 0},
         {0, 0},
         {3, 2, 1, 0, -1},
         MOVE{4, 8, 1, 0, 0, 0, 0},
         75 + 150 - 9000 + 10000,
         false},
        {"the green piece off",
         {0, 0},
         {0, 0},
         {2, 1, 1, 1, 0},
         MOVE{12, 4, 1, 0, 0, 0, 0},
         50 + 75 + 10000 + 100000,
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszName);
        BOARD after = board;
        for (int p = 0; p < 2; p++) {
            after.aGoal[p].cGoalHeld = c.aHeld[p];
            after.cLost[p] = c.acLost[p];
        }
        const ACTION action = ActionWith(after, c.move, c.result);
        EXPECT_EQ(ScoreAction(action, PLAYER_BLUE), c.nBlue);
        EXPECT_EQ(ScoreAction(action, PLAYER_RED), c.fWin ? -c.nBlue : c.nBlue);
    }
}

TEST(ScoreAction, CentreBonusByDirectionAndRearPiece) {
    const BOARD board = StartBoard(LAYOUT_CLASSIC);
    struct {
        int x, y, nDir;
        bool fBonus;
    } cases[] = {
        {4, 8, 0, true},  {8, 8, 0, false}, {4, 4, 0, false}, {2, 4, 1, true},
        {3, 3, 1, true},  {3, 5, 1, true},  {2, 2, 1, false}, {5, 3, 2, true},
        {5, 5, 2, false}, {9, 1, 3, true},  {8, 0, 3, false}, {10, 4, 4, true},
        {11, 5, 4, true}, {8, 4, 4, false}, {12, 6, 5, true}, {11, 3, 5, false},
    };
    for (const auto& c : cases) {
        const ACTION action =
            ActionWith(board, MOVE{c.x, c.y, c.nDir, 0, 0, 0, 0}, CHECKRESULT{1, 0, 0, 0, 0});
        EXPECT_EQ(ScoreAction(action, PLAYER_BLUE), 25 + (c.fBonus ? 1 : 0))
            << c.x << "," << c.y << " dir " << c.nDir;
    }
}

// ---- Decisions ---------------------------------------------------------------------------

DECISION Decide(const BOARD& board, int nSide, int nLevel, bool fModern) {
    SearchEngine engine;
    DECISION decision{};
    engine.Decide(board, nSide, nLevel, fModern, &decision);
    return decision;
}

TEST(Search, LevelOnePlaysTheFirstBestScore) {
    const BOARD board = StartBoard(LAYOUT_CLASSIC);
    ACTIONLIST list{};
    ListMoves(&list, board, PLAYER_BLUE, false);
    int iFirstBest = 0;
    for (std::uint32_t i = 0; i < list.cAction; i++)
        if (ScoreAction(list.pAction[i], PLAYER_BLUE) >
            ScoreAction(list.pAction[iFirstBest], PLAYER_BLUE))
            iFirstBest = static_cast<int>(i);
    const DECISION decision = Decide(board, PLAYER_BLUE, 1, false);
    EXPECT_TRUE(decision.fChosen);
    EXPECT_EQ(decision.iAction, iFirstBest);
    EXPECT_EQ(std::memcmp(&decision.move, &list.pAction[iFirstBest].move, sizeof(MOVE)), 0);
    EXPECT_EQ(decision.cNodes, list.cAction); // the root moves only
    FreeActionList(&list);
}

TEST(Search, StoredLevelsOutsideOneToThree) {
    BENCHPOSITION position;
    GetBenchPosition(20, &position);
    const DECISION at0 = Decide(position.board, position.nSide, 0, position.fModern);
    const DECISION at1 = Decide(position.board, position.nSide, 1, position.fModern);
    const DECISION at3 = Decide(position.board, position.nSide, 3, position.fModern);
    const DECISION at7 = Decide(position.board, position.nSide, 7, position.fModern);
    EXPECT_EQ(at0.iAction, at1.iAction);
    EXPECT_EQ(at0.cNodes, at1.cNodes);
    EXPECT_EQ(at7.iAction, at3.iAction);
    EXPECT_EQ(at7.cNodes, at3.cNodes);
    EXPECT_GT(at3.cNodes, at1.cNodes);
}

TEST(Search, SingleMoveIsPlayedWithoutSearching) {
    // Red's only piece sits in the corner with one free neighbour.
    const char* rows[9] = {"R B . . .",       "B B . . . .",       ". . . . . . .",
                           ". . . . . . . .", ". . . . . . . . .", ". . . . . . . .",
                           ". . . . . . .",   ". . . . . .",       "B . . . ."};
    BOARD board = FromPicture(rows);
    board.aCell[1][3].nPiece = PIECE_NONE; // free the down-left neighbour
    for (int nLevel = 1; nLevel <= 3; nLevel++) {
        const DECISION decision = Decide(board, PLAYER_RED, nLevel, false);
        ASSERT_TRUE(decision.fChosen);
        EXPECT_FALSE(decision.fSearched);
        EXPECT_EQ(decision.cNodes, 0u);
        EXPECT_EQ(decision.move.x, 4);
        EXPECT_EQ(decision.move.nDir, 3);
    }
    board.aCell[1][3].nPiece = PIECE_BLUE;
    EXPECT_FALSE(Decide(board, PLAYER_RED, 3, false).fChosen); // no legal move at all
}

TEST(Search, WinningPushOffsArePlayedAtEveryLevel) {
    struct {
        const char* pszName;
        const char* rows[9];
        int nSide;
        int acLost[2];
        MOVE expected;
    } cases[] = {
        {"the sixth lost piece",
         {"R R R R R", ". . . . . .", ". . . . . . .", ". . . . . . . .", ". . . . . . . . .",
          ". . . . . . . .", ". . . . . . .", ". . . . . .", "R B B . ."},
         PLAYER_BLUE,
         {0, 5},
         MOVE{8, 8, 4, 0, 0, 0, 0}},
        {"the green piece",
         {". . . . .", ". . R R . .", ". . . . . . .", ". . . . . . . .", ". . . . . . B B G",
          ". . . . . . . .", ". . . . . . .", ". . . . . .", ". . . . ."},
         PLAYER_BLUE,
         {0, 0},
         MOVE{12, 4, 1, 0, 0, 0, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszName);
        BOARD board = FromPicture(c.rows);
        board.cLost[0] = c.acLost[0];
        board.cLost[1] = c.acLost[1];
        for (int nLevel = 1; nLevel <= 3; nLevel++) {
            for (bool fModern : {false, true}) {
                const DECISION decision = Decide(board, c.nSide, nLevel, fModern);
                ASSERT_TRUE(decision.fChosen);
                EXPECT_EQ(decision.move.x, c.expected.x) << "level " << nLevel;
                EXPECT_EQ(decision.move.y, c.expected.y) << "level " << nLevel;
                EXPECT_EQ(decision.move.nDir, c.expected.nDir) << "level " << nLevel;
            }
        }
    }
}

TEST(Search, LevelThreeCanPreferAGoalStepBeforeAnUnavoidableWin) {
    // Blue can push Red's sixth piece off now, or first step onto a goal: Red cannot free its
    // piece, and the totals of the longer line add up to more than the immediate win.
    const char* rows[9] = {"R R R R R",       ". . . . . .",       ". . . . . . .",
                           ". . . . . . . .", "b . . . B b . . .", ". . . . . . . .",
                           ". . . . . . .",   "B B . . . .",       "R B B . ."};
    BOARD board = FromPicture(rows);
    board.cLost[PLAYER_RED] = 5;
    const int anExpected[4][3] = {{}, {8, 8, 4}, {8, 8, 4}, {8, 4, 1}};
    for (int nLevel = 1; nLevel <= 3; nLevel++) {
        const DECISION decision = Decide(board, PLAYER_BLUE, nLevel, false);
        EXPECT_EQ(decision.move.x, anExpected[nLevel][0]) << "level " << nLevel;
        EXPECT_EQ(decision.move.y, anExpected[nLevel][1]) << "level " << nLevel;
        EXPECT_EQ(decision.move.nDir, anExpected[nLevel][2]) << "level " << nLevel;
    }
}

TEST(Search, ASecondSearchAllocatesNothing) {
    BENCHPOSITION position;
    GetBenchPosition(41, &position);
    SearchEngine engine;
    DECISION decision;
    engine.Decide(position.board, position.nSide, 3, position.fModern, &decision);
    const mem::Stats before = mem::GetStats();
    engine.Decide(position.board, position.nSide, 3, position.fModern, &decision);
    const mem::Stats after = mem::GetStats();
    EXPECT_EQ(after.cBlocksInUse, before.cBlocksInUse);
    EXPECT_EQ(after.cbRequested, before.cbRequested);
    engine.Free();
    EXPECT_LT(mem::GetStats().cBlocksInUse, before.cBlocksInUse);
}

// ---- The engine against the plain search -------------------------------------------------

// Random boards that no game reaches: pieces, goals and holes anywhere, counters as the cells
// give them and some pieces already lost.
BOARD RandomBoard(testboards::RANDOM* pRandom, int iLayout) {
    BOARD board = StartBoard(iLayout);
    for (int y = 0; y < 9; y++) {
        for (int x = 0; x < 17; x++) {
            if (!IsCellPosition(x, y)) continue;
            CELL& cell = board.aCell[y][x];
            const unsigned nKind = pRandom->Next(12);
            cell.nKind = nKind < 8 ? KIND_PLAIN : static_cast<int>(nKind - 7); // 1 to 4
            const unsigned nPiece = pRandom->Next(16);
            cell.nPiece = nPiece < 5     ? PIECE_BLUE
                          : nPiece < 10  ? PIECE_RED
                          : nPiece == 10 ? PIECE_GREEN
                                         : PIECE_NONE;
            if (cell.nKind == KIND_HOLE) cell.nPiece = PIECE_NONE;
        }
    }
    int acLost[2];
    testboards::CountFromCells(board, board.aGoal, acLost);
    board.cLost[0] = static_cast<int>(pRandom->Next(6));
    board.cLost[1] = static_cast<int>(pRandom->Next(6));
    return board;
}

void ExpectSameRootList(const BOARD& board, int nSide, bool fModern) {
    ACTIONLIST list{};
    ListMoves(&list, board, nSide, fModern);
    SearchEngine engine;
    engine.Prepare(board, nSide, 1, fModern);
    const engine::CANDIDATELIST& fast = engine.RootList();
    ASSERT_EQ(fast.cAction, list.cAction);
    for (std::uint32_t i = 0; i < list.cAction; i++) {
        const ACTION& a = list.pAction[i];
        const engine::CANDIDATE& c = fast.pAction[i];
        ASSERT_EQ(c.iSquare, engine::SquareOf(a.move.x, a.move.y)) << i;
        ASSERT_EQ(c.nDir, a.move.nDir) << i;
        ASSERT_EQ(c.cOwn, a.result.cOwn) << i;
        ASSERT_EQ(c.cPushed, a.result.cPushed) << i;
        ASSERT_EQ(c.nScore, ScoreAction(a, nSide)) << i;
        for (int p = 0; p < 2; p++) {
            ASSERT_EQ(c.tallyAfter.cGoal[p], a.board.aGoal[p].cGoal) << i;
            ASSERT_EQ(c.tallyAfter.cGoalHeld[p], a.board.aGoal[p].cGoalHeld) << i;
            ASSERT_EQ(c.tallyAfter.cLost[p], a.board.cLost[p]) << i;
        }
    }
    FreeActionList(&list);
}

void ExpectSameDecision(REFERENCESEARCH* pReference, const BOARD& board, int nSide, int nLevel,
                        bool fModern) {
    DECISION plain{};
    DECISION fast{};
    const bool fPlain = ReferenceDecide(pReference, board, nSide, nLevel, fModern, &plain);
    SearchEngine engine;
    const bool fFast = engine.Decide(board, nSide, nLevel, fModern, &fast);
    ASSERT_EQ(fFast, fPlain);
    EXPECT_EQ(fast.iAction, plain.iAction) << "level " << nLevel;
    EXPECT_EQ(fast.nScore, plain.nScore) << "level " << nLevel;
    EXPECT_EQ(fast.cNodes, plain.cNodes) << "level " << nLevel;
    EXPECT_EQ(std::memcmp(&fast.move, &plain.move, sizeof(MOVE)), 0);
}

TEST(Search, EngineMatchesThePlainSearchOnRandomBoards) {
    testboards::RANDOM random{777};
    REFERENCESEARCH reference{};
    for (int i = 0; i < 600; i++) {
        SCOPED_TRACE(i);
        const BOARD board = RandomBoard(&random, i % cLayouts);
        const int nSide = static_cast<int>(random.Next(2));
        const bool fModern = random.Next(2) != 0;
        ExpectSameRootList(board, nSide, fModern);
        if (HasFatalFailure()) break;
        ExpectSameDecision(&reference, board, nSide, 1 + i % 3, fModern);
    }
    FreeReferenceSearch(&reference);
}

TEST(Search, EngineMatchesThePlainSearchOverRandomGames) {
    testboards::RANDOM random{4242};
    REFERENCESEARCH reference{};
    int cDecisions = 0;
    for (int iLayout = 0; iLayout < cLayouts; iLayout++) {
        for (bool fModern : {false, true}) {
            BOARD board = StartBoard(iLayout);
            for (int iPly = 0; iPly < 60; iPly++) {
                const int nSide = iPly % 2;
                if (FindGameEnd(board, nullptr, nullptr)) break;
                ExpectSameRootList(board, nSide, fModern);
                ASSERT_FALSE(HasFatalFailure());
                if (iPly % 4 == 0) {
                    ExpectSameDecision(&reference, board, nSide, 3, fModern);
                    cDecisions++;
                }
                ACTIONLIST list{};
                ListMoves(&list, board, nSide, fModern);
                if (list.cAction == 0) {
                    FreeActionList(&list);
                    break;
                }
                // Mostly the computer's own level-1 choice, sometimes a random one.
                std::uint32_t iMove = random.Next(list.cAction);
                if (random.Next(3) != 0) {
                    DECISION decision{};
                    SearchEngine engine;
                    engine.Decide(board, nSide, 1, fModern, &decision);
                    iMove = static_cast<std::uint32_t>(decision.iAction);
                }
                board = list.pAction[iMove].board;
                FreeActionList(&list);
            }
        }
    }
    FreeReferenceSearch(&reference);
    EXPECT_GT(cDecisions, 100);
}

TEST(Search, BenchPositionsMatchThePlainSearch) {
    REFERENCESEARCH reference{};
    BENCHPOSITION position;
    for (int i = 0; i < cBenchPositions; i++) {
        SCOPED_TRACE(i);
        GetBenchPosition(i, &position);
        for (int nLevel = 1; nLevel <= 3; nLevel++)
            ExpectSameDecision(&reference, position.board, position.nSide, nLevel,
                               position.fModern);
    }
    FreeReferenceSearch(&reference);
}

} // namespace
