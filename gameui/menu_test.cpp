// The button row, its commands, the keyboard shortcuts and the new-game dialog, driven by
// real stylus and key input on the headless device screen, in the real program.
#include "anim/cea_main.h"
#include "anim/cea_window.h"
#include "foundation/tl_language.h"
#include "game/game.h"
#include "game/history.h"
#include "game/settings.h"
#include "gameui/graphics.h"
#include "gameui/kelvano.h"
#include "gameui/menu.h"
#include "gameui/resource.h"
#include "host/clock.h"
#include "host/dialog.h"
#include "host/screen.h"
#include "host/window.h"
#include "tests/support/temp_folder.h"
#include "tests/support/temp_registry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace host;

void PumpAll() {
    MSG msg;
    while (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessage(&msg);
    }
}

void Click(POINT pt) {
    PostMouseInput(pt, MouseAction::kLeftDown);
    PostMouseInput(pt, MouseAction::kLeftUp);
}

POINT CenterOf(HWND hwnd) {
    RECT rc;
    GetWindowRect(hwnd, &rc);
    return {(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2};
}

std::string ItemText(HWND hDlg, int id) {
    char sz[256] = {};
    if (id == 0)
        GetWindowText(hDlg, sz, static_cast<int>(sizeof(sz)));
    else
        GetDlgItemText(hDlg, id, sz, static_cast<int>(sizeof(sz)));
    return sz;
}

// Steps that run inside a modal loop: each runs when the loop takes its message, so input
// a step posts arrives before the next step.
std::vector<std::function<void(HWND)>> s_steps;
std::size_t s_iStep = 0;
HWND s_hwndScript = nullptr;

LRESULT ScriptProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (uMsg != WM_USER) return DefWindowProc(hwnd, uMsg, wParam, lParam);
    if (s_iStep < s_steps.size()) {
        s_steps[s_iStep++](GetActiveWindow());
        PostMessage(hwnd, WM_USER, 0, 0);
    }
    return 0;
}

void Script(std::vector<std::function<void(HWND)>> steps) {
    s_steps = std::move(steps);
    s_iStep = 0;
    PostMessage(s_hwndScript, WM_USER, 0, 0);
}

void ClickItem(HWND hDlg, int id) {
    Click(CenterOf(GetDlgItem(hDlg, id)));
}

class Menu : public testing::Test {
protected:
    void SetUp() override {
        ScreenOptions options;
        options.backend = ScreenBackendKind::kHeadless;
        options.profile = ScreenProfile::kDevice;
        ASSERT_TRUE(InitScreen(options));
        WNDCLASSA wc{};
        wc.lpfnWndProc = &ScriptProc;
        wc.lpszClassName = "MenuTestScript";
        RegisterClass(&wc);
        s_hwndScript = CreateWindowEx(0, "MenuTestScript", "", 0, 0, 0, 0, 0, nullptr, nullptr,
                                      nullptr, nullptr);
    }
    void TearDown() override {
        if (KelvanoMainWindow() != nullptr) DestroyWindow(KelvanoMainWindow());
        PumpAll();
        DestroyWindow(s_hwndScript);
        s_steps.clear();
        AnimShutdown();
        ShutdownScreen();
        cetl::ResetLanguage();
    }
    // Starts the program on stored settings (the defaults after edit).
    HWND Start(const std::function<void(SETTINGS&)>& edit = {}) {
        g_settings = DefaultSettings();
        if (edit) edit(g_settings);
        WriteSettings();
        KELVANORUN run;
        run.fSingleInstance = false;
        HWND hwnd = StartKelvano(nullptr, run);
        PumpAll();
        return hwnd;
    }
    static void Frames(int c) {
        for (int i = 0; i < c; ++i) {
            AdvanceVirtualClock(33);
            KelvanoAnimWindow()->Step();
            PumpAll();
        }
    }
    static POINT ButtonPoint(int k) {
        POINT pt = GameLayout().rgptButton[k];
        pt.x += cxButton / 2;
        pt.y += cyButton / 2;
        ClientToScreen(KelvanoAnimWindow()->GetHandle(), &pt);
        return pt;
    }
    static void ClickButton(int k) {
        Click(ButtonPoint(k));
        PumpAll();
    }
    static void Screenshot(const std::string& name) {
        const std::filesystem::path path = std::filesystem::path(KELVANO_TEST_OUTPUT) / name;
        EXPECT_TRUE(SaveScreenshot(path.string())) << path;
    }

    testsupport::TempRegistry registry_{"menu-test"};
    testsupport::TempFolder runtime_{"menu-runtime"};
    testsupport::ScopedEnv runtimeEnv_{"KELVANO_RUNTIME_DIR", runtime_.Path().c_str()};
    VirtualClockScope clock_;
};

// The dialog opened by the NEW button, edited with the stylus, closed with OK or Cancel.
TEST_F(Menu, NewGameDialog) {
    const auto blueComputerHigh = [](SETTINGS& s) {
        s.aPlayer[0] = {1, 3};
        s.aPlayer[1] = {0, 2};
    };
    const struct {
        const char* name;
        std::function<void(SETTINGS&)> stored;
        std::vector<int> aidChecked; // at opening
        std::string strStrength, strColor, strDescription;
        std::vector<int> aidClick; // then OK or Cancel
        int idClose;
        std::function<void(const SETTINGS&)> expect; // after OK
    } cases[] = {
        {"two people, cancel after changing every control",
         [](SETTINGS& s) { s.aPlayer[1].fComputer = 0; },
         {IDC_HUMAN, IDC_MEDIUM, IDC_BLUE},
         "Medium",
         "Blue",
         "The basic board: push your opponent's pieces off the sides of the board.",
         {IDC_MODERN, IDC_COMPUTER, IDC_LOW, IDC_RED},
         IDCANCEL,
         {}},
        {"human opponent keeps both levels",
         blueComputerHigh,
         {IDC_COMPUTER, IDC_HIGH, IDC_RED},
         "High",
         "Red",
         "",
         {IDC_HUMAN},
         IDOK,
         [](const SETTINGS& s) {
             EXPECT_EQ(s.aPlayer[0].fComputer, 0);
             EXPECT_EQ(s.aPlayer[1].fComputer, 0);
             EXPECT_EQ(s.aPlayer[0].nLevel, 3);
             EXPECT_EQ(s.aPlayer[1].nLevel, 2);
         }},
        {"a foreign board index opens on Classic",
         [](SETTINGS& s) { s.iBoard = 42; },
         {IDC_COMPUTER, IDC_MEDIUM, IDC_BLUE},
         "Medium",
         "Blue",
         "The basic board: push your opponent's pieces off the sides of the board.",
         {},
         IDOK,
         [](const SETTINGS& s) { EXPECT_EQ(s.iBoard, 0); }},
        {"red player against the computer at Low, Modern",
         [](SETTINGS& s) { s.iBoard = 2; },
         {IDC_COMPUTER, IDC_MEDIUM, IDC_BLUE},
         "Medium",
         "Blue",
         "Reach your goals on the other side of the board, and keep your opponent at bay.",
         {IDC_MODERN, IDC_RED, IDC_LOW},
         IDOK,
         [](const SETTINGS& s) {
             EXPECT_EQ(s.iBoard, 2);
             EXPECT_EQ(s.fModern, 1);
             EXPECT_EQ(s.aPlayer[0].fComputer, 1);
             EXPECT_EQ(s.aPlayer[0].nLevel, 1);
             EXPECT_EQ(s.aPlayer[1].fComputer, 0);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_NE(Start(c.stored), nullptr);
        if (c.idClose == IDCANCEL) {
            ASSERT_TRUE(PlayMove(MOVE{4, 8, 0, 0, 0, 0, 0}));
        }
        Frames(20);
        SETTINGS before{};
        ASSERT_TRUE(ReadStoredSettings(&before));
        const auto cPlayed = PlayedMoveCount();
        const BOARD board = CurrentBoard();

        INT_PTR nSeen = 0;
        std::vector<std::function<void(HWND)>> steps;
        steps.push_back([&](HWND hDlg) {
            EXPECT_EQ(ItemText(hDlg, 0), "Kelvano - New Game");
            for (int id = IDC_HUMAN; id <= IDC_RED; ++id) {
                const bool fExpected =
                    std::find(c.aidChecked.begin(), c.aidChecked.end(), id) != c.aidChecked.end();
                EXPECT_EQ(IsDlgButtonChecked(hDlg, id) == BST_CHECKED, fExpected) << id;
            }
            EXPECT_EQ(ItemText(hDlg, IDC_STRENGTH), c.strStrength);
            EXPECT_EQ(ItemText(hDlg, IDC_COLOR), c.strColor);
            if (!c.strDescription.empty()) {
                EXPECT_EQ(ItemText(hDlg, IDC_DESCRIPTION), c.strDescription);
            }
            EXPECT_EQ(SendDlgItemMessage(hDlg, IDC_BOARD, CB_GETCOUNT, 0, 0), 7);
            EXPECT_EQ(SendDlgItemMessage(hDlg, IDC_BOARD, CB_GETCURSEL, 0, 0),
                      before.iBoard == 2 ? 2 : 0);
            for (int id : c.aidClick)
                ClickItem(hDlg, id);
        });
        steps.push_back([&](HWND hDlg) {
            // The human opponent greys what only the computer needs.
            const bool fComputer = IsDlgButtonChecked(hDlg, IDC_COMPUTER) == BST_CHECKED;
            for (int id : {IDC_STRENGTH_LABEL, IDC_LOW, IDC_MEDIUM, IDC_HIGH, IDC_COLOR_LABEL,
                           IDC_BLUE, IDC_RED, IDC_STRENGTH, IDC_COLOR})
                EXPECT_EQ(IsWindowEnabled(GetDlgItem(hDlg, id)) != FALSE, fComputer) << id;
            nSeen = 1;
            ClickItem(hDlg, c.idClose);
        });
        Click(ButtonPoint(2));
        Script(std::move(steps));
        PumpAll();
        EXPECT_EQ(nSeen, 1);
        EXPECT_TRUE(IsWindowEnabled(KelvanoMainWindow()));

        SETTINGS after{};
        ASSERT_TRUE(ReadStoredSettings(&after));
        if (c.idClose == IDCANCEL) {
            EXPECT_EQ(std::memcmp(&before, &after, sizeof(SETTINGS)), 0);
            EXPECT_EQ(PlayedMoveCount(), cPlayed);
            EXPECT_EQ(std::memcmp(&board, &CurrentBoard(), sizeof(BOARD)), 0);
        } else {
            c.expect(after);
            EXPECT_EQ(std::memcmp(&g_settings, &after, sizeof(SETTINGS)), 0);
            EXPECT_EQ(RecordedMoveCount(), 0u); // a new game
            EXPECT_EQ(g_game.fInProgress, 1);
        }
        DestroyWindow(KelvanoMainWindow());
        PumpAll();
    }
}

} // namespace
