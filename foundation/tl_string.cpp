// string and istring: counted texts in the native width, with a copy in the other width
// made on request. sformat lives in tl_sformat.cpp.
#include "foundation/tl_string_internal.h"

#include "foundation/memmgr.h"
#include "host/codepage.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>

namespace cetl {

using string_internal::kMaxLength;
using string_internal::Unit;

namespace {

constexpr const char kFile[] = "tl_string";

#if KELVANO_WIDE
using OTHER = CHAR; // the width that is not native
#else
using OTHER = WCHAR;
#endif

const TCHAR kszEmpty[1] = {0};
const OTHER kszOtherEmpty[1] = {0};
const CHAR kszNull8[] = "(null)";
const WCHAR kszNull16[] = u"(null)";
constexpr int kcchNull = 6;

template <class C> int TextLength(const C* psz) {
    std::size_t cch = std::char_traits<C>::length(psz);
    return cch > static_cast<std::size_t>(kMaxLength) ? 0 : static_cast<int>(cch);
}

// A counted text as the callers give it: null reads "(null)", -1 measures up to the
// terminator, any other negative count is empty.
template <class C> void NormaliseText(const C*& pch, int& cch, const C* pszNull) {
    if (pch == nullptr) {
        pch = pszNull;
        cch = kcchNull;
    } else if (cch == -1) {
        cch = TextLength(pch);
    } else if (cch < 0) {
        cch = 0;
    }
}

std::size_t ConvertToNative(const OTHER* pch, std::size_t cch, TCHAR* pDest, std::size_t cchDest) {
#if KELVANO_WIDE
    return host::Utf8ToUtf16(pch, cch, pDest, cchDest);
#else
    return host::Utf16ToUtf8(pch, cch, pDest, cchDest);
#endif
}

std::size_t ConvertToOther(const TCHAR* pch, std::size_t cch, OTHER* pDest, std::size_t cchDest) {
#if KELVANO_WIDE
    return host::Utf16ToUtf8(pch, cch, pDest, cchDest);
#else
    return host::Utf8ToUtf16(pch, cch, pDest, cchDest);
#endif
}

bool Overlaps(const TCHAR* pch, const TCHAR* pBlock, int cchBlock) {
    std::less_equal<const TCHAR*> le;
    std::less<const TCHAR*> lt;
    return pBlock != nullptr && le(pBlock, pch) && lt(pch, pBlock + cchBlock);
}

// Case mapping over code points. The table covers ASCII, Latin-1 and Latin Extended-A (the
// Esperanto letters among them) and never maps a letter out of its range, so that a text
// keeps its length in both widths; letters whose partner lies elsewhere (dotless i, long s)
// are left alone.
char32_t UpperOf(char32_t c) {
    if (c < 0x80) return (c >= 'a' && c <= 'z') ? c - 0x20 : c;
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 0x20;
    if (c == 0xFF) return 0x178;
    if ((c >= 0x100 && c <= 0x12F) || (c >= 0x132 && c <= 0x137) || (c >= 0x14A && c <= 0x177))
        return c & ~char32_t(1);
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return (c & 1) ? c : c - 1;
    return c;
}

char32_t LowerOf(char32_t c) {
    if (c < 0x80) return (c >= 'A' && c <= 'Z') ? c + 0x20 : c;
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 0x20;
    if (c == 0x178) return 0xFF;
    if ((c >= 0x100 && c <= 0x12F) || (c >= 0x132 && c <= 0x137) || (c >= 0x14A && c <= 0x177))
        return c | 1;
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return (c & 1) ? c + 1 : c;
    return c;
}

#if !KELVANO_WIDE
// The letters mapped above take two bytes in UTF-8, with a lead byte from 0xC2 to 0xC5.
bool IsMappedLead(unsigned b) {
    return b >= 0xC2 && b <= 0xC5;
}
bool IsContinuation(unsigned b) {
    return (b & 0xC0) == 0x80;
}
#endif

void MapCase(TCHAR* pch, int cch, bool fUpper) {
#if KELVANO_WIDE
    for (int i = 0; i < cch; ++i)
        pch[i] = static_cast<TCHAR>(fUpper ? UpperOf(pch[i]) : LowerOf(pch[i]));
#else
    for (int i = 0; i < cch; ++i) {
        unsigned b = Unit(pch[i]);
        if (b < 0x80) {
            pch[i] = static_cast<TCHAR>(fUpper ? UpperOf(b) : LowerOf(b));
        } else if (IsMappedLead(b) && i + 1 < cch && IsContinuation(Unit(pch[i + 1]))) {
            char32_t cp = ((b & 0x1F) << 6) | (Unit(pch[i + 1]) & 0x3F);
            cp = fUpper ? UpperOf(cp) : LowerOf(cp);
            pch[i] = static_cast<TCHAR>(0xC0 | (cp >> 6));
            pch[i + 1] = static_cast<TCHAR>(0x80 | (cp & 0x3F));
            ++i;
        }
    }
#endif
}

// The unit at i of the upper-case form of the text, without copying it.
unsigned FoldedAt(const TCHAR* pch, int cch, int i) {
    unsigned b = Unit(pch[i]);
#if KELVANO_WIDE
    (void)cch;
    return static_cast<unsigned>(UpperOf(b));
#else
    if (b < 0x80) return static_cast<unsigned>(UpperOf(b));
    if (IsMappedLead(b) && i + 1 < cch && IsContinuation(Unit(pch[i + 1]))) {
        char32_t cp = UpperOf(((b & 0x1F) << 6) | (Unit(pch[i + 1]) & 0x3F));
        return 0xC0 | (cp >> 6);
    }
    if (IsContinuation(b) && i > 0 && IsMappedLead(Unit(pch[i - 1]))) {
        char32_t cp = UpperOf(((Unit(pch[i - 1]) & 0x1F) << 6) | (b & 0x3F));
        return 0x80 | (cp & 0x3F);
    }
    return b;
#endif
}

int Sign(long n) {
    return n < 0 ? -1 : (n > 0 ? 1 : 0);
}

} // namespace

// ---------------------------------------------------------------------------------------
// string

string::string(const CHAR* psz) {
    Assign(psz, -1);
}

string::string(const WCHAR* psz) {
    Assign(psz, -1);
}

string::string(const string& str) {
    AssignNative(str.m_psz, str.m_cch);
}

string::string(string&& str) noexcept
    : m_psz(str.m_psz), m_cch(str.m_cch), m_cchAlloc(str.m_cchAlloc), m_pszOther(str.m_pszOther),
      m_cchOtherAlloc(str.m_cchOtherAlloc), m_fTared(str.m_fTared) {
    str.m_psz = nullptr;
    str.m_cch = str.m_cchAlloc = 0;
    str.m_pszOther = nullptr;
    str.m_cchOtherAlloc = 0;
}

string::string(const string& str, int iStart, int cch) {
    iStart = std::max(iStart, 0);
    if (iStart >= str.m_cch) return;
    int cchAvail = str.m_cch - iStart;
    if (cch == -1 || cch > cchAvail) cch = cchAvail;
    if (cch > 0) AssignNative(str.m_psz + iStart, cch);
}

string::string(TextId id) {
    LookupText(id.id, *this);
}

string::~string() {
    Release();
}

void string::Release() {
    if (m_psz != nullptr) mem::Release(m_psz, kFile, __LINE__);
    if (m_pszOther != nullptr) mem::Release(m_pszOther, kFile, __LINE__);
    m_psz = nullptr;
    m_pszOther = nullptr;
    m_cch = m_cchAlloc = m_cchOtherAlloc = 0;
}

string& string::operator=(const string& str) {
    AssignNative(str.m_psz, str.m_cch);
    return *this;
}

string& string::operator=(string&& str) noexcept {
    if (this == &str) return *this;
    Release();
    m_psz = str.m_psz;
    m_cch = str.m_cch;
    m_cchAlloc = str.m_cchAlloc;
    m_pszOther = str.m_pszOther;
    m_cchOtherAlloc = str.m_cchOtherAlloc;
    str.m_psz = nullptr;
    str.m_cch = str.m_cchAlloc = 0;
    str.m_pszOther = nullptr;
    str.m_cchOtherAlloc = 0;
    // The blocks now belong to this string and follow its taring.
    if (m_fTared && !str.m_fTared) {
        if (m_psz != nullptr) mem::Tare(m_psz, kFile, __LINE__);
        if (m_pszOther != nullptr) mem::Tare(m_pszOther, kFile, __LINE__);
    }
    return *this;
}

string& string::operator=(const CHAR* psz) {
    return Assign(psz, -1);
}
string& string::operator=(const WCHAR* psz) {
    return Assign(psz, -1);
}
string& string::operator=(CHAR ch) {
    return Assign(&ch, 1);
}
string& string::operator=(WCHAR ch) {
    return Assign(&ch, 1);
}

string& string::operator+=(const string& str) {
    AppendNative(str.m_psz, str.m_cch);
    return *this;
}

string& string::operator+=(const CHAR* psz) {
    return Append(psz, -1);
}
string& string::operator+=(const WCHAR* psz) {
    return Append(psz, -1);
}
string& string::operator+=(CHAR ch) {
    return Append(&ch, 1);
}
string& string::operator+=(WCHAR ch) {
    return Append(&ch, 1);
}

string& string::Assign(const CHAR* pch, int cch) {
    NormaliseText(pch, cch, kszNull8);
#if KELVANO_WIDE
    AssignOther(pch, cch);
#else
    AssignNative(pch, cch);
#endif
    return *this;
}

string& string::Assign(const WCHAR* pch, int cch) {
    NormaliseText(pch, cch, kszNull16);
#if KELVANO_WIDE
    AssignNative(pch, cch);
#else
    AssignOther(pch, cch);
#endif
    return *this;
}

string& string::Append(const CHAR* pch, int cch) {
    NormaliseText(pch, cch, kszNull8);
#if KELVANO_WIDE
    AppendOther(pch, cch);
#else
    AppendNative(pch, cch);
#endif
    return *this;
}

string& string::Append(const WCHAR* pch, int cch) {
    NormaliseText(pch, cch, kszNull16);
#if KELVANO_WIDE
    AppendNative(pch, cch);
#else
    AppendOther(pch, cch);
#endif
    return *this;
}

bool string::Reserve(int cch) {
    if (cch < m_cchAlloc) return true;
    if (cch < 0 || cch > kMaxLength) return false;
    int cchMin = std::max(cch + 1, std::min(m_cchAlloc + m_cchAlloc / 2, kMaxLength));
    cchMin = (cchMin + 15) & ~15;
    auto* psz = static_cast<TCHAR*>(
        mem::Allocate(sizeof(TCHAR) * cchMin, "sizeof(TCHAR) * cchMin", kFile, __LINE__));
    if (psz == nullptr) return false;
    if (m_fTared) mem::Tare(psz, kFile, __LINE__);
    if (m_cch > 0) std::memcpy(psz, m_psz, sizeof(TCHAR) * m_cch);
    psz[m_cch] = 0;
    if (m_psz != nullptr) mem::Release(m_psz, kFile, __LINE__);
    m_psz = psz;
    m_cchAlloc = cchMin;
    return true;
}

bool string::AssignNative(const TCHAR* pch, int cch) {
    if (cch <= 0) {
        Empty();
        return true;
    }
    if (Overlaps(pch, m_psz, m_cchAlloc)) {
        // A part of this very text: it fits where it is.
        std::memmove(m_psz, pch, sizeof(TCHAR) * cch);
        m_cch = cch;
        m_psz[m_cch] = 0;
        return true;
    }
    int cchOld = m_cch;
    m_cch = 0;
    if (!Reserve(cch)) {
        m_cch = cchOld;
        return false;
    }
    std::memcpy(m_psz, pch, sizeof(TCHAR) * cch);
    m_cch = cch;
    m_psz[m_cch] = 0;
    return true;
}

bool string::AppendNative(const TCHAR* pch, int cch) {
    if (cch <= 0) return true;
    if (cch > kMaxLength - m_cch) return false;
    // The text may be part of this one, whose block growth replaces.
    std::ptrdiff_t off = Overlaps(pch, m_psz, m_cchAlloc) ? pch - m_psz : -1;
    if (!Reserve(m_cch + cch)) return false;
    if (off >= 0) pch = m_psz + off;
    std::memmove(m_psz + m_cch, pch, sizeof(TCHAR) * cch);
    m_cch += cch;
    m_psz[m_cch] = 0;
    return true;
}

bool string::AssignOther(const void* pv, int cch) {
    const auto* pch = static_cast<const OTHER*>(pv);
    std::size_t cchNative = ConvertToNative(pch, cch, nullptr, 0);
    if (cchNative == 0) {
        Empty();
        return true;
    }
    if (cchNative > static_cast<std::size_t>(kMaxLength)) return false;
    int cchOld = m_cch;
    m_cch = 0;
    if (!Reserve(static_cast<int>(cchNative))) {
        m_cch = cchOld;
        return false;
    }
    m_cch = static_cast<int>(ConvertToNative(pch, cch, m_psz, cchNative));
    m_psz[m_cch] = 0;
    return true;
}

bool string::AppendOther(const void* pv, int cch) {
    const auto* pch = static_cast<const OTHER*>(pv);
    std::size_t cchNative = ConvertToNative(pch, cch, nullptr, 0);
    if (cchNative == 0) return true;
    if (cchNative > static_cast<std::size_t>(kMaxLength - m_cch)) return false;
    if (!Reserve(m_cch + static_cast<int>(cchNative))) return false;
    m_cch += static_cast<int>(ConvertToNative(pch, cch, m_psz + m_cch, cchNative));
    m_psz[m_cch] = 0;
    return true;
}

void string::Empty() {
    m_cch = 0;
    if (m_psz != nullptr) m_psz[0] = 0;
}

const TCHAR* string::Text() const {
    return m_psz != nullptr ? m_psz : kszEmpty;
}

namespace {

// Converts the native text into the string's buffer of the other width.
const OTHER* OtherView(const TCHAR* pch, int cch, OTHER*& pszOther, int& cchOtherAlloc,
                       bool fTared) {
    if (cch == 0) return kszOtherEmpty;
    std::size_t cchOther = ConvertToOther(pch, cch, nullptr, 0);
    if (cchOther >= static_cast<std::size_t>(kMaxLength)) return kszOtherEmpty;
    if (static_cast<int>(cchOther) >= cchOtherAlloc) {
        int cchMin = (static_cast<int>(cchOther) + 1 + 15) & ~15;
#if KELVANO_WIDE
        void* pv = mem::Allocate(sizeof(CHAR) * cchMin, "sizeof(CHAR) * cchMin", kFile, __LINE__);
#else
        void* pv = mem::Allocate(sizeof(WCHAR) * cchMin, "sizeof(WCHAR) * cchMin", kFile, __LINE__);
#endif
        if (pv == nullptr) return kszOtherEmpty;
        if (fTared) mem::Tare(pv, kFile, __LINE__);
        if (pszOther != nullptr) mem::Release(pszOther, kFile, __LINE__);
        pszOther = static_cast<OTHER*>(pv);
        cchOtherAlloc = cchMin;
    }
    std::size_t cchDone = ConvertToOther(pch, cch, pszOther, cchOther);
    pszOther[cchDone] = 0;
    return pszOther;
}

} // namespace

#if KELVANO_WIDE
const CHAR* string::Text8() const {
    return OtherView(m_psz, m_cch, m_pszOther, m_cchOtherAlloc, m_fTared);
}
const WCHAR* string::Text16() const {
    return Text();
}
#else
const CHAR* string::Text8() const {
    return Text();
}
const WCHAR* string::Text16() const {
    return OtherView(m_psz, m_cch, m_pszOther, m_cchOtherAlloc, m_fTared);
}
#endif

CHAR* string::Duplicate8() const {
    const CHAR* psz = Text8();
    std::size_t cb = 1 + std::strlen(psz);
    auto* pszCopy = static_cast<CHAR*>(mem::Allocate(cb, "1+strlen8(psz)", kFile, __LINE__));
    if (pszCopy != nullptr) std::memcpy(pszCopy, psz, cb);
    return pszCopy;
}

WCHAR* string::Duplicate16() const {
    const WCHAR* psz = Text16();
    std::size_t cb = sizeof(WCHAR) * (1 + std::char_traits<WCHAR>::length(psz));
    auto* pszCopy = static_cast<WCHAR*>(
        mem::Allocate(cb, "sizeof(WCHAR) * (1+strlen16(psz))", kFile, __LINE__));
    if (pszCopy != nullptr) std::memcpy(pszCopy, psz, cb);
    return pszCopy;
}

void string::WriteAt(int iPos, const string& str) {
    if (&str == this) {
        string strCopy(str);
        WriteAt(iPos, strCopy);
        return;
    }
    iPos = std::max(iPos, 0);
    if (iPos > kMaxLength - str.m_cch) return;
    int cchEnd = iPos + str.m_cch;
    if (cchEnd <= m_cch && str.m_cch == 0) return;
    int cchNew = std::max(m_cch, cchEnd);
    if (!Reserve(cchNew)) return;
    for (int i = m_cch; i < iPos; ++i)
        m_psz[i] = ' ';
    if (str.m_cch > 0) std::memcpy(m_psz + iPos, str.m_psz, sizeof(TCHAR) * str.m_cch);
    m_cch = cchNew;
    m_psz[m_cch] = 0;
}

int string::Find(TCHAR ch, int iStart) const {
    for (int i = std::max(iStart, 0); i < m_cch; ++i) {
        if (m_psz[i] == ch) return i;
    }
    return -1;
}

int string::Find(const string& str, int iStart) const {
    iStart = std::max(iStart, 0);
    if (str.m_cch == 0) return iStart <= m_cch ? iStart : -1;
    for (int i = iStart; i <= m_cch - str.m_cch; ++i) {
        if (std::memcmp(m_psz + i, str.m_psz, sizeof(TCHAR) * str.m_cch) == 0) return i;
    }
    return -1;
}

int string::ReverseFind(TCHAR ch) const {
    for (int i = m_cch - 1; i >= 0; --i) {
        if (m_psz[i] == ch) return i;
    }
    return -1;
}

string string::Substring(int iStart, int cch) const {
    return string(*this, iStart, cch);
}

int string::Replace(const string& strFrom, const string& strTo) {
    // An empty pattern would match everywhere and never advance.
    if (strFrom.IsEmpty()) return 0;
    int iFound = Find(strFrom, 0);
    if (iFound < 0) return 0;
    string strResult;
    int iDone = 0;
    int cReplaced = 0;
    while (iFound >= 0) {
        if (!strResult.AppendNative(m_psz + iDone, iFound - iDone) ||
            !strResult.AppendNative(strTo.m_psz, strTo.m_cch))
            return 0;
        ++cReplaced;
        iDone = iFound + strFrom.m_cch;
        iFound = Find(strFrom, iDone);
    }
    if (!strResult.AppendNative(m_psz + iDone, m_cch - iDone)) return 0;
    *this = static_cast<string&&>(strResult);
    return cReplaced;
}

void string::MakeUpper() {
    MapCase(m_psz, m_cch, true);
}
void string::MakeLower() {
    MapCase(m_psz, m_cch, false);
}

void string::AppendPath(const string& str) {
    string strPart(str);
    for (int i = 0; i < m_cch; ++i) {
        if (m_psz[i] == '/') m_psz[i] = '\\';
    }
    if (m_cch > 0 && m_psz[m_cch - 1] != '\\') *this += TCHAR('\\');
    for (int i = 0; i < strPart.m_cch; ++i) {
        if (strPart.m_psz[i] == '/') strPart.m_psz[i] = '\\';
    }
    int iSkip = (strPart.m_cch > 0 && strPart.m_psz[0] == '\\') ? 1 : 0;
    AppendNative(strPart.Text() + iSkip, strPart.m_cch - iSkip);
}

int string::Compare(const string& str) const {
    int cch = std::min(m_cch, str.m_cch);
    for (int i = 0; i < cch; ++i) {
        unsigned a = Unit(m_psz[i]);
        unsigned b = Unit(str.m_psz[i]);
        if (a != b) return a < b ? -1 : 1;
    }
    return Sign(static_cast<long>(m_cch) - str.m_cch);
}

void string::Tare() {
    m_fTared = true;
    if (m_psz != nullptr) mem::Tare(m_psz, kFile, __LINE__);
    if (m_pszOther != nullptr) mem::Tare(m_pszOther, kFile, __LINE__);
}

bool operator==(const string& a, const string& b) {
    return a.Compare(b) == 0;
}

std::weak_ordering operator<=>(const string& a, const string& b) {
    int n = a.Compare(b);
    return n < 0 ? std::weak_ordering::less
                 : (n > 0 ? std::weak_ordering::greater : std::weak_ordering::equivalent);
}

bool operator==(const string& a, const CHAR* b) {
    return a == string(b);
}
std::weak_ordering operator<=>(const string& a, const CHAR* b) {
    return a <=> string(b);
}
bool operator==(const string& a, const WCHAR* b) {
    return a == string(b);
}
std::weak_ordering operator<=>(const string& a, const WCHAR* b) {
    return a <=> string(b);
}

string operator+(const string& a, const string& b) {
    string str(a);
    str += b;
    return str;
}

string operator+(const string& a, const CHAR* b) {
    string str(a);
    str += b;
    return str;
}

string operator+(const string& a, const WCHAR* b) {
    string str(a);
    str += b;
    return str;
}

string operator+(const CHAR* a, const string& b) {
    string str(a);
    str += b;
    return str;
}

string operator+(const WCHAR* a, const string& b) {
    string str(a);
    str += b;
    return str;
}

string operator+(const string& a, CHAR b) {
    string str(a);
    str += b;
    return str;
}

string operator+(const string& a, WCHAR b) {
    string str(a);
    str += b;
    return str;
}

// ---------------------------------------------------------------------------------------
// istring

int istring::Find(TCHAR ch, int iStart) const {
    const TCHAR* pch = Text();
    unsigned nFolded = FoldedAt(&ch, 1, 0);
    for (int i = std::max(iStart, 0); i < Length(); ++i) {
        if (FoldedAt(pch, Length(), i) == nFolded) return i;
    }
    return -1;
}

int istring::Find(const string& str, int iStart) const {
    iStart = std::max(iStart, 0);
    int cch = Length();
    int cchPattern = str.Length();
    if (cchPattern == 0) return iStart <= cch ? iStart : -1;
    const TCHAR* pch = Text();
    const TCHAR* pchPattern = str.Text();
    for (int i = iStart; i <= cch - cchPattern; ++i) {
        int k = 0;
        while (k < cchPattern && FoldedAt(pch, cch, i + k) == FoldedAt(pchPattern, cchPattern, k))
            ++k;
        if (k == cchPattern) return i;
    }
    return -1;
}

int istring::Compare(const string& str) const {
    const TCHAR* pa = Text();
    const TCHAR* pb = str.Text();
    int cchA = Length();
    int cchB = str.Length();
    int cch = std::min(cchA, cchB);
    for (int i = 0; i < cch; ++i) {
        unsigned a = FoldedAt(pa, cchA, i);
        unsigned b = FoldedAt(pb, cchB, i);
        if (a != b) return a < b ? -1 : 1;
    }
    return Sign(static_cast<long>(cchA) - cchB);
}

} // namespace cetl
