// Internal to the window service (window_*.cpp, message.cpp, input.cpp): the records behind
// handles and the helpers these files share.
//
// window_tree.cpp    the window table, lookups, creation and destruction, the tree, find
// window_class.cpp   window classes
// window_data.cpp    window words, properties and text
// window_pos.cpp     geometry, position, size, Z order and coordinate mapping
// window_state.cpp   visibility, enabling, activation, focus and capture
// window_paint.cpp   invalidation and painting
// window_defproc.cpp the default window procedure
//
// Locking: every record here is guarded by WaitMutex() (host/clock.h), the lock that message
// waits sleep on. Functions named ...Locked expect it held. Window procedures and the screen
// layer's hooks are only ever called with it released.
#pragma once

#include "host/clock.h"
#include "host/codepage.h"
#include "host/handle.h"
#include "host/rect.h"
#include "host/window.h"

#include <atomic>
#include <deque>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

namespace host::wnd {

using Lock = std::unique_lock<std::mutex>;
using Handle = std::uintptr_t;

struct WindowClass {
    std::u16string name;
    bool fUnicode = false;
    ATOM atom = 0;
    UINT style = 0;
    WNDPROC proc = nullptr;
    int cbWndExtra = 0;
    HINSTANCE hInstance = nullptr;
    HICON hIcon = nullptr;
    HCURSOR hCursor = nullptr;
    HBRUSH hbrBackground = nullptr;
    std::vector<BYTE> extra; // class words
    int cWindows = 0;
};

struct Queue;

struct Window {
    Handle h = 0;
    std::shared_ptr<WindowClass> cls;
    std::shared_ptr<Queue> queue; // of the owning thread
    DWORD tid = 0;
    WNDPROC proc = nullptr;
    DWORD style = 0;
    DWORD exStyle = 0;
    LONG_PTR id = 0;
    LONG_PTR userData = 0;
    HINSTANCE hInstance = nullptr;
    std::u16string text;
    RECT rc{};                     // screen coordinates, or the parent's client coordinates
    Window* parent = nullptr;      // null for a top-level window
    Window* owner = nullptr;       // top-level windows only
    std::vector<Window*> children; // front to back
    std::vector<BYTE> extra;
    std::map<std::u16string, HANDLE> props; // by folded name
    RECT rcUpdate{};                        // client coordinates; empty when nothing needs painting
    bool fErase = false;
    bool fDestroying = false;
    bool fClosePressed = false; // the left button went down on the close box
                                // (set by input routing, consumed by DefWindowProc)
    bool fEndModal = false;
    INT_PTR modalResult = 0;
};

struct Timer {
    Handle h; // 0 for a thread timer
    UINT_PTR id;
    UINT msPeriod;
    ClockMs due;
    TIMERPROC proc;
};

struct SentMessage {
    Handle h;
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
    LRESULT result = 0;
    bool fDone = false;
};

struct Queue {
    DWORD tid = 0;
    bool fAlive = true;
    std::deque<MSG> posted;
    std::deque<std::shared_ptr<SentMessage>> sent; // from other threads, to be handled
    bool fQuit = false;
    int quitCode = 0;
    std::vector<Timer> timers;
    std::uint64_t timerGeneration = 0; // changes when timers are set, so waits recompute
    std::set<Handle> paintPending;     // windows with an update region, oldest first
    // Used by the owning thread only.
    DWORD lastPos = 0;
    LONG lastTime = 0;
    int cInSend = 0;
    std::function<void()> pump;
    DWORD msPumpInterval = INFINITE;
    ClockMs lastPumpReal = 0;
};

struct ClickRecord {
    Handle h = 0;
    UINT msgDown = 0;
    POINT pt{};
    DWORD time = 0;
};

struct State {
    // The windows themselves live in the host's handle table (HandleKind::Window).
    std::vector<Window*> topLevel; // front to back; topmost windows first
    std::map<std::u16string, std::shared_ptr<WindowClass>> classes; // by folded name
    std::unordered_map<DWORD, std::shared_ptr<Queue>> queues;
    ATOM nextAtom = 0xC000;
    UINT_PTR nextThreadTimer = 1;
    Handle active = 0;
    Handle focus = 0;
    Handle capture = 0;
    POINT cursorPos{};
    HCURSOR hCursor = nullptr;
    BYTE keyState[256] = {};
    ClickRecord lastClick;
    Handle closePressed = 0; // the window whose close box the left button went down on
};

// Never destroyed, so that threads ending after main returns find it intact.
State& GetState();

inline HWND ToHwnd(Handle h) {
    return reinterpret_cast<HWND>(h);
}
inline HWND ToHwnd(const Window* w) {
    return w != nullptr ? ToHwnd(w->h) : nullptr;
}
inline Handle ToHandle(HWND hwnd) {
    return reinterpret_cast<Handle>(hwnd);
}

Window* FindLocked(HWND hwnd);
// Like FindLocked, but sets ERROR_INVALID_WINDOW_HANDLE when there is no such window.
Window* CheckLocked(HWND hwnd);
// The handle when it still names a window, else null (takes the lock).
HWND LiveHwnd(Handle h);
Window* RootLocked(Window* w);
bool IsVisibleLocked(const Window* w);
bool IsEnabledLocked(const Window* w);
bool IsInSubtreeLocked(const Window* root, Handle h);
bool HasCaptionBar(const Window* w);
RECT WindowRectScreenLocked(const Window* w);
POINT ClientOriginScreenLocked(const Window* w);
RECT ClientRectLocked(const Window* w); // (0, 0, width, height)
// Adds a client rectangle (null: all) to the update region, and to children per
// WS_CLIPCHILDREN.
void InvalidateLocked(Window* w, const RECT* prc, bool fErase);

// Takes a window, its children and their state out of the service (no messages).
void RemoveSubtreeLocked(Window* w);
// The list a window sits in: its parent's children, or the top-level windows.
std::vector<Window*>& SiblingsLocked(Window* w);
void EraseFromList(std::vector<Window*>& list, Window* w);
// Every descendant of w, depth first.
void CollectDescendantsLocked(const Window* w, std::vector<HWND>& out);

// The window and all its visible descendants, entirely (a window just shown).
void InvalidateTreeLocked(Window* w);
// Repaints what lies under rc (in the coordinates of w's rectangle) once w is gone from it.
void ExposeLocked(Window* w, const RECT& rc);

// Z order.
bool IsOwnedByLocked(const Window* w, const Window* owner);
bool IsTopmost(const Window* w);
// Brings a top-level window to the front of its band, above it the windows it owns.
bool RaiseTopLevelLocked(Window* w);
// Puts a new window at the front of its siblings (of its band for a top-level window).
void InsertNewLocked(Window* w);

std::shared_ptr<WindowClass> FindClassLocked(const std::u16string& name);

// The calling thread's queue, made on first use.
Queue* CurrentQueueLocked();
DWORD CurrentThreadId();

// Queues a message (time and cursor position recorded now) and wakes waiters.
void PostLocked(Queue* q, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

WindowManagerHooks* Hooks();
// Tells the window manager about a change (without the lock).
void Notify(HWND hwnd, WindowChange change);

// Activation, shared by the window files and input.cpp.
HWND SetActive(HWND hwnd, WORD state);
// After a window was hidden or disabled: focus and capture leave it, and activation too.
void LeaveWindow(HWND hwnd, bool fActivation);
// Shows or hides a window for ShowWindow and SetWindowPos; fActivate activates a top-level
// window it shows. Returns whether it was visible.
BOOL ShowCommon(HWND hwnd, bool fShow, bool fActivate);

// The host's rectangle toolkit, under the short names the window code uses.
using rect::Contains;
using rect::Intersect;
using rect::IsEmpty;
using rect::Offset;
using rect::Union;

// Caller text of either width as UTF-16 (null: empty).
template <class C> std::u16string ToU16(const C* text) {
    if (text == nullptr) return {};
    if constexpr (sizeof(C) == 1)
        return ToUtf16(text);
    else
        return std::u16string(text);
}

// Copies text into a caller's buffer of cchMax units with a terminator, never cutting a
// character in half; returns the units copied.
int CopyOut(std::u16string_view text, char16_t* buffer, int cchMax);
int CopyOut(std::string_view text, char* buffer, int cchMax);

} // namespace host::wnd

namespace host {

// Changes the calling thread's message-wait pump interval (SetMessageWaitPump); the pump
// itself may call it, to slow down while nothing happens. Nothing without a pump.
void SetMessageWaitPumpInterval(DWORD msInterval);

} // namespace host
