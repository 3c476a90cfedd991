// Skin properties: values read as text, colour and number, and the "key = value" parser.
#include "skin/skin.h"

#include "foundation/memmgr.h"

#include <climits>
#include <utility>

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

std::uint32_t PROPERTIES::Hash(const cetl::string& strKey) {
    const TCHAR* pch = strKey.Text();
    std::uint32_t nHash = 2166136261u;
    for (int i = 0; i < strKey.Length(); ++i) {
        std::uint32_t b = static_cast<std::uint32_t>(pch[i]) & 0xFF;
        if (b >= 0x80)
            b = 0x80;
        else if (b >= 'a' && b <= 'z')
            b -= 'a' - 'A';
        nHash = (nHash ^ b) * 16777619u;
    }
    return nHash ^ (nHash >> 15);
}

PROPERTIES::~PROPERTIES() {
    FreeIndex();
}

void PROPERTIES::FreeIndex() const {
    if (ppIndex_ != nullptr) MemFree(ppIndex_);
    ppIndex_ = nullptr;
    cSlots_ = 0;
}

bool PROPERTIES::BuildIndex() const {
    FreeIndex();
    std::uint32_t cSlots = 16;
    while (cSlots < 2 * Count() && cSlots < 0x40000000u)
        cSlots *= 2;
    if (cSlots < 2 * Count()) return false;
    ppIndex_ = MemAllocArray(const value_type*, cSlots);
    if (ppIndex_ == nullptr) return false;
    for (std::uint32_t i = 0; i < cSlots; ++i)
        ppIndex_[i] = nullptr;
    cSlots_ = cSlots;
    for (const value_type& item : *this) {
        std::uint32_t i = Hash(item.first) & (cSlots - 1);
        while (ppIndex_[i] != nullptr)
            i = (i + 1) & (cSlots - 1);
        ppIndex_[i] = &item;
    }
    return true;
}

void PROPERTIES::SwapIndex(PROPERTIES& other) noexcept {
    std::swap(ppIndex_, other.ppIndex_);
    std::swap(cSlots_, other.cSlots_);
}

bool PROPERTIES::Set(const cetl::istring& strKey, PROPERTIESVALUE value) {
    bool fAdded = base::Set(strKey, std::move(value));
    if (fAdded) FreeIndex();
    return fAdded;
}

void PROPERTIES::Remove(const cetl::istring& strKey) {
    base::Remove(strKey);
    FreeIndex();
}

PROPERTIESVALUE& PROPERTIES::Get(const cetl::istring& strKey) {
    if (!Contains(strKey)) FreeIndex();
    return base::Get(strKey);
}

void PROPERTIES::Clear() {
    base::Clear();
    FreeIndex();
}

void PROPERTIES::Swap(PROPERTIES& other) noexcept {
    base::Swap(other);
    SwapIndex(other);
}

void PROPERTIES::SetText(const cetl::istring& strKey, const cetl::string& strText) {
    PROPERTIESVALUE value;
    value.Set(strText);
    Set(strKey, std::move(value));
}

const PROPERTIESVALUE* PROPERTIES::Lookup(const cetl::istring& strKey) const {
    if (IsEmpty()) return nullptr;
    if (cSlots_ == 0 && !BuildIndex()) {
        auto it = Find(strKey);
        return it != end() ? &it->second : nullptr;
    }
    for (std::uint32_t i = Hash(strKey) & (cSlots_ - 1); ppIndex_[i] != nullptr;
         i = (i + 1) & (cSlots_ - 1))
        if (strKey.Compare(ppIndex_[i]->first) == 0) return &ppIndex_[i]->second;
    return nullptr;
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
