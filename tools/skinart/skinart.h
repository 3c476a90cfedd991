// The installer's skin "DEZ" and its own pictures: the skin's pictures, its properties text and
// package, the main window's frame, the Install and Rescan button faces and the installer's
// icon, all drawn here so that every build writes the same bytes.
#pragma once

#include "tools/pspwriter/icowriter.h"
#include "tools/pspwriter/pspwriter.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace skinart {

struct PictureGrid {
    const char* pszName; // file name without ".psp"
    int cColumns;
    int cRows;
    int cxCell;
    int cyCell;
    bool fKeyed; // has see-through pixels (the skin's transparent colour)
};

// The skin's pictures in the package's order.
const std::vector<PictureGrid>& SkinPictures();
// The installer's GRAPHIC resources 501, 502 and 503.
const std::vector<PictureGrid>& SetupPictures();
const PictureGrid* FindPicture(const std::string& name);

// The colour table of every picture: entry 1 is the transparent colour, pure blue, and no
// other entry is.
constexpr uint8_t kKey = 1;
const std::vector<std::array<uint8_t, 3>>& Palette();

// The picture named by one of the grids, as an 8-bit image of one layer.
pspwriter::PspImage MakePicture(const PictureGrid& picture);

// The skin's properties text.
std::string SkinText();

// The package: "skin.txt" and every skin picture, top-level entries, deflated.
std::vector<uint8_t> MakePackage();

// The installer's icon: 16, 32 and 48 pixels.
std::vector<pspwriter::IcoImage> MakeIcon();

// The main window's frame picture covers the whole window, which opens at its main template's
// size plus the frame border on each side. The template is 380 x 134 dialog units in
// "MS Shell Dlg" at 10 points; the host does not measure the face but scales the 8-point base
// units 6 x 13 by the point size, rounded: 60 / 8 gives 8 and 130 / 8 gives 16. So the client
// area is 380 * 8 / 4 = 760 by 134 * 16 / 8 = 268 pixels, and the window 800 by 308.
constexpr int kFrameBorder = 20;
constexpr int kFrameWidth = 380 * 8 / 4 + 2 * kFrameBorder;
constexpr int kFrameHeight = 134 * 16 / 8 + 2 * kFrameBorder;

// Writes the pictures, skin.txt, dez.zip, graphic501/502/503.psp and setup.ico into the
// folder. False with *pError on a write failure.
bool WriteAll(const std::string& folder, std::string* pError);

// The file a picture is written to: "<name>.psp".
std::string FileName(const PictureGrid& picture);

} // namespace skinart
