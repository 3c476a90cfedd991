#include "host/codepage.h"

namespace host {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one code point at src[i], advancing i; malformed input yields U+FFFD and
// consumes one byte so that decoding resynchronises on the next lead byte.
char32_t DecodeUtf8(const unsigned char* src, std::size_t cb, std::size_t& i) {
    unsigned char lead = src[i++];
    if (lead < 0x80) return lead;
    int extra;
    char32_t cp;
    char32_t minimum;
    if ((lead & 0xE0) == 0xC0) {
        extra = 1, cp = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2, cp = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3, cp = lead & 0x07, minimum = 0x10000;
    } else {
        return kReplacement;
    }
    if (i + extra > cb) return kReplacement;
    for (int k = 0; k < extra; ++k) {
        if ((src[i + k] & 0xC0) != 0x80) return kReplacement;
        cp = (cp << 6) | (src[i + k] & 0x3F);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return kReplacement;
    i += extra;
    return cp;
}

char32_t DecodeUtf16(const WCHAR* src, std::size_t cch, std::size_t& i) {
    char32_t unit = src[i++];
    if (unit < 0xD800 || unit > 0xDFFF) return unit;
    if (unit <= 0xDBFF && i < cch && src[i] >= 0xDC00 && src[i] <= 0xDFFF) {
        char32_t low = src[i++];
        return 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
    }
    return kReplacement;
}

} // namespace

std::size_t Utf8ToUtf16(const char* src, std::size_t cbSrc, WCHAR* dest, std::size_t cchDest) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(src);
    std::size_t out = 0;
    for (std::size_t i = 0; i < cbSrc;) {
        char32_t cp = DecodeUtf8(bytes, cbSrc, i);
        std::size_t units = cp >= 0x10000 ? 2 : 1;
        if (dest != nullptr) {
            if (out + units > cchDest) return 0;
            if (units == 2) {
                dest[out] = static_cast<WCHAR>(0xD800 + ((cp - 0x10000) >> 10));
                dest[out + 1] = static_cast<WCHAR>(0xDC00 + ((cp - 0x10000) & 0x3FF));
            } else {
                dest[out] = static_cast<WCHAR>(cp);
            }
        }
        out += units;
    }
    return out;
}

std::size_t Utf16ToUtf8(const WCHAR* src, std::size_t cchSrc, char* dest, std::size_t cbDest) {
    std::size_t out = 0;
    for (std::size_t i = 0; i < cchSrc;) {
        char32_t cp = DecodeUtf16(src, cchSrc, i);
        unsigned char buf[4];
        std::size_t n;
        if (cp < 0x80) {
            buf[0] = static_cast<unsigned char>(cp), n = 1;
        } else if (cp < 0x800) {
            buf[0] = static_cast<unsigned char>(0xC0 | (cp >> 6));
            buf[1] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
            n = 2;
        } else if (cp < 0x10000) {
            buf[0] = static_cast<unsigned char>(0xE0 | (cp >> 12));
            buf[1] = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
            buf[2] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
            n = 3;
        } else {
            buf[0] = static_cast<unsigned char>(0xF0 | (cp >> 18));
            buf[1] = static_cast<unsigned char>(0x80 | ((cp >> 12) & 0x3F));
            buf[2] = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
            buf[3] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
            n = 4;
        }
        if (dest != nullptr) {
            if (out + n > cbDest) return 0;
            for (std::size_t k = 0; k < n; ++k)
                dest[out + k] = static_cast<char>(buf[k]);
        }
        out += n;
    }
    return out;
}

std::u16string ToUtf16(std::string_view text) {
    std::u16string result(Utf8ToUtf16(text.data(), text.size(), nullptr, 0), u'\0');
    Utf8ToUtf16(text.data(), text.size(), result.data(), result.size());
    return result;
}

std::string ToUtf8(std::u16string_view text) {
    std::string result(Utf16ToUtf8(text.data(), text.size(), nullptr, 0), '\0');
    Utf16ToUtf8(text.data(), text.size(), result.data(), result.size());
    return result;
}

char16_t FoldCaseChar(char16_t c) {
    if (c < 0x80) return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 0x20) : c;
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<char16_t>(c - 0x20);
    if (c == 0xFF) return 0x178;
    if (c >= 0x100 && c <= 0x17F) {
        if (c == 0x130 || c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17F) return c;
        // Upper case at the odd positions in these two runs, at the even ones elsewhere.
        if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E))
            return c % 2 == 0 ? static_cast<char16_t>(c - 1) : c;
        return c % 2 == 1 ? static_cast<char16_t>(c - 1) : c;
    }
    if (c == 0x3C2) return 0x3A3;
    if (c >= 0x3B1 && c <= 0x3C9) return static_cast<char16_t>(c - 0x20);
    if (c >= 0x430 && c <= 0x44F) return static_cast<char16_t>(c - 0x20);
    if (c >= 0x450 && c <= 0x45F) return static_cast<char16_t>(c - 0x50);
    return c;
}

std::u16string FoldCase(std::u16string_view text) {
    std::u16string folded(text);
    for (char16_t& c : folded)
        c = FoldCaseChar(c);
    return folded;
}

} // namespace host
