// Region operations checked against sets of grid points.
#include "host/gdi.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

namespace host {
namespace {

constexpr int kGrid = 24;
using Grid = std::vector<bool>; // kGrid x kGrid points, row-major

Grid FromRegion(HRGN hrgn) {
    Grid g(kGrid * kGrid);
    for (int y = 0; y < kGrid; ++y)
        for (int x = 0; x < kGrid; ++x)
            g[y * kGrid + x] = PtInRegion(hrgn, x, y);
    return g;
}

Grid FromRect(const RECT& rc) {
    Grid g(kGrid * kGrid);
    for (int y = 0; y < kGrid; ++y)
        for (int x = 0; x < kGrid; ++x)
            g[y * kGrid + x] = x >= rc.left && x < rc.right && y >= rc.top && y < rc.bottom;
    return g;
}

Grid Apply(const Grid& a, const Grid& b, int mode) {
    Grid g(a.size());
    for (std::size_t i = 0; i < a.size(); ++i) {
        switch (mode) {
        case RGN_AND:
            g[i] = a[i] && b[i];
            break;
        case RGN_OR:
            g[i] = a[i] || b[i];
            break;
        case RGN_XOR:
            g[i] = a[i] != b[i];
            break;
        case RGN_DIFF:
            g[i] = a[i] && !b[i];
            break;
        default:
            g[i] = a[i];
        }
    }
    return g;
}

// The stored rectangles must be banded, sorted, disjoint and not mergeable sideways.
void ExpectCanonical(HRGN hrgn) {
    std::vector<RECT> rects = GetRegionRects(hrgn);
    for (std::size_t i = 0; i < rects.size(); ++i) {
        const RECT& r = rects[i];
        EXPECT_LT(r.left, r.right);
        EXPECT_LT(r.top, r.bottom);
        if (i == 0) continue;
        const RECT& p = rects[i - 1];
        if (p.top == r.top) {
            EXPECT_EQ(p.bottom, r.bottom);
            EXPECT_LT(p.right, r.left) << "touching rectangles in one band";
        } else {
            EXPECT_GE(r.top, p.bottom) << "overlapping bands";
        }
    }
}

RECT RandomRect(std::mt19937& random) {
    int x0 = random() % kGrid, x1 = random() % kGrid, y0 = random() % kGrid, y1 = random() % kGrid;
    return {std::min(x0, x1), std::min(y0, y1), std::max(x0, x1) + 1, std::max(y0, y1) + 1};
}

TEST(GdiRegion, CombineMatchesPointSets) {
    std::mt19937 random(7);
    const int modes[] = {RGN_AND, RGN_OR, RGN_XOR, RGN_DIFF, RGN_COPY};
    for (int round = 0; round < 100; ++round) {
        // Two regions built from several rectangles each, then combined.
        HRGN a = CreateRectRgn(0, 0, 0, 0), b = CreateRectRgn(0, 0, 0, 0);
        Grid ga(kGrid * kGrid), gb(kGrid * kGrid);
        for (int k = 0; k < 3; ++k) {
            RECT ra = RandomRect(random), rb = RandomRect(random);
            int ma = modes[random() % 4], mb = modes[random() % 4];
            HRGN t = CreateRectRgnIndirect(&ra);
            CombineRgn(a, a, t, ma);
            ga = Apply(ga, FromRect(ra), ma);
            SetRectRgn(t, rb.left, rb.top, rb.right, rb.bottom);
            CombineRgn(b, b, t, mb);
            gb = Apply(gb, FromRect(rb), mb);
            DeleteObject(t);
        }
        for (int mode : modes) {
            SCOPED_TRACE("round " + std::to_string(round) + " mode " + std::to_string(mode));
            HRGN out = CreateRectRgn(0, 0, 0, 0);
            int type = CombineRgn(out, a, b, mode);
            Grid expected = Apply(ga, gb, mode);
            ASSERT_EQ(FromRegion(out), expected);
            ExpectCanonical(out);
            std::size_t c = GetRegionRects(out).size();
            EXPECT_EQ(type, c == 0 ? NULLREGION : c == 1 ? SIMPLEREGION : COMPLEXREGION);
            DeleteObject(out);
        }
        DeleteObject(a);
        DeleteObject(b);
    }
}

TEST(GdiRegion, DestinationMayBeASource) {
    HRGN a = CreateRectRgn(0, 0, 10, 10), b = CreateRectRgn(5, 5, 15, 15);
    EXPECT_EQ(CombineRgn(a, a, b, RGN_OR), COMPLEXREGION);
    EXPECT_EQ(CombineRgn(b, a, b, RGN_DIFF), COMPLEXREGION);
    EXPECT_TRUE(PtInRegion(b, 0, 0));
    EXPECT_FALSE(PtInRegion(b, 7, 7));
    EXPECT_EQ(CombineRgn(a, a, a, RGN_XOR), NULLREGION);
    DeleteObject(a);
    DeleteObject(b);
}

TEST(GdiRegion, SameSetBuiltTwoWaysIsEqual) {
    // An L shape from two overlapping rectangles, and from two disjoint ones.
    HRGN a = CreateRectRgn(0, 0, 4, 10), b = CreateRectRgn(0, 6, 10, 10);
    CombineRgn(a, a, b, RGN_OR);
    HRGN c = CreateRectRgn(0, 0, 4, 6), d = CreateRectRgn(0, 6, 10, 10);
    CombineRgn(c, c, d, RGN_OR);
    EXPECT_TRUE(EqualRgn(a, c));
    EXPECT_EQ(GetRegionRects(a).size(), 2u);
    OffsetRgn(c, 1, 0);
    EXPECT_FALSE(EqualRgn(a, c));
    RECT box;
    EXPECT_EQ(GetRgnBox(c, &box), COMPLEXREGION);
    EXPECT_EQ(box.left, 1);
    EXPECT_EQ(box.top, 0);
    EXPECT_EQ(box.right, 11);
    EXPECT_EQ(box.bottom, 10);
    for (HRGN h : {a, b, c, d})
        DeleteObject(h);
}

TEST(GdiRegion, RectInRegionFindsAnyOverlap) {
    HRGN h = CreateRectRgn(10, 10, 20, 20);
    RECT inside{12, 12, 13, 13}, touching{20, 10, 25, 20}, across{0, 0, 11, 11};
    EXPECT_TRUE(RectInRegion(h, &inside));
    EXPECT_FALSE(RectInRegion(h, &touching));
    EXPECT_TRUE(RectInRegion(h, &across));
    DeleteObject(h);
}

std::vector<BYTE> MakeRgnData(const std::vector<RECT>& rects, DWORD dwSize = 32,
                              DWORD iType = RDH_RECTANGLES) {
    std::vector<BYTE> data(sizeof(RGNDATAHEADER) + rects.size() * sizeof(RECT));
    RGNDATAHEADER rdh{dwSize,
                      iType,
                      static_cast<DWORD>(rects.size()),
                      static_cast<DWORD>(rects.size() * sizeof(RECT)),
                      {0, 0, 0, 0}};
    std::memcpy(data.data(), &rdh, sizeof(rdh));
    std::memcpy(data.data() + sizeof(rdh), rects.data(), rects.size() * sizeof(RECT));
    return data;
}

TEST(GdiRegion, FromRunsOfPixels) {
    // A disc's opaque runs, one rectangle per row, in any order and partly overlapping.
    std::vector<RECT> rects;
    Grid expected(kGrid * kGrid);
    for (int y = 0; y < kGrid; ++y) {
        int half = 0;
        while ((half + 1) * (half + 1) + (y - 12) * (y - 12) < 100)
            ++half;
        if (!half) continue;
        rects.push_back({12 - half, y, 12 + half, y + 1});
        rects.push_back({12, y, 12 + half, y + 1}); // overlaps the first
        for (int x = 12 - half; x < 12 + half; ++x)
            expected[y * kGrid + x] = true;
    }
    rects.push_back({3, 3, 3, 9}); // empty: ignored
    std::reverse(rects.begin(), rects.end());
    std::vector<BYTE> data = MakeRgnData(rects);
    HRGN h = ExtCreateRegion(nullptr, static_cast<DWORD>(data.size()),
                             reinterpret_cast<RGNDATA*>(data.data()));
    ASSERT_TRUE(h);
    EXPECT_EQ(FromRegion(h), expected);
    ExpectCanonical(h);

    // And back out through GetRegionData.
    DWORD cb = GetRegionData(h, 0, nullptr);
    std::vector<BYTE> out(cb);
    EXPECT_EQ(GetRegionData(h, cb - 1, reinterpret_cast<RGNDATA*>(out.data())), 0u);
    ASSERT_EQ(GetRegionData(h, cb, reinterpret_cast<RGNDATA*>(out.data())), cb);
    HRGN copy = ExtCreateRegion(nullptr, cb, reinterpret_cast<RGNDATA*>(out.data()));
    EXPECT_TRUE(EqualRgn(h, copy));
    DeleteObject(h);
    DeleteObject(copy);
}

TEST(GdiRegion, MalformedRegionDataIsRejected) {
    std::vector<RECT> rects = {{0, 0, 5, 5}, {2, 2, 8, 8}};
    struct Case {
        const char* what;
        std::vector<BYTE> data;
        DWORD cb;
    };
    std::vector<BYTE> good = MakeRgnData(rects);
    std::vector<BYTE> badSize = MakeRgnData(rects, 40);
    std::vector<BYTE> badType = MakeRgnData(rects, 32, 2);
    std::vector<BYTE> tooMany = good;
    DWORD huge = 0x10000000;
    std::memcpy(tooMany.data() + 8, &huge, 4);
    const Case cases[] = {
        {"short buffer", good, static_cast<DWORD>(good.size() - 1)},
        {"header size", badSize, static_cast<DWORD>(badSize.size())},
        {"type", badType, static_cast<DWORD>(badType.size())},
        {"count past the end", tooMany, static_cast<DWORD>(tooMany.size())},
        {"no header", good, 31},
    };
    for (const Case& k : cases)
        EXPECT_EQ(ExtCreateRegion(nullptr, k.cb, reinterpret_cast<const RGNDATA*>(k.data.data())),
                  nullptr)
            << k.what;
    EXPECT_EQ(ExtCreateRegion(&rects, static_cast<DWORD>(good.size()),
                              reinterpret_cast<const RGNDATA*>(good.data())),
              nullptr)
        << "transforms are not supported";
}

} // namespace
} // namespace host
