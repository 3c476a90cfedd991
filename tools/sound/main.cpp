// kelvano-sound: synthesises the game's sounds into a folder.
#include "tools/cli/cli.h"
#include "tools/sound/sounds.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <system_error>

namespace {

constexpr char kProgram[] = "kelvano-sound";

const char kUsage[] = "usage: kelvano-sound --out FOLDER\n"
                      "Writes the game's sounds into FOLDER (created if missing):\n"
                      "  wave115.wav ... wave125.wav   the effects, mono 16-bit PCM at 22050 Hz\n"
                      "  logo5001.zz ... logo5003.zz   the logo's sounds, zz-packed wave files\n"
                      "The same program writes the same bytes every time.\n"
                      "\n"
                      "  --out FOLDER   where the files go\n"
                      "  -h, --help     this text\n"
                      "\n"
                      "Exit status: 0 written, 1 failure, 2 bad usage.\n";

int Run(int argc, char** argv) {
    std::filesystem::path folder;
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            std::fputs(kUsage, stdout);
            return cli::kExitOk;
        }
        if (arg == "--out" && i + 1 < argc && argv[i + 1][0] != '\0') {
            folder = argv[++i];
            continue;
        }
        if (arg == "--out") return cli::UsageError(kProgram, "--out needs a folder");
        return cli::UsageError(kProgram, "unknown argument '" + std::string(arg) + "'");
    }
    if (folder.empty()) return cli::UsageError(kProgram, "no --out folder given");

    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) return cli::Failure(kProgram, folder.string() + ": " + ec.message());
    for (const sound::SoundFile& file : sound::MakeSoundFiles()) {
        std::filesystem::path path = folder / file.name;
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(file.bytes.data()),
                  static_cast<std::streamsize>(file.bytes.size()));
        out.close();
        if (!out) return cli::Failure(kProgram, path.string() + ": cannot write");
    }
    return cli::kExitOk;
}

} // namespace

int main(int argc, char** argv) {
    return cli::Guarded(kProgram, [&] { return Run(argc, argv); });
}
