#include "foundation/tl_string.h"
#include "foundation/tl_text.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <string>

namespace {

using cetl::sformat;
using cetl::string;

struct Case {
    string strGot;
    const char* pszExpected;
};

void ExpectAll(const Case* pCases, std::size_t cCases) {
    for (std::size_t i = 0; i < cCases; ++i) {
        SCOPED_TRACE(testing::Message() << "row " << i << ": " << pCases[i].pszExpected);
        EXPECT_EQ(std::string(pCases[i].strGot.Text8()), pCases[i].pszExpected);
    }
}

TEST(Sformat, DeclaredArgumentsAndReferences) {
    const Case cases[] = {
        {sformat("%{ld,s} Installing %2\n%1%% complete", 45, "a.exe"),
         "Installing a.exe\n45% complete"},
        {sformat("%{ld,s}%3", 1, "x"), "(?)"},
        {sformat("%{ld,s}%0", 1, "x"), "(?)"},
        {sformat("%{s}%12", "x"), "(?)"},
        {sformat("%{s}%1.", "x"), "x."},
        {sformat("%{s}%1l", "x"), "xl"},
        {sformat("%{x}%1", 255), "ff"},
        {sformat("%{X}%1", 255), "FF"},
        {sformat("%{5d}[%1]", 42), "[   42]"},
        {sformat("%{-5d}[%1]", 42), "[42   ]"},
        {sformat("%{05d}%1", -42), "00-42"},
        {sformat("%{.2lf}%1", 3.14159), "3.14"},
        {sformat("%{.2lf}%1", 0.5), ".50"},
        {sformat("%{.3s}%1", "abcdef"), "abc"},
        // Separators of every kind; one blank or tab after the header goes.
        {sformat("%{d d;d,d}%4%3%2%1", 1, 2, 3, 4), "4321"},
        {sformat("%{d ,; d}%2%1", 1, 2), "21"},
        {sformat("%{d}\tX%1", 5), "X5"},
        {sformat("%{d}  %1", 5), " 5"},
        {sformat("%{d}%1%1", 5), "55"},
        {sformat("%{}x"), "x"},
        {sformat("%{d,d"), ""}, // unclosed: all header
        // An unknown type gives "(?)" and leaves the argument for the next one.
        {sformat("%{q,d}%1 %2", 7), "(?) 7"},
        // A mismatch gives "(?)" but uses the argument up.
        {sformat("%{d,d}%1 %2", "t", 5), "(?) 5"},
        {sformat("%{s,s}%1 %2", 3, "t"), "(?) t"},
        {sformat("%{d,d}%1 %2", 1), "1 (?)"},
    };
    ExpectAll(cases, std::size(cases));
}

TEST(Sformat, InlineFields) {
    const Case cases[] = {
        {sformat("%d-%s", 7, "x"), "7-x"},
        {sformat("100%%"), "100%"},
        {sformat("%%d", 1), "%d"},
        {sformat("%5d|%05d|%.1lf|%3.2s|", 1, 2, 2.25, "abc"), "    1|00002|2.2| ab|"},
        {sformat("%ld %hd %lu %lx %lX", 1, 65535, 3u, 255, 255), "1 -1 3 ff FF"},
        {sformat("%hs %ls %s", "ĝi", u"ŝi", string("ĉi")), "ĝi ŝi ĉi"},
        // Flags other than "0" are not in the inline run: the text stays as it is.
        {sformat("%-5d %+d", 1, 2), "%-5d %+d"},
        {sformat("%l5d", 1), "%l5d"},
        {sformat("%z %"), "%z %"},
        {sformat("50%"), "50%"},
        {sformat("%d %d", 1), "1 (?)"},
        // Declared and inline arguments share one list.
        {sformat("%{d}%1 %d", 1, 2), "1 2"},
    };
    ExpectAll(cases, std::size(cases));
}

TEST(Sformat, Integers) {
    const Case cases[] = {
        {sformat("%{d}%1", INT32_MIN), "-2147483648"},
        {sformat("%{d}%1", 4294967295LL), "-1"}, // 32 bits are read
        {sformat("%{u}%1", -1), "4294967295"},
        {sformat("%{hd}%1", 65535), "-1"},
        {sformat("%{hd}%1", 0x18000), "-32768"},
        {sformat("%{hu}%1", 65535), "65535"},
        {sformat("%{+d}%1", 5), "+5"},
        {sformat("%{+d}%1", 0), "+0"},
        {sformat("%{+d}%1", -5), "-5"},
        {sformat("%{+u}%1", -1), "4294967295"},
        // Hexadecimal shows the bits, never a sign; a 64-bit address keeps every digit.
        {sformat("%{x}%1", -1), "ffffffff"},
        {sformat("0x%08lX", 0xA1CE0C60u), "0xA1CE0C60"},
        {sformat("0x%08lX", static_cast<unsigned long>(0x7F12A1CE0C60ull)), "0x7F12A1CE0C60"},
        {sformat("%{x}%1", static_cast<long long>(INT32_MIN)), "80000000"},
        {sformat("%{08X}%1", 0xBEEF), "0000BEEF"},
        {sformat("%{d}%1", 0), "0"},
        {sformat("%{d}%1", 3.9), "3"},
        {sformat("%{d}%1", -3.9), "-3"},
        {sformat("%{d}%1", NAN), "0"},
        {sformat("%{d}%1", true), "1"},
        {sformat("%{c}%1", 'A'), "A"},
        {sformat("%{c}%1", 0x141), "A"}, // the low byte
        {sformat("%{c}%1", 0xE9), "é"},
        {sformat("%{lc}%1", u'ĉ'), "ĉ"},
        {sformat("%{3c}[%1]", 'x'), "[  x]"},
        {sformat("%{d}%1", "5"), "(?)"},
    };
    ExpectAll(cases, std::size(cases));
}

TEST(Sformat, Reals) {
    const Case cases[] = {
        {sformat("%{lf}%1", 0.25), ".25000000"},
        {sformat("%{lf}%1", 1.5), "1.50000000"},
        {sformat("%{0lf}%1", 0.25), "0.25000000"},
        {sformat("%{.0lf}%1", 2.9), "2"},
        {sformat("%{.0lf}%1", 0.7), "0"},
        {sformat("%{.3lf}%1", 1.9999), "1.999"}, // cut, not rounded
        {sformat("%{.1lf}%1", 3), "3.0"},
        {sformat("%{.1lf}%1", -2), "-2.0"},
        {sformat("%{+.1lf}%1", 2.5), "+2.5"},
        {sformat("%{.1lf}%1", -0.5), "-.5"},
        {sformat("%{06.2lf}%1", -1.5), "0-1.50"},
        {sformat("%{-7.1lf}[%1]", 1.5), "[1.5    ]"},
        {sformat("%{.2f}%1", 3.14159), "3.14"},
        {sformat("%{.0lf}%1", 1e20), "100000000000000000000"},
        {sformat("%{lf}%1", NAN), "nan"},
        {sformat("%{+lf}%1", INFINITY), "+inf"},
        {sformat("%{lf}%1", -INFINITY), "-inf"},
        {sformat("%{.0f}%1", 1e39), "inf"}, // beyond a 32-bit real
        {sformat("%{lf}%1", "x"), "(?)"},
    };
    ExpectAll(cases, std::size(cases));

    string strHuge = sformat("%{.0lf}%1", 1e300);
    EXPECT_EQ(strHuge.Length(), 301);
    EXPECT_EQ(std::string(strHuge.Text8()).substr(0, 12), "100000000000");
}

TEST(Sformat, Texts) {
    const char16_t* psz16 = u"ĉapelo";
    const Case cases[] = {
        {sformat("%{.0s}[%1]", "abc"), "[]"},       {sformat("%{.10s}%1", "abc"), "abc"},
        {sformat("%{.2ls}%1", psz16), "ĉa"}, // characters, not bytes
        {sformat("%{5s}[%1]", "ĉ"), "[    ĉ]"},     {sformat("%{-3hs}[%1]", "ŭ"), "[ŭ  ]"},
        {sformat("%{s}%1", string(u"ĝis")), "ĝis"}, {sformat(u"%{ls}ĉ%1", u"ŝ"), "ĉŝ"},
        {sformat(string("%{s}<%1>"), "x"), "<x>"},  {sformat("%{s}%1", 5), "(?)"},
    };
    ExpectAll(cases, std::size(cases));
}

bool LookupForTest(cetl::UINT id, string& out) {
    if (id != 100) return false;
    out = u"Saluton ĉiuj";
    return true;
}

TEST(Sformat, TextIdentifiersNeedTheLookup) {
    EXPECT_EQ(std::string(string(cetl::TextId{100}).Text8()), "");
    EXPECT_EQ(std::string(sformat("%{m}<%1>", 100).Text8()), "<>");

    cetl::SetTextLookup(LookupForTest);
    const Case cases[] = {
        {string(cetl::TextId{100}), "Saluton ĉiuj"},
        {string(cetl::TextId{101}), ""},
        {sformat("%{m}%1", 100), "Saluton ĉiuj"},
        {sformat("%{.7m}%1|%m|", 100, 101), "Saluton||"},
        {sformat("%{5m}[%1]", cetl::TextId{101}), "[     ]"},
        {sformat("%{s}%1", cetl::TextId{100}), "Saluton ĉiuj"},
        {sformat("%{m}%1", "x"), "(?)"},
    };
    cetl::SetTextLookup(nullptr);
    ExpectAll(cases, std::size(cases));
}

} // namespace
