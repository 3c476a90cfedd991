#include "host/registry.h"
#include "setup/sl_toolkit.h"

#include "host/error.h"
#include "host/file.h"
#include "host/heap.h"
#include "host/library.h"
#include "host/shell.h"
#include "setup/uninstaller.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace sl {
namespace {

namespace fs = std::filesystem;

constexpr char kLogPath[] = "C:\\Program Files\\Vantor Software\\Uninstall Log for Kelvano.txt";
constexpr char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Kelvano";
const std::string kRegistered = std::string("K:HKLM\\") + kUninstallKey + "|UninstallString";

// A drive, a registry and an applications folder of the test's own (drive C lies two levels
// down, so that a ".." that climbed out of it would land in the test's folder).
class Removal : public ::testing::Test {
protected:
    void SetUp() override {
        host::SeedShellFolders();
        toolkit_ = std::make_unique<SetupToolkit>(nullptr, MakeDesktopTarget());
    }

    std::string Native(const std::string& name) const {
        return name.size() > 1 && name[1] == ':' ? host::NativeFileName(std::string_view(name))
                                                 : name;
    }
    void MakeFile(const std::string& name, const std::string& text = "x") const {
        const fs::path path = Native(name);
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << text;
    }
    void MakeFolder(const std::string& name) const { fs::create_directories(Native(name)); }
    bool Exists(const std::string& name) const { return fs::exists(Native(name)); }
    void WriteLog(const std::string& entries) const { MakeFile(kLogPath, kszLogHeader + entries); }

    // Items: "F:" a file, "R:" a read-only file, "D:" a folder, "K:" a key ("HKCU\...") or,
    // with "|name", a value of it.
    void Make(const std::string& item) const {
        const std::string name = item.substr(2);
        if (item[0] == 'D') return MakeFolder(name);
        if (item[0] != 'K') {
            MakeFile(name);
            if (item[0] == 'R') {
                EXPECT_TRUE(host::SetFileAttributes(name.c_str(), 1));
            }
            return;
        }
        HKEY hRoot = nullptr;
        std::string sub;
        ASSERT_TRUE(host::RegSplitKeyPath(name.substr(0, name.find('|')), hRoot, sub));
        HKEY h = nullptr;
        host::RegCreateKeyExA(hRoot, sub.c_str(), 0, nullptr, 0, host::KEY_ALL_ACCESS, nullptr, &h,
                              nullptr);
        if (name.find('|') != std::string::npos)
            host::RegSetValueExA(h, name.substr(name.find('|') + 1).c_str(), 0, host::REG_SZ,
                                 reinterpret_cast<const BYTE*>("v"), 2);
        host::RegCloseKey(h);
    }
    bool Present(const std::string& item) const {
        const std::string name = item.substr(2);
        if (item[0] != 'K') return Exists(name);
        HKEY hRoot = nullptr;
        std::string sub;
        HKEY h = nullptr;
        if (!host::RegSplitKeyPath(name.substr(0, name.find('|')), hRoot, sub) ||
            host::RegOpenKeyExA(hRoot, sub.c_str(), 0, host::KEY_READ, &h) != host::ERROR_SUCCESS)
            return false;
        const bool fHas =
            name.find('|') == std::string::npos ||
            host::RegQueryValueExA(h, name.substr(name.find('|') + 1).c_str(), nullptr, nullptr,
                                   nullptr, nullptr) == host::ERROR_SUCCESS;
        host::RegCloseKey(h);
        return fHas;
    }
    std::vector<std::string> AsideFiles() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(host::DriveFolder('C'))) {
            const std::string name = entry.path().filename().string();
            if (name.starts_with("This File Is Safe To Delete")) names.push_back(name);
        }
        return names;
    }
    std::string Recorded() const {
        std::ifstream in(record_);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    testsupport::TempFolder root_{"kelvano-uninst"};
    std::string drive_ = root_.File("a/drive");
    std::string record_ = root_.File("hook-record");
    testsupport::ScopedEnv driveEnv_{"KELVANO_DRIVE_DIR", drive_.c_str()};
    testsupport::ScopedEnv registryEnv_{"KELVANO_REGISTRY_DIR", root_.File("registry").c_str()};
    testsupport::ScopedEnv appsEnv_{"KELVANO_APPLICATIONS_DIR", root_.File("apps").c_str()};
    testsupport::ScopedEnv hookEnv_{"KELVANO_TEST_HOOK_RECORD", record_.c_str()};
    std::unique_ptr<SetupToolkit> toolkit_;
};

// What a log undoes, in reverse order, and what it must leave alone.
TEST_F(Removal, LogsUndoNewestFirstAndOnlyWhatIsEmpty) {
    struct Case {
        const char* pszName;
        std::string log;
        std::vector<std::string> before;
        std::vector<std::string> gone;
        std::vector<std::string> kept;
    };
    const std::string kOutside = root_.File("outside.txt");
    const std::string kNativeDir = root_.File("native");
    const std::vector<Case> cases = {
        {"folders after their files",
         "deletedir { \"C:\\Games\" }\ndeletedir { \"C:\\Games\\Kelvano\" }\n"
         "deletefile { \"C:\\Games\\Kelvano\\kelvano.exe\" }\n"
         "DELETEFILE { \"C:\\Games\\Kelvano\\read only.txt\" }\n",
         {"F:C:\\Games\\Kelvano\\kelvano.exe", "R:C:\\Games\\Kelvano\\read only.txt"},
         {"F:C:\\Games\\Kelvano\\kelvano.exe", "F:C:\\Games\\Kelvano\\read only.txt",
          "D:C:\\Games"},
         {}},
        {"a folder with the user's files stays",
         "deletedir { \"C:\\Games\" }\ndeletedir { \"C:\\Games\\Kelvano\" }\n"
         "deletefile { \"C:\\Games\\Kelvano\\kelvano.exe\" }\n",
         {"F:C:\\Games\\Kelvano\\kelvano.exe", "F:C:\\Games\\Kelvano\\mine.sav"},
         {"F:C:\\Games\\Kelvano\\kelvano.exe"},
         {"F:C:\\Games\\Kelvano\\mine.sav"}},
        {"a value, then the keys that are empty",
         "deletekey { \"HKCU\\Software\" }\ndeletekey { \"HKCU\\Software\\Vantor\" }\n"
         "deletekey { \"HKCU\\Software\\Vantor\\Kelvano CE\" }\n"
         "deleteval { \"HKCU\\Software\\Vantor\\Kelvano CE\" \"Settings\" }\n",
         {"K:HKCU\\Software\\Vantor\\Kelvano CE|Settings", "K:HKCU\\Software\\Other|x"},
         {"K:HKCU\\Software\\Vantor\\Kelvano CE|Settings", "K:HKCU\\Software\\Vantor"},
         {"K:HKCU\\Software\\Other|x"}},
        {"a key with a value of someone else's stays",
         "deletekey { \"HKCU\\Software\\Vantor\" }\n"
         "deletekey { \"HKCU\\Software\\Vantor\\Kelvano CE\" }\n"
         "deleteval { \"HKCU\\Software\\Vantor\\Kelvano CE\" \"Settings\" }\n",
         {"K:HKCU\\Software\\Vantor\\Kelvano CE|Settings",
          "K:HKCU\\Software\\Vantor\\Kelvano CE|Keep"},
         {"K:HKCU\\Software\\Vantor\\Kelvano CE|Settings"},
         {"K:HKCU\\Software\\Vantor\\Kelvano CE|Keep"}},
        {"keys with children or without a root stay",
         "deletekey { \"Software\\Empty\" }\ndeletekey { \"HKCU\\Software\\Loose\" }\n",
         {"K:HKCU\\Software\\Empty", "K:HKCU\\Software\\Loose\\Child"},
         {},
         {"K:HKCU\\Software\\Empty", "K:HKCU\\Software\\Loose\\Child"}},
        {"nothing outside the drive",
         "deletefile { \"C:\\..\\..\\outside.txt\" }\ndeletedir { \"C:\\..\\..\\native\" }\n"
         "deletefile { \"" +
             kOutside + "\" }\ndeletedir { \"" + kNativeDir +
             "\" }\n"
             "deletefile { \"\\rooted.txt\" }\n",
         {"F:" + kOutside, "D:" + kNativeDir, "F:C:\\rooted.txt"},
         {},
         {"F:" + kOutside, "D:" + kNativeDir, "F:C:\\rooted.txt"}},
        {"a folder named as a file is not moved",
         "deletefile { \"C:\\Games\" }\n",
         {"F:C:\\Games\\mine.sav"},
         {},
         {"F:C:\\Games\\mine.sav"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszName);
        for (const std::string& item : c.before)
            Make(item);
        WriteLog(c.log);
        MakeFile(std::string(kLogPath) + ".tmp"); // left by a crash while saving
        ASSERT_TRUE(toolkit_->registerproduct("Kelvano"));
        EXPECT_TRUE(toolkit_->uninstall("Kelvano"));
        for (const std::string& item : c.gone)
            EXPECT_FALSE(Present(item)) << item;
        for (const std::string& item : c.kept)
            EXPECT_TRUE(Present(item)) << item;
        EXPECT_FALSE(Exists(kLogPath) || Exists(std::string(kLogPath) + ".tmp"));
        EXPECT_FALSE(Present(kRegistered));
        EXPECT_TRUE(AsideFiles().empty());
        fs::remove_all(kNativeDir);
        fs::remove(kOutside);
    }
}

// Without its log nothing is known about a product: nothing is touched, it stays registered.
TEST_F(Removal, NoLogTouchesNothing) {
    MakeFile("C:\\Program Files\\Vantor Software\\Kelvano\\kelvano.exe");
    ASSERT_TRUE(toolkit_->registerproduct("Kelvano"));
    EXPECT_FALSE(toolkit_->uninstall("Kelvano"));
    EXPECT_TRUE(Exists("C:\\Program Files\\Vantor Software\\Kelvano\\kelvano.exe"));
    EXPECT_TRUE(Present(kRegistered));
    // A name that would reach outside its folder or key is refused outright.
    EXPECT_FALSE(toolkit_->uninstall("..\\Kelvano"));
    EXPECT_FALSE(toolkit_->uninstall(""));
}

// The hook runs from a name of its own; declining leaves everything, the hook at its place.
TEST_F(Removal, HookIsAskedFirstAndToldLast) {
    const std::string kHook = "C:\\Program Files\\Vantor Software\\Kelvano\\uninstall.dll";
    const std::string kGame = "C:\\Program Files\\Vantor Software\\Kelvano\\kelvano.exe";
    const std::string log = "deletedir { \"C:\\Program Files\\Vantor Software\\Kelvano\" }\n"
                            "deletefile { \"" +
                            kGame +
                            "\" }\n"
                            "deletefile { \"" +
                            kHook +
                            "\" }\n"
                            "apphook { \"C:\\Missing\\uninstall.dll\" }\n"
                            "apphook { \"" +
                            kHook + "\" }\n";
    fs::create_directories(fs::path(Native(kHook)).parent_path());
    fs::copy_file(TEST_HOOK_LIB, Native(kHook));
    MakeFile(kGame);
    WriteLog(log);
    ASSERT_TRUE(toolkit_->registerproduct("Kelvano"));

    MakeFile(record_ + ".decline");
    EXPECT_FALSE(toolkit_->uninstall("Kelvano"));
    EXPECT_EQ(Recorded(), "OnUninstallBegin Kelvano\n");
    EXPECT_TRUE(Exists(kHook) && Exists(kGame) && Exists(kLogPath));
    EXPECT_TRUE(AsideFiles().empty());
    EXPECT_TRUE(Present(kRegistered));

    fs::remove(record_ + ".decline");
    fs::remove(record_);
    EXPECT_TRUE(toolkit_->uninstall("Kelvano"));
    EXPECT_EQ(Recorded(), "OnUninstallBegin Kelvano\nOnUninstallEnd Kelvano\n");
    EXPECT_FALSE(Exists("C:\\Program Files\\Vantor Software\\Kelvano"));
    EXPECT_FALSE(Exists(kLogPath));
    EXPECT_TRUE(AsideFiles().empty());
    EXPECT_FALSE(Present(kRegistered));

    // A hook or an entry that is not there lets the removal go on.
    EXPECT_TRUE(toolkit_->callapphook("C:\\Missing\\uninstall.dll", kszHookBegin, "Kelvano"));
    fs::copy_file(TEST_HOOK_LIB, Native("C:\\hook.dll"));
    EXPECT_TRUE(toolkit_->callapphook("C:\\hook.dll", "NoSuchEntry", "Kelvano"));
}

// A file another program holds is moved out of the way and deleted at the next start.
TEST_F(Removal, FileInUseGoesAtTheNextStart) {
    const std::string kGame = "C:\\Games\\kelvano.exe";
    MakeFile(kGame);
    WriteLog("deletedir { \"C:\\Games\" }\ndeletefile { \"" + kGame + "\" }\n");
    const std::string native = Native(kGame);
    int fdsUp[2];
    int fdsDown[2];
    ASSERT_EQ(pipe(fdsUp), 0);
    ASSERT_EQ(pipe(fdsDown), 0);
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        host::MarkFileInUse(native, true);
        char ch = 0;
        (void)!write(fdsUp[1], "m", 1);
        (void)!read(fdsDown[0], &ch, 1);
        _exit(0);
    }
    char ch = 0;
    ASSERT_EQ(read(fdsUp[0], &ch, 1), 1);

    EXPECT_TRUE(toolkit_->uninstall("Kelvano"));
    EXPECT_FALSE(Exists(kGame));
    EXPECT_FALSE(Exists("C:\\Games"));
    const std::vector<std::string> aside = AsideFiles();
    ASSERT_EQ(aside.size(), 1u);
    EXPECT_TRUE(aside[0].ends_with(").exe"));
    EXPECT_EQ(host::CarryOutPendingFileOperations(), 0); // still held

    ASSERT_EQ(write(fdsDown[1], "q", 1), 1);
    int nStatus = 0;
    waitpid(pid, &nStatus, 0);
    for (int fd : {fdsUp[0], fdsUp[1], fdsDown[0], fdsDown[1]})
        close(fd);
    EXPECT_EQ(host::CarryOutPendingFileOperations(), 1);
    EXPECT_TRUE(AsideFiles().empty());
}

TEST_F(Removal, MovingAsideTakesTheLastExtensionAndAFreshName) {
    const struct {
        const char* pszSource;
        const char* pszPattern;
    } cases[] = {
        {"C:\\Games\\kelvano.exe", R"(C:\\This File Is Safe To Delete \(#\d+\)\.exe)"},
        {"C:\\Games.old\\README", R"(C:\\This File Is Safe To Delete \(#\d+\))"},
        {"C:\\a.b\\c.tar.gz", R"(C:\\This File Is Safe To Delete \(#\d+\)\.gz)"},
        {"D:\\Games\\kelvano.exe", R"(D:\\This File Is Safe To Delete \(#\d+\)\.exe)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszSource);
        MakeFile(c.pszSource);
        ASSERT_TRUE(host::SetFileAttributes(c.pszSource, 1));
        const string strNew = toolkit_->moveaside(c.pszSource);
        EXPECT_TRUE(std::regex_match(std::string(strNew.Text8()), std::regex(c.pszPattern)))
            << strNew.Text8();
        EXPECT_FALSE(Exists(c.pszSource));
        EXPECT_TRUE(Exists(strNew.Text8()));
        EXPECT_EQ(host::GetFileAttributes(strNew.Text8()), host::FILE_ATTRIBUTE_NORMAL);
    }
    // Many within one millisecond: each its own name, nothing overwritten.
    std::set<std::string> names;
    for (int i = 0; i < 20; ++i) {
        MakeFile("C:\\Loop\\f.txt", std::to_string(i));
        names.insert(toolkit_->moveaside("C:\\Loop\\f.txt").Text8());
    }
    EXPECT_EQ(names.size(), 20u);
    EXPECT_EQ(AsideFiles().size(), 20u + 3);
    EXPECT_TRUE(toolkit_->moveaside("C:\\Missing.txt").IsEmpty());
}

TEST_F(Removal, RegistrationIsExactAndFailsLoudly) {
    ASSERT_TRUE(toolkit_->registerproduct("Kelvano"));
    HKEY h = nullptr;
    ASSERT_EQ(host::RegOpenKeyExA(host::HKEY_LOCAL_MACHINE, kUninstallKey, 0, host::KEY_READ, &h),
              host::ERROR_SUCCESS);
    const struct {
        const WCHAR* pszName;
        std::u16string text;
    } values[] = {
        {u"DisplayName", u"Kelvano"},
        {u"UninstallString",
         u"rundll32 \"C:\\Program Files\\Vantor Software\\uninstaller.dll\",Uninstall Kelvano"},
    };
    for (const auto& v : values) {
        BYTE rgb[512] = {};
        DWORD cb = sizeof rgb;
        DWORD dwType = 0;
        ASSERT_EQ(host::RegQueryValueExW(h, v.pszName, nullptr, &dwType, rgb, &cb),
                  host::ERROR_SUCCESS);
        EXPECT_EQ(dwType, host::REG_SZ);
        const std::u16string expected = v.text + u'\0';
        ASSERT_EQ(cb, expected.size() * 2);
        EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(rgb), cb / 2), expected);
    }
    host::RegCloseKey(h);
    EXPECT_TRUE(toolkit_->unregisterproduct("Kelvano"));
    EXPECT_FALSE(Present(kRegistered));
    // A key that cannot be made (its name is too long) is a failure.
    EXPECT_FALSE(toolkit_->registerproduct(std::string(300, 'k').c_str()));
}

// The real library, loaded as the installer and the shell's runner load it.
TEST_F(Removal, SharedUninstallerEntries) {
    host::HMODULE hLib = host::LoadLibrary(UNINSTALLER_LIB);
    ASSERT_NE(hLib, nullptr);
    auto call = [&](const char* pszEntry, const std::u16string& input, std::u16string* pOutput) {
        auto pfn = reinterpret_cast<BLOCKENTRY>(host::GetProcAddress(hLib, pszEntry));
        EXPECT_NE(pfn, nullptr);
        if (pfn == nullptr) return -1L;
        auto* pbIn = static_cast<BYTE*>(host::LocalAlloc(host::LPTR, input.size() * 2));
        if (!input.empty()) std::memcpy(pbIn, input.data(), input.size() * 2);
        DWORD cbOut = 0;
        BYTE* pbOut = nullptr;
        const long nResult =
            pfn(static_cast<DWORD>(input.size() * 2), pbIn, &cbOut, &pbOut, nullptr);
        EXPECT_NE(pbOut, nullptr);
        std::vector<std::u16string> texts = SplitTextBlock(pbOut, cbOut);
        *pOutput = texts.size() == 1 ? texts[0] : u"(bad answer)";
        host::LocalFree(pbOut);
        return nResult;
    };
    std::u16string answer;
    EXPECT_EQ(call(kszEntryGetUninstallVersion, u"", &answer), 0);
    EXPECT_EQ(answer, u"2");

    const std::string hook = Native("C:\\hook.dll");
    fs::create_directories(drive_);
    fs::copy_file(TEST_HOOK_LIB, hook);
    const std::u16string hook16(hook.begin(), hook.end());
    const struct {
        std::u16string input;
        bool fDecline;
        long nResult;
        const char16_t* pszAnswer;
    } chains[] = {
        {MakeTextBlock({hook16, u"OnUninstallBegin", u"Kelvano"}), false, 0, u"1"},
        {MakeTextBlock({hook16, u"OnUninstallBegin", u"Kelvano"}), true, kHookDeclined, u"0"},
        {MakeTextBlock({hook16, u"NoSuchEntry", u"Kelvano"}), true, 0, u"1"},
        {MakeTextBlock({u"C:\\missing.dll", u"OnUninstallBegin", u"Kelvano"}), true, 0, u"1"},
    };
    for (const auto& c : chains) {
        if (c.fDecline) MakeFile(record_ + ".decline");
        EXPECT_EQ(call(kszEntryChainAppHook, c.input, &answer), c.nResult);
        EXPECT_EQ(answer, c.pszAnswer);
    }
    EXPECT_TRUE(host::FreeLibrary(hLib));

    // Uninstall through the runner, with the name quoted and padded.
    MakeFile("C:\\Games\\kelvano.exe");
    WriteLog("deletedir { \"C:\\Games\" }\ndeletefile { \"C:\\Games\\kelvano.exe\" }\n");
    ASSERT_TRUE(toolkit_->registerproduct("Kelvano"));
    EXPECT_TRUE(host::RunDllCommand(std::string("rundll32 \"") + UNINSTALLER_LIB +
                                    "\",Uninstall  \"Kelvano\" "));
    EXPECT_FALSE(Exists("C:\\Games"));
    EXPECT_FALSE(Exists(kLogPath));
    EXPECT_FALSE(Present(kRegistered));
}

} // namespace
} // namespace sl
