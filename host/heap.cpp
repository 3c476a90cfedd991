#include "host/heap.h"

#include "host/error.h"

#include <cstdlib>
#include <cstring>

namespace host {

void* LocalAlloc(UINT uFlags, std::size_t cb) {
    void* pv = (uFlags & LMEM_ZEROINIT) ? std::calloc(cb ? cb : 1, 1) : std::malloc(cb ? cb : 1);
    if (pv == nullptr) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return pv;
}

void* LocalFree(void* pv) {
    std::free(pv);
    return nullptr;
}

} // namespace host
