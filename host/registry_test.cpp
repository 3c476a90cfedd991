#include "host/registry.h"

#include "host/debug.h"
#include "host/registry_file.h"
#include "tests/support/temp_registry.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using namespace host;
using namespace std::literals;
using regfile::RegKeyNode;
using regfile::RegValueEntry;
namespace fs = std::filesystem;

std::vector<BYTE> Bytes(std::u16string_view units) {
    std::vector<BYTE> data;
    for (char16_t u : units) {
        data.push_back(static_cast<BYTE>(u & 0xFF));
        data.push_back(static_cast<BYTE>(u >> 8));
    }
    return data;
}

std::vector<BYTE> Dword(DWORD n) {
    return {BYTE(n), BYTE(n >> 8), BYTE(n >> 16), BYTE(n >> 24)};
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteFile(const fs::path& path, std::string_view text) {
    std::ofstream(path, std::ios::binary) << text;
}

// Every value type and the awkward corners of each.
std::vector<RegValueEntry> AwkwardValues() {
    std::vector<BYTE> every(256);
    for (int i = 0; i < 256; ++i)
        every[i] = static_cast<BYTE>(i);
    const std::u16string esperanto = u"Ĉu ĝi ŝanĝiĝas? ĉĝĥĵŝŭ ĈĜĤĴŜŬ";
    return {
        {u"", REG_SZ, Bytes(u"default\0"sv)},
        {u"Esperanto", REG_SZ, Bytes(esperanto + u'\0')},
        {u"Escapes", REG_SZ, Bytes(u"q\"b\\n\nr\rt\tz\0mid\x7f\x85\xfeff\u2028end\0"sv)},
        {u"Surrogates", REG_SZ, Bytes(u"pair \U0001F600 lone \xD800 \xDC00 x\xDBFF\0"sv)},
        {u"EmptyText", REG_SZ, Bytes(u"\0"sv)},
        {u"NoBytes", REG_SZ, {}},
        {u"OddBytes", REG_SZ, {'a', 0, 0}},
        {u"NoTerminator", REG_SZ, Bytes(u"abc"sv)},
        {u"Expand", REG_EXPAND_SZ, Bytes(u"%HOME%\\ludoj\0"sv)},
        {u"Multi", REG_MULTI_SZ, Bytes(u"one\0two \"2\"\0\0"sv)},
        {u"MultiNone", REG_MULTI_SZ, Bytes(u"\0"sv)},
        {u"MultiEmptyText", REG_MULTI_SZ, Bytes(u"\0\0"sv)},
        {u"MultiUnended", REG_MULTI_SZ, Bytes(u"a\0"sv)},
        {u"Dword", REG_DWORD, Dword(0x2a)},
        {u"DwordMax", REG_DWORD, Dword(0xFFFFFFFF)},
        {u"DwordShort", REG_DWORD, {1, 2, 3}},
        {u"Every byte", REG_BINARY, every},
        {u"EmptyBinary", REG_BINARY, {}},
        {u"None", REG_NONE, {}},
        {u"NoneBytes", REG_NONE, {0, 1}},
        {u"Qword", 11, {1, 2, 3, 4, 5, 6, 7, 8}},
        {u"Highest type", 0xFFFFFFFF, {0xAB}},
        {u"name \"quoted\"\n\\ \xD800", REG_DWORD, Dword(7)},
        {u"@", REG_SZ, Bytes(u"at\0"sv)},
    };
}

TEST(RegistryText, EveryValueRoundTrips) {
    RegKeyNode hive;
    RegKeyNode& key = hive.EnsureSubkey(u"Software").EnsureSubkey(u" weird]name\t\"[ \xDC00");
    for (const RegValueEntry& value : AwkwardValues())
        key.SetValue(value.name, value.nType, value.data);
    hive.EnsureSubkey(u"Empty key");
    hive.EnsureSubkey(u"Software").EnsureSubkey(u"Ĉambro");
    hive.SetValue(u"on the root", REG_DWORD, Dword(1));

    std::string text = regfile::WriteHive(1, hive);
    RegKeyNode back;
    back.name = hive.name;
    std::string message;
    ASSERT_TRUE(regfile::LoadHive(text, 1, back, message)) << message << "\n" << text;
    EXPECT_TRUE(back.Equals(hive)) << text;
    EXPECT_EQ(regfile::WriteHive(1, back), text);
}

TEST(RegistryText, FormatsValuesForPeople) {
    std::vector<BYTE> seventeen(17, 0xAB);
    const struct {
        RegValueEntry value;
        std::string line;
    } cases[] = {
        {{u"Count", REG_DWORD, Dword(42)}, R"("Count"=dword:0000002a)"},
        {{u"", REG_SZ, Bytes(u"x\0"sv)}, R"(@=sz:"x")"},
        {{u"T", REG_SZ, Bytes(u"ĉ \"q\" \\ \n\0"sv)}, "\"T\"=sz:\"ĉ \\\"q\\\" \\\\ \\n\""},
        {{u"T", REG_SZ, Bytes(u"a\0b\xD801\x01\0"sv)}, R"("T"=sz:"a\0b\uD801\u0001")"},
        {{u"M", REG_MULTI_SZ, Bytes(u"a\0b\0\0"sv)}, "\"M\"=multi:\\\n  \"a\",\\\n  \"b\""},
        {{u"M", REG_MULTI_SZ, Bytes(u"a\0\0"sv)}, R"("M"=multi:"a")"},
        {{u"B", REG_BINARY, {0, 0x7f, 0xff}}, R"("B"=hex:00 7f ff)"},
        {{u"B", REG_BINARY, seventeen},
         "\"B\"=hex:\\\n  ab ab ab ab ab ab ab ab ab ab ab ab ab ab ab ab \\\n  ab"},
        {{u"N", 11, {1}}, R"("N"=hex(11):01)"},
        {{u"S", REG_SZ, {'a', 0}}, R"("S"=hex(1):61 00)"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(regfile::FormatValue(c.value), c.line);
    EXPECT_EQ(regfile::FormatKeyPath(2, {u"Software", u"a]b", u"Ĉe"}),
              R"(HKEY_LOCAL_MACHINE\Software\"a]b"\Ĉe)");
}

TEST(RegistryText, AcceptsHandWrittenText) {
    std::string text = "\xEF\xBB\xBFKELVANO REGISTRY 1\r\n"
                       "; a comment\r\n"
                       "\r\n"
                       "[hkcu\\Software\\Vantor]   \r\n"
                       "  \"D\" = dword:2a\r\n"
                       "\"H\"=hex:01,02, 0304\\\r\n"
                       "   05\r\n"
                       "\"E\"=sz:\"\\uD83D\\uDE00\"\r\n"
                       "[HKEY_CURRENT_USER\\software\\VANTOR]\n"
                       "\"d\"=dword:00000001\n"
                       "END\n"
                       "; trailing comment\n";
    regfile::RegParseResult parsed = regfile::ParseText(text);
    ASSERT_TRUE(parsed.fOk) << parsed.message;
    RegKeyNode hive;
    for (const auto& section : parsed.sections)
        regfile::ApplySection(hive, section);
    const RegKeyNode* key = hive.FindSubkey(u"SOFTWARE")->FindSubkey(u"vantor");
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(key->name, u"Vantor");
    ASSERT_EQ(key->values.size(), 3u);
    EXPECT_EQ(key->values[0], (RegValueEntry{u"D", REG_DWORD, Dword(1)}));
    EXPECT_EQ(key->values[1].data, (std::vector<BYTE>{1, 2, 3, 4, 5}));
    EXPECT_EQ(key->values[2].data, Bytes(u"\U0001F600\0"sv));
}

TEST(RegistryText, RefusesDamage) {
    const std::string head = "KELVANO REGISTRY 1\n[HKEY_CURRENT_USER\\a]\n";
    const struct {
        std::string text;
        std::string error;
    } cases[] = {
        {"", "line 1: not a registry text"},
        {"KELVANO REGISTRY 2\nEND\n", "line 1: unsupported version"},
        {"kelvano registry 1\nEND\n", "line 1: not a registry text"},
        {head, "line 3: missing END"},
        {head + "\"x\"=dword:1\n", "line 4: missing END"},
        {head + "\"x\"=hex:01 \\\n", "line 4: missing END"},
        {head + "\"x\"=sz:\"abc\nEND\n", "line 3: unterminated text"},
        {head + "\"x\"=sz:\"a\\qb\"\nEND\n", "line 3: unknown escape"},
        {head + "\"x\"=sz:\"\\u12\"\nEND\n", "line 3: \\u needs four"},
        {head + "\"x\"=sz:\"\xff\"\nEND\n", "line 3: invalid UTF-8"},
        {head + "\"x\"=sz:\"\xc0\x80\"\nEND\n", "line 3: invalid UTF-8"},
        {head + "\"x\"=sz:\"\xed\xa0\x80\"\nEND\n", "line 3: invalid UTF-8"},
        {head + "\"x\"=sz:\"\xe2\x82\"\nEND\n", "line 3: invalid UTF-8"},
        {head + "\"x\"=sz:\"a\x01\"\nEND\n", "line 3: control character"},
        {head + "\"x\"=sz:\"a\" b\nEND\n", "line 3: unexpected text at the end"},
        {head + "\"x\" dword:1\nEND\n", "line 3: expected \"=\""},
        {head + "\"x\"=qword:1\nEND\n", "line 3: unknown value type"},
        {head + "\"x\"=dword\nEND\n", "line 3: expected \":\""},
        {head + "\"x\"=dword:\nEND\n", "line 3: dword without digits"},
        {head + "\"x\"=dword:123456789\nEND\n", "line 3: dword with more than 8"},
        {head + "\"x\"=hex:0\nEND\n", "line 3: hexadecimal bytes need two digits"},
        {head + "\"x\"=hex:01 2 03\nEND\n", "line 3: hexadecimal bytes need two digits"},
        {head + "\"x\"=hex(4294967296):\nEND\n", "line 3: value type number too large"},
        {head + "\"x\"=hex():\nEND\n", "line 3: expected a decimal type number"},
        {head + "\"x\"=multi:\"a\" \"b\"\nEND\n", "line 3: unexpected text at the end"},
        {head + "hello\nEND\n", "line 3: unexpected text"},
        {head + "END\nmore\n", "line 4: text after END"},
        {head + "END\n[HKEY_CURRENT_USER\\b]\n", "line 4: text after END"},
        {"KELVANO REGISTRY 1\n\"x\"=dword:1\nEND\n", "line 2: value outside a key section"},
        {"KELVANO REGISTRY 1\n[HKEY_USERS\\a]\nEND\n", "line 2: unknown root"},
        {"KELVANO REGISTRY 1\n[HKCU\\\\a]\nEND\n", "line 2: empty key name"},
        {"KELVANO REGISTRY 1\n[HKCU\\a\\]\nEND\n", "line 2: empty key name"},
        {"KELVANO REGISTRY 1\n[HKCU\\a\nEND\n", "line 2: key header without a closing"},
        {"KELVANO REGISTRY 1\n[HKCU\\a\"b]\nEND\n", "line 2: key name needs quotes"},
        {"KELVANO REGISTRY 1\n[HKCU\\\"a\\\\b\"]\nEND\n", "line 2: key name holds a backslash"},
        {"KELVANO REGISTRY 1\n[HKCU\\\"a\\0\"]\nEND\n", "line 2: name holds a zero character"},
        {head + "\"a\\0\"=dword:1\nEND\n", "line 3: name holds a zero character"},
        {"KELVANO REGISTRY 1\n[HKCU\\" + std::string(256, 'k') + "]\nEND\n",
         "line 2: key name longer than 255"},
    };
    for (const auto& c : cases) {
        regfile::RegParseResult parsed = regfile::ParseText(c.text);
        EXPECT_FALSE(parsed.fOk) << c.text;
        EXPECT_EQ(parsed.message.substr(0, c.error.size()), c.error) << c.text;
    }

    std::string deep = "KELVANO REGISTRY 1\n[HKCU";
    for (int i = 0; i < 513; ++i)
        deep += "\\k";
    EXPECT_NE(regfile::ParseText(deep + "]\nEND\n").message.find("deeper than 512"),
              std::string::npos);

    RegKeyNode hive;
    std::string message;
    EXPECT_FALSE(regfile::LoadHive("KELVANO REGISTRY 1\n[HKLM\\a]\nEND\n", 1, hive, message));
    EXPECT_EQ(message, "line 2: a key of HKEY_LOCAL_MACHINE in the file of HKEY_CURRENT_USER");
}

// Each test gets a fresh registry folder.
class Registry : public ::testing::Test {
protected:
    void TearDown() override {
        for (HKEY h : open_)
            RegCloseKey(h);
    }

    HKEY Create(HKEY root, const char* sub, DWORD* disposition = nullptr) {
        HKEY h = nullptr;
        EXPECT_EQ(
            RegCreateKeyEx(root, sub, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, disposition),
            ERROR_SUCCESS)
            << sub;
        open_.push_back(h);
        return h;
    }
    HKEY Open(HKEY root, const char* sub, REGSAM sam = KEY_ALL_ACCESS) {
        HKEY h = nullptr;
        EXPECT_EQ(RegOpenKeyEx(root, sub, 0, sam, &h), ERROR_SUCCESS) << sub;
        open_.push_back(h);
        return h;
    }
    static std::vector<BYTE> Get(HKEY h, const char16_t* name, DWORD* type = nullptr) {
        DWORD cb = 0;
        if (RegQueryValueEx(h, name, nullptr, type, nullptr, &cb) != ERROR_SUCCESS)
            return {0xDE, 0xAD};
        std::vector<BYTE> data(cb);
        EXPECT_EQ(RegQueryValueEx(h, name, nullptr, type, data.data(), &cb), ERROR_SUCCESS);
        return data;
    }
    static LONG Set(HKEY h, const char16_t* name, DWORD type, const std::vector<BYTE>& data) {
        return RegSetValueEx(h, name, 0, type, data.data(), static_cast<DWORD>(data.size()));
    }
    static std::u16string SubkeyName(HKEY h, DWORD i) {
        WCHAR name[300];
        DWORD cch = 300;
        LONG e = RegEnumKeyEx(h, i, name, &cch, nullptr, nullptr, nullptr, nullptr);
        return e == ERROR_SUCCESS ? std::u16string(name, cch) : u"<" + ToU16(e) + u">";
    }
    static std::u16string ValueName(HKEY h, DWORD i) {
        WCHAR name[300];
        DWORD cch = 300;
        LONG e = RegEnumValue(h, i, name, &cch, nullptr, nullptr, nullptr, nullptr);
        return e == ERROR_SUCCESS ? std::u16string(name, cch) : u"<" + ToU16(e) + u">";
    }
    static std::u16string ToU16(LONG n) {
        std::string s = std::to_string(n);
        return std::u16string(s.begin(), s.end());
    }
    // Drops this process's cached trees by pointing elsewhere and back.
    void ForgetCache() {
        RegSetStorageFolder((folder_ / "elsewhere").string());
        HKEY h;
        RegOpenKeyEx(HKEY_CURRENT_USER, "x", 0, KEY_READ, &h);
        RegOpenKeyEx(HKEY_LOCAL_MACHINE, "x", 0, KEY_READ, &h);
        RegSetStorageFolder(folder_.string());
    }
    std::vector<std::string> DamagedFiles() {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder_)) {
            if (entry.path().filename().string().find(".damaged-") != std::string::npos)
                names.push_back(entry.path().filename().string());
        }
        return names;
    }

    testsupport::TempRegistry registry_{"kelvano-reg"};
    fs::path folder_ = registry_.Path();
    std::vector<HKEY> open_;
};

TEST_F(Registry, StoresEveryValueTypeInTheFile) {
    HKEY h = Create(HKEY_CURRENT_USER, "Software\\Vantor\\Kelvano CE");
    for (const RegValueEntry& value : AwkwardValues())
        ASSERT_EQ(Set(h, value.name.c_str(), value.nType, value.data), ERROR_SUCCESS);
    ForgetCache();
    for (const RegValueEntry& value : AwkwardValues()) {
        DWORD type = 0xBAD;
        EXPECT_EQ(Get(h, value.name.c_str(), &type), value.data);
        EXPECT_EQ(type, value.nType);
    }
    std::string file = ReadFile(folder_ / "hkcu.reg");
    EXPECT_NE(file.find("[HKEY_CURRENT_USER\\Software\\Vantor\\Kelvano CE]\n@=sz:\"default\""),
              std::string::npos)
        << file;
}

TEST_F(Registry, FileIsThePlainTextForm) {
    HKEY h = Create(HKEY_LOCAL_MACHINE, "Software\\Vantor\\NLS");
    ASSERT_EQ(RegSetValueEx(h, "Lang-kelvano", 0, REG_SZ, reinterpret_cast<const BYTE*>("EO"), 3),
              ERROR_SUCCESS);
    ASSERT_EQ(Set(h, u"Count", REG_DWORD, Dword(3)), ERROR_SUCCESS);
    EXPECT_EQ(ReadFile(folder_ / "hklm.reg"), "KELVANO REGISTRY 1\n"
                                              "\n[HKEY_LOCAL_MACHINE]\n"
                                              "\n[HKEY_LOCAL_MACHINE\\Software]\n"
                                              "\n[HKEY_LOCAL_MACHINE\\Software\\Vantor]\n"
                                              "\n[HKEY_LOCAL_MACHINE\\Software\\Vantor\\NLS]\n"
                                              "\"Lang-kelvano\"=sz:\"EO\"\n"
                                              "\"Count\"=dword:00000003\n"
                                              "\nEND\n");
    EXPECT_FALSE(fs::exists(folder_ / "hkcu.reg"));
}

TEST_F(Registry, NamesIgnoreCaseAndKeepFirstSpelling) {
    DWORD disposition = 0;
    HKEY h = Create(HKEY_CURRENT_USER, "Software\\Ĉambro", &disposition);
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
    HKEY again = Create(HKEY_CURRENT_USER, "SOFTWARE\\ĉAMBRO", &disposition);
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
    HKEY software = Open(HKEY_CURRENT_USER, "software");
    EXPECT_EQ(SubkeyName(software, 0), u"Ĉambro");

    ASSERT_EQ(Set(h, u"Ŝlosilo", REG_DWORD, Dword(1)), ERROR_SUCCESS);
    ASSERT_EQ(Set(again, u"ŝLOSILO", REG_BINARY, {9}), ERROR_SUCCESS);
    EXPECT_EQ(ValueName(h, 0), u"Ŝlosilo");
    EXPECT_EQ(ValueName(h, 1), u"<259>");
    DWORD type;
    EXPECT_EQ(Get(h, u"ŜLOSILO", &type), std::vector<BYTE>{9});
    EXPECT_EQ(type, REG_BINARY);
    ForgetCache();
    EXPECT_EQ(ValueName(Open(HKEY_CURRENT_USER, "software\\ĉambro"), 0), u"Ŝlosilo");
}

TEST_F(Registry, EnumerationOrderIsStable) {
    HKEY h = Create(HKEY_CURRENT_USER, "Order");
    for (const char* name : {"delta", "Bravo", "alpha", "Charlie", "ALPHA"})
        Create(h, name);
    for (const char16_t* name : {u"z", u"y", u"x", u"w"})
        ASSERT_EQ(Set(h, name, REG_DWORD, Dword(1)), ERROR_SUCCESS);
    ASSERT_EQ(Set(h, u"Y", REG_DWORD, Dword(2)), ERROR_SUCCESS); // replacing keeps its place
    ASSERT_EQ(RegDeleteValue(h, u"x"), ERROR_SUCCESS);

    for (int pass = 0; pass < 2; ++pass) {
        std::vector<std::u16string> keys, values;
        for (DWORD i = 0; i < 5; ++i)
            keys.push_back(SubkeyName(h, i)), values.push_back(ValueName(h, i));
        EXPECT_EQ(keys, (std::vector<std::u16string>{u"alpha", u"Bravo", u"Charlie", u"delta",
                                                     u"<259>"}));
        EXPECT_EQ(values, (std::vector<std::u16string>{u"z", u"y", u"w", u"<259>", u"<259>"}));
        ForgetCache();
    }
}

TEST_F(Registry, DeletesOnlyKeysWithoutSubkeys) {
    HKEY parent = Create(HKEY_CURRENT_USER, "Tree\\Child");
    ASSERT_EQ(Set(parent, u"v", REG_DWORD, Dword(1)), ERROR_SUCCESS);
    HKEY tree = Open(HKEY_CURRENT_USER, "Tree");
    EXPECT_EQ(RegDeleteKey(HKEY_CURRENT_USER, "Tree"), ERROR_KEY_HAS_CHILDREN);
    EXPECT_EQ(RegDeleteKey(HKEY_CURRENT_USER, "Tree\\Missing"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteKey(HKEY_CURRENT_USER, ""), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteKey(tree, "CHILD"), ERROR_SUCCESS);  // values go with the key
    EXPECT_EQ(RegDeleteKeyA(tree, nullptr), ERROR_SUCCESS); // a handle deletes its own key
    HKEY h;
    EXPECT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "Tree", 0, KEY_READ, &h), ERROR_FILE_NOT_FOUND);
}

TEST_F(Registry, BadAndStaleHandlesNeverCrash) {
    HKEY closed = nullptr;
    ASSERT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, "K", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                             &closed, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegCloseKey(closed), ERROR_SUCCESS);
    HKEY victim = Create(HKEY_CURRENT_USER, "Victim");
    HKEY other = Open(HKEY_CURRENT_USER, "VICTIM");
    ASSERT_EQ(RegDeleteKey(HKEY_CURRENT_USER, "Victim"), ERROR_SUCCESS);

    const struct {
        HKEY h;
        LONG expected;
    } cases[] = {
        {nullptr, ERROR_INVALID_HANDLE},
        {reinterpret_cast<HKEY>(std::uintptr_t{0x1234}), ERROR_INVALID_HANDLE},
        {reinterpret_cast<HKEY>(std::uintptr_t{0x80000003}), ERROR_INVALID_HANDLE},
        {closed, ERROR_INVALID_HANDLE},
        {victim, ERROR_KEY_DELETED},
        {other, ERROR_KEY_DELETED},
    };
    for (const auto& c : cases) {
        HKEY h;
        char name[64];
        DWORD cch = 64, count, cb = 4;
        BYTE data[4] = {};
        EXPECT_EQ(RegOpenKeyEx(c.h, "x", 0, KEY_READ, &h), c.expected);
        EXPECT_EQ(RegCreateKeyEx(c.h, "x", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr),
                  c.expected);
        EXPECT_EQ(RegSetValueEx(c.h, "v", 0, REG_BINARY, data, 4), c.expected);
        EXPECT_EQ(RegQueryValueEx(c.h, "v", nullptr, nullptr, data, &cb), c.expected);
        EXPECT_EQ(RegDeleteValue(c.h, "v"), c.expected);
        EXPECT_EQ(RegDeleteKey(c.h, "x"), c.expected);
        EXPECT_EQ(RegEnumKeyEx(c.h, 0, name, &cch, nullptr, nullptr, nullptr, nullptr), c.expected);
        EXPECT_EQ(RegEnumValue(c.h, 0, name, &cch, nullptr, nullptr, nullptr, nullptr), c.expected);
        EXPECT_EQ(RegQueryInfoKey(c.h, static_cast<char*>(nullptr), nullptr, nullptr, &count,
                                  nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
                  c.expected);
        std::string text;
        EXPECT_EQ(RegExportKey(c.h, text), c.expected);
    }
    EXPECT_EQ(RegCloseKey(other), ERROR_SUCCESS); // a deleted key's handle still closes
    EXPECT_EQ(RegCloseKey(other), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);

    // A key recreated under the same name is a new key: the old handle stays dead.
    Create(HKEY_CURRENT_USER, "Victim");
    EXPECT_EQ(Set(victim, u"v", REG_DWORD, Dword(1)), ERROR_KEY_DELETED);
}

TEST_F(Registry, HandlesKeepTheirAccessRights) {
    Create(HKEY_CURRENT_USER, "Rights\\Existing");
    HKEY reader = Open(HKEY_CURRENT_USER, "Rights", KEY_READ);
    HKEY h;
    EXPECT_EQ(Set(reader, u"v", REG_DWORD, Dword(1)), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteValue(reader, u"v"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegCreateKeyEx(reader, "New", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "Rights\\New", 0, KEY_READ, &h),
              ERROR_FILE_NOT_FOUND);
    DWORD disposition;
    ASSERT_EQ(
        RegCreateKeyEx(reader, "existing", 0, nullptr, 0, KEY_READ, nullptr, &h, &disposition),
        ERROR_SUCCESS);
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
    RegCloseKey(h);
    HKEY writer = Open(HKEY_CURRENT_USER, "Rights", KEY_SET_VALUE);
    EXPECT_EQ(Set(writer, u"v", REG_DWORD, Dword(1)), ERROR_SUCCESS);
    DWORD cb = 4;
    EXPECT_EQ(RegQueryValueEx(writer, u"v", nullptr, nullptr, nullptr, &cb), ERROR_ACCESS_DENIED);
}

TEST_F(Registry, SubkeyPaths) {
    const struct {
        std::u16string sub;
        LONG expected;
    } cases[] = {
        {u"a\\b\\", ERROR_SUCCESS},
        {u"\\a", ERROR_BAD_PATHNAME},
        {u"a\\\\b", ERROR_BAD_PATHNAME},
        {u"\\", ERROR_BAD_PATHNAME},
        {std::u16string(255, u'k'), ERROR_SUCCESS},
        {std::u16string(256, u'k'), ERROR_INVALID_PARAMETER},
    };
    for (const auto& c : cases) {
        HKEY h = nullptr;
        EXPECT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, c.sub.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                 nullptr, &h, nullptr),
                  c.expected);
        if (h != nullptr) RegCloseKey(h);
    }
    std::string deep = "d";
    for (int i = 1; i < 512; ++i)
        deep += "\\d";
    HKEY h;
    EXPECT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, (deep + "\\d").c_str(), 0, nullptr, 0,
                             KEY_ALL_ACCESS, nullptr, &h, nullptr),
              ERROR_INVALID_PARAMETER);
    HKEY deepest = Create(HKEY_CURRENT_USER, deep.c_str());
    EXPECT_EQ(RegCreateKeyEx(deepest, "more", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "a\\B", 0, KEY_READ, &h), ERROR_SUCCESS);
    RegCloseKey(h);
    EXPECT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "", 0, KEY_READ, &h), ERROR_SUCCESS);
    EXPECT_EQ(h, HKEY_CURRENT_USER);
    ForgetCache(); // the 512-level key survives the file
    EXPECT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, deep.c_str(), 0, KEY_READ, &h), ERROR_SUCCESS);
    RegCloseKey(h);
}

TEST_F(Registry, BuffersAndSizes) {
    HKEY h = Create(HKEY_CURRENT_USER, "Sizes");
    ASSERT_EQ(Set(h, nullptr, REG_SZ, Bytes(u"abc\0"sv)), ERROR_SUCCESS);
    BYTE data[16];
    DWORD cb = 0, type = 0;
    EXPECT_EQ(RegQueryValueEx(h, u"", nullptr, &type, nullptr, &cb), ERROR_SUCCESS);
    EXPECT_EQ(cb, 8u);
    cb = 7;
    EXPECT_EQ(RegQueryValueEx(h, u"", nullptr, &type, data, &cb), ERROR_MORE_DATA);
    EXPECT_EQ(cb, 8u);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(RegQueryValueEx(h, u"", nullptr, nullptr, data, nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegQueryValueEx(h, u"", nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(RegQueryValueEx(h, u"missing", nullptr, nullptr, nullptr, nullptr),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegSetValueEx(h, u"x", 0, REG_BINARY, nullptr, 1), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegSetValueEx(h, u"x", 0, REG_BINARY, nullptr, 0), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValue(h, u"missing"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(Set(h, std::u16string(16384, u'n').c_str(), REG_DWORD, Dword(0)),
              ERROR_INVALID_PARAMETER);

    WCHAR name[8];
    DWORD cch = 3;
    EXPECT_EQ(RegEnumValue(h, 1, name, &cch, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(cch, 1u);
    Create(h, "four");
    cch = 4;
    EXPECT_EQ(RegEnumKeyEx(h, 0, name, &cch, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
    cch = 5;
    EXPECT_EQ(RegEnumKeyEx(h, 0, name, &cch, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(std::u16string(name), u"four");
    EXPECT_EQ(RegEnumKeyEx(h, 1, name, &cch, nullptr, nullptr, nullptr, nullptr),
              ERROR_NO_MORE_ITEMS);
}

TEST_F(Registry, EightBitCallsConvertText) {
    HKEY h = Create(HKEY_LOCAL_MACHINE, "Software\\Vantor\\NLS");
    const char lang[] = "Ĉapelo"; // 7 bytes and the terminator
    ASSERT_EQ(RegSetValueEx(h, "Lang-ĉ", 0, REG_SZ, reinterpret_cast<const BYTE*>(lang), 8),
              ERROR_SUCCESS);
    EXPECT_EQ(Get(h, u"LANG-Ĉ"), Bytes(u"Ĉapelo\0"sv));
    const char multi[] = "ĵ\0b\0"; // and the final terminator
    ASSERT_EQ(RegSetValueEx(h, "Multi", 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(multi), 6),
              ERROR_SUCCESS);
    EXPECT_EQ(Get(h, u"Multi"), Bytes(u"ĵ\0b\0\0"sv));
    ASSERT_EQ(RegSetValueEx(h, "Bin", 0, REG_BINARY, reinterpret_cast<const BYTE*>("\xc4\x89"), 2),
              ERROR_SUCCESS);
    ASSERT_EQ(Set(h, u"Wide", REG_EXPAND_SZ, Bytes(u"ŭ\xD800\0"sv)), ERROR_SUCCESS);

    const struct {
        const char* name;
        std::string data;
    } cases[] = {
        {"lang-Ĉ", std::string("Ĉapelo\0", 8)},
        {"Multi", std::string("ĵ\0b\0\0", 6)},
        {"Bin", "\xc4\x89"},
        {"Wide", std::string("ŭ\xEF\xBF\xBD\0", 6)},
    };
    for (const auto& c : cases) {
        DWORD cb = 0;
        EXPECT_EQ(RegQueryValueEx(h, c.name, nullptr, nullptr, nullptr, &cb), ERROR_SUCCESS);
        EXPECT_EQ(cb, c.data.size()) << c.name;
        std::string data(cb, '?');
        EXPECT_EQ(
            RegQueryValueEx(h, c.name, nullptr, nullptr, reinterpret_cast<BYTE*>(data.data()), &cb),
            ERROR_SUCCESS);
        EXPECT_EQ(data, c.data) << c.name;
    }

    char name[16];
    char data[16];
    DWORD cch = sizeof name, cb = sizeof data;
    ASSERT_EQ(RegEnumValue(h, 0, name, &cch, nullptr, nullptr, reinterpret_cast<BYTE*>(data), &cb),
              ERROR_SUCCESS);
    EXPECT_EQ(std::string(name, cch), "Lang-ĉ");
    EXPECT_EQ(cb, 8u);

    DWORD maxNameA, maxDataA, maxNameW, maxDataW;
    ASSERT_EQ(RegQueryInfoKey(h, static_cast<char*>(nullptr), nullptr, nullptr, nullptr, nullptr,
                              nullptr, nullptr, &maxNameA, &maxDataA, nullptr, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegQueryInfoKey(h, static_cast<WCHAR*>(nullptr), nullptr, nullptr, nullptr, nullptr,
                              nullptr, nullptr, &maxNameW, &maxDataW, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(maxNameA, 7u); // "Lang-ĉ" in UTF-8 bytes
    EXPECT_EQ(maxNameW, 6u);
    EXPECT_EQ(maxDataA, 8u);
    EXPECT_EQ(maxDataW, 14u);
}

TEST_F(Registry, QueryInfoCounts) {
    HKEY h = Create(HKEY_CURRENT_USER, "Info");
    Create(h, "short");
    Create(h, "a longer name");
    ASSERT_EQ(Set(h, u"v", REG_BINARY, std::vector<BYTE>(100)), ERROR_SUCCESS);
    ASSERT_EQ(Set(h, u"value name", REG_DWORD, Dword(1)), ERROR_SUCCESS);
    DWORD cSub = 0, maxSub = 0, cValues = 0, maxName = 0, maxData = 0, cchClass = 9;
    WCHAR cls[9] = u"garbage";
    BYTE time[8] = {1, 1, 1, 1, 1, 1, 1, 1};
    ASSERT_EQ(RegQueryInfoKey(h, cls, &cchClass, nullptr, &cSub, &maxSub, nullptr, &cValues,
                              &maxName, &maxData, nullptr, time),
              ERROR_SUCCESS);
    EXPECT_EQ(cSub, 2u);
    EXPECT_EQ(maxSub, 13u);
    EXPECT_EQ(cValues, 2u);
    EXPECT_EQ(maxName, 10u);
    EXPECT_EQ(maxData, 100u);
    EXPECT_EQ(cchClass, 0u);
    EXPECT_EQ(cls[0], 0);
    EXPECT_EQ(std::vector<BYTE>(time, time + 8), std::vector<BYTE>(8, 0));
}

TEST_F(Registry, DamagedFileIsKeptAsideAndReported) {
    const std::string damaged = "KELVANO REGISTRY 1\n[HKEY_CURRENT_USER\\Saved]\n\"x\"=dword:1\n";
    WriteFile(folder_ / "hkcu.reg", damaged);
    DebugCapture capture;
    HKEY h;
    EXPECT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "Saved", 0, KEY_READ, &h), ERROR_FILE_NOT_FOUND);
    std::vector<std::string> aside = DamagedFiles();
    ASSERT_EQ(aside.size(), 1u);
    EXPECT_EQ(ReadFile(folder_ / aside[0]), damaged);
    EXPECT_FALSE(fs::exists(folder_ / "hkcu.reg"));
    std::string report = capture.Text();
    EXPECT_NE(
        report.find("registry: " + (folder_ / "hkcu.reg").string() +
                    " is damaged (line 4: missing END line: the text is cut short); kept as " +
                    (folder_ / aside[0]).string()),
        std::string::npos)
        << report;

    // The root goes on empty and is written afresh; the damaged copy stays.
    HKEY fresh = Create(HKEY_CURRENT_USER, "Fresh");
    EXPECT_EQ(Set(fresh, u"v", REG_DWORD, Dword(1)), ERROR_SUCCESS);
    EXPECT_TRUE(regfile::ParseText(ReadFile(folder_ / "hkcu.reg")).fOk);

    // A second damage the same second gets a name of its own.
    WriteFile(folder_ / "hkcu.reg", "garbage");
    EXPECT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "Fresh", 0, KEY_READ, &h), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(DamagedFiles().size(), 2u);
    EXPECT_EQ(ReadFile(folder_ / aside[0]), damaged);
    EXPECT_EQ(Set(fresh, u"v", REG_DWORD, Dword(1)), ERROR_KEY_DELETED);
}

TEST_F(Registry, DamagedFileLeftInPlaceWhenAsked) {
    const struct {
        std::string text;
        bool fSetAside; // the policy
        std::size_t nLine;
        std::string message;
        bool fUnknownVersion;
    } cases[] = {
        {"KELVANO REGISTRY 1\n[HKEY_CURRENT_USER\\Saved]\n\"x\"=dword:1\n", false, 4,
         "line 4: missing END line: the text is cut short", false},
        {"KELVANO REGISTRY 1\n[HKEY_LOCAL_MACHINE]\nEND\n", false, 2,
         "line 2: a key of HKEY_LOCAL_MACHINE in the file of HKEY_CURRENT_USER", false},
        // Another version's file is never moved nor replaced.
        {"KELVANO REGISTRY 2\n[HKEY_CURRENT_USER\\Saved]\nEND\n", true, 1,
         "line 1: unsupported version \"2\"", true},
    };
    const std::string file = (folder_ / "hkcu.reg").string();
    for (const auto& c : cases) {
        WriteFile(file, c.text);
        std::vector<RegDamage> reports;
        RegDamagePolicy previous = RegSetDamagePolicy(
            {c.fSetAside, [&reports](const RegDamage& damage) { reports.push_back(damage); }});
        DebugCapture capture;
        HKEY h;
        EXPECT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "Saved", 0, KEY_READ, &h),
                  ERROR_REGISTRY_CORRUPT);
        EXPECT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, "New", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                 &h, nullptr),
                  ERROR_REGISTRY_CORRUPT);
        EXPECT_EQ(ReadFile(file), c.text);
        EXPECT_TRUE(DamagedFiles().empty());
        ASSERT_EQ(reports.size(), 1u) << c.message; // once while the file stays as it is
        EXPECT_EQ(reports[0].file, file);
        EXPECT_EQ(reports[0].nLine, c.nLine);
        EXPECT_EQ(reports[0].message, c.message);
        EXPECT_EQ(reports[0].aside, "");
        EXPECT_EQ(reports[0].fUnknownVersion, c.fUnknownVersion);
        EXPECT_NE(capture.Text().find(file), std::string::npos);
        EXPECT_NE(capture.Text().find("left as it is"), std::string::npos) << capture.Text();

        // Back to the default, a damaged file goes aside; another version's stays.
        RegSetDamagePolicy(
            {true, [&reports](const RegDamage& damage) { reports.push_back(damage); }});
        LONG e = RegOpenKeyEx(HKEY_CURRENT_USER, "Saved", 0, KEY_READ, &h);
        if (c.fUnknownVersion) {
            EXPECT_EQ(e, ERROR_REGISTRY_CORRUPT);
            EXPECT_EQ(reports.size(), 1u);
            EXPECT_EQ(ReadFile(file), c.text);
            fs::remove(file);
        } else {
            EXPECT_EQ(e, ERROR_FILE_NOT_FOUND);
            ASSERT_EQ(reports.size(), 2u);
            std::vector<std::string> aside = DamagedFiles();
            ASSERT_EQ(aside.size(), 1u);
            EXPECT_EQ(reports[1].aside, (folder_ / aside[0]).string());
            fs::remove(folder_ / aside[0]);
        }
        RegSetDamagePolicy(std::move(previous));
    }
}

TEST_F(Registry, FailedWriteChangesNothing) {
    HKEY h = Create(HKEY_CURRENT_USER, "Disk");
    ASSERT_EQ(Set(h, u"kept", REG_DWORD, Dword(1)), ERROR_SUCCESS);
    fs::create_directory(folder_ / "hkcu.reg.tmp"); // the temporary file cannot be made
    DebugCapture capture;
    HKEY sub;
    EXPECT_EQ(Set(h, u"new", REG_DWORD, Dword(2)), ERROR_REGISTRY_IO_FAILED);
    EXPECT_EQ(RegCreateKeyEx(h, "Sub", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub, nullptr),
              ERROR_REGISTRY_IO_FAILED);
    EXPECT_EQ(RegDeleteValue(h, u"kept"), ERROR_REGISTRY_IO_FAILED);
    EXPECT_NE(capture.Text().find("cannot write " + (folder_ / "hkcu.reg").string()),
              std::string::npos);
    EXPECT_EQ(Get(h, u"new"), (std::vector<BYTE>{0xDE, 0xAD})); // not there, not half there
    EXPECT_EQ(Get(h, u"kept"), Dword(1));
    EXPECT_EQ(RegOpenKeyEx(h, "Sub", 0, KEY_READ, &sub), ERROR_FILE_NOT_FOUND);
    fs::remove(folder_ / "hkcu.reg.tmp");
    EXPECT_EQ(Set(h, u"new", REG_DWORD, Dword(2)), ERROR_SUCCESS);
    EXPECT_EQ(Get(h, u"new"), Dword(2));
}

TEST_F(Registry, StorageFolderFromTheEnvironment) {
    RegSetStorageFolder("");
    testsupport::ScopedEnv dir("KELVANO_REGISTRY_DIR", nullptr), xdg("XDG_DATA_HOME", nullptr),
        home("HOME", nullptr);
    const struct {
        const char* dir;
        const char* xdg;
        const char* home;
        std::string expected;
    } cases[] = {
        {"/r/dir", "/x", "/h", "/r/dir"},
        {"", "/x", "/h", "/x/kelvano/registry"},
        {nullptr, "relative", "/h", "/h/.local/share/kelvano/registry"},
        {nullptr, nullptr, "/h", "/h/.local/share/kelvano/registry"},
    };
    for (const auto& c : cases) {
        dir.Set(c.dir);
        xdg.Set(c.xdg);
        home.Set(c.home);
        EXPECT_EQ(RegGetStorageFolder(), c.expected);
    }
    RegSetStorageFolder(folder_.string());
    EXPECT_EQ(RegGetStorageFolder(), folder_.string());
}

TEST_F(Registry, ExportAndImport) {
    HKEY h = Create(HKEY_CURRENT_USER, "Software\\Vantor\\Kelvano CE");
    ASSERT_EQ(Set(h, u"SavedHistory", REG_SZ, Bytes(u"12 34\0"sv)), ERROR_SUCCESS);
    Create(h, "Sub");
    Create(HKEY_CURRENT_USER, "Software\\Other");
    std::string text;
    ASSERT_EQ(RegExportKey(Open(HKEY_CURRENT_USER, "software\\vantor"), text), ERROR_SUCCESS);
    EXPECT_EQ(text, "KELVANO REGISTRY 1\n"
                    "\n[HKEY_CURRENT_USER\\Software\\Vantor]\n"
                    "\n[HKEY_CURRENT_USER\\Software\\Vantor\\Kelvano CE]\n"
                    "\"SavedHistory\"=sz:\"12 34\"\n"
                    "\n[HKEY_CURRENT_USER\\Software\\Vantor\\Kelvano CE\\Sub]\n"
                    "\nEND\n");

    std::string message;
    std::string bad =
        "KELVANO REGISTRY 1\n[HKLM\\Imported]\n\"a\"=dword:1\n[HKCU\\x]\n\"b\"=hex:1\nEND\n";
    EXPECT_EQ(RegImportText(bad, message), ERROR_INVALID_DATA);
    EXPECT_EQ(message, "line 5: hexadecimal bytes need two digits each");
    HKEY k;
    EXPECT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, "Imported", 0, KEY_READ, &k), ERROR_FILE_NOT_FOUND);

    std::string good = "KELVANO REGISTRY 1\n[HKLM\\Imported]\n\"a\"=dword:1\n"
                       "[HKCU\\Software\\Vantor\\Kelvano CE]\n\"New\"=sz:\"n\"\nEND\n";
    ASSERT_EQ(RegImportText(good, message), ERROR_SUCCESS);
    EXPECT_EQ(Get(Open(HKEY_LOCAL_MACHINE, "Imported"), u"a"), Dword(1));
    EXPECT_EQ(Get(h, u"SavedHistory"), Bytes(u"12 34\0"sv)); // other values stay
    EXPECT_EQ(Get(h, u"New"), Bytes(u"n\0"sv));

    HKEY root;
    std::string sub;
    EXPECT_TRUE(RegSplitKeyPath("hkey_local_machine\\A\\B", root, sub));
    EXPECT_EQ(root, HKEY_LOCAL_MACHINE);
    EXPECT_EQ(sub, "A\\B");
    EXPECT_TRUE(RegSplitKeyPath("HKCR", root, sub));
    EXPECT_EQ(root, HKEY_CLASSES_ROOT);
    EXPECT_EQ(sub, "");
    EXPECT_FALSE(RegSplitKeyPath("Software\\X", root, sub));
}

// Runs fn in a child process; returns its pid.
template <typename Fn> pid_t Spawn(Fn fn) {
    pid_t pid = fork();
    if (pid == 0) {
        fn();
        _exit(0);
    }
    return pid;
}

bool ExitedCleanly(pid_t pid) {
    int status = 0;
    return waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The crash test's values: a counter, and a blob whose length and bytes follow from it.
std::vector<BYTE> Blob(DWORD n) {
    std::vector<BYTE> data = Dword(n);
    data.resize(4 + (n * 37) % 3000, static_cast<BYTE>(n));
    return data;
}

DWORD BlobNumber(const std::vector<BYTE>& data) {
    if (data.size() < 4) return 0xFFFFFFFF;
    DWORD n = data[0] | (data[1] << 8) | (data[2] << 16) | (DWORD(data[3]) << 24);
    return data == Blob(n) ? n : 0xFFFFFFFF;
}

TEST_F(Registry, KilledWriterLeavesOldOrNewContent) {
    DebugCapture capture;
    HKEY h = Create(HKEY_CURRENT_USER, "Crash");
    ASSERT_EQ(Set(h, u"A", REG_BINARY, Blob(0)), ERROR_SUCCESS);
    ASSERT_EQ(Set(h, u"B", REG_BINARY, Blob(0)), ERROR_SUCCESS);
    // Kill at a random moment within a few writes' time, whatever this machine's disk takes.
    auto start = std::chrono::steady_clock::now();
    for (DWORD n = 0; n < 4; ++n)
        ASSERT_EQ(Set(h, u"Timing", REG_BINARY, Blob(n)), ERROR_SUCCESS);
    auto elapsed = std::chrono::steady_clock::now() - start;
    auto perWrite = std::chrono::duration_cast<std::chrono::microseconds>(elapsed).count() / 4;
    ASSERT_EQ(RegDeleteValue(h, u"Timing"), ERROR_SUCCESS);
    std::mt19937 random(12345);
    DWORD last = 0;
    int kills = 0, midWrite = 0;
    for (int round = 0; round < 30; ++round) {
        int ready[2];
        ASSERT_EQ(pipe(ready), 0);
        pid_t pid = Spawn([&] {
            close(ready[0]);
            for (DWORD n = last + 1;; ++n) {
                Set(h, u"A", REG_BINARY, Blob(n));
                Set(h, u"B", REG_BINARY, Blob(n));
                if (n == last + 1)
                    close(ready[1]); // the parent's read returns: one pair is written
            }
        });
        ASSERT_GT(pid, 0);
        close(ready[1]);
        char byte;
        while (read(ready[0], &byte, 1) < 0 && errno == EINTR) {
        }
        close(ready[0]);
        usleep(static_cast<useconds_t>(random() % (4 * perWrite + 1)));
        kill(pid, SIGKILL);
        int status;
        waitpid(pid, &status, 0);
        kills += WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
        midWrite += fs::exists(folder_ / "hkcu.reg.tmp");

        std::string message;
        RegKeyNode hive;
        ASSERT_TRUE(regfile::LoadHive(ReadFile(folder_ / "hkcu.reg"), 1, hive, message)) << message;
        DWORD a = BlobNumber(Get(h, u"A")), b = BlobNumber(Get(h, u"B"));
        ASSERT_NE(a, 0xFFFFFFFF);
        ASSERT_TRUE(b == a || b + 1 == a) << a << " " << b;
        ASSERT_GE(b, last);
        last = b;
    }
    EXPECT_EQ(kills, 30);
    EXPECT_GE(last, 30u);
    EXPECT_GT(midWrite, 0) << "writes of " << perWrite << " us"; // some died with a half-done file
    EXPECT_TRUE(DamagedFiles().empty());
    EXPECT_EQ(capture.Text(), "");
}

// A batch's writes: seen at once by this process, in the file only when it ends, and never
// in part, also when the writer dies inside it or another process waits to write.
TEST_F(Registry, WriteBatchLandsWhole) {
    HKEY h = Create(HKEY_CURRENT_USER, "Batch");
    ASSERT_EQ(Set(h, u"A", REG_DWORD, Dword(1)), ERROR_SUCCESS);
    const std::string before = ReadFile(folder_ / "hkcu.reg");
    // Another process writes once the batch is open: it waits for the batch, and loses nothing.
    int go[2];
    ASSERT_EQ(pipe(go), 0);
    pid_t other = Spawn([&] {
        close(go[1]);
        char byte;
        HKEY k;
        if (read(go[0], &byte, 1) != 1 ||
            RegOpenKeyEx(HKEY_CURRENT_USER, "Batch", 0, KEY_ALL_ACCESS, &k) != ERROR_SUCCESS ||
            Set(k, u"C", REG_DWORD, Dword(3)) != ERROR_SUCCESS)
            _exit(1);
    });
    close(go[0]);
    {
        RegistryWriteBatch outer;
        ASSERT_EQ(Set(h, u"A", REG_DWORD, Dword(2)), ERROR_SUCCESS);
        {
            RegistryWriteBatch inner;
            ASSERT_EQ(Set(h, u"B", REG_DWORD, Dword(2)), ERROR_SUCCESS);
            EXPECT_EQ(inner.End(), ERROR_SUCCESS);
        }
        EXPECT_EQ(Get(h, u"A"), Dword(2));
        EXPECT_EQ(Get(Open(HKEY_CURRENT_USER, "batch"), u"B"), Dword(2));
        EXPECT_EQ(ReadFile(folder_ / "hkcu.reg"), before); // the inner end wrote nothing
        ASSERT_EQ(write(go[1], "g", 1), 1);
        close(go[1]);
        usleep(50000);
        EXPECT_EQ(waitpid(other, nullptr, WNOHANG), 0) << "wrote inside the batch";
        EXPECT_EQ(outer.End(), ERROR_SUCCESS);
    }
    EXPECT_TRUE(ExitedCleanly(other));
    ForgetCache();
    EXPECT_EQ(Get(h, u"A"), Dword(2));
    EXPECT_EQ(Get(h, u"B"), Dword(2));
    EXPECT_EQ(Get(h, u"C"), Dword(3));

    // A writer killed inside its batch leaves none of it.
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    pid_t pid = Spawn([&] {
        close(ready[0]);
        RegistryWriteBatch batch;
        Set(h, u"A", REG_DWORD, Dword(4));
        Set(h, u"B", REG_DWORD, Dword(4));
        close(ready[1]);
        pause();
    });
    close(ready[1]);
    char byte;
    while (read(ready[0], &byte, 1) < 0 && errno == EINTR) {
    }
    close(ready[0]);
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    EXPECT_EQ(Get(h, u"A"), Dword(2));
    EXPECT_EQ(Get(h, u"B"), Dword(2));
}

TEST_F(Registry, ConcurrentWritersLoseNothing) {
    HKEY h = Create(HKEY_CURRENT_USER, "Race");
    constexpr int kEach = 40;
    auto writer = [h](char16_t id) {
        int failures = 0;
        for (int i = 0; i < kEach; ++i) {
            std::u16string name = std::u16string(1, id) + u"-" + Registry::ToU16(i);
            failures += Set(h, name.c_str(), REG_DWORD, Dword(i)) != ERROR_SUCCESS;
        }
        return failures;
    };
    // Two processes and two threads of this one, all at once.
    pid_t first = Spawn([&] { _exit(writer(u'P') == 0 ? 0 : 1); });
    pid_t second = Spawn([&] { _exit(writer(u'Q') == 0 ? 0 : 1); });
    std::atomic<int> failures = 0;
    std::vector<std::thread> threads;
    for (char16_t id : {u'T', u'U'})
        threads.emplace_back([&, id] { failures += writer(id); });
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(failures, 0);
    EXPECT_TRUE(ExitedCleanly(first));
    EXPECT_TRUE(ExitedCleanly(second));

    DWORD cValues = 0;
    ASSERT_EQ(RegQueryInfoKey(h, static_cast<WCHAR*>(nullptr), nullptr, nullptr, nullptr, nullptr,
                              nullptr, &cValues, nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(cValues, 4u * kEach);
    for (char16_t id : {u'P', u'Q', u'T', u'U'}) {
        for (int i = 0; i < kEach; ++i) {
            std::u16string name = std::u16string(1, id) + u"-" + ToU16(i);
            EXPECT_EQ(Get(h, name.c_str()), Dword(i));
        }
    }
}

TEST_F(Registry, SeesAnotherProcessDeleteTheKey) {
    HKEY h = Create(HKEY_CURRENT_USER, "Shared");
    ASSERT_EQ(Set(h, u"v", REG_DWORD, Dword(1)), ERROR_SUCCESS);
    EXPECT_TRUE(ExitedCleanly(Spawn([] {
        HKEY k;
        if (RegOpenKeyEx(HKEY_CURRENT_USER, "shared", 0, KEY_ALL_ACCESS, &k) != ERROR_SUCCESS ||
            Set(k, u"v", REG_DWORD, Dword(2)) != ERROR_SUCCESS)
            _exit(1);
    })));
    EXPECT_EQ(Get(h, u"v"), Dword(2));
    EXPECT_TRUE(ExitedCleanly(Spawn([] {
        if (RegDeleteKey(HKEY_CURRENT_USER, "Shared") != ERROR_SUCCESS) _exit(1);
    })));
    EXPECT_EQ(Set(h, u"v", REG_DWORD, Dword(3)), ERROR_KEY_DELETED);
}

} // namespace
