// The list box control: a sunken field of strings, one a row, with single or multiple
// selection, keyboard and stylus selection, and (WS_VSCROLL) a scroll bar control inside the
// field on the right, shown while the items do not fit.
#include "host/controls.h"
#include "host/controls/controls_internal.h"
#include "host/controls/item_list.h"
#include "host/controls/look.h"

#include <algorithm>

namespace host {
namespace {

using controls::AskParentBrush;
using controls::NotifyParent;
using controls::RowHeight;
using controls::StyleOf;

using controls::ItemList;

constexpr char16_t kProp[] = u"ListBoxState";
constexpr int kTextIndent = 2;

struct ListBox {
    ItemList items;
    int iSel = -1;   // the selection of a single-selection list box
    int iCaret = 0;  // the item with the focus rectangle
    int iTop = 0;    // the first item shown
    int cyItem = 16; // row height, from the font
    HFONT font = nullptr;
    HWND hwndScroll = nullptr;
    bool fFocus = false;
    bool fTracking = false; // a stylus drag selects as it goes
};

ListBox* Get(HWND hwnd) {
    return static_cast<ListBox*>(GetProp(hwnd, kProp));
}
bool IsMulti(HWND hwnd) {
    return (StyleOf(hwnd) & (LBS_MULTIPLESEL | LBS_EXTENDEDSEL)) != 0;
}

void Notify(HWND hwnd, WORD nCode) {
    if ((StyleOf(hwnd) & LBS_NOTIFY) == 0) return;
    NotifyParent(hwnd, nCode);
}

// The rows' area: the field's interior less the scroll bar when it shows.
RECT ItemArea(HWND hwnd, const ListBox& lb) {
    RECT rc;
    GetClientRect(hwnd, &rc);
    InflateRect(&rc, -look::kFieldInset, -look::kFieldInset);
    if (lb.hwndScroll != nullptr && IsWindowVisible(lb.hwndScroll))
        rc.right -= look::kScrollArrowSize;
    if (rc.right < rc.left) rc.right = rc.left;
    if (rc.bottom < rc.top) rc.bottom = rc.top;
    return rc;
}

int VisibleRows(HWND hwnd, const ListBox& lb) {
    const RECT rc = ItemArea(hwnd, lb);
    return std::max(1, static_cast<int>((rc.bottom - rc.top) / lb.cyItem));
}

int MaxTop(HWND hwnd, const ListBox& lb) {
    return std::max(0, lb.items.Count() - VisibleRows(hwnd, lb));
}

RECT ItemRect(HWND hwnd, const ListBox& lb, int i) {
    RECT rc = ItemArea(hwnd, lb);
    rc.top += (i - lb.iTop) * lb.cyItem;
    rc.bottom = rc.top + lb.cyItem;
    return rc;
}

// Shows the scroll bar while the items do not fit and keeps it in step with the top row.
void UpdateScrollBar(HWND hwnd, ListBox& lb) {
    if (lb.hwndScroll == nullptr) return;
    RECT rc;
    GetClientRect(hwnd, &rc);
    InflateRect(&rc, -look::kFieldInset, -look::kFieldInset);
    const int cRows = std::max(1, static_cast<int>((rc.bottom - rc.top) / lb.cyItem));
    const bool fShow = lb.items.Count() > cRows;
    MoveWindow(lb.hwndScroll, rc.right - look::kScrollArrowSize, rc.top, look::kScrollArrowSize,
               std::max(0, static_cast<int>(rc.bottom - rc.top)), TRUE);
    if (fShow != (IsWindowVisible(lb.hwndScroll) != FALSE)) {
        ShowWindow(lb.hwndScroll, fShow ? SW_SHOWNA : SW_HIDE);
        InvalidateRect(hwnd, nullptr, FALSE);
    }
    lb.iTop = std::clamp(lb.iTop, 0, MaxTop(hwnd, lb));
    SCROLLINFO si{sizeof(SCROLLINFO),
                  SIF_RANGE | SIF_PAGE | SIF_POS,
                  0,
                  std::max(0, lb.items.Count() - 1),
                  static_cast<UINT>(VisibleRows(hwnd, lb)),
                  lb.iTop,
                  0};
    SetScrollInfo(lb.hwndScroll, SB_CTL, &si, TRUE);
}

void SetTop(HWND hwnd, ListBox& lb, int iTop) {
    iTop = std::clamp(iTop, 0, MaxTop(hwnd, lb));
    if (iTop == lb.iTop) return;
    lb.iTop = iTop;
    if (lb.hwndScroll != nullptr) SetScrollPos(lb.hwndScroll, SB_CTL, iTop, TRUE);
    InvalidateRect(hwnd, nullptr, FALSE);
}

void EnsureVisible(HWND hwnd, ListBox& lb, int i) {
    if (i < lb.iTop)
        SetTop(hwnd, lb, i);
    else if (i >= lb.iTop + VisibleRows(hwnd, lb))
        SetTop(hwnd, lb, i - VisibleRows(hwnd, lb) + 1);
}

void Changed(HWND hwnd, ListBox& lb) {
    UpdateScrollBar(hwnd, lb);
    InvalidateRect(hwnd, nullptr, FALSE);
}

// Moves the caret (and in a single-selection list the selection) to i; true when the
// selection changed.
bool MoveTo(HWND hwnd, ListBox& lb, int i) {
    if (lb.items.Count() == 0) return false;
    i = std::clamp(i, 0, lb.items.Count() - 1);
    lb.iCaret = i;
    EnsureVisible(hwnd, lb, i);
    InvalidateRect(hwnd, nullptr, FALSE);
    if (IsMulti(hwnd) || lb.iSel == i) return false;
    lb.iSel = i;
    return true;
}

// The item under a client point, clamped to the rows shown (and one beyond them, which
// scrolls a drag); -1 for an empty list.
int ItemAt(HWND hwnd, const ListBox& lb, POINT pt) {
    if (lb.items.Count() == 0) return -1;
    const RECT rc = ItemArea(hwnd, lb);
    int i;
    if (pt.y < rc.top)
        i = lb.iTop - 1;
    else
        i = lb.iTop + static_cast<int>((pt.y - rc.top) / lb.cyItem);
    i = std::min(i, lb.iTop + VisibleRows(hwnd, lb));
    return std::clamp(i, 0, lb.items.Count() - 1);
}

bool IsSelected(HWND hwnd, const ListBox& lb, int i) {
    return IsMulti(hwnd) ? lb.items[i].fSelected : lb.iSel == i;
}

void Paint(HWND hwnd, ListBox& lb) {
    PAINTSTRUCT ps;
    HDC hdc = BeginPaint(hwnd, &ps);
    if (hdc == nullptr) {
        EndPaint(hwnd, &ps);
        return;
    }
    const bool fDisabled = !IsWindowEnabled(hwnd);
    HBRUSH brush = AskParentBrush(hwnd, hdc, WM_CTLCOLORLISTBOX);
    if (lb.hwndScroll != nullptr && IsWindowVisible(lb.hwndScroll)) {
        RECT rcBar;
        GetWindowRect(lb.hwndScroll, &rcBar);
        MapWindowPoints(nullptr, hwnd, reinterpret_cast<POINT*>(&rcBar), 2);
        ExcludeClipRect(hdc, rcBar.left, rcBar.top, rcBar.right, rcBar.bottom);
    }
    RECT rcClient;
    GetClientRect(hwnd, &rcClient);
    look::DrawField(hdc, rcClient, fDisabled, brush);
    const RECT rcArea = ItemArea(hwnd, lb);
    IntersectClipRect(hdc, rcArea.left, rcArea.top, rcArea.right, rcArea.bottom);
    HGDIOBJ oldFont = SelectObject(hdc, static_cast<HGDIOBJ>(look::ControlFont(lb.font)));
    const int iEnd = std::min(lb.items.Count(), lb.iTop + VisibleRows(hwnd, lb) + 1);
    for (int i = lb.iTop; i < iEnd; ++i) {
        RECT rc = ItemRect(hwnd, lb, i);
        const bool fSel = IsSelected(hwnd, lb, i);
        COLORREF colour = GetSysColor(COLOR_WINDOWTEXT);
        if (fSel && !fDisabled) {
            HBRUSH sel = CreateSolidBrush(look::SelectionBackground());
            FillRect(hdc, &rc, sel);
            DeleteObject(sel);
            colour = look::SelectionText();
        }
        RECT rcText = rc;
        rcText.left += kTextIndent;
        look::DrawControlText(hdc, lb.items[i].text, rcText,
                              DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX, fDisabled, colour);
        if (lb.fFocus && i == lb.iCaret) look::DrawFocus(hdc, rc);
    }
    SelectObject(hdc, oldFont);
    EndPaint(hwnd, &ps);
}

// Integral height: the field shows whole rows only.
void FitHeight(HWND hwnd, const ListBox& lb) {
    if (StyleOf(hwnd) & LBS_NOINTEGRALHEIGHT) return;
    RECT rc;
    GetClientRect(hwnd, &rc);
    const int cyInside = rc.bottom - 2 * look::kFieldInset;
    const int cRows = std::max(1, cyInside / lb.cyItem);
    const int cy = cRows * lb.cyItem + 2 * look::kFieldInset;
    if (cy != rc.bottom)
        SetWindowPos(hwnd, nullptr, 0, 0, rc.right, cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT GetText(const ListBox& lb, WPARAM wParam, LPARAM lParam) {
    if (!lb.items.Valid(static_cast<LPARAM>(wParam))) return LB_ERR;
    const std::u16string& text = lb.items[static_cast<int>(wParam)].text;
    if (auto* buffer = reinterpret_cast<char16_t*>(lParam)) {
        std::copy(text.begin(), text.end(), buffer);
        buffer[text.size()] = 0;
    }
    return static_cast<LRESULT>(text.size());
}

void KeyDown(HWND hwnd, ListBox& lb, WPARAM vk) {
    if (lb.items.Count() == 0) return;
    const int cPage = std::max(1, VisibleRows(hwnd, lb) - 1);
    int i = lb.iCaret;
    switch (vk) {
    case VK_UP:
        i -= 1;
        break;
    case VK_DOWN:
        i += 1;
        break;
    case VK_PRIOR:
        i -= cPage;
        break;
    case VK_NEXT:
        i += cPage;
        break;
    case VK_HOME:
        i = 0;
        break;
    case VK_END:
        i = lb.items.Count() - 1;
        break;
    case VK_SPACE:
        if (IsMulti(hwnd)) {
            lb.items[lb.iCaret].fSelected = !lb.items[lb.iCaret].fSelected;
            InvalidateRect(hwnd, nullptr, FALSE);
            Notify(hwnd, LBN_SELCHANGE);
        }
        return;
    default:
        return;
    }
    if (lb.iSel == -1 && !IsMulti(hwnd)) i = std::max(i, 0); // the first key selects
    if (MoveTo(hwnd, lb, i)) Notify(hwnd, LBN_SELCHANGE);
}

LRESULT Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    ListBox* lb = Get(hwnd);
    if (lb == nullptr) {
        if (msg == WM_NCCREATE) {
            lb = new ListBox;
            if (!SetProp(hwnd, kProp, lb)) {
                delete lb;
                return FALSE;
            }
        }
        return DefWindowProc(hwnd, msg, wParam, lParam);
    }
    const int iItem = static_cast<int>(static_cast<LPARAM>(wParam));
    switch (msg) {
    case WM_CREATE:
        lb->cyItem = RowHeight(nullptr);
        if (StyleOf(hwnd) & WS_VSCROLL)
            lb->hwndScroll = CreateWindowEx(0, WC_SCROLLBAR, u"", WS_CHILD | SBS_VERT, 0, 0, 0, 0,
                                            hwnd, nullptr, nullptr, nullptr);
        FitHeight(hwnd, *lb);
        UpdateScrollBar(hwnd, *lb);
        return 0;
    case WM_NCDESTROY:
        RemoveProp(hwnd, kProp);
        delete lb;
        return DefWindowProc(hwnd, msg, wParam, lParam);
    case WM_PAINT:
        Paint(hwnd, *lb);
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_SIZE:
        Changed(hwnd, *lb);
        return 0;
    case WM_ENABLE:
        InvalidateRect(hwnd, nullptr, FALSE);
        return 0;
    case WM_SETFONT:
        lb->font = reinterpret_cast<HFONT>(wParam);
        lb->cyItem = RowHeight(lb->font);
        FitHeight(hwnd, *lb);
        UpdateScrollBar(hwnd, *lb);
        if (lParam != 0) InvalidateRect(hwnd, nullptr, FALSE);
        return 0;
    case WM_GETFONT:
        return reinterpret_cast<LRESULT>(lb->font);
    case WM_GETDLGCODE:
        return DLGC_WANTARROWS | DLGC_WANTCHARS;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        lb->fFocus = msg == WM_SETFOCUS;
        InvalidateRect(hwnd, nullptr, FALSE);
        Notify(hwnd, lb->fFocus ? LBN_SETFOCUS : LBN_KILLFOCUS);
        return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
        if (GetFocus() != hwnd) SetFocus(hwnd);
        const int i = ItemAt(hwnd, *lb, POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
        if (i < 0) return 0;
        if (IsMulti(hwnd)) {
            lb->items[i].fSelected = !lb->items[i].fSelected;
            MoveTo(hwnd, *lb, i);
            Notify(hwnd, LBN_SELCHANGE);
            return 0;
        }
        lb->fTracking = true;
        SetCapture(hwnd);
        if (MoveTo(hwnd, *lb, i)) Notify(hwnd, LBN_SELCHANGE);
        if (msg == WM_LBUTTONDBLCLK) Notify(hwnd, LBN_DBLCLK);
        return 0;
    }
    case WM_MOUSEMOVE:
        if (lb->fTracking) {
            const int i = ItemAt(hwnd, *lb, POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
            if (i >= 0 && MoveTo(hwnd, *lb, i)) Notify(hwnd, LBN_SELCHANGE);
        }
        return 0;
    case WM_LBUTTONUP:
        if (lb->fTracking) {
            lb->fTracking = false;
            ReleaseCapture();
        }
        return 0;
    case WM_CAPTURECHANGED:
        lb->fTracking = false;
        return 0;
    case WM_KEYDOWN:
        KeyDown(hwnd, *lb, wParam);
        return 0;
    case WM_CHAR: {
        if (wParam < 0x20) return 0;
        const char16_t c = static_cast<char16_t>(wParam);
        const int i = lb->items.Find(lb->iCaret, std::u16string_view(&c, 1), false);
        if (i >= 0 && MoveTo(hwnd, *lb, i)) Notify(hwnd, LBN_SELCHANGE);
        return 0;
    }
    case WM_VSCROLL: {
        const int cPage = std::max(1, VisibleRows(hwnd, *lb) - 1);
        switch (LOWORD(wParam)) {
        case SB_LINEUP:
            SetTop(hwnd, *lb, lb->iTop - 1);
            break;
        case SB_LINEDOWN:
            SetTop(hwnd, *lb, lb->iTop + 1);
            break;
        case SB_PAGEUP:
            SetTop(hwnd, *lb, lb->iTop - cPage);
            break;
        case SB_PAGEDOWN:
            SetTop(hwnd, *lb, lb->iTop + cPage);
            break;
        case SB_THUMBTRACK:
        case SB_THUMBPOSITION:
            SetTop(hwnd, *lb, HIWORD(wParam));
            break;
        case SB_TOP:
            SetTop(hwnd, *lb, 0);
            break;
        case SB_BOTTOM:
            SetTop(hwnd, *lb, lb->items.Count());
            break;
        default:
            break;
        }
        return 0;
    }
    case WM_MOUSEWHEEL:
        SetTop(hwnd, *lb, lb->iTop - 3 * static_cast<SHORT>(HIWORD(wParam)) / WHEEL_DELTA);
        return 0;

    case LB_ADDSTRING:
    case LB_INSERTSTRING: {
        const int i = msg == LB_ADDSTRING
                          ? lb->items.Add(controls::TextParam(lParam), StyleOf(hwnd) & LBS_SORT)
                          : lb->items.Insert(iItem, controls::TextParam(lParam));
        if (i < 0)
            return msg == LB_ADDSTRING || lb->items.Count() >= ItemList::kMaxItems ? LB_ERRSPACE
                                                                                   : LB_ERR;
        if (lb->iSel >= i) ++lb->iSel;
        if (lb->iCaret >= i && lb->items.Count() > 1) ++lb->iCaret;
        Changed(hwnd, *lb);
        return i;
    }
    case LB_DELETESTRING:
        if (!lb->items.Delete(iItem)) return LB_ERR;
        if (lb->iSel == iItem)
            lb->iSel = -1;
        else if (lb->iSel > iItem)
            --lb->iSel;
        if (lb->iCaret > iItem || lb->iCaret >= lb->items.Count())
            lb->iCaret = std::max(0, lb->iCaret - 1);
        Changed(hwnd, *lb);
        return lb->items.Count();
    case LB_RESETCONTENT:
        lb->items.Clear();
        lb->iSel = -1;
        lb->iCaret = 0;
        lb->iTop = 0;
        Changed(hwnd, *lb);
        return LB_OKAY;
    case LB_GETCOUNT:
        return lb->items.Count();
    case LB_GETTEXT:
        return GetText(*lb, wParam, lParam);
    case LB_GETTEXTLEN:
        return lb->items.Valid(iItem) ? static_cast<LRESULT>(lb->items[iItem].text.size()) : LB_ERR;
    case LB_SETCURSEL:
        if (IsMulti(hwnd)) return LB_ERR;
        if (!lb->items.Valid(iItem)) {
            lb->iSel = -1;
            InvalidateRect(hwnd, nullptr, FALSE);
            return LB_ERR;
        }
        MoveTo(hwnd, *lb, iItem);
        return iItem;
    case LB_GETCURSEL:
        if (IsMulti(hwnd)) return lb->items.Count() == 0 ? LB_ERR : lb->iCaret;
        return lb->iSel;
    case LB_SETSEL: {
        if (!IsMulti(hwnd)) return LB_ERR;
        const int i = static_cast<int>(lParam);
        if (i == -1) {
            for (int k = 0; k < lb->items.Count(); ++k)
                lb->items[k].fSelected = wParam != 0;
        } else if (lb->items.Valid(i)) {
            lb->items[i].fSelected = wParam != 0;
        } else {
            return LB_ERR;
        }
        InvalidateRect(hwnd, nullptr, FALSE);
        return LB_OKAY;
    }
    case LB_GETSEL:
        if (!lb->items.Valid(iItem)) return LB_ERR;
        return IsSelected(hwnd, *lb, iItem) ? 1 : 0;
    case LB_FINDSTRING:
    case LB_FINDSTRINGEXACT:
        return lb->items.Find(iItem, controls::TextParam(lParam), msg == LB_FINDSTRINGEXACT);
    case LB_SELECTSTRING: {
        const int i = lb->items.Find(iItem, controls::TextParam(lParam), false);
        if (i < 0 || IsMulti(hwnd)) return LB_ERR;
        MoveTo(hwnd, *lb, i);
        return i;
    }
    case LB_GETTOPINDEX:
        return lb->iTop;
    case LB_SETTOPINDEX:
        if (!lb->items.Valid(iItem) && !(iItem == 0 && lb->items.Count() == 0)) return LB_ERR;
        SetTop(hwnd, *lb, iItem);
        return LB_OKAY;
    case LB_GETITEMRECT: {
        auto* prc = reinterpret_cast<RECT*>(lParam);
        if (prc == nullptr || !lb->items.Valid(iItem)) return LB_ERR;
        *prc = ItemRect(hwnd, *lb, iItem);
        return 1;
    }
    case LB_GETITEMDATA:
        return lb->items.Valid(iItem) ? lb->items[iItem].data : LB_ERR;
    case LB_SETITEMDATA:
        if (iItem == -1) {
            for (int k = 0; k < lb->items.Count(); ++k)
                lb->items[k].data = lParam;
            return LB_OKAY;
        }
        if (!lb->items.Valid(iItem)) return LB_ERR;
        lb->items[iItem].data = lParam;
        return LB_OKAY;
    case LB_GETITEMHEIGHT:
        return lb->cyItem;
    default:
        return DefWindowProc(hwnd, msg, wParam, lParam);
    }
}

} // namespace

namespace controls {

bool RegisterListBoxClass() {
    WNDCLASSW wc{};
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = Proc;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.lpszClassName = WC_LISTBOX;
    return RegisterClass(&wc) != 0;
}

} // namespace controls
} // namespace host
