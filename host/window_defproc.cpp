#include "host/window.h"

#include "host/codepage.h"
#include "host/error.h"
#include "host/window_internal.h"

#include <algorithm>

namespace host {
using namespace wnd;

// ---------------------------------------------------------------------------------------
// Default processing

namespace {

LRESULT HitTest(HWND hwnd, POINT ptScreen) {
    Lock lock(WaitMutex());
    Window* w = FindLocked(hwnd);
    if (w == nullptr) return HTNOWHERE;
    RECT window = WindowRectScreenLocked(w);
    if (!Contains(window, ptScreen)) return HTNOWHERE;
    POINT origin = ClientOriginScreenLocked(w);
    if (Contains(Offset(ClientRectLocked(w), origin.x, origin.y), ptScreen)) return HTCLIENT;
    if (!HasCaptionBar(w)) return HTNOWHERE;
    LONG cx = window.right - window.left;
    RECT close = (w->style & WS_SYSMENU) != 0
                     ? RECT{window.left + std::max<LONG>(0, cx - CAPTION_HEIGHT), window.top,
                            window.right, window.top + CAPTION_HEIGHT}
                     : RECT{};
    return Contains(close, ptScreen) ? HTCLOSE : HTCAPTION;
}

LRESULT GetTextDefault(HWND hwnd, WPARAM cchMax, LPARAM lParam, bool fLengthOnly) {
    std::u16string text;
    bool fUnicode;
    {
        Lock lock(WaitMutex());
        Window* w = FindLocked(hwnd);
        if (w == nullptr) return 0;
        text = w->text;
        fUnicode = w->cls->fUnicode;
    }
    int cch = static_cast<int>(std::min<WPARAM>(cchMax, INT32_MAX));
    if (fUnicode) {
        if (fLengthOnly) return static_cast<LRESULT>(text.size());
        return CopyOut(text, reinterpret_cast<char16_t*>(lParam), cch);
    }
    std::string narrow = ToUtf8(text);
    if (fLengthOnly) return static_cast<LRESULT>(narrow.size());
    return CopyOut(narrow, reinterpret_cast<char*>(lParam), cch);
}

void StoreText(HWND hwnd, const void* text) {
    {
        Lock lock(WaitMutex());
        Window* w = FindLocked(hwnd);
        if (w == nullptr) return;
        if (text == nullptr)
            w->text.clear();
        else if (w->cls->fUnicode)
            w->text = static_cast<const char16_t*>(text);
        else
            w->text = ToUtf16(static_cast<const char*>(text));
    }
    Notify(hwnd, WindowChange::kText);
}

} // namespace

LRESULT DefWindowProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    switch (uMsg) {
    case WM_NCCREATE: {
        if (lParam == 0) return TRUE;
        bool fUnicode = IsWindowUnicode(hwnd) != FALSE;
        const void* name =
            fUnicode
                ? static_cast<const void*>(reinterpret_cast<const CREATESTRUCTW*>(lParam)->lpszName)
                : static_cast<const void*>(
                      reinterpret_cast<const CREATESTRUCTA*>(lParam)->lpszName);
        StoreText(hwnd, name);
        return TRUE;
    }
    case WM_SETTEXT:
        StoreText(hwnd, reinterpret_cast<const void*>(lParam));
        return TRUE;
    case WM_GETTEXT:
        return GetTextDefault(hwnd, wParam, lParam, false);
    case WM_GETTEXTLENGTH:
        return GetTextDefault(hwnd, 0, 0, true);
    case WM_CLOSE:
        DestroyWindow(hwnd);
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        BeginPaint(hwnd, &ps);
        EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_ERASEBKGND: {
        WindowManagerHooks* hooks = Hooks();
        return hooks != nullptr && hooks->EraseBackground(hwnd, reinterpret_cast<HDC>(wParam)) ? 1
                                                                                               : 0;
    }
    case WM_ACTIVATE:
        if (LOWORD(wParam) != WA_INACTIVE) SetFocus(hwnd);
        return 0;
    case WM_SETCURSOR: {
        HWND parent = GetAncestor(hwnd, GA_PARENT);
        if (parent != nullptr && SendMessage(parent, WM_SETCURSOR, wParam, lParam) != 0)
            return TRUE;
        // Asked about a child: its own class cursor decides, not this window's.
        if (reinterpret_cast<HWND>(wParam) != hwnd) return FALSE;
        if (static_cast<SHORT>(LOWORD(static_cast<std::uintptr_t>(lParam))) != HTCLIENT) {
            // The caption bar is the screen's: its own arrow, whatever the class wants.
            SetCursor(LoadCursor(nullptr, IDC_ARROW));
            return TRUE;
        }
        // Without a class cursor the window sets its own shape; leave the current one.
        HCURSOR cursor = reinterpret_cast<HCURSOR>(GetClassLongPtr(hwnd, GCLP_HCURSOR));
        if (cursor == nullptr) return FALSE;
        SetCursor(cursor);
        return TRUE;
    }
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_CLOSE) SendMessage(hwnd, WM_CLOSE, 0, 0);
        return 0;
    case WM_NCHITTEST:
        return HitTest(hwnd, {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
    case WM_NCLBUTTONUP: {
        bool fClose = false;
        {
            Lock lock(WaitMutex());
            if (Window* w = FindLocked(hwnd)) {
                fClose = w->fClosePressed && static_cast<LRESULT>(wParam) == HTCLOSE;
                w->fClosePressed = false;
            }
        }
        if (fClose) SendMessage(hwnd, WM_SYSCOMMAND, SC_CLOSE, lParam);
        return 0;
    }
    case WM_MOUSEWHEEL: {
        HWND parent = GetAncestor(hwnd, GA_PARENT);
        return parent != nullptr ? SendMessage(parent, uMsg, wParam, lParam) : 0;
    }
    case WM_CANCELMODE:
        if (GetCapture() == hwnd) ReleaseCapture();
        return 0;
    default:
        return 0;
    }
}

} // namespace host
