// A sample dialog with every standard control, on both screen profiles: every control lies
// whole inside the dialog, the look shows the states set, and a screenshot of each profile
// is written to the test's working folder (controls-gallery-*.png) for people to look at.
#include "host/clock.h"
#include "host/controls.h"
#include "host/dialog.h"
#include "host/screen.h"

#include <gtest/gtest.h>

#include <string>

namespace host {
namespace {

enum : WORD {
    kGroup = 100,
    kFirst,
    kSecond,
    kThird,
    kChecked,
    kDisabledCheck,
    kDropDown,
    kLeft,
    kCentre,
    kRight,
    kEdit,
    kProgress,
    kList,
    kVertical,
    kHorizontal,
    kEtched,
    kWrapped,
    kHelp,
};

DialogItem Item(WORD atom, DWORD style, WORD id, SHORT x, SHORT y, SHORT cx, SHORT cy,
                std::u16string text = {}) {
    DialogItem item;
    item.dwStyle = WS_CHILD | WS_VISIBLE | style;
    item.x = x;
    item.y = y;
    item.cx = cx;
    item.cy = cy;
    item.id = id;
    if (atom != 0) {
        item.windowClass.nId = atom;
        item.className = PredefinedClassName(atom);
    }
    item.text.text = std::move(text);
    return item;
}

DialogTemplate Gallery() {
    DialogTemplate t;
    t.dwStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE | DS_SETFONT;
    t.cx = 160;
    t.cy = 166;
    t.caption = u"Sample";
    t.fHasFont = true;
    t.wPointSize = 8;
    t.faceName = u"MS Shell Dlg";
    auto& items = t.items;
    items.push_back(Item(DLGCLASS_BUTTON, BS_GROUPBOX, kGroup, 4, 4, 152, 50, u"Choices"));
    items.push_back(Item(DLGCLASS_BUTTON, BS_AUTORADIOBUTTON | WS_GROUP | WS_TABSTOP, kFirst, 10,
                         14, 62, 10, u"First"));
    items.push_back(Item(DLGCLASS_BUTTON, BS_AUTORADIOBUTTON, kSecond, 10, 26, 62, 10, u"Second"));
    items.push_back(
        Item(DLGCLASS_BUTTON, BS_AUTORADIOBUTTON | WS_DISABLED, kThird, 10, 38, 62, 10, u"Third"));
    items.push_back(Item(DLGCLASS_BUTTON, BS_AUTOCHECKBOX | WS_GROUP | WS_TABSTOP, kChecked, 80, 14,
                         72, 10, u"Checked"));
    items.push_back(Item(DLGCLASS_BUTTON, BS_CHECKBOX | WS_DISABLED, kDisabledCheck, 80, 26, 72, 10,
                         u"Disabled"));
    items.push_back(Item(DLGCLASS_COMBOBOX, CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, kDropDown,
                         80, 37, 72, 60));
    items.push_back(Item(DLGCLASS_STATIC, SS_LEFT, kLeft, 4, 58, 48, 8, u"Left"));
    items.push_back(Item(DLGCLASS_STATIC, SS_CENTER, kCentre, 56, 58, 48, 8, u"Centre"));
    items.push_back(Item(DLGCLASS_STATIC, SS_RIGHT, kRight, 108, 58, 48, 8, u"Right"));
    items.push_back(Item(DLGCLASS_EDIT, ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, kEdit, 4, 70, 100,
                         12, u"Edit me"));
    DialogItem progress = Item(0, WS_BORDER, kProgress, 108, 70, 48, 12);
    progress.windowClass.text = PROGRESS_CLASS;
    progress.className = PROGRESS_CLASS;
    items.push_back(progress);
    items.push_back(Item(DLGCLASS_LISTBOX, LBS_NOTIFY | WS_VSCROLL | WS_BORDER | WS_TABSTOP, kList,
                         4, 86, 70, 44));
    items.push_back(Item(DLGCLASS_SCROLLBAR, SBS_VERT, kVertical, 78, 86, 10, 44));
    items.push_back(Item(DLGCLASS_SCROLLBAR, SBS_HORZ, kHorizontal, 92, 86, 64, 10));
    items.push_back(Item(DLGCLASS_STATIC, SS_ETCHEDHORZ, kEtched, 92, 101, 64, 2));
    items.push_back(Item(DLGCLASS_STATIC, SS_LEFT, kWrapped, 92, 104, 64, 26,
                         u"A longer text that wraps onto the next lines."));
    items.push_back(
        Item(DLGCLASS_BUTTON, BS_PUSHBUTTON | WS_DISABLED, kHelp, 4, 146, 36, 14, u"Help"));
    items.push_back(
        Item(DLGCLASS_BUTTON, BS_DEFPUSHBUTTON | WS_TABSTOP, IDOK, 76, 146, 36, 14, u"OK"));
    items.push_back(
        Item(DLGCLASS_BUTTON, BS_PUSHBUTTON | WS_TABSTOP, IDCANCEL, 118, 146, 38, 14, u"Cancel"));
    return t;
}

INT_PTR FillGallery(HWND hDlg, UINT uMsg, WPARAM, LPARAM) {
    if (uMsg != WM_INITDIALOG) return FALSE;
    CheckRadioButton(hDlg, kFirst, kThird, kSecond);
    CheckDlgButton(hDlg, kChecked, BST_CHECKED);
    for (const char16_t* name : {u"Classic", u"King of the Hill", u"Capture The Flag"})
        SendDlgItemMessage(hDlg, kDropDown, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
    SendDlgItemMessage(hDlg, kDropDown, CB_SETCURSEL, 1, 0);
    for (int i = 1; i <= 8; ++i) {
        const std::u16string text = u"Item " + std::u16string(1, static_cast<char16_t>(u'0' + i));
        SendDlgItemMessage(hDlg, kList, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    }
    SendDlgItemMessage(hDlg, kList, LB_SETCURSEL, 2, 0);
    SendDlgItemMessage(hDlg, kProgress, PBM_SETPOS, 60, 0);
    SendDlgItemMessage(hDlg, kVertical, SBM_SETRANGE, 0, 10);
    SendDlgItemMessage(hDlg, kVertical, SBM_SETPOS, 3, TRUE);
    SendDlgItemMessage(hDlg, kHorizontal, SBM_SETRANGE, 0, 10);
    SendDlgItemMessage(hDlg, kHorizontal, SBM_SETPOS, 7, TRUE);
    return TRUE;
}

void Settle() {
    MSG msg;
    while (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessage(&msg);
    }
    PresentScreen();
}

RECT RectIn(HWND hwnd, HWND hDlg) {
    RECT rc;
    GetWindowRect(hwnd, &rc);
    MapWindowPoints(nullptr, hDlg, reinterpret_cast<POINT*>(&rc), 2);
    return rc;
}

int CountPixels(const RECT& rcScreen, COLORREF colour) {
    int c = 0;
    for (int y = rcScreen.top; y < rcScreen.bottom; ++y)
        for (int x = rcScreen.left; x < rcScreen.right; ++x)
            c += GetScreenPixel(x, y) == colour;
    return c;
}

TEST(ControlsGallery, EveryControlFitsAndShowsItsStateOnBothProfiles) {
    VirtualClockScope clock;
    for (ScreenProfile profile : {ScreenProfile::kDevice, ScreenProfile::kDesktop}) {
        const std::string name = profile == ScreenProfile::kDevice ? "controls-gallery-device"
                                                                   : "controls-gallery-desktop";
        SCOPED_TRACE(name);
        ScreenOptions options;
        options.backend = ScreenBackendKind::kHeadless;
        options.profile = profile;
        options.nDepth = 32;
        ASSERT_TRUE(InitScreen(options));
        const DialogTemplate t = Gallery();
        HWND hDlg = CreateDialogIndirectParam(nullptr, t, nullptr, FillGallery, 0);
        ASSERT_NE(hDlg, nullptr);
        Settle();

        RECT rcClient;
        GetClientRect(hDlg, &rcClient);
        for (const DialogItem& item : t.items) {
            HWND hwnd = GetDlgItem(hDlg, static_cast<int>(item.id));
            ASSERT_NE(hwnd, nullptr) << item.id;
            const RECT rc = RectIn(hwnd, hDlg);
            EXPECT_TRUE(rc.left >= 0 && rc.top >= 0 && rc.right <= rcClient.right &&
                        rc.bottom <= rcClient.bottom)
                << "control " << item.id << " is clipped";
        }

        // The progress bar is filled in the highlight colour over about 60% of its width.
        RECT rcBar;
        GetWindowRect(GetDlgItem(hDlg, kProgress), &rcBar);
        const COLORREF bar = GetSysColor(COLOR_HIGHLIGHT);
        RECT left = rcBar, right = rcBar;
        left.right = rcBar.left + (rcBar.right - rcBar.left) / 2;
        right.left = rcBar.left + (rcBar.right - rcBar.left) * 3 / 4;
        EXPECT_GT(CountPixels(left, bar), 0);
        EXPECT_EQ(CountPixels(right, bar), 0);
        // The selected list item is drawn in the selection colour.
        RECT rcList;
        GetWindowRect(GetDlgItem(hDlg, kList), &rcList);
        EXPECT_GT(CountPixels(rcList, bar), 0);

        EXPECT_TRUE(SaveScreenshot(name + ".png"));

        // A press on the drop-down list opens its list over the controls below.
        HWND hwndDropDown = GetDlgItem(hDlg, kDropDown);
        RECT rcField;
        GetWindowRect(hwndDropDown, &rcField);
        PostMouseInput({(rcField.left + rcField.right) / 2, (rcField.top + rcField.bottom) / 2},
                       MouseAction::kLeftDown);
        Settle();
        EXPECT_TRUE(SendMessage(hwndDropDown, CB_GETDROPPEDSTATE, 0, 0));
        EXPECT_TRUE(SaveScreenshot(name + "-open.png"));
        DestroyWindow(hDlg);
        ShutdownScreen();
    }
}

} // namespace
} // namespace host
