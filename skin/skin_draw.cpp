// Skinned controls composed from their cells, and the text drawer.
#include "skin/skin_draw.h"

#include "skin/skin_draw_internal.h"
#include "skin/skin_markup.h"

#include <algorithm>
#include <cstdint>
#include <optional>

namespace {

using i64 = std::int64_t;

using skin_internal::DestDC;
using skin_internal::Intersect;
using skin_internal::IsEmptyRect;
using skin_internal::MeasureDC;
using skin_internal::SelectFont;
using skin_internal::TextRect;

// The part of the destination one control may draw on: its rectangle, the context's clip
// and the destination, as a child graphic so that every blit is cut to it.
class Canvas {
public:
    Canvas(const SKINDRAWCONTEXT& ctx, const RECT& rc) : nFrame_(ctx.nFrame) {
        if (ctx.pDest == nullptr || !ctx.pDest->IsValid()) return;
        RECT rcDest = {0, 0, ctx.pDest->GetWidth(), ctx.pDest->GetHeight()};
        visible_ = Intersect(Intersect(rc, ctx.rcClip), rcDest);
        if (IsEmptyRect(visible_)) return;
        child_.emplace(ctx.pDest, &visible_);
    }
    bool IsEmpty() const { return !child_.has_value(); }
    const RECT& Visible() const { return visible_; }

    // Part of a cell (source rectangle within the cell) stretched to a destination
    // rectangle; the same size draws it as it is.
    void Draw(const Sprite* pCell, i64 x, i64 y, i64 cx, i64 cy, int xSrc, int ySrc, int cxSrc,
              int cySrc) {
        if (IsEmpty() || cx <= 0 || cy <= 0 || cxSrc <= 0 || cySrc <= 0) return;
        // Nothing of it shows: skip (also keeps far-off coordinates out of int).
        if (x >= visible_.right || y >= visible_.bottom || x + cx <= visible_.left ||
            y + cy <= visible_.top)
            return;
        Graphic* pFrame = SkinCellFrame(pCell, nFrame_);
        if (pFrame == nullptr) return;
        const i64 xIn = x - visible_.left, yIn = y - visible_.top;
        if (xIn < -0x3FFFFFFF || yIn < -0x3FFFFFFF || cx > 0x3FFFFFFF || cy > 0x3FFFFFFF) return;
        pFrame->StretchTo(&*child_, int(xIn), int(yIn), int(cx), int(cy), xSrc, ySrc, cxSrc, cySrc);
    }

    // A cell repeated along x over cx (the last one cut), each stretched to cy from the
    // source rows ySrc..ySrc+cySrc.
    void RepeatX(const Sprite* pCell, int cxCell, i64 x, i64 y, i64 cx, i64 cy, int ySrc,
                 int cySrc) {
        if (IsEmpty() || cxCell <= 0 || cx <= 0) return;
        i64 k = std::max<i64>(0, (visible_.left - x) / cxCell);
        for (i64 xx = x + k * cxCell; xx < x + cx && xx < visible_.right; xx += cxCell) {
            const i64 w = std::min<i64>(cxCell, x + cx - xx);
            Draw(pCell, xx, y, w, cy, 0, ySrc, int(w), cySrc);
        }
    }
    // The same along y, each stretched to cx from the source columns xSrc..xSrc+cxSrc.
    void RepeatY(const Sprite* pCell, int cyCell, i64 x, i64 y, i64 cx, i64 cy, int xSrc,
                 int cxSrc) {
        if (IsEmpty() || cyCell <= 0 || cy <= 0) return;
        i64 k = std::max<i64>(0, (visible_.top - y) / cyCell);
        for (i64 yy = y + k * cyCell; yy < y + cy && yy < visible_.bottom; yy += cyCell) {
            const i64 h = std::min<i64>(cyCell, y + cy - yy);
            Draw(pCell, x, yy, cx, h, xSrc, 0, cxSrc, int(h));
        }
    }

    // Left cap, repeated middle, right cap over cx, stretched to cy from the source rows
    // ySrc..ySrc+cySrc. Caps share a run narrower than both.
    void Row3(const Sprite* pLeft, const Sprite* pMiddle, const Sprite* pRight, int cxCell, i64 x,
              i64 y, i64 cx, i64 cy, int ySrc, int cySrc) {
        if (cx <= 0 || cy <= 0) return;
        const i64 cxLeft = std::min<i64>(cxCell, (cx + 1) / 2);
        const i64 cxRight = std::min<i64>(cxCell, cx - cxLeft);
        Draw(pLeft, x, y, cxLeft, cy, 0, ySrc, int(cxLeft), cySrc);
        Draw(pRight, x + cx - cxRight, y, cxRight, cy, int(cxCell - cxRight), ySrc, int(cxRight),
             cySrc);
        RepeatX(pMiddle, cxCell, x + cxLeft, y, cx - cxLeft - cxRight, cy, ySrc, cySrc);
    }

private:
    DWORD nFrame_;
    RECT visible_ = {};
    std::optional<Graphic> child_;
};

i64 Width(const RECT& rc) {
    return i64(rc.right) - rc.left;
}
i64 Height(const RECT& rc) {
    return i64(rc.bottom) - rc.top;
}

bool HasGrid(const SKINCONTROLGRAPHICS* pGraphics, int cColumns, int cRows) {
    return pGraphics != nullptr && pGraphics->Columns() >= cColumns && pGraphics->Rows() >= cRows;
}

} // namespace

int SkinStateRow(const SKINDRAWSTATE& state) {
    if (!state.fEnabled) return 0;
    if (state.fPressed) return 3;
    return state.fHot ? 2 : 1;
}

int SkinBoxCell(const SKINDRAWSTATE& state) {
    if (!state.fEnabled) return 0;
    if (state.fPressed) return 2;
    return state.fHot ? 1 : 0;
}

Graphic* SkinCellFrame(const Sprite* pCell, DWORD nFrame) {
    if (pCell == nullptr || pCell->GetFrameCount() == 0) return nullptr;
    return pCell->GetFrame(nFrame % pCell->GetFrameCount());
}

bool SkinIsAnimated(const SKINCONTROLGRAPHICS* pGraphics) {
    if (pGraphics == nullptr) return false;
    for (int i = 0; i < pGraphics->CellCount(); ++i) {
        const Sprite* pCell = pGraphics->Cell(i);
        if (pCell != nullptr && pCell->GetFrameCount() >= 2) return true;
    }
    return false;
}

void SkinDrawPushButton(const SKINDRAWCONTEXT& ctx, const SKINCONTROLGRAPHICS* pGraphics,
                        const RECT& rc, const SKINDRAWSTATE& state) {
    if (!HasGrid(pGraphics, 3, 4)) return;
    Canvas canvas(ctx, rc);
    const int iRow = SkinStateRow(state);
    canvas.Row3(pGraphics->Cell(0, iRow), pGraphics->Cell(1, iRow), pGraphics->Cell(2, iRow),
                pGraphics->CellWidth(), rc.left, rc.top, Width(rc), Height(rc), 0,
                pGraphics->CellHeight());
}

void SkinDrawBox(const SKINDRAWCONTEXT& ctx, const SKINCONTROLGRAPHICS* pGraphics, const RECT& rc,
                 const SKINDRAWSTATE& state) {
    if (pGraphics == nullptr) return;
    Canvas canvas(ctx, rc);
    const int cx = pGraphics->CellWidth(), cy = pGraphics->CellHeight();
    canvas.Draw(pGraphics->Cell(SkinBoxCell(state)), rc.left, rc.top, cx, cy, 0, 0, cx, cy);
}

void SkinDrawCheck(const SKINDRAWCONTEXT& ctx, const SKINCONTROLGRAPHICS* pGraphics, const RECT& rc,
                   const SKINCONTROLSETTINGS& settings, const SKINDRAWSTATE& state) {
    if (!HasGrid(pGraphics, 2, 4)) return;
    Canvas canvas(ctx, rc);
    const int cx = pGraphics->CellWidth(), cy = pGraphics->CellHeight();
    i64 x = i64(rc.left) + settings.nImageXAdjust;
    if (settings.nImageLayout == SKIN_RIGHT)
        x = i64(rc.right) - settings.nImageXAdjust - cx;
    else if (settings.nImageLayout == SKIN_CENTER)
        x = rc.left + (Width(rc) - cx) / 2 + settings.nImageXAdjust;
    const i64 y = i64(rc.top) + settings.nImageYAdjust;
    canvas.Draw(pGraphics->Cell(state.fChecked ? 1 : 0, SkinStateRow(state)), x, y, cx, cy, 0, 0,
                cx, cy);
}

void SkinDrawProgress(const SKINDRAWCONTEXT& ctx, const SKINCONTROLGRAPHICS* pGraphics,
                      const RECT& rc, int nPosition) {
    if (!HasGrid(pGraphics, 4, 1)) return;
    Canvas canvas(ctx, rc);
    const int cxCell = pGraphics->CellWidth(), cyCell = pGraphics->CellHeight();
    const i64 cx = Width(rc), cy = Height(rc);
    if (cx <= 0 || cy <= 0) return;
    const i64 cxLeft = std::min<i64>(cxCell, (cx + 1) / 2);
    const i64 cxRight = std::min<i64>(cxCell, cx - cxLeft);
    canvas.Draw(pGraphics->Cell(0), rc.left, rc.top, cxLeft, cy, 0, 0, int(cxLeft), cyCell);
    canvas.Draw(pGraphics->Cell(3), rc.right - cxRight, rc.top, cxRight, cy, int(cxCell - cxRight),
                0, int(cxRight), cyCell);
    // Whole cells of the filled part only, so the bar grows a cell at a time.
    const i64 cxSpan = cx - cxLeft - cxRight;
    const i64 nPercent = std::clamp(nPosition, 0, 100);
    const i64 cxDone = cxCell * (nPercent * cxSpan / 100 / cxCell);
    const i64 x = rc.left + cxLeft;
    canvas.RepeatX(pGraphics->Cell(2), cxCell, x, rc.top, cxDone, cy, 0, cyCell);
    canvas.RepeatX(pGraphics->Cell(1), cxCell, x + cxDone, rc.top, cxSpan - cxDone, cy, 0, cyCell);
}

void SkinDrawNinePatch(const SKINDRAWCONTEXT& ctx, const SKINCONTROLGRAPHICS* pGraphics,
                       const RECT& rc) {
    if (!HasGrid(pGraphics, 3, 3)) return;
    Canvas canvas(ctx, rc);
    if (canvas.IsEmpty()) return;
    const int cxCell = pGraphics->CellWidth(), cyCell = pGraphics->CellHeight();
    const i64 cx = Width(rc), cy = Height(rc);
    if (cx <= 0 || cy <= 0) return;
    auto row = [&](int iRow, i64 y, i64 h, int ySrc) {
        canvas.Row3(pGraphics->Cell(0, iRow), pGraphics->Cell(1, iRow), pGraphics->Cell(2, iRow),
                    cxCell, rc.left, y, cx, h, ySrc, int(h));
    };
    const i64 cyTop = std::min<i64>(cyCell, (cy + 1) / 2);
    const i64 cyBottom = std::min<i64>(cyCell, cy - cyTop);
    row(0, rc.top, cyTop, 0);
    const i64 yEnd = rc.bottom - cyBottom;
    const i64 k = std::max<i64>(0, (canvas.Visible().top - rc.top - cyTop) / cyCell);
    for (i64 y = rc.top + cyTop + k * cyCell; y < yEnd && y < canvas.Visible().bottom; y += cyCell)
        row(1, y, std::min<i64>(cyCell, yEnd - y), 0);
    row(2, yEnd, cyBottom, int(cyCell - cyBottom));
}

// ---------------------------------------------------------------------------------------
// Scroll bars

void SkinScrollParts(const RECT& rc, const SKINSCROLLBAR& bar, int cxCell, int cyCell,
                     RECT rgrcParts[SSP_COUNT]) {
    const i64 cLength = bar.fVertical ? Height(rc) : Width(rc);
    const i64 cCell = std::max(1, bar.fVertical ? cyCell : cxCell);
    for (int i = 0; i < SSP_COUNT; ++i)
        rgrcParts[i] = {rc.left, rc.top, rc.left, rc.top};
    if (cLength <= 0 || Width(rc) <= 0 || Height(rc) <= 0) return;
    const i64 cArrow = std::min(cCell, cLength / 2);
    const i64 cTrack = cLength - 2 * cArrow;
    const i64 nRange = i64(bar.nMaximum) - bar.nMinimum;
    i64 cThumb = cCell;
    if (bar.fProportional && nRange > 0 && bar.nPage > 0)
        cThumb = std::max(cCell, cTrack * std::min<i64>(bar.nPage, nRange) / nRange);
    cThumb = std::min(cThumb, cTrack);
    // Positions run over [minimum, maximum - page]; a page past the range keeps minimum.
    const i64 nSpan = nRange - bar.nPage;
    const i64 nOffset =
        std::clamp<i64>(i64(bar.nPosition) - bar.nMinimum, 0, std::max<i64>(0, nSpan));
    const i64 cBefore = nSpan > 0 ? (cTrack - cThumb) * nOffset / nSpan : 0;
    const i64 rgEdges[SSP_COUNT + 1] = {
        0, cArrow, cArrow + cBefore, cArrow + cBefore + cThumb, cLength - cArrow, cLength,
    };
    for (int i = 0; i < SSP_COUNT; ++i) {
        RECT& r = rgrcParts[i];
        r = rc;
        if (bar.fVertical) {
            r.top = LONG(rc.top + rgEdges[i]);
            r.bottom = LONG(rc.top + rgEdges[i + 1]);
        } else {
            r.left = LONG(rc.left + rgEdges[i]);
            r.right = LONG(rc.left + rgEdges[i + 1]);
        }
    }
}

SkinScrollPart SkinScrollHitTest(const RECT& rc, const SKINSCROLLBAR& bar, int cxCell, int cyCell,
                                 int x, int y) {
    RECT rgrc[SSP_COUNT];
    SkinScrollParts(rc, bar, cxCell, cyCell, rgrc);
    for (int i = 0; i < SSP_COUNT; ++i)
        if (x >= rgrc[i].left && x < rgrc[i].right && y >= rgrc[i].top && y < rgrc[i].bottom)
            return SkinScrollPart(i);
    return SSP_NONE;
}

void SkinDrawScrollBar(const SKINDRAWCONTEXT& ctx, const SKINCONTROLGRAPHICS* pGraphics,
                       const RECT& rc, const SKINSCROLLBAR& bar, const SKINDRAWSTATE& state,
                       SkinScrollPart iPointerPart) {
    if (!HasGrid(pGraphics, 4, 4)) return;
    Canvas canvas(ctx, rc);
    if (canvas.IsEmpty()) return;
    const int cxCell = pGraphics->CellWidth(), cyCell = pGraphics->CellHeight();
    RECT rgrc[SSP_COUNT];
    SkinScrollParts(rc, bar, cxCell, cyCell, rgrc);
    static constexpr int kPictureParts[SSP_COUNT] = {0, 1, 2, 1, 3};
    for (int i = 0; i < SSP_COUNT; ++i) {
        const RECT& r = rgrc[i];
        int iState = state.fEnabled ? 1 : 0;
        if (i == iPointerPart && (state.fHot || state.fPressed)) iState = SkinStateRow(state);
        const Sprite* pCell = bar.fVertical ? pGraphics->Cell(iState, kPictureParts[i])
                                            : pGraphics->Cell(kPictureParts[i], iState);
        const i64 cx = Width(r), cy = Height(r);
        if (bar.fVertical) {
            // Across: the cell stretched to the bar's width; along: as the part needs.
            if (i == SSP_PAGEUP || i == SSP_PAGEDOWN)
                canvas.RepeatY(pCell, cyCell, r.left, r.top, cx, cy, 0, cxCell);
            else if (i == SSP_THUMB)
                canvas.Draw(pCell, r.left, r.top, cx, cy, 0, 0, cxCell, cyCell);
            else // an arrow cut to its room keeps its outer end
                canvas.Draw(pCell, r.left, r.top, cx, cy, 0, i == SSP_LINEUP ? 0 : int(cyCell - cy),
                            cxCell, int(cy));
        } else {
            if (i == SSP_PAGEUP || i == SSP_PAGEDOWN)
                canvas.RepeatX(pCell, cxCell, r.left, r.top, cx, cy, 0, cyCell);
            else if (i == SSP_THUMB)
                canvas.Draw(pCell, r.left, r.top, cx, cy, 0, 0, cxCell, cyCell);
            else
                canvas.Draw(pCell, r.left, r.top, cx, cy, i == SSP_LINEUP ? 0 : int(cxCell - cx), 0,
                            int(cx), cyCell);
        }
    }
}

// ---------------------------------------------------------------------------------------
// Lists and edits

RECT SkinListItemRect(const RECT& rc, const SKINCONTROLSETTINGS& settings, int cyItem, int iTop,
                      int i) {
    RECT rcInner = TextRect(rc, settings);
    const i64 y = rcInner.top + (i64(i) - iTop) * std::max(1, cyItem);
    RECT rcItem = {rcInner.left, LONG(std::clamp<i64>(y, -0x3FFFFFFF, 0x3FFFFFFF)), rcInner.right,
                   LONG(std::clamp<i64>(y + std::max(1, cyItem), -0x3FFFFFFF, 0x3FFFFFFF))};
    return rcItem;
}

int SkinListItemHeight(const SKINDRAWCONTEXT& ctx, const SKINCONTROLGRAPHICS* pItems,
                       const SKINCONTROLSETTINGS& settings) {
    SKINDRAWCONTEXT measure = ctx;
    measure.pDest = nullptr;
    SKINCONTROLSETTINGS line = settings;
    line.nLeftBorder = line.nTopBorder = line.nRightBorder = line.nBottomBorder = 0;
    const int cyLine = SkinDrawText(measure, "Ag", {0, 0, 1000, 1000}, line, true, 0);
    return std::max({1, cyLine, pItems != nullptr ? pItems->CellHeight() : 0});
}

void SkinDrawList(const SKINDRAWCONTEXT& ctx, const SKINCONTROLGRAPHICS* pFrame,
                  const SKINCONTROLGRAPHICS* pItems, const RECT& rc,
                  const SKINCONTROLSETTINGS& settings, int cyItem, const cetl::string* pstrItems,
                  int cItems, int iTop, int iSelected, int iPointer, const SKINDRAWSTATE& state) {
    SkinDrawNinePatch(ctx, pFrame, rc);
    if (!HasGrid(pItems, 2, 4) || pstrItems == nullptr) return;
    SKINDRAWCONTEXT inner = ctx;
    inner.rcClip = Intersect(ctx.rcClip, Intersect(rc, TextRect(rc, settings)));
    if (IsEmptyRect(inner.rcClip)) return;
    // Item text needs no borders of its own: the items already sit inside the list's.
    SKINCONTROLSETTINGS item = settings;
    item.nLeftBorder = item.nTopBorder = item.nRightBorder = item.nBottomBorder = 0;
    const bool fFill =
        (settings.clrSelectedBackground & 0xFFFFFF) != (settings.clrSelectedText & 0xFFFFFF);
    const int cxCell = pItems->CellWidth(), cyCell = pItems->CellHeight();
    for (int i = std::max(0, iTop); i < cItems; ++i) {
        const RECT rcItem = SkinListItemRect(rc, settings, cyItem, iTop, i);
        if (rcItem.top >= inner.rcClip.bottom) break;
        const bool fSelected = i == iSelected;
        SKINDRAWSTATE itemState = state;
        if (i != iPointer) itemState.fHot = itemState.fPressed = false;
        Canvas canvas(inner, rcItem);
        canvas.Draw(pItems->Cell(fSelected ? 1 : 0, SkinStateRow(itemState)), rcItem.left,
                    rcItem.top + (Height(rcItem) - cyCell) / 2, cxCell, cyCell, 0, 0, cxCell,
                    cyCell);
        RECT rcText = rcItem;
        rcText.left = LONG(std::min<i64>(i64(rcItem.left) + cxCell + 4, rcItem.right));
        if (fSelected && fFill) {
            DestDC dc(ctx.pDest, Intersect(inner.rcClip, rcText));
            if (dc.Hdc() != nullptr) {
                host::HBRUSH hbr = host::CreateSolidBrush(settings.clrSelectedBackground);
                RECT rcFill = {dc.X(rcText.left), dc.Y(rcText.top), dc.X(rcText.right),
                               dc.Y(rcText.bottom)};
                host::FillRect(dc.Hdc(), &rcFill, hbr);
                host::DeleteObject(hbr);
            }
        }
        SkinDrawText(inner, pstrItems[i], rcText, item, state.fEnabled,
                     SKINTEXT_NOPREFIX | SKINTEXT_VCENTER | (fSelected ? SKINTEXT_SELECTED : 0));
    }
}

void SkinDrawCaret(const SKINDRAWCONTEXT& ctx, const SKINCONTROLGRAPHICS* pCursor, const RECT& rc,
                   const SKINCONTROLSETTINGS& settings, const cetl::string& strText, int iCaret) {
    if (pCursor == nullptr) return;
    const RECT rcText = TextRect(rc, settings);
    MeasureDC dc;
    if (dc.Get() == nullptr) return;
    SelectFont font(dc.Get(), ctx.pSkin, settings.strFont);
    host::SIZE sizeAll = {0, 0}, sizeBefore = {0, 0};
    const int cch = strText.Length();
    iCaret = std::clamp(iCaret, 0, cch);
    host::GetTextExtentPoint32(dc.Get(), strText.Text(), cch, &sizeAll);
    host::GetTextExtentPoint32(dc.Get(), strText.Text(), iCaret, &sizeBefore);
    // Where the drawer starts the line for the layout.
    i64 x = rcText.left;
    if (settings.nTextLayout == SKIN_RIGHT)
        x = i64(rcText.right) - sizeAll.cx;
    else if (settings.nTextLayout == SKIN_CENTER)
        x = rcText.left + (Width(rcText) - sizeAll.cx) / 2;
    x += sizeBefore.cx;
    const int cx = pCursor->CellWidth(), cy = pCursor->CellHeight();
    Canvas canvas(ctx, rc);
    canvas.Draw(pCursor->Cell(0), x - cx / 2, rcText.top, cx, cy, 0, 0, cx, cy);
}

int SkinTextWidth(const SKINDRAWCONTEXT& ctx, const SKINCONTROLSETTINGS& settings,
                  const cetl::string& strText, int cch) {
    cch = std::clamp(cch, 0, strText.Length());
    if (cch == 0) return 0;
    MeasureDC dc;
    if (dc.Get() == nullptr) return 0;
    SelectFont font(dc.Get(), ctx.pSkin, settings.strFont);
    host::SIZE size = {0, 0};
    host::GetTextExtentPoint32(dc.Get(), strText.Text(), cch, &size);
    return size.cx;
}

namespace {

// Where an edit's line starts: by the layout while it fits, else from the left, scrolled.
i64 EditTextLeft(const RECT& rcText, const SKINCONTROLSETTINGS& settings, int cxAll, int xScroll) {
    if (cxAll > Width(rcText)) return i64(rcText.left) - xScroll;
    if (settings.nTextLayout == SKIN_RIGHT) return i64(rcText.right) - cxAll;
    if (settings.nTextLayout == SKIN_CENTER) return rcText.left + (Width(rcText) - cxAll) / 2;
    return rcText.left;
}

} // namespace

int SkinEditScroll(const SKINDRAWCONTEXT& ctx, const RECT& rc, const SKINCONTROLSETTINGS& settings,
                   const cetl::string& strText, int iCaret, int xScroll) {
    const RECT rcText = TextRect(rc, settings);
    const int cxRoom = int(std::max<i64>(1, Width(rcText)));
    const int cxAll = SkinTextWidth(ctx, settings, strText, strText.Length());
    if (cxAll <= Width(rcText)) return 0;
    const int xCaret = SkinTextWidth(ctx, settings, strText, iCaret);
    // The caret is centred on its x: keep a pixel for it at the right end.
    if (xCaret < xScroll) xScroll = xCaret;
    if (xCaret > xScroll + cxRoom - 1) xScroll = xCaret - cxRoom + 1;
    return std::clamp(xScroll, 0, std::max(0, cxAll - cxRoom + 1));
}

int SkinEditHit(const SKINDRAWCONTEXT& ctx, const RECT& rc, const SKINCONTROLSETTINGS& settings,
                const cetl::string& strText, int xScroll, int x) {
    const RECT rcText = TextRect(rc, settings);
    const int cch = strText.Length();
    const i64 x0 =
        EditTextLeft(rcText, settings, SkinTextWidth(ctx, settings, strText, cch), xScroll);
    int iBest = 0;
    i64 dBest = -1;
    for (int i = 0; i <= cch; ++i) {
        const i64 d = std::abs(x0 + SkinTextWidth(ctx, settings, strText, i) - x);
        if (dBest < 0 || d < dBest) {
            dBest = d;
            iBest = i;
        }
    }
    return iBest;
}

void SkinDrawEdit(const SKINDRAWCONTEXT& ctx, const SKINCONTROLGRAPHICS* pFrame,
                  const SKINCONTROLGRAPHICS* pCursor, const RECT& rc,
                  const SKINCONTROLSETTINGS& settings, const cetl::string& strText, bool fEnabled,
                  const SKINEDITVIEW& view) {
    SkinDrawNinePatch(ctx, pFrame, rc);
    const RECT rcText = TextRect(rc, settings);
    if (IsEmptyRect(rcText)) return;
    const int cch = strText.Length();
    const int cxAll = SkinTextWidth(ctx, settings, strText, cch);
    const i64 x0 = EditTextLeft(rcText, settings, cxAll, view.xScroll);
    SKINDRAWCONTEXT inner = ctx;
    inner.rcClip = Intersect(ctx.rcClip, rcText);
    // The line as the text drawer lays it out from the left, in a box that starts at x0.
    SKINCONTROLSETTINGS line = settings;
    line.nTextLayout = SKIN_LEFT;
    line.nLeftBorder = line.nRightBorder = 0;
    RECT rcLine = rcText;
    rcLine.top = rc.top;
    rcLine.bottom = rc.bottom;
    rcLine.left = LONG(std::clamp<i64>(x0, -0x3FFFFFFF, 0x3FFFFFFF));
    rcLine.right = LONG(std::clamp<i64>(x0 + cxAll + 1, rcLine.left + 1, 0x3FFFFFFF));
    if (!IsEmptyRect(inner.rcClip))
        SkinDrawText(inner, strText, rcLine, line, fEnabled, SKINTEXT_NOPREFIX | SKINTEXT_PLAIN);
    const int iStart = std::clamp(std::min(view.iCaret, view.iAnchor), 0, cch);
    const int iEnd = std::clamp(std::max(view.iCaret, view.iAnchor), 0, cch);
    if (iStart < iEnd) {
        const i64 xa = x0 + SkinTextWidth(ctx, settings, strText, iStart);
        const i64 xb = x0 + SkinTextWidth(ctx, settings, strText, iEnd);
        SKINDRAWCONTEXT sel = inner;
        sel.rcClip = Intersect(inner.rcClip,
                               {LONG(std::clamp<i64>(xa, -0x3FFFFFFF, 0x3FFFFFFF)), rcText.top,
                                LONG(std::clamp<i64>(xb, -0x3FFFFFFF, 0x3FFFFFFF)), rcText.bottom});
        if (!IsEmptyRect(sel.rcClip)) {
            if ((settings.clrSelectedBackground & 0xFFFFFF) !=
                (settings.clrSelectedText & 0xFFFFFF)) {
                DestDC dc(ctx.pDest, sel.rcClip);
                if (dc.Hdc() != nullptr) {
                    host::HBRUSH hbr = host::CreateSolidBrush(settings.clrSelectedBackground);
                    RECT rcFill = {dc.X(sel.rcClip.left), dc.Y(sel.rcClip.top),
                                   dc.X(sel.rcClip.right), dc.Y(sel.rcClip.bottom)};
                    host::FillRect(dc.Hdc(), &rcFill, hbr);
                    host::DeleteObject(hbr);
                }
            }
            SkinDrawText(sel, strText, rcLine, line, fEnabled,
                         SKINTEXT_NOPREFIX | SKINTEXT_SELECTED | SKINTEXT_PLAIN);
        }
    }
    if (!view.fCaret || pCursor == nullptr) return;
    const i64 x = x0 + SkinTextWidth(ctx, settings, strText, view.iCaret);
    const int cx = pCursor->CellWidth(), cy = pCursor->CellHeight();
    Canvas canvas(ctx, rc);
    canvas.Draw(pCursor->Cell(0), x - cx / 2, rcText.top, cx, cy, 0, 0, cx, cy);
}

void SkinDrawFocus(const SKINDRAWCONTEXT& ctx, const RECT& rc,
                   const SKINCONTROLSETTINGS& settings) {
    RECT rcText = TextRect(rc, settings);
    rcText = {rcText.left - 1, rcText.top - 1, rcText.right + 1, rcText.bottom + 1};
    rcText = Intersect(rcText, rc);
    if (Width(rcText) < 2 || Height(rcText) < 2) return;
    DestDC dc(ctx.pDest, Intersect(ctx.rcClip, rcText));
    if (dc.Hdc() == nullptr) return;
    const host::COLORREF clr = settings.clrText;
    // Every other pixel, counted round the rectangle from its top left corner.
    for (LONG x = rcText.left; x < rcText.right; x += 2) {
        host::SetPixel(dc.Hdc(), dc.X(x), dc.Y(rcText.top), clr);
        host::SetPixel(dc.Hdc(), dc.X(x), dc.Y(rcText.bottom - 1), clr);
    }
    for (LONG y = rcText.top; y < rcText.bottom; y += 2) {
        host::SetPixel(dc.Hdc(), dc.X(rcText.left), dc.Y(y), clr);
        host::SetPixel(dc.Hdc(), dc.X(rcText.right - 1), dc.Y(y), clr);
    }
}

// ---------------------------------------------------------------------------------------
// Text

int SkinDrawText(const SKINDRAWCONTEXT& ctx, const cetl::string& strText, const RECT& rc,
                 const SKINCONTROLSETTINGS& settings, bool fEnabled, UINT fuFlags,
                 mem::vector<SKINLINK>* pLinks) {
    RECT rcText = TextRect(rc, settings);
    if (IsEmptyRect(rcText) || strText.Length() == 0) return 0;
    if (!fEnabled) fuFlags |= SKINTEXT_DISABLED;
    if (ctx.pDest == nullptr) fuFlags |= SKINTEXT_MEASURE;
    SKINDRAWCONTEXT inner = ctx;
    inner.rcClip = Intersect(ctx.rcClip, rcText);
    if ((fuFlags & SKINTEXT_VCENTER) && !(fuFlags & SKINTEXT_MEASURE)) {
        // The measured block centred in the rectangle.
        const int cy = SkinDrawMarkup(ctx, strText, rcText, settings, fuFlags | SKINTEXT_MEASURE);
        rcText.top =
            LONG(std::clamp<i64>(rcText.top + (Height(rcText) - cy) / 2, -0x3FFFFFFF, 0x3FFFFFFF));
    }
    return SkinDrawMarkup(inner, strText, rcText, settings, fuFlags, pLinks);
}
