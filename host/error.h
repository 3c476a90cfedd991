// The calling thread's last-error value: a failing call leaves its reason here, as a
// number, for the caller to read back on the same thread.
#pragma once

#include "host/types.h"

namespace host {

constexpr DWORD ERROR_SUCCESS = 0;
constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr DWORD ERROR_INVALID_DATA = 13;
constexpr DWORD ERROR_INVALID_PARAMETER = 87;
constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;

void SetLastError(DWORD dwError);
DWORD GetLastError();

} // namespace host
