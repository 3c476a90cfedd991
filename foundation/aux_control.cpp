#include "foundation/aux_control.h"

#include "foundation/memmgr.h"
#include "host/screen.h"

#include <algorithm>

namespace {

constexpr BYTE kTagControl[4] = {80, 36, 6, 0};
constexpr BYTE kTagButton[4] = {200, 36, 6, 0};

constexpr DWORD cColorStep = 4;
constexpr int cxBox = 13;
constexpr int cxBoxMargin = 2;
constexpr int cxPushMargin = 7;
constexpr int cxBoxGap = 8;
constexpr int cxFocusInset = 2;

// The program's focus and capture, and every live control (so that a pointer kept across
// a notification can be checked before it is used again).
AuxControl* g_pFocus = nullptr;
AuxControl* g_pCapture = nullptr;
AuxControl* g_pLive = nullptr;

bool SameTag(const BYTE* pbTag, const BYTE (&rgbWanted)[4]) {
    return std::equal(pbTag, pbTag + 4, rgbWanted);
}

host::HFONT SystemFont() {
    return static_cast<host::HFONT>(host::GetStockObject(host::SYSTEM_FONT));
}

void FillSolid(HDC hdc, const RECT& rc, Color clr) {
    host::HBRUSH hbr = host::CreateSolidBrush(clr);
    host::FillRect(hdc, &rc, hbr);
    host::DeleteObject(hbr);
}

// A two-pixel edge: the outer line light on the top and left and dark on the bottom and
// right, the inner bottom and right in the shadow colour; sunken swaps light and dark.
void DrawButtonEdge(HDC hdc, const RECT& rc, bool fSunken, Color clrLight, Color clrShadow,
                    Color clrDark) {
    Color clrTopLeft = fSunken ? clrDark : clrLight;
    Color clrBottomRight = fSunken ? clrLight : clrDark;
    int cx = rc.right - rc.left;
    int cy = rc.bottom - rc.top;
    if (cx < 4 || cy < 4) {
        return;
    }
    FillSolid(hdc, {rc.left, rc.top, rc.right, rc.top + 1}, clrTopLeft);
    FillSolid(hdc, {rc.left, rc.top, rc.left + 1, rc.bottom}, clrTopLeft);
    FillSolid(hdc, {rc.left, rc.bottom - 1, rc.right, rc.bottom}, clrBottomRight);
    FillSolid(hdc, {rc.right - 1, rc.top, rc.right, rc.bottom}, clrBottomRight);
    if (fSunken) {
        FillSolid(hdc, {rc.left + 1, rc.top + 1, rc.right - 1, rc.top + 2}, clrShadow);
        FillSolid(hdc, {rc.left + 1, rc.top + 1, rc.left + 2, rc.bottom - 1}, clrShadow);
    } else {
        FillSolid(hdc, {rc.left + 1, rc.bottom - 2, rc.right - 1, rc.bottom - 1}, clrShadow);
        FillSolid(hdc, {rc.right - 2, rc.top + 1, rc.right - 1, rc.bottom - 1}, clrShadow);
    }
}

} // namespace

// ---------------------------------------------------------------------------------------
// Control base

AuxControl::AuxControl(AnimWindow* pWindow, UINT nId, LONG nDepth)
    : AuxControl(pWindow, nId, nDepth, kTagControl) {}

AuxControl::AuxControl(AnimWindow* pWindow, UINT nId, LONG nDepth, const BYTE (&rgbTag)[4])
    : m_nId(nId & 0xFFFF), m_hFont(SystemFont()) {
    std::copy(rgbTag, rgbTag + 4, m_rgbTag);
    m_pNextLive = g_pLive;
    g_pLive = this;
    Init(pWindow, nDepth);
}

void AuxControl::Init(AnimWindow* pWindow, LONG nDepth) {
    if (pWindow == nullptr) {
        return;
    }
    AnimObject* pObject = MemNew(AnimObject, pWindow, &AuxControl::ObjectProc, nDepth);
    if (pObject == nullptr) {
        return;
    }
    // The first control of a window brings the window's hook; the others share it.
    if (CountControls(pWindow, this) == 0) {
        pWindow->AddHook(&AuxControl::StylusHook, HOOK_ALL);
    }
    m_pObject = pObject;
    pObject->SetData(0, this);
    pObject->Invalidate();
}

AuxControl::~AuxControl() {
    for (AuxControl** pp = &g_pLive; *pp != nullptr; pp = &(*pp)->m_pNextLive) {
        if (*pp == this) {
            *pp = m_pNextLive;
            break;
        }
    }
    if (AnimObject* pObject = m_pObject) {
        DetachFromWindow();
        MemDelete(pObject);
    }
    if (g_pFocus == this) {
        g_pFocus = nullptr;
    }
    if (g_pCapture == this) {
        g_pCapture = nullptr;
    }
    MemFree(m_pColors);
    std::fill(m_rgbTag, m_rgbTag + 4, BYTE(0));
}

// Called once, when the control or its object goes: gives up the object, and the window's
// hook when no other control of the window is left.
void AuxControl::DetachFromWindow() {
    AnimObject* pObject = m_pObject;
    m_pObject = nullptr;
    pObject->SetData(0, nullptr);
    AnimWindow* pWindow = pObject->GetWindow();
    if (g_pCapture == this) {
        g_pCapture = nullptr;
        if (pWindow != nullptr && host::GetCapture() == pWindow->GetHandle()) {
            host::ReleaseCapture();
        }
    }
    if (g_pFocus == this) {
        g_pFocus = nullptr;
    }
    if (pWindow != nullptr && CountControls(pWindow, this) == 0) {
        pWindow->RemoveHook(&AuxControl::StylusHook);
    }
}

int AuxControl::CountControls(AnimWindow* pWindow, const AuxControl* pExcept) {
    int c = 0;
    for (AnimObject* pObject = pWindow->NextObject(nullptr); pObject != nullptr;
         pObject = pWindow->NextObject(pObject)) {
        AuxControl* pControl = FromObject(pObject);
        if (pControl != nullptr && pControl != pExcept) {
            ++c;
        }
    }
    return c;
}

AuxControl* AuxControl::FromObject(AnimObject* pObject) {
    if (pObject == nullptr) {
        return nullptr;
    }
    // Slot 0 of another object may hold anything: it is compared with the live controls
    // before it is read, and the tag confirms a control.
    auto* pControl = static_cast<AuxControl*>(pObject->GetData(0));
    if (pControl == nullptr || !IsLive(pControl) || pControl->m_pObject != pObject) {
        return nullptr;
    }
    if (!SameTag(pControl->m_rgbTag, kTagControl) && !SameTag(pControl->m_rgbTag, kTagButton)) {
        return nullptr;
    }
    return pControl;
}

bool AuxControl::IsLive(const AuxControl* pControl) {
    for (AuxControl* p = g_pLive; p != nullptr; p = p->m_pNextLive) {
        if (p == pControl) {
            return true;
        }
    }
    return false;
}

AuxControl* AuxControl::GetFocus() {
    return g_pFocus;
}

AuxControl* AuxControl::GetCapture() {
    return g_pCapture;
}

bool AuxControl::IsButton() const {
    return SameTag(m_rgbTag, kTagButton);
}

AnimWindow* AuxControl::GetWindow() const {
    return m_pObject != nullptr ? m_pObject->GetWindow() : nullptr;
}

void AuxControl::Enable(BOOL fEnable) {
    fEnable = fEnable ? TRUE : FALSE;
    if (fEnable != m_fEnabled) {
        m_fEnabled = fEnable;
        Redraw();
    }
}

void AuxControl::SetText(const cetl::string& strText) {
    m_strText = strText;
    UpdateSize();
    Redraw();
}

void AuxControl::SetFont(host::HFONT hFont) {
    m_hFont = hFont != nullptr ? hFont : SystemFont();
    UpdateSize();
    Redraw();
}

void AuxControl::SetColor(int i, Color clr) {
    if (i < 0 || i > 0xFFFF) {
        return;
    }
    if (static_cast<DWORD>(i) >= m_cColors &&
        !MemReallocArray(&m_pColors, &m_cColors, static_cast<DWORD>(i) + 1, cColorStep)) {
        return;
    }
    m_pColors[i] = COLORENTRY{clr, 1};
    Redraw();
}

Color AuxControl::GetColor(int i) const {
    if (i >= 0 && static_cast<DWORD>(i) < m_cColors && m_pColors[i].fSet) {
        return m_pColors[i].clr;
    }
    switch (i) {
    case AUXCLR_FACE:
    case AUXCLR_BUTTONFACE:
        return host::GetSysColor(host::COLOR_BTNFACE);
    case AUXCLR_HIGHLIGHT:
        return host::GetSysColor(host::COLOR_BTNHIGHLIGHT);
    case AUXCLR_SHADOW:
        return host::GetSysColor(host::COLOR_BTNSHADOW);
    default:
        return host::GetSysColor(host::COLOR_WINDOWTEXT);
    }
}

void AuxControl::SetPosition(int x, int y) {
    if (m_pObject != nullptr) {
        m_pObject->SetPosition(x, y);
    }
}

void AuxControl::GetSize(int* pcx, int* pcy) const {
    int cx = 0;
    int cy = 0;
    if (m_pObject != nullptr) {
        m_pObject->GetSize(&cx, &cy);
    }
    if (pcx != nullptr) *pcx = cx;
    if (pcy != nullptr) *pcy = cy;
}

void AuxControl::Redraw() {
    m_fRedraw = TRUE;
}

void AuxControl::Draw(const DRAWRECORD*) {}

bool AuxControl::Notify(host::WORD nCode) {
    host::WNDPROC pfnTarget = nCode == AUXN_CLICKED ? m_pfnCommand : m_pfnNotify;
    AnimWindow* pWindow = GetWindow();
    if (pfnTarget != nullptr && pWindow != nullptr) {
        pfnTarget(pWindow->GetHandle(), host::WM_COMMAND,
                  host::MAKEWPARAM(static_cast<host::WORD>(m_nId), nCode),
                  reinterpret_cast<LPARAM>(this));
    }
    return IsLive(this) && m_pObject != nullptr;
}

bool AuxControl::IsOn(host::POINT pt) {
    if (m_pObject == nullptr) {
        return false;
    }
    RECT rc;
    m_pObject->GetRect(&rc);
    if (pt.x < rc.left || pt.x >= rc.right || pt.y < rc.top || pt.y >= rc.bottom) {
        return false;
    }
    return m_pfnHitTest == nullptr || m_pfnHitTest(this, pt.x - rc.left, pt.y - rc.top) != 0;
}

// ---------------------------------------------------------------------------------------
// Stylus

void AuxControl::SetFocusTo(AuxControl* pControl) {
    AuxControl* pOld = g_pFocus;
    if (pOld == pControl) {
        return;
    }
    g_pFocus = pControl;
    if (pOld != nullptr) pOld->Redraw();
    if (pControl != nullptr) pControl->Redraw();
}

// The capture was taken away (or a press came without the release of the last one): the
// holder lets go without a click.
void AuxControl::CancelCapture() {
    AuxControl* pControl = g_pCapture;
    g_pCapture = nullptr;
    if (pControl != nullptr && pControl->m_fHeld) {
        pControl->m_fHeld = FALSE;
        pControl->Redraw();
        pControl->Notify(AUXN_RELEASED);
    }
}

void AuxControl::OnStylusDown(AnimWindow* pWindow, host::POINT pt) {
    if (g_pCapture != nullptr) {
        HWND hwnd = pWindow->GetHandle();
        CancelCapture();
        if (AnimWindow::FromHandle(hwnd) != pWindow) return; // a target closed the window
    }
    AuxControl* pHit = nullptr;
    for (AnimObject* pObject = pWindow->NextObject(nullptr); pObject != nullptr;
         pObject = pWindow->NextObject(pObject)) {
        AuxControl* pControl = FromObject(pObject);
        if (pControl != nullptr && pControl->AcceptsInput() && pControl->IsOn(pt)) {
            pHit = pControl;
            break;
        }
    }
    SetFocusTo(pHit);
    if (pHit == nullptr) {
        return;
    }
    g_pCapture = pHit;
    host::SetCapture(pWindow->GetHandle());
    pHit->m_fHeld = TRUE;
    pHit->Redraw();
    pHit->Notify(AUXN_HELD);
}

void AuxControl::OnStylusMove(AnimWindow* pWindow, host::POINT pt) {
    AuxControl* pControl = g_pCapture;
    if (pControl == nullptr || pControl->GetWindow() != pWindow) {
        return;
    }
    BOOL fHeld = pControl->IsOn(pt) && pControl->m_fEnabled ? TRUE : FALSE;
    if (fHeld == pControl->m_fHeld) {
        return;
    }
    pControl->m_fHeld = fHeld;
    pControl->Redraw();
    pControl->Notify(fHeld ? AUXN_HELD : AUXN_RELEASED);
}

void AuxControl::OnStylusUp(AnimWindow* pWindow, host::POINT pt) {
    AuxControl* pControl = g_pCapture;
    if (pControl == nullptr || pControl->GetWindow() != pWindow) {
        return;
    }
    // Let go before anyone is told: a command that opens a modal dialog must not find the
    // stylus still captured by this window.
    g_pCapture = nullptr;
    if (host::GetCapture() == pWindow->GetHandle()) {
        host::ReleaseCapture();
    }
    if (pControl->m_fHeld) {
        pControl->m_fHeld = FALSE;
        if (!pControl->Notify(AUXN_RELEASED)) return;
    }
    pControl->Redraw();
    if (pControl->IsOn(pt) && pControl->m_fEnabled) {
        pControl->OnClick();
        pControl->Notify(AUXN_CLICKED);
    }
}

int AuxControl::StylusHook(AnimWindow* pWindow, HWND hwnd, UINT uMsg, WPARAM, LPARAM lParam) {
    host::POINT pt = {host::GET_X_LPARAM(lParam), host::GET_Y_LPARAM(lParam)};
    switch (uMsg) {
    case host::WM_LBUTTONDOWN:
    case host::WM_LBUTTONDBLCLK: // a quick second tap is a press like any other
        OnStylusDown(pWindow, pt);
        break;
    case host::WM_MOUSEMOVE:
        OnStylusMove(pWindow, pt);
        break;
    case host::WM_LBUTTONUP:
        OnStylusUp(pWindow, pt);
        break;
    case host::WM_CAPTURECHANGED:
        if (reinterpret_cast<HWND>(lParam) != hwnd && g_pCapture != nullptr &&
            g_pCapture->GetWindow() == pWindow) {
            CancelCapture();
        }
        break;
    default:
        break;
    }
    // The window's other hooks see every message too.
    return 0;
}

int AuxControl::ObjectProc(AnimObject* pObject, UINT uMsg, LPARAM lParam) {
    auto* pControl = static_cast<AuxControl*>(pObject->GetData(0));
    if (pControl == nullptr || pControl->m_pObject != pObject) {
        return 1;
    }
    switch (uMsg) {
    case OBJMSG_DESTROY:
        // The window goes first: the control stays, without an object, until freed.
        pControl->DetachFromWindow();
        break;
    case OBJMSG_UPDATE:
        if (pControl->m_fRedraw) {
            pControl->m_fRedraw = FALSE;
            pObject->Invalidate();
        }
        break;
    case OBJMSG_DRAW:
        pControl->Draw(reinterpret_cast<const DRAWRECORD*>(lParam));
        break;
    default:
        break;
    }
    return 1;
}

// ---------------------------------------------------------------------------------------
// Button

AuxButton::AuxButton(AnimWindow* pWindow, UINT nId, DWORD dwStyle, LONG nDepth)
    : AuxControl(pWindow, nId, nDepth, kTagButton), m_dwStyle(dwStyle) {
    UpdateSize();
}

void AuxButton::SetChecked(BOOL fChecked) {
    fChecked = fChecked ? TRUE : FALSE;
    if (fChecked != m_fChecked) {
        m_fChecked = fChecked;
        Redraw();
    }
}

void AuxButton::SetPictures(Graphic* pFirst, Graphic* pSecond) {
    m_pFirst = pFirst;
    m_pSecond = pSecond;
    UpdateSize();
    Redraw();
}

void AuxButton::OnClick() {
    switch (m_dwStyle & AUXBS_GROUPMASK) {
    case AUXBS_TOGGLE:
        SetChecked(!m_fChecked);
        break;
    case AUXBS_RADIO: {
        AnimWindow* pWindow = GetWindow();
        for (AnimObject* pObject = pWindow->NextObject(nullptr); pObject != nullptr;
             pObject = pWindow->NextObject(pObject)) {
            AuxControl* pControl = FromObject(pObject);
            if (pControl == nullptr || pControl == this || !pControl->IsButton()) continue;
            auto* pOther = static_cast<AuxButton*>(pControl);
            if ((pOther->m_dwStyle & AUXBS_GROUPMASK) == AUXBS_RADIO &&
                (pOther->m_dwStyle >> 16) == (m_dwStyle >> 16)) {
                pOther->SetChecked(FALSE);
            }
        }
        SetChecked(TRUE);
        break;
    }
    default:
        break;
    }
}

void AuxButton::UpdateSize() {
    if (m_pObject == nullptr) {
        return;
    }
    if (m_pFirst != nullptr || m_pSecond != nullptr) {
        int cx = 0;
        int cy = 0;
        for (Graphic* pPicture : {m_pFirst, m_pSecond}) {
            if (pPicture != nullptr) {
                cx = std::max(cx, pPicture->GetWidth());
                cy = std::max(cy, pPicture->GetHeight());
            }
        }
        m_pObject->SetSize(cx, cy);
        return;
    }
    host::SIZE size = {0, 0};
    HDC hdc = host::GetDC(nullptr);
    if (hdc != nullptr) {
        host::HGDIOBJ hOld = host::SelectObject(hdc, static_cast<host::HGDIOBJ>(m_hFont));
        host::GetTextExtentPoint32(hdc, m_strText.Text(), m_strText.Length(), &size);
        host::SelectObject(hdc, hOld);
        host::ReleaseDC(nullptr, hdc);
    }
    if ((m_dwStyle & AUXBS_KINDMASK) == AUXBS_PUSH) {
        m_pObject->SetSize(size.cx + 2 * cxPushMargin, size.cy + 2 * cxPushMargin);
    } else {
        int cxText = m_strText.IsEmpty() ? 0 : cxBoxGap + size.cx;
        m_pObject->SetSize(2 * cxBoxMargin + cxBox + cxText,
                           2 * cxBoxMargin + std::max<int>(cxBox, size.cy));
    }
}

void AuxButton::DrawBox(HDC hdc, const RECT& rcObject) {
    int x = rcObject.left + cxBoxMargin;
    int y = rcObject.top + (rcObject.bottom - rcObject.top - cxBox) / 2;
    RECT rcBox = {x, y, x + cxBox, y + cxBox};
    Color clrInside = m_fHeld || !m_fEnabled ? GetColor(AUXCLR_BUTTONFACE)
                                             : host::GetSysColor(host::COLOR_WINDOW);
    Color clrMark = GetColor(m_fEnabled ? AUXCLR_TEXT : AUXCLR_SHADOW);
    host::HPEN hpen = host::CreatePen(host::PS_SOLID, 1, GetColor(AUXCLR_SHADOW));
    host::HBRUSH hbr = host::CreateSolidBrush(clrInside);
    host::HGDIOBJ hOldPen = host::SelectObject(hdc, static_cast<host::HGDIOBJ>(hpen));
    host::HGDIOBJ hOldBrush = host::SelectObject(hdc, static_cast<host::HGDIOBJ>(hbr));
    if ((m_dwStyle & AUXBS_KINDMASK) == AUXBS_CHECKBOX) {
        host::Rectangle(hdc, rcBox.left, rcBox.top, rcBox.right, rcBox.bottom);
        if (m_fChecked) {
            // A tick three pixels thick: down to the bottom left third, then up.
            for (int d = 0; d < 3; ++d) {
                for (int i = 0; i < 3; ++i) {
                    host::SetPixel(hdc, x + 3 + i, y + 5 + i + d, clrMark);
                }
                for (int i = 0; i < 5; ++i) {
                    host::SetPixel(hdc, x + 6 + i, y + 6 - i + d, clrMark);
                }
            }
        }
    } else {
        host::Ellipse(hdc, rcBox.left, rcBox.top, rcBox.right, rcBox.bottom);
        if (m_fChecked) {
            FillSolid(hdc, {x + 4, y + 5, x + 9, y + 8}, clrMark);
            FillSolid(hdc, {x + 5, y + 4, x + 8, y + 9}, clrMark);
        }
    }
    host::SelectObject(hdc, hOldBrush);
    host::SelectObject(hdc, hOldPen);
    host::DeleteObject(hbr);
    host::DeleteObject(hpen);
}

void AuxButton::Draw(const DRAWRECORD* pRecord) {
    if (pRecord == nullptr || pRecord->pTarget == nullptr || m_pObject == nullptr) {
        return;
    }
    bool fPictures = m_pFirst != nullptr || m_pSecond != nullptr;
    if (fPictures) {
        Graphic* pFirst = m_pFirst != nullptr ? m_pFirst : m_pSecond;
        Graphic* pSecond = m_pSecond != nullptr ? m_pSecond : m_pFirst;
        m_pObject->DrawPicture(pRecord, m_fHeld || m_fChecked ? pSecond : pFirst);
        if (m_strText.IsEmpty()) {
            return;
        }
    }
    const RECT& rcObject = pRecord->rcObject;
    const RECT& rcClip = pRecord->rcClip;
    HDC hdc = pRecord->pTarget->GetDC();
    if (hdc == nullptr) {
        return;
    }
    int nSaved = host::SaveDC(hdc);
    host::IntersectClipRect(hdc, rcClip.left, rcClip.top, rcClip.right, rcClip.bottom);

    DWORD nKind = m_dwStyle & AUXBS_KINDMASK;
    bool fFramed = !fPictures && nKind == AUXBS_PUSH && (m_dwStyle & AUXBS_DEFFRAME) != 0;
    if (fFramed) {
        FillSolid(hdc, rcObject, GetColor(AUXCLR_BUTTONFACE));
        DrawButtonEdge(hdc, rcObject, m_fHeld != 0, GetColor(AUXCLR_HIGHLIGHT),
                       GetColor(AUXCLR_SHADOW), GetColor(AUXCLR_TEXT));
    }
    RECT rcText = rcObject;
    if (nKind == AUXBS_PUSH) {
        rcText.left += cxPushMargin;
        rcText.right -= cxPushMargin;
    } else {
        DrawBox(hdc, rcObject);
        rcText.left += cxBoxMargin + cxBox + cxBoxGap;
        rcText.right -= cxBoxMargin;
    }
    if (m_fHeld) {
        host::OffsetRect(&rcText, 1, 1);
    }
    if (!m_strText.IsEmpty()) {
        host::SelectObject(hdc, m_hFont);
        host::SetBkMode(hdc, host::TRANSPARENT);
        host::SetTextColor(hdc, GetColor(m_fEnabled ? AUXCLR_TEXT : AUXCLR_SHADOW));
        UINT nFormat = host::DT_SINGLELINE | host::DT_VCENTER | host::DT_NOPREFIX |
                       ((m_dwStyle & AUXBS_CENTER) != 0 ? host::DT_CENTER : host::DT_LEFT);
        host::DrawText(hdc, m_strText.Text(), m_strText.Length(), &rcText, nFormat);
    }
    if (!fPictures && g_pFocus == this) {
        RECT rcFocus = rcObject;
        host::InflateRect(&rcFocus, -cxFocusInset, -cxFocusInset);
        host::DrawFocusRect(hdc, &rcFocus);
    }
    host::RestoreDC(hdc, nSaved);
    pRecord->pTarget->ReleaseDC();
}
