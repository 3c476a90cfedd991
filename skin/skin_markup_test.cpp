// The markup drawer: tags read, styles drawn as the host draws the same run in the same font,
// lines laid out (measured through link rectangles), the hand cursor over a link in a
// skinned window, and a screenshot with the installer's skin.
#include "skin/skin_markup.h"

#include "skin/skin_test_fixture.h"
#include "skin/skin_test_skin.h"
#include "skin/skin_window_fixture.h"

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using namespace skintest;

constexpr Color kPaper = 0x00FFFFFF;
constexpr const char* kszBase = "Arial,-14";

TEST(SkinMarkupTag, ReadsEachKindAndRefusesWhatIsText) {
    struct Case {
        const char* psz;
        int cch; // 0: no tag
        int nKind;
        const char* pszTarget;
        const char* pszFont;
        Color clr;
    };
    const Case cases[] = {
        {"<a href=mailto:x@y>us", 19, SMT_LINK, "mailto:x@y", "", 0},
        {"<A HREF=\"a b\">", 14, SMT_LINK, "a b", "", 0},
        {"<b>x", 3, SMT_BOLD, "", "", 0},
        {"<B>", 3, SMT_BOLD, "", "", 0},
        {"<i>", 3, SMT_ITALIC, "", "", 0},
        {"<I>", 3, SMT_ITALIC, "", "", 0},
        {"<u>", 3, SMT_UNDERLINE, "", "", 0},
        {"<U>", 3, SMT_UNDERLINE, "", "", 0},
        {"<font face=arial>", 17, SMT_FONT, "", ",arial", 0},
        {"<FONT FACE=\"Times New Roman\">", 29, SMT_FONT, "", ",Times New Roman", 0},
        {"<font size=18>", 14, SMT_FONT, "", ",18", 0},
        {"<font face=arial size=18>", 25, SMT_FONT, "", ",arial,18", 0},
        {"<font color=#FF0000>", 20, SMT_COLOR, "", "", 0x020000FF},
        {"<font Color=\"#00ff00\">", 22, SMT_COLOR, "", "", 0x0200FF00},
        {"<font size=9 color=#0000FF face=x>", 34, SMT_FONTCOLOR, "", ",9,x", 0x02FF0000},
        {"<font>", 6, SMT_FONT, "", "", 0},             // pushes the style unchanged
        {"<font size=big>", 15, SMT_FONT, "", "", 0},   // not a size
        {"<font size=-1000>", 17, SMT_FONT, "", "", 0}, // nor is a huge one
        {"<font size=-999>", 16, SMT_FONT, "", ",-999", 0},
        {"</b>", 4, SMT_CLOSE, "", "", 0},
        {"</FONT >", 8, SMT_CLOSE, "", "", 0},
        {"</>", 3, SMT_CLOSE, "", "", 0},
        // Text.
        {"<x>", 0, 0, "", "", 0},
        {"< b>", 0, 0, "", "", 0},
        {"<bold>", 0, 0, "", "", 0},
        {"<b", 0, 0, "", "", 0},
        {"</b\n>", 0, 0, "", "", 0},
        {"<a href=x", 0, 0, "", "", 0},
        {"<a href=\"x>", 0, 0, "", "", 0},
        {"<ahref=x>", 0, 0, "", "", 0},
        {"<fontsize=9>", 0, 0, "", "", 0},
        {"<font face=\"x>", 0, 0, "", "", 0},
        {"<", 0, 0, "", "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.psz);
        SKINMARKUPTAG tag;
        const int cch = SkinParseMarkupTag(c.psz, int(std::strlen(c.psz)), &tag);
        EXPECT_EQ(cch, c.cch);
        if (cch == 0) continue;
        EXPECT_EQ(tag.nKind, c.nKind);
        EXPECT_STREQ(tag.strTarget.Text(), c.pszTarget);
        EXPECT_STREQ(tag.strFont.Text(), c.pszFont);
        EXPECT_EQ(tag.clr, c.clr);
    }
}

class SkinMarkupTest : public SkinFixture {
protected:
    void SetUp() override {
        SkinFixture::SetUp();
        pSkin_ = Load(std::string("font = ") + kszBase + "\ntext color = #000000\n");
        settings_ = pSkin_->ControlSettings(CT_TEXT, nullptr, "");
        cyLine_ = FontHeight(kszBase);
        ASSERT_GT(cyLine_, 8);
    }

    static std::unique_ptr<Graphic> Page(int cx, int cy) {
        auto p = std::make_unique<Graphic>(cx, cy, 32);
        for (int y = 0; y < cy; ++y)
            for (int x = 0; x < cx; ++x)
                p->SetPixelColor(x, y, kPaper);
        return p;
    }
    int FontHeight(const char* pszFont) {
        HDC hdc = host::CreateCompatibleDC(nullptr);
        host::HFONT hOld = host::SelectObject(hdc, pSkin_->Font(pszFont));
        host::TEXTMETRIC tm = {};
        host::GetTextMetrics(hdc, &tm);
        host::SelectObject(hdc, hOld);
        host::DeleteDC(hdc);
        return tm.tmHeight;
    }
    int Measure(const char* psz, int cx, UINT fuFlags = SKINTEXT_WRAP | SKINTEXT_NOPREFIX,
                mem::vector<SKINLINK>* pLinks = nullptr) {
        SKINDRAWCONTEXT ctx;
        ctx.pSkin = pSkin_.get();
        return SkinDrawMarkup(ctx, psz, {0, 0, cx, 1000}, settings_, fuFlags, pLinks);
    }
    static int Differences(const Graphic& a, const Graphic& b) {
        int c = 0;
        for (int y = 0; y < a.GetHeight(); ++y)
            for (int x = 0; x < a.GetWidth(); ++x)
                c += (a.GetPixelColor(x, y) & 0xFFFFFF) != (b.GetPixelColor(x, y) & 0xFFFFFF);
        return c;
    }

    std::unique_ptr<SKIN> pSkin_;
    SKINCONTROLSETTINGS settings_;
    int cyLine_ = 0;
};

// Each case is drawn by the markup drawer and, line by line, by the host in the font and
// colour that line should have; the pages must match pixel for pixel. A styled first line
// must also differ from the same text in the control's font.
TEST_F(SkinMarkupTest, StylesDrawAsTheHostDrawsTheRunInTheirFont) {
    struct Line {
        const char* pszFont;
        Color clr;
        const char* pszText;
    };
    struct Case {
        const char* pszMarkup;
        std::vector<Line> lines;
    };
    const Color kRed = 0x020000FF;
    const Case cases[] = {
        {"<b>Kelvano</b>", {{"Arial,-14,B", 0, "Kelvano"}}},
        {"<B>Kelvano</B>", {{"Arial,-14,B", 0, "Kelvano"}}},
        {"<i>Kelvano</i>", {{"Arial,-14,I", 0, "Kelvano"}}},
        {"<u>Kelvano</u>", {{"Arial,-14,U", 0, "Kelvano"}}},
        {"<font face=courier>Kelvano</font>", {{"Courier,-14", 0, "Kelvano"}}},
        {"<font face=\"Times New Roman\">Kelvano</font>", {{"Times New Roman,-14", 0, "Kelvano"}}},
        {"<font size=18>Kelvano</font>", {{"Arial,18", 0, "Kelvano"}}},
        {"<font color=#FF0000>Kelvano</font>", {{kszBase, kRed, "Kelvano"}}},
        {"<font size=18 color=#FF0000>Kelvano", {{"Arial,18", kRed, "Kelvano"}}},
        {"<font face=arial size=18><i>Kelvano Setup</i></font>\nKelvano",
         {{"arial,18,I", 0, "Kelvano Setup"}, {kszBase, 0, "Kelvano"}}},
        {"<u><b>Kel</b>\nvano</u>\nSetup",
         {{"Arial,-14,B,U", 0, "Kel"}, {"Arial,-14,U", 0, "vano"}, {kszBase, 0, "Setup"}}},
        {"<x> a < b", {{kszBase, 0, "<x> a < b"}}},
        {"</b>Kelvano</i>", {{kszBase, 0, "Kelvano"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszMarkup);
        auto page = Page(240, 90);
        SKINDRAWCONTEXT ctx;
        ctx.pDest = page.get();
        ctx.pSkin = pSkin_.get();
        const int cy = SkinDrawMarkup(ctx, c.pszMarkup, {0, 0, 240, 90}, settings_);

        auto want = Page(240, 90);
        auto plain = Page(240, 90);
        int y = 0;
        for (const Line& line : c.lines) {
            for (Graphic* p : {want.get(), plain.get()}) {
                const bool fWant = p == want.get();
                HDC hdc = p->GetDC();
                host::HFONT hOld =
                    host::SelectObject(hdc, pSkin_->Font(fWant ? line.pszFont : kszBase));
                host::SetBkMode(hdc, host::TRANSPARENT);
                host::SetTextColor(hdc, fWant ? line.clr : 0);
                host::TextOut(hdc, 0, y, line.pszText, int(std::strlen(line.pszText)));
                host::SelectObject(hdc, hOld);
                p->ReleaseDC();
            }
            y += FontHeight(line.pszFont);
        }
        EXPECT_EQ(cy, y);
        EXPECT_EQ(Differences(*page, *want), 0);

        const Line& first = c.lines.front();
        if (std::string(first.pszFont) != kszBase || first.clr != 0) {
            EXPECT_GT(Differences(*page, *plain), 0);
        }
        // Red ink only where red was asked for.
        bool fRed = false;
        for (int yy = 0; yy < 90 && !fRed; ++yy)
            for (int x = 0; x < 240 && !fRed; ++x)
                fRed = (page->GetPixelColor(x, yy) & 0xFFFFFF) == 0x0000FF;
        EXPECT_EQ(fRed, first.clr == kRed);
    }
    EXPECT_GT(Measure("<font size=18>K</font>", 100), Measure("K", 100));
}

// Where words land, read from link rectangles: one link a word.
TEST_F(SkinMarkupTest, LinesBreakBetweenWordsAndCharactersAndLineEndsLeaveSmallGaps) {
    const int L = cyLine_;
    const int cxOneTwo = [&] {
        mem::vector<SKINLINK> links{MEM_TAG("SKINLINK")};
        Measure("<a href=w>one two</a>", 1000, SKINTEXT_WRAP, &links);
        return int(links.at(0).rc.right);
    }();
    struct Case {
        const char* psz;
        int cx;
        int cy;                // height used
        std::vector<RECT> rcs; // link rectangles; a right of -1 is not checked
    };
    const Case cases[] = {
        // Whole words: "three" goes down; a word split by tags goes down whole.
        {"<a href=1>one</a> <a href=2>two</a> <a href=3>three</a>",
         cxOneTwo + 4,
         2 * L,
         {{0, 0, -1, L}, {-1, 0, -1, L}, {0, L, -1, 2 * L}}},
        {"<a href=1>one</a> <a href=2>t<b>w</b>o</a>",
         cxOneTwo - 2,
         2 * L,
         {{0, 0, -1, L}, {0, L, -1, 2 * L}, {-1, L, -1, 2 * L}, {-1, L, -1, 2 * L}}},
        // Line ends: CR LF is one; a paragraph's further ones are 8 pixels each.
        {"A\r\n<a href=1>B</a>", 100, 2 * L, {{0, L, -1, 2 * L}}},
        {"A\r\n\r\n<a href=1>B</a>", 100, 2 * L + 8, {{0, L + 8, -1, 2 * L + 8}}},
        {"A\n\n\n<a href=1>B</a>", 100, 2 * L + 16, {{0, L + 16, -1, 2 * L + 16}}},
        {"A\r\r<a href=1>B</a>", 100, 2 * L + 8, {{0, L + 8, -1, 2 * L + 8}}},
        {"\n<a href=1>B</a>\n", 100, L, {{0, 0, -1, L}}},
        // Blanks at a break are dropped: the next line starts at the left.
        {"A          <a href=1>B</a>", 20, 2 * L, {{0, L, -1, 2 * L}}},
        // Characters when a word is wider than a whole line, one at least however narrow.
        {"<a href=1>WWWW</a>", 30, 2 * L, {{0, 0, -1, L}, {0, L, -1, 2 * L}}},
        {"<a href=1>abc</a>", 1, 3 * L, {{0, 0, -1, L}, {0, L, -1, 2 * L}, {0, 2 * L, -1, 3 * L}}},
        {"<a href=1>\xC4\x88u</a>",
         1,
         2 * L,
         {{0, 0, -1, L}, {0, L, -1, 2 * L}}}, // never half a "Ĉ"
        {"ab cd", 0, 4 * L, {}},
        {"ab\n\ncd", 0, 4 * L + 8, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.psz);
        mem::vector<SKINLINK> links{MEM_TAG("SKINLINK")};
        EXPECT_EQ(Measure(c.psz, c.cx, SKINTEXT_WRAP, &links), c.cy);
        ASSERT_EQ(links.size(), c.rcs.size());
        for (std::size_t i = 0; i < links.size(); ++i) {
            const RECT& want = c.rcs[i];
            const RECT& got = links[i].rc;
            if (want.left >= 0) {
                EXPECT_EQ(got.left, want.left) << i;
            }
            EXPECT_EQ(got.top, want.top) << i;
            EXPECT_EQ(got.bottom, want.bottom) << i;
            EXPECT_LE(got.right - got.left, std::max(c.cx, 20)) << i;
        }
    }
    // Without wrapping only line ends break.
    EXPECT_EQ(Measure("one two three", 10, 0), L);
}

// Bad markup never crashes nor hangs: every truncation of a text of broken tags, mnemonics,
// multi-byte characters and line ends, in widths down to nothing, with and without "&".
TEST_F(SkinMarkupTest, EveryTruncationOfBrokenMarkupFinishes) {
    const std::string str = "<b><i>&Ka&&<font face=\"x size=-3>\xC4\x88u</i\r\n\r<a href=\"q\">"
                            "<font size=99999999999 color=#GG>x</font></b></u></a>&\n<<>></</";
    const int cyMost = FontHeight("Arial,-14,B,I,U") * 4;
    for (std::size_t cch = 0; cch <= str.size(); ++cch)
        for (const int cx : {0, 1, 7, 300})
            for (const UINT fuFlags :
                 {UINT(SKINTEXT_WRAP), UINT(SKINTEXT_WRAP | SKINTEXT_NOPREFIX)}) {
                const int cy = Measure(str.substr(0, cch).c_str(), cx, fuFlags);
                ASSERT_GE(cy, 0);
                ASSERT_LE(cy, int(cch + 1) * cyMost) << cch << " " << cx;
            }
}

TEST_F(SkinMarkupTest, LinksKeepTheirTargetsAndLinesFollowTheLayout) {
    const char* psz = "Write to <a href=\"mailto:support@example.com\">support</a>";
    for (const int nLayout : {SKIN_LEFT, SKIN_RIGHT, SKIN_CENTER}) {
        SCOPED_TRACE(nLayout);
        settings_.nTextLayout = nLayout;
        mem::vector<SKINLINK> links{MEM_TAG("SKINLINK")};
        Measure(psz, 300, SKINTEXT_WRAP, &links);
        ASSERT_EQ(links.size(), 1u);
        EXPECT_STREQ(links[0].strTarget.Text(), "mailto:support@example.com");
        const RECT& rc = links[0].rc;
        EXPECT_GT(rc.left, 40);
        if (nLayout == SKIN_RIGHT) {
            EXPECT_EQ(rc.right, 300);
        }
    }
    // Centred: the line's measured width shares the room equally.
    settings_.nTextLayout = SKIN_CENTER;
    mem::vector<SKINLINK> links{MEM_TAG("SKINLINK")};
    Measure("<a href=x>centre</a>", 300, SKINTEXT_WRAP, &links);
    ASSERT_EQ(links.size(), 1u);
    EXPECT_NEAR(links[0].rc.left, 300 - links[0].rc.right, 1);
    // A push button's one line is centred vertically in the text rectangle.
    settings_.nTopBorder = 10;
    SKINDRAWCONTEXT ctx;
    auto page = Page(100, 100);
    ctx.pDest = page.get();
    ctx.pSkin = pSkin_.get();
    links.clear();
    EXPECT_EQ(SkinDrawText(ctx, "<a href=x>OK</a>", {0, 0, 100, 100}, settings_, true,
                           SKINTEXT_VCENTER, &links),
              cyLine_);
    ASSERT_EQ(links.size(), 1u);
    EXPECT_EQ(links[0].rc.top, 10 + (90 - cyLine_) / 2);
}

// The setup's failure text: its paragraphs are one line break and two 8-pixel gaps apart.
TEST_F(SkinMarkupTest, FailureTextParagraphs) {
    const char* psz = "<b>An error was encountered while installing Kelvano.</b>\n\n\nDisk full."
                      "\n\n\nFor assistance, please contact "
                      "<a href=\"mailto:support@example.com\">support@example.com</a>";
    mem::vector<SKINLINK> links{MEM_TAG("SKINLINK")};
    const int cyBold = FontHeight("Arial,-14,B");
    EXPECT_EQ(Measure(psz, 1000, SKINTEXT_WRAP, &links), cyBold + 2 * cyLine_ + 32);
    ASSERT_EQ(links.size(), 1u);
    EXPECT_EQ(links[0].rc.top, cyBold + cyLine_ + 32);
}

int g_cCommands = 0;

INT_PTR CountCommands(HWND, UINT uMsg, WPARAM, LPARAM) {
    if (uMsg == host::WM_COMMAND) ++g_cCommands;
    return 0;
}

class SkinMarkupWindowTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(fStarted_ = StartSkinScreen()); }
    void TearDown() override {
        if (fStarted_) StopSkinScreen();
    }
    bool fStarted_ = false;
};

TEST_F(SkinMarkupWindowTest, HandCursorOverALinkAndItsClickIsInert) {
    Bytes package = WindowSkinPackage();
    SKIN skin(package.data(), static_cast<DWORD>(package.size()));
    g_cCommands = 0;
    SkinWindow window(&skin, "Test", CountCommands, nullptr, 0, 0, nullptr);
    host::SetWindowPos(window.Handle(), nullptr, 100, 100, 300, 200, host::SWP_NOZORDER);
    SKINCONTROL* pText = window.AddControl(CT_TEXT, 500, window.MainInset());
    pText->SetPlacement(0, 10, 200, 0, 40, 60);
    pText->SetText("Mail <a href=\"mailto:x@example.com\">us</a> today");
    host::ShowWindow(window.Handle(), host::SW_SHOW);
    PumpAll();
    ASSERT_EQ(pText->Links().size(), 1u);
    EXPECT_STREQ(pText->Links()[0].strTarget.Text(), "mailto:x@example.com");
    const RECT rcLink = pText->Links()[0].rc;
    EXPECT_GT(rcLink.left, pText->Rect().left + 10);
    auto At = [&](LONG x, LONG y) {
        POINT pt = {x, y};
        host::ClientToScreen(window.Handle(), &pt);
        return pt;
    };
    const LONG yMiddle = (rcLink.top + rcLink.bottom) / 2;
    const POINT ptLink = At((rcLink.left + rcLink.right) / 2, yMiddle);
    const host::HCURSOR hHand = host::LoadCursor(nullptr, host::IDC_HAND);
    host::PostMouseInput(ptLink, host::MouseAction::kMove);
    PumpAll();
    EXPECT_EQ(host::GetCursor(), hHand);
    host::PostMouseInput(At(pText->Rect().left + 2, yMiddle), host::MouseAction::kMove);
    PumpAll();
    EXPECT_EQ(host::GetCursor(), host::LoadCursor(nullptr, host::IDC_ARROW));
    host::PostMouseInput(ptLink, host::MouseAction::kMove);
    host::PostMouseInput(ptLink, host::MouseAction::kLeftDown);
    host::PostMouseInput(ptLink, host::MouseAction::kLeftUp);
    PumpAll();
    EXPECT_EQ(g_cCommands, 0);
    EXPECT_EQ(host::GetCursor(), hHand);
}

// A few marked-up lines in DEZ's static text, written as a picture to look at.
TEST_F(SkinMarkupWindowTest, DezScreenshot) {
    {
        SKIN skin((std::string(KELVANO_SKINART_DIR) + "/dez.zip").c_str());
        skin.SetProperty("Font", "MS Shell Dlg,10");
        auto page = std::make_unique<Graphic>(320, 190, 32);
        for (int y = 0; y < 190; ++y)
            for (int x = 0; x < 320; ++x)
                page->SetPixelColor(x, y, kPaper);
        SKINDRAWCONTEXT ctx;
        ctx.pDest = page.get();
        ctx.pSkin = &skin;
        const RECT rc = {10, 10, 310, 180};
        SkinDrawNinePatch(ctx, skin.OptionalGraphics("text", CT_TEXT, ""), rc);
        SkinDrawText(ctx,
                     "<font face=arial size=18><i>Kelvano Setup</i></font>\n"
                     "<b>An error was encountered while installing Kelvano.</b>\n\n\n"
                     "Plain, <b>bold</b>, <i>italic</i>, <u>underlined</u> and "
                     "<font color=#FF0000>red</font> words wrap as whole words, "
                     "<font face=\"Times New Roman\" size=12>a serif face</font> too.\n\n\n"
                     "For assistance, please contact "
                     "<a href=\"mailto:support@example.com\">support@example.com</a>",
                     rc, skin.ControlSettings(CT_TEXT, nullptr, ""), true, SKINTEXT_WRAP);
        const std::filesystem::path dir =
            std::filesystem::path(KELVANO_SKINART_DIR).parent_path() / "screenshots";
        std::filesystem::create_directories(dir);
        const std::string path = (dir / "skin_markup_dez.png").string();
        EXPECT_TRUE(host::SaveBitmapAsPng(page->GetBitmap(), path));
    }
}

} // namespace
