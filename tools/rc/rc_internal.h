// Pieces of the resource compiler shared by its source files.
#pragma once

#include "tools/rc/rc.h"

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace rc {

// A compile error; `what()` is the finished "file:line: error: text" message.
class Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct Location {
    int iFile = 0; // index into the preprocessor's file names
    int nLine = 0;
};

enum class TokKind { End, Number, String, Ident, Punct };

struct Token {
    TokKind kind = TokKind::End;
    std::int64_t num = 0;
    std::u16string str; // strings, decoded
    std::string text;   // identifiers and punctuation; a number's spelling
    Location loc;
    const std::string* macro = nullptr; // the macro whose body held it (innermost)
};

// Reads the script and its includes, runs the preprocessor and cuts the result into tokens.
class Preprocessor {
public:
    explicit Preprocessor(const Options& options, bool fBuiltins = true);

    // Tokenises `text` as the file `path`; throws Error. Appends to tokens().
    void Run(const std::string& path, const std::string& text);

    const std::vector<Token>& tokens() const { return tokens_; }
    const std::vector<std::string>& files() const { return files_; }
    const std::vector<std::string>& dependencies() const { return deps_; }
    std::string FileName(int iFile) const { return files_[static_cast<std::size_t>(iFile)]; }
    [[noreturn]] void Fail(const Location& loc, const std::string& message) const;
    bool ReadFile(const std::string& path, std::string* contents);

private:
    struct Macro {
        std::vector<Token> body;
        std::string sUnusable; // why a use is an error (empty: usable)
    };
    struct Cond {
        bool fActive;     // this branch is being read
        bool fTaken;      // some branch of this #if was taken
        bool fParentLive; // the enclosing region is being read
        bool fElse;
    };

    void RunFile(int iFile, const std::string& text, int nDepth);
    void Directive(int iFile, int nLine, const std::string& line, std::vector<Cond>& conds,
                   int nDepth);
    void Include(const Location& loc, const std::string& rest, int nDepth);
    std::vector<Token> LexLine(const std::string& text, const Location& loc);
    void Emit(const Token& t);
    void Expand(const Token& t, std::vector<const std::string*>& active, const std::string* origin,
                int nDepth);
    bool EvalCondition(const std::string& expr, const Location& loc);
    void Define(const std::string& name, const std::string& body, const Location& loc);
    static const std::map<std::string, Macro>& Builtins();

    const Options& options_;
    std::vector<Token> tokens_;
    std::vector<std::string> files_;
    std::vector<std::string> deps_;
    // The macro named `name`, or null. The script's own shadow the built-in ones.
    const std::pair<const std::string, Macro>* FindMacro(const std::string& name) const;

    std::map<std::string, Macro> macros_;
    std::set<std::string> undefinedBuiltins_;
    std::set<std::string> macroNames_; // stable names for Token::macro
    std::size_t cExpanded_ = 0;
    bool fDirectivesOnly_ = false;
    bool fBuiltins_ = true;
};

// Decodes one string literal's contents (between the quotes) into UTF-16; throws via `pp`.
std::u16string DecodeString(const std::string& body, const Location& loc, const Preprocessor& pp);

// True when a file name holds a byte below 0x20 (a zero would cut it short) or DEL.
bool HasControlChar(const std::string& s);

// The classic constants the script may use without including anything.
const std::vector<std::pair<const char*, const char*>>& BuiltinDefines();

// Resource entries as the table stores them.
struct ResKey {
    std::uint32_t nType = 0; // number, or 0 with sType
    std::u16string sType;
    std::uint32_t nName = 0;
    std::u16string sName;
    std::uint16_t wLanguage = 0;
};
bool operator<(const ResKey& a, const ResKey& b);

std::vector<std::uint8_t> WriteTable(const std::map<ResKey, std::vector<std::uint8_t>>& entries);

} // namespace rc
