// What skinned controls and windows do with input, apart from drawing and messages: scroll
// positions, list selections, radio groups, control states, where a point hits a window,
// and how dragging moves or sizes it.
//
// Decisions this file fixes for the skinned window:
// - A window is resizable when its main template has WS_THICKFRAME.
// - It opens at the main inset's client size plus the frame borders; the controls sit in the
//   inner rectangle, offset by the left and top borders.
// - Dragging works in screen coordinates: the travel is the pointer's screen position now
//   less its screen position at the press, added to the window rectangle at the press, so the
//   window moving under the pointer does not feed back into the travel.
// - When sizing limits conflict (a minimum above the work area), the minimum wins.
#pragma once

#include "foundation/tl_string.h"
#include "host/types.h"
#include "host/window.h"

#include <cstddef>
#include <cstdint>
#include <span>

class SKIN;

// ---- Scroll bars

struct SKINSCROLL {
    int nPos = 0;
    int nMin = 0;
    int nMax = 100;
    int nPage = 1;

    // The highest position: maximum less page, never below the minimum.
    int Last() const;
    // Sets the position clamped to [nMin, Last()]; true when it changed.
    bool SetPos(int nNew);
    // SB_LINEUP / SB_LINEDOWN step by page / 4, SB_PAGEUP / SB_PAGEDOWN by 3 * page / 4, each
    // at least 1; other requests do nothing. True when the position changed.
    bool Step(host::WORD nRequest);
    // The position for a thumb dragged dPixels from where it was at nPosAtPress, when the
    // thumb can travel nTravel pixels over the whole range: the pointer's share of the travel
    // is the position's share of the range, clamped.
    int ThumbPos(int nPosAtPress, int dPixels, int nTravel) const;
};

// ---- List boxes

struct SKINLIST {
    int cItems = 0;
    int nSelected = 0; // 1 to cItems, 0 for none

    // Selects item n (1 <= n <= cItems); false, with nothing changed, out of range. A valid
    // selection notifies even when n is already selected.
    bool Select(int n);
};

// Notification code of a list box's selection, in the high word of WM_COMMAND's wParam.
constexpr host::WORD SKIN_LBN_SELCHANGE = 1;
constexpr host::WPARAM SkinCommandParam(int nId, host::WORD nCode) {
    return host::MAKEWPARAM(static_cast<host::WORD>(nId), nCode);
}

// ---- Radio groups

struct SKINRADIO {
    bool fRadio;      // a radio button; other controls separate groups
    bool fGroupStart; // starts a group
    bool fChecked;
};

// Checks controls[i] and unchecks the other radio buttons of its group: the radio buttons
// from the group's start up to the next start or the next control that is not one. Nothing
// happens when i is out of range or not a radio button.
void SkinCheckRadio(std::span<SKINRADIO> controls, std::size_t i);

// ---- Control states, in the order of the rows of a push button's picture

enum SkinControlState : int {
    SKINSTATE_DISABLED = 0,
    SKINSTATE_NORMAL = 1,
    SKINSTATE_HOT = 2,     // enabled, under the pointer, and no other control is pressed
    SKINSTATE_PRESSED = 3, // hot, and the press went down on it
};

SkinControlState SkinStateOf(bool fEnabled, bool fPointerOver, bool fHoldsPress,
                             bool fOtherHoldsPress);

// ---- Hit parts

enum SkinHit : int {
    SKINHIT_NOWHERE = 0, // outside the client area
    SKINHIT_CLIENT = 1,
    SKINHIT_MOVE = 2,    // a press drags the window
    SKINHIT_CONTROL = 3, // a control's own hit test succeeded
    // Sizing parts, clockwise from the top-left corner.
    SKINHIT_TOPLEFT = 4,
    SKINHIT_TOP = 5,
    SKINHIT_TOPRIGHT = 6,
    SKINHIT_RIGHT = 7,
    SKINHIT_BOTTOMRIGHT = 8,
    SKINHIT_BOTTOM = 9,
    SKINHIT_BOTTOMLEFT = 10,
    SKINHIT_LEFT = 11,
};

inline bool SkinIsSizingHit(int nHit) {
    return nHit >= SKINHIT_TOPLEFT && nHit <= SKINHIT_LEFT;
}

struct SKINHITFRAME {
    host::SIZE sizeClient;
    bool fResizable;
    int nTitlebarHeight; // -1: the whole background drags the window
};

// True when the point (client coordinates) is on a control; pvContext is the caller's.
using SKINCONTROLHITPROC = bool (*)(const void* pvContext, host::POINT pt);

// Classifies a point in client coordinates: outside the client area nothing; on a resizable
// window, within SM_CXBORDER + 4 of the left or right edge or SM_CYBORDER + 4 of the top or
// bottom a sizing part; a control that pfnHit accepts; else move when the background drags
// or the point lies above the title bar height, else client.
int SkinHitTest(const SKINHITFRAME& frame, host::POINT pt, SKINCONTROLHITPROC pfnHit,
                const void* pvContext);
// The same with the controls' rectangles; *piControl gets the first one hit, -1 for none.
int SkinHitTest(const SKINHITFRAME& frame, host::POINT pt, std::span<const host::RECT> rcControls,
                int* piControl = nullptr);

// The sizing arrow for a sizing part (an IDC_SIZE* id for LoadCursor), null for other parts.
const char* SkinSizingCursor(int nHit);

// ---- Sizing

struct SKINSIZELIMITS {
    int cxMin, cyMin, cxMax, cyMax;
};

// Minimum: the larger of the property minimum and twice the larger corner or close box cell.
// Maximum: the property maximum (0 or less: the work area's), at most the work area less 1.
SKINSIZELIMITS SkinSizeLimits(host::SIZE sizeMinimum, host::SIZE sizeMaximum,
                              host::SIZE sizeCornerCell, host::SIZE sizeCloseCell,
                              const host::RECT& rcWork);
// The same from the skin's "window size ..." properties, its "frame-c" and "frame-x" cells
// (a missing picture counts as 0) and the desktop work area.
SKINSIZELIMITS SkinSizeLimits(SKIN& skin, const cetl::string& strWindow);
// Track sizes from the limits; maximised size and position from the work area.
host::MINMAXINFO SkinMinMaxInfo(const SKINSIZELIMITS& limits, const host::RECT& rcWork);

// The window rectangle after dragging part nHit from ptPress to ptNow (screen coordinates),
// starting from rcAtPress. Move shifts it by the travel; a sizing part moves its edges (left
// for 4, 10, 11; right for 6, 7, 8; top for 4, 5, 6; bottom for 8, 9, 10) and keeps the size
// within the limits, the moving edge stopping at a limit while the opposite one stays. Other
// parts leave the rectangle as it was.
host::RECT SkinDragRect(const host::RECT& rcAtPress, host::POINT ptPress, host::POINT ptNow,
                        int nHit, const SKINSIZELIMITS& limits);

// The opening size of a window: the main inset's client size plus the frame borders.
host::SIZE SkinOpeningSize(host::SIZE sizeClient, int nLeftBorder, int nTopBorder, int nRightBorder,
                           int nBottomBorder);

// Whether a window whose main template has this style can be resized by its edges.
constexpr bool SkinIsResizable(host::DWORD dwMainStyle) {
    return (dwMainStyle & host::WS_THICKFRAME) != 0;
}
