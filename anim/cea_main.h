// Start-up of the animation framework and its millisecond clock.
#pragma once

#include "host/types.h"

// Start-up flag: force the display's depth to 8 (palette display).
constexpr host::DWORD ANIM_FORCE_8BIT = 0x1;

// Registers the window classes "AnimWindow" (arrow cursor) and "AnimWindowNoCursor",
// starts the millisecond clock and creates the Display. Runs once; later calls return the
// first result. 1 on success.
int AnimStartup(host::HINSTANCE hInstance, host::DWORD dwFlags);
// Destroys the Display and unregisters nothing (the classes live as long as the process).
// Lets a later AnimStartup run again (tests).
void AnimShutdown();

// The millisecond clock: a running total built from the high-resolution counter when it
// exists, else the tick count.
host::DWORD GetMilliseconds();
// Probes the counter (AnimStartup does it); again after switching the host's clock.
void InitMilliseconds();
