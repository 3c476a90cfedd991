#include "foundation/tl_font.h"

#include "foundation/tl_language.h"

#include <cstdint>
#include <cstring>
#include <type_traits>

namespace cetl {
namespace {

using host::LF_FACESIZE;
using host::LOGFONTA;
using host::LOGFONTW;
using host::LONG;

constexpr int kDefaultDpi = 96;
// Sizes beyond this are taken as this; no real font comes near it.
constexpr std::int64_t kMaxSize = 100000;

bool IsBlank(TCHAR ch) {
    return ch == ' ' || ch == '\t';
}

string Trimmed(const string& str) {
    int iStart = 0;
    int iEnd = str.Length();
    while (iStart < iEnd && IsBlank(str[iStart]))
        ++iStart;
    while (iEnd > iStart && IsBlank(str[iEnd - 1]))
        --iEnd;
    return str.Substring(iStart, iEnd - iStart);
}

// An optional sign and digits.
bool ParseNumber(const string& strItem, std::int64_t* pn) {
    int i = 0;
    bool fNegative = false;
    if (strItem[0] == '-' || strItem[0] == '+') {
        fNegative = strItem[0] == '-';
        ++i;
    }
    if (i >= strItem.Length()) return false;
    std::int64_t n = 0;
    for (; i < strItem.Length(); ++i) {
        const TCHAR ch = strItem[i];
        if (ch < '0' || ch > '9') return false;
        n = n * 10 + (ch - '0');
        if (n > kMaxSize) n = kMaxSize;
    }
    *pn = fNegative ? -n : n;
    return true;
}

bool IsStyleRun(const string& strItem) {
    for (int i = 0; i < strItem.Length(); ++i) {
        switch (strItem[i]) {
        case 'B':
        case 'b':
        case 'I':
        case 'i':
        case 'U':
        case 'u':
            break;
        default:
            return false;
        }
    }
    return true;
}

// Units of one character's encoding that may not start a cut.
bool IsContinuation(char ch) {
    return (static_cast<unsigned char>(ch) & 0xC0) == 0x80;
}
bool IsContinuation(WCHAR ch) {
    return ch >= 0xDC00 && ch <= 0xDFFF;
}

const CHAR* TextOf(const string& str, CHAR*) {
    return str.Text8();
}
const WCHAR* TextOf(const string& str, WCHAR*) {
    return str.Text16();
}

// Sets the record's face, keeping room for the suffix and never cutting a character apart.
template <class C> void SetFace(C (&rgchFace)[LF_FACESIZE], const C* pszFace, bool fEsperanto) {
    static const C kszSuffix[] = {' ', 'E', 'o', 0};
    constexpr int kcchSuffix = 3;
    int cchFace = static_cast<int>(std::char_traits<C>::length(pszFace));
    const bool fSuffixed =
        cchFace >= kcchSuffix &&
        std::char_traits<C>::compare(pszFace + cchFace - kcchSuffix, kszSuffix, kcchSuffix) == 0;
    const bool fAddSuffix = fEsperanto && !fSuffixed;
    const int cchRoom = LF_FACESIZE - 1 - (fAddSuffix ? kcchSuffix : 0);
    if (cchFace > cchRoom) {
        cchFace = cchRoom;
        while (cchFace > 0 && IsContinuation(pszFace[cchFace]))
            --cchFace;
    }
    C rgchNew[LF_FACESIZE];
    std::char_traits<C>::copy(rgchNew, pszFace, cchFace);
    if (fAddSuffix) {
        std::char_traits<C>::copy(rgchNew + cchFace, kszSuffix, kcchSuffix);
        cchFace += kcchSuffix;
    }
    rgchNew[cchFace] = 0;
    std::char_traits<C>::copy(rgchFace, rgchNew, cchFace + 1);
}

template <class LOGFONTT>
void Describe(const string& strDesc, LOGFONTT* plf, int nDpiY, UINT nLanguageId) {
    using C = std::remove_extent_t<decltype(plf->lfFaceName)>;
    LOGFONTT& lf = *plf;
    std::memset(&lf, 0, sizeof(lf));
    if (host::GetObject(host::GetStockObject(host::DEFAULT_GUI_FONT), sizeof(lf), &lf) !=
        static_cast<int>(sizeof(lf))) {
        std::memset(&lf, 0, sizeof(lf));
        lf.lfWeight = host::FW_NORMAL;
    }
    lf.lfCharSet = host::DEFAULT_CHARSET;
    lf.lfQuality = host::ANTIALIASED_QUALITY;
    if (nDpiY <= 0) nDpiY = kDefaultDpi;

    // The face chosen by the description; empty for the default one.
    string strFace;
    const int cchDesc = strDesc.Length();
    int iStart = 0;
    while (iStart <= cchDesc) {
        int iEnd = strDesc.Find(TCHAR(','), iStart);
        if (iEnd < 0) iEnd = cchDesc;
        const string strItem = Trimmed(strDesc.Substring(iStart, iEnd - iStart));
        iStart = iEnd + 1;
        if (strItem.IsEmpty()) continue;

        std::int64_t nSize = 0;
        if (ParseNumber(strItem, &nSize)) {
            if (nSize > 0)
                lf.lfHeight = static_cast<LONG>(-(nDpiY * nSize / 72));
            else if (nSize < 0)
                lf.lfHeight = static_cast<LONG>(nSize);
        } else if (IsStyleRun(strItem)) {
            for (int i = 0; i < strItem.Length(); ++i) {
                switch (strItem[i]) {
                case 'B':
                case 'b':
                    lf.lfWeight = host::FW_BOLD;
                    break;
                case 'I':
                case 'i':
                    lf.lfItalic = 1;
                    break;
                default:
                    lf.lfUnderline = 1;
                    break;
                }
            }
        } else if (istring(strItem) == TEXT("default")) {
            strFace.Empty();
        } else {
            strFace = strItem;
        }
    }

    C rgchDefault[LF_FACESIZE];
    std::memcpy(rgchDefault, lf.lfFaceName, sizeof(rgchDefault));
    rgchDefault[LF_FACESIZE - 1] = 0;
    const C* pszFace = strFace.IsEmpty() ? rgchDefault : TextOf(strFace, static_cast<C*>(nullptr));
    SetFace(lf.lfFaceName, pszFace, nLanguageId == kLanguageEsperanto);
}

} // namespace

int GetScreenDpiY() {
    host::HDC hdc = host::CreateCompatibleDC(nullptr);
    if (hdc == nullptr) return kDefaultDpi;
    const int nDpi = host::GetDeviceCaps(hdc, host::LOGPIXELSY);
    host::DeleteDC(hdc);
    return nDpi > 0 ? nDpi : kDefaultDpi;
}

void FontFromDescription(const string& strDesc, LOGFONTA* plf, int nDpiY, UINT nLanguageId) {
    if (plf != nullptr) Describe(strDesc, plf, nDpiY, nLanguageId);
}

void FontFromDescription(const string& strDesc, LOGFONTW* plf, int nDpiY, UINT nLanguageId) {
    if (plf != nullptr) Describe(strDesc, plf, nDpiY, nLanguageId);
}

void FontFromDescription(const string& strDesc, LOGFONTA* plf) {
    FontFromDescription(strDesc, plf, GetScreenDpiY(), GetLanguageId());
}

void FontFromDescription(const string& strDesc, LOGFONTW* plf) {
    FontFromDescription(strDesc, plf, GetScreenDpiY(), GetLanguageId());
}

host::HFONT CreateFontFromDescription(const string& strDesc) {
    LOGFONTW lf;
    FontFromDescription(strDesc, &lf);
    return host::CreateFontIndirect(&lf);
}

} // namespace cetl
