#include "tools/regtool/regtool.h"

#include <exception>
#include <iostream>

int main(int argc, char** argv) {
    try {
        std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
        return regtool::Run(args, std::cin, std::cout, std::cerr);
    } catch (const std::exception& e) {
        std::cerr << "kelvano-reg: " << e.what() << "\n";
        return 1;
    }
}
