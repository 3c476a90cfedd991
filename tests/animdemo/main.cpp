// kelvano-animdemo [--frames N] [--screenshot FILE]: the animation demo. Headless unless
// KELVANO_BACKEND=sdl;
// --frames 0 plays until the window is closed.
#include "tests/animdemo/animdemo.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
    long cFrames = 150;
    const char* pszScreenshot = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--frames") == 0 && i + 1 < argc) {
            cFrames = std::atol(argv[++i]);
        } else if (std::strcmp(argv[i], "--screenshot") == 0 && i + 1 < argc) {
            pszScreenshot = argv[++i];
        } else {
            std::fprintf(stderr, "usage: %s [--frames N] [--screenshot FILE]\n", argv[0]);
            return 2;
        }
    }
    host::ScreenOptions defaults;
    defaults.profile = host::ScreenProfile::kDevice;
    defaults.backend = host::ScreenBackendKind::kHeadless;
    defaults.title = "Kelvano animation demo";
    return animdemo::RunAnimDemo(host::ScreenOptionsFromEnvironment(defaults), cFrames,
                                 pszScreenshot)
        .nExitCode;
}
