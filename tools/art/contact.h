// The contact sheet: every frame of the game's sheets at twice their size on mid-grey,
// read back with the animation framework's image reader, so it shows what the game loads.
#pragma once

#include "host/gdi.h"

#include <cstdint>
#include <string>
#include <utility>
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

// A 32-bit picture that contact sheets are drawn on, filled with one colour, labelled in
// white bold Arial and saved as PNG.
class ContactCanvas {
public:
    ContactCanvas(int cx, int cy, host::COLORREF background);
    ~ContactCanvas();
    ContactCanvas(const ContactCanvas&) = delete;
    ContactCanvas& operator=(const ContactCanvas&) = delete;

    // False (with *pError) when the picture could not be made.
    bool Check(std::string* pError) const;
    void Put(int x, int y, host::COLORREF c) {
        pPixels_[static_cast<std::size_t>(y) * cx_ + x] =
            (host::GetRValue(c) << 16) | (host::GetGValue(c) << 8) | host::GetBValue(c);
    }
    // Each label's text at its top-left corner, letters nHeight pixels high.
    void Labels(const std::vector<std::pair<host::POINT, std::string>>& labels, int nHeight);
    bool SavePng(const std::string& pngPath, std::string* pError);

private:
    int cx_, cy_;
    host::HBITMAP hbm_ = nullptr;
    std::uint32_t* pPixels_ = nullptr;
};

} // namespace art
