// The command line of kelvano: the game, the demo and screenshots.
#include "anim/cea_main.h"
#include "foundation/memmgr.h"
#include "gameui/kelvano.h"
#include "host/registry.h"
#include "host/screen.h"
#include "host/window.h"
#include "tools/cli/cli.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

namespace {

constexpr char kProgram[] = "kelvano";
constexpr long kMaxFrames = 1000000; // over nine hours at 30 frames per second

constexpr char kUsage[] =
    "usage: kelvano [--demo [LAYOUT] [LEVEL]] [--frames N] [--screenshot FILE]\n"
    "Kelvano, the marble-pushing board game, on a 240 x 320 handheld screen.\n"
    "  --demo [LAYOUT] [LEVEL]  the computer plays both sides, a new game a few seconds\n"
    "                     after each end; LAYOUT 0 to 6 (0 Classic, the order of the\n"
    "                     new-game list), LEVEL 1 Low, 2 Medium (default), 3 High. The demo\n"
    "                     keeps its settings in a private registry folder that is removed\n"
    "                     at the end: your saved game and settings are never touched, and a\n"
    "                     running game does not stop it\n"
    "  --frames N         play N frames (1 to 1000000, 30 a second) and exit; such a run\n"
    "                     does not open the tutorial that a first start shows\n"
    "  --screenshot FILE  with --frames: save the screen as a PNG file after the last frame\n"
    "  -h, --help         show this help and exit\n"
    "The game runs in a window when a display is available, else headless (then --frames\n"
    "is needed). Environment: KELVANO_BACKEND=sdl|headless, KELVANO_SCALE=1..8 (default:\n"
    "the largest whole factor that fits the desktop comfortably), KELVANO_DEPTH=8|16|32,\n"
    "KELVANO_REGISTRY_DIR (where settings and the saved game are kept), KELVANO_AUDIO=\n"
    "sdl|null|capture:FILE|none (the sound output; default sdl), KELVANO_DEBUG=1 (the debug\n"
    "output on standard error, ending with the memory blocks still in use at exit).\n"
    "Exit status: 0 done, 1 the game could not start or the screenshot failed, 2 bad usage.\n";

struct OPTIONS {
    KELVANORUN run;
    long cFrames = -1;
    const char* pszScreenshot = nullptr;
};

// A registry folder of the demo's own, removed when the demo ends.
class PrivateRegistry {
public:
    bool Create() {
        std::error_code ec;
        std::filesystem::path base = std::filesystem::temp_directory_path(ec);
        if (ec) base = "/tmp";
        std::string pattern = (base / "kelvano-demo-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) return false;
        path_ = pattern;
        host::RegSetStorageFolder(path_.string());
        return true;
    }
    ~PrivateRegistry() {
        if (path_.empty()) return;
        host::RegSetStorageFolder("");
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }

private:
    std::filesystem::path path_;
};

int ParseArguments(int argc, char** argv, OPTIONS* pOptions, bool* pfHelp) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            *pfHelp = true;
            return cli::kExitOk;
        }
        if (arg == "--demo") {
            pOptions->run.fDemo = true;
            pOptions->run.fSingleInstance = false;
            // Optional numbers follow: the layout, then the level.
            if (i + 1 < argc && argv[i + 1][0] != '-') {
                auto n = cli::ParseInteger(argv[++i], 0, 6);
                if (!n)
                    return cli::UsageError(kProgram, std::string("--demo wants a layout from 0 to "
                                                                 "6, not '") +
                                                         argv[i] + "'");
                pOptions->run.iDemoLayout = static_cast<int>(*n);
            }
            if (i + 1 < argc && argv[i + 1][0] != '-') {
                auto n = cli::ParseInteger(argv[++i], 1, 3);
                if (!n)
                    return cli::UsageError(kProgram, std::string("--demo wants a level from 1 to "
                                                                 "3, not '") +
                                                         argv[i] + "'");
                pOptions->run.nDemoLevel = static_cast<int>(*n);
            }
            continue;
        }
        if (arg == "--frames" || arg == "--screenshot") {
            if (i + 1 >= argc)
                return cli::UsageError(kProgram, std::string(arg) + " needs a value");
            const char* pszValue = argv[++i];
            if (arg == "--screenshot") {
                pOptions->pszScreenshot = pszValue;
                continue;
            }
            auto n = cli::ParseInteger(pszValue, 1, kMaxFrames);
            if (!n) {
                return cli::UsageError(kProgram, "--frames wants a whole number from 1 to " +
                                                     std::to_string(kMaxFrames) + ", not '" +
                                                     pszValue + "'");
            }
            pOptions->cFrames = static_cast<long>(*n);
            pOptions->run.fFirstStartTutorial = false;
            continue;
        }
        if (arg.size() > 1 && arg.front() == '-')
            return cli::UsageError(kProgram, "unknown option '" + std::string(arg) + "'");
        return cli::UsageError(kProgram, "unexpected argument '" + std::string(arg) + "'");
    }
    if (pOptions->pszScreenshot != nullptr && pOptions->cFrames < 0)
        return cli::UsageError(kProgram, "--screenshot needs --frames N");
    return cli::kExitOk;
}

int Run(int argc, char** argv) {
    OPTIONS options;
    bool fHelp = false;
    if (int nExit = ParseArguments(argc, argv, &options, &fHelp); nExit != cli::kExitOk)
        return nExit;
    if (fHelp) {
        std::fputs(kUsage, stdout);
        return cli::kExitOk;
    }
    host::ScreenOptions defaults;
    defaults.profile = host::ScreenProfile::kDevice;
    defaults.title = "Kelvano";
    const host::ScreenOptions screen = host::ScreenOptionsFromEnvironment(defaults);
    // Nobody can close a window that is not shown: such a run would never end.
    if (options.cFrames < 0 && host::ResolveScreenBackend(screen) != host::ScreenBackendKind::kSdl)
        return cli::UsageError(kProgram, "without a display the game never ends: give --frames N "
                                         "(or run it on a desktop)");

    PrivateRegistry registry;
    if (options.run.fDemo && !registry.Create())
        return cli::Failure(kProgram, "the demo's private registry folder cannot be made");
    if (!host::InitScreen(screen)) return cli::Failure(kProgram, "the screen cannot start");

    int nExit = cli::kExitOk;
    host::HWND hwnd = StartKelvano(nullptr, options.run);
    if (hwnd == nullptr) {
        if (!KelvanoFoundRunningInstance()) nExit = cli::Failure(kProgram, "the game cannot start");
    } else if (RunKelvano(options.cFrames)) {
        if (options.pszScreenshot != nullptr && !host::SaveScreenshot(options.pszScreenshot))
            nExit = cli::Failure(kProgram, std::string(options.pszScreenshot) +
                                               ": the screenshot cannot be written");
        host::DestroyWindow(hwnd);
    }
    AnimShutdown();
    host::ShutdownScreen();
    // The end-of-program check: every block still in use goes to the debug output.
    return mem::CheckAtExit(nExit);
}

} // namespace

int KelvanoCommandLine(int argc, char** argv) {
    return cli::Guarded(kProgram, [&] { return Run(argc, argv); });
}
