// Dialogs from templates: dialog units, the dialog font, placement on the screen profiles and
// the controls in template order.
#include "host/dialog.h"

#include "host/dialog_internal.h"
#include "host/error.h"
#include "host/screen.h"

#include <algorithm>
#include <cstdint>
#include <string_view>

namespace host::dlg {
namespace {

constexpr int kBaseX = 6; // base units of an 8-point font
constexpr int kBaseY = 13;
constexpr int kBasePoints = 8;

HFONT MakeFont(const DialogTemplate& t) {
    LOGFONTW lf{};
    int dpi = 96;
    if (HDC hdc = CreateCompatibleDC(nullptr)) {
        dpi = GetDeviceCaps(hdc, LOGPIXELSY);
        DeleteDC(hdc);
    }
    lf.lfHeight = -MulDiv(t.wPointSize, dpi, 72);
    lf.lfWeight = t.wWeight != 0 ? t.wWeight : FW_NORMAL;
    lf.lfItalic = t.bItalic != 0 ? 1 : 0;
    lf.lfCharSet = t.bCharSet;
    std::size_t cch = std::min<std::size_t>(t.faceName.size(), LF_FACESIZE - 1);
    std::copy_n(t.faceName.begin(), cch, lf.lfFaceName);
    lf.lfFaceName[cch] = 0;
    return CreateFontIndirect(&lf);
}

// The point size that sets the dialog units: a missing or absurd size counts as 8 points.
int UnitPoints(const DialogTemplate& t) {
    if (!t.fHasFont || t.wPointSize == 0 || t.wPointSize > 144) return kBasePoints;
    return t.wPointSize;
}

RECT WorkArea() {
    RECT rc{};
    if (!SystemParametersInfo(SPI_GETWORKAREA, 0, &rc, 0) || rc.right <= rc.left)
        rc = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    return rc;
}

// The window rectangle of a top-level dialog whose client area is cx by cy pixels.
RECT Place(const DialogTemplate& t, DWORD style, int cx, int cy, int baseX, int baseY,
           HWND hwndOwner) {
    RECT work = WorkArea();
    if (GetScreenOptions().profile == ScreenProfile::kDevice) {
        if ((style & WS_CAPTION) == WS_CAPTION) return work;
        RECT rc{work.left, work.top, work.left + cx, work.top + cy};
        // Rounding must not leave a sliver of what lies beneath along the edge.
        if (rc.right < work.right && (work.right - rc.right) * 4 < baseX) rc.right = work.right;
        if (rc.bottom < work.bottom && (work.bottom - rc.bottom) * 8 < baseY)
            rc.bottom = work.bottom;
        return rc;
    }
    RECT rc{0, 0, cx, cy};
    AdjustWindowRectEx(&rc, style, FALSE, t.dwExStyle);
    int cxWindow = rc.right - rc.left;
    int cyWindow = rc.bottom - rc.top;
    if ((t.dwStyle & DS_ABSALIGN) != 0) {
        int x = MulDiv(t.x, baseX, 4);
        int y = MulDiv(t.y, baseY, 8);
        return {x, y, x + cxWindow, y + cyWindow};
    }
    RECT around = work;
    if (hwndOwner != nullptr) GetWindowRect(GetAncestor(hwndOwner, GA_ROOT), &around);
    int x = around.left + (around.right - around.left - cxWindow) / 2;
    int y = around.top + (around.bottom - around.top - cyWindow) / 2;
    // Keep the caption reachable.
    x = std::max<int>(work.left, std::min<int>(x, work.right - cxWindow));
    y = std::max<int>(work.top, std::min<int>(y, work.bottom - cyWindow));
    return {x, y, x + cxWindow, y + cyWindow};
}

bool IsDefPushButton(const DialogItem& item) {
    std::u16string_view button = WC_BUTTON;
    auto lower = [](char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c; };
    return std::equal(item.className.begin(), item.className.end(), button.begin(), button.end(),
                      [&](char16_t a, char16_t b) { return lower(a) == lower(b); }) &&
           (item.dwStyle & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
}

HWND Fail(HWND hDlg, DWORD error) {
    if (hDlg != nullptr && IsWindow(hDlg)) DestroyWindow(hDlg);
    SetLastError(error);
    return nullptr;
}

} // namespace

HWND CreateFromTemplate(HINSTANCE hInstance, const DialogTemplate& t, HWND hwndOwner,
                        DLGPROC dlgProc, LPARAM initParam, bool fWide, bool fModal) {
    if (!EnsureClasses()) return Fail(nullptr, ERROR_CLASS_DOES_NOT_EXIST);
    if (t.windowClass.IsId()) return Fail(nullptr, ERROR_CLASS_DOES_NOT_EXIST);
    const char16_t* className =
        t.windowClass.IsEmpty() ? DefaultClassName(fWide) : t.windowClass.text.c_str();

    auto state = std::make_shared<DialogState>();
    state->proc = dlgProc;
    state->fModal = fModal;
    int points = UnitPoints(t);
    state->baseX = MulDiv(kBaseX, points, kBasePoints);
    state->baseY = MulDiv(kBaseY, points, kBasePoints);

    // DS_CONTROL makes a page inside another dialog: a child without a frame of its own.
    bool fControl = (t.dwStyle & DS_CONTROL) != 0;
    bool fChild = fControl || (t.dwStyle & WS_CHILD) != 0;
    if (fChild && hwndOwner == nullptr) return Fail(nullptr, ERROR_TLW_WITH_WSCHILD);
    DWORD style = t.dwStyle & ~WS_VISIBLE;
    DWORD exStyle = t.dwExStyle;
    if (fControl) {
        style = (style & ~(WS_POPUP | WS_CAPTION | WS_SYSMENU)) | WS_CHILD;
        exStyle |= WS_EX_CONTROLPARENT;
    }
    bool fDevice = GetScreenOptions().profile == ScreenProfile::kDevice;
    // On the device a captioned dialog can always be closed from its caption bar.
    bool fFillsWorkArea = !fChild && fDevice && (style & WS_CAPTION) == WS_CAPTION;
    if (fFillsWorkArea) {
        style |= WS_SYSMENU;
        // It fills the work area under its caption bar: a template taller than that client
        // area gets a smaller vertical unit, so that no control ends under the taskbar.
        RECT work = WorkArea();
        int cyClient = work.bottom - work.top - CAPTION_HEIGHT;
        if (t.cy > 0 && MulDiv(t.cy, state->baseY, 8) > cyClient)
            state->baseY = std::max(1, cyClient * 8 / t.cy);
    }

    int cx = MulDiv(t.cx, state->baseX, 4);
    int cy = MulDiv(t.cy, state->baseY, 8);
    RECT rc = fChild ? RECT{MulDiv(t.x, state->baseX, 4), MulDiv(t.y, state->baseY, 8),
                            MulDiv(t.x, state->baseX, 4) + cx, MulDiv(t.y, state->baseY, 8) + cy}
                     : Place(t, style, cx, cy, state->baseX, state->baseY, hwndOwner);

    HWND hDlg = CreateWindowEx(exStyle, className, t.caption.c_str(), style, rc.left, rc.top,
                               rc.right - rc.left, rc.bottom - rc.top, hwndOwner, nullptr,
                               hInstance, nullptr);
    if (hDlg == nullptr) return nullptr;
    Attach(hDlg, state);

    if (t.fHasFont) {
        state->hFont = MakeFont(t);
        state->fOwnFont = state->hFont != nullptr;
    }
    if (state->hFont != nullptr)
        SendMessage(hDlg, WM_SETFONT, reinterpret_cast<WPARAM>(state->hFont), FALSE);
    if (!IsWindow(hDlg)) return Fail(nullptr, ERROR_INVALID_WINDOW_HANDLE);

    for (const DialogItem& item : t.items) {
        if (item.className.empty()) {
            if ((t.dwStyle & DS_NOFAILCREATE) != 0) continue;
            return Fail(hDlg, ERROR_CLASS_DOES_NOT_EXIST);
        }
        const char16_t* text = item.text.IsId() ? u"" : item.text.text.c_str();
        DWORD itemStyle = (item.dwStyle | WS_CHILD) & ~WS_POPUP;
        int x = MulDiv(item.x, state->baseX, 4);
        int y = MulDiv(item.y, state->baseY, 8);
        int cxItem = MulDiv(item.cx, state->baseX, 4);
        int cyItem = MulDiv(item.cy, state->baseY, 8);
        void* creationData =
            item.creationData.empty() ? nullptr : const_cast<BYTE*>(item.creationData.data());
        auto id = reinterpret_cast<HMENU>(static_cast<std::uintptr_t>(item.id));
        HWND hwndCtl = CreateWindowEx(item.dwExStyle, item.className.c_str(), text, itemStyle, x, y,
                                      cxItem, cyItem, hDlg, id, hInstance, creationData);
        if (hwndCtl == nullptr) {
            if ((t.dwStyle & DS_NOFAILCREATE) != 0) continue;
            DWORD error = GetLastError();
            return Fail(hDlg, error != 0 ? error : ERROR_CLASS_DOES_NOT_EXIST);
        }
        // Below the ones before it, so that the template's first control is on top.
        SetWindowPos(hwndCtl, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        if (state->hFont != nullptr)
            SendMessage(hwndCtl, WM_SETFONT, reinterpret_cast<WPARAM>(state->hFont), FALSE);
        if (state->defId == 0 && IsDefPushButton(item)) state->defId = static_cast<WORD>(item.id);
        if (!IsWindow(hDlg)) return Fail(nullptr, ERROR_INVALID_WINDOW_HANDLE);
    }

    HWND hwndFirst = GetNextDlgTabItem(hDlg, nullptr, FALSE);
    LRESULT fFocus =
        SendMessage(hDlg, WM_INITDIALOG, reinterpret_cast<WPARAM>(hwndFirst), initParam);
    if (!IsWindow(hDlg)) return Fail(nullptr, ERROR_INVALID_WINDOW_HANDLE);
    if (fFocus != 0 && hwndFirst != nullptr && IsWindow(hwndFirst)) {
        state->hwndFocus = hwndFirst;
        if (GetActiveWindow() == GetAncestor(hDlg, GA_ROOT) && IsWindowVisible(hDlg))
            SetDialogFocus(hDlg, hwndFirst);
    }
    // A modal dialog is shown by its loop, unless it already ended.
    if (!fModal && (t.dwStyle & WS_VISIBLE) != 0 && !state->fEnded)
        ShowWindow(hDlg, fChild ? SW_SHOWNA : SW_SHOW);
    return hDlg;
}

} // namespace host::dlg
