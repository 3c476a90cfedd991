// The drop-down list: a field showing the selected string with an arrow button, and a
// pop-up list (a top-level window of its own class) that opens under the field, or above it
// when it would leave the work area. While the list is open the control holds the mouse
// capture, so every stylus event comes here: the highlight follows the stylus over the list,
// a release on an item chooses it, a press anywhere else closes the list. The simple and
// drop-down kinds behave as drop-down lists.
#include "host/controls.h"
#include "host/controls/controls_internal.h"
#include "host/controls/item_list.h"
#include "host/controls/look.h"
#include "host/screen.h"

#include <algorithm>

namespace host {
namespace {

using controls::AskParentBrush;
using controls::NotifyParent;
using controls::RowHeight;

using controls::ItemList;

constexpr char16_t kProp[] = u"ComboBoxState";
constexpr char16_t kOwnerProp[] = u"ComboBoxOfList";
constexpr int kTextIndent = 2;
constexpr int kListBorder = 1;

struct Combo {
    ItemList items;
    int iSel = -1;
    HFONT font = nullptr;
    int cyItem = 16;
    int cyTemplate = 0; // the height the control was made with: field and list together
    HWND hwndList = nullptr;
    bool fDropped = false;
    bool fFocus = false;
    bool fStylusDown = false; // pressed while open: the highlight follows the stylus
    int iHot = -1;            // the highlighted item of the open list
    int iTop = 0;             // the first item the open list shows
};

Combo* Get(HWND hwnd) {
    return static_cast<Combo*>(GetProp(hwnd, kProp));
}

int FieldHeight(const Combo& cb) {
    return cb.cyItem + 2 * look::kFieldInset + 2;
}

// The field takes its own height; the rest of the template's height belongs to the list.
void FitField(HWND hwnd, const Combo& cb) {
    RECT rc;
    GetClientRect(hwnd, &rc);
    if (rc.bottom != FieldHeight(cb))
        SetWindowPos(hwnd, nullptr, 0, 0, rc.right, FieldHeight(cb),
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

RECT ButtonRect(HWND hwnd) {
    RECT rc;
    GetClientRect(hwnd, &rc);
    InflateRect(&rc, -look::kFieldInset, -look::kFieldInset);
    rc.left = std::max(rc.left, rc.right - look::kScrollArrowSize);
    return rc;
}

int ListRows(const Combo& cb) {
    if (cb.hwndList == nullptr) return 1;
    RECT rc;
    GetClientRect(cb.hwndList, &rc);
    return std::max(1, static_cast<int>((rc.bottom - 2 * kListBorder) / cb.cyItem));
}

void ShowItem(Combo& cb, int i) {
    const int cRows = ListRows(cb);
    if (i < cb.iTop) cb.iTop = i;
    if (i >= cb.iTop + cRows) cb.iTop = i - cRows + 1;
    cb.iTop = std::clamp(cb.iTop, 0, std::max(0, cb.items.Count() - cRows));
}

void SetHot(Combo& cb, int i) {
    if (cb.items.Count() == 0) return;
    i = std::clamp(i, 0, cb.items.Count() - 1);
    if (i == cb.iHot) return;
    cb.iHot = i;
    ShowItem(cb, i);
    InvalidateRect(cb.hwndList, nullptr, FALSE);
}

// The list's rectangle on the screen: under the field, or above it when there is no room.
RECT ListRect(HWND hwnd, const Combo& cb) {
    RECT rcField;
    GetWindowRect(hwnd, &rcField);
    const int cyWanted = std::max(cb.cyTemplate - FieldHeight(cb), cb.cyItem + 2 * kListBorder);
    const int cRows =
        std::clamp((cyWanted - 2 * kListBorder) / cb.cyItem, 1, std::max(1, cb.items.Count()));
    const int cy = cRows * cb.cyItem + 2 * kListBorder;
    RECT work{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    SystemParametersInfo(SPI_GETWORKAREA, 0, &work, 0);
    RECT rc{rcField.left, rcField.bottom, rcField.right, rcField.bottom + cy};
    if (rc.bottom > work.bottom && rcField.top - cy >= work.top) {
        rc.top = rcField.top - cy;
        rc.bottom = rcField.top;
    }
    return rc;
}

void Open(HWND hwnd, Combo& cb) {
    if (cb.fDropped) return;
    NotifyParent(hwnd, CBN_DROPDOWN); // the parent may fill the list now
    if (!IsWindow(hwnd)) return;
    const RECT rc = ListRect(hwnd, cb);
    if (cb.hwndList == nullptr)
        cb.hwndList = CreateWindowEx(WS_EX_TOOLWINDOW | WS_EX_TOPMOST, WC_COMBOLBOX, u"", WS_POPUP,
                                     rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, hwnd,
                                     nullptr, nullptr, hwnd);
    if (cb.hwndList == nullptr) return;
    SetWindowPos(cb.hwndList, HWND_TOPMOST, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top,
                 SWP_NOACTIVATE);
    cb.fDropped = true;
    cb.iHot = -1;
    cb.iTop = 0;
    SetHot(cb, std::max(cb.iSel, 0));
    InvalidateRect(cb.hwndList, nullptr, FALSE);
    ShowWindow(cb.hwndList, SW_SHOWNA);
    InvalidateRect(hwnd, nullptr, FALSE);
    SetCapture(hwnd);
}

// Closes the open list; fChoose takes the highlighted item.
void Close(HWND hwnd, Combo& cb, bool fChoose) {
    if (!cb.fDropped) return;
    cb.fDropped = false;
    cb.fStylusDown = false;
    ShowWindow(cb.hwndList, SW_HIDE);
    if (GetCapture() == hwnd) ReleaseCapture();
    InvalidateRect(hwnd, nullptr, FALSE);
    if (fChoose && cb.items.Valid(cb.iHot)) {
        const bool fChanged = cb.iHot != cb.iSel;
        cb.iSel = cb.iHot;
        if (fChanged) NotifyParent(hwnd, CBN_SELCHANGE);
        NotifyParent(hwnd, CBN_SELENDOK);
    } else {
        NotifyParent(hwnd, CBN_SELENDCANCEL);
    }
    NotifyParent(hwnd, CBN_CLOSEUP);
}

// Selects i on the closed control, as a key does; true when the selection changed.
bool Select(HWND hwnd, Combo& cb, int i) {
    if (cb.items.Count() == 0) return false;
    i = std::clamp(i, 0, cb.items.Count() - 1);
    if (i == cb.iSel) return false;
    cb.iSel = i;
    InvalidateRect(hwnd, nullptr, FALSE);
    return true;
}

// The item of the open list under a point of the control's client area; -1 outside the list.
int ItemAt(HWND hwnd, const Combo& cb, POINT pt, bool* pfAbove = nullptr, bool* pfBelow = nullptr) {
    ClientToScreen(hwnd, &pt);
    RECT rc;
    GetWindowRect(cb.hwndList, &rc);
    if (pfAbove != nullptr) *pfAbove = pt.x >= rc.left && pt.x < rc.right && pt.y < rc.top;
    if (pfBelow != nullptr) *pfBelow = pt.x >= rc.left && pt.x < rc.right && pt.y >= rc.bottom;
    InflateRect(&rc, -kListBorder, -kListBorder);
    if (!PtInRect(&rc, pt)) return -1;
    const int i = cb.iTop + static_cast<int>((pt.y - rc.top) / cb.cyItem);
    return i < cb.items.Count() ? i : -1;
}

void PaintField(HWND hwnd, Combo& cb) {
    PAINTSTRUCT ps;
    HDC hdc = BeginPaint(hwnd, &ps);
    if (hdc == nullptr) {
        EndPaint(hwnd, &ps);
        return;
    }
    const bool fDisabled = !IsWindowEnabled(hwnd);
    HBRUSH brush = AskParentBrush(hwnd, hdc, WM_CTLCOLOREDIT);
    RECT rcClient;
    GetClientRect(hwnd, &rcClient);
    RECT rcText = look::DrawField(hdc, rcClient, fDisabled, brush);
    const RECT rcButton = ButtonRect(hwnd);
    look::DrawArrowButton(hdc, rcButton, look::Arrow::kDown, cb.fDropped, fDisabled);
    rcText.right = rcButton.left;
    InflateRect(&rcText, -1, -1);
    COLORREF colour = GetSysColor(COLOR_WINDOWTEXT);
    const bool fHighlight = cb.fFocus && !cb.fDropped && !fDisabled;
    if (fHighlight) {
        HBRUSH sel = CreateSolidBrush(look::SelectionBackground());
        FillRect(hdc, &rcText, sel);
        DeleteObject(sel);
        colour = look::SelectionText();
    }
    if (cb.items.Valid(cb.iSel)) {
        HGDIOBJ oldFont = SelectObject(hdc, static_cast<HGDIOBJ>(look::ControlFont(cb.font)));
        RECT rc = rcText;
        rc.left += kTextIndent;
        look::DrawControlText(hdc, cb.items[cb.iSel].text, rc,
                              DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX, fDisabled, colour);
        SelectObject(hdc, oldFont);
    }
    if (fHighlight) look::DrawFocus(hdc, rcText);
    EndPaint(hwnd, &ps);
}

void PaintList(HWND hwndList) {
    PAINTSTRUCT ps;
    HDC hdc = BeginPaint(hwndList, &ps);
    auto hwnd = static_cast<HWND>(GetProp(hwndList, kOwnerProp));
    Combo* cb = hwnd != nullptr ? Get(hwnd) : nullptr;
    if (hdc == nullptr || cb == nullptr) {
        EndPaint(hwndList, &ps);
        return;
    }
    RECT rc;
    GetClientRect(hwndList, &rc);
    FrameRect(hdc, &rc, GetSysColorBrush(COLOR_WINDOWFRAME));
    InflateRect(&rc, -kListBorder, -kListBorder);
    FillRect(hdc, &rc, GetSysColorBrush(COLOR_WINDOW));
    IntersectClipRect(hdc, rc.left, rc.top, rc.right, rc.bottom);
    HGDIOBJ oldFont = SelectObject(hdc, static_cast<HGDIOBJ>(look::ControlFont(cb->font)));
    for (int i = cb->iTop; i < cb->items.Count(); ++i) {
        RECT rcItem{rc.left, rc.top + (i - cb->iTop) * cb->cyItem, rc.right,
                    rc.top + (i - cb->iTop + 1) * cb->cyItem};
        if (rcItem.top >= rc.bottom) break;
        COLORREF colour = GetSysColor(COLOR_WINDOWTEXT);
        if (i == cb->iHot) {
            HBRUSH sel = CreateSolidBrush(look::SelectionBackground());
            FillRect(hdc, &rcItem, sel);
            DeleteObject(sel);
            colour = look::SelectionText();
        }
        rcItem.left += kTextIndent;
        look::DrawControlText(hdc, cb->items[i].text, rcItem,
                              DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX, false, colour);
    }
    SelectObject(hdc, oldFont);
    EndPaint(hwndList, &ps);
}

LRESULT ListProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_NCCREATE: {
        const auto* cs = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetProp(hwnd, kOwnerProp, cs->lpCreateParams);
        return DefWindowProc(hwnd, msg, wParam, lParam);
    }
    case WM_NCDESTROY:
        RemoveProp(hwnd, kOwnerProp);
        return DefWindowProc(hwnd, msg, wParam, lParam);
    case WM_PAINT:
        PaintList(hwnd);
        return 0;
    case WM_ERASEBKGND:
        return 1;
    default:
        return DefWindowProc(hwnd, msg, wParam, lParam);
    }
}

void KeyDown(HWND hwnd, Combo& cb, WPARAM vk, bool fAlt) {
    if ((vk == VK_F1 + 3) || (fAlt && (vk == VK_DOWN || vk == VK_UP))) {
        if (cb.fDropped)
            Close(hwnd, cb, true);
        else
            Open(hwnd, cb);
        return;
    }
    if (cb.fDropped) {
        if (vk == VK_RETURN) Close(hwnd, cb, true);
        if (vk == VK_ESCAPE) Close(hwnd, cb, false);
    }
    const int iFrom = cb.fDropped ? cb.iHot : cb.iSel;
    const int cPage = cb.fDropped ? std::max(1, ListRows(cb) - 1) : 1;
    int i = iFrom;
    switch (vk) {
    case VK_UP:
        i = iFrom < 0 ? 0 : iFrom - 1;
        break;
    case VK_DOWN:
        i = iFrom + 1;
        break;
    case VK_PRIOR:
        i = iFrom - cPage;
        break;
    case VK_NEXT:
        i = iFrom + cPage;
        break;
    case VK_HOME:
        i = 0;
        break;
    case VK_END:
        i = cb.items.Count() - 1;
        break;
    default:
        return;
    }
    if (cb.fDropped)
        SetHot(cb, i);
    else if (Select(hwnd, cb, i))
        NotifyParent(hwnd, CBN_SELCHANGE);
}

void ButtonDown(HWND hwnd, Combo& cb, POINT pt) {
    if (!cb.fDropped) {
        if (GetFocus() != hwnd) SetFocus(hwnd);
        Open(hwnd, cb);
        cb.fStylusDown = cb.fDropped;
        return;
    }
    const int i = ItemAt(hwnd, cb, pt);
    RECT rcList;
    GetWindowRect(cb.hwndList, &rcList);
    POINT ptScreen = pt;
    ClientToScreen(hwnd, &ptScreen);
    if (!PtInRect(&rcList, ptScreen)) {
        Close(hwnd, cb, false);
        return;
    }
    cb.fStylusDown = true;
    if (i >= 0) SetHot(cb, i);
}

LRESULT Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Combo* cb = Get(hwnd);
    if (cb == nullptr) {
        if (msg == WM_NCCREATE) {
            cb = new Combo;
            cb->cyTemplate = reinterpret_cast<const CREATESTRUCTW*>(lParam)->cy;
            if (!SetProp(hwnd, kProp, cb)) {
                delete cb;
                return FALSE;
            }
        }
        return DefWindowProc(hwnd, msg, wParam, lParam);
    }
    const int iItem = static_cast<int>(static_cast<LPARAM>(wParam));
    const bool fSorted = (GetWindowLongPtr(hwnd, GWL_STYLE) & CBS_SORT) != 0;
    switch (msg) {
    case WM_CREATE:
        cb->cyItem = RowHeight(nullptr);
        FitField(hwnd, *cb);
        return 0;
    case WM_DESTROY:
        if (cb->hwndList != nullptr) DestroyWindow(cb->hwndList);
        cb->hwndList = nullptr;
        cb->fDropped = false;
        return 0;
    case WM_NCDESTROY:
        RemoveProp(hwnd, kProp);
        delete cb;
        return DefWindowProc(hwnd, msg, wParam, lParam);
    case WM_PAINT:
        PaintField(hwnd, *cb);
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_ENABLE:
        if (wParam == 0) Close(hwnd, *cb, false);
        InvalidateRect(hwnd, nullptr, FALSE);
        return 0;
    case WM_SETFONT:
        cb->font = reinterpret_cast<HFONT>(wParam);
        cb->cyItem = RowHeight(cb->font);
        FitField(hwnd, *cb);
        if (lParam != 0) InvalidateRect(hwnd, nullptr, FALSE);
        return 0;
    case WM_GETFONT:
        return reinterpret_cast<LRESULT>(cb->font);
    case WM_GETDLGCODE: {
        LRESULT code = DLGC_WANTARROWS | DLGC_WANTCHARS;
        // The open list takes Enter and Escape; F4 always opens or closes it.
        const auto* pMsg = reinterpret_cast<const MSG*>(lParam);
        if (cb->fDropped ||
            (pMsg != nullptr && pMsg->message == WM_KEYDOWN && pMsg->wParam == VK_F1 + 3))
            code |= DLGC_WANTMESSAGE;
        return code;
    }
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        cb->fFocus = msg == WM_SETFOCUS;
        if (!cb->fFocus) Close(hwnd, *cb, false);
        InvalidateRect(hwnd, nullptr, FALSE);
        NotifyParent(hwnd, cb->fFocus ? CBN_SETFOCUS : CBN_KILLFOCUS);
        return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        ButtonDown(hwnd, *cb, POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
        return 0;
    case WM_MOUSEMOVE:
        if (cb->fDropped && cb->fStylusDown) {
            bool fAbove = false;
            bool fBelow = false;
            const int i = ItemAt(hwnd, *cb, POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)},
                                 &fAbove, &fBelow);
            if (i >= 0)
                SetHot(*cb, i);
            else if (fAbove && cb->iHot > 0)
                SetHot(*cb, std::min(cb->iHot, cb->iTop) - 1); // scrolls the list
            else if (fBelow)
                SetHot(*cb, std::max(cb->iHot, cb->iTop + ListRows(*cb) - 1) + 1);
        }
        return 0;
    case WM_LBUTTONUP:
        if (cb->fDropped) {
            cb->fStylusDown = false;
            const int i = ItemAt(hwnd, *cb, POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
            if (i >= 0) {
                cb->iHot = i;
                Close(hwnd, *cb, true);
            }
        }
        return 0;
    case WM_CAPTURECHANGED:
        if (cb->fDropped && reinterpret_cast<HWND>(lParam) != hwnd) Close(hwnd, *cb, false);
        return 0;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
        KeyDown(hwnd, *cb, wParam, msg == WM_SYSKEYDOWN);
        return msg == WM_SYSKEYDOWN ? DefWindowProc(hwnd, msg, wParam, lParam) : 0;
    case WM_CHAR: {
        if (wParam < 0x20) return 0;
        const char16_t c = static_cast<char16_t>(wParam);
        const int iFrom = cb->fDropped ? cb->iHot : cb->iSel;
        const int i = cb->items.Find(iFrom, std::u16string_view(&c, 1), false);
        if (i < 0) return 0;
        if (cb->fDropped)
            SetHot(*cb, i);
        else if (Select(hwnd, *cb, i))
            NotifyParent(hwnd, CBN_SELCHANGE);
        return 0;
    }
    case WM_GETTEXT: {
        auto* buffer = reinterpret_cast<char16_t*>(lParam);
        if (buffer == nullptr || wParam == 0) return 0;
        std::u16string_view text;
        if (cb->items.Valid(cb->iSel)) text = cb->items[cb->iSel].text;
        const std::size_t c = std::min(text.size(), static_cast<std::size_t>(wParam - 1));
        std::copy_n(text.begin(), c, buffer);
        buffer[c] = 0;
        return static_cast<LRESULT>(c);
    }
    case WM_GETTEXTLENGTH:
        return cb->items.Valid(cb->iSel) ? static_cast<LRESULT>(cb->items[cb->iSel].text.size())
                                         : 0;

    case CB_ADDSTRING:
    case CB_INSERTSTRING: {
        const int i = msg == CB_ADDSTRING ? cb->items.Add(controls::TextParam(lParam), fSorted)
                                          : cb->items.Insert(iItem, controls::TextParam(lParam));
        if (i < 0) return msg == CB_ADDSTRING ? CB_ERRSPACE : CB_ERR;
        if (cb->iSel >= i) ++cb->iSel;
        if (cb->fDropped && cb->iHot >= i) ++cb->iHot;
        InvalidateRect(hwnd, nullptr, FALSE);
        if (cb->hwndList != nullptr) InvalidateRect(cb->hwndList, nullptr, FALSE);
        return i;
    }
    case CB_DELETESTRING:
        if (!cb->items.Delete(iItem)) return CB_ERR;
        if (cb->iSel == iItem)
            cb->iSel = -1;
        else if (cb->iSel > iItem)
            --cb->iSel;
        if (cb->iHot >= cb->items.Count()) cb->iHot = cb->items.Count() - 1;
        InvalidateRect(hwnd, nullptr, FALSE);
        if (cb->hwndList != nullptr) InvalidateRect(cb->hwndList, nullptr, FALSE);
        return cb->items.Count();
    case CB_RESETCONTENT:
        Close(hwnd, *cb, false);
        cb->items.Clear();
        cb->iSel = -1;
        InvalidateRect(hwnd, nullptr, FALSE);
        return CB_OKAY;
    case CB_GETCOUNT:
        return cb->items.Count();
    case CB_GETCURSEL:
        return cb->iSel;
    case CB_SETCURSEL:
        cb->iSel = cb->items.Valid(iItem) ? iItem : -1;
        if (cb->fDropped && cb->iSel >= 0) SetHot(*cb, cb->iSel);
        InvalidateRect(hwnd, nullptr, FALSE);
        return cb->iSel >= 0 ? cb->iSel : CB_ERR;
    case CB_GETLBTEXT: {
        if (!cb->items.Valid(iItem)) return CB_ERR;
        const std::u16string& text = cb->items[iItem].text;
        if (auto* buffer = reinterpret_cast<char16_t*>(lParam)) {
            std::copy(text.begin(), text.end(), buffer);
            buffer[text.size()] = 0;
        }
        return static_cast<LRESULT>(text.size());
    }
    case CB_GETLBTEXTLEN:
        return cb->items.Valid(iItem) ? static_cast<LRESULT>(cb->items[iItem].text.size()) : CB_ERR;
    case CB_FINDSTRING:
    case CB_FINDSTRINGEXACT:
        return cb->items.Find(iItem, controls::TextParam(lParam), msg == CB_FINDSTRINGEXACT);
    case CB_SELECTSTRING: {
        const int i = cb->items.Find(iItem, controls::TextParam(lParam), false);
        if (i < 0) return CB_ERR;
        cb->iSel = i;
        InvalidateRect(hwnd, nullptr, FALSE);
        return i;
    }
    case CB_SHOWDROPDOWN:
        if (wParam != 0)
            Open(hwnd, *cb);
        else
            Close(hwnd, *cb, false);
        return TRUE;
    case CB_GETDROPPEDSTATE:
        return cb->fDropped ? TRUE : FALSE;
    case CB_GETDROPPEDCONTROLRECT: {
        auto* prc = reinterpret_cast<RECT*>(lParam);
        if (prc == nullptr) return CB_ERR;
        GetWindowRect(hwnd, prc);
        const RECT rcList = ListRect(hwnd, *cb);
        UnionRect(prc, prc, &rcList);
        return CB_OKAY;
    }
    case CB_GETITEMDATA:
        return cb->items.Valid(iItem) ? cb->items[iItem].data : CB_ERR;
    case CB_SETITEMDATA:
        if (!cb->items.Valid(iItem)) return CB_ERR;
        cb->items[iItem].data = lParam;
        return CB_OKAY;
    case CB_GETEDITSEL:
        return CB_ERR; // a drop-down list has no edit
    default:
        return DefWindowProc(hwnd, msg, wParam, lParam);
    }
}

} // namespace

namespace controls {

bool RegisterComboBoxClass() {
    WNDCLASSW wc{};
    wc.lpfnWndProc = Proc;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.lpszClassName = WC_COMBOBOX;
    if (RegisterClass(&wc) == 0) return false;
    WNDCLASSW list = wc;
    list.style = CS_SAVEBITS;
    list.lpfnWndProc = ListProc;
    list.lpszClassName = WC_COMBOLBOX;
    return RegisterClass(&list) != 0;
}

} // namespace controls
} // namespace host
