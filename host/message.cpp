// Message queues: posting, sending across threads, retrieval, waits, timers and modal loops.
#include "host/window.h"

#include "host/error.h"
#include "host/window_internal.h"

#include <algorithm>
#include <chrono>

namespace host {
namespace wnd {
namespace {

// Owns the thread's queue; at thread exit the queue and the thread's windows go away.
struct QueueHolder {
    std::shared_ptr<Queue> queue;
    ~QueueHolder();
};

thread_local QueueHolder t_holder;
thread_local DWORD t_tid = 0;

QueueHolder::~QueueHolder() {
    if (queue == nullptr) return;
    std::function<void()> pump;
    {
        Lock lock(WaitMutex());
        State& s = GetState();
        queue->fAlive = false;
        auto it = s.queues.find(queue->tid);
        if (it != s.queues.end() && it->second == queue) s.queues.erase(it);
        for (auto& sent : queue->sent)
            sent->fDone = true; // the sender gets 0
        queue->sent.clear();
        queue->posted.clear();
        queue->timers.clear();
        queue->paintPending.clear();
        // Remove the thread's windows, each from its highest window of this thread.
        for (;;) {
            Window* victim = nullptr;
            for (const std::shared_ptr<Window>& candidate :
                 handles::All<Window>(HandleKind::Window)) {
                Window* w = candidate.get();
                if (w->queue == queue && (w->parent == nullptr || w->parent->queue != queue)) {
                    victim = w;
                    break;
                }
            }
            if (victim == nullptr) break;
            RemoveSubtreeLocked(victim);
        }
        pump = std::move(queue->pump); // destroyed outside the lock
        WakeWaiters();
    }
    queue.reset();
}

using SteadyClock = std::chrono::steady_clock;

ClockMs RealNowMs() {
    return static_cast<ClockMs>(
        std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now().time_since_epoch())
            .count());
}

} // namespace

DWORD CurrentThreadId() {
    if (t_tid == 0) t_tid = GetCurrentThreadId();
    return t_tid;
}

Queue* CurrentQueueLocked() {
    if (t_holder.queue == nullptr) {
        auto queue = std::make_shared<Queue>();
        queue->tid = CurrentThreadId();
        GetState().queues[queue->tid] = queue;
        t_holder.queue = std::move(queue);
    }
    return t_holder.queue.get();
}

void PostLocked(Queue* q, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    q->posted.push_back({hwnd, msg, wParam, lParam, GetTickCount(), GetState().cursorPos});
    WakeWaiters();
}

namespace {

struct Filter {
    HWND hwnd;
    UINT msgMin;
    UINT msgMax;
};

bool MatchesWindow(const Filter& f, HWND hwnd) {
    if (f.hwnd == nullptr) return true;
    if (f.hwnd == HWND_THREAD_ONLY) return hwnd == nullptr;
    return hwnd == f.hwnd;
}

bool InRange(const Filter& f, UINT msg) {
    return (f.msgMin == 0 && f.msgMax == 0) || (msg >= f.msgMin && msg <= f.msgMax);
}

bool NeedsPaintLocked(const Window* w) {
    return IsVisibleLocked(w) && !IsEmpty(w->rcUpdate);
}

// Finds the next message in queue order (sent messages aside); removes it when asked.
bool TakeLocked(Queue* q, const Filter& f, bool fRemove, MSG* out) {
    State& s = GetState();
    for (auto it = q->posted.begin(); it != q->posted.end(); ++it) {
        if (MatchesWindow(f, it->hwnd) && (InRange(f, it->message) || it->message == WM_QUIT)) {
            *out = *it;
            if (fRemove) q->posted.erase(it);
            return true;
        }
    }
    if (q->fQuit) {
        *out = {nullptr, WM_QUIT, static_cast<WPARAM>(q->quitCode), 0, GetTickCount(), s.cursorPos};
        if (fRemove) q->fQuit = false;
        return true;
    }
    if (InRange(f, WM_PAINT)) {
        for (Handle h : q->paintPending) {
            Window* w = FindLocked(ToHwnd(h));
            if (w != nullptr && NeedsPaintLocked(w) && MatchesWindow(f, ToHwnd(h))) {
                *out = {ToHwnd(h), WM_PAINT, 0, 0, GetTickCount(), s.cursorPos};
                return true;
            }
        }
    }
    if (InRange(f, WM_TIMER)) {
        const ClockMs now = ClockNow();
        Timer* due = nullptr;
        for (Timer& t : q->timers) {
            if (t.due <= now && MatchesWindow(f, ToHwnd(t.h)) &&
                (due == nullptr || t.due < due->due))
                due = &t;
        }
        if (due != nullptr) {
            *out = {ToHwnd(due->h), WM_TIMER,   due->id, reinterpret_cast<LPARAM>(due->proc),
                    GetTickCount(), s.cursorPos};
            if (fRemove) due->due = now + due->msPeriod;
            return true;
        }
    }
    return false;
}

bool AvailableLocked(Queue* q, const Filter& f) {
    MSG msg;
    return TakeLocked(q, f, false, &msg);
}

ClockMs NextTimerLocked(const Queue* q, const Filter& f) {
    ClockMs next = kNoDeadline;
    if (!InRange(f, WM_TIMER)) return next;
    for (const Timer& t : q->timers) {
        if (MatchesWindow(f, ToHwnd(t.h))) next = std::min(next, t.due);
    }
    return next;
}

// Handles the messages other threads sent to this one.
void HandleSentLocked(Lock& lock, Queue* q) {
    while (!q->sent.empty()) {
        std::shared_ptr<SentMessage> sent = q->sent.front();
        q->sent.pop_front();
        Window* w = FindLocked(ToHwnd(sent->h));
        WNDPROC proc = w != nullptr ? w->proc : nullptr;
        LRESULT result = 0;
        if (proc != nullptr) {
            lock.unlock();
            ++q->cInSend;
            result = proc(ToHwnd(sent->h), sent->msg, sent->wParam, sent->lParam);
            --q->cInSend;
            lock.lock();
        }
        sent->result = result;
        sent->fDone = true;
        WakeWaiters();
    }
}

// What is left of the pump's interval since it last ran. A wait ends then at the latest,
// however often timers or messages end waits before it: with a timer due more often than
// the interval, a slice counted from each wait's start would never run out.
DWORD PumpSlice(const Queue* q) {
    if (!q->pump) return INFINITE;
    const ClockMs msSince = RealNowMs() - q->lastPumpReal;
    return msSince >= q->msPumpInterval ? 0 : static_cast<DWORD>(q->msPumpInterval - msSince);
}

void RunPumpLocked(Lock& lock, Queue* q) {
    std::function<void()> pump = q->pump;
    if (!pump) return;
    q->lastPumpReal = RealNowMs();
    lock.unlock();
    pump();
    lock.lock();
}

void RunPumpIfDueLocked(Lock& lock, Queue* q) {
    if (q->pump && RealNowMs() - q->lastPumpReal >= q->msPumpInterval) RunPumpLocked(lock, q);
}

// Sleeps until something may be retrievable for the filter, a sent message arrives, the
// timers change, a timer comes due or the deadline passes; runs the pump on the way.
WaitStatus WaitForQueueLocked(Lock& lock, Queue* q, const Filter& f, ClockMs deadline) {
    const std::uint64_t generation = q->timerGeneration;
    WaitStatus status = WaitUntil(
        lock, std::min(deadline, NextTimerLocked(q, f)),
        [&] {
            return !q->sent.empty() || q->timerGeneration != generation || AvailableLocked(q, f);
        },
        PumpSlice(q));
    if (status == WaitStatus::kSlice) RunPumpLocked(lock, q);
    return status;
}

void RecordDelivered(Queue* q, const MSG& msg) {
    q->lastPos = MAKELONG(static_cast<WORD>(msg.pt.x), static_cast<WORD>(msg.pt.y));
    q->lastTime = static_cast<LONG>(msg.time);
}

// Mouse messages taken from the queue first let the window choose the cursor.
void AfterRemove(const MSG& msg) {
    bool fClient = msg.message >= WM_MOUSEFIRST && msg.message <= WM_MBUTTONDBLCLK;
    bool fNonClient = msg.message >= WM_NCMOUSEMOVE && msg.message <= WM_NCRBUTTONUP;
    if ((!fClient && !fNonClient) || msg.hwnd == nullptr || GetCapture() != nullptr) return;
    WORD hit = fClient ? static_cast<WORD>(HTCLIENT) : static_cast<WORD>(msg.wParam);
    SendMessage(msg.hwnd, WM_SETCURSOR, reinterpret_cast<WPARAM>(msg.hwnd),
                MAKELPARAM(hit, static_cast<WORD>(msg.message)));
}

bool IsBadFilterLocked(HWND hwndFilter) {
    return hwndFilter != nullptr && hwndFilter != HWND_THREAD_ONLY &&
           CheckLocked(hwndFilter) == nullptr;
}

} // namespace
} // namespace wnd

using namespace wnd;

LRESULT SendMessage(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    Lock lock(WaitMutex());
    Window* w = CheckLocked(hwnd);
    if (w == nullptr) return 0;
    if (w->tid == CurrentThreadId()) {
        WNDPROC proc = w->proc;
        lock.unlock();
        return proc != nullptr ? proc(hwnd, uMsg, wParam, lParam) : 0;
    }
    std::shared_ptr<Queue> target = w->queue;
    if (target == nullptr || !target->fAlive) return 0;
    auto sent = std::make_shared<SentMessage>();
    *sent = {ToHandle(hwnd), uMsg, wParam, lParam};
    target->sent.push_back(sent);
    WakeWaiters();
    Queue* q = CurrentQueueLocked();
    for (;;) {
        HandleSentLocked(lock, q);
        if (sent->fDone) return sent->result;
        WaitStatus status = WaitUntil(
            lock, kNoDeadline, [&] { return sent->fDone || !q->sent.empty(); }, PumpSlice(q));
        if (status == WaitStatus::kSlice) RunPumpLocked(lock, q);
    }
}

BOOL PostMessage(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    Lock lock(WaitMutex());
    Queue* q;
    if (hwnd == nullptr) {
        q = CurrentQueueLocked();
    } else {
        Window* w = CheckLocked(hwnd);
        if (w == nullptr) return FALSE;
        q = w->queue.get();
    }
    if (q == nullptr || !q->fAlive) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    PostLocked(q, hwnd, uMsg, wParam, lParam);
    return TRUE;
}

BOOL PostThreadMessage(DWORD threadId, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    Lock lock(WaitMutex());
    State& s = GetState();
    auto it = s.queues.find(threadId);
    if (it == s.queues.end() || !it->second->fAlive) {
        SetLastError(ERROR_INVALID_THREAD_ID);
        return FALSE;
    }
    PostLocked(it->second.get(), nullptr, uMsg, wParam, lParam);
    return TRUE;
}

void PostQuitMessage(int nExitCode) {
    Lock lock(WaitMutex());
    Queue* q = CurrentQueueLocked();
    q->fQuit = true;
    q->quitCode = nExitCode;
    WakeWaiters();
}

BOOL GetMessage(MSG* pMsg, HWND hwndFilter, UINT msgFilterMin, UINT msgFilterMax) {
    if (pMsg == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    Lock lock(WaitMutex());
    const Filter f{hwndFilter, msgFilterMin, msgFilterMax};
    Queue* q = CurrentQueueLocked();
    for (;;) {
        if (IsBadFilterLocked(hwndFilter)) return -1;
        // A thread that always finds a message waiting still runs its pump.
        RunPumpIfDueLocked(lock, q);
        HandleSentLocked(lock, q);
        if (TakeLocked(q, f, true, pMsg)) break;
        WaitForQueueLocked(lock, q, f, kNoDeadline);
    }
    RecordDelivered(q, *pMsg);
    lock.unlock();
    AfterRemove(*pMsg);
    return pMsg->message == WM_QUIT ? 0 : 1;
}

BOOL PeekMessage(MSG* pMsg, HWND hwndFilter, UINT msgFilterMin, UINT msgFilterMax,
                 UINT removeFlags) {
    if (pMsg == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    Lock lock(WaitMutex());
    if (IsBadFilterLocked(hwndFilter)) return FALSE;
    Queue* q = CurrentQueueLocked();
    RunPumpIfDueLocked(lock, q);
    HandleSentLocked(lock, q);
    const bool fRemove = (removeFlags & PM_REMOVE) != 0;
    if (!TakeLocked(q, {hwndFilter, msgFilterMin, msgFilterMax}, fRemove, pMsg)) return FALSE;
    RecordDelivered(q, *pMsg);
    lock.unlock();
    if (fRemove) AfterRemove(*pMsg);
    return TRUE;
}

BOOL WaitMessage() {
    Lock lock(WaitMutex());
    Queue* q = CurrentQueueLocked();
    const Filter all{nullptr, 0, 0};
    for (;;) {
        HandleSentLocked(lock, q);
        if (AvailableLocked(q, all)) return TRUE;
        WaitForQueueLocked(lock, q, all, kNoDeadline);
    }
}

namespace {

char16_t CharForKey(UINT vk, bool fShift) {
    if (vk >= 'A' && vk <= 'Z') return static_cast<char16_t>(fShift ? vk : vk + 32);
    if (vk >= '0' && vk <= '9') return static_cast<char16_t>(vk);
    switch (vk) {
    case VK_SPACE:
        return u' ';
    case VK_RETURN:
        return u'\r';
    case VK_BACK:
        return 8;
    case VK_TAB:
        return u'\t';
    case VK_ESCAPE:
        return 27;
    default:
        return 0;
    }
}

} // namespace

BOOL TranslateMessage(const MSG* pMsg) {
    if (pMsg == nullptr || (pMsg->message != WM_KEYDOWN && pMsg->message != WM_SYSKEYDOWN))
        return FALSE;
    Lock lock(WaitMutex());
    State& s = GetState();
    char16_t ch = CharForKey(static_cast<UINT>(pMsg->wParam), (s.keyState[VK_SHIFT] & 0x80) != 0);
    Window* w = FindLocked(pMsg->hwnd);
    if (ch == 0 || w == nullptr || w->queue == nullptr) return FALSE;
    // The character comes next, before anything posted meanwhile.
    UINT msg = pMsg->message == WM_KEYDOWN ? WM_CHAR : WM_SYSCHAR;
    w->queue->posted.push_front({pMsg->hwnd, msg, ch, pMsg->lParam, GetTickCount(), s.cursorPos});
    WakeWaiters();
    return TRUE;
}

LRESULT DispatchMessage(const MSG* pMsg) {
    if (pMsg == nullptr) return 0;
    TIMERPROC timerProc = nullptr;
    WNDPROC proc = nullptr;
    {
        Lock lock(WaitMutex());
        if (pMsg->message == WM_TIMER && pMsg->lParam != 0) {
            // Only a live timer's own procedure is called: a posted WM_TIMER cannot name code.
            for (const Timer& t : CurrentQueueLocked()->timers) {
                if (t.h == ToHandle(pMsg->hwnd) && t.id == pMsg->wParam &&
                    reinterpret_cast<LPARAM>(t.proc) == pMsg->lParam)
                    timerProc = t.proc;
            }
            if (timerProc == nullptr) return 0;
        } else if (pMsg->hwnd != nullptr) {
            Window* w = CheckLocked(pMsg->hwnd);
            if (w == nullptr) return 0;
            if (w->tid != CurrentThreadId()) {
                SetLastError(ERROR_ACCESS_DENIED);
                return 0;
            }
            proc = w->proc;
        }
    }
    if (timerProc != nullptr) {
        timerProc(pMsg->hwnd, WM_TIMER, pMsg->wParam, GetTickCount());
        return 0;
    }
    return proc != nullptr ? proc(pMsg->hwnd, pMsg->message, pMsg->wParam, pMsg->lParam) : 0;
}

DWORD GetMessagePos() {
    Lock lock(WaitMutex());
    return CurrentQueueLocked()->lastPos;
}

LONG GetMessageTime() {
    Lock lock(WaitMutex());
    return CurrentQueueLocked()->lastTime;
}

BOOL InSendMessage() {
    Lock lock(WaitMutex());
    return CurrentQueueLocked()->cInSend > 0 ? TRUE : FALSE;
}

namespace {

DWORD QueueStatusLocked(Queue* q) {
    DWORD status = 0;
    for (const MSG& m : q->posted) {
        if (m.message == WM_MOUSEMOVE || m.message == WM_NCMOUSEMOVE)
            status |= QS_MOUSEMOVE;
        else if ((m.message > WM_MOUSEMOVE && m.message <= WM_MOUSELAST) ||
                 (m.message > WM_NCMOUSEMOVE && m.message <= WM_NCRBUTTONUP))
            status |= QS_MOUSEBUTTON;
        else if (m.message >= WM_KEYFIRST && m.message <= WM_KEYLAST)
            status |= QS_KEY;
        else
            status |= QS_POSTMESSAGE | QS_ALLPOSTMESSAGE;
    }
    if (q->fQuit) status |= QS_POSTMESSAGE | QS_ALLPOSTMESSAGE;
    for (Handle h : q->paintPending) {
        Window* w = FindLocked(ToHwnd(h));
        if (w != nullptr && NeedsPaintLocked(w)) {
            status |= QS_PAINT;
            break;
        }
    }
    const ClockMs now = ClockNow();
    for (const Timer& t : q->timers) {
        if (t.due <= now) status |= QS_TIMER;
    }
    if (!q->sent.empty()) status |= QS_SENDMESSAGE;
    return status;
}

} // namespace

DWORD MsgWaitForMultipleObjects(DWORD cEvents, Event* const* events, BOOL fWaitAll, DWORD msTimeout,
                                DWORD wakeMask) {
    if (cEvents > MAXIMUM_WAIT_OBJECTS || (cEvents > 0 && events == nullptr)) return WAIT_FAILED;
    for (DWORD i = 0; i < cEvents; ++i) {
        if (events[i] == nullptr) return WAIT_FAILED;
    }
    Lock lock(WaitMutex());
    Queue* q = CurrentQueueLocked();
    const ClockMs deadline = DeadlineAfter(msTimeout);
    const Filter timersOnly{nullptr, (wakeMask & QS_TIMER) != 0 ? WM_TIMER : 1u,
                            (wakeMask & QS_TIMER) != 0 ? WM_TIMER : 0u};
    DWORD result = WAIT_TIMEOUT;
    auto ready = [&] {
        if (cEvents > 0) {
            DWORD r = TakeSignalledEvents(cEvents, events, fWaitAll != FALSE);
            if (r != WAIT_TIMEOUT) {
                result = r;
                return true;
            }
        }
        if ((QueueStatusLocked(q) & wakeMask) != 0) {
            result = WAIT_OBJECT_0 + cEvents;
            return true;
        }
        return false;
    };
    for (;;) {
        const std::uint64_t generation = q->timerGeneration;
        WaitStatus status = WaitUntil(
            lock, std::min(deadline, NextTimerLocked(q, timersOnly)),
            [&] { return ready() || q->timerGeneration != generation; }, PumpSlice(q));
        if (result != WAIT_TIMEOUT) return result;
        if (status == WaitStatus::kSlice)
            RunPumpLocked(lock, q);
        else if (status == WaitStatus::kTimedOut && ClockNow() >= deadline)
            return WAIT_TIMEOUT;
    }
}

// ---------------------------------------------------------------------------------------
// Timers

UINT_PTR SetTimer(HWND hwnd, UINT_PTR idEvent, UINT msElapse, TIMERPROC proc) {
    Lock lock(WaitMutex());
    State& s = GetState();
    Queue* q;
    Handle h = 0;
    if (hwnd != nullptr) {
        Window* w = CheckLocked(hwnd);
        if (w == nullptr) return 0;
        q = w->queue.get();
        h = w->h;
        if (q == nullptr || !q->fAlive) return 0;
    } else {
        q = CurrentQueueLocked();
        bool fExisting = std::any_of(q->timers.begin(), q->timers.end(),
                                     [&](const Timer& t) { return t.h == 0 && t.id == idEvent; });
        if (idEvent == 0 || !fExisting) idEvent = s.nextThreadTimer++;
    }
    const UINT msPeriod = std::max(msElapse, USER_TIMER_MINIMUM);
    const ClockMs due = ClockNow() + msPeriod;
    auto it = std::find_if(q->timers.begin(), q->timers.end(),
                           [&](const Timer& t) { return t.h == h && t.id == idEvent; });
    if (it != q->timers.end())
        *it = {h, idEvent, msPeriod, due, proc};
    else
        q->timers.push_back({h, idEvent, msPeriod, due, proc});
    q->timerGeneration++;
    WakeWaiters();
    return idEvent != 0 ? idEvent : 1;
}

BOOL KillTimer(HWND hwnd, UINT_PTR idEvent) {
    Lock lock(WaitMutex());
    Queue* q;
    if (hwnd != nullptr) {
        Window* w = CheckLocked(hwnd);
        if (w == nullptr || w->queue == nullptr) return FALSE;
        q = w->queue.get();
    } else {
        q = CurrentQueueLocked();
    }
    const Handle h = ToHandle(hwnd);
    auto it = std::find_if(q->timers.begin(), q->timers.end(),
                           [&](const Timer& t) { return t.h == h && t.id == idEvent; });
    if (it == q->timers.end()) return FALSE;
    q->timers.erase(it);
    q->timerGeneration++;
    WakeWaiters();
    return TRUE;
}

// ---------------------------------------------------------------------------------------
// Modal loops

INT_PTR RunModalLoop(HWND hwnd, const std::function<bool(MSG&)>& preTranslate) {
    HWND owner;
    {
        Lock lock(WaitMutex());
        Window* w = CheckLocked(hwnd);
        if (w == nullptr) return 0;
        w->fEndModal = false;
        w->modalResult = 0;
        owner = ToHwnd(w->owner);
    }
    bool fDisabledOwner = false;
    if (owner != nullptr && IsWindowEnabled(owner)) {
        EnableWindow(owner, FALSE);
        fDisabledOwner = true;
    }
    ShowWindow(hwnd, SW_SHOW);
    if (GetActiveWindow() != hwnd) SetActiveWindow(hwnd);

    INT_PTR result = 0;
    for (;;) {
        {
            Lock lock(WaitMutex());
            Window* w = FindLocked(hwnd);
            if (w == nullptr) break;
            if (w->fEndModal) {
                w->fEndModal = false;
                result = w->modalResult;
                break;
            }
        }
        MSG msg;
        BOOL got = GetMessage(&msg, nullptr, 0, 0);
        if (got == 0) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        if (got == -1) break;
        if (preTranslate && preTranslate(msg)) continue;
        TranslateMessage(&msg);
        DispatchMessage(&msg);
    }

    if (fDisabledOwner && IsWindow(owner)) EnableWindow(owner, TRUE);
    if (IsWindow(hwnd)) {
        // Hiding hands activation back to the owner, now that it is enabled again.
        if (GetActiveWindow() == hwnd) ShowWindow(hwnd, SW_HIDE);
    } else if (owner != nullptr && IsWindow(owner) && GetActiveWindow() == nullptr) {
        SetActiveWindow(owner);
    }
    return result;
}

BOOL EndModalLoop(HWND hwnd, INT_PTR result) {
    Lock lock(WaitMutex());
    Window* w = CheckLocked(hwnd);
    if (w == nullptr) return FALSE;
    w->fEndModal = true;
    w->modalResult = result;
    // Wakes the loop if it is waiting for a message.
    PostLocked(w->queue.get(), hwnd, WM_NULL, 0, 0);
    return TRUE;
}

void SetMessageWaitPump(std::function<void()> pump, DWORD msInterval) {
    std::function<void()> previous;
    Lock lock(WaitMutex());
    Queue* q = CurrentQueueLocked();
    previous = std::move(q->pump);
    q->pump = std::move(pump);
    q->msPumpInterval = q->pump ? std::max<DWORD>(msInterval, 1) : INFINITE;
    q->lastPumpReal = RealNowMs();
    lock.unlock();
}

void SetMessageWaitPumpInterval(DWORD msInterval) {
    Lock lock(WaitMutex());
    Queue* q = CurrentQueueLocked();
    if (q->pump) q->msPumpInterval = std::max<DWORD>(msInterval, 1);
}

} // namespace host
