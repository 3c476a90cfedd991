// Shared by the dialog manager's files: the state each dialog keeps outside its window words,
// the creation from templates and the focus helpers. Written against the public host headers.
#pragma once

#include "host/dialog.h"

#include <memory>

namespace host::dlg {

struct DialogState {
    DLGPROC proc = nullptr;
    HFONT hFont = nullptr; // sent to the controls
    bool fOwnFont = false; // made from the template: deleted with the dialog
    int baseX = 6;         // base units of the dialog's font
    int baseY = 13;
    bool fModal = false;
    bool fEnded = false; // EndDialog was called
    INT_PTR result = 0;
    WORD defId = 0;           // the default push button, 0 for none
    HWND hwndFocus = nullptr; // the control to give the focus back to on activation
};

// The state of a dialog made by the dialog manager, or null. Shared so that a dialog
// destroyed inside its own procedure does not pull the state from under the caller.
std::shared_ptr<DialogState> Find(HWND hDlg);
void Attach(HWND hDlg, std::shared_ptr<DialogState> state);
void Detach(HWND hDlg);

// Registers the default dialog classes (both widths) and the standard controls, once.
bool EnsureClasses();
// The default class for a call of that width.
const char16_t* DefaultClassName(bool fWide);

// Builds the dialog: window, font, controls, WM_INITDIALOG. Null with the last error set.
HWND CreateFromTemplate(HINSTANCE hInstance, const DialogTemplate& dialogTemplate, HWND hwndOwner,
                        DLGPROC dlgProc, LPARAM initParam, bool fWide, bool fModal);

// a * b / c rounded to the nearest integer, halves away from zero; -1 when c is 0.
int MulDiv(int a, int b, int c);

// Whether a control takes part in navigation: its own visible flag (the dialog may still be
// hidden) and enabled.
bool IsNavigable(HWND hwndCtl);
// The direct child of hDlg that holds hwnd (hwnd itself, or its ancestor), or null.
HWND ControlOf(HWND hDlg, HWND hwnd);
// Moves the focus to a control as the keyboard does: the default button follows a focused
// push button, and an edit's whole text is selected.
void SetDialogFocus(HWND hDlg, HWND hwndCtl);
// Gives a push button the default look (BS_DEFPUSHBUTTON) or takes it away (BS_PUSHBUTTON),
// keeping its other styles; other controls are left alone.
void SetPushStyle(HWND hwndCtl, DWORD type);
// The control to focus when the dialog gets the focus: the remembered one while it can
// still take it, else the first tab stop.
HWND FocusCandidate(HWND hDlg);

} // namespace host::dlg
