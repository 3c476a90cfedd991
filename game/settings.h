// The program's settings record, stored as the versioned registry value "Settings".
//
// It lives with the rules because they read fModern, and the computer opponent reads the
// player entries. The user-interface thread owns g_settings; the search takes a copy of
// what it needs when it starts.
#pragma once

#include <cstddef>
#include <cstdint>

struct PLAYERSETTING {
    std::int32_t fComputer; // nonzero: this side is played by the computer
    std::int32_t nLevel;    // 1 Low, 2 Medium, 3 High
};

struct SETTINGS {
    std::int32_t nReserved0; // written back as read
    std::int32_t fSound;
    std::int32_t nReserved8; // never read
    std::int32_t fAnimate;
    std::int32_t fModern; // 0 Classic, nonzero Modern (Breaking allowed)
    std::int32_t iBoard;  // layout index 0 to 6
    PLAYERSETTING aPlayer[2];
};
static_assert(sizeof(SETTINGS) == 40);
static_assert(offsetof(SETTINGS, fSound) == 4);
static_assert(offsetof(SETTINGS, fAnimate) == 12);
static_assert(offsetof(SETTINGS, fModern) == 16);
static_assert(offsetof(SETTINGS, iBoard) == 20);
static_assert(offsetof(SETTINGS, aPlayer[0].fComputer) == 24);
static_assert(offsetof(SETTINGS, aPlayer[0].nLevel) == 28);
static_assert(offsetof(SETTINGS, aPlayer[1].fComputer) == 32);
static_assert(offsetof(SETTINGS, aPlayer[1].nLevel) == 36);

// Version word of the stored value: major 1, minor 0.
constexpr std::uint32_t SETTINGS_VERSION = 0x00010000;

// The deepest search the computer can run.
constexpr int MAX_SEARCH_DEPTH = 3;

// Defaults: sound and animation on, Classic rules and board, Blue a person, Red the
// computer at Medium.
constexpr SETTINGS DefaultSettings() {
    SETTINGS settings{};
    settings.fSound = 1;
    settings.fAnimate = 1;
    settings.aPlayer[1].fComputer = 1;
    settings.aPlayer[1].nLevel = 2;
    return settings;
}

// The search depth for a stored level: values above 3 would need more action lists than
// there are, so they search at 3; 0 and below score the root moves only, like 1.
constexpr int SearchDepthOf(int nLevel) {
    return nLevel > MAX_SEARCH_DEPTH ? MAX_SEARCH_DEPTH : nLevel;
}

extern SETTINGS g_settings;

// The registry key of the game's stored values: "Settings", "SavedGame" and "SavedHistory".
constexpr const char kszGameKey[] = "HKCU\\Software\\Vantor\\Kelvano CE";

// Reads the stored record into *pSettings; false (and *pSettings untouched) when there is
// none that reads: missing, shorter than the version word, or of another major version. A
// shorter record reads with zeros after its end.
bool ReadStoredSettings(SETTINGS* pSettings);

// The start-up read into g_settings. When nothing reads, g_settings takes the defaults,
// which are written back at once, and the result is false: the program's first start.
bool ReadSettings();

// Writes g_settings, reserved fields as read (44 bytes: version word, then the record).
bool WriteSettings();
