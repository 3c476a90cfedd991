#include "host/screen.h"
#include "host/screen_internal.h"

#include "host/clock.h"
#include "host/debug.h"
#include "host/gdi.h"
#include "host/startup_trace.h"
#include "host/window.h"
#include "host/window_test_support.h"
#include "tests/support/png_picture.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace host::test {
namespace {

// Colours every depth shows exactly (16 bits keep the top five bits of each field).
constexpr COLORREF kRed = RGB(248, 0, 0);
constexpr COLORREF kGreen = RGB(0, 248, 0);
constexpr COLORREF kBlue = RGB(0, 0, 248);
constexpr COLORREF kYellow = RGB(248, 248, 0);
const COLORREF kDesktop = GetSysColor(COLOR_BACKGROUND);

// Paints the whole client area in *pColour on WM_PAINT.
Handler Painter(const COLORREF* pColour) {
    return [pColour](HWND hwnd, UINT msg, WPARAM, LPARAM) -> std::optional<LRESULT> {
        if (msg != WM_PAINT) return std::nullopt;
        PAINTSTRUCT ps;
        HDC hdc = BeginPaint(hwnd, &ps);
        RECT rc;
        GetClientRect(hwnd, &rc);
        HBRUSH brush = CreateSolidBrush(*pColour);
        FillRect(hdc, &rc, brush);
        DeleteObject(brush);
        EndPaint(hwnd, &ps);
        return 0;
    };
}

// The colour as the screen shows it.
COLORREF Shown(COLORREF cr) {
    HDC hdc = GetDC(nullptr);
    COLORREF shown = GetNearestColor(hdc, cr);
    ReleaseDC(nullptr, hdc);
    return shown;
}

void Fill(HDC hdc, RECT rc, COLORREF cr) {
    HBRUSH brush = CreateSolidBrush(cr);
    FillRect(hdc, &rc, brush);
    DeleteObject(brush);
}

// Handles the queue and brings the screen up to date.
void Settle() {
    Pump();
    PresentScreen();
}

class ScreenTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        Start(16);
    }
    void TearDown() override {
        ShutdownScreen();
        WindowTest::TearDown();
    }
    void Start(UINT nDepth, ScreenProfile profile = ScreenProfile::kDevice, int nScale = 1) {
        ShutdownScreen();
        ScreenOptions options;
        options.backend = ScreenBackendKind::kHeadless;
        options.profile = profile;
        options.nDepth = nDepth;
        options.nScale = nScale;
        ASSERT_TRUE(InitScreen(options));
    }
    VirtualClockScope clock_;
};

TEST_F(ScreenTest, TopLevelWindowsComposeInZOrderOverTheDesktop) {
    COLORREF red = kRed, green = kGreen;
    Handler paintA = Painter(&red), paintB = Painter(&green);
    HWND a = MakeWindow("TestWindow", WS_POPUP | WS_VISIBLE, {10, 10, 110, 110}, nullptr, &paintA);
    HWND b = MakeWindow("TestWindow", WS_POPUP | WS_VISIBLE, {60, 60, 160, 160}, nullptr, &paintB);
    Settle();
    struct Case {
        POINT pt;
        COLORREF expected;
    };
    const Case before[] = {{{20, 20}, kRed},
                           {{80, 80}, kGreen},
                           {{150, 150}, kGreen},
                           {{200, 30}, kDesktop},
                           {{5, 5}, kDesktop}};
    for (const Case& c : before)
        EXPECT_EQ(GetScreenPixel(c.pt.x, c.pt.y), Shown(c.expected)) << c.pt.x << "," << c.pt.y;
    SetActiveWindow(a); // comes to the front and repaints
    Settle();
    EXPECT_EQ(GetScreenPixel(80, 80), kRed);
    EXPECT_EQ(GetScreenPixel(150, 150), kGreen);
    // b repainting all of itself stays beneath a.
    InvalidateRect(b, nullptr, TRUE);
    Settle();
    EXPECT_EQ(GetScreenPixel(80, 80), kRed);
    EXPECT_EQ(GetScreenPixel(150, 150), kGreen);
    // Hiding uncovers the desktop and what lay beneath.
    ShowWindow(a, SW_HIDE);
    Settle();
    EXPECT_EQ(GetScreenPixel(20, 20), Shown(kDesktop));
    EXPECT_EQ(GetScreenPixel(80, 80), kGreen);
    // Moving leaves the desktop behind.
    SetWindowPos(b, nullptr, 100, 100, 100, 100, SWP_NOZORDER);
    Settle();
    EXPECT_EQ(GetScreenPixel(80, 80), Shown(kDesktop));
    EXPECT_EQ(GetScreenPixel(190, 190), kGreen);
}

TEST_F(ScreenTest, CaptionBarShowsTheTitleAndActivationAndItsCloseBoxCloses) {
    COLORREF white = RGB(248, 248, 248);
    Handler paint = Painter(&white);
    HWND hwnd = MakeWindow("TestWindow", WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU,
                           {20, 40, 220, 200}, nullptr, &paint, "Hello");
    Settle();
    RECT caption, close;
    ASSERT_TRUE(GetCaptionRects(hwnd, &caption, &close));
    const COLORREF active = GetSysColor(COLOR_ACTIVECAPTION);
    EXPECT_EQ(GetScreenPixel(21, 41), active);
    EXPECT_EQ(GetScreenPixel(20 + 60, 40 + CAPTION_HEIGHT), white); // the client starts below
    // The title is drawn in the caption text colour over the bar's left part.
    int cTitle = 0;
    for (int y = 40; y < 40 + CAPTION_HEIGHT; ++y)
        for (int x = 24; x < 20 + close.left; ++x)
            cTitle += GetScreenPixel(x, y) != active;
    EXPECT_GT(cTitle, 20);
    // The close box is a raised button face.
    const POINT box{20 + (close.left + close.right) / 2, 40 + (close.top + close.bottom) / 2};
    EXPECT_EQ(GetScreenPixel(box.x - 6, box.y), GetSysColor(COLOR_BTNFACE));

    // Another window takes the activation: the bar turns inactive.
    HWND other = MakeWindow("TestWindow", WS_POPUP | WS_VISIBLE, {0, 250, 10, 260});
    Settle();
    EXPECT_EQ(GetScreenPixel(21, 41), GetSysColor(COLOR_INACTIVECAPTION));
    DestroyWindow(other);

    // Pressing on the bar elsewhere closes nothing; a click on the close box does.
    PostMouseInput({30, 50}, MouseAction::kLeftDown);
    PostMouseInput({30, 50}, MouseAction::kLeftUp);
    Settle();
    EXPECT_TRUE(IsWindow(hwnd));
    PostMouseInput(box, MouseAction::kLeftDown);
    PostMouseInput(box, MouseAction::kLeftUp);
    Settle();
    EXPECT_EQ(Log().Of(hwnd, WM_CLOSE).size(), 1u);
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_EQ(GetScreenPixel(21, 41), Shown(kDesktop));
}

TEST_F(ScreenTest, WindowRegionsShapeDrawingAndInput) {
    COLORREF green = kGreen, red = kRed;
    Handler paintBelow = Painter(&green), paintAbove = Painter(&red);
    HWND below =
        MakeWindow("TestWindow", WS_POPUP | WS_VISIBLE, {0, 0, 200, 200}, nullptr, &paintBelow);
    HWND above =
        MakeWindow("TestWindow", WS_POPUP | WS_VISIBLE, {50, 50, 150, 150}, nullptr, &paintAbove);
    // An L: the top half, and the left half of the bottom half (window coordinates).
    const RECT parts[] = {{0, 0, 100, 50}, {0, 50, 50, 100}};
    HRGN shape = CreateRectRgnIndirect(&parts[0]);
    HRGN leg = CreateRectRgnIndirect(&parts[1]);
    CombineRgn(shape, shape, leg, RGN_OR);
    DeleteObject(leg);
    ASSERT_NE(SetWindowRgn(above, shape, TRUE), 0);
    Settle();

    struct Case {
        POINT pt;
        COLORREF colour;
        HWND target;
    };
    const Case cases[] = {
        {{60, 60}, kRed, above},     {{140, 60}, kRed, above},    {{60, 140}, kRed, above},
        {{140, 140}, kGreen, below}, {{110, 120}, kGreen, below}, {{20, 20}, kGreen, below},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(GetScreenPixel(c.pt.x, c.pt.y), c.colour) << c.pt.x << "," << c.pt.y;
        EXPECT_EQ(PostMouseInput(c.pt, MouseAction::kMove), c.target) << c.pt.x << "," << c.pt.y;
    }
    // Drawing on the shaped window stays inside the shape.
    HDC hdc = GetDC(above);
    Fill(hdc, {0, 0, 100, 100}, kBlue);
    ReleaseDC(above, hdc);
    EXPECT_EQ(GetScreenPixel(60, 60), kBlue);
    EXPECT_EQ(GetScreenPixel(140, 140), kGreen);

    HRGN copy = CreateRectRgn(0, 0, 0, 0);
    EXPECT_EQ(GetWindowRgn(above, copy), COMPLEXREGION);
    EXPECT_EQ(GetRegionRects(copy).size(), 2u);
    EXPECT_EQ(GetWindowRgn(below, copy), ERROR);
    DeleteObject(copy);

    // Without the region the whole rectangle is the window's again.
    ASSERT_NE(SetWindowRgn(above, nullptr, TRUE), 0);
    Settle();
    EXPECT_EQ(GetScreenPixel(140, 140), kRed);
    EXPECT_EQ(PostMouseInput({140, 140}, MouseAction::kMove), above);
    Pump();
}

TEST_F(ScreenTest, WindowContextsAreClippedByWhatLiesAboveAndFollowTheWindows) {
    HWND a = MakeWindow("TestWindow", WS_POPUP | WS_VISIBLE | WS_CAPTION, {0, 0, 200, 200});
    HWND b = MakeWindow("TestWindow", WS_POPUP | WS_VISIBLE, {100, 100, 220, 220});
    Settle();
    HDC hdc = GetDC(a);
    ASSERT_NE(hdc, nullptr);
    Fill(hdc, {0, 0, 200, 200}, kBlue);
    // Client coordinates start below the caption bar; b and the caption are spared.
    EXPECT_EQ(GetScreenPixel(50, CAPTION_HEIGHT), kBlue);
    EXPECT_NE(GetScreenPixel(50, CAPTION_HEIGHT - 1), kBlue);
    EXPECT_NE(GetScreenPixel(150, 150), kBlue);
    RECT box;
    EXPECT_EQ(GetClipBox(hdc, &box), COMPLEXREGION);

    // The same context follows when b moves away and when a moves.
    SetWindowPos(b, nullptr, 220, 0, 10, 10, SWP_NOZORDER | SWP_NOACTIVATE);
    Fill(hdc, {0, 0, 200, 200}, kYellow);
    EXPECT_EQ(GetScreenPixel(150, 150), kYellow);
    SetWindowPos(a, nullptr, 10, 20, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    SetPixel(hdc, 0, 0, kRed);
    EXPECT_EQ(GetScreenPixel(10, 20 + CAPTION_HEIGHT), kRed);

    // The window context includes the caption bar.
    Settle();
    HDC hdcWindow = GetWindowDC(a);
    SetPixel(hdcWindow, 1, 1, kGreen);
    EXPECT_EQ(GetScreenPixel(11, 21), kGreen);

    EXPECT_EQ(ReleaseDC(b, hdc), 0); // not b's
    EXPECT_EQ(ReleaseDC(a, hdc), 1);
    EXPECT_EQ(ReleaseDC(a, hdc), 0);
    // A destroyed window's contexts stop working, and so do its children's.
    HWND child = MakeWindow("TestWindow", WS_CHILD | WS_VISIBLE, {0, 0, 10, 10}, a);
    HDC hdcChild = GetDC(child);
    EXPECT_NE(SetPixel(hdcChild, 1, 1, kRed), CLR_INVALID);
    DestroyWindow(a);
    EXPECT_EQ(SetPixel(hdcWindow, 1, 1, kRed), CLR_INVALID);
    EXPECT_EQ(SetPixel(hdcChild, 1, 1, kRed), CLR_INVALID);
    EXPECT_EQ(ReleaseDC(a, hdcWindow), 0);
    EXPECT_EQ(GetDC(a), nullptr);
}

TEST_F(ScreenTest, ChildrenAreClippedToTheParentAndSiblingsAbove) {
    struct Case {
        DWORD parentStyle;
        bool fParentCoversChild;
    };
    for (const Case& c : {Case{0, true}, Case{WS_CLIPCHILDREN, false}}) {
        HWND parent =
            MakeWindow("TestWindow", WS_POPUP | WS_VISIBLE | c.parentStyle, {0, 0, 100, 100});
        HWND child = MakeWindow("TestWindow", WS_CHILD | WS_VISIBLE, {50, 50, 150, 150}, parent);
        HWND sibling = MakeWindow("TestWindow", WS_CHILD | WS_VISIBLE, {60, 60, 70, 70}, parent);
        Settle();
        HDC hdc = GetDC(child);
        Fill(hdc, {0, 0, 100, 100}, kRed);
        ReleaseDC(child, hdc);
        EXPECT_EQ(GetScreenPixel(55, 55), kRed);
        EXPECT_NE(GetScreenPixel(65, 65), kRed);   // the sibling created later is above
        EXPECT_NE(GetScreenPixel(120, 120), kRed); // outside the parent
        hdc = GetDC(parent);
        Fill(hdc, {0, 0, 100, 100}, kGreen);
        ReleaseDC(parent, hdc);
        EXPECT_EQ(GetScreenPixel(55, 55) == kGreen, c.fParentCoversChild);
        DestroyWindow(parent);
        (void)sibling;
    }
}

TEST_F(ScreenTest, ATransparentSiblingDoesNotClipTheOnesBelowIt) {
    for (DWORD exStyle : {DWORD{0}, WS_EX_TRANSPARENT}) {
        HWND parent = MakeWindow("TestWindow", WS_POPUP | WS_VISIBLE, {0, 0, 100, 100});
        HWND child = MakeWindow("TestWindow", WS_CHILD | WS_VISIBLE, {10, 10, 60, 60}, parent);
        CreateWindowEx(exStyle, "TestWindow", "", WS_CHILD | WS_VISIBLE, 0, 0, 40, 40, parent,
                       nullptr, nullptr, nullptr);
        Settle();
        HDC hdc = GetDC(child);
        Fill(hdc, {0, 0, 50, 50}, kRed);
        ReleaseDC(child, hdc);
        EXPECT_EQ(GetScreenPixel(20, 20) == kRed, exStyle != 0) << exStyle;
        EXPECT_EQ(GetScreenPixel(50, 50), kRed);
        DestroyWindow(parent);
    }
}

TEST_F(ScreenTest, InvalidationRepaintsThroughPaintWithinTheUpdateRectangle) {
    WNDCLASSA cls{};
    cls.lpfnWndProc = TestProc;
    cls.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<std::intptr_t>(COLOR_BTNFACE + 1));
    cls.lpszClassName = "ScreenErased";
    RegisterClass(&cls);
    // Paints a red square at *pAt over the erased background.
    POINT at{10, 10};
    Handler paint = [&at](HWND hwnd, UINT msg, WPARAM, LPARAM) -> std::optional<LRESULT> {
        if (msg != WM_PAINT) return std::nullopt;
        PAINTSTRUCT ps;
        HDC hdc = BeginPaint(hwnd, &ps);
        Fill(hdc, {at.x, at.y, at.x + 20, at.y + 20}, kRed);
        EndPaint(hwnd, &ps);
        return 0;
    };
    HWND hwnd =
        MakeWindow("ScreenErased", WS_POPUP | WS_VISIBLE, {0, 0, 200, 200}, nullptr, &paint);
    Settle();
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    EXPECT_EQ(GetScreenPixel(15, 15), kRed);
    EXPECT_EQ(GetScreenPixel(50, 15), face);

    // Only the invalid part is painted: the square moves, its old place is erased.
    RECT old{at.x, at.y, at.x + 20, at.y + 20};
    at = {100, 100};
    RECT now{100, 100, 120, 120};
    InvalidateRect(hwnd, &old, TRUE);
    InvalidateRect(hwnd, &now, TRUE);
    EXPECT_EQ(GetScreenPixel(105, 105), face); // nothing before the paint
    Settle();
    EXPECT_EQ(GetScreenPixel(15, 15), face);
    EXPECT_EQ(GetScreenPixel(105, 105), kRed);
    // A paint of a part leaves the rest alone even when the window draws everywhere.
    at = {0, 0};
    RECT part{0, 0, 5, 5};
    InvalidateRect(hwnd, &part, FALSE);
    Settle();
    EXPECT_EQ(GetScreenPixel(2, 2), kRed);
    EXPECT_EQ(GetScreenPixel(7, 7), face);
    EXPECT_EQ(GetScreenPixel(105, 105), kRed);
    DestroyWindow(hwnd);
    UnregisterClass("ScreenErased", nullptr);
}

TEST_F(ScreenTest, ProfilesGiveTheirMetricsAndWorkArea) {
    struct Case {
        ScreenProfile profile;
        int cx, cy;
        RECT work;
        UINT nDepth;
    };
    const Case cases[] = {
        {ScreenProfile::kDevice, 240, 320, {0, 0, 240, 320 - TASKBAR_HEIGHT}, 16},
        {ScreenProfile::kDesktop, 800, 600, {0, 0, 800, 600}, 32},
    };
    for (const Case& c : cases) {
        ShutdownScreen();
        ScreenOptions options;
        options.backend = ScreenBackendKind::kHeadless;
        options.profile = c.profile;
        ASSERT_TRUE(InitScreen(options));
        EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), c.cx);
        EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), c.cy);
        EXPECT_EQ(GetSystemMetrics(SM_CYCAPTION), CAPTION_HEIGHT);
        RECT work{};
        ASSERT_TRUE(SystemParametersInfo(SPI_GETWORKAREA, 0, &work, 0));
        EXPECT_TRUE(EqualRect(&work, &c.work));
        EXPECT_EQ(GetScreenOptions().nDepth, c.nDepth);
        HDC hdc = GetDC(nullptr);
        EXPECT_EQ(GetDeviceCaps(hdc, BITSPIXEL), static_cast<int>(c.nDepth));
        EXPECT_EQ(GetDeviceCaps(hdc, HORZRES), c.cx);
        ReleaseDC(nullptr, hdc);
        EXPECT_EQ(GetDisplayFormat().cy, c.cy);
        EXPECT_EQ(IsTaskbarShown(), c.profile == ScreenProfile::kDevice);
    }
    EXPECT_FALSE(SystemParametersInfo(0x1234, 0, nullptr, 0));
    ScreenOptions bad;
    bad.backend = ScreenBackendKind::kHeadless;
    EXPECT_FALSE(InitScreen(bad)); // one screen at a time
    ShutdownScreen();
    for (UINT depth : {1u, 24u}) {
        bad.nDepth = depth;
        EXPECT_FALSE(InitScreen(bad)) << depth;
    }
}

TEST_F(ScreenTest, TheTaskbarShowsTheTimeTakesNoInputAndHidesForAFullScreenWindow) {
    COLORREF white = RGB(248, 248, 248);
    Handler paint = Painter(&white);
    HWND hwnd = MakeWindow("TestWindow", WS_POPUP | WS_VISIBLE, {0, 0, 240, 320}, nullptr, &paint);
    Settle();
    const int top = 320 - TASKBAR_HEIGHT;
    EXPECT_EQ(GetScreenPixel(5, top + 10), GetSysColor(COLOR_BTNFACE));
    EXPECT_EQ(GetScreenPixel(5, top - 1), white);
    EXPECT_EQ(PostMouseInput({5, top + 10}, MouseAction::kMove), nullptr);
    EXPECT_EQ(PostMouseInput({5, top - 1}, MouseAction::kMove), hwnd);

    // The clock: nothing changes within the minute; the next minute redraws it.
    auto clockPixels = [&] {
        std::vector<COLORREF> pixels;
        for (int y = top; y < 320; ++y)
            for (int x = 180; x < 240; ++x)
                pixels.push_back(GetScreenPixel(x, y));
        return pixels;
    };
    const std::vector<COLORREF> before = clockPixels();
    EXPECT_NE(std::count(before.begin(), before.end(), GetSysColor(COLOR_BTNTEXT)), 0);
    EXPECT_FALSE(PresentScreen());
    AdvanceVirtualClock(60000 - GetTickCount() % 60000 - 1);
    EXPECT_FALSE(PresentScreen());
    AdvanceVirtualClock(1);
    EXPECT_TRUE(PresentScreen());
    EXPECT_NE(clockPixels(), before);

    // Full screen over the taskbar while the window is active; the taskbar returns after.
    ASSERT_TRUE(SetFullScreen(hwnd, true));
    Settle();
    EXPECT_FALSE(IsTaskbarShown());
    EXPECT_EQ(GetScreenPixel(5, top + 10), white);
    EXPECT_EQ(PostMouseInput({5, top + 10}, MouseAction::kMove), hwnd);
    HWND other = MakeWindow("TestWindow", WS_POPUP | WS_VISIBLE, {0, 0, 10, 10});
    Settle();
    EXPECT_TRUE(IsTaskbarShown());
    EXPECT_EQ(GetScreenPixel(5, top + 10), GetSysColor(COLOR_BTNFACE));
    SetActiveWindow(hwnd);
    Settle();
    EXPECT_FALSE(IsTaskbarShown());
    ASSERT_TRUE(SetFullScreen(hwnd, false));
    Settle();
    EXPECT_TRUE(IsTaskbarShown());
    RECT rc;
    GetWindowRect(hwnd, &rc);
    RECT work{0, 0, 240, top};
    EXPECT_TRUE(EqualRect(&rc, &work));
    DestroyWindow(other);
}

TEST_F(ScreenTest, AnEightBitScreenFollowsTheRealisedPalette) {
    Start(8);
    PALETTEENTRY original[256];
    GetSystemPaletteEntries(nullptr, 0, 256, original);
    HWND hwnd = MakeWindow("TestWindow", WS_POPUP | WS_VISIBLE, {0, 0, 100, 100});
    Settle();

    std::vector<BYTE> storage(sizeof(LOGPALETTE) + 256 * sizeof(PALETTEENTRY));
    auto* lp = reinterpret_cast<LOGPALETTE*>(storage.data());
    lp->palVersion = 0x300;
    lp->palNumEntries = 256;
    for (int i = 0; i < 256; ++i)
        lp->palPalEntry[i] = {BYTE(i), BYTE(255 - i), BYTE(i / 2), 0};
    lp->palPalEntry[77] = {10, 200, 30, 0};
    HPALETTE palette = CreatePalette(lp);
    HDC hdc = GetDC(hwnd);
    SelectPalette(hdc, palette, FALSE);
    EXPECT_GT(RealizePalette(hdc), 200u);
    EXPECT_EQ(RealizePalette(hdc), 0u); // nothing left to change
    // The window manager's own parts are drawn again in the new colours.
    EXPECT_EQ(GetScreenPixel(120, 315), Shown(GetSysColor(COLOR_BTNFACE)));
    Fill(hdc, {0, 0, 10, 10}, RGB(10, 200, 30));
    EXPECT_EQ(GetScreenPixel(5, 5), RGB(10, 200, 30));
    PALETTEENTRY entry;
    GetSystemPaletteEntries(nullptr, 77, 1, &entry);
    EXPECT_EQ(entry.peGreen, 200);
    EXPECT_TRUE(PresentScreen());
    EXPECT_EQ(GetPresentedPixel(5, 5), 0x000AC81Eu);

    // Changing the palette recolours what is on the screen without drawing.
    PALETTEENTRY blue{0, 0, 250, 0};
    SetPaletteEntries(palette, 77, 1, &blue);
    EXPECT_EQ(RealizePalette(hdc), 1u);
    EXPECT_TRUE(PresentScreen());
    EXPECT_EQ(GetPresentedPixel(5, 5), 0x000000FAu);
    EXPECT_EQ(GetScreenPixel(5, 5), RGB(0, 0, 250));

    // A short palette lands after the ten static colours.
    lp->palNumEntries = 2;
    lp->palPalEntry[0] = {1, 2, 3, 0};
    lp->palPalEntry[1] = {4, 5, 6, 0};
    HPALETTE small = CreatePalette(lp);
    SelectPalette(hdc, small, FALSE);
    RealizePalette(hdc);
    PALETTEENTRY entries[12];
    GetSystemPaletteEntries(nullptr, 0, 12, entries);
    EXPECT_EQ(entries[10].peRed, 1);
    EXPECT_EQ(entries[11].peBlue, 6);
    EXPECT_EQ(entries[0].peRed, 0);
    ReleaseDC(hwnd, hdc);
    DeleteObject(small);
    DeleteObject(palette);

    // Stopping gives the display its palette back.
    ShutdownScreen();
    GetSystemPaletteEntries(nullptr, 77, 1, &entry);
    EXPECT_EQ(entry.peRed, original[77].peRed);
    EXPECT_EQ(entry.peGreen, original[77].peGreen);
    Start(16);
}

TEST_F(ScreenTest, PresentationOnlyWhenSomethingChangedAtTheScale) {
    Start(16, ScreenProfile::kDevice, 2);
    Settle();
    EXPECT_FALSE(PresentScreen());
    const std::uint64_t count = GetScreenPresentCount();
    HDC hdc = GetDC(nullptr);
    Fill(hdc, {10, 10, 12, 12}, RGB(255, 255, 255));
    ReleaseDC(nullptr, hdc);
    EXPECT_EQ(GetScreenPixel(10, 10), RGB(248, 248, 248));
    EXPECT_TRUE(PresentScreen());
    EXPECT_EQ(GetScreenPresentCount(), count + 1);
    EXPECT_FALSE(PresentScreen());
    // Five-bit fields widen to full white; each pixel covers scale x scale.
    for (POINT pt : {POINT{20, 20}, POINT{21, 21}, POINT{23, 23}})
        EXPECT_EQ(GetPresentedPixel(pt.x, pt.y), 0x00FFFFFFu) << pt.x;
    EXPECT_NE(GetPresentedPixel(24, 24), 0x00FFFFFFu);
    EXPECT_EQ(GetPresentedPixel(480, 0), 0xFFFFFFFFu);
    EXPECT_EQ(GetScreenPixel(240, 0), CLR_INVALID);
}

// The start-up trace: nothing written while the variable is unset; once set, a program's
// marks and the screen's first presented frame (and only the first) in order, with a clock
// that runs forward.
TEST_F(ScreenTest, StartupTraceMarksTheFirstPresentedFrameOnlyWhenAsked) {
    const testsupport::TempFolder folder("kelvano-trace");
    const std::string path = folder.File("trace.txt");
    auto paint = [](COLORREF cr) {
        HDC hdc = GetDC(nullptr);
        Fill(hdc, {0, 0, 8, 8}, cr);
        ReleaseDC(nullptr, hdc);
        EXPECT_TRUE(PresentScreen());
    };
    {
        const testsupport::ScopedEnv unset("KELVANO_TRACE_STARTUP", nullptr);
        Start(16);
        TraceStartup("main");
        paint(kRed);
    }
    EXPECT_FALSE(std::filesystem::exists(path));

    const testsupport::ScopedEnv trace("KELVANO_TRACE_STARTUP", path.c_str());
    Start(16);
    TraceStartup("main");
    paint(kGreen);
    paint(kBlue);
    TraceStartup("after");
    std::FILE* pFile = std::fopen(path.c_str(), "r");
    ASSERT_NE(pFile, nullptr);
    std::vector<std::string> marks;
    long long nLast = 0;
    char szMark[64];
    for (long long n = 0; std::fscanf(pFile, "%63s %lld", szMark, &n) == 2; nLast = n) {
        marks.push_back(szMark);
        EXPECT_GE(n, nLast) << szMark;
    }
    std::fclose(pFile);
    EXPECT_EQ(marks, (std::vector<std::string>{"main", "first-frame", "after"}));
}

TEST_F(ScreenTest, ScreenshotsReadBackAsTheScreenAtEveryDepth) {
    const testsupport::TempFolder folder("kelvano-screen");
    const std::string path = folder.File("shot.png");
    for (UINT depth : {8u, 16u, 32u}) {
        Start(depth);
        COLORREF colour = RGB(200, 100, 50);
        Handler paint = Painter(&colour);
        HWND hwnd = MakeWindow("TestWindow", WS_POPUP | WS_VISIBLE | WS_CAPTION, {30, 30, 130, 130},
                               nullptr, &paint, "Shot");
        Settle();
        ASSERT_TRUE(SaveScreenshot(path));
        const testsupport::Picture shot = testsupport::ReadPng(path);
        ASSERT_EQ(shot.cx, 240);
        ASSERT_EQ(shot.cy, 320);
        int cMismatch = 0;
        for (int y = 0; y < shot.cy; ++y)
            for (int x = 0; x < shot.cx; ++x)
                cMismatch += shot.At(x, y) != GetScreenPixel(x, y);
        EXPECT_EQ(cMismatch, 0) << depth;
        DestroyWindow(hwnd);
    }
    Start(16);
}

TEST_F(ScreenTest, OptionsComeFromTheEnvironment) {
    struct Case {
        const char* backend;
        const char* profile;
        const char* depth;
        const char* scale;
        ScreenBackendKind expectedBackend;
        ScreenProfile expectedProfile;
        UINT expectedDepth;
        int expectedScale;
        bool fWarned;
    };
    const Case cases[] = {
        {"", "", "", "", ScreenBackendKind::kAuto, ScreenProfile::kDesktop, 0, 0, false},
        {"headless", "device", "8", "3", ScreenBackendKind::kHeadless, ScreenProfile::kDevice, 8, 3,
         false},
        {"sdl", "desktop", "32", "1", ScreenBackendKind::kSdl, ScreenProfile::kDesktop, 32, 1,
         false},
        {"x11", "", "", "", ScreenBackendKind::kAuto, ScreenProfile::kDesktop, 0, 0, true},
        {"", "phone", "", "", ScreenBackendKind::kAuto, ScreenProfile::kDesktop, 0, 0, true},
        {"", "", "24", "", ScreenBackendKind::kAuto, ScreenProfile::kDesktop, 0, 0, true},
        {"", "", "", "0", ScreenBackendKind::kAuto, ScreenProfile::kDesktop, 0, 0, true},
        {"", "", "", "2x", ScreenBackendKind::kAuto, ScreenProfile::kDesktop, 0, 0, true},
    };
    testsupport::ScopedEnv backend("KELVANO_BACKEND", nullptr), profile("KELVANO_PROFILE", nullptr),
        depth("KELVANO_DEPTH", nullptr), scale("KELVANO_SCALE", nullptr);
    for (const Case& c : cases) {
        backend.Set(c.backend);
        profile.Set(c.profile);
        depth.Set(c.depth);
        scale.Set(c.scale);
        DebugCapture capture;
        ScreenOptions defaults;
        defaults.profile = ScreenProfile::kDesktop;
        ScreenOptions o = ScreenOptionsFromEnvironment(defaults);
        EXPECT_EQ(o.backend, c.expectedBackend) << c.backend;
        EXPECT_EQ(o.profile, c.expectedProfile) << c.profile;
        EXPECT_EQ(o.nDepth, c.expectedDepth) << c.depth;
        EXPECT_EQ(o.nScale, c.expectedScale) << c.scale;
        EXPECT_EQ(capture.Text().find("ignoring") != std::string::npos, c.fWarned)
            << capture.Text();
    }
}

TEST_F(ScreenTest, WithoutADisplayAutoFallsBackToHeadlessAndSdlFails) {
    ShutdownScreen();
    const testsupport::ScopedEnv display("DISPLAY", nullptr), wayland("WAYLAND_DISPLAY", nullptr);
    ScreenOptions options;
    options.backend = ScreenBackendKind::kSdl;
    EXPECT_FALSE(InitScreen(options));
    options.backend = ScreenBackendKind::kAuto;
    ASSERT_TRUE(InitScreen(options));
    EXPECT_EQ(GetScreenOptions().backend, ScreenBackendKind::kHeadless);
    EXPECT_EQ(GetScreenOptions().nScale, 1);
    EXPECT_EQ(GetScreenNativeWindow(), nullptr);
}

} // namespace
} // namespace host::test

// The device window's scale from the desktop: the largest factor that leaves a tenth free.
TEST(ScreenScale, FitsTheDesktop) {
    struct CASE {
        int cxArea, cyArea, nScale;
    } aCases[] = {
        {1920, 1040, 2}, // a common monitor less its panel
        {2560, 1400, 3}, {3840, 2120, 5},
        {1366, 728, 2},  {1024, 600, 1}, // too small for 2: still 1
        {0, 0, 1},       {20000, 20000, 8},
    };
    for (const CASE& c : aCases)
        EXPECT_EQ(host::scr::FittingScale(240, 320, c.cxArea, c.cyArea), c.nScale)
            << c.cxArea << " x " << c.cyArea;
}
