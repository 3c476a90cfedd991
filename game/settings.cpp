#include "game/settings.h"

#include "foundation/tl_registry.h"

#include <bit>

// The record is stored as it lies in memory.
static_assert(std::endian::native == std::endian::little);

SETTINGS g_settings = DefaultSettings();

namespace {

cetl::regvalue SettingsValue() {
    return cetl::regvalue(cetl::regkey(kszGameKey), cetl::string("Settings"));
}

} // namespace

bool ReadStoredSettings(SETTINGS* pSettings) {
    SETTINGS settings;
    if (!SettingsValue().ReadVersioned(SETTINGS_VERSION, &settings, sizeof(settings))) return false;
    *pSettings = settings;
    return true;
}

bool ReadSettings() {
    if (ReadStoredSettings(&g_settings)) return true;
    g_settings = DefaultSettings();
    WriteSettings();
    return false;
}

bool WriteSettings() {
    return SettingsValue().WriteVersioned(SETTINGS_VERSION, &g_settings, sizeof(g_settings));
}
