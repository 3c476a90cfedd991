#include "game/positions.h"

#include "game/rules.h"

#include <cstdint>

namespace {

constexpr int kPlies[3] = {0, 12, 30};

// Plays cPlies random legal inline moves; false when the game ended on the way.
bool PlayRandomGame(BOARD* pBoard, int iLayout, bool fModern, int cPlies, std::uint32_t nSeed) {
    SetUpLayout(pBoard, iLayout);
    PlacePieces(pBoard, iLayout);
    std::uint32_t nState = nSeed;
    for (int iPly = 0; iPly < cPlies; iPly++) {
        const int nSide = iPly % 2;
        MOVE aMoves[cStartPieces * 6];
        int cMoves = 0;
        for (int y = 0; y < cBoardRows; y++)
            for (int x = 0; x < cBoardColumns; x++)
                if (pBoard->aCell[y][x].nPiece == nSide)
                    for (int nDir = 0; nDir < 6; nDir++)
                        if (cMoves < cStartPieces * 6 &&
                            CheckMove(*pBoard, x, y, nDir, false, nullptr, fModern))
                            aMoves[cMoves++] = MOVE{x, y, nDir, 0, 0, 0, 0};
        if (cMoves == 0) return false;
        nState = nState * 1664525u + 1013904223u;
        ApplyMove(pBoard, aMoves[(nState >> 8) % static_cast<std::uint32_t>(cMoves)], false);
        if (FindGameEnd(*pBoard, nullptr, nullptr)) return false;
    }
    return true;
}

} // namespace

void GetBenchPosition(int i, BENCHPOSITION* pPosition) {
    if (i < 0 || i >= cBenchPositions) i = 0;
    pPosition->iLayout = i / 6;
    pPosition->fModern = (i / 3) % 2 != 0;
    pPosition->cPlies = kPlies[i % 3];
    pPosition->nSide = pPosition->cPlies % 2;
    // A seed whose game ends early is replaced by the next one.
    for (std::uint32_t nSeed = 1 + static_cast<std::uint32_t>(i) * 7919u;; nSeed++)
        if (PlayRandomGame(&pPosition->board, pPosition->iLayout, pPosition->fModern,
                           pPosition->cPlies, nSeed))
            break;
}
