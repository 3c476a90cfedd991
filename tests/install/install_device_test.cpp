// The installer's sequence on an emulated handheld as a user meets it: installed through the
// remote API, run there, removed by the device's own uninstall and by the toolkit, cut off
// mid-transfer, crashed at every change, sent compressed, and for each processor family.
// Each case starts from a fresh device and must leave it as it was, but for the shared
// uninstaller, which stays for the maker's other products.
#include "tests/install/device_support.h"

#include "host/debug.h"
#include "setup/sl_main.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace install_test {
namespace {

constexpr char kszDeviceProgram[] = "Program Files/Kelvano/kelvano.exe";
constexpr char kszDeviceUninstaller[] = "Program Files/Vantor Software/uninstaller.dll";

// The payload with the real game, made once.
const std::vector<std::uint8_t>& GamePayload() {
    static const std::vector<std::uint8_t> bytes = BuildDevicePayload(ReadBytes(GAME_PROGRAM));
    return bytes;
}

// The stand-in game grown to megabytes (the loader ignores what follows the program), so a
// transfer is well under way when the device goes.
std::string BigGame() {
    std::string game = ReadBytes(STANDIN_GAME);
    std::uint32_t n = 1;
    for (std::size_t i = 0; i < (6u << 20); ++i) {
        n = n * 1664525u + 1013904223u;
        game += static_cast<char>(n >> 24);
    }
    return game;
}

TEST_F(DeviceMachine, InstallsAndIsRemovedByTheDeviceAndByTheToolkit) {
    StartDevice();
    ASSERT_TRUE(InstallOnDevice());
    EXPECT_EQ(ReadBytes(OnDevice(kszDeviceProgram)), Build(ReadBytes(STANDIN_GAME), "arm"));
    EXPECT_EQ(ReadBytes(OnDevice(kszDeviceUninstaller)), ReadBytes(UNINSTALLER_LIBRARY));
    EXPECT_TRUE(fs::exists(OnDevice("Windows/Start Menu/Programs/Games/Kelvano.lnk")));
    EXPECT_TRUE(DeviceRegistered());
    EXPECT_EQ(State(), before_); // this machine is not touched
    const testsupport::ProgramRun run = Device("uninstall Kelvano");
    EXPECT_EQ(run.nExit, 0) << run.err;
    EXPECT_EQ(DeviceLessSharedUninstaller(), deviceBefore_);

    // Again, over the uninstaller left behind, removed by the toolkit this time.
    ASSERT_TRUE(InstallOnDevice());
    {
        sl::SetupLib lib;
        ASSERT_NE(lib.DeviceToolkit(), nullptr);
        EXPECT_TRUE(lib.DeviceToolkit()->uninstall(setup::kszProduct));
    }
    EXPECT_EQ(DeviceLessSharedUninstaller(), deviceBefore_);

    // Both targets in one run, this machine first, as the installer's worker does.
    {
        sl::SetupLib lib;
        ASSERT_NE(lib.DeviceToolkit(), nullptr);
        setup::InstallFailure failure;
        ASSERT_TRUE(
            setup::RunInstallSequence(lib.DesktopToolkit(), payload_, nullptr, 1008, &failure));
        ASSERT_TRUE(
            setup::RunInstallSequence(*lib.DeviceToolkit(), payload_, nullptr, 1009, &failure));
    }
    EXPECT_EQ(ReadBytes(Native(kszProgram)), Build(ReadBytes(STANDIN_GAME), "native"));
    EXPECT_EQ(ReadBytes(OnDevice(kszDeviceProgram)), Build(ReadBytes(STANDIN_GAME), "arm"));
    EXPECT_EQ(Shell("uninstall Kelvano").nExit, 0);
    EXPECT_EQ(Device("uninstall Kelvano").nExit, 0);
    EXPECT_EQ(StateLessSharedUninstaller(), before_);
    EXPECT_EQ(DeviceLessSharedUninstaller(), deviceBefore_);
}

// The real game, started on the device from its installed copy, keeps its settings in the
// device's registry; the removal takes them away with it.
TEST_F(DeviceMachine, GameKeepsItsSettingsOnTheDeviceUntilRemoved) {
    payload_.OpenMemory(GamePayload().data(), GamePayload().size(), false);
    StartDevice();
    ASSERT_TRUE(InstallOnDevice());
    {
        testsupport::ScopedEnv backend{"KELVANO_BACKEND", "headless"};
        const testsupport::ProgramRun run =
            Device("run '\\Program Files\\Kelvano\\kelvano.exe' --frames 5");
        ASSERT_EQ(run.nExit, 0) << run.out << run.err;
    }
    const std::string registry = DeviceRegistry();
    const std::size_t iKey = registry.find("[HKEY_CURRENT_USER\\Software\\Vantor\\Kelvano CE]");
    ASSERT_NE(iKey, std::string::npos) << registry;
    EXPECT_NE(registry.find("\"Settings\"", iKey), std::string::npos) << registry;
    EXPECT_EQ(State(), before_); // not this machine's registry

    EXPECT_EQ(Device("uninstall Kelvano").nExit, 0);
    EXPECT_EQ(DeviceLessSharedUninstaller(), deviceBefore_);
}

// ---- The device lost in the middle of a file ---------------------------------------------

// Cuts the device off once the program's first chunk is across: kills the service when
// g_nServicePid is set, else disconnects it with the tool.
pid_t g_nServicePid = 0;
std::string g_disconnect;
bool g_fCut = false;

void CutAfterFirstChunk(int nKind, int nPercent, const char* pszItem, std::intptr_t) {
    if (g_fCut || nKind != sl::kProgressFile || nPercent <= 5 ||
        !std::string(pszItem).ends_with("kelvano.exe"))
        return;
    g_fCut = true;
    if (g_nServicePid > 0)
        ::kill(g_nServicePid, SIGKILL);
    else
        std::system(g_disconnect.c_str());
}

pid_t ServicePid(const std::string& status) {
    const std::size_t i = status.find("(process ");
    return i == std::string::npos ? 0 : std::atoi(status.c_str() + i + 9);
}

TEST_F(DeviceMachine, DeviceLostMidTransferFailsPromptlyAndRecovers) {
    const std::string game = BigGame();
    const std::vector<std::uint8_t> payloadBytes = BuildDevicePayload(game);
    payload_.OpenMemory(payloadBytes.data(), payloadBytes.size(), false);
    g_disconnect = std::string("'") + DEVICE_PROGRAM + "' --dir '" + deviceDir_ + "' disconnect";
    for (const char* pszHow : {"killed", "disconnected"}) {
        SCOPED_TRACE(pszHow);
        StartDevice();
        const bool fKill = std::string(pszHow) == "killed";
        g_nServicePid = fKill ? ServicePid(Device("status").out) : 0;
        ASSERT_TRUE(!fKill || g_nServicePid > 0);
        g_fCut = false;
        std::string traces;
        setup::InstallFailure failure;
        const auto start = std::chrono::steady_clock::now();
        {
            host::DebugCapture capture;
            EXPECT_FALSE(InstallOnDevice(&failure, CutAfterFirstChunk));
            traces = capture.Text();
        }
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
        EXPECT_TRUE(g_fCut);
        EXPECT_LT(ReadBytes(OnDevice(kszDeviceProgram)).size(), game.size()); // cut short
        EXPECT_EQ(failure.idsMessage, setup::kidsCannotInstallFile);
        const std::string program = "\\Program Files\\Kelvano\\kelvano.exe";
        EXPECT_TRUE(traces.find("setuplib: writefile failed to write " + program + "\n") !=
                        std::string::npos ||
                    traces.find("setuplib: rapi writefile failed to create " + program + "\n") !=
                        std::string::npos)
            << traces;

        // Back again: the installation over what was left installs, and the removal clears it.
        const testsupport::ProgramRun back = fKill ? Device("start") : Device("connect");
        ASSERT_EQ(back.nExit, 0) << back.err;
        ASSERT_TRUE(InstallOnDevice());
        EXPECT_EQ(ReadBytes(OnDevice(kszDeviceProgram)), Build(game, "arm"));
        EXPECT_EQ(Device("uninstall Kelvano").nExit, 0);
        EXPECT_EQ(DeviceLessSharedUninstaller(), deviceBefore_);
    }
}

// ---- Killed at every change --------------------------------------------------------------

// Killed before each change the installation makes on the device in turn: whatever it left
// is in the device's log, so the removal takes it all away, and an installation over the
// wreck installs and removes cleanly. Of a run of the same call on the same file the first
// two and the last stand for the rest.
TEST_F(DeviceMachine, CrashAtEveryDeviceChangeLeavesOnlyWhatTheLogLists) {
    // With the decompressor: its temporary files are changes too.
    StartDevice(std::string("--decompressor '") + LZRAPI_LIBRARY + "'");
    KillAtEveryChange(
        work_.File("mutations"), [&] { return InstallOnDevice(); },
        [&] {
            RemoveFromDevice();
            EXPECT_EQ(DeviceLessSharedUninstaller(), deviceBefore_);
        },
        [&] { ForgetDeviceUninstaller(); });
}

// ---- Compressed transfer ---------------------------------------------------------------

// With the decompressor placed, a file above 5120 bytes crosses the link compressed into a
// temporary file that the device unpacks; up to 5120 bytes it is written as it is. Either
// way the device ends up with the original bytes, and no temporary file stays.
TEST_F(DeviceMachine, FilesAbove5120BytesTravelCompressed) {
    StartDevice(std::string("--decompressor '") + LZRAPI_LIBRARY + "'");
    const std::string log = work_.File("rapi-calls");
    testsupport::ScopedEnv logEnv{"KELVANO_RAPI_LOG", log.c_str()};
    constexpr char kszUnpack[] = "lzrapi.dll DecompressFile\n";

    ASSERT_TRUE(InstallOnDevice());
    EXPECT_EQ(ReadBytes(OnDevice(kszDeviceProgram)), Build(ReadBytes(STANDIN_GAME), "arm"));
    EXPECT_EQ(ReadBytes(OnDevice(kszDeviceUninstaller)), ReadBytes(UNINSTALLER_LIBRARY));
    EXPECT_NE(ReadBytes(log).find(kszUnpack), std::string::npos) << ReadBytes(log);
    EXPECT_EQ(Device("uninstall Kelvano").nExit, 0);
    EXPECT_EQ(DeviceLessSharedUninstaller(), deviceBefore_);

    std::string data(5121, '\0');
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>("kelvano"[i % 7] + i / 700);
    sl::SetupLib lib;
    ASSERT_NE(lib.DeviceToolkit(), nullptr);
    for (const DWORD cb : {5120u, 5121u}) {
        SCOPED_TRACE(cb);
        fs::remove(log);
        const std::string name = "f" + std::to_string(cb) + ".bin";
        ASSERT_TRUE(lib.DeviceToolkit()->writefile(
            ("\\" + name).c_str(), reinterpret_cast<const host::BYTE*>(data.data()), cb, -1, -1));
        const std::string calls = ReadBytes(log);
        EXPECT_EQ(calls.find(kszUnpack) != std::string::npos, cb > 5120) << calls;
        EXPECT_EQ(calls.find("CeCreateFile \\" + name + "\n") != std::string::npos, cb <= 5120)
            << calls;
        EXPECT_EQ(ReadBytes(OnDevice(name)), data.substr(0, cb));
        fs::remove(OnDevice(name));
    }
    EXPECT_EQ(DeviceLessSharedUninstaller(), deviceBefore_);
}

// ---- Processor families and the storage folder -------------------------------------------

TEST_F(DeviceMachine, EachFamilyInstallsItsOwnBuild) {
    struct {
        const char* pszOptions;
        const char* pszFolder; // null: the payload has no build for it
        const char* pszTop;
    } const cases[] = {
        {"--arch 5", "arm", "Program Files"}, {"--arch 1", "mips", "Program Files"},
        {"--arch 4", "shx", "Program Files"}, {"--arch 3", nullptr, "Program Files"},
        {"--arch 4", "shx", "Storage"},
    };
    const std::string game = ReadBytes(STANDIN_GAME);
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.pszOptions) + " under " + c.pszTop);
        StartDevice(c.pszOptions);
        if (std::string(c.pszTop) != "Program Files") {
            const testsupport::ProgramRun set = Device(
                std::string("reg set 'HKLM\\PMail\\Attachments' TopDir sz '") + c.pszTop + "'");
            ASSERT_EQ(set.nExit, 0) << set.err;
            deviceBefore_ = DeviceNow();
        }
        setup::InstallFailure failure;
        std::string traces;
        bool fOk = false;
        {
            host::DebugCapture capture;
            fOk = InstallOnDevice(&failure);
            traces = capture.Text();
        }
        const std::string top = c.pszTop;
        if (c.pszFolder != nullptr) {
            ASSERT_TRUE(fOk) << traces;
            EXPECT_EQ(ReadBytes(OnDevice(top + "/Kelvano/kelvano.exe")), Build(game, c.pszFolder));
            EXPECT_TRUE(fs::exists(OnDevice(top + "/Vantor Software/uninstaller.dll")));
        } else {
            EXPECT_FALSE(fOk);
            EXPECT_EQ(failure.idsMessage, setup::kidsCannotInstallFile);
            EXPECT_NE(traces.find("setuplib: installfile failed to find ppc"), std::string::npos)
                << traces;
            EXPECT_NE(traces.find("kelvano.exe\n"), std::string::npos) << traces;
        }
        RemoveFromDevice();
        EXPECT_EQ(DeviceLessSharedUninstaller(top), deviceBefore_);
    }
}

} // namespace
} // namespace install_test
