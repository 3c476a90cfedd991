// The game's picture sheets, its icon, and the board's layout markers.
#pragma once

#include "tools/pspwriter/icowriter.h"
#include "tools/pspwriter/pspwriter.h"

#include <array>
#include <string>
#include <vector>

namespace art {

struct SheetSpec {
    int nId; // GRAPHIC resource number
    const char* pszFile;
    int cx;
    int cy;
    int cxFrame;
    int cyFrame;
    int cFrames;
};

// The sheets this generator writes, in the order the game loads them.
const std::vector<SheetSpec>& Sheets();

// The board image's marker pixels, top row first and left to right within a row.
std::vector<std::array<int, 2>> BoardMarkers();

// The sheet with resource number nId (one of Sheets()), as an 8-bit image of one layer.
pspwriter::PspImage MakeSheet(int nId);

// The icon's 16, 32 and 48 pixel images.
std::vector<pspwriter::IcoImage> MakeIcon();
constexpr const char* kIconFile = "kelvano.ico";

// Writes every sheet and the icon into the folder. False with *pError on a write failure.
bool WriteAll(const std::string& folder, std::string* pError);

} // namespace art
