#include "game/rules.h"

#include "game/presenter.h"
#include "game/settings.h"
#include "game/test_boards.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

using testboards::FromPicture;
using testboards::ToPicture;

namespace {

// Pictures with one interesting row; every other row is empty.
struct ROWBOARD {
    const char* apszRows[9];
};
ROWBOARD Row4(const char* pszRow) {
    return {{". . . . .", ". . . . . .", ". . . . . . .", ". . . . . . . .", pszRow,
             ". . . . . . . .", ". . . . . . .", ". . . . . .", ". . . . ."}};
}

BOARD StartBoard(int iLayout) {
    BOARD board;
    SetUpLayout(&board, iLayout);
    PlacePieces(&board, iLayout);
    return board;
}

struct LINECASE {
    const char* pszName;
    const char* pszBefore; // row 4; the move starts on it
    bool fModern;
    int x, nDir;
    const char* pszResult; // "cOwn cPushed fCapture fGreenOff nGoalDelta", or nullptr: illegal
    const char* pszAfter;  // row 4 after ApplyMove
};

// clang-format off
const LINECASE kLineCases[] = {
    {"two push one",                  ". . B B R . . . .", false, 4, 1, "2 1 0 0 0",  ". . . B B R . . ."},
    {"two against two",               ". . B B R R . . .", false, 4, 1, nullptr, nullptr},
    {"three against three",           "B B B R R R . . .", false, 0, 1, nullptr, nullptr},
    {"three push two off the edge",   ". . . . B B B R R", false, 8, 1, "3 2 1 0 0",  ". . . . . B B B R"},
    {"push into a hole",              ". . B B R # . . .", false, 4, 1, "2 1 1 0 0",  ". . . B B # . . ."},
    {"push off over a hole",          ". B B B R R # . .", false, 2, 1, "3 2 1 0 0",  ". . B B B R # . ."},
    {"break under Classic",           ". . B B R B . . .", false, 4, 1, nullptr, nullptr},
    {"break under Modern",            ". . B B R B . . .", true,  4, 1, "2 1 1 0 0",  ". . B B # B . . ."},
    {"three break one under Modern",  "B B B R B . . . .", true,  0, 1, "3 1 1 0 0",  "B B B # B . . . ."},
    {"backed pair under Modern",      "B B B R R B . . .", true,  0, 1, nullptr, nullptr},
    {"green cannot break, Classic",   ". . B B G B . . .", false, 4, 1, nullptr, nullptr},
    {"green cannot break, Modern",    ". . B B G B . . .", true,  4, 1, nullptr, nullptr},
    {"green push-off",                ". . . . . . B B G", false, 12, 1, "2 1 1 1 0", ". . . . . . . B B"},
    {"one cannot push green",         ". . . B G . . . .", false, 6, 1, nullptr, nullptr},
    {"two push green",                ". . B B G . . . .", false, 4, 1, "2 1 0 0 0",  ". . . B B G . . ."},
    {"red and green pushed together", "B B B R G . . . .", false, 0, 1, "3 2 0 0 0",  ". B B B R G . . ."},
    {"single step",                   ". . B . . . . . .", false, 4, 1, "1 0 0 0 0",  ". . . B . . . . ."},
    {"single outwards at the edge",   "B . . . . . . . .", false, 0, 4, nullptr, nullptr},
    {"single into a hole",            ". . B # . . . . .", false, 4, 1, nullptr, nullptr},
    {"four in a line",                "B B B B . . . . .", false, 0, 1, nullptr, nullptr},
    {"red pushes blue",               ". . R R B . . . .", false, 4, 1, "2 1 0 0 0",  ". . . R R B . . ."},
    {"red pushes blue off",           ". . . . . . R R B", false, 12, 1, "2 1 1 0 0", ". . . . . . . R R"},
    {"onto own goal",                 ". . B b . . . . .", false, 4, 1, "1 0 0 0 1",  ". . . bB . . . . ."},
    {"off own goal",                  ". . bB . . . . . .", false, 4, 1, "1 0 0 0 -1", ". . b B . . . . ."},
    {"push red off its goal",         ". . B B rR . . . .", false, 4, 1, "2 1 0 0 -1", ". . . B rB R . . ."},
    {"push red onto its goal",        ". . B B R r . . .", false, 4, 1, "2 1 0 0 1",  ". . . B B rR . . ."},
    {"common goals count for both",   ". . gB B gR g . . .", false, 4, 1, "2 1 0 0 0", ". . g B gB gR . . ."},
    {"green off a common goal",       ". . . . . . B B gG", false, 12, 1, "2 1 1 1 0", ". . . . . . . B gB"},
    {"break a red goal",              ". . B B rR B . . .", true, 4, 1, "2 1 1 0 -1", ". . B B # B . . ."},
};
// clang-format on

std::string ResultText(const CHECKRESULT& r) {
    return std::to_string(r.cOwn) + " " + std::to_string(r.cPushed) + " " +
           std::to_string(r.fCapture) + " " + std::to_string(r.fGreenOff) + " " +
           std::to_string(r.nGoalDelta);
}

TEST(CheckMove, LinesOnRowFour) {
    for (const LINECASE& c : kLineCases) {
        SCOPED_TRACE(c.pszName);
        BOARD board = FromPicture(Row4(c.pszBefore).apszRows);
        CHECKRESULT result{};
        const bool fLegal = CheckMove(board, c.x, 4, c.nDir, false, &result, c.fModern);
        ASSERT_EQ(fLegal, c.pszResult != nullptr);
        if (!fLegal) continue;
        EXPECT_EQ(ResultText(result), c.pszResult);

        const int nMover = board.aCell[4][c.x].nPiece;
        BOARD after = board;
        ApplyMove(&after, MOVE{c.x, 4, c.nDir, 0, 0, 0, 0}, false);
        EXPECT_EQ(ToPicture(after), ToPicture(FromPicture(Row4(c.pszAfter).apszRows)));
        // An enemy piece is lost exactly when one is captured; the green piece counts for
        // nobody but marks its pusher.
        EXPECT_EQ(after.cLost[nMover], 0);
        EXPECT_EQ(after.cLost[1 - nMover], result.fCapture && !result.fGreenOff ? 1 : 0);
        EXPECT_EQ(after.nGreenPusher, result.fGreenOff ? nMover : PIECE_NONE);
        // The kept counters follow the cells.
        GOALCOUNT aGoal[2];
        int acLost[2];
        testboards::CountFromCells(after, aGoal, acLost);
        for (int p = 0; p < 2; p++) {
            EXPECT_EQ(after.aGoal[p].cGoal, aGoal[p].cGoal) << "player " << p;
            EXPECT_EQ(after.aGoal[p].cGoalHeld, aGoal[p].cGoalHeld) << "player " << p;
        }
    }
}

TEST(CheckMove, RuleSetComesFromTheSettings) {
    BOARD board = FromPicture(Row4(". . B B R B . . .").apszRows);
    const SETTINGS saved = g_settings;
    g_settings.fModern = 0;
    EXPECT_FALSE(CheckMove(board, 4, 4, 1, false, nullptr));
    g_settings.fModern = 1;
    EXPECT_TRUE(CheckMove(board, 4, 4, 1, false, nullptr));
    g_settings = saved;
}

TEST(CheckMove, ClassicStart) {
    BOARD board = StartBoard(LAYOUT_CLASSIC);
    EXPECT_TRUE(CheckMove(board, 4, 8, 0, false, nullptr, false));
    EXPECT_FALSE(CheckMove(board, 4, 8, 1, false, nullptr, false));  // five in the line
    EXPECT_FALSE(CheckMove(board, 10, 8, 1, false, nullptr, false)); // would leave the board
    ApplyMove(&board, MOVE{4, 8, 0, 0, 0, 0, 0}, false);
    EXPECT_EQ(board.aCell[8][4].nPiece, PIECE_NONE);
    EXPECT_EQ(board.aCell[7][5].nPiece, PIECE_BLUE);
    EXPECT_EQ(board.aCell[6][6].nPiece, PIECE_BLUE);
    EXPECT_EQ(board.aCell[5][7].nPiece, PIECE_BLUE);
}

TEST(CheckMove, NamedCellMustHoldABlueOrRedPiece) {
    BOARD board = FromPicture(Row4(". . G . . . . . .").apszRows);
    EXPECT_FALSE(CheckMove(board, 4, 4, 1, false, nullptr, true)); // green
    EXPECT_FALSE(CheckMove(board, 6, 4, 1, false, nullptr, true)); // empty
    EXPECT_FALSE(CheckMove(board, 5, 4, 1, false, nullptr, true)); // not a cell
    EXPECT_FALSE(CheckMove(board, 0, 0, 1, false, nullptr, true));
    board.aCell[4][8].nPiece = PIECE_BLUE;
    EXPECT_FALSE(CheckMove(board, 8, 4, 6, false, nullptr, true)); // no direction
    EXPECT_FALSE(CheckMove(board, 8, 4, -1, false, nullptr, true));
}

TEST(CheckMove, SidewaysSteps) {
    struct {
        const char* pszRow5;
        bool fLegal;
    } cases[] = {
        {". . . . . . . .", true},
        {". . . R . . . .", false}, // a target cell occupied
        {". . # . . . . .", false}, // a target cell is a hole
    };
    for (const auto& c : cases) {
        const char* rows[9] = {". . . . .",       ". . . . . .",       ". . . . . . .",
                               ". . . . . . . .", ". . B B B . . . .", c.pszRow5,
                               ". . . . . . .",   ". . . . . .",       ". . . . ."};
        BOARD board = FromPicture(rows);
        bool fAll = true;
        for (int x : {4, 6, 8})
            fAll = fAll && CheckMove(board, x, 4, 2, true, nullptr, false);
        EXPECT_EQ(fAll, c.fLegal) << c.pszRow5;
    }
    // Along their own row the rear piece has an own piece in front of it.
    BOARD board = FromPicture(Row4(". . B B B . . . .").apszRows);
    EXPECT_FALSE(CheckMove(board, 4, 4, 1, true, nullptr, false));
    EXPECT_FALSE(CheckMove(board, 8, 4, 4, true, nullptr, false));
    // Off the board at the edge.
    BOARD edge = FromPicture(Row4("B B . . . . . . .").apszRows);
    EXPECT_FALSE(CheckMove(edge, 0, 4, 3, true, nullptr, false));
    EXPECT_TRUE(CheckMove(edge, 2, 4, 3, true, nullptr, false));
}

TEST(ApplyMove, SidewaysKeepsGoalCounts) {
    const char* rows[9] = {". . . . .",       ". . . . . .",         ". . . . . . .",
                           ". . . . . . . .", ". . bB B bB . . . .", ". . b . . . . .",
                           ". . . . . . .",   ". . . . . .",         ". . . . ."};
    BOARD board = FromPicture(rows);
    ASSERT_EQ(board.aGoal[PLAYER_BLUE].cGoalHeld, 2);
    ApplyMove(&board, MOVE{4, 4, 3, 6, 4, 8, 4}, false);
    EXPECT_EQ(board.aCell[5][3].nPiece, PIECE_BLUE);
    EXPECT_EQ(board.aCell[5][5].nPiece, PIECE_BLUE);
    EXPECT_EQ(board.aCell[5][7].nPiece, PIECE_BLUE);
    EXPECT_EQ(board.aCell[4][4].nPiece, PIECE_NONE);
    EXPECT_EQ(board.aGoal[PLAYER_BLUE].cGoalHeld, 1); // (5, 5) is a goal, (4, 4) and (8, 4) were
    EXPECT_EQ(board.aGoal[PLAYER_BLUE].cGoal, 3);

    // Two pieces: the third position stays (0, 0).
    BOARD two = FromPicture(Row4(". . R R . . . . .").apszRows);
    ApplyMove(&two, MOVE{4, 4, 0, 6, 4, 0, 0}, false);
    EXPECT_EQ(two.aCell[3][5].nPiece, PIECE_RED);
    EXPECT_EQ(two.aCell[3][7].nPiece, PIECE_RED);
    EXPECT_EQ(CountPieces(two, PIECE_RED), 2);
}

TEST(ApplyMove, LeavesMovesThatNameNoPieceUndone) {
    const BOARD board = FromPicture(Row4("B B . . G . . . R").apszRows);
    const MOVE moves[] = {
        {4, 4, 1, 0, 0, 0, 0},  // empty cell
        {8, 4, 1, 0, 0, 0, 0},  // the green piece
        {0, 0, 1, 0, 0, 0, 0},  // not a cell
        {-2, 4, 1, 0, 0, 0, 0}, // outside the grid
        {0, 40, 1, 0, 0, 0, 0}, // outside the grid
        {0, 4, 7, 0, 0, 0, 0},  // no such direction
        {0, 4, 3, 2, 4, 0, 0},  // sideways: (-1, 5) is off the board
        {0, 4, 2, 16, 4, 0, 0}, // sideways: the second piece is Red
        {0, 4, 2, 4, 4, 0, 0},  // sideways: the second cell is empty
        {0, 4, 2, 2, 4, 99, 4}, // sideways: the third position is outside the grid
    };
    for (const MOVE& move : moves) {
        BOARD after = board;
        ApplyMove(&after, move, false);
        EXPECT_EQ(std::memcmp(&after, &board, sizeof(BOARD)), 0)
            << move.x << "," << move.y << " dir " << move.nDir;
    }
}

TEST(CanJoinSelection, Lines) {
    const CELLPOS first{8, 4};
    for (const STEP& step : kBoardSteps)
        EXPECT_TRUE(CanJoinSelection(first, nullptr, {8 + step.dx, 4 + step.dy}));
    EXPECT_FALSE(CanJoinSelection(first, nullptr, {8, 4}));
    EXPECT_FALSE(CanJoinSelection(first, nullptr, {12, 4}));
    EXPECT_FALSE(CanJoinSelection(first, nullptr, {8, 2}));

    const CELLPOS second{9, 5}; // down-right of the first
    struct {
        CELLPOS pos;
        bool fJoins;
    } cases[] = {
        {{10, 6}, true},  // beyond the second
        {{7, 3}, true},   // beyond the first
        {{10, 4}, false}, // a neighbour of the second, off the line
        {{6, 4}, false},  {{8, 4}, false}, {{9, 5}, false}, {{11, 7}, false}, // two beyond
    };
    for (const auto& c : cases)
        EXPECT_EQ(CanJoinSelection(first, &second, c.pos), c.fJoins) << c.pos.x << "," << c.pos.y;
}

TEST(FindGameEnd, FirstRuleThatAppliesDecides) {
    struct {
        const char* pszName;
        const char* rows[9];
        int nGreenPusher;
        int iWinner; // -1: the game goes on
        int iReason;
    } cases[] = {
        {"both hold their flags: Blue first",
         {"R R R R R", "R R bB R bB R", ". . R bB R . .", ". . . . . . . .", ". . . . . . . . .",
          ". . . . . . . .", ". . B rR B . .", "B B rR B rR B", "B B B B B"},
         PIECE_NONE,
         PLAYER_BLUE,
         REASON_GOALS},
        {"red holds its flags",
         {"R R R R R", "R R b R b R", ". . R bB R . .", ". . . . . . . .", ". . . . . . . . .",
          ". . . . . . . .", ". . B rR B . .", "B B rR B rR B", "B B B B B"},
         PIECE_NONE,
         PLAYER_RED,
         REASON_GOALS},
        {"blue has lost six",
         {"R R R R R", "R R R R R R", ". . R R R . .", ". . . . . . . .", ". . . . . . . . .",
          ". . . . . . . .", ". . . . . . .", ". . . B B B", "B B B B B"},
         PIECE_NONE,
         PLAYER_RED,
         REASON_LOST},
        {"red has lost six, green pushed off by red",
         {". . R . .", "R R R R R R", ". . . R . . .", ". . . . . . . .", ". . . . . . . . .",
          ". . . . . . . .", ". . B B B . .", "B B B B B B", "B B B B B"},
         PLAYER_RED,
         PLAYER_BLUE,
         REASON_LOST},
        {"green pushed off",
         {"R R R R R", "R R R R R R", ". . R R R . .", ". . . . . . . .", ". . . . . . . . .",
          ". . . . . . . .", ". . B B B . .", "B B B B B B", "B B B B B"},
         PLAYER_RED,
         PLAYER_RED,
         REASON_GREEN},
        {"five lost goes on",
         {"R R R R R", "R R R R R R", ". . R R R . .", ". . . . . . . .", ". . . . . . . . .",
          ". . . . . . . .", ". . . . . . .", ". . B B B B", "B B B B B"},
         PIECE_NONE,
         -1,
         0},
        {"a broken goal leaves the count",
         {"R R R R R", "R R # R bB R", ". . R bB R . .", ". . . . . . . .", ". . . . . . . . .",
          ". . . . . . . .", ". . B B B . .", "B B B B B B", "B B B B B"},
         PIECE_NONE,
         PLAYER_BLUE,
         REASON_GOALS},
        {"no goals at all",
         {"R R R R R", "R R R R R R", ". . R R R . .", "# . . . . . . #", ". . . . . . . . .",
          ". . . . . . . .", ". . B B B . .", "B B B B B B", "B B B B B"},
         PIECE_NONE,
         -1,
         0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszName);
        BOARD board = FromPicture(c.rows);
        board.nGreenPusher = c.nGreenPusher;
        int iWinner = -7;
        int iReason = -7;
        const bool fEnded = FindGameEnd(board, &iWinner, &iReason);
        EXPECT_EQ(fEnded, c.iWinner >= 0);
        if (fEnded) {
            EXPECT_EQ(iWinner, c.iWinner);
            EXPECT_EQ(iReason, c.iReason);
        }
    }
}

// ---- Showing a move ----------------------------------------------------------------------

// Records what the rules ask of the display and checks that each glide names a piece that is
// still on its cell, i.e. that the board has not changed yet.
class RecordingPresenter : public Presenter {
public:
    explicit RecordingPresenter(const BOARD* pBoard, bool fAnimate, bool fSound)
        : pBoard_(pBoard), fAnimate_(fAnimate), fSound_(fSound) {}

    bool IsAnimateOn() override { return fAnimate_; }
    bool IsSoundOn() override { return fSound_; }
    int GetEndFrame() override { return nEnd_; }
    int GlidePiece(int x, int y, int nDir, int nMover, int nStart) override {
        if (nStart < 0) nStart = nEnd_;
        if (pBoard_ != nullptr) {
            EXPECT_EQ(pBoard_->aCell[y][x].nPiece, nMover) << "glide of " << x << "," << y;
        }
        const int nFinish = nStart + (fAnimate_ ? 15 : 3) + 1;
        nEnd_ = std::max(nEnd_, nFinish);
        calls_.push_back("glide " + std::to_string(x) + "," + std::to_string(y) + " dir " +
                         std::to_string(nDir) + " mover " + std::to_string(nMover) + " at " +
                         std::to_string(nStart));
        return nFinish;
    }
    int StartFall(int x, int y, int nStart) override {
        if (nStart < 0) nStart = nEnd_;
        nEnd_ = std::max(nEnd_, nStart + 7);
        calls_.push_back("fall " + std::to_string(x) + "," + std::to_string(y) + " at " +
                         std::to_string(nStart));
        return nStart + 7;
    }
    void SetCellKind(int x, int y, int nKind) override {
        calls_.push_back("kind " + std::to_string(x) + "," + std::to_string(y) + " " +
                         std::to_string(nKind));
    }
    void PlaySound(int idWave) override { calls_.push_back("sound " + std::to_string(idWave)); }

    std::vector<std::string> calls_;

private:
    const BOARD* pBoard_;
    bool fAnimate_;
    bool fSound_;
    int nEnd_ = 100;
};

using Calls = std::vector<std::string>;

TEST(ShowMove, CascadePushStartsTheRearPieceFirst) {
    BOARD board = FromPicture(Row4("B B B R R . . . .").apszRows);
    RecordingPresenter shown(&board, true, true);
    ApplyMove(&board, MOVE{0, 4, 1, 0, 0, 0, 0}, true, &shown);
    EXPECT_EQ(shown.calls_, (Calls{
                                "glide 8,4 dir 1 mover 1 at 112",
                                "glide 6,4 dir 1 mover 1 at 109",
                                "glide 4,4 dir 1 mover 0 at 106",
                                "glide 2,4 dir 1 mover 0 at 103",
                                "glide 0,4 dir 1 mover 0 at 100",
                            }));
    EXPECT_EQ(board.aCell[4][10].nPiece, PIECE_RED);
}

TEST(ShowMove, WithoutAnimationEveryPieceStartsTogether) {
    BOARD board = FromPicture(Row4("B B B R R . . . .").apszRows);
    RecordingPresenter shown(&board, false, true);
    ApplyMove(&board, MOVE{0, 4, 1, 0, 0, 0, 0}, true, &shown);
    ASSERT_EQ(shown.calls_.size(), 5u);
    for (const std::string& call : shown.calls_)
        EXPECT_NE(call.find(" at 100"), std::string::npos) << call;
}

TEST(ShowMove, PushOffFallsAtTheLatestGlideEnd) {
    for (bool fAnimate : {true, false}) {
        BOARD board = FromPicture(Row4(". . . . B B B R R").apszRows);
        RecordingPresenter shown(&board, fAnimate, true);
        ApplyMove(&board, MOVE{8, 4, 1, 0, 0, 0, 0}, true, &shown);
        ASSERT_EQ(shown.calls_.size(), 6u);
        EXPECT_EQ(shown.calls_[0],
                  fAnimate ? "glide 16,4 dir 1 mover 1 at 112" : "glide 16,4 dir 1 mover 1 at 100");
        // The front glide ends last: 112 + 16 with animation, 100 + 4 without.
        EXPECT_EQ(shown.calls_[5], fAnimate ? "fall 18,4 at 128" : "fall 18,4 at 104");
    }
}

TEST(ShowMove, GreenGlidesAsItsOwnColour) {
    BOARD board = FromPicture(Row4(". . . . . . B B G").apszRows);
    RecordingPresenter shown(&board, true, true);
    ApplyMove(&board, MOVE{12, 4, 1, 0, 0, 0, 0}, true, &shown);
    EXPECT_EQ(shown.calls_, (Calls{
                                "glide 16,4 dir 1 mover 2 at 106",
                                "glide 14,4 dir 1 mover 0 at 103",
                                "glide 12,4 dir 1 mover 0 at 100",
                                "fall 18,4 at 122",
                            }));
}

TEST(ShowMove, BreakDropsThePieceAndRedrawsTheCell) {
    for (bool fSound : {true, false}) {
        BOARD board = FromPicture(Row4(". . B B R B . . .").apszRows);
        RecordingPresenter shown(&board, true, fSound);
        ApplyMove(&board, MOVE{4, 4, 1, 0, 0, 0, 0}, true, &shown);
        Calls expected = {"fall 8,4 at 100", "kind 8,4 4"};
        if (fSound) expected.push_back("sound 119");
        EXPECT_EQ(shown.calls_, expected);
        EXPECT_EQ(board.aCell[4][8].nKind, KIND_HOLE);
    }
}

TEST(ShowMove, SidewaysPiecesStartAtTheSameFrame) {
    BOARD board = FromPicture(Row4(". . B B B . . . .").apszRows);
    RecordingPresenter shown(&board, true, true);
    ApplyMove(&board, MOVE{4, 4, 2, 6, 4, 8, 4}, true, &shown);
    EXPECT_EQ(shown.calls_, (Calls{
                                "glide 4,4 dir 2 mover 0 at 100",
                                "glide 6,4 dir 2 mover 0 at 100",
                                "glide 8,4 dir 2 mover 0 at 100",
                            }));
}

TEST(ShowMove, DefaultPresenterAndNoShow) {
    BOARD board = FromPicture(Row4(". . B . . . . . .").apszRows);
    RecordingPresenter shown(nullptr, true, true);
    ApplyMove(&board, MOVE{4, 4, 1, 0, 0, 0, 0}, false, &shown);
    EXPECT_TRUE(shown.calls_.empty());
    SetDefaultPresenter(&shown);
    ApplyMove(&board, MOVE{6, 4, 1, 0, 0, 0, 0}, true);
    SetDefaultPresenter(nullptr);
    EXPECT_EQ(shown.calls_, (Calls{"glide 6,4 dir 1 mover 0 at 100"}));
    ApplyMove(&board, MOVE{8, 4, 1, 0, 0, 0, 0}, true); // no display yet: just the move
    EXPECT_EQ(board.aCell[4][10].nPiece, PIECE_BLUE);
}

// ---- The practice strip -----------------------------------------------------------------

STRIP Strip(const char* psz) {
    STRIP strip{};
    for (int x = 0; x < cStripCells; x++) {
        strip.aCell[x].nPiece = testboards::PieceOf(psz[2 * x]);
        strip.aCell[x].nKind = psz[2 * x] == '#' ? KIND_HOLE : KIND_PLAIN;
    }
    return strip;
}

std::string StripText(const STRIP& strip) {
    std::string text;
    for (const CELL& cell : strip.aCell) {
        if (!text.empty()) text += ' ';
        text += cell.nKind == KIND_HOLE ? '#' : "BRG."[cell.nPiece];
    }
    return text;
}

TEST(Strip, MovesAlongTheRow) {
    struct {
        const char* pszBefore;
        int x, nDir;
        const char* pszAfter; // nullptr: illegal
    } cases[] = {
        {"B . . . . .", 0, 1, ". B . . . ."},
        {". B . . . .", 1, 4, "B . . . . ."},
        {"B . . . . .", 0, 4, nullptr},
        {"B . . . . .", 0, 0, nullptr}, // leaves the row
        {"B . . . . .", 0, 2, nullptr},
        {"B B R . . .", 0, 1, ". B B R . ."},
        {". . . B B R", 3, 1, ". . . . B B"},
        {"B B R B . .", 0, 1, "B B # B . ."}, // a break is always allowed here
        {"B R . . . .", 0, 1, nullptr},
        {"B B R # . .", 0, 1, ". B B # . ."},
        {"B B B B . .", 0, 1, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszBefore);
        STRIP strip = Strip(c.pszBefore);
        const bool fLegal = CheckMove(strip, c.x, 0, c.nDir);
        ASSERT_EQ(fLegal, c.pszAfter != nullptr);
        if (fLegal) {
            ApplyMove(&strip, MOVE{c.x, 0, c.nDir, 0, 0, 0, 0}, false);
            EXPECT_EQ(StripText(strip), c.pszAfter);
        }
    }
}

TEST(Strip, ShowsABreakAndAPushOff) {
    STRIP strip = Strip("B B R B . .");
    RecordingPresenter shown(nullptr, true, true);
    ApplyMove(&strip, MOVE{0, 0, 1, 0, 0, 0, 0}, true, &shown);
    EXPECT_EQ(shown.calls_, (Calls{"fall 2,0 at 100", "kind 2,0 4", "sound 119"}));

    STRIP edge = Strip(". . . B B R");
    RecordingPresenter shown2(nullptr, false, true);
    ApplyMove(&edge, MOVE{3, 0, 1, 0, 0, 0, 0}, true, &shown2);
    EXPECT_EQ(shown2.calls_,
              (Calls{"glide 5,0 dir 1 mover 1 at 100", "glide 4,0 dir 1 mover 0 at 100",
                     "glide 3,0 dir 1 mover 0 at 100", "fall 6,0 at 104"}));
}

// ---- Counters over random games ----------------------------------------------------------

// Every legal move of the side to move: inline moves and sideways moves of two or three.
std::vector<MOVE> AllMoves(const BOARD& board, int nSide, bool fModern) {
    std::vector<MOVE> moves;
    for (int y = 0; y < 9; y++) {
        for (int x = 0; x < 17; x++) {
            if (!IsCellPosition(x, y) || board.aCell[y][x].nPiece != nSide ||
                !IsOnBoard(board, x, y))
                continue;
            for (int nDir = 0; nDir < 6; nDir++)
                if (CheckMove(board, x, y, nDir, false, nullptr, fModern))
                    moves.push_back(MOVE{x, y, nDir, 0, 0, 0, 0});
            // Lines of two and three starting here, along the three forward directions.
            for (int nLine : {1, 2, 3}) {
                const STEP line = kBoardSteps[nLine];
                for (int cPieces : {2, 3}) {
                    bool fOwn = true;
                    for (int k = 1; k < cPieces; k++) {
                        const int px = x + k * line.dx;
                        const int py = y + k * line.dy;
                        fOwn =
                            fOwn && IsOnBoard(board, px, py) && board.aCell[py][px].nPiece == nSide;
                    }
                    if (!fOwn) continue;
                    for (int nDir = 0; nDir < 6; nDir++) {
                        bool fLegal = true;
                        for (int k = 0; k < cPieces; k++)
                            fLegal = fLegal && CheckMove(board, x + k * line.dx, y + k * line.dy,
                                                         nDir, true, nullptr, fModern);
                        if (!fLegal) continue;
                        MOVE move{x, y, nDir, x + line.dx, y + line.dy, 0, 0};
                        if (cPieces == 3) {
                            move.x3 = x + 2 * line.dx;
                            move.y3 = y + 2 * line.dy;
                        }
                        moves.push_back(move);
                    }
                }
            }
        }
    }
    return moves;
}

TEST(ApplyMove, CountersFollowTheCellsOverRandomGames) {
    testboards::RANDOM random{12345};
    int cPositions = 0;
    int cCaptures = 0;
    int cBreaks = 0;
    int cSideways = 0;
    for (int iLayout = 0; iLayout < cLayouts; iLayout++) {
        for (bool fModern : {false, true}) {
            int cHere = 0;
            while (cHere < 400) {
                BOARD board = StartBoard(iLayout);
                for (int iPly = 0; iPly < 200 && cHere < 400; iPly++) {
                    const int nSide = iPly % 2;
                    if (FindGameEnd(board, nullptr, nullptr)) break;
                    const std::vector<MOVE> moves = AllMoves(board, nSide, fModern);
                    if (moves.empty()) break;
                    // Half of the time play a push when there is one, so that pieces are lost.
                    std::vector<MOVE> pushes;
                    for (const MOVE& m : moves) {
                        CHECKRESULT r{};
                        if (IsInlineMove(m) &&
                            CheckMove(board, m.x, m.y, m.nDir, false, &r, fModern) && r.cPushed)
                            pushes.push_back(m);
                    }
                    const std::vector<MOVE>& pool =
                        !pushes.empty() && random.Next(2) == 0 ? pushes : moves;
                    const MOVE move = pool[random.Next(static_cast<unsigned>(pool.size()))];
                    CHECKRESULT result{};
                    if (IsInlineMove(move)) {
                        ASSERT_TRUE(
                            CheckMove(board, move.x, move.y, move.nDir, false, &result, fModern));
                    } else {
                        cSideways++;
                    }
                    const BOARD before = board;
                    ApplyMove(&board, move, false);
                    cHere++;

                    GOALCOUNT aGoal[2];
                    int acLost[2];
                    testboards::CountFromCells(board, aGoal, acLost);
                    for (int p = 0; p < 2; p++) {
                        ASSERT_EQ(board.aGoal[p].cGoal, aGoal[p].cGoal);
                        ASSERT_EQ(board.aGoal[p].cGoalHeld, aGoal[p].cGoalHeld);
                        ASSERT_EQ(board.cLost[p], acLost[p]);
                        ASSERT_GE(board.cLost[p], before.cLost[p]);
                    }
                    // Own pieces never leave the board; at most one enemy piece does.
                    ASSERT_EQ(CountPieces(board, nSide), CountPieces(before, nSide));
                    const int cGone =
                        CountPieces(before, 1 - nSide) - CountPieces(board, 1 - nSide) +
                        CountPieces(before, PIECE_GREEN) - CountPieces(board, PIECE_GREEN);
                    ASSERT_EQ(cGone, IsInlineMove(move) ? result.fCapture : 0);
                    ASSERT_EQ(
                        board.nGreenPusher,
                        CountPieces(board, PIECE_GREEN) == 0 && iLayout == LAYOUT_TUGOFWAR
                            ? (before.nGreenPusher == PIECE_NONE ? nSide : before.nGreenPusher)
                            : PIECE_NONE);
                    ASSERT_EQ(board.nReserved, 0);
                    if (result.fCapture) cCaptures++;
                    // Nothing moves in a break.
                    if (IsInlineMove(move) && result.fCapture &&
                        board.aCell[move.y][move.x].nPiece == nSide)
                        cBreaks++;
                }
            }
            cPositions += cHere;
        }
    }
    EXPECT_GE(cPositions, 5000);
    EXPECT_GT(cCaptures, 100);
    EXPECT_GT(cBreaks, 10);
    EXPECT_GT(cSideways, 500);
}

} // namespace
