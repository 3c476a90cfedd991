#include "host/clock.h"
#include "host/thread.h"
#include "host/window.h"
#include "host/window_internal.h"
#include "host/window_test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace host::test {
namespace {

using MessageTest = WindowTest;
using Trace = std::vector<UINT>;

TEST_F(MessageTest, PostingFromAnotherThreadKeepsOrderAndParameters) {
    HWND hwnd = MakeWindow("TestWindow", WS_POPUP, {0, 0, 10, 10});
    const DWORD mainThread = GetCurrentThreadId();
    Thread worker([&] {
        for (int i = 0; i < 100; ++i)
            PostMessage(hwnd, WM_USER, static_cast<WPARAM>(i), -i);
        PostThreadMessage(mainThread, WM_APP, 1, 2);
    });
    worker.Join();
    std::vector<MSG> seen = Pump();
    ASSERT_EQ(seen.size(), 101u);
    for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(seen[i].hwnd, hwnd);
        EXPECT_EQ(seen[i].wParam, static_cast<WPARAM>(i));
        EXPECT_EQ(seen[i].lParam, -i);
    }
    EXPECT_EQ(seen[100].hwnd, nullptr);
    EXPECT_EQ(seen[100].message, WM_APP);
    for (const Received& r : Log().Of(hwnd, WM_USER))
        EXPECT_EQ(r.tid, mainThread); // procedures run on the owning thread
}

TEST_F(MessageTest, ThreadMessagesNeedAQueue) {
    Event started(true), hasQueue(true), done(true);
    std::atomic<DWORD> tid{0};
    std::atomic<UINT> got{0};
    Thread worker([&] {
        tid = GetCurrentThreadId();
        started.Set();
        hasQueue.Wait();
        MSG msg;
        PeekMessage(&msg, nullptr, 0, 0, PM_NOREMOVE); // makes the queue
        done.Set();
        if (GetMessage(&msg, nullptr, 0, 0) > 0) got = msg.message;
    });
    started.Wait();
    EXPECT_FALSE(PostThreadMessage(tid, WM_APP, 0, 0));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_THREAD_ID);
    hasQueue.Set();
    done.Wait();
    EXPECT_TRUE(PostThreadMessage(tid, WM_APP + 3, 0, 0));
    worker.Join();
    EXPECT_EQ(got, WM_APP + 3);
}

TEST_F(MessageTest, SendingAcrossThreadsWaitsAndServesNestedSends) {
    HWND mainWindow = MakeWindow("TestWindow", WS_POPUP, {0, 0, 10, 10});
    const DWORD mainThread = GetCurrentThreadId();
    Event ready(true);
    HWND workerWindow = nullptr;
    DWORD workerThread = 0;
    bool fInSend = false;
    Handler handler = [&](HWND hwnd, UINT msg, WPARAM wParam, LPARAM) -> std::optional<LRESULT> {
        if (msg == WM_USER) {
            fInSend = InSendMessage() != FALSE;
            // Sends back to the sender's thread, which serves it while it waits.
            LRESULT back = SendMessage(mainWindow, WM_USER + 5, wParam, 0);
            return static_cast<LRESULT>(wParam) * 2 + back;
        }
        if (msg == WM_DESTROY) PostQuitMessage(0);
        (void)hwnd;
        return std::nullopt;
    };
    Handler mainHandler = [](HWND, UINT msg, WPARAM, LPARAM) -> std::optional<LRESULT> {
        return msg == WM_USER + 5 ? std::optional<LRESULT>(1000) : std::nullopt;
    };
    SetWindowLongPtr(mainWindow, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&mainHandler));
    Thread worker([&] {
        workerThread = GetCurrentThreadId();
        workerWindow = MakeWindow("TestWindow", WS_POPUP, {0, 0, 10, 10}, nullptr, &handler);
        ready.Set();
        MSG msg;
        while (GetMessage(&msg, nullptr, 0, 0) > 0)
            DispatchMessage(&msg);
    });
    ready.Wait();
    EXPECT_EQ(SendMessage(workerWindow, WM_USER, 21, 0), 1042);
    EXPECT_TRUE(fInSend);
    ASSERT_EQ(Log().Of(workerWindow, WM_USER).size(), 1u);
    EXPECT_EQ(Log().Of(workerWindow, WM_USER)[0].tid, workerThread);
    ASSERT_EQ(Log().Of(mainWindow, WM_USER + 5).size(), 1u);
    EXPECT_EQ(Log().Of(mainWindow, WM_USER + 5)[0].tid, mainThread);
    EXPECT_FALSE(DestroyWindow(workerWindow)); // only its own thread may
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    PostMessage(workerWindow, WM_CLOSE, 0, 0);
    worker.Join();
    EXPECT_FALSE(IsWindow(workerWindow));
}

TEST_F(MessageTest, AThreadThatEndsTakesItsWindowsAndAnswersPendingSends) {
    Event ready(true);
    HWND hwnd = nullptr;
    Thread worker([&] {
        hwnd = MakeWindow("TestWindow", WS_POPUP | WS_VISIBLE, {0, 0, 10, 10});
        ready.Set();
        // Leaves without handling the message sent to it.
        MsgWaitForMultipleObjects(0, nullptr, FALSE, INFINITE, QS_SENDMESSAGE);
    });
    ready.Wait();
    EXPECT_EQ(SendMessage(hwnd, WM_USER, 1, 0), 0);
    worker.Join();
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_EQ(Log().Of(hwnd, WM_USER).size(), 0u);
    EXPECT_EQ(GetActiveWindow(), nullptr);
}

TEST_F(MessageTest, QuitComesAfterThePostedMessages) {
    HWND hwnd = MakeWindow("TestWindow", WS_POPUP, {0, 0, 10, 10});
    PostQuitMessage(5);
    PostMessage(hwnd, WM_USER, 0, 0);
    MSG msg;
    EXPECT_EQ(GetMessage(&msg, nullptr, 0, 0), 1);
    EXPECT_EQ(msg.message, WM_USER);
    EXPECT_EQ(GetMessage(&msg, nullptr, WM_USER, WM_USER), 0); // passes any filter
    EXPECT_EQ(msg.message, WM_QUIT);
    EXPECT_EQ(msg.wParam, 5u);
    EXPECT_FALSE(PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(MessageTest, PeekFiltersByWindowAndRange) {
    HWND a = MakeWindow("TestWindow", WS_POPUP, {0, 0, 10, 10});
    HWND b = MakeWindow("TestWindow", WS_POPUP, {0, 0, 10, 10});
    PostMessage(a, WM_USER, 0, 0);
    PostMessage(b, WM_USER + 1, 0, 0);
    PostMessage(nullptr, WM_APP, 0, 0);
    struct Case {
        HWND filter;
        UINT msgMin, msgMax;
        UINT expected; // 0: nothing
    };
    const Case cases[] = {
        {nullptr, 0, 0, WM_USER},
        {b, 0, 0, WM_USER + 1},
        {HWND_THREAD_ONLY, 0, 0, WM_APP},
        {nullptr, WM_USER + 1, WM_APP, WM_USER + 1},
        {nullptr, WM_APP + 1, WM_APP + 5, 0},
        {a, WM_USER + 1, WM_APP, 0},
    };
    for (const Case& c : cases) {
        MSG msg{};
        BOOL fFound = PeekMessage(&msg, c.filter, c.msgMin, c.msgMax, PM_NOREMOVE);
        EXPECT_EQ(fFound != FALSE, c.expected != 0);
        if (fFound) {
            EXPECT_EQ(msg.message, c.expected);
        }
    }
    EXPECT_EQ(Numbers(Pump()), (Trace{WM_USER, WM_USER + 1, WM_APP}));
    DestroyWindow(b);
    MSG msg;
    EXPECT_FALSE(PeekMessage(&msg, b, 0, 0, PM_REMOVE));
    EXPECT_EQ(GetMessage(&msg, b, 0, 0), -1);
}

TEST_F(MessageTest, TimersComeDueOnTheVirtualClockAndDoNotPileUp) {
    VirtualClockScope clock;
    HWND hwnd = MakeWindow("TestWindow", WS_POPUP, {0, 0, 10, 10});
    ASSERT_EQ(SetTimer(hwnd, 7, 100, nullptr), 7u);
    auto timers = [] {
        std::vector<WPARAM> ids;
        for (const MSG& m : Pump()) {
            if (m.message == WM_TIMER) ids.push_back(m.wParam);
        }
        return ids;
    };
    using Ids = std::vector<WPARAM>;
    struct Step {
        std::function<void()> action;
        DWORD msAdvance;
        Ids expected;
    };
    const Step steps[] = {
        {nullptr, 99, {}},
        {nullptr, 1, {7}},
        {nullptr, 1000, {7}}, // one message however late
        {nullptr, 99, {}},    // due again 100 ms after it was taken
        {nullptr, 1, {7}},
        {[&] { SetTimer(hwnd, 8, 20, nullptr); }, 100, {8, 7}}, // the one due first first
        {[&] { KillTimer(hwnd, 7); }, 500, {8}},
        {[&] { SetTimer(hwnd, 8, 0, nullptr); }, USER_TIMER_MINIMUM, {8}},
    };
    for (const Step& s : steps) {
        if (s.action) s.action();
        AdvanceVirtualClock(s.msAdvance);
        EXPECT_EQ(timers(), s.expected);
    }
    EXPECT_TRUE(KillTimer(hwnd, 8));
    EXPECT_FALSE(KillTimer(hwnd, 8));
    DestroyWindow(hwnd);
}

std::atomic<int> g_timerCalls{0};
void CountingTimerProc(HWND, UINT msg, UINT_PTR, DWORD) {
    if (msg == WM_TIMER) ++g_timerCalls;
}

TEST_F(MessageTest, TimerProceduresAreCalledOnlyForTheirTimer) {
    VirtualClockScope clock;
    HWND hwnd = MakeWindow("TestWindow", WS_POPUP, {0, 0, 10, 10});
    g_timerCalls = 0;
    UINT_PTR id = SetTimer(nullptr, 0, 50, CountingTimerProc);
    ASSERT_NE(id, 0u);
    AdvanceVirtualClock(50);
    Pump();
    EXPECT_EQ(g_timerCalls, 1);
    // A posted WM_TIMER cannot make dispatch call arbitrary code.
    PostMessage(hwnd, WM_TIMER, 99, reinterpret_cast<LPARAM>(&CountingTimerProc));
    PostMessage(nullptr, WM_TIMER, id + 1, reinterpret_cast<LPARAM>(&CountingTimerProc));
    Pump();
    EXPECT_EQ(g_timerCalls, 1);
    EXPECT_TRUE(KillTimer(nullptr, id));
}

TEST_F(MessageTest, GetMessageSleepsUntilTheVirtualClockReachesTheTimer) {
    VirtualClockScope clock(5000);
    HWND hwnd = MakeWindow("TestWindow", WS_POPUP, {0, 0, 10, 10});
    SetTimer(hwnd, 1, 250, nullptr);
    std::atomic<bool> fAdvanced{false};
    Thread advancer([&] {
        WaitForVirtualClockWaiters(1);
        AdvanceVirtualClock(249);
        WaitForVirtualClockWaiters(1); // still asleep
        fAdvanced = true;
        AdvanceVirtualClock(1);
    });
    MSG msg;
    ASSERT_EQ(GetMessage(&msg, nullptr, 0, 0), 1);
    EXPECT_TRUE(fAdvanced);
    EXPECT_EQ(msg.message, WM_TIMER);
    EXPECT_EQ(GetTickCount(), 5250u);
    EXPECT_EQ(GetMessageTime(), 5250);
    advancer.Join();
    KillTimer(hwnd, 1);
}

TEST_F(MessageTest, AutoAdvanceRunsATimerLoopWithoutHelp) {
    VirtualClockScope clock(1000);
    SetVirtualClockAutoAdvance(true);
    HWND hwnd = MakeWindow("TestWindow", WS_POPUP, {0, 0, 10, 10});
    SetTimer(hwnd, 1099, 20, nullptr);
    MSG msg;
    std::vector<DWORD> times;
    while (times.size() < 5 && GetMessage(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == WM_TIMER) times.push_back(msg.time);
    }
    EXPECT_EQ(times, (std::vector<DWORD>{1020, 1040, 1060, 1080, 1100}));
    KillTimer(hwnd, 1099);
}

TEST_F(MessageTest, MsgWaitWakesForEventsMessagesAndTimeOuts) {
    VirtualClockScope clock(1000);
    SetVirtualClockAutoAdvance(true);
    HWND hwnd = MakeWindow("TestWindow", WS_POPUP, {0, 0, 10, 10});
    Event event(false);
    Event* events[] = {&event};
    struct Case {
        std::function<void()> prepare;
        DWORD wakeMask;
        DWORD expected;
        DWORD msElapsed;
    };
    const Case cases[] = {
        {[&] { event.Set(); }, QS_ALLINPUT, WAIT_OBJECT_0, 0},
        {[&] { PostMessage(hwnd, WM_USER, 0, 0); }, QS_ALLINPUT, WAIT_OBJECT_0 + 1, 0},
        {[&] { PostMessage(hwnd, WM_USER, 0, 0); }, QS_KEY, WAIT_TIMEOUT, 30},
        {[&] { SetTimer(hwnd, 3, 12, nullptr); }, QS_TIMER, WAIT_OBJECT_0 + 1, 12},
        {[&] {}, QS_POSTMESSAGE, WAIT_TIMEOUT, 30},
    };
    for (const Case& c : cases) {
        Pump();
        c.prepare();
        DWORD start = GetTickCount();
        EXPECT_EQ(MsgWaitForMultipleObjects(1, events, FALSE, 30, c.wakeMask), c.expected);
        EXPECT_EQ(GetTickCount() - start, c.msElapsed);
        KillTimer(hwnd, 3);
    }
    EXPECT_FALSE(event.IsSet()); // the auto-reset event was taken
    // Another thread's signal ends the wait.
    SetVirtualClockAutoAdvance(false);
    Thread setter([&] {
        WaitForVirtualClockWaiters(1);
        event.Set();
    });
    EXPECT_EQ(MsgWaitForMultipleObjects(1, events, FALSE, 100, QS_ALLINPUT), WAIT_OBJECT_0);
}

TEST_F(MessageTest, MessagesRecordWhereAndWhenTheyWerePosted) {
    VirtualClockScope clock(7000);
    HWND hwnd = MakeWindow("TestWindow", WS_POPUP, {0, 0, 10, 10});
    SetCursorPos(12, -3);
    PostMessage(hwnd, WM_USER, 0, 0);
    SetCursorPos(50, 50);
    AdvanceVirtualClock(10);
    MSG msg;
    ASSERT_EQ(GetMessage(&msg, nullptr, 0, 0), 1);
    EXPECT_EQ(GetMessageTime(), 7000);
    DWORD pos = GetMessagePos();
    EXPECT_EQ(GET_X_LPARAM(static_cast<LPARAM>(pos)), 12);
    EXPECT_EQ(GET_Y_LPARAM(static_cast<LPARAM>(pos)), -3);
    EXPECT_EQ(msg.pt.y, -3);
}

TEST_F(MessageTest, TranslateMakesTheCharacterComeNext) {
    HWND hwnd = MakeWindow("TestWindow", WS_POPUP, {0, 0, 10, 10});
    struct Case {
        UINT vk;
        bool fShift;
        WPARAM expected; // 0: no character
    };
    const Case cases[] = {{'A', false, 'a'},
                          {'A', true, 'A'},
                          {'7', false, '7'},
                          {VK_RETURN, false, '\r'},
                          {VK_LEFT, false, 0}};
    for (const Case& c : cases) {
        PostKeyInput(VK_SHIFT, c.fShift);
        MSG key{hwnd, WM_KEYDOWN, c.vk, 1, 0, {}};
        PostMessage(hwnd, WM_USER, 0, 0);
        EXPECT_EQ(TranslateMessage(&key) != FALSE, c.expected != 0);
        std::vector<MSG> seen = Pump();
        if (c.expected != 0) {
            ASSERT_EQ(seen.size(), 2u);
            EXPECT_EQ(seen[0].message, WM_CHAR);
            EXPECT_EQ(seen[0].wParam, c.expected);
        } else {
            EXPECT_EQ(Numbers(seen), (Trace{WM_USER}));
        }
    }
    PostKeyInput(VK_SHIFT, false);
}

TEST_F(MessageTest, TheWaitPumpRunsWhileTheThreadWaits) {
    HWND hwnd = MakeWindow("TestWindow", WS_POPUP, {0, 0, 10, 10});
    int calls = 0;
    SetMessageWaitPump(
        [&] {
            if (++calls == 3) PostMessage(hwnd, WM_USER + 9, 0, 0);
        },
        1);
    MSG msg;
    ASSERT_EQ(GetMessage(&msg, nullptr, 0, 0), 1);
    EXPECT_EQ(msg.message, WM_USER + 9);
    EXPECT_EQ(calls, 3);

    // A pump that slows itself down is not run again before its new interval.
    calls = 0;
    SetMessageWaitPump([&] { SetMessageWaitPumpInterval(++calls == 1 ? 60000 : 1); }, 1);
    std::thread poster([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        PostMessage(hwnd, WM_USER + 10, 0, 0);
    });
    ASSERT_EQ(GetMessage(&msg, nullptr, 0, 0), 1);
    poster.join();
    EXPECT_EQ(msg.message, WM_USER + 10);
    EXPECT_EQ(calls, 1);

    // A timer due more often than the pump's interval does not starve it: the window's
    // thread waiting through such timers still reads input and presents every interval.
    calls = 0;
    SetMessageWaitPump([&] { ++calls; }, 30);
    ASSERT_NE(SetTimer(hwnd, 7, 5, nullptr), 0u);
    const auto start = std::chrono::steady_clock::now();
    int cTimers = 0;
    while (std::chrono::steady_clock::now() - start < std::chrono::milliseconds(300)) {
        ASSERT_EQ(GetMessage(&msg, nullptr, 0, 0), 1);
        cTimers += msg.message == WM_TIMER;
    }
    KillTimer(hwnd, 7);
    EXPECT_GT(cTimers, 10);
    EXPECT_GE(calls, 5) << cTimers << " timers";
    SetMessageWaitPump(nullptr, 0);
}

} // namespace
} // namespace host::test
