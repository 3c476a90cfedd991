// The layout of the shipped board image, for the tests of the scan and of the image.
#pragma once

#include "gameui/layout.h"

#include <gtest/gtest.h>

#include <vector>

namespace gameui_test {

struct Line {
    int y;
    std::vector<int> xs;
};

// The shipped screen: the buttons, the status line, the nine board rows, lost pieces, trays.
inline std::vector<Line> ShippedLines() {
    std::vector<Line> lines = {{4, {6, 45, 84, 123, 162, 201}}, {36, {0}}};
    for (int r = 0; r < 9; ++r) {
        const int first = r < 4 ? 4 - r : r - 4;
        Line line{64 + 21 * r, {}};
        for (int c = first; c <= 16 - first; c += 2)
            line.xs.push_back(14 + 12 * c);
        lines.push_back(line);
    }
    lines.push_back({267, {5, 22, 39, 56, 73, 90, 125, 142, 159, 176, 193, 210}});
    lines.push_back({277, {4, 124}});
    return lines;
}

inline void ExpectShipped(const LAYOUT& layout) {
    const std::vector<Line> lines = ShippedLines();
    for (int k = 0; k < cLayoutButtons; ++k) {
        EXPECT_EQ(layout.rgptButton[k].x, lines[0].xs[k]);
        EXPECT_EQ(layout.rgptButton[k].y, 4);
    }
    EXPECT_EQ(layout.ptStatus.x, 0);
    EXPECT_EQ(layout.ptStatus.y, 36);
    for (int r = 0; r < cLayoutRows; ++r)
        for (int c = 0; c < cLayoutColumns; ++c) {
            const bool fCell = (c + r) % 2 == 0 && c >= (r < 4 ? 4 - r : r - 4) &&
                               c <= 16 - (r < 4 ? 4 - r : r - 4);
            const host::POINT pt = layout.rgptCell[r][c];
            EXPECT_EQ(pt.x, fCell ? 14 + 12 * c : 0) << r << "," << c;
            EXPECT_EQ(pt.y, fCell ? 64 + 21 * r : 0) << r << "," << c;
        }
    for (int k = 0; k < cLayoutLost; ++k) {
        EXPECT_EQ(layout.rgptLost[k].x, lines[11].xs[k]);
        EXPECT_EQ(layout.rgptLost[k].y, 267);
    }
    EXPECT_EQ(layout.rgptTray[0].x, 4);
    EXPECT_EQ(layout.rgptTray[1].x, 124);
    EXPECT_EQ(layout.rgptTray[1].y, 277);
}

} // namespace gameui_test
