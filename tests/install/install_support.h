// A machine of the test's own for installing the game: a drive folder, a registry and an
// applications folder in temporary folders, the payload built from the stand-in game and the
// real uninstaller, snapshots to compare the machine with, and children to crash or starve.
#pragma once

#include "host/file.h"
#include "host/registry.h"
#include "host/shell.h"
#include "setup/install.h"
#include "setup/sl_toolkit.h"
#include "setup/zip/zipfile.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_folder.h"
#include "tools/zipwriter/zipwriter.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace install_test {

namespace fs = std::filesystem;

inline constexpr char kszProgram[] = "C:\\Program Files\\Kelvano\\kelvano.exe";
inline constexpr char kszShortcut[] = "C:\\ProgramData\\Start Menu\\Programs\\Games\\Kelvano.lnk";
inline constexpr char kszMakerFolder[] = "C:\\Program Files\\Vantor Software";
inline constexpr char kszLog[] =
    "C:\\Program Files\\Vantor Software\\Uninstall Log for Kelvano.txt";
inline constexpr char kszUninstallKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Kelvano";

inline std::string ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::string Native(const char* pszClassic) {
    return host::NativeFileName(pszClassic);
}

// Every entry below a folder, one sorted line each: kind, relative name, permission bits (the
// read-only mark lives there) and, for files, the size and a hash of the contents.
using Snapshot = std::map<std::string, std::string>;

inline Snapshot SnapshotFolder(const fs::path& root) {
    Snapshot snap;
    std::error_code ec;
    if (!fs::exists(root, ec)) return snap;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root, ec)) {
        struct stat st {};
        if (lstat(entry.path().c_str(), &st) != 0) continue;
        char szMode[16];
        std::snprintf(szMode, sizeof szMode, "%03o", static_cast<unsigned>(st.st_mode & 0777));
        std::string line = S_ISDIR(st.st_mode) ? "dir " : "file ";
        line += szMode;
        if (!S_ISDIR(st.st_mode)) {
            const std::string bytes = ReadBytes(entry.path());
            line += " " + std::to_string(bytes.size()) + " " +
                    std::to_string(std::hash<std::string>{}(bytes));
        }
        snap[fs::relative(entry.path(), root).string()] = line;
    }
    return snap;
}

inline std::string Describe(const Snapshot& snap) {
    std::string text;
    for (const auto& [name, line] : snap)
        text += name + ": " + line + "\n";
    return text;
}

struct MachineState {
    std::string drive;
    std::string applications;
    std::string registry;
    bool operator==(const MachineState&) const = default;
};

inline void PrintTo(const MachineState& state, std::ostream* os) {
    *os << "\n-- drive\n"
        << state.drive << "-- applications\n"
        << state.applications << "-- registry\n"
        << state.registry;
}

// A child process running fn: its exit status and whatever fn returned (empty: all went
// well). Checks inside a child cannot reach the test, so they come back as text.
struct ChildRun {
    int nStatus = 0;
    std::string message;
    bool Killed() const { return WIFSIGNALED(nStatus) && WTERMSIG(nStatus) == SIGKILL; }
    bool Passed() const {
        return WIFEXITED(nStatus) && WEXITSTATUS(nStatus) == 0 && message.empty();
    }
};

inline ChildRun RunInChild(const std::function<std::string()>& fn) {
    int rgfd[2];
    if (pipe(rgfd) != 0) return {-1, "no pipe"};
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        close(rgfd[0]);
        const std::string message = fn();
        for (std::size_t done = 0; done < message.size();) {
            const ssize_t n = write(rgfd[1], message.data() + done, message.size() - done);
            if (n <= 0) break;
            done += static_cast<std::size_t>(n);
        }
        _exit(0);
    }
    close(rgfd[1]);
    ChildRun run;
    char buf[512];
    for (ssize_t n; (n = read(rgfd[0], buf, sizeof buf)) > 0;)
        run.message.append(buf, static_cast<std::size_t>(n));
    close(rgfd[0]);
    if (pid < 0 || waitpid(pid, &run.nStatus, 0) != pid) return {-1, "no child"};
    return run;
}

// The test's own machine. Every host call of the test, its children and the programs it
// starts sees these folders.
class InstallMachine : public ::testing::Test {
protected:
    void SetUp() override {
        host::RegSetStorageFolder(registry_.Path().string());
        host::SeedShellFolders();
        before_ = State();
        beforeDrive_ = SnapshotFolder(drive_.Path());
        payloadBytes_ = BuildPayload();
        payload_.OpenMemory(payloadBytes_.data(), payloadBytes_.size(), false);
        ASSERT_EQ(payload_.Count(), 2u);
    }
    void TearDown() override { host::RegSetStorageFolder(""); }

    static std::vector<std::uint8_t> BuildPayload() {
        const std::string game = ReadBytes(STANDIN_GAME);
        const std::string uninstaller = ReadBytes(UNINSTALLER_LIBRARY);
        zipwriter::ZipWriter writer;
        writer.AddDeflated(
            "native/kelvano.exe",
            std::span(reinterpret_cast<const std::uint8_t*>(game.data()), game.size()), 1);
        writer.AddDeflated("native/uninstaller.dll",
                           std::span(reinterpret_cast<const std::uint8_t*>(uninstaller.data()),
                                     uninstaller.size()),
                           1);
        return writer.Finish();
    }

    MachineState State() const {
        MachineState state;
        state.drive = Describe(SnapshotFolder(drive_.Path()));
        state.applications = Describe(SnapshotFolder(apps_.Path()));
        for (HKEY hRoot :
             {host::HKEY_LOCAL_MACHINE, host::HKEY_CURRENT_USER, host::HKEY_CLASSES_ROOT})
            host::RegExportKey(hRoot, state.registry);
        return state;
    }

    // The state now, less the shared uninstaller and the folders it made, which stay behind
    // on purpose.
    MachineState StateLessSharedUninstaller() const {
        Snapshot drive = SnapshotFolder(drive_.Path());
        for (const char* psz : {"Program Files/Vantor Software/uninstaller.dll",
                                "Program Files/Vantor Software", "Program Files"}) {
            if (!beforeDrive_.contains(psz)) drive.erase(psz);
        }
        MachineState state = State();
        state.drive = Describe(drive);
        return state;
    }

    bool Install(setup::InstallFailure* pFailure = nullptr) {
        sl::SetupToolkit toolkit(nullptr, sl::MakeDesktopTarget());
        setup::InstallFailure failure;
        const bool fOk = setup::RunInstallSequence(toolkit, payload_, nullptr, 0,
                                                   pFailure ? pFailure : &failure);
        return fOk;
    }

    testsupport::ProgramRun Shell(const std::string& args) const {
        return testsupport::RunProgram(work_.Path(), SHELL_PROGRAM, args);
    }

    static bool IsRegistered() {
        HKEY hKey = nullptr;
        if (host::RegOpenKeyExA(host::HKEY_LOCAL_MACHINE, kszUninstallKey, 0, host::KEY_READ,
                                &hKey) != host::ERROR_SUCCESS)
            return false;
        DWORD cb = 0;
        const bool fHas = host::RegQueryValueExA(hKey, "UninstallString", nullptr, nullptr, nullptr,
                                                 &cb) == host::ERROR_SUCCESS;
        host::RegCloseKey(hKey);
        return fHas;
    }

    // The removal as a user meets it: the tool when the product is registered, else the
    // toolkit's own removal (a crashed install that never got registered), in a child.
    void Remove() {
        if (IsRegistered()) {
            const testsupport::ProgramRun run = Shell("uninstall Kelvano");
            EXPECT_EQ(run.nExit, 0) << run.err;
            return;
        }
        RunInChild([] {
            sl::SetupToolkit toolkit(nullptr, sl::MakeDesktopTarget());
            toolkit.uninstall(setup::kszProduct);
            return std::string();
        });
    }

    using DWORD = host::DWORD;
    using HKEY = host::HKEY;

    testsupport::TempFolder drive_{"kelvano-install-drive"};
    testsupport::TempFolder registry_{"kelvano-install-registry"};
    testsupport::TempFolder apps_{"kelvano-install-apps"};
    testsupport::TempFolder work_{"kelvano-install-work"};
    testsupport::ScopedEnv driveEnv_{"KELVANO_DRIVE_DIR", drive_.Path().c_str()};
    testsupport::ScopedEnv registryEnv_{"KELVANO_REGISTRY_DIR", registry_.Path().c_str()};
    testsupport::ScopedEnv appsEnv_{"KELVANO_APPLICATIONS_DIR", apps_.Path().c_str()};
    MachineState before_;
    Snapshot beforeDrive_;
    std::vector<std::uint8_t> payloadBytes_;
    zip::ZipFile payload_;
};

} // namespace install_test
