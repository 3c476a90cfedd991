// Dialogs: windows built from dialog templates, and the calls that work on their controls.
//
// A dialog is a top-level window (or, with WS_CHILD / DS_CONTROL, a child) of the template's
// class, "#32770" when the template names none, whose controls are created from the template's
// items in template order. Each new control is put below the ones before it, so the first
// control of the template is on top (GW_CHILD returns it). The dialog procedure runs inside
// the class's window procedure, which must be DefDlgProc (the default dialog class's is; a
// program's own dialog class registers DefDlgProc as its procedure).
//
// Dialog units. A template's coordinates are dialog units of its font: x pixels =
// MulDiv(x, baseX, 4), y pixels = MulDiv(y, baseY, 8). The base units are fixed, not measured,
// so that layouts do not depend on the faces installed: 6 x 13 for an 8-point dialog font,
// scaled in proportion to the template's point size (rounded) for other sizes; a template
// without a font uses the 8-point units. The text is drawn with the template's face
// (through the host's face mapping) at the template's size.
//
// Placement. On the device profile a dialog with a caption (WS_CAPTION) fills the work area
// (the screen above the taskbar) under its caption bar, with a close box; when its template
// is taller than that client area, its vertical unit shrinks (to whole pixels per 8 units)
// until it fits, so a 160 x 180 template keeps every control above the taskbar. A pop-up
// without a caption takes its template size at the top-left of the work area, and an edge that the
// conversion leaves less than one dialog unit short of the work area's edge is moved onto it
// (so 160 x 180 units come to the whole 240 x 294 work area, not 240 x 293). On the desktop
// profile a dialog is centred on its owner, or on the work area when it has none; a
// DS_ABSALIGN dialog keeps the template's position in screen coordinates.
//
// State. The dialog manager keeps its state (dialog procedure, result, default button,
// font, ...) outside the window words, so classes with fewer extra bytes than
// DLGWINDOWEXTRA work. DWLP_MSGRESULT and DWLP_USER are ordinary window words the program
// reads and writes; DefDlgProc returns the DWLP_MSGRESULT word for a message the dialog
// procedure handled when the class has that word, and clears it before each call (the
// WM_CTLCOLOR* messages and WM_INITDIALOG answer with the procedure's own return value).
// WM_GETFONT answers the dialog's font; the background is filled with the brush that
// WM_CTLCOLORDLG returns (the button face by default), whatever the class's brush.
//
// Messages. WM_SETFONT goes to every control, whatever its class, before WM_INITDIALOG; the
// dialog procedure then gets WM_INITDIALOG with the focus candidate (the first WS_TABSTOP
// control) in the word parameter and the initialisation value in the long parameter; a
// non-zero answer gives that control the focus. A close (WM_CLOSE, the caption's close box,
// the screen window's close button) becomes WM_COMMAND IDCANCEL, unless the dialog has an
// IDCANCEL control that is disabled.
//
// Keyboard. IsDialogMessage handles Tab / Shift+Tab (next or previous WS_TABSTOP control),
// the arrow keys (within a WS_GROUP group, radio buttons are checked as they get the focus),
// Enter (the focused push button, else the default one, else IDOK) and Escape (IDCANCEL),
// unless the focus control asks for the key through WM_GETDLGCODE. A radio group is one tab
// stop, landing on its checked button. A disabled button is not pressed by its key. Modal dialogs
// call it in their loop; a modeless dialog gets keyboard navigation only when its owner's message
// loop calls it.
#pragma once

#include "host/controls.h"
#include "host/gdi.h"
#include "host/msgbox.h"
#include "host/resource.h"
#include "host/types.h"
#include "host/window.h"

#include <string>
#include <string_view>

namespace host {

using DLGPROC = INT_PTR (*)(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam);

// The default dialog class, registered with 16-bit names and DLGWINDOWEXTRA extra bytes.
// Text width belongs to a class, so the 8-bit calls use its 8-bit twin, WC_DIALOG_8BIT.
inline constexpr char16_t WC_DIALOG[] = u"#32770";
inline constexpr char WC_DIALOG_8BIT[] = "#32770A";

// Template styles.
constexpr DWORD DS_ABSALIGN = 0x0001;
constexpr DWORD DS_SYSMODAL = 0x0002;
constexpr DWORD DS_3DLOOK = 0x0004;
constexpr DWORD DS_FIXEDSYS = 0x0008;
constexpr DWORD DS_NOFAILCREATE = 0x0010;
constexpr DWORD DS_LOCALEDIT = 0x0020;
constexpr DWORD DS_SETFONT = 0x0040;
constexpr DWORD DS_MODALFRAME = 0x0080;
constexpr DWORD DS_NOIDLEMSG = 0x0100;
constexpr DWORD DS_SETFOREGROUND = 0x0200;
constexpr DWORD DS_CONTROL = 0x0400;
constexpr DWORD DS_CENTER = 0x0800;
constexpr DWORD DS_CENTERMOUSE = 0x1000;
constexpr DWORD DS_CONTEXTHELP = 0x2000;
constexpr DWORD DS_SHELLFONT = DS_SETFONT | DS_FIXEDSYS;

// The default push button.
constexpr UINT DM_GETDEFID = WM_USER + 0; // returns MAKELRESULT(id, DC_HASDEFID), or 0
constexpr UINT DM_SETDEFID = WM_USER + 1;
constexpr WORD DC_HASDEFID = 0x534B;

constexpr DWORD ERROR_CALL_NOT_IMPLEMENTED = 120;
constexpr DWORD ERROR_RESOURCE_TYPE_NOT_FOUND = 1813;

// ---- Creating dialogs ----
//
// The template is RT_DIALOG `name` of hInstance in the current thread's resource language
// (LoadDialogTemplate's fallbacks), or a template already in memory. The 16-bit calls make
// 16-bit windows of the default class, the 8-bit calls 8-bit ones; a template naming its
// class gets that class's width. Creation fails (null, with the last error) when the
// template is missing or damaged, a class is not registered, or WM_INITDIALOG's creation
// of a control fails; a control whose class is unknown fails the whole dialog unless the
// template has DS_NOFAILCREATE. hwndOwner owns a top-level dialog and is the parent of a
// child one (WS_CHILD, or DS_CONTROL, which also drops the caption). Last errors:
// ERROR_RESOURCE_NAME_NOT_FOUND (no template), ERROR_INVALID_DATA (damaged template),
// ERROR_CLASS_DOES_NOT_EXIST (a class is not registered), or the window service's.

// Modeless: returns the dialog, shown if the template has WS_VISIBLE.
HWND CreateDialogParam(HINSTANCE hInstance, const char16_t* name, HWND hwndOwner, DLGPROC dlgProc,
                       LPARAM initParam);
HWND CreateDialogParam(HINSTANCE hInstance, const char* name, HWND hwndOwner, DLGPROC dlgProc,
                       LPARAM initParam);
HWND CreateDialogIndirectParam(HINSTANCE hInstance, const DialogTemplate& dialogTemplate,
                               HWND hwndOwner, DLGPROC dlgProc, LPARAM initParam);

// Modal: runs the dialog with its owner disabled until EndDialog, then destroys it and
// returns EndDialog's result; -1 when the dialog could not be made. A WM_QUIT during the
// loop ends it with 0 and is posted again for the caller's loop.
INT_PTR DialogBoxParam(HINSTANCE hInstance, const char16_t* name, HWND hwndOwner, DLGPROC dlgProc,
                       LPARAM initParam);
INT_PTR DialogBoxParam(HINSTANCE hInstance, const char* name, HWND hwndOwner, DLGPROC dlgProc,
                       LPARAM initParam);
INT_PTR DialogBoxIndirectParam(HINSTANCE hInstance, const DialogTemplate& dialogTemplate,
                               HWND hwndOwner, DLGPROC dlgProc, LPARAM initParam);

// Tests of a program's fallback from the 16-bit dialog calls: with false, the two 16-bit
// name calls above fail with ERROR_CALL_NOT_IMPLEMENTED, as on systems without them.
void SetWideDialogCallsAvailable(bool fAvailable);

// Ends a dialog: a modal one's loop returns result after the current message and the
// dialog is destroyed; a modeless one is only hidden (its owner destroys it). False for a
// window that is not a dialog.
BOOL EndDialog(HWND hDlg, INT_PTR result);

// The default processing of a dialog's class: calls the dialog procedure, then does the
// dialog's own handling of what it left (keyboard focus, default button, close, colours)
// and DefWindowProc's. Safe on windows of a dialog class made without a template.
LRESULT DefDlgProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam);

// True when hDlg is a dialog made by the calls above (still alive).
bool IsDialog(HWND hDlg);

// ---- Dialog units ----

// Converts a rectangle from the dialog's units to pixels in place.
BOOL MapDialogRect(HWND hDlg, RECT* prc);
// The base units of a dialog made without a font: MAKELONG(6, 13).
LONG GetDialogBaseUnits();

// ---- Controls by identifier ----

BOOL SetDlgItemText(HWND hDlg, int id, std::string_view text);
BOOL SetDlgItemText(HWND hDlg, int id, std::u16string_view text);
UINT GetDlgItemText(HWND hDlg, int id, char* buffer, int cchMax);
UINT GetDlgItemText(HWND hDlg, int id, char16_t* buffer, int cchMax);
BOOL SetDlgItemInt(HWND hDlg, int id, UINT value, BOOL fSigned);
// *pfOk (optional) is FALSE when the text is not a number in range.
UINT GetDlgItemInt(HWND hDlg, int id, BOOL* pfOk, BOOL fSigned);
LRESULT SendDlgItemMessage(HWND hDlg, int id, UINT uMsg, WPARAM wParam, LPARAM lParam);

// Buttons: BM_SETCHECK / BM_GETCHECK on the control.
BOOL CheckDlgButton(HWND hDlg, int id, UINT check);
UINT IsDlgButtonChecked(HWND hDlg, int id);
// Checks idCheck and unchecks the other radio buttons whose ids lie in idFirst..idLast.
BOOL CheckRadioButton(HWND hDlg, int idFirst, int idLast, int idCheck);

// The next (or previous) control in the tab order / in the group of hwndCtl, wrapping.
HWND GetNextDlgTabItem(HWND hDlg, HWND hwndCtl, BOOL fPrevious);
HWND GetNextDlgGroupItem(HWND hDlg, HWND hwndCtl, BOOL fPrevious);

// Keyboard navigation for a message taken from the queue: true when it was meant for hDlg
// (or one of its controls) and has been dealt with (translated and dispatched as needed).
BOOL IsDialogMessage(HWND hDlg, MSG* pMsg);

// ---- The drawn message box ----
//
// The responder that draws message boxes (host/msgbox.h) as modal dialogs: the caption, the
// icon of the MB_ICON flags, the text wrapped at word boundaries, and the buttons of the
// MB_ type with the MB_DEFBUTTON default; Escape and the close box answer IDCANCEL when the
// box has a Cancel button (IDNO for Yes/No, IDOK for OK alone). It works on any thread: the
// box is made and run on the thread that asks. InitScreen installs it when the screen has a
// real backend; headless runs keep the configured responder.
MessageBoxResponder* DrawnMessageBoxResponder();

} // namespace host
