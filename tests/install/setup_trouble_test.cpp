// The installer program in bad situations: a drive it may not write to, a damaged registry
// file, a second installer started beside the first, an installation over an installation.
// Whatever happens the user reads a clear message, and the removal (the shell tool here, the
// device's own uninstall there) leaves both sides as they were.
#include "tests/install/setup_support.h"

#include "host/instance.h"

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <optional>
#include <string>
#include <vector>

namespace install_test {
namespace {

// Root passes every permission check. Taking these from the calling thread's effective set
// (its permitted set keeps them, to give them back) makes permission bits bind it again;
// threads it starts meanwhile inherit the reduced set, as the installer's worker does.
class WithoutFileCapabilities {
public:
    WithoutFileCapabilities() {
        if (syscall(SYS_capget, &header_, saved_) != 0) return;
        __user_cap_data_struct reduced[2] = {saved_[0], saved_[1]};
        for (const int nCap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER})
            reduced[nCap / 32].effective &= ~(1u << (nCap % 32));
        fDropped_ = syscall(SYS_capset, &header_, reduced) == 0;
    }
    ~WithoutFileCapabilities() {
        if (fDropped_) syscall(SYS_capset, &header_, saved_);
    }
    bool Dropped() const { return fDropped_; }

private:
    __user_cap_header_struct header_ = {_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct saved_[2] = {};
    bool fDropped_ = false;
};

std::vector<std::string> DamagedFilesIn(const fs::path& folder) {
    std::vector<std::string> found;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        if (entry.path().filename().string().find(".damaged-") != std::string::npos)
            found.push_back(entry.path().string());
    }
    return found;
}

// Each situation shows its box, and the shell tool's removal (the toolkit's when nothing got
// registered) then leaves this machine as it was. A read-only folder stops the installation
// at its first write there. A damaged registry file is met in a registry folder this process
// has not used, as the installer's own process would meet it at its first registry call: it
// is set aside whole, and the installation goes on in an empty root.
TEST_F(SetupProgram, TroubleShowsItsMessageAndRemovalClearsIt) {
    const fs::path drive = drive_.Path();
    const fs::path programFolder = fs::path(Native(kszProgram)).parent_path();
    auto readOnly = [](const fs::path& folder) {
        fs::create_directories(folder);
        fs::permissions(folder,
                        fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                        fs::perm_options::remove);
    };
    auto writable = [](const fs::path& folder) {
        fs::permissions(folder, fs::perms::owner_write, fs::perm_options::add);
    };
    static constexpr char kGarbage[] = "\177ELF\0\1\377 garbage"; // NUL and bytes beyond UTF-8
    const struct {
        const char* pszCase;
        std::function<void()> block;
        std::function<void()> unblock;
        const char* pszRegistryFile; // damaged by spoil
        std::function<std::string(const std::string&)> spoil;
        std::string box;
    } cases[] = {
        {"a read-only drive",
         [&] { readOnly(drive); },
         [&] { writable(drive); },
         nullptr,
         {},
         FailureWith(Text(24))},
        {"a read-only program folder",
         [&] { readOnly(programFolder); },
         [&] {
             writable(programFolder);
             fs::remove(programFolder);
         },
         nullptr,
         {},
         FailureWith(CannotInstall(kszProgram))},
        {"garbage for HKEY_CURRENT_USER", [] {}, [] {}, "hkcu.reg",
         [](const std::string&) { return std::string(kGarbage, sizeof kGarbage - 1); }, Success()},
        {"HKEY_LOCAL_MACHINE cut short", [] {}, [] {}, "hklm.reg",
         [](const std::string& whole) { return whole.substr(0, whole.size() / 2); }, Success()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszCase);
        std::optional<testsupport::TempFolder> registry;
        std::optional<testsupport::ScopedEnv> registryEnv;
        std::string damage;
        if (c.pszRegistryFile != nullptr) {
            registry.emplace("kelvano-install-registry", FastRoot());
            for (const fs::directory_entry& entry : fs::directory_iterator(registry_.Path())) {
                if (entry.path().extension() == ".reg")
                    fs::copy_file(entry.path(), registry->Path() / entry.path().filename());
            }
            const fs::path file = registry->Path() / c.pszRegistryFile;
            damage = c.spoil(ReadBytes(file));
            ASSERT_GT(damage.size(), 10u);
            std::ofstream(file, std::ios::binary | std::ios::trunc) << damage;
            registryEnv.emplace("KELVANO_REGISTRY_DIR", registry->Path().c_str());
            host::RegSetStorageFolder(registry->Path().string());
        }
        c.block();
        BoxSeen box;
        {
            WithoutFileCapabilities root;
            ASSERT_TRUE(root.Dropped() || getuid() != 0);
            RunSetup({WaitFor(IDC_SETUP_INSTALL), Click(IDC_SETUP_INSTALL), AnswerBox(&box)});
        }
        EXPECT_EQ(box.text, c.box);
        c.unblock();
        Remove();
        ExpectDesktopAsBefore();
        ForgetSharedUninstaller();
        if (registry) {
            host::RegSetStorageFolder(registry_.Path().string());
            // Whoever met it first (the installer, the removal) kept it byte for byte.
            const std::vector<std::string> aside = DamagedFilesIn(registry->Path());
            ASSERT_EQ(aside.size(), 1u);
            EXPECT_EQ(ReadBytes(aside[0]), damage);
        }
    }
}

// A second installer says that one runs, and exits; the first holds the mutex as long as it
// runs, and without the holder the installer starts as ever.
TEST_F(SetupProgram, SecondInstallerSaysOneIsRunningAndExits) {
    {
        host::NamedMutex first;
        ASSERT_TRUE(first.Create(SETUP_MUTEX_NAME));
        ASSERT_EQ(first.Wait(0), host::WAIT_OBJECT_0);
        BoxSeen box;
        const std::string debug = RunSetup({AnswerBox(&box)}, {}, SETUP_EXIT_ALREADY_RUNNING);
        EXPECT_EQ(box.text, Text(IDS_SETUP_ALREADY_RUNNING));
        EXPECT_EQ(box.ok, "OK");
        EXPECT_NE(debug.find("message box: " + Text(IDS_SETUP_CAPTION) + "\n" +
                             Text(IDS_SETUP_ALREADY_RUNNING) + "\n[OK]\n"),
                  std::string::npos)
            << debug;
    }
    DWORD nOther = 0;
    RunSetup({WaitFor(IDC_SETUP_INSTALL), Do([&] {
                  host::NamedMutex second;
                  second.Create(SETUP_MUTEX_NAME);
                  nOther = second.Wait(0);
              }),
              Click(SKIN_CLOSE_ID)});
    EXPECT_EQ(nOther, host::WAIT_TIMEOUT);
    EXPECT_TRUE(records_.empty());
    ExpectDesktopAsBefore();
}

// Installed twice on both sides: the second run journals nothing twice, one product is
// listed, and one removal on each side leaves it as it was.
TEST_F(SetupProgram, InstallingTwiceIsRemovedByOneRemoval) {
    StartDevice("--arch 5");
    const std::string deviceLog = OnDevice("Program Files/Vantor Software/Uninstall Log for "
                                           "Kelvano.txt");
    std::string logs[2][2]; // [run][desktop, device]
    for (auto& log : logs) {
        BoxSeen box;
        RunSetup({WaitFor(IDC_SETUP_BOTH), Click(IDC_SETUP_BOTH), WaitFor(IDC_SETUP_BOTH, true),
                  Click(IDC_SETUP_INSTALL), AnswerBox(&box)});
        EXPECT_EQ(box.text, Success());
        log[0] = ReadBytes(Native(kszLog));
        log[1] = ReadBytes(deviceLog);
    }
    EXPECT_EQ(logs[0][0], ReadBytes(INSTALL_TESTDATA "/golden-install-log.txt"));
    EXPECT_EQ(logs[1][0], logs[0][0]);
    EXPECT_FALSE(logs[0][1].empty());
    EXPECT_EQ(logs[1][1], logs[0][1]);
    EXPECT_EQ(Shell("list").out, "Kelvano\tKelvano\n");
    RemoveFromDesktop();
    RemoveFromTheDevice();
}

} // namespace
} // namespace install_test
