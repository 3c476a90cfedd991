// LoadGraphics on the game's own pictures, and loads that fail part-way.
#include "gameui/graphics.h"

#include "foundation/memmgr.h"
#include "foundation/tl_language.h"
#include "gameui/layout_test_support.h"
#include "host/resource.h"
#include "tests/support/temp_registry.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <vector>

namespace {

struct Frame {
    const Graphic* pGraphic;
    int cx, cy;
};

// Every table entry with the size it must have.
std::vector<Frame> AllFrames(const GAMEGRAPHICS& g) {
    std::vector<Frame> frames = {{g.pBoard, 240, 294}, {g.pTray, cxTray, cyTray}};
    for (const Graphic* p : g.rgpArrow)
        frames.push_back({p, cxArrow, cyArrow});
    for (const Graphic* p : g.rgpCell)
        frames.push_back({p, cxCell, cyCell});
    for (const auto& color : g.rgpPiece)
        for (const Graphic* p : color)
            frames.push_back({p, cxCell, cyCell});
    for (const auto& image : g.rgpStatus)
        for (const Graphic* p : image)
            frames.push_back({p, cxStatus, cyStatus});
    for (const auto& button : g.rgpButton)
        for (const auto& language : button)
            for (const Graphic* p : language)
                frames.push_back({p, cxButton, cyButton});
    for (const Graphic* p : g.rgpRippleLarge)
        frames.push_back({p, cxRippleLarge, cyRippleLarge});
    for (const Graphic* p : g.rgpRippleSmall)
        frames.push_back({p, cxRippleSmall, cyRippleSmall});
    return frames;
}

void ExpectEmpty(const GAMEGRAPHICS& g) {
    EXPECT_FALSE(AreGraphicsLoaded());
    EXPECT_EQ(g.pPalette, nullptr);
    for (const Frame& f : AllFrames(g))
        EXPECT_EQ(f.pGraphic, nullptr);
    EXPECT_EQ(g.layout.ptStatus.y, 0);
}

class GameGraphicsTest : public testing::Test {
protected:
    void TearDown() override {
        FreeGraphics();
        cetl::ResetLanguage();
    }
    testsupport::TempRegistry registry_{"gameui-graphics"};
};

TEST_F(GameGraphicsTest, LoadsEveryFrameFromTheGamesPictures) {
    const std::size_t cBlocks = mem::GetStats().cBlocksInUse;
    ASSERT_TRUE(LoadGraphics(nullptr));
    const GAMEGRAPHICS& g = GameGraphics();
    ASSERT_NE(g.pPalette, nullptr);
    EXPECT_FALSE(g.pPalette->IsOpen());
    for (const Frame& f : AllFrames(g)) {
        ASSERT_NE(f.pGraphic, nullptr);
        EXPECT_EQ(f.pGraphic->GetWidth(), f.cx);
        EXPECT_EQ(f.pGraphic->GetHeight(), f.cy);
        EXPECT_EQ(f.pGraphic->GetPaletteGroup(), g.pPalette);
        EXPECT_EQ(f.pGraphic->GetDepth(), 8);
        EXPECT_EQ(f.pGraphic->IsTransparent(), f.pGraphic != g.pBoard);
    }
    // Frames run left to right, then down: the last piece frame of green is the bottom-right
    // one of the 5 x 4 sheet, the Esperanto lit form of the last button the last of 4 x 6.
    RECT rc;
    g.rgpPiece[2][PIECE_FALL3]->GetRectInParent(&rc);
    EXPECT_TRUE(rc.left == 92 && rc.top == 69 && rc.right == 115 && rc.bottom == 92);
    g.rgpButton[5][1][1]->GetRectInParent(&rc);
    EXPECT_TRUE(rc.left == 96 && rc.top == 105);
    g.rgpStatus[11][1]->GetRectInParent(&rc);
    EXPECT_EQ(rc.top, 23 * cyStatus);

    gameui_test::ExpectShipped(GameLayout());
    // The board is black throughout once its markers are painted over.
    for (int y = 0; y < g.pBoard->GetHeight(); ++y)
        for (int x = 0; x < g.pBoard->GetWidth(); ++x)
            if (g.pBoard->GetPixelColor(x, y) != host::RGB(0, 0, 0))
                FAIL() << "not black at " << x << "," << y;

    EXPECT_FALSE(LoadGraphics(nullptr)) << "loaded twice";
    EXPECT_TRUE(AreGraphicsLoaded());
    FreeGraphics();
    ExpectEmpty(GameGraphics());
    EXPECT_EQ(mem::GetStats().cBlocksInUse, cBlocks);
}

// A load that fails leaves nothing behind, and freeing afterwards (twice) is harmless.
TEST_F(GameGraphicsTest, FailedLoadFreesEverything) {
    void* lib = dlopen(PARTIAL_TESTLIB, RTLD_NOW);
    ASSERT_NE(lib, nullptr) << dlerror();
    void* libEmpty = dlopen(PACKED_TESTLIB, RTLD_NOW);
    ASSERT_NE(libEmpty, nullptr) << dlerror();
    const struct {
        const char* name;
        host::HMODULE hModule;
    } cases[] = {
        {"last sheet too small for its frames", host::GetModuleFromLibrary(lib)},
        {"a board without markers, no other pictures", host::GetModuleFromLibrary(libEmpty)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_NE(c.hModule, nullptr);
        const std::size_t cBlocks = mem::GetStats().cBlocksInUse;
        EXPECT_FALSE(LoadGraphics(c.hModule));
        ExpectEmpty(GameGraphics());
        EXPECT_EQ(mem::GetStats().cBlocksInUse, cBlocks);
        FreeGraphics();
        FreeGraphics();
        ExpectEmpty(GameGraphics());
    }
    // The same state loads the real pictures afterwards.
    EXPECT_TRUE(LoadGraphics(nullptr));
    dlclose(libEmpty);
    dlclose(lib);
}

} // namespace
