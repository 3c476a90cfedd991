#include "host/window.h"

#include "host/error.h"
#include "host/window_internal.h"

#include <algorithm>

namespace host {
namespace wnd {

bool HasCaptionBar(const Window* w) {
    return w->parent == nullptr && (w->style & WS_CAPTION) == WS_CAPTION;
}

POINT ClientOriginScreenLocked(const Window* w) {
    POINT origin{w->rc.left, w->rc.top + (HasCaptionBar(w) ? CAPTION_HEIGHT : 0)};
    if (w->parent != nullptr) {
        POINT parent = ClientOriginScreenLocked(w->parent);
        origin.x += parent.x;
        origin.y += parent.y;
    }
    return origin;
}

RECT WindowRectScreenLocked(const Window* w) {
    if (w->parent == nullptr) return w->rc;
    POINT parent = ClientOriginScreenLocked(w->parent);
    return Offset(w->rc, parent.x, parent.y);
}

RECT ClientRectLocked(const Window* w) {
    LONG cx = std::max<LONG>(0, w->rc.right - w->rc.left);
    LONG cy = std::max<LONG>(0, w->rc.bottom - w->rc.top - (HasCaptionBar(w) ? CAPTION_HEIGHT : 0));
    return {0, 0, cx, cy};
}

bool IsOwnedByLocked(const Window* w, const Window* owner) {
    for (const Window* o = w->owner; o != nullptr; o = o->owner) {
        if (o == owner) return true;
    }
    return false;
}

bool IsTopmost(const Window* w) {
    return (w->exStyle & WS_EX_TOPMOST) != 0;
}

namespace {

std::size_t BandStartLocked(bool fTopmost) {
    if (fTopmost) return 0;
    const auto& list = GetState().topLevel;
    return static_cast<std::size_t>(
        std::find_if(list.begin(), list.end(), [](Window* t) { return !IsTopmost(t); }) -
        list.begin());
}

void SetTopmostLocked(Window* w, bool fTopmost) {
    for (Window* t : GetState().topLevel) {
        if (t == w || IsOwnedByLocked(t, w)) {
            if (fTopmost)
                t->exStyle |= WS_EX_TOPMOST;
            else
                t->exStyle &= ~WS_EX_TOPMOST;
        }
    }
}

// Applies a SetWindowPos Z-order request; true when the order changed.
bool ReorderLocked(Window* w, HWND hwndAfter) {
    auto& list = SiblingsLocked(w);
    const std::vector<Window*> before = list;
    const bool fTop = w->parent == nullptr;
    if (hwndAfter == HWND_TOP || hwndAfter == HWND_TOPMOST || hwndAfter == HWND_NOTOPMOST) {
        if (!fTop) {
            EraseFromList(list, w);
            list.insert(list.begin(), w);
            return list != before;
        }
        if (hwndAfter != HWND_TOP) {
            bool fTopmost = hwndAfter == HWND_TOPMOST;
            bool fChanged = IsTopmost(w) != fTopmost;
            SetTopmostLocked(w, fTopmost);
            return RaiseTopLevelLocked(w) || fChanged;
        }
        return RaiseTopLevelLocked(w);
    }
    if (hwndAfter == HWND_BOTTOM) {
        if (fTop) w->exStyle &= ~WS_EX_TOPMOST;
        EraseFromList(list, w);
        list.push_back(w);
        return list != before;
    }
    Window* after = FindLocked(hwndAfter);
    if (after == nullptr || after == w || after->parent != w->parent) return false;
    if (fTop) {
        if (IsTopmost(after))
            w->exStyle |= WS_EX_TOPMOST;
        else
            w->exStyle &= ~WS_EX_TOPMOST;
    }
    EraseFromList(list, w);
    auto it = std::find(list.begin(), list.end(), after);
    list.insert(it + 1, w);
    return list != before;
}

} // namespace

// Brings a top-level window to the front of its band, above it the windows it owns.
bool RaiseTopLevelLocked(Window* w) {
    auto& list = GetState().topLevel;
    const std::vector<Window*> before = list;
    std::vector<Window*> group;
    for (Window* t : list) {
        if (t != w && IsOwnedByLocked(t, w) && IsTopmost(t) == IsTopmost(w)) group.push_back(t);
    }
    group.push_back(w);
    for (Window* t : group)
        EraseFromList(list, t);
    std::size_t at = BandStartLocked(IsTopmost(w));
    list.insert(list.begin() + static_cast<std::ptrdiff_t>(at), group.begin(), group.end());
    return list != before;
}

void InsertNewLocked(Window* w) {
    if (w->parent != nullptr) {
        w->parent->children.insert(w->parent->children.begin(), w);
        return;
    }
    auto& list = GetState().topLevel;
    list.insert(list.begin() + static_cast<std::ptrdiff_t>(BandStartLocked(IsTopmost(w))), w);
}

} // namespace wnd

using namespace wnd;

// ---------------------------------------------------------------------------------------
// Position, size and Z order

namespace {

// After a size change: the whole client area for redraw classes or a move, else the new part.
void RedrawAfterResizeLocked(Window* w, const RECT& oldClient, bool fMoved) {
    RECT client = ClientRectLocked(w);
    bool fWider = client.right != oldClient.right, fTaller = client.bottom != oldClient.bottom;
    if (fMoved || (fWider && (w->cls->style & CS_HREDRAW) != 0) ||
        (fTaller && (w->cls->style & CS_VREDRAW) != 0)) {
        InvalidateLocked(w, nullptr, true);
        return;
    }
    if (client.right > oldClient.right) {
        RECT strip{oldClient.right, 0, client.right, client.bottom};
        InvalidateLocked(w, &strip, true);
    }
    if (client.bottom > oldClient.bottom) {
        RECT strip{0, oldClient.bottom, client.right, client.bottom};
        InvalidateLocked(w, &strip, true);
    }
}

} // namespace

BOOL SetWindowPos(HWND hwnd, HWND hwndAfter, int x, int y, int cx, int cy, UINT flags) {
    bool fMoved = false, fSized = false, fReordered = false, fTop;
    LPARAM moveParam = 0, sizeParam = 0;
    {
        Lock lock(WaitMutex());
        Window* w = CheckLocked(hwnd);
        if (w == nullptr) return FALSE;
        fTop = w->parent == nullptr;
        RECT old = w->rc;
        RECT r = old;
        if ((flags & SWP_NOMOVE) == 0) r = Offset(r, x - r.left, y - r.top);
        if ((flags & SWP_NOSIZE) == 0) {
            r.right = r.left + std::max(cx, 0);
            r.bottom = r.top + std::max(cy, 0);
        }
        fMoved = r.left != old.left || r.top != old.top;
        fSized =
            r.right - r.left != old.right - old.left || r.bottom - r.top != old.bottom - old.top;
        const bool fVisible = IsVisibleLocked(w);
        if (fMoved || fSized) {
            RECT oldClient = ClientRectLocked(w);
            w->rc = r;
            if (fVisible && (flags & SWP_NOREDRAW) == 0) {
                ExposeLocked(w, old);
                RedrawAfterResizeLocked(w, oldClient, fMoved);
            }
        }
        if ((flags & SWP_NOZORDER) == 0) {
            fReordered = ReorderLocked(w, hwndAfter);
            if (fReordered && fVisible) InvalidateTreeLocked(w);
        }
        POINT origin{w->rc.left, w->rc.top + (HasCaptionBar(w) ? CAPTION_HEIGHT : 0)};
        RECT client = ClientRectLocked(w);
        moveParam = MAKELPARAM(static_cast<WORD>(origin.x), static_cast<WORD>(origin.y));
        sizeParam = MAKELPARAM(static_cast<WORD>(client.right), static_cast<WORD>(client.bottom));
    }
    if (fMoved || fSized) Notify(hwnd, WindowChange::kMoved);
    if (fReordered) Notify(hwnd, WindowChange::kZOrder);
    if (fMoved) SendMessage(hwnd, WM_MOVE, 0, moveParam);
    if (fSized) SendMessage(hwnd, WM_SIZE, SIZE_RESTORED, sizeParam);
    if ((flags & SWP_SHOWWINDOW) != 0)
        ShowCommon(hwnd, true, false);
    else if ((flags & SWP_HIDEWINDOW) != 0)
        ShowCommon(hwnd, false, false);
    if (fTop && (flags & SWP_NOACTIVATE) == 0 &&
        ((flags & SWP_NOZORDER) == 0 || (flags & SWP_SHOWWINDOW) != 0) && IsWindowVisible(hwnd) &&
        IsWindowEnabled(hwnd))
        SetActive(hwnd, WA_ACTIVE);
    return TRUE;
}

BOOL MoveWindow(HWND hwnd, int x, int y, int cx, int cy, BOOL fRepaint) {
    return SetWindowPos(hwnd, nullptr, x, y, cx, cy,
                        SWP_NOZORDER | SWP_NOACTIVATE | (fRepaint ? 0 : SWP_NOREDRAW));
}

BOOL BringWindowToTop(HWND hwnd) {
    return SetWindowPos(hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

BOOL GetWindowRect(HWND hwnd, RECT* prc) {
    Lock lock(WaitMutex());
    Window* w = CheckLocked(hwnd);
    if (w == nullptr || prc == nullptr) return FALSE;
    *prc = WindowRectScreenLocked(w);
    return TRUE;
}

BOOL GetClientRect(HWND hwnd, RECT* prc) {
    Lock lock(WaitMutex());
    Window* w = CheckLocked(hwnd);
    if (w == nullptr || prc == nullptr) return FALSE;
    *prc = ClientRectLocked(w);
    return TRUE;
}

BOOL ClientToScreen(HWND hwnd, POINT* ppt) {
    Lock lock(WaitMutex());
    Window* w = CheckLocked(hwnd);
    if (w == nullptr || ppt == nullptr) return FALSE;
    POINT origin = ClientOriginScreenLocked(w);
    ppt->x += origin.x;
    ppt->y += origin.y;
    return TRUE;
}

BOOL ScreenToClient(HWND hwnd, POINT* ppt) {
    Lock lock(WaitMutex());
    Window* w = CheckLocked(hwnd);
    if (w == nullptr || ppt == nullptr) return FALSE;
    POINT origin = ClientOriginScreenLocked(w);
    ppt->x -= origin.x;
    ppt->y -= origin.y;
    return TRUE;
}

int MapWindowPoints(HWND hwndFrom, HWND hwndTo, POINT* ppt, UINT cPoints) {
    Lock lock(WaitMutex());
    POINT from{}, to{};
    if (hwndFrom != nullptr) {
        Window* w = CheckLocked(hwndFrom);
        if (w == nullptr) return 0;
        from = ClientOriginScreenLocked(w);
    }
    if (hwndTo != nullptr) {
        Window* w = CheckLocked(hwndTo);
        if (w == nullptr) return 0;
        to = ClientOriginScreenLocked(w);
    }
    LONG dx = from.x - to.x, dy = from.y - to.y;
    for (UINT i = 0; ppt != nullptr && i < cPoints; ++i) {
        ppt[i].x += dx;
        ppt[i].y += dy;
    }
    return static_cast<int>(MAKELONG(static_cast<WORD>(dx), static_cast<WORD>(dy)));
}

BOOL AdjustWindowRectEx(RECT* prc, DWORD style, BOOL, DWORD) {
    if (prc == nullptr) return FALSE;
    if ((style & WS_CHILD) == 0 && (style & WS_CAPTION) == WS_CAPTION) prc->top -= CAPTION_HEIGHT;
    return TRUE;
}

BOOL GetCaptionRects(HWND hwnd, RECT* prcCaption, RECT* prcClose) {
    Lock lock(WaitMutex());
    Window* w = CheckLocked(hwnd);
    if (w == nullptr || !HasCaptionBar(w)) return FALSE;
    LONG cx = w->rc.right - w->rc.left;
    RECT caption{0, 0, cx, CAPTION_HEIGHT};
    RECT close{};
    if ((w->style & WS_SYSMENU) != 0)
        close = {std::max<LONG>(0, cx - CAPTION_HEIGHT), 0, cx, CAPTION_HEIGHT};
    if (prcCaption != nullptr) *prcCaption = caption;
    if (prcClose != nullptr) *prcClose = close;
    return TRUE;
}

} // namespace host
