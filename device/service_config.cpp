// The device folder: its paths, its config, the client's end of the socket, starting and
// stopping the service.
#include "device/service.h"

#include "host/codepage.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <sstream>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace device {
namespace fs = std::filesystem;

std::string DefaultDeviceFolder() {
    if (const char* psz = std::getenv("KELVANO_DEVICE_DIR"); psz && *psz) return psz;
    if (const char* psz = std::getenv("XDG_DATA_HOME"); psz && *psz)
        return std::string(psz) + "/kelvano/device";
    if (const char* psz = std::getenv("HOME"); psz && *psz)
        return std::string(psz) + "/.local/share/kelvano/device";
    return {};
}

std::string SocketPath(const std::string& dir) {
    return dir + "/service.sock";
}
std::string RootFolder(const std::string& dir) {
    return dir + "/root";
}
std::string RegistryFolder(const std::string& dir) {
    return dir + "/registry";
}

std::u16string ClassicName(std::u16string_view devicePath) {
    while (!devicePath.empty() && (devicePath.front() == u'\\' || devicePath.front() == u'/'))
        devicePath.remove_prefix(1);
    return u"\\" + std::u16string(devicePath);
}

bool LoadConfig(const std::string& dir, Config* pConfig) {
    std::ifstream file(dir + "/config");
    if (!file) return false;
    Config config;
    std::string line;
    while (std::getline(file, line)) {
        std::size_t i = line.find('=');
        if (i == std::string::npos) continue;
        std::string key = line.substr(0, i), value = line.substr(i + 1);
        if (key == "arch")
            config.nArch = static_cast<std::uint32_t>(std::strtoul(value.c_str(), nullptr, 10));
        else if (key == "programs")
            config.programs = host::ToUtf16(value);
        else if (key == "startup")
            config.startup = host::ToUtf16(value);
        else if (key == "connected")
            config.fConnected = value != "0";
        else if (key == "decompressor")
            config.decompressor = host::ToUtf16(value);
        else if (key == "password")
            config.password = host::ToUtf16(value);
        else if (key == "seeded")
            config.fSeeded = value == "1";
    }
    *pConfig = config;
    return true;
}

bool SaveConfig(const std::string& dir, const Config& config) {
    std::ostringstream text;
    text << "arch=" << config.nArch << "\nprograms=" << host::ToUtf8(config.programs)
         << "\nstartup=" << host::ToUtf8(config.startup)
         << "\nconnected=" << (config.fConnected ? 1 : 0)
         << "\ndecompressor=" << host::ToUtf8(config.decompressor)
         << "\npassword=" << host::ToUtf8(config.password)
         << "\nseeded=" << (config.fSeeded ? 1 : 0) << "\n";
    std::string temp = dir + "/config.tmp";
    {
        std::ofstream file(temp, std::ios::trunc);
        if (!(file << text.str()) || !file.flush()) return false;
    }
    return std::rename(temp.c_str(), (dir + "/config").c_str()) == 0;
}

std::vector<std::pair<std::string, std::string>> DeviceEnvironment(const std::string& dir) {
    return {{"KELVANO_DRIVE_DIR", RootFolder(dir)},
            {"KELVANO_REGISTRY_DIR", RegistryFolder(dir)},
            {"KELVANO_APPLICATIONS_DIR", dir + "/applications"},
            // Its own single-instance locks: a game running on this machine must not make the
            // device's step aside.
            {"KELVANO_RUNTIME_DIR", dir + "/runtime"},
            {"KELVANO_PROFILE", "device"}};
}

// ---- Client ----------------------------------------------------------------------------

namespace {} // namespace

Client::~Client() {
    Close();
}

void Client::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

bool Client::Open(const std::string& dir) {
    Close();
    std::string path = SocketPath(dir);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (path.size() >= sizeof(addr.sun_path)) return false;
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0) {
        ::close(fd);
        return false;
    }
    fd_ = fd;
    return true;
}

bool Client::Call(device::Call call, const Writer& body, Reply* pReply) {
    if (fd_ < 0) return false;
    const std::uint32_t nSeq = ++nSeq_;
    std::vector<std::uint8_t> request = EncodeRequest(call, nSeq, body);
    std::uint8_t header[sizeof(ReplyHeader)];
    if (!SendAll(fd_, request.data(), request.size()) || !ReceiveAll(fd_, header, sizeof(header))) {
        Close();
        return false;
    }
    ReplyHeader reply = LoadReplyHeader(header);
    if (reply.nMagic != kReplyMagic || reply.nSeq != nSeq ||
        reply.nCall != static_cast<std::uint32_t>(call) || reply.cbBody > kcbMaxBody) {
        Close();
        return false;
    }
    pReply->body.resize(reply.cbBody);
    if (!ReceiveAll(fd_, pReply->body.data(), reply.cbBody) ||
        CheckReply(reply, pReply->body.data(), pReply->body.size()) != Decode::kOk) {
        Close();
        return false;
    }
    pReply->status = static_cast<Status>(reply.nStatus);
    pReply->nResult = reply.nResult;
    pReply->nLastError = reply.nLastError;
    if (pReply->status == Status::kMalformed || pReply->status == Status::kUnknownCall) Close();
    return true;
}

// ---- Starting and stopping -------------------------------------------------------------

namespace {

bool Answers(const std::string& dir) {
    Client client;
    Client::Reply reply;
    return client.Open(dir) && client.Call(Call::kStatus, Writer(), &reply);
}

// True once no process holds the service's lock.
bool LockFree(const std::string& dir) {
    int fd = ::open((dir + "/service.lock").c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) return true;
    bool fFree = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    ::close(fd);
    return fFree;
}

} // namespace

bool StartService(const std::string& exe, const std::string& dir, const StartOptions& options,
                  std::string* pError) {
    if (dir.empty()) {
        *pError = "no device folder (set KELVANO_DEVICE_DIR or HOME)";
        return false;
    }
    if (SocketPath(dir).size() >= sizeof(sockaddr_un::sun_path)) {
        *pError = dir + ": path too long for the service's socket";
        return false;
    }
    if (Answers(dir)) {
        if (options.nArch || !options.decompressorFile.empty() || options.nLinkRate != 0) {
            *pError = "the device is running; stop it to change its options";
            return false;
        }
        return true;
    }
    std::error_code ec;
    fs::create_directories(RootFolder(dir), ec);
    fs::create_directories(RegistryFolder(dir), ec);
    if (ec) {
        *pError = dir + ": cannot make the device folder (" + ec.message() + ")";
        return false;
    }
    Config config;
    LoadConfig(dir, &config);
    if (options.nArch) config.nArch = *options.nArch;
    if (!options.decompressorFile.empty()) {
        fs::path target = fs::path(RootFolder(dir)) / "Program Files" / "Vantor Software";
        fs::create_directories(target, ec);
        fs::copy_file(options.decompressorFile, target / "lzrapi.dll",
                      fs::copy_options::overwrite_existing, ec);
        if (ec) {
            *pError =
                options.decompressorFile + ": cannot place the decompressor (" + ec.message() + ")";
            return false;
        }
        config.decompressor = kszDecompressorPath;
    }
    if (!SaveConfig(dir, config)) {
        *pError = dir + "/config: cannot write";
        return false;
    }

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    const std::string log = dir + "/service.log";
    posix_spawn_file_actions_addopen(&actions, 2, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID);
    std::vector<std::string> words = {exe, "serve", "--dir", dir};
    if (options.nLinkRate != 0) {
        words.push_back("--link");
        words.push_back(std::to_string(options.nLinkRate));
    }
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    int nSpawn = posix_spawn(&pid, exe.c_str(), &actions, &attr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (nSpawn != 0) {
        *pError = exe + ": cannot start (" + std::strerror(nSpawn) + ")";
        return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        if (Answers(dir)) return true;
        int nStatus = 0;
        if (::waitpid(pid, &nStatus, WNOHANG) == pid) {
            *pError = "the device service ended at once (see " + log + ")";
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    *pError = "the device service does not answer (see " + log + ")";
    return false;
}

bool StopService(const std::string& dir, std::string* pError) {
    Client client;
    Client::Reply reply;
    if (client.Open(dir)) client.Call(Call::kStop, Writer(), &reply);
    client.Close();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        if (LockFree(dir)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    *pError = "the device service does not stop";
    return false;
}

} // namespace device
