// The markup drawer: tags, the style stack and the line layout.
#include "skin/skin_markup.h"

#include "skin/skin_draw_internal.h"

#include <algorithm>
#include <cstdint>
#include <optional>

namespace {

using i64 = std::int64_t;
using skin_internal::DestDC;
using skin_internal::Intersect;
using skin_internal::IsEmptyRect;
using skin_internal::MeasureDC;

constexpr int kLineGap = 8; // each line end after the first on an empty line

bool IsBlank(CHAR ch) {
    return ch == ' ' || ch == '\t';
}
bool IsLineEnd(CHAR ch) {
    return ch == '\r' || ch == '\n';
}
CHAR Lower(CHAR ch) {
    return ch >= 'A' && ch <= 'Z' ? CHAR(ch - 'A' + 'a') : ch;
}
// The bytes of the UTF-8 character at pch (at least 1, at most cch).
int CharLength(const CHAR* pch, int cch) {
    int n = 1;
    while (n < cch && (BYTE(pch[n]) & 0xC0) == 0x80)
        ++n;
    return n;
}

// Reads tags from [p, end); every read stops at the end, at a line end and at "<", none of
// which a tag holds inside.
class TagReader {
public:
    TagReader(const CHAR* p, const CHAR* end) : p_(p), end_(end) {}
    const CHAR* Pos() const { return p_; }
    bool AtEnd() const { return p_ == end_ || IsLineEnd(*p_) || *p_ == '<'; }
    bool Is(CHAR ch) const { return !AtEnd() && *p_ == ch; }
    // Takes the lower-case word when the text there is it in any case.
    bool Take(const char* psz) {
        const CHAR* p = p_;
        for (; *psz != 0; ++psz, ++p)
            if (p == end_ || Lower(*p) != *psz) return false;
        p_ = p;
        return true;
    }
    void SkipTo(CHAR ch) {
        while (!AtEnd() && *p_ != ch)
            ++p_;
    }
    bool SkipBlanks() {
        const CHAR* p0 = p_;
        while (!AtEnd() && IsBlank(*p_))
            ++p_;
        return p_ != p0;
    }
    // An attribute name up to "=", a blank or ">".
    cetl::string Name() {
        const CHAR* p0 = p_;
        while (!AtEnd() && *p_ != '=' && *p_ != '>' && !IsBlank(*p_))
            ++p_;
        cetl::string str;
        str.Assign(p0, int(p_ - p0));
        str.MakeLower();
        return str;
    }
    // A value in double quotes, or up to a blank or ">"; false for an unclosed quote.
    bool Value(cetl::string* pstr) {
        const CHAR* p0 = p_;
        if (Is('"')) {
            ++p_;
            p0 = p_;
            while (!AtEnd() && *p_ != '"')
                ++p_;
            if (!Is('"')) return false;
            pstr->Assign(p0, int(p_ - p0));
            ++p_;
            return true;
        }
        while (!AtEnd() && *p_ != '>' && !IsBlank(*p_))
            ++p_;
        pstr->Assign(p0, int(p_ - p0));
        return true;
    }

private:
    const CHAR* p_;
    const CHAR* end_;
};

// A size item: an optional "-" and up to three digits (a text must not ask for glyphs of
// thousands of pixels).
bool IsSize(const cetl::string& str) {
    const int iFirst = str.GetAt(0) == '-' ? 1 : 0;
    if (iFirst >= str.Length() || str.Length() - iFirst > 3) return false;
    for (int i = iFirst; i < str.Length(); ++i)
        if (str[i] < '0' || str[i] > '9') return false;
    return true;
}

} // namespace

int SkinParseMarkupTag(const CHAR* pch, int cch, SKINMARKUPTAG* pTag) {
    if (pch == nullptr || cch < 3 || pch[0] != '<') return 0;
    TagReader in(pch + 1, pch + cch);
    SKINMARKUPTAG tag;
    auto Done = [&](int nKind) {
        if (!in.Is('>')) return 0;
        tag.nKind = nKind;
        if (pTag != nullptr) *pTag = tag;
        return int(in.Pos() + 1 - pch);
    };
    if (in.Take("/")) {
        in.SkipTo('>');
        return Done(SMT_CLOSE);
    }
    if (in.Take("b")) return Done(SMT_BOLD);
    if (in.Take("i")) return Done(SMT_ITALIC);
    if (in.Take("u")) return Done(SMT_UNDERLINE);
    if (in.Take("a")) {
        if (!in.SkipBlanks() || !in.Take("href=") || !in.Value(&tag.strTarget)) return 0;
        in.SkipBlanks();
        return Done(SMT_LINK);
    }
    if (!in.Take("font") || !(in.SkipBlanks() || in.Is('>'))) return 0;
    bool fFont = false, fColor = false;
    while (!in.AtEnd() && !in.Is('>')) {
        const cetl::string strName = in.Name();
        cetl::string strValue;
        if (in.Take("=") && !in.Value(&strValue)) return 0;
        if (strName == "face" && !strValue.IsEmpty()) {
            // A comma would start another item of the description.
            strValue.Replace(",", "");
            tag.strFont += ",";
            tag.strFont += strValue;
            fFont = true;
        } else if (strName == "size" && IsSize(strValue)) {
            tag.strFont += ",";
            tag.strFont += strValue;
            fFont = true;
        } else if (strName == "color") {
            tag.clr = SkinColorFromText(strValue);
            fColor = true;
        }
        if (!in.SkipBlanks() && !in.Is('>')) return 0;
    }
    return Done(fColor ? (fFont ? SMT_FONTCOLOR : SMT_COLOR) : SMT_FONT);
}

namespace {

// One entry of the style stack. Entries stay in one list once made, so that the runs laid
// out on a line keep theirs after a close tag.
struct Style {
    bool fLink = false;
    cetl::string strLink;
    cetl::string strFont;
    bool fBold = false;
    bool fItalic = false;
    bool fUnderline = false;
    Color clr = 0;
    // The font, made on first use.
    bool fMade = false;
    host::HFONT hFont = nullptr;
    int cyAscent = 0;
    int cyDescent = 0;
};

// Text of one style placed on the current line; x from the line's start.
struct Frag {
    const CHAR* pch;
    int cch;
    int iStyle;
    i64 x;
    i64 cx;
};

LONG ToLong(i64 v) {
    return LONG(std::clamp<i64>(v, -0x3FFFFFFF, 0x3FFFFFFF));
}

class MarkupLayout {
public:
    MarkupLayout(const SKINDRAWCONTEXT& ctx, const RECT& rc, const SKINCONTROLSETTINGS& settings,
                 UINT fuFlags, mem::vector<SKINLINK>* pLinks)
        : ctx_(ctx), rc_(rc), nLayout_(settings.nTextLayout), fuFlags_(fuFlags), pLinks_(pLinks),
          cxRoom_(std::max<i64>(0, i64(rc.right) - rc.left)), y_(rc.top), yBottom_(rc.top) {
        if (!(fuFlags & SKINTEXT_MEASURE) && ctx.pDest != nullptr) {
            dest_.emplace(ctx.pDest, Intersect(ctx.rcClip, rc));
            hdc_ = dest_->Hdc();
            if (hdc_ != nullptr) {
                host::SetBkMode(hdc_, host::TRANSPARENT);
                fDraw_ = true;
            }
        }
        if (hdc_ == nullptr) {
            measure_.emplace();
            hdc_ = measure_->Get();
        }
        Style base;
        base.strFont = settings.strFont;
        base.clr = (fuFlags & SKINTEXT_DISABLED)   ? settings.clrDisabledText
                   : (fuFlags & SKINTEXT_SELECTED) ? settings.clrSelectedText
                                                   : settings.clrText;
        styles_.push_back(base);
        stack_.push_back(0);
    }
    ~MarkupLayout() {
        if (hdc_ != nullptr) Use(nullptr);
    }
    MarkupLayout(const MarkupLayout&) = delete;
    MarkupLayout& operator=(const MarkupLayout&) = delete;

    int Lay(const cetl::string& strText);

private:
    void Apply(const SKINMARKUPTAG& tag);
    int Underlined(int iStyle);
    void Use(host::HFONT hFont);
    Style& Select(int iStyle);
    void Text(const CHAR* pch, int cch, int iStyle);
    void Place(const CHAR* pch, int cch, int iStyle, i64 cx, int cchWord, i64 cxWord);
    void Grow(const Style& style);
    void LineEnd();
    void FinishLine(bool fWrapped);
    void MoveWord();

    const SKINDRAWCONTEXT& ctx_;
    const RECT rc_;
    const int nLayout_;
    const UINT fuFlags_;
    mem::vector<SKINLINK>* pLinks_;
    const i64 cxRoom_;
    std::optional<DestDC> dest_;
    std::optional<MeasureDC> measure_;
    HDC hdc_ = nullptr;
    bool fDraw_ = false;
    host::HFONT hCurrent_ = nullptr; // null: the context's own font
    host::HFONT hOriginal_ = nullptr;
    mem::vector<Style> styles_{MEM_TAG("Style")};
    mem::vector<int> stack_{MEM_TAG("int")};
    mem::vector<int> extents_{MEM_TAG("int")};
    // The current line.
    mem::vector<Frag> frags_{MEM_TAG("Frag")};
    mem::vector<Frag> moved_{MEM_TAG("Frag")};
    i64 cx_ = 0;    // the pen
    i64 cxInk_ = 0; // up to the end of the last word, without the blanks after it
    int cyAscent_ = 0;
    int cyDescent_ = 0;
    bool fEndsInBlank_ = false;
    // Where the line's last word starts: a frag, the offset in it, its x, and the ink before.
    std::size_t iWordFrag_ = 0;
    int ichWord_ = 0;
    i64 xWord_ = 0;
    i64 cxInkBeforeWord_ = 0;
    bool fSkipBlanks_ = false;   // the line began at a wrap
    bool fBreakSkipped_ = false; // the line end that began this line has been skipped
    i64 y_;
    i64 yBottom_;
};

int MarkupLayout::Lay(const cetl::string& strText) {
    const CHAR* s = strText.Text();
    const int n = strText.Length();
    const bool fMarkup = !(fuFlags_ & SKINTEXT_PLAIN);
    const bool fPrefix = !(fuFlags_ & SKINTEXT_NOPREFIX);
    int p = 0;
    while (p < n) {
        const CHAR ch = s[p];
        if (IsLineEnd(ch)) {
            p += ch == '\r' && p + 1 < n && s[p + 1] == '\n' ? 2 : 1;
            if (!(fuFlags_ & SKINTEXT_VCENTER)) LineEnd();
            continue;
        }
        if (ch == '<' && fMarkup) {
            SKINMARKUPTAG tag;
            if (const int cchTag = SkinParseMarkupTag(s + p, n - p, &tag); cchTag > 0) {
                Apply(tag);
                p += cchTag;
                continue;
            }
        }
        if (ch == '&' && fPrefix) {
            ++p;
            if (p == n || IsLineEnd(s[p])) continue;
            if (s[p] != '&') {
                // A mnemonic: its character underlined.
                const int cchChar = CharLength(s + p, n - p);
                Text(s + p, cchChar, Underlined(stack_.back()));
                p += cchChar;
                continue;
            }
            // "&&": the second is text, and starts the run.
        }
        int q = p + 1;
        while (q < n && !IsLineEnd(s[q]) && !(fMarkup && s[q] == '<') && !(fPrefix && s[q] == '&'))
            ++q;
        Text(s + p, q - p, stack_.back());
        p = q;
    }
    if (!frags_.empty()) FinishLine(false);
    return int(std::clamp<i64>(yBottom_ - rc_.top, 0, 0x3FFFFFFF));
}

void MarkupLayout::Apply(const SKINMARKUPTAG& tag) {
    if (tag.nKind == SMT_CLOSE) {
        if (stack_.size() > 1) stack_.pop_back();
        return;
    }
    Style style = styles_[std::size_t(stack_.back())];
    switch (tag.nKind) {
    case SMT_LINK:
        style.fLink = true;
        style.strLink = tag.strTarget;
        break;
    case SMT_BOLD:
        style.fBold = true;
        break;
    case SMT_ITALIC:
        style.fItalic = true;
        break;
    case SMT_UNDERLINE:
        style.fUnderline = true;
        break;
    case SMT_FONTCOLOR:
        style.clr = tag.clr;
        [[fallthrough]];
    case SMT_FONT:
        style.strFont += tag.strFont;
        break;
    case SMT_COLOR:
        style.clr = tag.clr;
        break;
    default:
        break;
    }
    if (tag.nKind != SMT_LINK && tag.nKind != SMT_COLOR) style.fMade = false;
    styles_.push_back(style);
    stack_.push_back(int(styles_.size() - 1));
}

int MarkupLayout::Underlined(int iStyle) {
    Style style = styles_[std::size_t(iStyle)];
    if (style.fUnderline) return iStyle;
    style.fUnderline = true;
    style.fMade = false;
    styles_.push_back(style);
    return int(styles_.size() - 1);
}

// Selects a font, or with null the context's own again.
void MarkupLayout::Use(host::HFONT hFont) {
    if (hFont == hCurrent_) return;
    if (hFont == nullptr) {
        host::SelectObject(hdc_, hOriginal_);
    } else {
        host::HFONT hOld = host::SelectObject(hdc_, hFont);
        if (hCurrent_ == nullptr) hOriginal_ = hOld;
    }
    hCurrent_ = hFont;
}

Style& MarkupLayout::Select(int iStyle) {
    Style& style = styles_[std::size_t(iStyle)];
    if (!style.fMade) {
        style.hFont = nullptr;
        if (ctx_.pSkin != nullptr) {
            cetl::string strFont = style.strFont;
            if (style.fBold) strFont += ",B";
            if (style.fItalic) strFont += ",I";
            if (style.fUnderline) strFont += ",U";
            style.hFont = ctx_.pSkin->Font(strFont);
        }
        Use(style.hFont);
        host::TEXTMETRIC tm = {};
        if (host::GetTextMetrics(hdc_, &tm)) {
            style.cyAscent = tm.tmAscent;
            style.cyDescent = tm.tmDescent;
        }
        style.fMade = true;
    }
    Use(style.hFont);
    return style;
}

// A run of one style without line ends: word by word onto the lines.
void MarkupLayout::Text(const CHAR* pch, int cch, int iStyle) {
    if (cch <= 0) return;
    Select(iStyle);
    extents_.resize(std::size_t(cch));
    host::SIZE size = {0, 0};
    if (!host::GetTextExtentExPoint(hdc_, pch, cch, 0x7FFFFFFF, nullptr, extents_.data(), &size))
        std::fill(extents_.begin(), extents_.end(), 0);
    auto X = [&](int k) -> i64 { return k == 0 ? 0 : extents_[std::size_t(k - 1)]; };
    const bool fWrap = (fuFlags_ & SKINTEXT_WRAP) && !(fuFlags_ & SKINTEXT_VCENTER);
    int i = 0;
    while (i < cch) {
        if (frags_.empty() && fSkipBlanks_) {
            while (i < cch && IsBlank(pch[i]))
                ++i;
            if (i == cch) break;
        }
        int j = i;
        while (j < cch && !IsBlank(pch[j]))
            ++j;
        int k = j;
        while (k < cch && IsBlank(pch[k]))
            ++k;
        const i64 cxWord = X(j) - X(i);
        if (!fWrap || j == i || cx_ + cxWord <= cxRoom_) {
            Place(pch + i, k - i, iStyle, X(k) - X(i), j - i, cxWord);
            i = k;
            continue;
        }
        // The word does not fit. It goes to the next line when something stands before it.
        const bool fJoined = !frags_.empty() && !fEndsInBlank_;
        if (fJoined ? iWordFrag_ > 0 || ichWord_ > 0 : !frags_.empty()) {
            if (fJoined)
                MoveWord();
            else
                FinishLine(true);
            continue;
        }
        // A word wider than a line: the characters that fit, at least one on an empty line.
        int n = 0;
        for (int m = i; m < j;) {
            m += CharLength(pch + m, j - m);
            if (cx_ + X(m) - X(i) > cxRoom_) break;
            n = m - i;
        }
        if (n == 0) {
            if (!frags_.empty()) {
                FinishLine(true);
                continue;
            }
            n = CharLength(pch + i, j - i);
        }
        Place(pch + i, n, iStyle, X(i + n) - X(i), n, X(i + n) - X(i));
        i += n;
        if (i < j) FinishLine(true);
    }
}

// Puts a word (cchWord characters, cxWord wide) and the blanks after it on the line.
void MarkupLayout::Place(const CHAR* pch, int cch, int iStyle, i64 cx, int cchWord, i64 cxWord) {
    if (cch <= 0) return;
    const bool fJoined = !frags_.empty() && !fEndsInBlank_;
    std::size_t iFrag = frags_.size();
    int ich = 0;
    if (!frags_.empty() && frags_.back().iStyle == iStyle &&
        frags_.back().pch + frags_.back().cch == pch) {
        iFrag = frags_.size() - 1;
        ich = frags_.back().cch;
        frags_.back().cch += cch;
        frags_.back().cx += cx;
    } else {
        frags_.push_back({pch, cch, iStyle, cx_, cx});
    }
    if (cchWord > 0) {
        if (!fJoined) {
            iWordFrag_ = iFrag;
            ichWord_ = ich;
            xWord_ = cx_;
            cxInkBeforeWord_ = cxInk_;
        }
        cxInk_ = cx_ + cxWord;
    }
    cx_ += cx;
    fEndsInBlank_ = cch > cchWord;
    Grow(styles_[std::size_t(iStyle)]);
}

void MarkupLayout::Grow(const Style& style) {
    cyAscent_ = std::max(cyAscent_, style.cyAscent);
    cyDescent_ = std::max(cyDescent_, style.cyDescent);
}

// One line end skipped at the start of a line, each further one a small gap.
void MarkupLayout::LineEnd() {
    if (!frags_.empty())
        FinishLine(false);
    else if (!fBreakSkipped_)
        fBreakSkipped_ = true;
    else
        y_ += kLineGap;
}

// Draws the line, placed by the layout, and starts the next.
void MarkupLayout::FinishLine(bool fWrapped) {
    if (!frags_.empty()) {
        i64 xLine = rc_.left;
        if (nLayout_ == SKIN_RIGHT)
            xLine += cxRoom_ - cxInk_;
        else if (nLayout_ == SKIN_CENTER)
            xLine += (cxRoom_ - cxInk_) / 2;
        const i64 cyLine = cyAscent_ + cyDescent_;
        for (const Frag& frag : frags_) {
            const i64 x = xLine + frag.x;
            const Style& style = styles_[std::size_t(frag.iStyle)];
            if (fDraw_) {
                Select(frag.iStyle);
                host::SetTextColor(hdc_, style.clr);
                const i64 y = y_ + cyAscent_ - style.cyAscent;
                RECT rc = {dest_->X(ToLong(x)), dest_->Y(ToLong(y)), dest_->X(ToLong(x + frag.cx)),
                           dest_->Y(ToLong(y + style.cyAscent + style.cyDescent))};
                host::DrawText(hdc_, frag.pch, frag.cch, &rc,
                               host::DT_SINGLELINE | host::DT_NOPREFIX | host::DT_NOCLIP);
            }
            if (style.fLink && pLinks_ != nullptr)
                pLinks_->push_back(
                    {{ToLong(x), ToLong(y_), ToLong(x + frag.cx), ToLong(y_ + cyLine)},
                     style.strLink});
        }
        y_ += cyLine;
        yBottom_ = y_;
    }
    frags_.clear();
    cx_ = cxInk_ = 0;
    cyAscent_ = cyDescent_ = 0;
    fEndsInBlank_ = false;
    iWordFrag_ = 0;
    ichWord_ = 0;
    xWord_ = cxInkBeforeWord_ = 0;
    fSkipBlanks_ = fWrapped;
    fBreakSkipped_ = !fWrapped;
}

// The line's last word, begun in earlier runs, goes to the next line whole.
void MarkupLayout::MoveWord() {
    moved_.clear();
    std::size_t iKeep = iWordFrag_;
    if (ichWord_ > 0) {
        Frag& frag = frags_[iWordFrag_];
        moved_.push_back({frag.pch + ichWord_, frag.cch - ichWord_, frag.iStyle, xWord_,
                          frag.x + frag.cx - xWord_});
        frag.cch = ichWord_;
        frag.cx = xWord_ - frag.x;
        ++iKeep;
    }
    moved_.insert(moved_.end(), frags_.begin() + std::ptrdiff_t(iKeep), frags_.end());
    frags_.resize(iKeep);
    const i64 cxMoved = cx_ - xWord_, xFrom = xWord_;
    cx_ = xWord_;
    cxInk_ = cxInkBeforeWord_;
    cyAscent_ = cyDescent_ = 0;
    for (const Frag& frag : frags_)
        Grow(styles_[std::size_t(frag.iStyle)]);
    FinishLine(true);
    for (Frag frag : moved_) {
        frag.x -= xFrom;
        frags_.push_back(frag);
        Grow(styles_[std::size_t(frag.iStyle)]);
    }
    cx_ = cxInk_ = cxMoved;
    fSkipBlanks_ = false;
}

} // namespace

int SkinDrawMarkup(const SKINDRAWCONTEXT& ctx, const cetl::string& strText, const RECT& rc,
                   const SKINCONTROLSETTINGS& settings, UINT fuFlags,
                   mem::vector<SKINLINK>* pLinks) {
    if (strText.Length() == 0) return 0;
    MarkupLayout layout(ctx, rc, settings, fuFlags, pLinks);
    return layout.Lay(strText);
}
