// The game's eleven sound slots: slot i plays WAVE 115 + i (IDW_FIRST + i).
//
//   115 new game or restored game    116 confirm       117 click         118 computer wins
//   119 a cell breaks                120 a piece drops 121 a person wins 122 Blue rolling
//   123 Red rolling                  124 piece picked up                 125 refusal
//
// Each slot holds its wave "COMPRESSED" (zz-packed) when the module has one, else "WAVE".
// A sound that is missing or does not load leaves its slot empty, and playing or stopping
// an empty slot does nothing. Playing obeys the settings' fSound itself, so that no caller
// can make a sound with it off. LoadGameSounds runs on the loader thread before the
// user-interface thread touches a slot; everything else is user-interface thread only.
#pragma once

#include "host/types.h"

class Sound;
struct RESOURCEDATA;

constexpr int cGameSounds = 11;
constexpr int idGameSoundFirst = 115;

constexpr int SOUND_NEWGAME = 115;
constexpr int SOUND_CONFIRM = 116;
constexpr int SOUND_CLICK = 117;
constexpr int SOUND_LOSE = 118;
constexpr int SOUND_BREAK = 119;
constexpr int SOUND_DROP = 120;
constexpr int SOUND_WIN = 121;
constexpr int SOUND_ROLL_BLUE = 122;
constexpr int SOUND_ROLL_RED = 123;
constexpr int SOUND_PICKUP = 124;
constexpr int SOUND_REFUSE = 125;

// Fills the slots from hInstance's resources, in slot order. A sound that cannot be built
// leaves its slot empty; start-up never fails because of sounds.
void LoadGameSounds(host::HINSTANCE hInstance);
// Frees every loaded sound and empties all slots. Safe when nothing is loaded.
void FreeGameSounds();

// Plays slot idWave once from its start. Nothing when fSound is 0, for an empty slot or an
// id outside 115..125.
void PlayGameSound(int idWave);
// Stops slot idWave. Nothing for an empty slot or an id outside 115..125.
void StopGameSound(int idWave);
bool IsGameSoundLoaded(int idWave);

// Takes the bytes of a loaded resource: a new Sound built from them (MemNew), or null when
// they are not a sound. The resource data is released either way.
Sound* MakeSoundFrom(RESOURCEDATA* pData);
