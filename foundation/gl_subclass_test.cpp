#include "foundation/gl_subclass.h"

#include "foundation/gl_staticex.h"
#include "host/controls/control_test_support.h"
#include "host/dialog.h"
#include "host/registry.h"
#include "tests/support/temp_registry.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace {

using namespace host;
using namespace host::test;

using WNDCLASS_T = WNDCLASST<TCHAR>;

const HICON kIcon = reinterpret_cast<HICON>(std::intptr_t{0x5678});

class GuiLibTest : public ControlTest {
protected:
    void SetUp() override {
        ControlTest::SetUp();
        ASSERT_TRUE(cetl::GuiLibInit(nullptr));
    }
    HWND Child(const TCHAR* cls, RECT rc, int id) {
        HWND hwnd = CreateWindowEx(0, cls, TEXT(""), WS_CHILD | WS_VISIBLE, rc.left, rc.top,
                                   rc.right - rc.left, rc.bottom - rc.top, parent_,
                                   reinterpret_cast<HMENU>(static_cast<std::intptr_t>(id)), nullptr,
                                   nullptr);
        EXPECT_NE(hwnd, nullptr);
        Settle();
        return hwnd;
    }
    testsupport::TempRegistry registry_{"kelvano-gl"};
};

TEST_F(GuiLibTest, InitAndTheRegistrationOperationMakeTheClassesOfTheLibrary) {
    EXPECT_TRUE(cetl::GuiLibInit(nullptr)); // classes already there: still a success
    const HCURSOR hArrow = LoadCursor(nullptr, IDC_ARROW);
    WNDCLASS_T dlg{};
    ASSERT_TRUE(GetClassInfo(nullptr, TEXT("GuiLibDefDlgClass"), &dlg));
    EXPECT_EQ(dlg.style, 0x4003u);
    EXPECT_EQ(dlg.lpfnWndProc, &DefDlgProc);
    EXPECT_EQ(dlg.cbClsExtra, 0);
    EXPECT_EQ(dlg.cbWndExtra, 32);
    EXPECT_EQ(dlg.hCursor, hArrow);
    EXPECT_EQ(dlg.hbrBackground, nullptr);
    struct Extra {
        const TCHAR* pszClass;
        int cbWndExtra;
    };
    for (const Extra& e : {Extra{TEXT("ColorButton"), 12}, Extra{cetl::kStaticExClassName, 8},
                           Extra{TEXT("EtchedLine"), 0}}) {
        WNDCLASS_T wc{};
        ASSERT_TRUE(GetClassInfo(nullptr, e.pszClass, &wc));
        EXPECT_EQ(wc.cbWndExtra, e.cbWndExtra);
    }

    // The registration operation takes the program's instance that init remembered.
    const HINSTANCE hInstance = reinterpret_cast<HINSTANCE>(std::intptr_t{0x1234});
    ASSERT_TRUE(cetl::GuiLibInit(hInstance));
    struct Case {
        const TCHAR* pszClass;
        UINT nStyle;
        UINT nExpected;
    };
    for (const Case& c : {Case{TEXT("KelvanoClassA"), 0, 0x4003},
                          Case{TEXT("KelvanoClassB"), CS_DBLCLKS, CS_DBLCLKS}}) {
        ASSERT_NE(cetl::GuiLibRegisterClass(c.pszClass, kIcon, c.nStyle), 0);
        WNDCLASS_T wc{};
        ASSERT_TRUE(GetClassInfo(nullptr, c.pszClass, &wc));
        EXPECT_EQ(wc.style, c.nExpected);
        EXPECT_EQ(wc.lpfnWndProc, &DefDlgProc);
        EXPECT_EQ(wc.cbClsExtra, 0);
        EXPECT_EQ(wc.cbWndExtra, 32);
        EXPECT_EQ(wc.hInstance, hInstance);
        EXPECT_EQ(wc.hIcon, kIcon);
        EXPECT_EQ(wc.hCursor, hArrow);
        EXPECT_EQ(wc.hbrBackground, nullptr);
        EXPECT_EQ(cetl::GuiLibRegisterClass(c.pszClass, kIcon, c.nStyle), 0);
        EXPECT_EQ(GetLastError(), ERROR_CLASS_ALREADY_EXISTS);
        UnregisterClass(c.pszClass, nullptr);
    }
    cetl::GuiLibInit(nullptr);
}

TEST_F(GuiLibTest, EtchedLineIsASunkenEdgeOverTheButtonFace) {
    // A blue parent, so that the face shows the control's own painting.
    Handler blue = [](HWND hwnd, UINT msg, WPARAM, LPARAM) -> std::optional<LRESULT> {
        if (msg != WM_PAINT) return std::nullopt;
        PAINTSTRUCT ps;
        HDC hdc = BeginPaint(hwnd, &ps);
        HBRUSH hbr = CreateSolidBrush(RGB(0, 0, 248));
        FillRect(hdc, &ps.rcPaint, hbr);
        DeleteObject(hbr);
        EndPaint(hwnd, &ps);
        return 0;
    };
    HWND hwndParent =
        MakeWindow("TestWindow", WS_POPUP | WS_VISIBLE, {0, 0, 200, 100}, nullptr, &blue);
    HWND hwnd = CreateWindowEx(0, TEXT("EtchedLine"), TEXT(""), WS_CHILD | WS_VISIBLE, 10, 20, 100,
                               10, hwndParent, nullptr, nullptr, nullptr);
    ASSERT_NE(hwnd, nullptr);
    Settle();
    EXPECT_EQ(Pixel(hwndParent, 5, 5), RGB(0, 0, 248));
    EXPECT_EQ(Pixel(hwnd, 50, 0), Shown(GetSysColor(COLOR_BTNSHADOW)));
    EXPECT_EQ(Pixel(hwnd, 50, 1), Shown(GetSysColor(COLOR_BTNHIGHLIGHT)));
    for (int y = 2; y < 10; ++y)
        EXPECT_EQ(Pixel(hwnd, 50, y), Shown(GetSysColor(COLOR_BTNFACE))) << y;
    EXPECT_EQ(Pixel(hwnd, 0, 0), Shown(GetSysColor(COLOR_BTNSHADOW)));
    EXPECT_EQ(Pixel(hwnd, 99, 1), Shown(GetSysColor(COLOR_BTNHIGHLIGHT)));
}

TEST_F(GuiLibTest, FullScreenSizesShowsOrHidesTheTaskbarAndBringsTheWindowToTheFront) {
    struct Case {
        bool fHide;
        RECT rc;
        bool fTaskbar;
    };
    for (const Case& c : {Case{true, {0, 0, 240, 320}, false},
                          Case{false, {0, 0, 240, 320 - TASKBAR_HEIGHT}, true}}) {
        HWND hwnd = MakeWindow("TestWindow", WS_POPUP | WS_VISIBLE, {0, 0, 240, 294});
        HWND other = MakeWindow("TestWindow", WS_POPUP | WS_VISIBLE, {0, 0, 50, 50});
        Settle();
        ASSERT_EQ(GetTopWindow(nullptr), other);
        cetl::GuiLibFullScreen(hwnd, c.fHide);
        Settle();
        RECT rc;
        GetWindowRect(hwnd, &rc);
        EXPECT_TRUE(EqualRect(&rc, &c.rc)) << c.fHide << ": " << rc.bottom;
        EXPECT_EQ(IsTaskbarShown(), c.fTaskbar);
        EXPECT_EQ(GetTopWindow(nullptr), hwnd);
        EXPECT_EQ(GetForegroundWindow(), hwnd);
        EXPECT_EQ(GetWindowLong(hwnd, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
        DestroyWindow(other);
        DestroyWindow(hwnd);
    }
}

TEST_F(GuiLibTest, CustomColorsRoundTripAndADamagedValueGivesWhiteSlots) {
    COLORREF rgcr[cetl::kCustomColors];
    EXPECT_FALSE(cetl::ReadCustomColors(rgcr)); // missing
    for (COLORREF cr : rgcr)
        EXPECT_EQ(cr, RGB(255, 255, 255));
    COLORREF rgcrWritten[cetl::kCustomColors];
    for (int i = 0; i < cetl::kCustomColors; ++i)
        rgcrWritten[i] = RGB(i, 2 * i, 255 - i);
    ASSERT_TRUE(cetl::WriteCustomColors(rgcrWritten));
    ASSERT_TRUE(cetl::ReadCustomColors(rgcr));
    EXPECT_TRUE(std::equal(rgcr, rgcr + cetl::kCustomColors, rgcrWritten));

    HKEY hkey = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Vantor\\Common", 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &hkey, nullptr),
              ERROR_SUCCESS);
    const BYTE bytes[80] = {1, 2, 3};
    struct Damage {
        DWORD dwType;
        DWORD cb;
    };
    for (const Damage& d : {Damage{REG_BINARY, 63}, Damage{REG_BINARY, 0}, Damage{REG_BINARY, 80},
                            Damage{REG_DWORD, 4}, Damage{REG_SZ, 64}}) {
        ASSERT_EQ(RegSetValueExA(hkey, "Custom Colors", 0, d.dwType, bytes, d.cb), ERROR_SUCCESS);
        EXPECT_FALSE(cetl::ReadCustomColors(rgcr)) << d.dwType << " " << d.cb;
        for (COLORREF cr : rgcr)
            EXPECT_EQ(cr, RGB(255, 255, 255));
    }
    RegCloseKey(hkey);
}

// Runs steps from the thread's queue while the colour dialog's modal loop runs, each once
// the input of the one before has been handled.
constexpr UINT kStep = WM_APP + 7;
struct Driver {
    std::vector<std::function<void(HWND)>> steps;
    std::size_t iNext = 0;
    int cWaits = 0;
};

HWND ColorDialog() {
    return FindWindow(static_cast<const char*>(nullptr), "Color");
}

void ClickItem(HWND hDlg, int id) {
    RECT rc;
    GetWindowRect(GetDlgItem(hDlg, id), &rc);
    POINT pt{(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2};
    PostMouseInput(pt, MouseAction::kLeftDown);
    PostMouseInput(pt, MouseAction::kLeftUp);
}

TEST_F(GuiLibTest, ClickingTheColorButtonChoosesAColorInTheDialog) {
    constexpr COLORREF kSlot3 = RGB(0x10, 0x80, 0xF0);
    COLORREF rgcrStart[cetl::kCustomColors];
    std::fill(std::begin(rgcrStart), std::end(rgcrStart), RGB(255, 255, 255));
    rgcrStart[3] = kSlot3;
    ASSERT_TRUE(cetl::WriteCustomColors(rgcrStart));

    struct Case {
        const char* name;
        std::vector<int> ids; // cells and buttons clicked in the dialog
        COLORREF crResult;
        int iChangedSlot; // the custom slot "Add" filled, -1 for none
        bool fNotified;
    };
    const Case cases[] = {
        {"custom slot, OK", {203, IDOK}, kSlot3, -1, true},
        {"basic red added, OK", {109, 301, IDOK}, RGB(255, 0, 0), 0, true},
        {"red into selected slot 5", {205, 109, 301, IDOK}, RGB(255, 0, 0), -1, true},
        {"basic, Cancel", {104, IDCANCEL}, RGB(1, 2, 3), -1, false},
    };
    Driver driver;
    Handler run = [&driver](HWND hwnd, UINT msg, WPARAM, LPARAM) -> std::optional<LRESULT> {
        if (msg != kStep) return std::nullopt;
        HWND hDlg = ColorDialog();
        if (hDlg == nullptr || !IsWindowVisible(hDlg)) {
            if (++driver.cWaits < 200) PostMessage(hwnd, kStep, 0, 0);
            return 0;
        }
        if (driver.iNext < driver.steps.size()) {
            driver.steps[driver.iNext++](hDlg);
            PostMessage(hwnd, kStep, 0, 0);
        }
        return 0;
    };
    HWND hwndDriver = MakeWindow("TestWindow", WS_POPUP, {0, 0, 1, 1}, nullptr, &run);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(cetl::WriteCustomColors(rgcrStart));
        HWND hwnd = Child(TEXT("ColorButton"), {20, 20, 80, 44}, 42);
        SendMessage(hwnd, cetl::CBM_SETCOLOR, RGB(1, 2, 3), 0);
        EXPECT_EQ(SendMessage(hwnd, cetl::CBM_GETCOLOR, 0, 0), RGB(1, 2, 3));
        Log().Clear();
        driver = Driver{};
        for (int id : c.ids) {
            if (id == IDOK && c.ids.front() == 203) {
                // The dialog with custom slot 3 chosen, before OK.
                driver.steps.push_back([](HWND hDlg) {
                    UpdateWindow(hDlg);
                    SaveScreenshot("gl_colorbutton_dialog.png");
                });
            }
            driver.steps.push_back([id](HWND hDlg) { ClickItem(hDlg, id); });
        }
        // The steps start once the press is handled, so that the release opens the dialog.
        PostMouseInput(OnScreen(hwnd, {30, 12}), MouseAction::kLeftDown);
        Settle();
        PostMessage(hwndDriver, kStep, 0, 0);
        PostMouseInput(OnScreen(hwnd, {30, 12}), MouseAction::kLeftUp);
        Settle();
        AdvanceVirtualClock(DOUBLECLICK_TIME + 1);
        EXPECT_EQ(ColorDialog(), nullptr);
        EXPECT_EQ(driver.iNext, driver.steps.size());
        EXPECT_EQ(SendMessage(hwnd, cetl::CBM_GETCOLOR, 0, 0), c.crResult);
        EXPECT_EQ(Notifications(42),
                  c.fNotified ? std::vector<WORD>{BN_CLICKED} : std::vector<WORD>{});
        COLORREF rgcr[cetl::kCustomColors];
        ASSERT_TRUE(cetl::ReadCustomColors(rgcr));
        COLORREF rgcrExpected[cetl::kCustomColors];
        std::copy(std::begin(rgcrStart), std::end(rgcrStart), rgcrExpected);
        if (c.iChangedSlot >= 0) rgcrExpected[c.iChangedSlot] = c.crResult;
        if (c.ids.front() == 205) rgcrExpected[5] = c.crResult;
        EXPECT_TRUE(std::equal(rgcr, rgcr + cetl::kCustomColors, rgcrExpected));
        // The swatch shows the colour inside the raised edge.
        EXPECT_EQ(Pixel(hwnd, 30, 12), Shown(c.crResult));
        DestroyWindow(hwnd);
    }
}

} // namespace
