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
#include "host/screen.h"
#include "host/window.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace {

using namespace host;
using namespace gameui_test;

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
        if (IsMoving(hDlg) == s_steps[s_iStep].fDuringMove) {
            s_cIdleTicks = 0;
            s_steps[s_iStep++].run(hDlg);
        } else if (hDlg != nullptr && ++s_cIdleTicks > 1000) {
            // A step that never sees the strip as it asks would wait for ever: fail instead.
            ADD_FAILURE() << "step " << s_iStep << " never saw the strip as it asked";
            s_iStep = s_steps.size();
            EndDialog(hDlg, -2);
        }
    } else if (hDlg != nullptr && ++s_cIdleTicks > 100) {
        // The script is over and the dialog stayed: end it rather than hang.
        ADD_FAILURE() << "the tutorial did not close";
        EndDialog(hDlg, -2);
    }
    return 0;
}

// The strip's occupants (B Blue, R Red, G green, . empty) in its data and as drawn, by the
// cell each piece object stands for; a piece gone off the strip counts as '+'.
void ExpectStrip(HWND hDlg, const std::string& str) {
    AnimWindow* pWindow = StripWindow(hDlg);
    std::string strData, strDrawn(cStripCells, '.');
    for (const CELL& cell : static_cast<const STRIP*>(pWindow->GetData(0))->aCell)
        strData += "BRG."[cell.nPiece & 3];
    for (AnimObject* p = pWindow->FirstObjectOfDepth(DEPTH_PIECE); p != nullptr; p = p->GetNext()) {
        const auto x = reinterpret_cast<std::intptr_t>(p->GetData(PIECEDATA_X));
        const auto c = reinterpret_cast<std::intptr_t>(p->GetData(PIECEDATA_COLOR));
        if (x >= 0 && x < cStripCells)
            strDrawn[static_cast<std::size_t>(x)] = "BRG."[c & 3];
        else
            strDrawn += '+';
    }
    EXPECT_EQ(strData, str);
    EXPECT_EQ(strDrawn, str);
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

// Every registry file, by name.
std::map<std::string, std::string> StoredFiles(const std::filesystem::path& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        std::ifstream in(entry.path(), std::ios::binary);
        files[entry.path().filename().string()] = {std::istreambuf_iterator<char>(in), {}};
    }
    return files;
}

class Tutorial : public KelvanoTest {
protected:
    void SetUp() override {
        KelvanoTest::SetUp();
        m_hwndScript = CreateScriptWindow("TutorialTestScript", &ScriptProc);
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
        SetVirtualClockAutoAdvance(true); // Start leaves it off
    }
    void Script(std::vector<STEP> steps) {
        s_steps = std::move(steps);
        s_iStep = 0;
        s_cIdleTicks = 0;
        SetTimer(m_hwndScript, 1, 40, nullptr);
    }
    // Runs the tutorial over the main window with these steps; its result.
    INT_PTR Run(std::vector<STEP> steps) {
        Script(std::move(steps));
        const INT_PTR nResult = RunTutorial(nullptr, KelvanoMainWindow());
        KillTimer(m_hwndScript, 1);
        EXPECT_EQ(s_iStep, s_steps.size()) << "steps left when the tutorial closed";
        return nResult;
    }

    HWND m_hwndScript = nullptr;
};

// Every page in both languages: texts, buttons, strip and goals; the text and the hint fit
// their controls; a screenshot each. Next on the last page (Close) ends it with 1.
TEST_F(Tutorial, EveryPageInBothLanguages) {
    StartStored();
    const char* const apszStrip[cTutorialPages] = {"..B...", ".BB.B.", "BBR.R.", ".BBBR.",
                                                   "BB.R.B", "......", "R.BBG."};
    for (const char* pszCode : {"en", "eo"}) {
        ASSERT_TRUE(cetl::SetLanguage(pszCode[1] == 'n' ? cetl::kLanguageEnglish
                                                        : cetl::kLanguageEsperanto));
        std::vector<STEP> steps;
        for (int i = 0; i < cTutorialPages; ++i) {
            steps.push_back({[&, i](HWND hDlg) {
                SCOPED_TRACE(testing::Message() << pszCode << " page " << i);
                const bool fLast = i == cTutorialPages - 1;
                EXPECT_EQ(Page(hDlg), i);
                EXPECT_EQ(ItemText(hDlg, 0), Text(IDS_TUTORIAL_TITLE));
                EXPECT_EQ(IsWindowEnabled(GetDlgItem(hDlg, IDC_BACK)) != 0, i != 0);
                EXPECT_EQ(ItemText(hDlg, IDC_FORWARD), Text(fLast ? IDS_CLOSE : IDS_NEXT));
                EXPECT_EQ(ItemText(hDlg, IDC_HINT), Text(fLast ? IDS_CLOSE_HINT : IDS_NEXT_HINT));
                EXPECT_EQ(ItemText(hDlg, IDC_PAGE_TEXT), Text(IDS_PAGE0 + 10 * i));
                ExpectStrip(hDlg, apszStrip[i]);
                const auto* pStrip = static_cast<const STRIP*>(StripWindow(hDlg)->GetData(0));
                for (int x = 0; x < cStripCells; ++x)
                    EXPECT_EQ(pStrip->aCell[x].nKind, i == 5 ? "201103"[x] - '0' : 0) << x;
                for (int id : {IDC_PAGE_TEXT, IDC_HINT}) {
                    RECT rc;
                    GetClientRect(GetDlgItem(hDlg, id), &rc);
                    const int yBottom = TextBottom(GetDlgItem(hDlg, id));
                    EXPECT_TRUE(yBottom >= 0 && yBottom < rc.bottom) << id << ": " << yBottom;
                }
                UpdateWindow(hDlg);
                Screenshot("kelvano-tutorial-" + std::string(pszCode) + "-page" +
                           std::to_string(i) + ".png");
                ClickItem(hDlg, IDC_FORWARD);
            }});
        }
        EXPECT_EQ(Run(std::move(steps)), IDOK);
    }
}

// Pushes on the strip under Classic rules: the pair pushes Red, a push drives Red off the
// end, the third push breaks; Red and green never lift; Next then Back starts a page afresh.
// The main game, its display, its record and everything stored stay as they were.
TEST_F(Tutorial, PracticeStripLeavesTheGameAlone) {
    StartStored();
    g_settings.fModern = 0;
    const BOARD board = CurrentBoard();
    const auto cMoves = RecordedMoveCount();
    Presenter* pMainDisplay = GetDefaultPresenter();
    const auto stored = StoredFiles(registry_.Path());
    ASSERT_FALSE(stored.empty());

    auto push = [](int x) { return STEP{[x](HWND hDlg) { PushRight(hDlg, x); }}; };
    auto expect = [](const char* psz) { return STEP{[psz](HWND h) { ExpectStrip(h, psz); }}; };
    auto next = STEP{[](HWND hDlg) { ClickItem(hDlg, IDC_FORWARD); }};
    auto touch = [](int x, bool fDown) {
        return STEP{[=](HWND hDlg) {
            EXPECT_FALSE(IsStylusDragging());
            PostMouseInput(PiecePoint(hDlg, x),
                           fDown ? MouseAction::kLeftDown : MouseAction::kLeftUp);
        }};
    };
    const INT_PTR nResult = Run({
        push(2),
        expect("...B.."),
        next,
        STEP{[](HWND h) { ClickItem(h, IDC_BACK); }},
        expect("..B..."),
        next,
        next, // page 2
        push(0),
        expect(".BBRR."),
        next, // page 3
        push(1),
        expect("..BBBR"),
        push(2),
        expect("...BBB"),
        next, // Red fell off the end
        push(0),
        push(1),
        expect("..BBRB"),
        push(2),
        expect("..BB.B"), // page 4: a break
        STEP{[](HWND hDlg) {
            EXPECT_EQ(static_cast<const STRIP*>(StripWindow(hDlg)->GetData(0))->aCell[4].nKind,
                      KIND_HOLE);
        }},
        next,
        next,
        touch(0, true),
        touch(0, false),
        touch(4, true),
        touch(4, false), // page 6
        STEP{[](HWND hDlg) {
            ExpectStrip(hDlg, "R.BBG.");
            Key(VK_ESCAPE);
        }},
    });
    EXPECT_EQ(nResult, IDCANCEL);
    EXPECT_EQ(std::memcmp(&CurrentBoard(), &board, sizeof(BOARD)), 0);
    EXPECT_EQ(RecordedMoveCount(), cMoves);
    EXPECT_EQ(GetDefaultPresenter(), pMainDisplay);
    EXPECT_EQ(g_settings.fModern, 0);
    EXPECT_EQ(StoredFiles(registry_.Path()), stored); // settings and saved game
    int cPieces = 0;
    for (AnimObject* p = KelvanoAnimWindow()->FirstObjectOfDepth(DEPTH_PIECE); p != nullptr;
         p = p->GetNext())
        ++cPieces;
    EXPECT_EQ(cPieces, 2 * cStartPieces);
}

// Next, or closing, while a move plays changes nothing until the move has ended, and then
// takes effect; Enter then is dropped. With nothing playing, Enter closes with 1.
TEST_F(Tutorial, CommandsWaitForTheMove) {
    StartStored();
    const struct {
        const char* name;
        std::function<void(HWND)> command;
        int iPageAfter; // -1: closed with 2 when the move ended
    } cases[] = {
        {"Next", [](HWND hDlg) { ClickItem(hDlg, IDC_FORWARD); }, 1},
        {"close box", [](HWND hDlg) { PostMessage(hDlg, WM_CLOSE, 0, 0); }, -1},
        {"Enter", [](HWND) { Key(VK_RETURN); }, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LONG iEndFrame = 0;
        // The command is queued right behind the drag, so it arrives while the move plays
        // however late the script's next tick comes.
        std::vector<STEP> steps = {
            {[&](HWND hDlg) {
                PushRight(hDlg, 2);
                c.command(hDlg);
            }},
            {[&](HWND hDlg) {
                 EXPECT_EQ(Page(hDlg), 0);
                 ExpectStrip(hDlg, "...B..");
                 iEndFrame = StripWindow(hDlg)->GetEndFrame();
             },
             true},
        };
        if (c.iPageAfter >= 0) {
            steps.push_back({[&](HWND hDlg) {
                EXPECT_GE(StripWindow(hDlg)->GetFrameCounter(), iEndFrame);
                EXPECT_EQ(Page(hDlg), c.iPageAfter);
                Key(VK_ESCAPE);
            }});
        }
        EXPECT_EQ(Run(std::move(steps)), IDCANCEL);
    }
    EXPECT_EQ(Run({{[](HWND) { Key(VK_RETURN); }}}), IDOK);
}

// The very first start opens it once the game is set up; the next start does not; HELP does.
TEST_F(Tutorial, OpensOnTheFirstStartAndFromHelp) {
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
        if (iStart == 0) Close();
    }
    POINT pt = {GameLayout().rgptButton[3].x + cxButton / 2,
                GameLayout().rgptButton[3].y + cyButton / 2};
    ClientToScreen(KelvanoAnimWindow()->GetHandle(), &pt);
    Click(pt);
    PumpAll();
    EXPECT_EQ(s_cOpened, 2);
    EXPECT_EQ(TutorialWindow(), nullptr);
    EXPECT_TRUE(IsWindowEnabled(KelvanoMainWindow()));
    SetTutorialOpenHook(nullptr);
}

} // namespace
