#include "gameui/sounds.h"

// The sound class and the wave loading arrive together with the sound issue; until then
// the slots stay empty.
class Sound;

namespace {

Sound* g_rgpSound[cGameSounds] = {};

// The slot of WAVE idWave, or -1.
int SlotOf(int idWave) {
    const int i = idWave - idGameSoundFirst;
    return i >= 0 && i < cGameSounds ? i : -1;
}

} // namespace

void LoadGameSounds(host::HINSTANCE /*hInstance*/) {
    // The entry point the sound loading fills: "COMPRESSED" first, then "WAVE", slot by slot.
}

void FreeGameSounds() {
    for (Sound*& pSound : g_rgpSound)
        pSound = nullptr;
}

void PlayGameSound(int idWave) {
    const int i = SlotOf(idWave);
    if (i < 0 || g_rgpSound[i] == nullptr) return;
    // A loaded slot plays here once from its start (comes with the sound loading).
}

void StopGameSound(int idWave) {
    const int i = SlotOf(idWave);
    if (i < 0 || g_rgpSound[i] == nullptr) return;
    // A loaded slot stops here (comes with the sound loading).
}

bool IsGameSoundLoaded(int idWave) {
    const int i = SlotOf(idWave);
    return i >= 0 && g_rgpSound[i] != nullptr;
}
