// The tutorial: a modal dialog of seven pages that teaches the rules, each with a text and a
// one-row practice strip on which the player pushes Blue pieces with the stylus.
//
// The strip is data slot 0 of the dialog's animated window (control 1000) and has a board
// display of its own, so a move on it animates, breaks and sounds there and nowhere else:
// the main board, the game's record, the settings and the saved game are never touched.
// The current page is the dialog's DWLP_USER word. A strip move is played to its end inside
// the stylus handler, which pumps messages; a page or close command arriving meanwhile is
// held and carried out once the move has ended, and the strip takes no new touch until then.
//
// User-interface thread only; one tutorial at a time.
#pragma once

#include "host/window.h"

constexpr int cTutorialPages = 7;

// Runs the tutorial over hwndOwner (disabled meanwhile) until it closes: 1 after Next on the
// last page (the Close button), else the code of the command that closed it (1 Enter,
// 2 Escape or the close box); -1 when it could not be opened or one is open already.
host::INT_PTR RunTutorial(host::HINSTANCE hInstance, host::HWND hwndOwner);

// The open tutorial dialog, or null.
host::HWND TutorialWindow();

// Called with the dialog at the end of its WM_INITDIALOG, page 0 shown. For tests, which
// drive the modal dialog from here; null (the default) for none.
using TutorialOpenHook = void (*)(host::HWND hDlg);
void SetTutorialOpenHook(TutorialOpenHook pfn);
