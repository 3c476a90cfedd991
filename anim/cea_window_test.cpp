#include "anim/cea_window.h"

#include "anim/cea_display.h"
#include "anim/cea_main.h"
#include "anim/cea_object.h"
#include "anim/cea_palette.h"
#include "foundation/memmgr.h"
#include "host/clock.h"
#include "host/debug.h"
#include "host/screen.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

// Reaches the destruction path directly, which the window procedure runs only once.
struct AnimWindowTestAccess {
    static void Destroy(AnimWindow* pWindow) { pWindow->Destroy(); }
    static void Free(AnimWindow* pWindow) { MemDelete(pWindow); }
};

namespace {

using host::COLORREF;
using PaintCounters_t = AnimWindow::PaintCounters;

constexpr COLORREF kRed = host::RGB(248, 0, 0);
constexpr COLORREF kGreen = host::RGB(0, 248, 0);
constexpr COLORREF kBlue = host::RGB(0, 0, 248);
constexpr COLORREF kWhite = host::RGB(255, 255, 255);
constexpr COLORREF kBlack = host::RGB(0, 0, 0);

// Events seen by the callback, with the background graphic of event 1.
struct EventLog {
    std::vector<int> events;
    std::vector<Graphic*> backgrounds;
};
EventLog g_events;

int RecordEvent(AnimWindow*, int nEvent, LPARAM, LPARAM lParam2) {
    g_events.events.push_back(nEvent);
    if (nEvent == ANIMEVENT_BACKGROUND) {
        g_events.backgrounds.push_back(reinterpret_cast<Graphic*>(lParam2));
    }
    return 1;
}

COLORREF Shown(COLORREF clr) {
    host::HDC hdc = host::GetDC(nullptr);
    COLORREF shown = host::GetNearestColor(hdc, clr);
    host::ReleaseDC(nullptr, hdc);
    return shown;
}

class AnimWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        host::ScreenOptions options;
        options.backend = host::ScreenBackendKind::kHeadless;
        options.nDepth = 16;
        ASSERT_TRUE(host::InitScreen(options));
        ASSERT_EQ(AnimStartup(nullptr, 0), 1);
        g_events = {};
        // Blocks that live for the process (tared) are left out.
        m_cBlocks = mem::ReportLeaks();
    }
    void TearDown() override {
        for (HWND hwnd : m_windows) {
            if (host::IsWindow(hwnd)) {
                host::DestroyWindow(hwnd);
            }
        }
        for (Graphic* pGraphic : m_graphics) {
            MemDelete(pGraphic);
        }
        EXPECT_EQ(mem::ReportLeaks(), m_cBlocks) << "leak";
        AnimShutdown();
        host::ShutdownScreen();
    }

    AnimWindow* Make(int cx = 100, int cy = 80, const TCHAR* pszClass = ANIMWINDOW_CLASS) {
        HWND hwnd = host::CreateWindowEx(0, pszClass, TEXT(""), host::WS_POPUP | host::WS_VISIBLE,
                                         0, 0, cx, cy, nullptr, nullptr, nullptr, nullptr);
        m_windows.push_back(hwnd);
        return AnimWindow::FromHandle(hwnd);
    }

    // A solid graphic the test owns.
    Graphic* Solid(int cx, int cy, COLORREF clr) {
        Graphic* pGraphic = MemNew(Graphic, cx, cy, 0);
        m_graphics.push_back(pGraphic);
        host::HDC hdc = pGraphic->GetDC();
        host::HBRUSH hbr = host::CreateSolidBrush(clr);
        RECT rc = {0, 0, cx, cy};
        host::FillRect(hdc, &rc, hbr);
        host::DeleteObject(hbr);
        pGraphic->ReleaseDC();
        return pGraphic;
    }

    AnimObject* Object(AnimWindow* pWindow, Graphic* pGraphic, LONG nDepth, int x = 0, int y = 0) {
        AnimObject* pObject = MemNew(AnimObject, pWindow, pGraphic, nDepth);
        pObject->SetPosition(x, y);
        return pObject;
    }

    host::VirtualClockScope m_clock;
    std::vector<HWND> m_windows;
    std::vector<Graphic*> m_graphics;
    std::size_t m_cBlocks = 0;
};

// ---- Start-up and clock

TEST_F(AnimWindowTest, StartupRegistersBothClassesOnce) {
    host::WNDCLASST<TCHAR> wc = {};
    ASSERT_TRUE(host::GetClassInfo(nullptr, ANIMWINDOW_CLASS, &wc));
    EXPECT_EQ(wc.style, 0x400Bu);
    EXPECT_EQ(wc.cbWndExtra, static_cast<int>(sizeof(void*)));
    EXPECT_NE(wc.hCursor, nullptr);
    EXPECT_EQ(wc.hbrBackground, nullptr);
    ASSERT_TRUE(host::GetClassInfo(nullptr, ANIMWINDOW_NOCURSOR_CLASS, &wc));
    EXPECT_EQ(wc.style, 0x400Bu);
    EXPECT_EQ(wc.hCursor, nullptr);
    // Later calls answer the first result without starting again.
    Display* pDisplay = GetDisplay();
    ASSERT_NE(pDisplay, nullptr);
    EXPECT_EQ(AnimStartup(nullptr, ANIM_FORCE_8BIT), 1);
    EXPECT_EQ(GetDisplay(), pDisplay);
    EXPECT_EQ(pDisplay->GetDepth(), 16);
}

TEST_F(AnimWindowTest, MillisecondsFollowTheVirtualClock) {
    DWORD ms = GetMilliseconds();
    host::AdvanceVirtualClock(1234);
    EXPECT_EQ(GetMilliseconds(), ms + 1234);
    EXPECT_EQ(GetMilliseconds(), ms + 1234);
}

// ---- Lookup and lifetime

TEST_F(AnimWindowTest, FromHandleFindsOnlyLiveAnimatedWindows) {
    AnimWindow* pWindow = Make();
    ASSERT_NE(pWindow, nullptr);
    HWND hwnd = pWindow->GetHandle();
    EXPECT_EQ(AnimWindow::FromHandle(hwnd), pWindow);
    EXPECT_EQ(AnimWindow::FromHandle(nullptr), nullptr);
    EXPECT_NE(Make(50, 50, ANIMWINDOW_NOCURSOR_CLASS), nullptr);

    // A foreign class whose first word looks like a pointer, and one without extra bytes.
    host::WNDCLASST<TCHAR> wc = {};
    wc.lpfnWndProc = host::DefWindowProc;
    wc.cbWndExtra = 8;
    wc.lpszClassName = TEXT("CeaForeign");
    host::RegisterClass(&wc);
    wc.cbWndExtra = 0;
    wc.lpszClassName = TEXT("CeaForeignBare");
    host::RegisterClass(&wc);
    HWND hwndForeign = host::CreateWindowEx(0, TEXT("CeaForeign"), TEXT(""), host::WS_POPUP, 0, 0,
                                            10, 10, nullptr, nullptr, nullptr, nullptr);
    HWND hwndBare = host::CreateWindowEx(0, TEXT("CeaForeignBare"), TEXT(""), host::WS_POPUP, 0, 0,
                                         10, 10, nullptr, nullptr, nullptr, nullptr);
    m_windows.push_back(hwndForeign);
    m_windows.push_back(hwndBare);
    host::SetWindowLongPtr(hwndForeign, 0, 0x12345678);
    EXPECT_EQ(AnimWindow::FromHandle(hwndForeign), nullptr);
    host::SetWindowLongPtr(hwndForeign, 0, reinterpret_cast<host::LONG_PTR>(pWindow));
    EXPECT_EQ(AnimWindow::FromHandle(hwndForeign), nullptr); // not its window
    EXPECT_EQ(AnimWindow::FromHandle(hwndBare), nullptr);

    // Looked up last (cached), then destroyed.
    EXPECT_EQ(AnimWindow::FromHandle(hwnd), pWindow);
    host::DestroyWindow(hwnd);
    EXPECT_EQ(AnimWindow::FromHandle(hwnd), nullptr);
}

TEST_F(AnimWindowTest, DestroyingTwiceIsReportedAndHarmless) {
    AnimWindow* pWindow = Make();
    pWindow->SetCallback(RecordEvent);
    Object(pWindow, Solid(4, 4, kRed), 3);
    HWND hwnd = pWindow->GetHandle();
    host::DebugCapture capture;
    AnimWindowTestAccess::Destroy(pWindow);
    EXPECT_EQ(capture.Text().find("AnimWindow freed more than once"), std::string::npos);
    EXPECT_EQ(g_events.events.back(), ANIMEVENT_DESTROY);
    EXPECT_EQ(AnimWindow::FromHandle(hwnd), nullptr);
    EXPECT_EQ(host::GetWindowLongPtr(hwnd, 0), 0);
    AnimWindowTestAccess::Destroy(pWindow);
    EXPECT_NE(capture.Text().find("AnimWindow freed more than once"), std::string::npos);
    EXPECT_EQ(g_events.events.size(), 2u); // event 1 at SetCallback, event 0 once
    AnimWindowTestAccess::Free(pWindow);
    host::DestroyWindow(hwnd); // the window procedure finds nothing left to destroy
}

TEST_F(AnimWindowTest, DestructionSendsEventZeroAndFreesEverything) {
    AnimWindow* pWindow = Make();
    pWindow->SetCallback(RecordEvent);
    for (int i = 0; i < 6; ++i) {
        Object(pWindow, Solid(4, 4, kRed), i % 3);
    }
    pWindow->ShowFrameRate(TRUE);
    pWindow->SetStatusText(TEXT("status"));
    pWindow->SetData(9, &g_events);
    EXPECT_EQ(pWindow->GetData(9), &g_events);
    EXPECT_EQ(pWindow->GetData(10), nullptr);
    host::DestroyWindow(pWindow->GetHandle());
    EXPECT_EQ(g_events.events.back(), ANIMEVENT_DESTROY);
    // TearDown checks that the objects, strings, graphics and arrays are gone.
}

// ---- Redraw

TEST_F(AnimWindowTest, UpdateLockDefersPaintingToTheLastEndUpdate) {
    AnimWindow* pWindow = Make();
    pWindow->SetCallback(RecordEvent);
    g_events = {};
    pWindow->Repaint();
    EXPECT_EQ(g_events.events,
              (std::vector<int>{ANIMEVENT_PREUPDATE, ANIMEVENT_POSTUPDATE, ANIMEVENT_PAINTED}));
    std::uint64_t cPaints = pWindow->GetPaintCounters().cPaints;
    pWindow->BeginUpdate();
    pWindow->BeginUpdate();
    RECT rc = {0, 0, 10, 10};
    pWindow->Invalidate(&rc, 0);
    pWindow->Repaint();
    pWindow->EndUpdate();
    EXPECT_EQ(pWindow->GetPaintCounters().cPaints, cPaints);
    pWindow->EndUpdate();
    EXPECT_EQ(pWindow->GetPaintCounters().cPaints, cPaints + 1);
    EXPECT_EQ(pWindow->GetPaintCounters().cScreenPixels, 100u + 100 * 80);
    pWindow->EndUpdate(); // not below zero: the next Repaint paints
    pWindow->Repaint();
    EXPECT_EQ(pWindow->GetPaintCounters().cPaints, cPaints + 2);
}

TEST_F(AnimWindowTest, ShrinkingKeepsTheGraphicsAndGrowingRecreatesThem) {
    AnimWindow* pWindow = Make(100, 80);
    pWindow->SetCallback(RecordEvent);
    ASSERT_EQ(g_events.backgrounds.size(), 1u);
    Graphic* pBackground = pWindow->GetBackground();
    ASSERT_NE(pBackground, nullptr);
    EXPECT_EQ(g_events.backgrounds[0], pBackground);
    EXPECT_EQ(pBackground->GetWidth(), 100);
    EXPECT_EQ(pWindow->GetFrame()->GetHeight(), 80);

    host::SetWindowPos(pWindow->GetHandle(), nullptr, 0, 0, 60, 50,
                       host::SWP_NOMOVE | host::SWP_NOZORDER);
    RECT rc;
    pWindow->GetRect(&rc);
    EXPECT_EQ(rc.right, 60);
    EXPECT_EQ(pWindow->GetBackground(), pBackground);
    EXPECT_EQ(g_events.backgrounds.size(), 1u);

    host::SetWindowPos(pWindow->GetHandle(), nullptr, 0, 0, 60, 90,
                       host::SWP_NOMOVE | host::SWP_NOZORDER);
    ASSERT_EQ(g_events.backgrounds.size(), 2u);
    EXPECT_EQ(g_events.backgrounds[1], pWindow->GetBackground());
    EXPECT_EQ(pWindow->GetScene()->GetHeight(), 90);
    EXPECT_EQ(pWindow->GetFrame()->GetWidth(), 60);

    // A new system group makes every window start again with new graphics.
    GetDisplay()->SetSystemGroup(nullptr);
    ASSERT_EQ(g_events.backgrounds.size(), 3u);
    EXPECT_EQ(g_events.backgrounds[2], pWindow->GetBackground());
}

// On a palette display the graphics join the system group and painting realises its
// palette, so that the screen shows the group's colours.
TEST_F(AnimWindowTest, PaletteDisplayUsesTheSystemGroup) {
    AnimShutdown();
    host::ShutdownScreen();
    host::ScreenOptions options;
    options.backend = host::ScreenBackendKind::kHeadless;
    options.nDepth = 8;
    ASSERT_TRUE(host::InitScreen(options));
    ASSERT_EQ(AnimStartup(nullptr, ANIM_FORCE_8BIT), 1);
    ASSERT_TRUE(GetDisplay()->IsPaletteBased());

    PaletteGroup* pGroup = MemNew(PaletteGroup);
    pGroup->Open();
    pGroup->Add(PE_FIXED_PALETTE, 0);
    pGroup->Close();
    AnimWindow* pWindow = Make(40, 30);
    pWindow->SetCallback(RecordEvent);
    GetDisplay()->SetSystemGroup(pGroup);
    ASSERT_EQ(g_events.backgrounds.size(), 2u);
    Graphic* pBackground = pWindow->GetBackground();
    ASSERT_NE(pBackground, nullptr);
    EXPECT_EQ(pBackground->GetDepth(), 8);
    EXPECT_EQ(pBackground->GetPaletteGroup(), pGroup);
    EXPECT_EQ(pWindow->GetFrame()->GetPaletteGroup(), pGroup);

    pWindow->FillBackground(host::RGB(255, 0, 0), nullptr);
    pWindow->Repaint();
    EXPECT_EQ(host::GetScreenPixel(10, 10), host::RGB(255, 0, 0));
    host::DestroyWindow(pWindow->GetHandle());
    GetDisplay()->SetSystemGroup(nullptr);
    MemDelete(pGroup);
}

TEST_F(AnimWindowTest, FillBackgroundClipsTheCallersRectangleAndShowsOnScreen) {
    AnimWindow* pWindow = Make(100, 80);
    RECT rc = {-5, -5, 200, 40};
    pWindow->FillBackground(kRed, &rc);
    EXPECT_EQ(rc.left, 0);
    EXPECT_EQ(rc.top, 0);
    EXPECT_EQ(rc.right, 100);
    EXPECT_EQ(rc.bottom, 40);
    pWindow->FillBackground(kBlue, nullptr);
    RECT rcTop = {0, 0, 100, 40};
    pWindow->FillBackground(kRed, &rcTop);
    pWindow->Repaint();
    EXPECT_EQ(host::GetScreenPixel(5, 5), Shown(kRed));
    EXPECT_EQ(host::GetScreenPixel(99, 39), Shown(kRed));
    EXPECT_EQ(host::GetScreenPixel(5, 40), Shown(kBlue));
    EXPECT_EQ(host::GetScreenPixel(99, 79), Shown(kBlue));
}

// The counters prove that only the dirty rectangles travel background -> scene -> frame ->
// screen, each merged rectangle once.
TEST_F(AnimWindowTest, PaintRecomposesOnlyDirtyRectangles) {
    AnimWindow* pWindow = Make(100, 80);
    pWindow->FillBackground(kBlue, nullptr);
    pWindow->Repaint();
    struct Case {
        const char* name;
        std::vector<RECT> rects;
        int nLevel;
        std::uint64_t cScene, cFrame;
    };
    const Case cases[] = {
        {"frame only", {{10, 10, 20, 20}}, 0, 0, 100},
        {"scene", {{10, 10, 20, 20}}, 1, 100, 100},
        {"merged", {{0, 0, 10, 10}, {5, 5, 15, 15}}, 0, 0, 225},
        {"apart", {{0, 0, 10, 10}, {50, 50, 60, 60}}, 1, 200, 200},
        {"clipped", {{90, 70, 150, 150}}, 0, 0, 100},
        {"outside", {{100, 0, 150, 50}}, 1, 0, 0},
    };
    for (const Case& c : cases) {
        PaintCounters_t before = pWindow->GetPaintCounters();
        for (const RECT& rc : c.rects) {
            pWindow->Invalidate(&rc, c.nLevel);
        }
        pWindow->Repaint();
        const AnimWindow::PaintCounters& after = pWindow->GetPaintCounters();
        EXPECT_EQ(after.cScenePixels - before.cScenePixels, c.cScene) << c.name;
        EXPECT_EQ(after.cFramePixels - before.cFramePixels, c.cFrame) << c.name;
        EXPECT_EQ(after.cScreenPixels - before.cScreenPixels, c.cFrame) << c.name;
    }
    // A repaint with nothing dirty copies nothing.
    PaintCounters_t before = pWindow->GetPaintCounters();
    pWindow->Repaint();
    EXPECT_EQ(pWindow->GetPaintCounters().cFramePixels, before.cFramePixels);
}

TEST_F(AnimWindowTest, MovingAnObjectRedrawsBothPlacesOnScreen) {
    AnimWindow* pWindow = Make(100, 80);
    pWindow->FillBackground(kBlue, nullptr);
    AnimObject* pObject = Object(pWindow, Solid(10, 10, kRed), 5, 20, 20);
    pWindow->Repaint();
    EXPECT_EQ(host::GetScreenPixel(25, 25), Shown(kRed));
    EXPECT_EQ(host::GetScreenPixel(19, 25), Shown(kBlue));
    PaintCounters_t before = pWindow->GetPaintCounters();
    pObject->SetPosition(50, 20);
    pWindow->Repaint();
    EXPECT_EQ(host::GetScreenPixel(25, 25), Shown(kBlue));
    EXPECT_EQ(host::GetScreenPixel(55, 25), Shown(kRed));
    EXPECT_EQ(pWindow->GetPaintCounters().cScreenPixels - before.cScreenPixels, 200u);
    EXPECT_EQ(pWindow->GetPaintCounters().cScenePixels, before.cScenePixels);
}

// A static object that is not drawn in part makes the scene region cover it whole where a
// dirty rectangle cuts it above or below.
TEST_F(AnimWindowTest, StaticObjectsWidenTheSceneRegion) {
    struct Case {
        DWORD dwFlags;
        RECT rcDirty;
        std::uint64_t cScene;
    };
    const Case cases[] = {
        {OBJF_STATIC, {0, 10, 5, 15}, 20 * 40},                // cut above and below
        {OBJF_STATIC, {0, 0, 5, 40}, 5 * 40},                  // cut at the side only
        {OBJF_STATIC | OBJF_DRAW_IN_PART, {0, 10, 5, 15}, 25}, // may be drawn in part
        {0, {0, 10, 5, 15}, 25},                               // dynamic objects never widen
    };
    for (const Case& c : cases) {
        AnimWindow* pWindow = Make(100, 80);
        AnimObject* pObject = Object(pWindow, Solid(20, 40, kRed), 5);
        pObject->SetFlags(c.dwFlags);
        pWindow->Repaint();
        PaintCounters_t before = pWindow->GetPaintCounters();
        pWindow->Invalidate(&c.rcDirty, 1);
        pWindow->Repaint();
        EXPECT_EQ(pWindow->GetPaintCounters().cScenePixels - before.cScenePixels, c.cScene)
            << c.dwFlags;
        host::DestroyWindow(pWindow->GetHandle());
    }
}

// Two dirty rectangles on either side of a small object in front of a large one: the large
// one is drawn into each rectangle, never over the small one between them.
TEST_F(AnimWindowTest, ObjectsAreDrawnOnlyInsideDirtyRectangles) {
    for (DWORD dwFlags : {DWORD{0}, OBJF_STATIC}) {
        AnimWindow* pWindow = Make(100, 80);
        pWindow->FillBackground(kBlue, nullptr);
        AnimObject* pBack = Object(pWindow, Solid(60, 20, kRed), 10);
        AnimObject* pFront = Object(pWindow, Solid(10, 10, kGreen), 1, 25, 5);
        pBack->SetFlags(dwFlags);
        pFront->SetFlags(dwFlags);
        pWindow->Repaint();
        EXPECT_EQ(host::GetScreenPixel(30, 10), Shown(kGreen));
        RECT rcLeft = {0, 0, 10, 20}, rcRight = {50, 0, 60, 20};
        pWindow->Invalidate(&rcLeft, 1);
        pWindow->Invalidate(&rcRight, 1);
        pWindow->Repaint();
        EXPECT_EQ(host::GetScreenPixel(5, 10), Shown(kRed)) << dwFlags;
        EXPECT_EQ(host::GetScreenPixel(30, 10), Shown(kGreen)) << dwFlags;
        // The frame graphic itself is untouched between the two rectangles.
        EXPECT_EQ(pWindow->GetFrame()->GetPixelColor(30, 10), Shown(kGreen)) << dwFlags;
        host::DestroyWindow(pWindow->GetHandle());
    }
}

// ---- Hooks

struct HookCall {
    int id;
    UINT uMsg;
};
std::vector<HookCall> g_hookCalls;
int g_nStopAt = 0; // the hook id that returns non-zero

template <int Id> int Hook(AnimWindow*, HWND, UINT uMsg, WPARAM, LPARAM) {
    g_hookCalls.push_back({Id, uMsg});
    return Id == g_nStopAt ? 1 : 0;
}

std::vector<int> CallsFor(UINT uMsg) {
    std::vector<int> ids;
    for (const HookCall& call : g_hookCalls) {
        if (call.uMsg == uMsg) {
            ids.push_back(call.id);
        }
    }
    return ids;
}

TEST_F(AnimWindowTest, HookFiltersSelectMessages) {
    AnimWindow* pWindow = Make();
    HWND hwnd = pWindow->GetHandle();
    pWindow->AddHook(Hook<1>, HOOK_MOUSE);
    pWindow->AddHook(Hook<2>, HOOK_KEYBOARD);
    pWindow->AddHook(Hook<3>, HOOK_ALL);
    struct Case {
        UINT uMsg;
        std::vector<int> ids;
    };
    const Case cases[] = {
        {host::WM_MOUSEMOVE, {3, 1}},
        {host::WM_LBUTTONDOWN, {3, 1}},
        {host::WM_MBUTTONDBLCLK, {3, 1}},
#if CEA_HANDHELD
        {host::WM_MOUSEWHEEL, {3, 1}},
#else
        {host::WM_MOUSEWHEEL, {3}},
#endif
        {host::WM_KEYDOWN, {3, 2}},
        {host::WM_SYSDEADCHAR, {3, 2}},
        {host::WM_COMMAND, {3}},
        {0x0210, {3}},
    };
    for (const Case& c : cases) {
        g_hookCalls.clear();
        host::SendMessage(hwnd, c.uMsg, 0, 0);
        EXPECT_EQ(CallsFor(c.uMsg), c.ids) << std::hex << c.uMsg;
    }
    pWindow->RemoveHook(Hook<1>);
    pWindow->RemoveHook(Hook<2>);
    pWindow->RemoveHook(Hook<3>);
}

TEST_F(AnimWindowTest, HooksRunByPriorityNewestFirstAndCanHideMessages) {
    AnimWindow* pWindow = Make();
    HWND hwnd = pWindow->GetHandle();
    pWindow->AddHook(Hook<1>, HOOK_ALL);
    pWindow->AddHook(Hook<2>, HOOK_ALL | HOOK_PRIORITY(100));
    pWindow->AddHook(Hook<3>, HOOK_ALL | HOOK_PRIORITY(150));
    pWindow->AddHook(Hook<4>, HOOK_ALL | HOOK_PRIORITY(20));
    g_hookCalls.clear();
    host::SendMessage(hwnd, host::WM_COMMAND, 0, 0);
    EXPECT_EQ(CallsFor(host::WM_COMMAND), (std::vector<int>{4, 2, 1, 3}));

    // A non-zero result hides the message from later hooks, not from the window: a posted
    // timeline event still lands.
    g_nStopAt = 2;
    g_hookCalls.clear();
    host::SendMessage(hwnd, WM_ANIMSCHEDULE, 7, 42);
    g_nStopAt = 0;
    EXPECT_EQ(CallsFor(WM_ANIMSCHEDULE), (std::vector<int>{4, 2}));
    EXPECT_EQ(pWindow->GetEndFrame(), 8);

    // Reference counts: a second add keeps the place and needs a second removal; filters add up.
    pWindow->AddHook(Hook<1>, HOOK_ALL);
    pWindow->RemoveHook(Hook<1>);
    g_hookCalls.clear();
    host::SendMessage(hwnd, host::WM_COMMAND, 0, 0);
    EXPECT_EQ(CallsFor(host::WM_COMMAND), (std::vector<int>{4, 2, 1, 3}));
    pWindow->RemoveHook(Hook<1>);
    pWindow->RemoveHook(Hook<3>);
    pWindow->RemoveHook(Hook<3>); // already gone: nothing happens
    g_hookCalls.clear();
    host::SendMessage(hwnd, host::WM_COMMAND, 0, 0);
    EXPECT_EQ(CallsFor(host::WM_COMMAND), (std::vector<int>{4, 2}));
    pWindow->RemoveHook(Hook<2>);
    pWindow->RemoveHook(Hook<4>);

    pWindow->AddHook(Hook<5>, HOOK_MOUSE);
    pWindow->AddHook(Hook<5>, HOOK_KEYBOARD);
    g_hookCalls.clear();
    host::SendMessage(hwnd, host::WM_KEYUP, 0, 0);
    host::SendMessage(hwnd, host::WM_LBUTTONUP, 0, 0);
    host::SendMessage(hwnd, host::WM_COMMAND, 0, 0);
    EXPECT_EQ(g_hookCalls.size(), 2u);
    // The window's destruction frees the hooks still added (TearDown checks).
}

int g_cSelfRemovals = 0;
int RemovesItself(AnimWindow* pWindow, HWND, UINT uMsg, WPARAM, LPARAM) {
    if (uMsg == host::WM_COMMAND) {
        ++g_cSelfRemovals;
        pWindow->RemoveHook(RemovesItself);
    }
    return 0;
}

int DestroysTheWindow(AnimWindow*, HWND hwnd, UINT uMsg, WPARAM, LPARAM) {
    if (uMsg == host::WM_COMMAND) {
        host::DestroyWindow(hwnd);
    }
    return 0;
}

TEST_F(AnimWindowTest, HooksMayRemoveThemselvesOrDestroyTheWindow) {
    AnimWindow* pWindow = Make();
    HWND hwnd = pWindow->GetHandle();
    pWindow->AddHook(Hook<1>, HOOK_ALL | HOOK_PRIORITY(10));
    pWindow->AddHook(RemovesItself, HOOK_ALL | HOOK_PRIORITY(20));
    pWindow->AddHook(Hook<2>, HOOK_ALL | HOOK_PRIORITY(30));
    g_hookCalls.clear();
    g_cSelfRemovals = 0;
    host::SendMessage(hwnd, host::WM_COMMAND, 0, 0);
    host::SendMessage(hwnd, host::WM_COMMAND, 0, 0);
    EXPECT_EQ(g_cSelfRemovals, 1);
    EXPECT_EQ(CallsFor(host::WM_COMMAND), (std::vector<int>{1, 2, 1, 2}));

    pWindow->AddHook(DestroysTheWindow, HOOK_ALL | HOOK_PRIORITY(15));
    g_hookCalls.clear();
    host::SendMessage(hwnd, host::WM_COMMAND, 0, 0);
    EXPECT_FALSE(host::IsWindow(hwnd));
    EXPECT_EQ(AnimWindow::FromHandle(hwnd), nullptr);
    EXPECT_EQ(CallsFor(host::WM_COMMAND), (std::vector<int>{1}));
}

// ---- Object order

#if !CEA_HANDHELD // the handheld build lets a hook's exception reach the caller
int Throws(AnimWindow*, HWND, UINT uMsg, WPARAM, LPARAM) {
    if (uMsg == host::WM_COMMAND) throw std::runtime_error("hook broke");
    return 0;
}

TEST_F(AnimWindowTest, AThrowingHookStopsTheDispatchAndIsTraced) {
    AnimWindow* pWindow = Make();
    pWindow->AddHook(Hook<1>, HOOK_ALL | HOOK_PRIORITY(10));
    pWindow->AddHook(Throws, HOOK_ALL | HOOK_PRIORITY(20));
    pWindow->AddHook(Hook<2>, HOOK_ALL | HOOK_PRIORITY(30));
    g_hookCalls.clear();
    host::DebugCapture capture;
    host::SendMessage(pWindow->GetHandle(), host::WM_COMMAND, 0, 0);
    EXPECT_EQ(CallsFor(host::WM_COMMAND), (std::vector<int>{1}));
    char szLine[128];
    std::snprintf(szLine, sizeof(szLine), "AnimWindow hook 0x%08lX threw on message 0x0111: %s\n",
                  static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(&Throws)),
                  "hook broke");
    EXPECT_EQ(capture.Text(), szLine);
    // The window and its hooks carry on with the next message.
    host::SendMessage(pWindow->GetHandle(), host::WM_KEYUP, 0, 0);
    EXPECT_EQ(CallsFor(host::WM_KEYUP), (std::vector<int>{1, 2}));
}
#endif

TEST_F(AnimWindowTest, DepthSlotsOrderObjectsFrontToBack) {
    AnimWindow* pWindow = Make();
    AnimObject* p5a = Object(pWindow, nullptr, 5);
    AnimObject* p3 = Object(pWindow, nullptr, 3);
    AnimObject* p5b = Object(pWindow, nullptr, 5);
    AnimObject* p7 = Object(pWindow, nullptr, 7);
    auto order = [pWindow] {
        std::vector<AnimObject*> forward, backward;
        for (AnimObject* p = pWindow->NextObject(nullptr); p; p = pWindow->NextObject(p))
            forward.push_back(p);
        for (AnimObject* p = pWindow->PreviousObject(nullptr); p; p = pWindow->PreviousObject(p))
            backward.insert(backward.begin(), p);
        EXPECT_EQ(forward, backward);
        return forward;
    };
    EXPECT_EQ(order(), (std::vector<AnimObject*>{p3, p5a, p5b, p7}));
    EXPECT_EQ(pWindow->FirstObjectOfDepth(5), p5a);
    EXPECT_EQ(pWindow->FirstObjectOfDepth(4), nullptr);
    struct DepthCase {
        LONG nDepth, nAfter, nBefore;
    };
    for (const DepthCase& c : {DepthCase{0, 3, 0}, DepthCase{3, 5, 0}, DepthCase{4, 5, 3},
                               DepthCase{5, 7, 3}, DepthCase{7, 0, 5}, DepthCase{9, 0, 7}}) {
        EXPECT_EQ(pWindow->NextDepthAfter(c.nDepth), c.nAfter) << c.nDepth;
        EXPECT_EQ(pWindow->DepthBefore(c.nDepth), c.nBefore) << c.nDepth;
    }

    // Insertions next to a reference, and at either end of the whole order.
    AnimObject* pA = Object(pWindow, nullptr, 5);
    pWindow->RemoveObject(pA);
    pWindow->InsertBefore(pA, p5a);
    EXPECT_EQ(pWindow->FirstObjectOfDepth(5), pA);
    pWindow->RemoveObject(pA);
    pWindow->InsertAfter(pA, p5a);
    EXPECT_EQ(order(), (std::vector<AnimObject*>{p3, p5a, pA, p5b, p7}));
    pWindow->RemoveObject(pA);
    pWindow->InsertAfter(pA, nullptr);
    EXPECT_EQ(order().back(), pA);
    pWindow->RemoveObject(pA);
    pWindow->InsertBefore(pA, nullptr);
    EXPECT_EQ(order().front(), pA);
    EXPECT_EQ(pWindow->FirstObjectOfDepth(3), pA);
    MemDelete(pA);

    // An emptied slot keeps its place.
    MemDelete(p3);
    EXPECT_EQ(pWindow->FirstObjectOfDepth(3), nullptr);
    EXPECT_EQ(pWindow->NextDepthAfter(0), 3);
    EXPECT_EQ(order(), (std::vector<AnimObject*>{p5a, p5b, p7}));
    AnimObject* p3again = Object(pWindow, nullptr, 3);
    EXPECT_EQ(order().front(), p3again);
    // Removing twice, or an object of no list, changes nothing.
    pWindow->RemoveObject(p7);
    pWindow->RemoveObject(p7);
    EXPECT_EQ(order(), (std::vector<AnimObject*>{p3again, p5a, p5b}));
    pWindow->AddObject(p7);
    EXPECT_EQ(order().back(), p7);
}

// Objects whose procedure destroys objects during the frame update: the walk goes on with
// the right neighbour and every surviving object is updated once.
std::vector<AnimObject*> g_updated;
AnimObject* g_pVictim = nullptr;

int UpdateRecorder(AnimObject* pObject, UINT uMsg, LPARAM) {
    if (uMsg == OBJMSG_UPDATE) {
        g_updated.push_back(pObject);
        if (pObject->GetData(0) == &g_pVictim && g_pVictim != nullptr) {
            AnimObject* pVictim = g_pVictim;
            g_pVictim = nullptr;
            MemDelete(pVictim);
        }
        if (pObject->GetData(1) == &g_pVictim) {
            MemDelete(pObject);
        }
    }
    return 1;
}

TEST_F(AnimWindowTest, ObjectsMayDestroyObjectsDuringTheUpdate) {
    AnimWindow* pWindow = Make();
    g_updated.clear();
    AnimObject* pA = MemNew(AnimObject, pWindow, UpdateRecorder, 1);
    AnimObject* pB = MemNew(AnimObject, pWindow, UpdateRecorder, 1);
    AnimObject* pC = MemNew(AnimObject, pWindow, UpdateRecorder, 2);
    AnimObject* pD = MemNew(AnimObject, pWindow, UpdateRecorder, 3);
    pA->SetData(0, &g_pVictim); // A destroys the next one, B
    g_pVictim = pB;
    pC->SetData(1, &g_pVictim); // C destroys itself
    pWindow->Repaint();
    EXPECT_EQ(g_updated, (std::vector<AnimObject*>{pA, pC, pD}));
    g_updated.clear();
    pWindow->Repaint();
    EXPECT_EQ(g_updated, (std::vector<AnimObject*>{pA, pD}));
}

// ---- Built-in objects

// Counts white and black pixels of a screen rectangle.
void CountShades(const RECT& rc, int* pcWhite, int* pcBlack) {
    *pcWhite = *pcBlack = 0;
    for (int y = rc.top; y < rc.bottom; ++y) {
        for (int x = rc.left; x < rc.right; ++x) {
            COLORREF clr = host::GetScreenPixel(x, y);
            *pcWhite += clr == Shown(kWhite);
            *pcBlack += clr == Shown(kBlack);
        }
    }
}

TEST_F(AnimWindowTest, FrameRateAndStatusObjectsDrawTheirTexts) {
    AnimWindow* pWindow = Make(200, 100);
    pWindow->FillBackground(kBlue, nullptr);
    pWindow->ShowFrameRate(TRUE);
    pWindow->ShowFrameRate(TRUE); // one object only
    AnimObject* pFps = pWindow->FirstObjectOfDepth(1);
    ASSERT_NE(pFps, nullptr);
    EXPECT_EQ(pFps->GetNext(), nullptr);
    RECT rcFps;
    pFps->GetRect(&rcFps);
    EXPECT_EQ(rcFps.left, 0);
    EXPECT_EQ(rcFps.bottom, 100);
    EXPECT_GT(rcFps.right, 20);
    EXPECT_GT(rcFps.bottom - rcFps.top, 5);
    pWindow->Repaint();
    int cWhite, cBlack;
    CountShades(rcFps, &cWhite, &cBlack);
    EXPECT_GT(cWhite, 0);
    EXPECT_GT(cBlack, 0);
    // It redraws itself every frame.
    PaintCounters_t before = pWindow->GetPaintCounters();
    pWindow->Repaint();
    EXPECT_GE(pWindow->GetPaintCounters().cScreenPixels - before.cScreenPixels,
              static_cast<std::uint64_t>((rcFps.right - rcFps.left) * (rcFps.bottom - rcFps.top)));
    pWindow->ShowFrameRate(FALSE);
    EXPECT_EQ(pWindow->FirstObjectOfDepth(1), nullptr);
    pWindow->Repaint();
    EXPECT_EQ(host::GetScreenPixel(rcFps.left + 1, rcFps.bottom - 2), Shown(kBlue));

    TCHAR szText[] = TEXT("Ready");
    pWindow->SetStatusText(szText);
    szText[0] = 'X'; // a copy is kept
    AnimObject* pStatus = pWindow->FirstObjectOfDepth(2);
    ASSERT_NE(pStatus, nullptr);
    RECT rcStatus;
    pStatus->GetRect(&rcStatus);
    EXPECT_EQ(rcStatus.left, 0);
    EXPECT_EQ(rcStatus.right, 200);
    EXPECT_EQ(rcStatus.bottom, 100);
    EXPECT_EQ(std::basic_string<TCHAR>(static_cast<const TCHAR*>(pStatus->GetData(0))),
              TEXT("Ready"));
    pWindow->Repaint();
    // Right-aligned: the text is in the right half, the left half is plain white.
    RECT rcLeft = rcStatus, rcRight = rcStatus;
    rcLeft.right = rcRight.left = 100;
    CountShades(rcLeft, &cWhite, &cBlack);
    EXPECT_EQ(cBlack, 0);
    EXPECT_EQ(cWhite, 100 * (rcStatus.bottom - rcStatus.top));
    CountShades(rcRight, &cWhite, &cBlack);
    EXPECT_GT(cBlack, 0);
    pWindow->SetStatusText(TEXT("Replaced"));
    EXPECT_EQ(pWindow->FirstObjectOfDepth(2), pStatus);
    EXPECT_EQ(std::basic_string<TCHAR>(static_cast<const TCHAR*>(pStatus->GetData(0))),
              TEXT("Replaced"));
    pWindow->SetStatusText(TEXT(""));
    EXPECT_EQ(pWindow->FirstObjectOfDepth(2), nullptr);
}

} // namespace
