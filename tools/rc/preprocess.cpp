// The script preprocessor and tokeniser.
#include "tools/rc/rc_internal.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace rc {
namespace {

constexpr int kMaxIncludeDepth = 32;
constexpr int kMaxExpansionDepth = 64;

// Headers of the classic platform whose constants are built in.
const char* const kSystemHeaders[] = {"windows.h", "winres.h",   "winresrc.h", "afxres.h",
                                      "winuser.h", "commctrl.h", "aygshell.h", "newres.h",
                                      "winver.h",  "winnt.h",    "dlgs.h",     "richedit.h"};

bool IsIdentStart(char c) {
    return std::isalpha(static_cast<unsigned char>(c)) || c == '_';
}
bool IsIdentChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

std::string Lower(std::string s) {
    for (auto& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string Describe(char c) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u >= 0x21 && u < 0x7F) return std::string("'") + c + "'";
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%02X", u);
    return std::string("byte ") + buf;
}

// Removes comments from one line; `fInComment` carries an open /* */ across lines. Quotes
// are respected so that "//" inside a string stays.
std::string StripComments(const std::string& line, bool& fInComment, bool fRespectQuotes) {
    std::string out;
    bool fInString = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        char c = line[i];
        if (fInComment) {
            if (c == '*' && i + 1 < line.size() && line[i + 1] == '/') {
                fInComment = false;
                ++i;
                out += ' ';
            }
            continue;
        }
        if (fInString) {
            out += c;
            if (c == '\\' && i + 1 < line.size())
                out += line[++i];
            else if (c == '"') {
                if (i + 1 < line.size() && line[i + 1] == '"')
                    out += line[++i];
                else
                    fInString = false;
            }
            continue;
        }
        if (c == '"' && fRespectQuotes) {
            fInString = true;
            out += c;
            continue;
        }
        if (c == '/' && i + 1 < line.size() && line[i + 1] == '/') break;
        if (c == '/' && i + 1 < line.size() && line[i + 1] == '*') {
            fInComment = true;
            ++i;
            continue;
        }
        out += c;
    }
    return out;
}

std::string Trim(const std::string& s) {
    std::size_t b = s.find_first_not_of(" \t\r\f\v");
    if (b == std::string::npos) return {};
    std::size_t e = s.find_last_not_of(" \t\r\f\v");
    return s.substr(b, e - b + 1);
}

// Evaluates a #if expression over tokens that hold only numbers and punctuation.
class CondEval {
public:
    CondEval(const std::vector<Token>& toks, const Preprocessor& pp, const Location& loc)
        : t_(toks), pp_(pp), loc_(loc) {}

    std::int64_t Run() {
        std::int64_t v = Ternary();
        if (i_ != t_.size()) pp_.Fail(loc_, "unexpected '" + Text(t_[i_]) + "' in #if expression");
        return v;
    }

private:
    static std::string Text(const Token& t) {
        return t.kind == TokKind::String ? "\"...\"" : t.text;
    }
    bool Is(const char* p) const {
        return i_ < t_.size() && t_[i_].kind == TokKind::Punct && t_[i_].text == p;
    }
    bool Take(const char* p) {
        if (!Is(p)) return false;
        ++i_;
        return true;
    }
    std::int64_t Ternary() {
        std::int64_t c = Binary(0);
        if (Take("?")) {
            std::int64_t a = Ternary();
            if (!Take(":")) pp_.Fail(loc_, "expected ':' in #if expression");
            std::int64_t b = Ternary();
            return c ? a : b;
        }
        return c;
    }
    // Precedence climbing over the binary operators, lowest first.
    std::int64_t Binary(int level) {
        static const std::vector<std::vector<const char*>> ops = {{"||"},
                                                                  {"&&"},
                                                                  {"|"},
                                                                  {"^"},
                                                                  {"&"},
                                                                  {"==", "!="},
                                                                  {"<", ">", "<=", ">="},
                                                                  {"<<", ">>"},
                                                                  {"+", "-"},
                                                                  {"*", "/", "%"}};
        if (level == static_cast<int>(ops.size())) return Unary();
        std::int64_t v = Binary(level + 1);
        for (;;) {
            const char* op = nullptr;
            for (const char* o : ops[static_cast<std::size_t>(level)])
                if (Is(o)) op = o;
            if (!op) return v;
            ++i_;
            std::int64_t r = Binary(level + 1);
            std::string s = op;
            if (s == "||")
                v = (v || r);
            else if (s == "&&")
                v = (v && r);
            else if (s == "|")
                v |= r;
            else if (s == "^")
                v ^= r;
            else if (s == "&")
                v &= r;
            else if (s == "==")
                v = (v == r);
            else if (s == "!=")
                v = (v != r);
            else if (s == "<")
                v = (v < r);
            else if (s == ">")
                v = (v > r);
            else if (s == "<=")
                v = (v <= r);
            else if (s == ">=")
                v = (v >= r);
            else if (s == "<<")
                v = (r < 0 || r > 62)
                        ? 0
                        : static_cast<std::int64_t>(static_cast<std::uint64_t>(v) << r);
            else if (s == ">>")
                v = (r < 0 || r > 62) ? 0 : (v >> r);
            else if (s == "+")
                v = static_cast<std::int64_t>(static_cast<std::uint64_t>(v) +
                                              static_cast<std::uint64_t>(r));
            else if (s == "-")
                v = static_cast<std::int64_t>(static_cast<std::uint64_t>(v) -
                                              static_cast<std::uint64_t>(r));
            else if (s == "*")
                v = static_cast<std::int64_t>(static_cast<std::uint64_t>(v) *
                                              static_cast<std::uint64_t>(r));
            else {
                if (r == 0) pp_.Fail(loc_, "division by zero in #if expression");
                if (v == INT64_MIN && r == -1) pp_.Fail(loc_, "overflow in #if expression");
                v = (s == "/") ? v / r : v % r;
            }
        }
    }
    std::int64_t Unary() {
        if (++depth_ > 200) pp_.Fail(loc_, "#if expression nested too deeply");
        std::int64_t v;
        if (Take("!"))
            v = !Unary();
        else if (Take("~"))
            v = ~Unary();
        else if (Take("-"))
            v = static_cast<std::int64_t>(0 - static_cast<std::uint64_t>(Unary()));
        else if (Take("+"))
            v = Unary();
        else if (Take("(")) {
            v = Ternary();
            if (!Take(")")) pp_.Fail(loc_, "expected ')' in #if expression");
        } else if (i_ < t_.size() && t_[i_].kind == TokKind::Number)
            v = t_[i_++].num;
        else if (i_ < t_.size() && t_[i_].kind == TokKind::Ident) {
            ++i_; // names that are not macros count as 0
            v = 0;
        } else if (i_ < t_.size())
            pp_.Fail(loc_, "unexpected '" + Text(t_[i_]) + "' in #if expression");
        else
            pp_.Fail(loc_, "#if expression ends too early");
        --depth_;
        return v;
    }

    const std::vector<Token>& t_;
    const Preprocessor& pp_;
    Location loc_;
    std::size_t i_ = 0;
    int depth_ = 0;
};

} // namespace

// Lexed once: every compile sees the same built-in constants.
const std::map<std::string, Preprocessor::Macro>& Preprocessor::Builtins() {
    static const std::map<std::string, Macro> builtins = [] {
        Options none;
        Preprocessor pp(none, false);
        for (const auto& [name, body] : BuiltinDefines())
            pp.Define(name, body, Location{0, 0});
        return std::move(pp.macros_);
    }();
    return builtins;
}

const std::pair<const std::string, Preprocessor::Macro>*
Preprocessor::FindMacro(const std::string& name) const {
    if (auto it = macros_.find(name); it != macros_.end()) return &*it;
    if (fBuiltins_ && !undefinedBuiltins_.count(name))
        if (auto it = Builtins().find(name); it != Builtins().end()) return &*it;
    return nullptr;
}

bool HasControlChar(const std::string& s) {
    for (char c : s)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return true;
    return false;
}

Preprocessor::Preprocessor(const Options& options, bool fBuiltins)
    : options_(options), fBuiltins_(fBuiltins) {
    files_.push_back("<built-in>");
    files_.push_back("<command line>");
    for (const auto& [name, body] : options_.defines)
        Define(name, body, Location{1, 0});
}

void Preprocessor::Fail(const Location& loc, const std::string& message) const {
    std::string where = FileName(loc.iFile);
    if (loc.nLine > 0) where += ":" + std::to_string(loc.nLine);
    // Control characters (a zero above all) would cut or garble the message.
    std::string text;
    for (char c : where + ": error: " + message) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", u);
            text += buf;
        } else {
            text += c;
        }
    }
    throw Error(text);
}

bool Preprocessor::ReadFile(const std::string& path, std::string* contents) {
    bool ok;
    if (options_.readFile) {
        ok = options_.readFile(path, contents);
    } else {
        std::error_code ec;
        if (!std::filesystem::is_regular_file(path, ec)) return false;
        std::ifstream f(path, std::ios::binary);
        std::ostringstream ss;
        ss << f.rdbuf();
        ok = static_cast<bool>(f);
        if (ok) *contents = ss.str();
    }
    if (ok && std::find(deps_.begin(), deps_.end(), path) == deps_.end()) deps_.push_back(path);
    return ok;
}

void Preprocessor::Run(const std::string& path, const std::string& text) {
    files_.push_back(path);
    if (std::find(deps_.begin(), deps_.end(), path) == deps_.end())
        deps_.insert(deps_.begin(), path);
    RunFile(static_cast<int>(files_.size()) - 1, text, 0);
}

void Preprocessor::RunFile(int iFile, const std::string& textIn, int nDepth) {
    std::string text = textIn;
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);
    std::vector<Cond> conds;
    std::vector<Location> condLocs;
    bool fInComment = false;
    int nCommentLine = 0;
    int nLine = 0;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t eol = text.find('\n', pos);
        if (eol == std::string::npos) eol = text.size();
        std::string line = text.substr(pos, eol - pos);
        pos = eol + 1;
        ++nLine;
        Location loc{iFile, nLine};
        bool fLive = conds.empty() || conds.back().fActive;
        if (!fInComment) nCommentLine = nLine; // where a comment opened on this line starts

        std::string lead = Trim(line);
        if (!fInComment && !lead.empty() && lead[0] == '#') {
            // Join continuation lines.
            while (!line.empty() &&
                   (line.back() == '\\' ||
                    (line.back() == '\r' && line.size() > 1 && line[line.size() - 2] == '\\')) &&
                   pos < text.size()) {
                line.erase(line.find_last_of('\\'));
                std::size_t e = text.find('\n', pos);
                if (e == std::string::npos) e = text.size();
                line += text.substr(pos, e - pos);
                pos = e + 1;
                ++nLine;
            }
            std::string body = StripComments(line, fInComment, fLive);
            std::size_t before = conds.size();
            Directive(iFile, loc.nLine, Trim(body).substr(1), conds, nDepth);
            if (conds.size() > before)
                condLocs.push_back(loc);
            else if (conds.size() < before)
                condLocs.pop_back();
            continue;
        }
        std::string code = StripComments(line, fInComment, fLive && !fDirectivesOnly_);
        if (!fLive || fDirectivesOnly_) continue;
        for (const Token& t : LexLine(code, loc))
            Emit(t);
    }
    if (!conds.empty()) Fail(condLocs.back(), "#if without #endif");
    if (fInComment)
        Fail(Location{iFile, nCommentLine}, "comment not closed at the end of the file");
}

void Preprocessor::Directive(int iFile, int nLine, const std::string& line,
                             std::vector<Cond>& conds, int nDepth) {
    Location loc{iFile, nLine};
    std::string s = Trim(line);
    std::size_t n = 0;
    while (n < s.size() && IsIdentChar(s[n]))
        ++n;
    std::string name = s.substr(0, n);
    std::string rest = Trim(s.substr(n));
    bool fLive = conds.empty() || conds.back().fActive;

    if (name == "if" || name == "ifdef" || name == "ifndef") {
        bool v = false;
        if (fLive) {
            if (name == "if") {
                v = EvalCondition(rest, loc);
            } else {
                std::size_t k = 0;
                while (k < rest.size() && IsIdentChar(rest[k]))
                    ++k;
                if (k == 0 || !IsIdentStart(rest[0])) Fail(loc, "#" + name + " needs a macro name");
                bool fDefined = FindMacro(rest.substr(0, k)) != nullptr;
                v = (name == "ifdef") ? fDefined : !fDefined;
            }
        }
        conds.push_back(Cond{fLive && v, fLive && v, fLive, false});
        return;
    }
    if (name == "elif" || name == "else" || name == "endif") {
        if (conds.empty()) Fail(loc, "#" + name + " without #if");
        Cond& c = conds.back();
        if (name == "endif") {
            conds.pop_back();
            return;
        }
        if (c.fElse) Fail(loc, "#" + name + " after #else");
        if (name == "else") {
            c.fElse = true;
            c.fActive = c.fParentLive && !c.fTaken;
        } else {
            c.fActive = c.fParentLive && !c.fTaken && EvalCondition(rest, loc);
        }
        c.fTaken = c.fTaken || c.fActive;
        return;
    }
    if (!fLive) return;
    if (name.empty() && rest.empty()) return; // a lone '#'
    if (name == "define") {
        std::size_t k = 0;
        while (k < rest.size() && IsIdentChar(rest[k]))
            ++k;
        if (k == 0 || !IsIdentStart(rest[0])) Fail(loc, "#define needs a macro name");
        std::string macro = rest.substr(0, k);
        if (k < rest.size() && rest[k] == '(') {
            macros_[macro] = Macro{{}, "is function-like, which is not supported"};
            undefinedBuiltins_.erase(macro);
            return;
        }
        Define(macro, rest.substr(k), loc);
    } else if (name == "undef") {
        macros_.erase(Trim(rest));
        undefinedBuiltins_.insert(Trim(rest));
    } else if (name == "include") {
        Include(loc, rest, nDepth);
    } else if (name == "pragma" || name == "line" || name == "warning" || name == "ident") {
        // Nothing for us: code pages are always UTF-8.
    } else if (name == "error") {
        Fail(loc, "#error " + rest);
    } else {
        Fail(loc, "unknown directive #" + name);
    }
}

void Preprocessor::Define(const std::string& name, const std::string& body, const Location& loc) {
    Macro m;
    try {
        m.body = LexLine(body, loc);
    } catch (const Error&) {
        // Headers shared with C++ may define things we cannot read; only a use is an error.
        if (!fDirectivesOnly_) throw;
        m.sUnusable = "has a body that cannot be read here";
    }
    macros_[name] = std::move(m);
    undefinedBuiltins_.erase(name);
}

void Preprocessor::Include(const Location& loc, const std::string& rest, int nDepth) {
    if (rest.size() < 2 || !((rest.front() == '"' && rest.find('"', 1) != std::string::npos) ||
                             (rest.front() == '<' && rest.find('>') != std::string::npos)))
        Fail(loc, "#include expects \"file\" or <file>");
    bool fQuoted = rest.front() == '"';
    std::string name = rest.substr(1, rest.find(fQuoted ? '"' : '>', 1) - 1);
    if (name.empty()) Fail(loc, "#include names no file");
    if (HasControlChar(name)) Fail(loc, "file name contains a control character");
    if (nDepth >= kMaxIncludeDepth) Fail(loc, "#include nested too deeply");

    std::vector<std::string> candidates;
    namespace fs = std::filesystem;
    if (fQuoted) {
        fs::path dir = fs::path(FileName(loc.iFile)).parent_path();
        candidates.push_back((dir / name).lexically_normal().string());
    }
    for (const auto& d : options_.includeDirs)
        candidates.push_back((fs::path(d) / name).lexically_normal().string());
    std::string contents;
    for (const auto& path : candidates) {
        if (!ReadFile(path, &contents)) continue;
        files_.push_back(path);
        bool fSaved = fDirectivesOnly_;
        std::string ext = Lower(fs::path(path).extension().string());
        fDirectivesOnly_ = ext == ".h" || ext == ".hpp" || ext == ".hh" || ext == ".hxx";
        RunFile(static_cast<int>(files_.size()) - 1, contents, nDepth + 1);
        fDirectivesOnly_ = fSaved;
        return;
    }
    std::string base = Lower(fs::path(name).filename().string());
    for (const char* h : kSystemHeaders)
        if (base == h) return;
    Fail(loc, "cannot open include file '" + name + "'");
}

std::vector<Token> Preprocessor::LexLine(const std::string& s, const Location& loc) {
    std::vector<Token> out;
    std::size_t i = 0;
    while (i < s.size()) {
        char c = s[i];
        if (c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v') {
            ++i;
            continue;
        }
        Token t;
        t.loc = loc;
        if ((c == 'L' || c == 'l') && i + 1 < s.size() && s[i + 1] == '"') c = s[++i];
        if (c == '"') {
            std::size_t j = i + 1;
            for (;;) {
                if (j >= s.size()) Fail(loc, "string not closed on its line");
                if (s[j] == '\\' && j + 1 < s.size()) {
                    j += 2;
                    continue;
                }
                if (s[j] == '"') {
                    if (j + 1 < s.size() && s[j + 1] == '"') {
                        j += 2;
                        continue;
                    }
                    break;
                }
                ++j;
            }
            t.kind = TokKind::String;
            t.str = DecodeString(s.substr(i + 1, j - i - 1), loc, *this);
            i = j + 1;
        } else if (std::isdigit(static_cast<unsigned char>(c))) {
            std::size_t j = i;
            while (j < s.size() && IsIdentChar(s[j]))
                ++j;
            std::string spelling = s.substr(i, j - i);
            std::string digits = spelling;
            while (!digits.empty() && (digits.back() == 'L' || digits.back() == 'l' ||
                                       digits.back() == 'U' || digits.back() == 'u'))
                digits.pop_back();
            int base = 10;
            std::size_t start = 0;
            if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
                base = 16;
                start = 2;
            } else if (digits.size() > 1 && digits[0] == '0') {
                base = 8;
                start = 1;
            }
            std::uint64_t v = 0;
            bool fOk = start < digits.size();
            for (std::size_t k = start; k < digits.size() && fOk; ++k) {
                int d = std::isdigit(static_cast<unsigned char>(digits[k])) ? digits[k] - '0'
                        : std::isxdigit(static_cast<unsigned char>(digits[k]))
                            ? std::tolower(static_cast<unsigned char>(digits[k])) - 'a' + 10
                            : 99;
                fOk = d < base;
                v = v * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(d);
                if (v > 0xFFFFFFFFull) Fail(loc, "number " + spelling + " does not fit in 32 bits");
            }
            if (!fOk) Fail(loc, "malformed number '" + spelling + "'");
            t.kind = TokKind::Number;
            t.num = static_cast<std::int64_t>(v);
            t.text = spelling;
            i = j;
        } else if (IsIdentStart(c)) {
            std::size_t j = i;
            while (j < s.size() && IsIdentChar(s[j]))
                ++j;
            t.kind = TokKind::Ident;
            t.text = s.substr(i, j - i);
            i = j;
        } else if (c == '\'') {
            // A character constant such as 'A'.
            if (i + 2 < s.size() && s[i + 1] != '\\' && s[i + 2] == '\'' &&
                static_cast<unsigned char>(s[i + 1]) < 0x80) {
                t.kind = TokKind::Number;
                t.num = static_cast<unsigned char>(s[i + 1]);
                t.text = s.substr(i, 3);
                i += 3;
            } else {
                Fail(loc, "unsupported character constant");
            }
        } else {
            static const char* const two[] = {"<<", ">>", "<=", ">=", "==", "!=", "&&", "||"};
            t.kind = TokKind::Punct;
            for (const char* p : two)
                if (s.compare(i, 2, p) == 0) t.text = p;
            if (t.text.empty()) {
                if (std::string(",|&(){}+-*/~!<>=^%?:").find(c) == std::string::npos)
                    Fail(loc, "unexpected " + Describe(c));
                t.text = std::string(1, c);
            }
            i += t.text.size();
        }
        out.push_back(std::move(t));
    }
    return out;
}

void Preprocessor::Emit(const Token& t) {
    std::vector<const std::string*> active;
    Expand(t, active, nullptr, 0);
}

void Preprocessor::Expand(const Token& t, std::vector<const std::string*>& active,
                          const std::string* origin, int nDepth) {
    if (t.kind == TokKind::Ident) {
        auto it = FindMacro(t.text);
        if (it && std::find(active.begin(), active.end(), &it->first) == active.end()) {
            if (!it->second.sUnusable.empty())
                Fail(t.loc, "macro '" + t.text + "' " + it->second.sUnusable);
            if (nDepth >= kMaxExpansionDepth)
                Fail(t.loc, "macro '" + t.text + "' expands too deeply");
            active.push_back(&it->first);
            for (Token b : it->second.body) {
                b.loc = t.loc;
                Expand(b, active, &*macroNames_.insert(it->first).first, nDepth + 1);
            }
            active.pop_back();
            return;
        }
    }
    if (origin && ++cExpanded_ > options_.maxMacroTokens)
        Fail(t.loc, "the script expands to too many tokens");
    Token out = t;
    out.macro = origin;
    tokens_.push_back(std::move(out));
}

bool Preprocessor::EvalCondition(const std::string& expr, const Location& loc) {
    std::vector<Token> raw = LexLine(expr, loc);
    if (raw.empty()) Fail(loc, "#if needs an expression");
    // Resolve defined(X) first, then expand macros into a private list.
    std::vector<Token> resolved;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i].kind == TokKind::Ident && raw[i].text == "defined") {
            bool fParen =
                i + 1 < raw.size() && raw[i + 1].kind == TokKind::Punct && raw[i + 1].text == "(";
            std::size_t k = i + (fParen ? 2 : 1);
            if (k >= raw.size() || raw[k].kind != TokKind::Ident)
                Fail(loc, "defined needs a macro name");
            if (fParen && (k + 1 >= raw.size() || raw[k + 1].text != ")"))
                Fail(loc, "expected ')' after defined(" + raw[k].text);
            Token n;
            n.kind = TokKind::Number;
            n.num = FindMacro(raw[k].text) ? 1 : 0;
            n.loc = loc;
            resolved.push_back(n);
            i = k + (fParen ? 1 : 0);
            continue;
        }
        resolved.push_back(raw[i]);
    }
    std::vector<Token> saved;
    saved.swap(tokens_);
    for (const Token& t : resolved)
        Emit(t);
    std::vector<Token> expanded;
    expanded.swap(tokens_);
    tokens_.swap(saved);
    for (const Token& t : expanded)
        if (t.kind == TokKind::String) Fail(loc, "string in #if expression");
    return CondEval(expanded, *this, loc).Run() != 0;
}

std::u16string DecodeString(const std::string& body, const Location& loc, const Preprocessor& pp) {
    std::u16string out;
    auto hexval = [](char c) {
        return std::isdigit(static_cast<unsigned char>(c))
                   ? c - '0'
                   : std::tolower(static_cast<unsigned char>(c)) - 'a' + 10;
    };
    std::size_t i = 0;
    while (i < body.size()) {
        unsigned char c = static_cast<unsigned char>(body[i]);
        if (c == '"') { // a doubled quote
            out.push_back(u'"');
            i += 2;
            continue;
        }
        if (c == '\\') {
            if (i + 1 >= body.size()) pp.Fail(loc, "string ends with a lone backslash");
            char e = body[i + 1];
            i += 2;
            switch (e) {
            case 'n':
                out.push_back(u'\n');
                break;
            case 't':
                out.push_back(u'\t');
                break;
            case 'r':
                out.push_back(u'\r');
                break;
            case 'a':
                out.push_back(u'\a');
                break;
            case '\\':
                out.push_back(u'\\');
                break;
            case '"':
                out.push_back(u'"');
                break;
            case '\'':
                out.push_back(u'\'');
                break;
            case 'x':
            case 'X': {
                unsigned v = 0;
                int n = 0;
                while (n < 4 && i < body.size() &&
                       std::isxdigit(static_cast<unsigned char>(body[i]))) {
                    v = v * 16 + static_cast<unsigned>(hexval(body[i++]));
                    ++n;
                }
                if (n == 0) pp.Fail(loc, "\\x needs hexadecimal digits");
                out.push_back(static_cast<char16_t>(v));
                break;
            }
            default:
                if (e >= '0' && e <= '7') {
                    unsigned v = static_cast<unsigned>(e - '0');
                    for (int n = 1; n < 3 && i < body.size() && body[i] >= '0' && body[i] <= '7';
                         ++n)
                        v = v * 8 + static_cast<unsigned>(body[i++] - '0');
                    out.push_back(static_cast<char16_t>(v));
                    break;
                }
                pp.Fail(loc, std::string("unknown escape \\") + e);
            }
            continue;
        }
        // One UTF-8 character.
        std::uint32_t cp;
        int extra;
        if (c < 0x80) {
            cp = c;
            extra = 0;
        } else if ((c & 0xE0) == 0xC0) {
            cp = c & 0x1F;
            extra = 1;
        } else if ((c & 0xF0) == 0xE0) {
            cp = c & 0x0F;
            extra = 2;
        } else if ((c & 0xF8) == 0xF0) {
            cp = c & 0x07;
            extra = 3;
        } else {
            pp.Fail(loc, "invalid UTF-8 in string");
        }
        for (int k = 1; k <= extra; ++k) {
            if (i + static_cast<std::size_t>(k) >= body.size())
                pp.Fail(loc, "invalid UTF-8 in string");
            unsigned char cc = static_cast<unsigned char>(body[i + static_cast<std::size_t>(k)]);
            if ((cc & 0xC0) != 0x80) pp.Fail(loc, "invalid UTF-8 in string");
            cp = (cp << 6) | (cc & 0x3F);
        }
        static const std::uint32_t kMin[] = {0, 0x80, 0x800, 0x10000};
        if (cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            pp.Fail(loc, "invalid UTF-8 in string");
        i += static_cast<std::size_t>(extra) + 1;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
    }
    return out;
}

} // namespace rc
