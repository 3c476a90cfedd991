// The button row and the new-game dialog.
//
// The six picture buttons stand on the main animated window at depth 80, one per command
// of the main window (Undo, Redo, New game, Tutorial, Language, Exit). The animated
// buttons notify with the animated window's handle, so their notifications are sent on to
// the main window given at creation. The held-button query feeds the status line.
//
// The new-game dialog edits g_settings; OK writes them and starts a new game, Cancel
// changes nothing.
//
// Keyboard shortcuts run the same commands as the buttons; a drag in progress is cancelled
// first, and nothing runs while a modal dialog has disabled the main window.
#pragma once

#include "host/window.h"

class AnimWindow;
class AuxButton;

constexpr int cMenuButtons = 6;
constexpr host::LONG DEPTH_MENUBUTTON = 80;
constexpr host::DWORD MENU_BUTTON_STYLE = 512;

// The command of button k (0 to 5), 0 outside.
host::UINT MenuButtonCommand(int k);

// Makes the six buttons on pWindow (between BeginUpdate and EndUpdate), placed at the
// layout's button origins, with the current language's pictures; notifications go to
// hwndMain. A second call first destroys the row it made before.
void CreateButtonRow(AnimWindow* pWindow, host::HWND hwndMain);
// Gives every button the two pictures of the current language.
void AssignButtonPictures();
// Destroys the six buttons; safe when none exist.
void DestroyButtonRow();
// Index of the first button held down, or -1.
int HeldButton();
// Button k, or null (for tests and the tutorial).
AuxButton* MenuButton(int k);

// Runs the new-game dialog modally over hwndOwner: 1 after OK, 2 after Cancel (-1 when it
// could not be opened).
host::INT_PTR RunNewGameDialog(host::HINSTANCE hInstance, host::HWND hwndOwner);

// The stylus handler's "cancel the drag in progress"; returns whether one was cancelled.
using CancelDragFunc = bool (*)();
void SetCancelDrag(CancelDragFunc pfn);
// A key message (WM_KEYDOWN, WM_KEYUP) on the main window: runs its shortcut and returns
// true, or returns false for keys without one. Escape only cancels a drag.
bool HandleShortcutKey(host::HWND hwndMain, host::UINT uMsg, host::UINT vk);
