#include "tools/shell/shelltool.h"

#include "tools/cli/cli.h"

#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    return cli::Guarded("kelvano-shell", [&] {
        std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
        return shelltool::Run(args, std::cout, std::cerr);
    });
}
