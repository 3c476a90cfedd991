#include "game/engine/engine.h"

#include "tools/cli/cli.h"

#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    return cli::Guarded("kelvano-engine", [&] {
        std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
        return RunEngine(args, std::cout, std::cerr);
    });
}
