// What the game asks of the board display: the animation of a move, and the redraws, the
// schedule and the sounds of the game's flow.
//
// The rules and the game never draw: ApplyMove with fShow calls the move operations before
// it changes the board, and the display turns them into timeline entries. Pieces are named by
// the cell they stand on at the time of the call (on the practice strip, its column and row
// 0). The game's flow (new game, turns, Undo and Redo, the saved game) uses the rest; all of
// it runs on the user-interface thread.
//
// The display answers two timeline events that the game schedules:
//   event 8 (ScheduleUpdate): RefreshTrays with the current board, then CheckGameOver;
//   event 9 (ScheduleComputerTurn): set the computer-may-start flag; after the next frame
//     has been painted, clear it and call StartComputerTurn.
// The tutorial's presenter for the practice strip needs only the move operations; the game's
// operations do nothing unless a presenter overrides them.
#pragma once

struct BOARD;

class Presenter {
public:
    virtual ~Presenter() = default;

    // ---- Showing a move --------------------------------------------------------------------

    // The settings that shape the animation.
    virtual bool IsAnimateOn() = 0;
    virtual bool IsSoundOn() = 0;

    // The frame at which the animation schedule currently ends.
    virtual int GetEndFrame() = 0;

    // Glides the piece on (x, y) one cell in nDir from frame nStart (-1: the end frame).
    // nMover is the piece's own colour (0 Blue, 1 Red, 2 green). Returns the frame after
    // the glide's end event.
    virtual int GlidePiece(int x, int y, int nDir, int nMover, int nStart) = 0;

    // Lets the piece on (x, y) fall away from frame nStart (-1: the end frame); returns
    // the frame after the fall.
    virtual int StartFall(int x, int y, int nStart) = 0;

    // Redraws a cell as the given kind.
    virtual void SetCellKind(int x, int y, int nKind) = 0;

    // Plays a WAVE resource once. Callers check the sound setting first.
    virtual void PlaySound(int idWave) = 0;

    // ---- The game's flow on the main board -------------------------------------------------

    // Redraws every cell of the board as layout iLayout starts (its goals and holes). Cells
    // that broke during a game are then redrawn one by one with SetCellKind.
    virtual void RedrawCells(int /*iLayout*/) {}

    // Replaces every piece picture by the pieces standing on the board, at rest.
    virtual void RebuildPieces(const BOARD& /*board*/) {}

    // Recounts the pieces each side has lost on the board and rebuilds the markers of the
    // captured-piece trays. The end-of-game test is not part of it.
    virtual void RefreshTrays(const BOARD& /*board*/) {}

    // Shows status image nStatus (STATUS_*, game/game.h) unless a button is held down.
    virtual void RefreshStatus(int /*nStatus*/) {}

    // Schedules event 8 (the end-of-game test) and event 9 (the computer's turn) at the
    // frame where the schedule ends now; an event scheduled earlier fires first.
    virtual void ScheduleUpdate() {}
    virtual void ScheduleComputerTurn() {}

    // Plays the schedule to its end at once: every pending movement and event takes effect
    // before this returns.
    virtual void RunToEnd() {}

    // Lock and unlock repainting of the main window; calls nest.
    virtual void BeginUpdate() {}
    virtual void EndUpdate() {}
};

// The display of the main board, used when ApplyMove is asked to show a move without a
// presenter of its own, and by the game's flow. Set by the program once its display exists;
// null before.
void SetDefaultPresenter(Presenter* pPresenter);
Presenter* GetDefaultPresenter();

// Sounds (WAVE resources).
constexpr int WAVE_NEWGAME = 115; // a game starts or is restored
constexpr int WAVE_LOSE = 118;    // the game ends and the winner is not a person
constexpr int WAVE_BREAK = 119;   // a cell breaks
constexpr int WAVE_WIN = 121;     // the game ends and the winner is a person

// Frames between the starts of neighbouring pieces of a line when animation is on.
constexpr int CASCADE_DELAY = 3;
