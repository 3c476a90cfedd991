// kelvano-rc: compiles a resource script into the resource table that host/resource reads
// (layout in host/resource.h), and writes the source that embeds it into a module.
//
// The script language is a subset of the classic resource-script syntax:
// - a small preprocessor: #define NAME tokens, #undef, #include "file" (.h/.hpp files
//   contribute only their directives), #if/#ifdef/#ifndef/#elif/#else/#endif, #pragma and
//   // and /* */ comments; classic system headers (<windows.h>, <winres.h>, ...) are known
//   and skipped, their constants being built in;
// - LANGUAGE primary, sub (English is LANG_ENGLISH, SUBLANG_ENGLISH_US = 1033; Esperanto is
//   LANG_ESPERANTO, SUBLANG_NEUTRAL = 0);
// - STRINGTABLE, DIALOG and DIALOGEX (CONTROL and the shorthand control statements), ICON,
//   and `id TYPE "file"` for any other type, named or numbered.
// Strings are UTF-8 in the source and stored as UTF-16; escapes \n \t \r \a \\ \" \' \0 to
// \377 (octal), \xH to \xHHHH (one UTF-16 unit) and "" for a quote. A text holding a NUL
// (a zero byte or an escape that makes one) is an error.
// The first error stops compilation; its message reads "file:line: error: text".
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace rc {

struct Options {
    std::vector<std::string> includeDirs;
    std::vector<std::pair<std::string, std::string>> defines; // NAME, replacement text
    std::uint16_t defaultLanguage = 0x0409;
    // Tokens that macros may produce in all; stops scripts that expand exponentially.
    std::size_t maxMacroTokens = 300'000;
    // Reads a whole file; false when it cannot. Unset: the file system.
    std::function<bool(const std::string& path, std::string* contents)> readFile;
};

struct Result {
    std::vector<std::uint8_t> table;
    std::vector<std::string> dependencies; // every file read, the script first
    std::string error;
};

// Compiles the script at `path` (files it names are relative to its folder).
bool Compile(const std::string& path, const Options& options, Result* result);
// Compiles a script given as text under the name `path`.
bool CompileText(const std::string& path, const std::string& text, const Options& options,
                 Result* result);

// The C++ source that embeds the table file at `tablePath` into the module it is linked into
// (an assembler .incbin plus the ELF note that host/resource looks for). It names the table's
// size and checksum so that a changed table always changes the source.
std::string EmbedSource(const std::string& tablePath, const std::vector<std::uint8_t>& table,
                        const std::string& scriptName);

// A make-style dependency file: `target` depends on `dependencies`.
std::string DepFile(const std::string& target, const std::vector<std::string>& dependencies);

} // namespace rc
