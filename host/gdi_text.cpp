// Fonts and text: faces found through fontconfig, glyphs rendered by FreeType and blended
// into the destination.
#include "host/codepage.h"
#include "host/gdi.h"
#include "host/gdi_internal.h"

#include <ft2build.h>
#include FT_FREETYPE_H
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
#include <map>
#include <mutex>
#include <unordered_map>

namespace host {
namespace gdi {

namespace {

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

    Engine() {
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
};

Engine& TheEngine() {
    static Engine* engine = new Engine;
    return *engine;
}

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

struct Glyph {
    int left = 0, top = 0, width = 0, height = 0;
    int advance = 0;
    std::vector<BYTE> coverage; // width x height, 0 to 255
};

} // namespace

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

namespace {

LONG Scale(long units, int ppem, int upem) {
    if (upem <= 0) return 0;
    return static_cast<LONG>(std::lround(static_cast<double>(units) * ppem / upem));
}

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
// Text decoding: code points, and where each one starts in the caller's units.

struct Text {
    std::u32string chars;
    std::vector<int> starts; // unit index of each code point; one extra entry: the end
};

Text Decode(const char* p, int c) {
    Text t;
    if (!p) return t;
    std::size_t n = c < 0 ? std::strlen(p) : static_cast<std::size_t>(c);
    const auto* s = reinterpret_cast<const unsigned char*>(p);
    std::size_t i = 0;
    while (i < n) {
        t.starts.push_back(static_cast<int>(i));
        unsigned b = s[i];
        int extra = b < 0x80 ? 0 : (b >> 5) == 6 ? 1 : (b >> 4) == 14 ? 2 : (b >> 3) == 30 ? 3 : -1;
        char32_t cp = extra == 0 ? b : extra == 1 ? b & 0x1F : extra == 2 ? b & 0x0F : b & 0x07;
        bool ok = extra >= 0 && i + extra < n;
        for (int k = 1; ok && k <= extra; ++k) {
            if ((s[i + k] & 0xC0) != 0x80)
                ok = false;
            else
                cp = (cp << 6) | (s[i + k] & 0x3F);
        }
        static constexpr char32_t kMin[4] = {0, 0x80, 0x800, 0x10000};
        if (ok && (cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))) ok = false;
        if (!ok) {
            t.chars.push_back(0xFFFD);
            ++i;
            continue;
        }
        t.chars.push_back(cp);
        i += extra + 1;
    }
    t.starts.push_back(static_cast<int>(n));
    return t;
}

Text Decode(const WCHAR* p, int c) {
    Text t;
    if (!p) return t;
    std::size_t n = 0;
    if (c < 0)
        while (p[n])
            ++n;
    else
        n = static_cast<std::size_t>(c);
    std::size_t i = 0;
    while (i < n) {
        t.starts.push_back(static_cast<int>(i));
        char32_t u = p[i];
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < n && p[i + 1] >= 0xDC00 && p[i + 1] <= 0xDFFF) {
            t.chars.push_back(0x10000 + ((u - 0xD800) << 10) + (p[i + 1] - 0xDC00));
            i += 2;
            continue;
        }
        t.chars.push_back(u >= 0xD800 && u <= 0xDFFF ? 0xFFFD : u);
        ++i;
    }
    t.starts.push_back(static_cast<int>(n));
    return t;
}

// ---------------------------------------------------------------------------------------
// Drawing

// Blends a glyph whose origin (pen position on the baseline) is at (x, y) on the surface.
void BlendGlyph(Target& t, const Glyph& g, LONG x, LONG y, const RECT& rcLimit, DWORD textValue,
                COLORREF crText, EncodeCache& cache) {
    if (g.width == 0 || g.height == 0) return;
    RECT rcGlyph{x + g.left, y - g.top, x + g.left + g.width, y - g.top + g.height};
    rcGlyph = Intersect(rcGlyph, rcLimit);
    if (IsEmpty(rcGlyph)) return;
    const Format& f = t.format();
    int sr = GetRValue(crText), sg = GetGValue(crText), sb = GetBValue(crText);
    for (const RECT& rcClip : t.clip()) {
        RECT rc = Intersect(rcClip, rcGlyph);
        if (IsEmpty(rc)) continue;
        const LONG gx = x + g.left, gy = y - g.top;
        for (LONG py = rc.top; py < rc.bottom; ++py) {
            const BYTE* cov = g.coverage.data() + static_cast<std::size_t>(py - gy) * g.width;
            for (LONG px = rc.left; px < rc.right; ++px) {
                int a = cov[px - gx];
                if (a == 0) continue;
                if (a == 255) {
                    WritePixel(t.px(), px, py, textValue);
                    continue;
                }
                COLORREF d = f.Decode(ReadPixel(t.px(), px, py));
                auto mix = [a](int dc, int sc) { return dc + ((sc - dc) * a + 127) / 255; };
                COLORREF blended =
                    RGB(mix(GetRValue(d), sr), mix(GetGValue(d), sg), mix(GetBValue(d), sb));
                WritePixel(t.px(), px, py, cache.Encode(blended));
            }
        }
        t.Changed(rc);
    }
}

// Draws code points with their advances from (x, top) on the surface: the text cell's
// top-left corner. Characters with fUnderline[i] set get an underline of their own.
void DrawRun(Target& t, Font& font, LONG x, LONG top, const char32_t* p, const int* adv,
             std::size_t n, const RECT& rcLimit, const std::vector<char>* pUnderline,
             bool fOpaque) {
    FontData& d = Data(font);
    LONG width = 0;
    for (std::size_t i = 0; i < n; ++i)
        width += adv[i];
    Dc& dc = t.dc();
    if (fOpaque) {
        DWORD bk = t.format().Encode(t.Resolve(dc.st.crBk));
        t.FillValue(Intersect({x, top, x + width, top + d.height}, rcLimit), bk);
    }
    COLORREF crText = t.Resolve(dc.st.crText);
    DWORD textValue = t.format().Encode(crText);
    EncodeCache cache(t.format());
    LONG baseline = top + d.ascent;
    LONG pen = x;
    for (std::size_t i = 0; i < n; ++i) {
        BlendGlyph(t, GetGlyph(d, p[i]), pen, baseline, rcLimit, textValue, crText, cache);
        if (pUnderline && (*pUnderline)[i]) {
            LONG yLine = baseline + d.underlinePos;
            t.FillValue(
                Intersect({pen, yLine, pen + adv[i], yLine + d.underlineThickness}, rcLimit),
                textValue);
        }
        pen += adv[i];
    }
    if (font.lf.lfUnderline) {
        LONG yLine = baseline + d.underlinePos;
        t.FillValue(Intersect({x, yLine, pen, yLine + d.underlineThickness}, rcLimit), textValue);
    }
    if (font.lf.lfStrikeOut) {
        LONG yLine = baseline - d.strikeoutPos;
        t.FillValue(Intersect({x, yLine, pen, yLine + d.underlineThickness}, rcLimit), textValue);
    }
}

std::vector<int> Advances(FontData& d, const char32_t* p, std::size_t n) {
    std::vector<int> adv(n);
    for (std::size_t i = 0; i < n; ++i)
        adv[i] = GetGlyph(d, p[i]).advance;
    return adv;
}

constexpr RECT kNoLimit{-0x3FFFFFFF, -0x3FFFFFFF, 0x3FFFFFFF, 0x3FFFFFFF};

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

// The body of the text calls, shared by both text widths.
template <class Ch>
BOOL ExtentEx(HDC hdc, const Ch* psz, int c, int nMax, int* pnFit, int* pDx, SIZE* psize) {
    auto dc = Lookup<Dc>(hdc, Kind::Dc);
    if (!dc || (!psz && c != 0)) return FALSE;
    Text text = Decode(psz, c);
    std::lock_guard lock(TheEngine().mutex);
    FontData& d = Data(*dc->st.font);
    LONG x = 0;
    int fit = 0;
    bool fFits = true;
    for (std::size_t i = 0; i < text.chars.size(); ++i) {
        x += GetGlyph(d, text.chars[i]).advance;
        if (fFits && x <= nMax)
            fit = text.starts[i + 1];
        else
            fFits = false;
        if (pDx)
            for (int u = text.starts[i]; u < text.starts[i + 1]; ++u)
                pDx[u] = x;
    }
    if (pnFit) *pnFit = fit;
    if (psize) *psize = {x, d.height};
    return TRUE;
}

template <class Ch>
BOOL ExtText(HDC hdc, int x, int y, UINT options, const RECT* prc, const Ch* psz, UINT c,
             const INT* pDx) {
    Target t(hdc);
    if (!t.ok() || (!psz && c != 0)) return FALSE;
    Text text = Decode(psz, static_cast<int>(c));
    std::lock_guard lock(TheEngine().mutex);
    Dc& dc = t.dc();
    FontData& d = Data(*dc.st.font);
    std::vector<int> adv = Advances(d, text.chars.data(), text.chars.size());
    if (pDx)
        for (std::size_t i = 0; i < adv.size(); ++i)
            adv[i] = pDx[text.starts[i]];
    LONG width = 0;
    for (int a : adv)
        width += a;
    UINT align = dc.st.textAlign;
    LONG left = Saturate(x), top = Saturate(y);
    if ((align & TA_CENTER) == TA_CENTER)
        left = x - width / 2;
    else if (align & TA_RIGHT)
        left = x - width;
    if ((align & TA_BASELINE) == TA_BASELINE)
        top = y - d.ascent;
    else if (align & TA_BOTTOM)
        top = y - d.height;
    RECT rcLimit = kNoLimit;
    if (prc) {
        RECT rc = t.ToSurface(Normalized(prc->left, prc->top, prc->right, prc->bottom));
        if (options & ETO_OPAQUE) t.FillValue(rc, t.format().Encode(t.Resolve(dc.st.crBk)));
        if (options & ETO_CLIPPED) rcLimit = rc;
    }
    DrawRun(t, *dc.st.font, Saturate(std::int64_t{left} + t.dx()),
            Saturate(std::int64_t{top} + t.dy()), text.chars.data(), adv.data(), adv.size(),
            rcLimit, nullptr, dc.st.bkMode == OPAQUE && !(options & ETO_OPAQUE));
    return TRUE;
}

// ---------------------------------------------------------------------------------------
// DrawText

bool IsBlank(char32_t ch) {
    return ch == U' ' || ch == U'\t';
}

struct Line {
    std::u32string chars;
    std::vector<char> underline;
    std::vector<int> adv;
    LONG width = 0;
};

template <class Ch> int DrawTextT(HDC hdc, const Ch* psz, int c, RECT* prcCaller, UINT format) {
    auto dcp = Lookup<Dc>(hdc, Kind::Dc);
    if (!dcp || !prcCaller || (!psz && c != 0)) return 0;
    RECT rect{Saturate(prcCaller->left), Saturate(prcCaller->top), Saturate(prcCaller->right),
              Saturate(prcCaller->bottom)};
    RECT* prc = &rect;
    Text text = Decode(psz, c);
    std::lock_guard lock(TheEngine().mutex);
    FontData& d = Data(*dcp->st.font);

    // Prefix characters: "&x" underlines x, "&&" is "&".
    std::u32string chars;
    std::vector<char> underline;
    for (std::size_t i = 0; i < text.chars.size(); ++i) {
        char32_t ch = text.chars[i];
        if (!(format & DT_NOPREFIX) && ch == U'&') {
            if (i + 1 < text.chars.size()) {
                ++i;
                chars.push_back(text.chars[i]);
                underline.push_back(text.chars[i] != U'&' && !(format & DT_HIDEPREFIX));
            }
            continue;
        }
        chars.push_back(ch);
        underline.push_back(0);
    }

    const LONG cxRect = prc->right - prc->left;
    const LONG tabStop = std::max<LONG>(1, 8 * d.aveCharWidth);
    auto advance = [&](char32_t ch, LONG x) -> int {
        if (ch == U'\t')
            return (format & DT_EXPANDTABS) ? static_cast<int>(tabStop - x % tabStop)
                                            : GetGlyph(d, U' ').advance;
        return GetGlyph(d, ch).advance;
    };

    // Paragraphs, then lines within them.
    std::vector<Line> lines;
    auto emit = [&](std::size_t from, std::size_t to) {
        Line line;
        LONG x = 0;
        for (std::size_t k = from; k < to; ++k) {
            int a = advance(chars[k], x);
            line.chars.push_back(chars[k]);
            line.underline.push_back(underline[k]);
            line.adv.push_back(a);
            x += a;
        }
        line.width = x;
        lines.push_back(std::move(line));
    };
    auto layParagraph = [&](std::size_t from, std::size_t to) {
        if (!(format & DT_WORDBREAK) || (format & DT_SINGLELINE)) {
            emit(from, to);
            return;
        }
        std::size_t pos = from;
        while (true) {
            LONG x = 0;
            std::size_t j = pos, breakAt = 0, resumeAt = 0;
            bool fBreak = false, fSplit = false;
            while (j < to) {
                if (IsBlank(chars[j])) {
                    if (j > pos) {
                        breakAt = j;
                        fBreak = true;
                    }
                    while (j < to && IsBlank(chars[j]))
                        x += advance(chars[j++], x);
                    resumeAt = j;
                    continue;
                }
                int a = advance(chars[j], x);
                if (x + a > cxRect && j > pos) {
                    fSplit = true;
                    break;
                }
                x += a;
                ++j;
            }
            if (!fSplit) {
                emit(pos, to);
                return;
            }
            if (fBreak) {
                emit(pos, breakAt);
                pos = resumeAt;
            } else {
                emit(pos, j);
                pos = j;
            }
            if (pos >= to) return;
        }
    };
    if (format & DT_SINGLELINE) {
        std::u32string kept;
        std::vector<char> keptUnderline;
        for (std::size_t i = 0; i < chars.size(); ++i)
            if (chars[i] != U'\r' && chars[i] != U'\n') {
                kept.push_back(chars[i]);
                keptUnderline.push_back(underline[i]);
            }
        chars.swap(kept);
        underline.swap(keptUnderline);
        layParagraph(0, chars.size());
    } else {
        // A line break at the very end starts no further line.
        std::size_t start = 0;
        for (std::size_t i = 0; i <= chars.size(); ++i) {
            if (i < chars.size() && chars[i] != U'\r' && chars[i] != U'\n') continue;
            layParagraph(start, i);
            if (i < chars.size() && chars[i] == U'\r' && i + 1 < chars.size() &&
                chars[i + 1] == U'\n')
                ++i;
            start = i + 1;
            if (start == chars.size()) break;
        }
    }

    if (format & DT_END_ELLIPSIS) {
        int dot = GetGlyph(d, U'.').advance;
        for (Line& line : lines) {
            if (line.width <= cxRect) continue;
            while (!line.chars.empty() && line.width + 3 * dot > cxRect) {
                line.width -= line.adv.back();
                line.chars.pop_back();
                line.underline.pop_back();
                line.adv.pop_back();
            }
            for (int k = 0; k < 3; ++k) {
                line.chars.push_back(U'.');
                line.underline.push_back(0);
                line.adv.push_back(dot);
                line.width += dot;
            }
        }
    }

    const LONG lineHeight = d.height + ((format & DT_EXTERNALLEADING) ? d.externalLeading : 0);
    const LONG textHeight = lineHeight * static_cast<LONG>(lines.size());
    if (format & DT_CALCRECT) {
        LONG widest = 0;
        for (const Line& line : lines)
            widest = std::max(widest, line.width);
        prcCaller->right = Saturate(std::int64_t{prc->left} + widest);
        prcCaller->bottom = Saturate(std::int64_t{prc->top} + textHeight);
        return textHeight;
    }

    LONG y = prc->top;
    if (format & DT_SINGLELINE) {
        if (format & DT_VCENTER)
            y = prc->top + (prc->bottom - prc->top - textHeight) / 2;
        else if (format & DT_BOTTOM)
            y = prc->bottom - textHeight;
    }
    int result = (format & DT_SINGLELINE) && (format & (DT_VCENTER | DT_BOTTOM))
                     ? static_cast<int>(y - prc->top + textHeight)
                     : static_cast<int>(textHeight);

    Target t(hdc);
    if (!t.ok()) return 0;
    RECT rcLimit = (format & DT_NOCLIP) ? kNoLimit : t.ToSurface(*prc);
    bool fOpaque = t.dc().st.bkMode == OPAQUE;
    for (const Line& line : lines) {
        LONG x = prc->left;
        if (format & DT_CENTER)
            x = prc->left + (cxRect - line.width) / 2;
        else if (format & DT_RIGHT)
            x = prc->right - line.width;
        DrawRun(t, *t.dc().st.font, x + t.dx(), y + t.dy(), line.chars.data(), line.adv.data(),
                line.chars.size(), rcLimit, &line.underline, fOpaque);
        y += lineHeight;
    }
    return result;
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

BOOL GetTextExtentPoint32(HDC hdc, const char* psz, int c, SIZE* psize) {
    return ExtentEx(hdc, psz, c, 0x7FFFFFFF, nullptr, nullptr, psize);
}

BOOL GetTextExtentPoint32(HDC hdc, const WCHAR* psz, int c, SIZE* psize) {
    return ExtentEx(hdc, psz, c, 0x7FFFFFFF, nullptr, nullptr, psize);
}

BOOL GetTextExtentExPoint(HDC hdc, const char* psz, int c, int nMaxExtent, int* pnFit, int* pDx,
                          SIZE* psize) {
    return ExtentEx(hdc, psz, c, nMaxExtent, pnFit, pDx, psize);
}

BOOL GetTextExtentExPoint(HDC hdc, const WCHAR* psz, int c, int nMaxExtent, int* pnFit, int* pDx,
                          SIZE* psize) {
    return ExtentEx(hdc, psz, c, nMaxExtent, pnFit, pDx, psize);
}

BOOL TextOut(HDC hdc, int x, int y, const char* psz, int c) {
    return c < 0 ? FALSE : ExtText(hdc, x, y, 0, nullptr, psz, static_cast<UINT>(c), nullptr);
}

BOOL TextOut(HDC hdc, int x, int y, const WCHAR* psz, int c) {
    return c < 0 ? FALSE : ExtText(hdc, x, y, 0, nullptr, psz, static_cast<UINT>(c), nullptr);
}

BOOL ExtTextOut(HDC hdc, int x, int y, UINT options, const RECT* prc, const char* psz, UINT c,
                const INT* pDx) {
    return ExtText(hdc, x, y, options, prc, psz, c, pDx);
}

BOOL ExtTextOut(HDC hdc, int x, int y, UINT options, const RECT* prc, const WCHAR* psz, UINT c,
                const INT* pDx) {
    return ExtText(hdc, x, y, options, prc, psz, c, pDx);
}

int DrawText(HDC hdc, const char* psz, int c, RECT* prc, UINT format) {
    return DrawTextT(hdc, psz, c, prc, format);
}

int DrawText(HDC hdc, const WCHAR* psz, int c, RECT* prc, UINT format) {
    return DrawTextT(hdc, psz, c, prc, format);
}

} // namespace host
