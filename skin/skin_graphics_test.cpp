#include "skin/skin.h"

#include "anim/cea_display.h"
#include "foundation/memmgr.h"
#include "foundation/tl_exception.h"
#include "host/screen.h"
#include "skin/skin_test_fixture.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

namespace {

using namespace skintest;

class SkinGraphicsTest : public SkinFixture {
protected:
    static std::unique_ptr<SKIN> Load(Files files) {
        return SkinFixture::Load("skin = DEZ\ntransparent color = #0000FF", std::move(files));
    }
};

TEST_F(SkinGraphicsTest, GridsByKind) {
    struct Case {
        int nKind;
        int cColumns, cRows;
    };
    const Case cases[] = {
        {0, 1, 1},
        {1, 2, 2},
        {2, 2, 1},
        {3, 1, 2},
        {4, 1, 3},
        {5, 1, 3},
        {6, 1, 1},
        {7, 3, 4},
        {8, 2, 4},
        {9, 2, 4},
        {10, 4, 1},
        {11, 3, 3},
        {12, 4, 4},
        {13, 4, 4},
        {15, 3, 3},
        {16, 1, 1},
        {17, 3, 3},
        {SKIN_GRID(1, 1), 1, 1},
        {static_cast<int>(0x80010001u), 1, 1},
        {SKIN_GRID(6, 2), 6, 2},
    };
    Files files;
    for (std::size_t i = 0; i < std::size(cases); ++i)
        files.push_back({"k" + std::to_string(i) + ".psp", Picture(25, 13)});
    std::unique_ptr<SKIN> pSkin = Load(files);
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        SKINCONTROLGRAPHICS* pGraphics =
            pSkin->Graphics(("k" + std::to_string(i)).c_str(), c.nKind, "");
        ASSERT_NE(pGraphics, nullptr) << c.nKind;
        EXPECT_EQ(pGraphics->Columns(), c.cColumns) << c.nKind;
        EXPECT_EQ(pGraphics->Rows(), c.cRows) << c.nKind;
        // Integer division: the odd pixels at the right and bottom belong to no cell.
        EXPECT_EQ(pGraphics->CellWidth(), 25 / c.cColumns) << c.nKind;
        EXPECT_EQ(pGraphics->CellHeight(), 13 / c.cRows) << c.nKind;
        Sprite* pLast = pGraphics->Cell(c.cColumns - 1, c.cRows - 1);
        ASSERT_NE(pLast, nullptr);
        EXPECT_EQ(pLast, pGraphics->Cell(c.cColumns * c.cRows - 1));
        RECT rc;
        pLast->GetRectInParent(&rc);
        EXPECT_EQ(rc.left, (c.cColumns - 1) * (25 / c.cColumns)) << c.nKind;
        EXPECT_EQ(rc.bottom, c.cRows * (13 / c.cRows)) << c.nKind;
        EXPECT_EQ(pGraphics->Cell(c.cColumns * c.cRows), nullptr);
    }
}

TEST_F(SkinGraphicsTest, KindsWithoutAGridAreRefused) {
    const int kinds[] = {
        CT_USER, 18, 1000, SKIN_GRID(0, 3), SKIN_GRID(3, 0), static_cast<int>(0x80000000u)};
    for (int nKind : kinds) {
        std::unique_ptr<SKIN> pSkin = Load({{"pic.psp", Picture(12, 12)}});
        EXPECT_EQ(Message([&] { pSkin->Graphics("pic", nKind, ""); }), kszSkinUnknownControlType)
            << nKind;
    }
    // A picture smaller than its grid, and one that could not be read, give no empty cells.
    std::unique_ptr<SKIN> pSkin =
        Load({{"small.psp", Picture(2, 3)}, {"broken.psp", Text("not a picture")}});
    EXPECT_EQ(Message([&] { pSkin->Graphics("small", CT_PBUTTON, ""); }),
              kszSkinUnknownControlType);
    EXPECT_EQ(Message([&] { pSkin->Graphics("small", SKIN_GRID(1, 4), ""); }),
              kszSkinUnknownControlType);
    EXPECT_EQ(Message([&] { pSkin->Graphics("broken", CT_FRAME, ""); }), kszSkinUnknownControlType);
    // A failed cut is not cached: the right grid still works.
    EXPECT_NE(pSkin->Graphics("small", CT_FRAME_LR, ""), nullptr);
}

TEST_F(SkinGraphicsTest, MissingPictures) {
    std::unique_ptr<SKIN> pSkin = Load({{"frame-c.psp", Picture(4, 4)}});
    EXPECT_EQ(Message([&] { pSkin->Graphics("pbutton", CT_PBUTTON, "KelvanoSetup"); }),
              "the skin DEZ is missing the KelvanoSetup pbutton image");
    EXPECT_EQ(pSkin->Graphics("text", CT_TEXT, "KelvanoSetup"), nullptr);
    EXPECT_EQ(pSkin->Graphics("icon-info", static_cast<int>(0x80010001u), "Message"), nullptr);
    // A window may go without a whole-window frame.
    EXPECT_EQ(pSkin->OptionalGraphics("frame", CT_FRAME, "KelvanoSetup"), nullptr);
    EXPECT_NE(pSkin->OptionalGraphics("frame-c", CT_FRAME_CORNERS, "KelvanoSetup"), nullptr);
}

TEST_F(SkinGraphicsTest, WindowPicturesComeFirst) {
    std::unique_ptr<SKIN> pSkin = Load({{"frame.psp", Picture(8, 8)},
                                        {"KelvanoSetup Frame.psp", Picture(16, 8)},
                                        {"Message frame.bmp", Bitmap(12, 8, 0, 0, 0)},
                                        {"icon.bmp", Bitmap(5, 5, 0, 0, 0)}});
    struct Case {
        const char* pszName;
        const char* pszWindow;
        int cx;
    };
    const Case cases[] = {
        {"frame", "KelvanoSetup", 16},
        {"frame", "kelvanosetup", 16},
        {"frame", "Message", 12},
        {"frame", "Other", 8},
        {"frame", "", 8},
        {"icon", "KelvanoSetup", 5},
    };
    for (const Case& c : cases) {
        SKINCONTROLGRAPHICS* pGraphics = pSkin->Graphics(c.pszName, CT_FRAME, c.pszWindow);
        ASSERT_NE(pGraphics, nullptr) << c.pszWindow;
        EXPECT_EQ(pGraphics->CellWidth(), c.cx) << c.pszWindow;
    }
}

TEST_F(SkinGraphicsTest, TheFirstKindFixesTheGrid) {
    std::unique_ptr<SKIN> pSkin = Load({{"pbar.psp", Picture(16, 4)}});
    SKINCONTROLGRAPHICS* pGraphics = pSkin->Graphics("pbar", CT_PBAR, "");
    EXPECT_EQ(pSkin->Graphics("pbar", CT_FRAME, "Main"), pGraphics);
    EXPECT_EQ(pGraphics->Columns(), 4);
    EXPECT_EQ(pGraphics->Kind(), CT_PBAR);
}

TEST_F(SkinGraphicsTest, AddedPicturesReplaceByName) {
    std::unique_ptr<SKIN> pSkin = Load({{"frame.psp", Picture(8, 8)}});
    Bytes picture = Picture(30, 10);
    Sprite* pSprite = MemNew(Sprite, picture.data(), static_cast<DWORD>(picture.size()), clrNone, 1,
                             1, SPRITE_NO_LIMIT);
    SKINFILE* pFile = pSkin->AddFile("KelvanoSetup Frame.psp", pSprite);
    EXPECT_EQ(pSkin->FindFile("kelvanosetup frame.PSP"), pFile);
    SKINCONTROLGRAPHICS* pGraphics = pSkin->Graphics("frame", CT_FRAME, "KelvanoSetup");
    EXPECT_EQ(pGraphics->Picture(), pSprite);
    EXPECT_EQ(pSprite->GetFrame(0)->GetPaletteGroup(), pSkin->Palette());

    Bytes smaller = Picture(20, 10);
    pSkin->AddFile("KelvanoSetup Frame.psp", smaller.data(), static_cast<DWORD>(smaller.size()));
    EXPECT_EQ(pSkin->Graphics("frame", CT_FRAME, "KelvanoSetup")->CellWidth(), 20);
    EXPECT_EQ(pSkin->FileCount(), 3u);
}

// Pure blue, read from the skin as the palette-relative 0x02FF0000, is see-through both
// through the framework's drawing and through a colour-keyed blit of the platform.
TEST_F(SkinGraphicsTest, PureBlueDrawsSeeThrough) {
    std::unique_ptr<SKIN> pSkin = Load({{"button.psp", Picture(8, 4, kBlue, kBlack)}});
    SKINCONTROLGRAPHICS* pGraphics = pSkin->Graphics("button", CT_FRAME_LR, "");
    Graphic* pLeft = pGraphics->Cell(0)->GetFrame(0);  // all black
    Graphic* pRight = pGraphics->Cell(1)->GetFrame(0); // all blue
    ASSERT_EQ(pGraphics->CellWidth(), 4);

    Graphic target(8, 4, 32);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 8; ++x)
            target.SetPixelColor(x, y, host::RGB(255, 255, 255));
    pLeft->DrawTo(&target, 0, 0, 0, 0, cxToEdge, cxToEdge);
    pRight->DrawTo(&target, 4, 0, 0, 0, cxToEdge, cxToEdge);
    EXPECT_EQ(target.GetPixelColor(1, 1) & 0xFFFFFF, 0x000000u);
    EXPECT_EQ(target.GetPixelColor(5, 1) & 0xFFFFFF, 0xFFFFFFu);

    // A 32-bit pixel's top byte is no part of its colour.
    Graphic marked(2, 1, 32);
    marked.SetPixelValue(0, 0, 0xFF0000FF);
    marked.SetPixelValue(1, 0, 0xFF00FF00);
    marked.SetTransparency(pSkin->TransparentColor());
    Graphic white(2, 1, 32);
    white.SetPixelColor(0, 0, host::RGB(255, 255, 255));
    marked.DrawTo(&white, 0, 0, 0, 0, cxToEdge, cxToEdge);
    EXPECT_EQ(white.GetPixelColor(0, 0) & 0xFFFFFF, 0xFFFFFFu);
    EXPECT_EQ(white.GetPixelColor(1, 0) & 0xFFFFFF, 0x00FF00u);

    // The platform's colour key, given the skin's colour as it is.
    Graphic source(4, 1, 32);
    source.SetPixelColor(0, 0, host::RGB(0, 0, 255));
    source.SetPixelColor(1, 0, host::RGB(255, 0, 0));
    Graphic dest(4, 1, 32);
    host::HDC hdcSource = source.GetDC();
    host::HDC hdcDest = dest.GetDC();
    host::TransparentBlt(hdcDest, 0, 0, 2, 1, hdcSource, 0, 0, 2, 1, pSkin->TransparentColor());
    source.ReleaseDC();
    dest.ReleaseDC();
    EXPECT_EQ(dest.GetPixelColor(0, 0) & 0xFFFFFF, 0x000000u);
    EXPECT_EQ(dest.GetPixelColor(1, 0) & 0xFFFFFF, 0x0000FFu);
}

} // namespace
