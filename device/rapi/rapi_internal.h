// What the pieces of "rapi.dll" share: the one remote call, the library's error state and
// the conversions between the wire and the classic records.
#pragma once

#include "device/rapi.h"
#include "device/wire.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <string_view>
#include <vector>

#define RAPI_EXPORT extern "C" __attribute__((visibility("default")))

namespace rapi {

// Each definition must match its declaration here, so a signature cannot drift from the
// header the binding uses.
#define KELVANO_RAPI_DECLARE(name, result, params) RAPI_EXPORT result name params;
KELVANO_RAPI_FUNCTIONS(KELVANO_RAPI_DECLARE)
#undef KELVANO_RAPI_DECLARE

namespace internal {

using device::Call;
using device::Reader;
using device::Status;
using device::Writer;

inline constexpr DWORD ERROR_SUCCESS = 0;
inline constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
inline constexpr DWORD ERROR_INVALID_HANDLE = 6;
inline constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
inline constexpr DWORD ERROR_NO_MORE_FILES = 18;
inline constexpr DWORD ERROR_NOT_SUPPORTED = 50;
inline constexpr DWORD ERROR_INVALID_PARAMETER = 87;
inline constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;
inline constexpr DWORD ERROR_MORE_DATA = 234;
inline constexpr DWORD ERROR_NO_MORE_ITEMS = 259;
inline constexpr DWORD ERROR_INVALID_WINDOW_HANDLE = 1400;

// What CeRapiGetError and CeGetLastError answer.
extern std::atomic<HRESULT> g_hrLast;
extern std::atomic<DWORD> g_dwLastError;

struct Reply {
    Status status = Status::kServed;
    std::int32_t nResult = 0;
    std::uint32_t nLastError = 0;
    std::vector<std::uint8_t> body;
};

// One remote call: true when the device served it (its result and last error are then in
// the reply, and the last error is the library's); false, with the failure recorded, when
// there is no connection, the service is lost or the device is disconnected.
bool Remote(Call call, const Writer& body, Reply* pReply);
bool Remote(Call call, Reply* pReply);

inline std::u16string_view Text(const WCHAR* psz) {
    return psz ? std::u16string_view(psz) : std::u16string_view();
}

inline std::uint32_t Number(const void* h) {
    const auto n = reinterpret_cast<std::uintptr_t>(h);
    return n <= 0xFFFFFFFFu ? static_cast<std::uint32_t>(n) : device::kNoHandle;
}

inline HANDLE FromNumber(std::uint32_t n) {
    return reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(n));
}

inline FILETIME ToFileTime(std::uint64_t t) {
    return {static_cast<DWORD>(t), static_cast<DWORD>(t >> 32)};
}

inline std::uint64_t FromFileTime(const FILETIME* p) {
    return p ? (std::uint64_t{p->dwHighDateTime} << 32) | p->dwLowDateTime : 0;
}

// Copies a text with its terminator; false when it does not fit.
inline bool CopyText(std::u16string_view text, WCHAR* pszBuffer, std::size_t cchBuffer) {
    if (!pszBuffer || text.size() + 1 > cchBuffer) return false;
    std::copy(text.begin(), text.end(), pszBuffer);
    pszBuffer[text.size()] = u'\0';
    return true;
}

// A value's data into the caller's buffer, with the registry's rules for sizes.
inline LONG CopyData(const std::vector<std::uint8_t>& data, BYTE* pbData, DWORD* pcbData) {
    if (!pcbData) return pbData ? static_cast<LONG>(ERROR_INVALID_PARAMETER) : ERROR_SUCCESS;
    const auto cb = static_cast<DWORD>(data.size());
    if (pbData) {
        if (*pcbData < cb) {
            *pcbData = cb;
            return ERROR_MORE_DATA;
        }
        if (cb != 0) std::memcpy(pbData, data.data(), cb);
    }
    *pcbData = cb;
    return ERROR_SUCCESS;
}

// Calls that answer as a device without databases, volumes or windows: the device is asked
// for something cheap first, so a lost or disconnected device fails them like any other.
template <typename T> T None(T failure, DWORD dwLastError) {
    Reply reply;
    if (Remote(Call::kGetSystemMetrics, Writer().U32(0), &reply)) g_dwLastError = dwLastError;
    return failure;
}

// A call whose result is a truth value.
inline BOOL PathCall(Call call, const Writer& request) {
    Reply reply;
    return Remote(call, request, &reply) && reply.nResult != 0;
}

} // namespace internal

using namespace internal;

} // namespace rapi
