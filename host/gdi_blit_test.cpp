// Blits between every pair of pixel formats, checked pixel by pixel against a plain
// reference written here from the rules in host/gdi.h.
#include "host/gdi.h"
#include "host/gdi_testutil.h"

#include <gtest/gtest.h>

#include <bit>
#include <string>
#include <vector>

namespace host {
namespace {

using test::Canvas;
using test::MakeCanvas;
using test::Randomize;
using test::TestFormat;

const TestFormat kFormats[] = {
    {"1", 1},
    {"2", 2},
    {"4", 4},
    {"8", 8},
    {"555", 16},
    {"565", 16, BI_BITFIELDS, {0xF800, 0x07E0, 0x001F}},
    {"24", 24},
    {"32", 32},
    {"32bgr", 32, BI_BITFIELDS, {0x0000FF, 0x00FF00, 0xFF0000}},
    {"mono", 1, BI_RGB, {0, 0, 0}, true},
};

// ---------------------------------------------------------------------------------------
// The reference: one pixel at a time, straight from the bytes.

struct Ref {
    PixelBuffer px;
    std::vector<BYTE> bytes; // a snapshot of the pixels
    std::vector<RGBQUAD> colors;

    explicit Ref(const Canvas& c) : px(c.px), bytes(c.px.pBits, c.px.pBits + c.Bytes()) {
        if (px.nDepth <= 8) colors.assign(px.pColors, px.pColors + (1 << px.nDepth));
        if (px.fMonochrome) colors = {{0, 0, 0, 0}, {255, 255, 255, 0}};
    }

    DWORD Mask() const {
        if (px.nDepth <= 8) return (1u << px.nDepth) - 1;
        if (px.nDepth == 16) return px.dwRedMask | px.dwGreenMask | px.dwBlueMask;
        return px.nDepth == 24 ? 0xFFFFFF : 0xFFFFFFFF;
    }
    DWORD ChannelMask(int c) const {
        if (px.nDepth == 24) return c == 0 ? 0xFF0000 : c == 1 ? 0xFF00 : 0xFF;
        return c == 0 ? px.dwRedMask : c == 1 ? px.dwGreenMask : px.dwBlueMask;
    }

    DWORD Get(int x, int y) const {
        const BYTE* row = bytes.data() + y * px.cbPitch;
        switch (px.nDepth) {
        case 32:
            return row[4 * x] | row[4 * x + 1] << 8 | row[4 * x + 2] << 16 |
                   DWORD(row[4 * x + 3]) << 24;
        case 24:
            return row[3 * x] | row[3 * x + 1] << 8 | row[3 * x + 2] << 16;
        case 16:
            return row[2 * x] | row[2 * x + 1] << 8;
        default: {
            int bit = x * px.nDepth;
            return (row[bit / 8] >> (8 - px.nDepth - bit % 8)) & Mask();
        }
        }
    }

    COLORREF Decode(DWORD v) const {
        if (px.nDepth <= 8) {
            const RGBQUAD& q = colors[v];
            return RGB(q.rgbRed, q.rgbGreen, q.rgbBlue);
        }
        BYTE ch[3];
        for (int c = 0; c < 3; ++c) {
            DWORD m = ChannelMask(c);
            int shift = std::countr_zero(m), bits = std::popcount(m);
            ch[c] = BYTE(((v & m) >> shift) << (8 - bits));
        }
        return RGB(ch[0], ch[1], ch[2]);
    }

    DWORD Encode(COLORREF cr) const {
        if (px.nDepth <= 8) {
            DWORD best = 0;
            int bestD = 1 << 30;
            for (DWORD i = 0; i < colors.size(); ++i) {
                int dr = colors[i].rgbRed - GetRValue(cr), dg = colors[i].rgbGreen - GetGValue(cr),
                    db = colors[i].rgbBlue - GetBValue(cr);
                int d = dr * dr + dg * dg + db * db;
                if (d < bestD) {
                    bestD = d;
                    best = i;
                }
            }
            return best;
        }
        BYTE ch[3] = {GetRValue(cr), GetGValue(cr), GetBValue(cr)};
        DWORD v = 0;
        for (int c = 0; c < 3; ++c) {
            DWORD m = ChannelMask(c);
            v |= DWORD(ch[c] >> (8 - std::popcount(m))) << std::countr_zero(m);
        }
        return v;
    }

    bool SameFormat(const Ref& o) const {
        if (px.nDepth != o.px.nDepth || px.fMonochrome != o.px.fMonochrome) return false;
        if (px.nDepth <= 8) {
            for (std::size_t i = 0; i < colors.size(); ++i)
                if (Decode(DWORD(i)) != o.Decode(DWORD(i))) return false;
            return true;
        }
        for (int c = 0; c < 3; ++c)
            if (ChannelMask(c) != o.ChannelMask(c)) return false;
        return true;
    }
};

// Colours the blit reads from the contexts.
struct Colors {
    COLORREF dstText = RGB(0, 0, 0), dstBk = RGB(255, 255, 255), srcBk = RGB(255, 255, 255);
};

DWORD Convert(const Ref& dst, const Ref& src, DWORD v, const Colors& colors) {
    if (src.px.fMonochrome && dst.px.fMonochrome) return v;
    if (src.px.fMonochrome) return dst.Encode(v ? colors.dstBk : colors.dstText);
    if (dst.px.fMonochrome) return v == src.Encode(colors.srcBk) ? 1 : 0;
    if (src.SameFormat(dst)) return v;
    return dst.Encode(src.Decode(v));
}

DWORD Rop(BYTE rop, DWORD p, DWORD s, DWORD d, DWORD mask) {
    DWORD r = 0;
    for (int bit = 0; bit < 32; ++bit) {
        int k = ((p >> bit) & 1) << 2 | ((s >> bit) & 1) << 1 | ((d >> bit) & 1);
        if (rop & (1 << k)) r |= 1u << bit;
    }
    return r & mask;
}

std::string Where(const TestFormat& s, const TestFormat& d) {
    return std::string(s.name) + " -> " + d.name;
}

// Compares the destination with a function giving each pixel's expected value.
template <class Expect> int CountMismatches(const Canvas& dst, Expect expect) {
    Ref after(dst);
    int bad = 0;
    for (int y = 0; y < dst.px.cy; ++y)
        for (int x = 0; x < dst.px.cx; ++x)
            if (after.Get(x, y) != expect(x, y)) {
                if (bad < 3)
                    ADD_FAILURE() << "pixel " << x << "," << y << ": " << after.Get(x, y)
                                  << " instead of " << expect(x, y);
                ++bad;
            }
    return bad;
}

// ---------------------------------------------------------------------------------------

TEST(GdiBlit, EveryRopBetweenEveryPairOfFormats) {
    const DWORD rops[] = {SRCCOPY,   SRCAND,    SRCPAINT,   SRCINVERT, NOTSRCCOPY,
                          SRCERASE,  MERGECOPY, MERGEPAINT, PATPAINT,  PATCOPY,
                          DSTINVERT, BLACKNESS, WHITENESS,  0x00B8074A};
    const COLORREF brushColor = RGB(90, 200, 30);
    HBRUSH brush = CreateSolidBrush(brushColor);
    const int cx = 13, cy = 5; // odd widths cross byte boundaries of sub-byte depths
    unsigned seed = 1;
    for (const TestFormat& sf : kFormats) {
        for (const TestFormat& df : kFormats) {
            for (DWORD rop : rops) {
                SCOPED_TRACE(Where(sf, df) + " rop " + std::to_string(rop >> 16));
                auto src = MakeCanvas(sf, cx + 4, cy + 3);
                auto dst = MakeCanvas(df, cx + 2, cy + 2);
                ASSERT_TRUE(src && dst);
                Randomize(*src, ++seed);
                Randomize(*dst, ++seed);
                Colors colors{RGB(10, 20, 30), RGB(200, 100, 50), RGB(0, 0, 0)};
                SetTextColor(dst->hdc, colors.dstText);
                SetBkColor(dst->hdc, colors.dstBk);
                SetBkColor(src->hdc, colors.srcBk);
                SelectObject(dst->hdc, brush);
                Ref s(*src), d(*dst);
                ASSERT_TRUE(BitBlt(dst->hdc, 1, 1, cx, cy, src->hdc, 3, 2, rop));
                DWORD p = d.Encode(brushColor);
                int bad = CountMismatches(*dst, [&](int x, int y) {
                    DWORD old = d.Get(x, y);
                    if (x < 1 || y < 1 || x >= 1 + cx || y >= 1 + cy) return old;
                    DWORD sv = Convert(d, s, s.Get(x + 2, y + 1), colors);
                    return Rop(BYTE(rop >> 16), p, sv, old, d.Mask());
                });
                if (bad) return;
            }
        }
    }
    DeleteObject(brush);
}

TEST(GdiBlit, IndexedToIndexedWithDifferentTablesMapsThroughColours) {
    // Source index i is colour i; the destination holds the same colours in reverse.
    std::vector<RGBQUAD> forward(256), reverse(256);
    for (int i = 0; i < 256; ++i) {
        forward[i] = {BYTE(i), BYTE(255 - i), BYTE(i / 2), 0};
        reverse[255 - i] = forward[i];
    }
    auto src = MakeCanvas({"8", 8}, 16, 16, &forward);
    auto dst = MakeCanvas({"8", 8}, 16, 16, &reverse);
    for (int i = 0; i < 256; ++i)
        src->px.pBits[(i / 16) * src->px.cbPitch + i % 16] = BYTE(i);
    ASSERT_TRUE(BitBlt(dst->hdc, 0, 0, 16, 16, src->hdc, 0, 0, SRCCOPY));
    for (int i = 0; i < 256; ++i)
        EXPECT_EQ(dst->px.pBits[(i / 16) * dst->px.cbPitch + i % 16], 255 - i);
}

TEST(GdiBlit, TransparentBetweenEveryPairOfFormats) {
    const int cx = 11, cy = 4;
    unsigned seed = 500;
    for (const TestFormat& sf : kFormats) {
        for (const TestFormat& df : kFormats) {
            SCOPED_TRACE(Where(sf, df));
            auto src = MakeCanvas(sf, cx, cy);
            auto dst = MakeCanvas(df, cx, cy);
            Randomize(*src, ++seed);
            Randomize(*dst, ++seed);
            Ref s(*src), d(*dst);
            // The key is the colour of a source pixel, so that some pixels are see-through.
            COLORREF key = s.Decode(s.Get(3, 1));
            DWORD keyValue = s.Encode(key);
            // Bits outside the colour masks (the top byte at 32 bits) never make the key.
            DWORD colourBits = 0xFFFFFFFF;
            if (sf.nDepth == 16 || sf.nDepth == 32)
                colourBits = sf.masks[0] | sf.masks[1] | sf.masks[2]
                                 ? sf.masks[0] | sf.masks[1] | sf.masks[2]
                                 : (sf.nDepth == 16 ? 0x7FFF : 0xFFFFFF);
            ASSERT_TRUE(TransparentBlt(dst->hdc, 0, 0, cx, cy, src->hdc, 0, 0, cx, cy, key));
            Colors colors;
            int bad = CountMismatches(*dst, [&](int x, int y) {
                DWORD sv = s.Get(x, y);
                return (sv & colourBits) == keyValue ? d.Get(x, y) : Convert(d, s, sv, colors);
            });
            if (bad) return;
        }
    }
}

struct StretchCase {
    int xd, yd, wd, hd, xs, ys, ws, hs;
};

TEST(GdiBlit, StretchUpDownAndMirrored) {
    const StretchCase cases[] = {
        {0, 0, 19, 11, 0, 0, 7, 4},     // up
        {1, 2, 5, 3, 0, 0, 15, 9},      // down
        {2, 1, 13, 7, 3, 2, 13, 7},     // same size: a plain copy
        {14, 0, -15, 6, 0, 0, 15, 6},   // mirrored left to right
        {0, 8, 15, -9, 0, 0, 5, 3},     // mirrored top to bottom, scaled up
        {0, 0, 12, 9, 14, 8, -10, -7},  // both mirrored through the source
        {-3, -2, 20, 14, -2, -1, 9, 6}, // partly off both surfaces
    };
    const std::pair<TestFormat, TestFormat> pairs[] = {
        {{"16", 16}, {"16", 16}}, {{"8", 8}, {"32", 32}}, {{"32", 32}, {"4", 4}},
        {{"1", 1}, {"24", 24}},   {{"24", 24}, {"8", 8}}, {{"mono", 1, 0, {}, true}, {"16", 16}},
    };
    unsigned seed = 900;
    for (const auto& [sf, df] : pairs) {
        for (const StretchCase& k : cases) {
            for (DWORD rop : {SRCCOPY, SRCAND}) {
                SCOPED_TRACE(Where(sf, df) + " case " + std::to_string(&k - cases));
                auto src = MakeCanvas(sf, 15, 9);
                auto dst = MakeCanvas(df, 17, 12);
                Randomize(*src, ++seed);
                Randomize(*dst, ++seed);
                Ref s(*src), d(*dst);
                ASSERT_TRUE(StretchBlt(dst->hdc, k.xd, k.yd, k.wd, k.hd, src->hdc, k.xs, k.ys, k.ws,
                                       k.hs, rop));
                auto span = [](int pos, int ext, int* start, int* count) {
                    *start = ext < 0 ? pos + ext + 1 : pos;
                    *count = ext < 0 ? -ext : ext;
                    return ext < 0;
                };
                int dl, dn, dt, dm, sl, sn, st, sm;
                bool fx = span(k.xd, k.wd, &dl, &dn) != span(k.xs, k.ws, &sl, &sn);
                bool fy = span(k.yd, k.hd, &dt, &dm) != span(k.ys, k.hs, &st, &sm);
                Colors colors;
                int bad = CountMismatches(*dst, [&](int x, int y) {
                    DWORD old = d.Get(x, y);
                    int i = x - dl, j = y - dt;
                    if (i < 0 || i >= dn || j < 0 || j >= dm) return old;
                    int u = (2 * i + 1) * sn / (2 * dn), v = (2 * j + 1) * sm / (2 * dm);
                    int xs = sl + (fx ? sn - 1 - u : u), ys = st + (fy ? sm - 1 - v : v);
                    if (xs < 0 || ys < 0 || xs >= 15 || ys >= 9) return old;
                    return Rop(BYTE(rop >> 16), 0, Convert(d, s, s.Get(xs, ys), colors), old,
                               d.Mask());
                });
                if (bad) return;
            }
        }
    }
}

TEST(GdiBlit, StretchedTransparentSkipsKeyPixels) {
    auto src = MakeCanvas(16, 4, 4);
    auto dst = MakeCanvas(16, 8, 8);
    auto* s = reinterpret_cast<WORD*>(src->px.pBits);
    for (int i = 0; i < 16; ++i)
        s[(i / 4) * (src->px.cbPitch / 2) + i % 4] = i % 2 ? 0x7C1F : WORD(0x0100 + i);
    std::fill_n(reinterpret_cast<WORD*>(dst->px.pBits), dst->Bytes() / 2, WORD(0x1234));
    ASSERT_TRUE(TransparentBlt(dst->hdc, 0, 0, 8, 8, src->hdc, 0, 0, 4, 4, RGB(255, 0, 255)));
    const auto* d = reinterpret_cast<const WORD*>(dst->px.pBits);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            int i = (y / 2) * 4 + x / 2;
            EXPECT_EQ(d[y * (dst->px.cbPitch / 2) + x], i % 2 ? 0x1234 : 0x0100 + i);
        }
}

// A 32-bit pixel's top byte carries no colour: a pixel of the key's colour is skipped
// whatever that byte holds, and a palette-relative key (0x02BBGGRR) names the same colour.
TEST(GdiBlit, ColourKeyIgnoresTheTopByte) {
    for (bool fStretch : {false, true}) {
        auto src = MakeCanvas(32, 4, 1);
        auto dst = MakeCanvas(32, 4, 1);
        auto* s = reinterpret_cast<DWORD*>(src->px.pBits);
        const DWORD rgSrc[4] = {0xFF0000FF, 0x000000FF, 0x80FF0000, 0x00123456};
        std::copy_n(rgSrc, 4, s);
        std::fill_n(reinterpret_cast<DWORD*>(dst->px.pBits), 4, DWORD(0x00ABCDEF));
        ASSERT_TRUE(TransparentBlt(dst->hdc, 0, 0, 4, 1, src->hdc, 0, 0, fStretch ? 2 : 4,
                                   fStretch ? 1 : 1, PALETTERGB(0, 0, 255)));
        const auto* d = reinterpret_cast<const DWORD*>(dst->px.pBits);
        if (fStretch) {
            EXPECT_EQ(d[0] & 0xFFFFFF, 0xABCDEFu);
            EXPECT_EQ(d[3] & 0xFFFFFF, 0xABCDEFu);
        } else {
            EXPECT_EQ(d[0] & 0xFFFFFF, 0xABCDEFu);
            EXPECT_EQ(d[1] & 0xFFFFFF, 0xABCDEFu);
            EXPECT_EQ(d[2] & 0xFFFFFF, 0xFF0000u);
            EXPECT_EQ(d[3] & 0xFFFFFF, 0x123456u);
        }
    }
}

TEST(GdiBlit, OverlappingCopyOnOneBitmapReadsTheOriginalPixels) {
    for (int depth : {4, 16, 24}) {
        for (std::pair<int, int> shift : {std::pair{2, 1}, {-2, -1}, {3, 0}, {0, -2}}) {
            const int dx = shift.first, dy = shift.second;
            SCOPED_TRACE(std::to_string(depth) + " by " + std::to_string(dx) + "," +
                         std::to_string(dy));
            auto c = MakeCanvas(depth, 12, 8);
            Randomize(*c, depth * 7 + dx);
            Ref before(*c);
            ASSERT_TRUE(BitBlt(c->hdc, 2 + dx, 2 + dy, 6, 4, c->hdc, 2, 2, SRCCOPY));
            CountMismatches(*c, [&](int x, int y) {
                int xs = x - dx, ys = y - dy;
                bool inside = x >= 2 + dx && x < 8 + dx && y >= 2 + dy && y < 6 + dy;
                return inside ? before.Get(xs, ys) : before.Get(x, y);
            });
        }
    }
}

TEST(GdiBlit, ClipRegionLimitsEveryBlit) {
    auto src = MakeCanvas(32, 20, 20);
    auto dst = MakeCanvas(32, 20, 20);
    Randomize(*src, 1);
    Randomize(*dst, 2);
    Ref s(*src), d(*dst);
    HRGN a = CreateRectRgn(2, 2, 10, 10), b = CreateRectRgn(6, 6, 16, 18);
    CombineRgn(a, a, b, RGN_XOR);
    EXPECT_EQ(SelectClipRgn(dst->hdc, a), COMPLEXREGION);
    ASSERT_TRUE(BitBlt(dst->hdc, 0, 0, 20, 20, src->hdc, 0, 0, SRCCOPY));
    CountMismatches(*dst,
                    [&](int x, int y) { return PtInRegion(a, x, y) ? s.Get(x, y) : d.Get(x, y); });
    DeleteObject(a);
    DeleteObject(b);
}

TEST(GdiBlit, MonochromeMaskTechnique) {
    // The classic mask: a monochrome copy with white where the image shows its key colour,
    // ANDed into the destination, then the image with its key pixels made black ORed in.
    auto image = MakeCanvas(32, 6, 1);
    const DWORD pixels[6] = {0xFF00FF, 0x102030, 0xFF00FF, 0x405060, 0x708090, 0xFF00FF};
    std::memcpy(image->px.pBits, pixels, sizeof(pixels));
    auto mask = MakeCanvas(TestFormat{"mono", 1, 0, {}, true}, 6, 1);
    SetBkColor(image->hdc, RGB(255, 0, 255));
    ASSERT_TRUE(BitBlt(mask->hdc, 0, 0, 6, 1, image->hdc, 0, 0, SRCCOPY));
    EXPECT_EQ(mask->px.pBits[0] >> 2, 0b101001);

    // Key pixels of the image to black: AND with the inverted mask (0 bits give the text
    // colour, 1 bits the background when going from monochrome to colour).
    SetTextColor(image->hdc, RGB(255, 255, 255));
    SetBkColor(image->hdc, RGB(0, 0, 0));
    ASSERT_TRUE(BitBlt(image->hdc, 0, 0, 6, 1, mask->hdc, 0, 0, SRCAND));

    auto dst = MakeCanvas(32, 6, 1);
    std::fill_n(reinterpret_cast<DWORD*>(dst->px.pBits), 6, 0x0000AA);
    SetTextColor(dst->hdc, RGB(0, 0, 0));
    SetBkColor(dst->hdc, RGB(255, 255, 255));
    ASSERT_TRUE(BitBlt(dst->hdc, 0, 0, 6, 1, mask->hdc, 0, 0, SRCAND));
    ASSERT_TRUE(BitBlt(dst->hdc, 0, 0, 6, 1, image->hdc, 0, 0, SRCPAINT));
    const DWORD expected[6] = {0x0000AA, 0x102030, 0x0000AA, 0x405060, 0x708090, 0x0000AA};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(reinterpret_cast<DWORD*>(dst->px.pBits)[i], expected[i]) << i;
}

TEST(GdiBlit, SourceOutsideItsSurfaceLeavesTheDestination) {
    auto src = MakeCanvas(8, 4, 4);
    auto dst = MakeCanvas(8, 8, 8);
    std::memset(src->px.pBits, 1, src->Bytes());
    std::memset(dst->px.pBits, 2, dst->Bytes());
    ASSERT_TRUE(BitBlt(dst->hdc, 0, 0, 8, 8, src->hdc, -2, -3, SRCCOPY));
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            EXPECT_EQ(dst->px.pBits[y * dst->px.cbPitch + x],
                      x >= 2 && x < 6 && y >= 3 && y < 7 ? 1 : 2)
                << x << "," << y;
}

TEST(GdiBlit, PixelsReadAndWrittenThroughColours) {
    struct Case {
        int depth;
        COLORREF in, out;
    };
    const Case cases[] = {
        {16, RGB(255, 255, 255), RGB(248, 248, 248)},
        {16, RGB(0x12, 0x34, 0x56), RGB(0x10, 0x30, 0x50)},
        {24, RGB(1, 2, 3), RGB(1, 2, 3)},
        {32, RGB(250, 128, 7), RGB(250, 128, 7)},
    };
    for (const Case& k : cases) {
        auto c = MakeCanvas(k.depth, 3, 3);
        EXPECT_EQ(SetPixel(c->hdc, 1, 2, k.in), k.out);
        EXPECT_EQ(GetPixel(c->hdc, 1, 2), k.out);
        EXPECT_EQ(GetPixel(c->hdc, 3, 0), CLR_INVALID);
        EXPECT_EQ(SetPixel(c->hdc, -1, 0, k.in), CLR_INVALID);
    }
    // A 5-5-5 white is 0x7FFF.
    auto c = MakeCanvas(16, 1, 1);
    SetPixel(c->hdc, 0, 0, RGB(255, 255, 255));
    EXPECT_EQ(*reinterpret_cast<WORD*>(c->px.pBits), 0x7FFF);
}

} // namespace
} // namespace host
