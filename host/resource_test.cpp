#include "host/resource.h"

#include <cstring>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace host {
namespace {

// Builds tables by hand, field by field, so that tests can also build broken ones.
struct RawEntry {
    DWORD nType;
    DWORD nName;
    WORD wLanguage;
    std::string data;
};

struct RawTable {
    std::vector<BYTE> bytes;

    void Put16(std::size_t at, WORD v) { std::memcpy(&bytes[at], &v, 2); }
    void Put32(std::size_t at, DWORD v) { std::memcpy(&bytes[at], &v, 4); }
    std::size_t EntryAt(std::size_t i) const {
        return sizeof(RESTABLEHEADER) + i * sizeof(RESTABLEENTRY);
    }
};

// Names are given as texts here and stored in the names area in order.
RawTable Build(const std::vector<RawEntry>& entries,
               const std::vector<std::u16string>& names = {}) {
    RawTable t;
    std::vector<BYTE>& b = t.bytes;
    b.resize(sizeof(RESTABLEHEADER) + entries.size() * sizeof(RESTABLEENTRY));
    std::size_t offNames = b.size();
    for (const auto& n : names) {
        WORD cch = static_cast<WORD>(n.size());
        b.insert(b.end(), reinterpret_cast<const BYTE*>(&cch),
                 reinterpret_cast<const BYTE*>(&cch) + 2);
        b.insert(b.end(), reinterpret_cast<const BYTE*>(n.data()),
                 reinterpret_cast<const BYTE*>(n.data()) + n.size() * 2);
    }
    std::size_t cbNames = b.size() - offNames;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        while (b.size() % 4)
            b.push_back(0);
        std::size_t e = t.EntryAt(i);
        t.Put32(e, entries[i].nType);
        t.Put32(e + 4, entries[i].nName);
        t.Put16(e + 8, entries[i].wLanguage);
        t.Put32(e + 12, static_cast<DWORD>(b.size()));
        t.Put32(e + 16, static_cast<DWORD>(entries[i].data.size()));
        b.insert(b.end(), entries[i].data.begin(), entries[i].data.end());
    }
    t.Put32(0, RESTABLE_MAGIC);
    t.Put16(4, RESTABLE_VERSION);
    t.Put32(8, static_cast<DWORD>(entries.size()));
    t.Put32(12, static_cast<DWORD>(b.size()));
    t.Put32(16, static_cast<DWORD>(offNames));
    t.Put32(20, static_cast<DWORD>(cbNames));
    return t;
}

std::string StringBlock(const std::vector<std::u16string>& texts) {
    std::string s;
    for (int i = 0; i < 16; ++i) {
        std::u16string t =
            i < static_cast<int>(texts.size()) ? texts[static_cast<std::size_t>(i)] : u"";
        WORD cch = static_cast<WORD>(t.size());
        s.append(reinterpret_cast<const char*>(&cch), 2);
        s.append(reinterpret_cast<const char*>(t.data()), t.size() * 2);
    }
    return s;
}

HMODULE FakeModule() {
    return reinterpret_cast<HMODULE>(std::uintptr_t{0x20000});
}

// Registers a table under a made-up module for the test's lifetime.
struct Registered {
    explicit Registered(const RawTable& t) : table(t) {
        EXPECT_TRUE(RegisterResourceTable(FakeModule(), table.bytes.data(), table.bytes.size()));
    }
    ~Registered() { UnregisterResourceTable(FakeModule()); }
    RawTable table;
};

const DWORD kText0 = RESNAME_TEXT | 0;  // first name in the names area
const DWORD kText1 = RESNAME_TEXT | 10; // second, after a 4-unit first name

RawTable ValidTable() {
    return Build({{3, 1, 1033, "icon"},
                  {6, 1, 0, StringBlock({u"", u"eo"})},
                  {6, 1, 1033, StringBlock({u"", u"en"})},
                  {kText0, 7, 1033, "graphic"},
                  {kText0, kText1, 1024, "named"}},
                 {u"ABCD", u"NAME"});
}

TEST(ResourceTable, RejectsDamagedTables) {
    RawTable good = ValidTable();
    ASSERT_TRUE(ValidateResourceTable(good.bytes.data(), good.bytes.size()));
    struct Case {
        const char* what;
        std::size_t at;
        DWORD value;
        int cb;
    } cases[] = {
        {"magic", 0, 0x5345524C, 4},
        {"version", 4, 2, 2},
        {"reserved header word", 6, 1, 2},
        {"entry count past the names", 8, 100, 4},
        {"table size past the bytes", 12, 0x10000, 4},
        {"names past the table", 20, 0x10000, 4},
        {"odd names offset", 16, 0x7F, 4},
        {"type 0", good.EntryAt(0), 0, 4},
        {"name number above 16 bits", good.EntryAt(0) + 4, 0x10000, 4},
        {"name text past the names", good.EntryAt(3), RESNAME_TEXT | 20, 4},
        {"odd name text offset", good.EntryAt(3), RESNAME_TEXT | 1, 4},
        {"reserved entry word", good.EntryAt(0) + 10, 1, 2},
        {"unaligned data", good.EntryAt(0) + 12, 0x55, 4},
        {"data inside the names", good.EntryAt(0) + 12, 0x60, 4},
        {"data past the table", good.EntryAt(0) + 16, 0x10000, 4},
        {"huge data size", good.EntryAt(4) + 16, 0xFFFFFFFF, 4},
        {"languages out of order", good.EntryAt(1) + 8, 2000, 2},
        {"duplicate entry", good.EntryAt(2) + 8, 0, 2},
        {"names out of order", good.EntryAt(4) + 4, 5, 4},
    };
    for (const auto& c : cases) {
        RawTable t = good;
        if (c.cb == 2)
            t.Put16(c.at, static_cast<WORD>(c.value));
        else
            t.Put32(c.at, c.value);
        EXPECT_FALSE(ValidateResourceTable(t.bytes.data(), t.bytes.size())) << c.what;
        EXPECT_FALSE(RegisterResourceTable(FakeModule(), t.bytes.data(), t.bytes.size())) << c.what;
    }
    // A zero-length name text, and every truncation of a good table.
    RawTable empty = Build({{kText0, 1, 0, ""}}, {u""});
    EXPECT_FALSE(ValidateResourceTable(empty.bytes.data(), empty.bytes.size()));
    for (std::size_t n = 0; n < good.bytes.size(); ++n)
        EXPECT_FALSE(ValidateResourceTable(good.bytes.data(), n)) << n;
    EXPECT_FALSE(ValidateResourceTable(good.bytes.data() + 2, good.bytes.size() - 4));
    EXPECT_FALSE(ValidateResourceTable(nullptr, 100));
}

TEST(ResourceTable, LookupByNumberTextAndLanguage) {
    Registered reg(ValidTable());
    struct Case {
        ResName type;
        ResName name;
        LANGID lang;
        bool fExact;
        const char* data; // null: missing
    } cases[] = {
        {"abcd", 7, 1033, true, "graphic"},
        {u"AbCd", "#7", 1033, true, "graphic"},
        {"ABCD", "name", 1024, true, "named"},
        {"ABCD", "name", 1033, true, nullptr},
        {"ABCD", "name", 1033, false, "named"}, // 1033, then 1024
        {"ABCD", 7, 0, false, "graphic"},       // 0, 1024, 1033
        {"ABCD", 7, LANG_ID_ANY, true, "graphic"},
        {"ABC", 7, 1033, false, nullptr},
        {"ABCDE", 7, 1033, false, nullptr},
        {3, 1, 0x0407, false, "icon"},
        {"#3", "#1", 1033, true, "icon"},
        {"#03", "#1x", 1033, true, nullptr}, // "#1x" is a text name
        {"", 1, 1033, false, nullptr},
        {0, 1, 1033, false, nullptr},
        {70000, 1, 1033, false, nullptr},
    };
    for (const auto& c : cases) {
        HRSRC r = c.fExact ? FindResourceEx(FakeModule(), c.type, c.name, c.lang)
                           : FindResourceWithFallback(FakeModule(), c.type, c.name, c.lang);
        ASSERT_EQ(r != nullptr, c.data != nullptr) << (c.data ? c.data : "missing");
        if (!r) continue;
        auto p = static_cast<const char*>(LockResource(LoadResource(nullptr, r)));
        EXPECT_EQ(std::string(p, SizeofResource(nullptr, r)), c.data);
    }
    // Handles that are not entries of a known table are refused.
    char junk[32] = {};
    EXPECT_EQ(SizeofResource(nullptr, reinterpret_cast<HRSRC>(junk)), 0u);
    EXPECT_EQ(LoadResource(nullptr, reinterpret_cast<HRSRC>(junk)), nullptr);
    HRSRC r = FindResourceEx(FakeModule(), 3, 1, 1033);
    EXPECT_EQ(LoadResource(nullptr, reinterpret_cast<HRSRC>(reinterpret_cast<BYTE*>(r) + 4)),
              nullptr);
    EXPECT_EQ(GetResourceLanguageOf(nullptr), LANG_ID_ANY);
}

TEST(ResourceTable, StringBlocks) {
    std::string broken = StringBlock({u"a"});
    broken.resize(7); // the third length word is cut
    RawTable t = Build({{6, 1, 1033, StringBlock({u"zero", u"one", std::u16string(1, u'\0')})},
                        {6, 2, 1033, broken},
                        {6, 3, 1033, "\x05"}});
    Registered reg(t);
    struct Case {
        UINT id;
        int cch;
        const char16_t* text;
    } cases[] = {
        {0, 4, u"zero"},  {1, 3, u"one"},   {2, 1, nullptr},  {3, 0, nullptr},       {16, 1, u"a"},
        {17, 0, nullptr}, {18, 0, nullptr}, {32, 0, nullptr}, {0x10000, 0, nullptr},
    };
    for (const auto& c : cases) {
        const WCHAR* p = nullptr;
        EXPECT_EQ(FindStringResource(FakeModule(), c.id, 1033, &p), c.cch) << c.id;
        if (c.text) {
            EXPECT_EQ(std::u16string(p, static_cast<std::size_t>(c.cch)), c.text);
        }
    }
    // A buffer of no units is left alone; one unit holds just the terminator.
    WCHAR w[8] = {u'x'};
    EXPECT_EQ(LoadStringEx(FakeModule(), 0, 1033, w, 0), 0);
    EXPECT_EQ(w[0], u'x');
    EXPECT_EQ(LoadStringEx(FakeModule(), 0, 1033, w, 1), 0);
    EXPECT_EQ(w[0], 0);
    EXPECT_EQ(LoadStringEx(FakeModule(), 99, 1033, w, 8), 0);
    EXPECT_EQ(w[0], 0);
}

std::vector<BYTE> ClassicTemplate() {
    std::vector<BYTE> b;
    auto u16 = [&](WORD v) {
        b.insert(b.end(), reinterpret_cast<BYTE*>(&v), reinterpret_cast<BYTE*>(&v) + 2);
    };
    auto u32 = [&](DWORD v) { u16(static_cast<WORD>(v)), u16(static_cast<WORD>(v >> 16)); };
    auto text = [&](const std::u16string& s) {
        for (char16_t c : s)
            u16(c);
        u16(0);
    };
    u32(0x80C00040); // WS_POPUP | WS_CAPTION | DS_SETFONT
    u32(0);
    u16(2);
    for (WORD v : {1, 2, 100, 50})
        u16(v);
    u16(0xFFFF), u16(4); // menu 4
    text(u"Cls");
    text(u"Title");
    u16(9);
    text(u"Face");
    while (b.size() % 4)
        b.push_back(0);
    u32(0x50000000), u32(0);
    for (WORD v : {1, 1, 20, 10, 7})
        u16(v);
    u16(0xFFFF), u16(0x0080);
    text(u"OK");
    u16(3);
    b.insert(b.end(), {0xAA, 0xBB, 0xCC});
    while (b.size() % 4)
        b.push_back(0);
    u32(0x50000003), u32(0);
    for (WORD v : {1, 12, 20, 10, 8})
        u16(v);
    text(u"Custom");
    u16(0xFFFF), u16(102);
    u16(0);
    return b;
}

TEST(DialogTemplates, ParsesTheClassicForm) {
    std::vector<BYTE> b = ClassicTemplate();
    DialogTemplate d;
    ASSERT_TRUE(ParseDialogTemplate(b.data(), b.size(), &d));
    EXPECT_FALSE(d.fExtended);
    EXPECT_EQ(d.menu.nId, 4);
    EXPECT_EQ(d.windowClass.text, u"Cls");
    EXPECT_EQ(d.caption, u"Title");
    EXPECT_EQ(d.wPointSize, 9);
    EXPECT_EQ(d.faceName, u"Face");
    ASSERT_EQ(d.items.size(), 2u);
    EXPECT_EQ(d.items[0].className, u"Button");
    EXPECT_EQ(d.items[0].text.text, u"OK");
    EXPECT_EQ(d.items[0].creationData, (std::vector<BYTE>{0xAA, 0xBB, 0xCC}));
    EXPECT_EQ(d.items[1].id, 8u);
    EXPECT_EQ(d.items[1].className, u"Custom");
    EXPECT_EQ(d.items[1].text.nId, 102);
}

TEST(DialogTemplates, RefusesTruncatedAndBadTemplates) {
    std::vector<BYTE> b = ClassicTemplate();
    DialogTemplate d;
    for (std::size_t n = 0; n < b.size(); ++n)
        EXPECT_FALSE(ParseDialogTemplate(b.data(), n, &d)) << n;
    // An unknown class atom, an empty class name, more items than there are.
    std::vector<BYTE> bad = b;
    bad[76] = 0x86; // the first item's class atom
    ASSERT_EQ(b[76], 0x80);
    EXPECT_FALSE(ParseDialogTemplate(bad.data(), bad.size(), &d));
    bad = b;
    bad[8] = 3;
    EXPECT_FALSE(ParseDialogTemplate(bad.data(), bad.size(), &d));
    bad = b;
    std::size_t cls = b.size() - 20; // "Custom" of the second item
    bad[cls] = 0;
    bad[cls + 1] = 0;
    EXPECT_FALSE(ParseDialogTemplate(bad.data(), bad.size(), &d));
    EXPECT_FALSE(ParseDialogTemplate(nullptr, 0, &d));
}

TEST(ResourceNames, NumbersAndTexts) {
    EXPECT_EQ(ResName(MAKEINTRESOURCEA(5)).Id(), 5);
    EXPECT_EQ(ResName(MAKEINTRESOURCEW(0xFFFF)).Id(), 0xFFFF);
    EXPECT_EQ(ResName("#65535").Id(), 0xFFFF);
    EXPECT_FALSE(ResName("#65536").IsId());
    EXPECT_EQ(ResName("#65536").Name(), u"#65536");
    EXPECT_EQ(ResName(u"Graphic").Name(), u"GRAPHIC");
    EXPECT_EQ(ResName("ĉapelo").Name(), u"ĉAPELO");
    EXPECT_FALSE(ResName(-1).IsId());
    EXPECT_FALSE(ResName(static_cast<const char*>(nullptr)).IsId());
}

TEST(Modules, HandlesOfTheProgram) {
    HMODULE exe = GetModuleHandle(nullptr);
    ASSERT_NE(exe, nullptr);
    EXPECT_EQ(GetModuleFromAddress(reinterpret_cast<const void*>(&FakeModule)), exe);
    EXPECT_NE(GetModuleFromAddress(dlsym(RTLD_DEFAULT, "strlen")), exe);
    EXPECT_EQ(GetModuleHandle("libkelvano-not-loaded.so"), nullptr);
    EXPECT_EQ(GetModuleFromLibrary(nullptr), nullptr);
    // The test program embeds no table: nothing is found, and a registered table wins.
    EXPECT_EQ(FindResourceEx(nullptr, 3, 1, 1033), nullptr);
    RawTable t = ValidTable();
    ASSERT_TRUE(RegisterResourceTable(nullptr, t.bytes.data(), t.bytes.size()));
    EXPECT_NE(FindResourceEx(exe, 3, 1, 1033), nullptr);
    UnregisterResourceTable(exe);
    EXPECT_EQ(FindResourceEx(nullptr, 3, 1, 1033), nullptr);
}

} // namespace
} // namespace host
