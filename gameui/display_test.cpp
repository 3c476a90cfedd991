#include "gameui/display.h"

#include "anim/cea_main.h"
#include "anim/cea_object.h"
#include "foundation/memmgr.h"
#include "game/board.h"
#include "game/game.h"
#include "game/rules.h"
#include "game/settings.h"
#include "gameui/sounds.h"
#include "host/clock.h"
#include "host/gdi.h"
#include "host/screen.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <vector>

namespace {

using host::COLORREF;
using host::POINT;
using host::RECT;

// A timeline event or a sound as the test saw it, with the frame it happened on.
struct Seen {
    LONG iFrame;
    int nWhat; // event code, or +id for a sound start, -id for a stop
    LONG nParam;
    bool operator==(const Seen&) const = default;
};

class RecordingDisplay : public BoardDisplay {
public:
    using BoardDisplay::BoardDisplay;
    std::vector<Seen> sounds;

protected:
    void StartSound(int idWave) override {
        sounds.push_back({GetWindow()->GetFrameCounter(), idWave, 0});
    }
    void StopSound(int idWave) override {
        sounds.push_back({GetWindow()->GetFrameCounter(), -idWave, 0});
    }
};

RecordingDisplay* g_pDisplay = nullptr;
std::vector<Seen> g_events;

int Callback(AnimWindow* pWindow, int nEvent, LPARAM lParam1, LPARAM lParam2) {
    if (nEvent != ANIMEVENT_TIMELINE || g_pDisplay == nullptr) return 1;
    g_events.push_back(
        {pWindow->GetFrameCounter(), static_cast<int>(lParam1), static_cast<LONG>(lParam2)});
    return g_pDisplay->OnTimelineEvent(lParam1, lParam2);
}

// The shipped layout: cells 24 pixels apart, rows 21 apart and shifted by 12.
LAYOUT ShippedLayout() {
    LAYOUT layout = {};
    for (int k = 0; k < 6; ++k)
        layout.rgptButton[k] = {6 + 39 * k, 4};
    layout.ptStatus = {0, 36};
    for (int y = 0; y < 9; ++y) {
        for (int x = 0; x < 17; ++x) {
            if (IsCellPosition(x, y)) layout.rgptCell[y][x] = {14 + 12 * x, 64 + 21 * y};
        }
    }
    const int rgxLost[12] = {5, 22, 39, 56, 73, 90, 125, 142, 159, 176, 193, 210};
    for (int k = 0; k < 12; ++k)
        layout.rgptLost[k] = {rgxLost[k], 267};
    layout.rgptTray[0] = {4, 277};
    layout.rgptTray[1] = {124, 277};
    return layout;
}

class DisplayTest : public ::testing::Test {
protected:
    void SetUp() override {
        host::ScreenOptions options;
        options.backend = host::ScreenBackendKind::kHeadless;
        options.nDepth = 16;
        ASSERT_TRUE(host::InitScreen(options));
        ASSERT_EQ(AnimStartup(nullptr, 0), 1);
        g_settings = DefaultSettings();
        g_game = GAMESTATE{1, WINNER_NONE, 0};
        m_art.layout = ShippedLayout();
        for (int i = 0; i < cCellFrames; ++i)
            m_art.rgpCell[i] = Solid(cxCell, cyCell, CellColor(i));
        for (auto& colour : m_art.rgpPiece) {
            for (Graphic*& pFrame : colour)
                pFrame = Solid(cxCell, cyCell, host::RGB(200, 200, 200));
        }
        // Falling frames shrink, as the real ones do.
        for (auto& colour : m_art.rgpPiece) {
            colour[PIECE_FALL1] = Solid(17, 17, host::RGB(160, 160, 160));
            colour[PIECE_FALL2] = Solid(11, 11, host::RGB(120, 120, 120));
            colour[PIECE_FALL3] = Solid(5, 5, host::RGB(80, 80, 80));
        }
        for (auto& image : m_art.rgpStatus) {
            for (Graphic*& pFrame : image)
                pFrame = Solid(cxStatus, cyStatus, 0);
        }
        m_art.pTray = Solid(cxTray, cyTray, host::RGB(0, 248, 0));
        for (Graphic*& p : m_art.rgpRippleLarge)
            p = Solid(64, 64, 0);
        for (Graphic*& p : m_art.rgpRippleSmall)
            p = Solid(32, 32, 0);

        m_hwnd =
            host::CreateWindowEx(0, ANIMWINDOW_CLASS, TEXT(""), host::WS_POPUP | host::WS_VISIBLE,
                                 0, 0, 240, 294, nullptr, nullptr, nullptr, nullptr);
        m_pWindow = AnimWindow::FromHandle(m_hwnd);
        ASSERT_NE(m_pWindow, nullptr);
        m_pWindow->SetFrameRate(30);
        m_pWindow->SetCallback(&Callback);
        m_pDisplay = new RecordingDisplay(m_pWindow, nullptr, &m_art);
        g_pDisplay = m_pDisplay;
        g_events.clear();
        SetUpLayout(&m_board, LAYOUT_CLASSIC);
    }
    void TearDown() override {
        g_pDisplay = nullptr;
        delete m_pDisplay;
        if (host::IsWindow(m_hwnd)) host::DestroyWindow(m_hwnd);
        for (Graphic* pGraphic : m_graphics)
            MemDelete(pGraphic);
        AnimShutdown();
        host::ShutdownScreen();
    }

    static COLORREF CellColor(int nKind) { return host::RGB(40 * nKind + 8, 0, 96); }

    Graphic* Solid(int cx, int cy, COLORREF clr) {
        Graphic* pGraphic = MemNew(Graphic, cx, cy, 0);
        m_graphics.push_back(pGraphic);
        host::HDC hdc = pGraphic->GetDC();
        host::HBRUSH hbr = host::CreateSolidBrush(clr);
        RECT rc = {0, 0, cx, cy};
        host::FillRect(hdc, &rc, hbr);
        host::DeleteObject(hbr);
        pGraphic->ReleaseDC();
        return pGraphic;
    }

    void Place(std::initializer_list<std::pair<POINT, int>> pieces) {
        for (auto [pt, nPiece] : pieces)
            m_board.aCell[pt.y][pt.x].nPiece = nPiece;
        m_pDisplay->RebuildBoard(m_board);
    }

    LONG SerialAt(int x, int y) {
        AnimObject* p = m_pDisplay->PieceAtCell(x, y);
        return p != nullptr
                   ? static_cast<LONG>(reinterpret_cast<intptr_t>(p->GetData(PIECEDATA_SERIAL)))
                   : 0;
    }

    std::vector<Seen> EventsWithCode(int nCode) {
        std::vector<Seen> out;
        for (const Seen& seen : g_events) {
            if (seen.nWhat == nCode) out.push_back(seen);
        }
        return out;
    }

    host::VirtualClockScope m_clock;
    GAMEGRAPHICS m_art = {};
    std::vector<Graphic*> m_graphics;
    HWND m_hwnd = nullptr;
    AnimWindow* m_pWindow = nullptr;
    RecordingDisplay* m_pDisplay = nullptr;
    BOARD m_board = {};
};

TEST_F(DisplayTest, CellOriginsAndExtrapolation) {
    struct Case {
        int x, y;
        POINT pt;
    };
    const Case cases[] = {
        {8, 4, {110, 148}}, {4, 0, {62, 64}},  {18, 4, {230, 148}}, {-2, 4, {-10, 148}},
        {3, -1, {50, 43}},  {3, 9, {50, 253}}, {14, 8, {182, 232}}, {13, 9, {170, 253}},
    };
    for (const Case& c : cases) {
        POINT pt = m_pDisplay->CellOrigin(c.x, c.y);
        EXPECT_EQ(pt.x, c.pt.x) << c.x << "," << c.y;
        EXPECT_EQ(pt.y, c.pt.y) << c.x << "," << c.y;
    }
    // A strip in any other window is centred: 168 x 23 in 200 x 100.
    HWND hwnd = host::CreateWindowEx(0, ANIMWINDOW_CLASS, TEXT(""), host::WS_POPUP, 0, 0, 200, 100,
                                     nullptr, nullptr, nullptr, nullptr);
    STRIP strip = {};
    BoardDisplay stripDisplay(AnimWindow::FromHandle(hwnd), &strip, &m_art);
    POINT pt = stripDisplay.CellOrigin(2, 0);
    EXPECT_EQ(pt.x, 16 + 58);
    EXPECT_EQ(pt.y, 38);
    host::DestroyWindow(hwnd);
}

TEST_F(DisplayTest, GlideRectanglesFrameByFrame) {
    struct Case {
        bool fAnimate;
        std::vector<int> offsets; // left - 110 at frames 0, 1, ...; the last is the target
    };
    const Case cases[] = {
        {true, {0, 0, 0, 1, 2, 4, 6, 9, 12, 14, 17, 19, 21, 22, 23, 24}},
        {false, {1, 1, 12, 24}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fAnimate);
        g_settings.fAnimate = c.fAnimate;
        Place({{{8, 4}, PIECE_BLUE}});
        g_events.clear();
        const LONG nStart = m_pWindow->GetFrameCounter();
        AnimObject* pPiece = m_pDisplay->PieceAtCell(8, 4);
        const int n = static_cast<int>(c.offsets.size()) - 1;
        EXPECT_EQ(m_pDisplay->GlidePiece(8, 4, 1, PIECE_BLUE, -1), nStart + n + 1);
        EXPECT_EQ(m_pDisplay->PieceAtCell(10, 4), pPiece); // found at its destination at once
        for (int i = 0; i <= n; ++i) {
            m_pWindow->Advance(nStart + i);
            RECT rc;
            pPiece->GetRect(&rc);
            EXPECT_EQ(rc.left, 110 + c.offsets[i]) << "frame " << i;
            EXPECT_EQ(rc.top, 148);
            EXPECT_EQ(rc.right - rc.left, cxCell);
        }
        EXPECT_EQ(m_pDisplay->GetRollingCount(PIECE_BLUE), 1);
        m_pWindow->Advance(nStart + n + 1);
        EXPECT_EQ(m_pDisplay->GetRollingCount(PIECE_BLUE), 0);
        const LONG nSerial = SerialAt(10, 4);
        EXPECT_EQ(g_events, (std::vector<Seen>{{nStart, DISPLAYEVENT_GLIDEBLUE, nSerial},
                                               {nStart + n + 1, DISPLAYEVENT_GLIDEEND, nSerial}}));
    }
}

// A three-piece Blue line pushes two Red pieces: the rear piece starts first and each piece
// ahead 3 frames later, or all on one frame without animation.
TEST_F(DisplayTest, InlinePushCascades) {
    for (bool fAnimate : {true, false}) {
        SCOPED_TRACE(fAnimate);
        g_settings.fAnimate = fAnimate;
        SetUpLayout(&m_board, LAYOUT_CLASSIC);
        Place({{{4, 4}, PIECE_BLUE},
               {{6, 4}, PIECE_BLUE},
               {{8, 4}, PIECE_BLUE},
               {{10, 4}, PIECE_RED},
               {{12, 4}, PIECE_RED}});
        std::vector<LONG> serials;
        for (int x = 4; x <= 12; x += 2)
            serials.push_back(SerialAt(x, 4));
        g_events.clear();
        const LONG nStart = m_pWindow->GetFrameCounter();
        ApplyMove(&m_board, MOVE{4, 4, 1, 0, 0, 0, 0}, true, m_pDisplay);
        m_pWindow->Advance(-1);
        std::map<LONG, LONG> starts;
        for (int nCode : {DISPLAYEVENT_GLIDEBLUE, DISPLAYEVENT_GLIDEBLUE + 1}) {
            for (const Seen& seen : EventsWithCode(nCode))
                starts[seen.nParam] = seen.iFrame;
        }
        const int nDelay = fAnimate ? 3 : 0;
        for (int k = 0; k < 5; ++k)
            EXPECT_EQ(starts[serials[k]], nStart + nDelay * k) << k;
        EXPECT_EQ(EventsWithCode(DISPLAYEVENT_GLIDEEND + 1).back().iFrame,
                  nStart + nDelay * 4 + (fAnimate ? 16 : 4));
        for (int x = 6; x <= 14; x += 2)
            EXPECT_NE(m_pDisplay->PieceAtCell(x, 4), nullptr) << x;
        m_board = {};
    }
}

TEST_F(DisplayTest, PushedOffPieceDropsSixFramesAfterTheGlides) {
    Place({{{12, 4}, PIECE_BLUE}, {{14, 4}, PIECE_BLUE}, {{16, 4}, PIECE_RED}});
    const LONG nSerial = SerialAt(16, 4);
    const LONG nStart = m_pWindow->GetFrameCounter();
    ApplyMove(&m_board, MOVE{12, 4, 1, 0, 0, 0, 0}, true, m_pDisplay);
    const LONG nGlidesEnd = nStart + 6 + 16; // the front piece starts 6 frames late
    m_pWindow->Advance(nGlidesEnd + 5);
    AnimObject* pFalling = m_pDisplay->PieceAtCell(18, 4);
    ASSERT_NE(pFalling, nullptr);
    RECT rc;
    pFalling->GetRect(&rc);
    EXPECT_EQ(rc.right - rc.left, 5); // the smallest ball, centred on the off-board cell
    EXPECT_EQ((rc.left + rc.right) / 2, 230 + 11);
    m_pWindow->Advance(nGlidesEnd + 6);
    EXPECT_EQ(m_pDisplay->PieceAtCell(18, 4), nullptr);
    const std::vector<Seen> falls = EventsWithCode(DISPLAYEVENT_FALL);
    ASSERT_EQ(falls.size(), 4u);
    EXPECT_EQ(falls.back(), (Seen{nGlidesEnd + 6, DISPLAYEVENT_FALL, nSerial}));
    EXPECT_EQ(m_pDisplay->sounds.back(), (Seen{nGlidesEnd + 6, SOUND_DROP, 0}));
}

TEST_F(DisplayTest, BreakShowsTheHole) {
    Place(
        {{{6, 4}, PIECE_BLUE}, {{8, 4}, PIECE_BLUE}, {{10, 4}, PIECE_RED}, {{12, 4}, PIECE_BLUE}});
    ApplyMove(&m_board, MOVE{6, 4, 1, 0, 0, 0, 0}, true, m_pDisplay);
    EXPECT_EQ(m_pDisplay->sounds.back().nWhat, WAVE_BREAK);
    m_pWindow->Advance(-1);
    EXPECT_EQ(m_pDisplay->PieceAtCell(10, 4), nullptr);
    host::HDC hdc = host::GetDC(nullptr);
    EXPECT_EQ(host::GetPixel(hdc, 134 + 11, 148 + 12),
              host::GetNearestColor(hdc, CellColor(KIND_HOLE)));
    EXPECT_EQ(host::GetPixel(hdc, 158 + 11, 148 + 12),
              host::GetNearestColor(hdc, host::RGB(200, 200, 200))); // the Blue piece beyond
    host::ReleaseDC(nullptr, hdc);
}

TEST_F(DisplayTest, LostPieceMarkers) {
    struct Case {
        int cLostBlue, cLostRed;
        GAMESTATE game;
        std::vector<std::pair<int, int>> markers; // lost-piece position, colour shown
    };
    const Case cases[] = {
        {2, 1, {1, WINNER_NONE, 0}, {{0, PIECE_RED}, {6, PIECE_BLUE}, {7, PIECE_BLUE}}},
        {1, 0, {0, PLAYER_BLUE, REASON_GREEN}, {{6, PIECE_GREEN}}},
        {0, 2, {0, PLAYER_BLUE, REASON_GREEN}, {{0, PIECE_RED}, {1, PIECE_RED}}},
        {3,
         2,
         {0, PLAYER_RED, REASON_GREEN},
         {{0, PIECE_GREEN}, {1, PIECE_RED}, {6, PIECE_BLUE}, {7, PIECE_BLUE}, {8, PIECE_BLUE}}},
        {6,
         0,
         {0, PLAYER_RED, REASON_LOST},
         {{6, PIECE_BLUE},
          {7, PIECE_BLUE},
          {8, PIECE_BLUE},
          {9, PIECE_BLUE},
          {10, PIECE_BLUE},
          {11, PIECE_BLUE}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.cLostBlue * 10 + c.cLostRed);
        // Markers left from the case before must be brought to this one's.
        BOARD board;
        SetUpLayout(&board, LAYOUT_CLASSIC);
        int rgcPlace[2] = {cStartPieces - c.cLostBlue, cStartPieces - c.cLostRed};
        for (int y = 0; y < 9; ++y) {
            for (int x = 0; x < 17; ++x) {
                if (!IsCellPosition(x, y)) continue;
                const int nSide = y < 4 ? PIECE_BLUE : PIECE_RED;
                if (rgcPlace[nSide] > 0) {
                    board.aCell[y][x].nPiece = nSide;
                    rgcPlace[nSide]--;
                }
            }
        }
        g_game = c.game;
        m_pDisplay->RefreshTrays(board);
        std::vector<std::pair<int, int>> seen;
        for (AnimObject* p = m_pWindow->FirstObjectOfDepth(DEPTH_MARKER); p != nullptr;
             p = p->GetNext()) {
            RECT rc;
            p->GetRect(&rc);
            int iPos = -1;
            for (int k = 0; k < 12; ++k) {
                if (m_art.layout.rgptLost[k].x == rc.left && rc.top == 267) iPos = k;
            }
            int nShown = -1;
            for (int col = 0; col < 3; ++col) {
                if (p->GetGraphic() == m_art.rgpPiece[col][PIECE_RESTING]) nShown = col;
            }
            EXPECT_EQ(rc.right - rc.left, 23);
            seen.push_back({iPos, nShown});
        }
        std::sort(seen.begin(), seen.end());
        EXPECT_EQ(seen, c.markers);
    }
}

TEST_F(DisplayTest, OverlappingBlueGlidesRollOnce) {
    Place({{{4, 4}, PIECE_BLUE}, {{4, 6}, PIECE_BLUE}, {{8, 0}, PIECE_RED}});
    m_pDisplay->sounds.clear();
    const LONG nStart = m_pWindow->GetFrameCounter();
    m_pDisplay->GlidePiece(4, 4, 1, PIECE_BLUE, nStart);
    m_pDisplay->GlidePiece(4, 6, 1, PIECE_BLUE, nStart + 5);
    m_pWindow->Advance(-1);
    EXPECT_EQ(m_pDisplay->sounds, (std::vector<Seen>{{nStart, SOUND_ROLL_BLUE, 0},
                                                     {nStart + 5 + 16, -SOUND_ROLL_BLUE, 0}}));
    // Without sound nothing starts, and nothing is left to stop wrongly.
    g_settings.fSound = 0;
    m_pDisplay->sounds.clear();
    m_pDisplay->GlidePiece(6, 4, 1, PIECE_BLUE, -1);
    m_pWindow->Advance(-1);
    EXPECT_EQ(m_pDisplay->sounds,
              (std::vector<Seen>{{m_pWindow->GetFrameCounter() - 1, -SOUND_ROLL_BLUE, 0}}));
}

// A new game (or Undo, Redo) while a push and its fall are under way.
TEST_F(DisplayTest, RebuildDuringCascadeLeavesNoPendingPieceEvent) {
    Place({{{12, 4}, PIECE_BLUE}, {{14, 4}, PIECE_BLUE}, {{16, 4}, PIECE_RED}});
    const LONG nStart = m_pWindow->GetFrameCounter();
    ApplyMove(&m_board, MOVE{12, 4, 1, 0, 0, 0, 0}, true, m_pDisplay);
    m_pWindow->Advance(nStart + 8);
    EXPECT_EQ(m_pDisplay->GetRollingCount(PIECE_BLUE), 2);
    EXPECT_EQ(m_pDisplay->GetRollingCount(PIECE_RED), 1);

    BOARD fresh;
    SetUpLayout(&fresh, LAYOUT_CLASSIC);
    PlacePieces(&fresh, LAYOUT_CLASSIC);
    m_pDisplay->sounds.clear();
    g_events.clear();
    m_pDisplay->RebuildPieces(fresh);
    EXPECT_EQ(m_pDisplay->GetRollingCount(PIECE_BLUE), 0);
    EXPECT_EQ(m_pDisplay->GetRollingCount(PIECE_RED), 0);
    EXPECT_EQ(m_pDisplay->sounds, (std::vector<Seen>{{nStart + 9, -SOUND_ROLL_BLUE, 0},
                                                     {nStart + 9, -SOUND_ROLL_RED, 0}}));
    m_pWindow->Advance(nStart + 40);
    EXPECT_TRUE(g_events.empty());
    // Every piece rests on its cell.
    for (AnimObject* p = m_pWindow->FirstObjectOfDepth(DEPTH_PIECE); p != nullptr;
         p = p->GetNext()) {
        const int x = static_cast<int>(reinterpret_cast<intptr_t>(p->GetData(PIECEDATA_X)));
        const int y = static_cast<int>(reinterpret_cast<intptr_t>(p->GetData(PIECEDATA_Y)));
        RECT rc;
        p->GetRect(&rc);
        EXPECT_EQ(rc.left, 14 + 12 * x);
        EXPECT_EQ(rc.top, 64 + 21 * y);
    }
}

TEST_F(DisplayTest, RipplesKeepTheirBandsAndCounts) {
    std::srand(7);
    for (int i = 0; i < 6; ++i) {
        m_pDisplay->AddRipple(true);
        m_pDisplay->AddRipple(false);
    }
    EXPECT_EQ(m_pDisplay->GetLiveRipples(true), 4);
    EXPECT_EQ(m_pDisplay->GetLiveRipples(false), 3);
    for (AnimObject* p = m_pWindow->FirstObjectOfDepth(DEPTH_RIPPLE); p != nullptr;
         p = p->GetNext()) {
        RECT rc;
        p->GetRect(&rc);
        const bool fLarge = rc.right - rc.left == 64;
        EXPECT_GE(rc.bottom, fLarge ? 43 : 36);
        EXPECT_LT(rc.bottom, fLarge ? 294 : 54);
        EXPECT_EQ(p->GetGraphic(), nullptr); // frame 0 is never shown
    }
    // Frames 1 to 7 at most 3 frames each, then gone.
    std::vector<Graphic*> shown;
    AnimObject* pFirst = m_pWindow->FirstObjectOfDepth(DEPTH_RIPPLE);
    for (int i = 0;
         i < 7 * 3 + 2 && m_pDisplay->GetLiveRipples(true) + m_pDisplay->GetLiveRipples(false) > 0;
         ++i) {
        m_pWindow->Step();
        if (m_pWindow->FirstObjectOfDepth(DEPTH_RIPPLE) == pFirst && pFirst != nullptr &&
            (shown.empty() || shown.back() != pFirst->GetGraphic()))
            shown.push_back(pFirst->GetGraphic());
    }
    EXPECT_EQ(m_pDisplay->GetLiveRipples(true), 0);
    EXPECT_EQ(m_pDisplay->GetLiveRipples(false), 0);
    EXPECT_EQ(m_pWindow->FirstObjectOfDepth(DEPTH_RIPPLE), nullptr);
    ASSERT_FALSE(shown.empty());
    EXPECT_TRUE(shown.front() == m_art.rgpRippleLarge[1] ||
                shown.front() == m_art.rgpRippleSmall[1]);
}

int g_iHeld = -1;

TEST_F(DisplayTest, StatusLineFollowsTheHeldButton) {
    m_pDisplay->SetHeldButtonQuery([] { return g_iHeld; });
    const std::pair<int, int> steps[] = {{-1, STATUS_BLUE}, {2, 6 + 2}, {-1, STATUS_BLUE}};
    for (auto [iHeld, iImage] : steps) {
        g_iHeld = iHeld;
        m_pDisplay->RefreshStatus(STATUS_BLUE);
        AnimObject* pStatus = m_pWindow->FirstObjectOfDepth(DEPTH_STATUS);
        ASSERT_NE(pStatus, nullptr);
        EXPECT_EQ(pStatus->GetGraphic(), m_art.rgpStatus[iImage][0]) << iHeld;
        RECT rc;
        pStatus->GetRect(&rc);
        EXPECT_EQ(rc.top, 36);
    }
}

} // namespace
