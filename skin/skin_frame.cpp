// A skinned window's background, frame and shape.
#include "skin/skin_frame.h"

#include "foundation/memmgr.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {

// One picture cell repeated over a strip of the window: the cell's part (xSrc, ySrc, cx,
// cy) is laid from (xDest, yDest) over cxSpan x cySpan, cut at the strip's end.
struct PIECE {
    Sprite* pCell;
    int xSrc, ySrc, cx, cy;
    int xDest, yDest, cxSpan, cySpan;
};

Graphic* FrameOf(Sprite* pSprite, DWORD iFrame) {
    if (pSprite == nullptr || pSprite->GetFrameCount() == 0) return nullptr;
    return pSprite->GetFrame(iFrame % pSprite->GetFrameCount());
}

// The corners and edges of a cx x cy window. A side too small for two corners (or two
// edges) gives each the outer half, so they never overlap.
int CollectPieces(const SKINCONTROLGRAPHICS* pCorners, const SKINCONTROLGRAPHICS* pLeftRight,
                  const SKINCONTROLGRAPHICS* pTopBottom, int cx, int cy, PIECE* pPieces) {
    int cPieces = 0;
    auto Add = [&](Sprite* pCell, int xSrc, int ySrc, int cxCell, int cyCell, int xDest, int yDest,
                   int cxSpan, int cySpan) {
        if (pCell == nullptr || cxCell <= 0 || cyCell <= 0 || cxSpan <= 0 || cySpan <= 0) return;
        pPieces[cPieces++] = {pCell, xSrc, ySrc, cxCell, cyCell, xDest, yDest, cxSpan, cySpan};
    };
    const int cxNear = cx - cx / 2, cxFar = cx / 2;
    const int cyNear = cy - cy / 2, cyFar = cy / 2;
    int cxLeft = 0, cxRight = 0, cyTop = 0, cyBottom = 0;
    if (pCorners != nullptr) {
        const int cw = pCorners->CellWidth(), ch = pCorners->CellHeight();
        cxLeft = std::min(cw, cxNear);
        cxRight = std::min(cw, cxFar);
        cyTop = std::min(ch, cyNear);
        cyBottom = std::min(ch, cyFar);
        Add(pCorners->Cell(0), 0, 0, cxLeft, cyTop, 0, 0, cxLeft, cyTop);
        Add(pCorners->Cell(1), cw - cxRight, 0, cxRight, cyTop, cx - cxRight, 0, cxRight, cyTop);
        Add(pCorners->Cell(2), 0, ch - cyBottom, cxLeft, cyBottom, 0, cy - cyBottom, cxLeft,
            cyBottom);
        Add(pCorners->Cell(3), cw - cxRight, ch - cyBottom, cxRight, cyBottom, cx - cxRight,
            cy - cyBottom, cxRight, cyBottom);
    }
    if (pLeftRight != nullptr) {
        const int ew = pLeftRight->CellWidth(), eh = pLeftRight->CellHeight();
        const int cxL = std::min(ew, cxNear), cxR = std::min(ew, cxFar);
        const int cySpan = cy - cyTop - cyBottom;
        Add(pLeftRight->Cell(0), 0, 0, cxL, eh, 0, cyTop, cxL, cySpan);
        Add(pLeftRight->Cell(1), ew - cxR, 0, cxR, eh, cx - cxR, cyTop, cxR, cySpan);
    }
    if (pTopBottom != nullptr) {
        const int ew = pTopBottom->CellWidth(), eh = pTopBottom->CellHeight();
        const int cyT = std::min(eh, cyNear), cyB = std::min(eh, cyFar);
        const int cxSpan = cx - cxLeft - cxRight;
        Add(pTopBottom->Cell(0), 0, 0, ew, cyT, cxLeft, 0, cxSpan, cyT);
        Add(pTopBottom->Cell(1), 0, eh - cyB, ew, cyB, cxLeft, cy - cyB, cxSpan, cyB);
    }
    return cPieces;
}

// The shape's rectangles, after room for the RGNDATA header (two RECTs are 32 bytes), grown
// in blocks of 256.
class RectList {
public:
    static constexpr std::uint32_t cHeader = sizeof(host::RGNDATAHEADER) / sizeof(RECT);
    static_assert(cHeader * sizeof(RECT) == sizeof(host::RGNDATAHEADER));

    RectList(int cx, int cy) : rcBound_{0, 0, cx, cy} {}
    ~RectList() { MemFree(pRects_); }
    RectList(const RectList&) = delete;
    RectList& operator=(const RectList&) = delete;

    // Cut to the window; false when out of memory.
    bool Add(int left, int top, int right, int bottom) {
        left = std::max(left, static_cast<int>(rcBound_.left));
        top = std::max(top, static_cast<int>(rcBound_.top));
        right = std::min(right, static_cast<int>(rcBound_.right));
        bottom = std::min(bottom, static_cast<int>(rcBound_.bottom));
        if (left >= right || top >= bottom) return true;
        if (!MemReallocArray(&pRects_, &cAllocated_, cHeader + cRects_ + 1, 256)) return false;
        pRects_[cHeader + cRects_++] = {left, top, right, bottom};
        return true;
    }

    host::HRGN Create() {
        if (!MemReallocArray(&pRects_, &cAllocated_, cHeader + cRects_, 256)) return nullptr;
        host::RGNDATAHEADER rdh{sizeof(host::RGNDATAHEADER), host::RDH_RECTANGLES, cRects_,
                                cRects_ * static_cast<DWORD>(sizeof(RECT)), rcBound_};
        std::memcpy(pRects_, &rdh, sizeof(rdh));
        return host::ExtCreateRegion(nullptr,
                                     static_cast<DWORD>(sizeof(rdh) + cRects_ * sizeof(RECT)),
                                     reinterpret_cast<const host::RGNDATA*>(pRects_));
    }

private:
    RECT rcBound_;
    RECT* pRects_ = nullptr;
    std::uint32_t cAllocated_ = 0;
    std::uint32_t cRects_ = 0;
};

// Calls fn(x0, x1) for each opaque stretch of row y of the graphic within columns [xFirst,
// xLast), relative to xFirst. A graphic without a transparent colour is opaque throughout.
template <class Fn> bool ForOpaqueRuns(Graphic* pGraphic, int y, int xFirst, int xLast, Fn fn) {
    if (!pGraphic->IsTransparent()) return fn(0, xLast - xFirst);
    RECT rc;
    pGraphic->GetRectInRoot(&rc);
    LONG cRuns = 0;
    const OPAQUERUN* pRuns = pGraphic->GetRuns(y, &cRuns);
    for (LONG i = 0; i < cRuns; ++i) {
        const int x0 = std::max(static_cast<int>(pRuns[i].x - rc.left), xFirst);
        const int x1 = std::min(static_cast<int>(pRuns[i].x + pRuns[i].cx - rc.left), xLast);
        if (x0 < x1 && !fn(x0 - xFirst, x1 - xFirst)) return false;
    }
    return true;
}

bool AddPiece(RectList* pList, const PIECE& piece) {
    Graphic* pGraphic = FrameOf(piece.pCell, 0);
    if (pGraphic == nullptr) return true;
    pGraphic->PrepareTransparency();
    for (int yRow = 0; yRow < piece.cySpan; ++yRow) {
        const int y = piece.yDest + yRow;
        const int ySrc = piece.ySrc + yRow % piece.cy;
        bool fOk =
            ForOpaqueRuns(pGraphic, ySrc, piece.xSrc, piece.xSrc + piece.cx, [&](int x0, int x1) {
                for (int x = 0; x < piece.cxSpan; x += piece.cx) {
                    const int xEnd = piece.xDest + piece.cxSpan;
                    if (!pList->Add(std::min(piece.xDest + x + x0, xEnd), y,
                                    std::min(piece.xDest + x + x1, xEnd), y + 1))
                        return false;
                }
                return true;
            });
        if (!fOk) return false;
    }
    return true;
}

} // namespace

SKINFRAME::SKINFRAME(SKIN* pSkin, const cetl::string& strWindow)
    : settings_(pSkin->WindowSettings(strWindow)) {
    pFrame_ = pSkin->OptionalGraphics(TEXT("frame"), CT_FRAME, strWindow);
    if (pFrame_ == nullptr) {
        pCorners_ = pSkin->Graphics(TEXT("frame-c"), CT_FRAME_CORNERS, strWindow);
        pLeftRight_ = pSkin->Graphics(TEXT("frame-lr"), CT_FRAME_LR, strWindow);
        pTopBottom_ = pSkin->Graphics(TEXT("frame-tb"), CT_FRAME_TB, strWindow);
    }
    pBackground_ = pSkin->Graphics(TEXT("background"), CT_BACKGROUND, strWindow);
}

SKINFRAME::SKINFRAME(const SKINWINDOWSETTINGS& settings, SKINCONTROLGRAPHICS* pFrame,
                     SKINCONTROLGRAPHICS* pCorners, SKINCONTROLGRAPHICS* pLeftRight,
                     SKINCONTROLGRAPHICS* pTopBottom, SKINCONTROLGRAPHICS* pBackground)
    : settings_(settings), pFrame_(pFrame), pCorners_(pCorners), pLeftRight_(pLeftRight),
      pTopBottom_(pTopBottom), pBackground_(pBackground) {}

RECT SKINFRAME::InnerRect(int cx, int cy) const {
    cx = std::max(cx, 0);
    cy = std::max(cy, 0);
    // Borders are never negative as read, but a caller's settings may be anything.
    const int left = std::clamp(settings_.nLeftBorder, 0, cx);
    const int top = std::clamp(settings_.nTopBorder, 0, cy);
    const int right = std::max(left, cx - std::clamp(settings_.nRightBorder, 0, cx));
    const int bottom = std::max(top, cy - std::clamp(settings_.nBottomBorder, 0, cy));
    return {left, top, right, bottom};
}

void SKINFRAME::Draw(Graphic* pDest, DWORD iFrame) const {
    if (pDest == nullptr || !pDest->IsValid()) return;
    const int cx = pDest->GetWidth(), cy = pDest->GetHeight();
    if (cx <= 0 || cy <= 0) return;

    if (HDC hdc = pDest->GetDC()) {
        RECT rc;
        pDest->GetRectInRoot(&rc);
        host::HBRUSH hbr = host::CreateSolidBrush(settings_.clrBackground);
        if (hbr != nullptr) {
            host::FillRect(hdc, &rc, hbr);
            host::DeleteObject(hbr);
        }
        pDest->ReleaseDC();
    }

    const RECT rcInner = InnerRect(cx, cy);
    Graphic* pBackground =
        FrameOf(pBackground_ != nullptr ? pBackground_->Cell(0) : nullptr, iFrame);
    if (pBackground != nullptr && rcInner.right > rcInner.left && rcInner.bottom > rcInner.top) {
        // A child of the destination cuts every layout to the inner rectangle.
        Graphic inner(pDest, &rcInner);
        const int cxInner = rcInner.right - rcInner.left, cyInner = rcInner.bottom - rcInner.top;
        const int cxPicture = pBackground->GetWidth(), cyPicture = pBackground->GetHeight();
        switch (settings_.nBackgroundLayout) {
        case SKIN_STRETCH:
            pBackground->StretchTo(&inner, 0, 0, cxInner, cyInner, 0, 0, cxPicture, cyPicture);
            break;
        case SKIN_CENTER:
            pBackground->DrawTo(&inner, (cxInner - cxPicture) / 2, (cyInner - cyPicture) / 2, 0, 0,
                                cxPicture, cyPicture);
            break;
        default:
            pBackground->TileTo(&inner, 0, 0, cxInner, cyInner, 0, 0, cxPicture, cyPicture, 0, 0);
            break;
        }
    }

    if (pFrame_ != nullptr) {
        if (Graphic* pFrame = FrameOf(pFrame_->Cell(0), iFrame))
            pFrame->DrawTo(pDest, 0, 0, 0, 0, pFrame->GetWidth(), pFrame->GetHeight());
        return;
    }
    PIECE pieces[8];
    const int cPieces = CollectPieces(pCorners_, pLeftRight_, pTopBottom_, cx, cy, pieces);
    for (int i = 0; i < cPieces; ++i) {
        const PIECE& piece = pieces[i];
        if (Graphic* pCell = FrameOf(piece.pCell, iFrame))
            pCell->TileTo(pDest, piece.xDest, piece.yDest, piece.cxSpan, piece.cySpan, piece.xSrc,
                          piece.ySrc, piece.cx, piece.cy, 0, 0);
    }
}

host::HRGN SKINFRAME::Region(int cx, int cy) const {
    if (cx <= 0 || cy <= 0) return host::CreateRectRgn(0, 0, 0, 0);
    RectList list(cx, cy);

    if (pFrame_ != nullptr) {
        Graphic* pFrame = FrameOf(pFrame_->Cell(0), 0);
        if (pFrame == nullptr) return host::CreateRectRgn(0, 0, 0, 0);
        pFrame->PrepareTransparency();
        const int cxFrame = std::min(pFrame->GetWidth(), cx);
        const int cyFrame = std::min(pFrame->GetHeight(), cy);
        // Row by row from the first to the last opaque pixel.
        for (int y = 0; y < cyFrame; ++y) {
            int xFirst = cxFrame, xLast = 0;
            ForOpaqueRuns(pFrame, y, 0, cxFrame, [&](int x0, int x1) {
                xFirst = std::min(xFirst, x0);
                xLast = std::max(xLast, x1);
                return true;
            });
            if (xFirst < xLast && !list.Add(xFirst, y, xLast, y + 1)) return nullptr;
        }
        return list.Create();
    }

    PIECE pieces[8];
    const int cPieces = CollectPieces(pCorners_, pLeftRight_, pTopBottom_, cx, cy, pieces);
    bool fTransparent = false;
    for (int i = 0; i < cPieces; ++i) {
        Graphic* pGraphic = FrameOf(pieces[i].pCell, 0);
        fTransparent = fTransparent || (pGraphic != nullptr && pGraphic->IsTransparent());
    }
    if (!fTransparent) return host::CreateRectRgn(0, 0, cx, cy);

    for (int i = 0; i < cPieces; ++i)
        if (!AddPiece(&list, pieces[i])) return nullptr;

    // The solid middle: inside the thinner of corner and edge on each side.
    auto Inset = [](const SKINCONTROLGRAPHICS* pCorner, int nCorner,
                    const SKINCONTROLGRAPHICS* pEdge, int nEdge) {
        if (pCorner == nullptr) return pEdge != nullptr ? nEdge : 0;
        return pEdge != nullptr ? std::min(nCorner, nEdge) : nCorner;
    };
    const int cxInset = Inset(pCorners_, pCorners_ ? pCorners_->CellWidth() : 0, pLeftRight_,
                              pLeftRight_ ? pLeftRight_->CellWidth() : 0);
    const int cyInset = Inset(pCorners_, pCorners_ ? pCorners_->CellHeight() : 0, pTopBottom_,
                              pTopBottom_ ? pTopBottom_->CellHeight() : 0);
    if (!list.Add(cxInset, cyInset, cx - cxInset, cy - cyInset)) return nullptr;
    return list.Create();
}
