#include "anim/cea_sprite.h"

#include "anim/cea_window.h"
#include "foundation/diag.h"
#include "foundation/memmgr.h"

#include <cstdint>

namespace {

unsigned long Ptr(const void* pv) {
    return (unsigned long)(uintptr_t)pv;
}

} // namespace

Sprite::Sprite(Graphic* pSource, int cColumns, int cRows, int cLimit) {
    Clear();
    m_pSource = pSource;
    Split(cColumns, cRows, cLimit);
}

Sprite::Sprite(const TCHAR* pszFile, Color clrTransparent, int cColumns, int cRows, int cLimit) {
    Clear();
    m_pSource = MemNew(Graphic, pszFile, this, clrTransparent);
    m_fOwnsSource = 1;
    Split(cColumns, cRows, cLimit);
}

Sprite::Sprite(host::HANDLE hFile, Color clrTransparent, int cColumns, int cRows, int cLimit) {
    Clear();
    m_pSource = MemNew(Graphic, hFile, this, clrTransparent);
    m_fOwnsSource = 1;
    Split(cColumns, cRows, cLimit);
}

Sprite::Sprite(const void* pvData, DWORD cbData, Color clrTransparent, int cColumns, int cRows,
               int cLimit) {
    Clear();
    m_pSource = MemNew(Graphic, pvData, cbData, this, clrTransparent);
    m_fOwnsSource = 1;
    Split(cColumns, cRows, cLimit);
}

Sprite::Sprite(host::HMODULE hModule, const TCHAR* pszName, Color clrTransparent, int cColumns,
               int cRows, int cLimit) {
    Clear();
    m_pSource = MemNew(Graphic, hModule, pszName, this, clrTransparent);
    m_fOwnsSource = 1;
    Split(cColumns, cRows, cLimit);
}

Sprite::Sprite(Sprite* pParent, const RECT* prc) {
    Clear();
    if (pParent == nullptr || prc == nullptr) return;
    m_fChild = 1;
    m_rcInParent = *prc;
    m_pParent = pParent;
    pParent->AddChild(this);
    DWORD cFrames = pParent->GetFrameCount();
    for (DWORD i = 0; i < cFrames; ++i) {
        Graphic* pFrame = MemNew(Graphic, pParent->GetFrame(i), prc);
        if (pFrame != nullptr && !AppendFrame(pFrame)) MemDelete(pFrame);
    }
}

Sprite::~Sprite() {
    Destroy();
}

void Sprite::Destroy() {
    // Child sprites go first: their frames are children of this sprite's frames, which
    // would otherwise free them underneath the child sprite.
    for (DWORD i = 0; i < m_cChildren; ++i) {
        Sprite* pChild = m_ppChildren[i];
        if (pChild == nullptr) continue;
        cetl::trace("Warning: freeing child sprite 0x%08lX when parent 0x%08lX destroyed",
                    Ptr(pChild), Ptr(this));
        m_ppChildren[i] = nullptr;
        pChild->m_pParent = nullptr;
        MemDelete(pChild);
    }
    if (m_ppChildren) MemFree(m_ppChildren);

    for (DWORD i = 0; i < m_cFrames; ++i)
        MemDelete(m_ppFrames[i]);
    if (m_ppFrames) MemFree(m_ppFrames);

    if (m_fChild && m_pParent) m_pParent->RemoveChild(this);
    if (m_fOwnsSource && m_pSource) MemDelete(m_pSource);
    Clear();
}

void Sprite::GetRectInParent(RECT* prc) const {
    if (m_fChild)
        *prc = m_rcInParent;
    else
        GetRect(prc);
}

void Sprite::GetRect(RECT* prc) const {
    if (m_cFrames == 0) {
        *prc = RECT{};
        return;
    }
    m_ppFrames[0]->GetRect(prc);
}

int Sprite::GetWidth() const {
    return m_cFrames ? m_ppFrames[0]->GetWidth() : 0;
}

int Sprite::GetHeight() const {
    return m_cFrames ? m_ppFrames[0]->GetHeight() : 0;
}

Graphic* Sprite::GetFrame(DWORD i) const {
    return i < m_cFrames ? m_ppFrames[i] : nullptr;
}

Graphic* Sprite::GetFrameFor(const AnimWindow* pWindow) const {
    if (m_cFrames == 0) return nullptr;
    DWORD iCounter = pWindow ? static_cast<DWORD>(pWindow->GetFrameCounter()) : 0;
    return GetFrame(iCounter % m_cFrames);
}

BOOL Sprite::AppendFrame(Graphic* pFrame) {
    if (pFrame == nullptr) return 0;
    std::uint32_t cAllocated = m_cFrames;
    if (!MemReallocArray(&m_ppFrames, &cAllocated, m_cFrames + 1, 1)) return 0;
    m_ppFrames[m_cFrames++] = pFrame;
    return 1;
}

void Sprite::Clear() {
    m_fOwnsSource = 0;
    m_pSource = nullptr;
    m_fChild = 0;
    m_rcInParent = RECT{};
    m_pParent = nullptr;
    m_ppFrames = nullptr;
    m_cFrames = 0;
    m_ppChildren = nullptr;
    m_cChildren = 0;
}

void Sprite::Split(int cColumns, int cRows, int cLimit) {
    // A layered image leaves its source without pixels: its size is the frames' size.
    Graphic* pSized = m_cFrames != 0 ? m_ppFrames[0] : m_pSource;
    int cxSource = pSized ? pSized->GetWidth() : 0;
    int cySource = pSized ? pSized->GetHeight() : 0;
    int cxFrame = cColumns < 0 ? (cColumns & 0x7FFFFFFF) : cxSource / (cColumns > 1 ? cColumns : 1);
    int cyFrame = cRows < 0 ? (cRows & 0x7FFFFFFF) : cySource / (cRows > 1 ? cRows : 1);
    int cAcross = cxSource / (cxFrame > 1 ? cxFrame : 1);
    int cDown = cySource / (cyFrame > 1 ? cyFrame : 1);
    std::int64_t cCount = static_cast<std::int64_t>(cAcross) * cDown;
    if (cLimit != SPRITE_NO_LIMIT && cCount > cLimit) cCount = cLimit < 0 ? 0 : cLimit;

    if (m_cFrames != 0) {
        if (cCount > 1)
            cetl::trace("Warning: constructing sprite 0x%08lX by splitting already-animated "
                        "file: you have to do that yourself",
                        Ptr(this));
        return;
    }
    if (m_pSource == nullptr || cAcross == 0) return;
    for (std::int64_t i = 0; i < cCount; ++i) {
        RECT rc;
        rc.left = static_cast<LONG>(i % cAcross) * cxFrame;
        rc.top = static_cast<LONG>(i / cAcross) * cyFrame;
        rc.right = rc.left + cxFrame;
        rc.bottom = rc.top + cyFrame;
        Graphic* pFrame = MemNew(Graphic, m_pSource, &rc);
        if (pFrame == nullptr) break;
        if (!AppendFrame(pFrame)) {
            MemDelete(pFrame);
            break;
        }
    }
}

void Sprite::AddChild(Sprite* pChild) {
    for (DWORD i = 0; i < m_cChildren; ++i) {
        if (m_ppChildren[i] == nullptr) {
            m_ppChildren[i] = pChild;
            return;
        }
    }
    DWORD iFree = m_cChildren;
    std::uint32_t cChildren = m_cChildren;
    if (!MemReallocArray(&m_ppChildren, &cChildren, m_cChildren + 1, 4)) return;
    m_cChildren = cChildren;
    m_ppChildren[iFree] = pChild;
}

void Sprite::RemoveChild(Sprite* pChild) {
    for (DWORD i = 0; i < m_cChildren; ++i)
        if (m_ppChildren[i] == pChild) m_ppChildren[i] = nullptr;
}
