// The move rules: the move record, the legality check of one line, the execution of a move
// with its counters, building a sideways selection, and the end-of-game test.
//
// An inline move names the rear piece of a line; the line is that piece and the unbroken run
// of same-coloured pieces in front of it in nDir. Up to three pieces move one cell and push a
// strictly shorter group of enemy pieces (the green piece counts as an enemy of both sides);
// a pushed piece that crosses the edge or enters a hole is lost. Under the Modern rules a
// line that pushes a single enemy piece backed by an own piece breaks the cell under it
// instead. A sideways move shifts two or three own pieces in a row into empty cells.
#pragma once

#include "game/board.h"

class Presenter;

// The stored move record, also posted by the computer's thread and written to the history.
struct MOVE {
    std::int32_t x, y; // first piece; the rear piece of an inline move
    std::int32_t nDir;
    std::int32_t x2, y2; // second piece of a sideways move; (0, 0) for an inline move
    std::int32_t x3, y3; // third piece of a sideways move, or (0, 0)
};
static_assert(sizeof(MOVE) == 28);
static_assert(offsetof(MOVE, nDir) == 8);
static_assert(offsetof(MOVE, x2) == 12);
static_assert(offsetof(MOVE, x3) == 20);

inline bool IsInlineMove(const MOVE& move) {
    return move.x2 == 0 && move.y2 == 0;
}

// What a line does, as found by CheckMove on the board.
struct CHECKRESULT {
    std::int32_t cOwn;      // own pieces in the line, 1 to 3
    std::int32_t cPushed;   // enemy and green pieces pushed
    std::int32_t fCapture;  // a piece is removed: push-off (edge or hole) or break
    std::int32_t fGreenOff; // the piece pushed off is the green piece
    // Goal cells gained minus lost, counting each own and each pushed piece as if it
    // advanced one cell, pushed pieces against the opponent's goals.
    std::int32_t nGoalDelta;
};
static_assert(sizeof(CHECKRESULT) == 20);

// Checks the inline move whose rear piece is (x, y), or with fStep that this one piece can
// step into an empty cell (each piece of a sideways move must). The cell must hold a Blue
// or Red piece; anything else, or a direction outside 0 to 5, is illegal. pResult, when
// given, is filled for moves that get past the strength test. The first form reads the
// rule set from g_settings.
bool CheckMove(const BOARD& board, int x, int y, int nDir, bool fStep, CHECKRESULT* pResult);
bool CheckMove(const BOARD& board, int x, int y, int nDir, bool fStep, CHECKRESULT* pResult,
               bool fModern);
// On the practice strip every move is an inline move and a break is always allowed.
bool CheckMove(const STRIP& strip, int x, int y, int nDir);

// Executes a move that passed CheckMove (for every piece, in the sideways case) and keeps
// the counters. With fShow the presenter (the default one when none is given) is asked to
// animate the move before the board changes.
void ApplyMove(BOARD* pBoard, const MOVE& move, bool fShow, Presenter* pPresenter = nullptr);
void ApplyMove(STRIP* pStrip, const MOVE& move, bool fShow, Presenter* pPresenter = nullptr);

// Whether a touched piece may join a sideways selection: with one piece picked, any
// neighbour; with two, the cell continuing their line at either end.
bool CanJoinSelection(const CELLPOS& first, const CELLPOS* pSecond, const CELLPOS& newPiece);

// How a game ended.
constexpr int REASON_LOST = 0;  // the loser has lost six pieces
constexpr int REASON_GOALS = 1; // the winner holds every one of its goals
constexpr int REASON_GREEN = 2; // the winner pushed the green piece off
constexpr int cLostToLose = 6;

// The end-of-game test on the cells; the first rule that applies decides: Blue holds its
// goals, Red holds its goals, a side has lost six pieces, the green piece was pushed off.
// False while the game goes on.
bool FindGameEnd(const BOARD& board, int* piWinner, int* piReason);
