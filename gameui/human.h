// Moves by stylus: touch one of the side's pieces, gather up to two more into a line by
// resting on them (or with the right button), drag towards one of the six directions, lift.
//
// While the stylus is down the gathered pieces show their lifted picture and depth-95
// arrows show what the move would do; an arrow is shown only for a legal move. Lifting plays
// the move: on the main board through PlayMove, on a practice strip (a window whose data slot
// 0 holds the STRIP) on the strip itself, played to the end before the handler returns.
// Every refusal is silent. Whatever changed under a drag, the whole move is checked again at
// release, so an added piece never turns a shown direction into a move that is not legal.
//
// One drag at a time per program. The selection is kept by the pieces' serial numbers, so a
// rebuilt board or a destroyed window leaves nothing dangling. User-interface thread only.
#pragma once

#include "host/types.h"

class AnimWindow;
class BoardDisplay;

// The rest timer on the drag window, and how long the stylus rests to add a piece.
constexpr host::UINT STYLUS_TIMER_ID = 850;
constexpr host::UINT STYLUS_REST_MS = 1000;
// How far the stylus may wander (each axis, pixels) and still count as resting.
constexpr int STYLUS_REST_SLACK = 3;

// The direction of an angle in degrees, counter-clockwise from the right with y up, taken
// modulo 360: 0 up-right from 30 up to 90, 5 up-left to 150, 4 left to 210, 3 down-left to
// 270, 2 down-right to 330, 1 right otherwise. Each range includes its lower bound.
int DirectionOfAngle(double dDegrees);
// The direction of a stylus point (dx, dy) client pixels from a piece's centre (y down), or
// DIR_NONE while the distance is not more than nHalfWidth.
int DirectionOfDrag(int dx, int dy, int nHalfWidth);

// The handler for one message of pWindow, whose pieces pDisplay shows. Always 0, so the
// window's other hooks see the message too. Nothing when pDisplay is null or another
// window's.
int HandleStylus(BoardDisplay* pDisplay, AnimWindow* pWindow, host::HWND hwnd, host::UINT uMsg,
                 host::WPARAM wParam, host::LPARAM lParam);

// For windows other than the main one (the tutorial's strip): adds a hook with dwFilter
// (HOOK_MOUSE there) that hands pWindow's messages to HandleStylus with pDisplay. A second
// call for the window replaces its display. False when no room is left (a few windows).
bool AttachStylus(AnimWindow* pWindow, BoardDisplay* pDisplay, host::DWORD dwFilter);
// Removes the hook and the binding, cancelling a drag on the window.
void DetachStylus(AnimWindow* pWindow);

bool IsStylusDragging();
// Ends a drag without a move: the arrows go, the pieces drop back, the stylus is released.
// True when a drag was under way.
bool CancelStylusDrag();
