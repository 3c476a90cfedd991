#include "foundation/memmgr.h"
#include "foundation/tl_string.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

using cetl::istring;
using cetl::string;

std::string U8(const string& str) {
    return str.Text8();
}

const char kEsperanto8[] = "ĉĝĥĵŝŭ ĈĜĤĴŜŬ";
const char16_t kEsperanto16[] = u"ĉĝĥĵŝŭ ĈĜĤĴŜŬ";

TEST(TlString, ConvertsBetweenWidths) {
    string s8(kEsperanto8);
    string s16(kEsperanto16);
    EXPECT_EQ(std::u16string(s8.Text16()), kEsperanto16);
    EXPECT_EQ(U8(s16), kEsperanto8);
    EXPECT_EQ(s8, s16);
#if KELVANO_WIDE
    EXPECT_EQ(s8.Length(), 13);
#else
    EXPECT_EQ(s8.Length(), 25);
#endif

    // Malformed 8-bit text becomes U+FFFD rather than failing.
    EXPECT_EQ(std::u16string(string("a\xC4"
                                    "b")
                                 .Text16()),
              u"a\uFFFDb");
    // Lone surrogates likewise on the way to 8 bits.
    EXPECT_EQ(U8(string(u"x\xD800y")), "x\xEF\xBF\xBDy");

    // Characters of either width append as text.
    string s;
    s += 'a';
    s += u'ŭ';
    s += "ĝ";
    s += u"!";
    EXPECT_EQ(U8(s), "aŭĝ!");
    s = u'ĉ';
    EXPECT_EQ(U8(s), "ĉ");
    s.Assign("abcdef", 3);
    s.Append(u"xyz", 2);
    EXPECT_EQ(U8(s), "abcxy");
}

TEST(TlString, NullTextReadsNull) {
    const CHAR* psz8 = nullptr;
    const WCHAR* psz16 = nullptr;
    EXPECT_EQ(U8(string(psz8)), "(null)");
    EXPECT_EQ(U8(string(psz16)), "(null)");
    string s("a");
    s += psz8;
    s += psz16;
    EXPECT_EQ(U8(s), "a(null)(null)");
    s = psz16;
    EXPECT_EQ(U8(s), "(null)");
    EXPECT_EQ(U8(cetl::sformat("%s|%{ls}", psz8)), "(null)|%{ls}");
    EXPECT_EQ(U8(cetl::sformat("%{ls}%1", psz16)), "(null)");
}

TEST(TlString, IndicesAreClamped) {
    const string s("abcdef");
    struct Case {
        int iStart, cch;
        const char* pszExpected;
    } const cases[] = {
        {0, -1, "abcdef"}, {2, 2, "cd"}, {4, 10, "ef"}, {-3, 2, "ab"},
        {6, 1, ""},        {10, -1, ""}, {1, -5, ""},   {1, 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.iStart << "," << c.cch);
        EXPECT_EQ(U8(s.Substring(c.iStart, c.cch)), c.pszExpected);
        EXPECT_EQ(U8(string(s, c.iStart, c.cch)), c.pszExpected);
    }
    EXPECT_EQ(s[0], TCHAR('a'));
    EXPECT_EQ(s[5u], TCHAR('f'));
    EXPECT_EQ(s[6], TCHAR(0));
    EXPECT_EQ(s[-1], TCHAR(0));
    EXPECT_EQ(s.GetAt(100), TCHAR(0));
    EXPECT_STREQ(string().Text8(), "");
    EXPECT_EQ(std::u16string(string().Text16()), u"");
}

TEST(TlString, WriteAtFillsGapsWithBlanks) {
    struct Case {
        const char* pszStart;
        int iPos;
        const char* pszText;
        const char* pszExpected;
    } const cases[] = {
        {"ab", 4, "cd", "ab  cd"}, {"abcdef", 2, "XY", "abXYef"}, {"abc", 2, "XYZ", "abXYZ"},
        {"ab", -1, "X", "Xb"},     {"", 3, "x", "   x"},          {"ab", 4, "", "ab  "},
        {"abcd", 1, "", "abcd"},   {"aĉb", 1, "ŭ", "aŭb"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszStart);
        string s(c.pszStart);
        s.WriteAt(c.iPos, c.pszText);
        EXPECT_EQ(U8(s), c.pszExpected);
    }
    string s("abc");
    s.WriteAt(1, s);
    EXPECT_EQ(U8(s), "aabc");
}

TEST(TlString, FindAndReplace) {
    const string s("abcabc");
    EXPECT_EQ(s.Find('c'), 2);
    EXPECT_EQ(s.Find('c', 3), 5);
    EXPECT_EQ(s.Find('c', -4), 2);
    EXPECT_EQ(s.Find('z'), -1);
    EXPECT_EQ(s.Find("bc", 2), 4);
    EXPECT_EQ(s.Find(u"ca"), 2);
    EXPECT_EQ(s.Find("abcabcd"), -1);
    EXPECT_EQ(s.Find("", 6), 6);
    EXPECT_EQ(s.Find("", 7), -1);
    EXPECT_EQ(s.ReverseFind('a'), 3);

    struct Case {
        const char* pszStart;
        const char* pszFrom;
        const char* pszTo;
        int cExpected;
        const char* pszExpected;
    } const cases[] = {
        {"aaa", "aa", "b", 1, "ba"},        // overlapping occurrences: left to right
        {"abab", "ab", "xyz", 2, "xyzxyz"}, // growth
        {"a.b.c", ".", "", 2, "abc"},       // shrink to nothing
        {"aa", "a", "aa", 2, "aaaa"},       // replacement holds the pattern
        {"abc", "", "x", 0, "abc"},         // empty pattern: nothing to replace
        {"abc", "abcd", "x", 0, "abc"},     {"ĉapelo ĉe", "ĉ", "ĝ", 2, "ĝapelo ĝe"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszStart);
        string str(c.pszStart);
        EXPECT_EQ(str.Replace(c.pszFrom, c.pszTo), c.cExpected);
        EXPECT_EQ(U8(str), c.pszExpected);
    }
    string strSelf("xy");
    EXPECT_EQ(strSelf.Replace(strSelf, strSelf + strSelf), 1);
    EXPECT_EQ(U8(strSelf), "xyxy");
}

TEST(TlString, CaseMappingKeepsEsperanto) {
    string s("ĉĝĥĵŝŭ abc ÿ éß ı");
    s.MakeUpper();
    EXPECT_EQ(U8(s), "ĈĜĤĴŜŬ ABC Ÿ Éß ı");
    s.MakeLower();
    EXPECT_EQ(U8(s), "ĉĝĥĵŝŭ abc ÿ éß ı");

    string s16(u"Ĉu ŜI?");
    s16.MakeLower();
    EXPECT_EQ(std::u16string(s16.Text16()), u"ĉu ŝi?");
    // Malformed bytes are left as they are.
    string strBad("\xC4"
                  "A");
    strBad.MakeLower();
    EXPECT_EQ(std::u16string(strBad.Text16()), u"\uFFFDa");
}

TEST(TlString, AppendPath) {
    struct Case {
        const char* pszBase;
        const char* pszPart;
        const char* pszExpected;
    } const cases[] = {
        {"", "a", "a"},
        {"", "\\a", "a"},
        {"dir", "file", "dir\\file"},
        {"dir/", "/file", "dir\\file"},
        {"a/b", "c/d", "a\\b\\c\\d"},
        {"dir\\", "\\\\x", "dir\\\\x"}, // only one leading separator goes
        {"dir", "", "dir\\"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszBase);
        string s(c.pszBase);
        s.AppendPath(c.pszPart);
        EXPECT_EQ(U8(s), c.pszExpected);
    }
}

TEST(TlString, ComparesExactlyOrIgnoringCase) {
    string a("abc"), b("abd"), upper("ABC");
    EXPECT_TRUE(a < b);
    EXPECT_TRUE(b > a);
    EXPECT_TRUE(upper < a);
    EXPECT_TRUE(a != upper);
    EXPECT_TRUE(a <= string("abc"));
    EXPECT_TRUE(string("ab") < a);
    EXPECT_TRUE(a == "abc");
    EXPECT_TRUE("abc" == a);
    EXPECT_TRUE(a != u"abd");
    EXPECT_TRUE(a < u"b");

    istring ia("abc");
    EXPECT_TRUE(ia == upper);
    EXPECT_TRUE(ia == "ABC");
    EXPECT_FALSE(ia < upper);
    EXPECT_TRUE(istring("a") < istring("B"));
    EXPECT_TRUE(istring("ĈAPELO") == string("ĉapelo"));
    EXPECT_TRUE(istring("ĉ") > istring("Z"));
    EXPECT_TRUE(istring("Ÿ") == string("ÿ"));

    istring is("Saluton, ĈIU!");
    EXPECT_EQ(is.Find("ĉiu"), is.Find("ĈIU"));
    EXPECT_GT(is.Find("ĉiu"), 0);
    EXPECT_EQ(is.Find('S'), 0);
    EXPECT_EQ(is.Find('s'), 0);
    EXPECT_EQ(is.Find('T', 4), 4);
    EXPECT_EQ(is.Find("xyz"), -1);
    istring ir("aXbxc");
    EXPECT_EQ(ir.Replace("x", "-"), 2);
    EXPECT_EQ(U8(ir), "a-b-c");
}

TEST(TlString, CopiesAndMoves) {
    string a("one");
    string b(a);
    a += "!";
    EXPECT_EQ(U8(b), "one");
    string c(std::move(a));
    EXPECT_EQ(U8(c), "one!");
    EXPECT_TRUE(a.IsEmpty()); // NOLINT(bugprone-use-after-move)
    b = std::move(c);
    EXPECT_EQ(U8(b), "one!");
    const string& alias = b; // assigning a string to itself keeps it
    b = alias;
    b += b;
    EXPECT_EQ(U8(b), "one!one!");
    b = b.Text() + 4;
    EXPECT_EQ(U8(b), "one!");
    EXPECT_EQ(U8(string("a") + "b" + u"ĉ" + 'd' + u'ŭ' + b), "abĉdŭone!");
    istring i(b);
    EXPECT_EQ(U8(i), "one!");
}

TEST(TlString, BlocksAreTaggedAndFreed) {
    const std::size_t cStart = mem::GetStats().cBlocksInUse;
    {
        string s(kEsperanto8);
        mem::BlockInfo info;
        ASSERT_TRUE(mem::GetBlockInfo(s.Text(), &info));
        EXPECT_STREQ(info.pszType, "sizeof(TCHAR) * cchMin");
        EXPECT_STREQ(info.pszFile, "tl_string");
#if KELVANO_WIDE
        ASSERT_TRUE(mem::GetBlockInfo(s.Text8(), &info));
        EXPECT_STREQ(info.pszType, "sizeof(CHAR) * cchMin");
#else
        ASSERT_TRUE(mem::GetBlockInfo(s.Text16(), &info));
        EXPECT_STREQ(info.pszType, "sizeof(WCHAR) * cchMin");
#endif
        CHAR* psz8 = s.Duplicate8();
        WCHAR* psz16 = s.Duplicate16();
        EXPECT_STREQ(psz8, kEsperanto8);
        EXPECT_EQ(std::u16string(psz16), kEsperanto16);
        ASSERT_TRUE(mem::GetBlockInfo(psz8, &info));
        EXPECT_STREQ(info.pszType, "1+strlen8(psz)");
        ASSERT_TRUE(mem::GetBlockInfo(psz16, &info));
        EXPECT_STREQ(info.pszType, "sizeof(WCHAR) * (1+strlen16(psz))");
        MemFree(psz8);
        MemFree(psz16);
        s.MakeUpper();
        s.Replace("Ĉ", "Ĉ Ĉ");
    }
    EXPECT_EQ(mem::GetStats().cBlocksInUse, cStart);
}

TEST(TlString, TaredStringTaresLaterBlocks) {
    string s("short");
    s.Tare();
    mem::BlockInfo info;
    ASSERT_TRUE(mem::GetBlockInfo(s.Text(), &info));
    EXPECT_TRUE(info.fTared);
    for (int i = 0; i < 10; ++i)
        s += " and a good deal longer";
    ASSERT_TRUE(mem::GetBlockInfo(s.Text(), &info));
    EXPECT_TRUE(info.fTared);
    const void* pvOther =
        KELVANO_WIDE ? static_cast<const void*>(s.Text8()) : static_cast<const void*>(s.Text16());
    ASSERT_TRUE(mem::GetBlockInfo(pvOther, &info));
    EXPECT_TRUE(info.fTared);

    string strPlain("x");
    ASSERT_TRUE(mem::GetBlockInfo(strPlain.Text(), &info));
    EXPECT_FALSE(info.fTared);
}

} // namespace
