// "Static": text, rectangles, frames and etched lines.
#include "host/controls.h"
#include "host/controls/controls_internal.h"
#include "host/controls/look.h"
#include "host/gdi.h"
#include "host/window.h"

#include <algorithm>
#include <string>

namespace host::controls {
namespace {

constexpr char16_t kStateProp[] = u"host.Static";

struct StaticState {
    HFONT font = nullptr;
};

StaticState* StateOf(HWND hwnd) {
    return static_cast<StaticState*>(GetProp(hwnd, std::u16string_view(kStateProp)));
}

bool IsTextType(DWORD type) {
    return type == SS_LEFT || type == SS_CENTER || type == SS_RIGHT || type == SS_SIMPLE ||
           type == SS_LEFTNOWORDWRAP;
}

UINT TextFormat(DWORD style) {
    UINT format = DT_EXPANDTABS;
    switch (style & SS_TYPEMASK) {
    case SS_CENTER:
        format |= DT_CENTER | DT_WORDBREAK;
        break;
    case SS_RIGHT:
        format |= DT_RIGHT | DT_WORDBREAK;
        break;
    case SS_SIMPLE:
        format = DT_SINGLELINE | DT_LEFT;
        break;
    case SS_LEFTNOWORDWRAP:
        format |= DT_LEFT;
        break;
    default:
        format |= DT_LEFT | DT_WORDBREAK;
        break;
    }
    if (style & SS_CENTERIMAGE) format = (format & ~DT_WORDBREAK) | DT_SINGLELINE | DT_VCENTER;
    if (style & SS_NOPREFIX) format |= DT_NOPREFIX;
    return format;
}

void Paint(HWND hwnd, StaticState* st, HDC hdc) {
    const DWORD style = StyleOf(hwnd);
    const DWORD type = style & SS_TYPEMASK;
    RECT rc;
    GetClientRect(hwnd, &rc);
    if (style & WS_BORDER) {
        FrameRect(hdc, &rc, GetSysColorBrush(COLOR_WINDOWFRAME));
        InflateRect(&rc, -1, -1);
    }
    if (style & SS_SUNKEN) DrawEdge(hdc, &rc, BDR_SUNKENOUTER, BF_RECT | BF_ADJUST);

    switch (type) {
    case SS_BLACKRECT:
    case SS_GRAYRECT:
    case SS_WHITERECT: {
        const int colour = type == SS_BLACKRECT  ? COLOR_3DDKSHADOW
                           : type == SS_GRAYRECT ? COLOR_3DSHADOW
                                                 : COLOR_3DHILIGHT;
        FillRect(hdc, &rc, GetSysColorBrush(colour));
        return;
    }
    // Frames and etched lines draw only their lines: the inside shows what lies below.
    case SS_BLACKFRAME:
    case SS_GRAYFRAME:
    case SS_WHITEFRAME: {
        const int colour = type == SS_BLACKFRAME  ? COLOR_3DDKSHADOW
                           : type == SS_GRAYFRAME ? COLOR_3DSHADOW
                                                  : COLOR_3DHILIGHT;
        FrameRect(hdc, &rc, GetSysColorBrush(colour));
        return;
    }
    case SS_ETCHEDHORZ:
        DrawEdge(hdc, &rc, EDGE_ETCHED, BF_TOP);
        return;
    case SS_ETCHEDVERT:
        DrawEdge(hdc, &rc, EDGE_ETCHED, BF_LEFT);
        return;
    case SS_ETCHEDFRAME:
        DrawEdge(hdc, &rc, EDGE_ETCHED, BF_RECT);
        return;
    default:
        break;
    }

    // Text kinds (and the kinds not drawn here: icons, bitmaps, owner-drawn) get the
    // parent's background.
    SetTextColor(hdc, GetSysColor(COLOR_STATICTEXT));
    SetBkColor(hdc, GetSysColor(COLOR_STATIC));
    HBRUSH brush = AskParentBrush(hwnd, hdc, WM_CTLCOLORSTATIC);
    const COLORREF text = GetTextColor(hdc);
    FillRect(hdc, &rc, brush != nullptr ? brush : GetSysColorBrush(COLOR_STATIC));
    if (!IsTextType(type)) return;
    HFONT oldFont = SelectObject(hdc, look::ControlFont(st->font));
    look::DrawControlText(hdc, TextOf(hwnd), rc, TextFormat(style), !IsWindowEnabled(hwnd), text);
    SelectObject(hdc, oldFont);
}

LRESULT StaticProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    StaticState* st = StateOf(hwnd);
    if (st == nullptr && msg != WM_NCCREATE) return DefWindowProc(hwnd, msg, wParam, lParam);
    switch (msg) {
    case WM_NCCREATE:
        SetProp(hwnd, std::u16string_view(kStateProp), new StaticState);
        return DefWindowProc(hwnd, msg, wParam, lParam);
    case WM_NCDESTROY:
        delete static_cast<StaticState*>(RemoveProp(hwnd, std::u16string_view(kStateProp)));
        return DefWindowProc(hwnd, msg, wParam, lParam);
    case WM_NCHITTEST:
        // A plain label lets clicks through to what lies below it.
        if (!(StyleOf(hwnd) & SS_NOTIFY)) return HTTRANSPARENT;
        return DefWindowProc(hwnd, msg, wParam, lParam);
    case WM_GETDLGCODE:
        return DLGC_STATIC;
    case WM_LBUTTONDOWN:
        if (StyleOf(hwnd) & SS_NOTIFY) NotifyParent(hwnd, STN_CLICKED);
        return 0;
    case WM_LBUTTONDBLCLK:
        if (StyleOf(hwnd) & SS_NOTIFY) NotifyParent(hwnd, STN_DBLCLK);
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC hdc = BeginPaint(hwnd, &ps);
        if (hdc != nullptr) Paint(hwnd, st, hdc);
        EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_ERASEBKGND:
        return 1; // painting covers what it owns
    case WM_SETTEXT: {
        const LRESULT result = DefWindowProc(hwnd, msg, wParam, lParam);
        InvalidateRect(hwnd, nullptr, FALSE);
        return result;
    }
    case WM_ENABLE:
        InvalidateRect(hwnd, nullptr, FALSE);
        return 0;
    case WM_SETFONT:
        st->font = reinterpret_cast<HFONT>(wParam);
        if (lParam != 0) InvalidateRect(hwnd, nullptr, FALSE);
        return 0;
    case WM_GETFONT:
        return reinterpret_cast<LRESULT>(st->font);
    default:
        return DefWindowProc(hwnd, msg, wParam, lParam);
    }
}

} // namespace

bool RegisterStaticClass() {
    WNDCLASSW wc{};
    wc.style = CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = StaticProc;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.lpszClassName = WC_STATIC;
    return RegisterClass(&wc) != 0;
}

} // namespace host::controls
