// The scroll bar control: two arrows, a track and a thumb. It reports what the user asks for
// (WM_HSCROLL / WM_VSCROLL to its parent) and never moves its own position: the parent
// answers with SBM_SETPOS. Only the dragged thumb follows the stylus until release.
#include "host/controls.h"
#include "host/controls/controls_internal.h"
#include "host/controls/look.h"

#include <algorithm>

namespace host {
namespace {

using controls::AskParentBrush;

constexpr char16_t kProp[] = u"ScrollBarState";
constexpr UINT_PTR kRepeatTimer = 1;
constexpr UINT kFirstRepeatMs = 400; // hold this long before the steps repeat
constexpr UINT kRepeatMs = 100;

enum class Part { kNone, kArrowBack, kArrowForward, kPageBack, kPageForward, kThumb };

struct ScrollBar {
    int nMin = 0;
    int nMax = 100;
    UINT nPage = 0;
    int nPos = 0;
    int nTrackPos = 0;
    Part pressed = Part::kNone;
    bool fHot = false;    // the stylus is still over the pressed part
    int dyGrab = 0;       // where in the thumb it was grabbed
    bool fRepeat = false; // the repeat timer runs at its fast rate
};

ScrollBar* Get(HWND hwnd) {
    return static_cast<ScrollBar*>(GetProp(hwnd, kProp));
}

bool IsVertical(HWND hwnd) {
    return (GetWindowLongPtr(hwnd, GWL_STYLE) & SBS_VERT) != 0;
}

// The highest position the thumb can reach: a page shows nPage positions from nPos on.
int MaxPos(const ScrollBar& sb) {
    int nTop = sb.nMax - std::max(static_cast<int>(sb.nPage) - 1, 0);
    return std::max(nTop, sb.nMin);
}

int Clamp(const ScrollBar& sb, int nPos) {
    return std::clamp(nPos, sb.nMin, MaxPos(sb));
}

// The bar's parts along its length (pixels from the start).
struct Layout {
    int cLength = 0; // the whole bar
    int cArrow = 0;  // each arrow
    int xThumb = 0;  // thumb start
    int cThumb = 0;  // 0: no thumb
    int TrackStart() const { return cArrow; }
    int TrackEnd() const { return cLength - cArrow; }
};

bool CanScroll(HWND hwnd, const ScrollBar& sb) {
    return IsWindowEnabled(hwnd) && sb.nMax > sb.nMin &&
           (sb.nPage == 0 ||
            static_cast<long long>(sb.nPage) < static_cast<long long>(sb.nMax) - sb.nMin + 1);
}

Layout GetLayout(HWND hwnd, const ScrollBar& sb, int nPosShown) {
    RECT rc;
    GetClientRect(hwnd, &rc);
    const bool fVert = IsVertical(hwnd);
    Layout l;
    l.cLength = fVert ? rc.bottom : rc.right;
    const int cThick = fVert ? rc.right : rc.bottom;
    l.cArrow = std::min(std::min(look::kScrollArrowSize, cThick), l.cLength / 2);
    const int cTrack = l.TrackEnd() - l.TrackStart();
    if (!CanScroll(hwnd, sb)) return l;
    const long long cRange = static_cast<long long>(sb.nMax) - sb.nMin + 1;
    int cThumb = sb.nPage == 0
                     ? look::kScrollArrowSize
                     : static_cast<int>(static_cast<long long>(cTrack) * sb.nPage / cRange);
    cThumb = std::max(cThumb, look::kMinThumbSize);
    if (cThumb > cTrack) return l; // no room for a thumb
    const int nSpan = MaxPos(sb) - sb.nMin;
    const int nOffset = Clamp(sb, nPosShown) - sb.nMin;
    l.cThumb = cThumb;
    l.xThumb =
        l.TrackStart() +
        (nSpan == 0 ? 0
                    : static_cast<int>(static_cast<long long>(cTrack - cThumb) * nOffset / nSpan));
    return l;
}

// A span along the bar as a client rectangle.
RECT PartRect(HWND hwnd, int xFrom, int xTo) {
    RECT rc;
    GetClientRect(hwnd, &rc);
    if (IsVertical(hwnd)) return RECT{0, xFrom, rc.right, xTo};
    return RECT{xFrom, 0, xTo, rc.bottom};
}

Part HitTest(HWND hwnd, const ScrollBar& sb, POINT pt) {
    RECT rc;
    GetClientRect(hwnd, &rc);
    if (!PtInRect(&rc, pt)) return Part::kNone;
    const Layout l = GetLayout(hwnd, sb, sb.nPos);
    const int x = IsVertical(hwnd) ? pt.y : pt.x;
    if (x < l.TrackStart()) return Part::kArrowBack;
    if (x >= l.TrackEnd()) return Part::kArrowForward;
    if (l.cThumb == 0) return Part::kNone;
    if (x < l.xThumb) return Part::kPageBack;
    if (x >= l.xThumb + l.cThumb) return Part::kPageForward;
    return Part::kThumb;
}

void Notify(HWND hwnd, WORD nCode, int nPos) {
    const UINT msg = IsVertical(hwnd) ? WM_VSCROLL : WM_HSCROLL;
    SendMessage(GetParent(hwnd), msg, MAKEWPARAM(nCode, static_cast<WORD>(nPos)),
                reinterpret_cast<LPARAM>(hwnd));
}

// The request a held part makes, repeated while it is held.
void Step(HWND hwnd, Part part) {
    switch (part) {
    case Part::kArrowBack:
        Notify(hwnd, SB_LINEUP, 0);
        break;
    case Part::kArrowForward:
        Notify(hwnd, SB_LINEDOWN, 0);
        break;
    case Part::kPageBack:
        Notify(hwnd, SB_PAGEUP, 0);
        break;
    case Part::kPageForward:
        Notify(hwnd, SB_PAGEDOWN, 0);
        break;
    default:
        break;
    }
}

void Paint(HWND hwnd, ScrollBar& sb) {
    PAINTSTRUCT ps;
    HDC hdc = BeginPaint(hwnd, &ps);
    if (hdc == nullptr) {
        EndPaint(hwnd, &ps);
        return;
    }
    const bool fVert = IsVertical(hwnd);
    const bool fDragging = sb.pressed == Part::kThumb;
    const Layout l = GetLayout(hwnd, sb, fDragging ? sb.nTrackPos : sb.nPos);
    const bool fDisabled = !CanScroll(hwnd, sb);
    auto pressed = [&](Part part) { return sb.pressed == part && sb.fHot; };
    look::DrawArrowButton(hdc, PartRect(hwnd, 0, l.cArrow),
                          fVert ? look::Arrow::kUp : look::Arrow::kLeft, pressed(Part::kArrowBack),
                          fDisabled);
    look::DrawArrowButton(hdc, PartRect(hwnd, l.TrackEnd(), l.cLength),
                          fVert ? look::Arrow::kDown : look::Arrow::kRight,
                          pressed(Part::kArrowForward), fDisabled);
    HBRUSH brush = AskParentBrush(hwnd, hdc, WM_CTLCOLORSCROLLBAR);
    auto track = [&](int xFrom, int xTo, bool fPressed) {
        if (xTo <= xFrom) return;
        RECT rc = PartRect(hwnd, xFrom, xTo);
        if (brush != nullptr && !fPressed)
            FillRect(hdc, &rc, brush);
        else
            look::DrawScrollTrack(hdc, rc, fPressed);
    };
    if (l.cThumb == 0) {
        track(l.TrackStart(), l.TrackEnd(), false);
    } else {
        track(l.TrackStart(), l.xThumb, pressed(Part::kPageBack));
        track(l.xThumb + l.cThumb, l.TrackEnd(), pressed(Part::kPageForward));
        look::DrawScrollThumb(hdc, PartRect(hwnd, l.xThumb, l.xThumb + l.cThumb));
    }
    EndPaint(hwnd, &ps);
}

// The position for the thumb's start at x along the bar.
int PosAt(HWND hwnd, const ScrollBar& sb, int x) {
    const Layout l = GetLayout(hwnd, sb, sb.nPos);
    const int cFree = l.TrackEnd() - l.TrackStart() - l.cThumb;
    if (cFree <= 0) return sb.nPos;
    const int nSpan = MaxPos(sb) - sb.nMin;
    const int xRel = std::clamp(x - l.TrackStart(), 0, cFree);
    return sb.nMin + static_cast<int>((static_cast<long long>(xRel) * nSpan + cFree / 2) / cFree);
}

void EndTracking(HWND hwnd, ScrollBar& sb) {
    const Part part = sb.pressed;
    sb.pressed = Part::kNone;
    KillTimer(hwnd, kRepeatTimer);
    if (GetCapture() == hwnd) ReleaseCapture();
    if (part == Part::kThumb) Notify(hwnd, SB_THUMBPOSITION, sb.nTrackPos);
    if (part != Part::kNone) Notify(hwnd, SB_ENDSCROLL, 0);
    InvalidateRect(hwnd, nullptr, FALSE);
}

void SetInfo(HWND hwnd, ScrollBar& sb, const SCROLLINFO& si, bool fRedraw) {
    if (si.fMask & SIF_RANGE) {
        sb.nMin = si.nMin;
        sb.nMax = std::max(si.nMax, si.nMin);
    }
    if (si.fMask & SIF_PAGE) sb.nPage = si.nPage;
    const long long cRange = static_cast<long long>(sb.nMax) - sb.nMin + 1;
    if (static_cast<long long>(sb.nPage) > cRange) sb.nPage = static_cast<UINT>(cRange);
    if (si.fMask & SIF_POS) sb.nPos = si.nPos;
    sb.nPos = Clamp(sb, sb.nPos);
    if (fRedraw) InvalidateRect(hwnd, nullptr, FALSE);
}

LRESULT ScrollBarProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    ScrollBar* sb = Get(hwnd);
    if (sb == nullptr) {
        if (msg == WM_NCCREATE) {
            sb = new ScrollBar;
            if (!SetProp(hwnd, kProp, sb)) {
                delete sb;
                return FALSE;
            }
        }
        return DefWindowProc(hwnd, msg, wParam, lParam);
    }
    switch (msg) {
    case WM_NCDESTROY:
        RemoveProp(hwnd, kProp);
        delete sb;
        return DefWindowProc(hwnd, msg, wParam, lParam);
    case WM_PAINT:
        Paint(hwnd, *sb);
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_ENABLE:
    case WM_SIZE:
        InvalidateRect(hwnd, nullptr, FALSE);
        return 0;
    case WM_GETDLGCODE:
        return DLGC_WANTARROWS;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
        const POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        const Part part = HitTest(hwnd, *sb, pt);
        if (part == Part::kNone || !CanScroll(hwnd, *sb)) return 0;
        sb->pressed = part;
        sb->fHot = true;
        SetCapture(hwnd);
        if (part == Part::kThumb) {
            const Layout l = GetLayout(hwnd, *sb, sb->nPos);
            sb->dyGrab = (IsVertical(hwnd) ? pt.y : pt.x) - l.xThumb;
            sb->nTrackPos = sb->nPos;
        } else {
            Step(hwnd, part);
            sb->fRepeat = false;
            SetTimer(hwnd, kRepeatTimer, kFirstRepeatMs, nullptr);
        }
        InvalidateRect(hwnd, nullptr, FALSE);
        return 0;
    }
    case WM_MOUSEMOVE: {
        if (sb->pressed == Part::kNone) return 0;
        const POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        if (sb->pressed == Part::kThumb) {
            const int nTrack = PosAt(hwnd, *sb, (IsVertical(hwnd) ? pt.y : pt.x) - sb->dyGrab);
            if (nTrack != sb->nTrackPos) {
                sb->nTrackPos = nTrack;
                InvalidateRect(hwnd, nullptr, FALSE);
                Notify(hwnd, SB_THUMBTRACK, nTrack);
            }
            return 0;
        }
        const bool fHot = HitTest(hwnd, *sb, pt) == sb->pressed;
        if (fHot != sb->fHot) {
            sb->fHot = fHot;
            InvalidateRect(hwnd, nullptr, FALSE);
        }
        return 0;
    }
    case WM_TIMER:
        if (wParam != kRepeatTimer) return 0;
        if (sb->pressed == Part::kNone || sb->pressed == Part::kThumb) {
            KillTimer(hwnd, kRepeatTimer);
            return 0;
        }
        if (!sb->fRepeat) {
            sb->fRepeat = true;
            SetTimer(hwnd, kRepeatTimer, kRepeatMs, nullptr);
        }
        {
            POINT pt;
            GetCursorPos(&pt);
            ScreenToClient(hwnd, &pt);
            // A page step stops once the thumb has come under the stylus.
            sb->fHot = HitTest(hwnd, *sb, pt) == sb->pressed;
            if (sb->fHot) Step(hwnd, sb->pressed);
        }
        return 0;
    case WM_LBUTTONUP:
        if (sb->pressed != Part::kNone) EndTracking(hwnd, *sb);
        return 0;
    case WM_CAPTURECHANGED:
        if (reinterpret_cast<HWND>(lParam) != hwnd && sb->pressed != Part::kNone)
            EndTracking(hwnd, *sb);
        return 0;
    case WM_KEYDOWN: {
        if (!CanScroll(hwnd, *sb)) return 0;
        WORD nCode = SB_ENDSCROLL;
        switch (wParam) {
        case VK_UP:
        case VK_LEFT:
            nCode = SB_LINEUP;
            break;
        case VK_DOWN:
        case VK_RIGHT:
            nCode = SB_LINEDOWN;
            break;
        case VK_PRIOR:
            nCode = SB_PAGEUP;
            break;
        case VK_NEXT:
            nCode = SB_PAGEDOWN;
            break;
        case VK_HOME:
            nCode = SB_TOP;
            break;
        case VK_END:
            nCode = SB_BOTTOM;
            break;
        default:
            return 0;
        }
        Notify(hwnd, nCode, 0);
        Notify(hwnd, SB_ENDSCROLL, 0);
        return 0;
    }
    case SBM_SETPOS: {
        const int nOld = sb->nPos;
        sb->nPos = Clamp(*sb, static_cast<int>(wParam));
        if (lParam != 0 && sb->nPos != nOld) InvalidateRect(hwnd, nullptr, FALSE);
        return nOld;
    }
    case SBM_GETPOS:
        return sb->nPos;
    case SBM_SETRANGE:
    case SBM_SETRANGEREDRAW: {
        const int nOld = sb->nPos;
        SCROLLINFO si{sizeof(SCROLLINFO),
                      SIF_RANGE,
                      static_cast<int>(wParam),
                      static_cast<int>(lParam),
                      0,
                      0,
                      0};
        SetInfo(hwnd, *sb, si, msg == SBM_SETRANGEREDRAW);
        return nOld;
    }
    case SBM_GETRANGE:
        if (auto* pMin = reinterpret_cast<int*>(wParam)) *pMin = sb->nMin;
        if (auto* pMax = reinterpret_cast<int*>(lParam)) *pMax = sb->nMax;
        return 0;
    case SBM_SETSCROLLINFO: {
        const auto* psi = reinterpret_cast<const SCROLLINFO*>(lParam);
        if (psi == nullptr) return 0;
        SetInfo(hwnd, *sb, *psi, wParam != 0);
        return sb->nPos;
    }
    case SBM_GETSCROLLINFO: {
        auto* psi = reinterpret_cast<SCROLLINFO*>(lParam);
        if (psi == nullptr || (psi->fMask & SIF_ALL) == 0) return FALSE;
        if (psi->fMask & SIF_RANGE) {
            psi->nMin = sb->nMin;
            psi->nMax = sb->nMax;
        }
        if (psi->fMask & SIF_PAGE) psi->nPage = sb->nPage;
        if (psi->fMask & SIF_POS) psi->nPos = sb->nPos;
        if (psi->fMask & SIF_TRACKPOS)
            psi->nTrackPos = sb->pressed == Part::kThumb ? sb->nTrackPos : sb->nPos;
        return TRUE;
    }
    default:
        return DefWindowProc(hwnd, msg, wParam, lParam);
    }
}

bool IsCtlBar(int nBar) {
    if (nBar == SB_CTL) return true;
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
}

} // namespace

namespace controls {

bool RegisterScrollBarClass() {
    WNDCLASSW wc{};
    wc.style = CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = ScrollBarProc;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.lpszClassName = WC_SCROLLBAR;
    return RegisterClass(&wc) != 0;
}

} // namespace controls

int SetScrollPos(HWND hwnd, int nBar, int nPos, BOOL fRedraw) {
    if (!IsCtlBar(nBar)) return 0;
    return static_cast<int>(SendMessage(hwnd, SBM_SETPOS, static_cast<WPARAM>(nPos), fRedraw));
}

int GetScrollPos(HWND hwnd, int nBar) {
    if (!IsCtlBar(nBar)) return 0;
    return static_cast<int>(SendMessage(hwnd, SBM_GETPOS, 0, 0));
}

BOOL SetScrollRange(HWND hwnd, int nBar, int nMin, int nMax, BOOL fRedraw) {
    if (!IsCtlBar(nBar) || !IsWindow(hwnd)) return FALSE;
    SendMessage(hwnd, fRedraw ? SBM_SETRANGEREDRAW : SBM_SETRANGE, static_cast<WPARAM>(nMin), nMax);
    return TRUE;
}

BOOL GetScrollRange(HWND hwnd, int nBar, int* pnMin, int* pnMax) {
    if (!IsCtlBar(nBar) || !IsWindow(hwnd)) return FALSE;
    int nMin = 0;
    int nMax = 0;
    SendMessage(hwnd, SBM_GETRANGE, reinterpret_cast<WPARAM>(&nMin),
                reinterpret_cast<LPARAM>(&nMax));
    if (pnMin != nullptr) *pnMin = nMin;
    if (pnMax != nullptr) *pnMax = nMax;
    return TRUE;
}

int SetScrollInfo(HWND hwnd, int nBar, const SCROLLINFO* psi, BOOL fRedraw) {
    if (!IsCtlBar(nBar) || psi == nullptr) return 0;
    return static_cast<int>(
        SendMessage(hwnd, SBM_SETSCROLLINFO, fRedraw, reinterpret_cast<LPARAM>(psi)));
}

BOOL GetScrollInfo(HWND hwnd, int nBar, SCROLLINFO* psi) {
    if (!IsCtlBar(nBar) || psi == nullptr) return FALSE;
    return static_cast<BOOL>(
        SendMessage(hwnd, SBM_GETSCROLLINFO, 0, reinterpret_cast<LPARAM>(psi)));
}

} // namespace host
