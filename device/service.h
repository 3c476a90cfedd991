// The device service: a process that owns a device folder and serves the calls of
// device/wire.h on a local socket in that folder.
//
// The device folder holds
//   root/         the device's files ("\" on the device)
//   registry/     the device's registry, in the host's form
//   config        "key=value" lines: arch (any number), programs and startup (the special
//                 folders), connected (1 or 0), decompressor (its device path, or empty),
//                 password
//   service.sock  the socket, while the service runs (service.lock keeps it single)
//   applications/ the desktop twins of the device's shortcuts, kept off the user's menu
//   runtime/      the single-instance locks of the programs the device runs
// A fresh device has HKLM "Software\Apps", the two special folders, and nothing else.
#pragma once

#include "device/wire.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace device {

// CSIDL numbers the device answers.
constexpr std::uint32_t kCsidlPrograms = 2;
constexpr std::uint32_t kCsidlStartup = 7;
// Where --decompressor places the library on a device.
inline constexpr char16_t kszDecompressorPath[] = u"\\Program Files\\Vantor Software\\lzrapi.dll";

struct Config {
    std::uint32_t nArch = 5;
    std::u16string programs = u"\\Windows\\Start Menu\\Programs";
    std::u16string startup = u"\\Windows\\StartUp";
    bool fConnected = true;
    std::u16string decompressor; // device path, empty when none is placed
    std::u16string password;
    bool fSeeded = false; // the fresh device's keys and folders are made
};

// $KELVANO_DEVICE_DIR, else $XDG_DATA_HOME/kelvano/device, else ~/.local/share/kelvano/device;
// empty when none can be found.
std::string DefaultDeviceFolder();
std::string SocketPath(const std::string& dir);
std::string RootFolder(const std::string& dir);
std::string RegistryFolder(const std::string& dir);

bool LoadConfig(const std::string& dir, Config* pConfig);
// Replaces the config file atomically.
bool SaveConfig(const std::string& dir, const Config& config);

// The environment a program or library runs with on the device: its root as drive C, its
// registry, the device screen, its own shortcut twins.
std::vector<std::pair<std::string, std::string>> DeviceEnvironment(const std::string& dir);

// A device path ("\a\b", a missing "\" supplied) as the classic name that resolves under the
// device root once KELVANO_DRIVE_DIR is the root.
std::u16string ClassicName(std::u16string_view devicePath);

// Runs the service on `dir` (a config must exist; a device not yet seeded gets its fresh
// keys and folders) until a kStop call; `selfExe` is this program, started again for
// each invoke ("_invoke") so that a faulty library cannot take the device down. With a
// link rate, every request's and reply's bytes take their time on one link that all
// connections share, as over a slow cable. Returns the process's exit status.
int Serve(const std::string& dir, const std::string& selfExe, std::uint32_t nLinkRate = 0);
// The helper's body: reads T library, T entry, B input from standard input, loads the library,
// calls the block entry, writes U result, U last error, B output to standard output.
int InvokeHelper();

// A client's end of a connection.
class Client {
public:
    Client() = default;
    ~Client();
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    // Connects to the service of `dir`; false when none answers.
    bool Open(const std::string& dir);
    void Close();
    bool IsOpen() const { return fd_ >= 0; }

    struct Reply {
        Status status = Status::kServed;
        std::int32_t nResult = 0;
        std::uint32_t nLastError = 0;
        std::vector<std::uint8_t> body;
    };
    // One call. False (and the connection closed) when the service is gone, hung up or sent
    // something malformed; the caller's next call then fails at once.
    bool Call(Call call, const Writer& body, Reply* pReply);

private:
    int fd_ = -1;
    std::uint32_t nSeq_ = 0;
};

// Starts the service of `dir` in the background (`exe serve --dir DIR [--link N]`), making a
// fresh device first when needed, applying --arch and --decompressor, and returns once it
// answers. The link rate belongs to this run of the service, not to the device.
struct StartOptions {
    std::optional<std::uint32_t> nArch;
    std::string decompressorFile; // a file placed at kszDecompressorPath
    std::uint32_t nLinkRate = 0;  // bytes per second the link carries; 0: unlimited
};
bool StartService(const std::string& exe, const std::string& dir, const StartOptions& options,
                  std::string* pError);
// Asks the service to stop and waits until it is gone; true also when none ran.
bool StopService(const std::string& dir, std::string* pError);

} // namespace device
