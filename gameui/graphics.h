// The game's pictures: loaded once at start, cut into frames, drawn from one shared palette.
//
// LoadGraphics reads the board image first and takes the screen layout from its marker
// pixels (layout.h), then loads the other sheets and cuts each into equal frames, numbered
// left to right and then top to bottom. Every picture goes into the game's PaletteGroup
// before it is cut; closing the group gives them all one colour table. Every sheet but the
// board is transparent where it is pure blue RGB(0, 0, 255).
//
// Each picture is looked up as "COMPRESSED" first, then as "GRAPHIC" (resdata.h).
//
// The tables live from a successful LoadGraphics to FreeGraphics; nothing may read them
// before loading has finished (the loader may run on a worker thread). Any failure fails
// the whole load and leaves nothing allocated.
#pragma once

#include "anim/cea_graphic.h"
#include "anim/cea_palette.h"
#include "gameui/layout.h"
#include "host/types.h"

constexpr int cArrowFrames = 7;   // directions 0 to 5, then the break marker
constexpr int iArrowBreak = 6;    // the red cross over a piece that would break through
constexpr int cCellFrames = 5;    // by a cell's nKind: hollow, green, blue, red ring, hole
constexpr int cPieceColors = 3;   // 0 Blue, 1 Red, 2 green
constexpr int cPieceFrames = 5;   // PIECE_*
constexpr int cStatusImages = 12; // STATUS_* of game/game.h
constexpr int cGameLanguages = 2; // 0 English, 1 Esperanto
constexpr int cGameButtons = 6;   // the button row, left to right
constexpr int cButtonStates = 2;  // 0 idle, 1 lit (held)
constexpr int cRippleFrames = 8;  // a ring growing from a dot

// The five pictures of a piece colour.
constexpr int PIECE_LIFTED = 0;  // the larger ball under the stylus
constexpr int PIECE_RESTING = 1; // on its cell
constexpr int PIECE_FALL1 = 2;   // three ever smaller balls while falling
constexpr int PIECE_FALL2 = 3;
constexpr int PIECE_FALL3 = 4;

// Frame sizes of the sheets.
constexpr int cxArrow = 42, cyArrow = 35;
constexpr int cxCell = 23, cyCell = 23; // cells and pieces share a sheet and a size
constexpr int cxStatus = 240, cyStatus = 18;
constexpr int cxTray = 111, cyTray = 12;
constexpr int cxButton = 32, cyButton = 21;
constexpr int cxRippleLarge = 64, cyRippleLarge = 64;
constexpr int cxRippleSmall = 32, cyRippleSmall = 32;

// Every pointer is a child graphic of its sheet (the board is the whole sheet); all are
// null while nothing is loaded.
struct GAMEGRAPHICS {
    PaletteGroup* pPalette; // the game's group: every picture below is a member
    Graphic* pBoard;        // GRAPHIC 141, markers painted over, opaque
    Graphic* rgpArrow[cArrowFrames];
    Graphic* rgpCell[cCellFrames];
    Graphic* rgpPiece[cPieceColors][cPieceFrames];
    Graphic* rgpStatus[cStatusImages][cGameLanguages];
    Graphic* pTray; // one picture, shown at both tray origins
    Graphic* rgpButton[cGameButtons][cGameLanguages][cButtonStates];
    Graphic* rgpRippleLarge[cRippleFrames];
    Graphic* rgpRippleSmall[cRippleFrames];
    LAYOUT layout; // positions read from the board's markers
};

// Loads, scans and cuts every picture of the game from hInstance's resources. False when a
// picture is missing or unreadable, a sheet is smaller than its frames, or the board's
// markers do not form 13 lines; then nothing stays allocated. A second call while loaded
// fails and keeps what is loaded.
bool LoadGraphics(host::HINSTANCE hInstance);
// Releases the frames, the sheets and then the palette group. Safe when nothing is loaded.
void FreeGraphics();
bool AreGraphicsLoaded();

// The tables (all null and zero when nothing is loaded).
const GAMEGRAPHICS& GameGraphics();
const LAYOUT& GameLayout();
