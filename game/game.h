// The flow of a game: starting one, passing the turn, the moves of a person and of the
// computer, and the end of the game with its result.
//
// Everything here runs on the user-interface thread and reaches the screen and the sounds
// through the default presenter (game/presenter.h). The game record and the saved game are
// in game/history.h.
#pragma once

#include "game/rules.h"
#include "host/types.h"

#include <cstdint>

class Presenter;

constexpr int WINNER_NONE = 3;

// The game's state, saved with the record.
struct GAMESTATE {
    std::int32_t fInProgress; // 1 while the game goes on, 0 after it has ended
    std::int32_t iWinner;     // PLAYER_BLUE, PLAYER_RED or WINNER_NONE
    std::int32_t iReason;     // REASON_*: how the game ended
};

extern GAMESTATE g_game;

// The status line's images.
constexpr int STATUS_COMPUTER = 0; // the computer is to move
constexpr int STATUS_BLUE = 1;     // a person is to move as Blue
constexpr int STATUS_RED = 2;      // a person is to move as Red
constexpr int STATUS_BLUEWON = 3;
constexpr int STATUS_REDWON = 4;
constexpr int STATUS_ENDED = 5; // ended without a winner
int GameStatus();

// The default presenter, or one that shows nothing when the program has set none.
Presenter& GamePresenter();

// Whether nSide is played by the computer (fComputer of its settings entry).
bool IsComputerSide(int nSide);

// Whether the move may be played by nSide on the board under the given rules: an inline
// move (x2, y2, x3, y3 all 0) that CheckMove allows from a piece of nSide, or a sideways move
// of two or three distinct pieces of nSide standing in a row, each of which can step into
// an empty cell.
bool IsLegalMove(const BOARD& board, const MOVE& move, int nSide, bool fModern);

// Starts a game on layout iLayout (an index outside 0 to 6 plays Classic) with the rule set
// fModern, and stores both in g_settings. Any search of the old game is abandoned.
void NewGame(int iLayout, int fModern);

// Passes the turn: asks for the computer's turn when it is to move, refreshes the status
// line, saves the game.
void EndTurn();

// The end-of-game test on the current board; nothing while the game has ended.
void CheckGameOver();

// Ends the game with its result, plays the win sound when a person won and the lose sound
// otherwise, and saves the game.
void EndGame(int iWinner, int iReason);

// Plays a move for the side to move: animated, recorded, the end-of-game test scheduled, the
// turn passed. Refused (false, nothing changes) while the game has ended, for a move that is
// not legal for the side to move, or when the record has no room for it.
bool PlayMove(const MOVE& move);

// Message 1124 (WM_COMPUTERMOVE): lParam is the hand-over address posted by the search, or
// null when the computer had no move. The move is played only while the game is in progress
// and when it is the current hand-over (a search abandoned by a new game, Undo or Redo hands
// over nothing that is still taken). True when a move was played.
bool OnComputerMove(host::LPARAM lParam);

// Called after the frame that follows event 9: starts the search when the turn asked for by
// EndTurn is still due, the game is in progress and the computer is to move. Undo, Redo and
// a new game withdraw a pending turn, so an event 9 that fires during them starts nothing.
bool StartComputerTurn();

// Withdraws a pending computer turn and abandons the running search (new game, Undo, Redo).
void StopComputer();
