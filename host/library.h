// Shared libraries of ours, loaded at run time: by path, or by bare name (beside the
// executable, then the folders of $KELVANO_LIBRARY_PATH, colon-separated). A loaded library
// counts as in use (host/file.h: DeleteFile fails on it, MoveFile works).
//
// Failures set the last-error value: ERROR_MOD_NOT_FOUND (126) when nothing loads,
// ERROR_PROC_NOT_FOUND (127) for a missing export, ERROR_BAD_EXE_FORMAT (193) when the only
// file found is not a whole library (cut off, say, by a crash while it was written).
#pragma once

#include "host/resource.h"
#include "host/types.h"

namespace host {

// Module handles are the resource layer's (host/resource.h: GetModuleFromLibrary), so a
// loaded library's resources are found through the handle LoadLibrary returns.
constexpr DWORD ERROR_MOD_NOT_FOUND = 126;
constexpr DWORD ERROR_PROC_NOT_FOUND = 127;

using FARPROC = void (*)();

// Names may be classic ("C:\..."), native, or bare (no separator, no drive: looked for in the
// folders above, in order). In each folder a name "x.dll" is tried as given, then as
// "libx.so" and "x.so" (what the build makes), so a library keeps its classic name wherever
// it is installed. Loading a library already loaded counts one more use of the same handle;
// it is unloaded, and no longer in use, when every load has been freed. GetProcAddress with
// a null handle looks in the executable; a handle not from LoadLibrary (or freed) gives
// ERROR_INVALID_HANDLE.
HMODULE LoadLibrary(const char* pszName);
HMODULE LoadLibrary(const WCHAR* pszName);
FARPROC GetProcAddress(HMODULE hModule, const char* pszExport);
BOOL FreeLibrary(HMODULE hModule);
// The native path of a loaded library (null: the executable); ERROR_INSUFFICIENT_BUFFER when
// it does not fit with its terminator.
BOOL GetModuleFileName(HMODULE hModule, char* pszPath, DWORD cchPath);

} // namespace host
