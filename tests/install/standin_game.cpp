// A stand-in for the game in the test payload: a host program that starts as the game does
// (carrying out the next-start list, which marks its executable in use) and then stays
// running until the test lets it go.
//
//     kelvano.exe [READY QUIT SECONDS]
// writes READY once it is in use, then waits until QUIT exists or SECONDS have passed.
#include "host/file.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <unistd.h>

int main(int argc, char** argv) {
    host::CarryOutPendingFileOperations();
    if (argc < 4) return 0;
    if (std::FILE* ready = std::fopen(argv[1], "w")) std::fclose(ready);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(std::atoi(argv[3]));
    while (access(argv[2], F_OK) != 0 && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return 0;
}
