// A dirty region: rectangles that never overlap one another (they may touch). Adding a
// rectangle that intersects stored ones merges them into their union, so no pixel is
// recomposed or copied twice in one frame.
#pragma once

#include "host/gdi.h"

class DirtyRegion {
public:
    DirtyRegion() = default;
    ~DirtyRegion();
    DirtyRegion(const DirtyRegion&) = delete;
    DirtyRegion& operator=(const DirtyRegion&) = delete;

    // An empty rectangle is ignored. 0 when the array could not grow.
    int Add(const host::RECT* prc);
    void Clear() { m_cRects = 0; }
    bool IsEmpty() const { return m_cRects == 0; }
    host::DWORD GetCount() const { return m_cRects; }
    const host::RECT* Get(host::DWORD i) const { return i < m_cRects ? &m_prcRects[i] : nullptr; }

private:
    host::DWORD m_cRects = 0;
    host::DWORD m_cAllocated = 0; // grows 16 at a time
    host::RECT* m_prcRects = nullptr;
};
