#include "anim/cea_main.h"

#include "anim/cea_display.h"
#include "anim/cea_window.h"
#include "foundation/tchar.h"
#include "host/clock.h"
#include "host/thread.h"
#include "host/window.h"

#include <cstdint>

using host::DWORD;

namespace {

bool g_fStarted = false;
bool g_fClassesRegistered = false;
int g_nStartResult = 0;

// The clock's running total and the counter reading it was last brought up to date with.
std::int64_t g_nFrequency = 0;
std::int64_t g_nLastCount = 0;
DWORD g_msTotal = 0;
bool g_fVirtualClock = false;
host::CriticalSection g_clockLock;

int RegisterAnimClass(host::HINSTANCE hInstance, const TCHAR* pszName, host::HCURSOR hCursor) {
    host::WNDCLASST<TCHAR> wc = {};
    wc.style = host::CS_VREDRAW | host::CS_HREDRAW | host::CS_DBLCLKS | host::CS_GLOBALCLASS;
    wc.lpfnWndProc = &AnimWindow::WindowProc;
    wc.cbWndExtra = sizeof(AnimWindow*);
    wc.hInstance = hInstance;
    wc.hCursor = hCursor;
    wc.hbrBackground = nullptr;
    wc.lpszClassName = pszName;
    return host::RegisterClass(&wc) != 0;
}

} // namespace

static_assert((host::CS_VREDRAW | host::CS_HREDRAW | host::CS_DBLCLKS | host::CS_GLOBALCLASS) ==
              0x400B);

int AnimStartup(host::HINSTANCE hInstance, DWORD dwFlags) {
    if (g_fStarted) {
        return g_nStartResult;
    }
    g_fStarted = true;
    g_nStartResult = 0;
    // The classes outlive a shutdown (tests start up again).
    if (!g_fClassesRegistered) {
        if (!RegisterAnimClass(hInstance, ANIMWINDOW_CLASS,
                               host::LoadCursor(nullptr, host::IDC_ARROW)) ||
            !RegisterAnimClass(hInstance, ANIMWINDOW_NOCURSOR_CLASS, nullptr)) {
            return 0;
        }
        g_fClassesRegistered = true;
    }
    InitMilliseconds();
    if (CreateDisplay((dwFlags & ANIM_FORCE_8BIT) != 0) == nullptr) {
        return 0;
    }
    g_nStartResult = 1;
    return 1;
}

void AnimShutdown() {
    DestroyDisplay();
    g_fStarted = false;
    g_nStartResult = 0;
}

static void ProbeCounter() {
    g_fVirtualClock = host::IsVirtualClock();
    host::LARGE_INTEGER li = {};
    if (host::QueryPerformanceFrequency(&li) && li.QuadPart > 0) {
        g_nFrequency = li.QuadPart;
        host::QueryPerformanceCounter(&li);
        g_nLastCount = li.QuadPart;
        // Continue from the tick count so that the two sources read alike.
        g_msTotal = host::GetTickCount();
    } else {
        g_nFrequency = 0;
    }
}

void InitMilliseconds() {
    host::CriticalSectionLock lock(g_clockLock);
    ProbeCounter();
}

DWORD GetMilliseconds() {
    host::CriticalSectionLock lock(g_clockLock);
    // A switch between the real and the virtual clock changes the counter's origin.
    if (host::IsVirtualClock() != g_fVirtualClock) {
        ProbeCounter();
    }
    if (g_nFrequency == 0) {
        return host::GetTickCount();
    }
    host::LARGE_INTEGER li = {};
    host::QueryPerformanceCounter(&li);
    std::int64_t cTicks = li.QuadPart - g_nLastCount;
    if (cTicks < 0) {
        ProbeCounter();
        return g_msTotal;
    }
    std::int64_t ms = cTicks * 1000 / g_nFrequency;
    // Only whole milliseconds are consumed: the remainder counts towards the next reading.
    g_nLastCount += ms * g_nFrequency / 1000;
    g_msTotal += static_cast<DWORD>(ms);
    return g_msTotal;
}
