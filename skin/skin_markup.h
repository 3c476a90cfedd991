// Marked-up text: the one drawer every skinned control's text goes through.
//
// A small HTML-like markup changes the style of the text that follows it; each tag pushes a
// style (link target, font description, bold, italic, underline, colour) on a stack whose
// bottom comes from the control settings, and any close tag pops the last one:
//
//     <a href=target>  <a href="target">   link to target
//     <b>  <i>  <u>                         bold, italic, underline
//     <font face=Arial size=18 color=#FF0000>   face and size, or colour, or both
//     </anything>                           back to the previous style
//
// Tag and attribute names ignore case. face= takes a name, in double quotes or up to a blank
// or ">"; size= a number of up to three digits (points, or pixels when negative); color= "#RRGGBB"
// as the skin writes colours; any value may be quoted. A font tag with neither attribute pushes the
// style unchanged, so its close tag still pairs with it. A "<" that starts no tag is text, and a
// close tag with nothing to close is ignored.
//
// Layout: the text starts at the rectangle's top left. At the start of a line one line end
// is skipped (the one that ended the line before) and each further one adds 8 pixels, so an
// empty line is a small gap; CR LF counts as one line end. A run of text in one style is
// placed word by word; a word that does not fit goes to the next line, together with the
// part of it that earlier runs put on this line (a word split by tags stays whole), and a
// word wider than a whole line is broken between characters, at least one character a line
// however narrow the rectangle. Blanks at a break are dropped. Runs of one line share their
// baseline; the line is as high as its tallest font. Fonts are the style's description
// followed by ",B", ",I" and ",U" for its flags, made once per description and kept by the
// skin (without a skin, the context's default font throughout).
//
// Links: their drawn rectangles are reported with their targets, one rectangle a piece of a
// link on one line. The installer opens nothing: a link only shows the hand cursor (see
// SkinWindow); a click on it does what a click on its control does, which for static text is
// nothing.
#pragma once

#include "foundation/memmgr.h"
#include "skin/skin_draw.h"

// One drawn piece of a link, in the destination's coordinates.
struct SKINLINK {
    RECT rc;
    cetl::string strTarget;
};

enum SkinMarkupTagKind : int {
    SMT_LINK = 0,
    SMT_BOLD = 1,
    SMT_ITALIC = 2,
    SMT_UNDERLINE = 3,
    SMT_FONT = 4,      // face or size
    SMT_COLOR = 5,     // colour only
    SMT_FONTCOLOR = 6, // face or size, and colour
    SMT_CLOSE = 7,
};

struct SKINMARKUPTAG {
    int nKind = SMT_CLOSE;
    cetl::string strTarget; // SMT_LINK
    cetl::string strFont;   // items appended to the font description: ",face" and/or ",size"
    Color clr = 0;          // SMT_COLOR, SMT_FONTCOLOR
};

// The length of the tag that starts at pch (cch characters available); 0 when the text there
// is no tag.
int SkinParseMarkupTag(const CHAR* pch, int cch, SKINMARKUPTAG* pTag);

// Lays out marked-up text in rc (text borders are the caller's) with the settings' font,
// colour and text layout (left, right, centre: each line placed by its measured width), and
// draws it unless SKINTEXT_MEASURE or the context has no destination. Flags: SKINTEXT_WRAP
// breaks lines to fit the width (else only line ends do); SKINTEXT_NOPREFIX keeps "&" plain
// (else "&x" underlines x and "&&" is "&"); SKINTEXT_SELECTED and SKINTEXT_DISABLED choose
// the bottom colour; SKINTEXT_PLAIN takes every "<" as text; SKINTEXT_VCENTER keeps one line
// (line ends are dropped). pLinks, when given, receives the links. Returns the height used:
// the bottom of the last line, from rc.top.
int SkinDrawMarkup(const SKINDRAWCONTEXT& ctx, const cetl::string& strText, const RECT& rc,
                   const SKINCONTROLSETTINGS& settings,
                   UINT fuFlags = SKINTEXT_WRAP | SKINTEXT_NOPREFIX,
                   mem::vector<SKINLINK>* pLinks = nullptr);
