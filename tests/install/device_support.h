// A handheld of the test's own beside the test's machine: a device service on a temporary
// folder, the remote API library found by its classic name, a payload with a build of the
// game for each processor family, and snapshots of the device's files and registry.
#pragma once

#include "device/service.h"
#include "setup/sl_main.h"
#include "tests/install/install_support.h"

#include <fstream>
#include <string>

namespace install_test {

// The payload's folders and the architecture number each stands for (0: this machine).
struct Family {
    const char* pszFolder;
    int nArch;
};
inline constexpr Family kFamilies[] = {{"native", 0}, {"arm", 5}, {"mips", 1}, {"shx", 4}};

struct DeviceState {
    std::string files;
    std::string registry;
    bool operator==(const DeviceState&) const = default;
};

inline void PrintTo(const DeviceState& state, std::ostream* os) {
    *os << "\n-- device files\n" << state.files << "-- device registry\n" << state.registry;
}

// The game of each family is the given program with the family's name after it (the
// loader ignores what follows the program), so each folder's build can be told apart.
inline std::string Build(const std::string& game, const char* pszFolder) {
    return game + "\n" + pszFolder + "\n";
}
inline std::vector<std::uint8_t> BuildDevicePayload(const std::string& game) {
    const std::string uninstaller = ReadBytes(UNINSTALLER_LIBRARY);
    zipwriter::ZipWriter writer;
    auto bytes = [](const std::string& s) {
        return std::span(reinterpret_cast<const std::uint8_t*>(s.data()), s.size());
    };
    for (const Family& family : kFamilies) {
        const std::string build = Build(game, family.pszFolder);
        writer.AddStored(std::string(family.pszFolder) + "/kelvano.exe", bytes(build));
        writer.AddStored(std::string(family.pszFolder) + "/uninstaller.dll", bytes(uninstaller));
    }
    return writer.Finish();
}

class DeviceMachine : public InstallMachine {
protected:
    void SetUp() override {
        host::RegSetStorageFolder(registry_.Path().string());
        host::SeedShellFolders();
        before_ = State();
        beforeDrive_ = SnapshotFolder(drive_.Path());
        static const std::vector<std::uint8_t> payloadBytes =
            BuildDevicePayload(ReadBytes(STANDIN_GAME));
        payload_.OpenMemory(payloadBytes.data(), payloadBytes.size(), false);
        ASSERT_EQ(payload_.Count(), 2 * std::size(kFamilies));
    }
    void TearDown() override {
        Device("stop");
        InstallMachine::TearDown();
    }

    // The device tool on this test's device.
    testsupport::ProgramRun Device(const std::string& args) const {
        return testsupport::RunProgram(work_.Path(), DEVICE_PROGRAM,
                                       "--dir '" + deviceDir_ + "' " + args);
    }
    // A fresh device (any earlier one stopped and wiped), its state remembered as the before.
    void StartDevice(const std::string& options = "") {
        Device("stop");
        std::error_code ec;
        fs::remove_all(deviceDir_, ec);
        fs::create_directories(deviceDir_, ec);
        const testsupport::ProgramRun run = Device("start " + options);
        ASSERT_EQ(run.nExit, 0) << run.err;
        // A device's programs menu holds its own programs' shortcuts. (A removal takes away
        // every journalled folder it finds empty, ones that were there before included.)
        std::ofstream(OnDevice("Windows/Start Menu/Programs/Calculator.lnk"))
            << "20#\"\\Windows\\calc.exe\"";
        deviceBefore_ = DeviceNow();
        deviceBeforeFiles_ = SnapshotFolder(DeviceRoot());
    }

    fs::path DeviceRoot() const { return device::RootFolder(deviceDir_); }
    std::string OnDevice(const std::string& relative) const {
        return (DeviceRoot() / relative).string();
    }

    // The device's registry, exported in this process with the host's own reader.
    std::string DeviceRegistry() const {
        host::RegSetStorageFolder(device::RegistryFolder(deviceDir_));
        std::string text;
        for (HKEY hRoot :
             {host::HKEY_LOCAL_MACHINE, host::HKEY_CURRENT_USER, host::HKEY_CLASSES_ROOT})
            host::RegExportKey(hRoot, text);
        host::RegSetStorageFolder(registry_.Path().string());
        return text;
    }
    DeviceState DeviceNow(const std::set<std::string>& skip = {}) const {
        // The desktop twins of the device's shortcuts count as the device's too.
        return {Describe(SnapshotFolder(DeviceRoot(), skip)) +
                    Describe(SnapshotFolder(fs::path(deviceDir_) / "applications")),
                DeviceRegistry()};
    }
    // The device less the shared uninstaller and the folders it made, which stay.
    DeviceState DeviceLessSharedUninstaller(const std::string& topDir = "Program Files") const {
        std::set<std::string> shared;
        for (const std::string& name :
             {topDir + "/Vantor Software/uninstaller.dll", topDir + "/Vantor Software", topDir}) {
            if (!deviceBeforeFiles_.contains(name)) shared.insert(name);
        }
        return DeviceNow(shared);
    }
    void ForgetDeviceUninstaller(const std::string& topDir = "Program Files") {
        std::error_code ec;
        for (const std::string& name :
             {topDir + "/Vantor Software/uninstaller.dll", topDir + "/Vantor Software", topDir}) {
            if (!deviceBeforeFiles_.contains(name)) fs::remove(DeviceRoot() / name, ec);
        }
    }

    // Registered as the device's uninstall finds it: the key and the uninstaller it names.
    bool DeviceRegistered() const {
        const std::string registry = DeviceRegistry();
        const std::size_t iKey = registry.find("[HKEY_LOCAL_MACHINE\\Software\\Apps\\Kelvano]");
        if (iKey == std::string::npos) return false;
        const std::size_t iIsv = registry.find("\"IsvFile\"", iKey);
        return iIsv != std::string::npos && iIsv < registry.find('[', iKey + 1);
    }
    // The removal as a user meets it: the device's own when the product is registered there,
    // else the toolkit's (a crashed install that never got registered), in a child.
    void RemoveFromDevice() {
        if (DeviceRegistered()) {
            const testsupport::ProgramRun run = Device("uninstall Kelvano");
            EXPECT_EQ(run.nExit, 0) << run.err;
            return;
        }
        const ChildRun child = RunInChild([] {
            sl::SetupLib lib;
            if (lib.DeviceToolkit() == nullptr) return std::string("no device");
            lib.DeviceToolkit()->uninstall(setup::kszProduct);
            return std::string();
        });
        EXPECT_TRUE(child.Passed()) << child.Status() << " " << child.message;
    }

    // The installer's sequence on the device alone.
    bool InstallOnDevice(setup::InstallFailure* pFailure = nullptr,
                         sl::PROGRESSHANDLER pfnProgress = nullptr) {
        sl::SetupLib lib;
        if (lib.DeviceToolkit() == nullptr) return false;
        setup::InstallFailure failure;
        return setup::RunInstallSequence(*lib.DeviceToolkit(), payload_, pfnProgress, 1008,
                                         pFailure ? pFailure : &failure);
    }

    testsupport::TempFolder deviceFolder_{"kelvano-install-device", FastRoot()};
    std::string deviceDir_ = (deviceFolder_.Path() / "device").string();
    testsupport::ScopedEnv deviceEnv_{"KELVANO_DEVICE_DIR", deviceDir_.c_str()};
    testsupport::ScopedEnv libraryEnv_{"KELVANO_LIBRARY_PATH", RAPI_FOLDER};
    DeviceState deviceBefore_;
    Snapshot deviceBeforeFiles_;
};

} // namespace install_test
