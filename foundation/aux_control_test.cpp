#include "foundation/aux_control.h"

#include "anim/cea_main.h"
#include "foundation/memmgr.h"
#include "host/clock.h"
#include "host/screen.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

// The window's hook entries and the references of the first.
struct AnimWindowTestAccess {
    static DWORD Hooks(AnimWindow* pWindow) { return pWindow->m_cHooks; }
    static DWORD Refs(AnimWindow* pWindow) { return pWindow->m_pHooks[0].cRefs; }
};

namespace {

using host::COLORREF;

constexpr COLORREF kRed = host::RGB(248, 0, 0);
constexpr COLORREF kGreen = host::RGB(0, 248, 0);
constexpr COLORREF kBlue = host::RGB(0, 0, 248);

// Every WM_COMMAND a target got, as the codes of one id in a string ("230"), and whether
// each came with the animated window's handle and the control.
struct Command {
    HWND hwnd;
    UINT nId, nCode;
    LPARAM lParam;
};
std::vector<Command> g_commands;

LRESULT Record(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (uMsg == host::WM_COMMAND)
        g_commands.push_back({hwnd, host::LOWORD(wParam), host::HIWORD(wParam), lParam});
    return 0;
}

std::string Codes(UINT nId) {
    std::string codes;
    for (const Command& c : g_commands)
        if (c.nId == nId) codes += static_cast<char>('0' + c.nCode);
    return codes;
}

int PaintBackground(AnimWindow*, int nEvent, LPARAM, LPARAM lParam2) {
    if (nEvent == ANIMEVENT_BACKGROUND) {
        auto* pBackground = reinterpret_cast<Graphic*>(lParam2);
        HDC hdc = pBackground->GetDC();
        RECT rc = {0, 0, pBackground->GetWidth(), pBackground->GetHeight()};
        host::FillRect(hdc, &rc, host::GetSysColorBrush(host::COLOR_APPWORKSPACE));
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

bool Dark(COLORREF clr) {
    return host::GetRValue(clr) + host::GetGValue(clr) + host::GetBValue(clr) < 200;
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
        for (AuxControl* pControl : m_controls)
            MemDelete(pControl);
        for (HWND hwnd : m_windows)
            host::DestroyWindow(hwnd);
        for (Graphic* pGraphic : m_graphics)
            MemDelete(pGraphic);
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
    AuxButton* Button(UINT nId, DWORD dwStyle, int x, int y, const TCHAR* pszText = nullptr,
                      AnimWindow* pWindow = nullptr, LONG nDepth = 80) {
        auto* pButton = MemNew(AuxButton, pWindow ? pWindow : m_pWindow, nId, dwStyle, nDepth);
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
        RECT rc = {0, 0, cx, cy};
        host::HBRUSH hbr = host::CreateSolidBrush(clr);
        host::FillRect(pGraphic->GetDC(), &rc, hbr);
        host::DeleteObject(hbr);
        pGraphic->ReleaseDC();
        return pGraphic;
    }

    // Real stylus input; the first window sits at the screen's origin.
    static void Stylus(int x, int y, host::MouseAction action) {
        host::PostMouseInput({x, y}, action);
        host::MSG msg;
        while (host::PeekMessage(&msg, nullptr, 0, 0, host::PM_REMOVE))
            host::DispatchMessage(&msg);
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
    // Steps are an action (d down, m move, u up) and a place: o on the button (20, 20, 52,
    // 41), f off it, c and e its first and last pixel, x just right of it. Steps follow
    // quickly: a second press at one place reaches the window as a double click.
    const host::POINT places[] = {{30, 30}, {80, 30}, {20, 20}, {51, 40}, {52, 30}};
    const struct {
        const char* pszSteps;
        bool fEnabled;
        const char* pszCodes;
    } cases[] = {
        {"douo", true, "230"},        {"domfuf", true, "23"},       {"domfmouo", true, "23230"},
        {"domfmomfuf", true, "2323"}, {"dfmouo", true, ""},         {"deuc", true, "230"},
        {"dxux", true, ""},           {"douodouo", true, "230230"}, {"domfmouo", false, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszSteps);
        g_commands.clear();
        AuxButton* pButton = Button(1006, 0x200, 20, 20);
        pButton->SetPictures(Solid(32, 21, kRed), Solid(32, 21, kGreen));
        pButton->Enable(c.fEnabled);
        bool fEverHeld = false;
        for (const char* p = c.pszSteps; p[0] != 0 && p[1] != 0; p += 2) {
            host::POINT pt = places[std::string("ofcex").find(p[1])];
            Stylus(pt.x, pt.y,
                   p[0] == 'd'   ? host::MouseAction::kLeftDown
                   : p[0] == 'm' ? host::MouseAction::kMove
                                 : host::MouseAction::kLeftUp);
            fEverHeld = fEverHeld || pButton->IsHeld();
        }
        EXPECT_EQ(Codes(1006), c.pszCodes);
        EXPECT_EQ(fEverHeld, c.pszCodes[0] != 0);
        EXPECT_FALSE(pButton->IsHeld());
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
    AuxButton* pBack = Button(1, 0x200, 10, 10, TEXT("Back"), nullptr, 90);
    AuxButton* pFront = Button(2, 0x200, 20, 15, TEXT("Front"));
    pFront->SetHitTest([](AuxControl*, int x, int) -> BOOL { return x >= 5; });
    Tap(27, 20);
    EXPECT_EQ(Codes(2) + "/" + Codes(1), "230/");
    EXPECT_EQ(AuxControl::GetFocus(), pFront);
    // Outside the front one's hit area, then on it while disabled: the back one takes it.
    Tap(21, 20);
    pFront->Enable(FALSE);
    Tap(27, 20);
    EXPECT_EQ(Codes(2) + "/" + Codes(1), "230/230230");
    EXPECT_EQ(AuxControl::GetFocus(), pBack);
    Tap(200, 150); // on nothing: no focus
    EXPECT_EQ(AuxControl::GetFocus(), nullptr);
}

TEST_F(AuxControlTest, DestroyingOneControlLeavesTheOthersWorking) {
    AuxButton* pButtons[3];
    for (int i = 0; i < 3; ++i)
        pButtons[i] = Button(100 + i, 0x100, 10 + 60 * i, 10, TEXT("Go"));
    EXPECT_EQ(AnimWindowTestAccess::Hooks(m_pWindow), 1u);
    EXPECT_EQ(AnimWindowTestAccess::Refs(m_pWindow), 1u);
    Tap(80, 20); // the middle one has the focus when it goes
    Free(pButtons[1]);
    EXPECT_EQ(AuxControl::GetFocus(), nullptr);
    Tap(20, 20);
    Tap(140, 20);
    EXPECT_EQ(Codes(100) + "/" + Codes(102), "230/230");

    // Freed while held: the capture goes with it. The last one takes the hook along.
    Down(20, 20);
    Free(pButtons[0]);
    EXPECT_EQ(host::GetCapture(), nullptr);
    Up(20, 20);
    Free(pButtons[2]);
    EXPECT_EQ(AnimWindowTestAccess::Hooks(m_pWindow), 0u);
    Button(7, 0, 10, 10, TEXT("Again"));
    Tap(20, 20);
    EXPECT_EQ(Codes(7), "230");
}

TEST_F(AuxControlTest, LosingTheWindowOrTheCaptureLetsGoWithoutACommand) {
    AnimWindow* pOther = MakeWindow(100, 60); // in front of the first window
    AuxButton* pGone = Button(1, 0, 10, 10, TEXT("Gone"), pOther);
    AuxButton* pKept = Button(2, 0, 10, 10, TEXT("Kept"));
    Down(20, 20);
    EXPECT_EQ(AuxControl::GetCapture(), pGone);
    host::DestroyWindow(pOther->GetHandle());
    EXPECT_FALSE(pGone->IsValid());
    EXPECT_EQ(AuxControl::GetCapture(), nullptr);
    pGone->SetText(TEXT("inert")); // harmless until freed
    Up(20, 20);
    EXPECT_EQ(Codes(1), "23"); // released as the window let go of the capture

    Down(20, 20);
    EXPECT_TRUE(pKept->IsHeld());
    host::SetCapture(MakeWindow(10, 10, 200, 260)->GetHandle());
    EXPECT_FALSE(pKept->IsHeld());
    Up(20, 20);
    host::ReleaseCapture();
    EXPECT_EQ(Codes(2), "23");
}

TEST_F(AuxControlTest, ATargetMayFreeTheControlOrCloseItsWindow) {
    static AuxControl* s_pVictim;
    static HWND s_hwndVictim, s_hwndCapture;
    AuxButton* pButton = MemNew(AuxButton, m_pWindow, 1, 0, 80);
    pButton->SetText(TEXT("Bye"));
    pButton->SetPosition(10, 10);
    pButton->SetNotificationTarget([](HWND, UINT, WPARAM, LPARAM) -> LRESULT {
        MemDelete(s_pVictim);
        return 0;
    });
    s_pVictim = pButton;
    Down(20, 20);
    Move(60, 60);
    Up(60, 60);
    EXPECT_EQ(AuxControl::GetCapture(), nullptr);

    // The command comes with the stylus let go, as a modal dialog it opens needs.
    AnimWindow* pOther = MakeWindow(100, 60);
    AuxButton* pClose = Button(2, 0, 10, 10, TEXT("Close"), pOther);
    pClose->SetCommandTarget([](HWND, UINT, WPARAM, LPARAM) -> LRESULT {
        s_hwndCapture = host::GetCapture();
        host::DestroyWindow(s_hwndVictim);
        return 0;
    });
    s_hwndVictim = s_hwndCapture = pOther->GetHandle();
    Tap(20, 20);
    EXPECT_EQ(s_hwndCapture, nullptr);
    EXPECT_FALSE(pClose->IsValid());
}

TEST_F(AuxControlTest, RadioAndToggleClicks) {
    // Check boxes: radio groups by the top 16 bits of the style, a toggle, a plain one, and
    // a radio of the first group on another window.
    const DWORD styles[] = {0x10011, 0x10011, 0x20011, 0x21, 0x1};
    AuxButton* pButtons[5];
    for (int i = 0; i < 5; ++i)
        pButtons[i] = Button(10 + i, styles[i], 10, 10 + 30 * i, TEXT("Pick"));
    AuxButton* pAway = Button(20, styles[0], 0, 0, TEXT("Away"), MakeWindow(60, 40, 0, 240));
    pAway->SetChecked(TRUE);
    const struct {
        int iTap;
        const char* pszChecked;
    } cases[] = {{0, "10000"}, {1, "01000"}, {2, "01100"}, {1, "01100"},
                 {0, "10100"}, {3, "10110"}, {3, "10100"}, {4, "10100"}};
    for (const auto& c : cases) {
        Tap(15, 15 + 30 * c.iTap);
        std::string checked;
        for (AuxButton* pButton : pButtons)
            checked += pButton->IsChecked() ? '1' : '0';
        EXPECT_EQ(checked, c.pszChecked) << "after tapping " << c.iTap;
    }
    EXPECT_TRUE(pAway->IsChecked());
}

// ---- Drawing

TEST_F(AuxControlTest, PicturesFollowHeldAndChecked) {
    AuxButton* pPush = Button(1, 0x200, 10, 10);
    AuxButton* pToggle = Button(2, 0x220, 60, 10);
    for (AuxButton* pButton : {pPush, pToggle}) {
        pButton->SetPictures(Solid(32, 21, kRed), Solid(30, 24, kGreen));
        int cx, cy;
        pButton->GetSize(&cx, &cy);
        EXPECT_EQ(cx * 100 + cy, 3224); // the larger of each
    }
    std::string shown;
    auto look = [&](int x) { shown += Pixel(x, 20) == Shown(kGreen) ? 'G' : 'R'; };
    look(20);
    Down(20, 20), look(20);
    Move(100, 100), look(20);
    Move(20, 20), look(20);
    Up(20, 20), look(20);
    Tap(70, 20), look(70);
    Tap(70, 20), look(70);
    pToggle->SetChecked(TRUE), look(70);
    EXPECT_EQ(shown, "RGRGRGRG");
    EXPECT_EQ(AuxControl::GetFocus(), pToggle);
    EXPECT_EQ(Pixel(62, 12), Shown(kGreen)); // no focus rectangle over pictures
}

TEST_F(AuxControlTest, FramedButtonFaceEdgeTextAndFocus) {
    AuxButton* pButton = Button(1, 0x100, 10, 10, TEXT("W"));
    int cx, cy;
    pButton->GetSize(&cx, &cy);
    auto firstInk = [&](int y) {
        for (int x = 12; x < 8 + cx; ++x)
            if (Dark(Pixel(x, y))) return x;
        return -1;
    };
    int yMid = 10 + cy / 2;
    EXPECT_EQ(Pixel(13, 13), Shown(host::GetSysColor(host::COLOR_BTNFACE)));
    EXPECT_FALSE(Dark(Pixel(10, 10))); // raised
    EXPECT_TRUE(Dark(Pixel(9 + cx, 9 + cy)));
    int xInk = firstInk(yMid);
    EXPECT_GE(xInk, 17); // after the margin of 7

    // Growing the colour table leaves the entries nobody set at their defaults.
    pButton->SetColor(9, kRed);
    EXPECT_EQ(Pixel(13, 13), Shown(host::GetSysColor(host::COLOR_BTNFACE)));
    pButton->SetColor(AUXCLR_BUTTONFACE, kBlue);
    EXPECT_EQ(Pixel(13, 13), Shown(kBlue));

    Down(20, 20);
    EXPECT_TRUE(Dark(Pixel(10, 10))); // sunken
    EXPECT_EQ(firstInk(yMid + 1), xInk + 1);
    Up(200, 150);
    // Still focused: the dotted rectangle two pixels inside, gone with the focus.
    auto focusDots = [&] {
        int c = 0;
        for (int x = 12; x < 8 + cx; ++x)
            c += Pixel(x, 12) != Shown(kBlue) ? 1 : 0;
        return c;
    };
    EXPECT_GT(focusDots(), 0);
    Tap(200, 150);
    EXPECT_EQ(focusDots(), 0);
}

TEST_F(AuxControlTest, ScreenshotOfButtonStates) {
    // Picture pairs: a raised light tile with a gold bar; pressed, darker with the bar lower.
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
    const struct {
        const TCHAR* pszText; // null: pictures
        DWORD dwStyle;
        int x, y;
    } items[] = {
        {nullptr, 0x000, 8, 8},           {nullptr, 0x020, 56, 8},
        {nullptr, 0x000, 104, 8},         {TEXT("Idle"), 0x300, 8, 50},
        {TEXT("Held"), 0x300, 80, 50},    {TEXT("Off"), 0x300, 152, 50},
        {TEXT("Plain"), 0x000, 8, 100},   {TEXT("Box"), 0x021, 80, 100},
        {TEXT("Radio"), 0x012, 150, 100}, {TEXT("Radio"), 0x012, 150, 130},
    };
    AuxButton* pButtons[std::size(items)];
    for (std::size_t i = 0; i < std::size(items); ++i) {
        pButtons[i] = Button(static_cast<UINT>(i + 1), items[i].dwStyle, items[i].x, items[i].y,
                             items[i].pszText);
        if (items[i].pszText == nullptr)
            pButtons[i]->SetPictures(tile(host::RGB(200, 200, 208), host::RGB(232, 184, 40), 0),
                                     tile(host::RGB(150, 150, 160), host::RGB(120, 88, 16), 1));
    }
    pButtons[1]->SetChecked(TRUE);
    pButtons[2]->Enable(FALSE);
    pButtons[5]->Enable(FALSE);
    pButtons[7]->SetChecked(TRUE);
    pButtons[8]->SetChecked(TRUE);
    Down(90, 60); // holds "Held", which takes the focus
    EXPECT_TRUE(pButtons[4]->IsHeld());
    m_pWindow->Repaint();
    EXPECT_TRUE(host::SaveScreenshot("aux-buttons.png"));
    Up(90, 60);
}

} // namespace
