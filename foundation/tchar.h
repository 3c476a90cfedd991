// The native character width of the program being built.
//
// The handheld program works in 16-bit text and the installer in 8-bit text; libraries
// shared by both are compiled once for each (KELVANO_WIDE set to 1 or 0).
#pragma once

#include "host/types.h"

#ifndef KELVANO_WIDE
#error "KELVANO_WIDE must be defined by the build (1: 16-bit native text, 0: 8-bit)"
#endif

using host::CHAR;
using host::WCHAR;

#if KELVANO_WIDE
using TCHAR = WCHAR;
#define TEXT(s) u##s
#else
using TCHAR = CHAR;
#define TEXT(s) s
#endif
