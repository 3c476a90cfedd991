#include "anim/cea_sprite.h"

#include "foundation/memmgr.h"
#include "host/debug.h"
#include "host/rect.h"
#include "tools/pspwriter/pspwriter.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

size_t Count(const std::string& text, const std::string& what) {
    size_t c = 0;
    for (size_t i = text.find(what); i != std::string::npos; i = text.find(what, i + 1))
        ++c;
    return c;
}

std::string Hex(const void* pv) {
    char sz[32];
    std::snprintf(sz, sizeof(sz), "0x%08lX", (unsigned long)(uintptr_t)pv);
    return sz;
}

RECT RectInParent(const Graphic* pFrame) {
    RECT rc = {};
    pFrame->GetRectInParent(&rc);
    return rc;
}

// Three layers of 8 x 6 pixels; each layer's pixels hold its number.
std::vector<uint8_t> LayeredImage(int cLayers) {
    pspwriter::PspImage image;
    image.cx = 8;
    image.cy = 6;
    image.nDepth = 8;
    image.compression = pspwriter::Compression::RunLength;
    image.palette.assign(256, {10, 20, 30});
    for (int i = 0; i < cLayers; ++i) {
        pspwriter::PspLayer layer;
        layer.pixels.assign(48, static_cast<uint8_t>(i + 1));
        image.layers.push_back(layer);
    }
    std::vector<uint8_t> bytes;
    EXPECT_TRUE(pspwriter::WritePsp(image, &bytes));
    return bytes;
}

TEST(Sprite, SplitsAGrid) {
    struct Case {
        int cx, cy, cColumns, cRows, cLimit;
        DWORD cFrames;
        int cxFrame, cyFrame;
        DWORD iProbe;
        LONG xProbe, yProbe;
    } cases[] = {
        {64, 32, 2, 1, SPRITE_NO_LIMIT, 2, 32, 32, 1, 32, 0},
        {128, 64, 4, 2, SPRITE_NO_LIMIT, 8, 32, 32, 5, 32, 32},
        {100, 10, SPRITE_SIZE(20), 1, SPRITE_NO_LIMIT, 5, 20, 10, 4, 80, 0},
        {100, 10, SPRITE_SIZE(20), 1, 3, 3, 20, 10, 2, 40, 0},
        {100, 30, SPRITE_SIZE(30), SPRITE_SIZE(15), SPRITE_NO_LIMIT, 6, 30, 15, 4, 30, 15},
        {10, 10, 0, 0, SPRITE_NO_LIMIT, 1, 10, 10, 0, 0, 0}, // 0 counts as 1
        {10, 10, 3, 1, 0, 0, 3, 10, 0, 0, 0},                // limit 0 keeps nothing
        {10, 10, SPRITE_SIZE(11), 1, SPRITE_NO_LIMIT, 0, 11, 10, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.cx << "x" << c.cy << " " << c.cColumns << "," << c.cRows);
        Graphic source(c.cx, c.cy, 24);
        Sprite sprite(&source, c.cColumns, c.cRows, c.cLimit);
        ASSERT_EQ(sprite.GetFrameCount(), c.cFrames);
        EXPECT_EQ(sprite.GetFrame(c.cFrames), nullptr);
        EXPECT_EQ(sprite.GetSource(), &source);
        if (c.cFrames == 0) {
            EXPECT_EQ(sprite.GetWidth(), 0);
            continue;
        }
        EXPECT_EQ(sprite.GetWidth(), c.cxFrame);
        EXPECT_EQ(sprite.GetHeight(), c.cyFrame);
        Graphic* pProbe = sprite.GetFrame(c.iProbe);
        ASSERT_NE(pProbe, nullptr);
        EXPECT_EQ(pProbe->GetParent(), &source);
        RECT rc = RectInParent(pProbe);
        EXPECT_EQ(rc.left, c.xProbe);
        EXPECT_EQ(rc.top, c.yProbe);
        EXPECT_EQ(rc.right - rc.left, c.cxFrame);
        EXPECT_EQ(rc.bottom - rc.top, c.cyFrame);
        // Frames run left to right, then top to bottom, each inside the source and none
        // overlapping another.
        const RECT rcSource = {0, 0, c.cx, c.cy};
        for (DWORD i = 0; i < sprite.GetFrameCount(); ++i) {
            RECT b = RectInParent(sprite.GetFrame(i));
            EXPECT_TRUE(host::rect::Covers(rcSource, b)) << i;
            if (i == 0) continue;
            RECT a = RectInParent(sprite.GetFrame(i - 1));
            EXPECT_TRUE(b.top > a.top || (b.top == a.top && b.left > a.left)) << i;
            for (DWORD j = 0; j < i; ++j)
                EXPECT_FALSE(host::rect::Overlaps(RectInParent(sprite.GetFrame(j)), b)) << j << i;
        }
    }
}

TEST(Sprite, LayeredImageKeepsItsFramesAndWarnsAboutSplitting) {
    std::vector<uint8_t> bytes = LayeredImage(3);
    for (int cColumns : {1, 2}) {
        host::DebugCapture capture;
        Sprite sprite(bytes.data(), static_cast<DWORD>(bytes.size()), clrNone, cColumns, 1,
                      SPRITE_NO_LIMIT);
        ASSERT_EQ(sprite.GetFrameCount(), 3u) << cColumns;
        for (DWORD i = 0; i < 3; ++i) {
            EXPECT_EQ(sprite.GetFrame(i)->GetWidth(), 8);
            EXPECT_EQ(sprite.GetFrame(i)->GetPixelValue(7, 5), i + 1);
        }
        std::string warning = "Warning: constructing sprite " + Hex(&sprite) +
                              " by splitting already-animated file: you have to do that yourself";
        EXPECT_EQ(Count(capture.Text(), warning), cColumns == 1 ? 0u : 1u) << capture.Text();
    }
}

TEST(Sprite, SingleLayerImageIsSplit) {
    std::vector<uint8_t> bytes = LayeredImage(1);
    Sprite sprite(bytes.data(), static_cast<DWORD>(bytes.size()), clrNone, 4, 2, SPRITE_NO_LIMIT);
    ASSERT_EQ(sprite.GetFrameCount(), 8u);
    EXPECT_EQ(sprite.GetWidth(), 2);
    EXPECT_EQ(sprite.GetHeight(), 3);
    EXPECT_EQ(sprite.GetFrame(7)->GetParent(), sprite.GetSource());
}

TEST(Sprite, UnreadableSourceGivesNoFrames) {
    const BYTE junk[] = {1, 2, 3};
    Sprite sprite(junk, sizeof(junk), clrNone, 2, 2, SPRITE_NO_LIMIT);
    EXPECT_EQ(sprite.GetFrameCount(), 0u);
    EXPECT_EQ(sprite.GetFrame(0), nullptr);
    EXPECT_EQ(sprite.GetFrameFor(nullptr), nullptr);
    RECT rc = {1, 1, 1, 1};
    sprite.GetRect(&rc);
    EXPECT_EQ(rc.right, 0);
    EXPECT_EQ(sprite.GetWidth(), 0);
}

TEST(Sprite, ChildTakesTheRectangleOfEveryFrame) {
    std::vector<uint8_t> bytes = LayeredImage(3);
    Sprite parent(bytes.data(), static_cast<DWORD>(bytes.size()), clrNone, 1, 1, SPRITE_NO_LIMIT);
    RECT rc = {2, 1, 5, 4};
    Sprite child(&parent, &rc);
    EXPECT_TRUE(child.IsChild());
    EXPECT_FALSE(parent.IsChild());
    EXPECT_EQ(child.GetParent(), &parent);
    EXPECT_EQ(parent.GetParent(), nullptr);
    ASSERT_EQ(child.GetFrameCount(), 3u);
    for (DWORD i = 0; i < 3; ++i) {
        EXPECT_EQ(child.GetFrame(i)->GetParent(), parent.GetFrame(i));
        EXPECT_EQ(child.GetFrame(i)->GetPixelValue(0, 0), i + 1);
    }
    RECT rcGot;
    child.GetRectInParent(&rcGot);
    EXPECT_EQ(rcGot.left, 2);
    EXPECT_EQ(rcGot.bottom, 4);
    child.GetRect(&rcGot);
    EXPECT_EQ(rcGot.right, 3);
    parent.GetRectInParent(&rcGot);
    EXPECT_EQ(rcGot.right, 8);
}

TEST(Sprite, ParentFreesRegisteredChildrenOnce) {
    std::vector<uint8_t> bytes = LayeredImage(2);
    size_t cBlocks = mem::GetStats().cBlocksInUse;
    host::DebugCapture capture;
    Sprite* pParent = MemNew(Sprite, bytes.data(), static_cast<DWORD>(bytes.size()), clrNone, 1, 1,
                             SPRITE_NO_LIMIT);
    RECT rc = {0, 0, 4, 4};
    // The first child leaves again: its slot is reused, and it is not freed twice.
    Sprite* pGone = MemNew(Sprite, pParent, &rc);
    MemDelete(pGone);
    Sprite* pChild = MemNew(Sprite, pParent, &rc);
    Sprite* pGrandChild = MemNew(Sprite, pChild, &rc);
    MemDelete(pParent);
    EXPECT_EQ(mem::GetStats().cBlocksInUse, cBlocks);
    std::string text = capture.Text();
    EXPECT_EQ(Count(text, "Warning: freeing child sprite " + Hex(pChild) + " when parent " +
                              Hex(pParent) + " destroyed"),
              1u)
        << text;
    EXPECT_EQ(Count(text, "Warning: freeing child sprite " + Hex(pGrandChild) + " when parent " +
                              Hex(pChild) + " destroyed"),
              1u);
    EXPECT_EQ(Count(text, "Warning: freeing child sprite"), 2u);
    EXPECT_EQ(Count(text, "child graphic"), 0u) << text;
}

TEST(Sprite, DestroyTwiceIsHarmless) {
    std::vector<uint8_t> bytes = LayeredImage(2);
    Sprite sprite(bytes.data(), static_cast<DWORD>(bytes.size()), clrNone, 1, 1, SPRITE_NO_LIMIT);
    sprite.Destroy();
    EXPECT_EQ(sprite.GetFrameCount(), 0u);
    EXPECT_EQ(sprite.GetSource(), nullptr);
    sprite.Destroy();
}

} // namespace
