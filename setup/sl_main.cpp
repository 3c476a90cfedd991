#include "setup/sl_main.h"

#include "foundation/diag.h"
#include "foundation/tl_exception.h"
#include "setup/sl_rapi.h"

namespace sl {

struct SetupLib::m_t {
    SetupToolkit* pDesktop = nullptr;
    SetupToolkit* pDevice = nullptr;
    DeviceConnection* pConnection = nullptr;
};

void Trace(const string& strLine) {
    cetl::TraceText(strLine);
}

SetupLib::SetupLib() : m_(mem::NewObject<m_t>("SetupLib_m_t", __FILE__, __LINE__)) {
    if (m_ == nullptr) throw cetl::exception("setuplib: out of memory for the library");
    Trace(string("setuplib: constructing library\n"));
    m_->pDesktop = MemNew(SetupToolkit, this, MakeDesktopTarget());
    if (m_->pDesktop == nullptr) {
        MemDelete(m_);
        throw cetl::exception("setuplib: out of memory for a toolkit");
    }
    connectdevice(500);
    Trace(string("setuplib: library constructed successfully\n"));
}

SetupLib::~SetupLib() {
    Trace(string("setuplib: destroying library\n"));
    // The device toolkit first: it may still hold a file open on the device.
    MemDelete(m_->pDevice);
    m_->pDevice = nullptr;
    CloseDeviceConnection(m_->pConnection);
    m_->pConnection = nullptr;
    MemDelete(m_->pDesktop);
    MemDelete(m_);
    Trace(string("setuplib: library destroyed\n"));
}

DeviceConnection* SetupLib::connectdevice(DWORD dwTimeoutMs) {
    if (dwTimeoutMs == 0 || m_->pConnection != nullptr) return m_->pConnection;
    DeviceConnection* pConnection = OpenDeviceConnection(dwTimeoutMs);
    if (pConnection == nullptr) return nullptr;
    m_->pDevice = MemNew(SetupToolkit, this, MakeDeviceTarget(pConnection));
    if (m_->pDevice == nullptr) {
        CloseDeviceConnection(pConnection);
        return nullptr;
    }
    m_->pConnection = pConnection;
    return pConnection;
}

SetupToolkit& SetupLib::DesktopToolkit() {
    return *m_->pDesktop;
}

SetupToolkit* SetupLib::DeviceToolkit() {
    return m_->pDevice;
}

} // namespace sl
