// kelvano: the handheld board game (--help tells how to run it).
#include "gameui/kelvano.h"

int main(int argc, char** argv) {
    return KelvanoCommandLine(argc, argv);
}
