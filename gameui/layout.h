// The screen layout, read from marker pixels of the board image.
//
// The board image (GRAPHIC 141) carries single pixels of pure blue RGB(0, 0, 255) that mark
// where everything else goes. Pixel rows holding markers are numbered top to bottom as
// lines; a marker's line and its place within the line say what it marks:
//
//     line 0       button origins 0 to 5
//     line 1       the status line's origin (the rightmost marker of the row)
//     lines 2..10  cell origins of board rows 0 to 8, from the row's first column on
//     line 11      lost-piece positions 0 to 11 (0..5 Red, 6..11 Blue)
//     line 12      tray origins 0 and 1
//
// Extra markers on a line are ignored; an image with other than 13 lines is refused. The
// scan paints every marker over with the pixel below it, so the image can be shown as it is.
#pragma once

#include "anim/cea_graphic.h"
#include "host/types.h"

constexpr int cLayoutButtons = 6;
constexpr int cLayoutLost = 12;
constexpr int cLayoutTrays = 2;
constexpr int cLayoutRows = 9;
constexpr int cLayoutColumns = 17;
constexpr int cLayoutLines = 13;

// The marker colour.
constexpr Color clrLayoutMarker = host::RGB(0, 0, 255);

// All pairs of 32-bit integers (x, y) in window pixels; cells hold the top-left corner of
// a piece's picture and are (0, 0) where the grid has no cell.
struct LAYOUT {
    host::POINT rgptButton[cLayoutButtons];
    host::POINT ptStatus;
    host::POINT rgptCell[cLayoutRows][cLayoutColumns];
    host::POINT rgptLost[cLayoutLost];
    host::POINT rgptTray[cLayoutTrays];
};
static_assert(sizeof(LAYOUT) ==
              (cLayoutButtons + 1 + cLayoutRows * cLayoutColumns + cLayoutLost + cLayoutTrays) * 8);

// Scans the board image into *pLayout (cleared first) and removes the markers from it.
// True only when the markers form exactly 13 lines.
bool ScanLayout(Graphic* pBoard, LAYOUT* pLayout);
