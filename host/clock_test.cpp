#include "host/clock.h"
#include "host/debug.h"
#include "host/thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>

namespace host {
namespace {

TEST(Clock, VirtualTicksAndCounterFollowAdvances) {
    struct Case {
        DWORD msStart;
        DWORD msAdvance;
        DWORD expectedTick;
    };
    const Case cases[] = {
        {kVirtualClockStart, 0, kVirtualClockStart},
        {1000, 33, 1033},
        {0xFFFFFF00, 0x200, 0x100}, // the tick count wraps at 2^32
    };
    for (const Case& c : cases) {
        VirtualClockScope clock(c.msStart);
        LARGE_INTEGER before{}, after{}, frequency{};
        ASSERT_TRUE(QueryPerformanceCounter(&before));
        AdvanceVirtualClock(c.msAdvance);
        ASSERT_TRUE(QueryPerformanceCounter(&after));
        ASSERT_TRUE(QueryPerformanceFrequency(&frequency));
        EXPECT_EQ(GetTickCount(), c.expectedTick);
        EXPECT_EQ((after.QuadPart - before.QuadPart) * 1000 / frequency.QuadPart, c.msAdvance);
    }
    EXPECT_FALSE(IsVirtualClock());
}

TEST(Clock, RealClockMovesForward) {
    LARGE_INTEGER a{}, b{};
    QueryPerformanceCounter(&a);
    DWORD tick = GetTickCount();
    Sleep(5);
    QueryPerformanceCounter(&b);
    EXPECT_GE(GetTickCount() - tick, 4u);
    EXPECT_GE(b.QuadPart - a.QuadPart, 4000);
}

// A thread waits on an event with a time-out while the test advances the clock and maybe
// signals: the wait ends exactly when the virtual deadline passes, never earlier.
TEST(Clock, EventWaitEndsAtTheVirtualDeadline) {
    struct Case {
        DWORD msTimeout;
        DWORD msFirstAdvance; // the waiter must still be waiting after this one
        bool fSignal;         // then either signal the event or advance to the deadline
    };
    const Case cases[] = {{100, 99, false}, {100, 0, true}, {1, 0, false}, {5000, 4000, true}};
    for (const Case& c : cases) {
        VirtualClockScope clock;
        Event event(false);
        std::atomic<int> result{-1};
        Thread waiter([&] { result = event.Wait(c.msTimeout) ? 1 : 0; });
        WaitForVirtualClockWaiters(1);
        AdvanceVirtualClock(c.msFirstAdvance);
        WaitForVirtualClockWaiters(1);
        EXPECT_EQ(result, -1) << c.msTimeout;
        if (c.fSignal)
            event.Set();
        else
            AdvanceVirtualClock(c.msTimeout - c.msFirstAdvance);
        waiter.Join();
        EXPECT_EQ(result, c.fSignal ? 1 : 0) << c.msTimeout;
    }
}

TEST(Clock, SleepAndZeroTimeoutOnTheVirtualClock) {
    VirtualClockScope clock(5000);
    Event event(true);
    EXPECT_FALSE(event.Wait(0)); // a zero time-out never blocks
    std::atomic<bool> fAwake{false};
    Thread sleeper([&] {
        Sleep(250);
        fAwake = true;
    });
    WaitForVirtualClockWaiters(1);
    AdvanceVirtualClock(249);
    EXPECT_FALSE(fAwake);
    AdvanceVirtualClock(1);
    sleeper.Join();
    EXPECT_TRUE(fAwake);
    EXPECT_EQ(GetTickCount(), 5250u);
}

TEST(Clock, AutoAdvanceJumpsToTheDeadline) {
    VirtualClockScope clock(0x1000);
    SetVirtualClockAutoAdvance(true);
    Event event(false);
    EXPECT_FALSE(event.Wait(300));
    EXPECT_EQ(GetTickCount(), 0x1000u + 300);
    Sleep(40);
    EXPECT_EQ(GetTickCount(), 0x1000u + 340);
}

TEST(Clock, WaitForMultipleEvents) {
    Event manual(true), autoReset(false), other(false);
    Event* events[] = {&manual, &autoReset, &other};
    struct Case {
        bool fManual, fAuto, fOther, fWaitAll;
        DWORD expected;
        bool fAutoLeftSet;
    };
    const Case cases[] = {
        {false, false, false, false, WAIT_TIMEOUT, false},
        {false, true, true, false, WAIT_OBJECT_0 + 1, false}, // lowest index wins
        {true, true, false, false, WAIT_OBJECT_0, true},      // the auto event is untouched
        {true, true, false, true, WAIT_TIMEOUT, true},        // all: nothing is consumed
        {true, true, true, true, WAIT_OBJECT_0, false},
    };
    for (const Case& c : cases) {
        c.fManual ? manual.Set() : manual.Reset();
        c.fAuto ? autoReset.Set() : autoReset.Reset();
        c.fOther ? other.Set() : other.Reset();
        EXPECT_EQ(WaitForMultipleObjects(3, events, c.fWaitAll, 0), c.expected);
        EXPECT_EQ(autoReset.IsSet(), c.fAutoLeftSet);
        EXPECT_EQ(manual.IsSet(), c.fManual); // manual events stay set
    }
    EXPECT_EQ(WaitForMultipleObjects(0, events, false, 0), WAIT_FAILED);
}

TEST(Clock, RealTimeOutsStillWork) {
    Event event(false);
    DWORD tick = GetTickCount();
    EXPECT_FALSE(event.Wait(20));
    EXPECT_GE(GetTickCount() - tick, 19u);
    Thread setter([&] { event.Set(); });
    EXPECT_TRUE(event.Wait(INFINITE));
}

// A thread cannot join itself: its Thread object dropped from its own body is detached, with a
// trace, instead of ending the process.
TEST(Thread, DroppedOnItsOwnThreadDetachesAndTraces) {
    struct Case {
        const char* pszWhat;
        void (*Drop)(std::unique_ptr<Thread>& self);
    } cases[] = {
        {"destroyed on its own thread", [](std::unique_ptr<Thread>& self) { self.reset(); }},
        {"assigned over on its own thread",
         [](std::unique_ptr<Thread>& self) { *self = Thread(); }},
    };
    for (const Case& c : cases) {
        DebugCapture capture;
        auto self = std::make_unique<Thread>();
        Event go(true), done(true);
        *self = Thread([&] {
            go.Wait(INFINITE);
            c.Drop(self);
            done.Set();
        });
        go.Set();
        ASSERT_TRUE(done.Wait(5000)) << c.pszWhat;
        EXPECT_NE(capture.Text().find(c.pszWhat), std::string::npos) << capture.Text();
        self.reset(); // a thread still to come would be joined here
    }
}

} // namespace
} // namespace host
