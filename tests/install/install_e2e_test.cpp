// The installer's sequence on this machine as a user meets it: installed from the payload,
// listed and removed by the shell tool, crashed at every change, starved of disk, and
// removed while the game runs. Each case starts from a fresh machine and must leave it as it
// was, but for the shared uninstaller, which stays for the maker's other products.
#include "tests/install/install_support.h"

#include "host/debug.h"
#include "host/error.h"
#include "setup/sl_internal.h"

#include <sys/resource.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace install_test {
namespace {

using host::GetLastError;

std::vector<std::pair<int, int>> g_progress;

void RecordProgress(int nKind, int nPercent, const char*, std::intptr_t) {
    g_progress.emplace_back(nKind, nPercent);
}

TEST_F(InstallMachine, InstallsListsAndUninstallsWhole) {
    g_progress.clear();
    sl::SetupToolkit toolkit(nullptr, sl::MakeDesktopTarget());
    setup::InstallFailure failure;
    ASSERT_TRUE(setup::RunInstallSequence(toolkit, payload_, RecordProgress, 1008, &failure))
        << failure.idsMessage << " " << failure.strArgument.Text8();

    EXPECT_EQ(ReadBytes(Native(kszProgram)), ReadBytes(STANDIN_GAME));
    EXPECT_EQ(ReadBytes(Native(kszMakerFolder) + "/uninstaller.dll"),
              ReadBytes(UNINSTALLER_LIBRARY));
    host::SHELLLINK link;
    ASSERT_TRUE(
        host::LoadShellLink(u"C:\\ProgramData\\Start Menu\\Programs\\Games\\Kelvano.lnk", &link));
    EXPECT_EQ(link.target, u"C:\\Program Files\\Kelvano\\kelvano.exe");
    EXPECT_EQ(link.description, link.target);
    EXPECT_EQ(link.nShowCommand, 1);
    EXPECT_TRUE(fs::exists(
        host::ShellLinkTwinPath(u"C:\\ProgramData\\Start Menu\\Programs\\Games\\Kelvano.lnk")));
    const std::string golden = ReadBytes(INSTALL_TESTDATA "/golden-install-log.txt");
    EXPECT_EQ(ReadBytes(Native(kszLog)), golden);
    EXPECT_EQ(Shell("list").out, "Kelvano\tKelvano\n");

    // Progress only moves forward and ends at 100, finishing last.
    ASSERT_FALSE(g_progress.empty());
    for (std::size_t i = 1; i < g_progress.size(); ++i)
        EXPECT_LE(g_progress[i - 1].second, g_progress[i].second) << i;
    EXPECT_EQ(g_progress.back(), std::make_pair(int{sl::kProgressFinishing}, 100));

    // A second installation reads the first log back and journals nothing twice.
    ASSERT_TRUE(Install());
    EXPECT_EQ(ReadBytes(Native(kszLog)), golden);

    const testsupport::ProgramRun run = Shell("uninstall Kelvano");
    EXPECT_EQ(run.nExit, 0) << run.err;
    EXPECT_EQ(Shell("list").out, "");
    EXPECT_EQ(StateLessSharedUninstaller(), before_);
}

// Killed before each change of a whole installation in turn: whatever it left is in the log,
// so the removal takes it all away, and an installation over the wreck installs and removes
// cleanly. Of a run of the same call on the same file (a file written chunk by chunk) the
// first two and the last stand for the rest, which leave the same things behind.
TEST_F(InstallMachine, CrashAtEveryChangeLeavesOnlyWhatTheLogLists) {
    KillAtEveryChange(
        work_.File("mutations"), [&] { return Install(); },
        [&] {
            Remove();
            EXPECT_EQ(StateLessSharedUninstaller(), before_);
        },
        [&] { ForgetSharedUninstaller(); });
}

// A file-size limit binds root too; the host turns it into a failed write.
void LimitFileSize(rlim_t cb) {
    const struct rlimit limit = {cb, cb};
    setrlimit(RLIMIT_FSIZE, &limit);
}

TEST_F(InstallMachine, DiskFullFailsTheStepAndLosesNothing) {
    // Room for the log, not for the program.
    const rlim_t cbLimit = fs::file_size(STANDIN_GAME) / 2;
    ASSERT_GT(cbLimit, 4096u);
    const ChildRun program = RunInChild([&]() -> std::string {
        LimitFileSize(cbLimit);
        host::DebugCapture capture;
        sl::SetupToolkit toolkit(nullptr, sl::MakeDesktopTarget());
        if (!toolkit.openjournal(setup::kszProduct)) return "openjournal failed";
        if (toolkit.installfile(kszProgram, payload_, "native/kelvano.exe", 5, 95))
            return "installfile succeeded";
        if (GetLastError() != host::ERROR_DISK_FULL)
            return "last error " + std::to_string(GetLastError());
        const std::string trace =
            std::string("setuplib: writefile failed to write ") + kszProgram + "\n";
        if (capture.Text().find(trace) == std::string::npos) return "trace: " + capture.Text();
        return "";
    });
    EXPECT_TRUE(program.Passed()) << program.message;
    Remove();
    EXPECT_EQ(StateLessSharedUninstaller(), before_);

    // Too little room for the log itself: a change it would record is not made, and the log
    // of the earlier installation stays whole.
    ASSERT_TRUE(Install());
    const std::string log = ReadBytes(Native(kszLog));
    const MachineState installed = State();
    const ChildRun journal = RunInChild([&]() -> std::string {
        LimitFileSize(512);
        sl::SetupToolkit toolkit(nullptr, sl::MakeDesktopTarget());
        if (!toolkit.openjournal(setup::kszProduct)) return "openjournal failed";
        if (toolkit.createfolder("C:\\Program Files\\Kelvano\\Saved"))
            return "createfolder succeeded";
        if (toolkit.settextvalue(host::HKEY_CURRENT_USER, "Software\\Vantor\\Kelvano Extra", "X",
                                 "y"))
            return "settextvalue succeeded";
        return "";
    });
    EXPECT_TRUE(journal.Passed()) << journal.message;
    EXPECT_EQ(ReadBytes(Native(kszLog)), log);
    EXPECT_EQ(State(), installed);

    // The installer's own sequence stops at the log and asks for its message.
    const ChildRun sequence = RunInChild([&]() -> std::string {
        LimitFileSize(512);
        setup::InstallFailure failure;
        if (Install(&failure)) return "the installation succeeded";
        if (failure.idsMessage != setup::kidsCannotSaveUninstall)
            return "message " + std::to_string(failure.idsMessage);
        return "";
    });
    EXPECT_TRUE(sequence.Passed()) << sequence.message;
    EXPECT_EQ(ReadBytes(Native(kszLog)), log);

    Remove();
    EXPECT_EQ(StateLessSharedUninstaller(), before_);
}

// The game still running at removal keeps its program: it is moved aside under a name that
// says so and deleted at the next start, once the game has ended.
TEST_F(InstallMachine, RunningGameIsMovedAsideAndDeletedAtNextStart) {
    ASSERT_TRUE(Install());
    const std::string program = Native(kszProgram);
    // The host runs what it installs; this machine's loader wants the execute bit.
    fs::permissions(program, fs::perms::owner_exec, fs::perm_options::add);
    const std::string ready = work_.File("ready"), quit = work_.File("quit");
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        execl(program.c_str(), program.c_str(), ready.c_str(), quit.c_str(), "20", nullptr);
        _exit(127);
    }
    ASSERT_GT(pid, 0);
    for (int i = 0; i < 2000 && !fs::exists(ready); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_TRUE(fs::exists(ready));

    const testsupport::ProgramRun run = Shell("uninstall Kelvano");
    EXPECT_EQ(run.nExit, 0) << run.err;
    EXPECT_FALSE(fs::exists(program));
    std::vector<std::string> aside;
    for (const fs::directory_entry& entry : fs::directory_iterator(drive_.Path())) {
        const std::string name = entry.path().filename().string();
        if (name.starts_with("This File Is Safe To Delete (#") && name.ends_with(").exe"))
            aside.push_back(entry.path().string());
    }
    ASSERT_EQ(aside.size(), 1u) << Describe(SnapshotFolder(drive_.Path()));
    const std::string pending = ReadBytes(registry_.Path() / "pending-file-operations");
    EXPECT_NE(pending.find(aside[0]), std::string::npos) << pending;

    std::ofstream(quit).put('\n');
    int nStatus = 0;
    ASSERT_EQ(waitpid(pid, &nStatus, 0), pid);
    EXPECT_TRUE(WIFEXITED(nStatus) && WEXITSTATUS(nStatus) == 0);
    const testsupport::ProgramRun next = Shell("pending");
    EXPECT_EQ(next.nExit, 0) << next.err;
    EXPECT_FALSE(fs::exists(aside[0]));
    EXPECT_EQ(StateLessSharedUninstaller(), before_);
}

} // namespace
} // namespace install_test
