// kelvano-device: starts, stops and looks into the emulated handheld device (see Usage()).
#include "device/service.h"

#include "host/codepage.h"
#include "host/error.h"
#include "host/file.h"
#include "host/registry.h"
#include "host/shell.h"
#include "tools/cli/cli.h"
#include "tools/regtool/regtool.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr char kProgram[] = "kelvano-device";
namespace fs = std::filesystem;

std::string Usage() {
    return "Usage: kelvano-device [--dir DIR] COMMAND [--dir DIR] [ARGUMENTS]\n"
           "The emulated handheld device: its service, files, registry and programs.\n"
           "\n"
           "Commands:\n"
           "  start [--arch N] [--decompressor FILE] [--link BYTES_PER_SECOND]\n"
           "                     start the device's service in the background (a fresh device\n"
           "                     when the folder is empty); returns once it answers. --arch sets\n"
           "                     the processor architecture (1 mips, 3 ppc, 4 shx, 5 arm, or any\n"
           "                     number), --decompressor places FILE as the device's\n"
           "                     \"\\Program Files\\Vantor Software\\lzrapi.dll\", --link makes\n"
           "                     every remote call take the time its bytes need at that speed\n"
           "  stop               stop the service\n"
           "  status             show whether it runs (exit 1 when it does not)\n"
           "  connect            let remote calls through again\n"
           "  disconnect         refuse every remote call, as an unplugged device would\n"
           "  ls [PATH]          list a device folder (default \"\\\")\n"
           "  reg ARGS...        the registry tool's commands on the device's registry\n"
           "                     (kelvano-reg --help tells them)\n"
           "  run PROGRAM [ARGS] run a program installed on the device (a device path) with the\n"
           "                     device's root as \"\\\", its registry and the device screen\n"
           "  uninstall PRODUCT  run the \"Uninstall\" entry of the library named by HKLM\n"
           "                     \"Software\\Apps\\PRODUCT\" \"IsvFile\" on the device\n"
           "\n"
           "The device folder is --dir (before the command, or just after it but for reg,\n"
           "whose own --dir is the registry tool's), else $KELVANO_DEVICE_DIR, else\n"
           "$XDG_DATA_HOME/kelvano/device, else ~/.local/share/kelvano/device.\n"
           "Exit status: 0 done, 1 failed, 2 bad arguments.\n";
}

std::string SelfExe() {
    std::error_code ec;
    fs::path path = fs::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : path.string();
}

// Sets the device's environment in this process, before any file or registry call.
void EnterDevice(const std::string& dir) {
    for (const auto& [name, value] : device::DeviceEnvironment(dir))
        ::setenv(name.c_str(), value.c_str(), 1);
    host::RegSetStorageFolder(device::RegistryFolder(dir));
}

bool HasDevice(const std::string& dir) {
    device::Config config;
    return device::LoadConfig(dir, &config);
}

int Status(const std::string& dir) {
    device::Client client;
    device::Client::Reply reply;
    if (!client.Open(dir) || !client.Call(device::Call::kStatus, device::Writer(), &reply)) {
        std::printf("stopped\n");
        return cli::kExitFailed;
    }
    device::Reader in(reply.body);
    std::uint32_t nArch = 0, fConnected = 0, fDecompressor = 0, nPid = 0, nLinkRate = 0;
    in.U32(&nArch);
    in.U32(&fConnected);
    in.U32(&fDecompressor);
    in.U32(&nPid);
    in.U32(&nLinkRate);
    std::printf("running (process %u)\narchitecture %u\n%s\ndecompressor %s\n", nPid, nArch,
                fConnected ? "connected" : "disconnected", fDecompressor ? "placed" : "not placed");
    if (nLinkRate != 0)
        std::printf("link %u bytes per second\n", nLinkRate);
    else
        std::printf("link unlimited\n");
    return cli::kExitOk;
}

int ToolCall(const std::string& dir, device::Call call) {
    device::Client client;
    device::Client::Reply reply;
    if (!client.Open(dir)) return cli::Failure(kProgram, "the device is not running");
    if (!client.Call(call, device::Writer(), &reply) || reply.nResult == 0)
        return cli::Failure(kProgram, "the device refused");
    return cli::kExitOk;
}

int List(const std::string& dir, const std::string& path) {
    if (!HasDevice(dir)) return cli::Failure(kProgram, dir + ": no device here");
    EnterDevice(dir);
    std::string native = host::NativeFileName(device::ClassicName(host::ToUtf16(path)));
    std::error_code ec;
    if (native.empty() || !fs::is_directory(native, ec))
        return cli::Failure(kProgram, path + ": no such folder on the device");
    std::vector<std::pair<std::string, bool>> entries;
    for (const fs::directory_entry& entry : fs::directory_iterator(native, ec))
        entries.emplace_back(entry.path().filename().string(), entry.is_directory(ec));
    std::sort(entries.begin(), entries.end());
    for (const auto& [name, fFolder] : entries) {
        if (fFolder) {
            std::printf("%12s  %s\\\n", "", name.c_str());
        } else {
            std::uintmax_t cb = fs::file_size(fs::path(native) / name, ec);
            std::printf("%12ju  %s\n", ec ? std::uintmax_t{0} : cb, name.c_str());
        }
    }
    return cli::kExitOk;
}

int Run(const std::string& dir, const std::vector<std::string>& args) {
    if (!HasDevice(dir)) return cli::Failure(kProgram, dir + ": no device here");
    EnterDevice(dir);
    std::string native = host::NativeFileName(device::ClassicName(host::ToUtf16(args[0])));
    struct stat st {};
    if (native.empty() || ::stat(native.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return cli::Failure(kProgram, args[0] + ": no such program on the device");
    // The device has no execute permission: whatever was copied there as a program runs.
    if ((st.st_mode & S_IXUSR) == 0) ::chmod(native.c_str(), st.st_mode | S_IXUSR);
    std::vector<std::string> words(args);
    words[0] = native;
    std::vector<char*> argv;
    for (std::string& w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    ::execv(native.c_str(), argv.data());
    return cli::Failure(kProgram, args[0] + ": cannot start it");
}

int Uninstall(const std::string& dir, const std::string& product) {
    if (!HasDevice(dir)) return cli::Failure(kProgram, dir + ": no device here");
    EnterDevice(dir);
    std::u16string key = u"Software\\Apps\\" + host::ToUtf16(product);
    host::HKEY hKey = nullptr;
    if (host::RegOpenKeyExW(host::HKEY_LOCAL_MACHINE, key.c_str(), 0, host::KEY_READ, &hKey) !=
        host::ERROR_SUCCESS)
        return cli::Failure(kProgram, product + ": not installed on the device");
    host::WCHAR szFile[1024] = {};
    host::DWORD cb = sizeof(szFile) - sizeof(host::WCHAR), dwType = 0;
    host::LONG e = host::RegQueryValueExW(hKey, u"IsvFile", nullptr, &dwType,
                                          reinterpret_cast<host::BYTE*>(szFile), &cb);
    host::RegCloseKey(hKey);
    if (e != host::ERROR_SUCCESS || dwType != host::REG_SZ)
        return cli::Failure(kProgram, product + ": no \"IsvFile\" in its registration");
    std::string library = host::ToUtf8(device::ClassicName(szFile));
    if (!host::RunDllCommand("rundll32 \"" + library + "\",Uninstall " + product))
        return cli::Failure(kProgram, library + ": cannot run its \"Uninstall\" entry (error " +
                                          std::to_string(host::GetLastError()) + ")");
    return cli::kExitOk;
}

int Main(std::vector<std::string> args) {
    std::string dir;
    auto takeDir = [&](std::size_t i) {
        if (i < args.size() && args[i] == "--dir") {
            if (i + 1 >= args.size()) return false;
            dir = args[i + 1];
            args.erase(args.begin() + static_cast<std::ptrdiff_t>(i),
                       args.begin() + static_cast<std::ptrdiff_t>(i + 2));
        }
        return true;
    };
    if (!args.empty() && (args[0] == "--help" || args[0] == "-h")) {
        std::fputs(Usage().c_str(), stdout);
        return cli::kExitOk;
    }
    if (!takeDir(0)) return cli::UsageError(kProgram, "--dir needs a folder");
    if (args.empty()) return cli::UsageError(kProgram, "missing command");
    const std::string verb = args[0];
    if (verb == "_invoke") return device::InvokeHelper();
    // After "reg", --dir is the registry tool's own option.
    if (verb != "reg" && !takeDir(1)) return cli::UsageError(kProgram, "--dir needs a folder");
    if (dir.empty()) dir = device::DefaultDeviceFolder();
    if (dir.empty())
        return cli::Failure(kProgram, "no device folder (set KELVANO_DEVICE_DIR or HOME)");
    std::vector<std::string> rest(args.begin() + 1, args.end());

    if (verb == "serve") {
        std::uint32_t nLinkRate = 0;
        if (rest.size() == 2 && rest[0] == "--link") {
            auto n = cli::ParseInteger(rest[1], 1, 0xFFFFFFFF);
            if (!n) return cli::UsageError(kProgram, "--link takes a number of bytes per second");
            nLinkRate = static_cast<std::uint32_t>(*n);
        } else if (!rest.empty()) {
            return cli::UsageError(kProgram, "serve takes only --link");
        }
        return device::Serve(dir, SelfExe(), nLinkRate);
    }
    if (verb == "start") {
        device::StartOptions options;
        for (std::size_t i = 0; i < rest.size(); i += 2) {
            if (i + 1 >= rest.size()) return cli::UsageError(kProgram, rest[i] + " needs a value");
            if (rest[i] == "--arch") {
                auto n = cli::ParseInteger(rest[i + 1], 0, 0xFFFF);
                if (!n) return cli::UsageError(kProgram, "--arch takes a number from 0 to 65535");
                options.nArch = static_cast<std::uint32_t>(*n);
            } else if (rest[i] == "--decompressor") {
                options.decompressorFile = rest[i + 1];
            } else if (rest[i] == "--link") {
                auto n = cli::ParseInteger(rest[i + 1], 1, 0xFFFFFFFF);
                if (!n)
                    return cli::UsageError(kProgram,
                                           "--link takes bytes per second, from 1 to 4294967295");
                options.nLinkRate = static_cast<std::uint32_t>(*n);
            } else {
                return cli::UsageError(kProgram, "unknown option " + rest[i]);
            }
        }
        std::string error;
        if (!device::StartService(SelfExe(), dir, options, &error))
            return cli::Failure(kProgram, error);
        return cli::kExitOk;
    }
    const bool fBare =
        verb == "stop" || verb == "status" || verb == "connect" || verb == "disconnect";
    if (fBare && !rest.empty()) return cli::UsageError(kProgram, verb + " takes no arguments");
    if (verb == "stop") {
        std::string error;
        return device::StopService(dir, &error) ? cli::kExitOk : cli::Failure(kProgram, error);
    }
    if (verb == "status") return Status(dir);
    if (verb == "connect") return ToolCall(dir, device::Call::kConnect);
    if (verb == "disconnect") return ToolCall(dir, device::Call::kDisconnect);
    if (verb == "ls") {
        if (rest.size() > 1) return cli::UsageError(kProgram, "ls takes at most one path");
        return List(dir, rest.empty() ? "\\" : rest[0]);
    }
    if (verb == "reg") {
        if (rest.size() == 1 && rest[0] == "--help")
            return regtool::Run(rest, std::cin, std::cout, std::cerr);
        if (!HasDevice(dir)) return cli::Failure(kProgram, dir + ": no device here");
        EnterDevice(dir);
        return regtool::Run(rest, std::cin, std::cout, std::cerr);
    }
    if (verb == "run") {
        if (rest.empty()) return cli::UsageError(kProgram, "run needs a program");
        return Run(dir, rest);
    }
    if (verb == "uninstall") {
        if (rest.size() != 1) return cli::UsageError(kProgram, "uninstall needs one product");
        return Uninstall(dir, rest[0]);
    }
    return cli::UsageError(kProgram, "unknown command " + verb);
}

} // namespace

int main(int argc, char** argv) {
    return cli::Guarded(kProgram, [&] {
        return Main(std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc));
    });
}
