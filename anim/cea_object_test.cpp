#include "anim/cea_object.h"

#include "anim/cea_main.h"
#include "foundation/memmgr.h"
#include "host/clock.h"
#include "host/screen.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using host::RGB;

constexpr Color kBack = RGB(0, 0, 248);
constexpr Color kRed = RGB(248, 0, 0);
constexpr Color kGreen = RGB(0, 248, 0);
constexpr Color kYellow = RGB(248, 248, 0);
constexpr Color kWhite = RGB(248, 248, 248);

bool SameRect(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

void Paint(Graphic* pGraphic, int x0, int cx, int cy, Color clr) {
    for (int y = 0; y < cy; ++y)
        for (int x = x0; x < x0 + cx; ++x)
            pGraphic->SetPixelColor(x, y, clr);
}

// A headless device screen with one 240 x 294 animated window on the virtual clock.
class AnimObjectTest : public ::testing::Test {
protected:
    void SetUp() override {
        host::ScreenOptions options;
        options.backend = host::ScreenBackendKind::kHeadless;
        options.nDepth = 16;
        ASSERT_TRUE(host::InitScreen(options));
        ASSERT_EQ(AnimStartup(nullptr, 0), 1);
        InitMilliseconds();
        m_hwnd =
            host::CreateWindowEx(0, ANIMWINDOW_CLASS, TEXT(""), host::WS_POPUP | host::WS_VISIBLE,
                                 0, 0, 240, 294, nullptr, nullptr, nullptr, nullptr);
        m_pWindow = AnimWindow::FromHandle(m_hwnd);
        ASSERT_NE(m_pWindow, nullptr);
        RECT rc = {0, 0, 240, 294};
        m_pWindow->FillBackground(kBack, &rc);
        m_pWindow->Repaint();
    }
    void TearDown() override {
        host::DestroyWindow(m_hwnd); // destroys the objects still attached
        for (Sprite* pSprite : m_sprites)
            MemDelete(pSprite);
        for (Graphic* pGraphic : m_graphics)
            MemDelete(pGraphic);
        AnimShutdown();
        host::ShutdownScreen();
    }

    Graphic* Solid(int cx, int cy, Color clr) {
        Graphic* pGraphic = MemNew(Graphic, cx, cy, 0);
        Paint(pGraphic, 0, cx, cy, clr);
        m_graphics.push_back(pGraphic);
        return pGraphic;
    }
    // Frames of cx x cy in the given colours, side by side in one source.
    Sprite* Frames(int cx, int cy, std::vector<Color> colours) {
        int cFrames = static_cast<int>(colours.size());
        Graphic* pSource = MemNew(Graphic, cx * cFrames, cy, 0);
        for (int i = 0; i < cFrames; ++i)
            Paint(pSource, i * cx, cx, cy, colours[i]);
        m_graphics.push_back(pSource);
        Sprite* pSprite = MemNew(Sprite, pSource, cFrames, 1, SPRITE_NO_LIMIT);
        m_sprites.insert(m_sprites.begin(), pSprite);
        return pSprite;
    }
    AnimWindow::PaintCounters Since(const AnimWindow::PaintCounters& before) const {
        const AnimWindow::PaintCounters& now = m_pWindow->GetPaintCounters();
        return {now.cPaints - before.cPaints, now.cScenePixels - before.cScenePixels,
                now.cFramePixels - before.cFramePixels, now.cScreenPixels - before.cScreenPixels};
    }
    static Color Shown(int x, int y) { return host::GetScreenPixel(x, y); }

    host::VirtualClockScope m_clock;
    HWND m_hwnd = nullptr;
    AnimWindow* m_pWindow = nullptr;
    std::vector<Graphic*> m_graphics;
    std::vector<Sprite*> m_sprites;
};

TEST_F(AnimObjectTest, MovingInvalidatesOldAndNewRectanglesAtTheObjectsLevel) {
    AnimObject* pObject = MemNew(AnimObject, m_pWindow, Solid(10, 10, kRed), 5);
    m_pWindow->Repaint();
    ASSERT_EQ(Shown(5, 5), kRed);

    // Dynamic: only the frame is recomposed, over the old and the new rectangle.
    AnimWindow::PaintCounters before = m_pWindow->GetPaintCounters();
    pObject->SetPosition(30, 0);
    m_pWindow->Repaint();
    AnimWindow::PaintCounters delta = Since(before);
    EXPECT_EQ(delta.cScenePixels, 0u);
    EXPECT_EQ(delta.cFramePixels, 200u);
    EXPECT_EQ(delta.cScreenPixels, 200u);
    EXPECT_EQ(Shown(5, 5), kBack);
    EXPECT_EQ(Shown(35, 5), kRed);

    // Static: a new picture of another size goes through the scene for both rectangles.
    pObject->SetFlags(OBJF_STATIC);
    m_pWindow->Repaint();
    before = m_pWindow->GetPaintCounters();
    pObject->SetGraphic(Solid(20, 10, kGreen), 1);
    m_pWindow->Repaint();
    delta = Since(before);
    EXPECT_EQ(delta.cScenePixels, 200u);
    EXPECT_EQ(delta.cFramePixels, 200u);
    EXPECT_EQ(Shown(45, 5), kGreen);
}

TEST_F(AnimObjectTest, StaticObjectIgnoresEveryMove) {
    struct Case {
        const char* pszName;
        void (*pfnMove)(AnimObject*);
        RECT rcAfterRelease;
    };
    const Case cases[] = {
        {"SetRect",
         [](AnimObject* p) {
             RECT rc = {1, 2, 3, 4};
             p->SetRect(&rc);
         },
         {1, 2, 3, 4}},
        {"SetPosition", [](AnimObject* p) { p->SetPosition(50, 60); }, {50, 60, 58, 68}},
        {"SetSize", [](AnimObject* p) { p->SetSize(3, 4); }, {10, 10, 13, 14}},
        {"SetWidth", [](AnimObject* p) { p->SetWidth(3); }, {10, 10, 13, 18}},
        {"SetHeight", [](AnimObject* p) { p->SetHeight(4); }, {10, 10, 18, 14}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszName);
        AnimObject* pObject = MemNew(AnimObject, m_pWindow, Solid(8, 8, kRed), 5);
        pObject->SetPosition(10, 10);
        pObject->SetFlags(OBJF_STATIC | 0x100);
        m_pWindow->Repaint();
        AnimWindow::PaintCounters before = m_pWindow->GetPaintCounters();
        c.pfnMove(pObject);
        m_pWindow->Repaint();
        RECT rc;
        pObject->GetRect(&rc);
        EXPECT_TRUE(SameRect(rc, RECT{10, 10, 18, 18}));
        EXPECT_EQ(Since(before).cFramePixels, 0u);
        EXPECT_EQ(pObject->SetRect(&rc), 1);

        pObject->SetFlags(0x100);
        c.pfnMove(pObject);
        pObject->GetRect(&rc);
        EXPECT_TRUE(SameRect(rc, c.rcAfterRelease));
        MemDelete(pObject);
    }
}

TEST_F(AnimObjectTest, PictureSizesTheObjectFromItsCorner) {
    Sprite* pSprite = Frames(32, 32, {kRed});
    AnimObject* pObject = MemNew(AnimObject, m_pWindow, Solid(5, 5, kGreen), 5);
    pObject->SetPosition(10, 10);
    pObject->SetSprite(pSprite, 1);
    RECT rc;
    pObject->GetRect(&rc);
    EXPECT_TRUE(SameRect(rc, RECT{10, 10, 42, 42}));
    EXPECT_TRUE(pObject->IsAutomatic());
    m_pWindow->Repaint();
    EXPECT_EQ(Shown(41, 41), kRed); // the sprite wins over the graphic

    // No picture: the rectangle stays and nothing is drawn by the object.
    pObject->SetSprite(nullptr, 1);
    pObject->SetGraphic(nullptr, 1);
    EXPECT_FALSE(pObject->IsAutomatic());
    pObject->GetRect(&rc);
    EXPECT_TRUE(SameRect(rc, RECT{10, 10, 42, 42}));
    m_pWindow->Repaint();
    EXPECT_EQ(Shown(41, 41), kBack);
}

TEST_F(AnimObjectTest, AutomaticSpriteShowsTheFrameCounterModuloItsFrames) {
    const Color colours[] = {kRed, kGreen, kYellow, kWhite};
    AnimObject* pObject =
        MemNew(AnimObject, m_pWindow, Frames(8, 8, {kRed, kGreen, kYellow, kWhite}), 5);
    pObject->SetPosition(100, 100);
    m_pWindow->Repaint();
    for (int i = 0; i < 9; ++i) {
        AnimWindow::PaintCounters before = m_pWindow->GetPaintCounters();
        m_pWindow->Step();
        EXPECT_EQ(Since(before).cScreenPixels, 64u) << "frame " << i;
        EXPECT_EQ(Shown(103, 103), colours[m_pWindow->GetFrameCounter() % 4]) << "frame " << i;
    }
}

TEST_F(AnimObjectTest, SingleFrameSpriteIsNotRedrawnEveryFrame) {
    MemNew(AnimObject, m_pWindow, Frames(8, 8, {kRed}), 5);
    m_pWindow->Repaint();
    AnimWindow::PaintCounters before = m_pWindow->GetPaintCounters();
    m_pWindow->Step();
    EXPECT_EQ(Since(before).cScreenPixels, 0u);
}

TEST_F(AnimObjectTest, OrderingTakesTheDepthOfItsNeighbour) {
    AnimObject* pFront = MemNew(AnimObject, m_pWindow, Solid(20, 20, kRed), 3);
    AnimObject* pBack = MemNew(AnimObject, m_pWindow, Solid(20, 20, kGreen), 7);
    AnimObject* pMoved = MemNew(AnimObject, m_pWindow, Solid(20, 20, kYellow), 5);

    pMoved->BringToFront();
    EXPECT_EQ(pMoved->GetDepth(), 3);
    EXPECT_EQ(m_pWindow->NextObject(nullptr), pMoved);
    m_pWindow->Repaint();
    EXPECT_EQ(Shown(10, 10), kYellow);

    pMoved->SendToBack();
    EXPECT_EQ(pMoved->GetDepth(), 7);
    EXPECT_EQ(m_pWindow->PreviousObject(nullptr), pMoved);
    m_pWindow->Repaint();
    EXPECT_EQ(Shown(10, 10), kRed);

    pMoved->PlaceInFront(pBack);
    EXPECT_EQ(pMoved->GetDepth(), 7);
    EXPECT_EQ(m_pWindow->NextObject(pMoved), pBack);
    pMoved->PlaceBehind(pFront);
    EXPECT_EQ(pMoved->GetDepth(), 3);
    EXPECT_EQ(m_pWindow->NextObject(pFront), pMoved);
    pMoved->PlaceInFront(nullptr);
    EXPECT_EQ(m_pWindow->NextObject(nullptr), pMoved);

    pFront->SetDepth(9);
    EXPECT_EQ(m_pWindow->PreviousObject(nullptr), pFront);
}

TEST_F(AnimObjectTest, LoneObjectBroughtToFrontFormsDepth100) {
    AnimObject* pObject = MemNew(AnimObject, m_pWindow, Solid(4, 4, kRed), 5);
    pObject->BringToFront();
    EXPECT_EQ(pObject->GetDepth(), 100);
    EXPECT_EQ(m_pWindow->FirstObjectOfDepth(100), pObject);
}

struct ProcLog {
    std::vector<UINT> messages;
    int iDeleteOn = -1; // message on which the procedure deletes its object
    AnimObject* pAlsoDelete = nullptr;
};

int LoggingProc(AnimObject* pObject, UINT uMsg, LPARAM lParam) {
    auto* pLog = static_cast<ProcLog*>(pObject->GetData(0));
    if (pLog == nullptr) return 1;
    pLog->messages.push_back(uMsg);
    if (uMsg == OBJMSG_DRAW) {
        const auto* pRecord = reinterpret_cast<const DRAWRECORD*>(lParam);
        pObject->DrawPicture(pRecord, nullptr);
    }
    if (static_cast<int>(uMsg) == pLog->iDeleteOn) {
        if (pLog->pAlsoDelete != nullptr) MemDelete(pLog->pAlsoDelete);
        MemDelete(pObject);
    }
    return 1;
}

TEST_F(AnimObjectTest, ProcedureGetsItsMessagesAndDrawsWithTheHelpers) {
    ProcLog log;
    AnimObject* pObject = MemNew(AnimObject, m_pWindow, &LoggingProc, 5);
    EXPECT_FALSE(pObject->IsAutomatic());
    pObject->SetData(0, &log);
    pObject->SetGraphic(Solid(6, 6, kGreen), 0);
    pObject->SetPosition(20, 20);
    m_pWindow->Step();
    EXPECT_EQ(Shown(25, 25), kGreen);
    pObject->Destroy();
    EXPECT_EQ(log.messages, (std::vector<UINT>{OBJMSG_UPDATE, OBJMSG_DRAW, OBJMSG_DESTROY}));
    EXPECT_EQ(pObject->GetWindow(), nullptr);
    EXPECT_EQ(pObject->GetData(0), nullptr);
    m_pWindow->Repaint();
    EXPECT_EQ(Shown(25, 25), kBack);
    MemDelete(pObject); // no second destroy message
    EXPECT_EQ(log.messages.size(), 3u);
}

// Draws the sprite kept in data slot 0 through the helper.
int SpriteFrameProc(AnimObject* pObject, UINT uMsg, LPARAM lParam) {
    if (uMsg == OBJMSG_DRAW)
        pObject->DrawSpriteFrame(reinterpret_cast<const DRAWRECORD*>(lParam),
                                 static_cast<Sprite*>(pObject->GetData(0)));
    return 1;
}

TEST_F(AnimObjectTest, ProcedureDrawsTheSpritesCurrentFrameAtItsPlace) {
    const Color colours[] = {kRed, kGreen, kYellow};
    Sprite* pSprite = Frames(8, 8, {kRed, kGreen, kYellow});
    for (DWORD i = 0; i < 3; ++i)
        pSprite->GetFrame(i)->SetPixelColor(1, 2, kWhite); // shows where the frame lands
    AnimObject* pObject = MemNew(AnimObject, m_pWindow, &SpriteFrameProc, 5);
    pObject->SetData(0, pSprite);
    RECT rc = {50, 60, 58, 68};
    pObject->SetRect(&rc);
    for (int i = 0; i < 4; ++i) {
        m_pWindow->Step();
        pObject->Invalidate(); // not automatic: the frame change alone does not redraw it
        m_pWindow->Repaint();
        const Color clr = colours[m_pWindow->GetFrameCounter() % 3];
        EXPECT_EQ(Shown(50, 60), clr) << "frame " << i;
        EXPECT_EQ(Shown(57, 67), clr) << "frame " << i;
        EXPECT_EQ(Shown(51, 62), kWhite) << "frame " << i;
        EXPECT_EQ(Shown(49, 60), kBack) << "frame " << i;
        EXPECT_EQ(Shown(58, 67), kBack) << "frame " << i;
    }
}

TEST_F(AnimObjectTest, DataSlotsGrowOnDemand) {
    AnimObject* pObject = MemNew(AnimObject, m_pWindow, Solid(4, 4, kRed), 5);
    int a = 0, b = 0;
    pObject->SetData(9, &a);
    pObject->SetData(2, &b);
    pObject->SetData(0xFFFFFFFF, &a);
    EXPECT_EQ(pObject->GetData(9), &a);
    EXPECT_EQ(pObject->GetData(2), &b);
    EXPECT_EQ(pObject->GetData(3), nullptr);
    EXPECT_EQ(pObject->GetData(12), nullptr);
    EXPECT_EQ(pObject->GetData(0xFFFFFFFF), nullptr);
}

// A procedure may delete its own object (and others) from any message; run under ASan.
TEST_F(AnimObjectTest, ProcedureDeletesItsOwnObject) {
    struct Case {
        const char* pszName;
        UINT uDeleteOn;
        bool fAlsoNext;
        std::vector<UINT> messages; // deleting sends the destroy message once
    };
    const Case cases[] = {
        {"update", OBJMSG_UPDATE, false, {OBJMSG_UPDATE, OBJMSG_DESTROY}},
        {"update, with the next object", OBJMSG_UPDATE, true, {OBJMSG_UPDATE, OBJMSG_DESTROY}},
        {"draw", OBJMSG_DRAW, false, {OBJMSG_UPDATE, OBJMSG_DRAW, OBJMSG_DESTROY}},
        {"destroy", OBJMSG_DESTROY, false, {OBJMSG_DESTROY}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszName);
        ProcLog log;
        log.iDeleteOn = static_cast<int>(c.uDeleteOn);
        AnimObject* pObject = MemNew(AnimObject, m_pWindow, &LoggingProc, 5);
        pObject->SetData(0, &log);
        pObject->SetGraphic(Solid(6, 6, kGreen), 0);
        AnimObject* pNext = MemNew(AnimObject, m_pWindow, Solid(6, 6, kRed), 5);
        AnimObject* pLast = MemNew(AnimObject, m_pWindow, Solid(6, 6, kYellow), 5);
        pNext->SetPosition(10, 0);
        pLast->SetPosition(20, 0);
        if (c.fAlsoNext) log.pAlsoDelete = pNext;
        m_pWindow->ScheduleObject(m_pWindow->GetFrameCounter() + 1, pObject, nullptr, nullptr);

        if (c.uDeleteOn == OBJMSG_DESTROY)
            pObject->Destroy();
        else
            m_pWindow->Step();
        EXPECT_EQ(log.messages, c.messages);
        EXPECT_NE(m_pWindow->NextObject(nullptr), pObject);
        m_pWindow->Step(); // the timeline entry went with the object
        m_pWindow->Repaint();
        // An object gone while being drawn has been drawn once more; the next paint
        // takes it off the screen.
        EXPECT_EQ(Shown(2, 2), kBack);
        EXPECT_EQ(Shown(12, 2), c.fAlsoNext ? kBack : kRed);
        EXPECT_EQ(Shown(22, 2), kYellow);
        if (!c.fAlsoNext) MemDelete(pNext);
        MemDelete(pLast);
        EXPECT_EQ(m_pWindow->NextObject(nullptr), nullptr);
    }
}

TEST_F(AnimObjectTest, MovingToAnotherWindowTakesTheObjectAlong) {
    HWND hwndOther =
        host::CreateWindowEx(0, ANIMWINDOW_CLASS, TEXT(""), host::WS_POPUP | host::WS_VISIBLE, 0, 0,
                             50, 50, nullptr, nullptr, nullptr, nullptr);
    AnimWindow* pOther = AnimWindow::FromHandle(hwndOther);
    ASSERT_NE(pOther, nullptr);
    AnimObject* pObject = MemNew(AnimObject, m_pWindow, Solid(4, 4, kRed), 5);
    RECT rc = {30, 30, 34, 34};
    m_pWindow->ScheduleObject(m_pWindow->GetFrameCounter(), pObject, nullptr, &rc);
    pObject->MoveToWindow(pOther);
    EXPECT_EQ(pObject->GetWindow(), pOther);
    EXPECT_EQ(m_pWindow->NextObject(nullptr), nullptr);
    EXPECT_EQ(pOther->NextObject(nullptr), pObject);
    host::DestroyWindow(hwndOther); // deletes the object
    m_pWindow->Step();              // its entry on the first window is gone too
    EXPECT_EQ(m_pWindow->NextObject(nullptr), nullptr);
}

} // namespace
