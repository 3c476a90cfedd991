// The stylus handler through real stylus input: a board window with the game's pictures, a
// practice strip window, the virtual clock and a fresh registry.
#include "gameui/human.h"

#include "anim/cea_main.h"
#include "anim/cea_object.h"
#include "anim/cea_window.h"
#include "game/game.h"
#include "game/history.h"
#include "game/presenter.h"
#include "game/settings.h"
#include "gameui/display.h"
#include "gameui/graphics.h"
#include "gameui/kelvano_test_support.h"
#include "gameui/sounds.h"
#include "host/window.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace host;
using namespace gameui_test;

class RecordingDisplay : public BoardDisplay {
public:
    using BoardDisplay::BoardDisplay;
    std::vector<int> sounds;

protected:
    void StartSound(int idWave) override { sounds.push_back(idWave); }
    void StopSound(int) override {}
};

RecordingDisplay* g_pBoard = nullptr;
RecordingDisplay* g_pStripDisplay = nullptr;

int Callback(AnimWindow* pWindow, int nEvent, LPARAM lParam1, LPARAM lParam2) {
    RecordingDisplay* pDisplay =
        g_pStripDisplay != nullptr && g_pStripDisplay->GetWindow() == pWindow ? g_pStripDisplay
                                                                              : g_pBoard;
    if (nEvent == ANIMEVENT_BACKGROUND && lParam2 != 0 && pWindow->GetData(0) == nullptr) {
        Graphic* pBoard = GameGraphics().pBoard;
        pBoard->DrawTo(reinterpret_cast<Graphic*>(lParam2), 0, 0, 0, 0, pBoard->GetWidth(),
                       pBoard->GetHeight());
        pWindow->InvalidateAll();
    }
    if (nEvent == ANIMEVENT_TIMELINE && pDisplay != nullptr)
        return pDisplay->OnTimelineEvent(lParam1, lParam2);
    return 1;
}

int BoardHook(AnimWindow* pWindow, HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    return HandleStylus(g_pBoard, pWindow, hwnd, uMsg, wParam, lParam);
}

using Pieces = std::vector<std::pair<CELLPOS, int>>;

class Stylus : public KelvanoTest {
protected:
    void SetUp() override {
        KelvanoTest::SetUp();
        if (HasFatalFailure()) return;
        ASSERT_EQ(AnimStartup(nullptr, 0), 1);
        ASSERT_TRUE(LoadGraphics(nullptr));
        g_settings = DefaultSettings();
        g_settings.fSound = 1;
        for (PLAYERSETTING& player : g_settings.aPlayer)
            player.fComputer = 0;
        m_hwnd = CreateWindowEx(0, ANIMWINDOW_CLASS, TEXT(""), WS_POPUP | WS_VISIBLE, 0, 0, 240,
                                294, nullptr, nullptr, nullptr, nullptr);
        m_pWindow = AnimWindow::FromHandle(m_hwnd);
        ASSERT_NE(m_pWindow, nullptr);
        m_pWindow->SetFrameRate(30);
        m_pWindow->SetCallback(&Callback);
        g_pBoard = new RecordingDisplay(m_pWindow);
        SetDefaultPresenter(g_pBoard);
        m_pWindow->AddHook(&BoardHook, HOOK_ALL);
        NewGame(LAYOUT_CLASSIC, 0);
        Frames(2);
    }
    void TearDown() override {
        CancelStylusDrag();
        if (IsWindow(m_hwnd)) DestroyWindow(m_hwnd);
        PumpAll();
        SetDefaultPresenter(nullptr);
        delete g_pBoard;
        g_pBoard = nullptr;
        FreeRecord();
        FreeGraphics();
        KelvanoTest::TearDown();
    }

    void Frames(int c) {
        for (int i = 0; i < c; ++i) {
            AdvanceVirtualClock(33);
            m_pWindow->Step();
            PumpAll();
        }
    }
    // Only these pieces on the board, Blue to move.
    void Position(const Pieces& pieces, int fModern = 0) {
        NewGame(LAYOUT_CLASSIC, fModern);
        BOARD& board = CurrentBoard();
        for (auto& row : board.aCell)
            for (CELL& cell : row)
                cell.nPiece = PIECE_NONE;
        for (auto [cell, nPiece] : pieces)
            board.aCell[cell.y][cell.x].nPiece = nPiece;
        g_pBoard->RebuildPieces(board);
        Frames(2);
        m_board = board;
        g_pBoard->sounds.clear();
    }
    POINT Centre(int x, int y) const {
        const POINT pt = g_pBoard->CellOrigin(x, y);
        return {pt.x + cxCell / 2, pt.y + cyCell / 2};
    }
    static void Input(POINT pt, MouseAction action) {
        PostMouseInput(pt, action);
        PumpAll();
    }
    void Rest() {
        AdvanceVirtualClock(STYLUS_REST_MS + 50);
        PumpAll();
    }
    std::vector<AnimObject*> Arrows() const {
        std::vector<AnimObject*> v;
        for (AnimObject* p = m_pWindow->FirstObjectOfDepth(DEPTH_ARROW); p != nullptr;
             p = p->GetNext())
            v.push_back(p);
        return v;
    }
    // The arrow frame centred on (x, y), or -1.
    int ArrowAt(int x, int y) const {
        const POINT c = Centre(x, y);
        for (AnimObject* p : Arrows()) {
            RECT rc;
            p->GetRect(&rc);
            if (rc.left + cxArrow / 2 != c.x || rc.top + cyArrow / 2 != c.y) continue;
            for (int i = 0; i < cArrowFrames; ++i)
                if (p->GetGraphic() == GameGraphics().rgpArrow[i]) return i;
        }
        return -1;
    }
    bool IsLifted(int x, int y) const {
        AnimObject* p = g_pBoard->PieceAtCell(x, y);
        return p != nullptr && p->GetGraphic() == GameGraphics().rgpPiece[PIECE_BLUE][PIECE_LIFTED];
    }
    bool BoardUnchanged() const {
        return std::memcmp(&CurrentBoard(), &m_board, sizeof(BOARD)) == 0;
    }

    HWND m_hwnd = nullptr;
    AnimWindow* m_pWindow = nullptr;
    BOARD m_board = {};
};

TEST(StylusQuantiser, AngleTableBoundaries) {
    const std::pair<double, int> aCases[] = {
        {0, 1},   {29.999, 1},  {30, 0},  {89.999, 0},  {90, 5},  {149.999, 5},
        {150, 4}, {209.999, 4}, {210, 3}, {269.999, 3}, {270, 2}, {329.999, 2},
        {330, 1}, {359.999, 1}, {360, 1}, {-30, 1},     {-31, 2}, {390, 0},
    };
    for (auto [dDegrees, nDir] : aCases)
        EXPECT_EQ(DirectionOfAngle(dDegrees), nDir) << dDegrees;
    // Pixels: the dead zone is inclusive, straight lines are exact.
    const struct {
        int dx, dy, nDir;
    } aDrags[] = {{11, 0, DIR_NONE}, {0, -11, DIR_NONE}, {-7, -8, DIR_NONE}, {0, -12, 5},
                  {0, 12, 2},        {12, 0, 1},         {-12, 0, 4},        {8, 8, 2}};
    for (auto d : aDrags)
        EXPECT_EQ(DirectionOfDrag(d.dx, d.dy, 11), d.nDir) << d.dx << "," << d.dy;
}

// What the user sees: the lifted piece under the stylus, and the piece on its new cell once
// the move has played. Only the screen shows this; the pictures chosen were always right.
TEST_F(Stylus, LiftedAndMovedPiecesAreDrawn) {
    NewGame(LAYOUT_CLASSIC, 0);
    g_pBoard->RebuildPieces(CurrentBoard());
    Frames(2);
    auto isBlue = [](POINT pt) {
        const COLORREF c = GetScreenPixel(pt.x, pt.y);
        return GetBValue(c) > 150 && GetRValue(c) < 90;
    };
    const POINT from = Centre(8, 6);
    ASSERT_TRUE(isBlue(from));
    Input(from, MouseAction::kLeftDown);
    Frames(1);
    EXPECT_TRUE(isBlue(from)) << "lifted";
    Input({from.x, from.y - 20}, MouseAction::kMove);
    Input({from.x, from.y - 20}, MouseAction::kLeftUp);
    Frames(60);
    EXPECT_TRUE(isBlue(Centre(7, 5))) << "moved";
    EXPECT_FALSE(isBlue(from));
}

// From a lone piece every direction is legal: the arrow shows the quantised direction, and
// lifting plays that move.
TEST_F(Stylus, DragsAlongEachDirection) {
    const struct {
        int dx, dy, nDir;
    } aCases[] = {{0, -20, 5},  {10, -17, 0}, {-10, -17, 5}, {-20, 0, 4},
                  {-10, 17, 3}, {10, 17, 2},  {20, 0, 1}};
    for (auto c : aCases) {
        SCOPED_TRACE(testing::Message() << c.dx << "," << c.dy);
        Position({{{8, 4}, PIECE_BLUE}});
        const POINT pt = Centre(8, 4);
        Input(pt, MouseAction::kLeftDown);
        EXPECT_TRUE(IsLifted(8, 4));
        Input({pt.x + c.dx, pt.y + c.dy}, MouseAction::kMove);
        ASSERT_EQ(Arrows().size(), 1u);
        EXPECT_EQ(ArrowAt(8, 4), c.nDir);
        Input({pt.x + c.dx, pt.y + c.dy}, MouseAction::kLeftUp);
        EXPECT_TRUE(Arrows().empty());
        const STEP step = kBoardSteps[c.nDir];
        EXPECT_EQ(CurrentBoard().aCell[4 + step.dy][8 + step.dx].nPiece, PIECE_BLUE);
        EXPECT_EQ(PlayedMoveCount(), 1u);
    }
}

// Silent refusals: inside the dead zone, and lifting with nothing shown; only the pick
// sound plays, at the touch and at the lift.
TEST_F(Stylus, NoDirectionNoMove) {
    for (POINT d : {POINT{11, 0}, POINT{0, -11}, POINT{-7, 8}, POINT{0, 0}}) {
        SCOPED_TRACE(testing::Message() << d.x << "," << d.y);
        Position({{{8, 4}, PIECE_BLUE}, {{8, 0}, PIECE_RED}});
        const POINT pt = Centre(8, 4);
        Input(pt, MouseAction::kLeftDown);
        Input({pt.x + d.x, pt.y + d.y}, MouseAction::kMove);
        EXPECT_TRUE(Arrows().empty());
        Input({pt.x + d.x, pt.y + d.y}, MouseAction::kLeftUp);
        EXPECT_TRUE(BoardUnchanged());
        EXPECT_EQ(PlayedMoveCount(), 0u);
        EXPECT_FALSE(IsLifted(8, 4));
        EXPECT_EQ(g_pBoard->sounds, (std::vector<int>{SOUND_PICKUP, SOUND_PICKUP}));
    }
    // Red's piece while Blue is to move, and empty cells, are not picked up.
    Position({{{8, 4}, PIECE_BLUE}, {{8, 0}, PIECE_RED}});
    for (POINT pt : {Centre(8, 0), Centre(4, 4)}) {
        Input(pt, MouseAction::kLeftDown);
        EXPECT_FALSE(IsStylusDragging());
        Input(pt, MouseAction::kLeftUp);
    }
    EXPECT_TRUE(g_pBoard->sounds.empty());
}

// Two Blue pieces into a Red one backed by Blue, Modern rules: arrows on the line, the break
// marker on the Red piece, nothing beyond; the move breaks the cell.
TEST_F(Stylus, BreakMarker) {
    Position(
        {{{4, 4}, PIECE_BLUE}, {{6, 4}, PIECE_BLUE}, {{8, 4}, PIECE_RED}, {{10, 4}, PIECE_BLUE}},
        1);
    const POINT pt = Centre(4, 4);
    Input(pt, MouseAction::kLeftDown);
    Input({pt.x + 20, pt.y}, MouseAction::kMove);
    EXPECT_EQ(Arrows().size(), 3u);
    EXPECT_EQ(ArrowAt(4, 4), 1);
    EXPECT_EQ(ArrowAt(6, 4), 1);
    EXPECT_EQ(ArrowAt(8, 4), iArrowBreak);
    EXPECT_EQ(ArrowAt(10, 4), -1);
    Input({pt.x + 20, pt.y}, MouseAction::kLeftUp);
    EXPECT_EQ(CurrentBoard().aCell[4][8].nKind, KIND_HOLE);
}

// Resting a second on a neighbour adds it; a fourth piece never joins. The three then move
// sideways, one arrow each.
TEST_F(Stylus, RestGathersThreeAndMovesSideways) {
    Position(
        {{{4, 4}, PIECE_BLUE}, {{6, 4}, PIECE_BLUE}, {{8, 4}, PIECE_BLUE}, {{10, 4}, PIECE_BLUE}});
    Input(Centre(4, 4), MouseAction::kLeftDown);
    Rest(); // the first touch starts no timer
    EXPECT_FALSE(IsLifted(6, 4));
    for (int x : {6, 8, 10}) {
        Input(Centre(x, 4), MouseAction::kMove);
        Rest();
        EXPECT_EQ(IsLifted(x, 4), x != 10) << x;
    }
    const POINT pt = Centre(4, 4);
    Input({pt.x + 10, pt.y - 17}, MouseAction::kMove);
    EXPECT_EQ(Arrows().size(), 3u);
    for (int x : {4, 6, 8})
        EXPECT_EQ(ArrowAt(x, 4), 0) << x;
    Input({pt.x + 10, pt.y - 17}, MouseAction::kLeftUp);
    for (int x : {5, 7, 9})
        EXPECT_EQ(CurrentBoard().aCell[3][x].nPiece, PIECE_BLUE) << x;
    EXPECT_EQ(CurrentBoard().aCell[4][10].nPiece, PIECE_BLUE);
    EXPECT_EQ(PlayedMoveCount(), 1u);
}

// A piece added while an arrow along the line shows (by resting or by the right button)
// would make a sideways move along the line: the arrows go and lifting plays nothing.
TEST_F(Stylus, PieceAddedUnderAnArrowNeverPlaysAnIllegalMove) {
    for (bool fRightButton : {false, true}) {
        SCOPED_TRACE(fRightButton ? "right button" : "rest");
        Position({{{4, 4}, PIECE_BLUE}, {{6, 4}, PIECE_BLUE}, {{10, 4}, PIECE_RED}});
        Input(Centre(4, 4), MouseAction::kLeftDown);
        Input(Centre(6, 4), MouseAction::kMove);
        EXPECT_EQ(ArrowAt(4, 4), 1); // the pair pushes right
        if (fRightButton)
            Input(Centre(6, 4), MouseAction::kRightDown);
        else
            Rest();
        EXPECT_TRUE(IsLifted(6, 4));
        EXPECT_TRUE(Arrows().empty());
        Input(Centre(6, 4), MouseAction::kLeftUp);
        EXPECT_TRUE(BoardUnchanged());
        EXPECT_EQ(PlayedMoveCount(), 0u);
    }
}

// Cancelling drops the pieces back with no move; the lift that follows does nothing.
TEST_F(Stylus, CancelDrag) {
    Position({{{8, 4}, PIECE_BLUE}});
    const POINT pt = Centre(8, 4);
    Input(pt, MouseAction::kLeftDown);
    Input({pt.x + 20, pt.y}, MouseAction::kMove);
    EXPECT_FALSE(Arrows().empty());
    EXPECT_TRUE(CancelStylusDrag());
    EXPECT_FALSE(IsStylusDragging());
    EXPECT_TRUE(Arrows().empty());
    EXPECT_FALSE(IsLifted(8, 4));
    EXPECT_EQ(GetCapture(), nullptr);
    Input({pt.x + 20, pt.y}, MouseAction::kLeftUp);
    EXPECT_TRUE(BoardUnchanged());
    EXPECT_FALSE(CancelStylusDrag());
}

// The practice strip (filter 1): Blue only, one piece, rows refused, the move played out.
TEST_F(Stylus, PracticeStrip) {
    STRIP strip = {};
    const int anPiece[cStripCells] = {PIECE_NONE, PIECE_BLUE, PIECE_BLUE,
                                      PIECE_RED,  PIECE_NONE, PIECE_NONE};
    for (int x = 0; x < cStripCells; ++x)
        strip.aCell[x] = CELL{KIND_PLAIN, anPiece[x]};
    HWND hwnd = CreateWindowEx(0, ANIMWINDOW_CLASS, TEXT(""), WS_POPUP | WS_VISIBLE, 0, 0, 240, 60,
                               nullptr, nullptr, nullptr, nullptr);
    AnimWindow* pWindow = AnimWindow::FromHandle(hwnd);
    ASSERT_NE(pWindow, nullptr);
    pWindow->SetCallback(&Callback);
    pWindow->SetData(0, &strip);
    g_pStripDisplay = new RecordingDisplay(pWindow, &strip);
    g_pStripDisplay->RebuildPieces(strip);
    ASSERT_TRUE(AttachStylus(pWindow, g_pStripDisplay, HOOK_MOUSE));
    auto centre = [&](int x) {
        const POINT pt = g_pStripDisplay->CellOrigin(x, 0);
        return POINT{pt.x + cxCell / 2, pt.y + cyCell / 2};
    };
    // Red does not lift; up is refused; the pair pushes Red right.
    Input(centre(3), MouseAction::kLeftDown);
    EXPECT_FALSE(IsStylusDragging());
    Input(centre(3), MouseAction::kLeftUp);
    Input(centre(1), MouseAction::kLeftDown);
    EXPECT_TRUE(IsStylusDragging());
    Input({centre(1).x, centre(1).y - 20}, MouseAction::kMove);
    EXPECT_EQ(pWindow->FirstObjectOfDepth(DEPTH_ARROW), nullptr);
    Input({centre(1).x + 20, centre(1).y}, MouseAction::kMove);
    int cArrows = 0;
    for (AnimObject* p = pWindow->FirstObjectOfDepth(DEPTH_ARROW); p != nullptr; p = p->GetNext())
        ++cArrows;
    EXPECT_EQ(cArrows, 3);
    // The move plays to its end inside the handler, paced by the clock.
    SetVirtualClockAutoAdvance(true);
    Input({centre(1).x + 20, centre(1).y}, MouseAction::kLeftUp);
    SetVirtualClockAutoAdvance(false);
    EXPECT_GE(pWindow->GetFrameCounter(), pWindow->GetEndFrame());
    const int anAfter[cStripCells] = {PIECE_NONE, PIECE_NONE, PIECE_BLUE,
                                      PIECE_BLUE, PIECE_RED,  PIECE_NONE};
    for (int x = 0; x < cStripCells; ++x)
        EXPECT_EQ(strip.aCell[x].nPiece, anAfter[x]) << x;
    EXPECT_EQ(PlayedMoveCount(), 0u);
    DetachStylus(pWindow);
    DestroyWindow(hwnd);
    PumpAll();
    delete g_pStripDisplay;
    g_pStripDisplay = nullptr;
}

// A picture to look at: three Blue pieces about to push two Red ones up-right.
TEST_F(Stylus, DragScreenshot) {
    Position({{{4, 8}, PIECE_BLUE},
              {{5, 7}, PIECE_BLUE},
              {{6, 6}, PIECE_BLUE},
              {{7, 5}, PIECE_RED},
              {{8, 4}, PIECE_RED},
              {{12, 6}, PIECE_BLUE},
              {{9, 1}, PIECE_RED}});
    const POINT pt = Centre(4, 8);
    Input(pt, MouseAction::kLeftDown);
    Input({pt.x + 12, pt.y - 20}, MouseAction::kMove);
    EXPECT_EQ(Arrows().size(), 5u);
    Frames(2);
    Screenshot("kelvano-drag.png");
    Input({pt.x + 12, pt.y - 20}, MouseAction::kLeftUp);
    EXPECT_EQ(CurrentBoard().aCell[3][9].nPiece, PIECE_RED);
}

} // namespace
