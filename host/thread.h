// Threads and synchronisation: critical sections, events and threads.
//
// Waits with a time-out (Event::Wait, WaitForMultipleObjects, Sleep) follow the clock in
// force, real or virtual (host/clock.h).
#pragma once

#include "host/clock.h"
#include "host/types.h"

#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace host {

// Results of waits.
constexpr DWORD WAIT_OBJECT_0 = 0;
constexpr DWORD WAIT_TIMEOUT = 0x102;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;
constexpr DWORD MAXIMUM_WAIT_OBJECTS = 64;

// A recursive lock: the owning thread may enter again. Like the critical sections it
// stands in for, it spins briefly before sleeping, since most holders leave quickly.
class CriticalSection {
public:
    void Enter() {
        for (int i = 0; i < kSpinCount; ++i) {
            if (mutex_.try_lock()) return;
            std::this_thread::yield();
        }
        mutex_.lock();
    }
    void Leave() { mutex_.unlock(); }
    bool TryEnter() { return mutex_.try_lock(); }

private:
    static constexpr int kSpinCount = 64;
    std::recursive_mutex mutex_;
};

// Holds a critical section for the lifetime of a scope.
class CriticalSectionLock {
public:
    explicit CriticalSectionLock(CriticalSection& section) : section_(section) { section_.Enter(); }
    ~CriticalSectionLock() { section_.Leave(); }
    CriticalSectionLock(const CriticalSectionLock&) = delete;
    CriticalSectionLock& operator=(const CriticalSectionLock&) = delete;

private:
    CriticalSection& section_;
};

// A manual-reset event stays signalled until Reset; an auto-reset event releases one
// waiter and resets itself.
class Event {
public:
    explicit Event(bool fManualReset, bool fInitialState = false)
        : manualReset_(fManualReset), signalled_(fInitialState) {}

    void Set();
    void Reset();
    // Waits up to msTimeout milliseconds (INFINITE for no limit); true when signalled.
    bool Wait(DWORD msTimeout = INFINITE);
    bool IsSet() const;

private:
    friend DWORD TakeSignalledEvents(DWORD, Event* const*, bool);
    const bool manualReset_;
    bool signalled_; // guarded by WaitMutex()
};

// Waits until one (fWaitAll false) or all (true) of the events are signalled, or the
// time-out passes. Returns WAIT_OBJECT_0 + the index of the signalled event (the lowest
// when several are; with fWaitAll, WAIT_OBJECT_0), WAIT_TIMEOUT, or WAIT_FAILED for a bad
// argument. Auto-reset events that end the wait are reset; with fWaitAll all of them at once.
DWORD WaitForMultipleObjects(DWORD cEvents, Event* const* events, bool fWaitAll, DWORD msTimeout);

// With WaitMutex() held: what WaitForMultipleObjects would return now, WAIT_TIMEOUT when
// nothing is ready yet; resets the auto-reset events it reports. For waits that watch
// events together with other state, such as message waits.
DWORD TakeSignalledEvents(DWORD cEvents, Event* const* events, bool fWaitAll);

// A joinable thread; the destructor joins one that is still running. A thread cannot join
// itself: destroyed (or assigned over) from its own body, it is detached instead and a trace
// line goes to the debug output, rather than leaving a joinable std::thread behind, which
// would end the process.
class Thread {
public:
    Thread() = default;
    explicit Thread(std::function<void()> body) : thread_(std::move(body)) {}
    ~Thread() { Release("destroyed"); }
    Thread(Thread&&) = default;
    Thread& operator=(Thread&& other) {
        if (this != &other) {
            Release("assigned over");
            thread_ = std::move(other.thread_);
        }
        return *this;
    }

    bool IsRunning() const { return thread_.joinable(); }
    // Does nothing on the thread itself, which cannot wait for its own end.
    void Join() {
        if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
    }
    void Detach() {
        if (thread_.joinable()) thread_.detach();
    }

private:
    // Joins, or detaches when called on the thread itself.
    void Release(const char* pszWhy);

    std::thread thread_;
};

// Runs body on a new thread that nobody waits for.
void StartDetachedThread(std::function<void()> body);

DWORD GetCurrentThreadId();
// Sleeps on the clock in force; Sleep(0) only yields.
void Sleep(DWORD ms);

} // namespace host
