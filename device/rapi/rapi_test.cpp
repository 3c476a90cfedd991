// The remote API library as a program sees it: loaded by its classic name, every function
// found by name, talking to a device service each test starts in a temporary folder.
#include "device/rapi.h"

#include "device/service.h"
#include "host/clock.h"
#include "host/heap.h"
#include "host/library.h"
#include "host/thread.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace rapi {
namespace {

namespace fs = std::filesystem;

constexpr DWORD kGenericRead = 0x80000000, kGenericWrite = 0x40000000;
constexpr DWORD kCreateAlways = 2, kOpenExisting = 3;
constexpr DWORD kRegSz = 1, kRegDword = 4;

// Every function, found by name in the binding's order.
struct Api {
#define KELVANO_RAPI_MEMBER(name, result, params) PFN_##name name = nullptr;
    KELVANO_RAPI_FUNCTIONS(KELVANO_RAPI_MEMBER)
#undef KELVANO_RAPI_MEMBER
    int cResolved = 0;
};

const Api& Rapi() {
    static const Api api = [] {
        Api a;
        // Beside this test, so the bare name finds it as the loader would for any program.
        host::HMODULE h = host::LoadLibrary("rapi.dll");
        if (!h) return a;
#define KELVANO_RAPI_RESOLVE(name, result, params)                                                 \
    a.name = reinterpret_cast<PFN_##name>(host::GetProcAddress(h, #name));                         \
    a.cResolved += a.name != nullptr;
        KELVANO_RAPI_FUNCTIONS(KELVANO_RAPI_RESOLVE)
#undef KELVANO_RAPI_RESOLVE
        return a;
    }();
    return api;
}

class RapiTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(Rapi().cResolved, kcRapiFunctions); }
    void Start(device::StartOptions options = {}) {
        std::string error;
        ASSERT_TRUE(device::StartService(DEVICE_PROGRAM, dir_, options, &error)) << error;
        fStarted_ = true;
    }
    void StartAndInit(device::StartOptions options = {}) {
        Start(options);
        ASSERT_EQ(Rapi().CeRapiInit(), S_OK);
    }
    void TearDown() override {
        Rapi().CeRapiUninit();
        std::string error;
        if (fStarted_) {
            EXPECT_TRUE(device::StopService(dir_, &error)) << error;
        }
        while (::waitpid(-1, nullptr, WNOHANG) > 0) {
        }
    }
    device::Client::Reply Tool(device::Call call) {
        device::Client client;
        device::Client::Reply reply;
        EXPECT_TRUE(client.Open(dir_) && client.Call(call, device::Writer(), &reply));
        return reply;
    }
    std::string Root() const { return device::RootFolder(dir_); }

    testsupport::TempFolder folder_{"krapi"};
    std::string dir_ = folder_.Path().string();
    testsupport::ScopedEnv env_{"KELVANO_DEVICE_DIR", dir_.c_str()};
    bool fStarted_ = false;
};

TEST_F(RapiTest, InitExSignalsItsEventWithTheResult) {
    Start();
    RAPIINIT init{sizeof(RAPIINIT), nullptr, E_FAIL};
    ASSERT_EQ(Rapi().CeRapiInitEx(&init), S_OK);
    ASSERT_NE(init.heRapiInit, nullptr);
    EXPECT_TRUE(static_cast<host::Event*>(init.heRapiInit)->Wait(10000));
    EXPECT_EQ(init.hrRapiInit, S_OK);
    RAPIINIT again{sizeof(RAPIINIT), nullptr, E_FAIL};
    EXPECT_EQ(Rapi().CeRapiInitEx(&again), CERAPI_E_ALREADYINITIALIZED);
    EXPECT_EQ(Rapi().CeRapiGetError(), S_OK);
    EXPECT_EQ(Rapi().CeRapiUninit(), S_OK);
    RAPIINIT bad{sizeof(RAPIINIT) + 1, nullptr, E_FAIL};
    EXPECT_EQ(Rapi().CeRapiInitEx(&bad), E_INVALIDARG);
}

TEST_F(RapiTest, FilesRoundTripAndAreFound) {
    StartAndInit();
    const Api& r = Rapi();
    ASSERT_TRUE(r.CeCreateDirectory(u"\\Data", nullptr));
    HANDLE h =
        r.CeCreateFile(u"\\Data\\a.bin", kGenericWrite, 0, nullptr, kCreateAlways, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    std::vector<BYTE> data(300000);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<BYTE>(i * 13 / 7);
    DWORD cb = 0;
    ASSERT_TRUE(r.CeWriteFile(h, data.data(), static_cast<DWORD>(data.size()), &cb, nullptr));
    EXPECT_EQ(cb, data.size());
    DWORD dwHigh = 1;
    EXPECT_EQ(r.CeGetFileSize(h, &dwHigh), data.size());
    EXPECT_EQ(dwHigh, 0u);
    FILETIME ftWrite{};
    EXPECT_TRUE(r.CeGetFileTime(h, nullptr, nullptr, &ftWrite));
    EXPECT_NE(ftWrite.dwHighDateTime, 0u);
    EXPECT_TRUE(r.CeCloseHandle(h));

    h = r.CeCreateFile(u"\\Data\\a.bin", kGenericRead, 0, nullptr, kOpenExisting, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(r.CeSetFilePointer(h, 100, nullptr, 0), 100u);
    std::vector<BYTE> back(data.size());
    ASSERT_TRUE(r.CeReadFile(h, back.data(), static_cast<DWORD>(back.size()), &cb, nullptr));
    EXPECT_EQ(cb, data.size() - 100); // a short read at the end
    EXPECT_TRUE(std::equal(back.begin(), back.begin() + cb, data.begin() + 100));
    EXPECT_TRUE(r.CeCloseHandle(h));

    ASSERT_TRUE(r.CeCopyFile(u"\\Data\\a.bin", u"\\Data\\b.bin", 1));
    EXPECT_FALSE(r.CeCopyFile(u"\\Data\\a.bin", u"\\Data\\b.bin", 1));
    DWORD cFound = 0;
    CE_FIND_DATA* pFound = nullptr;
    ASSERT_TRUE(r.CeFindAllFiles(u"\\Data\\*.bin", 0, &cFound, &pFound));
    ASSERT_EQ(cFound, 2u);
    std::set<std::u16string> names;
    for (DWORD i = 0; i < cFound; ++i) {
        names.insert(pFound[i].cFileName);
        EXPECT_EQ(pFound[i].nFileSizeLow, data.size());
    }
    EXPECT_EQ(names, (std::set<std::u16string>{u"a.bin", u"b.bin"}));
    EXPECT_EQ(r.CeRapiFreeBuffer(pFound), S_OK);

    CE_FIND_DATA found{};
    HANDLE hFind = r.CeFindFirstFile(u"\\Data\\*", &found);
    ASSERT_NE(hFind, INVALID_HANDLE_VALUE);
    std::set<std::u16string> walked{found.cFileName};
    while (r.CeFindNextFile(hFind, &found))
        walked.insert(found.cFileName);
    EXPECT_EQ(r.CeGetLastError(), 18u); // no more files
    EXPECT_EQ(walked, names);
    EXPECT_TRUE(r.CeFindClose(hFind));
    EXPECT_FALSE(r.CeFindClose(hFind));

    EXPECT_TRUE(r.CeMoveFile(u"\\Data\\b.bin", u"\\Data\\c.bin"));
    EXPECT_TRUE(r.CeDeleteFile(u"\\Data\\c.bin"));
    EXPECT_EQ(r.CeGetFileAttributes(u"\\Data\\c.bin"), 0xFFFFFFFFu);
    EXPECT_EQ(r.CeCreateFile(u"\\Data\\c.bin", kGenericRead, 0, nullptr, kOpenExisting, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(r.CeGetLastError(), 2u);
    EXPECT_EQ(r.CeRapiGetError(), S_OK); // the device answered; the file is what is missing
    EXPECT_EQ(r.CeFindFirstFile(u"\\Data\\*.none", &found), INVALID_HANDLE_VALUE);
    EXPECT_TRUE(fs::exists(Root() + "/Data/a.bin"));
}

TEST_F(RapiTest, RegistryKeysAndValues) {
    StartAndInit();
    const Api& r = Rapi();
    HKEY h = nullptr;
    DWORD dwDisposition = 0;
    ASSERT_EQ(r.CeRegCreateKeyEx(HKEY_LOCAL_MACHINE, u"Software\\Apps\\Rapi", 0, nullptr, 0,
                                 0xF003F, nullptr, &h, &dwDisposition),
              0);
    EXPECT_EQ(dwDisposition, 1u); // created
    const std::u16string dir = u"\\Program Files\\Rapi";
    const DWORD one = 1;
    ASSERT_EQ(r.CeRegSetValueEx(h, u"InstlDir", 0, kRegSz,
                                reinterpret_cast<const BYTE*>(dir.c_str()),
                                static_cast<DWORD>((dir.size() + 1) * 2)),
              0);
    ASSERT_EQ(r.CeRegSetValueEx(h, u"Instl", 0, kRegDword, reinterpret_cast<const BYTE*>(&one), 4),
              0);

    WCHAR sz[64] = {};
    DWORD dwType = 0, cb = 4;
    EXPECT_EQ(
        r.CeRegQueryValueEx(h, u"InstlDir", nullptr, &dwType, reinterpret_cast<BYTE*>(sz), &cb),
        234); // more data
    EXPECT_EQ(cb, (dir.size() + 1) * 2);
    cb = sizeof(sz);
    EXPECT_EQ(
        r.CeRegQueryValueEx(h, u"InstlDir", nullptr, &dwType, reinterpret_cast<BYTE*>(sz), &cb), 0);
    EXPECT_EQ(dwType, kRegSz);
    EXPECT_EQ(std::u16string(sz), dir);

    DWORD cValues = 0, cSubKeys = 9;
    EXPECT_EQ(r.CeRegQueryInfoKey(h, nullptr, nullptr, nullptr, &cSubKeys, nullptr, nullptr,
                                  &cValues, nullptr, nullptr, nullptr, nullptr),
              0);
    EXPECT_EQ(cValues, 2u);
    EXPECT_EQ(cSubKeys, 0u);
    std::set<std::u16string> values;
    for (DWORD i = 0;; ++i) {
        DWORD cch = 64;
        if (r.CeRegEnumValue(h, i, sz, &cch, nullptr, nullptr, nullptr, nullptr) != 0) break;
        values.insert(std::u16string(sz, cch));
    }
    EXPECT_EQ(values, (std::set<std::u16string>{u"Instl", u"InstlDir"}));
    EXPECT_EQ(r.CeRegDeleteValue(h, u"Instl"), 0);
    EXPECT_EQ(r.CeRegCloseKey(h), 0);

    HKEY hApps = nullptr;
    ASSERT_EQ(r.CeRegOpenKeyEx(HKEY_LOCAL_MACHINE, u"Software\\Apps", 0, 0x20019, &hApps), 0);
    DWORD cch = 64;
    ASSERT_EQ(r.CeRegEnumKeyEx(hApps, 0, sz, &cch, nullptr, nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(std::u16string(sz, cch), u"Rapi");
    cch = 2;
    EXPECT_EQ(r.CeRegEnumKeyEx(hApps, 0, sz, &cch, nullptr, nullptr, nullptr, nullptr), 234);
    EXPECT_EQ(r.CeRegCloseKey(hApps), 0);
    EXPECT_EQ(r.CeRegDeleteKey(HKEY_LOCAL_MACHINE, u"Software\\Apps\\Rapi"), 0);
    EXPECT_EQ(r.CeRegOpenKeyEx(HKEY_LOCAL_MACHINE, u"Software\\Apps\\Rapi", 0, 0x20019, &h), 2);
}

TEST_F(RapiTest, SystemInformationAndSpecialFolders) {
    device::StartOptions options;
    options.nArch = 4;
    StartAndInit(options);
    const Api& r = Rapi();
    SYSTEM_INFO info;
    std::memset(&info, 0xFE, sizeof(info));
    r.CeGetSystemInfo(&info);
    EXPECT_EQ(info.wProcessorArchitecture, PROCESSOR_ARCHITECTURE_SHX);
    EXPECT_EQ(info.dwNumberOfProcessors, 1u);

    struct {
        int nFolder;
        const char16_t* pszPath; // null: unknown
    } const folders[] = {
        {CSIDL_PROGRAMS, u"\\Windows\\Start Menu\\Programs"},
        {CSIDL_STARTUP, u"\\Windows\\StartUp"},
        {5, nullptr},
    };
    for (const auto& f : folders) {
        WCHAR sz[260] = {};
        DWORD cch = r.CeGetSpecialFolderPath(f.nFolder, 260, sz);
        if (!f.pszPath) {
            EXPECT_EQ(cch, 0u) << f.nFolder;
            continue;
        }
        EXPECT_EQ(std::u16string(sz, cch), f.pszPath) << f.nFolder;
        EXPECT_EQ(r.CeGetSpecialFolderPath(f.nFolder, 4, sz), 0u) << f.nFolder;
        EXPECT_EQ(r.CeGetLastError(), 122u) << f.nFolder;
    }
    WCHAR szTemp[2];
    EXPECT_EQ(r.CeGetTempPath(2, szTemp), 7u); // "\Temp\" needs 7 with its terminator
    CEOSVERSIONINFO version{};
    EXPECT_TRUE(r.CeGetVersionEx(&version));
    EXPECT_EQ(version.dwMajorVersion, 3u);
}

TEST_F(RapiTest, InvokeRunsEntriesAndOutlivesACrash) {
    StartAndInit();
    fs::create_directories(Root() + "/Windows");
    fs::copy_file(DEVICE_TESTLIB, Root() + "/Windows/blocks.dll");
    const Api& r = Rapi();
    struct {
        const char16_t* pszLibrary;
        const char16_t* pszEntry;
        HRESULT hr;
        DWORD dwLastError; // 0: not checked
        std::string output;
    } const cases[] = {
        {u"\\Windows\\blocks.dll", u"Echo", 0, 0, "ok:hi"},
        {u"\\Windows\\blocks.dll", u"Decline", 31, 0, ""},
        {u"\\Windows\\blocks.dll", u"Crash", -1, device::kErrorProcessAborted, ""},
        {u"\\Windows\\none.dll", u"Echo", -1, 126, ""},
    };
    for (const auto& c : cases) {
        auto* pbInput = static_cast<BYTE*>(host::LocalAlloc(host::LMEM_FIXED, 2));
        std::memcpy(pbInput, "hi", 2);
        DWORD cbOutput = 99;
        BYTE* pbOutput = nullptr;
        const HRESULT hr =
            r.CeRapiInvoke(c.pszLibrary, c.pszEntry, 2, pbInput, &cbOutput, &pbOutput, nullptr, 0);
        EXPECT_EQ(hr, c.hr) << c.output;
        if (c.dwLastError != 0) {
            EXPECT_EQ(r.CeGetLastError(), c.dwLastError);
        }
        EXPECT_EQ(std::string(reinterpret_cast<char*>(pbOutput), cbOutput), c.output);
        host::LocalFree(pbOutput);
    }
    // Stream mode is not offered, and the input is still taken.
    auto* pbInput = static_cast<BYTE*>(host::LocalAlloc(host::LMEM_FIXED, 1));
    IRAPIStream* pStream = nullptr;
    EXPECT_EQ(r.CeRapiInvoke(u"\\Windows\\blocks.dll", u"Echo", 1, pbInput, nullptr, nullptr,
                             &pStream, 0),
              E_NOTIMPL);
    EXPECT_NE(r.CeGetFileAttributes(u"\\Windows\\blocks.dll"), 0xFFFFFFFFu);
}

// Database, volume and window calls: a device that has none.
TEST_F(RapiTest, DatabasesVolumesAndWindowsAreNone) {
    StartAndInit();
    const Api& r = Rapi();
    CEGUID guid{};
    WCHAR sz[8] = {u'x'};
    struct {
        const char* pszName;
        std::function<bool()> failed;
        DWORD dwLastError;
    } const cases[] = {
        {"CeCreateDatabase", [&] { return r.CeCreateDatabase(sz, 0, 0, nullptr) == 0; }, 50},
        {"CeOpenDatabaseEx",
         [&] {
             CEOID oid = 0;
             return r.CeOpenDatabaseEx(&guid, &oid, sz, 0, 0, nullptr) == INVALID_HANDLE_VALUE;
         },
         2},
        {"CeFindFirstDatabase", [&] { return r.CeFindFirstDatabase(0) == INVALID_HANDLE_VALUE; },
         259},
        {"CeReadRecordProps",
         [&] { return r.CeReadRecordProps(nullptr, 0, nullptr, nullptr, nullptr, nullptr) == 0; },
         6},
        {"CeMountDBVol", [&] { return !r.CeMountDBVol(&guid, sz, 0); }, 50},
        {"CeEnumDBVolumes", [&] { return !r.CeEnumDBVolumes(&guid, sz, 8) && sz[0] == 0; }, 259},
        {"CeGetWindow", [&] { return r.CeGetWindow(nullptr, 5) == nullptr; }, 1400},
        {"CeGetWindowText", [&] { return r.CeGetWindowText(nullptr, sz, 8) == 0; }, 1400},
    };
    for (const auto& c : cases) {
        EXPECT_TRUE(c.failed()) << c.pszName;
        EXPECT_EQ(r.CeGetLastError(), c.dwLastError) << c.pszName;
        EXPECT_EQ(r.CeRapiGetError(), S_OK) << c.pszName;
    }
}

// Calls made without a device: each fails at once with the connection's failure.
void ExpectEveryCallFails(const Api& r, const char* pszWhen) {
    SYSTEM_INFO info;
    std::memset(&info, 0xFE, sizeof(info));
    HKEY h = nullptr;
    DWORD c = 0;
    CE_FIND_DATA* p = nullptr;
    const std::function<bool()> calls[] = {
        [&] { return r.CeGetFileAttributes(u"\\") == 0xFFFFFFFFu; },
        [&] {
            return r.CeCreateFile(u"\\x", kGenericWrite, 0, nullptr, kCreateAlways, 0, nullptr) ==
                   INVALID_HANDLE_VALUE;
        },
        [&] { return !r.CeFindAllFiles(u"\\*", 0, &c, &p) && p == nullptr; },
        [&] {
            return r.CeRegOpenKeyEx(HKEY_LOCAL_MACHINE, u"Software", 0, 0, &h) ==
                   static_cast<LONG>(ERROR_NOT_CONNECTED);
        },
        [&] {
            r.CeGetSystemInfo(&info);
            return info.wProcessorArchitecture == 0xFEFE; // left as it was
        },
        [&] { return r.CeRapiInvoke(u"\\x.dll", u"E", 0, nullptr, &c, nullptr, nullptr, 0) < 0; },
        [&] { return r.CeGetWindow(nullptr, 5) == nullptr; },
    };
    const auto start = std::chrono::steady_clock::now();
    for (std::size_t i = 0; i < std::size(calls); ++i) {
        EXPECT_TRUE(calls[i]()) << pszWhen << ", call " << i;
        EXPECT_EQ(r.CeRapiGetError(), E_RAPI_DISCONNECTED) << pszWhen << ", call " << i;
        EXPECT_EQ(r.CeGetLastError(), ERROR_NOT_CONNECTED) << pszWhen << ", call " << i;
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2)) << pszWhen;
}

TEST_F(RapiTest, NoServiceSignalsAFailure) {
    const Api& r = Rapi();
    ExpectEveryCallFails(r, "before init");
    RAPIINIT init{sizeof(RAPIINIT), nullptr, S_OK};
    ASSERT_EQ(r.CeRapiInitEx(&init), S_OK);
    EXPECT_TRUE(static_cast<host::Event*>(init.heRapiInit)->Wait(10000));
    EXPECT_EQ(init.hrRapiInit, E_RAPI_DISCONNECTED);
    ExpectEveryCallFails(r, "no service");
    EXPECT_EQ(r.CeRapiUninit(), S_OK);
    EXPECT_EQ(r.CeRapiUninit(), E_FAIL); // once only
}

TEST_F(RapiTest, NothingAnsweringTimesOutAndUninitStopsTheAttempt) {
    // A socket that takes connections and never answers them.
    int fdListen = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const std::string path = device::SocketPath(dir_);
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    ASSERT_EQ(::bind(fdListen, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)), 0);
    ASSERT_EQ(::listen(fdListen, 4), 0);

    const Api& r = Rapi();
    RAPIINIT init{sizeof(RAPIINIT), nullptr, S_OK};
    {
        host::VirtualClockScope clock;
        ASSERT_EQ(r.CeRapiInitEx(&init), S_OK);
        std::thread advance([] {
            host::WaitForVirtualClockWaiters(1);
            host::AdvanceVirtualClock(500);
        });
        EXPECT_FALSE(static_cast<host::Event*>(init.heRapiInit)->Wait(500));
        advance.join();
    }
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(r.CeRapiUninit(), S_OK);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_EQ(init.hrRapiInit, E_FAIL); // never published
    ::close(fdListen);
}

TEST_F(RapiTest, LostOrDisconnectedDeviceFailsPromptly) {
    StartAndInit();
    const Api& r = Rapi();
    ASSERT_EQ(Tool(device::Call::kDisconnect).status, device::Status::kServed);
    ExpectEveryCallFails(r, "disconnected");
    ASSERT_EQ(Tool(device::Call::kConnect).status, device::Status::kServed);
    EXPECT_NE(r.CeGetFileAttributes(u"\\"), 0xFFFFFFFFu);
    EXPECT_EQ(r.CeRapiGetError(), S_OK);

    device::Client::Reply status = Tool(device::Call::kStatus);
    device::Reader in(status.body);
    std::uint32_t n = 0, nPid = 0;
    ASSERT_TRUE(in.U32(&n) && in.U32(&n) && in.U32(&n) && in.U32(&nPid));
    ASSERT_EQ(::kill(static_cast<pid_t>(nPid), SIGKILL), 0);
    ::waitpid(static_cast<pid_t>(nPid), nullptr, 0);
    fStarted_ = false;
    ExpectEveryCallFails(r, "killed");
}

} // namespace
} // namespace rapi
