// The registry: a persistent tree of keys holding typed values, under three roots.
//
// The calls, their parameters, type numbers and error codes are the classic ones, so that
// code written for them reads the same here. Each call exists with 8-bit names (the ...A
// functions: UTF-8, used by the installer) and 16-bit names (the ...W functions: UTF-16,
// used by the game); the unsuffixed overloads pick one by the name's character type.
//
// Names. A sub-key argument may be a path of several names separated by "\"; an empty (or
// null) sub-key means the key itself. Key and value names compare without regard to case
// (for Latin, Greek and Cyrillic letters, the Esperanto ones included) and keep the spelling
// they were created with. The value named "" is the key's default value. Key names are at
// most 255 characters, value names at most 16383, paths at most 512 levels deep.
//
// Text data. REG_SZ, REG_EXPAND_SZ and REG_MULTI_SZ data is stored as given to the W calls:
// UTF-16 units, normally with a terminating zero unit, so its size is (length + 1) * 2 bytes.
// The A calls convert string data both ways: RegSetValueExA stores the UTF-16 form of the
// UTF-8 bytes given (exactly cbData bytes, so pass the terminator to store one), and the A
// query and enumeration calls return the UTF-8 form with sizes in UTF-8 bytes. Every other
// type is kept as raw bytes, whatever its number.
//
// Storage. Each root is one text file (see host/registry_file.h for its form: readable,
// diffable, exact for every byte) in the registry folder:
//   $KELVANO_REGISTRY_DIR when set, else $XDG_DATA_HOME/kelvano/registry, else
//   ~/.local/share/kelvano/registry; RegSetStorageFolder overrides all three.
// Files: hkcr.reg, hkcu.reg, hklm.reg, each with a lock file beside it (name.lock). Every
// change (outside a RegistryWriteBatch, below) is written at once and atomically (a temporary file
// in the same folder, flushed to disk, renamed over the old one) while holding an advisory lock on
// the lock file; every call takes that lock and first re-reads the file if another process replaced
// it, so read-modify-write sequences of different processes never lose each other's changes. A
// missing file is an empty root. A damaged file (one that cannot be read as a registry text)
// is never overwritten; by default it is reported on the debug output and renamed aside
// (name.damaged-YYYYMMDD-HHMMSS), and the root starts empty. RegSetDamagePolicy lets a program
// leave it in place instead. A file written by another version of the form is not damage: it is
// reported, left in place and refused (ERROR_REGISTRY_CORRUPT) whatever the policy.
//
// Handles. Every handle is checked: an unknown or closed one gives ERROR_INVALID_HANDLE. A
// handle names its key by path; when the key has been deleted (by this process through any
// handle, or by another process), calls on the handle give ERROR_KEY_DELETED. Access rights
// asked for at open are enforced (KEY_QUERY_VALUE to read values, KEY_SET_VALUE to write or
// delete them, KEY_CREATE_SUB_KEY to create sub-keys, KEY_ENUMERATE_SUB_KEYS to enumerate
// sub-keys); the roots allow everything. All calls are thread-safe.
#pragma once

#include "host/error.h"
#include "host/types.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace host {

struct HKEY__;
using HKEY = HKEY__*;
using REGSAM = DWORD;

inline HKEY const HKEY_CLASSES_ROOT = reinterpret_cast<HKEY>(std::uintptr_t{0x80000000});
inline HKEY const HKEY_CURRENT_USER = reinterpret_cast<HKEY>(std::uintptr_t{0x80000001});
inline HKEY const HKEY_LOCAL_MACHINE = reinterpret_cast<HKEY>(std::uintptr_t{0x80000002});

// Value types.
constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_EXPAND_SZ = 2;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;
constexpr DWORD REG_MULTI_SZ = 7;

// Access rights.
constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
constexpr REGSAM KEY_SET_VALUE = 0x0002;
constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr REGSAM KEY_NOTIFY = 0x0010;
constexpr REGSAM KEY_READ = 0x00020019;
constexpr REGSAM KEY_WRITE = 0x00020006;
constexpr REGSAM KEY_ALL_ACCESS = 0x000F003F;

// RegCreateKeyEx options (every key is kept; the volatile option is accepted and ignored)
// and dispositions.
constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
constexpr DWORD REG_OPTION_VOLATILE = 1;
constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

// Results (LONG, as the classic calls return them): ERROR_SUCCESS; ERROR_FILE_NOT_FOUND (no
// such key or value); ERROR_INVALID_HANDLE; ERROR_KEY_DELETED; ERROR_ACCESS_DENIED (right not
// granted by the handle, or a root deleted); ERROR_INVALID_PARAMETER (missing out pointer,
// name too long, path too deep); ERROR_BAD_PATHNAME (a path with an empty name, such as a
// leading "\" or "a\\b"); ERROR_MORE_DATA (buffer too small: the size needed is returned);
// ERROR_NO_MORE_ITEMS (enumeration index past the end); ERROR_KEY_HAS_CHILDREN (RegDeleteKey
// on a key with sub-keys); ERROR_PATH_NOT_FOUND (no registry folder can be found);
// ERROR_REGISTRY_IO_FAILED, ERROR_DISK_FULL, ERROR_REGISTRY_CORRUPT (the file could not be read
// or written; the debug output tells why).

// Creates the key (and any missing parents) or opens it when it exists. *phkResult receives
// the handle (an empty sub-key under a root gives the root itself); *lpdwDisposition, when
// given, tells whether the key was created. lpClass, lpSecurityAttributes are ignored.
LONG RegCreateKeyExA(HKEY hKey, const char* lpSubKey, DWORD Reserved, char* lpClass,
                     DWORD dwOptions, REGSAM samDesired, const void* lpSecurityAttributes,
                     HKEY* phkResult, DWORD* lpdwDisposition);
LONG RegCreateKeyExW(HKEY hKey, const WCHAR* lpSubKey, DWORD Reserved, WCHAR* lpClass,
                     DWORD dwOptions, REGSAM samDesired, const void* lpSecurityAttributes,
                     HKEY* phkResult, DWORD* lpdwDisposition);

// Opens an existing key; ERROR_FILE_NOT_FOUND when it does not exist.
LONG RegOpenKeyExA(HKEY hKey, const char* lpSubKey, DWORD ulOptions, REGSAM samDesired,
                   HKEY* phkResult);
LONG RegOpenKeyExW(HKEY hKey, const WCHAR* lpSubKey, DWORD ulOptions, REGSAM samDesired,
                   HKEY* phkResult);

// Closes a handle. Closing a root does nothing and succeeds.
LONG RegCloseKey(HKEY hKey);

// Reads a value. Each out pointer is optional, but lpData needs lpcbData. On entry *lpcbData
// is the buffer's size in bytes; on return the value's size. With lpData null only the size
// is returned; a buffer too small gives ERROR_MORE_DATA with the size (and type) needed and
// leaves the buffer alone.
LONG RegQueryValueExA(HKEY hKey, const char* lpValueName, DWORD* lpReserved, DWORD* lpType,
                      BYTE* lpData, DWORD* lpcbData);
LONG RegQueryValueExW(HKEY hKey, const WCHAR* lpValueName, DWORD* lpReserved, DWORD* lpType,
                      BYTE* lpData, DWORD* lpcbData);

// Creates or replaces a value (a replaced value keeps its spelling and its place in the
// enumeration order). lpData may be null only when cbData is 0.
LONG RegSetValueExA(HKEY hKey, const char* lpValueName, DWORD Reserved, DWORD dwType,
                    const BYTE* lpData, DWORD cbData);
LONG RegSetValueExW(HKEY hKey, const WCHAR* lpValueName, DWORD Reserved, DWORD dwType,
                    const BYTE* lpData, DWORD cbData);

LONG RegDeleteValueA(HKEY hKey, const char* lpValueName);
LONG RegDeleteValueW(HKEY hKey, const WCHAR* lpValueName);

// Deletes a key that has no sub-keys (its values go with it); an empty sub-key deletes hKey's
// own key. Other handles open on the deleted key give ERROR_KEY_DELETED from then on.
LONG RegDeleteKeyA(HKEY hKey, const char* lpSubKey);
LONG RegDeleteKeyW(HKEY hKey, const WCHAR* lpSubKey);

// The dwIndex-th sub-key's name, in a stable order (by name, without regard to case).
// *lpcchName is the buffer's size in characters (bytes for the A call) counting the
// terminator; on return the name's length without it. A buffer too small gives
// ERROR_MORE_DATA. Classes are empty; lpftLastWriteTime, when given, receives 8 zero bytes
// (times are not kept).
LONG RegEnumKeyExA(HKEY hKey, DWORD dwIndex, char* lpName, DWORD* lpcchName, DWORD* lpReserved,
                   char* lpClass, DWORD* lpcchClass, void* lpftLastWriteTime);
LONG RegEnumKeyExW(HKEY hKey, DWORD dwIndex, WCHAR* lpName, DWORD* lpcchName, DWORD* lpReserved,
                   WCHAR* lpClass, DWORD* lpcchClass, void* lpftLastWriteTime);

// The dwIndex-th value of the key, in the order values were first set: name as for
// RegEnumKeyEx, type and data as for RegQueryValueEx. A name or data buffer too small gives
// ERROR_MORE_DATA.
LONG RegEnumValueA(HKEY hKey, DWORD dwIndex, char* lpValueName, DWORD* lpcchValueName,
                   DWORD* lpReserved, DWORD* lpType, BYTE* lpData, DWORD* lpcbData);
LONG RegEnumValueW(HKEY hKey, DWORD dwIndex, WCHAR* lpValueName, DWORD* lpcchValueName,
                   DWORD* lpReserved, DWORD* lpType, BYTE* lpData, DWORD* lpcbData);

// Counts and the longest sizes of the key's contents: sub-key count, longest sub-key name,
// value count, longest value name (in characters without terminator; UTF-8 bytes for the A
// call), longest data (bytes, as the matching query call returns it). Every out pointer is
// optional; class, security descriptor size and time come back empty.
LONG RegQueryInfoKeyA(HKEY hKey, char* lpClass, DWORD* lpcchClass, DWORD* lpReserved,
                      DWORD* lpcSubKeys, DWORD* lpcbMaxSubKeyLen, DWORD* lpcbMaxClassLen,
                      DWORD* lpcValues, DWORD* lpcbMaxValueNameLen, DWORD* lpcbMaxValueLen,
                      DWORD* lpcbSecurityDescriptor, void* lpftLastWriteTime);
LONG RegQueryInfoKeyW(HKEY hKey, WCHAR* lpClass, DWORD* lpcchClass, DWORD* lpReserved,
                      DWORD* lpcSubKeys, DWORD* lpcbMaxSubKeyLen, DWORD* lpcbMaxClassLen,
                      DWORD* lpcValues, DWORD* lpcbMaxValueNameLen, DWORD* lpcbMaxValueLen,
                      DWORD* lpcbSecurityDescriptor, void* lpftLastWriteTime);

// The unsuffixed calls, chosen by the width of the name argument. A bare nullptr name fits
// both; pass "" (or call the A or W function) for the default value or the key itself.
inline LONG RegCreateKeyEx(HKEY h, const char* sub, DWORD r, char* cls, DWORD opt, REGSAM sam,
                           const void* sa, HKEY* ph, DWORD* disp) {
    return RegCreateKeyExA(h, sub, r, cls, opt, sam, sa, ph, disp);
}
inline LONG RegCreateKeyEx(HKEY h, const WCHAR* sub, DWORD r, WCHAR* cls, DWORD opt, REGSAM sam,
                           const void* sa, HKEY* ph, DWORD* disp) {
    return RegCreateKeyExW(h, sub, r, cls, opt, sam, sa, ph, disp);
}
inline LONG RegOpenKeyEx(HKEY h, const char* sub, DWORD opt, REGSAM sam, HKEY* ph) {
    return RegOpenKeyExA(h, sub, opt, sam, ph);
}
inline LONG RegOpenKeyEx(HKEY h, const WCHAR* sub, DWORD opt, REGSAM sam, HKEY* ph) {
    return RegOpenKeyExW(h, sub, opt, sam, ph);
}
inline LONG RegQueryValueEx(HKEY h, const char* name, DWORD* r, DWORD* type, BYTE* data,
                            DWORD* cb) {
    return RegQueryValueExA(h, name, r, type, data, cb);
}
inline LONG RegQueryValueEx(HKEY h, const WCHAR* name, DWORD* r, DWORD* type, BYTE* data,
                            DWORD* cb) {
    return RegQueryValueExW(h, name, r, type, data, cb);
}
inline LONG RegSetValueEx(HKEY h, const char* name, DWORD r, DWORD type, const BYTE* data,
                          DWORD cb) {
    return RegSetValueExA(h, name, r, type, data, cb);
}
inline LONG RegSetValueEx(HKEY h, const WCHAR* name, DWORD r, DWORD type, const BYTE* data,
                          DWORD cb) {
    return RegSetValueExW(h, name, r, type, data, cb);
}
inline LONG RegDeleteValue(HKEY h, const char* name) {
    return RegDeleteValueA(h, name);
}
inline LONG RegDeleteValue(HKEY h, const WCHAR* name) {
    return RegDeleteValueW(h, name);
}
inline LONG RegDeleteKey(HKEY h, const char* sub) {
    return RegDeleteKeyA(h, sub);
}
inline LONG RegDeleteKey(HKEY h, const WCHAR* sub) {
    return RegDeleteKeyW(h, sub);
}
inline LONG RegEnumKeyEx(HKEY h, DWORD i, char* name, DWORD* cch, DWORD* r, char* cls,
                         DWORD* cchCls, void* ft) {
    return RegEnumKeyExA(h, i, name, cch, r, cls, cchCls, ft);
}
inline LONG RegEnumKeyEx(HKEY h, DWORD i, WCHAR* name, DWORD* cch, DWORD* r, WCHAR* cls,
                         DWORD* cchCls, void* ft) {
    return RegEnumKeyExW(h, i, name, cch, r, cls, cchCls, ft);
}
inline LONG RegEnumValue(HKEY h, DWORD i, char* name, DWORD* cch, DWORD* r, DWORD* type, BYTE* data,
                         DWORD* cb) {
    return RegEnumValueA(h, i, name, cch, r, type, data, cb);
}
inline LONG RegEnumValue(HKEY h, DWORD i, WCHAR* name, DWORD* cch, DWORD* r, DWORD* type,
                         BYTE* data, DWORD* cb) {
    return RegEnumValueW(h, i, name, cch, r, type, data, cb);
}
inline LONG RegQueryInfoKey(HKEY h, char* cls, DWORD* cchCls, DWORD* r, DWORD* cSub,
                            DWORD* cchMaxSub, DWORD* cchMaxCls, DWORD* cValues,
                            DWORD* cchMaxValueName, DWORD* cbMaxValue, DWORD* cbSecurity,
                            void* ft) {
    return RegQueryInfoKeyA(h, cls, cchCls, r, cSub, cchMaxSub, cchMaxCls, cValues, cchMaxValueName,
                            cbMaxValue, cbSecurity, ft);
}
inline LONG RegQueryInfoKey(HKEY h, WCHAR* cls, DWORD* cchCls, DWORD* r, DWORD* cSub,
                            DWORD* cchMaxSub, DWORD* cchMaxCls, DWORD* cValues,
                            DWORD* cchMaxValueName, DWORD* cbMaxValue, DWORD* cbSecurity,
                            void* ft) {
    return RegQueryInfoKeyW(h, cls, cchCls, r, cSub, cchMaxSub, cchMaxCls, cValues, cchMaxValueName,
                            cbMaxValue, cbSecurity, ft);
}

// Beyond the classic calls: write batches, the registry folder, and the text form for tools.

// Changes that land together. While a batch is open, the changes this process makes to a
// root (from any thread) are kept in memory, where every call of the process sees them at
// once, and the root's file is replaced once, atomically, when the outermost batch ends. The
// root's file lock is held from the batch's first change to it until then, so other processes
// wait, and see all of the changes or none of them, also when this process dies meanwhile.
// Keep batches short. Batches nest: only the outermost one writes.
class RegistryWriteBatch {
public:
    RegistryWriteBatch();
    ~RegistryWriteBatch(); // ends the batch when End was not called
    RegistryWriteBatch(const RegistryWriteBatch&) = delete;
    RegistryWriteBatch& operator=(const RegistryWriteBatch&) = delete;

    // Ends the batch (once; later calls return the same result). A root whose file cannot be
    // written loses all of the batch's changes to it, and its error is returned (the first,
    // when several roots fail).
    LONG End();

private:
    bool fEnded_ = false;
    LONG nResult_ = ERROR_SUCCESS;
};

// Uses `folder` for every root from now on (an empty text goes back to the environment and
// the default). The folder is created, with its parents, on the first change.
void RegSetStorageFolder(std::string_view folder);
// The folder in use now, or "" when none can be found.
std::string RegGetStorageFolder();

// A registry file that cannot be read, as reported to the damage handler.
struct RegDamage {
    std::string file;     // the file's path
    std::size_t nLine;    // the line where reading stopped
    std::string message;  // "line 4: missing END line: the text is cut short"
    std::string aside;    // the name it was renamed to, or "" when it was left in place
    bool fUnknownVersion; // written by another version of the form (always left in place)
};

// What the registry does on finding a damaged file. Programs without a console keep the
// default: set it aside and go on with an empty root, so that they still start. A tool that
// only reads must not change the user's files: with fSetAside false the file stays where it is,
// and every call on its root gives ERROR_REGISTRY_CORRUPT until the file changes. Either way
// the debug output tells, and onDamage (when set) is called once per damaged file found,
// under the registry's lock: it must not call the registry.
struct RegDamagePolicy {
    bool fSetAside = true;
    std::function<void(const RegDamage&)> onDamage;
};
// Uses `policy` from now on, for every thread; returns the one in force before.
RegDamagePolicy RegSetDamagePolicy(RegDamagePolicy policy);

// Splits "HKEY_CURRENT_USER\Software\X" (or "HKCU\Software\X", any case; a root alone is
// fine) into its root and sub-key path. False when the text does not start with a root name.
bool RegSplitKeyPath(std::string_view path, HKEY& root, std::string& subKey);

// The key and everything below it in the registry text form (version line, one section per
// key with full paths, END), appended to `text`.
LONG RegExportKey(HKEY hKey, std::string& text);

// Reads a registry text and applies it: every key is created, every value listed set (other
// values stay). The text is checked whole first, so malformed text changes nothing and
// gives ERROR_INVALID_DATA with the reason ("line 3: unterminated text") in `message`; each
// root's changes are written in one step.
LONG RegImportText(std::string_view text, std::string& message);

} // namespace host
