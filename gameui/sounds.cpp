#include "gameui/sounds.h"

#include "anim/cea_sound.h"
#include "foundation/memmgr.h"
#include "game/settings.h"
#include "gameui/resdata.h"

namespace {

Sound* g_rgpSound[cGameSounds] = {};

// The slot of WAVE idWave, or -1.
int SlotOf(int idWave) {
    const int i = idWave - idGameSoundFirst;
    return i >= 0 && i < cGameSounds ? i : -1;
}

// The sound of resource nId, or null when it is missing or unreadable.
Sound* LoadOne(host::HINSTANCE hInstance, host::UINT nId) {
    RESOURCEDATA data;
    if (!LoadGameResource(hInstance, nId, host::ResName("WAVE"), &data)) return nullptr;
    return MakeSoundFrom(&data);
}

} // namespace

Sound* MakeSoundFrom(RESOURCEDATA* pData) {
    Sound* pSound = MemNew(Sound);
    // The sound keeps its own converted copy: the unpacked block goes at once.
    const bool fLoaded = pSound != nullptr && pSound->LoadMemory(pData->pbData, pData->cbData);
    FreeResourceData(pData);
    if (!fLoaded && pSound != nullptr) {
        MemDelete(pSound);
        pSound = nullptr;
    }
    return pSound;
}

void LoadGameSounds(host::HINSTANCE hInstance) {
    FreeGameSounds();
    for (int i = 0; i < cGameSounds; ++i)
        g_rgpSound[i] = LoadOne(hInstance, static_cast<host::UINT>(idGameSoundFirst + i));
}

void FreeGameSounds() {
    for (Sound*& pSound : g_rgpSound) {
        if (pSound != nullptr) MemDelete(pSound); // the destructor stops its voices
        pSound = nullptr;
    }
}

void PlayGameSound(int idWave) {
    const int i = SlotOf(idWave);
    if (i < 0 || g_rgpSound[i] == nullptr || g_settings.fSound == 0) return;
    g_rgpSound[i]->Play(SOUND_ONCE);
}

void StopGameSound(int idWave) {
    const int i = SlotOf(idWave);
    if (i < 0 || g_rgpSound[i] == nullptr) return;
    g_rgpSound[i]->Stop();
}

bool IsGameSoundLoaded(int idWave) {
    const int i = SlotOf(idWave);
    return i >= 0 && g_rgpSound[i] != nullptr;
}
