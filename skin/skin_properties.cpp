// Skin properties: values read as text, colour and number, and the "key = value" parser.
#include "skin/skin.h"

#include <climits>

namespace {

int HexDigit(TCHAR ch) {
    if (ch >= '0' && ch <= '9') return ch - '0';
    if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
    if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
    return -1;
}

bool IsBlank(CHAR ch) {
    return ch == ' ' || ch == '\t';
}

// Blanks, tabs and the other control characters count as trailing white space.
bool IsSpace(CHAR ch) {
    return ch == ' ' || (ch >= '\t' && ch <= '\r');
}

bool IsLineEnd(CHAR ch) {
    return ch == '\r' || ch == '\n';
}

} // namespace

Color SkinColorFromText(const cetl::string& strText) {
    int i = strText[0] == '#' ? 1 : 0;
    DWORD nRgb = 0;
    for (int k = 0; k < 6; ++k) {
        int nDigit = HexDigit(strText[i + k]);
        if (nDigit < 0) return 0;
        nRgb = nRgb << 4 | static_cast<DWORD>(nDigit);
    }
    return host::PALETTERGB(static_cast<BYTE>(nRgb >> 16), static_cast<BYTE>(nRgb >> 8),
                            static_cast<BYTE>(nRgb));
}

int SkinNumberFromText(const cetl::string& strText) {
    long long n = 0;
    for (int i = 0; i < strText.Length(); ++i) {
        TCHAR ch = strText[i];
        if (ch < '0' || ch > '9') break;
        n = n * 10 + (ch - '0');
        // A longer run of digits stays at the largest number rather than wrapping.
        if (n > INT_MAX) n = INT_MAX;
    }
    return static_cast<int>(n);
}

void PROPERTIESVALUE::Set(const cetl::string& str) {
    strText = str;
    clr = SkinColorFromText(str);
    nNumber = SkinNumberFromText(str);
}

void PROPERTIES::SetText(const cetl::istring& strKey, const cetl::string& strText) {
    PROPERTIESVALUE value;
    value.Set(strText);
    Set(strKey, std::move(value));
}

const PROPERTIESVALUE* PROPERTIES::Lookup(const cetl::istring& strKey) const {
    auto it = Find(strKey);
    return it != end() ? &it->second : nullptr;
}

void PROPERTIES::Parse(const CHAR* pch, std::size_t cch, ParseMode nMode) {
    if (pch == nullptr) return;
    std::size_t i = 0;
    while (i < cch) {
        std::size_t iLineEnd = i;
        while (iLineEnd < cch && !IsLineEnd(pch[iLineEnd]))
            ++iLineEnd;
        std::size_t iNext = iLineEnd < cch ? iLineEnd + 1 : cch;

        while (i < iLineEnd && IsBlank(pch[i]))
            ++i;
        if (i == iLineEnd || pch[i] == '=' || pch[i] == '#') {
            i = iNext;
            continue;
        }
        std::size_t iEqual = i;
        while (iEqual < iLineEnd && pch[iEqual] != '=')
            ++iEqual;
        if (iEqual == iLineEnd) {
            i = iNext;
            continue;
        }
        std::size_t iKeyEnd = iEqual;
        while (iKeyEnd > i && IsSpace(pch[iKeyEnd - 1]))
            --iKeyEnd;
        std::size_t iValue = iEqual + 1;
        while (iValue < iLineEnd && IsBlank(pch[iValue]))
            ++iValue;
        std::size_t iValueEnd = iLineEnd;
        while (iValueEnd > iValue && IsSpace(pch[iValueEnd - 1]))
            --iValueEnd;

        // Lines are far shorter than 2 GB in any real skin; a longer one is cut.
        auto Count = [](std::size_t cch) {
            return static_cast<int>(cch < INT_MAX ? cch : INT_MAX);
        };
        cetl::istring strKey;
        strKey.Assign(pch + i, Count(iKeyEnd - i));
        if (nMode == PARSE_REPLACE) {
            cetl::string strValue;
            strValue.Assign(pch + iValue, Count(iValueEnd - iValue));
            SetText(strKey, strValue);
        } else if (Contains(strKey)) {
            Remove(strKey);
        }
        i = iNext;
    }
}
