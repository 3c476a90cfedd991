// Internals shared by the font and text files: the font engine and what it keeps for a
// font. They carry FreeType types, so only those two files include this header.
#pragma once

#include "host/gdi_internal.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <map>
#include <mutex>
#include <string>
#include <tuple>
#include <unordered_map>
#include <utility>
#include <vector>

namespace host::gdi {

// ---------------------------------------------------------------------------------------
// The font engine: FreeType, fontconfig and the open faces, under one lock.

struct FaceFile {
    std::string path;
    int index = 0;
    std::string family;
    bool fBold = false;   // the face itself is bold
    bool fItalic = false; // ... italic or oblique
};

struct Engine {
    std::recursive_mutex mutex;
    FT_Library library = nullptr;
    bool fFontconfig = false;
    std::map<std::pair<std::string, int>, FT_Face> faces;
    // Matches by (family, bold, italic); an empty path means not installed.
    std::map<std::tuple<std::string, bool, bool>, FaceFile> matches;

    Engine();
};

Engine& TheEngine();

struct Glyph {
    int left = 0, top = 0, width = 0, height = 0;
    int advance = 0;
    std::vector<BYTE> coverage; // width x height, 0 to 255
};

struct FontData {
    FT_Face face = nullptr;
    FT_Face fallback = nullptr;
    FT_Size size = nullptr;
    FT_Size fallbackSize = nullptr;
    FaceFile file;
    bool fSynthBold = false, fSynthItalic = false;
    bool fFallbackBold = false, fFallbackItalic = false;
    bool fAntialias = true;
    bool fFixed = false;
    int ppem = 11;
    LONG ascent = 0, descent = 0, height = 0, internalLeading = 0, externalLeading = 0;
    LONG aveCharWidth = 0, maxCharWidth = 0;
    LONG underlinePos = 1, underlineThickness = 1, strikeoutPos = 3;
    std::unordered_map<char32_t, Glyph> glyphs;
};

// Opens the faces and sizes of a font on first use. Caller holds the engine lock.
FontData& Data(Font& font);
// The glyph of a code point, rendered on first use. Caller holds the engine lock.
const Glyph& GetGlyph(FontData& d, char32_t ch);

} // namespace host::gdi
