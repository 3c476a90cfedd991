#include "game/computer.h"

#include "game/positions.h"
#include "game/search.h"
#include "game/settings.h"
#include "game/test_boards.h"
#include "host/thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <vector>

namespace {

// What the worker handed over, as the main window would receive it.
struct RECEIVER {
    std::mutex mutex;
    std::vector<const MOVE*> posted;
    std::vector<MOVE> moves; // copies made at the time of the call
    host::Event evPosted{false, false};
};

void Receive(void* pContext, const MOVE* pMove) {
    auto* p = static_cast<RECEIVER*>(pContext);
    {
        std::lock_guard guard(p->mutex);
        p->posted.push_back(pMove);
        p->moves.push_back(pMove != nullptr ? *pMove : MOVE{-1, -1, -1, 0, 0, 0, 0});
    }
    p->evPosted.Set();
}

// Holds the worker back until the test has asked for the cancel.
void WaitForCancel() {
    while (!IsSearchCancelRequested())
        host::Sleep(1);
}

class Computer : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = g_settings;
        ASSERT_TRUE(InitSearch(Receive, &receiver_));
    }
    void TearDown() override {
        SetSearchStartHook(nullptr);
        ShutdownSearch();
        g_settings = saved_;
    }
    std::size_t Posted() {
        std::lock_guard guard(receiver_.mutex);
        return receiver_.posted.size();
    }

    RECEIVER receiver_;
    SETTINGS saved_{};
};

BOARD StartBoard(int iLayout) {
    BOARD board;
    SetUpLayout(&board, iLayout);
    PlacePieces(&board, iLayout);
    return board;
}

TEST_F(Computer, HandsOverTheEnginesChoiceOnce) {
    BENCHPOSITION position;
    GetBenchPosition(8, &position);
    g_settings.fModern = position.fModern;
    g_settings.aPlayer[position.nSide].nLevel = 3;
    StartSearch(position.board, position.nSide);
    ASSERT_TRUE(receiver_.evPosted.Wait(10000));
    CancelSearch(); // waits for the worker to finish
    EXPECT_FALSE(IsSearchRunning());

    SearchEngine engine;
    DECISION expected;
    ASSERT_TRUE(engine.Decide(position.board, position.nSide, 3, position.fModern, &expected));
    ASSERT_EQ(Posted(), 1u);
    ASSERT_NE(receiver_.posted[0], nullptr);
    EXPECT_EQ(std::memcmp(&receiver_.moves[0], &expected.move, sizeof(MOVE)), 0);
    EXPECT_EQ(GetLastSearchNodes(), expected.cNodes);

    MOVE move;
    EXPECT_TRUE(TakeHandOver(receiver_.posted[0], &move));
    EXPECT_EQ(std::memcmp(&move, &expected.move, sizeof(MOVE)), 0);
    EXPECT_FALSE(TakeHandOver(receiver_.posted[0], &move)) << "taken twice";
    EXPECT_FALSE(TakeHandOver(&expected.move, &move)) << "not the hand-over buffer";
    EXPECT_FALSE(TakeHandOver(nullptr, &move));
}

TEST_F(Computer, StrengthAndRulesComeFromTheSettings) {
    // A stored level above 3 searches at 3; the rule set decides whether a break is a move.
    BENCHPOSITION position;
    GetBenchPosition(17, &position);
    SearchEngine engine;
    DECISION expected;
    engine.Decide(position.board, position.nSide, 3, position.fModern, &expected);
    g_settings.fModern = position.fModern;
    g_settings.aPlayer[position.nSide].nLevel = 9;
    g_settings.aPlayer[1 - position.nSide].nLevel = 1;
    StartSearch(position.board, position.nSide);
    ASSERT_TRUE(receiver_.evPosted.Wait(10000));
    CancelSearch();
    ASSERT_EQ(Posted(), 1u);
    EXPECT_EQ(std::memcmp(&receiver_.moves[0], &expected.move, sizeof(MOVE)), 0);
    EXPECT_EQ(GetLastSearchNodes(), expected.cNodes);
}

TEST_F(Computer, SingleMoveIsHandedOverWithoutSearching) {
    const char* rows[9] = {"R B . . .",       ". B . . . .",       ". . . . . . .",
                           ". . . . . . . .", ". . . . . . . . .", ". . . . . . . .",
                           ". . . . . . .",   ". . . . . .",       "B . . . ."};
    const BOARD board = testboards::FromPicture(rows);
    g_settings.aPlayer[PLAYER_RED].nLevel = 3;
    StartSearch(board, PLAYER_RED);
    ASSERT_TRUE(receiver_.evPosted.Wait(10000));
    CancelSearch();
    ASSERT_EQ(Posted(), 1u);
    EXPECT_EQ(receiver_.moves[0].x, 4);
    EXPECT_EQ(receiver_.moves[0].y, 0);
    EXPECT_EQ(receiver_.moves[0].nDir, 3);
    EXPECT_EQ(GetLastSearchNodes(), 0u);
}

TEST_F(Computer, NoLegalMoveHandsOverNull) {
    const char* rows[9] = {"R B . . .",       "B B . . . .",       ". . . . . . .",
                           ". . . . . . . .", ". . . . . . . . .", ". . . . . . . .",
                           ". . . . . . .",   ". . . . . .",       "B . . . ."};
    StartSearch(testboards::FromPicture(rows), PLAYER_RED);
    ASSERT_TRUE(receiver_.evPosted.Wait(10000));
    CancelSearch();
    ASSERT_EQ(Posted(), 1u);
    EXPECT_EQ(receiver_.posted[0], nullptr);
}

TEST_F(Computer, CancelledSearchHandsOverNothing) {
    SetSearchStartHook(WaitForCancel);
    g_settings.aPlayer[PLAYER_BLUE].nLevel = 3;
    StartSearch(StartBoard(LAYOUT_CLASSIC), PLAYER_BLUE);
    EXPECT_TRUE(IsSearchRunning());
    CancelSearch();
    EXPECT_FALSE(IsSearchRunning());
    EXPECT_FALSE(receiver_.evPosted.Wait(50));
    EXPECT_EQ(Posted(), 0u);
}

TEST_F(Computer, AbandonedSearchHandsOverNothing) {
    // A new game while the computer is thinking: the flag alone stops the search.
    SetSearchStartHook(WaitForCancel);
    StartSearch(StartBoard(LAYOUT_CLASSIC), PLAYER_RED);
    AbandonSearch();
    CancelSearch(); // here only to wait for the worker's end
    EXPECT_EQ(Posted(), 0u);
}

TEST_F(Computer, HandOverPostedBeforeAnUndoIsStale) {
    StartSearch(StartBoard(LAYOUT_CLASSIC), PLAYER_RED);
    ASSERT_TRUE(receiver_.evPosted.Wait(10000));
    CancelSearch();
    ASSERT_EQ(Posted(), 1u);
    // Undo happens before the posted message is read.
    AbandonSearch();
    MOVE move;
    EXPECT_FALSE(TakeHandOver(receiver_.posted[0], &move));

    // The next search's hand-over is taken, even if the stale message is read after it.
    BOARD board = StartBoard(LAYOUT_CLASSIC);
    ApplyMove(&board, MOVE{4, 8, 0, 0, 0, 0, 0}, false);
    StartSearch(board, PLAYER_RED);
    ASSERT_TRUE(receiver_.evPosted.Wait(10000));
    CancelSearch();
    ASSERT_EQ(Posted(), 2u);
    EXPECT_TRUE(TakeHandOver(receiver_.posted[1], &move));
    EXPECT_EQ(std::memcmp(&move, &receiver_.moves[1], sizeof(MOVE)), 0);
}

TEST_F(Computer, UntakenHandOverDiesWithTheNextSearch) {
    StartSearch(StartBoard(LAYOUT_CLASSIC), PLAYER_RED);
    ASSERT_TRUE(receiver_.evPosted.Wait(10000));
    SetSearchStartHook(WaitForCancel);
    StartSearch(StartBoard(LAYOUT_KINGOFTHEHILL), PLAYER_RED);
    MOVE move;
    EXPECT_FALSE(TakeHandOver(receiver_.posted[0], &move));
    CancelSearch();
}

TEST_F(Computer, RestartWhileSearchingKeepsOneWorker) {
    for (int i = 0; i < 20; i++)
        StartSearch(StartBoard(i % cLayouts), i % 2);
    CancelSearch();
    EXPECT_FALSE(IsSearchRunning());
}

TEST(ComputerState, CallsOutsideTheStateAreRefused) {
    StartSearch(BOARD{}, PLAYER_BLUE);
    CancelSearch();
    AbandonSearch();
    MOVE move;
    EXPECT_FALSE(TakeHandOver(&move, &move));
    ShutdownSearch();
    EXPECT_FALSE(IsSearchRunning());

    RECEIVER receiver;
    ASSERT_TRUE(InitSearch(Receive, &receiver));
    EXPECT_FALSE(InitSearch(Receive, &receiver));
    ShutdownSearch();
}

} // namespace
