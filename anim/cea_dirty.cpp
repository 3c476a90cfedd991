#include "anim/cea_dirty.h"

#include "foundation/memmgr.h"

#include <algorithm>

using host::DWORD;
using host::RECT;

namespace {

bool IsEmptyRect(const RECT& rc) {
    return rc.right <= rc.left || rc.bottom <= rc.top;
}

// Rectangles that only share an edge do not overlap.
bool Overlaps(const RECT& a, const RECT& b) {
    return std::max(a.left, b.left) < std::min(a.right, b.right) &&
           std::max(a.top, b.top) < std::min(a.bottom, b.bottom);
}

RECT Union(const RECT& a, const RECT& b) {
    return RECT{std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
                std::max(a.bottom, b.bottom)};
}

} // namespace

DirtyRegion::~DirtyRegion() {
    MemFree(m_prcRects);
}

int DirtyRegion::Add(const RECT* prc) {
    if (prc == nullptr || IsEmptyRect(*prc)) {
        return 1;
    }
    RECT rcNew = *prc;
    // The stored rectangle that holds what this call merged so far, or none.
    DWORD iMerged = m_cRects;
    bool fMerged = false;
    for (;;) {
        DWORD i = 0;
        while (i < m_cRects && (i == iMerged || !Overlaps(m_prcRects[i], rcNew))) {
            ++i;
        }
        if (i == m_cRects) {
            break;
        }
        m_prcRects[i] = Union(m_prcRects[i], rcNew);
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
