// Boards for tests, drawn as pictures: nine rows of tokens separated by spaces, one token per
// cell from left to right. A token is a cell kind ('.' plain, 'g' common goal, 'b' Blue goal,
// 'r' Red goal, '#' hole) or a piece ('B', 'R', 'G' for green) on a plain cell, or a kind
// followed by a piece ("bB": a Blue piece on a Blue goal).
#pragma once

#include "game/board.h"
#include "game/rules.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>

namespace testboards {

inline int KindOf(char ch) {
    switch (ch) {
    case 'g':
        return KIND_GOAL;
    case 'b':
        return KIND_BLUEGOAL;
    case 'r':
        return KIND_REDGOAL;
    case '#':
        return KIND_HOLE;
    default:
        return KIND_PLAIN;
    }
}

inline int PieceOf(char ch) {
    switch (ch) {
    case 'B':
        return PIECE_BLUE;
    case 'R':
        return PIECE_RED;
    case 'G':
        return PIECE_GREEN;
    default:
        return PIECE_NONE;
    }
}

// Counters recomputed from the cells: goal counts and goals held; cLost = 14 - pieces.
inline void CountFromCells(const BOARD& board, GOALCOUNT aGoal[2], int acLost[2]) {
    for (int p = 0; p < 2; p++) {
        aGoal[p] = GOALCOUNT{0, 0};
        acLost[p] = cStartPieces - CountPieces(board, p);
    }
    for (int y = 0; y < cBoardRows; y++) {
        for (int x = 0; x < cBoardColumns; x++) {
            if (!IsCellPosition(x, y) || board.aCell[y][x].nKind == KIND_HOLE) continue;
            for (int p = 0; p < 2; p++) {
                if (IsGoalFor(board, x, y, p)) {
                    aGoal[p].cGoal++;
                    if (board.aCell[y][x].nPiece == p) aGoal[p].cGoalHeld++;
                }
            }
        }
    }
}

// Builds a board from a picture; goal counters follow the cells, cLost stays 0.
inline BOARD FromPicture(const char* const apszRows[9]) {
    BOARD board;
    SetUpLayout(&board, LAYOUT_CLASSIC);
    for (int y = 0; y < cBoardRows; y++) {
        std::istringstream row(apszRows[y]);
        int nIndent = y < 4 ? 4 - y : y - 4;
        int x = nIndent;
        std::string token;
        while (row >> token) {
            if (x >= cBoardColumns - nIndent) {
                ADD_FAILURE() << "row " << y << " has too many cells";
                break;
            }
            CELL& cell = board.aCell[y][x];
            if (token.size() == 2) {
                cell.nKind = KindOf(token[0]);
                cell.nPiece = PieceOf(token[1]);
            } else if (PieceOf(token[0]) != PIECE_NONE) {
                cell.nPiece = PieceOf(token[0]);
            } else {
                cell.nKind = KindOf(token[0]);
            }
            x += 2;
        }
        if (x != cBoardColumns - nIndent + 1)
            ADD_FAILURE() << "row " << y << " has the wrong number of cells";
    }
    int acLost[2];
    CountFromCells(board, board.aGoal, acLost);
    return board;
}

// The picture of a board in the same notation, for comparisons.
inline std::string ToPicture(const BOARD& board) {
    std::string text;
    for (int y = 0; y < cBoardRows; y++) {
        for (int x = 0; x < cBoardColumns; x++) {
            if (!IsCellPosition(x, y)) continue;
            const CELL& cell = board.aCell[y][x];
            const char* pszKinds = ".gbr#";
            const char* pszPieces = "BRG";
            std::string token;
            if (cell.nKind != KIND_PLAIN || cell.nPiece == PIECE_NONE)
                token += pszKinds[cell.nKind];
            if (cell.nPiece != PIECE_NONE) token += pszPieces[cell.nPiece];
            if (token.size() == 2 && token[0] == '.') token.erase(0, 1);
            if (!text.empty() && text.back() != '\n') text += ' ';
            text += token;
        }
        text += '\n';
    }
    return text;
}

// A small deterministic generator for random play.
struct RANDOM {
    unsigned nState;
    unsigned Next(unsigned nBound) {
        nState = nState * 1103515245u + 12345u;
        return (nState >> 8) % nBound;
    }
};

} // namespace testboards
