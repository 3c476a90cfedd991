// Text: the caller's text decoded to code points, glyphs blended into the destination,
// extents and DrawText's layout.
#include "host/gdi.h"
#include "host/gdi_internal.h"
#include "host/gdi_text_internal.h"

#include <cstdint>
#include <cstring>
#include <mutex>
#include <optional>

namespace host {
namespace gdi {

namespace {

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
    // Made under the engine's lock but ended after it, as in ExtText: ending a target tells
    // the screen what changed, and the screen takes its own lock before drawing text.
    std::optional<Target> target;
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

    Target& t = target.emplace(hdc);
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
} // namespace gdi

using namespace gdi;

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
