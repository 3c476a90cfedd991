#include "tests/animdemo/animdemo.h"

#include "anim/cea_display.h"
#include "anim/cea_main.h"
#include "anim/cea_object.h"
#include "anim/cea_palette.h"
#include "anim/cea_sprite.h"
#include "foundation/memmgr.h"
#include "host/window.h"

#include <cmath>
#include <cstdio>

namespace animdemo {

namespace {

using host::RGB;

constexpr LPARAM kLapEvent = 1;
// Transparent in the pictures; a colour of the fixed palette, so that it survives 8 bits.
constexpr Color kKey = RGB(255, 0, 255);
constexpr int kClientWidth = 240;
constexpr int kClientHeight = 294;
constexpr double kPi = 3.14159265358979323846;

struct Demo {
    AnimWindow* pWindow = nullptr;
    AnimObject* apBalls[kBalls] = {};
    Graphic* apBallPictures[kBalls] = {};
    Graphic* pSpinnerSource = nullptr;
    Sprite* pSpinner = nullptr;
    // On a palette display: the system group, the fixed palette that every picture shares.
    PaletteGroup* pGroup = nullptr;
};

Demo* DemoOf(AnimWindow* pWindow) {
    return reinterpret_cast<Demo*>(pWindow->GetAppValue());
}

Color Shade(Color clr, double dLight) {
    auto channel = [dLight](int n) {
        double d = n * dLight;
        return static_cast<host::BYTE>(d > 255 ? 255 : d);
    };
    return RGB(channel(host::GetRValue(clr)), channel(host::GetGValue(clr)),
               channel(host::GetBValue(clr)));
}

// An indexed picture holds only its table's colours: one of the fixed palette takes the
// palette's slot for the colour, any other picture the colour itself.
void PutPixel(Graphic* pGraphic, int x, int y, Color clr) {
    PaletteGroup* pGroup = pGraphic->GetPaletteGroup();
    if (pGraphic->GetDepth() == 8 && pGroup != nullptr && pGroup->IsFixedPalette()) {
        pGraphic->SetPixelValue(x, y,
                                PaletteGroup::FixedSlotForColor(host::GetRValue(clr),
                                                                host::GetGValue(clr),
                                                                host::GetBValue(clr)));
    } else {
        pGraphic->SetPixelColor(x, y, clr);
    }
}

// A blank picture of the display's depth, in the system group when there is one.
Graphic* MakePicture(const Demo& demo, int cx, int cy) {
    return demo.pGroup != nullptr ? MemNew(Graphic, cx, cy, 0, demo.pGroup)
                                  : MemNew(Graphic, cx, cy, 0);
}

// A ball lit from the upper left, on the transparent colour.
Graphic* MakeBall(const Demo& demo, Color clr) {
    Graphic* pBall = MakePicture(demo, kBallSize, kBallSize);
    const double dRadius = kBallSize / 2.0;
    for (int y = 0; y < kBallSize; ++y) {
        for (int x = 0; x < kBallSize; ++x) {
            double dx = x + 0.5 - dRadius, dy = y + 0.5 - dRadius;
            double d = std::sqrt(dx * dx + dy * dy) / dRadius;
            if (d > 1) {
                PutPixel(pBall, x, y, kKey);
                continue;
            }
            double dHighlight = std::sqrt((dx + 4) * (dx + 4) + (dy + 4) * (dy + 4)) / dRadius;
            PutPixel(pBall, x, y, Shade(clr, 1.3 - 0.7 * dHighlight));
        }
    }
    pBall->SetTransparency(kKey);
    return pBall;
}

// Eight dots on a ring; frame i lights dot i.
void MakeSpinner(Demo& demo) {
    const int cx = kSpinnerSize * kSpinnerFrames;
    demo.pSpinnerSource = MakePicture(demo, cx, kSpinnerSize);
    for (int y = 0; y < kSpinnerSize; ++y)
        for (int x = 0; x < cx; ++x)
            PutPixel(demo.pSpinnerSource, x, y, kKey);
    for (int iFrame = 0; iFrame < kSpinnerFrames; ++iFrame) {
        for (int iDot = 0; iDot < kSpinnerFrames; ++iDot) {
            double dAngle = 2 * kPi * iDot / kSpinnerFrames;
            int xCentre = iFrame * kSpinnerSize + kSpinnerSize / 2 +
                          static_cast<int>(std::lround(11 * std::cos(dAngle)));
            int yCentre = kSpinnerSize / 2 + static_cast<int>(std::lround(11 * std::sin(dAngle)));
            int nAge = (iFrame - iDot + kSpinnerFrames) % kSpinnerFrames;
            Color clr = Shade(RGB(255, 216, 0), 1.0 - nAge * 0.11);
            for (int y = -3; y <= 3; ++y)
                for (int x = -3; x <= 3; ++x)
                    if (x * x + y * y <= 9)
                        PutPixel(demo.pSpinnerSource, xCentre + x, yCentre + y, clr);
        }
    }
    demo.pSpinnerSource->SetTransparency(kKey);
    demo.pSpinner = MemNew(Sprite, demo.pSpinnerSource, kSpinnerFrames, 1, SPRITE_NO_LIMIT);
    for (DWORD i = 0; i < demo.pSpinner->GetFrameCount(); ++i)
        demo.pSpinner->GetFrame(i)->SetTransparency(kKey);
}

// Schedules one lap of every ball from iStart, and the event that schedules the next.
void ScheduleLap(Demo& demo, LONG iStart) {
    for (LONG iFrame = iStart; iFrame < iStart + kLapFrames; ++iFrame) {
        for (int iBall = 0; iBall < kBalls; ++iBall) {
            RECT rc = BallRect(iBall, iFrame);
            demo.pWindow->ScheduleObject(iFrame, demo.apBalls[iBall], nullptr, &rc);
        }
    }
    demo.pWindow->ScheduleEvent(iStart + kLapFrames - 1, kLapEvent, 0);
}

void PaintBackground(Graphic* pBackground) {
    int cx = pBackground->GetWidth(), cy = pBackground->GetHeight();
    for (int y = 0; y < cy; ++y) {
        int n = 40 + 120 * y / (cy > 1 ? cy - 1 : 1);
        for (int x = 0; x < cx; ++x) {
            bool fTile = ((x / 24) + (y / 24)) % 2 == 0;
            PutPixel(pBackground, x, y, RGB(16, n / 2 + (fTile ? 16 : 0), n));
        }
    }
}

int DemoCallback(AnimWindow* pWindow, int nEvent, LPARAM lParam1, LPARAM lParam2) {
    Demo* pDemo = DemoOf(pWindow);
    if (nEvent == ANIMEVENT_BACKGROUND && lParam2 != 0)
        PaintBackground(reinterpret_cast<Graphic*>(lParam2));
    else if (nEvent == ANIMEVENT_TIMELINE && lParam1 == kLapEvent && pDemo != nullptr)
        ScheduleLap(*pDemo, pWindow->GetFrameCounter() + 1);
    return 1;
}

} // namespace

// Each ball glides across its lane and back, eased at the ends.
RECT BallRect(int iBall, long iFrame) {
    long iStep = (iFrame + iBall * 13) % kLapFrames;
    double dEase = (1 - std::cos(2 * kPi * iStep / kLapFrames)) / 2;
    int x = 8 + static_cast<int>(dEase * (kClientWidth - 16 - kBallSize));
    int cyLane = (kClientHeight - 80) / kBalls;
    int y = 70 + iBall * cyLane + static_cast<int>(6 * std::sin(2 * kPi * iStep / 30.0));
    return {x, y, x + kBallSize, y + kBallSize};
}

Result RunAnimDemo(const host::ScreenOptions& options, long cFrames, const char* pszScreenshot) {
    Result result;
    if (!host::InitScreen(options)) {
        std::fprintf(stderr, "kelvano-animdemo: the screen cannot start\n");
        result.nExitCode = 1;
        return result;
    }
    if (AnimStartup(nullptr, 0) != 1) {
        std::fprintf(stderr, "kelvano-animdemo: the animation framework cannot start\n");
        host::ShutdownScreen();
        result.nExitCode = 1;
        return result;
    }
    InitMilliseconds();

    Demo demo;
    // On 8 bits the windows and the pictures must share one palette: the fixed one, made the
    // system group before the window makes its off-screen graphics.
    if (GetDisplay()->IsPaletteBased()) {
        demo.pGroup = MemNew(PaletteGroup);
        if (demo.pGroup != nullptr && demo.pGroup->Open()) {
            demo.pGroup->Add(PE_FIXED_PALETTE, 0);
            demo.pGroup->Close();
            GetDisplay()->SetSystemGroup(demo.pGroup);
        }
    }
    HWND hwnd = host::CreateWindowEx(0, ANIMWINDOW_CLASS, TEXT("Animation demo"),
                                     host::WS_POPUP | host::WS_VISIBLE, 0, 0, kClientWidth,
                                     kClientHeight, nullptr, nullptr, nullptr, nullptr);
    demo.pWindow = AnimWindow::FromHandle(hwnd);
    if (demo.pWindow == nullptr) {
        std::fprintf(stderr, "kelvano-animdemo: the window cannot be made\n");
        AnimShutdown();
        host::ShutdownScreen();
        result.nExitCode = 1;
        return result;
    }
    host::SetScreenMainWindow(hwnd);
    demo.pWindow->SetAppValue(reinterpret_cast<LPARAM>(&demo));
    demo.pWindow->SetCallback(&DemoCallback);

    for (int iBall = 0; iBall < kBalls; ++iBall) {
        demo.apBallPictures[iBall] = MakeBall(demo, kBallColours[iBall]);
        demo.apBalls[iBall] = MemNew(AnimObject, demo.pWindow, demo.apBallPictures[iBall], 10);
        RECT rc = BallRect(iBall, 0);
        demo.apBalls[iBall]->SetRect(&rc);
    }
    MakeSpinner(demo);
    AnimObject* pSpinner = MemNew(AnimObject, demo.pWindow, demo.pSpinner, 5);
    pSpinner->SetPosition((kClientWidth - kSpinnerSize) / 2, 20);

    ScheduleLap(demo, 0);
    demo.pWindow->SetFrameRate(kFramesPerSecond);
    demo.pWindow->Play(cFrames == 0 ? -1 : cFrames);

    if (AnimWindow::FromHandle(hwnd) == demo.pWindow) {
        result.cFramesPlayed = demo.pWindow->GetFrameCounter();
        result.dMeasuredRate = demo.pWindow->GetMeasuredRate();
        if (pszScreenshot != nullptr && !host::SaveScreenshot(pszScreenshot)) {
            std::fprintf(stderr, "kelvano-animdemo: %s: the screenshot cannot be written\n",
                         pszScreenshot);
            result.nExitCode = 1;
        }
        host::DestroyWindow(hwnd); // and with it the objects
    }
    std::printf("animdemo: %ld frames, measured %.1f frames per second\n", result.cFramesPlayed,
                result.dMeasuredRate);

    MemDelete(demo.pSpinner);
    MemDelete(demo.pSpinnerSource);
    for (Graphic* pBall : demo.apBallPictures)
        MemDelete(pBall);
    MemDelete(demo.pGroup); // and with it the display's system group
    AnimShutdown();
    host::ShutdownScreen();
    return result;
}

} // namespace animdemo
