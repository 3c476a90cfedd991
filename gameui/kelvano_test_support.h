// The program in process for its tests: a headless device screen, the virtual clock, a fresh
// registry and runtime folder, and the helpers that drive it.
#pragma once

#include "anim/cea_main.h"
#include "anim/cea_window.h"
#include "foundation/tl_language.h"
#include "gameui/kelvano.h"
#include "gameui/tutorial.h"
#include "host/clock.h"
#include "host/dialog.h"
#include "host/screen.h"
#include "host/window.h"
#include "tests/support/temp_folder.h"
#include "tests/support/temp_registry.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace gameui_test {

inline void PumpAll() {
    host::MSG msg;
    while (host::PeekMessage(&msg, nullptr, 0, 0, host::PM_REMOVE)) {
        host::TranslateMessage(&msg);
        host::DispatchMessage(&msg);
    }
}

inline void Click(host::POINT pt) {
    host::PostMouseInput(pt, host::MouseAction::kLeftDown);
    host::PostMouseInput(pt, host::MouseAction::kLeftUp);
}

inline host::POINT CenterOf(host::HWND hwnd) {
    host::RECT rc;
    host::GetWindowRect(hwnd, &rc);
    return {(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2};
}

// Frames as the play loop runs them, each followed by the messages it caused.
inline void Frames(int c) {
    for (int i = 0; i < c; ++i) {
        host::AdvanceVirtualClock(33);
        KelvanoAnimWindow()->Step();
        PumpAll();
    }
}

// A hidden window of a test's own, whose procedure runs the test's steps inside whatever
// message loop is running (a modal dialog's, a move's), on its timer or its messages.
inline host::HWND CreateScriptWindow(const char* pszClass, host::WNDPROC pfnProc) {
    host::WNDCLASSA wc{};
    wc.lpfnWndProc = pfnProc;
    wc.lpszClassName = pszClass;
    host::RegisterClass(&wc); // already registered by an earlier test: the same class
    return host::CreateWindowEx(0, pszClass, "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
}

inline void Screenshot(const std::string& name) {
    const std::filesystem::path path = std::filesystem::path(KELVANO_TEST_OUTPUT) / name;
    EXPECT_TRUE(host::SaveScreenshot(path.string())) << path;
}

class KelvanoTest : public testing::Test {
protected:
    void SetUp() override {
        host::ScreenOptions options;
        options.backend = host::ScreenBackendKind::kHeadless;
        options.profile = host::ScreenProfile::kDevice;
        ASSERT_TRUE(host::InitScreen(options));
        // The start-up plays the logo (about 2.3 s) in a loop of its own: the clock follows
        // its waits until Start has passed it.
        host::SetVirtualClockAutoAdvance(true);
    }
    void TearDown() override {
        Close();
        AnimShutdown();
        host::ShutdownScreen();
        cetl::ResetLanguage();
    }
    // A first start opens the tutorial before StartKelvano returns: here it closes as it
    // opens (the tutorial's tests drive it).
    host::HWND Start(bool fSingleInstance = false) {
        KELVANORUN run;
        run.fSingleInstance = fSingleInstance;
        SetTutorialOpenHook([](host::HWND hDlg) { host::EndDialog(hDlg, host::IDCANCEL); });
        host::SetVirtualClockAutoAdvance(true);
        host::HWND hwnd = StartKelvano(nullptr, run);
        host::SetVirtualClockAutoAdvance(false);
        SetTutorialOpenHook(nullptr);
        PumpAll();
        return hwnd;
    }
    void Close() {
        if (KelvanoMainWindow() != nullptr) host::DestroyWindow(KelvanoMainWindow());
        PumpAll();
    }

    testsupport::TempRegistry registry_{"kelvano-test"};
    testsupport::TempFolder runtime_{"kelvano-runtime"};
    testsupport::ScopedEnv runtimeEnv_{"KELVANO_RUNTIME_DIR", runtime_.Path().c_str()};
    host::VirtualClockScope clock_;
};

} // namespace gameui_test
