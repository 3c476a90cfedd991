// StaticEx: a static text control that understands a small inline markup.
//
//     "[B]bold[] plain"      a format run: font description before "#", colour RRGGBB after
//     "[#FF0000]red"         colour only, base font
//     "<link><>"             a link run, underlined, dark blue, up to the next run; "<>" ends it
//     "\n"                   ends the line
//
// Lines wrap at blanks and tabs. Style value 1 leaves the background unpainted, value 2
// centres each line. WM_SETFONT replaces the base font (the system font until then).
#pragma once

#include "foundation/tchar.h"
#include "host/types.h"

namespace cetl {

// The class name, in the native text width.
inline constexpr TCHAR kStaticExClassName[] = TEXT("StaticEx");

// Registers the StaticEx class from the system's "Static" class (same settings, its own
// window procedure, 8 extra window bytes). Safe to call again once registered.
bool RegisterStaticEx(host::HINSTANCE hInstance);

} // namespace cetl
