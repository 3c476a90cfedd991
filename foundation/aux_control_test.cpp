#include "foundation/aux_control.h"

#include "anim/cea_main.h"
#include "foundation/memmgr.h"
#include "host/clock.h"
#include "host/screen.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

// Counts the window's hook entries and their references.
struct AnimWindowTestAccess {
    static DWORD HookEntries(AnimWindow* pWindow) { return pWindow->m_cHooks; }
    static DWORD HookRefs(AnimWindow* pWindow) {
        return pWindow->m_cHooks != 0 ? pWindow->m_pHooks[0].cRefs : 0;
    }
};

namespace {

using host::COLORREF;

constexpr COLORREF kRed = host::RGB(248, 0, 0);
constexpr COLORREF kGreen = host::RGB(0, 248, 0);
constexpr COLORREF kBlue = host::RGB(0, 0, 248);
constexpr COLORREF kTeal = host::RGB(0, 96, 112);

struct Command {
    HWND hwnd;
    UINT nId;
    UINT nCode;
    LPARAM lParam;
};
std::vector<Command> g_commands;

LRESULT Record(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (uMsg == host::WM_COMMAND) {
        g_commands.push_back({hwnd, host::LOWORD(wParam), host::HIWORD(wParam), lParam});
    }
    return 0;
}

std::vector<UINT> Codes(UINT nId) {
    std::vector<UINT> codes;
    for (const Command& c : g_commands) {
        if (c.nId == nId) codes.push_back(c.nCode);
    }
    return codes;
}

int PaintBackground(AnimWindow*, int nEvent, LPARAM, LPARAM lParam2) {
    if (nEvent == ANIMEVENT_BACKGROUND) {
        auto* pBackground = reinterpret_cast<Graphic*>(lParam2);
        HDC hdc = pBackground->GetDC();
        RECT rc = {0, 0, pBackground->GetWidth(), pBackground->GetHeight()};
        host::HBRUSH hbr = host::CreateSolidBrush(kTeal);
        host::FillRect(hdc, &rc, hbr);
        host::DeleteObject(hbr);
        pBackground->ReleaseDC();
    }
    return 1;
}

COLORREF Shown(COLORREF clr) {
    host::HDC hdc = host::GetDC(nullptr);
    COLORREF shown = host::GetNearestColor(hdc, clr);
    host::ReleaseDC(nullptr, hdc);
    return shown;
}

void Pump() {
    host::MSG msg;
    while (host::PeekMessage(&msg, nullptr, 0, 0, host::PM_REMOVE)) {
        host::TranslateMessage(&msg);
        host::DispatchMessage(&msg);
    }
}

class AuxControlTest : public ::testing::Test {
protected:
    void SetUp() override {
        host::ScreenOptions options;
        options.backend = host::ScreenBackendKind::kHeadless;
        ASSERT_TRUE(host::InitScreen(options)); // the device: 240 x 320, 16 bits
        ASSERT_EQ(AnimStartup(nullptr, 0), 1);
        g_commands.clear();
        m_cBlocks = mem::ReportLeaks();
        m_pWindow = MakeWindow(240, 200);
        ASSERT_NE(m_pWindow, nullptr);
    }
    void TearDown() override {
        for (AuxControl* pControl : m_controls) {
            MemDelete(pControl);
        }
        for (HWND hwnd : m_windows) {
            if (host::IsWindow(hwnd)) host::DestroyWindow(hwnd);
        }
        for (Graphic* pGraphic : m_graphics) {
            MemDelete(pGraphic);
        }
        Pump();
        EXPECT_EQ(AuxControl::GetFocus(), nullptr);
        EXPECT_EQ(AuxControl::GetCapture(), nullptr);
        EXPECT_EQ(mem::ReportLeaks(), m_cBlocks) << "leak";
        AnimShutdown();
        host::ShutdownScreen();
    }

    AnimWindow* MakeWindow(int cx, int cy, int x = 0, int y = 0) {
        HWND hwnd =
            host::CreateWindowEx(0, ANIMWINDOW_CLASS, TEXT(""), host::WS_POPUP | host::WS_VISIBLE,
                                 x, y, cx, cy, nullptr, nullptr, nullptr, nullptr);
        m_windows.push_back(hwnd);
        AnimWindow* pWindow = AnimWindow::FromHandle(hwnd);
        if (pWindow != nullptr) pWindow->SetCallback(PaintBackground);
        return pWindow;
    }

    AuxButton* Button(UINT nId, DWORD dwStyle, LONG nDepth, int x, int y,
                      const TCHAR* pszText = nullptr, AnimWindow* pWindow = nullptr) {
        auto* pButton =
            MemNew(AuxButton, pWindow != nullptr ? pWindow : m_pWindow, nId, dwStyle, nDepth);
        EXPECT_TRUE(pButton->IsValid());
        m_controls.push_back(pButton);
        pButton->SetCommandTarget(Record);
        pButton->SetNotificationTarget(Record);
        if (pszText != nullptr) pButton->SetText(pszText);
        pButton->SetPosition(x, y);
        return pButton;
    }
    void Free(AuxControl* pControl) {
        std::erase(m_controls, pControl);
        MemDelete(pControl);
    }

    Graphic* Solid(int cx, int cy, COLORREF clr) {
        Graphic* pGraphic = MemNew(Graphic, cx, cy, 0);
        m_graphics.push_back(pGraphic);
        HDC hdc = pGraphic->GetDC();
        RECT rc = {0, 0, cx, cy};
        host::HBRUSH hbr = host::CreateSolidBrush(clr);
        host::FillRect(hdc, &rc, hbr);
        host::DeleteObject(hbr);
        pGraphic->ReleaseDC();
        return pGraphic;
    }

    // Real stylus input at client points of the first window (it sits at the screen's origin).
    static void Stylus(int x, int y, host::MouseAction action) {
        host::PostMouseInput({x, y}, action);
        Pump();
    }
    static void Down(int x, int y) { Stylus(x, y, host::MouseAction::kLeftDown); }
    static void Move(int x, int y) { Stylus(x, y, host::MouseAction::kMove); }
    static void Up(int x, int y) {
        Stylus(x, y, host::MouseAction::kLeftUp);
        host::AdvanceVirtualClock(host::DOUBLECLICK_TIME + 1); // the next press is a new one
    }
    static void Tap(int x, int y) {
        Down(x, y);
        Up(x, y);
    }
    COLORREF Pixel(int x, int y) {
        m_pWindow->Repaint();
        return host::GetScreenPixel(x, y);
    }

    host::VirtualClockScope m_clock;
    AnimWindow* m_pWindow = nullptr;
    std::vector<HWND> m_windows;
    std::vector<AuxControl*> m_controls;
    std::vector<Graphic*> m_graphics;
    std::size_t m_cBlocks = 0;
};

// ---- Stylus

TEST_F(AuxControlTest, StylusSequencesGiveTheNotificationsOfASystemButton) {
    // The button covers (20, 20) to (52, 41); steps: 'd'own, 'm'ove, 'u'p. Steps follow
    // each other quickly: a second press at one place is a double click to the window.
    struct Step {
        char cAction;
        int x, y;
    };
    struct Case {
        const char* pszName;
        bool fEnabled;
        std::vector<Step> steps;
        std::vector<UINT> codes;
    };
    const Case cases[] = {
        {"tap", true, {{'d', 30, 30}, {'u', 30, 30}}, {2, 3, 0}},
        {"slide off", true, {{'d', 30, 30}, {'m', 80, 30}, {'u', 80, 30}}, {2, 3}},
        {"off and on",
         true,
         {{'d', 30, 30}, {'m', 80, 30}, {'m', 40, 25}, {'u', 40, 25}},
         {2, 3, 2, 3, 0}},
        {"lifted off after returning",
         true,
         {{'d', 30, 30}, {'m', 60, 30}, {'m', 30, 30}, {'m', 30, 60}, {'u', 30, 60}},
         {2, 3, 2, 3}},
        {"press outside slides on", true, {{'d', 80, 80}, {'m', 30, 30}, {'u', 30, 30}}, {}},
        {"edge pixels", true, {{'d', 51, 40}, {'u', 20, 20}}, {2, 3, 0}},
        {"just outside", true, {{'d', 52, 30}, {'u', 52, 30}}, {}},
        {"double tap",
         true,
         {{'d', 30, 30}, {'u', 30, 30}, {'d', 30, 30}, {'u', 30, 30}},
         {2, 3, 0, 2, 3, 0}},
        {"disabled", false, {{'d', 30, 30}, {'m', 80, 30}, {'m', 30, 30}, {'u', 30, 30}}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszName);
        g_commands.clear();
        AuxButton* pButton = Button(1006, 0x200, 80, 20, 20);
        pButton->SetPictures(Solid(32, 21, kRed), Solid(32, 21, kGreen));
        pButton->Enable(c.fEnabled);
        bool fEverHeld = false;
        for (const Step& step : c.steps) {
            switch (step.cAction) {
            case 'd':
                Down(step.x, step.y);
                break;
            case 'm':
                Move(step.x, step.y);
                break;
            default:
                Stylus(step.x, step.y, host::MouseAction::kLeftUp);
                break;
            }
            fEverHeld = fEverHeld || pButton->IsHeld();
        }
        EXPECT_EQ(Codes(1006), c.codes);
        EXPECT_EQ(fEverHeld, !c.codes.empty());
        EXPECT_FALSE(pButton->IsHeld());
        EXPECT_EQ(AuxControl::GetCapture(), nullptr);
        EXPECT_EQ(host::GetCapture(), nullptr);
        for (const Command& command : g_commands) {
            EXPECT_EQ(command.hwnd, m_pWindow->GetHandle());
            EXPECT_EQ(command.lParam, reinterpret_cast<LPARAM>(pButton));
        }
        Free(pButton);
        host::AdvanceVirtualClock(host::DOUBLECLICK_TIME + 1);
    }
}

TEST_F(AuxControlTest, ThePressGoesToTheNearestControlThatTakesIt) {
    AuxButton* pBack = Button(1, 0x200, 90, 10, 10, TEXT("Back"));
    AuxButton* pFront = Button(2, 0x200, 80, 20, 15, TEXT("Front"));
    pFront->SetHitTest([](AuxControl*, int x, int) -> BOOL { return x >= 5; });
    int x = 22 + 5; // on both, and on the front one's hit area
    Tap(x, 20);
    EXPECT_EQ(Codes(2), (std::vector<UINT>{2, 3, 0}));
    EXPECT_TRUE(Codes(1).empty());
    EXPECT_EQ(AuxControl::GetFocus(), pFront);

    // Outside the front one's hit area, then disabled: the one behind takes it.
    for (int i = 0; i < 2; ++i) {
        g_commands.clear();
        if (i == 0) {
            Tap(21, 20);
        } else {
            pFront->Enable(FALSE);
            Tap(x, 20);
        }
        EXPECT_EQ(Codes(1), (std::vector<UINT>{2, 3, 0}));
        EXPECT_TRUE(Codes(2).empty());
        EXPECT_EQ(AuxControl::GetFocus(), pBack);
    }

    // Nothing there clears the focus.
    Tap(200, 150);
    EXPECT_EQ(AuxControl::GetFocus(), nullptr);
}

TEST_F(AuxControlTest, DestroyingOneControlLeavesTheOthersWorking) {
    AuxButton* pButtons[3];
    for (int i = 0; i < 3; ++i) {
        pButtons[i] = Button(100 + i, 0x100, 80, 10 + 60 * i, 10, TEXT("Go"));
    }
    EXPECT_EQ(AnimWindowTestAccess::HookEntries(m_pWindow), 1u);
    EXPECT_EQ(AnimWindowTestAccess::HookRefs(m_pWindow), 1u);
    Tap(80, 20); // focus on the middle one, which then goes
    Free(pButtons[1]);
    EXPECT_EQ(AuxControl::GetFocus(), nullptr);
    EXPECT_EQ(AnimWindowTestAccess::HookEntries(m_pWindow), 1u);
    g_commands.clear();
    Tap(20, 20);
    Tap(140, 20);
    EXPECT_EQ(Codes(100), (std::vector<UINT>{2, 3, 0}));
    EXPECT_EQ(Codes(102), (std::vector<UINT>{2, 3, 0}));

    // A control freed while held lets go of the capture; the last one takes the hook.
    Down(20, 20);
    EXPECT_EQ(host::GetCapture(), m_pWindow->GetHandle());
    Free(pButtons[0]);
    EXPECT_EQ(AuxControl::GetCapture(), nullptr);
    EXPECT_EQ(host::GetCapture(), nullptr);
    Up(20, 20);
    Free(pButtons[2]);
    EXPECT_EQ(AnimWindowTestAccess::HookEntries(m_pWindow), 0u);

    // A new control brings the hook back.
    Button(7, 0, 80, 10, 10, TEXT("Again"));
    g_commands.clear();
    Tap(20, 20);
    EXPECT_EQ(Codes(7), (std::vector<UINT>{2, 3, 0}));
}

TEST_F(AuxControlTest, LosingTheWindowOrTheCaptureLetsGoWithoutACommand) {
    AnimWindow* pOther = MakeWindow(100, 60);
    AuxButton* pGone = Button(1, 0, 80, 10, 10, TEXT("Gone"), pOther);
    AuxButton* pKept = Button(2, 0, 80, 10, 10, TEXT("Kept"));
    Down(20, 20); // the other window is in front: the press lands there
    EXPECT_EQ(AuxControl::GetCapture(), pGone);
    host::DestroyWindow(pOther->GetHandle());
    EXPECT_FALSE(pGone->IsValid());
    EXPECT_EQ(AuxControl::GetCapture(), nullptr);
    EXPECT_EQ(pGone->GetWindow(), nullptr);
    pGone->SetText(TEXT("still safe"));
    pGone->Enable(FALSE);
    Up(20, 20);
    g_commands.clear();
    Tap(20, 20);
    EXPECT_EQ(Codes(2), (std::vector<UINT>{2, 3, 0}));

    // Another window taking the capture lets the held control go without a command.
    g_commands.clear();
    Down(20, 20);
    EXPECT_TRUE(pKept->IsHeld());
    HWND hwndThief = MakeWindow(10, 10, 200, 260)->GetHandle();
    host::SetCapture(hwndThief);
    EXPECT_FALSE(pKept->IsHeld());
    EXPECT_EQ(AuxControl::GetCapture(), nullptr);
    Up(20, 20);
    host::ReleaseCapture();
    EXPECT_EQ(Codes(2), (std::vector<UINT>{2, 3}));
}

TEST_F(AuxControlTest, ATargetMayFreeTheControlOrItsWindow) {
    static AuxControl* s_pVictim;
    static HWND s_hwndVictim;
    auto freeOnHeld = [](HWND, UINT, WPARAM wParam, LPARAM) -> LRESULT {
        if (host::HIWORD(wParam) == AUXN_HELD) {
            MemDelete(s_pVictim);
            s_pVictim = nullptr;
        }
        return 0;
    };
    // The command comes with the stylus already let go, as a modal dialog it opens needs.
    static HWND s_hwndCapture;
    auto destroyOnCommand = [](HWND, UINT, WPARAM wParam, LPARAM) -> LRESULT {
        if (host::HIWORD(wParam) == AUXN_CLICKED) {
            s_hwndCapture = host::GetCapture();
            host::DestroyWindow(s_hwndVictim);
        }
        return 0;
    };
    AuxButton* pButton = MemNew(AuxButton, m_pWindow, 1, 0, 80);
    pButton->SetText(TEXT("Bye"));
    pButton->SetPosition(10, 10);
    pButton->SetNotificationTarget(freeOnHeld);
    s_pVictim = pButton;
    Down(20, 20);
    EXPECT_EQ(s_pVictim, nullptr);
    EXPECT_EQ(AuxControl::GetCapture(), nullptr);
    Move(60, 60);
    Up(60, 60);

    AnimWindow* pOther = MakeWindow(100, 60);
    AuxButton* pClose = Button(2, 0, 80, 10, 10, TEXT("Close"), pOther);
    pClose->SetCommandTarget(destroyOnCommand);
    s_hwndVictim = pOther->GetHandle();
    s_hwndCapture = s_hwndVictim;
    Tap(20, 20);
    EXPECT_EQ(s_hwndCapture, nullptr);
    EXPECT_FALSE(host::IsWindow(s_hwndVictim));
    EXPECT_FALSE(pClose->IsValid());
}

TEST_F(AuxControlTest, RadioAndToggleClicks) {
    // Radio groups by the top 16 bits of the style; a toggle flips; a plain button keeps.
    const DWORD styles[] = {0x10 | (1u << 16), 0x10 | (1u << 16), 0x10 | (2u << 16), 0x20, 0};
    AuxButton* pButtons[5];
    for (int i = 0; i < 5; ++i) {
        pButtons[i] = Button(10 + i, styles[i] | 0x1, 80, 10, 10 + 30 * i, TEXT("Pick"));
    }
    // A radio button of the same group on another window is left alone.
    AuxButton* pElsewhere =
        Button(20, styles[0], 80, 0, 0, TEXT("Away"), MakeWindow(60, 40, 0, 240));
    pElsewhere->SetChecked(TRUE);

    struct Case {
        int iTap;
        const char* pszChecked; // after the tap, buttons 0 to 4
    };
    const Case cases[] = {
        {0, "10000"}, {1, "01000"}, {2, "01100"}, {1, "01100"},
        {0, "10100"}, {3, "10110"}, {3, "10100"}, {4, "10100"},
    };
    for (const Case& c : cases) {
        Tap(15, 15 + 30 * c.iTap);
        std::string checked;
        for (AuxButton* pButton : pButtons) {
            checked += pButton->IsChecked() ? '1' : '0';
        }
        EXPECT_EQ(checked, c.pszChecked) << "after tapping " << c.iTap;
    }
    EXPECT_TRUE(pElsewhere->IsChecked());

    // Sliding off before lifting clicks nothing.
    Down(15, 15 + 30 * 3);
    Move(200, 15);
    Up(200, 15);
    EXPECT_TRUE(pButtons[3]->IsChecked() == FALSE);
}

// ---- Drawing

TEST_F(AuxControlTest, PicturesFollowHeldAndChecked) {
    AuxButton* pPush = Button(1, 0x200, 80, 10, 10);
    AuxButton* pToggle = Button(2, 0x220, 80, 60, 10);
    for (AuxButton* pButton : {pPush, pToggle}) {
        pButton->SetPictures(Solid(32, 21, kRed), Solid(30, 24, kGreen));
        int cx, cy;
        pButton->GetSize(&cx, &cy);
        EXPECT_EQ(cx, 32);
        EXPECT_EQ(cy, 24);
    }
    EXPECT_EQ(Pixel(20, 20), Shown(kRed));
    Down(20, 20);
    EXPECT_EQ(Pixel(20, 20), Shown(kGreen));
    Move(100, 100);
    EXPECT_EQ(Pixel(20, 20), Shown(kRed));
    Move(20, 20);
    EXPECT_EQ(Pixel(20, 20), Shown(kGreen));
    Up(20, 20);
    EXPECT_EQ(Pixel(20, 20), Shown(kRed));

    Tap(70, 20);
    EXPECT_EQ(Pixel(70, 20), Shown(kGreen)); // checked
    Tap(70, 20);
    EXPECT_EQ(Pixel(70, 20), Shown(kRed));
    pToggle->SetChecked(TRUE);
    EXPECT_EQ(Pixel(70, 20), Shown(kGreen));
    // No focus rectangle on a picture button.
    EXPECT_EQ(AuxControl::GetFocus(), pToggle);
    EXPECT_EQ(Pixel(62, 12), Shown(kGreen));
}

TEST_F(AuxControlTest, FramedButtonFaceEdgeTextAndFocus) {
    AuxButton* pButton = Button(1, 0x100, 80, 10, 10, TEXT("W"));
    int cx, cy;
    pButton->GetSize(&cx, &cy);
    EXPECT_GT(cx, 14); // text and a margin of 7 on each side
    EXPECT_GT(cy, 14);
    const COLORREF face = Shown(host::GetSysColor(host::COLOR_BTNFACE));
    const COLORREF light = Shown(host::GetSysColor(host::COLOR_BTNHIGHLIGHT));
    const COLORREF dark = Shown(host::GetSysColor(host::COLOR_WINDOWTEXT));
    auto firstInk = [&](int y) {
        for (int x = 12; x < 10 + cx - 2; ++x) {
            COLORREF clr = Pixel(x, y);
            if (host::GetRValue(clr) + host::GetGValue(clr) + host::GetBValue(clr) < 200) return x;
        }
        return -1;
    };
    int yMid = 10 + cy / 2;
    EXPECT_EQ(Pixel(13, 13), face);
    EXPECT_EQ(Pixel(10, 10), light); // raised
    EXPECT_EQ(Pixel(9 + cx, 9 + cy), dark);
    int xInk = firstInk(yMid);
    ASSERT_GT(xInk, 0);
    EXPECT_GE(xInk, 17); // left aligned after the margin

    // A grown colour table keeps the defaults of the entries nobody set.
    pButton->SetColor(9, kRed);
    EXPECT_EQ(Pixel(13, 13), face);
    pButton->SetColor(AUXCLR_BUTTONFACE, kBlue);
    EXPECT_EQ(Pixel(13, 13), Shown(kBlue));

    Down(20, 20);
    EXPECT_EQ(Pixel(10, 10), dark); // sunken
    EXPECT_EQ(firstInk(yMid + 1), xInk + 1);
    Up(200, 150);
    // Focused: the dotted rectangle two pixels inside inverts some of the face.
    int cChanged = 0;
    for (int x = 12; x < 10 + cx - 2; ++x) {
        cChanged += Pixel(x, 12) != Shown(kBlue) ? 1 : 0;
    }
    EXPECT_GT(cChanged, 0);
    Tap(200, 150); // focus gone
    for (int x = 12; x < 10 + cx - 2; ++x) {
        EXPECT_EQ(Pixel(x, 12), Shown(kBlue)) << x;
    }
}

// ---- Screenshot

TEST_F(AuxControlTest, ScreenshotOfButtonStates) {
    // Picture pairs: a light tile with a dark bar, the pressed one darker with the bar moved.
    auto tile = [&](COLORREF clrFace, COLORREF clrBar, int dy) {
        Graphic* pGraphic = Solid(40, 26, clrFace);
        HDC hdc = pGraphic->GetDC();
        RECT rc = {0, 0, 40, 26};
        host::DrawEdge(hdc, &rc, dy != 0 ? host::EDGE_SUNKEN : host::EDGE_RAISED, host::BF_RECT);
        RECT rcBar = {10, 10 + dy, 30, 15 + dy};
        host::HBRUSH hbr = host::CreateSolidBrush(clrBar);
        host::FillRect(hdc, &rcBar, hbr);
        host::DeleteObject(hbr);
        pGraphic->ReleaseDC();
        return pGraphic;
    };
    const COLORREF kGold = host::RGB(232, 184, 40);
    const COLORREF kDark = host::RGB(120, 88, 16);
    struct Item {
        const TCHAR* pszText; // null: pictures
        DWORD dwStyle;
        int x, y;
    };
    const Item items[] = {
        {nullptr, 0x000, 8, 8},           // idle
        {nullptr, 0x020, 56, 8},          // checked toggle
        {nullptr, 0x000, 104, 8},         // disabled
        {TEXT("Idle"), 0x300, 8, 50},     // framed, centred
        {TEXT("Held"), 0x300, 80, 50},    // held (and focused)
        {TEXT("Off"), 0x300, 152, 50},    // disabled
        {TEXT("Plain"), 0x000, 8, 100},   // no frame
        {TEXT("Box"), 0x021, 80, 100},    // check box, checked
        {TEXT("Radio"), 0x012, 150, 100}, // radio box, checked
        {TEXT("Radio"), 0x012, 150, 130}, // radio box
    };
    AuxButton* pButtons[std::size(items)];
    for (std::size_t i = 0; i < std::size(items); ++i) {
        const Item& item = items[i];
        pButtons[i] =
            Button(static_cast<UINT>(i + 1), item.dwStyle, 80, item.x, item.y, item.pszText);
        if (item.pszText == nullptr) {
            pButtons[i]->SetPictures(tile(host::RGB(200, 200, 208), kGold, 0),
                                     tile(host::RGB(150, 150, 160), kDark, 1));
        }
    }
    pButtons[1]->SetChecked(TRUE);
    pButtons[2]->Enable(FALSE);
    pButtons[5]->Enable(FALSE);
    pButtons[7]->SetChecked(TRUE);
    pButtons[8]->SetChecked(TRUE);
    Down(90, 60); // hold "Held"
    EXPECT_TRUE(pButtons[4]->IsHeld());
    m_pWindow->Repaint();
    EXPECT_TRUE(host::SaveScreenshot("aux-buttons.png"));
    Up(90, 60);
}

} // namespace
