#include "foundation/tl_registry.h"
#include "tests/support/temp_registry.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using cetl::regbuffer;
using cetl::regkey;
using cetl::regvalue;
using cetl::RegVersion;
using cetl::string;
using host::BYTE;
using host::DWORD;
using host::HKEY;
using host::WORD;

// Every test gets a registry of its own in a fresh folder.
class TlRegistry : public testing::Test {
protected:
    testsupport::TempRegistry m_registry{"tl_registry"};
};

TEST_F(TlRegistry, PathPrefixesChooseTheRoot) {
    struct Case {
        const char* pszPath;
        HKEY hRoot;
        const char* pszSubKey;
    } const cases[] = {
        {"HKLM\\Software\\X", host::HKEY_LOCAL_MACHINE, "Software\\X"},
        {"hkcu\\Software\\X", host::HKEY_CURRENT_USER, "Software\\X"},
        {"HkCr\\.txt", host::HKEY_CLASSES_ROOT, ".txt"},
        {"Software\\X", host::HKEY_CURRENT_USER, "Software\\X"},
        {"HKLM", host::HKEY_LOCAL_MACHINE, ""},
        {"hkcr", host::HKEY_CLASSES_ROOT, ""},
        {"HKLM\\", host::HKEY_LOCAL_MACHINE, ""},
        {"", host::HKEY_CURRENT_USER, ""},
        // Only a whole prefix or a whole name counts.
        {"HKLMX", host::HKEY_CURRENT_USER, "HKLMX"},
        {"HKLM/Software", host::HKEY_CURRENT_USER, "HKLM/Software"},
        {"HKEY_LOCAL_MACHINE\\A", host::HKEY_CURRENT_USER, "HKEY_LOCAL_MACHINE\\A"},
        {"hklm\\HKCU\\A", host::HKEY_LOCAL_MACHINE, "HKCU\\A"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszPath);
        const regkey key(c.pszPath);
        EXPECT_EQ(key.Root(), c.hRoot);
        EXPECT_EQ(key.SubKey(), string(c.pszSubKey));
    }
    EXPECT_EQ(regkey("hklm").Path(), string("HKLM"));
    EXPECT_EQ(regkey("Software\\X").Path(), string("HKCU\\Software\\X"));

    // With and without the prefix, the path names the same key.
    ASSERT_TRUE(regvalue(regkey("hkcu\\Software\\X"), TEXT("n")).WriteNumber(7));
    DWORD dw = 0;
    EXPECT_TRUE(regvalue(regkey("Software\\X"), TEXT("n")).ReadNumber(dw));
    EXPECT_EQ(dw, 7u);
}

TEST_F(TlRegistry, TypedValues) {
    const regkey key("HKCU\\Software\\Vantor\\Test");
    const regvalue text(key, TEXT("Text"));
    const regvalue number(key, TEXT("Number"));
    const regvalue bytes(key, TEXT("Bytes"));
    EXPECT_EQ(text.Size(), 0u);
    EXPECT_EQ(text.Type(), 0u);

    // Text is stored as 16-bit units with the terminator, whatever the build's width.
    ASSERT_TRUE(text.WriteText(string("Ĉu ĝi?")));
    HKEY h = nullptr;
    ASSERT_EQ(host::RegOpenKeyExW(key.Root(), u"Software\\Vantor\\Test", 0, host::KEY_READ, &h), 0);
    char16_t rgch[16] = {};
    DWORD cb = sizeof(rgch);
    DWORD dwType = 0;
    EXPECT_EQ(
        host::RegQueryValueExW(h, u"Text", nullptr, &dwType, reinterpret_cast<BYTE*>(rgch), &cb),
        0);
    host::RegCloseKey(h);
    EXPECT_EQ(dwType, host::REG_SZ);
    EXPECT_EQ(cb, 14u);
    EXPECT_EQ(std::u16string(rgch), u"Ĉu ĝi?");
    string str;
    ASSERT_TRUE(text.ReadText(str));
    EXPECT_EQ(str, string("Ĉu ĝi?"));

    ASSERT_TRUE(number.WriteNumber(0x12345678));
    DWORD dw = 0;
    ASSERT_TRUE(number.ReadNumber(dw));
    EXPECT_EQ(dw, 0x12345678u);

    // A buffer too small fails and is left alone.
    const BYTE rgb[] = {1, 0, 2, 0, 3};
    ASSERT_TRUE(bytes.WriteBytes(rgb, sizeof(rgb)));
    BYTE rgbSmall[2] = {9, 9};
    cb = sizeof(rgbSmall);
    EXPECT_FALSE(bytes.ReadBytes(rgbSmall, &cb));
    EXPECT_EQ(rgbSmall[0], 9);

    // Values of another type or size read neither as text nor as numbers.
    dw = 42;
    EXPECT_FALSE(number.ReadText(str));
    ASSERT_TRUE(bytes.WriteBytes(rgb, 4));
    EXPECT_FALSE(bytes.ReadNumber(dw));
    ASSERT_TRUE(bytes.Write(host::REG_DWORD, rgb, 2));
    EXPECT_FALSE(bytes.ReadNumber(dw));
    EXPECT_EQ(dw, 42u);

    // Deleting needs the value; it never creates the key.
    EXPECT_TRUE(bytes.Delete());
    EXPECT_FALSE(bytes.Delete());
    EXPECT_FALSE(regvalue(regkey("HKCU\\Nowhere"), TEXT("x")).Delete());
    EXPECT_FALSE(regkey("HKCU\\Nowhere").Exists());
}

TEST_F(TlRegistry, VersionedValues) {
    const regvalue val(regkey("HKCU\\Software\\Vantor\\Kelvano CE"), TEXT("Settings"));
    const BYTE rgbRecord[6] = {1, 2, 3, 4, 5, 6};
    ASSERT_TRUE(val.WriteVersioned(RegVersion(1, 2), rgbRecord, sizeof(rgbRecord)));
    BYTE rgbStored[16];
    DWORD cb = sizeof(rgbStored);
    DWORD dwType = 0;
    ASSERT_TRUE(val.Read(&dwType, rgbStored, &cb));
    EXPECT_EQ(dwType, host::REG_BINARY);
    const BYTE rgbExpected[10] = {2, 0, 1, 0, 1, 2, 3, 4, 5, 6};
    ASSERT_EQ(cb, 10u);
    EXPECT_EQ(std::memcmp(rgbStored, rgbExpected, 10), 0);

    struct Version {
        WORD wMajor, wMinor;
        bool fOk;
    } const versions[] = {{1, 1, true},  {1, 2, true},  {1, 0, true},
                          {1, 3, false}, {2, 0, false}, {0, 2, false}};
    for (const Version& v : versions) {
        SCOPED_TRACE(testing::Message() << v.wMajor << "." << v.wMinor);
        BYTE rgb[6];
        std::memset(rgb, 0xAA, sizeof(rgb));
        EXPECT_EQ(val.ReadVersioned(RegVersion(v.wMajor, v.wMinor), rgb, sizeof(rgb)), v.fOk);
        const BYTE rgbUntouched[6] = {0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA};
        EXPECT_EQ(std::memcmp(rgb, v.fOk ? rgbRecord : rgbUntouched, sizeof(rgb)), 0);
    }

    struct Size {
        std::vector<BYTE> stored; // empty: missing
        DWORD cbBuffer;
        bool fOk;
        std::vector<BYTE> expected; // the buffer afterwards
    } const sizes[] = {
        {{0, 0, 1, 0, 7, 8}, 5, true, {7, 8, 0, 0, 0}}, // the tail is zero-filled
        {{0, 0, 1, 0, 7, 8, 9, 10}, 2, true, {7, 8}},   // cut to the buffer
        {{0, 0, 1, 0}, 3, true, {0, 0, 0}},             // an empty record
        {{0, 0, 1}, 3, false, {0xAA, 0xAA, 0xAA}},      // not even a version word
        {{}, 3, false, {0xAA, 0xAA, 0xAA}},
    };
    for (const Size& s : sizes) {
        SCOPED_TRACE(testing::Message() << s.stored.size() << " bytes into " << s.cbBuffer);
        val.Delete();
        if (!s.stored.empty()) {
            ASSERT_TRUE(val.WriteBytes(s.stored.data(), static_cast<DWORD>(s.stored.size())));
        }
        std::vector<BYTE> buffer(s.cbBuffer, 0xAA);
        EXPECT_EQ(val.ReadVersioned(RegVersion(1, 0), buffer.data(), s.cbBuffer), s.fOk);
        EXPECT_EQ(buffer, s.expected);
    }
}

TEST(TlRegbuffer, Equality) {
    BYTE rgb1[] = {1, 2, 3};
    BYTE rgb2[] = {1, 2, 3};
    BYTE rgb3[] = {1, 2, 4};
    struct Case {
        regbuffer a, b;
        bool fEqual;
    } const cases[] = {
        {regbuffer(rgb1, 3, false), regbuffer(rgb1, 3, false), true},
        // Referring buffers compare addresses, owning ones bytes.
        {regbuffer(rgb1, 3, false), regbuffer(rgb2, 3, false), false},
        {regbuffer(rgb1, 3, true), regbuffer(rgb2, 3, true), true},
        {regbuffer(rgb1, 3, true), regbuffer(rgb3, 3, true), false},
        {regbuffer(rgb1, 3, true), regbuffer(rgb1, 2, true), false},
        {regbuffer(rgb1, 3, false), regbuffer(rgb1, 2, false), false},
        {regbuffer(rgb1, 3, true), regbuffer(rgb1, 3, false), false},
        {regbuffer(), regbuffer(), true},
        {regbuffer(nullptr, 0, true), regbuffer(rgb1, 0, true), true},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(cases[i].a == cases[i].b, cases[i].fEqual);
        EXPECT_EQ(cases[i].b == cases[i].a, cases[i].fEqual);
    }
    // An owning buffer's copy owns bytes of its own.
    regbuffer owned(rgb1, 3, true);
    regbuffer copy(owned);
    rgb1[0] = 9;
    EXPECT_NE(copy.Data(), owned.Data());
    EXPECT_EQ(owned.Data()[0], 1);
    EXPECT_TRUE(copy == owned);
}

TEST_F(TlRegistry, CopyValue) {
    const regkey keySource("HKLM\\Software\\Vantor\\NLS");
    const regkey keyDest("HKCU\\Copy");
    const BYTE rgb[] = {0, 1, 2, 3, 255};
    ASSERT_TRUE(regvalue(keySource, TEXT("t")).WriteText(TEXT("EO")));
    ASSERT_TRUE(regvalue(keySource, TEXT("n")).WriteNumber(77));
    ASSERT_TRUE(regvalue(keySource, TEXT("b")).WriteBytes(rgb, sizeof(rgb)));
    ASSERT_TRUE(regvalue(keySource, TEXT("odd")).Write(4999, rgb, 2));
    ASSERT_TRUE(regvalue(keySource, TEXT("empty")).WriteBytes(nullptr, 0));
    for (const TCHAR* pszName : {TEXT("t"), TEXT("n"), TEXT("b"), TEXT("odd"), TEXT("empty")}) {
        const regvalue source(keySource, pszName);
        const regvalue dest(keyDest, pszName);
        SCOPED_TRACE(string(pszName).Text8());
        ASSERT_TRUE(source.CopyTo(dest));
        regbuffer bufSource, bufDest;
        DWORD dwTypeSource = 0, dwTypeDest = 0;
        ASSERT_TRUE(source.Read(bufSource, &dwTypeSource));
        ASSERT_TRUE(dest.Read(bufDest, &dwTypeDest));
        EXPECT_EQ(dwTypeDest, dwTypeSource);
        EXPECT_TRUE(bufDest.Owns());
        EXPECT_TRUE(bufDest == bufSource);
    }
    // A source that cannot be read deletes the destination.
    const regvalue dest(keyDest, TEXT("n"));
    EXPECT_FALSE(regvalue(keySource, TEXT("missing")).CopyTo(dest));
    EXPECT_FALSE(dest.Exists());
    ASSERT_TRUE(dest.WriteNumber(1));
    EXPECT_FALSE(regvalue(regkey("HKLM\\No\\Such\\Key"), TEXT("n")).CopyTo(dest));
    EXPECT_FALSE(dest.Exists());
}

TEST_F(TlRegistry, DeleteTreeGoesDepthFirst) {
    struct Key {
        const char* pszPath;
        bool fRemains;
    } const keys[] = {{"HKCU\\S\\A\\B\\C\\D", false}, {"HKCU\\S\\A\\B\\E", false},
                      {"HKCU\\S\\A\\F", false},       {"HKCU\\S\\A", false},
                      {"HKCU\\S\\AB", true},          {"HKCU\\S\\Z", true}};
    for (const Key& k : keys)
        ASSERT_TRUE(regvalue(regkey(k.pszPath), TEXT("v")).WriteNumber(1));
    EXPECT_TRUE(regkey("hkcu\\S\\A").DeleteTree());
    for (const Key& k : keys)
        EXPECT_EQ(regkey(k.pszPath).Exists(), k.fRemains) << k.pszPath;
    EXPECT_FALSE(regkey("HKCU\\S\\A").DeleteTree());
    // Roots stay whole.
    EXPECT_FALSE(regkey("HKCU").DeleteTree());
    EXPECT_FALSE(regkey("").DeleteTree());
    EXPECT_TRUE(regkey("HKCU\\S\\Z").Exists());
    // One sub-key at a time goes only when it has none of its own.
    EXPECT_FALSE(regkey("HKCU").DeleteSubKey(TEXT("S")));
    EXPECT_TRUE(regkey("HKCU\\S").DeleteSubKey(TEXT("Z")));
    EXPECT_FALSE(regkey("HKCU\\S").DeleteSubKey(TEXT("")));
    EXPECT_TRUE(regkey("HKCU\\S").Exists());
}

} // namespace
