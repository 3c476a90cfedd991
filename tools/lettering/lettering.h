// The game's lettering: status lines, button captions and the animated title, rendered from
// pinned font files (never through the machine's font configuration) into true-colour
// pictures, then into 8-bit layered images with a colour table.
//
// Colours: pure blue is the transparent key; lettering stands on black, so its antialiased
// edges are the greys RGB(17k, 17k, 17k), k = 1..14, that the other game sheets share.
#pragma once

#include "tools/pspwriter/pspwriter.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace lettering {

struct Rgb {
    uint8_t r = 0;
    uint8_t g = 0;
    uint8_t b = 0;
    bool operator==(const Rgb&) const = default;
};

constexpr Rgb kBlack{0, 0, 0};
constexpr Rgb kWhite{255, 255, 255};
constexpr Rgb kKey{0, 0, 255};

// Row-major true-colour pixels.
struct Picture {
    int cx = 0;
    int cy = 0;
    std::vector<Rgb> px;

    Picture() = default;
    Picture(int cxNew, int cyNew, Rgb fill = kKey)
        : cx(cxNew), cy(cyNew), px(static_cast<size_t>(cxNew) * cyNew, fill) {}
    Rgb& At(int x, int y) { return px[static_cast<size_t>(y) * cx + x]; }
    const Rgb& At(int x, int y) const { return px[static_cast<size_t>(y) * cx + x]; }
    // Copies src with its top-left corner at (x, y); src must lie inside.
    void Paste(const Picture& src, int x, int y);
};

// Antialiasing coverage (0 to 255) of a rendered line, row-major.
struct Coverage {
    int cx = 0;
    int cy = 0;
    std::vector<uint8_t> a;
    uint8_t At(int x, int y) const { return a[static_cast<size_t>(y) * cx + x]; }
};

// One font file opened by path.
class Font {
public:
    Font();
    ~Font();
    Font(const Font&) = delete;
    Font& operator=(const Font&) = delete;

    // False with *pError saying why when the file is missing or not a font.
    bool Open(const std::string& path, std::string* pError);

    // Height above the baseline of a capital H.
    int CapHeight(int ppem) const;
    // Renders the line into a cx x cy box, centred horizontally, baseline at yBaseline.
    // False when a character has no glyph or ink would fall outside the box.
    bool Render(std::string_view text, int ppem, int cx, int cy, int yBaseline,
                Coverage* pOut) const;

    // One letter of a line: its coverage with the top-left corner at (x, y) from the line's
    // start on the baseline (y grows downwards).
    struct Letter {
        int x = 0;
        int y = 0;
        Coverage cov;
    };
    // The letters of a line, and its advance width; false when a glyph is missing.
    bool Letters(std::string_view text, int ppem, std::vector<Letter>* pOut, int* pcx) const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_p;
};

// The shared white-on-black ramp: RGB(17k, 17k, 17k) for k = 1..14.
std::vector<Rgb> GreyRamp();
// Coverage of white lettering on black, as the nearest of black (0), the ramp and white.
int GreyLevel(uint8_t a);

constexpr int kLanguages = 2; // English 0, Esperanto 1

// Status images (GRAPHIC 142): image i is frame 2i in English, 2i + 1 in Esperanto.
constexpr int kStatusImages = 12;
constexpr int kStatusWidth = 240;
constexpr int kStatusHeight = 18;
constexpr int kStatusPpem = 12;
const char* StatusText(int i, int iLang);
// White lettering on the key colour; false when the text does not fit.
bool RenderStatus(const Font& font, std::string_view text, Picture* pOut);

// Buttons (GRAPHIC 145): button k is frames 4k (idle), 4k + 1 (lit) in English and
// 4k + 2, 4k + 3 in Esperanto.
constexpr int kButtons = 6;
constexpr int kButtonWidth = 32;
constexpr int kButtonHeight = 21;
constexpr int kButtonPpem = 8;
const char* ButtonCaption(int k, int iLang);
// The oval's colours and the caption's blends, besides black, white and the ramp.
std::vector<Rgb> ButtonColors();
// A dark oval on the key colour with the caption; every colour is black, white, a ramp grey
// or one of ButtonColors. False when the caption does not fit.
bool RenderButton(const Font& bold, std::string_view caption, bool fLit, Picture* pOut);

// Whole sheets, frames left to right then top to bottom. False with *pError on failure.
bool StatusSheet(const Font& font, Picture* pOut, std::string* pError);
bool ButtonSheet(const Font& bold, Picture* pOut, std::string* pError);

// The logo (type 4999 id 5000): 20 frames of kLogoWidth x kLogoFrameHeight stacked
// vertically; frames 0 to 12 bring the title in, 12 is the whole title, 13 to 19 a shine
// sweeps across it while a ball rolls in beneath, 19 is the resting title.
constexpr int kLogoFrames = 20;
constexpr int kLogoWidth = 240;
constexpr int kLogoFrameHeight = 96;
bool LogoPicture(const Font& bold, Picture* pOut, std::string* pError);
// At most cMax colours (black and white included), chosen by median cut; pixels take the
// nearest.
Picture Quantize(const Picture& picture, int cMax);

// An 8-bit single-layer image whose colour table holds black, white, then every other
// colour in order of first use (the key among them at most once). False when the picture
// has more than 255 colours (the reader keeps entry 255 for white).
bool ToPsp(const Picture& picture, pspwriter::PspImage* pOut, std::string* pError);

} // namespace lettering
