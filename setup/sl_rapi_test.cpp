// The device binding against a real device service and against everything that can go wrong
// before a connection stands: each way out says why in its trace lines and leaves "rapi.dll"
// unloaded again.
#include "setup/sl_rapi.h"

#include "device/service.h"
#include "host/clock.h"
#include "host/debug.h"
#include "tests/support/temp_folder.h"

#include <dlfcn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>

namespace sl {
namespace {

namespace fs = std::filesystem;

// Whether the dynamic loader still has the library mapped in this process.
bool IsMapped(const char* pszPath) {
    void* p = dlopen(pszPath, RTLD_LAZY | RTLD_NOLOAD);
    if (p != nullptr) dlclose(p);
    return p != nullptr;
}

enum class Device { kNone, kSilent, kRunning, kDisconnected };
enum class Library { kReal, kMissing, kLacking };

constexpr char kInit[] = "rapi: initializing...\n";
constexpr char kCalling[] = "rapi: calling CeRapiInitEx\n";
constexpr char kClose[] = "rapi: uninitializing\nrapi: uninitialization complete\n";
// E_RAPI_DISCONNECTED: no service, or a device that refuses remote calls.
const std::string kRefused = "rapi: CeRapiInitEx failed; error " +
                             std::to_string(static_cast<long>(rapi::E_RAPI_DISCONNECTED)) + "\n";

struct OpenCase {
    const char* pszName;
    Device device;
    Library library;
    std::string traces; // from the open; a null result has closed already
    bool fConnects;
};

class DeviceBinding : public ::testing::TestWithParam<OpenCase> {
protected:
    void TearDown() override {
        std::string error;
        EXPECT_TRUE(device::StopService(dir_, &error)) << error;
        while (::waitpid(-1, nullptr, WNOHANG) > 0) {
        }
    }

    testsupport::TempFolder folder_{"kelvano-binding"};
    std::string dir_ = folder_.Path().string();
    testsupport::TempFolder empty_{"kelvano-binding-nolib"};
    testsupport::ScopedEnv deviceEnv_{"KELVANO_DEVICE_DIR", dir_.c_str()};
    testsupport::ScopedEnv libraryEnv_{"KELVANO_LIBRARY_PATH", nullptr};
};

TEST_P(DeviceBinding, OpensOrSaysWhyAndUnloads) {
    const OpenCase& c = GetParam();
    switch (c.library) {
    case Library::kReal:
        libraryEnv_.Set(fs::path(RAPI_LIBRARY).parent_path().c_str());
        break;
    case Library::kMissing:
        libraryEnv_.Set(empty_.Path().c_str());
        break;
    case Library::kLacking:
        libraryEnv_.Set(fs::path(FAKE_RAPI_LIBRARY).parent_path().c_str());
        break;
    }
    const char* pszLibrary = c.library == Library::kLacking ? FAKE_RAPI_LIBRARY : RAPI_LIBRARY;
    ASSERT_FALSE(IsMapped(pszLibrary));

    int fdSilent = -1;
    if (c.device == Device::kRunning || c.device == Device::kDisconnected) {
        std::string error;
        ASSERT_TRUE(device::StartService(DEVICE_PROGRAM, dir_, {}, &error)) << error;
        if (c.device == Device::kDisconnected) {
            device::Client client;
            device::Client::Reply reply;
            ASSERT_TRUE(client.Open(dir_) &&
                        client.Call(device::Call::kDisconnect, device::Writer(), &reply));
        }
    } else if (c.device == Device::kSilent) {
        // Takes the connection and never answers it.
        fdSilent = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        const std::string path = device::SocketPath(dir_);
        std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
        ASSERT_EQ(::bind(fdSilent, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)), 0);
        ASSERT_EQ(::listen(fdSilent, 4), 0);
    }

    DeviceConnection* pConnection = nullptr;
    std::string traces;
    {
        host::DebugCapture capture;
        if (c.device == Device::kSilent) {
            // Only the virtual clock moves the time-out on: the wait ends at once in real time.
            host::VirtualClockScope clock;
            std::thread advance([] {
                host::WaitForVirtualClockWaiters(1);
                host::AdvanceVirtualClock(499);
                host::AdvanceVirtualClock(1);
            });
            const auto start = std::chrono::steady_clock::now();
            pConnection = OpenDeviceConnection(500);
            EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
            advance.join();
        } else {
            pConnection = OpenDeviceConnection(10000);
        }
        traces = capture.Text();
    }
    EXPECT_EQ(traces, kInit + c.traces);
    EXPECT_EQ(pConnection != nullptr, c.fConnects);
    if (pConnection != nullptr) {
        EXPECT_TRUE(IsMapped(pszLibrary));
        // The forwarding operations reach the device.
        EXPECT_NE(CeGetFileAttributes(pConnection, u"\\"), 0xFFFFFFFFu);
        host::DebugCapture capture;
        CloseDeviceConnection(pConnection);
        EXPECT_EQ(capture.Text(), kClose);
    }
    EXPECT_FALSE(IsMapped(pszLibrary));
    if (fdSilent >= 0) ::close(fdSilent);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DeviceBinding,
    ::testing::Values(
        OpenCase{"Answers", Device::kRunning, Library::kReal,
                 std::string(kCalling) + "rapi: initialization succeeded\n", true},
        OpenCase{"NoService", Device::kNone, Library::kReal, kCalling + kRefused + kClose, false},
        OpenCase{"Disconnected", Device::kDisconnected, Library::kReal,
                 kCalling + kRefused + kClose, false},
        OpenCase{"NothingAnswers", Device::kSilent, Library::kReal,
                 std::string(kCalling) + "rapi: CeRapiInitEx timed out\n" + kClose, false},
        OpenCase{"NoLibrary", Device::kRunning, Library::kMissing,
                 "rapi: failed to load rapi.dll; error 126\n", false},
        OpenCase{"LibraryLacksFunctions", Device::kRunning, Library::kLacking,
                 std::string("rapi: failed to find functions in rapi.dll; error 127\n") + kClose,
                 false}),
    [](const ::testing::TestParamInfo<OpenCase>& info) { return std::string(info.param.pszName); });

} // namespace
} // namespace sl
