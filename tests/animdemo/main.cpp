// kelvano-animdemo: the animation demo (--help tells how to run it).
#include "tests/animdemo/animdemo.h"

int main(int argc, char** argv) {
    return animdemo::Main(argc, argv);
}
