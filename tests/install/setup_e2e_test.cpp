// The installer program as a user meets it: the real entry run in process on the headless
// desktop screen, driven by clicks on its skinned controls, on a fresh machine (drive,
// registry, applications) and, where a case asks, a fresh emulated device. Every
// installation is removed again by the shell tool or the device's own uninstall, which must
// leave both as they were but for the shared uninstaller and the language choice.
#include "tests/install/setup_support.h"

#include <sys/resource.h>

#include <algorithm>
#include <csignal>
#include <functional>
#include <string>
#include <vector>

namespace install_test {
namespace {

// What a game screen shows of the pieces: its strongly red and strongly blue pixels. The
// background's ripples fall anywhere, but are never so bright.
std::pair<int, int> PieceColours(const testsupport::Picture& picture) {
    int cRed = 0, cBlue = 0;
    for (const host::COLORREF clr : picture.pixels) {
        const int r = host::GetRValue(clr), g = host::GetGValue(clr), b = host::GetBValue(clr);
        cRed += r > 150 && g < 90 && b < 90;
        cBlue += b > 150 && r < 90 && g < 140;
    }
    return {cRed, cBlue};
}

// The white of the status line under the buttons, which speaks the game's language.
int StatusPixels(const testsupport::Picture& picture) {
    int c = 0;
    for (int y = 30; y < std::min(picture.cy, 60); ++y)
        for (int x = 0; x < picture.cx; ++x) {
            const host::COLORREF clr = picture.At(x, y);
            c += host::GetRValue(clr) > 200 && host::GetGValue(clr) > 200 &&
                 host::GetBValue(clr) > 200;
        }
    return c;
}

bool StatusIsFrom(const std::vector<STATUSSEEN>& records, int nControl) {
    if (records.empty()) return false;
    for (const STATUSSEEN& status : records)
        if (status.nControl != nControl) return false;
    return true;
}

// ---- Cases ------------------------------------------------------------------------------

TEST(SetupShortItemName, KeepsTheLastComponent) {
    const struct {
        const char* pszPath;
        const char* pszShort;
    } cases[] = {
        {"arm/kelvano.exe", "kelvano.exe"},
        {"C:\\Program Files\\Kelvano\\kelvano.exe", "kelvano.exe"},
        {"\\Program Files\\Kelvano\\kelvano.exe", "kelvano.exe"},
        {"a\\b/c.txt", "c.txt"}, // the "/" once no "\" is left
        {"a/b\\c.txt", "c.txt"},
        {"kelvano.exe", "kelvano.exe"},
        {"C:\\Games\\", ""},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(std::string(SetupShortItemName(c.pszPath).Text8()), c.pszShort) << c.pszPath;
}

// No device: the no-device panel, one progress bar, this machine installed as the log says,
// with progress that follows the payload's sizes; removed whole by the shell tool.
TEST_F(SetupProgram, WithoutADeviceInstallsOnThisMachine) {
    BoxSeen box;
    RunSetup({WaitFor(IDC_SETUP_RESCAN), Do([&] {
                  EXPECT_EQ(Window()->Control(IDC_SETUP_DESKTOP), nullptr);
                  EXPECT_EQ(KelvanoSetupTarget(), SETUP_TARGET_DESKTOP);
                  EXPECT_EQ(std::string(Window()->ControlText(IDC_SETUP_TITLE).Text8()),
                            Text(IDS_SETUP_TITLE));
              }),
              Click(IDC_SETUP_INSTALL), AnswerBox(&box)});
    EXPECT_FALSE(g_fSawDeviceBar); // one bar: 109
    EXPECT_FALSE(g_fSawChoice);
    EXPECT_EQ(box.text, Success());
    EXPECT_EQ(box.ok, "OK");

    EXPECT_EQ(ReadBytes(Native(kszProgram)), PayloadEntry("native/kelvano.exe"));
    EXPECT_EQ(ReadBytes(Native(kszMakerFolder) + "/uninstaller.dll"),
              PayloadEntry("native/uninstaller.dll"));
    EXPECT_TRUE(fs::exists(
        host::ShellLinkTwinPath(u"C:\\ProgramData\\Start Menu\\Programs\\Games\\Kelvano.lnk")));
    EXPECT_TRUE(IsRegistered());
    EXPECT_EQ(ReadBytes(Native(kszLog)), ReadBytes(INSTALL_TESTDATA "/golden-install-log.txt"));

    // The records, the same ones repeated once: the log saved at 0, the program in chunks
    // from 5 to 95, the log again, the shared uninstaller (written beside its place) from 95
    // to 100, and the end.
    std::vector<std::string> seen;
    for (const STATUSSEEN& status : records_) {
        if (seen.empty() || seen.back() != status.text) seen.push_back(status.text);
    }
    EXPECT_TRUE(StatusIsFrom(records_, IDC_SETUP_PROGRESS));
    auto file = [](std::vector<std::string>* pList, const char* pszName, std::size_t cb, int nFrom,
                   int nTo) {
        auto add = [&](std::size_t cbDone) {
            const long n = nFrom + static_cast<long>((nTo - nFrom) * cbDone / cb);
            const std::string text =
                "Installing " + std::string(pszName) + "\n" + std::to_string(n) + "% complete";
            if (pList->back() != text) pList->push_back(text);
        };
        add(0);
        for (std::size_t cbDone = 0; cbDone < cb;) {
            cbDone += std::min<std::size_t>(cb - cbDone, sl::kcbWriteChunk);
            add(cbDone);
        }
    };
    std::vector<std::string> expected = {"Saving uninstall information\n0% complete"};
    file(&expected, "kelvano.exe", PayloadEntry("native/kelvano.exe").size(), 5, 95);
    expected.push_back("Saving uninstall information\n95% complete");
    file(&expected, "uninstaller.dll", PayloadEntry("native/uninstaller.dll").size(), 95, 100);
    expected.push_back("Finishing setup\n100% complete");
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(expected[1], "Installing kelvano.exe\n5% complete");

    RemoveFromDesktop();
}

// A device of architecture 5: the target choice with this machine chosen; both targets on
// two bars, or the device alone on the first, its files the payload's "arm" ones.
TEST_F(SetupProgram, WithADeviceInstallsWhereChosen) {
    StartDevice("--arch 5");
    for (const int nTarget : {SETUP_TARGET_BOTH, SETUP_TARGET_DEVICE}) {
        SCOPED_TRACE(nTarget);
        records_.clear();
        const int nRadio = nTarget == SETUP_TARGET_BOTH ? IDC_SETUP_BOTH : IDC_SETUP_DEVICE;
        BoxSeen box;
        g_fSawDeviceBar = false;
        RunSetup({WaitFor(IDC_SETUP_DESKTOP, true), Do([&] {
                      EXPECT_EQ(Window()->Control(IDC_SETUP_RESCAN), nullptr);
                      EXPECT_EQ(KelvanoSetupTarget(), SETUP_TARGET_DESKTOP);
                  }),
                  Click(nRadio), WaitFor(nRadio, true), Click(IDC_SETUP_INSTALL), AnswerBox(&box)});
        EXPECT_EQ(g_fSawDeviceBar, nTarget == SETUP_TARGET_BOTH); // 111, else 109
        // Packed transfers and the uninstaller's replacement travel under temporary names;
        // the status line names the files the user knows.
        for (const STATUSSEEN& status : records_) {
            const std::string& text = status.text;
            EXPECT_EQ(text.find("Safe To Delete"), std::string::npos) << text;
            EXPECT_EQ(text.find(".tmp"), std::string::npos) << text;
        }
        EXPECT_EQ(box.text, Success());
        EXPECT_EQ(ReadBytes(OnDevice("Program Files/Kelvano/kelvano.exe")),
                  PayloadEntry("arm/kelvano.exe"));
        EXPECT_EQ(ReadBytes(OnDevice("Program Files/Vantor Software/uninstaller.dll")),
                  PayloadEntry("arm/uninstaller.dll"));
        EXPECT_TRUE(DeviceRegistered()); // Software\Apps\Kelvano
        if (nTarget == SETUP_TARGET_BOTH) {
            EXPECT_EQ(ReadBytes(Native(kszProgram)), PayloadEntry("native/kelvano.exe"));
            EXPECT_EQ(records_.front().nControl, IDC_SETUP_PROGRESS);
            EXPECT_EQ(records_.back().nControl, IDC_SETUP_PROGRESS_DEVICE);
            // Both copies start from where they lie and show the board the built game shows.
            testsupport::ScopedEnv backend{"KELVANO_BACKEND", "headless"};
            const std::string shot = (work_.Path() / "built-game.png").string();
            ASSERT_EQ(testsupport::RunProgram(work_.Path(), GAME_PROGRAM,
                                              "--frames 30 --screenshot '" + shot + "'")
                          .nExit,
                      0);
            const std::pair<int, int> built = PieceColours(testsupport::ReadPng(shot));
            fs::remove(shot);
            EXPECT_GT(built.first, 1000);
            EXPECT_GT(built.second, 1000);
            EXPECT_EQ(PieceColours(PlayInstalledGame(false)), built);
            EXPECT_EQ(PieceColours(PlayInstalledGame(true)), built);
            RemoveFromDesktop();
        } else {
            EXPECT_TRUE(StatusIsFrom(records_, IDC_SETUP_PROGRESS));
            ExpectDesktopAsBefore();
        }
        RemoveFromTheDevice();
        ForgetDeviceUninstaller();
    }
}

// Rescan with no device changes nothing; once the device runs it offers both targets,
// "both" chosen. Closing the window then installs nothing and shows no box.
TEST_F(SetupProgram, RescanFindsTheDeviceAndCancelInstallsNothing) {
    bool fStill107 = false;
    // The steps run between messages: the Rescan click's own wait is over before the next.
    RunSetup({WaitFor(IDC_SETUP_RESCAN), Click(IDC_SETUP_RESCAN), Do([] {}), Do([&] {
                  fStill107 = Window()->Control(IDC_SETUP_RESCAN) != nullptr &&
                              Window()->Control(IDC_SETUP_BOTH) == nullptr &&
                              KelvanoSetupTarget() == SETUP_TARGET_DESKTOP;
                  StartDevice("--arch 5");
              }),
              Click(IDC_SETUP_RESCAN), WaitFor(IDC_SETUP_BOTH, true), Do([] {
                  EXPECT_EQ(KelvanoSetupTarget(), SETUP_TARGET_BOTH);
                  EXPECT_EQ(Window()->Control(IDC_SETUP_RESCAN), nullptr);
              }),
              Click(SKIN_CLOSE_ID)});
    EXPECT_TRUE(fStill107);
    EXPECT_TRUE(records_.empty());
    ExpectDesktopAsBefore();
    EXPECT_EQ(DeviceNow(), deviceBefore_);
}

// Esperanto chosen on the welcome panel: both panels and the box speak it, the choice of
// targets stays, and the language goes to both sides.
TEST_F(SetupProgram, EsperantoRebuildsThePanelsAndGoesToBothSides) {
    StartDevice("--arch 5");
    BoxSeen box;
    std::string title, both;
    RunSetup({WaitFor(IDC_SETUP_DESKTOP, true), Click(IDC_SETUP_BOTH),
              WaitFor(IDC_SETUP_BOTH, true), Click(IDC_SETUP_ESPERANTO),
              WaitFor(IDC_SETUP_ESPERANTO, true), WaitFor(IDC_SETUP_BOTH), Do([&] {
                  title = Window()->ControlText(IDC_SETUP_TITLE).Text8();
                  both = Window()->ControlText(IDC_SETUP_BOTH).Text8();
                  EXPECT_TRUE(Window()->IsControlChecked(IDC_SETUP_BOTH));
                  EXPECT_EQ(KelvanoSetupTarget(), SETUP_TARGET_BOTH);
                  EXPECT_EQ(cetl::GetLanguageId(), cetl::kLanguageEsperanto);
              }),
              Click(IDC_SETUP_INSTALL), AnswerBox(&box)});
    EXPECT_EQ(title, "<font face=arial size=18><i>Instalilo de Kelvano</i></font>");
    EXPECT_EQ(both, "Instalu en ambaŭ");
    EXPECT_EQ(box.ok, "Akceptu");
    EXPECT_NE(box.text.find("Kelvano estas sukcese instalita!"), std::string::npos) << box.text;
    const std::string lang = "\"Lang-Kelvano CE\"=sz:\"EO\"";
    std::string desktop;
    host::RegExportKey(host::HKEY_LOCAL_MACHINE, desktop);
    EXPECT_NE(desktop.find(lang), std::string::npos) << desktop;
    EXPECT_NE(DeviceRegistry().find(lang), std::string::npos) << DeviceRegistry();
    // The installed game speaks Esperanto: its screen differs once English is chosen.
    const int cEsperanto = StatusPixels(PlayInstalledGame(false));
    ASSERT_TRUE(cetl::SetModuleLanguage("Kelvano CE", cetl::kLanguageEnglish));
    const int cEnglish = StatusPixels(PlayInstalledGame(false));
    EXPECT_GT(cEsperanto, 100);
    EXPECT_GT(cEnglish, 100);
    EXPECT_NE(cEsperanto, cEnglish);
    ASSERT_TRUE(cetl::SetModuleLanguage("Kelvano CE", cetl::kLanguageEsperanto));
    RemoveFromDesktop();
    RemoveFromTheDevice();
}

// A setrlimit on the soft file-size limit alone, so that the test can lift it again.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t cb) {
        getrlimit(RLIMIT_FSIZE, &old_);
        const struct rlimit limit = {cb, old_.rlim_max};
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &old_); }

private:
    struct rlimit old_ {};
};

// Each failure shows the failure box with the first error; a blocked maker folder stops the
// installation before anything is installed.
TEST_F(SetupProgram, FailuresShowTheFirstError) {
    const std::string program = Native(kszProgram);
    const std::string link = Native(kszShortcut);
    const std::string maker = Native(kszMakerFolder);
    const struct {
        const char* pszCase;
        std::function<void()> block;
        std::function<void()> unblock;
        std::string error;
    } cases[] = {
        {"a folder where the program goes", [&] { fs::create_directories(program); },
         [&] { fs::remove(program); }, CannotInstall(kszProgram)},
        {"a folder where the shortcut goes",
         [&] {
             fs::create_directories(link);
             std::ofstream(fs::path(link) / "in the way") << "kept";
         },
         [&] { fs::remove_all(link); }, CannotInstall(kszProgram)},
        {"a full disk", [] {}, [] {}, CannotInstall(kszProgram)},
        {"a blocked maker folder",
         [&] {
             fs::create_directories(fs::path(maker).parent_path());
             std::ofstream(maker) << "in the way";
         },
         [&] { fs::remove(maker); }, Text(24)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszCase);
        c.block();
        const MachineState blocked = State();
        BoxSeen box;
        {
            // Room for the log, not for the program (the full disk's case only).
            std::unique_ptr<FileSizeLimit> limit;
            std::vector<Step> steps = {WaitFor(IDC_SETUP_INSTALL), Click(IDC_SETUP_INSTALL),
                                       AnswerBox(&box)};
            if (std::string(c.pszCase) == "a full disk")
                limit =
                    std::make_unique<FileSizeLimit>(PayloadEntry("native/kelvano.exe").size() / 2);
            RunSetup(steps);
        }
        EXPECT_EQ(box.text, FailureWith(c.error));
        if (c.error == Text(24)) {
            MachineState now = State();
            now.registry = WithoutLanguage(now.registry);
            MachineState before = blocked;
            before.registry = WithoutLanguage(before.registry);
            EXPECT_EQ(now, before); // nothing installed
        } else {
            c.unblock();
            Remove();
        }
        c.unblock();
        ExpectDesktopAsBefore();
        ForgetSharedUninstaller();
    }
}

// The log cannot be written once the program is installed: the shortcut's step stops at its
// log entry, and the message is the uninstall information's, not the file's.
std::string g_blockLog;
void BlockLogAfterProgram(const UPDATESTATUS& status) {
    RecordStatus(status);
    if (std::string(status.strText.Text8()) != "Installing kelvano.exe\n95% complete") return;
    // Where the log's replacement is written: a folder that is not empty stays in the way.
    fs::create_directories(fs::path(g_blockLog + ".tmp") / "in the way");
}

TEST_F(SetupProgram, LogUnwritableMidwayReportsTheUninstallInformation) {
    g_blockLog = Native(kszLog);
    SetSetupStatusHook(BlockLogAfterProgram);
    BoxSeen box;
    SETUPRUN run;
    run.msPace = 1; // the worker waits while the window takes each record
    RunSetup({WaitFor(IDC_SETUP_INSTALL), Click(IDC_SETUP_INSTALL), AnswerBox(&box)}, run);
    EXPECT_EQ(box.text, FailureWith(Text(24)));
    EXPECT_FALSE(fs::exists(Native(kszShortcut)));
    fs::remove_all(g_blockLog + ".tmp");
    Remove();
    ExpectDesktopAsBefore();
}

// The device killed in the middle of the program's transfer: the failure box. Started again,
// the device's removal clears what the transfer left, and this machine's (when it was a
// target too) what was installed here.
pid_t g_devicePid = 0;
int g_nDeviceBar = 0;
void KillDeviceInTransfer(const UPDATESTATUS& status) {
    RecordStatus(status);
    // The worker waits while the window shows the record: the transfer is under way.
    if (g_devicePid != 0 && status.nControl == g_nDeviceBar &&
        std::string(status.strText.Text8()).find("kelvano.exe") != std::string::npos) {
        ::kill(g_devicePid, SIGKILL);
        g_devicePid = 0;
    }
}

TEST_F(SetupProgram, DeviceKilledMidInstallShowsTheFailure) {
    SetSetupStatusHook(KillDeviceInTransfer);
    for (const int nTarget : {SETUP_TARGET_DEVICE, SETUP_TARGET_BOTH}) {
        SCOPED_TRACE(nTarget);
        StartDevice("--arch 5");
        const std::string status = Device("status").out;
        const std::size_t i = status.find("(process ");
        ASSERT_NE(i, std::string::npos) << status;
        g_devicePid = std::atoi(status.c_str() + i + 9);
        const int nRadio = nTarget == SETUP_TARGET_BOTH ? IDC_SETUP_BOTH : IDC_SETUP_DEVICE;
        g_nDeviceBar =
            nTarget == SETUP_TARGET_BOTH ? IDC_SETUP_PROGRESS_DEVICE : IDC_SETUP_PROGRESS;
        BoxSeen box;
        SETUPRUN run;
        run.msPace = 1;
        RunSetup({WaitFor(nRadio), Click(nRadio), WaitFor(nRadio, true), Click(IDC_SETUP_INSTALL),
                  AnswerBox(&box)},
                 run);
        EXPECT_EQ(g_devicePid, 0) << "the transfer was never seen";
        EXPECT_EQ(box.text.rfind(FailureWith("").substr(0, 40), 0), 0u) << box.text;
        Device("start");
        RemoveFromDevice();
        EXPECT_EQ(DeviceLessSharedUninstaller(), deviceBefore_);
        if (nTarget == SETUP_TARGET_BOTH) {
            EXPECT_TRUE(IsRegistered());
            RemoveFromDesktop();
        } else {
            ExpectDesktopAsBefore();
        }
        ForgetSharedUninstaller();
    }
}

// A paced installation, caught in the middle: the closing of the window waits, and the
// screen shows the bar and the status line.
TEST_F(SetupProgram, PacedInstallationIsSeenHalfDoneAndCannotBeClosed) {
    testsupport::ScopedEnv pace{"KELVANO_SETUP_PACE", "15"};
    const SETUPRUN run = SetupRunFromEnvironment();
    ASSERT_EQ(run.msPace, 15u);
    BoxSeen box;
    bool fStillOpen = false;
    std::string statusLine;
    int nPosition = 0;
    RunSetup({WaitFor(IDC_SETUP_INSTALL), Click(IDC_SETUP_INSTALL),
              [&] {
                  SkinWindow* pWindow = Window();
                  SKINCONTROL* pBar =
                      pWindow != nullptr ? pWindow->Control(IDC_SETUP_PROGRESS) : nullptr;
                  return pBar != nullptr && pBar->Position() >= 40;
              },
              Do([&] {
                  host::PostMessage(KelvanoSetupWindow(), host::WM_CLOSE, 0, 0);
                  ClickControl(Window(), SKIN_CLOSE_ID);
              }),
              Do([&] {
                  fStillOpen = Window() != nullptr;
                  EXPECT_EQ(host::GetCursor(), host::LoadCursor(nullptr, host::IDC_WAIT));
                  statusLine = Window()->ControlText(IDC_SETUP_STATUS).Text8();
                  nPosition = Window()->Control(IDC_SETUP_PROGRESS)->Position();
                  const fs::path shots = SETUP_SCREENSHOTS;
                  fs::create_directories(shots);
                  EXPECT_TRUE(host::SaveScreenshot((shots / "setup-installing.png").string()));
              }),
              AnswerBox(&box)},
             run);
    EXPECT_TRUE(fStillOpen);
    EXPECT_GE(nPosition, 40);
    EXPECT_NE(statusLine.find("Installing kelvano.exe\n"), std::string::npos) << statusLine;
    EXPECT_EQ(box.text, Success());
    RemoveFromDesktop();
}

} // namespace
} // namespace install_test
