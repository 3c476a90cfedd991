// A small program on the animation framework: balls glide along scheduled paths over a
// shaded background while a spinner sprite turns, at 30 frames per second. It shows the
// window, the objects and the timeline working together, and its test checks the frame
// rate that the window measures and the picture at every screen depth.
#pragma once

#include "host/screen.h"

namespace animdemo {

constexpr double kFramesPerSecond = 30;
constexpr int kBalls = 5;
constexpr int kBallSize = 23;
constexpr int kSpinnerSize = 32;
constexpr int kSpinnerFrames = 8;
constexpr int kLapFrames = 90; // one glide there and back
constexpr host::COLORREF kBallColours[kBalls] = {host::RGB(220, 40, 40), host::RGB(40, 200, 60),
                                                 host::RGB(60, 90, 230), host::RGB(230, 200, 40),
                                                 host::RGB(200, 60, 210)};

// Where a ball is in a frame, in the window's client area (the window fills the screen
// above the taskbar).
host::RECT BallRect(int iBall, long iFrame);

struct Result {
    int nExitCode = 0;
    long cFramesPlayed = 0;
    double dMeasuredRate = 0; // frames per second measured by the window
};

// Starts the screen with the options and plays cFrames frames (0: until the window is
// closed), on a palette screen with the fixed palette as the system group; saves the screen to
// pszScreenshot when given, prints the measured frame rate and closes.
Result RunAnimDemo(const host::ScreenOptions& options, long cFrames,
                   const char* pszScreenshot = nullptr);

// The program: reads the command line (--help, --frames N, --screenshot FILE), runs the
// demo and returns the exit code (2 for bad usage, which includes a run without a frame
// limit on a headless screen).
int Main(int argc, char** argv);

} // namespace animdemo
