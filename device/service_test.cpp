// Each test starts its own device service in a temporary folder and speaks the wire to it.
#include "device/service.h"

#include "anim/cea_zz.h"
#include "host/codepage.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace device {
namespace {

namespace fs = std::filesystem;

constexpr std::uint32_t kHklm = 0x80000002;
constexpr std::uint32_t kGenericRead = 0x80000000, kGenericWrite = 0x40000000;
constexpr std::uint32_t kCreateAlways = 2, kOpenExisting = 3;

class DeviceTest : public ::testing::Test {
protected:
    void Start(StartOptions options = {}) {
        std::string error;
        ASSERT_TRUE(StartService(DEVICE_PROGRAM, dir_, options, &error)) << error;
        ASSERT_TRUE(client_.Open(dir_));
    }
    void TearDown() override {
        client_.Close();
        std::string error;
        EXPECT_TRUE(StopService(dir_, &error)) << error;
        while (::waitpid(-1, nullptr, WNOHANG) > 0) {
        }
    }

    Client::Reply Do(Call call, const Writer& body = Writer(), Client* pClient = nullptr) {
        Client::Reply reply;
        EXPECT_TRUE((pClient ? pClient : &client_)->Call(call, body, &reply));
        return reply;
    }
    std::uint32_t Handle(const Client::Reply& reply) {
        Reader in(reply.body);
        std::uint32_t n = kNoHandle;
        in.U32(&n);
        return n;
    }
    std::string Root() const { return RootFolder(dir_); }
    // "\bin\probe" writes its profile and first argument to "\out.txt" on the device.
    void WriteProbe() {
        fs::create_directories(Root() + "/bin");
        {
            std::ofstream script(Root() + "/bin/probe");
            script << "#!/bin/sh\necho \"$KELVANO_PROFILE $1\" > \"$KELVANO_DRIVE_DIR/out.txt\"\n";
        }
        fs::permissions(Root() + "/bin/probe", fs::perms::owner_all);
    }
    std::string ReadOut() {
        std::ifstream out(Root() + "/out.txt");
        std::string line;
        std::getline(out, line);
        return line;
    }

    testsupport::TempFolder folder_{"kdev"};
    std::string dir_ = folder_.Path().string();
    Client client_;
};

TEST_F(DeviceTest, FileRoundTripInChunks) {
    Start();
    ASSERT_EQ(Do(Call::kCreateDirectory, Writer().Text(u"\\Data")).nResult, 1);
    Client::Reply reply =
        Do(Call::kCreateFile,
           Writer().Text(u"\\Data\\big.bin").U32(kGenericWrite).U32(0).U32(kCreateAlways).U32(0));
    ASSERT_EQ(reply.nResult, 1);
    std::uint32_t h = Handle(reply);
    std::vector<std::uint8_t> data(3 << 20);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<std::uint8_t>(i * 7 / 5);
    constexpr std::size_t kChunk = 256 << 10;
    for (std::size_t i = 0; i < data.size(); i += kChunk)
        ASSERT_EQ(Do(Call::kWriteFile, Writer().U32(h).Bytes(&data[i], kChunk)).nResult, 1);
    ASSERT_EQ(Do(Call::kCloseHandle, Writer().U32(h)).nResult, 1);
    // A closed handle is gone.
    reply = Do(Call::kGetFileSize, Writer().U32(h));
    EXPECT_EQ(reply.nResult, 0);
    EXPECT_EQ(reply.nLastError, 6u);

    h = Handle(Do(Call::kCreateFile, Writer()
                                         .Text(u"data/BIG.bin") // any case, either separator
                                         .U32(kGenericRead)
                                         .U32(0)
                                         .U32(kOpenExisting)
                                         .U32(0)));
    ASSERT_NE(h, kNoHandle);
    reply = Do(Call::kGetFileSize, Writer().U32(h));
    std::uint64_t cb = 0;
    Reader(reply.body).U64(&cb);
    EXPECT_EQ(cb, data.size());
    std::vector<std::uint8_t> back;
    for (;;) {
        reply = Do(Call::kReadFile, Writer().U32(h).U32(1 << 20));
        ASSERT_EQ(reply.nResult, 1);
        std::vector<std::uint8_t> chunk;
        ASSERT_TRUE(Reader(reply.body).Bytes(&chunk));
        if (chunk.empty()) break;
        back.insert(back.end(), chunk.begin(), chunk.end());
    }
    EXPECT_TRUE(back == data);
    Do(Call::kCloseHandle, Writer().U32(h));

    reply = Do(Call::kFindAllFiles, Writer().Text(u"\\Data\\*.bin").U32(0));
    Reader found(reply.body);
    std::uint32_t c = 0, nAttributes = 0;
    std::uint64_t t, cbFound = 0;
    std::u16string name;
    ASSERT_TRUE(found.U32(&c) && found.U32(&nAttributes) && found.U64(&t) && found.U64(&t) &&
                found.U64(&t) && found.U64(&cbFound) && found.Text(&name));
    EXPECT_EQ(c, 1u);
    EXPECT_EQ(name, u"big.bin");
    EXPECT_EQ(cbFound, data.size());

    EXPECT_EQ(Do(Call::kDeleteFile, Writer().Text(u"\\Data\\big.bin")).nResult, 1);
    EXPECT_EQ(static_cast<std::uint32_t>(
                  Do(Call::kGetFileAttributes, Writer().Text(u"\\Data\\big.bin")).nResult),
              0xFFFFFFFFu);
}

TEST_F(DeviceTest, PathsNeverLeaveTheRoot) {
    Start();
    const std::u16string paths[] = {u"\\..\\..\\x1", u"..\\..\\x2", u"/../../x3",
                                    u"\\a\\..\\..\\..\\x4"};
    int i = 1;
    for (const std::u16string& path : paths) {
        Client::Reply reply =
            Do(Call::kCreateFile,
               Writer().Text(path).U32(kGenericWrite).U32(0).U32(kCreateAlways).U32(0));
        ASSERT_EQ(reply.nResult, 1);
        Do(Call::kCloseHandle, Writer().U32(Handle(reply)));
        const std::string leaf = "x" + std::to_string(i++);
        EXPECT_TRUE(fs::exists(fs::path(Root()) / leaf)) << leaf;
        EXPECT_FALSE(fs::exists(fs::path(dir_) / leaf)) << leaf;
        EXPECT_FALSE(fs::exists(fs::path(dir_).parent_path() / leaf)) << leaf;
    }
    // A drive letter is no way out either.
    EXPECT_EQ(Do(Call::kCreateDirectory, Writer().Text(u"D:\\elsewhere")).nResult, 0);
}

TEST_F(DeviceTest, RegistryRoundTripWithConnectionHandles) {
    Start();
    // The fresh device: "Software\Apps" and no "TopDir".
    Client::Reply reply =
        Do(Call::kRegOpenKey, Writer().U32(kHklm).Text(u"Software\\Apps").U32(0xF003F));
    ASSERT_EQ(reply.nResult, 0);
    const std::uint32_t hApps = Handle(reply);
    EXPECT_EQ(
        Do(Call::kRegOpenKey, Writer().U32(kHklm).Text(u"PMail\\Attachments").U32(0x20019)).nResult,
        2);

    reply = Do(Call::kRegCreateKey, Writer().U32(hApps).Text(u"Kelvano").U32(0).U32(0xF003F));
    ASSERT_EQ(reply.nResult, 0);
    Reader created(reply.body);
    std::uint32_t hGame = 0, nDisposition = 0;
    ASSERT_TRUE(created.U32(&hGame) && created.U32(&nDisposition));
    EXPECT_EQ(nDisposition, 1u);
    const std::u16string dir = u"\\Program Files\\Kelvano";
    std::vector<std::uint8_t> sz(
        reinterpret_cast<const std::uint8_t*>(dir.c_str()),
        reinterpret_cast<const std::uint8_t*>(dir.c_str() + dir.size() + 1));
    EXPECT_EQ(
        Do(Call::kRegSetValue, Writer().U32(hGame).Text(u"InstlDir").U32(1).Bytes(sz)).nResult, 0);
    reply = Do(Call::kRegQueryValue, Writer().U32(hGame).Text(u"instldir"));
    EXPECT_EQ(reply.nResult, 0);
    std::uint32_t nType = 0;
    std::vector<std::uint8_t> back;
    Reader value(reply.body);
    ASSERT_TRUE(value.U32(&nType) && value.Bytes(&back));
    EXPECT_EQ(nType, 1u);
    EXPECT_EQ(back, sz);

    reply = Do(Call::kRegEnumKey, Writer().U32(hApps).U32(0));
    std::u16string name;
    Reader(reply.body).Text(&name);
    EXPECT_EQ(name, u"Kelvano");
    EXPECT_EQ(Do(Call::kRegEnumKey, Writer().U32(hApps).U32(1)).nResult, 259);
    reply = Do(Call::kRegQueryInfoKey, Writer().U32(hGame));
    Reader info(reply.body);
    std::uint32_t cSub = 9, cchSub, cValues = 0;
    ASSERT_TRUE(info.U32(&cSub) && info.U32(&cchSub) && info.U32(&cValues));
    EXPECT_EQ(cSub, 0u);
    EXPECT_EQ(cValues, 1u);

    // Handles are the connection's: another client has none of them.
    Client other;
    ASSERT_TRUE(other.Open(dir_));
    EXPECT_EQ(Do(Call::kRegQueryValue, Writer().U32(hGame).Text(u"InstlDir"), &other).nResult, 6);
    EXPECT_EQ(Do(Call::kRegCloseKey, Writer().U32(hGame)).nResult, 0);
    EXPECT_EQ(Do(Call::kRegCloseKey, Writer().U32(hGame)).nResult, 6);
    EXPECT_EQ(Do(Call::kRegDeleteKey, Writer().U32(hApps).Text(u"Kelvano")).nResult, 0);
    EXPECT_EQ(Do(Call::kRegOpenKey, Writer().U32(hApps).Text(u"Kelvano").U32(0x20019)).nResult, 2);
}

TEST_F(DeviceTest, SystemInfoReportsTheArchitectureAndFolders) {
    for (std::uint32_t nArch : {5u, 1u, 4u, 3u}) {
        StartOptions options;
        options.nArch = nArch;
        Start(options);
        Client::Reply reply = Do(Call::kGetSystemInfo);
        std::uint32_t nReported = 0;
        Reader(reply.body).U32(&nReported);
        EXPECT_EQ(nReported, nArch);
        client_.Close();
        std::string error;
        ASSERT_TRUE(StopService(dir_, &error)) << error;
    }
    StartOptions options;
    options.decompressorFile = DEVICE_TESTLIB;
    Start(options);
    const Client::Reply reply = Do(Call::kStatus);
    Reader status(reply.body);
    std::uint32_t n = 0, fDecompressor = 0;
    ASSERT_TRUE(status.U32(&n) && status.U32(&n) && status.U32(&fDecompressor));
    EXPECT_EQ(fDecompressor, 1u);
    EXPECT_TRUE(fs::exists(Root() + "/Program Files/Vantor Software/lzrapi.dll"));
    struct {
        std::uint32_t nFolder;
        std::int32_t nResult;
        std::u16string path;
    } const folders[] = {
        {2, 1, u"\\Windows\\Start Menu\\Programs"}, {7, 1, u"\\Windows\\StartUp"}, {5, 0, u""}};
    for (const auto& f : folders) {
        Client::Reply reply = Do(Call::kGetSpecialFolder, Writer().U32(f.nFolder));
        std::u16string path;
        Reader(reply.body).Text(&path);
        EXPECT_EQ(reply.nResult, f.nResult) << f.nFolder;
        EXPECT_EQ(path, f.path) << f.nFolder;
    }
    EXPECT_TRUE(fs::is_directory(Root() + "/Windows/StartUp"));
    EXPECT_EQ(Do(Call::kGetSystemMetrics, Writer().U32(0)).nResult, 240);

    // A shortcut keeps its target, and its desktop twin stays in the device folder.
    const std::u16string link = u"\\Windows\\StartUp\\Kelvano.lnk";
    EXPECT_EQ(
        Do(Call::kCreateShortcut, Writer().Text(link).Text(u"\\Program Files\\k.exe")).nResult, 1);
    Client::Reply linkReply = Do(Call::kGetShortcutTarget, Writer().Text(link));
    std::u16string target;
    Reader(linkReply.body).Text(&target);
    EXPECT_EQ(target, u"\\Program Files\\k.exe");
    EXPECT_FALSE(fs::is_empty(dir_ + "/applications"));
}

TEST_F(DeviceTest, DisconnectRefusesCallsAndConnectRestoresThem) {
    Start();
    EXPECT_EQ(Do(Call::kDisconnect).status, Status::kServed);
    Client::Reply reply = Do(Call::kGetSystemInfo);
    EXPECT_EQ(reply.status, Status::kDisconnected);
    EXPECT_EQ(reply.nLastError, kErrorNotConnected);
    EXPECT_TRUE(reply.body.empty());
    EXPECT_EQ(Do(Call::kStatus).status, Status::kServed);
    // The state outlives the service.
    client_.Close();
    std::string error;
    ASSERT_TRUE(StopService(dir_, &error));
    Start();
    EXPECT_EQ(Do(Call::kGetSystemInfo).status, Status::kDisconnected);
    EXPECT_EQ(Do(Call::kConnect).status, Status::kServed);
    EXPECT_EQ(Do(Call::kGetSystemInfo).status, Status::kServed);
}

int RawSocket(const std::string& dir) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::string path = SocketPath(dir);
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)), 0);
    return fd;
}

TEST_F(DeviceTest, LostAndMalformedClientsLeaveTheServiceServing) {
    Start();
    // A client that vanishes halfway through a 1 MB write.
    std::vector<std::uint8_t> big(1 << 20);
    std::vector<std::uint8_t> request =
        EncodeRequest(Call::kWriteFile, 1, Writer().U32(1).Bytes(big));
    int fd = RawSocket(dir_);
    ASSERT_GT(::send(fd, request.data(), request.size() / 2, MSG_NOSIGNAL), 0);
    ::close(fd);
    // One that stops after half a header and stays.
    int fdIdle = RawSocket(dir_);
    ASSERT_EQ(::send(fdIdle, request.data(), 7, MSG_NOSIGNAL), 7);
    // One that sends nonsense: answered as malformed, then hung up on.
    fd = RawSocket(dir_);
    request = EncodeRequest(Call::kDeleteFile, 2, Writer().U32(1));
    ASSERT_EQ(::send(fd, request.data(), request.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(request.size()));
    std::uint8_t header[sizeof(ReplyHeader)];
    ASSERT_EQ(::recv(fd, header, sizeof(header), MSG_WAITALL),
              static_cast<ssize_t>(sizeof(header)));
    EXPECT_EQ(LoadReplyHeader(header).nStatus, static_cast<std::uint32_t>(Status::kMalformed));
    EXPECT_EQ(::recv(fd, header, sizeof(header), 0), 0);
    ::close(fd);

    EXPECT_EQ(Do(Call::kStatus).status, Status::kServed);
    ::close(fdIdle);
}

TEST_F(DeviceTest, KilledServiceFailsTheNextCallAtOnce) {
    Start();
    Client::Reply reply = Do(Call::kStatus);
    Reader in(reply.body);
    std::uint32_t n, nPid = 0;
    ASSERT_TRUE(in.U32(&n) && in.U32(&n) && in.U32(&n) && in.U32(&nPid));
    ASSERT_EQ(::kill(static_cast<pid_t>(nPid), SIGKILL), 0);
    ::waitpid(static_cast<pid_t>(nPid), nullptr, 0);
    EXPECT_FALSE(client_.Call(Call::kGetSystemInfo, Writer(), &reply));
    EXPECT_FALSE(client_.IsOpen());
    EXPECT_FALSE(client_.Call(Call::kGetSystemInfo, Writer(), &reply));
    // The stale socket does not stop a restart.
    Start();
    EXPECT_EQ(Do(Call::kStatus).status, Status::kServed);
}

TEST_F(DeviceTest, InvokeRunsBlockEntriesAndSurvivesACrash) {
    Start();
    fs::create_directories(Root() + "/Windows");
    fs::copy_file(DEVICE_TESTLIB, Root() + "/Windows/blocks.dll");
    struct {
        const char16_t* pszLibrary;
        const char16_t* pszEntry;
        std::int32_t nResult;
        std::uint32_t nLastError;
        std::string output;
    } const cases[] = {
        {u"\\Windows\\blocks.dll", u"Echo", 0, 0, "ok:hi"},
        {u"\\Windows\\blocks.dll", u"Decline", 31, 0, ""},
        {u"\\Windows\\blocks.dll", u"Missing", -1, 127, ""},
        {u"\\Windows\\none.dll", u"Echo", -1, 126, ""},
        {u"\\Windows\\blocks.dll", u"Crash", -1, kErrorProcessAborted, ""},
    };
    for (const auto& c : cases) {
        Client::Reply reply =
            Do(Call::kInvoke, Writer().Text(c.pszLibrary).Text(c.pszEntry).Bytes("hi", 2));
        std::vector<std::uint8_t> output;
        Reader(reply.body).Bytes(&output);
        const std::string what = host::ToUtf8(c.pszEntry);
        EXPECT_EQ(reply.nResult, c.nResult) << what;
        if (c.nLastError != 0) {
            EXPECT_EQ(reply.nLastError, c.nLastError) << what;
        }
        EXPECT_EQ(std::string(output.begin(), output.end()), c.output) << what;
    }
    EXPECT_EQ(Do(Call::kStatus).status, Status::kServed);
}

// The placed decompressor unpacks a zz file into another, both device paths; whatever is
// wrong with its input fails the call and leaves no target behind.
TEST_F(DeviceTest, DecompressorUnpacksZzFilesOnTheDevice) {
    StartOptions options;
    options.decompressorFile = LZRAPI_LIB;
    Start(options);
    const std::u16string library = kszDecompressorPath;
    auto invoke = [&](const char16_t* pszEntry, std::u16string_view input) {
        return Do(Call::kInvoke,
                  Writer().Text(library).Text(pszEntry).Bytes(input.data(), input.size() * 2));
    };
    Client::Reply reply = invoke(u"GetLZRAPIVersion", std::u16string_view(u"", 1));
    std::vector<std::uint8_t> output;
    Reader(reply.body).Bytes(&output);
    EXPECT_EQ(reply.nResult, 0);
    EXPECT_EQ(output, (std::vector<std::uint8_t>{'1', 0, 0, 0}));

    std::vector<std::uint8_t> data(200000);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<std::uint8_t>(i % 251 < 100 ? i % 7 : i * 13 / 11);
    zz::BYTE* pbBlock = nullptr;
    zz::DWORD cbBlock = 0;
    ASSERT_EQ(zz::Compress(&pbBlock, &cbBlock, data.data(), static_cast<zz::DWORD>(data.size())),
              1);
    const std::vector<std::uint8_t> block(pbBlock, pbBlock + cbBlock);
    zz::FreeBlock(pbBlock);
    auto place = [&](const std::string& name, std::vector<std::uint8_t> bytes) {
        std::ofstream(Root() + "/" + name, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
    };
    std::vector<std::uint8_t> damaged = block, lying = block, huge = block;
    for (std::size_t i = 4; i < damaged.size(); i += 3)
        damaged[i] ^= 0x5A;
    lying[0] ^= 1; // one byte more or less than the stream gives
    huge[3] = 0xFF;
    place("good.zz", block);
    place("damaged.zz", damaged);
    place("lying.zz", lying);
    place("huge.zz", huge);
    fs::create_directories(Root() + "/Out");

    struct {
        std::u16string input; // the texts, each with its zero
        std::int32_t nResult;
        const char* pszWritten; // the native file written, relative to the root
    } const cases[] = {
        {std::u16string(u"\\good.zz\0\\Out\\a.bin\0", 20), 0, "Out/a.bin"},
        {std::u16string(u"good.zz\0..\\..\\..\\b.bin\0", 23), 0, "b.bin"},
        {std::u16string(u"\\damaged.zz\0\\Out\\c.bin\0", 23), 13, nullptr},
        {std::u16string(u"\\lying.zz\0\\Out\\d.bin\0", 21), 13, nullptr},
        {std::u16string(u"\\huge.zz\0\\Out\\e.bin\0", 20), 13, nullptr},
        {std::u16string(u"\\none.zz\0\\Out\\f.bin\0", 20), 2, nullptr},
        {std::u16string(u"\\good.zz\0\\Nowhere\\g.bin\0", 24), 2, nullptr},
        {std::u16string(u"\\good.zz\0", 9), 87, nullptr},
        {std::u16string(u"\\good.zz\0\\Out\\unended.bin", 25), 87, nullptr},
    };
    for (const auto& c : cases) {
        const std::string what = host::ToUtf8(c.input);
        reply = invoke(u"DecompressFile", c.input);
        EXPECT_EQ(reply.nResult, c.nResult) << what;
        if (c.pszWritten == nullptr) continue;
        std::ifstream file(Root() + "/" + c.pszWritten, std::ios::binary);
        const std::vector<std::uint8_t> back{std::istreambuf_iterator<char>(file), {}};
        EXPECT_TRUE(back == data) << what;
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(Root() + "/Out"), {}), 1);
    EXPECT_TRUE(fs::exists(Root() + "/good.zz")); // the installer removes its own file
}

// A slow link makes every call take the time its bytes need, and says so in the status.
TEST_F(DeviceTest, LinkRateSlowsEveryCall) {
    StartOptions options;
    options.nLinkRate = 1 << 20;
    Start(options);
    const Client::Reply reply = Do(Call::kStatus);
    Reader status(reply.body);
    std::uint32_t n = 0, nLinkRate = 0;
    ASSERT_TRUE(status.U32(&n) && status.U32(&n) && status.U32(&n) && status.U32(&n) &&
                status.U32(&nLinkRate));
    EXPECT_EQ(nLinkRate, 1u << 20);
    const std::uint32_t h = Handle(
        Do(Call::kCreateFile,
           Writer().Text(u"\\slow.bin").U32(kGenericWrite).U32(0).U32(kCreateAlways).U32(0)));
    ASSERT_NE(h, kNoHandle);
    const std::vector<std::uint8_t> data(256 << 10, 7);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Do(Call::kWriteFile, Writer().U32(h).Bytes(data.data(), data.size())).nResult, 1);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(250));
    Do(Call::kCloseHandle, Writer().U32(h));
}

TEST_F(DeviceTest, CreateProcessRunsWithTheDeviceEnvironment) {
    Start();
    WriteProbe();
    EXPECT_EQ(Do(Call::kCreateProcess, Writer().Text(u"\\bin\\probe").Text(u"hello")).nResult, 1);
    std::string line;
    for (int i = 0; i < 200 && line.empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        line = ReadOut();
    }
    EXPECT_EQ(line, "device hello");
    EXPECT_EQ(Do(Call::kCreateProcess, Writer().Text(u"\\bin\\none").Text(u"")).nResult, 0);
}

TEST_F(DeviceTest, ToolVerbsWorkInTheDeviceContext) {
    Start();
    WriteProbe();
    fs::create_directories(Root() + "/Program Files/Vantor Software");
    fs::copy_file(DEVICE_TESTLIB, Root() + "/Program Files/Vantor Software/uninstaller.dll");
    const std::string tool = std::string(DEVICE_PROGRAM) + " --dir " + dir_ + " ";
    auto run = [&](const std::string& args) {
        int n = std::system((tool + args + " >/dev/null 2>&1").c_str());
        return WIFEXITED(n) ? WEXITSTATUS(n) : -1;
    };
    ASSERT_EQ(run("reg set 'HKLM\\Software\\Apps\\Game' IsvFile sz "
                  "'\\Program Files\\Vantor Software\\uninstaller.dll'"),
              0);
    EXPECT_EQ(run("uninstall Game"), 0);
    std::ifstream removed(Root() + "/removed.txt");
    std::string line;
    std::getline(removed, line);
    EXPECT_EQ(line, "Game");
    EXPECT_EQ(Do(Call::kRegOpenKey, Writer().U32(kHklm).Text(u"Software\\Apps\\Game").U32(0x20019))
                  .nResult,
              2);
    EXPECT_EQ(run("uninstall Game"), 1);
    EXPECT_EQ(run("uninstall"), 2);

    EXPECT_EQ(run("run '\\bin\\probe' tool"), 0);
    EXPECT_EQ(ReadOut(), "device tool");
    EXPECT_EQ(run("run '\\bin\\none'"), 1);
    std::string listing;
    if (FILE* pipe = ::popen((tool + "ls bin").c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof(buffer), pipe))
            listing += buffer;
        ::pclose(pipe);
    }
    EXPECT_NE(listing.find("probe"), std::string::npos) << listing;

    EXPECT_EQ(run("status"), 0);
    EXPECT_EQ(run("disconnect"), 0);
    EXPECT_EQ(Do(Call::kGetSystemInfo).status, Status::kDisconnected);
    EXPECT_EQ(run("connect"), 0);
    EXPECT_EQ(run("stop"), 0);
    EXPECT_EQ(run("status"), 1);
}

} // namespace
} // namespace device
