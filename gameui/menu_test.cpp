// The button row, its commands, the keyboard shortcuts and the new-game dialog, driven by
// real stylus and key input on the headless device screen, in the real program.
#include "game/game.h"
#include "game/history.h"
#include "game/settings.h"
#include "gameui/graphics.h"
#include "gameui/kelvano.h"
#include "gameui/kelvano_test_support.h"
#include "gameui/menu.h"
#include "gameui/resource.h"
#include "host/dialog.h"
#include "host/window.h"

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
using namespace gameui_test;

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

class Menu : public KelvanoTest {
protected:
    void SetUp() override {
        KelvanoTest::SetUp();
        s_hwndScript = CreateScriptWindow("MenuTestScript", &ScriptProc);
    }
    void TearDown() override {
        Close();
        DestroyWindow(s_hwndScript);
        s_steps.clear();
        KelvanoTest::TearDown();
    }
    // Starts the program on stored settings (the defaults after edit).
    HWND Start(const std::function<void(SETTINGS&)>& edit = {}) {
        g_settings = DefaultSettings();
        if (edit) edit(g_settings);
        WriteSettings();
        return KelvanoTest::Start();
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

// The language button swaps the buttons' pictures, the status line and the dialog's texts.
TEST_F(Menu, LanguageButtonSwapsTextsAndPictures) {
    ASSERT_NE(Start(), nullptr);
    const auto Region = [](int x, int y, int cx, int cy) {
        POINT pt{x, y};
        ClientToScreen(KelvanoAnimWindow()->GetHandle(), &pt);
        std::vector<COLORREF> pixels;
        for (int j = 0; j < cy; ++j)
            for (int i = 0; i < cx; ++i)
                pixels.push_back(GetScreenPixel(pt.x + i, pt.y + j));
        return pixels;
    };
    const auto Pictures = [&] {
        std::vector<std::vector<COLORREF>> all;
        for (int k = 0; k < cMenuButtons; ++k)
            all.push_back(Region(GameLayout().rgptButton[k].x, GameLayout().rgptButton[k].y,
                                 cxButton, cyButton));
        return all;
    };
    const struct {
        UINT nLanguage;
        const char *title, *ok, *file;
    } cases[] = {
        {cetl::kLanguageEnglish, "Kelvano - New Game", "OK", "menu-newgame-en.png"},
        {cetl::kLanguageEsperanto, "Kelvano - Nova Ludo", "Akceptu", "menu-newgame-eo.png"},
        {cetl::kLanguageEnglish, "Kelvano - New Game", "OK", nullptr},
    };
    std::vector<std::vector<COLORREF>> previous;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title);
        Frames(2);
        EXPECT_EQ(cetl::GetLanguageId(), c.nLanguage);
        const auto pictures = Pictures();
        for (int k = 0; k < cMenuButtons && !previous.empty(); ++k)
            EXPECT_NE(pictures[k], previous[k]) << "button " << k;
        previous = pictures;
        Click(ButtonPoint(2));
        Script({[&](HWND hDlg) {
            EXPECT_EQ(ItemText(hDlg, 0), c.title);
            EXPECT_EQ(ItemText(hDlg, IDOK), c.ok);
            UpdateWindow(hDlg);
            if (c.file != nullptr) Screenshot(c.file);
            ClickItem(hDlg, IDCANCEL);
        }});
        PumpAll();
        ClickButton(4);
    }
}

// Undo and Redo against the computer, by button and by key; refusals change nothing, and
// no shortcut runs while the dialog is up. Escape never ends the game.
TEST_F(Menu, UndoRedoAgainstTheComputer) {
    ASSERT_NE(Start([](SETTINGS& s) { s.aPlayer[1].nLevel = 1; }), nullptr);
    ASSERT_TRUE(PlayMove(MOVE{4, 8, 0, 0, 0, 0, 0}));
    for (int i = 0; i < 2000 && PlayedMoveCount() < 2; ++i) {
        Frames(1);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ASSERT_EQ(PlayedMoveCount(), 2u);
    Frames(30);
    const auto Key = [](UINT vk, bool fControl) {
        if (fControl) PostKeyInput(VK_CONTROL, true);
        PostKeyInput(vk, true);
        PostKeyInput(vk, false);
        if (fControl) PostKeyInput(VK_CONTROL, false);
        PumpAll();
    };
    const struct {
        int k;          // button, or -1 for the key
        UINT vk;        // with Control unless Escape
        unsigned iMove; // played moves after it
    } steps[] = {
        {0, 0, 0}, // back over the computer's reply to the person's turn
        {0, 0, 0}, // refused
        {1, 0, 2}, // forward over the reply too
        {1, 0, 2}, // refused
        {-1, 'Z', 0}, {-1, VK_ESCAPE, 0}, {-1, 'Y', 2},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(testing::Message() << step.k << " " << step.vk);
        if (step.k >= 0)
            ClickButton(step.k);
        else
            Key(step.vk, step.vk != VK_ESCAPE);
        Frames(15);
        EXPECT_EQ(PlayedMoveCount(), step.iMove);
        EXPECT_EQ(RecordedMoveCount(), 2u);
        ASSERT_TRUE(IsWindow(KelvanoMainWindow()));
    }
    // F2 opens the dialog; Control+Z then goes to the dialog, not to the game.
    bool fOpened = false;
    PostKeyInput(VK_F1 + 1, true);
    PostKeyInput(VK_F1 + 1, false);
    Script({[&](HWND hDlg) {
                fOpened = hDlg != KelvanoMainWindow();
                PostKeyInput(VK_CONTROL, true);
                PostKeyInput('Z', true);
                PostKeyInput('Z', false);
                PostKeyInput(VK_CONTROL, false);
            },
            [&](HWND hDlg) { ClickItem(hDlg, IDCANCEL); }});
    PumpAll();
    EXPECT_TRUE(fOpened);
    EXPECT_EQ(PlayedMoveCount(), 2u);
}

} // namespace
