// The program kelvano: start-up, the main window and its commands, shutdown.
//
// StartKelvano runs the start-up sequence up to the main loop: the single-instance check,
// the settings (read, or defaulted and written back on the first start), the language, the
// GUI library and the animation framework, the main window from template 111 with its
// animated window (control 1000), the loader, and the game restored or started. RunKelvano
// then plays frames until the main window is gone; its WM_DESTROY shuts everything down in
// order and writes the settings.
//
// The screen must be running (host/screen.h); the caller stops it after RunKelvano.
#pragma once

#include "host/types.h"

class AnimWindow;

// Commands of the main window besides the buttons' (resource.h): WM_USER + 101 starts the
// next game of the demo.
constexpr host::UINT WM_DEMONEXTGAME = 0x0400 + 101;
// Frames between the end of a demo game and the next game.
constexpr long DEMO_PAUSE_FRAMES = 90;

struct KELVANORUN {
    bool fSingleInstance = true; // off for the demo: it never meets the player's instance
    bool fDemo = false;          // the computer plays both sides, game after game
    // The tutorial a first start opens; off for timed runs, where nobody would close it.
    bool fFirstStartTutorial = true;
    int iDemoLayout = 0; // the demo's layout, 0 to 6
    int nDemoLevel = 2;  // the demo's strength, 1 to 3
};

// The start-up sequence. Returns the main window, or null when the program ends at once:
// another instance runs (it was told to come to the front), or a part could not be set up.
host::HWND StartKelvano(host::HINSTANCE hInstance, const KELVANORUN& run);
// Plays frames until the main window is gone (cFrames -1), or cFrames frames. Returns
// whether the main window still exists.
bool RunKelvano(long cFrames);
// StartKelvano, then RunKelvano(-1). Returns 0.
int KelvanoMain(host::HINSTANCE hInstance, const KELVANORUN& run);

// The program's state while it runs (null, false before StartKelvano and after shutdown).
host::HWND KelvanoMainWindow();
AnimWindow* KelvanoAnimWindow();
bool IsKelvanoFirstStart();
// Whether the last StartKelvano found another instance running (and told it to come to
// the front) instead of starting.
bool KelvanoFoundRunningInstance();

// The command line of the program (--help tells it); the exit status.
int KelvanoCommandLine(int argc, char** argv);
