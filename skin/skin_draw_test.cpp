// Skinned controls drawn from pictures whose cells each have their own colour, compared with
// the cells placed by hand; the text drawer's layouts; and a screenshot with the real skin.
#include "skin/skin_draw.h"

#include "skin/skin_test_fixture.h"

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace {

using namespace skintest;

constexpr int kCx = 6, kCy = 4; // every test picture's cell size
constexpr Color kPaper = 0x00102030;

// Cell k of frame f; an optional cell is pure blue (the see-through colour).
Color CellColor(int k, int f = 0) {
    return host::RGB(BYTE(40 + 12 * k), BYTE(60 + 100 * f), BYTE(200 - 8 * k));
}

// A picture of cColumns x cRows cells of kCx x kCy, cell k in CellColor(k, layer); one layer
// per frame. iClear, when not -1, is a see-through cell.
Bytes GridPicture(int cColumns, int cRows, int cFrames = 1, int iClear = -1) {
    pspwriter::PspImage image;
    image.cx = cColumns * kCx;
    image.cy = cRows * kCy;
    image.nDepth = 8;
    image.palette.assign(256, {0, 0, 0});
    for (int f = 0; f < cFrames; ++f)
        for (int k = 0; k < 16; ++k) {
            Color clr = CellColor(k, f);
            image.palette[1 + f * 16 + k] = {host::GetRValue(clr), host::GetGValue(clr),
                                             host::GetBValue(clr)};
        }
    image.palette[100] = {0, 0, 255};
    for (int f = 0; f < cFrames; ++f) {
        pspwriter::PspLayer layer;
        layer.name = "frame" + std::to_string(f);
        layer.pixels.resize(std::size_t(image.cx) * image.cy);
        for (int y = 0; y < image.cy; ++y)
            for (int x = 0; x < image.cx; ++x) {
                int k = (y / kCy) * cColumns + x / kCx;
                layer.pixels[std::size_t(y) * image.cx + x] =
                    std::uint8_t(k == iClear ? 100 : 1 + f * 16 + k);
            }
        image.layers.push_back(layer);
    }
    Bytes bytes;
    pspwriter::WritePsp(image, &bytes);
    return bytes;
}

struct Span {
    RECT rc;
    Color clr;
};

// A blank 32-bit page in kPaper.
std::unique_ptr<Graphic> Page(int cx, int cy) {
    auto p = std::make_unique<Graphic>(cx, cy, 32);
    for (int y = 0; y < cy; ++y)
        for (int x = 0; x < cx; ++x)
            p->SetPixelColor(x, y, kPaper);
    return p;
}

// Every pixel is the colour of the last span holding it, else paper. The first wrong pixel
// is reported.
void ExpectPage(const Graphic& page, const std::vector<Span>& spans) {
    for (int y = 0; y < page.GetHeight(); ++y)
        for (int x = 0; x < page.GetWidth(); ++x) {
            Color clr = kPaper;
            for (const Span& s : spans)
                if (x >= s.rc.left && x < s.rc.right && y >= s.rc.top && y < s.rc.bottom)
                    clr = s.clr;
            if ((page.GetPixelColor(x, y) & 0xFFFFFF) != clr) {
                ADD_FAILURE() << "at (" << x << ", " << y << ") " << std::hex
                              << page.GetPixelColor(x, y) << " != " << clr;
                return;
            }
        }
}

class SkinDrawTest : public SkinFixture {
protected:
    void SetUp() override {
        SkinFixture::SetUp();
        pSkin_ = Load("skin = T\ntransparent color = #0000FF\nfont = Arial,-14\n",
                      {{"pbutton.psp", GridPicture(3, 4)},
                       {"frame-x.psp", GridPicture(1, 3)},
                       {"rbutton.psp", GridPicture(2, 4)},
                       {"pbar.psp", GridPicture(4, 1)},
                       {"text.psp", GridPicture(3, 3)},
                       {"hscroll.psp", GridPicture(4, 4)},
                       {"vscroll.psp", GridPicture(4, 4)},
                       {"list.psp", GridPicture(3, 3)},
                       {"listitem.psp", GridPicture(2, 4)},
                       {"cursor.psp", GridPicture(1, 1)},
                       {"cbutton.psp", GridPicture(2, 4, 2)}});
    }
    SKINCONTROLGRAPHICS* G(const char* pszName, int nKind) {
        return pSkin_->Graphics(pszName, nKind, "");
    }
    std::unique_ptr<SKIN> pSkin_;
};

const SKINDRAWSTATE kStates[] = {
    {false, false, false, false}, // row 0
    {true, false, false, false},  // row 1
    {true, false, true, false},   // row 2
    {true, false, true, true},    // row 3
};

TEST_F(SkinDrawTest, EachKindInEachStateIsItsCellsComposed) {
    struct Case {
        std::string name;
        std::function<void(const SKINDRAWCONTEXT&)> draw;
        std::vector<Span> spans;
    };
    std::vector<Case> cases;
    for (int r = 0; r < 4; ++r) {
        const SKINDRAWSTATE s = kStates[r];
        // Caps at the ends, the middle repeated and cut, all stretched to the height.
        cases.push_back({"push row " + std::to_string(r),
                         [=, this](const SKINDRAWCONTEXT& c) {
                             SkinDrawPushButton(c, G("pbutton", CT_PBUTTON), {2, 3, 32, 13}, s);
                         },
                         {{{2, 3, 8, 13}, CellColor(r * 3)},
                          {{8, 3, 26, 13}, CellColor(r * 3 + 1)},
                          {{26, 3, 32, 13}, CellColor(r * 3 + 2)}}});
        // Narrower than both caps: they share it, nothing outside.
        cases.push_back({"narrow push row " + std::to_string(r),
                         [=, this](const SKINDRAWCONTEXT& c) {
                             SkinDrawPushButton(c, G("pbutton", CT_PBUTTON), {2, 3, 9, 5}, s);
                         },
                         {{{2, 3, 6, 5}, CellColor(r * 3)}, {{6, 3, 9, 5}, CellColor(r * 3 + 2)}}});
        for (int fChecked = 0; fChecked < 2; ++fChecked) {
            SKINDRAWSTATE sc = s;
            sc.fChecked = fChecked != 0;
            const int k = r * 2 + fChecked;
            // Layouts left, right and centre with adjustments, all in {4, 2, 34, 12}.
            const int xs[] = {7, 25, 19};
            for (int nLayout = 0; nLayout < 3; ++nLayout)
                cases.push_back(
                    {"radio layout " + std::to_string(nLayout) + " cell " + std::to_string(k),
                     [=, this](const SKINDRAWCONTEXT& c) {
                         SKINCONTROLSETTINGS set;
                         set.nImageLayout = nLayout;
                         set.nImageXAdjust = 3;
                         set.nImageYAdjust = 2;
                         SkinDrawCheck(c, G("rbutton", CT_RBUTTON), {4, 2, 34, 12}, set, sc);
                     },
                     {{{xs[nLayout], 4, xs[nLayout] + kCx, 8}, CellColor(k)}}});
        }
        // The scroll bar's parts: arrow, track, thumb, track, arrow; page 10 of 100 at 45
        // puts the thumb half way along the room the track leaves (21 of 42 pixels across,
        // 24 of 48 down). The pointer is on the thumb.
        for (int fVertical = 0; fVertical < 2; ++fVertical) {
            SKINSCROLLBAR bar;
            bar.fVertical = fVertical != 0;
            bar.nPosition = 45;
            bar.nPage = 10;
            const int rgAcross[] = {0, 6, 27, 33, 54, 60};
            const int rgDown[] = {0, 4, 28, 32, 56, 60};
            const int* rgEdges = fVertical ? rgDown : rgAcross;
            const int rgColumns[] = {0, 1, 2, 1, 3};
            std::vector<Span> spans;
            for (int i = 0; i < 5; ++i) {
                const int iState = i == SSP_THUMB ? r : std::min(r, 1);
                const int k = fVertical ? rgColumns[i] * 4 + iState : iState * 4 + rgColumns[i];
                RECT rc = fVertical ? RECT{0, rgEdges[i], 6, rgEdges[i + 1]}
                                    : RECT{rgEdges[i], 0, rgEdges[i + 1], 4};
                spans.push_back({rc, CellColor(k)});
            }
            cases.push_back({(fVertical ? "vscroll row " : "hscroll row ") + std::to_string(r),
                             [=, this](const SKINDRAWCONTEXT& c) {
                                 RECT rc = bar.fVertical ? RECT{0, 0, 6, 60} : RECT{0, 0, 60, 4};
                                 SkinDrawScrollBar(c,
                                                   G(bar.fVertical ? "vscroll" : "hscroll",
                                                     bar.fVertical ? CT_VSCROLL : CT_HSCROLL),
                                                   rc, bar, s, SSP_THUMB);
                             },
                             spans});
        }
    }
    // Boxes: normal, hot, pressed; cut to a small rectangle.
    for (int r = 1; r < 4; ++r)
        cases.push_back(
            {"box " + std::to_string(r),
             [=, this](const SKINDRAWCONTEXT& c) {
                 SkinDrawBox(c, G("frame-x", CT_FRAME_CLOSE), {5, 5, 20, 20}, kStates[r]);
             },
             {{{5, 5, 11, 9}, CellColor(r - 1)}}});
    cases.push_back({"box cut",
                     [this](const SKINDRAWCONTEXT& c) {
                         SkinDrawBox(c, G("frame-x", CT_FRAME_CLOSE), {5, 5, 8, 7}, kStates[1]);
                     },
                     {{{5, 5, 8, 7}, CellColor(0)}}});
    cases.push_back(
        {"radio outside its control",
         [this](const SKINDRAWCONTEXT& c) {
             SKINCONTROLSETTINGS set;
             set.nImageXAdjust = -3;
             set.nImageYAdjust = 8;
             SkinDrawCheck(c, G("rbutton", CT_RBUTTON), {4, 2, 34, 12}, set, kStates[1]);
         },
         {{{4, 10, 7, 12}, CellColor(2)}}});
    // Progress in {0, 0, 40, 4}: caps of 6, a span of 28 filled in whole cells.
    const std::pair<int, int> progress[] = {{0, 0}, {37, 6}, {100, 24}, {-5, 0}, {150, 24}};
    for (auto [nPos, cxDone] : progress)
        cases.push_back({"progress " + std::to_string(nPos),
                         [=, this](const SKINDRAWCONTEXT& c) {
                             SkinDrawProgress(c, G("pbar", CT_PBAR), {0, 0, 40, 4}, nPos);
                         },
                         {{{0, 0, 6, 4}, CellColor(0)},
                          {{6, 0, 6 + cxDone, 4}, CellColor(2)},
                          {{6 + cxDone, 0, 34, 4}, CellColor(1)},
                          {{34, 0, 40, 4}, CellColor(3)}}});
    // Nine-patch 20 x 11 (middle column 8, middle row 3) and 20 x 5 (rows of 3 and 2).
    auto nine = [](std::vector<int> xs, int top, std::vector<int> rows, std::vector<int> iRows) {
        std::vector<Span> spans;
        for (std::size_t j = 0; j + 1 < rows.size(); ++j)
            for (int i = 0; i < 3; ++i)
                spans.push_back({{xs[i], top + rows[j], xs[i + 1], top + rows[j + 1]},
                                 CellColor(iRows[j] * 3 + i)});
        return spans;
    };
    cases.push_back({"nine-patch 20 x 11",
                     [this](const SKINDRAWCONTEXT& c) {
                         SkinDrawNinePatch(c, G("text", CT_TEXT), {1, 1, 21, 12});
                     },
                     nine({1, 7, 15, 21}, 1, {0, 4, 7, 11}, {0, 1, 2})});
    cases.push_back({"nine-patch 20 x 5",
                     [this](const SKINDRAWCONTEXT& c) {
                         SkinDrawNinePatch(c, G("text", CT_TEXT), {1, 1, 21, 6});
                     },
                     nine({1, 7, 15, 21}, 1, {0, 3, 5}, {0, 2})});
    // A list 32 x 26 with borders of 2 and items 6 high: a bullet at each item's left, the
    // second item selected (its text part on the selected background), the third under the
    // pointer (hot), the fourth cut at the inner bottom.
    {
        std::vector<Span> spans = nine({0, 6, 26, 32}, 0, {0, 4, 22, 26}, {0, 1, 2});
        const std::vector<Span> items = {{{2, 3, 8, 7}, CellColor(2)},
                                         {{12, 8, 30, 14}, 0x070809},
                                         {{2, 9, 8, 13}, CellColor(3)},
                                         {{2, 15, 8, 19}, CellColor(4)},
                                         {{2, 21, 8, 24}, CellColor(2)}};
        spans.insert(spans.end(), items.begin(), items.end());
        cases.push_back({"list",
                         [this](const SKINDRAWCONTEXT& c) {
                             SKINCONTROLSETTINGS set;
                             set.nLeftBorder = set.nTopBorder = 2;
                             set.nRightBorder = set.nBottomBorder = 2;
                             set.clrSelectedBackground = 0x02070809;
                             const cetl::string items[] = {"", "", "", "", ""};
                             SkinDrawList(c, G("list", CT_LIST), G("listitem", CT_RBUTTON),
                                          {0, 0, 32, 26}, set, 6, items, 4, 0, 1, 2, kStates[2]);
                         },
                         spans});
    }
    // The caret on an empty edit: at the text rectangle's left or centre.
    for (int nLayout : {0, 2})
        cases.push_back({"caret layout " + std::to_string(nLayout),
                         [=, this](const SKINDRAWCONTEXT& c) {
                             SKINCONTROLSETTINGS set;
                             set.nLeftBorder = set.nTopBorder = 3;
                             set.nTextLayout = nLayout;
                             SkinDrawCaret(c, G("cursor", CT_CURSOR), {0, 0, 63, 12}, set, "", 0);
                         },
                         {{{nLayout ? 30 : 0, 3, nLayout ? 36 : 6, 7}, CellColor(0)}}});

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto page = Page(64, 64);
        SKINDRAWCONTEXT ctx;
        ctx.pDest = page.get();
        ctx.pSkin = pSkin_.get();
        c.draw(ctx);
        ExpectPage(*page, c.spans);
    }
}

TEST_F(SkinDrawTest, ClipAndFramesAnimate) {
    // The clip rectangle cuts a control.
    auto page = Page(40, 20);
    SKINDRAWCONTEXT ctx;
    ctx.pDest = page.get();
    ctx.rcClip = {10, 0, 20, 20};
    SkinDrawProgress(ctx, G("pbar", CT_PBAR), {0, 0, 40, 4}, 0);
    ExpectPage(*page, {{{10, 0, 20, 4}, CellColor(1)}});

    // A two-frame picture animates: frame 1 differs from 0, frame 2 shows 0 again.
    SKINCONTROLGRAPHICS* pCheck = G("cbutton", CT_CBUTTON);
    EXPECT_TRUE(SkinIsAnimated(pCheck));
    EXPECT_FALSE(SkinIsAnimated(G("rbutton", CT_RBUTTON)));
    EXPECT_FALSE(SkinIsAnimated(nullptr));
    for (DWORD nFrame : {0u, 1u, 2u}) {
        SCOPED_TRACE(nFrame);
        page = Page(40, 20);
        ctx = SKINDRAWCONTEXT();
        ctx.pDest = page.get();
        ctx.nFrame = nFrame;
        SkinDrawCheck(ctx, pCheck, {0, 0, 10, 10}, SKINCONTROLSETTINGS(), kStates[1]);
        ExpectPage(*page, {{{0, 0, 6, 4}, CellColor(2, int(nFrame % 2))}});
    }
}

TEST_F(SkinDrawTest, ScrollGeometry) {
    struct Case {
        SKINSCROLLBAR bar;
        int cLength;
        int rgEdges[6];
    };
    // Cells 6 long; the track of a 60 bar is 48.
    const Case cases[] = {
        {{false, 0, 0, 100, 8, false}, 60, {0, 6, 6, 12, 54, 60}},
        {{false, 92, 0, 100, 8, false}, 60, {0, 6, 48, 54, 54, 60}},
        {{false, 500, 0, 100, 8, false}, 60, {0, 6, 48, 54, 54, 60}}, // past the end
        {{false, -9, 0, 100, 8, false}, 60, {0, 6, 6, 12, 54, 60}},   // before the start
        {{true, 25, 0, 100, 50, true}, 60, {0, 6, 18, 42, 54, 60}},   // half a page: 24
        {{true, 99, 0, 100, 1, true}, 60, {0, 6, 48, 54, 54, 60}},    // at least a cell
        {{false, 50, 0, 100, 200, false}, 60, {0, 6, 6, 12, 54, 60}}, // page past range
        {{false, 50, 0, 100, 8, false}, 8, {0, 4, 4, 4, 4, 8}},       // no room: arrows
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.bar.nPosition << " " << c.bar.nPage);
        RECT rc =
            c.bar.fVertical ? RECT{10, 20, 16, 20 + c.cLength} : RECT{10, 20, 10 + c.cLength, 24};
        RECT parts[SSP_COUNT];
        SkinScrollParts(rc, c.bar, 6, 6, parts);
        for (int i = 0; i < SSP_COUNT; ++i) {
            EXPECT_EQ(c.bar.fVertical ? parts[i].top - 20 : parts[i].left - 10, c.rgEdges[i]);
            EXPECT_EQ(c.bar.fVertical ? parts[i].bottom - 20 : parts[i].right - 10,
                      c.rgEdges[i + 1]);
        }
    }
    SKINSCROLLBAR bar;
    bar.nPosition = 92;
    bar.nPage = 8;
    RECT rc = {0, 0, 60, 6};
    EXPECT_EQ(SkinScrollHitTest(rc, bar, 6, 6, 0, 3), SSP_LINEUP);
    EXPECT_EQ(SkinScrollHitTest(rc, bar, 6, 6, 30, 3), SSP_PAGEUP);
    EXPECT_EQ(SkinScrollHitTest(rc, bar, 6, 6, 50, 3), SSP_THUMB);
    EXPECT_EQ(SkinScrollHitTest(rc, bar, 6, 6, 59, 5), SSP_LINEDOWN);
    EXPECT_EQ(SkinScrollHitTest(rc, bar, 6, 6, 60, 3), SSP_NONE);
}

// The box of the pixels other than paper; empty when there are none. pfColor: whether one of
// them is clr (edges are smoothed, stems are solid).
RECT Ink(const Graphic& page, Color clr, bool* pfColor) {
    *pfColor = false;
    RECT rc = {page.GetWidth(), page.GetHeight(), 0, 0};
    for (int y = 0; y < page.GetHeight(); ++y)
        for (int x = 0; x < page.GetWidth(); ++x) {
            const Color clrAt = page.GetPixelColor(x, y) & 0xFFFFFF;
            if (clrAt == (clr & 0xFFFFFF)) *pfColor = true;
            if (clrAt == kPaper) continue;
            rc.left = std::min<LONG>(rc.left, x);
            rc.top = std::min<LONG>(rc.top, y);
            rc.right = std::max<LONG>(rc.right, x + 1);
            rc.bottom = std::max<LONG>(rc.bottom, y + 1);
        }
    return rc;
}

TEST_F(SkinDrawTest, TextLayoutsColoursMeasureAndWrap) {
    SKINCONTROLSETTINGS set = pSkin_->ControlSettings(CT_TEXT, nullptr, "");
    set.clrText = 0x02FFFFFF;
    set.clrDisabledText = 0x0200FF00;
    set.clrSelectedText = 0x02FF00FF;
    set.nLeftBorder = set.nRightBorder = 4;
    const RECT rc = {0, 0, 200, 40};
    // Layouts put the ink left, right, centre; the colour follows the state.
    struct Case {
        int nLayout;
        bool fEnabled;
        UINT fuFlags;
        Color clr;
    };
    const Case cases[] = {
        {SKIN_LEFT, true, 0, 0xFFFFFF},
        {SKIN_RIGHT, false, 0, 0x00FF00},
        {SKIN_CENTER, true, SKINTEXT_SELECTED, 0xFF00FF},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.nLayout);
        auto page = Page(200, 40);
        SKINDRAWCONTEXT ctx;
        ctx.pDest = page.get();
        ctx.pSkin = pSkin_.get();
        set.nTextLayout = c.nLayout;
        int cy = SkinDrawText(ctx, "Wide", rc, set, c.fEnabled, c.fuFlags);
        EXPECT_GT(cy, 8);
        bool fColor = false;
        RECT ink = Ink(*page, c.clr, &fColor);
        EXPECT_TRUE(fColor);
        ASSERT_LT(ink.left, ink.right);
        EXPECT_GE(ink.left, 4);
        EXPECT_LE(ink.right, 196);
        EXPECT_LE(ink.bottom, cy);
        const int xMiddle = (ink.left + ink.right) / 2;
        if (c.nLayout == SKIN_LEFT) {
            EXPECT_LT(ink.left, 10);
        } else if (c.nLayout == SKIN_RIGHT) {
            EXPECT_GT(ink.right, 190);
        } else {
            EXPECT_NEAR(xMiddle, 100, 6);
        }
        // Measuring gives the same height and leaves the page alone.
        auto blank = Page(200, 40);
        ctx.pDest = blank.get();
        EXPECT_EQ(SkinDrawText(ctx, "Wide", rc, set, c.fEnabled, c.fuFlags | SKINTEXT_MEASURE), cy);
        ExpectPage(*blank, {});
    }
    // Wrapping in a narrow rectangle grows the height; without it the text stays one line.
    SKINDRAWCONTEXT measure;
    measure.pSkin = pSkin_.get();
    const RECT narrow = {0, 0, 48, 400};
    const int cyLine = SkinDrawText(measure, "one two three four", narrow, set, true, 0);
    EXPECT_GE(SkinDrawText(measure, "one two three four", narrow, set, true, SKINTEXT_WRAP),
              2 * cyLine);
    // No room inside the borders: nothing.
    EXPECT_EQ(SkinDrawText(measure, "x", {0, 0, 8, 40}, set, true, 0), 0);
}

// Every kind in every state with the installer's skin, written as a picture to look at.
TEST(SkinDrawDez, Screenshot) {
    host::ScreenOptions options;
    options.backend = host::ScreenBackendKind::kHeadless;
    options.profile = host::ScreenProfile::kDesktop;
    options.nDepth = 32;
    ASSERT_TRUE(host::InitScreen(options));
    ASSERT_NE(CreateDisplay(false), nullptr);
    {
        SKIN skin((std::string(KELVANO_SKINART_DIR) + "/dez.zip").c_str());
        auto page = std::make_unique<Graphic>(560, 330, 32);
        HDC hdc = page->GetDC();
        RECT rcAll = {0, 0, 560, 330};
        host::HBRUSH hbr = host::CreateSolidBrush(host::RGB(255, 255, 255));
        host::FillRect(hdc, &rcAll, hbr);
        host::DeleteObject(hbr);
        page->ReleaseDC();
        SKINDRAWCONTEXT ctx;
        ctx.pDest = page.get();
        ctx.pSkin = &skin;
        const char* const kszState[] = {"Off", "On", "Hot", "Down"};
        auto settings = [&](int nKind) { return skin.ControlSettings(nKind, nullptr, ""); };
        for (int r = 0; r < 4; ++r) {
            const SKINDRAWSTATE s = kStates[r];
            const int x = 10 + 135 * r;
            RECT rc = {x, 10, x + 120, 40};
            SkinDrawPushButton(ctx, skin.Graphics("pbutton", CT_PBUTTON, ""), rc, s);
            SkinDrawText(ctx, kszState[r], rc, settings(CT_PBUTTON), s.fEnabled, 0);
            if (r > 0) {
                SKINCONTROLGRAPHICS* pBox = skin.Graphics("frame-x", CT_FRAME_CLOSE, "");
                SkinDrawBox(ctx, pBox, {x + 100, 50, x + 130, 80}, s);
            }
            for (int fChecked = 0; fChecked < 2; ++fChecked) {
                SKINDRAWSTATE sc = s;
                sc.fChecked = fChecked != 0;
                RECT rcRadio = {x, 50 + 20 * fChecked, x + 90, 68 + 20 * fChecked};
                SkinDrawCheck(ctx, skin.Graphics("rbutton", CT_RBUTTON, ""), rcRadio,
                              settings(CT_RBUTTON), sc);
                SkinDrawText(ctx, "Radio", rcRadio, settings(CT_RBUTTON), s.fEnabled, 0);
                RECT rcCheck = {x, 95 + 20 * fChecked, x + 90, 113 + 20 * fChecked};
                SkinDrawCheck(ctx, skin.Graphics("cbutton", CT_CBUTTON, ""), rcCheck,
                              settings(CT_CBUTTON), sc);
                SkinDrawText(ctx, "Check", rcCheck, settings(CT_CBUTTON), s.fEnabled, 0);
            }
            SKINSCROLLBAR bar;
            bar.nPosition = 30;
            bar.nPage = 10;
            SkinDrawScrollBar(ctx, skin.Graphics("hscroll", CT_HSCROLL, ""), {x, 140, x + 120, 156},
                              bar, s, SSP_THUMB);
            bar.fVertical = true;
            SkinDrawScrollBar(ctx, skin.Graphics("vscroll", CT_VSCROLL, ""),
                              {400 + 30 * r, 165, 416 + 30 * r, 320}, bar, s, SSP_THUMB);
        }
        const int rgPos[] = {0, 37, 100};
        for (int i = 0; i < 3; ++i)
            SkinDrawProgress(ctx, skin.Graphics("pbar", CT_PBAR, ""),
                             {10, 165 + 25 * i, 230, 180 + 25 * i}, rgPos[i]);
        SKINCONTROLSETTINGS edit = settings(CT_EDIT);
        RECT rcEdit = {10, 245, 230, 268};
        SkinDrawNinePatch(ctx, skin.Graphics("edit", CT_EDIT, ""), rcEdit);
        SkinDrawText(ctx, "C:\\Kelvano", rcEdit, edit, true, SKINTEXT_NOPREFIX);
        SkinDrawCaret(ctx, skin.Graphics("cursor", CT_CURSOR, ""), rcEdit, edit, "C:\\Kelvano", 3);
        RECT rcStatic = {10, 275, 230, 320};
        SkinDrawNinePatch(ctx, skin.OptionalGraphics("text", CT_TEXT, ""), rcStatic);
        SkinDrawText(ctx, "A static text long enough to wrap onto a second line", rcStatic,
                     settings(CT_TEXT), true, SKINTEXT_WRAP);
        const cetl::string items[] = {"English",  "Deutsch", "Francais",
                                      "Italiano", "Espanol", "Nederlands"};
        SKINCONTROLGRAPHICS* pItems = skin.Graphics("listitem", CT_RBUTTON, "");
        SkinDrawList(ctx, skin.Graphics("list", CT_LIST, ""), pItems, {250, 165, 390, 320},
                     settings(CT_LIST), SkinListItemHeight(ctx, pItems, settings(CT_LIST)), items,
                     6, 0, 1, 3, kStates[2]);

        const std::filesystem::path dir =
            std::filesystem::path(KELVANO_SKINART_DIR).parent_path() / "screenshots";
        std::filesystem::create_directories(dir);
        const std::string path = (dir / "skin_draw_dez.png").string();
        EXPECT_TRUE(host::SaveBitmapAsPng(page->GetBitmap(), path));
        EXPECT_GT(std::filesystem::file_size(path), 1000u);
    }
    DestroyDisplay();
    host::ShutdownScreen();
}

} // namespace
