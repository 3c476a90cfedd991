// kelvano-art: draws the game's picture sheets and icon, and the contact sheet of them all.
#include "tools/art/contact.h"
#include "tools/art/sheets.h"
#include "tools/cli/cli.h"

#include <cstdio>
#include <string>
#include <string_view>

namespace {

constexpr char kProgram[] = "kelvano-art";

const char kUsage[] =
    "usage: kelvano-art sheets FOLDER\n"
    "       kelvano-art contact --out FILE.png [--scale N] ID:SHEET:WxH...\n"
    "The first form writes board.psp, arrows.psp, cells.psp, tray.psp, ripple_large.psp,\n"
    "ripple_small.psp and kelvano.ico into FOLDER, the same bytes every time.\n"
    "The second draws every W x H frame of each SHEET at twice its size (N times with\n"
    "--scale, 1 to 16) on grey, under a\n"
    "label with the resource number ID (141 is read without a transparent colour).\n"
    "Exit status: 0 written, 1 failure, 2 bad usage.\n";

int Run(int argc, char** argv) {
    if (argc >= 2 && (std::string_view(argv[1]) == "--help" || std::string_view(argv[1]) == "-h")) {
        std::fputs(kUsage, stdout);
        return cli::kExitOk;
    }
    if (argc < 2) return cli::UsageError(kProgram, "missing mode (sheets or contact)");
    std::string_view mode = argv[1];
    std::string error;
    if (mode == "sheets") {
        if (argc != 3) return cli::UsageError(kProgram, "sheets takes one folder");
        if (!art::WriteAll(argv[2], &error)) return cli::Failure(kProgram, error);
        return cli::kExitOk;
    }
    if (mode != "contact")
        return cli::UsageError(kProgram, "unknown mode '" + std::string(mode) + "'");
    std::string out;
    int nScale = 2;
    std::vector<art::ContactEntry> entries;
    for (int i = 2; i < argc; ++i) {
        std::string_view arg = argv[i];
        if (arg == "--out") {
            if (++i == argc) return cli::UsageError(kProgram, "--out needs a file");
            out = argv[i];
            continue;
        }
        if (arg == "--scale") {
            auto n = i + 1 < argc ? cli::ParseInteger(argv[i + 1], 1, 16) : std::nullopt;
            if (!n) return cli::UsageError(kProgram, "--scale needs a number from 1 to 16");
            nScale = static_cast<int>(*n);
            ++i;
            continue;
        }
        art::ContactEntry entry;
        if (!art::ParseContactEntry(argv[i], &entry))
            return cli::UsageError(kProgram,
                                   "expected ID:SHEET:WxH, found '" + std::string(arg) + "'");
        entries.push_back(entry);
    }
    if (out.empty()) return cli::UsageError(kProgram, "contact needs --out");
    if (entries.empty()) return cli::UsageError(kProgram, "contact needs at least one sheet");
    if (!art::WriteContactSheet(entries, out, &error, nScale)) return cli::Failure(kProgram, error);
    return cli::kExitOk;
}

} // namespace

int main(int argc, char** argv) {
    return cli::Guarded(kProgram, [&] { return Run(argc, argv); });
}
