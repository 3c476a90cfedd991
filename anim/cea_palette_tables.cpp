// The palette group's constant tables: the fixed 4 x 8 x 8 palette's slots and the
// hue/saturation/lightness tables of the 12-bit colours.
#include "anim/cea_palette.h"

namespace {

// Cube indices that take slots 0 to 15: black, the dark and bright primaries and
// secondaries, light grey. White (255) takes slot 255; the rest fill slots 16 to 254.
constexpr int kLowCubes[16] = {0, 64, 24, 88, 3, 67, 27, 173, 91, 192, 56, 248, 7, 199, 63, 254};

struct FixedTable {
    BYTE rgSlot[256];
    constexpr FixedTable() : rgSlot() {
        bool rgTaken[256] = {};
        for (int i = 0; i < 16; i++) {
            rgSlot[kLowCubes[i]] = static_cast<BYTE>(i);
            rgTaken[kLowCubes[i]] = true;
        }
        rgSlot[255] = 255;
        rgTaken[255] = true;
        int iNext = 16;
        for (int i = 0; i < 256; i++) {
            if (!rgTaken[i]) {
                rgSlot[i] = static_cast<BYTE>(iNext++);
            }
        }
    }
};
constexpr FixedTable kFixed;
static_assert(kFixed.rgSlot[255] == 255 && kFixed.rgSlot[0] == 0 && kFixed.rgSlot[1] == 16 &&
              kFixed.rgSlot[253] == 254);

struct HLSTables {
    BYTE rgHue[4096];
    BYTE rgSaturation[4096];
    BYTE rgLightness[4096];
    HLSTables() {
        for (int j = 0; j < 4096; j++) {
            PaletteGroup::ColorToHLS(
                static_cast<BYTE>(16 * (j >> 8) + 4), static_cast<BYTE>(16 * ((j >> 4) & 15) + 4),
                static_cast<BYTE>(16 * (j & 15) + 4), &rgHue[j], &rgLightness[j], &rgSaturation[j]);
        }
    }
};

const HLSTables& Tables() {
    static const HLSTables tables;
    return tables;
}

} // namespace

BYTE PaletteGroup::FixedSlot(int iCube) {
    return kFixed.rgSlot[iCube & 255];
}

BYTE PaletteGroup::FixedSlotForColor(BYTE red, BYTE green, BYTE blue) {
    return kFixed.rgSlot[(red >> 6) * 64 + (green >> 5) * 8 + (blue >> 5)];
}

void PaletteGroup::ColorToHLS(BYTE red, BYTE green, BYTE blue, BYTE* pHue, BYTE* pLightness,
                              BYTE* pSaturation) {
    int nMax = red > green ? red : green;
    nMax = blue > nMax ? blue : nMax;
    int nMin = red < green ? red : green;
    nMin = blue < nMin ? blue : nMin;
    int nLightness = ((nMax + nMin) * 255 + 255) / 510;
    int nSaturation = 0;
    int nHue = 170;
    if (nMax != nMin) {
        int nSpread = nMax - nMin;
        if (nLightness <= 127) {
            nSaturation = (nSpread * 255 + (nMax + nMin) / 2) / (nMax + nMin);
        } else {
            nSaturation = (nSpread * 255 + (510 - nMax - nMin) / 2) / (510 - nMax - nMin);
        }
        int nRed = ((nMax - red) * 42 + nSpread / 2) / nSpread;
        int nGreen = ((nMax - green) * 42 + nSpread / 2) / nSpread;
        int nBlue = ((nMax - blue) * 42 + nSpread / 2) / nSpread;
        if (red == nMax) {
            nHue = nBlue - nGreen;
        } else if (green == nMax) {
            nHue = 85 + nRed - nBlue;
        } else {
            nHue = 170 + nGreen - nRed;
        }
        if (nHue < 0) {
            nHue = (nHue + 257) % 256;
        }
    }
    *pHue = static_cast<BYTE>(nHue);
    *pLightness = static_cast<BYTE>(nLightness);
    *pSaturation = static_cast<BYTE>(nSaturation);
}

const BYTE* PaletteGroup::HueTable() {
    return Tables().rgHue;
}

const BYTE* PaletteGroup::SaturationTable() {
    return Tables().rgSaturation;
}

const BYTE* PaletteGroup::LightnessTable() {
    return Tables().rgLightness;
}
