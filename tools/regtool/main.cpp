#include "tools/regtool/regtool.h"

#include <iostream>

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    return regtool::Run(args, std::cin, std::cout, std::cerr);
}
