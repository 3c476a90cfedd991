// Graphic pixels: values and colours of single pixels, the colour table, transparency
// (the opaque runs and the mask) and translucency.
#include "anim/cea_graphic_internal.h"

#include "foundation/memmgr.h"

#include <cstring>

using graphic_internal::RootOf;

// ---------------------------------------------------------------------------------------
// Transparency and translucency

Color Graphic::GetTransparency() const {
    CHECK_VALID("GetTransparency", clrNone);
    return RootOf(this)->m_clrTransparent;
}

void Graphic::SetTransparency(Color clr) {
    CHECK_VALID("SetTransparency", );
    GetRoot()->m_clrTransparent = clr;
}

BOOL Graphic::IsTransparent() const {
    CHECK_VALID("IsTransparent", FALSE);
    return RootOf(this)->m_clrTransparent != clrNone ? TRUE : FALSE;
}

BOOL Graphic::IsTranslucent() const {
    CHECK_VALID("IsTranslucent", FALSE);
    return RootOf(this)->m_translucency.nMode != TRANSLUCENT_NONE ? TRUE : FALSE;
}

TRANSLUCENCY Graphic::GetTranslucency() const {
    CHECK_VALID("GetTranslucency", TRANSLUCENCY{});
    return RootOf(this)->m_translucency;
}

BOOL Graphic::SetTranslucency(DWORD nMode, BYTE bOpacity) {
    CHECK_VALID("SetTranslucency", FALSE);
    Graphic* pRoot = GetRoot();
    if (pRoot != this) return pRoot->SetTranslucency(nMode, bOpacity);
    if (m_translucency.nMode == nMode && m_translucency.bOpacity == bOpacity) return TRUE;
    if (m_translucency.pbOpacity != nullptr) MemFree(m_translucency.pbOpacity);
    m_translucency = {};
    m_translucency.nMode = nMode;
    m_translucency.bOpacity = bOpacity;
    if (nMode == TRANSLUCENT_MAP) {
        LONG cx = m_rcBounds.right;
        LONG cy = m_rcBounds.bottom;
        size_t cbOpacity = static_cast<size_t>(cx) * static_cast<size_t>(cy);
        auto* pbOpacity =
            static_cast<BYTE*>(MemAllocTagged(cbOpacity ? cbOpacity : 1, "cbOpacity"));
        if (pbOpacity == nullptr) {
            m_translucency = {};
            return FALSE;
        }
        std::memset(pbOpacity, 128, cbOpacity);
        m_translucency.pbOpacity = pbOpacity;
        m_translucency.cRows = cy;
        m_translucency.cbRow = cx;
    }
    return TRUE;
}

BOOL Graphic::SetOpacityFromGraphic(Graphic* pOther) {
    CHECK_VALID("SetOpacityFromGraphic", FALSE);
    if (pOther == nullptr || !pOther->IsValid()) return FALSE;
    int cx = GetWidth();
    int cy = GetHeight();
    if (pOther->GetWidth() != cx || pOther->GetHeight() != cy) return FALSE;
    if (!SetTranslucency(TRANSLUCENT_MAP, 128)) return FALSE;
    TRANSLUCENCY& tr = GetRoot()->m_translucency;
    if (tr.pbOpacity == nullptr) return FALSE;
    std::memset(tr.pbOpacity, 0, static_cast<size_t>(tr.cRows) * static_cast<size_t>(tr.cbRow));
    for (int y = 0; y < cy && y < tr.cRows; y++) {
        BYTE* pbRow = tr.pbOpacity + static_cast<size_t>(y) * tr.cbRow;
        for (int x = 0; x < cx && x < tr.cbRow; x++) {
            Color clr = pOther->GetPixelColor(x, y);
            pbRow[x] =
                static_cast<BYTE>(((clr & 0xFF) + ((clr >> 8) & 0xFF) + ((clr >> 16) & 0xFF)) / 3);
        }
    }
    return TRUE;
}

void Graphic::FreeRuns() {
    if (m_pRuns != nullptr) MemFree(m_pRuns);
    if (m_pRows != nullptr) MemFree(m_pRows);
    m_pRuns = nullptr;
    m_cRuns = 0;
    m_cRunsAllocated = 0;
    m_pRows = nullptr;
    m_cRows = 0;
}

void Graphic::PrepareTransparency() {
    if (!m_fValid) return;
    Graphic* pRoot = GetRoot();
    if (pRoot != this) {
        pRoot->PrepareTransparency();
        return;
    }
    if (m_clrPrepared == m_clrTransparent) return;
    LONG cx = m_rcBounds.right;
    LONG cy = m_rcBounds.bottom;
#if !CEA_HANDHELD
    // The old colour's pixels were zeroed by the mask: give them their colour back. Only the
    // pixels outside the old opaque runs were see-through.
    if (m_clrPrepared != clrNone && m_pbBits != nullptr && m_cRows == cy) {
        DWORD nOld = ColorToValue(m_clrPrepared);
        for (LONG y = 0; y < cy; y++) {
            LONG xNext = 0;
            const RUNROW& row = m_pRows[y];
            for (LONG i = 0; row.iFirst >= 0 && i < row.cRuns; i++) {
                const OPAQUERUN& run = m_pRuns[row.iFirst + i];
                for (LONG x = xNext; x < run.x; x++)
                    SetPixelValue(x, y, nOld);
                xNext = run.x + run.cx;
            }
            for (LONG x = xNext; x < cx; x++)
                SetPixelValue(x, y, nOld);
        }
    }
    if (m_hbmMask != nullptr) host::DeleteObject(m_hbmMask);
    m_hbmMask = nullptr;
#endif
    FreeRuns();
    m_clrPrepared = m_clrTransparent;
    if (m_clrPrepared == clrNone || m_pbBits == nullptr) return;

    auto* pRows = static_cast<RUNROW*>(MemAllocArray(RUNROW, cy));
    if (pRows == nullptr) return;
    DWORD nKey = ColorToValue(m_clrTransparent);
    // Bits that carry no colour (the top byte at 32 bits) never decide transparency.
    const DWORD nColorBits = m_nDepth == 32 ? 0xFFFFFF : (m_nDepth == 16 ? 0x7FFF : 0xFFFFFFFF);
    bool fFailed = false;
    for (LONG y = 0; y < cy && !fFailed; y++) {
        pRows[y] = {-1, 0};
        LONG x = 0;
        while (x < cx) {
            while (x < cx && (GetPixelValue(x, y) & nColorBits) == nKey)
                x++;
            if (x >= cx) break;
            LONG xStart = x;
            while (x < cx && (GetPixelValue(x, y) & nColorBits) != nKey)
                x++;
            if (!MemReallocArray(&m_pRuns, &m_cRunsAllocated, m_cRuns + 1, 128)) {
                fFailed = true;
                break;
            }
            if (pRows[y].iFirst < 0) pRows[y].iFirst = static_cast<LONG>(m_cRuns);
            pRows[y].cRuns++;
            m_pRuns[m_cRuns++] = {xStart, x - xStart};
        }
    }
    if (fFailed) {
        // Fewer indexed rows than the height tells the drawing to go through a context.
        MemFree(pRows);
        FreeRuns();
        return;
    }
    m_pRows = pRows;
    m_cRows = cy;
#if !CEA_HANDHELD
    // The mask is white where see-through; the image keeps value 0 there so that the mask
    // blit (AND) and the image blit (OR) compose it over anything.
    LONG cbMaskRow = ((cx + 15) / 16) * 2;
    auto* pbMask = static_cast<BYTE*>(MemAlloc(static_cast<size_t>(cbMaskRow) * cy));
    if (pbMask != nullptr) {
        std::memset(pbMask, 0xFF, static_cast<size_t>(cbMaskRow) * cy);
        for (LONG y = 0; y < cy; y++) {
            BYTE* pbRow = pbMask + static_cast<size_t>(y) * cbMaskRow;
            const RUNROW& row = m_pRows[y];
            for (LONG i = 0; row.iFirst >= 0 && i < row.cRuns; i++) {
                const OPAQUERUN& run = m_pRuns[row.iFirst + i];
                for (LONG x = run.x; x < run.x + run.cx; x++)
                    pbRow[x / 8] &= static_cast<BYTE>(~(0x80 >> (x % 8)));
            }
        }
        m_hbmMask = host::CreateBitmap(cx, cy, 1, 1, pbMask);
        MemFree(pbMask);
    }
    if (m_hbmMask != nullptr) {
        for (LONG y = 0; y < cy; y++) {
            LONG xNext = 0;
            const RUNROW& row = m_pRows[y];
            for (LONG i = 0; row.iFirst >= 0 && i < row.cRuns; i++) {
                const OPAQUERUN& run = m_pRuns[row.iFirst + i];
                for (LONG x = xNext; x < run.x; x++)
                    SetPixelValue(x, y, 0);
                xNext = run.x + run.cx;
            }
            for (LONG x = xNext; x < cx; x++)
                SetPixelValue(x, y, 0);
        }
    }
#endif
}

const OPAQUERUN* Graphic::GetRuns(int y, LONG* pcRuns) const {
    if (pcRuns != nullptr) *pcRuns = 0;
    CHECK_VALID("GetRuns", nullptr);
    const Graphic* pRoot = RootOf(this);
    if (pRoot != this) {
        RECT rc;
        GetRectInRoot(&rc);
        return pRoot->GetRuns(y + rc.top, pcRuns);
    }
    if (y < 0 || y >= m_cRows || m_pRows == nullptr || m_pRows[y].iFirst < 0) return nullptr;
    if (pcRuns != nullptr) *pcRuns = m_pRows[y].cRuns;
    return m_pRuns + m_pRows[y].iFirst;
}

// ---------------------------------------------------------------------------------------
// Pixels

DWORD Graphic::ColorToValue(Color clr) const {
    CHECK_VALID("ColorToValue", 0);
    const Graphic* pRoot = RootOf(this);
    DWORD nRed = clr & 0xFF;
    DWORD nGreen = (clr >> 8) & 0xFF;
    DWORD nBlue = (clr >> 16) & 0xFF;
    int nDepth = pRoot->m_nDepth;
    if (nDepth <= 0) return 0;
    if (nDepth <= 8) {
        DWORD cColors = 1u << nDepth;
        for (DWORD i = 0; i < cColors; i++) {
            const RGBQUAD& q = pRoot->m_rgColors[i];
            if (q.rgbRed == nRed && q.rgbGreen == nGreen && q.rgbBlue == nBlue) return i;
        }
        return 0;
    }
    if (nDepth == 16) return (nRed >> 3) << 10 | (nGreen >> 3) << 5 | (nBlue >> 3);
    return nRed << 16 | nGreen << 8 | nBlue;
}

Color Graphic::ValueToColor(DWORD nValue) const {
    CHECK_VALID("ValueToColor", clrNone);
    const Graphic* pRoot = RootOf(this);
    int nDepth = pRoot->m_nDepth;
    if (nDepth <= 0) return 0;
    if (nDepth <= 8) {
        DWORD iMax = (1u << nDepth) - 1;
        const RGBQUAD& q = pRoot->m_rgColors[nValue < iMax ? nValue : iMax];
        return host::RGB(q.rgbRed, q.rgbGreen, q.rgbBlue);
    }
    if (nDepth == 16) {
        return host::RGB(static_cast<BYTE>(((nValue >> 10) & 0x1F) << 3),
                         static_cast<BYTE>(((nValue >> 5) & 0x1F) << 3),
                         static_cast<BYTE>((nValue & 0x1F) << 3));
    }
    return host::RGB(static_cast<BYTE>(nValue >> 16), static_cast<BYTE>(nValue >> 8),
                     static_cast<BYTE>(nValue));
}

DWORD Graphic::GetPixelValue(int x, int y) const {
    CHECK_VALID("GetPixelValue", 0);
    if (m_fChild) {
        if (m_pParent == nullptr) return 0;
        return m_pParent->GetPixelValue(x + m_rcInParent.left, y + m_rcInParent.top);
    }
    if (m_pbBits == nullptr || x < 0 || y < 0 || x >= m_rcBounds.right || y >= m_rcBounds.bottom)
        return 0;
    const BYTE* pbRow = m_pbBits + static_cast<size_t>(y) * m_cbPitch;
    switch (m_nDepth) {
    case 1:
        return (pbRow[x >> 3] >> (7 - (x & 7))) & 1;
    case 2:
        return (pbRow[x >> 2] >> (6 - 2 * (x & 3))) & 3;
    case 4:
        return (pbRow[x >> 1] >> (4 - 4 * (x & 1))) & 15;
    case 8:
        return pbRow[x];
    case 16: {
        host::WORD w;
        std::memcpy(&w, pbRow + 2 * x, 2);
        return w;
    }
    case 24: {
        const BYTE* pb = pbRow + 3 * x;
        return static_cast<DWORD>(pb[0]) | static_cast<DWORD>(pb[1]) << 8 |
               static_cast<DWORD>(pb[2]) << 16;
    }
    case 32: {
        DWORD n;
        std::memcpy(&n, pbRow + 4 * x, 4);
        return n;
    }
    default:
        return 0;
    }
}

void Graphic::SetPixelValue(int x, int y, DWORD nValue) {
    CHECK_VALID("SetPixelValue", );
    if (m_fChild) {
        if (m_pParent != nullptr)
            m_pParent->SetPixelValue(x + m_rcInParent.left, y + m_rcInParent.top, nValue);
        return;
    }
    if (m_pbBits == nullptr || x < 0 || y < 0 || x >= m_rcBounds.right || y >= m_rcBounds.bottom)
        return;
    nValue &= m_nValueMask;
    BYTE* pbRow = m_pbBits + static_cast<size_t>(y) * m_cbPitch;
    switch (m_nDepth) {
    case 1: {
        int nShift = 7 - (x & 7);
        pbRow[x >> 3] = static_cast<BYTE>((pbRow[x >> 3] & ~(1 << nShift)) | (nValue << nShift));
        break;
    }
    case 2: {
        int nShift = 6 - 2 * (x & 3);
        pbRow[x >> 2] = static_cast<BYTE>((pbRow[x >> 2] & ~(3 << nShift)) | (nValue << nShift));
        break;
    }
    case 4: {
        int nShift = 4 - 4 * (x & 1);
        pbRow[x >> 1] = static_cast<BYTE>((pbRow[x >> 1] & ~(15 << nShift)) | (nValue << nShift));
        break;
    }
    case 8:
        pbRow[x] = static_cast<BYTE>(nValue);
        break;
    case 16: {
        auto w = static_cast<host::WORD>(nValue);
        std::memcpy(pbRow + 2 * x, &w, 2);
        break;
    }
    case 24: {
        BYTE* pb = pbRow + 3 * x;
        pb[0] = static_cast<BYTE>(nValue);
        pb[1] = static_cast<BYTE>(nValue >> 8);
        pb[2] = static_cast<BYTE>(nValue >> 16);
        break;
    }
    case 32:
        std::memcpy(pbRow + 4 * x, &nValue, 4);
        break;
    default:
        break;
    }
}

Color Graphic::GetPixelColor(int x, int y) const {
    CHECK_VALID("GetPixelColor", clrNone);
    return ValueToColor(GetPixelValue(x, y));
}

void Graphic::SetPixelColor(int x, int y, Color clr) {
    CHECK_VALID("SetPixelColor", );
    SetPixelValue(x, y, ColorToValue(clr));
}

// ---------------------------------------------------------------------------------------
// Colour table

UINT Graphic::GetPaletteEntries(PALETTEENTRY* pEntries, UINT iFirst, UINT cEntries) const {
    CHECK_VALID("GetPaletteEntries", 0);
    const Graphic* pRoot = RootOf(this);
    int nDepth = pRoot->m_nDepth;
    if (nDepth <= 0 || nDepth > 8 || pEntries == nullptr) return 0;
    UINT cColors = 1u << nDepth;
    if (iFirst >= cColors) return 0;
    UINT cCopy = cEntries < cColors - iFirst ? cEntries : cColors - iFirst;
    for (UINT i = 0; i < cCopy; i++) {
        const RGBQUAD& q = pRoot->m_rgColors[iFirst + i];
        pEntries[i] = {q.rgbRed, q.rgbGreen, q.rgbBlue, 0};
    }
    return cCopy;
}

BOOL Graphic::SetPaletteEntries(const PALETTEENTRY* pEntries, UINT iFirst, UINT cEntries) {
    CHECK_VALID("SetPaletteEntries", FALSE);
    Graphic* pRoot = GetRoot();
    if (pRoot != this) return pRoot->SetPaletteEntries(pEntries, iFirst, cEntries);
    if (m_nDepth <= 0 || m_nDepth > 8 || pEntries == nullptr || m_hbm == nullptr) return FALSE;
    UINT cColors = 1u << m_nDepth;
    if (iFirst >= cColors) return FALSE;
    if (cEntries > cColors - iFirst) cEntries = cColors - iFirst;
    RGBQUAD rgNew[256];
    std::memcpy(rgNew, m_rgColors, sizeof(rgNew));
    for (UINT i = 0; i < cEntries; i++)
        rgNew[iFirst + i] = {pEntries[i].peBlue, pEntries[i].peGreen, pEntries[i].peRed, 0};
    bool fSame = true;
    for (UINT i = 0; i < cColors && fSame; i++) {
        fSame = rgNew[i].rgbRed == m_rgColors[i].rgbRed &&
                rgNew[i].rgbGreen == m_rgColors[i].rgbGreen &&
                rgNew[i].rgbBlue == m_rgColors[i].rgbBlue;
    }
    if (fSame) return TRUE;

    TRANSLUCENCY translucency = m_translucency;
    m_translucency = {};
    Color clrTransparent = m_clrTransparent;
    m_clrTransparent = clrNone;
    PrepareTransparency();

    size_t cbBits = static_cast<size_t>(m_rcBounds.bottom) * static_cast<size_t>(m_cbPitch);
    auto* pbSaved = static_cast<BYTE*>(MemAlloc(cbBits));
    if (pbSaved == nullptr) {
        m_translucency = translucency;
        m_clrTransparent = clrTransparent;
        return FALSE;
    }
    std::memcpy(pbSaved, m_pbBits, cbBits);
    BYTE* pbSelection = m_pbSelection;
    DWORD cbSelection = m_cbSelection;
    PaletteGroup* pGroup = m_pGroup;
    m_pbSelection = nullptr;
    m_cbSelection = 0;
    m_pGroup = nullptr;

    // CreateBlank swaps the section in place, so the child list and an open context stay.
    BOOL fOk = CreateBlank(m_rcBounds.right, m_rcBounds.bottom, m_nDepth, rgNew);
    if (fOk) std::memcpy(m_pbBits, pbSaved, cbBits);
    MemFree(pbSaved);
    m_clrTransparent = clrTransparent;
    m_pbSelection = pbSelection;
    m_cbSelection = cbSelection;
    m_pGroup = pGroup;
    m_translucency = translucency;
    return fOk;
}

Color Graphic::GetPaletteColor(UINT i) const {
    CHECK_VALID("GetPaletteColor", clrNone);
    const Graphic* pRoot = RootOf(this);
    int nDepth = pRoot->m_nDepth;
    if (nDepth <= 0 || nDepth > 8 || i >= (1u << nDepth)) return clrNone;
    const RGBQUAD& q = pRoot->m_rgColors[i];
    return host::RGB(q.rgbRed, q.rgbGreen, q.rgbBlue);
}

PaletteGroup* Graphic::GetPaletteGroup() const {
    CHECK_VALID("GetPaletteGroup", nullptr);
    return RootOf(this)->m_pGroup;
}

void Graphic::SetPaletteGroup(PaletteGroup* pGroup) {
    CHECK_VALID("SetPaletteGroup", );
    GetRoot()->m_pGroup = pGroup;
}
