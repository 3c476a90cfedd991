// kelvano-skinart: draws the installer's skin package and pictures, and their contact sheet.
#include "tools/cli/cli.h"
#include "tools/skinart/contact.h"
#include "tools/skinart/skinart.h"

#include <cstdio>
#include <string>
#include <string_view>

namespace {

constexpr char kProgram[] = "kelvano-skinart";

const char kUsage[] =
    "usage: kelvano-skinart files FOLDER\n"
    "       kelvano-skinart contact FOLDER FILE.png\n"
    "The first form writes the skin's pictures, skin.txt, the package dez.zip,\n"
    "graphic501.psp, graphic502.psp, graphic503.psp and setup.ico into FOLDER, the same\n"
    "bytes every time. The second reads the pictures back from FOLDER and draws each at\n"
    "twice its size with grid lines between its cells.\n"
    "Exit status: 0 written, 1 failure, 2 bad usage.\n";

int Run(int argc, char** argv) {
    if (argc >= 2 && (std::string_view(argv[1]) == "--help" || std::string_view(argv[1]) == "-h")) {
        std::fputs(kUsage, stdout);
        return cli::kExitOk;
    }
    if (argc < 2) return cli::UsageError(kProgram, "missing mode (files or contact)");
    std::string_view mode = argv[1];
    std::string error;
    if (mode == "files") {
        if (argc != 3) return cli::UsageError(kProgram, "files takes one folder");
        if (!skinart::WriteAll(argv[2], &error)) return cli::Failure(kProgram, error);
        return cli::kExitOk;
    }
    if (mode == "contact") {
        if (argc != 4) return cli::UsageError(kProgram, "contact takes a folder and a file");
        if (!skinart::WriteContactSheet(argv[2], argv[3], &error))
            return cli::Failure(kProgram, error);
        return cli::kExitOk;
    }
    return cli::UsageError(kProgram, "unknown mode '" + std::string(mode) + "'");
}

} // namespace

int main(int argc, char** argv) {
    return cli::Guarded(kProgram, [&] { return Run(argc, argv); });
}
