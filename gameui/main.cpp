// kelvano: the handheld board game (--help tells how to run it).
#include "gameui/kelvano.h"
#include "host/file.h"

int main(int argc, char** argv) {
    host::CarryOutPendingFileOperations(); // moves and deletions left for this start
    return KelvanoCommandLine(argc, argv);
}
