#include "host/clock.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <set>

namespace host {
namespace {

using SteadyClock = std::chrono::steady_clock;

struct ClockState {
    std::mutex mutex;
    std::condition_variable changed;
    std::atomic<bool> fVirtual{false};
    std::atomic<ClockMs> msVirtual{0};
    // The rest is guarded by mutex.
    bool fAutoAdvance = false;
    std::uint64_t epoch = 0;          // counts clock switches
    std::multiset<ClockMs> deadlines; // of the timed waits blocked on the virtual clock
};

// Never destroyed: detached threads may still wait while the process exits.
ClockState& State() {
    static ClockState* state = new ClockState;
    return *state;
}

ClockMs RealMs() {
    return static_cast<ClockMs>(
        std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now().time_since_epoch())
            .count());
}

} // namespace

ClockMs ClockNow() {
    ClockState& s = State();
    return s.fVirtual.load() ? s.msVirtual.load() : RealMs();
}

ClockMs DeadlineAfter(DWORD msTimeout) {
    return msTimeout == INFINITE ? kNoDeadline : ClockNow() + msTimeout;
}

DWORD GetTickCount() {
    return static_cast<DWORD>(ClockNow());
}

BOOL QueryPerformanceCounter(LARGE_INTEGER* pCount) {
    if (pCount == nullptr) return 0;
    ClockState& s = State();
    if (s.fVirtual.load())
        pCount->QuadPart = static_cast<std::int64_t>(s.msVirtual.load() * 1000);
    else
        pCount->QuadPart = std::chrono::duration_cast<std::chrono::microseconds>(
                               SteadyClock::now().time_since_epoch())
                               .count();
    return 1;
}

BOOL QueryPerformanceFrequency(LARGE_INTEGER* pFrequency) {
    if (pFrequency == nullptr) return 0;
    pFrequency->QuadPart = 1000000;
    return 1;
}

void UseVirtualClock(DWORD msStart) {
    ClockState& s = State();
    std::lock_guard guard(s.mutex);
    s.msVirtual = msStart;
    s.fVirtual = true;
    ++s.epoch;
    s.changed.notify_all();
}

void UseRealClock() {
    ClockState& s = State();
    std::lock_guard guard(s.mutex);
    s.fVirtual = false;
    s.fAutoAdvance = false;
    ++s.epoch;
    s.changed.notify_all();
}

bool IsVirtualClock() {
    return State().fVirtual.load();
}

void AdvanceVirtualClock(DWORD ms) {
    ClockState& s = State();
    std::lock_guard guard(s.mutex);
    if (!s.fVirtual) return;
    s.msVirtual = s.msVirtual.load() + ms;
    s.changed.notify_all();
}

void SetVirtualClockAutoAdvance(bool fOn) {
    ClockState& s = State();
    std::lock_guard guard(s.mutex);
    s.fAutoAdvance = fOn;
    s.changed.notify_all();
}

void WaitForVirtualClockWaiters(std::size_t cWaits) {
    ClockState& s = State();
    std::unique_lock lock(s.mutex);
    s.changed.wait(lock, [&] { return s.deadlines.size() >= cWaits; });
}

std::mutex& WaitMutex() {
    return State().mutex;
}

void WakeWaiters() {
    State().changed.notify_all();
}

WaitStatus WaitUntil(std::unique_lock<std::mutex>& lock, ClockMs deadline,
                     const std::function<bool()>& ready, DWORD msRealSlice) {
    ClockState& s = State();
    const std::uint64_t epoch = s.epoch;
    const bool fSlice = msRealSlice != INFINITE;
    const SteadyClock::time_point sliceEnd =
        fSlice ? SteadyClock::now() + std::chrono::milliseconds(msRealSlice)
               : SteadyClock::time_point::max();

    // Blocks once on the condition variable, at most until the slice ends.
    auto block = [&](SteadyClock::time_point until) {
        until = std::min(until, sliceEnd);
        if (until == SteadyClock::time_point::max())
            s.changed.wait(lock);
        else
            s.changed.wait_until(lock, until);
    };

    // A timed wait on the virtual clock stays registered while it lasts, for auto-advance.
    std::multiset<ClockMs>::iterator registered = s.deadlines.end();
    auto unregister = [&] {
        if (registered != s.deadlines.end()) {
            s.deadlines.erase(registered);
            registered = s.deadlines.end();
            if (s.fAutoAdvance) s.changed.notify_all(); // the earliest deadline may have changed
        }
    };

    for (;;) {
        if (ready()) {
            unregister();
            return WaitStatus::kReady;
        }
        const ClockMs now = ClockNow();
        if (s.epoch != epoch || (deadline != kNoDeadline && now >= deadline)) {
            unregister();
            return WaitStatus::kTimedOut;
        }
        if (fSlice && SteadyClock::now() >= sliceEnd) {
            unregister();
            return WaitStatus::kSlice;
        }
        if (deadline == kNoDeadline) {
            block(SteadyClock::time_point::max());
        } else if (s.fVirtual) {
            if (registered == s.deadlines.end()) {
                registered = s.deadlines.insert(deadline);
                s.changed.notify_all(); // for WaitForVirtualClockWaiters
            }
            if (s.fAutoAdvance && *s.deadlines.begin() > now) {
                s.msVirtual = *s.deadlines.begin();
                s.changed.notify_all();
                continue;
            }
            block(SteadyClock::time_point::max());
        } else {
            block(SteadyClock::now() + std::chrono::milliseconds(deadline - now));
        }
    }
}

} // namespace host
