// Graphic drawing checked pixel by pixel against a plain reference: every source pixel that
// the arguments select lands at its destination position when that lies inside the
// destination, and nothing else changes.
#include "anim/cea_graphic.h"

#include "anim/cea_palette.h"
#include "host/debug.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace {

using i64 = long long;

constexpr RECT kNone = {0, 0, 0, 0};
constexpr Color kKey = 0x00F800F8; // magenta: exact in every depth used here

bool HasRect(const RECT& rc) {
    return rc.right > rc.left && rc.bottom > rc.top;
}

// A colour table of 256 distinct colours whose entry 7 is the key colour.
std::vector<RGBQUAD> TestColors() {
    std::vector<RGBQUAD> colors(256);
    for (int i = 0; i < 256; ++i)
        colors[i] = {BYTE(i), BYTE(255 - i), BYTE((i * 37) & 255), 0};
    colors[7] = {0xF8, 0x00, 0xF8, 0};
    return colors;
}

DWORD Mask(int nDepth) {
    return nDepth == 32 ? 0xFFFFFFFF : (1u << nDepth) - 1;
}

// Random pixels; with fKeyed about a third of them are the key colour. fTopByte sets the
// unused byte of 32-bit pixels too.
void Fill(Graphic* pGraphic, unsigned seed, bool fKeyed, bool fTopByte = false) {
    const DWORD nKey = pGraphic->ColorToValue(kKey);
    const DWORD nMask = Mask(pGraphic->GetDepth()) & (pGraphic->GetDepth() == 16 ? 0x7FFF : ~0u);
    unsigned state = seed * 2654435761u + 1;
    for (int y = 0; y < pGraphic->GetHeight(); ++y)
        for (int x = 0; x < pGraphic->GetWidth(); ++x) {
            state = state * 1664525u + 1013904223u;
            DWORD v = (state >> 8) & nMask;
            if (pGraphic->GetDepth() == 32 && fTopByte) v |= (state & 0xFF) << 24;
            if (v == nKey || (fKeyed && (state >> 29) < 3)) v = nKey;
            pGraphic->SetPixelValue(x, y, v);
        }
}

std::vector<DWORD> Pixels(const Graphic& g) {
    std::vector<DWORD> v;
    for (int y = 0; y < g.GetHeight(); ++y)
        for (int x = 0; x < g.GetWidth(); ++x)
            v.push_back(g.GetPixelValue(x, y));
    return v;
}

// A root with an optional child rectangle; the graphic to draw with is the child when
// there is one.
struct Subject {
    std::unique_ptr<Graphic> pRoot;
    std::unique_ptr<Graphic> pChild;
    Subject(int cx, int cy, int nDepth, const RECT& rcChild) {
        std::vector<RGBQUAD> colors = TestColors();
        pRoot = std::make_unique<Graphic>(cx, cy, nDepth, nDepth <= 8 ? colors.data() : nullptr);
        if (HasRect(rcChild)) pChild = std::make_unique<Graphic>(pRoot.get(), &rcChild);
    }
    ~Subject() {
        pChild.reset();
        pRoot.reset();
    }
    Graphic* Get() { return pChild ? pChild.get() : pRoot.get(); }
    int xOrigin() const { return pChild ? pChildRect().left : 0; }
    int yOrigin() const { return pChild ? pChildRect().top : 0; }
    RECT pChildRect() const {
        RECT rc = {};
        pChild->GetRectInParent(&rc);
        return rc;
    }
};

// The new value of a destination pixel given the source pixel (coordinates in the graphic
// drawn) and the old value; nullopt leaves it.
using PixelOp = std::function<std::optional<DWORD>(int xSrc, int ySrc, DWORD nOld)>;

// The reference: walks the source graphic's pixels.
std::vector<DWORD> Reference(Subject& src, Subject& dst, const std::vector<DWORD>& before,
                             int xDest, int yDest, int xSrc, int ySrc, int cx, int cy,
                             const PixelOp& op) {
    std::vector<DWORD> expected = before;
    const int cxRoot = dst.pRoot->GetWidth();
    const i64 cxArea = cx == cxToEdge ? i64(INT_MAX) * 4 : cx;
    const i64 cyArea = cy == cxToEdge ? i64(INT_MAX) * 4 : cy;
    for (int sy = 0; sy < src.Get()->GetHeight(); ++sy)
        for (int sx = 0; sx < src.Get()->GetWidth(); ++sx) {
            if (sx < xSrc || sx - i64(xSrc) >= cxArea || sy < ySrc || sy - i64(ySrc) >= cyArea)
                continue;
            const i64 dx = i64(xDest) + sx - xSrc, dy = i64(yDest) + sy - ySrc;
            if (dx < 0 || dy < 0 || dx >= dst.Get()->GetWidth() || dy >= dst.Get()->GetHeight())
                continue;
            const size_t i = size_t((dy + dst.yOrigin()) * cxRoot + dx + dst.xOrigin());
            if (auto v = op(sx, sy, expected[i])) expected[i] = *v;
        }
    return expected;
}

// ---------------------------------------------------------------------------------------
// Copies: row copy, run copy, different depths

struct CopyCase {
    const char* pszName;
    int nSrcDepth, nDstDepth;
    bool fTransparent;
    RECT rcSrcChild, rcDstChild;
    int xDest, yDest, xSrc, ySrc, cx, cy;
};

// Test listings name a case instead of dumping its bytes, which change between builds.
void PrintTo(const CopyCase& c, std::ostream* pOut) {
    *pOut << c.pszName;
}

const CopyCase kCopyCases[] = {
    {"whole16", 16, 16, false, kNone, kNone, 0, 0, 0, 0, cxToEdge, cxToEdge},
    {"inside8", 8, 8, false, kNone, kNone, 3, 2, 1, 1, 5, 4},
    {"inside24", 24, 24, false, kNone, kNone, 3, 2, 1, 1, 5, 4},
    {"inside32", 32, 32, false, kNone, kNone, 3, 2, 1, 1, 5, 4},
    {"negSrc", 16, 16, false, kNone, kNone, 4, 4, -3, -2, 8, 8},
    {"negDst", 16, 16, false, kNone, kNone, -3, -5, 2, 1, 9, 9},
    {"pastRight", 16, 16, false, kNone, kNone, 12, 11, 0, 0, cxToEdge, cxToEdge},
    {"srcPastEdge", 16, 16, false, kNone, kNone, 0, 0, 12, 0, 4, 4},
    {"dstPastEdge", 16, 16, false, kNone, kNone, 16, 0, 0, 0, 4, 4},
    {"zeroSize", 16, 16, false, kNone, kNone, 0, 0, 0, 0, 0, 5},
    {"negSize", 16, 16, false, kNone, kNone, 0, 0, 0, 0, -4, 5},
    {"edgeFromOffset", 32, 32, false, kNone, kNone, 5, 3, 4, 2, cxToEdge, cxToEdge},
    {"srcChild", 16, 16, false, {2, 3, 9, 8}, kNone, 1, 1, 1, 0, cxToEdge, cxToEdge},
    {"srcChildNeg", 16, 16, false, {2, 3, 9, 8}, kNone, 1, 1, -1, -2, 20, 20},
    {"dstChild", 16, 16, false, kNone, {4, 2, 11, 9}, -1, 2, 0, 0, cxToEdge, cxToEdge},
    {"bothChildren", 24, 24, false, {1, 1, 10, 9}, {5, 5, 15, 13}, 2, -1, 0, 1, 7, 7},
    {"runs16", 16, 16, true, kNone, kNone, 2, 1, 0, 0, cxToEdge, cxToEdge},
    {"runs8", 8, 8, true, kNone, kNone, -2, 3, 1, 0, 10, 6},
    {"runs32Clip", 32, 32, true, kNone, kNone, 5, 6, 3, 2, cxToEdge, cxToEdge},
    {"runsChildren", 16, 16, true, {3, 2, 11, 10}, {2, 3, 14, 12}, 1, 2, 2, 1, 5, 6},
    {"depth4", 4, 4, false, kNone, {1, 1, 15, 13}, 3, -1, 1, 0, cxToEdge, cxToEdge},
    {"depths8to16", 8, 16, false, kNone, kNone, 1, 1, 0, 0, cxToEdge, cxToEdge},
    {"depths16to32", 16, 32, false, kNone, kNone, 2, 3, 1, 0, cxToEdge, cxToEdge},
    {"depths16to32Keyed", 16, 32, true, {1, 1, 11, 9}, {1, 2, 14, 13}, -1, 0, 0, 0, 9, 9},
    // Overflow-prone arguments.
    {"xNearMax", 16, 16, false, kNone, kNone, INT_MAX - 2, 0, 0, 0, cxToEdge, cxToEdge},
    {"srcNearMax", 16, 16, false, kNone, kNone, 0, 0, INT_MAX - 1, INT_MAX, 10, 10},
    {"srcNearMin", 16, 16, false, kNone, kNone, 0, 0, INT_MIN, INT_MIN + 3, INT_MAX, INT_MAX},
    {"dstNearMin", 16, 16, true, kNone, kNone, INT_MIN, -2, INT_MIN, 0, cxToEdge, cxToEdge},
    {"srcMinWide",
     16,
     16,
     false,
     {2, 2, 8, 8},
     kNone,
     INT_MAX,
     INT_MAX,
     INT_MIN,
     INT_MIN,
     cxToEdge,
     cxToEdge},
    {"dstMinChild", 16, 16, true, kNone, {3, 3, 9, 9}, INT_MIN + 1, 1, INT_MIN + 2, 0, cxToEdge, 5},
};

void CheckCopy(const CopyCase& c) {
    Subject src(12, 10, c.nSrcDepth, c.rcSrcChild);
    Subject dst(16, 14, c.nDstDepth, c.rcDstChild);
    Fill(src.pRoot.get(), 1, c.fTransparent);
    Fill(dst.pRoot.get(), 2, false);
    const DWORD nKey = src.pRoot->ColorToValue(kKey);
    Graphic* pSrc = src.Get();
    std::vector<DWORD> srcValues;
    std::vector<Color> srcColors;
    for (int y = 0; y < pSrc->GetHeight(); ++y)
        for (int x = 0; x < pSrc->GetWidth(); ++x) {
            srcValues.push_back(pSrc->GetPixelValue(x, y));
            srcColors.push_back(pSrc->GetPixelColor(x, y));
        }
    if (c.fTransparent) src.pRoot->SetTransparency(kKey);
    const std::vector<DWORD> before = Pixels(*dst.pRoot);
    const int cxSrc = pSrc->GetWidth();
    Graphic* pDstRoot = dst.pRoot.get();
    auto expected = Reference(src, dst, before, c.xDest, c.yDest, c.xSrc, c.ySrc, c.cx, c.cy,
                              [&](int x, int y, DWORD) -> std::optional<DWORD> {
                                  const size_t i = size_t(y * cxSrc + x);
                                  if (c.fTransparent && srcValues[i] == nKey) return std::nullopt;
                                  if (c.nSrcDepth == c.nDstDepth) return srcValues[i];
                                  return pDstRoot->ColorToValue(srcColors[i]);
                              });

    pSrc->DrawTo(dst.Get(), c.xDest, c.yDest, c.xSrc, c.ySrc, c.cx, c.cy);
    const std::vector<DWORD> after = Pixels(*dst.pRoot);
    for (size_t i = 0; i < after.size(); ++i)
        ASSERT_EQ(expected[i], after[i]) << "pixel " << i % 16 << "," << i / 16;
}

class CopyTest : public testing::TestWithParam<CopyCase> {};

TEST_P(CopyTest, MatchesReference) {
    CheckCopy(GetParam());
}

INSTANTIATE_TEST_SUITE_P(GraphicDraw, CopyTest, testing::ValuesIn(kCopyCases),
                         [](const testing::TestParamInfo<CopyCase>& info) {
                             return std::string(info.param.pszName);
                         });

// Source and destination in one bitmap: the overlap reads the original pixels.
TEST(GraphicDraw, OverlappingCopyWithinOneBitmap) {
    for (bool fTransparent : {false, true}) {
        for (int dy : {-2, 0, 2}) {
            Subject g(12, 10, 16, kNone);
            Fill(g.pRoot.get(), 3, fTransparent);
            const DWORD nKey = g.pRoot->ColorToValue(kKey);
            const std::vector<DWORD> original = Pixels(*g.pRoot);
            if (fTransparent) {
                g.pRoot->SetTransparency(kKey);
                g.pRoot->PrepareTransparency(); // the desktop zeroes the key pixels here
            }
            const std::vector<DWORD> before = Pixels(*g.pRoot);
            auto expected =
                Reference(g, g, before, 3, 3 + dy, 1, 3, 8, 5, [&](int x, int y, DWORD) {
                    const size_t i = size_t(y * 12 + x);
                    return fTransparent && original[i] == nKey ? std::nullopt
                                                               : std::optional<DWORD>(before[i]);
                });
            g.pRoot->DrawTo(g.pRoot.get(), 3, 3 + dy, 1, 3, 8, 5);
            EXPECT_EQ(expected, Pixels(*g.pRoot)) << fTransparent << " " << dy;
        }
    }
}

// ---------------------------------------------------------------------------------------
// Blends

struct BlendCase {
    const char* pszName;
    int nSrcDepth, nDstDepth;
    DWORD nMode;
    BYTE bOpacity;
    RECT rcSrcChild, rcDstChild;
    int xDest, yDest, xSrc, ySrc, cx, cy;
};

void PrintTo(const BlendCase& c, std::ostream* pOut) {
    *pOut << c.pszName;
}

const BlendCase kBlendCases[] = {
    {"u16to16", 16, 16, TRANSLUCENT_UNIFORM, 128, kNone, kNone, 1, 2, 0, 0, cxToEdge, cxToEdge},
    {"u16to16Opaque", 16, 16, TRANSLUCENT_UNIFORM, 255, kNone, kNone, 0, 0, 0, 0, cxToEdge,
     cxToEdge},
    {"u16to16Clear", 16, 16, TRANSLUCENT_UNIFORM, 0, kNone, kNone, 0, 0, 0, 0, cxToEdge, cxToEdge},
    {"u16to16Low", 16, 16, TRANSLUCENT_UNIFORM, 1, kNone, kNone, -2, 0, 0, 0, cxToEdge, cxToEdge},
    {"u8to16", 8, 16, TRANSLUCENT_UNIFORM, 77, kNone, kNone, 3, 3, 0, 0, 6, 6},
    {"u24to16", 24, 16, TRANSLUCENT_UNIFORM, 200, kNone, kNone, 5, -3, 2, 0, cxToEdge, cxToEdge},
    {"u32to16", 32, 16, TRANSLUCENT_UNIFORM, 33, kNone, kNone, 0, 0, -2, -1, 10, 10},
    {"u4to16",
     4,
     16,
     TRANSLUCENT_UNIFORM,
     180,
     {1, 1, 9, 9},
     kNone,
     0,
     0,
     0,
     0,
     cxToEdge,
     cxToEdge},
    {"map1to32", 1, 32, TRANSLUCENT_MAP, 0, kNone, kNone, 3, 2, 0, 0, cxToEdge, cxToEdge},
    {"u16to24", 16, 24, TRANSLUCENT_UNIFORM, 99, kNone, kNone, 2, 2, 0, 0, cxToEdge, cxToEdge},
    {"u8to24", 8, 24, TRANSLUCENT_UNIFORM, 255, kNone, kNone, 2, 2, 0, 0, cxToEdge, cxToEdge},
    {"u32to24", 32, 24, TRANSLUCENT_UNIFORM, 160, kNone, kNone, 10, 9, 0, 0, cxToEdge, cxToEdge},
    {"u16to32", 16, 32, TRANSLUCENT_UNIFORM, 128, kNone, kNone, 1, 1, 1, 1, 7, 5},
    {"u24to32", 24, 32, TRANSLUCENT_UNIFORM, 64, kNone, kNone, -4, -4, 0, 0, cxToEdge, cxToEdge},
    {"u32to32Opaque", 32, 32, TRANSLUCENT_UNIFORM, 255, kNone, kNone, 0, 0, 0, 0, cxToEdge,
     cxToEdge},
    {"map16to16", 16, 16, TRANSLUCENT_MAP, 0, kNone, kNone, 2, 1, 0, 0, cxToEdge, cxToEdge},
    {"map24to32", 24, 32, TRANSLUCENT_MAP, 0, kNone, kNone, 0, 0, 1, 2, 9, 6},
    {"map32to24", 32, 24, TRANSLUCENT_MAP, 0, kNone, kNone, -1, 3, 0, 0, cxToEdge, cxToEdge},
    {"mapSrcChild",
     16,
     16,
     TRANSLUCENT_MAP,
     0,
     {3, 2, 11, 9},
     kNone,
     1,
     1,
     1,
     1,
     cxToEdge,
     cxToEdge},
    {"uniformChildren",
     16,
     32,
     TRANSLUCENT_UNIFORM,
     140,
     {2, 1, 9, 9},
     {3, 4, 15, 13},
     -1,
     2,
     0,
     0,
     cxToEdge,
     cxToEdge},
    {"mapChildrenNeg",
     32,
     16,
     TRANSLUCENT_MAP,
     0,
     {1, 1, 12, 10},
     {2, 2, 14, 12},
     -2,
     -1,
     -1,
     0,
     cxToEdge,
     cxToEdge},
    {"blendNearMax", 16, 16, TRANSLUCENT_UNIFORM, 90, kNone, kNone, INT_MAX, 0, 0, 0, cxToEdge,
     cxToEdge},
    {"blendNearMin", 16, 16, TRANSLUCENT_MAP, 0, kNone, kNone, INT_MIN, INT_MIN, INT_MIN, INT_MIN,
     cxToEdge, cxToEdge},
    {"blendSrcMin",
     16,
     24,
     TRANSLUCENT_UNIFORM,
     90,
     {2, 2, 8, 8},
     kNone,
     1,
     1,
     INT_MIN,
     -1,
     INT_MAX,
     INT_MAX},
};

int Blend(int d, int s, int a) {
    return d + ((a * (s - d)) >> 8);
}

// The destination value after blending source colour clr over old value n.
DWORD Blended(int nDstDepth, DWORD n, Color clr, int a) {
    const int r = clr & 255, g = (clr >> 8) & 255, b = (clr >> 16) & 255;
    if (nDstDepth == 16) {
        const int rd = (n >> 10) & 31, gd = (n >> 5) & 31, bd = n & 31;
        return (n & 0x8000) |
               DWORD(Blend(rd, r >> 3, a) << 10 | Blend(gd, g >> 3, a) << 5 | Blend(bd, b >> 3, a));
    }
    const int rd = (n >> 16) & 255, gd = (n >> 8) & 255, bd = n & 255;
    return (n & 0xFF000000) | DWORD(Blend(rd, r, a) << 16 | Blend(gd, g, a) << 8 | Blend(bd, b, a));
}

void CheckBlend(const BlendCase& c) {
    Subject src(12, 10, c.nSrcDepth, c.rcSrcChild);
    Subject dst(16, 14, c.nDstDepth, c.rcDstChild);
    Fill(src.pRoot.get(), 4, false, true);
    Fill(dst.pRoot.get(), 5, false, true);
    ASSERT_TRUE(src.pRoot->SetTranslucency(c.nMode, c.bOpacity));
    const TRANSLUCENCY tl = src.pRoot->GetTranslucency();
    if (c.nMode == TRANSLUCENT_MAP) {
        ASSERT_NE(nullptr, tl.pbOpacity);
        for (LONG i = 0; i < tl.cRows * tl.cbRow; ++i)
            tl.pbOpacity[i] = BYTE(i % 5 == 0 ? 0 : i % 7 == 0 ? 255 : (i * 53) & 255);
    }
    Graphic* pSrc = src.Get();
    const std::vector<DWORD> before = Pixels(*dst.pRoot);
    auto expected = Reference(src, dst, before, c.xDest, c.yDest, c.xSrc, c.ySrc, c.cx, c.cy,
                              [&](int x, int y, DWORD n) -> std::optional<DWORD> {
                                  // The map is indexed relative to the graphic drawn.
                                  int a = c.nMode == TRANSLUCENT_MAP
                                              ? tl.pbOpacity[y * tl.cbRow + x]
                                              : c.bOpacity;
                                  if (a == 255) a = 256;
                                  if (a == 0) return std::nullopt;
                                  return Blended(c.nDstDepth, n, pSrc->GetPixelColor(x, y), a);
                              });
    pSrc->DrawTo(dst.Get(), c.xDest, c.yDest, c.xSrc, c.ySrc, c.cx, c.cy);
    const std::vector<DWORD> after = Pixels(*dst.pRoot);
    for (size_t i = 0; i < after.size(); ++i)
        ASSERT_EQ(expected[i], after[i]) << "pixel " << i % 16 << "," << i / 16;
    if (c.nMode == TRANSLUCENT_UNIFORM && c.bOpacity == 255 && c.nSrcDepth == c.nDstDepth &&
        c.nDstDepth == 16) {
        // Full opacity is an exact copy.
        for (int y = 0; y < pSrc->GetHeight(); ++y)
            for (int x = 0; x < pSrc->GetWidth(); ++x)
                ASSERT_EQ(pSrc->GetPixelValue(x, y), dst.Get()->GetPixelValue(x, y));
    }
}

class BlendTest : public testing::TestWithParam<BlendCase> {};

TEST_P(BlendTest, MatchesReference) {
    CheckBlend(GetParam());
}

INSTANTIATE_TEST_SUITE_P(GraphicDraw, BlendTest, testing::ValuesIn(kBlendCases),
                         [](const testing::TestParamInfo<BlendCase>& info) {
                             return std::string(info.param.pszName);
                         });

TEST(GraphicDraw, BlendIntoEightBitsNeedsAPaletteGroup) {
    Subject src(6, 6, 16, kNone);
    Subject dst(6, 6, 8, kNone);
    Fill(src.pRoot.get(), 6, false);
    Fill(dst.pRoot.get(), 7, false);
    src.pRoot->SetTranslucency(TRANSLUCENT_UNIFORM, 128);
    const std::vector<DWORD> before = Pixels(*dst.pRoot);
    src.pRoot->DrawTo(dst.pRoot.get(), 0, 0, 0, 0, cxToEdge, cxToEdge);
    EXPECT_EQ(before, Pixels(*dst.pRoot));
}

// The blended colour becomes an index through the fixed palette or the nearest-colour
// table of the destination's group.
TEST(GraphicDraw, BlendIntoPaletteGroup) {
    for (bool fFixed : {true, false}) {
        PaletteGroup group;
        ASSERT_TRUE(group.Open());
        if (fFixed) {
            group.Add(PE_FIXED_PALETTE, 0);
        } else {
            for (int i = 0; i < 40; ++i)
                group.Add(Color(((i * 47) & 255) | ((i * 91) & 255) << 8 | ((i * 13) & 255) << 16));
        }
        group.Close();
        if (!fFixed) group.BuildNearestTable();
        ASSERT_EQ(fFixed, group.IsFixedPalette());
        const BYTE* pbNearest = group.GetNearestTable();
        ASSERT_TRUE(fFixed || pbNearest);
        Graphic dst(9, 7, 8, &group);
        ASSERT_EQ(&group, dst.GetPaletteGroup());
        Subject src(9, 7, 24, kNone);
        Fill(src.pRoot.get(), 8, false);
        for (int y = 0; y < 7; ++y)
            for (int x = 0; x < 9; ++x)
                dst.SetPixelValue(x, y, DWORD((x * 29 + y * 71) & 255));
        src.pRoot->SetTranslucency(TRANSLUCENT_UNIFORM, 100);
        std::vector<DWORD> expected;
        for (int y = 0; y < 7; ++y)
            for (int x = 0; x < 9; ++x) {
                const Color d = dst.GetPixelColor(x, y), s = src.pRoot->GetPixelColor(x, y);
                auto ch = [&](int shift) {
                    return Blend((d >> shift) & 255, (s >> shift) & 255, 100);
                };
                auto x4 = [](int v) { return std::min((v + 8) >> 4, 15); };
                expected.push_back(
                    fFixed ? PaletteGroup::FixedSlotForColor(BYTE(ch(0)), BYTE(ch(8)), BYTE(ch(16)))
                           : pbNearest[x4(ch(0)) * 256 + x4(ch(8)) * 16 + x4(ch(16))]);
            }
        src.pRoot->DrawTo(&dst, 0, 0, 0, 0, cxToEdge, cxToEdge);
        EXPECT_EQ(expected, Pixels(dst)) << fFixed;
    }
}

// Arguments drawn from the awkward values: the limits, the edges, small negatives.
TEST(GraphicDraw, RandomArgumentsMatchReference) {
    const int rgPool[] = {INT_MIN, INT_MIN + 1, -13, -5, -1, 0,           1,      3,
                          7,       11,          12,  16, 17, INT_MAX - 1, INT_MAX};
    unsigned state = 12345;
    auto next = [&](unsigned n) {
        state = state * 1664525u + 1013904223u;
        return (state >> 8) % n;
    };
    auto arg = [&] { return rgPool[next(std::size(rgPool))]; };
    auto child = [&](int cx, int cy) -> RECT {
        if (next(3) == 0) return kNone;
        const int l = int(next(unsigned(cx))), t = int(next(unsigned(cy)));
        return {l, t, l + 1 + int(next(unsigned(cx - l))), t + 1 + int(next(unsigned(cy - t)))};
    };
    const int rgDepths[] = {8, 16, 24, 32};
    for (int i = 0; i < 300; ++i) {
        const int nDepth = rgDepths[next(4)];
        const RECT rcSrc = child(12, 10), rcDst = child(16, 14);
        const int xD = arg(), yD = arg(), xS = arg(), yS = arg(), cx = arg(), cy = arg();
        SCOPED_TRACE(i);
        if (next(2)) {
            CheckCopy(
                {"random", nDepth, nDepth, next(2) == 1, rcSrc, rcDst, xD, yD, xS, yS, cx, cy});
        } else {
            const DWORD nMode = next(2) ? TRANSLUCENT_MAP : TRANSLUCENT_UNIFORM;
            CheckBlend({"random", nDepth, rgDepths[1 + next(3)], nMode, BYTE(next(256)), rcSrc,
                        rcDst, xD, yD, xS, yS, cx, cy});
        }
        if (HasFatalFailure()) return;
    }
}

// ---------------------------------------------------------------------------------------
// Tiling

struct TileCase {
    const char* pszName;
    int xDest, yDest, cxDest, cyDest, xSrc, ySrc, cxSrc, cySrc, xPhase, yPhase;
};

void PrintTo(const TileCase& c, std::ostream* pOut) {
    *pOut << c.pszName;
}

const TileCase kTileCases[] = {
    {"noPhase", 0, 0, cxToEdge, cxToEdge, 0, 0, 5, 4, 0, 0},
    {"phase", 2, 1, 11, 10, 1, 2, 5, 4, 2, 3},
    {"phaseAtEnd", 1, 1, 13, 12, 0, 0, 5, 4, 4, 3},
    {"phaseBeyond", 0, 0, cxToEdge, cxToEdge, 2, 1, 4, 3, 9, 10},
    {"negativePhase", 3, 2, 10, 9, 0, 0, 5, 4, -1, -2},
    {"srcToEdge", -3, -2, 30, 30, 8, 7, cxToEdge, cxToEdge, 1, 1},
    {"negSrc", 0, 0, cxToEdge, cxToEdge, -2, -1, 6, 5, 0, 0},
    {"hugePhase", 0, 0, cxToEdge, cxToEdge, 0, 0, 1, 1, INT_MAX, INT_MIN},
    {"pastEdge", 20, 0, cxToEdge, cxToEdge, 0, 0, 5, 4, 0, 0},
    {"emptySrc", 0, 0, cxToEdge, cxToEdge, 12, 0, 5, 4, 0, 0},
};

class TileTest : public testing::TestWithParam<TileCase> {};

TEST_P(TileTest, CoversTheRectangle) {
    const TileCase& c = GetParam();
    Subject src(12, 10, 16, kNone);
    Subject dst(16, 14, 16, kNone);
    Fill(src.pRoot.get(), 9, false);
    Fill(dst.pRoot.get(), 10, false);
    std::vector<DWORD> expected = Pixels(*dst.pRoot);
    // The source area clipped to the graphic, then every destination pixel of the
    // rectangle takes the pixel its phase-shifted position falls on.
    auto clip = [](i64 pos, i64 size, i64 limit, i64* pStart) {
        const i64 end = std::min<i64>(pos + size, limit);
        *pStart = std::max<i64>(pos, 0);
        return end - *pStart;
    };
    i64 xs, ys;
    const i64 w = clip(c.xSrc, c.cxSrc == cxToEdge ? i64(INT_MAX) * 4 : c.cxSrc, 12, &xs);
    const i64 h = clip(c.ySrc, c.cySrc == cxToEdge ? i64(INT_MAX) * 4 : c.cySrc, 10, &ys);
    if (w > 0 && h > 0) {
        const i64 cx = c.cxDest == cxToEdge ? i64(INT_MAX) * 4 : c.cxDest;
        const i64 cy = c.cyDest == cxToEdge ? i64(INT_MAX) * 4 : c.cyDest;
        for (i64 y = 0; y < 14; ++y)
            for (i64 x = 0; x < 16; ++x) {
                if (x < c.xDest || x >= c.xDest + cx || y < c.yDest || y >= c.yDest + cy) continue;
                const i64 u = ((x - c.xDest + c.xPhase) % w + w) % w;
                const i64 v = ((y - c.yDest + c.yPhase) % h + h) % h;
                expected[size_t(y * 16 + x)] = src.pRoot->GetPixelValue(int(xs + u), int(ys + v));
            }
    }
    src.pRoot->TileTo(dst.pRoot.get(), c.xDest, c.yDest, c.cxDest, c.cyDest, c.xSrc, c.ySrc,
                      c.cxSrc, c.cySrc, c.xPhase, c.yPhase);
    EXPECT_EQ(expected, Pixels(*dst.pRoot));
}

INSTANTIATE_TEST_SUITE_P(GraphicDraw, TileTest, testing::ValuesIn(kTileCases),
                         [](const testing::TestParamInfo<TileCase>& info) {
                             return std::string(info.param.pszName);
                         });

// ---------------------------------------------------------------------------------------
// Device contexts and stretching

// A memory context with a 16-bit DIB section selected.
struct DibDC {
    host::HBITMAP hbm = nullptr;
    HDC hdc = nullptr;
    host::HGDIOBJ hOld = nullptr;
    BYTE* pbBits = nullptr;
    int cx, cy;
    DibDC(int cxIn, int cyIn) : cx(cxIn), cy(cyIn) {
        host::BITMAPINFO bmi = {};
        bmi.bmiHeader = {40, cx, -cy, 1, 16, host::BI_RGB, 0, 0, 0, 0, 0};
        void* pv = nullptr;
        hbm = host::CreateDIBSection(nullptr, &bmi, host::DIB_RGB_COLORS, &pv);
        pbBits = static_cast<BYTE*>(pv);
        hdc = host::CreateCompatibleDC(nullptr);
        hOld = host::SelectObject(hdc, static_cast<host::HGDIOBJ>(hbm));
    }
    ~DibDC() {
        host::SelectObject(hdc, hOld);
        host::DeleteDC(hdc);
        host::DeleteObject(hbm);
    }
    LONG Pitch() const { return ((cx * 16 + 31) / 32) * 4; }
    DWORD Get(int x, int y) const {
        const BYTE* pb = pbBits + y * Pitch() + x * 2;
        return DWORD(pb[0] | (pb[1] << 8));
    }
    void Set(int x, int y, DWORD v) {
        BYTE* pb = pbBits + y * Pitch() + x * 2;
        pb[0] = BYTE(v);
        pb[1] = BYTE(v >> 8);
    }
};

TEST(GraphicDraw, DrawToDeviceContext) {
    struct Case {
        bool fTransparent;
        RECT rcChild;
        int xDest, yDest, xSrc, ySrc, cx, cy;
    } const cases[] = {
        {false, kNone, 2, 3, 0, 0, cxToEdge, cxToEdge},
        {true, kNone, -2, 1, 0, 0, cxToEdge, cxToEdge},
        {true, {2, 1, 10, 8}, 3, 3, -1, 1, 20, 4},
        {false, kNone, INT_MAX - 3, INT_MIN, 0, 0, cxToEdge, cxToEdge},
        {true, kNone, 8, 8, INT_MIN, INT_MIN, INT_MAX, INT_MAX},
    };
    for (const Case& c : cases) {
        Subject src(12, 10, 16, c.rcChild);
        Fill(src.pRoot.get(), 11, c.fTransparent);
        const DWORD nKey = src.pRoot->ColorToValue(kKey);
        Graphic* pSrc = src.Get();
        std::vector<DWORD> srcValues;
        for (int y = 0; y < pSrc->GetHeight(); ++y)
            for (int x = 0; x < pSrc->GetWidth(); ++x)
                srcValues.push_back(pSrc->GetPixelValue(x, y));
        if (c.fTransparent) src.pRoot->SetTransparency(kKey);
        DibDC dc(16, 14);
        // The reference on a graphic of the context's size.
        Subject ref(16, 14, 16, kNone);
        for (int y = 0; y < 14; ++y)
            for (int x = 0; x < 16; ++x) {
                const DWORD v = DWORD((x * 977 + y * 131) & 0x7FFF);
                dc.Set(x, y, v);
                ref.pRoot->SetPixelValue(x, y, v);
            }
        const int cxSrc = pSrc->GetWidth();
        auto expected = Reference(src, ref, Pixels(*ref.pRoot), c.xDest, c.yDest, c.xSrc, c.ySrc,
                                  c.cx, c.cy, [&](int x, int y, DWORD) {
                                      const DWORD v = srcValues[size_t(y * cxSrc + x)];
                                      return c.fTransparent && v == nKey ? std::nullopt
                                                                         : std::optional<DWORD>(v);
                                  });
        pSrc->DrawTo(dc.hdc, c.xDest, c.yDest, c.xSrc, c.ySrc, c.cx, c.cy);
        std::vector<DWORD> after;
        for (int y = 0; y < 14; ++y)
            for (int x = 0; x < 16; ++x)
                after.push_back(dc.Get(x, y));
        EXPECT_EQ(expected, after) << c.xDest << "," << c.yDest;
    }
}

TEST(GraphicDraw, StretchToDoubles) {
    for (bool fToDC : {false, true}) {
        Subject src(5, 4, 16, kNone);
        Fill(src.pRoot.get(), 12, false);
        Subject dst(12, 10, 16, {1, 1, 12, 10});
        Fill(dst.pRoot.get(), 13, false);
        std::vector<DWORD> expected = Pixels(*dst.pRoot);
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 10; ++x)
                expected[size_t((y + 2) * 12 + x + 2)] = src.pRoot->GetPixelValue(x / 2, y / 2);
        if (fToDC) {
            HDC hdc = dst.pRoot->GetDC();
            src.pRoot->StretchTo(hdc, 2, 2, 10, 8, 0, 0, cxToEdge, cxToEdge);
            dst.pRoot->ReleaseDC();
        } else {
            src.pRoot->StretchTo(dst.Get(), 1, 1, 10, 8, 0, 0, 5, 4);
        }
        EXPECT_EQ(expected, Pixels(*dst.pRoot)) << fToDC;
    }
}

// A child destination clips the stretch to its rectangle.
TEST(GraphicDraw, StretchToChildStaysInside) {
    Subject src(4, 4, 16, kNone);
    Fill(src.pRoot.get(), 14, false);
    Subject dst(12, 10, 16, {3, 3, 7, 6});
    Fill(dst.pRoot.get(), 15, false);
    std::vector<DWORD> expected = Pixels(*dst.pRoot);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x)
            expected[size_t((y + 3) * 12 + x + 3)] =
                src.pRoot->GetPixelValue((x + 2) / 3, (y + 2) / 3);
    src.pRoot->StretchTo(dst.Get(), -2, -2, 12, 12, 0, 0, 4, 4);
    EXPECT_EQ(expected, Pixels(*dst.pRoot));
}

TEST(GraphicDraw, InvalidGraphicTraces) {
    Graphic g(4, 4, 16);
    Graphic d(4, 4, 16);
    const std::vector<DWORD> before = Pixels(d);
    g.Destroy();
    DibDC dc(4, 4);
    host::DebugCapture capture;
    g.DrawTo(&d, 0, 0, 0, 0, 4, 4);
    g.DrawTo(dc.hdc, 0, 0, 0, 0, 4, 4);
    g.StretchTo(&d, 0, 0, 2, 2, 0, 0, 4, 4);
    g.StretchTo(dc.hdc, 0, 0, 2, 2, 0, 0, 4, 4);
    g.TileTo(&d, 0, 0, 4, 4, 0, 0, 2, 2, 0, 0);
    g.TileTo(dc.hdc, 0, 0, 4, 4, 0, 0, 2, 2, 0, 0);
    const std::string text = capture.Text();
    for (const char* pszCall : {"DrawTo", "StretchTo", "TileTo"}) {
        const std::string line =
            std::string("Graphic::") + pszCall + " called on invalid graphic (0x";
        const size_t i = text.find(line);
        ASSERT_NE(std::string::npos, i) << text;
        EXPECT_NE(std::string::npos, text.find(line, i + 1)) << text;
    }
    EXPECT_EQ(before, Pixels(d));
}

} // namespace
