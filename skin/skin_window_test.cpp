// The skinned window with the installer's skin, driven by real input on the headless screen.
#include "anim/cea_main.h"
#include "host/clock.h"
#include "host/msgbox.h"
#include "host/screen.h"
#include "skin/skin_window.h"
#include "skin/skin_window_fixture.h"

#include <gtest/gtest.h>

#include <chrono>

#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

namespace {

using skintest::PumpAll;

constexpr int kEveryKind = 910;
constexpr int kPanel = 911;

using Record = std::vector<std::pair<UINT, WPARAM>>;
Record g_main;
Record g_panel;
SkinWindow* g_pWindow = nullptr;
SKINWINDOWINSET* g_pPanel = nullptr;
bool g_fOwnerEnabledInside = true;

bool Recorded(UINT uMsg) {
    return uMsg == host::WM_INITDIALOG || uMsg == WM_SKINAPPLIED || uMsg == host::WM_COMMAND ||
           uMsg == host::WM_VSCROLL || uMsg == host::WM_HSCROLL || uMsg == host::WM_DESTROY;
}

LONG g_nFramesAtClose = 0;

INT_PTR MainProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (!Recorded(uMsg)) return 0;
    g_main.push_back({uMsg, uMsg == host::WM_INITDIALOG ? static_cast<WPARAM>(lParam) : wParam});
    if (uMsg == host::WM_COMMAND && wParam == host::IDCANCEL && g_pWindow != nullptr) {
        g_fOwnerEnabledInside = host::IsWindowEnabled(host::GetWindow(hwnd, host::GW_OWNER));
        g_nFramesAtClose = g_pWindow->Anim()->GetFrameCounter();
        g_pWindow->Close(host::IDCANCEL);
    }
    return 0;
}

// The panel's button removes the panel from inside its own click.
INT_PTR PanelProc(HWND, UINT uMsg, WPARAM wParam, LPARAM) {
    if (!Recorded(uMsg)) return 0;
    g_panel.push_back({uMsg, wParam});
    if (uMsg == host::WM_COMMAND && wParam == 200) g_pWindow->RemoveInset(g_pPanel);
    return 0;
}

class MessageBoxRecorder : public host::MessageBoxResponder {
public:
    int Respond(HWND, std::string_view text, std::string_view, UINT) override {
        texts.emplace_back(text);
        return host::IDOK;
    }
    std::vector<std::string> texts;
};

class SkinnedWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(skintest::StartSkinScreen());
        pSkin_ = std::make_unique<SKIN>(KELVANO_SKINART_DIR "/dez.zip");
        g_main.clear();
        g_panel.clear();
    }
    void TearDown() override {
        pWindow_.reset();
        g_pWindow = nullptr;
        g_pPanel = nullptr;
        pSkin_.reset();
        skintest::StopSkinScreen();
    }

    SkinWindow* Open(HWND hwndOwner = nullptr) {
        pWindow_ = std::make_unique<SkinWindow>(pSkin_.get(), "KelvanoSetup", MainProc, nullptr,
                                                kEveryKind, 77, hwndOwner);
        g_pWindow = pWindow_.get();
        host::ShowWindow(g_pWindow->Handle(), host::SW_SHOW);
        PumpAll();
        return g_pWindow;
    }
    // A control's point in screen coordinates, dx and dy from its top left.
    POINT At(int nId, int dx, int dy) const {
        const RECT& rc = g_pWindow->Control(nId)->Rect();
        POINT pt = {rc.left + dx, rc.top + dy};
        host::ClientToScreen(g_pWindow->Handle(), &pt);
        return pt;
    }
    static void Click(POINT pt) {
        host::PostMouseInput(pt, host::MouseAction::kMove);
        host::PostMouseInput(pt, host::MouseAction::kLeftDown);
        host::PostMouseInput(pt, host::MouseAction::kLeftUp);
        PumpAll();
    }
    static void Frames(int c) {
        for (int i = 0; i < c; ++i) {
            host::AdvanceVirtualClock(100);
            g_pWindow->Anim()->Step();
            PumpAll();
        }
    }

    std::unique_ptr<SKIN> pSkin_;
    std::unique_ptr<SkinWindow> pWindow_;
};

TEST_F(SkinnedWindowTest, TemplateBecomesControlMapAndInitMessages) {
    SkinWindow* pWindow = Open();
    // The close box is the window's first control; ids of -1 count the controls before them.
    const std::vector<std::pair<int, int>> expected = {{SKIN_CLOSE_ID, CT_FRAME_CLOSE},
                                                       {40101, CT_TEXT},
                                                       {100, CT_PBUTTON},
                                                       {101, CT_CBUTTON},
                                                       {102, CT_RBUTTON},
                                                       {103, CT_RBUTTON},
                                                       {104, CT_PBAR},
                                                       {105, CT_VSCROLL},
                                                       {106, CT_HSCROLL},
                                                       {107, CT_EDIT},
                                                       {108, CT_LIST},
                                                       {109, CT_USER},
                                                       {40112, CT_TEXT}};
    ASSERT_EQ(pWindow->ControlCount(), expected.size());
    for (const auto& [nId, nKind] : expected) {
        ASSERT_NE(pWindow->Control(nId), nullptr) << nId;
        EXPECT_EQ(pWindow->Control(nId)->Kind(), nKind) << nId;
    }
    EXPECT_EQ(pWindow->ControlText(40101), cetl::string("Every kind of control"));
    EXPECT_EQ(pWindow->ControlText(104), cetl::string(""));
    EXPECT_EQ(pWindow->ControlText(109), cetl::string("drawn"));
    EXPECT_TRUE(pWindow->Control(100)->IsFocused()); // the first tab stop
    // The close box sits at the inner rectangle's top right corner.
    const RECT rcInner = pWindow->InnerRect();
    EXPECT_EQ(pWindow->Control(SKIN_CLOSE_ID)->Rect().right, rcInner.right);
    EXPECT_EQ(pWindow->Control(SKIN_CLOSE_ID)->Rect().top, rcInner.top);
    EXPECT_EQ(g_main, (Record{{host::WM_INITDIALOG, 77}, {WM_SKINAPPLIED, 0}}));
}

TEST_F(SkinnedWindowTest, ClicksSendCommandsInOrder) {
    SkinWindow* pWindow = Open();
    SKINCONTROL* pList = pWindow->Control(108);
    for (const char* psz : {"One", "Two", "Three"})
        pList->AddItem(psz);
    SKINCONTROL* pBar = pWindow->Control(105);
    pBar->SetScrollRange(0, 100, 8);
    g_main.clear();

    Click(At(100, 5, 5));
    Click(At(101, 5, 5));
    Click(At(103, 5, 5));
    const RECT& rcBar = pBar->Rect();
    const int cyBar = rcBar.bottom - rcBar.top;
    Click(At(105, 3, cyBar - 2)); // down arrow: a quarter page
    Click(At(105, 3, cyBar - 2));
    Click(At(105, 3, cyBar - 30)); // the track below the thumb: three quarters
    SKINDRAWCONTEXT ctx;
    ctx.pSkin = pSkin_.get();
    SKINCONTROLGRAPHICS* pItems = pSkin_->Graphics("listitem", CT_RBUTTON, "KelvanoSetup");
    const RECT rcItem = SkinListItemRect(pList->Rect(), pList->Settings(),
                                         SkinListItemHeight(ctx, pItems, pList->Settings()), 0, 1);
    Click(At(108, rcItem.left - pList->Rect().left + 2, rcItem.top - pList->Rect().top + 2));

    EXPECT_EQ(g_main, (Record{{host::WM_COMMAND, 100},
                              {host::WM_COMMAND, 101},
                              {host::WM_COMMAND, 103},
                              {host::WM_VSCROLL, host::MAKEWPARAM(host::SB_LINEDOWN, 2)},
                              {host::WM_VSCROLL, host::MAKEWPARAM(host::SB_LINEDOWN, 4)},
                              {host::WM_VSCROLL, host::MAKEWPARAM(host::SB_PAGEDOWN, 10)},
                              {host::WM_COMMAND, host::MAKEWPARAM(108, 1)}}));
    EXPECT_TRUE(pWindow->IsControlChecked(101));
    EXPECT_TRUE(pWindow->IsControlChecked(103));
    EXPECT_FALSE(pWindow->IsControlChecked(102));
    EXPECT_EQ(pList->Selection(), 2);

    // The bar stops at maximum less page.
    pBar->SetScrollPos(91);
    g_main.clear();
    Click(At(105, 3, cyBar - 2));
    Click(At(105, 3, cyBar - 2));
    EXPECT_EQ(pBar->Scroll().nPos, 92);
    EXPECT_EQ(g_main, (Record{{host::WM_VSCROLL, host::MAKEWPARAM(host::SB_LINEDOWN, 92)}}));

    // A press that leaves the control before the release is no click.
    g_main.clear();
    host::PostMouseInput(At(100, 5, 5), host::MouseAction::kLeftDown);
    host::PostMouseInput(At(101, 5, 5), host::MouseAction::kMove);
    host::PostMouseInput(At(101, 5, 5), host::MouseAction::kLeftUp);
    PumpAll();
    EXPECT_TRUE(g_main.empty());

    // The close box answers IDCANCEL; the procedure closes with it.
    Click(At(SKIN_CLOSE_ID, 3, 3));
    EXPECT_EQ(g_main.front(), (std::pair<UINT, WPARAM>{host::WM_COMMAND, host::IDCANCEL}));
    EXPECT_EQ(pWindow->Handle(), nullptr);
    EXPECT_EQ(pWindow->Result(), host::IDCANCEL);
    EXPECT_EQ(g_main.back(), (std::pair<UINT, WPARAM>{host::WM_DESTROY, 0}));
}

// Every message the template's procedure gets, with both parameters.
std::vector<std::tuple<UINT, WPARAM, LPARAM>> g_all;
INT_PTR RecordAllProc(HWND, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    g_all.emplace_back(uMsg, wParam, lParam);
    if (uMsg == host::WM_COMMAND && wParam == host::IDCANCEL) g_pWindow->Close(host::IDCANCEL);
    return 0;
}

// The procedure of a template with every kind hears exactly the dialog messages, in order:
// nothing for texts, progress, edits and user-drawn controls, scroll bars by arrow, thumb and
// wheel, and the list's change with code 1.
TEST_F(SkinnedWindowTest, ProcedureHearsExactlyTheDialogMessages) {
    g_all.clear();
    pWindow_ = std::make_unique<SkinWindow>(pSkin_.get(), "KelvanoSetup", RecordAllProc, nullptr,
                                            kEveryKind, 77, nullptr);
    g_pWindow = pWindow_.get();
    host::ShowWindow(g_pWindow->Handle(), host::SW_SHOW);
    PumpAll();
    SkinWindow* pWindow = g_pWindow;
    SKINCONTROL* pList = pWindow->Control(108);
    for (int i = 0; i < 20; ++i)
        pList->AddItem("Item");
    SKINCONTROL* pVert = pWindow->Control(105);
    pVert->SetScrollRange(0, 100, 8);
    pWindow->Control(106)->SetScrollRange(0, 100, 8);
    // The thumb's centre, from the bar's parts at its present position.
    auto thumb = [&]() {
        SKINSCROLLBAR bar;
        bar.fVertical = true;
        bar.nPosition = pVert->Scroll().nPos;
        bar.nMaximum = 100;
        bar.nPage = 8;
        bar.fProportional = pWindow->Frame().Settings().fProportionalScrollbars != 0;
        RECT rgrc[SSP_COUNT];
        SkinScrollParts(pVert->Rect(), bar, pVert->Picture()->CellWidth(),
                        pVert->Picture()->CellHeight(), rgrc);
        const RECT& rc = rgrc[SSP_THUMB];
        return At(105, (rc.left + rc.right) / 2 - pVert->Rect().left,
                  (rc.top + rc.bottom) / 2 - pVert->Rect().top);
    };
    auto drag = [](POINT pt, int dy) {
        host::PostMouseInput(pt, host::MouseAction::kMove);
        host::PostMouseInput(pt, host::MouseAction::kLeftDown);
        PumpAll(); // the press captures the mouse: the moves then reach the window off it
        host::PostMouseInput({pt.x, pt.y + dy}, host::MouseAction::kMove);
        host::PostMouseInput({pt.x, pt.y + dy}, host::MouseAction::kLeftUp);
        PumpAll();
    };

    Click(At(40101, 3, 3)); // static text
    Click(At(100, 5, 5));
    Click(At(101, 5, 5));
    Click(At(102, 5, 5));
    Click(At(104, 5, 3)); // progress
    const RECT& rcHorz = pWindow->Control(106)->Rect();
    Click(At(106, rcHorz.right - rcHorz.left - 2, 3)); // right arrow
    drag(thumb(), 1000);                               // past the end: stops at 92
    drag(thumb(), -1000);
    host::PostMouseWheel(At(105, 3, 30), -host::WHEEL_DELTA); // towards the user: down a line
    host::PostMouseWheel(At(108, 10, 10), -host::WHEEL_DELTA);
    PumpAll();
    EXPECT_EQ(pList->TopItem(), 3);
    Click(At(107, 5, 5)); // edit
    Click(At(109, 5, 5)); // user-drawn
    SKINDRAWCONTEXT ctx;
    ctx.pSkin = pSkin_.get();
    SKINCONTROLGRAPHICS* pItems = pSkin_->Graphics("listitem", CT_RBUTTON, "KelvanoSetup");
    const RECT rcItem = SkinListItemRect(pList->Rect(), pList->Settings(),
                                         SkinListItemHeight(ctx, pItems, pList->Settings()), 3, 4);
    Click(At(108, rcItem.left - pList->Rect().left + 2, rcItem.top - pList->Rect().top + 2));
    EXPECT_EQ(pList->Selection(), 5);
    Click(At(SKIN_CLOSE_ID, 3, 3)); // the window and its controls go

    using host::MAKEWPARAM;
    const std::vector<std::tuple<UINT, WPARAM, LPARAM>> expected = {
        {host::WM_INITDIALOG, 0, 77},
        {WM_SKINAPPLIED, 0, 0},
        {host::WM_COMMAND, 100, 0},
        {host::WM_COMMAND, 101, 0},
        {host::WM_COMMAND, 102, 0},
        {host::WM_HSCROLL, MAKEWPARAM(host::SB_LINEDOWN, 2), 106},
        {host::WM_VSCROLL, MAKEWPARAM(host::SB_THUMBTRACK, 92), 105},
        {host::WM_VSCROLL, MAKEWPARAM(host::SB_THUMBPOSITION, 92), 105},
        {host::WM_VSCROLL, MAKEWPARAM(host::SB_THUMBTRACK, 0), 105},
        {host::WM_VSCROLL, MAKEWPARAM(host::SB_THUMBPOSITION, 0), 105},
        {host::WM_VSCROLL, MAKEWPARAM(host::SB_LINEDOWN, 2), 105},
        {host::WM_COMMAND, MAKEWPARAM(108, 1), 0},
        {host::WM_COMMAND, host::IDCANCEL, 0},
        {host::WM_DESTROY, 0, 0},
    };
    EXPECT_EQ(g_all, expected);
}

// Placement by code: near, far and centred edges of the inner rectangle; the keep-current
// value keeps a value, and as a size takes the picture's own (a push button's whole row).
TEST_F(SkinnedWindowTest, PlacementCodesAndKeepCurrent) {
    SkinWindow* pWindow = Open();
    SKINCONTROL* pButton = pWindow->Control(100);
    const SKINCONTROLGRAPHICS* pCells = pButton->Picture();
    ASSERT_NE(pCells, nullptr);
    const int cxRow = pCells->CellWidth() * pCells->Columns();
    const int cyCell = pCells->CellHeight();
    const RECT in = pWindow->InnerRect();
    const int xMid = (in.left + in.right) / 2, yMid = (in.top + in.bottom) / 2;
    const struct {
        int nH, x, cx, nV, y, cy;
        RECT expected;
    } cases[] = {
        {0, 5, 50, 0, 7, 20, {in.left + 5, in.top + 7, in.left + 55, in.top + 27}},
        {SKINPLACE_COMPUTED | SKINPLACE_FAR,
         5,
         SKIN_KEEP,
         SKINPLACE_COMPUTED | SKINPLACE_FAR,
         16,
         SKIN_KEEP,
         {in.right - 5 - cxRow, in.bottom - 16 - cyCell, in.right - 5, in.bottom - 16}},
        {SKINPLACE_COMPUTED | SKINPLACE_CENTER,
         0,
         40,
         SKIN_KEEP,
         SKIN_KEEP,
         SKIN_KEEP,
         {xMid - 20, in.bottom - 16 - cyCell, xMid + 20, in.bottom - 16}},
        {SKIN_KEEP,
         SKIN_KEEP,
         SKIN_KEEP,
         SKINPLACE_COMPUTED | SKINPLACE_CENTER,
         0,
         10,
         {xMid - cxRow / 2, yMid - 5, xMid - cxRow / 2 + cxRow, yMid + 5}},
    };
    for (const auto& c : cases) {
        pButton->SetPlacement(c.nH, c.x, c.cx, c.nV, c.y, c.cy);
        const RECT& rc = pButton->Rect();
        EXPECT_EQ((std::vector<LONG>{rc.left, rc.top, rc.right, rc.bottom}),
                  (std::vector<LONG>{c.expected.left, c.expected.top, c.expected.right,
                                     c.expected.bottom}));
    }
}

TEST_F(SkinnedWindowTest, ModalRunClosesOnWmCloseAndGivesTheOwnerBack) {
    host::HWND hwndOwner = host::CreateWindowEx(0, ANIMWINDOW_CLASS, "", host::WS_POPUP, 0, 0, 50,
                                                50, nullptr, nullptr, nullptr, nullptr);
    SkinWindow* pWindow = Open(hwndOwner);
    const LONG nFramesBefore = pWindow->Anim()->GetFrameCounter();
    // Closed from another thread after a while: meanwhile the modal run plays frames.
    const host::HWND hwnd = pWindow->Handle();
    std::thread closer([hwnd] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        host::PostMessage(hwnd, host::WM_CLOSE, 0, 0);
    });
    g_fOwnerEnabledInside = true;
    EXPECT_EQ(pWindow->RunModal(), host::IDCANCEL);
    closer.join();
    EXPECT_GT(g_nFramesAtClose, nFramesBefore);
    EXPECT_FALSE(g_fOwnerEnabledInside);
    EXPECT_TRUE(host::IsWindowEnabled(hwndOwner));
    host::DestroyWindow(hwndOwner);
}

TEST_F(SkinnedWindowTest, ClickRemovingItsOwnInsetAndDuplicateIds) {
    SkinWindow* pWindow = Open();
    g_pPanel = pWindow->AddInset(PanelProc, kPanel, 5);
    ASSERT_NE(g_pPanel, nullptr);
    ASSERT_NE(pWindow->Control(200), nullptr);
    // Every inset hears that pictures were given again.
    EXPECT_EQ(g_panel, (Record{{host::WM_INITDIALOG, 0}, {WM_SKINAPPLIED, 0}}));
    EXPECT_EQ(g_main.back(), (std::pair<UINT, WPARAM>{WM_SKINAPPLIED, 0}));

    MessageBoxRecorder recorder;
    host::MessageBoxResponder* pOld = host::SetMessageBoxResponder(&recorder);
    pWindow->AddControl(CT_PBUTTON, 100, pWindow->MainInset());
    pWindow->AddControl(CT_PBUTTON, 101, g_pPanel);
    host::SetMessageBoxResponder(pOld);
    EXPECT_EQ(recorder.texts,
              (std::vector<std::string>{"Dialog 910 contains more than one control with ID 100",
                                        "Dialogs 910 and 911 both contain a control with ID 101"}));
    EXPECT_EQ(pWindow->Control(101)->Inset(), g_pPanel);

    Click(At(200, 5, 5));
    EXPECT_EQ(g_panel.back(), (std::pair<UINT, WPARAM>{host::WM_DESTROY, 0}));
    EXPECT_EQ(pWindow->Control(200), nullptr);
    EXPECT_EQ(pWindow->Control(101), nullptr);
    EXPECT_NE(pWindow->Control(102), nullptr);
}

TEST_F(SkinnedWindowTest, DragByBackgroundMovesExactlyAndControlsDoNot) {
    SkinWindow* pWindow = Open();
    RECT rc0;
    host::GetWindowRect(pWindow->Handle(), &rc0);
    const POINT ptBackground = {rc0.left + 10, rc0.top + 60}; // the frame's left edge
    host::PostMouseInput(ptBackground, host::MouseAction::kLeftDown);
    host::PostMouseInput({ptBackground.x + 17, ptBackground.y + 9}, host::MouseAction::kMove);
    PumpAll();
    host::PostMouseInput({ptBackground.x + 31, ptBackground.y - 12}, host::MouseAction::kMove);
    host::PostMouseInput({ptBackground.x + 31, ptBackground.y - 12}, host::MouseAction::kLeftUp);
    PumpAll();
    RECT rc1;
    host::GetWindowRect(pWindow->Handle(), &rc1);
    EXPECT_EQ(rc1.left - rc0.left, 31);
    EXPECT_EQ(rc1.top - rc0.top, -12);
    EXPECT_EQ(rc1.right - rc1.left, rc0.right - rc0.left);

    const POINT ptButton = At(100, 5, 5);
    host::PostMouseInput(ptButton, host::MouseAction::kLeftDown);
    host::PostMouseInput({ptButton.x + 40, ptButton.y + 40}, host::MouseAction::kMove);
    host::PostMouseInput({ptButton.x + 40, ptButton.y + 40}, host::MouseAction::kLeftUp);
    PumpAll();
    RECT rc2;
    host::GetWindowRect(pWindow->Handle(), &rc2);
    EXPECT_EQ(rc2.left, rc1.left);
    EXPECT_EQ(rc2.top, rc1.top);
}

TEST_F(SkinnedWindowTest, RedrawOffPresentsNothingUntilOn) {
    SkinWindow* pWindow = Open();
    Frames(2);
    host::PresentScreen();
    const POINT pt = At(104, 40, 4);
    const host::COLORREF before = host::GetScreenPixel(pt.x, pt.y);
    pWindow->SetRedraw(false);
    pWindow->SetProgress(104, 100);
    g_pPanel = pWindow->AddInset(PanelProc, kPanel, 0);
    Frames(2);
    EXPECT_EQ(host::GetScreenPixel(pt.x, pt.y), before);
    pWindow->SetRedraw(true);
    Frames(1);
    EXPECT_NE(host::GetScreenPixel(pt.x, pt.y), before);
}

// A user-drawn control: installed once, asked every frame, drawn when it asks.
int g_cInstalled = 0, g_cFrames = 0, g_cDrawn = 0;
LRESULT UserProc(SKINCONTROL*, UINT uMsg, WPARAM, LPARAM) {
    g_cInstalled += uMsg == SKINCB_INSTALL;
    g_cFrames += uMsg == SKINCB_FRAME;
    g_cDrawn += uMsg == SKINCB_DRAW;
    return uMsg == SKINCB_FRAME;
}

TEST_F(SkinnedWindowTest, UserDrawnControlRedrawsEachFrame) {
    SkinWindow* pWindow = Open();
    pWindow->Control(109)->SetCallback(UserProc);
    const int cDrawnBefore = g_cDrawn;
    Frames(3);
    EXPECT_EQ(g_cInstalled, 1);
    EXPECT_GE(g_cFrames, 3);
    EXPECT_GE(g_cDrawn - cDrawnBefore, 3);
}

// For people to look at: a DEZ window with every kind over a plain window.
TEST_F(SkinnedWindowTest, ScreenshotOverAnotherWindow) {
    host::HWND hwndBehind = host::CreateWindowEx(0, ANIMWINDOW_CLASS, "", host::WS_POPUP, 0, 0, 800,
                                                 600, nullptr, nullptr, nullptr, nullptr);
    AnimWindow::FromHandle(hwndBehind)->FillBackground(0x02808000, nullptr);
    host::ShowWindow(hwndBehind, host::SW_SHOW);
    SkinWindow* pWindow = Open();
    skintest::FillEveryKind(pWindow);
    Frames(2);
    RECT rc;
    host::GetWindowRect(pWindow->Handle(), &rc);
    // The see-through corner shows the window behind.
    EXPECT_EQ(host::GetScreenPixel(rc.left, rc.top), host::GetScreenPixel(rc.left - 5, rc.top - 5));
    const std::filesystem::path dir =
        std::filesystem::path(KELVANO_SKINART_DIR).parent_path() / "screenshots";
    std::filesystem::create_directories(dir);
    EXPECT_TRUE(host::SaveScreenshot((dir / "skin_window_dez.png").string()));
    pWindow_.reset();
    host::DestroyWindow(hwndBehind);
}

} // namespace
