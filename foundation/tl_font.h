// Fonts from short descriptions, as skins, rich text and the programs write them:
//
//     "Arial,-14,I"      Arial, 14 pixels high, italic
//     "MS Shell Dlg,10"  10 points at the screen's resolution
//     "default,B,U"      the default face, bold and underlined
//
// A description is a comma-separated list of items, each one of: a number, the size (points
// when positive, a height in pixels when negative, 0 keeps the default height); a run of
// the letters B, I and U in any case (bold, italic, underline); or a face name, where
// "default" in any case keeps the default face. Blanks around items are ignored; later
// items win. The record starts as the default GUI font with the default character set and
// antialiased quality. While the language is Esperanto the face gets the suffix " Eo" (once),
// which names the faces that carry its letters.
#pragma once

#include "foundation/tl_string.h"
#include "host/gdi.h"

namespace cetl {

// The screen's vertical resolution in dots per inch.
int GetScreenDpiY();

// Fills *plf from the description, points converted at nDpiY, the suffix rule applied for
// nLanguageId (see tl_language.h).
void FontFromDescription(const string& strDesc, host::LOGFONTA* plf, int nDpiY, UINT nLanguageId);
void FontFromDescription(const string& strDesc, host::LOGFONTW* plf, int nDpiY, UINT nLanguageId);
// The same at the screen's resolution in the current language.
void FontFromDescription(const string& strDesc, host::LOGFONTA* plf);
void FontFromDescription(const string& strDesc, host::LOGFONTW* plf);

// A font made from the description (screen resolution, current language), for the caller to
// free with host::DeleteObject; null on failure.
host::HFONT CreateFontFromDescription(const string& strDesc);

} // namespace cetl
