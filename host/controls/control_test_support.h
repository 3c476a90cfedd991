// Test support for the standard controls: a headless screen, a parent window that records
// its WM_COMMAND notifications, and real mouse and key input.
#pragma once

#include "host/clock.h"
#include "host/controls.h"
#include "host/controls/look.h"
#include "host/gdi.h"
#include "host/screen.h"
#include "host/window.h"
#include "host/window_test_support.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace host::test {

class ControlTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        Start(ScreenProfile::kDevice);
    }
    void TearDown() override {
        WindowTest::TearDown();
        ShutdownScreen();
    }
    void Start(ScreenProfile profile) {
        if (IsScreenRunning()) {
            WindowTest::TearDown();
            ShutdownScreen();
        }
        ScreenOptions options;
        options.backend = ScreenBackendKind::kHeadless;
        options.profile = profile;
        ASSERT_TRUE(InitScreen(options));
        parent_ = MakeWindow("TestWindow", WS_POPUP | WS_VISIBLE, {10, 10, 230, 290}, nullptr,
                             &paintFace_);
        Settle();
    }

    // A child of the parent, put below the ones made before it as a dialog does.
    HWND Control(const char16_t* cls, const char16_t* text, DWORD style, RECT rc, int id = 0) {
        HWND hwnd = CreateWindowEx(0, cls, text, WS_CHILD | WS_VISIBLE | style, rc.left, rc.top,
                                   rc.right - rc.left, rc.bottom - rc.top, parent_,
                                   reinterpret_cast<HMENU>(static_cast<std::intptr_t>(id)), nullptr,
                                   nullptr);
        SetWindowPos(hwnd, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        return hwnd;
    }

    static void Settle() {
        Pump();
        PresentScreen();
    }
    static POINT OnScreen(HWND hwnd, POINT pt) {
        ClientToScreen(hwnd, &pt);
        return pt;
    }
    // A press at `down` and a release at `up` (client points of hwnd), moving between.
    static void Drag(HWND hwnd, POINT down, POINT up) {
        PostMouseInput(OnScreen(hwnd, down), MouseAction::kLeftDown);
        Settle();
        PostMouseInput(OnScreen(hwnd, up), MouseAction::kMove);
        Settle();
        PostMouseInput(OnScreen(hwnd, up), MouseAction::kLeftUp);
        Settle();
        // A later press is a new click, never a double click.
        AdvanceVirtualClock(DOUBLECLICK_TIME + 1);
    }
    static void Click(HWND hwnd, POINT pt) { Drag(hwnd, pt, pt); }
    static void Key(UINT vk) {
        PostKeyInput(vk, true);
        Settle();
        PostKeyInput(vk, false);
        Settle();
    }
    static COLORREF Pixel(HWND hwnd, int x, int y) {
        POINT pt = OnScreen(hwnd, {x, y});
        return GetScreenPixel(pt.x, pt.y);
    }
    // The colour as the screen shows it.
    static COLORREF Shown(COLORREF cr) {
        HDC hdc = GetDC(nullptr);
        COLORREF shown = GetNearestColor(hdc, cr);
        ReleaseDC(nullptr, hdc);
        return shown;
    }
    static bool Dark(COLORREF cr) { return GetRValue(cr) + GetGValue(cr) + GetBValue(cr) < 200; }

    // The notification codes the parent got from control id, in order.
    std::vector<WORD> Notifications(int id) const {
        std::vector<WORD> codes;
        for (const Received& r : Log().Of(parent_, WM_COMMAND))
            if (LOWORD(r.wParam) == id) codes.push_back(HIWORD(r.wParam));
        return codes;
    }

    // Paints the parent in the face colour, as a dialog is.
    Handler paintFace_ = [](HWND hwnd, UINT msg, WPARAM, LPARAM) -> std::optional<LRESULT> {
        if (msg != WM_PAINT) return std::nullopt;
        PAINTSTRUCT ps;
        HDC hdc = BeginPaint(hwnd, &ps);
        RECT rc;
        GetClientRect(hwnd, &rc);
        FillRect(hdc, &rc, GetSysColorBrush(COLOR_BTNFACE));
        EndPaint(hwnd, &ps);
        return 0;
    };
    HWND parent_ = nullptr;
    VirtualClockScope clock_;
};

} // namespace host::test
