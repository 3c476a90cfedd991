// The computer opponent's move choice: candidate lists, the static score of a move and the
// depth-limited game-tree search.
//
// The computer plays inline moves only. ListMoves lists them in a fixed order (cells row by
// row, left to right; directions 1, 0, 5, 4, 3, 2), ScoreAction scores one for the side that
// made it, and the search picks among them; ties keep the earlier entry, so the order decides
// which move is played.
//
// Two implementations of the same search live here. SearchEngine is the one the game uses: it
// keeps a compact position, scores moves while listing them and makes and unmakes moves
// instead of carrying a board per candidate. ReferenceDecide is the plain form over ACTION
// lists that carry the board after each move; tests and benchmarks hold the engine to it
// (same choice, same score, same nodes).
#pragma once

#include "game/board.h"
#include "game/rules.h"
#include "game/settings.h"

#include <atomic>
#include <cstdint>

// One candidate move with the board after it and its check result.
struct ACTION {
    MOVE move; // inline: second and third positions (0, 0)
    BOARD board;
    CHECKRESULT result;
};
static_assert(sizeof(ACTION) == 1304);
static_assert(offsetof(ACTION, board) == 28);
static_assert(offsetof(ACTION, result) == 1284);

// A list that grows by 64 entries through the memory manager and keeps its memory when
// cleared. Zero-initialise before first use; FreeActionList releases it.
struct ACTIONLIST {
    std::uint32_t cActionHeap; // entries allocated
    std::uint32_t cAction;     // entries in use
    ACTION* pAction;
};
constexpr std::uint32_t ACTIONLIST_STEP = 64;

// Appends an entry; false (and the list unchanged) when the list cannot grow.
bool AddAction(ACTIONLIST* pList, const ACTION& action);
inline void ClearActionList(ACTIONLIST* pList) {
    pList->cAction = 0;
}
void FreeActionList(ACTIONLIST* pList);

// Fills the list with every legal inline move of nSide; a move that does not fit is skipped.
// The first form reads the rule set from g_settings.
void ListMoves(ACTIONLIST* pList, const BOARD& board, int nSide);
void ListMoves(ACTIONLIST* pList, const BOARD& board, int nSide, bool fModern);

// Scores.
constexpr int SCORE_WIN = 100000;    // a won position; the search stops looking deeper
constexpr int SCORE_NOMOVE = 200000; // the side left without a move is beaten
constexpr int SCORE_BOUND = 200001;  // beyond every total

// The score of a move for the side nSide that made it, from the counters of the board after
// it and the check result.
int ScoreAction(const ACTION& action, int nSide);

// What a search decided.
struct DECISION {
    bool fChosen;         // false: no legal move, or the search was cancelled
    bool fSearched;       // false when the only legal move was taken without searching
    MOVE move;            // the chosen move
    int iAction;          // its index in ListMoves order
    int nScore;           // the search's total for it (0 when not searched)
    std::uint64_t cNodes; // candidates examined by the search
};

// The compact position the engine searches: a padded mailbox in which every square that
// is not a cell of the board, and every hole, holds SQUARE_OFF, so that a walk along a
// direction needs no bounds test.
namespace engine {

constexpr int kSquareColumns = 21; // x from -2 to 18
constexpr int kSquareRows = 11;    // y from -1 to 9
constexpr int kSquares = kSquareColumns * kSquareRows;
constexpr std::uint8_t SQUARE_OFF = 4;

constexpr int SquareOf(int x, int y) {
    return (y + 1) * kSquareColumns + (x + 2);
}

// The board's counters that the score reads.
struct TALLY {
    std::int32_t cGoal[2];
    std::int32_t cGoalHeld[2];
    std::int32_t cLost[2];
};

struct POSITION {
    std::uint8_t aPiece[kSquares]; // PIECE_* or SQUARE_OFF
    std::uint8_t aGoal[kSquares];  // bit p: a goal of player p
    TALLY tally;
};

// A legal inline move with what the search needs of it.
struct CANDIDATE {
    std::uint8_t iSquare; // the rear piece
    std::uint8_t nDir;
    std::uint8_t cOwn;
    std::uint8_t cPushed;
    std::uint8_t nType;  // MOVETYPE_*
    std::int32_t nScore; // ScoreAction for the side that moves
    TALLY tallyAfter;
};

struct CANDIDATELIST {
    std::uint32_t cActionHeap;
    std::uint32_t cAction;
    CANDIDATE* pAction;
};

} // namespace engine

class SearchEngine {
public:
    SearchEngine() = default;
    ~SearchEngine() { Free(); }
    SearchEngine(const SearchEngine&) = delete;
    SearchEngine& operator=(const SearchEngine&) = delete;

    // Takes the position and lists the root moves. nLevel is the stored strength: 0 and
    // below score the root moves only, above 3 searches at 3.
    void Prepare(const BOARD& board, int nSide, int nLevel, bool fModern);
    std::uint32_t RootCount() const { return aList_[0].cAction; }
    // Decides among the root moves. A single move is taken at once. pfCancel, when given,
    // is read at every node; false when it stopped the search or there is no move.
    bool Run(const std::atomic<bool>* pfCancel, DECISION* pDecision);

    bool Decide(const BOARD& board, int nSide, int nLevel, bool fModern, DECISION* pDecision) {
        Prepare(board, nSide, nLevel, fModern);
        return Run(nullptr, pDecision);
    }

    // Releases the lists' memory (they otherwise keep it from search to search).
    void Free();

    // The root list, for tests: the engine's own view of ListMoves.
    const engine::CANDIDATELIST& RootList() const { return aList_[0]; }

private:
    bool Search(int d, int nSide, bool fMax, int nLo, int nHi, int* piBest, int* pnBest, int nPath);
    bool SearchLeaves(int d, int nSide, bool fMax, int nLo, int nHi, bool* pfEmpty, int* pnBest,
                      int nPath);
    void List(engine::CANDIDATELIST* pList, int nSide);

    engine::POSITION pos_{};
    // The root moves and the replies; the deepest ply is scored while it is listed.
    engine::CANDIDATELIST aList_[MAX_SEARCH_DEPTH - 1]{};
    int nDepth_ = 1;
    int nRootSide_ = 0;
    bool fModern_ = false;
    const std::atomic<bool>* pfCancel_ = nullptr;
    std::uint64_t cNodes_ = 0;
};

// The plain search, kept as the yardstick for SearchEngine. Its lists keep their memory
// until FreeReferenceSearch.
struct REFERENCESEARCH {
    ACTIONLIST aList[3];
    int nDepth;
    int nRootSide;
    bool fModern;
    std::uint64_t cNodes;
};
bool ReferenceDecide(REFERENCESEARCH* pState, const BOARD& board, int nSide, int nLevel,
                     bool fModern, DECISION* pDecision);
void FreeReferenceSearch(REFERENCESEARCH* pState);
