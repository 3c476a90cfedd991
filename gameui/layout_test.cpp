#include "gameui/layout.h"
#include "gameui/layout_test_support.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

namespace {

using gameui_test::ExpectShipped;
using gameui_test::Line;
using gameui_test::ShippedLines;

constexpr DWORD kBlue = 2;

// A 240 x 294 board whose pixels are (x + y) % 2, with marker pixels on the lines. The
// colour table holds black, grey, blue (unless fBlue is false: then a blue one step off).
struct Board {
    explicit Board(const std::vector<Line>& lines, bool fBlue = true) {
        RGBQUAD colors[256] = {};
        colors[1] = {128, 128, 128, 0};
        colors[2] = {static_cast<BYTE>(fBlue ? 255 : 254), 0, 0, 0};
        graphic = std::make_unique<Graphic>(240, 294, 8, colors);
        for (int y = 0; y < 294; ++y)
            for (int x = 0; x < 240; ++x)
                graphic->SetPixelValue(x, y, (x + y) % 2);
        for (const Line& line : lines)
            for (int x : line.xs)
                graphic->SetPixelValue(x, line.y, kBlue);
    }
    std::unique_ptr<Graphic> graphic;
};

TEST(LayoutScan, MarkerLines) {
    const struct {
        const char* name;
        std::function<void(std::vector<Line>&)> change;
        bool fOk;
        std::function<void(const LAYOUT&)> check;
    } cases[] = {
        {"shipped", [](auto&) {}, true, ExpectShipped},
        {"extra markers on lines 0, 6 and 11 are ignored",
         [](auto& l) {
             l[0].xs.push_back(230);
             l[6].xs.push_back(230);
             l[11].xs.push_back(230);
             l[12].xs.push_back(230);
         },
         true, ExpectShipped},
        {"the rightmost status marker counts",
         [](auto& l) {
             l[1].xs = {0, 17};
         },
         true, [](const LAYOUT& layout) { EXPECT_EQ(layout.ptStatus.x, 17); }},
        {"no tray line", [](auto& l) { l.pop_back(); }, false, nullptr},
        {"a fourteenth line",
         [](auto& l) {
             l.push_back({290, {1}});
         },
         false, nullptr},
        {"markers on the bottom row",
         [](auto& l) {
             l.back() = {293, {5, 124}};
         },
         true, [](const LAYOUT& layout) { EXPECT_EQ(layout.rgptTray[1].y, 293); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<Line> lines = ShippedLines();
        c.change(lines);
        Board board(lines);
        LAYOUT layout;
        EXPECT_EQ(ScanLayout(board.graphic.get(), &layout), c.fOk);
        if (c.check) c.check(layout);
        // Every marker took the colour of the pixel below it; on the bottom row, black
        // (value 0), whatever lies above.
        for (const Line& line : lines)
            for (int x : line.xs) {
                const DWORD nWant = line.y + 1 < 294 ? (x + line.y + 1) % 2 : 0;
                EXPECT_EQ(board.graphic->GetPixelValue(x, line.y), nWant) << x << "," << line.y;
            }
    }
}

TEST(LayoutScan, WithoutPureBlueThereAreNoMarkers) {
    Board board(ShippedLines(), false);
    LAYOUT layout;
    EXPECT_FALSE(ScanLayout(board.graphic.get(), &layout));
    EXPECT_EQ(board.graphic->GetPixelValue(6, 4), kBlue) << "nothing was painted over";
    EXPECT_EQ(board.graphic->GetPixelValue(0, 0), 0u);
}

TEST(LayoutScan, RefusesMissingInput) {
    LAYOUT layout;
    EXPECT_FALSE(ScanLayout(nullptr, &layout));
    Graphic empty;
    EXPECT_FALSE(ScanLayout(&empty, &layout));
    Board board(ShippedLines());
    EXPECT_FALSE(ScanLayout(board.graphic.get(), nullptr));
}

} // namespace
