// The registry's text form: how each root is kept on disk, and what export writes and import
// reads. It is meant to be read and diffed by people:
//
//   KELVANO REGISTRY 1
//   [HKEY_CURRENT_USER\Software\Vantor\Kelvano CE]
//   @=sz:"the default value"
//   "Count"=dword:0000002a
//   "Greeting"=sz:"Saluton, ĉu vi \"bone\" fartas?\n"
//   "Path"=expand:"%HOME%\\games"
//   "List"=multi:"one","two"
//   "Blob"=hex:01 02 03
//   "Odd"=hex(11):2a 00 00 00 00 00 00 00
//   END
//
// Lines: the version line first; then sections, one per key, each a header naming the key by
// its full path (root, then "\"-separated names) followed by the key's values; "END" last, so
// that a file cut short is recognised. Blank lines and lines starting with ";" are ignored.
// Every key of a hive gets a section, also keys without values.
//
// Values: a quoted name or "@" for the default (unnamed) value, "=", then the data:
//   sz:"text"        REG_SZ: the text's UTF-16 units followed by one terminating zero unit
//   expand:"text"    REG_EXPAND_SZ, the same
//   multi:"a","b"    REG_MULTI_SZ: each text with its terminator, then one more zero unit
//                    (multi: with no texts is a single zero unit)
//   dword:0000002a   REG_DWORD: exactly 4 bytes, as a hexadecimal number
//   hex:01 02        REG_BINARY: the bytes in hexadecimal
//   hex(N):01 02     any type N (decimal) as raw bytes; also string data that the forms
//                    above cannot hold exactly (odd byte count, no terminator)
// A line ending in a backslash continues on the next one; the writer uses that between bytes
// (16 to a line) and between the texts of a multi: value (one to a line).
//
// Quoted texts are UTF-8 with these escapes: \" \\ \n \r \t \0 and \uXXXX (one UTF-16 unit,
// which is how lone surrogates and control characters are written). Key names in headers are
// written bare unless they hold characters that need escaping, in which case that name is
// quoted: [HKEY_CURRENT_USER\Software\"tab\there"].
//
// The parser is strict: anything it cannot read exactly is refused with the line number, so
// that damage is never mistaken for data.
#pragma once

#include "host/types.h"

#include <cstddef>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace host::regfile {

// Roots by index: 0 HKEY_CLASSES_ROOT, 1 HKEY_CURRENT_USER, 2 HKEY_LOCAL_MACHINE (the index
// is the root handle's number minus 0x80000000).
constexpr int kRootCount = 3;
const char* RootName(int iRoot);      // "HKEY_CURRENT_USER"
const char* RootShortName(int iRoot); // "HKCU"
// Index of a long or short root name (any case), or -1.
int FindRoot(std::string_view name);

// Limits that keep trees and texts sane: names of keys and values, and the depth of a path.
constexpr std::size_t kMaxKeyNameLength = 255;
constexpr std::size_t kMaxValueNameLength = 16383;
constexpr std::size_t kMaxDepth = 512;

// Names compare under the host's case folding (FoldCase in host/codepage.h).
bool SameName(std::u16string_view a, std::u16string_view b);

struct RegValueEntry {
    std::u16string name; // first spelling
    DWORD nType = 0;
    std::vector<BYTE> data;

    bool operator==(const RegValueEntry&) const = default;
};

// One key of a tree: its name as first spelt, its values in the order they were first set,
// its subkeys ordered by folded name (which is the enumeration order).
class RegKeyNode {
public:
    std::u16string name;
    std::vector<RegValueEntry> values;
    std::map<std::u16string, std::unique_ptr<RegKeyNode>> subkeys; // by folded name

    RegKeyNode* FindSubkey(std::u16string_view name) const;
    // The subkey with this name, created (with this spelling) when missing.
    RegKeyNode& EnsureSubkey(std::u16string_view name, bool* pfCreated = nullptr);
    bool RemoveSubkey(std::u16string_view name);

    RegValueEntry* FindValue(std::u16string_view name);
    const RegValueEntry* FindValue(std::u16string_view name) const;
    // Replaces the data of an existing value in place (keeping its spelling and position)
    // or appends a new one.
    void SetValue(std::u16string_view name, DWORD nType, std::vector<BYTE> data);
    bool RemoveValue(std::u16string_view name);

    // Deep comparison: names as spelt, values in order, subkeys.
    bool Equals(const RegKeyNode& other) const;
};

// A parsed section: the key it names and the values listed under it, in order.
struct RegSection {
    int iRoot = 0;
    std::vector<std::u16string> path;
    std::vector<RegValueEntry> values;
    std::size_t nLine = 0;
};

struct RegParseResult {
    bool fOk = false;
    std::size_t nLine = 0; // where the first error is
    std::string message;   // "line 12: unterminated text"
    // The version line names another version of this form: not damage, but nothing this
    // program may read or replace either.
    bool fUnknownVersion = false;
    std::vector<RegSection> sections;
};

RegParseResult ParseText(std::string_view text);

// Adds a section's key (with any missing parents) under the root node and sets its values.
void ApplySection(RegKeyNode& root, const RegSection& section);

// Reads a whole hive file for root iRoot: every section must belong to that root. The result
// tells why it cannot be read (its sections are not kept).
RegParseResult LoadHive(std::string_view text, int iRoot, RegKeyNode& hive);
bool LoadHive(std::string_view text, int iRoot, RegKeyNode& hive, std::string& message);

// Writers. AppendSubtree writes the key at `path` and everything below it, parents first.
void AppendHeader(std::string& out);
void AppendSubtree(std::string& out, int iRoot, const std::vector<std::u16string>& path,
                   const RegKeyNode& key);
void AppendTrailer(std::string& out);
std::string WriteHive(int iRoot, const RegKeyNode& hive);

// One value as a line (or several joined by continuations), without the final newline.
std::string FormatValue(const RegValueEntry& value);
// "HKEY_CURRENT_USER\Software\Vantor" with names quoted where needed.
std::string FormatKeyPath(int iRoot, const std::vector<std::u16string>& path);

} // namespace host::regfile
