// The install side of the toolkit on this machine: progress, folders, registry values,
// trees, the write-ahead rule and the refusals that keep a log readable.
#include "setup/sl_toolkit.h"

#include "host/codepage.h"
#include "host/debug.h"
#include "host/error.h"
#include "host/file.h"
#include "host/registry.h"
#include "host/shell.h"
#include "setup/zip/zipfile.h"
#include "tests/support/temp_folder.h"
#include "tests/support/temp_registry.h"
#include "tools/zipwriter/zipwriter.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace sl {
namespace {

namespace fs = std::filesystem;
using testsupport::ScopedEnv;
using testsupport::TempFolder;

std::vector<std::uint8_t> Bytes(std::size_t cb, std::uint8_t seed = 1) {
    std::vector<std::uint8_t> data(cb);
    for (std::size_t i = 0; i < cb; ++i)
        data[i] = static_cast<std::uint8_t>(seed + i * 7);
    return data;
}

std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

class ToolkitTest : public testing::Test {
protected:
    ToolkitTest() : toolkit_(nullptr, MakeDesktopTarget()) {}

    fs::path Native(const char* pszClassic) { return host::NativeFileName(pszClassic); }

    // Opens an archive made of (name, data) pairs, every entry unpacked.
    void
    OpenArchive(const std::vector<std::pair<std::string, std::vector<std::uint8_t>>>& entries) {
        zipwriter::ZipWriter writer;
        for (const auto& [name, data] : entries)
            writer.AddDeflated(name, data, 1);
        const std::vector<std::uint8_t> bytes = writer.Finish();
        archive_.OpenMemory(bytes.data(), bytes.size(), false);
    }

    std::string Log() { return ReadText(Native(toolkit_.LogPath().Text8())); }

    TempFolder drive_{"kelvano-drive"};
    ScopedEnv driveEnv_{"KELVANO_DRIVE_DIR", drive_.Path().c_str()};
    TempFolder apps_{"kelvano-apps"};
    ScopedEnv appsEnv_{"KELVANO_APPLICATIONS_DIR", apps_.Path().c_str()};
    testsupport::TempRegistry registry_{"kelvano-setup-registry"};
    SetupToolkit toolkit_;
    zip::ZipFile archive_;
};

struct Report {
    int nKind;
    int nPercent;
    std::string item;
};

void Record(int nKind, int nPercent, const char* pszItem, std::intptr_t nUser) {
    reinterpret_cast<std::vector<Report>*>(nUser)->push_back({nKind, nPercent, pszItem});
}

TEST_F(ToolkitTest, WritefileReportsAfterEachChunk) {
    const struct {
        std::size_t cb;
        int nFrom, nTo;
        std::vector<int> percents;
    } cases[] = {
        {100000, 5, 95, {5, 34, 63, 93, 95}},
        {32768, 0, 100, {0, 100}},
        {32769, 0, 100, {0, 99, 100}},
        {0, 10, 20, {10}},
        {70000, -1, -1, {}}, // one write, nothing reported
    };
    for (const auto& c : cases) {
        std::vector<Report> reports;
        toolkit_.setprogresshandler(Record, reinterpret_cast<std::intptr_t>(&reports));
        const std::vector<std::uint8_t> data = Bytes(c.cb);
        ASSERT_TRUE(toolkit_.writefile(cetl::string("C:\\out.bin"), data.data(),
                                       static_cast<DWORD>(data.size()), c.nFrom, c.nTo));
        std::vector<int> percents;
        for (const Report& r : reports) {
            EXPECT_EQ(r.nKind, kProgressFile);
            EXPECT_EQ(r.item, "C:\\out.bin");
            percents.push_back(r.nPercent);
        }
        EXPECT_EQ(percents, c.percents) << c.cb << " bytes";
        const std::string written = ReadText(Native("C:\\out.bin"));
        EXPECT_EQ(written, std::string(data.begin(), data.end()));
    }
}

TEST_F(ToolkitTest, ProgressOfAFileBeyondTwoGigabytePercentsStaysInRange) {
    // 64-bit arithmetic: 95 x 40 MB overflows 32 bits.
    std::vector<Report> reports;
    toolkit_.setprogresshandler(Record, reinterpret_cast<std::intptr_t>(&reports));
    const std::vector<std::uint8_t> data(40u << 20, 0x5A);
    ASSERT_TRUE(toolkit_.writefile(cetl::string("C:\\big.bin"), data.data(),
                                   static_cast<DWORD>(data.size()), 5, 100));
    int nLast = 0;
    for (const Report& r : reports) {
        EXPECT_GE(r.nPercent, nLast);
        EXPECT_LE(r.nPercent, 100);
        nLast = r.nPercent;
    }
    EXPECT_EQ(nLast, 100);
}

TEST_F(ToolkitTest, FoldersComeFromTheRegistryAndOverlongTextsAreRefused) {
    EXPECT_EQ(std::string(toolkit_.getfolder(kFolderInstallRoot).Text8()), "C:\\");
    EXPECT_EQ(std::string(toolkit_.getfolder(kFolderProgramFiles).Text8()), "C:\\Program Files");
    EXPECT_EQ(std::string(toolkit_.getfolder(kFolderMaker).Text8()),
              "C:\\Program Files\\Vantor Software");
    EXPECT_EQ(std::string(toolkit_.getfolder(kFolderProgramsMenu).Text8()),
              "C:\\ProgramData\\Start Menu\\Programs");
    EXPECT_EQ(std::string(toolkit_.getfolder(kFolderStartup).Text8()),
              "C:\\ProgramData\\Start Menu\\Programs\\Startup");
    EXPECT_EQ(toolkit_.getfolder(5).Length(), 0);
    EXPECT_EQ(std::string(toolkit_.getplatform().Text8()), "native");

    // 600 characters do not fit in 1024 bytes of 16-bit text: no folder, and no journal.
    const std::u16string longText(600, u'x');
    HKEY hKey = nullptr;
    ASSERT_EQ(host::RegCreateKeyExW(host::HKEY_LOCAL_MACHINE,
                                    u"Software\\Microsoft\\Windows\\CurrentVersion", 0, nullptr, 0,
                                    host::KEY_ALL_ACCESS, nullptr, &hKey, nullptr),
              host::ERROR_SUCCESS);
    ASSERT_EQ(host::RegSetValueExW(hKey, u"ProgramFilesDir", 0, host::REG_SZ,
                                   reinterpret_cast<const BYTE*>(longText.c_str()),
                                   static_cast<DWORD>((longText.size() + 1) * 2)),
              host::ERROR_SUCCESS);
    host::RegCloseKey(hKey);
    SetupToolkit fresh(nullptr, MakeDesktopTarget());
    EXPECT_EQ(fresh.getfolder(kFolderProgramFiles).Length(), 0);
    EXPECT_EQ(fresh.getfolder(kFolderMaker).Length(), 0);
    EXPECT_FALSE(fresh.openjournal(cetl::string("Kelvano")));
}

TEST_F(ToolkitTest, AdddelevalJournalsEveryKeyThenTheValueAndTouchesNothing) {
    ASSERT_TRUE(toolkit_.openjournal(cetl::string("Kelvano")));
    ASSERT_TRUE(toolkit_.adddeleteval(host::HKEY_CURRENT_USER,
                                      cetl::string("Software\\Vantor\\Kelvano CE"),
                                      cetl::string("Settings")));
    std::vector<std::string> lines;
    for (const JournalEntry& e : toolkit_.GetJournal().Entries())
        lines.push_back(std::string(JournalKeyword(e.nType)) + " " + e.strFirst.Text8() + " " +
                        e.strSecond.Text8());
    const std::vector<std::string> expected = {
        "deletekey HKCU\\Software ",
        "deletekey HKCU\\Software\\Vantor ",
        "deletekey HKCU\\Software\\Vantor\\Kelvano CE ",
        "deleteval HKCU\\Software\\Vantor\\Kelvano CE Settings",
    };
    // The maker's folder came first, made before journalling began: not journalled.
    EXPECT_EQ(lines, expected);
    HKEY hKey = nullptr;
    EXPECT_NE(
        host::RegOpenKeyExA(host::HKEY_CURRENT_USER, "Software\\Vantor", 0, host::KEY_READ, &hKey),
        host::ERROR_SUCCESS);
}

TEST_F(ToolkitTest, ValueWritesStoreTheirTypesAndFailWhenTheKeyCannotBeMade) {
    ASSERT_TRUE(toolkit_.openjournal(cetl::string("Kelvano")));
    const cetl::string key("Software\\Vantor\\Test");
    ASSERT_TRUE(toolkit_.settextvalue(host::HKEY_CURRENT_USER, key, cetl::string("Name"),
                                      cetl::string("Ĉambro")));
    ASSERT_TRUE(toolkit_.setdwordvalue(host::HKEY_CURRENT_USER, key, cetl::string("Count"), 7));
    const BYTE rgb[] = {1, 2, 3};
    ASSERT_TRUE(toolkit_.setbinaryvalue(host::HKEY_CURRENT_USER, key, cetl::string("Raw"), rgb, 3));

    HKEY hKey = nullptr;
    ASSERT_EQ(host::RegOpenKeyExA(host::HKEY_CURRENT_USER, key.Text8(), 0, host::KEY_READ, &hKey),
              host::ERROR_SUCCESS);
    BYTE data[64];
    DWORD dwType = 0, cb = sizeof(data);
    ASSERT_EQ(host::RegQueryValueExW(hKey, u"Name", nullptr, &dwType, data, &cb),
              host::ERROR_SUCCESS);
    EXPECT_EQ(dwType, host::REG_SZ);
    EXPECT_EQ(cb, (host::ToUtf16("Ĉambro").size() + 1) * 2);
    cb = sizeof(data);
    ASSERT_EQ(host::RegQueryValueExA(hKey, "Count", nullptr, &dwType, data, &cb),
              host::ERROR_SUCCESS);
    EXPECT_EQ(dwType, host::REG_DWORD);
    EXPECT_EQ(cb, 4u);
    EXPECT_EQ(data[0], 7);
    host::RegCloseKey(hKey);
    const std::string log = Log();
    EXPECT_NE(log.find("deleteval { \"HKCU\\Software\\Vantor\\Test\" \"Name\" }\n"),
              std::string::npos);

    // A key name of 256 characters cannot be made: the write fails rather than pretending.
    const cetl::string longKey = cetl::string("Software\\") + std::string(256, 'k').c_str();
    EXPECT_FALSE(toolkit_.settextvalue(host::HKEY_CURRENT_USER, longKey, cetl::string("V"),
                                       cetl::string("x")));
}

TEST_F(ToolkitTest, NamesTheLogCannotHoldAreRefusedBeforeAnythingChanges) {
    ASSERT_TRUE(toolkit_.openjournal(cetl::string("Kelvano")));
    ASSERT_TRUE(toolkit_.savejournal());
    const std::string before = Log();
    const std::size_t cEntries = toolkit_.GetJournal().Count();
    for (const char* pszName : {"a\"b", "line\nbreak", "cr\rhere"}) {
        EXPECT_FALSE(toolkit_.settextvalue(host::HKEY_CURRENT_USER, cetl::string("Software\\Q"),
                                           cetl::string(pszName), cetl::string("x")));
        EXPECT_FALSE(toolkit_.adddeleteval(host::HKEY_CURRENT_USER, cetl::string("Software\\Q"),
                                           cetl::string(pszName)));
    }
    // The key itself was fine and is made; no value and no broken line.
    EXPECT_EQ(Log().find('\r'), std::string::npos);
    EXPECT_EQ(Log().find("a\"b"), std::string::npos);
    EXPECT_GE(toolkit_.GetJournal().Count(), cEntries);
    for (const JournalEntry& e : toolkit_.GetJournal().Entries())
        EXPECT_TRUE(IsLoggable(e.strSecond));
    (void)before;
}

TEST_F(ToolkitTest, AFileWhereAFolderShouldBeIsAFailure) {
    std::ofstream(drive_.Path() / "Games") << "not a folder";
    EXPECT_FALSE(toolkit_.createfolder(cetl::string("C:\\Games\\Kelvano")));
    EXPECT_FALSE(fs::exists(drive_.Path() / "Games" / "Kelvano"));
    EXPECT_TRUE(toolkit_.createfolder(cetl::string("C:\\Other\\Deeper")));
    EXPECT_TRUE(fs::is_directory(drive_.Path() / "Other" / "Deeper"));
}

// Every change reaches the disk only after the log that records it.
std::vector<std::string>* g_pViolations = nullptr;
std::string* g_pLogNative = nullptr;
int g_cChecked = 0;

void CheckLogBeforeChange(const char* pszCall, const char* pszPath) {
    const std::string call = pszCall, path = pszPath;
    if (path.find("Uninstall Log for") != std::string::npos) return; // the log itself
    if (call == "SetFileAttributes" || call == "WriteFile") return;  // on a journalled file
    ++g_cChecked;
    const std::string log = ReadText(*g_pLogNative);
    std::string needle = "\"" + path + "\"";
    if (call == "RegCreateKey" || call == "RegSetValue") needle = "\\" + path + "\"";
    if (log.find(needle) == std::string::npos) g_pViolations->push_back(call + " " + path);
}

TEST_F(ToolkitTest, EveryChangeIsInTheLogOnDiskBeforeItIsMade) {
    OpenArchive({{"data/a.txt", Bytes(10)},
                 {"data/sub/b.txt", Bytes(20)},
                 {"data/uninstall.dll", Bytes(30)},
                 {"native/kelvano.exe", Bytes(40000)}});
    ASSERT_TRUE(toolkit_.openjournal(cetl::string("Kelvano")));
    std::vector<std::string> violations;
    std::string logNative = Native(toolkit_.LogPath().Text8()).string();
    g_pViolations = &violations;
    g_pLogNative = &logNative;
    SetMutationHook(CheckLogBeforeChange);
    EXPECT_TRUE(toolkit_.installtree(cetl::string("C:\\Games\\Tree"), archive_,
                                     cetl::string("data"), 0, 50));
    EXPECT_TRUE(toolkit_.installfile(cetl::string("C:\\Program Files\\Kelvano\\kelvano.exe"),
                                     archive_, cetl::string("\\native\\kelvano.exe"), 50, 90));
    EXPECT_TRUE(toolkit_.linkfile(cetl::string("C:\\Menu\\Games\\Kelvano.lnk"),
                                  cetl::string("C:\\Program Files\\Kelvano\\kelvano.exe")));
    EXPECT_TRUE(toolkit_.setdwordvalue(host::HKEY_CURRENT_USER, cetl::string("Software\\V\\K"),
                                       cetl::string("N"), 1));
    SetMutationHook(nullptr);
    EXPECT_EQ(violations, std::vector<std::string>{});
    EXPECT_GE(g_cChecked, 12); // folders, files, the shortcut, keys and the value
    const std::string log = Log();
    EXPECT_NE(log.find("apphook { \"C:\\Games\\Tree\\uninstall.dll\" }"), std::string::npos);
    EXPECT_EQ(ReadText(drive_.Path() / "Games" / "Tree" / "sub" / "b.txt").size(), 20u);

    // Installing again adds nothing: one entry per item.
    const std::size_t cEntries = toolkit_.GetJournal().Count();
    SetupToolkit again(nullptr, MakeDesktopTarget());
    ASSERT_TRUE(again.openjournal(cetl::string("Kelvano")));
    EXPECT_EQ(again.GetJournal().Count(), cEntries);
    EXPECT_TRUE(
        again.installtree(cetl::string("C:\\Games\\Tree"), archive_, cetl::string("data"), 0, 50));
    EXPECT_EQ(again.GetJournal().Count(), cEntries);
    EXPECT_EQ(ReadText(Native(again.LogPath().Text8())), log);
}

TEST_F(ToolkitTest, InstalltreeProgressAndRefusals) {
    // Folders count 16384 each, files their size; progress climbs to the last percent.
    OpenArchive({{"Data/one.bin", Bytes(16384)}, {"data/two/three.bin", Bytes(16384)}});
    std::vector<Report> reports;
    toolkit_.setprogresshandler(Record, reinterpret_cast<std::intptr_t>(&reports));
    ASSERT_TRUE(
        toolkit_.installtree(cetl::string("C:\\T"), archive_, cetl::string("/data/"), 0, 100));
    // Folders "C:\T" and "C:\T\two": 0 and 25; files 50..75 and 75..100.
    std::vector<std::pair<int, int>> seen;
    for (const Report& r : reports)
        seen.push_back({r.nKind, r.nPercent});
    const std::vector<std::pair<int, int>> expected = {{1, 0},  {1, 25}, {0, 50},
                                                       {0, 75}, {0, 75}, {0, 100}};
    EXPECT_EQ(seen, expected);

    // Names that would leave the destination: refused before anything is made.
    for (const char* pszName : {"data/../escape.txt", "data/C:/x.txt", "data/a/../../b.txt"}) {
        zip::ZipFile& archive = archive_;
        OpenArchive({{"data/fine.txt", Bytes(5)}, {pszName, Bytes(5)}});
        EXPECT_FALSE(toolkit_.installtree(cetl::string("C:\\Refused"), archive,
                                          cetl::string("data"), 0, 100))
            << pszName;
        EXPECT_FALSE(fs::exists(drive_.Path() / "Refused")) << pszName;
        EXPECT_FALSE(fs::exists(drive_.Path() / "escape.txt")) << pszName;
    }

    // Only empty files straight at a drive root: nothing to divide by, so "from" is reported.
    OpenArchive({{"root/empty1", {}}, {"root/empty2", {}}});
    reports.clear();
    ASSERT_TRUE(toolkit_.installtree(cetl::string("C:\\"), archive_, cetl::string("root"), 40, 60));
    for (const Report& r : reports)
        EXPECT_EQ(r.nPercent, 40);
    EXPECT_TRUE(fs::exists(drive_.Path() / "empty2"));
}

TEST_F(ToolkitTest, ALogThatCannotBeWrittenStopsTheChangeAndKeepsThePreviousLog) {
    OpenArchive({{"native/kelvano.exe", Bytes(1000)}});
    ASSERT_TRUE(toolkit_.openjournal(cetl::string("Kelvano")));
    ASSERT_TRUE(toolkit_.savejournal());
    const std::string before = Log();
    // A folder standing at the temporary name makes every save fail.
    fs::create_directory(Native((std::string(toolkit_.LogPath().Text8()) + ".tmp").c_str()));
    host::DebugCapture capture;
    EXPECT_FALSE(toolkit_.installfile(cetl::string("C:\\Kelvano\\kelvano.exe"), archive_,
                                      cetl::string("native/kelvano.exe"), 0, 100));
    EXPECT_FALSE(fs::exists(drive_.Path() / "Kelvano"));
    EXPECT_EQ(Log(), before);
    EXPECT_NE(capture.Text().find("setuplib: writefile failed to create"), std::string::npos);

    // Missing entries: traced, ERROR_FILE_NOT_FOUND.
    EXPECT_FALSE(toolkit_.installfile(cetl::string("C:\\x.exe"), archive_,
                                      cetl::string("ppc\\kelvano.exe"), 0, 100));
    EXPECT_EQ(host::GetLastError(), host::ERROR_FILE_NOT_FOUND);
    EXPECT_NE(capture.Text().find("setuplib: installfile failed to find ppc/kelvano.exe\n"),
              std::string::npos);
    EXPECT_FALSE(toolkit_.finalize(archive_, cetl::string("native\\uninstaller.dll"), 95, 95, 100));
    EXPECT_EQ(host::GetLastError(), host::ERROR_FILE_NOT_FOUND);
    EXPECT_NE(capture.Text().find("setuplib: could not find native/uninstaller.dll for finalize\n"),
              std::string::npos);
}

TEST_F(ToolkitTest, FinalizeReplacesAnUninstallerThatDoesNotAnswerAndRegisters) {
    OpenArchive({{"native/uninstaller.dll", Bytes(300)}});
    ASSERT_TRUE(toolkit_.openjournal(cetl::string("Kelvano")));
    // Garbage where the uninstaller goes: it does not load, so it is replaced.
    std::ofstream(drive_.Path() / "Program Files" / "Vantor Software" / "uninstaller.dll")
        << "garbage";
    std::vector<Report> reports;
    toolkit_.setprogresshandler(Record, reinterpret_cast<std::intptr_t>(&reports));
    ASSERT_TRUE(toolkit_.finalize(archive_, cetl::string("native/uninstaller.dll"), 95, 95, 100));
    EXPECT_EQ(
        ReadText(drive_.Path() / "Program Files" / "Vantor Software" / "uninstaller.dll").size(),
        300u);
    ASSERT_FALSE(reports.empty());
    EXPECT_EQ(reports.back().nKind, kProgressFinishing);
    EXPECT_EQ(reports.back().nPercent, 100);
    // The uninstaller is shared: never journalled.
    EXPECT_EQ(Log().find("uninstaller.dll"), std::string::npos);
    HKEY hKey = nullptr;
    ASSERT_EQ(
        host::RegOpenKeyExA(host::HKEY_LOCAL_MACHINE,
                            "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Kelvano", 0,
                            host::KEY_READ, &hKey),
        host::ERROR_SUCCESS);
    host::RegCloseKey(hKey);

    // An installed uninstaller that answers version 2 stays, and the product is registered.
    const char* pszKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Kelvano";
    const fs::path installed =
        drive_.Path() / "Program Files" / "Vantor Software" / "uninstaller.dll";
    fs::copy_file(UNINSTALLER_LIB, installed, fs::copy_options::overwrite_existing);
    const std::string real = ReadText(installed);
    ASSERT_EQ(host::RegDeleteKeyA(host::HKEY_LOCAL_MACHINE, pszKey), host::ERROR_SUCCESS);
    ASSERT_TRUE(toolkit_.finalize(archive_, cetl::string("native/uninstaller.dll"), 95, 95, 100));
    EXPECT_EQ(ReadText(installed), real);
    ASSERT_EQ(host::RegOpenKeyExA(host::HKEY_LOCAL_MACHINE, pszKey, 0, host::KEY_READ, &hKey),
              host::ERROR_SUCCESS);
    host::RegCloseKey(hKey);
}

} // namespace
} // namespace sl
