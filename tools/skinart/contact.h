// The contact sheet of the skin's and the installer's pictures: each at twice its size, cut
// by grid lines into its cells, see-through pixels on a checkerboard, under a label. The
// pictures are read back with the animation framework's image reader, so the sheet shows
// what the programs load.
#pragma once

#include <string>

namespace skinart {

// Reads every picture from the folder and writes the PNG. False with *pError when a picture
// cannot be read, is not made of whole cells, or the PNG cannot be written.
bool WriteContactSheet(const std::string& folder, const std::string& pngPath, std::string* pError);

} // namespace skinart
