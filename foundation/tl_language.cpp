#include "foundation/tl_language.h"

#include "foundation/tl_registry.h"
#include "host/thread.h"

#include <new>

namespace cetl {
namespace {

using host::LANGID;
using host::WCHAR;

const TCHAR kszNlsKey[] = TEXT("HKLM\\Software\\Vantor\\NLS");
const TCHAR kszListPrefix[] = TEXT("Opt-");
const TCHAR kszChoicePrefix[] = TEXT("Lang-");
const TCHAR kszDefaultList[] = TEXT("EN");

// String 1 of a module: its language list.
constexpr UINT kidLanguageList = 1;
constexpr int kcchMaxList = 256;

// The highest string number a string table holds.
constexpr UINT kidMaxString = 0xFFFF;

struct CodeEntry {
    const TCHAR* pszCode;
    UINT nLanguageId;
};

const CodeEntry kCodeTable[] = {
    {TEXT("EO"), kLanguageEsperanto}, {TEXT("EN"), kLanguageEnglish}, {TEXT("FR"), kLanguageFrench},
    {TEXT("DE"), kLanguageGerman},    {TEXT("ES"), kLanguageSpanish},
};

struct LanguageState {
    host::CriticalSection cs;
    bool fFilled = false;
    bool fExplicit = false; // filled by InitLanguage, not by a first use
    string strModule;
    HINSTANCE hStrings = nullptr;
    string strList;
    string strCode;
    UINT nLanguageId = kLanguageEnglish;
    int iIndex = 0;
    int cCount = 1;

    LanguageState() {
        // Lives as long as the process; not a leak.
        strModule.Tare();
        strList.Tare();
        strCode.Tare();
    }
};

LanguageState& State() {
    // Never destroyed: texts may still be looked up while other statics go away.
    alignas(LanguageState) static unsigned char s_rgbState[sizeof(LanguageState)];
    static LanguageState* const s_pState = new (s_rgbState) LanguageState;
    return *s_pState;
}

bool IsBlank(TCHAR ch) {
    return ch == ' ' || ch == '\t';
}

string Trimmed(const string& str) {
    int iStart = 0;
    int iEnd = str.Length();
    while (iStart < iEnd && IsBlank(str[iStart]))
        ++iStart;
    while (iEnd > iStart && IsBlank(str[iEnd - 1]))
        --iEnd;
    return str.Substring(iStart, iEnd - iStart);
}

// Entries of a comma-separated list, blanks around them dropped. Empty entries count.
int CountCodes(const string& strList) {
    int cCodes = 1;
    for (int i = 0; i < strList.Length(); ++i)
        if (strList[i] == ',') ++cCodes;
    return cCodes;
}

string CodeAt(const string& strList, int iEntry) {
    int iStart = 0;
    for (int i = 0; i < iEntry; ++i) {
        iStart = strList.Find(TCHAR(','), iStart);
        if (iStart < 0) return string();
        ++iStart;
    }
    int iEnd = strList.Find(TCHAR(','), iStart);
    return Trimmed(strList.Substring(iStart, iEnd < 0 ? -1 : iEnd - iStart));
}

// Position of a code in the list (any case), -1 when it is not there or empty.
int FindCode(const string& strList, const string& strCode) {
    if (strCode.IsEmpty()) return -1;
    const istring strWanted(strCode);
    const int cCodes = CountCodes(strList);
    for (int i = 0; i < cCodes; ++i)
        if (strWanted == CodeAt(strList, i)) return i;
    return -1;
}

// Position of the first code with that identifier, -1 when there is none.
int FindLanguage(const string& strList, UINT nLanguageId) {
    const int cCodes = CountCodes(strList);
    for (int i = 0; i < cCodes; ++i)
        if (LanguageFromCode(CodeAt(strList, i)) == nLanguageId) return i;
    return -1;
}

regvalue NlsValue(const TCHAR* pszPrefix, const string& strModule) {
    return regvalue(regkey(kszNlsKey), string(pszPrefix) + strModule);
}

// A string-table entry; empty entries and entries holding a zero character count as
// missing.
bool FindString(HINSTANCE hStrings, UINT id, LANGID wLanguage, const WCHAR** ppch, int* pcch) {
    const WCHAR* pch = nullptr;
    const int cch = host::FindStringResource(hStrings, id, wLanguage, &pch);
    if (cch <= 0 || pch == nullptr) return false;
    for (int i = 0; i < cch; ++i)
        if (pch[i] == 0) return false;
    *ppch = pch;
    *pcch = cch;
    return true;
}

bool LookupLocalText(UINT id, string& str) {
    return LoadText(id, str);
}

void ApplyResourceLanguage(UINT nLanguageId) {
    host::SetResourceLanguage(static_cast<LANGID>(nLanguageId));
}

// Makes entry iEntry of the list the current choice; caller holds the lock.
void Choose(LanguageState& state, int iEntry) {
    state.iIndex = iEntry;
    state.strCode = CodeAt(state.strList, iEntry);
    state.nLanguageId = LanguageFromCode(state.strCode);
    ApplyResourceLanguage(state.nLanguageId);
}

// Caller holds the lock.
void Fill(LanguageState& state, const string& strModule, HINSTANCE hStrings) {
    state.strModule = strModule;
    state.hStrings = hStrings;

    const WCHAR* pch = nullptr;
    int cch = 0;
    if (FindString(hStrings, kidLanguageList, host::GetResourceLanguage(), &pch, &cch))
        state.strList.Assign(pch, cch < kcchMaxList ? cch : kcchMaxList);
    else
        state.strList = kszDefaultList;
    if (state.strList.IsEmpty()) state.strList = kszDefaultList;

    const bool fNamed = !strModule.IsEmpty();
    if (fNamed) NlsValue(kszListPrefix, strModule).WriteText(state.strList);

    const regvalue valChoice = NlsValue(kszChoicePrefix, strModule);
    string strStored;
    if (!valChoice.ReadText(strStored)) strStored.Empty();
    int iEntry = FindCode(state.strList, Trimmed(strStored));
    if (iEntry < 0) {
        iEntry = 0;
        if (fNamed) valChoice.WriteText(CodeAt(state.strList, 0));
    }

    state.cCount = CountCodes(state.strList);
    state.strCode = CodeAt(state.strList, iEntry);
    state.iIndex = 0;
    state.nLanguageId = kLanguageEnglish;
    // Only an empty first entry leaves no code to choose.
    if (!state.strCode.IsEmpty())
        Choose(state, iEntry);
    else
        ApplyResourceLanguage(state.nLanguageId);

    state.fFilled = true;
    SetTextLookup(&LookupLocalText);
}

// The state, filled for the program itself on first use; caller holds the lock.
LanguageState& Filled() {
    LanguageState& state = State();
    if (!state.fFilled) Fill(state, string(), nullptr);
    return state;
}

bool SetLanguageLocked(LanguageState& state, UINT nLanguageId) {
    const int iEntry = FindLanguage(state.strList, nLanguageId);
    if (iEntry < 0) return false;
    Choose(state, iEntry);
    if (!state.strModule.IsEmpty())
        NlsValue(kszChoicePrefix, state.strModule).WriteText(state.strCode);
    return true;
}

struct TextSource {
    HINSTANCE hStrings;
    LANGID wLanguage;
    int iIndex;
    int cCount;
};

TextSource CurrentSource() {
    LanguageState& state = State();
    host::CriticalSectionLock lock(state.cs);
    Filled();
    return {state.hStrings, static_cast<LANGID>(state.nLanguageId), state.iIndex, state.cCount};
}

} // namespace

UINT LanguageFromCode(const string& strCode) {
    const istring strWanted(strCode);
    for (const CodeEntry& entry : kCodeTable)
        if (strWanted == entry.pszCode) return entry.nLanguageId;
    return kLanguageNone;
}

void InitLanguage(const string& strModule, HINSTANCE hStrings) {
    LanguageState& state = State();
    host::CriticalSectionLock lock(state.cs);
    if (state.fFilled && state.fExplicit) return;
    Fill(state, strModule, hStrings);
    state.fExplicit = true;
}

void ResetLanguage() {
    LanguageState& state = State();
    host::CriticalSectionLock lock(state.cs);
    SetTextLookup(nullptr);
    state.fFilled = false;
    state.fExplicit = false;
    state.strModule.Empty();
    state.hStrings = nullptr;
    state.strList.Empty();
    state.strCode.Empty();
    state.nLanguageId = kLanguageEnglish;
    state.iIndex = 0;
    state.cCount = 1;
    ApplyResourceLanguage(kLanguageEnglish);
}

UINT GetLanguageId() {
    host::CriticalSectionLock lock(State().cs);
    return Filled().nLanguageId;
}

int GetLanguageIndex() {
    host::CriticalSectionLock lock(State().cs);
    return Filled().iIndex;
}

int GetLanguageCount() {
    host::CriticalSectionLock lock(State().cs);
    return Filled().cCount;
}

string GetLanguageCode() {
    host::CriticalSectionLock lock(State().cs);
    return Filled().strCode;
}

bool SetLanguage(UINT nLanguageId) {
    host::CriticalSectionLock lock(State().cs);
    return SetLanguageLocked(Filled(), nLanguageId);
}

bool SetModuleLanguage(const string& strModule, UINT nLanguageId) {
    if (strModule.IsEmpty()) return false;
    {
        host::CriticalSectionLock lock(State().cs);
        LanguageState& state = Filled();
        if (!state.strModule.IsEmpty() && istring(strModule) == state.strModule)
            return SetLanguageLocked(state, nLanguageId);
    }
    string strList;
    if (!NlsValue(kszListPrefix, strModule).ReadText(strList)) return false;
    const int iEntry = FindLanguage(strList, nLanguageId);
    if (iEntry < 0) return false;
    return NlsValue(kszChoicePrefix, strModule).WriteText(CodeAt(strList, iEntry));
}

UINT GetModuleLanguage(const string& strModule) {
    string strCode;
    if (!NlsValue(kszChoicePrefix, strModule).ReadText(strCode)) return kLanguageNone;
    return LanguageFromCode(Trimmed(strCode));
}

UINT GetModuleLanguageAt(const string& strModule, int iEntry) {
    string strList;
    if (iEntry < 0 || !NlsValue(kszListPrefix, strModule).ReadText(strList)) return kLanguageNone;
    if (iEntry >= CountCodes(strList)) return kLanguageNone;
    return LanguageFromCode(CodeAt(strList, iEntry));
}

bool LoadText(UINT nBase, string& str) {
    str.Empty();
    const TextSource source = CurrentSource();
    bool fFound = false;
    for (UINT nId = nBase; nId <= kidMaxString; nId += static_cast<UINT>(source.cCount)) {
        const UINT nString = nId + static_cast<UINT>(source.iIndex);
        const WCHAR* pch = nullptr;
        int cch = 0;
        if (nString > kidMaxString ||
            !FindString(source.hStrings, nString, source.wLanguage, &pch, &cch))
            break;
        fFound = true;
        if (pch[cch - 1] != u'+') {
            str.Append(pch, cch);
            break;
        }
        str.Append(pch, cch - 1);
    }
    return fFound;
}

UINT GetDialogId(UINT nBase) {
    return nBase + static_cast<UINT>(GetLanguageIndex());
}

bool LoadLocalDialog(UINT nBase, host::DialogTemplate* pTemplate) {
    if (pTemplate == nullptr) return false;
    const TextSource source = CurrentSource();
    const UINT nId = nBase + static_cast<UINT>(source.iIndex);
    if (nId == 0 || nId > 0xFFFF) return false;
    return host::LoadDialogTemplate(source.hStrings, ResName(nId), source.wLanguage, pTemplate);
}

HRSRC FindLocalResource(HMODULE hModule, const ResName& type, const ResName& name) {
    return host::FindResourceWithFallback(hModule, type, name,
                                          static_cast<host::LANGID>(GetLanguageId()));
}

const void* LoadLocalResource(HMODULE hModule, const ResName& type, const ResName& name,
                              DWORD* pcb) {
    HRSRC hResInfo = FindLocalResource(hModule, type, name);
    if (hResInfo == nullptr) return nullptr;
    const void* pv = host::LockResource(host::LoadResource(hModule, hResInfo));
    if (pv != nullptr && pcb != nullptr) *pcb = host::SizeofResource(hModule, hResInfo);
    return pv;
}

} // namespace cetl
