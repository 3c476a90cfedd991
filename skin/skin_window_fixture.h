// What every skinned-window test starts from: a headless desktop screen (on the virtual
// clock, so time moves only when a test says), the animation framework and the "SkinWindow"
// class; and a pump for whatever the test's input queued.
#pragma once

#include "anim/cea_main.h"
#include "host/clock.h"
#include "host/screen.h"
#include "host/window.h"
#include "skin/skin_window.h"

namespace skintest {

// False when any part failed to start.
inline bool StartSkinScreen(host::UINT nDepth = 32) {
    host::UseVirtualClock();
    host::ScreenOptions options;
    options.backend = host::ScreenBackendKind::kHeadless;
    options.profile = host::ScreenProfile::kDesktop;
    options.nDepth = nDepth;
    return host::InitScreen(options) && AnimStartup(nullptr, 0) == 1 &&
           SkinWindow::Register(nullptr, nullptr);
}

inline void StopSkinScreen() {
    AnimShutdown();
    host::ShutdownScreen();
    host::UseRealClock();
}

inline void PumpAll() {
    host::MSG msg;
    while (host::PeekMessage(&msg, nullptr, 0, 0, host::PM_REMOVE)) {
        host::TranslateMessage(&msg);
        host::DispatchMessage(&msg);
    }
}

// Gives the controls of template 910 (every kind) something to show: list items with one
// selected, progress, an edit text, checks and a scroll position.
inline void FillEveryKind(SkinWindow* pWindow) {
    for (const char* psz : {"English", "Deutsch", "Francais"})
        pWindow->Control(108)->AddItem(psz);
    pWindow->Control(108)->Select(2);
    pWindow->SetProgress(104, 37);
    pWindow->SetControlText(107, "C:\\Kelvano");
    pWindow->CheckControl(101, true);
    pWindow->CheckControl(102, true);
    pWindow->Control(105)->SetScrollRange(0, 100, 20);
    pWindow->Control(105)->SetScrollPos(40);
}

} // namespace skintest
