// The fixed set of positions that the engine tool's bench command and the benchmarks decide:
// every layout under both rule sets, at the start and in two midgames reached by a seeded
// random game, so that the set is the same on every machine and in every build.
#pragma once

#include "game/board.h"

struct BENCHPOSITION {
    BOARD board;
    int nSide; // the side to move
    bool fModern;
    int iLayout;
    int cPlies; // moves played from the start
};

constexpr int cBenchPositions = cLayouts * 2 * 3;

// Builds position i (0 to cBenchPositions - 1).
void GetBenchPosition(int i, BENCHPOSITION* pPosition);
