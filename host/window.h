// Windows and messages.
//
// Window classes, a tree of windows, one message queue per thread, timers, input routing,
// focus, activation, capture, invalidation and painting, with the classic message numbers,
// flag values and record layouts.
//
// Handles. A window handle is a number, never an address: a destroyed or made-up handle
// makes every call fail (FALSE, 0 or null, with ERROR_INVALID_WINDOW_HANDLE as the last
// error) and never crashes. Handles fit in 32 bits, so a 32-bit window word can hold one.
//
// Threads. A window belongs to the thread that created it; its procedure runs only on that
// thread. Any thread may post to any window or thread, read a window's state, and send to
// any window: a message sent to a window of another thread is queued for the owner and the
// sender waits, handling the messages sent to itself meanwhile. A thread's queue comes into
// being the first time it creates a window or calls a message function. When a thread ends,
// its windows are removed without messages and its queue goes with it.
//
// Text width. A class registered with an 8-bit name (WNDCLASSA) makes 8-bit windows, one
// registered with a 16-bit name (WNDCLASSW) 16-bit windows: messages that carry text
// (WM_SETTEXT, WM_GETTEXT, WM_GETTEXTLENGTH, the CREATESTRUCT of WM_NCCREATE and WM_CREATE)
// carry it in the window's width, UTF-8 or UTF-16. The text functions below come in both
// widths and convert as needed. Class names and window titles compare without regard to
// case (ASCII and the Latin letters of U+00C0 to U+017F).
//
// Geometry. A top-level window's rectangle is in screen coordinates, a child's in its
// parent's client coordinates. Windows have no borders: the only non-client part is the
// caption bar (CAPTION_HEIGHT rows at the top) of a top-level window whose style has
// WS_CAPTION. The screen draws the bar; its close box, present with WS_SYSMENU, is the
// square at the bar's right end and closes the window (WM_SYSCOMMAND SC_CLOSE, then
// WM_CLOSE).
//
// Queue order. GetMessage and PeekMessage first handle the messages sent from other
// threads, then return, in this order: posted and input messages (first in, first out),
// WM_QUIT, WM_PAINT (a visible window with an update region; parents before children),
// WM_TIMER (a due timer). Paint and timer messages are made on demand and never pile up:
// a window has at most one WM_PAINT and a timer at most one WM_TIMER waiting. Every
// message records the cursor's screen position and the tick count when it was posted or
// made (GetMessagePos, GetMessageTime).
//
// Timers and all message waits follow the clock in force (host/clock.h): on the virtual
// clock a timer comes due when the clock is advanced past its time.
//
// The screen. The window service draws nothing. The screen layer installs WindowManagerHooks
// to hand out paint device contexts, erase backgrounds, test window regions and learn about
// changes, and a message-wait pump to read its backend's input while threads wait. Input
// enters through PostMouseInput and PostKeyInput.
#pragma once

#include "host/error.h"
#include "host/thread.h"
#include "host/types.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace host {

using ATOM = WORD;
using LONG_PTR = std::intptr_t;
using UINT_PTR = std::uintptr_t;
using INT_PTR = std::intptr_t;
using HANDLE = void*;

using WNDPROC = LRESULT (*)(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
using TIMERPROC = void (*)(HWND hwnd, UINT uMsg, UINT_PTR idEvent, DWORD dwTime);
using WNDENUMPROC = BOOL (*)(HWND hwnd, LPARAM lParam);

// ---------------------------------------------------------------------------------------
// Last-error values reported by this service (besides ERROR_ACCESS_DENIED and
// ERROR_INVALID_PARAMETER of host/error.h)

constexpr DWORD ERROR_INVALID_WINDOW_HANDLE = 1400;
constexpr DWORD ERROR_CLASS_ALREADY_EXISTS = 1410;
constexpr DWORD ERROR_CLASS_DOES_NOT_EXIST = 1411;
constexpr DWORD ERROR_CLASS_HAS_WINDOWS = 1412;
constexpr DWORD ERROR_INVALID_INDEX = 1413;
constexpr DWORD ERROR_TLW_WITH_WSCHILD = 1406;
constexpr DWORD ERROR_INVALID_THREAD_ID = 1444;
constexpr DWORD ERROR_TIMEOUT = 1460;

// ---------------------------------------------------------------------------------------
// Messages

constexpr UINT WM_NULL = 0x0000;
constexpr UINT WM_CREATE = 0x0001;
constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_MOVE = 0x0003;
constexpr UINT WM_SIZE = 0x0005;
constexpr UINT WM_ACTIVATE = 0x0006;
constexpr UINT WM_SETFOCUS = 0x0007;
constexpr UINT WM_KILLFOCUS = 0x0008;
constexpr UINT WM_ENABLE = 0x000A;
constexpr UINT WM_SETREDRAW = 0x000B;
constexpr UINT WM_SETTEXT = 0x000C;
constexpr UINT WM_GETTEXT = 0x000D;
constexpr UINT WM_GETTEXTLENGTH = 0x000E;
constexpr UINT WM_PAINT = 0x000F;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_QUIT = 0x0012;
constexpr UINT WM_ERASEBKGND = 0x0014;
constexpr UINT WM_SYSCOLORCHANGE = 0x0015;
constexpr UINT WM_SHOWWINDOW = 0x0018;
constexpr UINT WM_SETTINGCHANGE = 0x001A;
constexpr UINT WM_ACTIVATEAPP = 0x001C;
constexpr UINT WM_CANCELMODE = 0x001F;
constexpr UINT WM_SETCURSOR = 0x0020;
constexpr UINT WM_MOUSEACTIVATE = 0x0021;
constexpr UINT WM_GETMINMAXINFO = 0x0024;
constexpr UINT WM_NEXTDLGCTL = 0x0028;
constexpr UINT WM_DRAWITEM = 0x002B;
constexpr UINT WM_MEASUREITEM = 0x002C;
constexpr UINT WM_SETFONT = 0x0030;
constexpr UINT WM_GETFONT = 0x0031;
constexpr UINT WM_WINDOWPOSCHANGING = 0x0046;
constexpr UINT WM_WINDOWPOSCHANGED = 0x0047;
constexpr UINT WM_NOTIFY = 0x004E;
constexpr UINT WM_STYLECHANGING = 0x007C;
constexpr UINT WM_STYLECHANGED = 0x007D;
constexpr UINT WM_GETICON = 0x007F;
constexpr UINT WM_SETICON = 0x0080;
constexpr UINT WM_NCCREATE = 0x0081;
constexpr UINT WM_NCDESTROY = 0x0082;
constexpr UINT WM_NCCALCSIZE = 0x0083;
constexpr UINT WM_NCHITTEST = 0x0084;
constexpr UINT WM_NCPAINT = 0x0085;
constexpr UINT WM_NCACTIVATE = 0x0086;
constexpr UINT WM_GETDLGCODE = 0x0087;
constexpr UINT WM_NCMOUSEMOVE = 0x00A0;
constexpr UINT WM_NCLBUTTONDOWN = 0x00A1;
constexpr UINT WM_NCLBUTTONUP = 0x00A2;
constexpr UINT WM_NCLBUTTONDBLCLK = 0x00A3;
constexpr UINT WM_NCRBUTTONDOWN = 0x00A4;
constexpr UINT WM_NCRBUTTONUP = 0x00A5;
constexpr UINT WM_KEYFIRST = 0x0100;
constexpr UINT WM_KEYDOWN = 0x0100;
constexpr UINT WM_KEYUP = 0x0101;
constexpr UINT WM_CHAR = 0x0102;
constexpr UINT WM_DEADCHAR = 0x0103;
constexpr UINT WM_SYSKEYDOWN = 0x0104;
constexpr UINT WM_SYSKEYUP = 0x0105;
constexpr UINT WM_SYSCHAR = 0x0106;
constexpr UINT WM_SYSDEADCHAR = 0x0107;
constexpr UINT WM_KEYLAST = 0x0108;
constexpr UINT WM_INITDIALOG = 0x0110;
constexpr UINT WM_COMMAND = 0x0111;
constexpr UINT WM_SYSCOMMAND = 0x0112;
constexpr UINT WM_TIMER = 0x0113;
constexpr UINT WM_HSCROLL = 0x0114;
constexpr UINT WM_VSCROLL = 0x0115;
constexpr UINT WM_ENTERIDLE = 0x0121;
constexpr UINT WM_CTLCOLORMSGBOX = 0x0132;
constexpr UINT WM_CTLCOLOREDIT = 0x0133;
constexpr UINT WM_CTLCOLORLISTBOX = 0x0134;
constexpr UINT WM_CTLCOLORBTN = 0x0135;
constexpr UINT WM_CTLCOLORDLG = 0x0136;
constexpr UINT WM_CTLCOLORSCROLLBAR = 0x0137;
constexpr UINT WM_CTLCOLORSTATIC = 0x0138;
constexpr UINT WM_MOUSEFIRST = 0x0200;
constexpr UINT WM_MOUSEMOVE = 0x0200;
constexpr UINT WM_LBUTTONDOWN = 0x0201;
constexpr UINT WM_LBUTTONUP = 0x0202;
constexpr UINT WM_LBUTTONDBLCLK = 0x0203;
constexpr UINT WM_RBUTTONDOWN = 0x0204;
constexpr UINT WM_RBUTTONUP = 0x0205;
constexpr UINT WM_RBUTTONDBLCLK = 0x0206;
constexpr UINT WM_MBUTTONDOWN = 0x0207;
constexpr UINT WM_MBUTTONUP = 0x0208;
constexpr UINT WM_MBUTTONDBLCLK = 0x0209;
constexpr UINT WM_MOUSEWHEEL = 0x020A;
constexpr UINT WM_MOUSELAST = 0x020A;
constexpr UINT WM_PARENTNOTIFY = 0x0210;
constexpr UINT WM_CAPTURECHANGED = 0x0215;
constexpr UINT WM_QUERYNEWPALETTE = 0x030F;
constexpr UINT WM_PALETTECHANGED = 0x0311;
constexpr UINT WM_USER = 0x0400;
constexpr UINT WM_APP = 0x8000;

// WM_ACTIVATE: low word of the word parameter; the long parameter is the other window.
constexpr WORD WA_INACTIVE = 0;
constexpr WORD WA_ACTIVE = 1;
constexpr WORD WA_CLICKACTIVE = 2;

// WM_SIZE word parameter; the long parameter is MAKELPARAM(client width, client height).
constexpr WPARAM SIZE_RESTORED = 0;
constexpr WPARAM SIZE_MINIMIZED = 1;
constexpr WPARAM SIZE_MAXIMIZED = 2;

// WM_SYSCOMMAND.
constexpr WPARAM SC_SIZE = 0xF000;
constexpr WPARAM SC_MOVE = 0xF010;
constexpr WPARAM SC_MINIMIZE = 0xF020;
constexpr WPARAM SC_MAXIMIZE = 0xF030;
constexpr WPARAM SC_CLOSE = 0xF060;
constexpr WPARAM SC_RESTORE = 0xF120;

// Hit-test codes (WM_NCHITTEST, the word parameter of WM_NC* mouse messages, the low word
// of WM_SETCURSOR's long parameter).
constexpr LRESULT HTERROR = -2;
constexpr LRESULT HTTRANSPARENT = -1;
constexpr LRESULT HTNOWHERE = 0;
constexpr LRESULT HTCLIENT = 1;
constexpr LRESULT HTCAPTION = 2;
constexpr LRESULT HTSYSMENU = 3;
constexpr LRESULT HTCLOSE = 20;

// Mouse messages: the word parameter holds the MK_ state, the long parameter the client
// position MAKELPARAM(x, y) (signed 16-bit halves: GET_X_LPARAM, GET_Y_LPARAM). WM_MOUSEWHEEL
// holds the distance (multiples of WHEEL_DELTA, positive away from the user) in the high
// word and the screen position in the long parameter.
constexpr WPARAM MK_LBUTTON = 0x0001;
constexpr WPARAM MK_RBUTTON = 0x0002;
constexpr WPARAM MK_SHIFT = 0x0004;
constexpr WPARAM MK_CONTROL = 0x0008;
constexpr WPARAM MK_MBUTTON = 0x0010;
constexpr int WHEEL_DELTA = 120;

// Virtual keys (the ones the programs and the backends use).
constexpr UINT VK_LBUTTON = 0x01;
constexpr UINT VK_RBUTTON = 0x02;
constexpr UINT VK_MBUTTON = 0x04;
constexpr UINT VK_BACK = 0x08;
constexpr UINT VK_TAB = 0x09;
constexpr UINT VK_RETURN = 0x0D;
constexpr UINT VK_SHIFT = 0x10;
constexpr UINT VK_CONTROL = 0x11;
constexpr UINT VK_MENU = 0x12;
constexpr UINT VK_ESCAPE = 0x1B;
constexpr UINT VK_SPACE = 0x20;
constexpr UINT VK_PRIOR = 0x21;
constexpr UINT VK_NEXT = 0x22;
constexpr UINT VK_END = 0x23;
constexpr UINT VK_HOME = 0x24;
constexpr UINT VK_LEFT = 0x25;
constexpr UINT VK_UP = 0x26;
constexpr UINT VK_RIGHT = 0x27;
constexpr UINT VK_DOWN = 0x28;
constexpr UINT VK_INSERT = 0x2D;
constexpr UINT VK_DELETE = 0x2E;
constexpr UINT VK_F1 = 0x70;
constexpr UINT VK_F10 = 0x79;
// Letters and digits are their upper-case ASCII codes ('A' to 'Z', '0' to '9').

// ---------------------------------------------------------------------------------------
// Styles

constexpr DWORD WS_OVERLAPPED = 0x00000000;
constexpr DWORD WS_POPUP = 0x80000000;
constexpr DWORD WS_CHILD = 0x40000000;
constexpr DWORD WS_MINIMIZE = 0x20000000;
constexpr DWORD WS_VISIBLE = 0x10000000;
constexpr DWORD WS_DISABLED = 0x08000000;
constexpr DWORD WS_CLIPSIBLINGS = 0x04000000;
constexpr DWORD WS_CLIPCHILDREN = 0x02000000;
constexpr DWORD WS_MAXIMIZE = 0x01000000;
constexpr DWORD WS_CAPTION = 0x00C00000; // WS_BORDER | WS_DLGFRAME
constexpr DWORD WS_BORDER = 0x00800000;
constexpr DWORD WS_DLGFRAME = 0x00400000;
constexpr DWORD WS_VSCROLL = 0x00200000;
constexpr DWORD WS_HSCROLL = 0x00100000;
constexpr DWORD WS_SYSMENU = 0x00080000;
constexpr DWORD WS_THICKFRAME = 0x00040000;
constexpr DWORD WS_GROUP = 0x00020000;
constexpr DWORD WS_TABSTOP = 0x00010000;
constexpr DWORD WS_MINIMIZEBOX = 0x00020000;
constexpr DWORD WS_MAXIMIZEBOX = 0x00010000;
constexpr DWORD WS_OVERLAPPEDWINDOW =
    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
constexpr DWORD WS_POPUPWINDOW = WS_POPUP | WS_BORDER | WS_SYSMENU;

constexpr DWORD WS_EX_DLGMODALFRAME = 0x00000001;
constexpr DWORD WS_EX_NOPARENTNOTIFY = 0x00000004;
constexpr DWORD WS_EX_TOPMOST = 0x00000008;
constexpr DWORD WS_EX_TRANSPARENT = 0x00000020;
constexpr DWORD WS_EX_TOOLWINDOW = 0x00000080;
constexpr DWORD WS_EX_WINDOWEDGE = 0x00000100;
constexpr DWORD WS_EX_CLIENTEDGE = 0x00000200;
constexpr DWORD WS_EX_CONTROLPARENT = 0x00010000;
constexpr DWORD WS_EX_APPWINDOW = 0x00040000;

// Class styles.
constexpr UINT CS_VREDRAW = 0x0001; // a height change repaints the whole client area
constexpr UINT CS_HREDRAW = 0x0002; // a width change repaints the whole client area
constexpr UINT CS_DBLCLKS = 0x0008; // the class receives double clicks
constexpr UINT CS_OWNDC = 0x0020;
constexpr UINT CS_CLASSDC = 0x0040;
constexpr UINT CS_PARENTDC = 0x0080;
constexpr UINT CS_NOCLOSE = 0x0200;
constexpr UINT CS_SAVEBITS = 0x0800;
constexpr UINT CS_GLOBALCLASS = 0x4000; // accepted; every class is process-wide anyway

constexpr int CW_USEDEFAULT = static_cast<int>(0x80000000); // position 0, size 0

// The caption bar of a captioned top-level window, in pixels.
constexpr int CAPTION_HEIGHT = 24;

// Double clicks: a second press of the same button on the same window within this many
// milliseconds of the first and at most DOUBLECLICK_DISTANCE pixels away on each axis.
constexpr DWORD DOUBLECLICK_TIME = 500;
constexpr int DOUBLECLICK_DISTANCE = 2;

// ---------------------------------------------------------------------------------------
// Records

template <class C> struct WNDCLASST {
    UINT style;
    WNDPROC lpfnWndProc;
    int cbClsExtra;
    int cbWndExtra;
    HINSTANCE hInstance;
    HICON hIcon;
    HCURSOR hCursor;
    HBRUSH hbrBackground;  // the screen's erase uses it; the window service only keeps it
    const C* lpszMenuName; // ignored
    const C* lpszClassName;
};
using WNDCLASSA = WNDCLASST<char>;
using WNDCLASSW = WNDCLASST<char16_t>;

// The long parameter of WM_NCCREATE and WM_CREATE; the texts are in the window's width.
template <class C> struct CREATESTRUCTT {
    void* lpCreateParams;
    HINSTANCE hInstance;
    HMENU hMenu;
    HWND hwndParent;
    int cy;
    int cx;
    int y;
    int x;
    LONG style;
    const C* lpszName;
    const C* lpszClass;
    DWORD dwExStyle;
};
using CREATESTRUCTA = CREATESTRUCTT<char>;
using CREATESTRUCTW = CREATESTRUCTT<char16_t>;

struct MSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
};

struct PAINTSTRUCT {
    HDC hdc;      // from the screen's hook; null when none is installed
    BOOL fErase;  // the background still needs erasing (WM_ERASEBKGND returned 0)
    RECT rcPaint; // the update region's bounding rectangle, client coordinates
    BOOL fRestore;
    BOOL fIncUpdate;
    BYTE rgbReserved[32];
};

// WM_STYLECHANGING / WM_STYLECHANGED long parameter; the word parameter is GWL_STYLE or
// GWL_EXSTYLE.
struct STYLESTRUCT {
    DWORD styleOld;
    DWORD styleNew;
};

// WM_GETMINMAXINFO long parameter: the sizes a window may be moved and sized within.
struct MINMAXINFO {
    POINT ptReserved;
    POINT ptMaxSize;
    POINT ptMaxPosition;
    POINT ptMinTrackSize;
    POINT ptMaxTrackSize;
};
static_assert(sizeof(MINMAXINFO) == 40);

// ---------------------------------------------------------------------------------------
// Window classes

// Registers a class; the atom, or 0 with ERROR_CLASS_ALREADY_EXISTS when the name is taken.
ATOM RegisterClass(const WNDCLASSA* pClass);
ATOM RegisterClass(const WNDCLASSW* pClass);
// Fills *pClass with the class's settings (lpszClassName is the name given). hInstance is
// ignored: classes are process-wide.
BOOL GetClassInfo(HINSTANCE hInstance, const char* name, WNDCLASSA* pClass);
BOOL GetClassInfo(HINSTANCE hInstance, const char16_t* name, WNDCLASSW* pClass);
// Fails with ERROR_CLASS_HAS_WINDOWS while windows of the class exist.
BOOL UnregisterClass(const char* name, HINSTANCE hInstance);
BOOL UnregisterClass(const char16_t* name, HINSTANCE hInstance);
// The class name in the caller's width; returns its length, 0 on failure.
int GetClassName(HWND hwnd, char* buffer, int cchMax);
int GetClassName(HWND hwnd, char16_t* buffer, int cchMax);

constexpr int GCL_CBWNDEXTRA = -18;
constexpr int GCL_CBCLSEXTRA = -20;
constexpr int GCLP_WNDPROC = -24;
constexpr int GCL_STYLE = -26;
constexpr int GCLP_HBRBACKGROUND = -10;
constexpr int GCLP_HCURSOR = -12;
constexpr int GCLP_HICON = -14;
// Class settings (negative indexes above) or pointer-sized class words (offsets into the
// class's extra bytes). Set returns the previous value; changes affect all its windows.
LONG_PTR GetClassLongPtr(HWND hwnd, int index);
LONG_PTR SetClassLongPtr(HWND hwnd, int index, LONG_PTR value);

// ---------------------------------------------------------------------------------------
// Creating and destroying windows

// Creates a window of a registered class. A child (WS_CHILD) needs a parent; a top-level
// window given a parent is owned by that parent's top-level window. The window receives
// WM_NCCREATE (0 fails the creation), WM_CREATE (-1 fails it, after which the window gets
// WM_DESTROY and WM_NCDESTROY), then WM_MOVE and WM_SIZE. With WS_VISIBLE it is then shown
// (a top-level window is also activated). For a child, hMenu is its control identifier.
HWND CreateWindowEx(DWORD dwExStyle, const char* className, const char* windowName, DWORD style,
                    int x, int y, int cx, int cy, HWND hwndParent, HMENU hMenu, HINSTANCE hInstance,
                    void* lpParam);
HWND CreateWindowEx(DWORD dwExStyle, const char16_t* className, const char16_t* windowName,
                    DWORD style, int x, int y, int cx, int cy, HWND hwndParent, HMENU hMenu,
                    HINSTANCE hInstance, void* lpParam);

// Destroys the window, the windows it owns and its children; only on the owning thread
// (else ERROR_ACCESS_DENIED). The window is hidden, loses activation, focus and capture,
// then gets WM_DESTROY (before its children) and WM_NCDESTROY (after them). Messages still
// queued for it are dropped; its timers stop; its handle stops working after WM_NCDESTROY.
BOOL DestroyWindow(HWND hwnd);

// True for a live window (also during its WM_DESTROY and WM_NCDESTROY).
BOOL IsWindow(HWND hwnd);
BOOL IsWindowUnicode(HWND hwnd);
// The owning thread's identifier; *pProcessId (optional) receives this process's id.
DWORD GetWindowThreadProcessId(HWND hwnd, DWORD* pProcessId);

// ---------------------------------------------------------------------------------------
// The tree

constexpr UINT GW_HWNDFIRST = 0;
constexpr UINT GW_HWNDLAST = 1;
constexpr UINT GW_HWNDNEXT = 2; // the next window below in Z order
constexpr UINT GW_HWNDPREV = 3;
constexpr UINT GW_OWNER = 4;
constexpr UINT GW_CHILD = 5; // the topmost child
constexpr UINT GW_ENABLEDPOPUP = 6;
constexpr UINT GA_PARENT = 1;
constexpr UINT GA_ROOT = 2;
constexpr UINT GA_ROOTOWNER = 3;

HWND GetWindow(HWND hwnd, UINT uCmd);
// The parent of a child, the owner of a top-level window.
HWND GetParent(HWND hwnd);
HWND GetAncestor(HWND hwnd, UINT gaFlags);
// The topmost child of hwnd, or the topmost top-level window for null.
HWND GetTopWindow(HWND hwnd);
BOOL IsChild(HWND hwndParent, HWND hwnd); // any descendant
// Calls proc for every top-level window, front to back, until it returns FALSE. Windows
// created during the walk are not visited; destroyed ones are skipped.
BOOL EnumWindows(WNDENUMPROC proc, LPARAM lParam);
// Every descendant, depth first, each level front to back.
BOOL EnumChildWindows(HWND hwndParent, WNDENUMPROC proc, LPARAM lParam);
BOOL EnumThreadWindows(DWORD threadId, WNDENUMPROC proc, LPARAM lParam);
// The frontmost top-level window with the class and title (either may be null for any).
HWND FindWindow(const char* className, const char* windowName);
HWND FindWindow(const char16_t* className, const char16_t* windowName);
// Children by control identifier.
HWND GetDlgItem(HWND hwndParent, int id);
int GetDlgCtrlID(HWND hwnd);

// ---------------------------------------------------------------------------------------
// Window words and properties

constexpr int GWLP_WNDPROC = -4;
constexpr int GWLP_HINSTANCE = -6;
constexpr int GWLP_HWNDPARENT = -8; // the owner of a top-level window
constexpr int GWLP_ID = -12;
constexpr int GWL_STYLE = -16;
constexpr int GWL_EXSTYLE = -20;
constexpr int GWLP_USERDATA = -21;
constexpr int GWL_WNDPROC = GWLP_WNDPROC;
constexpr int GWL_HINSTANCE = GWLP_HINSTANCE;
constexpr int GWL_HWNDPARENT = GWLP_HWNDPARENT;
constexpr int GWL_ID = GWLP_ID;
constexpr int GWL_USERDATA = GWLP_USERDATA;

// A dialog's extra bytes hold three pointer-sized words, at these offsets.
constexpr int DWLP_MSGRESULT = 0;
constexpr int DWLP_DLGPROC = 8;
constexpr int DWLP_USER = 16;
constexpr int DWL_MSGRESULT = DWLP_MSGRESULT;
constexpr int DWL_DLGPROC = DWLP_DLGPROC;
constexpr int DWL_USER = DWLP_USER;
constexpr int DLGWINDOWEXTRA = 48;

// Negative indexes read the values above (full width); a non-negative index is a byte
// offset into the window's extra bytes, where GetWindowLong/SetWindowLong read and write 32
// bits and the Ptr forms pointer-sized words. An index outside the extra bytes fails with
// ERROR_INVALID_INDEX. Setting returns the previous value (0 on failure, with the last
// error set; a previous value of 0 leaves the last error at 0). SetWindowLong refuses
// (ERROR_INVALID_PARAMETER) to store into extra bytes a value that does not fit 32 bits:
// pointers need SetWindowLongPtr. Setting GWL_STYLE or GWL_EXSTYLE sends WM_STYLECHANGING
// and WM_STYLECHANGED and changes the flags without further effect (ShowWindow and
// EnableWindow are the way to show or enable). Setting GWLP_WNDPROC subclasses the window.
LONG_PTR GetWindowLongPtr(HWND hwnd, int index);
LONG_PTR SetWindowLongPtr(HWND hwnd, int index, LONG_PTR value);
LONG_PTR GetWindowLong(HWND hwnd, int index);
LONG_PTR SetWindowLong(HWND hwnd, int index, LONG_PTR value);

// Calls a window procedure (a subclass calls the one it replaced).
LRESULT CallWindowProc(WNDPROC proc, HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam);

// Named values kept with a window until removed or the window is destroyed.
BOOL SetProp(HWND hwnd, std::string_view name, HANDLE value);
BOOL SetProp(HWND hwnd, std::u16string_view name, HANDLE value);
HANDLE GetProp(HWND hwnd, std::string_view name);
HANDLE GetProp(HWND hwnd, std::u16string_view name);
HANDLE RemoveProp(HWND hwnd, std::string_view name);
HANDLE RemoveProp(HWND hwnd, std::u16string_view name);

// ---------------------------------------------------------------------------------------
// Text

// Sends WM_SETTEXT with the text converted to the window's width.
BOOL SetWindowText(HWND hwnd, std::string_view text);
BOOL SetWindowText(HWND hwnd, std::u16string_view text);
// Sends WM_GETTEXT and converts to the caller's width. Copies at most cchMax - 1 units
// (never half a character) and a terminator; returns the units copied.
int GetWindowText(HWND hwnd, char* buffer, int cchMax);
int GetWindowText(HWND hwnd, char16_t* buffer, int cchMax);
// WM_GETTEXTLENGTH: in the window's own units.
int GetWindowTextLength(HWND hwnd);
// The text DefWindowProc keeps, read without a message (for the screen's caption bars, from
// any thread without waiting for the owner).
int InternalGetWindowText(HWND hwnd, char16_t* buffer, int cchMax);

// ---------------------------------------------------------------------------------------
// Position, size and Z order

inline const HWND HWND_TOP = reinterpret_cast<HWND>(0);
inline const HWND HWND_BOTTOM = reinterpret_cast<HWND>(1);
inline const HWND HWND_TOPMOST = reinterpret_cast<HWND>(-1);
inline const HWND HWND_NOTOPMOST = reinterpret_cast<HWND>(-2);

constexpr UINT SWP_NOSIZE = 0x0001;
constexpr UINT SWP_NOMOVE = 0x0002;
constexpr UINT SWP_NOZORDER = 0x0004;
constexpr UINT SWP_NOREDRAW = 0x0008;
constexpr UINT SWP_NOACTIVATE = 0x0010;
constexpr UINT SWP_FRAMECHANGED = 0x0020;
constexpr UINT SWP_SHOWWINDOW = 0x0040;
constexpr UINT SWP_HIDEWINDOW = 0x0080;
constexpr UINT SWP_NOCOPYBITS = 0x0100;
constexpr UINT SWP_NOOWNERZORDER = 0x0200;
constexpr UINT SWP_NOSENDCHANGING = 0x0400;

// Moves, sizes, reorders, shows or hides a window. A changed position sends WM_MOVE, a
// changed size WM_SIZE (in that order). A resize repaints the whole client area for classes
// with CS_HREDRAW / CS_VREDRAW, else the newly uncovered part; what the window leaves
// uncovered is repainted below it. Z order: HWND_TOP, HWND_BOTTOM, HWND_TOPMOST and
// HWND_NOTOPMOST (top-level windows; topmost ones stay above the others) or a sibling to
// go just below. Top-level windows stay below the windows they own. Unless SWP_NOACTIVATE
// (or SWP_NOZORDER without SWP_SHOWWINDOW), a top-level window is activated too.
BOOL SetWindowPos(HWND hwnd, HWND hwndInsertAfter, int x, int y, int cx, int cy, UINT flags);
BOOL MoveWindow(HWND hwnd, int x, int y, int cx, int cy, BOOL fRepaint);
BOOL BringWindowToTop(HWND hwnd);

// The window's rectangle in screen coordinates.
BOOL GetWindowRect(HWND hwnd, RECT* prc);
// (0, 0, client width, client height).
BOOL GetClientRect(HWND hwnd, RECT* prc);
BOOL ClientToScreen(HWND hwnd, POINT* ppt);
BOOL ScreenToClient(HWND hwnd, POINT* ppt);
// Maps points between client coordinates of two windows (null: the screen). Returns the
// horizontal offset in the low word and the vertical in the high word, as classic.
int MapWindowPoints(HWND hwndFrom, HWND hwndTo, POINT* ppt, UINT cPoints);
// Grows a client rectangle into the window rectangle for a style: a captioned top-level
// window gains the caption bar above.
BOOL AdjustWindowRectEx(RECT* prc, DWORD style, BOOL fMenu, DWORD exStyle);
// Caption bar and close box of a window, in window coordinates (origin at the window
// rectangle's top left); FALSE when the window has no caption bar. prcClose is empty
// without WS_SYSMENU.
BOOL GetCaptionRects(HWND hwnd, RECT* prcCaption, RECT* prcClose);

// ---------------------------------------------------------------------------------------
// Visibility, enabling, activation, focus and capture

constexpr int SW_HIDE = 0;
constexpr int SW_SHOWNORMAL = 1;
constexpr int SW_NORMAL = 1;
constexpr int SW_SHOWMINIMIZED = 2;
constexpr int SW_SHOWMAXIMIZED = 3;
constexpr int SW_MAXIMIZE = 3;
constexpr int SW_SHOWNOACTIVATE = 4;
constexpr int SW_SHOW = 5;
constexpr int SW_MINIMIZE = 6;
constexpr int SW_SHOWMINNOACTIVE = 7;
constexpr int SW_SHOWNA = 8;
constexpr int SW_RESTORE = 9;
constexpr int SW_SHOWDEFAULT = 10;

// Shows (any SW_ other than SW_HIDE; minimising and maximising are not modelled) or hides
// a window; sends WM_SHOWWINDOW when the state changes. Showing a top-level window
// activates it unless the command is SW_SHOWNA, SW_SHOWNOACTIVATE or SW_SHOWMINNOACTIVE.
// Returns whether it was visible before.
BOOL ShowWindow(HWND hwnd, int nCmdShow);
// The window and all its ancestors are visible.
BOOL IsWindowVisible(HWND hwnd);

// Sends WM_ENABLE when the state changes; disabling takes away focus and capture inside
// the window. Returns whether it was disabled before.
BOOL EnableWindow(HWND hwnd, BOOL fEnable);
BOOL IsWindowEnabled(HWND hwnd);

// Activation is of top-level windows and process-wide. The window losing it gets
// WM_ACTIVATE (WA_INACTIVE, long parameter: the new one), then the new one WM_ACTIVATE
// (WA_ACTIVE or WA_CLICKACTIVE, long parameter: the old one) and comes to the top.
// DefWindowProc gives an activated window the focus. When the active window is hidden or
// destroyed, its owner (if visible and enabled), else the frontmost visible enabled
// top-level window of the same thread, becomes active. Disabling leaves activation alone.
HWND SetActiveWindow(HWND hwnd);
HWND GetActiveWindow();
BOOL SetForegroundWindow(HWND hwnd);
HWND GetForegroundWindow();

// Focus: WM_KILLFOCUS (word parameter: the new focus) to the old window, then
// WM_SETFOCUS (word parameter: the old focus) to the new one, whose top-level window is
// activated first. Null removes the focus. Returns the previous focus.
HWND SetFocus(HWND hwnd);
HWND GetFocus();

// While a window has the capture, every mouse message goes to it, in its client
// coordinates. The window losing the capture gets WM_CAPTURECHANGED (long parameter: the
// new capture). Returns the previous capture.
HWND SetCapture(HWND hwnd);
BOOL ReleaseCapture();
HWND GetCapture();

// ---------------------------------------------------------------------------------------
// Invalidation and painting

// Adds a client rectangle (null: the whole client area) to the update region, which is
// kept as one bounding rectangle. Children under the rectangle are invalidated as well
// unless the window has WS_CLIPCHILDREN. fErase asks for WM_ERASEBKGND at BeginPaint.
// hwnd null invalidates every window.
BOOL InvalidateRect(HWND hwnd, const RECT* prc, BOOL fErase);
// Removes a rectangle from the update region where the rest stays a rectangle (null:
// everything).
BOOL ValidateRect(HWND hwnd, const RECT* prc);
// The update region's bounding rectangle; FALSE when it is empty.
BOOL GetUpdateRect(HWND hwnd, RECT* prc, BOOL fErase);
// Sends WM_PAINT now to the window and then to its descendants that need painting.
BOOL UpdateWindow(HWND hwnd);
// Validates the update region, sends WM_ERASEBKGND when erasing was asked for, and fills
// *pps (hdc from WindowManagerHooks::BeginPaintDC).
HDC BeginPaint(HWND hwnd, PAINTSTRUCT* pps);
BOOL EndPaint(HWND hwnd, const PAINTSTRUCT* pps);

// ---------------------------------------------------------------------------------------
// Messages

// Calls the window procedure: directly on the owning thread; from another thread the
// message is queued for the owner and the caller waits for the result, handling messages
// sent to its own thread meanwhile. 0 for a bad window.
LRESULT SendMessage(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
// Queues a message for the window's thread (null: the calling thread, as a thread message).
BOOL PostMessage(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
// Queues a thread message (no window); fails with ERROR_INVALID_THREAD_ID when the thread
// has no queue.
BOOL PostThreadMessage(DWORD threadId, UINT uMsg, WPARAM wParam, LPARAM lParam);
// WM_QUIT is returned once the posted and input messages queued before it are gone.
void PostQuitMessage(int nExitCode);

constexpr UINT PM_NOREMOVE = 0x0000;
constexpr UINT PM_REMOVE = 0x0001;
constexpr UINT PM_NOYIELD = 0x0002;
inline const HWND HWND_THREAD_ONLY = reinterpret_cast<HWND>(-1); // thread messages only

// Waits for a message (order above) and removes it. hwndFilter: null for all messages of
// the thread, a window for that window's, HWND_THREAD_ONLY for thread messages. A message
// range of 0, 0 takes every message; WM_QUIT passes any filter. Returns 0 for WM_QUIT
// (msg.wParam is the exit code), -1 for a bad window filter, else 1.
BOOL GetMessage(MSG* pMsg, HWND hwndFilter, UINT msgFilterMin, UINT msgFilterMax);
// As GetMessage without waiting; TRUE when a message was found. PM_NOREMOVE leaves it.
BOOL PeekMessage(MSG* pMsg, HWND hwndFilter, UINT msgFilterMin, UINT msgFilterMax,
                 UINT removeFlags);
// Waits until a message can be retrieved (handling sent messages meanwhile).
BOOL WaitMessage();
// WM_KEYDOWN of a character key posts the WM_CHAR for it (letters, digits, space,
// return, backspace, tab, escape; shift gives capitals). TRUE when a character was posted.
BOOL TranslateMessage(const MSG* pMsg);
// Calls the window procedure of the message's window (the timer procedure for a WM_TIMER
// of a timer that has one) and returns its result.
LRESULT DispatchMessage(const MSG* pMsg);
// The screen position (x in the low 16 bits, y in the high 16 bits, signed) and tick
// count of the message the thread retrieved last.
DWORD GetMessagePos();
LONG GetMessageTime();
// True while the thread handles a message sent from another thread.
BOOL InSendMessage();

// Queue status bits for MsgWaitForMultipleObjects.
constexpr DWORD QS_KEY = 0x0001;
constexpr DWORD QS_MOUSEMOVE = 0x0002;
constexpr DWORD QS_MOUSEBUTTON = 0x0004;
constexpr DWORD QS_POSTMESSAGE = 0x0008;
constexpr DWORD QS_TIMER = 0x0010;
constexpr DWORD QS_PAINT = 0x0020;
constexpr DWORD QS_SENDMESSAGE = 0x0040;
constexpr DWORD QS_ALLPOSTMESSAGE = 0x0100;
constexpr DWORD QS_MOUSE = QS_MOUSEMOVE | QS_MOUSEBUTTON;
constexpr DWORD QS_INPUT = QS_MOUSE | QS_KEY;
constexpr DWORD QS_ALLEVENTS = QS_INPUT | QS_POSTMESSAGE | QS_TIMER | QS_PAINT;
constexpr DWORD QS_ALLINPUT = QS_ALLEVENTS | QS_SENDMESSAGE;

// Waits for the events (as WaitForMultipleObjects) or for a message of a kind in wakeMask
// (QS_ bits; WM_QUIT counts as a posted message). Returns WAIT_OBJECT_0 + i for an event,
// WAIT_OBJECT_0 + cEvents for a message, WAIT_TIMEOUT or WAIT_FAILED. Unlike its classic
// model it also wakes for messages that were already waiting, so a loop that peeks
// without removing everything cannot sleep on a full queue. Messages sent from other
// threads are left for the caller's next Get/PeekMessage.
DWORD MsgWaitForMultipleObjects(DWORD cEvents, Event* const* events, BOOL fWaitAll, DWORD msTimeout,
                                DWORD wakeMask);

// ---------------------------------------------------------------------------------------
// Timers

constexpr UINT USER_TIMER_MINIMUM = 10;

// Starts (or restarts) the window's timer id: WM_TIMER with the id in the word parameter
// comes due every msElapse milliseconds (at least USER_TIMER_MINIMUM) from now. With a
// procedure, DispatchMessage calls it instead of the window procedure. A null window makes
// a thread timer with a new identifier. Returns the identifier, 0 on failure. After a
// WM_TIMER is removed from the queue the next one comes due msElapse later.
UINT_PTR SetTimer(HWND hwnd, UINT_PTR idEvent, UINT msElapse, TIMERPROC proc);
BOOL KillTimer(HWND hwnd, UINT_PTR idEvent);

// ---------------------------------------------------------------------------------------
// Default processing and modal loops

// WM_NCCREATE and WM_SETTEXT store the text, WM_GETTEXT / WM_GETTEXTLENGTH read it;
// WM_CLOSE destroys the window; WM_PAINT validates; WM_ERASEBKGND asks the screen's hook;
// WM_ACTIVATE gives the focus; WM_SETCURSOR asks the parent (TRUE from it ends there), then
// sets the class cursor in the client area (FALSE when the class has none) or the arrow
// elsewhere; WM_SYSCOMMAND SC_CLOSE sends WM_CLOSE; a press and release on the close box
// sends WM_SYSCOMMAND SC_CLOSE; WM_NCHITTEST answers HTCLIENT, HTCAPTION, HTCLOSE or
// HTNOWHERE; WM_MOUSEWHEEL goes to the parent. Everything else returns 0.
LRESULT DefWindowProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam);

// Runs a modal loop for hwnd: disables its owner (if enabled), shows and activates hwnd,
// then gets and dispatches messages until EndModalLoop(hwnd) or until hwnd is destroyed.
// preTranslate (optional) sees each message first and returns true when it handled it.
// WM_QUIT ends the loop and is posted again for the outer loop. On the way out the owner
// is enabled again; a still active hwnd is then hidden, which hands activation back to the
// owner (as does a destroyed one). Returns the result given to EndModalLoop (0 when hwnd
// was destroyed or the loop quit).
INT_PTR RunModalLoop(HWND hwnd, const std::function<bool(MSG&)>& preTranslate = {});
// Ends hwnd's modal loop after the current message; the caller then destroys the window.
BOOL EndModalLoop(HWND hwnd, INT_PTR result);

// ---------------------------------------------------------------------------------------
// Input from the backends

enum class MouseAction {
    kMove,
    kLeftDown,
    kLeftUp,
    kRightDown,
    kRightUp,
    kMiddleDown,
    kMiddleUp,
};

// Routes a mouse event at a screen point. The cursor position becomes the point. The
// message goes to the capture window if any; otherwise to the frontmost visible top-level
// window whose rectangle (and region, see WindowManagerHooks) holds the point, and within
// it to the frontmost visible, enabled child that holds it, at any depth (disabled
// children are passed over). A disabled top-level window under the point takes the event
// and drops it. In the client area the message is WM_MOUSEMOVE or a button message, in
// client coordinates; on the caption bar the WM_NC* message with the hit-test code and
// screen coordinates. A second press within DOUBLECLICK_TIME and DOUBLECLICK_DISTANCE
// becomes a double click for CS_DBLCLKS classes. Pressing on an inactive top-level window
// activates it (WA_CLICKACTIVE). Consecutive moves to one window are merged while queued.
// Returns the window that got the message, or null. Call it on the thread of the windows
// (the message-wait pump runs there): activation sends messages and would wait for that
// thread otherwise.
HWND PostMouseInput(POINT ptScreen, MouseAction action);
// WM_MOUSEWHEEL to the focus window (else the window under the point).
HWND PostMouseWheel(POINT ptScreen, int delta);
// WM_KEYDOWN / WM_KEYUP (WM_SYSKEY* while Alt is down) to the focus window, else the
// active window. Returns the window that got it, or null.
HWND PostKeyInput(UINT vk, bool fDown);

// Key state from the input seen so far: the high bit (0x8000) while down, bit 0 toggled by
// each press. Mouse buttons are VK_LBUTTON, VK_RBUTTON, VK_MBUTTON.
SHORT GetKeyState(int vk);
SHORT GetAsyncKeyState(int vk);
BOOL GetCursorPos(POINT* ppt);
// Moves the recorded cursor position (no message).
BOOL SetCursorPos(int x, int y);

// ---------------------------------------------------------------------------------------
// Cursors

// The system cursors, for LoadCursor with a null instance (the classic numbers).
inline const char* const IDC_ARROW = reinterpret_cast<const char*>(std::uintptr_t{32512});
inline const char* const IDC_IBEAM = reinterpret_cast<const char*>(std::uintptr_t{32513});
inline const char* const IDC_WAIT = reinterpret_cast<const char*>(std::uintptr_t{32514});
inline const char* const IDC_CROSS = reinterpret_cast<const char*>(std::uintptr_t{32515});
inline const char* const IDC_SIZENWSE = reinterpret_cast<const char*>(std::uintptr_t{32642});
inline const char* const IDC_SIZENESW = reinterpret_cast<const char*>(std::uintptr_t{32643});
inline const char* const IDC_SIZEWE = reinterpret_cast<const char*>(std::uintptr_t{32644});
inline const char* const IDC_SIZENS = reinterpret_cast<const char*>(std::uintptr_t{32645});
inline const char* const IDC_SIZEALL = reinterpret_cast<const char*>(std::uintptr_t{32646});
inline const char* const IDC_NO = reinterpret_cast<const char*>(std::uintptr_t{32648});
inline const char* const IDC_HAND = reinterpret_cast<const char*>(std::uintptr_t{32649});
inline const char* const IDC_APPSTARTING = reinterpret_cast<const char*>(std::uintptr_t{32650});

constexpr DWORD ERROR_RESOURCE_NAME_NOT_FOUND = 1814;

// A system cursor (hInstance null, id one of the IDC_ numbers, in either width). The handle
// is shared: the same value for the same id on every call, never destroyed. Programs carry no
// cursor resources, so anything else gives null and ERROR_RESOURCE_NAME_NOT_FOUND.
HCURSOR LoadCursor(HINSTANCE hInstance, const char* id);
HCURSOR LoadCursor(HINSTANCE hInstance, const char16_t* id);

// The cursor shape the screen should show (null: none); returns the previous one. The screen
// hears of changes through WindowManagerHooks::CursorChanged. When the mouse moves or a button
// is pressed without capture, the message's window gets WM_SETCURSOR as the message is taken
// from the queue; DefWindowProc then picks the shape (see there).
HCURSOR SetCursor(HCURSOR hCursor);
HCURSOR GetCursor();

// ---------------------------------------------------------------------------------------
// The screen layer's hooks

enum class WindowChange {
    kCreated,
    kDestroyed, // the handle still works during the call
    kShown,
    kHidden,
    kMoved, // position or size
    kZOrder,
    kText,
    kStyle,
    kActivated,
    kDeactivated,
};

// Installed by the screen layer. Every hook is called without any lock of the window
// service held, on the thread that caused it, so hooks may call the functions above.
class WindowManagerHooks {
public:
    virtual ~WindowManagerHooks() = default;
    // The device context BeginPaint hands out for rcPaint (client coordinates).
    virtual HDC BeginPaintDC(HWND /*hwnd*/, const RECT& /*rcPaint*/) { return nullptr; }
    virtual void EndPaintDC(HWND /*hwnd*/, HDC /*hdc*/) {}
    // DefWindowProc's WM_ERASEBKGND; true when it erased (with the class brush).
    virtual bool EraseBackground(HWND /*hwnd*/, HDC /*hdc*/) { return false; }
    // Whether a point (window coordinates: origin at the window rectangle's top left)
    // lies in the window's region; windows without a region hold their whole rectangle.
    virtual bool PtInWindowRegion(HWND /*hwnd*/, POINT /*ptWindow*/) { return true; }
    virtual void WindowChanged(HWND /*hwnd*/, WindowChange /*change*/) {}
    virtual void CursorChanged(HCURSOR /*hCursor*/) {}
};

// Installs the hooks (null: none) and returns the previous ones.
WindowManagerHooks* SetWindowManagerHooks(WindowManagerHooks* hooks);

// Installs a pump for the calling thread (empty: none): while this thread waits for
// messages, pump runs at least every msInterval milliseconds of real time, so that a
// backend that must read its input on this thread can do so (and post it with the
// functions above, which ends the wait).
void SetMessageWaitPump(std::function<void()> pump, DWORD msInterval);

} // namespace host
