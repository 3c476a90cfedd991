// The setup library: the toolkit for this machine, always there, and the toolkit for a
// connected device, there once a device answered.
#pragma once

#include "foundation/tl_string.h"
#include "setup/sl_toolkit.h"

namespace sl {

// Every trace line of the library goes through here ("setuplib: ... \n").
void Trace(const string& strLine);

// The device connection (setup/sl_rapi.h).
class DeviceConnection;

class SetupLib {
public:
    // Creates the toolkit for this machine and tries once, for 500 ms, to reach a device.
    SetupLib();
    ~SetupLib();
    SetupLib(const SetupLib&) = delete;
    SetupLib& operator=(const SetupLib&) = delete;

    // With a non-zero time-out and no connection yet, tries to connect; on success the
    // device toolkit is made. With 0 only reports whether a connection exists.
    DeviceConnection* connectdevice(DWORD dwTimeoutMs);

    SetupToolkit& DesktopToolkit();
    // Null while no device is connected.
    SetupToolkit* DeviceToolkit();

private:
    // The library's state, in a block of its own (tag "SetupLib_m_t").
    struct m_t;
    m_t* m_;
};

} // namespace sl
