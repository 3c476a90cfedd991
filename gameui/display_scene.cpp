// The board display around the board: lost-piece markers and trays, the status line, the
// button sounds and the ripples.
#include "gameui/display.h"

#include "anim/cea_object.h"
#include "foundation/memmgr.h"
#include "foundation/tl_language.h"
#include "game/board.h"
#include "game/game.h"
#include "game/history.h"
#include "gameui/sounds.h"

#include <cstdint>
#include <cstdlib>

using host::POINT;
using host::RECT;

namespace {

// Ripple data slots; slot 4 leads back to the display for the live counts.
constexpr DWORD RIPPLE_FRAME = 0;
constexpr DWORD RIPPLE_LARGE = 1;
constexpr DWORD RIPPLE_HOLD = 2;
constexpr DWORD RIPPLE_TICK = 3;
constexpr DWORD RIPPLE_DISPLAY = 4;

// Marker data slots: the colour shown (slot 2, as for pieces) and the side that lost it.
constexpr DWORD MARKER_COLOR = 2;
constexpr DWORD MARKER_SIDE = 3;

constexpr int cMaxLost = cLayoutLost / 2;

void* AsData(intptr_t n) {
    return reinterpret_cast<void*>(n);
}

int DataOf(const AnimObject* pObject, DWORD i) {
    return static_cast<int>(reinterpret_cast<intptr_t>(pObject->GetData(i)));
}

} // namespace

// ---- Markers and trays ----------------------------------------------------------------

void BoardDisplay::UpdateCaptures() {
    RefreshTrays(CurrentBoard());
    CheckGameOver();
}

void BoardDisplay::RefreshTrays(const BOARD& board) {
    if (IsStrip()) return;
    int rgcLost[2];
    for (int c = 0; c < 2; ++c) {
        rgcLost[c] = cStartPieces - CountPieces(board, c);
        if (rgcLost[c] < 0) rgcLost[c] = 0;
        if (rgcLost[c] > cMaxLost) rgcLost[c] = cMaxLost;
    }
    // Markers by the side that lost them, and how many of those show the green piece.
    int rgcMarkers[2] = {};
    int rgcGreen[2] = {};
    for (AnimObject* p = m_pWindow->FirstObjectOfDepth(DEPTH_MARKER); p != nullptr;
         p = p->GetNext()) {
        const int nSide = DataOf(p, MARKER_SIDE);
        if (nSide != PLAYER_BLUE && nSide != PLAYER_RED) continue;
        rgcMarkers[nSide]++;
        if (DataOf(p, MARKER_COLOR) == PIECE_GREEN) rgcGreen[nSide]++;
    }
    const bool fGreenWin =
        !g_game.fInProgress && g_game.iWinner != WINNER_NONE && g_game.iReason == REASON_GREEN;
    m_pWindow->BeginUpdate();
    for (int c = 0; c < 2; ++c) {
        // The green marker takes the place of the winner's first lost piece, if any.
        const bool fGreenFirst = fGreenWin && g_game.iWinner == c && rgcLost[c] > 0;
        if (rgcMarkers[c] != rgcLost[c] || rgcGreen[c] != (fGreenFirst ? 1 : 0))
            RebuildMarkers(c, rgcLost[c], fGreenFirst);
    }
    m_pWindow->EndUpdate();
}

void BoardDisplay::RebuildMarkers(int nSide, int cLost, bool fGreenFirst) {
    for (AnimObject* p = m_pWindow->FirstObjectOfDepth(DEPTH_MARKER); p != nullptr;) {
        AnimObject* pNext = p->GetNext();
        if (DataOf(p, MARKER_SIDE) == nSide) MemDelete(p);
        p = pNext;
    }
    for (int k = cLost; k >= 1; --k) {
        const int nColor = (k == 1 && fGreenFirst) ? PIECE_GREEN : nSide;
        AnimObject* pMarker =
            MemNew(AnimObject, m_pWindow, m_pArt->rgpPiece[nColor][PIECE_RESTING], DEPTH_MARKER);
        if (pMarker == nullptr) continue;
        const POINT pt = m_pArt->layout.rgptLost[nSide == PLAYER_RED ? k - 1 : 5 + k];
        RECT rc = {pt.x, pt.y, pt.x + cxCell, pt.y + cyCell};
        pMarker->SetRect(&rc);
        pMarker->SetData(MARKER_COLOR, AsData(nColor));
        pMarker->SetData(MARKER_SIDE, AsData(nSide));
    }
}

void BoardDisplay::CreateTrays() {
    if (m_rgpTray[0] != nullptr || m_rgpTray[1] != nullptr) return;
    for (int i = 0; i < cLayoutTrays; ++i) {
        m_rgpTray[i] = MemNew(AnimObject, m_pWindow, m_pArt->pTray, DEPTH_CELL);
        if (m_rgpTray[i] == nullptr) continue;
        if (m_pArt->pTray == nullptr) m_rgpTray[i]->SetSize(cxTray, cyTray);
        m_rgpTray[i]->SetPosition(m_pArt->layout.rgptTray[i].x, m_pArt->layout.rgptTray[i].y);
    }
}

void BoardDisplay::RemoveTrays() {
    for (AnimObject*& pTray : m_rgpTray) {
        if (pTray != nullptr) MemDelete(pTray);
        pTray = nullptr;
    }
}

// ---- Status line ----------------------------------------------------------------------

void BoardDisplay::RefreshStatus(int nStatus) {
    m_nStatus = nStatus;
    int iImage = nStatus;
    // A button held down shows its caption instead (the button row answers).
    const int iHeld = m_pfnHeldButton != nullptr ? m_pfnHeldButton() : -1;
    if (iHeld >= 0 && iHeld < cGameButtons) iImage = STATUS_ENDED + 1 + iHeld;
    SetStatusImage(iImage);
}

void BoardDisplay::RefreshStatus() {
    RefreshStatus(IsStrip() ? m_nStatus : GameStatus());
}

void BoardDisplay::SetStatusImage(int iImage) {
    if (iImage < 0 || iImage >= cStatusImages) return;
    int iLanguage = cetl::GetLanguageIndex();
    if (iLanguage < 0 || iLanguage >= cGameLanguages) iLanguage = 0;
    Graphic* pPicture = m_pArt->rgpStatus[iImage][iLanguage];
    if (m_pStatus == nullptr) {
        m_pStatus = MemNew(AnimObject, m_pWindow, pPicture, DEPTH_STATUS);
        if (m_pStatus == nullptr) return;
        const POINT pt = m_pArt->layout.ptStatus;
        RECT rc = {pt.x, pt.y, pt.x + cxStatus, pt.y + cyStatus};
        m_pStatus->SetRect(&rc);
        return;
    }
    if (m_pStatus->GetGraphic() != pPicture) m_pStatus->SetGraphic(pPicture, 1);
}

void BoardDisplay::PlayUiSound(int nUiSound) {
    static constexpr int kWaves[] = {SOUND_CLICK, SOUND_CONFIRM, SOUND_REFUSE};
    if (nUiSound >= 0 && nUiSound < 3 && IsSoundOn()) StartSound(kWaves[nUiSound]);
    RefreshStatus();
}

// ---- Ripples --------------------------------------------------------------------------

void BoardDisplay::AddRipple(bool fLarge) {
    const int iSize = fLarge ? 1 : 0;
    if (m_cRipples[iSize] >= (fLarge ? 4 : 3)) return;
    RECT rcClient;
    m_pWindow->GetRect(&rcClient);
    const int cxWindow = rcClient.right - rcClient.left;
    int yTop;
    int cyBand;
    if (fLarge) {
        if (m_yRippleTop < 0) m_yRippleTop = CellOrigin(3, -1).y;
        yTop = m_yRippleTop;
        cyBand = rcClient.bottom - rcClient.top - yTop;
    } else {
        yTop = m_pArt->layout.ptStatus.y;
        cyBand = cyStatus;
    }
    if (cxWindow <= 0 || cyBand <= 0) return;
    const int x = std::rand() % cxWindow;
    const int y = yTop + std::rand() % cyBand;
    const int nSize = fLarge ? cxRippleLarge : cxRippleSmall;
    int nHold = std::rand() % 6;
    if (nHold > 3) nHold -= 2;

    AnimObject* pRipple = MemNew(AnimObject, m_pWindow, &RippleProc, DEPTH_RIPPLE);
    if (pRipple == nullptr) return;
    RECT rc = {x - nSize, y - nSize, x, y};
    pRipple->SetRect(&rc);
    pRipple->SetData(RIPPLE_FRAME, AsData(0));
    pRipple->SetData(RIPPLE_LARGE, AsData(fLarge ? 1 : 0));
    pRipple->SetData(RIPPLE_HOLD, AsData(nHold));
    pRipple->SetData(RIPPLE_TICK, AsData(-1));
    pRipple->SetData(RIPPLE_DISPLAY, this);
    m_cRipples[iSize]++;
}

int BoardDisplay::RippleProc(AnimObject* pObject, UINT uMsg, LPARAM) {
    auto* pDisplay = static_cast<BoardDisplay*>(pObject->GetData(RIPPLE_DISPLAY));
    const bool fLarge = DataOf(pObject, RIPPLE_LARGE) != 0;
    if (uMsg == OBJMSG_DESTROY) {
        if (pDisplay != nullptr && pDisplay->m_cRipples[fLarge ? 1 : 0] > 0)
            pDisplay->m_cRipples[fLarge ? 1 : 0]--;
        return 1;
    }
    if (uMsg != OBJMSG_UPDATE || pDisplay == nullptr) return 1;
    int nTick = DataOf(pObject, RIPPLE_TICK) + 1;
    // A hold of 0 or 1 advances every frame.
    if (nTick >= DataOf(pObject, RIPPLE_HOLD)) nTick = 0;
    pObject->SetData(RIPPLE_TICK, AsData(nTick));
    if (nTick != 0) return 1;
    const int iFrame = DataOf(pObject, RIPPLE_FRAME) + 1;
    if (iFrame >= cRippleFrames) {
        MemDelete(pObject);
        return 1;
    }
    pObject->SetData(RIPPLE_FRAME, AsData(iFrame));
    const GAMEGRAPHICS& art = *pDisplay->m_pArt;
    pObject->SetGraphic(fLarge ? art.rgpRippleLarge[iFrame] : art.rgpRippleSmall[iFrame], 1);
    return 1;
}
