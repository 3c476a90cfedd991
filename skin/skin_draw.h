// Drawing skinned controls from their picture cells, and the one text drawer.
//
// Every call draws onto a destination graphic (the window's frame surface) and never
// outside the control's rectangle nor the context's clip rectangle. A cell whose sprite has
// two or more frames shows frame nFrame % count, so an animated control changes as the
// window's frame counter advances. Coordinates are the destination's.
//
// One-row kinds (push button, progress bar, scroll bars across their thickness) stretch
// their cells to the control's thickness; caps are at most their own width and share a
// control narrower than both (the left cap gets the odd pixel). Repeated middles are cut at
// the far end, never overdrawn.
//
// Choices left open by the skin format, kept here so that input code hit-tests with the
// same geometry:
// - Scroll bars: the arrows are one cell long at the two ends (half the bar each when it is
//   shorter than two cells); the thumb is one cell long, or under "proportional scrollbars"
//   track × page ÷ (maximum − minimum) but at least one cell, stretched along the bar; it
//   sits at (position − minimum) ÷ (maximum − page − minimum) of the room the track leaves.
//   The track is repeated from the arrow to the thumb and from the thumb to the other arrow.
// - List boxes: the items are stacked from the top of the list's rectangle shrunk by its
//   text borders, each as high as the larger of a "listitem" cell and a line of the font,
//   from the first item shown. An item shows one listitem cell (a bullet) at its left,
//   centred vertically, and its text after it. The cell's column is 1 for the selected
//   item and 0 for the others, its row the state row (3 pressed, 2 hot for the item under
//   the pointer, 1 enabled, 0 disabled). The selected item's text lies on the selected
//   background colour, unless that colour equals the selected text colour (a skin that sets
//   neither would hide the text), and is drawn in the selected text colour.
// - Edits: one line; the caret's "cursor" cell is centred on the caret's x at the top of
//   the text rectangle. A text wider than the box is laid out from the left, shifted left
//   by the edit's scroll offset so that the caret stays inside. The selection lies on the
//   selected background colour (unless it equals the selected text colour, as for lists)
//   in the selected text colour.
#pragma once

#include "foundation/memmgr.h"
#include "skin/skin.h"

struct SKINLINK; // skin_markup.h

// The state a control is drawn in. Hot: enabled, the pointer over it, no other control
// pressed. Pressed: hot and the mouse went down on it.
struct SKINDRAWSTATE {
    bool fEnabled = true;
    bool fChecked = false;
    bool fHot = false;
    bool fPressed = false;
};

// Where to draw. pSkin gives the fonts (null: the context's default font); pDest may be
// null for measuring.
struct SKINDRAWCONTEXT {
    Graphic* pDest = nullptr;
    RECT rcClip = {-0x3FFFFFFF, -0x3FFFFFFF, 0x3FFFFFFF, 0x3FFFFFFF};
    DWORD nFrame = 0;
    SKIN* pSkin = nullptr;
};

// Row of the four-row kinds: 3 pressed, 2 hot, 1 enabled, 0 disabled.
int SkinStateRow(const SKINDRAWSTATE& state);
// Cell of a close or minimise box: 2 pressed, 1 hot, 0 otherwise.
int SkinBoxCell(const SKINDRAWSTATE& state);

// The frame of a cell to show (nFrame % count); null without a cell or frames.
Graphic* SkinCellFrame(const Sprite* pCell, DWORD nFrame);
// True when a cell of the set has two or more frames: the control redraws every frame.
bool SkinIsAnimated(const SKINCONTROLGRAPHICS* pGraphics);

// Push button (3 x 4).
void SkinDrawPushButton(const SKINDRAWCONTEXT& ctx, const SKINCONTROLGRAPHICS* pGraphics,
                        const RECT& rc, const SKINDRAWSTATE& state);
// Close or minimise box (1 x 3): its cell at the rectangle's top left, cut to it.
void SkinDrawBox(const SKINDRAWCONTEXT& ctx, const SKINCONTROLGRAPHICS* pGraphics, const RECT& rc,
                 const SKINDRAWSTATE& state);
// Radio button or check box (2 x 4): one cell placed by the picture layout and adjustments.
void SkinDrawCheck(const SKINDRAWCONTEXT& ctx, const SKINCONTROLGRAPHICS* pGraphics, const RECT& rc,
                   const SKINCONTROLSETTINGS& settings, const SKINDRAWSTATE& state);
// Progress bar (4 x 1) at nPosition percent (clamped to 0..100).
void SkinDrawProgress(const SKINDRAWCONTEXT& ctx, const SKINCONTROLGRAPHICS* pGraphics,
                      const RECT& rc, int nPosition);
// Nine-patch (3 x 3): static text's optional "text", edit and list frames.
void SkinDrawNinePatch(const SKINDRAWCONTEXT& ctx, const SKINCONTROLGRAPHICS* pGraphics,
                       const RECT& rc);

// ---- Scroll bars (4 x 4)
enum SkinScrollPart : int {
    SSP_NONE = -1,
    SSP_LINEUP = 0,   // left or up arrow
    SSP_PAGEUP = 1,   // track before the thumb
    SSP_THUMB = 2,    //
    SSP_PAGEDOWN = 3, // track after the thumb
    SSP_LINEDOWN = 4, // right or down arrow
    SSP_COUNT = 5,
};

struct SKINSCROLLBAR {
    bool fVertical = false;
    int nPosition = 0; // kept within [minimum, maximum - page]
    int nMinimum = 0;
    int nMaximum = 100;
    int nPage = 1;
    bool fProportional = false;
};

// The parts' rectangles (empty ones where a part has no room), in the order of
// SkinScrollPart. cxCell and cyCell are the scroll picture's cell size.
void SkinScrollParts(const RECT& rc, const SKINSCROLLBAR& bar, int cxCell, int cyCell,
                     RECT rgrcParts[SSP_COUNT]);
// The part under a point, SSP_NONE outside the bar.
SkinScrollPart SkinScrollHitTest(const RECT& rc, const SKINSCROLLBAR& bar, int cxCell, int cyCell,
                                 int x, int y);
// iPointerPart is the part under the pointer: it takes the hot or pressed row.
void SkinDrawScrollBar(const SKINDRAWCONTEXT& ctx, const SKINCONTROLGRAPHICS* pGraphics,
                       const RECT& rc, const SKINSCROLLBAR& bar, const SKINDRAWSTATE& state,
                       SkinScrollPart iPointerPart);

// ---- List boxes
// The height of one item.
int SkinListItemHeight(const SKINDRAWCONTEXT& ctx, const SKINCONTROLGRAPHICS* pItems,
                       const SKINCONTROLSETTINGS& settings);
// Item i (from 0) when iTop is the first shown. The rectangle may lie outside the list:
// drawing cuts it to the list's inner rectangle.
RECT SkinListItemRect(const RECT& rc, const SKINCONTROLSETTINGS& settings, int cyItem, int iTop,
                      int i);
// The list frame (3 x 3 "list") and its items (2 x 4 "listitem"). iSelected and iPointer
// (the item under the pointer) count from 0, -1 for none; state.fHot and state.fPressed
// apply to the item under the pointer.
void SkinDrawList(const SKINDRAWCONTEXT& ctx, const SKINCONTROLGRAPHICS* pFrame,
                  const SKINCONTROLGRAPHICS* pItems, const RECT& rc,
                  const SKINCONTROLSETTINGS& settings, int cyItem, const cetl::string* pstrItems,
                  int cItems, int iTop, int iSelected, int iPointer, const SKINDRAWSTATE& state);

// ---- Edits
// The caret after the first iCaret characters of the one-line text laid out as the text
// drawer lays it out.
void SkinDrawCaret(const SKINDRAWCONTEXT& ctx, const SKINCONTROLGRAPHICS* pCursor, const RECT& rc,
                   const SKINCONTROLSETTINGS& settings, const cetl::string& strText, int iCaret);

// What an edit shows besides its text: caret and selection anchor (character indexes),
// the horizontal scroll offset in pixels, and whether the caret is in its visible phase.
struct SKINEDITVIEW {
    int iCaret = 0;
    int iAnchor = 0;
    int xScroll = 0;
    bool fCaret = false;
};

// The width of the first cch characters of a one-line text in the settings' font.
int SkinTextWidth(const SKINDRAWCONTEXT& ctx, const SKINCONTROLSETTINGS& settings,
                  const cetl::string& strText, int cch);
// The scroll offset that keeps the caret inside the edit's text rectangle, moving as little
// as possible from xScroll; 0 when the whole text fits.
int SkinEditScroll(const SKINDRAWCONTEXT& ctx, const RECT& rc, const SKINCONTROLSETTINGS& settings,
                   const cetl::string& strText, int iCaret, int xScroll);
// The caret index nearest to x (destination coordinates) in an edit scrolled by xScroll.
int SkinEditHit(const SKINDRAWCONTEXT& ctx, const RECT& rc, const SKINCONTROLSETTINGS& settings,
                const cetl::string& strText, int xScroll, int x);
// The edit: its 3 x 3 frame, the text, the selection and, when view.fCaret, the caret.
void SkinDrawEdit(const SKINDRAWCONTEXT& ctx, const SKINCONTROLGRAPHICS* pFrame,
                  const SKINCONTROLGRAPHICS* pCursor, const RECT& rc,
                  const SKINCONTROLSETTINGS& settings, const cetl::string& strText, bool fEnabled,
                  const SKINEDITVIEW& view);

// ---- Focus
// The focused control's mark: a dotted rectangle one pixel inside its text borders, in the
// text colour.
void SkinDrawFocus(const SKINDRAWCONTEXT& ctx, const RECT& rc, const SKINCONTROLSETTINGS& settings);

// ---- Text
constexpr UINT SKINTEXT_WRAP = 0x1;      // break lines at blanks to fit the width
constexpr UINT SKINTEXT_MEASURE = 0x2;   // draw nothing, only say the height
constexpr UINT SKINTEXT_SELECTED = 0x4;  // the selected text colour
constexpr UINT SKINTEXT_NOPREFIX = 0x8;  // "&" is plain (else it marks a mnemonic)
constexpr UINT SKINTEXT_VCENTER = 0x10;  // one line, centred vertically
constexpr UINT SKINTEXT_PLAIN = 0x20;    // no markup: typed text, where "<b>" is what was typed
constexpr UINT SKINTEXT_DISABLED = 0x40; // the disabled text colour

// Draws the marked-up text (skin_markup.h) inside rc shrunk by the settings' text borders,
// with the settings' font, colour (the disabled colour when not enabled) and layout (0 left,
// 1 right, 2 centre). Returns the height the text takes (0 when there is no room). pLinks,
// when given, receives the links drawn.
int SkinDrawText(const SKINDRAWCONTEXT& ctx, const cetl::string& strText, const RECT& rc,
                 const SKINCONTROLSETTINGS& settings, bool fEnabled, UINT fuFlags,
                 mem::vector<SKINLINK>* pLinks = nullptr);
