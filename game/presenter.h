// What the rules ask of the board display when a move is shown.
//
// The rules never draw: ApplyMove with fShow calls these operations before it changes the
// board, and the display turns them into timeline entries. Pieces are named by the cell
// they stand on at the time of the call (on the practice strip, its column and row 0).
#pragma once

class Presenter {
public:
    virtual ~Presenter() = default;

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

    virtual void PlaySound(int idWave) = 0;
};

// The display of the main board, used when ApplyMove is asked to show a move without a
// presenter of its own. Set by the program once its display exists; null before.
void SetDefaultPresenter(Presenter* pPresenter);
Presenter* GetDefaultPresenter();

// Sound of a cell breaking.
constexpr int WAVE_BREAK = 119;
// Frames between the starts of neighbouring pieces of a line when animation is on.
constexpr int CASCADE_DELAY = 3;
