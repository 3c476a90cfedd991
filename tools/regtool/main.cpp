#include "tools/regtool/regtool.h"

#include "tools/cli/cli.h"

#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    return cli::Guarded("kelvano-reg", [&] {
        std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
        return regtool::Run(args, std::cin, std::cout, std::cerr);
    });
}
