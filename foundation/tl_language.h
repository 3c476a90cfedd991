// Language selection and localised resources.
//
// A module (a program of the maker) lists its languages in its string 1, as codes separated
// by commas ("EN,EO"), and keeps the user's choice in the registry, shared by all the maker's
// programs under HKLM\Software\Vantor\NLS: "Opt-<module>" holds the list and
// "Lang-<module>" the chosen code, written as text of the build's native width. The index
// of the chosen code in the list selects the texts: text identifier B shows string B + index,
// and dialog template B is template B + index.
//
//     cetl::InitLanguage(TEXT("Kelvano CE"), hInstance);
//     string strTitle(cetl::TextId{2});
//     cetl::SetLanguage(cetl::kLanguageEsperanto);
//
// One selection per process, thread-safe. Until InitLanguage runs, the first use fills it
// for the program itself (an empty module name, strings from the executable; nothing is
// written to the registry then), and a later InitLanguage still takes over.
#pragma once

#include "foundation/tl_string.h"
#include "host/resource.h"

namespace cetl {

using host::DWORD;
using host::HINSTANCE;
using host::HMODULE;
using host::HRSRC;
using host::ResName;

// Language identifiers of the code table.
constexpr UINT kLanguageEsperanto = 0;
constexpr UINT kLanguageEnglish = 1033;
constexpr UINT kLanguageFrench = 1036;
constexpr UINT kLanguageGerman = 1031;
constexpr UINT kLanguageSpanish = 1034;
constexpr UINT kLanguageNone = 0xFFFF;

// The identifier of a code ("EO", "EN", "FR", "DE", "ES", any case), kLanguageNone for
// any other.
UINT LanguageFromCode(const string& strCode);

// Fills the selection for the module strModule (empty: the program itself, nothing stored)
// whose language list is string 1 of hStrings, which also supplies the texts. Runs once;
// later calls keep the existing selection. Installs the text lookup of TextId.
void InitLanguage(const string& strModule, HINSTANCE hStrings);
// Forgets the selection (and removes the text lookup); the next use fills it again, so a
// change made by another program is picked up.
void ResetLanguage();

// The current choice: identifier, index in the list, number of entries (at least 1), code.
UINT GetLanguageId();
int GetLanguageIndex();
int GetLanguageCount();
string GetLanguageCode();

// Chooses the list's entry whose code has this identifier and stores it for a named module.
// False (nothing changed) when the list has none.
bool SetLanguage(UINT nLanguageId);

// Other modules, through their registry values. Setting needs a code with that identifier
// in the module's stored list; setting the program's own module changes the current choice
// too. Queries give kLanguageNone when the value or entry is missing.
bool SetModuleLanguage(const string& strModule, UINT nLanguageId);
UINT GetModuleLanguage(const string& strModule);
UINT GetModuleLanguageAt(const string& strModule, int iEntry);

// The text of identifier nBase in the current language. A text ending in "+" goes on with
// the text of nBase + count (the "+" dropped), and so on. An entry that is missing, empty or
// holds a zero character ends the chain; false (str empty) when the first one is missing.
bool LoadText(UINT nBase, string& str);

// Dialog template nBase in the current language: its number, and the template itself from
// the string module (false when it is missing or malformed).
UINT GetDialogId(UINT nBase);
bool LoadLocalDialog(UINT nBase, host::DialogTemplate* pTemplate);

// Any other resource of a module, in the current language, else neutral (1024), else
// English (1033), else any language. Null when missing. The bytes stay valid while the
// module is loaded; *pcb, when given, receives their size.
HRSRC FindLocalResource(HMODULE hModule, const ResName& type, const ResName& name);
const void* LoadLocalResource(HMODULE hModule, const ResName& type, const ResName& name,
                              DWORD* pcb = nullptr);

} // namespace cetl
