// "Button": push buttons, check boxes, radio buttons and group boxes.
#include "host/controls.h"
#include "host/controls/controls_internal.h"
#include "host/controls/look.h"
#include "host/gdi.h"
#include "host/window.h"

#include <algorithm>
#include <string>

namespace host::controls {
namespace {

constexpr char16_t kStateProp[] = u"host.Button";

struct ButtonState {
    UINT check = BST_UNCHECKED;
    bool fPressed = false;  // drawn pushed in (BST_PUSHED)
    bool fFocus = false;    // has the keyboard focus
    bool fTracking = false; // the mouse is captured by a press
    bool fSpace = false;    // pressed by the space bar
    HFONT font = nullptr;
};

ButtonState* StateOf(HWND hwnd) {
    return static_cast<ButtonState*>(GetProp(hwnd, std::u16string_view(kStateProp)));
}

DWORD TypeOf(DWORD style) {
    return style & BS_TYPEMASK;
}

bool IsCheckType(DWORD type) {
    return type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_3STATE ||
           type == BS_AUTO3STATE;
}

bool IsRadioType(DWORD type) {
    return type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON;
}

bool IsPushType(DWORD type) {
    return !IsCheckType(type) && !IsRadioType(type) && type != BS_GROUPBOX;
}

void Redraw(HWND hwnd) {
    InvalidateRect(hwnd, nullptr, FALSE);
}

void SetPressed(HWND hwnd, ButtonState* st, bool fPressed) {
    if (st->fPressed == fPressed) return;
    st->fPressed = fPressed;
    Redraw(hwnd);
    if (StyleOf(hwnd) & BS_NOTIFY) NotifyParent(hwnd, fPressed ? BN_HILITE : BN_UNHILITE);
}

// Unchecks the other radio buttons of hwnd's group: the siblings from the nearest WS_GROUP
// at or above it down to the next WS_GROUP. Earlier controls lie above later ones.
void UncheckGroup(HWND hwnd) {
    HWND first = hwnd;
    while (!(StyleOf(first) & WS_GROUP)) {
        HWND prev = GetWindow(first, GW_HWNDPREV);
        if (prev == nullptr) break;
        first = prev;
    }
    for (HWND sib = first; sib != nullptr; sib = GetWindow(sib, GW_HWNDNEXT)) {
        if (sib != first && (StyleOf(sib) & WS_GROUP)) break;
        if (sib == hwnd) continue;
        if (SendMessage(sib, WM_GETDLGCODE, 0, 0) & DLGC_RADIOBUTTON)
            SendMessage(sib, BM_SETCHECK, BST_UNCHECKED, 0);
    }
}

// A completed click: the automatic kinds change their state, then the parent hears of it.
// The parent may destroy the button meanwhile, so nothing follows the notification.
void Click(HWND hwnd) {
    ButtonState* st = StateOf(hwnd);
    if (st == nullptr) return;
    switch (TypeOf(StyleOf(hwnd))) {
    case BS_AUTOCHECKBOX:
        SendMessage(hwnd, BM_SETCHECK, st->check == BST_UNCHECKED ? BST_CHECKED : BST_UNCHECKED, 0);
        break;
    case BS_AUTO3STATE:
        SendMessage(hwnd, BM_SETCHECK, (st->check + 1) % 3, 0);
        break;
    case BS_AUTORADIOBUTTON:
        SendMessage(hwnd, BM_SETCHECK, BST_CHECKED, 0);
        UncheckGroup(hwnd);
        break;
    default:
        break;
    }
    NotifyParent(hwnd, BN_CLICKED);
}

// The parent's brush for the background (null: the look's own) and the text colour it set.
HBRUSH AskColours(HWND hwnd, HDC hdc, UINT msg, COLORREF* pText) {
    SetTextColor(hdc, GetSysColor(COLOR_BTNTEXT));
    SetBkColor(hdc, GetSysColor(COLOR_BTNFACE));
    HBRUSH brush = AskParentBrush(hwnd, hdc, msg);
    *pText = GetTextColor(hdc);
    return brush;
}

UINT HorizontalFormat(DWORD style, UINT fallback) {
    switch (style & BS_CENTER) {
    case BS_LEFT:
        return DT_LEFT;
    case BS_RIGHT:
        return DT_RIGHT;
    case BS_CENTER:
        return DT_CENTER;
    default:
        return fallback;
    }
}

// Draws the text aligned in rc after the style; returns the rectangle it covers.
RECT DrawAligned(HDC hdc, const std::u16string& text, const RECT& rc, DWORD style, UINT hFallback,
                 bool fDisabled, COLORREF colour) {
    const UINT hFormat = HorizontalFormat(style, hFallback);
    const UINT wrap = (style & BS_MULTILINE) ? DT_WORDBREAK : DT_SINGLELINE;
    RECT calc = rc;
    DrawText(hdc, reinterpret_cast<const WCHAR*>(text.data()), static_cast<int>(text.size()), &calc,
             hFormat | wrap | DT_CALCRECT);
    const int cx = std::min<int>(calc.right - calc.left, rc.right - rc.left);
    const int cy = calc.bottom - calc.top;
    int y = rc.top + (rc.bottom - rc.top - cy) / 2;
    if ((style & BS_VCENTER) == BS_TOP) y = rc.top;
    if ((style & BS_VCENTER) == BS_BOTTOM) y = rc.bottom - cy;
    RECT line = {rc.left, y, rc.right, y + cy};
    look::DrawControlText(hdc, text, line, hFormat | wrap | DT_NOCLIP, fDisabled, colour);
    int x = rc.left;
    if (hFormat == DT_CENTER) x = rc.left + (rc.right - rc.left - cx) / 2;
    if (hFormat == DT_RIGHT) x = rc.right - cx;
    return {x, y, x + cx, y + cy};
}

void PaintGroupBox(HWND hwnd, HDC hdc, const RECT& rc, bool fDisabled) {
    COLORREF text = 0;
    HBRUSH brush = AskColours(hwnd, hdc, WM_CTLCOLORSTATIC, &text);
    const DWORD style = StyleOf(hwnd);
    const std::u16string caption = TextOf(hwnd);
    TEXTMETRIC tm{};
    GetTextMetrics(hdc, &tm);
    const int cyText = tm.tmHeight;
    if (caption.empty()) {
        look::DrawGroupFrame(hdc, rc, cyText, 0, 0);
        return;
    }
    RECT calc = {0, 0, 0, 0};
    DrawText(hdc, reinterpret_cast<const WCHAR*>(caption.data()), static_cast<int>(caption.size()),
             &calc, DT_SINGLELINE | DT_CALCRECT);
    constexpr int kIndent = 8, kGap = 2;
    const int width = std::min<int>(calc.right - calc.left, rc.right - rc.left - 2 * kIndent);
    int x = rc.left + kIndent;
    if ((style & BS_CENTER) == BS_RIGHT) x = rc.right - kIndent - width;
    if ((style & BS_CENTER) == BS_CENTER) x = rc.left + (rc.right - rc.left - width) / 2;
    look::DrawGroupFrame(hdc, rc, cyText, x - kGap, x + width + kGap);
    // Only the caption's own cell is painted: the group box lies over its controls.
    RECT cell = {x - kGap, rc.top, x + width + kGap, rc.top + cyText};
    FillRect(hdc, &cell, brush != nullptr ? brush : GetSysColorBrush(COLOR_BTNFACE));
    RECT textRc = {x, rc.top, x + width, rc.top + cyText};
    look::DrawControlText(hdc, caption, textRc, DT_SINGLELINE | DT_LEFT | DT_TOP, fDisabled, text);
}

void Paint(HWND hwnd, ButtonState* st, HDC hdc) {
    const DWORD style = StyleOf(hwnd);
    const DWORD type = TypeOf(style);
    const bool fDisabled = !IsWindowEnabled(hwnd);
    RECT rc;
    GetClientRect(hwnd, &rc);
    HFONT oldFont = SelectObject(hdc, look::ControlFont(st->font));
    if (style & WS_BORDER) {
        FrameRect(hdc, &rc, GetSysColorBrush(COLOR_WINDOWFRAME));
        InflateRect(&rc, -1, -1);
    }
    const std::u16string text = TextOf(hwnd);

    if (type == BS_GROUPBOX) {
        PaintGroupBox(hwnd, hdc, rc, fDisabled);
    } else if (IsPushType(type) || (style & BS_PUSHLIKE)) {
        COLORREF colour = 0;
        if (HBRUSH brush = AskColours(hwnd, hdc, WM_CTLCOLORBTN, &colour))
            FillRect(hdc, &rc, brush);
        const bool fDown = st->fPressed || (!IsPushType(type) && st->check != BST_UNCHECKED);
        RECT face = look::DrawPushButton(hdc, rc, fDown, type == BS_DEFPUSHBUTTON);
        RECT inner = face;
        InflateRect(&inner, -1, -1);
        DrawAligned(hdc, text, inner, style, DT_CENTER, fDisabled, colour);
        if (st->fFocus) look::DrawFocus(hdc, inner);
    } else {
        COLORREF colour = 0;
        HBRUSH brush = AskColours(hwnd, hdc, WM_CTLCOLORSTATIC, &colour);
        FillRect(hdc, &rc, brush != nullptr ? brush : GetSysColorBrush(COLOR_BTNFACE));
        const int size = look::kCheckSize;
        const bool fLeftText = (style & BS_LEFTTEXT) != 0;
        int yBox = rc.top + (rc.bottom - rc.top - size) / 2;
        if ((style & BS_VCENTER) == BS_TOP) yBox = rc.top;
        if ((style & BS_VCENTER) == BS_BOTTOM) yBox = rc.bottom - size;
        const int xBox = fLeftText ? rc.right - size : rc.left;
        const RECT box = {xBox, yBox, xBox + size, yBox + size};
        if (IsRadioType(type))
            look::DrawRadioButton(hdc, box, st->check != BST_UNCHECKED, st->fPressed, fDisabled);
        else
            look::DrawCheckBox(hdc, box, st->check, st->fPressed, fDisabled);
        RECT focus = box;
        if (!text.empty()) {
            RECT area = rc;
            if (fLeftText)
                area.right = xBox - look::kCheckTextGap;
            else
                area.left = xBox + size + look::kCheckTextGap;
            focus = DrawAligned(hdc, text, area, style, DT_LEFT, fDisabled, colour);
            InflateRect(&focus, 1, 1);
            IntersectRect(&focus, &focus, &rc);
        }
        if (st->fFocus) look::DrawFocus(hdc, focus);
    }
    SelectObject(hdc, oldFont);
}

LRESULT OnMouse(HWND hwnd, ButtonState* st, UINT msg, LPARAM lParam) {
    const DWORD type = TypeOf(StyleOf(hwnd));
    if (type == BS_GROUPBOX) return 0;
    RECT rc;
    GetClientRect(hwnd, &rc);
    const bool fInside = PtInRect(&rc, {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
    switch (msg) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        if (msg == WM_LBUTTONDBLCLK && (StyleOf(hwnd) & BS_NOTIFY))
            NotifyParent(hwnd, BN_DOUBLECLICKED);
        if (GetFocus() != hwnd) SetFocus(hwnd);
        if ((st = StateOf(hwnd)) == nullptr) return 0; // gone while taking the focus
        SetCapture(hwnd);
        st->fTracking = true;
        SetPressed(hwnd, st, true);
        return 0;
    case WM_MOUSEMOVE:
        if (st->fTracking) SetPressed(hwnd, st, fInside);
        return 0;
    case WM_LBUTTONUP:
        if (!st->fTracking) return 0;
        st->fTracking = false;
        SetPressed(hwnd, st, false);
        ReleaseCapture();
        if (fInside) Click(hwnd);
        return 0;
    default:
        return 0;
    }
}

LRESULT ButtonProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    ButtonState* st = StateOf(hwnd);
    if (st == nullptr && msg != WM_NCCREATE) return DefWindowProc(hwnd, msg, wParam, lParam);
    switch (msg) {
    case WM_NCCREATE: {
        SetProp(hwnd, std::u16string_view(kStateProp), new ButtonState);
        auto* cs = reinterpret_cast<CREATESTRUCTW*>(lParam);
        if (TypeOf(static_cast<DWORD>(cs->style)) == BS_GROUPBOX) {
            // Its frame lies over its controls: they must show through and take the clicks.
            SetWindowLongPtr(hwnd, GWL_EXSTYLE,
                             GetWindowLongPtr(hwnd, GWL_EXSTYLE) | WS_EX_TRANSPARENT);
        }
        return DefWindowProc(hwnd, msg, wParam, lParam);
    }
    case WM_NCDESTROY:
        delete static_cast<ButtonState*>(RemoveProp(hwnd, std::u16string_view(kStateProp)));
        return DefWindowProc(hwnd, msg, wParam, lParam);
    case WM_NCHITTEST:
        if (TypeOf(StyleOf(hwnd)) == BS_GROUPBOX) return HTTRANSPARENT;
        return DefWindowProc(hwnd, msg, wParam, lParam);
    case WM_GETDLGCODE:
        switch (TypeOf(StyleOf(hwnd))) {
        case BS_DEFPUSHBUTTON:
            return DLGC_BUTTON | DLGC_DEFPUSHBUTTON;
        case BS_RADIOBUTTON:
        case BS_AUTORADIOBUTTON:
            return DLGC_BUTTON | DLGC_RADIOBUTTON;
        case BS_GROUPBOX:
            return DLGC_STATIC;
        default:
            return IsPushType(TypeOf(StyleOf(hwnd))) ? DLGC_BUTTON | DLGC_UNDEFPUSHBUTTON
                                                     : DLGC_BUTTON;
        }
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC hdc = BeginPaint(hwnd, &ps);
        if (hdc != nullptr) Paint(hwnd, st, hdc);
        EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_ERASEBKGND:
        return 1; // painting covers it (a group box leaves its inside alone)
    case WM_SETTEXT: {
        const LRESULT result = DefWindowProc(hwnd, msg, wParam, lParam);
        Redraw(hwnd);
        return result;
    }
    case WM_ENABLE:
        Redraw(hwnd);
        return 0;
    case WM_SETFONT:
        st->font = reinterpret_cast<HFONT>(wParam);
        if (lParam != 0) Redraw(hwnd);
        return 0;
    case WM_GETFONT:
        return reinterpret_cast<LRESULT>(st->font);
    case WM_SETFOCUS:
        if (TypeOf(StyleOf(hwnd)) == BS_GROUPBOX) return 0;
        st->fFocus = true;
        Redraw(hwnd);
        if (StyleOf(hwnd) & BS_NOTIFY) NotifyParent(hwnd, BN_SETFOCUS);
        return 0;
    case WM_KILLFOCUS:
        st->fFocus = false;
        st->fSpace = false;
        if (st->fTracking) {
            st->fTracking = false;
            if (GetCapture() == hwnd) ReleaseCapture();
        }
        SetPressed(hwnd, st, false);
        Redraw(hwnd);
        if (StyleOf(hwnd) & BS_NOTIFY) NotifyParent(hwnd, BN_KILLFOCUS);
        return 0;
    case WM_CAPTURECHANGED:
        if (st->fTracking && reinterpret_cast<HWND>(lParam) != hwnd) {
            st->fTracking = false;
            SetPressed(hwnd, st, false);
        }
        return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_LBUTTONUP:
    case WM_MOUSEMOVE:
        return OnMouse(hwnd, st, msg, lParam);
    case WM_KEYDOWN:
        if (wParam == VK_SPACE && TypeOf(StyleOf(hwnd)) != BS_GROUPBOX && !st->fTracking) {
            st->fSpace = true;
            SetPressed(hwnd, st, true);
            return 0;
        }
        return DefWindowProc(hwnd, msg, wParam, lParam);
    case WM_KEYUP:
        if (wParam == VK_SPACE && st->fSpace) {
            st->fSpace = false;
            const bool fWasPressed = st->fPressed;
            SetPressed(hwnd, st, false);
            if (fWasPressed) Click(hwnd);
            return 0;
        }
        return DefWindowProc(hwnd, msg, wParam, lParam);
    case BM_GETCHECK: {
        const DWORD type = TypeOf(StyleOf(hwnd));
        return IsCheckType(type) || IsRadioType(type) ? st->check : BST_UNCHECKED;
    }
    case BM_SETCHECK: {
        const DWORD type = TypeOf(StyleOf(hwnd));
        UINT check = BST_UNCHECKED;
        if (type == BS_3STATE || type == BS_AUTO3STATE)
            check = wParam & BST_INDETERMINATE ? BST_INDETERMINATE
                    : wParam & BST_CHECKED     ? BST_CHECKED
                                               : BST_UNCHECKED;
        else if (IsCheckType(type) || IsRadioType(type))
            check = wParam & (BST_CHECKED | BST_INDETERMINATE) ? BST_CHECKED : BST_UNCHECKED;
        else
            return 0;
        if (check != st->check) {
            st->check = check;
            Redraw(hwnd);
        }
        return 0;
    }
    case BM_GETSTATE:
        return static_cast<LRESULT>(st->check | (st->fPressed ? BST_PUSHED : 0) |
                                    (st->fFocus ? BST_FOCUS : 0));
    case BM_SETSTATE:
        SetPressed(hwnd, st, wParam != 0);
        return 0;
    case BM_SETSTYLE: {
        const DWORD old = StyleOf(hwnd);
        const DWORD style = (old & 0xFFFF0000) | LOWORD(wParam);
        SetWindowLongPtr(hwnd, GWL_STYLE, static_cast<LONG_PTR>(style));
        const LONG_PTR ex = GetWindowLongPtr(hwnd, GWL_EXSTYLE);
        if (TypeOf(style) == BS_GROUPBOX)
            SetWindowLongPtr(hwnd, GWL_EXSTYLE, ex | WS_EX_TRANSPARENT);
        if (lParam != 0) Redraw(hwnd);
        return 0;
    }
    case BM_CLICK:
        if (IsWindowEnabled(hwnd) && TypeOf(StyleOf(hwnd)) != BS_GROUPBOX) Click(hwnd);
        return 0;
    default:
        return DefWindowProc(hwnd, msg, wParam, lParam);
    }
}

} // namespace

bool RegisterButtonClass() {
    WNDCLASSW wc{};
    wc.style = CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = ButtonProc;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.lpszClassName = WC_BUTTON;
    return RegisterClass(&wc) != 0;
}

} // namespace host::controls
