#include "host/screen.h"

#include "host/window.h"
#include "host/window_test_support.h"

#include <gtest/gtest.h>

namespace host::test {
namespace {

class ScreenShellTest : public WindowTest {
protected:
    void TearDown() override {
        WindowTest::TearDown();
        ShutdownScreen();
    }
    void Start(ScreenProfile profile) {
        ScreenOptions options;
        options.backend = ScreenBackendKind::kHeadless;
        options.profile = profile;
        ASSERT_TRUE(InitScreen(options));
    }
    static RECT WindowRect(HWND hwnd) {
        RECT rc{};
        GetWindowRect(hwnd, &rc);
        return rc;
    }
};

void ExpectRect(const RECT& rc, RECT expected, const char* what) {
    EXPECT_TRUE(EqualRect(&rc, &expected))
        << what << ": " << rc.left << "," << rc.top << "," << rc.right << "," << rc.bottom;
}

TEST_F(ScreenShellTest, FullScreenFlagsSizeTheWindowAndHideTheTaskbarOnlyOnTheDevice) {
    struct Case {
        ScreenProfile profile;
        DWORD dwState;
        RECT rcExpected;
        bool fTaskbarShown;
    };
    const int work = 320 - TASKBAR_HEIGHT;
    const Case cases[] = {
        {ScreenProfile::kDevice, 0x2A, {0, 0, 240, 320}, false},
        {ScreenProfile::kDevice, 0x19, {0, 0, 240, work}, true},
        {ScreenProfile::kDevice, SHFS_HIDETASKBAR, {0, 0, 240, 320}, false},
        {ScreenProfile::kDesktop, 0x2A, {0, 0, 800, 600}, false},
        {ScreenProfile::kDesktop, 0x19, {0, 0, 800, 600}, false},
    };
    for (const Case& c : cases) {
        Start(c.profile);
        HWND hwnd = MakeWindow("TestWindow", WS_POPUP | WS_VISIBLE, {20, 20, 100, 100});
        Pump();
        ASSERT_TRUE(SHFullScreen(hwnd, c.dwState)) << c.dwState;
        Pump();
        ExpectRect(WindowRect(hwnd), c.rcExpected, "SHFullScreen");
        EXPECT_EQ(IsTaskbarShown(), c.fTaskbarShown) << c.dwState;

        // The dialog sizing takes the work area, which brings the device's taskbar back.
        SHINITDLGINFO shidi{SHIDIM_FLAGS, hwnd, SHIDIF_FULLSCREENNOMENUBAR};
        ASSERT_TRUE(SHInitDialog(&shidi));
        Pump();
        RECT rcWork{};
        SystemParametersInfo(SPI_GETWORKAREA, 0, &rcWork, 0);
        ExpectRect(WindowRect(hwnd), rcWork, "SHInitDialog");
        EXPECT_EQ(IsTaskbarShown(), c.profile == ScreenProfile::kDevice);
        DestroyWindow(hwnd);
        ShutdownScreen();
    }
}

TEST_F(ScreenShellTest, BadRequestsFailAndChangeNothing) {
    Start(ScreenProfile::kDevice);
    HWND hwnd = MakeWindow("TestWindow", WS_POPUP | WS_VISIBLE, {20, 20, 100, 100});
    EXPECT_FALSE(SHFullScreen(hwnd, SHFS_HIDETASKBAR | SHFS_SHOWTASKBAR));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_TRUE(SHFullScreen(hwnd, SHFS_HIDESIPBUTTON | SHFS_HIDESTARTICON)); // nothing to do
    EXPECT_FALSE(SHFullScreen(reinterpret_cast<HWND>(std::intptr_t{0x7777}), SHFS_HIDETASKBAR));
    EXPECT_FALSE(SHInitDialog(nullptr));
    SHINITDLGINFO noMask{0, hwnd, SHIDIF_FULLSCREENNOMENUBAR};
    EXPECT_FALSE(SHInitDialog(&noMask));
    SHINITDLGINFO noSizing{SHIDIM_FLAGS, hwnd, SHIDIF_SIPDOWN};
    EXPECT_TRUE(SHInitDialog(&noSizing));
    SHINITDLGINFO badWindow{SHIDIM_FLAGS, nullptr, SHIDIF_FULLSCREENNOMENUBAR};
    EXPECT_FALSE(SHInitDialog(&badWindow));
    ExpectRect(WindowRect(hwnd), {20, 20, 100, 100}, "untouched");
    EXPECT_TRUE(IsTaskbarShown());
}

} // namespace
} // namespace host::test
