// Shared by the standard controls' files: the registration of each class. Controls use only
// the public host headers (window.h, gdi.h, controls.h) and look.h.
#pragma once

#include "host/gdi.h"
#include "host/window.h"

#include <string>

namespace host::controls {

DWORD StyleOf(HWND hwnd);
std::u16string TextOf(HWND hwnd);
// WM_COMMAND to the parent (if any) with the control's id, the code and the control's handle.
void NotifyParent(HWND hwnd, WORD code);
// The parent's answer to a WM_CTLCOLOR* message for hdc: a brush, or null for the look's own.
HBRUSH AskParentBrush(HWND hwnd, HDC hdc, UINT ctlColorMsg);
// The height of a row of text in the font (list items): the font's height and 2 pixels.
int RowHeight(HFONT font);

// Each registers one class with 16-bit names; false when the name is taken.
bool RegisterButtonClass();
bool RegisterStaticClass();
bool RegisterEditClass();
bool RegisterListBoxClass();
bool RegisterComboBoxClass(); // also the pop-up list's class
bool RegisterScrollBarClass();
bool RegisterProgressClass();

} // namespace host::controls
