// The skinned window's frame driven by real input: sizing by every edge and corner, the title
// bar, the shaped window's see-through corners, the minimise box, an animated control, and
// screenshots of DEZ at every screen depth.
#include "anim/cea_main.h"
#include "host/clock.h"
#include "host/screen.h"
#include "skin/skin_test_skin.h"
#include "skin/skin_window.h"
#include "skin/skin_window_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <memory>
#include <string>

namespace {

using namespace skintest;

constexpr int kResizable = 920;
constexpr int kEveryKind = 910;

INT_PTR QuietProc(HWND, UINT, WPARAM, LPARAM) {
    return 0;
}

RECT WindowRect(HWND hwnd) {
    RECT rc;
    host::GetWindowRect(hwnd, &rc);
    return rc;
}

std::array<LONG, 4> Edges(const RECT& rc) {
    return {rc.left, rc.top, rc.right, rc.bottom};
}

// Presses at pt, moves by (dx, dy) in two steps and releases there.
void Drag(POINT pt, int dx, int dy) {
    host::PostMouseInput(pt, host::MouseAction::kMove);
    host::PostMouseInput(pt, host::MouseAction::kLeftDown);
    PumpAll();
    host::PostMouseInput({pt.x + dx / 2, pt.y + dy / 2}, host::MouseAction::kMove);
    PumpAll();
    host::PostMouseInput({pt.x + dx, pt.y + dy}, host::MouseAction::kMove);
    host::PostMouseInput({pt.x + dx, pt.y + dy}, host::MouseAction::kLeftUp);
    PumpAll();
}

class SkinWindowFrameTest : public ::testing::Test {
protected:
    void TearDown() override { Stop(); }

    void Start(UINT nDepth = 32) {
        ASSERT_TRUE(StartSkinScreen(nDepth));
        fStarted_ = true;
    }
    void Stop() {
        if (!fStarted_) return;
        pWindow_.reset();
        if (hwndBehind_ != nullptr) host::DestroyWindow(hwndBehind_);
        hwndBehind_ = nullptr;
        pSkin_.reset();
        StopSkinScreen();
        fStarted_ = false;
    }
    // A plain window filling the screen, behind the skinned one.
    void Behind(Color clr) {
        hwndBehind_ = host::CreateWindowEx(0, ANIMWINDOW_CLASS, "", host::WS_POPUP, 0, 0, 800, 600,
                                           nullptr, nullptr, nullptr, nullptr);
        AnimWindow::FromHandle(hwndBehind_)->FillBackground(clr, nullptr);
        host::ShowWindow(hwndBehind_, host::SW_SHOW);
    }
    SkinWindow* Open(SKIN* pSkin, int nTemplate) {
        pWindow_ =
            std::make_unique<SkinWindow>(pSkin, "Test", QuietProc, nullptr, nTemplate, 0, nullptr);
        host::ShowWindow(pWindow_->Handle(), host::SW_SHOW);
        PumpAll();
        return pWindow_.get();
    }
    SkinWindow* OpenGenerated() {
        package_ = WindowSkinPackage();
        pSkin_ = std::make_unique<SKIN>(package_.data(), static_cast<DWORD>(package_.size()));
        return Open(pSkin_.get(), kResizable);
    }
    void Frames(int c) {
        for (int i = 0; i < c; ++i) {
            host::AdvanceVirtualClock(100);
            pWindow_->Anim()->Step();
            PumpAll();
        }
    }

    bool fStarted_ = false;
    Bytes package_;
    std::unique_ptr<SKIN> pSkin_;
    std::unique_ptr<SkinWindow> pWindow_;
    HWND hwndBehind_ = nullptr;
};

TEST_F(SkinWindowFrameTest, EachSizingPartMovesItsEdgesShowsItsCursorAndStopsAtTheLimits) {
    Start();
    SkinWindow* pWindow = OpenGenerated();
    const HWND hwnd = pWindow->Handle();
    const RECT rc0 = WindowRect(hwnd);
    const int cx0 = rc0.right - rc0.left, cy0 = rc0.bottom - rc0.top;
    ASSERT_GT(cx0, kWindowMinX);
    ASSERT_LT(cx0, kWindowMaxX);
    ASSERT_GT(cy0, kWindowMinY);
    ASSERT_LT(cy0, kWindowMaxY);

    // h: -1 the left edge moves, 1 the right, 0 neither; v alike for top and bottom. The press
    // lands 2 pixels inside the moving edges, clear of the see-through corner pixels.
    struct Part {
        int nHit, h, v;
        const char* pszCursor;
    };
    const Part parts[] = {
        {SKINHIT_TOPLEFT, -1, -1, host::IDC_SIZENWSE},   {SKINHIT_TOP, 0, -1, host::IDC_SIZENS},
        {SKINHIT_TOPRIGHT, 1, -1, host::IDC_SIZENESW},   {SKINHIT_RIGHT, 1, 0, host::IDC_SIZEWE},
        {SKINHIT_BOTTOMRIGHT, 1, 1, host::IDC_SIZENWSE}, {SKINHIT_BOTTOM, 0, 1, host::IDC_SIZENS},
        {SKINHIT_BOTTOMLEFT, -1, 1, host::IDC_SIZENESW}, {SKINHIT_LEFT, -1, 0, host::IDC_SIZEWE},
    };
    // Growth of each moving side: a little, past the maximum, past the minimum.
    for (const int nGrow : {11, 200, -150}) {
        for (const Part& part : parts) {
            host::SetWindowPos(hwnd, nullptr, rc0.left, rc0.top, cx0, cy0, host::SWP_NOZORDER);
            PumpAll();
            const POINT pt = {part.h < 0   ? rc0.left + 2
                              : part.h > 0 ? rc0.right - 3
                                           : (rc0.left + rc0.right) / 2,
                              part.v < 0   ? rc0.top + 2
                              : part.v > 0 ? rc0.bottom - 3
                                           : (rc0.top + rc0.bottom) / 2};
            host::PostMouseInput(pt, host::MouseAction::kMove);
            PumpAll();
            EXPECT_EQ(host::GetCursor(), host::LoadCursor(nullptr, part.pszCursor)) << part.nHit;
            Drag(pt, part.h * nGrow, part.v * nGrow);

            const int cx = std::clamp(cx0 + nGrow, kWindowMinX, kWindowMaxX);
            const int cy = std::clamp(cy0 + nGrow, kWindowMinY, kWindowMaxY);
            RECT rcWant = rc0;
            if (part.h < 0) rcWant.left = rc0.right - cx;
            if (part.h > 0) rcWant.right = rc0.left + cx;
            if (part.v < 0) rcWant.top = rc0.bottom - cy;
            if (part.v > 0) rcWant.bottom = rc0.top + cy;
            EXPECT_EQ(Edges(WindowRect(hwnd)), Edges(rcWant))
                << "part " << part.nHit << " grown by " << nGrow;
        }
    }
    // The controls follow the inner rectangle: the close box stays at its top right corner.
    EXPECT_EQ(pWindow->Control(SKIN_CLOSE_ID)->Rect().right, pWindow->InnerRect().right);
}

TEST_F(SkinWindowFrameTest, TitleBarDragsAndTheBackgroundBelowItDoesNot) {
    Start();
    SkinWindow* pWindow = OpenGenerated();
    const HWND hwnd = pWindow->Handle();
    const RECT rc0 = WindowRect(hwnd);
    const int xMiddle = (rc0.left + rc0.right) / 2;
    Drag({xMiddle, rc0.top + 10}, 23, 17);
    const RECT rc1 = WindowRect(hwnd);
    EXPECT_EQ(Edges(rc1),
              (std::array<LONG, 4>{rc0.left + 23, rc0.top + 17, rc0.right + 23, rc0.bottom + 17}));
    ASSERT_EQ(pWindow->Control(300)->Rect().top > kTitlebarHeight + 10, true);
    Drag({xMiddle + 23, rc1.top + kTitlebarHeight + 10}, 23, 17);
    EXPECT_EQ(Edges(WindowRect(hwnd)), Edges(rc1));
}

TEST_F(SkinWindowFrameTest, SeeThroughCornersShowAndPassClicksToTheWindowBehind) {
    Start();
    Behind(0x02808000);
    SkinWindow* pWindow = OpenGenerated();
    Frames(1);
    const RECT rc = WindowRect(pWindow->Handle());
    const host::COLORREF clrBehind = host::GetScreenPixel(rc.left - 5, rc.top - 5);
    EXPECT_EQ(host::GetScreenPixel(rc.left, rc.top), clrBehind);
    EXPECT_EQ(host::GetScreenPixel(rc.right - 1, rc.bottom - 1), clrBehind);
    EXPECT_NE(host::GetScreenPixel(rc.left + 3, rc.top + 3), clrBehind);

    EXPECT_EQ(host::PostMouseInput({rc.left + 20, rc.top + 40}, host::MouseAction::kMove),
              pWindow->Handle());
    EXPECT_EQ(host::PostMouseInput({rc.right - 1, rc.top}, host::MouseAction::kMove), hwndBehind_);
    EXPECT_EQ(host::PostMouseInput({rc.left, rc.bottom - 1}, host::MouseAction::kLeftDown),
              hwndBehind_);
    host::PostMouseInput({rc.left, rc.bottom - 1}, host::MouseAction::kLeftUp);
    PumpAll();
}

TEST_F(SkinWindowFrameTest, MinimiseBoxBesideTheCloseBoxAndATwoFrameButtonAnimates) {
    Start();
    SkinWindow* pWindow = OpenGenerated();
    const SKINCONTROL* pClose = pWindow->Control(SKIN_CLOSE_ID);
    const SKINCONTROL* pMin = pWindow->Control(SKIN_MINIMIZE_ID);
    ASSERT_NE(pMin, nullptr);
    EXPECT_EQ(pMin->Kind(), CT_FRAME_MIN);
    EXPECT_EQ(pMin->Rect().right, pClose->Rect().left);
    EXPECT_EQ(pMin->Rect().top, pClose->Rect().top);

    // The button's picture has a magenta frame then a green one.
    const RECT& rcButton = pWindow->Control(301)->Rect();
    POINT pt = {rcButton.left + 2, rcButton.top + 2};
    host::ClientToScreen(pWindow->Handle(), &pt);
    std::array<host::COLORREF, 4> seen{};
    for (host::COLORREF& clr : seen) {
        Frames(1);
        host::PresentScreen();
        clr = host::GetScreenPixel(pt.x, pt.y);
    }
    EXPECT_NE(seen[0], seen[1]);
    EXPECT_EQ(seen[0], seen[2]);
    EXPECT_EQ(seen[1], seen[3]);
}

// For people to look at: DEZ with every kind over a plain window at each screen depth.
TEST_F(SkinWindowFrameTest, DezScreenshotsAtEachDepth) {
    const std::filesystem::path dir =
        std::filesystem::path(KELVANO_SKINART_DIR).parent_path() / "screenshots";
    std::filesystem::create_directories(dir);
    for (const UINT nDepth : {8u, 16u, 32u}) {
        Start(nDepth);
        Behind(0x02808000);
        pSkin_ = std::make_unique<SKIN>(KELVANO_SKINART_DIR "/dez.zip");
        SkinWindow* pWindow = Open(pSkin_.get(), kEveryKind);
        FillEveryKind(pWindow);
        Frames(2);
        host::PresentScreen();
        const RECT rc = WindowRect(pWindow->Handle());
        EXPECT_EQ(host::GetScreenPixel(rc.left, rc.top),
                  host::GetScreenPixel(rc.left - 5, rc.top - 5))
            << nDepth;
        // The skin's own colours at every depth: DEZ's background is (nearly) white, also on
        // a palette screen, where the window makes the skin's palette the system's.
        const host::COLORREF clrInside = host::GetScreenPixel(rc.left + 30, rc.bottom - 20);
        for (const int nChannel :
             {host::GetRValue(clrInside), host::GetGValue(clrInside), host::GetBValue(clrInside)})
            EXPECT_GE(nChannel, 0xF0) << nDepth << " " << std::hex << clrInside;
        // ... and the progress bar's fill is blue, not the green a foreign palette makes it.
        const RECT& rcBar = pWindow->Control(104)->Rect();
        POINT ptFill = {rcBar.left + 12, (rcBar.top + rcBar.bottom) / 2};
        host::ClientToScreen(pWindow->Handle(), &ptFill);
        const host::COLORREF clrFill = host::GetScreenPixel(ptFill.x, ptFill.y);
        EXPECT_GT(host::GetBValue(clrFill), host::GetGValue(clrFill) + 32)
            << nDepth << " " << std::hex << clrFill;
        const std::string strName = "skin_window_dez_" + std::to_string(nDepth) + "bit.png";
        EXPECT_TRUE(host::SaveScreenshot((dir / strName).string())) << nDepth;
        Stop();
    }
}

} // namespace
