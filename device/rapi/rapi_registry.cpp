// "rapi.dll": the registry and system calls.
#include "device/rapi/rapi_internal.h"

namespace rapi {

// ---- Registry --------------------------------------------------------------------------

LONG CeRegOpenKeyEx(HKEY hKey, const WCHAR* pszSubKey, DWORD, REGSAM sam, HKEY* phResult) {
    if (!phResult) return ERROR_INVALID_PARAMETER;
    *phResult = nullptr;
    Reply reply;
    if (!Remote(Call::kRegOpenKey, Writer().U32(Number(hKey)).Text(Text(pszSubKey)).U32(sam),
                &reply))
        return ERROR_NOT_CONNECTED;
    std::uint32_t h = 0;
    if (reply.nResult == 0 && Reader(reply.body).U32(&h)) *phResult = FromNumber(h);
    return reply.nResult;
}

LONG CeRegCreateKeyEx(HKEY hKey, const WCHAR* pszSubKey, DWORD, WCHAR*, DWORD dwOptions, REGSAM sam,
                      void*, HKEY* phResult, DWORD* pdwDisposition) {
    if (!phResult) return ERROR_INVALID_PARAMETER;
    *phResult = nullptr;
    Reply reply;
    if (!Remote(Call::kRegCreateKey,
                Writer().U32(Number(hKey)).Text(Text(pszSubKey)).U32(dwOptions).U32(sam), &reply))
        return ERROR_NOT_CONNECTED;
    Reader in(reply.body);
    std::uint32_t h = 0, nDisposition = 0;
    if (reply.nResult == 0 && in.U32(&h) && in.U32(&nDisposition)) {
        *phResult = FromNumber(h);
        if (pdwDisposition) *pdwDisposition = nDisposition;
    }
    return reply.nResult;
}

LONG CeRegCloseKey(HKEY hKey) {
    Reply reply;
    return Remote(Call::kRegCloseKey, Writer().U32(Number(hKey)), &reply) ? reply.nResult
                                                                          : ERROR_NOT_CONNECTED;
}

LONG CeRegDeleteKey(HKEY hKey, const WCHAR* pszSubKey) {
    Reply reply;
    return Remote(Call::kRegDeleteKey, Writer().U32(Number(hKey)).Text(Text(pszSubKey)), &reply)
               ? reply.nResult
               : ERROR_NOT_CONNECTED;
}

LONG CeRegDeleteValue(HKEY hKey, const WCHAR* pszName) {
    Reply reply;
    return Remote(Call::kRegDeleteValue, Writer().U32(Number(hKey)).Text(Text(pszName)), &reply)
               ? reply.nResult
               : ERROR_NOT_CONNECTED;
}

LONG CeRegEnumKeyEx(HKEY hKey, DWORD iIndex, WCHAR* pszName, DWORD* pcchName, DWORD*,
                    WCHAR* pszClass, DWORD* pcchClass, FILETIME* pftLastWrite) {
    if (!pszName || !pcchName) return ERROR_INVALID_PARAMETER;
    Reply reply;
    if (!Remote(Call::kRegEnumKey, Writer().U32(Number(hKey)).U32(iIndex), &reply))
        return ERROR_NOT_CONNECTED;
    if (reply.nResult != 0) return reply.nResult;
    std::u16string name;
    Reader(reply.body).Text(&name);
    if (!CopyText(name, pszName, *pcchName)) {
        *pcchName = static_cast<DWORD>(name.size() + 1);
        return ERROR_MORE_DATA;
    }
    *pcchName = static_cast<DWORD>(name.size());
    // Device keys carry no class or time.
    if (pcchClass) {
        if (pszClass && *pcchClass != 0) pszClass[0] = u'\0';
        *pcchClass = 0;
    }
    if (pftLastWrite) *pftLastWrite = {};
    return ERROR_SUCCESS;
}

LONG CeRegEnumValue(HKEY hKey, DWORD iIndex, WCHAR* pszName, DWORD* pcchName, DWORD*,
                    DWORD* pdwType, BYTE* pbData, DWORD* pcbData) {
    if (!pszName || !pcchName) return ERROR_INVALID_PARAMETER;
    Reply reply;
    if (!Remote(Call::kRegEnumValue, Writer().U32(Number(hKey)).U32(iIndex), &reply))
        return ERROR_NOT_CONNECTED;
    if (reply.nResult != 0) return reply.nResult;
    Reader in(reply.body);
    std::u16string name;
    std::uint32_t nType = 0;
    std::vector<std::uint8_t> data;
    in.Text(&name);
    in.U32(&nType);
    in.Bytes(&data);
    if (!CopyText(name, pszName, *pcchName)) {
        *pcchName = static_cast<DWORD>(name.size() + 1);
        return ERROR_MORE_DATA;
    }
    *pcchName = static_cast<DWORD>(name.size());
    if (pdwType) *pdwType = nType;
    return CopyData(data, pbData, pcbData);
}

LONG CeRegQueryInfoKey(HKEY hKey, WCHAR* pszClass, DWORD* pcchClass, DWORD*, DWORD* pcSubKeys,
                       DWORD* pcchMaxSubKey, DWORD* pcchMaxClass, DWORD* pcValues,
                       DWORD* pcchMaxValueName, DWORD* pcbMaxValue, DWORD* pcbSecurity,
                       FILETIME* pftLastWrite) {
    Reply reply;
    if (!Remote(Call::kRegQueryInfoKey, Writer().U32(Number(hKey)), &reply))
        return ERROR_NOT_CONNECTED;
    if (reply.nResult != 0) return reply.nResult;
    Reader in(reply.body);
    std::uint32_t n[5] = {};
    for (std::uint32_t& x : n)
        in.U32(&x);
    DWORD* const out[5] = {pcSubKeys, pcchMaxSubKey, pcValues, pcchMaxValueName, pcbMaxValue};
    for (int i = 0; i < 5; ++i)
        if (out[i]) *out[i] = n[i];
    if (pcchClass) {
        if (pszClass && *pcchClass != 0) pszClass[0] = u'\0';
        *pcchClass = 0;
    }
    if (pcchMaxClass) *pcchMaxClass = 0;
    if (pcbSecurity) *pcbSecurity = 0;
    if (pftLastWrite) *pftLastWrite = {};
    return ERROR_SUCCESS;
}

LONG CeRegQueryValueEx(HKEY hKey, const WCHAR* pszName, DWORD*, DWORD* pdwType, BYTE* pbData,
                       DWORD* pcbData) {
    Reply reply;
    if (!Remote(Call::kRegQueryValue, Writer().U32(Number(hKey)).Text(Text(pszName)), &reply))
        return ERROR_NOT_CONNECTED;
    if (reply.nResult != 0) return reply.nResult;
    Reader in(reply.body);
    std::uint32_t nType = 0;
    std::vector<std::uint8_t> data;
    in.U32(&nType);
    in.Bytes(&data);
    if (pdwType) *pdwType = nType;
    return CopyData(data, pbData, pcbData);
}

LONG CeRegSetValueEx(HKEY hKey, const WCHAR* pszName, DWORD, DWORD dwType, const BYTE* pbData,
                     DWORD cbData) {
    if (!pbData && cbData != 0) return ERROR_INVALID_PARAMETER;
    Reply reply;
    return Remote(Call::kRegSetValue,
                  Writer().U32(Number(hKey)).Text(Text(pszName)).U32(dwType).Bytes(pbData, cbData),
                  &reply)
               ? reply.nResult
               : ERROR_NOT_CONNECTED;
}

// ---- System ----------------------------------------------------------------------------

namespace {
// The reply's U32 items in order; false when the call failed or the reply is short.
template <std::size_t N> bool Numbers(Call call, const Writer& request, std::uint32_t (&n)[N]) {
    Reply reply;
    if (!Remote(call, request, &reply) || reply.nResult == 0) return false;
    Reader in(reply.body);
    for (std::uint32_t& x : n)
        if (!in.U32(&x)) return false;
    return true;
}
} // namespace

void CeGetSystemInfo(SYSTEM_INFO* pInfo) {
    std::uint32_t n[7] = {};
    // On failure the record stays as the caller left it.
    if (!pInfo || !Numbers(Call::kGetSystemInfo, Writer(), n)) return;
    *pInfo = {};
    pInfo->wProcessorArchitecture = static_cast<WORD>(n[0]);
    pInfo->dwPageSize = n[1];
    pInfo->lpMinimumApplicationAddress = 0x10000;
    pInfo->lpMaximumApplicationAddress = 0x7FFFFFFF;
    pInfo->dwActiveProcessorMask = 1;
    pInfo->dwNumberOfProcessors = n[2];
    pInfo->dwProcessorType = n[3];
    pInfo->dwAllocationGranularity = n[4];
    pInfo->wProcessorLevel = static_cast<WORD>(n[5]);
    pInfo->wProcessorRevision = static_cast<WORD>(n[6]);
}

BOOL CeGetVersionEx(CEOSVERSIONINFO* pInfo) {
    if (!pInfo) {
        g_dwLastError = ERROR_INVALID_PARAMETER;
        return 0;
    }
    Reply reply;
    if (!Remote(Call::kGetVersionEx, &reply) || reply.nResult == 0) return 0;
    Reader in(reply.body);
    std::uint32_t n[4] = {};
    std::u16string servicePack;
    for (std::uint32_t& x : n)
        in.U32(&x);
    in.Text(&servicePack);
    pInfo->dwOSVersionInfoSize = sizeof(CEOSVERSIONINFO);
    pInfo->dwMajorVersion = n[0];
    pInfo->dwMinorVersion = n[1];
    pInfo->dwBuildNumber = n[2];
    pInfo->dwPlatformId = n[3];
    servicePack.resize(std::min<std::size_t>(servicePack.size(), 127));
    CopyText(servicePack, pInfo->szCSDVersion, 128);
    return 1;
}

BOOL CeGetStoreInformation(STORE_INFORMATION* pInfo) {
    std::uint32_t n[2] = {};
    if (!pInfo || !Numbers(Call::kGetStoreInfo, Writer(), n)) return 0;
    pInfo->dwStoreSize = n[0];
    pInfo->dwFreeSize = n[1];
    return 1;
}

void CeGlobalMemoryStatus(MEMORYSTATUS* pStatus) {
    std::uint32_t n[7] = {};
    if (!pStatus || !Numbers(Call::kMemoryStatus, Writer(), n)) return;
    *pStatus = {sizeof(MEMORYSTATUS), n[0], n[1], n[2], n[3], n[4], n[5], n[6]};
}

BOOL CeGetSystemPowerStatusEx(SYSTEM_POWER_STATUS_EX* pStatus, BOOL fUpdate) {
    std::uint32_t n[9] = {};
    if (!pStatus || !Numbers(Call::kPowerStatus, Writer().U32(fUpdate ? 1 : 0), n)) return 0;
    *pStatus = {};
    pStatus->ACLineStatus = static_cast<BYTE>(n[0]);
    pStatus->BatteryFlag = static_cast<BYTE>(n[1]);
    pStatus->BatteryLifePercent = static_cast<BYTE>(n[2]);
    pStatus->BatteryLifeTime = n[3];
    pStatus->BatteryFullLifeTime = n[4];
    pStatus->BackupBatteryFlag = static_cast<BYTE>(n[5]);
    pStatus->BackupBatteryLifePercent = static_cast<BYTE>(n[6]);
    pStatus->BackupBatteryLifeTime = n[7];
    pStatus->BackupBatteryFullLifeTime = n[8];
    return 1;
}

int CeGetSystemMetrics(int nIndex) {
    Reply reply;
    return Remote(Call::kGetSystemMetrics, Writer().U32(static_cast<std::uint32_t>(nIndex)), &reply)
               ? reply.nResult
               : 0;
}

int CeGetDesktopDeviceCaps(int nIndex) {
    Reply reply;
    return Remote(Call::kGetDeviceCaps, Writer().U32(static_cast<std::uint32_t>(nIndex)), &reply)
               ? reply.nResult
               : 0;
}

BOOL CeCheckPassword(WCHAR* pszPassword) {
    return PathCall(Call::kCheckPassword, Writer().Text(Text(pszPassword)));
}

DWORD CeGetTempPath(DWORD cchBuffer, WCHAR* pszBuffer) {
    Reply reply;
    std::u16string path;
    if (!Remote(Call::kGetTempPath, &reply) || !Reader(reply.body).Text(&path)) return 0;
    // Too small a buffer: the size it needs, terminator included.
    if (!CopyText(path, pszBuffer, cchBuffer)) return static_cast<DWORD>(path.size() + 1);
    return static_cast<DWORD>(path.size());
}

DWORD CeGetSpecialFolderPath(int nFolder, DWORD cchBuffer, WCHAR* pszBuffer) {
    Reply reply;
    std::u16string path;
    if (!Remote(Call::kGetSpecialFolder, Writer().U32(static_cast<std::uint32_t>(nFolder)),
                &reply) ||
        reply.nResult == 0 || !Reader(reply.body).Text(&path))
        return 0;
    if (!CopyText(path, pszBuffer, cchBuffer)) {
        g_dwLastError = ERROR_INSUFFICIENT_BUFFER;
        return 0;
    }
    return static_cast<DWORD>(path.size());
}

} // namespace rapi
