#include "anim/cea_main.h"
#include "anim/cea_object.h"
#include "anim/cea_window.h"

#include "foundation/memmgr.h"
#include "host/clock.h"
#include "host/screen.h"

#include <gtest/gtest.h>

#include <cmath>
#include <thread>
#include <vector>

namespace {

using host::RGB;

constexpr Color kBack = RGB(0, 0, 248);
constexpr Color kRed = RGB(248, 0, 0);
constexpr Color kGreen = RGB(0, 248, 0);

// What the window's callback and hook saw; the window's application value points here.
struct Recorder {
    struct Event {
        LONG iFrame;
        LPARAM lValue;
        LPARAM lSecond;
        bool operator==(const Event&) const = default;
    };
    struct Paint {
        DWORD ms;
        LONG iFrame;
    };
    std::vector<Event> events;
    std::vector<Paint> paints;
    LPARAM lStopOn = -1;   // this event's callback returns 0
    LPARAM lPauseOn = -1;  // this event pauses the window
    LPARAM lCloseOn = -1;  // this event destroys the window
    DWORD msPaintCost = 0; // the clock moves on by this much in every paint
    DWORD msPauseFor = 0;  // the first timer message this long after pausing resumes
    DWORD msPausedAt = 0;
    DWORD msResumedAt = 0;
    std::vector<LONG> framesWhilePaused;
};

Recorder* RecorderOf(AnimWindow* pWindow) {
    return reinterpret_cast<Recorder*>(pWindow->GetAppValue());
}

int RecordingCallback(AnimWindow* pWindow, int nEvent, LPARAM lParam1, LPARAM lParam2) {
    Recorder* pRecorder = RecorderOf(pWindow);
    if (pRecorder == nullptr) return 1;
    if (nEvent == ANIMEVENT_PAINTED) {
        pRecorder->paints.push_back({GetMilliseconds(), pWindow->GetFrameCounter()});
        host::AdvanceVirtualClock(pRecorder->msPaintCost);
    } else if (nEvent == ANIMEVENT_TIMELINE) {
        pRecorder->events.push_back({pWindow->GetFrameCounter(), lParam1, lParam2});
        if (lParam1 == pRecorder->lPauseOn) {
            pWindow->SetPaused(1);
            pRecorder->msPausedAt = GetMilliseconds();
        }
        if (lParam1 == pRecorder->lStopOn) return 0;
        if (lParam1 == pRecorder->lCloseOn) host::DestroyWindow(pWindow->GetHandle());
    }
    return 1;
}

int PauseHook(AnimWindow* pWindow, HWND, UINT uMsg, WPARAM, LPARAM) {
    Recorder* pRecorder = RecorderOf(pWindow);
    if (uMsg != host::WM_TIMER || pRecorder == nullptr || !pWindow->IsPaused()) return 0;
    pRecorder->framesWhilePaused.push_back(pWindow->GetFrameCounter());
    if (GetMilliseconds() - pRecorder->msPausedAt >= pRecorder->msPauseFor) {
        pRecorder->msResumedAt = GetMilliseconds();
        pWindow->SetPaused(0);
    }
    return 0;
}

void Pump() {
    host::MSG msg;
    while (host::PeekMessage(&msg, nullptr, 0, 0, host::PM_REMOVE)) {
        host::TranslateMessage(&msg);
        host::DispatchMessage(&msg);
    }
}

HWND MakeAnimWindow(DWORD dwStyle, int cx, int cy) {
    return host::CreateWindowEx(0, ANIMWINDOW_CLASS, TEXT(""), host::WS_POPUP | dwStyle, 0, 0, cx,
                                cy, nullptr, nullptr, nullptr, nullptr);
}

// A headless device screen with one 240 x 294 animated window on the virtual clock.
class TimelineTest : public ::testing::Test {
protected:
    void SetUp() override {
        host::ScreenOptions options;
        options.backend = host::ScreenBackendKind::kHeadless;
        options.nDepth = 16;
        ASSERT_TRUE(host::InitScreen(options));
        ASSERT_EQ(AnimStartup(nullptr, 0), 1);
        InitMilliseconds();
        m_hwnd = MakeAnimWindow(host::WS_VISIBLE, 240, 294);
        m_pWindow = AnimWindow::FromHandle(m_hwnd);
        ASSERT_NE(m_pWindow, nullptr);
        RECT rc = {0, 0, 240, 294};
        m_pWindow->FillBackground(kBack, &rc);
        m_pWindow->SetAppValue(reinterpret_cast<LPARAM>(&m_recorder));
        m_pWindow->SetCallback(&RecordingCallback);
        m_pWindow->Repaint();
        Pump();
        m_recorder.paints.clear();
    }
    void TearDown() override {
        host::SetVirtualClockAutoAdvance(false);
        host::DestroyWindow(m_hwnd);
        for (Graphic* pGraphic : m_graphics)
            MemDelete(pGraphic);
        AnimShutdown();
        host::ShutdownScreen();
    }

    Graphic* Solid(int cx, int cy, Color clr) {
        Graphic* pGraphic = MemNew(Graphic, cx, cy, 0);
        for (int y = 0; y < cy; ++y)
            for (int x = 0; x < cx; ++x)
                pGraphic->SetPixelColor(x, y, clr);
        m_graphics.push_back(pGraphic);
        return pGraphic;
    }
    AnimWindow::PaintCounters Since(const AnimWindow::PaintCounters& before) const {
        const AnimWindow::PaintCounters& now = m_pWindow->GetPaintCounters();
        return {now.cPaints - before.cPaints, now.cScenePixels - before.cScenePixels,
                now.cFramePixels - before.cFramePixels, now.cScreenPixels - before.cScreenPixels};
    }
    // Every paint of a real-time play shows the frame that is due: the deadline of the
    // frame counter lies at most one period after the paint.
    void ExpectPaintsOnTime(DWORD msStart, DWORD msPeriod) const {
        for (const Recorder::Paint& paint : m_recorder.paints) {
            DWORD msDue = msStart + static_cast<DWORD>(paint.iFrame) * msPeriod;
            EXPECT_GE(msDue, paint.ms) << "frame " << paint.iFrame;
            EXPECT_LE(msDue, paint.ms + msPeriod) << "frame " << paint.iFrame;
        }
    }

    host::VirtualClockScope m_clock;
    Recorder m_recorder;
    HWND m_hwnd = nullptr;
    AnimWindow* m_pWindow = nullptr;
    std::vector<Graphic*> m_graphics;
};

TEST_F(TimelineTest, FrameRateSetsPeriodAndTimer) {
    struct Case {
        double dRate;
        double dExpected;
        DWORD msTimer;
    };
    const Case cases[] = {
        {0, 40, 20},           {5, 5, 100}, {std::nan(""), 40, 20}, {-3, 40, 20},
        {30, 1000.0 / 33, 20}, {8, 8, 25},  {1000, 1000, 20},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dRate);
        Pump();
        m_pWindow->SetFrameRate(c.dRate);
        EXPECT_DOUBLE_EQ(m_pWindow->GetFrameRate(), c.dExpected);
        host::MSG msg;
        host::AdvanceVirtualClock(c.msTimer - 1);
        EXPECT_FALSE(
            host::PeekMessage(&msg, m_hwnd, host::WM_TIMER, host::WM_TIMER, host::PM_REMOVE));
        host::AdvanceVirtualClock(1);
        ASSERT_TRUE(
            host::PeekMessage(&msg, m_hwnd, host::WM_TIMER, host::WM_TIMER, host::PM_REMOVE));
        EXPECT_EQ(msg.wParam, ANIM_TIMER_ID);
    }
    m_pWindow->SetFrameRate(2000); // a period below one millisecond
    EXPECT_EQ(m_pWindow->GetFrameRate(), 0);
}

TEST_F(TimelineTest, PlayToEndPlaysEveryScheduledFrameInRealTime) {
    EXPECT_EQ(m_pWindow->ScheduleEvent(3, 30, 0), 4);
    EXPECT_EQ(m_pWindow->ScheduleEvent(7, 70, 0), 8);
    EXPECT_EQ(m_pWindow->ScheduleEvent(1, 10, 0), 8);
    EXPECT_EQ(m_pWindow->GetEndFrame(), 8);
    host::SetVirtualClockAutoAdvance(true);
    DWORD msStart = GetMilliseconds();
    m_pWindow->PlayToEnd();
    EXPECT_EQ(m_pWindow->GetFrameCounter(), 8);
    EXPECT_EQ(m_recorder.events,
              (std::vector<Recorder::Event>{{1, 10, 0}, {3, 30, 0}, {7, 70, 0}}));
    EXPECT_EQ(GetMilliseconds() - msStart, 7u * 25); // no wait after the last frame
    EXPECT_EQ(m_recorder.paints.size(), 8u);
    ExpectPaintsOnTime(msStart, 25);

    m_pWindow->PlayToEnd(); // nothing left
    EXPECT_EQ(m_pWindow->GetFrameCounter(), 8);
    EXPECT_EQ(m_pWindow->Advance(-1), 1);
    EXPECT_EQ(m_pWindow->GetFrameCounter(), 8);
}

TEST_F(TimelineTest, CancelsFreeTheMatchingEntries) {
    struct Case {
        const char* pszName;
        void (*pfnCancel)(AnimWindow*, AnimObject*, Graphic*, LONG iBase);
        bool fFirstMoved;
        bool fSecondMoved;
        std::vector<Recorder::Event> events;
    };
    const std::vector<Recorder::Event> all = {{2, 10, 1}, {2, 10, 2}, {3, 20, 1}};
    const Case cases[] = {
        {"nothing", [](AnimWindow*, AnimObject*, Graphic*, LONG) {}, true, true, all},
        {"object", [](AnimWindow* p, AnimObject* o, Graphic*, LONG) { p->CancelObject(o); }, false,
         true, all},
        {"graphic", [](AnimWindow* p, AnimObject*, Graphic* g, LONG) { p->CancelGraphic(g); }, true,
         false, all},
        {"event, any second",
         [](AnimWindow* p, AnimObject*, Graphic*, LONG) { p->CancelEvent(10, 0); },
         true,
         true,
         {{3, 20, 1}}},
        {"event and second",
         [](AnimWindow* p, AnimObject*, Graphic*, LONG) { p->CancelEvent(10, 2); },
         true,
         true,
         {{2, 10, 1}, {3, 20, 1}}},
        {"frame of objects",
         [](AnimWindow* p, AnimObject*, Graphic*, LONG i) { p->CancelFrame(i + 1); }, false, false,
         all},
        {"frame of events",
         [](AnimWindow* p, AnimObject*, Graphic*, LONG i) { p->CancelFrame(i + 2); },
         true,
         true,
         {{3, 20, 1}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszName);
        m_recorder.events.clear();
        LONG iBase = m_pWindow->GetFrameCounter();
        AnimObject* pFirst = MemNew(AnimObject, m_pWindow, Solid(4, 4, kRed), 5);
        AnimObject* pSecond = MemNew(AnimObject, m_pWindow, Solid(4, 4, kRed), 5);
        Graphic* pGraphic = Solid(4, 4, kGreen);
        RECT rc = {50, 50, 54, 54};
        m_pWindow->ScheduleObject(iBase + 1, pFirst, nullptr, &rc);
        m_pWindow->ScheduleObject(iBase + 1, pSecond, pGraphic, &rc);
        m_pWindow->ScheduleEvent(iBase + 2, 10, 1);
        m_pWindow->ScheduleEvent(iBase + 2, 10, 2);
        m_pWindow->ScheduleEvent(iBase + 3, 20, 1);
        c.pfnCancel(m_pWindow, pFirst, pGraphic, iBase);
        EXPECT_EQ(m_pWindow->Advance(-1), 1);
        EXPECT_EQ(m_pWindow->GetFrameCounter(), iBase + 4);
        RECT rcFirst, rcSecond;
        pFirst->GetRect(&rcFirst);
        pSecond->GetRect(&rcSecond);
        EXPECT_EQ(rcFirst.left == 50, c.fFirstMoved);
        EXPECT_EQ(rcSecond.left == 50, c.fSecondMoved);
        std::vector<Recorder::Event> expected;
        for (Recorder::Event e : c.events)
            expected.push_back({iBase + e.iFrame, e.lValue, e.lSecond});
        EXPECT_EQ(m_recorder.events, expected);
        MemDelete(pFirst);
        MemDelete(pSecond);
    }
}

TEST_F(TimelineTest, ObjectEntriesMoveAndChangeThePicture) {
    struct Case {
        const char* pszName;
        bool fGraphic;
        RECT rc;
        RECT rcAfter;
        Color clrAt54;
        Color clrAt4;
    };
    const Case cases[] = {
        {"graphic and rectangle", true, {50, 50, 58, 58}, {50, 50, 58, 58}, kGreen, kBack},
        {"rectangle only", false, {50, 50, 60, 60}, {50, 50, 60, 60}, kRed, kBack},
        {"graphic only", true, {}, {0, 0, 8, 8}, kBack, kGreen},
        {"neither: the picture goes", false, {}, {0, 0, 8, 8}, kBack, kBack},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszName);
        AnimObject* pObject = MemNew(AnimObject, m_pWindow, Solid(8, 8, kRed), 5);
        pObject->SetFlags(OBJF_STATIC); // an entry frees the object from the scene
        Graphic* pGraphic = c.fGraphic ? Solid(8, 8, kGreen) : nullptr;
        LONG iFrame = m_pWindow->GetFrameCounter();
        m_pWindow->ScheduleObject(iFrame + 1, pObject, pGraphic, &c.rc);
        m_pWindow->Step();
        EXPECT_EQ(host::GetScreenPixel(4, 4), kRed);
        m_pWindow->Step();
        RECT rc;
        pObject->GetRect(&rc);
        EXPECT_EQ(rc.left, c.rcAfter.left);
        EXPECT_EQ(rc.top, c.rcAfter.top);
        EXPECT_EQ(rc.right, c.rcAfter.right);
        EXPECT_EQ(rc.bottom, c.rcAfter.bottom);
        EXPECT_EQ(pObject->GetFlags(), 0u);
        EXPECT_EQ(pObject->GetGraphic() != nullptr, c.clrAt54 != kBack || c.clrAt4 != kBack);
        EXPECT_EQ(host::GetScreenPixel(54, 54), c.clrAt54);
        EXPECT_EQ(host::GetScreenPixel(4, 4), c.clrAt4);
        MemDelete(pObject);
        m_pWindow->Repaint();
    }
}

TEST_F(TimelineTest, CallbackReturningZeroStopsPlayAfterThatFramesRedraw) {
    AnimObject* pObject = MemNew(AnimObject, m_pWindow, Solid(8, 8, kRed), 5);
    for (LONG i = 0; i < 10; ++i) {
        RECT rc = {10 * i, 0, 10 * i + 8, 8};
        m_pWindow->ScheduleObject(i, pObject, nullptr, &rc);
    }
    m_pWindow->ScheduleEvent(4, 99, 0);
    m_pWindow->ScheduleEvent(5, 55, 0);
    m_recorder.lStopOn = 99;
    host::SetVirtualClockAutoAdvance(true);
    m_pWindow->Play(-1);
    EXPECT_EQ(m_pWindow->GetFrameCounter(), 5);
    EXPECT_EQ(m_recorder.events, (std::vector<Recorder::Event>{{4, 99, 0}}));
    ASSERT_FALSE(m_recorder.paints.empty());
    EXPECT_EQ(m_recorder.paints.back().iFrame, 5);
    EXPECT_EQ(host::GetScreenPixel(44, 4), kRed);

    // Advancing by hand: stopped there, without a redraw.
    m_recorder.lStopOn = 55;
    AnimWindow::PaintCounters before = m_pWindow->GetPaintCounters();
    EXPECT_EQ(m_pWindow->Advance(-1), 0);
    EXPECT_EQ(m_pWindow->GetFrameCounter(), 6);
    EXPECT_EQ(Since(before).cPaints, 0u);
    EXPECT_EQ(m_pWindow->Advance(-1), 1);
    EXPECT_EQ(m_pWindow->GetFrameCounter(), 10);
    EXPECT_EQ(Since(before).cPaints, 1u);
}

TEST_F(TimelineTest, SlowWindowKeepsTimeWithFewerRedraws) {
    m_recorder.msPaintCost = 60; // a 40 fps window whose paint takes 60 ms
    host::SetVirtualClockAutoAdvance(true);
    DWORD msStart = GetMilliseconds();
    m_pWindow->Play(40);
    EXPECT_GE(m_pWindow->GetFrameCounter(), 40);
    EXPECT_LE(m_pWindow->GetFrameCounter(), 43);
    EXPECT_LT(m_recorder.paints.size(), 20u);
    EXPECT_GT(m_recorder.paints.size(), 10u);
    ExpectPaintsOnTime(msStart, 25);
}

TEST_F(TimelineTest, PausedWindowPlaysNothingAndCatchesUp) {
    m_recorder.lPauseOn = 1;
    m_recorder.lStopOn = 2;
    m_recorder.msPauseFor = 500;
    m_pWindow->ScheduleEvent(4, 1, 0);
    m_pWindow->ScheduleEvent(40, 2, 0);
    m_pWindow->AddHook(&PauseHook, HOOK_ALL);
    host::SetVirtualClockAutoAdvance(true);
    DWORD msStart = GetMilliseconds();
    m_pWindow->Play(-1);

    EXPECT_EQ(m_pWindow->GetFrameCounter(), 41);
    EXPECT_GE(m_recorder.msResumedAt - m_recorder.msPausedAt, 500u);
    EXPECT_LT(m_recorder.msResumedAt - m_recorder.msPausedAt, 520u);
    ASSERT_GT(m_recorder.framesWhilePaused.size(), 10u);
    for (LONG iFrame : m_recorder.framesWhilePaused)
        EXPECT_EQ(iFrame, 5);
    bool fCaughtUp = false;
    for (const Recorder::Paint& paint : m_recorder.paints) {
        EXPECT_FALSE(paint.ms > m_recorder.msPausedAt && paint.ms < m_recorder.msResumedAt);
        if (paint.ms >= m_recorder.msResumedAt && !fCaughtUp) {
            fCaughtUp = true;
            EXPECT_GE(paint.iFrame, 4 + 500 / 25); // the whole pause at once
        }
    }
    EXPECT_TRUE(fCaughtUp);
    ExpectPaintsOnTime(msStart, 25);
    m_pWindow->RemoveHook(&PauseHook);
}

TEST_F(TimelineTest, ClosingTheWindowEndsPlay) {
    m_recorder.lCloseOn = 3;
    m_pWindow->ScheduleEvent(3, 3, 0);
    m_pWindow->ScheduleEvent(4, 4, 0);
    host::SetVirtualClockAutoAdvance(true);
    m_pWindow->Play(-1); // from a timeline callback
    EXPECT_EQ(AnimWindow::FromHandle(m_hwnd), nullptr);
    EXPECT_EQ(m_recorder.events, (std::vector<Recorder::Event>{{3, 3, 0}}));

    m_hwnd = MakeAnimWindow(host::WS_VISIBLE, 50, 50);
    m_pWindow = AnimWindow::FromHandle(m_hwnd);
    ASSERT_NE(m_pWindow, nullptr);
    host::PostMessage(m_hwnd, host::WM_CLOSE, 0, 0);
    m_pWindow->Play(-1); // from the message pump
    EXPECT_EQ(AnimWindow::FromHandle(m_hwnd), nullptr);
}

TEST_F(TimelineTest, MeasuredRateFollowsThePaints) {
    HWND hwndHidden = MakeAnimWindow(0, 40, 40);
    AnimWindow* pHidden = AnimWindow::FromHandle(hwndHidden);
    ASSERT_NE(pHidden, nullptr);
    EXPECT_EQ(pHidden->GetMeasuredRate(), 0); // never painted
    host::DestroyWindow(hwndHidden);

    host::SetVirtualClockAutoAdvance(true);
    for (double dRate : {30.0, 40.0, 5.0}) {
        SCOPED_TRACE(dRate);
        m_pWindow->SetFrameRate(dRate);
        m_pWindow->Play(40);
        EXPECT_EQ(static_cast<int>(m_pWindow->GetMeasuredRate()), static_cast<int>(dRate));
    }
}

TEST_F(TimelineTest, WorkerThreadsScheduleThroughTheQueue) {
    std::thread worker([hwnd = m_hwnd] {
        EXPECT_TRUE(AnimWindow::PostScheduleEvent(hwnd, 5, 77, -3));
        EXPECT_TRUE(AnimWindow::PostScheduleEvent(hwnd, 2, -55, 0x7FFFFFFF));
    });
    worker.join();
    EXPECT_EQ(m_pWindow->GetEndFrame(), 0); // nothing before the window's thread pumps
    Pump();
    EXPECT_EQ(m_pWindow->GetEndFrame(), 6);
    EXPECT_EQ(m_pWindow->Advance(-1), 1);
    EXPECT_EQ(m_recorder.events, (std::vector<Recorder::Event>{{2, -55, 0x7FFFFFFF}, {5, 77, -3}}));

    HWND hwndGone = MakeAnimWindow(0, 10, 10);
    host::DestroyWindow(hwndGone);
    EXPECT_FALSE(AnimWindow::PostScheduleEvent(hwndGone, 1, 1, 0));
}

TEST_F(TimelineTest, ScheduledPathIsDrawnAtEachFrameAndNowhereElse) {
    AnimObject* pObject = MemNew(AnimObject, m_pWindow, Solid(8, 8, kRed), 5);
    for (LONG i = 0; i < 6; ++i) {
        RECT rc = {20 + 7 * i, 30 + 3 * i, 28 + 7 * i, 38 + 3 * i};
        m_pWindow->ScheduleObject(i, pObject, nullptr, &rc);
    }
    for (LONG i = 0; i < 6; ++i) {
        SCOPED_TRACE(i);
        m_pWindow->Step();
        int cRed = 0;
        for (int y = 0; y < 80; ++y) {
            for (int x = 0; x < 100; ++x) {
                if (host::GetScreenPixel(x, y) != kRed) continue;
                ++cRed;
                EXPECT_TRUE(x >= 20 + 7 * i && x < 28 + 7 * i && y >= 30 + 3 * i && y < 38 + 3 * i)
                    << x << "," << y;
            }
        }
        EXPECT_EQ(cRed, 64);
    }
}

TEST_F(TimelineTest, OnlyDirtyRectanglesAreRecomposed) {
    AnimObject* pMoving = MemNew(AnimObject, m_pWindow, Solid(8, 8, kRed), 5);
    AnimObject* pStill = MemNew(AnimObject, m_pWindow, Solid(30, 30, kGreen), 6);
    pStill->SetPosition(100, 100);
    pStill->SetFlags(OBJF_STATIC);
    m_pWindow->Repaint();

    AnimWindow::PaintCounters before = m_pWindow->GetPaintCounters();
    m_pWindow->Step(); // nothing changes
    AnimWindow::PaintCounters delta = Since(before);
    EXPECT_EQ(delta.cPaints, 1u);
    EXPECT_EQ(delta.cScenePixels + delta.cFramePixels + delta.cScreenPixels, 0u);

    // Several frames in one redraw: the union of the old and the last rectangle, once.
    for (LONG i = 1; i <= 3; ++i) {
        RECT rc = {i, 0, 8 + i, 8};
        m_pWindow->ScheduleObject(m_pWindow->GetFrameCounter() + i - 1, pMoving, nullptr, &rc);
    }
    before = m_pWindow->GetPaintCounters();
    m_pWindow->BeginUpdate();
    m_pWindow->Advance(-1);
    m_pWindow->EndUpdate();
    delta = Since(before);
    EXPECT_EQ(delta.cPaints, 1u);
    EXPECT_EQ(delta.cScenePixels, 0u);
    EXPECT_EQ(delta.cFramePixels, 11u * 8);
    EXPECT_EQ(delta.cScreenPixels, 11u * 8);
}

} // namespace
