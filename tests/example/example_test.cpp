// The example program run headless on the virtual clock: its screenshot is checked against
// the scene drawn straight into a bitmap and against the rules of the scene.
#include "tests/example/example.h"

#include "host/clock.h"
#include "host/gdi.h"
#include "host/window.h"
#include "tests/support/png_picture.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using namespace host;

using testsupport::Picture;
using testsupport::ReadPng;

// The example's screenshot after cFrames frames (16-bit device screen, headless).
Picture RunFor(int cFrames) {
    const testsupport::TempFolder folder("kelvano-example");
    const std::string path = folder.File("shot.png");
    VirtualClockScope clock;
    SetVirtualClockAutoAdvance(true);
    ScreenOptions options;
    options.backend = ScreenBackendKind::kHeadless;
    EXPECT_EQ(example::RunExample(options, cFrames, path), 0);
    return ReadPng(path);
}

// The scene drawn into a 16-bit bitmap of the client's size.
Picture Reference(const RECT& client, int frame) {
    BITMAPINFO bi{};
    bi.bmiHeader = {
        sizeof(BITMAPINFOHEADER), client.right, -client.bottom, 1, 16, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP hbm = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits);
    HDC hdc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(hdc, static_cast<HGDIOBJ>(hbm));
    example::PaintScene(hdc, client, frame);
    Picture picture{client.right, client.bottom, {}};
    for (int y = 0; y < client.bottom; ++y)
        for (int x = 0; x < client.right; ++x)
            picture.pixels.push_back(GetPixel(hdc, x, y));
    SelectObject(hdc, old);
    DeleteDC(hdc);
    DeleteObject(hbm);
    return picture;
}

constexpr int kTop = CAPTION_HEIGHT;               // the client area's top on the screen
constexpr int kBottom = 320 - TASKBAR_HEIGHT;      // the work area's bottom
constexpr RECT kClient{0, 0, 240, kBottom - kTop}; // client coordinates

TEST(ExampleProgram, ScreenshotShowsTheSceneUnderACaptionAboveTheTaskbar) {
    const int cFrames = 12;
    Picture shot = RunFor(cFrames);
    ASSERT_EQ(shot.cx, 240);
    ASSERT_EQ(shot.cy, 320);

    // The client area is the scene, pixel for pixel.
    Picture reference = Reference(kClient, cFrames);
    int cMismatch = 0;
    for (int y = 0; y < kClient.bottom; ++y)
        for (int x = 0; x < kClient.right; ++x)
            cMismatch += shot.At(x, y + kTop) != reference.At(x, y);
    EXPECT_EQ(cMismatch, 0);

    // The scene's rules: the rectangle where frame 12 puts it, text only in its band.
    const RECT rect = example::RectangleAt(cFrames, kClient);
    EXPECT_EQ(rect.left, 8 + cFrames * example::kStep);
    const RECT text = example::TextRect(kClient);
    int cInk = 0, cStray = 0;
    for (int y = 0; y < kClient.bottom; ++y) {
        for (int x = 0; x < kClient.right; ++x) {
            const COLORREF c = shot.At(x, y + kTop);
            const POINT pt{x, y};
            if (PtInRect(&rect, pt))
                cStray += c != example::kRectColour;
            else if (PtInRect(&text, pt))
                cInk += c != example::kBackground;
            else
                cStray += c != example::kBackground;
        }
    }
    EXPECT_EQ(cStray, 0);
    EXPECT_GT(cInk, 200);

    // The window is active: its caption bar, with the title, and the taskbar below.
    const COLORREF caption = GetSysColor(COLOR_ACTIVECAPTION);
    EXPECT_EQ(shot.At(1, 1), caption);
    int cTitle = 0;
    for (int y = 0; y < CAPTION_HEIGHT; ++y)
        for (int x = 0; x < 100; ++x)
            cTitle += shot.At(x, y) != caption;
    EXPECT_GT(cTitle, 20);
    EXPECT_EQ(shot.At(5, kBottom + 10), GetSysColor(COLOR_BTNFACE));
}

TEST(ExampleProgram, OnlyTheRectangleMovesBetweenFrames) {
    const int a = 5, b = 9;
    Picture first = RunFor(a), second = RunFor(b);
    ASSERT_EQ(first.pixels.size(), second.pixels.size());
    const RECT ra = example::RectangleAt(a, kClient), rb = example::RectangleAt(b, kClient);
    RECT moved{};
    UnionRect(&moved, &ra, &rb);
    OffsetRect(&moved, 0, kTop);
    int cChanged = 0, cOutside = 0;
    for (int y = 0; y < first.cy; ++y) {
        for (int x = 0; x < first.cx; ++x) {
            if (first.At(x, y) == second.At(x, y)) continue;
            ++cChanged;
            cOutside += !PtInRect(&moved, {x, y});
        }
    }
    EXPECT_EQ(cChanged, 2 * (b - a) * example::kStep * example::kRectHeight);
    EXPECT_EQ(cOutside, 0);
}

} // namespace
