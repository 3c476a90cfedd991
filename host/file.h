// Files through handles, for code that reads and writes files the classic way (open,
// read, write, seek, close). Names are UTF-8 or UTF-16 and reach the kernel as UTF-8.
//
// Failures set the thread's last-error value (host/error.h): ERROR_FILE_NOT_FOUND,
// ERROR_PATH_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_FILE_EXISTS, ERROR_INVALID_HANDLE,
// ERROR_INVALID_NAME, ERROR_SHARING_VIOLATION (a file in use), ERROR_DISK_FULL (also for a
// file-size limit, which fails the write instead of ending the process), or
// ERROR_GEN_FAILURE for other system errors.
#pragma once

#include "host/types.h"

#include <string>
#include <string_view>

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
// of the classic call are not needed here. Writing is refused for a read-only file
// (ERROR_ACCESS_DENIED) and for a file in use (ERROR_SHARING_VIOLATION).
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

// ---- Classic names -------------------------------------------------------------------
// A name that starts with a drive letter and ":" (or with "\", drive C) is classic: "C:\"
// is the per-user drive folder ($KELVANO_DRIVE_DIR, else $XDG_DATA_HOME/kelvano/drive-c,
// else ~/.local/share/kelvano/drive-c); other drive letters are folders beside it
// ("drive-d", ...). "\" and "/" both separate, ".." never climbs above the drive root,
// case is ignored when a component exists in another case and kept when it is created.
// Any other name is a native path and keeps its meaning. Every call of this header takes
// either kind of name; a classic name with a NUL or one of : * ? " < > | in a component
// stands for no file (ERROR_INVALID_NAME).

// The native path (UTF-8) a name stands for; empty for a name that cannot stand for one.
std::string NativeFileName(std::string_view name);
std::string NativeFileName(std::u16string_view name);
// The drive folder of drive letter (native path, created on first use).
std::string DriveFolder(char chDrive = 'C');

// ---- Attributes, folders, deleting and moving ----------------------------------------
constexpr DWORD FILE_ATTRIBUTE_READONLY = 0x01;
constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x10;
constexpr DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFF;
// Read-only is the host's own mark, so it binds every user (root too): a file whose write
// permission bits are all cleared, checked by the host itself before writing, deleting or
// replacing. It moves with the file. Folders carry no mark (setting it on one succeeds and
// changes nothing). Attributes other than READONLY are accepted and ignored.
DWORD GetFileAttributes(const char* pszName);
DWORD GetFileAttributes(const WCHAR* pszName);
BOOL SetFileAttributes(const char* pszName, DWORD dwAttributes);
BOOL SetFileAttributes(const WCHAR* pszName, DWORD dwAttributes);
// Fails with ERROR_ALREADY_EXISTS, or ERROR_PATH_NOT_FOUND for a missing parent.
BOOL CreateDirectory(const char* pszName);
BOOL CreateDirectory(const WCHAR* pszName);
// Fails with ERROR_DIR_NOT_EMPTY, ERROR_DIRECTORY for a file; a drive's root stays.
BOOL RemoveDirectory(const char* pszName);
BOOL RemoveDirectory(const WCHAR* pszName);
// Fails with ERROR_SHARING_VIOLATION (32) for the executable or a loaded library of a
// running host program, and with ERROR_ACCESS_DENIED for a read-only file.
BOOL DeleteFile(const char* pszName);
BOOL DeleteFile(const WCHAR* pszName);
// Renames a file or folder, also one in use (it stays in use under its new name). An
// existing target fails with ERROR_ALREADY_EXISTS unless MOVEFILE_REPLACE_EXISTING; a target
// that is read-only, in use or a folder is never replaced.
BOOL MoveFile(const char* pszFrom, const char* pszTo);
BOOL MoveFile(const WCHAR* pszFrom, const WCHAR* pszTo);
constexpr DWORD MOVEFILE_REPLACE_EXISTING = 0x1;
constexpr DWORD MOVEFILE_DELAY_UNTIL_REBOOT = 0x4; // at the next start; a null target deletes
BOOL MoveFileEx(const char* pszFrom, const char* pszTo, DWORD dwFlags);
BOOL MoveFileEx(const WCHAR* pszFrom, const WCHAR* pszTo, DWORD dwFlags);

// The next-start list ("pending-file-operations" in the registry folder, replaced atomically
// under a lock; names kept as absolute native paths): carried out once by the next host
// program that starts (a program calls this early; it also marks the program's executable in
// use from then on), or by the shell tool. Entries run in the order they were listed, with
// the rules above; a listed folder is deleted when it is empty. Returns the entries carried
// out; entries that still fail stay listed.
int CarryOutPendingFileOperations();

// This process's executable and the libraries it loaded count as in use (DeleteFile fails);
// the library loader registers what it loads here. The mark is a shared lock on the file
// itself, so other host programs see it, it follows the file when moved, and it ends with
// the process. Marks are counted: each true needs a false.
void MarkFileInUse(const std::string& nativePath, bool fInUse);

} // namespace host
