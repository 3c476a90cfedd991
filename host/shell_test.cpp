#include "host/shell.h"

#include "host/codepage.h"
#include "host/error.h"
#include "host/file.h"
#include "host/registry.h"
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

std::u16string ReadSz(const char16_t* key, const char16_t* value) {
    HKEY h = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, &h) != ERROR_SUCCESS) return u"(none)";
    WCHAR buffer[512] = {};
    DWORD cb = sizeof(buffer) - sizeof(WCHAR);
    LONG e = RegQueryValueExW(h, value, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &cb);
    RegCloseKey(h);
    return e == ERROR_SUCCESS ? std::u16string(buffer) : u"(none)";
}

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(ShellSeed, SeedsWhatIsMissingAndKeepsTheRest) {
    testsupport::TempRegistry registry("kelvano-shell-seed");
    const char16_t* kCv = u"Software\\Microsoft\\Windows\\CurrentVersion";
    const char16_t* kFolders =
        u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
    HKEY h = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kCv, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h,
                              nullptr),
              ERROR_SUCCESS);
    const std::u16string mine = u"D:\\Mine";
    ASSERT_EQ(RegSetValueExW(h, u"ProgramFilesDir", 0, REG_SZ,
                             reinterpret_cast<const BYTE*>(mine.c_str()),
                             static_cast<DWORD>((mine.size() + 1) * 2)),
              ERROR_SUCCESS);
    RegCloseKey(h);
    SeedShellFolders();
    EXPECT_EQ(ReadSz(kCv, u"ProgramFilesDir"), mine);
    EXPECT_EQ(ReadSz(kFolders, u"Common Programs"), u"C:\\ProgramData\\Start Menu\\Programs");
    EXPECT_EQ(ReadSz(kFolders, u"Common Startup"),
              u"C:\\ProgramData\\Start Menu\\Programs\\Startup");
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE,
                            u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall", 0, KEY_READ,
                            &h),
              ERROR_SUCCESS);
    RegCloseKey(h);
}

class ShellLink : public ::testing::Test {
protected:
    testsupport::TempFolder drive_{"kelvano-shell-drive"};
    testsupport::ScopedEnv driveEnv_{"KELVANO_DRIVE_DIR", drive_.Path().c_str()};
    testsupport::TempFolder apps_{"kelvano-shell-apps"};
    testsupport::ScopedEnv appsEnv_{"KELVANO_APPLICATIONS_DIR", apps_.Path().c_str()};
    std::size_t Twins() const {
        return static_cast<std::size_t>(
            std::distance(fs::directory_iterator(apps_.Path()), fs::directory_iterator()));
    }
};

TEST_F(ShellLink, RoundTripWithATwinOfTheSameLife) {
    fs::create_directories(drive_.Path() / "Menu");
    const WCHAR* kLink = u"C:\\menu\\Kelvano \u0109.lnk";
    SHELLLINK link{u"C:\\Program Files\\Vantor\\kelvano.exe", u"--x \"a b\" 100%",
                   u"Kelvano \u0109\\", 3};
    ASSERT_TRUE(SaveShellLink(kLink, link));
    EXPECT_TRUE(fs::exists(drive_.Path() / "Menu" / "Kelvano ĉ.lnk"));
    SHELLLINK back;
    ASSERT_TRUE(LoadShellLink(u"C:\\MENU\\kelvano \u0109.LNK", &back));
    EXPECT_EQ(back.target, link.target);
    EXPECT_EQ(back.arguments, link.arguments);
    EXPECT_EQ(back.description, link.description);
    EXPECT_EQ(back.nShowCommand, 3);

    const std::string twin = ShellLinkTwinPath(kLink);
    EXPECT_EQ(fs::path(twin).parent_path(), apps_.Path());
    const std::string text = Slurp(twin);
    EXPECT_NE(text.find("\nName=Kelvano ĉ\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nComment=Kelvano ĉ\\\\\n"), std::string::npos) << text;
    const std::string exe = (drive_.Path() / "Program Files/Vantor/kelvano.exe").string();
    EXPECT_NE(text.find("\nExec=\"" + exe + "\" \"--x\" \"a b\" \"100%%\"\n"), std::string::npos)
        << text;
    EXPECT_EQ(Twins(), 1u);

    ASSERT_TRUE(DeleteShellLink(kLink));
    EXPECT_FALSE(fs::exists(drive_.Path() / "Menu" / "Kelvano ĉ.lnk"));
    EXPECT_EQ(Twins(), 0u);

    // Moved or deleted as a plain file, the shortcut takes its twin along.
    ASSERT_TRUE(SaveShellLink(kLink, link));
    const WCHAR* kMoved = u"C:\\menu\\Moved.lnk";
    ASSERT_TRUE(MoveFile(kLink, kMoved));
    EXPECT_EQ(Twins(), 1u);
    EXPECT_TRUE(fs::exists(ShellLinkTwinPath(kMoved)));
    ASSERT_TRUE(DeleteFile(kMoved));
    EXPECT_EQ(Twins(), 0u);
    // One removed behind the host's back leaves a twin that pruning removes.
    ASSERT_TRUE(SaveShellLink(kLink, link));
    fs::remove(drive_.Path() / "Menu" / "Kelvano ĉ.lnk");
    EXPECT_EQ(PruneShellLinkTwins(), 1);
    EXPECT_EQ(Twins(), 0u);
}

TEST_F(ShellLink, RefusalsLeaveNothingBehind) {
    fs::create_directories(drive_.Path() / "Menu");
    SHELLLINK broken{u"C:\\a.exe", u"one\ntwo", u"", 1};
    EXPECT_FALSE(SaveShellLink(u"C:\\Menu\\a.lnk", broken));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_FALSE(SaveShellLink(u"C:\\NoFolder\\a.lnk", SHELLLINK{u"C:\\a.exe", u"", u"", 1}));
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(Twins(), 0u);
    EXPECT_TRUE(fs::is_empty(drive_.Path() / "Menu"));

    std::ofstream(drive_.Path() / "Menu" / "plain.lnk") << "Target=C:\\x.exe\n";
    SHELLLINK out;
    EXPECT_FALSE(LoadShellLink(u"C:\\Menu\\plain.lnk", &out));
    EXPECT_FALSE(LoadShellLink(u"C:\\Menu\\missing.lnk", &out));
    EXPECT_FALSE(DeleteShellLink(u"C:\\Menu\\missing.lnk"));
}

TEST(ShellRunner, CommandLines) {
    const std::string lib = LIBRARY_TESTLIB;
    // Held so that what the entry recorded outlives each run.
    HMODULE h = LoadLibrary(lib.c_str());
    ASSERT_NE(h, nullptr);
    using Recorder = void (*)(void*, void*, const char*, int);
    auto record = reinterpret_cast<Recorder>(GetProcAddress(h, "Record"));
    auto line = reinterpret_cast<const char* (*)()>(GetProcAddress(h, "RecordedLine"));
    auto show = reinterpret_cast<int (*)()>(GetProcAddress(h, "RecordedShow"));
    auto module = reinterpret_cast<void* (*)()>(GetProcAddress(h, "RecordedModule"));
    auto window = reinterpret_cast<void* (*)()>(GetProcAddress(h, "RecordedWindow"));
    ASSERT_TRUE(record && line && show && module && window);

    const struct {
        std::string command; // "@" stands for the library's path
        DWORD dwError;       // 0: runs
        std::string rest;
    } cases[] = {
        {"rundll32 \"@\",Record hello  world", 0, "hello  world"},
        {"  RUNDLL32.EXE\t\"@\" ,  Record   a \"b\" c  ", 0, "a \"b\" c  "},
        {"rundll32 @,Record", 0, ""},
        {"rundll32 @ ,Record x", 0, "x"},
        {"rundll32 \"@\",Record", 0, ""},
        {"", ERROR_INVALID_PARAMETER, ""},
        {"rundll32", ERROR_INVALID_PARAMETER, ""},
        {"rundll32 \"@\"", ERROR_INVALID_PARAMETER, ""},
        {"rundll32 \"@,Record x", ERROR_INVALID_PARAMETER, ""},
        {"rundll32 \"@\",", ERROR_INVALID_PARAMETER, ""},
        {"rundll32 \"@\",Rec-ord", ERROR_INVALID_PARAMETER, ""},
        {"rundll32 \"@\"x,Record", ERROR_INVALID_PARAMETER, ""},
        {"rundll32\"@\",Record", ERROR_INVALID_PARAMETER, ""},
        {"rundll \"@\",Record", ERROR_INVALID_PARAMETER, ""},
        {"rundll32 ,Record", ERROR_INVALID_PARAMETER, ""},
        {"rundll32 \"\",Record", ERROR_INVALID_PARAMETER, ""},
        {"rundll32 \"@\",NoSuchEntry", ERROR_PROC_NOT_FOUND, ""},
        {"rundll32 \"/nonexistent/x.dll\",Record", ERROR_MOD_NOT_FOUND, ""},
    };
    for (const auto& c : cases) {
        std::string command = c.command;
        if (auto at = command.find('@'); at != std::string::npos) command.replace(at, 1, lib);
        SCOPED_TRACE(command);
        record(reinterpret_cast<void*>(1), nullptr, "(not called)", -1);
        SetLastError(0);
        const BOOL fRan = RunDllCommand(command, 5);
        EXPECT_EQ(fRan, c.dwError == 0);
        if (!fRan) {
            EXPECT_EQ(GetLastError(), c.dwError);
            EXPECT_STREQ(line(), "(not called)");
            continue;
        }
        EXPECT_EQ(line(), c.rest);
        EXPECT_EQ(show(), 5);
        EXPECT_EQ(module(), static_cast<void*>(h));
        EXPECT_EQ(window(), nullptr);
    }
    EXPECT_TRUE(FreeLibrary(h));
}

} // namespace
