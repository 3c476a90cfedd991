// The board display: the board, its pieces and everything around them as animated objects
// of one AnimWindow, and every change of a move turned into timeline entries.
//
// One display serves either the main window (the 61 cells, positions from the layout of the
// board image) or a tutorial window with the practice strip (6 cells, one row, 168 × 23
// pixels centred in the window). Pieces are depth-99 objects whose data slots hold their
// column, row and colour; a glide stores the destination at once, so a piece is always
// found at the cell it is going to.
//
// Timeline events go through the window callback's event 5: the program passes them to
// OnTimelineEvent (value = code, second value = parameter). A piece's parameter is its
// serial number, never its address, so an event that outlives its piece finds nothing.
// Rebuilding the pieces cancels their pending events and silences the rolling sounds.
//
// Everything runs on the window's thread, after LoadGraphics.
#pragma once

#include "anim/cea_window.h"
#include "game/presenter.h"
#include "gameui/graphics.h"

struct BOARD;
struct STRIP;
class AnimObject;

// Object depths (smaller is nearer the viewer).
constexpr LONG DEPTH_LOGO = 1;
constexpr LONG DEPTH_BUTTON = 80;
constexpr LONG DEPTH_STATUS = 90;
constexpr LONG DEPTH_ARROW = 95;
constexpr LONG DEPTH_PIECE = 99;
constexpr LONG DEPTH_MARKER = 101;
constexpr LONG DEPTH_CELL = 102;
constexpr LONG DEPTH_RIPPLE = 110;

// Data slots of a piece (depth 99); slot 3 is its serial number, the events' parameter.
constexpr DWORD PIECEDATA_X = 0;
constexpr DWORD PIECEDATA_Y = 1;
constexpr DWORD PIECEDATA_COLOR = 2;
constexpr DWORD PIECEDATA_SERIAL = 3;

// Timeline event codes (window callback event 5, value).
constexpr int DISPLAYEVENT_FALL = 1;      // parameter: the falling piece
constexpr int DISPLAYEVENT_GLIDEBLUE = 2; // a glide starts, mover 0, 1, 2 (codes 2 to 4)
constexpr int DISPLAYEVENT_GLIDEEND = 5;  // a glide ends, mover 0, 1, 2 (codes 5 to 7)
constexpr int DISPLAYEVENT_UPDATE = 8;    // RefreshTrays, then CheckGameOver
constexpr int DISPLAYEVENT_COMPUTER = 9;  // the computer may start after the next paint

// PlayUiSound's kinds.
constexpr int UISOUND_CLICK = 0;   // WAVE 117
constexpr int UISOUND_CONFIRM = 1; // WAVE 116
constexpr int UISOUND_REFUSE = 2;  // WAVE 125

// The button held down (0 to 5), or -1 when none is. Set by the button row.
using HeldButtonQuery = int (*)();

class BoardDisplay : public Presenter {
public:
    // pStrip null: the main board of the game (CurrentBoard). Otherwise the practice strip
    // the tutorial owns, which must outlive the display. pArt: the picture and layout
    // tables (tests give their own).
    explicit BoardDisplay(AnimWindow* pWindow, STRIP* pStrip = nullptr,
                          const GAMEGRAPHICS* pArt = &GameGraphics());
    ~BoardDisplay() override;
    BoardDisplay(const BoardDisplay&) = delete;
    BoardDisplay& operator=(const BoardDisplay&) = delete;

    AnimWindow* GetWindow() const { return m_pWindow; }
    bool IsStrip() const { return m_pStrip != nullptr; }

    // ---- Places and pieces
    // Top-left of a piece's picture on (x, y); cells one step off the board are
    // extrapolated. The centre is the origin plus (11, 11).
    host::POINT CellOrigin(int x, int y) const;
    AnimObject* PieceAtCell(int x, int y) const;
    AnimObject* PieceAtPoint(host::POINT pt) const;

    // ---- Presenter
    bool IsAnimateOn() override;
    bool IsSoundOn() override;
    int GetEndFrame() override;
    int GlidePiece(int x, int y, int nDir, int nMover, int nStart) override;
    int StartFall(int x, int y, int nStart) override;
    void SetCellKind(int x, int y, int nKind) override;
    void PlaySound(int idWave) override;
    void RedrawCells(int iLayout) override;
    void RebuildPieces(const BOARD& board) override;
    void RefreshTrays(const BOARD& board) override;
    void RefreshStatus(int nStatus) override;
    void ScheduleUpdate() override;
    void ScheduleComputerTurn() override;
    void RunToEnd() override;
    void BeginUpdate() override;
    void EndUpdate() override;

    // ---- Display operations
    // The glide of one piece; returns the frame after its end event.
    int GlideObject(AnimObject* pPiece, int nDir, int nMover, int nStart);
    // Event 1 at nStart (-1: the end frame) and 2, 4 and 6 frames later; returns nStart + 7.
    int FallObject(AnimObject* pPiece, int nStart);
    // The strip's pieces (tutorial).
    void RebuildPieces(const STRIP& strip);
    // Pieces, trays and every cell's picture from the board.
    void RebuildBoard(const BOARD& board);
    // Draws the kind's picture for (x, y) of pWindow's geometry straight into pTarget (the
    // tutorial's background).
    void DrawCellKind(Graphic* pTarget, int x, int y, int nKind) const;
    // RefreshTrays with the current board, then the end-of-game test.
    void UpdateCaptures();
    // The status line afresh, from the game's state.
    void RefreshStatus();
    void PlayUiSound(int nUiSound);
    void AddRipple(bool fLarge);
    void CreateTrays();
    void RemoveTrays();

    // Window callback event 5; returns 1 (the timeline goes on).
    int OnTimelineEvent(LPARAM lValue, LPARAM lSecond);

    // Set by event 9; the program takes it after a painted frame and starts the computer.
    bool IsComputerMayStart() const { return m_fComputerMayStart; }
    void ClearComputerMayStart() { m_fComputerMayStart = false; }

    // The button row tells which button is held (none until it sets one).
    void SetHeldButtonQuery(HeldButtonQuery pfn) { m_pfnHeldButton = pfn; }

    // Glides in progress by mover colour (Blue, Red), and live ripples.
    int GetRollingCount(int nMover) const;
    int GetLiveRipples(bool fLarge) const { return m_cRipples[fLarge ? 1 : 0]; }

protected:
    // The sound seam: the game's sound slots. Tests record here.
    virtual void StartSound(int idWave);
    virtual void StopSound(int idWave);

private:
    static int RippleProc(AnimObject* pObject, UINT uMsg, LPARAM lParam);
    AnimObject* PieceBySerial(LONG nSerial) const;
    AnimObject* NewPiece(int x, int y, int nColor);
    void DestroyPieces();
    void RebuildMarkers(int nColor, int cLost, bool fGreenFirst);
    void SetStatusImage(int iImage);
    host::POINT StripOrigin(int x) const;

    AnimWindow* m_pWindow;
    // The window's handle, kept to learn whether the window still lives when we go.
    host::HWND m_hwnd;
    STRIP* m_pStrip;
    const GAMEGRAPHICS* m_pArt;
    AnimObject* m_rgpCell[cLayoutRows][cLayoutColumns] = {};
    int m_rgnShownKind[cLayoutRows][cLayoutColumns] = {};
    AnimObject* m_pStatus = nullptr;
    AnimObject* m_rgpTray[cLayoutTrays] = {};
    int m_cRolling[2] = {};
    int m_cRipples[2] = {}; // small, large
    int m_yRippleTop = -1;  // the large ripples' band top, computed once
    int m_nStatus = 0;      // the last status the game gave
    LONG m_nNextSerial = 1;
    bool m_fComputerMayStart = false;
    HeldButtonQuery m_pfnHeldButton = nullptr;
};
