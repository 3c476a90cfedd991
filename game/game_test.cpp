#include "game/game.h"

#include "foundation/tl_registry.h"
#include "game/engine/engine.h"
#include "game/test_presenter.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>
#include <vector>

namespace {

class TurnFlow : public testgame::GameTest {};

std::string MoveText(const MOVE& move) {
    std::ostringstream text;
    text << move.nDir << ',' << move.x << ',' << move.y << ',' << move.x2 << ',' << move.y2 << ','
         << move.x3 << ',' << move.y3;
    return text.str();
}

MOVE Inline(int x, int y, int nDir) {
    return MOVE{x, y, nDir, 0, 0, 0, 0};
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

struct RUN {
    int nStatus;
    std::string out;
    std::string err;
};

RUN RunTool(const std::vector<std::string>& args) {
    std::ostringstream out;
    std::ostringstream err;
    const int nStatus = RunEngine(args, out, err);
    return {nStatus, out.str(), err.str()};
}

// The first move of the list that the side to move may play now.
MOVE FirstLegal(std::initializer_list<MOVE> moves) {
    for (const MOVE& move : moves)
        if (IsLegalMove(CurrentBoard(), move, SideToMove(), g_settings.fModern != 0)) return move;
    ADD_FAILURE() << "none of the moves is legal";
    return *moves.begin();
}

void SetPlayers(int fBlueComputer, int nBlueLevel, int fRedComputer, int nRedLevel) {
    g_settings.aPlayer[PLAYER_BLUE] = {fBlueComputer, nBlueLevel};
    g_settings.aPlayer[PLAYER_RED] = {fRedComputer, nRedLevel};
}

// The start board with the first n recorded moves played on it.
BOARD Replayed(std::uint32_t n) {
    BOARD board = StartBoard();
    for (std::uint32_t i = 0; i < n; i++)
        ApplyMove(&board, RecordedMove(i), false);
    return board;
}

bool SameBoard(const BOARD& a, const BOARD& b) {
    return std::memcmp(&a, &b, sizeof(BOARD)) == 0;
}

// ---- Whole games ---------------------------------------------------------------------------

// Computer against computer on every layout under both rule sets, at low levels chosen so
// that each game ends; a Blue opening move, played by a person, breaks a cycle on one layout.
// Every game must be the very game that the engine tool plays from the same start.
TEST_F(TurnFlow, ComputerPlaysEveryLayoutToTheEnd) {
    struct WHOLEGAME {
        int iLayout;
        bool fModern;
        int nBlueLevel;
        int nRedLevel;
        const char* pszOpening;
        int iWinner;
        int iReason;
    };
    const WHOLEGAME kGames[] = {
        {0, false, 1, 1, nullptr, PLAYER_BLUE, REASON_LOST},
        {0, true, 3, 1, nullptr, PLAYER_BLUE, REASON_LOST},
        {1, false, 1, 1, nullptr, PLAYER_RED, REASON_GOALS},
        {1, true, 1, 1, nullptr, PLAYER_RED, REASON_GOALS},
        {2, false, 3, 1, nullptr, PLAYER_BLUE, REASON_GOALS},
        {2, true, 3, 1, nullptr, PLAYER_BLUE, REASON_LOST},
        {3, false, 1, 3, nullptr, PLAYER_RED, REASON_GOALS},
        {3, true, 1, 3, nullptr, PLAYER_RED, REASON_GOALS},
        {4, false, 3, 1, nullptr, PLAYER_BLUE, REASON_GOALS},
        {4, true, 2, 1, "5,8,6,0,0,0,0", PLAYER_BLUE, REASON_GOALS},
        {5, false, 1, 3, nullptr, PLAYER_RED, REASON_LOST},
        {5, true, 3, 1, nullptr, PLAYER_BLUE, REASON_LOST},
        {6, false, 1, 1, nullptr, PLAYER_RED, REASON_GREEN},
        {6, true, 1, 1, nullptr, PLAYER_RED, REASON_GREEN},
    };
    for (const WHOLEGAME& c : kGames) {
        SCOPED_TRACE("layout " + std::to_string(c.iLayout) + (c.fModern ? " modern" : " classic"));
        show_.ClearCalls();
        SetPlayers(c.pszOpening == nullptr, c.nBlueLevel, 1, c.nRedLevel);
        NewGame(c.iLayout, c.fModern);
        EXPECT_EQ(g_settings.iBoard, c.iLayout);
        EXPECT_EQ(g_settings.fModern, c.fModern ? 1 : 0);
        std::vector<std::string> args = {"--layout", std::to_string(c.iLayout), "--rules",
                                         c.fModern ? "modern" : "classic"};
        std::vector<std::string> expected;
        if (c.pszOpening != nullptr) {
            int an[7];
            ASSERT_EQ(std::sscanf(c.pszOpening, "%d,%d,%d,%d,%d,%d,%d", &an[0], &an[1], &an[2],
                                  &an[3], &an[4], &an[5], &an[6]),
                      7);
            ASSERT_TRUE(PlayMove(MOVE{an[1], an[2], an[0], an[3], an[4], an[5], an[6]}));
            g_settings.aPlayer[PLAYER_BLUE].fComputer = 1;
            args.insert(args.end(), {"--moves", c.pszOpening});
            expected.push_back(c.pszOpening);
        }
        RunGame(200);

        EXPECT_EQ(g_game.fInProgress, 0);
        EXPECT_EQ(g_game.iWinner, c.iWinner);
        EXPECT_EQ(g_game.iReason, c.iReason);
        args.insert(args.end(),
                    {"play", std::to_string(c.nBlueLevel), std::to_string(c.nRedLevel)});
        const RUN play = RunTool(args);
        ASSERT_EQ(play.nStatus, ENGINE_OK) << play.err;
        std::vector<std::string> lines = Lines(play.out);
        ASSERT_FALSE(lines.empty());
        lines.pop_back(); // the result line
        expected.insert(expected.end(), lines.begin(), lines.end());
        ASSERT_EQ(RecordedMoveCount(), expected.size());
        EXPECT_EQ(PlayedMoveCount(), expected.size());
        for (std::uint32_t i = 0; i < RecordedMoveCount(); i++)
            ASSERT_EQ(MoveText(RecordedMove(i)), expected[i]) << "move " << i + 1;

        // The computer won on both sides: the lose sound, once, after the new-game sound.
        const std::vector<std::string> sounds = show_.Calls("sound 1");
        std::vector<std::string> gameSounds;
        for (const std::string& sound : sounds)
            if (sound == "sound 115" || sound == "sound 118" || sound == "sound 121")
                gameSounds.push_back(sound);
        EXPECT_EQ(gameSounds, (std::vector<std::string>{"sound 115", "sound 118"}));
        EXPECT_EQ(show_.Calls("status").back(), "status " + std::to_string(c.iWinner + 3));

        SAVEDRECORD saved;
        EXPECT_EQ(ReadSavedGame(c.fModern, &saved), SAVED_ENDED);
        EXPECT_EQ(saved.game.iWinner, c.iWinner);
        EXPECT_EQ(saved.game.iReason, c.iReason);
        EXPECT_EQ(saved.cMove, RecordedMoveCount());
        EXPECT_FALSE(saved.fHistoryDropped);
        FreeSavedRecord(&saved);
        EXPECT_FALSE(RestoreGame()) << "a finished game is not restored";
        EXPECT_FALSE(StartComputerTurn());
    }
}

// Who hears what at the end: the win sound when the winner is a person, the lose sound
// otherwise; nothing with the sound off.
TEST_F(TurnFlow, EndOfGameSounds) {
    struct ENDING {
        int fBlueComputer;
        int fRedComputer;
        int iLoser; // the side that loses six pieces
        int fSound;
        const char* pszSound;
    };
    const ENDING kEndings[] = {
        {0, 1, PLAYER_RED, 1, "sound 121"},  {0, 1, PLAYER_BLUE, 1, "sound 118"},
        {0, 0, PLAYER_BLUE, 1, "sound 121"}, {0, 0, PLAYER_RED, 1, "sound 121"},
        {1, 1, PLAYER_RED, 1, "sound 118"},  {1, 0, PLAYER_BLUE, 1, "sound 121"},
        {0, 1, PLAYER_RED, 0, nullptr},
    };
    for (const ENDING& c : kEndings) {
        SCOPED_TRACE(std::to_string(c.fBlueComputer) + std::to_string(c.fRedComputer) +
                     std::to_string(c.iLoser) + std::to_string(c.fSound));
        SetPlayers(c.fBlueComputer, 1, c.fRedComputer, 1);
        g_settings.fSound = c.fSound;
        NewGame(LAYOUT_CLASSIC, 0);
        show_.PlayFrames();
        show_.TakeComputerMayStart();
        StopComputer();
        // Six of the loser's pieces leave the board.
        BOARD& board = CurrentBoard();
        int cRemoved = 0;
        for (int y = 0; y < cBoardRows && cRemoved < 6; y++)
            for (int x = 0; x < cBoardColumns && cRemoved < 6; x++)
                if (IsCellPosition(x, y) && board.aCell[y][x].nPiece == c.iLoser) {
                    board.aCell[y][x].nPiece = PIECE_NONE;
                    board.cLost[c.iLoser]++;
                    cRemoved++;
                }
        ResetRecord();
        show_.ClearCalls();
        CheckGameOver();
        EXPECT_EQ(g_game.fInProgress, 0);
        EXPECT_EQ(g_game.iWinner, 1 - c.iLoser);
        EXPECT_EQ(g_game.iReason, REASON_LOST);
        const std::vector<std::string> sounds = show_.Calls("sound");
        if (c.pszSound == nullptr)
            EXPECT_TRUE(sounds.empty());
        else
            EXPECT_EQ(sounds, std::vector<std::string>{c.pszSound});
        EXPECT_EQ(show_.Calls("status"),
                  std::vector<std::string>{"status " + std::to_string(4 - c.iLoser)});

        // The ended game is stored as such and refuses moves of both kinds.
        SAVEDRECORD saved;
        EXPECT_EQ(ReadSavedGame(false, &saved), SAVED_ENDED);
        FreeSavedRecord(&saved);
        const BOARD before = CurrentBoard();
        EXPECT_FALSE(PlayMove(FirstLegal({Inline(4, 8, 0), Inline(4, 0, 3), Inline(6, 6, 0)})));
        MOVE posted = Inline(4, 8, 0);
        EXPECT_FALSE(OnComputerMove(reinterpret_cast<host::LPARAM>(&posted)));
        EXPECT_TRUE(SameBoard(before, CurrentBoard()));
        CheckGameOver(); // nothing more happens once the game has ended
        EXPECT_EQ(show_.Calls("sound").size(), c.pszSound == nullptr ? 0u : 1u);
    }
}

// ---- Undo and Redo -------------------------------------------------------------------------

// A person (Blue) against the computer (Red): Undo returns to the person's turn, Redo plays
// both moves again, and neither hands the turn to the computer.
TEST_F(TurnFlow, UndoAndRedoAgainstTheComputer) {
    SetPlayers(0, 0, 1, 1);
    NewGame(LAYOUT_CLASSIC, 0);
    ASSERT_TRUE(PlayMove(Inline(4, 8, 0)));
    ComputerAnswers();
    ASSERT_TRUE(PlayMove(FirstLegal({Inline(12, 8, 5), Inline(10, 8, 5), Inline(3, 7, 0)})));
    ComputerAnswers();
    ASSERT_EQ(RecordedMoveCount(), 4u);
    ASSERT_EQ(PlayedMoveCount(), 4u);
    const BOARD after4 = CurrentBoard();

    show_.ClearCalls();
    ASSERT_TRUE(CanUndo());
    Undo();
    EXPECT_EQ(PlayedMoveCount(), 2u);
    EXPECT_EQ(RecordedMoveCount(), 4u);
    EXPECT_EQ(SideToMove(), PLAYER_BLUE);
    EXPECT_TRUE(SameBoard(CurrentBoard(), Replayed(2)));
    EXPECT_TRUE(SameBoard(show_.Pieces(), CurrentBoard()));
    EXPECT_EQ(show_.Calls().front(), "run to end");
    EXPECT_EQ(show_.Calls("schedule"), std::vector<std::string>{"schedule 8"});
    EXPECT_EQ(show_.Calls("status").back(), "status 1");
    SAVEDRECORD saved;
    ASSERT_EQ(ReadSavedGame(false, &saved), SAVED_INPROGRESS);
    EXPECT_EQ(saved.cMove, 4u);
    EXPECT_EQ(saved.iMove, 2u);
    FreeSavedRecord(&saved);
    show_.PlayFrames();
    EXPECT_FALSE(show_.TakeComputerMayStart());

    show_.ClearCalls();
    ASSERT_TRUE(CanRedo());
    Redo();
    EXPECT_EQ(PlayedMoveCount(), 4u);
    EXPECT_TRUE(SameBoard(CurrentBoard(), after4));
    EXPECT_EQ(show_.Calls("schedule"), (std::vector<std::string>{"schedule 8", "schedule 8"}));
    EXPECT_FALSE(show_.Calls("glide").empty());
    EXPECT_FALSE(CanRedo());
    show_.PlayFrames();
    EXPECT_FALSE(StartComputerTurn());

    // A move after an Undo drops what could have been redone.
    Undo();
    ASSERT_TRUE(PlayMove(FirstLegal({Inline(3, 7, 0), Inline(13, 7, 5), Inline(4, 8, 1)})));
    EXPECT_EQ(RecordedMoveCount(), 3u);
    EXPECT_EQ(PlayedMoveCount(), 3u);
    EXPECT_FALSE(CanRedo());
}

// Undo with nothing to undo, and Redo with nothing to redo, do nothing at all.
TEST_F(TurnFlow, UndoAndRedoAtTheEndsOfTheRecord) {
    SetPlayers(0, 0, 0, 0);
    NewGame(LAYOUT_CLASSIC, 0);
    show_.ClearCalls();
    EXPECT_FALSE(CanUndo());
    EXPECT_FALSE(CanRedo());
    Undo();
    Redo();
    EXPECT_TRUE(show_.Calls().empty());
}

// A computer turn still pending when Undo runs the schedule to its end fires there, but no
// search starts from it.
TEST_F(TurnFlow, UndoDropsAPendingComputerTurn) {
    SetPlayers(0, 0, 1, 1);
    NewGame(LAYOUT_CLASSIC, 0);
    ASSERT_TRUE(PlayMove(Inline(4, 8, 0)));
    ASSERT_TRUE(show_.HasPendingEvents());
    show_.ClearCalls();
    Undo();
    EXPECT_EQ(show_.Calls("fire"), (std::vector<std::string>{"fire 8", "fire 9"}));
    EXPECT_TRUE(show_.TakeComputerMayStart()) << "the window's flag is set";
    EXPECT_FALSE(StartComputerTurn());
    EXPECT_FALSE(IsSearchRunning());
    const MOVE* pPosted = nullptr;
    EXPECT_FALSE(handOvers_.Wait(100, &pPosted));
    EXPECT_EQ(PlayedMoveCount(), 0u);

    // Redo to the computer's turn leaves it waiting as well.
    Redo();
    EXPECT_EQ(PlayedMoveCount(), 1u);
    show_.PlayFrames();
    EXPECT_FALSE(show_.TakeComputerMayStart());
    EXPECT_FALSE(StartComputerTurn());
    EXPECT_EQ(show_.Calls("status").back(), "status 0");
}

// With the computer on both sides every Undo and Redo lands on its turn; still nothing starts
// until a new game.
TEST_F(TurnFlow, UndoAndRedoNeverStartTheComputer) {
    SetPlayers(1, 1, 1, 1);
    NewGame(LAYOUT_CLASSIC, 0);
    ComputerAnswers();
    ComputerAnswers();
    ASSERT_TRUE(show_.TakeComputerMayStart());
    ASSERT_TRUE(StartComputerTurn());
    const MOVE* pPosted = nullptr;
    ASSERT_TRUE(handOvers_.Wait(20000, &pPosted));
    ASSERT_TRUE(OnComputerMove(reinterpret_cast<host::LPARAM>(pPosted)));
    ASSERT_TRUE(show_.HasPendingEvents());

    Undo();
    EXPECT_EQ(PlayedMoveCount(), 1u);
    EXPECT_TRUE(show_.TakeComputerMayStart());
    EXPECT_FALSE(StartComputerTurn());
    Redo();
    EXPECT_EQ(PlayedMoveCount(), 3u);
    show_.PlayFrames();
    EXPECT_FALSE(StartComputerTurn());
    EXPECT_FALSE(IsSearchRunning());

    NewGame(LAYOUT_CLASSIC, 0);
    show_.PlayFrames();
    EXPECT_TRUE(show_.TakeComputerMayStart());
    EXPECT_TRUE(StartComputerTurn());
}

// In a game that the computer opens, Undo stops at the very first move and the computer waits.
TEST_F(TurnFlow, UndoToTheStartOfAGameTheComputerOpens) {
    SetPlayers(1, 1, 0, 0);
    NewGame(LAYOUT_CLASSIC, 0);
    ComputerAnswers();
    ASSERT_TRUE(PlayMove(FirstLegal({Inline(5, 1, 3), Inline(3, 1, 2), Inline(13, 1, 3)})));
    ComputerAnswers();
    ASSERT_EQ(PlayedMoveCount(), 3u);
    Undo();
    EXPECT_EQ(PlayedMoveCount(), 1u);
    EXPECT_EQ(SideToMove(), PLAYER_RED);
    Undo();
    EXPECT_EQ(PlayedMoveCount(), 0u);
    show_.PlayFrames();
    EXPECT_FALSE(StartComputerTurn());
    EXPECT_EQ(RecordedMoveCount(), 3u);
}

// Undo after the end of the game resumes play without a winner; Redo ends it again.
TEST_F(TurnFlow, UndoAfterTheEndResumesPlay) {
    SetPlayers(1, 1, 1, 1);
    NewGame(LAYOUT_TUGOFWAR, 0);
    RunGame(200);
    ASSERT_EQ(g_game.fInProgress, 0);
    const std::uint32_t cMove = RecordedMoveCount();

    show_.ClearCalls();
    Undo();
    EXPECT_EQ(PlayedMoveCount(), cMove - 2);
    EXPECT_EQ(g_game.fInProgress, 1);
    EXPECT_EQ(g_game.iWinner, WINNER_NONE);
    SAVEDRECORD saved;
    EXPECT_EQ(ReadSavedGame(false, &saved), SAVED_INPROGRESS);
    FreeSavedRecord(&saved);
    show_.PlayFrames();
    EXPECT_EQ(show_.Calls("fire"), std::vector<std::string>{"fire 8"});
    EXPECT_EQ(g_game.fInProgress, 1);

    show_.ClearCalls();
    Redo();
    EXPECT_EQ(PlayedMoveCount(), cMove);
    EXPECT_EQ(g_game.fInProgress, 1) << "the game ends when the move's animation has played";
    show_.PlayFrames();
    EXPECT_EQ(g_game.fInProgress, 0);
    EXPECT_EQ(g_game.iWinner, PLAYER_RED);
    EXPECT_EQ(g_game.iReason, REASON_GREEN);
    EXPECT_EQ(show_.Calls("sound 118").size(), 1u);
}

// A cell broken under the Modern rules is redrawn with its old kind when Undo rebuilds.
TEST_F(TurnFlow, UndoRedrawsABrokenCell) {
    SetPlayers(0, 0, 0, 0);
    NewGame(LAYOUT_KINGOFTHEHILL, 1);
    // Blue's two pieces on (4, 4) and (6, 4) push the Red piece on the goal (8, 4) against
    // Blue's (10, 4): the cell breaks.
    BOARD& board = CurrentBoard();
    board.aCell[4][4].nPiece = PIECE_BLUE;
    board.aCell[4][6].nPiece = PIECE_BLUE;
    board.aCell[4][8].nPiece = PIECE_RED;
    board.aCell[4][10].nPiece = PIECE_BLUE;
    board.aGoal[PLAYER_BLUE].cGoalHeld = 2; // (6, 4) and (10, 4)
    board.aGoal[PLAYER_RED].cGoalHeld = 1;
    ResetRecord();
    show_.ClearCalls();
    ASSERT_TRUE(PlayMove(Inline(4, 4, 1)));
    EXPECT_EQ(CurrentBoard().aCell[4][8].nKind, KIND_HOLE);
    EXPECT_EQ(show_.Calls("kind"), std::vector<std::string>{"kind 8,4 4"});
    show_.PlayFrames();
    show_.ClearCalls();
    Undo();
    EXPECT_EQ(show_.Calls("kind"), std::vector<std::string>{"kind 8,4 1"});
    EXPECT_EQ(CurrentBoard().aCell[4][8].nKind, KIND_GOAL);
    EXPECT_EQ(CurrentBoard().aCell[4][8].nPiece, PIECE_RED);
}

// ---- The computer's hand-over --------------------------------------------------------------

// A new game started while the computer thinks executes nothing of the old game: neither
// when the search is stopped nor when its move had already been posted.
TEST_F(TurnFlow, NewGameDuringASearch) {
    SetPlayers(0, 0, 1, 3);
    NewGame(LAYOUT_CLASSIC, 0);
    SetSearchStartHook([] {
        while (!IsSearchCancelRequested())
            host::Sleep(1);
    });
    ASSERT_TRUE(PlayMove(Inline(4, 8, 0)));
    show_.PlayFrames();
    ASSERT_TRUE(show_.TakeComputerMayStart());
    ASSERT_TRUE(StartComputerTurn());
    NewGame(LAYOUT_KINGOFTHEHILL, 0);
    CancelSearch();
    const MOVE* pPosted = nullptr;
    EXPECT_FALSE(handOvers_.Wait(100, &pPosted));
    SetSearchStartHook(nullptr);

    BOARD start;
    SetUpLayout(&start, LAYOUT_KINGOFTHEHILL);
    PlacePieces(&start, LAYOUT_KINGOFTHEHILL);
    EXPECT_TRUE(SameBoard(CurrentBoard(), start));
    EXPECT_EQ(RecordedMoveCount(), 0u);

    // This time the move is posted before the new game and delivered after it.
    ASSERT_TRUE(PlayMove(Inline(4, 8, 0)));
    show_.PlayFrames();
    ASSERT_TRUE(show_.TakeComputerMayStart());
    ASSERT_TRUE(StartComputerTurn());
    ASSERT_TRUE(handOvers_.Wait(20000, &pPosted));
    ASSERT_NE(pPosted, nullptr);
    NewGame(LAYOUT_KINGOFTHEHILL, 0);
    EXPECT_FALSE(OnComputerMove(reinterpret_cast<host::LPARAM>(pPosted)));
    EXPECT_TRUE(SameBoard(CurrentBoard(), start));
    EXPECT_EQ(RecordedMoveCount(), 0u);
    EXPECT_EQ(SideToMove(), PLAYER_BLUE);
}

// A null hand-over (the computer had no move) is ignored and the game goes on; a move is
// taken once only.
TEST_F(TurnFlow, HandOverIsTakenOnceAndNullIsIgnored) {
    SetPlayers(0, 0, 1, 1);
    NewGame(LAYOUT_CLASSIC, 0);
    EXPECT_FALSE(OnComputerMove(0));
    EXPECT_EQ(g_game.fInProgress, 1);
    ASSERT_TRUE(PlayMove(Inline(4, 8, 0)));
    show_.PlayFrames();
    ASSERT_TRUE(show_.TakeComputerMayStart());
    ASSERT_TRUE(StartComputerTurn());
    const MOVE* pPosted = nullptr;
    ASSERT_TRUE(handOvers_.Wait(20000, &pPosted));
    EXPECT_TRUE(OnComputerMove(reinterpret_cast<host::LPARAM>(pPosted)));
    EXPECT_FALSE(OnComputerMove(reinterpret_cast<host::LPARAM>(pPosted)));
    EXPECT_EQ(RecordedMoveCount(), 2u);
}

// A person's move must be legal for the side to move; a refused one changes nothing.
TEST_F(TurnFlow, PersonsMovesAreChecked) {
    SetPlayers(0, 0, 0, 0);
    NewGame(LAYOUT_CLASSIC, 0);
    const MOVE kRefused[] = {
        Inline(4, 0, 3),       // a Red piece while Blue is to move
        Inline(4, 8, 1),       // five in a row
        Inline(0, 0, 0),       // no piece
        Inline(99, 8, 0),      // outside the grid
        Inline(4, 8, 6),       // no direction
        {4, 8, 0, 0, 0, 5, 7}, // an inline move naming a third piece
        {3, 7, 5, 3, 7, 0, 0}, // a sideways move naming one piece twice
        {3, 7, 1, 5, 7, 0, 0}, // sideways along its own row
        {3, 7, 5, 7, 7, 0, 0}, // pieces not in a row
    };
    show_.ClearCalls();
    for (const MOVE& move : kRefused) {
        SCOPED_TRACE(MoveText(move));
        EXPECT_FALSE(PlayMove(move));
    }
    EXPECT_TRUE(show_.Calls().empty());
    EXPECT_EQ(RecordedMoveCount(), 0u);
    EXPECT_TRUE(PlayMove({3, 7, 5, 5, 7, 0, 0})); // sideways into (2, 6) and (4, 6)
    EXPECT_EQ(CurrentBoard().aCell[6][2].nPiece, PIECE_BLUE);
    EXPECT_EQ(CurrentBoard().aCell[6][4].nPiece, PIECE_BLUE);
}

// ---- The engine tool on a saved game -------------------------------------------------------

TEST_F(TurnFlow, EngineShowsTheSavedGame) {
    SetPlayers(0, 0, 1, 1);
    NewGame(LAYOUT_CAPTURETHEFLAG, 0);
    ASSERT_TRUE(PlayMove(Inline(4, 8, 0)));
    ComputerAnswers();
    ASSERT_TRUE(PlayMove(FirstLegal({Inline(12, 8, 5), Inline(10, 8, 5), Inline(3, 7, 0)})));
    ComputerAnswers();
    Undo();

    std::string list;
    for (std::uint32_t i = 0; i < PlayedMoveCount(); i++)
        list += (i ? ";" : "") + MoveText(RecordedMove(i));
    const RUN fromMoves = RunTool({"--layout", "2", "--moves", list, "show"});
    const RUN fromSaved = RunTool({"--registry", dir_.string(), "show"});
    ASSERT_EQ(fromSaved.nStatus, ENGINE_OK) << fromSaved.err;
    EXPECT_EQ(fromSaved.out,
              fromMoves.out + "saved: in progress\nhistory: 4 moves recorded, 2 played\n");
    EXPECT_EQ(host::RegGetStorageFolder(), dir_.string());

    // The other commands start from the saved position too.
    const RUN best = RunTool({"--registry", dir_.string(), "best", "1"});
    const RUN bestFromMoves = RunTool({"--layout", "2", "--moves", list, "best", "1"});
    EXPECT_EQ(best.out, bestFromMoves.out);

    SetPlayers(1, 1, 1, 1);
    NewGame(LAYOUT_TUGOFWAR, 1);
    RunGame(200);
    const RUN ended = RunTool({"--registry", dir_.string(), "show"});
    ASSERT_EQ(ended.nStatus, ENGINE_OK) << ended.err;
    const std::vector<std::string> lines = Lines(ended.out);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[lines.size() - 3], "end: Red wins (reason 2: green piece pushed off)");
    EXPECT_EQ(lines[lines.size() - 2], "saved: ended, Red wins (reason 2: green piece pushed off)");
    EXPECT_EQ(lines.back(), "history: " + std::to_string(RecordedMoveCount()) +
                                " moves recorded, " + std::to_string(PlayedMoveCount()) +
                                " played");

    const RUN both = RunTool({"--layout", "1", "--registry", dir_.string(), "show"});
    EXPECT_EQ(both.nStatus, ENGINE_BAD_INPUT);
    EXPECT_EQ(both.out, "");
    const std::filesystem::path empty = dir_ / "empty";
    std::filesystem::create_directory(empty);
    const RUN none = RunTool({"--registry", empty.string(), "show"});
    EXPECT_EQ(none.nStatus, ENGINE_FAILED);
    EXPECT_NE(none.err.find("no saved game"), std::string::npos) << none.err;
    EXPECT_EQ(host::RegGetStorageFolder(), dir_.string());

    const SAVEDGAME zeros{};
    ASSERT_TRUE(cetl::regvalue(cetl::regkey(kszGameKey), cetl::string("SavedGame"))
                    .WriteVersioned(SAVEDGAME_VERSION, &zeros, sizeof(zeros)));
    const RUN damaged = RunTool({"--registry", dir_.string(), "show"});
    EXPECT_EQ(damaged.nStatus, ENGINE_FAILED);
    EXPECT_NE(damaged.err.find("is damaged"), std::string::npos) << damaged.err;
}

} // namespace
