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

} // namespace skintest
