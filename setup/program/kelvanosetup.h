// KelvanoSetup, the desktop installer: one skinned window where the user picks the language
// and the targets (this machine, a connected device, or both), then a worker thread installs
// the game from the ZIP payload the program carries while the window shows its progress, and
// a skinned message box reports the outcome.
//
// Threads: the window thread owns every window, the skin and the panels; the worker owns the
// toolkits, the payload and the device connection while it runs and reaches the window only
// by posted WM_COMMANDs (1010 with a heap UPDATESTATUS record, 1012 with the result). The
// worker is joined before the payload and the setup library are destroyed.
#pragma once

#include "foundation/tl_string.h"
#include "host/types.h"

#include <cstdint>

// Resources of the program.
constexpr int IDD_SETUP_MAIN = 101;
constexpr int IDD_SETUP_WELCOME = 103;
constexpr int IDD_SETUP_TARGETS = 105;
constexpr int IDD_SETUP_NODEVICE = 107;
constexpr int IDD_SETUP_PROGRESS = 109;
constexpr int IDD_SETUP_PROGRESS_BOTH = 111;
constexpr int IDI_SETUP = 500;
constexpr int IDG_SETUP_FRAME = 501;
constexpr int IDG_SETUP_INSTALL = 502;
constexpr int IDG_SETUP_RESCAN = 503;
constexpr int IDR_SETUP_SKIN = 800;
constexpr int IDR_SETUP_PAYLOAD = 113;

// Controls.
constexpr int IDC_SETUP_INSTALL = 1000;
constexpr int IDC_SETUP_ENGLISH = 1001;
constexpr int IDC_SETUP_ESPERANTO = 1002;
constexpr int IDC_SETUP_DESKTOP = 1003;
constexpr int IDC_SETUP_BOTH = 1004;
constexpr int IDC_SETUP_DEVICE = 1005;
constexpr int IDC_SETUP_TITLE = 1006;
constexpr int IDC_SETUP_RESCAN = 1007;
constexpr int IDC_SETUP_PROGRESS = 1008;
constexpr int IDC_SETUP_PROGRESS_DEVICE = 1009;
constexpr int IDC_SETUP_STATUS = 1011;
// Commands posted to the main window.
constexpr int IDM_SETUP_STATUS = 1010;
constexpr int IDM_SETUP_DONE = 1012;

// Strings (English; the Esperanto twin is the next id).
constexpr int IDS_SETUP_TITLE = 2;
constexpr int IDS_SETUP_CAPTION = 4;
constexpr int IDS_SETUP_PROGRESS_FILE = 6;
constexpr int IDS_SETUP_PROGRESS_FOLDER = 8;
constexpr int IDS_SETUP_PROGRESS_REGISTRY = 10;
constexpr int IDS_SETUP_PROGRESS_UNINSTALL = 12;
constexpr int IDS_SETUP_PROGRESS_FINISHING = 14;
constexpr int IDS_SETUP_SUCCESS = 16;
constexpr int IDS_SETUP_FAILURE = 18;
constexpr int IDS_SETUP_ALREADY_RUNNING = 26;

// Held by the installer that runs, from the skin's loading to its end, in the runtime folder.
constexpr char SETUP_MUTEX_NAME[] = "KelvanoSetup";
// KelvanoSetupMain's result when another installer runs: it said so and did nothing.
constexpr int SETUP_EXIT_ALREADY_RUNNING = 4;

// InstallTarget.
constexpr int SETUP_TARGET_DESKTOP = 0;
constexpr int SETUP_TARGET_BOTH = 1;
constexpr int SETUP_TARGET_DEVICE = 2;

// What the worker tells the window about one progress report. Made by the worker, freed by
// the window thread.
struct UPDATESTATUS {
    std::int32_t nControl; // IDC_SETUP_PROGRESS or IDC_SETUP_PROGRESS_DEVICE
    std::int32_t nPercent;
    cetl::string strText;
};

struct SETUPRUN {
    // Milliseconds the worker waits after each progress report (0: none), which it hands
    // over, waiting until the window has shown it. Lets a test see the installation half
    // done, at a known step.
    host::DWORD msPace = 0;
};

// The run options the environment asks for (KELVANO_SETUP_PACE).
SETUPRUN SetupRunFromEnvironment();
// The program's command line (--help); starts the screen and runs KelvanoSetupMain.
int KelvanoSetupCommandLine(int argc, char** argv);

// The whole program: shows the window until the user cancels or the installation ends,
// then the outcome. 0, or SETUP_EXIT_ALREADY_RUNNING when another installer holds the
// mutex (the leak check may turn either into its own code).
int KelvanoSetupMain(host::HINSTANCE hInstance, const SETUPRUN& run);

// The last component of an item path: everything up to the last "\" cut away, then
// everything up to the last "/" of the rest.
cetl::string SetupShortItemName(const cetl::string& strPath);

// For tests: the main window while it exists, the InstallTarget, and a hook that sees every
// progress record the window thread applies.
host::HWND KelvanoSetupWindow();
int KelvanoSetupTarget();
using SETUPSTATUSHOOK = void (*)(const UPDATESTATUS& status);
void SetSetupStatusHook(SETUPSTATUSHOOK pfnHook);
