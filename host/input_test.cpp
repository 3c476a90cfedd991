#include "host/clock.h"
#include "host/window.h"
#include "host/window_test_support.h"

#include <gtest/gtest.h>

namespace host::test {
namespace {

using InputTest = WindowTest;
using Trace = std::vector<UINT>;

// The window region of one window is its left 25 columns; hooks may call the window service.
class HalfRegion : public WindowManagerHooks {
public:
    explicit HalfRegion(HWND hwnd) : hwnd_(hwnd) {}
    bool PtInWindowRegion(HWND hwnd, POINT ptWindow) override {
        RECT rc;
        EXPECT_TRUE(GetWindowRect(hwnd, &rc)); // no lock is held here
        return hwnd != hwnd_ || ptWindow.x < 25;
    }
    void CursorChanged(HCURSOR hCursor) override { lastCursor = hCursor; }
    HCURSOR lastCursor = nullptr;

private:
    HWND hwnd_;
};

MSG Next() {
    MSG msg{};
    EXPECT_TRUE(PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE));
    return msg;
}

TEST_F(InputTest, MouseGoesToTheFrontmostEnabledWindowUnderThePoint) {
    HWND a = MakeWindow("TestWindow", WS_POPUP | WS_VISIBLE, {0, 0, 100, 100});
    HWND c1 = MakeWindow("TestWindow", WS_CHILD | WS_VISIBLE, {10, 10, 50, 50}, a);
    HWND c2 = MakeWindow("TestWindow", WS_CHILD | WS_VISIBLE, {30, 30, 80, 80}, a);
    HWND c4 = MakeWindow("TestWindow", WS_CHILD | WS_VISIBLE, {50, 0, 100, 30}, a);
    MakeWindow("TestWindow", WS_CHILD | WS_VISIBLE | WS_DISABLED, {60, 0, 100, 20}, a);
    MakeWindow("TestWindow", WS_CHILD, {0, 80, 20, 100}, a); // hidden
    HWND b = MakeWindow("TestWindow", WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU,
                        {200, 0, 300, 100});
    MakeWindow("TestWindow", WS_POPUP | WS_VISIBLE | WS_DISABLED, {400, 0, 450, 50});
    HWND e = CreateWindowEx(WS_EX_TOPMOST, "TestWindow", "", WS_POPUP | WS_VISIBLE, 0, 0, 20, 20,
                            nullptr, nullptr, nullptr, nullptr);
    SetActiveWindow(a); // does not lift a above the topmost window
    HalfRegion region(c2);
    SetWindowManagerHooks(&region);
    Pump();
    struct Case {
        POINT pt;
        HWND expected;
        UINT msg;
        WPARAM wParam;
        LPARAM lParam;
    };
    const Case cases[] = {
        {{5, 5}, e, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5)}, // topmost above a
        {{20, 20}, c1, WM_MOUSEMOVE, 0, MAKELPARAM(10, 10)},
        {{45, 40}, c2, WM_MOUSEMOVE, 0, MAKELPARAM(15, 10)}, // c2 above c1, in its region
        {{56, 40}, a, WM_MOUSEMOVE, 0, MAKELPARAM(56, 40)},  // outside c2's region
        {{70, 10}, c4, WM_MOUSEMOVE, 0, MAKELPARAM(20, 10)}, // passes over a disabled child
        {{10, 90}, a, WM_MOUSEMOVE, 0, MAKELPARAM(10, 90)},  // a hidden child takes nothing
        {{250, 50}, b, WM_MOUSEMOVE, 0, MAKELPARAM(50, 50 - CAPTION_HEIGHT)},
        {{250, 10}, b, WM_NCMOUSEMOVE, static_cast<WPARAM>(HTCAPTION), MAKELPARAM(250, 10)},
        {{290, 10}, b, WM_NCMOUSEMOVE, static_cast<WPARAM>(HTCLOSE), MAKELPARAM(290, 10)},
        {{420, 20}, nullptr, 0, 0, 0}, // a disabled top-level window drops it
        {{600, 600}, nullptr, 0, 0, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PostMouseInput(c.pt, MouseAction::kMove), c.expected) << c.pt.x << "," << c.pt.y;
        if (c.expected == nullptr) {
            EXPECT_TRUE(Pump().empty());
            continue;
        }
        MSG msg = Next();
        EXPECT_EQ(msg.hwnd, c.expected);
        EXPECT_EQ(msg.message, c.msg);
        EXPECT_EQ(msg.wParam, c.wParam);
        EXPECT_EQ(msg.lParam, c.lParam) << c.pt.x << "," << c.pt.y;
        EXPECT_EQ(msg.pt.x, c.pt.x);
        DispatchMessage(&msg);
    }
    EXPECT_EQ(GetAncestor(c1, GA_ROOT), a);
}

TEST_F(InputTest, AChildAnsweringTransparentLetsThePointThroughToTheOneBelow) {
    Handler transparent = [](HWND, UINT msg, WPARAM, LPARAM) -> std::optional<LRESULT> {
        if (msg == WM_NCHITTEST) return HTTRANSPARENT;
        return std::nullopt;
    };
    HWND a = MakeWindow("TestWindow", WS_POPUP | WS_VISIBLE, {0, 0, 100, 100});
    HWND below = MakeWindow("TestWindow", WS_CHILD | WS_VISIBLE, {10, 10, 50, 50}, a);
    HWND over = MakeWindow("TestWindow", WS_CHILD | WS_VISIBLE, {0, 0, 80, 80}, a, &transparent);
    EXPECT_EQ(GetWindow(over, GW_HWNDNEXT), below); // over lies above below
    Pump();
    EXPECT_EQ(PostMouseInput({20, 20}, MouseAction::kMove), below);
    EXPECT_EQ(PostMouseInput({70, 70}, MouseAction::kMove), a);
    Pump();
}

TEST_F(InputTest, TheCaptureTakesEveryMouseMessage) {
    HWND a = MakeWindow("TestWindow", WS_POPUP | WS_VISIBLE, {0, 0, 100, 100});
    HWND child = MakeWindow("TestWindow", WS_CHILD | WS_VISIBLE, {10, 10, 50, 50}, a);
    MakeWindow("TestWindow", WS_POPUP | WS_VISIBLE, {200, 200, 400, 400});
    Pump();
    SetCapture(child);
    struct Case {
        POINT pt;
        int x, y;
    };
    for (const Case& c : {Case{{300, 300}, 290, 290}, Case{{5, 2}, -5, -8}}) {
        EXPECT_EQ(PostMouseInput(c.pt, MouseAction::kMove), child);
        MSG msg = Next();
        EXPECT_EQ(GET_X_LPARAM(msg.lParam), c.x);
        EXPECT_EQ(GET_Y_LPARAM(msg.lParam), c.y);
    }
    ReleaseCapture();
    EXPECT_EQ(PostMouseInput({5, 2}, MouseAction::kMove), a);
    Pump();
}

TEST_F(InputTest, DoubleClicksNeedTheClassStyleAndAQuickCloseSecondPress) {
    VirtualClockScope clock;
    HWND plain = MakeWindow("TestWindow", WS_POPUP | WS_VISIBLE, {0, 0, 100, 100});
    HWND dbl = MakeWindow("TestDblClk", WS_POPUP | WS_VISIBLE, {200, 0, 300, 100});
    Pump();
    struct Case {
        HWND hwnd;
        MouseAction press;
        MouseAction release;
        DWORD msLater;
        int dx, dy;
        UINT expected;
    };
    const Case cases[] = {
        {dbl, MouseAction::kLeftDown, MouseAction::kLeftUp, 100, 2, -2, WM_LBUTTONDBLCLK},
        {dbl, MouseAction::kLeftDown, MouseAction::kLeftUp, DOUBLECLICK_TIME, 0, 0,
         WM_LBUTTONDBLCLK},
        {dbl, MouseAction::kLeftDown, MouseAction::kLeftUp, DOUBLECLICK_TIME + 1, 0, 0,
         WM_LBUTTONDOWN},
        {dbl, MouseAction::kLeftDown, MouseAction::kLeftUp, 100, 3, 0, WM_LBUTTONDOWN},
        {dbl, MouseAction::kRightDown, MouseAction::kRightUp, 100, 0, 1, WM_RBUTTONDBLCLK},
        {plain, MouseAction::kLeftDown, MouseAction::kLeftUp, 100, 0, 0, WM_LBUTTONDOWN},
    };
    for (const Case& c : cases) {
        RECT rc;
        GetWindowRect(c.hwnd, &rc);
        POINT pt{rc.left + 50, rc.top + 50};
        AdvanceVirtualClock(1000);
        PostMouseInput(pt, c.press);
        PostMouseInput(pt, c.release);
        AdvanceVirtualClock(c.msLater);
        PostMouseInput({pt.x + c.dx, pt.y + c.dy}, c.press);
        PostMouseInput({pt.x + c.dx, pt.y + c.dy}, c.release);
        std::vector<MSG> seen = Pump();
        std::vector<UINT> presses;
        for (const MSG& m : seen) {
            bool fPress = m.message == WM_LBUTTONDOWN || m.message == WM_LBUTTONDBLCLK ||
                          m.message == WM_RBUTTONDOWN || m.message == WM_RBUTTONDBLCLK;
            if (fPress && m.hwnd == c.hwnd) presses.push_back(m.message);
        }
        ASSERT_EQ(presses.size(), 2u);
        EXPECT_EQ(presses[1], c.expected) << c.msLater << " " << c.dx;
    }
    // After a double click the next press starts over.
    PostMouseInput({250, 50}, MouseAction::kLeftDown);
    PostMouseInput({250, 50}, MouseAction::kLeftDown);
    PostMouseInput({250, 50}, MouseAction::kLeftDown);
    Trace presses;
    for (UINT msg : Numbers(Pump())) {
        if (msg != WM_PAINT) // the first press lifted and activated the window
            presses.push_back(msg);
    }
    EXPECT_EQ(presses, (Trace{WM_LBUTTONDOWN, WM_LBUTTONDBLCLK, WM_LBUTTONDOWN}));
    PostMouseInput({250, 50}, MouseAction::kLeftUp);
    Pump();
}

TEST_F(InputTest, ButtonStateTravelsInTheWordParameter) {
    MakeWindow("TestWindow", WS_POPUP | WS_VISIBLE, {0, 0, 100, 100});
    Pump();
    struct Step {
        MouseAction action;
        UINT msg;
        WPARAM mk;
    };
    const Step steps[] = {
        {MouseAction::kLeftDown, WM_LBUTTONDOWN, MK_LBUTTON},
        {MouseAction::kMove, WM_MOUSEMOVE, MK_LBUTTON},
        {MouseAction::kRightDown, WM_RBUTTONDOWN, MK_LBUTTON | MK_RBUTTON},
        {MouseAction::kLeftUp, WM_LBUTTONUP, MK_RBUTTON},
        {MouseAction::kRightUp, WM_RBUTTONUP, 0},
    };
    for (const Step& s : steps) {
        PostMouseInput({10 + static_cast<int>(s.msg - WM_MOUSEFIRST), 10}, s.action);
        MSG msg = Next();
        EXPECT_EQ(msg.message, s.msg);
        EXPECT_EQ(msg.wParam, s.mk);
    }
    EXPECT_EQ(GetKeyState(VK_LBUTTON) & 0x8000, 0);
}

TEST_F(InputTest, QueuedMovesMergeUntilSomethingElseComes) {
    HWND hwnd = MakeWindow("TestWindow", WS_POPUP | WS_VISIBLE, {0, 0, 100, 100});
    Pump();
    PostMouseInput({1, 1}, MouseAction::kMove);
    PostMouseInput({2, 2}, MouseAction::kMove);
    PostMouseInput({3, 3}, MouseAction::kLeftDown);
    PostMouseInput({4, 4}, MouseAction::kMove);
    PostMouseInput({5, 5}, MouseAction::kMove);
    std::vector<MSG> seen = Pump();
    ASSERT_EQ(Numbers(seen), (Trace{WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_MOUSEMOVE}));
    EXPECT_EQ(seen[0].lParam, MAKELPARAM(2, 2));
    EXPECT_EQ(seen[2].lParam, MAKELPARAM(5, 5));
    PostMouseInput({5, 5}, MouseAction::kLeftUp);
    Pump();
    (void)hwnd;
}

TEST_F(InputTest, PressingActivatesAndDisabledWindowsTakeNothing) {
    HWND a = MakeWindow("TestWindow", WS_POPUP | WS_VISIBLE, {0, 0, 100, 100});
    HWND b = MakeWindow("TestWindow", WS_POPUP | WS_VISIBLE, {200, 0, 300, 100});
    Pump();
    ASSERT_EQ(GetActiveWindow(), b);
    Log().Clear();
    EXPECT_EQ(PostMouseInput({50, 50}, MouseAction::kLeftDown), a);
    EXPECT_EQ(GetActiveWindow(), a);
    ASSERT_EQ(Log().Of(a, WM_ACTIVATE).size(), 1u);
    EXPECT_EQ(LOWORD(Log().Of(a, WM_ACTIVATE)[0].wParam), WA_CLICKACTIVE);
    PostMouseInput({50, 50}, MouseAction::kLeftUp);
    // Coming to the front repaints the window, after the input.
    EXPECT_EQ(Numbers(Pump()), (Trace{WM_LBUTTONDOWN, WM_LBUTTONUP, WM_PAINT}));

    EnableWindow(b, FALSE); // as the owner of a modal window is
    EXPECT_EQ(PostMouseInput({250, 50}, MouseAction::kLeftDown), nullptr);
    PostMouseInput({250, 50}, MouseAction::kLeftUp);
    EXPECT_TRUE(Pump().empty());
    EXPECT_EQ(GetActiveWindow(), a);
}

TEST_F(InputTest, TheCloseBoxClosesOnlyWhenPressedAndReleasedOnIt) {
    struct Case {
        POINT press;
        POINT release;
        bool fClosed;
    };
    const Case cases[] = {
        {{290, 10}, {291, 12}, true},
        {{290, 10}, {250, 10}, false}, // released on the caption
        {{250, 10}, {290, 10}, false}, // pressed on the caption
        {{290, 10}, {250, 60}, false}, // released in the client area
    };
    for (const Case& c : cases) {
        HWND hwnd = MakeWindow("TestWindow", WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU,
                               {200, 0, 300, 100});
        Pump();
        Log().Clear();
        PostMouseInput(c.press, MouseAction::kLeftDown);
        PostMouseInput(c.release, MouseAction::kLeftUp);
        Pump();
        EXPECT_EQ(IsWindow(hwnd) == FALSE, c.fClosed);
        EXPECT_EQ(Log().Of(hwnd, WM_CLOSE).size(), c.fClosed ? 1u : 0u);
        DestroyWindow(hwnd);
    }
}

TEST_F(InputTest, KeysGoToTheFocusWindow) {
    HWND a = MakeWindow("TestWindow", WS_POPUP | WS_VISIBLE, {0, 0, 100, 100});
    HWND edit = MakeWindow("TestWindow", WS_CHILD | WS_VISIBLE, {0, 0, 10, 10}, a);
    Pump();
    SetFocus(edit);
    struct Step {
        UINT vk;
        bool fDown;
        HWND target;
        UINT msg;
        std::uint32_t lParam;
    };
    const Step steps[] = {
        {'K', true, edit, WM_KEYDOWN, 1},
        {'K', true, edit, WM_KEYDOWN, 1 | (1u << 30)}, // a repeat: it was down
        {'K', false, edit, WM_KEYUP, 1 | (1u << 30) | (1u << 31)},
        {VK_MENU, true, edit, WM_SYSKEYDOWN, 1 | (1u << 29)},
        {'F', true, edit, WM_SYSKEYDOWN, 1 | (1u << 29)},
        {'F', false, edit, WM_SYSKEYUP, 1 | (1u << 29) | (1u << 30) | (1u << 31)},
        {VK_MENU, false, edit, WM_SYSKEYUP, 1 | (1u << 30) | (1u << 31)},
    };
    for (const Step& s : steps) {
        EXPECT_EQ(PostKeyInput(s.vk, s.fDown), s.target);
        MSG msg = Next();
        EXPECT_EQ(msg.message, s.msg);
        EXPECT_EQ(msg.wParam, s.vk);
        EXPECT_EQ(static_cast<std::uint32_t>(msg.lParam), s.lParam);
        EXPECT_EQ((GetKeyState(static_cast<int>(s.vk)) & 0x8000) != 0, s.fDown);
    }
    SetFocus(nullptr);
    EXPECT_EQ(PostKeyInput(VK_SPACE, true), a); // no focus: the active window
    PostKeyInput(VK_SPACE, false);
    Pump();
}

TEST_F(InputTest, TheClassCursorIsSetWhenTheMouseMoves) {
    HWND hwnd = MakeWindow("TestWindow", WS_POPUP | WS_VISIBLE, {0, 0, 100, 100});
    HWND child = MakeWindow("TestWindow", WS_CHILD | WS_VISIBLE, {0, 0, 10, 10}, hwnd);
    HCURSOR hand = reinterpret_cast<HCURSOR>(static_cast<std::uintptr_t>(0x4A4A));
    HCURSOR previous = reinterpret_cast<HCURSOR>(
        SetClassLongPtr(hwnd, GCLP_HCURSOR, reinterpret_cast<LONG_PTR>(hand)));
    HalfRegion hooks(nullptr);
    SetWindowManagerHooks(&hooks);
    Pump();
    PostMouseInput({50, 50}, MouseAction::kMove);
    Pump();
    EXPECT_EQ(GetCursor(), hand);
    EXPECT_EQ(hooks.lastCursor, hand);
    // The child's WM_SETCURSOR asks its parent first.
    Log().Clear();
    PostMouseInput({5, 5}, MouseAction::kMove);
    Pump();
    EXPECT_EQ(Log().Of(child, WM_SETCURSOR).size(), 1u);
    EXPECT_EQ(Log().Of(hwnd, WM_SETCURSOR).size(), 1u);
    SetClassLongPtr(hwnd, GCLP_HCURSOR, reinterpret_cast<LONG_PTR>(previous));
    SetCursor(nullptr);
}

} // namespace
} // namespace host::test
