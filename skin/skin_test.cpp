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

const char* const kSkinText = "skin = Test\n"
                              "transparent color = #0000FF\n"
                              "background color = #FFFFFF\n";

using SkinTest = SkinFixture;

TEST_F(SkinTest, LoadsEveryKindOfFile) {
    std::unique_ptr<SKIN> pSkin = Load(kSkinText, {{"Frame.PSP", Picture(20, 10)},
                                                   {"back.bmp", Bitmap(6, 4, 0, 255, 0)},
                                                   {"click.wav", Wave(100)},
                                                   {"readme.txt", Text("Hello\nthere")},
                                                   {"data.bin", Text("raw")}});
    EXPECT_EQ(pSkin->FileCount(), 6u);

    SKINFILE* pFrame = pSkin->FindFile("frame.psp");
    ASSERT_NE(pFrame, nullptr);
    ASSERT_NE(pFrame->pSprite, nullptr);
    EXPECT_EQ(pFrame->pSprite->GetWidth(), 20);
    EXPECT_EQ(pFrame->pSprite->GetFrame(0)->GetPaletteGroup(), pSkin->Palette());
    // Converted files hold no package bytes any more.
    EXPECT_EQ(pFrame->pEntry, nullptr);
    EXPECT_EQ(pFrame->pbData, nullptr);

    SKINFILE* pBack = pSkin->FindFile("BACK.BMP");
    ASSERT_NE(pBack, nullptr);
    ASSERT_NE(pBack->pSprite, nullptr);
    EXPECT_EQ(pBack->pSprite->GetHeight(), 4);
    EXPECT_EQ(pBack->pSprite->GetFrame(0)->GetPixelColor(1, 1) & 0xFFFFFF, 0x00FF00u);

    SKINFILE* pClick = pSkin->FindFile("click.wav");
    ASSERT_NE(pClick, nullptr);
    ASSERT_NE(pClick->pSound, nullptr);
    EXPECT_TRUE(pClick->pSound->IsLoaded());
    EXPECT_EQ(pClick->pSound->GetPlayCount(), 0);

    SKINFILE* pReadme = pSkin->FindFile("readme.txt");
    ASSERT_NE(pReadme, nullptr);
    EXPECT_STREQ(pReadme->strText.Text(), "Hello\nthere");

    SKINFILE* pData = pSkin->FindFile("data.bin");
    ASSERT_NE(pData, nullptr);
    ASSERT_EQ(pData->cbData, 3u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(pData->pbData), 3), "raw");

    EXPECT_EQ(pSkin->TransparentColor(), 0x02FF0000u);
    EXPECT_EQ(pSkin->FindFile("missing.psp"), nullptr);
}

TEST_F(SkinTest, TransparentColourIsOptional) {
    EXPECT_EQ(Load("transparent color =\n")->TransparentColor(), clrNone);
    EXPECT_EQ(Load("skin = x\n")->TransparentColor(), clrNone);
    EXPECT_EQ(Load("transparent color = #FF00FF")->TransparentColor(), 0x02FF00FFu);
}

TEST_F(SkinTest, RefusesBadPackages) {
    Bytes noText = Package({{"frame.psp", Picture(4, 4)}});
    EXPECT_EQ(Message([&] { SKIN skin(noText.data(), noText.size()); }), kszSkinNoProperties);
    EXPECT_EQ(Message([] { SKIN skin("/nonexistent/skin.zip"); }), kszSkinNoProperties);
    EXPECT_EQ(Message([] { SKIN skin(nullptr, 0); }), kszSkinNoProperties);
    const char szJunk[] = "this is not an archive at all";
    EXPECT_NE(Message([&] { SKIN skin(szJunk, sizeof(szJunk)); }), "");
}

TEST_F(SkinTest, MemoryIsReturnedOnDestroy) {
    Bytes package = Package({{"skin.txt", Text(kSkinText)},
                             {"frame.psp", Picture(8, 8)},
                             {"click.wav", Wave(10)},
                             {"a.txt", Text("a")},
                             {"b.dat", Text("b")}});
    Bytes picture = Picture(4, 4);
    auto UseAndDestroy = [&] {
        SKIN* pSkin = MemNew(SKIN, package.data(), package.size());
        ASSERT_NE(pSkin, nullptr);
        pSkin->Graphics("frame", CT_FRAME_CLOSE, "");
        pSkin->Font("Arial,-14,I");
        pSkin->AddFile("KelvanoSetup Frame.psp", picture.data(),
                       static_cast<DWORD>(picture.size()));
        pSkin->SetProperty("Font", "MS Shell Dlg,10");
        MemDelete(pSkin);
    };
    // A first round settles what the platform keeps for the process (the font engine's).
    UseAndDestroy();
    std::size_t cBlocks = mem::GetStats().cBlocksInUse;
    UseAndDestroy();
    EXPECT_EQ(mem::GetStats().cBlocksInUse, cBlocks);
    // A refused package leaves nothing behind either.
    Bytes noText = Package({{"frame.psp", Picture(4, 4)}});
    EXPECT_NE(Message([&] { SKIN skin(noText.data(), noText.size()); }), "");
    EXPECT_EQ(mem::GetStats().cBlocksInUse, cBlocks);
}

TEST_F(SkinTest, LookupPrecedence) {
    std::unique_ptr<SKIN> pSkin = Load("frame border = 1\n"
                                       "Win frame border = 2\n"
                                       "text color = #000001\n");
    PROPERTIES control;
    control.SetText("frame border", "3");
    control.SetText("Win frame border", "4");
    PROPERTIES plain;
    plain.SetText("frame border", "3");
    struct Case {
        const PROPERTIES* pControl;
        const char* pszWindow;
        const char* pszExpected;
    };
    const Case cases[] = {
        {&control, "Win", "4"},  // control, window-prefixed
        {&plain, "Win", "3"},    // control, plain
        {nullptr, "Win", "2"},   // skin, window-prefixed
        {nullptr, "Other", "1"}, // skin, plain
        {nullptr, "", "1"},
        {&control, "", "3"}, // no window: the prefixed keys are never tried
    };
    for (const Case& c : cases)
        EXPECT_STREQ(pSkin->Lookup("frame border", c.pControl, c.pszWindow).strText.Text(),
                     c.pszExpected)
            << c.pszWindow;
    const PROPERTIESVALUE& missing = pSkin->Lookup("no such key", &control, "Win");
    EXPECT_TRUE(missing.strText.IsEmpty());
    EXPECT_EQ(missing.nNumber, 0);
    // Nothing that was only tested for was added.
    EXPECT_EQ(pSkin->Properties().Count(), 3u);
    EXPECT_EQ(control.Count(), 2u);
}

TEST_F(SkinTest, WindowSettings) {
    struct Case {
        const char* pszText;
        int nLeft, nTop, nRight, nBottom, nTitlebar, nLayout;
    };
    const Case cases[] = {
        {"frame border = 20\nframe lborder = 5", 20, 20, 20, 20, 0, SKIN_TILE},
        {"FRAME XBORDER = 4\nframe tborder = 6\nframe bborder = 7", 4, 6, 4, 7, 0, SKIN_TILE},
        {"frame lborder = 1\nframe rborder = 2\nframe yborder = 3", 1, 3, 2, 3, 0, SKIN_TILE},
        {"drag by background = 1\ntitlebar height = 30", 0, 0, 0, 0, -1, SKIN_TILE},
        {"drag by background = 0\ntitlebar height = 30", 0, 0, 0, 0, 30, SKIN_TILE},
        {"background layout = CeNtEr", 0, 0, 0, 0, 0, SKIN_CENTER},
        {"background layout = stretch", 0, 0, 0, 0, 0, SKIN_STRETCH},
        {"background layout = tiles", 0, 0, 0, 0, 0, SKIN_TILE},
        {"Main frame border = 9\nframe border = 2", 9, 9, 9, 9, 0, SKIN_TILE},
    };
    for (const Case& c : cases) {
        SKINWINDOWSETTINGS s = Load(c.pszText)->WindowSettings("Main");
        EXPECT_EQ(s.nLeftBorder, c.nLeft) << c.pszText;
        EXPECT_EQ(s.nTopBorder, c.nTop) << c.pszText;
        EXPECT_EQ(s.nRightBorder, c.nRight) << c.pszText;
        EXPECT_EQ(s.nBottomBorder, c.nBottom) << c.pszText;
        EXPECT_EQ(s.nTitlebarHeight, c.nTitlebar) << c.pszText;
        EXPECT_EQ(s.nBackgroundLayout, c.nLayout) << c.pszText;
    }
    SKINWINDOWSETTINGS s = Load("background color = #102030\nframes per second = 10\n"
                                "proportional scrollbars = 1")
                               ->WindowSettings("");
    EXPECT_EQ(s.clrBackground, 0x02302010u);
    EXPECT_EQ(s.nFramesPerSecond, 10);
    EXPECT_TRUE(s.fProportionalScrollbars);
}

TEST_F(SkinTest, ControlSettingsPrefixesAndFallbacks) {
    std::unique_ptr<SKIN> pSkin = Load("font = Arial,-14,I\n"
                                       "text color = #000001\n"
                                       "selected text color = #000002\n"
                                       "selected background color = #000003\n"
                                       "disabled text color = #000004\n"
                                       "text border = 8\n"
                                       "edit font = Arial,-11,B\n"
                                       "edit selected text background color = #8DA4E8\n"
                                       "edit text layout = center\n"
                                       "edit text border = 3\n"
                                       "pbutton text lborder = 26\n"
                                       "pbutton text tborder = 5\n"
                                       "pbutton image layout = Right\n"
                                       "pbutton image xadjust = 4\n"
                                       "list text xborder = 10\n"
                                       "rbutton text color = #0000FF\n");
    struct Case {
        int nKind;
        const char* pszFont;
        Color clrText, clrSelectedBackground;
        int nLeft, nTop, nRight, nBottom, nTextLayout, nImageLayout, nXAdjust;
    };
    const Case cases[] = {
        {CT_TEXT, "Arial,-14,I", 0x02010000, 0x02030000, 8, 8, 8, 8, SKIN_LEFT, SKIN_LEFT, 0},
        {CT_EDIT, "Arial,-11,B", 0x02010000, 0x02E8A48D, 3, 3, 3, 3, SKIN_CENTER, SKIN_LEFT, 0},
        // Text borders have no unprefixed fallback.
        {CT_PBUTTON, "Arial,-14,I", 0x02010000, 0x02030000, 26, 5, 0, 0, SKIN_LEFT, SKIN_RIGHT, 4},
        {CT_LIST, "Arial,-14,I", 0x02010000, 0x02030000, 10, 0, 10, 0, SKIN_LEFT, SKIN_LEFT, 0},
        {CT_RBUTTON, "Arial,-14,I", 0x02FF0000, 0x02030000, 0, 0, 0, 0, SKIN_LEFT, SKIN_LEFT, 0},
        {CT_CBUTTON, "Arial,-14,I", 0x02010000, 0x02030000, 0, 0, 0, 0, SKIN_LEFT, SKIN_LEFT, 0},
    };
    for (const Case& c : cases) {
        SKINCONTROLSETTINGS s = pSkin->ControlSettings(c.nKind, nullptr, "");
        EXPECT_STREQ(s.strFont.Text(), c.pszFont) << c.nKind;
        EXPECT_EQ(s.clrText, c.clrText) << c.nKind;
        EXPECT_EQ(s.clrSelectedText, 0x02020000u) << c.nKind;
        EXPECT_EQ(s.clrSelectedBackground, c.clrSelectedBackground) << c.nKind;
        EXPECT_EQ(s.clrDisabledText, 0x02040000u) << c.nKind;
        EXPECT_EQ(s.nLeftBorder, c.nLeft) << c.nKind;
        EXPECT_EQ(s.nTopBorder, c.nTop) << c.nKind;
        EXPECT_EQ(s.nRightBorder, c.nRight) << c.nKind;
        EXPECT_EQ(s.nBottomBorder, c.nBottom) << c.nKind;
        EXPECT_EQ(s.nTextLayout, c.nTextLayout) << c.nKind;
        EXPECT_EQ(s.nImageLayout, c.nImageLayout) << c.nKind;
        EXPECT_EQ(s.nImageXAdjust, c.nXAdjust) << c.nKind;
    }
    // A control's own set wins over the skin, and the property set later over the skin's.
    PROPERTIES control;
    control.SetText("edit font", "Tahoma,9");
    EXPECT_STREQ(pSkin->ControlSettings(CT_EDIT, &control, "Main").strFont.Text(), "Tahoma,9");
    pSkin->SetProperty("Font", "MS Shell Dlg,10");
    EXPECT_STREQ(pSkin->ControlSettings(CT_TEXT, nullptr, "Main").strFont.Text(),
                 "MS Shell Dlg,10");
    EXPECT_STREQ(pSkin->ControlSettings(CT_EDIT, nullptr, "Main").strFont.Text(), "Arial,-11,B");
}

TEST_F(SkinTest, FontsAreMadeOncePerDescription) {
    std::unique_ptr<SKIN> pSkin = Load(kSkinText);
    host::HFONT hFont = pSkin->Font("Arial,-14,I");
    ASSERT_NE(hFont, nullptr);
    EXPECT_EQ(pSkin->Font("Arial,-14,I"), hFont);
    EXPECT_NE(pSkin->Font("Arial,-14,B"), hFont);
}

} // namespace
