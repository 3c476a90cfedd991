// Shared libraries of ours, loaded at run time: by path, or by bare name (beside the
// executable, then the folders of $KELVANO_LIBRARY_PATH, colon-separated). A loaded library
// counts as in use (host/file.h: DeleteFile fails on it, MoveFile works).
//
// Failures set the last-error value: ERROR_MOD_NOT_FOUND (126) when nothing loads,
// ERROR_PROC_NOT_FOUND (127) for a missing export.
#pragma once

#include "host/resource.h"
#include "host/types.h"

namespace host {

// Module handles are the resource layer's (host/resource.h: GetModuleFromLibrary), so a
// loaded library's resources are found through the handle LoadLibrary returns.
constexpr DWORD ERROR_MOD_NOT_FOUND = 126;
constexpr DWORD ERROR_PROC_NOT_FOUND = 127;

using FARPROC = void (*)();

// Names may be classic ("C:\..."), native, or bare ("uninstaller.dll": the ".dll" becomes
// the platform's shared-library file name when no such file exists as given).
HMODULE LoadLibrary(const char* pszName);
HMODULE LoadLibrary(const WCHAR* pszName);
FARPROC GetProcAddress(HMODULE hModule, const char* pszExport);
BOOL FreeLibrary(HMODULE hModule);
// The native path of a loaded library.
BOOL GetModuleFileName(HMODULE hModule, char* pszPath, DWORD cchPath);

} // namespace host
