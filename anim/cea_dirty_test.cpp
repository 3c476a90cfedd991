#include "anim/cea_dirty.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <tuple>
#include <vector>

namespace {

using host::RECT;

using Box = std::tuple<int, int, int, int>;

std::vector<Box> Sorted(const std::vector<RECT>& rects) {
    std::vector<Box> out;
    for (const RECT& rc : rects) {
        out.emplace_back(rc.left, rc.top, rc.right, rc.bottom);
    }
    std::sort(out.begin(), out.end());
    return out;
}

std::vector<Box> Rects(const DirtyRegion& region) {
    std::vector<RECT> rects;
    for (host::DWORD i = 0; i < region.GetCount(); ++i) {
        rects.push_back(*region.Get(i));
    }
    return Sorted(rects);
}

struct MergeCase {
    const char* name;
    std::vector<RECT> added;
    std::vector<RECT> expected;
};

TEST(DirtyRegion, MergesOverlapsButNotTouchingRectangles) {
    const MergeCase cases[] = {
        {"overlap", {{0, 0, 10, 10}, {5, 5, 20, 20}}, {{0, 0, 20, 20}}},
        {"touching edge", {{0, 0, 10, 10}, {10, 0, 20, 10}}, {{0, 0, 10, 10}, {10, 0, 20, 10}}},
        {"touching corner", {{0, 0, 10, 10}, {10, 10, 20, 20}}, {{0, 0, 10, 10}, {10, 10, 20, 20}}},
        {"bridge", {{0, 0, 10, 10}, {20, 0, 30, 10}, {5, 2, 25, 8}}, {{0, 0, 30, 10}}},
        {"bridge of three",
         {{0, 0, 10, 10}, {20, 0, 30, 10}, {40, 0, 50, 10}, {5, 4, 45, 6}},
         {{0, 0, 50, 10}}},
        // The union with the first grows into a rectangle the new one never touched.
        {"cascade", {{0, 0, 10, 10}, {12, 8, 20, 20}, {5, 5, 14, 6}}, {{0, 0, 20, 20}}},
        {"contained", {{0, 0, 10, 10}, {2, 2, 3, 3}}, {{0, 0, 10, 10}}},
        {"container", {{2, 2, 3, 3}, {7, 7, 8, 8}, {0, 0, 10, 10}}, {{0, 0, 10, 10}}},
        {"empty ignored",
         {{0, 0, 10, 10}, {5, 5, 5, 20}, {3, 9, 40, 9}, {9, 9, 1, 1}},
         {{0, 0, 10, 10}}},
        {"disjoint kept", {{0, 0, 5, 5}, {6, 6, 9, 9}}, {{0, 0, 5, 5}, {6, 6, 9, 9}}},
    };
    for (const MergeCase& c : cases) {
        DirtyRegion region;
        for (const RECT& rc : c.added) {
            EXPECT_EQ(region.Add(&rc), 1) << c.name;
        }
        EXPECT_EQ(Rects(region), Sorted(c.expected)) << c.name;
    }
}

TEST(DirtyRegion, GrowsPastItsStepAndClears) {
    DirtyRegion region;
    EXPECT_TRUE(region.IsEmpty());
    for (int i = 0; i < 40; ++i) {
        RECT rc = {i * 2, 0, i * 2 + 1, 1};
        region.Add(&rc);
    }
    ASSERT_EQ(region.GetCount(), 40u);
    EXPECT_EQ(region.Get(39)->left, 78);
    EXPECT_EQ(region.Get(40), nullptr);
    region.Clear();
    EXPECT_TRUE(region.IsEmpty());
    EXPECT_EQ(region.Get(0), nullptr);
    RECT rc = {1, 1, 2, 2};
    region.Add(&rc);
    EXPECT_EQ(region.GetCount(), 1u);
}

// Against a pixel set: stored rectangles never overlap, cover every added pixel, and stay
// within the bounding box of what was added.
TEST(DirtyRegion, RandomAdditionsNeverOverlapAndCoverEverything) {
    constexpr int kSize = 48;
    std::mt19937 rng(20261208);
    std::uniform_int_distribution<int> pos(-4, kSize + 4);
    for (int round = 0; round < 200; ++round) {
        DirtyRegion region;
        std::vector<bool> added(kSize * kSize + 0, false);
        RECT rcBounds = {kSize, kSize, 0, 0};
        int cAdds = 1 + round % 25;
        for (int n = 0; n < cAdds; ++n) {
            int x0 = std::clamp(pos(rng), 0, kSize), x1 = std::clamp(pos(rng), 0, kSize);
            int y0 = std::clamp(pos(rng), 0, kSize), y1 = std::clamp(pos(rng), 0, kSize);
            // Mostly small rectangles, so that many stay apart.
            RECT rc = {std::min(x0, x1), std::min(y0, y1), std::min(x0, x1) + std::abs(x1 - x0) / 4,
                       std::min(y0, y1) + std::abs(y1 - y0) / 4};
            region.Add(&rc);
            if (rc.right > rc.left && rc.bottom > rc.top) {
                for (int y = rc.top; y < rc.bottom; ++y)
                    for (int x = rc.left; x < rc.right; ++x)
                        added[y * kSize + x] = true;
                rcBounds = {std::min(rcBounds.left, rc.left), std::min(rcBounds.top, rc.top),
                            std::max(rcBounds.right, rc.right),
                            std::max(rcBounds.bottom, rc.bottom)};
            }
        }
        std::vector<int> cover(kSize * kSize, 0);
        for (host::DWORD i = 0; i < region.GetCount(); ++i) {
            const RECT& rc = *region.Get(i);
            ASSERT_LT(rc.left, rc.right);
            ASSERT_LT(rc.top, rc.bottom);
            ASSERT_GE(rc.left, rcBounds.left);
            ASSERT_GE(rc.top, rcBounds.top);
            ASSERT_LE(rc.right, rcBounds.right);
            ASSERT_LE(rc.bottom, rcBounds.bottom);
            for (int y = rc.top; y < rc.bottom; ++y)
                for (int x = rc.left; x < rc.right; ++x)
                    ++cover[y * kSize + x];
        }
        for (int p = 0; p < kSize * kSize; ++p) {
            ASSERT_LE(cover[p], 1)
                << "overlap at " << p % kSize << "," << p / kSize << " round " << round;
            if (added[p]) {
                ASSERT_EQ(cover[p], 1)
                    << "lost " << p % kSize << "," << p / kSize << " round " << round;
            }
        }
    }
}

} // namespace
