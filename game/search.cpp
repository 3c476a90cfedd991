#include "game/search.h"

#include "foundation/memmgr.h"
#include "game/settings.h"

#include <cstring>

using namespace engine;

namespace {

// The order in which ListMoves tries the directions of a piece.
constexpr int kDirOrder[6] = {1, 0, 5, 4, 3, 2};

// Appends one entry to a list that grows by ACTIONLIST_STEP through the manager.
template <class T>
bool Append(std::uint32_t* pcHeap, std::uint32_t* pcUsed, T** ppEntries, const T& entry) {
    if (*pcUsed == *pcHeap &&
        !mem::ReallocArray(sizeof(T), reinterpret_cast<void**>(ppEntries), pcHeap, *pcUsed + 1,
                           ACTIONLIST_STEP, "game", __LINE__))
        return false;
    (*ppEntries)[(*pcUsed)++] = entry;
    return true;
}

// +1 when a move heads for the centre, by direction and rear piece.
constexpr bool HeadsForCentre(int nDir, int x, int y) {
    switch (nDir) {
    case 0:
        return x < 8 && y > 4;
    case 1:
        return x < 8 && y >= 3 && y <= 5;
    case 2:
        return x < 8 && y < 4;
    case 3:
        return x > 8 && y < 4;
    case 4:
        return x > 8 && y >= 3 && y <= 5;
    case 5:
        return x > 8 && y > 4;
    default:
        return false;
    }
}

// The score of a move for nSide, the side that made it.
int Score(const TALLY& t, int nSide, int cOwn, int cPushed, int nGoalDelta, int fCapture,
          int fGreenOff, bool fCentre) {
    if (t.cGoal[PLAYER_BLUE] != 0 && t.cGoalHeld[PLAYER_BLUE] == t.cGoal[PLAYER_BLUE])
        return nSide == PLAYER_BLUE ? SCORE_WIN : -SCORE_WIN;
    if (t.cGoal[PLAYER_RED] != 0 && t.cGoalHeld[PLAYER_RED] == t.cGoal[PLAYER_RED])
        return nSide == PLAYER_RED ? SCORE_WIN : -SCORE_WIN;
    if (t.cLost[PLAYER_BLUE] >= cLostToLose) return nSide == PLAYER_RED ? SCORE_WIN : -SCORE_WIN;
    if (t.cLost[PLAYER_RED] >= cLostToLose) return nSide == PLAYER_BLUE ? SCORE_WIN : -SCORE_WIN;
    return 25 * cOwn + 75 * cPushed + 9000 * nGoalDelta + 10000 * fCapture + 100000 * fGreenOff +
           (fCentre ? 1 : 0);
}

TALLY TallyOf(const BOARD& board) {
    TALLY t;
    for (int p = 0; p < 2; p++) {
        t.cGoal[p] = board.aGoal[p].cGoal;
        t.cGoalHeld[p] = board.aGoal[p].cGoalHeld;
        t.cLost[p] = board.cLost[p];
    }
    return t;
}

// ---- The engine's position -------------------------------------------------------------

constexpr int kDelta[6] = {1 - kSquareColumns, 2,  1 + kSquareColumns,
                           kSquareColumns - 1, -2, -1 - kSquareColumns};

enum : std::uint8_t { MOVETYPE_SHIFT, MOVETYPE_PUSHOFF, MOVETYPE_BREAK };

struct SQUARETABLES {
    std::uint8_t aCell[cBoardCells]; // the cells' squares in ListMoves order
    std::int8_t ax[kSquares];
    std::int8_t ay[kSquares];
    std::uint8_t afCentre[kSquares]; // bit nDir: the move heads for the centre
};

constexpr SQUARETABLES MakeTables() {
    SQUARETABLES t{};
    int i = 0;
    for (int y = 0; y < cBoardRows; y++) {
        for (int x = 0; x < cBoardColumns; x++) {
            int nIndent = y < 4 ? 4 - y : y - 4;
            if ((x + y) % 2 != 0 || x < nIndent || x >= cBoardColumns - nIndent) continue;
            int sq = SquareOf(x, y);
            t.aCell[i++] = static_cast<std::uint8_t>(sq);
            t.ax[sq] = static_cast<std::int8_t>(x);
            t.ay[sq] = static_cast<std::int8_t>(y);
            for (int nDir = 0; nDir < 6; nDir++)
                if (HeadsForCentre(nDir, x, y))
                    t.afCentre[sq] |= static_cast<std::uint8_t>(1 << nDir);
        }
    }
    return t;
}
constexpr SQUARETABLES kTables = MakeTables();
static_assert(kSquares <= 256, "squares are stored in a byte");

void LoadPosition(POSITION* pPos, const BOARD& board) {
    std::memset(pPos->aPiece, SQUARE_OFF, sizeof(pPos->aPiece));
    std::memset(pPos->aGoal, 0, sizeof(pPos->aGoal));
    for (int sq : kTables.aCell) {
        const CELL& cell = board.aCell[kTables.ay[sq]][kTables.ax[sq]];
        if (cell.nKind == KIND_HOLE) continue;
        // A value that is no piece is read as empty; boards from a game never hold one.
        pPos->aPiece[sq] = static_cast<std::uint8_t>(
            cell.nPiece >= PIECE_BLUE && cell.nPiece <= PIECE_GREEN ? cell.nPiece : PIECE_NONE);
        std::uint8_t nGoal = 0;
        if (cell.nKind == KIND_GOAL || cell.nKind == KIND_BLUEGOAL) nGoal |= 1;
        if (cell.nKind == KIND_GOAL || cell.nKind == KIND_REDGOAL) nGoal |= 2;
        pPos->aGoal[sq] = nGoal;
    }
    pPos->tally = TallyOf(board);
}

// Lists every legal inline move of side c in ListMoves order, giving each to sink, which
// returns false to stop. Mirrors CheckLine and the counters of ApplyMove.
template <class Sink> void ForEachMove(const POSITION& pos, int c, bool fModern, Sink&& sink) {
    const int o = 1 - c;
    const std::uint8_t* const aPiece = pos.aPiece;
    const std::uint8_t* const aGoal = pos.aGoal;
    for (int sq : kTables.aCell) {
        if (aPiece[sq] != c) continue;
        for (int nDir : kDirOrder) {
            const int d = kDelta[nDir];
            // Own run.
            int cur = sq + d;
            int cOwn = 1;
            int nOwnGoal = ((aGoal[cur] >> c) & 1) - ((aGoal[sq] >> c) & 1);
            while (aPiece[cur] == c) {
                if (++cOwn > 3) break;
                nOwnGoal -= (aGoal[cur] >> c) & 1;
                cur += d;
                nOwnGoal += (aGoal[cur] >> c) & 1;
            }
            if (cOwn > 3 || aPiece[cur] == SQUARE_OFF) continue;

            // Pushed run; it is illegal as soon as it is as long as the own run.
            int cPushed = 0;
            int nPushGoal = 0; // every pushed piece, for the check result
            int nHeldGoal = 0; // enemy pieces only, for the counters
            bool fGreen = false;
            bool fTooMany = false;
            while (aPiece[cur] == o || aPiece[cur] == PIECE_GREEN) {
                if (++cPushed >= cOwn) {
                    fTooMany = true;
                    break;
                }
                fGreen = aPiece[cur] == PIECE_GREEN;
                const int nFrom = (aGoal[cur] >> o) & 1;
                cur += d;
                const int nTo = (aGoal[cur] >> o) & 1;
                nPushGoal += nTo - nFrom;
                if (!fGreen) nHeldGoal += nTo - nFrom;
            }
            if (fTooMany) continue;

            const std::uint8_t nLand = aPiece[cur];
            const bool fLandOn = nLand != SQUARE_OFF;
            const bool fBreak = fLandOn && cPushed == 1 && nLand == c;
            if (fBreak) {
                if (fGreen || !fModern) continue;
            } else if (fLandOn && nLand != PIECE_NONE) {
                continue;
            }

            CANDIDATE cand;
            cand.iSquare = static_cast<std::uint8_t>(sq);
            cand.nDir = static_cast<std::uint8_t>(nDir);
            cand.cOwn = static_cast<std::uint8_t>(cOwn);
            cand.cPushed = static_cast<std::uint8_t>(cPushed);
            TALLY& t = cand.tallyAfter;
            t = pos.tally;
            int fCapture = 0;
            int fGreenOff = 0;
            if (fBreak) {
                const std::uint8_t nGoal = aGoal[cur - d];
                for (int p = 0; p < 2; p++) {
                    if ((nGoal >> p) & 1) {
                        t.cGoal[p]--;
                        if (p == o) t.cGoalHeld[p]--;
                    }
                }
                t.cLost[o]++;
                fCapture = 1;
                cand.nType = MOVETYPE_BREAK;
            } else {
                t.cGoalHeld[c] += nOwnGoal;
                t.cGoalHeld[o] += nHeldGoal;
                cand.nType = MOVETYPE_SHIFT;
                if (!fLandOn) {
                    fCapture = 1;
                    if (fGreen)
                        fGreenOff = 1;
                    else
                        t.cLost[o]++;
                    cand.nType = MOVETYPE_PUSHOFF;
                }
            }
            cand.nScore = Score(t, c, cOwn, cPushed, nOwnGoal + nPushGoal, fCapture, fGreenOff,
                                (kTables.afCentre[sq] >> nDir) & 1);
            if (!sink(cand)) return;
        }
    }
}

// The squares a move changes, to put back afterwards.
struct UNDO {
    TALLY tally;
    std::uint8_t aPiece[6];
    std::uint8_t nGoal;
};

void MakeMove(POSITION* pPos, const CANDIDATE& cand, UNDO* pUndo) {
    const int d = kDelta[cand.nDir];
    const int sq = cand.iSquare;
    pUndo->tally = pPos->tally;
    pPos->tally = cand.tallyAfter;
    if (cand.nType == MOVETYPE_BREAK) {
        const int v = sq + cand.cOwn * d;
        pUndo->aPiece[0] = pPos->aPiece[v];
        pUndo->nGoal = pPos->aGoal[v];
        pPos->aPiece[v] = SQUARE_OFF;
        pPos->aGoal[v] = 0;
        return;
    }
    pUndo->nGoal = 0;
    const int n = cand.cOwn + cand.cPushed;
    for (int k = 0; k <= n; k++)
        pUndo->aPiece[k] = pPos->aPiece[sq + k * d];
    // A push-off drops the front piece; otherwise the whole chain moves into the landing cell.
    const int kLast = cand.nType == MOVETYPE_PUSHOFF ? n - 1 : n;
    for (int k = kLast; k > 0; k--)
        pPos->aPiece[sq + k * d] = pPos->aPiece[sq + (k - 1) * d];
    pPos->aPiece[sq] = PIECE_NONE;
}

void UnmakeMove(POSITION* pPos, const CANDIDATE& cand, const UNDO& undo) {
    const int d = kDelta[cand.nDir];
    const int sq = cand.iSquare;
    pPos->tally = undo.tally;
    if (cand.nType == MOVETYPE_BREAK) {
        const int v = sq + cand.cOwn * d;
        pPos->aPiece[v] = undo.aPiece[0];
        pPos->aGoal[v] = undo.nGoal;
        return;
    }
    const int n = cand.cOwn + cand.cPushed;
    for (int k = 0; k <= n; k++)
        pPos->aPiece[sq + k * d] = undo.aPiece[k];
}

MOVE MoveOf(const CANDIDATE& cand) {
    return MOVE{kTables.ax[cand.iSquare], kTables.ay[cand.iSquare], cand.nDir, 0, 0, 0, 0};
}

} // namespace

// ---- Action lists and the plain listing -------------------------------------------------

bool AddAction(ACTIONLIST* pList, const ACTION& action) {
    return Append(&pList->cActionHeap, &pList->cAction, &pList->pAction, action);
}

void FreeActionList(ACTIONLIST* pList) {
    if (pList->pAction != nullptr) mem::Release(pList->pAction, "game", __LINE__);
    *pList = ACTIONLIST{};
}

void ListMoves(ACTIONLIST* pList, const BOARD& board, int nSide) {
    ListMoves(pList, board, nSide, g_settings.fModern != 0);
}

void ListMoves(ACTIONLIST* pList, const BOARD& board, int nSide, bool fModern) {
    ClearActionList(pList);
    ACTION action;
    for (int y = 0; y < cBoardRows; y++) {
        for (int x = 0; x < cBoardColumns; x++) {
            if (board.aCell[y][x].nPiece != nSide || !IsOnBoard(board, x, y)) continue;
            for (int nDir : kDirOrder) {
                if (!CheckMove(board, x, y, nDir, false, &action.result, fModern)) continue;
                action.move = MOVE{x, y, nDir, 0, 0, 0, 0};
                action.board = board;
                ApplyMove(&action.board, action.move, false);
                AddAction(pList, action);
            }
        }
    }
}

int ScoreAction(const ACTION& action, int nSide) {
    const CHECKRESULT& r = action.result;
    return Score(TallyOf(action.board), nSide, r.cOwn, r.cPushed, r.nGoalDelta, r.fCapture,
                 r.fGreenOff, HeadsForCentre(action.move.nDir, action.move.x, action.move.y));
}

// ---- The engine -------------------------------------------------------------------------

void SearchEngine::List(CANDIDATELIST* pList, int nSide) {
    pList->cAction = 0;
    ForEachMove(pos_, nSide, fModern_, [pList](const CANDIDATE& cand) {
        Append(&pList->cActionHeap, &pList->cAction, &pList->pAction, cand);
        return true;
    });
}

void SearchEngine::Prepare(const BOARD& board, int nSide, int nLevel, bool fModern) {
    LoadPosition(&pos_, board);
    nRootSide_ = nSide;
    nDepth_ = SearchDepthOf(nLevel);
    fModern_ = fModern;
    aList_[0].cAction = 0;
    if (nSide == PLAYER_BLUE || nSide == PLAYER_RED) List(&aList_[0], nSide);
}

bool SearchEngine::Run(const std::atomic<bool>* pfCancel, DECISION* pDecision) {
    *pDecision = DECISION{};
    pfCancel_ = pfCancel;
    cNodes_ = 0;
    int iBest = -1;
    int nBest = 0;
    if (aList_[0].cAction == 1) {
        iBest = 0;
    } else if (Search(0, nRootSide_, true, -SCORE_BOUND, SCORE_BOUND, &iBest, &nBest, 0)) {
        pDecision->fSearched = true;
        pDecision->nScore = nBest;
    } else {
        iBest = -1;
    }
    pDecision->cNodes = cNodes_;
    pfCancel_ = nullptr;
    if (iBest < 0) return false;
    pDecision->fChosen = true;
    pDecision->iAction = iBest;
    pDecision->move = MoveOf(aList_[0].pAction[iBest]);
    return true;
}

bool SearchEngine::Search(int d, int nSide, bool fMax, int nLo, int nHi, int* piBest, int* pnBest,
                          int nPath) {
    if (pfCancel_ != nullptr && pfCancel_->load(std::memory_order_relaxed)) return false;
    int iBest = -1;
    int nBest = fMax ? -SCORE_BOUND : SCORE_BOUND;
    const CANDIDATELIST& list = aList_[d];
    for (std::uint32_t i = 0; i < list.cAction; i++) {
        const CANDIDATE& cand = list.pAction[i];
        cNodes_++;
        const int v = fMax ? cand.nScore : -cand.nScore;
        int nTotal;
        if (d + 1 >= nDepth_ || (fMax && v >= SCORE_WIN) || (!fMax && v <= -SCORE_WIN)) {
            nTotal = nPath + v;
        } else {
            UNDO undo;
            MakeMove(&pos_, cand, &undo);
            const int nLo2 = fMax ? nBest : -SCORE_BOUND;
            const int nHi2 = fMax ? SCORE_BOUND : nBest;
            int nChild = 0;
            bool fEmpty;
            bool fDone;
            if (d + 2 >= nDepth_) {
                fDone =
                    SearchLeaves(d + 1, 1 - nSide, !fMax, nLo2, nHi2, &fEmpty, &nChild, nPath + v);
            } else {
                List(&aList_[d + 1], 1 - nSide);
                fEmpty = aList_[d + 1].cAction == 0;
                int iChild;
                fDone = fEmpty ||
                        Search(d + 1, 1 - nSide, !fMax, nLo2, nHi2, &iChild, &nChild, nPath + v);
            }
            UnmakeMove(&pos_, cand, undo);
            if (!fDone) return false;
            if (fEmpty)
                nTotal = nSide == nRootSide_ ? SCORE_NOMOVE : -SCORE_NOMOVE;
            else
                nTotal = nChild;
        }
        nTotal += fMax ? -d : d;
        if (iBest == -1 || (fMax && nTotal > nBest) || (!fMax && nTotal < nBest)) {
            nBest = nTotal;
            iBest = static_cast<int>(i);
            if (nBest <= nLo) break;
            if (nBest >= nHi) break;
        }
    }
    *piBest = iBest;
    *pnBest = nBest;
    return iBest != -1;
}

// A list whose entries all end the line: each move is scored as it is listed, and listing
// stops at the first cut-off, so moves after it are never generated. Same totals, same
// cut-offs and same node count as listing first.
bool SearchEngine::SearchLeaves(int d, int nSide, bool fMax, int nLo, int nHi, bool* pfEmpty,
                                int* pnBest, int nPath) {
    if (pfCancel_ != nullptr && pfCancel_->load(std::memory_order_relaxed)) return false;
    bool fEmpty = true;
    int nBest = fMax ? -SCORE_BOUND : SCORE_BOUND;
    std::uint64_t cNodes = 0;
    const int nPenalty = fMax ? -d : d;
    ForEachMove(pos_, nSide, fModern_, [&](const CANDIDATE& cand) {
        cNodes++;
        const int nTotal = nPath + (fMax ? cand.nScore : -cand.nScore) + nPenalty;
        if (fEmpty || (fMax && nTotal > nBest) || (!fMax && nTotal < nBest)) {
            fEmpty = false;
            nBest = nTotal;
            if (nBest <= nLo || nBest >= nHi) return false;
        }
        return true;
    });
    cNodes_ += cNodes;
    *pfEmpty = fEmpty;
    *pnBest = nBest;
    return true;
}

void SearchEngine::Free() {
    for (CANDIDATELIST& list : aList_) {
        if (list.pAction != nullptr) mem::Release(list.pAction, "game", __LINE__);
        list = CANDIDATELIST{};
    }
}

// ---- The plain search ---------------------------------------------------------------------

namespace {

bool PlainSearch(REFERENCESEARCH* p, int d, int nSide, bool fMax, int nLo, int nHi, int* piBest,
                 int* pnBest, int nPath) {
    int iBest = -1;
    int nBest = fMax ? -SCORE_BOUND : SCORE_BOUND;
    ACTIONLIST& list = p->aList[d];
    for (std::uint32_t i = 0; i < list.cAction; i++) {
        p->cNodes++;
        int v = ScoreAction(list.pAction[i], nSide);
        if (!fMax) v = -v;
        int nTotal;
        if (d + 1 >= p->nDepth || (fMax && v >= SCORE_WIN) || (!fMax && v <= -SCORE_WIN)) {
            nTotal = nPath + v;
        } else {
            ListMoves(&p->aList[d + 1], list.pAction[i].board, 1 - nSide, p->fModern);
            if (p->aList[d + 1].cAction == 0) {
                nTotal = nSide == p->nRootSide ? SCORE_NOMOVE : -SCORE_NOMOVE;
            } else {
                int iChild;
                int nChild;
                if (!PlainSearch(p, d + 1, 1 - nSide, !fMax, fMax ? nBest : -SCORE_BOUND,
                                 fMax ? SCORE_BOUND : nBest, &iChild, &nChild, nPath + v))
                    return false;
                nTotal = nChild;
            }
        }
        nTotal += fMax ? -d : d;
        if (iBest == -1 || (fMax && nTotal > nBest) || (!fMax && nTotal < nBest)) {
            nBest = nTotal;
            iBest = static_cast<int>(i);
            if (nBest <= nLo)
                break;
            else if (nBest >= nHi)
                break;
        }
    }
    *piBest = iBest;
    *pnBest = nBest;
    return iBest != -1;
}

} // namespace

bool ReferenceDecide(REFERENCESEARCH* p, const BOARD& board, int nSide, int nLevel, bool fModern,
                     DECISION* pDecision) {
    *pDecision = DECISION{};
    p->nDepth = SearchDepthOf(nLevel);
    p->nRootSide = nSide;
    p->fModern = fModern;
    p->cNodes = 0;
    ListMoves(&p->aList[0], board, nSide, fModern);
    int iBest = -1;
    int nBest = 0;
    if (p->aList[0].cAction == 1) {
        iBest = 0;
    } else if (PlainSearch(p, 0, nSide, true, -SCORE_BOUND, SCORE_BOUND, &iBest, &nBest, 0)) {
        pDecision->fSearched = true;
        pDecision->nScore = nBest;
    } else {
        iBest = -1;
    }
    pDecision->cNodes = p->cNodes;
    if (iBest < 0) return false;
    pDecision->fChosen = true;
    pDecision->iAction = iBest;
    pDecision->move = p->aList[0].pAction[iBest].move;
    return true;
}

void FreeReferenceSearch(REFERENCESEARCH* p) {
    for (ACTIONLIST& list : p->aList)
        FreeActionList(&list);
}
