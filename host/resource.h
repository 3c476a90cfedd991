// Embedded resources.
//
// Every module (the executable and each shared library) carries its own resource table:
// typed entries found by type, name and language. Types and names are numbers below 0x10000
// or texts compared case-insensitively (ASCII letters). The table is compiled from a resource
// script by kelvano-rc and linked into the module by the CMake function kelvano_resources();
// the module's table is found at run time through an ELF note the embedding adds, so a
// library needs no start-up code and is found as soon as it is loaded.
//
// A module handle (HMODULE, the same as HINSTANCE) is the address at which the module's file
// is mapped. GetModuleHandle(nullptr) is the executable; GetModuleFromLibrary turns a handle
// from dlopen into a module handle, for the dynamic-library service. A null module handle
// stands for the executable everywhere below.
//
// Entry bytes are read-only and stay valid for as long as the module stays loaded.
//
// Languages are LANGID numbers. English (United States) is 1033. Esperanto has no classic
// number; it uses 0, the identifier the language selection gives it, so a lookup with the
// selected identifier finds Esperanto entries unchanged. In a script it is written
// `LANGUAGE LANG_ESPERANTO, SUBLANG_NEUTRAL`. Lookups "with fallbacks" try the asked language,
// then 1024 (neutral, default sublanguage), then 1033, then any language (the lowest
// identifier present); FindResourceEx with LANG_ID_ANY is that last step on its own.
#pragma once

#include "host/types.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace host {

using HMODULE = HINSTANCE;
using LANGID = WORD;
struct HRSRC__;
using HRSRC = HRSRC__*;
using HGLOBAL = void*;

// ---- Languages ----

constexpr WORD LANG_NEUTRAL = 0x00;
constexpr WORD LANG_ENGLISH = 0x09;
constexpr WORD SUBLANG_NEUTRAL = 0x00;
constexpr WORD SUBLANG_DEFAULT = 0x01;
constexpr WORD SUBLANG_ENGLISH_US = 0x01;

constexpr LANGID MAKELANGID(WORD primary, WORD sub) {
    return static_cast<LANGID>((sub << 10) | primary);
}
constexpr WORD PRIMARYLANGID(LANGID lang) {
    return static_cast<WORD>(lang & 0x3FF);
}
constexpr WORD SUBLANGID(LANGID lang) {
    return static_cast<WORD>(lang >> 10);
}

constexpr LANGID LANG_ID_ESPERANTO = 0x0000;
constexpr LANGID LANG_ID_NEUTRAL_DEFAULT = 0x0400; // 1024
constexpr LANGID LANG_ID_ENGLISH = 0x0409;         // 1033
// "No language": FindResourceEx with it takes the entry of the lowest identifier present.
constexpr LANGID LANG_ID_ANY = 0xFFFF;

// ---- Types and names ----

// Predefined resource types (the classic numbers).
constexpr WORD RT_ICON = 3;
constexpr WORD RT_DIALOG = 5;
constexpr WORD RT_STRING = 6;
constexpr WORD RT_RCDATA = 10;
constexpr WORD RT_GROUP_ICON = 14;

// A number passed where a type or name text is expected, as classic code writes it.
inline const char* MAKEINTRESOURCEA(WORD id) {
    return reinterpret_cast<const char*>(static_cast<std::uintptr_t>(id));
}
inline const WCHAR* MAKEINTRESOURCEW(WORD id) {
    return reinterpret_cast<const WCHAR*>(static_cast<std::uintptr_t>(id));
}
template <class C> inline bool IS_INTRESOURCE(const C* p) {
    return (reinterpret_cast<std::uintptr_t>(p) >> 16) == 0;
}

// A resource type or name: a number (1 to 0xFFFF) or a text. Built from a number, from
// MAKEINTRESOURCE pointers, or from 8-bit (UTF-8) or 16-bit text; a text "#123" is the
// number 123. The number 0 and an empty text match nothing.
class ResName {
public:
    ResName(WORD id) : nId_(id) {}
    ResName(int id) : nId_(id > 0 && id <= 0xFFFF ? static_cast<WORD>(id) : 0) {}
    ResName(unsigned id) : nId_(id > 0 && id <= 0xFFFF ? static_cast<WORD>(id) : 0) {}
    ResName(const char* psz);
    ResName(const WCHAR* psz);

    bool IsId() const { return nId_ != 0; }
    WORD Id() const { return nId_; }
    // The text form, ASCII letters in upper case (empty for numbers).
    const std::u16string& Name() const { return name_; }

private:
    void SetText(std::u16string text);
    WORD nId_ = 0;
    std::u16string name_;
};

// ---- Modules ----

// nullptr: the executable. Otherwise a loaded shared library by file name or path (as
// given to the dynamic loader); nullptr when it is not loaded.
HMODULE GetModuleHandle(const char* pszModule);
// The module that contains an address (code or data); nullptr when none does.
HMODULE GetModuleFromAddress(const void* p);
// The module of a handle returned by dlopen.
HMODULE GetModuleFromLibrary(void* pDlHandle);

// Gives a module a table built in memory instead of (or before it has) an embedded one. The
// bytes must be 4-byte aligned and outlive the registration. False when the table is
// malformed. Unregistering goes back to the embedded table, if any.
BOOL RegisterResourceTable(HMODULE hModule, const void* pTable, std::size_t cbTable);
void UnregisterResourceTable(HMODULE hModule);

// True when the bytes form a well-formed resource table (see the layout below).
bool ValidateResourceTable(const void* pTable, std::size_t cbTable);

// ---- Finding entries ----

// The language that FindResource and LoadString start from (1033 until set). Process-wide.
void SetResourceLanguage(LANGID wLanguage);
LANGID GetResourceLanguage();

// With fallbacks from GetResourceLanguage(). Note the classic argument order: name, type.
HRSRC FindResource(HMODULE hModule, ResName name, ResName type);
// Exactly the given language (LANG_ID_ANY: the lowest identifier present).
HRSRC FindResourceEx(HMODULE hModule, ResName type, ResName name, LANGID wLanguage);
// With fallbacks from the given language.
HRSRC FindResourceWithFallback(HMODULE hModule, ResName type, ResName name, LANGID wLanguage);

// The language of a found entry (LANG_ID_ANY for an invalid handle).
LANGID GetResourceLanguageOf(HRSRC hResInfo);
// Byte count of a found entry; 0 for an invalid handle.
DWORD SizeofResource(HMODULE hModule, HRSRC hResInfo);
// The entry's bytes; nothing needs freeing. hModule is not needed (the handle knows its
// table) and may be null.
HGLOBAL LoadResource(HMODULE hModule, HRSRC hResInfo);
const void* LockResource(HGLOBAL hResData);

// ---- String tables ----
//
// String n lives in the RT_STRING entry numbered n / 16 + 1, as its (n % 16)-th counted
// UTF-16 text (a length word, then that many units, no terminator). The block is found with
// fallbacks; an empty entry counts as missing.

// Copies string uID into the buffer, cut to cchBufferMax - 1 units (8-bit: UTF-8 bytes, never
// splitting a character) and terminated. Returns the units copied; 0 when missing (the
// buffer then holds an empty text).
int LoadString(HINSTANCE hInstance, UINT uID, char* pBuffer, int cchBufferMax);
int LoadString(HINSTANCE hInstance, UINT uID, WCHAR* pBuffer, int cchBufferMax);
int LoadStringEx(HINSTANCE hInstance, UINT uID, LANGID wLanguage, char* pBuffer, int cchBufferMax);
int LoadStringEx(HINSTANCE hInstance, UINT uID, LANGID wLanguage, WCHAR* pBuffer, int cchBufferMax);
// The stored text itself: returns its length and sets *ppText to it (not terminated; it may
// contain zero units). 0 and nullptr when missing.
int FindStringResource(HINSTANCE hInstance, UINT uID, LANGID wLanguage, const WCHAR** ppText);

// ---- Icons ----
//
// An ICON statement stores the file's images as RT_ICON entries (numbered from 1 within the
// module) and a RT_GROUP_ICON entry under the statement's id listing them.

struct IconImage {
    int cx; // pixels (256 for the file's 0)
    int cy;
    WORD wBitCount;
    WORD nIconId;      // the RT_ICON entry
    const BYTE* pData; // the image as stored in the file: a DIB (header, colours, XOR, AND) or PNG
    DWORD cbData;
};

// The images of an icon group, with fallbacks from the given language. False when missing
// or malformed.
bool LoadIconImages(HMODULE hModule, ResName name, LANGID wLanguage,
                    std::vector<IconImage>* pImages);

// ---- Dialog templates ----
//
// Stored in the classic binary layouts: DLGTEMPLATE followed by DLGITEMTEMPLATEs, or the
// extended DLGTEMPLATEEX form (dlgVer 1, signature 0xFFFF). After each fixed part come
// variable fields of 16-bit units: menu and class as "name or ordinal" (0x0000 none,
// 0xFFFF then an ordinal, otherwise a terminated text), the caption as a terminated text and,
// when the style has DS_SETFONT (0x40), the font (point size; for the extended form also
// weight, italic byte and character set byte; then the terminated face). Each item starts
// on a 4-byte boundary (from the template's start) with its fixed part, then class and text
// as "name or ordinal" and a creation-data byte count followed by those bytes.

#pragma pack(push, 2)
struct DLGTEMPLATE {
    DWORD style;
    DWORD dwExtendedStyle;
    WORD cdit;
    SHORT x;
    SHORT y;
    SHORT cx;
    SHORT cy;
};
struct DLGITEMTEMPLATE {
    DWORD style;
    DWORD dwExtendedStyle;
    SHORT x;
    SHORT y;
    SHORT cx;
    SHORT cy;
    WORD id;
};
struct DLGTEMPLATEEX {
    WORD dlgVer;    // 1
    WORD signature; // 0xFFFF
    DWORD helpID;
    DWORD exStyle;
    DWORD style;
    WORD cDlgItems;
    SHORT x;
    SHORT y;
    SHORT cx;
    SHORT cy;
};
struct DLGITEMTEMPLATEEX {
    DWORD helpID;
    DWORD exStyle;
    DWORD style;
    SHORT x;
    SHORT y;
    SHORT cx;
    SHORT cy;
    DWORD id;
};
#pragma pack(pop)
static_assert(sizeof(DLGTEMPLATE) == 18 && sizeof(DLGITEMTEMPLATE) == 18);
static_assert(sizeof(DLGTEMPLATEEX) == 26 && sizeof(DLGITEMTEMPLATEEX) == 24);

// Class atoms of the predefined control classes in items.
constexpr WORD DLGCLASS_BUTTON = 0x0080;
constexpr WORD DLGCLASS_EDIT = 0x0081;
constexpr WORD DLGCLASS_STATIC = 0x0082;
constexpr WORD DLGCLASS_LISTBOX = 0x0083;
constexpr WORD DLGCLASS_SCROLLBAR = 0x0084;
constexpr WORD DLGCLASS_COMBOBOX = 0x0085;

// "Button", "Edit", "Static", "ListBox", "ScrollBar", "ComboBox"; nullptr for other atoms.
const WCHAR* PredefinedClassName(WORD nAtom);

// A "name or ordinal" field: nId != 0 for an ordinal, else the text (possibly empty: none).
struct NameOrId {
    WORD nId = 0;
    std::u16string text;

    bool IsId() const { return nId != 0; }
    bool IsEmpty() const { return nId == 0 && text.empty(); }
};

struct DialogItem {
    DWORD dwHelpId = 0;
    DWORD dwStyle = 0;
    DWORD dwExStyle = 0;
    SHORT x = 0, y = 0, cx = 0, cy = 0; // dialog units
    DWORD id = 0;             // as stored: 16 bits in the classic form, 32 in the extended
    NameOrId windowClass;     // as stored (an atom or a name)
    std::u16string className; // the class by name, atoms resolved ("Button", ...)
    NameOrId text;            // caption text, or a resource ordinal (an icon for SS_ICON)
    std::vector<BYTE> creationData;
};

struct DialogTemplate {
    bool fExtended = false;
    DWORD dwHelpId = 0;
    DWORD dwStyle = 0;
    DWORD dwExStyle = 0;
    SHORT x = 0, y = 0, cx = 0, cy = 0; // dialog units
    NameOrId menu;
    NameOrId windowClass;
    std::u16string caption;
    bool fHasFont = false; // DS_SETFONT: the fields below are set
    WORD wPointSize = 0;
    WORD wWeight = 0; // 0 in the classic form
    BYTE bItalic = 0;
    BYTE bCharSet = 0;
    std::u16string faceName;
    std::vector<DialogItem> items;
};

// Reads a stored template (either form). False, leaving *pOut unspecified, when the bytes
// are truncated or malformed.
bool ParseDialogTemplate(const void* pData, std::size_t cbData, DialogTemplate* pOut);
// Finds the RT_DIALOG entry with fallbacks from the given language and parses it.
bool LoadDialogTemplate(HINSTANCE hInstance, ResName name, LANGID wLanguage, DialogTemplate* pOut);

// ---- The stored table ----
//
// Little-endian. RESTABLEHEADER, then cEntries RESTABLEENTRY records sorted by type, name
// and language (numbers before texts, numbers ascending, texts by their 16-bit units, then
// languages ascending; no two alike), then the names area, then the entries' bytes, each
// starting on a 4-byte boundary. A type or name field below 0x10000 is a number (not 0);
// one with RESNAME_TEXT set holds, in its low bits, the offset within the names area of a
// text: a length word then that many UTF-16 units (ASCII letters upper case), 2-aligned.

constexpr DWORD RESTABLE_MAGIC = 0x5345524B; // "KRES"
constexpr WORD RESTABLE_VERSION = 1;
constexpr DWORD RESNAME_TEXT = 0x80000000;

struct RESTABLEHEADER {
    DWORD dwMagic;
    WORD wVersion;
    WORD wReserved;
    DWORD cEntries;
    DWORD cbTable;  // the whole table
    DWORD offNames; // from the table's start
    DWORD cbNames;
};
struct RESTABLEENTRY {
    DWORD nType;
    DWORD nName;
    WORD wLanguage;
    WORD wReserved;
    DWORD offData; // from the table's start
    DWORD cbData;
};
static_assert(sizeof(RESTABLEHEADER) == 24 && sizeof(RESTABLEENTRY) == 20);

// The ELF note that points a module at its table: owner "Kelvano", type RESNOTE_TYPE, and a
// descriptor of two 32-bit words: the table's offset from the descriptor's first byte
// (signed) and its size.
constexpr DWORD RESNOTE_TYPE = RESTABLE_MAGIC;

} // namespace host
