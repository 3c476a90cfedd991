// The game's sound set: the eleven effects (WAVE 115 to 125) and the logo's three sounds
// (type 4999, 5001 to 5003, zz-packed wave files), rendered by the synthesiser.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sound {

// The rolling sounds are cut off when the last glide of a move ends; a pushing cascade of
// five pieces lasts about 0.95 s, so they run longer than any move.
constexpr double kRollingSeconds = 1.6;

// Each rolling sound peaks this far below full scale, which leaves room for the two of them
// together.
constexpr double kRollingPeakDb = -7.0;

struct SoundFile {
    int nId;          // resource identifier
    std::string name; // file name in the output folder
    std::vector<std::uint8_t> bytes;
};

// The 16-bit samples of one sound (115 to 125, 5001 to 5003); empty for any other id.
std::vector<std::int16_t> RenderSound(int nId);

// Every file, game effects first, then the logo's; each logo file is one zz block of a wave
// file. Throws std::runtime_error when packing fails.
std::vector<SoundFile> MakeSoundFiles();

} // namespace sound
