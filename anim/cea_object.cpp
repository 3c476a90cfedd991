// Animated objects: a rectangle at a depth on an AnimWindow, drawn from a picture or by
// its own procedure.
#include "anim/cea_object.h"

#include "foundation/memmgr.h"
#include "host/rect.h"

#include <cstdint>

AnimObject::AnimObject(AnimWindow* pWindow, Sprite* pSprite, LONG nDepth) {
    Init(pWindow, nDepth);
    SetSprite(pSprite, 1);
}

AnimObject::AnimObject(AnimWindow* pWindow, Graphic* pGraphic, LONG nDepth) {
    Init(pWindow, nDepth);
    SetGraphic(pGraphic, 1);
}

AnimObject::AnimObject(AnimWindow* pWindow, AnimObjectProc pfnProc, LONG nDepth) {
    Init(pWindow, nDepth);
    SetProcedure(pfnProc);
    // Nothing may follow: the procedure is free to destroy the object here.
    SendMessage(OBJMSG_CREATE, 0);
}

AnimObject::~AnimObject() {
    // Tell a Destroy further up this object's stack that the object is gone.
    if (m_pfDeleted != nullptr) *m_pfDeleted = true;
    if (m_fDestroying)
        Detach(); // deleted by its procedure while handling the destroy message
    else if (m_pWindow != nullptr)
        Destroy();
}

void AnimObject::Init(AnimWindow* pWindow, LONG nDepth) {
    m_pWindow = pWindow;
    m_nDepth = nDepth;
    if (m_pWindow != nullptr) m_pWindow->AddObject(this);
}

void AnimObject::Destroy() {
    if (m_fDestroying) return;
    m_fDestroying = 1;
    if (m_pfnProc != nullptr) {
        // The procedure may delete the object while handling its destroy message; the
        // destructor then detaches it and nothing here may touch it again.
        bool fDeleted = false;
        bool* pfOuter = m_pfDeleted;
        m_pfDeleted = &fDeleted;
        m_pfnProc(this, OBJMSG_DESTROY, 0);
        if (fDeleted) {
            if (pfOuter != nullptr) *pfOuter = true;
            return;
        }
        m_pfDeleted = pfOuter;
    }
    Detach();
}

void AnimObject::Detach() {
    if (m_pWindow != nullptr) {
        // Pending timeline entries would otherwise move a freed object.
        m_pWindow->CancelObject(this);
        m_pWindow->RemoveObject(this);
    }
    if (m_ppData != nullptr) MemFree(m_ppData);

    bool* pfDeleted = m_pfDeleted;
    m_pWindow = nullptr;
    m_pNext = nullptr;
    m_pPrevious = nullptr;
    m_ppData = nullptr;
    m_cData = 0;
    m_rc = RECT{};
    m_nDepth = 0;
    m_dwFlags = 0;
    m_fAutomatic = 0;
    m_pGraphic = nullptr;
    m_pSprite = nullptr;
    m_pfnProc = nullptr;
    m_pfDeleted = pfDeleted;
    m_fDestroying = 0;
}

void AnimObject::MoveToWindow(AnimWindow* pWindow) {
    if (m_pWindow != nullptr) {
        m_pWindow->CancelObject(this);
        m_pWindow->RemoveObject(this);
    }
    m_pWindow = pWindow;
    if (m_pWindow != nullptr) m_pWindow->AddObject(this);
}

void AnimObject::SetDepth(LONG nDepth) {
    if (m_pWindow == nullptr) {
        m_nDepth = nDepth;
        return;
    }
    m_pWindow->RemoveObject(this);
    m_nDepth = nDepth;
    m_pWindow->AddObject(this);
}

void AnimObject::BringToFront() {
    if (m_pWindow == nullptr) return;
    m_pWindow->RemoveObject(this);
    m_nDepth = 100;
    m_pWindow->InsertBefore(this, nullptr);
    if (m_pNext != nullptr) m_nDepth = m_pNext->m_nDepth;
}

void AnimObject::SendToBack() {
    if (m_pWindow == nullptr) return;
    m_pWindow->RemoveObject(this);
    m_nDepth = 100;
    m_pWindow->InsertAfter(this, nullptr);
    if (m_pPrevious != nullptr) m_nDepth = m_pPrevious->m_nDepth;
}

void AnimObject::PlaceInFront(AnimObject* pReference) {
    if (pReference == nullptr || pReference->m_pWindow != m_pWindow) {
        BringToFront();
        return;
    }
    if (pReference == this || m_pWindow == nullptr) return;
    m_pWindow->RemoveObject(this);
    m_nDepth = pReference->m_nDepth;
    m_pWindow->InsertBefore(this, pReference);
}

void AnimObject::PlaceBehind(AnimObject* pReference) {
    if (pReference == nullptr || pReference->m_pWindow != m_pWindow) {
        SendToBack();
        return;
    }
    if (pReference == this || m_pWindow == nullptr) return;
    m_pWindow->RemoveObject(this);
    m_nDepth = pReference->m_nDepth;
    m_pWindow->InsertAfter(this, pReference);
}

void AnimObject::SetFlags(DWORD dwFlags) {
    if (dwFlags == m_dwFlags) return;
    Invalidate();
    m_dwFlags = dwFlags;
    Invalidate();
}

Graphic* AnimObject::GetPicture() const {
    if (m_pSprite != nullptr) return m_pSprite->GetFrameFor(m_pWindow);
    return m_pGraphic;
}

void AnimObject::SetGraphic(Graphic* pGraphic, BOOL fAutomatic) {
    Invalidate();
    m_pGraphic = pGraphic;
    if (pGraphic != nullptr) {
        m_fAutomatic = fAutomatic;
        RECT rc;
        if (pGraphic->GetRect(&rc) && !host::rect::IsEmpty(rc)) {
            m_rc.right = m_rc.left + (rc.right - rc.left);
            m_rc.bottom = m_rc.top + (rc.bottom - rc.top);
        }
    } else {
        m_fAutomatic = 0;
    }
    Invalidate();
}

void AnimObject::SetSprite(Sprite* pSprite, BOOL fAutomatic) {
    Invalidate();
    m_pSprite = pSprite;
    if (pSprite != nullptr) {
        m_fAutomatic = fAutomatic;
        RECT rc;
        pSprite->GetRect(&rc);
        if (!host::rect::IsEmpty(rc)) {
            m_rc.right = m_rc.left + (rc.right - rc.left);
            m_rc.bottom = m_rc.top + (rc.bottom - rc.top);
        }
    } else {
        m_fAutomatic = 0;
    }
    Invalidate();
}

int AnimObject::SetRect(const RECT* prc) {
    if (m_dwFlags & OBJF_STATIC) return 1;
    Invalidate();
    m_rc = *prc;
    Invalidate();
    return 0;
}

void AnimObject::SetPosition(int x, int y) {
    RECT rc = {x, y, x + GetWidth(), y + GetHeight()};
    SetRect(&rc);
}

void AnimObject::SetSize(int cx, int cy) {
    RECT rc = {m_rc.left, m_rc.top, m_rc.left + cx, m_rc.top + cy};
    SetRect(&rc);
}

void AnimObject::SetWidth(int cx) {
    SetSize(cx, GetHeight());
}

void AnimObject::SetHeight(int cy) {
    SetSize(GetWidth(), cy);
}

void AnimObject::GetSize(int* pcx, int* pcy) const {
    if (pcx != nullptr) *pcx = GetWidth();
    if (pcy != nullptr) *pcy = GetHeight();
}

void AnimObject::Invalidate() {
    if (m_pWindow != nullptr) m_pWindow->Invalidate(&m_rc, (m_dwFlags & OBJF_STATIC) ? 1 : 0);
}

void AnimObject::SetProcedure(AnimObjectProc pfnProc) {
    m_pfnProc = pfnProc;
    if (pfnProc == nullptr || m_pGraphic == nullptr) m_fAutomatic = pfnProc == nullptr ? 1 : 0;
}

int AnimObject::SendMessage(UINT uMsg, LPARAM lParam) {
    if (uMsg == OBJMSG_UPDATE && m_fAutomatic && m_pSprite != nullptr &&
        m_pSprite->GetFrameCount() > 1)
        Invalidate();
    if (m_pfnProc == nullptr) return 1;
    // The procedure may delete the object: its result is all that is left to use.
    return m_pfnProc(this, uMsg, lParam);
}

void* AnimObject::GetData(DWORD i) const {
    return i < m_cData ? m_ppData[i] : nullptr;
}

void AnimObject::SetData(DWORD i, void* pv) {
    if (i >= m_cData) {
        if (i == 0xFFFFFFFF || !MemReallocArray(&m_ppData, &m_cData, i + 1, 4)) return;
    }
    m_ppData[i] = pv;
}

void AnimObject::Draw(Graphic* pTarget, const RECT* prcClip) {
    RECT rc = prcClip != nullptr ? host::rect::Intersect(m_rc, *prcClip) : m_rc;
    if (host::rect::IsEmpty(rc)) return;
    Graphic* pPicture = m_fAutomatic ? GetPicture() : nullptr;
    if (pPicture != nullptr) {
        pPicture->DrawTo(pTarget, rc.left, rc.top, rc.left - m_rc.left, rc.top - m_rc.top,
                         rc.right - rc.left, rc.bottom - rc.top);
        return;
    }
    DRAWRECORD record = {pTarget, rc, m_rc};
    SendMessage(OBJMSG_DRAW, reinterpret_cast<LPARAM>(&record));
}

void AnimObject::DrawPicture(const DRAWRECORD* pRecord, Graphic* pGraphic) {
    if (pGraphic == nullptr) pGraphic = m_pGraphic;
    if (pGraphic == nullptr || pRecord == nullptr) return;
    const RECT& rc = pRecord->rcClip;
    pGraphic->DrawTo(pRecord->pTarget, rc.left, rc.top, rc.left - pRecord->rcObject.left,
                     rc.top - pRecord->rcObject.top, rc.right - rc.left, rc.bottom - rc.top);
}

void AnimObject::DrawSpriteFrame(const DRAWRECORD* pRecord, Sprite* pSprite) {
    if (pSprite == nullptr) pSprite = m_pSprite;
    if (pSprite == nullptr) {
        DrawPicture(pRecord, nullptr);
        return;
    }
    Graphic* pFrame = pSprite->GetFrameFor(m_pWindow);
    if (pFrame != nullptr) DrawPicture(pRecord, pFrame);
}
