// A small program on the screen: a captioned window with a few lines of text and a
// rectangle that moves by a fixed step every frame. It shows that the screen works end to
// end, and its screenshot is checked by the tests.
#pragma once

#include "host/screen.h"

#include <string>

namespace example {

constexpr int kFrameMs = 33;
constexpr int kStep = 4; // pixels per frame
constexpr int kRectWidth = 40;
constexpr int kRectHeight = 30;
constexpr host::COLORREF kBackground = host::RGB(248, 248, 248);
constexpr host::COLORREF kRectColour = host::RGB(0, 64, 200);
constexpr host::COLORREF kTextColour = host::RGB(0, 0, 0);
inline constexpr char kTitle[] = "Example";
inline constexpr char kText[] = "Kelvano screen example. The rectangle below moves on its own.";

// The band the text is drawn in, and where the rectangle is in a frame (client
// coordinates). The rectangle travels left and right across the client area, turning at
// the edges.
host::RECT TextRect(const host::RECT& client);
host::RECT RectangleAt(int frame, const host::RECT& client);

// Draws the whole client area of a frame.
void PaintScene(host::HDC hdc, const host::RECT& client, int frame);

// Starts the screen with the options, shows the window over the work area and moves the
// rectangle every kFrameMs milliseconds. After cFrames frames (0: never) it saves the
// screen to screenshotPath (when not empty) and closes; closing the window ends it too.
// Returns the process exit code: 0, or 1 when the screen or the window cannot be made or
// the screenshot cannot be written.
int RunExample(const host::ScreenOptions& options, int cFrames, const std::string& screenshotPath);

} // namespace example
