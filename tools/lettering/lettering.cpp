#include "tools/lettering/lettering.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_DRIVER_H
#include FT_MODULE_H

#include <algorithm>
#include <cmath>
#include <map>

namespace lettering {

void Picture::Paste(const Picture& src, int x, int y) {
    for (int j = 0; j < src.cy; ++j)
        std::copy_n(&src.px[static_cast<size_t>(j) * src.cx], src.cx, &At(x, y + j));
}

// ---------------------------------------------------------------------------------------
// Font

struct Font::Impl {
    FT_Library library = nullptr;
    FT_Face face = nullptr;
};

Font::Font() : m_p(std::make_unique<Impl>()) {}

Font::~Font() {
    if (m_p->face) FT_Done_Face(m_p->face);
    if (m_p->library) FT_Done_FreeType(m_p->library);
}

bool Font::Open(const std::string& path, std::string* pError) {
    if (!m_p->library) {
        if (FT_Init_FreeType(&m_p->library) != 0) {
            m_p->library = nullptr;
            *pError = "cannot start the font engine";
            return false;
        }
        // The same hinting whatever the environment asks.
        FT_UInt version = TT_INTERPRETER_VERSION_40;
        FT_Property_Set(m_p->library, "truetype", "interpreter-version", &version);
    }
    if (m_p->face) FT_Done_Face(m_p->face);
    m_p->face = nullptr;
    if (FT_New_Face(m_p->library, path.c_str(), 0, &m_p->face) != 0) {
        m_p->face = nullptr;
        *pError = path + ": missing or not a font file (the DejaVu fonts come with the package "
                         "fonts-dejavu-core)";
        return false;
    }
    return true;
}

namespace {

// Code points of UTF-8 text; a malformed sequence gives a value past Unicode, which no face
// has, so that it is refused rather than drawn as a replacement mark.
std::vector<char32_t> Decode(std::string_view text) {
    std::vector<char32_t> out;
    for (size_t i = 0; i < text.size();) {
        auto b = static_cast<unsigned char>(text[i]);
        int cTrail = b < 0x80 ? 0 : (b & 0xE0) == 0xC0 ? 1 : (b & 0xF0) == 0xE0 ? 2 : 3;
        char32_t cp = cTrail == 0 ? b : b & (0x3F >> cTrail);
        bool fBad = b >= 0x80 && (b & 0xC0) == 0x80;
        for (int k = 1; k <= cTrail; ++k) {
            if (i + k >= text.size() || (static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) {
                fBad = true;
                cTrail = k - 1;
                break;
            }
            cp = (cp << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        }
        out.push_back(fBad ? 0x110000 : cp);
        i += 1 + cTrail;
    }
    return out;
}

struct Placed {
    FT_UInt gi;
    FT_Pos x; // 26.6 pen position
};

// Glyphs and pen positions of a line; false when a glyph is missing.
bool Layout(FT_Face face, std::string_view text, int ppem, std::vector<Placed>* pGlyphs,
            FT_Pos* pAdvance) {
    if (!face || FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(ppem)) != 0) return false;
    FT_Pos pen = 0;
    FT_UInt prev = 0;
    pGlyphs->clear();
    for (char32_t cp : Decode(text)) {
        FT_UInt gi = FT_Get_Char_Index(face, cp);
        if (gi == 0) return false;
        if (prev && FT_HAS_KERNING(face)) {
            FT_Vector delta{};
            if (FT_Get_Kerning(face, prev, gi, FT_KERNING_DEFAULT, &delta) == 0) pen += delta.x;
        }
        if (FT_Load_Glyph(face, gi, FT_LOAD_DEFAULT) != 0) return false;
        pGlyphs->push_back({gi, pen});
        pen += face->glyph->advance.x;
        prev = gi;
    }
    *pAdvance = pen;
    return true;
}

} // namespace

int Font::CapHeight(int ppem) const {
    FT_Face face = m_p->face;
    if (!face || FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(ppem)) != 0) return 0;
    if (FT_Load_Char(face, 'H', FT_LOAD_DEFAULT | FT_LOAD_RENDER) != 0) return 0;
    return face->glyph->bitmap_top;
}

bool Font::Render(std::string_view text, int ppem, int cx, int cy, int yBaseline,
                  Coverage* pOut) const {
    std::vector<Placed> glyphs;
    FT_Pos advance = 0;
    if (!Layout(m_p->face, text, ppem, &glyphs, &advance)) return false;
    pOut->cx = cx;
    pOut->cy = cy;
    pOut->a.assign(static_cast<size_t>(cx) * cy, 0);
    int x0 = (cx - static_cast<int>((advance + 32) >> 6)) / 2;
    bool fInside = true;
    for (const Placed& g : glyphs) {
        if (FT_Load_Glyph(m_p->face, g.gi, FT_LOAD_DEFAULT) != 0 ||
            FT_Render_Glyph(m_p->face->glyph, FT_RENDER_MODE_NORMAL) != 0)
            return false;
        FT_GlyphSlot slot = m_p->face->glyph;
        const FT_Bitmap& bm = slot->bitmap;
        int left = x0 + static_cast<int>((g.x + 32) >> 6) + slot->bitmap_left;
        int top = yBaseline - slot->bitmap_top;
        for (unsigned j = 0; j < bm.rows; ++j) {
            for (unsigned i = 0; i < bm.width; ++i) {
                uint8_t a = bm.buffer[static_cast<ptrdiff_t>(j) * bm.pitch + i];
                if (a == 0) continue;
                int x = left + static_cast<int>(i), y = top + static_cast<int>(j);
                if (x < 0 || y < 0 || x >= cx || y >= cy) {
                    fInside = false;
                    continue;
                }
                uint8_t& dst = pOut->a[static_cast<size_t>(y) * cx + x];
                dst = static_cast<uint8_t>(std::min(255, dst + a));
            }
        }
    }
    return fInside;
}

bool Font::Letters(std::string_view text, int ppem, std::vector<Letter>* pOut, int* pcx) const {
    std::vector<Placed> glyphs;
    FT_Pos advance = 0;
    if (!Layout(m_p->face, text, ppem, &glyphs, &advance)) return false;
    pOut->clear();
    for (const Placed& g : glyphs) {
        if (FT_Load_Glyph(m_p->face, g.gi, FT_LOAD_DEFAULT) != 0 ||
            FT_Render_Glyph(m_p->face->glyph, FT_RENDER_MODE_NORMAL) != 0)
            return false;
        FT_GlyphSlot slot = m_p->face->glyph;
        const FT_Bitmap& bm = slot->bitmap;
        Letter letter;
        letter.x = static_cast<int>((g.x + 32) >> 6) + slot->bitmap_left;
        letter.y = -slot->bitmap_top;
        letter.cov.cx = static_cast<int>(bm.width);
        letter.cov.cy = static_cast<int>(bm.rows);
        for (unsigned j = 0; j < bm.rows; ++j)
            for (unsigned i = 0; i < bm.width; ++i)
                letter.cov.a.push_back(bm.buffer[static_cast<ptrdiff_t>(j) * bm.pitch + i]);
        pOut->push_back(std::move(letter));
    }
    *pcx = static_cast<int>((advance + 32) >> 6);
    return true;
}

// ---------------------------------------------------------------------------------------
// Greys

std::vector<Rgb> GreyRamp() {
    std::vector<Rgb> ramp;
    for (int k = 1; k <= 14; ++k) {
        auto v = static_cast<uint8_t>(17 * k);
        ramp.push_back({v, v, v});
    }
    return ramp;
}

int GreyLevel(uint8_t a) {
    return (a * 15 + 127) / 255;
}

// ---------------------------------------------------------------------------------------
// Status lines

namespace {

const char* const kStatusTexts[kStatusImages][kLanguages] = {
    {"the computer is thinking...", "la komputilo pensas..."},
    {"blue player's turn", "vico de blua ludanto"},
    {"red player's turn", "vico de ru\u011da ludanto"},
    {"blue player wins!", "blua ludanto venkas!"},
    {"red player wins!", "ru\u011da ludanto venkas!"},
    {"stalemate", "plenhalto"},
    {"take back the last move", "forvi\u015du la pastinan vicon"},
    {"replay the next move", "remontru la sekvantan vicon"},
    {"start a new game", "komencu novan ludon"},
    {"show the how-to-play tutorial", "montru la kiel-ludi instruilon"},
    {"change language to esperanto", "\u015dan\u011du la lingvon al la angla"},
    {"exit kelvano", "eliru el kelvano"},
};

const char* const kCaptions[kButtons][kLanguages] = {
    {"BACK", "MAL-"},  {"NEXT", "RE-"}, {"NEW", "NOVA"},
    {"HELP", "HELPO"}, {"ESP", "ENG"},  {"EXIT", "ELIRU"},
};

} // namespace

const char* StatusText(int i, int iLang) {
    if (i < 0 || i >= kStatusImages || iLang < 0 || iLang >= kLanguages) return "";
    return kStatusTexts[i][iLang];
}

const char* ButtonCaption(int k, int iLang) {
    if (k < 0 || k >= kButtons || iLang < 0 || iLang >= kLanguages) return "";
    return kCaptions[k][iLang];
}

bool RenderStatus(const Font& font, std::string_view text, Picture* pOut) {
    // Ascent 11 and descent 3 at 12 pixels: the line sits in the middle of the 18 rows.
    Coverage cov;
    if (!font.Render(text, kStatusPpem, kStatusWidth, kStatusHeight, 13, &cov)) return false;
    *pOut = Picture(kStatusWidth, kStatusHeight);
    for (size_t i = 0; i < cov.a.size(); ++i) {
        int k = GreyLevel(cov.a[i]);
        if (k > 0)
            pOut->px[i] = {static_cast<uint8_t>(17 * k), static_cast<uint8_t>(17 * k),
                           static_cast<uint8_t>(17 * k)};
    }
    return true;
}

// ---------------------------------------------------------------------------------------
// Buttons

namespace {

constexpr Rgb kIdleBase{58, 64, 58};
constexpr Rgb kLitBase{104, 150, 82};
constexpr double kRampSteps[] = {0.15, 0.3,  0.45, 0.6,  0.72, 0.84,
                                 0.95, 1.05, 1.18, 1.32, 1.5,  1.7};
constexpr int kTintSteps = 6;

uint8_t Clamp8(double v) {
    return static_cast<uint8_t>(std::clamp(std::lround(v), 0L, 255L));
}

Rgb Scale(Rgb c, double s) {
    return {Clamp8(c.r * s), Clamp8(c.g * s), Clamp8(c.b * s)};
}

Rgb Mix(Rgb a, Rgb b, double t) {
    return {Clamp8(a.r + (b.r - a.r) * t), Clamp8(a.g + (b.g - a.g) * t),
            Clamp8(a.b + (b.b - a.b) * t)};
}

struct Shade {
    double r, g, b;
};

// The palette a button picture may use, for its form.
std::vector<Rgb> FormColors(Rgb base) {
    std::vector<Rgb> out;
    for (double s : kRampSteps)
        out.push_back(Scale(base, s));
    for (int t = 1; t <= kTintSteps; ++t)
        out.push_back(Mix(base, kWhite, t / (kTintSteps + 1.0)));
    return out;
}

Rgb Nearest(const std::vector<Rgb>& palette, Shade c) {
    Rgb best = palette.front();
    double dBest = 1e30;
    for (const Rgb& p : palette) {
        double dr = p.r - c.r, dg = p.g - c.g, db = p.b - c.b;
        double d = dr * dr * 3 + dg * dg * 4 + db * db * 2;
        if (d < dBest) {
            dBest = d;
            best = p;
        }
    }
    return best;
}

} // namespace

std::vector<Rgb> ButtonColors() {
    std::vector<Rgb> out = FormColors(kIdleBase);
    for (const Rgb& c : FormColors(kLitBase))
        if (std::find(out.begin(), out.end(), c) == out.end()) out.push_back(c);
    return out;
}

bool RenderButton(const Font& bold, std::string_view caption, bool fLit, Picture* pOut) {
    constexpr int cx = kButtonWidth, cy = kButtonHeight;
    int capHeight = bold.CapHeight(kButtonPpem);
    Coverage cov;
    if (capHeight <= 0 || !bold.Render(caption, kButtonPpem, cx, cy, (cy + capHeight) / 2, &cov))
        return false;
    const Rgb base = fLit ? kLitBase : kIdleBase;
    std::vector<Rgb> palette{kBlack, kWhite};
    for (const Rgb& c : GreyRamp())
        palette.push_back(c);
    for (const Rgb& c : FormColors(base))
        palette.push_back(c);

    *pOut = Picture(cx, cy);
    const double xc = cx / 2.0, yc = cy / 2.0, rx = cx / 2.0 - 0.5, ry = cy / 2.0 - 0.5;
    constexpr int kSub = 8;
    for (int y = 0; y < cy; ++y) {
        for (int x = 0; x < cx; ++x) {
            // Coverage of the oval, and its shading, by sampling each pixel 8 x 8 times.
            int cIn = 0;
            double shade = 0;
            for (int j = 0; j < kSub; ++j) {
                for (int i = 0; i < kSub; ++i) {
                    double dx = (x + (i + 0.5) / kSub - xc) / rx;
                    double dy = (y + (j + 0.5) / kSub - yc) / ry;
                    double r2 = dx * dx + dy * dy;
                    if (r2 > 1) continue;
                    ++cIn;
                    // Lighter at the top, a rim that darkens towards the edge, and a soft
                    // gloss across the upper half.
                    double s = 1.0 - 0.3 * dy;
                    double r = std::sqrt(r2);
                    if (r > 0.8) s *= 1.0 - (r - 0.8) * 2.2;
                    double gx = dx / 0.75, gy = (dy + 0.5) / 0.32;
                    double g = 1.0 - (gx * gx + gy * gy);
                    if (g > 0) s += 0.55 * std::min(1.0, g * 2.5);
                    shade += s;
                }
            }
            if (cIn == 0) continue;
            double coverage = cIn / double(kSub * kSub);
            if (coverage < 1.0 / 32) continue;
            shade /= cIn;
            double a = cov.At(x, y) / 255.0;
            // Caption over the oval, then the whole against black at the oval's edge.
            Shade c{base.r * shade, base.g * shade, base.b * shade};
            c = {c.r + (255 - c.r) * a, c.g + (255 - c.g) * a, c.b + (255 - c.b) * a};
            c = {c.r * coverage, c.g * coverage, c.b * coverage};
            pOut->At(x, y) = Nearest(palette, c);
        }
    }
    // The caption must lie on the oval.
    for (int y = 0; y < cy; ++y)
        for (int x = 0; x < cx; ++x)
            if (cov.At(x, y) > 0 && pOut->At(x, y) == kKey) return false;
    return true;
}

// ---------------------------------------------------------------------------------------
// Sheets

bool StatusSheet(const Font& font, Picture* pOut, std::string* pError) {
    *pOut = Picture(kStatusWidth, kStatusHeight * kStatusImages * kLanguages);
    for (int i = 0; i < kStatusImages; ++i) {
        for (int iLang = 0; iLang < kLanguages; ++iLang) {
            Picture frame;
            if (!RenderStatus(font, StatusText(i, iLang), &frame)) {
                *pError = std::string("status line \"") + StatusText(i, iLang) +
                          "\" does not fit or has a character the font lacks";
                return false;
            }
            pOut->Paste(frame, 0, kStatusHeight * (2 * i + iLang));
        }
    }
    return true;
}

bool ButtonSheet(const Font& bold, Picture* pOut, std::string* pError) {
    constexpr int cColumns = 4;
    *pOut = Picture(kButtonWidth * cColumns, kButtonHeight * kButtons * kLanguages * 2 / cColumns);
    for (int k = 0; k < kButtons; ++k) {
        for (int iLang = 0; iLang < kLanguages; ++iLang) {
            for (int lit = 0; lit < 2; ++lit) {
                Picture frame;
                if (!RenderButton(bold, ButtonCaption(k, iLang), lit != 0, &frame)) {
                    *pError = std::string("button caption \"") + ButtonCaption(k, iLang) +
                              "\" does not fit or has a character the font lacks";
                    return false;
                }
                int f = 4 * k + 2 * iLang + lit;
                pOut->Paste(frame, kButtonWidth * (f % cColumns), kButtonHeight * (f / cColumns));
            }
        }
    }
    return true;
}

bool ToPsp(const Picture& picture, pspwriter::PspImage* pOut, std::string* pError) {
    auto key = [](Rgb c) { return (uint32_t{c.r} << 16) | (uint32_t{c.g} << 8) | c.b; };
    std::vector<std::array<uint8_t, 3>> palette{{0, 0, 0}, {255, 255, 255}};
    std::map<uint32_t, uint8_t> index{{key(kBlack), 0}, {key(kWhite), 1}};
    pspwriter::PspLayer layer;
    layer.name = "lettering";
    layer.pixels.reserve(picture.px.size());
    for (const Rgb& c : picture.px) {
        auto [it, fNew] = index.try_emplace(key(c), static_cast<uint8_t>(palette.size()));
        if (fNew) {
            if (palette.size() >= 255) {
                *pError = "more than 255 colours";
                return false;
            }
            palette.push_back({c.r, c.g, c.b});
        }
        layer.pixels.push_back(it->second);
    }
    *pOut = pspwriter::PspImage{};
    pOut->cx = picture.cx;
    pOut->cy = picture.cy;
    pOut->nDepth = 8;
    pOut->palette = std::move(palette);
    pOut->layers.push_back(std::move(layer));
    pOut->compression = pspwriter::Compression::Deflate;
    return true;
}

} // namespace lettering
