// The game board: cells in doubled hexagonal coordinates, the position record with its
// running counters, the six directions, and the seven board layouts.
//
// Row y (0 to 8) holds the cells whose column x satisfies |4 - y| <= x <= 16 - |4 - y| and
// has the parity of y; neighbours in a row are two columns apart. BOARD is stored byte for
// byte in the saved game, so its layout is a file format.
#pragma once

#include <cstddef>
#include <cstdint>

// Players, and the pieces that stand on cells.
constexpr int PLAYER_BLUE = 0;
constexpr int PLAYER_RED = 1;
constexpr int PIECE_BLUE = 0;
constexpr int PIECE_RED = 1;
constexpr int PIECE_GREEN = 2;
constexpr int PIECE_NONE = 3;

// Cell kinds.
constexpr int KIND_PLAIN = 0;
constexpr int KIND_GOAL = 1; // a goal of both sides
constexpr int KIND_BLUEGOAL = 2;
constexpr int KIND_REDGOAL = 3;
constexpr int KIND_HOLE = 4; // a broken cell: off the board for every rule

// The "no direction" value of the stylus code.
constexpr int DIR_NONE = 6;

constexpr int cBoardRows = 9;
constexpr int cBoardColumns = 17;
constexpr int cBoardCells = 61;
constexpr int cStartPieces = 14;
constexpr int cStripCells = 6;

struct CELL {
    std::int32_t nKind;
    std::int32_t nPiece;
};
static_assert(sizeof(CELL) == 8);

// Goal bookkeeping of one player.
struct GOALCOUNT {
    std::int32_t cGoal;     // goal cells of this player that are not holes
    std::int32_t cGoalHeld; // of those, the ones holding this player's piece
};

struct BOARD {
    CELL aCell[cBoardRows][cBoardColumns]; // [y][x]; grid positions that are not cells hold 0/3
    std::int32_t nReserved;
    GOALCOUNT aGoal[2];        // by player
    std::int32_t cLost[2];     // by player; only grows
    std::int32_t nGreenPusher; // player who pushed the green piece off, PIECE_NONE before
};
static_assert(sizeof(BOARD) == 1256);
static_assert(offsetof(BOARD, aCell) == 0);
static_assert(offsetof(BOARD, nReserved) == 1224);
static_assert(offsetof(BOARD, aGoal) == 1228);
static_assert(offsetof(BOARD, aGoal[0].cGoalHeld) == 1232);
static_assert(offsetof(BOARD, aGoal[1].cGoal) == 1236);
static_assert(offsetof(BOARD, aGoal[1].cGoalHeld) == 1240);
static_assert(offsetof(BOARD, cLost) == 1244);
static_assert(offsetof(BOARD, cLost[1]) == 1248);
static_assert(offsetof(BOARD, nGreenPusher) == 1252);

// The tutorial's one-row practice board: cells x = 0 to 5 of row 0, no counters.
struct STRIP {
    CELL aCell[cStripCells];
};
static_assert(sizeof(STRIP) == 48);

// A grid position; (0, 0) is never a board cell and names "no piece" in a move.
struct CELLPOS {
    int x;
    int y;
};

struct STEP {
    int dx;
    int dy;
};

// Steps of the six directions on the board, clockwise from up-right.
inline constexpr STEP kBoardSteps[6] = {{1, -1}, {2, 0}, {1, 1}, {-1, 1}, {-2, 0}, {-1, -1}};

// Layouts, by the index stored in the settings and listed in the new-game dialog.
constexpr int LAYOUT_CLASSIC = 0;
constexpr int LAYOUT_KINGOFTHEHILL = 1;
constexpr int LAYOUT_CAPTURETHEFLAG = 2;
constexpr int LAYOUT_BATTLEFIELD1 = 3;
constexpr int LAYOUT_BATTLEFIELD2 = 4;
constexpr int LAYOUT_BATTLEFIELD3 = 5;
constexpr int LAYOUT_TUGOFWAR = 6;
constexpr int cLayouts = 7;

// The English text ids of a layout's name and description (Esperanto at the next id).
struct LAYOUTTEXT {
    int idName;
    int idDescription;
};
// Index outside 0 to 6: both ids 0.
LAYOUTTEXT GetLayoutText(int iLayout);

// True when (x, y) is a cell of the 61 (parity tested); holes count as cells here.
bool IsCellPosition(int x, int y);

// On-board tests. Parity is not tested: callers only reach cell positions. Holes are off.
inline bool IsOnBoard(const BOARD& board, int x, int y) {
    if (y < 0 || y > 8) return false;
    int nIndent = y < 4 ? 4 - y : y - 4;
    return x >= nIndent && x < cBoardColumns - nIndent && board.aCell[y][x].nKind != KIND_HOLE;
}
inline bool IsOnBoard(const STRIP& strip, int x, int y) {
    return y == 0 && x >= 0 && x < cStripCells && strip.aCell[x].nKind != KIND_HOLE;
}

// True when the cell counts as a goal of player p; p = PIECE_GREEN matches common goals only.
inline bool IsGoalFor(const BOARD& board, int x, int y, int p) {
    int nKind = board.aCell[y][x].nKind;
    return nKind == KIND_GOAL || (nKind == KIND_BLUEGOAL && p == PLAYER_BLUE) ||
           (nKind == KIND_REDGOAL && p == PLAYER_RED);
}

// The step of a direction, 0 to 5 clockwise from up-right. On the strip, directions 1 and 4
// step by one column. Any other value gives (0, 0).
STEP StepOf(int nDir, const BOARD& board);
STEP StepOf(int nDir, const STRIP& strip);
inline int OppositeDir(int nDir) {
    return (nDir + 3) % 6;
}

// Builds the empty board of a layout (an unknown index gives the plain board) with its goal
// counts, then the starting pieces. PlacePieces leaves the counters alone: no layout puts a
// piece on a goal of its own colour.
void SetUpLayout(BOARD* pBoard, int iLayout);
void PlacePieces(BOARD* pBoard, int iLayout);

// Pieces of one colour standing on cells.
int CountPieces(const BOARD& board, int nPiece);
