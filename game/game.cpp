#include "game/game.h"

#include "game/computer.h"
#include "game/history.h"
#include "game/presenter.h"
#include "game/settings.h"

GAMESTATE g_game = {0, WINNER_NONE, REASON_LOST};

namespace {

// Stands in for the display until the program has one (and in tools and tests without one).
class SilentPresenter final : public Presenter {
public:
    bool IsAnimateOn() override { return false; }
    bool IsSoundOn() override { return false; }
    int GetEndFrame() override { return 0; }
    int GlidePiece(int, int, int, int, int nStart) override { return nStart < 0 ? 0 : nStart; }
    int StartFall(int, int, int nStart) override { return nStart < 0 ? 0 : nStart; }
    void SetCellKind(int, int, int) override {}
    void PlaySound(int) override {}
};

SilentPresenter s_silent;

// The computer's turn asked for by EndTurn and not yet started or withdrawn.
bool s_fComputerTurnDue = false;

bool HoldsPiece(const BOARD& board, int x, int y, int nSide) {
    return IsCellPosition(x, y) && IsOnBoard(board, x, y) && board.aCell[y][x].nPiece == nSide;
}

} // namespace

Presenter& GamePresenter() {
    Presenter* pPresenter = GetDefaultPresenter();
    return pPresenter != nullptr ? *pPresenter : s_silent;
}

bool IsComputerSide(int nSide) {
    return (nSide == PLAYER_BLUE || nSide == PLAYER_RED) &&
           g_settings.aPlayer[nSide].fComputer != 0;
}

int GameStatus() {
    if (g_game.fInProgress) {
        const int nSide = SideToMove();
        if (IsComputerSide(nSide)) return STATUS_COMPUTER;
        return nSide == PLAYER_BLUE ? STATUS_BLUE : STATUS_RED;
    }
    if (g_game.iWinner == PLAYER_BLUE) return STATUS_BLUEWON;
    if (g_game.iWinner == PLAYER_RED) return STATUS_REDWON;
    return STATUS_ENDED;
}

bool IsLegalMove(const BOARD& board, const MOVE& move, int nSide, bool fModern) {
    if (nSide != PLAYER_BLUE && nSide != PLAYER_RED) return false;
    if (move.nDir < 0 || move.nDir > 5 || !HoldsPiece(board, move.x, move.y, nSide)) return false;
    const CELLPOS first{move.x, move.y};
    const CELLPOS second{move.x2, move.y2};
    const CELLPOS third{move.x3, move.y3};
    const bool fThird = !(third.x == 0 && third.y == 0);
    if (IsInlineMove(move))
        return !fThird && CheckMove(board, move.x, move.y, move.nDir, false, nullptr, fModern);

    // Joining the selection keeps the pieces distinct and in one row.
    if (!HoldsPiece(board, second.x, second.y, nSide) || !CanJoinSelection(first, nullptr, second))
        return false;
    if (fThird &&
        (!HoldsPiece(board, third.x, third.y, nSide) || !CanJoinSelection(first, &second, third)))
        return false;
    const CELLPOS aPieces[3] = {first, second, third};
    for (int i = 0; i < (fThird ? 3 : 2); i++) {
        if (!CheckMove(board, aPieces[i].x, aPieces[i].y, move.nDir, true, nullptr, fModern))
            return false;
    }
    return true;
}

void StopComputer() {
    s_fComputerTurnDue = false;
    AbandonSearch();
}

void NewGame(int iLayout, int fModern) {
    Presenter& show = GamePresenter();
    show.BeginUpdate();
    StopComputer();

    // The display draws layouts by index; an unknown one is the plain Classic board anyway.
    if (iLayout < 0 || iLayout >= cLayouts) iLayout = LAYOUT_CLASSIC;
    g_settings.iBoard = iLayout;
    g_settings.fModern = fModern;
    g_game.fInProgress = 1;
    g_game.iWinner = WINNER_NONE;

    BOARD& board = CurrentBoard();
    SetUpLayout(&board, iLayout);
    PlacePieces(&board, iLayout);
    show.RedrawCells(iLayout);
    show.RebuildPieces(board);
    ResetRecord();

    show.RefreshTrays(board);
    CheckGameOver();
    EndTurn();

    show.EndUpdate();
    if (g_settings.fSound) show.PlaySound(WAVE_NEWGAME);
}

void EndTurn() {
    Presenter& show = GamePresenter();
    if (g_game.fInProgress && IsComputerSide(SideToMove())) {
        // Event 9 comes after every animation already scheduled, and after the event 8 of
        // the move just played, so the end-of-game test runs before the search starts.
        s_fComputerTurnDue = true;
        show.ScheduleComputerTurn();
    }
    show.RefreshStatus(GameStatus());
    SaveGame();
}

void CheckGameOver() {
    if (!g_game.fInProgress) return;
    int iWinner;
    int iReason;
    if (FindGameEnd(CurrentBoard(), &iWinner, &iReason)) EndGame(iWinner, iReason);
}

void EndGame(int iWinner, int iReason) {
    Presenter& show = GamePresenter();
    g_game.fInProgress = 0;
    g_game.iWinner = iWinner;
    g_game.iReason = iReason;
    show.RefreshStatus(GameStatus());
    if (g_settings.fSound) show.PlaySound(IsComputerSide(iWinner) ? WAVE_LOSE : WAVE_WIN);
    SaveGame();
}

bool PlayMove(const MOVE& move) {
    if (!g_game.fInProgress) return false;
    if (!IsLegalMove(CurrentBoard(), move, SideToMove(), g_settings.fModern != 0)) return false;
    // Room first: a move played but not recorded would give the same side the next turn.
    if (!ReserveMove()) return false;
    ApplyMove(&CurrentBoard(), move, true);
    AppendMove(move);
    GamePresenter().ScheduleUpdate();
    EndTurn();
    return true;
}

bool OnComputerMove(host::LPARAM lParam) {
    const MOVE* pPosted = reinterpret_cast<const MOVE*>(lParam);
    if (pPosted == nullptr || !g_game.fInProgress) return false;
    MOVE move;
    if (!TakeHandOver(pPosted, &move)) return false;
    return PlayMove(move);
}

bool StartComputerTurn() {
    if (!s_fComputerTurnDue) return false;
    s_fComputerTurnDue = false;
    const int nSide = SideToMove();
    if (!g_game.fInProgress || !IsComputerSide(nSide)) return false;
    StartSearch(CurrentBoard(), nSide);
    return true;
}
