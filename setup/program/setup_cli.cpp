// The command line of KelvanoSetup: the installer on the desktop screen.
#include "foundation/memmgr.h"
#include "host/file.h"
#include "host/screen.h"
#include "setup/program/kelvanosetup.h"
#include "tools/cli/cli.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

constexpr char kProgram[] = "KelvanoSetup";
constexpr long kmsMaxPace = 10000;

constexpr char kUsage[] =
    "usage: KelvanoSetup [-h | --help]\n"
    "Installs Kelvano on this machine, on a connected palm-size PC, or on both, from the copy\n"
    "of the game the installer carries. Choose the language and where to install, then press\n"
    "Install; a message tells how it went. Each installation writes an uninstall log first, so\n"
    "the shell tool (`kelvano-shell uninstall Kelvano`) or the device's own uninstall removes\n"
    "it again.\n"
    "  -h, --help   show this help and exit\n"
    "A palm-size PC is looked for once at start (half a second) and again by Rescan; start the\n"
    "emulated device first (`kelvano-device start`), and let KELVANO_LIBRARY_PATH name the\n"
    "folder holding rapi.dll (the build's device/ folder).\n"
    "Environment: KELVANO_BACKEND=sdl (the installer needs a display), KELVANO_SCALE=1..8,\n"
    "KELVANO_DEPTH=8|16|32, KELVANO_REGISTRY_DIR (the registry), KELVANO_DRIVE_DIR (the folder\n"
    "standing for drive C:), KELVANO_APPLICATIONS_DIR (where menu entries go),\n"
    "KELVANO_DEVICE_DIR (the emulated device), KELVANO_LIBRARY_PATH (where rapi.dll is found),\n"
    "KELVANO_DEBUG=1 (the debug output on standard error, ending with the memory blocks still\n"
    "in use), KELVANO_SETUP_PACE=MS (for tests and demonstrations: wait MS milliseconds, 0 to\n"
    "10000, after each progress report the window has shown, so that the installation can be\n"
    "watched step by step).\n"
    "Exit status: 0 done (whatever the installation's outcome), 1 the installer could not\n"
    "start, 2 bad usage, 4 another Kelvano Setup is running (a message says so; one installs\n"
    "at a time).\n";

} // namespace

// Reads KELVANO_SETUP_PACE; a value that is not a whole number of milliseconds within range
// is ignored.
SETUPRUN SetupRunFromEnvironment() {
    SETUPRUN run;
    if (const char* pszPace = std::getenv("KELVANO_SETUP_PACE")) {
        if (auto n = cli::ParseInteger(pszPace, 0, kmsMaxPace))
            run.msPace = static_cast<host::DWORD>(*n);
    }
    return run;
}

int KelvanoSetupCommandLine(int argc, char** argv) {
    return cli::Guarded(kProgram, [&] {
        for (int i = 1; i < argc; ++i) {
            const std::string_view arg = argv[i];
            if (arg == "--help" || arg == "-h") {
                std::fputs(kUsage, stdout);
                return cli::kExitOk;
            }
            if (arg.size() > 1 && arg.front() == '-')
                return cli::UsageError(kProgram, "unknown option '" + std::string(arg) + "'");
            return cli::UsageError(kProgram, "unexpected argument '" + std::string(arg) + "'");
        }
        host::ScreenOptions defaults;
        defaults.profile = host::ScreenProfile::kDesktop;
        defaults.title = "Kelvano Setup";
        const host::ScreenOptions screen = host::ScreenOptionsFromEnvironment(defaults);
        // Nobody could press a button of a window that is not shown.
        if (host::ResolveScreenBackend(screen) != host::ScreenBackendKind::kSdl)
            return cli::Failure(kProgram, "the installer needs a display (set DISPLAY, or "
                                          "KELVANO_BACKEND=sdl)");
        if (!host::InitScreen(screen)) return cli::Failure(kProgram, "the screen cannot start");
        const int nExit = KelvanoSetupMain(nullptr, SetupRunFromEnvironment());
        host::ShutdownScreen();
        return nExit;
    });
}
