// The installer's skin DEZ, read back as the installer and its windows read it.
#include "skin/skin.h"

#include "anim/cea_display.h"
#include "foundation/memmgr.h"
#include "foundation/tl_exception.h"
#include "host/debug.h"
#include "host/screen.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

const std::string kDir = KELVANO_SKINART_DIR;

std::vector<char> ReadFile(const std::string& strPath) {
    std::ifstream in(strPath, std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(in), {});
}

class DezTest : public ::testing::Test {
protected:
    void SetUp() override { StartScreen(32); }
    void TearDown() override {
        DestroyDisplay();
        host::ShutdownScreen();
    }
    void StartScreen(UINT nDepth) {
        DestroyDisplay();
        host::ShutdownScreen();
        host::ScreenOptions options;
        options.backend = host::ScreenBackendKind::kHeadless;
        options.profile = host::ScreenProfile::kDesktop;
        options.nDepth = nDepth;
        ASSERT_TRUE(host::InitScreen(options));
        ASSERT_NE(CreateDisplay(nDepth == 8), nullptr);
    }
    // As the installer loads it.
    static std::unique_ptr<SKIN> LoadFromResource() {
        return std::make_unique<SKIN>(nullptr, host::ResName(800), host::ResName("ZIP"));
    }
};

TEST_F(DezTest, LoadsFromFileMemoryAndResource) {
    std::vector<char> bytes = ReadFile(kDir + "/dez.zip");
    ASSERT_FALSE(bytes.empty());
    std::unique_ptr<SKIN> skins[] = {
        std::make_unique<SKIN>((kDir + "/dez.zip").c_str()),
        std::make_unique<SKIN>(bytes.data(), bytes.size()),
        LoadFromResource(),
    };
    for (const auto& pSkin : skins) {
        EXPECT_EQ(pSkin->FileCount(), 20u);
        EXPECT_STREQ(pSkin->Lookup("skin", nullptr, "").strText.Text(), "DEZ");
        EXPECT_EQ(pSkin->TransparentColor(), 0x02FF0000u);
        SKINFILE* pFile = pSkin->FindFile("PBUTTON.psp");
        ASSERT_NE(pFile, nullptr);
        EXPECT_NE(pFile->pSprite, nullptr);
    }
}

TEST_F(DezTest, WindowAndControlSettings) {
    std::unique_ptr<SKIN> pSkin = LoadFromResource();
    SKINWINDOWSETTINGS window = pSkin->WindowSettings("KelvanoSetup");
    EXPECT_EQ(window.nLeftBorder, 20);
    EXPECT_EQ(window.nTopBorder, 20);
    EXPECT_EQ(window.nRightBorder, 20);
    EXPECT_EQ(window.nBottomBorder, 20);
    EXPECT_EQ(window.nTitlebarHeight, -1);
    EXPECT_EQ(window.nBackgroundLayout, SKIN_TILE);
    EXPECT_EQ(window.clrBackground, 0x02FFFFFFu);
    EXPECT_EQ(window.nFramesPerSecond, 10);
    EXPECT_FALSE(window.fProportionalScrollbars);

    EXPECT_EQ(pSkin->ControlSettings(CT_TEXT, nullptr, "KelvanoSetup").clrDisabledText,
              0x02E08060u);
    SKINCONTROLSETTINGS edit = pSkin->ControlSettings(CT_EDIT, nullptr, "KelvanoSetup");
    EXPECT_EQ(edit.clrSelectedBackground, 0x02E8A48Du);
    EXPECT_EQ(edit.clrSelectedText, 0x02FFFFFFu);
    EXPECT_EQ(edit.nTextLayout, SKIN_CENTER);
    EXPECT_EQ(edit.nLeftBorder + edit.nTopBorder + edit.nRightBorder + edit.nBottomBorder, 12);
    SKINCONTROLSETTINGS button = pSkin->ControlSettings(CT_PBUTTON, nullptr, "KelvanoSetup");
    EXPECT_EQ(button.nLeftBorder, 26);
    EXPECT_EQ(button.nTopBorder, 5);
    EXPECT_EQ(pSkin->ControlSettings(CT_RBUTTON, nullptr, "").nLeftBorder, 19);
    EXPECT_EQ(pSkin->ControlSettings(CT_LIST, nullptr, "").nBottomBorder, 10);

    EXPECT_STREQ(pSkin->ControlSettings(CT_TEXT, nullptr, "KelvanoSetup").strFont.Text(),
                 "Arial,-14,I");
    pSkin->SetProperty("Font", "MS Shell Dlg,10");
    EXPECT_STREQ(pSkin->ControlSettings(CT_TEXT, nullptr, "KelvanoSetup").strFont.Text(),
                 "MS Shell Dlg,10");
    EXPECT_STREQ(pSkin->ControlSettings(CT_EDIT, nullptr, "KelvanoSetup").strFont.Text(),
                 "Arial,-11,B");
    EXPECT_NE(pSkin->Font("MS Shell Dlg,10"), nullptr);
}

TEST_F(DezTest, EveryPictureFillsItsGrid) {
    std::unique_ptr<SKIN> pSkin = LoadFromResource();
    struct Case {
        const char* pszName;
        int nKind;
    };
    const Case cases[] = {
        {"frame-c", CT_FRAME_CORNERS},
        {"frame-lr", CT_FRAME_LR},
        {"frame-tb", CT_FRAME_TB},
        {"frame-x", CT_FRAME_CLOSE},
        {"background", CT_BACKGROUND},
        {"pbutton", CT_PBUTTON},
        {"rbutton", CT_RBUTTON},
        {"cbutton", CT_CBUTTON},
        {"listitem", CT_RBUTTON},
        {"pbar", CT_PBAR},
        {"vscroll", CT_VSCROLL},
        {"hscroll", CT_HSCROLL},
        {"edit", CT_EDIT},
        {"list", CT_LIST},
        {"cursor", CT_CURSOR},
        {"icon-alert", SKIN_GRID(1, 1)},
        {"icon-info", SKIN_GRID(1, 1)},
        {"icon-question", SKIN_GRID(1, 1)},
        {"hover", CT_FRAME},
    };
    for (const Case& c : cases) {
        SKINCONTROLGRAPHICS* pGraphics = pSkin->Graphics(c.pszName, c.nKind, "KelvanoSetup");
        ASSERT_NE(pGraphics, nullptr) << c.pszName;
        Sprite* pPicture = pGraphics->Picture();
        EXPECT_EQ(pGraphics->CellWidth() * pGraphics->Columns(), pPicture->GetWidth()) << c.pszName;
        EXPECT_EQ(pGraphics->CellHeight() * pGraphics->Rows(), pPicture->GetHeight()) << c.pszName;
    }
    // The frame edges are as thick as the frame border.
    EXPECT_EQ(pSkin->Graphics("frame-lr", CT_FRAME_LR, "")->CellWidth(), 20);
    EXPECT_EQ(pSkin->Graphics("frame-tb", CT_FRAME_TB, "")->CellHeight(), 20);
    // DEZ has neither a whole-window frame nor a minimise box.
    EXPECT_EQ(pSkin->OptionalGraphics("frame", CT_FRAME, "KelvanoSetup"), nullptr);
    try {
        pSkin->Graphics("frame-min", CT_FRAME_MIN, "KelvanoSetup");
        ADD_FAILURE() << "no exception";
    } catch (const cetl::exception& e) {
        EXPECT_STREQ(e.what(), "the skin DEZ is missing the KelvanoSetup frame-min image");
    }
}

// The installer's own frame, entered under the window's name, is found first.
TEST_F(DezTest, TheInstallersFrameJoinsWithoutRunningOutOfColours) {
    StartScreen(8);
    host::DebugCapture capture;
    DWORD cBefore = PaletteGroup::OutOfColorsCount();
    std::unique_ptr<SKIN> pSkin = LoadFromResource();
    std::vector<char> frame = ReadFile(kDir + "/graphic501.psp");
    ASSERT_FALSE(frame.empty());
    Sprite* pFrame = MemNew(Sprite, frame.data(), static_cast<DWORD>(frame.size()), clrNone, 1, 1,
                            SPRITE_NO_LIMIT);
    pSkin->AddFile("KelvanoSetup Frame.psp", pFrame);
    EXPECT_EQ(PaletteGroup::OutOfColorsCount(), cBefore);
    EXPECT_EQ(capture.Text().find("Out of colors"), std::string::npos);
    SKINCONTROLGRAPHICS* pGraphics = pSkin->OptionalGraphics("frame", CT_FRAME, "KelvanoSetup");
    ASSERT_NE(pGraphics, nullptr);
    EXPECT_EQ(pGraphics->Picture(), pFrame);
    EXPECT_EQ(pFrame->GetFrame(0)->GetDepth(), 8);
}

} // namespace
