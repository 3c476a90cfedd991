// The toolkit on a device: a device service of the test's own, reached through "rapi.dll" as
// the installer reaches it, with the calls that crossed the link read back from its log.
#include "setup/sl_main.h"

#include "device/service.h"
#include "host/codepage.h"
#include "host/registry.h"
#include "setup/sl_rapi.h"
#include "setup/zip/zipfile.h"
#include "tests/support/temp_folder.h"
#include "tests/support/temp_registry.h"
#include "tools/zipwriter/zipwriter.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace sl {
namespace {

namespace fs = std::filesystem;
using testsupport::ScopedEnv;
using testsupport::TempFolder;

constexpr char kMaker[] = "\\Program Files\\Vantor Software";
constexpr char kLog[] = "\\Program Files\\Vantor Software\\Uninstall Log for Kelvano.txt";

std::vector<std::uint8_t> FileBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// Compressible, but not trivially so.
std::vector<std::uint8_t> Data(std::size_t cb) {
    std::vector<std::uint8_t> data(cb);
    for (std::size_t i = 0; i < cb; ++i)
        data[i] = static_cast<std::uint8_t>((i / 7) ^ (i % 13));
    return data;
}

class DeviceTest : public testing::Test {
protected:
    void TearDown() override { Stop(); }

    // A fresh device (or the same one again) and a library connected to it.
    void Start(device::StartOptions options = {}) {
        Stop();
        std::string error;
        ASSERT_TRUE(device::StartService(DEVICE_PROGRAM, dir_, options, &error)) << error;
        fStarted_ = true;
        lib_ = std::make_unique<SetupLib>();
        ASSERT_NE(lib_->DeviceToolkit(), nullptr);
    }
    void Stop() {
        lib_.reset();
        std::string error;
        if (fStarted_) {
            EXPECT_TRUE(device::StopService(dir_, &error)) << error;
        }
        fStarted_ = false;
        while (::waitpid(-1, nullptr, WNOHANG) > 0) {
        }
    }
    SetupToolkit& Device() { return *lib_->DeviceToolkit(); }
    fs::path Native(std::string path) const {
        for (char& ch : path)
            if (ch == '\\') ch = '/';
        return fs::path(device::RootFolder(dir_)) / path.substr(1);
    }
    // The log's lines since the last call.
    std::vector<std::string> Calls() {
        std::vector<std::string> lines;
        std::ifstream in(rapiLog_);
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        fs::remove(rapiLog_);
        return lines;
    }
    static int Count(const std::vector<std::string>& lines, const std::string& start) {
        int c = 0;
        for (const std::string& line : lines)
            c += line.rfind(start, 0) == 0;
        return c;
    }
    std::vector<std::string> TempFiles() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(device::RootFolder(dir_)))
            if (entry.path().filename().string().starts_with("This File Is Safe To Delete"))
                names.push_back(entry.path().filename().string());
        return names;
    }
    void
    OpenArchive(const std::vector<std::pair<std::string, std::vector<std::uint8_t>>>& entries) {
        zipwriter::ZipWriter writer;
        for (const auto& [name, data] : entries)
            writer.AddStored(name, data);
        const std::vector<std::uint8_t> bytes = writer.Finish();
        archive_ = std::make_unique<zip::ZipFile>();
        archive_->OpenMemory(bytes.data(), bytes.size(), false);
    }

    TempFolder folder_{"kelvano-sldev"};
    std::string dir_ = folder_.File("device");
    std::string rapiLog_ = folder_.File("rapi.log");
    std::string record_ = folder_.File("hook-record");
    ScopedEnv deviceEnv_{"KELVANO_DEVICE_DIR", dir_.c_str()};
    ScopedEnv libraryEnv_{"KELVANO_LIBRARY_PATH", RAPI_FOLDER};
    ScopedEnv logEnv_{"KELVANO_RAPI_LOG", rapiLog_.c_str()};
    ScopedEnv hookEnv_{"KELVANO_TEST_HOOK_RECORD", record_.c_str()};
    ScopedEnv driveEnv_{"KELVANO_DRIVE_DIR", folder_.File("drive").c_str()};
    ScopedEnv appsEnv_{"KELVANO_APPLICATIONS_DIR", folder_.File("apps").c_str()};
    testsupport::TempRegistry registry_{"kelvano-sldev-registry"};
    std::unique_ptr<SetupLib> lib_;
    std::unique_ptr<zip::ZipFile> archive_;
    bool fStarted_ = false;
};

TEST_F(DeviceTest, PlatformAndFolders) {
    const struct {
        std::uint32_t nArch;
        const char* pszPlatform;
    } cases[] = {{1, "mips"}, {3, "ppc"}, {4, "shx"}, {5, "arm"}, {7, "unknown"}};
    for (const auto& c : cases) {
        Start({.nArch = c.nArch, .decompressorFile = {}});
        EXPECT_EQ(std::string(Device().getplatform().Text8()), c.pszPlatform);
    }
    EXPECT_STREQ(Device().getfolder(kFolderInstallRoot).Text8(), "\\");
    EXPECT_STREQ(Device().getfolder(kFolderProgramFiles).Text8(), "\\Program Files");
    EXPECT_STREQ(Device().getfolder(kFolderMaker).Text8(), kMaker);
    EXPECT_STREQ(Device().getfolder(kFolderProgramsMenu).Text8(),
                 "\\Windows\\Start Menu\\Programs");
    EXPECT_STREQ(Device().getfolder(kFolderStartup).Text8(), "\\Windows\\StartUp");

    // A device that keeps its programs on a storage card says so in its registry.
    ASSERT_TRUE(
        Device().settextvalue(host::HKEY_LOCAL_MACHINE, "PMail\\Attachments", "TopDir", "Storage"));
    SetupToolkit fresh(nullptr, MakeDeviceTarget(lib_->connectdevice(0)));
    EXPECT_STREQ(fresh.getfolder(kFolderProgramFiles).Text8(), "\\Storage");
    EXPECT_STREQ(fresh.getfolder(kFolderMaker).Text8(), "\\Storage\\Vantor Software");
}

// Which files travel packed, and what a decompressor that cannot unpack leads to.
TEST_F(DeviceTest, BigFilesTravelPackedWhereTheDeviceCanUnpack) {
    const std::string longFolder = "\\" + std::string(180, 'a') + "\\" + std::string(180, 'b');
    const struct {
        const char* pszName;
        std::string decompressor;
        std::string path;
        std::size_t cb;
        int cUnpack; // DecompressFile calls
        int nVersionAfter;
    } cases[] = {
        {"no decompressor", "", "\\plain.bin", 6000, 0, 0},
        {"at the limit", BROKEN_LZRAPI_LIB, "\\limit.bin", 5120, 0, 1},
        {"unpacking fails", BROKEN_LZRAPI_LIB, "\\big.bin", 5121, 1, 0},
#ifdef LZRAPI_LIB
        {"unpacked", LZRAPI_LIB, "\\big.bin", 5121, 1, 1},
        {"a long path", LZRAPI_LIB, longFolder + "\\big.bin", 200000, 1, 1},
#endif
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszName);
        Stop();
        fs::remove_all(dir_);
        Start({.nArch = {}, .decompressorFile = c.decompressor});
        ASSERT_TRUE(Device().openjournal("Kelvano"));
        ASSERT_TRUE(Device().createfolder(c.path.substr(0, c.path.rfind('\\')).c_str()));
        Calls();
        const std::vector<std::uint8_t> data = Data(c.cb);
        ASSERT_TRUE(Device().writefile(c.path.c_str(), data.data(), static_cast<DWORD>(data.size()),
                                       0, 100));
        EXPECT_EQ(FileBytes(Native(c.path)), data);
        EXPECT_EQ(Device().DecompressorVersion(), c.nVersionAfter);
        const std::vector<std::string> calls = Calls();
        EXPECT_EQ(Count(calls, "CeRapiInvoke \\Program Files\\Vantor Software\\lzrapi.dll "
                               "DecompressFile"),
                  c.cUnpack);
        EXPECT_TRUE(TempFiles().empty());
        if (c.cUnpack != 0) {
            // The temporary file was in the log before it was made.
            EXPECT_EQ(Count(calls, "CeCreateFile \\This File Is Safe To Delete (#"), 1);
            EXPECT_NE(
                ReadText(Native(kLog)).find("deletefile { \"\\This File Is Safe To Delete (#"),
                std::string::npos);
        }
        if (c.nVersionAfter == 0) {
            // Nothing is packed any more.
            ASSERT_TRUE(Device().writefile("\\again.bin", data.data(),
                                           static_cast<DWORD>(data.size()), -1, -1));
            EXPECT_EQ(Count(Calls(), "CeRapiInvoke"), 0);
        }
    }
}

TEST_F(DeviceTest, DecompressorIsInstalledWhereMissing) {
    Start();
    OpenArchive({{"arm/lzrapi.dll", FileBytes(BROKEN_LZRAPI_LIB)}});
    EXPECT_EQ(Device().DecompressorVersion(), 0);
    EXPECT_TRUE(Device().installdecompressor(*archive_, "\\ARM\\LZRAPI.DLL"));
    EXPECT_EQ(Device().DecompressorVersion(), 1);
    EXPECT_TRUE(fs::exists(Native(std::string(kMaker) + "\\lzrapi.dll")));
    EXPECT_FALSE(Device().installdecompressor(*archive_, "arm/missing.dll") &&
                 Device().DecompressorVersion() == 0);
    EXPECT_TRUE(lib_->DesktopToolkit().installdecompressor(*archive_, "arm/lzrapi.dll"));
}

// The desktop's language choice goes with the game; a missing one is not made up.
TEST_F(DeviceTest, LanguageIsCopiedFromTheDesktop) {
    Start();
    HKEY hKey = nullptr;
    ASSERT_EQ(host::RegCreateKeyExA(host::HKEY_LOCAL_MACHINE, "SOFTWARE\\Vantor\\NLS", 0, nullptr,
                                    0, host::KEY_ALL_ACCESS, nullptr, &hKey, nullptr),
              host::ERROR_SUCCESS);
    const std::u16string lang = u"eo";
    host::RegSetValueExW(hKey, u"Lang-Kelvano CE", 0, host::REG_SZ,
                         reinterpret_cast<const BYTE*>(lang.c_str()), 6);
    host::RegCloseKey(hKey);
    ASSERT_TRUE(Device().copylanguage("Kelvano CE"));
    string text;
    EXPECT_TRUE(Device().Target().QueryText(host::HKEY_LOCAL_MACHINE, "SOFTWARE\\Vantor\\NLS",
                                            "Lang-Kelvano CE", 1024, &text));
    EXPECT_STREQ(text.Text8(), "eo");
    EXPECT_FALSE(Device().Target().QueryText(host::HKEY_LOCAL_MACHINE, "SOFTWARE\\Vantor\\NLS",
                                             "Opt-Kelvano CE", 1024, &text));

    // An unplugged device refuses the value, and the copy fails.
    ASSERT_EQ(
        std::system((std::string(DEVICE_PROGRAM) + " --dir '" + dir_ + "' disconnect").c_str()), 0);
    EXPECT_FALSE(Device().copylanguage("Kelvano CE"));
    EXPECT_EQ(host::GetLastError(), rapi::ERROR_NOT_CONNECTED);
}

TEST_F(DeviceTest, RegistrationAndHooks) {
    Start();
    OpenArchive({{"arm/uninstaller.dll", FileBytes(UNINSTALLER_LIB)}});
    ASSERT_TRUE(Device().openjournal("Kelvano"));
    ASSERT_TRUE(Device().finalize(*archive_, "arm\\uninstaller.dll", 0, 95, 100));
    SetupTarget& target = Device().Target();
    const char kKey[] = "Software\\Apps\\Kelvano";
    for (const auto& [pszName, pszText] :
         {std::pair{"InstlDir", "Kelvano"},
          std::pair{"IsvFile", "\\Program Files\\Vantor Software\\uninstaller.dll"}}) {
        string text;
        EXPECT_TRUE(target.QueryText(host::HKEY_LOCAL_MACHINE, kKey, pszName, 1024, &text));
        EXPECT_STREQ(text.Text8(), pszText);
    }
    DeviceConnection* pConnection = lib_->connectdevice(0);
    rapi::HKEY hKey = nullptr;
    ASSERT_EQ(CeRegOpenKeyEx(pConnection, rapi::HKEY_LOCAL_MACHINE, u"Software\\Apps\\Kelvano", 0,
                             host::KEY_READ, &hKey),
              0);
    for (const auto& [pszName, dwExpected] :
         {std::pair{u"Instl", 1u}, std::pair{u"InstlDirCnt", 0u}}) {
        DWORD dw = 99, cb = sizeof(dw), dwType = 0;
        EXPECT_EQ(CeRegQueryValueEx(pConnection, hKey, pszName, nullptr, &dwType,
                                    reinterpret_cast<BYTE*>(&dw), &cb),
                  0);
        EXPECT_EQ(dwType, host::REG_DWORD);
        EXPECT_EQ(dw, dwExpected);
    }
    CeRegCloseKey(pConnection, hKey);

    // The hook runs on the device, through the shared uninstaller there.
    fs::copy_file(TEST_HOOK_LIB, Native("\\hook.dll"));
    EXPECT_TRUE(Device().callapphook("\\hook.dll", "OnUninstallBegin", "Kelvano"));
    std::ofstream(record_ + ".decline") << "no";
    EXPECT_FALSE(Device().callapphook("\\hook.dll", "OnUninstallBegin", "Kelvano"));
    EXPECT_TRUE(Device().callapphook("\\missing.dll", "OnUninstallBegin", "Kelvano"));
    EXPECT_EQ(ReadText(record_), "OnUninstallBegin Kelvano\nOnUninstallBegin Kelvano\n");
}

// A device loses its log for a moment while replacing it: readers take the replacement.
TEST_F(DeviceTest, LogIsReadFromItsReplacementWhileMissing) {
    Start();
    ASSERT_TRUE(Device().openjournal("Kelvano"));
    ASSERT_TRUE(Device().createfolder("\\Games\\Kelvano"));
    Device().closejournal();
    fs::rename(Native(kLog), Native(std::string(kLog) + ".tmp"));

    SetupToolkit reader(nullptr, MakeDeviceTarget(lib_->connectdevice(0)));
    ASSERT_TRUE(reader.openjournal("Kelvano"));
    EXPECT_TRUE(reader.GetJournal().Contains(kDeleteDir, "\\Games\\Kelvano"));

    SetupToolkit remover(nullptr, MakeDeviceTarget(lib_->connectdevice(0)));
    EXPECT_TRUE(remover.uninstall("Kelvano"));
    EXPECT_FALSE(fs::exists(Native("\\Games")));
    EXPECT_FALSE(fs::exists(Native(std::string(kLog) + ".tmp")));

    // A log no installation could have written is not read at all.
    fs::create_directory(Native("\\Empty"));
    std::ofstream(Native(kLog)) << "deletedir { \"\\Empty\" }\n";
    fs::resize_file(Native(kLog), std::uintmax_t{65} << 20);
    EXPECT_FALSE(remover.uninstall("Kelvano"));
    EXPECT_TRUE(fs::exists(Native("\\Empty")));
}

// An installation through the device toolkit, removed by the device's own uninstaller.
TEST_F(DeviceTest, DeviceUninstallerRemovesAnInstallation) {
    Start();
    OpenArchive(
        {{"arm/kelvano.exe", Data(9000)}, {"arm/uninstaller.dll", FileBytes(UNINSTALLER_LIB)}});
    SetupToolkit& toolkit = Device();
    ASSERT_TRUE(toolkit.openjournal("Kelvano"));
    ASSERT_TRUE(
        toolkit.adddeleteval(host::HKEY_CURRENT_USER, "Software\\Vantor\\Kelvano CE", "Settings"));
    const string exe = toolkit.getfolder(kFolderProgramFiles) + "\\Kelvano\\kelvano.exe";
    ASSERT_TRUE(toolkit.installfile(exe, *archive_, "arm\\kelvano.exe", 5, 95));
    ASSERT_TRUE(
        toolkit.linkfile(toolkit.getfolder(kFolderProgramsMenu) + "\\Games\\Kelvano.lnk", exe));
    ASSERT_TRUE(toolkit.finalize(*archive_, "arm\\uninstaller.dll", 0, 95, 100));
    EXPECT_TRUE(fs::exists(Native(exe.Text8())));
    Stop();

    const std::string command =
        std::string(DEVICE_PROGRAM) + " --dir '" + dir_ + "' uninstall Kelvano";
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_FALSE(fs::exists(Native("\\Program Files\\Kelvano")));
    EXPECT_FALSE(fs::exists(Native("\\Windows\\Start Menu\\Programs\\Games")));
    EXPECT_FALSE(fs::exists(Native(kLog)));
    EXPECT_TRUE(fs::exists(Native(std::string(kMaker) + "\\uninstaller.dll")));
    // The device's registration went with it (its registry, not this machine's).
    host::RegSetStorageFolder(device::RegistryFolder(dir_));
    HKEY hKey = nullptr;
    const host::LONG nApps = host::RegOpenKeyExA(
        host::HKEY_LOCAL_MACHINE, "Software\\Apps\\Kelvano", 0, host::KEY_READ, &hKey);
    const host::LONG nApp =
        host::RegOpenKeyExA(host::HKEY_LOCAL_MACHINE, "Software\\Apps", 0, host::KEY_READ, &hKey);
    if (nApp == host::ERROR_SUCCESS) host::RegCloseKey(hKey);
    host::RegSetStorageFolder(registry_.Path().string());
    EXPECT_NE(nApps, host::ERROR_SUCCESS);
    EXPECT_EQ(nApp, host::ERROR_SUCCESS);
}

} // namespace
} // namespace sl
