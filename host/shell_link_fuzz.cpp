// Arbitrary bytes as a shortcut file and as a shortcut's ".desktop" twin. A shortcut that
// loads must hold a show command in range and, unless a field holds a line break (which
// cannot be written), save and load back the same; a twin is only read to decide whether
// its shortcut is gone.
#include "host/shell.h"

#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;

fs::path g_root;
fs::path g_drive;
fs::path g_apps;
constexpr const char16_t* kLink = u"C:\\Menu\\fuzz.lnk";

void Write(const fs::path& path, const std::uint8_t* pb, std::size_t cb) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(pb), static_cast<std::streamsize>(cb));
}

bool Writable(const std::u16string& text) {
    return text.find_first_of(std::u16string(u"\r\n\0", 3)) == std::u16string::npos;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::string pattern = (fs::temp_directory_path() / "kelvano-shell-link-fuzz-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    g_root = pattern;
    g_drive = g_root / "drive";
    g_apps = g_root / "apps";
    std::atexit([] {
        std::error_code ec;
        fs::remove_all(g_root, ec);
    });
    fs::create_directories(g_drive / "Menu");
    fs::create_directories(g_apps);
    ::setenv("KELVANO_DRIVE_DIR", g_drive.c_str(), 1);
    ::setenv("KELVANO_APPLICATIONS_DIR", g_apps.c_str(), 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pb, std::size_t cb) {
    Write(g_drive / "Menu" / "fuzz.lnk", pb, cb);
    host::SHELLLINK link;
    if (host::LoadShellLink(kLink, &link)) {
        if (link.nShowCommand < 0 || link.nShowCommand > 11) std::abort();
        if (Writable(link.target) && Writable(link.arguments) && Writable(link.description)) {
            if (!host::SaveShellLink(kLink, link)) std::abort();
            host::SHELLLINK back;
            if (!host::LoadShellLink(kLink, &back) || back.target != link.target ||
                back.arguments != link.arguments || back.description != link.description ||
                back.nShowCommand != link.nShowCommand)
                std::abort();
        }
    }
    // The same bytes as the twin of a shortcut that is there: pruned only when the twin
    // names another path, which the fuzzer never creates.
    const std::string twin = host::ShellLinkTwinPath(kLink);
    Write(twin, pb, cb);
    host::PruneShellLinkTwins();
    std::error_code ec;
    fs::remove(twin, ec);
    return 0;
}
