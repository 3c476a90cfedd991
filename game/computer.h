// The computer opponent's worker thread and the hand-over of its move.
//
// StartSearch copies the position and searches on a worker thread so that the animation
// keeps running. The chosen move is copied into a hand-over buffer of its own and given to
// the callback of InitSearch (the program posts message 1124 with it); the callback runs on
// the worker thread. A cancelled search hands over nothing.
//
// New game, Undo and Redo call AbandonSearch, which only raises the cancel flag and moves
// on to a new generation. A move handed over an instant before that can still arrive
// afterwards, so the receiver passes the posted address through TakeHandOver, which refuses
// anything but the latest hand-over of the current generation.
#pragma once

#include "game/rules.h"

#include <cstdint>

// The message the program posts with the hand-over: WM_USER + 100, word parameter 0, long
// parameter the hand-over's address or null.
constexpr unsigned WM_COMPUTERMOVE = 0x0400 + 100;

// Called with the hand-over buffer's address, or null when the computer has no legal move.
using HANDOVERPROC = void (*)(void* pContext, const MOVE* pMove);

// Sets up the search state; once, while the program loads. False when already set up.
bool InitSearch(HANDOVERPROC pfnHandOver, void* pContext);

// Starts a search for nSide on a copy of board, at the strength and rule set of g_settings.
// A search still running is cancelled first.
void StartSearch(const BOARD& board, int nSide);

// If a search is running, stops it and waits for its end.
void CancelSearch();

// Stops the running search at its next node without waiting, and makes every earlier
// hand-over stale.
void AbandonSearch();

// Called on receipt of the posted address: copies the move and returns true when it is the
// pending hand-over of the current generation; each hand-over is taken at most once.
bool TakeHandOver(const MOVE* pPosted, MOVE* pMove);

// Cancels any search, frees the lists and releases the state.
void ShutdownSearch();

bool IsSearchRunning();

// For tests: candidates examined by the last search that ended (0 when the only move was
// taken at once), and a function the worker calls before it searches.
std::uint64_t GetLastSearchNodes();
bool IsSearchCancelRequested();
void SetSearchStartHook(void (*pfnHook)());
