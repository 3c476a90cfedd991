// The screen: one pixel surface of a fixed size and depth, and a small window manager.
//
// Top-level windows share the screen surface in Z order. Each window draws straight into it
// through its device contexts (GetDC, GetWindowDC, BeginPaint), which are offset to the
// window and clipped to what of it is visible: the parts covered by windows above it, by
// its siblings above it, by the taskbar, and the parts outside its window region are left
// out. What a window uncovers is repainted through the window service's invalidation; the
// screen itself paints only what belongs to no client area: the desktop, the caption bars
// (with the title and, for WS_SYSMENU, the close box) and the device's taskbar. Siblings
// above a child always clip it; a parent's contexts leave its children out only with
// WS_CLIPCHILDREN, as the window service's invalidation expects.
//
// Profiles. The device profile is a 240 x 320 screen (16 bits, 5-5-5, by default) with the
// taskbar: a plain strip in its last TASKBAR_HEIGHT rows showing the time (hours and
// minutes of local time; on the virtual clock, of the tick count), drawn above every window
// and taking their input; the work area is the screen less the strip. The desktop
// profile is an 800 x 600 screen at 32 bits whose work area is the whole screen. Either takes
// 8, 16 or 32 bits. On an 8-bit screen the pixels are indices into the screen's palette,
// which follows the last logical palette realised on a window or screen context
// (RealizePalette): a 256-entry palette replaces it entry for entry, a shorter one fills the
// entries from 10 on and leaves the 20 static colours.
//
// Backends. SDL2 shows the screen in a real window scaled by a whole factor; mouse buttons,
// motion and the wheel reach the windows through PostMouseInput (screen coordinates are
// window coordinates divided by the scale), keys through PostKeyInput, and closing the SDL
// window posts WM_CLOSE to the program's main window (SetScreenMainWindow, else the first
// top-level window shown that still exists; without one, WM_QUIT), so the program ends
// through its normal shutdown. The SDL window is updated only when something was drawn.
// Its events are read while the screen's thread waits for messages (the window service's
// message-wait pump) and by PumpScreen. The headless backend shows nothing: tests inject
// input with PostMouseInput / PostKeyInput, read pixels and save screenshots.
//
// Threads. Call InitScreen and ShutdownScreen on the thread that runs the windows' message
// loop (the SDL window is read there). Windows of any thread may draw; the device contexts
// handed out follow the window's position and what covers it at every drawing call.
#pragma once

#include "host/gdi.h"
#include "host/types.h"
#include "host/window.h"

#include <cstdint>
#include <string>

namespace host {

enum class ScreenProfile { kDevice, kDesktop };
enum class ScreenBackendKind {
    kAuto,     // SDL2 when a display is available (DISPLAY or WAYLAND_DISPLAY), else headless
    kSdl,      // fails to start without a display
    kHeadless, // no output
};

struct ScreenOptions {
    ScreenProfile profile = ScreenProfile::kDevice;
    ScreenBackendKind backend = ScreenBackendKind::kAuto;
    UINT nDepth = 0; // 8, 16 or 32; 0: the profile's (device 16, desktop 32)
    int nScale = 0;  // 1 to 8; 0: for the device in a window, the largest whole factor that
                     // fits the desktop's usable area comfortably, else 1
    std::string title = "Kelvano"; // the SDL window's title
};

// The options with the environment laid over them (invalid values are reported on the
// debug output and ignored):
//   KELVANO_BACKEND=sdl|headless   KELVANO_PROFILE=device|desktop
//   KELVANO_DEPTH=8|16|32          KELVANO_SCALE=1..8
ScreenOptions ScreenOptionsFromEnvironment(ScreenOptions defaults);
// The backend InitScreen starts for these options: kAuto is SDL when a display is available
// (DISPLAY or WAYLAND_DISPLAY is set), else headless.
ScreenBackendKind ResolveScreenBackend(const ScreenOptions& options);

// Starts the screen: creates the surface, installs the window manager hooks (and, for
// SDL, the message-wait pump of the calling thread), tells the drawing service the display
// format, and marks every window for repainting. Fails when a screen is already running,
// the options are invalid, or the SDL backend was asked for and cannot start (kAuto then
// falls back to headless). The options are taken as given: programs pass them through
// ScreenOptionsFromEnvironment, tests do not.
bool InitScreen(const ScreenOptions& options);
// Stops the screen: removes the hooks and the pump, deletes the device contexts still
// handed out and the window regions, restores the display palette, closes the SDL window.
void ShutdownScreen();
bool IsScreenRunning();

// What is running (the options after defaults and fall-back), or the defaults when nothing is.
ScreenOptions GetScreenOptions();

// ---------------------------------------------------------------------------------------
// Metrics

constexpr int TASKBAR_HEIGHT = 26;

constexpr int SM_CXSCREEN = 0;
constexpr int SM_CYSCREEN = 1;
constexpr int SM_CXVSCROLL = 2;
constexpr int SM_CYHSCROLL = 3;
constexpr int SM_CYCAPTION = 4;
constexpr int SM_CXBORDER = 5;
constexpr int SM_CYBORDER = 6;
constexpr int SM_CXDLGFRAME = 7;
constexpr int SM_CYDLGFRAME = 8;
constexpr int SM_CYVTHUMB = 9;
constexpr int SM_CXHTHUMB = 10;
constexpr int SM_CXICON = 11;
constexpr int SM_CYICON = 12;
constexpr int SM_CXCURSOR = 13;
constexpr int SM_CYCURSOR = 14;
constexpr int SM_CYMENU = 15;
constexpr int SM_CXFULLSCREEN = 16;
constexpr int SM_CYFULLSCREEN = 17;
constexpr int SM_CYVSCROLL = 20;
constexpr int SM_CXHSCROLL = 21;
constexpr int SM_CXFRAME = 32;
constexpr int SM_CYFRAME = 33;
constexpr int SM_CXDOUBLECLK = 36;
constexpr int SM_CYDOUBLECLK = 37;
constexpr int SM_CMOUSEBUTTONS = 43;
constexpr int SM_CXEDGE = 45;
constexpr int SM_CYEDGE = 46;
constexpr int SM_CXSMICON = 49;
constexpr int SM_CYSMICON = 50;
constexpr int SM_CXMAXIMIZED = 61;
constexpr int SM_CYMAXIMIZED = 62;
constexpr int SM_CXVIRTUALSCREEN = 78;
constexpr int SM_CYVIRTUALSCREEN = 79;
constexpr int SM_CMONITORS = 80;

// The value for the running screen (the device profile's when none runs); 0 for an unknown
// index. Windows have no borders here: the border and frame sizes are those of the classic
// one-pixel lines that controls draw. SM_CYFULLSCREEN and SM_CYMAXIMIZED are the work
// area's height less the caption bar, and its height.
int GetSystemMetrics(int index);

constexpr UINT SPI_GETWORKAREA = 0x0030;
// SPI_GETWORKAREA: *(RECT*)pvParam receives the work area. Other actions fail.
BOOL SystemParametersInfo(UINT uiAction, UINT uiParam, void* pvParam, UINT fWinIni);

// ---------------------------------------------------------------------------------------
// Device contexts of windows

// A context on the window's client area (null: the whole screen, above every window). Give
// it back with ReleaseDC; it stops working when the window is destroyed or the screen stops.
// Null while no screen runs or for a bad window.
HDC GetDC(HWND hwnd);
// The same for the whole window rectangle, caption bar included.
HDC GetWindowDC(HWND hwnd);
// 1 when the context was one of hwnd's (or the screen's for null) and is now deleted, else 0.
int ReleaseDC(HWND hwnd, HDC hdc);

// ---------------------------------------------------------------------------------------
// Window regions

// Gives the window a region (window coordinates: origin at the window rectangle's top
// left); null removes it. The window shows and takes input only inside it, and what lies
// beneath the rest shows through. On success (nonzero) the screen owns the region: the
// caller must not use or delete it. With fRedraw the window and what its old shape covered
// are repainted. Returns 0, and the caller keeps the region, for a bad window or region or
// while no screen runs (regions live as long as the screen and the window).
int SetWindowRgn(HWND hwnd, HRGN hrgn, BOOL fRedraw);
// Copies the window's region into hrgn: its type, or ERROR when the window has none.
int GetWindowRgn(HWND hwnd, HRGN hrgn);

// ---------------------------------------------------------------------------------------
// Full screen

// Sizes the window (without changing its Z order or activation) to the work area, or with
// fHideTaskbar to the whole screen; with fHideTaskbar the taskbar also stays hidden while
// this window is the active window, and comes back when another window is activated, the
// window is hidden or destroyed, or it is made full screen without fHideTaskbar. The
// caller brings the window to the front (SetWindowPos, SetForegroundWindow).
BOOL SetFullScreen(HWND hwnd, bool fHideTaskbar);
// Whether the device's taskbar is currently shown (false on the desktop profile).
bool IsTaskbarShown();

// The shell's calls for palm-size dialogs and full-screen programs (screen_shell.cpp), with
// the device's meaning. On the desktop profile they size to the work area and never hide a
// taskbar. The input panel and the start icon do not exist here: their flags are accepted
// and ignored.
struct SHINITDLGINFO {
    DWORD dwMask; // SHIDIM_FLAGS: dwFlags is valid
    HWND hDlg;
    DWORD dwFlags;
};
constexpr DWORD SHIDIM_FLAGS = 0x0001;
constexpr DWORD SHIDIF_DONEBUTTON = 0x0001;
constexpr DWORD SHIDIF_SIZEDLG = 0x0002;
constexpr DWORD SHIDIF_SIZEDLGFULLSCREEN = 0x0004;
constexpr DWORD SHIDIF_SIPDOWN = 0x0008;
constexpr DWORD SHIDIF_FULLSCREENNOMENUBAR = 0x0010;
// With a sizing flag (SHIDIF_SIZEDLG, SHIDIF_SIZEDLGFULLSCREEN, SHIDIF_FULLSCREENNOMENUBAR;
// there is no menu bar, so all three mean the same) the dialog takes the whole work area,
// as SetFullScreen without fHideTaskbar: a taskbar this window hid comes back. Z order and
// activation stay. FALSE for a null record, a bad window or a mask without SHIDIM_FLAGS.
BOOL SHInitDialog(const SHINITDLGINFO* pshidi);

constexpr DWORD SHFS_SHOWTASKBAR = 0x0001;
constexpr DWORD SHFS_HIDETASKBAR = 0x0002;
constexpr DWORD SHFS_SHOWSIPBUTTON = 0x0004;
constexpr DWORD SHFS_HIDESIPBUTTON = 0x0008;
constexpr DWORD SHFS_SHOWSTARTICON = 0x0010;
constexpr DWORD SHFS_HIDESTARTICON = 0x0020;
// SHFS_HIDETASKBAR: SetFullScreen(hwnd, true) on the device (the window covers the whole
// screen, the taskbar hides while it is active); SHFS_SHOWTASKBAR: SetFullScreen(hwnd,
// false). Neither: nothing changes. FALSE (ERROR_INVALID_PARAMETER) for both at once, or
// for a bad window.
BOOL SHFullScreen(HWND hwnd, DWORD dwState);

// The window whose WM_CLOSE closing the SDL window sends (null: the first top-level window
// shown that still exists).
void SetScreenMainWindow(HWND hwnd);

// ---------------------------------------------------------------------------------------
// Presentation and inspection

// Paints what the window manager still owes (caption bars, desktop, taskbar and its clock)
// and hands what changed since the last presentation to the backend. Returns false when
// nothing had changed. The SDL backend presents by itself while the thread waits.
bool PresentScreen();
// Reads the backend's input now and presents what changed (SDL; nothing for headless).
void PumpScreen();
// How many presentations happened since the screen started.
std::uint64_t GetScreenPresentCount();

// A pixel of the screen surface, as GetPixel reads it (16 bits: each field shifted left by
// 3; 8 bits: the palette's colour); CLR_INVALID outside the screen or without one. The
// window manager's own painting is brought up to date first.
COLORREF GetScreenPixel(int x, int y);
// A pixel of the last presented picture (0x00RRGGBB, at the scale: 16-bit fields are
// widened to 8 bits, so white is 0x00FFFFFF), or 0xFFFFFFFF outside it.
DWORD GetPresentedPixel(int x, int y);
// The screen surface as a bitmap (owned by the screen; valid until it stops), brought up to
// date first. Select it into nothing: copy from it with a screen context (GetDC(nullptr)).
HBITMAP GetScreenBitmap();
// Writes the screen, brought up to date, as a PNG file (8-bit RGB, read as GetScreenPixel).
bool SaveScreenshot(const std::string& path);

// The SDL_Window* of the SDL backend, or null.
void* GetScreenNativeWindow();

} // namespace host
