// Shared by the standard controls' files: the registration of each class. Controls use only
// the public host headers (window.h, gdi.h, controls.h) and look.h.
#pragma once

namespace host::controls {

// Each registers one class with 16-bit names; false when the name is taken.
bool RegisterButtonClass();
bool RegisterStaticClass();
bool RegisterEditClass();
bool RegisterListBoxClass();
bool RegisterComboBoxClass(); // also the pop-up list's class
bool RegisterScrollBarClass();
bool RegisterProgressClass();

} // namespace host::controls
