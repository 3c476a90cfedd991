// Input behaviour of skinned controls and windows, free of drawing and messages.
#include "skin/skin_behaviour.h"

#include "host/controls.h"
#include "host/screen.h"
#include "skin/skin.h"

#include <algorithm>
#include <climits>

using namespace host;

namespace {

// Wide enough that no sum or difference of two ints overflows.
using Wide = long long;

int ToInt(Wide n) {
    return static_cast<int>(std::clamp<Wide>(n, INT_MIN, INT_MAX));
}

int SizingBand(int nMetric) {
    return GetSystemMetrics(nMetric) + 4;
}

// The size dragged by d from size0, kept within [nMin, nMax].
Wide DraggedSize(Wide size0, Wide d, int nMin, int nMax) {
    return std::clamp<Wide>(size0 + d, nMin, std::max(nMin, nMax));
}

} // namespace

// ---- Scroll bars

int SKINSCROLL::Last() const {
    return ToInt(std::max<Wide>(nMin, Wide{nMax} - std::max(nPage, 0)));
}

bool SKINSCROLL::SetPos(int nNew) {
    int nOld = nPos;
    nPos = std::clamp(nNew, nMin, Last());
    return nPos != nOld;
}

int SKINSCROLL::ThumbPos(int nPosAtPress, int dPixels, int nTravel) const {
    if (nTravel <= 0) return nPos;
    const Wide range = Wide{Last()} - nMin;
    // Rounded to the nearest position, symmetrically for both directions.
    Wide num = Wide{dPixels} * range;
    Wide delta = (num >= 0 ? num + nTravel / 2 : num - nTravel / 2) / nTravel;
    return ToInt(std::clamp<Wide>(Wide{nPosAtPress} + delta, nMin, Last()));
}

bool SKINSCROLL::Step(WORD nRequest) {
    Wide page = std::max(nPage, 0);
    Wide line = std::max<Wide>(1, page / 4), leap = std::max<Wide>(1, 3 * page / 4);
    Wide delta;
    switch (nRequest) {
    case SB_LINEUP:
        delta = -line;
        break;
    case SB_LINEDOWN:
        delta = line;
        break;
    case SB_PAGEUP:
        delta = -leap;
        break;
    case SB_PAGEDOWN:
        delta = leap;
        break;
    default:
        return false;
    }
    return SetPos(ToInt(Wide{nPos} + delta));
}

// ---- List boxes

bool SKINLIST::Select(int n) {
    if (n < 1 || n > cItems) return false;
    nSelected = n;
    return true;
}

// ---- Radio groups

void SkinCheckRadio(std::span<SKINRADIO> controls, std::size_t i) {
    if (i >= controls.size() || !controls[i].fRadio) return;
    std::size_t iFirst = i;
    while (iFirst > 0 && !controls[iFirst].fGroupStart && controls[iFirst - 1].fRadio)
        --iFirst;
    std::size_t iEnd = i + 1;
    while (iEnd < controls.size() && controls[iEnd].fRadio && !controls[iEnd].fGroupStart)
        ++iEnd;
    for (std::size_t j = iFirst; j < iEnd; ++j)
        controls[j].fChecked = j == i;
}

// ---- Control states

SkinControlState SkinStateOf(bool fEnabled, bool fPointerOver, bool fHoldsPress,
                             bool fOtherHoldsPress) {
    if (!fEnabled) return SKINSTATE_DISABLED;
    if (!fPointerOver || fOtherHoldsPress) return SKINSTATE_NORMAL;
    return fHoldsPress ? SKINSTATE_PRESSED : SKINSTATE_HOT;
}

// ---- Hit parts

int SkinHitTest(const SKINHITFRAME& frame, POINT pt, SKINCONTROLHITPROC pfnHit,
                const void* pvContext) {
    const LONG cx = frame.sizeClient.cx, cy = frame.sizeClient.cy;
    if (pt.x < 0 || pt.y < 0 || pt.x >= cx || pt.y >= cy) return SKINHIT_NOWHERE;
    if (frame.fResizable) {
        const int cxBand = SizingBand(SM_CXBORDER), cyBand = SizingBand(SM_CYBORDER);
        // On a window narrower than two bands the left and top edges win.
        const bool fLeft = pt.x < cxBand, fRight = !fLeft && pt.x >= cx - cxBand;
        const bool fTop = pt.y < cyBand, fBottom = !fTop && pt.y >= cy - cyBand;
        if (fTop) return fLeft ? SKINHIT_TOPLEFT : fRight ? SKINHIT_TOPRIGHT : SKINHIT_TOP;
        if (fBottom)
            return fLeft ? SKINHIT_BOTTOMLEFT : fRight ? SKINHIT_BOTTOMRIGHT : SKINHIT_BOTTOM;
        if (fLeft) return SKINHIT_LEFT;
        if (fRight) return SKINHIT_RIGHT;
    }
    if (pfnHit != nullptr && pfnHit(pvContext, pt)) return SKINHIT_CONTROL;
    if (frame.nTitlebarHeight < 0 || pt.y < frame.nTitlebarHeight) return SKINHIT_MOVE;
    return SKINHIT_CLIENT;
}

int SkinHitTest(const SKINHITFRAME& frame, POINT pt, std::span<const RECT> rcControls,
                int* piControl) {
    struct Context {
        std::span<const RECT> rects;
        mutable int iHit = -1;
    } context{rcControls};
    int nHit = SkinHitTest(
        frame, pt,
        [](const void* pv, POINT ptHit) {
            auto* p = static_cast<const Context*>(pv);
            for (std::size_t i = 0; i < p->rects.size(); ++i) {
                const RECT& rc = p->rects[i];
                if (ptHit.x >= rc.left && ptHit.x < rc.right && ptHit.y >= rc.top &&
                    ptHit.y < rc.bottom) {
                    p->iHit = static_cast<int>(i);
                    return true;
                }
            }
            return false;
        },
        &context);
    if (piControl != nullptr) *piControl = nHit == SKINHIT_CONTROL ? context.iHit : -1;
    return nHit;
}

const char* SkinSizingCursor(int nHit) {
    switch (nHit) {
    case SKINHIT_TOPLEFT:
    case SKINHIT_BOTTOMRIGHT:
        return IDC_SIZENWSE;
    case SKINHIT_TOPRIGHT:
    case SKINHIT_BOTTOMLEFT:
        return IDC_SIZENESW;
    case SKINHIT_TOP:
    case SKINHIT_BOTTOM:
        return IDC_SIZENS;
    case SKINHIT_LEFT:
    case SKINHIT_RIGHT:
        return IDC_SIZEWE;
    default:
        return nullptr;
    }
}

// ---- Sizing

SKINSIZELIMITS SkinSizeLimits(SIZE sizeMinimum, SIZE sizeMaximum, SIZE sizeCornerCell,
                              SIZE sizeCloseCell, const RECT& rcWork) {
    auto limit = [](LONG nMinimum, LONG nMaximum, LONG cellA, LONG cellB, Wide work, int* pnMin,
                    int* pnMax) {
        *pnMin = ToInt(std::max<Wide>({nMinimum, 2 * Wide{std::max(cellA, cellB)}, 0}));
        Wide nMax = nMaximum > 0 ? nMaximum : work;
        *pnMax = ToInt(std::max<Wide>(std::min(nMax, work - 1), *pnMin));
    };
    SKINSIZELIMITS limits{};
    limit(sizeMinimum.cx, sizeMaximum.cx, sizeCornerCell.cx, sizeCloseCell.cx,
          Wide{rcWork.right} - rcWork.left, &limits.cxMin, &limits.cxMax);
    limit(sizeMinimum.cy, sizeMaximum.cy, sizeCornerCell.cy, sizeCloseCell.cy,
          Wide{rcWork.bottom} - rcWork.top, &limits.cyMin, &limits.cyMax);
    return limits;
}

SKINSIZELIMITS SkinSizeLimits(SKIN& skin, const cetl::string& strWindow) {
    auto number = [&](const CHAR* pszKey) {
        return skin.Lookup(cetl::istring(cetl::string(pszKey)), nullptr, strWindow).nNumber;
    };
    auto cell = [&](const CHAR* pszName, int nKind) {
        SKINCONTROLGRAPHICS* pCells =
            skin.OptionalGraphics(cetl::string(pszName), nKind, strWindow);
        return pCells != nullptr ? SIZE{pCells->CellWidth(), pCells->CellHeight()} : SIZE{0, 0};
    };
    RECT rcWork{};
    SystemParametersInfo(SPI_GETWORKAREA, 0, &rcWork, 0);
    return SkinSizeLimits({number("window size xminimum"), number("window size yminimum")},
                          {number("window size xmaximum"), number("window size ymaximum")},
                          cell("frame-c", CT_FRAME_CORNERS), cell("frame-x", CT_FRAME_CLOSE),
                          rcWork);
}

host::MINMAXINFO SkinMinMaxInfo(const SKINSIZELIMITS& limits, const RECT& rcWork) {
    host::MINMAXINFO info{};
    info.ptMaxSize = {ToInt(Wide{rcWork.right} - rcWork.left),
                      ToInt(Wide{rcWork.bottom} - rcWork.top)};
    info.ptMaxPosition = {rcWork.left, rcWork.top};
    info.ptMinTrackSize = {limits.cxMin, limits.cyMin};
    info.ptMaxTrackSize = {limits.cxMax, limits.cyMax};
    return info;
}

RECT SkinDragRect(const RECT& rcAtPress, POINT ptPress, POINT ptNow, int nHit,
                  const SKINSIZELIMITS& limits) {
    const Wide dx = Wide{ptNow.x} - ptPress.x, dy = Wide{ptNow.y} - ptPress.y;
    Wide left = rcAtPress.left, top = rcAtPress.top, right = rcAtPress.right,
         bottom = rcAtPress.bottom;
    if (nHit == SKINHIT_MOVE) {
        left += dx, right += dx, top += dy, bottom += dy;
    } else if (SkinIsSizingHit(nHit)) {
        const bool fLeft =
            nHit == SKINHIT_TOPLEFT || nHit == SKINHIT_BOTTOMLEFT || nHit == SKINHIT_LEFT;
        const bool fRight =
            nHit == SKINHIT_TOPRIGHT || nHit == SKINHIT_RIGHT || nHit == SKINHIT_BOTTOMRIGHT;
        const bool fTop =
            nHit == SKINHIT_TOPLEFT || nHit == SKINHIT_TOP || nHit == SKINHIT_TOPRIGHT;
        const bool fBottom =
            nHit == SKINHIT_BOTTOMRIGHT || nHit == SKINHIT_BOTTOM || nHit == SKINHIT_BOTTOMLEFT;
        // The moving edge stops at a limit; the opposite edge never moves.
        if (fLeft) left = right - DraggedSize(right - left, -dx, limits.cxMin, limits.cxMax);
        if (fRight) right = left + DraggedSize(right - left, dx, limits.cxMin, limits.cxMax);
        if (fTop) top = bottom - DraggedSize(bottom - top, -dy, limits.cyMin, limits.cyMax);
        if (fBottom) bottom = top + DraggedSize(bottom - top, dy, limits.cyMin, limits.cyMax);
    }
    return {ToInt(left), ToInt(top), ToInt(right), ToInt(bottom)};
}

SIZE SkinOpeningSize(SIZE sizeClient, int nLeftBorder, int nTopBorder, int nRightBorder,
                     int nBottomBorder) {
    return {ToInt(Wide{sizeClient.cx} + nLeftBorder + nRightBorder),
            ToInt(Wide{sizeClient.cy} + nTopBorder + nBottomBorder)};
}
