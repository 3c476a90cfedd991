#include "game/engine/engine.h"

#include <exception>
#include <iostream>

int main(int argc, char** argv) {
    try {
        std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
        return RunEngine(args, std::cout, std::cerr);
    } catch (const std::exception& e) {
        std::cerr << "kelvano-engine: " << e.what() << '\n';
        return ENGINE_FAILED;
    }
}
