#include "setup/sl_rapi.h"

#include "foundation/diag.h"
#include "foundation/memmgr.h"
#include "foundation/tl_string.h"
#include "host/error.h"
#include "host/library.h"
#include "host/thread.h"

namespace sl {
namespace {

void RapiTrace(const cetl::string& strLine) {
    cetl::TraceText(strLine);
}

// Every pointer in declaration order; false (with the last error set) at the first one the
// library lacks.
bool ResolveFunctions(DeviceConnection& connection) {
#define SL_RAPI_RESOLVE(name, result, params)                                                      \
    connection.pfn##name =                                                                         \
        reinterpret_cast<rapi::PFN_##name>(host::GetProcAddress(connection.hModule, #name));       \
    if (connection.pfn##name == nullptr) return false;
    KELVANO_RAPI_FUNCTIONS(SL_RAPI_RESOLVE)
#undef SL_RAPI_RESOLVE
    return true;
}

} // namespace

DeviceConnection* OpenDeviceConnection(host::DWORD dwTimeoutMs) {
    RapiTrace(cetl::string("rapi: initializing...\n"));
    const host::HMODULE hModule = host::LoadLibrary("rapi.dll");
    if (hModule == nullptr) {
        RapiTrace(cetl::sformat("rapi: failed to load rapi.dll; error %ld\n",
                                static_cast<long>(host::GetLastError())));
        return nullptr;
    }
    auto* pConnection = mem::NewObject<DeviceConnection>("RAPI", __FILE__, __LINE__);
    if (pConnection == nullptr) {
        host::FreeLibrary(hModule);
        return nullptr;
    }
    pConnection->hModule = hModule;
    if (!ResolveFunctions(*pConnection)) {
        RapiTrace(cetl::sformat("rapi: failed to find functions in rapi.dll; error %ld\n",
                                static_cast<long>(host::GetLastError())));
        CloseDeviceConnection(pConnection);
        return nullptr;
    }

    // The record lives on this frame: every way out either saw the event set or closes the
    // connection (CeRapiUninit ends the attempt) before returning.
    RapiTrace(cetl::string("rapi: calling CeRapiInitEx\n"));
    rapi::RAPIINIT init{};
    init.cbSize = sizeof(init);
    const rapi::HRESULT hr = pConnection->pfnCeRapiInitEx(&init);
    if (hr < 0 || init.heRapiInit == nullptr) {
        RapiTrace(cetl::sformat("rapi: CeRapiInitEx failed; error %ld\n", static_cast<long>(hr)));
        CloseDeviceConnection(pConnection);
        return nullptr;
    }
    if (!static_cast<host::Event*>(init.heRapiInit)->Wait(dwTimeoutMs)) {
        RapiTrace(cetl::string("rapi: CeRapiInitEx timed out\n"));
        CloseDeviceConnection(pConnection);
        return nullptr;
    }
    // The event only says the attempt is over; its result says whether a device answered.
    if (init.hrRapiInit < 0) {
        RapiTrace(cetl::sformat("rapi: CeRapiInitEx failed; error %ld\n",
                                static_cast<long>(init.hrRapiInit)));
        CloseDeviceConnection(pConnection);
        return nullptr;
    }
    RapiTrace(cetl::string("rapi: initialization succeeded\n"));
    return pConnection;
}

void CloseDeviceConnection(DeviceConnection* pConnection) {
    if (pConnection == nullptr) return;
    RapiTrace(cetl::string("rapi: uninitializing\n"));
    if (pConnection->hModule != nullptr) {
        if (pConnection->pfnCeRapiUninit != nullptr) pConnection->pfnCeRapiUninit();
        host::FreeLibrary(pConnection->hModule);
    }
    MemDelete(pConnection);
    RapiTrace(cetl::string("rapi: uninitialization complete\n"));
}

} // namespace sl
