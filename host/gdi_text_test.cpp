// Fonts, text extents and DrawText layout. Glyph shapes depend on the installed fonts, so
// these tests check faces, measures and where ink lands rather than exact pixels.
#include "host/gdi.h"
#include "host/gdi_testutil.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace host {
namespace {

using test::Canvas;
using test::MakeCanvas;

HFONT MakeFont(const char* face, LONG height, LONG weight = FW_NORMAL, BYTE italic = 0,
               BYTE quality = ANTIALIASED_QUALITY) {
    LOGFONTA lf{};
    lf.lfHeight = height;
    lf.lfWeight = weight;
    lf.lfItalic = italic;
    lf.lfCharSet = DEFAULT_CHARSET;
    lf.lfQuality = quality;
    std::strncpy(lf.lfFaceName, face, LF_FACESIZE - 1);
    return CreateFontIndirect(&lf);
}

std::string FileName(HFONT h) {
    std::string path;
    EXPECT_TRUE(GetFontFile(h, &path, nullptr));
    return path.substr(path.find_last_of('/') + 1);
}

// A white 32-bit canvas with black text settings and the font selected.
struct TextCanvas {
    std::unique_ptr<Canvas> c;
    HFONT font;
    TextCanvas(int cx, int cy, HFONT f, int depth = 32) : font(f) {
        // Indexed canvases hold white and a red among random colours.
        std::vector<RGBQUAD> colors = test::RandomColors(depth <= 8 ? 1 << depth : 0, 3);
        if (depth <= 8) {
            colors[0] = {255, 255, 255, 0};
            colors[1] = {0, 0, 200, 0};
        }
        c = MakeCanvas(test::TestFormat{"", depth}, cx, cy, &colors);
        RECT rc{0, 0, cx, cy};
        FillRect(c->hdc, &rc, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        SelectObject(c->hdc, font);
        SetTextColor(c->hdc, RGB(0, 0, 0));
        SetBkMode(c->hdc, TRANSPARENT);
    }
    ~TextCanvas() {
        SelectObject(c->hdc, GetStockObject(SYSTEM_FONT));
        DeleteObject(font);
    }
    HDC hdc() const { return c->hdc; }
    // Bounding box of the pixels that are not the background.
    RECT Ink() const {
        RECT box{0x7FFF, 0x7FFF, -1, -1};
        for (LONG y = 0; y < c->px.cy; ++y)
            for (LONG x = 0; x < c->px.cx; ++x)
                if (GetPixel(c->hdc, x, y) != RGB(255, 255, 255)) {
                    box.left = std::min(box.left, x);
                    box.top = std::min(box.top, y);
                    box.right = std::max(box.right, x + 1);
                    box.bottom = std::max(box.bottom, y + 1);
                }
        return box;
    }
    std::vector<BYTE> Pixels() const { return {c->px.pBits, c->px.pBits + c->Bytes()}; }
};

SIZE Extent(HDC hdc, const char* s) {
    SIZE size{};
    EXPECT_TRUE(GetTextExtentPoint32(hdc, s, -1, &size));
    return size;
}

TEST(GdiText, ClassicFaceNamesMapToInstalledFaces) {
    struct Case {
        const char* face;
        LONG weight;
        BYTE italic;
        const char* file;
    };
    const Case cases[] = {
        {"Arial", FW_NORMAL, 0, "LiberationSans-Regular.ttf"},
        {"arial", FW_BOLD, 0, "LiberationSans-Bold.ttf"},
        {"Arial Eo", FW_NORMAL, 1, "LiberationSans-Italic.ttf"},
        {"MS Shell Dlg", FW_NORMAL, 0, "LiberationSans-Regular.ttf"},
        {"Tahoma", FW_NORMAL, 0, "LiberationSans-Regular.ttf"},
        {"", FW_NORMAL, 0, "LiberationSans-Regular.ttf"},
        {"No Such Face", FW_NORMAL, 0, "LiberationSans-Regular.ttf"},
        {"Times New Roman", FW_NORMAL, 0, "LiberationSerif-Regular.ttf"},
        {"Courier New Eo", FW_NORMAL, 0, "LiberationMono-Regular.ttf"},
        {"DejaVu Sans", FW_NORMAL, 0, "DejaVuSans.ttf"},
    };
    for (const Case& k : cases) {
        HFONT h = MakeFont(k.face, -12, k.weight, k.italic);
        EXPECT_EQ(FileName(h), k.file) << k.face;
        DeleteObject(h);
    }
}

TEST(GdiText, MetricsFollowTheRequestedHeight) {
    for (LONG height : {-8, -11, -14, -24, 13, 20, 0}) {
        TextCanvas t(8, 8, MakeFont("Arial", height));
        TEXTMETRIC tm{};
        ASSERT_TRUE(GetTextMetrics(t.hdc(), &tm));
        SCOPED_TRACE(height);
        EXPECT_EQ(tm.tmHeight, tm.tmAscent + tm.tmDescent);
        if (height < 0)
            EXPECT_EQ(tm.tmHeight - tm.tmInternalLeading, -height);
        else if (height > 0)
            EXPECT_NEAR(tm.tmHeight, height, 1);
        else
            EXPECT_EQ(tm.tmHeight - tm.tmInternalLeading, 11);
        EXPECT_GT(tm.tmAveCharWidth, 0);
        EXPECT_EQ(Extent(t.hdc(), "x").cy, tm.tmHeight);
    }
}

TEST(GdiText, ExtentsAddUpWithoutKerning) {
    TextCanvas t(8, 8, MakeFont("Arial", -14));
    EXPECT_EQ(Extent(t.hdc(), "").cx, 0);
    EXPECT_LT(Extent(t.hdc(), "iii").cx, Extent(t.hdc(), "WWW").cx);
    EXPECT_EQ(Extent(t.hdc(), "AVAV").cx,
              2 * Extent(t.hdc(), "A").cx + 2 * Extent(t.hdc(), "V").cx);
    // Bold is wider; a larger size is wider.
    TextCanvas bold(8, 8, MakeFont("Arial", -14, FW_BOLD));
    TextCanvas big(8, 8, MakeFont("Arial", -20));
    EXPECT_GT(Extent(bold.hdc(), "Kelvano").cx, Extent(t.hdc(), "Kelvano").cx);
    EXPECT_GT(Extent(big.hdc(), "Kelvano").cx, Extent(t.hdc(), "Kelvano").cx);
}

TEST(GdiText, Utf8AndUtf16MeasureAlike) {
    TextCanvas t(8, 8, MakeFont("Arial Eo", -14));
    const char* utf8 = "Ĉu ŝi ĝuas la ĵaŭdan ĥoron?";
    const char16_t* utf16 = u"Ĉu ŝi ĝuas la ĵaŭdan ĥoron?";
    SIZE a{}, b{};
    ASSERT_TRUE(GetTextExtentPoint32(t.hdc(), utf8, -1, &a));
    ASSERT_TRUE(GetTextExtentPoint32(t.hdc(), utf16, -1, &b));
    EXPECT_EQ(a.cx, b.cx);
    EXPECT_EQ(a.cy, b.cy);
}

TEST(GdiText, FitCountsWholeCharactersInCallerUnits) {
    TextCanvas t(8, 8, MakeFont("Arial", -14));
    const char* text = "aĉb"; // 'ĉ' takes two bytes
    int wa = Extent(t.hdc(), "a").cx, wc = Extent(t.hdc(), "ĉ").cx;
    int fit = -1, dx[4] = {};
    SIZE size{};
    ASSERT_TRUE(GetTextExtentExPoint(t.hdc(), text, 4, wa + wc - 1, &fit, dx, &size));
    EXPECT_EQ(fit, 1) << "the two bytes of a character fit together or not at all";
    ASSERT_TRUE(GetTextExtentExPoint(t.hdc(), text, 4, wa + wc, &fit, dx, &size));
    EXPECT_EQ(fit, 3);
    EXPECT_EQ(dx[0], wa);
    EXPECT_EQ(dx[1], wa + wc);
    EXPECT_EQ(dx[2], wa + wc);
    EXPECT_EQ(dx[3], size.cx);
    ASSERT_TRUE(GetTextExtentExPoint(t.hdc(), u"aĉb", 3, wa + wc, &fit, dx, &size));
    EXPECT_EQ(fit, 2);
}

TEST(GdiText, EsperantoLettersHaveTheirOwnGlyphs) {
    const char* letters[] = {"c", "ĉ", "Ĉ", "g", "ĝ", "Ĝ", "h", "ĥ", "Ĥ",
                             "j", "ĵ", "Ĵ", "s", "ŝ", "Ŝ", "u", "ŭ", "Ŭ"};
    std::set<std::vector<BYTE>> seen;
    for (const char* letter : letters) {
        TextCanvas t(24, 24, MakeFont("Arial Eo", -16));
        ASSERT_TRUE(TextOut(t.hdc(), 2, 2, letter, static_cast<int>(std::strlen(letter))));
        RECT ink = t.Ink();
        EXPECT_LT(ink.left, ink.right) << letter << " drew nothing";
        EXPECT_TRUE(seen.insert(t.Pixels()).second) << letter << " looks like another letter";
    }
}

TEST(GdiText, SameTextDrawsTheSamePixelsEveryTime) {
    auto draw = [](BYTE quality) {
        TextCanvas t(120, 20, MakeFont("Arial", -13, FW_NORMAL, 0, quality));
        TextOut(t.hdc(), 1, 1, "Kelvano 0123 ĉĝŭ", 18);
        return t.Pixels();
    };
    EXPECT_EQ(draw(ANTIALIASED_QUALITY), draw(ANTIALIASED_QUALITY));
    EXPECT_EQ(draw(NONANTIALIASED_QUALITY), draw(NONANTIALIASED_QUALITY));
    EXPECT_NE(draw(ANTIALIASED_QUALITY), draw(NONANTIALIASED_QUALITY));
}

TEST(GdiText, AntialiasingBlendsOnlyWhenAsked) {
    for (BYTE quality : {ANTIALIASED_QUALITY, NONANTIALIASED_QUALITY}) {
        TextCanvas t(80, 20, MakeFont("Arial", -13, FW_NORMAL, 0, quality));
        SetTextColor(t.hdc(), RGB(0, 0, 255));
        TextOut(t.hdc(), 1, 1, "Wave", 4);
        std::set<COLORREF> colors;
        for (int y = 0; y < 20; ++y)
            for (int x = 0; x < 80; ++x)
                colors.insert(GetPixel(t.hdc(), x, y));
        if (quality == ANTIALIASED_QUALITY)
            EXPECT_GT(colors.size(), 2u);
        else
            EXPECT_EQ(colors, (std::set<COLORREF>{RGB(255, 255, 255), RGB(0, 0, 255)}));
    }
}

TEST(GdiText, TextDrawsOnEveryDepth) {
    for (int depth : {1, 2, 4, 8, 16, 24, 32}) {
        SCOPED_TRACE(depth);
        TextCanvas t(60, 20, MakeFont("Arial", -14), depth);
        SetTextColor(t.hdc(), RGB(200, 0, 0));
        ASSERT_TRUE(TextOut(t.hdc(), 1, 1, "Ĝis", 5));
        RECT ink = t.Ink();
        EXPECT_LT(ink.left, ink.right);
        // Fully covered pixels take the surface's nearest colour to the text colour.
        COLORREF solid = GetNearestColor(t.hdc(), RGB(200, 0, 0));
        int count = 0;
        for (int y = 0; y < 20; ++y)
            for (int x = 0; x < 60; ++x)
                count += GetPixel(t.hdc(), x, y) == solid;
        EXPECT_GT(count, 10);
    }
}

TEST(GdiText, BackgroundModeAndTextAlignment) {
    TextCanvas t(100, 40, MakeFont("Arial", -14));
    SIZE size = Extent(t.hdc(), "Mid");
    SetBkMode(t.hdc(), OPAQUE);
    SetBkColor(t.hdc(), RGB(0, 255, 0));
    SetTextAlign(t.hdc(), TA_CENTER | TA_BOTTOM);
    ASSERT_TRUE(TextOut(t.hdc(), 50, 30, "Mid", 3));
    // The opaque cell spans the text extent, centred on x and ending at y.
    RECT ink = t.Ink();
    EXPECT_EQ(ink.left, 50 - size.cx / 2);
    EXPECT_EQ(ink.right, 50 - size.cx / 2 + size.cx);
    EXPECT_EQ(ink.top, 30 - size.cy);
    EXPECT_EQ(ink.bottom, 30);
    EXPECT_EQ(GetPixel(t.hdc(), ink.left, ink.top), RGB(0, 255, 0));
}

TEST(GdiText, ExtTextOutOpaqueAndClipped) {
    TextCanvas t(100, 30, MakeFont("Arial", -20));
    SetBkColor(t.hdc(), RGB(0, 0, 255));
    RECT rc{10, 5, 30, 25};
    ASSERT_TRUE(ExtTextOut(t.hdc(), 12, 5, ETO_OPAQUE | ETO_CLIPPED, &rc, "WWWW", 4, nullptr));
    RECT ink = t.Ink();
    EXPECT_EQ(ink.left, 10);
    EXPECT_EQ(ink.top, 5);
    EXPECT_EQ(ink.right, 30);
    EXPECT_EQ(ink.bottom, 25);
}

// ---------------------------------------------------------------------------------------
// DrawText

int CalcHeight(HDC hdc, const char* s, RECT* prc, UINT format) {
    return DrawText(hdc, s, -1, prc, format | DT_CALCRECT);
}

TEST(GdiText, DrawTextCalcRect) {
    TextCanvas t(8, 8, MakeFont("Arial", -14));
    TEXTMETRIC tm;
    GetTextMetrics(t.hdc(), &tm);
    SIZE one = Extent(t.hdc(), "alpha beta"), word = Extent(t.hdc(), "alpha");
    struct Case {
        const char* text;
        LONG width;
        UINT format;
        LONG right, lines;
    };
    const Case cases[] = {
        {"alpha beta", 1000, DT_SINGLELINE, one.cx, 1},
        {"alpha beta", 1000, DT_WORDBREAK, one.cx, 1},
        {"alpha beta", one.cx - 1, DT_WORDBREAK,
         Extent(t.hdc(), "beta").cx > word.cx ? Extent(t.hdc(), "beta").cx : word.cx, 2},
        {"alpha beta", one.cx - 1, DT_SINGLELINE | DT_WORDBREAK, one.cx, 1},
        {"alpha\nbeta", 1000, 0, word.cx, 2},
        {"alpha\r\nbeta\r\n", 1000, 0, word.cx, 2},
        {"alpha\n\nbeta\n\n", 1000, 0, word.cx, 4},
        {"alpha\r\n\r\nbeta", 1000, DT_SINGLELINE, one.cx - Extent(t.hdc(), " ").cx, 1},
        {"", 1000, 0, 0, 1},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.text);
        RECT rc{5, 7, 5 + k.width, 8};
        int h = CalcHeight(t.hdc(), k.text, &rc, k.format);
        EXPECT_EQ(h, k.lines * tm.tmHeight);
        EXPECT_EQ(rc.left, 5);
        EXPECT_EQ(rc.top, 7);
        EXPECT_EQ(rc.right, 5 + k.right);
        EXPECT_EQ(rc.bottom, 7 + k.lines * tm.tmHeight);
    }
}

TEST(GdiText, WordBreakKeepsWordsWholeAndBreaksLongOnes) {
    TextCanvas t(8, 8, MakeFont("Arial", -14));
    TEXTMETRIC tm;
    GetTextMetrics(t.hdc(), &tm);
    auto lines = [&](const char* s, LONG width) {
        RECT rc{0, 0, width, 0};
        return CalcHeight(t.hdc(), s, &rc, DT_WORDBREAK) / tm.tmHeight;
    };
    LONG word = Extent(t.hdc(), "word").cx, space = Extent(t.hdc(), " ").cx;
    EXPECT_EQ(lines("word word word", 3 * word + 2 * space), 1);
    EXPECT_EQ(lines("word word word", 3 * word + 2 * space - 1), 2);
    EXPECT_EQ(lines("word word word", 2 * word + space), 2);
    EXPECT_EQ(lines("word word word", word), 3);
    EXPECT_EQ(lines("word     word", word), 2) << "blanks at a break vanish";
    // A word wider than the rectangle breaks after its last character that fits.
    LONG w = Extent(t.hdc(), "abcdefgh").cx;
    RECT rc{0, 0, w / 2, 0};
    EXPECT_EQ(CalcHeight(t.hdc(), "abcdefghabcdefgh", &rc, DT_WORDBREAK) / tm.tmHeight, 5);
    EXPECT_LE(rc.right, w / 2);
    rc = {0, 0, 1, 0};
    EXPECT_EQ(CalcHeight(t.hdc(), "abc", &rc, DT_WORDBREAK) / tm.tmHeight, 3)
        << "one character per line at least";
}

TEST(GdiText, PrefixCharacters) {
    TextCanvas t(100, 30, MakeFont("Arial", -14));
    auto width = [&](const char* s, UINT format) {
        RECT rc{0, 0, 1000, 0};
        CalcHeight(t.hdc(), s, &rc, format | DT_SINGLELINE);
        return rc.right;
    };
    EXPECT_EQ(width("&File", 0), Extent(t.hdc(), "File").cx);
    EXPECT_EQ(width("&File", DT_NOPREFIX), Extent(t.hdc(), "&File").cx);
    EXPECT_EQ(width("a&&b", 0), Extent(t.hdc(), "a&b").cx);
    EXPECT_EQ(width("trailing&", 0), Extent(t.hdc(), "trailing").cx);

    // The prefixed letter is underlined below the baseline; hidden prefixes are not.
    auto draw = [](const char* s, UINT format) {
        TextCanvas c(100, 30, MakeFont("Arial", -14));
        RECT rc{0, 0, 100, 30};
        DrawText(c.hdc(), s, -1, &rc, format | DT_SINGLELINE);
        return c.Ink();
    };
    RECT plain = draw("File", 0), prefixed = draw("&File", 0),
         hidden = draw("&File", DT_HIDEPREFIX);
    EXPECT_GT(prefixed.bottom, plain.bottom);
    EXPECT_EQ(hidden.bottom, plain.bottom);
}

TEST(GdiText, DrawTextAlignment) {
    const LONG cx = 200, cy = 60;
    auto ink = [&](UINT format, int* pResult = nullptr) {
        TextCanvas c(cx, cy, MakeFont("Arial", -14));
        RECT rc{10, 5, cx - 10, cy - 5};
        int r = DrawText(c.hdc(), "Kelvano", -1, &rc, format);
        if (pResult) *pResult = r;
        return c.Ink();
    };
    TextCanvas t(8, 8, MakeFont("Arial", -14));
    SIZE size = Extent(t.hdc(), "Kelvano");
    int result = 0;
    RECT left = ink(DT_SINGLELINE, &result);
    EXPECT_EQ(result, size.cy);
    RECT right = ink(DT_SINGLELINE | DT_RIGHT);
    RECT centre = ink(DT_SINGLELINE | DT_CENTER);
    RECT middle = ink(DT_SINGLELINE | DT_VCENTER, &result);
    RECT bottom = ink(DT_SINGLELINE | DT_BOTTOM);
    const LONG width = cx - 20, height = cy - 10;
    EXPECT_EQ(right.left - left.left, width - size.cx);
    EXPECT_EQ(centre.left - left.left, (width - size.cx) / 2);
    EXPECT_EQ(middle.top - left.top, (height - size.cy) / 2);
    EXPECT_EQ(result, (height - size.cy) / 2 + size.cy);
    EXPECT_EQ(bottom.top - left.top, height - size.cy);
    // Vertical placement needs a single line.
    EXPECT_EQ(ink(DT_VCENTER).top, left.top);
}

TEST(GdiText, DrawTextClipsToItsRectangle) {
    for (UINT extra : {0u, DT_NOCLIP}) {
        TextCanvas c(200, 40, MakeFont("Arial", -20));
        RECT rc{10, 10, 40, 25};
        DrawText(c.hdc(), "WWWWWWWW", -1, &rc, DT_SINGLELINE | extra);
        RECT ink = c.Ink();
        if (extra) {
            EXPECT_GT(ink.right, 40);
        } else {
            EXPECT_GE(ink.left, 10);
            EXPECT_LE(ink.right, 40);
            EXPECT_GE(ink.top, 10);
            EXPECT_LE(ink.bottom, 25);
        }
    }
}

TEST(GdiText, EndEllipsisFitsTheLine) {
    TextCanvas t(8, 8, MakeFont("Arial", -14));
    LONG w = Extent(t.hdc(), "A rather long caption").cx / 2;
    RECT rc{0, 0, w, 0};
    CalcHeight(t.hdc(), "A rather long caption", &rc, DT_SINGLELINE | DT_END_ELLIPSIS);
    EXPECT_LE(rc.right, w);
    EXPECT_GT(rc.right, w - 2 * Extent(t.hdc(), "W").cx);
}

TEST(GdiText, ExpandedTabsReachTabStops) {
    TextCanvas t(8, 8, MakeFont("Arial", -14));
    TEXTMETRIC tm;
    GetTextMetrics(t.hdc(), &tm);
    RECT rc{0, 0, 1000, 0};
    CalcHeight(t.hdc(), "a\tb", &rc, DT_SINGLELINE | DT_EXPANDTABS);
    EXPECT_EQ(rc.right, 8 * tm.tmAveCharWidth + Extent(t.hdc(), "b").cx);
}

} // namespace
} // namespace host
