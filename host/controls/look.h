// The classic look of the standard controls, in one place: every control draws its frames,
// boxes, arrows, tracks and texts through these functions, so the look can change here alone.
// Colours are the system colours (GetSysColor); sizes are in pixels and the same on both
// screen profiles. All functions draw into hdc at the given client rectangle and leave the
// context's selected objects, colours and modes as they found them.
#pragma once

#include "host/gdi.h"
#include "host/types.h"

#include <string_view>

namespace host::look {

// Sizes.
constexpr int kCheckSize = 13;       // the square of a check box, the circle of a radio button
constexpr int kCheckTextGap = 4;     // between the box and its text
constexpr int kScrollArrowSize = 16; // arrow buttons of scroll bars and the drop-down button
constexpr int kMinThumbSize = 8;
constexpr int kFieldInset = 2; // a sunken field's edge (edits, lists, drop-downs)

enum class Arrow { kUp, kDown, kLeft, kRight };

// A push button: raised face filling rc (pressed: sunken, face only). A default button gets
// an extra dark outline. Returns the rectangle left for the text.
RECT DrawPushButton(HDC hdc, const RECT& rc, bool fPressed, bool fDefault);
// A check box square at box (kCheckSize wide and high): white well, sunken edge, the tick
// for BST_CHECKED, a grey tick for BST_INDETERMINATE; pressed or disabled: a face-coloured well.
void DrawCheckBox(HDC hdc, const RECT& box, UINT check, bool fPressed, bool fDisabled);
// A radio button circle at box, with the dot when checked.
void DrawRadioButton(HDC hdc, const RECT& box, bool fChecked, bool fPressed, bool fDisabled);
// A group box: an etched frame whose top edge runs through the middle of the caption line
// (cyText high), leaving a gap from xGapLeft to xGapRight for the caption.
void DrawGroupFrame(HDC hdc, const RECT& rc, int cyText, int xGapLeft, int xGapRight);
// A sunken field (edit, list box, drop-down) filled with brush, or the window colour (face
// colour when disabled) for null. Returns the interior.
RECT DrawField(HDC hdc, const RECT& rc, bool fDisabled, HBRUSH brush);
// An arrow button (scroll bars, the drop-down button): raised (sunken when pressed) with a
// solid triangle, grey when disabled.
void DrawArrowButton(HDC hdc, const RECT& rc, Arrow arrow, bool fPressed, bool fDisabled);
// A scroll bar's track (the checkered light pattern; dark when that part is pressed).
void DrawScrollTrack(HDC hdc, const RECT& rc, bool fPressed);
// A scroll bar's thumb: a raised button face.
void DrawScrollThumb(HDC hdc, const RECT& rc);
// A progress bar: sunken frame, then the part num / den (held to [0, 1]) of the inside in the
// bar colour (CLR_DEFAULT of host/controls.h or CLR_INVALID: the highlight colour), as blocks or
// smooth, left to right or (vertical) bottom to top. A started block is drawn whole.
void DrawProgress(HDC hdc, const RECT& rc, int num, int den, bool fVertical, bool fSmooth,
                  COLORREF barColour);
// Text of a control in its font (selected by the caller) with DrawText's format; disabled
// text is drawn embossed in the shadow and highlight colours. Transparent background.
// Returns DrawText's height.
int DrawControlText(HDC hdc, std::u16string_view text, RECT rc, UINT format, bool fDisabled,
                    COLORREF colour);
// The dotted focus rectangle.
void DrawFocus(HDC hdc, const RECT& rc);
// A selected item's or selected text's background and text colours.
COLORREF SelectionBackground();
COLORREF SelectionText();

// The font a control draws with: the one it was given by WM_SETFONT, else DEFAULT_GUI_FONT.
HFONT ControlFont(HFONT given);

} // namespace host::look
