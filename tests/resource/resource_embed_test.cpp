// The test script compiled at build time and embedded into this program, read back through
// host/resource; and a shared library with its own table, loaded at run time.
#include "blob_pattern.h"
#include "test_ids.h"

#include "host/resource.h"

#include <cstring>
#include <dlfcn.h>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace host;

constexpr LANGID kEnglish = LANG_ID_ENGLISH;
constexpr LANGID kEsperanto = LANG_ID_ESPERANTO;
constexpr LANGID kGerman = 0x0407;

std::string Utf8String(UINT id, LANGID lang) {
    char buf[512];
    int n = LoadStringEx(nullptr, id, lang, buf, sizeof buf);
    EXPECT_EQ(static_cast<std::size_t>(n), std::strlen(buf));
    return buf;
}

std::string Fixture(const char* name) {
    std::ifstream f(std::string(RESOURCE_DATA_DIR) + "/" + name, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), {}};
}

std::string Bytes(HMODULE h, HRSRC r) {
    auto p = static_cast<const char*>(LockResource(LoadResource(h, r)));
    return p ? std::string(p, SizeofResource(h, r)) : std::string();
}

TEST(EmbeddedResources, StringsInBothLanguages) {
    struct Case {
        UINT id;
        LANGID lang;
        const char* text; // "" for missing
    } cases[] = {
        {IDS_LANGUAGES, kEnglish, "EN,EO"},
        {IDS_TITLE, kEnglish, "Kelvano"},
        {IDS_GREETING, kEnglish, "Hello, +"},
        {IDS_GREETING + 1, kEnglish, "Saluton, +"},
        {IDS_GREETING + 2, kEnglish, "dear +"},
        {IDS_GREETING + 3, kEnglish, "kara +"},
        {IDS_GREETING + 4, kEnglish, "player"},
        {IDS_GREETING + 5, kEnglish, "ludanto"},
        {IDS_ESCAPES, kEnglish, "tab\there\nnew \"quoted\" \"again\" back\\slash \xC4\x89 A"},
        {IDS_EMPTY, kEnglish, ""},
        {IDS_BLOCK_EDGE, kEnglish, "last of its block"},
        {IDS_BLOCK_EDGE + 1, kEnglish, "first of the next"},
        {IDS_LONG, kEnglish, "A text that is written in two pieces"},
        {IDS_GREETING + 6, kEnglish, ""},
        {9999, kEnglish, ""},
        // The Esperanto table holds only its own block; other blocks fall back to English.
        {IDS_GREETING, kEsperanto, "Ĉu vi ŝatas ĝin? Eĥoŝanĝo ĉiuĵaŭde"},
        {IDS_TITLE, kEsperanto, "Kelvano"},
        {IDS_BLOCK_EDGE, kEsperanto, "last of its block"},
        // ... but a block it has answers alone: string 1 is in block 1, Esperanto has it.
        {IDS_LANGUAGES, kEsperanto, ""},
        // A language nobody wrote falls back to English.
        {IDS_GREETING, kGerman, "Hello, +"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Utf8String(c.id, c.lang), c.text) << "string " << c.id << " language " << c.lang;
}

TEST(EmbeddedResources, StringWidthsAndTruncation) {
    WCHAR w[64];
    EXPECT_EQ(LoadStringEx(nullptr, IDS_GREETING, kEsperanto, w, 64), 34);
    EXPECT_EQ(std::u16string(w), u"Ĉu vi ŝatas ĝin? Eĥoŝanĝo ĉiuĵaŭde");
    EXPECT_EQ(LoadStringEx(nullptr, IDS_GREETING, kEsperanto, w, 3), 2);
    EXPECT_EQ(std::u16string(w), u"Ĉu");

    // 8-bit copies never end inside a character: "Ĉ" takes two bytes.
    char a[8];
    EXPECT_EQ(LoadStringEx(nullptr, IDS_GREETING, kEsperanto, a, 2), 0);
    EXPECT_STREQ(a, "");
    EXPECT_EQ(LoadStringEx(nullptr, IDS_GREETING, kEsperanto, a, 3), 2);
    EXPECT_STREQ(a, "Ĉ");

    const WCHAR* p = nullptr;
    EXPECT_EQ(FindStringResource(nullptr, IDS_TITLE, kEnglish, &p), 7);
    EXPECT_EQ(std::u16string(p, 7), u"Kelvano");
    EXPECT_EQ(FindStringResource(nullptr, IDS_EMPTY, kEnglish, &p), 0);
    EXPECT_EQ(p, nullptr);

    // The plain call starts from the process's resource language.
    SetResourceLanguage(kEsperanto);
    EXPECT_EQ(LoadString(nullptr, IDS_GREETING, a, sizeof a), 7);
    SetResourceLanguage(kEnglish);
    EXPECT_EQ(LoadString(nullptr, IDS_GREETING, w, 64), 8);
}

TEST(EmbeddedResources, TypedEntriesWithFallbacks) {
    struct Case {
        ResName type;
        ResName name;
        LANGID lang;
        std::optional<LANGID> found; // the language of the entry found
        const char* fixture;         // its expected contents, or null
    } cases[] = {
        {"GRAPHIC", IDG_BOARD, kEnglish, kEnglish, "graphic.bin"},
        {"graphic", IDG_BOARD, kEsperanto, kEnglish, "graphic.bin"},
        {"GRAPHIC", IDG_STATUS, kEsperanto, kEsperanto, "logo_eo.bin"},
        {"GRAPHIC", IDG_STATUS, kEnglish, kEnglish, "logo.bin"},
        {"GRAPHIC", IDG_STATUS, kGerman, LANG_ID_NEUTRAL_DEFAULT, "graphic.bin"},
        {RT_LOGO, IDR_LOGO, kEsperanto, LANG_ID_NEUTRAL_DEFAULT, "logo.bin"},
        {RT_RCDATA, 8, kEnglish, kGerman, "german.txt"},
        {RT_RCDATA, 7, kGerman, kEnglish, "neutral.txt"},
        {"WAVE", "tone", kEnglish, kEnglish, "tone.wav"},
        {u"Wave", u"TONE", kEsperanto, kEnglish, "tone.wav"},
        {"#4999", "#5000", kEnglish, LANG_ID_NEUTRAL_DEFAULT, "logo.bin"},
        {"WAVE", 116, kEnglish, kEnglish, "empty.bin"},
        {"COMPRESSED", IDG_BOARD, kEnglish, kEnglish, "packed.bin"},
        {"COMPRESSED", IDG_STATUS, kEnglish, std::nullopt, nullptr},
        {"GRAPHIC", 999, kEnglish, std::nullopt, nullptr},
        {"NOSUCHTYPE", IDG_BOARD, kEnglish, std::nullopt, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fixture ? c.fixture : "missing");
        HRSRC r = FindResourceWithFallback(nullptr, c.type, c.name, c.lang);
        ASSERT_EQ(r != nullptr, c.found.has_value());
        if (!r) continue;
        EXPECT_EQ(GetResourceLanguageOf(r), *c.found);
        EXPECT_EQ(Bytes(nullptr, r), Fixture(c.fixture));
    }

    // Exact lookups do not fall back; "any" takes the lowest language present.
    EXPECT_EQ(FindResourceEx(nullptr, "GRAPHIC", IDG_BOARD, kEsperanto), nullptr);
    EXPECT_NE(FindResourceEx(nullptr, "GRAPHIC", IDG_BOARD, kEnglish), nullptr);
    EXPECT_EQ(GetResourceLanguageOf(FindResourceEx(nullptr, "GRAPHIC", IDG_STATUS, LANG_ID_ANY)),
              kEsperanto);
    // FindResource takes the classic (name, type) order and the process language.
    EXPECT_EQ(FindResource(nullptr, MAKEINTRESOURCEA(IDG_BOARD), "GRAPHIC"),
              FindResourceEx(nullptr, "GRAPHIC", IDG_BOARD, kEnglish));
}

TEST(EmbeddedResources, IconGroups) {
    std::string file = Fixture("icon.ico");
    for (ResName name : {ResName(IDI_KELVANO), ResName("dialog_icon")}) {
        std::vector<IconImage> images;
        ASSERT_TRUE(LoadIconImages(nullptr, name, kEnglish, &images));
        ASSERT_EQ(images.size(), 2u);
        EXPECT_EQ(images[0].cx, 16);
        EXPECT_EQ(images[1].cy, 32);
        EXPECT_EQ(images[0].wBitCount, 1);
        // The images are the file's own bytes, at the offsets its directory names.
        for (int i = 0; i < 2; ++i) {
            DWORD off;
            std::memcpy(&off, file.data() + 6 + 16 * i + 12, 4);
            EXPECT_EQ(std::string(reinterpret_cast<const char*>(images[i].pData), images[i].cbData),
                      file.substr(off, images[i].cbData));
        }
    }
    std::vector<IconImage> images;
    EXPECT_FALSE(LoadIconImages(nullptr, 103, kEnglish, &images));
}

struct ExpectedItem {
    DWORD id;
    const char16_t* cls;
    DWORD style;
    DWORD exStyle;
    SHORT x, y, cx, cy;
    const char16_t* text; // null: an ordinal
    WORD nTextId;
};

constexpr DWORD kChild = 0x50000000; // WS_CHILD | WS_VISIBLE

void ExpectItems(const DialogTemplate& d, const std::vector<ExpectedItem>& items) {
    ASSERT_EQ(d.items.size(), items.size());
    for (std::size_t i = 0; i < items.size(); ++i) {
        SCOPED_TRACE("item " + std::to_string(i));
        const DialogItem& it = d.items[i];
        const ExpectedItem& e = items[i];
        EXPECT_EQ(it.id, e.id);
        EXPECT_EQ(it.className, e.cls);
        EXPECT_EQ(it.dwStyle, e.style) << std::hex << it.dwStyle;
        EXPECT_EQ(it.dwExStyle, e.exStyle);
        EXPECT_EQ(it.x, e.x);
        EXPECT_EQ(it.y, e.y);
        EXPECT_EQ(it.cx, e.cx);
        EXPECT_EQ(it.cy, e.cy);
        if (e.text) {
            EXPECT_FALSE(it.text.IsId());
            EXPECT_EQ(it.text.text, e.text);
        } else {
            EXPECT_EQ(it.text.nId, e.nTextId);
        }
    }
}

TEST(EmbeddedResources, ClassicDialogTemplate) {
    DialogTemplate d;
    ASSERT_TRUE(LoadDialogTemplate(nullptr, IDD_NEWGAME, kEnglish, &d));
    EXPECT_FALSE(d.fExtended);
    EXPECT_EQ(d.dwStyle, 0x80 | 0x80000000 | 0x10000000 | 0x00C00000 | 0x40); // + caption, font
    EXPECT_EQ(d.cx, 160);
    EXPECT_EQ(d.cy, 180);
    EXPECT_EQ(d.caption, u"New game");
    EXPECT_TRUE(d.fHasFont);
    EXPECT_EQ(d.wPointSize, 8);
    EXPECT_EQ(d.faceName, u"MS Shell Dlg");
    EXPECT_TRUE(d.menu.IsEmpty());
    EXPECT_TRUE(d.windowClass.IsEmpty());
    ExpectItems(
        d,
        {
            {0xFFFF, u"Static", kChild | 0x00020000, 0, 4, 4, 40, 8, u"&Board:", 0},
            {0xFFFF, u"Static", kChild | 0x00020000 | 0x01 | 0x80, 0, 4, 14, 40, 8, u"Centre", 0},
            {0xFFFF, u"Static", kChild | 0x02, 0, 4, 24, 40, 8, u"Right", 0},
            {IDC_BOARD, u"ComboBox", kChild | 0x00010000 | 0x03 | 0x00200000, 0, 50, 4, 100, 60,
             nullptr, 0},
            {0xFFFF, u"Button", kChild | 0x07, 0, 4, 40, 152, 40, u"Opponent", 0},
            {IDC_COMPUTER, u"Button", kChild | 0x09 | 0x00010000 | 0x00020000, 0, 8, 50, 60, 10,
             u"&Computer", 0},
            {IDC_HUMAN, u"Button", kChild | 0x04 | 0x00010000, 0, 8, 62, 60, 10, u"&Human", 0},
            {IDC_SOUND, u"Button", kChild | 0x03 | 0x00010000, 0, 8, 90, 60, 10, u"&Sound", 0},
            {IDC_ANIMATE, u"Button", kChild | 0x02, 0, 8, 102, 60, 10, u"&Animate", 0},
            {IDC_NAME, u"Edit", kChild | 0x00800000 | 0x00010000 | 0x80, 0, 8, 114, 100, 12,
             nullptr, 0},
            {IDC_LIST, u"ListBox", kChild | 0x01 | 0x00800000 | 0x02 | 0x00200000, 0x200, 8, 128,
             60, 30, nullptr, 0},
            {IDC_SCROLL, u"ScrollBar", kChild | 0x01, 0, 70, 128, 8, 30, nullptr, 0},
            {IDC_PICTURE, u"Static", kChild | 0x03, 0, 80, 128, 0, 0, nullptr, IDI_KELVANO},
            {0xFFFF, u"Static", kChild | 0x03 | 0x200, 0, 100, 128, 20, 20, u"DIALOG_ICON", 0},
            {IDC_ANIM, u"AnimWindow", kChild, 0, 120, 128, 30, 20, u"", 0},
            {IDC_LOW, u"Button", kChild | 0x09 | 0x00010000, 0, 8, 164, 40, 10, u"Low", 0},
            {IDC_RULES, u"ComboBox", kChild | 0x02, 0x00020000, 50, 164, 60, 40, u"", 0},
            {2, u"Button", kChild | 0x00010000, 0, 110, 150, 40, 12, u"Cancel", 0},
            {1, u"Button", kChild | 0x01 | 0x00010000, 0, 110, 164, 40, 12, u"OK", 0},
        });
    // Items without text have an empty text, not an ordinal.
    EXPECT_TRUE(d.items[3].text.IsEmpty());
}

TEST(EmbeddedResources, ExtendedDialogTemplateInEsperanto) {
    // Found under its own identifier from any language (there is only one).
    DialogTemplate d;
    ASSERT_TRUE(LoadDialogTemplate(nullptr, IDD_NEWGAME + 1, kEnglish, &d));
    EXPECT_TRUE(d.fExtended);
    EXPECT_EQ(d.dwHelpId, 77u);
    EXPECT_EQ(d.dwStyle, 0x80 | 0x80000000 | 0x00C00000 | 0x40);
    EXPECT_EQ(d.dwExStyle, 0x08u);
    EXPECT_EQ(d.caption, u"Nova ludo");
    EXPECT_EQ(d.wPointSize, 8);
    EXPECT_EQ(d.wWeight, 700);
    EXPECT_EQ(d.bItalic, 1);
    EXPECT_EQ(d.bCharSet, 0);
    EXPECT_EQ(d.menu.nId, 9);
    ExpectItems(d, {
                       {0xFFFFFFFF, u"Static", kChild | 0x00020000, 0, 4, 4, 40, 8, u"&Tabulo:", 0},
                       {IDC_COMPUTER, u"Button", kChild | 0x09 | 0x00030000, 0x20, 8, 50, 60, 10,
                        u"&Komputilo", 0},
                       {70000, u"Button", kChild, 0, 8, 62, 60, 10, u"Ŝanĝu", 0},
                   });
    EXPECT_EQ(d.items[0].dwHelpId, 5u);
    EXPECT_EQ(d.items[1].dwHelpId, 6u);
    EXPECT_EQ(d.items[2].dwHelpId, 7u);

    // The same identifier in both languages: each language gets its own form.
    DialogTemplate en, eo;
    ASSERT_TRUE(LoadDialogTemplate(nullptr, IDD_MAIN, kEnglish, &en));
    ASSERT_TRUE(LoadDialogTemplate(nullptr, IDD_MAIN, kEsperanto, &eo));
    EXPECT_FALSE(en.fExtended);
    EXPECT_TRUE(eo.fExtended);
    for (const DialogTemplate* t : {&en, &eo}) {
        EXPECT_EQ(t->windowClass.text, u"KelvanoClass");
        EXPECT_EQ(t->dwStyle, 0x80000000u | 0x40u);
        ASSERT_EQ(t->items.size(), 1u);
        EXPECT_EQ(t->items[0].className, u"AnimWindow");
        EXPECT_EQ(t->items[0].id, static_cast<DWORD>(IDC_ANIM));
    }
    EXPECT_EQ(en.wWeight, 0);
    EXPECT_EQ(eo.wWeight, 400);
    EXPECT_EQ(eo.bCharSet, 1);
}

TEST(EmbeddedResources, LargePayloadReadsBackIntact) {
    HRSRC r = FindResource(nullptr, MAKEINTRESOURCEA(IDR_PAYLOAD), "ZIP");
    ASSERT_NE(r, nullptr);
    ASSERT_EQ(SizeofResource(nullptr, r), kBlobSize);
    auto p = static_cast<const std::uint8_t*>(LockResource(LoadResource(nullptr, r)));
    std::size_t cBad = 0;
    for (std::size_t i = 0; i < kBlobSize; ++i)
        cBad += p[i] != BlobByte(i);
    EXPECT_EQ(cBad, 0u);
}

TEST(EmbeddedResources, ExecutableModule) {
    HMODULE h = GetModuleHandle(nullptr);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(GetModuleFromAddress(reinterpret_cast<const void*>(&Utf8String)), h);
    EXPECT_EQ(FindResourceEx(h, "GRAPHIC", IDG_BOARD, kEnglish),
              FindResourceEx(nullptr, "GRAPHIC", IDG_BOARD, kEnglish));
    void* self = dlopen(nullptr, RTLD_NOW);
    EXPECT_EQ(GetModuleFromLibrary(self), h);
    dlclose(self);
}

TEST(EmbeddedResources, SharedLibraryHasItsOwnTable) {
    void* lib = dlopen(RESOURCE_TESTLIB, RTLD_NOW);
    ASSERT_NE(lib, nullptr) << dlerror();
    HMODULE h = GetModuleFromLibrary(lib);
    ASSERT_NE(h, nullptr);
    EXPECT_NE(h, GetModuleHandle(nullptr));
    EXPECT_EQ(GetModuleHandle(RESOURCE_TESTLIB), h);
    EXPECT_EQ(GetModuleFromAddress(dlsym(lib, "kelvano_resource_testlib_marker")), h);

    char buf[32];
    EXPECT_EQ(LoadString(h, IDS_TITLE, buf, sizeof buf), 7);
    EXPECT_STREQ(buf, "Library");
    EXPECT_EQ(LoadString(nullptr, IDS_TITLE, buf, sizeof buf), 7);
    EXPECT_STREQ(buf, "Kelvano");
    EXPECT_EQ(LoadString(h, IDS_GREETING, buf, sizeof buf), 0);

    HRSRC r = FindResource(h, IDG_BOARD, "GRAPHIC");
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(Bytes(h, r), Fixture("logo.bin"));
    EXPECT_EQ(FindResource(h, IDG_STATUS, "GRAPHIC"), nullptr);

    ASSERT_EQ(dlclose(lib), 0);
    // Once unloaded, nothing is found under its handle, and old entry handles are refused.
    EXPECT_EQ(GetModuleHandle(RESOURCE_TESTLIB), nullptr);
    EXPECT_EQ(FindResource(h, IDG_BOARD, "GRAPHIC"), nullptr);
    EXPECT_EQ(SizeofResource(h, r), 0u);
    EXPECT_EQ(LoadResource(h, r), nullptr);
}

} // namespace
