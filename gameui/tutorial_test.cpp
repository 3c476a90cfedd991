// The tutorial in the real program, driven by real stylus and key input inside its modal
// loop: pages, the practice strip, commands held while a move plays, the first start, and
// every page's text measured and photographed in both languages.
#include "gameui/tutorial.h"

#include "anim/cea_object.h"
#include "anim/cea_window.h"
#include "foundation/gl_staticex.h"
#include "foundation/tl_language.h"
#include "game/board.h"
#include "game/game.h"
#include "game/history.h"
#include "game/presenter.h"
#include "game/settings.h"
#include "gameui/display.h"
#include "gameui/graphics.h"
#include "gameui/human.h"
#include "gameui/kelvano.h"
#include "gameui/kelvano_test_support.h"
#include "gameui/resource.h"
#include "host/dialog.h"
#include "host/registry.h"
#include "host/screen.h"
#include "host/window.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

using namespace host;
using namespace gameui_test;

constexpr UINT kScriptTimer = 1;
constexpr UINT kScriptPeriodMs = 40;

AnimWindow* StripWindow(HWND hDlg) {
    return AnimWindow::FromHandle(GetDlgItem(hDlg, IDC_ANIM));
}

// A move is playing on the strip.
bool IsMoving(HWND hDlg) {
    AnimWindow* pWindow = hDlg != nullptr ? StripWindow(hDlg) : nullptr;
    return pWindow != nullptr && pWindow->GetFrameCounter() < pWindow->GetEndFrame();
}

// The steps run on a timer inside whichever loop is running (the dialog's, or a strip move's
// message pump). A step runs only when the strip is busy exactly as it asks, so the steps
// after a move wait for its end, and a step marked fDuringMove sees the move under way.
struct STEP {
    std::function<void(HWND hDlg)> run;
    bool fDuringMove = false;
};
std::vector<STEP> s_steps;
std::size_t s_iStep = 0;

std::size_t s_cIdleTicks = 0;

LRESULT ScriptProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (uMsg != WM_TIMER) return DefWindowProc(hwnd, uMsg, wParam, lParam);
    const HWND hDlg = TutorialWindow();
    if (s_iStep < s_steps.size()) {
        if (IsMoving(hDlg) == s_steps[s_iStep].fDuringMove) s_steps[s_iStep++].run(hDlg);
    } else if (hDlg != nullptr && ++s_cIdleTicks > 100) {
        // The script is over and the dialog stayed: end it rather than hang.
        ADD_FAILURE() << "the tutorial did not close";
        EndDialog(hDlg, -2);
    }
    return 0;
}

// The strip's occupants as letters: B Blue, R Red, G green, . empty.
std::string Occupants(HWND hDlg) {
    const auto* pStrip = static_cast<const STRIP*>(StripWindow(hDlg)->GetData(0));
    std::string str;
    for (const CELL& cell : pStrip->aCell)
        str += "BRG."[cell.nPiece & 3];
    return str;
}

// The same read from the piece objects, by the cell each stands for.
std::string DrawnPieces(HWND hDlg) {
    std::string str(cStripCells, '.');
    AnimWindow* pWindow = StripWindow(hDlg);
    for (AnimObject* p = pWindow->FirstObjectOfDepth(DEPTH_PIECE); p != nullptr; p = p->GetNext()) {
        const auto x = reinterpret_cast<std::intptr_t>(p->GetData(PIECEDATA_X));
        const auto c = reinterpret_cast<std::intptr_t>(p->GetData(PIECEDATA_COLOR));
        if (x >= 0 && x < cStripCells) str[static_cast<std::size_t>(x)] = "BRG."[c & 3];
    }
    return str;
}

int PieceCount(HWND hDlg) {
    int c = 0;
    for (AnimObject* p = StripWindow(hDlg)->FirstObjectOfDepth(DEPTH_PIECE); p != nullptr;
         p = p->GetNext())
        ++c;
    return c;
}

int Page(HWND hDlg) {
    return static_cast<int>(GetWindowLongPtr(hDlg, DWLP_USER));
}

std::u16string ItemText(HWND hDlg, int id) {
    char16_t sz[1024] = {};
    if (id == 0)
        GetWindowText(hDlg, sz, 1024);
    else
        GetDlgItemText(hDlg, id, sz, 1024);
    return sz;
}

std::u16string Text(UINT nBase) {
    cetl::string str;
    cetl::LoadText(nBase, str);
    return std::u16string(str.Text(), static_cast<std::size_t>(str.Length()));
}

// The centre, on the screen, of the piece drawn for cell x.
POINT PiecePoint(HWND hDlg, int x) {
    AnimWindow* pWindow = StripWindow(hDlg);
    for (AnimObject* p = pWindow->FirstObjectOfDepth(DEPTH_PIECE); p != nullptr; p = p->GetNext()) {
        if (reinterpret_cast<std::intptr_t>(p->GetData(PIECEDATA_X)) != x) continue;
        RECT rc;
        p->GetRect(&rc);
        POINT pt = {(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2};
        ClientToScreen(pWindow->GetHandle(), &pt);
        return pt;
    }
    ADD_FAILURE() << "no piece on cell " << x;
    return {};
}

// Touch the piece on cell x, drag right, lift.
void PushRight(HWND hDlg, int x) {
    const POINT pt = PiecePoint(hDlg, x);
    PostMouseInput(pt, MouseAction::kLeftDown);
    PostMouseInput({pt.x + 20, pt.y}, MouseAction::kMove);
    PostMouseInput({pt.x + 20, pt.y}, MouseAction::kLeftUp);
}

void ClickItem(HWND hDlg, int id) {
    Click(CenterOf(GetDlgItem(hDlg, id)));
}

void Key(UINT vk) {
    PostKeyInput(vk, true);
    PostKeyInput(vk, false);
}

// The lowest row the control's text reaches, drawn by a StaticEx as wide as the control, in
// its font, but as tall as the screen; -1 for no text.
int TextBottom(HWND hwndCtl) {
    RECT rc;
    GetClientRect(hwndCtl, &rc);
    // Above the device's taskbar.
    const int cy = GetSystemMetrics(SM_CYSCREEN) * 7 / 8;
    HWND h = CreateWindowEx(0, cetl::kStaticExClassName, TEXT(""), WS_POPUP | WS_VISIBLE, 0, 0,
                            rc.right, cy, nullptr, nullptr, nullptr, nullptr);
    if (h == nullptr) return 1 << 20;
    SendMessage(h, WM_SETFONT, static_cast<WPARAM>(SendMessage(hwndCtl, WM_GETFONT, 0, 0)), 0);
    char16_t sz[1024] = {};
    GetWindowText(hwndCtl, sz, 1024);
    SetWindowText(h, std::u16string_view(sz));
    UpdateWindow(h);
    const COLORREF crBack = GetScreenPixel(rc.right - 1, cy - 1);
    int yBottom = -1;
    for (int y = cy - 1; y >= 0 && yBottom < 0; --y)
        for (int x = 0; x < rc.right; ++x)
            if (GetScreenPixel(x, y) != crBack) {
                yBottom = y;
                break;
            }
    DestroyWindow(h);
    return yBottom;
}

std::vector<BYTE> StoredValue(const char* pszName) {
    HKEY hKey = nullptr;
    std::vector<BYTE> bytes(1 << 16);
    if (RegOpenKeyEx(HKEY_CURRENT_USER, "Software\\Vantor\\Kelvano CE", 0, KEY_ALL_ACCESS, &hKey) !=
        ERROR_SUCCESS)
        return {};
    DWORD cb = static_cast<DWORD>(bytes.size()), dwType = 0;
    const LONG l = RegQueryValueEx(hKey, pszName, nullptr, &dwType, bytes.data(), &cb);
    RegCloseKey(hKey);
    bytes.resize(l == ERROR_SUCCESS ? cb : 0);
    return bytes;
}

class Tutorial : public KelvanoTest {
protected:
    void SetUp() override {
        KelvanoTest::SetUp();
        WNDCLASSA wc{};
        wc.lpfnWndProc = &ScriptProc;
        wc.lpszClassName = "TutorialTestScript";
        RegisterClass(&wc);
        m_hwndScript = CreateWindowEx(0, "TutorialTestScript", "", 0, 0, 0, 0, 0, nullptr, nullptr,
                                      nullptr, nullptr);
        // The loops wait for the script's timer and the strip's frames without anyone
        // advancing the clock.
        SetVirtualClockAutoAdvance(true);
    }
    void TearDown() override {
        SetVirtualClockAutoAdvance(false);
        DestroyWindow(m_hwndScript);
        s_steps.clear();
        KelvanoTest::TearDown();
    }
    // Starts on stored settings, Classic rules.
    void StartStored() {
        g_settings = DefaultSettings();
        WriteSettings();
        ASSERT_NE(Start(), nullptr);
    }
    void Script(std::vector<STEP> steps) {
        s_steps = std::move(steps);
        s_iStep = 0;
        s_cIdleTicks = 0;
        SetTimer(m_hwndScript, kScriptTimer, kScriptPeriodMs, nullptr);
    }
    // Runs the tutorial over the main window with these steps; its result.
    INT_PTR Run(std::vector<STEP> steps) {
        Script(std::move(steps));
        const INT_PTR nResult = RunTutorial(nullptr, KelvanoMainWindow());
        KillTimer(m_hwndScript, kScriptTimer);
        EXPECT_EQ(s_iStep, s_steps.size()) << "steps left when the tutorial closed";
        return nResult;
    }

    HWND m_hwndScript = nullptr;
};

// The Tutorial button opens it; every page's texts, buttons and strip; Close on the last
// page ends it and gives the main window back.
TEST_F(Tutorial, PagesFromTheTutorialButton) {
    StartStored();
    const char* const apszStrip[cTutorialPages] = {"..B...", ".BB.B.", "BBR.R.", ".BBBR.",
                                                   "BB.R.B", "......", "R.BBG."};
    const UINT aidText[cTutorialPages] = {IDS_PAGE0, IDS_PAGE1, IDS_PAGE2, IDS_PAGE3,
                                          IDS_PAGE4, IDS_PAGE5, IDS_PAGE6};
    std::vector<STEP> steps;
    for (int i = 0; i < cTutorialPages; ++i) {
        steps.push_back({[&, i](HWND hDlg) {
            SCOPED_TRACE(i);
            ASSERT_NE(hDlg, nullptr);
            EXPECT_EQ(Page(hDlg), i);
            EXPECT_EQ(ItemText(hDlg, 0), Text(IDS_TUTORIAL_TITLE));
            EXPECT_EQ(IsWindowEnabled(GetDlgItem(hDlg, IDC_BACK)) != 0, i != 0);
            const bool fLast = i == cTutorialPages - 1;
            EXPECT_EQ(ItemText(hDlg, IDC_FORWARD), fLast ? u"&Close" : u"&Next >");
            EXPECT_EQ(ItemText(hDlg, IDC_HINT), Text(fLast ? IDS_CLOSE_HINT : IDS_NEXT_HINT));
            EXPECT_EQ(ItemText(hDlg, IDC_PAGE_TEXT), Text(aidText[i]));
            EXPECT_EQ(Occupants(hDlg), apszStrip[i]);
            EXPECT_EQ(DrawnPieces(hDlg), apszStrip[i]);
            const auto* pStrip = static_cast<const STRIP*>(StripWindow(hDlg)->GetData(0));
            const int anKind[cStripCells] = {2, 0, 1, 1, 0, 3};
            for (int x = 0; x < cStripCells; ++x)
                EXPECT_EQ(pStrip->aCell[x].nKind, i == 5 ? anKind[x] : 0) << x;
            ClickItem(hDlg, IDC_FORWARD);
        }});
    }
    Script(std::move(steps));
    const POINT pt = {GameLayout().rgptButton[3].x + cxButton / 2,
                      GameLayout().rgptButton[3].y + cyButton / 2};
    POINT ptScreen = pt;
    ClientToScreen(KelvanoAnimWindow()->GetHandle(), &ptScreen);
    Click(ptScreen);
    PumpAll();
    EXPECT_EQ(s_iStep, s_steps.size());
    EXPECT_EQ(TutorialWindow(), nullptr);
    EXPECT_TRUE(IsWindowEnabled(KelvanoMainWindow()));
}

// Pushes on the strip under Classic rules: the pair pushes Red, a push drives Red off the
// end, the third push breaks; Red and green never lift; Next and Back restore a page. The
// main game, its record and everything stored stay as they were.
TEST_F(Tutorial, PracticeStripLeavesTheGameAlone) {
    StartStored();
    g_settings.fModern = 0;
    const BOARD board = CurrentBoard();
    const auto cMoves = RecordedMoveCount();
    Presenter* pMainDisplay = GetDefaultPresenter();
    const char* const apszValues[] = {"Settings", "SavedGame", "SavedHistory"};
    std::vector<std::vector<BYTE>> stored;
    for (const char* psz : apszValues)
        stored.push_back(StoredValue(psz));

    auto push = [](int x) { return STEP{[x](HWND hDlg) { PushRight(hDlg, x); }}; };
    auto expect = [](const char* psz) {
        return STEP{[psz](HWND hDlg) {
            EXPECT_EQ(Occupants(hDlg), psz);
            EXPECT_EQ(DrawnPieces(hDlg), psz);
        }};
    };
    auto next = STEP{[](HWND hDlg) { ClickItem(hDlg, IDC_FORWARD); }};
    auto back = STEP{[](HWND hDlg) { ClickItem(hDlg, IDC_BACK); }};
    const INT_PTR nResult = Run({
        // Page 0, its piece moved, then Next and Back.
        push(2),
        expect("...B.."),
        next,
        back,
        expect("..B..."),
        next,
        next, // page 2
        push(0),
        expect(".BBRR."),
        next, // page 3: in place, then off the end
        push(1),
        expect("..BBBR"),
        push(2),
        expect("...BBB"),
        STEP{[](HWND hDlg) { EXPECT_EQ(PieceCount(hDlg), 3); }}, // Red fell and went
        next,                                                    // page 4
        push(0),
        push(1),
        expect("..BBRB"),
        push(2),
        expect("..BB.B"),
        STEP{[](HWND hDlg) {
            const auto* pStrip = static_cast<const STRIP*>(StripWindow(hDlg)->GetData(0));
            EXPECT_EQ(pStrip->aCell[4].nKind, KIND_HOLE);
        }},
        next,
        next, // page 6: neither Red nor green lifts
        STEP{[](HWND hDlg) { PostMouseInput(PiecePoint(hDlg, 0), MouseAction::kLeftDown); }},
        STEP{[](HWND hDlg) {
            EXPECT_FALSE(IsStylusDragging());
            PostMouseInput(PiecePoint(hDlg, 0), MouseAction::kLeftUp);
            PostMouseInput(PiecePoint(hDlg, 4), MouseAction::kLeftDown);
        }},
        STEP{[](HWND hDlg) {
            EXPECT_FALSE(IsStylusDragging());
            PostMouseInput(PiecePoint(hDlg, 4), MouseAction::kLeftUp);
            EXPECT_EQ(Occupants(hDlg), "R.BBG.");
            Key(VK_ESCAPE);
        }},
    });
    EXPECT_EQ(nResult, IDCANCEL);
    EXPECT_EQ(std::memcmp(&CurrentBoard(), &board, sizeof(BOARD)), 0);
    EXPECT_EQ(RecordedMoveCount(), cMoves);
    EXPECT_EQ(GetDefaultPresenter(), pMainDisplay);
    EXPECT_EQ(g_settings.fModern, 0);
    for (std::size_t i = 0; i < stored.size(); ++i)
        EXPECT_EQ(StoredValue(apszValues[i]), stored[i]) << apszValues[i];
    // The main display still shows the main board's pieces.
    int cPieces = 0;
    for (AnimObject* p = KelvanoAnimWindow()->FirstObjectOfDepth(DEPTH_PIECE); p != nullptr;
         p = p->GetNext())
        ++cPieces;
    EXPECT_EQ(cPieces, 2 * cStartPieces);
}

// Next, or closing, while a move plays changes nothing until the move has ended; then it
// takes effect. Enter and Escape close with 1 and 2 when no move plays.
TEST_F(Tutorial, CommandsWaitForTheMove) {
    StartStored();
    const struct {
        const char* name;
        std::function<void(HWND)> command;
        INT_PTR nResult; // 0: still open after the move, on page 1
    } cases[] = {
        {"Next", [](HWND hDlg) { ClickItem(hDlg, IDC_FORWARD); }, 0},
        {"close box", [](HWND hDlg) { PostMessage(hDlg, WM_CLOSE, 0, 0); }, IDCANCEL},
        {"Enter", [](HWND) { Key(VK_RETURN); }, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LONG iEndFrame = 0;
        std::vector<STEP> steps = {
            {[&](HWND hDlg) { PushRight(hDlg, 2); }},
            {[&](HWND hDlg) { c.command(hDlg); }, true},
            {[&](HWND hDlg) {
                 // Still under way, on the first page, with its pieces.
                 EXPECT_TRUE(IsMoving(hDlg));
                 EXPECT_EQ(Page(hDlg), 0);
                 EXPECT_EQ(DrawnPieces(hDlg), "...B..");
                 iEndFrame = StripWindow(hDlg)->GetEndFrame();
             },
             true},
        };
        if (c.nResult == 0) {
            steps.push_back({[&](HWND hDlg) {
                // Played out before the page went on; a key meant for the dialog is dropped.
                EXPECT_GE(StripWindow(hDlg)->GetFrameCounter(), iEndFrame);
                EXPECT_EQ(Page(hDlg), c.name == std::string("Next") ? 1 : 0);
                Key(VK_ESCAPE);
            }});
        }
        EXPECT_EQ(Run(std::move(steps)), c.nResult == 0 ? IDCANCEL : c.nResult);
    }
    // With nothing playing, Enter closes at once.
    EXPECT_EQ(Run({{[](HWND) { Key(VK_RETURN); }}}), IDOK);
}

// Only the very first start opens the tutorial, once the game is set up.
TEST_F(Tutorial, OpensOnTheFirstStartOnly) {
    static int s_cOpened;
    s_cOpened = 0;
    SetTutorialOpenHook([](HWND hDlg) {
        ++s_cOpened;
        EXPECT_TRUE(g_game.fInProgress);
        EndDialog(hDlg, IDOK);
    });
    KELVANORUN run;
    run.fSingleInstance = false;
    for (int iStart = 0; iStart < 2; ++iStart) {
        ASSERT_NE(StartKelvano(nullptr, run), nullptr);
        EXPECT_EQ(IsKelvanoFirstStart(), iStart == 0);
        EXPECT_EQ(s_cOpened, 1);
        Close();
    }
    SetTutorialOpenHook(nullptr);
}

// Every page's text fits its control in both languages (and so does the hint); a screenshot
// of every page.
TEST_F(Tutorial, TextsFitInBothLanguages) {
    StartStored();
    const struct {
        UINT nLanguage;
        const char* code;
    } languages[] = {{cetl::kLanguageEnglish, "en"}, {cetl::kLanguageEsperanto, "eo"}};
    for (const auto& language : languages) {
        ASSERT_TRUE(cetl::SetLanguage(language.nLanguage));
        std::vector<STEP> steps;
        for (int i = 0; i < cTutorialPages; ++i) {
            steps.push_back({[&, i](HWND hDlg) {
                SCOPED_TRACE(testing::Message() << language.code << " page " << i);
                for (int id : {IDC_PAGE_TEXT, IDC_HINT}) {
                    HWND hwndCtl = GetDlgItem(hDlg, id);
                    RECT rc;
                    GetClientRect(hwndCtl, &rc);
                    const int yBottom = TextBottom(hwndCtl);
                    EXPECT_GE(yBottom, 0) << id;
                    EXPECT_LT(yBottom, rc.bottom) << id;
                }
                UpdateWindow(hDlg);
                PresentScreen();
                Screenshot("kelvano-tutorial-" + std::string(language.code) + "-page" +
                           std::to_string(i) + ".png");
                ClickItem(hDlg, IDC_FORWARD);
            }});
        }
        EXPECT_EQ(Run(std::move(steps)), IDOK);
    }
}

} // namespace
