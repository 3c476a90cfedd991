#include "tests/animdemo/animdemo.h"

#include "tools/cli/cli.h"

#include <cstdio>
#include <string>
#include <string_view>

namespace animdemo {

namespace {

constexpr char kProgram[] = "kelvano-animdemo";
constexpr long kDefaultFrames = 150;
constexpr long kMaxFrames = 1000000; // over nine hours at 30 frames per second

constexpr char kUsage[] =
    "usage: kelvano-animdemo [--frames N] [--screenshot FILE]\n"
    "Balls glide and a spinner turns at 30 frames per second on the animation framework's\n"
    "window; at the end the frame rate the window measured is printed.\n"
    "  --frames N         play N frames, 1 to 1000000 (default 150); 0 plays until the\n"
    "                     window is closed, so it needs KELVANO_BACKEND=sdl\n"
    "  --screenshot FILE  save the screen as a PNG file after the last frame\n"
    "  -h, --help         show this help and exit\n"
    "The screen is headless unless KELVANO_BACKEND=sdl; KELVANO_DEPTH=8, 16 or 32 picks\n"
    "its depth (on 8 bits the demo shares the framework's fixed palette).\n"
    "Exit status: 0 done, 1 the screen, the window or the screenshot failed, 2 bad usage.\n";

int Run(int argc, char** argv) {
    long cFrames = kDefaultFrames;
    const char* pszScreenshot = nullptr;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return cli::kExitOk;
        }
        if (arg == "--frames" || arg == "--screenshot") {
            if (i + 1 >= argc)
                return cli::UsageError(kProgram, std::string(arg) + " needs a value");
            const char* pszValue = argv[++i];
            if (arg == "--screenshot") {
                pszScreenshot = pszValue;
                continue;
            }
            auto n = cli::ParseInteger(pszValue, 0, kMaxFrames);
            if (!n) {
                return cli::UsageError(kProgram, "--frames wants a whole number from 0 to " +
                                                     std::to_string(kMaxFrames) + ", not '" +
                                                     pszValue + "'");
            }
            cFrames = static_cast<long>(*n);
            continue;
        }
        if (arg.size() > 1 && arg.front() == '-')
            return cli::UsageError(kProgram, "unknown option '" + std::string(arg) + "'");
        return cli::UsageError(kProgram, "unexpected argument '" + std::string(arg) + "'");
    }
    host::ScreenOptions defaults;
    defaults.profile = host::ScreenProfile::kDevice;
    defaults.backend = host::ScreenBackendKind::kHeadless;
    defaults.title = "Kelvano animation demo";
    const host::ScreenOptions options = host::ScreenOptionsFromEnvironment(defaults);
    // Nobody can close a window that is not shown: such a run would never end.
    if (cFrames == 0 && options.backend != host::ScreenBackendKind::kSdl) {
        return cli::UsageError(kProgram, "--frames 0 plays until the window is closed, which a "
                                         "headless screen never is (set KELVANO_BACKEND=sdl)");
    }
    return RunAnimDemo(options, cFrames, pszScreenshot).nExitCode;
}

} // namespace

int Main(int argc, char** argv) {
    return cli::Guarded(kProgram, [&] { return Run(argc, argv); });
}

} // namespace animdemo
