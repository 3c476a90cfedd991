// The GUI library: the window classes of the handheld program's plumbing, single instance,
// and the full-screen and bring-to-front operations of the palm-size screen.
//
//     if (cetl::FindRunningInstance(TEXT("Kelvano CE"), &running)) {
//         cetl::PostToRunningInstance(running, 1003); // it brings itself to the front
//         return 0;
//     }
//     cetl::GuiLibInit(hInstance);
//     cetl::GuiLibRegisterClass(TEXT("KelvanoClass"), hIcon);
//     ... WM_INITDIALOG: cetl::PublishMainWindow(TEXT("Kelvano CE"), hwnd);
//     ... WM_ACTIVATE:   cetl::GuiLibFullScreen(hwnd, false);
//
// Classes are registered in the build's native text width.
#pragma once

#include "foundation/tchar.h"
#include "foundation/tl_string.h"
#include "host/types.h"
#include "host/window.h"

namespace cetl {

inline constexpr TCHAR kGuiLibDefDlgClassName[] = TEXT("GuiLibDefDlgClass");
inline constexpr TCHAR kColorButtonClassName[] = TEXT("ColorButton");
inline constexpr TCHAR kEtchedLineClassName[] = TEXT("EtchedLine");

// The class style of GuiLibRegisterClass when none is given: global, horizontal and
// vertical redraw.
constexpr host::UINT kGuiLibClassStyle = 0x4003;
constexpr int kGuiLibWndExtra = 32;

// Remembers the program's instance and registers, in this order, "GuiLibDefDlgClass",
// "ColorButton", StaticEx and "EtchedLine". A class that is already registered counts as
// done, so a second call succeeds too; false only when a class can be neither registered
// nor found.
bool GuiLibInit(host::HINSTANCE hInstance);
// The instance GuiLibInit remembered (null before).
host::HINSTANCE GuiLibInstance();

// Registers a class with the system's default dialog procedure, the given style
// (kGuiLibClassStyle for 0), no class bytes, kGuiLibWndExtra window bytes, the instance
// GuiLibInit remembered, the icon, the arrow cursor, no brush and no menu. The class atom,
// or 0 (the last error says why, ERROR_CLASS_ALREADY_EXISTS when the name is taken).
host::ATOM GuiLibRegisterClass(const TCHAR* pszClass, host::HICON hIcon, host::UINT nStyle = 0);

// Places the window as a full-screen dialog (the whole work area, no menu bar), then hides
// the taskbar (fHideTaskbar) or shows it, with the input panel button hidden, and brings the
// window to the front.
void GuiLibFullScreen(host::HWND hwnd, bool fHideTaskbar);
// Makes the window topmost, then not topmost (neither moved nor resized), then the
// foreground window.
void GuiLibBringToFront(host::HWND hwnd);

// ---- Single instance ----
//
// Per program name N: a mutex "N Mutex" guards the search; a hidden message window titled
// "N IPC" marks the running instance, and its first window word holds the main window once
// PublishMainWindow has been called. Windows of another process cannot be read here, so the
// message window is also published across processes under its title, and the main window
// under N itself.

// How to reach a running instance: through hwndMain when it runs in this process, through
// its name when another process publishes its main window. Neither: it is still starting
// (its main window was not published in time) and cannot be reached.
struct RUNNINGINSTANCE {
    host::HWND hwndMain = nullptr; // its main window, in this process
    bool fOtherProcess = false;    // another process publishes its main window under strName
    string strName;                // the program name
};

// True when an instance of the program runs, or is starting: its message window exists but
// its main window is not yet published. Another process is then given up to two seconds
// (real time) to publish it; when it does not, the instance still counts as running but
// cannot be posted to. When nothing runs, this call makes the message window, so that the
// caller is the running instance from now on, and returns false.
bool FindRunningInstance(const TCHAR* pszName, RUNNINGINSTANCE* pInstance);

// Posts WM_COMMAND (MAKEWPARAM(nId, 0), 0) to the running instance's main window; false
// when it has none (yet) or the post fails.
bool PostToRunningInstance(const RUNNINGINSTANCE& instance, host::WORD nId);

// Stores hwnd in the first word of the program's message window and publishes it across
// processes. False when this process has no message window for the name.
bool PublishMainWindow(const TCHAR* pszName, host::HWND hwnd);

// Gives up this process's claim to be the running instance: the message window and both
// publications go, so an instance started while this one shuts down starts normally. False
// when this process held no claim for the name.
bool ReleaseRunningInstance(const TCHAR* pszName);

// ---- ColorButton ----
//
// A push button showing a colour swatch. A click opens a modal colour dialog (basic colours,
// the 16 custom colours of the registry, "Add to Custom Colors", OK and Cancel); OK stores
// the chosen colour and sends BN_CLICKED to the parent. The colour lives in the first window
// word.

// Registers "ColorButton" with kColorButtonWndExtra window bytes (GuiLibInit does).
bool RegisterColorButton(host::HINSTANCE hInstance);
constexpr int kColorButtonWndExtra = 12;

// Sets the colour (word parameter, a COLORREF) and repaints; returns the previous colour.
constexpr host::UINT CBM_SETCOLOR = host::WM_USER + 0x20;
// Returns the colour.
constexpr host::UINT CBM_GETCOLOR = host::WM_USER + 0x21;

constexpr int kCustomColors = 16;
// Reads the value "Custom Colors" (REG_BINARY, 16 COLORREFs) under
// "HKCU\Software\Vantor\Common". A missing, short, long or mistyped value gives white slots
// and false.
bool ReadCustomColors(host::COLORREF rgcr[kCustomColors]);
bool WriteCustomColors(const host::COLORREF rgcr[kCustomColors]);

} // namespace cetl
