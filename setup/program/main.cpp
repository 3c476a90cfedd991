// KelvanoSetup: the installer (--help tells how to run it).
#include "setup/program/kelvanosetup.h"

int main(int argc, char** argv) {
    return KelvanoSetupCommandLine(argc, argv);
}
