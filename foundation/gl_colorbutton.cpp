// ColorButton: a push button showing a colour swatch that opens a small colour dialog.
#include "foundation/gl_subclass.h"

#include "foundation/tl_registry.h"
#include "host/controls.h"
#include "host/dialog.h"
#include "host/gdi.h"
#include "host/registry.h"

#include <cstring>

namespace cetl {

using namespace host;

namespace {

// ColorButton window words.
constexpr int kWordColor = 0;
constexpr int kWordState = 4; // kHeld, kTracking
constexpr LONG_PTR kHeld = 1;
constexpr LONG_PTR kTracking = 2;

// The dialog's colour cells: a swatch that reports a press to its parent.
constexpr TCHAR kCellClassName[] = TEXT("GuiLibColorCell");
[[maybe_unused]] constexpr int kCellWordColor = 0;
constexpr int kCellWordSelected = 4;
constexpr UINT kCellSelect = WM_USER + 0x22;

constexpr TCHAR kCommonKey[] = TEXT("HKCU\\Software\\Vantor\\Common");
constexpr TCHAR kCustomColorsValue[] = TEXT("Custom Colors");
constexpr COLORREF kWhite = RGB(255, 255, 255);

constexpr int kIdBasic = 100;
constexpr int kIdCustom = 200;
constexpr int kIdPreview = 300;
constexpr int kIdAdd = 301;

constexpr int kBasicColors = 16;
constexpr COLORREF kBasic[kBasicColors] = {
    RGB(0, 0, 0),       RGB(128, 0, 0),   RGB(0, 128, 0),   RGB(128, 128, 0),
    RGB(0, 0, 128),     RGB(128, 0, 128), RGB(0, 128, 128), RGB(128, 128, 128),
    RGB(192, 192, 192), RGB(255, 0, 0),   RGB(0, 255, 0),   RGB(255, 255, 0),
    RGB(0, 0, 255),     RGB(255, 0, 255), RGB(0, 255, 255), RGB(255, 255, 255),
};

using WNDCLASS_T = WNDCLASST<TCHAR>;

struct COLORDLGSTATE {
    COLORREF crCurrent;
    COLORREF rgcrCustom[kCustomColors];
    int idSelected;    // the selected cell, 0 for none
    int iCustomTarget; // the custom slot last clicked, where "Add" goes; -1 for none
    int iCustomNext;   // where "Add" goes otherwise, in turn
};

COLORREF ColorOf(HWND hwnd) {
    return static_cast<COLORREF>(GetWindowLong(hwnd, kWordColor)) & 0x00FFFFFF;
}

COLORREF SetColor(HWND hwnd, COLORREF cr) {
    COLORREF crOld = ColorOf(hwnd);
    SetWindowLong(hwnd, kWordColor, static_cast<LONG_PTR>(cr & 0x00FFFFFF));
    InvalidateRect(hwnd, nullptr, FALSE);
    return crOld;
}

void FillColor(HDC hdc, const RECT& rc, COLORREF cr) {
    HBRUSH hbr = CreateSolidBrush(cr);
    FillRect(hdc, &rc, hbr);
    DeleteObject(hbr);
}

LRESULT CellProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    switch (uMsg) {
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC hdc = BeginPaint(hwnd, &ps);
        RECT rc;
        GetClientRect(hwnd, &rc);
        FillColor(hdc, rc, ColorOf(hwnd));
        HBRUSH hbrFrame = GetSysColorBrush(COLOR_WINDOWTEXT);
        FrameRect(hdc, &rc, hbrFrame);
        if (GetWindowLong(hwnd, kCellWordSelected) != 0) {
            InflateRect(&rc, -1, -1);
            FrameRect(hdc, &rc, GetSysColorBrush(COLOR_WINDOW));
            InflateRect(&rc, -1, -1);
            FrameRect(hdc, &rc, hbrFrame);
        }
        EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_LBUTTONDOWN:
        SendMessage(GetParent(hwnd), WM_COMMAND,
                    MAKEWPARAM(static_cast<WORD>(GetDlgCtrlID(hwnd)), BN_CLICKED),
                    reinterpret_cast<LPARAM>(hwnd));
        return 0;
    case CBM_SETCOLOR:
        return SetColor(hwnd, static_cast<COLORREF>(wParam));
    case CBM_GETCOLOR:
        return ColorOf(hwnd);
    case kCellSelect:
        SetWindowLong(hwnd, kCellWordSelected, wParam != 0 ? 1 : 0);
        InvalidateRect(hwnd, nullptr, FALSE);
        return 0;
    default:
        return DefWindowProc(hwnd, uMsg, wParam, lParam);
    }
}

DialogItem Item(const char16_t* pszClass, const char16_t* pszText, DWORD dwStyle, int id, SHORT x,
                SHORT y, SHORT cx, SHORT cy) {
    DialogItem item;
    item.dwStyle = WS_CHILD | WS_VISIBLE | dwStyle;
    item.x = x;
    item.y = y;
    item.cx = cx;
    item.cy = cy;
    item.id = static_cast<DWORD>(id);
    item.windowClass.text = pszClass;
    item.className = pszClass;
    item.text.text = pszText;
    return item;
}

const DialogTemplate& ColorDialogTemplate() {
    static const DialogTemplate dt = [] {
        const char16_t* cell = u"GuiLibColorCell"; // kCellClassName
        DialogTemplate t;
        t.dwStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
        t.cx = 160;
        t.cy = 116;
        t.caption = u"Color";
        t.items.push_back(Item(u"Static", u"Basic colors:", SS_LEFT, 0xFFFF, 6, 4, 148, 8));
        for (int i = 0; i < kBasicColors; ++i)
            t.items.push_back(Item(cell, u"", 0, kIdBasic + i, static_cast<SHORT>(6 + (i % 8) * 19),
                                   static_cast<SHORT>(14 + (i / 8) * 12), 16, 10));
        t.items.push_back(Item(u"Static", u"Custom colors:", SS_LEFT, 0xFFFF, 6, 40, 148, 8));
        for (int i = 0; i < kCustomColors; ++i)
            t.items.push_back(Item(cell, u"", 0, kIdCustom + i,
                                   static_cast<SHORT>(6 + (i % 8) * 19),
                                   static_cast<SHORT>(50 + (i / 8) * 12), 16, 10));
        t.items.push_back(Item(cell, u"", 0, kIdPreview, 6, 78, 40, 14));
        t.items.push_back(
            Item(u"Button", u"Add to Custom Colors", WS_TABSTOP, kIdAdd, 52, 78, 102, 14));
        t.items.push_back(
            Item(u"Button", u"OK", BS_DEFPUSHBUTTON | WS_TABSTOP, IDOK, 6, 98, 70, 14));
        t.items.push_back(Item(u"Button", u"Cancel", WS_TABSTOP, IDCANCEL, 84, 98, 70, 14));
        return t;
    }();
    return dt;
}

void Select(HWND hDlg, COLORDLGSTATE* pState, int id) {
    if (pState->idSelected != 0) SendDlgItemMessage(hDlg, pState->idSelected, kCellSelect, 0, 0);
    pState->idSelected = id;
    SendDlgItemMessage(hDlg, id, kCellSelect, 1, 0);
}

INT_PTR ColorDlgProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (uMsg == WM_INITDIALOG) {
        SetWindowLongPtr(hDlg, DWLP_USER, lParam);
        auto* pState = reinterpret_cast<COLORDLGSTATE*>(lParam);
        for (int i = 0; i < kBasicColors; ++i)
            SendDlgItemMessage(hDlg, kIdBasic + i, CBM_SETCOLOR, kBasic[i], 0);
        for (int i = 0; i < kCustomColors; ++i)
            SendDlgItemMessage(hDlg, kIdCustom + i, CBM_SETCOLOR, pState->rgcrCustom[i], 0);
        SendDlgItemMessage(hDlg, kIdPreview, CBM_SETCOLOR, pState->crCurrent, 0);
        return TRUE;
    }
    auto* pState = reinterpret_cast<COLORDLGSTATE*>(GetWindowLongPtr(hDlg, DWLP_USER));
    if (uMsg != WM_COMMAND || pState == nullptr) return FALSE;
    const int id = LOWORD(wParam);
    if ((id >= kIdBasic && id < kIdBasic + kBasicColors) ||
        (id >= kIdCustom && id < kIdCustom + kCustomColors)) {
        pState->crCurrent = static_cast<COLORREF>(SendDlgItemMessage(hDlg, id, CBM_GETCOLOR, 0, 0));
        SendDlgItemMessage(hDlg, kIdPreview, CBM_SETCOLOR, pState->crCurrent, 0);
        Select(hDlg, pState, id);
        if (id >= kIdCustom) pState->iCustomTarget = id - kIdCustom;
    } else if (id == kIdAdd) {
        int iSlot = pState->iCustomTarget;
        if (iSlot < 0) {
            iSlot = pState->iCustomNext;
            pState->iCustomNext = (iSlot + 1) % kCustomColors;
        }
        pState->rgcrCustom[iSlot] = pState->crCurrent;
        SendDlgItemMessage(hDlg, kIdCustom + iSlot, CBM_SETCOLOR, pState->crCurrent, 0);
    } else if (id == IDOK) {
        WriteCustomColors(pState->rgcrCustom);
        EndDialog(hDlg, IDOK);
    } else if (id == IDCANCEL) {
        EndDialog(hDlg, IDCANCEL);
    } else {
        return FALSE;
    }
    return TRUE;
}

void ChooseColor(HWND hwnd) {
    COLORDLGSTATE state{};
    state.crCurrent = ColorOf(hwnd);
    state.iCustomTarget = -1;
    ReadCustomColors(state.rgcrCustom);
    if (DialogBoxIndirectParam(GuiLibInstance(), ColorDialogTemplate(), hwnd, ColorDlgProc,
                               reinterpret_cast<LPARAM>(&state)) != IDOK)
        return;
    SetColor(hwnd, state.crCurrent);
    SendMessage(GetParent(hwnd), WM_COMMAND,
                MAKEWPARAM(static_cast<WORD>(GetDlgCtrlID(hwnd)), BN_CLICKED),
                reinterpret_cast<LPARAM>(hwnd));
}

void Paint(HWND hwnd) {
    PAINTSTRUCT ps;
    HDC hdc = BeginPaint(hwnd, &ps);
    RECT rc;
    GetClientRect(hwnd, &rc);
    const bool fHeld = (GetWindowLong(hwnd, kWordState) & kHeld) != 0;
    FillRect(hdc, &rc, GetSysColorBrush(COLOR_BTNFACE));
    DrawEdge(hdc, &rc, fHeld ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT);
    RECT rcSwatch = rc;
    InflateRect(&rcSwatch, -4, -4);
    if (fHeld) OffsetRect(&rcSwatch, 1, 1);
    if (!IsRectEmpty(&rcSwatch)) {
        if (IsWindowEnabled(hwnd)) {
            FillColor(hdc, rcSwatch, ColorOf(hwnd));
            FrameRect(hdc, &rcSwatch, GetSysColorBrush(COLOR_WINDOWTEXT));
        } else {
            FrameRect(hdc, &rcSwatch, GetSysColorBrush(COLOR_BTNSHADOW));
        }
    }
    EndPaint(hwnd, &ps);
}

void SetState(HWND hwnd, LONG_PTR state) {
    if (GetWindowLong(hwnd, kWordState) == state) return;
    SetWindowLong(hwnd, kWordState, state);
    InvalidateRect(hwnd, nullptr, FALSE);
}

LRESULT ColorButtonProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    switch (uMsg) {
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT:
        Paint(hwnd);
        return 0;
    case WM_GETDLGCODE:
        return DLGC_BUTTON;
    case WM_LBUTTONDOWN:
        SetCapture(hwnd);
        SetState(hwnd, kHeld | kTracking);
        return 0;
    case WM_MOUSEMOVE:
        if ((GetWindowLong(hwnd, kWordState) & kTracking) != 0) {
            RECT rc;
            GetClientRect(hwnd, &rc);
            const bool fOn = PtInRect(&rc, {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}) != FALSE;
            SetState(hwnd, kTracking | (fOn ? kHeld : 0));
        }
        return 0;
    case WM_LBUTTONUP: {
        const bool fClicked = GetWindowLong(hwnd, kWordState) == (kHeld | kTracking);
        SetState(hwnd, 0);
        if (GetCapture() == hwnd) ReleaseCapture();
        if (fClicked) ChooseColor(hwnd);
        return 0;
    }
    case WM_CAPTURECHANGED:
    case WM_CANCELMODE:
        SetState(hwnd, 0);
        return 0;
    case WM_KEYUP:
        if (wParam == VK_SPACE) ChooseColor(hwnd);
        return 0;
    case WM_ENABLE:
        InvalidateRect(hwnd, nullptr, FALSE);
        return 0;
    case CBM_SETCOLOR:
        return SetColor(hwnd, static_cast<COLORREF>(wParam));
    case CBM_GETCOLOR:
        return ColorOf(hwnd);
    default:
        return DefWindowProc(hwnd, uMsg, wParam, lParam);
    }
}

bool Register(WNDPROC proc, int cbWndExtra, const TCHAR* pszClass, HINSTANCE hInstance) {
    WNDCLASS_T wc{};
    wc.style = CS_GLOBALCLASS;
    wc.lpfnWndProc = proc;
    wc.cbWndExtra = cbWndExtra;
    wc.hInstance = hInstance;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.lpszClassName = pszClass;
    return RegisterClass(&wc) != 0 || GetClassInfo(hInstance, pszClass, &wc);
}

} // namespace

bool RegisterColorButton(HINSTANCE hInstance) {
    return Register(CellProc, 8, kCellClassName, hInstance) &&
           Register(ColorButtonProc, kColorButtonWndExtra, kColorButtonClassName, hInstance);
}

bool ReadCustomColors(COLORREF rgcr[kCustomColors]) {
    for (int i = 0; i < kCustomColors; ++i)
        rgcr[i] = kWhite;
    COLORREF rgcrStored[kCustomColors];
    DWORD dwType = 0;
    DWORD cb = sizeof rgcrStored;
    if (!regvalue(kCommonKey, kCustomColorsValue).Read(&dwType, rgcrStored, &cb) ||
        dwType != REG_BINARY || cb != sizeof rgcrStored)
        return false;
    for (int i = 0; i < kCustomColors; ++i)
        rgcr[i] = rgcrStored[i] & 0x00FFFFFF;
    return true;
}

bool WriteCustomColors(const COLORREF rgcr[kCustomColors]) {
    return regvalue(kCommonKey, kCustomColorsValue)
        .WriteBytes(rgcr, static_cast<DWORD>(sizeof(COLORREF) * kCustomColors));
}

} // namespace cetl
