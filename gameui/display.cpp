// The board display: places, pieces, glides, falls and the timeline's events. The status
// line, trays, markers and ripples are in display_scene.cpp.
#include "gameui/display.h"

#include "anim/cea_object.h"
#include "foundation/memmgr.h"
#include "game/board.h"
#include "game/game.h"
#include "game/history.h"
#include "game/settings.h"
#include "gameui/sounds.h"
#include "host/rect.h"

#include <cmath>
#include <cstdint>

using host::POINT;
using host::RECT;

namespace {

// The practice strip: 6 cells 29 pixels apart in a 168 × 23 band.
constexpr int cxStrip = 168;
constexpr int cyStrip = 23;
constexpr int cxStripStep = 29;

void* AsData(intptr_t n) {
    return reinterpret_cast<void*>(n);
}

int DataOf(const AnimObject* pObject, DWORD i) {
    return static_cast<int>(reinterpret_cast<intptr_t>(pObject->GetData(i)));
}

bool IsMover(int nMover) {
    return nMover >= PIECE_BLUE && nMover <= PIECE_GREEN;
}

} // namespace

BoardDisplay::BoardDisplay(AnimWindow* pWindow, STRIP* pStrip, const GAMEGRAPHICS* pArt)
    : m_pWindow(pWindow), m_hwnd(pWindow != nullptr ? pWindow->GetHandle() : nullptr),
      m_pStrip(pStrip), m_pArt(pArt) {
    for (auto& row : m_rgnShownKind) {
        for (int& nKind : row)
            nKind = -1;
    }
}

BoardDisplay::~BoardDisplay() {
    // The window owns the objects and may outlive us: its ripples must not call back.
    if (m_pWindow == nullptr || AnimWindow::FromHandle(m_hwnd) != m_pWindow) return;
    for (AnimObject* p = m_pWindow->FirstObjectOfDepth(DEPTH_RIPPLE); p != nullptr;
         p = p->GetNext())
        p->SetData(4, nullptr);
}

// ---- Places ---------------------------------------------------------------------------

POINT BoardDisplay::StripOrigin(int x) const {
    RECT rc;
    m_pWindow->GetRect(&rc);
    const int left = (rc.right - rc.left - cxStrip) / 2;
    const int top = (rc.bottom - rc.top - cyStrip) / 2;
    return POINT{left + cxStripStep * x, top};
}

POINT BoardDisplay::CellOrigin(int x, int y) const {
    if (IsStrip()) return StripOrigin(x);
    const LAYOUT& layout = m_pArt->layout;
    auto table = [&](int tx, int ty) {
        if (tx < 0 || tx >= cLayoutColumns || ty < 0 || ty >= cLayoutRows) return POINT{0, 0};
        return layout.rgptCell[ty][tx];
    };
    if (y >= 0 && y < cLayoutRows) {
        const int nIndent = y < 4 ? 4 - y : y - 4;
        if (x < nIndent) {
            POINT pt = table(x + 2, y);
            return POINT{2 * pt.x - table(x + 4, y).x, pt.y};
        }
        if (x > cLayoutColumns - 1 - nIndent) {
            POINT pt = table(x - 2, y);
            return POINT{2 * pt.x - table(x - 4, y).x, pt.y};
        }
        return table(x, y);
    }
    if (y >= cLayoutRows) {
        POINT pt = table(x, y - 2);
        return POINT{pt.x, 2 * pt.y - table(x, y - 4).y};
    }
    POINT pt = table(x, y + 2);
    return POINT{pt.x, 2 * pt.y - table(x, y + 4).y};
}

AnimObject* BoardDisplay::PieceAtCell(int x, int y) const {
    for (AnimObject* p = m_pWindow->FirstObjectOfDepth(DEPTH_PIECE); p != nullptr;
         p = p->GetNext()) {
        if (DataOf(p, PIECEDATA_X) == x && DataOf(p, PIECEDATA_Y) == y) return p;
    }
    return nullptr;
}

AnimObject* BoardDisplay::PieceAtPoint(POINT pt) const {
    for (AnimObject* p = m_pWindow->FirstObjectOfDepth(DEPTH_PIECE); p != nullptr;
         p = p->GetNext()) {
        RECT rc;
        p->GetRect(&rc);
        if (host::rect::Contains(rc, pt)) return p;
    }
    return nullptr;
}

AnimObject* BoardDisplay::PieceBySerial(LONG nSerial) const {
    if (nSerial == 0) return nullptr;
    for (AnimObject* p = m_pWindow->FirstObjectOfDepth(DEPTH_PIECE); p != nullptr;
         p = p->GetNext()) {
        if (DataOf(p, PIECEDATA_SERIAL) == nSerial) return p;
    }
    return nullptr;
}

// ---- Pieces ---------------------------------------------------------------------------

AnimObject* BoardDisplay::NewPiece(int x, int y, int nColor) {
    AnimObject* pPiece =
        MemNew(AnimObject, m_pWindow, m_pArt->rgpPiece[nColor][PIECE_RESTING], DEPTH_PIECE);
    if (pPiece == nullptr) return nullptr;
    const POINT pt = CellOrigin(x, y);
    RECT rc = {pt.x, pt.y, pt.x + cxCell, pt.y + cyCell};
    pPiece->SetRect(&rc);
    pPiece->SetData(PIECEDATA_X, AsData(x));
    pPiece->SetData(PIECEDATA_Y, AsData(y));
    pPiece->SetData(PIECEDATA_COLOR, AsData(nColor));
    // Serial numbers stay positive and nonzero, even after wrapping.
    pPiece->SetData(PIECEDATA_SERIAL, AsData(m_nNextSerial));
    m_nNextSerial = m_nNextSerial == 0x7FFFFFFF ? 1 : m_nNextSerial + 1;
    return pPiece;
}

void BoardDisplay::DestroyPieces() {
    // Pending glide and fall events name pieces about to go, and a glide that never ends
    // would keep its rolling sound on: drop them all and start counting afresh.
    for (int nCode = DISPLAYEVENT_FALL; nCode <= DISPLAYEVENT_GLIDEEND + 2; ++nCode)
        m_pWindow->CancelEvent(nCode, 0);
    m_cRolling[0] = m_cRolling[1] = 0;
    StopSound(SOUND_ROLL_BLUE);
    StopSound(SOUND_ROLL_RED);
    // Destroying an object drops its scheduled rectangles.
    while (AnimObject* p = m_pWindow->FirstObjectOfDepth(DEPTH_PIECE))
        MemDelete(p);
}

void BoardDisplay::RebuildPieces(const BOARD& board) {
    m_pWindow->BeginUpdate();
    DestroyPieces();
    for (int y = 0; y < cBoardRows; ++y) {
        for (int x = 0; x < cBoardColumns; ++x) {
            const int nPiece = board.aCell[y][x].nPiece;
            if (IsCellPosition(x, y) && IsMover(nPiece)) NewPiece(x, y, nPiece);
        }
    }
    m_pWindow->EndUpdate();
}

void BoardDisplay::RebuildPieces(const STRIP& strip) {
    m_pWindow->BeginUpdate();
    DestroyPieces();
    for (int x = 0; x < cStripCells; ++x) {
        const int nPiece = strip.aCell[x].nPiece;
        if (IsMover(nPiece)) NewPiece(x, 0, nPiece);
    }
    m_pWindow->EndUpdate();
}

void BoardDisplay::RebuildBoard(const BOARD& board) {
    m_pWindow->BeginUpdate();
    RebuildPieces(board);
    CreateTrays();
    for (int y = 0; y < cBoardRows; ++y) {
        for (int x = 0; x < cBoardColumns; ++x) {
            if (IsCellPosition(x, y)) SetCellKind(x, y, board.aCell[y][x].nKind);
        }
    }
    m_pWindow->EndUpdate();
}

void BoardDisplay::RedrawCells(int iLayout) {
    BOARD board;
    SetUpLayout(&board, iLayout);
    m_pWindow->BeginUpdate();
    CreateTrays();
    for (int y = 0; y < cBoardRows; ++y) {
        for (int x = 0; x < cBoardColumns; ++x) {
            if (IsCellPosition(x, y)) SetCellKind(x, y, board.aCell[y][x].nKind);
        }
    }
    m_pWindow->EndUpdate();
}

// ---- Cells ----------------------------------------------------------------------------

void BoardDisplay::SetCellKind(int x, int y, int nKind) {
    if (nKind < 0 || nKind >= cCellFrames) return;
    if (IsStrip()) {
        // The tutorial's cells are part of its background.
        if (x < 0 || x >= cStripCells) return;
        DrawCellKind(m_pWindow->GetBackground(), x, 0, nKind);
        m_pWindow->InvalidateAll();
        return;
    }
    if (!IsCellPosition(x, y)) return;
    Graphic* pPicture = m_pArt->rgpCell[nKind];
    AnimObject*& pCell = m_rgpCell[y][x];
    if (pCell != nullptr && m_rgnShownKind[y][x] == nKind) return;
    m_pWindow->BeginUpdate();
    if (pCell != nullptr) {
        pCell->SetGraphic(pPicture, 1);
    } else {
        pCell = MemNew(AnimObject, m_pWindow, pPicture, DEPTH_CELL);
        if (pCell != nullptr) {
            const POINT pt = CellOrigin(x, y);
            RECT rc = {pt.x, pt.y + 1, pt.x + cxCell, pt.y + 1 + cyCell};
            pCell->SetRect(&rc);
        }
    }
    if (pCell != nullptr) {
        pCell->SetFlags(OBJF_DRAW_IN_PART);
        m_rgnShownKind[y][x] = nKind;
    }
    m_pWindow->EndUpdate();
}

void BoardDisplay::DrawCellKind(Graphic* pTarget, int x, int y, int nKind) const {
    if (pTarget == nullptr || nKind < 0 || nKind >= cCellFrames) return;
    Graphic* pPicture = m_pArt->rgpCell[nKind];
    if (pPicture == nullptr) return;
    const POINT pt = CellOrigin(x, y);
    pPicture->DrawTo(pTarget, pt.x, pt.y + 1, 0, 0, cxCell, cyCell);
}

// ---- Glides and falls -----------------------------------------------------------------

int BoardDisplay::GlideObject(AnimObject* pPiece, int nDir, int nMover, int nStart) {
    const int nFirst = nStart < 0 ? GetEndFrame() : nStart;
    if (pPiece == nullptr || nDir < 0 || nDir > 5 || !IsMover(nMover)) return nFirst;
    const LONG nSerial = DataOf(pPiece, PIECEDATA_SERIAL);

    // The destination is known at once, so the piece behind finds this cell free.
    const int x = DataOf(pPiece, PIECEDATA_X);
    const int y = DataOf(pPiece, PIECEDATA_Y);
    const STEP step = IsStrip() ? StepOf(nDir, *m_pStrip) : kBoardSteps[nDir];
    pPiece->SetData(PIECEDATA_X, AsData(x + step.dx));
    pPiece->SetData(PIECEDATA_Y, AsData(y + step.dy));

    m_pWindow->ScheduleEvent(nFirst, DISPLAYEVENT_GLIDEBLUE + nMover, nSerial);

    RECT rc0;
    pPiece->GetRect(&rc0);
    const int cx = rc0.right - rc0.left;
    const int cy = rc0.bottom - rc0.top;
    const POINT ptTo = CellOrigin(x + step.dx, y + step.dy);
    const int dx = ptTo.x - rc0.left;
    const int dy = ptTo.y - rc0.top;
    int d =
        static_cast<int>(std::sqrt(static_cast<double>(dx) * dx + static_cast<double>(dy) * dy));
    if (d < 1) d = 1;
    int n = IsAnimateOn() ? static_cast<int>(m_pWindow->GetFrameRate() / 2.0) : 3;
    if (n < 1) n = 1;

    // Accelerate to halfway on one parabola, then run it backwards from the far end.
    const double a = 2.0 * d / (static_cast<double>(n) * n);
    const double v = 2.0 * d / n;
    auto s = [&](int i) { return (a * i * i - v * i + d / 2.0) / d; };
    int iFrame = nFirst;
    auto place = [&](double f) {
        const int left = rc0.left + static_cast<int>(f * dx);
        const int top = rc0.top + static_cast<int>(f * dy);
        RECT rc = {left, top, left + cx, top + cy};
        m_pWindow->ScheduleObject(iFrame++, pPiece, nullptr, &rc);
    };
    for (int i = n / 2; i < n; ++i)
        place(s(i));
    for (int i = 0; i < n / 2; ++i)
        place(1.0 - s(i));
    RECT rcTo = {ptTo.x, ptTo.y, ptTo.x + cx, ptTo.y + cy};
    m_pWindow->ScheduleObject(nFirst + n, pPiece, nullptr, &rcTo);
    m_pWindow->ScheduleEvent(nFirst + n + 1, DISPLAYEVENT_GLIDEEND + nMover, nSerial);
    return nFirst + n + 1;
}

int BoardDisplay::FallObject(AnimObject* pPiece, int nStart) {
    const int nFirst = nStart < 0 ? GetEndFrame() : nStart;
    if (pPiece == nullptr) return nFirst + 7;
    const LONG nSerial = DataOf(pPiece, PIECEDATA_SERIAL);
    for (int k = 0; k < 4; ++k)
        m_pWindow->ScheduleEvent(nFirst + 2 * k, DISPLAYEVENT_FALL, nSerial);
    return nFirst + 7;
}

int BoardDisplay::GlidePiece(int x, int y, int nDir, int nMover, int nStart) {
    return GlideObject(PieceAtCell(x, y), nDir, nMover, nStart);
}

int BoardDisplay::StartFall(int x, int y, int nStart) {
    return FallObject(PieceAtCell(x, y), nStart);
}

// ---- Presenter plumbing ---------------------------------------------------------------

bool BoardDisplay::IsAnimateOn() {
    return g_settings.fAnimate != 0;
}

bool BoardDisplay::IsSoundOn() {
    return g_settings.fSound != 0;
}

int BoardDisplay::GetEndFrame() {
    return m_pWindow->GetEndFrame();
}

void BoardDisplay::PlaySound(int idWave) {
    StartSound(idWave);
}

void BoardDisplay::ScheduleUpdate() {
    m_pWindow->ScheduleEvent(m_pWindow->GetEndFrame(), DISPLAYEVENT_UPDATE, 0);
}

void BoardDisplay::ScheduleComputerTurn() {
    m_pWindow->ScheduleEvent(m_pWindow->GetEndFrame(), DISPLAYEVENT_COMPUTER, 0);
}

void BoardDisplay::RunToEnd() {
    m_pWindow->Advance(-1);
}

void BoardDisplay::BeginUpdate() {
    m_pWindow->BeginUpdate();
}

void BoardDisplay::EndUpdate() {
    m_pWindow->EndUpdate();
}

void BoardDisplay::StartSound(int idWave) {
    PlayGameSound(idWave);
}

void BoardDisplay::StopSound(int idWave) {
    StopGameSound(idWave);
}

int BoardDisplay::GetRollingCount(int nMover) const {
    return nMover == PIECE_BLUE || nMover == PIECE_RED ? m_cRolling[nMover] : 0;
}

// ---- Timeline events ------------------------------------------------------------------

int BoardDisplay::OnTimelineEvent(LPARAM lValue, LPARAM lSecond) {
    const LONG nSerial = static_cast<LONG>(lSecond);
    switch (lValue) {
    case DISPLAYEVENT_FALL: {
        AnimObject* pPiece = PieceBySerial(nSerial);
        if (pPiece == nullptr) break;
        const int nColor = DataOf(pPiece, PIECEDATA_COLOR);
        if (!IsMover(nColor)) break;
        int iShown = PIECE_RESTING;
        for (int i = 0; i < cPieceFrames; ++i) {
            if (pPiece->GetGraphic() == m_pArt->rgpPiece[nColor][i]) iShown = i;
        }
        if (iShown == PIECE_FALL3) {
            MemDelete(pPiece);
            if (IsSoundOn()) StartSound(SOUND_DROP);
            break;
        }
        // The lifted picture falls as if resting.
        const int iNext = iShown < PIECE_RESTING ? PIECE_FALL1 : iShown + 1;
        Graphic* pPicture = m_pArt->rgpPiece[nColor][iNext];
        RECT rc;
        pPiece->GetRect(&rc);
        RECT rcPicture = {0, 0, cxCell, cyCell};
        if (pPicture != nullptr) pPicture->GetRect(&rcPicture);
        const int cx = rcPicture.right - rcPicture.left;
        const int cy = rcPicture.bottom - rcPicture.top;
        const int xCentre = (rc.left + rc.right) / 2;
        const int yCentre = (rc.top + rc.bottom) / 2;
        RECT rcNew = {xCentre - cx / 2, yCentre - cy / 2, xCentre - cx / 2 + cx,
                      yCentre - cy / 2 + cy};
        pPiece->SetGraphic(pPicture, 1);
        pPiece->SetRect(&rcNew);
        break;
    }
    case DISPLAYEVENT_GLIDEBLUE:
    case DISPLAYEVENT_GLIDEBLUE + 1: {
        const int i = static_cast<int>(lValue - DISPLAYEVENT_GLIDEBLUE);
        if (m_cRolling[i]++ == 0 && IsSoundOn()) StartSound(SOUND_ROLL_BLUE + i);
        break;
    }
    case DISPLAYEVENT_GLIDEEND:
    case DISPLAYEVENT_GLIDEEND + 1: {
        const int i = static_cast<int>(lValue - DISPLAYEVENT_GLIDEEND);
        if (m_cRolling[i] > 0 && --m_cRolling[i] == 0) StopSound(SOUND_ROLL_BLUE + i);
        break;
    }
    case DISPLAYEVENT_UPDATE:
        if (!IsStrip()) UpdateCaptures();
        break;
    case DISPLAYEVENT_COMPUTER:
        m_fComputerMayStart = true;
        break;
    default: // 4 and 7 (green glides) and anything unknown
        break;
    }
    return 1;
}
