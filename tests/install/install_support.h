// A machine of the test's own for installing the game: a drive folder, a registry and an
// applications folder in temporary folders, the payload built from the stand-in game and the
// real uninstaller, snapshots to compare the machine with, and children to crash or starve.
#pragma once

#include "host/file.h"
#include "host/registry.h"
#include "host/shell.h"
#include "setup/install.h"
#include "setup/sl_internal.h"
#include "setup/sl_toolkit.h"
#include "setup/zip/zipfile.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_folder.h"
#include "tools/zipwriter/zipwriter.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <set>
#include <sstream>
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
    std::string bytes;
    if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
        char buf[65536];
        for (std::size_t cb; (cb = std::fread(buf, 1, sizeof buf, file)) > 0;)
            bytes.append(buf, cb);
        std::fclose(file);
    }
    return bytes;
}

inline std::string Native(const char* pszClassic) {
    return host::NativeFileName(pszClassic);
}

// FNV-1a of a file's bytes, read in pieces.
inline std::string ContentsHash(const fs::path& path) {
    std::uint64_t nHash = 14695981039346656037ull;
    if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
        unsigned char buf[65536];
        for (std::size_t cb; (cb = std::fread(buf, 1, sizeof buf, file)) > 0;)
            for (std::size_t i = 0; i < cb; ++i)
                nHash = (nHash ^ buf[i]) * 1099511628211ull;
        std::fclose(file);
    }
    return std::to_string(nHash);
}

// Every entry below a folder, one sorted line each: kind, relative name, permission bits (the
// read-only mark lives there) and, for files, the size and a hash of the contents.
using Snapshot = std::map<std::string, std::string>;

inline Snapshot SnapshotFolder(const fs::path& root, const std::set<std::string>& skip = {}) {
    Snapshot snap;
    std::error_code ec;
    if (!fs::exists(root, ec)) return snap;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root, ec)) {
        const std::string name = fs::relative(entry.path(), root).string();
        struct stat st {};
        if (skip.contains(name) || lstat(entry.path().c_str(), &st) != 0) continue;
        char szMode[16];
        std::snprintf(szMode, sizeof szMode, "%03o", static_cast<unsigned>(st.st_mode & 0777));
        std::string line = S_ISDIR(st.st_mode) ? "dir " : "file ";
        line += szMode;
        if (!S_ISDIR(st.st_mode))
            line += " " + std::to_string(st.st_size) + " " + ContentsHash(entry.path());
        snap[name] = line;
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
    std::string Status() const {
        if (WIFSIGNALED(nStatus)) return "killed by signal " + std::to_string(WTERMSIG(nStatus));
        return "exit " + std::to_string(WEXITSTATUS(nStatus));
    }
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

// Kills the installation before each change it makes in turn. `install` runs in a child:
// once whole, writing every change (call and path, through the setup library's mutation
// hook) to callsFile, then once per change, killed just before it. After each run
// `removeAndCheck` removes what was left and checks the target is as it was, and `forget`
// drops the shared uninstaller so the next run starts fresh. Of a run of the same call on the
// same file (a file written chunk by chunk) the first two and the last stand for the rest,
// which leave the same things behind. Returns how many changes were killed.
inline int g_nMutations = 0;
inline int g_nKillAt = 0;
inline std::FILE* g_pCalls = nullptr;

inline void KillAtMutation(const char* pszCall, const char* pszPath) {
    if (++g_nMutations == g_nKillAt) std::raise(SIGKILL);
    if (g_pCalls != nullptr) std::fprintf(g_pCalls, "%s %s\n", pszCall, pszPath);
}

inline int KillAtEveryChange(const std::string& callsFile, const std::function<bool()>& install,
                             const std::function<void()>& removeAndCheck,
                             const std::function<void()>& forget) {
    const ChildRun clean = RunInChild([&] {
        g_pCalls = std::fopen(callsFile.c_str(), "w");
        sl::SetMutationHook(KillAtMutation);
        const bool fOk = install();
        std::fclose(g_pCalls);
        return std::string(fOk ? "" : "the clean installation failed");
    });
    EXPECT_TRUE(clean.Passed()) << clean.Status() << " " << clean.message;
    std::vector<std::string> calls;
    std::istringstream in(ReadBytes(callsFile));
    for (std::string line; std::getline(in, line);)
        calls.push_back(line);
    EXPECT_GT(calls.size(), 10u);
    removeAndCheck();
    forget();
    if (::testing::Test::HasFailure()) return 0;

    int nChecked = 0;
    for (std::size_t i = 0; i < calls.size(); ++i) {
        if (i >= 2 && i + 1 < calls.size() && calls[i] == calls[i - 2] && calls[i] == calls[i + 1])
            continue;
        ++nChecked;
        const int n = static_cast<int>(i) + 1;
        SCOPED_TRACE("killed before change " + std::to_string(n) + " of " +
                     std::to_string(calls.size()) + ": " + calls[i]);
        const ChildRun crashed = RunInChild([&] {
            g_nKillAt = n;
            sl::SetMutationHook(KillAtMutation);
            install();
            return std::string("not killed");
        });
        EXPECT_TRUE(crashed.Killed()) << crashed.Status() << " " << crashed.message;
        if (!crashed.Killed()) return nChecked;
        removeAndCheck();
        // Over the wreck, in a child too: what the crash left may bring the installer down.
        const ChildRun again =
            RunInChild([&] { return std::string(install() ? "" : "the installation failed"); });
        EXPECT_TRUE(again.Passed()) << again.Status() << " " << again.message;
        removeAndCheck();
        forget();
    }
    std::printf("%d of %zu changes killed\n", nChecked, calls.size());
    return nChecked;
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
        static const std::vector<std::uint8_t> payloadBytes = BuildPayload();
        payload_.OpenMemory(payloadBytes.data(), payloadBytes.size(), false);
        ASSERT_EQ(payload_.Count(), 2u);
    }
    void TearDown() override { host::RegSetStorageFolder(""); }

    static std::vector<std::uint8_t> BuildPayload() {
        const std::string game = ReadBytes(STANDIN_GAME);
        const std::string uninstaller = ReadBytes(UNINSTALLER_LIBRARY);
        zipwriter::ZipWriter writer;
        // Stored: the reader has tests of its own, and every case builds its payload anew.
        auto bytes = [](const std::string& s) {
            return std::span(reinterpret_cast<const std::uint8_t*>(s.data()), s.size());
        };
        writer.AddStored("native/kelvano.exe", bytes(game));
        writer.AddStored("native/uninstaller.dll", bytes(uninstaller));
        return writer.Finish();
    }

    MachineState State(bool fDrive = true) const {
        MachineState state;
        if (fDrive) state.drive = Describe(SnapshotFolder(drive_.Path()));
        state.applications = Describe(SnapshotFolder(apps_.Path()));
        for (HKEY hRoot :
             {host::HKEY_LOCAL_MACHINE, host::HKEY_CURRENT_USER, host::HKEY_CLASSES_ROOT})
            host::RegExportKey(hRoot, state.registry);
        return state;
    }

    // The state now, less the shared uninstaller and the folders it made, which stay behind
    // on purpose.
    MachineState StateLessSharedUninstaller() const {
        std::set<std::string> shared;
        for (const char* psz : {"Program Files/Vantor Software/uninstaller.dll",
                                "Program Files/Vantor Software", "Program Files"}) {
            if (!beforeDrive_.contains(psz)) shared.insert(psz);
        }
        const Snapshot drive = SnapshotFolder(drive_.Path(), shared);
        MachineState state = State(false);
        state.drive = Describe(drive);
        return state;
    }

    // Takes the shared uninstaller away too, so that the next installation writes it again.
    void ForgetSharedUninstaller() {
        std::error_code ec;
        if (!beforeDrive_.contains("Program Files/Vantor Software/uninstaller.dll"))
            fs::remove(drive_.Path() / "Program Files/Vantor Software/uninstaller.dll", ec);
        for (const char* psz : {"Program Files/Vantor Software", "Program Files"}) {
            if (!beforeDrive_.contains(psz)) fs::remove(drive_.Path() / psz, ec);
        }
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

    // Memory-backed where the machine has it: the host flushes every registry and log change
    // to disk, and a test that installs a hundred times would spend its time waiting.
    static fs::path FastRoot() {
        std::error_code ec;
        return access("/dev/shm", W_OK) == 0 && fs::is_directory("/dev/shm", ec) ? "/dev/shm" : "";
    }

    testsupport::TempFolder drive_{"kelvano-install-drive", FastRoot()};
    testsupport::TempFolder registry_{"kelvano-install-registry", FastRoot()};
    testsupport::TempFolder apps_{"kelvano-install-apps", FastRoot()};
    testsupport::TempFolder work_{"kelvano-install-work", FastRoot()};
    testsupport::ScopedEnv driveEnv_{"KELVANO_DRIVE_DIR", drive_.Path().c_str()};
    testsupport::ScopedEnv registryEnv_{"KELVANO_REGISTRY_DIR", registry_.Path().c_str()};
    testsupport::ScopedEnv appsEnv_{"KELVANO_APPLICATIONS_DIR", apps_.Path().c_str()};
    // The programs run here (the removals, the game) fail on memory they leave in use.
    testsupport::ScopedEnv leakCheckEnv_{"KELVANO_LEAK_CHECK", "fail"};
    MachineState before_;
    Snapshot beforeDrive_;
    zip::ZipFile payload_;
};

} // namespace install_test
