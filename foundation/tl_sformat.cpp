// sformat: formats a message from a format string and its arguments.
#include "foundation/tl_string_internal.h"

#include "foundation/memmgr.h"

#include <algorithm>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace cetl {

using string_internal::kMaxLength;
using string_internal::Unit;

namespace {

constexpr const char kFile[] = "tl_sformat";

const TCHAR kszUnknown[] = TEXT("(?)");
constexpr int kcchUnknown = 3;

// Characters are counted as code points, so that widths and precisions give the same
// text in both builds and a cut never splits a character.
bool StartsChar(const TCHAR* pch, int i) {
#if KELVANO_WIDE
    return !(i > 0 && Unit(pch[i]) >= 0xDC00 && Unit(pch[i]) <= 0xDFFF &&
             Unit(pch[i - 1]) >= 0xD800 && Unit(pch[i - 1]) <= 0xDBFF);
#else
    return i == 0 || (Unit(pch[i]) & 0xC0) != 0x80;
#endif
}

int CharCount(const TCHAR* pch, int cch) {
    int c = 0;
    for (int i = 0; i < cch; ++i)
        c += StartsChar(pch, i) ? 1 : 0;
    return c;
}

// Units taken by the first cChars characters.
int UnitsOfChars(const TCHAR* pch, int cch, int cChars) {
    int c = 0;
    for (int i = 0; i < cch; ++i) {
        if (StartsChar(pch, i) && c++ == cChars) return i;
    }
    return cch;
}

// Widths and precisions beyond this are cut, so that a stray number in a format cannot
// ask for gigabytes.
constexpr int kMaxField = 4096;

enum ArgKind {
    kArgInt32,
    kArgInt16,
    kArgUInt16,
    kArgInt8,
    kArgReal64,
    kArgReal32,
    kArgText,
    kArgTextId,
    kArgUnknown,
};

struct FormatField {
    bool fZero = false;
    bool fPlus = false;
    bool fLeft = false;
    int cchWidth = 0;
    int cchPrecision = -1; // none given
    const TCHAR* pType = nullptr;
    int cchType = 0;
};

bool IsDigit(TCHAR ch) {
    return ch >= '0' && ch <= '9';
}

// Reads decimal digits at pch[i], advancing i; the value stops growing at nMax.
int ReadNumber(const TCHAR* pch, int cch, int& i, int nMax = kMaxField) {
    int n = 0;
    while (i < cch && IsDigit(pch[i])) {
        n = std::min(n * 10 + (pch[i] - '0'), nMax);
        ++i;
    }
    return n;
}

FormatField ParseField(const TCHAR* pch, int cch) {
    FormatField field;
    int i = 0;
    for (; i < cch; ++i) {
        if (pch[i] == '0')
            field.fZero = true;
        else if (pch[i] == '+')
            field.fPlus = true;
        else if (pch[i] == '-')
            field.fLeft = true;
        else
            break;
    }
    field.cchWidth = ReadNumber(pch, cch, i);
    if (i < cch && pch[i] == '.') {
        ++i;
        field.cchPrecision = ReadNumber(pch, cch, i);
    }
    field.pType = pch + i;
    field.cchType = cch - i;
    return field;
}

bool TypeHas(const FormatField& field, const char* pszNeedle) {
    int cchNeedle = static_cast<int>(std::strlen(pszNeedle));
    for (int i = 0; i + cchNeedle <= field.cchType; ++i) {
        int k = 0;
        while (k < cchNeedle && field.pType[i + k] == pszNeedle[k])
            ++k;
        if (k == cchNeedle) return true;
    }
    return false;
}

ArgKind KindOf(const FormatField& field) {
    if (TypeHas(field, "ld") || TypeHas(field, "lu")) return kArgInt32;
    // An unsigned 16-bit value is widened as such: sign extension would print 65535 as
    // 4294967295.
    if (TypeHas(field, "hu")) return kArgUInt16;
    if (TypeHas(field, "hd") || TypeHas(field, "lc")) return kArgInt16;
    if (TypeHas(field, "d") || TypeHas(field, "u") || TypeHas(field, "x") || TypeHas(field, "X"))
        return kArgInt32;
    if (TypeHas(field, "c")) return kArgInt8;
    if (TypeHas(field, "lf")) return kArgReal64;
    if (TypeHas(field, "f")) return kArgReal32;
    if (TypeHas(field, "ls") || TypeHas(field, "hs") || TypeHas(field, "s")) return kArgText;
    if (TypeHas(field, "m")) return kArgTextId;
    return kArgUnknown;
}

std::int64_t TruncateReal(double r) {
    if (std::isnan(r)) return 0;
    if (r >= 9.2e18) return INT64_MAX;
    if (r <= -9.2e18) return INT64_MIN;
    return static_cast<std::int64_t>(r);
}

bool ArgAsInteger(const FormatArg& arg, std::int64_t* pn) {
    if (arg.nKind == FormatArg::kInteger) {
        *pn = arg.n;
        return true;
    }
    if (arg.nKind == FormatArg::kReal) {
        *pn = TruncateReal(arg.r);
        return true;
    }
    return false;
}

bool ArgAsReal(const FormatArg& arg, double* pr) {
    if (arg.nKind == FormatArg::kReal) {
        *pr = arg.r;
        return true;
    }
    if (arg.nKind == FormatArg::kInteger) {
        *pr = static_cast<double>(arg.n);
        return true;
    }
    return false;
}

void AppendAscii(string& out, const char* pch, std::size_t cch) {
    out.Append(pch, static_cast<int>(cch));
}

void FormatInteger(const FormatField& field, ArgKind kind, std::int64_t n, string& out) {
    auto u32 = static_cast<std::uint32_t>(static_cast<std::uint64_t>(n));
    std::int64_t v;
    switch (kind) {
    case kArgInt16:
        v = static_cast<std::int16_t>(static_cast<std::uint16_t>(u32));
        break;
    case kArgUInt16:
        v = static_cast<std::uint16_t>(u32);
        break;
    case kArgInt8:
        v = static_cast<std::int8_t>(static_cast<std::uint8_t>(u32));
        break;
    default:
        v = static_cast<std::int32_t>(u32);
        break;
    }
    if (TypeHas(field, "c")) {
        // A 16-bit character keeps all its bits; otherwise the low byte is the character
        // (read as Latin-1, so both widths show the same letter).
        if (TypeHas(field, "lc"))
            out += static_cast<WCHAR>(static_cast<std::uint16_t>(v));
        else
            out += static_cast<WCHAR>(static_cast<std::uint8_t>(v));
        return;
    }
    char buf[24];
    std::size_t cch = 0;
    std::uint64_t mag;
    bool fNeg = false;
    bool fHex = TypeHas(field, "x") || TypeHas(field, "X");
    if (fHex && (n > static_cast<std::int64_t>(UINT32_MAX) || n < INT32_MIN)) {
        // A 64-bit value (an address) keeps all its digits.
        mag = static_cast<std::uint64_t>(n);
    } else if (fHex || TypeHas(field, "u")) {
        // Hexadecimal shows the bits: 0x%08lX of 0xA1CE0C60 is "0xA1CE0C60", never a
        // negative number.
        mag = static_cast<std::uint32_t>(v);
    } else if (v < 0) {
        fNeg = true;
        mag = static_cast<std::uint64_t>(-v);
    } else {
        mag = static_cast<std::uint64_t>(v);
    }
    if (fNeg)
        buf[cch++] = '-';
    else if (field.fPlus && v >= 0)
        buf[cch++] = '+';
    const char* pszDigits = TypeHas(field, "x")   ? "0123456789abcdef"
                            : TypeHas(field, "X") ? "0123456789ABCDEF"
                                                  : "0123456789";
    unsigned nBase = TypeHas(field, "x") || TypeHas(field, "X") ? 16 : 10;
    char digits[24];
    std::size_t cDigits = 0;
    do {
        digits[cDigits++] = pszDigits[mag % nBase];
        mag /= nBase;
    } while (mag != 0);
    while (cDigits > 0)
        buf[cch++] = digits[--cDigits];
    AppendAscii(out, buf, cch);
}

void FormatReal(const FormatField& field, double r, string& out) {
    int cchPrecision = field.cchPrecision < 0 ? 8 : field.cchPrecision;
    char buf[400];
    std::size_t cch = 0;
    bool fNeg = r < 0;
    if (fNeg) {
        buf[cch++] = '-';
        r = -r;
    } else if (field.fPlus) {
        buf[cch++] = '+';
    }
    if (std::isnan(r) || std::isinf(r)) {
        std::memcpy(buf + cch, std::isnan(r) ? "nan" : "inf", 3);
        AppendAscii(out, buf, cch + 3);
        return;
    }
    double rInt = std::floor(r);
    double rFrac = r - rInt;
    if (r >= 1 || cchPrecision == 0 || field.fZero) {
        // Exact digits of the integer part, however large.
        auto res =
            std::to_chars(buf + cch, buf + sizeof(buf) - 1, rInt, std::chars_format::fixed, 0);
        if (res.ec == std::errc()) cch = static_cast<std::size_t>(res.ptr - buf);
    }
    if (cchPrecision != 0) buf[cch++] = '.';
    AppendAscii(out, buf, cch);
    // Digits are cut, not rounded.
    cch = 0;
    for (int k = 0; k < cchPrecision; ++k) {
        rFrac *= 10;
        int nDigit = std::clamp(static_cast<int>(rFrac), 0, 9);
        rFrac -= nDigit;
        buf[cch++] = static_cast<char>('0' + nDigit);
        if (cch == sizeof(buf)) {
            AppendAscii(out, buf, cch);
            cch = 0;
        }
    }
    AppendAscii(out, buf, cch);
}

// The value a 32-bit real argument holds.
double AsFloat(double r) {
    if (std::isnan(r) || std::isinf(r)) return r;
    if (r > FLT_MAX) return HUGE_VAL;
    if (r < -FLT_MAX) return -HUGE_VAL;
    return static_cast<float>(r);
}

bool ArgAsText(const FormatArg& arg, string& out) {
    switch (arg.nKind) {
    case FormatArg::kText8:
        out = arg.psz8;
        return true;
    case FormatArg::kText16:
        out = arg.psz16;
        return true;
    case FormatArg::kString:
        out = *arg.pstr;
        return true;
    case FormatArg::kTextId:
        // A text the current language lacks shows as nothing rather than as a marker.
        if (!LookupText(static_cast<host::UINT>(arg.n), out)) out.Empty();
        return true;
    default:
        return false;
    }
}

void CutText(const FormatField& field, string& str) {
    if (field.cchPrecision >= 0) {
        int cch = UnitsOfChars(str.Text(), str.Length(), field.cchPrecision);
        if (cch < str.Length()) str = str.Substring(0, cch);
    }
}

void AppendPadded(const FormatField& field, const string& strPiece, string& out) {
    int cPad = field.cchWidth - CharCount(strPiece.Text(), strPiece.Length());
    if (cPad <= 0 || field.fLeft) out += strPiece;
    for (int i = 0; i < cPad; ++i)
        out += TCHAR(!field.fLeft && field.fZero ? '0' : ' ');
    if (cPad > 0 && !field.fLeft) out += strPiece;
}

// Formats one argument (null when the list has run out) onto out. True when the
// argument was consumed.
bool FormatArgument(const FormatField& field, const FormatArg* pArg, string& out) {
    ArgKind kind = KindOf(field);
    if (kind == kArgUnknown || pArg == nullptr) {
        out += kszUnknown;
        return false;
    }
    string strPiece;
    bool fRead = false;
    std::int64_t n = 0;
    double r = 0;
    switch (kind) {
    case kArgReal64:
    case kArgReal32:
        fRead = ArgAsReal(*pArg, &r);
        if (fRead) FormatReal(field, kind == kArgReal32 ? AsFloat(r) : r, strPiece);
        break;
    case kArgText:
        fRead = ArgAsText(*pArg, strPiece);
        if (fRead) CutText(field, strPiece);
        break;
    case kArgTextId:
        if (pArg->nKind == FormatArg::kTextId) {
            fRead = ArgAsText(*pArg, strPiece);
        } else if (ArgAsInteger(*pArg, &n)) {
            fRead = true;
            LookupText(static_cast<host::UINT>(n), strPiece);
        }
        if (fRead) CutText(field, strPiece);
        break;
    default:
        fRead = ArgAsInteger(*pArg, &n);
        if (fRead) FormatInteger(field, kind, n, strPiece);
        break;
    }
    if (!fRead)
        out += kszUnknown;
    else
        AppendPadded(field, strPiece, out);
    return true;
}

bool IsHeaderSeparator(TCHAR ch) {
    return ch == ' ' || ch == ',' || ch == ';';
}

bool IsTypeLetter(TCHAR ch) {
    return ch == 'd' || ch == 'u' || ch == 'f' || ch == 'c' || ch == 's' || ch == 'm' ||
           ch == 'x' || ch == 'X';
}

} // namespace

void sformat::FormatFrom(const string& strFormat, const FormatArg* pArgs, int cArgs) {
    const TCHAR* pch = strFormat.Text();
    const int cch = strFormat.Length();
    int iArg = 0;
    int i = 0;

    // The declared arguments' texts, back to back, and where each one ends.
    string strDeclared;
    int* piEnds = nullptr;
    int cDeclared = 0;

    if (cch >= 2 && pch[0] == '%' && pch[1] == '{') {
        int iClose = 2;
        while (iClose < cch && pch[iClose] != '}')
            ++iClose;
        int cFields = 0;
        for (int k = 2; k < iClose;) {
            if (IsHeaderSeparator(pch[k])) {
                ++k;
                continue;
            }
            ++cFields;
            while (k < iClose && !IsHeaderSeparator(pch[k]))
                ++k;
        }
        if (cFields > 0)
            piEnds = static_cast<int*>(
                mem::Allocate(sizeof(int) * cFields, "sizeof(int) * cFields", kFile, __LINE__));
        for (int k = 2; k < iClose;) {
            if (IsHeaderSeparator(pch[k])) {
                ++k;
                continue;
            }
            int iField = k;
            while (k < iClose && !IsHeaderSeparator(pch[k]))
                ++k;
            FormatField field = ParseField(pch + iField, k - iField);
            if (FormatArgument(field, iArg < cArgs ? &pArgs[iArg] : nullptr, strDeclared)) ++iArg;
            if (piEnds != nullptr) piEnds[cDeclared++] = strDeclared.Length();
        }
        i = iClose < cch ? iClose + 1 : cch;
        if (i < cch && (pch[i] == ' ' || pch[i] == '\t')) ++i;
    }

    int iLiteral = i;
    while (i < cch) {
        if (pch[i] != '%') {
            ++i;
            continue;
        }
        AppendNative(pch + iLiteral, i - iLiteral);
        if (i + 1 < cch && pch[i + 1] == '%') {
            *this += TCHAR('%');
            i += 2;
            iLiteral = i;
            continue;
        }
        // An inline field: digits and "." first, then size letters, then the type.
        int k = i + 1;
        while (k < cch && (IsDigit(pch[k]) || pch[k] == '.'))
            ++k;
        while (k < cch && (pch[k] == 'l' || pch[k] == 'h'))
            ++k;
        if (k < cch && IsTypeLetter(pch[k])) {
            FormatField field = ParseField(pch + i + 1, k - i);
            if (FormatArgument(field, iArg < cArgs ? &pArgs[iArg] : nullptr, *this)) ++iArg;
            i = k + 1;
        } else if (i + 1 < cch && IsDigit(pch[i + 1])) {
            // A reference to a declared argument; only its digits are taken.
            k = i + 1;
            int n = ReadNumber(pch, cch, k, kMaxLength / 10);
            if (n >= 1 && n <= cDeclared) {
                int iBegin = n == 1 ? 0 : piEnds[n - 2];
                AppendNative(strDeclared.Text() + iBegin, piEnds[n - 1] - iBegin);
            } else {
                AppendNative(kszUnknown, kcchUnknown);
            }
            i = k;
        } else {
            *this += TCHAR('%');
            ++i;
        }
        iLiteral = i;
    }
    AppendNative(pch + iLiteral, i - iLiteral);

    if (piEnds != nullptr) mem::Release(piEnds, kFile, __LINE__);
}

} // namespace cetl
