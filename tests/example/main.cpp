// kelvano-example [--frames N] [--screenshot FILE]: the screen example program. The screen's
// options come from the environment (see README.md); the profile is the device's.
#include "tests/example/example.h"

#include "tools/cli/cli.h"

#include <cstdio>
#include <string>
#include <string_view>

namespace {

constexpr char kProgram[] = "kelvano-example";
constexpr std::int64_t kMaxFrames = 1000000;

constexpr char kUsage[] =
    "usage: kelvano-example [--frames N] [--screenshot FILE]\n"
    "A window with text and a moving rectangle on the device screen.\n"
    "  --frames N         stop after N frames, 1 to 1000000; 0 (the default) runs until the\n"
    "                     window is closed, which needs the SDL screen\n"
    "  --screenshot FILE  save the screen as a PNG file after the last frame\n"
    "  -h, --help         show this help and exit\n"
    "KELVANO_BACKEND, KELVANO_DEPTH and KELVANO_SCALE choose the screen (see README.md).\n"
    "Exit status: 0 done, 1 the screen or the screenshot failed, 2 bad usage.\n";

int Run(int argc, char** argv) {
    int cFrames = 0;
    std::string screenshot;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return cli::kExitOk;
        }
        if (arg != "--frames" && arg != "--screenshot") {
            return cli::UsageError(kProgram, (arg.size() > 1 && arg.front() == '-'
                                                  ? "unknown option '"
                                                  : "unexpected argument '") +
                                                 std::string(arg) + "'");
        }
        if (i + 1 >= argc) return cli::UsageError(kProgram, std::string(arg) + " needs a value");
        const char* pszValue = argv[++i];
        if (arg == "--screenshot") {
            screenshot = pszValue;
            continue;
        }
        auto n = cli::ParseInteger(pszValue, 0, kMaxFrames);
        if (!n) {
            return cli::UsageError(kProgram, "--frames wants a whole number from 0 to " +
                                                 std::to_string(kMaxFrames) + ", not '" + pszValue +
                                                 "'");
        }
        cFrames = static_cast<int>(*n);
    }
    host::ScreenOptions defaults;
    defaults.profile = host::ScreenProfile::kDevice;
    defaults.title = "Kelvano example";
    const host::ScreenOptions options = host::ScreenOptionsFromEnvironment(defaults);
    // Nobody can close a window that is not shown: such a run would never end.
    if (cFrames == 0 && host::ResolveScreenBackend(options) != host::ScreenBackendKind::kSdl) {
        return cli::UsageError(kProgram, "without --frames the example runs until its window is "
                                         "closed, which a headless screen never is");
    }
    const int nResult = example::RunExample(options, cFrames, screenshot);
    if (nResult != 0) cli::Failure(kProgram, "the screen or the screenshot failed");
    return nResult;
}

} // namespace

int main(int argc, char** argv) {
    return cli::Guarded(kProgram, [&] { return Run(argc, argv); });
}
