#include "game/rules.h"

#include "game/presenter.h"
#include "game/settings.h"

#include <algorithm>
#include <type_traits>

namespace {

Presenter* s_pDefaultPresenter = nullptr;

CELL& CellAt(BOARD& board, int x, int y) {
    return board.aCell[y][x];
}
const CELL& CellAt(const BOARD& board, int x, int y) {
    return board.aCell[y][x];
}
CELL& CellAt(STRIP& strip, int x, int) {
    return strip.aCell[x];
}
const CELL& CellAt(const STRIP& strip, int x, int) {
    return strip.aCell[x];
}

// Goal bookkeeping exists on the board only.
bool GoalFor(const BOARD& board, int x, int y, int p) {
    return IsGoalFor(board, x, y, p);
}
bool GoalFor(const STRIP&, int, int, int) {
    return false;
}

template <class G> constexpr bool kIsBoard = std::is_same_v<G, BOARD>;

template <class G>
bool CheckLine(const G& grid, int x, int y, int nDir, bool fStep, CHECKRESULT* pResult,
               bool fModern) {
    if (nDir < 0 || nDir > 5 || !IsOnBoard(grid, x, y)) return false;
    const int c = CellAt(grid, x, y).nPiece;
    if (c != PIECE_BLUE && c != PIECE_RED) return false;
    const int o = 1 - c;
    const STEP step = StepOf(nDir, grid);

    int cOwn = 0;
    int cPushed = 0;
    int nGoalDelta = 0;
    bool fGreen = false;
    int cx = x;
    int cy = y;
    while (IsOnBoard(grid, cx, cy) && CellAt(grid, cx, cy).nPiece == c) {
        cOwn++;
        if (GoalFor(grid, cx, cy, c)) nGoalDelta--;
        cx += step.dx;
        cy += step.dy;
        if (IsOnBoard(grid, cx, cy) && GoalFor(grid, cx, cy, c)) nGoalDelta++;
    }
    if (cOwn == 0 || cOwn > 3) return false;
    // Own pieces never leave the board.
    if (!IsOnBoard(grid, cx, cy)) return false;

    while (IsOnBoard(grid, cx, cy) &&
           (CellAt(grid, cx, cy).nPiece == o || CellAt(grid, cx, cy).nPiece == PIECE_GREEN)) {
        if (GoalFor(grid, cx, cy, o)) nGoalDelta--;
        fGreen = CellAt(grid, cx, cy).nPiece == PIECE_GREEN;
        cx += step.dx;
        cy += step.dy;
        if (IsOnBoard(grid, cx, cy) && GoalFor(grid, cx, cy, o)) nGoalDelta++;
        cPushed++;
    }
    const bool fLandOn = IsOnBoard(grid, cx, cy);
    const int nLand = fLandOn ? CellAt(grid, cx, cy).nPiece : PIECE_NONE;

    if (cPushed >= cOwn) return false;
    if (cPushed == 0 && !fLandOn) return false;
    // The green piece cannot be broken.
    if (kIsBoard<G> && cPushed == 1 && fGreen && fLandOn && nLand == c) return false;

    if (kIsBoard<G> && pResult != nullptr) {
        const bool fBreak = cPushed == 1 && fLandOn && nLand == c;
        const bool fOff = cPushed >= 1 && !fLandOn;
        pResult->cOwn = cOwn;
        pResult->cPushed = cPushed;
        pResult->nGoalDelta = nGoalDelta;
        pResult->fCapture = (fBreak || fOff) ? 1 : 0;
        pResult->fGreenOff = (fOff && fGreen) ? 1 : 0;
    }

    if (fStep && kIsBoard<G>) return cOwn == 1 && cPushed == 0 && fLandOn;

    if (fLandOn && cPushed == 1 && nLand == c) return !kIsBoard<G> || fModern;
    if (!fLandOn || nLand == PIECE_NONE) return true;
    // The pushed group is backed by an own piece.
    return false;
}

template <class G> void ApplySideways(G* pGrid, const MOVE& move, bool fShow, Presenter* pShow) {
    const int c = CellAt(*pGrid, move.x, move.y).nPiece;
    const STEP step = StepOf(move.nDir, *pGrid);
    CELLPOS aPieces[3] = {{move.x, move.y}, {move.x2, move.y2}, {move.x3, move.y3}};
    const int cPieces = (move.x3 == 0 && move.y3 == 0) ? 2 : 3;

    if constexpr (kIsBoard<G>) {
        for (int i = 0; i < cPieces; i++) {
            const CELLPOS& pos = aPieces[i];
            if (IsGoalFor(*pGrid, pos.x, pos.y, c)) pGrid->aGoal[c].cGoalHeld--;
            if (IsGoalFor(*pGrid, pos.x + step.dx, pos.y + step.dy, c)) pGrid->aGoal[c].cGoalHeld++;
        }
    }

    if (fShow && pShow != nullptr) {
        // Every piece starts at the same frame: read the end once, before any glide moves it.
        const int nStart = pShow->GetEndFrame();
        for (int i = 0; i < cPieces; i++)
            pShow->GlidePiece(aPieces[i].x, aPieces[i].y, move.nDir, c, nStart);
    }

    for (int i = 0; i < cPieces; i++) {
        const CELLPOS& pos = aPieces[i];
        CellAt(*pGrid, pos.x + step.dx, pos.y + step.dy).nPiece =
            CellAt(*pGrid, pos.x, pos.y).nPiece;
        CellAt(*pGrid, pos.x, pos.y).nPiece = PIECE_NONE;
    }
}

template <class G> void ApplyInline(G* pGrid, const MOVE& move, bool fShow, Presenter* pShow) {
    G& grid = *pGrid;
    const int x = move.x;
    const int y = move.y;
    const int c = CellAt(grid, x, y).nPiece;
    const int o = 1 - c;
    const STEP step = StepOf(move.nDir, grid);

    // Walk the own run and the pushed run as the check does.
    int cx = x;
    int cy = y;
    while (IsOnBoard(grid, cx, cy) && CellAt(grid, cx, cy).nPiece == c) {
        cx += step.dx;
        cy += step.dy;
    }
    int cPushed = 0;
    while (IsOnBoard(grid, cx, cy) &&
           (CellAt(grid, cx, cy).nPiece == o || CellAt(grid, cx, cy).nPiece == PIECE_GREEN)) {
        cx += step.dx;
        cy += step.dy;
        cPushed++;
    }
    const bool fLandOn = IsOnBoard(grid, cx, cy);

    if (fLandOn && cPushed == 1 && CellAt(grid, cx, cy).nPiece == c) {
        // Break: the surrounded piece falls through its cell; nothing moves.
        const int vx = cx - step.dx;
        const int vy = cy - step.dy;
        CELL& victim = CellAt(grid, vx, vy);
        if (fShow && pShow != nullptr) {
            pShow->StartFall(vx, vy, -1);
            pShow->SetCellKind(vx, vy, KIND_HOLE);
            if (pShow->IsSoundOn()) pShow->PlaySound(WAVE_BREAK);
        }
        if constexpr (kIsBoard<G>) {
            if (victim.nKind == KIND_GOAL || victim.nKind == KIND_BLUEGOAL) {
                grid.aGoal[PLAYER_BLUE].cGoal--;
                if (victim.nPiece == PIECE_BLUE) grid.aGoal[PLAYER_BLUE].cGoalHeld--;
            }
            if (victim.nKind == KIND_GOAL || victim.nKind == KIND_REDGOAL) {
                grid.aGoal[PLAYER_RED].cGoal--;
                if (victim.nPiece == PIECE_RED) grid.aGoal[PLAYER_RED].cGoalHeld--;
            }
            if (victim.nPiece == PIECE_BLUE || victim.nPiece == PIECE_RED)
                grid.cLost[victim.nPiece]++;
        }
        victim.nKind = KIND_HOLE;
        victim.nPiece = PIECE_NONE;
        return;
    }

    // The chain of occupied cells from the rear piece; a push-off ends at the edge or a hole.
    int cChain = 0;
    cx = x;
    cy = y;
    while (IsOnBoard(grid, cx, cy) && CellAt(grid, cx, cy).nPiece != PIECE_NONE) {
        const int nPiece = CellAt(grid, cx, cy).nPiece;
        const int nx = cx + step.dx;
        const int ny = cy + step.dy;
        if constexpr (kIsBoard<G>) {
            if (nPiece == PIECE_BLUE || nPiece == PIECE_RED) {
                if (IsGoalFor(grid, cx, cy, nPiece)) grid.aGoal[nPiece].cGoalHeld--;
                if (IsOnBoard(grid, nx, ny) && IsGoalFor(grid, nx, ny, nPiece))
                    grid.aGoal[nPiece].cGoalHeld++;
            }
        }
        cChain++;
        cx = nx;
        cy = ny;
    }
    const bool fPushOff = !IsOnBoard(grid, cx, cy);
    const int xFront = x + (cChain - 1) * step.dx;
    const int yFront = y + (cChain - 1) * step.dy;

    if (fShow && pShow != nullptr) {
        // Front piece first, so that each glide leaves its cell before the one behind
        // arrives; the rear piece starts first in time.
        const int nEnd = pShow->GetEndFrame();
        const bool fCascade = pShow->IsAnimateOn();
        int nLatest = nEnd;
        for (int k = cChain - 1; k >= 0; k--) {
            const int px = x + k * step.dx;
            const int py = y + k * step.dy;
            const int nStart = fCascade ? nEnd + CASCADE_DELAY * k : nEnd;
            nLatest = std::max(
                nLatest, pShow->GlidePiece(px, py, move.nDir, CellAt(grid, px, py).nPiece, nStart));
        }
        if (fPushOff) pShow->StartFall(xFront + step.dx, yFront + step.dy, nLatest);
    }

    int xEnd = cx;
    int yEnd = cy;
    if (fPushOff) {
        const int nFront = CellAt(grid, xFront, yFront).nPiece;
        if constexpr (kIsBoard<G>) {
            if (nFront == PIECE_BLUE || nFront == PIECE_RED) grid.cLost[nFront]++;
            if (nFront == PIECE_GREEN) grid.nGreenPusher = c;
        }
        xEnd = xFront;
        yEnd = yFront;
    }
    while (xEnd != x || yEnd != y) {
        CellAt(grid, xEnd, yEnd).nPiece = CellAt(grid, xEnd - step.dx, yEnd - step.dy).nPiece;
        xEnd -= step.dx;
        yEnd -= step.dy;
    }
    CellAt(grid, x, y).nPiece = PIECE_NONE;
}

// Only moves that passed the check reach ApplyMove; anything else that would write outside
// the grid or the counters (a move naming no Blue or Red piece, or a sideways piece with no
// cell to go to) is left undone.
template <class G> bool IsApplicable(const G& grid, const MOVE& move) {
    if (move.nDir < 0 || move.nDir > 5 || !IsOnBoard(grid, move.x, move.y)) return false;
    const int c = CellAt(grid, move.x, move.y).nPiece;
    if (c != PIECE_BLUE && c != PIECE_RED) return false;
    if (IsInlineMove(move)) return true;
    const STEP step = StepOf(move.nDir, grid);
    const CELLPOS aPieces[3] = {{move.x, move.y}, {move.x2, move.y2}, {move.x3, move.y3}};
    const int cPieces = (move.x3 == 0 && move.y3 == 0) ? 2 : 3;
    for (int i = 0; i < cPieces; i++) {
        const CELLPOS& pos = aPieces[i];
        if (!IsOnBoard(grid, pos.x, pos.y) || CellAt(grid, pos.x, pos.y).nPiece != c ||
            !IsOnBoard(grid, pos.x + step.dx, pos.y + step.dy))
            return false;
    }
    return true;
}

template <class G> void ApplyOn(G* pGrid, const MOVE& move, bool fShow, Presenter* pPresenter) {
    if (!IsApplicable(*pGrid, move)) return;
    Presenter* pShow = nullptr;
    if (fShow) pShow = pPresenter != nullptr ? pPresenter : s_pDefaultPresenter;
    if (IsInlineMove(move))
        ApplyInline(pGrid, move, fShow, pShow);
    else
        ApplySideways(pGrid, move, fShow, pShow);
}

} // namespace

void SetDefaultPresenter(Presenter* pPresenter) {
    s_pDefaultPresenter = pPresenter;
}
Presenter* GetDefaultPresenter() {
    return s_pDefaultPresenter;
}

bool CheckMove(const BOARD& board, int x, int y, int nDir, bool fStep, CHECKRESULT* pResult) {
    return CheckLine(board, x, y, nDir, fStep, pResult, g_settings.fModern != 0);
}

bool CheckMove(const BOARD& board, int x, int y, int nDir, bool fStep, CHECKRESULT* pResult,
               bool fModern) {
    return CheckLine(board, x, y, nDir, fStep, pResult, fModern);
}

bool CheckMove(const STRIP& strip, int x, int y, int nDir) {
    return CheckLine(strip, x, y, nDir, false, nullptr, true);
}

void ApplyMove(BOARD* pBoard, const MOVE& move, bool fShow, Presenter* pPresenter) {
    ApplyOn(pBoard, move, fShow, pPresenter);
}

void ApplyMove(STRIP* pStrip, const MOVE& move, bool fShow, Presenter* pPresenter) {
    ApplyOn(pStrip, move, fShow, pPresenter);
}

bool CanJoinSelection(const CELLPOS& first, const CELLPOS* pSecond, const CELLPOS& newPiece) {
    if (pSecond == nullptr) {
        for (const STEP& step : kBoardSteps) {
            if (newPiece.x == first.x + step.dx && newPiece.y == first.y + step.dy) return true;
        }
        return false;
    }
    const int dx = pSecond->x - first.x;
    const int dy = pSecond->y - first.y;
    return (newPiece.x == first.x - dx && newPiece.y == first.y - dy) ||
           (newPiece.x == pSecond->x + dx && newPiece.y == pSecond->y + dy);
}

bool FindGameEnd(const BOARD& board, int* piWinner, int* piReason) {
    int cGoals[2] = {0, 0};
    int cHeld[2] = {0, 0};
    for (int y = 0; y < cBoardRows; y++) {
        for (int x = 0; x < cBoardColumns; x++) {
            const CELL& cell = board.aCell[y][x];
            for (int p = PLAYER_BLUE; p <= PLAYER_RED; p++) {
                if (cell.nKind == KIND_GOAL ||
                    cell.nKind == (p == PLAYER_BLUE ? KIND_BLUEGOAL : KIND_REDGOAL)) {
                    cGoals[p]++;
                    if (cell.nPiece == p) cHeld[p]++;
                }
            }
        }
    }
    int iWinner = -1;
    int iReason = 0;
    if (cGoals[PLAYER_BLUE] > 0 && cHeld[PLAYER_BLUE] == cGoals[PLAYER_BLUE]) {
        iWinner = PLAYER_BLUE;
        iReason = REASON_GOALS;
    } else if (cGoals[PLAYER_RED] > 0 && cHeld[PLAYER_RED] == cGoals[PLAYER_RED]) {
        iWinner = PLAYER_RED;
        iReason = REASON_GOALS;
    } else if (cStartPieces - CountPieces(board, PIECE_BLUE) >= cLostToLose) {
        iWinner = PLAYER_RED;
        iReason = REASON_LOST;
    } else if (cStartPieces - CountPieces(board, PIECE_RED) >= cLostToLose) {
        iWinner = PLAYER_BLUE;
        iReason = REASON_LOST;
    } else if (board.nGreenPusher == PLAYER_BLUE || board.nGreenPusher == PLAYER_RED) {
        iWinner = board.nGreenPusher;
        iReason = REASON_GREEN;
    }
    if (iWinner < 0) return false;
    if (piWinner != nullptr) *piWinner = iWinner;
    if (piReason != nullptr) *piReason = iReason;
    return true;
}
