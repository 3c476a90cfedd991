// Time: the millisecond tick count, the high-resolution counter, the virtual clock, and the
// timed waits built on them.
//
// Real time comes from the monotonic clock. Tests switch on the virtual clock, which stands
// still until they advance it by hand; every wait of the host layer that has a time-out
// (message waits and timers, Event::Wait, WaitForMultipleObjects, Sleep, named-mutex waits)
// then measures that time-out on the virtual clock, so timing tests are exact and instant.
//
// Rules of the virtual clock:
// - A timed wait ends when its condition is met or once the clock has been advanced to or
//   past its deadline (the clock when the wait began plus the time-out). Until then it
//   blocks, however much real time passes.
// - Waits without a time-out (INFINITE), and tests with a time-out of 0, behave alike on
//   both clocks.
// - AdvanceVirtualClock wakes every wait whose deadline it passes. The woken threads run
//   after it returns, as after any other wake-up; a test that needs their effects waits for
//   them (an event, a message) as it would with real time.
// - With auto-advance on, a thread about to block in a timed wait first moves the clock to
//   the earliest deadline of all blocked timed waits, its own included. A test whose
//   timing lives on one thread (a message loop with timers) then runs without anybody
//   advancing the clock; with several busy threads the order of their deadlines is not
//   guaranteed.
// - Switch clocks only while no thread is in a timed wait: a timed wait that spans a switch
//   ends as timed out.
// - QueryPerformanceFrequency is 1 000 000 on both clocks; the virtual counter is the
//   virtual milliseconds times 1000.
#pragma once

#include "host/types.h"

#include <cstdint>
#include <functional>
#include <mutex>

namespace host {

constexpr DWORD INFINITE = 0xFFFFFFFF;

// Milliseconds since an arbitrary start (boot, or the virtual clock's start); wraps at 2^32.
DWORD GetTickCount();

struct LARGE_INTEGER {
    std::int64_t QuadPart;
};

// The high-resolution counter and its ticks per second; both always succeed.
BOOL QueryPerformanceCounter(LARGE_INTEGER* pCount);
BOOL QueryPerformanceFrequency(LARGE_INTEGER* pFrequency);

// The virtual clock's tick count when a test switches it on without naming a start. Not 0,
// so that code using 0 as "never" keeps working.
constexpr DWORD kVirtualClockStart = 100000;

// Switches to the virtual clock, which then reads msStart.
void UseVirtualClock(DWORD msStart = kVirtualClockStart);
// Switches back to real time (and turns auto-advance off).
void UseRealClock();
bool IsVirtualClock();
// Moves the virtual clock forward; does nothing on the real clock.
void AdvanceVirtualClock(DWORD ms);
// See the rules above.
void SetVirtualClockAutoAdvance(bool fOn);
// Blocks (in real time) until at least cWaits timed waits are blocked on the virtual clock,
// so that a test advances the clock only once the other threads wait.
void WaitForVirtualClockWaiters(std::size_t cWaits);

// Switches the virtual clock on for the lifetime of a scope (tests).
class VirtualClockScope {
public:
    explicit VirtualClockScope(DWORD msStart = kVirtualClockStart) { UseVirtualClock(msStart); }
    ~VirtualClockScope() { UseRealClock(); }
    VirtualClockScope(const VirtualClockScope&) = delete;
    VirtualClockScope& operator=(const VirtualClockScope&) = delete;
};

// Timed waits. Every blocking wait of the host layer goes through WaitUntil, so that one
// place decides how time-outs follow the clock. The state such waits look at (events,
// message queues, windows) is guarded by one process-wide lock, WaitMutex(); whoever
// changes that state calls WakeWaiters() while still holding the lock, and the waiters
// look at their conditions again.
using ClockMs = std::uint64_t;
constexpr ClockMs kNoDeadline = UINT64_MAX;

// The clock in force, in milliseconds (64-bit, never wraps).
ClockMs ClockNow();
// ClockNow() + msTimeout, or kNoDeadline for INFINITE.
ClockMs DeadlineAfter(DWORD msTimeout);

std::mutex& WaitMutex();
void WakeWaiters();

enum class WaitStatus { kReady, kTimedOut, kSlice };

// With `lock` holding WaitMutex(): returns kReady as soon as ready() is true, kTimedOut
// when the clock reaches `deadline`, or kSlice after msRealSlice milliseconds of real time
// (INFINITE: never), so that a caller can do periodic work (reading a backend's input)
// while it waits. ready() runs with the lock held and is asked first.
WaitStatus WaitUntil(std::unique_lock<std::mutex>& lock, ClockMs deadline,
                     const std::function<bool()>& ready, DWORD msRealSlice = INFINITE);

} // namespace host
