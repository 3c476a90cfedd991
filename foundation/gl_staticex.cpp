// StaticEx: markup parsing, layout in runs, painting and the window procedure.
#include "foundation/gl_staticex.h"

#include "foundation/memmgr.h"
#include "foundation/tl_font.h"
#include "foundation/tl_string.h"
#include "host/controls.h"
#include "host/gdi.h"
#include "host/window.h"

#include <algorithm>
#include <mutex>
#include <string_view>

namespace cetl {
namespace {

using host::COLORREF;
using host::DWORD;
using host::FALSE;
using host::HDC;
using host::HFONT;
using host::HWND;
using host::LPARAM;
using host::LRESULT;
using host::POINT;
using host::RECT;
using host::SIZE;
using host::TRUE;
using host::WPARAM;

constexpr DWORD kSignature = 0x53744578; // "StEx"
constexpr DWORD kStyleNoBackground = 0x0001;
constexpr DWORD kStyleCentre = 0x0002;
constexpr COLORREF kLinkColour = 0x800000;
constexpr COLORREF kPaletteRelative = 0x02000000;

// Vouches for the record in the first window word: a word that some other code wrote there
// is never followed.
constexpr std::string_view kRecordProp = "cetl.StaticEx";

constexpr DWORD kRunLink = 0x0001;
constexpr DWORD kRunFormat = 0x0002;

struct RUN {
    DWORD fFlags = 0;
    RECT rc{};
    string strText;
    string strTag;
    COLORREF crText = 0;
    HFONT hFont = nullptr; // what the run draws with (format runs: what they select)
};

struct TAGFONT {
    string strDesc;
    HFONT hFont = nullptr;
};

struct STATICEXINFO {
    DWORD dwSignature = kSignature;
    string strText;
    HFONT hFontBase = nullptr;
    mem::vector<RUN> runs{MEM_TAG("RUN")};
    mem::vector<TAGFONT> fonts{MEM_TAG("TAGFONT")}; // one per distinct description
};

using CLASSINFO = host::WNDCLASST<TCHAR>;
using CREATEINFO = host::CREATESTRUCTT<TCHAR>;

bool IsBlank(TCHAR ch) {
    return ch == TEXT(' ') || ch == TEXT('\t');
}

bool IsLineBreak(TCHAR ch) {
    return ch == TEXT('\r') || ch == TEXT('\n');
}

// A unit that continues a character (UTF-8 trail byte, low surrogate): never a place to cut.
bool IsTrailUnit(TCHAR ch) {
#if KELVANO_WIDE
    return ch >= 0xDC00 && ch <= 0xDFFF;
#else
    return (static_cast<unsigned char>(ch) & 0xC0) == 0x80;
#endif
}

HFONT SystemFont() {
    return static_cast<HFONT>(host::GetStockObject(host::SYSTEM_FONT));
}

// One underlined copy of the first base font a link is laid out with, for the whole process.
HFONT LinkFont(HFONT hFontBase) {
    static std::once_flag once;
    static HFONT hLink = nullptr;
    std::call_once(once, [hFontBase] {
        host::LOGFONTW lf{};
        if (host::GetObject(hFontBase, sizeof(lf), &lf) == 0)
            host::GetObject(SystemFont(), sizeof(lf), &lf);
        lf.lfUnderline = 1;
        hLink = host::CreateFontIndirect(&lf);
    });
    return hLink != nullptr ? hLink : hFontBase;
}

STATICEXINFO* RecordOf(HWND hwnd) {
    auto* p = reinterpret_cast<STATICEXINFO*>(host::GetWindowLongPtr(hwnd, 0));
    if (p == nullptr || host::GetProp(hwnd, kRecordProp) != p) return nullptr;
    return p->dwSignature == kSignature ? p : nullptr;
}

int HexDigit(TCHAR ch) {
    if (ch >= TEXT('0') && ch <= TEXT('9')) return ch - TEXT('0');
    if (ch >= TEXT('a') && ch <= TEXT('f')) return ch - TEXT('a') + 10;
    if (ch >= TEXT('A') && ch <= TEXT('F')) return ch - TEXT('A') + 10;
    return -1;
}

// RRGGBB as a palette-relative colour; anything else is the window-text colour.
COLORREF ParseColour(const string& str) {
    if (str.Length() < 6) return host::GetSysColor(host::COLOR_WINDOWTEXT);
    int rgb[3];
    for (int i = 0; i < 3; ++i) {
        const int hi = HexDigit(str[2 * i]);
        const int lo = HexDigit(str[2 * i + 1]);
        if (hi < 0 || lo < 0) return host::GetSysColor(host::COLOR_WINDOWTEXT);
        rgb[i] = hi * 16 + lo;
    }
    return kPaletteRelative | static_cast<COLORREF>(rgb[0] | (rgb[1] << 8) | (rgb[2] << 16));
}

HFONT FontFor(STATICEXINFO* pInfo, const string& strDesc) {
    for (const TAGFONT& tf : pInfo->fonts)
        if (tf.strDesc == strDesc) return tf.hFont;
    HFONT hFont = CreateFontFromDescription(strDesc);
    if (hFont == nullptr) return pInfo->hFontBase;
    pInfo->fonts.push_back(TAGFONT{strDesc, hFont});
    return hFont;
}

// Lays the text out in runs for the client width.
class Layout {
public:
    Layout(HWND hwnd, STATICEXINFO* pInfo)
        : m_pInfo(pInfo), m_hdc(host::CreateCompatibleDC(nullptr)),
          m_fCentre((host::GetWindowLongPtr(hwnd, host::GWL_STYLE) & kStyleCentre) != 0),
          m_hFont(pInfo->hFontBase), m_crText(host::GetSysColor(host::COLOR_BTNTEXT)) {
        RECT rc{};
        host::GetClientRect(hwnd, &rc);
        m_cxWidth = rc.right - rc.left;
        m_hFontOld = static_cast<HFONT>(host::SelectObject(m_hdc, m_hFont));
    }
    ~Layout() {
        if (m_hFontOld != nullptr) host::SelectObject(m_hdc, m_hFontOld);
        host::DeleteDC(m_hdc);
    }
    Layout(const Layout&) = delete;
    Layout& operator=(const Layout&) = delete;

    void Run();

private:
    void Format(const string& strTag);
    void Text(const TCHAR* pch, int cch, bool fLink);
    void AddRun(const TCHAR* pch, int cch, bool fLink, HFONT hFont);
    void EndLine(bool fBreak);
    SIZE Measure(const TCHAR* pch, int cch);
    int FitCount(const TCHAR* pch, int cch, int cxAvail);

    STATICEXINFO* m_pInfo;
    HDC m_hdc;
    HFONT m_hFontOld = nullptr;
    bool m_fCentre;
    int m_cxWidth = 0;
    int m_x = 0;
    int m_y = 0;
    int m_cyLine = 0;
    std::size_t m_iLineFirst = 0;
    bool m_fLineHasText = false;
    bool m_fJustWrapped = false; // the last text wrapped with nothing left over
    HFONT m_hFont;
    COLORREF m_crText;
};

void Layout::Run() {
    m_pInfo->runs.clear();
    const string& str = m_pInfo->strText;
    const TCHAR* p = str.Text();
    const int n = str.Length();
    auto stopsText = [](TCHAR ch) { return ch == TEXT('[') || ch == TEXT('<') || IsLineBreak(ch); };
    int i = 0;
    while (i < n) {
        const TCHAR ch = p[i];
        if (ch == TEXT('[')) {
            // A tag without its "]" takes the rest of the text.
            int iEnd = str.Find(TEXT(']'), i + 1);
            if (iEnd < 0) iEnd = n;
            Format(str.Substring(i + 1, iEnd - i - 1));
            i = iEnd + 1;
        } else if (IsLineBreak(ch)) {
            EndLine(true);
            i += (ch == TEXT('\r') && i + 1 < n && p[i + 1] == TEXT('\n')) ? 2 : 1;
        } else if (ch == TEXT('<')) {
            // The text before ">" and what follows it up to the next run form the link.
            int k = i + 1;
            while (k < n && p[k] != TEXT('>') && !stopsText(p[k]))
                ++k;
            string strLink(str, i + 1, k - i - 1);
            if (k < n && p[k] == TEXT('>')) {
                const int iAfter = ++k;
                while (k < n && !stopsText(p[k]))
                    ++k;
                strLink.Append(p + iAfter, k - iAfter);
            }
            if (k + 1 < n && p[k] == TEXT('<') && p[k + 1] == TEXT('>')) k += 2;
            Text(strLink.Text(), strLink.Length(), true);
            i = k;
        } else {
            int k = i;
            while (k < n && !stopsText(p[k]))
                ++k;
            Text(p + i, k - i, false);
            i = k;
        }
    }
    if (m_fLineHasText) EndLine(false);
}

void Layout::Format(const string& strTag) {
    const int iHash = strTag.Find(TEXT('#'));
    const string strDesc = iHash < 0 ? strTag : strTag.Substring(0, iHash);
    m_crText = iHash < 0 ? host::GetSysColor(host::COLOR_BTNTEXT)
                         : ParseColour(strTag.Substring(iHash + 1));
    m_hFont = strDesc.IsEmpty() ? m_pInfo->hFontBase : FontFor(m_pInfo, strDesc);
    RUN run;
    run.fFlags = kRunFormat;
    host::SetRect(&run.rc, m_x, m_y, m_x, m_y);
    run.strTag = strTag;
    run.crText = m_crText;
    run.hFont = m_hFont;
    m_pInfo->runs.push_back(run);
}

SIZE Layout::Measure(const TCHAR* pch, int cch) {
    RECT rc{0, 0, 0, 0};
    host::DrawText(m_hdc, pch, cch, &rc,
                   host::DT_CALCRECT | host::DT_SINGLELINE | host::DT_NOPREFIX);
    return SIZE{rc.right - rc.left, rc.bottom - rc.top};
}

// The most characters of a run too wide for cxAvail that still fit, by bisection.
int Layout::FitCount(const TCHAR* pch, int cch, int cxAvail) {
    int lo = 0;
    int hi = cch;
    while (hi - lo > 1) {
        const int mid = lo + (hi - lo) / 2;
        if (Measure(pch, mid).cx <= cxAvail)
            lo = mid;
        else
            hi = mid;
    }
    while (lo > 0 && IsTrailUnit(pch[lo]))
        --lo;
    return lo;
}

void Layout::Text(const TCHAR* pch, int cch, bool fLink) {
    const HFONT hFont = fLink ? LinkFont(m_pInfo->hFontBase) : m_hFont;
    host::SelectObject(m_hdc, hFont);
    while (cch > 0) {
        const int cxAvail = m_cxWidth - m_x;
        if (Measure(pch, cch).cx <= cxAvail) {
            AddRun(pch, cch, fLink, hFont);
            m_fJustWrapped = false;
            return;
        }
        const int cFit = FitCount(pch, cch, cxAvail);
        // Break after the last blank that fits (or the blank just past them).
        int cTake = -1;
        for (int b = std::min(cFit, cch - 1); b >= 0; --b) {
            if (IsBlank(pch[b])) {
                cTake = b + 1;
                break;
            }
        }
        if (cTake < 0) {
            if (m_fLineHasText) {
                cTake = 0; // the word starts on the next line rather than being cut
            } else if (cFit > 0) {
                cTake = cFit; // a word wider than the line is cut where it stops fitting
            } else {
                // Not even one character fits: take one anyway, or the layout never ends.
                cTake = 1;
                while (cTake < cch && IsTrailUnit(pch[cTake]))
                    ++cTake;
            }
        }
        int cDraw = cTake;
        while (cDraw > 0 && IsBlank(pch[cDraw - 1]))
            --cDraw;
        if (cDraw > 0) AddRun(pch, cDraw, fLink, hFont);
        EndLine(false);
        pch += cTake;
        cch -= cTake;
        m_fJustWrapped = cch == 0;
    }
}

void Layout::AddRun(const TCHAR* pch, int cch, bool fLink, HFONT hFont) {
    const SIZE size = Measure(pch, cch);
    RUN run;
    run.fFlags = fLink ? kRunLink : 0;
    host::SetRect(&run.rc, m_x, m_y, m_x + size.cx, m_y + size.cy);
    run.strText.Assign(pch, cch);
    run.crText = fLink ? kLinkColour : m_crText;
    run.hFont = hFont;
    m_pInfo->runs.push_back(run);
    m_x += size.cx;
    m_cyLine = std::max(m_cyLine, size.cy < 9 ? 8 : size.cy);
    m_fLineHasText = true;
}

void Layout::EndLine(bool fBreak) {
    if (fBreak && m_fJustWrapped && !m_fLineHasText) {
        // The wrap already ended the line this break was to end.
        m_fJustWrapped = false;
        return;
    }
    if (fBreak && !m_fLineHasText) {
        // An empty line keeps the height of the font in force.
        host::SelectObject(m_hdc, m_hFont);
        host::TEXTMETRIC tm{};
        if (host::GetTextMetrics(m_hdc, &tm)) m_cyLine = tm.tmHeight;
    }
    if (m_fCentre && m_fLineHasText) {
        const int dx = std::max(0, (m_cxWidth - m_x) / 2);
        for (std::size_t i = m_iLineFirst; i < m_pInfo->runs.size(); ++i)
            host::OffsetRect(&m_pInfo->runs[i].rc, dx, 0);
    }
    m_y += m_cyLine;
    m_x = 0;
    m_cyLine = 0;
    m_iLineFirst = m_pInfo->runs.size();
    m_fLineHasText = false;
    m_fJustWrapped = false;
}

void LayOut(HWND hwnd, STATICEXINFO* pInfo) {
    if (pInfo != nullptr) Layout(hwnd, pInfo).Run();
}

const RUN* LinkAt(const STATICEXINFO* pInfo, POINT pt) {
    if (pInfo == nullptr) return nullptr;
    for (const RUN& run : pInfo->runs)
        if ((run.fFlags & kRunLink) && host::PtInRect(&run.rc, pt)) return &run;
    return nullptr;
}

void Paint(HWND hwnd, const STATICEXINFO* pInfo, HDC hdc) {
    if (!(host::GetWindowLongPtr(hwnd, host::GWL_STYLE) & kStyleNoBackground)) {
        RECT rc{};
        host::GetClientRect(hwnd, &rc);
        host::FillRect(hdc, &rc, host::GetSysColorBrush(host::COLOR_STATIC));
    }
    if (pInfo == nullptr) return;
    host::SetBkMode(hdc, host::TRANSPARENT);
    const HFONT hFontOld = static_cast<HFONT>(host::SelectObject(hdc, pInfo->hFontBase));
    for (const RUN& run : pInfo->runs) {
        // Each run carries its font, so that text after a link is no longer underlined.
        host::SelectObject(hdc, run.hFont);
        host::SetTextColor(hdc, run.crText);
        if (run.fFlags & kRunFormat) continue;
        RECT rc = run.rc;
        host::DrawText(hdc, run.strText.Text(), run.strText.Length(), &rc,
                       host::DT_SINGLELINE | host::DT_VCENTER | host::DT_NOPREFIX |
                           host::DT_NOCLIP);
    }
    if (hFontOld != nullptr) host::SelectObject(hdc, hFontOld);
}

void FreeRecord(HWND hwnd, STATICEXINFO* pInfo) {
    host::SetWindowLongPtr(hwnd, 0, 0);
    host::RemoveProp(hwnd, kRecordProp);
    for (const TAGFONT& tf : pInfo->fonts)
        host::DeleteObject(tf.hFont);
    pInfo->dwSignature = 0;
    MemDelete(pInfo);
}

LRESULT StaticExProc(HWND hwnd, host::UINT uMsg, WPARAM wParam, LPARAM lParam) {
    STATICEXINFO* pInfo = uMsg == host::WM_CREATE ? nullptr : RecordOf(hwnd);
    switch (uMsg) {
    case host::WM_CREATE: {
        pInfo = MemNew(STATICEXINFO);
        if (pInfo == nullptr) return -1;
        pInfo->hFontBase = SystemFont();
        // Unlike its model the control shows the text it was created with.
        const auto* pcs = reinterpret_cast<const CREATEINFO*>(lParam);
        if (pcs != nullptr && pcs->lpszName != nullptr) pInfo->strText = pcs->lpszName;
        host::SetWindowLongPtr(hwnd, 0, reinterpret_cast<host::LONG_PTR>(pInfo));
        host::SetProp(hwnd, kRecordProp, pInfo);
        LayOut(hwnd, pInfo);
        return 0;
    }
    case host::WM_DESTROY:
        if (pInfo != nullptr) FreeRecord(hwnd, pInfo);
        return 0;
    case host::WM_SIZE:
        LayOut(hwnd, pInfo);
        return 0;
    case host::WM_STYLECHANGED:
        LayOut(hwnd, pInfo);
        host::InvalidateRect(hwnd, nullptr, FALSE);
        return 0;
    case host::WM_SETTEXT:
        if (pInfo == nullptr) return FALSE;
        if (lParam != 0)
            pInfo->strText = reinterpret_cast<const TCHAR*>(lParam);
        else
            pInfo->strText.Empty();
        LayOut(hwnd, pInfo);
        host::InvalidateRect(hwnd, nullptr, FALSE);
        return TRUE;
    case host::WM_GETTEXT: {
        auto* pBuffer = reinterpret_cast<TCHAR*>(lParam);
        const int cchMax = static_cast<int>(std::min<WPARAM>(wParam, 0x7FFFFFFF));
        if (pBuffer == nullptr || cchMax <= 0) return 0;
        int cch = 0;
        if (pInfo != nullptr) {
            cch = std::min(pInfo->strText.Length(), cchMax - 1);
            // Never half a character.
            while (cch > 0 && cch < pInfo->strText.Length() && IsTrailUnit(pInfo->strText[cch]))
                --cch;
            std::copy_n(pInfo->strText.Text(), cch, pBuffer);
        }
        pBuffer[cch] = 0;
        return cch;
    }
    case host::WM_GETTEXTLENGTH:
        return pInfo != nullptr ? pInfo->strText.Length() : 0;
    case host::WM_SETFONT:
        if (pInfo == nullptr) return 0;
        pInfo->hFontBase = wParam != 0 ? reinterpret_cast<HFONT>(wParam) : SystemFont();
        LayOut(hwnd, pInfo);
        if (lParam != 0) host::InvalidateRect(hwnd, nullptr, FALSE);
        return 0;
    case host::WM_GETFONT:
        return pInfo != nullptr ? reinterpret_cast<LRESULT>(pInfo->hFontBase) : 0;
    case host::WM_PAINT: {
        host::PAINTSTRUCT ps;
        HDC hdc = host::BeginPaint(hwnd, &ps);
        if (hdc != nullptr) Paint(hwnd, pInfo, hdc);
        host::EndPaint(hwnd, &ps);
        return 0;
    }
    case host::WM_SETCURSOR: {
        if (host::LOWORD(static_cast<std::uintptr_t>(lParam)) != host::HTCLIENT) break;
        POINT pt{};
        host::GetCursorPos(&pt);
        host::ScreenToClient(hwnd, &pt);
        const bool fLink = LinkAt(pInfo, pt) != nullptr;
        host::SetCursor(host::LoadCursor(nullptr, fLink ? host::IDC_HAND : host::IDC_ARROW));
        return TRUE;
    }
    case host::WM_LBUTTONUP: {
        // The link under the pointer is found, and deliberately nothing more happens: no
        // text of the programs has a link that leads anywhere yet.
        const POINT pt{host::GET_X_LPARAM(lParam), host::GET_Y_LPARAM(lParam)};
        (void)LinkAt(pInfo, pt);
        return 0;
    }
    default:
        break;
    }
    return host::DefWindowProc(hwnd, uMsg, wParam, lParam);
}

} // namespace

bool RegisterStaticEx(host::HINSTANCE hInstance) {
    host::RegisterStandardControls();
    CLASSINFO wc{};
    if (!host::GetClassInfo(nullptr, TEXT("Static"), &wc)) return false;
    wc.lpfnWndProc = StaticExProc;
    wc.cbWndExtra = 8;
    wc.hInstance = hInstance;
    wc.lpszClassName = kStaticExClassName;
    if (host::RegisterClass(&wc) != 0) return true;
    // Registered before: fine when it is this class.
    CLASSINFO existing{};
    return host::GetClassInfo(nullptr, kStaticExClassName, &existing) &&
           existing.lpfnWndProc == StaticExProc;
}

} // namespace cetl
