// The objects of an AnimWindow: their order in the depth slots, and the built-in
// frames-per-second and status-text objects.
#include "anim/cea_window.h"

#include "anim/cea_object.h"
#include "foundation/memmgr.h"
#include "host/screen.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>

namespace {

// ---- The frames-per-second and status objects

// Text of an ASCII format in the native width.
int WidenAscii(const char* psz, TCHAR* pszOut, int cchOut) {
    int i = 0;
    for (; psz[i] != '\0' && i < cchOut - 1; ++i) {
        pszOut[i] = static_cast<TCHAR>(psz[i]);
    }
    pszOut[i] = 0;
    return i;
}

int FormatRate(double dRate, TCHAR* pszOut, int cchOut) {
    char sz[64];
    std::snprintf(sz, sizeof(sz), " %.1lf FPS", dRate);
    return WidenAscii(sz, pszOut, cchOut);
}

int TextLength(const TCHAR* psz) {
    int c = 0;
    while (psz[c] != 0) {
        ++c;
    }
    return c;
}

// The size of a text in the screen's font.
host::SIZE MeasureText(const TCHAR* psz) {
    host::SIZE size = {};
    HDC hdc = host::GetDC(nullptr);
    if (hdc == nullptr) {
        return size;
    }
    host::HGDIOBJ hOld = host::SelectObject(hdc, host::GetStockObject(host::SYSTEM_FONT));
    host::GetTextExtentPoint32(hdc, psz, TextLength(psz), &size);
    host::SelectObject(hdc, hOld);
    host::ReleaseDC(nullptr, hdc);
    return size;
}

// Fills the clip white and writes the text black over it, within the clip only.
void DrawTextObject(const DRAWRECORD* pRecord, const TCHAR* psz, UINT uFormat) {
    if (pRecord->pTarget == nullptr) {
        return;
    }
    HDC hdc = pRecord->pTarget->GetDC();
    if (hdc == nullptr) {
        return;
    }
    int nSaved = host::SaveDC(hdc);
    host::IntersectClipRect(hdc, pRecord->rcClip.left, pRecord->rcClip.top, pRecord->rcClip.right,
                            pRecord->rcClip.bottom);
    host::HBRUSH hbr = host::CreateSolidBrush(host::RGB(255, 255, 255));
    host::FillRect(hdc, &pRecord->rcClip, hbr);
    host::DeleteObject(hbr);
    host::SelectObject(hdc, host::GetStockObject(host::SYSTEM_FONT));
    host::SetTextColor(hdc, host::RGB(0, 0, 0));
    host::SetBkMode(hdc, host::TRANSPARENT);
    RECT rc = pRecord->rcObject;
    host::DrawText(hdc, psz, TextLength(psz), &rc,
                   uFormat | host::DT_SINGLELINE | host::DT_VCENTER);
    host::RestoreDC(hdc, nSaved);
    pRecord->pTarget->ReleaseDC();
}

int FpsProc(AnimObject* pObject, UINT uMsg, LPARAM lParam) {
    switch (uMsg) {
    case OBJMSG_CREATE: {
        TCHAR sz[32];
        FormatRate(999.9, sz, 32);
        host::SIZE size = MeasureText(sz);
        RECT rcClient;
        pObject->GetWindow()->GetRect(&rcClient);
        RECT rc = {rcClient.left, rcClient.bottom - size.cy, rcClient.left + size.cx,
                   rcClient.bottom};
        pObject->SetRect(&rc);
        break;
    }
    case OBJMSG_UPDATE:
        pObject->Invalidate();
        break;
    case OBJMSG_DRAW: {
        TCHAR sz[32];
        FormatRate(pObject->GetWindow()->GetMeasuredRate(), sz, 32);
        DrawTextObject(reinterpret_cast<const DRAWRECORD*>(lParam), sz, host::DT_CENTER);
        break;
    }
    default:
        break;
    }
    return 1;
}

int StatusProc(AnimObject* pObject, UINT uMsg, LPARAM lParam) {
    switch (uMsg) {
    case OBJMSG_CREATE: {
        host::SIZE size = MeasureText(TEXT("X!'g"));
        RECT rcClient;
        pObject->GetWindow()->GetRect(&rcClient);
        RECT rc = {rcClient.left, rcClient.bottom - size.cy, rcClient.right, rcClient.bottom};
        pObject->SetRect(&rc);
        break;
    }
    case OBJMSG_DESTROY:
        MemFree(pObject->GetData(0));
        pObject->SetData(0, nullptr);
        break;
    case OBJMSG_DRAW: {
        auto* psz = static_cast<const TCHAR*>(pObject->GetData(0));
        DrawTextObject(reinterpret_cast<const DRAWRECORD*>(lParam), psz != nullptr ? psz : TEXT(""),
                       host::DT_RIGHT);
        break;
    }
    default:
        break;
    }
    return 1;
}

} // namespace

// ---------------------------------------------------------------------------------------
// Built-in objects

void AnimWindow::ShowFrameRate(BOOL fOn) {
    if (fOn) {
        if (m_pFpsObject == nullptr && m_dwSignature == ANIMWINDOW_ALIVE) {
            m_pFpsObject = MemNew(AnimObject, this, &FpsProc, 1);
        }
    } else if (m_pFpsObject != nullptr) {
        AnimObject* pObject = m_pFpsObject;
        m_pFpsObject = nullptr;
        MemDelete(pObject);
    }
}

void AnimWindow::SetStatusText(const TCHAR* pszText) {
    if (pszText == nullptr || pszText[0] == 0) {
        if (m_pStatusObject != nullptr) {
            AnimObject* pObject = m_pStatusObject;
            m_pStatusObject = nullptr;
            MemDelete(pObject);
        }
        return;
    }
    if (m_dwSignature != ANIMWINDOW_ALIVE) {
        return;
    }
    if (m_pStatusObject == nullptr) {
        m_pStatusObject = MemNew(AnimObject, this, &StatusProc, 2);
        if (m_pStatusObject == nullptr) {
            return;
        }
    }
    std::size_t cch = static_cast<std::size_t>(TextLength(pszText)) + 1;
    auto* pszCopy = static_cast<TCHAR*>(MemAllocTagged(cch * sizeof(TCHAR), "string"));
    if (pszCopy == nullptr) {
        return;
    }
    std::copy(pszText, pszText + cch, pszCopy);
    MemFree(m_pStatusObject->GetData(0));
    m_pStatusObject->SetData(0, pszCopy);
    m_pStatusObject->Invalidate();
}

// ---------------------------------------------------------------------------------------
// Object order

namespace {

AnimObject* HeadOf(AnimObject* pObject) {
    while (pObject->GetPrevious() != nullptr) {
        pObject = pObject->GetPrevious();
    }
    return pObject;
}

AnimObject* TailOf(AnimObject* pObject) {
    while (pObject->GetNext() != nullptr) {
        pObject = pObject->GetNext();
    }
    return pObject;
}

} // namespace

DEPTHSLOT* AnimWindow::SlotOfHead(AnimObject* pHead) const {
    for (DWORD i = 0; i < m_cSlots; ++i) {
        if (m_pSlots[i].pHead == pHead) {
            return &m_pSlots[i];
        }
    }
    return nullptr;
}

bool AnimWindow::IsLinked(AnimObject* pObject) const {
    return pObject->m_pPrevious != nullptr || pObject->m_pNext != nullptr ||
           SlotOfHead(pObject) != nullptr;
}

bool AnimWindow::IsMine(AnimObject* pObject) const {
    return SlotOfHead(HeadOf(pObject)) != nullptr;
}

void AnimWindow::AddObject(AnimObject* pObject) {
    if (pObject == nullptr) {
        return;
    }
    // Linked twice, an object would tie two lists into one.
    if (IsLinked(pObject)) {
        RemoveObject(pObject);
    }
    pObject->m_pNext = nullptr;
    pObject->m_pPrevious = nullptr;
    DWORD i = 0;
    while (i < m_cSlots && m_pSlots[i].nDepth < pObject->m_nDepth) {
        ++i;
    }
    if (i < m_cSlots && m_pSlots[i].nDepth == pObject->m_nDepth) {
        // A slot that emptied keeps its depth and takes the object as its head again.
        if (m_pSlots[i].pHead == nullptr) {
            m_pSlots[i].pHead = pObject;
        } else {
            AnimObject* pTail = TailOf(m_pSlots[i].pHead);
            pTail->m_pNext = pObject;
            pObject->m_pPrevious = pTail;
        }
    } else {
        if (m_cSlots == m_cSlotsAllocated &&
            !MemReallocArray(&m_pSlots, &m_cSlotsAllocated, m_cSlots + 1, 4)) {
            return;
        }
        std::copy_backward(m_pSlots + i, m_pSlots + m_cSlots, m_pSlots + m_cSlots + 1);
        m_pSlots[i] = DEPTHSLOT{pObject->m_nDepth, pObject};
        ++m_cSlots;
    }
    Invalidate(&pObject->m_rc, (pObject->m_dwFlags & OBJF_STATIC) != 0 ? 1 : 0);
}

void AnimWindow::InsertAfter(AnimObject* pObject, AnimObject* pReference) {
    if (pObject == nullptr) {
        return;
    }
    if (IsLinked(pObject)) {
        RemoveObject(pObject);
    }
    if (pReference == nullptr) {
        pReference = PreviousObject(nullptr);
    }
    if (pReference == nullptr || pReference == pObject || !IsMine(pReference)) {
        AddObject(pObject);
        return;
    }
    pObject->m_pPrevious = pReference;
    pObject->m_pNext = pReference->m_pNext;
    if (pReference->m_pNext != nullptr) {
        pReference->m_pNext->m_pPrevious = pObject;
    }
    pReference->m_pNext = pObject;
    Invalidate(&pObject->m_rc, (pObject->m_dwFlags & OBJF_STATIC) != 0 ? 1 : 0);
}

void AnimWindow::InsertBefore(AnimObject* pObject, AnimObject* pReference) {
    if (pObject == nullptr) {
        return;
    }
    if (IsLinked(pObject)) {
        RemoveObject(pObject);
    }
    if (pReference == nullptr) {
        pReference = NextObject(nullptr);
    }
    if (pReference == nullptr || pReference == pObject || !IsMine(pReference)) {
        AddObject(pObject);
        return;
    }
    if (pReference->m_pPrevious == nullptr) {
        SlotOfHead(pReference)->pHead = pObject;
    } else {
        pReference->m_pPrevious->m_pNext = pObject;
    }
    pObject->m_pPrevious = pReference->m_pPrevious;
    pObject->m_pNext = pReference;
    pReference->m_pPrevious = pObject;
    Invalidate(&pObject->m_rc, (pObject->m_dwFlags & OBJF_STATIC) != 0 ? 1 : 0);
}

void AnimWindow::RemoveObject(AnimObject* pObject) {
    if (pObject == nullptr) {
        return;
    }
    DEPTHSLOT* pSlot = nullptr;
    if (pObject->m_pPrevious == nullptr) {
        pSlot = SlotOfHead(pObject);
        if (pSlot == nullptr) {
            return; // not linked here
        }
    }
    // Walks in progress go on with the object's neighbour.
    if (pObject == m_pNextUpdate) {
        m_pNextUpdate = NextObject(pObject);
    }
    if (pObject == m_pNextDraw) {
        m_pNextDraw = PreviousObject(pObject);
    }
    if (pObject == m_pDrawing) {
        m_pDrawing = nullptr;
    }
    if (pSlot != nullptr) {
        pSlot->pHead = pObject->m_pNext;
    } else {
        pObject->m_pPrevious->m_pNext = pObject->m_pNext;
    }
    if (pObject->m_pNext != nullptr) {
        pObject->m_pNext->m_pPrevious = pObject->m_pPrevious;
    }
    pObject->m_pNext = nullptr;
    pObject->m_pPrevious = nullptr;
    Invalidate(&pObject->m_rc, (pObject->m_dwFlags & OBJF_STATIC) != 0 ? 1 : 0);
}

AnimObject* AnimWindow::NextObject(AnimObject* pObject) const {
    DWORD i = 0;
    if (pObject != nullptr) {
        if (pObject->m_pNext != nullptr) {
            return pObject->m_pNext;
        }
        const DEPTHSLOT* pSlot = SlotOfHead(HeadOf(pObject));
        if (pSlot == nullptr) {
            return nullptr;
        }
        i = static_cast<DWORD>(pSlot - m_pSlots) + 1;
    }
    for (; i < m_cSlots; ++i) {
        if (m_pSlots[i].pHead != nullptr) {
            return m_pSlots[i].pHead;
        }
    }
    return nullptr;
}

AnimObject* AnimWindow::PreviousObject(AnimObject* pObject) const {
    DWORD i = m_cSlots;
    if (pObject != nullptr) {
        if (pObject->m_pPrevious != nullptr) {
            return pObject->m_pPrevious;
        }
        const DEPTHSLOT* pSlot = SlotOfHead(pObject);
        if (pSlot == nullptr) {
            return nullptr;
        }
        i = static_cast<DWORD>(pSlot - m_pSlots);
    }
    while (i-- > 0) {
        if (m_pSlots[i].pHead != nullptr) {
            return TailOf(m_pSlots[i].pHead);
        }
    }
    return nullptr;
}

LONG AnimWindow::NextDepthAfter(LONG nDepth) const {
    for (DWORD i = 0; i < m_cSlots; ++i) {
        if (m_pSlots[i].nDepth > nDepth) {
            return m_pSlots[i].nDepth;
        }
    }
    return 0;
}

LONG AnimWindow::DepthBefore(LONG nDepth) const {
    LONG nResult = 0;
    for (DWORD i = 0; i < m_cSlots && m_pSlots[i].nDepth < nDepth; ++i) {
        nResult = m_pSlots[i].nDepth;
    }
    return nResult;
}

AnimObject* AnimWindow::FirstObjectOfDepth(LONG nDepth) const {
    for (DWORD i = 0; i < m_cSlots; ++i) {
        if (m_pSlots[i].nDepth == nDepth) {
            return m_pSlots[i].pHead;
        }
    }
    return nullptr;
}
