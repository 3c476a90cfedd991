// The binding to a connected device: "rapi.dll" loaded by name at run time (never linked, so
// the installer runs where no device software is present), its 78 functions found by name
// into one record, the connection started with a time-out, and closed.
//
// The binding's trace lines ("rapi: ...\n") go to the debug output, beside the setup
// library's own.
#pragma once

#include "device/rapi.h"
#include "host/resource.h"
#include "host/types.h"

#include <utility>

namespace sl {

// One per SetupLib (tag "RAPI"): the library and a pointer for each function, in the order
// they are resolved.
class DeviceConnection {
public:
    host::HMODULE hModule = nullptr;
#define SL_RAPI_POINTER(name, result, params) rapi::PFN_##name pfn##name = nullptr;
    KELVANO_RAPI_FUNCTIONS(SL_RAPI_POINTER)
#undef SL_RAPI_POINTER
};

// Loads "rapi.dll", resolves every function and starts the connection, waiting up to
// dwTimeoutMs for it. Null (everything released again) when the library or a function is
// missing, the start fails or reports a failure, or nothing answers in time.
DeviceConnection* OpenDeviceConnection(host::DWORD dwTimeoutMs);
// Ends the connection, unloads the library and frees the record; null is ignored.
void CloseDeviceConnection(DeviceConnection* pConnection);

// The forwarding operations: each function by its own name, with the connection first and
// the function's arguments after it, passed on unchanged.
#define SL_RAPI_FORWARD(name, result, params)                                                      \
    template <class... Args> decltype(auto) name(DeviceConnection* pConnection, Args&&... args) {  \
        return pConnection->pfn##name(std::forward<Args>(args)...);                                \
    }
KELVANO_RAPI_FUNCTIONS(SL_RAPI_FORWARD)
#undef SL_RAPI_FORWARD

} // namespace sl
