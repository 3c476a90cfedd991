#include "gameui/human.h"

#include "anim/cea_object.h"
#include "anim/cea_window.h"
#include "foundation/memmgr.h"
#include "game/game.h"
#include "game/history.h"
#include "game/rules.h"
#include "game/settings.h"
#include "gameui/display.h"
#include "gameui/graphics.h"
#include "gameui/sounds.h"
#include "host/window.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <numbers>

using namespace host;

namespace {

constexpr int cMaxSelected = 3;

struct DRAGSTATE {
    bool fDragging = false;
    AnimWindow* pWindow = nullptr; // the window of the last touch
    HWND hwnd = nullptr;
    LONG rgnSerial[cMaxSelected] = {}; // the selection, anchor first; 0 = free
    int nDir = DIR_NONE;               // the direction shown
    POINT ptTouch = {};
    POINT ptRest = {};
};

DRAGSTATE s_drag;

struct BINDING {
    AnimWindow* pWindow;
    HWND hwnd; // never reused, so a binding outliving its window matches nothing
    BoardDisplay* pDisplay;
};
BINDING s_rgBinding[4] = {};

int DataOf(const AnimObject* pObject, DWORD i) {
    return static_cast<int>(reinterpret_cast<std::intptr_t>(pObject->GetData(i)));
}

// The strip of a practice window, or null on the main board.
STRIP* StripOf(AnimWindow* pWindow) {
    return static_cast<STRIP*>(pWindow->GetData(0));
}

// The drag window while it still exists.
AnimWindow* DragWindow() {
    if (s_drag.pWindow == nullptr || AnimWindow::FromHandle(s_drag.hwnd) != s_drag.pWindow)
        return nullptr;
    return s_drag.pWindow;
}

int SelectedCount() {
    int c = 0;
    for (LONG nSerial : s_drag.rgnSerial)
        c += nSerial != 0 ? 1 : 0;
    return c;
}

AnimObject* PieceBySerial(AnimWindow* pWindow, LONG nSerial) {
    if (pWindow == nullptr || nSerial == 0) return nullptr;
    for (AnimObject* p = pWindow->FirstObjectOfDepth(DEPTH_PIECE); p != nullptr; p = p->GetNext())
        if (DataOf(p, PIECEDATA_SERIAL) == nSerial) return p;
    return nullptr;
}

AnimObject* Selected(int i) {
    return PieceBySerial(DragWindow(), s_drag.rgnSerial[i]);
}

CELLPOS CellOf(const AnimObject* pPiece) {
    return CELLPOS{DataOf(pPiece, PIECEDATA_X), DataOf(pPiece, PIECEDATA_Y)};
}

void ShowFrame(AnimObject* pPiece, int iFrame) {
    const int nColor = DataOf(pPiece, PIECEDATA_COLOR);
    if (nColor < 0 || nColor >= cPieceColors) return;
    Graphic* pPicture = GameGraphics().rgpPiece[nColor][iFrame];
    // Automatic: the window draws the picture itself (a piece has no procedure to draw it).
    if (pPicture != nullptr) pPiece->SetGraphic(pPicture, TRUE);
    pPiece->Invalidate();
}

void PlayEffect(BoardDisplay* pDisplay, int idWave) {
    if (pDisplay != nullptr && pDisplay->IsSoundOn()) pDisplay->PlaySound(idWave);
}

void DestroyArrows(AnimWindow* pWindow) {
    while (AnimObject* p = pWindow->FirstObjectOfDepth(DEPTH_ARROW))
        MemDelete(p);
}

// ---- The board or the strip, whichever the window shows --------------------------------

struct PLACE {
    const BOARD* pBoard;
    const STRIP* pStrip;

    bool IsReal(int x, int y) const {
        return pStrip != nullptr ? IsOnBoard(*pStrip, x, y) : IsOnBoard(*pBoard, x, y);
    }
    int PieceAt(int x, int y) const {
        return pStrip != nullptr ? pStrip->aCell[x].nPiece : pBoard->aCell[y][x].nPiece;
    }
    STEP Step(int nDir) const {
        return pStrip != nullptr ? StepOf(nDir, *pStrip) : StepOf(nDir, *pBoard);
    }
};

PLACE PlaceOf(AnimWindow* pWindow) {
    const STRIP* pStrip = StripOf(pWindow);
    return PLACE{pStrip != nullptr ? nullptr : &CurrentBoard(), pStrip};
}

// The move the selection makes in nDir; false when a selected piece has gone.
bool BuildMove(int nDir, MOVE* pMove) {
    *pMove = MOVE{0, 0, nDir, 0, 0, 0, 0};
    std::int32_t* rgpX[cMaxSelected] = {&pMove->x, &pMove->x2, &pMove->x3};
    std::int32_t* rgpY[cMaxSelected] = {&pMove->y, &pMove->y2, &pMove->y3};
    for (int i = 0; i < cMaxSelected; ++i) {
        if (s_drag.rgnSerial[i] == 0) continue;
        AnimObject* pPiece = Selected(i);
        if (pPiece == nullptr) return false;
        const CELLPOS cell = CellOf(pPiece);
        *rgpX[i] = cell.x;
        *rgpY[i] = cell.y;
    }
    return true;
}

// The whole move, as it would be played now.
bool IsWholeMoveLegal(AnimWindow* pWindow, int nDir) {
    MOVE move;
    if (nDir < 0 || nDir > 5 || !BuildMove(nDir, &move)) return false;
    if (const STRIP* pStrip = StripOf(pWindow))
        return IsInlineMove(move) && CheckMove(*pStrip, move.x, move.y, nDir);
    return IsLegalMove(CurrentBoard(), move, SideToMove(), g_settings.fModern);
}

// ---- Arrows ------------------------------------------------------------------------------

void PlaceArrow(BoardDisplay* pDisplay, int x, int y, int iFrame) {
    Graphic* pPicture = GameGraphics().rgpArrow[iFrame];
    AnimObject* pArrow = MemNew(AnimObject, pDisplay->GetWindow(), pPicture, DEPTH_ARROW);
    if (pArrow == nullptr) return;
    const int cx = pPicture != nullptr ? pPicture->GetWidth() : cxArrow;
    const int cy = pPicture != nullptr ? pPicture->GetHeight() : cyArrow;
    const POINT pt = pDisplay->CellOrigin(x, y);
    const int xCentre = pt.x + cxCell / 2;
    const int yCentre = pt.y + cyCell / 2;
    RECT rc = {xCentre - cx / 2, yCentre - cy / 2, xCentre - cx / 2 + cx, yCentre - cy / 2 + cy};
    pArrow->SetRect(&rc);
}

void ShowArrows(BoardDisplay* pDisplay, AnimObject* pPiece, int nDir, bool fSound, bool fSeveral,
                bool fRemoveOld) {
    AnimWindow* pWindow = pDisplay->GetWindow();
    pWindow->BeginUpdate();
    if (fRemoveOld) DestroyArrows(pWindow);
    AnimObject* pAnchor = Selected(0);
    if (nDir >= 0 && nDir <= 5 && pAnchor != nullptr) {
        const PLACE place = PlaceOf(pWindow);
        const STEP step = place.Step(nDir);
        const int c = DataOf(pAnchor, PIECEDATA_COLOR);
        CELLPOS cell = CellOf(pPiece);
        bool fDone = false;
        while (place.IsReal(cell.x, cell.y) && place.PieceAt(cell.x, cell.y) == c) {
            PlaceArrow(pDisplay, cell.x, cell.y, nDir);
            cell = {cell.x + step.dx, cell.y + step.dy};
            if (fSeveral) {
                fDone = true;
                break;
            }
        }
        const CELLPOS next = {cell.x + step.dx, cell.y + step.dy};
        if (!fDone && place.IsReal(cell.x, cell.y) && place.PieceAt(cell.x, cell.y) == 1 - c &&
            place.IsReal(next.x, next.y) && place.PieceAt(next.x, next.y) == c) {
            PlaceArrow(pDisplay, cell.x, cell.y, iArrowBreak);
            fDone = true;
            fSound = false;
        }
        while (!fDone && place.IsReal(cell.x, cell.y) && place.PieceAt(cell.x, cell.y) == 1 - c) {
            PlaceArrow(pDisplay, cell.x, cell.y, nDir);
            cell = {cell.x + step.dx, cell.y + step.dy};
        }
    }
    if (fSound) PlayEffect(pDisplay, SOUND_CLICK);
    pWindow->EndUpdate();
}

// The arrows of the whole selection for nDir (none: only the old ones go).
void ShowSelectionArrows(BoardDisplay* pDisplay, int nDir) {
    const bool fSeveral = SelectedCount() > 1;
    ShowArrows(pDisplay, Selected(0), nDir, true, fSeveral, true);
    for (int i = 1; i < cMaxSelected; ++i) {
        if (AnimObject* pPiece = Selected(i))
            ShowArrows(pDisplay, pPiece, nDir, false, fSeveral, false);
    }
}

// ---- Touch, drag, release ---------------------------------------------------------------

bool IsMainWindow(AnimWindow* pWindow) {
    return StripOf(pWindow) == nullptr;
}

void RefreshStatusOf(BoardDisplay* pDisplay) {
    // The strip's window has no status line.
    if (!pDisplay->IsStrip()) pDisplay->RefreshStatus();
}

bool MayTouch(AnimWindow* pWindow, AnimObject* pPiece) {
    const int nColor = DataOf(pPiece, PIECEDATA_COLOR);
    if (!IsMainWindow(pWindow)) return nColor == PIECE_BLUE && !s_drag.fDragging;
    if (nColor != SideToMove() || IsComputerSide(nColor)) return false;
    if (!s_drag.fDragging) return true;
    for (LONG nSerial : s_drag.rgnSerial) {
        if (nSerial == DataOf(pPiece, PIECEDATA_SERIAL)) return false;
    }
    AnimObject* pAnchor = Selected(0);
    AnimObject* pSecond = Selected(1);
    if (pAnchor == nullptr || (s_drag.rgnSerial[1] != 0 && pSecond == nullptr)) return false;
    const CELLPOS second = pSecond != nullptr ? CellOf(pSecond) : CELLPOS{};
    return CanJoinSelection(CellOf(pAnchor), pSecond != nullptr ? &second : nullptr,
                            CellOf(pPiece));
}

void Touch(BoardDisplay* pDisplay, AnimWindow* pWindow, HWND hwnd, POINT pt) {
    if (s_drag.fDragging && (SelectedCount() == cMaxSelected || pWindow != DragWindow())) {
        RefreshStatusOf(pDisplay);
        return;
    }
    AnimObject* pPiece = pDisplay->PieceAtPoint(pt);
    if (pPiece == nullptr) {
        RefreshStatusOf(pDisplay);
        return;
    }
    if (!MayTouch(pWindow, pPiece)) return;

    pWindow->BeginUpdate();
    ShowFrame(pPiece, PIECE_LIFTED);
    pWindow->EndUpdate();
    PlayEffect(pDisplay, SOUND_PICKUP);

    const bool fAdding = s_drag.fDragging;
    if (!fAdding) {
        SetCapture(hwnd);
        s_drag = DRAGSTATE{};
        s_drag.fDragging = true;
        s_drag.pWindow = pWindow;
        s_drag.hwnd = hwnd;
        s_drag.ptTouch = s_drag.ptRest = pt;
    }
    for (LONG& nSerial : s_drag.rgnSerial) {
        if (nSerial == 0) {
            nSerial = DataOf(pPiece, PIECEDATA_SERIAL);
            break;
        }
    }
    // A direction shown for the smaller selection may not hold for this one.
    if (fAdding && s_drag.nDir != DIR_NONE) {
        if (!IsWholeMoveLegal(pWindow, s_drag.nDir)) s_drag.nDir = DIR_NONE;
        ShowSelectionArrows(pDisplay, s_drag.nDir);
    }
    RefreshStatusOf(pDisplay);
}

void Drag(BoardDisplay* pDisplay, POINT pt) {
    AnimObject* pAnchor = Selected(0);
    if (pAnchor == nullptr) return;
    RECT rc;
    pAnchor->GetRect(&rc);
    const int xCentre = rc.left + (rc.right - rc.left) / 2;
    const int yCentre = rc.top + (rc.bottom - rc.top) / 2;
    int nDir = DirectionOfDrag(pt.x - xCentre, pt.y - yCentre, (rc.right - rc.left) / 2);

    if (nDir != DIR_NONE) {
        const PLACE place = PlaceOf(pDisplay->GetWindow());
        const bool fStep = SelectedCount() > 1;
        for (int i = 0; i < cMaxSelected && nDir != DIR_NONE; ++i) {
            if (s_drag.rgnSerial[i] == 0) continue;
            AnimObject* pPiece = Selected(i);
            const CELLPOS cell = pPiece != nullptr ? CellOf(pPiece) : CELLPOS{};
            const bool fLegal =
                pPiece != nullptr &&
                (place.pStrip != nullptr
                     ? CheckMove(*place.pStrip, cell.x, cell.y, nDir)
                     : CheckMove(*place.pBoard, cell.x, cell.y, nDir, fStep, nullptr));
            if (!fLegal) nDir = DIR_NONE;
        }
    }
    if (nDir != s_drag.nDir) ShowSelectionArrows(pDisplay, nDir);
    s_drag.nDir = nDir;
}

void RestCheck(HWND hwnd, POINT pt) {
    if (std::abs(pt.x - s_drag.ptRest.x) <= STYLUS_REST_SLACK &&
        std::abs(pt.y - s_drag.ptRest.y) <= STYLUS_REST_SLACK)
        return;
    s_drag.ptRest = pt;
    KillTimer(hwnd, STYLUS_TIMER_ID);
    SetTimer(hwnd, STYLUS_TIMER_ID, STYLUS_REST_MS, nullptr);
}

// Drops the selection back and takes the arrows away; the drag state stays for the move.
void EndDrag() {
    const bool fCaptured = GetCapture() == s_drag.hwnd;
    s_drag.fDragging = false;
    if (fCaptured) ReleaseCapture();
    AnimWindow* pWindow = DragWindow();
    if (pWindow == nullptr) return;
    KillTimer(s_drag.hwnd, STYLUS_TIMER_ID);
    pWindow->BeginUpdate();
    for (int i = 0; i < cMaxSelected; ++i) {
        if (AnimObject* pPiece = Selected(i)) ShowFrame(pPiece, PIECE_RESTING);
    }
    DestroyArrows(pWindow);
    pWindow->EndUpdate();
}

void Release(BoardDisplay* pDisplay) {
    if (!s_drag.fDragging) return;
    EndDrag();
    PlayEffect(pDisplay, SOUND_PICKUP);
    AnimWindow* pWindow = DragWindow();
    if (pWindow == nullptr || pWindow != pDisplay->GetWindow() || s_drag.nDir == DIR_NONE) return;

    // Checked whole once more: a piece added after the arrows were drawn may have made the
    // shown direction a move along the line.
    MOVE move;
    if (!BuildMove(s_drag.nDir, &move) || !IsWholeMoveLegal(pWindow, s_drag.nDir)) return;
    if (STRIP* pStrip = StripOf(pWindow)) {
        ApplyMove(pStrip, move, true, pDisplay);
        pWindow->PlayToEnd();
    } else {
        PlayMove(move);
    }
}

int BoundHook(AnimWindow* pWindow, HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    for (const BINDING& binding : s_rgBinding) {
        if (binding.pWindow == pWindow && binding.hwnd == hwnd)
            return HandleStylus(binding.pDisplay, pWindow, hwnd, uMsg, wParam, lParam);
    }
    return 0;
}

} // namespace

int DirectionOfAngle(double dDegrees) {
    double d = std::fmod(dDegrees, 360.0);
    if (d < 0) d += 360.0;
    if (d >= 30.0 && d < 90.0) return 0;
    if (d >= 90.0 && d < 150.0) return 5;
    if (d >= 150.0 && d < 210.0) return 4;
    if (d >= 210.0 && d < 270.0) return 3;
    if (d >= 270.0 && d < 330.0) return 2;
    return 1;
}

int DirectionOfDrag(int dx, int dy, int nHalfWidth) {
    const double dDistance = std::hypot(static_cast<double>(dx), static_cast<double>(dy));
    if (dDistance <= nHalfWidth) return DIR_NONE;
    // Straight lines are exact; no other boundary falls on a whole pixel.
    if (dx == 0) return DirectionOfAngle(dy < 0 ? 90.0 : 270.0);
    if (dy == 0) return DirectionOfAngle(dx > 0 ? 0.0 : 180.0);
    double dAngle = std::atan2(-static_cast<double>(dy), static_cast<double>(dx));
    if (dAngle < 0) dAngle += 2 * std::numbers::pi;
    return DirectionOfAngle(dAngle * 180.0 / std::numbers::pi);
}

int HandleStylus(BoardDisplay* pDisplay, AnimWindow* pWindow, HWND hwnd, UINT uMsg, WPARAM wParam,
                 LPARAM) {
    if (pDisplay == nullptr || pWindow == nullptr || pDisplay->GetWindow() != pWindow) return 0;
    // A drag whose window has gone ends with it.
    if (s_drag.fDragging && DragWindow() == nullptr) s_drag = DRAGSTATE{};

    const DWORD dwPos = GetMessagePos();
    POINT pt = {static_cast<short>(LOWORD(dwPos)), static_cast<short>(HIWORD(dwPos))};
    ScreenToClient(hwnd, &pt);

    switch (uMsg) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: // the window's class has double clicks: a quick second tap
        if (g_game.fInProgress || !IsMainWindow(pWindow)) Touch(pDisplay, pWindow, hwnd, pt);
        break;
    case WM_MOUSEMOVE:
        if (s_drag.fDragging && pWindow == DragWindow()) {
            Drag(pDisplay, pt);
            RestCheck(hwnd, pt);
        }
        break;
    case WM_TIMER:
        if (wParam != STYLUS_TIMER_ID) break;
        KillTimer(hwnd, STYLUS_TIMER_ID);
        if (g_game.fInProgress && s_drag.fDragging) Touch(pDisplay, pWindow, hwnd, pt);
        break;
    case WM_LBUTTONUP:
        Release(pDisplay);
        KillTimer(hwnd, STYLUS_TIMER_ID);
        break;
    case WM_RBUTTONDOWN:
        if (g_game.fInProgress && s_drag.fDragging) Touch(pDisplay, pWindow, hwnd, pt);
        break;
    case WM_DESTROY:
        if (pWindow == s_drag.pWindow) {
            if (s_drag.fDragging && GetCapture() == hwnd) ReleaseCapture();
            s_drag = DRAGSTATE{};
        }
        break;
    default:
        break;
    }
    return 0;
}

bool AttachStylus(AnimWindow* pWindow, BoardDisplay* pDisplay, DWORD dwFilter) {
    if (pWindow == nullptr) return false;
    const HWND hwnd = pWindow->GetHandle();
    BINDING* pFree = nullptr;
    for (BINDING& binding : s_rgBinding) {
        if (binding.hwnd != nullptr && AnimWindow::FromHandle(binding.hwnd) != binding.pWindow)
            binding = BINDING{}; // its window has gone
        if (binding.pWindow == pWindow && binding.hwnd == hwnd) {
            binding.pDisplay = pDisplay;
            return true;
        }
        if (pFree == nullptr && binding.pWindow == nullptr) pFree = &binding;
    }
    if (pFree == nullptr) return false;
    *pFree = BINDING{pWindow, hwnd, pDisplay};
    pWindow->AddHook(&BoundHook, dwFilter);
    return true;
}

void DetachStylus(AnimWindow* pWindow) {
    for (BINDING& binding : s_rgBinding) {
        if (binding.pWindow != pWindow || pWindow == nullptr) continue;
        const bool fAlive = AnimWindow::FromHandle(binding.hwnd) == pWindow;
        if (fAlive && pWindow == s_drag.pWindow) CancelStylusDrag();
        if (fAlive) pWindow->RemoveHook(&BoundHook);
        binding = BINDING{};
    }
}

bool IsStylusDragging() {
    if (s_drag.fDragging && DragWindow() == nullptr) s_drag = DRAGSTATE{};
    return s_drag.fDragging;
}

bool CancelStylusDrag() {
    if (!IsStylusDragging()) return false;
    EndDrag();
    s_drag.nDir = DIR_NONE;
    return true;
}
