// The logo screen: an animated logo with three sounds on the main animated window, played
// while a loader runs on a worker thread.
//
// The logo takes over the window for its run: its own palette group, callback and frame
// rate (20 a second), all given back at the end. It stays up at least two seconds after
// loading began, and five frames longer. The loader's thread never touches the window: when
// it returns it posts WM_LOGOLOADED to the window, and the window's thread schedules the end
// from its own frame counter, so that the end can never fall on a frame already played.
//
// The logo's sounds obey the settings' fSound like the game's: with it off the logo is
// silent and the sound device is not even opened.
//
// User-interface thread only, except for the loader.
#pragma once

#include "host/types.h"

class AnimWindow;

// Loads the game behind the logo, on the logo's worker thread; true on success.
using LogoLoader = bool (*)();

// Posted by the loader's thread to the animated window when the loader has returned.
constexpr host::UINT WM_LOGOLOADED = 0x8000 + 0x0B01;

// The picture (resource.h: RT_LOGO, IDR_LOGO_PICTURE) holds this many frames, stacked.
constexpr int cLogoFrames = 20;
// Timeline codes of the logo (value; the second value is the sound 1 to 3).
constexpr long LOGOEVENT_PLAY = 1000;
constexpr long LOGOEVENT_STOP = 1001;
constexpr long LOGOEVENT_LOAD = 1002;
constexpr long LOGOEVENT_DONE = 1003;

// Plays the logo on pWindow, running pfnLoader (may be null) from the start of loading.
// Returns the loader's result (true without a loader); false when a logo resource does not
// load or the logo was aborted. The window, when it still exists, has its callback, frame
// rate and the display's palette group back.
bool RunLogo(AnimWindow* pWindow, host::HINSTANCE hInstance, LogoLoader pfnLoader);
// Whether a logo is playing and not yet done.
bool IsLogoRunning();
// Shutdown during the logo: no further logo sound, the result becomes false, and the logo
// is run to its end (the loader waited for) before this returns. Nothing when no logo runs.
void AbortLogo();
