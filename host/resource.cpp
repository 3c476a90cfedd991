#include "host/resource.h"

#include "host/codepage.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <dlfcn.h>
#include <link.h>
#include <map>
#include <mutex>
#include <unistd.h>

namespace host {
namespace {

constexpr DWORD kDsSetFont = 0x40;
constexpr char kNoteOwner[] = "Kelvano"; // with its terminator: 8 bytes

char16_t FoldAscii(char16_t c) {
    return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - u'a' + u'A') : c;
}

template <class T> T ReadAt(const BYTE* p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// ---- One table ----

struct Table {
    const BYTE* pBase = nullptr;
    DWORD cb = 0;
    DWORD cEntries = 0;
    DWORD offNames = 0;
    DWORD cbNames = 0;

    const BYTE* Entry(DWORD i) const {
        return pBase + sizeof(RESTABLEHEADER) + i * sizeof(RESTABLEENTRY);
    }
    RESTABLEENTRY Read(DWORD i) const { return ReadAt<RESTABLEENTRY>(Entry(i)); }
    bool Contains(const void* p) const {
        auto a = reinterpret_cast<std::uintptr_t>(p);
        auto b = reinterpret_cast<std::uintptr_t>(Entry(0));
        return a >= b && a < b + std::uintptr_t{cEntries} * sizeof(RESTABLEENTRY) &&
               (a - b) % sizeof(RESTABLEENTRY) == 0;
    }
    // The units of a name field (already validated).
    std::u16string_view Name(DWORD field) const {
        const BYTE* p = pBase + offNames + (field & ~RESNAME_TEXT);
        WORD cch = ReadAt<WORD>(p);
        return {reinterpret_cast<const char16_t*>(p + 2), cch};
    }
};

// Validated name field: a number (not 0) or a text inside the names area.
bool NameFieldValid(DWORD field, DWORD cbNames, const BYTE* pNames) {
    if (field < 0x10000) return field != 0;
    if (!(field & RESNAME_TEXT)) return false;
    DWORD off = field & ~RESNAME_TEXT;
    if (off % 2 || std::uint64_t{off} + 2 > cbNames) return false;
    WORD cch = ReadAt<WORD>(pNames + off);
    return cch > 0 && std::uint64_t{off} + 2 + std::uint64_t{cch} * 2 <= cbNames;
}

// Orders two name fields of one table: numbers first, ascending, then texts by units.
int CompareFields(const Table& t, DWORD a, DWORD b) {
    bool ta = a & RESNAME_TEXT, tb = b & RESNAME_TEXT;
    if (!ta && !tb) return a < b ? -1 : a > b ? 1 : 0;
    if (ta != tb) return ta ? 1 : -1;
    std::u16string_view na = t.Name(a), nb = t.Name(b);
    return na < nb ? -1 : na > nb ? 1 : 0;
}

bool OpenTable(const void* pv, std::size_t cbAvail, Table* pOut) {
    auto p = static_cast<const BYTE*>(pv);
    if (!p || reinterpret_cast<std::uintptr_t>(p) % 4 || cbAvail < sizeof(RESTABLEHEADER))
        return false;
    auto h = ReadAt<RESTABLEHEADER>(p);
    if (h.dwMagic != RESTABLE_MAGIC || h.wVersion != RESTABLE_VERSION || h.wReserved != 0 ||
        h.cbTable > cbAvail || h.cbTable < sizeof(RESTABLEHEADER))
        return false;
    std::uint64_t endEntries =
        sizeof(RESTABLEHEADER) + std::uint64_t{h.cEntries} * sizeof(RESTABLEENTRY);
    if (endEntries > h.offNames || h.offNames % 2 ||
        std::uint64_t{h.offNames} + h.cbNames > h.cbTable)
        return false;
    Table t;
    t.pBase = p;
    t.cb = h.cbTable;
    t.cEntries = h.cEntries;
    t.offNames = h.offNames;
    t.cbNames = h.cbNames;
    const BYTE* pNames = p + h.offNames;
    std::uint64_t endNames = std::uint64_t{h.offNames} + h.cbNames;
    for (DWORD i = 0; i < h.cEntries; ++i) {
        auto e = t.Read(i);
        if (!NameFieldValid(e.nType, h.cbNames, pNames) ||
            !NameFieldValid(e.nName, h.cbNames, pNames) || e.wReserved != 0 || e.offData % 4 ||
            e.offData < endNames || std::uint64_t{e.offData} + e.cbData > h.cbTable)
            return false;
        if (i > 0) {
            auto prev = t.Read(i - 1);
            int c = CompareFields(t, prev.nType, e.nType);
            if (c == 0) c = CompareFields(t, prev.nName, e.nName);
            if (c == 0)
                c = prev.wLanguage < e.wLanguage ? -1 : prev.wLanguage > e.wLanguage ? 1 : 0;
            if (c >= 0) return false;
        }
    }
    *pOut = t;
    return true;
}

bool FieldMatches(const Table& t, DWORD field, const ResName& key) {
    if (key.IsId()) return field == key.Id();
    if (!(field & RESNAME_TEXT) || key.Name().empty()) return false;
    std::u16string_view n = t.Name(field);
    const std::u16string& k = key.Name();
    if (n.size() != k.size()) return false;
    for (std::size_t i = 0; i < n.size(); ++i)
        if (FoldAscii(n[i]) != k[i]) return false;
    return true;
}

// The entry for (type, name, language); LANG_ID_ANY takes the first (lowest) language.
const BYTE* FindIn(const Table& t, const ResName& type, const ResName& name, LANGID lang) {
    for (DWORD i = 0; i < t.cEntries; ++i) {
        auto e = t.Read(i);
        if (FieldMatches(t, e.nType, type) && FieldMatches(t, e.nName, name) &&
            (lang == LANG_ID_ANY || e.wLanguage == lang))
            return t.Entry(i);
    }
    return nullptr;
}

// ---- Modules and their tables ----

std::uintptr_t PageSize() {
    static const std::uintptr_t size = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    return size;
}

// Where an object's file is mapped: its first loadable segment, page-aligned (what dladdr
// reports as the object's base).
std::uintptr_t ObjectBase(const dl_phdr_info* info) {
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const auto& ph = info->dlpi_phdr[i];
        if (ph.p_type == PT_LOAD) return info->dlpi_addr + (ph.p_vaddr & ~(PageSize() - 1));
    }
    return 0;
}

// The table an object's note points at, if any.
bool TableFromNotes(const dl_phdr_info* info, const BYTE** ppTable, DWORD* pcb) {
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const auto& ph = info->dlpi_phdr[i];
        if (ph.p_type != PT_NOTE) continue;
        auto p = reinterpret_cast<const BYTE*>(info->dlpi_addr + ph.p_vaddr);
        const BYTE* end = p + ph.p_memsz;
        while (end - p >= 12) {
            DWORD cbName = ReadAt<DWORD>(p), cbDesc = ReadAt<DWORD>(p + 4),
                  nType = ReadAt<DWORD>(p + 8);
            const BYTE* name = p + 12;
            std::uint64_t cbNamePadded = (std::uint64_t{cbName} + 3) & ~std::uint64_t{3};
            std::uint64_t cbDescPadded = (std::uint64_t{cbDesc} + 3) & ~std::uint64_t{3};
            if (cbNamePadded + cbDescPadded > static_cast<std::uint64_t>(end - name)) break;
            const BYTE* desc = name + cbNamePadded;
            if (cbName == sizeof kNoteOwner &&
                std::memcmp(name, kNoteOwner, sizeof kNoteOwner) == 0 && nType == RESNOTE_TYPE &&
                cbDesc >= 8) {
                auto off = ReadAt<std::int32_t>(desc);
                *ppTable = desc + off;
                *pcb = ReadAt<DWORD>(desc + 4);
                return true;
            }
            p = desc + cbDescPadded;
        }
    }
    return false;
}

struct ModuleTables {
    std::mutex lock;
    std::map<std::uintptr_t, Table> registered;
    std::map<std::uintptr_t, Table> embedded; // a null pBase: looked for, none found
    unsigned long long nSubs = 0;             // unloads seen when `embedded` was filled
};

ModuleTables& Modules() {
    static ModuleTables* m = new ModuleTables; // never destroyed: used by late destructors
    return *m;
}

unsigned long long CurrentUnloads() {
    unsigned long long n = 0;
    dl_iterate_phdr(
        [](dl_phdr_info* info, std::size_t size, void* pv) -> int {
            if (size >= offsetof(dl_phdr_info, dlpi_subs) + sizeof(info->dlpi_subs))
                *static_cast<unsigned long long*>(pv) = info->dlpi_subs;
            return 1;
        },
        &n);
    return n;
}

// Forgets what was found in modules that may have been unloaded since.
void Refresh(ModuleTables& m) {
    unsigned long long n = CurrentUnloads();
    if (n != m.nSubs) {
        m.embedded.clear();
        m.nSubs = n;
    }
}

std::uintptr_t ExecutableBase() {
    static const std::uintptr_t base = [] {
        std::uintptr_t b = 0;
        dl_iterate_phdr(
            [](dl_phdr_info* info, std::size_t, void* pv) -> int {
                *static_cast<std::uintptr_t*>(pv) = ObjectBase(info);
                return 1; // the first object is the program itself
            },
            &b);
        return b;
    }();
    return base;
}

std::uintptr_t BaseOf(HMODULE h) {
    return h ? reinterpret_cast<std::uintptr_t>(h) : ExecutableBase();
}

// The module's table; caller holds the lock. Null pBase when there is none.
Table TableOf(ModuleTables& m, std::uintptr_t base) {
    if (auto it = m.registered.find(base); it != m.registered.end()) return it->second;
    Refresh(m);
    if (auto it = m.embedded.find(base); it != m.embedded.end()) return it->second;
    struct Search {
        std::uintptr_t base;
        bool fFound = false;
        const BYTE* p = nullptr;
        DWORD cb = 0;
    } s{base};
    dl_iterate_phdr(
        [](dl_phdr_info* info, std::size_t, void* pv) -> int {
            auto* s = static_cast<Search*>(pv);
            if (ObjectBase(info) != s->base) return 0;
            s->fFound = TableFromNotes(info, &s->p, &s->cb);
            return 1;
        },
        &s);
    Table t;
    if (s.fFound) OpenTable(s.p, s.cb, &t); // a bad embedded table counts as none
    m.embedded[base] = t;
    return t;
}

// The table holding a found entry; null pBase when the handle is not a live entry.
Table TableOfEntry(ModuleTables& m, HRSRC h) {
    for (auto& [base, t] : m.registered)
        if (t.pBase && t.Contains(h)) return t;
    Refresh(m);
    for (auto& [base, t] : m.embedded)
        if (t.pBase && t.Contains(h)) return t;
    return {};
}

std::atomic<LANGID> g_wLanguage{LANG_ID_ENGLISH};

const BYTE* EntryData(HRSRC h, DWORD* pcb) {
    auto& m = Modules();
    std::lock_guard g(m.lock);
    Table t = TableOfEntry(m, h);
    if (!t.pBase) return nullptr;
    auto e = ReadAt<RESTABLEENTRY>(reinterpret_cast<const BYTE*>(h));
    if (pcb) *pcb = e.cbData;
    return t.pBase + e.offData;
}

// ---- String tables ----

int FindStringIn(HINSTANCE h, UINT uID, LANGID lang, const WCHAR** pp) {
    *pp = nullptr;
    if (uID > 0xFFFF) return 0;
    HRSRC r = FindResourceWithFallback(h, RT_STRING, static_cast<WORD>(uID / 16 + 1), lang);
    DWORD cb = 0;
    const BYTE* p = r ? EntryData(r, &cb) : nullptr;
    if (!p) return 0;
    const BYTE* end = p + cb;
    for (UINT i = 0;; ++i) {
        if (end - p < 2) return 0;
        WORD cch = ReadAt<WORD>(p);
        p += 2;
        if (static_cast<std::size_t>(end - p) < std::size_t{cch} * 2) return 0;
        if (i == uID % 16) {
            if (cch == 0) return 0;
            *pp = reinterpret_cast<const WCHAR*>(p);
            return cch;
        }
        p += std::size_t{cch} * 2;
    }
}

int CopyString(const WCHAR* pText, int cch, WCHAR* pBuffer, int cchBufferMax) {
    if (!pBuffer || cchBufferMax <= 0) return 0;
    int n = std::min(cch, cchBufferMax - 1);
    if (n > 0) std::memcpy(pBuffer, pText, static_cast<std::size_t>(n) * sizeof(WCHAR));
    pBuffer[n] = 0;
    return n;
}

int CopyString(const WCHAR* pText, int cch, char* pBuffer, int cchBufferMax) {
    if (!pBuffer || cchBufferMax <= 0) return 0;
    std::string s =
        cch > 0 ? ToUtf8(std::u16string_view(pText, static_cast<std::size_t>(cch))) : std::string();
    std::size_t n = std::min(s.size(), static_cast<std::size_t>(cchBufferMax - 1));
    // Never end inside a character.
    if (n < s.size())
        while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80)
            --n;
    std::memcpy(pBuffer, s.data(), n);
    pBuffer[n] = 0;
    return static_cast<int>(n);
}

// ---- Dialog templates ----

class Reader {
public:
    Reader(const BYTE* p, std::size_t cb) : p_(p), cb_(cb) {}

    bool Bytes(void* out, std::size_t n) {
        if (cb_ - off_ < n) return false;
        std::memcpy(out, p_ + off_, n);
        off_ += n;
        return true;
    }
    bool Word(WORD* w) { return Bytes(w, 2); }
    bool Text(std::u16string* s) {
        s->clear();
        for (;;) {
            WORD c;
            if (!Word(&c)) return false;
            if (c == 0) return true;
            s->push_back(static_cast<char16_t>(c));
        }
    }
    bool NameOrOrdinal(NameOrId* v) {
        WORD w;
        if (!Word(&w)) return false;
        v->nId = 0;
        v->text.clear();
        if (w == 0) return true;
        if (w == 0xFFFF) return Word(&v->nId);
        off_ -= 2;
        return Text(&v->text);
    }
    bool Align4() {
        std::size_t to = (off_ + 3) & ~std::size_t{3};
        if (to > cb_) return false;
        off_ = to;
        return true;
    }
    std::size_t Left() const { return cb_ - off_; }

private:
    const BYTE* p_;
    std::size_t cb_;
    std::size_t off_ = 0;
};

} // namespace

// ---- ResName ----

ResName::ResName(const char* psz) {
    if (IS_INTRESOURCE(psz))
        nId_ = static_cast<WORD>(reinterpret_cast<std::uintptr_t>(psz));
    else
        SetText(ToUtf16(psz));
}

ResName::ResName(const WCHAR* psz) {
    if (IS_INTRESOURCE(psz))
        nId_ = static_cast<WORD>(reinterpret_cast<std::uintptr_t>(psz));
    else
        SetText(psz);
}

void ResName::SetText(std::u16string text) {
    if (text.size() > 1 && text[0] == u'#') {
        unsigned long v = 0;
        bool fDigits = true;
        for (std::size_t i = 1; i < text.size() && fDigits; ++i) {
            fDigits = text[i] >= u'0' && text[i] <= u'9';
            v = v * 10 + (text[i] - u'0');
            fDigits = fDigits && v <= 0xFFFF;
        }
        if (fDigits) {
            nId_ = static_cast<WORD>(v);
            return;
        }
    }
    for (auto& c : text)
        c = FoldAscii(c);
    name_ = std::move(text);
}

// ---- Modules ----

HMODULE GetModuleHandle(const char* pszModule) {
    if (!pszModule) return reinterpret_cast<HMODULE>(ExecutableBase());
    void* h = dlopen(pszModule, RTLD_LAZY | RTLD_NOLOAD);
    if (!h) return nullptr;
    HMODULE m = GetModuleFromLibrary(h);
    dlclose(h);
    return m;
}

HMODULE GetModuleFromAddress(const void* p) {
    Dl_info info;
    if (!p || !dladdr(p, &info)) return nullptr;
    return static_cast<HMODULE>(info.dli_fbase);
}

HMODULE GetModuleFromLibrary(void* pDlHandle) {
    link_map* lm = nullptr;
    if (!pDlHandle || dlinfo(pDlHandle, RTLD_DI_LINKMAP, &lm) != 0 || !lm) return nullptr;
    if (lm->l_ld) return GetModuleFromAddress(lm->l_ld);
    return nullptr;
}

BOOL RegisterResourceTable(HMODULE hModule, const void* pTable, std::size_t cbTable) {
    Table t;
    if (!OpenTable(pTable, cbTable, &t)) return FALSE;
    auto& m = Modules();
    std::lock_guard g(m.lock);
    m.registered[BaseOf(hModule)] = t;
    return TRUE;
}

void UnregisterResourceTable(HMODULE hModule) {
    auto& m = Modules();
    std::lock_guard g(m.lock);
    m.registered.erase(BaseOf(hModule));
}

bool ValidateResourceTable(const void* pTable, std::size_t cbTable) {
    Table t;
    return OpenTable(pTable, cbTable, &t);
}

// ---- Finding entries ----

void SetResourceLanguage(LANGID wLanguage) {
    g_wLanguage = wLanguage;
}

LANGID GetResourceLanguage() {
    return g_wLanguage;
}

HRSRC FindResourceEx(HMODULE hModule, ResName type, ResName name, LANGID wLanguage) {
    auto& m = Modules();
    std::lock_guard g(m.lock);
    Table t = TableOf(m, BaseOf(hModule));
    if (!t.pBase) return nullptr;
    return reinterpret_cast<HRSRC>(const_cast<BYTE*>(FindIn(t, type, name, wLanguage)));
}

HRSRC FindResourceWithFallback(HMODULE hModule, ResName type, ResName name, LANGID wLanguage) {
    for (LANGID lang : {wLanguage, LANG_ID_NEUTRAL_DEFAULT, LANG_ID_ENGLISH, LANG_ID_ANY})
        if (HRSRC h = FindResourceEx(hModule, type, name, lang)) return h;
    return nullptr;
}

HRSRC FindResource(HMODULE hModule, ResName name, ResName type) {
    return FindResourceWithFallback(hModule, type, name, GetResourceLanguage());
}

LANGID GetResourceLanguageOf(HRSRC hResInfo) {
    auto& m = Modules();
    std::lock_guard g(m.lock);
    if (!TableOfEntry(m, hResInfo).pBase) return LANG_ID_ANY;
    return ReadAt<RESTABLEENTRY>(reinterpret_cast<const BYTE*>(hResInfo)).wLanguage;
}

DWORD SizeofResource(HMODULE, HRSRC hResInfo) {
    DWORD cb = 0;
    return EntryData(hResInfo, &cb) ? cb : 0;
}

HGLOBAL LoadResource(HMODULE, HRSRC hResInfo) {
    return const_cast<BYTE*>(EntryData(hResInfo, nullptr));
}

const void* LockResource(HGLOBAL hResData) {
    return hResData;
}

// ---- String tables ----

int FindStringResource(HINSTANCE hInstance, UINT uID, LANGID wLanguage, const WCHAR** ppText) {
    const WCHAR* p = nullptr;
    int cch = FindStringIn(hInstance, uID, wLanguage, &p);
    if (ppText) *ppText = p;
    return cch;
}

int LoadStringEx(HINSTANCE hInstance, UINT uID, LANGID wLanguage, WCHAR* pBuffer,
                 int cchBufferMax) {
    const WCHAR* p = nullptr;
    int cch = FindStringIn(hInstance, uID, wLanguage, &p);
    return CopyString(p, cch, pBuffer, cchBufferMax);
}

int LoadStringEx(HINSTANCE hInstance, UINT uID, LANGID wLanguage, char* pBuffer, int cchBufferMax) {
    const WCHAR* p = nullptr;
    int cch = FindStringIn(hInstance, uID, wLanguage, &p);
    return CopyString(p, cch, pBuffer, cchBufferMax);
}

int LoadString(HINSTANCE hInstance, UINT uID, WCHAR* pBuffer, int cchBufferMax) {
    return LoadStringEx(hInstance, uID, GetResourceLanguage(), pBuffer, cchBufferMax);
}

int LoadString(HINSTANCE hInstance, UINT uID, char* pBuffer, int cchBufferMax) {
    return LoadStringEx(hInstance, uID, GetResourceLanguage(), pBuffer, cchBufferMax);
}

// ---- Icons ----

bool LoadIconImages(HMODULE hModule, ResName name, LANGID wLanguage,
                    std::vector<IconImage>* pImages) {
    pImages->clear();
    HRSRC hGroup = FindResourceWithFallback(hModule, RT_GROUP_ICON, name, wLanguage);
    DWORD cb = 0;
    const BYTE* p = hGroup ? EntryData(hGroup, &cb) : nullptr;
    if (!p || cb < 6 || ReadAt<WORD>(p) != 0 || ReadAt<WORD>(p + 2) != 1) return false;
    WORD c = ReadAt<WORD>(p + 4);
    if (c == 0 || cb < 6 + std::size_t{c} * 14) return false;
    LANGID lang = GetResourceLanguageOf(hGroup);
    for (WORD i = 0; i < c; ++i) {
        const BYTE* e = p + 6 + std::size_t{i} * 14;
        IconImage img;
        img.cx = e[0] ? e[0] : 256;
        img.cy = e[1] ? e[1] : 256;
        img.wBitCount = ReadAt<WORD>(e + 6);
        img.nIconId = ReadAt<WORD>(e + 12);
        HRSRC hIcon = FindResourceWithFallback(hModule, RT_ICON, img.nIconId, lang);
        img.pData = hIcon ? EntryData(hIcon, &img.cbData) : nullptr;
        if (!img.pData) {
            pImages->clear();
            return false;
        }
        pImages->push_back(img);
    }
    return true;
}

// ---- Dialog templates ----

const WCHAR* PredefinedClassName(WORD nAtom) {
    switch (nAtom) {
    case DLGCLASS_BUTTON:
        return u"Button";
    case DLGCLASS_EDIT:
        return u"Edit";
    case DLGCLASS_STATIC:
        return u"Static";
    case DLGCLASS_LISTBOX:
        return u"ListBox";
    case DLGCLASS_SCROLLBAR:
        return u"ScrollBar";
    case DLGCLASS_COMBOBOX:
        return u"ComboBox";
    default:
        return nullptr;
    }
}

bool ParseDialogTemplate(const void* pData, std::size_t cbData, DialogTemplate* pOut) {
    if (!pData || !pOut) return false;
    Reader r(static_cast<const BYTE*>(pData), cbData);
    DialogTemplate d;
    WORD cItems = 0;
    if (cbData >= 4 && ReadAt<WORD>(static_cast<const BYTE*>(pData)) == 1 &&
        ReadAt<WORD>(static_cast<const BYTE*>(pData) + 2) == 0xFFFF) {
        DLGTEMPLATEEX h;
        if (!r.Bytes(&h, sizeof h)) return false;
        d.fExtended = true;
        d.dwHelpId = h.helpID;
        d.dwStyle = h.style;
        d.dwExStyle = h.exStyle;
        d.x = h.x, d.y = h.y, d.cx = h.cx, d.cy = h.cy;
        cItems = h.cDlgItems;
    } else {
        DLGTEMPLATE h;
        if (!r.Bytes(&h, sizeof h)) return false;
        d.dwStyle = h.style;
        d.dwExStyle = h.dwExtendedStyle;
        d.x = h.x, d.y = h.y, d.cx = h.cx, d.cy = h.cy;
        cItems = h.cdit;
    }
    if (!r.NameOrOrdinal(&d.menu) || !r.NameOrOrdinal(&d.windowClass) || !r.Text(&d.caption))
        return false;
    if (d.dwStyle & kDsSetFont) {
        d.fHasFont = true;
        if (!r.Word(&d.wPointSize)) return false;
        if (d.fExtended &&
            (!r.Word(&d.wWeight) || !r.Bytes(&d.bItalic, 1) || !r.Bytes(&d.bCharSet, 1)))
            return false;
        if (!r.Text(&d.faceName)) return false;
    }
    d.items.reserve(std::min<std::size_t>(cItems, r.Left() / sizeof(DLGITEMTEMPLATE)));
    for (WORD i = 0; i < cItems; ++i) {
        DialogItem it;
        if (!r.Align4()) return false;
        if (d.fExtended) {
            DLGITEMTEMPLATEEX h;
            if (!r.Bytes(&h, sizeof h)) return false;
            it.dwHelpId = h.helpID;
            it.dwStyle = h.style;
            it.dwExStyle = h.exStyle;
            it.x = h.x, it.y = h.y, it.cx = h.cx, it.cy = h.cy;
            it.id = h.id;
        } else {
            DLGITEMTEMPLATE h;
            if (!r.Bytes(&h, sizeof h)) return false;
            it.dwStyle = h.style;
            it.dwExStyle = h.dwExtendedStyle;
            it.x = h.x, it.y = h.y, it.cx = h.cx, it.cy = h.cy;
            it.id = h.id;
        }
        if (!r.NameOrOrdinal(&it.windowClass) || !r.NameOrOrdinal(&it.text)) return false;
        if (it.windowClass.IsId()) {
            const WCHAR* name = PredefinedClassName(it.windowClass.nId);
            if (!name) return false;
            it.className = name;
        } else {
            if (it.windowClass.text.empty()) return false;
            it.className = it.windowClass.text;
        }
        WORD cbExtra;
        if (!r.Word(&cbExtra)) return false;
        it.creationData.resize(cbExtra);
        if (cbExtra && !r.Bytes(it.creationData.data(), cbExtra)) return false;
        d.items.push_back(std::move(it));
    }
    *pOut = std::move(d);
    return true;
}

bool LoadDialogTemplate(HINSTANCE hInstance, ResName name, LANGID wLanguage, DialogTemplate* pOut) {
    HRSRC h = FindResourceWithFallback(hInstance, RT_DIALOG, name, wLanguage);
    DWORD cb = 0;
    const BYTE* p = h ? EntryData(h, &cb) : nullptr;
    return p && ParseDialogTemplate(p, cb, pOut);
}

} // namespace host
