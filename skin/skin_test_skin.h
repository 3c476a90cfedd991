// A small generated skin for skinned-window tests: a framed window with see-through rounded
// corners, close and minimise boxes, a "text" nine-patch and a push button whose picture has
// two frames, so tests can tell every part apart by colour.
#pragma once

#include "skin/skin_testutil.h"

#include <functional>
#include <string>

namespace skintest {

// Colour table slots of the window skin beyond the shared ones.
constexpr std::uint8_t kCorner = 4, kEdge = 5, kBox = 6, kText = 7, kFrame0 = 8, kFrame1 = 9;

inline Bytes Layered(int cx, int cy, int cLayers,
                     const std::function<std::uint8_t(int, int, int)>& pixel) {
    pspwriter::PspImage image = TestImage(cx, cy);
    image.palette[kCorner] = {200, 40, 40};
    image.palette[kEdge] = {40, 40, 200};
    image.palette[kBox] = {240, 200, 0};
    image.palette[kText] = {220, 220, 220};
    image.palette[kFrame0] = {255, 0, 255};
    image.palette[kFrame1] = {0, 200, 0};
    for (int i = 0; i < cLayers; ++i)
        image.layers.push_back(TestLayer(cx, cy, [&](int x, int y) { return pixel(i, x, y); }));
    return PspBytes(image);
}

inline Bytes Solid(int cx, int cy, std::uint8_t i) {
    return Layered(cx, cy, 1, [i](int, int, int) { return i; });
}

// Window limits of the generated skin.
constexpr int kWindowMinX = 140, kWindowMinY = 120, kWindowMaxX = 320, kWindowMaxY = 280;
constexpr int kTitlebarHeight = 30;

// The skin package: 8 x 8 corners see-through where x + y < 3 from the outer corner, 8-pixel
// edges, 12 x 12 boxes, a 10 x 10-cell push button whose first frame is magenta and second
// green, and a white 3 x 3 "text".
inline Bytes WindowSkinPackage() {
    const std::string strText =
        "transparent color = #0000FF\nbackground color = #FFFFFF\nbackground layout = tile\n"
        "frame border = 8\ndrag by background = 0\ntitlebar height = " +
        std::to_string(kTitlebarHeight) +
        "\nframes per second = 10\n"
        "window size xminimum = " +
        std::to_string(kWindowMinX) + "\nwindow size yminimum = " + std::to_string(kWindowMinY) +
        "\nwindow size xmaximum = " + std::to_string(kWindowMaxX) +
        "\nwindow size ymaximum = " + std::to_string(kWindowMaxY) + "\n";
    return Package({
        {"skin.txt", Text(strText)},
        {"frame-c.psp", Layered(16, 16, 1,
                                [](int, int x, int y) {
                                    const int dx = x < 8 ? x : 15 - x, dy = y < 8 ? y : 15 - y;
                                    return dx + dy < 3 ? kBlue : kCorner;
                                })},
        {"frame-lr.psp", Solid(16, 8, kEdge)},
        {"frame-tb.psp", Solid(8, 16, kEdge)},
        {"background.psp", Solid(4, 4, kWhite)},
        {"frame-x.psp", Solid(12, 36, kBox)},
        {"frame-min.psp", Solid(12, 36, kBlack)},
        {"text.psp", Solid(9, 9, kText)},
        {"pbutton.psp",
         Layered(30, 40, 2, [](int i, int, int) { return i == 0 ? kFrame0 : kFrame1; })},
    });
}

} // namespace skintest
