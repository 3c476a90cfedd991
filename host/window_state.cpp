#include "host/window.h"

#include "host/error.h"
#include "host/window_internal.h"

#include <utility>

namespace host {
namespace wnd {

bool IsVisibleLocked(const Window* w) {
    for (; w != nullptr; w = w->parent) {
        if ((w->style & WS_VISIBLE) == 0) return false;
    }
    return true;
}

bool IsEnabledLocked(const Window* w) {
    return (w->style & WS_DISABLED) == 0;
}

namespace {

// Activates the window that should follow `gone` (hidden, disabled or being destroyed).
void ActivateNext(HWND gone) {
    HWND next = nullptr;
    {
        Lock lock(WaitMutex());
        State& s = GetState();
        Window* w = FindLocked(gone);
        DWORD tid = w != nullptr ? w->tid : CurrentThreadId();
        auto usable = [&](Window* t) {
            return t != nullptr && t != w && !t->fDestroying && IsVisibleLocked(t) &&
                   IsEnabledLocked(t) && (w == nullptr || !IsOwnedByLocked(t, w));
        };
        if (w != nullptr && usable(w->owner)) {
            next = ToHwnd(w->owner);
        } else {
            for (Window* t : s.topLevel) {
                if (t->tid == tid && usable(t)) {
                    next = ToHwnd(t);
                    break;
                }
            }
        }
    }
    SetActive(next, WA_ACTIVE);
}

} // namespace

// After a window was hidden or disabled: focus and capture leave it, and activation too.
void LeaveWindow(HWND hwnd, bool fActivation) {
    Handle oldFocus = 0, oldCapture = 0;
    bool fWasActive = false;
    {
        Lock lock(WaitMutex());
        State& s = GetState();
        Window* w = FindLocked(hwnd);
        if (w == nullptr) return;
        if (s.focus != 0 && IsInSubtreeLocked(w, s.focus)) std::swap(oldFocus, s.focus);
        if (s.capture != 0 && IsInSubtreeLocked(w, s.capture)) std::swap(oldCapture, s.capture);
        fWasActive = s.active == w->h;
    }
    if (oldFocus != 0) SendMessage(ToHwnd(oldFocus), WM_KILLFOCUS, 0, 0);
    if (oldCapture != 0) SendMessage(ToHwnd(oldCapture), WM_CAPTURECHANGED, 0, 0);
    if (fActivation && fWasActive) ActivateNext(hwnd);
}

BOOL ShowCommon(HWND hwnd, bool fShow, bool fActivate) {
    bool fWasVisible, fTop;
    {
        Lock lock(WaitMutex());
        Window* w = CheckLocked(hwnd);
        if (w == nullptr) return FALSE;
        fWasVisible = (w->style & WS_VISIBLE) != 0;
        fTop = w->parent == nullptr;
    }
    if (fWasVisible != fShow) {
        SendMessage(hwnd, WM_SHOWWINDOW, fShow ? TRUE : FALSE, 0);
        {
            Lock lock(WaitMutex());
            Window* w = FindLocked(hwnd);
            if (w == nullptr) return fWasVisible;
            if (fShow) {
                w->style |= WS_VISIBLE;
                InvalidateTreeLocked(w);
            } else {
                w->style &= ~WS_VISIBLE;
                ExposeLocked(w, w->rc);
            }
        }
        Notify(hwnd, fShow ? WindowChange::kShown : WindowChange::kHidden);
        if (!fShow) LeaveWindow(hwnd, true);
    }
    if (fShow && fTop && fActivate && IsWindowEnabled(hwnd) && IsWindowVisible(hwnd))
        SetActive(hwnd, WA_ACTIVE);
    return fWasVisible ? TRUE : FALSE;
}

} // namespace wnd

using namespace wnd;

// ---------------------------------------------------------------------------------------
// Visibility, enabling, activation, focus and capture

BOOL ShowWindow(HWND hwnd, int nCmdShow) {
    bool fActivate =
        nCmdShow != SW_SHOWNA && nCmdShow != SW_SHOWNOACTIVATE && nCmdShow != SW_SHOWMINNOACTIVE;
    return ShowCommon(hwnd, nCmdShow != SW_HIDE, fActivate);
}

BOOL IsWindowVisible(HWND hwnd) {
    Lock lock(WaitMutex());
    Window* w = FindLocked(hwnd);
    return w != nullptr && IsVisibleLocked(w);
}

BOOL EnableWindow(HWND hwnd, BOOL fEnable) {
    bool fWasDisabled;
    {
        Lock lock(WaitMutex());
        Window* w = CheckLocked(hwnd);
        if (w == nullptr) return FALSE;
        fWasDisabled = !IsEnabledLocked(w);
        if (fWasDisabled == !fEnable) return fWasDisabled;
        if (fEnable)
            w->style &= ~WS_DISABLED;
        else
            w->style |= WS_DISABLED;
    }
    if (!fEnable) LeaveWindow(hwnd, false); // a disabled window stays active, as a modal owner does
    SendMessage(hwnd, WM_ENABLE, fEnable ? TRUE : FALSE, 0);
    Notify(hwnd, WindowChange::kStyle);
    return fWasDisabled ? TRUE : FALSE;
}

BOOL IsWindowEnabled(HWND hwnd) {
    Lock lock(WaitMutex());
    Window* w = FindLocked(hwnd);
    return w != nullptr && IsEnabledLocked(w);
}

namespace wnd {

HWND SetActive(HWND hwnd, WORD state) {
    Handle old;
    bool fRaised = false;
    {
        Lock lock(WaitMutex());
        State& s = GetState();
        Window* w = nullptr;
        if (hwnd != nullptr) {
            w = CheckLocked(hwnd);
            if (w == nullptr) return nullptr;
            w = RootLocked(w);
            hwnd = ToHwnd(w);
        }
        old = s.active;
        if (old == ToHandle(hwnd)) return hwnd;
        s.active = ToHandle(hwnd);
        if (w != nullptr) {
            fRaised = RaiseTopLevelLocked(w);
            if (fRaised && IsVisibleLocked(w)) InvalidateTreeLocked(w);
        }
    }
    HWND hwndOld = LiveHwnd(old);
    if (hwndOld != nullptr) Notify(hwndOld, WindowChange::kDeactivated);
    if (hwnd != nullptr) {
        Notify(hwnd, WindowChange::kActivated);
        if (fRaised) Notify(hwnd, WindowChange::kZOrder);
    }
    if (hwndOld != nullptr)
        SendMessage(hwndOld, WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, 0),
                    reinterpret_cast<LPARAM>(hwnd));
    if (hwnd != nullptr)
        SendMessage(hwnd, WM_ACTIVATE, MAKEWPARAM(state, 0), reinterpret_cast<LPARAM>(hwndOld));
    // The focus stays inside the active window.
    Handle lostFocus = 0;
    {
        Lock lock(WaitMutex());
        State& s = GetState();
        Window* active = FindLocked(ToHwnd(s.active));
        if (s.focus != 0 && (active == nullptr || !IsInSubtreeLocked(active, s.focus)))
            std::swap(lostFocus, s.focus);
    }
    if (lostFocus != 0) SendMessage(ToHwnd(lostFocus), WM_KILLFOCUS, 0, 0);
    return hwndOld;
}

} // namespace wnd

HWND SetActiveWindow(HWND hwnd) {
    return SetActive(hwnd, WA_ACTIVE);
}

HWND GetActiveWindow() {
    Lock lock(WaitMutex());
    return ToHwnd(GetState().active);
}

BOOL SetForegroundWindow(HWND hwnd) {
    if (!IsWindow(hwnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    SetActive(hwnd, WA_ACTIVE);
    return TRUE;
}

HWND GetForegroundWindow() {
    return GetActiveWindow();
}

HWND SetFocus(HWND hwnd) {
    if (hwnd != nullptr) {
        HWND root = GetAncestor(hwnd, GA_ROOT);
        if (root == nullptr) return nullptr;
        if (GetActiveWindow() != root) SetActive(root, WA_ACTIVE);
    }
    Handle old;
    {
        Lock lock(WaitMutex());
        State& s = GetState();
        if (hwnd != nullptr && CheckLocked(hwnd) == nullptr) return nullptr;
        old = s.focus;
        if (old == ToHandle(hwnd)) return hwnd;
        s.focus = ToHandle(hwnd);
    }
    HWND hwndOld = LiveHwnd(old);
    if (hwndOld != nullptr) SendMessage(hwndOld, WM_KILLFOCUS, reinterpret_cast<WPARAM>(hwnd), 0);
    if (hwnd != nullptr && GetFocus() == hwnd)
        SendMessage(hwnd, WM_SETFOCUS, reinterpret_cast<WPARAM>(hwndOld), 0);
    return hwndOld;
}

HWND GetFocus() {
    Lock lock(WaitMutex());
    return ToHwnd(GetState().focus);
}

HWND SetCapture(HWND hwnd) {
    Handle old;
    {
        Lock lock(WaitMutex());
        if (CheckLocked(hwnd) == nullptr) return nullptr;
        old = GetState().capture;
        GetState().capture = ToHandle(hwnd);
    }
    HWND hwndOld = LiveHwnd(old);
    if (hwndOld != nullptr && hwndOld != hwnd)
        SendMessage(hwndOld, WM_CAPTURECHANGED, 0, reinterpret_cast<LPARAM>(hwnd));
    return hwndOld;
}

BOOL ReleaseCapture() {
    Handle old;
    {
        Lock lock(WaitMutex());
        old = GetState().capture;
        GetState().capture = 0;
    }
    if (HWND hwndOld = LiveHwnd(old)) SendMessage(hwndOld, WM_CAPTURECHANGED, 0, 0);
    return TRUE;
}

HWND GetCapture() {
    Lock lock(WaitMutex());
    return ToHwnd(GetState().capture);
}

} // namespace host
