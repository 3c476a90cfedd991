#include "host/dialog.h"

#include "host/screen.h"
#include "host/window_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace host::test {
namespace {

constexpr UINT kStep = WM_APP + 1;
constexpr UINT kAskResult = WM_APP + 2;
constexpr INT_PTR kNotEnded = -2;

// A dialog procedure that runs a test's steps one by one from the dialog's own queue, each
// after the input of the one before has been handled, and ends on IDOK / IDCANCEL.
struct Script {
    std::vector<std::function<void(HWND)>> steps;
    std::function<INT_PTR(HWND, UINT, WPARAM, LPARAM)> hook; // sees messages first
    std::vector<WORD> commands;
    std::size_t iNext = 0;
    int cIdle = 0;
    HWND hDlg = nullptr;

    // A modeless dialog may outlive the test's script.
    ~Script() {
        if (IsWindow(hDlg)) SetWindowLongPtr(hDlg, DWLP_USER, 0);
    }
};

INT_PTR ScriptProc(HWND hDlg, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_INITDIALOG) {
        SetWindowLongPtr(hDlg, DWLP_USER, lParam);
        PostMessage(hDlg, kStep, 0, 0);
    }
    auto* s = reinterpret_cast<Script*>(GetWindowLongPtr(hDlg, DWLP_USER));
    if (s == nullptr) return FALSE;
    if (msg == WM_INITDIALOG) s->hDlg = hDlg;
    if (s->hook)
        if (INT_PTR r = s->hook(hDlg, msg, wParam, lParam)) return r;
    switch (msg) {
    case WM_INITDIALOG:
        return TRUE;
    case kStep:
        if (s->iNext < s->steps.size())
            s->steps[s->iNext++](hDlg);
        else if (s->steps.empty() || (++s->cIdle > 3 && EndDialog(hDlg, kNotEnded)))
            return TRUE; // nothing to do, or nothing the steps did ended the dialog
        PostMessage(hDlg, kStep, 0, 0);
        return TRUE;
    case WM_COMMAND:
        s->commands.push_back(LOWORD(wParam));
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) EndDialog(hDlg, LOWORD(wParam));
        return TRUE;
    default:
        return FALSE;
    }
}

POINT Centre(HWND hwnd) {
    RECT rc;
    GetWindowRect(hwnd, &rc);
    return {(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2};
}

void ClickAt(POINT pt) {
    PostMouseInput(pt, MouseAction::kLeftDown);
    PostMouseInput(pt, MouseAction::kLeftUp);
}

void Key(UINT vk) {
    PostKeyInput(vk, true);
    PostKeyInput(vk, false);
}

// Steps.
std::function<void(HWND)> Click(int id) {
    return [id](HWND hDlg) { ClickAt(Centre(GetDlgItem(hDlg, id))); };
}
std::function<void(HWND)> Press(UINT vk) {
    return [vk](HWND) { Key(vk); };
}
std::function<void(HWND)> ShiftTab() {
    return [](HWND) {
        PostKeyInput(VK_SHIFT, true);
        Key(VK_TAB);
    };
}
std::function<void(HWND)> ShiftUp() {
    return [](HWND) { PostKeyInput(VK_SHIFT, false); };
}

std::u16string Text(HWND hwnd) {
    char16_t buffer[128];
    GetWindowText(hwnd, buffer, 128);
    return buffer;
}

RECT Rect(HWND hwnd) {
    RECT rc;
    GetWindowRect(hwnd, &rc);
    return rc;
}

bool operator==(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

// The program's way of opening a localised template: the 16-bit call, else the 8-bit one.
INT_PTR DialogByBase(int base, int index, HWND hwndOwner, Script* script) {
    auto id = static_cast<WORD>(base + index);
    INT_PTR result = DialogBoxParam(nullptr, MAKEINTRESOURCEW(id), hwndOwner, ScriptProc,
                                    reinterpret_cast<LPARAM>(script));
    if (result == -1 && GetLastError() == ERROR_CALL_NOT_IMPLEMENTED)
        result = DialogBoxParam(nullptr, MAKEINTRESOURCEA(id), hwndOwner, ScriptProc,
                                reinterpret_cast<LPARAM>(script));
    return result;
}

class DialogTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        Start(ScreenProfile::kDevice);
    }
    void TearDown() override {
        SetWideDialogCallsAvailable(true);
        WindowTest::TearDown();
        ShutdownScreen();
    }
    void Start(ScreenProfile profile) {
        ShutdownScreen();
        ScreenOptions options;
        options.backend = ScreenBackendKind::kHeadless;
        options.profile = profile;
        ASSERT_TRUE(InitScreen(options));
    }
};

TEST_F(DialogTest, TemplateInEachLanguageAnswersTheButtonClicked) {
    struct Case {
        int iLanguage;
        bool fWideCalls;
        int idClick;
        std::u16string okText;
        bool fUnicode;
    } cases[] = {
        {0, true, IDOK, u"OK", true},
        {1, true, IDCANCEL, u"Akceptu", true},
        {1, false, IDOK, u"Akceptu", false}, // the 8-bit fallback
    };
    HWND owner = MakeWindow("TestWindow", WS_POPUP | WS_VISIBLE, {0, 0, 240, 294});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.iLanguage);
        SetWideDialogCallsAvailable(c.fWideCalls);
        Script script;
        HWND seen = nullptr;
        bool fOwnerEnabled = true;
        script.steps = {[&](HWND hDlg) {
                            seen = hDlg;
                            fOwnerEnabled = IsWindowEnabled(owner) != FALSE;
                            EXPECT_EQ(Text(GetDlgItem(hDlg, IDOK)), c.okText);
                            EXPECT_EQ(IsWindowUnicode(hDlg) != FALSE, c.fUnicode);
                            // 160 x 180 units: the whole work area, not one row short.
                            EXPECT_TRUE(Rect(hDlg) == (RECT{0, 0, 240, 294}));
                            EXPECT_EQ(GetParent(hDlg), owner);
                        },
                        Click(c.idClick)};
        EXPECT_EQ(DialogByBase(200, c.iLanguage, owner, &script), c.idClick);
        EXPECT_FALSE(fOwnerEnabled);
        EXPECT_TRUE(IsWindowEnabled(owner));
        EXPECT_FALSE(IsWindow(seen));
    }
}

TEST_F(DialogTest, RadioGroupsAndCheckBoxesFollowClicksAndKeys) {
    Script script;
    std::vector<std::pair<UINT, UINT>> checks;
    int idFocusAfterShiftTab = 0;
    auto record = [&](HWND hDlg) {
        checks.push_back({IsDlgButtonChecked(hDlg, 1011) * 2 + IsDlgButtonChecked(hDlg, 1012),
                          IsDlgButtonChecked(hDlg, 1024)});
    };
    script.hook = [&](HWND hDlg, UINT msg, WPARAM, LPARAM) -> INT_PTR {
        if (msg == WM_INITDIALOG) CheckRadioButton(hDlg, 1011, 1012, 1011);
        return 0;
    };
    script.steps = {
        record,
        Click(1012),
        record, // radio 2 by the stylus
        Click(1024),
        record,      // the check box
        Click(1030), // disabled: nothing
        Click(1011),
        record, // back to radio 1
        Press(VK_DOWN),
        record, // the arrow moves and checks within the group
        Press(VK_TAB),
        Press(VK_SPACE),
        record, // Tab leaves the group; space unchecks
        ShiftTab(),
        ShiftUp(),
        [&](HWND) { idFocusAfterShiftTab = GetDlgCtrlID(GetFocus()); },
        Press(VK_ESCAPE),
    };
    EXPECT_EQ(DialogBoxParam(nullptr, MAKEINTRESOURCEW(200), nullptr, ScriptProc,
                             reinterpret_cast<LPARAM>(&script)),
              IDCANCEL);
    std::vector<std::pair<UINT, UINT>> expected = {{2, 0}, {1, 0}, {1, 1}, {2, 1}, {1, 1}, {1, 0}};
    EXPECT_EQ(checks, expected);
    EXPECT_EQ(idFocusAfterShiftTab, 1012); // the group's checked button
    EXPECT_EQ(std::count(script.commands.begin(), script.commands.end(), 1030), 0);
}

TEST_F(DialogTest, EnterEscapeAndCloseEndTheDialog) {
    auto setDefault = [](int id) {
        return [id](HWND hDlg) { SendMessage(hDlg, DM_SETDEFID, id, 0); };
    };
    auto post = [](UINT msg) { return [msg](HWND hDlg) { PostMessage(hDlg, msg, 0, 0); }; };
    auto lockCancel = [](HWND hDlg) { EnableWindow(GetDlgItem(hDlg, IDCANCEL), FALSE); };
    auto closeBox = [](HWND hDlg) {
        RECT caption, close, window = Rect(hDlg);
        ASSERT_TRUE(GetCaptionRects(hDlg, &caption, &close));
        ClickAt({window.left + (close.left + close.right) / 2,
                 window.top + (close.top + close.bottom) / 2});
    };
    struct Case {
        const char* name;
        WORD idTemplate;
        std::vector<std::function<void(HWND)>> steps;
        INT_PTR result;
    } cases[] = {
        {"enter: the default button", 200, {Press(VK_RETURN)}, IDOK},
        {"escape", 200, {Press(VK_ESCAPE)}, IDCANCEL},
        {"enter: a new default", 200, {setDefault(IDCANCEL), Press(VK_RETURN)}, IDCANCEL},
        {"enter: the focused button",
         200,
         {Press(VK_TAB), Press(VK_TAB), Press(VK_TAB), Press(VK_RETURN)},
         IDCANCEL},
        {"WM_CLOSE", 200, {post(WM_CLOSE)}, IDCANCEL},
        {"close box", 210, {closeBox}, IDCANCEL},
        {"cancel disabled", 200, {lockCancel, post(WM_CLOSE), Press(VK_ESCAPE), Click(IDOK)}, IDOK},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.name);
        Script script;
        script.steps = c.steps;
        EXPECT_EQ(DialogBoxParam(nullptr, MAKEINTRESOURCEW(c.idTemplate), nullptr, ScriptProc,
                                 reinterpret_cast<LPARAM>(&script)),
                  c.result);
    }
}

TEST_F(DialogTest, ModelessDialogNavigatesOnlyThroughIsDialogMessage) {
    Script script;
    HWND hDlg = CreateDialogParam(nullptr, MAKEINTRESOURCEW(200), nullptr, ScriptProc,
                                  reinterpret_cast<LPARAM>(&script));
    ASSERT_NE(hDlg, nullptr);
    Pump();
    EXPECT_EQ(GetFocus(), GetDlgItem(hDlg, 1011)); // the first tab stop
    Key(VK_TAB);
    Pump();
    EXPECT_EQ(GetFocus(), GetDlgItem(hDlg, 1011));
    Key(VK_TAB);
    MSG msg;
    while (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE))
        if (!IsDialogMessage(hDlg, &msg)) DispatchMessage(&msg);
    EXPECT_EQ(GetFocus(), GetDlgItem(hDlg, 1024));
    // Activation leaves and comes back to the control that had the focus.
    HWND other = MakeWindow("TestWindow", WS_POPUP | WS_VISIBLE, {0, 0, 20, 20});
    EXPECT_EQ(GetActiveWindow(), other);
    SetActiveWindow(hDlg);
    EXPECT_EQ(GetFocus(), GetDlgItem(hDlg, 1024));
    DestroyWindow(other);
    // A modeless dialog is only hidden by EndDialog; its owner destroys it.
    EXPECT_TRUE(EndDialog(hDlg, 5));
    EXPECT_TRUE(IsWindow(hDlg));
    EXPECT_FALSE(IsWindowVisible(hDlg));
    DestroyWindow(hDlg);
    EXPECT_FALSE(IsDialog(hDlg));
    EXPECT_FALSE(EndDialog(hDlg, 0));
}

TEST_F(DialogTest, HiddenDialogIsReadBackControlByControlInZOrder) {
    Script script;
    script.hook = [](HWND hDlg, UINT msg, WPARAM, LPARAM) -> INT_PTR {
        if (msg == WM_INITDIALOG) CheckDlgButton(hDlg, 1003, BST_CHECKED);
        return 0;
    };
    HWND hDlg =
        CreateDialogParam(nullptr, "#220", nullptr, ScriptProc, reinterpret_cast<LPARAM>(&script));
    ASSERT_NE(hDlg, nullptr);
    EXPECT_FALSE(IsWindowVisible(hDlg));
    auto font = reinterpret_cast<HFONT>(SendMessage(hDlg, WM_GETFONT, 0, 0));
    ASSERT_NE(font, nullptr);

    struct Expected {
        std::u16string cls;
        DWORD style;
        int id;
        std::u16string text;
        RECT rc; // 10 points: base units 8 x 16
        bool fEnabled;
        LRESULT check;
    } expected[] = {
        {u"Static",
         WS_CHILD | WS_VISIBLE | WS_GROUP | SS_LEFT,
         1001,
         u"Name:",
         {8, 8, 88, 24},
         true,
         0},
        {u"Static", WS_CHILD | WS_VISIBLE | SS_ICON, 1002, u"", {100, 8, 132, 40}, true, 0},
        {u"Button",
         WS_CHILD | WS_VISIBLE | WS_DISABLED | WS_TABSTOP | BS_AUTOCHECKBOX,
         1003,
         u"Sound",
         {8, 48, 128, 68},
         false,
         BST_CHECKED},
        {u"TestWide",
         WS_CHILD | WS_VISIBLE | WS_TABSTOP,
         1004,
         u"Wide",
         {8, 80, 128, 104},
         true,
         0},
        {u"Button", WS_CHILD | WS_VISIBLE | WS_TABSTOP, 1005, u"Go", {140, 120, 220, 148}, true, 0},
    };
    HWND child = GetWindow(hDlg, GW_CHILD);
    for (const Expected& e : expected) {
        SCOPED_TRACE(e.id);
        ASSERT_NE(child, nullptr);
        char16_t cls[64];
        GetClassName(child, cls, 64);
        EXPECT_EQ(std::u16string(cls), e.cls);
        EXPECT_EQ(static_cast<DWORD>(GetWindowLongPtr(child, GWL_STYLE)) & ~WS_GROUP,
                  e.style & ~WS_GROUP);
        EXPECT_EQ(GetDlgCtrlID(child), e.id);
        EXPECT_EQ(Text(child), e.text);
        RECT rc = Rect(child);
        MapWindowPoints(nullptr, hDlg, reinterpret_cast<POINT*>(&rc), 2);
        EXPECT_TRUE(rc == e.rc);
        EXPECT_EQ(IsWindowEnabled(child) != FALSE, e.fEnabled);
        if (e.cls == u"Button") {
            EXPECT_EQ(SendMessage(child, BM_GETCHECK, 0, 0), e.check);
        }
        child = GetWindow(child, GW_HWNDNEXT);
    }
    EXPECT_EQ(child, nullptr);

    // Every control got the dialog's font before WM_INITDIALOG, whatever its class.
    HWND wide = GetDlgItem(hDlg, 1004);
    std::vector<Received> fonts = Log().Of(wide, WM_SETFONT);
    ASSERT_EQ(fonts.size(), 1u);
    EXPECT_EQ(reinterpret_cast<HFONT>(fonts[0].wParam), font);
    RECT units{4, 4, 40, 8};
    EXPECT_TRUE(MapDialogRect(hDlg, &units));
    EXPECT_TRUE(units == (RECT{8, 8, 80, 16}));

    // The font is the dialog's: it goes with it.
    LOGFONTW lf{};
    EXPECT_NE(GetObject(font, sizeof lf, &lf), 0);
    EXPECT_EQ(lf.lfHeight, -13); // 10 points at 96 dots per inch
    DestroyWindow(hDlg);
    EXPECT_EQ(GetObject(font, sizeof lf, &lf), 0);
}

// A class made from "Static" with a procedure of its own that calls the original.
WNDPROC g_staticProc = nullptr;
int g_cStaticExMessages = 0;
LRESULT StaticExProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    ++g_cStaticExMessages;
    return CallWindowProc(g_staticProc, hwnd, msg, wParam, lParam);
}

WNDPROC g_buttonProc = nullptr;
int g_cHookedDowns = 0;
LRESULT HookedButtonProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_LBUTTONDOWN) ++g_cHookedDowns;
    return CallWindowProc(g_buttonProc, hwnd, msg, wParam, lParam);
}

TEST_F(DialogTest, ProgramClassesSuperclassesAndSubclassesWorkInsideADialog) {
    static const bool fRegistered = [] {
        WNDCLASSW dialog{};
        dialog.style = 0x4003;
        dialog.lpfnWndProc = DefDlgProc;
        dialog.cbWndExtra = 32;
        dialog.hCursor = LoadCursor(nullptr, IDC_ARROW);
        dialog.lpszClassName = u"TestDialog32";
        WNDCLASSW staticEx{};
        if (!GetClassInfo(nullptr, WC_STATIC, &staticEx)) return false;
        g_staticProc = staticEx.lpfnWndProc;
        staticEx.lpfnWndProc = StaticExProc;
        staticEx.cbWndExtra = 8;
        staticEx.lpszClassName = u"TestStaticEx";
        return RegisterClass(&dialog) != 0 && RegisterClass(&staticEx) != 0;
    }();
    ASSERT_TRUE(fRegistered);
    g_cStaticExMessages = 0;
    g_cHookedDowns = 0;

    Script script;
    LRESULT answer = 0;
    std::u16string staticText;
    script.hook = [](HWND hDlg, UINT msg, WPARAM, LPARAM) -> INT_PTR {
        if (msg == WM_INITDIALOG)
            g_buttonProc = reinterpret_cast<WNDPROC>(
                SetWindowLongPtr(GetDlgItem(hDlg, 1051), GWLP_WNDPROC,
                                 reinterpret_cast<LONG_PTR>(HookedButtonProc)));
        if (msg != kAskResult) return 0;
        SetWindowLongPtr(hDlg, DWLP_MSGRESULT, 42);
        return TRUE;
    };
    script.steps = {[&](HWND hDlg) {
                        char16_t cls[32];
                        GetClassName(hDlg, cls, 32);
                        EXPECT_EQ(std::u16string(cls), u"TestDialog32");
                        answer = SendMessage(hDlg, kAskResult, 0, 0);
                        staticText = Text(GetDlgItem(hDlg, 1050));
                    },
                    Click(1051), [](HWND hDlg) { PostMessage(hDlg, WM_CLOSE, 0, 0); }};
    EXPECT_EQ(DialogBoxParam(nullptr, MAKEINTRESOURCEW(230), nullptr, ScriptProc,
                             reinterpret_cast<LPARAM>(&script)),
              IDCANCEL);
    EXPECT_EQ(answer, 42); // DWLP_MSGRESULT of a handled message
    EXPECT_EQ(staticText, u"Rich");
    EXPECT_GT(g_cStaticExMessages, 0);
    EXPECT_EQ(g_cHookedDowns, 1);
    EXPECT_EQ(script.commands, (std::vector<WORD>{1051, IDCANCEL}));

    // A window of the class made without a template has no dialog state, and copes.
    HWND bare = CreateWindowEx(0, u"TestDialog32", u"", WS_POPUP, 0, 0, 50, 50, nullptr, nullptr,
                               nullptr, nullptr);
    ASSERT_NE(bare, nullptr);
    EXPECT_FALSE(IsDialog(bare));
    SendMessage(bare, WM_CLOSE, 0, 0);
    SendMessage(bare, WM_NEXTDLGCTL, 0, 0);
    EXPECT_EQ(SendMessage(bare, DM_GETDEFID, 0, 0), 0);
    Pump();
    EXPECT_TRUE(IsWindow(bare));
    DestroyWindow(bare);
}

TEST_F(DialogTest, PlacementFollowsTheProfile) {
    struct Case {
        ScreenProfile profile;
        WORD idTemplate;
        bool fOwner;
        RECT rc;
    } cases[] = {
        {ScreenProfile::kDevice, 200, false, {0, 0, 240, 294}},
        {ScreenProfile::kDevice, 210, false, {0, 0, 240, 294}}, // captioned: the work area
        {ScreenProfile::kDesktop, 200, false, {280, 153, 520, 446}},
        {ScreenProfile::kDesktop, 210, false, {325, 239, 475, 361}}, // 150 x 98 under the caption
        {ScreenProfile::kDesktop, 200, true, {80, 54, 320, 347}},    // on the owner
        {ScreenProfile::kDesktop, 211, false, {30, 16, 180, 138}},   // DS_ABSALIGN
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.idTemplate);
        Start(c.profile);
        HWND owner = c.fOwner
                         ? MakeWindow("TestWindow", WS_POPUP | WS_VISIBLE, {100, 100, 300, 300})
                         : nullptr;
        Script script;
        HWND hDlg = CreateDialogParam(nullptr, MAKEINTRESOURCEW(c.idTemplate), owner, ScriptProc,
                                      reinterpret_cast<LPARAM>(&script));
        ASSERT_NE(hDlg, nullptr);
        EXPECT_TRUE(Rect(hDlg) == c.rc);
        if (c.idTemplate != 200) {
            EXPECT_EQ(GetWindowLongPtr(hDlg, GWL_STYLE) & WS_SYSMENU,
                      c.profile == ScreenProfile::kDevice ? WS_SYSMENU : 0);
        }
        ShowWindow(hDlg, SW_SHOW);
        Pump();
        // The dialog's face shows where no control is.
        POINT inside = {c.rc.right - 2, c.rc.bottom - 2};
        HDC screen = GetDC(nullptr);
        EXPECT_EQ(GetScreenPixel(inside.x, inside.y),
                  GetNearestColor(screen, GetSysColor(COLOR_BTNFACE)));
        ReleaseDC(nullptr, screen);
        DestroyWindow(hDlg);
        if (owner != nullptr) DestroyWindow(owner);
    }
}

// A full-height captioned template (the game's dialogs are 160 x 180 units) fills the
// device's work area under its caption bar: its units shrink so the last control stays in
// the client area instead of ending under the taskbar. The desktop keeps the usual units.
TEST_F(DialogTest, CaptionedFullHeightTemplateFitsTheDeviceClientArea) {
    DialogTemplate t;
    t.dwStyle = WS_POPUP | WS_CAPTION | DS_SETFONT;
    t.cx = 160;
    t.cy = 180;
    t.fHasFont = true;
    t.wPointSize = 8;
    t.faceName = u"MS Shell Dlg";
    DialogItem bottom;
    bottom.dwStyle = WS_CHILD | WS_VISIBLE | SS_LEFT;
    bottom.x = 4;
    bottom.y = 137;
    bottom.cx = 152;
    bottom.cy = 39;
    bottom.id = 1000;
    bottom.className = WC_STATIC;
    t.items.push_back(bottom);
    const struct {
        ScreenProfile profile;
        LONG cyClient;
        LONG bottomOfControl;
    } cases[] = {
        {ScreenProfile::kDevice, 294 - CAPTION_HEIGHT, 265}, // 12 pixels per 8 units
        {ScreenProfile::kDesktop, 293, 286},                 // the usual 13
    };
    for (const auto& c : cases) {
        Start(c.profile);
        Script script;
        HWND hDlg = CreateDialogIndirectParam(nullptr, t, nullptr, ScriptProc,
                                              reinterpret_cast<LPARAM>(&script));
        ASSERT_NE(hDlg, nullptr);
        RECT client;
        GetClientRect(hDlg, &client);
        EXPECT_EQ(client.bottom, c.cyClient);
        RECT rc = Rect(GetDlgItem(hDlg, 1000));
        POINT pt{rc.right, rc.bottom};
        ScreenToClient(hDlg, &pt);
        EXPECT_EQ(pt.y, c.bottomOfControl);
        EXPECT_LE(pt.y, client.bottom);
        DestroyWindow(hDlg);
    }
}

TEST_F(DialogTest, CreationFailsOnMissingTemplatesAndUnknownClasses) {
    Script script;
    auto lp = reinterpret_cast<LPARAM>(&script);
    SetLastError(0);
    EXPECT_EQ(CreateDialogParam(nullptr, MAKEINTRESOURCEW(240), nullptr, ScriptProc, lp), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_CLASS_DOES_NOT_EXIST);
    EXPECT_EQ(CreateDialogParam(nullptr, MAKEINTRESOURCEW(999), nullptr, ScriptProc, lp), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_RESOURCE_NAME_NOT_FOUND);
    EXPECT_EQ(DialogBoxParam(nullptr, MAKEINTRESOURCEW(999), nullptr, ScriptProc, lp), -1);
    // DS_NOFAILCREATE leaves the unknown control out.
    HWND hDlg = CreateDialogParam(nullptr, MAKEINTRESOURCEW(241), nullptr, ScriptProc, lp);
    ASSERT_NE(hDlg, nullptr);
    EXPECT_EQ(GetDlgItem(hDlg, 1060), nullptr);
    EXPECT_EQ(GetWindow(hDlg, GW_CHILD), GetDlgItem(hDlg, 1061));
}

TEST_F(DialogTest, ItemNumbersReadBackOnlyWhenTheyAreNumbers) {
    Script script;
    HWND hDlg = CreateDialogParam(nullptr, MAKEINTRESOURCEW(220), nullptr, ScriptProc,
                                  reinterpret_cast<LPARAM>(&script));
    ASSERT_NE(hDlg, nullptr);
    struct Case {
        const char* text;
        BOOL fSigned;
        BOOL fOk;
        UINT value;
    } cases[] = {
        {" -12 ", TRUE, TRUE, static_cast<UINT>(-12)},
        {"-12", FALSE, FALSE, 0},
        {"4294967295", FALSE, TRUE, 4294967295u},
        {"2147483648", TRUE, FALSE, 0},
        {"12a", TRUE, FALSE, 0},
        {"", FALSE, FALSE, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        ASSERT_TRUE(SetDlgItemText(hDlg, 1004, std::string_view(c.text)));
        BOOL fOk = !c.fOk;
        EXPECT_EQ(GetDlgItemInt(hDlg, 1004, &fOk, c.fSigned), c.value);
        EXPECT_EQ(fOk, c.fOk);
    }
    EXPECT_TRUE(SetDlgItemInt(hDlg, 1004, static_cast<UINT>(-7), TRUE));
    char buffer[16];
    EXPECT_EQ(GetDlgItemText(hDlg, 1004, buffer, 16), 2u);
    EXPECT_STREQ(buffer, "-7");
}

} // namespace
} // namespace host::test
