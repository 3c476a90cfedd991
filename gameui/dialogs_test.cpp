// The new-game and tutorial dialogs made from the compiled templates on the device screen:
// every caption fits its control, and screenshots to look at.
#include "anim/cea_main.h"
#include "foundation/gl_staticex.h"
#include "foundation/gl_subclass.h"
#include "foundation/tl_language.h"
#include "gameui/resource.h"
#include "host/controls.h"
#include "host/dialog.h"
#include "host/gdi.h"
#include "host/screen.h"
#include "host/window_test_support.h"
#include "tests/support/temp_registry.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace host;

std::u16string Text(UINT nBase) {
    cetl::string str;
    cetl::LoadText(nBase, str);
    return std::u16string(str.Text(), static_cast<size_t>(str.Length()));
}

INT_PTR DialogProc(HWND, UINT uMsg, WPARAM, LPARAM) {
    return uMsg == WM_INITDIALOG ? TRUE : FALSE;
}

class Dialogs : public test::WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        ScreenOptions options;
        options.backend = ScreenBackendKind::kHeadless;
        options.profile = ScreenProfile::kDevice;
        ASSERT_TRUE(InitScreen(options));
        ASSERT_TRUE(cetl::GuiLibInit(nullptr));
        ASSERT_EQ(AnimStartup(nullptr, 0), 1);
    }
    void TearDown() override {
        WindowTest::TearDown();
        AnimShutdown();
        ShutdownScreen();
        cetl::ResetLanguage();
    }
    // Opens template nBase in the language, as the game opens it.
    HWND Open(UINT nBase, UINT nLanguage) {
        cetl::InitLanguage(TEXT("Kelvano CE"), nullptr);
        EXPECT_TRUE(cetl::SetLanguage(nLanguage));
        HWND hDlg = CreateDialogParam(nullptr, MAKEINTRESOURCEW(cetl::GetDialogId(nBase)), nullptr,
                                      DialogProc, 0);
        EXPECT_NE(hDlg, nullptr);
        return hDlg;
    }
    static void Show(HWND hDlg) {
        ShowWindow(hDlg, SW_SHOW);
        test::Pump();
        PresentScreen();
    }
    // Every control's one-line caption fits its width (check and radio boxes need room for
    // their box as well).
    static void ExpectCaptionsFit(HWND hDlg) {
        for (HWND h = GetWindow(hDlg, GW_CHILD); h != nullptr; h = GetWindow(h, GW_HWNDNEXT)) {
            char16_t sz[256] = {};
            const int cch = GetWindowText(h, sz, 256);
            const int id = GetDlgCtrlID(h);
            if (cch == 0 || id == IDC_DESCRIPTION || id == IDC_PAGE_TEXT || id == IDC_HINT)
                continue;
            const DWORD dwKind = static_cast<DWORD>(GetWindowLongPtr(h, GWL_STYLE)) & 0xF;
            char16_t szClass[32] = {};
            GetClassName(h, szClass, 32);
            const bool fBox = std::u16string(szClass) == u"Button" &&
                              (dwKind == BS_AUTOCHECKBOX || dwKind == BS_AUTORADIOBUTTON);
            HDC hdc = GetDC(h);
            HGDIOBJ hOld =
                SelectObject(hdc, reinterpret_cast<HGDIOBJ>(SendMessage(h, WM_GETFONT, 0, 0)));
            SIZE size{};
            GetTextExtentPoint32(hdc, sz, cch, &size);
            SelectObject(hdc, hOld);
            ReleaseDC(h, hdc);
            RECT rc;
            GetClientRect(h, &rc);
            EXPECT_LE(size.cx + (fBox ? 16 : 0), rc.right)
                << id << " " << std::string(sz, sz + cch);
        }
    }
    testsupport::TempRegistry registry_{"gameui-dialogs"};
};

// Filled as the dialog fills itself: the board list, computer opponent at Medium, Blue.
void FillNewGame(HWND hDlg) {
    HWND hList = GetDlgItem(hDlg, IDC_BOARD);
    for (UINT id : {IDS_BOARD_CLASSIC, IDS_BOARD_HILL, IDS_BOARD_FLAG, IDS_BOARD_BATTLE1,
                    IDS_BOARD_BATTLE2, IDS_BOARD_BATTLE3, IDS_BOARD_TUG}) {
        const std::u16string name = Text(id);
        SendMessage(hList, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
    }
    SendMessage(hList, CB_SETCURSEL, 2, 0);
    CheckDlgButton(hDlg, IDC_MODERN, BST_CHECKED);
    CheckRadioButton(hDlg, IDC_HUMAN, IDC_COMPUTER, IDC_COMPUTER);
    CheckRadioButton(hDlg, IDC_LOW, IDC_HIGH, IDC_MEDIUM);
    CheckRadioButton(hDlg, IDC_BLUE, IDC_RED, IDC_BLUE);
    SetDlgItemText(hDlg, IDC_STRENGTH, Text(IDS_MEDIUM));
    SetDlgItemText(hDlg, IDC_COLOR, Text(IDS_BLUE));
    SetDlgItemText(hDlg, IDC_DESCRIPTION, Text(IDS_DESC_FLAG));
    SetWindowText(hDlg, Text(IDS_NEWGAME_TITLE));
}

TEST_F(Dialogs, NewGame) {
    const struct {
        UINT nLanguage;
        const char* file;
    } cases[] = {
        {cetl::kLanguageEnglish, "dialog-newgame-en.png"},
        {cetl::kLanguageEsperanto, "dialog-newgame-eo.png"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        HWND hDlg = Open(IDD_NEWGAME, c.nLanguage);
        ASSERT_NE(hDlg, nullptr);
        FillNewGame(hDlg);
        Show(hDlg);
        ExpectCaptionsFit(hDlg);
        // Everything lies inside the dialog's client area.
        RECT rcClient;
        GetClientRect(hDlg, &rcClient);
        for (HWND h = GetWindow(hDlg, GW_CHILD); h != nullptr; h = GetWindow(h, GW_HWNDNEXT)) {
            RECT rc;
            GetWindowRect(h, &rc);
            MapWindowPoints(nullptr, hDlg, reinterpret_cast<POINT*>(&rc), 2);
            EXPECT_TRUE(rc.left >= 0 && rc.top >= 0 && rc.right <= rcClient.right &&
                        rc.bottom <= rcClient.bottom)
                << GetDlgCtrlID(h);
        }
        EXPECT_TRUE(SaveScreenshot(c.file));
        DestroyWindow(hDlg);
        cetl::ResetLanguage();
    }
}

TEST_F(Dialogs, Tutorial) {
    const struct {
        UINT nLanguage;
        UINT nPage;
        const char* file;
    } cases[] = {
        {cetl::kLanguageEnglish, IDS_PAGE0, "dialog-tutorial-en.png"},
        {cetl::kLanguageEsperanto, IDS_PAGE0, "dialog-tutorial-eo.png"},
        // The longest page.
        {cetl::kLanguageEsperanto, IDS_PAGE3, "dialog-tutorial-eo-page3.png"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        HWND hDlg = Open(IDD_TUTORIAL, c.nLanguage);
        ASSERT_NE(hDlg, nullptr);
        SetDlgItemText(hDlg, IDC_PAGE_TEXT, Text(c.nPage));
        SetDlgItemText(hDlg, IDC_HINT, Text(IDS_NEXT_HINT));
        SetDlgItemText(hDlg, IDC_FORWARD, Text(IDS_NEXT));
        EnableWindow(GetDlgItem(hDlg, IDC_BACK), FALSE);
        SetWindowText(hDlg, Text(IDS_TUTORIAL_TITLE));
        Show(hDlg);
        ExpectCaptionsFit(hDlg);
        EXPECT_TRUE(SaveScreenshot(c.file));
        DestroyWindow(hDlg);
        cetl::ResetLanguage();
    }
}

} // namespace
