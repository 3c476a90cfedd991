// Graphic drawing: raw row copies, opaque-run copies and the software blend between
// graphics, and platform blits to device contexts.
//
// Every area is clipped in 64-bit arithmetic against the source's rectangle, each
// ancestor's rectangle and both roots' bounds before a single byte moves, so no argument
// (negative, past the edge, cxToEdge or near the integer limits) reaches outside a bitmap.
#include "anim/cea_graphic.h"

#include "anim/cea_palette.h"
#include "foundation/diag.h"
#include "foundation/memmgr.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>

namespace {

using i64 = long long;

struct Box {
    i64 left, top, right, bottom;
    bool IsEmpty() const { return left >= right || top >= bottom; }
    void Intersect(const Box& other) {
        left = std::max(left, other.left);
        top = std::max(top, other.top);
        right = std::min(right, other.right);
        bottom = std::min(bottom, other.bottom);
    }
    void Offset(i64 dx, i64 dy) {
        left += dx;
        right += dx;
        top += dy;
        bottom += dy;
    }
    i64 Width() const { return right - left; }
    i64 Height() const { return bottom - top; }
};

// An extent argument: cxToEdge (or anything reaching past it) runs to the far edge, which
// the later intersection supplies.
i64 Extent(int c) {
    return c == cxToEdge ? i64(INT_MAX) * 4 : i64(c);
}

// Where a graphic lies in its root: the origin of its coordinates and the visible part
// (its rectangle cut by every ancestor's rectangle and the root's bounds), in root
// coordinates.
struct Placement {
    Graphic* pRoot = nullptr;
    i64 xOrigin = 0;
    i64 yOrigin = 0;
    Box clip = {};
};

Placement Place(Graphic* pGraphic) {
    Placement p;
    p.clip = {0, 0, pGraphic->GetWidth(), pGraphic->GetHeight()};
    Graphic* pCur = pGraphic;
    while (pCur->IsChild()) {
        RECT rc = {};
        pCur->GetRectInParent(&rc);
        p.xOrigin += rc.left;
        p.yOrigin += rc.top;
        p.clip.Offset(rc.left, rc.top);
        pCur = pCur->GetParent();
        if (!pCur || !pCur->IsValid()) {
            p.pRoot = nullptr;
            return p;
        }
        p.clip.Intersect({0, 0, pCur->GetWidth(), pCur->GetHeight()});
    }
    p.pRoot = pCur;
    if (!pCur->GetBits()) p.clip = {};
    return p;
}

// n * num / den without overflow (all below 2^33 in magnitude).
i64 Scale(i64 n, i64 num, i64 den) {
    return i64(static_cast<__int128>(n) * num / den);
}

int BytesPerPixel(int nDepth) {
    return nDepth / 8;
}

// ---------------------------------------------------------------------------------------
// Software blend

struct BlendJob {
    // Source pixels: pixel (x, y) of the source root is at pbSrc + (y - ySrc0) * cbSrcPitch
    // + (x - xSrc0) * bytes per pixel (a snapshot when source and destination share a root).
    const BYTE* pbSrc;
    LONG cbSrcPitch;
    int xSrc0, ySrc0;
    const Graphic* pSrcRoot; // depths below 8 read through GetPixelValue
    const RGBQUAD* pSrcColors;
    BYTE* pbDst;
    LONG cbDstPitch;
    const RGBQUAD* pDstColors;
    // The area: source root position, destination root position, size.
    int xSrc, ySrc, xDst, yDst, cx, cy;
    int nAlpha;        // uniform opacity, 1..256
    const BYTE* pbMap; // per-pixel map or null
    LONG cbMapRow, cMapRows;
    int xMap, yMap; // map position of the area's first pixel
    bool fFixed;    // 8-bit destination: fixed palette, else pbNearest
    const BYTE* pbNearest;
};

inline int Mix(int d, int s, int a) {
    return d + ((a * (s - d)) >> 8);
}

struct Rgb {
    int r, g, b;
};

template <int nSrc> inline Rgb SourceRgb(const BlendJob& job, const BYTE* pb, int x, int y) {
    if constexpr (nSrc == 8) {
        const RGBQUAD& q = job.pSrcColors[*pb];
        return {q.rgbRed, q.rgbGreen, q.rgbBlue};
    } else if constexpr (nSrc == 16) {
        unsigned v = pb[0] | (pb[1] << 8);
        return {int((v >> 10) & 31) << 3, int((v >> 5) & 31) << 3, int(v & 31) << 3};
    } else if constexpr (nSrc == 24 || nSrc == 32) {
        return {pb[2], pb[1], pb[0]};
    } else {
        DWORD v = job.pSrcRoot->GetPixelValue(x, y);
        const RGBQUAD& q = job.pSrcColors[v & 255];
        return {q.rgbRed, q.rgbGreen, q.rgbBlue};
    }
}

template <int nSrc> inline unsigned Source555(const BlendJob& job, const BYTE* pb, int x, int y) {
    if constexpr (nSrc == 16) {
        return (pb[0] | (pb[1] << 8)) & 0x7FFF;
    } else {
        Rgb c = SourceRgb<nSrc>(job, pb, x, y);
        return unsigned((c.r >> 3) << 10 | (c.g >> 3) << 5 | (c.b >> 3));
    }
}

inline BYTE NearestIndex(const BlendJob& job, int r, int g, int b) {
    if (job.fFixed) return PaletteGroup::FixedSlotForColor(BYTE(r), BYTE(g), BYTE(b));
    auto x4 = [](int x) { return std::min((x + 8) >> 4, 15); };
    return job.pbNearest[x4(r) * 256 + x4(g) * 16 + x4(b)];
}

// A 5-5-5 value with each field in a 16-bit lane of its own, so that one multiplication
// scales all three without carries (31 x 256 stays below 2^13).
inline std::uint64_t Spread555(unsigned v) {
    return (v & 0x1F) | (std::uint64_t(v & 0x3E0) << 11) | (std::uint64_t(v & 0x7C00) << 22);
}

template <int nSrc, int nDst>
inline void BlendPixel(const BlendJob& job, const BYTE* pbS, BYTE* pbD, int x, int y, int a) {
    if constexpr (nDst == 16) {
        // d + ((a * (s - d)) >> 8) with an arithmetic shift equals
        // (d * (256 - a) + s * a) >> 8, whose terms are never negative.
        const unsigned s = Source555<nSrc>(job, pbS, x, y);
        std::uint16_t d;
        std::memcpy(&d, pbD, 2);
        const std::uint64_t mix =
            ((Spread555(d) * unsigned(256 - a) + Spread555(s) * unsigned(a)) >> 8) &
            0x0000001F001F001FULL;
        const std::uint16_t v = std::uint16_t((d & 0x8000) | (mix & 0x1F) | ((mix >> 11) & 0x3E0) |
                                              ((mix >> 22) & 0x7C00));
        std::memcpy(pbD, &v, 2);
    } else if constexpr (nDst == 8) {
        const Rgb s = SourceRgb<nSrc>(job, pbS, x, y);
        const RGBQUAD& d = job.pDstColors[*pbD];
        *pbD = NearestIndex(job, Mix(d.rgbRed, s.r, a), Mix(d.rgbGreen, s.g, a),
                            Mix(d.rgbBlue, s.b, a));
    } else {
        const Rgb s = SourceRgb<nSrc>(job, pbS, x, y);
        pbD[0] = BYTE(Mix(pbD[0], s.b, a));
        pbD[1] = BYTE(Mix(pbD[1], s.g, a));
        pbD[2] = BYTE(Mix(pbD[2], s.r, a));
    }
}

template <int nSrc, int nDst, bool fMap> void BlendArea(const BlendJob& job) {
    constexpr int cbSrcPixel = nSrc >= 8 ? nSrc / 8 : 0;
    constexpr int cbDstPixel = nDst / 8;
    // Pixels without a map byte are left as they are.
    int i0 = 0, i1 = job.cx;
    if constexpr (fMap) {
        i0 = int(std::clamp<i64>(-i64(job.xMap), 0, job.cx));
        i1 = int(std::clamp<i64>(i64(job.cbMapRow) - job.xMap, i0, job.cx));
    }
    for (int j = 0; j < job.cy; ++j) {
        const int ySrc = job.ySrc + j;
        const BYTE* pbS = job.pbSrc + i64(ySrc - job.ySrc0) * job.cbSrcPitch +
                          i64(job.xSrc - job.xSrc0 + i0) * cbSrcPixel;
        BYTE* pbD =
            job.pbDst + i64(job.yDst + j) * job.cbDstPitch + i64(job.xDst + i0) * cbDstPixel;
        const BYTE* pbA = nullptr;
        if constexpr (fMap) {
            const i64 yMap = i64(job.yMap) + j;
            if (yMap < 0 || yMap >= job.cMapRows) continue;
            pbA = job.pbMap + yMap * job.cbMapRow;
        }
        for (int i = i0; i < i1; ++i, pbS += cbSrcPixel, pbD += cbDstPixel) {
            int a = job.nAlpha;
            if constexpr (fMap) {
                a = pbA[job.xMap + i];
                if (a == 0) continue;
                if (a == 255) a = 256;
            }
            BlendPixel<nSrc, nDst>(job, pbS, pbD, job.xSrc + i, ySrc, a);
        }
    }
}

template <int nSrc, int nDst> void BlendArea(const BlendJob& job) {
    if (job.pbMap)
        BlendArea<nSrc, nDst, true>(job);
    else
        BlendArea<nSrc, nDst, false>(job);
}

template <int nSrc> void BlendToDepth(const BlendJob& job, int nDstDepth) {
    switch (nDstDepth) {
    case 8:
        BlendArea<nSrc, 8>(job);
        break;
    case 16:
        BlendArea<nSrc, 16>(job);
        break;
    case 24:
        BlendArea<nSrc, 24>(job);
        break;
    case 32:
        BlendArea<nSrc, 32>(job);
        break;
    default:
        break;
    }
}

// A private copy of a source area whose root is also the destination, so that overlapping
// copies and blends read the original pixels.
struct Snapshot {
    BYTE* pb = nullptr;
    ~Snapshot() {
        if (pb) MemFree(pb);
    }
};

bool TakeSnapshot(Snapshot* pSnap, const BYTE* pbBits, LONG cbPitch, int cbPixel, int x, int y,
                  int cx, int cy, const BYTE** ppb, LONG* pcbPitch) {
    const size_t cbRow = size_t(cx) * size_t(cbPixel);
    const size_t cbSnapshot = cbRow * size_t(cy);
    pSnap->pb = static_cast<BYTE*>(MemAlloc(cbSnapshot));
    if (!pSnap->pb) return false;
    for (int j = 0; j < cy; ++j)
        std::memcpy(pSnap->pb + cbRow * j, pbBits + i64(y + j) * cbPitch + i64(x) * cbPixel, cbRow);
    *ppb = pSnap->pb;
    *pcbPitch = LONG(cbRow);
    return true;
}

bool Overlap(int xA, int yA, int xB, int yB, int cx, int cy) {
    return xA < xB + cx && xB < xA + cx && yA < yB + cy && yB < yA + cy;
}

// Clips a destination rectangle of a device context to what the context can show, so the
// blit arguments stay small and tiling never walks past the visible part.
bool ClipToDC(HDC hdc, Box* pDst) {
    RECT rc = {};
    if (host::GetClipBox(hdc, &rc) == host::ERROR) return false;
    pDst->Intersect({rc.left, rc.top, rc.right, rc.bottom});
    return !pDst->IsEmpty();
}

// The area to draw: the source rectangle [xSrc, xSrc + cx) x [ySrc, ySrc + cy) of pSrc,
// clipped to what pSrc shows, and where it lands (xDest + offset). Root coordinates for the
// source.
struct SourceArea {
    Placement place;
    Box src;    // in the source root
    i64 dx, dy; // destination position = source root position + (dx, dy)
};

bool ClipSource(Graphic* pSrc, int xDest, int yDest, int xSrc, int ySrc, int cx, int cy,
                SourceArea* pArea) {
    pArea->place = Place(pSrc);
    if (!pArea->place.pRoot) return false;
    const i64 cxArea = Extent(cx), cyArea = Extent(cy);
    if (cxArea <= 0 || cyArea <= 0) return false;
    Box src = {xSrc, ySrc, xSrc + cxArea, ySrc + cyArea};
    src.Offset(pArea->place.xOrigin, pArea->place.yOrigin);
    src.Intersect(pArea->place.clip);
    pArea->src = src;
    pArea->dx = i64(xDest) - xSrc - pArea->place.xOrigin;
    pArea->dy = i64(yDest) - ySrc - pArea->place.yOrigin;
    return !src.IsEmpty();
}

} // namespace

// ---------------------------------------------------------------------------------------
// Graphic to graphic

void Graphic::DrawTo(Graphic* pDest, int xDest, int yDest, int xSrc, int ySrc, int cx, int cy) {
    if (!IsValid()) {
        cetl::trace("Graphic::DrawTo called on invalid graphic (0x%08lX)",
                    (unsigned long)(uintptr_t)this);
        return;
    }
    if (!pDest || !pDest->IsValid()) return;

    SourceArea area;
    if (!ClipSource(this, xDest, yDest, xSrc, ySrc, cx, cy, &area)) return;
    const Placement dst = Place(pDest);
    if (!dst.pRoot) return;
    // Into the destination root: cut by the destination's visible part.
    Box box = area.src;
    Box dstClip = dst.clip;
    dstClip.Offset(-(area.dx + dst.xOrigin), -(area.dy + dst.yOrigin));
    box.Intersect(dstClip);
    if (box.IsEmpty()) return;

    // Everything fits in the bitmaps now, so plain ints hold it.
    const int xS = int(box.left), yS = int(box.top);
    const int xD = int(box.left + area.dx + dst.xOrigin);
    const int yD = int(box.top + area.dy + dst.yOrigin);
    const int w = int(box.Width()), h = int(box.Height());
    Graphic* pSrcRoot = area.place.pRoot;

    if (pSrcRoot->IsTranslucent()) {
        // Per-pixel opacity is looked up relative to the graphic drawn.
        Blend(dst.pRoot, xD, yD, xS, yS, w, h);
        return;
    }
    pSrcRoot->DrawToGraphic(dst.pRoot, xD, yD, xS, yS, w, h);
}

// Root to root, area already clipped to both.
void Graphic::DrawToGraphic(Graphic* pDest, int xDest, int yDest, int xSrc, int ySrc, int cx,
                            int cy) {
    PrepareTransparency();
    const int nDepth = GetDepth();
    if (nDepth == pDest->GetDepth() && nDepth >= 8) {
        if (IsTransparent())
            CopyRuns(pDest, xDest, yDest, xSrc, ySrc, cx, cy);
        else
            CopyRows(pDest, xDest, yDest, xSrc, ySrc, cx, cy);
        return;
    }
    HDC hdc = pDest->GetDC();
    if (!hdc) return;
    DrawTo(hdc, xDest, yDest, xSrc, ySrc, cx, cy);
    pDest->ReleaseDC();
}

void Graphic::CopyRows(Graphic* pDest, int xDest, int yDest, int xSrc, int ySrc, int cx, int cy) {
    const int cbPixel = BytesPerPixel(GetDepth());
    const BYTE* pbSrc = GetBits();
    BYTE* pbDst = pDest->GetBits();
    const LONG cbSrcPitch = GetPitch(), cbDstPitch = pDest->GetPitch();
    const size_t cbRow = size_t(cx) * size_t(cbPixel);
    // Rows that overlap within one bitmap are copied away from the overlap.
    const bool fUp = pDest == this && yDest > ySrc;
    for (int k = 0; k < cy; ++k) {
        const int j = fUp ? cy - 1 - k : k;
        std::memmove(pbDst + i64(yDest + j) * cbDstPitch + i64(xDest) * cbPixel,
                     pbSrc + i64(ySrc + j) * cbSrcPitch + i64(xSrc) * cbPixel, cbRow);
    }
}

void Graphic::CopyRuns(Graphic* pDest, int xDest, int yDest, int xSrc, int ySrc, int cx, int cy) {
    if (!m_pRows || m_cRows < GetHeight()) {
        // No run lists: let the context do the colour keying.
        HDC hdc = pDest->GetDC();
        if (!hdc) return;
        DrawTo(hdc, xDest, yDest, xSrc, ySrc, cx, cy);
        pDest->ReleaseDC();
        return;
    }
    const int cbPixel = BytesPerPixel(GetDepth());
    const BYTE* pbSrc = GetBits();
    LONG cbSrcPitch = GetPitch();
    int xSrc0 = 0, ySrc0 = 0;
    Snapshot snap;
    if (pDest == this && Overlap(xSrc, ySrc, xDest, yDest, cx, cy)) {
        if (!TakeSnapshot(&snap, pbSrc, cbSrcPitch, cbPixel, xSrc, ySrc, cx, cy, &pbSrc,
                          &cbSrcPitch))
            return;
        xSrc0 = xSrc;
        ySrc0 = ySrc;
    }
    BYTE* pbDst = pDest->GetBits();
    const LONG cbDstPitch = pDest->GetPitch();
    const i64 xEnd = i64(xSrc) + cx;
    for (int j = 0; j < cy; ++j) {
        LONG cRuns = 0;
        const OPAQUERUN* pRuns = GetRuns(ySrc + j, &cRuns);
        if (!pRuns) continue;
        const BYTE* pbS = pbSrc + i64(ySrc + j - ySrc0) * cbSrcPitch;
        BYTE* pbD = pbDst + i64(yDest + j) * cbDstPitch;
        for (LONG r = 0; r < cRuns; ++r) {
            const i64 x0 = std::max<i64>(pRuns[r].x, xSrc);
            const i64 x1 = std::min<i64>(i64(pRuns[r].x) + pRuns[r].cx, xEnd);
            if (x0 >= x1) continue;
            std::memcpy(pbD + (x0 - xSrc + xDest) * cbPixel, pbS + (x0 - xSrc0) * cbPixel,
                        size_t(x1 - x0) * cbPixel);
        }
    }
}

// Called on the graphic that was drawn (its root holds the translucency); the area is in
// root coordinates of both and clipped.
void Graphic::Blend(Graphic* pDest, int xDest, int yDest, int xSrc, int ySrc, int cx, int cy) {
    const int nDstDepth = pDest->GetDepth();
    if (nDstDepth < 8) return;
    Graphic* pSrcRoot = GetRoot();
    BlendJob job = {};
    if (nDstDepth == 8) {
        PaletteGroup* pGroup = pDest->GetPaletteGroup();
        if (!pGroup) return;
        job.fFixed = pGroup->IsFixedPalette();
        job.pbNearest = pGroup->GetNearestTable();
        if (!job.fFixed && !job.pbNearest) return;
    }
    const TRANSLUCENCY tl = pSrcRoot->GetTranslucency();
    if (tl.nMode == TRANSLUCENT_UNIFORM) {
        job.nAlpha = tl.bOpacity == 255 ? 256 : tl.bOpacity;
        if (job.nAlpha == 0) return;
    } else if (tl.nMode == TRANSLUCENT_MAP) {
        if (!tl.pbOpacity) return;
        const Placement place = Place(this);
        job.pbMap = tl.pbOpacity;
        job.cbMapRow = tl.cbRow;
        job.cMapRows = tl.cRows;
        job.xMap = int(xSrc - place.xOrigin);
        job.yMap = int(ySrc - place.yOrigin);
    } else {
        return;
    }

    const int nSrcDepth = pSrcRoot->GetDepth();
    const int cbSrcPixel = nSrcDepth >= 8 ? nSrcDepth / 8 : 0;
    job.pbSrc = pSrcRoot->GetBits();
    job.cbSrcPitch = pSrcRoot->GetPitch();
    job.pSrcRoot = pSrcRoot;
    job.pSrcColors = pSrcRoot->m_rgColors;
    job.pbDst = pDest->GetBits();
    job.cbDstPitch = pDest->GetPitch();
    job.pDstColors = pDest->m_rgColors;
    job.xSrc = xSrc;
    job.ySrc = ySrc;
    job.xDst = xDest;
    job.yDst = yDest;
    job.cx = cx;
    job.cy = cy;
    Snapshot snap;
    if (pDest == pSrcRoot && cbSrcPixel && Overlap(xSrc, ySrc, xDest, yDest, cx, cy)) {
        if (!TakeSnapshot(&snap, job.pbSrc, job.cbSrcPitch, cbSrcPixel, xSrc, ySrc, cx, cy,
                          &job.pbSrc, &job.cbSrcPitch))
            return;
        job.xSrc0 = xSrc;
        job.ySrc0 = ySrc;
    }
    switch (nSrcDepth) {
    case 8:
        BlendToDepth<8>(job, nDstDepth);
        break;
    case 16:
        BlendToDepth<16>(job, nDstDepth);
        break;
    case 24:
        BlendToDepth<24>(job, nDstDepth);
        break;
    case 32:
        BlendToDepth<32>(job, nDstDepth);
        break;
    case 1:
    case 2:
    case 4:
        BlendToDepth<1>(job, nDstDepth);
        break;
    default:
        break;
    }
}

// Copies a part of this root's bitmap to a device context, stretching when the sizes differ:
// the handheld keys the transparency colour out, the desktop ANDs the mask and ORs the image.
void Graphic::BlitRoot(HDC hdc, int xD, int yD, int wD, int hD, int xS, int yS, int wS, int hS) {
    const bool fStretch = wD != wS || hD != hS;
    auto blit = [&](HDC hdcFrom, DWORD dwRop) {
        if (fStretch)
            host::StretchBlt(hdc, xD, yD, wD, hD, hdcFrom, xS, yS, wS, hS, dwRop);
        else
            host::BitBlt(hdc, xD, yD, wD, hD, hdcFrom, xS, yS, dwRop);
    };
    // The bitmap can sit in one context at a time: an open context of the graphic serves.
    HDC hdcSrc = m_cDCRefs > 0 ? m_hdc : nullptr;
    HDC hdcTemp = nullptr;
    host::HGDIOBJ hOld = nullptr;
    if (!hdcSrc) {
        hdcTemp = host::CreateCompatibleDC(hdc);
        if (!hdcTemp) return;
        hOld = host::SelectObject(hdcTemp, static_cast<host::HGDIOBJ>(m_hbm));
        hdcSrc = hdcTemp;
    }
#if CEA_HANDHELD
    if (IsTransparent())
        host::TransparentBlt(hdc, xD, yD, wD, hD, hdcSrc, xS, yS, wS, hS, GetTransparency());
    else
        blit(hdcSrc, host::SRCCOPY);
#else
    if (m_hbmMask) {
        HDC hdcMask = host::CreateCompatibleDC(hdc);
        if (hdcMask) {
            host::HGDIOBJ hOldMask =
                host::SelectObject(hdcMask, static_cast<host::HGDIOBJ>(m_hbmMask));
            // Monochrome to colour: 0 bits take the text colour, 1 bits the background.
            const Color clrText = host::SetTextColor(hdc, host::RGB(0, 0, 0));
            const Color clrBk = host::SetBkColor(hdc, host::RGB(255, 255, 255));
            blit(hdcMask, host::SRCAND);
            blit(hdcSrc, host::SRCPAINT);
            host::SetTextColor(hdc, clrText);
            host::SetBkColor(hdc, clrBk);
            host::SelectObject(hdcMask, hOldMask);
            host::DeleteDC(hdcMask);
        }
    } else {
        blit(hdcSrc, host::SRCCOPY);
    }
#endif
    if (hdcTemp) {
        host::SelectObject(hdcTemp, hOld);
        host::DeleteDC(hdcTemp);
    }
}

// ---------------------------------------------------------------------------------------
// Graphic to device context

void Graphic::DrawTo(HDC hdc, int xDest, int yDest, int xSrc, int ySrc, int cx, int cy) {
    if (!IsValid()) {
        cetl::trace("Graphic::DrawTo called on invalid graphic (0x%08lX)",
                    (unsigned long)(uintptr_t)this);
        return;
    }
    SourceArea area;
    if (!hdc || !ClipSource(this, xDest, yDest, xSrc, ySrc, cx, cy, &area)) return;
    Box dst = area.src;
    dst.Offset(area.dx, area.dy);
    if (!ClipToDC(hdc, &dst)) return;
    Graphic* pRoot = area.place.pRoot;
    if (!pRoot->m_hbm) return;
    pRoot->PrepareTransparency();

    const int xD = int(dst.left), yD = int(dst.top);
    const int xS = int(dst.left - area.dx), yS = int(dst.top - area.dy);
    const int w = int(dst.Width()), h = int(dst.Height());

    pRoot->BlitRoot(hdc, xD, yD, w, h, xS, yS, w, h);
}

// ---------------------------------------------------------------------------------------
// Stretching

void Graphic::StretchTo(HDC hdc, int xDest, int yDest, int cxDest, int cyDest, int xSrc, int ySrc,
                        int cxSrc, int cySrc) {
    if (!IsValid()) {
        cetl::trace("Graphic::StretchTo called on invalid graphic (0x%08lX)",
                    (unsigned long)(uintptr_t)this);
        return;
    }
    if (!hdc) return;
    SourceArea area;
    if (!ClipSource(this, 0, 0, xSrc, ySrc, cxSrc, cySrc, &area)) return;
    Graphic* pRoot = area.place.pRoot;
    if (!pRoot->m_hbm) return;
    // The source extent as asked (to the edge when cxToEdge), and what of it is visible.
    const i64 xAsked = i64(xSrc) + area.place.xOrigin;
    const i64 yAsked = i64(ySrc) + area.place.yOrigin;
    const i64 cxAsked = cxSrc == cxToEdge ? area.src.right - xAsked : cxSrc;
    const i64 cyAsked = cySrc == cxToEdge ? area.src.bottom - yAsked : cySrc;
    const i64 cxD = cxDest == cxToEdge ? cxAsked : cxDest;
    const i64 cyD = cyDest == cxToEdge ? cyAsked : cyDest;
    if (cxD <= 0 || cyD <= 0 || cxAsked <= 0 || cyAsked <= 0) return;
    if (cxD == cxAsked && cyD == cyAsked) {
        DrawTo(hdc, xDest, yDest, xSrc, ySrc, cxSrc, cySrc);
        return;
    }
    // The visible source part scaled to the matching destination part.
    const Box& s = area.src;
    Box dst = {xDest + Scale(s.left - xAsked, cxD, cxAsked),
               yDest + Scale(s.top - yAsked, cyD, cyAsked),
               xDest + Scale(s.right - xAsked, cxD, cxAsked),
               yDest + Scale(s.bottom - yAsked, cyD, cyAsked)};
    if (dst.IsEmpty() || dst.left < INT_MIN / 2 || dst.top < INT_MIN / 2 ||
        dst.right > INT_MAX / 2 || dst.bottom > INT_MAX / 2)
        return;
    pRoot->PrepareTransparency();
    const int xD = int(dst.left), yD = int(dst.top), wD = int(dst.Width()), hD = int(dst.Height());
    const int xS = int(s.left), yS = int(s.top), wS = int(s.Width()), hS = int(s.Height());

    const int nOldMode = host::SetStretchBltMode(hdc, host::COLORONCOLOR);
    pRoot->BlitRoot(hdc, xD, yD, wD, hD, xS, yS, wS, hS);
    if (nOldMode) host::SetStretchBltMode(hdc, nOldMode);
}

void Graphic::StretchTo(Graphic* pDest, int xDest, int yDest, int cxDest, int cyDest, int xSrc,
                        int ySrc, int cxSrc, int cySrc) {
    if (!IsValid()) {
        cetl::trace("Graphic::StretchTo called on invalid graphic (0x%08lX)",
                    (unsigned long)(uintptr_t)this);
        return;
    }
    if (!pDest || !pDest->IsValid()) return;
    if ((cxDest == cxSrc || cxDest == cxToEdge) && (cyDest == cySrc || cyDest == cxToEdge)) {
        DrawTo(pDest, xDest, yDest, xSrc, ySrc, cxSrc, cySrc);
        return;
    }
    const Placement dst = Place(pDest);
    if (!dst.pRoot || dst.clip.IsEmpty()) return;
    HDC hdc = pDest->GetDC();
    if (!hdc) return;
    // A child destination: its root's context, moved to the child and cut to it.
    const int nSaved = host::SaveDC(hdc);
    host::IntersectClipRect(hdc, int(dst.clip.left), int(dst.clip.top), int(dst.clip.right),
                            int(dst.clip.bottom));
    const i64 xD = xDest + dst.xOrigin, yD = yDest + dst.yOrigin;
    if (xD >= INT_MIN && xD <= INT_MAX && yD >= INT_MIN && yD <= INT_MAX)
        StretchTo(hdc, int(xD), int(yD), cxDest, cyDest, xSrc, ySrc, cxSrc, cySrc);
    if (nSaved) host::RestoreDC(hdc, nSaved);
    pDest->ReleaseDC();
}

// ---------------------------------------------------------------------------------------
// Tiling

namespace {

// Tiles of w x h whose grid starts at (xStart, yStart) cover the destination rectangle;
// draw(xTile, yTile, xInTile, yInTile, cx, cy) is called for each visible piece.
template <class Draw>
void ForEachTile(const Box& rcDst, i64 xStart, i64 yStart, i64 w, i64 h, Draw draw) {
    // Only tiles that meet the rectangle: the first one at or left of its edge.
    auto first = [](i64 edge, i64 start, i64 step) {
        i64 k = (edge - start) / step;
        if (start + k * step > edge) --k;
        return start + k * step;
    };
    for (i64 ty = first(rcDst.top, yStart, h); ty < rcDst.bottom; ty += h) {
        const i64 y0 = std::max(ty, rcDst.top), y1 = std::min(ty + h, rcDst.bottom);
        for (i64 tx = first(rcDst.left, xStart, w); tx < rcDst.right; tx += w) {
            const i64 x0 = std::max(tx, rcDst.left), x1 = std::min(tx + w, rcDst.right);
            draw(int(x0), int(y0), int(x0 - tx), int(y0 - ty), int(x1 - x0), int(y1 - y0));
        }
    }
}

// The source area of a tile: its rectangle clipped to the graphic (cxToEdge: to the edge).
bool TileSource(Graphic* pSrc, int xSrc, int ySrc, int cxSrc, int cySrc, Box* pBox) {
    const i64 cx = Extent(cxSrc), cy = Extent(cySrc);
    if (cx <= 0 || cy <= 0) return false;
    Box box = {xSrc, ySrc, xSrc + cx, ySrc + cy};
    box.Intersect({0, 0, pSrc->GetWidth(), pSrc->GetHeight()});
    *pBox = box;
    return !box.IsEmpty();
}

} // namespace

void Graphic::TileTo(Graphic* pDest, int xDest, int yDest, int cxDest, int cyDest, int xSrc,
                     int ySrc, int cxSrc, int cySrc, int xPhase, int yPhase) {
    if (!IsValid()) {
        cetl::trace("Graphic::TileTo called on invalid graphic (0x%08lX)",
                    (unsigned long)(uintptr_t)this);
        return;
    }
    if (!pDest || !pDest->IsValid()) return;
    Box src;
    if (!TileSource(this, xSrc, ySrc, cxSrc, cySrc, &src)) return;
    const i64 cx = Extent(cxDest), cy = Extent(cyDest);
    if (cx <= 0 || cy <= 0) return;
    Box rcDst = {xDest, yDest, xDest + cx, yDest + cy};
    rcDst.Intersect({0, 0, pDest->GetWidth(), pDest->GetHeight()});
    if (rcDst.IsEmpty()) return;
    ForEachTile(rcDst, i64(xDest) - xPhase, i64(yDest) - yPhase, src.Width(), src.Height(),
                [&](int x, int y, int xIn, int yIn, int w, int h) {
                    DrawTo(pDest, x, y, int(src.left) + xIn, int(src.top) + yIn, w, h);
                });
}

void Graphic::TileTo(HDC hdc, int xDest, int yDest, int cxDest, int cyDest, int xSrc, int ySrc,
                     int cxSrc, int cySrc, int xPhase, int yPhase) {
    if (!IsValid()) {
        cetl::trace("Graphic::TileTo called on invalid graphic (0x%08lX)",
                    (unsigned long)(uintptr_t)this);
        return;
    }
    if (!hdc) return;
    Box src;
    if (!TileSource(this, xSrc, ySrc, cxSrc, cySrc, &src)) return;
    const i64 cx = Extent(cxDest), cy = Extent(cyDest);
    if (cx <= 0 || cy <= 0) return;
    Box rcDst = {xDest, yDest, xDest + cx, yDest + cy};
    if (!ClipToDC(hdc, &rcDst)) return;
    ForEachTile(rcDst, i64(xDest) - xPhase, i64(yDest) - yPhase, src.Width(), src.Height(),
                [&](int x, int y, int xIn, int yIn, int w, int h) {
                    DrawTo(hdc, x, y, int(src.left) + xIn, int(src.top) + yIn, w, h);
                });
}
