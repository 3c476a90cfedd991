// The skinned message box: a SkinWindow named "Message" (so a skin can style it with
// "Message ..." keys and pictures) holding the skin's icon, the text and one to three push
// buttons, run modally.
//
// Choices this file fixes:
// - Buttons come from the low four bits of the flags and the icon from bits 4 to 7, so
//   other bits (MB_DEFBUTTON2, MB_TOPMOST, ...) change neither. MB_DEFBUTTONn makes the
//   n-th button the default (Enter) and focused one when the box has it, else the first.
// - Layout, inside the frame borders: a margin of 16 all round; the icon at (16, 16), the
//   text 16 right of it (at 16 without an icon), at least 200 wide and as wide as the
//   button row needs; the buttons 16 below the lower of text and icon, 16 above the
//   bottom, the first at the right margin and each next one 8 to its left.
// - All buttons of a box are one width: the widest label plus the text borders and a
//   6-pixel pad on its right, within 40 to 74. A label still too wide takes the overflow
//   out of the left text border (down to 0); only one wider than 74 less the right border
//   and pad is cut at the button's right text border.
// - The title, the text and the button labels go to the debugger channel in the form of
//   the host's message boxes, before the box runs, so unattended runs show what was asked.
// - Commands other than the box's buttons are ignored; Escape and WM_CLOSE give IDCANCEL
//   only when the box has a close box (all but MB_YESNO).
// - The box is owned by the active window, which is disabled while it runs.
// - A skin that lacks a picture the window needs (its frame, "pbutton", "frame-x") throws
//   the skin's exception, as a SkinWindow does; a missing icon only leaves the icon out.
#pragma once

#include "skin/skin.h"

// Shows a skinned message box and returns the pressed button's result id (IDOK 1, IDCANCEL 2,
// IDYES 6, IDNO 7); 0 when the box could not be made.
int SkinMessageBox(SKIN* pSkin, UINT uFlags, const cetl::string& strTitle,
                   const cetl::string& strText);

// The control ids of the box's parts besides the buttons (whose ids are their result ids)
// and the close box (SKIN_CLOSE_ID).
constexpr int SKINMSGBOX_ICON_ID = 40010;
constexpr int SKINMSGBOX_TEXT_ID = 40011;
