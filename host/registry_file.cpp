#include "host/registry_file.h"

#include "host/codepage.h"

#include <algorithm>
#include <cstdio>

namespace host::regfile {
namespace {

constexpr std::string_view kVersionLine = "KELVANO REGISTRY 1";
constexpr std::string_view kVersionPrefix = "KELVANO REGISTRY ";

const char* const kRootNames[kRootCount] = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER",
                                            "HKEY_LOCAL_MACHINE"};
const char* const kRootShortNames[kRootCount] = {"HKCR", "HKCU", "HKLM"};

constexpr DWORD REG_SZ_TYPE = 1;
constexpr DWORD REG_EXPAND_SZ_TYPE = 2;
constexpr DWORD REG_DWORD_TYPE = 4;
constexpr DWORD REG_BINARY_TYPE = 3;
constexpr DWORD REG_MULTI_SZ_TYPE = 7;

bool IsHigh(char32_t u) {
    return u >= 0xD800 && u <= 0xDBFF;
}
bool IsLow(char32_t u) {
    return u >= 0xDC00 && u <= 0xDFFF;
}

// Characters that are valid text but would be invisible or break a line in the file.
bool NeedsEscape(char32_t cp) {
    return cp < 0x20 || (cp >= 0x7F && cp <= 0x9F) || cp == 0xFEFF || cp == 0x2028 ||
           cp == 0x2029 || cp == 0xFFFE || cp == 0xFFFF;
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

void AppendUnits(std::u16string& out, char32_t cp) {
    if (cp >= 0x10000) {
        out += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
        out += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
        out += static_cast<char16_t>(cp);
    }
}

void AppendUnitEscape(std::string& out, char16_t u) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "\\u%04X", static_cast<unsigned>(u));
    out += buf;
}

void AppendQuoted(std::string& out, std::u16string_view text) {
    out += '"';
    for (std::size_t i = 0; i < text.size(); ++i) {
        char16_t u = text[i];
        if (IsHigh(u) && i + 1 < text.size() && IsLow(text[i + 1])) {
            AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (text[i + 1] - 0xDC00));
            ++i;
            continue;
        }
        switch (u) {
        case u'"':
            out += "\\\"";
            continue;
        case u'\\':
            out += "\\\\";
            continue;
        case u'\n':
            out += "\\n";
            continue;
        case u'\r':
            out += "\\r";
            continue;
        case u'\t':
            out += "\\t";
            continue;
        case 0:
            out += "\\0";
            continue;
        default:
            break;
        }
        if (IsHigh(u) || IsLow(u) || NeedsEscape(u))
            AppendUnitEscape(out, u);
        else
            AppendUtf8(out, u);
    }
    out += '"';
}

// A key name can stand bare in a header when it reads back unchanged without quotes.
bool CanStandBare(std::u16string_view name) {
    if (name.empty() || name.front() == u' ' || name.back() == u' ') return false;
    for (std::size_t i = 0; i < name.size(); ++i) {
        char16_t u = name[i];
        if (IsHigh(u) && i + 1 < name.size() && IsLow(name[i + 1])) {
            ++i;
            continue;
        }
        if (IsHigh(u) || IsLow(u) || NeedsEscape(u) || u == u'"' || u == u'\\' || u == u']')
            return false;
    }
    return true;
}

void AppendName(std::string& out, std::u16string_view name) {
    if (!CanStandBare(name)) {
        AppendQuoted(out, name);
        return;
    }
    for (std::size_t i = 0; i < name.size(); ++i) {
        char16_t u = name[i];
        if (IsHigh(u)) {
            AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (name[i + 1] - 0xDC00));
            ++i;
        } else {
            AppendUtf8(out, u);
        }
    }
}

std::u16string UnitsOf(const std::vector<BYTE>& data) {
    std::u16string units(data.size() / 2, u'\0');
    for (std::size_t i = 0; i < units.size(); ++i)
        units[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
    return units;
}

void AppendBytesOf(std::vector<BYTE>& data, std::u16string_view units) {
    for (char16_t u : units) {
        data.push_back(static_cast<BYTE>(u & 0xFF));
        data.push_back(static_cast<BYTE>(u >> 8));
    }
}

// The texts of REG_MULTI_SZ data when the multi: form holds it exactly.
bool SplitMulti(const std::vector<BYTE>& data, std::vector<std::u16string>& texts) {
    if (data.size() < 2 || data.size() % 2 != 0) return false;
    std::u16string units = UnitsOf(data);
    if (units.back() != 0) return false;
    units.pop_back();
    if (!units.empty() && units.back() != 0) return false;
    std::size_t start = 0;
    while (start < units.size()) {
        std::size_t end = units.find(u'\0', start);
        texts.emplace_back(units.substr(start, end - start));
        start = end + 1;
    }
    return true;
}

void AppendHexBytes(std::string& out, const std::vector<BYTE>& data) {
    static const char kDigits[] = "0123456789abcdef";
    const bool fWrap = data.size() > 16;
    for (std::size_t i = 0; i < data.size(); ++i) {
        if (fWrap && i % 16 == 0)
            out += i == 0 ? "\\\n  " : " \\\n  ";
        else if (i > 0)
            out += ' ';
        out += kDigits[data[i] >> 4];
        out += kDigits[data[i] & 15];
    }
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads the text form. Each method returns false after recording the first error.
class Parser {
public:
    explicit Parser(std::string_view text) : s_(text) {}

    RegParseResult Run() {
        RegParseResult result;
        if (s_.substr(0, 3) == "\xEF\xBB\xBF") i_ = 3;
        if (ParseVersion() && ParseBody()) result.fOk = true;
        result.nLine = line_;
        if (result.fOk) {
            result.nLine = 0;
            result.sections = std::move(sections_);
        } else {
            result.message = "line " + std::to_string(line_) + ": " + error_;
            result.fUnknownVersion = fUnknownVersion_;
        }
        return result;
    }

private:
    bool Fail(std::string message) {
        error_ = std::move(message);
        return false;
    }

    bool AtEnd() const { return i_ >= s_.size(); }

    bool AtLineEnd() const {
        return AtEnd() || s_[i_] == '\n' ||
               (s_[i_] == '\r' && (i_ + 1 == s_.size() || s_[i_ + 1] == '\n'));
    }

    void SkipSpaces() {
        while (!AtEnd() && (s_[i_] == ' ' || s_[i_] == '\t'))
            ++i_;
    }

    // Ends the current line: only blanks may remain on it.
    bool EndLine() {
        SkipSpaces();
        if (!AtLineEnd()) return Fail("unexpected text at the end of the line");
        if (!AtEnd() && s_[i_] == '\r') ++i_;
        if (!AtEnd()) {
            ++i_;
            ++line_;
        }
        return true;
    }

    // Skips blanks and any "\" line continuations.
    void SkipContinuations() {
        for (;;) {
            SkipSpaces();
            if (AtEnd() || s_[i_] != '\\') return;
            std::size_t j = i_ + 1;
            while (j < s_.size() && (s_[j] == ' ' || s_[j] == '\t'))
                ++j;
            if (j < s_.size() && s_[j] == '\r') ++j;
            if (j >= s_.size() || s_[j] != '\n') return;
            i_ = j + 1;
            ++line_;
        }
    }

    void SkipLine() {
        while (!AtEnd() && s_[i_] != '\n')
            ++i_;
        if (!AtEnd()) {
            ++i_;
            ++line_;
        }
    }

    // Decodes one code point of strict UTF-8.
    bool DecodeUtf8(char32_t& cp) {
        auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s_[k]); };
        unsigned char lead = byte(i_);
        int extra;
        char32_t minimum;
        if (lead < 0x80) {
            cp = lead;
            ++i_;
            return true;
        } else if ((lead & 0xE0) == 0xC0) {
            extra = 1, cp = lead & 0x1F, minimum = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            extra = 2, cp = lead & 0x0F, minimum = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            extra = 3, cp = lead & 0x07, minimum = 0x10000;
        } else {
            return Fail("invalid UTF-8");
        }
        if (i_ + extra >= s_.size()) return Fail("invalid UTF-8");
        for (int k = 1; k <= extra; ++k) {
            if ((byte(i_ + k) & 0xC0) != 0x80) return Fail("invalid UTF-8");
            cp = (cp << 6) | (byte(i_ + k) & 0x3F);
        }
        if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return Fail("invalid UTF-8");
        i_ += extra + 1;
        return true;
    }

    bool ParseQuoted(std::u16string& out) {
        if (AtEnd() || s_[i_] != '"') return Fail("expected a quoted text");
        ++i_;
        for (;;) {
            if (AtEnd() || s_[i_] == '\n' || s_[i_] == '\r') return Fail("unterminated text");
            char c = s_[i_];
            if (c == '"') {
                ++i_;
                return true;
            }
            if (c == '\\') {
                if (i_ + 1 >= s_.size()) return Fail("unterminated text");
                char e = s_[i_ + 1];
                i_ += 2;
                switch (e) {
                case '"':
                    out += u'"';
                    break;
                case '\\':
                    out += u'\\';
                    break;
                case 'n':
                    out += u'\n';
                    break;
                case 'r':
                    out += u'\r';
                    break;
                case 't':
                    out += u'\t';
                    break;
                case '0':
                    out += u'\0';
                    break;
                case 'u': {
                    unsigned unit = 0;
                    for (int k = 0; k < 4; ++k) {
                        int d = i_ < s_.size() ? HexDigit(s_[i_]) : -1;
                        if (d < 0) return Fail("\\u needs four hexadecimal digits");
                        unit = unit * 16 + static_cast<unsigned>(d);
                        ++i_;
                    }
                    out += static_cast<char16_t>(unit);
                    break;
                }
                default:
                    return Fail("unknown escape \\" + std::string(1, e));
                }
                continue;
            }
            char32_t cp;
            if (!DecodeUtf8(cp)) return false;
            if (cp < 0x20 && cp != '\t')
                return Fail("control character in a text (write it as an escape)");
            AppendUnits(out, cp);
        }
    }

    bool ParseVersion() {
        std::size_t end = s_.find('\n', i_);
        std::string_view line = s_.substr(i_, end == std::string_view::npos ? end : end - i_);
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
            line.remove_suffix(1);
        if (line != kVersionLine) {
            if (line.substr(0, kVersionPrefix.size()) == kVersionPrefix) {
                std::string_view version = line.substr(kVersionPrefix.size());
                fUnknownVersion_ = !version.empty() &&
                                   version.find_first_not_of("0123456789") == std::string::npos;
                return Fail("unsupported version \"" + std::string(version) + "\"");
            }
            return Fail("not a registry text (the first line must be \"" +
                        std::string(kVersionLine) + "\")");
        }
        i_ += line.size();
        return EndLine();
    }

    bool ParseBody() {
        bool fEnd = false;
        while (!AtEnd()) {
            SkipSpaces();
            if (AtLineEnd()) {
                EndLine();
                continue;
            }
            char c = s_[i_];
            if (c == ';') {
                SkipLine();
                continue;
            }
            if (fEnd) return Fail("text after END");
            if (c == '[') {
                if (!ParseHeader()) return false;
            } else if (c == '@' || c == '"') {
                if (sections_.empty()) return Fail("value outside a key section");
                if (!ParseValue(sections_.back())) return false;
            } else if (s_.substr(i_, 3) == "END") {
                i_ += 3;
                if (!EndLine()) return false;
                fEnd = true;
            } else {
                return Fail("unexpected text");
            }
        }
        if (!fEnd) return Fail("missing END line: the text is cut short");
        return true;
    }

    bool ParseHeader() {
        RegSection section;
        section.nLine = line_;
        ++i_; // '['
        std::size_t start = i_;
        while (!AtLineEnd() && s_[i_] != '\\' && s_[i_] != ']')
            ++i_;
        section.iRoot = FindRoot(s_.substr(start, i_ - start));
        if (section.iRoot < 0)
            return Fail("unknown root \"" + std::string(s_.substr(start, i_ - start)) + "\"");
        while (!AtLineEnd() && s_[i_] == '\\') {
            ++i_;
            std::u16string name;
            if (!AtEnd() && s_[i_] == '"') {
                if (!ParseQuoted(name)) return false;
            } else if (!ParseBareName(name)) {
                return false;
            }
            if (name.empty()) return Fail("empty key name");
            if (name.find(u'\\') != std::u16string::npos) return Fail("key name holds a backslash");
            if (name.find(u'\0') != std::u16string::npos)
                return Fail("name holds a zero character");
            if (name.size() > kMaxKeyNameLength) return Fail("key name longer than 255 characters");
            if (section.path.size() >= kMaxDepth) return Fail("key path deeper than 512 levels");
            section.path.push_back(std::move(name));
        }
        if (AtLineEnd() || s_[i_] != ']') return Fail("key header without a closing \"]\"");
        ++i_;
        if (!EndLine()) return false;
        sections_.push_back(std::move(section));
        return true;
    }

    bool ParseBareName(std::u16string& name) {
        while (!AtLineEnd() && s_[i_] != '\\' && s_[i_] != ']') {
            char32_t cp;
            if (!DecodeUtf8(cp)) return false;
            if (cp == '"' || NeedsEscape(cp)) return Fail("key name needs quotes");
            AppendUnits(name, cp);
        }
        return true;
    }

    bool ParseValue(RegSection& section) {
        RegValueEntry value;
        if (s_[i_] == '@') {
            ++i_;
        } else if (!ParseQuoted(value.name)) {
            return false;
        }
        if (value.name.size() > kMaxValueNameLength)
            return Fail("value name longer than 16383 characters");
        if (value.name.find(u'\0') != std::u16string::npos)
            return Fail("name holds a zero character");
        SkipSpaces();
        if (AtEnd() || s_[i_] != '=') return Fail("expected \"=\" after the value name");
        ++i_;
        SkipSpaces();
        std::size_t start = i_;
        while (!AtEnd() && s_[i_] >= 'a' && s_[i_] <= 'z')
            ++i_;
        std::string_view kind = s_.substr(start, i_ - start);
        bool fOk;
        if (kind == "sz" || kind == "expand") {
            value.nType = kind == "sz" ? REG_SZ_TYPE : REG_EXPAND_SZ_TYPE;
            fOk = ExpectColon() && ParseSz(value.data);
        } else if (kind == "multi") {
            value.nType = REG_MULTI_SZ_TYPE;
            fOk = ExpectColon() && ParseMulti(value.data);
        } else if (kind == "dword") {
            value.nType = REG_DWORD_TYPE;
            fOk = ExpectColon() && ParseDword(value.data);
        } else if (kind == "hex") {
            value.nType = REG_BINARY_TYPE;
            fOk = ParseHexType(value.nType) && ExpectColon() && ParseHex(value.data);
        } else {
            return Fail("unknown value type \"" + std::string(kind) + "\"");
        }
        if (!fOk || !EndLine()) return false;
        section.values.push_back(std::move(value));
        return true;
    }

    bool ExpectColon() {
        if (AtEnd() || s_[i_] != ':') return Fail("expected \":\" after the value type");
        ++i_;
        return true;
    }

    bool ParseSz(std::vector<BYTE>& data) {
        SkipSpaces();
        std::u16string text;
        if (!ParseQuoted(text)) return false;
        text += u'\0';
        AppendBytesOf(data, text);
        return true;
    }

    bool ParseMulti(std::vector<BYTE>& data) {
        SkipContinuations();
        if (!AtEnd() && s_[i_] == '"') {
            for (;;) {
                std::u16string text;
                if (!ParseQuoted(text)) return false;
                text += u'\0';
                AppendBytesOf(data, text);
                SkipContinuations();
                if (AtEnd() || s_[i_] != ',') break;
                ++i_;
                SkipContinuations();
            }
        }
        AppendBytesOf(data, std::u16string(1, u'\0'));
        return true;
    }

    bool ParseDword(std::vector<BYTE>& data) {
        DWORD n = 0;
        int digits = 0;
        for (int d; !AtEnd() && (d = HexDigit(s_[i_])) >= 0; ++i_, ++digits) {
            if (digits == 8) return Fail("dword with more than 8 hexadecimal digits");
            n = n * 16 + static_cast<DWORD>(d);
        }
        if (digits == 0) return Fail("dword without digits");
        for (int k = 0; k < 4; ++k)
            data.push_back(static_cast<BYTE>(n >> (8 * k)));
        return true;
    }

    bool ParseHexType(DWORD& nType) {
        if (AtEnd() || s_[i_] != '(') return true;
        ++i_;
        std::uint64_t n = 0;
        int digits = 0;
        for (; !AtEnd() && s_[i_] >= '0' && s_[i_] <= '9'; ++i_, ++digits) {
            n = n * 10 + static_cast<unsigned>(s_[i_] - '0');
            if (n > 0xFFFFFFFFu) return Fail("value type number too large");
        }
        if (digits == 0 || AtEnd() || s_[i_] != ')')
            return Fail("expected a decimal type number in hex(...)");
        ++i_;
        nType = static_cast<DWORD>(n);
        return true;
    }

    bool ParseHex(std::vector<BYTE>& data) {
        for (;;) {
            SkipContinuations();
            if (AtEnd()) return true;
            if (s_[i_] == ',') {
                ++i_;
                continue;
            }
            int hi = HexDigit(s_[i_]);
            if (hi < 0) return true;
            int lo = i_ + 1 < s_.size() ? HexDigit(s_[i_ + 1]) : -1;
            if (lo < 0) return Fail("hexadecimal bytes need two digits each");
            data.push_back(static_cast<BYTE>(hi * 16 + lo));
            i_ += 2;
        }
    }

    std::string_view s_;
    std::size_t i_ = 0;
    std::size_t line_ = 1;
    std::string error_;
    bool fUnknownVersion_ = false;
    std::vector<RegSection> sections_;
};

} // namespace

const char* RootName(int iRoot) {
    return kRootNames[iRoot];
}
const char* RootShortName(int iRoot) {
    return kRootShortNames[iRoot];
}

int FindRoot(std::string_view name) {
    auto same = [](std::string_view a, std::string_view b) {
        return a.size() == b.size() &&
               std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
                   auto up = [](char c) { return c >= 'a' && c <= 'z' ? char(c - 32) : c; };
                   return up(x) == up(y);
               });
    };
    for (int i = 0; i < kRootCount; ++i) {
        if (same(name, kRootNames[i]) || same(name, kRootShortNames[i])) return i;
    }
    return -1;
}

bool SameName(std::u16string_view a, std::u16string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(),
                      [](char16_t x, char16_t y) { return FoldCaseChar(x) == FoldCaseChar(y); });
}

RegKeyNode* RegKeyNode::FindSubkey(std::u16string_view name) const {
    auto it = subkeys.find(FoldCase(name));
    return it == subkeys.end() ? nullptr : it->second.get();
}

RegKeyNode& RegKeyNode::EnsureSubkey(std::u16string_view name, bool* pfCreated) {
    auto [it, fInserted] = subkeys.try_emplace(FoldCase(name));
    if (fInserted) {
        it->second = std::make_unique<RegKeyNode>();
        it->second->name = name;
    }
    if (pfCreated != nullptr) *pfCreated = fInserted;
    return *it->second;
}

bool RegKeyNode::RemoveSubkey(std::u16string_view name) {
    return subkeys.erase(FoldCase(name)) != 0;
}

RegValueEntry* RegKeyNode::FindValue(std::u16string_view name) {
    for (RegValueEntry& value : values) {
        if (SameName(value.name, name)) return &value;
    }
    return nullptr;
}

const RegValueEntry* RegKeyNode::FindValue(std::u16string_view name) const {
    return const_cast<RegKeyNode*>(this)->FindValue(name);
}

void RegKeyNode::SetValue(std::u16string_view name, DWORD nType, std::vector<BYTE> data) {
    if (RegValueEntry* value = FindValue(name)) {
        value->nType = nType;
        value->data = std::move(data);
        return;
    }
    values.push_back({std::u16string(name), nType, std::move(data)});
}

bool RegKeyNode::RemoveValue(std::u16string_view name) {
    for (auto it = values.begin(); it != values.end(); ++it) {
        if (SameName(it->name, name)) {
            values.erase(it);
            return true;
        }
    }
    return false;
}

bool RegKeyNode::Equals(const RegKeyNode& other) const {
    if (name != other.name || values != other.values || subkeys.size() != other.subkeys.size())
        return false;
    for (auto a = subkeys.begin(), b = other.subkeys.begin(); a != subkeys.end(); ++a, ++b) {
        if (a->first != b->first || !a->second->Equals(*b->second)) return false;
    }
    return true;
}

RegParseResult ParseText(std::string_view text) {
    return Parser(text).Run();
}

void ApplySection(RegKeyNode& root, const RegSection& section) {
    RegKeyNode* node = &root;
    for (const std::u16string& name : section.path)
        node = &node->EnsureSubkey(name);
    for (const RegValueEntry& value : section.values)
        node->SetValue(value.name, value.nType, value.data);
}

RegParseResult LoadHive(std::string_view text, int iRoot, RegKeyNode& hive) {
    RegParseResult parsed = ParseText(text);
    if (!parsed.fOk) return parsed;
    for (const RegSection& section : parsed.sections) {
        if (section.iRoot != iRoot) {
            RegParseResult wrong;
            wrong.nLine = section.nLine;
            wrong.message = "line " + std::to_string(section.nLine) + ": a key of " +
                            RootName(section.iRoot) + " in the file of " + RootName(iRoot);
            return wrong;
        }
    }
    for (const RegSection& section : parsed.sections)
        ApplySection(hive, section);
    parsed.sections.clear();
    return parsed;
}

bool LoadHive(std::string_view text, int iRoot, RegKeyNode& hive, std::string& message) {
    RegParseResult loaded = LoadHive(text, iRoot, hive);
    message = loaded.message;
    return loaded.fOk;
}

void AppendHeader(std::string& out) {
    out += kVersionLine;
    out += '\n';
}

void AppendSubtree(std::string& out, int iRoot, const std::vector<std::u16string>& path,
                   const RegKeyNode& key) {
    out += "\n[";
    out += FormatKeyPath(iRoot, path);
    out += "]\n";
    for (const RegValueEntry& value : key.values) {
        out += FormatValue(value);
        out += '\n';
    }
    std::vector<std::u16string> subpath = path;
    for (const auto& [folded, subkey] : key.subkeys) {
        subpath.push_back(subkey->name);
        AppendSubtree(out, iRoot, subpath, *subkey);
        subpath.pop_back();
    }
}

void AppendTrailer(std::string& out) {
    out += "\nEND\n";
}

std::string WriteHive(int iRoot, const RegKeyNode& hive) {
    std::string out;
    AppendHeader(out);
    AppendSubtree(out, iRoot, {}, hive);
    AppendTrailer(out);
    return out;
}

std::string FormatValue(const RegValueEntry& value) {
    std::string out;
    if (value.name.empty())
        out += '@';
    else
        AppendQuoted(out, value.name);
    out += '=';
    const std::vector<BYTE>& data = value.data;
    const bool fUnits =
        data.size() >= 2 && data.size() % 2 == 0 && data[data.size() - 2] == 0 && data.back() == 0;
    std::vector<std::u16string> texts;
    if ((value.nType == REG_SZ_TYPE || value.nType == REG_EXPAND_SZ_TYPE) && fUnits) {
        out += value.nType == REG_SZ_TYPE ? "sz:" : "expand:";
        std::u16string units = UnitsOf(data);
        units.pop_back();
        AppendQuoted(out, units);
    } else if (value.nType == REG_MULTI_SZ_TYPE && SplitMulti(data, texts)) {
        out += "multi:";
        for (std::size_t i = 0; i < texts.size(); ++i) {
            if (texts.size() > 1) out += i == 0 ? "\\\n  " : ",\\\n  ";
            AppendQuoted(out, texts[i]);
        }
    } else if (value.nType == REG_DWORD_TYPE && data.size() == 4) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "dword:%08x",
                      static_cast<unsigned>(data[0] | (data[1] << 8) | (data[2] << 16) |
                                            (static_cast<DWORD>(data[3]) << 24)));
        out += buf;
    } else {
        if (value.nType == REG_BINARY_TYPE) {
            out += "hex:";
        } else {
            out += "hex(" + std::to_string(value.nType) + "):";
        }
        AppendHexBytes(out, data);
    }
    return out;
}

std::string FormatKeyPath(int iRoot, const std::vector<std::u16string>& path) {
    std::string out = RootName(iRoot);
    for (const std::u16string& name : path) {
        out += '\\';
        AppendName(out, name);
    }
    return out;
}

} // namespace host::regfile
