// Files through handles, for code that reads and writes files the classic way (open,
// read, write, seek, close). Names are UTF-8 or UTF-16 and reach the kernel as UTF-8.
//
// Failures set the thread's last-error value (host/error.h): ERROR_FILE_NOT_FOUND,
// ERROR_PATH_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_FILE_EXISTS, ERROR_INVALID_HANDLE, or
// ERROR_GEN_FAILURE for other system errors.
#pragma once

#include "host/types.h"

namespace host {

// The same handle type as the window layer's.
using HANDLE = void*;
inline HANDLE const INVALID_HANDLE_VALUE = reinterpret_cast<HANDLE>(~std::uintptr_t{0});

// Access rights.
constexpr DWORD GENERIC_READ = 0x80000000;
constexpr DWORD GENERIC_WRITE = 0x40000000;
// Sharing is not enforced here; the values are accepted.
constexpr DWORD FILE_SHARE_READ = 1;
constexpr DWORD FILE_SHARE_WRITE = 2;
// Creation.
constexpr DWORD CREATE_NEW = 1;        // fails when the file exists
constexpr DWORD CREATE_ALWAYS = 2;     // creates or truncates
constexpr DWORD OPEN_EXISTING = 3;     // fails when the file is missing
constexpr DWORD OPEN_ALWAYS = 4;       // opens or creates
constexpr DWORD TRUNCATE_EXISTING = 5; // opens and truncates an existing file
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;

// Returns INVALID_HANDLE_VALUE on failure. The security, attribute and template arguments
// of the classic call are not needed here.
HANDLE CreateFile(const char* pszName, DWORD dwAccess, DWORD dwShare, DWORD dwCreation);
HANDLE CreateFile(const WCHAR* pszName, DWORD dwAccess, DWORD dwShare, DWORD dwCreation);

// Reads up to cb bytes; *pcbRead is what was read (0 at the end of the file).
BOOL ReadFile(HANDLE h, void* pv, DWORD cb, DWORD* pcbRead);
// Writes all cb bytes or fails; *pcbWritten is what was written.
BOOL WriteFile(HANDLE h, const void* pv, DWORD cb, DWORD* pcbWritten);

constexpr DWORD FILE_BEGIN = 0;
constexpr DWORD FILE_CURRENT = 1;
constexpr DWORD FILE_END = 2;
constexpr DWORD INVALID_SET_FILE_POINTER = 0xFFFFFFFF;
// Moves the position; returns the new position, or INVALID_SET_FILE_POINTER (a position
// before the start of the file fails and leaves the position alone).
DWORD SetFilePointer(HANDLE h, LONG lDistance, DWORD dwMethod);
constexpr DWORD INVALID_FILE_SIZE = 0xFFFFFFFF;
DWORD GetFileSize(HANDLE h);
BOOL FlushFileBuffers(HANDLE h);
BOOL CloseHandle(HANDLE h);

} // namespace host
