// The installer program driven as a user drives it, for the tests that run its real entry in
// process on the headless desktop screen: a script of steps run inside whichever modal loop
// is up (the window's, the message box's), the status records the window applied, and the
// fixture of a fresh machine and device with the removals that must leave both as they were.
#pragma once

#include "tests/install/device_support.h"

#include "foundation/memmgr.h"
#include "foundation/tl_language.h"
#include "host/debug.h"
#include "host/screen.h"
#include "host/window.h"
#include "setup/program/kelvanosetup.h"
#include "setup/zip/zipfile.h"
#include "skin/skin_window.h"
#include "tests/support/png_picture.h"

#include <algorithm>
#include <chrono>
#include <functional>
#include <regex>
#include <string>
#include <vector>

namespace install_test {

using host::HWND;
using host::POINT;

// ---- Driving the program ----------------------------------------------------------------

// One step of a script: true once done. Steps run in turn on a timer of a hidden window of
// the test, so inside whichever modal loop runs (the window's, the message box's).
using Step = std::function<bool()>;

struct Script {
    std::vector<Step> steps;
    std::size_t iNext = 0;
    std::chrono::steady_clock::time_point since;
    std::string failure; // the step that timed out
};
inline Script* g_pScript = nullptr;
inline constexpr auto kStepTimeOut = std::chrono::seconds(60);

// The skinned windows shown now: the installer's, then the message box.
inline SkinWindow* Window() {
    HWND hwnd = KelvanoSetupWindow();
    return hwnd != nullptr ? SkinWindow::FromHandle(hwnd) : nullptr;
}
inline SkinWindow* MessageBoxWindow() {
    HWND hwnd = host::GetActiveWindow();
    SkinWindow* pBox = hwnd != nullptr ? SkinWindow::FromHandle(hwnd) : nullptr;
    return pBox != nullptr && hwnd != KelvanoSetupWindow() ? pBox : nullptr;
}

inline void ClickControl(SkinWindow* pWindow, int nId) {
    SKINCONTROL* pControl = pWindow->Control(nId);
    ASSERT_NE(pControl, nullptr) << nId;
    const RECT& rc = pControl->Rect();
    POINT pt = {(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2};
    host::ClientToScreen(pWindow->Handle(), &pt);
    host::PostMouseInput(pt, host::MouseAction::kMove);
    host::PostMouseInput(pt, host::MouseAction::kLeftDown);
    host::PostMouseInput(pt, host::MouseAction::kLeftUp);
}

inline host::LRESULT ScriptProc(HWND hwnd, host::UINT uMsg, host::WPARAM wParam,
                                host::LPARAM lParam) {
    if (uMsg != host::WM_TIMER || g_pScript == nullptr)
        return host::DefWindowProc(hwnd, uMsg, wParam, lParam);
    Script& script = *g_pScript;
    if (script.iNext < script.steps.size()) {
        if (script.steps[script.iNext]()) {
            ++script.iNext;
            script.since = std::chrono::steady_clock::now();
        } else if (std::chrono::steady_clock::now() - script.since > kStepTimeOut) {
            script.failure = "step " + std::to_string(script.iNext) + " timed out";
            script.iNext = script.steps.size();
        }
    }
    // A script that ended early leaves nothing open: it closes what is shown.
    if (script.iNext == script.steps.size() && !script.failure.empty()) {
        if (SkinWindow* pBox = MessageBoxWindow()) host::DestroyWindow(pBox->Handle());
        if (HWND hwndMain = KelvanoSetupWindow()) host::DestroyWindow(hwndMain);
    }
    return 0;
}

// Waits for the final message box; its text and button, then OK pressed.
struct BoxSeen {
    std::string text;
    std::string ok;
};
inline Step AnswerBox(BoxSeen* pSeen) {
    return [pSeen] {
        SkinWindow* pBox = MessageBoxWindow();
        if (pBox == nullptr || pBox->Control(host::IDOK) == nullptr) return false;
        pSeen->text = pBox->ControlText(40011).Text8();
        pSeen->ok = pBox->ControlText(host::IDOK).Text8();
        ClickControl(pBox, host::IDOK);
        return true;
    };
}

// Waits until the window shows control nId (and, with fChecked, has it checked).
inline Step WaitFor(int nId, bool fChecked = false) {
    return [=] {
        SkinWindow* pWindow = Window();
        SKINCONTROL* pControl = pWindow != nullptr ? pWindow->Control(nId) : nullptr;
        return pControl != nullptr && (!fChecked || pControl->IsChecked());
    };
}
inline Step Click(int nId) {
    return [=] {
        SkinWindow* pWindow = Window();
        if (pWindow == nullptr || pWindow->Control(nId) == nullptr) return false;
        ClickControl(pWindow, nId);
        return true;
    };
}
inline Step Do(std::function<void()> fn) {
    return [fn] {
        fn();
        return true;
    };
}

// Every record the window applied (its text kept outside the program's memory, which must
// be empty when it ends), and what the window showed meanwhile.
struct STATUSSEEN {
    int nControl;
    int nPercent;
    std::string text;
};
inline std::vector<STATUSSEEN>* g_pRecords = nullptr;
inline bool g_fSawDeviceBar = false;
inline bool g_fSawChoice = false;
inline void RecordStatus(const UPDATESTATUS& status) {
    if (g_pRecords == nullptr) return;
    g_pRecords->push_back({status.nControl, status.nPercent, status.strText.Text8()});
    SkinWindow* pWindow = Window();
    g_fSawDeviceBar |= pWindow->Control(IDC_SETUP_PROGRESS_DEVICE) != nullptr;
    g_fSawChoice |= pWindow->Control(IDC_SETUP_INSTALL) != nullptr ||
                    pWindow->Control(IDC_SETUP_RESCAN) != nullptr ||
                    pWindow->Control(IDC_SETUP_DESKTOP) != nullptr;
}

inline std::string Text(int nId) {
    cetl::string str;
    cetl::LoadText(static_cast<host::UINT>(nId), str);
    return str.Text8();
}

// The desktop's registry with the maker's language values left out: the installer shares
// the game's language choice, which outlives it.
inline std::string WithoutLanguage(std::string registry) {
    static const std::regex language("\"(Lang|Opt)-Kelvano CE\"=[^\n]*\n");
    static const std::regex keys("\\[HKEY_LOCAL_MACHINE\\\\Software\\\\Vantor(\\\\NLS)?\\]\n\n",
                                 std::regex::icase);
    return std::regex_replace(std::regex_replace(registry, language, ""), keys, "");
}

class SetupProgram : public DeviceMachine {
protected:
    // The games a case starts keep their single-instance locks to the case: another test
    // running the game at the same time must not make them step aside.
    testsupport::ScopedEnv runtime_{"KELVANO_RUNTIME_DIR", (work_.Path() / "runtime").c_str()};

    void SetUp() override {
        DeviceMachine::SetUp();
        host::ScreenOptions options;
        options.backend = host::ScreenBackendKind::kHeadless;
        options.profile = host::ScreenProfile::kDesktop;
        ASSERT_TRUE(host::InitScreen(options));
        SetSetupStatusHook(RecordStatus);
        g_pRecords = &records_;
        g_fSawDeviceBar = g_fSawChoice = false;
    }
    void TearDown() override {
        SetSetupStatusHook(nullptr);
        g_pRecords = nullptr;
        host::ShutdownScreen();
        cetl::ResetLanguage();
        DeviceMachine::TearDown();
    }

    // Runs the program to its end with the script, which must run whole, and expects its exit
    // code; returns its debug output.
    std::string RunSetup(std::vector<Step> steps, const SETUPRUN& run = {}, int nExit = 0) {
        Script script;
        script.steps = std::move(steps);
        script.since = std::chrono::steady_clock::now();
        g_pScript = &script;
        host::WNDCLASSA wc{};
        wc.lpfnWndProc = &ScriptProc;
        wc.lpszClassName = "SetupE2eScript";
        host::RegisterClass(&wc); // an earlier case registered it: the same class
        HWND hwnd = host::CreateWindowEx(0, "SetupE2eScript", "", 0, 0, 0, 0, 0, nullptr, nullptr,
                                         nullptr, nullptr);
        host::SetTimer(hwnd, 1, 10, nullptr);
        // What this process holds already is not the program's: its end-of-program check
        // (the leak check is on) then fails only on what the program left behind.
        mem::TareAllInUse();
        host::DebugCapture capture;
        const int nExitNow = KelvanoSetupMain(nullptr, run);
        const std::string debug = capture.Text();
        EXPECT_EQ(nExitNow, nExit) << debug.substr(std::min(debug.rfind("memory: "), debug.size()));
        host::KillTimer(hwnd, 1);
        host::DestroyWindow(hwnd);
        g_pScript = nullptr;
        EXPECT_EQ(script.failure, "");
        EXPECT_EQ(script.iNext, script.steps.size()) << "the program ended before the script";
        return debug;
    }

    // This machine as it was, less the shared uninstaller and the language values.
    void ExpectDesktopAsBefore() {
        MachineState now = StateLessSharedUninstaller();
        MachineState before = before_;
        now.registry = WithoutLanguage(now.registry);
        before.registry = WithoutLanguage(before.registry);
        EXPECT_EQ(now, before);
    }
    void RemoveFromDesktop() {
        const testsupport::ProgramRun run = Shell("uninstall Kelvano");
        EXPECT_EQ(run.nExit, 0) << run.err;
        ExpectDesktopAsBefore();
    }
    void RemoveFromTheDevice() {
        const testsupport::ProgramRun run = Device("uninstall Kelvano");
        EXPECT_EQ(run.nExit, 0) << run.err;
        EXPECT_EQ(DeviceLessSharedUninstaller(), deviceBefore_);
    }

    static std::string PayloadEntry(const char* pszName) {
        zip::ZipFile payload;
        payload.OpenResource(nullptr, host::MAKEINTRESOURCEA(IDR_SETUP_PAYLOAD), "ZIP", false);
        const zip::ZipEntry* pEntry = payload.Find(pszName);
        return pEntry != nullptr
                   ? std::string(reinterpret_cast<const char*>(pEntry->Data()), pEntry->Size())
                   : std::string();
    }
    std::string Success() const { return Text(IDS_SETUP_SUCCESS); }
    std::string FailureWith(const std::string& error) const {
        return cetl::sformat(Text(IDS_SETUP_FAILURE).c_str(), error.c_str()).Text8();
    }
    std::string CannotInstall(const char* pszPath) const {
        return cetl::sformat(Text(22).c_str(), pszPath).Text8();
    }

    // The installed game started headless for 30 frames, from where it lies or by the device
    // tool on the device; what it showed.
    testsupport::Picture PlayInstalledGame(bool fOnDevice) const {
        testsupport::ScopedEnv backend{"KELVANO_BACKEND", "headless"};
        const std::string shot = (work_.Path() / "installed-game.png").string();
        const std::string args = "--frames 30 --screenshot '" + shot + "'";
        const testsupport::ProgramRun run =
            fOnDevice ? Device("run '\\Program Files\\Kelvano\\kelvano.exe' " + args)
                      : testsupport::RunProgram(work_.Path(), Native(kszProgram), args);
        EXPECT_EQ(run.nExit, 0) << run.out << run.err;
        testsupport::Picture picture = testsupport::ReadPng(shot);
        fs::remove(shot);
        return picture;
    }

    std::vector<STATUSSEEN> records_;
};

} // namespace install_test
