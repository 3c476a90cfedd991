// The dialog manager: the dialog classes, each dialog's state, DefDlgProc, the modal and
// modeless calls and the calls on controls by identifier.
#include "host/dialog.h"

#include "host/dialog_internal.h"
#include "host/error.h"

#include <atomic>
#include <charconv>
#include <climits>
#include <map>
#include <mutex>
#include <string>

namespace host {
namespace dlg {
namespace {

std::mutex g_mutex;
std::map<HWND, std::shared_ptr<DialogState>>& States() {
    static auto* states = new std::map<HWND, std::shared_ptr<DialogState>>;
    return *states;
}

std::atomic<bool> g_fWideCalls{true};

// WC_DIALOG_8BIT in the width CreateWindowEx takes here.
constexpr char16_t kDialogClassAW[] = u"#32770A";

bool IsCtlColor(UINT uMsg) {
    return uMsg >= WM_CTLCOLORMSGBOX && uMsg <= WM_CTLCOLORSTATIC;
}

bool HasMsgResultWord(HWND hDlg) {
    return GetClassLongPtr(hDlg, GCL_CBWNDEXTRA) >=
           static_cast<LONG_PTR>(DWLP_MSGRESULT + sizeof(LONG_PTR));
}

void SetDefaultId(HWND hDlg, DialogState& state, WORD id) {
    if (state.defId != 0 && state.defId != id)
        SetPushStyle(GetDlgItem(hDlg, state.defId), BS_PUSHBUTTON);
    state.defId = id;
    if (id != 0) SetPushStyle(GetDlgItem(hDlg, id), BS_DEFPUSHBUTTON);
}

void EraseDialog(HWND hDlg, HDC hdc) {
    auto brush = reinterpret_cast<HBRUSH>(SendMessage(
        hDlg, WM_CTLCOLORDLG, reinterpret_cast<WPARAM>(hdc), reinterpret_cast<LPARAM>(hDlg)));
    if (brush == nullptr) brush = GetSysColorBrush(COLOR_BTNFACE);
    RECT rc;
    GetClientRect(hDlg, &rc);
    FillRect(hdc, &rc, brush);
}

} // namespace

std::shared_ptr<DialogState> Find(HWND hDlg) {
    std::lock_guard guard(g_mutex);
    auto it = States().find(hDlg);
    return it == States().end() ? nullptr : it->second;
}

void Attach(HWND hDlg, std::shared_ptr<DialogState> state) {
    std::lock_guard guard(g_mutex);
    States()[hDlg] = std::move(state);
}

void Detach(HWND hDlg) {
    std::shared_ptr<DialogState> state;
    {
        std::lock_guard guard(g_mutex);
        auto it = States().find(hDlg);
        if (it == States().end()) return;
        state = std::move(it->second);
        States().erase(it);
    }
    if (state->fOwnFont && state->hFont != nullptr) DeleteObject(state->hFont);
    state->hFont = nullptr;
}

bool EnsureClasses() {
    static std::once_flag once;
    static bool fOk = false;
    std::call_once(once, [] {
        RegisterStandardControls();
        WNDCLASSW wide{};
        wide.lpfnWndProc = DefDlgProc;
        wide.cbWndExtra = DLGWINDOWEXTRA;
        wide.hCursor = LoadCursor(nullptr, IDC_ARROW);
        wide.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
        wide.lpszClassName = WC_DIALOG;
        WNDCLASSA narrow{};
        narrow.lpfnWndProc = DefDlgProc;
        narrow.cbWndExtra = DLGWINDOWEXTRA;
        narrow.hCursor = wide.hCursor;
        narrow.hbrBackground = wide.hbrBackground;
        narrow.lpszClassName = WC_DIALOG_8BIT;
        bool fWide = RegisterClass(&wide) != 0;
        bool fNarrow = RegisterClass(&narrow) != 0;
        fOk = fWide && fNarrow;
    });
    return fOk;
}

const char16_t* DefaultClassName(bool fWide) {
    return fWide ? WC_DIALOG : kDialogClassAW;
}

int MulDiv(int a, int b, int c) {
    if (c == 0) return -1;
    long long num = static_cast<long long>(a) * b;
    long long den = c;
    if (den < 0) {
        num = -num;
        den = -den;
    }
    long long q = num >= 0 ? (num + den / 2) / den : -((-num + den / 2) / den);
    if (q > INT_MAX || q < INT_MIN) return -1;
    return static_cast<int>(q);
}

} // namespace dlg

using namespace dlg;

// ---------------------------------------------------------------------------------------
// DefDlgProc

LRESULT DefDlgProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    std::shared_ptr<DialogState> state = Find(hDlg);
    if (state != nullptr && state->proc != nullptr) {
        bool fWord = HasMsgResultWord(hDlg);
        if (fWord) SetWindowLongPtr(hDlg, DWLP_MSGRESULT, 0);
        INT_PTR handled = state->proc(hDlg, uMsg, wParam, lParam);
        if (uMsg == WM_NCDESTROY) {
            Detach(hDlg);
            return DefWindowProc(hDlg, uMsg, wParam, lParam);
        }
        if (handled != 0) {
            // These answer through the return value itself.
            if (IsCtlColor(uMsg) || uMsg == WM_INITDIALOG) return handled;
            return fWord && IsWindow(hDlg) ? GetWindowLongPtr(hDlg, DWLP_MSGRESULT) : handled;
        }
        if (!IsWindow(hDlg)) return 0;
    }

    switch (uMsg) {
    case WM_CLOSE: {
        // A disabled Cancel button means the dialog cannot be cancelled now.
        HWND hwndCancel = GetDlgItem(hDlg, IDCANCEL);
        if (hwndCancel != nullptr && !IsWindowEnabled(hwndCancel)) return 0;
        PostMessage(hDlg, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                    reinterpret_cast<LPARAM>(hwndCancel));
        return 0;
    }
    case DM_GETDEFID:
        return state != nullptr && state->defId != 0 ? MAKELRESULT(state->defId, DC_HASDEFID) : 0;
    case DM_SETDEFID:
        if (state == nullptr) return FALSE;
        SetDefaultId(hDlg, *state, static_cast<WORD>(wParam));
        return TRUE;
    case WM_NEXTDLGCTL: {
        HWND hwndNext = lParam != 0
                            ? reinterpret_cast<HWND>(wParam)
                            : GetNextDlgTabItem(hDlg, ControlOf(hDlg, GetFocus()), wParam != 0);
        if (hwndNext != nullptr && ControlOf(hDlg, hwndNext) != nullptr)
            SetDialogFocus(hDlg, hwndNext);
        return 0;
    }
    case WM_ACTIVATE: {
        if (LOWORD(wParam) == WA_INACTIVE) {
            HWND hwndCtl = ControlOf(hDlg, GetFocus());
            if (state != nullptr && hwndCtl != nullptr) state->hwndFocus = GetFocus();
            return 0;
        }
        HWND focus = GetFocus();
        if (focus != nullptr && focus != hDlg && IsChild(hDlg, focus)) return 0;
        if (HWND hwndCtl = FocusCandidate(hDlg))
            SetDialogFocus(hDlg, hwndCtl);
        else
            SetFocus(hDlg);
        return 0;
    }
    case WM_SETFOCUS:
        if (HWND hwndCtl = FocusCandidate(hDlg)) SetDialogFocus(hDlg, hwndCtl);
        return 0;
    case WM_GETFONT:
        return state != nullptr ? reinterpret_cast<LRESULT>(state->hFont) : 0;
    case WM_CTLCOLORDLG:
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    case WM_ERASEBKGND:
        EraseDialog(hDlg, reinterpret_cast<HDC>(wParam));
        return 1;
    case WM_NCDESTROY:
        Detach(hDlg);
        break;
    default:
        break;
    }
    return DefWindowProc(hDlg, uMsg, wParam, lParam);
}

bool IsDialog(HWND hDlg) {
    return IsWindow(hDlg) && Find(hDlg) != nullptr;
}

BOOL EndDialog(HWND hDlg, INT_PTR result) {
    std::shared_ptr<DialogState> state = IsWindow(hDlg) ? Find(hDlg) : nullptr;
    if (state == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    state->fEnded = true;
    state->result = result;
    if (state->fModal)
        EndModalLoop(hDlg, result);
    else
        ShowWindow(hDlg, SW_HIDE);
    return TRUE;
}

// ---------------------------------------------------------------------------------------
// Creating dialogs

namespace {

bool LoadTemplate(HINSTANCE hInstance, ResName name, DialogTemplate* pOut) {
    if (FindResource(hInstance, name, RT_DIALOG) == nullptr) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return false;
    }
    if (!LoadDialogTemplate(hInstance, name, GetResourceLanguage(), pOut)) {
        SetLastError(ERROR_INVALID_DATA);
        return false;
    }
    return true;
}

HWND CreateByName(HINSTANCE hInstance, ResName name, HWND hwndOwner, DLGPROC dlgProc,
                  LPARAM initParam, bool fWide) {
    DialogTemplate dialogTemplate;
    if (!LoadTemplate(hInstance, name, &dialogTemplate)) return nullptr;
    return CreateFromTemplate(hInstance, dialogTemplate, hwndOwner, dlgProc, initParam, fWide,
                              false);
}

INT_PTR RunModal(HINSTANCE hInstance, const DialogTemplate& dialogTemplate, HWND hwndOwner,
                 DLGPROC dlgProc, LPARAM initParam, bool fWide) {
    HWND hDlg =
        CreateFromTemplate(hInstance, dialogTemplate, hwndOwner, dlgProc, initParam, fWide, true);
    if (hDlg == nullptr) return -1;
    std::shared_ptr<DialogState> state = Find(hDlg);
    INT_PTR result = 0;
    if (state != nullptr && state->fEnded) {
        // Ended during WM_INITDIALOG: no loop to run.
        result = state->result;
    } else {
        result = RunModalLoop(hDlg, [hDlg](MSG& msg) { return IsDialogMessage(hDlg, &msg) != 0; });
        if (state != nullptr && state->fEnded) result = state->result;
    }
    if (IsWindow(hDlg)) DestroyWindow(hDlg);
    return result;
}

INT_PTR ModalByName(HINSTANCE hInstance, ResName name, HWND hwndOwner, DLGPROC dlgProc,
                    LPARAM initParam, bool fWide) {
    DialogTemplate dialogTemplate;
    if (!LoadTemplate(hInstance, name, &dialogTemplate)) return -1;
    return RunModal(hInstance, dialogTemplate, hwndOwner, dlgProc, initParam, fWide);
}

} // namespace

void SetWideDialogCallsAvailable(bool fAvailable) {
    g_fWideCalls = fAvailable;
}

HWND CreateDialogParam(HINSTANCE hInstance, const char16_t* name, HWND hwndOwner, DLGPROC dlgProc,
                       LPARAM initParam) {
    if (!g_fWideCalls) {
        SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
        return nullptr;
    }
    return CreateByName(hInstance, ResName(name), hwndOwner, dlgProc, initParam, true);
}

HWND CreateDialogParam(HINSTANCE hInstance, const char* name, HWND hwndOwner, DLGPROC dlgProc,
                       LPARAM initParam) {
    return CreateByName(hInstance, ResName(name), hwndOwner, dlgProc, initParam, false);
}

HWND CreateDialogIndirectParam(HINSTANCE hInstance, const DialogTemplate& dialogTemplate,
                               HWND hwndOwner, DLGPROC dlgProc, LPARAM initParam) {
    return CreateFromTemplate(hInstance, dialogTemplate, hwndOwner, dlgProc, initParam, true,
                              false);
}

INT_PTR DialogBoxParam(HINSTANCE hInstance, const char16_t* name, HWND hwndOwner, DLGPROC dlgProc,
                       LPARAM initParam) {
    if (!g_fWideCalls) {
        SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
        return -1;
    }
    return ModalByName(hInstance, ResName(name), hwndOwner, dlgProc, initParam, true);
}

INT_PTR DialogBoxParam(HINSTANCE hInstance, const char* name, HWND hwndOwner, DLGPROC dlgProc,
                       LPARAM initParam) {
    return ModalByName(hInstance, ResName(name), hwndOwner, dlgProc, initParam, false);
}

INT_PTR DialogBoxIndirectParam(HINSTANCE hInstance, const DialogTemplate& dialogTemplate,
                               HWND hwndOwner, DLGPROC dlgProc, LPARAM initParam) {
    return RunModal(hInstance, dialogTemplate, hwndOwner, dlgProc, initParam, true);
}

// ---------------------------------------------------------------------------------------
// Dialog units

BOOL MapDialogRect(HWND hDlg, RECT* prc) {
    std::shared_ptr<DialogState> state = IsWindow(hDlg) ? Find(hDlg) : nullptr;
    if (state == nullptr || prc == nullptr) {
        SetLastError(state == nullptr ? ERROR_INVALID_WINDOW_HANDLE : ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    prc->left = MulDiv(prc->left, state->baseX, 4);
    prc->right = MulDiv(prc->right, state->baseX, 4);
    prc->top = MulDiv(prc->top, state->baseY, 8);
    prc->bottom = MulDiv(prc->bottom, state->baseY, 8);
    return TRUE;
}

LONG GetDialogBaseUnits() {
    return static_cast<LONG>(MAKELONG(6, 13));
}

// ---------------------------------------------------------------------------------------
// Controls by identifier

BOOL SetDlgItemText(HWND hDlg, int id, std::string_view text) {
    HWND hwndCtl = GetDlgItem(hDlg, id);
    return hwndCtl != nullptr ? SetWindowText(hwndCtl, text) : FALSE;
}

BOOL SetDlgItemText(HWND hDlg, int id, std::u16string_view text) {
    HWND hwndCtl = GetDlgItem(hDlg, id);
    return hwndCtl != nullptr ? SetWindowText(hwndCtl, text) : FALSE;
}

UINT GetDlgItemText(HWND hDlg, int id, char* buffer, int cchMax) {
    HWND hwndCtl = GetDlgItem(hDlg, id);
    if (hwndCtl == nullptr) {
        if (buffer != nullptr && cchMax > 0) buffer[0] = 0;
        return 0;
    }
    return static_cast<UINT>(GetWindowText(hwndCtl, buffer, cchMax));
}

UINT GetDlgItemText(HWND hDlg, int id, char16_t* buffer, int cchMax) {
    HWND hwndCtl = GetDlgItem(hDlg, id);
    if (hwndCtl == nullptr) {
        if (buffer != nullptr && cchMax > 0) buffer[0] = 0;
        return 0;
    }
    return static_cast<UINT>(GetWindowText(hwndCtl, buffer, cchMax));
}

BOOL SetDlgItemInt(HWND hDlg, int id, UINT value, BOOL fSigned) {
    std::string text = fSigned ? std::to_string(static_cast<int>(value)) : std::to_string(value);
    return SetDlgItemText(hDlg, id, std::string_view(text));
}

UINT GetDlgItemInt(HWND hDlg, int id, BOOL* pfOk, BOOL fSigned) {
    if (pfOk != nullptr) *pfOk = FALSE;
    char buffer[64];
    int cch = static_cast<int>(GetDlgItemText(hDlg, id, buffer, sizeof buffer));
    const char* p = buffer;
    const char* end = buffer + cch;
    while (p < end && (*p == ' ' || *p == '\t'))
        ++p;
    while (end > p && (end[-1] == ' ' || end[-1] == '\t'))
        --end;
    if (p == end) return 0;
    if (fSigned) {
        int value = 0;
        auto [last, ec] = std::from_chars(p, end, value);
        if (ec != std::errc() || last != end) return 0;
        if (pfOk != nullptr) *pfOk = TRUE;
        return static_cast<UINT>(value);
    }
    if (*p == '+') ++p;
    unsigned value = 0;
    auto [last, ec] = std::from_chars(p, end, value);
    if (ec != std::errc() || last != end || p == end) return 0;
    if (pfOk != nullptr) *pfOk = TRUE;
    return value;
}

LRESULT SendDlgItemMessage(HWND hDlg, int id, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    HWND hwndCtl = GetDlgItem(hDlg, id);
    return hwndCtl != nullptr ? SendMessage(hwndCtl, uMsg, wParam, lParam) : 0;
}

BOOL CheckDlgButton(HWND hDlg, int id, UINT check) {
    HWND hwndCtl = GetDlgItem(hDlg, id);
    if (hwndCtl == nullptr) return FALSE;
    SendMessage(hwndCtl, BM_SETCHECK, check, 0);
    return TRUE;
}

UINT IsDlgButtonChecked(HWND hDlg, int id) {
    HWND hwndCtl = GetDlgItem(hDlg, id);
    return hwndCtl != nullptr ? static_cast<UINT>(SendMessage(hwndCtl, BM_GETCHECK, 0, 0)) : 0;
}

BOOL CheckRadioButton(HWND hDlg, int idFirst, int idLast, int idCheck) {
    if (!IsWindow(hDlg)) return FALSE;
    for (HWND hwndCtl = GetWindow(hDlg, GW_CHILD); hwndCtl != nullptr;
         hwndCtl = GetWindow(hwndCtl, GW_HWNDNEXT)) {
        int id = GetDlgCtrlID(hwndCtl);
        if (id < idFirst || id > idLast) continue;
        DWORD type = static_cast<DWORD>(GetWindowLongPtr(hwndCtl, GWL_STYLE)) & BS_TYPEMASK;
        bool fRadio = type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON;
        if (id == idCheck)
            SendMessage(hwndCtl, BM_SETCHECK, BST_CHECKED, 0);
        else if (fRadio)
            SendMessage(hwndCtl, BM_SETCHECK, BST_UNCHECKED, 0);
    }
    return TRUE;
}

} // namespace host
