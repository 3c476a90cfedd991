// The skinned message box with the installer's skin, answered by real input while it runs.
#include "foundation/tl_language.h"
#include "host/clock.h"
#include "host/controls.h"
#include "host/debug.h"
#include "host/msgbox.h"
#include "host/screen.h"
#include "skin/skin_msgbox.h"
#include "skin/skin_test_skin.h"
#include "skin/skin_window.h"
#include "skin/skin_window_fixture.h"
#include "tests/support/temp_registry.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr UINT kDrive = host::WM_USER + 1;
constexpr UINT kWatchdog = host::WM_USER + 2;

// What a test does with the running box: look at it, then post the input that ends it.
std::function<void(SkinWindow*)> g_fnDrive;

SkinWindow* RunningBox() {
    return SkinWindow::FromHandle(host::FindWindow(kszSkinWindowClass, nullptr));
}

// Messages posted before the box runs reach this window from inside the box's modal loop.
LRESULT DriverProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (uMsg == kDrive) {
        SkinWindow* pBox = RunningBox();
        EXPECT_NE(pBox, nullptr);
        if (pBox != nullptr && g_fnDrive) g_fnDrive(pBox);
        // Behind the input: a box still open did not take it, and must not hang the test.
        host::PostMessage(hwnd, kWatchdog, 0, 0);
        return 0;
    }
    if (uMsg == kWatchdog) {
        if (SkinWindow* pBox = RunningBox(); pBox != nullptr) {
            ADD_FAILURE() << "the box stayed open";
            pBox->Close(-1);
        }
        return 0;
    }
    return host::DefWindowProc(hwnd, uMsg, wParam, lParam);
}

POINT CentreOf(SkinWindow* pBox, int nId) {
    const RECT& rc = pBox->Control(nId)->Rect();
    POINT pt = {(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2};
    host::ClientToScreen(pBox->Handle(), &pt);
    return pt;
}

void Click(POINT pt) {
    host::PostMouseInput(pt, host::MouseAction::kMove);
    host::PostMouseInput(pt, host::MouseAction::kLeftDown);
    host::PostMouseInput(pt, host::MouseAction::kLeftUp);
}

void Key(UINT vk) {
    host::PostKeyInput(vk, true);
    host::PostKeyInput(vk, false);
}

// What a box showed.
struct Seen {
    std::vector<int> ids;            // the box's control ids
    std::vector<std::string> labels; // its buttons, right to left
    std::vector<RECT> buttons;       // likewise, in the inner rectangle's coordinates
    std::vector<int> textRoom;       // per button: its width less the label and borders
    int nDefault = 0;                // the BS_DEFPUSHBUTTON one
    int nFocused = 0;
    bool fTabStops = true; // every button is one
    RECT rcIcon = {}, rcText = {}, rcInner = {}, rcWindow = {};
};

class SkinMessageBoxTest : public ::testing::Test {
protected:
    void SetUp() override {
        cetl::ResetLanguage();
        ASSERT_TRUE(skintest::StartSkinScreen());
        pSkin_ = std::make_unique<SKIN>(KELVANO_SKINART_DIR "/dez.zip");
        host::WNDCLASSA wc{};
        wc.lpfnWndProc = DriverProc;
        wc.lpszClassName = "SkinMessageBoxDriver";
        host::RegisterClass(&wc);
        hwndDriver_ = host::CreateWindowEx(0, "SkinMessageBoxDriver", "", host::WS_POPUP, 0, 0, 1,
                                           1, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(hwndDriver_, nullptr);
    }
    void TearDown() override {
        g_fnDrive = nullptr;
        host::DestroyWindow(hwndDriver_);
        pSkin_.reset();
        skintest::StopSkinScreen();
        cetl::ResetLanguage();
    }

    // The box's answer when fnDrive has looked at it and posted its input.
    int Run(UINT uFlags, const std::function<void(SkinWindow*)>& fnDrive,
            const char* pszText = "Proceed?", SKIN* pSkin = nullptr,
            const char* pszTitle = "Title") {
        g_fnDrive = fnDrive;
        host::PostMessage(hwndDriver_, kDrive, 0, 0);
        const int n =
            SkinMessageBox(pSkin != nullptr ? pSkin : pSkin_.get(), uFlags, pszTitle, pszText);
        skintest::PumpAll();
        EXPECT_EQ(RunningBox(), nullptr);
        return n;
    }

    static Seen Look(SkinWindow* pBox) {
        Seen seen;
        for (int nId : pBox->ControlIds())
            seen.ids.push_back(nId);
        std::vector<SKINCONTROL*> buttons;
        for (int nId : seen.ids)
            if (pBox->Control(nId)->Kind() == CT_PBUTTON) buttons.push_back(pBox->Control(nId));
        std::sort(buttons.begin(), buttons.end(),
                  [](SKINCONTROL* a, SKINCONTROL* b) { return a->Rect().left > b->Rect().left; });
        seen.rcInner = pBox->InnerRect();
        const RECT& inner = seen.rcInner;
        SKINDRAWCONTEXT ctx;
        ctx.pSkin = pBox->Skin();
        for (SKINCONTROL* p : buttons) {
            seen.labels.emplace_back(p->Text().Text());
            RECT rc = p->Rect();
            const int cxLabel = SkinTextWidth(ctx, p->Settings(), p->Text(), p->Text().Length());
            seen.textRoom.push_back(rc.right - rc.left - p->Settings().nLeftBorder -
                                    p->Settings().nRightBorder - cxLabel);
            seen.buttons.push_back({rc.left - inner.left, rc.top - inner.top, rc.right - inner.left,
                                    rc.bottom - inner.top});
            if ((p->Style() & host::BS_TYPEMASK) == host::BS_DEFPUSHBUTTON) seen.nDefault = p->Id();
            seen.fTabStops = seen.fTabStops && (p->Style() & host::WS_TABSTOP) != 0;
        }
        if (SKINCONTROL* p = pBox->FocusedControl()) seen.nFocused = p->Id();
        auto relative = [&](int nId) {
            const SKINCONTROL* p = pBox->Control(nId);
            if (p == nullptr) return RECT{};
            const RECT& rc = p->Rect();
            return RECT{rc.left - inner.left, rc.top - inner.top, rc.right - inner.left,
                        rc.bottom - inner.top};
        };
        seen.rcIcon = relative(SKINMSGBOX_ICON_ID);
        seen.rcText = relative(SKINMSGBOX_TEXT_ID);
        host::GetWindowRect(pBox->Handle(), &seen.rcWindow);
        return seen;
    }

    void Esperanto() {
        cetl::InitLanguage(TEXT("SkinMessageBox"), nullptr);
        ASSERT_TRUE(cetl::SetLanguage(cetl::kLanguageEsperanto));
    }

    testsupport::TempRegistry registry_{"skin-msgbox"};
    std::unique_ptr<SKIN> pSkin_;
    HWND hwndDriver_ = nullptr;
};

// Every button set with every icon, with and without other bits: the buttons' order,
// labels, widths, gaps and margins, the icon, the text column, the close box, the default
// button, the centring; then a click on one of the buttons answers its id.
TEST_F(SkinMessageBoxTest, ButtonsIconsAndLayoutByFlags) {
    struct Row {
        UINT uButtons;
        std::vector<std::string> labels; // right to left
        std::vector<int> ids;
    };
    const std::vector<Row> rows = {
        {host::MB_OK, {"OK"}, {host::IDOK}},
        {host::MB_OKCANCEL, {"OK", "Cancel"}, {host::IDOK, host::IDCANCEL}},
        {host::MB_YESNOCANCEL, {"Yes", "No", "Cancel"}, {host::IDYES, host::IDNO, host::IDCANCEL}},
        {host::MB_YESNO, {"Yes", "No"}, {host::IDYES, host::IDNO}},
    };
    RECT rcWork = {};
    host::SystemParametersInfo(host::SPI_GETWORKAREA, 0, &rcWork, 0);
    int iClick = 0;
    for (const Row& row : rows)
        for (UINT uIcon : {0x00u, 0x10u, 0x20u, 0x30u, 0x40u})
            for (UINT uExtra : {0x0u, host::MB_DEFBUTTON2 | host::MB_TOPMOST}) {
                const UINT uFlags = row.uButtons | uIcon | uExtra;
                SCOPED_TRACE(testing::Message() << "flags 0x" << std::hex << uFlags);
                const int iButton = iClick++ % static_cast<int>(row.ids.size());
                Seen seen;
                const int n = Run(uFlags, [&](SkinWindow* pBox) {
                    seen = Look(pBox);
                    Click(CentreOf(pBox, row.ids[iButton]));
                });
                EXPECT_EQ(n, row.ids[iButton]);
                EXPECT_EQ(seen.labels, row.labels);
                const bool fClosable = row.uButtons != host::MB_YESNO;
                EXPECT_EQ(std::count(seen.ids.begin(), seen.ids.end(), SKIN_CLOSE_ID), fClosable);
                const int cxInner = seen.rcInner.right - seen.rcInner.left;
                const int cyInner = seen.rcInner.bottom - seen.rcInner.top;
                ASSERT_EQ(seen.buttons.size(), row.ids.size());
                const int cx = seen.buttons[0].right - seen.buttons[0].left;
                EXPECT_GE(cx, 40);
                EXPECT_LE(cx, 74);
                EXPECT_EQ(seen.buttons[0].right, cxInner - 16);
                for (std::size_t i = 0; i < seen.buttons.size(); ++i) {
                    EXPECT_EQ(seen.buttons[i].right - seen.buttons[i].left, cx);
                    EXPECT_EQ(seen.buttons[i].bottom, cyInner - 16);
                    EXPECT_GE(seen.textRoom[i], 0) << seen.labels[i];
                    if (i > 0) {
                        EXPECT_EQ(seen.buttons[i - 1].left - seen.buttons[i].right, 8);
                    }
                }
                const int nDefault = row.ids[uExtra != 0 && row.ids.size() > 1 ? 1 : 0];
                EXPECT_EQ(seen.nDefault, nDefault);
                EXPECT_EQ(seen.nFocused, nDefault);
                EXPECT_TRUE(seen.fTabStops);
                // The DEZ icons are 32 x 32; the text starts 16 right of the icon.
                if (uIcon != 0) {
                    EXPECT_EQ(seen.rcIcon.left, 16);
                    EXPECT_EQ(seen.rcIcon.top, 16);
                    EXPECT_EQ(seen.rcIcon.right - seen.rcIcon.left, 32);
                    EXPECT_EQ(seen.rcIcon.bottom - seen.rcIcon.top, 32);
                }
                EXPECT_EQ(std::count(seen.ids.begin(), seen.ids.end(), SKINMSGBOX_ICON_ID),
                          uIcon != 0);
                EXPECT_EQ(seen.rcText.left, uIcon != 0 ? 64 : 16);
                EXPECT_EQ(seen.rcText.top, 16);
                EXPECT_GE(seen.rcText.right - seen.rcText.left, 200);
                EXPECT_EQ(seen.rcText.right, cxInner - 16);
                EXPECT_LE(seen.rcText.bottom + 16, seen.buttons[0].top);
                EXPECT_NEAR(seen.rcWindow.left - rcWork.left, rcWork.right - seen.rcWindow.right,
                            1);
                EXPECT_NEAR(seen.rcWindow.top - rcWork.top, rcWork.bottom - seen.rcWindow.bottom,
                            1);
            }
}

// The close box, Escape and Enter; a Yes/No box has no way out but its buttons. The active
// window owns the box: disabled while it runs, active again afterwards.
TEST_F(SkinMessageBoxTest, CloseBoxEscapeEnterAndTheOwner) {
    HWND hwndOwner = host::CreateWindowEx(0, ANIMWINDOW_CLASS, "", host::WS_POPUP, 0, 0, 50, 50,
                                          nullptr, nullptr, nullptr, nullptr);
    host::ShowWindow(hwndOwner, host::SW_SHOW);
    host::SetActiveWindow(hwndOwner);
    bool fOwnerEnabled = true;
    EXPECT_EQ(Run(host::MB_OK,
                  [&](SkinWindow* pBox) {
                      fOwnerEnabled = host::IsWindowEnabled(hwndOwner);
                      Click(CentreOf(pBox, SKIN_CLOSE_ID));
                  }),
              host::IDCANCEL);
    EXPECT_FALSE(fOwnerEnabled);
    EXPECT_TRUE(host::IsWindowEnabled(hwndOwner));
    EXPECT_EQ(host::GetActiveWindow(), hwndOwner);
    host::DestroyWindow(hwndOwner);

    EXPECT_EQ(Run(host::MB_YESNOCANCEL, [](SkinWindow*) { Key(host::VK_ESCAPE); }), host::IDCANCEL);
    EXPECT_EQ(
        Run(host::MB_YESNOCANCEL | host::MB_DEFBUTTON2, [](SkinWindow*) { Key(host::VK_RETURN); }),
        host::IDNO);
    EXPECT_EQ(Run(host::MB_YESNO,
                  [](SkinWindow* pBox) {
                      Key(host::VK_ESCAPE);
                      host::PostMessage(pBox->Handle(), host::WM_CLOSE, 0, 0);
                      host::PostMessage(pBox->Handle(), host::WM_COMMAND, host::IDOK, 0);
                      Key(host::VK_TAB); // from Yes to No
                      Key(host::VK_SPACE);
                  }),
              host::IDNO);
}

// Esperanto labels, which fit their buttons: the widest, "Akceptu", takes the skin's wide
// left text border down.
TEST_F(SkinMessageBoxTest, EsperantoLabelsFit) {
    Esperanto();
    for (const auto& [uFlags, labels] : std::vector<std::pair<UINT, std::vector<std::string>>>{
             {host::MB_OKCANCEL, {"Akceptu", "Nuligu"}},
             {host::MB_YESNOCANCEL, {"Jes", "Ne", "Nuligu"}}}) {
        Seen seen;
        EXPECT_EQ(Run(uFlags,
                      [&](SkinWindow* pBox) {
                          seen = Look(pBox);
                          Click(CentreOf(pBox, host::IDCANCEL));
                      }),
                  host::IDCANCEL);
        EXPECT_EQ(seen.labels, labels);
        for (int nRoom : seen.textRoom)
            EXPECT_GE(nRoom, 0);
    }
}

// A skin without icons (nor a "Message" anything): no icon control, the text at the margin;
// its 10-pixel button cells still make buttons as tall as a line of text.
TEST_F(SkinMessageBoxTest, SkinWithoutIcons) {
    const skintest::Bytes package = skintest::WindowSkinPackage();
    SKIN skin(package.data(), package.size());
    Seen seen;
    EXPECT_EQ(Run(
                  host::MB_ICONINFORMATION | host::MB_OKCANCEL,
                  [&](SkinWindow* pBox) {
                      seen = Look(pBox);
                      Click(CentreOf(pBox, host::IDOK));
                  },
                  "No icon here", &skin),
              host::IDOK);
    EXPECT_EQ(std::count(seen.ids.begin(), seen.ids.end(), SKINMSGBOX_ICON_ID), 0);
    EXPECT_EQ(seen.rcText.left, 16);
    ASSERT_EQ(seen.buttons.size(), 2u);
    EXPECT_GT(seen.buttons[0].bottom - seen.buttons[0].top, 10);
}

TEST_F(SkinMessageBoxTest, DebugOutputCarriesTitleTextAndButtons) {
    host::DebugCapture capture;
    Run(
        host::MB_YESNO | host::MB_ICONQUESTION,
        [](SkinWindow* pBox) { Click(CentreOf(pBox, host::IDYES)); }, "Replace the file?");
    EXPECT_NE(capture.Text().find("message box: Title\nReplace the file?\n[Yes] [No]\n"),
              std::string::npos)
        << capture.Text();
}

// For people to look at: the installer's two final boxes in both languages, as the
// installer shows them (its skin's font set to "MS Shell Dlg,10").
TEST_F(SkinMessageBoxTest, ScreenshotsOfTheInstallersFinalBoxes) {
    const std::filesystem::path dir =
        std::filesystem::path(KELVANO_SKINART_DIR).parent_path() / "screenshots";
    std::filesystem::create_directories(dir);
    struct Box {
        const char* pszFile;
        bool fEsperanto;
        UINT uFlags;
        std::string strTitle, strText;
    };
    const std::vector<Box> boxes = {
        {"skin_msgbox_success_en.png", false, host::MB_ICONINFORMATION, "Kelvano Setup",
         "<b>Kelvano has been installed successfully!</b>\n\n\nTo play, just click the Kelvano "
         "icon in the Games folder."},
        {"skin_msgbox_error_en.png", false, host::MB_ICONERROR, "Kelvano Setup",
         "<b>An error was encountered while installing Kelvano.</b>\n\n\nSetup was unable to "
         "install the file C:\\Program Files\\Kelvano\\kelvano.exe. The disk may be full, or an "
         "existing copy of the file may be in use.\n\n\nFor assistance, please contact <a "
         "href=\"mailto:support@example.com\">support@example.com</a>"},
        {"skin_msgbox_success_eo.png", true, host::MB_ICONINFORMATION, "Instalilo de Kelvano",
         "<b>Kelvano estas sukcese instalita!</b>\n\n\nPor ludi, simple alklaku la piktogramon "
         "de Kelvano en la dosierujo Ludoj."},
        {"skin_msgbox_error_eo.png", true, host::MB_ICONERROR, "Instalilo de Kelvano",
         "<b>Eraro okazis dum la instalado de Kelvano.</b>\n\n\nLa instalilo ne povis instali "
         "la dosieron C:\\Program Files\\Kelvano\\kelvano.exe. Eble la disko estas plena, aŭ "
         "ekzistanta kopio de la dosiero estas uzata.\n\n\nPor helpo, bonvolu kontakti <a "
         "href=\"mailto:support@example.com\">support@example.com</a>"},
    };
    pSkin_->SetProperty("Font", "MS Shell Dlg,10");
    for (const Box& box : boxes) {
        SCOPED_TRACE(box.pszFile);
        if (box.fEsperanto) Esperanto();
        Seen seen;
        const int n = Run(
            box.uFlags,
            [&](SkinWindow* pBox) {
                seen = Look(pBox);
                host::UpdateWindow(pBox->Handle());
                EXPECT_TRUE(host::SaveScreenshot((dir / box.pszFile).string()));
                Click(CentreOf(pBox, host::IDOK));
            },
            box.strText.c_str(), nullptr, box.strTitle.c_str());
        EXPECT_EQ(n, host::IDOK);
        ASSERT_EQ(seen.textRoom.size(), 1u);
        EXPECT_GE(seen.textRoom[0], 0);
    }
}

} // namespace
