#include "host/error.h"

namespace host {
namespace {
thread_local DWORD t_lastError = ERROR_SUCCESS;
}

void SetLastError(DWORD dwError) {
    t_lastError = dwError;
}
DWORD GetLastError() {
    return t_lastError;
}

} // namespace host
