// Keyboard navigation in dialogs: tab order, groups, the default button, and the focus.
#include "host/dialog.h"

#include "host/dialog_internal.h"

#include <vector>

namespace host {
namespace dlg {
namespace {

DWORD Style(HWND hwnd) {
    return static_cast<DWORD>(GetWindowLongPtr(hwnd, GWL_STYLE));
}

std::vector<HWND> Controls(HWND hDlg) {
    std::vector<HWND> out;
    for (HWND hwnd = GetWindow(hDlg, GW_CHILD); hwnd != nullptr;
         hwnd = GetWindow(hwnd, GW_HWNDNEXT))
        out.push_back(hwnd);
    return out;
}

std::ptrdiff_t IndexOf(const std::vector<HWND>& controls, HWND hwnd) {
    for (std::size_t i = 0; i < controls.size(); ++i)
        if (controls[i] == hwnd) return static_cast<std::ptrdiff_t>(i);
    return -1;
}

LRESULT DlgCode(HWND hwndCtl, WPARAM vk = 0, MSG* pMsg = nullptr) {
    return SendMessage(hwndCtl, WM_GETDLGCODE, vk, reinterpret_cast<LPARAM>(pMsg));
}

bool IsPushButton(HWND hwndCtl) {
    return (DlgCode(hwndCtl) & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON)) != 0;
}

bool IsRadio(HWND hwndCtl) {
    return (DlgCode(hwndCtl) & DLGC_RADIOBUTTON) != 0;
}

// The first control of hwndCtl's group: the nearest at or above it with WS_GROUP.
HWND GroupStart(HWND hwndCtl) {
    HWND hwnd = hwndCtl;
    while ((Style(hwnd) & WS_GROUP) == 0) {
        HWND prev = GetWindow(hwnd, GW_HWNDPREV);
        if (prev == nullptr) break;
        hwnd = prev;
    }
    return hwnd;
}

// The checked radio button in hwndCtl's group, or null.
HWND CheckedInGroup(HWND hDlg, HWND hwndCtl) {
    HWND hwnd = hwndCtl;
    do {
        if (IsRadio(hwnd) && SendMessage(hwnd, BM_GETCHECK, 0, 0) == BST_CHECKED) return hwnd;
        hwnd = GetNextDlgGroupItem(hDlg, hwnd, FALSE);
    } while (hwnd != nullptr && hwnd != hwndCtl);
    return nullptr;
}

void Tab(HWND hDlg, HWND hwndFrom, bool fPrevious) {
    HWND hwndNext = GetNextDlgTabItem(hDlg, hwndFrom, fPrevious);
    // A radio group is one stop, on its checked button.
    if (hwndFrom != nullptr && IsRadio(hwndFrom)) {
        HWND group = GroupStart(hwndFrom);
        std::size_t cLeft = Controls(hDlg).size();
        while (hwndNext != nullptr && hwndNext != hwndFrom && cLeft-- > 0 && IsRadio(hwndNext) &&
               GroupStart(hwndNext) == group)
            hwndNext = GetNextDlgTabItem(hDlg, hwndNext, fPrevious);
    }
    if (hwndNext != nullptr && IsRadio(hwndNext))
        if (HWND checked = CheckedInGroup(hDlg, hwndNext)) hwndNext = checked;
    if (hwndNext != nullptr)
        SendMessage(hDlg, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(hwndNext), TRUE);
}

void Arrow(HWND hDlg, HWND hwndFrom, bool fPrevious) {
    if (hwndFrom == nullptr) return;
    HWND hwndNext = GetNextDlgGroupItem(hDlg, hwndFrom, fPrevious);
    if (hwndNext == nullptr || hwndNext == hwndFrom) return;
    SendMessage(hDlg, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(hwndNext), TRUE);
    if (IsRadio(hwndNext)) SendMessage(hwndNext, BM_CLICK, 0, 0);
}

// Enter and Escape press a button: WM_COMMAND as its click would send, unless it is disabled.
void Press(HWND hDlg, int id, HWND hwndButton) {
    if (hwndButton != nullptr && !IsWindowEnabled(hwndButton)) return;
    SendMessage(hDlg, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id), BN_CLICKED),
                reinterpret_cast<LPARAM>(hwndButton));
}

void Enter(HWND hDlg, HWND hwndFocus, LRESULT code) {
    if (hwndFocus != nullptr && (code & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON)) != 0) {
        Press(hDlg, GetDlgCtrlID(hwndFocus), hwndFocus);
        return;
    }
    LRESULT def = SendMessage(hDlg, DM_GETDEFID, 0, 0);
    int id = HIWORD(static_cast<std::uintptr_t>(def)) == DC_HASDEFID
                 ? LOWORD(static_cast<std::uintptr_t>(def))
                 : IDOK;
    Press(hDlg, id, GetDlgItem(hDlg, id));
}

} // namespace

void SetPushStyle(HWND hwndCtl, DWORD type) {
    if (hwndCtl == nullptr || !IsPushButton(hwndCtl)) return;
    DWORD style = Style(hwndCtl);
    if ((style & BS_TYPEMASK) == type) return;
    SendMessage(hwndCtl, BM_SETSTYLE, (style & 0xFFFF & ~BS_TYPEMASK) | type, TRUE);
}

bool IsNavigable(HWND hwndCtl) {
    return (Style(hwndCtl) & WS_VISIBLE) != 0 && IsWindowEnabled(hwndCtl);
}

HWND ControlOf(HWND hDlg, HWND hwnd) {
    if (hwnd == nullptr || hwnd == hDlg) return nullptr;
    for (;;) {
        HWND parent = GetAncestor(hwnd, GA_PARENT);
        if (parent == nullptr) return nullptr;
        if (parent == hDlg) return hwnd;
        hwnd = parent;
    }
}

void SetDialogFocus(HWND hDlg, HWND hwndCtl) {
    std::shared_ptr<DialogState> state = Find(hDlg);
    if (state != nullptr) {
        // A focused push button looks like the default one, as Enter then presses it.
        HWND hwndDef = state->defId != 0 ? GetDlgItem(hDlg, state->defId) : nullptr;
        HWND hwndOld = ControlOf(hDlg, GetFocus());
        if (hwndOld != nullptr && hwndOld != hwndCtl && hwndOld != hwndDef)
            SetPushStyle(hwndOld, BS_PUSHBUTTON);
        if (IsPushButton(hwndCtl)) {
            if (hwndDef != nullptr && hwndDef != hwndCtl) SetPushStyle(hwndDef, BS_PUSHBUTTON);
            SetPushStyle(hwndCtl, BS_DEFPUSHBUTTON);
        } else if (hwndDef != nullptr) {
            SetPushStyle(hwndDef, BS_DEFPUSHBUTTON);
        }
        state->hwndFocus = hwndCtl;
    }
    if ((DlgCode(hwndCtl) & DLGC_HASSETSEL) != 0) SendMessage(hwndCtl, EM_SETSEL, 0, -1);
    SetFocus(hwndCtl);
}

HWND FocusCandidate(HWND hDlg) {
    std::shared_ptr<DialogState> state = Find(hDlg);
    if (state != nullptr && state->hwndFocus != nullptr && IsWindow(state->hwndFocus)) {
        HWND hwndCtl = ControlOf(hDlg, state->hwndFocus);
        if (hwndCtl != nullptr && IsNavigable(hwndCtl)) return state->hwndFocus;
    }
    return GetNextDlgTabItem(hDlg, nullptr, FALSE);
}

} // namespace dlg

using namespace dlg;

HWND GetNextDlgTabItem(HWND hDlg, HWND hwndCtl, BOOL fPrevious) {
    std::vector<HWND> controls = Controls(hDlg);
    auto n = static_cast<std::ptrdiff_t>(controls.size());
    if (n == 0) return nullptr;
    std::ptrdiff_t from = IndexOf(controls, ControlOf(hDlg, hwndCtl));
    if (from < 0) from = fPrevious ? n : -1;
    for (std::ptrdiff_t step = 1; step <= n; ++step) {
        std::ptrdiff_t i = ((fPrevious ? from - step : from + step) % n + n) % n;
        if ((Style(controls[i]) & WS_TABSTOP) != 0 && IsNavigable(controls[i])) return controls[i];
    }
    return nullptr;
}

HWND GetNextDlgGroupItem(HWND hDlg, HWND hwndCtl, BOOL fPrevious) {
    std::vector<HWND> controls = Controls(hDlg);
    auto n = static_cast<std::ptrdiff_t>(controls.size());
    if (n == 0) return nullptr;
    std::ptrdiff_t at = IndexOf(controls, ControlOf(hDlg, hwndCtl));
    if (at < 0) at = 0;
    std::ptrdiff_t first = at;
    while (first > 0 && (Style(controls[first]) & WS_GROUP) == 0)
        --first;
    std::ptrdiff_t end = at + 1;
    while (end < n && (Style(controls[end]) & WS_GROUP) == 0)
        ++end;
    std::ptrdiff_t size = end - first;
    for (std::ptrdiff_t step = 1; step < size; ++step) {
        std::ptrdiff_t offset = at - first + (fPrevious ? -step : step);
        std::ptrdiff_t i = first + (offset % size + size) % size;
        if (IsNavigable(controls[i])) return controls[i];
    }
    return controls[at];
}

BOOL IsDialogMessage(HWND hDlg, MSG* pMsg) {
    if (pMsg == nullptr || pMsg->hwnd == nullptr || !IsWindow(hDlg)) return FALSE;
    HWND hwnd = pMsg->hwnd;
    if (hwnd != hDlg && !IsChild(hDlg, hwnd)) return FALSE;
    if (pMsg->message == WM_KEYDOWN) {
        LRESULT code = hwnd != hDlg ? DlgCode(hwnd, pMsg->wParam, pMsg) : 0;
        HWND hwndCtl = ControlOf(hDlg, hwnd);
        if ((code & DLGC_WANTMESSAGE) == 0) {
            switch (pMsg->wParam) {
            case VK_TAB:
                if ((code & DLGC_WANTTAB) != 0) break;
                Tab(hDlg, hwndCtl, (GetKeyState(VK_SHIFT) & 0x8000) != 0);
                return TRUE;
            case VK_LEFT:
            case VK_UP:
            case VK_RIGHT:
            case VK_DOWN:
                if ((code & DLGC_WANTARROWS) != 0) break;
                Arrow(hDlg, hwndCtl, pMsg->wParam == VK_LEFT || pMsg->wParam == VK_UP);
                return TRUE;
            case VK_RETURN:
                Enter(hDlg, hwndCtl, hwndCtl == hwnd ? code : DlgCode(hwndCtl));
                return TRUE;
            case VK_ESCAPE:
                Press(hDlg, IDCANCEL, GetDlgItem(hDlg, IDCANCEL));
                return TRUE;
            default:
                break;
            }
        }
    }
    TranslateMessage(pMsg);
    DispatchMessage(pMsg);
    return TRUE;
}

} // namespace host
