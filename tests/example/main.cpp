// kelvano-example [--frames N] [--screenshot FILE]: the screen example program. The screen's
// options come from the environment (see README.md); the profile is the device's.
#include "tests/example/example.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
    int cFrames = 0;
    std::string screenshot;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--frames") == 0 && i + 1 < argc) {
            cFrames = std::atoi(argv[++i]);
        } else if (std::strcmp(argv[i], "--screenshot") == 0 && i + 1 < argc) {
            screenshot = argv[++i];
        } else {
            std::fprintf(stderr, "usage: %s [--frames N] [--screenshot FILE]\n", argv[0]);
            return 2;
        }
    }
    host::ScreenOptions defaults;
    defaults.profile = host::ScreenProfile::kDevice;
    defaults.title = "Kelvano example";
    return example::RunExample(host::ScreenOptionsFromEnvironment(defaults), cFrames, screenshot);
}
