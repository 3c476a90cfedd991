#include "foundation/tl_language.h"

#include "foundation/tl_registry.h"
#include "host/codepage.h"
#include "tests/support/temp_registry.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <tuple>
#include <vector>

namespace {

using cetl::GetLanguageCount;
using cetl::GetLanguageId;
using cetl::GetLanguageIndex;
using cetl::kLanguageEnglish;
using cetl::kLanguageEsperanto;
using cetl::kLanguageNone;
using cetl::regkey;
using cetl::regvalue;
using cetl::string;
using host::BYTE;
using host::DWORD;
using host::HINSTANCE;
using host::HKEY;
using host::UINT;
using host::WORD;

constexpr WORD kEnglish = 1033;
constexpr WORD kEsperanto = 0;

std::string U8(const string& str) {
    return str.Text8();
}

void AppendUnits(std::vector<BYTE>& data, const std::u16string& text) {
    const BYTE* pb = reinterpret_cast<const BYTE*>(text.data());
    data.insert(data.end(), pb, pb + text.size() * 2);
}

// A resource table made in memory in the compiler's layout, registered for a module.
class TableBuilder {
public:
    void String(UINT id, WORD wLanguage, std::u16string text) {
        m_strings[{id / 16 + 1, wLanguage}][id % 16] = std::move(text);
    }
    void Entry(WORD nType, WORD nName, WORD wLanguage, std::vector<BYTE> data) {
        m_entries[{nType, nName, wLanguage}] = std::move(data);
    }
    // A template without items: no menu, the default class, a caption.
    void Dialog(WORD nName, const std::u16string& caption) {
        const host::DLGTEMPLATE dlg{0x80C80000, 0, 0, 0, 0, 160, 180};
        std::vector<BYTE> data(reinterpret_cast<const BYTE*>(&dlg),
                               reinterpret_cast<const BYTE*>(&dlg) + sizeof(dlg));
        AppendUnits(data, std::u16string(2, u'\0') + caption + u'\0');
        Entry(host::RT_DIALOG, nName, kEnglish, std::move(data));
    }

    // A made-up module handle when none is given.
    HINSTANCE Register(HINSTANCE hModule = Unique()) {
        for (const auto& [key, rgText] : m_strings) {
            std::vector<BYTE> data;
            for (const std::u16string& text : rgText) {
                data.push_back(static_cast<BYTE>(text.size()));
                data.push_back(static_cast<BYTE>(text.size() >> 8));
                AppendUnits(data, text);
            }
            Entry(host::RT_STRING, static_cast<WORD>(key.first), key.second, std::move(data));
        }
        const DWORD cEntries = static_cast<DWORD>(m_entries.size());
        const DWORD offNames =
            sizeof(host::RESTABLEHEADER) + cEntries * sizeof(host::RESTABLEENTRY);
        std::vector<BYTE> table(offNames);
        DWORD iEntry = 0;
        for (const auto& [key, data] : m_entries) {
            table.resize((table.size() + 3) / 4 * 4);
            const host::RESTABLEENTRY entry{std::get<0>(key),
                                            std::get<1>(key),
                                            std::get<2>(key),
                                            0,
                                            static_cast<DWORD>(table.size()),
                                            static_cast<DWORD>(data.size())};
            std::memcpy(&table[sizeof(host::RESTABLEHEADER) + iEntry++ * sizeof(entry)], &entry,
                        sizeof(entry));
            table.insert(table.end(), data.begin(), data.end());
        }
        const host::RESTABLEHEADER header{host::RESTABLE_MAGIC,
                                          host::RESTABLE_VERSION,
                                          0,
                                          cEntries,
                                          static_cast<DWORD>(table.size()),
                                          offNames,
                                          0};
        std::memcpy(table.data(), &header, sizeof(header));
        m_aligned.assign((table.size() + 3) / 4, 0);
        std::memcpy(m_aligned.data(), table.data(), table.size());
        m_hModule = hModule;
        m_fRegistered = host::RegisterResourceTable(hModule, m_aligned.data(), table.size());
        EXPECT_TRUE(m_fRegistered);
        return hModule;
    }
    ~TableBuilder() {
        if (m_fRegistered) host::UnregisterResourceTable(m_hModule);
    }

private:
    static HINSTANCE Unique() {
        static std::uintptr_t s_nNext = 0x7E570000;
        return reinterpret_cast<HINSTANCE>(s_nNext += 0x10000);
    }

    std::map<std::pair<UINT, WORD>, std::array<std::u16string, 16>> m_strings;
    std::map<std::tuple<DWORD, DWORD, WORD>, std::vector<BYTE>> m_entries;
    std::vector<std::uint32_t> m_aligned;
    HINSTANCE m_hModule = nullptr;
    bool m_fRegistered = false;
};

const regkey kNls("HKLM\\Software\\Vantor\\NLS");

std::string Stored(const TCHAR* pszName) {
    string str;
    if (!regvalue(kNls, pszName).ReadText(str)) return "(missing)";
    return U8(str);
}

class TlLanguage : public testing::Test {
protected:
    void SetUp() override {
        cetl::ResetLanguage();

        // The game's strings: the language list, then texts in both languages.
        for (const auto& [id, text] :
             std::map<UINT, std::u16string>{{1, u"EN,EO"},
                                            {70, u"Hello"},
                                            {71, u"Saluton ĉiuj+"},
                                            {72, u"Hello again"},
                                            {73, u" kaj+"},
                                            {75, u" plu"},
                                            {80, u"Dangling+"},
                                            {84, u"Cut"},
                                            {85, std::u16string(u"a\0b", 3)},
                                            {86, u"Cut"},
                                            {97, u"English block"}})
            m_game.String(id, kEnglish, text);
        // A block that exists in Esperanto too: found first while Esperanto is chosen.
        m_game.String(97, kEsperanto, u"Esperanto block");
        m_game.Dialog(111, u"Main");
        m_game.Dialog(112, u"Ĉefa");
        m_game.Entry(4999, 7, kEsperanto, {'e', 'o'});
        m_game.Entry(4999, 7, kEnglish, {'e', 'n'});
        m_game.Entry(4999, 8, 1024, {'n', 'e'});
        m_game.Entry(4999, 8, kEnglish, {'e', 'n'});
        m_game.Entry(4999, 9, 1031, {'d', 'e'});
        m_hGame = m_game.Register();
    }
    void TearDown() override { cetl::ResetLanguage(); }

    testsupport::TempRegistry m_registry{"tl_language"};
    TableBuilder m_game;
    HINSTANCE m_hGame = nullptr;
};

TEST(TlLanguageCodes, CodeTable) {
    struct Case {
        const char* pszCode;
        UINT nId;
    } const cases[] = {{"EO", 0},           {"eo", 0},
                       {"EN", 1033},        {"En", 1033},
                       {"FR", 1036},        {"DE", 1031},
                       {"ES", 1034},        {"IT", kLanguageNone},
                       {"", kLanguageNone}, {"ENG", kLanguageNone}};
    for (const Case& c : cases)
        EXPECT_EQ(cetl::LanguageFromCode(c.pszCode), c.nId) << c.pszCode;
}

TEST_F(TlLanguage, InitialiseStoresTheListAndTheChoiceAsText) {
    cetl::InitLanguage(TEXT("Kelvano CE"), m_hGame);
    EXPECT_EQ(GetLanguageId(), kLanguageEnglish);
    EXPECT_EQ(GetLanguageCount(), 2);
    // Either width writes text that the 16-bit calls read with its terminator and the 8-bit
    // calls read as 8-bit text.
    HKEY h = nullptr;
    ASSERT_EQ(host::RegOpenKeyExW(host::HKEY_LOCAL_MACHINE, u"Software\\Vantor\\NLS", 0,
                                  host::KEY_READ, &h),
              0);
    for (const auto& [name, text] :
         {std::pair<std::string, std::u16string>{"Opt-Kelvano CE", u"EN,EO"},
          {"Lang-Kelvano CE", u"EN"}}) {
        DWORD dwType = 0;
        char16_t rgch[16] = {};
        DWORD cb = sizeof(rgch);
        EXPECT_EQ(host::RegQueryValueExW(h, host::ToUtf16(name).c_str(), nullptr, &dwType,
                                         reinterpret_cast<BYTE*>(rgch), &cb),
                  0);
        EXPECT_EQ(dwType, host::REG_SZ);
        EXPECT_EQ(cb, (text.size() + 1) * 2);
        EXPECT_EQ(std::u16string(rgch), text);
        char rgch8[16] = {};
        cb = sizeof(rgch8);
        EXPECT_EQ(host::RegQueryValueExA(h, name.c_str(), nullptr, nullptr,
                                         reinterpret_cast<BYTE*>(rgch8), &cb),
                  0);
        EXPECT_EQ(cb, text.size() + 1);
        EXPECT_EQ(host::ToUtf16(rgch8), text);
    }
    host::RegCloseKey(h);

    // Once initialised, the selection stays until it is reset.
    cetl::InitLanguage(TEXT("Other"), nullptr);
    EXPECT_EQ(GetLanguageCount(), 2);
    EXPECT_EQ(Stored(TEXT("Opt-Other")), "(missing)");
}

TEST_F(TlLanguage, StoredChoiceIsCheckedAgainstTheList) {
    TableBuilder none, zero, three;
    none.String(2, kEnglish, u"no list");
    zero.String(1, kEnglish, std::u16string(u"EO\0EN", 5));
    three.String(1, kEnglish, u"EO, EN,DE");
    const HINSTANCE hNone = none.Register(), hZero = zero.Register(), hThree = three.Register();
    struct Case {
        HINSTANCE hModule;
        const char* pszStored; // null: no value
        const char* pszList;   // as stored
        int iIndex, cCount;
        UINT nId;
        const char* pszStoredAfter;
    } const cases[] = {
        {m_hGame, nullptr, "EN,EO", 0, 2, 1033, "EN"},
        {m_hGame, "EO", "EN,EO", 1, 2, 0, "EO"},
        {m_hGame, "eo", "EN,EO", 1, 2, 0, "eo"},
        {m_hGame, " EO ", "EN,EO", 1, 2, 0, " EO "},
        // Codes outside the list give way to its first entry, which is stored.
        {m_hGame, "FR", "EN,EO", 0, 2, 1033, "EN"},
        {m_hGame, "", "EN,EO", 0, 2, 1033, "EN"},
        {hThree, nullptr, "EO, EN,DE", 0, 3, 0, "EO"},
        {hThree, "de", "EO, EN,DE", 2, 3, 1031, "de"},
        // Without a usable string 1 the list is "EN".
        {hNone, "EO", "EN", 0, 1, 1033, "EN"},
        {hZero, nullptr, "EN", 0, 1, 1033, "EN"},
    };
    const regvalue choice(kNls, TEXT("Lang-M"));
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.pszList << " " << (c.pszStored ? c.pszStored : "-"));
        cetl::ResetLanguage();
        choice.Delete();
        if (c.pszStored != nullptr) {
            ASSERT_TRUE(choice.WriteText(c.pszStored));
        }
        cetl::InitLanguage(TEXT("M"), c.hModule);
        EXPECT_EQ(GetLanguageIndex(), c.iIndex);
        EXPECT_EQ(GetLanguageCount(), c.cCount);
        EXPECT_EQ(GetLanguageId(), c.nId);
        EXPECT_EQ(host::GetResourceLanguage(), c.nId);
        EXPECT_EQ(Stored(TEXT("Opt-M")), c.pszList);
        EXPECT_EQ(Stored(TEXT("Lang-M")), c.pszStoredAfter);
    }
}

TEST_F(TlLanguage, TheProgramItselfStoresNothing) {
    // A first use fills the selection from the executable's strings.
    TableBuilder program;
    program.String(1, kEnglish, u"EN,EO,DE");
    program.String(70, kEnglish, u"program");
    program.Register(nullptr);
    ASSERT_TRUE(regvalue(kNls, TEXT("Lang-")).WriteText(TEXT("DE")));
    EXPECT_EQ(GetLanguageCount(), 3);
    EXPECT_EQ(GetLanguageId(), cetl::kLanguageGerman);
    EXPECT_TRUE(cetl::SetLanguage(kLanguageEnglish));
    EXPECT_EQ(U8(string(cetl::TextId{70})), "program");
    EXPECT_EQ(Stored(TEXT("Lang-")), "DE");
    EXPECT_EQ(Stored(TEXT("Opt-")), "(missing)");

    // InitLanguage still takes over afterwards.
    cetl::InitLanguage(TEXT("Kelvano CE"), m_hGame);
    EXPECT_EQ(GetLanguageCount(), 2);
    EXPECT_EQ(Stored(TEXT("Opt-Kelvano CE")), "EN,EO");
    EXPECT_EQ(U8(string(cetl::TextId{70})), "Hello");
}

TEST_F(TlLanguage, TextsFollowTheIndexAndThePlusChains) {
    TableBuilder three;
    three.String(1, kEnglish, u"EN,EO,DE");
    three.String(42, kEnglish, u"de+");
    three.String(45, kEnglish, u" und+");
    three.String(48, kEnglish, u" mehr");
    const HINSTANCE hThree = three.Register();
    struct Case {
        HINSTANCE hModule;
        UINT nLanguage, nBase;
        const char* pszText; // null: missing
    } const cases[] = {
        {m_hGame, kLanguageEnglish, 70, "Hello"},
        // 71, then 73 (base 72 plus the index), then 75.
        {m_hGame, kLanguageEsperanto, 70, "Saluton ĉiuj kaj plu"},
        {m_hGame, kLanguageEsperanto, 72, " kaj plu"},
        {hThree, cetl::kLanguageGerman, 40, "de und mehr"},
        // A missing continuation ends the chain with what was found.
        {m_hGame, kLanguageEnglish, 80, "Dangling"},
        // Entries holding a zero character count as missing.
        {m_hGame, kLanguageEnglish, 85, nullptr},
        {m_hGame, kLanguageEsperanto, 84, nullptr},
        {m_hGame, kLanguageEnglish, 60, nullptr},
        {m_hGame, kLanguageEsperanto, 0xFFFF, nullptr},
        // The block in the chosen language comes before the English one.
        {m_hGame, kLanguageEnglish, 97, "English block"},
        {m_hGame, kLanguageEsperanto, 96, "Esperanto block"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.nLanguage << ":" << c.nBase);
        cetl::ResetLanguage();
        cetl::InitLanguage(TEXT("M"), c.hModule);
        ASSERT_TRUE(cetl::SetLanguage(c.nLanguage));
        string str(TEXT("old"));
        EXPECT_EQ(cetl::LoadText(c.nBase, str), c.pszText != nullptr);
        EXPECT_EQ(U8(str), c.pszText ? c.pszText : "");
        EXPECT_EQ(U8(string(cetl::TextId{c.nBase})), c.pszText ? c.pszText : "");
    }
    // Formats take text identifiers too.
    ASSERT_TRUE(cetl::SetLanguage(kLanguageEsperanto));
    EXPECT_EQ(U8(cetl::sformat("%{m} [%1]", cetl::TextId{70})), "[Saluton ĉiuj kaj plu]");
}

TEST_F(TlLanguage, SetLanguageHereAndInOtherModules) {
    cetl::InitLanguage(TEXT("Kelvano CE"), m_hGame);
    EXPECT_TRUE(cetl::SetLanguage(kLanguageEsperanto));
    EXPECT_EQ(GetLanguageIndex(), 1);
    EXPECT_EQ(U8(cetl::GetLanguageCode()), "EO");
    EXPECT_EQ(Stored(TEXT("Lang-Kelvano CE")), "EO");
    EXPECT_EQ(host::GetResourceLanguage(), kEsperanto);
    EXPECT_FALSE(cetl::SetLanguage(cetl::kLanguageFrench));
    EXPECT_EQ(GetLanguageId(), kLanguageEsperanto);

    ASSERT_TRUE(regvalue(kNls, TEXT("Opt-Other")).WriteText(TEXT("DE,EO,EN")));
    ASSERT_TRUE(regvalue(kNls, TEXT("Lang-Other")).WriteText(TEXT("eo")));
    ASSERT_TRUE(regvalue(kNls, TEXT("Lang-Odd")).WriteText(TEXT("XX")));
    struct Query {
        const TCHAR* pszModule;
        UINT nChosen;
        UINT rgnEntries[4];
    } const queries[] = {
        {TEXT("OTHER"), 0, {1031, 0, 1033, kLanguageNone}},
        {TEXT("Kelvano CE"), 0, {1033, 0, kLanguageNone, kLanguageNone}},
        {TEXT("Odd"), kLanguageNone, {kLanguageNone, kLanguageNone, kLanguageNone, kLanguageNone}},
        {TEXT("Missing"),
         kLanguageNone,
         {kLanguageNone, kLanguageNone, kLanguageNone, kLanguageNone}},
    };
    for (const Query& q : queries) {
        SCOPED_TRACE(U8(q.pszModule));
        EXPECT_EQ(cetl::GetModuleLanguage(q.pszModule), q.nChosen);
        for (int i = -1; i < 4; ++i)
            EXPECT_EQ(cetl::GetModuleLanguageAt(q.pszModule, i),
                      i < 0 ? kLanguageNone : q.rgnEntries[i]);
    }

    EXPECT_TRUE(cetl::SetModuleLanguage(TEXT("Other"), cetl::kLanguageGerman));
    EXPECT_FALSE(cetl::SetModuleLanguage(TEXT("Other"), cetl::kLanguageFrench));
    EXPECT_EQ(Stored(TEXT("Lang-Other")), "DE");
    EXPECT_FALSE(cetl::SetModuleLanguage(TEXT("Missing"), kLanguageEnglish));
    EXPECT_EQ(Stored(TEXT("Lang-Missing")), "(missing)");
    EXPECT_FALSE(cetl::SetModuleLanguage(TEXT(""), kLanguageEnglish));
    EXPECT_EQ(GetLanguageId(), kLanguageEsperanto);
    // The program's own name, in any case, changes the current choice too.
    EXPECT_TRUE(cetl::SetModuleLanguage(TEXT("kelvano ce"), kLanguageEnglish));
    EXPECT_EQ(GetLanguageIndex(), 0);
    EXPECT_EQ(Stored(TEXT("Lang-Kelvano CE")), "EN");

    // The choice survives into the next run.
    cetl::ResetLanguage();
    cetl::InitLanguage(TEXT("Kelvano CE"), m_hGame);
    EXPECT_EQ(GetLanguageId(), kLanguageEnglish);
}

TEST_F(TlLanguage, DialogsAndOtherResources) {
    cetl::InitLanguage(TEXT("Kelvano CE"), m_hGame);
    struct Case {
        UINT nLanguage;
        UINT nDialog;
        const char16_t* pszCaption;
        const char* rgpszData[4]; // names 7 to 10; null: missing
    } const cases[] = {
        // Neutral comes before English, and any language before nothing.
        {kLanguageEnglish, 111, u"Main", {"en", "en", "de", nullptr}},
        {kLanguageEsperanto, 112, u"Ĉefa", {"eo", "ne", "de", nullptr}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.nLanguage);
        ASSERT_TRUE(cetl::SetLanguage(c.nLanguage));
        EXPECT_EQ(cetl::GetDialogId(111), c.nDialog);
        host::DialogTemplate dlg;
        ASSERT_TRUE(cetl::LoadLocalDialog(111, &dlg));
        EXPECT_EQ(dlg.caption, c.pszCaption);
        EXPECT_FALSE(cetl::LoadLocalDialog(125, &dlg));
        for (WORD nName = 7; nName <= 10; ++nName) {
            DWORD cb = 0;
            const void* pv = cetl::LoadLocalResource(m_hGame, 4999, nName, &cb);
            const char* pszData = c.rgpszData[nName - 7];
            EXPECT_EQ(pv ? std::string(static_cast<const char*>(pv), cb) : "(missing)",
                      pszData ? pszData : "(missing)")
                << nName;
        }
    }
}

// The test programs embed tl_language_test.rc through the resource compiler.
TEST_F(TlLanguage, CompiledScript) {
    const HINSTANCE hProgram = host::GetModuleHandle(nullptr);
    if (host::FindStringResource(hProgram, 1, kEnglish, nullptr) == 0)
        GTEST_SKIP() << "the test program embeds no resource script";
    cetl::InitLanguage(TEXT("Script"), hProgram);
    struct Case {
        UINT nLanguage;
        const char* pszText70;
        const char* pszText96;
        const char16_t* pszCaption;
        const char16_t* pszItem;
    } const cases[] = {
        {kLanguageEnglish, "Hello", "", u"Main", u"Hello"},
        {kLanguageEsperanto, "Saluton ĉiuj kaj plu", "Esperanto block", u"Ĉefa", u"Saluton"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.nLanguage);
        ASSERT_TRUE(cetl::SetLanguage(c.nLanguage));
        EXPECT_EQ(U8(string(cetl::TextId{70})), c.pszText70);
        EXPECT_EQ(U8(string(cetl::TextId{96})), c.pszText96);
        host::DialogTemplate dlg;
        ASSERT_TRUE(cetl::LoadLocalDialog(111, &dlg));
        EXPECT_EQ(dlg.caption, c.pszCaption);
        EXPECT_EQ(dlg.faceName, u"MS Shell Dlg");
        ASSERT_EQ(dlg.items.size(), 1u);
        EXPECT_EQ(dlg.items[0].text.text, c.pszItem);
    }
}

// A text the language lacks, whether its entry is empty or its block missing, shows as
// nothing: a dialog or a message then leaves the gap rather than a marker.
TEST_F(TlLanguage, MissingAndEmptyTextsAreEmpty) {
    const HINSTANCE hProgram = host::GetModuleHandle(nullptr);
    if (host::FindStringResource(hProgram, 1, kEnglish, nullptr) == 0)
        GTEST_SKIP() << "the test program embeds no resource script";
    cetl::InitLanguage(TEXT("Script"), hProgram);
    struct Case {
        UINT nLanguage, nBase;
        const char* pszText;
    } const cases[] = {
        {kLanguageEnglish, 74, ""},   // the script's empty string
        {kLanguageEsperanto, 74, ""}, // 75: no entry in a block that exists
        {kLanguageEnglish, 96, ""},    {kLanguageEsperanto, 96, "Esperanto block"},
        {kLanguageEnglish, 300, ""}, // no block at all
        {kLanguageEsperanto, 300, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.nLanguage << ":" << c.nBase);
        ASSERT_TRUE(cetl::SetLanguage(c.nLanguage));
        string str(TEXT("old"));
        EXPECT_EQ(cetl::LoadText(c.nBase, str), *c.pszText != 0);
        EXPECT_EQ(U8(str), c.pszText);
        EXPECT_EQ(U8(string(cetl::TextId{c.nBase})), c.pszText);
        const std::string expected = std::string("<") + c.pszText + ">";
        EXPECT_EQ(U8(cetl::sformat("%{m}<%1>", cetl::TextId{c.nBase})), expected);
        EXPECT_EQ(U8(cetl::sformat("<%m>", c.nBase)), expected);
    }
}

} // namespace
