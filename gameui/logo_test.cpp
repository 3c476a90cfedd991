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

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

namespace {

using namespace host;
using namespace gameui_test;

constexpr UINT WM_TESTSTALL = WM_APP + 0x321;
constexpr LONG kcStallFrames = 60;

std::function<bool()> g_loaderBody;
bool TestLoader() {
    return g_loaderBody();
}

int TestCallback(AnimWindow*, int, LPARAM, LPARAM) {
    return 1;
}

// The window's thread falls behind: frames pass before the loader's message is handled.
int StallHook(AnimWindow* pWindow, HWND, UINT uMsg, WPARAM, LPARAM) {
    if (uMsg != WM_TESTSTALL) return 0;
    for (LONG i = 0; i < kcStallFrames; ++i)
        pWindow->Step();
    Screenshot("kelvano-logo.png");
    return 1;
}

using LogoStartup = KelvanoTest;

// Runs the virtual clock at about ten times real speed in steps of 10 ms, so that the
// window's thread waits for its frames as on a device while the loader gets its turn.
class ClockDriver {
public:
    ClockDriver() {
        SetVirtualClockAutoAdvance(false);
        thread_ = std::thread([this] {
            while (!fStop_) {
                AdvanceVirtualClock(10);
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        });
    }
    ~ClockDriver() {
        fStop_ = true;
        thread_.join();
    }

private:
    std::atomic<bool> fStop_{false};
    std::thread thread_;
};

class LogoTest : public KelvanoTest {
protected:
    void SetUp() override {
        KelvanoTest::SetUp();
        ASSERT_EQ(AnimStartup(nullptr, 0), 1);
        g_settings = DefaultSettings();
        g_settings.fSound = 0; // no mixer threads on the clock
        hwnd_ = CreateWindowEx(0, ANIMWINDOW_CLASS, TEXT(""), WS_POPUP | WS_VISIBLE, 0, 0, 240, 294,
                               nullptr, nullptr, nullptr, nullptr);
        pWindow_ = AnimWindow::FromHandle(hwnd_);
        ASSERT_NE(pWindow_, nullptr);
        pWindow_->SetCallback(&TestCallback);
        pWindow_->SetFrameRate(30.0);
        pWindow_->AddHook(&StallHook, HOOK_ALL);
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

// Frames from event 1002 (46 frames after the start) to event 1003, and the loader's result,
// for loaders of every speed; the window gets back its callback, rate and palette group.
TEST_F(LogoTest, EndsByTheTwoSecondRule) {
    struct CASE {
        const char* pszName;
        bool fLoader;
        DWORD msLoader; // virtual time the loader takes
        bool fStall;    // frames pass between its return and the handling of its message
        bool fResult;
        LONG cMinFrames, cMaxFrames;
    } aCases[] = {
        // The end is counted from the frame after 1002, when the message is handled.
        {"fast", true, 0, false, true, 45, 46},
        {"none", false, 0, false, true, 45, 45},
        {"fails", true, 0, false, false, 45, 46},
        // Returns at frame 60 after 1002: five frames after the frame that handles it.
        {"three seconds", true, 3000, false, true, 64, 68},
        // Without the hand-over the end would be named for a frame the stall has passed.
        {"stalled", true, 0, true, true, kcStallFrames + 6, kcStallFrames + 46},
    };
    const double dRate = pWindow_->GetFrameRate();
    for (const CASE& c : aCases) {
        SCOPED_TRACE(c.pszName);
        const LONG iStart = pWindow_->GetFrameCounter();
        const DWORD msLoad = GetTickCount() + 46 * 50;
        g_loaderBody = [&c, msLoad, this] {
            while (GetTickCount() - msLoad < c.msLoader)
                Sleep(msLoad + c.msLoader - GetTickCount());
            if (c.fStall) PostMessage(hwnd_, WM_TESTSTALL, 0, 0);
            return c.fResult;
        };
        {
            ClockDriver driver;
            EXPECT_EQ(RunLogo(pWindow_, nullptr, c.fLoader ? &TestLoader : nullptr), c.fResult);
        }
        const LONG cFrames = pWindow_->GetFrameCounter() - 1 - (iStart + 46);
        EXPECT_GE(cFrames, c.cMinFrames);
        EXPECT_LE(cFrames, c.cMaxFrames);
        EXPECT_FALSE(IsLogoRunning());
        EXPECT_EQ(pWindow_->GetCallback(), &TestCallback);
        EXPECT_EQ(pWindow_->GetFrameRate(), dRate);
        EXPECT_EQ(GetDisplay()->GetSystemGroup(), &group_);
    }
}

// Closing the program while the logo plays, before loading and during it: the start-up ends
// with nothing of the game set up.
TEST_F(LogoStartup, CloseDuringTheLogo) {
    for (DWORD msClose : {400u, 2500u}) {
        SCOPED_TRACE(msClose);
        g_game.fInProgress = 0;
        std::atomic<bool> fStop{false};
        // From the moment the main window exists: the logo starts right after.
        std::thread closer([&] {
            HWND hwndMain = nullptr;
            while (!fStop && (hwndMain = FindWindow("KelvanoClass", "Kelvano")) == nullptr)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            const DWORD msStart = GetTickCount();
            while (!fStop && GetTickCount() - msStart < msClose)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            if (hwndMain != nullptr) PostMessage(hwndMain, WM_COMMAND, IDCANCEL, 0);
        });
        KELVANORUN run;
        run.fSingleInstance = false;
        HWND hwnd = nullptr;
        {
            ClockDriver driver;
            hwnd = StartKelvano(nullptr, run);
        }
        fStop = true;
        closer.join();
        EXPECT_EQ(hwnd, nullptr);
        EXPECT_EQ(KelvanoMainWindow(), nullptr);
        EXPECT_EQ(KelvanoAnimWindow(), nullptr);
        EXPECT_FALSE(IsLogoRunning());
        EXPECT_FALSE(g_game.fInProgress);
        PumpAll();
    }
}

} // namespace
