#include "host/file.h"
#include "host/registry.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_folder.h"
#include "tests/support/temp_registry.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace {

namespace fs = std::filesystem;
using namespace host;

class ShellTool : public ::testing::Test {
protected:
    void SetProduct(const std::string& key, const std::string& value, const std::string& text) {
        HKEY h = nullptr;
        ASSERT_EQ(RegCreateKeyExA(
                      HKEY_LOCAL_MACHINE,
                      ("Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + key).c_str(),
                      0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExA(h, value.c_str(), 0, REG_SZ,
                                 reinterpret_cast<const BYTE*>(text.c_str()),
                                 static_cast<DWORD>(text.size() + 1)),
                  ERROR_SUCCESS);
        RegCloseKey(h);
    }
    testsupport::ProgramRun Shell(const std::string& args) {
        return testsupport::RunProgram(work_.Path(), SHELL_PROGRAM, args);
    }

    testsupport::TempRegistry registry_{"kelvano-shelltool-registry"};
    testsupport::ScopedEnv registryEnv_{"KELVANO_REGISTRY_DIR", registry_.Path().c_str()};
    testsupport::TempFolder drive_{"kelvano-shelltool-drive"};
    testsupport::ScopedEnv driveEnv_{"KELVANO_DRIVE_DIR", drive_.Path().c_str()};
    testsupport::TempFolder work_{"kelvano-shelltool-work"};
    testsupport::ScopedEnv appsEnv_{"KELVANO_APPLICATIONS_DIR", work_.File("apps").c_str()};
};

TEST_F(ShellTool, ListsAndUninstalls) {
    SetProduct("Vantor Kelvano", "DisplayName", "Kelvano \xc4\x89");
    SetProduct("Vantor Kelvano", "UninstallString",
               "rundll32 \"" + std::string(LIBRARY_TESTLIB) + "\",Touch " + work_.File("done"));
    SetProduct("Hidden", "UninstallString", "rundll32 x,y");
    SetProduct("Broken", "DisplayName", "Broken");
    SetProduct("Broken", "UninstallString", "rundll32 \"C:\\gone.dll\",Uninstall x");

    const struct {
        std::string args;
        int nExit;
        std::string out;
        std::string errStart;
    } cases[] = {
        {"list", 0, "Broken\tBroken\nVantor Kelvano\tKelvano \xc4\x89\n", ""},
        {"uninstall 'vantor kelvano'", 0, "", ""},
        {"uninstall Broken", 1, "", "kelvano-shell: Broken: cannot run"},
        {"uninstall Nothing", 1, "", "kelvano-shell: Nothing: no such product"},
        {"uninstall", 2, "", "kelvano-shell: usage: kelvano-shell uninstall PRODUCT"},
        {"frobnicate", 2, "", "kelvano-shell: unknown command"},
        {"", 2, "", "kelvano-shell: no command"},
        {"--help", 0, "usage: kelvano-shell", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        const testsupport::ProgramRun run = Shell(c.args);
        EXPECT_EQ(run.nExit, c.nExit) << run.err;
        EXPECT_EQ(run.out.substr(0, c.args == "--help" ? c.out.size() : std::string::npos), c.out);
        EXPECT_EQ(run.err.substr(0, c.errStart.size()), c.errStart);
    }
    std::ifstream done(work_.File("done"));
    std::string line;
    std::getline(done, line);
    EXPECT_EQ(line, "show 1");
}

TEST_F(ShellTool, CarriesOutTheNextStartList) {
    std::ofstream(drive_.Path() / "old.exe") << "x";
    ASSERT_TRUE(
        MoveFileEx("C:\\old.exe", static_cast<const char*>(nullptr), MOVEFILE_DELAY_UNTIL_REBOOT));
    EXPECT_TRUE(fs::exists(drive_.Path() / "old.exe"));
    const testsupport::ProgramRun run = Shell("pending");
    EXPECT_EQ(run.nExit, 0) << run.err;
    EXPECT_EQ(run.out, "1 carried out\n");
    EXPECT_FALSE(fs::exists(drive_.Path() / "old.exe"));
    EXPECT_EQ(Shell("pending").out, "0 carried out\n");
}

} // namespace
