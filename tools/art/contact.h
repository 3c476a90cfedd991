// The contact sheet: every frame of the game's sheets at twice their size on mid-grey,
// read back with the animation framework's image reader, so it shows what the game loads.
#pragma once

#include <string>
#include <vector>

namespace art {

struct ContactEntry {
    int nId;          // GRAPHIC resource number, for the label
    std::string path; // the sheet file
    int cxFrame;
    int cyFrame;
};

// Parses "ID:FILE:WxH"; false for anything else.
bool ParseContactEntry(const std::string& text, ContactEntry* pEntry);

// Writes the PNG, each pixel nScale x nScale (2 for the build's sheet; more to look closer). False
// with *pError when a sheet cannot be read or is not made of whole frames, or the file cannot be
// written.
bool WriteContactSheet(const std::vector<ContactEntry>& entries, const std::string& pngPath,
                       std::string* pError, int nScale = 2);

} // namespace art
