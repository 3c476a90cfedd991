#include "game/history.h"

#include "foundation/memmgr.h"
#include "foundation/tl_registry.h"
#include "game/game.h"
#include "game/presenter.h"
#include "game/settings.h"
#include "host/registry.h"

#include <bit>
#include <cstdio>
#include <cstring>

// The block is stored as it lies in memory.
static_assert(std::endian::native == std::endian::little);

namespace {

struct RECORD {
    BOARD boardStart;
    BOARD boardCurrent;
    MOVE* pMove;             // the memory manager's; null while empty
    std::uint32_t cMoveHeap; // entries allocated
    std::uint32_t cMove;     // entries recorded
    std::uint32_t iMove;     // entries played from the start board
};

RECORD MakeEmptyRecord() {
    RECORD record{};
    SetUpLayout(&record.boardCurrent, LAYOUT_CLASSIC);
    PlacePieces(&record.boardCurrent, LAYOUT_CLASSIC);
    record.boardStart = record.boardCurrent;
    return record;
}

RECORD s_record = MakeEmptyRecord();

cetl::regvalue GameValue(const char* pszName) {
    return cetl::regvalue(cetl::regkey(kszGameKey), cetl::string(pszName));
}

void FreeMoves() {
    if (s_record.pMove != nullptr) MemFree(s_record.pMove);
    s_record.pMove = nullptr;
    s_record.cMoveHeap = 0;
    s_record.cMove = 0;
    s_record.iMove = 0;
}

// Executes the move at iMove with animation and schedules the end-of-game test.
void RedoOne() {
    ApplyMove(&s_record.boardCurrent, s_record.pMove[s_record.iMove], true);
    GamePresenter().ScheduleUpdate();
    s_record.iMove++;
}

// Reads the next number of the history text: its decimal digits, then one "," if there is
// one. A number with no digits is 0; a character that is neither stops every later number
// there. Values beyond 32 bits stay at the largest one, which no move uses.
class HistoryReader {
public:
    explicit HistoryReader(const cetl::string& str) : pch_(str.Text()), cch_(str.Length()) {}

    std::uint32_t Next() {
        std::uint64_t n = 0;
        while (i_ < cch_ && pch_[i_] >= '0' && pch_[i_] <= '9') {
            n = n * 10 + static_cast<std::uint64_t>(pch_[i_] - '0');
            if (n > 0xFFFFFFFFu) n = 0xFFFFFFFFu;
            i_++;
        }
        if (i_ < cch_ && pch_[i_] == ',') i_++;
        return static_cast<std::uint32_t>(n);
    }
    int Remaining() const { return cch_ - i_; }

private:
    const TCHAR* pch_;
    int cch_;
    int i_ = 0;
};

std::int32_t AsField(std::uint32_t n) {
    return static_cast<std::int32_t>(n);
}

// Parses the history into pSaved's move array. False when iMove exceeds cMove or the array
// cannot be had.
bool ParseHistory(const cetl::string& strHistory, SAVEDRECORD* pSaved) {
    HistoryReader reader(strHistory);
    const std::uint32_t cMove = reader.Next();
    const std::uint32_t iMove = reader.Next();
    if (iMove > cMove) return false;
    // Each number takes at least one character until the text runs out, and every move
    // after that reads as all zeros, which is never legal. Moves beyond what the text can
    // hold are therefore not read, and a huge count allocates nothing.
    const std::uint32_t cMaxUseful = static_cast<std::uint32_t>(reader.Remaining() / 7) + 1;
    const std::uint32_t cMoveRead = cMove < cMaxUseful ? cMove : cMaxUseful;
    if (iMove > cMoveRead) return false;
    if (cMoveRead != 0 && !MemReallocArray(&pSaved->pMove, &pSaved->cMoveHeap, cMoveRead, 1))
        return false;
    for (std::uint32_t i = 0; i < cMoveRead; i++) {
        MOVE& move = pSaved->pMove[i];
        move.nDir = AsField(reader.Next());
        move.x = AsField(reader.Next());
        move.y = AsField(reader.Next());
        move.x2 = AsField(reader.Next());
        move.y2 = AsField(reader.Next());
        move.x3 = AsField(reader.Next());
        move.y3 = AsField(reader.Next());
    }
    pSaved->cMove = cMoveRead;
    pSaved->iMove = iMove;
    return true;
}

// Replays the parsed moves: the played ones must be legal in turn and lead from the start
// board to the current one; the ones after are kept up to the first that is not legal.
bool Replay(SAVEDRECORD* pSaved, bool fModern) {
    BOARD board = pSaved->game.boardStart;
    for (std::uint32_t i = 0; i < pSaved->iMove; i++) {
        const MOVE& move = pSaved->pMove[i];
        if (!IsLegalMove(board, move, static_cast<int>(i % 2), fModern)) return false;
        ApplyMove(&board, move, false);
    }
    if (std::memcmp(&board, &pSaved->game.boardCurrent, sizeof(BOARD)) != 0) return false;
    for (std::uint32_t i = pSaved->iMove; i < pSaved->cMove; i++) {
        const MOVE& move = pSaved->pMove[i];
        if (!IsLegalMove(board, move, static_cast<int>(i % 2), fModern)) {
            pSaved->cMove = i;
            break;
        }
        ApplyMove(&board, move, false);
    }
    return true;
}

void DropHistory(SAVEDRECORD* pSaved) {
    if (pSaved->pMove != nullptr) MemFree(pSaved->pMove);
    pSaved->pMove = nullptr;
    pSaved->cMoveHeap = 0;
    pSaved->cMove = 0;
    pSaved->iMove = 0;
    pSaved->game.boardStart = pSaved->game.boardCurrent;
    pSaved->fHistoryDropped = true;
}

} // namespace

// ---- The record ----------------------------------------------------------------------------

BOARD& CurrentBoard() {
    return s_record.boardCurrent;
}

const BOARD& StartBoard() {
    return s_record.boardStart;
}

std::uint32_t RecordedMoveCount() {
    return s_record.cMove;
}

std::uint32_t PlayedMoveCount() {
    return s_record.iMove;
}

const MOVE& RecordedMove(std::uint32_t i) {
    static const MOVE s_none{};
    return i < s_record.cMove ? s_record.pMove[i] : s_none;
}

void ResetRecord() {
    s_record.boardStart = s_record.boardCurrent;
    FreeMoves();
}

void FreeRecord() {
    FreeMoves();
    s_record.boardStart = s_record.boardCurrent;
}

bool ReserveMove() {
    if (s_record.iMove == 0xFFFFFFFFu) return false;
    return MemReallocArray(&s_record.pMove, &s_record.cMoveHeap, s_record.iMove + 1, HISTORY_STEP);
}

bool AppendMove(const MOVE& move) {
    if (!ReserveMove()) return false;
    s_record.pMove[s_record.iMove] = move;
    s_record.iMove++;
    s_record.cMove = s_record.iMove;
    return true;
}

bool CanUndo() {
    return s_record.iMove > 0;
}

bool CanRedo() {
    return s_record.iMove < s_record.cMove;
}

int SideToMove() {
    return static_cast<int>(s_record.iMove % 2);
}

void Rebuild() {
    BOARD board = s_record.boardStart;
    for (std::uint32_t i = 0; i < s_record.iMove; i++)
        ApplyMove(&board, s_record.pMove[i], false);
    Presenter& show = GamePresenter();
    for (int y = 0; y < cBoardRows; y++) {
        for (int x = 0; x < cBoardColumns; x++) {
            if (board.aCell[y][x].nKind != s_record.boardCurrent.aCell[y][x].nKind)
                show.SetCellKind(x, y, board.aCell[y][x].nKind);
        }
    }
    s_record.boardCurrent = board;
}

void Undo() {
    if (s_record.iMove == 0) return;
    Presenter& show = GamePresenter();
    // Whatever is still scheduled takes effect now. A computer turn it asks for is
    // withdrawn: Undo leaves the turn where it lands, even with the computer.
    show.RunToEnd();
    StopComputer();

    s_record.iMove--;
    if (s_record.iMove > 0 && IsComputerSide(SideToMove())) s_record.iMove--;
    g_game.fInProgress = 1;
    g_game.iWinner = WINNER_NONE;

    Rebuild();
    show.RebuildPieces(s_record.boardCurrent);
    show.ScheduleUpdate();
    show.RefreshStatus(GameStatus());
    SaveGame();
}

void Redo() {
    if (s_record.iMove >= s_record.cMove) return;
    Presenter& show = GamePresenter();
    show.RunToEnd();
    StopComputer();

    RedoOne();
    if (s_record.iMove < s_record.cMove && IsComputerSide(SideToMove())) RedoOne();
    show.RefreshStatus(GameStatus());
    SaveGame();
}

// ---- The saved game ------------------------------------------------------------------------

cetl::string HistoryText() {
    // "%lu" of each number; at most 10 digits and a comma each.
    const std::size_t cNumbers = 2 + std::size_t{s_record.cMove} * 7;
    mem::vector<char> text{MEM_TAG("history")};
    text.resize(cNumbers * 11 + 1);
    std::size_t cch = 0;
    auto add = [&](std::uint32_t n) {
        if (cch != 0) text[cch++] = ',';
        cch += static_cast<std::size_t>(
            std::snprintf(&text[cch], text.size() - cch, "%lu", static_cast<unsigned long>(n)));
    };
    add(s_record.cMove);
    add(s_record.iMove);
    for (std::uint32_t i = 0; i < s_record.cMove; i++) {
        const MOVE& move = s_record.pMove[i];
        for (std::int32_t n : {move.nDir, move.x, move.y, move.x2, move.y2, move.x3, move.y3})
            add(static_cast<std::uint32_t>(n));
    }
    cetl::string str;
    str.Assign(text.data(), static_cast<int>(cch));
    return str;
}

bool SaveGame() {
    SAVEDGAME block{};
    block.boardStart = s_record.boardStart;
    block.boardCurrent = s_record.boardCurrent;
    block.nReserved = 0;
    block.fInProgress = g_game.fInProgress;
    block.iWinner = g_game.iWinner;
    block.iReason = g_game.iReason;
    // One replacement of the file for both: a position never lands without its moves.
    host::RegistryWriteBatch batch;
    const bool fGame =
        GameValue("SavedGame").WriteVersioned(SAVEDGAME_VERSION, &block, sizeof(block));
    const bool fHistory = GameValue("SavedHistory").WriteText(HistoryText());
    return batch.End() == host::ERROR_SUCCESS && fGame && fHistory;
}

bool IsConsistentBoard(const BOARD& board) {
    int acPieces[3] = {0, 0, 0};
    GOALCOUNT aGoal[2] = {{0, 0}, {0, 0}};
    for (int y = 0; y < cBoardRows; y++) {
        for (int x = 0; x < cBoardColumns; x++) {
            const CELL& cell = board.aCell[y][x];
            if (!IsCellPosition(x, y)) {
                if (cell.nKind != KIND_PLAIN || cell.nPiece != PIECE_NONE) return false;
                continue;
            }
            if (cell.nKind < KIND_PLAIN || cell.nKind > KIND_HOLE || cell.nPiece < PIECE_BLUE ||
                cell.nPiece > PIECE_NONE)
                return false;
            if (cell.nKind == KIND_HOLE) {
                if (cell.nPiece != PIECE_NONE) return false;
                continue;
            }
            if (cell.nPiece != PIECE_NONE) acPieces[cell.nPiece]++;
            for (int p = PLAYER_BLUE; p <= PLAYER_RED; p++) {
                if (!IsGoalFor(board, x, y, p)) continue;
                aGoal[p].cGoal++;
                if (cell.nPiece == p) aGoal[p].cGoalHeld++;
            }
        }
    }
    if (acPieces[PIECE_BLUE] > cStartPieces || acPieces[PIECE_RED] > cStartPieces ||
        acPieces[PIECE_GREEN] > 1)
        return false;
    if (board.nGreenPusher != PLAYER_BLUE && board.nGreenPusher != PLAYER_RED &&
        board.nGreenPusher != PIECE_NONE)
        return false;
    for (int p = PLAYER_BLUE; p <= PLAYER_RED; p++) {
        if (board.aGoal[p].cGoal != aGoal[p].cGoal ||
            board.aGoal[p].cGoalHeld != aGoal[p].cGoalHeld ||
            board.cLost[p] != cStartPieces - acPieces[p])
            return false;
    }
    return true;
}

int CheckSavedGame(const SAVEDGAME& block, const cetl::string& strHistory, bool fModern,
                   SAVEDRECORD* pSaved) {
    *pSaved = SAVEDRECORD{};
    pSaved->game = block;
    if (!IsConsistentBoard(block.boardCurrent)) return SAVED_DAMAGED;
    const bool fInProgress = block.fInProgress != 0;
    if (fInProgress) {
        // A game in progress has no winner yet; a reason left from an earlier game is kept
        // only when it is one.
        pSaved->game.fInProgress = 1;
        pSaved->game.iWinner = WINNER_NONE;
        if (block.iReason < REASON_LOST || block.iReason > REASON_GREEN)
            pSaved->game.iReason = REASON_LOST;
    }
    if (!IsConsistentBoard(block.boardStart) || !ParseHistory(strHistory, pSaved) ||
        !Replay(pSaved, fModern))
        DropHistory(pSaved);
    return fInProgress ? SAVED_INPROGRESS : SAVED_ENDED;
}

int ReadSavedGame(bool fModern, SAVEDRECORD* pSaved) {
    *pSaved = SAVEDRECORD{};
    SAVEDGAME block;
    if (!GameValue("SavedGame").ReadVersioned(SAVEDGAME_VERSION, &block, sizeof(block)))
        return SAVED_NONE;
    cetl::string strHistory;
    if (!GameValue("SavedHistory").ReadText(strHistory)) strHistory.Empty();
    return CheckSavedGame(block, strHistory, fModern, pSaved);
}

void FreeSavedRecord(SAVEDRECORD* pSaved) {
    if (pSaved->pMove != nullptr) MemFree(pSaved->pMove);
    pSaved->pMove = nullptr;
    pSaved->cMoveHeap = 0;
    pSaved->cMove = 0;
    pSaved->iMove = 0;
}

bool RestoreGame() {
    SAVEDRECORD saved;
    if (ReadSavedGame(g_settings.fModern != 0, &saved) != SAVED_INPROGRESS) {
        FreeSavedRecord(&saved);
        return false;
    }
    Presenter& show = GamePresenter();
    show.BeginUpdate();
    g_game.fInProgress = saved.game.fInProgress;
    g_game.iWinner = saved.game.iWinner;
    g_game.iReason = saved.game.iReason;
    s_record.boardCurrent = saved.game.boardCurrent;
    s_record.boardStart = saved.game.boardStart;
    FreeMoves();
    s_record.pMove = saved.pMove;
    s_record.cMoveHeap = saved.cMoveHeap;
    s_record.cMove = saved.cMove;
    s_record.iMove = saved.iMove;
    saved.pMove = nullptr;

    // The layout's cells first; then the cells that differ from it: cells broken during the
    // game, or a board that is not of the stored layout.
    int iLayout = g_settings.iBoard;
    if (iLayout < 0 || iLayout >= cLayouts) iLayout = LAYOUT_CLASSIC;
    show.RedrawCells(iLayout);
    BOARD layout;
    SetUpLayout(&layout, iLayout);
    for (int y = 0; y < cBoardRows; y++) {
        for (int x = 0; x < cBoardColumns; x++) {
            const int nKind = s_record.boardCurrent.aCell[y][x].nKind;
            if (IsCellPosition(x, y) && nKind != layout.aCell[y][x].nKind)
                show.SetCellKind(x, y, nKind);
        }
    }
    show.RebuildPieces(s_record.boardCurrent);
    show.RefreshTrays(s_record.boardCurrent);
    CheckGameOver();
    EndTurn();

    show.EndUpdate();
    if (g_settings.fSound) show.PlaySound(WAVE_NEWGAME);
    return true;
}
