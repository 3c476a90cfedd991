// The remote API of a connected handheld, as "rapi.dll" exports it. The installer never
// links it: it loads the library by name and finds each function by its name, so that it
// runs (and installs on this machine) where no device software is present.
//
// Every call but CeRapiInit(Ex), CeRapiUninit, CeRapiGetError and CeRapiFreeBuffer is a
// remote call to the device service of the device folder (device/service.h:
// DefaultDeviceFolder). A call made while no connection is up, when the service is lost, or
// while the device is disconnected fails at once: CeRapiGetError then gives
// E_RAPI_DISCONNECTED and CeGetLastError ERROR_NOT_CONNECTED; otherwise CeRapiGetError gives
// S_OK and CeGetLastError the device's last error after the call. Texts are 16-bit. The
// device's database, volume and window calls answer as a device that has none: no databases,
// no volumes, no windows.
//
// When $KELVANO_RAPI_LOG names a file, every call that goes to the device appends a line to
// it: the name of the device call that crossed the link and its first text, if any
// ("CeCreateFile \Data\a.bin"; CeRapiInvoke gives the library and the entry: "CeRapiInvoke
// \Program Files\Vantor Software\lzrapi.dll DecompressFile"). Calls answered on this side
// (the find walk, the calls of a device without databases) log what they asked the device.
//
// Handles: file handles and registry keys are the service's numbers carried in the pointer
// (the predefined roots keep their classic values); they belong to the connection, so they
// die with it. Find handles are the library's own, walking the list the device returned.
#pragma once

#include "host/types.h"

#include <cstdint>

namespace rapi {

using host::BOOL;
using host::BYTE;
using host::DWORD;
using host::LONG;
using host::UINT;
using host::WCHAR;
using host::WORD;
using HRESULT = std::int32_t;
using HANDLE = void*;
using HWND = void*;
using HKEY = void*;
using REGSAM = DWORD;
using CEOID = DWORD;
using CEPROPID = DWORD;

constexpr HRESULT S_OK = 0;
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005);
constexpr HRESULT E_UNEXPECTED = static_cast<HRESULT>(0x8000FFFF);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057);
constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001);
// A failure of the connection itself: no service answers, it went away, or the device is
// disconnected.
constexpr HRESULT E_RAPI_DISCONNECTED = static_cast<HRESULT>(0x80070490);
// CeRapiInit(Ex) while a connection (or an attempt) is already up.
constexpr HRESULT CERAPI_E_ALREADYINITIALIZED = static_cast<HRESULT>(0x80041001);
// CeGetLastError after a call that could not reach the device.
constexpr DWORD ERROR_NOT_CONNECTED = 2250;

// The predefined registry roots.
inline HKEY const HKEY_CLASSES_ROOT = reinterpret_cast<HKEY>(std::uintptr_t{0x80000000});
inline HKEY const HKEY_CURRENT_USER = reinterpret_cast<HKEY>(std::uintptr_t{0x80000001});
inline HKEY const HKEY_LOCAL_MACHINE = reinterpret_cast<HKEY>(std::uintptr_t{0x80000002});

inline HANDLE const INVALID_HANDLE_VALUE = reinterpret_cast<HANDLE>(~std::uintptr_t{0});

struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};
static_assert(sizeof(FILETIME) == 8);

// The initialisation record: the caller sets cbSize (sizeof(RAPIINIT), 24 on a 64-bit
// build); CeRapiInitEx fills heRapiInit with an event (a host::Event*) that is set when the
// background connection has an outcome, and hrRapiInit with that outcome (S_OK when
// connected; it is written before the event is set). The event belongs to the library and
// lives until CeRapiUninit; the record must live until the event is set or CeRapiUninit.
struct RAPIINIT {
    DWORD cbSize;
    HANDLE heRapiInit;
    HRESULT hrRapiInit;
};

constexpr int MAX_PATH = 260;
struct CE_FIND_DATA {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD dwOID;
    WCHAR cFileName[MAX_PATH];
};
static_assert(sizeof(CE_FIND_DATA) == 40 + 2 * MAX_PATH);

// The processor families a device reports in wProcessorArchitecture.
constexpr WORD PROCESSOR_ARCHITECTURE_INTEL = 0;
constexpr WORD PROCESSOR_ARCHITECTURE_MIPS = 1;
constexpr WORD PROCESSOR_ARCHITECTURE_ALPHA = 2;
constexpr WORD PROCESSOR_ARCHITECTURE_PPC = 3;
constexpr WORD PROCESSOR_ARCHITECTURE_SHX = 4;
constexpr WORD PROCESSOR_ARCHITECTURE_ARM = 5;

// Fixed layout: 32-bit fields only, so the record is the same on both sides of the wire.
struct SYSTEM_INFO {
    WORD wProcessorArchitecture;
    WORD wReserved;
    DWORD dwPageSize;
    DWORD lpMinimumApplicationAddress;
    DWORD lpMaximumApplicationAddress;
    DWORD dwActiveProcessorMask;
    DWORD dwNumberOfProcessors;
    DWORD dwProcessorType;
    DWORD dwAllocationGranularity;
    WORD wProcessorLevel;
    WORD wProcessorRevision;
};
static_assert(sizeof(SYSTEM_INFO) == 36);

struct CEOSVERSIONINFO {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    WCHAR szCSDVersion[128];
};
static_assert(sizeof(CEOSVERSIONINFO) == 276);

struct STORE_INFORMATION {
    DWORD dwStoreSize;
    DWORD dwFreeSize;
};

struct MEMORYSTATUS {
    DWORD dwLength;
    DWORD dwMemoryLoad;
    DWORD dwTotalPhys;
    DWORD dwAvailPhys;
    DWORD dwTotalPageFile;
    DWORD dwAvailPageFile;
    DWORD dwTotalVirtual;
    DWORD dwAvailVirtual;
};
static_assert(sizeof(MEMORYSTATUS) == 32);

struct SYSTEM_POWER_STATUS_EX {
    BYTE ACLineStatus;
    BYTE BatteryFlag;
    BYTE BatteryLifePercent;
    BYTE Reserved1;
    DWORD BatteryLifeTime;
    DWORD BatteryFullLifeTime;
    BYTE Reserved2;
    BYTE BackupBatteryFlag;
    BYTE BackupBatteryLifePercent;
    BYTE Reserved3;
    DWORD BackupBatteryLifeTime;
    DWORD BackupBatteryFullLifeTime;
};
static_assert(sizeof(SYSTEM_POWER_STATUS_EX) == 24);

struct PROCESS_INFORMATION {
    HANDLE hProcess;
    HANDLE hThread;
    DWORD dwProcessId;
    DWORD dwThreadId;
};

// The device's database records; a device without databases never fills them.
struct CEGUID {
    DWORD Data1, Data2, Data3, Data4;
};
struct CEOIDINFO;
struct CEDBASEINFO;
struct CEDB_FIND_DATA;
struct CEPROPVAL;
struct SORTORDERSPEC;
struct CENOTIFYREQUEST;
struct IRAPIStream;

// Special folders a device answers in CeGetSpecialFolderPath.
constexpr int CSIDL_PROGRAMS = 2;
constexpr int CSIDL_STARTUP = 7;

// The 78 functions, in the order the binding resolves them. Notes on a few:
// - CeRapiInvoke: the entry's result is returned (0 success); the input block must come from
//   host::LocalAlloc and is freed whatever happens; the output, when there is any, is a
//   host::LocalAlloc block for the caller's LocalFree (else null and 0). Stream mode
//   (ppStream) is not offered: E_NOTIMPL.
// - CeFindAllFiles: the array is freed with CeRapiFreeBuffer (null when nothing matched).
// - CeSHGetShortcutTarget: cbMax is the buffer's size in bytes.
// - CeCreateProcess: fills only dwProcessId; the desktop gets no process handles.
#define KELVANO_RAPI_FUNCTIONS(X)                                                                  \
    X(CeRapiInit, HRESULT, (void))                                                                 \
    X(CeRapiInitEx, HRESULT, (RAPIINIT * pInit))                                                   \
    X(CeRapiUninit, HRESULT, (void))                                                               \
    X(CeRapiGetError, HRESULT, (void))                                                             \
    X(CeRapiFreeBuffer, HRESULT, (void* pv))                                                       \
    X(CeRapiInvoke, HRESULT,                                                                       \
      (const WCHAR* pszLibrary, const WCHAR* pszFunction, DWORD cbInput, BYTE* pbInput,            \
       DWORD* pcbOutput, BYTE** ppbOutput, IRAPIStream** ppStream, DWORD dwReserved))              \
    X(CeCreateDatabase, CEOID,                                                                     \
      (WCHAR * pszName, DWORD dwType, WORD cSortOrders, SORTORDERSPEC * pSortOrders))              \
    X(CeDeleteDatabase, BOOL, (CEOID oid))                                                         \
    X(CeDeleteRecord, BOOL, (HANDLE hDatabase, CEOID oidRecord))                                   \
    X(CeFindFirstDatabase, HANDLE, (DWORD dwType))                                                 \
    X(CeFindNextDatabase, CEOID, (HANDLE hEnum))                                                   \
    X(CeOidGetInfo, BOOL, (CEOID oid, CEOIDINFO * pInfo))                                          \
    X(CeOpenDatabase, HANDLE,                                                                      \
      (CEOID * poid, WCHAR * pszName, CEPROPID propid, DWORD dwFlags, HWND hwndNotify))            \
    X(CeReadRecordProps, CEOID,                                                                    \
      (HANDLE hDatabase, DWORD dwFlags, WORD * pcPropId, CEPROPID * pPropIds, BYTE * *ppb,         \
       DWORD * pcb))                                                                               \
    X(CeSeekDatabase, CEOID, (HANDLE hDatabase, DWORD dwSeekType, DWORD dwValue, DWORD * piIndex)) \
    X(CeSetDatabaseInfo, BOOL, (CEOID oid, CEDBASEINFO * pInfo))                                   \
    X(CeFindFirstFile, HANDLE, (const WCHAR* pszPattern, CE_FIND_DATA* pData))                     \
    X(CeFindNextFile, BOOL, (HANDLE hFind, CE_FIND_DATA * pData))                                  \
    X(CeFindClose, BOOL, (HANDLE hFind))                                                           \
    X(CeGetFileAttributes, DWORD, (const WCHAR* pszPath))                                          \
    X(CeSetFileAttributes, BOOL, (const WCHAR* pszPath, DWORD dwAttributes))                       \
    X(CeCreateFile, HANDLE,                                                                        \
      (const WCHAR* pszPath, DWORD dwAccess, DWORD dwShare, void* pSecurity, DWORD dwCreation,     \
       DWORD dwFlags, HANDLE hTemplate))                                                           \
    X(CeReadFile, BOOL, (HANDLE hFile, void* pv, DWORD cb, DWORD* pcbRead, void* pOverlapped))     \
    X(CeWriteFile, BOOL,                                                                           \
      (HANDLE hFile, const void* pv, DWORD cb, DWORD* pcbWritten, void* pOverlapped))              \
    X(CeCloseHandle, BOOL, (HANDLE h))                                                             \
    X(CeFindAllFiles, BOOL,                                                                        \
      (const WCHAR* pszPath, DWORD dwFlags, DWORD* pcFound, CE_FIND_DATA** ppFound))               \
    X(CeFindAllDatabases, BOOL,                                                                    \
      (DWORD dwType, WORD wFlags, WORD * pcFound, CEDB_FIND_DATA * *ppFound))                      \
    X(CeGetLastError, DWORD, (void))                                                               \
    X(CeSetFilePointer, DWORD,                                                                     \
      (HANDLE hFile, LONG lDistance, LONG * plDistanceHigh, DWORD dwMethod))                       \
    X(CeSetEndOfFile, BOOL, (HANDLE hFile))                                                        \
    X(CeCreateDirectory, BOOL, (const WCHAR* pszPath, void* pSecurity))                            \
    X(CeRemoveDirectory, BOOL, (const WCHAR* pszPath))                                             \
    X(CeCreateProcess, BOOL,                                                                       \
      (const WCHAR* pszApplication, const WCHAR* pszCommandLine, void* pProcessSecurity,           \
       void* pThreadSecurity, BOOL fInherit, DWORD dwFlags, void* pEnvironment,                    \
       WCHAR* pszDirectory, void* pStartup, PROCESS_INFORMATION* pInfo))                           \
    X(CeMoveFile, BOOL, (const WCHAR* pszFrom, const WCHAR* pszTo))                                \
    X(CeCopyFile, BOOL, (const WCHAR* pszFrom, const WCHAR* pszTo, BOOL fFailIfExists))            \
    X(CeDeleteFile, BOOL, (const WCHAR* pszPath))                                                  \
    X(CeGetFileSize, DWORD, (HANDLE hFile, DWORD * pdwHigh))                                       \
    X(CeRegOpenKeyEx, LONG,                                                                        \
      (HKEY hKey, const WCHAR* pszSubKey, DWORD dwReserved, REGSAM sam, HKEY* phResult))           \
    X(CeRegEnumKeyEx, LONG,                                                                        \
      (HKEY hKey, DWORD iIndex, WCHAR * pszName, DWORD * pcchName, DWORD * pReserved,              \
       WCHAR * pszClass, DWORD * pcchClass, FILETIME * pftLastWrite))                              \
    X(CeRegCreateKeyEx, LONG,                                                                      \
      (HKEY hKey, const WCHAR* pszSubKey, DWORD dwReserved, WCHAR* pszClass, DWORD dwOptions,      \
       REGSAM sam, void* pSecurity, HKEY* phResult, DWORD* pdwDisposition))                        \
    X(CeRegCloseKey, LONG, (HKEY hKey))                                                            \
    X(CeRegDeleteKey, LONG, (HKEY hKey, const WCHAR* pszSubKey))                                   \
    X(CeRegEnumValue, LONG,                                                                        \
      (HKEY hKey, DWORD iIndex, WCHAR * pszName, DWORD * pcchName, DWORD * pReserved,              \
       DWORD * pdwType, BYTE * pbData, DWORD * pcbData))                                           \
    X(CeRegDeleteValue, LONG, (HKEY hKey, const WCHAR* pszName))                                   \
    X(CeRegQueryInfoKey, LONG,                                                                     \
      (HKEY hKey, WCHAR * pszClass, DWORD * pcchClass, DWORD * pReserved, DWORD * pcSubKeys,       \
       DWORD * pcchMaxSubKey, DWORD * pcchMaxClass, DWORD * pcValues, DWORD * pcchMaxValueName,    \
       DWORD * pcbMaxValue, DWORD * pcbSecurity, FILETIME * pftLastWrite))                         \
    X(CeRegQueryValueEx, LONG,                                                                     \
      (HKEY hKey, const WCHAR* pszName, DWORD* pReserved, DWORD* pdwType, BYTE* pbData,            \
       DWORD* pcbData))                                                                            \
    X(CeRegSetValueEx, LONG,                                                                       \
      (HKEY hKey, const WCHAR* pszName, DWORD dwReserved, DWORD dwType, const BYTE* pbData,        \
       DWORD cbData))                                                                              \
    X(CeGetStoreInformation, BOOL, (STORE_INFORMATION * pInfo))                                    \
    X(CeGetSystemMetrics, int, (int nIndex))                                                       \
    X(CeGetDesktopDeviceCaps, int, (int nIndex))                                                   \
    X(CeGetSystemInfo, void, (SYSTEM_INFO * pInfo))                                                \
    X(CeSHCreateShortcut, DWORD, (WCHAR * pszShortcut, WCHAR * pszTarget))                         \
    X(CeSHGetShortcutTarget, BOOL, (WCHAR * pszShortcut, WCHAR * pszTarget, int cbMax))            \
    X(CeCheckPassword, BOOL, (WCHAR * pszPassword))                                                \
    X(CeGetFileTime, BOOL,                                                                         \
      (HANDLE hFile, FILETIME * pftCreation, FILETIME * pftLastAccess, FILETIME * pftLastWrite))   \
    X(CeSetFileTime, BOOL,                                                                         \
      (HANDLE hFile, const FILETIME* pftCreation, const FILETIME* pftLastAccess,                   \
       const FILETIME* pftLastWrite))                                                              \
    X(CeGetVersionEx, BOOL, (CEOSVERSIONINFO * pInfo))                                             \
    X(CeGetWindow, HWND, (HWND hwnd, UINT uCmd))                                                   \
    X(CeGetWindowLong, LONG, (HWND hwnd, int nIndex))                                              \
    X(CeGetWindowText, int, (HWND hwnd, WCHAR * pszText, int cchMax))                              \
    X(CeGetClassName, int, (HWND hwnd, WCHAR * pszClass, int cchMax))                              \
    X(CeGlobalMemoryStatus, void, (MEMORYSTATUS * pStatus))                                        \
    X(CeGetSystemPowerStatusEx, BOOL, (SYSTEM_POWER_STATUS_EX * pStatus, BOOL fUpdate))            \
    X(CeGetTempPath, DWORD, (DWORD cchBuffer, WCHAR * pszBuffer))                                  \
    X(CeGetSpecialFolderPath, DWORD, (int nFolder, DWORD cchBuffer, WCHAR* pszBuffer))             \
    X(CeFindFirstDatabaseEx, HANDLE, (CEGUID * pGuid, DWORD dwType))                               \
    X(CeFindNextDatabaseEx, CEOID, (HANDLE hEnum, CEGUID * pGuid))                                 \
    X(CeCreateDatabaseEx, CEOID, (CEGUID * pGuid, CEDBASEINFO * pInfo))                            \
    X(CeSetDatabaseInfoEx, BOOL, (CEGUID * pGuid, CEOID oid, CEDBASEINFO * pInfo))                 \
    X(CeOpenDatabaseEx, HANDLE,                                                                    \
      (CEGUID * pGuid, CEOID * poid, WCHAR * pszName, CEPROPID propid, DWORD dwFlags,              \
       CENOTIFYREQUEST * pRequest))                                                                \
    X(CeDeleteDatabaseEx, BOOL, (CEGUID * pGuid, CEOID oid))                                       \
    X(CeReadRecordPropsEx, CEOID,                                                                  \
      (HANDLE hDatabase, DWORD dwFlags, WORD * pcPropId, CEPROPID * pPropIds, BYTE * *ppb,         \
       DWORD * pcb, HANDLE hHeap))                                                                 \
    X(CeWriteRecordProps, CEOID,                                                                   \
      (HANDLE hDatabase, CEOID oidRecord, WORD cProps, CEPROPVAL * pProps))                        \
    X(CeMountDBVol, BOOL, (CEGUID * pGuid, WCHAR * pszVolume, DWORD dwFlags))                      \
    X(CeUnmountDBVol, BOOL, (CEGUID * pGuid))                                                      \
    X(CeFlushDBVol, BOOL, (CEGUID * pGuid))                                                        \
    X(CeEnumDBVolumes, BOOL, (CEGUID * pGuid, WCHAR * pszBuffer, DWORD cchBuffer))                 \
    X(CeOidGetInfoEx, BOOL, (CEGUID * pGuid, CEOID oid, CEOIDINFO * pInfo))

// A pointer type for each: PFN_CeRapiInit, ...
#define KELVANO_RAPI_POINTER_TYPE(name, result, params) using PFN_##name = result(*) params;
KELVANO_RAPI_FUNCTIONS(KELVANO_RAPI_POINTER_TYPE)
#undef KELVANO_RAPI_POINTER_TYPE

constexpr int kcRapiFunctions = 78;
#define KELVANO_RAPI_COUNT(name, result, params) +1
static_assert(0 KELVANO_RAPI_FUNCTIONS(KELVANO_RAPI_COUNT) == kcRapiFunctions);
#undef KELVANO_RAPI_COUNT

} // namespace rapi
