#include "game/board.h"

#include <cstring>

namespace {

constexpr LAYOUTTEXT kLayoutText[cLayouts] = {
    {18, 34}, {24, 40}, {22, 38}, {26, 42}, {28, 44}, {30, 46}, {32, 48},
};

struct SPECIALCELL {
    int x;
    int y;
    int nKind;
};

constexpr SPECIALCELL kKingOfTheHill[] = {
    {7, 3, KIND_GOAL},  {9, 3, KIND_GOAL}, {6, 4, KIND_GOAL}, {8, 4, KIND_GOAL},
    {10, 4, KIND_GOAL}, {7, 5, KIND_GOAL}, {9, 5, KIND_GOAL},
};
constexpr SPECIALCELL kCaptureTheFlag[] = {
    {7, 1, KIND_BLUEGOAL}, {9, 1, KIND_BLUEGOAL}, {8, 2, KIND_BLUEGOAL},
    {8, 6, KIND_REDGOAL},  {7, 7, KIND_REDGOAL},  {9, 7, KIND_REDGOAL},
};
constexpr SPECIALCELL kBattlefield1[] = {
    {3, 3, KIND_BLUEGOAL}, {13, 3, KIND_BLUEGOAL}, {3, 5, KIND_REDGOAL}, {13, 5, KIND_REDGOAL},
    {15, 3, KIND_GOAL},    {1, 5, KIND_GOAL},      {2, 4, KIND_HOLE},    {6, 4, KIND_HOLE},
    {10, 4, KIND_HOLE},    {14, 4, KIND_HOLE},
};
constexpr SPECIALCELL kBattlefield2[] = {
    {2, 2, KIND_BLUEGOAL}, {12, 4, KIND_BLUEGOAL}, {4, 4, KIND_REDGOAL},
    {14, 6, KIND_REDGOAL}, {8, 4, KIND_GOAL},      {3, 3, KIND_HOLE},
    {11, 3, KIND_HOLE},    {5, 5, KIND_HOLE},      {13, 5, KIND_HOLE},
};
constexpr SPECIALCELL kBattlefield3[] = {
    {4, 0, KIND_BLUEGOAL}, {12, 0, KIND_BLUEGOAL}, {4, 8, KIND_REDGOAL},
    {12, 8, KIND_REDGOAL}, {0, 4, KIND_GOAL},      {16, 4, KIND_GOAL},
};

template <std::size_t N> void WriteCells(BOARD* pBoard, const SPECIALCELL (&aCells)[N]) {
    for (const SPECIALCELL& cell : aCells)
        pBoard->aCell[cell.y][cell.x].nKind = cell.nKind;
}

struct STARTROW {
    int y;
    int nPiece;
    int xFirst;
    int xLast;
};
constexpr STARTROW kStartRows[] = {
    {0, PIECE_RED, 4, 12},  {1, PIECE_RED, 3, 13},  {2, PIECE_RED, 6, 10},
    {6, PIECE_BLUE, 6, 10}, {7, PIECE_BLUE, 3, 13}, {8, PIECE_BLUE, 4, 12},
};

} // namespace

LAYOUTTEXT GetLayoutText(int iLayout) {
    if (iLayout < 0 || iLayout >= cLayouts) return {0, 0};
    return kLayoutText[iLayout];
}

bool IsCellPosition(int x, int y) {
    if (y < 0 || y > 8 || x < 0 || x >= cBoardColumns || (x + y) % 2 != 0) return false;
    int nIndent = y < 4 ? 4 - y : y - 4;
    return x >= nIndent && x < cBoardColumns - nIndent;
}

STEP StepOf(int nDir, const BOARD&) {
    if (nDir < 0 || nDir > 5) return {0, 0};
    return kBoardSteps[nDir];
}

STEP StepOf(int nDir, const STRIP&) {
    if (nDir < 0 || nDir > 5) return {0, 0};
    STEP step = kBoardSteps[nDir];
    if (step.dy == 0) step.dx /= 2;
    return step;
}

void SetUpLayout(BOARD* pBoard, int iLayout) {
    std::memset(pBoard, 0, sizeof(BOARD));
    pBoard->nGreenPusher = PIECE_NONE;
    for (auto& row : pBoard->aCell)
        for (CELL& cell : row)
            cell.nPiece = PIECE_NONE;

    switch (iLayout) {
    case LAYOUT_KINGOFTHEHILL:
        WriteCells(pBoard, kKingOfTheHill);
        break;
    case LAYOUT_CAPTURETHEFLAG:
        WriteCells(pBoard, kCaptureTheFlag);
        break;
    case LAYOUT_BATTLEFIELD1:
        WriteCells(pBoard, kBattlefield1);
        break;
    case LAYOUT_BATTLEFIELD2:
        WriteCells(pBoard, kBattlefield2);
        break;
    case LAYOUT_BATTLEFIELD3:
        WriteCells(pBoard, kBattlefield3);
        break;
    default:
        break;
    }

    for (const auto& row : pBoard->aCell) {
        for (const CELL& cell : row) {
            if (cell.nKind == KIND_GOAL || cell.nKind == KIND_BLUEGOAL)
                pBoard->aGoal[PLAYER_BLUE].cGoal++;
            if (cell.nKind == KIND_GOAL || cell.nKind == KIND_REDGOAL)
                pBoard->aGoal[PLAYER_RED].cGoal++;
        }
    }
}

void PlacePieces(BOARD* pBoard, int iLayout) {
    for (const STARTROW& row : kStartRows)
        for (int x = row.xFirst; x <= row.xLast; x += 2)
            pBoard->aCell[row.y][x].nPiece = row.nPiece;
    if (iLayout == LAYOUT_TUGOFWAR) pBoard->aCell[4][8].nPiece = PIECE_GREEN;
}

int CountPieces(const BOARD& board, int nPiece) {
    int c = 0;
    for (int y = 0; y < cBoardRows; y++)
        for (int x = 0; x < cBoardColumns; x++)
            if (board.aCell[y][x].nPiece == nPiece && IsCellPosition(x, y) &&
                board.aCell[y][x].nKind != KIND_HOLE)
                c++;
    return c;
}
