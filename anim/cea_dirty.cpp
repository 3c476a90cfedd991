#include "anim/cea_dirty.h"

#include "foundation/memmgr.h"
#include "host/rect.h"

using host::DWORD;
using host::RECT;

DirtyRegion::~DirtyRegion() {
    MemFree(m_prcRects);
}

int DirtyRegion::Add(const RECT* prc) {
    if (prc == nullptr || host::rect::IsEmpty(*prc)) {
        return 1;
    }
    RECT rcNew = *prc;
    // The stored rectangle that holds what this call merged so far, or none.
    DWORD iMerged = m_cRects;
    bool fMerged = false;
    for (;;) {
        DWORD i = 0;
        while (i < m_cRects && (i == iMerged || !host::rect::Overlaps(m_prcRects[i], rcNew))) {
            ++i;
        }
        if (i == m_cRects) {
            break;
        }
        m_prcRects[i] = host::rect::Union(m_prcRects[i], rcNew);
        rcNew = m_prcRects[i];
        if (fMerged) {
            // The earlier merge is swallowed by this one; the last rectangle fills its place.
            --m_cRects;
            m_prcRects[iMerged] = m_prcRects[m_cRects];
            if (i == m_cRects) {
                i = iMerged;
            }
        }
        iMerged = i;
        fMerged = true;
    }
    if (fMerged) {
        return 1;
    }
    if (m_cRects == m_cAllocated &&
        !MemReallocArray(&m_prcRects, &m_cAllocated, m_cRects + 1, 16)) {
        return 0;
    }
    m_prcRects[m_cRects++] = rcNew;
    return 1;
}
