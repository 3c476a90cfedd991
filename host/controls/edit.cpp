// The edit control: one line (scrolling sideways with ES_AUTOHSCROLL) or many (ES_MULTILINE,
// wrapped at word boundaries unless ES_AUTOHSCROLL, lines ending in CR LF), with a selection
// from an anchor to the caret, a drawn caret bar while focused (there is no system caret),
// one step of undo, and the classic styles and messages. Without automatic scrolling a
// change that would not fit the field is refused with EN_MAXTEXT, as is one beyond the limit.
#include "host/controls.h"
#include "host/controls/controls_internal.h"
#include "host/controls/item_list.h"
#include "host/controls/look.h"

#include <algorithm>
#include <string>
#include <vector>

namespace host {
namespace {

using controls::AskParentBrush;
using controls::NotifyParent;
using controls::StyleOf;

constexpr char16_t kProp[] = u"EditState";
constexpr int kMaxLimit = 0x7FFFFFFE;
constexpr int kDefaultLimit = 32767;
constexpr int kPadding = 1; // between the field's edge and the text

struct Line {
    int iStart = 0;
    int cch = 0; // without the line break
};

struct Edit {
    std::u16string text;
    int iAnchor = 0;
    int iCaret = 0;
    int cLimit = kDefaultLimit;
    bool fModified = false;
    // The text and selection before the last change; undoing swaps them back in.
    std::u16string undoText;
    int iUndoAnchor = 0;
    int iUndoCaret = 0;
    bool fCanUndo = false;
    bool fTyping = false; // the last change was typing, which the next key extends
    int xScroll = 0;      // pixels scrolled sideways
    int iFirstLine = 0;   // the first line shown
    HFONT font = nullptr;
    bool fFocus = false;
    bool fTracking = false;
    std::vector<Line> lines;
};

Edit* Get(HWND hwnd) {
    return static_cast<Edit*>(GetProp(hwnd, kProp));
}
bool IsMultiline(HWND hwnd) {
    return (StyleOf(hwnd) & ES_MULTILINE) != 0;
}

// A memory context with the control's font, for measuring.
class Measure {
public:
    explicit Measure(HFONT font) : hdc_(CreateCompatibleDC(nullptr)) {
        if (hdc_ != nullptr)
            old_ = SelectObject(hdc_, static_cast<HGDIOBJ>(look::ControlFont(font)));
    }
    ~Measure() {
        if (hdc_ == nullptr) return;
        SelectObject(hdc_, old_);
        DeleteDC(hdc_);
    }
    Measure(const Measure&) = delete;
    Measure& operator=(const Measure&) = delete;
    HDC hdc() const { return hdc_; }
    int Width(std::u16string_view s) const {
        SIZE size{0, 0};
        if (hdc_ != nullptr && !s.empty())
            GetTextExtentPoint32(hdc_, s.data(), static_cast<int>(s.size()), &size);
        return size.cx;
    }
    int LineHeight() const {
        TEXTMETRIC tm{};
        return hdc_ != nullptr && GetTextMetrics(hdc_, &tm) ? std::max<int>(tm.tmHeight, 1) : 14;
    }

private:
    HDC hdc_;
    HGDIOBJ old_ = nullptr;
};

// What is shown: the text, or as many stars for a password.
std::u16string Shown(HWND hwnd, const Edit& ed) {
    if (StyleOf(hwnd) & ES_PASSWORD) return std::u16string(ed.text.size(), u'*');
    return ed.text;
}

RECT FormatRect(HWND hwnd) {
    RECT rc;
    GetClientRect(hwnd, &rc);
    InflateRect(&rc, -(look::kFieldInset + kPadding), -(look::kFieldInset + kPadding));
    if (rc.right < rc.left) rc.right = rc.left;
    if (rc.bottom < rc.top) rc.bottom = rc.top;
    return rc;
}

// Breaks text into the lines shown: at CR LF (or a lone CR or LF) in a multiline edit, and
// where wrapping, after the last blank that fits (or inside a word wider than the field).
std::vector<Line> BreakLines(HWND hwnd, std::u16string_view text, std::u16string_view shown,
                             const Measure& m) {
    std::vector<Line> lines;
    if (!IsMultiline(hwnd)) return {Line{0, static_cast<int>(text.size())}};
    const bool fWrap = (StyleOf(hwnd) & ES_AUTOHSCROLL) == 0;
    const RECT rc = FormatRect(hwnd);
    const int cxMax = std::max(1, static_cast<int>(rc.right - rc.left));
    std::size_t i = 0;
    while (true) {
        std::size_t iEnd = text.find_first_of(u"\r\n", i);
        if (iEnd == std::u16string_view::npos) iEnd = text.size();
        std::size_t iLine = i;
        while (fWrap && iEnd - iLine > 0 && m.hdc() != nullptr) {
            int cFit = 0;
            SIZE size;
            GetTextExtentExPoint(m.hdc(), shown.data() + iLine, static_cast<int>(iEnd - iLine),
                                 cxMax, &cFit, nullptr, &size);
            if (static_cast<std::size_t>(cFit) >= iEnd - iLine) break;
            std::size_t iBreak = iLine + static_cast<std::size_t>(std::max(cFit, 1));
            // Back to just after the last blank that fits, blanks after it staying on the line.
            std::size_t k = iBreak;
            while (k > iLine && text[k - 1] != u' ')
                --k;
            if (k > iLine) {
                iBreak = k;
                while (iBreak < iEnd && text[iBreak] == u' ')
                    ++iBreak;
            }
            lines.push_back(Line{static_cast<int>(iLine), static_cast<int>(iBreak - iLine)});
            iLine = iBreak;
        }
        lines.push_back(Line{static_cast<int>(iLine), static_cast<int>(iEnd - iLine)});
        if (iEnd >= text.size()) break;
        i = iEnd +
            ((text[iEnd] == u'\r' && iEnd + 1 < text.size() && text[iEnd + 1] == u'\n') ? 2 : 1);
        if (i >= text.size()) {
            lines.push_back(Line{static_cast<int>(text.size()), 0});
            break;
        }
    }
    return lines;
}

int LineOf(const Edit& ed, int i) {
    int iLine = 0;
    for (int k = 0; k < static_cast<int>(ed.lines.size()); ++k)
        if (ed.lines[static_cast<std::size_t>(k)].iStart <= i) iLine = k;
    return iLine;
}

int VisibleLines(HWND hwnd, const Measure& m) {
    const RECT rc = FormatRect(hwnd);
    return std::max(1, static_cast<int>((rc.bottom - rc.top) / m.LineHeight()));
}

// The horizontal offset of a line's text within the format rectangle (alignment).
int LineIndent(HWND hwnd, const Edit& ed, const std::u16string& shown, const Line& line,
               const Measure& m) {
    const DWORD align = StyleOf(hwnd) & (ES_CENTER | ES_RIGHT);
    if (align == ES_LEFT || (StyleOf(hwnd) & ES_AUTOHSCROLL)) return 0;
    const RECT rc = FormatRect(hwnd);
    const int cxFree =
        (rc.right - rc.left) -
        m.Width(std::u16string_view(shown).substr(static_cast<std::size_t>(line.iStart),
                                                  static_cast<std::size_t>(line.cch)));
    (void)ed;
    if (cxFree <= 0) return 0;
    return align == ES_RIGHT ? cxFree : cxFree / 2;
}

// The caret's position in the text's own coordinates (before scrolling).
POINT CaretPoint(HWND hwnd, const Edit& ed, const std::u16string& shown, const Measure& m) {
    const int iLine = LineOf(ed, ed.iCaret);
    const Line& line = ed.lines[static_cast<std::size_t>(iLine)];
    const int cch = std::clamp(ed.iCaret - line.iStart, 0, line.cch);
    const int x = LineIndent(hwnd, ed, shown, line, m) +
                  m.Width(std::u16string_view(shown).substr(static_cast<std::size_t>(line.iStart),
                                                            static_cast<std::size_t>(cch)));
    return POINT{x, iLine * m.LineHeight()};
}

void ScrollToCaret(HWND hwnd, Edit& ed) {
    Measure m(ed.font);
    const std::u16string shown = Shown(hwnd, ed);
    const RECT rc = FormatRect(hwnd);
    const int cx = rc.right - rc.left;
    const POINT pt = CaretPoint(hwnd, ed, shown, m);
    if (pt.x < ed.xScroll)
        ed.xScroll = std::max(0, static_cast<int>(pt.x) - cx / 4);
    else if (pt.x >= ed.xScroll + cx)
        ed.xScroll = pt.x - cx + 1 + cx / 4;
    if ((StyleOf(hwnd) & ES_AUTOHSCROLL) == 0 && ed.xScroll > 0 && pt.x < cx) ed.xScroll = 0;
    const int iLine = LineOf(ed, ed.iCaret);
    const int cRows = VisibleLines(hwnd, m);
    if (iLine < ed.iFirstLine) ed.iFirstLine = iLine;
    if (iLine >= ed.iFirstLine + cRows) ed.iFirstLine = iLine - cRows + 1;
    ed.iFirstLine =
        std::clamp(ed.iFirstLine, 0, std::max(0, static_cast<int>(ed.lines.size()) - 1));
}

void Relayout(HWND hwnd, Edit& ed) {
    Measure m(ed.font);
    ed.lines = BreakLines(hwnd, ed.text, Shown(hwnd, ed), m);
    ed.iAnchor = std::clamp(ed.iAnchor, 0, static_cast<int>(ed.text.size()));
    ed.iCaret = std::clamp(ed.iCaret, 0, static_cast<int>(ed.text.size()));
    ScrollToCaret(hwnd, ed);
    InvalidateRect(hwnd, nullptr, FALSE);
}

// Whether a text fits the field when the field does not scroll to follow it.
bool Fits(HWND hwnd, const Edit& ed, std::u16string_view text) {
    const DWORD style = StyleOf(hwnd);
    Measure m(ed.font);
    const std::u16string shown =
        (style & ES_PASSWORD) ? std::u16string(text.size(), u'*') : std::u16string(text);
    const RECT rc = FormatRect(hwnd);
    if (!IsMultiline(hwnd)) return (style & ES_AUTOHSCROLL) || m.Width(shown) <= rc.right - rc.left;
    if (style & ES_AUTOVSCROLL) return true;
    return static_cast<int>(BreakLines(hwnd, text, shown, m).size()) <= VisibleLines(hwnd, m);
}

int SelStart(const Edit& ed) {
    return std::min(ed.iAnchor, ed.iCaret);
}
int SelEnd(const Edit& ed) {
    return std::max(ed.iAnchor, ed.iCaret);
}

void SaveUndo(Edit& ed) {
    ed.undoText = ed.text;
    ed.iUndoAnchor = ed.iAnchor;
    ed.iUndoCaret = ed.iCaret;
    ed.fCanUndo = true;
}

void Changed(HWND hwnd, Edit& ed) {
    Relayout(hwnd, ed);
    NotifyParent(hwnd, EN_UPDATE);
    NotifyParent(hwnd, EN_CHANGE);
}

// Replaces the selection; the part beyond the limit is dropped with EN_MAXTEXT. False when
// nothing changed.
bool ReplaceSelection(HWND hwnd, Edit& ed, std::u16string insert, bool fTyping) {
    const int iStart = SelStart(ed);
    const int iEnd = SelEnd(ed);
    const long long cRoom = static_cast<long long>(ed.cLimit) -
                            (static_cast<long long>(ed.text.size()) - (iEnd - iStart));
    bool fMax = false;
    if (static_cast<long long>(insert.size()) > cRoom) {
        std::size_t cKeep = static_cast<std::size_t>(std::max(cRoom, 0LL));
        if (cKeep > 0 && insert[cKeep - 1] >= 0xD800 && insert[cKeep - 1] < 0xDC00) --cKeep;
        insert.resize(cKeep);
        fMax = true;
    }
    if (insert.empty() && iStart == iEnd) {
        if (fMax) NotifyParent(hwnd, EN_MAXTEXT);
        return false;
    }
    std::u16string text = ed.text;
    text.replace(static_cast<std::size_t>(iStart), static_cast<std::size_t>(iEnd - iStart), insert);
    if (!Fits(hwnd, ed, text)) {
        NotifyParent(hwnd, EN_MAXTEXT);
        return false;
    }
    const bool fExtend = fTyping && ed.fTyping && iStart == iEnd;
    if (!fExtend) SaveUndo(ed);
    ed.fTyping = fTyping;
    ed.text = std::move(text);
    ed.iAnchor = ed.iCaret = iStart + static_cast<int>(insert.size());
    ed.fModified = true;
    Changed(hwnd, ed);
    if (fMax) NotifyParent(hwnd, EN_MAXTEXT);
    return true;
}

bool IsHighSurrogate(char16_t c) {
    return c >= 0xD800 && c < 0xDC00;
}
bool IsLowSurrogate(char16_t c) {
    return c >= 0xDC00 && c < 0xE000;
}

// One character (a CR LF pair or a surrogate pair counting as one) before or after i.
int PrevIndex(const std::u16string& t, int i) {
    if (i <= 0) return 0;
    const auto k = static_cast<std::size_t>(i);
    if (i >= 2 && ((t[k - 1] == u'\n' && t[k - 2] == u'\r') ||
                   (IsLowSurrogate(t[k - 1]) && IsHighSurrogate(t[k - 2]))))
        return i - 2;
    return i - 1;
}

int NextIndex(const std::u16string& t, int i) {
    const int c = static_cast<int>(t.size());
    if (i >= c) return c;
    const auto k = static_cast<std::size_t>(i);
    if (i + 1 < c && ((t[k] == u'\r' && t[k + 1] == u'\n') ||
                      (IsHighSurrogate(t[k]) && IsLowSurrogate(t[k + 1]))))
        return i + 2;
    return i + 1;
}

// The text index nearest to a client point (points outside pick the nearest edge).
int IndexAt(HWND hwnd, const Edit& ed, POINT pt) {
    Measure m(ed.font);
    const std::u16string shown = Shown(hwnd, ed);
    const RECT rc = FormatRect(hwnd);
    int iLine = ed.iFirstLine + static_cast<int>((pt.y - rc.top) / m.LineHeight());
    if (pt.y < rc.top) iLine = ed.iFirstLine - 1;
    iLine = std::clamp(iLine, 0, static_cast<int>(ed.lines.size()) - 1);
    const Line& line = ed.lines[static_cast<std::size_t>(iLine)];
    const int x = pt.x - rc.left + ed.xScroll - LineIndent(hwnd, ed, shown, line, m);
    if (x <= 0 || line.cch == 0 || m.hdc() == nullptr) return line.iStart;
    std::vector<int> dx(static_cast<std::size_t>(line.cch));
    int cFit = 0;
    SIZE size;
    GetTextExtentExPoint(m.hdc(), shown.data() + line.iStart, line.cch, 0x7FFFFFFF, &cFit,
                         dx.data(), &size);
    int iPrevX = 0;
    for (int k = 0; k < line.cch; ++k) {
        const int xAfter = dx[static_cast<std::size_t>(k)];
        if (xAfter == iPrevX) continue; // the second unit of a pair
        if (x < (iPrevX + xAfter + 1) / 2) return line.iStart + k;
        iPrevX = xAfter;
    }
    // Past a soft line break the caret stays before the blanks that end the line.
    const bool fSoft =
        iLine + 1 < static_cast<int>(ed.lines.size()) &&
        ed.lines[static_cast<std::size_t>(iLine) + 1].iStart == line.iStart + line.cch;
    return line.iStart + line.cch - (fSoft && line.cch > 0 ? 1 : 0);
}

void SetSelection(HWND hwnd, Edit& ed, int iAnchor, int iCaret) {
    const int c = static_cast<int>(ed.text.size());
    ed.iAnchor = std::clamp(iAnchor, 0, c);
    ed.iCaret = std::clamp(iCaret, 0, c);
    ed.fTyping = false;
    ScrollToCaret(hwnd, ed);
    InvalidateRect(hwnd, nullptr, FALSE);
}

char16_t ToUpper(char16_t c) {
    if (c >= u'a' && c <= u'z') return static_cast<char16_t>(c - 32);
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<char16_t>(c - 32);
    if (c >= 0x101 && c <= 0x17F && (c & 1) == 1 && c != 0x131 && c != 0x149)
        return static_cast<char16_t>(c - 1);
    return c;
}

std::u16string ApplyCase(HWND hwnd, std::u16string s) {
    const DWORD style = StyleOf(hwnd);
    for (char16_t& c : s) {
        if (style & ES_UPPERCASE) c = ToUpper(c);
        if (style & ES_LOWERCASE) c = controls::FoldCase(c);
    }
    return s;
}

void Undo(HWND hwnd, Edit& ed) {
    if (!ed.fCanUndo) return;
    std::swap(ed.text, ed.undoText);
    std::swap(ed.iAnchor, ed.iUndoAnchor);
    std::swap(ed.iCaret, ed.iUndoCaret);
    ed.fTyping = false;
    ed.fModified = true;
    Changed(hwnd, ed);
}

void Char(HWND hwnd, Edit& ed, char16_t c) {
    if (GetKeyState(VK_CONTROL) < 0 || GetKeyState(VK_MENU) < 0) return; // shortcuts
    const DWORD style = StyleOf(hwnd);
    if (style & ES_READONLY) return;
    if (c == u'\b') {
        if (SelStart(ed) == SelEnd(ed)) {
            if (ed.iCaret == 0) return;
            ed.iAnchor = PrevIndex(ed.text, ed.iCaret);
        }
        ReplaceSelection(hwnd, ed, u"", false);
        return;
    }
    std::u16string insert;
    if (c == u'\r' || c == u'\n') {
        if (!IsMultiline(hwnd)) return;
        insert = u"\r\n";
    } else if (c < 0x20 || c == 0x7F) {
        return;
    } else if ((style & ES_NUMBER) && (c < u'0' || c > u'9')) {
        return;
    } else {
        insert = ApplyCase(hwnd, std::u16string(1, c));
    }
    ReplaceSelection(hwnd, ed, insert, true);
}

void KeyDown(HWND hwnd, Edit& ed, WPARAM vk) {
    const bool fShift = GetKeyState(VK_SHIFT) < 0;
    const bool fCtrl = GetKeyState(VK_CONTROL) < 0;
    const int cText = static_cast<int>(ed.text.size());
    int i = ed.iCaret;
    const bool fSel = ed.iAnchor != ed.iCaret;
    Measure m(ed.font);
    const int iLine = LineOf(ed, i);
    const Line& line = ed.lines[static_cast<std::size_t>(iLine)];
    auto lineMove = [&](int dLines) {
        const std::u16string shown = Shown(hwnd, ed);
        const POINT pt = CaretPoint(hwnd, ed, shown, m);
        const RECT rc = FormatRect(hwnd);
        const int iTarget = std::clamp(iLine + dLines, 0, static_cast<int>(ed.lines.size()) - 1);
        if (iTarget == iLine) return dLines < 0 ? line.iStart : line.iStart + line.cch;
        return IndexAt(
            hwnd, ed,
            POINT{static_cast<LONG>(rc.left + pt.x - ed.xScroll),
                  static_cast<LONG>(rc.top + (iTarget - ed.iFirstLine) * m.LineHeight())});
    };
    switch (vk) {
    case VK_LEFT:
        i = (fSel && !fShift) ? SelStart(ed) : PrevIndex(ed.text, i);
        break;
    case VK_RIGHT:
        i = (fSel && !fShift) ? SelEnd(ed) : NextIndex(ed.text, i);
        break;
    case VK_HOME:
        i = fCtrl ? 0 : line.iStart;
        break;
    case VK_END:
        i = fCtrl ? cText : line.iStart + line.cch;
        break;
    case VK_UP:
        if (!IsMultiline(hwnd)) return KeyDown(hwnd, ed, VK_LEFT);
        i = lineMove(-1);
        break;
    case VK_DOWN:
        if (!IsMultiline(hwnd)) return KeyDown(hwnd, ed, VK_RIGHT);
        i = lineMove(1);
        break;
    case VK_PRIOR:
    case VK_NEXT:
        if (!IsMultiline(hwnd)) return;
        i = lineMove(vk == VK_PRIOR ? -VisibleLines(hwnd, m) : VisibleLines(hwnd, m));
        break;
    case VK_DELETE:
        if (StyleOf(hwnd) & ES_READONLY) return;
        if (!fSel) {
            if (i >= cText) return;
            ed.iAnchor = NextIndex(ed.text, i);
        }
        ReplaceSelection(hwnd, ed, u"", false);
        return;
    case 'A':
        if (fCtrl) SetSelection(hwnd, ed, 0, cText);
        return;
    case 'Z':
        if (fCtrl && (StyleOf(hwnd) & ES_READONLY) == 0) Undo(hwnd, ed);
        return;
    default:
        return;
    }
    SetSelection(hwnd, ed, fShift ? ed.iAnchor : i, i);
}

void DrawRun(HDC hdc, const RECT& rcClip, int x, int y, std::u16string_view s, COLORREF colour,
             const Measure& m, bool fSelected, int cyLine) {
    if (s.empty()) return;
    if (fSelected) {
        RECT rc{x, y, x + m.Width(s), y + cyLine};
        IntersectRect(&rc, &rc, &rcClip);
        HBRUSH brush = CreateSolidBrush(look::SelectionBackground());
        FillRect(hdc, &rc, brush);
        DeleteObject(brush);
    }
    SetTextColor(hdc, colour);
    ExtTextOut(hdc, x, y, ETO_CLIPPED, &rcClip, s.data(), static_cast<UINT>(s.size()), nullptr);
}

void Paint(HWND hwnd, Edit& ed) {
    PAINTSTRUCT ps;
    HDC hdc = BeginPaint(hwnd, &ps);
    if (hdc == nullptr) {
        EndPaint(hwnd, &ps);
        return;
    }
    const DWORD style = StyleOf(hwnd);
    const bool fDisabled = !IsWindowEnabled(hwnd);
    const bool fReadOnly = (style & ES_READONLY) != 0;
    HBRUSH brush =
        AskParentBrush(hwnd, hdc, fReadOnly || fDisabled ? WM_CTLCOLORSTATIC : WM_CTLCOLOREDIT);
    if (brush == nullptr && fReadOnly) brush = GetSysColorBrush(COLOR_BTNFACE);
    RECT rcClient;
    GetClientRect(hwnd, &rcClient);
    look::DrawField(hdc, rcClient, fDisabled, brush);

    Measure m(ed.font);
    const int cyLine = m.LineHeight();
    const std::u16string shown = Shown(hwnd, ed);
    const RECT rc = FormatRect(hwnd);
    HGDIOBJ oldFont = SelectObject(hdc, static_cast<HGDIOBJ>(look::ControlFont(ed.font)));
    const int oldMode = SetBkMode(hdc, TRANSPARENT);
    const COLORREF oldColour = GetTextColor(hdc);
    const COLORREF text = GetSysColor(fDisabled ? COLOR_GRAYTEXT : COLOR_WINDOWTEXT);
    const bool fShowSel = !fDisabled && (ed.fFocus || (style & ES_NOHIDESEL));
    const int iSelStart = fShowSel ? SelStart(ed) : 0;
    const int iSelEnd = fShowSel ? SelEnd(ed) : 0;
    for (int k = ed.iFirstLine; k < static_cast<int>(ed.lines.size()); ++k) {
        const int y = rc.top + (k - ed.iFirstLine) * cyLine;
        if (y >= rc.bottom) break;
        const Line& line = ed.lines[static_cast<std::size_t>(k)];
        int x = rc.left - ed.xScroll + LineIndent(hwnd, ed, shown, line, m);
        // Before, inside and after the selection.
        const int bounds[4] = {
            line.iStart, std::clamp(iSelStart, line.iStart, line.iStart + line.cch),
            std::clamp(iSelEnd, line.iStart, line.iStart + line.cch), line.iStart + line.cch};
        for (int part = 0; part < 3; ++part) {
            std::u16string_view run = std::u16string_view(shown).substr(
                static_cast<std::size_t>(bounds[part]),
                static_cast<std::size_t>(bounds[part + 1] - bounds[part]));
            DrawRun(hdc, rc, x, y, run, part == 1 ? look::SelectionText() : text, m, part == 1,
                    cyLine);
            x += m.Width(run);
        }
    }
    if (ed.fFocus && !fDisabled) {
        const POINT pt = CaretPoint(hwnd, ed, shown, m);
        RECT rcCaret{rc.left + pt.x - ed.xScroll, rc.top + pt.y - ed.iFirstLine * cyLine, 0, 0};
        rcCaret.right = rcCaret.left + 1;
        rcCaret.bottom = rcCaret.top + cyLine;
        IntersectRect(&rcCaret, &rcCaret, &rc);
        FillRect(hdc, &rcCaret, GetSysColorBrush(COLOR_WINDOWTEXT));
    }
    SetTextColor(hdc, oldColour);
    SetBkMode(hdc, oldMode);
    SelectObject(hdc, oldFont);
    EndPaint(hwnd, &ps);
}

LRESULT DialogCode(HWND hwnd, LPARAM lParam) {
    LRESULT code = DLGC_WANTCHARS | DLGC_HASSETSEL | DLGC_WANTARROWS;
    if (!IsMultiline(hwnd)) return code;
    // A multiline edit takes every key but Tab, Escape, and Enter without ES_WANTRETURN,
    // which stay the dialog's.
    const auto* pMsg = reinterpret_cast<const MSG*>(lParam);
    if (pMsg != nullptr && pMsg->message == WM_KEYDOWN &&
        (pMsg->wParam == VK_TAB || pMsg->wParam == VK_ESCAPE ||
         (pMsg->wParam == VK_RETURN && (StyleOf(hwnd) & ES_WANTRETURN) == 0)))
        return code;
    return code | DLGC_WANTALLKEYS;
}

LRESULT Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Edit* ed = Get(hwnd);
    if (ed == nullptr) {
        if (msg == WM_NCCREATE) {
            ed = new Edit;
            if (!SetProp(hwnd, kProp, ed)) {
                delete ed;
                return FALSE;
            }
        }
        return DefWindowProc(hwnd, msg, wParam, lParam);
    }
    switch (msg) {
    case WM_CREATE: {
        const auto* cs = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        if (cs->lpszName != nullptr) ed->text = cs->lpszName;
        Relayout(hwnd, *ed);
        return 0;
    }
    case WM_NCDESTROY:
        RemoveProp(hwnd, kProp);
        delete ed;
        return DefWindowProc(hwnd, msg, wParam, lParam);
    case WM_PAINT:
        Paint(hwnd, *ed);
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_SIZE:
    case WM_STYLECHANGED:
        Relayout(hwnd, *ed);
        return 0;
    case WM_ENABLE:
        InvalidateRect(hwnd, nullptr, FALSE);
        return 0;
    case WM_SETFONT:
        ed->font = reinterpret_cast<HFONT>(wParam);
        Relayout(hwnd, *ed);
        return 0;
    case WM_GETFONT:
        return reinterpret_cast<LRESULT>(ed->font);
    case WM_GETDLGCODE:
        return DialogCode(hwnd, lParam);
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        ed->fFocus = msg == WM_SETFOCUS;
        ed->fTyping = false;
        InvalidateRect(hwnd, nullptr, FALSE);
        NotifyParent(hwnd, ed->fFocus ? EN_SETFOCUS : EN_KILLFOCUS);
        return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
        if (GetFocus() != hwnd) SetFocus(hwnd);
        const int i = IndexAt(hwnd, *ed, POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
        SetSelection(hwnd, *ed, (wParam & MK_SHIFT) ? ed->iAnchor : i, i);
        ed->fTracking = true;
        SetCapture(hwnd);
        return 0;
    }
    case WM_MOUSEMOVE:
        if (ed->fTracking)
            SetSelection(hwnd, *ed, ed->iAnchor,
                         IndexAt(hwnd, *ed, POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}));
        return 0;
    case WM_LBUTTONUP:
        if (ed->fTracking) {
            ed->fTracking = false;
            ReleaseCapture();
        }
        return 0;
    case WM_CAPTURECHANGED:
        ed->fTracking = false;
        return 0;
    case WM_KEYDOWN:
        KeyDown(hwnd, *ed, wParam);
        return 0;
    case WM_CHAR:
        Char(hwnd, *ed, static_cast<char16_t>(wParam));
        return 0;
    case WM_SETTEXT: {
        ed->text = std::u16string(controls::TextParam(lParam));
        ed->iAnchor = ed->iCaret = 0;
        ed->xScroll = 0;
        ed->iFirstLine = 0;
        ed->fModified = false;
        ed->fCanUndo = false;
        ed->fTyping = false;
        DefWindowProc(hwnd, msg, wParam, lParam);
        Changed(hwnd, *ed);
        return TRUE;
    }
    case WM_GETTEXT: {
        auto* buffer = reinterpret_cast<char16_t*>(lParam);
        if (buffer == nullptr || wParam == 0) return 0;
        std::size_t c = std::min(ed->text.size(), static_cast<std::size_t>(wParam - 1));
        if (c > 0 && c < ed->text.size() && IsHighSurrogate(ed->text[c - 1])) --c;
        std::copy_n(ed->text.begin(), c, buffer);
        buffer[c] = 0;
        return static_cast<LRESULT>(c);
    }
    case WM_GETTEXTLENGTH:
        return static_cast<LRESULT>(ed->text.size());
    case EM_GETSEL: {
        const auto iStart = static_cast<DWORD>(SelStart(*ed));
        const auto iEnd = static_cast<DWORD>(SelEnd(*ed));
        if (auto* p = reinterpret_cast<DWORD*>(wParam)) *p = iStart;
        if (auto* p = reinterpret_cast<DWORD*>(lParam)) *p = iEnd;
        return MAKELRESULT(static_cast<WORD>(std::min<DWORD>(iStart, 0xFFFF)),
                           static_cast<WORD>(std::min<DWORD>(iEnd, 0xFFFF)));
    }
    case EM_SETSEL: {
        const int cText = static_cast<int>(ed->text.size());
        const int iStart = static_cast<int>(static_cast<LPARAM>(wParam));
        const int iEnd = static_cast<int>(lParam);
        if (iStart == -1)
            SetSelection(hwnd, *ed, ed->iCaret, ed->iCaret);
        else
            SetSelection(hwnd, *ed, iStart < 0 ? cText : iStart, iEnd < 0 ? cText : iEnd);
        return TRUE;
    }
    case EM_GETRECT:
        if (auto* prc = reinterpret_cast<RECT*>(lParam)) *prc = FormatRect(hwnd);
        return 0;
    case EM_REPLACESEL:
        ReplaceSelection(hwnd, *ed, ApplyCase(hwnd, std::u16string(controls::TextParam(lParam))),
                         false);
        if (wParam == 0) ed->fCanUndo = false;
        return 0;
    case EM_LIMITTEXT: {
        const auto c = static_cast<long long>(static_cast<LPARAM>(wParam));
        ed->cLimit = c <= 0 || c > kMaxLimit ? kMaxLimit : static_cast<int>(c);
        return 0;
    }
    case EM_GETLIMITTEXT:
        return ed->cLimit;
    case EM_GETLINECOUNT:
        return static_cast<LRESULT>(ed->lines.size());
    case EM_SETREADONLY: {
        const DWORD style = StyleOf(hwnd);
        SetWindowLongPtr(
            hwnd, GWL_STYLE,
            static_cast<LONG_PTR>(wParam ? style | ES_READONLY : style & ~ES_READONLY));
        InvalidateRect(hwnd, nullptr, FALSE);
        return TRUE;
    }
    case EM_GETMODIFY:
        return ed->fModified ? TRUE : FALSE;
    case EM_SETMODIFY:
        ed->fModified = wParam != 0;
        return 0;
    case EM_CANUNDO:
        return ed->fCanUndo ? TRUE : FALSE;
    case EM_UNDO:
        if (!ed->fCanUndo) return FALSE;
        Undo(hwnd, *ed);
        return TRUE;
    default:
        return DefWindowProc(hwnd, msg, wParam, lParam);
    }
}

} // namespace

namespace controls {

bool RegisterEditClass() {
    WNDCLASSW wc{};
    wc.lpfnWndProc = Proc;
    wc.hCursor = LoadCursor(nullptr, IDC_IBEAM);
    wc.lpszClassName = WC_EDIT;
    return RegisterClass(&wc) != 0;
}

} // namespace controls
} // namespace host
