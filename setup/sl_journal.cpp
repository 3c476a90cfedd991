// The journal and its uninstall log: rendering and reading.
#include "setup/sl_internal.h"

#include <cstring>

namespace sl {

namespace {

constexpr const char* kaszKeyword[] = {"deletedir", "deletefile", "deletekey", "deleteval",
                                       "apphook"};
constexpr int kcKeyword = static_cast<int>(sizeof(kaszKeyword) / sizeof(kaszKeyword[0]));

bool IsKnownType(int nType) {
    return nType >= 0 && nType < kcKeyword;
}

bool IsWhite(char ch) {
    return ch == ' ' || ch == '\t' || ch == '\r' || ch == '\n';
}

// ---- Reading -------------------------------------------------------------------------------

enum TokenKind { kEof, kOpen, kClose, kQuoted, kWord };

struct Token {
    TokenKind nKind = kEof;
    const char* pch = nullptr; // the word or the quoted text without its quotes
    std::size_t cch = 0;
};

class Tokenizer {
public:
    Tokenizer(const char* pch, std::size_t cch) : pch_(pch), cch_(pch == nullptr ? 0 : cch) {}

    Token Next() {
        for (;;) {
            while (i_ < cch_ && IsWhite(pch_[i_])) {
                if (pch_[i_] == '\r' || pch_[i_] == '\n') fLineStart_ = true;
                ++i_;
            }
            if (i_ >= cch_) return Token{};
            if (fLineStart_ && pch_[i_] == '#') {
                // A comment line; CR ends it as well as LF, so a log with either line end
                // reads the same.
                while (i_ < cch_ && pch_[i_] != '\r' && pch_[i_] != '\n')
                    ++i_;
                continue;
            }
            break;
        }
        fLineStart_ = false;
        Token tok;
        char ch = pch_[i_];
        if (ch == '{' || ch == '}') {
            tok.nKind = ch == '{' ? kOpen : kClose;
            tok.pch = pch_ + i_++;
            tok.cch = 1;
            return tok;
        }
        if (ch == '"') {
            // No escapes: the text runs to the closing quote or the end of its line.
            std::size_t iStart = ++i_;
            while (i_ < cch_ && pch_[i_] != '"' && pch_[i_] != '\r' && pch_[i_] != '\n')
                ++i_;
            tok.nKind = kQuoted;
            tok.pch = pch_ + iStart;
            tok.cch = i_ - iStart;
            if (i_ < cch_ && pch_[i_] == '"') ++i_;
            return tok;
        }
        std::size_t iStart = i_;
        while (i_ < cch_ && !IsWhite(pch_[i_]) && pch_[i_] != '{' && pch_[i_] != '}' &&
               pch_[i_] != '"')
            ++i_;
        tok.nKind = kWord;
        tok.pch = pch_ + iStart;
        tok.cch = i_ - iStart;
        return tok;
    }

private:
    const char* pch_;
    std::size_t cch_;
    std::size_t i_ = 0;
    bool fLineStart_ = true;
};

char LowerAscii(char ch) {
    return (ch >= 'A' && ch <= 'Z') ? static_cast<char>(ch - 'A' + 'a') : ch;
}

int KeywordType(const Token& tok) {
    if (tok.nKind != kWord) return -1;
    for (int nType = 0; nType < kcKeyword; ++nType) {
        const char* psz = kaszKeyword[nType];
        if (std::strlen(psz) != tok.cch) continue;
        std::size_t i = 0;
        while (i < tok.cch && LowerAscii(tok.pch[i]) == psz[i])
            ++i;
        if (i == tok.cch) return nType;
    }
    return -1;
}

// A quoted text as an entry's text; false when it cannot be one (a NUL byte means the log
// is damaged, and a text the string cannot hold is no path either).
bool TextOf(const Token& tok, string* pstr) {
    if (tok.nKind != kQuoted) return false;
    if (tok.cch > 0 && std::memchr(tok.pch, 0, tok.cch) != nullptr) return false;
    if (tok.cch > 0x3FFFFF00u) return false;
    pstr->Assign(tok.pch, static_cast<int>(tok.cch));
    return static_cast<std::size_t>(pstr->Length()) == tok.cch;
}

} // namespace

// ---- Journal -------------------------------------------------------------------------------

Journal::Journal() : entries_(MEM_TAG("JournalEntry")), index_(MEM_TAG("journal index")) {}

mem::basic_string<char> Journal::KeyOf(int nType, const string& strFirst, const string& strSecond) {
    // The type, the first text's length, then both texts: no two entries share a key, even
    // when their texts hold any byte at all.
    mem::basic_string<char> key(mem::Allocator<char>(MEM_TAG("journal key")));
    key.reserve(static_cast<std::size_t>(strFirst.Length() + strSecond.Length()) + 16);
    key += static_cast<char>('0' + nType);
    key += std::to_string(strFirst.Length()).c_str();
    key += ':';
    key.append(strFirst.Text(), static_cast<std::size_t>(strFirst.Length()));
    key.append(strSecond.Text(), static_cast<std::size_t>(strSecond.Length()));
    return key;
}

bool Journal::Add(int nType, const string& strFirst, const string& strSecond) {
    if (!IsKnownType(nType)) return false;
    // Only a deleteval has a second text; elsewhere it takes no part in what the entry is.
    const string strNone;
    const string& strValue = nType == kDeleteVal ? strSecond : strNone;
    auto key = KeyOf(nType, strFirst, strValue);
    if (index_.find(key) != index_.end()) return false;
    JournalEntry entry;
    entry.nType = nType;
    entry.strFirst = strFirst;
    entry.strSecond = strValue;
    entries_.push_back(std::move(entry));
    index_.emplace(std::move(key), entries_.size() - 1);
    return true;
}

bool Journal::Contains(int nType, const string& strFirst, const string& strSecond) const {
    if (!IsKnownType(nType)) return false;
    const string strNone;
    return index_.find(KeyOf(nType, strFirst, nType == kDeleteVal ? strSecond : strNone)) !=
           index_.end();
}

void Journal::Clear() {
    entries_.clear();
    index_.clear();
}

// ---- The uninstall log ---------------------------------------------------------------------

const char kszLogHeader[] =
    "#\n"
    "# This uninstall log is automatically generated during installation\n"
    "# and is used by the Vantor Software uninstaller for removing this\n"
    "# product from your machine.\n"
    "#\n"
    "# If this file is missing or damaged, Windows will be unable to\n"
    "# automatically uninstall this product.\n"
    "#\n"
    "###############################################################################\n"
    "\n";

const char* JournalKeyword(int nType) {
    return IsKnownType(nType) ? kaszKeyword[nType] : nullptr;
}

bool IsLoggable(const string& str) {
    const char* pch = str.Text();
    for (int i = 0; i < str.Length(); ++i) {
        char ch = pch[i];
        if (ch == '"' || ch == '\r' || ch == '\n' || ch == '\0') return false;
    }
    return true;
}

string RenderLog(const Journal& journal) {
    string strLog(kszLogHeader);
    string strLine;
    for (const JournalEntry& entry : journal.Entries()) {
        if (!IsKnownType(entry.nType) || !IsLoggable(entry.strFirst)) continue;
        if (entry.nType == kDeleteVal && !IsLoggable(entry.strSecond)) continue;
        strLine = JournalKeyword(entry.nType);
        strLine += " { \"";
        strLine += entry.strFirst;
        if (entry.nType == kDeleteVal) {
            strLine += "\" \"";
            strLine += entry.strSecond;
        }
        strLine += "\" }\n";
        // A text too long to hold would end the log inside a line; stop before it instead.
        int cchBefore = strLog.Length();
        strLog += strLine;
        if (strLine.GetAt(strLine.Length() - 1) != '\n' ||
            strLog.Length() != cchBefore + strLine.Length()) {
            strLog = strLog.Substring(0, cchBefore);
            break;
        }
    }
    return strLog;
}

int ParseLog(const char* pch, std::size_t cch, Journal& journal) {
    Tokenizer tokens(pch, cch);
    int cRead = 0;
    string strFirst;
    string strSecond;
    for (;;) {
        int nType = KeywordType(tokens.Next());
        if (nType < 0) break;
        if (tokens.Next().nKind != kOpen) break;
        if (!TextOf(tokens.Next(), &strFirst)) break;
        strSecond.Empty();
        if (nType == kDeleteVal && !TextOf(tokens.Next(), &strSecond)) break;
        if (tokens.Next().nKind != kClose) break;
        journal.Add(nType, strFirst, strSecond);
        ++cRead;
    }
    return cRead;
}

} // namespace sl
