// The program's resource script and the generated pictures and sounds it carries, checked
// as the game reads them.
#include "anim/cea_graphic.h"
#include "anim/cea_palette.h"
#include "foundation/tl_language.h"
#include "gameui/layout.h"
#include "gameui/layout_test_support.h"
#include "gameui/resdata.h"
#include "gameui/resource.h"
#include "host/controls.h"
#include "host/dialog.h"
#include "host/resource.h"
#include "tests/support/temp_registry.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using host::DialogItem;
using host::DialogTemplate;

constexpr UINT kEnglish = cetl::kLanguageEnglish;
constexpr UINT kEsperanto = cetl::kLanguageEsperanto;

std::u16string Text(UINT nBase) {
    cetl::string str;
    if (!cetl::LoadText(nBase, str)) return u"<missing>";
    return std::u16string(str.Text(), static_cast<size_t>(str.Length()));
}

class Resources : public testing::Test {
protected:
    void SetUp() override { Use(kEnglish); }
    void TearDown() override { cetl::ResetLanguage(); }
    static void Use(UINT nLanguage) {
        cetl::InitLanguage(TEXT("Kelvano CE"), nullptr);
        ASSERT_TRUE(cetl::SetLanguage(nLanguage));
    }
    testsupport::TempRegistry registry_{"gameui-resources"};
};

// Every text the game shows, by its English number.
const UINT kTexts[] = {IDS_TITLE,
                       IDS_LOW,
                       IDS_MEDIUM,
                       IDS_HIGH,
                       IDS_BLUE,
                       IDS_RED,
                       IDS_BOARD_CLASSIC,
                       IDS_BOARD_HILL,
                       IDS_BOARD_FLAG,
                       IDS_BOARD_BATTLE1,
                       IDS_BOARD_BATTLE2,
                       IDS_BOARD_BATTLE3,
                       IDS_BOARD_TUG,
                       IDS_DESC_CLASSIC,
                       IDS_DESC_HILL,
                       IDS_DESC_FLAG,
                       IDS_DESC_BATTLE1,
                       IDS_DESC_BATTLE2,
                       IDS_DESC_BATTLE3,
                       IDS_DESC_TUG,
                       IDS_CLOSE_HINT,
                       IDS_NEXT_HINT,
                       IDS_NEXT,
                       IDS_CLOSE,
                       IDS_NEWGAME_TITLE,
                       IDS_TUTORIAL_TITLE,
                       IDS_PRACTICE_BREAKING,
                       IDS_PAGE0,
                       IDS_PAGE1,
                       IDS_PAGE2,
                       IDS_PAGE3,
                       IDS_PAGE4,
                       IDS_PAGE5,
                       IDS_PAGE6};

int Count(const std::u16string& s, std::u16string_view what) {
    int c = 0;
    for (size_t i = s.find(what); i != std::u16string::npos; i = s.find(what, i + 1))
        ++c;
    return c;
}

TEST_F(Resources, LanguageListInBothTables) {
    for (host::LANGID wLanguage : {host::LANG_ID_ENGLISH, host::LANG_ID_ESPERANTO}) {
        const WCHAR* pch = nullptr;
        const int cch = host::FindStringResource(nullptr, IDS_LANGUAGES, wLanguage, &pch);
        EXPECT_EQ(std::u16string(pch, static_cast<size_t>(cch)), u"EN,EO") << wLanguage;
    }
    EXPECT_EQ(cetl::GetLanguageCount(), 2);
}

// Both languages have every text; the translation keeps the markup and the line breaks and
// is written in the Esperanto alphabet.
TEST_F(Resources, EveryTextInBothLanguages) {
    std::vector<std::u16string> english;
    for (UINT id : kTexts)
        english.push_back(Text(id));
    Use(kEsperanto);
    for (size_t i = 0; i < std::size(kTexts); ++i) {
        SCOPED_TRACE(kTexts[i]);
        const std::u16string eo = Text(kTexts[i]);
        const std::u16string& en = english[i];
        ASSERT_NE(en, u"<missing>");
        ASSERT_NE(eo, u"<missing>");
        EXPECT_FALSE(en.ends_with(u"+") || eo.ends_with(u"+"));
        if (kTexts[i] != IDS_TITLE) {
            EXPECT_NE(en, eo);
        }
        for (std::u16string_view mark : {u"[B]", u"[b]", u"[]", u"\n", u"&", u">", u"<"})
            EXPECT_EQ(Count(en, mark), Count(eo, mark)) << std::string(mark.begin(), mark.end());
        for (char16_t ch : eo)
            EXPECT_EQ(std::u16string_view(u"qwxyQWXY").find(ch), std::u16string_view::npos);
    }
}

// The page texts are chains of "+" links: the whole chain resolves, in both languages.
TEST_F(Resources, TutorialPageChains) {
    const struct {
        UINT nFirst;
        int cLinks;
        std::u16string_view englishEnd;
    } pages[] = {
        {IDS_PAGE0, 5, u"Raise your stylus to move the piece."},
        {IDS_PAGE1, 4, u"you can't push more than three of your pieces at once."},
        {IDS_PAGE2, 3, u"three of yours can push at most two of your opponent's."},
        {IDS_PAGE3, 3, u"then one more push, and it's gone!"},
        {IDS_PAGE4, 3, u"the board breaks, and the piece falls through!"},
        {IDS_PAGE5, 4, u"occupying all the Red and Green goals."},
        {IDS_PAGE6, 3, u"[B]That's it![] You're ready to begin playing!"},
    };
    for (const auto& page : pages) {
        SCOPED_TRACE(page.nFirst);
        EXPECT_TRUE(Text(page.nFirst).ends_with(page.englishEnd));
        for (host::LANGID wLanguage : {host::LANG_ID_ENGLISH, host::LANG_ID_ESPERANTO}) {
            const UINT nOffset = wLanguage == host::LANG_ID_ENGLISH ? 0 : 1;
            int cLinks = 0;
            for (UINT id = page.nFirst + nOffset;; id += 2) {
                const WCHAR* pch = nullptr;
                const int cch = host::FindStringResource(nullptr, id, wLanguage, &pch);
                ASSERT_GT(cch, 0) << "broken chain at " << id;
                ++cLinks;
                if (pch[cch - 1] != u'+') break;
            }
            EXPECT_EQ(cLinks, page.cLinks) << wLanguage;
        }
    }
}

TEST_F(Resources, NamedTextsAsWritten) {
    const struct {
        UINT id;
        std::u16string_view english;
    } texts[] = {
        {IDS_TITLE, u"Kelvano"},
        {IDS_BOARD_HILL, u"King of the Hill"},
        {IDS_BOARD_FLAG, u"Capture The Flag"},
        {IDS_DESC_BATTLE2, u"Push your opponent off the board or capture the goals first."},
        {IDS_NEXT_HINT, u"To continue,\nclick [B]Next[]..."},
        {IDS_NEXT, u"&Next >"},
        {IDS_NEWGAME_TITLE, u"Kelvano - New Game"},
        {IDS_TUTORIAL_TITLE, u"Kelvano - Tutorial"},
    };
    for (const auto& t : texts)
        EXPECT_EQ(Text(t.id), t.english) << t.id;
    Use(kEsperanto);
    EXPECT_EQ(Text(IDS_TITLE), u"Kelvano");
    EXPECT_EQ(Text(IDS_RED), u"Ruĝa");
}

// ---- Dialog templates

struct Item {
    int id; // -1 for none
    const char16_t* cls;
    DWORD dwKind; // the low style bits that make the kind
    const char16_t* english;
    const char16_t* esperanto;
};

DialogTemplate Template(UINT id, host::LANGID wLanguage) {
    DialogTemplate t;
    EXPECT_TRUE(host::LoadDialogTemplate(nullptr, host::ResName(id), wLanguage, &t)) << id;
    return t;
}

// Both languages: the same frame and the listed controls in order, each of its class and
// kind, at the same place, with the language's text.
void ExpectDialog(UINT id, const std::vector<Item>& items) {
    const DialogTemplate en = Template(id, host::LANG_ID_ENGLISH);
    const DialogTemplate eo = Template(id + 1, host::LANG_ID_ESPERANTO);
    for (const DialogTemplate* t : {&en, &eo}) {
        const bool fEnglish = t == &en;
        SCOPED_TRACE(fEnglish ? id : id + 1);
        EXPECT_EQ(t->cx, 160);
        EXPECT_EQ(t->cy, 180);
        EXPECT_TRUE(t->fHasFont);
        EXPECT_EQ(t->faceName, u"MS Shell Dlg");
        EXPECT_EQ(t->wPointSize, 8);
        ASSERT_EQ(t->items.size(), items.size());
        for (size_t i = 0; i < items.size(); ++i) {
            const DialogItem& it = t->items[i];
            const DialogItem& other = en.items[i];
            SCOPED_TRACE(items[i].id);
            EXPECT_EQ(it.id, items[i].id < 0 ? 0xFFFFu : static_cast<DWORD>(items[i].id));
            EXPECT_EQ(it.className, items[i].cls);
            EXPECT_EQ(it.dwStyle & 0xF, items[i].dwKind);
            EXPECT_TRUE(it.dwStyle & host::WS_CHILD);
            EXPECT_EQ(it.text.text, fEnglish ? items[i].english : items[i].esperanto);
            EXPECT_TRUE(it.x >= 0 && it.y >= 0 && it.x + it.cx <= 160 && it.y + it.cy <= 180);
            EXPECT_EQ(it.dwStyle, other.dwStyle);
            if (it.id != IDC_ANIM) {
                EXPECT_TRUE(it.x == other.x && it.y == other.y && it.cx == other.cx &&
                            it.cy == other.cy);
            }
        }
    }
}

TEST_F(Resources, MainWindowTemplate) {
    for (UINT id : {111u, 112u}) {
        const DialogTemplate t = Template(id, id == 111 ? host::LANG_ID_ENGLISH : 0);
        EXPECT_EQ(t.windowClass.text, u"KelvanoClass");
        EXPECT_EQ(t.dwStyle & (host::WS_POPUP | host::WS_CAPTION | host::WS_VISIBLE),
                  host::WS_POPUP);
        EXPECT_TRUE(t.caption.empty());
    }
    ExpectDialog(IDD_MAIN, {{IDC_ANIM, u"AnimWindow", 0, u"", u""}});
    const DialogItem anim = Template(IDD_MAIN, host::LANG_ID_ENGLISH).items[0];
    EXPECT_EQ(anim.dwStyle, host::WS_CHILD | host::WS_VISIBLE);
    EXPECT_TRUE(anim.x == 0 && anim.y == 0 && anim.cx == 160 && anim.cy == 180);
}

constexpr DWORD kGroup = host::BS_GROUPBOX;
constexpr DWORD kRadio = host::BS_AUTORADIOBUTTON;
constexpr DWORD kCheck = host::BS_AUTOCHECKBOX;
constexpr DWORD kDefault = host::BS_DEFPUSHBUTTON;
constexpr DWORD kList = host::CBS_DROPDOWNLIST;

TEST_F(Resources, NewGameTemplate) {
    ExpectDialog(IDD_NEWGAME,
                 {
                     {-1, u"Button", kGroup, u"Rules", u"Reguloj"},
                     {IDC_BOARD, u"ComboBox", kList, u"", u""},
                     {IDC_MODERN, u"Button", kCheck, u"Modern", u"Moderna"},
                     {IDC_DESCRIPTION, u"Static", 0, u"(game description)", u"(ludaj detaloj)"},
                     {-1, u"Button", kGroup, u"Opponent", u"Kontraŭulo"},
                     {IDC_HUMAN, u"Button", kRadio, u"Play a local human opponent",
                      u"Ludu kontraŭ loka ludanto"},
                     {IDC_COMPUTER, u"Button", kRadio, u"Play a computer opponent:",
                      u"Ludu kontraŭ la komputilo:"},
                     {IDC_STRENGTH_LABEL, u"Static", 0, u"Strength:", u"Ĝia Forto:"},
                     {IDC_LOW, u"Button", kRadio, u"", u""},
                     {IDC_MEDIUM, u"Button", kRadio, u"", u""},
                     {IDC_HIGH, u"Button", kRadio, u"", u""},
                     {IDC_STRENGTH, u"Static", 0, u"(strength)", u"(forto)"},
                     {IDC_COLOR_LABEL, u"Static", 0, u"My Color:", u"Mia Koloro:"},
                     {IDC_BLUE, u"Button", kRadio, u"", u""},
                     {IDC_RED, u"Button", kRadio, u"", u""},
                     {IDC_COLOR, u"Static", 0, u"(color)", u"(koloro)"},
                     {host::IDOK, u"Button", kDefault, u"OK", u"Akceptu"},
                     {host::IDCANCEL, u"Button", 0, u"Cancel", u"Nuligu"},
                 });
    const DialogTemplate t = Template(IDD_NEWGAME, host::LANG_ID_ENGLISH);
    EXPECT_EQ(t.dwStyle & (host::WS_CAPTION | host::WS_SYSMENU),
              host::WS_CAPTION | host::WS_SYSMENU);
    EXPECT_TRUE(t.caption.empty());
    // Three radio groups, each starting with WS_GROUP.
    for (const DialogItem& it : t.items) {
        if ((it.dwStyle & 0xF) != kRadio) continue;
        const bool fFirst = it.id == IDC_HUMAN || it.id == IDC_LOW || it.id == IDC_BLUE;
        EXPECT_EQ((it.dwStyle & host::WS_GROUP) != 0, fFirst) << it.id;
    }
}

TEST_F(Resources, TutorialTemplate) {
    ExpectDialog(IDD_TUTORIAL, {
                                   {IDC_PAGE_TEXT, u"StaticEx", 0, u"", u""},
                                   {IDC_HINT, u"StaticEx", 0, u"", u""},
                                   {IDC_BACK, u"Button", 0, u"< &Back", u"< &Reiru"},
                                   {IDC_FORWARD, u"Button", 0, u"", u""},
                                   {IDC_ANIM, u"AnimWindow", 0, u"", u""},
                               });
    const struct {
        int id;
        int x, y, cx, cy;
    } places[] = {
        {IDC_PAGE_TEXT, 4, 4, 152, 105}, {IDC_HINT, 4, 115, 69, 16},  {IDC_BACK, 78, 117, 37, 13},
        {IDC_FORWARD, 118, 117, 37, 13}, {IDC_ANIM, 4, 137, 152, 39},
    };
    for (UINT id : {127u, 128u}) {
        const DialogTemplate t = Template(id, id == 127 ? host::LANG_ID_ENGLISH : 0);
        EXPECT_EQ(t.dwStyle & (host::WS_CAPTION | host::WS_SYSMENU),
                  host::WS_CAPTION | host::WS_SYSMENU);
        for (size_t i = 0; i < std::size(places); ++i) {
            const DialogItem& it = t.items[i];
            EXPECT_TRUE(it.x == places[i].x && it.y == places[i].y && it.cx == places[i].cx &&
                        it.cy == places[i].cy)
                << id << " " << places[i].id;
        }
        EXPECT_TRUE(t.items[4].dwStyle & host::WS_BORDER);
    }
}

// ---- Packed resources

class PackedModule : public testing::Test {
protected:
    void SetUp() override {
        lib_ = dlopen(PACKED_TESTLIB, RTLD_NOW);
        ASSERT_NE(lib_, nullptr) << dlerror();
        module_ = host::GetModuleFromLibrary(lib_);
        ASSERT_NE(module_, nullptr);
    }
    void TearDown() override {
        cetl::ResetLanguage();
        if (lib_ != nullptr) dlclose(lib_);
    }
    void* lib_ = nullptr;
    host::HMODULE module_ = nullptr;
    testsupport::TempRegistry registry_{"gameui-packed"};
};

// The packed picture is 4 x 2, the plain one 3 x 5.
TEST_F(PackedModule, CompressedIsPreferredAndUnpacked) {
    const struct {
        UINT id;
        bool fOk;
        int cx, cy;
        bool fUnpacked;
    } cases[] = {
        {141, true, 4, 2, true},   // packed and plain: the packed one
        {142, true, 3, 5, false},  // plain only
        {143, false, 0, 0, false}, // packed but damaged: no fallback
        {144, false, 0, 0, false}, // neither
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.id);
        RESOURCEDATA data;
        ASSERT_EQ(LoadGameResource(module_, c.id, "GRAPHIC", &data), c.fOk);
        if (!c.fOk) {
            EXPECT_EQ(data.pbData, nullptr);
            continue;
        }
        EXPECT_EQ(data.pbUnpacked != nullptr, c.fUnpacked);
        Graphic picture(data.pbData, data.cbData);
        EXPECT_EQ(picture.GetWidth(), c.cx);
        EXPECT_EQ(picture.GetHeight(), c.cy);
        FreeResourceData(&data);
        EXPECT_EQ(data.pbData, nullptr);
    }
    RESOURCEDATA logo;
    ASSERT_TRUE(LoadPackedResource(module_, RT_LOGO, 5000, &logo));
    EXPECT_EQ(Graphic(logo.pbData, logo.cbData).GetWidth(), 4);
    FreeResourceData(&logo);
    EXPECT_FALSE(LoadPackedResource(module_, RT_LOGO, 5001, &logo));
}

} // namespace
