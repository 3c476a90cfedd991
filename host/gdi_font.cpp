// Fonts: faces found through fontconfig and rendered by FreeType, the font objects and
// their metrics.
#include "host/codepage.h"
#include "host/gdi.h"
#include "host/gdi_internal.h"
#include "host/gdi_text_internal.h"

#include FT_DRIVER_H
#include FT_MODULE_H
#include FT_SIZES_H
#include FT_SYNTHESIS_H
#include FT_TRUETYPE_TABLES_H
#include <fontconfig/fontconfig.h>

#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <cstring>

namespace host {
namespace gdi {

// ---------------------------------------------------------------------------------------
// The font engine: FreeType, fontconfig and the open faces, under one lock.

Engine::Engine() {
    if (FT_Init_FreeType(&library) != 0) {
        library = nullptr;
        return;
    }
    // Pinned, whatever the environment asks, so that glyphs look the same every run.
    FT_UInt version = TT_INTERPRETER_VERSION_40;
    FT_Property_Set(library, "truetype", "interpreter-version", &version);
    fFontconfig = FcInit() == FcTrue;
    // Fontconfig keeps caches until it is finished; finish it as the process ends.
    if (fFontconfig) std::atexit([] { FcFini(); });
}

Engine& TheEngine() {
    static Engine* engine = new Engine;
    return *engine;
}

namespace {

std::string Lower(std::string s) {
    for (char& ch : s)
        if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
    return s;
}

// The installed face of a family, or an empty path. Caller holds the engine lock.
FaceFile MatchFamily(Engine& e, const std::string& family, bool fBold, bool fItalic) {
    auto key = std::make_tuple(family, fBold, fItalic);
    if (auto it = e.matches.find(key); it != e.matches.end()) return it->second;
    FaceFile found;
    if (e.fFontconfig) {
        FcPattern* pattern = FcPatternCreate();
        FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
        FcPatternAddInteger(pattern, FC_WEIGHT, fBold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
        FcPatternAddInteger(pattern, FC_SLANT, fItalic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
        FcPatternAddInteger(pattern, FC_WIDTH, FC_WIDTH_NORMAL);
        FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
        FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
        FcDefaultSubstitute(pattern);
        FcResult result;
        FcPattern* match = FcFontMatch(nullptr, pattern, &result);
        if (match) {
            // Only the family asked for will do: fontconfig's own substitutes differ
            // between machines.
            bool fFamily = false;
            FcChar8* name = nullptr;
            for (int i = 0; FcPatternGetString(match, FC_FAMILY, i, &name) == FcResultMatch; ++i)
                if (Lower(reinterpret_cast<const char*>(name)) == Lower(family)) fFamily = true;
            FcChar8* file = nullptr;
            int index = 0, weight = FC_WEIGHT_REGULAR, slant = FC_SLANT_ROMAN;
            if (fFamily && FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch) {
                FcPatternGetInteger(match, FC_INDEX, 0, &index);
                FcPatternGetInteger(match, FC_WEIGHT, 0, &weight);
                FcPatternGetInteger(match, FC_SLANT, 0, &slant);
                found.path = reinterpret_cast<const char*>(file);
                found.index = index;
                found.family = family;
                found.fBold = weight >= FC_WEIGHT_DEMIBOLD;
                found.fItalic = slant != FC_SLANT_ROMAN;
            }
            FcPatternDestroy(match);
        }
        FcPatternDestroy(pattern);
    }
    e.matches[key] = found;
    return found;
}

FT_Face OpenFace(Engine& e, const FaceFile& file) {
    if (file.path.empty() || !e.library) return nullptr;
    auto key = std::make_pair(file.path, file.index);
    if (auto it = e.faces.find(key); it != e.faces.end()) return it->second;
    FT_Face face = nullptr;
    if (FT_New_Face(e.library, file.path.c_str(), file.index, &face) != 0) face = nullptr;
    e.faces[key] = face;
    return face;
}

const char* const kSansFamilies[] = {"Liberation Sans", "DejaVu Sans"};
const char* const kSerifFamilies[] = {"Liberation Serif", "DejaVu Serif"};
const char* const kMonoFamilies[] = {"Liberation Mono", "DejaVu Sans Mono"};

const char* const kSansNames[] = {
    "",       "default", "arial",  "helvetica", "ms shell dlg", "ms shell dlg 2", "ms sans serif",
    "tahoma", "verdana", "system", "sans",      "sans-serif"};
const char* const kSerifNames[] = {"times new roman", "times", "ms serif", "georgia", "serif"};
const char* const kMonoNames[] = {"courier new", "courier",  "lucida console", "consolas",
                                  "fixedsys",    "terminal", "monospace",      "mono"};

template <std::size_t N> bool IsOneOf(const std::string& name, const char* const (&list)[N]) {
    for (const char* p : list)
        if (name == p) return true;
    return false;
}

// The families to try for a face name, best first.
std::vector<std::string> Candidates(std::string face) {
    while (!face.empty() && face.back() == ' ')
        face.pop_back();
    while (!face.empty() && face.front() == ' ')
        face.erase(face.begin());
    std::string lower = Lower(face);
    if (lower.size() >= 3 && lower.compare(lower.size() - 3, 3, " eo") == 0) {
        face.resize(face.size() - 3);
        lower.resize(lower.size() - 3);
    }
    std::vector<std::string> out;
    auto add = [&](const char* const* p, std::size_t c) { out.insert(out.end(), p, p + c); };
    if (IsOneOf(lower, kSerifNames)) {
        add(kSerifFamilies, 2);
    } else if (IsOneOf(lower, kMonoNames)) {
        add(kMonoFamilies, 2);
    } else {
        if (!IsOneOf(lower, kSansNames)) out.push_back(face);
    }
    add(kSansFamilies, 2);
    return out;
}

LONG Scale(long units, int ppem, int upem) {
    if (upem <= 0) return 0;
    return static_cast<LONG>(std::lround(static_cast<double>(units) * ppem / upem));
}

} // namespace

// Opens the faces and sizes of a font on first use. Caller holds the engine lock.
FontData& Data(Font& font) {
    if (font.data) return *font.data;
    Engine& e = TheEngine();
    auto data = std::make_unique<FontData>();
    const LOGFONTW& lf = font.lf;
    bool fBold = lf.lfWeight >= 600;
    bool fItalic = lf.lfItalic != 0;
    std::u16string face16(lf.lfFaceName,
                          std::find(lf.lfFaceName, lf.lfFaceName + LF_FACESIZE, u'\0'));
    for (const std::string& family : Candidates(ToUtf8(face16))) {
        FaceFile file = MatchFamily(e, family, fBold, fItalic);
        if (FT_Face face = OpenFace(e, file)) {
            data->face = face;
            data->file = file;
            break;
        }
    }
    FaceFile fallbackFile = MatchFamily(e, "DejaVu Sans", fBold, fItalic);
    if (fallbackFile.path != data->file.path || fallbackFile.index != data->file.index) {
        data->fallback = OpenFace(e, fallbackFile);
        data->fFallbackBold = fBold && !fallbackFile.fBold;
        data->fFallbackItalic = fItalic && !fallbackFile.fItalic;
    }
    data->fSynthBold = fBold && !data->file.fBold;
    data->fSynthItalic = fItalic && !data->file.fItalic;
    data->fAntialias = lf.lfQuality != NONANTIALIASED_QUALITY && lf.lfQuality != DRAFT_QUALITY;

    FT_Face face = data->face;
    int upem = face ? face->units_per_EM : 2048;
    long winAscent = face ? face->ascender : 1854, winDescent = face ? -face->descender : 434;
    long lineGap = 0;
    TT_OS2* os2 = face ? static_cast<TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2)) : nullptr;
    TT_HoriHeader* hhea =
        face ? static_cast<TT_HoriHeader*>(FT_Get_Sfnt_Table(face, FT_SFNT_HHEA)) : nullptr;
    if (os2 && os2->usWinAscent + os2->usWinDescent > 0) {
        winAscent = os2->usWinAscent;
        winDescent = os2->usWinDescent;
    }
    if (hhea)
        lineGap = std::max<long>(0, hhea->Line_Gap + (hhea->Ascender - hhea->Descender) -
                                        (winAscent + winDescent));
    long height = lf.lfHeight;
    height = std::clamp<long>(height, -1024, 1024);
    int ppem = 11; // 8 points at 96 dots per inch
    if (height < 0)
        ppem = static_cast<int>(-height);
    else if (height > 0)
        ppem = std::max(1, static_cast<int>(std::lround(static_cast<double>(height) * upem /
                                                        (winAscent + winDescent))));
    data->ppem = ppem;
    data->ascent = Scale(winAscent, ppem, upem);
    data->descent = Scale(winDescent, ppem, upem);
    data->height = std::max<LONG>(1, data->ascent + data->descent);
    data->internalLeading = std::max<LONG>(0, data->height - ppem);
    data->externalLeading = Scale(lineGap, ppem, upem);
    if (face) {
        data->maxCharWidth = Scale(face->max_advance_width, ppem, upem);
        data->fFixed = FT_IS_FIXED_WIDTH(face);
        data->underlinePos = std::max<LONG>(1, Scale(-face->underline_position, ppem, upem));
        data->underlineThickness = std::max<LONG>(1, Scale(face->underline_thickness, ppem, upem));
        if (os2 && os2->yStrikeoutPosition > 0)
            data->strikeoutPos = Scale(os2->yStrikeoutPosition, ppem, upem);
        else
            data->strikeoutPos = data->ascent / 3;
        if (FT_New_Size(face, &data->size) == 0) {
            FT_Activate_Size(data->size);
            FT_Set_Pixel_Sizes(face, 0, ppem);
        } else {
            data->size = nullptr;
            data->face = nullptr;
        }
    }
    if (data->fallback) {
        if (FT_New_Size(data->fallback, &data->fallbackSize) == 0) {
            FT_Activate_Size(data->fallbackSize);
            FT_Set_Pixel_Sizes(data->fallback, 0, ppem);
        } else {
            data->fallbackSize = nullptr;
            data->fallback = nullptr;
        }
    }
    font.data = std::move(data);
    FontData& d = *font.data;
    if (os2 && os2->xAvgCharWidth > 0 && d.face)
        d.aveCharWidth = Scale(os2->xAvgCharWidth, ppem, upem);
    else
        d.aveCharWidth = std::max<LONG>(1, ppem / 2);
    if (d.maxCharWidth <= 0) d.maxCharWidth = d.aveCharWidth;
    return d;
}

namespace {

bool LoadGlyph(FontData& d, FT_Face face, FT_Size size, FT_UInt gi, bool fBold, bool fItalic,
               Glyph* pGlyph) {
    FT_Activate_Size(size);
    FT_Int32 flags = FT_LOAD_DEFAULT | (d.fAntialias ? FT_LOAD_TARGET_NORMAL : FT_LOAD_TARGET_MONO);
    if (FT_Load_Glyph(face, gi, flags) != 0) return false;
    FT_GlyphSlot slot = face->glyph;
    if (fItalic) FT_GlyphSlot_Oblique(slot);
    if (fBold) FT_GlyphSlot_Embolden(slot);
    if (FT_Render_Glyph(slot, d.fAntialias ? FT_RENDER_MODE_NORMAL : FT_RENDER_MODE_MONO) != 0)
        return false;
    const FT_Bitmap& bitmap = slot->bitmap;
    pGlyph->advance = static_cast<int>((slot->advance.x + 32) >> 6);
    pGlyph->left = slot->bitmap_left;
    pGlyph->top = slot->bitmap_top;
    pGlyph->width = static_cast<int>(bitmap.width);
    pGlyph->height = static_cast<int>(bitmap.rows);
    pGlyph->coverage.assign(static_cast<std::size_t>(pGlyph->width) * pGlyph->height, 0);
    for (int y = 0; y < pGlyph->height; ++y) {
        const unsigned char* row = bitmap.buffer + static_cast<std::ptrdiff_t>(y) * bitmap.pitch;
        BYTE* out = pGlyph->coverage.data() + static_cast<std::size_t>(y) * pGlyph->width;
        for (int x = 0; x < pGlyph->width; ++x) {
            if (bitmap.pixel_mode == FT_PIXEL_MODE_MONO)
                out[x] = (row[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
            else
                out[x] = row[x];
        }
    }
    return true;
}

} // namespace

const Glyph& GetGlyph(FontData& d, char32_t ch) {
    if (auto it = d.glyphs.find(ch); it != d.glyphs.end()) return it->second;
    Glyph glyph;
    if (ch >= 0x20 && ch != 0x7F) {
        bool fDone = false;
        FT_UInt gi = d.face ? FT_Get_Char_Index(d.face, ch) : 0;
        if (gi) fDone = LoadGlyph(d, d.face, d.size, gi, d.fSynthBold, d.fSynthItalic, &glyph);
        if (!fDone && d.fallback) {
            FT_UInt gf = FT_Get_Char_Index(d.fallback, ch);
            if (gf)
                fDone = LoadGlyph(d, d.fallback, d.fallbackSize, gf, d.fFallbackBold,
                                  d.fFallbackItalic, &glyph);
        }
        if (!fDone && d.face)
            fDone = LoadGlyph(d, d.face, d.size, 0, d.fSynthBold, d.fSynthItalic, &glyph);
        if (!fDone) glyph.advance = d.aveCharWidth;
    }
    return d.glyphs.emplace(ch, std::move(glyph)).first->second;
}

// ---------------------------------------------------------------------------------------
// Font objects

namespace {

std::shared_ptr<Font> NewFont(const LOGFONTW& lf) {
    auto font = std::make_shared<Font>();
    font->lf = lf;
    font->lf.lfFaceName[LF_FACESIZE - 1] = 0;
    return font;
}

std::shared_ptr<Font> MakeStockFont(const char16_t* face, LONG height) {
    LOGFONTW lf{};
    lf.lfHeight = height;
    lf.lfWeight = FW_NORMAL;
    lf.lfCharSet = DEFAULT_CHARSET;
    std::char_traits<char16_t>::copy(lf.lfFaceName, face,
                                     std::char_traits<char16_t>::length(face) + 1);
    auto font = NewFont(lf);
    font->fStock = true;
    Register(font);
    return font;
}

} // namespace

Font::Font() : Object(Kind::Font) {}

Font::~Font() {
    if (!data) return;
    std::lock_guard lock(TheEngine().mutex);
    if (data->size) FT_Done_Size(data->size);
    if (data->fallbackSize) FT_Done_Size(data->fallbackSize);
    data.reset();
}

std::shared_ptr<Font> StockFont(int i) {
    static const std::shared_ptr<Font> gui = MakeStockFont(u"MS Shell Dlg", -11);
    static const std::shared_ptr<Font> fixed = MakeStockFont(u"Courier New", -13);
    switch (i) {
    case SYSTEM_FONT:
    case DEFAULT_GUI_FONT:
    case ANSI_VAR_FONT:
    case DEVICE_DEFAULT_FONT:
        return gui;
    case OEM_FIXED_FONT:
    case ANSI_FIXED_FONT:
    case SYSTEM_FIXED_FONT:
        return fixed;
    default:
        return nullptr;
    }
}

int GetFontObject(Font& font, int cb, void* pv) {
    if (!pv || cb >= static_cast<int>(sizeof(LOGFONTW))) {
        if (pv) std::memcpy(pv, &font.lf, sizeof(LOGFONTW));
        return sizeof(LOGFONTW);
    }
    if (cb < static_cast<int>(sizeof(LOGFONTA))) return 0;
    LOGFONTA lf;
    std::memcpy(&lf, &font.lf, offsetof(LOGFONTA, lfFaceName));
    std::u16string face(font.lf.lfFaceName,
                        std::find(font.lf.lfFaceName, font.lf.lfFaceName + LF_FACESIZE, u'\0'));
    std::string utf8 = ToUtf8(face);
    // Cut at a character boundary so that the name stays valid UTF-8.
    std::size_t n = std::min<std::size_t>(utf8.size(), LF_FACESIZE - 1);
    while (n > 0 && n < utf8.size() && (static_cast<unsigned char>(utf8[n]) & 0xC0) == 0x80)
        --n;
    std::memset(lf.lfFaceName, 0, sizeof(lf.lfFaceName));
    std::memcpy(lf.lfFaceName, utf8.data(), n);
    std::memcpy(pv, &lf, sizeof(lf));
    return sizeof(LOGFONTA);
}

} // namespace gdi

using namespace gdi;

HFONT CreateFontIndirect(const LOGFONTW* plf) {
    if (!plf) return nullptr;
    return static_cast<HFONT>(Register(NewFont(*plf)));
}

HFONT CreateFontIndirect(const LOGFONTA* plf) {
    if (!plf) return nullptr;
    LOGFONTW lf{};
    std::memcpy(&lf, plf, offsetof(LOGFONTA, lfFaceName));
    const char* face = plf->lfFaceName;
    std::size_t n = std::find(face, face + LF_FACESIZE, '\0') - face;
    std::u16string face16 = ToUtf16(std::string_view(face, n));
    face16.resize(std::min<std::size_t>(face16.size(), LF_FACESIZE - 1));
    std::copy(face16.begin(), face16.end(), lf.lfFaceName);
    return CreateFontIndirect(&lf);
}

bool GetFontFile(HFONT hfont, std::string* pPath, std::string* pFamily) {
    auto font = Lookup<Font>(hfont, Kind::Font);
    if (!font) return false;
    std::lock_guard lock(TheEngine().mutex);
    FontData& d = Data(*font);
    if (pPath) *pPath = d.file.path;
    if (pFamily) *pFamily = d.file.family;
    return d.face != nullptr;
}

BOOL GetTextMetrics(HDC hdc, TEXTMETRIC* ptm) {
    auto dc = Lookup<Dc>(hdc, Kind::Dc);
    if (!dc || !ptm) return FALSE;
    std::lock_guard lock(TheEngine().mutex);
    Font& font = *dc->st.font;
    FontData& d = Data(font);
    TEXTMETRIC tm{};
    tm.tmHeight = d.height;
    tm.tmAscent = d.ascent;
    tm.tmDescent = d.descent;
    tm.tmInternalLeading = d.internalLeading;
    tm.tmExternalLeading = d.externalLeading;
    tm.tmAveCharWidth = d.aveCharWidth;
    tm.tmMaxCharWidth = d.maxCharWidth;
    tm.tmWeight = font.lf.lfWeight ? font.lf.lfWeight : FW_NORMAL;
    tm.tmDigitizedAspectX = 96;
    tm.tmDigitizedAspectY = 96;
    tm.tmFirstChar = 0x20;
    tm.tmLastChar = 0xFFFC;
    tm.tmDefaultChar = u'?';
    tm.tmBreakChar = u' ';
    tm.tmItalic = font.lf.lfItalic;
    tm.tmUnderlined = font.lf.lfUnderline;
    tm.tmStruckOut = font.lf.lfStrikeOut;
    // The low bit set means variable pitch; outline faces.
    tm.tmPitchAndFamily = static_cast<BYTE>(0x06 | (d.fFixed ? 0 : 1));
    tm.tmCharSet = font.lf.lfCharSet;
    *ptm = tm;
    return TRUE;
}

} // namespace host
