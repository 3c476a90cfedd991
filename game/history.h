// The game record and the saved game.
//
// The record keeps every move of the game from its start position, so that moves can be
// taken back (Undo) and played again (Redo), and the game is saved in the registry after
// every change, under kszGameKey: "SavedGame", a versioned block with the start board, the
// current board and the game's state, and "SavedHistory", the moves as text:
//
//     cMove,iMove,nDir,x,y,x2,y2,x3,y3,nDir,x,y,...
//
// unsigned decimal numbers, seven per recorded move (also those after iMove). The side to
// move is iMove mod 2: Blue moves first.
//
// The record is kept consistent: every recorded move is legal in turn from the start board,
// and the first iMove of them lead to the current board. A saved game is checked against
// that when it is read (see ReadSavedGame).
#pragma once

#include "foundation/tl_string.h"
#include "game/board.h"
#include "game/rules.h"

#include <cstddef>
#include <cstdint>

// Version word of "SavedGame": major 1, minor 0.
constexpr std::uint32_t SAVEDGAME_VERSION = 0x00010000;
// The move array grows by this many entries.
constexpr std::uint32_t HISTORY_STEP = 32;

// The block of "SavedGame" after its version word.
struct SAVEDGAME {
    BOARD boardStart;
    BOARD boardCurrent;
    std::int32_t nReserved; // 0
    std::int32_t fInProgress;
    std::int32_t iWinner;
    std::int32_t iReason;
};
static_assert(sizeof(SAVEDGAME) == 2528);
static_assert(offsetof(SAVEDGAME, boardCurrent) == 1256);
static_assert(offsetof(SAVEDGAME, nReserved) == 2512);
static_assert(offsetof(SAVEDGAME, fInProgress) == 2516);
static_assert(offsetof(SAVEDGAME, iWinner) == 2520);
static_assert(offsetof(SAVEDGAME, iReason) == 2524);

// ---- The record ----------------------------------------------------------------------------

// The board the game is played on, and the position the game started from.
BOARD& CurrentBoard();
const BOARD& StartBoard();
std::uint32_t RecordedMoveCount(); // cMove
std::uint32_t PlayedMoveCount();   // iMove
const MOVE& RecordedMove(std::uint32_t i);

// The current board becomes the start board and the moves are forgotten (a new game).
void ResetRecord();
// Frees the move array (program end). The record keeps no moves and the current position
// becomes its start, so that it stays consistent.
void FreeRecord();
// Makes room for one more move; false when the array cannot grow.
bool ReserveMove();
// Records a move just played on the current board; the moves that could have been redone
// are dropped. False, and nothing changed, when the array cannot grow.
bool AppendMove(const MOVE& move);

bool CanUndo();
bool CanRedo();
int SideToMove();

// Rebuilds the current board from the start board and the first iMove moves; cells whose
// kind differs (broken later in the game) are redrawn.
void Rebuild();
// The Undo and Redo buttons. Both leave the turn with the side to move; the computer does
// not start (see StartComputerTurn).
void Undo();
void Redo();

// ---- The saved game ------------------------------------------------------------------------

// Writes "SavedGame" and "SavedHistory" in one replacement of the registry's file, so that
// the two always agree; false when they could not be written.
bool SaveGame();

// Restores a saved game in progress: true when one was restored. A missing, refused or
// damaged saved game, or one that had ended, restores nothing (the caller starts a new game).
bool RestoreGame();

// The text of "SavedHistory" for the record as it is now.
cetl::string HistoryText();

// What ReadSavedGame found.
constexpr int SAVED_NONE = 0;       // "SavedGame" missing or refused
constexpr int SAVED_DAMAGED = 1;    // the current position breaks the rules of a position
constexpr int SAVED_ENDED = 2;      // a game that had ended
constexpr int SAVED_INPROGRESS = 3; // a game in progress

// A saved game as read and checked.
struct SAVEDRECORD {
    SAVEDGAME game; // the state normalised when in progress: fInProgress 1, no winner
    MOVE* pMove;    // the usable recorded moves (memory manager), or null
    std::uint32_t cMoveHeap;
    std::uint32_t cMove;
    std::uint32_t iMove;
    bool fHistoryDropped; // the history was unusable: the start board is the current board
};

// Reads "SavedGame" and "SavedHistory" and checks them with the rule set fModern; changes
// nothing. Free the result with FreeSavedRecord whatever the outcome.
//
// The rule for damaged values: the current position must be one that the rules can produce,
// as far as one board tells (see IsConsistentBoard), or the game is SAVED_DAMAGED. The
// history must replay: an iMove above cMove, a played move that is not legal in turn from
// the start board (moves outside the grid included), a start board that is not consistent,
// a replay that does not end on the current board, or a move array that cannot be allocated
// drops the whole history, and the current position is kept as the start of a game without
// moves (Blue to move). Moves after iMove are kept up to the first one that is not legal in
// turn. A missing "SavedHistory" reads as the empty text.
int ReadSavedGame(bool fModern, SAVEDRECORD* pSaved);
// The same check on values already read: the block (padded or cut to its size) and the
// history text.
int CheckSavedGame(const SAVEDGAME& block, const cetl::string& strHistory, bool fModern,
                   SAVEDRECORD* pSaved);
void FreeSavedRecord(SAVEDRECORD* pSaved);

// True when every grid position holds a known kind and piece (positions that are not cells:
// plain and empty; holes: empty), no side has more than 14 pieces, there is at most one
// green piece, nGreenPusher is 0, 1 or 3, and the goal and loss counters agree with the
// cells.
bool IsConsistentBoard(const BOARD& board);
