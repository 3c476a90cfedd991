// The SDL2 backend in a real window on an X server (run under xvfb-run by run_under_x.sh):
// SDL input events become window messages, what the windows draw reaches the SDL window,
// and closing the SDL window closes the program's main window. Skips without an X server.
#include "host/clock.h"
#include "host/gdi.h"
#include "host/screen.h"
#include "host/window.h"
#include "host/window_test_support.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <optional>
#include <string>

namespace host::test {
namespace {

constexpr int kScale = 2;

// Waits (in real time, at most msLimit) for the condition while the thread handles its
// messages; the waits run the screen's message-wait pump, which reads SDL's events.
bool WaitFor(const std::function<bool()>& condition, int msLimit = 2000) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(msLimit);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > until) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        Pump();
    }
    return true;
}

Handler Painter(COLORREF colour) {
    return [colour](HWND hwnd, UINT msg, WPARAM, LPARAM) -> std::optional<LRESULT> {
        if (msg != WM_PAINT) return std::nullopt;
        PAINTSTRUCT ps;
        HDC hdc = BeginPaint(hwnd, &ps);
        RECT rc;
        GetClientRect(hwnd, &rc);
        HBRUSH brush = CreateSolidBrush(colour);
        FillRect(hdc, &rc, brush);
        DeleteObject(brush);
        EndPaint(hwnd, &ps);
        return 0;
    };
}

class SdlScreenTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        const char* display = std::getenv("DISPLAY");
        if (display == nullptr || *display == 0)
            GTEST_SKIP() << "no X server: DISPLAY is not set (xvfb-run could not start one)";
        ScreenOptions options;
        options.backend = ScreenBackendKind::kSdl;
        options.nScale = kScale;
        options.title = "sdl_screen_test";
        if (!InitScreen(options))
            GTEST_SKIP() << "no X server answers at DISPLAY=" << display
                         << ": SDL cannot open a window there";
        window_ = static_cast<SDL_Window*>(GetScreenNativeWindow());
        ASSERT_NE(window_, nullptr);
    }
    void TearDown() override {
        ShutdownScreen();
        WindowTest::TearDown();
    }

    // What the SDL window surface shows at a screen point (the middle of its scaled pixel).
    Uint32 Shown(int x, int y) {
        SDL_Surface* surface = SDL_GetWindowSurface(window_);
        if (surface == nullptr || SDL_LockSurface(surface) != 0) return 0xFFFFFFFF;
        const int sx = x * kScale + kScale / 2, sy = y * kScale + kScale / 2;
        Uint32 value = 0;
        const auto* row = static_cast<const Uint8*>(surface->pixels) + sy * surface->pitch;
        std::memcpy(&value, row + sx * surface->format->BytesPerPixel,
                    surface->format->BytesPerPixel);
        SDL_UnlockSurface(surface);
        Uint8 r, g, b;
        SDL_GetRGB(value, surface->format, &r, &g, &b);
        return (Uint32{r} << 16) | (Uint32{g} << 8) | b;
    }

    void PushButton(Uint32 type, Uint8 button, int x, int y) {
        SDL_Event e{};
        e.type = type;
        e.button.windowID = SDL_GetWindowID(window_);
        e.button.button = button;
        e.button.state = type == SDL_MOUSEBUTTONDOWN ? SDL_PRESSED : SDL_RELEASED;
        e.button.clicks = 1;
        e.button.x = x;
        e.button.y = y;
        ASSERT_EQ(SDL_PushEvent(&e), 1);
    }

    SDL_Window* window_ = nullptr;
};

TEST_F(SdlScreenTest, MouseEventsBecomeMessagesAndDrawingIsPresented) {
    int w = 0, h = 0;
    SDL_GetWindowSize(window_, &w, &h);
    EXPECT_EQ(w, 240 * kScale);
    EXPECT_EQ(h, 320 * kScale);

    Handler paint = Painter(RGB(248, 0, 0));
    HWND hwnd =
        MakeWindow("TestWindow", WS_POPUP | WS_VISIBLE, {10, 20, 110, 120}, nullptr, &paint);
    ASSERT_TRUE(WaitFor([&] { return Shown(50, 60) == 0xFF0000; })) << std::hex << Shown(50, 60);
    EXPECT_EQ(Shown(5, 5), 0x008484u);   // the desktop, its 5-bit fields widened
    EXPECT_EQ(Shown(5, 310), 0xC6C6C6u); // the taskbar's face

    // A press and release pushed as SDL events; window pixels are scale x screen pixels.
    PushButton(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT, 30 * kScale + 1, 40 * kScale + 1);
    PushButton(SDL_MOUSEBUTTONUP, SDL_BUTTON_LEFT, 30 * kScale + 1, 40 * kScale + 1);
    ASSERT_TRUE(WaitFor([&] { return !Log().Of(hwnd, WM_LBUTTONUP).empty(); }));
    auto down = Log().Of(hwnd, WM_LBUTTONDOWN);
    ASSERT_EQ(down.size(), 1u);
    EXPECT_EQ(down[0].lParam, MAKELPARAM(20, 20));
    EXPECT_EQ(down[0].wParam, MK_LBUTTON);
    PushButton(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_RIGHT, 90 * kScale, 100 * kScale);
    ASSERT_TRUE(WaitFor([&] { return !Log().Of(hwnd, WM_RBUTTONDOWN).empty(); }));
    EXPECT_EQ(Log().Of(hwnd, WM_RBUTTONDOWN)[0].lParam, MAKELPARAM(80, 80));

    // Moving the X pointer makes the X server send real motion events.
    SDL_WarpMouseInWindow(window_, 60 * kScale, 70 * kScale);
    ASSERT_TRUE(WaitFor([&] {
        for (const Received& r : Log().Of(hwnd, WM_MOUSEMOVE))
            if (r.lParam == MAKELPARAM(50, 50)) return true;
        return false;
    }));

    // Nothing changes, nothing is presented; a drawing is presented once.
    WaitFor([] { return false; }, 150);
    const std::uint64_t idle = GetScreenPresentCount();
    WaitFor([] { return false; }, 150);
    EXPECT_EQ(GetScreenPresentCount(), idle);
    HDC hdc = GetDC(hwnd);
    HBRUSH blue = CreateSolidBrush(RGB(0, 0, 248));
    RECT rc{0, 0, 10, 10};
    FillRect(hdc, &rc, blue);
    DeleteObject(blue);
    ReleaseDC(hwnd, hdc);
    ASSERT_TRUE(WaitFor([&] { return Shown(15, 25) == 0x0000FF; }));
    EXPECT_EQ(GetScreenPresentCount(), idle + 1);
    EXPECT_EQ(Shown(50, 60), 0xFF0000u);
}

TEST_F(SdlScreenTest, KeysGoToTheFocusWindow) {
    HWND hwnd = MakeWindow("TestWindow", WS_POPUP | WS_VISIBLE, {0, 0, 100, 100});
    ASSERT_EQ(GetFocus(), hwnd);
    SDL_Event e{};
    e.type = SDL_KEYDOWN;
    e.key.windowID = SDL_GetWindowID(window_);
    e.key.state = SDL_PRESSED;
    e.key.keysym.sym = SDLK_a;
    e.key.keysym.scancode = SDL_SCANCODE_A;
    SDL_PushEvent(&e);
    e.type = SDL_KEYUP;
    e.key.state = SDL_RELEASED;
    e.key.keysym.sym = SDLK_RETURN;
    SDL_PushEvent(&e);
    ASSERT_TRUE(WaitFor([&] { return !Log().Of(hwnd, WM_KEYUP).empty(); }));
    ASSERT_EQ(Log().Of(hwnd, WM_KEYDOWN).size(), 1u);
    EXPECT_EQ(Log().Of(hwnd, WM_KEYDOWN)[0].wParam, WPARAM{'A'});
    EXPECT_EQ(Log().Of(hwnd, WM_KEYUP)[0].wParam, WPARAM{VK_RETURN});
}

TEST_F(SdlScreenTest, ClosingTheWindowClosesTheMainWindowThenQuits) {
    // A hidden helper window first, as the single-instance check makes one; the main
    // window is the first one shown.
    HWND helper = MakeWindow("TestWindow", WS_POPUP, {-10, -10, -5, -5});
    HWND main = MakeWindow("TestWindow", WS_POPUP | WS_VISIBLE, {0, 0, 100, 100});
    MakeWindow("TestWindow", WS_POPUP | WS_VISIBLE, {100, 100, 150, 150});
    SDL_Event e{};
    e.type = SDL_WINDOWEVENT;
    e.window.event = SDL_WINDOWEVENT_CLOSE;
    e.window.windowID = SDL_GetWindowID(window_);
    SDL_PushEvent(&e);
    ASSERT_TRUE(WaitFor([&] { return !IsWindow(main); }));
    EXPECT_EQ(Log().Of(main, WM_CLOSE).size(), 1u);
    EXPECT_TRUE(Log().Of(helper, WM_CLOSE).empty());

    // With no window shown any more, closing ends the message loop.
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND hwnd, LPARAM) {
            DestroyWindow(hwnd);
            return TRUE;
        },
        0);
    SDL_PushEvent(&e);
    bool fQuit = false;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (!fQuit && std::chrono::steady_clock::now() < until) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        MSG msg;
        while (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE))
            fQuit = fQuit || msg.message == WM_QUIT;
    }
    EXPECT_TRUE(fQuit);
}

} // namespace
} // namespace host::test
