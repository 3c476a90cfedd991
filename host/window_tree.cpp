#include "host/window.h"

#include "host/codepage.h"
#include "host/error.h"
#include "host/window_internal.h"

#include <algorithm>
#include <unistd.h>

namespace host {
namespace wnd {

State& GetState() {
    static State* state = new State;
    return *state;
}

namespace {
std::atomic<WindowManagerHooks*> g_hooks{nullptr};
}

WindowManagerHooks* Hooks() {
    return g_hooks.load();
}

void Notify(HWND hwnd, WindowChange change) {
    if (WindowManagerHooks* hooks = Hooks()) hooks->WindowChanged(hwnd, change);
}

// ---------------------------------------------------------------------------------------
// Lookups and geometry

Window* FindLocked(HWND hwnd) {
    // The table keeps the window alive until RemoveSubtreeLocked takes it out, which happens
    // under the same lock as this lookup.
    return handles::Lookup<Window>(hwnd, HandleKind::Window).get();
}

Window* CheckLocked(HWND hwnd) {
    Window* w = FindLocked(hwnd);
    if (w == nullptr) SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return w;
}

HWND LiveHwnd(Handle h) {
    if (h == 0) return nullptr;
    Lock lock(WaitMutex());
    return FindLocked(ToHwnd(h)) != nullptr ? ToHwnd(h) : nullptr;
}

Window* RootLocked(Window* w) {
    while (w != nullptr && w->parent != nullptr)
        w = w->parent;
    return w;
}

bool IsInSubtreeLocked(const Window* root, Handle h) {
    for (const Window* w = FindLocked(ToHwnd(h)); w != nullptr; w = w->parent) {
        if (w == root) return true;
    }
    return false;
}

std::vector<Window*>& SiblingsLocked(Window* w) {
    return w->parent != nullptr ? w->parent->children : GetState().topLevel;
}

void EraseFromList(std::vector<Window*>& list, Window* w) {
    list.erase(std::remove(list.begin(), list.end(), w), list.end());
}

// ---------------------------------------------------------------------------------------
// Removal (the last step of DestroyWindow, and the end of a thread)

void RemoveSubtreeLocked(Window* w) {
    State& s = GetState();
    const std::vector<Window*> children = w->children;
    for (Window* child : children)
        RemoveSubtreeLocked(child);
    EraseFromList(SiblingsLocked(w), w);
    for (const std::shared_ptr<Window>& other : handles::All<Window>(HandleKind::Window)) {
        if (other->owner == w) other->owner = nullptr;
    }
    const Handle h = w->h;
    if (Queue* q = w->queue.get()) {
        std::erase_if(q->timers, [h](const Timer& t) { return t.h == h; });
        std::erase_if(q->posted, [h](const MSG& m) { return ToHandle(m.hwnd) == h; });
        q->paintPending.erase(h);
    }
    if (s.active == h) s.active = 0;
    if (s.focus == h) s.focus = 0;
    if (s.capture == h) s.capture = 0;
    if (s.lastClick.h == h) s.lastClick = {};
    w->cls->cWindows--;
    handles::Remove<Window>(ToHwnd(h), HandleKind::Window);
}

void CollectDescendantsLocked(const Window* w, std::vector<HWND>& out) {
    for (const Window* child : w->children) {
        out.push_back(ToHwnd(child));
        CollectDescendantsLocked(child, out);
    }
}

} // namespace wnd

using namespace wnd;

WindowManagerHooks* SetWindowManagerHooks(WindowManagerHooks* hooks) {
    return g_hooks.exchange(hooks);
}

// ---------------------------------------------------------------------------------------
// Creating and destroying

namespace {

HWND CreateWindowCommon(DWORD dwExStyle, const std::u16string& className,
                        const std::u16string* windowName, DWORD style, int x, int y, int cx, int cy,
                        HWND hwndParent, HMENU hMenu, HINSTANCE hInstance, void* lpParam) {
    if (x == CW_USEDEFAULT) x = y = 0;
    if (cx == CW_USEDEFAULT) cx = cy = 0;
    cx = std::max(cx, 0);
    cy = std::max(cy, 0);
    Handle h;
    bool fUnicode;
    {
        Lock lock(WaitMutex());
        State& s = GetState();
        auto cls = FindClassLocked(className);
        if (cls == nullptr) {
            SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
            return nullptr;
        }
        Window* parent = nullptr;
        if (hwndParent != nullptr) {
            parent = CheckLocked(hwndParent);
            if (parent == nullptr) return nullptr;
        }
        if ((style & WS_CHILD) != 0 && parent == nullptr) {
            SetLastError(ERROR_TLW_WITH_WSCHILD);
            return nullptr;
        }
        auto w = std::make_shared<Window>();
        // Nobody finds the window before it is complete: lookups take the lock held here.
        w->h = h = handles::ValueOf(handles::Add(HandleKind::Window, w));
        if (h == 0) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
        w->cls = cls;
        cls->cWindows++;
        Queue* q = CurrentQueueLocked();
        w->queue = s.queues.at(q->tid);
        w->tid = q->tid;
        w->proc = cls->proc;
        w->style = style & ~WS_VISIBLE; // shown once created
        w->exStyle = dwExStyle;
        w->hInstance = hInstance;
        w->rc = {x, y, x + cx, y + cy};
        w->extra.assign(static_cast<std::size_t>(cls->cbWndExtra), 0);
        if ((style & WS_CHILD) != 0) {
            w->parent = parent;
            w->id = reinterpret_cast<LONG_PTR>(hMenu);
        } else {
            w->owner = RootLocked(parent);
            if (w->owner != nullptr && IsTopmost(w->owner)) w->exStyle |= WS_EX_TOPMOST;
        }
        fUnicode = cls->fUnicode;
        InsertNewLocked(w.get());
    }
    HWND hwnd = ToHwnd(h);
    Notify(hwnd, WindowChange::kCreated);

    std::u16string nameW = windowName != nullptr ? *windowName : std::u16string();
    std::string nameA = ToUtf8(nameW);
    std::string classA = ToUtf8(className);
    CREATESTRUCTW csW{lpParam,
                      hInstance,
                      hMenu,
                      hwndParent,
                      cy,
                      cx,
                      y,
                      x,
                      static_cast<LONG>(style),
                      windowName != nullptr ? nameW.c_str() : nullptr,
                      className.c_str(),
                      dwExStyle};
    CREATESTRUCTA csA{lpParam,
                      hInstance,
                      hMenu,
                      hwndParent,
                      cy,
                      cx,
                      y,
                      x,
                      static_cast<LONG>(style),
                      windowName != nullptr ? nameA.c_str() : nullptr,
                      classA.c_str(),
                      dwExStyle};
    LPARAM cs = fUnicode ? reinterpret_cast<LPARAM>(&csW) : reinterpret_cast<LPARAM>(&csA);

    if (SendMessage(hwnd, WM_NCCREATE, 0, cs) == 0) {
        if (IsWindow(hwnd)) {
            SendMessage(hwnd, WM_NCDESTROY, 0, 0);
            Lock lock(WaitMutex());
            if (Window* w = FindLocked(hwnd)) RemoveSubtreeLocked(w);
        }
        return nullptr;
    }
    if (SendMessage(hwnd, WM_CREATE, 0, cs) == -1) {
        DestroyWindow(hwnd);
        return nullptr;
    }
    LPARAM moveParam = 0, sizeParam = 0;
    {
        Lock lock(WaitMutex());
        Window* w = FindLocked(hwnd);
        if (w == nullptr) return nullptr;
        POINT origin{w->rc.left, w->rc.top + (HasCaptionBar(w) ? CAPTION_HEIGHT : 0)};
        RECT client = ClientRectLocked(w);
        moveParam = MAKELPARAM(static_cast<WORD>(origin.x), static_cast<WORD>(origin.y));
        sizeParam = MAKELPARAM(static_cast<WORD>(client.right), static_cast<WORD>(client.bottom));
    }
    SendMessage(hwnd, WM_MOVE, 0, moveParam);
    SendMessage(hwnd, WM_SIZE, SIZE_RESTORED, sizeParam);
    if ((style & WS_VISIBLE) != 0 && IsWindow(hwnd)) ShowWindow(hwnd, SW_SHOW);
    return IsWindow(hwnd) ? hwnd : nullptr;
}

} // namespace

HWND CreateWindowEx(DWORD dwExStyle, const char* className, const char* windowName, DWORD style,
                    int x, int y, int cx, int cy, HWND hwndParent, HMENU hMenu, HINSTANCE hInstance,
                    void* lpParam) {
    if (className == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::u16string name = ToU16(windowName);
    return CreateWindowCommon(dwExStyle, ToU16(className), windowName ? &name : nullptr, style, x,
                              y, cx, cy, hwndParent, hMenu, hInstance, lpParam);
}

HWND CreateWindowEx(DWORD dwExStyle, const char16_t* className, const char16_t* windowName,
                    DWORD style, int x, int y, int cx, int cy, HWND hwndParent, HMENU hMenu,
                    HINSTANCE hInstance, void* lpParam) {
    if (className == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::u16string name = ToU16(windowName);
    return CreateWindowCommon(dwExStyle, ToU16(className), windowName ? &name : nullptr, style, x,
                              y, cx, cy, hwndParent, hMenu, hInstance, lpParam);
}

namespace {

void MarkDestroyingLocked(Window* w) {
    w->fDestroying = true;
    for (Window* child : w->children)
        MarkDestroyingLocked(child);
}

std::vector<HWND> ChildHandlesLocked(const Window* w) {
    std::vector<HWND> handles;
    for (const Window* child : w->children)
        handles.push_back(ToHwnd(child));
    return handles;
}

void SendDestroy(HWND hwnd) {
    SendMessage(hwnd, WM_DESTROY, 0, 0);
    std::vector<HWND> children;
    {
        Lock lock(WaitMutex());
        if (Window* w = FindLocked(hwnd)) children = ChildHandlesLocked(w);
    }
    for (HWND child : children)
        SendDestroy(child);
}

void SendNcDestroy(HWND hwnd) {
    std::vector<HWND> children;
    {
        Lock lock(WaitMutex());
        if (Window* w = FindLocked(hwnd)) children = ChildHandlesLocked(w);
    }
    for (HWND child : children)
        SendNcDestroy(child);
    SendMessage(hwnd, WM_NCDESTROY, 0, 0);
}

} // namespace

BOOL DestroyWindow(HWND hwnd) {
    std::vector<HWND> owned;
    {
        Lock lock(WaitMutex());
        Window* w = CheckLocked(hwnd);
        if (w == nullptr) return FALSE;
        if (w->tid != CurrentThreadId()) {
            SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
        if (w->fDestroying) return TRUE;
        for (Window* t : GetState().topLevel) {
            if (t->owner == w) owned.push_back(ToHwnd(t));
        }
    }
    for (HWND o : owned)
        DestroyWindow(o);

    bool fWasVisible;
    {
        Lock lock(WaitMutex());
        Window* w = FindLocked(hwnd);
        if (w == nullptr || w->fDestroying) return TRUE;
        MarkDestroyingLocked(w);
        fWasVisible = IsVisibleLocked(w);
        if (fWasVisible) {
            w->style &= ~WS_VISIBLE;
            ExposeLocked(w, w->rc);
        }
    }
    Notify(hwnd, WindowChange::kDestroyed);
    LeaveWindow(hwnd, true);
    SendDestroy(hwnd);
    SendNcDestroy(hwnd);
    Lock lock(WaitMutex());
    if (Window* w = FindLocked(hwnd)) RemoveSubtreeLocked(w);
    WakeWaiters();
    return TRUE;
}

BOOL IsWindow(HWND hwnd) {
    Lock lock(WaitMutex());
    return FindLocked(hwnd) != nullptr;
}

BOOL IsWindowUnicode(HWND hwnd) {
    Lock lock(WaitMutex());
    Window* w = CheckLocked(hwnd);
    return w != nullptr && w->cls->fUnicode;
}

DWORD GetWindowThreadProcessId(HWND hwnd, DWORD* pProcessId) {
    Lock lock(WaitMutex());
    Window* w = CheckLocked(hwnd);
    if (w == nullptr) return 0;
    if (pProcessId != nullptr) *pProcessId = static_cast<DWORD>(::getpid());
    return w->tid;
}

// ---------------------------------------------------------------------------------------
// The tree

HWND GetWindow(HWND hwnd, UINT uCmd) {
    Lock lock(WaitMutex());
    Window* w = CheckLocked(hwnd);
    if (w == nullptr) return nullptr;
    if (uCmd == GW_OWNER) return ToHwnd(w->owner);
    if (uCmd == GW_CHILD) return w->children.empty() ? nullptr : ToHwnd(w->children.front());
    if (uCmd == GW_ENABLEDPOPUP) {
        for (Window* t : GetState().topLevel) {
            if (t->owner == w && IsVisibleLocked(t) && IsEnabledLocked(t)) return ToHwnd(t);
        }
        return nullptr;
    }
    const auto& list = SiblingsLocked(w);
    auto it = std::find(list.begin(), list.end(), w);
    switch (uCmd) {
    case GW_HWNDFIRST:
        return ToHwnd(list.front());
    case GW_HWNDLAST:
        return ToHwnd(list.back());
    case GW_HWNDNEXT:
        return it + 1 != list.end() ? ToHwnd(*(it + 1)) : nullptr;
    case GW_HWNDPREV:
        return it != list.begin() ? ToHwnd(*(it - 1)) : nullptr;
    default:
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
}

HWND GetParent(HWND hwnd) {
    Lock lock(WaitMutex());
    Window* w = CheckLocked(hwnd);
    if (w == nullptr) return nullptr;
    return ToHwnd(w->parent != nullptr ? w->parent : w->owner);
}

HWND GetAncestor(HWND hwnd, UINT gaFlags) {
    Lock lock(WaitMutex());
    Window* w = CheckLocked(hwnd);
    if (w == nullptr) return nullptr;
    switch (gaFlags) {
    case GA_PARENT:
        return ToHwnd(w->parent);
    case GA_ROOT:
        return ToHwnd(RootLocked(w));
    case GA_ROOTOWNER: {
        Window* root = RootLocked(w);
        while (root->owner != nullptr)
            root = root->owner;
        return ToHwnd(root);
    }
    default:
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
}

HWND GetTopWindow(HWND hwnd) {
    Lock lock(WaitMutex());
    if (hwnd == nullptr) {
        const auto& list = GetState().topLevel;
        return list.empty() ? nullptr : ToHwnd(list.front());
    }
    Window* w = CheckLocked(hwnd);
    return w != nullptr && !w->children.empty() ? ToHwnd(w->children.front()) : nullptr;
}

BOOL IsChild(HWND hwndParent, HWND hwnd) {
    Lock lock(WaitMutex());
    Window* parent = FindLocked(hwndParent);
    return parent != nullptr && hwnd != hwndParent && IsInSubtreeLocked(parent, ToHandle(hwnd));
}

namespace {

BOOL EnumHandles(const std::vector<HWND>& handles, WNDENUMPROC proc, LPARAM lParam) {
    if (proc == nullptr) return FALSE;
    for (HWND hwnd : handles) {
        if (IsWindow(hwnd) && !proc(hwnd, lParam)) return FALSE;
    }
    return TRUE;
}

} // namespace

BOOL EnumWindows(WNDENUMPROC proc, LPARAM lParam) {
    std::vector<HWND> handles;
    {
        Lock lock(WaitMutex());
        for (Window* t : GetState().topLevel)
            handles.push_back(ToHwnd(t));
    }
    return EnumHandles(handles, proc, lParam);
}

BOOL EnumChildWindows(HWND hwndParent, WNDENUMPROC proc, LPARAM lParam) {
    std::vector<HWND> handles;
    {
        Lock lock(WaitMutex());
        Window* w = CheckLocked(hwndParent);
        if (w == nullptr) return FALSE;
        CollectDescendantsLocked(w, handles);
    }
    return EnumHandles(handles, proc, lParam);
}

BOOL EnumThreadWindows(DWORD threadId, WNDENUMPROC proc, LPARAM lParam) {
    std::vector<HWND> handles;
    {
        Lock lock(WaitMutex());
        for (Window* t : GetState().topLevel) {
            if (t->tid == threadId) handles.push_back(ToHwnd(t));
        }
    }
    return EnumHandles(handles, proc, lParam);
}

namespace {

HWND FindWindowCommon(const std::u16string* className, const std::u16string* title) {
    std::u16string foldedClass = className != nullptr ? FoldCase(*className) : std::u16string();
    std::u16string foldedTitle = title != nullptr ? FoldCase(*title) : std::u16string();
    Lock lock(WaitMutex());
    for (Window* t : GetState().topLevel) {
        if (t->fDestroying) continue;
        if (className != nullptr && FoldCase(t->cls->name) != foldedClass) continue;
        if (title != nullptr && FoldCase(t->text) != foldedTitle) continue;
        return ToHwnd(t);
    }
    return nullptr;
}

} // namespace

HWND FindWindow(const char* className, const char* windowName) {
    std::u16string cls = ToU16(className), title = ToU16(windowName);
    return FindWindowCommon(className ? &cls : nullptr, windowName ? &title : nullptr);
}

HWND FindWindow(const char16_t* className, const char16_t* windowName) {
    std::u16string cls = ToU16(className), title = ToU16(windowName);
    return FindWindowCommon(className ? &cls : nullptr, windowName ? &title : nullptr);
}

HWND GetDlgItem(HWND hwndParent, int id) {
    Lock lock(WaitMutex());
    Window* w = CheckLocked(hwndParent);
    if (w == nullptr) return nullptr;
    for (Window* child : w->children) {
        if (child->id == id) return ToHwnd(child);
    }
    return nullptr;
}

int GetDlgCtrlID(HWND hwnd) {
    Lock lock(WaitMutex());
    Window* w = CheckLocked(hwnd);
    return w != nullptr && w->parent != nullptr ? static_cast<int>(w->id) : 0;
}

} // namespace host
