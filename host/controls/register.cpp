// Registers every standard control class once per process.
#include "host/controls.h"
#include "host/controls/controls_internal.h"

#include <mutex>

namespace host {

bool RegisterStandardControls() {
    static std::once_flag once;
    static bool ok = false;
    std::call_once(once, [] {
        // Each control's file adds its class here.
        using Register = bool (*)();
        const Register all[] = {
            controls::RegisterButtonClass,    controls::RegisterStaticClass,
            controls::RegisterProgressClass,  controls::RegisterEditClass,
            controls::RegisterListBoxClass,   controls::RegisterComboBoxClass,
            controls::RegisterScrollBarClass,
        };
        ok = true;
        for (Register registerClass : all)
            if (registerClass != nullptr && !registerClass()) ok = false;
    });
    return ok;
}

} // namespace host
