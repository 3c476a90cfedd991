#include "host/window.h"

#include "host/error.h"
#include "host/window_internal.h"

#include <vector>

namespace host {
namespace wnd {

namespace {

void NotifyPaintLocked(Window* w) {
    if (w->queue != nullptr) w->queue->paintPending.insert(w->h);
    WakeWaiters();
}

} // namespace

void InvalidateLocked(Window* w, const RECT* prc, bool fErase) {
    if (!IsVisibleLocked(w)) return;
    RECT client = ClientRectLocked(w);
    RECT r = prc != nullptr ? Intersect(*prc, client) : client;
    if (IsEmpty(r)) return;
    w->rcUpdate = Union(w->rcUpdate, r);
    w->fErase = w->fErase || fErase;
    NotifyPaintLocked(w);
    if ((w->style & WS_CLIPCHILDREN) != 0) return;
    for (Window* child : w->children) {
        RECT overlap = Intersect(r, child->rc);
        if (!IsEmpty(overlap)) {
            RECT inChild = Offset(overlap, -child->rc.left, -child->rc.top);
            InvalidateLocked(child, &inChild, fErase);
        }
    }
}

// The window and all its visible descendants, entirely (a window just shown).
void InvalidateTreeLocked(Window* w) {
    InvalidateLocked(w, nullptr, true);
    for (Window* child : w->children)
        InvalidateTreeLocked(child);
}

// Repaints what lies under rc (in the coordinates of w's rectangle) once w is gone from it.
void ExposeLocked(Window* w, const RECT& rc) {
    State& s = GetState();
    if (w->parent != nullptr) {
        Window* parent = w->parent;
        InvalidateLocked(parent, &rc, true);
        for (Window* sibling : parent->children) {
            if (sibling == w) continue;
            RECT overlap = Intersect(rc, sibling->rc);
            if (!IsEmpty(overlap)) {
                RECT inSibling = Offset(overlap, -sibling->rc.left, -sibling->rc.top);
                InvalidateLocked(sibling, &inSibling, true);
            }
        }
        return;
    }
    for (Window* other : s.topLevel) {
        if (other == w || other->fDestroying) continue;
        RECT overlap = Intersect(rc, other->rc);
        if (IsEmpty(overlap)) continue;
        POINT origin = ClientOriginScreenLocked(other);
        RECT inClient = Offset(overlap, -origin.x, -origin.y);
        InvalidateLocked(other, &inClient, true);
    }
}

} // namespace wnd

using namespace wnd;

// ---------------------------------------------------------------------------------------
// Invalidation and painting

BOOL InvalidateRect(HWND hwnd, const RECT* prc, BOOL fErase) {
    Lock lock(WaitMutex());
    if (hwnd == nullptr) {
        for (Window* t : GetState().topLevel)
            InvalidateLocked(t, nullptr, fErase != FALSE);
        return TRUE;
    }
    Window* w = CheckLocked(hwnd);
    if (w == nullptr) return FALSE;
    InvalidateLocked(w, prc, fErase != FALSE);
    return TRUE;
}

BOOL ValidateRect(HWND hwnd, const RECT* prc) {
    Lock lock(WaitMutex());
    Window* w = CheckLocked(hwnd);
    if (w == nullptr) return FALSE;
    RECT& u = w->rcUpdate;
    if (prc == nullptr || (prc->left <= u.left && prc->top <= u.top && prc->right >= u.right &&
                           prc->bottom >= u.bottom)) {
        u = {};
    } else if (prc->top <= u.top && prc->bottom >= u.bottom) {
        // A full-height band: what is left is a rectangle when it covers one side.
        if (prc->left <= u.left && prc->right > u.left)
            u.left = prc->right;
        else if (prc->right >= u.right && prc->left < u.right)
            u.right = prc->left;
    } else if (prc->left <= u.left && prc->right >= u.right) {
        if (prc->top <= u.top && prc->bottom > u.top)
            u.top = prc->bottom;
        else if (prc->bottom >= u.bottom && prc->top < u.bottom)
            u.bottom = prc->top;
    }
    if (IsEmpty(u)) {
        u = {};
        w->fErase = false;
        if (w->queue != nullptr) w->queue->paintPending.erase(w->h);
    }
    return TRUE;
}

BOOL GetUpdateRect(HWND hwnd, RECT* prc, BOOL) {
    Lock lock(WaitMutex());
    Window* w = CheckLocked(hwnd);
    if (w == nullptr) return FALSE;
    if (prc != nullptr) *prc = w->rcUpdate;
    return IsEmpty(w->rcUpdate) ? FALSE : TRUE;
}

BOOL UpdateWindow(HWND hwnd) {
    std::vector<HWND> windows;
    {
        Lock lock(WaitMutex());
        Window* w = CheckLocked(hwnd);
        if (w == nullptr) return FALSE;
        windows.push_back(hwnd);
        CollectDescendantsLocked(w, windows);
    }
    for (HWND target : windows) {
        bool fNeeded;
        {
            Lock lock(WaitMutex());
            Window* w = FindLocked(target);
            fNeeded = w != nullptr && IsVisibleLocked(w) && !IsEmpty(w->rcUpdate);
        }
        if (fNeeded) SendMessage(target, WM_PAINT, 0, 0);
    }
    return TRUE;
}

HDC BeginPaint(HWND hwnd, PAINTSTRUCT* pps) {
    if (pps == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    *pps = {};
    bool fErase;
    {
        Lock lock(WaitMutex());
        Window* w = CheckLocked(hwnd);
        if (w == nullptr) return nullptr;
        pps->rcPaint = w->rcUpdate;
        fErase = w->fErase;
        w->rcUpdate = {};
        w->fErase = false;
        if (w->queue != nullptr) w->queue->paintPending.erase(w->h);
    }
    WindowManagerHooks* hooks = Hooks();
    pps->hdc = hooks != nullptr ? hooks->BeginPaintDC(hwnd, pps->rcPaint) : nullptr;
    if (fErase)
        pps->fErase = SendMessage(hwnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(pps->hdc), 0) == 0
                          ? TRUE
                          : FALSE;
    return pps->hdc;
}

BOOL EndPaint(HWND hwnd, const PAINTSTRUCT* pps) {
    if (pps == nullptr) return FALSE;
    WindowManagerHooks* hooks = Hooks();
    if (hooks != nullptr && pps->hdc != nullptr) hooks->EndPaintDC(hwnd, pps->hdc);
    return TRUE;
}

} // namespace host
