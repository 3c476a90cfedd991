// Threads and synchronisation: critical sections, events and threads.
#pragma once

#include "host/types.h"

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace host {

constexpr DWORD INFINITE = 0xFFFFFFFF;

// A recursive lock: the owning thread may enter again. Like the critical sections it
// stands in for, it spins briefly before sleeping, since most holders leave quickly.
class CriticalSection {
public:
    void Enter() {
        for (int i = 0; i < kSpinCount; ++i) {
            if (mutex_.try_lock())
                return;
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
    const bool manualReset_;
    bool signalled_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
};

// A joinable thread; the destructor joins one that is still running.
class Thread {
public:
    Thread() = default;
    explicit Thread(std::function<void()> body) : thread_(std::move(body)) {}
    ~Thread() { Join(); }
    Thread(Thread&&) = default;
    Thread& operator=(Thread&& other) {
        Join();
        thread_ = std::move(other.thread_);
        return *this;
    }

    bool IsRunning() const { return thread_.joinable(); }
    void Join() {
        if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id())
            thread_.join();
    }
    void Detach() {
        if (thread_.joinable())
            thread_.detach();
    }

private:
    std::thread thread_;
};

// Runs body on a new thread that nobody waits for.
void StartDetachedThread(std::function<void()> body);

DWORD GetCurrentThreadId();
void Sleep(DWORD ms);

} // namespace host
