// Input routing: mouse and keyboard events from the backends become queued messages.
#include "host/window.h"

#include "host/window_internal.h"

#include <cstdlib>

namespace host {
namespace wnd {
namespace {

// The windows under a point, as seen under the lock; regions are tested afterwards,
// without it, through the screen's hook.
struct HitNode {
    HWND hwnd;
    bool fEnabled;
    POINT ptWindow;                // the point relative to the window rectangle's top left
    LRESULT hit;                   // HTCLIENT, or the caption part of a top-level window
    std::vector<HitNode> children; // front to back, those whose rectangle holds the point
};

HitNode BuildLocked(Window* w, POINT ptScreen) {
    RECT window = WindowRectScreenLocked(w);
    HitNode node{ToHwnd(w),
                 IsEnabledLocked(w),
                 {ptScreen.x - window.left, ptScreen.y - window.top},
                 HTCLIENT,
                 {}};
    POINT origin = ClientOriginScreenLocked(w);
    POINT ptClient{ptScreen.x - origin.x, ptScreen.y - origin.y};
    if (!Contains(ClientRectLocked(w), ptClient)) {
        node.hit = HTCAPTION;
        if ((w->style & WS_SYSMENU) != 0 &&
            node.ptWindow.x >= window.right - window.left - CAPTION_HEIGHT)
            node.hit = HTCLOSE;
        return node;
    }
    for (Window* child : w->children) {
        if ((child->style & WS_VISIBLE) != 0 && !child->fDestroying &&
            Contains(child->rc, ptClient))
            node.children.push_back(BuildLocked(child, ptScreen));
    }
    return node;
}

std::vector<HitNode> BuildTopLevelLocked(POINT ptScreen) {
    std::vector<HitNode> nodes;
    for (Window* t : GetState().topLevel) {
        if ((t->style & WS_VISIBLE) != 0 && !t->fDestroying && Contains(t->rc, ptScreen))
            nodes.push_back(BuildLocked(t, ptScreen));
    }
    return nodes;
}

bool InRegion(const HitNode& node) {
    WindowManagerHooks* hooks = Hooks();
    return hooks == nullptr || hooks->PtInWindowRegion(node.hwnd, node.ptWindow);
}

// A child that answers WM_NCHITTEST with HTTRANSPARENT (a group box, a plain label) lets
// the point through to the sibling below it. Only the calling thread's windows are asked:
// asking another thread's would wait for it.
bool LetsThrough(const HitNode& node) {
    if (GetWindowThreadProcessId(node.hwnd, nullptr) != GetCurrentThreadId()) return false;
    RECT window;
    if (!GetWindowRect(node.hwnd, &window)) return false;
    const LPARAM pt = MAKELPARAM(static_cast<WORD>(window.left + node.ptWindow.x),
                                 static_cast<WORD>(window.top + node.ptWindow.y));
    return SendMessage(node.hwnd, WM_NCHITTEST, 0, pt) == HTTRANSPARENT;
}

// The window that takes the point: null when none does or a disabled top-level window does.
HWND Resolve(const std::vector<HitNode>& tops, LRESULT* pHit) {
    for (const HitNode& top : tops) {
        if (!InRegion(top)) continue;
        if (!top.fEnabled) return nullptr;
        const HitNode* node = &top;
        for (bool fDeeper = true; fDeeper;) {
            fDeeper = false;
            for (const HitNode& child : node->children) {
                if (child.fEnabled && InRegion(child) && !LetsThrough(child)) {
                    node = &child;
                    fDeeper = true;
                    break;
                }
            }
        }
        *pHit = node->hit;
        return node->hwnd;
    }
    return nullptr;
}

WPARAM MouseKeyStateLocked() {
    const BYTE* keys = GetState().keyState;
    WPARAM mk = 0;
    if ((keys[VK_LBUTTON] & 0x80) != 0) mk |= MK_LBUTTON;
    if ((keys[VK_RBUTTON] & 0x80) != 0) mk |= MK_RBUTTON;
    if ((keys[VK_MBUTTON] & 0x80) != 0) mk |= MK_MBUTTON;
    if ((keys[VK_SHIFT] & 0x80) != 0) mk |= MK_SHIFT;
    if ((keys[VK_CONTROL] & 0x80) != 0) mk |= MK_CONTROL;
    return mk;
}

void SetKeyLocked(UINT vk, bool fDown) {
    BYTE& key = GetState().keyState[vk & 0xFF];
    if (fDown && (key & 0x80) == 0) key ^= 1;
    key = static_cast<BYTE>(fDown ? (key | 0x80) : (key & ~0x80));
}

struct ActionInfo {
    UINT clientMsg; // 0: none
    UINT nonClientMsg;
    UINT vk;
    bool fDown;
};

ActionInfo Describe(MouseAction action) {
    switch (action) {
    case MouseAction::kLeftDown:
        return {WM_LBUTTONDOWN, WM_NCLBUTTONDOWN, VK_LBUTTON, true};
    case MouseAction::kLeftUp:
        return {WM_LBUTTONUP, WM_NCLBUTTONUP, VK_LBUTTON, false};
    case MouseAction::kRightDown:
        return {WM_RBUTTONDOWN, WM_NCRBUTTONDOWN, VK_RBUTTON, true};
    case MouseAction::kRightUp:
        return {WM_RBUTTONUP, WM_NCRBUTTONUP, VK_RBUTTON, false};
    case MouseAction::kMiddleDown:
        return {WM_MBUTTONDOWN, 0, VK_MBUTTON, true};
    case MouseAction::kMiddleUp:
        return {WM_MBUTTONUP, 0, VK_MBUTTON, false};
    case MouseAction::kMove:
    default:
        return {WM_MOUSEMOVE, WM_NCMOUSEMOVE, 0, false};
    }
}

// Queues a mouse message; a move replaces a move to the same window still at the tail.
void PostMouseLocked(Queue* q, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if ((msg == WM_MOUSEMOVE || msg == WM_NCMOUSEMOVE) && !q->posted.empty() &&
        q->posted.back().message == msg && q->posted.back().hwnd == hwnd) {
        q->posted.pop_back();
    }
    PostLocked(q, hwnd, msg, wParam, lParam);
}

} // namespace
} // namespace wnd

using namespace wnd;

HWND PostMouseInput(POINT ptScreen, MouseAction action) {
    const ActionInfo info = Describe(action);
    const bool fPress = info.fDown;
    HWND target = nullptr;
    LRESULT hit = HTCLIENT;
    {
        Lock lock(WaitMutex());
        State& s = GetState();
        s.cursorPos = ptScreen;
        if (info.vk != 0) SetKeyLocked(info.vk, info.fDown);
        if (Window* captured = FindLocked(ToHwnd(s.capture))) target = ToHwnd(captured);
    }
    if (target == nullptr) {
        std::vector<HitNode> tops;
        {
            Lock lock(WaitMutex());
            tops = BuildTopLevelLocked(ptScreen);
        }
        target = Resolve(tops, &hit);
        if (target == nullptr) return nullptr;
    }
    if (fPress) {
        HWND root = GetAncestor(target, GA_ROOT);
        if (root != nullptr && GetActiveWindow() != root && IsWindowEnabled(root))
            SetActive(root, WA_CLICKACTIVE);
    }

    Lock lock(WaitMutex());
    State& s = GetState();
    Window* w = FindLocked(target);
    if (w == nullptr || w->queue == nullptr || !w->queue->fAlive) return nullptr;
    if (action == MouseAction::kLeftUp || (action == MouseAction::kLeftDown && hit != HTCLOSE)) {
        // A close box press counts only when released on the same box.
        Window* pressed = FindLocked(ToHwnd(s.closePressed));
        if (pressed != nullptr && !(pressed == w && hit == HTCLOSE)) pressed->fClosePressed = false;
        s.closePressed = 0;
    }
    if (hit != HTCLIENT) {
        if (info.nonClientMsg == 0) return nullptr;
        if (action == MouseAction::kLeftDown && hit == HTCLOSE) {
            w->fClosePressed = true;
            s.closePressed = w->h;
        }
        PostMouseLocked(w->queue.get(), target, info.nonClientMsg, static_cast<WPARAM>(hit),
                        MAKELPARAM(static_cast<WORD>(ptScreen.x), static_cast<WORD>(ptScreen.y)));
        return target;
    }
    POINT origin = ClientOriginScreenLocked(w);
    POINT ptClient{ptScreen.x - origin.x, ptScreen.y - origin.y};
    UINT msg = info.clientMsg;
    if (fPress) {
        const DWORD now = GetTickCount();
        const ClickRecord& last = s.lastClick;
        bool fDouble = (w->cls->style & CS_DBLCLKS) != 0 && last.h == w->h && last.msgDown == msg &&
                       now - last.time <= DOUBLECLICK_TIME &&
                       std::abs(ptScreen.x - last.pt.x) <= DOUBLECLICK_DISTANCE &&
                       std::abs(ptScreen.y - last.pt.y) <= DOUBLECLICK_DISTANCE;
        if (fDouble) {
            s.lastClick = {};
            msg += WM_LBUTTONDBLCLK - WM_LBUTTONDOWN;
        } else {
            s.lastClick = {w->h, msg, ptScreen, now};
        }
    }
    PostMouseLocked(w->queue.get(), target, msg, MouseKeyStateLocked(),
                    MAKELPARAM(static_cast<WORD>(ptClient.x), static_cast<WORD>(ptClient.y)));
    return target;
}

HWND PostMouseWheel(POINT ptScreen, int delta) {
    HWND target = GetFocus();
    if (target == nullptr) {
        std::vector<HitNode> tops;
        {
            Lock lock(WaitMutex());
            tops = BuildTopLevelLocked(ptScreen);
        }
        LRESULT hit;
        target = Resolve(tops, &hit);
    }
    Lock lock(WaitMutex());
    GetState().cursorPos = ptScreen;
    Window* w = FindLocked(target);
    if (w == nullptr || w->queue == nullptr || !w->queue->fAlive) return nullptr;
    PostLocked(w->queue.get(), target, WM_MOUSEWHEEL,
               MAKEWPARAM(static_cast<WORD>(MouseKeyStateLocked()), static_cast<WORD>(delta)),
               MAKELPARAM(static_cast<WORD>(ptScreen.x), static_cast<WORD>(ptScreen.y)));
    return target;
}

HWND PostKeyInput(UINT vk, bool fDown) {
    vk &= 0xFF;
    Lock lock(WaitMutex());
    State& s = GetState();
    const bool fWasDown = (s.keyState[vk] & 0x80) != 0;
    SetKeyLocked(vk, fDown);
    Window* w = FindLocked(ToHwnd(s.focus));
    if (w == nullptr) w = FindLocked(ToHwnd(s.active));
    if (w == nullptr || w->queue == nullptr || !w->queue->fAlive) return nullptr;
    const bool fAlt = (s.keyState[VK_MENU] & 0x80) != 0;
    const bool fSystem = fAlt || vk == VK_F10 || vk == VK_MENU;
    UINT msg = fSystem ? (fDown ? WM_SYSKEYDOWN : WM_SYSKEYUP) : (fDown ? WM_KEYDOWN : WM_KEYUP);
    std::uint32_t bits = 1; // repeat count
    if (fAlt) bits |= 1u << 29;
    if (fWasDown) bits |= 1u << 30;
    if (!fDown) bits |= 1u << 31;
    PostLocked(w->queue.get(), ToHwnd(w), msg, vk, static_cast<LPARAM>(bits));
    return ToHwnd(w);
}

SHORT GetKeyState(int vk) {
    Lock lock(WaitMutex());
    BYTE key = GetState().keyState[vk & 0xFF];
    return static_cast<SHORT>(static_cast<USHORT>(((key & 0x80) != 0 ? 0x8000 : 0) | (key & 1)));
}

SHORT GetAsyncKeyState(int vk) {
    Lock lock(WaitMutex());
    BYTE key = GetState().keyState[vk & 0xFF];
    return static_cast<SHORT>(static_cast<USHORT>((key & 0x80) != 0 ? 0x8000 : 0));
}

BOOL GetCursorPos(POINT* ppt) {
    if (ppt == nullptr) return FALSE;
    Lock lock(WaitMutex());
    *ppt = GetState().cursorPos;
    return TRUE;
}

BOOL SetCursorPos(int x, int y) {
    Lock lock(WaitMutex());
    GetState().cursorPos = {x, y};
    return TRUE;
}

} // namespace host
