// The GUI library: initialisation, class registration, the etched divider, full screen.
#include "foundation/gl_subclass.h"

#include "foundation/gl_staticex.h"
#include "host/dialog.h"
#include "host/gdi.h"
#include "host/screen.h"

namespace cetl {

using namespace host;

namespace {

HINSTANCE g_hInstance = nullptr;

using WNDCLASS_T = WNDCLASST<TCHAR>;

// A class that exists afterwards, registered now or before, is a success.
bool Registered(ATOM atom, const TCHAR* pszClass) {
    WNDCLASS_T wc{};
    return atom != 0 || GetClassInfo(g_hInstance, pszClass, &wc);
}

// A sunken edge two pixels high along the top, the button face below.
LRESULT EtchedLineProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    switch (uMsg) {
    case WM_ERASEBKGND:
        return 1; // WM_PAINT covers everything
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC hdc = BeginPaint(hwnd, &ps);
        RECT rc;
        GetClientRect(hwnd, &rc);
        FillRect(hdc, &rc, GetSysColorBrush(COLOR_BTNFACE));
        RECT rcEdge{rc.left, rc.top, rc.right, rc.top + 2};
        DrawEdge(hdc, &rcEdge, BDR_SUNKENOUTER, BF_TOP | BF_BOTTOM);
        EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_SIZE:
        InvalidateRect(hwnd, nullptr, FALSE);
        break;
    default:
        break;
    }
    return DefWindowProc(hwnd, uMsg, wParam, lParam);
}

bool RegisterEtchedLine() {
    WNDCLASS_T wc{};
    wc.style = CS_GLOBALCLASS | CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = EtchedLineProc;
    wc.hInstance = g_hInstance;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.lpszClassName = kEtchedLineClassName;
    return Registered(RegisterClass(&wc), kEtchedLineClassName);
}

} // namespace

HINSTANCE GuiLibInstance() {
    return g_hInstance;
}

bool GuiLibInit(HINSTANCE hInstance) {
    g_hInstance = hInstance;
    bool fOk =
        Registered(GuiLibRegisterClass(kGuiLibDefDlgClassName, nullptr), kGuiLibDefDlgClassName);
    fOk = RegisterColorButton(hInstance) && fOk;
    fOk = RegisterStaticEx(hInstance) && fOk;
    fOk = RegisterEtchedLine() && fOk;
    return fOk;
}

ATOM GuiLibRegisterClass(const TCHAR* pszClass, HICON hIcon, UINT nStyle) {
    WNDCLASS_T wc{};
    wc.style = nStyle != 0 ? nStyle : kGuiLibClassStyle;
    wc.lpfnWndProc = DefDlgProc;
    wc.cbClsExtra = 0;
    wc.cbWndExtra = kGuiLibWndExtra;
    wc.hInstance = g_hInstance;
    wc.hIcon = hIcon;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = nullptr;
    wc.lpszMenuName = nullptr;
    wc.lpszClassName = pszClass;
    return RegisterClass(&wc);
}

void GuiLibFullScreen(HWND hwnd, bool fHideTaskbar) {
    SHINITDLGINFO shidi{SHIDIM_FLAGS, hwnd, SHIDIF_FULLSCREENNOMENUBAR};
    SHInitDialog(&shidi);
    SHFullScreen(hwnd, fHideTaskbar ? SHFS_HIDETASKBAR | SHFS_HIDESIPBUTTON | SHFS_HIDESTARTICON
                                    : SHFS_SHOWTASKBAR | SHFS_HIDESIPBUTTON | SHFS_SHOWSTARTICON);
    GuiLibBringToFront(hwnd);
}

void GuiLibBringToFront(HWND hwnd) {
    SetWindowPos(hwnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    SetWindowPos(hwnd, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    SetForegroundWindow(hwnd);
}

} // namespace cetl
