// The logo screen on the virtual clock: when it ends for loaders of every speed, what it
// gives back, and closing the program while it plays.
#include "gameui/logo.h"

#include "anim/cea_display.h"
#include "anim/cea_main.h"
#include "anim/cea_palette.h"
#include "anim/cea_window.h"
#include "game/game.h"
#include "game/settings.h"
#include "gameui/kelvano.h"
#include "gameui/kelvano_test_support.h"
#include "host/clock.h"
#include "host/dialog.h"
#include "host/thread.h"
#include "host/window.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <thread>

namespace {

using namespace host;
using namespace gameui_test;

constexpr UINT WM_TESTSTALL = WM_APP + 0x321;
constexpr UINT WM_TESTMARK = WM_APP + 0x322;
constexpr LONG kcStallFrames = 60;

std::function<bool()> g_loaderBody;
bool TestLoader() {
    return g_loaderBody();
}

int TestCallback(AnimWindow*, int, LPARAM, LPARAM) {
    return 1;
}

// The frame at which the window's thread took the loader's last message before its return.
LONG g_iMarkFrame = -1;

// The window's thread falls behind (WM_TESTSTALL: frames pass before the loader's message is
// handled), and notes when the loader's messages arrive (WM_TESTMARK).
int TestHook(AnimWindow* pWindow, HWND, UINT uMsg, WPARAM, LPARAM) {
    if (uMsg == WM_TESTSTALL) {
        for (LONG i = 0; i < kcStallFrames; ++i)
            pWindow->Step();
        Screenshot("kelvano-logo.png");
    } else if (uMsg != WM_TESTMARK) {
        return 0;
    }
    g_iMarkFrame = pWindow->GetFrameCounter();
    return 1;
}

class LogoTest : public KelvanoTest {
protected:
    void SetUp() override {
        KelvanoTest::SetUp(); // the clock follows the waits of both threads
        ASSERT_EQ(AnimStartup(nullptr, 0), 1);
        g_settings = DefaultSettings();
        g_settings.fSound = 0; // no mixer threads on the clock
        hwnd_ = CreateWindowEx(0, ANIMWINDOW_CLASS, TEXT(""), WS_POPUP | WS_VISIBLE, 0, 0, 240, 294,
                               nullptr, nullptr, nullptr, nullptr);
        pWindow_ = AnimWindow::FromHandle(hwnd_);
        ASSERT_NE(pWindow_, nullptr);
        pWindow_->SetCallback(&TestCallback);
        pWindow_->SetFrameRate(30.0);
        pWindow_->AddHook(&TestHook, HOOK_ALL);
        group_.Open();
        group_.Close();
        GetDisplay()->SetSystemGroup(&group_);
    }
    void TearDown() override {
        GetDisplay()->SetSystemGroup(nullptr);
        if (IsWindow(hwnd_)) DestroyWindow(hwnd_);
        g_loaderBody = nullptr;
        KelvanoTest::TearDown();
    }

    HWND hwnd_ = nullptr;
    AnimWindow* pWindow_ = nullptr;
    PaletteGroup group_;
};

// The frame of event 1003 for loaders of every speed, and the loader's result; the window
// gets back its callback, rate and palette group. The loader's thread and the window's
// race (the window plays its frames on the clock while the loader works in real time), so
// the test notes the frame at which the window took the loader's message (its mark, posted
// just before the loader returns) and checks the end against it.
TEST_F(LogoTest, EndsByTheTwoSecondRule) {
    struct CASE {
        const char* pszName;
        bool fLoader;
        DWORD msLoader; // virtual time the loader takes
        bool fStall;    // frames pass between its return and the handling of its message
        bool fResult;
    } aCases[] = {
        {"fast", true, 0, false, true},
        {"none", false, 0, false, true},
        {"fails", true, 0, false, false},
        {"three seconds", true, 3000, false, true},
        // Had the loader's thread named the end's frame, the stall would have passed it.
        {"stalled", true, 0, true, true},
    };
    const double dRate = pWindow_->GetFrameRate();
    for (const CASE& c : aCases) {
        SCOPED_TRACE(c.pszName);
        const LONG iLoad = pWindow_->GetFrameCounter() + 46; // event 1002
        g_iMarkFrame = -1;
        g_loaderBody = [&c, this] {
            // Watches the clock rather than waiting on it: a timed wait would let this thread
            // move the clock ahead of the window's frames.
            const DWORD msStart = GetTickCount();
            while (GetTickCount() - msStart < c.msLoader)
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            PostMessage(hwnd_, c.fStall ? WM_TESTSTALL : WM_TESTMARK, 0, 0);
            return c.fResult;
        };
        EXPECT_EQ(RunLogo(pWindow_, nullptr, c.fLoader ? &TestLoader : nullptr), c.fResult);
        const LONG iEnd = pWindow_->GetFrameCounter() - 1;
        // Two seconds and five frames after loading began, at the least.
        EXPECT_GE(iEnd, iLoad + 45);
        if (!c.fLoader) {
            EXPECT_LE(iEnd, iLoad + 46);
        } else {
            // Never named for a frame the window's thread may have passed: five frames after
            // it took the loader's message at the soonest, and never later than the two
            // seconds' rule counted from there.
            ASSERT_GE(g_iMarkFrame, iLoad);
            EXPECT_GE(iEnd, g_iMarkFrame + 5);
            EXPECT_LE(iEnd, g_iMarkFrame + 46);
            EXPECT_GE(g_iMarkFrame - iLoad, static_cast<LONG>(c.msLoader * 20 / 1000));
            // Past the two seconds, the end is five frames away; within them, it is where
            // the two seconds put it.
            if (c.msLoader >= 2000) {
                EXPECT_LE(iEnd, g_iMarkFrame + 6);
            } else if (!c.fStall && g_iMarkFrame < iLoad + 40) {
                EXPECT_LE(iEnd, iLoad + 46);
            }
        }
        EXPECT_FALSE(IsLogoRunning());
        EXPECT_EQ(pWindow_->GetCallback(), &TestCallback);
        EXPECT_EQ(pWindow_->GetFrameRate(), dRate);
        EXPECT_EQ(GetDisplay()->GetSystemGroup(), &group_);
    }
}

using LogoStartup = KelvanoTest;

// A timer of the test's own, on the start-up's clock, closes the main window.
LRESULT CloserProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (uMsg != WM_TIMER) return DefWindowProc(hwnd, uMsg, wParam, lParam);
    KillTimer(hwnd, wParam);
    if (HWND hwndMain = FindWindow("KelvanoClass", "Kelvano"))
        PostMessage(hwndMain, WM_COMMAND, IDCANCEL, 0);
    return 0;
}

// Closing the program while the logo plays, before loading (event 1002 comes after about
// 2.3 s) and during it (the logo ends 2.25 s after that at the earliest): the start-up ends
// with nothing of the game set up.
TEST_F(LogoStartup, CloseDuringTheLogo) {
    for (UINT msClose : {400u, 2500u}) {
        SCOPED_TRACE(msClose);
        g_game.fInProgress = 0;
        HWND hwndCloser = CreateScriptWindow("LogoTestCloser", &CloserProc);
        SetTimer(hwndCloser, 1, msClose, nullptr);
        KELVANORUN run;
        run.fSingleInstance = false;
        EXPECT_EQ(StartKelvano(nullptr, run), nullptr);
        DestroyWindow(hwndCloser);
        EXPECT_EQ(KelvanoMainWindow(), nullptr);
        EXPECT_EQ(KelvanoAnimWindow(), nullptr);
        EXPECT_FALSE(IsLogoRunning());
        EXPECT_FALSE(g_game.fInProgress);
        PumpAll();
    }
}

} // namespace
