#include "host/window.h"

#include "host/codepage.h"
#include "host/error.h"
#include "host/window_impl.h"

#include <algorithm>
#include <cstring>
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

// ---------------------------------------------------------------------------------------
// Rectangles and names

bool IsEmpty(const RECT& rc) {
    return rc.right <= rc.left || rc.bottom <= rc.top;
}

RECT Intersect(const RECT& a, const RECT& b) {
    RECT r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
           std::min(a.bottom, b.bottom)};
    return IsEmpty(r) ? RECT{} : r;
}

RECT Union(const RECT& a, const RECT& b) {
    if (IsEmpty(a)) return b;
    if (IsEmpty(b)) return a;
    return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
            std::max(a.bottom, b.bottom)};
}

RECT Offset(const RECT& rc, LONG dx, LONG dy) {
    return {rc.left + dx, rc.top + dy, rc.right + dx, rc.bottom + dy};
}

bool Contains(const RECT& rc, POINT pt) {
    return pt.x >= rc.left && pt.x < rc.right && pt.y >= rc.top && pt.y < rc.bottom;
}

namespace {

char16_t FoldChar(char16_t c) {
    if (c >= u'A' && c <= u'Z') return static_cast<char16_t>(c + 32);
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<char16_t>(c + 32);
    // Latin Extended-A pairs capitals with small letters, mostly even then odd.
    if ((c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177))
        return static_cast<char16_t>(c | 1);
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E))
        return (c & 1) != 0 ? static_cast<char16_t>(c + 1) : c;
    if (c == 0x178) return 0xFF;
    return c;
}

} // namespace

std::u16string Fold(std::u16string_view text) {
    std::u16string folded(text);
    for (char16_t& c : folded)
        c = FoldChar(c);
    return folded;
}

// ---------------------------------------------------------------------------------------
// Lookups and geometry

Window* FindLocked(HWND hwnd) {
    State& s = GetState();
    auto it = s.windows.find(ToHandle(hwnd));
    return it == s.windows.end() ? nullptr : it->second.get();
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

bool IsVisibleLocked(const Window* w) {
    for (; w != nullptr; w = w->parent) {
        if ((w->style & WS_VISIBLE) == 0) return false;
    }
    return true;
}

bool IsEnabledLocked(const Window* w) {
    return (w->style & WS_DISABLED) == 0;
}

bool IsInSubtreeLocked(const Window* root, Handle h) {
    State& s = GetState();
    auto it = s.windows.find(h);
    if (it == s.windows.end()) return false;
    for (const Window* w = it->second.get(); w != nullptr; w = w->parent) {
        if (w == root) return true;
    }
    return false;
}

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

namespace {

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

bool IsOwnedByLocked(const Window* w, const Window* owner) {
    for (const Window* o = w->owner; o != nullptr; o = o->owner) {
        if (o == owner) return true;
    }
    return false;
}

bool IsTopmost(const Window* w) {
    return (w->exStyle & WS_EX_TOPMOST) != 0;
}

std::size_t BandStartLocked(bool fTopmost) {
    if (fTopmost) return 0;
    const auto& list = GetState().topLevel;
    return static_cast<std::size_t>(
        std::find_if(list.begin(), list.end(), [](Window* t) { return !IsTopmost(t); }) -
        list.begin());
}

std::vector<Window*>& SiblingsLocked(Window* w) {
    return w->parent != nullptr ? w->parent->children : GetState().topLevel;
}

void EraseFromList(std::vector<Window*>& list, Window* w) {
    list.erase(std::remove(list.begin(), list.end(), w), list.end());
}

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

void InsertNewLocked(Window* w) {
    if (w->parent != nullptr) {
        w->parent->children.insert(w->parent->children.begin(), w);
        return;
    }
    auto& list = GetState().topLevel;
    list.insert(list.begin() + static_cast<std::ptrdiff_t>(BandStartLocked(IsTopmost(w))), w);
}

void Notify(HWND hwnd, WindowChange change) {
    if (WindowManagerHooks* hooks = Hooks()) hooks->WindowChanged(hwnd, change);
}

} // namespace

// ---------------------------------------------------------------------------------------
// Removal (the last step of DestroyWindow, and the end of a thread)

void RemoveSubtreeLocked(Window* w) {
    State& s = GetState();
    const std::vector<Window*> children = w->children;
    for (Window* child : children)
        RemoveSubtreeLocked(child);
    EraseFromList(SiblingsLocked(w), w);
    for (auto& entry : s.windows) {
        if (entry.second->owner == w) entry.second->owner = nullptr;
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
    s.windows.erase(h);
}

} // namespace wnd

using namespace wnd;

// ---------------------------------------------------------------------------------------
// Window classes

namespace {

template <class C> std::u16string ToU16(const C* text) {
    if (text == nullptr) return {};
    if constexpr (sizeof(C) == 1)
        return ToUtf16(text);
    else
        return std::u16string(text);
}

template <class C> ATOM RegisterClassT(const WNDCLASST<C>* pClass) {
    if (pClass == nullptr || pClass->lpszClassName == nullptr || pClass->lpszClassName[0] == 0 ||
        pClass->cbWndExtra < 0 || pClass->cbClsExtra < 0 || pClass->cbWndExtra > 4096 ||
        pClass->cbClsExtra > 4096) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    auto cls = std::make_shared<WindowClass>();
    cls->name = ToU16(pClass->lpszClassName);
    cls->fUnicode = sizeof(C) == 2;
    cls->style = pClass->style;
    cls->proc = pClass->lpfnWndProc;
    cls->cbWndExtra = pClass->cbWndExtra;
    cls->hInstance = pClass->hInstance;
    cls->hIcon = pClass->hIcon;
    cls->hCursor = pClass->hCursor;
    cls->hbrBackground = pClass->hbrBackground;
    cls->extra.assign(static_cast<std::size_t>(pClass->cbClsExtra), 0);
    Lock lock(WaitMutex());
    State& s = GetState();
    std::u16string key = Fold(cls->name);
    if (s.classes.count(key) != 0) {
        SetLastError(ERROR_CLASS_ALREADY_EXISTS);
        return 0;
    }
    cls->atom = s.nextAtom++;
    s.classes.emplace(std::move(key), cls);
    return cls->atom;
}

std::shared_ptr<WindowClass> FindClassLocked(const std::u16string& name) {
    State& s = GetState();
    auto it = s.classes.find(Fold(name));
    return it == s.classes.end() ? nullptr : it->second;
}

template <class C> BOOL GetClassInfoT(const C* name, WNDCLASST<C>* pClass) {
    if (name == nullptr || pClass == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    Lock lock(WaitMutex());
    auto cls = FindClassLocked(ToU16(name));
    if (cls == nullptr) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    *pClass = {};
    pClass->style = cls->style;
    pClass->lpfnWndProc = cls->proc;
    pClass->cbClsExtra = static_cast<int>(cls->extra.size());
    pClass->cbWndExtra = cls->cbWndExtra;
    pClass->hInstance = cls->hInstance;
    pClass->hIcon = cls->hIcon;
    pClass->hCursor = cls->hCursor;
    pClass->hbrBackground = cls->hbrBackground;
    pClass->lpszClassName = name;
    return TRUE;
}

template <class C> BOOL UnregisterClassT(const C* name) {
    if (name == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    Lock lock(WaitMutex());
    State& s = GetState();
    auto it = s.classes.find(Fold(ToU16(name)));
    if (it == s.classes.end()) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    if (it->second->cWindows > 0) {
        SetLastError(ERROR_CLASS_HAS_WINDOWS);
        return FALSE;
    }
    s.classes.erase(it);
    return TRUE;
}

// Copies text into a caller's buffer of cchMax units with a terminator, never cutting a
// character in half; returns the units copied.
int CopyOut(std::u16string_view text, char16_t* buffer, int cchMax) {
    if (buffer == nullptr || cchMax <= 0) return 0;
    std::size_t n = std::min<std::size_t>(text.size(), static_cast<std::size_t>(cchMax - 1));
    if (n > 0 && n < text.size() && text[n - 1] >= 0xD800 && text[n - 1] <= 0xDBFF) --n;
    std::copy_n(text.data(), n, buffer);
    buffer[n] = 0;
    return static_cast<int>(n);
}

int CopyOut(std::string_view text, char* buffer, int cchMax) {
    if (buffer == nullptr || cchMax <= 0) return 0;
    std::size_t n = std::min<std::size_t>(text.size(), static_cast<std::size_t>(cchMax - 1));
    while (n > 0 && n < text.size() && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80)
        --n;
    std::copy_n(text.data(), n, buffer);
    buffer[n] = 0;
    return static_cast<int>(n);
}

} // namespace

ATOM RegisterClass(const WNDCLASSA* pClass) {
    return RegisterClassT(pClass);
}
ATOM RegisterClass(const WNDCLASSW* pClass) {
    return RegisterClassT(pClass);
}

BOOL GetClassInfo(HINSTANCE, const char* name, WNDCLASSA* pClass) {
    return GetClassInfoT(name, pClass);
}
BOOL GetClassInfo(HINSTANCE, const char16_t* name, WNDCLASSW* pClass) {
    return GetClassInfoT(name, pClass);
}

BOOL UnregisterClass(const char* name, HINSTANCE) {
    return UnregisterClassT(name);
}
BOOL UnregisterClass(const char16_t* name, HINSTANCE) {
    return UnregisterClassT(name);
}

int GetClassName(HWND hwnd, char* buffer, int cchMax) {
    Lock lock(WaitMutex());
    Window* w = CheckLocked(hwnd);
    return w != nullptr ? CopyOut(ToUtf8(w->cls->name), buffer, cchMax) : 0;
}

int GetClassName(HWND hwnd, char16_t* buffer, int cchMax) {
    Lock lock(WaitMutex());
    Window* w = CheckLocked(hwnd);
    return w != nullptr ? CopyOut(w->cls->name, buffer, cchMax) : 0;
}

LONG_PTR GetClassLongPtr(HWND hwnd, int index) {
    Lock lock(WaitMutex());
    Window* w = CheckLocked(hwnd);
    if (w == nullptr) return 0;
    const WindowClass& cls = *w->cls;
    switch (index) {
    case GCL_CBWNDEXTRA:
        return cls.cbWndExtra;
    case GCL_CBCLSEXTRA:
        return static_cast<LONG_PTR>(cls.extra.size());
    case GCLP_WNDPROC:
        return reinterpret_cast<LONG_PTR>(cls.proc);
    case GCL_STYLE:
        return cls.style;
    case GCLP_HBRBACKGROUND:
        return reinterpret_cast<LONG_PTR>(cls.hbrBackground);
    case GCLP_HCURSOR:
        return reinterpret_cast<LONG_PTR>(cls.hCursor);
    case GCLP_HICON:
        return reinterpret_cast<LONG_PTR>(cls.hIcon);
    default:
        break;
    }
    if (index < 0 || static_cast<std::size_t>(index) + sizeof(LONG_PTR) > cls.extra.size()) {
        SetLastError(ERROR_INVALID_INDEX);
        return 0;
    }
    LONG_PTR value;
    std::memcpy(&value, cls.extra.data() + index, sizeof value);
    return value;
}

LONG_PTR SetClassLongPtr(HWND hwnd, int index, LONG_PTR value) {
    Lock lock(WaitMutex());
    Window* w = CheckLocked(hwnd);
    if (w == nullptr) return 0;
    WindowClass& cls = *w->cls;
    auto swap = [&](auto& field) {
        LONG_PTR previous;
        if constexpr (std::is_pointer_v<std::remove_reference_t<decltype(field)>>) {
            previous = reinterpret_cast<LONG_PTR>(field);
            field = reinterpret_cast<std::remove_reference_t<decltype(field)>>(value);
        } else {
            previous = static_cast<LONG_PTR>(field);
            field = static_cast<std::remove_reference_t<decltype(field)>>(value);
        }
        return previous;
    };
    switch (index) {
    case GCLP_WNDPROC:
        return swap(cls.proc);
    case GCL_STYLE:
        return swap(cls.style);
    case GCLP_HBRBACKGROUND:
        return swap(cls.hbrBackground);
    case GCLP_HCURSOR:
        return swap(cls.hCursor);
    case GCLP_HICON:
        return swap(cls.hIcon);
    default:
        break;
    }
    if (index < 0 || static_cast<std::size_t>(index) + sizeof(LONG_PTR) > cls.extra.size()) {
        SetLastError(ERROR_INVALID_INDEX);
        return 0;
    }
    LONG_PTR previous;
    std::memcpy(&previous, cls.extra.data() + index, sizeof previous);
    std::memcpy(cls.extra.data() + index, &value, sizeof value);
    return previous;
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
        w->h = h = s.nextHandle;
        s.nextHandle += 4;
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
        s.windows.emplace(h, w);
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

void CollectDescendantsLocked(const Window* w, std::vector<HWND>& out) {
    for (const Window* child : w->children) {
        out.push_back(ToHwnd(child));
        CollectDescendantsLocked(child, out);
    }
}

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
    std::u16string foldedClass = className != nullptr ? Fold(*className) : std::u16string();
    std::u16string foldedTitle = title != nullptr ? Fold(*title) : std::u16string();
    Lock lock(WaitMutex());
    for (Window* t : GetState().topLevel) {
        if (t->fDestroying) continue;
        if (className != nullptr && Fold(t->cls->name) != foldedClass) continue;
        if (title != nullptr && Fold(t->text) != foldedTitle) continue;
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

// ---------------------------------------------------------------------------------------
// Window words and properties

namespace {

LONG_PTR ReadExtraLocked(Window* w, int index, std::size_t cb) {
    if (index < 0 || static_cast<std::size_t>(index) + cb > w->extra.size()) {
        SetLastError(ERROR_INVALID_INDEX);
        return 0;
    }
    if (cb == sizeof(LONG)) {
        LONG value;
        std::memcpy(&value, w->extra.data() + index, sizeof value);
        return value;
    }
    LONG_PTR value;
    std::memcpy(&value, w->extra.data() + index, sizeof value);
    return value;
}

LONG_PTR GetWindowWord(HWND hwnd, int index, std::size_t cb) {
    Lock lock(WaitMutex());
    Window* w = CheckLocked(hwnd);
    if (w == nullptr) return 0;
    switch (index) {
    case GWLP_WNDPROC:
        return reinterpret_cast<LONG_PTR>(w->proc);
    case GWLP_HINSTANCE:
        return reinterpret_cast<LONG_PTR>(w->hInstance);
    case GWLP_HWNDPARENT:
        return reinterpret_cast<LONG_PTR>(ToHwnd(w->parent != nullptr ? w->parent : w->owner));
    case GWLP_ID:
        return w->id;
    case GWL_STYLE:
        return static_cast<LONG_PTR>(w->style);
    case GWL_EXSTYLE:
        return static_cast<LONG_PTR>(w->exStyle);
    case GWLP_USERDATA:
        return w->userData;
    default:
        return ReadExtraLocked(w, index, cb);
    }
}

LONG_PTR SetStyle(HWND hwnd, int index, DWORD value) {
    STYLESTRUCT ss{};
    {
        Lock lock(WaitMutex());
        Window* w = CheckLocked(hwnd);
        if (w == nullptr) return 0;
        ss.styleOld = index == GWL_STYLE ? w->style : w->exStyle;
    }
    ss.styleNew = value;
    SendMessage(hwnd, WM_STYLECHANGING, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&ss));
    {
        Lock lock(WaitMutex());
        Window* w = CheckLocked(hwnd);
        if (w == nullptr) return 0;
        (index == GWL_STYLE ? w->style : w->exStyle) = ss.styleNew;
    }
    SendMessage(hwnd, WM_STYLECHANGED, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&ss));
    Notify(hwnd, WindowChange::kStyle);
    SetLastError(ERROR_SUCCESS);
    return static_cast<LONG_PTR>(ss.styleOld);
}

LONG_PTR SetWindowWord(HWND hwnd, int index, LONG_PTR value, std::size_t cb) {
    if (index == GWL_STYLE || index == GWL_EXSTYLE)
        return SetStyle(hwnd, index, static_cast<DWORD>(value));
    Lock lock(WaitMutex());
    Window* w = CheckLocked(hwnd);
    if (w == nullptr) return 0;
    LONG_PTR previous = 0;
    switch (index) {
    case GWLP_WNDPROC:
        if (value == 0) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
        previous = reinterpret_cast<LONG_PTR>(w->proc);
        w->proc = reinterpret_cast<WNDPROC>(value);
        break;
    case GWLP_HINSTANCE:
        previous = reinterpret_cast<LONG_PTR>(w->hInstance);
        w->hInstance = reinterpret_cast<HINSTANCE>(value);
        break;
    case GWLP_HWNDPARENT: {
        if (w->parent != nullptr) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
        Window* owner = RootLocked(FindLocked(reinterpret_cast<HWND>(value)));
        if ((value != 0 && owner == nullptr) || owner == w ||
            (owner != nullptr && IsOwnedByLocked(owner, w))) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
        previous = reinterpret_cast<LONG_PTR>(ToHwnd(w->owner));
        w->owner = owner;
        break;
    }
    case GWLP_ID:
        previous = w->id;
        w->id = value;
        break;
    case GWLP_USERDATA:
        previous = w->userData;
        w->userData = value;
        break;
    default: {
        if (index < 0 || static_cast<std::size_t>(index) + cb > w->extra.size()) {
            SetLastError(ERROR_INVALID_INDEX);
            return 0;
        }
        if (cb == sizeof(LONG)) {
            if (value < INT32_MIN || value > static_cast<LONG_PTR>(UINT32_MAX)) {
                SetLastError(ERROR_INVALID_PARAMETER);
                return 0;
            }
            LONG old, word = static_cast<LONG>(static_cast<std::uint32_t>(value));
            std::memcpy(&old, w->extra.data() + index, sizeof old);
            std::memcpy(w->extra.data() + index, &word, sizeof word);
            previous = old;
        } else {
            std::memcpy(&previous, w->extra.data() + index, sizeof previous);
            std::memcpy(w->extra.data() + index, &value, sizeof value);
        }
        break;
    }
    }
    SetLastError(ERROR_SUCCESS);
    return previous;
}

} // namespace

LONG_PTR GetWindowLongPtr(HWND hwnd, int index) {
    return GetWindowWord(hwnd, index, sizeof(LONG_PTR));
}
LONG_PTR SetWindowLongPtr(HWND hwnd, int index, LONG_PTR value) {
    return SetWindowWord(hwnd, index, value, sizeof(LONG_PTR));
}
LONG_PTR GetWindowLong(HWND hwnd, int index) {
    return GetWindowWord(hwnd, index, sizeof(LONG));
}
LONG_PTR SetWindowLong(HWND hwnd, int index, LONG_PTR value) {
    return SetWindowWord(hwnd, index, value, sizeof(LONG));
}

LRESULT CallWindowProc(WNDPROC proc, HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    return proc != nullptr ? proc(hwnd, uMsg, wParam, lParam) : 0;
}

namespace {

BOOL SetPropCommon(HWND hwnd, const std::u16string& name, HANDLE value) {
    Lock lock(WaitMutex());
    Window* w = CheckLocked(hwnd);
    if (w == nullptr) return FALSE;
    w->props[Fold(name)] = value;
    return TRUE;
}

HANDLE GetPropCommon(HWND hwnd, const std::u16string& name, bool fRemove) {
    Lock lock(WaitMutex());
    Window* w = CheckLocked(hwnd);
    if (w == nullptr) return nullptr;
    auto it = w->props.find(Fold(name));
    if (it == w->props.end()) return nullptr;
    HANDLE value = it->second;
    if (fRemove) w->props.erase(it);
    return value;
}

} // namespace

BOOL SetProp(HWND hwnd, std::string_view name, HANDLE value) {
    return SetPropCommon(hwnd, ToUtf16(name), value);
}
BOOL SetProp(HWND hwnd, std::u16string_view name, HANDLE value) {
    return SetPropCommon(hwnd, std::u16string(name), value);
}
HANDLE GetProp(HWND hwnd, std::string_view name) {
    return GetPropCommon(hwnd, ToUtf16(name), false);
}
HANDLE GetProp(HWND hwnd, std::u16string_view name) {
    return GetPropCommon(hwnd, std::u16string(name), false);
}
HANDLE RemoveProp(HWND hwnd, std::string_view name) {
    return GetPropCommon(hwnd, ToUtf16(name), true);
}
HANDLE RemoveProp(HWND hwnd, std::u16string_view name) {
    return GetPropCommon(hwnd, std::u16string(name), true);
}

// ---------------------------------------------------------------------------------------
// Text

BOOL SetWindowText(HWND hwnd, std::string_view text) {
    if (!IsWindow(hwnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if (IsWindowUnicode(hwnd)) {
        std::u16string wide = ToUtf16(text);
        return static_cast<BOOL>(
            SendMessage(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.c_str())));
    }
    std::string narrow(text);
    return static_cast<BOOL>(
        SendMessage(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(narrow.c_str())));
}

BOOL SetWindowText(HWND hwnd, std::u16string_view text) {
    if (!IsWindow(hwnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if (IsWindowUnicode(hwnd)) {
        std::u16string wide(text);
        return static_cast<BOOL>(
            SendMessage(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.c_str())));
    }
    std::string narrow = ToUtf8(text);
    return static_cast<BOOL>(
        SendMessage(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(narrow.c_str())));
}

namespace {

// The window's text through WM_GETTEXT, as UTF-16.
bool ReadWindowText(HWND hwnd, std::u16string* text) {
    if (!IsWindow(hwnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return false;
    }
    // A procedure that answers nonsense must not make us allocate it.
    LRESULT cch = std::clamp<LRESULT>(SendMessage(hwnd, WM_GETTEXTLENGTH, 0, 0), 0, 1 << 20);
    if (IsWindowUnicode(hwnd)) {
        std::u16string buffer(static_cast<std::size_t>(cch) + 1, u'\0');
        LRESULT got =
            SendMessage(hwnd, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()));
        buffer.resize(static_cast<std::size_t>(std::clamp<LRESULT>(got, 0, cch)));
        *text = std::move(buffer);
    } else {
        std::string buffer(static_cast<std::size_t>(cch) + 1, '\0');
        LRESULT got =
            SendMessage(hwnd, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()));
        buffer.resize(static_cast<std::size_t>(std::clamp<LRESULT>(got, 0, cch)));
        *text = ToUtf16(buffer);
    }
    return true;
}

} // namespace

int GetWindowText(HWND hwnd, char* buffer, int cchMax) {
    std::u16string text;
    if (!ReadWindowText(hwnd, &text)) {
        if (buffer != nullptr && cchMax > 0) buffer[0] = 0;
        return 0;
    }
    return CopyOut(ToUtf8(text), buffer, cchMax);
}

int GetWindowText(HWND hwnd, char16_t* buffer, int cchMax) {
    std::u16string text;
    if (!ReadWindowText(hwnd, &text)) {
        if (buffer != nullptr && cchMax > 0) buffer[0] = 0;
        return 0;
    }
    return CopyOut(text, buffer, cchMax);
}

int InternalGetWindowText(HWND hwnd, char16_t* buffer, int cchMax) {
    Lock lock(WaitMutex());
    Window* w = CheckLocked(hwnd);
    if (w == nullptr) {
        CopyOut(std::u16string_view(), buffer, cchMax);
        return 0;
    }
    return CopyOut(w->text, buffer, cchMax);
}

int GetWindowTextLength(HWND hwnd) {
    if (!IsWindow(hwnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    return static_cast<int>(SendMessage(hwnd, WM_GETTEXTLENGTH, 0, 0));
}

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
        if (static_cast<SHORT>(LOWORD(static_cast<std::uintptr_t>(lParam))) != HTCLIENT)
            return FALSE;
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

WindowManagerHooks* SetWindowManagerHooks(WindowManagerHooks* hooks) {
    return g_hooks.exchange(hooks);
}

} // namespace host
