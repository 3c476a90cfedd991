#include "game/settings.h"

SETTINGS g_settings = DefaultSettings();
